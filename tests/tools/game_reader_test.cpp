// Game descriptions read into games, and the mistakes, damaged files and outsized inputs the reader
// refuses with their line and reason.
#include "game_writer.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <unistd.h>
#include <zlib.h>

namespace {

constexpr const char* kFontFile = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

GameImage Filled(int w, int h, uint8_t alpha = 255) {
    GameImage image;
    image.width = w;
    image.height = h;
    image.rgba.assign(static_cast<size_t>(w) * h * 4, alpha);
    return image;
}

std::string Png(const GameImage& image) {
    const std::vector<uint8_t> bytes = GameImage_EncodePNG(image);
    return std::string(bytes.begin(), bytes.end());
}

// A PNG whose header gives the size, with the image data of an empty 1 x 1 image.
std::string PngOfHeader(uint32_t width, uint32_t height) {
    auto be32 = [](uint32_t v) {
        return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    };
    auto chunk = [&](const std::string& tag, const std::string& data) {
        const std::string body = tag + data;
        return be32(static_cast<uint32_t>(data.size())) + body +
               be32(static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                                static_cast<uInt>(body.size()))));
    };
    const std::string ihdr = be32(width) + be32(height) + std::string("\x08\x06\x00\x00\x00", 5);
    uLongf size = 64;
    Bytef packed[64];
    const Bytef row[5] = {0, 0, 0, 0, 0};
    compress(packed, &size, row, sizeof row);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", ihdr) +
           chunk("IDAT", std::string(reinterpret_cast<char*>(packed), size)) + chunk("IEND", "");
}

class Description : public testing::Test {
protected:
    void SetUp() override {
        TempFolder::Write(folder / "code.txt", "x = 1;");
        TempFolder::Write(folder / "strip.png", Png(Filled(12, 4)));
        TempFolder::Write(folder / "floor.png", Png(Filled(32, 16)));
        TempFolder::Write(folder / "text.png", "a text, not an image");
    }
    // The description read from the folder; the error when it is refused.
    std::string Parse(const std::string& text) {
        game = GameDescription();
        std::string error;
        return GameFile_Parse(text, folder.Path(), &game, &error) ? "" : error;
    }

    TempFolder folder;
    GameDescription game;
};

