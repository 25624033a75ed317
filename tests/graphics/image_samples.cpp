#include "image_samples.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <gif_lib.h>
#include <jpeglib.h>

namespace {

void AppendPNG(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void FlushPNG(png_structp) {}

int AppendGIF(GifFileType* gif, const GifByteType* data, int size) {
    auto* out = static_cast<Bytes*>(gif->UserData);
    out->insert(out->end(), data, data + size);
    return size;
}

ColorMapObject* MakeMap(const Bytes& triples) {
    if (triples.empty()) return nullptr;
    int count = 2;
    while (count < static_cast<int>(triples.size() / 3)) count *= 2;
    ColorMapObject* map = GifMakeMapObject(count, nullptr);
    for (size_t i = 0; i < triples.size() / 3; ++i)
        map->Colors[i] = GifColorType{triples[i * 3], triples[i * 3 + 1], triples[i * 3 + 2]};
    return map;
}

} // namespace

Bytes EncodePNG(const PNGSample& sample) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) throw std::runtime_error("PNG encoding failed");
    png_set_write_fn(png, &out, AppendPNG, FlushPNG);
    png_set_IHDR(png, info, sample.width, sample.height, sample.bitDepth, sample.colourType,
                 sample.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < sample.palette.size(); i += 3)
        palette.push_back(png_color{sample.palette[i], sample.palette[i + 1], sample.palette[i + 2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!sample.paletteAlpha.empty())
        png_set_tRNS(png, info, sample.paletteAlpha.data(), static_cast<int>(sample.paletteAlpha.size()), nullptr);
    if (sample.grayTransparent >= 0) {
        png_color_16 colour{};
        colour.gray = static_cast<png_uint_16>(sample.grayTransparent);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    const size_t rowBytes = sample.rows.size() / static_cast<size_t>(sample.height);
    std::vector<png_bytep> rows;
    for (int y = 0; y < sample.height; ++y)
        rows.push_back(const_cast<png_bytep>(sample.rows.data()) + y * rowBytes);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

Bytes EncodePNGWords(int w, int h, const std::vector<uint32_t>& argb) {
    PNGSample sample;
    sample.width = w;
    sample.height = h;
    for (uint32_t p : argb)
        sample.rows.insert(sample.rows.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
    return EncodePNG(sample);
}

std::vector<uint32_t> ColumnWords(const std::vector<uint32_t>& colours, int width, int h) {
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
        for (uint32_t c : colours)
            pixels.insert(pixels.end(), static_cast<size_t>(width), c);
    return pixels;
}

Bytes EncodeJPEG(int width, int height, int components, const Bytes& samples) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : (components == 4 ? JCS_CMYK : JCS_RGB);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(samples.data()) +
                       static_cast<size_t>(cinfo.next_scanline) * static_cast<size_t>(width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes EncodeGIF(int screenWidth, int screenHeight, const Bytes& screenMap, const std::vector<GIFFrame>& frames) {
    Bytes out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendGIF, &error);
    EGifSetGifVersion(gif, true);
    ColorMapObject* global = MakeMap(screenMap);
    EGifPutScreenDesc(gif, screenWidth, screenHeight, 8, 0, global);
    for (const GIFFrame& frame : frames) {
        if (frame.transparent >= 0) {
            const GifByteType control[4] = {1, 0, 0, static_cast<GifByteType>(frame.transparent)};
            EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control);
        }
        ColorMapObject* local = MakeMap(frame.localMap);
        EGifPutImageDesc(gif, frame.left, frame.top, frame.width, frame.height, frame.interlaced, local);
        GifFreeMapObject(local);
        std::vector<int> order;
        if (frame.interlaced) {
            const int start[4] = {0, 4, 2, 1};
            const int step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < frame.height; y += step[pass]) order.push_back(y);
        } else {
            for (int y = 0; y < frame.height; ++y) order.push_back(y);
        }
        // giflib masks the line it is given to the map's bits, so it gets a copy.
        Bytes line;
        for (int y : order) {
            line.assign(frame.indexes.begin() + y * frame.width, frame.indexes.begin() + (y + 1) * frame.width);
            EGifPutLine(gif, line.data(), frame.width);
        }
    }
    GifFreeMapObject(global);
    EGifCloseFile(gif, &error);
    return out;
}
