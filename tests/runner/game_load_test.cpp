#include "data/code_chunk.h"
#include "data/container.h"
#include "data/general_info.h"
#include "graphics/frame/profiler.h"
#include "graphics/frame/texture_page.h"
#include "graphics/sprite/sprite.h"
#include "runner/command_line.h"
#include "runner/game_load.h"
#include "runner/options_file.h"

#include "audio/audio.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "data/debug_info.h"
#include "data_builder.h"
#include "game_writer.h"
#include "io/window_state.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiled_game.h"
#include "script/functions.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_handles.h"
#include "support/load_game.h"
#include "support/temp_folder.h"
#include "world/instance.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Word(const Bytes& b, size_t at) {
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
void SetWord(Bytes& b, size_t at, uint32_t v) {
    std::memcpy(b.data() + at, &v, 4);
}

// The body offset of the first chunk with a tag.
size_t BodyOf(const Bytes& b, const char* tag) {
    for (size_t at = 8; at + 8 <= b.size(); at += 8 + Word(b, at + 4)) {
        if (std::memcmp(b.data() + at, tag, 4) == 0) return at + 8;
    }
    ADD_FAILURE() << "no chunk " << tag;
    return 0;
}

class DataFileTest : public ::testing::Test {
protected:
    void SetUp() override { Game_FreeData(); }
    void TearDown() override {
        Game_FreeData();
        LoadSave_Reset();
    }

    // Loads bytes as the game: the pre-pass, then the walk. Gives the walk's result; log gets the traces.
    bool Load(const Bytes& bytes) { return LoadGameBytes(bytes, &log); }
    bool Logged(const std::string& text) const { return log.find(text) != std::string::npos; }

    // Loads bytes that must fail, with the message in the log.
    void ExpectFailure(const Bytes& bytes, const char* message) {
        SCOPED_TRACE(message);
        EXPECT_FALSE(Load(bytes));
        EXPECT_TRUE(Logged(message)) << log;
    }
    struct Patch {
        size_t at;
        uint32_t value;
        const char* message;
    };
    // Each patch alone, one word of the good file changed.
    void ExpectFailures(const Bytes& good, std::initializer_list<Patch> patches) {
        for (const Patch& patch : patches) {
            Bytes b = good;
            SetWord(b, patch.at, patch.value);
            ExpectFailure(b, patch.message);
        }
    }

    // A small game: general information, options, an empty sprite list and one code entry.
    Bytes Game(const std::string& listing = "push.s \"hello\"\npopz.s\n") {
        CDataBuilder b;
        CDataBuilder::GeneralInfo info;
        info.name = "Demo";
        info.windowWidth = 320;
        info.windowHeight = 200;
        info.windowFlags = 0x20 | 0x1000;
        info.caption = "Demo caption";
        info.optionBits = 4;
        info.steamAppId = 77;
        info.roomOrder = {2, 0, 1};
        b.AddGeneralInfo(info);
        CDataBuilder::Options options;
        options.words[2] = 1;
        options.words[8] = 0x123456;
        options.words[33] = 1;
        options.constants = {{"VersionMajor", "3"}, {"VersionMinor", "14"}, {"c", "0"}};
        b.AddOptions(options);
        b.AddChunk("SPRT").OffsetList({});
        std::string error;
        EXPECT_TRUE(b.AddCodeListing("gml_Script_main", listing, &error)) << error;
        return b.Build();
    }

    std::string log;
};

} // namespace

