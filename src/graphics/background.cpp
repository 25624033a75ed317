#include "graphics/background.h"

#include "core/memory.h"
#include "graphics/resource_table.h"
#include "graphics/texture.h"

namespace {
ResourceTable<CBackground> g_backgrounds;
} // namespace

// Own bitmaps are made only by the image code, which is not built yet, so a record never holds one.
void CBackground::Free(CBackground* background) {
    if (background == nullptr) return;
    if (background->texture >= 0) Texture_Free(background->texture);
    delete background;
}

// Drawing goes through the vertex batch, which needs the device.
void CBackground::DrawTiled(float, float, float, float, bool, bool, float, float, float, float, uint32_t,
                            float) {}
void CBackground::DrawPart(float, float, float, float, float, float, float, float, uint32_t, float) {}

void Background_Clear() {
    g_backgrounds.Clear(CBackground::Free);
}

// The background records are not read yet: the loader reports that it loaded nothing and the table
// stays empty; the chunk walk goes on.
bool Background_Load(std::span<const uint8_t> /*body*/, std::span<const uint8_t> /*file*/) {
    return false;
}

void Background_InitTextures() {}

bool Background_Exists(int index) {
    return g_backgrounds.Exists(index);
}

CBackground* Background_Data(int index) {
    return g_backgrounds.Data(index);
}

// Loading images from files is not built: no background is replaced.
bool Background_Replace(int, const char*, bool, bool, bool) {
    return false;
}

void Background_Free() {
    Background_Clear();
}
