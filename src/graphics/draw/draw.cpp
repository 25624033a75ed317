#include "graphics/draw/draw.h"

#include "graphics/frame/batcher.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/frame/vertex.h"
#include "graphics/image/colour.h"
#include "script/vm/vm_error.h"

#include <cmath>
#include <cstring>

namespace {

// Points, lines and outline edges are moved by this much in x and y.
constexpr float kOffset = 1.0f;

uint32_t g_drawColour = 0xFF000000u; // device order, opaque black
uint32_t g_drawAlpha = 255;
int g_circlePrecision = 24;
float g_cos[65];
float g_sin[65];

struct PrimitiveBuilder {
    int kind = 0;
    int texture = -1;
    const TPageEntry* entry = nullptr;
    float pageWidth = 1.0f;
    float pageHeight = 1.0f;
    int count = 0;
    Vertex24 vertices[GR_Draw_MaxPrimitiveVertices];
};
PrimitiveBuilder g_builder;

void BuildCircleTable() {
    const int n = g_circlePrecision;
    for (int i = 0; i <= n; ++i) {
        const float angle = static_cast<float>(i * 2 * 3.1415927410125732 / n);
        g_cos[i] = static_cast<float>(std::cos(static_cast<double>(angle)));
        g_sin[i] = static_cast<float>(std::sin(static_cast<double>(angle)));
    }
}

uint32_t AlphaByte(float alpha) {
    const float a = alpha < 0.0f ? 0.0f : (alpha > 1.0f ? 1.0f : alpha);
    return static_cast<uint32_t>(a * 255.0f);
}

float Depth() {
    return Transform_State().GR_Transform.depth2D;
}

// Room for n vertices of a shape without texture; null when nothing can be drawn.
Vertex16* Alloc16(int kind, int n) {
    return static_cast<Vertex16*>(Graphics::AllocVerts(kind, nullptr, 16, n));
}
Vertex24* Alloc24(int kind, int n) {
    return static_cast<Vertex24*>(Graphics::AllocVerts(kind, nullptr, 24, n));
}

Vertex16 V16(float x, float y, uint32_t c) {
    return Vertex16{x, y, Depth(), c};
}
Vertex24 V24(float x, float y, uint32_t c) {
    return Vertex24{x, y, Depth(), c, 0.0f, 0.0f};
}

uint32_t Device(uint32_t scriptColour) {
    return GR_DeviceColour(scriptColour, g_drawAlpha);
}

void Order(float& a, float& b) {
    if (a > b) {
        const float t = a;
        a = b;
        b = t;
    }
}

bool IsWhole(float f) {
    return std::floor(f) == f;
}

void FilledRectangle(float x1, float y1, float x2, float y2, uint32_t c) {
    Order(x1, x2);
    Order(y1, y2);
    Vertex24* v = Alloc24(4, 6);
    if (!v) return;
    const float right = x2 + kOffset;
    const float bottom = y2 + kOffset;
    v[0] = V24(x1, y1, c);
    v[1] = V24(right, y1, c);
    v[2] = V24(right, bottom, c);
    v[3] = V24(right, bottom, c);
    v[4] = V24(x1, bottom, c);
    v[5] = V24(x1, y1, c);
}

void EllipseCore(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge, bool outline) {
    const float cx = (x1 + x2) / 2.0f;
    const float cy = (y1 + y2) / 2.0f;
    const float rx = std::fabs(x1 - x2) / 2.0f;
    const float ry = std::fabs(y1 - y2) / 2.0f;
    const int n = g_circlePrecision;
    auto point = [&](int i, uint32_t c) { return V24(g_cos[i] * rx + cx, g_sin[i] * ry + cy, c); };
    if (outline) {
        Vertex24* v = Alloc24(3, n + 1);
        if (!v) return;
        for (int i = 0; i <= n; ++i)
            v[i] = point(i, edge);
        return;
    }
    Vertex24* v = Alloc24(4, n * 3);
    if (!v) return;
    for (int i = 0; i < n; ++i) {
        v[i * 3] = V24(cx, cy, centre);
        v[i * 3 + 1] = point(i, edge);
        v[i * 3 + 2] = point(i + 1, edge);
    }
}

void ThickLine(float x1, float y1, float x2, float y2, float w, uint32_t c1, uint32_t c2) {
    const float length = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    if (length == 0.0f) return;
    const float X1 = x1 + kOffset, Y1 = y1 + kOffset, X2 = x2 + kOffset, Y2 = y2 + kOffset;
    const float half = w / 2.0f;
    const float px = (X2 - X1) * half / length;
    const float py = (Y2 - Y1) * half / length;
    Vertex16* v = Alloc16(6, 4);
    if (!v) return;
    v[0] = V16(X1 - py, Y1 + px, c1);
    v[1] = V16(X2 - py, Y2 + px, c2);
    v[2] = V16(X2 + py, Y2 - px, c2);
    v[3] = V16(X1 + py, Y1 - px, c1);
}

void Triangle(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1, uint32_t c2, uint32_t c3,
              bool outline) {
    Vertex24* v = Alloc24(outline ? 3 : 4, outline ? 4 : 3);
    if (!v) return;
    v[0] = V24(x1, y1, c1);
    v[1] = V24(x2, y2, c2);
    v[2] = V24(x3, y3, c3);
    if (outline) v[3] = V24(x1, y1, c1);
}

void RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre, uint32_t edge,
               bool outline) {
    Order(x1, x2);
    Order(y1, y2);
    if (IsWhole(x2)) x2 += 0.01f;
    if (IsWhole(y2)) y2 += 0.01f;
    const float w = std::fabs(x2 - x1);
    const float h = std::fabs(y2 - y1);
    const float cw = rx < w ? rx : w;
    const float ch = ry < h ? ry : h;
    const float cx = (x1 + x2) / 2.0f;
    const float cy = (y1 + y2) / 2.0f;
    const float dx = w / 2.0f - cw / 2.0f;
    const float dy = h / 2.0f - ch / 2.0f;
    const int n = g_circlePrecision;
    Vertex24* v = Alloc24(outline ? 3 : 6, n + 6);
    if (!v) return;
    v[0] = V24(cx, cy, centre);
    int k = 1;
    const float centres[4][2] = {{cx + dx, cy + dy}, {cx - dx, cy + dy}, {cx - dx, cy - dy}, {cx + dx, cy - dy}};
    for (int arc = 0; arc < 4; ++arc) {
        for (int i = arc * n / 4; i <= (arc + 1) * n / 4; ++i)
            v[k++] = V24(g_cos[i] * cw / 2.0f + centres[arc][0], g_sin[i] * ch / 2.0f + centres[arc][1], edge);
    }
    v[k] = v[1];
    if (outline) v[0] = v[1];
}

} // namespace

