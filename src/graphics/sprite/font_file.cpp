// Fonts from font files through FreeType, and the glyph cache their glyphs are rendered into when first
// drawn.
#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "graphics/frame/batcher.h"
#include "graphics/sprite/font.h"

#include <algorithm>
#include <cstring>
#include <ft2build.h>
#include FT_FREETYPE_H

namespace {

// 26.6 fixed point to whole pixels, rounded up.
int Pixels(FT_Pos value) {
    return static_cast<int>((value + 63) >> 6);
}

// The font file's bytes from the save area, else the game folder; false when it is in neither.
bool ReadFontFile(const char* name, std::vector<uint8_t>& bytes) {
    int size = 0;
    uint8_t* data = LoadSave_ReadFile(LoadSave_ReadPath(name).c_str(), &size);
    if (!data) return false;
    bytes.assign(data, data + size);
    MEM_FREE(data);
    return true;
}

} // namespace

// ---- GlyphCache ----

bool GlyphCache::Init(int width, int height, FT_Face face) {
    Clear();
    m_face = face;
    m_textureId = Texture_Create(width, height, false);
    m_texture = Texture_Get(m_textureId);
    if (!m_texture) return false;
    const size_t pixels = static_cast<size_t>(m_texture->Width()) * m_texture->Height();
    for (size_t i = 0; i < pixels; ++i) {
        uint8_t* p = m_texture->systemCopy + 4 * i;
        p[0] = p[1] = p[2] = 255;
        p[3] = 0;
    }
    m_cellWidth = Pixels(face->size->metrics.max_advance);
    m_cellHeight = Pixels(face->size->metrics.height);
    if (m_cellWidth < 1 || m_cellHeight < 1) return true;
    m_columns = (width - 4) / (m_cellWidth + m_gapX);
    const int rows = (height - 4) / (m_cellHeight + m_gapY);
    if (m_columns < 1 || rows < 1) return true;
    int x = 2, y = 2;
    for (int i = 0; i < m_columns * rows; ++i) {
        m_cells.push_back(Cell{{nullptr, x, y}, 0, i - 1, i + 1});
        x += m_cellWidth + m_gapX;
        if (x > width - m_cellWidth) {
            x = 2;
            y += m_cellHeight + m_gapY;
        }
    }
    m_cells.back().next = -1;
    m_head = 0;
    m_tail = static_cast<int>(m_cells.size()) - 1;
    return true;
}

void GlyphCache::Clear() {
    for (Cell& cell : m_cells)
        if (cell.glyph) cell.glyph->x = cell.glyph->y = kGlyphNotResident;
    m_cells.clear();
    m_head = m_tail = -1;
    // The font may have let go of the texture already, and its id been given to another.
    if (m_texture && Texture_Get(m_textureId) == m_texture) Texture_Free(m_textureId);
    m_texture = nullptr;
    m_textureId = -1;
    m_face = nullptr;
}

GlyphCache::Cell* GlyphCache::CellOf(const FontGlyph* glyph) {
    if (m_cells.empty() || glyph->x == kGlyphNotResident) return nullptr;
    const int column = (glyph->x - 2) / (m_cellWidth + m_gapX);
    const int row = (glyph->y - 2) / (m_cellHeight + m_gapY);
    const size_t index = static_cast<size_t>(row) * static_cast<size_t>(m_columns) + static_cast<size_t>(column);
    return index < m_cells.size() && m_cells[index].glyph == glyph ? &m_cells[index] : nullptr;
}

bool GlyphCache::NextCellPending() const {
    return m_tail >= 0 && m_cells[static_cast<size_t>(m_tail)].glyph &&
           m_cells[static_cast<size_t>(m_tail)].drawnInBatch == GR_Batch_Serial();
}

void GlyphCache::MarkDrawn(const FontGlyph* glyph) {
    if (Cell* cell = CellOf(glyph)) cell->drawnInBatch = GR_Batch_Serial();
}