TEST_F(DataFileTest, BuiltGameLoads) {
    ASSERT_TRUE(Load(Game()));
    EXPECT_TRUE(Logged("Get Header Information\nInitQNLFunctions\n"));
    EXPECT_TRUE(Logged("Process Chunk: GEN8   "));
    EXPECT_TRUE(Logged("Process Chunk: SPRT   4\n"));

    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.version, 13);
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.gameName, "Demo");
    EXPECT_STREQ(GeneralInfo_State().Game_ConfigName, "Default");
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.windowWidth, 320);
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.windowHeight, 200);
    EXPECT_EQ(GeneralInfo_State().GameOptions, 0x1020u);
    EXPECT_TRUE(GeneralInfo_State().g_GeneralInfo.steam);
    EXPECT_STREQ(GeneralInfo_State().g_GeneralInfo.caption, "Demo caption");
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.optionBits, 4);
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.steamAppId, 77u);
    EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.roomOrder, (std::vector<int32_t>{2, 0, 1}));
    EXPECT_EQ(Code_GetRunnerFormat(), 800);

    EXPECT_TRUE(GeneralInfo_State().g_Options.useOpenAL);
    EXPECT_EQ(GeneralInfo_State().g_Options.windowColour, 0x123456u);
    EXPECT_EQ(Window_GetColour(), 0x123456u);
    EXPECT_TRUE(GeneralInfo_State().g_Options.unsetVariableFlag);
    EXPECT_TRUE(VariableList_State().Variable_UnsetIsError);
    EXPECT_TRUE(Audio_State().Audio_UseNewEngine);
    EXPECT_TRUE(GeneralInfo_State().g_Options.showCursor == false);
    ASSERT_EQ(GeneralInfo_State().g_Options.constantNames.size(), 3u);
    EXPECT_STREQ(GeneralInfo_State().g_Options.constantNames[2], "c");
    EXPECT_EQ(GeneralInfo_State().g_Options.versionMajor, 3);
    EXPECT_EQ(GeneralInfo_State().g_Options.versionMinor, 14);

    ASSERT_EQ(Code_EntryCount(), 1);
    CodeChunkEntry entry;
    ASSERT_TRUE(Code_GetEntry(0, entry));
    EXPECT_STREQ(entry.name, "gml_Script_main");
    EXPECT_EQ(entry.length, 12);
    uint32_t index = Word(Bytes(entry.bytecode, entry.bytecode + 8), 4);
    EXPECT_STREQ(Code_GetString(static_cast<int>(index)), "hello");
    EXPECT_EQ(Code_GetString(Code_GetStringCount()), nullptr);
}

TEST_F(DataFileTest, GameWithoutBytecode) {
    // Code given as source text: no "CODE" chunk, nothing to bind.
    CDataBuilder text;
    text.AddGeneralInfo({});
    text.AddChunk("SCPT").OffsetList({});
    ASSERT_TRUE(Load(text.Build()));
    EXPECT_FALSE(Code_IsPresent());
    EXPECT_EQ(Code_EntryCount(), 0);
}

TEST_F(DataFileTest, GeneralInfoVersions) {
    struct Case {
        uint8_t version;
        const char* tag;
        int width;
        int64_t optionBits;
        const char* caption;
    };
    for (Case c : {Case{7, "GEN7", 0, -1, nullptr}, Case{8, "GEN8", 640, -1, nullptr},
                   Case{10, "GEN8", 640, -1, "cap"}, Case{11, "GENL", 640, -1, "cap"},
                   Case{12, "GEN8", 640, 0x80000000LL, "cap"}, Case{14, "GEN8", 640, -1, nullptr}}) {
        SCOPED_TRACE(c.version);
        CDataBuilder b;
        CDataBuilder::GeneralInfo info;
        info.version = c.version;
        info.caption = "cap";
        // The low word has bit 31 set: it must not wipe the high word.
        info.optionBits = 0x80000000LL;
        info.value104 = 0x0000000180000000LL;
        info.roomOrder = {5};
        b.AddGeneralInfo(info, c.tag);
        ASSERT_TRUE(Load(b.Build()));
        EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.version, c.version);
        EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.windowWidth, c.width);
        EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.optionBits, c.optionBits);
        if (c.version >= 11 && c.version <= 13) {
            EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.value104, 0x0000000180000000LL);
        }
        EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.roomOrder, std::vector<int32_t>{5});
        if (c.caption)
            EXPECT_STREQ(GeneralInfo_State().g_GeneralInfo.caption, c.caption);
        else
            EXPECT_EQ(GeneralInfo_State().g_GeneralInfo.caption, nullptr);
        EXPECT_EQ(Code_GetRunnerFormat(), std::strcmp(c.tag, "GEN8") == 0 ? 800 : 700);
        // Below version 8 the word at 68 lies in the room order: no Steam flag from it.
        EXPECT_FALSE(GeneralInfo_State().g_GeneralInfo.steam);
    }
    // A chunk of one byte has no version byte; the next chunk's header is not read for one.
    CDataBuilder b;
    b.AddChunk("GEN8").U8(1);
    b.AddChunk("OPTN").U32(0);
    ExpectFailure(b.Build(), "Chunk GEN8: the general information is too short to hold its version");
}

