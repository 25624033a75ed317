#include "graphics/sprite/font.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "core/utf8.h"
#include "data/container.h"
#include "data/data_view.h"
#include "graphics/frame/texture_page.h"
#include "graphics/sprite/resource_table.h"
#include "graphics/sprite/sprite.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

ResourceTable<CFontQN> g_fonts;
uint16_t g_charMap[256];
FT_Library g_freeType = nullptr;

void DestroyFont(CFontQN* font) {
    delete font;
}

// A font's table name: "__newfont" and its index.
char* NewFontName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "__newfont%d", index);
    return String_Duplicate(name);
}

int AppendFont(CFontQN* font) {
    const int index = g_fonts.Count();
    g_fonts.Append(font, NewFontName(index));
    return index;
}

bool ReplaceFont(int index, CFontQN* font) {
    if (index < 0 || index >= g_fonts.Count()) {
        delete font;
        return false;
    }
    delete g_fonts.Swap(index, font);
    return true;
}

// The characters of frames 0.. of a sprite font made from a first code: the character map's entry, or
// the code itself (its low 16 bits) outside 0..255 or without a map (useMap false: always the code itself).
std::vector<uint32_t> FrameCharacters(int sprite, int first, bool useMap) {
    std::vector<uint32_t> chars;
    const CSprite* data = Sprite_Data(sprite);
    if (!data) return chars;
    for (int i = 0; i < data->frameCount; ++i) {
        const int64_t code = static_cast<int64_t>(first) + i;
        if (useMap && Font_State().FontCharMap && code >= 0 && code <= 255)
            chars.push_back(Font_State().FontCharMap[code]);
        else
            chars.push_back(static_cast<uint16_t>(code));
    }
    return chars;
}

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// A glyph record of the "FONT" chunk: eight little-endian u16 fields.
FontGlyph ReadGlyph(const uint8_t* p) {
    const auto s16 = [p](int i) { return static_cast<int16_t>(ReadU16(p + 2 * i)); };
    return FontGlyph{ReadU16(p), ReadU16(p + 2), ReadU16(p + 4), s16(3), s16(4), s16(5), s16(6), s16(7)};
}

} // namespace

// ---- CFontQN ----

CFontQN::~CFontQN() {
    Clear();
    PageEntry_Unregister(&m_ownEntry);
}

void CFontQN::Clear() {
    m_cache.Clear();
    m_faceName.clear();
    m_scaleX = m_scaleY = 1.0f;
    m_size = 12;
    m_bold = m_italic = false;
    m_first = 32;
    m_last = 128;
    m_margin = 0.5f;
    m_sprite = -1;
    m_fileBytes.clear();
    if (m_face) {
        FT_Done_Face(m_face);
        m_face = nullptr;
    }
    FreeTexture();
    m_height = 0;
}

bool CFontQN::LoadFromChunk(const CDataView& file, const IFFChunk& chunk, uint32_t record) {
    constexpr uint32_t kHeaderSize = 44;
    if (!chunk.Holds(record, kHeaderSize)) return false;
    const uint32_t faceOffset = file.WordAt(record + 4);
    bool ok = true;
    const char* face = file.Text(faceOffset, &ok);
    if (!ok) return false;
    const uint32_t entryOffset = file.WordAt(record + 28);
    const TPageEntry* entry = nullptr;
    if (entryOffset != 0) {
        entry = TPage_LoadEntry(file, entryOffset);
        if (!entry) return false;
    }
    const uint32_t count = file.WordAt(record + 40);
    if (!chunk.Holds(static_cast<uint64_t>(record) + kHeaderSize, static_cast<uint64_t>(count) * 4)) return false;
    constexpr uint32_t kGlyphSize = 16;
    std::vector<FontGlyph> glyphs(count);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t at = file.WordAt(static_cast<uint64_t>(record) + kHeaderSize + 4ull * i);
        if (!chunk.Holds(at, kGlyphSize)) return false;
        glyphs[i] = ReadGlyph(file.Data() + at);
    }

    Clear();
    m_pageEntry = entry;
    m_size = static_cast<int32_t>(file.WordAt(record + 8));
    m_bold = file.WordAt(record + 12) != 0;
    m_italic = file.WordAt(record + 16) != 0;
    const uint32_t packed = file.WordAt(record + 20);
    m_first = static_cast<int>(packed & 0xFFFFu);
    if ((packed >> 16) & 0xFFu) m_charset = static_cast<int>((packed >> 16) & 0xFFu);
    if (packed >> 24) m_antialias = static_cast<int>(packed >> 24) - 1;
    m_last = static_cast<int32_t>(file.WordAt(record + 24));
    m_bitmapWidth = entry ? entry->targetWidth : 0;
    m_bitmapHeight = entry ? entry->targetHeight : 0;
    const uint32_t sx = file.WordAt(record + 32), sy = file.WordAt(record + 36);
    std::memcpy(&m_scaleX, &sx, 4);
    std::memcpy(&m_scaleY, &sy, 4);
    m_glyphs = std::move(glyphs);
    UpdateHeight();
    if (face) m_faceName = face;
    return true;
}

CFontQN* CFontQN::CFontQN_Builtin(const uint8_t (*table)[4], int first, int last, int texture) {
    auto* font = new CFontQN();
    font->m_faceName = "debug";
    font->m_size = 10;
    font->m_charset = 0;
    font->m_antialias = 3;
    font->m_first = first;
    font->m_last = last;
    for (int k = 0; k <= last - first; ++k) {
        const uint8_t* row = table[k];
        font->m_glyphs.push_back(FontGlyph{static_cast<uint16_t>(first + k), row[0], row[1], row[2], row[3],
                                           row[2], 0, 0});
    }
    font->UpdateHeight();
    font->m_margin = 0.5f;
    font->m_ownEntry = TPageEntry{0, 0, 256, 128, 0, 0, 256, 128, 256, 128, static_cast<int16_t>(texture)};
    font->m_pageEntry = &font->m_ownEntry;
    return font;
}

