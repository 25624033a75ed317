// GIF decoding over giflib: the first image, placed on a canvas of the logical screen's size.
#include "core/memory.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/image_decode.h"

#include <gif_lib.h>

#include <cstring>

namespace {

struct GIFSource {
    const uint8_t* data;
    size_t size;
    size_t position;
};

// Copies at most what is left; giflib takes a short read as the end of the data.
int GIF_ReadData(GifFileType* gif, GifByteType* out, int count) {
    auto* source = static_cast<GIFSource*>(gif->UserData);
    if (count <= 0) return 0;
    size_t n = static_cast<size_t>(count);
    if (n > source->size - source->position) n = source->size - source->position;
    std::memcpy(out, source->data + source->position, n);
    source->position += n;
    return static_cast<int>(n);
}

// Passes over the compressed data of an image that is not decoded.
bool SkipImage(GifFileType* gif) {
    int codeSize = 0;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &codeSize, &block) == GIF_ERROR) return false;
    while (block != nullptr) {
        if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    }
    return true;
}

// Reads the current image's rows (interlaced ones in their four passes) and paints them, clipped, onto
// the canvas. An index outside the colour map gives a 0 pixel; the transparent index keeps its colour
// with alpha 0.
bool ReadFirstImage(GifFileType* gif, uint32_t* canvas, int transparent) {
    const GifImageDesc& image = gif->Image;
    const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif->SColorMap;
    if (map == nullptr || map->Colors == nullptr) return false;
    if (image.Width <= 0 || image.Height <= 0) return SkipImage(gif);

    auto* line = static_cast<GifPixelType*>(MEM_ALLOC_RAW(static_cast<size_t>(image.Width)));
    static const int kPassStart[4] = {0, 4, 2, 1};
    static const int kPassStep[4] = {8, 8, 4, 2};
    const int passes = image.Interlace ? 4 : 1;
    bool ok = true;
    for (int pass = 0; pass < passes && ok; ++pass) {
        const int start = image.Interlace ? kPassStart[pass] : 0;
        const int step = image.Interlace ? kPassStep[pass] : 1;
        for (int row = start; row < image.Height && ok; row += step) {
            if (DGifGetLine(gif, line, image.Width) == GIF_ERROR) {
                ok = false;
                break;
            }
            const int64_t y = static_cast<int64_t>(image.Top) + row;
            if (y < 0 || y >= gif->SHeight) continue;
            uint32_t* target = canvas + y * gif->SWidth;
            for (int column = 0; column < image.Width; ++column) {
                const int64_t x = static_cast<int64_t>(image.Left) + column;
                if (x < 0 || x >= gif->SWidth) continue;
                const int index = line[column];
                if (index >= map->ColorCount) {
                    target[x] = 0;
                    continue;
                }
                const GifColorType& colour = map->Colors[index];
                const uint32_t alpha = index == transparent ? 0u : 0xFF000000u;
                target[x] = alpha | static_cast<uint32_t>(colour.Red) << 16 |
                            static_cast<uint32_t>(colour.Green) << 8 | colour.Blue;
            }
        }
    }
    MEM_FREE(line);
    return ok;
}

// Walks the whole file, as a file is only accepted when it reads to its end: the first image is
// decoded, the graphic control before it gives the transparent index, later images are passed over.
bool ReadGIF(GifFileType* gif, uint32_t*& canvas) {
    size_t bytes = 0;
    if (!Image_CanvasBytes(gif->SWidth, gif->SHeight, bytes)) return false;
    int transparent = -1;
    bool haveImage = false;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return false;
        switch (type) {
        case IMAGE_DESC_RECORD_TYPE:
            if (DGifGetImageDesc(gif) == GIF_ERROR) return false;
            if (haveImage) {
                if (!SkipImage(gif)) return false;
                break;
            }
            canvas = static_cast<uint32_t*>(MEM_ALLOC(bytes));
            if (!ReadFirstImage(gif, canvas, transparent)) return false;
            haveImage = true;
            break;
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return false;
            if (!haveImage && code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] == 4 &&
                (block[1] & 1) != 0)
                transparent = block[4];
            while (block != nullptr) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
            }
            break;
        }
        case TERMINATE_RECORD_TYPE:
            return haveImage;
        default:
            return false;
        }
    }
}

} // namespace

uint32_t* GIF_Decode(const uint8_t* bytes, size_t size, int& width, int& height) {
    if (bytes == nullptr) return nullptr;
    GIFSource source{bytes, size, 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, GIF_ReadData, &error);
    if (gif == nullptr) return nullptr;
    uint32_t* canvas = nullptr;
    const bool ok = ReadGIF(gif, canvas);
    if (ok) {
        width = gif->SWidth;
        height = gif->SHeight;
    } else {
        MEM_FREE(canvas);
        canvas = nullptr;
    }
    DGifCloseFile(gif, &error);
    return canvas;
}
