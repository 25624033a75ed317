// The sprite and background drawing built-ins, called by name, as vertex streams on the recording
// backend.
#include "core/memory.h"
#include "data_builder.h"
#include "device_output.h"
#include "graphics/background.h"
#include "graphics/frame.h"
#include "graphics/graphics_builtins.h"
#include "graphics/sprite.h"
#include "library/builtin_test_util.h"
#include "script/compiler/compile.h"
#include "script/vm/vm_error.h"
#include "support/load_game.h"
#include "script/world_interface.h"
#include "world/draw_builtins.h"
#include "world/instance.h"
#include "world/room.h"

#include <cstring>
#include <memory>

namespace {

// Five sprites of two frames each on one page; sprite i has its origin at (i, 0), so a draw
// at (10, 10) starts at x = 10 - i. Frame 1 sits one pixel right of frame 0 inside the image.
std::vector<uint8_t> Game() {
    CDataBuilder b;
    b.AddGeneralInfo({});
    const std::vector<std::string> labels{"s0", "s1", "s2", "s3", "s4"};
    auto& c = b.AddChunk("SPRT").OffsetList(labels);
    for (int i = 0; i < 5; ++i) {
        c.Label(labels[static_cast<size_t>(i)]).Text("s").U32(4).U32(4).U32(0).U32(3).U32(3).U32(0);
        c.U32(1).U32(0).U32(1).U32(0).U32(0).S32(i).S32(0).U32(2).Ref("e0").Ref("e1").U32(0);
    }
    b.AddChunk("BGND").OffsetList({"b0"}).Label("b0").Text("b").U32(0).U32(0).U32(0).Ref("e0");
    auto& t = b.AddChunk("TPAG").OffsetList({"e0", "e1"});
    t.Label("e0").U16(0).U16(0).U16(2).U16(2).U16(0).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    t.Label("e1").U16(2).U16(0).U16(2).U16(2).U16(1).U16(0).U16(2).U16(2).U16(4).U16(4).U16(0);
    auto& x = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    x.Bytes("RAW ", 4).U32(4).U32(2).U32(0).Zeros(4 * 2 * 4);
    return b.Build();
}

class SpriteDrawFunctions : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static bool registered = false;
        if (!registered) {
            InitSelfDrawFunctions();
            InitSpriteDrawFunctions();
        }
        registered = true;
        // The world answers the instance's image_index and the running room's size.
        previousWorld = ScriptWorld_Get();
        World_InstallScriptServices();
        StartDevice(D3DBackend::Recording, 64, 48);
        std::string log;
        ASSERT_TRUE(LoadGameBytes(Game(), &log)) << log;
        Frame_State().View_DrawRegion = IntRect{0, 0, 63, 47};
        self = std::make_unique<CInstance>(0.0f, 0.0f, 0, -1, false);
        ForgetReportedError();
        Graphics::Flush();
        Recording().ClearLog();
    }
    void TearDown() override {
        self.reset();
        ForgetReportedError();
        Game_FreeData();
        Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
        ScriptWorld_Install(previousWorld);
        GraphicsDeviceTest::TearDown();
    }
    void Call(const char* name, std::initializer_list<Arg> args) { CallBuiltIn(name, args, self.get()); }
    // The first vertex of every list quad drawn since the last call.
    std::vector<std::pair<float, float>> Corners() {
        Graphics::Flush();
        std::vector<std::pair<float, float>> out;
        for (const D3DCall* call : Draws()) {
            const auto v = VerticesOf(*call);
            for (size_t i = 0; i + 6 <= v.size(); i += 6)
                out.emplace_back(v[i].x, v[i].y);
        }
        Recording().ClearLog();
        return out;
    }
    std::unique_ptr<CInstance> self;
    IScriptWorld* previousWorld = nullptr;
};

using Corner = std::pair<float, float>;

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
    self->sprite_index = 3;
    self->image_index = 1;
    self->x = 20;
    Call("draw_self", {});
    EXPECT_EQ(Corners(), (std::vector<Corner>{{18, 0}}));
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);

    Call("draw_sprite_ext", {7, 0, 0, 0, 1, 1, 0, 0xFFFFFF, 1});
    EXPECT_TRUE(ErrorReported("Trying to draw non-existing sprite."));
    ForgetReportedError();
    self->sprite_index = -1;
    Call("draw_self", {});
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
