// The records the game writer stores, checked word by word against the record layouts of the data file
// (not read back through the runner's loaders, which could share a mistake with the writer), and the
// fonts it makes from font files and sprite frames.
#include "game_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace {

// A built file read back by chunk and offset.
class Built {
public:
    explicit Built(const GameDescription& game) : m_bytes(GameFile_Build(game)) {}

    // The offset of the body of the chunk, 0 when there is none.
    uint32_t Chunk(const char* tag) const {
        for (uint32_t at = 8; at + 8 <= m_bytes.size(); at += 8 + U32(at + 4))
            if (std::memcmp(&m_bytes[at], tag, 4) == 0) return at + 8;
        return 0;
    }
    uint32_t ChunkSize(const char* tag) const { return U32(Chunk(tag) - 4); }
    // Record i of a chunk's offset list.
    uint32_t Record(const char* tag, uint32_t i) const { return U32(Chunk(tag) + 4 + 4 * i); }
    uint32_t U32(uint32_t at) const {
        uint32_t v;
        std::memcpy(&v, &m_bytes.at(at + 3) - 3, 4);
        return v;
    }
    uint16_t U16(uint32_t at) const { return static_cast<uint16_t>(m_bytes.at(at) | m_bytes.at(at + 1) << 8); }
    float F32(uint32_t at) const {
        const uint32_t v = U32(at);
        float f;
        std::memcpy(&f, &v, 4);
        return f;
    }
    std::vector<uint32_t> Words(uint32_t at, size_t n) const {
        std::vector<uint32_t> words;
        for (size_t i = 0; i < n; ++i)
            words.push_back(U32(at + 4 * static_cast<uint32_t>(i)));
        return words;
    }
    std::vector<uint16_t> Halves(uint32_t at, size_t n) const {
        std::vector<uint16_t> halves;
        for (size_t i = 0; i < n; ++i)
            halves.push_back(U16(at + 2 * static_cast<uint32_t>(i)));
        return halves;
    }
    // The text whose characters start at offset, with its length word before it.
    std::string Text(uint32_t offset) const {
        const std::string text(reinterpret_cast<const char*>(&m_bytes.at(offset)));
        EXPECT_EQ(U32(offset - 4), text.size());
        return text;
    }
    const uint8_t* At(uint32_t at) const { return &m_bytes.at(at); }

private:
    std::vector<uint8_t> m_bytes;
};

uint32_t Bits(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    return v;
}

GameImage Image(int w, int h, std::vector<uint8_t> alphas) {
    GameImage image;
    image.width = w;
    image.height = h;
    for (uint8_t a : alphas)
        image.rgba.insert(image.rgba.end(), {10, 20, 30, a});
    return image;
}

GameDescription WithRoom() {
    GameDescription game;
    GameRoom room;
    room.name = "r";
    game.rooms.push_back(room);
    return game;
}

