// Pixels read back from the screen texture and from textures, copies between render targets, screen
// grabs and screen saves.
//
// Render targets are read straight from their colour surface (the device layer reads its framebuffer
// top row first), so no lockable staging surface is made for a read.
#include "core/convert.h"
#include "core/memory.h"
#include "device/device.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/colour.h"
#include "graphics/image/image_decode.h"
#include "io/window_state.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cstring>

namespace {

// The block of a w x h read, zero-filled; null when it would be larger than one allocation may be.
uint8_t* NewBlock(int w, int h) {
    size_t bytes = 0;
    if (!Bitmap_BlockBytes(w, h, 4, 0, bytes)) return nullptr;
    return static_cast<uint8_t*>(MEM_ALLOC(bytes));
}

// Four 4-bit channels widened to eight bits each.
uint32_t Widen4444(uint16_t v) {
    uint32_t out = 0;
    for (int shift = 0; shift < 16; shift += 4)
        out |= ((static_cast<uint32_t>(v) >> shift) & 0xFu) * 17u << (shift * 2);
    return out;
}

// Copies the part of (x, y, w, h) that lies inside the texture into block (rows of w pixels); the rest
// stays as it is.
bool CopyTexturePart(TDeviceTexture* t, int x, int y, int w, int h, uint8_t* block) {
    const int x2 = std::min<int64_t>(static_cast<int64_t>(x) + w, t->Width());
    const int y2 = std::min<int64_t>(static_cast<int64_t>(y) + h, t->Height());
    if (x >= x2 || y >= y2) return true;
    const size_t blockPitch = static_cast<size_t>(w) * 4;
    const D3DRECT rect{x, y, x2, y2};
    if (t->flags & TEXFLAG_POOL_DEFAULT) {
        // A render target: what was drawn into its colour surface.
        return t->colourSurface &&
               Frame_State().GR_D3DDevice->ReadPixels(t->colourSurface, rect, block,
                                                      static_cast<uint32_t>(blockPitch)) == D3D_OK;
    }
    if (!t->texture) return false;
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    if (t->texture->LockRect(0, &pitch, &bits, &rect, D3DLOCK_READONLY) != D3D_OK) return false;
    const bool narrow = D3D_FormatBytes(t->texture->Format()) == 2;
    for (int row = 0; row < y2 - y; ++row) {
        const uint8_t* from = bits + static_cast<size_t>(row) * pitch;
        uint8_t* to = block + static_cast<size_t>(row) * blockPitch;
        if (!narrow) {
            std::memcpy(to, from, static_cast<size_t>(x2 - x) * 4);
            continue;
        }
        for (int col = 0; col < x2 - x; ++col) {
            uint16_t v;
            std::memcpy(&v, from + static_cast<size_t>(col) * 2, sizeof v);
            const uint32_t wide = Widen4444(v);
            std::memcpy(to + static_cast<size_t>(col) * 4, &wide, sizeof wide);
        }
    }
    t->texture->UnlockRect(0);
    return true;
}

} // namespace

uint8_t* GR_D3D_ReadScreenRect(int limitWidth, int limitHeight, int x, int y, int& w, int& h) {
    if (!Frame_State().GR_D3DDevice) return nullptr;
    Graphics::Flush();
    x = std::max(x, 0);
    y = std::max(y, 0);
    w = static_cast<int>(std::min<int64_t>(w, static_cast<int64_t>(limitWidth) - x));
    h = static_cast<int>(std::min<int64_t>(h, static_cast<int64_t>(limitHeight) - y));
    if (w <= 0 || h <= 0) return nullptr;
    TDeviceTexture* screen = GR_D3D_ScreenTexture();
    if (!screen || !GR_D3D_DisplayModeKnown()) return nullptr;
    uint8_t* block = NewBlock(w, h);
    if (!block) return nullptr;
    if (!CopyTexturePart(screen, x, y, w, h, block)) {
        MEM_FREE(block);
        return nullptr;
    }
    return block;
}

uint8_t* GR_D3D_ReadTextureRect(TDeviceTexture* t, int x, int y, int w, int h) {
    if (!Frame_State().GR_D3DDevice || !t) return nullptr;
    Graphics::Flush();
    // A negative origin reads from 0 with the size asked, so the block is the one at (0, 0).
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (w <= 0 || h <= 0 || !GR_D3D_DisplayModeKnown()) return nullptr;
    uint8_t* block = NewBlock(w, h);
    if (!block) return nullptr;
    if (!CopyTexturePart(t, x, y, w, h, block)) {
        MEM_FREE(block);
        return nullptr;
    }
    return block;
}

