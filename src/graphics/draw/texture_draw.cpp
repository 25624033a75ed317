#include "graphics/draw/texture_draw.h"

#include "core/convert.h"
#include "device/device.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/frame/vertex.h"
#include "graphics/image/colour.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

bool g_cornerIds = false;

// Corner numbers: 0 top-left, 1 top-right, 2 bottom-right, 3 bottom-left.
struct Corners {
    float x[4];
    float y[4];
};

struct QuadUV {
    float left, top, right, bottom;
};

constexpr int kListOrder[6] = {0, 1, 2, 2, 3, 0};
constexpr int kPartOrder[6] = {0, 1, 3, 1, 2, 3};
constexpr int kTiledOrder[6] = {3, 0, 1, 1, 2, 3};
constexpr int kFanOrder[4] = {0, 1, 2, 3};

constexpr float kRotationThreshold = 0.001f;
constexpr float kGeneralRotationThreshold = 0.01f;


// Writes a quad in the given vertex order: six vertices make a list quad, four a fan. False when there
// was no room to write it.
bool Emit(TDeviceTexture* texture, const Corners& c, const QuadUV& uv, const uint32_t colours[4],
          const int* order, int count) {
    const bool list = count == 6;
    auto* v = static_cast<Vertex24*>(Graphics::AllocVerts(list ? 4 : 6, texture, 24, count));
    if (!v) return false;
    const float us[4] = {uv.left, uv.right, uv.right, uv.left};
    const float vs[4] = {uv.top, uv.top, uv.bottom, uv.bottom};
    const float z = Transform_State().GR_Transform.depth2D;
    for (int i = 0; i < count; ++i) {
        const int k = order[i];
        const uint32_t colour = list && g_cornerIds ? Texture_CornerColour(colours[k], k) : colours[k];
        v[i] = Vertex24{c.x[k], c.y[k], z, colour, us[k], vs[k]};
    }
    return true;
}

bool EmitOne(TDeviceTexture* texture, const Corners& c, const QuadUV& uv, uint32_t colour, const int* order,
             int count) {
    const uint32_t colours[4] = {colour, colour, colour, colour};
    return Emit(texture, c, uv, colours, order, count);
}

// The rectangle (left, top)-(right, bottom) relative to (x, y), turned about (x, y) when the angle
// reaches the threshold.
Corners Place(float x, float y, float left, float top, float right, float bottom, float angle,
              float threshold) {
    const float px[4] = {left, right, right, left};
    const float py[4] = {top, top, bottom, bottom};
    Corners out;
    if (std::fabs(angle) < threshold) {
        for (int i = 0; i < 4; ++i) {
            out.x[i] = x + px[i];
            out.y[i] = y + py[i];
        }
        return out;
    }
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    for (int i = 0; i < 4; ++i) {
        out.x[i] = x + px[i] * c + py[i] * s;
        out.y[i] = y - px[i] * s + py[i] * c;
    }
    return out;
}

// The alpha byte rounded to nearest after clamping alpha x 255 to 0..255.
uint32_t RoundedARGB(uint32_t colour, float alpha) {
    double a = static_cast<double>(alpha) * 255.0;
    if (!(a > 0.0)) a = 0.0;
    if (a > 255.0) a = 255.0;
    return Colour_ToARGB(colour, static_cast<uint8_t>(std::nearbyint(a)));
}

// White in the current drawing alpha.
uint32_t DrawingWhite() {
    return GR_DeviceColour(0xFFFFFFu, GR_Draw_GetDeviceColour() >> 24);
}

int16_t RecordWidth(const TTexture& r) {
    return static_cast<int16_t>(r.width);
}
int16_t RecordHeight(const TTexture& r) {
    return static_cast<int16_t>(r.height);
}

// u, v over (left, top, width, height) of an id's image.
QuadUV ImageUV(const TTexture& r, float left, float top, float width, float height) {
    return QuadUV{left * r.texelWidth, top * r.texelHeight, (left + width) * r.texelWidth,
                  (top + height) * r.texelHeight};
}