TEST(GameWriter, SpriteRecordsHoldTheirBoxMasksAndFramesOnThePage) {
    GameDescription game = WithRoom();
    GameSprite s;
    s.name = "spr";
    s.xOrigin = 1;
    s.yOrigin = 2;
    // Two 4 x 2 frames; with tolerance 100 a pixel is solid above alpha 100.
    s.frames = {Image(4, 2, {0, 200, 50, 255, 101, 100, 0, 0}), Image(4, 2, {0, 0, 0, 0, 0, 0, 0, 255})};
    s.bboxMode = 2;
    s.bbox[0] = 1, s.bbox[1] = 0, s.bbox[2] = 2, s.bbox[3] = 1;
    s.maskKind = MASK_PRECISE;
    s.separateMasks = true;
    s.tolerance = 100;
    game.sprites.push_back(s);
    // A 5 x 5 diamond over an automatic box: the opaque pixels reach the whole image.
    GameSprite d;
    d.name = "diamond";
    d.frames = {Image(5, 5, std::vector<uint8_t>(25, 255))};
    d.maskKind = MASK_DIAMOND;
    game.sprites.push_back(d);
    // Automatic box of a frame opaque at (1, 1) and (2, 2) only; no masks.
    GameSprite a;
    a.name = "auto";
    a.frames = {Image(4, 4, {0, 0, 0, 0, 0, 9, 0, 0, 0, 0, 9, 0, 0, 0, 0, 0})};
    game.sprites.push_back(a);
    const Built f(game);

    // name, width, height, left, right, bottom, top, transparent, smooth, preload, mode, precise,
    // origin, frame count, page entries, mask count, masks of rows of (width + 7) / 8 bytes.
    const uint32_t r = f.Record("SPRT", 0);
    EXPECT_EQ(f.Text(f.U32(r)), "spr");
    const std::vector<uint32_t> words = f.Words(r + 4, 14);
    EXPECT_EQ(words, (std::vector<uint32_t>{4, 2, 1, 2, 1, 0, 1, 0, 1, 2, 1, 1, 2, 2}));
    const uint32_t tp0 = f.U32(r + 60), tp1 = f.U32(r + 64);
    EXPECT_EQ(f.U32(r + 68), 2u);
    EXPECT_EQ(*f.At(r + 72), 0x50) << "frame 0, row 0: pixels 1 and 3";
    EXPECT_EQ(*f.At(r + 73), 0x80) << "frame 0, row 1: pixel 0";
    EXPECT_EQ(*f.At(r + 74), 0x00);
    EXPECT_EQ(*f.At(r + 75), 0x10);
    // Texture-page entries: source rectangle, target offset and size, bounding size, page.
    EXPECT_EQ(f.Halves(tp0, 11), (std::vector<uint16_t>{0, 0, 4, 2, 0, 0, 4, 2, 4, 2, 0}));
    EXPECT_EQ(f.Halves(tp1, 11), (std::vector<uint16_t>{4, 0, 4, 2, 0, 0, 4, 2, 4, 2, 0}));

    const uint32_t dr = f.Record("SPRT", 1);
    EXPECT_EQ(f.Words(dr + 12, 9), (std::vector<uint32_t>{0, 4, 4, 0, 1, 0, 1, 0, 1}));
    EXPECT_EQ(f.U32(dr + 64), 1u) << "one mask for the one frame";
    EXPECT_EQ(std::vector<uint8_t>(f.At(dr + 68), f.At(dr + 73)), (std::vector<uint8_t>{0x20, 0x70, 0xF8, 0x70, 0x20}));

    const uint32_t ar = f.Record("SPRT", 2);
    EXPECT_EQ(f.Words(ar + 12, 9), (std::vector<uint32_t>{1, 2, 2, 1, 1, 0, 1, 0, 0}));
    EXPECT_EQ(f.U32(ar + 64), 0u);
}