bool GR_D3D_CopyTextureRect(TDeviceTexture* dst, int dx, int dy, TDeviceTexture* src, int sx, int sy, int w,
                            int h) {
    if (!Frame_State().GR_D3DDevice || !dst || !src || !dst->colourSurface || !src->colourSurface)
        return false;
    Graphics::Flush();
    sx = std::max(sx, 0);
    sy = std::max(sy, 0);
    if (w <= 0 || h <= 0) return false;
    w = static_cast<int>(std::min<int64_t>({w, static_cast<int64_t>(dst->Width()) - dx,
                                            static_cast<int64_t>(src->Width()) - sx}));
    h = static_cast<int>(std::min<int64_t>({h, static_cast<int64_t>(dst->Height()) - dy,
                                            static_cast<int64_t>(src->Height()) - sy}));
    // The layer refuses empty rectangles and those outside either surface, as the device does.
    if (w <= 0 || h <= 0 || dx < 0 || dy < 0) return false;
    const D3DRECT from{sx, sy, sx + w, sy + h};
    const D3DRECT to{dx, dy, dx + w, dy + h};
    if (Frame_State().GR_D3DDevice->StretchRect(src->colourSurface, &from, dst->colourSurface, &to,
                                                D3DTEXF_LINEAR) != D3D_OK)
        return false;
    // The destination's texture is brought up to date before it is next sampled.
    dst->flags |= TEXFLAG_NEEDS_RESOLVE;
    return true;
}

IBitmap* GR_ImageFromBlock(uint8_t* block, int w, int h) {
    if (!block) return nullptr;
    TBitmap* image = TBitmap::Create();
    image->SetFormat(BITMAP_FORMAT_32BIT);
    image->SetWidth(w);
    image->SetHeight(h);
    const size_t rowBytes = static_cast<size_t>(w) * 4;
    for (int row = 0; row < h; ++row) {
        uint8_t* to = nullptr;
        if (!image->Lock(row, &to, nullptr) || !to) {
            delete image;
            image = nullptr;
            break;
        }
        std::memcpy(to, block + row * rowBytes, rowBytes);
    }
    MEM_FREE(block);
    return image;
}

uint32_t GR_PixelFromBlock(uint8_t* block) {
    if (!block) return 0;
    Colour_SwapRB(block, 1, 1);
    uint32_t pixel;
    std::memcpy(&pixel, block, sizeof pixel);
    MEM_FREE(block);
    return pixel;
}

namespace Graphics {

IBitmap* GrabScreenRect(int x, int y, int w, int h) {
    const IntRect& area = Window_State().Window_DrawingArea;
    const int areaWidth = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(area.right) - area.left, 0, INT32_MAX));
    const int areaHeight = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(area.bottom) - area.top, 0, INT32_MAX));
    uint8_t* block = GR_D3D_ReadScreenRect(areaWidth, areaHeight, x, y, w, h);
    return GR_ImageFromBlock(block, w, h);
}

uint32_t GetScreenPixel(int x, int y) {
    // The screen has the game's size, over which the rooms' ports are stretched.
    int w = 1;
    int h = 1;
    if (x < 0 || y < 0) return 0;
    return GR_PixelFromBlock(GR_D3D_ReadScreenRect(Window_GetGameWidth(), Window_GetGameHeight(), x, y, w, h));
}

} // namespace Graphics

void Screen_SaveToFile(const char* name) {
    Screen_SavePartToFile(name, 0, 0, Window_GetGameWidth(), Window_GetGameHeight());
}

void Screen_SavePartToFile(const char* name, int x, int y, int w, int h) {
    if (!name || !*name) {
        Code_Error_Report("Trying to save screen to empty image file name.", false);
        return;
    }
    const int width = Window_GetGameWidth();
    const int height = Window_GetGameHeight();
    if (x < 0) {
        w = Wrap_Add32(w, x);
        x = 0;
    }
    if (y < 0) {
        h = Wrap_Add32(h, y);
        y = 0;
    }
    if (static_cast<int64_t>(x) + w > width) w = width - x;
    if (static_cast<int64_t>(y) + h > height) h = height - y;
    if (w < 1 || h < 1) return;
    uint8_t* block = GR_D3D_ReadScreenRect(width, height, x, y, w, h);
    if (!block) return;
    Colour_SwapRB(block, w, h);
    write_png_file(name, block, w, h);
    MEM_FREE(block);
}
