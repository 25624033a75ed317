#include "graphics/sprite/background.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/text.h"
#include "data/container.h"
#include "data/data_view.h"
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/texture_page.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_load.h"
#include "graphics/sprite/resource_table.h"

#include <cstdio>
#include <memory>

namespace {

ResourceTable<CBackground> g_backgrounds;
const char kUndefined[] = "<undefined>";
constexpr uint32_t kRecordBytes = 5 * 4;

float Radians(float degrees) {
    return degrees * 3.1415927f / 180.0f;
}

} // namespace

void CBackground::Reset() {
    delete bitmap;
    if (texture >= 0) Texture_Free(texture);
    *this = CBackground();
}

bool CBackground::LoadFromChunk(const CDataView& file, const IFFChunk& chunk, uint32_t record) {
    Reset();
    if (!chunk.Holds(record, kRecordBytes)) return false;
    auto word = [&](int i) {
        return file.WordAt(static_cast<uint64_t>(record) + 4 * static_cast<uint64_t>(i));
    };
    bool textOk = true;
    file.Text(word(0), &textOk);
    const uint32_t entryAt = word(4);
    TPageEntry* entry = entryAt != 0 ? TPage_LoadEntry(file, entryAt) : nullptr;
    if (!textOk || (entryAt != 0 && !entry)) return false;
    transparent = word(1) != 0;
    smooth = word(2) != 0;
    preload = word(3) != 0;
    pageEntry = entry;
    width = entry ? entry->boundingWidth : 0;
    height = entry ? entry->boundingHeight : 0;
    return true;
}

void CBackground::MakeTexture() {
    texture = Texture_CreateFromBitmap(bitmap);
    if (preload) Texture_Preload(texture);
}

void CBackground::InitTexture() {
    FreeTexture();
    MakeTexture();
}

void CBackground::FreeTexture() {
    if (texture >= 0) Texture_Free(texture);
    texture = -1;
}

void CBackground::Free(CBackground* background) {
    if (background == nullptr) return;
    background->Reset();
    delete background;
}

int32_t CBackground::GetTexture() const {
    return pageEntry ? PageEntry_Register(pageEntry) : texture;
}

void CBackground::Assign(const CBackground& other) {
    if (&other == this) return;
    Reset();
    width = other.width;
    height = other.height;
    transparent = other.transparent;
    smooth = other.smooth;
    preload = other.preload;
    pageEntry = other.pageEntry;
    if (other.bitmap) bitmap = CBitmap32::CBitmap32_Copy(*other.bitmap);
    MakeTexture();
}

bool CBackground::Fits(int w, int h) {
    const int largest = Texture_MaxSide();
    if (w <= largest && h <= largest) return true;
    DebugConsole->Output(
        "Error creating background: image width or height exceeds maximum texture size of %d\n", largest);
    return false;
}

bool CBackground::CreateColour(int w, int h, uint32_t colour, bool preloadFlag) {
    if (!Fits(w, h)) return false;
    Reset();
    width = w;
    height = h;
    preload = preloadFlag;
    bitmap = CBitmap32::CBitmap32_Fill(w, h, colour);
    MakeTexture();
    return true;
}

bool CBackground::CreateGradient(int w, int h, uint32_t colour1, uint32_t colour2, int kind, bool preloadFlag) {
    if (!Fits(w, h)) return false;
    Reset();
    width = w;
    height = h;
    preload = preloadFlag;
    bitmap = CBitmap32::CBitmap32_Gradient(w, h, colour1, colour2, kind);
    MakeTexture();
    return true;
}

void CBackground::SetAlphaFromBackground(const CBackground& other) {
    if (!bitmap || !other.bitmap) {
        DebugConsole->Output("Both bitmaps need to be duplicated first\n");
        return;
    }
    bitmap->AlphaFromColours(other.bitmap);
    InitTexture();
}

int CBackground::MakeLocalBitmap() {
    if (bitmap || !pageEntry) return 0;
    const TPageEntry& e = *pageEntry;
    IBitmap* image = GR_ImageFromBlock(
        GR_D3D_ReadTextureRect(Texture_Get(e.texture), e.sourceX, e.sourceY, e.sourceWidth, e.sourceHeight),
        e.sourceWidth, e.sourceHeight);
    if (!image) return 0;
    bitmap = CBitmap32::CBitmap32_Alpha(*image, false, false);
    delete image;
    pageEntry = nullptr;
    MakeTexture();
    return 1;
}

