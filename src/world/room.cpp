#include "world/room.h"

#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "graphics/frame/frame.h"
#include "graphics/sprite/background.h"
#include "io/window_state.h"
#include "physics/physics.h"
#include "script/code.h"
#include "world/object.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

int g_lastInstanceId = kFirstInstanceId;
int g_lastTileId = 0;

// Replaces an owned text with a copy; the old block is reused when the new text fits it.
void ReplaceText(char*& slot, const char* text, bool reuse) {
    if (!text) {
        MEM_FREE(slot);
        slot = nullptr;
        return;
    }
    if (reuse && slot && std::strlen(slot) >= std::strlen(text)) {
        std::memmove(slot, text, std::strlen(text) + 1);
        return;
    }
    char* copy = String_Duplicate(text);
    MEM_FREE(slot);
    slot = copy;
}

float Alpha(uint32_t colour) {
    return static_cast<float>(static_cast<double>(colour >> 24) / 255.0);
}

} // namespace

int Room_GetLastInstanceId() {
    return g_lastInstanceId;
}
void Room_SetLastInstanceId(int id) {
    g_lastInstanceId = id;
}
int Room_GetLastTileId() {
    return g_lastTileId;
}
void Room_SetLastTileId(int id) {
    g_lastTileId = id;
}

// ---- Life

CRoom::CRoom() {
    Reset();
}

CRoom::~CRoom() {
    Reset();
    MEM_FREE(name);
}

void CRoom::Reset() {
    record.reset();
    ReplaceText(caption, nullptr, false);
    width = 640;
    height = 480;
    speed = 30;
    persistent = false;
    colour = 0xC0C0C0;
    showColour = true;
    ReplaceText(codeText, nullptr, false);
    code = nullptr;
    ownCode.reset();
    usesPhysics = false;
    gravityX = gravityY = 0;
    pixelsToMetres = 0;
    delete physicsWorld;
    physicsWorld = nullptr;
    viewsEnabled = false;
    clearDisplay = false;
    for (RoomBackground& b : backgrounds)
        b = RoomBackground();
    for (CView& v : views)
        v.Reset();
    // Freeing an instance also takes it off the pending object, depth and activation lists.
    DestroyActiveInstances();
    DestroyDeactivatedInstances();
    placedIds.clear();
    ClearTiles();
}

void CRoom::SetName(const char* text) {
    ReplaceText(name, text, false);
}
void CRoom::SetCaption(const char* text) {
    ReplaceText(caption, text, true);
}
void CRoom::SetCode(const char* text) {
    ReplaceText(codeText, text, true);
}

struct RoomOwnCode {
    std::string text; // the code reads its text from here
    std::unique_ptr<CCode> code;
};

bool CRoom::ReplaceCode(const char* text, const char* codeName) {
    std::shared_ptr<RoomOwnCode> made;
    if (text && *text) {
        made = std::make_shared<RoomOwnCode>();
        made->text = text;
        made->code = std::make_unique<CCode>(made->text.c_str(), 0);
        if (!made->code->Compile(codeName)) return false;
    }
    SetCode(text ? text : "");
    ownCode = std::move(made);
    code = ownCode ? ownCode->code.get() : nullptr;
    return true;
}

void CRoom::LoadFromRecord(std::shared_ptr<RoomRecord> source) {
    Reset();
    record = std::move(source);
    const RoomRecord& r = *record;
    SetName(r.name ? r.name : "");
    SetCaption(r.caption);
    width = r.width;
    height = r.height;
    speed = r.speed;
    persistent = r.persistent != 0;
    colour = r.colour;
    showColour = r.showColour != 0;
    // With bytecode or a compiled game the room's text is empty; its code comes from the code chunk.
    SetCode(r.codeText ? r.codeText : "");
    code = r.code.get();
    viewsEnabled = (r.flags & 1) != 0;
    clearDisplay = (r.flags & 2) != 0;
    // A definition's tiles stay in its record until the room is entered: its own tile array is empty.
    usesPhysics = r.physics != 0;
    gravityX = X86_DoubleToInt32(r.gravityX);
    gravityY = X86_DoubleToInt32(r.gravityY);
    pixelsToMetres = r.pixelsToMetres;
    if (usesPhysics) {
        physicsWorld = new CPhysicsWorld(pixelsToMetres, speed);
        physicsWorld->SetGravity(static_cast<float>(gravityX), static_cast<float>(gravityY));
    }
    for (size_t i = 0; i < r.backgrounds.size() && i < kRoomBackgroundCount; ++i) {
        const RoomBackgroundEntry& e = r.backgrounds[i];
        RoomBackground& b = backgrounds[i];
        b.visible = e.visible != 0;
        b.foreground = e.foreground != 0;
        b.index = e.index;
        b.x = static_cast<float>(e.x);
        b.y = static_cast<float>(e.y);
        b.htiled = e.htiled != 0;
        b.vtiled = e.vtiled != 0;
        b.hspeed = static_cast<float>(e.hspeed);
        b.vspeed = static_cast<float>(e.vspeed);
        b.blend = 0xFFFFFF;
        b.alpha = 1;
        const CBackground* image = e.stretch ? Background_Data(e.index) : nullptr;
        if (image && image->GetWidth() > 0)
            b.xscale = X86_DoubleToFloat(static_cast<double>(width) / image->GetWidth());
        if (image && image->GetHeight() > 0)
            b.yscale = X86_DoubleToFloat(static_cast<double>(height) / image->GetHeight());
    }
    for (size_t i = 0; i < r.views.size() && i < kRoomViewCount; ++i) {
        const RoomViewEntry& e = r.views[i];
        CView& v = views[i];
        v.visible = e.visible != 0;
        v.viewX = e.viewX;
        v.viewY = e.viewY;
        v.viewW = e.viewW;
        v.viewH = e.viewH;
        v.portX = e.portX;
        v.portY = e.portY;
        v.portW = e.portW;
        v.portH = e.portH;
        v.angle = 0;
        v.hborder = e.hborder;
        v.vborder = e.vborder;
        v.hspeed = e.hspeed;
        v.vspeed = e.vspeed;
        v.object = e.object;
    }
}

