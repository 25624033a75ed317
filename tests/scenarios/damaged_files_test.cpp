// The runner on data files damaged by hand, and on game paths that name no readable file: every refusal
// ends the run with code 1 and one line on standard error that names the file, the chunk and the reason,
// before the game starts (and before any window where the general information already tells).
#include "scenario.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Word(const Bytes& b, size_t at) {
    uint32_t v = 0;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void SetWord(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}
void FixSize(Bytes& b) {
    SetWord(b, 4, static_cast<uint32_t>(b.size() - 8));
}

// The header offset of the first chunk with the tag.
size_t ChunkOf(const Bytes& b, const char* tag) {
    for (size_t at = 8; at + 8 <= b.size(); at += 8 + Word(b, at + 4))
        if (std::memcmp(b.data() + at, tag, 4) == 0) return at;
    ADD_FAILURE() << "no chunk " << tag;
    return 0;
}
size_t BodyOf(const Bytes& b, const char* tag) {
    return ChunkOf(b, tag) + 8;
}
// The first record of a chunk whose body is a record list.
size_t RecordOf(const Bytes& b, const char* tag) {
    return Word(b, BodyOf(b, tag) + 4);
}

// A chunk added at the end, the container's size kept right.
Bytes WithChunk(Bytes b, const char* tag, const Bytes& body) {
    b.insert(b.end(), tag, tag + 4);
    const auto length = static_cast<uint32_t>(body.size());
    b.insert(b.end(), reinterpret_cast<const uint8_t*>(&length), reinterpret_cast<const uint8_t*>(&length) + 4);
    b.insert(b.end(), body.begin(), body.end());
    FixSize(b);
    return b;
}
// A second copy of a chunk right after it.
Bytes WithCopyOf(Bytes b, const char* tag) {
    const size_t at = ChunkOf(b, tag);
    const Bytes copy(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + 8 + Word(b, at + 4)));
    b.insert(b.begin() + static_cast<ptrdiff_t>(at + copy.size()), copy.begin(), copy.end());
    FixSize(b);
    return b;
}

Bytes Replace(Bytes b, const std::string& from, const std::string& to) {
    const auto at = std::search(b.begin(), b.end(), from.begin(), from.end());
    EXPECT_NE(at, b.end()) << from;
    if (at != b.end()) std::copy(to.begin(), to.end(), at);
    return b;
}

// A game of every kind of resource the builder writes; its one instance says "started" and ends it.
ScenarioGame Game() {
    ScenarioGame game =
        OneObjectGame({{0, 0, "show_debug_message(\"started \" + string(scr_twice(2))); game_end();"}});
    GameImage image;
    image.width = image.height = 2;
    image.rgba.assign(16, 200);
    game.sprites.push_back({"spr_dot", 0, 0, {image}});
    game.objects[0].sprite = 0;
    game.backgrounds.push_back({"bg_plain", image});
    game.scripts.push_back({"scr_twice", "return argument0 * 2;"});
    game.paths.push_back({"pth_line", 0, false, 4, {{0, 0, 100}, {32, 0, 100}}});
    game.timelines.push_back({"tl_main", {{1, "x = 1;"}, {2, "x = 2;"}}});
    game.shaders.push_back({"shd_plain",
                            "float4x4 qn_Matrices[5];\n"
                            "float4 main(float4 pos : POSITION) : POSITION { return mul(qn_Matrices[4], pos); }",
                            "float4 main(float4 col : COLOR0) : COLOR0 { return col; }",
                            {"in_Position"}});
    return game;
}

struct GameRun {
    ScenarioRun run;
    std::string path; // of the game file
};

// Runs the bytes as the game file of a fresh folder, unattended and without audio.
GameRun RunBytes(const Bytes& bytes) {
    TempFolder folder;
    GameRun r;
    r.path = folder / "game.win";
    TempFolder::Write(r.path, std::string(bytes.begin(), bytes.end()));
    r.run = RunRunner(folder.Path(), {"-game", r.path, "-noerrors", "-noaudio", "-output", folder / "game.log"}, 30);
    return r;
}

// The file is refused: code 1, the one line "FILE: message" on standard error, the game never started
// and, when the general information is enough to tell, no window made.
void ExpectRefused(const Bytes& bytes, const std::string& message, bool beforeWindow) {
    SCOPED_TRACE(message);
    const GameRun r = RunBytes(bytes);
    ASSERT_FALSE(r.run.timedOut);
    EXPECT_EQ(r.run.exitCode, 1);
    EXPECT_EQ(r.run.errors, r.path + ": " + message + "\n");
    EXPECT_EQ(r.run.log.find("started"), std::string::npos) << r.run.log;
    if (beforeWindow) {
        EXPECT_EQ(r.run.console.find("Create Window"), std::string::npos) << r.run.console;
    }
}

