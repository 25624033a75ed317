#include "graphics/frame/texture.h"

#include "core/console.h"
#include "core/memory.h"
#include "device/device.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/surface.h"
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_decode.h"


#include <algorithm>
#include <cstring>
#include <functional>
#include <queue>
#include <unordered_map>
#include <vector>

namespace {

TDeviceTexture* g_textureList = nullptr;
const CD3DTexture* g_lastBound = nullptr;

struct TargetLevel {
    CD3DSurface* colour[4];
    CD3DSurface* depth;
};
constexpr int kStackLevels = 8;
TargetLevel g_targetStack[kStackLevels];
int g_targetDepth = 0;

TTexture** g_table = nullptr;
int g_tableCount = 0;

// The page-entry handle table: slot i is handle PageEntry_HandleBase + i; freed slots are null and
// reused lowest first.
std::vector<const TPageEntry*> g_pageEntries;
std::unordered_map<const TPageEntry*, int32_t> g_pageHandles;
std::priority_queue<int32_t, std::vector<int32_t>, std::greater<int32_t>> g_freePageSlots;

uint32_t D3DFormatOf(int code) {
    static const uint32_t formats[] = {0xFFFFFFFFu,   D3DFMT_DXT1, D3DFMT_DXT2,     D3DFMT_DXT3,
                                       D3DFMT_DXT4,   D3DFMT_DXT5, D3DFMT_A8R8G8B8, D3DFMT_D32,
                                       D3DFMT_D24S8,  D3DFMT_R16F, D3DFMT_R32F,     D3DFMT_A4R4G4B4};
    return code >= 0 && code < 12 ? formats[code] : static_cast<uint32_t>(code);
}

// The power of two a plain texture of n pixels takes, at most the largest side the device makes (a larger
// image is cropped to it).
int PowerOfTwoSize(int n) {
    const int largest = Texture_MaxSide();
    int size = 1;
    while (size < n && size < largest)
        size *= 2;
    return size;
}

uint32_t PackSize(int w, int h, int levels) {
    return (static_cast<uint32_t>(w - 1) & 0x1FFFu) | (static_cast<uint32_t>(h - 1) & 0x1FFFu) << 13 |
           (static_cast<uint32_t>(levels - 1) & 0x3Fu) << 26;
}

int BytesPerPixel(const TDeviceTexture* t) {
    return t->formatCode == 11 ? 2 : 4;
}

TDeviceTexture* NewRecord(int w, int h, int levels, int code) {
    auto* t = static_cast<TDeviceTexture*>(MEM_ALLOC(sizeof(TDeviceTexture)));
    t->formatCode = code;
    t->packedSize = PackSize(w, h, levels);
    t->systemBlock = static_cast<uint8_t*>(MEM_ALLOC(static_cast<size_t>(w) * h * 4 + 16));
    t->systemCopy = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(t->systemBlock) + 15) & ~uintptr_t{15});
    t->next = g_textureList;
    g_textureList = t;
    return t;
}

uint32_t PoolOf() {
    return Frame_State().GR_DeviceGlobals.poolFlag == 0 ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED;
}

// Copies the texture-size memory copy into a locked level at its pitch.
void CopyOut(const TDeviceTexture* t, uint8_t* bits, uint32_t pitch) {
    const size_t rowBytes = static_cast<size_t>(t->Width()) * BytesPerPixel(t);
    for (int y = 0; y < t->Height(); ++y)
        std::memcpy(bits + static_cast<size_t>(y) * pitch, t->systemCopy + static_cast<size_t>(y) * rowBytes, rowBytes);
}

// Sends the whole memory copy through a staging texture (default-pool textures cannot be locked).
bool UploadThroughStaging(TDeviceTexture* t) {
    CD3DTexture* staging = nullptr;
    if (Frame_State().GR_D3DDevice->CreateTexture(
            static_cast<uint32_t>(t->Width()), static_cast<uint32_t>(t->Height()), 1, 0, t->texture->Format(),
            D3DPOOL_SYSTEMMEM, &staging) != D3D_OK) {
        DebugConsole->Output("Failed CreateTexture on SystemMem");
        return false;
    }
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    if (staging->LockRect(0, &pitch, &bits, nullptr, D3DLOCK_NO_DIRTY_UPDATE) != D3D_OK) {
        staging->Release();
        return false;
    }
    CopyOut(t, bits, pitch);
    staging->UnlockRect(0);
    staging->AddDirtyRect();
    Frame_State().GR_D3DDevice->UpdateTexture(staging, t->texture);
    staging->Release();
    return true;
}

