// The sprite and background drawing built-ins, called by name, as vertex streams on the recording
// backend.
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "script/compiler/compile.h"
#include "script/vm/vm_error.h"
#include "support/sprite_draw_game.h"
#include "world/room.h"

namespace {

class SpriteDrawFunctions : public SpriteDrawTest {
protected:
    void SetUp() override {
        static const bool registered = (InitSpriteDrawFunctions(), true);
        (void)registered;
        SpriteDrawTest::SetUp();
    }
};

TEST_F(SpriteDrawFunctions, SpriteAndFrameArguments) {
    Call("draw_sprite", {1, 1.7, 10, 10}); // frame 1: one pixel right
    EXPECT_EQ(Corners(), (std::vector<Corner>{{10, 10}}));
    self->image_index = 2.9f; // frame -1: floor(image_index) = 2, which wraps to 0
    Call("draw_sprite", {1, -1, 10, 10});
    EXPECT_EQ(Corners(), (std::vector<Corner>{{9, 10}}));
    Call("draw_sprite_pos", {0, -1, 0, 0, 4, 0, 4, 4, 0, 4, 1}); // -1 goes on: the last frame
    EXPECT_EQ(Corners(), (std::vector<Corner>{{0, 0}}));
    // The index rounds with ties to even: 2.5 is sprite 2, 3.5 sprite 4.
    Call("draw_sprite", {2.5, 0, 10, 10});
    Call("draw_sprite", {3.5, 0, 10, 10});
    EXPECT_EQ(Corners(), (std::vector<Corner>{{8, 10}, {6, 10}}));
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);

    Call("draw_sprite_ext", {7, 0, 0, 0, 1, 1, 0, 0xFFFFFF, 1});
    EXPECT_TRUE(ErrorReported("Trying to draw non-existing sprite."));
    EXPECT_TRUE(Corners().empty());
}

TEST_F(SpriteDrawFunctions, BackgroundsAndTiles) {
    Call("draw_background_part", {0, 0, 0, 4, 4, 5, 6});
    EXPECT_EQ(Corners(), (std::vector<Corner>{{5, 6}}));
    // Tiled over the current room (10 x 8 here) from (1, 1): 4 x 4 tiles starting one tile further back
    // than the room needs, at (-7, -7): 5 columns, 4 rows.
    CRoom room;
    room.width = 10;
    room.height = 8;
    CRoom* saved = Room_State().Run_Room;
    Room_State().Run_Room = &room;
    Call("draw_background_tiled", {0, 1, 1});
    Room_State().Run_Room = saved;
    const auto tiles = Corners();
    ASSERT_EQ(tiles.size(), 20u);
    EXPECT_EQ(tiles[0], Corner(-7, -5)); // the tiled order starts at the bottom-left corner
    EXPECT_TRUE(Background_Delete(0));
    Call("draw_background_ext", {0, 0, 0, 1, 1, 0, 0xFFFFFF, 1});
    EXPECT_TRUE(ErrorReported("Trying to draw non-existing background."));
    EXPECT_TRUE(Corners().empty());
}

} // namespace
