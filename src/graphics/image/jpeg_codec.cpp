// JPEG decoding over libjpeg (the IJG 6b interface). libjpeg reports a fatal error through the error
// manager's exit routine, which long-jumps back here; everything the decode holds lives in one record
// outside the jumping frame.
#include "core/memory.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/image_decode.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// The most libjpeg may allocate for one decode (a progressive image keeps all its coefficients); a larger
// need fails the decode instead of exhausting memory.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;

struct JPEGErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

// The whole image is in memory. Past its end the source supplies an end-of-image marker, as a file
// whose marker is missing is otherwise whole; when libjpeg then warns that data it needed was not there,
// the image was cut short and the decode fails.
struct JPEGSource {
    jpeg_source_mgr pub;
    bool ranOut;
};

struct JPEGDecode {
    jpeg_decompress_struct cinfo;
    JPEGErrorManager error;
    JPEGSource source;
    uint8_t* scanline;
    uint32_t* pixels;
};

void JPEG_ErrorExit(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<JPEGErrorManager*>(cinfo->err)->jump, 1);
}

// Messages are not shown; warnings are counted by the library.
void JPEG_OutputMessage(j_common_ptr /*cinfo*/) {}

void JPEG_InitSource(j_decompress_ptr /*cinfo*/) {}
void JPEG_TermSource(j_decompress_ptr /*cinfo*/) {}

boolean JPEG_FillInput(j_decompress_ptr cinfo) {
    static const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};
    auto* source = reinterpret_cast<JPEGSource*>(cinfo->src);
    source->ranOut = true;
    source->pub.next_input_byte = kEndOfImage;
    source->pub.bytes_in_buffer = sizeof kEndOfImage;
    return TRUE;
}

void JPEG_SkipInput(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* source = reinterpret_cast<JPEGSource*>(cinfo->src);
    if (static_cast<size_t>(count) > source->pub.bytes_in_buffer) {
        JPEG_FillInput(cinfo);
        return;
    }
    source->pub.next_input_byte += count;
    source->pub.bytes_in_buffer -= static_cast<size_t>(count);
}

uint32_t ToWord(const uint8_t* sample, int components) {
    switch (components) {
    case 1:
        return 0xFF000000u | static_cast<uint32_t>(sample[0]) * 0x010101u;
    case 3:
        return 0xFF000000u | static_cast<uint32_t>(sample[0]) << 16 | static_cast<uint32_t>(sample[1]) << 8 |
               sample[2];
    case 4: {
        // Inverted CMYK, as Adobe writes it: each stored ink times the stored black gives the channel.
        const uint32_t k = sample[3];
        return 0xFF000000u | (sample[0] * k / 255) << 16 | (sample[1] * k / 255) << 8 | (sample[2] * k / 255);
    }
    default:
        return 0;
    }
}

bool Decode(JPEGDecode* decode, size_t size, int& width, int& height) {
    j_decompress_ptr cinfo = &decode->cinfo;
    if (setjmp(decode->error.jump)) return false;
    jpeg_create_decompress(cinfo);
    cinfo->src = &decode->source.pub;
    cinfo->mem->max_memory_to_use = kMaxDecoderMemory;

    int header;
    do {
        header = jpeg_read_header(cinfo, TRUE);
    } while (header == JPEG_HEADER_TABLES_ONLY);
    if (header == JPEG_SUSPENDED) return false;
    if (cinfo->num_components == 1)
        cinfo->out_color_space = JCS_GRAYSCALE;
    else if (cinfo->num_components == 4)
        cinfo->out_color_space = JCS_CMYK;

    // Huffman-coded data spends at least one bit on every 8 x 8 block of the first component, so data
    // too short for the blocks the header claims is cut short: it fails before anything is allocated.
    const uint64_t blocks = (static_cast<uint64_t>(cinfo->image_width) + 7) / 8 * ((cinfo->image_height + 7) / 8);
    if (!cinfo->arith_code && blocks > static_cast<uint64_t>(size) * 8) return false;
    jpeg_calc_output_dimensions(cinfo);
    size_t bytes = 0;
    size_t lineBytes = 0;
    if (!Image_CanvasBytes(cinfo->output_width, cinfo->output_height, bytes) ||
        !Bitmap_BlockBytes(cinfo->output_width, cinfo->output_components, 1, 0, lineBytes))
        return false;
    jpeg_start_decompress(cinfo);
    decode->scanline = static_cast<uint8_t*>(MEM_ALLOC_RAW(lineBytes));
    decode->pixels = static_cast<uint32_t*>(MEM_ALLOC_RAW(bytes));
    const int components = cinfo->output_components;
    while (cinfo->output_scanline < cinfo->output_height) {
        uint32_t* row = decode->pixels + static_cast<size_t>(cinfo->output_scanline) * cinfo->output_width;
        JSAMPROW line = decode->scanline;
        if (jpeg_read_scanlines(cinfo, &line, 1) != 1) return false;
        if (decode->source.ranOut && decode->error.pub.num_warnings > 0) return false;
        for (JDIMENSION x = 0; x < cinfo->output_width; ++x)
            row[x] = ToWord(decode->scanline + static_cast<size_t>(x) * components, components);
    }
    jpeg_finish_decompress(cinfo);
    if (decode->source.ranOut && decode->error.pub.num_warnings > 0) return false;
    width = static_cast<int>(cinfo->output_width);
    height = static_cast<int>(cinfo->output_height);
    return true;
}

} // namespace

uint32_t* JPEG_Decode(const uint8_t* bytes, size_t size, int& width, int& height) {
    if (bytes == nullptr) return nullptr;
    auto* decode = new JPEGDecode{};
    decode->cinfo.err = jpeg_std_error(&decode->error.pub);
    decode->error.pub.error_exit = JPEG_ErrorExit;
    decode->error.pub.output_message = JPEG_OutputMessage;
    decode->source.pub.init_source = JPEG_InitSource;
    decode->source.pub.fill_input_buffer = JPEG_FillInput;
    decode->source.pub.skip_input_data = JPEG_SkipInput;
    decode->source.pub.resync_to_restart = jpeg_resync_to_restart;
    decode->source.pub.term_source = JPEG_TermSource;
    decode->source.pub.next_input_byte = bytes;
    decode->source.pub.bytes_in_buffer = size;

    uint32_t* pixels = nullptr;
    if (Decode(decode, size, width, height)) {
        pixels = decode->pixels;
        decode->pixels = nullptr;
    }
    jpeg_destroy_decompress(&decode->cinfo);
    MEM_FREE(decode->scanline);
    MEM_FREE(decode->pixels);
    delete decode;
    return pixels;
}
