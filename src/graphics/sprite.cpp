#include "graphics/sprite.h"

#include "core/memory.h"
#include "graphics/resource_table.h"

namespace {
ResourceTable<CSprite> g_sprites;
} // namespace

// A sprite gets masks, bitmaps and textures only from the loaders and the image code, none of which is
// built yet; the arrays are freed here all the same.
CSprite::~CSprite() {
    for (int32_t i = 0; i < maskCount; ++i)
        MEM_FREE(masks[i].bytes);
    MEM_FREE(masks);
    MEM_FREE(localBitmaps);
    MEM_FREE(textures);
    if (ownsPageEntries) {
        for (int32_t i = 0; i < ownedPageEntryCount; ++i)
            MEM_FREE(pageEntries[i]);
        MEM_FREE(pageEntries);
    }
}

// Drawing goes through the vertex batch, which needs the device.
void CSprite::Draw(int, float, float, float, float, float, uint32_t, float) {}
void CSprite::DrawSimple(int, float, float) {}

// Only a sprite with frames can collide, and frames come from the sprite loader, which is not built.
bool CSprite::PreciseCollision(int, const IntRect&, int, int, float, float, float, CSprite*, int,
                               const IntRect&, int, int, float, float, float) {
    return false;
}

// The single tests: a sprite without masks collides wherever its bounding box does (the caller checked
// the box). Masks are built only by the loader and the mask builder, which are not built yet.
bool CSprite::PreciseCollisionPoint(int, const IntRect&, int, int, float, float, float, float, float) {
    return !hasMasks;
}
bool CSprite::PreciseCollisionRectangle(int, const IntRect&, int, int, float, float, float, const IntRect&) {
    return !hasMasks;
}
bool CSprite::PreciseCollisionEllipse(int, const IntRect&, int, int, float, float, float, const IntRect&) {
    return !hasMasks;
}
bool CSprite::PreciseCollisionLine(int, const IntRect&, int, int, float, float, float, int, int, int, int) {
    return !hasMasks;
}

void Sprite_Clear() {
    g_sprites.Clear([](CSprite* sprite) { delete sprite; });
}

// The sprite records are not read yet: the loader reports that it loaded nothing and the table stays
// empty; the chunk walk goes on.
bool Sprite_Load(std::span<const uint8_t> /*body*/, std::span<const uint8_t> /*file*/) {
    return false;
}

void Sprite_InitTextures() {}

bool Sprite_Exists(int index) {
    return g_sprites.Exists(index);
}

int Sprite_AddEmpty() {
    auto* sprite = new CSprite();
    sprite->index = g_sprites.Append(sprite, nullptr);
    return sprite->index;
}

CSprite* Sprite_Data(int index) {
    return g_sprites.Data(index);
}

// Loading images from files is not built: no sprite is replaced.
bool Sprite_Replace(int, const char*, int, bool, bool, bool, bool, int, int) {
    return false;
}

void Sprite_Free() {
    Sprite_Clear();
}
