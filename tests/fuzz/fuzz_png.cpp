// Feeds arbitrary bytes to the PNG decoder. A decode that succeeds must give width x height readable
// pixels; every decode is released before the next.
#include "fuzz_pixels.h"
#include "fuzz_quiet.h"
#include "graphics/image/image_decode.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int width = 0;
    int height = 0;
    const uint32_t* pixels = ReadPNG(data, size, width, height);
    if (pixels != nullptr)
        FuzzCheckPixels(pixels, width, height, [](uint32_t) { return true; });
    else if (width != -1 || height != -1)
        __builtin_trap();
    ReadPNG_Free();
    return 0;
}
