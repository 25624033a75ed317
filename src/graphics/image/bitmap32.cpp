#include "graphics/image/bitmap32.h"

#include "core/convert.h"
#include "core/memory.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kAlphaMask = 0xFF000000u;
constexpr uint32_t kColourMask = 0x00FFFFFFu;

uint32_t Opaque(uint32_t scriptColour) {
    return Colour_ToARGB(scriptColour, 255);
}

// Reads a format-6 or format-7 image row by row through its lock; every pixel opaque unless the alpha
// byte is kept. Returns false when the image does not offer rows of that size.
bool ReadRows(IBitmap& bitmap, int bytesPerPixel, bool keepAlpha, uint32_t* out) {
    const int32_t width = bitmap.GetWidth();
    const int32_t height = bitmap.GetHeight();
    int32_t pitch = 0;
    uint8_t* pixels = bitmap.Lock(0, nullptr, &pitch);
    if (pixels == nullptr || static_cast<int64_t>(pitch) < static_cast<int64_t>(width) * bytesPerPixel)
        return false;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<int64_t>(pitch) * y;
        for (int32_t x = 0; x < width; ++x) {
            const uint8_t* p = row + static_cast<int64_t>(x) * bytesPerPixel;
            const uint32_t alpha = keepAlpha ? static_cast<uint32_t>(p[3]) << 24 : kAlphaMask;
            *out++ = alpha | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
        }
    }
    bitmap.Unlock(pixels);
    return true;
}

} // namespace

CBitmap32::~CBitmap32() {
    MEM_FREE(m_pixels.data);
}

bool CBitmap32::Allocate(int32_t w, int32_t h) {
    MEM_FREE(m_pixels.data);
    m_pixels = {0, nullptr};
    size_t bytes = 0;
    m_valid = Bitmap_BlockBytes(w, h, 4, 0, bytes);
    m_width = m_valid ? w : 0;
    m_height = m_valid ? h : 0;
    if (!m_valid) return false;
    m_pixels.byteSize = static_cast<uint32_t>(bytes);
    m_pixels.data = static_cast<uint32_t*>(MEM_ALLOC(bytes));
    return true;
}

void CBitmap32::FinishLoad(bool removeBack, bool smooth) {
    if (!removeBack) return;
    RemoveBack();
    if (smooth) SmoothEdges();
}

uint32_t CBitmap32::Lerp(uint32_t colour1, uint32_t colour2, double t) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double mixed = ((colour1 >> shift) & 0xFFu) * (1.0 - t) + ((colour2 >> shift) & 0xFFu) * t;
        result |= (static_cast<uint32_t>(X86_RoundToInt32(mixed)) & 0xFFu) << shift;
    }
    return result;
}

CBitmap32* CBitmap32::CBitmap32_Copy(const CBitmap32& other) {
    auto* image = new CBitmap32();
    image->Assign(other);
    return image;
}

CBitmap32* CBitmap32::CBitmap32_Region(const CBitmap32& other, int32_t x, int32_t y, int32_t w, int32_t h) {
    auto* image = new CBitmap32();
    if (!other.m_valid || x < 0 || y < 0 || w < 0 || h < 0 || static_cast<int64_t>(x) + w > other.m_width ||
        static_cast<int64_t>(y) + h > other.m_height || !image->Allocate(w, h))
        return image;
    for (int32_t row = 0; row < h && w > 0; ++row)
        std::memcpy(&image->At(0, row), &other.m_pixels.data[static_cast<int64_t>(y + row) * other.m_width + x],
                    static_cast<size_t>(w) * 4);
    return image;
}

CBitmap32* CBitmap32::CBitmap32_Fill(int32_t w, int32_t h, uint32_t colour) {
    auto* image = new CBitmap32();
    if (image->Allocate(std::max(w, 1), std::max(h, 1)))
        std::fill_n(image->m_pixels.data, image->m_pixels.byteSize / 4, Opaque(colour));
    return image;
}