QuadUV WholeImageUV(const TTexture& r) {
    return ImageUV(r, 0.0f, 0.0f, RecordWidth(r), RecordHeight(r));
}

// The texture record of an entry's page; null for a null entry or a page that is not valid.
TTexture* EntryRecord(const TPageEntry* entry) {
    return entry ? Texture_Record(entry->texture) : nullptr;
}

QuadUV EntryUV(const TPageEntry& e, const TTexture& r) {
    return QuadUV{e.sourceX * r.texelWidth, e.sourceY * r.texelHeight,
                  (e.sourceX + e.sourceWidth) * r.texelWidth, (e.sourceY + e.sourceHeight) * r.texelHeight};
}

void FixZeroTarget(TPageEntry& e) {
    if (e.targetWidth == 0) e.targetWidth = 1;
    if (e.targetHeight == 0) e.targetHeight = 1;
}

// ---- Quads that sample only opaque texels

// Where the device puts positions on its target: pixel = scale * coordinate + offset on each axis, pixel
// centres at whole numbers, under a transform that is a plain scale and offset (known is false under
// any other). Made again whenever the device's transforms or viewport change.
struct Placement {
    const CD3DDevice* device = nullptr;
    uint32_t serial = 0;
    bool known = false;
    double scale[2] = {0, 0}, offset[2] = {0, 0};
};

const Placement& DevicePlacement() {
    static Placement p;
    if (p.device == Frame_State().GR_D3DDevice && p.serial == Frame_State().GR_D3DDevice->PlacementSerial())
        return p;
    p = Placement{Frame_State().GR_D3DDevice, Frame_State().GR_D3DDevice->PlacementSerial()};
    D3DMATRIX world, view, projection;
    D3DVIEWPORT9 port{};
    Frame_State().GR_D3DDevice->GetTransform(D3DTS_WORLD, &world);
    Frame_State().GR_D3DDevice->GetTransform(D3DTS_VIEW, &view);
    Frame_State().GR_D3DDevice->GetTransform(D3DTS_PROJECTION, &projection);
    Frame_State().GR_D3DDevice->GetViewport(&port);
    double wv[16], m[16];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            wv[r * 4 + c] = 0;
            for (int k = 0; k < 4; ++k) wv[r * 4 + c] += static_cast<double>(world.m[r * 4 + k]) * view.m[k * 4 + c];
        }
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            m[r * 4 + c] = 0;
            for (int k = 0; k < 4; ++k) m[r * 4 + c] += wv[r * 4 + k] * projection.m[k * 4 + c];
        }
    // x and y each from their own coordinate only, w constant: no rotation, skew or perspective.
    if (m[1] != 0 || m[4] != 0 || m[8] != 0 || m[9] != 0 || m[3] != 0 || m[7] != 0 || m[11] != 0 ||
        !(m[15] != 0) || port.Width == 0 || port.Height == 0)
        return p;
    const double w = m[15];
    p.scale[0] = m[0] / w * port.Width / 2.0;
    p.scale[1] = -m[5] / w * port.Height / 2.0;
    p.offset[0] = port.X + (m[12] / w + 1.0) * port.Width / 2.0;
    p.offset[1] = port.Y + (1.0 - m[13] / w) * port.Height / 2.0;
    p.known = std::isfinite(p.scale[0]) && std::isfinite(p.scale[1]) && std::isfinite(p.offset[0]) &&
              std::isfinite(p.offset[1]);
    return p;
}

