#include "graphics/draw.h"

#include "graphics/font.h"

namespace {

uint32_t g_drawColour = 0xFF000000u; // device order, opaque black
uint32_t g_drawAlpha = 255;
int g_circlePrecision = 24;
int g_currentFont = -1;
int g_hAlign = 0;

} // namespace

void GR_Draw_Init() {
    g_circlePrecision = 24;
}

void GR_Draw_SetColour(uint32_t colour) {
    const uint32_t red = colour & 0xFFu;
    const uint32_t green = (colour >> 8) & 0xFFu;
    const uint32_t blue = (colour >> 16) & 0xFFu;
    g_drawColour = g_drawAlpha << 24 | red << 16 | green << 8 | blue;
}

// Every shape below is appended to the vertex batch, which needs the device: nothing is drawn yet.
void GR_Draw_Clear(uint32_t /*colour*/) {}
void GR_Draw_Line(float, float, float, float) {}
void GR_Draw_Rectangle(float, float, float, float, bool) {}
void GR_Draw_RectangleColour(float, float, float, float, uint32_t, uint32_t, uint32_t, uint32_t, bool) {}
void GR_Draw_Ellipse(float, float, float, float, bool) {}
void GR_Draw_EllipseColour(float, float, float, float, uint32_t, uint32_t, bool) {}
void GR_Draw_Arrow(float, float, float, float, float) {}
void GR_Draw_Healthbar(float, float, float, float, float, uint32_t, uint32_t, uint32_t, uint32_t, int, bool,
                       bool) {}
void GR_Draw_PrimitiveBegin(int, int) {}
void GR_Draw_Vertex(float, float) {}
void GR_Draw_PrimitiveEnd() {}

void Text_SetFont(int font) {
    g_currentFont = Font_Exists(font) ? font : -1;
}
void Text_SetHAlign(int align) {
    g_hAlign = (align == 1 || align == 2) ? align : 0;
}

// Text is drawn with a font texture, and neither the fonts nor the built-in font exist without the
// device: nothing is drawn and every text measures 0.
void Text_Draw(float, float, const char*, int, int) {}
void Text_DrawTransformed(float, float, const char*, int, int, float, float, float) {}
int Text_Width(const char* /*text*/, int /*separation*/, int /*width*/) {
    return 0;
}
void Text_Free() {}
