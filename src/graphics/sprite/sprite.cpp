#include "graphics/sprite/sprite.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "data/container.h"
#include "data/data_view.h"
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/texture_page.h"
#include "graphics/frame/transform.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_load.h"
#include "graphics/sprite/resource_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

ResourceTable<CSprite> g_sprites;
const char kUndefined[] = "<undefined>";

// Appends a slot named "__newsprite" and its index, holding an empty sprite.
int NewSlot() {
    char name[32];
    std::snprintf(name, sizeof name, "__newsprite%d", g_sprites.Count());
    auto* sprite = new CSprite();
    sprite->index = g_sprites.Append(sprite, String_Duplicate(name));
    sprite->name = g_sprites.Name(sprite->index);
    return sprite->index;
}

// Words 0..14 of a record, then the frame list.
constexpr uint32_t kRecordWords = 15;

float Radians(float degrees) {
    return degrees * 3.1415927f / 180.0f;
}

// The drawing-area rectangle of the view being drawn: can a draw at (x, y) with these radii reach it?
bool ReachesDrawRegion(float rx, float ry, float x, float y) {
    const IntRect& a = Frame_State().View_DrawRegion;
    return ry >= static_cast<float>(a.top) - y && ry >= y - static_cast<float>(a.bottom) &&
           rx >= static_cast<float>(a.left) - x && rx >= x - static_cast<float>(a.right);
}

// DrawSimple and DrawGeneral draw unculled onto a surface in slot 0 or under the user-orthographic flag.
bool CullsSimple() {
    return Surface_GetTarget(0) < 0 && !Transform_State().GR_Transform.surfaceTarget;
}

int WrapIndex(int index, int count) {
    const int r = index % count;
    return r < 0 ? r + count : r;
}

// A real taken to an image column or row; false for a value that is not finite or lies outside int32
// (it maps outside every image).
bool ImageIndex(double v, int32_t& out) {
    if (!(v >= -2147483648.0 && v < 2147483648.0)) return false;
    out = static_cast<int32_t>(v);
    return true;
}

// One sprite's placement in a collision test.
struct Placement {
    int x, y;
    float xscale, yscale, angle;
};

// Room point (px, py) to image pixel by division by the scale, rotation and floor (the single tests).
bool MapFloor(const CSprite& s, const Placement& p, double px, double py, int32_t& ix, int32_t& iy) {
    const float dx = static_cast<float>(px - p.x);
    const float dy = static_cast<float>(py - p.y);
    float mx = dx;
    float my = dy;
    if (!(std::fabs(p.angle) < 0.0001f)) {
        const float theta = -p.angle * 3.1415927f / 180.0f;
        const float sn = static_cast<float>(std::sin(static_cast<double>(theta)));
        const float cs = static_cast<float>(std::cos(static_cast<double>(theta)));
        mx = dy * sn + dx * cs;
        my = dy * cs - dx * sn;
    }
    return ImageIndex(std::floor(mx / p.xscale + static_cast<float>(s.xOrigin)), ix) &&
           ImageIndex(std::floor(my / p.yscale + static_cast<float>(s.yOrigin)), iy);
}

void BuildMask(const uint8_t* unite, uint8_t* dest, const CBitmap32* bitmap, int width, int height,
               const IntRect& box, int kind, int tolerance) {
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::memset(dest, 0, size);
    if (kind == 0) {
        if (bitmap && bitmap->IsValid()) {
            const int w = std::min(width, bitmap->GetWidth());
            const int h = std::min(height, bitmap->GetHeight());
            const uint32_t* pixels = bitmap->GetPixels().data;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int alpha =
                        static_cast<int>(pixels[static_cast<size_t>(y) * bitmap->GetWidth() + x] >> 24);
                    dest[static_cast<size_t>(y) * width + x] = alpha > tolerance ? 1 : 0;
                }
        }
    } else if (kind >= 1 && kind <= 3) {
        const int left = std::max(box.left, 0);
        const int top = std::max(box.top, 0);
        const int right = std::min(box.right, width - 1);
        const int bottom = std::min(box.bottom, height - 1);
        const float cx = static_cast<float>((static_cast<int64_t>(box.left) + box.right) / 2);
        const float cy = static_cast<float>((static_cast<int64_t>(box.top) + box.bottom) / 2);
        const float rx = cx - static_cast<float>(box.left) + 0.5f;
        const float ry = cy - static_cast<float>(box.top) + 0.5f;
        for (int y = top; y <= bottom; ++y)
            for (int x = left; x <= right; ++x) {
                bool solid = kind == 1;
                if (kind != 1 && rx > 0.0f && ry > 0.0f) {
                    const float ex = (static_cast<float>(x) - cx) / rx;
                    const float ey = (static_cast<float>(y) - cy) / ry;
                    solid = kind == 2 ? ex * ex + ey * ey < 1.0f : std::fabs(ex) + std::fabs(ey) < 1.0f;
                }
                dest[static_cast<size_t>(y) * width + x] = solid ? 1 : 0;
            }
    }
    if (unite)
        for (size_t i = 0; i < size; ++i)
            if (unite[i]) dest[i] = 1;
}

} // namespace

