// Drawing one line of text with a font: glyph quads in the vertex batch for fonts with a texture, frames
// of the sprite for sprite fonts, and textured quads per glyph for the four-colour forms.
#include "core/convert.h"
#include "graphics/draw/draw.h"
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/transform.h"
#include "graphics/frame/vertex.h"
#include "graphics/image/colour.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTriangleList = 4;
// Glyphs per allocation from the batch, so that a long line never asks for more than a buffer holds.
constexpr int kGlyphsPerAllocation = 4096;

// The glyph's vertex colours: the alpha rounded, and, while corner ids are on, each corner marked.
struct GlyphColours {
    uint32_t corner[4]; // top-left, top-right, bottom-right, bottom-left

    GlyphColours(uint32_t colour, float alpha) {
        double a = std::nearbyint(static_cast<double>(alpha) * 255.0);
        a = std::clamp(a, 0.0, 255.0);
        const uint32_t base = Colour_ToARGB(colour, static_cast<uint8_t>(a));
        for (int k = 0; k < 4; ++k)
            corner[k] = Texture_GetCornerIds() ? Texture_CornerColour(base, k) : base;
    }
};

// Hands out six vertices per glyph from successive allocations of the batch; vertices not filled are
// given back at the end.
class QuadWriter {
public:
    QuadWriter(TDeviceTexture* texture, int glyphs) : m_texture(texture), m_glyphs(glyphs) {}
    ~QuadWriter() { Graphics::UnallocVerts(m_left); }

    // Room for the next glyph; null when the batch has none.
    Vertex24* Next() {
        if (m_left == 0) {
            const int n = std::min(m_glyphs, kGlyphsPerAllocation);
            m_next = static_cast<Vertex24*>(Graphics::AllocVerts(kTriangleList, m_texture, 24, 6 * n));
            if (!m_next) return nullptr;
            m_left = 6 * n;
        }
        Vertex24* v = m_next;
        m_next += 6;
        m_left -= 6;
        --m_glyphs;
        return v;
    }
    // Sends what was written and goes on in a new allocation.
    void Restart() {
        Graphics::UnallocVerts(m_left);
        m_left = 0;
        Graphics::Flush();
    }

private:
    TDeviceTexture* m_texture;
    int m_glyphs;
    int m_left = 0;
    Vertex24* m_next = nullptr;
};

// Corners in the order top-left, top-right, bottom-right, bottom-left.
void WriteQuad(Vertex24* v, const float x[4], const float y[4], float uL, float vT, float uR, float vB,
               const GlyphColours& colours) {
    static const int kOrder[6] = {0, 1, 2, 2, 3, 0};
    const float us[4] = {uL, uR, uR, uL};
    const float vs[4] = {vT, vT, vB, vB};
    const float z = Transform_State().GR_Transform.depth2D;
    for (int i = 0; i < 6; ++i) {
        const int k = kOrder[i];
        v[i] = Vertex24{x[k], y[k], z, colours.corner[k], us[k], vs[k]};
    }
}

void WriteDegenerate(Vertex24* v, const GlyphColours& colours) {
    const float zero[4] = {0, 0, 0, 0};
    WriteQuad(v, zero, zero, 0, 0, 0, 0, colours);
}

// sin and cos of an angle in degrees, each in single precision.
void Rotation(float degrees, double& s, double& c) {
    const float a = static_cast<float>(static_cast<double>(degrees) * 0.01745329238474369);
    s = static_cast<float>(std::sin(static_cast<double>(a)));
    c = static_cast<float>(std::cos(static_cast<double>(a)));
}

float Radians(float degrees) {
    return static_cast<float>(static_cast<double>(degrees) * 0.01745329238474369);
}

bool Resident(const FontGlyph& g) {
    return !(g.x == kGlyphNotResident && g.y == kGlyphNotResident);
}

float Sum(float a, double b) {
    return static_cast<float>(static_cast<double>(a) + b);
}

// Number of characters of a line before the terminating 0.
int LineLength(const uint32_t* line) {
    int n = 0;
    while (line[n])
        ++n;
    return n;
}

} // namespace