void ReleaseSurface(CD3DSurface*& s) {
    if (s) s->Release();
    s = nullptr;
}

void Resolve(TDeviceTexture* t) {
    t->flags &= ~TEXFLAG_NEEDS_RESOLVE;
    if (!t->texture) return;
    CD3DSurface* level = t->texture->GetSurfaceLevel(0);
    if (level && level != t->colourSurface)
        Frame_State().GR_D3DDevice->StretchRect(t->colourSurface, nullptr, level, nullptr, D3DTEXF_LINEAR);
    if (level) level->Release();
}

bool KeepPixels(const uint32_t* decoded, int w, int h, std::vector<uint8_t>& pixels) {
    if (!decoded || w <= 0 || h <= 0 || w > 8192 || h > 8192) return false;
    const auto* bytes = reinterpret_cast<const uint8_t*>(decoded);
    pixels.assign(bytes, bytes + static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    return true;
}

// Decodes a PNG or JPEG image into A8R8G8B8 rows and names its file format (3 PNG, 1 JPEG); false for
// anything else or a damaged file.
bool DecodeImage(const uint8_t* data, size_t size, std::vector<uint8_t>& pixels, int& w, int& h, int& format) {
    const uint32_t* png = ReadPNG(data, size, w, h);
    bool ok = KeepPixels(png, w, h, pixels);
    ReadPNG_Free();
    format = 3;
    if (!ok) {
        uint32_t* decoded = JPEG_Decode(data, size, w, h);
        ok = KeepPixels(decoded, w, h, pixels);
        MEM_FREE(decoded);
        format = 1;
    }
    return ok;
}

} // namespace

int Texture_MaxSide() {
    constexpr uint32_t kLargest = 8192;
    const CD3DDevice* device = Frame_State().GR_D3DDevice;
    if (!device) return static_cast<int>(kLargest);
    const D3DCAPS9& caps = device->GetDeviceCaps();
    return static_cast<int>(std::min({kLargest, caps.MaxTextureWidth, caps.MaxTextureHeight}));
}

TTexture* Texture_Record(int id) {
    if (id < 0 || id >= g_tableCount || !g_table[id]->inUse) return nullptr;
    return g_table[id];
}

TDeviceTexture* GR_D3D_CreateTexture(int width, int height, int levels, uint32_t flags, int code) {
    if (!Frame_State().GR_D3DDevice || width <= 0 || height <= 0) return nullptr;
    const bool renderTarget = flags & TEXCREATE_RENDERTARGET;
    const int w = renderTarget ? width : PowerOfTwoSize(width);
    const int h = renderTarget ? height : PowerOfTwoSize(height);
    if (w > Texture_MaxSide() || h > Texture_MaxSide()) return nullptr;
    const uint32_t format = D3DFormatOf(code);
    const uint32_t pool = renderTarget ? D3DPOOL_DEFAULT : PoolOf();
    TDeviceTexture* t = NewRecord(w, h, levels < 1 ? 1 : levels, code);
    D3DRESULT r = D3D_OK;
    if (!renderTarget) {
        r = Frame_State().GR_D3DDevice->CreateTexture(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 1,
                                                      0, format, pool, &t->texture);
    } else {
        r = Frame_State().GR_D3DDevice->CreateTexture(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 1,
                                                      D3DUSAGE_RENDERTARGET, format, D3DPOOL_DEFAULT,
                                                      &t->texture);
        if (r == D3D_OK) {
            const uint32_t samples =
                static_cast<uint32_t>(Frame_State().GR_DeviceGlobals.requestedMultisample);
            // A failed separate colour surface leaves level 0 as the target.
            Frame_State().GR_D3DDevice->CreateRenderTarget(static_cast<uint32_t>(w), static_cast<uint32_t>(h),
                                                           format, samples, 0, false, &t->colourSurface);
            r = Frame_State().GR_D3DDevice->CreateDepthStencilSurface(static_cast<uint32_t>(w),
                                                                      static_cast<uint32_t>(h), D3DFMT_D24S8,
                                                                      samples, 0, true, &t->depthSurface);
        }
    }
    if (r != D3D_OK) {
        DebugConsole->Output("CreateTexture failed - %08x\n", r);
        GR_D3D_FreeTexture(t);
        return nullptr;
    }
    if (!t->colourSurface) t->colourSurface = t->texture->GetSurfaceLevel(0);
    t->flags = pool == D3DPOOL_DEFAULT ? TEXFLAG_POOL_DEFAULT : TEXFLAG_POOL_MANAGED;
    return t;
}