TEST(DamagedFiles, WindowSizesTheDeviceCannotMakeAreRefusedBeforeAnyWindow) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    const Bytes good = BuildScenarioGame(Game());
    const size_t info = BodyOf(good, "GEN8");
    const struct {
        size_t field;
        uint32_t value;
        const char* size;
    } cases[] = {
        {60, 0x80000000u, "-2147483648 x 48"}, {60, 0, "0 x 48"},         {60, 0xFFFFFFFFu, "-1 x 48"},
        {60, 16384, "16384 x 48"},             {64, 65536, "64 x 65536"}, {64, 0x7FFFFFFF, "64 x 2147483647"},
    };
    for (const auto& c : cases) {
        Bytes bad = good;
        SetWord(bad, info + c.field, c.value);
        ExpectRefused(bad, std::string("Chunk GEN8: the window size ") + c.size +
                               " is not one the device can make (1 x 1 to 8192 x 8192)",
                      true);
    }
    // A version byte below 8 skips the window size.
    Bytes old = good;
    old[info + 1] = 7;
    ExpectRefused(old, "Chunk GEN8: the general information of version 7 gives no window size", true);
}

TEST(DamagedFiles, TheChunkWalkRefusesAListOfChunksThatCannotBeAGame) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    Bytes zeros = {'F', 'O', 'R', 'M', 16, 0, 0, 0};
    zeros.resize(24);
    ExpectRefused(zeros, "the chunk at offset 8 has no tag (four zero bytes): the file is damaged", true);
    const Bytes help = WithChunk({'F', 'O', 'R', 'M', 0, 0, 0, 0}, "HELP", {1, 2, 3, 4});
    ExpectRefused(help, "Chunk GEN8: the file has no general information (no GEN8 chunk)", true);

    const Bytes good = BuildScenarioGame(Game());
    // An options chunk whose length became 0: its body would be read as chunk headers.
    Bytes noOptions = good;
    const size_t options = ChunkOf(good, "OPTN");
    SetWord(noOptions, options + 4, 0);
    ExpectRefused(noOptions,
                  "the chunk at offset " + std::to_string(options + 8) + " has no tag (four zero bytes): the file is damaged",
                  true);
    // More chunks than the format has tags.
    Bytes many = good;
    size_t twentyFifth = 0;
    size_t count = 0;
    for (size_t at = 8; at < good.size(); at += 8 + Word(good, at + 4))
        ++count;
    while (count < 25) {
        if (count == 24) twentyFifth = many.size();
        many = WithChunk(many, "HELP", {});
        ++count;
    }
    ExpectRefused(many,
                  "Chunk HELP at offset " + std::to_string(twentyFifth) +
                      ": the file holds more than the 24 chunks a file of its kind can hold",
                  true);
    // Chunks read once, written twice; the general information counts once whatever its tag.
    for (const char* tag : {"OBJT", "ROOM", "STRG", "GEN8"})
        ExpectRefused(WithCopyOf(good, tag), std::string("Chunk ") + tag + ": the file holds it 2 times, where a game has one",
                      true);
    Bytes seventh = WithCopyOf(good, "GEN8");
    std::memcpy(seventh.data() + ChunkOf(seventh, "GEN8") + 8 + Word(seventh, ChunkOf(seventh, "GEN8") + 4), "GEN7", 4);
    ExpectRefused(seventh, "Chunk GEN8: the file holds it 2 times, where a game has one", true);
    // The help may repeat: the game runs, the console names the repeat.
    const GameRun twice = RunBytes(WithChunk(WithChunk(good, "HELP", {1, 0, 0, 0}), "HELP", {2, 0, 0, 0}));
    EXPECT_EQ(twice.run.exitCode, 0) << twice.run.errors;
    EXPECT_NE(twice.run.console.find("Chunk HELP: the file holds it 2 times\n"), std::string::npos);
    EXPECT_NE(twice.run.log.find("started 4"), std::string::npos) << twice.run.log;
}