void GR_Draw_Init() {
    GR_Draw_SetCirclePrecision(24);
}

uint32_t GR_MakeColour(int red, int green, int blue) {
    return static_cast<uint32_t>(red) | static_cast<uint32_t>(green) << 8 | static_cast<uint32_t>(blue) << 16;
}

uint32_t GR_DeviceColour(uint32_t colour, uint32_t alpha) {
    const uint32_t red = colour & 0xFFu;
    const uint32_t green = (colour >> 8) & 0xFFu;
    const uint32_t blue = (colour >> 16) & 0xFFu;
    return (alpha & 0xFFu) << 24 | red << 16 | green << 8 | blue;
}

void GR_Draw_SetColour(uint32_t colour) {
    g_drawColour = GR_DeviceColour(colour, g_drawAlpha);
}

void GR_Draw_SetAlpha(float alpha) {
    g_drawAlpha = AlphaByte(alpha);
    g_drawColour = (g_drawColour & 0x00FFFFFFu) | g_drawAlpha << 24;
}

uint32_t GR_Draw_GetColour() {
    const uint32_t c = g_drawColour;
    return (c & 0xFF00FF00u) | (c >> 16 & 0xFFu) | (c & 0xFFu) << 16;
}

float GR_Draw_GetAlpha() {
    return static_cast<float>(g_drawAlpha) / 255.0f;
}

