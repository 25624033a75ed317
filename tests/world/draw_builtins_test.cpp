// The built-ins that draw what the world holds, draw_path and draw_self, called by name on the recording
// backend.
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "support/sprite_draw_game.h"
#include "world/draw_builtins.h"
#include "world/path.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

void RegisterWorldDrawFunctions() {
    int id;
    if (!Code_Function_Find("draw_path", id)) InitPathDrawFunctions();
    if (!Code_Function_Find("draw_self", id)) InitSelfDrawFunctions();
}

class WorldDrawFunctions : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        RegisterWorldDrawFunctions();
        StartRecording(64, 48);
    }
};

TEST_F(WorldDrawFunctions, PathsDrawAsALineStripAlongTheirCurve) {
    Path_Init();
    const int p = Path_Add();
    CPath* path = Path_Data(p);
    path->SetClosed(false);
    path->AddPoint(10, 20, 100);
    path->AddPoint(50, 20, 100); // 40 pixels long: ten segments
    auto position = [](const std::vector<uint8_t>& vertices, size_t j) {
        float xy[2];
        std::memcpy(xy, vertices.data() + 24 * j, sizeof xy);
        return std::vector<float>{xy[0], xy[1]};
    };
    const auto absolute = DrawOf([&] { CallBuiltIn("draw_path", {p, 3, 4, 1}); });
    ASSERT_EQ(absolute.size(), 1u);
    EXPECT_EQ(absolute[0].first, 3u); // a line strip
    ASSERT_EQ(absolute[0].second.size(), 11u * 24);
    EXPECT_EQ(position(absolute[0].second, 1), (std::vector<float>{14, 20}));
    EXPECT_EQ(position(absolute[0].second, 10), (std::vector<float>{50, 20}));
    // Relative, the path starts at (x, y).
    EXPECT_EQ(DrawOf([&] { CallBuiltIn("draw_path", {p, 10, 20, 0.49}); }), absolute);
    const auto moved = DrawOf([&] { CallBuiltIn("draw_path", {p, 0.0, 0.0, 0.0}); });
    EXPECT_EQ(position(moved[0].second, 10), (std::vector<float>{40, 0}));

    // 8,000 pixels: two strips of 1,000 segments, the second starting where the first ended.
    path->ChangePoint(1, 8010, 20, 100);
    const auto longer = DrawOf([&] { CallBuiltIn("draw_path", {p, 0.0, 0.0, 1}); });
    ASSERT_EQ(longer.size(), 2u);
    for (const auto& strip : longer)
        ASSERT_EQ(strip.second.size(), 1001u * 24);
    EXPECT_EQ(position(longer[0].second, 1000), (std::vector<float>{4010, 20}));
    EXPECT_EQ(position(longer[1].second, 0), (std::vector<float>{4010, 20}));
    EXPECT_EQ(position(longer[1].second, 1000), (std::vector<float>{8010, 20}));

    // A path shorter than 2 pixels, or none at all, draws nothing.
    path->ChangePoint(1, 11.9f, 20, 100);
    CallBuiltIn("draw_path", {p, 0.0, 0.0, 1});
    Path_Delete(p);
    const std::string out = ConsoleOutputOf([&] { CallBuiltIn("draw_path", {p + 0.4, 0.0, 0.0, 1}); });
    EXPECT_NE(out.find("Trying to drawn non-existing path."), std::string::npos) << out;
    Graphics::Flush();
    EXPECT_TRUE(Draws().empty());
    Path_Clear();
}

class SelfDrawFunctions : public SpriteDrawTest {
protected:
    void SetUp() override {
        RegisterWorldDrawFunctions();
        SpriteDrawTest::SetUp();
    }
};

// The instance's sprite at floor(image_index), from its origin; no sprite is an error and draws nothing.
TEST_F(SelfDrawFunctions, TheInstanceDrawsItsOwnSpriteAndFrame) {
    self->sprite_index = 3;
    self->image_index = 1;
    self->x = 20;
    Call("draw_self", {});
    EXPECT_EQ(Corners(), (std::vector<Corner>{{18, 0}}));
    EXPECT_EQ(CodeError_State().Code_LastErrorText, nullptr);

    self->sprite_index = -1;
    Call("draw_self", {});
    EXPECT_TRUE(ErrorReported("Trying to draw non-existing sprite."));
    EXPECT_TRUE(Corners().empty());
}

} // namespace
