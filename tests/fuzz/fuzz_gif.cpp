// Feeds arbitrary bytes to the GIF decoder. A decode that succeeds must give a readable canvas of the
// logical screen's size whose pixels are 0, transparent or opaque.
#include "core/memory.h"
#include "fuzz_pixels.h"
#include "fuzz_quiet.h"
#include "graphics/image/image_decode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    uint32_t* pixels = GIF_Decode(data, size, width, height);
    if (pixels == nullptr) return 0;
    FuzzCheckPixels(pixels, width, height, [](uint32_t p) { return (p >> 24) == 0 || (p >> 24) == 0xFF; });
    MEM_FREE(pixels);
    return 0;
}