CSprite::CSprite() {
    Clear();
}

CSprite::~CSprite() {
    Clear();
}

void CSprite::Clear() {
    if (pageEntries) {
        if (ownsPageEntries) {
            for (int32_t i = 0; i < ownedPageEntryCount; ++i) {
                PageEntry_Unregister(pageEntries[i]);
                MEM_FREE(pageEntries[i]);
            }
        }
        MEM_FREE(pageEntries);
    }
    for (int32_t i = 0; i < localBitmapCount; ++i)
        delete localBitmaps[i];
    for (int32_t i = 0; i < textureCount; ++i)
        if (textures[i] >= 0) Texture_Free(textures[i]);
    MEM_FREE(localBitmaps);
    MEM_FREE(textures);
    localBitmaps = nullptr;
    textures = nullptr;
    localBitmapCount = textureCount = 0;
    pageEntries = nullptr;
    ownsPageEntries = 0;
    ownedPageEntryCount = 0;
    bboxMode = 0;
    bbox = IntRect{0, 0, 0, 0};
    frameCount = 0;
    width = height = 1;
    xOrigin = yOrigin = 0;
    precise = 1;
    transparent = 1;
    smooth = 0;
    preload = 1;
    name = nullptr;
    index = 0;
    FreeMasks();
}

bool CSprite::Load(const CDataView& file, const IFFChunk& chunk, uint32_t record) {
    Clear();
    uint32_t words[kRecordWords];
    if (!chunk.Holds(record, kRecordWords * 4)) return false;
    for (uint32_t i = 0; i < kRecordWords; ++i)
        words[i] = file.WordAt(static_cast<uint64_t>(record) + 4 * i);
    auto s32 = [&](int i) { return static_cast<int32_t>(words[i]); };
    bool textOk = true;
    name = file.Text(words[0], &textOk);
    width = s32(1);
    height = s32(2);
    bbox = IntRect{s32(3), s32(6), s32(4), s32(5)}; // stored left, right, bottom, top
    transparent = words[7] != 0;
    smooth = words[8] != 0;
    preload = words[9] != 0;
    bboxMode = s32(10);
    precise = words[11] != 0;
    xOrigin = s32(12);
    yOrigin = s32(13);
    const int32_t frames = s32(14);
    const uint64_t list = static_cast<uint64_t>(record) + kRecordWords * 4;
    if (!textOk || width < 0 || height < 0 || frames < 0 ||
        !chunk.Holds(list, static_cast<uint64_t>(frames) * 4 + 4)) {
        Clear();
        return false;
    }
    frameCount = frames;
    if (frames > 0) {
        pageEntries = static_cast<TPageEntry**>(MEM_ALLOC(sizeof(TPageEntry*) * static_cast<size_t>(frames)));
        for (int32_t f = 0; f < frames; ++f) {
            const uint32_t at = file.WordAt(list + 4 * static_cast<uint64_t>(f));
            pageEntries[f] = TPage_LoadEntry(file, at);
            if (at != 0 && !pageEntries[f]) {
                Clear();
                return false;
            }
        }
    }
    const uint64_t maskAt = list + static_cast<uint64_t>(frames) * 4;
    const int32_t masksStored = static_cast<int32_t>(file.WordAt(maskAt));
    if (masksStored >= 1) {
        const uint64_t rowBytes = (static_cast<uint64_t>(width) + 7) / 8;
        const uint64_t maskBytes = rowBytes * static_cast<uint64_t>(height);
        if (width < 1 || height < 1 ||
            !chunk.Holds(maskAt + 4, maskBytes * static_cast<uint64_t>(masksStored))) {
            Clear();
            return false;
        }
        const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
        masks = static_cast<SpriteMask*>(MEM_ALLOC(sizeof(SpriteMask) * static_cast<size_t>(masksStored)));
        maskCount = masksStored;
        hasMasks = 1;
        const uint8_t* stored = file.Data() + maskAt + 4;
        for (int32_t m = 0; m < masksStored; ++m, stored += maskBytes) {
            masks[m] = SpriteMask{static_cast<uint32_t>(size), static_cast<uint8_t*>(MEM_ALLOC_RAW(size))};
            for (int32_t y = 0; y < height; ++y)
                for (int32_t x = 0; x < width; ++x)
                    masks[m].bytes[static_cast<size_t>(y) * width + x] =
                        (stored[static_cast<size_t>(y) * rowBytes + x / 8] >> (7 - x % 8)) & 1;
        }
    }
    ComputeCullRadius();
    return true;
}

