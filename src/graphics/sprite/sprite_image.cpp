// Sprites built from images at run time: loading strips of frames, frames from screen and surface
// grabs, copies, frames read back from texture pages, merging and alpha from another sprite.
#include "core/console.h"
#include "core/memory.h"
#include "graphics/frame/texture.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_load.h"
#include "graphics/sprite/sprite.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

CBitmap32* FrameFrom(IBitmap& image, bool removeBack, bool smooth, bool keepAlpha) {
    return keepAlpha ? CBitmap32::CBitmap32_Alpha(image, removeBack, smooth)
                     : CBitmap32::CBitmap32_FromBitmap(image, removeBack, smooth);
}

// A 32-bit image of w x h with the block's rows (bw x bh pixels) placed at (x, y), zero elsewhere; null
// when the size cannot be held.
CBitmap32* PlaceBlock(const uint8_t* block, int bw, int bh, int x, int y, int w, int h) {
    size_t bytes = 0;
    if (!Image_CanvasBytes(w, h, bytes)) return nullptr;
    std::vector<uint32_t> canvas(bytes / 4, 0);
    for (int row = 0; row < bh; ++row) {
        const int ty = y + row;
        if (ty < 0 || ty >= h) continue;
        const int x0 = std::max(x, 0);
        const int x1 = static_cast<int>(std::min<int64_t>(static_cast<int64_t>(x) + bw, w));
        if (x0 < x1)
            std::memcpy(&canvas[static_cast<size_t>(ty) * w + x0], block + (static_cast<size_t>(row) * bw + (x0 - x)) * 4,
                        static_cast<size_t>(x1 - x0) * 4);
    }
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(canvas.data(), w, h));
    std::unique_ptr<IBitmap> image(loader ? loader->GetFrame(0) : nullptr);
    return image ? CBitmap32::CBitmap32_Alpha(*image, false, false) : nullptr;
}

} // namespace

void CSprite::ClearImage() {
    const char* keptName = name;
    const int32_t keptIndex = index;
    Clear();
    name = keptName;
    index = keptIndex;
}

void CSprite::FinishFrames() {
    InitTexture();
    InitLocalTPE();
    ComputeBoundingBox();
    CreateMask();
}

void CSprite::AppendFrame(CBitmap32* frame) {
    MemoryManager::SetLength(localBitmaps, sizeof(CBitmap32*) * static_cast<size_t>(localBitmapCount + 1), __FILE__,
                             __LINE__);
    localBitmaps[localBitmapCount++] = frame;
}

bool CSprite::LoadFromFile(const char* fileName, int frames, bool preciseFlag, bool removeBack, bool smoothFlag,
                           int xOrigin_, int yOrigin_, bool keepAlpha) {
    int size = 0;
    uint8_t* bytes = Image_ReadFile(fileName, size);
    if (!bytes) return false;
    const bool ok = LoadFromImage(ImageKind::PNG, bytes, static_cast<size_t>(size), frames, preciseFlag, removeBack,
                                  smoothFlag, xOrigin_, yOrigin_, keepAlpha);
    MEM_FREE(bytes);
    return ok;
}

bool CSprite::LoadFromImage(ImageKind kind, const uint8_t* bytes, size_t size, int frames, bool preciseFlag,
                            bool removeBack, bool smoothFlag, int xOrigin_, int yOrigin_, bool keepAlpha) {
    return Image_Decode(kind, bytes, size, [&](const uint32_t* pixels, int w, int h) {
        return LoadFromData(pixels, w, h, frames, preciseFlag, removeBack, smoothFlag, xOrigin_, yOrigin_, keepAlpha);
    });
}