// Whether the texels of an entry's source rectangle are all opaque on its page, remembered per entry
// until the page's pixels or the rectangle change.
bool EntryOpaque(const TPageEntry& e, const TTexture& r) {
    const CD3DTexture* texture = r.texture ? r.texture->texture : nullptr;
    if (!texture || e.sourceWidth <= 0 || e.sourceHeight <= 0) return false;
    // The entry's u and v must name its texels exactly.
    if (r.texelWidth * static_cast<float>(texture->Width()) != 1.0f ||
        r.texelHeight * static_cast<float>(texture->Height()) != 1.0f)
        return false;
    struct Memo {
        const TPageEntry* entry;
        uint32_t texture, content;
        int16_t x, y, w, h;
        bool opaque;
    };
    static Memo memos[1024] = {};
    Memo& m = memos[(reinterpret_cast<uintptr_t>(&e) / sizeof(TPageEntry)) % 1024];
    if (m.entry != &e || m.texture != texture->Serial() || m.content != texture->ContentSerial() ||
        m.x != e.sourceX || m.y != e.sourceY || m.w != e.sourceWidth || m.h != e.sourceHeight) {
        const D3DRECT rect{e.sourceX, e.sourceY, e.sourceX + e.sourceWidth, e.sourceY + e.sourceHeight};
        m = Memo{&e, texture->Serial(), texture->ContentSerial(), e.sourceX, e.sourceY, e.sourceWidth,
                 e.sourceHeight, texture->OpaqueIn(rect)};
    }
    return m.opaque;
}

// Whether a quad drawn with point sampling reads only opaque texels: its colour is opaque, it is upright
// and its edges lie on pixel boundaries (half-way between the device's pixel centres), so every pixel
// it covers samples half a pixel inside the entry's rectangle (a texel spans at most 64 pixels, so that
// is far more than rounding can move a sample), and that rectangle is opaque.
bool SamplesOpaque(const TPageEntry& e, const TTexture& r, const Corners& c, uint32_t colour) {
    if ((colour >> 24) != 0xFF || c.x[0] != c.x[3] || c.x[1] != c.x[2] || c.y[0] != c.y[1] || c.y[2] != c.y[3])
        return false;
    const Placement& p = DevicePlacement();
    if (!p.known) return false;
    const double edges[2][2] = {{c.x[0], c.x[1]}, {c.y[0], c.y[2]}};
    const int texels[2] = {e.sourceWidth, e.sourceHeight};
    for (int axis = 0; axis < 2; ++axis) {
        double at[2];
        for (int k = 0; k < 2; ++k) {
            // A boundary lies half-way between pixel centres: at + 0.5 is a whole number.
            const double boundary = p.scale[axis] * edges[axis][k] + p.offset[axis] + 0.5;
            if (!(std::fabs(boundary) < 1e9)) return false;
            const double nearest = static_cast<double>(static_cast<int64_t>(boundary + (boundary < 0 ? -0.5 : 0.5)));
            if (std::fabs(boundary - nearest) > 1.0 / 64) return false;
            at[k] = boundary;
        }
        if (texels[axis] <= 0 || std::fabs(at[1] - at[0]) > 64.0 * texels[axis]) return false;
    }
    return EntryOpaque(e, r);
}

// A part given in full-image coordinates, clipped to the cropped rectangle the page holds. The drawing
// point moves by the clipped amount (truncated); start is where the part begins inside the target
// rectangle. False when nothing of the part is on the page.
struct ClippedPart {
    float x, y, width, height, startX, startY;
};
bool ClipPart(const TPageEntry& e, float left, float top, float angle, float xscale, float yscale,
              ClippedPart& p) {
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    if (e.targetX > left) {
        const float d = e.targetX - left;
        p.x += static_cast<float>(X86_DoubleToInt32(d * c * xscale));
        p.y -= static_cast<float>(X86_DoubleToInt32(d * s * yscale));
        p.width -= d;
        p.startX = 0.0f;
    } else {
        p.startX = left - e.targetX;
    }
    if (e.targetY > top) {
        const float d = e.targetY - top;
        p.x += static_cast<float>(X86_DoubleToInt32(d * s * xscale));
        p.y += static_cast<float>(X86_DoubleToInt32(d * c * yscale));
        p.height -= d;
        p.startY = 0.0f;
    } else {
        p.startY = top - e.targetY;
    }
    // The part ends where the cropped rectangle ends, so the neighbouring images of the page are never
    // sampled.
    p.width = std::min(p.width, e.targetWidth - p.startX);
    p.height = std::min(p.height, e.targetHeight - p.startY);
    return p.width > 0.0f && p.height > 0.0f;
}