CBitmap32* CBitmap32::CBitmap32_Gradient(int32_t w, int32_t h, uint32_t colour1, uint32_t colour2, int kind) {
    auto* image = new CBitmap32();
    w = std::max(w, 1);
    h = std::max(h, 1);
    if (!image->Allocate(w, h)) return image;
    const double half = std::min(w, h) * 0.5;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            double t = 0.0;
            switch (kind) {
            case 0: t = static_cast<double>(x) / w; break;
            case 1: t = static_cast<double>(y) / h; break;
            case 2: t = std::min({x, w - 1 - x, y, h - 1 - y}) / half; break;
            case 4: t = std::min(x, w - 1 - x) / (w * 0.5); break;
            case 5: t = std::min(y, h - 1 - y) / (h * 0.5); break;
            default: break;
            }
            image->At(x, y) = kind >= 0 && kind <= 5 ? Opaque(Lerp(colour1, colour2, t)) : kAlphaMask;
        }
    }
    if (kind != 3) return image;
    // Ever smaller ellipses i = 0, 1, ... (while i < half), each painted over the last within rows and
    // columns i .. size - 1 - i: a pixel ends with the colour of the last one that holds it. Both the
    // ellipses and their ranges shrink as i grows (the test below only grows with i, in floating point
    // too), so the ones holding a pixel are 0 .. k, and k is found by halving rather than by painting
    // every ellipse, which takes about size^3 / 6 steps.
    const double cx = w * 0.5;
    const double cy = h * 0.5;
    const auto holds = [&](int32_t i, int32_t x, int32_t y) {
        const double dx = (x - cx) / ((w - 2.0 * i) * 0.5);
        const double dy = (y - cy) / ((h - 2.0 * i) * 0.5);
        return dx * dx + dy * dy <= 1.0;
    };
    const auto count = static_cast<int32_t>(std::ceil(half));
    std::vector<uint32_t> colours(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i)
        colours[static_cast<size_t>(i)] = Opaque(Lerp(colour1, colour2, i / half));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            if (!holds(0, x, y)) continue;
            // Ellipse i also needs x and y inside i .. size - 1 - i.
            int32_t low = 0;
            int32_t high = std::min({count - 1, x, w - 1 - x, y, h - 1 - y});
            while (low < high) {
                const int32_t mid = low + (high - low + 1) / 2;
                if (holds(mid, x, y))
                    low = mid;
                else
                    high = mid - 1;
            }
            image->At(x, y) = colours[static_cast<size_t>(low)];
        }
    }
    return image;
}

CBitmap32* CBitmap32::CBitmap32_Opaque(IBitmap& bitmap, bool removeBack, bool smooth) {
    auto* image = new CBitmap32();
    const int32_t format = bitmap.GetFormat();
    if (format != BITMAP_FORMAT_24BIT && format != BITMAP_FORMAT_32BIT) return image;
    if (!image->Allocate(bitmap.GetWidth(), bitmap.GetHeight())) return image;
    if (!ReadRows(bitmap, format == BITMAP_FORMAT_24BIT ? 3 : 4, false, image->m_pixels.data)) {
        image->Allocate(-1, -1);
        return image;
    }
    image->FinishLoad(removeBack, smooth);
    return image;
}

// The image's always-0 field (IBitmap::GetField) never asks for the copy the interface allows here.
CBitmap32* CBitmap32::CBitmap32_Alpha(IBitmap& bitmap, bool removeBack, bool smooth) {
    auto* image = new CBitmap32();
    if (bitmap.GetFormat() != BITMAP_FORMAT_32BIT) return image;
    if (!image->Allocate(bitmap.GetWidth(), bitmap.GetHeight())) return image;
    if (!ReadRows(bitmap, 4, true, image->m_pixels.data)) {
        image->Allocate(-1, -1);
        return image;
    }
    image->FinishLoad(removeBack, smooth);
    return image;
}

CBitmap32* CBitmap32::CBitmap32_FromBitmap(IBitmap& bitmap, bool removeBack, bool smooth) {
    const int32_t format = bitmap.GetFormat();
    if (format == BITMAP_FORMAT_24BIT || format == BITMAP_FORMAT_32BIT)
        return CBitmap32_Opaque(bitmap, removeBack, smooth);
    TBitmap* copy = TBitmap::Create();
    copy->Assign(bitmap);
    CBitmap32* image = CBitmap32_Opaque(*copy, removeBack, smooth);
    delete copy;
    return image;
}

CBitmap32* CBitmap32::CBitmap32_Choose(IBitmap& bitmap, bool removeBack, bool smooth, bool keepAlpha) {
    return keepAlpha ? CBitmap32_Alpha(bitmap, removeBack, smooth) : CBitmap32_FromBitmap(bitmap, removeBack, smooth);
}

void CBitmap32::Assign(const CBitmap32& other) {
    if (&other == this) return;
    MEM_FREE(m_pixels.data);
    m_pixels = {0, nullptr};
    m_valid = other.m_valid;
    m_width = other.m_width;
    m_height = other.m_height;
    if (other.m_pixels.data == nullptr) return;
    m_pixels.byteSize = other.m_pixels.byteSize;
    m_pixels.data = static_cast<uint32_t*>(MEM_ALLOC_RAW(m_pixels.byteSize));
    std::memcpy(m_pixels.data, other.m_pixels.data, m_pixels.byteSize);
}

