// Fonts and the font table. A font is a face name, size and style, a table of glyph records sorted by
// character, and the texture that holds the glyph images: a rectangle of a texture page (fonts of the
// data file and the built-in font), a texture of its own (font files, through the glyph cache), or the
// frames of a sprite (sprite fonts).
#pragma once

#include "graphics/frame/texture.h"

#include <cstdint>
#include <string>
#include <vector>

class CDataView;
struct IFFChunk;
typedef struct FT_FaceRec_* FT_Face;

// One glyph. The "FONT" chunk holds it in 16 bytes, its character a u16 followed by the fields below in
// their order; in memory the character is a code point.
struct FontGlyph {
    uint32_t character;
    // Left and top of the glyph image, relative to the page entry's source rectangle (or to the font's own
    // texture). Both 0xFFFF: a font-file glyph not in the glyph cache.
    uint16_t x;
    uint16_t y;
    int16_t w; // for a sprite font: the frame index
    int16_t h;
    int16_t shift;  // pen advance after the character
    int16_t offset; // from the pen to the left of the quad
    int16_t reserved;
};

constexpr uint16_t kGlyphNotResident = 0xFFFF;

struct GlyphCacheCell {
    FontGlyph* glyph; // null when empty
    int x, y;
};

// The texture into which a font-file font renders its glyphs when first drawn: equal cells reused in the
// order in which they were filled.
class GlyphCache {
public:
    ~GlyphCache() { Clear(); }
    // Makes a width x height texture and cuts it into cells of the face's size; no cells when one does not
    // fit. False when no texture could be made.
    bool Init(int width, int height, FT_Face face);
    // Puts the glyph into the least recently filled cell and uploads the cell; the cell, null when there
    // are no cells.
    GlyphCacheCell* Render(FontGlyph* glyph);
    // True when rendering a glyph now overwrites a cell that was drawn since the batch was last flushed.
    bool NextCellPending() const;
    // Notes that the glyph's cell is used by vertices in the batch.
    void MarkDrawn(const FontGlyph* glyph);
    // Frees every cell and the texture.
    void Clear();

    int TextureId() const { return m_textureId; }
    int CellCount() const { return static_cast<int>(m_cells.size()); }

private:
    struct Cell : GlyphCacheCell {
        uint64_t drawnInBatch; // the batch serial when last drawn, 0 for never
        int prev, next;        // towards the head and the tail
    };
    Cell* CellOf(const FontGlyph* glyph);

    std::vector<Cell> m_cells; // in the order they were made
    int m_head = -1;           // most recently filled
    int m_tail = -1;           // least recently filled: the next to be reused
    TDeviceTexture* m_texture = nullptr;
    int m_textureId = -1;
    FT_Face m_face = nullptr;
    int m_cellWidth = 0, m_cellHeight = 0;
    int m_columns = 0;
    int m_gapX = 2, m_gapY = 2;
};

class CFontQN {
public:
    CFontQN() = default;
    virtual ~CFontQN();
    CFontQN(const CFontQN&) = delete;
    CFontQN& operator=(const CFontQN&) = delete;

    // The record at offset record of the file (checked to lie inside chunk); false with a message on the
    // debug console when the record or anything it names lies outside.
    bool LoadFromChunk(const CDataView& file, const IFFChunk& chunk, uint32_t record);
    // The built-in font over a texture: per character first..last the four bytes {x, y, w, h}.
    static CFontQN* CFontQN_Builtin(const uint8_t (*table)[4], int first, int last, int texture);
    // A font from a font file of the save area or the game folder; the file name is the face name.
    static CFontQN* CFontQN_File(const char* fileName, int size, bool bold, bool italic, int first, int last);
    // A font drawing frame i of the sprite for the i-th character of the UTF-8 text.
    static CFontQN* CFontQN_Sprite(int sprite, const char* text, bool proportional, int separation);
    // The same for frame i drawing chars[i].
    static CFontQN* CFontQN_Sprite(int sprite, const std::vector<uint32_t>& chars, bool proportional,
                                   int separation);

    void Clear();
    // The glyph of a character, null when the font has none; a font-file glyph is first put into the
    // glyph cache.
    FontGlyph* FindGlyph(uint32_t c);
    int GetShift(uint32_t c);
    // Sum of the shifts of the characters up to the terminating 0.
    int TextWidth(const uint32_t* text);
    int GetHeight() const { return m_height; }
    // The page-entry handle when the font has a page entry, otherwise its own texture id.
    int64_t GetTexture();
    void CreateTexture();
    void FreeTexture();

