// Saved games: the byte layout, loading back, the refusals of bad saved games and the load queue.
#include "world_fixture.h"

#include "core/console.h"
#include "data/general_info.h"
#include "graphics/frame/frame.h"
#include "io/input.h"
#include "library/buffer_table.h"
#include "script/buffer.h"
#include "script/value_test_util.h"
#include "script/variables.h"
#include "support/game_folders.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/room_entry.h"
#include "world/room_table.h"
#include "world/saved_game.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Little-endian bytes of the saved form, written field by field.
struct Bytes {
    std::string b;
    Bytes& Raw(const void* p, size_t n) {
        b.append(static_cast<const char*>(p), n);
        return *this;
    }
    Bytes& I(int32_t v) { return Raw(&v, 4); }
    Bytes& U(uint32_t v) { return Raw(&v, 4); }
    Bytes& H(int16_t v) { return Raw(&v, 2); }
    Bytes& F(float v) { return Raw(&v, 4); }
    Bytes& D(double v) { return Raw(&v, 8); }
    // A zero-terminated string; null is the one-byte string 0x04.
    Bytes& S(const char* text) { return text ? Raw(text, std::strlen(text) + 1) : Raw("\x04", 2); }
    Bytes& Real(double v) { return I(0).D(v).S(nullptr); }
};

std::string Written(IBuffer& buffer) {
    return std::string(reinterpret_cast<const char*>(buffer.data), static_cast<size_t>(buffer.position));
}

std::string SaveNow() {
    IBuffer buffer(0, eBuffer_Grow, 1);
    Game_WriteState(&buffer);
    return Written(buffer);
}

class SavedGames : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        delete Room_State().Run_Room;
        Room_State().Run_Room = nullptr;
        Room_Init();
        for (int i = 0; i < 3; ++i)
            Room_Add();
        Run_ResetRoomTable(Room_Count());
        IO_Init();
        GameValues_Reset();
        GameValues_State().Run_StepCount = 0;
        Frame_State().Run_DrawEnabled = 1;
        Variable_InitGlobals();
        GeneralInfo_State().g_GeneralInfo.gameId = 0x01020304;
        object = AddObject(-1, 5);
        Object_CreateEventLists();
        testing::internal::CaptureStdout();
        ASSERT_TRUE(StartRoom(0, false));
    }
    void TearDown() override {
        log = testing::internal::GetCapturedStdout();
        Game_ClearQueue();
        Buffer_DeleteAll();
        Run_ResetRoomTable(0);
        Room_Clear();
        Object_Lists_Free();
        Variable_Free();
        GameValues_Reset();
        GeneralInfo_State().g_GeneralInfo.gameId = 0;
        WorldTest::TearDown();
    }
    // A buffer holding bytes, read from its start.
    static IBuffer* Holding(const std::string& bytes) {
        IBuffer* buffer = Buffer_Get(Buffer_Create(static_cast<int>(bytes.size()), eBuffer_Fixed, 1));
        if (!bytes.empty()) std::memcpy(buffer->data, bytes.data(), bytes.size());
        return buffer;
    }

    int object = -1;
    std::string log;
};

// The bytes the tables give for the state MakeState makes, and where two of their parts begin.
struct SavedBytes {
    std::string bytes;
    size_t roomTable = 0;
    size_t instance = 0;
};