// Moves start on by whole steps while limit > start + step.
double StepOnTo(double start, double step, double limit) {
    if (limit > start + step) {
        start += std::ceil((limit - start - step) / step) * step;
        if (limit > start + step) start += step;
    }
    return start;
}

// The first tile position of an axis: start reduced to the tile at or before 0 of its period, then moved
// on to the first tile that reaches into the region.
double TileStart(double start, double step, double regionStart) {
    start = std::fmod(start, step);
    if (start > 0.0) start -= step;
    return StepOnTo(start, step, regionStart);
}

// What of one axis of the drawing's coordinates reaches the render target: the span [low, high) that the
// view port covers, and the size of one pixel there. Unknown (every tile drawn) under a transform that is
// not a plain scale and offset (rotations, 3D).
struct VisibleSpan {
    bool known = false;
    double low = 0.0, high = 0.0, pixel = 0.0;
};

// The view port the device draws into: a port it refused (one larger than the target) leaves the one
// before in place.
struct DevicePort {
    double x = 0.0, y = 0.0, w = 0.0, h = 0.0;
};
DevicePort CurrentPort() {
    D3DVIEWPORT9 v{};
    CD3DDevice* device = Frame_State().GR_D3DDevice;
    if (!device || device->GetViewport(&v) != D3D_OK) return DevicePort{};
    return DevicePort{static_cast<double>(v.X), static_cast<double>(v.Y), static_cast<double>(v.Width),
                      static_cast<double>(v.Height)};
}

// Both axes from the product of the world, view and projection matrices and the view port. Each axis is
// known or not on its own: a view area of no height (a room of height 0, say) leaves its vertical span
// unknown but still bounds the horizontal one.
void VisibleSpans(VisibleSpan* xs, VisibleSpan* ys) {
    *xs = *ys = VisibleSpan{};
    const DevicePort port = CurrentPort();
    const double px = port.x, py = port.y, pw = port.w, ph = port.h;
    float m[16];
    Graphics::GetMatrix(4, m);
    // x' = x m0 + y m4 + z m8 + m12, y' = x m1 + y m5 + z m9 + m13, w' = x m3 + y m7 + z m11 + m15: an axis
    // is a plain scale and offset when the other coordinates leave it and w' alone.
    if (pw <= 0 || ph <= 0 || m[15] == 0.0f || m[3] != 0.0f || m[7] != 0.0f || m[11] != 0.0f) return;
    const bool plain[2] = {m[4] == 0.0f && m[8] == 0.0f, m[1] == 0.0f && m[9] == 0.0f};
    // Screen = scale * coordinate + offset, from clip space through the view port.
    const double w = m[15];
    const double scale[2] = {m[0] / w * pw / 2.0, -m[5] / w * ph / 2.0};
    const double offset[2] = {px + (m[12] / w + 1.0) * pw / 2.0, py + (1.0 - m[13] / w) * ph / 2.0};
    const double first[2] = {px, py};
    const double size[2] = {pw, ph};
    VisibleSpan* spans[2] = {xs, ys};
    for (int a = 0; a < 2; ++a) {
        if (!plain[a] || scale[a] == 0.0 || !std::isfinite(scale[a])) continue;
        const double p = (first[a] - offset[a]) / scale[a], q = (first[a] + size[a] - offset[a]) / scale[a];
        *spans[a] = VisibleSpan{std::isfinite(p) && std::isfinite(q), std::min(p, q), std::max(p, q),
                                1.0 / std::fabs(scale[a])};
    }
}

