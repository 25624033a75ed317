#include "world_fixture.h"

#include "graphics/frame/frame.h"
#include "io/window_state.h"
#include "library/builtin_test_util.h"
#include "world/tile_builtins.h"
#include "world/view.h"

#include <string>
#include <vector>

namespace {

using TileTest = WorldTest;

RoomTile Tile(float x, float y, float depth, int w = 16, int h = 16) {
    RoomTile t;
    t.x = x;
    t.y = y;
    t.depth = depth;
    t.width = w;
    t.height = h;
    return t;
}

TEST_F(TileTest, FindingIsHalfOpenDeletingInclusiveAndDepthZeroIsBoth) {
    Room_State().Run_Room->AddTile(Tile(0, 0, 0));
    EXPECT_EQ(Room_State().Run_Room->FindTileAt(15, 0, false), 0);
    EXPECT_EQ(Room_State().Run_Room->FindTileAt(16, 0, false), -1);
    EXPECT_EQ(Room_State().Run_Room->FindTileAt(0, 0, true), -1); // depth 0 is not a foreground for finding
    Room_State().Run_Room->DeleteTilesAt(16, 0, true);            // but is for deleting, edges included
    EXPECT_TRUE(Room_State().Run_Room->tiles.empty());
    EXPECT_EQ(Room_State().Run_Room->tiles.capacity(), 0u);
    Room_State().Run_Room->AddTile(Tile(0, 0, 5));
    EXPECT_EQ(Room_State().Run_Room->tiles.capacity(), 10u);
}

TEST_F(TileTest, LayersMatchByDepthAndSortingPutsTheDeepestFirst) {
    const int a = Room_State().Run_Room->AddTile(Tile(0, 0, 10));
    Room_State().Run_Room->AddTile(Tile(0, 0, 5));
    Room_State().Run_Room->AddTile(Tile(0, 0, 5));
    const int32_t idA = Room_State().Run_Room->tiles[static_cast<size_t>(a)].id;
    Room_State().Run_Room->SortTiles();
    EXPECT_EQ(Room_State().Run_Room->tiles[0].id, idA); // already in order: untouched
    Room_State().Run_Room->SetTileLayerDepth(5, 20);
    const int32_t second = Room_State().Run_Room->tiles[1].id, third = Room_State().Run_Room->tiles[2].id;
    Room_State().Run_Room->SortTiles();
    EXPECT_EQ(Room_State().Run_Room->tiles[0].id, second); // equal depths keep their order
    EXPECT_EQ(Room_State().Run_Room->tiles[1].id, third);
    EXPECT_EQ(Room_State().Run_Room->tiles[2].id, idA);
    Room_State().Run_Room->ShiftTileLayer(20, 1.5f, -2);
    EXPECT_FLOAT_EQ(Room_State().Run_Room->tiles[0].x, 1.5f);
    EXPECT_EQ(Room_State().Run_Room->FindTileInLayerAt(20, 1.5f, -2), 0);
    EXPECT_EQ(Room_State().Run_Room->FindTileInLayerAt(20, 1.4f, -2), -1);
    Room_State().Run_Room->DeleteTileLayer(20);
    EXPECT_EQ(Room_State().Run_Room->tiles.size(), 1u);
}

TEST_F(TileTest, BuiltInsReportMissingTilesAndBackgrounds) {
    InitTileFunctions();
    auto call = [](const char* name, std::initializer_list<Arg> args) {
        Result result = CallBuiltIn(name, args);
        return result.Real();
    };
    EXPECT_EQ(call("tile_add", {3, 0, 0, 16, 16, 0, 0, 0}), -1); // no background 3
    EXPECT_EQ(Room_State().Run_Room->tiles.size(), 0u);
    const int index = Room_State().Run_Room->AddTile(Tile(4, 5, 7));
    const double id = Room_State().Run_Room->tiles[static_cast<size_t>(index)].id;
    EXPECT_EQ(call("tile_get_y", {id}), 5);
    EXPECT_EQ(call("tile_exists", {id + 1}), 0);
    EXPECT_EQ(call("tile_find", {4, 5, 0}), id);
    call("tile_set_depth", {id, -3});
    EXPECT_EQ(call("tile_find", {4, 5, 1}), id);
    call("tile_delete", {id});
    EXPECT_EQ(call("tile_exists", {id}), 0);
    Code_Function_Free();
}

// Views following an instance in a room 2000 x 2000: (instance x, border, speed, room width, view x
// before) -> view x after.
TEST_F(TileTest, ViewsFollowWithinTheirBordersSpeedsAndTheRoom) {
    struct Case {
        float x;
        int border, speed, roomWidth, before, after;
    };
    const Case cases[] = {
        {700, 32, -1, 2000, 0, 92},     // the instance just inside the right border
        {700, 32, 10, 2000, 0, 10},     // at most 10 pixels per update
        {700, 400, -1, 2000, 0, 380},   // a border of half the view or more centres it
        {700, 32, -1, 500, 0, -140},    // a view wider than the room ends at a negative x
        {100.5f, 400, -1, 2000, 0, 0},  // 100 (halves to even) - 320, clamped at 0
        {1101.5f, 400, -1, 2000, 0, 782}, // 1102 - 320
    };
    int o = AddObject();
    CInstance* i = Room_State().Run_Room->CreateInstance(0, 100, o);
    Room_State().Run_Room->viewsEnabled = true;
    Room_State().Run_Room->height = 2000;
    CView& view = Room_State().Run_Room->views[0];
    view.visible = true;
    for (const Case& c : cases) {
        i->SetPosition(c.x, 100);
        view.hborder = c.border;
        view.hspeed = c.speed;
        view.viewX = c.before;
        view.object = o;
        Room_State().Run_Room->width = c.roomWidth;
        Room_State().Run_Room->UpdateViews();
        EXPECT_EQ(view.viewX, c.after) << c.x << " " << c.border << " " << c.speed;
    }
    i->deactivated = 1;
    view.object = i->id;
    view.viewX = 5;
    Room_State().Run_Room->UpdateViews();
    EXPECT_EQ(view.viewX, 5);
    i->deactivated = 0;
}

// The ports' extent, from the window's corner, is stretched over the game's size; empty ports, or none
// visible, count as 8 x 8, so the factors stay finite.
TEST_F(TileTest, ScaleFactorsStretchThePortsExtentOverTheGameSize) {
    WindowSize& game = Window_State().Window_DeviceState.gameSize;
    const WindowSize saved = game;
    game = WindowSize{320, 240};
    CView* views = Room_State().Run_Room->views;
    Room_State().Run_Room->viewsEnabled = true;
    views[0].visible = views[1].visible = true;
    views[0].portX = 0, views[0].portY = 0, views[0].portW = 400, views[0].portH = 480;
    views[1].portX = 400, views[1].portY = 0, views[1].portW = 240, views[1].portH = 120;
    Room_State().Run_Room->UpdateViews();
    EXPECT_EQ(Window_State().Window_DeviceState.scaleX, 0.5f);
    EXPECT_EQ(Window_State().Window_DeviceState.scaleY, 0.5f);
    // A port away from the corner: the part of the window before it counts.
    views[0].visible = false;
    Room_State().Run_Room->UpdateViews();
    EXPECT_EQ(Window_State().Window_DeviceState.scaleX, 0.5f);
    EXPECT_EQ(Window_State().Window_DeviceState.scaleY, 2.0f);
    views[1].portW = views[1].portH = 0;
    views[1].portX = 0;
    Room_State().Run_Room->UpdateViews();
    EXPECT_EQ(Window_State().Window_DeviceState.scaleX, 40.0f);
    EXPECT_EQ(Window_State().Window_DeviceState.scaleY, 30.0f);
    views[1].visible = false;
    Room_State().Run_Room->UpdateViews();
    EXPECT_EQ(Window_State().Window_DeviceState.scaleX, 40.0f);
    game = saved;
}

} // namespace
