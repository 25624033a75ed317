// PNG decoding and writing over libpng. libpng reports errors by a long jump back into the function that
// set it up, so every resource of a decode or a write is kept in a record outside that function's frame
// and released by its owner afterwards.
#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/image_decode.h"

#include <png.h>

#include <climits>
#include <csetjmp>
#include <cstring>

namespace {

struct PNGDecodeState {
    const uint8_t* source;
    size_t size;
    size_t position;
    int width;
    int height;
    png_structp png;
    png_infop info;
    png_infop endInfo;
    uint8_t* pixels;
    png_bytep* rows;
};

PNGDecodeState* g_heldPNG = nullptr;

void ReadPNG_ReadData(png_structp png, png_bytep out, png_size_t count) {
    auto* state = static_cast<PNGDecodeState*>(png_get_io_ptr(png));
    if (count > state->size - state->position) png_error(png, "read past the end of the data");
    std::memcpy(out, state->source + state->position, count);
    state->position += count;
}

// libpng's own messages go to the console, not to the standard error; an error ends the decode.
void PNGError(png_structp png, png_const_charp message) {
    DebugConsole->Output("libpng error: %s\n", message);
    png_longjmp(png, 1);
}
void PNGWarning(png_structp, png_const_charp message) {
    DebugConsole->Output("libpng warning: %s\n", message);
}

// Decodes into the state; false on any failure, leaving what was made for ReadPNG_Free.
bool ReadPNG_Decode(PNGDecodeState* state) {
    if (state->size < 8 || png_sig_cmp(state->source, 0, 8) != 0) {
        DebugConsole->Output("Not a PNG\n");
        return false;
    }
    state->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PNGError, PNGWarning);
    if (state->png == nullptr) return false;
    state->info = png_create_info_struct(state->png);
    state->endInfo = png_create_info_struct(state->png);
    if (state->info == nullptr || state->endInfo == nullptr) return false;
    if (setjmp(png_jmpbuf(state->png))) return false;

    png_set_read_fn(state->png, state, ReadPNG_ReadData);
    state->position = 8;
    png_set_sig_bytes(state->png, 8);
    png_read_info(state->png, state->info);

    // Every colour type and depth comes out as bytes B, G, R, A. The transparency chunk gives alpha to
    // palette images only; gray and RGB pixels stay opaque.
    const int type = png_get_color_type(state->png, state->info);
    const int depth = png_get_bit_depth(state->png, state->info);
    const bool palette = type == PNG_COLOR_TYPE_PALETTE;
    const bool gray = type == PNG_COLOR_TYPE_GRAY;
    const bool grayAlpha = type == PNG_COLOR_TYPE_GRAY_ALPHA;
    const bool rgb = type == PNG_COLOR_TYPE_RGB;
    const bool rgbAlpha = type == PNG_COLOR_TYPE_RGB_ALPHA;
    const bool paletteAlpha = palette && png_get_valid(state->png, state->info, PNG_INFO_tRNS) != 0;
    if (depth == 16) png_set_strip_16(state->png);
    if (gray && depth < 8) png_set_expand_gray_1_2_4_to_8(state->png);
    if (gray || grayAlpha) png_set_gray_to_rgb(state->png);
    if (rgb || gray || (palette && !paletteAlpha)) png_set_filler(state->png, 0xFF, PNG_FILLER_AFTER);
    if (palette) png_set_palette_to_rgb(state->png);
    if (rgb || rgbAlpha || palette) png_set_bgr(state->png);
    png_set_interlace_handling(state->png);
    png_read_update_info(state->png, state->info);

    const png_uint_32 width = png_get_image_width(state->png, state->info);
    const png_uint_32 height = png_get_image_height(state->png, state->info);
    const size_t rowBytes = png_get_rowbytes(state->png, state->info);
    size_t bytes = 0;
    size_t rowTable = 0;
    if (rowBytes != static_cast<size_t>(width) * 4 || !Image_CanvasBytes(width, height, bytes) ||
        !Bitmap_BlockBytes(height, 1, sizeof(png_bytep), 0, rowTable))
        return false;
    state->pixels = static_cast<uint8_t*>(MEM_ALLOC_RAW(bytes));
    state->rows = static_cast<png_bytep*>(MEM_ALLOC(rowTable));
    for (png_uint_32 y = 0; y < height; ++y)
        state->rows[y] = state->pixels + y * rowBytes;
    png_read_image(state->png, state->rows);
    png_read_end(state->png, state->endInfo);
    state->width = static_cast<int>(width);
    state->height = static_cast<int>(height);
    return true;
}