TEST_F(DataFileTest, VariableReferencesAreBound) {
    Bytes bytes = Game("push.v self.score\n"
                       "pop.v.v global.score[]\n"
                       "push.v other.x\n"
                       "pop.i.v stack.score\n");
    ASSERT_TRUE(Load(bytes));
    CodeChunkEntry entry;
    ASSERT_TRUE(Code_GetEntry(0, entry));
    Bytes code(entry.bytecode, entry.bytecode + entry.length);
    uint32_t score = static_cast<uint32_t>(Code_Variable_FindAlloc("score"));
    uint32_t x = static_cast<uint32_t>(Code_Variable_FindAlloc("x"));
    // Each operand holds the id and keeps its top three bits.
    EXPECT_EQ(Word(code, 4), kVarRefFieldInstance | kVarRefNoIndex | score);
    EXPECT_EQ(Word(code, 12), kVarRefFieldInstance | score);
    EXPECT_EQ(Word(code, 20) & kVarRefIdMask, x);
    EXPECT_EQ(Word(code, 28), kVarRefNoIndex | score);
}

namespace {

// Bytecode as text, one instruction a line: its words in hexadecimal, a string operand as its text.
std::string Instructions(const uint8_t* code, int size) {
    std::string out;
    char hex[16];
    for (int at = 0; at + 4 <= size;) {
        uint32_t first, word;
        std::memcpy(&first, code + at, 4);
        const int operand = VM_HasOperand(VM_Opcode(first)) ? VM_OperandSize(VM_Type1(first)) : 0;
        for (int k = 0; k <= operand && at + k + 4 <= size; k += 4) {
            std::memcpy(&word, code + at + k, 4);
            const char* text = nullptr;
            if (k == 4 && VM_Type1(first) == VT_STRING && VMString_GetConstant(word, &text)) {
                out += std::string(" \"") + (text ? text : "") + "\"";
            } else {
                std::snprintf(hex, sizeof hex, " %08x", word);
                out += hex;
            }
        }
        out += "\n";
        at += 4 + operand;
    }
    return out;
}

} // namespace

