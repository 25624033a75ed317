// Fonts and text: the font table and its "FONT" records, glyph look-up, line splitting and wrapping,
// measuring, and drawn text as vertex streams and as pixels.
#include "core/save_area.h"
#include "data_builder.h"
#include "graphics/device_output.h"
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/frame.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/embedded_images.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"
#include "graphics/text/text_draw.h"
#include "library/builtin_test_util.h"
#include "support/load_game.h"
#include "support/pixel_mask.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

constexpr int kFirst = 32;
constexpr int kLast = 126;

// A test font: every character 10 wide (advancing 10) and 12 high, character c at x = (c - 32) x 2 of a
// 256 x 128 texture, so the u of a quad tells its character.
struct TestTable {
    uint8_t rows[kLast - kFirst + 1][4];
    TestTable() {
        for (int c = kFirst; c <= kLast; ++c) {
            uint8_t* r = rows[c - kFirst];
            r[0] = static_cast<uint8_t>((c - kFirst) * 2);
            r[1] = 0;
            r[2] = 10;
            r[3] = 12;
        }
    }
};

CFontQN* MakeTestFont(int texture = -1) {
    static TestTable table;
    return CFontQN::CFontQN_Builtin(table.rows, kFirst, kLast, texture);
}

std::vector<std::string> Lines(const char* text, int width) {
    TextLines lines;
    Text_SplitLines(Text_FontInUse(), text, width, lines);
    std::vector<std::string> out;
    for (int i = 0; i < lines.Count(); ++i) {
        std::string line;
        for (const uint32_t* p = lines.Line(i); *p; ++p)
            line += static_cast<char>(*p);
        out.push_back(line);
    }
    return out;
}

using Strings = std::vector<std::string>;

class TextLayoutTest : public testing::Test {
protected:
    void SetUp() override {
        Text_SetFont(-1);
        Text_SetBuiltinFont(MakeTestFont());
        Text_SetHAlign(0);
        Text_SetVAlign(0);
    }
    void TearDown() override { Text_Free(); }
};

TEST_F(TextLayoutTest, LinesSplitOnHashesAndLineBreaks) {
    EXPECT_EQ(Lines("a#b", -1), (Strings{"a", "b"}));
    EXPECT_EQ(Lines("a\\#b", -1), (Strings{"a#b"}));
    EXPECT_EQ(Lines("a\r\nb", -1), (Strings{"a", "", "b"}));
    EXPECT_EQ(Lines("a\n", -1), (Strings{"a"}));
    EXPECT_EQ(Lines("\na", -1), (Strings{"", "a"}));
    EXPECT_EQ(Lines("", -1), Strings{});
    EXPECT_EQ(Lines(nullptr, -1), Strings{});
    // With a limit, a lone line feed breaks like a carriage return.
    EXPECT_EQ(Lines("a\nb", 100), (Strings{"a", "b"}));
    EXPECT_EQ(Lines("\nab", 100), (Strings{"", "ab"}));
}

TEST_F(TextLayoutTest, WrappingBreaksAtSpacesAndKeepsOverlongWords) {
    // "ab" fits 35 and "ab c" does not: the line breaks after the first word.
    EXPECT_EQ(Lines("ab cd", 35), (Strings{"ab", "cd"}));
    // A run of spaces ends the line at its first space; the next line keeps the rest of the run.
    EXPECT_EQ(Lines("ab   cd", 35), (Strings{"ab", "  cd"}));
    // A word longer than the limit, whose first letter fits, stays one line.
    EXPECT_EQ(Lines("abcdef gh", 25), (Strings{"abcdef", "gh"}));
    // Line breaks inside a forced word stay in its line.
    EXPECT_EQ(Lines("abc\nd ef", 15).front(), std::string("abc\nd"));
    // A first character wider than the limit drops everything.
    EXPECT_EQ(Lines("abc", 5), Strings{});
    EXPECT_EQ(Text_Width("abc", -1, 5), 0);
    // Leading spaces belong to the drawn line but are not counted against the limit.
    EXPECT_EQ(Lines("  ab cd", 25), (Strings{"  ab", "cd"}));
}

TEST_F(TextLayoutTest, WidthsAndHeights) {
    EXPECT_EQ(Text_Width("ab#abcd", -1, -1), 40);
    EXPECT_EQ(Text_Width("ab cd", -1, 35), 20);
    EXPECT_EQ(Text_Height("", -1, -1), 0);
    EXPECT_EQ(Text_Height("a#b", -1, -1), 24);
    EXPECT_EQ(Text_Height("a#b#c", 5, -1), 22);
    // A character the font does not have adds nothing.
    CFontQN* font = Text_FontInUse();
    EXPECT_EQ(font->FindGlyph(200), nullptr);
    EXPECT_EQ(font->GetShift(200), 0);
    const uint32_t text[] = {'a', 200, 'b', 0};
    EXPECT_EQ(font->TextWidth(text), 20);
    EXPECT_EQ(font->TextWidth(nullptr), 0);
    EXPECT_EQ(font->FindGlyph('a')->x, ('a' - 32) * 2);
    EXPECT_EQ(font->GetHeight(), 12);
}

