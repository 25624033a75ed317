#include "graphics/image/colour.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(ColourConversion, ScriptColourAndAlphaToDeviceColour) {
    EXPECT_EQ(ColourToARGB(0x0000FF, 1.0f), 0xFFFF0000u);
    EXPECT_EQ(ColourToARGB(0x123456, 1.5f), 0xFF563412u);
    EXPECT_EQ(ColourToARGB(0x123456, -0.2f), 0x00563412u);
    EXPECT_EQ(ColourToARGB(0x123456, std::nanf("")), 0x00563412u);
    // Truncation, not rounding: 0.999 x 255 = 254.7.
    EXPECT_EQ(ColourToARGB(0, 0.999f) >> 24, 254u);
    EXPECT_EQ(Colour_AlphaToByte(0.5f), 127);
    EXPECT_EQ(Colour_AlphaToByte(2.0f), 255);
    EXPECT_EQ(Colour_AlphaToByte(-1.0f), 0);
    EXPECT_EQ(Colour_SetAlpha(0x12345678u, 0xAB), 0xAB345678u);
}

TEST(ColourConversion, SwapRBExchangesTheOuterBytesOfEveryPixel) {
    uint8_t pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    Colour_SwapRB(pixels, 2, 1);
    EXPECT_EQ(std::vector<uint8_t>(pixels, pixels + 8), (std::vector<uint8_t>{3, 2, 1, 4, 7, 6, 5, 8}));
    Colour_SwapRB(pixels, 2, 0);
    EXPECT_EQ(pixels[0], 3);
}

TEST(ColourMixing, MergesRoundHalvesToEven) {
    EXPECT_EQ(Colour_MergeF(0x000000, 0xFFFFFF, 0.5f), 0x808080u);
    EXPECT_EQ(Colour_Merge(0x000000, 0xFFFFFF, 0.5f), 0x808080u);
    // Channels mix independently: 10 and 20 at 0.25 give 12.5 -> 12, 0 and 255 at 0.25 give 63.75 -> 64.
    EXPECT_EQ(Colour_MergeF(0x00000A, 0x00FF14, 0.25f), 0x00400Cu);
    EXPECT_EQ(Colour_Merge(0x00000A, 0x00FF14, 0.25f), 0x00400Cu);
    EXPECT_EQ(Colour_Merge(0x123456, 0x654321, 0.0f), 0x123456u);
    EXPECT_EQ(Colour_MergeF(0x123456, 0x654321, 1.0f), 0x654321u);
}

TEST(ColourHSV, PrimariesGreysAndTheHueWrap) {
    auto hsv = [](uint32_t colour) {
        const HSVTriple t = Colour_ToHSV(colour);
        return std::vector<int>{t.bytes[0], t.bytes[1], t.bytes[2]};
    };
    EXPECT_EQ(hsv(0x0000FF), (std::vector<int>{0, 255, 255}));
    EXPECT_EQ(hsv(0xFF0000), (std::vector<int>{170, 255, 255}));
    EXPECT_EQ(hsv(0x00FF00), (std::vector<int>{85, 255, 255}));
    EXPECT_EQ(hsv(0x000000), (std::vector<int>{0, 0, 0}));
    EXPECT_EQ(hsv(0x808080), (std::vector<int>{0, 0, 128}));
    // Magenta: red is the largest, (g - b) is negative and 360 is added: 300 degrees -> 212.5 -> 213.
    EXPECT_EQ(hsv(0xFF00FF), (std::vector<int>{213, 255, 255}));

    EXPECT_EQ(Colour_FromHSV(HSVTriple{{255, 255, 255}}), 0x0000FFu);
    EXPECT_EQ(Colour_FromHSV(HSVTriple{{170, 255, 255}}), 0xFF0000u);
    EXPECT_EQ(Colour_FromHSV(HSVTriple{{0, 0, 200}}), 0xC8C8C8u);
    // Every fully saturated, full-value hue comes back to a colour with the same hue byte.
    for (int hue = 0; hue < 255; hue += 5) {
        const uint32_t colour = Colour_FromHSV(HSVTriple{{static_cast<uint8_t>(hue), 255, 255}});
        EXPECT_NEAR(Colour_ToHSV(colour).bytes[0], hue, 1) << hue;
    }
}