// Source compiled into the file and bound by the loader is the bytecode the compiler gives the same source
// in the loaded game: the same words, string operands naming the same texts.
TEST_F(DataFileTest, CompiledCodeBindsToWhatTheCompilerGives) {
    GameDescription game;
    game.scripts = {{"scr_twice", "var d; d = argument0 * 2; return d;"}};
    GameObject object;
    object.name = "oA";
    object.events = {{0, 0, R"(
        var n; n = scr_twice(3); hp[2] = n; grid[1, 1] = "ab"; global.name = "a" + n;
        other.total += hp[2] * 1.5; x += 1; (100001).speed = 2; oA.depth = -1;
        with (oA) { y = other.y + string_length("ab"); }
        if (n > 2 && !(max(n, vk_left) > 40)) show_debug_message("ab"); else exit;)"}};
    game.objects = {object};
    GameRoom room;
    room.name = "r0";
    room.code = "global.count = instance_number(oA) + room;";
    room.instances = {{0, 0, 0, 100001, "hp[0] = \"first\";"}};
    game.rooms = {room};
    const std::map<std::string, std::string> sources = {{"Script.scr_twice", game.scripts[0].code},
                                                        {"Object.oA.Create.0", object.events[0].code},
                                                        {"Room.r0", room.code},
                                                        {"Instance.r0.0", room.instances[0].code}};
    std::string error;
    const Bytes bytes = GameFile_Build(game, true, &error);
    ASSERT_TRUE(Load(bytes)) << error << log;

    World_InstallScriptServices();
    ASSERT_EQ(Code_EntryCount(), 4);
    for (int i = 0; i < Code_EntryCount(); ++i) {
        CodeChunkEntry entry;
        ASSERT_TRUE(Code_GetEntry(i, entry));
        SCOPED_TRACE(entry.name);
        ASSERT_EQ(sources.count(entry.name), 1u);
        CCode direct(sources.at(entry.name).c_str(), 0);
        ASSERT_TRUE(direct.Compile(entry.name));
        ASSERT_NE(direct.code, nullptr);
        EXPECT_EQ(Instructions(entry.bytecode, entry.length),
                  Instructions(direct.code->data, direct.code->size));
    }
}

TEST_F(DataFileTest, BrokenContainersFailTheLoad) {
    Bytes good = Game();

    Bytes shortSize = good;
    SetWord(shortSize, 4, static_cast<uint32_t>(good.size() - 9));
    EXPECT_FALSE(Load(shortSize));
    EXPECT_FALSE(Logged("Process Chunk"));
    EXPECT_TRUE(Logged("size field"));

    EXPECT_FALSE(Load(Bytes{'F', 'O', 'R', 'M'}));
    EXPECT_FALSE(Load(Bytes()));
    EXPECT_FALSE(Load(Bytes(100, 0)));

    Bytes overrun = good;
    SetWord(overrun, BodyOf(good, "SPRT") - 4, 0x7FFFFFF0);
    EXPECT_FALSE(Load(overrun));
    EXPECT_TRUE(Logged("Chunk SPRT"));
    EXPECT_TRUE(Logged("runs past the end of the file"));
}

TEST_F(DataFileTest, UnknownTagsAndEmptyChunks) {
    CDataBuilder b;
    b.AddGeneralInfo({});
    b.AddChunk("ABCD").U32(1);
    b.AddChunk("CODE");
    b.AddChunk("SPRT").OffsetList({"s0", ""}).Label("s0").U32(9);
    EXPECT_FALSE(Load(b.Build()));
    EXPECT_TRUE(Logged("unknown Chunk ABCD:1145258561\n"));
    EXPECT_TRUE(Logged("Process Chunk: CODE   0\n"));
    // The walk goes on after an unknown chunk.
    EXPECT_TRUE(Logged("Process Chunk: SPRT   16\n"));
}

// Extension package records are counted, not read; a list that leaves the file fails the load.
TEST_F(DataFileTest, ExtensionRecordsAreCheckedButNotRead) {
    CDataBuilder b;
    b.AddGeneralInfo({});
    b.AddChunk("EXTN").OffsetList({"e0", "", "e1"}).Label("e0").U32(7).Label("e1").U32(8);
    ASSERT_TRUE(Load(b.Build())) << log;
    EXPECT_TRUE(Logged("EXTN: 2 extension package records are not read"));
    Bytes outside = b.Build();
    SetWord(outside, BodyOf(outside, "EXTN") + 4, 0x7FFFFFF0);
    EXPECT_FALSE(Load(outside));
}

TEST_F(DataFileTest, RecordsMustFitTheirChunks) {
    Bytes good = Game("push.v self.a\npopz.v\npush.s \"t\"\npopz.s\n");
    size_t sprt = BodyOf(good, "SPRT"), code = BodyOf(good, "CODE"), vari = BodyOf(good, "VARI");
    size_t optn = BodyOf(good, "OPTN"), gen = BodyOf(good, "GEN8");
    EXPECT_NE(vari, 0u);
    size_t entry = Word(good, code + 4);

    ExpectFailures(
        good, {
                  {sprt, 1000, "Chunk SPRT: its record list does not fit"},
                  {code, 1000, "Chunk CODE: its list does not fit"},
                  {entry + 4, 1000, "runs past the end of its chunk"},
                  {entry + 4, 0xFFFFFFFC, "runs past the end of its chunk"},
                  {entry + 4, 2, "an instruction of gml_Script_main runs past its end"},
                  {entry + 4, 4, "an operand of gml_Script_main runs past its end"},
                  {entry, static_cast<uint32_t>(good.size()), "the name of entry 0 lies outside the file"},
                  {entry + 8 + 16, 999, "string operand 999"}, // the push.s operand
                  {optn + 35 * 4, 1000, "Chunk OPTN: the constants run past"},
                  {gen + 40, 0xFFFFFF, "a name of the general information lies outside the file"},
                  {gen + 124, 1000, "the room order runs past"},
              });
    // The references moved to a chunk of 13 bytes (the old one becomes a help chunk, which is not read).
    Bytes b = good;
    std::memcpy(b.data() + vari - 8, "HELP", 4);
    for (uint8_t c : std::initializer_list<uint8_t>{'V', 'A', 'R', 'I', 13, 0, 0, 0})
        b.push_back(c);
    b.resize(b.size() + 13);
    SetWord(b, 4, static_cast<uint32_t>(b.size() - 8));
    ExpectFailure(b, "Chunk VARI: its length is not a multiple of 12");
}

TEST_F(DataFileTest, BadReferenceChainsFailTheLoad) {
    // "a" is referenced three times; its chain runs through the three push.v words.
    Bytes good = Game("push.v self.a\npopz.v\npush.v self.a\npopz.v\npush.v self.a\npopz.v\n");
    ASSERT_TRUE(Load(good));
    size_t vari = BodyOf(good, "VARI");
    size_t code = BodyOf(good, "CODE");
    uint32_t first = Word(good, vari + 8);
    uint32_t bytecode = Word(good, code + 4) + 8;
    EXPECT_EQ(first, bytecode);

    uint32_t link = (Word(good, first + 4) & ~kVarRefIdMask) | (0x1FFFFFFF & static_cast<uint32_t>(-8));
    ExpectFailures(good, {
                             // One more reference than the chain holds: the last link points back to itself.
                             {vari + 4, 4, "was bound already"},
                             {vari + 8, first + 8, "is not a variable instruction"}, // the popz after it
                             {vari + 8, first + 2, "is not a variable instruction"}, // inside an instruction
                             {vari + 8, 0xFFFFFFF0, "is not a variable instruction"},
                             {first + 4, link, "is not a variable instruction"},
                             {vari + 4, 0xFFFFFFFF, "negative reference count"},
                             {vari, 0, "has no name"},
                         });
}

// A file may list its code entries in another order than their bytecode lies in: the references bind all
// the same, and a chain that comes back to a reference it bound is still refused.
TEST_F(DataFileTest, ReferencesBindWhateverTheOrderOfTheCodeEntries) {
    CDataBuilder b;
    b.AddGeneralInfo({});
    std::string error;
    ASSERT_TRUE(b.AddCodeListing("gml_Script_one", "push.v self.a\npopz.v\n", &error)) << error;
    ASSERT_TRUE(b.AddCodeListing("gml_Script_two", "push.v self.a\npopz.v\npush.v self.a\npopz.v\n", &error))
        << error;
    Bytes reversed = b.Build();
    const size_t code = BodyOf(reversed, "CODE");
    ASSERT_EQ(Word(reversed, code), 2u);
    const uint32_t one = Word(reversed, code + 4), two = Word(reversed, code + 8);
    ASSERT_LT(Word(reversed, one + 4), Word(reversed, two + 4)) << "the bytecode lies in list order";
    SetWord(reversed, code + 4, two);
    SetWord(reversed, code + 8, one);
    ASSERT_TRUE(Load(reversed)) << log;

    const size_t vari = BodyOf(reversed, "VARI");
    ASSERT_EQ(Word(reversed, vari + 4), 3u);
    SetWord(reversed, vari + 4, 4);
    ExpectFailure(reversed, "was bound already");
}

TEST_F(DataFileTest, TexturePagesAndTextures) {
    CDataBuilder b;
    b.AddGeneralInfo({});
    // Two 22-byte entries naming pages 1 and 7 (there are two pages).
    Bytes entry(22, 0);
    b.AddChunk("TPAG")
        .OffsetList({"t0", "t1"})
        .Label("t0")
        .Bytes(entry.data(), 20)
        .U16(1)
        .Label("t1")
        .Bytes(entry.data(), 20)
        .U16(7);
    b.AddChunk("TXTR")
        .OffsetList({"p0", "p1"})
        .Label("p0")
        .U32(0)
        .Ref("i0")
        .Label("p1")
        .U32(1)
        .Ref("i1")
        .Label("i0")
        .Bytes("RAW ", 4).U32(1).U32(1).U32(0).U32(0xFF0000FFu)
        .Label("i1")
        .Bytes("RAW ", 4).U32(1).U32(1).U32(0).U32(0xFF00FF00u);
    ASSERT_TRUE(Load(b.Build()));
    EXPECT_TRUE(Logged("what!!!!\n"));
    EXPECT_EQ(TPage_Entries().size(), 2u);
    EXPECT_EQ(TPage_GetTexture(0), -1); // no device: page 1 made no texture
    EXPECT_EQ(TPage_GetTexture(1), 7);  // out of range: the field stays
    EXPECT_EQ(TPage_GetTexture(2), -1);

    CDataBuilder bad;
    bad.AddGeneralInfo({});
    bad.AddChunk("TXTR").OffsetList({"p0"}).Label("p0").U32(0).Ref("elsewhere");
    bad.AddChunk("HELP").Label("elsewhere").U32(0);
    EXPECT_FALSE(Load(bad.Build()));
    EXPECT_TRUE(Logged("Chunk TXTR: texture page 0 lies outside its chunk"));

    CDataBuilder badPage;
    badPage.AddGeneralInfo({});
    badPage.AddChunk("TPAG").OffsetList({"t0"}).Label("t0").U32(0);
    EXPECT_FALSE(Load(badPage.Build()));
    EXPECT_TRUE(Logged("texture-page entry lies outside its chunk"));
}

TEST_F(DataFileTest, GameFilesBesideTheGame) {
    TempFolder tmp;
    tmp.SetEnv("XDG_DATA_HOME", tmp / "data");
    TempFolder::MakeDir(tmp / "sub");
    Bytes game = Game();
    TempFolder::Write(tmp / "sub/g.win", std::string(game.begin(), game.end()));
    CDataBuilder debug;
    debug.AddChunk("DBGI").OffsetList({"d0"}).Label("d0").U32(2).S32(0).S32(5);
    debug.AddChunk("SCPT").OffsetList({"s0"}).Label("s0").Ref("text");
    debug.AddChunk("STRG").OffsetList({"k"}).Label("k").U32(2).Bytes("hi", 3).Label("text").Bytes("x = 1;\n",
                                                                                                  8);
    Bytes debugBytes = debug.Build();
    TempFolder::Write(tmp / "sub/g.zbdebug", std::string(debugBytes.begin(), debugBytes.end()));
    TempFolder::Write(tmp / "sub/options.ini", "[DEFAULT]\nDebug=1\nTrace=0\n");

    // Started from the parent folder: the game is found below the current folder.
    tmp.Chdir(tmp.Path());
    CGameFile loaded;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(RunnerLoadGame("sub/g.win", loaded));
    log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Logged("RunnerLoadGame() - " + tmp / "sub/g.win\n"));
    EXPECT_TRUE(Logged("Loaded File " + tmp / "sub/g.win\n"));
    EXPECT_TRUE(Logged("IFF wad found\n"));
    EXPECT_TRUE(Logged("Checking if INIFile " + tmp / "sub/options.ini Exists\n"));
    EXPECT_TRUE(Logged(tmp / "sub/options.ini file contents: [DEFAULT]\nDebug=1\nTrace=0\n\n"));
    EXPECT_EQ(Game_IniOptions().debug, 1);
    EXPECT_EQ(Game_IniOptions().trace, 0);
    EXPECT_TRUE(CommandLine_State().Runner_Switches.debugMode);
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugShowFPS);
    CommandLine_State().Runner_Switches = RunnerSwitches();
    EXPECT_EQ(Game_DebugPath(), tmp / "sub/g.zbdebug");
    EXPECT_EQ(loaded.Size(), game.size());

    uint8_t* table;
    int size;
    ASSERT_TRUE(DebugInfo_GetTable(0, table, size));
    EXPECT_EQ(size, 8);
    EXPECT_EQ(table[4], 5);
    EXPECT_FALSE(DebugInfo_GetTable(1, table, size));
    EXPECT_STREQ(DebugInfo_GetText(0), "x = 1;\n");
    EXPECT_STREQ(DebugInfo_GetString(0), "hi");

    testing::internal::CaptureStdout();
    Code_Load(loaded.Data(), loaded.Size());
    EXPECT_TRUE(LoadGameData(loaded));
    testing::internal::GetCapturedStdout();
    EXPECT_STREQ(GetSaveAreaDirectory(), (tmp / "data/Demo/").c_str());

    // A code object of index 0 runs the entry's bytecode, with the debug file's text and table.
    {
        CCode code(0, 0);
        ASSERT_NE(code.code, nullptr);
        EXPECT_EQ(code.code->size, 12);
        EXPECT_STREQ(code.name, "gml_Script_main");
        EXPECT_STREQ(code.GetText(), "x = 1;\n");
        ASSERT_NE(code.debugInfo, nullptr);
        EXPECT_EQ(code.debugInfo->size, 8);
        CCode outside(1, 0);
        EXPECT_EQ(outside.code, nullptr);
    }

    // A damaged debug file fails the load.
    SetWord(debugBytes, 16, 100);
    TempFolder::Write(tmp / "sub/g.zbdebug", std::string(debugBytes.begin(), debugBytes.end()));
    Game_FreeData();
    testing::internal::CaptureStdout();
    RunnerLoadGame("sub/g.win", loaded);
    log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Runner_HasLoadFailed());
    EXPECT_TRUE(Logged("Chunk DBGI: its record list does not fit its chunk"));
    EXPECT_EQ(Runner_LoadFailureLine(), tmp / "sub/g.zbdebug: Chunk DBGI: its record list does not fit its chunk");

    Game_FreeData();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(RunnerLoadGame((tmp / "missing.win").c_str(), loaded));
    EXPECT_EQ(loaded.Data(), nullptr);
    EXPECT_FALSE(LoadGameData(loaded));
    log = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(Logged("FAILED to load File " + tmp / "missing.win: No such file or directory\n"));
    EXPECT_TRUE(Logged("!!!!No INI File " + tmp / "options.ini\n"));
}