TEST_F(TextLayoutTest, TheFontInUseFallsBackToTheBuiltInFont) {
    Text_SetFont(3);
    EXPECT_EQ(Text_GetFont(), -1);
    EXPECT_EQ(Text_FontInUse(), Text_BuiltinFont());
    Text_SetHAlign(5);
    EXPECT_EQ(Text_GetHAlign(), 0);
    // The font the runner makes itself, without a device: measures with its glyph table.
    Text_Free();
    CFontQN* builtin = Text_FontInUse();
    ASSERT_NE(builtin, nullptr);
    EXPECT_EQ(Text_Width("A", -1, -1), BuiltinFont_GlyphTable['A' - kBuiltinFontFirst][2]);
}

// ---- the font table and "FONT" records ----

struct FontRecord {
    std::string name = "fnt";
    std::string face = "Arial";
    int32_t size = 12;
    uint32_t packed = 32;
    std::vector<std::string> glyphs{"g65", "g66"};
    std::string entry = "e0";
};

void AddFont(CDataBuilder::Chunk& c, const std::string& label, const FontRecord& r) {
    c.Label(label).Text(r.name).Text(r.face).S32(r.size).U32(1).U32(0).U32(r.packed).U32(127).Ref(r.entry);
    c.F32(2.0f).F32(1.0f).U32(static_cast<uint32_t>(r.glyphs.size()));
    for (const auto& g : r.glyphs)
        c.Ref(g);
}

class FontTableTest : public testing::Test {
protected:
    void TearDown() override {
        Font_Init();
        Game_FreeData();
    }
    bool Load(const std::vector<uint8_t>& bytes) { return LoadGameBytes(bytes, &log); }
    std::string log;
};

TEST_F(FontTableTest, RecordsFillTheTable) {
    FontRecord second;
    second.name = "second";
    second.face = "";
    second.packed = 0x02011F20u;
    second.glyphs = {};
    second.entry = "";
    CDataBuilder b;
    b.AddGeneralInfo({});
    auto& c = b.AddChunk("FONT").OffsetList({"f0", "f1", ""});
    AddFont(c, "f0", FontRecord{});
    AddFont(c, "f1", second);
    c.Label("g65").U16(65).U16(1).U16(2).U16(5).U16(7).U16(6).U16(0).U16(0);
    c.Label("g66").U16(66).U16(8).U16(2).U16(4).U16(9).U16(5).U16(1).U16(0);
    for (int i = 0; i < 256; ++i)
        c.U16(static_cast<uint16_t>(i == 65 ? 0x100 : i));
    b.AddChunk("TPAG").OffsetList({"e0"}).Label("e0").U16(3).U16(4).U16(20).U16(10).U16(0).U16(0).U16(20).U16(10)
        .U16(20).U16(10).U16(0);
    auto& page = b.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("raw").Label("raw");
    page.Bytes("RAW ", 4).U32(1).U32(1).U32(0).U32(0xFFFFFFFFu);
    ASSERT_TRUE(Load(b.Build())) << log;

    ASSERT_EQ(Font_Count(), 3);
    EXPECT_TRUE(Font_Exists(0));
    EXPECT_FALSE(Font_Exists(2));
    EXPECT_STREQ(Font_GetName(2), "<undefined>");
    EXPECT_STREQ(Font_GetName(1), "second");
    EXPECT_EQ(Font_Find("second"), 1);
    EXPECT_EQ(Font_Find("none"), -1);
    CFontQN* font = Font_Get(0);
    EXPECT_STREQ(font->GetName(), "Arial");
    EXPECT_TRUE(font->GetBold());
    EXPECT_FALSE(font->GetItalic());
    EXPECT_EQ(font->GetLast(), 127);
    EXPECT_EQ(font->GetScaleX(), 2.0f);
    EXPECT_EQ(font->GetHeight(), 9);
    ASSERT_NE(font->GetPageEntry(), nullptr);
    EXPECT_EQ(font->GetPageEntry()->sourceX, 3);
    const FontGlyph* b66 = font->FindGlyph('B');
    ASSERT_NE(b66, nullptr);
    EXPECT_EQ(b66->x, 8);
    EXPECT_EQ(b66->shift, 5);
    EXPECT_EQ(b66->offset, 1);
    EXPECT_EQ(font->FindGlyph('C'), nullptr);
    // The packed word: first in the low half, charset and antialias + 1 above it, each taken when not 0.
    CFontQN* packed = Font_Get(1);
    EXPECT_EQ(packed->GetFirst(), 0x1F20);
    EXPECT_EQ(packed->GetCharset(), 1);
    EXPECT_EQ(packed->GetAntialias(), 1);
    EXPECT_EQ(packed->GetName(), nullptr);
    EXPECT_EQ(font->GetFirst(), 32);
    EXPECT_EQ(font->GetCharset(), 0);
    EXPECT_EQ(font->GetAntialias(), 3);
    ASSERT_NE(Font_State().FontCharMap, nullptr);
    EXPECT_EQ(Font_State().FontCharMap[65], 0x100);

    // Deleting keeps the other indexes; added fonts take the next index and are named by it.
    EXPECT_TRUE(Font_Delete(1));
    EXPECT_FALSE(Font_Delete(1));
    EXPECT_FALSE(Font_Exists(1));
    int index = -1;
    const std::string added = ConsoleOutputOf([&] { index = Font_Add("missing.ttf", 16, false, false, 32, 127); });
    EXPECT_EQ(index, 3);
    EXPECT_STREQ(Font_GetName(3), "__newfont3");
    EXPECT_NE(added.find("FreeType :: unable to find font file missing.ttf"), std::string::npos) << added;
    EXPECT_EQ(Font_Get(3)->GetGlyphCount(), 0);
    // Replacing keeps the name; an index past the table is refused.
    EXPECT_TRUE(Font_Replace(0, "other.ttf", 10, false, false, 32, 127));
    EXPECT_STREQ(Font_GetName(0), "fnt");
    EXPECT_STREQ(Font_Get(0)->GetName(), "other.ttf");
    EXPECT_FALSE(Font_Replace(4, "x.ttf", 10, false, false, 32, 127));
    EXPECT_TRUE(Font_Replace(1, "x.ttf", 10, false, false, 32, 127));
    EXPECT_TRUE(Font_Exists(1));
    EXPECT_STREQ(Font_GetName(1), "<undefined>");
    // Sprite fonts of a sprite that does not exist are empty.
    EXPECT_EQ(Font_AddSprite(99, 32, true, 0), 4);
    EXPECT_EQ(Font_Get(4)->GetGlyphCount(), 0);
    EXPECT_EQ(Font_Get(4)->GetSprite(), -1);
}