// The room of SetUp with one instance, a global and a virtual key set, and the bytes the tables give for
// that state.
SavedBytes MakeStateAndItsBytes(int object) {
    SavedBytes out;
    GameValues_State().Game_Score = 7;
    GameValues_State().Game_Lives = 3;
    GameValues_State().Game_Health = 50.5;
    GameValues_State().Game_Caption.showLives = true;
    GameValues_SetText(&GameValues_State().Game_Caption.scoreCaption, "S");
    GameValues_State().Transition_Kind = 2;
    GameValues_State().Cursor_Sprite = -1;
    GameValues_State().Run_StepCount = 12;
    const int g = Code_Variable_FindOrAddUser("g");
    const int hp = Code_Variable_FindOrAddUser("hp");
    SavedGlobals globals{std::make_unique<CVariableList>(), {0, 1, 0}};
    ScriptValue v;
    Value_SetReal(&v, 2.5);
    globals.list->SetVar(g, -1, &v);
    Variable_UseGlobals(globals);

    CRoom* room = Room_State().Run_Room;
    room->SetCaption("Hall");
    room->SetCode(nullptr);
    room->width = 320;
    room->height = 200;
    room->speed = 60;
    room->colour = 0x112233;
    room->backgrounds[1].visible = true;
    room->backgrounds[1].index = 4;
    room->backgrounds[1].x = 1.5f;
    room->views[0].visible = true;
    CInstance* i = room->CreateInstance(10, 20, object);
    i->SetAlarm(3, 7);
    i->path_xstart = 3;
    i->path_ystart = 4;
    Value_SetReal(&v, 9);
    i->variables->SetVar(hp, -1, &v);
    i->ComputeBoundingBox();
    IOVirtualKey& key = Input_State().IO_State.virtualKeys[5];
    key = IOVirtualKey{3, 5, 1, 2, 3, 4, 2, 2, 0, 0, 65, 0};

    Bytes e;
    // Header.
    e.I(851).I(0x01020304).I(0).I(-1).I(2).I(7).I(1).I(0).S("S").I(3).I(1).S(nullptr).D(50.5).I(0).S("Health: ");
    e.I(-1).I(12).I(1);
    // Globals: the list, then the flags.
    e.I(1).S("g").Real(2.5);
    e.I(3).I(0).I(1).I(0);
    // The room table: three entries, the first present.
    out.roomTable = e.b.size();
    e.I(3).I(Room_GetLastInstanceId()).I(Room_GetLastTileId());
    e.I(1);
    e.S("Hall").I(320).I(200).I(60).I(0).U(0x112233).I(1).S(nullptr);
    for (int n = 0; n < 8; ++n) {
        const bool one = n == 1;
        e.I(one).I(0).I(one ? 4 : -1).F(one ? 1.5f : 0).F(0).I(1).I(1).F(0).F(0).F(1).F(1).I(0xFFFFFF).F(1);
    }
    e.I(0);
    for (int n = 0; n < 8; ++n)
        e.I(n == 0).I(0).I(0).I(640).I(480).I(0).I(0).I(640).I(480).F(0).I(32).I(32).I(-1).I(-1).I(-1).I(-1);
    e.I(0); // tiles
    e.I(1); // active instances
    out.instance = e.b.size();
    e.I(i->id).I(0).I(object).I(-1);
    e.F(0).F(1).F(1).F(1).F(0).F(1).U(0xFFFFFF).I(-1).F(5).I(0);
    e.F(10).F(20).F(10).F(20).F(10).F(20).F(0).F(0).F(0).F(270).F(0).F(0).F(0);
    e.I(i->bbox_left).I(i->bbox_right).I(i->bbox_top).I(i->bbox_bottom);
    e.I(1).I(0).I(0);
    for (int a = 0; a < 12; ++a)
        e.I(a == 3 ? 7 : -1);
    e.I(0);
    e.I(-1).F(0).F(0).F(0).F(1).F(0).I(0).F(3).F(4);
    e.I(-1).F(0).F(1).I(0).I(0).I(0);
    e.I(1).S("hp").Real(9);
    e.I(0); // deactivated instances
    e.I(0).I(0);
    // Input state.
    e.I(851).I(128);
    for (int n = 0; n < 128; ++n) {
        if (n == 5)
            e.H(3).H(5).I(1).I(2).I(3).I(4).I(2).I(2).I(0).I(0).I(65).I(0);
        else
            e.H(0).H(static_cast<int16_t>(n)).I(0).I(0).I(0).I(0).I(0).I(0).I(0).I(0).I(0).I(0);
    }
    out.bytes = e.b;
    return out;
}