// A file of many megabytes of empty chunk headers is refused after its first header, whatever its size:
// the runner's peak memory stays near the file's own size.
TEST(DamagedFiles, ARefusedFileCostsLittleMoreThanItsSize) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    TempFolder folder;
    // A file of that many bytes: a form whose first chunk (a help chunk of zeros) is followed by zeros.
    const auto refuse = [&](size_t size) {
        const std::string path = folder / ("zeros" + std::to_string(size) + ".win");
        Bytes header = {'F', 'O', 'R', 'M', 0, 0, 0, 0, 'H', 'E', 'L', 'P', 0, 0, 0, 0};
        SetWord(header, 4, static_cast<uint32_t>(size - 8));
        FILE* file = std::fopen(path.c_str(), "wb");
        EXPECT_NE(file, nullptr);
        if (file == nullptr) return size_t{0};
        std::fwrite(header.data(), 1, header.size(), file);
        EXPECT_EQ(ftruncate(fileno(file), static_cast<off_t>(size)), 0);
        std::fclose(file);
        const ScenarioRun run = RunRunner(folder.Path(), {"-game", path, "-noerrors", "-noaudio"}, 60, true);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errors, path + ": the chunk at offset 16 has no tag (four zero bytes): the file is damaged\n");
        EXPECT_GT(run.peakBytes, 0u);
        return run.peakBytes;
    };
    // The large file once over what the runner itself takes (near 90 MB with the sanitizers) to refuse a
    // small one, and not a second copy of it.
    constexpr size_t kSize = 64u << 20;
    const size_t small = refuse(64u << 10);
    const size_t large = refuse(kSize);
    EXPECT_LT(large, small + kSize + (24u << 20));
}

TEST(DamagedFiles, EveryRefusalNamesTheFileTheChunkAndTheReason) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    const Bytes good = BuildScenarioGame(Game());
    const GameRun fine = RunBytes(good);
    ASSERT_EQ(fine.run.exitCode, 0) << fine.run.errors;
    ASSERT_NE(fine.run.log.find("started 4"), std::string::npos) << fine.run.log;

    const struct {
        const char* tag;
        size_t field; // from the chunk's first record
        uint32_t value;
        std::string message;
    } records[] = {
        {"SPRT", 14 * 4, 0x40000000u, "Chunk SPRT: sprite 0 is damaged (its record, frames or masks lie outside the chunk)"},
        {"BGND", 4 * 4, 0x7FFFFFF0u,
         "Chunk BGND: background 0 is damaged (its record, name or page entry lies outside the file)"},
        {"PATH", 16, 0xFFFFFFFFu,
         "Chunk PATH: path 0 is damaged (its record, points or name lie outside the chunk or the file)"},
        {"SHDR", 0, 0x7FFFFFF0u,
         "Chunk SHDR: shader 0 is damaged (its record or a text it names lies outside the chunk or the "
         "file)"},
        {"OBJT", 16 * 4, 0x10000000u, "Chunk OBJT: object 0: 268435456 shape points outside the file"},
        {"TMLN", 4, 0x10000000u, "Chunk TMLN: a timeline record lies outside the file"},
    };
    for (const auto& c : records) {
        Bytes bad = good;
        SetWord(bad, RecordOf(good, c.tag) + c.field, c.value);
        ExpectRefused(bad, c.message, false);
    }
    Bytes room = good;
    SetWord(room, RecordOf(good, "ROOM") + 48, 0x7FFFFFF0u);
    ExpectRefused(room, "Chunk ROOM: room 0: instance list lies outside the file (2147483632)", false);
    ExpectRefused(WithChunk(good, "FONT", {0, 0, 0, 0}), "Chunk FONT: too short to hold its character map", false);
    ExpectRefused(WithChunk(good, "ABCD", {0, 0, 0, 0}), "Chunk ABCD: not a chunk of a game data file", false);

    // A texture page whose PNG fails its last checksum.
    Bytes page = good;
    const size_t pages = BodyOf(good, "TXTR");
    const auto end = std::search(page.begin() + static_cast<ptrdiff_t>(pages), page.end(), "IEND", "IEND" + 4);
    ASSERT_NE(end, page.end());
    end[4] ^= 0x55;
    ExpectRefused(page,
                  "Chunk TXTR: texture page 0 is damaged (it is no RAW page, PNG or JPEG image that can be decoded)",
                  false);
    // An image placed on a texture page the file does not have.
    Bytes entry = good;
    const size_t firstEntry = RecordOf(good, "TPAG");
    entry[firstEntry + 20] = 9;
    ExpectRefused(entry,
                  "Chunk TPAG: the texture-page entry at offset " + std::to_string(firstEntry) +
                      " places an image on texture page 9, which the file does not have",
                  false);

    // An image on a page slot that holds no page.
    Bytes noPage = good;
    SetWord(noPage, BodyOf(good, "TXTR") + 4, 0);
    ExpectRefused(noPage,
                  "Chunk TPAG: the texture-page entry at offset " + std::to_string(firstEntry) +
                      " places an image on texture page 0, which the file does not have",
                  false);

    // Code that does not compile fails the preparation of its chunk, named with the compiler's reason.
    ExpectRefused(Replace(good, "return argument0 * 2;", "return argument0 * ;;"),
                  "Chunk SCPT: Failed to compile the scripts. Script.scr_twice at line 1, position 20: "
                  "Unexpected symbol in expression.",
                  false);
}