TEST(GameWriter, BackgroundsAndImagesFillPagesInRowsAndPages) {
    GameDescription game = WithRoom();
    // 100 + 4000 wide does not fit a row of 4096: the second starts a row under the first; the third fits
    // that row across but not the page down, and starts a second page.
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{100, 10}, {4000, 10}, {50, 4090}}) {
        GameBackground bg;
        bg.name = "b" + std::to_string(w) + "_" + std::to_string(h);
        bg.image = Image(w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h, 255));
        game.backgrounds.push_back(bg);
    }
    const Built f(game);
    // name, transparent, smooth, preload, page entry
    const uint32_t r = f.Record("BGND", 1);
    EXPECT_EQ(f.Text(f.U32(r)), "b4000_10");
    EXPECT_EQ(f.Words(r + 4, 3), (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(f.Halves(f.U32(f.Record("BGND", 0) + 16), 11),
              (std::vector<uint16_t>{0, 0, 100, 10, 0, 0, 100, 10, 100, 10, 0}));
    EXPECT_EQ(f.Halves(f.U32(r + 16), 11), (std::vector<uint16_t>{0, 10, 4000, 10, 0, 0, 4000, 10, 4000, 10, 0}));
    EXPECT_EQ(f.Halves(f.U32(f.Record("BGND", 2) + 16), 11),
              (std::vector<uint16_t>{0, 0, 50, 4090, 0, 0, 50, 4090, 50, 4090, 1}));
    // Pages: {flags, offset of the PNG}.
    EXPECT_EQ(f.U32(f.Chunk("TXTR")), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        const uint32_t page = f.Record("TXTR", i);
        EXPECT_EQ(f.U32(page), 0u);
        EXPECT_EQ(std::memcmp(f.At(f.U32(page + 4)), "\x89PNG", 4), 0);
    }
    EXPECT_LT(f.Chunk("TPAG"), f.Chunk("TXTR")) << "the runner reads the entries first";
}

TEST(GameWriter, FontRecordsHoldTheirGlyphsAndTheChunkEndsWithTheCharacterMap) {
    GameDescription game = WithRoom();
    GameFont font;
    font.name = "fnt";
    font.face = "Face";
    font.size = 14;
    font.first = 65;
    font.last = 66;
    font.image = Image(8, 8, std::vector<uint8_t>(64, 0));
    GameGlyph a, b;
    a.character = 65, a.x = 1, a.y = 1, a.w = 3, a.h = 5, a.shift = 4, a.offset = -1;
    b.character = 66, b.x = 5, b.y = 1, b.w = 2, b.h = 6, b.shift = 3, b.offset = 0;
    font.glyphs = {a, b};
    game.fonts.push_back(font);
    const Built f(game);
    // name, face, size, bold, italic, first with antialias + 1 in the top byte, last, page entry, scales,
    // glyph count and offsets; each glyph eight 16-bit fields.
    const uint32_t r = f.Record("FONT", 0);
    EXPECT_EQ(f.Text(f.U32(r)), "fnt");
    EXPECT_EQ(f.Text(f.U32(r + 4)), "Face");
    EXPECT_EQ(f.Words(r + 8, 5), (std::vector<uint32_t>{14, 0, 0, 65 | 4u << 24, 66}));
    EXPECT_EQ(f.Halves(f.U32(r + 28), 11), (std::vector<uint16_t>{0, 0, 8, 8, 0, 0, 8, 8, 8, 8, 0}));
    EXPECT_EQ(f.Words(r + 32, 3), (std::vector<uint32_t>{Bits(1.0f), Bits(1.0f), 2}));
    EXPECT_EQ(f.Halves(f.U32(r + 44), 8), (std::vector<uint16_t>{65, 1, 1, 3, 5, 4, 0xFFFF, 0}));
    EXPECT_EQ(f.Halves(f.U32(r + 48), 8), (std::vector<uint16_t>{66, 5, 1, 2, 6, 3, 0, 0}));
    const uint32_t map = f.Chunk("FONT") + f.ChunkSize("FONT") - 512;
    EXPECT_EQ(f.U16(map), 0);
    EXPECT_EQ(f.U16(map + 2 * 65), 65);
    EXPECT_EQ(f.U16(map + 2 * 255), 255);
}

TEST(GameWriter, PathTimelineAndShaderRecords) {
    GameDescription game = WithRoom();
    game.paths.push_back({"p", 1, true, 6, {{1, 2, 100}, {3.5f, 4, 50}}});
    game.timelines.push_back({"t", {{0, "a = 1;"}, {7, "a = 2;"}}});
    game.shaders.push_back({"sh", "vertex text", "fragment text", {"in_Position"}});
    const Built f(game);
    // name, kind, closed, precision, count, then x, y, speed of each point
    const uint32_t p = f.Record("PATH", 0);
    EXPECT_EQ(f.Text(f.U32(p)), "p");
    EXPECT_EQ(f.Words(p + 4, 10), (std::vector<uint32_t>{1, 1, 6, 2, Bits(1), Bits(2), Bits(100), Bits(3.5f), Bits(4),
                                                          Bits(50)}));
    // name, count, then step and action list of each moment; the list's one action holds the code
    const uint32_t t = f.Record("TMLN", 0);
    EXPECT_EQ(f.Text(f.U32(t)), "t");
    EXPECT_EQ(f.U32(t + 4), 2u);
    EXPECT_EQ(f.U32(t + 8), 0u);
    EXPECT_EQ(f.U32(t + 16), 7u);
    const uint32_t list = f.U32(t + 20);
    EXPECT_EQ(f.U32(list), 1u);
    EXPECT_EQ(f.Text(f.U32(f.U32(list + 4) + 60)), "a = 2;");
    // name, type, four (vertex, fragment) pairs of which the runner compiles the third, attributes
    const uint32_t s = f.Record("SHDR", 0);
    EXPECT_EQ(f.Text(f.U32(s)), "sh");
    EXPECT_EQ(f.U32(s + 4), 1u);
    EXPECT_EQ(f.Text(f.U32(s + 0x18)), "vertex text");
    EXPECT_EQ(f.Text(f.U32(s + 0x1C)), "fragment text");
    EXPECT_EQ(f.Words(s + 0x20, 3), (std::vector<uint32_t>{0, 0, 1}));
    EXPECT_EQ(f.Text(f.U32(s + 0x2C)), "in_Position");
}

TEST(GameWriter, RoomRecordsHoldBackgroundSlotsViewsTilesAndInstances) {
    GameDescription game;
    GameBackground bg;
    bg.name = "bg";
    bg.image = Image(32, 16, std::vector<uint8_t>(512, 255));
    game.backgrounds = {bg, bg};
    game.backgrounds[1].name = "bg2";
    GameObject o;
    o.name = "o";
    game.objects.push_back(o);
    GameRoom r;
    r.name = "room";
    r.width = 300;
    r.height = 200;
    r.speed = 45;
    r.colour = 0x123456;
    r.background = 0;
    GameRoomBackground slot;
    slot.slot = 3, slot.background = 1, slot.foreground = true, slot.x = -4, slot.y = 5;
    slot.htiled = true, slot.vtiled = false, slot.hspeed = 2, slot.vspeed = -1, slot.stretch = true;
    r.backgrounds.push_back(slot);
    GameView view;
    view.slot = 1, view.x = 10, view.y = 20, view.width = 160, view.height = 120;
    view.portX = 1, view.portY = 2, view.portWidth = 320, view.portHeight = 240;
    view.object = 0, view.hborder = 40, view.vborder = 30, view.hspeed = 5, view.vspeed = -1;
    r.views.push_back(view);
    r.tiles.push_back({7, 8, 1, 16, 0, 16, 16, -50, 10000005});
    r.instances.push_back({11, 12, 0, 100001, ""});
    game.rooms.push_back(r);
    const Built f(game);

    // name, caption, width, height, speed, persistent, colour, show colour, code, flags (views enabled),
    // then the lists of backgrounds, views, instances and tiles
    const uint32_t at = f.Record("ROOM", 0);
    EXPECT_EQ(f.Text(f.U32(at)), "room");
    EXPECT_EQ(f.Words(at + 4, 9), (std::vector<uint32_t>{0, 300, 200, 45, 0, 0x123456, 1, 0, 1}));
    // Eight background entries: visible, foreground, index, x, y, tiled across, down, speeds, stretch.
    const uint32_t bgs = f.U32(at + 40);
    ASSERT_EQ(f.U32(bgs), 8u);
    EXPECT_EQ(f.Words(f.U32(bgs + 4), 10), (std::vector<uint32_t>{1, 0, 0, 0, 0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(f.Words(f.U32(bgs + 4 + 4 * 3), 10),
              (std::vector<uint32_t>{1, 1, 1, static_cast<uint32_t>(-4), 5, 1, 0, 2, static_cast<uint32_t>(-1), 1}));
    EXPECT_EQ(f.U32(f.U32(bgs + 4 + 4 * 2)), 0u) << "slot 2 is not visible";
    // Eight views: visible, view and port rectangles, borders, speeds, followed object.
    const uint32_t views = f.U32(at + 44);
    ASSERT_EQ(f.U32(views), 8u);
    EXPECT_EQ(f.Words(f.U32(views + 8), 14),
              (std::vector<uint32_t>{1, 10, 20, 160, 120, 1, 2, 320, 240, 40, 30, 5, 0xFFFFFFFF, 0}));
    EXPECT_EQ(f.U32(f.U32(views + 4)), 0u) << "view 0 is not visible";
    // Instances: x, y, object, id, code, scales, colour, angle.
    const uint32_t instances = f.U32(at + 48);
    ASSERT_EQ(f.U32(instances), 1u);
    EXPECT_EQ(f.Words(f.U32(instances + 4), 4), (std::vector<uint32_t>{11, 12, 0, 100001}));
    // Tiles: x, y, background, source rectangle, depth, id, scales, colour with alpha.
    const uint32_t tiles = f.U32(at + 52);
    ASSERT_EQ(f.U32(tiles), 1u);
    EXPECT_EQ(f.Words(f.U32(tiles + 4), 12),
              (std::vector<uint32_t>{7, 8, 1, 16, 0, 16, 16, static_cast<uint32_t>(-50), 10000005, Bits(1), Bits(1),
                                     0xFFFFFFFF}));
    // The general information's last tile id covers the room's tiles (version 13 layout: at 16).
    EXPECT_EQ(f.U32(f.Chunk("GEN8") + 16), 10000005u);
}

// ---- fonts made while building ----

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

TEST(GameFonts, AFontFileIsRasterisedIntoGlyphsWithRoomAroundEach) {
    if (access(kFontFile, R_OK) != 0) GTEST_SKIP() << "no font file at " << kFontFile;
    std::ifstream in(kFontFile, std::ios::binary);
    const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    GameFont font;
    font.name = "kept";
    std::string error;
    ASSERT_TRUE(GameFont_FromFile(file, 16, 65, 70, &font, &error)) << error;
    EXPECT_EQ(font.name, "kept");
    EXPECT_EQ(font.face, "DejaVu Sans");
    EXPECT_EQ(font.first, 65);
    EXPECT_EQ(font.last, 70);
    // The space and A to F, in order.
    ASSERT_EQ(font.glyphs.size(), 7u);
    EXPECT_EQ(font.glyphs[0].character, 32);
    EXPECT_GT(font.glyphs[0].shift, 0);
    EXPECT_EQ(font.glyphs[0].w, 0);
    for (size_t i = 1; i < font.glyphs.size(); ++i) {
        const GameGlyph& g = font.glyphs[i];
        SCOPED_TRACE(static_cast<char>(g.character));
        EXPECT_EQ(g.character, 64 + i);
        ASSERT_GT(g.w, 0);
        ASSERT_GT(g.h, 0);
        EXPECT_GE(g.shift, g.w);
        // Some coverage inside the glyph, none in the pixel around it.
        int inside = 0, around = 0;
        for (int y = g.y - 1; y <= g.y + g.h; ++y)
            for (int x = g.x - 1; x <= g.x + g.w; ++x) {
                const uint8_t alpha = font.image.rgba[(static_cast<size_t>(y) * font.image.width + x) * 4 + 3];
                const bool edge = x < g.x || y < g.y || x == g.x + g.w || y == g.y + g.h;
                (edge ? around : inside) += alpha != 0;
            }
        EXPECT_GT(inside, 10);
        EXPECT_EQ(around, 0);
    }

    const std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'f', 'o', 'n', 't'};
    EXPECT_FALSE(GameFont_FromFile(text, 16, 32, 127, &font, &error));
    EXPECT_EQ(error.rfind("not a font file (", 0), 0u) << error;
    EXPECT_EQ(font.glyphs.size(), 7u) << "unchanged";
    EXPECT_FALSE(GameFont_FromFile(file, 1000, 0, 0xFFFF, &font, &error));
    EXPECT_EQ(error, "the characters do not fit a 4096 x 4096 image at size 1000");
}

TEST(GameFonts, AFontOfASpritesFramesCutsProportionalGlyphsAndAddsASpace) {
    GameSprite bars;
    bars.name = "spr_bars";
    // Frame i: an opaque column pair from 1 + i, so proportional glyphs are 2 wide.
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> alphas(6 * 2, 0);
        for (int y = 0; y < 2; ++y)
            alphas[static_cast<size_t>(y * 6 + 1 + i)] = alphas[static_cast<size_t>(y * 6 + 2 + i)] = 255;
        bars.frames.push_back(Image(6, 2, alphas));
    }
    GameFont font;
    std::string error;
    ASSERT_TRUE(GameFont_FromSprite(bars, 48, true, 1, &font, &error)) << error;
    EXPECT_EQ(font.face, "spr_bars");
    ASSERT_EQ(font.glyphs.size(), 4u);
    EXPECT_EQ(font.glyphs[0].character, 32);
    EXPECT_EQ(font.glyphs[0].shift, 3) << "as wide as the widest glyph";
    for (int i = 1; i < 4; ++i) {
        const GameGlyph& g = font.glyphs[static_cast<size_t>(i)];
        EXPECT_EQ(g.character, 47 + i);
        EXPECT_EQ(g.w, 2);
        EXPECT_EQ(g.h, 2);
        EXPECT_EQ(g.shift, 3);
        EXPECT_EQ(g.offset, 0);
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                EXPECT_EQ(font.image.rgba[(static_cast<size_t>(g.y + y) * font.image.width + g.x + x) * 4 + 3], 255);
    }
    EXPECT_EQ(font.last, 50);

    ASSERT_TRUE(GameFont_FromSprite(bars, 31, false, -2, &font, &error)) << error;
    ASSERT_EQ(font.glyphs.size(), 3u) << "frame 1 is the space";
    EXPECT_EQ(font.glyphs[1].character, 32);
    for (const GameGlyph& g : font.glyphs) {
        EXPECT_EQ(g.w, 6);
        EXPECT_EQ(g.shift, 4);
    }
}

} // namespace