bool CBackground::CreateFromBitmap(IBitmap& image, bool removeBack, bool smoothFlag, bool preloadFlag,
                                   bool keepAlpha) {
    if (!Fits(image.GetWidth(), image.GetHeight())) return false;
    Reset();
    transparent = removeBack;
    smooth = smoothFlag;
    preload = preloadFlag;
    width = image.GetWidth();
    height = image.GetHeight();
    bitmap = keepAlpha ? CBitmap32::CBitmap32_Alpha(image, removeBack, smoothFlag)
                       : CBitmap32::CBitmap32_FromBitmap(image, removeBack, smoothFlag);
    MakeTexture();
    return true;
}

bool CBackground::LoadFromData(const uint32_t* pixels, int w, int h, bool removeBack, bool smoothFlag,
                               bool preloadFlag, bool keepAlpha) {
    std::unique_ptr<BitmapLoader> loader(BitmapLoader::Create(pixels, w, h));
    std::unique_ptr<IBitmap> frame(loader ? loader->GetFrame(0) : nullptr);
    return frame && CreateFromBitmap(*frame, removeBack, smoothFlag, preloadFlag, keepAlpha);
}

bool CBackground::LoadFromImage(ImageKind kind, const uint8_t* bytes, size_t size, bool removeBack,
                                bool smoothFlag, bool preloadFlag, bool keepAlpha) {
    return Image_Decode(kind, bytes, size, [&](const uint32_t* pixels, int w, int h) {
        return LoadFromData(pixels, w, h, removeBack, smoothFlag, preloadFlag, keepAlpha);
    });
}

bool CBackground::LoadFromPNG(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag,
                              bool preloadFlag, bool keepAlpha) {
    return LoadFromImage(ImageKind::PNG, bytes, size, removeBack, smoothFlag, preloadFlag, keepAlpha);
}

bool CBackground::LoadFromJPEG(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag,
                               bool preloadFlag, bool keepAlpha) {
    return LoadFromImage(ImageKind::JPEG, bytes, size, removeBack, smoothFlag, preloadFlag, keepAlpha);
}

bool CBackground::LoadFromGIF(const uint8_t* bytes, size_t size, bool removeBack, bool smoothFlag,
                              bool preloadFlag, bool keepAlpha) {
    return LoadFromImage(ImageKind::GIF, bytes, size, removeBack, smoothFlag, preloadFlag, keepAlpha);
}

// The file is decoded before anything of the background is freed, so a file that is missing or does not
// decode leaves it as it was.
bool CBackground::LoadFromFile(const char* path, bool removeBack, bool smoothFlag, bool preloadFlag,
                               bool keepAlpha) {
    int size = 0;
    uint8_t* bytes = Image_ReadFile(path, size);
    if (!bytes) return false;
    const bool ok =
        LoadFromPNG(bytes, static_cast<size_t>(size), removeBack, smoothFlag, preloadFlag, keepAlpha);
    MEM_FREE(bytes);
    return ok;
}

// Each draws from the page entry when there is one, else from the own texture; an image without a
// valid texture draws nothing.
void CBackground::Draw(float x, float y) {
    pageEntry ? Texture_DrawEntry(pageEntry, x, y) : Texture_Draw(texture, x, y);
}

void CBackground::DrawExt(float x, float y, float xscale, float yscale, float angle, uint32_t colour,
                          float alpha) {
    const float radians = Radians(angle);
    pageEntry ? Texture_DrawEntryExt(pageEntry, 0, 0, x, y, xscale, yscale, radians, colour, alpha)
              : Texture_DrawExt(texture, 0, 0, x, y, xscale, yscale, radians, colour, alpha);
}