TBitmap* CBitmap32::CreateTBitmap() const {
    if (!m_valid) return nullptr;
    TBitmap* bitmap = TBitmap::Create();
    bitmap->SetFormat(BITMAP_FORMAT_32BIT);
    bitmap->SetWidth(m_width);
    bitmap->SetHeight(m_height);
    uint8_t* out = bitmap->Lock(0, nullptr, nullptr);
    if (out == nullptr) {
        delete bitmap;
        return nullptr;
    }
    const int64_t count = static_cast<int64_t>(m_width) * m_height;
    for (int64_t i = 0; i < count; ++i) {
        const uint32_t p = m_pixels.data[i];
        out[i * 4] = static_cast<uint8_t>(p >> 16);
        out[i * 4 + 1] = static_cast<uint8_t>(p >> 8);
        out[i * 4 + 2] = static_cast<uint8_t>(p);
        out[i * 4 + 3] = static_cast<uint8_t>(p >> 24);
    }
    bitmap->Unlock(out);
    return bitmap;
}

IntRect CBitmap32::OpaqueRect() const {
    IntRect rect{0, 0, 0, 0};
    if (!m_valid || m_width == 0 || m_height == 0) return rect;
    rect = {m_width - 1, m_height - 1, 0, 0};
    for (int32_t y = 0; y < m_height; ++y) {
        for (int32_t x = 0; x < m_width; ++x) {
            if ((At(x, y) & kAlphaMask) == 0) continue;
            rect.left = std::min(rect.left, x);
            rect.top = std::min(rect.top, y);
            rect.right = std::max(rect.right, x);
            rect.bottom = std::max(rect.bottom, y);
        }
    }
    return rect;
}

void CBitmap32::RemoveBack() {
    if (!m_valid || m_width == 0 || m_height == 0) return;
    const uint32_t key = At(0, m_height - 1) & kColourMask;
    const int64_t count = static_cast<int64_t>(m_width) * m_height;
    for (int64_t i = 0; i < count; ++i) {
        if ((m_pixels.data[i] & kColourMask) == key) m_pixels.data[i] &= kColourMask;
    }
    BleedTransparent();
}

void CBitmap32::BleedTransparent() {
    if (!m_valid) return;
    for (int32_t y = 0; y < m_height; ++y) {
        for (int32_t x = 0; x < m_width; ++x) {
            uint32_t& pixel = At(x, y);
            if ((pixel & kAlphaMask) != 0) continue;
            const uint32_t* from = nullptr;
            if (x > 0 && (At(x - 1, y) & kAlphaMask) != 0)
                from = &At(x - 1, y);
            else if (x < m_width - 1 && (At(x + 1, y) & kAlphaMask) != 0)
                from = &At(x + 1, y);
            else if (y > 0 && (At(x, y - 1) & kAlphaMask) != 0)
                from = &At(x, y - 1);
            else if (y < m_height - 1 && (At(x, y + 1) & kAlphaMask) != 0)
                from = &At(x, y + 1);
            if (from != nullptr) pixel = *from & kColourMask;
        }
    }
}

void CBitmap32::SmoothEdges() {
    if (!m_valid) return;
    for (int32_t y = 0; y < m_height; ++y) {
        for (int32_t x = 0; x < m_width; ++x) {
            if ((At(x, y) & kAlphaMask) != 0) continue;
            for (int32_t ny = std::max(y - 1, 0); ny <= std::min(y + 1, m_height - 1); ++ny) {
                for (int32_t nx = std::max(x - 1, 0); nx <= std::min(x + 1, m_width - 1); ++nx) {
                    uint32_t& neighbour = At(nx, ny);
                    if ((neighbour >> 24) >= 32) neighbour -= 0x20000000u;
                }
            }
        }
    }
}

void CBitmap32::AlphaFromColours(const CBitmap32* other) {
    if (!m_valid || other == nullptr || !other->m_valid) return;
    const int32_t w = std::min(m_width, other->m_width);
    const int32_t h = std::min(m_height, other->m_height);
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t source = other->At(x, y);
            const uint32_t level = (((source >> 16) & 0xFFu) + ((source >> 8) & 0xFFu) + (source & 0xFFu)) / 3;
            uint32_t& pixel = At(x, y);
            pixel = (pixel & kColourMask) | std::min(pixel >> 24, level) << 24;
        }
    }
}

void CBitmap32::Resize(int32_t w, int32_t h) {
    size_t bytes = 0;
    if (!m_valid || (w == m_width && h == m_height) || !Bitmap_BlockBytes(w, h, 4, 0, bytes)) return;
    auto* target = static_cast<uint32_t*>(MEM_ALLOC(bytes));
    // A source without pixels leaves the target transparent.
    if (m_width > 0 && m_height > 0) {
        for (int32_t y = 0; y < h; ++y) {
            const int64_t sy = static_cast<int64_t>(m_height) * y / h;
            for (int32_t x = 0; x < w; ++x) {
                const int64_t sx = static_cast<int64_t>(m_width) * x / w;
                target[static_cast<int64_t>(y) * w + x] = m_pixels.data[sy * m_width + sx];
            }
        }
    }
    MEM_FREE(m_pixels.data);
    m_pixels = {static_cast<uint32_t>(bytes), target};
    m_width = w;
    m_height = h;
}
