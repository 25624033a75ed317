// Decoding PNG, JPEG and GIF images held in memory into 32-bit pixels, and writing PNG files.
//
// Decoded pixels are width x height words 0xAARRGGBB (bytes B, G, R, A), rows top-down. Every decoder
// fails cleanly (null, no pixels) on a truncated, corrupt or oversized image.
#pragma once

#include <cstddef>
#include <cstdint>

// One PNG decode is held at a time: while it is held, ReadPNG returns it again whatever bytes are passed,
// so every caller calls ReadPNG_Free when done with the pixels. On failure width and height are -1.
uint32_t* ReadPNG(const uint8_t* bytes, size_t size, int& width, int& height);
void ReadPNG_Free();

// New pixels from the memory manager (the caller frees them), or null.
uint32_t* JPEG_Decode(const uint8_t* bytes, size_t size, int& width, int& height);
// The first image of a GIF placed on its logical screen; the transparent colour gives alpha 0.
uint32_t* GIF_Decode(const uint8_t* bytes, size_t size, int& width, int& height);

// Writes an 8-bit RGBA PNG of pixels in the byte order R, G, B, A to the name in the save area.
bool write_png_file(const char* name, const uint8_t* pixels, int width, int height);
