// CBitmap32: the 32-bit working image that sprites and backgrounds own: width x height words 0xAARRGGBB
// (bytes B, G, R, A), rows top-down, with the operations their loading uses.
//
// An invalid image holds no pixels; every operation on it does nothing. An image that cannot be made
// (a rectangle outside its source, a size too large to hold) is invalid.
#pragma once

#include "core/rect.h"

#include <cstdint>

class IBitmap;
class TBitmap;

struct Bitmap32Pixels {
    uint32_t byteSize;
    uint32_t* data;
};

class CBitmap32 {
public:
    virtual ~CBitmap32();
    CBitmap32(const CBitmap32&) = delete;
    CBitmap32& operator=(const CBitmap32&) = delete;

    static CBitmap32* CBitmap32_Copy(const CBitmap32& other);
    // A w x h copy of the rectangle at (x, y); invalid unless it lies wholly inside a valid source.
    static CBitmap32* CBitmap32_Region(const CBitmap32& other, int32_t x, int32_t y, int32_t w, int32_t h);
    // w and h are raised to at least 1; colour is a script colour 0x00BBGGRR; every pixel opaque.
    static CBitmap32* CBitmap32_Fill(int32_t w, int32_t h, uint32_t colour);
    // Kinds: 0 horizontal, 1 vertical, 2 rectangle, 3 ellipse, 4 double horizontal, 5 double vertical;
    // any other kind leaves the image opaque black.
    static CBitmap32* CBitmap32_Gradient(int32_t w, int32_t h, uint32_t colour1, uint32_t colour2, int kind);
    // Formats 6 and 7 with every pixel opaque.
    static CBitmap32* CBitmap32_Opaque(IBitmap& bitmap, bool removeBack, bool smooth);
    // Format 7 with its alpha.
    static CBitmap32* CBitmap32_Alpha(IBitmap& bitmap, bool removeBack, bool smooth);
    // Formats 6 and 7 as CBitmap32_Opaque; other formats go through a copy of the image.
    static CBitmap32* CBitmap32_FromBitmap(IBitmap& bitmap, bool removeBack, bool smooth);
    static CBitmap32* CBitmap32_Choose(IBitmap& bitmap, bool removeBack, bool smooth, bool keepAlpha);

    // Per channel ch1 x (1 - t) + ch2 x t of two script colours in double precision, rounded to nearest.
    static uint32_t Lerp(uint32_t colour1, uint32_t colour2, double t);

    bool IsValid() const { return m_valid; }
    int32_t GetWidth() const { return m_width; }
    int32_t GetHeight() const { return m_height; }
    const Bitmap32Pixels& GetPixels() const { return m_pixels; }

    void Assign(const CBitmap32& other);
    // A new format-7 image whose pixels are in the byte order R, G, B, A; null when invalid.
    TBitmap* CreateTBitmap() const;
    // The smallest rectangle holding every pixel whose alpha is not 0; {width - 1, height - 1, 0, 0} when
    // there is none, all 0 when invalid or empty.
    IntRect OpaqueRect() const;
    void RemoveBack();
    void BleedTransparent();
    void SmoothEdges();
    void AlphaFromColours(const CBitmap32* other);
    // Nearest neighbour; nothing for a negative size or one too large to hold.
    void Resize(int32_t w, int32_t h);

private:
    CBitmap32() = default;
    // Valid with a fresh w x h buffer (zero-filled); false (and invalid) when the size cannot be held.
    bool Allocate(int32_t w, int32_t h);
    void FinishLoad(bool removeBack, bool smooth);
    uint32_t& At(int32_t x, int32_t y) { return m_pixels.data[static_cast<int64_t>(y) * m_width + x]; }
    uint32_t At(int32_t x, int32_t y) const { return m_pixels.data[static_cast<int64_t>(y) * m_width + x]; }

    bool m_valid = false;
    int32_t m_width = 0;
    int32_t m_height = 0;
    Bitmap32Pixels m_pixels{0, nullptr};
};
