// Feeds arbitrary bytes to the PNG decoder. A decode that succeeds must give width x height readable
// pixels; every decode is released before the next.
#include "graphics/image_decode.h"

#include <cstddef>
#include <cstdint>

namespace {
volatile uint32_t g_sink;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    const uint32_t* pixels = ReadPNG(data, size, width, height);
    if (pixels != nullptr) {
        if (width <= 0 || height <= 0) __builtin_trap();
        uint32_t sum = 0;
        for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) sum += pixels[i];
        g_sink = sum;
    } else if (width != -1 || height != -1) {
        __builtin_trap();
    }
    ReadPNG_Free();
    return 0;
}
