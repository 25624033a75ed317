// Feeds arbitrary bytes to the BMP reader of TBitmap, then turns whatever it read into working images
// with and without alpha, which read every row through the image's lock.
#include "core/stream.h"
#include "fuzz_quiet.h"
#include "graphics/image/bitmap.h"
#include "graphics/image/bitmap32.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CStream stream(static_cast<int64_t>(size));
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TBitmap* bitmap = TBitmap::Create();
    bitmap->Load(&stream);
    if (bitmap->Block() != nullptr) {
        delete CBitmap32::CBitmap32_Choose(*bitmap, true, true, false);
        delete CBitmap32::CBitmap32_Choose(*bitmap, false, false, true);
        TBitmap* copy = TBitmap::Create();
        copy->Assign(*bitmap);
        delete copy;
    }
    delete bitmap;
    return 0;
}
