// Feeds arbitrary bytes to a sprite and a background as a finished download: two bytes give the frame
// count and the flags, the rest is the body, whose kind is told by its first bytes. A sprite that loads
// must hold as many frames of its size as it says; a failed load leaves both as they were.
#include "graphics/image/bitmap32.h"
#include "graphics/image/image_load.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const int frames = static_cast<int8_t>(data[0]);
    const uint8_t flags = data[1];
    const bool removeBack = flags & 1, smooth = flags & 2, keepAlpha = flags & 4;
    CSprite sprite;
    CBackground background;
    Image_LoadDownload("http://fuzz", 200, data + 2, static_cast<int32_t>(size - 2),
                       [&](ImageKind kind, const uint8_t* bytes, size_t n) {
                           const bool loaded = sprite.LoadFromImage(kind, bytes, n, frames, flags & 8, removeBack,
                                                                    smooth, 0, 0, keepAlpha);
                           background.LoadFromImage(kind, bytes, n, removeBack, smooth, false, keepAlpha);
                           return loaded;
                       });
    if (sprite.localBitmapCount != sprite.frameCount) __builtin_trap();
    for (int i = 0; i < sprite.localBitmapCount; ++i) {
        const CBitmap32* frame = sprite.localBitmaps[i];
        if (frame->GetWidth() != sprite.width || frame->GetHeight() != sprite.height) __builtin_trap();
    }
    background.Reset();
    return 0;
}