// Calls each(position) for the tiles of one axis: from start by step while before regionEnd (only the
// first unless tiled). Where that would give more tiles than the visible span has pixels (a huge region,
// or tiles smaller than a pixel), only tiles whose quad, from position + quadOffset for quadSize, reaches
// into the span, and no more than one under each pixel centre: the pixels drawn are the same.
template <typename Each>
void ForEachAxisTile(double start, double step, bool tiled, double regionEnd, const VisibleSpan& span,
                     double quadOffset, double quadSize, Each each) {
    if (!tiled) {
        if (regionEnd > start) each(start);
        return;
    }
    const double pixels = span.known ? std::ceil((span.high - span.low) / span.pixel) : 0.0;
    if (!span.known || (regionEnd - start) / step <= pixels + 2.0) {
        for (double at = start; regionEnd > at; at += step)
            each(at);
        return;
    }
    const double limit = std::min(regionEnd, span.high - quadOffset);
    const double firstIndex = std::max(0.0, std::floor((span.low - quadOffset - quadSize - start) / step) + 1.0);
    if (step >= span.pixel) {
        for (double at = start + firstIndex * step; limit > at; at += step)
            each(at);
        return;
    }
    double last = -1.0;
    for (double k = 0; k < pixels; ++k) {
        const double centre = span.low + (k + 0.5) * span.pixel;
        const double index = std::floor((centre - quadOffset - start) / step);
        const double at = start + index * step;
        if (index < firstIndex || index == last || !(limit > at)) continue;
        last = index;
        each(at);
    }
}

// The number of tiles of one axis from start by step before regionEnd (one at most unless tiled).
double AxisTileCount(double start, double step, bool tiled, double regionEnd) {
    if (!(regionEnd > start)) return 0.0;
    return tiled ? std::ceil((regionEnd - start) / step) : 1.0;
}

// The point of the drawing plane (z = the 2D depth) that the matrix product m shows at the screen point
// (sx, sy) of the port; false where the plane is seen edge on there or lies behind the eye.
bool PlanePointAt(const float m[16], const DevicePort& port, double z, double sx, double sy, double* x,
                  double* y) {
    const double nx = (sx - port.x) / port.w * 2.0 - 1.0, ny = 1.0 - (sy - port.y) / port.h * 2.0;
    // x' - nx w' = 0 and y' - ny w' = 0, two equations a x + b y = e and c x + d y = f in the plane.
    const double a = m[0] - nx * m[3], b = m[4] - nx * m[7];
    const double c = m[1] - ny * m[3], d = m[5] - ny * m[7];
    const double e = -(z * (m[8] - nx * m[11]) + m[12] - nx * m[15]);
    const double f = -(z * (m[9] - ny * m[11]) + m[13] - ny * m[15]);
    const double det = a * d - b * c;
    if (det == 0.0 || !std::isfinite(det)) return false;
    *x = (e * d - b * f) / det;
    *y = (a * f - e * c) / det;
    return std::isfinite(*x) && std::isfinite(*y) && *x * m[3] + *y * m[7] + z * m[11] + m[15] > 0.0;
}

// Under a transform that leaves an axis's span unknown (a turned view, 3D), a region of more tiles than
// the port has pixels draws only the tile under each pixel centre, each once and in the order of the whole
// walk (columns, then rows), which gives the same pixels. False, drawing nothing, when the region has few
// enough tiles to draw them all.
template <typename DrawTile>
bool ForEachTileUnderPixels(double sx, double sy, double tw, double th, bool htiled, bool vtiled,
                            double regionRight, double regionBottom, double offsetX, double offsetY,
                            DrawTile draw) {
    const double columns = AxisTileCount(sx, tw, htiled, regionRight);
    const double rows = AxisTileCount(sy, th, vtiled, regionBottom);
    const DevicePort port = CurrentPort();
    if (!(port.w > 0.0 && port.h > 0.0) || columns * rows <= port.w * port.h + 2.0) return false;
    float m[16];
    Graphics::GetMatrix(4, m);
    const double z = Transform_State().GR_Transform.depth2D;
    std::vector<std::pair<double, double>> tiles;
    for (double j = 0.5; j < port.h; ++j)
        for (double i = 0.5; i < port.w; ++i) {
            double x = 0.0, y = 0.0;
            if (!PlanePointAt(m, port, z, port.x + i, port.y + j, &x, &y)) continue;
            const double column = htiled ? std::floor((x - offsetX - sx) / tw) : 0.0;
            const double row = vtiled ? std::floor((y - offsetY - sy) / th) : 0.0;
            if (column >= 0.0 && column < columns && row >= 0.0 && row < rows)
                tiles.emplace_back(column, row);
        }
    std::sort(tiles.begin(), tiles.end());
    tiles.erase(std::unique(tiles.begin(), tiles.end()), tiles.end());
    for (const auto& [column, row] : tiles)
        draw(sx + column * tw, sy + row * th);
    return true;
}