GlyphCacheCell* GlyphCache::Render(FontGlyph* glyph) {
    if (m_tail < 0) return nullptr;
    // The least recently filled cell moves to the head.
    const int index = m_tail;
    Cell& cell = m_cells[static_cast<size_t>(index)];
    if (index != m_head) {
        m_tail = cell.prev;
        m_cells[static_cast<size_t>(m_tail)].next = -1;
        cell.prev = -1;
        cell.next = m_head;
        m_cells[static_cast<size_t>(m_head)].prev = index;
        m_head = index;
    }
    if (cell.glyph) cell.glyph->x = cell.glyph->y = kGlyphNotResident;
    cell.glyph = glyph;
    cell.drawnInBatch = 0;
    glyph->x = static_cast<uint16_t>(cell.x);
    glyph->y = static_cast<uint16_t>(cell.y);

    const size_t pitch = static_cast<size_t>(m_texture->Width()) * 4;
    const int right = std::min(cell.x + m_cellWidth, m_texture->Width());
    const int bottom = std::min(cell.y + m_cellHeight, m_texture->Height());
    for (int y = cell.y; y < bottom; ++y)
        for (int x = cell.x; x < right; ++x) {
            uint8_t* p = m_texture->systemCopy + static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * 4;
            p[0] = p[1] = p[2] = 255;
            p[3] = 0;
        }
    if (FT_Load_Glyph(m_face, FT_Get_Char_Index(m_face, glyph->character), FT_LOAD_DEFAULT) == 0 &&
        FT_Render_Glyph(m_face->glyph, FT_RENDER_MODE_NORMAL) == 0 &&
        m_face->glyph->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        const FT_Bitmap& bitmap = m_face->glyph->bitmap;
        const int top = Pixels(m_face->size->metrics.ascender - m_face->glyph->metrics.horiBearingY);
        for (int r = 0; r < static_cast<int>(bitmap.rows); ++r) {
            const int y = cell.y + top + r;
            if (y < cell.y || y >= bottom) continue;
            const uint8_t* source = bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch;
            for (int k = 0; k < static_cast<int>(bitmap.width); ++k) {
                const int x = cell.x + k;
                if (x >= right) break;
                m_texture->systemCopy[static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * 4 + 3] = source[k];
            }
        }
    }
    GR_D3D_UpdateTextureRect(m_texture, cell.x, cell.y, m_cellWidth, m_cellHeight);
    return &cell;
}

// ---- font-file fonts ----

CFontQN* CFontQN::CFontQN_File(const char* fileName, int size, bool bold, bool italic, int first, int last) {
    auto* font = new CFontQN();
    font->m_faceName = fileName ? fileName : "";
    font->m_size = size;
    font->m_bold = bold;
    font->m_italic = italic;
    font->m_first = std::max(first, 0);
    font->m_last = std::min(last, 255);
    font->m_charset = 0;
    font->m_antialias = 3;
    font->m_margin = 0.0f;
    font->LoadFontFile();
    if (font->m_texture < 0) font->CreateTexture();
    return font;
}

void CFontQN::LoadFontFile() {
    const char* name = m_faceName.c_str();
    if (!ReadFontFile(name, m_fileBytes)) {
        DebugConsole->Output("FreeType :: unable to find font file %s\n", name);
        return;
    }
    FT_Face face = nullptr;
    FT_Error error = FT_New_Memory_Face(Font_FreeType(), m_fileBytes.data(), static_cast<FT_Long>(m_fileBytes.size()),
                                        0, &face);
    if (error) {
        DebugConsole->Output("FreeType :: error = %08x(%d) :: Unable to open font file %s\n", error, error, name);
        m_fileBytes.clear();
        return;
    }
    m_face = face;
    error = FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(m_size) * 64, 0, 0);
    if (error) {
        DebugConsole->Output("FreeType :: error = %08x(%d) :: Unable to set font pixel size\n", error, error);
        return;
    }
    error = FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    if (error) {
        DebugConsole->Output("FreeType :: error = %08x(%d) :: Unable to select unicode font character map\n", error,
                             error);
        return;
    }
    const FT_Pos ascender = face->size->metrics.ascender;
    auto load = [&](FT_ULong c) {
        return FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_DEFAULT) == 0;
    };
    // The space first; a glyph that does not load gets no size and no advance.
    m_glyphs.clear();
    m_glyphs.push_back(FontGlyph{32, 0, 0, 0, 0, 0, 0, 0});
    if (load(32)) m_glyphs[0].shift = static_cast<int16_t>(Pixels(face->glyph->metrics.horiAdvance));
    FT_UInt index = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &index); index != 0; c = FT_Get_Next_Char(face, c, &index)) {
        FontGlyph g{static_cast<uint32_t>(c), kGlyphNotResident, kGlyphNotResident, 0, 0, 0, 0, 0};
        if (load(c)) {
            const FT_Glyph_Metrics& m = face->glyph->metrics;
            g.w = static_cast<int16_t>(Pixels(m.width));
            g.h = static_cast<int16_t>(Pixels(m.height - m.horiBearingY + ascender));
            g.shift = static_cast<int16_t>(Pixels(m.horiAdvance));
            g.offset = static_cast<int16_t>(Pixels(m.horiBearingX));
        }
        m_glyphs.push_back(g);
    }
    SortGlyphs();
    m_cache.Init(512, 512, face);
    m_texture = m_cache.TextureId();
    m_height = Pixels(face->size->metrics.height);
    m_margin = 0.0f;
}