uint32_t GR_Draw_GetDeviceColour() {
    return g_drawColour;
}

void GR_Draw_Clear(uint32_t colour) {
    Graphics::Clear(colour, 1.0f, 0, 7);
}

void GR_Draw_ClearAlpha(uint32_t colour, float alpha) {
    Graphics::Clear((colour & 0x00FFFFFFu) | AlphaByte(alpha) << 24, 1.0f, 0, 7);
}

void GR_Draw_SetCirclePrecision(int n) {
    n = n < 4 ? 4 : (n > 64 ? 64 : n);
    g_circlePrecision = n - n % 4;
    BuildCircleTable();
}

int GR_Draw_GetCirclePrecision() {
    return g_circlePrecision;
}

void GR_Draw_Point(float x, float y) {
    if (Vertex16* v = Alloc16(1, 1)) v[0] = V16(x + kOffset, y + kOffset, g_drawColour);
}

void GR_Draw_PointColour(float x, float y, uint32_t colour) {
    if (Vertex16* v = Alloc16(1, 1)) v[0] = V16(x + kOffset, y + kOffset, Device(colour));
}

void GR_Draw_Line(float x1, float y1, float x2, float y2) {
    GR_Draw_LineColour(x1, y1, x2, y2, GR_Draw_GetColour() & 0xFFFFFFu, GR_Draw_GetColour() & 0xFFFFFFu);
}

void GR_Draw_LineColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2) {
    Vertex16* v = Alloc16(2, 2);
    if (!v) return;
    v[0] = V16(x1 + kOffset, y1 + kOffset, Device(c1));
    v[1] = V16(x2 + kOffset, y2 + kOffset, Device(c2));
}

void GR_Draw_LineWidth(float x1, float y1, float x2, float y2, float w) {
    ThickLine(x1, y1, x2, y2, w, g_drawColour, g_drawColour);
}

void GR_Draw_LineWidthColour(float x1, float y1, float x2, float y2, float w, uint32_t c1, uint32_t c2) {
    ThickLine(x1, y1, x2, y2, w, Device(c1), Device(c2));
}

void GR_Draw_Triangle(float x1, float y1, float x2, float y2, float x3, float y3, bool outline) {
    Triangle(x1, y1, x2, y2, x3, y3, g_drawColour, g_drawColour, g_drawColour, outline);
}

void GR_Draw_TriangleColour(float x1, float y1, float x2, float y2, float x3, float y3, uint32_t c1, uint32_t c2,
                            uint32_t c3, bool outline) {
    Triangle(x1, y1, x2, y2, x3, y3, Device(c1), Device(c2), Device(c3), outline);
}

void GR_Draw_Rectangle(float x1, float y1, float x2, float y2, bool outline) {
    if (!outline) {
        FilledRectangle(x1, y1, x2, y2, g_drawColour);
        return;
    }
    Order(x1, x2);
    Order(y1, y2);
    const float X1 = x1 + kOffset, Y1 = y1 + kOffset, X2 = x2 + kOffset, Y2 = y2 + kOffset;
    const uint32_t c = g_drawColour;
    if (Vertex24* v = Alloc24(3, 5)) {
        v[0] = V24(X1, Y1, c);
        v[1] = V24(X2, Y1, c);
        v[2] = V24(X2, Y2, c);
        v[3] = V24(X1, Y2, c);
        v[4] = V24(X1, Y1, c);
    }
    // The corner pixels, which the strip leaves out.
    if (Vertex24* v = Alloc24(1, 4)) {
        v[0] = V24(X1, Y1, c);
        v[1] = V24(X2, Y1, c);
        v[2] = V24(X2, Y2, c);
        v[3] = V24(X1, Y2, c);
    }
}

