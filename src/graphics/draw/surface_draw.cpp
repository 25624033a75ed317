#include "graphics/draw/surface_draw.h"

#include "graphics/draw/texture_draw.h"
#include "graphics/frame/surface.h"

namespace {

// Degrees to radians, in single precision.
float Radians(float degrees) {
    return degrees * 0.01745329238474369f;
}

// The texture id of a surface that exists; false for an id that does not.
bool TextureOf(int id, int& texture) {
    if (!Surface_Exists(id)) return false;
    texture = Surface_GetTexture(id);
    return true;
}

} // namespace

bool Surface_Draw(int id, float x, float y) {
    int texture = -1;
    return TextureOf(id, texture) && Texture_Draw(texture, x, y);
}

bool Surface_DrawExt(int id, float x, float y, float xscale, float yscale, float rotation, uint32_t colour,
                     float alpha) {
    int texture = -1;
    return TextureOf(id, texture) &&
           Texture_DrawExt(texture, 0, 0, x, y, xscale, yscale, Radians(rotation), colour, alpha);
}

bool Surface_DrawStretched(int id, float x, float y, float w, float h, uint32_t colour, float alpha) {
    int texture = -1;
    if (!TextureOf(id, texture)) return false;
    const int width = Surface_GetWidth(id);
    const int height = Surface_GetHeight(id);
    if (!(w > 0) || !(h > 0) || width <= 0 || height <= 0) return false;
    return Texture_DrawExt(texture, 0, 0, x, y, w / static_cast<float>(width), h / static_cast<float>(height),
                           0, colour, alpha);
}

bool Surface_DrawPart(int id, float left, float top, float width, float height, float x, float y,
                      float xscale, float yscale, uint32_t colour, float alpha) {
    int texture = -1;
    return TextureOf(id, texture) &&
           Texture_DrawPart(texture, left, top, width, height, x, y, xscale, yscale, 0, colour, alpha);
}

bool Surface_DrawGeneral(int id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, float rotation, uint32_t c1, uint32_t c2, uint32_t c3,
                         uint32_t c4, float alpha) {
    int texture = -1;
    return TextureOf(id, texture) && Texture_DrawGeneral(texture, left, top, width, height, x, y, xscale,
                                                         yscale, Radians(rotation), c1, c2, c3, c4, alpha);
}

bool Surface_DrawTiled(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                       bool htiled, bool vtiled, float rx, float ry, float rw, float rh, uint32_t colour,
                       float alpha) {
    int texture = -1;
    return TextureOf(id, texture) && Texture_DrawTiled(texture, xorig, yorig, x, y, xscale, yscale, htiled,
                                                       vtiled, rx, ry, rw, rh, colour, alpha);
}
