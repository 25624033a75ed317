// Feeds arbitrary bytes to the JPEG decoder. A decode that succeeds must give width x height readable,
// opaque pixels (or zero words for component counts other than 1, 3 and 4).
#include "core/memory.h"
#include "fuzz_pixels.h"
#include "fuzz_quiet.h"
#include "graphics/image/image_decode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    uint32_t* pixels = JPEG_Decode(data, size, width, height);
    if (pixels == nullptr) return 0;
    FuzzCheckPixels(pixels, width, height, [](uint32_t p) { return p == 0 || (p >> 24) == 0xFF; });
    MEM_FREE(pixels);
    return 0;
}