void GR_Draw_RectangleColour(float x1, float y1, float x2, float y2, uint32_t c1, uint32_t c2, uint32_t c3,
                             uint32_t c4, bool outline) {
    float left = x1;
    float right = x2 + kOffset;
    float top = y1;
    float bottom = y2 + kOffset;
    Order(left, right);
    Order(top, bottom);
    if (IsWhole(right)) right += 0.01f;
    if (IsWhole(bottom)) bottom += 0.01f;
    Vertex24* v = Alloc24(outline ? 3 : 6, 5);
    if (!v) return;
    v[0] = V24(left, top, Device(c1));
    v[1] = V24(right, top, Device(c2));
    v[2] = V24(right, bottom, Device(c3));
    v[3] = V24(left, bottom, Device(c4));
    v[4] = v[0];
}

void GR_Draw_RoundRect(float x1, float y1, float x2, float y2, float rx, float ry, bool outline) {
    RoundRect(x1, y1, x2, y2, rx, ry, g_drawColour, g_drawColour, outline);
}

void GR_Draw_RoundRectColour(float x1, float y1, float x2, float y2, float rx, float ry, uint32_t centre,
                             uint32_t edge, bool outline) {
    RoundRect(x1, y1, x2, y2, rx, ry, Device(centre), Device(edge), outline);
}

void GR_Draw_Circle(float x, float y, float r, bool outline) {
    EllipseCore(x - r, y - r, x + r, y + r, g_drawColour, g_drawColour, outline);
}

void GR_Draw_CircleColour(float x, float y, float r, uint32_t centre, uint32_t edge, bool outline) {
    EllipseCore(x - r, y - r, x + r, y + r, Device(centre), Device(edge), outline);
}

void GR_Draw_Ellipse(float x1, float y1, float x2, float y2, bool outline) {
    EllipseCore(x1, y1, x2, y2, g_drawColour, g_drawColour, outline);
}

void GR_Draw_EllipseColour(float x1, float y1, float x2, float y2, uint32_t centre, uint32_t edge, bool outline) {
    EllipseCore(x1, y1, x2, y2, Device(centre), Device(edge), outline);
}

void GR_Draw_Arrow(float x1, float y1, float x2, float y2, float size) {
    const float length = std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
    if (length == 0.0f) return;
    const float s = size < length ? size : length;
    const float ux = s * (x2 - x1) / length;
    const float uy = s * (y2 - y1) / length;
    GR_Draw_Line(x1, y1, x2, y2);
    Triangle(x2 - ux - uy / 3.0f, y2 - uy + ux / 3.0f, x2, y2, x2 - ux + uy / 3.0f, y2 - uy - ux / 3.0f,
             g_drawColour, g_drawColour, g_drawColour, false);
}

void GR_Draw_Button(float x1, float y1, float x2, float y2, bool up) {
    const uint32_t light = Device(0xFFFFFFu);
    const uint32_t dark = Device(0x808080u);
    Triangle(x1, y1, x2, y1, x1, y2, up ? light : dark, up ? light : dark, up ? light : dark, false);
    Triangle(x1, y2, x2, y1, x2, y2, up ? dark : light, up ? dark : light, up ? dark : light, false);
    FilledRectangle(x1 + 2.0f, y1 + 2.0f, x2 - 2.0f, y2 - 2.0f, g_drawColour);
}