void CRoom::CopyFrom(const CRoom* source, bool makeInstances) {
    Reset();
    if (!source) return;
    SetCaption(source->caption);
    width = source->width;
    height = source->height;
    speed = source->speed;
    persistent = source->persistent;
    colour = source->colour;
    showColour = source->showColour;
    SetCode(source->codeText);
    code = source->code;
    ownCode = source->ownCode;
    usesPhysics = source->usesPhysics;
    gravityX = source->gravityX;
    gravityY = source->gravityY;
    pixelsToMetres = source->pixelsToMetres;
    std::copy(std::begin(source->backgrounds), std::end(source->backgrounds), backgrounds);
    viewsEnabled = source->viewsEnabled;
    clearDisplay = source->clearDisplay;
    for (int i = 0; i < kRoomViewCount; ++i) {
        int32_t surface = views[i].surfaceId;
        views[i] = source->views[i];
        views[i].surfaceId = surface;
    }
    if (source->physicsWorld) physicsWorld = CPhysicsWorld::CopyConstruct(*source->physicsWorld);
    record = source->record;
    if (makeInstances && record) {
        MakeRecordInstances();
        MakeRecordTiles();
    } else {
        // Only the tiles the source's array holds: a definition's record tiles are not its own.
        tiles = source->tiles;
    }
    CopyInstancesOf(source);
}

void CRoom::MakeRecordInstances() {
    placedIds.clear();
    placedIds.reserve(record->instances.size());
    for (const RoomInstanceEntry& e : record->instances) {
        if (e.object < 0) continue;
        auto* instance =
            new CInstance(static_cast<float>(e.x), static_cast<float>(e.y), e.id, e.object, true);
        instance->creationCode = e.code.get();
        instance->image_xscale = e.xscale;
        instance->image_yscale = e.yscale;
        instance->image_blend = e.colour & 0xFFFFFF;
        instance->image_alpha = Alpha(e.colour);
        instance->image_angle = e.angle;
        instance->bboxStale = 1;
        instance->CreatePhysicsBody(this);
        RoomList_InsertByDepth(&active, instance);
        InstanceHash_Insert(instance->id, instance);
        placedIds.push_back(instance->id);
    }
}

void CRoom::MakeRecordTiles() {
    tiles.clear();
    tiles.reserve(record->tiles.size());
    for (const RoomTileEntry& e : record->tiles) {
        RoomTile t;
        t.x = static_cast<float>(e.x);
        t.y = static_cast<float>(e.y);
        t.background = e.background;
        t.left = e.left;
        t.top = e.top;
        t.width = e.width;
        t.height = e.height;
        t.depth = static_cast<float>(e.depth);
        t.id = e.id;
        t.xscale = e.xscale;
        t.yscale = e.yscale;
        t.blend = e.colour & 0xFFFFFF;
        t.alpha = Alpha(e.colour);
        t.visible = true;
        tiles.push_back(t);
    }
}

// Active copies join their objects' lists and the active list by depth; deactivated copies join no
// object list and keep their order.
void CRoom::CopyInstancesOf(const CRoom* source) {
    for (bool isActive : {true, false}) {
        RoomList* into = isActive ? &active : &deactivated;
        for (CInstance* from = (isActive ? source->active : source->deactivated).first; from; from = from->next) {
            auto* copy = new CInstance(from->x, from->y, from->id, from->object_index, false);
            copy->CopyFrom(from, isActive);
            if (isActive)
                RoomList_InsertByDepth(into, copy);
            else
                RoomList_Append(into, copy);
            InstanceHash_Insert(copy->id, copy);
        }
    }
}