void CSprite::ComputeCullRadius() {
    // In 64 bits: a stored origin may lie anywhere in the 32-bit range.
    const int64_t xo = xOrigin, yo = yOrigin, w = width, h = height;
    const float corners[4][2] = {{static_cast<float>(xo), static_cast<float>(yo)},
                                 {static_cast<float>(w - xo), static_cast<float>(yo)},
                                 {static_cast<float>(xo), static_cast<float>(h - yo)},
                                 {static_cast<float>(w - xo), static_cast<float>(h - yo)}};
    int32_t radius = 0;
    for (const auto& c : corners) {
        const float d = std::sqrt(c[0] * c[0] + c[1] * c[1]);
        // A radius past the 32-bit range is held at its largest: the sprite is then never culled.
        radius = std::max(radius, static_cast<int32_t>(std::min<double>(std::ceil(d), INT32_MAX)));
    }
    cullRadius = radius;
}

void CSprite::InitTexture() {
    FreeTextures();
    if (IsFromFile()) return;
    MEM_FREE(textures);
    textureCount = localBitmapCount;
    textures = textureCount > 0
                   ? static_cast<int32_t*>(MEM_ALLOC(sizeof(int32_t) * static_cast<size_t>(textureCount)))
                   : nullptr;
    for (int32_t i = 0; i < textureCount; ++i) {
        textures[i] = Texture_CreateFromBitmap(localBitmaps[i]);
        if (preload) Texture_Preload(textures[i]);
    }
}

void CSprite::InitLocalTPE() {
    if (IsFromFile()) return;
    if (pageEntries) {
        for (int32_t i = 0; i < ownedPageEntryCount; ++i) {
            PageEntry_Unregister(pageEntries[i]);
            MEM_FREE(pageEntries[i]);
        }
        MEM_FREE(pageEntries);
        pageEntries = nullptr;
    }
    ownedPageEntryCount = 0;
    if (localBitmapCount < 1) return;
    pageEntries =
        static_cast<TPageEntry**>(MEM_ALLOC(sizeof(TPageEntry*) * static_cast<size_t>(localBitmapCount)));
    for (int32_t i = 0; i < localBitmapCount; ++i) {
        const auto w = static_cast<int16_t>(localBitmaps[i]->GetWidth());
        const auto h = static_cast<int16_t>(localBitmaps[i]->GetHeight());
        const auto texture = static_cast<int16_t>(i < textureCount ? textures[i] : -1);
        auto* entry = static_cast<TPageEntry*>(MEM_ALLOC(sizeof(TPageEntry)));
        *entry = TPageEntry{0, 0, w, h, 0, 0, w, h, w, h, texture};
        pageEntries[i] = entry;
    }
    ownsPageEntries = 1;
    ownedPageEntryCount = localBitmapCount;
}

void CSprite::FreeTextures() {
    for (int32_t i = 0; i < textureCount; ++i) {
        if (textures[i] >= 0) Texture_Free(textures[i]);
        textures[i] = -1;
    }
}

bool CSprite::WrapFrame(int& frame) const {
    if (frameCount < 1) return false;
    frame = WrapIndex(frame, frameCount);
    return true;
}

TPageEntry* CSprite::FrameEntry(int frame) const {
    if (!pageEntries) return nullptr;
    if (ownsPageEntries && frame >= ownedPageEntryCount) return nullptr;
    return pageEntries[frame];
}

int32_t CSprite::FrameTexture(int frame) const {
    return frame < textureCount ? textures[frame] : -1;
}

int32_t CSprite::GetTexture(int frame) {
    if (!WrapFrame(frame)) return -1;
    if (IsFromFile()) {
        TPageEntry* entry = FrameEntry(frame);
        return entry ? PageEntry_Register(entry) : -1;
    }
    return FrameTexture(frame);
}

IntRect CSprite::GetFrameRect(int frame) const {
    if (frame < 0 || frame >= frameCount) return IntRect{0, 0, 0, 0};
    if (pageEntries) {
        const TPageEntry* e = FrameEntry(frame);
        if (!e) return IntRect{0, 0, 0, 0};
        return IntRect{e->targetX, e->targetY, e->targetX + e->sourceWidth, e->targetY + e->sourceHeight};
    }
    if (frame >= localBitmapCount) return IntRect{0, 0, 0, 0};
    return localBitmaps[frame]->OpaqueRect();
}

IBitmap* CSprite::GetBitmap(int frame) const {
    if (frame < 0 || frame >= frameCount || frame >= localBitmapCount) return nullptr;
    return localBitmaps[frame]->CreateTBitmap();
}

void CSprite::SetBoundingBox(const IntRect& rect) {
    if (bboxMode == 2) bbox = rect;
}