TDeviceTexture* GR_D3D_CreateTextureFromPixels(const uint8_t* pixels, int width, int height, TTextureInfo* info) {
    const int w = PowerOfTwoSize(width);
    const int h = PowerOfTwoSize(height);
    if (info) *info = TTextureInfo{w, h, 32, 0, 6, -1, 6};
    TDeviceTexture* t = GR_D3D_CreateTexture(w, h, 1, 0, 6);
    if (t) GR_D3D_UploadTexture(t, 0, width, height, pixels);
    return t;
}

TDeviceTexture* GR_D3D_CreateTexturePage(const uint8_t* data, size_t size, TTextureInfo* info, int code, int) {
    if (info) *info = TTextureInfo{0, 0, 0, 0, code, -1, -1};
    if (!data) return nullptr;
    if (size >= 4 && std::memcmp(data, "RAW ", 4) == 0) {
        if (size < 16) return nullptr;
        uint32_t header[4];
        std::memcpy(header, data, sizeof header);
        const uint32_t w = header[1];
        const uint32_t h = header[2];
        const uint32_t kind = header[3];
        if (kind > 1 || w == 0 || h == 0) return nullptr;
        const uint64_t bpp = kind == 0 ? 4 : 2;
        const uint64_t room = (size - 16) / bpp;
        if (w > room || h > room / w) return nullptr;
        const uint64_t bytes = static_cast<uint64_t>(w) * h * bpp;
        // Converted in a copy: the loaded bytes stay as they are.
        std::vector<uint8_t> pixels(data + 16, data + 16 + bytes);
        if (kind == 0) {
            for (size_t i = 0; i < pixels.size(); i += 4)
                std::swap(pixels[i], pixels[i + 2]);
        } else {
            for (size_t i = 0; i < pixels.size(); i += 2) {
                const uint16_t v = static_cast<uint16_t>(pixels[i] | pixels[i + 1] << 8);
                const uint16_t r = static_cast<uint16_t>((v & 0xF) << 12 | (v & 0xF0) << 4 | (v & 0xF00) >> 4 | v >> 12);
                pixels[i] = static_cast<uint8_t>(r);
                pixels[i + 1] = static_cast<uint8_t>(r >> 8);
            }
        }
        // Both fit: w x h is at most the page size.
        const int iw = static_cast<int>(std::min<uint32_t>(w, 0x7FFFFFFF));
        const int ih = static_cast<int>(std::min<uint32_t>(h, 0x7FFFFFFF));
        const int fileCode = kind == 0 ? 6 : 11;
        if (info) *info = TTextureInfo{iw, ih, kind == 0 ? 32 : 16, 0, fileCode, -1, fileCode};
        TDeviceTexture* t = GR_D3D_CreateTexture(iw, ih, 1, 0, fileCode);
        if (t) GR_D3D_UploadTexture(t, 0, iw, ih, pixels.data());
        return t;
    }
    // An image file, made at its own size with one level. PNG and JPEG are decoded here; another format
    // (DDS, BMP, TGA) gives a record without a texture, as a failed decode does.
    std::vector<uint8_t> pixels;
    int w = 0;
    int h = 0;
    int fileFormat = 3;
    const bool decoded = DecodeImage(data, size, pixels, w, h, fileFormat);
    if (!decoded) {
        w = h = 1;
        fileFormat = -1;
    }
    if (info) *info = TTextureInfo{w, h, 32, 1, code, 3, fileFormat};
    if (!Frame_State().GR_D3DDevice) return nullptr;
    TDeviceTexture* t = NewRecord(w, h, 1, code);
    if (!decoded) return t;
    // The pixels stay A8R8G8B8 whatever format was asked for (no conversion to 16-bit or compressed
    // formats is made), so the record and its memory copy are those of code 6.
    if (Frame_State().GR_D3DDevice->CreateTexture(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 1, 0,
                                                  D3DFMT_A8R8G8B8, PoolOf(), &t->texture) != D3D_OK)
        return t;
    t->formatCode = 6;
    t->colourSurface = t->texture->GetSurfaceLevel(0);
    t->flags = PoolOf() == D3DPOOL_DEFAULT ? TEXFLAG_POOL_DEFAULT : TEXFLAG_POOL_MANAGED;
    GR_D3D_UploadTexture(t, 0, w, h, pixels.data());
    return t;
}

