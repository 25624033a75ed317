// Two-dimensional shapes, user primitives and text, as the run loop, the room drawing and the actions
// draw them. Everything is appended to the vertex batch, so without a device nothing is drawn; the
// drawing colour and alpha are kept as state all the same.
#pragma once

#include <cstdint>

void GR_Draw_Init();
// Drawing colour from a script colour 0x00BBGGRR, kept in device order 0xAARRGGBB with the drawing
// alpha on top.
void GR_Draw_SetColour(uint32_t colour);
void GR_Draw_Clear(uint32_t colour);
void GR_Draw_Line(float x1, float y1, float x2, float y2);
void GR_Draw_Rectangle(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_RectangleColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                             uint32_t c4, bool outline);
void GR_Draw_Ellipse(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_EllipseColour(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge,
                           bool outline);
void GR_Draw_Arrow(float x1, float y1, float x2, float y2, float size);
void GR_Draw_Healthbar(float x1, float y1, float x2, float y2, float amount, uint32_t back,
                       uint32_t minColour, uint32_t midColour, uint32_t maxColour, int direction,
                       bool showBack, bool showBorder);
void GR_Draw_PrimitiveBegin(int kind, int texture);
void GR_Draw_Vertex(float x, float y);
void GR_Draw_PrimitiveEnd();

// Text with the current font; separation and width of -1 mean the defaults.
void Text_SetFont(int font);
void Text_SetHAlign(int align);
void Text_Draw(float x, float y, const char* text, int separation, int width);
void Text_DrawTransformed(float x, float y, const char* text, int separation, int width, float xscale,
                          float yscale, float angle);
int Text_Width(const char* text, int separation, int width);
void Text_Free();