void CBackground::DrawStretched(float x, float y, float w, float h, uint32_t colour, float alpha) {
    if (!(w > 0.0f) || !(h > 0.0f) || width <= 0 || height <= 0) return;
    const float xscale = w / static_cast<float>(width);
    const float yscale = h / static_cast<float>(height);
    pageEntry ? Texture_DrawEntryExt(pageEntry, 0, 0, x, y, xscale, yscale, 0, colour, alpha)
              : Texture_DrawExt(texture, 0, 0, x, y, xscale, yscale, 0, colour, alpha);
}

void CBackground::DrawPart(float left, float top, float partWidth, float partHeight, float x, float y,
                           float xscale, float yscale, uint32_t colour, float alpha) {
    pageEntry
        ? Texture_DrawEntryPart(pageEntry, left, top, partWidth, partHeight, x, y, xscale, yscale, 0, colour,
                                alpha)
        : Texture_DrawPart(texture, left, top, partWidth, partHeight, x, y, xscale, yscale, 0, colour, alpha);
}

void CBackground::DrawGeneral(float left, float top, float partWidth, float partHeight, float x, float y,
                              float xscale, float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3,
                              uint32_t c4, float alpha) {
    const float radians = Radians(angle);
    pageEntry ? Texture_DrawEntryGeneral(pageEntry, left, top, partWidth, partHeight, x, y, xscale, yscale,
                                         radians, c1, c2, c3, c4, alpha)
              : Texture_DrawGeneral(texture, left, top, partWidth, partHeight, x, y, xscale, yscale, radians,
                                    c1, c2, c3, c4, alpha);
}

void CBackground::DrawTiled(float x, float y, float xscale, float yscale, bool htiled, bool vtiled,
                            float regionLeft, float regionTop, float regionWidth, float regionHeight,
                            uint32_t colour, float alpha) {
    pageEntry ? Texture_DrawEntryTiled(pageEntry, 0, 0, x, y, xscale, yscale, htiled, vtiled, regionLeft,
                                       regionTop, regionWidth, regionHeight, colour, alpha)
              : Texture_DrawTiled(texture, 0, 0, x, y, xscale, yscale, htiled, vtiled, regionLeft, regionTop,
                                  regionWidth, regionHeight, colour, alpha);
}

// ---- The background table

void Background_Clear() {
    g_backgrounds.Clear(CBackground::Free);
}

bool Background_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    g_backgrounds.Reset(static_cast<int>(list.size()), CBackground::Free);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto* background = new CBackground();
        if (!background->LoadFromChunk(file, chunk, list[i])) {
            CBackground::Free(background);
            return Load_Fail("Chunk BGND: background %d is damaged (its record, name or page entry lies outside "
                             "the file)",
                             static_cast<int>(i));
        }
        g_backgrounds.Set(static_cast<int>(i), background, String_Duplicate(file.Text(file.WordAt(list[i]))));
    }
    return true;
}

void Background_InitTextures() {
    g_backgrounds.ForEach([](CBackground* background) { background->InitTexture(); });
}

bool Background_Exists(int index) {
    return g_backgrounds.Exists(index);
}

// Never owned by the caller, for a valid index or not.
const char* Background_GetName(int index) {
    const char* name = g_backgrounds.Name(index);
    return name ? name : kUndefined;
}

int Background_Find(const char* name) {
    return g_backgrounds.Find(name);
}

CBackground* Background_Data(int index) {
    return g_backgrounds.Data(index);
}

bool Background_Delete(int index) {
    CBackground* background = g_backgrounds.Remove(index);
    CBackground::Free(background);
    return background != nullptr;
}

