#include "graphics/image/image_load.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/image_decode.h"
#include "library/data_structures.h"

#include <cstring>

namespace {
HttpGetService g_httpGet = nullptr;
} // namespace

uint8_t* Image_ReadFile(const char* name, int& size) {
    return name ? LoadSave_ReadFile(LoadSave_ReadPath(name).c_str(), &size) : nullptr;
}

bool Image_FileExists(const char* name) {
    return name && !LoadSave_ReadPath(name).empty();
}

ImageKind Image_Sniff(const uint8_t* bytes, size_t size) {
    if (!bytes) return ImageKind::Unknown;
    if (size >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return ImageKind::JPEG;
    if (size >= 4 && std::memcmp(bytes, "GIF8", 4) == 0) return ImageKind::GIF;
    if (size >= 4 && bytes[0] == 0x89 && std::memcmp(bytes + 1, "PNG", 3) == 0) return ImageKind::PNG;
    return ImageKind::Unknown;
}

bool Image_Decode(ImageKind kind, const uint8_t* bytes, size_t size, const ImageLoadFn& load) {
    int width = 0;
    int height = 0;
    if (kind == ImageKind::PNG) {
        const uint32_t* pixels = ReadPNG(bytes, size, width, height);
        const bool ok = pixels && load(pixels, width, height);
        ReadPNG_Free();
        return ok;
    }
    uint32_t* pixels = nullptr;
    if (kind == ImageKind::JPEG) pixels = JPEG_Decode(bytes, size, width, height);
    if (kind == ImageKind::GIF) pixels = GIF_Decode(bytes, size, width, height);
    const bool ok = pixels && load(pixels, width, height);
    MEM_FREE(pixels);
    return ok;
}

bool Image_IsURL(const char* name) {
    return name && (std::strncmp(name, "http://", 7) == 0 || std::strncmp(name, "https://", 8) == 0);
}

void Image_SetHttpGet(HttpGetService service) {
    g_httpGet = service;
}

void Image_Download(const char* url, int32_t kind, ImageDownloadDone done, ImageDownloadFree free, void* record) {
    if (g_httpGet) {
        g_httpGet(url, kind, done, free, record);
        return;
    }
    if (free) free(record);
}

int32_t Image_DownloadMap(const char* url, int32_t index, int32_t httpStatus, int32_t size) {
    return CreateDsMap({
        {"filename", 0, url ? url : ""},
        {"id", static_cast<double>(index), nullptr},
        {"http_status", static_cast<double>(httpStatus), nullptr},
        {"status", size < 1 ? -1.0 : 0.0, nullptr},
    });
}

void Image_LoadDownload(const char* url, int32_t httpStatus, const uint8_t* data, int32_t size,
                        const DownloadLoadFn& load) {
    if (httpStatus != 200 || size <= 0 || !data) return;
    const ImageKind kind = Image_Sniff(data, static_cast<size_t>(size));
    if (kind == ImageKind::Unknown || !load(kind, data, static_cast<size_t>(size)))
        DebugConsole->Output("Failed to decode data in Sprite_Add %s\n", url ? url : "");
}

bool Image_SavePNG(IBitmap& image, const char* name) {
    if (!name || !*name || image.GetFormat() != BITMAP_FORMAT_32BIT) return false;
    int32_t pitch = 0;
    uint8_t* pixels = image.Lock(0, nullptr, &pitch);
    if (!pixels || pitch != image.GetWidth() * 4) return false;
    const bool written = write_png_file(name, pixels, image.GetWidth(), image.GetHeight());
    image.Unlock(pixels);
    return written;
}