// Names read from the file reach messages escaped: control bytes and bytes that are not UTF-8 as \xNN.
TEST(DamagedFiles, NamesFromTheFileAreShownEscaped) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    std::string error;
    const Bytes compiled = GameFile_Build(Game(), true, &error);
    ASSERT_FALSE(compiled.empty()) << error;
    // A function the runner does not know, named with a terminal escape and a line end.
    ExpectRefused(Replace(compiled, "show_debug_message", "\x1b[\n\xff_debug_message"),
                  "Chunk FUNC: Unable to find function \\x1B[\\x0A\\xFF_debug_message", false);
    // A code entry whose bytecode runs past its chunk, named with a carriage return.
    Bytes code = Replace(compiled, "Script.scr_twice", "Script\rscr_twice");
    SetWord(code, RecordOf(code, "CODE") + 4, 0x100000);
    ExpectRefused(code, "Chunk CODE: the bytecode of Script\\x0Dscr_twice runs past the end of its chunk", true);
    // A chunk tag of control bytes.
    ExpectRefused(WithChunk(BuildScenarioGame(Game()), "A\x1b\x07Z", {1, 0, 0, 0}),
                  "Chunk A\\x1B\\x07Z: not a chunk of a game data file", false);
}

// A fatal error in damaged bytecode ends the run with its code and leaves nothing allocated: not the
// text the machine had pushed, nor the moments of a timeline released while the code ran.
TEST(DamagedFiles, AFatalErrorInDamagedBytecodeLeaksNothing) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "bytecode runs on the machine in both modes";
    ScenarioGame game = Game();
    game.objects[0].events = {{0, 0, "timeline_index = tl_main; var s; s = \"abc\"; s = s + \"de\"; show_debug_message(s);"}};
    std::string error;
    Bytes compiled = GameFile_Build(game, true, &error);
    ASSERT_FALSE(compiled.empty()) << error;
    // add.s.v becomes add.v.v: the string pushed last is read as a variable, which is malformed.
    const Bytes addStringToVariable = {0x00, 0x00, 0x56, 0x08};
    auto at = std::search(compiled.begin(), compiled.end(), addStringToVariable.begin(), addStringToVariable.end());
    ASSERT_NE(at, compiled.end());
    at[2] = 0x55;
    const GameRun r = RunBytes(compiled);
    EXPECT_EQ(r.run.exitCode, 255) << r.run.errors;
    EXPECT_EQ(r.run.errors.find("LeakSanitizer"), std::string::npos) << r.run.errors;
    EXPECT_NE(r.run.log.find("Malformed variable"), std::string::npos) << r.run.log;
}

