#include "graphics/image/colour.h"

#include "core/convert.h"

namespace {

uint32_t Channel(uint32_t colour, int shift) {
    return (colour >> shift) & 0xFFu;
}

// value x 255 + 0.5, truncated and clamped to a byte.
uint8_t UnitToByte(float value) {
    const int32_t v = X86_DoubleToInt32(static_cast<float>(value * 255.0f + 0.5f));
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

} // namespace

uint8_t Colour_AlphaToByte(float alpha) {
    if (alpha > 1.0f) alpha = 1.0f;
    if (alpha < 0.0f) alpha = 0.0f;
    return static_cast<uint8_t>(X86_DoubleToInt32(static_cast<double>(alpha) * 255.0));
}

uint32_t Colour_ToARGB(uint32_t colour, uint8_t alpha) {
    return static_cast<uint32_t>(alpha) << 24 | Channel(colour, 0) << 16 | Channel(colour, 8) << 8 |
           Channel(colour, 16);
}

uint32_t ColourToARGB(uint32_t colour, float alpha) {
    int32_t a = X86_DoubleToInt32(static_cast<double>(alpha) * 255.0);
    if (a < 0) a = 0;
    if (a > 255) a = 255;
    return Colour_ToARGB(colour, static_cast<uint8_t>(a));
}

uint32_t Colour_SetAlpha(uint32_t argb, uint8_t alpha) {
    return (argb & 0x00FFFFFFu) | static_cast<uint32_t>(alpha) << 24;
}

void Colour_SwapRB(uint8_t* pixels, int width, int height) {
    if (pixels == nullptr || width < 1 || height < 1) return;
    const int64_t count = static_cast<int64_t>(width) * height;
    for (int64_t i = 0; i < count; ++i) {
        uint8_t* p = pixels + i * 4;
        const uint8_t first = p[0];
        p[0] = p[2];
        p[2] = first;
    }
}

uint32_t Colour_Merge(uint32_t colour1, uint32_t colour2, float amount) {
    const float rest = 1.0f - amount;
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const float mixed = static_cast<float>(Channel(colour2, shift)) * amount +
                            static_cast<float>(Channel(colour1, shift)) * rest;
        result |= (static_cast<uint32_t>(X86_RoundToInt32(mixed)) & 0xFFu) << shift;
    }
    return result;
}

uint32_t Colour_MergeF(uint32_t colour1, uint32_t colour2, float amount) {
    const double rest = static_cast<float>(1.0f - amount);
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double mixed = Channel(colour1, shift) * rest + Channel(colour2, shift) * static_cast<double>(amount);
        result |= (static_cast<uint32_t>(X86_RoundToInt32(mixed)) & 0xFFu) << shift;
    }
    return result;
}

HSVTriple Colour_RGBToHSV(uint8_t red, uint8_t green, uint8_t blue) {
    const float r = red / 255.0f;
    const float g = green / 255.0f;
    const float b = blue / 255.0f;
    float max = r > g ? r : g;
    if (b > max) max = b;
    float min = r < g ? r : g;
    if (b < min) min = b;
    const float saturation = max == 0.0f ? 0.0f : (max - min) / max;
    float hue = 0.0f;
    if (saturation != 0.0f) {
        const float delta = max - min;
        if (r == max)
            hue = (g - b) * 60.0f / delta;
        else if (g == max)
            hue = (b - r) * 60.0f / delta + 120.0f;
        else
            hue = (r - g) * 60.0f / delta + 240.0f;
        if (hue < 0.0f) hue += 360.0f;
    }
    const int32_t h = X86_DoubleToInt32(static_cast<float>(hue * 255.0f / 360.0f + 0.5f));
    return HSVTriple{{static_cast<uint8_t>(h < 0 ? 0 : (h > 255 ? 255 : h)), UnitToByte(saturation),
                      UnitToByte(max)}};
}

void Colour_HSVToRGB(uint8_t hue, uint8_t saturation, uint8_t value, uint8_t& red, uint8_t& green,
                     uint8_t& blue) {
    float h = static_cast<float>(hue * 360.0f / 255.0f);
    if (h >= 360.0f) h = 0.0f;
    const float s = saturation / 255.0f;
    const float v = value / 255.0f;
    float r = v;
    float g = v;
    float b = v;
    if (s != 0.0f) {
        const float sector = h / 60.0f;
        const int32_t i = X86_DoubleToInt32(sector);
        const float f = sector - static_cast<float>(i);
        const float p = v * (1.0f - s);
        const float q = v * (1.0f - f * s);
        const float t = v * (1.0f - (1.0f - f) * s);
        switch (i) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
        }
    }
    red = UnitToByte(r);
    green = UnitToByte(g);
    blue = UnitToByte(b);
}

HSVTriple Colour_ToHSV(uint32_t colour) {
    return Colour_RGBToHSV(static_cast<uint8_t>(Channel(colour, 0)), static_cast<uint8_t>(Channel(colour, 8)),
                           static_cast<uint8_t>(Channel(colour, 16)));
}

uint32_t Colour_FromHSV(const HSVTriple& hsv) {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    Colour_HSVToRGB(hsv.bytes[0], hsv.bytes[1], hsv.bytes[2], r, g, b);
    return static_cast<uint32_t>(b) << 16 | static_cast<uint32_t>(g) << 8 | r;
}

void Colour_SetRGB(HSVTriple& triple, uint8_t a, uint8_t b, uint8_t c) {
    triple.bytes[2] = a;
    triple.bytes[1] = b;
    triple.bytes[0] = c;
}

void Colour_SetTriple(HSVTriple& triple, uint8_t a, uint8_t b, uint8_t c) {
    triple.bytes[0] = a;
    triple.bytes[1] = b;
    triple.bytes[2] = c;
}

uint32_t Colour_TripleToInt(const HSVTriple& triple) {
    return static_cast<uint32_t>(triple.bytes[0]) << 16 | static_cast<uint32_t>(triple.bytes[1]) << 8 |
           triple.bytes[2];
}