void CSprite::SetBoundingBoxMode(int mode) {
    if (mode >= 3 || mode == bboxMode) return;
    bboxMode = mode;
    ComputeBoundingBox();
}

void CSprite::ComputeBoundingBox() {
    ComputeCullRadius();
    if (bboxMode == 2) return;
    if (bboxMode == 1 || !transparent) {
        bbox = IntRect{0, 0, width - 1, height - 1};
        return;
    }
    if (frameCount < 1) {
        bbox = IntRect{0, 0, 0, 0};
        return;
    }
    bbox = IntRect{width - 1, height - 1, 0, 0};
    for (int32_t i = 0; i < localBitmapCount; ++i) {
        const IntRect r = localBitmaps[i]->OpaqueRect();
        bbox.left = std::min(bbox.left, r.left);
        bbox.top = std::min(bbox.top, r.top);
        bbox.right = std::max(bbox.right, r.right);
        bbox.bottom = std::max(bbox.bottom, r.bottom);
    }
}

// ---- Drawing

void CSprite::DrawFailed() const {
    DebugConsole->Output("Error attempting to draw sprite %s\n", Text_Escaped(name).c_str());
}

void CSprite::Draw(int frame, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
                   float alpha) {
    if (!WrapFrame(frame)) return;
    if (!Transform_State().GR_Transform.mode3D && !Transform_State().GR_Transform.surfaceTarget) {
        const float r = std::max(std::fabs(cullRadius * xscale), std::fabs(cullRadius * yscale));
        if (!ReachesDrawRegion(r, r, x, y)) return;
    }
    const float xo = static_cast<float>(xOrigin);
    const float yo = static_cast<float>(yOrigin);
    const float radians = Radians(angle);
    TPageEntry* entry = FrameEntry(frame);
    const bool ok =
        pageEntries
            ? Texture_DrawEntryExt(entry, xo, yo, x, y, xscale, yscale, radians, colour, alpha)
            : Texture_DrawExt(FrameTexture(frame), xo, yo, x, y, xscale, yscale, radians, colour, alpha);
    if (!ok) DrawFailed();
}

void CSprite::DrawSimple(int frame, float x, float y) {
    if (!WrapFrame(frame)) return;
    const float r = static_cast<float>(cullRadius);
    if (CullsSimple() && !ReachesDrawRegion(r, r, x, y)) return;
    const float left = x - static_cast<float>(xOrigin);
    const float top = y - static_cast<float>(yOrigin);
    const bool ok = pageEntries ? Texture_DrawEntry(FrameEntry(frame), left, top)
                                : Texture_Draw(FrameTexture(frame), left, top);
    if (!ok) DrawFailed();
}

// A sprite that has no page entries yet (not given textures) draws nothing here.
void CSprite::DrawPos(int frame, float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                      float y4, uint32_t colour, float alpha) {
    if (!WrapFrame(frame) || !pageEntries) return;
    if (!Texture_DrawEntryPos(FrameEntry(frame), x1, y1, x2, y2, x3, y3, x4, y4, colour, alpha)) DrawFailed();
}

void CSprite::DrawStretched(int frame, float x, float y, float w, float h, uint32_t colour, float alpha) {
    if (!WrapFrame(frame)) return;
    if (!(w > 0.0f) || !(h > 0.0f) || width <= 0 || height <= 0) return;
    const float xscale = w / static_cast<float>(width);
    const float yscale = h / static_cast<float>(height);
    const bool ok =
        pageEntries ? Texture_DrawEntryExt(FrameEntry(frame), 0, 0, x, y, xscale, yscale, 0, colour, alpha)
                    : Texture_DrawExt(FrameTexture(frame), 0, 0, x, y, xscale, yscale, 0, colour, alpha);
    if (!ok) DrawFailed();
}

void CSprite::DrawPart(int frame, float left, float top, float w, float h, float x, float y, float xscale,
                       float yscale, uint32_t colour, float alpha) {
    if (!WrapFrame(frame)) return;
    const bool ok = pageEntries ? Texture_DrawEntryPart(FrameEntry(frame), left, top, w, h, x, y, xscale,
                                                        yscale, 0, colour, alpha)
                                : Texture_DrawPart(FrameTexture(frame), left, top, w, h, x, y, xscale, yscale,
                                                   0, colour, alpha);
    if (!ok) DrawFailed();
}

void CSprite::DrawGeneral(int frame, float left, float top, float w, float h, float x, float y, float xscale,
                          float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                          float alpha) {
    if (!WrapFrame(frame)) return;
    if (CullsSimple() &&
        !ReachesDrawRegion(std::fabs(cullRadius * xscale), std::fabs(cullRadius * yscale), x, y))
        return;
    const float radians = Radians(angle);
    const bool ok = pageEntries ? Texture_DrawEntryGeneral(FrameEntry(frame), left, top, w, h, x, y, xscale,
                                                           yscale, radians, c1, c2, c3, c4, alpha)
                                : Texture_DrawGeneral(FrameTexture(frame), left, top, w, h, x, y, xscale,
                                                      yscale, radians, c1, c2, c3, c4, alpha);
    if (!ok) DrawFailed();
}