// The instances of an object the file lacks are still placed, as the room says (those of a negative
// object are not), an object keeps a sprite the file lacks and a sprite keeps a frame without an image;
// each is named on the console and the game goes on.
TEST(DamagedFiles, ResourcesTheFileLacksAreNamed) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the data file, not game code";
    ScenarioGame game = Game();
    game.rooms[0].instances.push_back({8, 8, 5, 100002, ""});
    game.rooms[0].instances.push_back({8, 8, -1, 100003, ""});
    const GameRun r = RunBytes(BuildScenarioGame(game));
    EXPECT_EQ(r.run.exitCode, 0) << r.run.errors;
    EXPECT_NE(
        r.run.console.find("Room rOnly: instance 100002 is of object 5, which the game does not have\n"),
        std::string::npos)
        << r.run.console;
    EXPECT_NE(
        r.run.console.find("Room rOnly: instance 100003 is of object -1, which the game does not have; it "
                           "is not placed\n"),
        std::string::npos)
        << r.run.console;
    EXPECT_NE(r.run.log.find("started 4"), std::string::npos) << r.run.log;
    EXPECT_EQ(r.run.console.find("has no image"), std::string::npos) << r.run.console;

    // The sprite list made empty.
    Bytes noSprites = BuildScenarioGame(Game());
    SetWord(noSprites, BodyOf(noSprites, "SPRT"), 0);
    const GameRun sprite = RunBytes(noSprites);
    EXPECT_EQ(sprite.run.exitCode, 0) << sprite.run.errors;
    EXPECT_NE(sprite.run.console.find("Object oPlayer: its sprite is sprite 0, which the game does not have\n"),
              std::string::npos)
        << sprite.run.console;

    // A frame whose texture-page entry became 0: the sprite loads without that image.
    Bytes noImage = BuildScenarioGame(Game());
    SetWord(noImage, RecordOf(noImage, "SPRT") + 15 * 4, 0);
    const GameRun frame = RunBytes(noImage);
    EXPECT_EQ(frame.run.exitCode, 0) << frame.run.errors;
    EXPECT_NE(frame.run.console.find("Sprite spr_dot: frame 0 has no image (its texture-page entry is 0)\n"),
              std::string::npos)
        << frame.run.console;
    EXPECT_NE(frame.run.log.find("started 4"), std::string::npos) << frame.run.log;
}

// A "-game" that names no readable file gives the system's reason; one that names no file at all, or
// is followed by another switch, is a run without a game.
TEST(DamagedFiles, GamePathsThatNameNoReadableFileGiveTheSystemsReason) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the command line, not game code";
    TempFolder folder;
    TempFolder::MakeDir(folder / "folder");
    ASSERT_EQ(symlink((folder / "nowhere").c_str(), (folder / "dangling").c_str()), 0);
    ASSERT_EQ(mkfifo((folder / "fifo").c_str(), 0644), 0);
    {
        FILE* huge = std::fopen((folder / "huge.win").c_str(), "wb");
        ASSERT_NE(huge, nullptr);
        ASSERT_EQ(ftruncate(fileno(huge), (off_t{1} << 31) + 16), 0);
        std::fclose(huge);
    }
    const struct {
        std::string path;
        const char* reason;
    } cases[] = {
        {folder / "folder", "Is a directory"},     {folder / "missing.win", "No such file or directory"},
        {folder / "dangling", "No such file or directory"}, {folder / "fifo", "Not a regular file"},
        {"/dev/zero", "Not a regular file"},        {folder / "huge.win", "File too large"},
    };
    for (const auto& c : cases) {
        const ScenarioRun run = RunRunner(folder.Path(), {"-game", c.path, "-noerrors", "-noaudio"}, 20);
        EXPECT_EQ(run.exitCode, 1) << c.path;
        EXPECT_EQ(run.errors, "FAILED to load File " + c.path + ": " + c.reason + "\n");
    }
    // Where no display of any kind can be reached (no X display, no Wayland display nor runtime folder, as
    // in a container or a service), the line is still the only one; a game that loads runs offscreen.
    {
        ScenarioEnvironment environment{
            {"SDL_VIDEODRIVER", ""}, {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"XDG_RUNTIME_DIR", ""}};
        const ScenarioRun run = RunRunner(folder.Path(), {"-game", folder / "missing.win", "-noerrors"}, 20);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errors, "FAILED to load File " + folder / "missing.win: No such file or directory\n");
        const ScenarioRun game = RunScenario(OneObjectGame({{0, 0, "show_debug_message(\"ran\"); game_end();"}}));
        EXPECT_EQ(game.exitCode, 0) << game.errors;
        EXPECT_EQ(game.log, "ran\n");
    }
    if (geteuid() != 0) {
        TempFolder::Write(folder / "locked.win", "FORM");
        chmod((folder / "locked.win").c_str(), 0);
        const ScenarioRun run = RunRunner(folder.Path(), {"-game", folder / "locked.win", "-noerrors"}, 20);
        EXPECT_EQ(run.errors, "FAILED to load File " + folder / "locked.win: Permission denied\n");
    }
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"-game", "", "-noerrors"},
                                                      std::vector<std::string>{"-game", "-noerrors"}}) {
        const ScenarioRun run = RunRunner(folder.Path(), arguments, 20);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.errors, "No game found: -game was given no file name, and there is no data.win beside the runner.\n");
    }
}

} // namespace
