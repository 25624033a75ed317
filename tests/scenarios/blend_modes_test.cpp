// The blend modes seen in a saved frame: four columns drawn in one colour over one background, each in
// its own mode, against the factors' results worked out here.
#include "saved_frame.h"

#include <gtest/gtest.h>

namespace {

TEST(BlendModes, EachModeMixesTheRectangleWithWhatLiesBelow) {
    // Source (255, 0, 51) over (200, 100, 100): 51 is a fifth of 255 and every result is a whole byte.
    const SavedFrame f = RunFrame(
        FrameGame("draw_clear(make_colour_rgb(200, 100, 100)); draw_set_colour(make_colour_rgb(255, 0, 51));"
                  "draw_set_blend_mode(bm_normal); draw_rectangle(0, 0, 15, 47, false);"
                  "draw_set_blend_mode(bm_add); draw_rectangle(16, 0, 31, 47, false);"
                  "draw_set_blend_mode(bm_max); draw_rectangle(32, 0, 47, 47, false);"
                  "draw_set_blend_mode(bm_subtract); draw_rectangle(48, 0, 63, 40, false);"
                  "draw_set_blend_mode(bm_normal);"));
    ASSERT_FALSE(f.run.timedOut) << f.run.console;
    EXPECT_EQ(f.run.exitCode, 0) << f.run.log;
    ASSERT_EQ(f.width, 64) << f.run.log;
    for (int y : {0, 20, 40}) {
        EXPECT_EQ(f.At(8, y), 0xFF0033u);  // normal: the source
        EXPECT_EQ(f.At(24, y), 0xFF6497u); // add: the sum, red saturated
        EXPECT_EQ(f.At(40, y), 0xFF6483u); // max: source + below x (1 - source)
        EXPECT_EQ(f.At(56, y), 0x006450u); // subtract: below x (1 - source)
    }
    EXPECT_EQ(f.At(56, 44), 0xC86464u) << "below the subtracted rectangle";
}

} // namespace