void CFontQN::SortGlyphs() {
    std::stable_sort(m_glyphs.begin(), m_glyphs.end(),
                     [](const FontGlyph& a, const FontGlyph& b) { return a.character < b.character; });
}

void CFontQN::UpdateHeight() {
    m_height = 0;
    for (const FontGlyph& g : m_glyphs)
        m_height = std::max(m_height, static_cast<int>(g.h));
}

int CFontQN::GetShift(uint32_t c) {
    const FontGlyph* g = LookUp(c);
    return g ? g->shift : 0;
}

int CFontQN::TextWidth(const uint32_t* text) {
    int width = 0;
    if (!text) return 0;
    for (; *text; ++text)
        width = Wrap_Add32(width, GetShift(*text));
    return width;
}

int64_t CFontQN::GetTexture() {
    if (m_pageEntry) return PageEntry_Register(m_pageEntry);
    return m_texture;
}

// No font carries an alpha map of its glyphs (the chunk's fonts draw from their page entries), so making
// the textures only lets go of the font's own.
void CFontQN::CreateTexture() {
    FreeTexture();
}

void CFontQN::FreeTexture() {
    if (m_texture >= 0) Texture_Free(m_texture);
    m_texture = -1;
}

// ---- the font table ----

void Font_Init() {
    if (!g_freeType) {
        const FT_Error error = FT_Init_FreeType(&g_freeType);
        if (error) {
            DebugConsole->Output("Error while initialising FreeType %d\n", error);
            g_freeType = nullptr;
        }
    }
    g_fonts.Clear(DestroyFont);
    Font_State().FontCharMap = nullptr;
}

FT_Library Font_FreeType() {
    return g_freeType;
}

bool Font_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    g_fonts.Reset(static_cast<int>(list.size()), DestroyFont);
    Font_State().FontCharMap = nullptr;
    if (chunk.length < 4 + 4 * list.size() + sizeof g_charMap) {
        return Load_Fail("Chunk FONT: too short to hold its character map");
    }
    const uint8_t* map = file.Data() + chunk.End() - sizeof g_charMap;
    for (int i = 0; i < 256; ++i)
        g_charMap[i] = ReadU16(map + 2 * i);
    Font_State().FontCharMap = g_charMap;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == 0) continue;
        auto* font = new CFontQN();
        bool ok = false;
        const char* name = file.Text(file.WordAt(list[i]), &ok);
        if (!ok || !font->LoadFromChunk(file, chunk, list[i])) {
            delete font;
            return Load_Fail("Chunk FONT: font %d is damaged (its record, name or glyphs lie outside the chunk)",
                             static_cast<int>(i));
        }
        g_fonts.Set(static_cast<int>(i), font, String_Duplicate(name));
    }
    return true;
}

bool Font_Exists(int index) {
    return g_fonts.Exists(index);
}

const char* Font_GetName(int index) {
    return Font_Exists(index) && g_fonts.Name(index) ? g_fonts.Name(index) : "<undefined>";
}

int Font_Find(const char* name) {
    return g_fonts.Find(name);
}

CFontQN* Font_Get(int index) {
    return g_fonts.Data(index);
}

int Font_Count() {
    return g_fonts.Count();
}

int Font_Add(const char* faceName, int size, bool bold, bool italic, int first, int last) {
    return AppendFont(CFontQN::CFontQN_File(faceName, size, bold, italic, first, last));
}

int Font_AddSprite(int sprite, int first, bool proportional, int separation) {
    const std::vector<uint32_t> chars = FrameCharacters(sprite, first, true);
    return AppendFont(CFontQN::CFontQN_Sprite(sprite, chars, proportional, separation));
}

int Font_AddSpriteExt(int sprite, const char* text, bool proportional, int separation) {
    return AppendFont(CFontQN::CFontQN_Sprite(sprite, text, proportional, separation));
}

bool Font_Replace(int index, const char* faceName, int size, bool bold, bool italic, int first, int last) {
    if (index < 0 || index >= g_fonts.Count()) return false;
    return ReplaceFont(index, CFontQN::CFontQN_File(faceName, size, bold, italic, first, last));
}

bool Font_ReplaceSprite(int index, int sprite, int first, bool proportional, int separation) {
    if (index < 0 || index >= g_fonts.Count()) return false;
    const std::vector<uint32_t> chars = FrameCharacters(sprite, first, false);
    return ReplaceFont(index, CFontQN::CFontQN_Sprite(sprite, chars, proportional, separation));
}

bool Font_ReplaceSpriteExt(int index, int sprite, const char* text, bool proportional, int separation) {
    if (index < 0 || index >= g_fonts.Count()) return false;
    return ReplaceFont(index, CFontQN::CFontQN_Sprite(sprite, text, proportional, separation));
}

bool Font_Delete(int index) {
    if (!Font_Exists(index)) return false;
    delete g_fonts.Remove(index);
    return true;
}

void Font_InitTextures() {
    g_fonts.ForEach([](CFontQN* font) { font->CreateTexture(); });
}

void Font_FreeTextures() {
    g_fonts.ForEach([](CFontQN* font) { font->FreeTexture(); });
}

void Font_Free() {
    Font_FreeTextures();
    Font_Init();
}
