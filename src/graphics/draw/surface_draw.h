// Surfaces drawn as images, through the textured quads of their texture ids.
#pragma once

#include <cstdint>

// Angles in degrees. Each returns true when it drew; an id that is not a surface draws nothing. Draw uses
// white and the drawing alpha; the stretched form draws nothing unless w, h and the surface's size are
// positive; the tiled form takes the arguments of Texture_DrawTiled.
bool Surface_Draw(int id, float x, float y);
bool Surface_DrawExt(int id, float x, float y, float xscale, float yscale, float rotation, uint32_t colour,
                     float alpha);
bool Surface_DrawStretched(int id, float x, float y, float w, float h, uint32_t colour, float alpha);
bool Surface_DrawPart(int id, float left, float top, float width, float height, float x, float y,
                      float xscale, float yscale, uint32_t colour, float alpha);
bool Surface_DrawGeneral(int id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, float rotation, uint32_t c1, uint32_t c2, uint32_t c3,
                         uint32_t c4, float alpha);
bool Surface_DrawTiled(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                       bool htiled, bool vtiled, float rx, float ry, float rw, float rh, uint32_t colour,
                       float alpha);