bool GR_D3D_UploadTexture(TDeviceTexture* t, int level, int width, int height, const uint8_t* pixels) {
    if (!t || !pixels || width <= 0 || height <= 0) return false;
    const int bpp = BytesPerPixel(t);
    const int rows = std::min(height, t->Height());
    const size_t rowBytes = static_cast<size_t>(std::min(width, t->Width())) * bpp;
    const size_t copyPitch = static_cast<size_t>(t->Width()) * bpp;
    for (int y = 0; y < rows; ++y)
        std::memcpy(t->systemCopy + y * copyPitch, pixels + static_cast<size_t>(y) * width * bpp, rowBytes);
    if (!t->texture) return true;
    if (t->flags & TEXFLAG_POOL_DEFAULT) return UploadThroughStaging(t);
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    if (t->texture->LockRect(static_cast<uint32_t>(level), &pitch, &bits, nullptr, 0) != D3D_OK) return false;
    CopyOut(t, bits, pitch);
    t->texture->UnlockRect(static_cast<uint32_t>(level));
    return true;
}

bool GR_D3D_UpdateTextureRect(TDeviceTexture* t, int x, int y, int w, int h) {
    if (!t || !t->systemCopy) return false;
    if (!t->texture) return true;
    const int x2 = std::min(x + w, t->Width());
    const int y2 = std::min(y + h, t->Height());
    x = std::max(x, 0);
    y = std::max(y, 0);
    if (x >= x2 || y >= y2) return true;
    if (t->flags & TEXFLAG_POOL_DEFAULT) return UploadThroughStaging(t);
    const D3DRECT rect{x, y, x2, y2};
    uint32_t pitch = 0;
    uint8_t* bits = nullptr;
    if (t->texture->LockRect(0, &pitch, &bits, &rect, 0) != D3D_OK) return false;
    const int bpp = BytesPerPixel(t);
    const size_t copyPitch = static_cast<size_t>(t->Width()) * bpp;
    for (int row = y; row < y2; ++row)
        std::memcpy(bits + static_cast<size_t>(row - y) * pitch, t->systemCopy + row * copyPitch + static_cast<size_t>(x) * bpp,
                    static_cast<size_t>(x2 - x) * bpp);
    t->texture->UnlockRect(0);
    return true;
}

void GR_D3D_FreeTexture(TDeviceTexture* t) {
    if (!t) return;
    GR_Batch_ForgetTexture(t);
    ReleaseSurface(t->colourSurface);
    ReleaseSurface(t->depthSurface);
    if (t->texture) {
        if (g_lastBound == t->texture) g_lastBound = nullptr;
        t->texture->Release();
    }
    MEM_FREE(t->systemBlock);
    for (TDeviceTexture** link = &g_textureList; *link; link = &(*link)->next) {
        if (*link == t) {
            *link = t->next;
            break;
        }
    }
    MEM_FREE(t);
}

void GR_D3D_PreloadTexture(TDeviceTexture* t) {
    if (t && t->texture) t->texture->PreLoad();
}

void GR_D3D_SetTexturePriority(TDeviceTexture* t, uint32_t priority) {
    if (t && t->texture) t->texture->SetPriority(priority);
}