// Calls draw(column, row) for each tile from (sx, sy) that starts before the region's far edges and
// reaches the render target; one column (row) unless tiled that way. A tile's quad lies at its position
// moved by (offsetX, offsetY), quadWidth x quadHeight in size.
template <typename DrawTile>
void ForEachTile(double sx, double sy, double tw, double th, bool htiled, bool vtiled, double rx, double ry,
                 double rw, double rh, double offsetX, double offsetY, double quadWidth, double quadHeight,
                 DrawTile draw) {
    VisibleSpan xs, ys;
    VisibleSpans(&xs, &ys);
    if (!(xs.known && ys.known) &&
        ForEachTileUnderPixels(sx, sy, tw, th, htiled, vtiled, rx + rw, ry + rh, offsetX, offsetY, draw))
        return;
    ForEachAxisTile(sx, tw, htiled, rx + rw, xs, offsetX, quadWidth, [&](double column) {
        ForEachAxisTile(sy, th, vtiled, ry + rh, ys, offsetY, quadHeight, [&](double row) { draw(column, row); });
    });
}

} // namespace

void Texture_SetCornerIds(bool on) {
    g_cornerIds = on;
}

uint32_t Texture_CornerColour(uint32_t colour, int corner) {
    static const uint32_t bits[4] = {0x00000u, 0x00001u, 0x10000u, 0x10001u};
    return (colour & ~0x10001u) | bits[corner & 3];
}

bool Texture_GetCornerIds() {
    return g_cornerIds;
}

bool Texture_Draw(int id, float x, float y) {
    TTexture* r = Texture_Record(id);
    if (!r) return false;
    const Corners c = Place(x, y, 0.0f, 0.0f, RecordWidth(*r), RecordHeight(*r), 0.0f, kRotationThreshold);
    EmitOne(r->texture, c, WholeImageUV(*r), DrawingWhite(), kListOrder, 6);
    return true;
}

bool Texture_DrawEntry(TPageEntry* entry, float x, float y) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    FixZeroTarget(*entry);
    const float left = static_cast<float>(entry->targetX);
    const float top = static_cast<float>(entry->targetY);
    const Corners c = Place(x, y, left, top, left + static_cast<float>(entry->targetWidth),
                            top + static_cast<float>(entry->targetHeight), 0.0f, kRotationThreshold);
    const uint32_t colour = DrawingWhite();
    if (EmitOne(r->texture, c, EntryUV(*entry, *r), colour, kListOrder, 6) && SamplesOpaque(*entry, *r, c, colour))
        Graphics::MarkOpaque(6);
    return true;
}

bool Texture_DrawEntryPos(TPageEntry* entry, float x1, float y1, float x2, float y2, float x3, float y3,
                          float x4, float y4, uint32_t colour, float alpha) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    const Corners c{{x1, x2, x3, x4}, {y1, y2, y3, y4}};
    EmitOne(r->texture, c, EntryUV(*entry, *r), ColourToARGB(colour, alpha), kListOrder, 6);
    return true;
}

bool Texture_DrawExt(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                     float angle, uint32_t colour, float alpha) {
    TTexture* r = Texture_Record(id);
    if (!r) return false;
    if (RecordWidth(*r) == 0 || RecordHeight(*r) == 0) {
        r->width = r->height = 8;
        r->texelWidth = r->texelHeight = 0.125f;
    }
    const float w = RecordWidth(*r) * xscale;
    const float h = RecordHeight(*r) * yscale;
    const float left = -xorig * xscale;
    const float top = -yorig * yscale;
    const Corners c = Place(x, y, left, top, w + left, h + top, angle, kRotationThreshold);
    EmitOne(r->texture, c, WholeImageUV(*r), ColourToARGB(colour, alpha), kFanOrder, 4);
    return true;
}

