// The drawing-state, colour and shape built-ins called by name, as game code calls them, on the recording
// backend.
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin_test_util.h"
#include "support/graphics_device.h"

#include <string>

namespace {

class DrawFunctionsTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        static const bool registered = (InitDrawStateFunctions(), InitShapeFunctions(),
                                        InitShapeColourFunctions(), InitCornerIdFunctions(), true);
        (void)registered;
        StartRecording(64, 48);
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
