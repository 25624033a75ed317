// The images of a game description: PNG files read and written, sprites' bounding boxes and collision
// masks, and fonts rasterised from font files or cut from sprite frames.
#include "game_writer.h"

#include <algorithm>
#include <cstring>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

namespace {

uint8_t AlphaAt(const GameImage& image, int x, int y) {
    return image.rgba[(static_cast<size_t>(y) * image.width + x) * 4 + 3];
}

// The opaque columns of an image: [left, right), both 0 when every pixel is transparent.
std::pair<int, int> OpaqueColumns(const GameImage& image) {
    int left = image.width, right = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (AlphaAt(image, x, y)) left = std::min(left, x), right = std::max(right, x + 1);
    return left < right ? std::make_pair(left, right) : std::make_pair(0, 0);
}

// Room for glyph images on a font's image: rows of cells one transparent pixel apart and from the edges
// (drawing reaches half a pixel beyond a glyph), at most kLimit pixels across and down.
class GlyphShelf {
public:
    static constexpr int kLimit = 4096;
    explicit GlyphShelf(int across) : m_across(std::clamp(across, 2, kLimit)) {}
    // The place of a w x h glyph; false when the image is full.
    bool Place(int w, int h, uint16_t* x, uint16_t* y) {
        if (w == 0 || h == 0) {
            *x = *y = 0;
            return true;
        }
        if (m_x + w + 1 > m_across) m_x = 1, m_y += m_row + 1, m_row = 0;
        if (m_x + w + 1 > m_across || m_y + h + 1 > kLimit) return false;
        *x = static_cast<uint16_t>(m_x);
        *y = static_cast<uint16_t>(m_y);
        m_x += w + 1;
        m_row = std::max(m_row, h);
        m_width = std::max(m_width, m_x);
        m_height = std::max(m_height, m_y + h + 1);
        return true;
    }
    // A transparent image large enough for every glyph placed.
    GameImage Image() const {
        GameImage image;
        image.width = m_width;
        image.height = m_height;
        image.rgba.assign(static_cast<size_t>(m_width) * m_height * 4, 0);
        return image;
    }

private:
    int m_across;
    int m_x = 1, m_y = 1, m_row = 0;
    int m_width = 2, m_height = 2;
};

// Places every glyph on a roughly square image, as wide as the widest glyph at least; the image is made
// transparent. False when they do not fit.
bool PlaceGlyphs(std::vector<GameGlyph>& glyphs, GameImage* image) {
    long area = 0;
    int across = 2;
    for (const GameGlyph& g : glyphs) {
        area += static_cast<long>(g.w + 1) * (g.h + 1);
        across = std::max(across, g.w + 2);
    }
    while (static_cast<long>(across) * across < area && across < GlyphShelf::kLimit)
        across *= 2;
    GlyphShelf shelf(across);
    for (GameGlyph& g : glyphs)
        if (!shelf.Place(g.w, g.h, &g.x, &g.y)) return false;
    *image = shelf.Image();
    return true;
}

// 26.6 fixed point to whole pixels, rounded up.
int Pixels(FT_Pos value) {
    return static_cast<int>((value + 63) >> 6);
}

std::string FreeTypeReason(FT_Error error) {
    const char* text = FT_Error_String(error);
    return text ? text : "FreeType error " + std::to_string(error);
}

} // namespace

void GameSprite_BoundingBox(const GameSprite& sprite, int box[4]) {
    const int w = sprite.frames.empty() ? 0 : sprite.frames[0].width;
    const int h = sprite.frames.empty() ? 0 : sprite.frames[0].height;
    if (sprite.bboxMode == 2) {
        std::copy_n(sprite.bbox, 4, box);
        return;
    }
    if (sprite.bboxMode == 1) {
        box[0] = box[1] = 0, box[2] = w - 1, box[3] = h - 1;
        return;
    }
    if (sprite.frames.empty()) {
        box[0] = box[1] = box[2] = box[3] = 0;
        return;
    }
    // The union of every frame's opaque pixels; with none, the box stays inverted.
    box[0] = w - 1, box[1] = h - 1, box[2] = 0, box[3] = 0;
    for (const GameImage& frame : sprite.frames)
        for (int y = 0; y < frame.height; ++y)
            for (int x = 0; x < frame.width; ++x)
                if (AlphaAt(frame, x, y)) {
                    box[0] = std::min(box[0], x), box[1] = std::min(box[1], y);
                    box[2] = std::max(box[2], x), box[3] = std::max(box[3], y);
                }
}