void CSprite::DrawTiled(int frame, float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                        float regionLeft, float regionTop, float regionWidth, float regionHeight,
                        uint32_t colour, float alpha) {
    if (!WrapFrame(frame)) return;
    const float xo = static_cast<float>(xOrigin);
    const float yo = static_cast<float>(yOrigin);
    const bool ok =
        pageEntries ? Texture_DrawEntryTiled(FrameEntry(frame), xo, yo, x, y, xscale, yscale, htiled, vtiled,
                                             regionLeft, regionTop, regionWidth, regionHeight, colour, alpha)
                    : Texture_DrawTiled(FrameTexture(frame), xo, yo, x, y, xscale, yscale, htiled, vtiled,
                                        regionLeft, regionTop, regionWidth, regionHeight, colour, alpha);
    if (!ok) DrawFailed();
}

// ---- Collision masks

void CSprite::FreeMasks() {
    if (hasMasks) {
        for (int32_t i = 0; i < maskCount; ++i)
            MEM_FREE(masks[i].bytes);
        MEM_FREE(masks);
    }
    masks = nullptr;
    maskCount = 0;
    hasMasks = 0;
}

void CSprite::CreateMask() {
    FreeMasks();
    if (!precise || !transparent || frameCount < 1 || IsFromFile()) return;
    SetCollisionMask(true, -1, bbox, 0, 0);
}

void CSprite::SetPrecise(bool flag) {
    if (flag == (precise != 0)) return;
    precise = flag;
    CreateMask();
}

void CSprite::SetCollisionMask(bool separate, int bboxModeArg, const IntRect& rect, int kind, int tolerance) {
    FreeMasks();
    if (IsFromFile() || frameCount < 1 || width < 1 || height < 1) return;
    if (bboxModeArg == 0 || bboxModeArg == 1)
        bbox = IntRect{0, 0, width - 1, height - 1};
    else if (bboxModeArg == 2)
        bbox = rect;
    const size_t size = static_cast<size_t>(width) * static_cast<size_t>(height);
    masks = static_cast<SpriteMask*>(MEM_ALLOC(sizeof(SpriteMask) * static_cast<size_t>(frameCount)));
    maskCount = frameCount;
    for (int32_t i = 0; i < frameCount; ++i) {
        masks[i] = SpriteMask{static_cast<uint32_t>(size), static_cast<uint8_t*>(MEM_ALLOC_RAW(size))};
        const CBitmap32* frame = i < localBitmapCount ? localBitmaps[i] : nullptr;
        const uint8_t* unite = separate || i == 0 ? nullptr : masks[0].bytes;
        BuildMask(unite, masks[i].bytes, frame, width, height, bbox, kind, tolerance);
    }
    hasMasks = 1;
}

const uint8_t* CSprite::FrameMask(int frame) const {
    if (!hasMasks || maskCount < 1) return nullptr;
    return masks[WrapIndex(frame, maskCount)].bytes;
}

// Outside the image is empty; inside, the mask byte (solid everywhere without a mask).
bool CSprite::MaskSolid(const uint8_t* mask, int32_t ix, int32_t iy) const {
    if (ix < 0 || iy < 0 || ix >= width || iy >= height) return false;
    return !mask || mask[static_cast<size_t>(iy) * width + ix] != 0;
}

