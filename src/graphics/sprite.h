// Sprites and the sprite table as the world reads them: the table queries, the fields of a sprite that
// instances use for their bounding box and origin, drawing and the precise collision tests.
//
// Where the callers' list and the sprite code's own description differ, these follow the sprite code:
// the point test does not read the instance's bounding box (its caller has compared it), and
// Sprite_Replace takes the precise flag as well.
#pragma once

#include "graphics/rect.h"

#include <cstdint>
#include <span>

class CBitmap32;
struct TPageEntry;

struct SpriteMask {
    uint32_t size;  // width x height bytes
    uint8_t* bytes; // 1 = solid
};

class CSprite {
public:
    CSprite() = default;
    virtual ~CSprite();
    CSprite(const CSprite&) = delete;
    CSprite& operator=(const CSprite&) = delete;

    void Draw(int frame, float x, float y, float xscale, float yscale, float angle, uint32_t colour,
              float alpha);
    void DrawSimple(int frame, float x, float y);

    // Collision of the two placed masks; positions are rounded, frames are image indexes truncated.
    bool PreciseCollision(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                          float angle, CSprite* other, int otherFrame, const IntRect& otherBox, int otherX,
                          int otherY, float otherXscale, float otherYscale, float otherAngle);
    // The caller has compared the point with the instance's bounding box; box is not read.
    bool PreciseCollisionPoint(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                               float angle, float px, float py);
    bool PreciseCollisionRectangle(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                   float angle, const IntRect& rect);
    bool PreciseCollisionEllipse(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                                 float angle, const IntRect& rect);
    bool PreciseCollisionLine(int frame, const IntRect& box, int x, int y, float xscale, float yscale,
                              float angle, int x1, int y1, int x2, int y2);

    int32_t bboxMode = 0; // 0 automatic, 1 full image, 2 manual
    IntRect bbox{0, 0, 0, 0};
    int32_t frameCount = 0;
    int32_t width = 1;
    int32_t height = 1;
    int32_t xOrigin = 0;
    int32_t yOrigin = 0;
    int32_t cullRadius = 0;
    uint8_t precise = 1;
    uint8_t hasMasks = 0;
    uint8_t transparent = 1;
    uint8_t smooth = 0;
    uint8_t preload = 1;
    uint8_t ownsPageEntries = 0;
    int32_t ownedPageEntryCount = 0;
    int32_t maskCount = 0;
    SpriteMask* masks = nullptr;
    int32_t localBitmapCount = 0;
    CBitmap32** localBitmaps = nullptr;
    int32_t textureCount = 0;
    int32_t* textures = nullptr;
    TPageEntry** pageEntries = nullptr;
    const char* name = nullptr;
    int32_t index = 0;
};

// Empties the sprite table before the data file is read.
void Sprite_Clear();
// The "SPRT" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Sprite_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
void Sprite_InitTextures();
bool Sprite_Exists(int index);
// Appends a slot with an empty sprite (no frames) and gives its index.
int Sprite_AddEmpty();
// The sprite of a slot; null for an empty slot or an index outside the table.
CSprite* Sprite_Data(int index);
bool Sprite_Replace(int index, const char* name, int frameCount, bool precise, bool removeBack, bool smooth,
                    bool preload, int xOrigin, int yOrigin);
void Sprite_Free();
