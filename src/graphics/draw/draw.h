// Folder draw/: shapes, primitives and textured quads in the drawing colour, and surfaces drawn as images.
//
// Two-dimensional shapes and user primitives, as the run loop, the room drawing and the actions
// draw them, in the drawing colour and alpha. Everything is appended to the vertex batch, so without a
// device nothing is drawn; the drawing colour and alpha are kept as state all the same.
#pragma once

#include <cstdint>

void GR_Draw_Init();
// red | green << 8 | blue << 16.
uint32_t GR_MakeColour(int red, int green, int blue);
// Drawing colour from a script colour 0x00BBGGRR, kept in device order 0xAARRGGBB with the drawing
// alpha on top.
void GR_Draw_SetColour(uint32_t colour);
void GR_Draw_SetAlpha(float alpha);
// The drawing colour in script order with the alpha byte on top.
uint32_t GR_Draw_GetColour();
float GR_Draw_GetAlpha();
// The drawing colour in device order.
uint32_t GR_Draw_GetDeviceColour();
// colour is a script colour with the alpha byte on top (0xAABBGGRR).
void GR_Draw_Clear(uint32_t colour);
void GR_Draw_ClearAlpha(uint32_t colour, float alpha);
void GR_Draw_SetCirclePrecision(int n);
int GR_Draw_GetCirclePrecision();
// The device colour of a script colour and an alpha byte.
uint32_t GR_DeviceColour(uint32_t colour, uint32_t alpha);

void GR_Draw_Point(float x, float y);
void GR_Draw_PointColour(float x, float y, uint32_t colour);
void GR_Draw_Line(float x1, float y1, float x2, float y2);
void GR_Draw_LineColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2);
void GR_Draw_LineWidth(float x1, float y1, float x2, float y2, float w);
void GR_Draw_LineWidthColour(float x1, float y1, float x2, float y2, float w, uint32_t c1, uint32_t c2);
void GR_Draw_Triangle(float x1, float y1, float x2, float y2, float x3, float y3, bool outline);
void GR_Draw_TriangleColour(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1, uint32_t c2,
                            uint32_t c3, bool outline);
void GR_Draw_Rectangle(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_RectangleColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                             uint32_t c4, bool outline);
void GR_Draw_RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, bool outline);
void GR_Draw_RoundRectColour(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre,
                             uint32_t edge, bool outline);
void GR_Draw_Circle(float x, float y, float r, bool outline);
void GR_Draw_CircleColour(float x, float y, float r, uint32_t centre, uint32_t edge, bool outline);
void GR_Draw_Ellipse(float x1, float y1, float x2, float y2, bool outline);
void GR_Draw_EllipseColour(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge,
                           bool outline);
void GR_Draw_Arrow(float x1, float y1, float x2, float y2, float size);
void GR_Draw_Button(float x1, float y1, float x2, float y2, bool up);
void GR_Draw_Healthbar(float x1, float y1, float x2, float y2, float amount, uint32_t back,
                       uint32_t minColour, uint32_t midColour, uint32_t maxColour, int direction,
                       bool showBack, bool showBorder);

// User primitives: texture is a texture id, -1 for none, or a texture-page entry handle.
// A primitive keeps its first GR_Draw_MaxPrimitiveVertices vertices; further ones are dropped.
constexpr int GR_Draw_MaxPrimitiveVertices = 1001;
void GR_Draw_PrimitiveBegin(int kind, int64_t texture);
void GR_Draw_Vertex(float x, float y);
void GR_Draw_VertexColour(float x, float y, uint32_t colour, float alpha);
void GR_Draw_VertexTexture(float x, float y, float u, float v);
void GR_Draw_VertexTextureColour(float x, float y, float u, float v, uint32_t colour, float alpha);
void GR_Draw_PrimitiveEnd();
