// Colours between the script's form 0x00BBGGRR (with a separate alpha 0..1), the device's 0xAARRGGBB and
// hue/saturation/value bytes, and colour mixing.
#pragma once

#include <cstdint>

// {hue, saturation, value}, each 0..255; hue 0..255 stands for 0..360 degrees.
struct HSVTriple {
    uint8_t bytes[3];
};

// Alpha clamped to 0..1, times 255, truncated.
uint8_t Colour_AlphaToByte(float alpha);
// alpha << 24 | R << 16 | G << 8 | B of a script colour.
uint32_t Colour_ToARGB(uint32_t colour, uint8_t alpha);
// The alpha byte is trunc(alpha x 255) taken in double precision and clamped to 0..255.
uint32_t ColourToARGB(uint32_t colour, float alpha);
uint32_t Colour_SetAlpha(uint32_t argb, uint8_t alpha);
// Exchanges the first and third byte of every 4-byte pixel in place.
void Colour_SwapRB(uint8_t* pixels, int width, int height);

// Per channel ch2 x amount + ch1 x (1 - amount) in single precision, rounded to nearest (ties to even).
uint32_t Colour_Merge(uint32_t colour1, uint32_t colour2, float amount);
// Per channel ch1 x (1 - amount) + ch2 x amount, with only 1 - amount rounded to single precision.
uint32_t Colour_MergeF(uint32_t colour1, uint32_t colour2, float amount);

HSVTriple Colour_RGBToHSV(uint8_t red, uint8_t green, uint8_t blue);
void Colour_HSVToRGB(uint8_t hue, uint8_t saturation, uint8_t value, uint8_t& red, uint8_t& green,
                     uint8_t& blue);
HSVTriple Colour_ToHSV(uint32_t colour);
uint32_t Colour_FromHSV(const HSVTriple& hsv);
void Colour_SetRGB(HSVTriple& triple, uint8_t a, uint8_t b, uint8_t c);
void Colour_SetTriple(HSVTriple& triple, uint8_t a, uint8_t b, uint8_t c);
uint32_t Colour_TripleToInt(const HSVTriple& triple);