bool CSprite::PreciseCollision(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                               float angle, CSprite* other, int otherFrame, const IntRect& otherBox,
                               int otherX, int otherY, float otherXscale, float otherYscale,
                               float otherAngle) {
    if (!other || frameCount < 1 || other->frameCount < 1) return false;
    const uint8_t* maskA = FrameMask(frame);
    const uint8_t* maskB = other->FrameMask(otherFrame);
    const int32_t l = std::max(box.left, otherBox.left);
    const int32_t r = std::min(box.right, otherBox.right);
    const int32_t t = std::max(box.top, otherBox.top);
    const int32_t b = std::min(box.bottom, otherBox.bottom);
    if (l > r) return false;
    const float inv[4] = {1.0f / xscale, 1.0f / yscale, 1.0f / otherXscale, 1.0f / otherYscale};
    const bool unscaled = inv[0] == 1.0f && inv[1] == 1.0f && inv[2] == 1.0f && inv[3] == 1.0f;
    const bool unrotated = angle == 0.0f && otherAngle == 0.0f;
    // Image pixel of a room point, truncated toward zero.
    auto map = [&](const CSprite& s, int sx, int sy, float ia, float ib, float turn, int px, int py,
                   int32_t& ix, int32_t& iy) {
        const int64_t dx = static_cast<int64_t>(px) - sx;
        const int64_t dy = static_cast<int64_t>(py) - sy;
        if (unscaled && unrotated) {
            ix = Saturate_Int32(dx + s.xOrigin);
            iy = Saturate_Int32(dy + s.yOrigin);
            return true;
        }
        const float fx = static_cast<float>(dx);
        const float fy = static_cast<float>(dy);
        float mx = fx;
        float my = fy;
        if (!unrotated) {
            const float theta = -turn * 3.1415927f / 180.0f;
            const float sn = static_cast<float>(std::sin(static_cast<double>(theta)));
            const float cs = static_cast<float>(std::cos(static_cast<double>(theta)));
            mx = fy * sn + fx * cs;
            my = fy * cs - fx * sn;
        }
        return ImageIndex(std::trunc(mx * ia + static_cast<float>(s.xOrigin)), ix) &&
               ImageIndex(std::trunc(my * ib + static_cast<float>(s.yOrigin)), iy);
    };
    for (int64_t px = l; px <= r; ++px)
        for (int64_t py = t; py <= b; ++py) {
            int32_t ax, ay, bx, by;
            if (!map(*this, x, y, inv[0], inv[1], angle, static_cast<int>(px), static_cast<int>(py), ax,
                     ay) ||
                !MaskSolid(maskA, ax, ay))
                continue;
            if (map(*other, otherX, otherY, inv[2], inv[3], otherAngle, static_cast<int>(px),
                    static_cast<int>(py), bx, by) &&
                other->MaskSolid(maskB, bx, by))
                return true;
        }
    return false;
}

bool CSprite::PreciseCollisionPoint(int frame, const IntRect&, int x, int y, float xscale, float yscale,
                                    float angle, float px, float py) {
    if (!hasMasks) return true;
    if (frameCount < 1) return false;
    int32_t ix, iy;
    return MapFloor(*this, Placement{x, y, xscale, yscale, angle}, px, py, ix, iy) &&
           MaskSolid(FrameMask(frame), ix, iy);
}

namespace {
// Calls test(x, y) over the intersection of two inclusive rectangles (x outer, y inner); true at the
// first point test accepts.
template <typename Test> bool AnyPointIn(const IntRect& a, const IntRect& b, Test test) {
    const int64_t l = std::max(a.left, b.left), r = std::min(a.right, b.right);
    const int64_t t = std::max(a.top, b.top), bottom = std::min(a.bottom, b.bottom);
    for (int64_t x = l; x <= r; ++x)
        for (int64_t y = t; y <= bottom; ++y)
            if (test(static_cast<int32_t>(x), static_cast<int32_t>(y))) return true;
    return false;
}
} // namespace

bool CSprite::PreciseCollisionRectangle(int frame, const IntRect& box, int x, int y, float xscale,
                                        float yscale, float angle, const IntRect& rect) {
    if (!hasMasks) return true;
    if (frameCount < 1) return false;
    const uint8_t* mask = FrameMask(frame);
    const Placement p{x, y, xscale, yscale, angle};
    const bool direct = xscale == 1.0f && yscale == 1.0f && std::fabs(angle) < 0.0001f;
    return AnyPointIn(box, rect, [&](int32_t px, int32_t py) {
        if (direct) {
            const int64_t ix = static_cast<int64_t>(px) - x + xOrigin;
            const int64_t iy = static_cast<int64_t>(py) - y + yOrigin;
            return ix >= 0 && iy >= 0 && ix < width && iy < height &&
                   MaskSolid(mask, static_cast<int32_t>(ix), static_cast<int32_t>(iy));
        }
        int32_t ix, iy;
        return MapFloor(*this, p, px, py, ix, iy) && MaskSolid(mask, ix, iy);
    });
}

bool CSprite::PreciseCollisionEllipse(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                      float angle, const IntRect& rect) {
    if (!hasMasks) return true;
    if (frameCount < 1) return false;
    const uint8_t* mask = FrameMask(frame);
    const Placement p{x, y, xscale, yscale, angle};
    return AnyPointIn(box, rect, [&](int32_t px, int32_t py) {
        if (!Rect_PointInEllipse(rect, static_cast<float>(px), static_cast<float>(py))) return false;
        int32_t ix, iy;
        return MapFloor(*this, p, px, py, ix, iy) && MaskSolid(mask, ix, iy);
    });
}