TEST(DataFileDeathTest, NoGameAndNoWayToAskEndsTheRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    CGameFile game;
    EXPECT_EXIT(RunnerLoadGame(nullptr, game), testing::ExitedWithCode(1), "");
}

namespace {
int FindTestScript(const char* name) {
    return std::strcmp(name, "scr_move") == 0 ? 3 : -1;
}
} // namespace

TEST_F(DataFileTest, FunctionReferencesAreBound) {
    Code_Function_SetLookup({FindTestScript, nullptr, nullptr});
    Bytes bytes = Game("call.i scr_move 0\npopz.v\ncall.i scr_move 2\npopz.v\n");
    bool loaded = Load(bytes);
    Code_Function_SetLookup({});
    ASSERT_TRUE(loaded) << log;
    CodeChunkEntry entry;
    ASSERT_TRUE(Code_GetEntry(0, entry));
    Bytes code(entry.bytecode, entry.bytecode + entry.length);
    EXPECT_EQ(Word(code, 4), 100003u);
    EXPECT_EQ(Word(code, 16), 100003u);
}

// A compiled game's native code reaches built-in functions and variables through its reference lists,
// bound by name once the data file is loaded; a name nothing has stays -1 without stopping the load.
namespace {
CompiledGameRef g_functionRefs[] = {{"string_length", 0}, {"no_such_function", 0}, {nullptr, 0}};
CompiledGameRef g_variableRefs[] = {{"catches", 0}, {"x", -5}, {nullptr, 0}};

// global slot 0 = string_length("native") through the bound reference.
void NativeStep(CInstance* self, CInstance* other) {
    ScriptValue argument{};
    argument.kind = KIND_STRING;
    argument.str = const_cast<char*>("native");
    ScriptValue* args[] = {&argument};
    ScriptValue result{};
    Code_Function_Call(g_functionRefs[0].id, self, other, result, 1, args);
    CompiledGame_GlobalSlots()[0] = result;
}
const CompiledGameCodeEntry kNativeCode[] = {{"gml_Object_obj_main_Step_0", NativeStep}};
} // namespace