namespace {

// The flags of a download record.
constexpr uint32_t kDownloadRemoveBack = 1u << 0;
constexpr uint32_t kDownloadSmooth = 1u << 1;
constexpr uint32_t kDownloadPreload = 1u << 2;

struct BackgroundDownload {
    int32_t index;
    uint32_t flags;
};

int NewSlot() {
    char name[40];
    std::snprintf(name, sizeof name, "__newbackground%d", g_backgrounds.Count());
    return g_backgrounds.Append(new CBackground(), String_Duplicate(name));
}

// The background of a slot inside the table, made when the slot is empty.
CBackground* SlotBackground(int index) {
    if (CBackground* background = g_backgrounds.Data(index)) return background;
    auto* background = new CBackground();
    g_backgrounds.Swap(index, background);
    return background;
}

int32_t BackgroundDownloaded(const char* url, int32_t httpStatus, const uint8_t* data, int32_t size, void* record,
                             int32_t* asyncLoad) {
    const auto* r = static_cast<const BackgroundDownload*>(record);
    *asyncLoad = Image_DownloadMap(url, r->index, httpStatus, size);
    if (CBackground* background = g_backgrounds.Data(r->index)) {
        const bool removeBack = (r->flags & kDownloadRemoveBack) != 0;
        Image_LoadDownload(url, httpStatus, data, size, [&](ImageKind kind, const uint8_t* bytes, size_t n) {
            return background->LoadFromImage(kind, bytes, n, removeBack, (r->flags & kDownloadSmooth) != 0,
                                             (r->flags & kDownloadPreload) != 0, !removeBack);
        });
    }
    return kEventImageLoaded;
}

void FreeBackgroundDownload(void* record) {
    delete static_cast<BackgroundDownload*>(record);
}

void StartDownload(int index, const char* url, bool removeBack, bool smooth, bool preload) {
    const uint32_t flags = (removeBack ? kDownloadRemoveBack : 0) | (smooth ? kDownloadSmooth : 0) |
                           (preload ? kDownloadPreload : 0);
    Image_Download(url, kHttpKindBackground, BackgroundDownloaded, FreeBackgroundDownload,
                   new BackgroundDownload{index, flags});
}

int AddFromFile(const char* name, bool removeBack, bool smooth, bool preload, bool keepAlpha) {
    if (!Image_FileExists(name)) return -1;
    return Background_AddMade([&](CBackground& background) {
        return background.LoadFromFile(name, removeBack, smooth, preload, keepAlpha);
    });
}

} // namespace

int Background_AddMade(const std::function<bool(CBackground&)>& make) {
    const int index = NewSlot();
    if (make(*g_backgrounds.Data(index))) return index;
    g_backgrounds.DropLast(CBackground::Free);
    return -1;
}

int Background_Add(const char* name, bool removeBack, bool smooth, bool preload) {
    if (!name) return -1;
    if (Image_IsURL(name)) {
        const int index = NewSlot();
        StartDownload(index, name, removeBack, smooth, preload);
        return index;
    }
    return AddFromFile(name, removeBack, smooth, preload, !removeBack);
}

bool Background_Replace(int index, const char* name, bool removeBack, bool smooth, bool preload) {
    if (!g_backgrounds.Contains(index) || !name) return false;
    CBackground* background = SlotBackground(index);
    if (Image_IsURL(name)) {
        StartDownload(index, name, removeBack, smooth, preload);
        return false;
    }
    return Image_FileExists(name) && background->LoadFromFile(name, removeBack, smooth, preload, !removeBack);
}

int Background_AddAlpha(const char* name, bool preload) {
    return AddFromFile(name, true, false, preload, true);
}

bool Background_ReplaceAlpha(int index, const char* name, bool preload) {
    if (!g_backgrounds.Contains(index) || !Image_FileExists(name)) return false;
    return SlotBackground(index)->LoadFromFile(name, true, false, preload, true);
}

int Background_AddEmpty() {
    return NewSlot();
}

int Background_Duplicate(int index) {
    const CBackground* source = g_backgrounds.Data(index);
    if (!source) return -1;
    const int copy = NewSlot();
    CBackground* background = g_backgrounds.Data(copy);
    background->Assign(*source);
    background->MakeLocalBitmap();
    return copy;
}

bool Background_Assign(int destination, int source) {
    const CBackground* from = g_backgrounds.Data(source);
    if (!g_backgrounds.Contains(destination) || !from) return false;
    SlotBackground(destination)->Assign(*from);
    return true;
}

bool Background_Save(int index, const char* name) {
    const CBackground* background = g_backgrounds.Data(index);
    std::unique_ptr<TBitmap> image(background && background->bitmap ? background->bitmap->CreateTBitmap() : nullptr);
    return image && Image_SavePNG(*image, name);
}

void Background_Free() {
    g_backgrounds.ForEach([](CBackground* background) { background->FreeTexture(); });
    Background_Clear();
}
