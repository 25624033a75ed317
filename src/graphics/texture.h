// The texture table, texture-page entries and the surface queries other subsystems make.
//
// Textures live on the graphics device, which is not built yet: the table stays empty, no id is valid,
// and every creation answers -1 (no texture).
#pragma once

#include <cstddef>
#include <cstdint>

struct TDeviceTexture;

// A rectangle of a texture page and where it sits in the full image: eleven signed 16-bit fields, 22
// bytes as stored in the data file. The texture field holds an index into the "TXTR" list in the file;
// the loaded copy holds the texture id.
struct TPageEntry {
    int16_t sourceX;
    int16_t sourceY;
    int16_t sourceWidth;
    int16_t sourceHeight;
    int16_t targetX;
    int16_t targetY;
    int16_t targetWidth;
    int16_t targetHeight;
    int16_t boundingWidth;
    int16_t boundingHeight;
    int16_t texture;
};
static_assert(sizeof(TPageEntry) == 22, "a texture-page entry is 22 bytes");

bool Texture_Exists(int id);
// The device texture of an id, null when the id is not valid.
TDeviceTexture* Texture_Get(int id);
// A new id for an existing device texture; -1 when none was given.
int Texture_AddExisting(TDeviceTexture* texture, int width, int height);
// A new id from one encoded texture page of the data file (the page's flags are not passed); -1 when no
// texture was made.
int Texture_CreateFromMemory(const uint8_t* data, size_t size);
void Texture_Free(int id);
void Texture_FreeAll();

bool Surface_Exists(int id);
// The texture id of a surface, -1 when none.
int Surface_GetTexture(int id);