void GR_D3D_SetTexture(int stage, TDeviceTexture* t) {
    if (stage < 0 || stage > 8 || !Frame_State().GR_D3DDevice) return;
    if (!t) {
        Frame_State().GR_D3DDevice->SetTexture(static_cast<uint32_t>(stage), nullptr);
        return;
    }
    if (t->flags & TEXFLAG_NEEDS_RESOLVE) Resolve(t);
    Frame_State().GR_D3DDevice->SetTexture(static_cast<uint32_t>(stage), t->texture);
    if (t->texture != g_lastBound) {
        ++Frame_State().Graphics_TextureSwapCount;
        g_lastBound = t->texture;
    }
}

void GR_D3D_SetTextureBlending(bool on) {
    if (!Frame_State().GR_D3DDevice) return;
    if (on) {
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
    } else {
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        Frame_State().GR_D3DDevice->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    }
}

void GR_D3D_TouchTexture(TDeviceTexture*) {}

TDeviceTexture* GR_D3D_TextureList() {
    return g_textureList;
}

void GR_D3D_ForgetBoundTexture() {
    g_lastBound = nullptr;
}

// ---- render-target stack ----

// A push onto the full stack is refused and changes nothing.
bool GR_D3D_PushRenderTargets() {
    if (g_targetDepth >= kStackLevels) {
        DebugConsole->Output("Render target stack full\n");
        return false;
    }
    TargetLevel& level = g_targetStack[g_targetDepth];
    for (int slot = 0; slot < 4; ++slot) {
        level.colour[slot] = nullptr;
        if (Frame_State().GR_D3DDevice && slot < Frame_State().GR_RenderTargetCount &&
            Frame_State().GR_D3DDevice->GetRenderTarget(static_cast<uint32_t>(slot), &level.colour[slot]) !=
                D3D_OK)
            level.colour[slot] = nullptr;
    }
    level.depth = nullptr;
    if (Frame_State().GR_D3DDevice &&
        Frame_State().GR_D3DDevice->GetDepthStencilSurface(&level.depth) != D3D_OK)
        level.depth = nullptr;
    ++g_targetDepth;
    return true;
}

bool GR_D3D_PopRenderTargets() {
    if (!Frame_State().GR_D3DDevice || g_targetDepth == 0) return false;
    Graphics::Flush();
    TargetLevel& level = g_targetStack[--g_targetDepth];
    bool ok = true;
    for (int slot = 0; slot < Frame_State().GR_RenderTargetCount && ok; ++slot)
        ok = Frame_State().GR_D3DDevice->SetRenderTarget(static_cast<uint32_t>(slot), level.colour[slot]) ==
             D3D_OK;
    if (ok) ok = Frame_State().GR_D3DDevice->SetDepthStencilSurface(level.depth) == D3D_OK;
    // The level's references go whether or not the device took them back.
    for (auto*& surface : level.colour)
        ReleaseSurface(surface);
    ReleaseSurface(level.depth);
    return ok;
}

void GR_D3D_PopAllRenderTargets() {
    while (g_targetDepth > 0) {
        if (!Frame_State().GR_D3DDevice) {
            TargetLevel& level = g_targetStack[--g_targetDepth];
            for (auto*& surface : level.colour)
                ReleaseSurface(surface);
            ReleaseSurface(level.depth);
            continue;
        }
        GR_D3D_PopRenderTargets();
    }
}

bool GR_D3D_SetRenderTarget(int slot, TDeviceTexture* t) {
    if (!Frame_State().GR_D3DDevice) return false;
    Graphics::Flush();
    if (slot < 0 || slot >= Frame_State().GR_RenderTargetCount || !t) return false;
    D3DRESULT r = Frame_State().GR_D3DDevice->SetRenderTarget(static_cast<uint32_t>(slot), t->colourSurface);
    if (slot == 0) r = Frame_State().GR_D3DDevice->SetDepthStencilSurface(t->depthSurface);
    t->flags |= TEXFLAG_NEEDS_RESOLVE;
    return r == D3D_OK;
}

int GR_D3D_RenderTargetDepth() {
    return g_targetDepth;
}

// ---- texture table ----