    const char* GetName() const { return m_faceName.empty() ? nullptr : m_faceName.c_str(); }
    int GetSize() const { return m_size; }
    bool GetBold() const { return m_bold; }
    bool GetItalic() const { return m_italic; }
    int GetFirst() const { return m_first; }
    int GetLast() const { return m_last; }
    int GetCharset() const { return m_charset; }
    int GetAntialias() const { return m_antialias; }
    int GetSprite() const { return m_sprite; }
    float GetScaleX() const { return m_scaleX; }
    float GetScaleY() const { return m_scaleY; }
    const TPageEntry* GetPageEntry() const { return m_pageEntry; }
    int GetGlyphCount() const { return static_cast<int>(m_glyphs.size()); }
    const FontGlyph& GlyphAt(int i) const { return m_glyphs[static_cast<size_t>(i)]; }
    int GetOwnTexture() const { return m_texture; }
    GlyphCache& Cache() { return m_cache; }

    // One line of characters (code points up to the terminating 0) at (x, y); colours are script colours.
    void Draw(float x, float y, const uint32_t* line, uint32_t colour, float alpha);
    void DrawTransformed(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                         uint32_t colour, float alpha);
    void DrawColour(float x, float y, const uint32_t* line, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                    float alpha);
    void DrawTransformedColour(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                               uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4, float alpha);

private:
    void LoadFontFile();
    void SortGlyphs();
    void UpdateHeight();
    // The glyph of c by binary search, resident or not.
    FontGlyph* LookUp(uint32_t c);
    // The glyph of c for a quad about to be written: when making it resident would overwrite a cell drawn
    // since the last flush, restart is called first to send the batch.
    template <typename Restart> FontGlyph* GlyphForQuad(uint32_t c, Restart restart);
    template <typename Visit>
    void WalkGlyphs(float x, float y, const uint32_t* line, float xscale, double s, double c, Visit visit);
    int DrawTextureId() const;
    void DrawQuads(float x, float y, const uint32_t* line, float xscale, float yscale, float angle,
                   uint32_t colour, float alpha);
    void DrawGradient(float x, float y, const uint32_t* line, float xscale, float yscale, float angle, uint32_t c1,
                      uint32_t c2, uint32_t c3, uint32_t c4, float alpha);

    std::string m_faceName;
    int m_size = 12;
    bool m_bold = false;
    bool m_italic = false;
    int m_charset = 0;
    int m_antialias = 3;
    int m_first = 32;
    int m_last = 128;
    int m_sprite = -1;
    int m_bitmapWidth = 0, m_bitmapHeight = 0;
    int m_height = 0;
    int m_texture = -1;
    const TPageEntry* m_pageEntry = nullptr;
    TPageEntry m_ownEntry{}; // the built-in font's entry
    std::vector<FontGlyph> m_glyphs;
    float m_scaleX = 1.0f, m_scaleY = 1.0f;
    float m_margin = 0.5f;
    std::vector<uint8_t> m_fileBytes;
    FT_Face m_face = nullptr;
    GlyphCache m_cache;
};

// The font table's state, reached through Font_State().
struct FontState {
    // The character codes of the 8-bit codes 0..255, read from the end of the "FONT" chunk; null
    // without one.
    const uint16_t* FontCharMap = nullptr;
};

inline FontState& Font_State() {
    static FontState state;
    return state;
}

// Initialises FreeType (once) and empties the font table.
void Font_Init();
// The "FONT" chunk loader: the records named by the chunk's offset list; false with a message when one
// is damaged.
bool Font_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool Font_Exists(int index);
// The name, "<undefined>" when the font does not exist.
const char* Font_GetName(int index);
int Font_Find(const char* name);
// The font of a slot, null outside the table or for an empty slot.
CFontQN* Font_Get(int index);
int Font_Count();
int Font_Add(const char* faceName, int size, bool bold, bool italic, int first, int last);
int Font_AddSprite(int sprite, int first, bool proportional, int separation);
int Font_AddSpriteExt(int sprite, const char* text, bool proportional, int separation);
bool Font_Replace(int index, const char* faceName, int size, bool bold, bool italic, int first, int last);
bool Font_ReplaceSprite(int index, int sprite, int first, bool proportional, int separation);
bool Font_ReplaceSpriteExt(int index, int sprite, const char* text, bool proportional, int separation);
bool Font_Delete(int index);
void Font_InitTextures();
void Font_FreeTextures();
void Font_Free();

// The FreeType library, null when it could not be started.
typedef struct FT_LibraryRec_* FT_Library;
FT_Library Font_FreeType();
