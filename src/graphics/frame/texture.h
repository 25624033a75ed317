// Device textures and render targets, the texture table, texture-page entries and the render-target
// stack.
#pragma once

#include <cstddef>
#include <cstdint>

class CD3DTexture;
class CD3DSurface;
class CBitmap32;

// A rectangle of a texture page and where it sits in the full image: eleven signed 16-bit fields, 22
// bytes as stored in the data file. The texture field holds an index into the "TXTR" list in the file;
// the loaded copy holds the texture id.
struct TPageEntry {
    int16_t sourceX;
    int16_t sourceY;
    int16_t sourceWidth;
    int16_t sourceHeight;
    int16_t targetX;
    int16_t targetY;
    int16_t targetWidth;
    int16_t targetHeight;
    int16_t boundingWidth;
    int16_t boundingHeight;
    int16_t texture;
};
static_assert(sizeof(TPageEntry) == 22, "a texture-page entry is 22 bytes");

// One device texture with its memory copy.
struct TDeviceTexture {
    int32_t formatCode;
    // Bits 0-12 width - 1, 13-25 height - 1, 26-31 level count - 1.
    uint32_t packedSize;
    // Bit 0: a render target drawn to, to be resolved before sampling; bit 3: default pool; bit 4:
    // managed pool.
    uint32_t flags;
    CD3DTexture* texture;
    CD3DSurface* colourSurface;
    CD3DSurface* depthSurface;
    uint8_t* systemBlock; // the allocation
    uint8_t* systemCopy;  // the block rounded up to 16 bytes: width x height x 4 bytes of pixels
    TDeviceTexture* next;

    int Width() const { return static_cast<int>(packedSize & 0x1FFFu) + 1; }
    int Height() const { return static_cast<int>((packedSize >> 13) & 0x1FFFu) + 1; }
};

constexpr uint32_t TEXFLAG_NEEDS_RESOLVE = 1u << 0;
constexpr uint32_t TEXFLAG_POOL_DEFAULT = 1u << 3;
constexpr uint32_t TEXFLAG_POOL_MANAGED = 1u << 4;
constexpr uint32_t TEXCREATE_RENDERTARGET = 1u << 0;

// The info record of the creation-from-data operations: width, height, depth (bits per pixel for raw
// pixels), mip levels, format code, resource type (-1 for raw pixels), image file format.
struct TTextureInfo {
    int32_t width, height, depth, mipLevels, formatCode, resourceType, fileFormat;
};

// The largest width and height of a texture the device makes: 8192, or less where its driver takes less.
// A plain texture is the power of two at or above its image's size, at most this: a larger image is
// cropped to it.
int Texture_MaxSide();
TDeviceTexture* GR_D3D_CreateTexture(int width, int height, int levels, uint32_t flags, int formatCode);
TDeviceTexture* GR_D3D_CreateTextureFromPixels(const uint8_t* pixels, int width, int height, TTextureInfo* info);
// From a "RAW " page or an encoded image (PNG). The fifth argument is not read. The info's file format
// is -1 when the bytes are no page or image the layer decodes.
TDeviceTexture* GR_D3D_CreateTexturePage(const uint8_t* data, size_t size, TTextureInfo* info, int formatCode,
                                         int unused);
// Copies width x height pixels (rows of width pixels) into the memory copy, cropped to the texture,
// then into the texture.
bool GR_D3D_UploadTexture(TDeviceTexture* texture, int level, int width, int height, const uint8_t* pixels);
// Sends a rectangle of the memory copy (already written by the caller) to the texture.
bool GR_D3D_UpdateTextureRect(TDeviceTexture* texture, int x, int y, int w, int h);
void GR_D3D_FreeTexture(TDeviceTexture* texture);
void GR_D3D_PreloadTexture(TDeviceTexture* texture);
void GR_D3D_SetTexturePriority(TDeviceTexture* texture, uint32_t priority);
void GR_D3D_SetTexture(int stage, TDeviceTexture* texture);
void GR_D3D_SetTextureBlending(bool on);
void GR_D3D_TouchTexture(TDeviceTexture* texture);

