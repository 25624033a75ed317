// The tile built-ins: tiles of the current room added, found, changed and removed by scripts.
#include "core/convert.h"
#include "graphics/sprite/background.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/room.h"
#include "world/tile_builtins.h"

namespace {

// The tile of the id in the current room, or null after reporting "Tile does not exist." (not fatal).
// Getters pass the id through single precision first.
RoomTile* TileById(int32_t id) {
    const int index = Room_State().Run_Room ? Room_State().Run_Room->FindTile(id) : -1;
    if (index < 0) {
        Code_Error_Report("Tile does not exist.", false);
        return nullptr;
    }
    return &Room_State().Run_Room->tiles[static_cast<size_t>(index)];
}

int32_t GetterId(const BuiltInArgs& a) {
    return X86_RoundToInt32(a.Float(0));
}

int32_t FloatRounded(const BuiltInArgs& a, int i) {
    return X86_RoundToInt32(a.Float(i));
}

void SetFoundId(ScriptValue& r, int index) {
    Value_SetReal(&r, index >= 0 ? Room_State().Run_Room->tiles[static_cast<size_t>(index)].id : -1);
}

void F_tile_add(ScriptValue& r, const BuiltInArgs& a) {
    if (!Background_Exists(a.Rounded(0))) {
        Code_Error_Report("Background does not exist.", false);
        Value_SetReal(&r, -1);
        return;
    }
    if (!Room_State().Run_Room) {
        Value_SetReal(&r, -1);
        return;
    }
    RoomTile t;
    t.background = a.Rounded(0);
    t.left = a.Rounded(1);
    t.top = a.Rounded(2);
    t.width = a.Rounded(3);
    t.height = a.Rounded(4);
    t.x = a.Float(5);
    t.y = a.Float(6);
    t.depth = a.Float(7);
    const int index = Room_State().Run_Room->AddTile(t);
    Value_SetReal(&r, Room_State().Run_Room->tiles[static_cast<size_t>(index)].id);
}

void F_tile_delete(ScriptValue&, const BuiltInArgs& a) {
    if (TileById(a.Rounded(0)))
        Room_State().Run_Room->DeleteTile(Room_State().Run_Room->FindTile(a.Rounded(0)));
}

void F_tile_exists(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, Room_State().Run_Room && Room_State().Run_Room->FindTile(a.Rounded(0)) >= 0 ? 1 : 0);
}

void F_tile_delete_at(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->DeleteTilesAt(a.Rounded(0), a.Rounded(1), a.Flag(2));
}

void F_tile_find(ScriptValue& r, const BuiltInArgs& a) {
    SetFoundId(r, Room_State().Run_Room
                      ? Room_State().Run_Room->FindTileAt(a.Rounded(0), a.Rounded(1), a.Flag(2))
                      : -1);
}

void F_tile_layer_find(ScriptValue& r, const BuiltInArgs& a) {
    SetFoundId(r, Room_State().Run_Room
                      ? Room_State().Run_Room->FindTileInLayerAt(a.Float(0), a.Float(1), a.Float(2))
                      : -1);
}

void F_tile_layer_hide(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->HideTileLayer(a.Float(0));
}
void F_tile_layer_show(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->ShowTileLayer(a.Float(0));
}
void F_tile_layer_delete(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->DeleteTileLayer(a.Float(0));
}
void F_tile_layer_shift(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->ShiftTileLayer(a.Float(0), a.Float(1), a.Float(2));
}
void F_tile_layer_delete_at(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->DeleteTileLayerAt(a.Float(0), a.Float(1), a.Float(2));
}
void F_tile_layer_depth(ScriptValue&, const BuiltInArgs& a) {
    if (Room_State().Run_Room) Room_State().Run_Room->SetTileLayerDepth(a.Float(0), a.Float(1));
}

// A getter: the field's value, 0 for a missing tile.
template <double (*Field)(const RoomTile&)>
void TileGet(ScriptValue& r, const BuiltInArgs& a) {
    const RoomTile* t = TileById(GetterId(a));
    Value_SetReal(&r, t ? Field(*t) : 0);
}
double TileX(const RoomTile& t) { return t.x; }
double TileY(const RoomTile& t) { return t.y; }
double TileLeft(const RoomTile& t) { return t.left; }
double TileTop(const RoomTile& t) { return t.top; }
double TileWidth(const RoomTile& t) { return t.width; }
double TileHeight(const RoomTile& t) { return t.height; }
double TileDepth(const RoomTile& t) { return t.depth; }
double TileVisible(const RoomTile& t) { return t.visible ? 1 : 0; }
double TileXScale(const RoomTile& t) { return t.xscale; }
double TileYScale(const RoomTile& t) { return t.yscale; }
double TileBlend(const RoomTile& t) { return t.blend; }
double TileAlpha(const RoomTile& t) { return t.alpha; }
double TileBackground(const RoomTile& t) { return t.background; }