bool CSprite::PreciseCollisionLine(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                   float angle, int x1, int y1, int x2, int y2) {
    if (!hasMasks) return true;
    if (frameCount < 1) return false;
    if (x1 == x2 || y1 == y2)
        return PreciseCollisionRectangle(
            frame, box, x, y, xscale, yscale, angle,
            IntRect{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)});
    const uint8_t* mask = FrameMask(frame);
    const Placement p{x, y, xscale, yscale, angle};
    auto hit = [&](int64_t px, int64_t py) {
        int32_t ix, iy;
        return MapFloor(*this, p, static_cast<double>(px), static_cast<double>(py), ix, iy) &&
               MaskSolid(mask, ix, iy);
    };
    const int64_t dx = static_cast<int64_t>(x2) - x1;
    const int64_t dy = static_cast<int64_t>(y2) - y1;
    // Walk the longer axis over the integers of the segment inside the box; the other coordinate
    // follows by a 64-bit product divided toward zero.
    if (std::llabs(dx) < std::llabs(dy)) {
        const bool down = dy > 0;
        const int64_t ax = down ? x1 : x2, ay = down ? y1 : y2, by = down ? y2 : y1;
        const int64_t sdx = down ? dx : -dx, sdy = down ? dy : -dy;
        for (int64_t py = std::max<int64_t>(box.top, ay); py <= std::min<int64_t>(box.bottom, by); ++py)
            if (hit(ax + (py - ay) * sdx / sdy, py)) return true;
    } else {
        const bool right = dx > 0;
        const int64_t ax = right ? x1 : x2, ay = right ? y1 : y2, bx = right ? x2 : x1;
        const int64_t sdx = right ? dx : -dx, sdy = right ? dy : -dy;
        for (int64_t px = std::max<int64_t>(box.left, ax); px <= std::min<int64_t>(box.right, bx); ++px)
            if (hit(px, ay + (px - ax) * sdy / sdx)) return true;
    }
    return false;
}

// ---- The sprite table

void Sprite_Clear() {
    g_sprites.Clear([](CSprite* sprite) { delete sprite; });
}

bool Sprite_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    g_sprites.Reset(static_cast<int>(list.size()), [](CSprite* sprite) { delete sprite; });
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto* sprite = new CSprite();
        if (!sprite->Load(file, chunk, list[i])) {
            delete sprite;
            return Load_Fail("Chunk SPRT: sprite %d is damaged (its record, frames or masks lie outside the chunk)",
                             static_cast<int>(i));
        }
        char* name = String_Duplicate(sprite->name);
        sprite->name = name;
        sprite->index = static_cast<int32_t>(i);
        g_sprites.Set(static_cast<int>(i), sprite, name);
        // A frame list entry of 0 leaves the frame without an image: the sprite loads, and every draw of
        // that frame fails; the console says so once here.
        for (int32_t f = 0; f < sprite->frameCount; ++f) {
            if (sprite->pageEntries[f] == nullptr)
                DebugConsole->Output("Sprite %s: frame %d has no image (its texture-page entry is 0)\n",
                                     Text_Escaped(name).c_str(), f);
        }
    }
    return true;
}

void Sprite_InitTextures() {
    g_sprites.ForEach([](CSprite* sprite) {
        sprite->InitTexture();
        sprite->InitLocalTPE();
    });
}

bool Sprite_Exists(int index) {
    return g_sprites.Exists(index);
}

const char* Sprite_GetName(int index) {
    const char* name = g_sprites.Name(index);
    return name ? name : kUndefined;
}

int Sprite_Find(const char* name) {
    return g_sprites.Find(name);
}

int Sprite_AddEmpty() {
    return NewSlot();
}

CSprite* Sprite_Data(int index) {
    return g_sprites.Data(index);
}

bool Sprite_Delete(int index) {
    CSprite* sprite = g_sprites.Remove(index);
    delete sprite;
    return sprite != nullptr;
}