std::vector<std::vector<uint8_t>> GameSprite_Masks(const GameSprite& sprite) {
    if (sprite.maskKind == MASK_NONE || sprite.frames.empty()) return {};
    const int w = sprite.frames[0].width, h = sprite.frames[0].height;
    const size_t size = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (sprite.maskKind == MASK_PRECISE) {
        auto solid = [&](const GameImage& frame, std::vector<uint8_t>& mask) {
            for (int y = 0; y < std::min(h, frame.height); ++y)
                for (int x = 0; x < std::min(w, frame.width); ++x)
                    if (AlphaAt(frame, x, y) > sprite.tolerance) mask[static_cast<size_t>(y) * w + x] = 1;
        };
        std::vector<std::vector<uint8_t>> masks(sprite.separateMasks ? sprite.frames.size() : 1,
                                                std::vector<uint8_t>(size, 0));
        for (size_t f = 0; f < sprite.frames.size(); ++f)
            solid(sprite.frames[f], masks[sprite.separateMasks ? f : 0]);
        return masks;
    }
    // A shape filling the bounding box, the same for every frame.
    int box[4];
    GameSprite_BoundingBox(sprite, box);
    std::vector<uint8_t> mask(size, 0);
    const float cx = static_cast<float>((box[0] + box[2]) / 2), cy = static_cast<float>((box[1] + box[3]) / 2);
    const float rx = cx - static_cast<float>(box[0]) + 0.5f, ry = cy - static_cast<float>(box[1]) + 0.5f;
    for (int y = std::max(box[1], 0); y <= std::min(box[3], h - 1); ++y) {
        for (int x = std::max(box[0], 0); x <= std::min(box[2], w - 1); ++x) {
            const float dx = (static_cast<float>(x) - cx) / rx, dy = (static_cast<float>(y) - cy) / ry;
            bool in = true;
            if (sprite.maskKind == MASK_ELLIPSE) in = rx > 0 && ry > 0 && dx * dx + dy * dy < 1;
            if (sprite.maskKind == MASK_DIAMOND) in = rx > 0 && ry > 0 && std::abs(dx) + std::abs(dy) < 1;
            if (in) mask[static_cast<size_t>(y) * w + x] = 1;
        }
    }
    return {mask};
}

bool GameImage_DecodePNG(const std::vector<uint8_t>& file, size_t maxPixels, GameImage* image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, file.data(), file.size())) {
        *error = png.message;
        return false;
    }
    png.format = PNG_FORMAT_RGBA;
    if (static_cast<uint64_t>(png.width) * png.height > maxPixels) {
        png_image_free(&png);
        *error = "an image of " + std::to_string(png.width) + " x " + std::to_string(png.height) +
                 " pixels is too large";
        return false;
    }
    GameImage decoded;
    decoded.width = static_cast<int>(png.width);
    decoded.height = static_cast<int>(png.height);
    decoded.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, decoded.rgba.data(), 0, nullptr)) {
        *error = png.message;
        png_image_free(&png);
        return false;
    }
    *image = std::move(decoded);
    return true;
}