TEST_F(SavedGames, TheStateIsWrittenAsTheTablesLayItOutAndLoadsBackToTheSameBytes) {
    const std::string expected = MakeStateAndItsBytes(object).bytes;
    ASSERT_EQ(SaveNow(), expected);
    const int id = Room_State().Run_Room->active.first->id;

    // Changed after saving: another score, no caption, the instance gone, a new one, another room.
    GameValues_State().Game_Score = 1;
    GameValues_SetText(&GameValues_State().Game_Caption.scoreCaption, nullptr);
    delete Room_State().Run_Room->active.first;
    Room_State().Run_Room->CreateInstance(0, 0, object);
    GotoRoom(1);
    Input_State().IO_State.virtualKeys[5].key = 0;

    IBuffer* buffer = Holding(expected);
    std::string why;
    ASSERT_TRUE(Game_LoadState(buffer, &why)) << why;
    EXPECT_EQ(buffer->position, static_cast<int>(expected.size()));
    EXPECT_EQ(RoomEntry_State().Run_RoomIndex, 0);
    EXPECT_EQ(Room_State().Run_Room, Run_GetRoom(0));
    EXPECT_EQ(Run_GetRoom(1), nullptr);
    EXPECT_EQ(GameValues_State().Game_Score, 7);
    EXPECT_STREQ(GameValues_State().Game_Caption.scoreCaption, "S");
    EXPECT_EQ(GameValues_State().Game_Caption.livesCaption, nullptr);
    ASSERT_EQ(Room_State().Run_Room->active.count, 1);
    CInstance* loaded = Instance_Find(id);
    ASSERT_EQ(loaded, Room_State().Run_Room->active.first);
    EXPECT_EQ(loaded->GetAlarm(3), 7);
    EXPECT_EQ(Object_Data(object)->instances.count, 1);
    EXPECT_EQ(Input_State().IO_State.virtualKeys[5].key, 65);
    EXPECT_TRUE(Variable_IsGlobalDeclared(kUserVariableBase + 1));
    EXPECT_EQ(SaveNow(), expected);
}

// Two persistent rooms visited and the current one: three present rooms. After loading, the kept
// rooms' instances stay outside the instance table until their room is entered again.
TEST_F(SavedGames, KeptRoomsComeBackAsTheyWereLeft) {
    Room_Data(0)->persistent = true;
    Room_Data(1)->persistent = true;
    Run_ResetRoomTable(Room_Count());
    ASSERT_TRUE(StartRoom(0, false));
    const int first = Room_State().Run_Room->CreateInstance(1, 1, object)->id;
    GotoRoom(1);
    Room_State().Run_Room->CreateInstance(2, 2, object);
    GotoRoom(2);
    const int current = Room_State().Run_Room->CreateInstance(3, 3, object)->id;
    const std::string saved = SaveNow();
    int present = 0;
    for (int i = 0; i < 3; ++i)
        present += Run_GetRoom(i) != nullptr;
    EXPECT_EQ(present, 3);

    GotoRoom(0);
    Run_ResetRoomTable(Room_Count());
    ASSERT_TRUE(StartRoom(1, false));
    ASSERT_TRUE(Game_LoadState(Holding(saved)));
    EXPECT_EQ(RoomEntry_State().Run_RoomIndex, 2);
    EXPECT_NE(Instance_Find(current), nullptr);
    EXPECT_EQ(Instance_Find(first), nullptr);
    EXPECT_EQ(Object_Data(object)->instances.count, 1);
    EXPECT_EQ(SaveNow(), saved);
    GotoRoom(0);
    EXPECT_NE(Instance_Find(first), nullptr);
    EXPECT_EQ(Object_Data(object)->instances.count, 1);
}