TEST_F(FontTableTest, DamagedRecordsFailTheLoad) {
    auto fails = [&](std::vector<uint8_t> bytes, const char* what) {
        EXPECT_FALSE(Load(bytes)) << what;
        EXPECT_NE(log.find("Chunk FONT"), std::string::npos) << what << ": " << log;
    };
    auto build = [](void (*edit)(CDataBuilder::Chunk&)) {
        CDataBuilder b;
        b.AddGeneralInfo({});
        auto& c = b.AddChunk("FONT").OffsetList({"f0"});
        edit(c);
        return b.Build();
    };
    // Glyph count beyond the chunk.
    fails(build([](CDataBuilder::Chunk& c) {
              c.Label("f0").Text("n").Text("f").S32(1).U32(0).U32(0).U32(32).U32(0).U32(0).F32(1).F32(1);
              c.U32(0x40000000u).Zeros(512);
          }),
          "glyph count");
    // A glyph record outside the chunk.
    fails(build([](CDataBuilder::Chunk& c) {
              c.Label("f0").Text("n").Text("f").S32(1).U32(0).U32(0).U32(32).U32(0).U32(0).F32(1).F32(1);
              c.U32(1).U32(0x7FFFFFF0u).Zeros(512);
          }),
          "glyph record");
    // A record cut short by its chunk (no room for the character map either).
    fails(build([](CDataBuilder::Chunk& c) { c.Label("f0").Text("n").U32(0); }), "short record");
    // A page entry outside the file.
    fails(build([](CDataBuilder::Chunk& c) {
              c.Label("f0").Text("n").Text("f").S32(1).U32(0).U32(0).U32(32).U32(0).U32(0x7FFFFFF0u).F32(1);
              c.F32(1).U32(0).Zeros(512);
          }),
          "page entry");
    // A face name that runs off the end of the file (the FONT chunk comes last).
    CDataBuilder b;
    b.AddGeneralInfo({});
    b.StringTable();
    auto& c = b.AddChunk("FONT").OffsetList({"f0"});
    c.Label("f0").Text("n").U32(0).Zeros(36).Zeros(512);
    std::vector<uint8_t> bytes = b.Build();
    const uint32_t last = static_cast<uint32_t>(bytes.size()) - 1;
    bytes.back() = 'x';
    std::memcpy(bytes.data() + (bytes.size() - 512 - 40), &last, 4);
    fails(bytes, "face name");
}

// ---- sprite fonts ----

class SpriteFontTest : public testing::Test {
protected:
    void SetUp() override {
        Font_Init();
        sprite = Sprite_AddEmpty();
        CSprite* s = Sprite_Data(sprite);
        s->frameCount = 3;
        s->width = 8;
        s->height = 10;
    }
    void TearDown() override {
        Font_Init();
        Sprite_Free();
    }
    // Characters, shifts and offsets of a font's glyphs in order.
    std::string Glyphs(int font) {
        std::string out;
        CFontQN* f = Font_Get(font);
        for (int i = 0; i < f->GetGlyphCount(); ++i) {
            const FontGlyph& g = f->GlyphAt(i);
            out += std::to_string(g.character) + ":" + std::to_string(g.w) + "/" + std::to_string(g.shift) + "/" +
                   std::to_string(g.offset) + " ";
        }
        return out;
    }
    int sprite = -1;
};

