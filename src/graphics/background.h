// Backgrounds and the background table as the rooms, tiles and the data-file reader reach them.
#pragma once

#include <cstdint>
#include <span>

class CBitmap32;
struct TPageEntry;

// A plain record (no virtual operations).
class CBackground {
public:
    int32_t GetWidth() const { return width; }
    int32_t GetHeight() const { return height; }

    // Destroys one record: its bitmap, its texture and the record itself. Null is ignored.
    static void Free(CBackground* background);

    void DrawTiled(float x, float y, float xscale, float yscale, bool htiled, bool vtiled, float regionLeft,
                   float regionTop, float regionWidth, float regionHeight, uint32_t colour, float alpha);
    void DrawPart(float left, float top, float partWidth, float partHeight, float x, float y, float xscale,
                  float yscale, uint32_t colour, float alpha);

    int32_t width = 0;
    int32_t height = 0;
    uint8_t transparent = 0;
    uint8_t smooth = 0;
    uint8_t preload = 0;
    int32_t texture = -1;
    CBitmap32* bitmap = nullptr;           // own image, null for a data-file background
    const TPageEntry* pageEntry = nullptr; // not owned
};

// Frees every background record and empties the table (before the data file is read).
void Background_Clear();
// The "BGND" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Background_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
void Background_InitTextures();
bool Background_Exists(int index);
// The background of a slot; null for an empty slot or an index outside the table.
CBackground* Background_Data(int index);
bool Background_Replace(int index, const char* name, bool removeBack, bool smooth, bool preload);
void Background_Free();