// More frames than columns would cut frames of no width (and, for a count in the millions, that many
// images): such a strip is refused before the sprite is touched.
bool CSprite::LoadFromData(const uint32_t* pixels, int w, int h, int frames, bool preciseFlag, bool removeBack,
                           bool smoothFlag, int xOrigin_, int yOrigin_, bool keepAlpha) {
    if (frames > w) {
        DebugConsole->Output("Sprite %s: %d frames do not fit an image %d pixels wide\n", name ? name : "", frames,
                             w);
        return false;
    }
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(pixels, w, h));
    if (!loader) return false;
    if (loader->HasFrames())
        LoadFrames(*loader, removeBack, smoothFlag);
    else
        LoadStrip(*loader, removeBack, smoothFlag, frames, keepAlpha);
    loader.reset();
    xOrigin = xOrigin_;
    bboxMode = 0;
    preload = 1;
    precise = preciseFlag;
    yOrigin = yOrigin_;
    FinishFrames();
    return true;
}

void CSprite::LoadStrip(IBitmapLoader& loader, bool removeBack, bool smoothFlag, int frames, bool keepAlpha) {
    DebugConsole->Output("calling pLoader->Create\n");
    std::unique_ptr<IBitmap> image(loader.GetFrame(0));
    DebugConsole->Output("calling Clear()\n");
    ClearImage();
    transparent = removeBack;
    smooth = smoothFlag;
    if (!image) {
        DebugConsole->Output("CSprite::LoadStrip :: Unable to load sprite data\n");
        return;
    }
    DebugConsole->Output("About to get widths and heights\n");
    frameCount = std::max(frames, 1);
    width = image->GetWidth() / frameCount;
    height = image->GetHeight();
    DebugConsole->Output("TBitmap has w=%d, h=%d\n", image->GetWidth(), image->GetHeight());
    std::unique_ptr<CBitmap32> whole(keepAlpha ? CBitmap32::CBitmap32_Choose(*image, false, false, true)
                                               : CBitmap32::CBitmap32_Choose(*image, removeBack, smoothFlag, false));
    image.reset();
    for (int32_t i = 0; i < frameCount; ++i)
        AppendFrame(CBitmap32::CBitmap32_Region(*whole, i * width, 0, width, height));
}

void CSprite::LoadFrames(IBitmapLoader& loader, bool removeBack, bool smoothFlag) {
    ClearImage();
    transparent = removeBack;
    smooth = smoothFlag;
    for (int32_t i = 0; i < loader.GetFrameCount(); ++i) {
        std::unique_ptr<IBitmap> image(loader.GetFrame(i));
        if (!image) break;
        if (i == 0) {
            width = image->GetWidth();
            height = image->GetHeight();
        }
        AppendFrame(CBitmap32::CBitmap32_FromBitmap(*image, removeBack, smoothFlag));
    }
    frameCount = localBitmapCount;
}

void CSprite::CreateFromBitmap(IBitmap& image, bool preciseFlag, bool removeBack, bool smoothFlag, bool preloadFlag,
                               int xOrigin_, int yOrigin_, bool keepAlpha) {
    ClearImage();
    frameCount = 1;
    width = image.GetWidth();
    height = image.GetHeight();
    transparent = removeBack;
    smooth = smoothFlag;
    preload = preloadFlag;
    bboxMode = 0;
    precise = preciseFlag;
    xOrigin = xOrigin_;
    yOrigin = yOrigin_;
    AppendFrame(FrameFrom(image, removeBack, smoothFlag, keepAlpha));
    DebugConsole->Output("Init Texture\n");
    InitTexture();
    DebugConsole->Output("Init local TPE\n");
    InitLocalTPE();
    DebugConsole->Output("Compute Bounding Box\n");
    ComputeBoundingBox();
    DebugConsole->Output("Create Mask\n");
    CreateMask();
}

bool CSprite::AddFrameFromBitmap(IBitmap& image, bool removeBack, bool smoothFlag, bool keepAlpha) {
    if (IsFromFile() && !MakeOwnFrames()) return false;
    if (frameCount < 1) {
        width = image.GetWidth();
        height = image.GetHeight();
    }
    CBitmap32* frame = FrameFrom(image, removeBack, smoothFlag, keepAlpha);
    frame->Resize(width, height);
    AppendFrame(frame);
    frameCount = localBitmapCount;
    FinishFrames();
    return true;
}

