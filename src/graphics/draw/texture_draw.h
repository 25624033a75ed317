// Textured quads: an image of the texture table (by id) or a rectangle of a texture page (by page entry)
// turned into vertices of the batch. Each returns true when it drew, false when the id or the entry's
// texture is not valid or the entry is null. Angles are radians; colours are script colours (0x00BBGGRR)
// with an alpha of 0..1.
//
// The page-entry forms write list quads (which batch while the page stays the same) and may write 1
// into a zero target width or height of the entry; the id forms with scale or rotation write fans.
#pragma once

#include <cstdint>

struct TPageEntry;

// While on, the corners of every list quad carry their corner number in the lowest bit of red and of
// blue: top-left 0/0, top-right 0/1, bottom-right 1/0, bottom-left 1/1 (red/blue).
void Texture_SetCornerIds(bool on);
bool Texture_GetCornerIds();
// A device colour marked with a corner number (0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left).
uint32_t Texture_CornerColour(uint32_t colour, int corner);

bool Texture_Draw(int id, float x, float y);
bool Texture_DrawEntry(TPageEntry* entry, float x, float y);
bool Texture_DrawEntryPos(TPageEntry* entry, float x1, float y1, float x2, float y2, float x3, float y3,
                          float x4, float y4, uint32_t colour, float alpha);
bool Texture_DrawExt(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                     float angle, uint32_t colour, float alpha);
bool Texture_DrawEntryExt(TPageEntry* entry, float xorig, float yorig, float x, float y, float xscale,
                          float yscale, float angle, uint32_t colour, float alpha);
bool Texture_DrawPart(int id, float left, float top, float width, float height, float x, float y,
                      float xscale, float yscale, float angle, uint32_t colour, float alpha);
bool Texture_DrawEntryPart(TPageEntry* entry, float left, float top, float width, float height, float x,
                           float y, float xscale, float yscale, float angle, uint32_t colour, float alpha);
bool Texture_DrawGeneral(int id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                         uint32_t c4, float alpha);
bool Texture_DrawEntryGeneral(TPageEntry* entry, float left, float top, float width, float height, float x,
                              float y, float xscale, float yscale, float angle, uint32_t c1, uint32_t c2,
                              uint32_t c3, uint32_t c4, float alpha);
// (rx, ry, rw, rh) is the region to cover with tiles.
bool Texture_DrawTiled(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                       bool htiled, bool vtiled, float rx, float ry, float rw, float rh, uint32_t colour,
                       float alpha);
bool Texture_DrawEntryTiled(TPageEntry* entry, float xorig, float yorig, float x, float y, float xscale,
                            float yscale, bool htiled, bool vtiled, float rx, float ry, float rw, float rh,
                            uint32_t colour, float alpha);