namespace {

// The flags of a download record.
constexpr uint32_t kDownloadPrecise = 1u << 0;
constexpr uint32_t kDownloadRemoveBack = 1u << 1;
constexpr uint32_t kDownloadSmooth = 1u << 2;
constexpr uint32_t kDownloadPreload = 1u << 3;

struct SpriteDownload {
    int32_t index;
    int32_t frameCount;
    int32_t xOrigin;
    int32_t yOrigin;
    uint32_t flags;
};

// The sprite of a slot inside the table, made when the slot is empty.
CSprite* SlotSprite(int index) {
    if (CSprite* sprite = g_sprites.Data(index)) return sprite;
    auto* sprite = new CSprite();
    g_sprites.Swap(index, sprite);
    sprite->index = index;
    sprite->name = g_sprites.Name(index);
    return sprite;
}

int32_t SpriteDownloaded(const char* url, int32_t httpStatus, const uint8_t* data, int32_t size, void* record,
                         int32_t* asyncLoad) {
    const auto* r = static_cast<const SpriteDownload*>(record);
    *asyncLoad = Image_DownloadMap(url, r->index, httpStatus, size);
    // The slot may have been emptied meanwhile: then only the map is made.
    if (CSprite* sprite = g_sprites.Data(r->index)) {
        const bool removeBack = (r->flags & kDownloadRemoveBack) != 0;
        Image_LoadDownload(url, httpStatus, data, size, [&](ImageKind kind, const uint8_t* bytes, size_t n) {
            if (!sprite->LoadFromImage(kind, bytes, n, r->frameCount, (r->flags & kDownloadPrecise) != 0, removeBack,
                                       (r->flags & kDownloadSmooth) != 0, r->xOrigin, r->yOrigin, !removeBack))
                return false;
            // Unlike the file forms, a download does not give the loaded sprite its index and name again:
            // its own messages name no sprite (the table keeps both).
            sprite->name = nullptr;
            sprite->index = 0;
            return true;
        });
    }
    return kEventImageLoaded;
}

void FreeSpriteDownload(void* record) {
    delete static_cast<SpriteDownload*>(record);
}

void StartDownload(int index, const char* url, int frameCount, bool precise, bool removeBack, bool smooth,
                   bool preload, int xOrigin, int yOrigin) {
    const uint32_t flags = (precise ? kDownloadPrecise : 0) | (removeBack ? kDownloadRemoveBack : 0) |
                           (smooth ? kDownloadSmooth : 0) | (preload ? kDownloadPreload : 0);
    Image_Download(url, kHttpKindSprite, SpriteDownloaded, FreeSpriteDownload,
                   new SpriteDownload{index, frameCount, xOrigin, yOrigin, flags});
}

// Loads a file into a new slot; -1, with the slot dropped, when it does not load.
int AddFromFile(const char* name, int frameCount, bool precise, bool removeBack, bool smooth, int xOrigin,
                int yOrigin, bool keepAlpha) {
    if (!Image_FileExists(name)) return -1;
    const int index = NewSlot();
    if (!g_sprites.Data(index)->LoadFromFile(name, frameCount, precise, removeBack, smooth, xOrigin, yOrigin,
                                             keepAlpha)) {
        g_sprites.DropLast([](CSprite* sprite) { delete sprite; });
        return -1;
    }
    return index;
}

} // namespace

int Sprite_Add(const char* name, int frameCount, bool precise, bool removeBack, bool smooth, bool preload,
               int xOrigin, int yOrigin) {
    if (!name) return -1;
    if (Image_IsURL(name)) {
        const int index = NewSlot();
        StartDownload(index, name, frameCount, precise, removeBack, smooth, preload, xOrigin, yOrigin);
        return index;
    }
    return AddFromFile(name, frameCount, precise, removeBack, smooth, xOrigin, yOrigin, !removeBack);
}

bool Sprite_Replace(int index, const char* name, int frameCount, bool precise, bool removeBack, bool smooth,
                    bool preload, int xOrigin, int yOrigin) {
    if (!g_sprites.Contains(index) || !name) return false;
    CSprite* sprite = SlotSprite(index);
    if (Image_IsURL(name)) {
        StartDownload(index, name, frameCount, precise, removeBack, smooth, preload, xOrigin, yOrigin);
        return false;
    }
    return Image_FileExists(name) &&
           sprite->LoadFromFile(name, frameCount, precise, removeBack, smooth, xOrigin, yOrigin, !removeBack);
}

int Sprite_AddAlpha(const char* name, int frameCount, bool precise, bool /*preload*/, int xOrigin, int yOrigin) {
    return AddFromFile(name, frameCount, precise, true, false, xOrigin, yOrigin, true);
}

bool Sprite_ReplaceAlpha(int index, const char* name, int frameCount, bool precise, bool /*preload*/, int xOrigin,
                         int yOrigin) {
    if (!g_sprites.Contains(index) || !Image_FileExists(name)) return false;
    return SlotSprite(index)->LoadFromFile(name, frameCount, precise, true, false, xOrigin, yOrigin, true);
}

int Sprite_Duplicate(int index) {
    const CSprite* source = g_sprites.Data(index);
    if (!source) return -1;
    const int copy = NewSlot();
    CSprite* sprite = g_sprites.Data(copy);
    sprite->Assign(*source);
    if (sprite->localBitmapCount == 0) sprite->MakeOwnFrames();
    return copy;
}

bool Sprite_Assign(int destination, int source) {
    const CSprite* from = g_sprites.Data(source);
    if (!g_sprites.Contains(destination) || !from) return false;
    SlotSprite(destination)->Assign(*from);
    return true;
}

bool Sprite_Save(int index, int frame, const char* name) {
    const CSprite* sprite = g_sprites.Data(index);
    std::unique_ptr<IBitmap> image(sprite ? sprite->GetBitmap(frame) : nullptr);
    return image && Image_SavePNG(*image, name);
}

void Sprite_Free() {
    g_sprites.ForEach([](CSprite* sprite) { sprite->FreeTextures(); });
    Sprite_Clear();
}