void GR_Draw_Healthbar(float x1, float y1, float x2, float y2, float amount, uint32_t back, uint32_t minColour,
                       uint32_t midColour, uint32_t maxColour, int direction, bool showBack, bool showBorder) {
    if (showBack) {
        GR_Draw_RectangleColour(x1, y1, x2, y2, back, back, back, back, false);
        if (showBorder) GR_Draw_RectangleColour(x1, y1, x2, y2, 0, 0, 0, 0, true);
    }
    amount = amount < 0.0f ? 0.0f : (amount > 100.0f ? 100.0f : amount);
    if (amount == 0.0f) return;
    const float f = amount / 100.0f;
    float left = x1, top = y1, right = x2, bottom = y2;
    switch (direction) {
    case 1: left = x2 - (x2 - x1) * f; break;
    case 2: bottom = y1 + (y2 - y1) * f; break;
    case 3: top = y2 - (y2 - y1) * f; break;
    default: right = x1 + (x2 - x1) * f; break;
    }
    const uint32_t colour = amount > 50.0f ? Colour_Merge(midColour, maxColour, (amount - 50.0f) / 50.0f)
                                           : Colour_Merge(minColour, midColour, amount / 50.0f);
    GR_Draw_RectangleColour(left, top, right, bottom, colour, colour, colour, colour, false);
    if (showBorder) GR_Draw_RectangleColour(left, top, right, bottom, 0, 0, 0, 0, true);
}

void GR_Draw_PrimitiveBegin(int kind, int64_t texture) {
    g_builder.count = 0;
    g_builder.kind = kind;
    g_builder.entry = nullptr;
    g_builder.texture = -1;
    if (texture >= INT32_MIN && texture <= INT32_MAX && Texture_Exists(static_cast<int>(texture))) {
        g_builder.texture = static_cast<int>(texture);
        return;
    }
    if (texture == -1) return;
    const TPageEntry* entry = texture > 16384 ? PageEntry_FromHandle(texture) : nullptr;
    if (entry && Texture_Exists(entry->texture)) {
        const TDeviceTexture* t = Texture_Get(entry->texture);
        g_builder.entry = entry;
        g_builder.texture = entry->texture;
        g_builder.pageWidth = static_cast<float>(t->Width());
        g_builder.pageHeight = static_cast<float>(t->Height());
        return;
    }
    g_builder.kind = 0;
    Code_Error_Report("Illegal texture supplied.", true);
}

void GR_Draw_VertexTextureColour(float x, float y, float u, float v, uint32_t colour, float alpha) {
    if (g_builder.count >= GR_Draw_MaxPrimitiveVertices) return;
    if (const TPageEntry* e = g_builder.entry) {
        u = (e->targetWidth * u + e->sourceX) / g_builder.pageWidth;
        v = (e->targetHeight * v + e->sourceY) / g_builder.pageHeight;
    }
    g_builder.vertices[g_builder.count++] = Vertex24{x, y, Depth(), GR_DeviceColour(colour, AlphaByte(alpha)), u, v};
}

void GR_Draw_Vertex(float x, float y) {
    GR_Draw_VertexTextureColour(x, y, 0.0f, 0.0f, GR_Draw_GetColour() & 0xFFFFFFu, GR_Draw_GetAlpha());
}

void GR_Draw_VertexColour(float x, float y, uint32_t colour, float alpha) {
    GR_Draw_VertexTextureColour(x, y, 0.0f, 0.0f, colour, alpha);
}

void GR_Draw_VertexTexture(float x, float y, float u, float v) {
    GR_Draw_VertexTextureColour(x, y, u, v, GR_Draw_GetColour() & 0xFFFFFFu, GR_Draw_GetAlpha());
}

// The builder is kept: ending again draws the same vertices again.
void GR_Draw_PrimitiveEnd() {
    if (g_builder.kind < 1 || g_builder.kind > 6) return;
    auto* v = static_cast<Vertex24*>(
        Graphics::AllocVerts(g_builder.kind, Texture_Get(g_builder.texture), 24, g_builder.count));
    if (v) std::memcpy(v, g_builder.vertices, sizeof(Vertex24) * static_cast<size_t>(g_builder.count));
}