// The file is encoded into memory first and then written whole, so that a failed encode leaves any old
// file as it was.
struct PNGWriteJob {
    uint8_t* bytes;
    size_t size;
    size_t capacity;
    png_structp png;
    png_infop info;
    png_bytep* rows;
    const char* stage; // the message of the step under way
};

void WritePNG_Data(png_structp png, png_bytep data, png_size_t count) {
    auto* job = static_cast<PNGWriteJob*>(png_get_io_ptr(png));
    if (count > job->capacity - job->size) {
        size_t capacity = job->capacity ? job->capacity : 65536;
        while (capacity - job->size < count) {
            if (capacity > MemoryManager::kMaxBlockSize / 2) png_error(png, "the file is too large");
            capacity *= 2;
        }
        job->bytes = static_cast<uint8_t*>(MEM_REALLOC(job->bytes, capacity));
        job->capacity = capacity;
    }
    std::memcpy(job->bytes + job->size, data, count);
    job->size += count;
}

void WritePNG_Flush(png_structp) {}

bool WritePNG(PNGWriteJob* job, const uint8_t* pixels, int width, int height) {
    if (setjmp(png_jmpbuf(job->png))) {
        DebugConsole->Output("%s", job->stage);
        return false;
    }
    job->stage = "[write_png_file] Error during init_io\n";
    png_set_write_fn(job->png, job, WritePNG_Data, WritePNG_Flush);

    job->stage = "[write_png_file] Error during writing header\n";
    png_set_IHDR(job->png, job->info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(job->png, job->info);

    job->stage = "[write_png_file] Error during writing bytes";
    size_t bytes = 0;
    size_t rowTable = 0;
    if (pixels == nullptr || !Bitmap_BlockBytes(width, height, 4, 0, bytes) ||
        !Bitmap_BlockBytes(height, 1, sizeof(png_bytep), 0, rowTable))
        png_error(job->png, "no pixels");
    job->rows = static_cast<png_bytep*>(MEM_ALLOC(rowTable));
    for (int y = 0; y < height; ++y)
        job->rows[y] = const_cast<uint8_t*>(pixels) + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
    png_write_image(job->png, job->rows);

    job->stage = "[write_png_file] Error during end of write";
    png_write_end(job->png, nullptr);
    return true;
}

} // namespace

uint32_t* ReadPNG(const uint8_t* bytes, size_t size, int& width, int& height) {
    if (g_heldPNG == nullptr) {
        g_heldPNG = new PNGDecodeState{};
        g_heldPNG->source = bytes;
        g_heldPNG->size = bytes == nullptr ? 0 : size;
        if (!ReadPNG_Decode(g_heldPNG)) {
            DebugConsole->Output("ReadPNG :: a PNG error occured\n");
            ReadPNG_Free();
            width = -1;
            height = -1;
            return nullptr;
        }
        // The source belongs to the caller and is not read again.
        g_heldPNG->source = nullptr;
        g_heldPNG->size = 0;
    }
    width = g_heldPNG->width;
    height = g_heldPNG->height;
    return reinterpret_cast<uint32_t*>(g_heldPNG->pixels);
}

void ReadPNG_Free() {
    if (g_heldPNG == nullptr) return;
    if (g_heldPNG->png != nullptr)
        png_destroy_read_struct(&g_heldPNG->png, g_heldPNG->info ? &g_heldPNG->info : nullptr,
                                g_heldPNG->endInfo ? &g_heldPNG->endInfo : nullptr);
    MEM_FREE(g_heldPNG->pixels);
    MEM_FREE(g_heldPNG->rows);
    delete g_heldPNG;
    g_heldPNG = nullptr;
}

bool write_png_file(const char* name, const uint8_t* pixels, int width, int height) {
    PNGWriteJob job{};
    bool encoded = false;
    job.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PNGError, PNGWarning);
    if (job.png == nullptr) {
        DebugConsole->Output("[write_png_file] png_create_write_struct failed\n");
    } else {
        job.info = png_create_info_struct(job.png);
        if (job.info == nullptr)
            DebugConsole->Output("[write_png_file] png_create_info_struct failed\n");
        else
            encoded = WritePNG(&job, pixels, width, height);
        png_destroy_write_struct(&job.png, job.info ? &job.info : nullptr);
    }
    MEM_FREE(job.rows);
    const bool written =
        encoded && job.size <= INT_MAX && LoadSave_WriteFile(name, job.bytes, static_cast<int>(job.size));
    MEM_FREE(job.bytes);
    return written;
}