int Texture_AllocSlot() {
    for (int id = 0; id < g_tableCount; ++id)
        if (!g_table[id]->inUse) return id;
    if (g_tableCount >= PageEntry_HandleBase) return -1; // ids stay below the page-entry handles
    MemoryManager::SetLength(g_table, sizeof(TTexture*) * static_cast<size_t>(g_tableCount + 1), __FILE__, __LINE__);
    g_table[g_tableCount] = static_cast<TTexture*>(MEM_ALLOC(sizeof(TTexture)));
    return g_tableCount++;
}

static int AddRecord(TDeviceTexture* t, int width, int height, float texelWidth, float texelHeight) {
    const int id = Texture_AllocSlot();
    if (id < 0) {
        GR_D3D_FreeTexture(t);
        return -1;
    }
    TTexture* record = g_table[id];
    record->texture = t;
    record->width = static_cast<uint16_t>(width);
    record->height = static_cast<uint16_t>(height);
    record->texelWidth = texelWidth;
    record->texelHeight = texelHeight;
    record->inUse = 1;
    return id;
}

int Texture_Create(int width, int height, bool renderTarget) {
    TDeviceTexture* t = GR_D3D_CreateTexture(width, height, 1, renderTarget ? TEXCREATE_RENDERTARGET : 0, 6);
    if (!t) return -1;
    return AddRecord(t, width, height, 1.0f / static_cast<float>(t->Width()), 1.0f / static_cast<float>(t->Height()));
}

bool Texture_Exists(int id) {
    return Texture_Record(id) != nullptr;
}

TDeviceTexture* Texture_Get(int id) {
    TTexture* record = Texture_Record(id);
    return record ? record->texture : nullptr;
}

int Texture_AddExisting(TDeviceTexture* t, int width, int height) {
    if (!t) return -1;
    return AddRecord(t, width, height, 1.0f / static_cast<float>(width), 1.0f / static_cast<float>(height));
}

namespace {
// The id of a texture made from data; a texture that could not be made (no device, or the data did not
// decode) is traced and freed, and gives -1.
int AddCreated(TDeviceTexture* t, int width, int height, const char* what) {
    if (!t || !t->texture) {
        DebugConsole->Output("%s: the texture could not be made\n", what);
        GR_D3D_FreeTexture(t);
        return -1;
    }
    return AddRecord(t, width, height, 1.0f / static_cast<float>(t->Width()), 1.0f / static_cast<float>(t->Height()));
}
} // namespace

// The page is made at the size of its decoded image, so the texel sizes are those of the image.
int Texture_CreateFromMemory(const uint8_t* data, size_t size, bool* decoded) {
    TTextureInfo info{};
    TDeviceTexture* t = GR_D3D_CreateTexturePage(data, size, &info, 6, 0);
    if (decoded) *decoded = info.fileFormat != -1;
    return AddCreated(t, info.width, info.height, "Texture_CreateFromMemory");
}

int Texture_CreateFromPixels(int width, int height, const uint8_t* data, size_t bytes) {
    if (width <= 0 || height <= 0 || !data) return -1;
    const bool raw = bytes == static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    TTextureInfo info{};
    TDeviceTexture* t = raw ? GR_D3D_CreateTextureFromPixels(data, width, height, &info)
                            : GR_D3D_CreateTexturePage(data, bytes, &info, 6, 0);
    return AddCreated(t, width, height, "Texture_CreateFromPixels");
}

int Texture_CreateFromBitmap(const CBitmap32* bitmap) {
    if (!bitmap || !bitmap->IsValid()) return -1;
    const Bitmap32Pixels& pixels = bitmap->GetPixels();
    return Texture_CreateFromPixels(bitmap->GetWidth(), bitmap->GetHeight(),
                                    reinterpret_cast<const uint8_t*>(pixels.data), pixels.byteSize);
}

int Texture_CreateFromAlpha(int width, int height, const uint8_t* image) {
    if (width <= 0 || height <= 0 || !image || static_cast<int64_t>(width) * height > 8192 * 8192) return -1;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::vector<uint32_t> pixels(count);
    for (size_t i = 0; i < count; ++i)
        pixels[i] = static_cast<uint32_t>(image[i]) << 24 | 0xFFFFFFu;
    int id = Texture_Create(width, height, false);
    if (id >= 0 && !GR_D3D_UploadTexture(Texture_Get(id), 0, width, height, reinterpret_cast<const uint8_t*>(pixels.data()))) {
        Texture_Free(id);
        id = -1;
    }
    return id;
}