TEST_F(SpriteFontTest, FramesBecomeGlyphsAndEveryFontHasASpace) {
    // Not proportional: each glyph as wide as the sprite plus the separation. Only as many characters as
    // frames are kept, and a space as wide as the widest glyph is added.
    const int plain = Font_AddSpriteExt(sprite, "abcd", false, 2);
    EXPECT_EQ(Glyphs(plain), "32:3/10/0 97:0/10/0 98:1/10/0 99:2/10/0 ");
    EXPECT_EQ(Font_Get(plain)->GetFirst(), 32);
    EXPECT_EQ(Font_Get(plain)->GetLast(), 36);
    EXPECT_EQ(Font_Get(plain)->GetHeight(), 10);
    EXPECT_EQ(Font_Get(plain)->GetSprite(), sprite);
    // A space among the kept characters is the font's own; one beyond the frames is not kept, so a
    // space is added.
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "a c", false, 0)), "32:1/8/0 97:0/8/0 99:2/8/0 ");
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "abc ", false, 0)), "32:3/8/0 97:0/8/0 98:1/8/0 99:2/8/0 ");
    // A character of four bytes takes one frame, and the one after it the next.
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "a\xF0\x9F\x98\x80" "b", false, 0)),
              "32:3/8/0 97:0/8/0 98:2/8/0 128512:1/8/0 ");

    // Proportional: each frame's box on its page gives the shift and the offset.
    static TPageEntry entries[3] = {{0, 0, 4, 10, 2, 0, 4, 10, 8, 10, 0},
                                    {0, 0, 6, 10, 1, 0, 6, 10, 8, 10, 0},
                                    {0, 0, 2, 10, 3, 0, 2, 10, 8, 10, 0}};
    CSprite* s = Sprite_Data(sprite);
    s->pageEntries = static_cast<TPageEntry**>(MEM_ALLOC(3 * sizeof(TPageEntry*)));
    for (int i = 0; i < 3; ++i)
        s->pageEntries[i] = &entries[i];
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "xyz", true, 1)), "32:3/7/0 120:0/5/-2 121:1/7/-1 122:2/3/-3 ");

    // From a first code: without a character map, and past code 255, the codes themselves.
    EXPECT_EQ(Glyphs(Font_AddSprite(sprite, 300, false, 0)), "32:3/8/0 300:0/8/0 301:1/8/0 302:2/8/0 ");
    EXPECT_EQ(Glyphs(Font_AddSprite(sprite, 65, false, 0)), "32:3/8/0 65:0/8/0 66:1/8/0 67:2/8/0 ");
    EXPECT_TRUE(Font_ReplaceSprite(0, sprite, 48, false, 0));
    EXPECT_EQ(Glyphs(0), "32:3/8/0 48:0/8/0 49:1/8/0 50:2/8/0 ");
}

// The glyphs keep the low 16 bits of the frame's width plus the separation, also where that sum passes
// the 32-bit limits: the largest int separates as -1 does, and as 65535 does.
TEST_F(SpriteFontTest, ASeparationAtTheLimitsKeepsItsLow16Bits) {
    const std::string minusOne = Glyphs(Font_AddSpriteExt(sprite, "ab", false, -1));
    EXPECT_EQ(minusOne, "32:2/7/0 97:0/7/0 98:1/7/0 ");
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "ab", false, 65535)), minusOne);
    EXPECT_EQ(Glyphs(Font_AddSpriteExt(sprite, "ab", false, INT32_MAX)), minusOne);
}

class SpriteFontDrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartRecording(64, 64);
        Frame_State().View_DrawRegion = IntRect{0, 0, 63, 63};
        Font_Init();
        const int sprite = Sprite_AddEmpty();
        CSprite* s = Sprite_Data(sprite);
        s->frameCount = s->textureCount = 2;
        s->width = 8;
        s->height = 10;
        s->cullRadius = 13;
        s->textures = static_cast<int32_t*>(MEM_ALLOC(2 * sizeof(int32_t)));
        for (int i = 0; i < 2; ++i)
            s->textures[i] = Texture_Create(8, 10, false);
        Text_SetFont(Font_AddSpriteExt(sprite, "ab", false, 2));
        Text_SetHAlign(0);
        Text_SetVAlign(0);
        Graphics::Flush();
        Recording().ClearLog();
    }
    void TearDown() override {
        Text_SetFont(-1);
        Font_Init();
        Sprite_Free();
        Frame_State().View_DrawRegion = IntRect{0, 0, 0, 0};
        GraphicsDeviceTest::TearDown();
    }
    // The left edge of each frame drawn, in the order drawn.
    std::vector<float> FrameLefts() {
        Graphics::Flush();
        std::vector<float> lefts;
        for (const D3DCall* draw : Draws()) {
            const auto v = VerticesOf(*draw);
            const size_t perQuad = draw->a == static_cast<uint32_t>(D3DPT_TRIANGLEFAN) ? 4 : 6;
            for (size_t q = 0; q + perQuad <= v.size(); q += perQuad) {
                float left = 1e9f;
                for (size_t k = q; k < q + perQuad; ++k)
                    left = std::min(left, v[k].x);
                lefts.push_back(left);
            }
        }
        Recording().ClearLog();
        return lefts;
    }
};