FontGlyph* CFontQN::LookUp(uint32_t c) {
    int low = 0, high = static_cast<int>(m_glyphs.size()) - 1;
    while (low <= high) {
        const int mid = low + (high - low) / 2;
        FontGlyph& g = m_glyphs[static_cast<size_t>(mid)];
        if (g.character == c) return &g;
        if (c < g.character)
            high = mid - 1;
        else
            low = mid + 1;
    }
    return nullptr;
}

FontGlyph* CFontQN::FindGlyph(uint32_t c) {
    FontGlyph* g = LookUp(c);
    if (g && !Resident(*g)) m_cache.Render(g);
    return g;
}

template <typename Restart> FontGlyph* CFontQN::GlyphForQuad(uint32_t c, Restart restart) {
    if (m_cache.NextCellPending()) {
        const FontGlyph* g = LookUp(c);
        if (g && !Resident(*g)) restart();
    }
    return FindGlyph(c);
}

int CFontQN::DrawTextureId() const {
    return m_pageEntry ? m_pageEntry->texture : m_texture;
}

// Glyph quads: unrotated below 0.001 degrees (missing glyphs then get a degenerate quad), else turned
// about the pen (missing glyphs then take no vertices).
void CFontQN::DrawQuads(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                        uint32_t colour, float alpha) {
    const int id = DrawTextureId();
    float tw = 0, th = 0;
    if (!Texture_GetTexelSize(id, tw, th)) return;
    const int length = LineLength(line);
    if (length == 0) return;
    const GlyphColours colours(colour, alpha);
    const bool rotated = !(std::fabs(angle) < 0.001f);
    double s = 0.0, c = 1.0;
    if (rotated) Rotation(angle, s, c);
    const double m = m_margin;
    const double ex = m_pageEntry ? m_pageEntry->sourceX : 0;
    const double ey = m_pageEntry ? m_pageEntry->sourceY : 0;
    const double pad = m_pageEntry ? m : 0.0;
    QuadWriter writer(Texture_Get(id), length);
    float penX = x, penY = y;
    for (int i = 0; i < length; ++i) {
        const FontGlyph* g = GlyphForQuad(line[i], [&] { writer.Restart(); });
        if (!g && rotated) continue;
        Vertex24* v = writer.Next();
        if (!v) return;
        if (!g || !Resident(*g)) {
            WriteDegenerate(v, colours);
            if (g) {
                penX = Sum(penX, c * xscale * g->shift);
                penY = Sum(penY, -s * xscale * g->shift);
            }
            continue;
        }
        const float uL = static_cast<float>((ex + g->x - pad) * tw);
        const float vT = static_cast<float>((ey + g->y - pad) * th);
        const float uR = static_cast<float>((ex + g->x + g->w + pad) * tw);
        const float vB = static_cast<float>((ey + g->y + g->h + pad) * th);
        float qx[4], qy[4];
        if (!rotated) {
            const double left = static_cast<double>(penX) + g->offset * static_cast<double>(xscale);
            qx[0] = qx[3] = static_cast<float>(left - m);
            qx[1] = qx[2] = static_cast<float>(left + g->w * static_cast<double>(xscale) + m);
            qy[0] = qy[1] = static_cast<float>(y - m);
            qy[2] = qy[3] = static_cast<float>(y + g->h * static_cast<double>(yscale) + m);
        } else {
            const double px = penX + c * xscale * g->offset;
            const double py = penY - s * xscale * g->offset;
            const double w = static_cast<double>(xscale) * g->w;
            const double h = static_cast<double>(yscale) * g->h;
            qx[0] = static_cast<float>(px - m);
            qy[0] = static_cast<float>(py - m);
            qx[1] = static_cast<float>(px + c * w - m);
            qy[1] = static_cast<float>(py - s * w - m);
            qx[2] = static_cast<float>(px + c * w + s * h + m);
            qy[2] = static_cast<float>(py - s * w + c * h + m);
            qx[3] = static_cast<float>(px + s * h + m);
            qy[3] = static_cast<float>(py + c * h + m);
        }
        WriteQuad(v, qx, qy, uL, vT, uR, vB, colours);
        m_cache.MarkDrawn(g);
        penX = Sum(penX, c * xscale * g->shift);
        penY = Sum(penY, -s * xscale * g->shift);
    }
}