// ---- Instances

CInstance* CRoom::CreateInstance(float x, float y, int objectIndex) {
    g_lastInstanceId = Wrap_Add32(g_lastInstanceId, 1);
    auto* instance = new CInstance(x, y, g_lastInstanceId, objectIndex, true);
    instance->CreatePhysicsBody(this);
    RoomList_InsertByDepth(&active, instance);
    InstanceHash_Insert(instance->id, instance);
    return instance;
}

// An instance leaves the hash, its room list, its object's lists and every pending list as it is
// destroyed.
void CRoom::RemoveInstance(CInstance* instance) {
    delete instance;
}

void CRoom::RemoveMarked() {
    if (active.marked == 0) return;
    for (CInstance* instance = active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->Marked()) RemoveInstance(instance);
        instance = next;
    }
}

void CRoom::UpdateActivation() {
    for (CInstance* instance = deactivated.first; instance;) {
        CInstance* next = instance->next;
        if (!instance->deactivated) {
            RoomList_Unlink(&deactivated, instance);
            RoomList_InsertByDepth(&active, instance);
            instance->SetListed(true);
            if (instance->physicsObject) instance->physicsObject->SetEnabled(true);
        }
        instance = next;
    }
    for (CInstance* instance = active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->deactivated) {
            RoomList_Unlink(&active, instance);
            RoomList_Append(&deactivated, instance);
            instance->SetListed(false);
            // A deactivated instance's body stands still and touches nothing until it is activated.
            if (instance->physicsObject) instance->physicsObject->SetEnabled(false);
        }
        instance = next;
    }
    Deferred_Clear(DEFERRED_ACTIVATION);
}

void CRoom::DestroyActiveInstances() {
    while (active.first)
        delete active.first;
}

void CRoom::DestroyDeactivatedInstances() {
    while (deactivated.first)
        delete deactivated.first;
}

// ---- Backgrounds and size

void CRoom::ScrollBackgrounds() {
    for (RoomBackground& b : backgrounds) {
        b.x = X86_DoubleToFloat(static_cast<double>(b.x) + b.hspeed);
        b.y = X86_DoubleToFloat(static_cast<double>(b.y) + b.vspeed);
    }
}

void CRoom::PortsExtent(int32_t& w, int32_t& h) const {
    w = 8;
    h = 8;
    for (const CView& v : views) {
        if (!v.visible) continue;
        w = std::max(w, Wrap_Add32(v.portX, v.portW));
        h = std::max(h, Wrap_Add32(v.portY, v.portH));
    }
}

void CRoom::UpdateWindowSize() {
    int w = width;
    int h = height;
    if (viewsEnabled) PortsExtent(w, h);
    w = std::min(w, Display_GetWidth());
    h = std::min(h, Display_GetHeight());
    if (w != Window_GetGameWidth() || h != Window_GetGameHeight()) Graphics::SetScreenSize(w, h);
}

// ---- Tiles

int CRoom::AddTile(const RoomTile& tile) {
    if (tiles.size() == tiles.capacity()) tiles.reserve(tiles.size() + 10);
    g_lastTileId = Wrap_Add32(g_lastTileId, 1);
    tiles.push_back(tile);
    tiles.back().id = g_lastTileId;
    lastTileIndex = static_cast<int>(tiles.size()) - 1;
    return lastTileIndex;
}

void CRoom::ClearTiles() {
    std::vector<RoomTile>().swap(tiles);
    lastTileIndex = -1;
}

// ---- Record entries

int CRoom::AddInstanceRecord(double x, double y, int objectIndex) {
    if (!record) return -1;
    g_lastInstanceId = Wrap_Add32(g_lastInstanceId, 1);
    RoomInstanceEntry e;
    e.x = X86_DoubleToInt32(x);
    e.y = X86_DoubleToInt32(y);
    e.object = objectIndex;
    e.id = g_lastInstanceId;
    record->instances.push_back(std::move(e));
    return g_lastInstanceId;
}

int CRoom::AddTileRecord(int background, int left, int top, int w, int h, int x, int y, int depth,
                         float xscale, float yscale, uint32_t tileColour) {
    if (!record) return -1;
    g_lastTileId = Wrap_Add32(g_lastTileId, 1);
    record->tiles.push_back(RoomTileEntry{x, y, background, left, top, w, h, depth, g_lastTileId, xscale,
                                          yscale, tileColour});
    return g_lastTileId;
}

void CRoom::ClearInstanceRecords() {
    if (!record) return;
    for (RoomInstanceEntry& e : record->instances)
        if (e.code) record->retiredCode.push_back(std::move(e.code));
    record->instances.clear();
}

void CRoom::ClearTileRecords() {
    if (record) record->tiles.clear();
    ClearTiles();
}

void CRoom::CreateDefaultRecord() {
    record = RoomRecord_CreateDefault();
}