// Every refused load leaves the game as it was, the buffer's position included.
TEST_F(SavedGames, ABadSavedGameIsRefusedAndChangesNothing) {
    const SavedBytes saved = MakeStateAndItsBytes(object);
    const std::string& good = saved.bytes;
    const std::string before = SaveNow();
    const size_t roomTable = saved.roomTable;
    const size_t kInputBytes = 8 + 128 * 44;
    auto patched = [&](size_t at, int32_t value) {
        std::string bytes = good;
        std::memcpy(bytes.data() + at, &value, 4);
        return bytes;
    };
    struct Case {
        const char* what;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"another version", patched(0, 850), "version 850"},
        {"a pending change that goes nowhere", patched(12, -300), "pending room change -300"},
        {"a room that the game lacks", patched(12, 9), "pending room change 9"},
        {"a current room not saved", patched(8, 1), "current room 1"},
        {"a negative room count", patched(roomTable, -1), "room table's length -1"},
        {"a room count beyond the bytes", patched(roomTable, 1 << 28), "room table's length"},
        {"a saved room the game lacks",
         patched(roomTable, 4).insert(good.size() - kInputBytes, "\x01\0\0\0", 4), "room 3 is saved"},
        {"a room table's flag that is neither 0 nor 1", patched(roomTable, 4), "room table holds a flag"},
        {"an object the game lacks", patched(saved.instance + 8, 44), "object 44"},
        {"another input version", patched(good.size() - kInputBytes, 1), "input state"},
        {"a string without its terminator", good.substr(0, 4 * 8 + 1), "cut short"},
        {"nothing at all", std::string(), "cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IBuffer* buffer = Holding(c.bytes);
        buffer->position = 0;
        std::string why;
        EXPECT_FALSE(Game_LoadState(buffer, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(buffer->position, 0);
        EXPECT_EQ(SaveNow(), before);
    }
    // Cut anywhere.
    for (size_t cut = 1; cut < good.size(); cut += 97) {
        SCOPED_TRACE(cut);
        EXPECT_FALSE(Game_LoadState(Holding(good.substr(0, cut))));
        EXPECT_EQ(SaveNow(), before);
    }
}

// Each word of each instance's record turned over in turn (flags, ids, objects, counts, positions, the
// variables): the load is refused with nothing changed, or every room holds as many instances as were
// saved, as many of them present, and the current room's all in the instance table.
TEST_F(SavedGames, EveryInstanceIsLoadedOrTheLoadRefused) {
    Room_Data(0)->persistent = true;
    Run_ResetRoomTable(Room_Count());
    ASSERT_TRUE(StartRoom(0, false));
    std::vector<CInstance*> saved = {Room_State().Run_Room->CreateInstance(1, 1, object)};
    GotoRoom(1);
    const int hp = Code_Variable_FindOrAddUser("hp");
    ScriptValue v = StringValue("full");
    for (float x : {2.0f, 3.0f, 4.0f})
        saved.push_back(Room_State().Run_Room->CreateInstance(x, 2, object));
    saved[1]->variables->SetVar(hp, -1, &v);
    Value_Free(&v);
    saved[3]->deactivated = 1;
    Room_State().Run_Room->UpdateActivation();
    const std::string good = SaveNow();

    struct Counts {
        int active[2], deactivated[2], present, listed;
        bool operator==(const Counts&) const = default;
    };
    const auto count = [] {
        Counts c{};
        for (int r = 0; r < 2; ++r) {
            const CRoom* room = Run_GetRoom(r);
            c.active[r] = room ? room->active.count : -1;
            c.deactivated[r] = room ? room->deactivated.count : -1;
        }
        for (const CInstance* i = Room_State().Run_Room->active.first; i; i = i->next) {
            c.present += i->Present();
            c.listed += Instance_Find(i->id) == i;
        }
        return c;
    };
    const Counts expected = count();
    ASSERT_EQ(expected.present, 2);

    // The records, taken before the first load replaces the instances.
    std::vector<std::string> records;
    for (CInstance* instance : saved) {
        IBuffer record(0, eBuffer_Grow, 1);
        instance->Serialise(&record);
        records.push_back(Written(record));
    }
    int refused = 0, loaded = 0;
    for (const std::string& record : records) {
        const size_t at = good.find(record);
        ASSERT_NE(at, std::string::npos);
        for (size_t word = at; word + 4 <= at + record.size(); word += 4) {
            SCOPED_TRACE(testing::Message() << "record at " << at << ", byte " << word - at);
            std::string bytes = good;
            for (size_t k = word; k < word + 4; ++k)
                bytes[k] = static_cast<char>(~bytes[k]);
            if (!Game_LoadState(Holding(bytes))) {
                ++refused;
                EXPECT_EQ(SaveNow(), good);
                continue;
            }
            ++loaded;
            EXPECT_EQ(count(), expected);
            ASSERT_TRUE(Game_LoadState(Holding(good)));
        }
    }
    // Flags, objects and counts are refused; positions, speeds and the like load as they are.
    EXPECT_GT(refused, 20);
    EXPECT_GT(loaded, 100);
}

// A file's saved game is the whole file: bytes after it refuse the load, which says so with the file's
// name on both consoles and in the "-output" file. A game's buffer may hold more after its saved game.
TEST_F(SavedGames, BytesAfterASavedFileRefuseItsLoad) {
    GameFolders folders;
    const std::string releaseLog = folders.Save("release.log");
    Console_SetLogFile(0, releaseLog.c_str());
    GameValues_State().Game_Score = 10;
    ASSERT_TRUE(Game_SaveFile("slot.dat"));
    const std::string saved = TempFolder::Read(folders.Save("slot.dat"));
    TempFolder::Write(folders.Save("slot.dat"), saved + std::string("\0\0\x01", 3));
    GameValues_State().Game_Score = 11;
    Input_State().IO_State.virtualKeys[3].key = 77; // changed since the save: a refused load keeps it
    ASSERT_TRUE(Game_LoadFile("slot.dat"));
    EXPECT_FALSE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 11);
    EXPECT_EQ(Input_State().IO_State.virtualKeys[3].key, 77);
    const std::string line = "WARNING: Game load of " + folders.Save("slot.dat") +
                             " failed: 3 bytes follow the saved game; the game goes on unchanged\n";
    EXPECT_EQ(TempFolder::Read(releaseLog), line);
    Console_SetLogFile(0, nullptr);

    // Cut short, the same file names itself too; whole, it loads.
    TempFolder::Write(folders.Save("slot.dat"), saved.substr(0, saved.size() - 1));
    ASSERT_TRUE(Game_LoadFile("slot.dat"));
    EXPECT_FALSE(Game_ProcessQueuedLoad());
    TempFolder::Write(folders.Save("slot.dat"), saved);
    ASSERT_TRUE(Game_LoadFile("slot.dat"));
    EXPECT_TRUE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 10);
    EXPECT_EQ(Input_State().IO_State.virtualKeys[3].key, 0);

    const int index = Buffer_Create(static_cast<int>(saved.size()) + 64, eBuffer_Fixed, 1);
    std::memcpy(Buffer_Get(index)->data, saved.data(), saved.size());
    GameValues_State().Game_Score = 12;
    ASSERT_TRUE(Game_QueueLoadBuffer(index));
    EXPECT_TRUE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 10);
}