float Texture_GetWidth(int id) {
    const TTexture* record = Texture_Record(id);
    if (!record) return 1.0f;
    return static_cast<float>(static_cast<int16_t>(record->width)) * record->texelWidth;
}

float Texture_GetHeight(int id) {
    const TTexture* record = Texture_Record(id);
    if (!record) return 1.0f;
    return static_cast<float>(static_cast<int16_t>(record->height)) * record->texelHeight;
}

void Texture_Preload(int id) {
    if (const TTexture* record = Texture_Record(id)) GR_D3D_PreloadTexture(record->texture);
}

void Texture_SetPriority(int id, uint32_t priority) {
    if (const TTexture* record = Texture_Record(id)) GR_D3D_SetTexturePriority(record->texture, priority);
}

void Texture_Free(int id) {
    TTexture* record = Texture_Record(id);
    if (!record) return;
    GR_D3D_FreeTexture(record->texture);
    record->texture = nullptr;
    record->inUse = 0;
}

bool Texture_GetTexelSize(int id, float& texelWidth, float& texelHeight) {
    const TTexture* record = Texture_Record(id);
    if (!record) return false;
    texelWidth = record->texelWidth;
    texelHeight = record->texelHeight;
    return true;
}

void Texture_ClearTable() {
    for (int id = 0; id < g_tableCount; ++id)
        MEM_FREE(g_table[id]);
    MEM_FREE(g_table);
    g_table = nullptr;
    g_tableCount = 0;
}

void Texture_FreeAll() {
    for (int id = 0; id < g_tableCount; ++id)
        Texture_Free(id);
    Texture_ClearTable();
}

// ---- page-entry handles ----

int32_t PageEntry_Register(const TPageEntry* entry) {
    if (!entry) return -1;
    auto found = g_pageHandles.find(entry);
    if (found != g_pageHandles.end()) return found->second;
    int32_t slot;
    if (!g_freePageSlots.empty()) {
        slot = g_freePageSlots.top();
        g_freePageSlots.pop();
        g_pageEntries[static_cast<size_t>(slot)] = entry;
    } else {
        if (g_pageEntries.size() >= static_cast<size_t>(PageEntry_HandleLimit - PageEntry_HandleBase)) return -1;
        slot = static_cast<int32_t>(g_pageEntries.size());
        g_pageEntries.push_back(entry);
    }
    const int32_t handle = PageEntry_HandleBase + slot;
    g_pageHandles.emplace(entry, handle);
    return handle;
}

const TPageEntry* PageEntry_FromHandle(int64_t handle) {
    if (handle < PageEntry_HandleBase || handle >= PageEntry_HandleBase + static_cast<int64_t>(g_pageEntries.size()))
        return nullptr;
    return g_pageEntries[static_cast<size_t>(handle - PageEntry_HandleBase)];
}

void PageEntry_Unregister(const TPageEntry* entry) {
    auto found = g_pageHandles.find(entry);
    if (found == g_pageHandles.end()) return;
    const int32_t slot = found->second - PageEntry_HandleBase;
    g_pageEntries[static_cast<size_t>(slot)] = nullptr;
    g_freePageSlots.push(slot);
    g_pageHandles.erase(found);
}

void PageEntry_ClearRegistry() {
    g_pageEntries.clear();
    g_pageHandles.clear();
    g_freePageSlots = {};
}

void Texture_FlushAll() {
    for (TDeviceTexture* t = g_textureList; t; t = t->next)
        GR_D3D_TouchTexture(t);
    Surface_MarkAllGone();
}

int Texture_FromValue(int64_t value) {
    if (value >= INT32_MIN && value <= INT32_MAX && Texture_Exists(static_cast<int>(value))) return static_cast<int>(value);
    const TPageEntry* entry = PageEntry_FromHandle(value);
    return entry && Texture_Exists(entry->texture) ? entry->texture : -1;
}