TEST_F(SpriteFontDrawTest, FramesAreDrawnAtThePenAndSpacesOnlyAdvance) {
    Text_Draw(10, 5, "a b", -1, -1);
    EXPECT_EQ(FrameLefts(), (std::vector<float>{10, 30}));
    Text_DrawColour(10, 5, "ba", -1, -1, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 1);
    EXPECT_EQ(FrameLefts(), (std::vector<float>{10, 20}));
    // A sprite deleted later leaves a font that draws nothing.
    Sprite_Free();
    Text_Draw(10, 5, "ab", -1, -1);
    EXPECT_TRUE(FrameLefts().empty());
}

// ---- drawn text ----

using V24 = Vertex24;

class TextDrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartRecording(256, 128);
        texture = Texture_Create(256, 128, false);
        Text_SetFont(-1);
        Text_SetBuiltinFont(MakeTestFont(texture));
        Text_SetHAlign(0);
        Text_SetVAlign(0);
        GR_Draw_SetColour(0x0000FFu);
    }
    void TearDown() override {
        Text_Free();
        GraphicsDeviceTest::TearDown();
    }
    std::vector<V24> Drawn() {
        Graphics::Flush();
        std::vector<V24> out;
        for (const D3DCall* draw : Draws()) {
            const auto v = VerticesOf(*draw);
            out.insert(out.end(), v.begin(), v.end());
        }
        Recording().ClearLog();
        return out;
    }
    // The characters of the drawn quads, told by the left u of each, and the left x of the first.
    std::string Characters(const std::vector<V24>& v) {
        std::string s;
        for (size_t i = 0; i + 5 < v.size(); i += 6)
            s += static_cast<char>(std::lround((v[i].u * 256.0f + 0.5f) / 2.0f) + 32);
        return s;
    }
    int texture = -1;
};

TEST_F(TextDrawTest, GlyphQuadsWithTheirMarginsTexturesAndColours) {
    Text_Draw(10, 20, "AB", -1, -1);
    const auto v = Drawn();
    ASSERT_EQ(v.size(), 12u);
    // Glyph A: the quad reaches half a pixel beyond its 10 x 12 box, and so do its texture coordinates.
    EXPECT_FLOAT_EQ(v[0].x, 9.5f);
    EXPECT_FLOAT_EQ(v[0].y, 19.5f);
    EXPECT_FLOAT_EQ(v[2].x, 20.5f);
    EXPECT_FLOAT_EQ(v[2].y, 32.5f);
    EXPECT_FLOAT_EQ(v[0].u, (66.0f - 0.5f) / 256.0f);
    EXPECT_FLOAT_EQ(v[2].v, 12.5f / 128.0f);
    EXPECT_EQ(v[0].colour, 0xFFFF0000u);
    // The order of the corners; B starts one advance on.
    EXPECT_EQ(v[1].x, v[2].x);
    EXPECT_EQ(v[4].x, v[0].x);
    EXPECT_FLOAT_EQ(v[6].x, 19.5f);
    EXPECT_EQ(Characters(v), "AB");

    // A character the font lacks gets a degenerate quad and does not advance.
    Text_Draw(0, 0, "A\xC3\xA9" "B", -1, -1);
    const auto missing = Drawn();
    ASSERT_EQ(missing.size(), 18u);
    for (int i = 6; i < 12; ++i)
        EXPECT_TRUE(missing[i].x == 0 && missing[i].y == 0 && missing[i].u == 0) << i;
    EXPECT_FLOAT_EQ(missing[12].x, 9.5f);

    // Alignment: centred text of odd width moves left by half of it, rounded toward zero.
    Text_SetHAlign(1);
    Text_SetVAlign(2);
    Text_Draw(100, 50, "ABC", -1, -1);
    const auto centred = Drawn();
    ASSERT_EQ(centred.size(), 18u);
    EXPECT_FLOAT_EQ(centred[0].x, 100 - 15 - 0.5f);
    EXPECT_FLOAT_EQ(centred[0].y, 50 - 12 - 0.5f);
    Text_SetHAlign(2);
    Text_SetVAlign(1);
    Text_Draw(100, 50, "A#BC", 7, -1);
    const auto right = Drawn();
    ASSERT_EQ(right.size(), 18u);
    EXPECT_FLOAT_EQ(right[0].x, 100 - 10 - 0.5f);
    EXPECT_FLOAT_EQ(right[0].y, 50 - 7 - 0.5f);
    EXPECT_FLOAT_EQ(right[6].x, 100 - 20 - 0.5f);
    EXPECT_FLOAT_EQ(right[6].y, 50 - 7 + 7 - 0.5f);
}

