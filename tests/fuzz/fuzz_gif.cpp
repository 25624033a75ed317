// Feeds arbitrary bytes to the GIF decoder. A decode that succeeds must give a readable canvas of the
// logical screen's size whose pixels are 0, transparent or opaque.
#include "core/memory.h"
#include "graphics/image_decode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    uint32_t* pixels = GIF_Decode(data, size, width, height);
    if (pixels == nullptr) return 0;
    if (width <= 0 || height <= 0) __builtin_trap();
    for (int64_t i = 0; i < static_cast<int64_t>(width) * height; ++i) {
        const uint32_t alpha = pixels[i] >> 24;
        if (alpha != 0 && alpha != 0xFF) __builtin_trap();
    }
    MEM_FREE(pixels);
    return 0;
}