TEST_F(SavedGames, TheQueueTakesOneLoadPerStepAndDeletesWhatItMade) {
    GameFolders folders;
    GameValues_State().Game_Score = 99;
    const int a = Buffer_Create(0, eBuffer_Grow, 1);
    const int b = Buffer_Create(0, eBuffer_Grow, 1);
    ASSERT_TRUE(Game_SaveBuffer(a));
    ASSERT_TRUE(Game_SaveBuffer(b));
    EXPECT_FALSE(Game_SaveBuffer(77));
    GameValues_State().Game_Score = 5;
    // Two buffers in one step: the second wins; its position is the end of what it was written with.
    Buffer_Get(b)->Seek(0, 0);
    EXPECT_TRUE(Game_QueueLoadBuffer(a));
    EXPECT_TRUE(Game_QueueLoadBuffer(b));
    EXPECT_TRUE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 99);
    EXPECT_FALSE(Game_ProcessQueuedLoad()); // nothing queued any more
    EXPECT_NE(Buffer_Get(b), nullptr);      // the game's buffers stay

    // A file: saved into the save area (its folder made first), loaded in the next step; a buffer queued
    // meanwhile is refused, and the file's buffer is deleted after the load.
    GameValues_State().Game_Score = 1;
    ASSERT_TRUE(Game_SaveFile("saves/slot1.dat"));
    EXPECT_EQ(TempFolder::Read(folders.Save("saves/slot1.dat")), SaveNow());
    GameValues_State().Game_Score = 2;
    ASSERT_TRUE(Game_LoadFile("saves/slot1.dat"));
    const int made = Buffer_Create(0, eBuffer_Grow, 1) - 1;
    Buffer_Delete(made + 1);
    EXPECT_FALSE(Game_QueueLoadBuffer(a));
    EXPECT_FALSE(Game_LoadFile("saves/slot1.dat")); // refused; its own buffer goes at once
    EXPECT_EQ(Buffer_Get(made + 1), nullptr);
    EXPECT_TRUE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 1);
    EXPECT_EQ(Buffer_Get(made), nullptr);

    // A missing file, a buffer deleted while queued, and a name outside the save area.
    EXPECT_FALSE(Game_LoadFile("none.dat"));
    EXPECT_TRUE(Game_QueueLoadBuffer(a));
    Buffer_Delete(a);
    EXPECT_FALSE(Game_ProcessQueuedLoad());
    EXPECT_FALSE(Game_SaveFile("/tmp/../etc/elsewhere.dat"));
    EXPECT_EQ(GameValues_State().Game_Score, 1);
}