TEST_F(TextDrawTest, TransformedTextTurnsAboutThePenAndGivesBackMissingGlyphs) {
    // Below 0.001 degrees the text is drawn unrotated, with the scales in place of the font's.
    Text_DrawTransformed(10, 20, "A", -1, -1, 2, 3, 0.0005f);
    auto v = Drawn();
    ASSERT_EQ(v.size(), 6u);
    EXPECT_FLOAT_EQ(v[2].x, 10 + 20 + 0.5f);
    EXPECT_FLOAT_EQ(v[2].y, 20 + 36 + 0.5f);
    // A quarter turn: the glyph's width runs up the screen and the pen moves up.
    Text_DrawTransformed(10, 20, "A\xC3\xA9" "B", -1, -1, 1, 1, 90);
    v = Drawn();
    ASSERT_EQ(v.size(), 12u) << "the missing glyph's vertices are given back";
    EXPECT_NEAR(v[0].x, 9.5f, 1e-4);
    EXPECT_NEAR(v[1].y, 20 - 10 - 0.5f, 1e-4);
    EXPECT_NEAR(v[2].x, 10 + 12 + 0.5f, 1e-4);
    EXPECT_NEAR(v[6].y, 20 - 10 - 0.5f, 1e-4);
    EXPECT_EQ(Characters(v), "AB");
    // Two lines step along the rotated down direction by the separation.
    Text_DrawTransformed(10, 20, "A#B", 12, -1, 1, 1, 90);
    v = Drawn();
    ASSERT_EQ(v.size(), 12u);
    EXPECT_NEAR(v[6].x, 10 + 12 - 0.5f, 1e-4);
    EXPECT_NEAR(v[6].y, 19.5f, 1e-4);
}

TEST_F(TextDrawTest, GradientsRunAlongEachLine) {
    Text_DrawColour(0, 0, "AB", -1, -1, 0x0000FFu, 0xFF0000u, 0xFF0000u, 0x0000FFu, 1.0f);
    const auto v = Drawn();
    ASSERT_EQ(v.size(), 12u);
    // The left corners of A are c1 and c4; the right corners of B are c2 and c3; between them half-way.
    EXPECT_EQ(v[0].colour, 0xFFFF0000u);
    EXPECT_EQ(v[6 + 1].colour, 0xFF0000FFu);
    uint32_t middle = 0;
    for (const V24& p : v)
        if (p.x > 9.0f && p.x < 11.0f && p.y < 1.0f) middle = p.colour;
    EXPECT_EQ(middle, 0xFF800080u);
}

TEST_F(TextDrawTest, DrawTextShowsValuesAsText) {
    static bool registered = false;
    if (!registered) InitTextFunctions();
    registered = true;
    auto shown = [&](Arg value) {
        CallBuiltIn("draw_text", {0.0, 0.0, value});
        return Characters(Drawn());
    };
    EXPECT_EQ(shown(-7.0), "-7");
    EXPECT_EQ(shown(0.1), "0.10");
    EXPECT_EQ(shown(16777217.0), "16777216");
    EXPECT_EQ(shown(std::numeric_limits<double>::quiet_NaN()), "NaN");
    EXPECT_EQ(shown(3e9), "3000000000.00");
    EXPECT_EQ(shown("x y"), "x y");
    EXPECT_EQ(CallReal("string_width", {"abc"}), 30);
    EXPECT_EQ(CallReal("string_width", {12345.0}), 0) << "numbers are not measured";
    EXPECT_EQ(CallReal("string_height_ext", {"ab cd", 5.0, 35.0}), 17);
    EXPECT_EQ(CallReal("string_width_ext", {"ab cd", -1.0, -1.0}), 50);
}

// ---- fonts from font files ----

// The one font file these tests read comes from Debian's fonts-dejavu-core, which scripts/setup.sh
// installs. Without it the tests are skipped.
constexpr const char* kFontFolder = "/usr/share/fonts/truetype/dejavu/";
constexpr const char* kFontFile = "DejaVuSans.ttf";

// A glyph record without putting it into the cache.
const FontGlyph* Peek(CFontQN* font, char c) {
    for (int i = 0; i < font->GetGlyphCount(); ++i)
        if (font->GlyphAt(i).character == static_cast<uint8_t>(c)) return &font->GlyphAt(i);
    return nullptr;
}

class FontFileTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        if (access((std::string(kFontFolder) + kFontFile).c_str(), R_OK) != 0)
            GTEST_SKIP() << "no font file at " << kFontFolder << kFontFile;
        StartRecording(64, 64);
        folder.SetEnv("XDG_DATA_HOME", folder / "data");
        LoadSave_SetGamePath((std::string(kFontFolder) + "game.win").c_str());
        Font_Init();
        Text_SetHAlign(0);
        Text_SetVAlign(0);
    }
    void TearDown() override {
        Text_SetFont(-1);
        Font_Init();
        LoadSave_SetGamePath("");
        LoadSave_Reset();
        GraphicsDeviceTest::TearDown();
    }
    TempFolder folder;
};

TEST_F(FontFileTest, GlyphsTakeTheirMetricsAtOnceAndTheirImagesWhenFirstDrawn) {
    const int index = Font_Add(kFontFile, 16, false, false, -5, 300);
    CFontQN* font = Font_Get(index);
    ASSERT_GT(font->GetGlyphCount(), 100);
    EXPECT_EQ(font->GetFirst(), 0);
    EXPECT_EQ(font->GetLast(), 255);
    EXPECT_GT(font->GetHeight(), 16);
    EXPECT_GE(font->GetOwnTexture(), 0);
    Text_SetFont(index);
    // Measuring does not render.
    EXPECT_GT(Text_Width("Hello", -1, -1), 30);
    ASSERT_NE(Peek(font, 'A'), nullptr);
    EXPECT_EQ(Peek(font, 'A')->x, kGlyphNotResident);
    Graphics::Flush();
    Recording().ClearLog();
    Text_Draw(0, 0, "AV", -1, -1);
    Graphics::Flush();
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_EQ(Draws()[0]->data.size(), 12u * 24u);
    EXPECT_NE(Peek(font, 'A')->x, kGlyphNotResident);
    EXPECT_NE(Peek(font, 'V')->x, kGlyphNotResident);
    EXPECT_NE(Peek(font, 'A')->x * 1000 + Peek(font, 'A')->y, Peek(font, 'V')->x * 1000 + Peek(font, 'V')->y);
}