// A setter: changes the tile of the id when it exists.
template <void (*Change)(RoomTile&, const BuiltInArgs&)>
void TileSet(ScriptValue&, const BuiltInArgs& a) {
    if (RoomTile* t = TileById(a.Rounded(0))) Change(*t, a);
}
void SetPosition(RoomTile& t, const BuiltInArgs& a) {
    t.x = a.Float(1);
    t.y = a.Float(2);
}
void SetVisible(RoomTile& t, const BuiltInArgs& a) { t.visible = a.Float(1) >= 0.5f; }
void SetBackground(RoomTile& t, const BuiltInArgs& a) { t.background = FloatRounded(a, 1); }
void SetRegion(RoomTile& t, const BuiltInArgs& a) {
    t.left = FloatRounded(a, 1);
    t.top = FloatRounded(a, 2);
    t.width = FloatRounded(a, 3);
    t.height = FloatRounded(a, 4);
}
void SetDepth(RoomTile& t, const BuiltInArgs& a) { t.depth = a.Float(1); }
void SetScale(RoomTile& t, const BuiltInArgs& a) {
    t.xscale = a.Float(1);
    t.yscale = a.Float(2);
}
void SetBlend(RoomTile& t, const BuiltInArgs& a) { t.blend = static_cast<uint32_t>(a.Rounded(1)); }
void SetAlpha(RoomTile& t, const BuiltInArgs& a) { t.alpha = a.Float(1); }

const BuiltInRegistration kTileFunctions[] = {
    BUILTIN_ENTRY(tile_add, 8),
    BUILTIN_ENTRY(tile_delete, 1),
    BUILTIN_ENTRY(tile_exists, 1),
    BUILTIN_ENTRY(tile_delete_at, 3),
    BUILTIN_ENTRY(tile_find, 3),
    BUILTIN_ENTRY(tile_layer_hide, 1),
    BUILTIN_ENTRY(tile_layer_show, 1),
    BUILTIN_ENTRY(tile_layer_delete, 1),
    BUILTIN_ENTRY(tile_layer_shift, 3),
    BUILTIN_ENTRY(tile_layer_delete_at, 3),
    BUILTIN_ENTRY(tile_layer_depth, 2),
    BUILTIN_ENTRY(tile_layer_find, 3),
    {"tile_get_x", BuiltIn_Call<TileGet<TileX>>, 1},
    {"tile_get_y", BuiltIn_Call<TileGet<TileY>>, 1},
    {"tile_get_left", BuiltIn_Call<TileGet<TileLeft>>, 1},
    {"tile_get_top", BuiltIn_Call<TileGet<TileTop>>, 1},
    {"tile_get_width", BuiltIn_Call<TileGet<TileWidth>>, 1},
    {"tile_get_height", BuiltIn_Call<TileGet<TileHeight>>, 1},
    {"tile_get_depth", BuiltIn_Call<TileGet<TileDepth>>, 1},
    {"tile_get_visible", BuiltIn_Call<TileGet<TileVisible>>, 1},
    {"tile_get_xscale", BuiltIn_Call<TileGet<TileXScale>>, 1},
    {"tile_get_yscale", BuiltIn_Call<TileGet<TileYScale>>, 1},
    {"tile_get_blend", BuiltIn_Call<TileGet<TileBlend>>, 1},
    {"tile_get_alpha", BuiltIn_Call<TileGet<TileAlpha>>, 1},
    {"tile_get_background", BuiltIn_Call<TileGet<TileBackground>>, 1},
    {"tile_set_position", BuiltIn_Call<TileSet<SetPosition>>, 3},
    {"tile_set_visible", BuiltIn_Call<TileSet<SetVisible>>, 2},
    {"tile_set_background", BuiltIn_Call<TileSet<SetBackground>>, 2},
    {"tile_set_region", BuiltIn_Call<TileSet<SetRegion>>, 5},
    {"tile_set_depth", BuiltIn_Call<TileSet<SetDepth>>, 2},
    {"tile_set_scale", BuiltIn_Call<TileSet<SetScale>>, 3},
    {"tile_set_blend", BuiltIn_Call<TileSet<SetBlend>>, 2},
    {"tile_set_alpha", BuiltIn_Call<TileSet<SetAlpha>>, 2},
};

} // namespace

void InitTileFunctions() {
    BuiltIn_Register(kTileFunctions);
}