// Read-back. Blocks come from the memory manager (MEM_FREE them) and hold rows of 32-bit pixels (bytes
// B, G, R, A), top row first; null when nothing can be read.
//
// A rectangle of the screen texture: x and y are raised to 0, w and h shortened to stay inside
// limitWidth x limitHeight and receive the size read. Pixels beyond the screen texture read as 0.
uint8_t* GR_D3D_ReadScreenRect(int limitWidth, int limitHeight, int x, int y, int& w, int& h);
// A w x h block of a texture from (x, y); x and y are raised to 0 without shortening w and h, and
// pixels outside the texture read as 0.
uint8_t* GR_D3D_ReadTextureRect(TDeviceTexture* texture, int x, int y, int w, int h);
// Copies a w x h rectangle of what was drawn into source to (dx, dy) of destination, 1:1; sx and sy are
// raised to 0 and w and h shortened to fit both. A rectangle that leaves the destination (dx or dy
// below 0) or is empty copies nothing. True when it copied.
// A new 32-bit image of w x h from a read-back block, which it frees; null for a null block.
class IBitmap;
IBitmap* GR_ImageFromBlock(uint8_t* block, int w, int h);
// The first pixel of a read-back block as 0xAABBGGRR (red in the low byte), freeing the block; 0 for a
// null block.
uint32_t GR_PixelFromBlock(uint8_t* block);
bool GR_D3D_CopyTextureRect(TDeviceTexture* destination, int dx, int dy, TDeviceTexture* source, int sx, int sy,
                            int w, int h);
// Newest first.
TDeviceTexture* GR_D3D_TextureList();

// The render-target stack: 8 levels of the targets of every slot in use and the depth-stencil surface.
bool GR_D3D_PushRenderTargets();
bool GR_D3D_PopRenderTargets();
void GR_D3D_PopAllRenderTargets();
bool GR_D3D_SetRenderTarget(int slot, TDeviceTexture* texture);
int GR_D3D_RenderTargetDepth();

// The bound-texture swap counter's last texture, forgotten when the device goes.
void GR_D3D_ForgetBoundTexture();

// A record of the texture table. Width and height are read as signed 16-bit values.
struct TTexture {
    TDeviceTexture* texture;
    uint16_t width;
    uint16_t height;
    float texelWidth;
    float texelHeight;
    uint8_t inUse;
};

// The texture table.
int Texture_AllocSlot();
// The record of a valid id, null for another.
TTexture* Texture_Record(int id);
int Texture_Create(int width, int height, bool renderTarget);
bool Texture_Exists(int id);
// The device texture of an id, null when the id is not valid.
TDeviceTexture* Texture_Get(int id);
// A new id for an existing device texture; -1 when none was given.
int Texture_AddExisting(TDeviceTexture* texture, int width, int height);
// A new id from one encoded texture page of the data file; -1 when no texture was made. decoded (when
// given) tells whether the bytes held a page the runner reads (a "RAW " page, a PNG or a JPEG image),
// whether or not a device made the texture.
int Texture_CreateFromMemory(const uint8_t* data, size_t size, bool* decoded = nullptr);
// A new id from raw 32-bit pixels (bytes = width x height x 4) or else an encoded image; -1 when no
// texture was made.
int Texture_CreateFromPixels(int width, int height, const uint8_t* data, size_t bytes);
// -1 for a null or invalid image.
int Texture_CreateFromBitmap(const CBitmap32* bitmap);
// White pixels whose alpha is the image's byte of that pixel (rows of width bytes); -1 when no texture
// was made.
int Texture_CreateFromAlpha(int width, int height, const uint8_t* image);
// The part of the device texture the image covers (width x texel width); 1 for an id that is not valid.
float Texture_GetWidth(int id);
float Texture_GetHeight(int id);
void Texture_Preload(int id);
void Texture_SetPriority(int id, uint32_t priority);
void Texture_Free(int id);
// Texel width and height of a valid id (false for another).
bool Texture_GetTexelSize(int id, float& texelWidth, float& texelHeight);
void Texture_ClearTable();
void Texture_FreeAll();

// Texture-page entries reach scripts as handles of one table: handle = PageEntry_HandleBase + the
// entry's slot. Every handle is exact in single precision and above every texture id (the texture
// table stops below PageEntry_HandleBase), so a value that names a texture is resolved by trying it as
// a texture id first and then through PageEntry_FromHandle; a value that is neither means no texture.
// A freed entry's handle resolves to null until its slot is reused (lowest free slot first).
constexpr int32_t PageEntry_HandleBase = 0x100000;
constexpr int32_t PageEntry_HandleLimit = 0x1000000; // 2^24: the last handle exact as a float
// The entry's handle (the same one while it stays registered); -1 for null or a full table.
int32_t PageEntry_Register(const TPageEntry* entry);
// The entry of a handle, null for any other number.
const TPageEntry* PageEntry_FromHandle(int64_t handle);
// The texture a texture argument names: a valid id itself, or the page texture of an entry handle; -1
// for any other value.
int Texture_FromValue(int64_t value);
void PageEntry_Unregister(const TPageEntry* entry);
void PageEntry_ClearRegistry();

// draw_texture_flush: every device texture is touched (a step that does nothing), then every surface
// counts as gone.
void Texture_FlushAll();