// A font file's characters beyond 16 bits are glyphs as the others are: DejaVu Sans has U+1F600.
TEST_F(FontFileTest, ACharacterBeyondSixteenBitsIsDrawnWhenTheFaceHasIt) {
    const int index = Font_Add(kFontFile, 16, false, false, 32, 127);
    CFontQN* font = Font_Get(index);
    Text_SetFont(index);
    const FontGlyph* smile = font->FindGlyph(0x1F600);
    ASSERT_NE(smile, nullptr);
    EXPECT_GT(smile->shift, 0);
    EXPECT_EQ(Text_Width("x\xF0\x9F\x98\x80y", -1, -1), Text_Width("xy", -1, -1) + smile->shift);
    Graphics::Flush();
    Recording().ClearLog();
    Text_Draw(0, 0, "x\xF0\x9F\x98\x80y", -1, -1);
    Graphics::Flush();
    ASSERT_EQ(Draws().size(), 1u);
    EXPECT_EQ(Draws()[0]->data.size(), 3u * 6u * 24u);
}

TEST_F(FontFileTest, ReusingACellStillDrawnInTheBatchSendsTheBatchFirst) {
    // At size 100 the cells are large, so the cache holds only a few glyphs.
    const int index = Font_Add(kFontFile, 100, false, false, 32, 127);
    CFontQN* font = Font_Get(index);
    const int cells = font->Cache().CellCount();
    ASSERT_GT(cells, 0);
    ASSERT_LT(cells, 20);
    Text_SetFont(index);
    std::string text;
    for (int i = 0; i <= cells; ++i)
        text += static_cast<char>('A' + i);
    Graphics::Flush();
    Recording().ClearLog();
    Text_Draw(0, 0, text.c_str(), -1, -1);
    Graphics::Flush();
    // The first cells glyphs go out before the first cell is filled again; the rest follows.
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0]->data.size(), static_cast<size_t>(cells) * 6 * 24);
    EXPECT_EQ(draws[1]->data.size(), 6u * 24u);
    // The first glyph was evicted, and the last took its cell: every other glyph keeps its own.
    EXPECT_EQ(Peek(font, 'A')->x, kGlyphNotResident);
    const FontGlyph* last = Peek(font, text.back());
    ASSERT_NE(last->x, kGlyphNotResident);
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        const FontGlyph* g = Peek(font, text[i]);
        EXPECT_FALSE(g->x == last->x && g->y == last->y) << text[i];
    }
}

TEST_F(FontFileTest, AFaceTooLargeForOneCellDrawsNothingButAdvances) {
    const int index = Font_Add(kFontFile, 600, false, false, 32, 127);
    CFontQN* font = Font_Get(index);
    EXPECT_EQ(font->Cache().CellCount(), 0);
    Text_SetFont(index);
    Graphics::Flush();
    Recording().ClearLog();
    Text_Draw(0, 0, "AB", -1, -1);
    Graphics::Flush();
    // Only degenerate quads.
    for (const D3DCall* draw : Draws())
        for (size_t i = 0; i + 24 <= draw->data.size(); i += 24) {
            float xy[2];
            std::memcpy(xy, draw->data.data() + i, 8);
            EXPECT_TRUE(xy[0] == 0 && xy[1] == 0);
        }
    ASSERT_NE(Peek(font, 'A'), nullptr);
    EXPECT_EQ(Peek(font, 'A')->x, kGlyphNotResident);
    EXPECT_GT(Text_Width("AB", -1, -1), 600);
}