bool GameFont_FromFile(const std::vector<uint8_t>& file, int size, int first, int last, GameFont* font,
                       std::string* error) {
    FT_Library library = nullptr;
    if (FT_Error e = FT_Init_FreeType(&library)) {
        *error = "FreeType does not start: " + FreeTypeReason(e);
        return false;
    }
    FT_Face face = nullptr;
    auto fail = [&](const std::string& reason) {
        *error = reason;
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(library);
        return false;
    };
    if (FT_Error e = FT_New_Memory_Face(library, file.data(), static_cast<FT_Long>(file.size()), 0, &face))
        return fail("not a font file (" + FreeTypeReason(e) + ")");
    if (FT_Error e = FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size) * 64, 0, 0))
        return fail("the font cannot be set to size " + std::to_string(size) + " (" + FreeTypeReason(e) + ")");
    if (FT_Error e = FT_Select_Charmap(face, FT_ENCODING_UNICODE))
        return fail("the font has no Unicode character map (" + FreeTypeReason(e) + ")");

    // The metrics as the runner takes them from a font file: a glyph's quad reaches from the top of the
    // line to the bottom of the glyph, and its image lies that far below the top.
    const FT_Pos ascender = face->size->metrics.ascender;
    std::vector<GameGlyph> glyphs;
    std::vector<int> tops;
    std::vector<uint16_t> characters;
    for (int c = first; c <= last; ++c)
        if (c != 32 && FT_Get_Char_Index(face, static_cast<FT_ULong>(c)) != 0)
            characters.push_back(static_cast<uint16_t>(c));
    characters.push_back(32);
    std::sort(characters.begin(), characters.end());
    for (uint16_t c : characters) {
        GameGlyph g;
        g.character = c;
        int top = 0;
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_DEFAULT) == 0) {
            const FT_Glyph_Metrics& m = face->glyph->metrics;
            g.shift = static_cast<int16_t>(Pixels(m.horiAdvance));
            if (c != 32) {
                g.w = static_cast<int16_t>(std::clamp(Pixels(m.width), 0, GlyphShelf::kLimit));
                g.h = static_cast<int16_t>(std::clamp(Pixels(m.height - m.horiBearingY + ascender), 0, GlyphShelf::kLimit));
                g.offset = static_cast<int16_t>(Pixels(m.horiBearingX));
                top = Pixels(ascender - m.horiBearingY);
            }
        }
        glyphs.push_back(g);
        tops.push_back(top);
    }
    GameImage image;
    if (!PlaceGlyphs(glyphs, &image))
        return fail("the characters do not fit a 4096 x 4096 image at size " + std::to_string(size));
    for (size_t i = 0; i < glyphs.size(); ++i) {
        GameGlyph& g = glyphs[i];
        if (g.w == 0 || g.h == 0) continue;
        for (int y = 0; y < g.h; ++y)
            for (int x = 0; x < g.w; ++x) {
                uint8_t* p = &image.rgba[((static_cast<size_t>(g.y) + y) * image.width + g.x + x) * 4];
                p[0] = p[1] = p[2] = 255;
            }
        if (FT_Load_Glyph(face, FT_Get_Char_Index(face, g.character), FT_LOAD_DEFAULT) != 0 ||
            FT_Render_Glyph(face->glyph, FT_RENDER_MODE_NORMAL) != 0 ||
            face->glyph->bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
            continue;
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        for (int r = 0; r < static_cast<int>(bitmap.rows); ++r) {
            const int y = tops[i] + r;
            if (y < 0 || y >= g.h) continue;
            const uint8_t* source = bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch;
            for (int k = 0; k < std::min(static_cast<int>(bitmap.width), static_cast<int>(g.w)); ++k)
                image.rgba[((static_cast<size_t>(g.y) + y) * image.width + g.x + k) * 4 + 3] = source[k];
        }
    }
    font->face = face->family_name ? face->family_name : "";
    font->size = size;
    font->first = first;
    font->last = last;
    font->image = std::move(image);
    font->glyphs = std::move(glyphs);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return true;
}

bool GameFont_FromSprite(const GameSprite& sprite, int first, bool proportional, int separation, GameFont* made,
                         std::string* error) {
    GameFont font;
    font.name = made->name;
    font.face = sprite.name;
    font.first = first;
    const int height = sprite.frames.empty() ? 0 : sprite.frames[0].height;
    font.size = height;
    // Each frame's columns from left to right; the space, when added, draws nothing.
    struct Cut {
        const GameImage* frame;
        int left;
    };
    std::vector<Cut> cuts;
    int widest = 0;
    bool space = false;
    for (size_t i = 0; i < sprite.frames.size() && first + static_cast<long>(i) <= 0xFFFF; ++i) {
        const GameImage& frame = sprite.frames[i];
        const auto [left, right] = proportional ? OpaqueColumns(frame) : std::make_pair(0, frame.width);
        GameGlyph g;
        g.character = static_cast<uint16_t>(first + static_cast<int>(i));
        g.w = static_cast<int16_t>(right - left);
        g.h = static_cast<int16_t>(height);
        g.shift = static_cast<int16_t>(std::clamp(right - left + separation, -32768, 32767));
        space = space || g.character == 32;
        if (g.character != 32) widest = std::max(widest, static_cast<int>(g.shift));
        font.glyphs.push_back(g);
        cuts.push_back({&frame, left});
    }
    if (!space) {
        GameGlyph g;
        g.character = 32;
        g.shift = static_cast<int16_t>(widest);
        font.glyphs.push_back(g);
        cuts.push_back({nullptr, 0});
    }
    if (!PlaceGlyphs(font.glyphs, &font.image)) {
        *error = "the frames do not fit a 4096 x 4096 image";
        return false;
    }
    for (size_t i = 0; i < font.glyphs.size(); ++i) {
        const GameGlyph& g = font.glyphs[i];
        for (int y = 0; cuts[i].frame && y < g.h; ++y)
            std::copy_n(&cuts[i].frame->rgba[(static_cast<size_t>(y) * cuts[i].frame->width + cuts[i].left) * 4],
                        g.w * 4, &font.image.rgba[((static_cast<size_t>(g.y) + y) * font.image.width + g.x) * 4]);
    }
    std::sort(font.glyphs.begin(), font.glyphs.end(),
              [](const GameGlyph& a, const GameGlyph& b) { return a.character < b.character; });
    font.last = font.glyphs.back().character;
    *made = std::move(font);
    return true;
}