TEST_F(Description, EveryStatementIsRead) {
    ASSERT_EQ(Parse(R"(game G 100 80
sprite_image spr strip.png 3 2 1     # three 4 x 4 frames
sprite_bbox spr manual 1 0 2 3
sprite_mask spr ellipse separate 9
sprite box 8 8 0 0 box ff0000
background_image floor floor.png
font_sprite fnt spr 65 fixed 2
script scr code.txt
shader sh code.txt code.txt
path p smooth closed 3
point p 1.5 2 100
point p 10 -20 50
timeline t
moment t 9 code.txt
moment t 3 code.txt
object o spr 5
event o step 0 code.txt
room r 200 150 60 102030 floor
room_background r 2 floor -3 4 down 1 -2 stretch foreground
view r 1 0 10 100 80 5 6 200 160 o 20 30 4 -1
view r 0 0 0 50 40 0 0 50 40
tile r floor 16 0 16 16 40 50 -7
tile r floor 0 0 8 8 0 0 0
instance r o 3 4
)"),
              "");
    ASSERT_EQ(game.sprites.size(), 2u);
    const GameSprite& s = game.sprites[0];
    EXPECT_EQ(s.frames.size(), 3u);
    EXPECT_EQ(s.frames[0].width, 4);
    EXPECT_EQ(s.xOrigin, 2);
    EXPECT_EQ(s.yOrigin, 1);
    EXPECT_EQ(s.bboxMode, 2);
    EXPECT_EQ(std::vector<int>(s.bbox, s.bbox + 4), (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(s.maskKind, MASK_ELLIPSE);
    EXPECT_TRUE(s.separateMasks);
    EXPECT_EQ(s.tolerance, 9);
    EXPECT_EQ(game.backgrounds[0].image.width, 32);
    ASSERT_EQ(game.fonts.size(), 1u);
    EXPECT_EQ(game.fonts[0].name, "fnt");
    EXPECT_EQ(game.fonts[0].glyphs.size(), 4u);
    EXPECT_EQ(game.shaders[0].vertex, "x = 1;");
    const GamePath& p = game.paths[0];
    EXPECT_EQ(p.kind, 1);
    EXPECT_TRUE(p.closed);
    EXPECT_EQ(p.precision, 3);
    ASSERT_EQ(p.points.size(), 2u);
    EXPECT_EQ(p.points[0], (std::array<float, 3>{1.5f, 2, 100}));
    EXPECT_EQ(p.points[1], (std::array<float, 3>{10, -20, 50}));
    ASSERT_EQ(game.timelines[0].moments.size(), 2u);
    EXPECT_EQ(game.timelines[0].moments[0].first, 3) << "moments in ascending steps";
    const GameRoom& r = game.rooms[0];
    EXPECT_EQ(r.background, 0);
    ASSERT_EQ(r.backgrounds.size(), 1u);
    const GameRoomBackground& b = r.backgrounds[0];
    EXPECT_EQ(b.slot, 2);
    EXPECT_EQ(b.x, -3);
    EXPECT_EQ(b.y, 4);
    EXPECT_FALSE(b.htiled);
    EXPECT_TRUE(b.vtiled);
    EXPECT_EQ(b.hspeed, 1);
    EXPECT_EQ(b.vspeed, -2);
    EXPECT_TRUE(b.stretch);
    EXPECT_TRUE(b.foreground);
    ASSERT_EQ(r.views.size(), 2u);
    const GameView& v = r.views[0];
    EXPECT_EQ(v.slot, 1);
    EXPECT_EQ(std::vector<int>({v.x, v.y, v.width, v.height, v.portX, v.portY, v.portWidth, v.portHeight}),
              (std::vector<int>{0, 10, 100, 80, 5, 6, 200, 160}));
    EXPECT_EQ(std::vector<int>({v.object, v.hborder, v.vborder, v.hspeed, v.vspeed}),
              (std::vector<int>{0, 20, 30, 4, -1}));
    EXPECT_EQ(r.views[1].object, -1);
    ASSERT_EQ(r.tiles.size(), 2u);
    const GameTile& t = r.tiles[0];
    EXPECT_EQ(std::vector<int>({t.x, t.y, t.background, t.left, t.top, t.width, t.height, t.depth, t.id}),
              (std::vector<int>{40, 50, 0, 16, 0, 16, 16, -7, 10000001}));
    EXPECT_EQ(r.tiles[1].id, 10000002);
    EXPECT_EQ(r.instances[0].id, 100001);

    // The whole game builds.
    std::string error;
    EXPECT_FALSE(GameFile_Build(game, true, &error).empty()) << error;
}

TEST_F(Description, MistakesAreRefusedWithTheirLineAndReason) {
    const std::string room = "room r 64 48 30 000000 -\n";
    const struct {
        std::string text, message;
    } cases[] = {
        // words
        {"game G 320 240\nobject o spr 0\n", "line 2: no sprite named spr"},
        {"sprite s 8 8 0 0 disc ff00\n", "line 1: bad colour ff00 (RRGGBB or RRGGBBAA)"},
        {"sprite s 8 8 0 0 star ff0000\n", "line 1: unknown shape star (disc, box, checker)"},
        {"# a comment\n\nbackground b 0 8 box ff0000\n", "line 3: 0 is out of range (1 to 4096)"},
        {"object o - 0\nevent o landing 0 code.txt\n", "line 2: unknown event kind landing"},
        {"object o - 0\nevent o keyboard -9 code.txt\n", "line 2: -9 is out of range (0 to 255)"},
        {"object o - 0\nevent o alarm 12 code.txt\n", "line 2: 12 is out of range (0 to 11)"},
        {"object o - 0\nevent o collision 1 code.txt\n", "line 2: 1 is out of range (0 to 0)"},
        {"object o - 0\nevent o step 0 code.txt\nevent o 3 0 code.txt\n", "line 3: object o has a step 0 event already"},
        {"room r 64 48 30 green -\n", "line 1: bad colour green (RRGGBB or RRGGBBAA)"},
        {"room r 64 48\n", "line 1: wrong word count for room, which reads: room NAME WIDTH HEIGHT SPEED COLOUR BACKGROUND|-"},
        {"path p straight open\n", "line 1: wrong word count for path, which reads: path NAME straight|smooth open|closed PRECISION"},
        {"dance now\n", "line 1: unknown statement dance (the statements: game, title, sprite, sprite_image, "
                        "sprite_bbox, sprite_mask, background, background_image, font, font_sprite, script, shader, "
                        "path, point, timeline, moment, object, event, room, room_background, view, tile, instance)"},
        {"object 9lives - 0\n", "line 1: bad object name 9lives (letters, digits and _, not starting with a digit)"},
        {"path p curly open 4\n", "line 1: unknown path kind curly (straight, smooth)"},
        {"path p smooth open 9\n", "line 1: 9 is out of range (0 to 8)"},
        {"sprite_image s strip.png 5 0 0\n", "line 1: the image is 12 pixels wide, which does not cut into 5 frames of one width"},
        {"sprite_image s strip.png 1 0 0\nsprite_bbox s manual 0 0 12 3\n", "line 2: 12 is out of range (0 to 11)"},
        {"sprite_image s strip.png 1 0 0\nsprite_bbox s full 0 0 1 1\n",
         "line 2: only a manual bounding box takes a rectangle: sprite_bbox SPRITE automatic|full|manual [LEFT TOP RIGHT BOTTOM]"},
        {"sprite_image s strip.png 1 0 0\nsprite_mask s precise shared 256\n", "line 2: 256 is out of range (0 to 255)"},
        {"background_image f floor.png\n" + room + "tile r f 30 0 4 4 0 0 0\n", "line 3: 4 is out of range (1 to 2)"},
        {room + "view r 0 0 0 10 10 0 0 10 10 -\n",
         "line 2: a view that follows an object takes all five words more: view ROOM SLOT X Y WIDTH HEIGHT PORTX "
         "PORTY PORTWIDTH PORTHEIGHT [OBJECT|- HBORDER VBORDER HSPEED VSPEED]"},
        {room + "view r 8 0 0 10 10 0 0 10 10\n", "line 2: 8 is out of range (0 to 7)"},
        {room + "view r 0 0 0 10 10 0 0 10 10\nview r 0 0 0 10 10 0 0 10 10\n",
         "line 3: view 0 of room r is already given on line 2"},
        {"timeline t\nmoment t 4 code.txt\nmoment t 4 code.txt\n", "line 3: timeline t has a moment at step 4 already"},
        // the game as a whole
        {"game G 64 48\n\n", "line 2: the description ends without a room; the game starts in its first room "
                             "(room NAME WIDTH HEIGHT SPEED COLOUR BACKGROUND|-)"},
        {"path p straight open 4\npath q straight open 4\npoint q 0 0 100\n" + room,
         "line 1: path p has no points (point PATH X Y SPEED)"},
        {room + "room r 10 10 30 000000 -\n", "line 2: a room named r is already declared on line 1"},
        {"sprite a 8 8 0 0 box ff0000\nsprite_image a strip.png 3 0 0\n", "line 2: a sprite named a is already declared on line 1"},
        // files
        {"object o - 0\nevent o step 0 missing.txt\n", "line 2: cannot read " + folder / "missing.txt" + ": No such file or directory"},
        {"script s .\n", "line 1: cannot read " + folder / "." + ": Is a directory"},
        {"background_image b text.png\n", "line 1: cannot decode " + folder / "text.png" + " as a PNG image: "},
        {"sprite_image s empty.png 1 0 0\n", "line 1: cannot decode " + folder / "empty.png" + " as a PNG image: "},
        {"sprite_image s huge.png 1 0 0\n", "line 1: cannot decode " + folder / "huge.png" +
                                                " as a PNG image: an image of 100000 x 100000 pixels is too large"},
        {"sprite_image s long.png 1 0 0\n", "line 1: frames of 100000 x 1 pixels are larger than 4096 x 4096"},
        {"background_image b long.png\n", "line 1: an image of 100000 x 1 pixels is larger than 4096 x 4096"},
        {"font f text.png 12 32 127\n", "line 1: " + folder / "text.png" + ": not a font file ("},
    };
    TempFolder::Write(folder / "empty.png", PngOfHeader(0, 0));
    TempFolder::Write(folder / "huge.png", PngOfHeader(100000, 100000));
    GameImage long1 = Filled(100000, 1);
    TempFolder::Write(folder / "long.png", Png(long1));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string error = Parse(c.text);
        // The reasons libpng and FreeType give are theirs: the start of the message is ours.
        if (c.message.back() == ' ' || c.message.back() == '(')
            EXPECT_EQ(error.substr(0, c.message.size()), c.message) << error;
        else
            EXPECT_EQ(error, c.message);
    }
    // A long strip cut into frames that fit is fine.
    EXPECT_EQ(Parse("sprite_image s long.png 100 0 0\n" + room), "");
    EXPECT_EQ(game.sprites[0].frames.size(), 100u);
}

TEST_F(Description, GarbageLongLinesAndLongNamesGiveClearAnswers) {
    // Binary bytes: an unknown statement, shown printable and cut short.
    std::string garbage(300, '\x01');
    garbage[0] = '\xFF';
    garbage += " x\n";
    std::string error = Parse(garbage);
    EXPECT_EQ(error.rfind("line 1: unknown statement " + std::string(60, '?') + "... (the statements: game,", 0), 0u)
        << error;
    EXPECT_EQ(Parse(std::string("game\0G 64 48\n", 13)).rfind("line 1: unknown statement game?G (", 0), 0u);
    // A line of a megabyte.
    error = Parse("title " + std::string(1 << 20, 'x') + "\n" + "sprite s " + std::string(1 << 20, '7') + " 8\n");
    EXPECT_EQ(error.substr(0, 41), "line 2: wrong word count for sprite, whic");
    // Names of 10,000 characters are names.
    const std::string name(10000, 'n');
    EXPECT_EQ(Parse("object " + name + " - 0\nroom r" + name + " 64 48 30 000000 -\ninstance r" + name + " " + name +
                    " 1 1\n"),
              "");
    // CRLF lines.
    EXPECT_EQ(Parse("game G 64 48\r\nroom r 64 48 30 000000 -\r\n"), "");
}

TEST_F(Description, FontFilesAreRasterisedWhenTheyAreThere) {
    if (access(kFontFile, R_OK) != 0) GTEST_SKIP() << "no font file at " << kFontFile;
    ASSERT_EQ(Parse(std::string("font f ") + kFontFile + " 10 48 57\nroom r 64 48 30 000000 -\n"), "");
    ASSERT_EQ(game.fonts.size(), 1u);
    EXPECT_EQ(game.fonts[0].glyphs.size(), 11u) << "0 to 9 and the space";
    EXPECT_EQ(game.fonts[0].size, 10);
    EXPECT_EQ(Parse(std::string("font f ") + kFontFile + " 10 57 48\n"), "line 1: 48 is out of range (57 to 65535)");
}

} // namespace