bool Texture_DrawEntryExt(TPageEntry* entry, float xorig, float yorig, float x, float y, float xscale,
                          float yscale, float angle, uint32_t colour, float alpha) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    FixZeroTarget(*entry);
    const float left = (entry->targetX - xorig) * xscale;
    const float top = (entry->targetY - yorig) * yscale;
    const float right = left + entry->targetWidth * xscale;
    const float bottom = top + entry->targetHeight * yscale;
    const Corners c = Place(x, y, left, top, right, bottom, angle, kRotationThreshold);
    const uint32_t argb = ColourToARGB(colour, alpha);
    if (EmitOne(r->texture, c, EntryUV(*entry, *r), argb, kListOrder, 6) && SamplesOpaque(*entry, *r, c, argb))
        Graphics::MarkOpaque(6);
    return true;
}

bool Texture_DrawPart(int id, float left, float top, float width, float height, float x, float y,
                      float xscale, float yscale, float angle, uint32_t colour, float alpha) {
    TTexture* r = Texture_Record(id);
    if (!r) return false;
    const Corners c = Place(x, y, 0.0f, 0.0f, width * xscale, height * yscale, angle, kRotationThreshold);
    EmitOne(r->texture, c, ImageUV(*r, left, top, width, height), ColourToARGB(colour, alpha), kFanOrder, 4);
    return true;
}

bool Texture_DrawEntryPart(TPageEntry* entry, float left, float top, float width, float height, float x,
                           float y, float xscale, float yscale, float angle, uint32_t colour, float alpha) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    FixZeroTarget(*entry);
    ClippedPart p{x, y, width, height, 0.0f, 0.0f};
    if (!ClipPart(*entry, left, top, angle, xscale, yscale, p)) return true;
    const Corners c =
        Place(p.x, p.y, 0.0f, 0.0f, p.width * xscale, p.height * yscale, angle, kRotationThreshold);
    const float kx = static_cast<float>(entry->sourceWidth) / static_cast<float>(entry->targetWidth);
    const float ky = static_cast<float>(entry->sourceHeight) / static_cast<float>(entry->targetHeight);
    const float u0 = entry->sourceX + p.startX * kx;
    const float v0 = entry->sourceY + p.startY * ky;
    const QuadUV uv{u0 * r->texelWidth, v0 * r->texelHeight, (u0 + p.width * kx) * r->texelWidth,
                    (v0 + p.height * ky) * r->texelHeight};
    EmitOne(r->texture, c, uv, ColourToARGB(colour, alpha), kPartOrder, 6);
    return true;
}

bool Texture_DrawGeneral(int id, float left, float top, float width, float height, float x, float y,
                         float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                         uint32_t c4, float alpha) {
    TTexture* r = Texture_Record(id);
    if (!r) return false;
    const bool rotated = !(std::fabs(angle) < kGeneralRotationThreshold);
    const float edge = rotated ? -0.5f : 0.0f;
    const Corners c =
        Place(x, y, edge, edge, width * xscale, height * yscale, angle, kGeneralRotationThreshold);
    const uint32_t colours[4] = {ColourToARGB(c1, alpha), ColourToARGB(c2, alpha), ColourToARGB(c3, alpha),
                                 ColourToARGB(c4, alpha)};
    Emit(r->texture, c, ImageUV(*r, left, top, width, height), colours, kFanOrder, 4);
    return true;
}

