// The room's part of a saved game.
#include "world/room.h"

#include "core/memory.h"
#include "script/buffer.h"
#include "script/compiler/compile.h"
#include "world/room_table.h"
#include "world/saved_form.h"

namespace {

// The fewest bytes one saved tile and one saved instance take: a count that needs more than the bytes
// left is refused before anything is made.
constexpr int kSavedTileBytes = 14 * 4;
constexpr int kSavedInstanceMinBytes = 62 * 4;

} // namespace

void CRoom::SaveState(IBuffer* b) {
    // The game ends after this step; the state is still written.
    if (usesPhysics) Code_Error_Show("ERROR: game_save unavailable for rooms using physics", true);
    b->WriteString(caption);
    Saved_WriteInt(b, width);
    Saved_WriteInt(b, height);
    Saved_WriteInt(b, speed);
    Saved_WriteInt(b, persistent);
    Buffer_WriteReal(b, eBuffer_U32, colour);
    Saved_WriteInt(b, showColour);
    b->WriteString(codeText);
    for (const RoomBackground& g : backgrounds) {
        Saved_WriteInt(b, g.visible);
        Saved_WriteInt(b, g.foreground);
        Saved_WriteInt(b, g.index);
        Saved_WriteFloat(b, g.x);
        Saved_WriteFloat(b, g.y);
        Saved_WriteInt(b, g.htiled);
        Saved_WriteInt(b, g.vtiled);
        for (float f : {g.hspeed, g.vspeed, g.xscale, g.yscale})
            Saved_WriteFloat(b, f);
        Saved_WriteInt(b, static_cast<int32_t>(g.blend));
        Saved_WriteFloat(b, g.alpha);
    }
    Saved_WriteInt(b, viewsEnabled);
    for (const CView& v : views) {
        Saved_WriteInt(b, v.visible);
        for (int32_t i : {v.viewX, v.viewY, v.viewW, v.viewH, v.portX, v.portY, v.portW, v.portH})
            Saved_WriteInt(b, i);
        Saved_WriteFloat(b, v.angle);
        for (int32_t i : {v.hborder, v.vborder, v.hspeed, v.vspeed, v.object, v.surfaceId})
            Saved_WriteInt(b, i);
    }
    Saved_WriteInt(b, static_cast<int32_t>(tiles.size()));
    for (const RoomTile& t : tiles) {
        Saved_WriteFloat(b, t.x);
        Saved_WriteFloat(b, t.y);
        for (int32_t i : {t.background, t.left, t.top, t.width, t.height})
            Saved_WriteInt(b, i);
        Saved_WriteFloat(b, t.depth);
        Saved_WriteInt(b, t.id);
        Saved_WriteFloat(b, t.xscale);
        Saved_WriteFloat(b, t.yscale);
        Saved_WriteInt(b, static_cast<int32_t>(t.blend));
        Saved_WriteFloat(b, t.alpha);
        Saved_WriteInt(b, t.visible);
    }
    Saved_WriteInt(b, active.count);
    for (CInstance* i = active.first; i; i = i->next)
        i->Serialise(b);
    Saved_WriteInt(b, deactivated.count);
    for (CInstance* i = deactivated.first; i; i = i->next)
        i->Serialise(b);
}

namespace {

// Reads count saved instances into list (the active list by depth, the deactivated list in order).
bool ReadInstances(SavedReader& r, RoomList* list, bool byDepth, bool enter) {
    int32_t count = r.Int();
    if (!r.ok || !Buffer_CountFits(r.buffer, count, kSavedInstanceMinBytes)) return false;
    for (int32_t n = 0; n < count; ++n) {
        auto* instance = new CInstance(0, 0, 0, -1, false);
        bool read = instance->Deserialise(r.buffer, enter);
        if (byDepth)
            RoomList_InsertByDepth(list, instance);
        else
            RoomList_Append(list, instance);
        if (!read) return false;
    }
    return true;
}

} // namespace

bool CRoom::LoadState(IBuffer* b, int roomIndex, bool enter) {
    SavedReader r{b};
    bool ok = r.Text(caption);
    width = r.Int();
    height = r.Int();
    speed = r.Int();
    persistent = r.Flag();
    colour = r.UInt();
    showColour = r.Flag();
    ok = ok && r.Text(codeText);
    for (RoomBackground& g : backgrounds) {
        g.visible = r.Flag();
        g.foreground = r.Flag();
        g.index = r.Int();
        g.x = r.Float();
        g.y = r.Float();
        g.htiled = r.Flag();
        g.vtiled = r.Flag();
        for (float* f : {&g.hspeed, &g.vspeed, &g.xscale, &g.yscale})
            *f = r.Float();
        g.blend = static_cast<uint32_t>(r.Int());
        g.alpha = r.Float();
    }
    viewsEnabled = r.Flag();
    for (CView& v : views) {
        v.visible = r.Flag();
        for (int32_t* i : {&v.viewX, &v.viewY, &v.viewW, &v.viewH, &v.portX, &v.portY, &v.portW, &v.portH})
            *i = r.Int();
        v.angle = r.Float();
        for (int32_t* i : {&v.hborder, &v.vborder, &v.hspeed, &v.vspeed, &v.object, &v.surfaceId})
            *i = r.Int();
    }
    int32_t tileCount = r.Int();
    ok = ok && r.ok && Buffer_CountFits(b, tileCount, kSavedTileBytes);
    if (ok) {
        ClearTiles();
        tiles.reserve(static_cast<size_t>(tileCount));
        // Each tile gets back its saved id; the id counter is left as it was.
        int savedCounter = Room_GetLastTileId();
        for (int32_t n = 0; n < tileCount; ++n) {
            RoomTile t;
            t.x = r.Float();
            t.y = r.Float();
            for (int32_t* i : {&t.background, &t.left, &t.top, &t.width, &t.height})
                *i = r.Int();
            t.depth = r.Float();
            int32_t id = r.Int();
            t.xscale = r.Float();
            t.yscale = r.Float();
            t.blend = static_cast<uint32_t>(r.Int());
            t.alpha = r.Float();
            t.visible = r.Flag();
            tiles[static_cast<size_t>(AddTile(t))].id = id;
            Room_SetLastTileId(savedCounter);
        }
        ok = r.ok;
    }
    ok = ok && ReadInstances(r, &active, true, enter) && ReadInstances(r, &deactivated, false, enter);
    if (!ok) {
        // Nothing of a broken state stays: the instances read so far were never entered in the hash.
        DestroyActiveInstances();
        DestroyDeactivatedInstances();
        ClearTiles();
        return false;
    }
    if (enter) {
        for (RoomList* list : {&active, &deactivated})
            for (CInstance* i = list->first; i; i = i->next)
                InstanceHash_Insert(i->id, i);
    }
    // Not part of the saved form: taken from the room's definition, so that a loaded room still clears
    // the display as its definition says.
    if (const CRoom* definition = Room_Data(roomIndex)) {
        clearDisplay = definition->clearDisplay;
        SetName(definition->name);
        record = definition->record;
    }
    return true;
}