TEST_F(DataFileTest, CompiledGameTablesBindByName) {
    CompiledGameTables tables{};
    tables.mode = true;
    tables.codeTable = kNativeCode;
    tables.codeCount = 1;
    tables.functionRefs = g_functionRefs;
    tables.variableRefs = g_variableRefs;
    tables.globalSlotCount = 3;
    CompiledGame_Install(&tables);
    const bool loaded = Load(Game());
    ASSERT_TRUE(loaded) << log;
    int id = -1;
    ASSERT_TRUE(Code_Function_Find("string_length", id));
    EXPECT_EQ(g_functionRefs[0].id, id);
    EXPECT_EQ(g_functionRefs[1].id, -1);
    EXPECT_EQ(g_variableRefs[0].id, Code_Variable_FindUser("catches"));
    EXPECT_GE(g_variableRefs[0].id, 100000);
    EXPECT_EQ(g_variableRefs[1].id, Code_Variable_FindAlloc("x"));
    ScriptValue* slots = CompiledGame_GlobalSlots();
    ASSERT_NE(slots, nullptr);
    EXPECT_TRUE(slots[2].IsReal());
    {
        CCode step(0, 0);
        ScriptValue result;
        EXPECT_TRUE(Code_Execute(nullptr, nullptr, &step, &result));
    }
    EXPECT_EQ(slots[0].real, 6);
    // The slots stay through a second load and go with the tables.
    ASSERT_TRUE(Load(Game()));
    EXPECT_EQ(CompiledGame_GlobalSlots(), slots);
    CompiledGame_Install(nullptr);
    EXPECT_EQ(CompiledGame_GlobalSlots(), nullptr);
}

TEST_F(DataFileTest, UnknownFunctionEndsTheRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Bytes bytes = Game("call.i no_such_function 0\npopz.v\n");
    EXPECT_EXIT(Load(bytes), testing::ExitedWithCode(1), "");
}

// A described game's window caption is its title, or its name without one; its sprites' boxes cover the
// whole image, right and bottom included.
TEST_F(DataFileTest, DescribedGamesCarryTheirCaptionAndFullImageBoxes) {
    for (const auto& [title, caption] : {std::pair<std::string, const char*>{"", "Demo"},
                                         {"title Catch  the stars\n", "Catch the stars"}}) {
        GameDescription game;
        std::string error;
        ASSERT_TRUE(GameFile_Parse("game Demo 64 48\n" + title + "sprite s 16 8 0 0 box ff0000\nroom r 64 48 30 000000 -\n", "", &game, &error))
            << error;
        ASSERT_TRUE(Load(GameFile_Build(game))) << log;
        EXPECT_STREQ(GeneralInfo_State().g_GeneralInfo.caption, caption);
        const IntRect box = Sprite_Data(0)->bbox;
        EXPECT_EQ((std::vector<int>{box.left, box.top, box.right, box.bottom}), (std::vector<int>{0, 0, 15, 7}));
    }
}