// The page-entry array is always the sprite's own: a data-file source's entries are pointed to from a
// copy of its array. The masks are made anew from the copied frames, not copied.
void CSprite::Assign(const CSprite& other) {
    if (&other == this) return;
    ClearImage();
    width = other.width;
    height = other.height;
    bbox = other.bbox;
    transparent = other.transparent;
    smooth = other.smooth;
    preload = other.preload;
    bboxMode = other.bboxMode;
    precise = other.precise;
    xOrigin = other.xOrigin;
    yOrigin = other.yOrigin;
    frameCount = other.frameCount;
    cullRadius = other.cullRadius;
    if (other.IsFromFile() && other.frameCount > 0) {
        const size_t bytes = sizeof(TPageEntry*) * static_cast<size_t>(other.frameCount);
        pageEntries = static_cast<TPageEntry**>(MEM_ALLOC(bytes));
        std::memcpy(pageEntries, other.pageEntries, bytes);
    }
    for (int32_t i = 0; i < other.localBitmapCount; ++i)
        AppendFrame(CBitmap32::CBitmap32_Copy(*other.localBitmaps[i]));
    InitTexture();
    if (!IsFromFile()) InitLocalTPE();
    CreateMask();
}

bool CSprite::MakeLocalBitmaps() {
    if (!pageEntries || frameCount < 1) return false;
    std::vector<std::unique_ptr<CBitmap32>> frames;
    for (int32_t i = 0; i < frameCount; ++i) {
        const TPageEntry* e = pageEntries[i];
        if (!e || e->sourceWidth <= 0 || e->sourceHeight <= 0) return false;
        uint8_t* block = GR_D3D_ReadTextureRect(Texture_Get(e->texture), e->sourceX, e->sourceY, e->sourceWidth,
                                                e->sourceHeight);
        if (!block) return false;
        CBitmap32* frame = PlaceBlock(block, e->sourceWidth, e->sourceHeight, e->targetX, e->targetY,
                                      e->boundingWidth, e->boundingHeight);
        MEM_FREE(block);
        if (!frame) return false;
        frames.emplace_back(frame);
    }
    for (int32_t i = 0; i < localBitmapCount; ++i)
        delete localBitmaps[i];
    localBitmapCount = 0;
    for (auto& frame : frames)
        AppendFrame(frame.release());
    return true;
}

bool CSprite::MakeOwnFrames() {
    if (!IsFromFile() || !MakeLocalBitmaps()) return false;
    MEM_FREE(pageEntries);
    pageEntries = nullptr;
    InitTexture();
    InitLocalTPE();
    return true;
}

bool CSprite::Merge(const CSprite& other) {
    if (IsFromFile()) {
        Code_Error_Report("sprite_merge() requires the destination sprite to have been duplicated", false);
        return false;
    }
    if (other.IsFromFile()) {
        Code_Error_Report("sprite_merge() requires the source sprite to have been duplicated", false);
        return false;
    }
    if (frameCount < 1) {
        width = other.width;
        height = other.height;
    }
    const int32_t count = other.localBitmapCount; // the other may be this sprite
    for (int32_t i = 0; i < count; ++i) {
        CBitmap32* frame = CBitmap32::CBitmap32_Copy(*other.localBitmaps[i]);
        frame->Resize(width, height);
        AppendFrame(frame);
    }
    frameCount += count;
    FinishFrames();
    return true;
}

void CSprite::SetAlphaFromSprite(const CSprite& other) {
    if (!OwnsFrames() || !other.OwnsFrames()) return;
    for (int32_t i = 0; i < localBitmapCount; ++i)
        localBitmaps[i]->AlphaFromColours(other.localBitmaps[i % other.localBitmapCount]);
    InitTexture();
    InitLocalTPE();
}
