// The drawing-state, colour and shape built-ins called by name, as game code calls them, on the recording
// backend.
#include "graphics/frame.h"
#include "graphics/graphics_builtins.h"
#include "graphics/render_state.h"
#include "graphics/texture_draw.h"
#include "library/builtin_test_util.h"
#include "support/graphics_device.h"
#include "world/draw_builtins.h"
#include "world/path.h"

#include <cstring>

namespace {

class DrawFunctionsTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered =
            (InitDrawStateFunctions(), InitShapeFunctions(), InitPathDrawFunctions(), InitShapeColourFunctions(),
             InitCornerIdFunctions(), true);
        (void)registered;
        StartDevice(D3DBackend::Recording, 64, 48);
        Graphics::Flush();
        Recording().ClearLog();
    }
    // The primitive types and vertex bytes of the draws the call makes.
    template <typename F> std::vector<std::pair<uint32_t, std::vector<uint8_t>>> DrawOf(F draw) {
        draw();
        Graphics::Flush();
        std::vector<std::pair<uint32_t, std::vector<uint8_t>>> drawn;
        for (const D3DCall* call : Draws())
            drawn.emplace_back(call->a, call->data);
        EXPECT_FALSE(drawn.empty());
        Recording().ClearLog();
        return drawn;
    }
};

TEST_F(DrawFunctionsTest, ColoursAreBuiltAndTakenApartWithoutClampingOrMasking) {
    EXPECT_EQ(CallReal("make_colour_rgb", {255, 0.0, 0.0}), 255);
    EXPECT_EQ(CallReal("make_color_rgb", {0.0, 0.0, 255}), 16711680);
    EXPECT_EQ(CallReal("make_colour", {300, 0.0, 0.0}), 300);
    EXPECT_EQ(CallReal("colour_get_red", {-1}), -1);
    EXPECT_EQ(CallReal("color_get_green", {65280}), 255);
    EXPECT_EQ(CallReal("colour_get_blue", {0x123456}), 0x12);
    EXPECT_EQ(CallReal("merge_colour", {0.0, 0x0000FF, 0.5}), 0x80);
    EXPECT_EQ(CallReal("make_colour_rgb", {-1, 0.0, 0.0}), 4294967295.0) << "unsigned";
    EXPECT_EQ(CallReal("make_colour_hsv", {0.0, 0.0, 255}), 0xFFFFFF);
    EXPECT_EQ(CallReal("colour_get_value", {0xFF}), 255);

    CallBuiltIn("draw_set_colour", {16777216 + 5});
    EXPECT_EQ(CallReal("draw_get_colour"), 5);
    CallBuiltIn("draw_set_color", {0xFFFFFF});
    CallBuiltIn("draw_set_alpha", {0.5});
    EXPECT_EQ(CallReal("draw_get_color"), 0xFFFFFF); // the alpha byte is not part of it
    EXPECT_EQ(CallReal("draw_get_alpha"), 127.0f / 255.0f);
}

TEST_F(DrawFunctionsTest, ShapesDrawAsTheirBackEndsWithFlagsFromHalfUp) {
    const auto filled = DrawOf([] { GR_Draw_Rectangle(2, 3, 20, 30, false); });
    const auto outline = DrawOf([] { GR_Draw_Rectangle(2, 3, 20, 30, true); });
    EXPECT_NE(filled, outline);
    EXPECT_EQ(DrawOf([] { CallBuiltIn("draw_rectangle", {2, 3, 20, 30, 0.49}); }), filled);
    EXPECT_EQ(DrawOf([] { CallBuiltIn("draw_rectangle", {2, 3, 20, 30, 0.5}); }), outline);

    EXPECT_EQ(DrawOf([] { CallBuiltIn("draw_circle_colour", {10, 10, 5, 0xFF, 0xFF00, 0.0}); }),
              DrawOf([] { GR_Draw_CircleColour(10, 10, 5, 0xFF, 0xFF00, false); }));
    // Colours are rounded from single precision.
    EXPECT_EQ(DrawOf([] { CallBuiltIn("draw_line_colour", {0.0, 0.0, 9, 9, 16777217.0, 0.0}); }),
              DrawOf([] { GR_Draw_LineColour(0, 0, 9, 9, 16777216, 0); }));
    EXPECT_EQ(DrawOf([] { CallBuiltIn("draw_roundrect", {1, 1, 30, 20, 0.0}); }),
              DrawOf([] { GR_Draw_RoundRect(1, 1, 30, 20, 10, 10, false); }));
}

TEST_F(DrawFunctionsTest, PathsDrawAsALineStripAlongTheirCurve) {
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

TEST_F(DrawFunctionsTest, SwitchesAndTheirArgumentChecks) {
    CallBuiltIn("draw_set_alpha_test", {0.5});
    EXPECT_EQ(CallReal("draw_get_alpha_test"), 0);
    CallBuiltIn("draw_set_alpha_test", {0.6});
    EXPECT_EQ(CallReal("draw_get_alpha_test"), 1);
    CallBuiltIn("draw_set_alpha_test_ref_value", {40.5});
    EXPECT_EQ(CallReal("draw_get_alpha_test_ref_value"), 40);

    Frame_State().Run_DrawEnabled = 0;
    CallBuiltIn("draw_enable_drawevent", {0.5});
    EXPECT_EQ(Frame_State().Run_DrawEnabled, 1);
    std::string out = ConsoleOutputOf([] { CallBuiltIn("draw_enable_drawevent", {0.0, 0.0}); });
    EXPECT_NE(out.find("Illegal argument count"), std::string::npos) << out;
    out = ConsoleOutputOf([] { CallBuiltIn("draw_enable_drawevent", {"0"}); });
    EXPECT_NE(out.find("Illegal argument type"), std::string::npos) << out;
    EXPECT_EQ(Frame_State().Run_DrawEnabled, 1);

    EXPECT_EQ(CallReal("shader_enable_corner_id", {0.6}), -1);
    EXPECT_TRUE(Texture_GetCornerIds());
    out = ConsoleOutputOf([] { CallBuiltIn("shader_enable_corner_id", {"x"}); });
    EXPECT_NE(out.find("draw_enable_corner_id: Illegal argument type"), std::string::npos) << out;
    EXPECT_TRUE(Texture_GetCornerIds());
    CallBuiltIn("shader_enable_corner_id", {0.5});
    EXPECT_FALSE(Texture_GetCornerIds());
}

} // namespace