// The font built-ins add, read back, replace and delete; a file that is not a font, or an absurd size,
// still gives a font that draws nothing, and a font that does not exist reads as -1, false or "".
TEST_F(FontFileTest, TheFontBuiltInsAddReadBackAndDelete) {
    int id;
    if (!Code_Function_Find("font_add", id)) InitFontResourceFunctions();
    const int index = static_cast<int>(CallReal("font_add", {kFontFile, 16.0, 1.0, 0.0, 32.0, 127.0}));
    EXPECT_EQ(CallBuiltIn("font_get_name", {index}).Text(), "__newfont" + std::to_string(index));
    EXPECT_EQ(CallBuiltIn("font_get_fontname", {index}).Text(), kFontFile);
    EXPECT_EQ(CallReal("font_get_size", {index}), 16);
    EXPECT_EQ(CallReal("font_get_bold", {index}), 1);
    EXPECT_EQ(CallReal("font_get_italic", {index}), 0);
    EXPECT_EQ(CallReal("font_get_first", {index}), 32);
    EXPECT_EQ(CallReal("font_get_last", {index}), 127);
    EXPECT_GT(Font_Get(index)->GetGlyphCount(), 90);

    ASSERT_TRUE(LoadSave_WriteFile("notafont.ttf", "plain text, not a font", 22));
    std::string said = ConsoleOutputOf([&] {
        EXPECT_EQ(CallReal("font_replace", {index, "notafont.ttf", 12.0, 0.0, 1.0, 32.0, 127.0}), 1);
    });
    EXPECT_NE(said.find("Unable to open font file notafont.ttf"), std::string::npos) << said;
    EXPECT_EQ(CallReal("font_get_italic", {index}), 1);
    EXPECT_EQ(Font_Get(index)->GetGlyphCount(), 0);
    EXPECT_EQ(CallReal("font_replace", {index + 1, kFontFile, 12.0, 0.0, 0.0, 32.0, 127.0}), 0);
    for (double size : {-16.0, 0.0, 1e9}) {
        const int odd = static_cast<int>(CallReal("font_add", {kFontFile, size, 0.0, 0.0, 32.0, 127.0}));
        Text_SetFont(odd);
        Text_Draw(0, 0, "Ab", -1, -1);
        EXPECT_EQ(CallReal("font_delete", {odd}), 1);
    }

    EXPECT_EQ(CallReal("font_delete", {index}), 1);
    EXPECT_EQ(CallReal("font_exists", {index}), 0);
    EXPECT_EQ(CallReal("font_delete", {index}), 0);
    EXPECT_EQ(CallBuiltIn("font_get_name", {index}).Text(), "");
    EXPECT_EQ(CallBuiltIn("font_get_fontname", {-1}).Text(), "");
    EXPECT_EQ(CallReal("font_get_size", {index}), -1);
    EXPECT_EQ(CallReal("font_get_last", {1e300}), -1);
    EXPECT_EQ(CallReal("font_get_bold", {index}), 0);
}

// ---- pixels ----

// The built-in font on a device of its own, and text drawn white on black in a frame.
class TextPixelTest : public GraphicsDeviceTest {
protected:
    void StartWithBuiltinFont(int width, int height) {
        StartDevice(D3DBackend::OpenGL, width, height);
        table = EmbeddedImage_BuiltinTable(size);
        EmbeddedImage_SetTable(table, size);
        Text_Free();
        Text_SetFont(-1);
    }
    void TearDown() override {
        Text_Free();
        EmbeddedImage_SetTable(nullptr, 0);
        GraphicsDeviceTest::TearDown();
    }
    static std::vector<uint32_t> Drawn(const char* text) {
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFF000000u);
        GR_Draw_SetColour(0xFFFFFFu);
        Text_Draw(3, 2, text, -1, -1);
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels();
    }
    const uint8_t* table = nullptr;
    uint32_t size = 0;
};

TEST_F(TextPixelTest, TheBuiltInFontDrawsItsGlyphImageOnItsPixels) {
    StartWithBuiltinFont(32, 24);
    const std::vector<uint32_t> pixels = Drawn("A");

    // The expected picture: the glyph's rectangle of the font image, its opaque texels white at (3, 2).
    const uint8_t* image = nullptr;
    uint32_t bytes = 0;
    ASSERT_TRUE(EmbeddedImage_Find(table, size, kEmbeddedImageFont, image, bytes));
    const uint8_t* glyph = BuiltinFont_GlyphTable['A' - kBuiltinFontFirst];
    std::vector<uint32_t> expected(32 * 24, 0xFF000000u);
    for (int y = 0; y < glyph[3]; ++y)
        for (int x = 0; x < glyph[2]; ++x) {
            const uint8_t* texel = image + 16 + ((glyph[1] + y) * 256 + glyph[0] + x) * 4;
            if (texel[3] == 255) expected[static_cast<size_t>(2 + y) * 32 + 3 + x] = 0xFFFFFFFFu;
        }
    EXPECT_EQ(PixelMask(pixels, 32, 0xFFFFFFFFu), PixelMask(expected, 32, 0xFFFFFFFFu));
    EXPECT_NE(PixelMask(expected, 32, 0xFFFFFFFFu).find('#'), std::string::npos);
}

// A character the font lacks is skipped whole, however many bytes it takes: "x", U+1F600 and "y" give the
// pixels of "xy". A stray byte is the character of its code, and the "y" after it stays a "y".
TEST_F(TextPixelTest, ACharacterOfFourBytesIsSkippedWholeAndTheNextLetterDrawn) {
    StartWithBuiltinFont(48, 24);
    const std::vector<uint32_t> xy = Drawn("xy");
    ASSERT_NE(std::count(xy.begin(), xy.end(), 0xFF000000u), static_cast<ptrdiff_t>(xy.size()));
    EXPECT_EQ(Drawn("x\xF0\x9F\x98\x80y"), xy);
    EXPECT_EQ(Text_Width("x\xF0\x9F\x98\x80y", -1, -1), Text_Width("xy", -1, -1));
    EXPECT_EQ(Drawn("x\x80y"), Drawn("x\xC2\x80y"));
    EXPECT_NE(Drawn("x\x80y"), xy);
}

} // namespace