// The glyphs of a line with their positions: the pen moves along the angle (s, c) by each shift, and a
// glyph lies its offset further on. visit(glyph, x, y, t) gets t, the sum of the shifts before it.
// Characters without a glyph neither draw nor advance.
template <typename Visit>
void CFontQN::WalkGlyphs(float x, float y, const uint32_t* line, float xscale, double s, double c, Visit visit) {
    float penX = x, penY = y;
    int t = 0;
    for (int i = 0; line[i]; ++i) {
        FontGlyph* g = GlyphForQuad(line[i], [] { Graphics::Flush(); });
        if (!g) continue;
        visit(*g, Sum(penX, c * xscale * g->offset), Sum(penY, -s * xscale * g->offset), t);
        penX = Sum(penX, c * xscale * g->shift);
        penY = Sum(penY, -s * xscale * g->shift);
        t = Wrap_Add32(t, g->shift);
    }
}

void CFontQN::Draw(float x, float y, const uint32_t* line, uint32_t colour, float alpha) {
    if (!line) return;
    if (m_sprite >= 0) {
        DrawTransformed(x, y, line, m_scaleX, m_scaleY, 0.0f, colour, alpha);
        return;
    }
    DrawQuads(x, y, line, m_scaleX, m_scaleY, 0.0f, colour, alpha);
}

void CFontQN::DrawTransformed(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                              uint32_t colour, float alpha) {
    if (!line) return;
    if (m_sprite < 0) {
        DrawQuads(x, y, line, xscale, yscale, angle, colour, alpha);
        return;
    }
    CSprite* sprite = Sprite_Data(m_sprite);
    if (!sprite) return;
    double s = 0.0, c = 1.0;
    if (!(std::fabs(angle) < 0.001f)) Rotation(angle, s, c);
    WalkGlyphs(x, y, line, xscale, s, c, [&](const FontGlyph& g, float px, float py, int) {
        if (g.character != 32) sprite->Draw(g.w, px, py, xscale, yscale, angle, colour, alpha);
    });
}

void CFontQN::DrawColour(float x, float y, const uint32_t* line, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                         float alpha) {
    DrawGradient(x, y, line, m_scaleX, m_scaleY, 0.0f, c1, c2, c3, c4, alpha);
}

void CFontQN::DrawTransformedColour(float x, float y, const uint32_t* line, float xscale, float yscale,
                                    float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) {
    DrawGradient(x, y, line, xscale, yscale, angle, c1, c2, c3, c4, alpha);
}

// Each glyph a quad of its own, its corners coloured by where they lie along the line: the left colours
// (c1 top, c4 bottom) at its start, the right ones (c2, c3) at its end.
void CFontQN::DrawGradient(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                           uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha) {
    if (!line) return;
    CSprite* sprite = nullptr;
    if (m_sprite >= 0 && !(sprite = Sprite_Data(m_sprite))) return;
    double s = 0.0, c = 1.0;
    Rotation(angle, s, c);
    const float total = static_cast<float>(TextWidth(line));
    // A line whose glyphs do not advance has the left colours throughout.
    auto at = [&](int t) { return total != 0.0f ? static_cast<float>(t) / total : 0.0f; };
    WalkGlyphs(x, y, line, xscale, s, c, [&](const FontGlyph& g, float px, float py, int t) {
        const uint32_t tl = Colour_MergeF(c1, c2, at(t));
        const uint32_t tr = Colour_MergeF(c1, c2, at(Wrap_Add32(t, g.shift)));
        const uint32_t br = Colour_MergeF(c4, c3, at(Wrap_Add32(t, g.shift)));
        const uint32_t bl = Colour_MergeF(c4, c3, at(t));
        if (sprite) {
            if (g.character != 32)
                sprite->DrawGeneral(g.w, 0, 0, static_cast<float>(sprite->width), static_cast<float>(sprite->height),
                                    px, py, xscale, yscale, angle, tl, tr, br, bl, alpha);
            return;
        }
        if (!Resident(g)) return;
        if (m_pageEntry)
            Texture_DrawEntryGeneral(const_cast<TPageEntry*>(m_pageEntry), g.x, g.y, g.w, g.h, px, py, xscale,
                                     yscale, Radians(angle), tl, tr, br, bl, alpha);
        else
            Texture_DrawGeneral(m_texture, g.x, g.y, g.w, g.h, px, py, xscale, yscale, Radians(angle), tl, tr, br, bl,
                                alpha);
        m_cache.MarkDrawn(&g);
    });
}