bool Texture_DrawEntryGeneral(TPageEntry* entry, float left, float top, float width, float height, float x,
                              float y, float xscale, float yscale, float angle, uint32_t c1, uint32_t c2,
                              uint32_t c3, uint32_t c4, float alpha) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    ClippedPart p{x, y, width, height, 0.0f, 0.0f};
    if (!ClipPart(*entry, left, top, angle, xscale, yscale, p)) return true;
    const Corners c =
        Place(p.x, p.y, 0.0f, 0.0f, p.width * xscale, p.height * yscale, angle, kGeneralRotationThreshold);
    const float u0 = entry->sourceX + p.startX;
    const float v0 = entry->sourceY + p.startY;
    const QuadUV uv{u0 * r->texelWidth, v0 * r->texelHeight, (u0 + p.width) * r->texelWidth,
                    (v0 + p.height) * r->texelHeight};
    const uint32_t colours[4] = {RoundedARGB(c1, alpha), RoundedARGB(c2, alpha), RoundedARGB(c3, alpha),
                                 RoundedARGB(c4, alpha)};
    Emit(r->texture, c, uv, colours, kListOrder, 6);
    return true;
}

bool Texture_DrawTiled(int id, float xorig, float yorig, float x, float y, float xscale, float yscale,
                       bool htiled, bool vtiled, float rx, float ry, float rw, float rh, uint32_t colour,
                       float alpha) {
    TTexture* r = Texture_Record(id);
    if (!r) return false;
    const float w = RecordWidth(*r) * xscale;
    const float h = RecordHeight(*r) * yscale;
    const int32_t tw = X86_DoubleToInt32(w);
    const int32_t th = X86_DoubleToInt32(h);
    if (tw < 1 || th < 1) return false;
    double sx = X86_RoundToInt32(x);
    double sy = X86_RoundToInt32(y);
    if (htiled) sx = TileStart(sx, tw, rx);
    if (vtiled) sy = TileStart(sy, th, ry);
    const QuadUV uv = WholeImageUV(*r);
    const uint32_t argb = RoundedARGB(colour, alpha);
    const float left = -xorig * xscale;
    const float top = -yorig * yscale;
    ForEachTile(sx, sy, tw, th, htiled, vtiled, rx, ry, rw, rh, left, top, w, h, [&](double column, double row) {
        const float tx = static_cast<float>(column) + left;
        const float ty = static_cast<float>(row) + top;
        const Corners c = Place(tx, ty, 0.0f, 0.0f, w, h, 0.0f, kRotationThreshold);
        EmitOne(r->texture, c, uv, argb, kFanOrder, 4);
    });
    return true;
}

bool Texture_DrawEntryTiled(TPageEntry* entry, float xorig, float yorig, float x, float y, float xscale,
                            float yscale, bool htiled, bool vtiled, float rx, float ry, float rw, float rh,
                            uint32_t colour, float alpha) {
    TTexture* r = EntryRecord(entry);
    if (!r) return false;
    const int32_t tw = X86_DoubleToInt32(xscale * entry->boundingWidth);
    const int32_t th = X86_DoubleToInt32(yscale * entry->boundingHeight);
    if (tw <= 0 || th <= 0) return false;
    double sx =
        static_cast<double>(X86_DoubleToInt32(x)) + X86_DoubleToInt32((entry->targetX - xorig) * xscale);
    double sy =
        static_cast<double>(X86_DoubleToInt32(y)) + X86_DoubleToInt32((entry->targetY - yorig) * yscale);
    // The start goes back one tile more than the region needs.
    auto reduce = [](double start, double step, double regionStart, double regionEnd) {
        start = TileStart(start, step, regionStart);
        if (start >= regionEnd) start -= (std::floor((start - regionEnd) / step) + 1.0) * step;
        return start - step;
    };
    if (htiled) sx = reduce(sx, tw, rx, rx + rw);
    if (vtiled) sy = reduce(sy, th, ry, ry + rh);
    const float w = entry->targetWidth * xscale;
    const float h = entry->targetHeight * yscale;
    const QuadUV uv = EntryUV(*entry, *r);
    const uint32_t argb = ColourToARGB(colour, alpha);
    ForEachTile(sx, sy, tw, th, htiled, vtiled, rx, ry, rw, rh, 0.0, 0.0, w, h, [&](double column, double row) {
        const Corners c = Place(static_cast<float>(column), static_cast<float>(row), 0.0f, 0.0f, w, h, 0.0f,
                                kRotationThreshold);
        EmitOne(r->texture, c, uv, argb, kTiledOrder, 6);
    });
    return true;
}