// A saved game the player picked to open is that file, though the save area holds one at the name the
// mapping gives it; the game's own name for it is the save area's. A name in neither place is not found,
// and no save is refused for it.
TEST_F(SavedGames, ASavedGamePickedToOpenIsThatFile) {
    GameFolders folders;
    GameValues_State().Game_Score = 7;
    ASSERT_TRUE(Game_SaveFile("slot.dat"));
    TempFolder::Write(folders.Game("slot.dat"), TempFolder::Read(folders.Save("slot.dat")));
    GameValues_State().Game_Score = 8;
    ASSERT_TRUE(Game_SaveFile("slot.dat"));
    Support_AddChosenFile(CHOSEN_OPENED, folders.Game("slot.dat").c_str());
    for (const auto& [name, score] :
         {std::pair{folders.Game("slot.dat"), 7}, std::pair{std::string("slot.dat"), 8}}) {
        GameValues_State().Game_Score = 0;
        ASSERT_TRUE(Game_LoadFile(name.c_str())) << name;
        EXPECT_TRUE(Game_ProcessQueuedLoad()) << name;
        EXPECT_EQ(GameValues_State().Game_Score, score) << name;
    }
    // What the load says, apart from what the test said before (the fixture captures the whole test).
    testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Game_LoadFile(folders.Temp("elsewhere.dat").c_str()));
    const std::string said = testing::internal::GetCapturedStdout();
    testing::internal::CaptureStdout();
    EXPECT_NE(said.find("WARNING: Game load failed"), std::string::npos) << said;
    EXPECT_EQ(said.find("not allowing save"), std::string::npos) << said;
}

// With the save area below the working folder (a home folder, say) the saved file is found again: its
// name is mapped once.
TEST_F(SavedGames, AFileSavedBelowTheWorkingFolderLoadsBack) {
    TempFolder home;
    home.Chdir(home.Path());
    home.SetEnv("XDG_DATA_HOME", home / "data");
    LoadSave_Reset();
    LoadSave_SetGamePath((home / "g.win").c_str());
    LoadSave_SetGameName("Demo");
    GameValues_State().Game_Score = 3;
    ASSERT_TRUE(Game_SaveFile("slot.dat"));
    EXPECT_TRUE(TempFolder::Exists(home / "data/Demo/slot.dat"));
    GameValues_State().Game_Score = 4;
    ASSERT_TRUE(Game_LoadFile("slot.dat"));
    EXPECT_TRUE(Game_ProcessQueuedLoad());
    EXPECT_EQ(GameValues_State().Game_Score, 3);
    LoadSave_Reset();
}

} // namespace
