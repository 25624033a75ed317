#include "world_fixture.h"

#include "data/general_info.h"
#include "data_builder.h"
#include "graphics/frame/frame.h"
#include "physics/physics.h"
#include "script/buffer.h"
#include "script/world_interface.h"
#include "support/load_game.h"
#include "world/room_entry.h"
#include "world/room_size.h"
#include "world/room_table.h"

#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct InstanceDef {
    int32_t x = 0, y = 0, object = 0, id = 0;
    uint32_t code = 0; // a code index (bytecode, -1 none) or 0 (text mode: no text)
    const char* text = nullptr;  // creation-code text (text mode)
    float xscale = 1, yscale = 1;
    uint32_t colour = 0xFFFFFFFFu;
    float angle = 0;
};

struct TileDef {
    int32_t x = 0, y = 0, background = 0, left = 0, top = 0, width = 16, height = 16, depth = 0, id = 0;
    float xscale = 1, yscale = 1;
    uint32_t colour = 0xFFFFFFFFu;
};

struct RoomDef {
    const char* name = "room";
    std::optional<uint32_t> rawName;
    const char* caption = nullptr;
    int32_t width = 640, height = 480, speed = 30;
    uint32_t persistent = 0, colour = 0, showColour = 1;
    uint32_t code = 0; // as an instance's code
    const char* codeText = nullptr;
    uint32_t flags = 0;
    std::vector<std::array<int32_t, 10>> backgrounds;
    std::vector<std::array<int32_t, 14>> views;
    std::vector<InstanceDef> instances;
    std::vector<TileDef> tiles;
    uint32_t physics = 0;
    float gravityX = 0, gravityY = 0, pixelsToMetres = 0.1f;
    bool absent = false;
    // Faults written into the record.
    std::optional<uint32_t> instanceCount;
    bool nullInstanceEntry = false;
    bool truncated = false; // only the first 40 bytes, at the very end of the file
};

struct GameDef {
    int version = 13;
    std::vector<RoomDef> rooms;
    std::vector<int32_t> order;
    int codeEntries = 0; // bytecode entries: the game's code is then not text
};

Bytes BuildGame(const GameDef& game) {
    CDataBuilder b;
    CDataBuilder::GeneralInfo info;
    info.version = static_cast<uint8_t>(game.version);
    info.lastInstanceId = 100500;
    info.lastTileId = 10000020;
    info.roomOrder = game.order;
    b.AddGeneralInfo(info);
    std::string error;
    for (int i = 0; i < game.codeEntries; ++i)
        EXPECT_TRUE(b.AddCodeListing("code" + std::to_string(i), "exit.i", &error)) << error;
    b.StringTable();
    CDataBuilder::Chunk& c = b.AddChunk("ROOM");
    std::vector<std::string> labels;
    for (size_t i = 0; i < game.rooms.size(); ++i)
        labels.push_back(game.rooms[i].absent ? "" : "r" + std::to_string(i));
    c.OffsetList(labels);
    for (size_t i = 0; i < game.rooms.size(); ++i) {
        const RoomDef& r = game.rooms[i];
        if (r.absent) continue;
        const std::string id = "r" + std::to_string(i);
        c.Label(id);
        if (r.rawName)
            c.U32(*r.rawName);
        else
            c.Text(r.name);
        if (r.caption)
            c.Text(r.caption);
        else
            c.U32(0);
        c.S32(r.width).S32(r.height).S32(r.speed).U32(r.persistent).U32(r.colour).U32(r.showColour);
        if (r.codeText)
            c.Text(r.codeText);
        else
            c.U32(r.code);
        c.U32(r.flags);
        if (r.truncated) continue;
        c.Ref(r.backgrounds.empty() ? "" : id + "b").Ref(r.views.empty() ? "" : id + "v");
        c.Ref(r.instances.empty() && !r.instanceCount ? "" : id + "i").Ref(r.tiles.empty() ? "" : id + "t");
        c.U32(r.physics).Zeros(16).F32(r.gravityX).F32(r.gravityY).F32(r.pixelsToMetres);

        auto list = [&](const std::string& prefix, size_t n) {
            std::vector<std::string> names;
            for (size_t k = 0; k < n; ++k)
                names.push_back(prefix + std::to_string(k));
            return names;
        };
        // A list of entries that are rows of words.
        auto wordRows = [&](const std::string& label, const auto& rows) {
            if (rows.empty()) return;
            auto names = list(label, rows.size());
            c.Label(label).OffsetList(names);
            for (size_t k = 0; k < names.size(); ++k) {
                c.Label(names[k]);
                for (int32_t w : rows[k])
                    c.S32(w);
            }
        };
        wordRows(id + "b", r.backgrounds);
        wordRows(id + "v", r.views);
        if (!r.instances.empty() || r.instanceCount) {
            auto names = list(id + "i", r.instances.size());
            if (r.nullInstanceEntry) names.back() = "";
            c.Label(id + "i").U32(r.instanceCount.value_or(static_cast<uint32_t>(names.size())));
            for (const std::string& n : names)
                c.Ref(n);
            for (size_t k = 0; k < r.instances.size(); ++k) {
                const InstanceDef& d = r.instances[k];
                c.Label(id + "i" + std::to_string(k)).S32(d.x).S32(d.y).S32(d.object).S32(d.id);
                if (d.text)
                    c.Text(d.text);
                else
                    c.U32(d.code);
                c.F32(d.xscale).F32(d.yscale).U32(d.colour).F32(d.angle);
            }
        }
        if (!r.tiles.empty()) {
            auto names = list(id + "t", r.tiles.size());
            c.Label(id + "t").OffsetList(names);
            for (size_t k = 0; k < names.size(); ++k) {
                const TileDef& t = r.tiles[k];
                c.Label(names[k]).S32(t.x).S32(t.y).S32(t.background).S32(t.left).S32(t.top).S32(t.width);
                c.S32(t.height).S32(t.depth).S32(t.id).F32(t.xscale).F32(t.yscale).U32(t.colour);
            }
        }
    }
    return b.Build();
}

// A world whose rooms are loaded from a built game or made by the table operations; the fixture's
// current room is replaced by the rooms entered.
class RoomTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        delete Room_State().Run_Room;
        Room_State().Run_Room = nullptr;
        Log().clear();
    }
    void TearDown() override {
        Run_ResetRoomTable(0);
        Run_FreeCarriedInstances();
        WorldTest::TearDown();
        Game_FreeData();
        GeneralInfo_State().g_GeneralInfo.roomOrder.clear();
    }
    bool Load(const GameDef& game) { return LoadGameBytes(BuildGame(game), &log); }

    static std::vector<std::string>& Log() {
        static std::vector<std::string> log;
        return log;
    }
    // A native code that logs "<tag>:<self id>".
    template <const char* Tag>
    static CCode* LoggingCode() {
        static const CompiledGameCodeEntry entry{Tag, [](CInstance* self, CInstance*) {
                                                     Log().push_back(std::string(Tag) + ":" +
                                                                     std::to_string(self ? self->id : -1));
                                                 }};
        auto* code = new CCode("", 0);
        code->nativeEntry = &entry;
        return code;
    }
    // Logs the (type, number) event of object as "<name>:<self id>".
    static void LogEvent(int object, int type, int number, const std::string& name) {
        On(object, type, number,
           [name](CInstance* self, CInstance*) { Log().push_back(name + ":" + std::to_string(self->id)); });
    }

    std::string log;
};

constexpr char kInstanceCode[] = "code";
constexpr char kRoomCode[] = "room code";

RoomDef FullRoom() {
    RoomDef r;
    r.name = "rFirst";
    r.caption = "Level one";
    r.width = 1000;
    r.height = 700;
    r.speed = 60;
    r.persistent = 1;
    r.colour = 0x123456;
    r.showColour = 0;
    r.flags = 3;
    r.backgrounds = {{1, 0, 7, 10, 20, 1, 0, 2, -3, 1}, {0, 1, -1, 0, 0, 0, 1, 0, 0, 0}};
    r.views = {{1, 5, 6, 320, 240, 0, 0, 640, 480, 40, 50, 4, 5, 0}};
    r.instances = {{10, 20, 0, 100001, 0, nullptr, 2, 3, 0x80ABCDEFu, 45},
                   {30, 40, -1, 100002},
                   {50, 60, 0, 100003}};
    r.tiles = {{8, 9, 1, 2, 3, 16, 16, -5, 10000001, 1, 1, 0x40102030u}};
    r.physics = 1;
    r.gravityX = 0;
    r.gravityY = 9.8f;
    return r;
}

} // namespace

TEST_F(RoomTest, RecordsLoadIntoDefinitionsWithTheirListsAndPhysics) {
    for (int version : {5, 13}) {
        SCOPED_TRACE(version);
        RoomDef hole;
        hole.absent = true;
        RoomDef plain;
        plain.name = "rPlain";
        ASSERT_TRUE(Load({version, {FullRoom(), hole, plain}, {2, 0}})) << log;

        EXPECT_EQ(Room_Count(), 3);
        EXPECT_FALSE(Room_Exists(1));
        EXPECT_STREQ(Room_GetName(0), "rFirst");
        EXPECT_STREQ(Room_GetName(1), "<undefined>");
        EXPECT_EQ(Room_FindByName("rPlain"), 2);
        EXPECT_EQ(Room_FindByName("rplain"), -1);
        EXPECT_EQ(Room_GetLastInstanceId(), 100500);
        EXPECT_EQ(Room_GetLastTileId(), 10000020);

        const CRoom* room = Room_Data(0);
        ASSERT_NE(room, nullptr);
        EXPECT_STREQ(room->caption, "Level one");
        EXPECT_TRUE(room->viewsEnabled);
        EXPECT_TRUE(room->clearDisplay);
        const RoomBackground& b = room->backgrounds[0];
        EXPECT_EQ(b.vspeed, -3.0f);
        EXPECT_FALSE(b.vtiled);
        EXPECT_EQ(b.xscale, 1.0f); // stretched over a background that does not exist
        EXPECT_EQ(room->backgrounds[2].index, -1);
        EXPECT_EQ(room->views[0].viewW, 320);
        EXPECT_EQ(room->views[1].object, -1);

        // A definition holds no instances and no tiles of its own: they stay in the record.
        EXPECT_EQ(room->active.count, 0);
        EXPECT_TRUE(room->tiles.empty());
        ASSERT_NE(room->record, nullptr);
        EXPECT_EQ(room->record->instances.size(), 3u);
        EXPECT_EQ(room->record->tiles.size(), 1u);

        // Physics from version 6 on, gravity truncated to whole numbers.
        EXPECT_EQ(room->usesPhysics, version >= 6);
        EXPECT_EQ(room->physicsWorld != nullptr, version >= 6);
        if (version >= 6) {
            EXPECT_EQ(room->gravityY, 9);
            EXPECT_EQ(room->physicsWorld->GravityY(), 9.0f);
        }

        const CRoom* other = Room_Data(2);
        EXPECT_EQ(other->caption, nullptr);
        EXPECT_TRUE(other->record->instances.empty());

        EXPECT_EQ(Room_First(), 2);
        EXPECT_EQ(Room_Last(), 0);
        EXPECT_EQ(Room_Next(2), 0);
        EXPECT_EQ(Room_Previous(2), -1);
        EXPECT_EQ(Room_Next(1), -1); // not in the order
    }
}

TEST_F(RoomTest, BadRecordsFailTheLoadNamingTheRoom) {
    struct Case {
        const char* what;
        RoomDef room;
        int codeEntries = 0;
    };
    auto room = [](void (*edit)(RoomDef&)) {
        RoomDef r;
        edit(r);
        return r;
    };
    const Case cases[] = {
        {"instance list lies outside the file", room([](RoomDef& r) {
             r.instanceCount = 1000000;
             r.instances = {{}};
         })},
        {"instance list lies outside the file", room([](RoomDef& r) {
             r.instances = {{}, {}};
             r.nullInstanceEntry = true;
         })},
        {"record lies outside the file", room([](RoomDef& r) { r.truncated = true; })},
        {"name lies outside the file", room([](RoomDef& r) { r.rawName = 0xFFFFFF00u; })},
        {"creation code names a code entry that does not exist", room([](RoomDef& r) { r.code = 5; }), 1},
        {"creation code names a code entry that does not exist",
         room([](RoomDef& r) { r.instances = {{0, 0, 0, 100001, static_cast<uint32_t>(-2)}}; }), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GameDef game;
        game.rooms = {c.room};
        game.codeEntries = c.codeEntries;
        EXPECT_FALSE(Load(game));
        EXPECT_NE(log.find(std::string("ROOM: room 0: ") + c.what), std::string::npos) << log;
    }

    // A code index that exists loads.
    RoomDef good;
    good.code = 0;
    good.instances = {{0, 0, 0, 100001, 0}};
    GameDef game;
    game.rooms = {good};
    game.codeEntries = 1;
    ASSERT_TRUE(Load(game)) << log;
    EXPECT_NE(Room_Data(0)->code, nullptr);
    EXPECT_NE(Room_Data(0)->record->instances[0].code, nullptr);
}

TEST_F(RoomTest, PrepareCompilesTextCodeAndKeepsTheLastResult) {
    RoomDef a;
    a.name = "rA";
    a.codeText = "";
    a.instances = {{0, 0, 0, 100001, 0, "n = 1"}, {0, 0, 0, 100002, 0, "n = "}, {0, 0, 0, 100003, 0, "n = 3"}};
    RoomDef b;
    b.name = "rB";
    b.codeText = "m = 2";
    ASSERT_TRUE(Load({13, {a, b}, {0, 1}})) << log;

    // The failing instance code is reported, the room's later entries skipped, and the next room's
    // successful compile gives the result.
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Room_Prepare());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_EQ(
        std::string(CodeError_State().Code_LastErrorText).rfind("COMPILATION ERROR in room script\n", 0), 0u);
    const auto& entries = Room_Data(0)->record->instances;
    EXPECT_TRUE(entries[0].code->compiled);
    EXPECT_FALSE(entries[1].code->compiled);
    EXPECT_FALSE(entries[2].code->compiled);
    EXPECT_STREQ(entries[0].code->name, "Instance.rA.0");
    // Empty room code is not compiled and does not fail.
    EXPECT_FALSE(Room_Data(0)->code->compiled);
    EXPECT_TRUE(Room_Data(1)->code->compiled);
    EXPECT_STREQ(Room_Data(1)->code->name, "Room.rB");

    // A room's own code failing stops the preparation.
    b.codeText = "m = ";
    ASSERT_TRUE(Load({13, {b, a}, {0}})) << log;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(Room_Prepare());
    testing::internal::GetCapturedStdout();
    EXPECT_FALSE(Room_Data(1)->record->instances[0].code->compiled);
}

TEST_F(RoomTest, OrderHelpersGiveOnlyRoomsThatExist) {
    ASSERT_TRUE(Load({13, {RoomDef(), RoomDef()}, {}})) << log;
    EXPECT_EQ(Room_First(), -1);
    EXPECT_EQ(Room_Last(), -1);
    EXPECT_EQ(Room_Next(0), -1);

    ASSERT_TRUE(Load({13, {RoomDef(), RoomDef()}, {-5, 1, 7}})) << log;
    EXPECT_EQ(Room_First(), -1);
    EXPECT_EQ(Room_Last(), -1);
    EXPECT_EQ(Room_Next(-5), 1);
    EXPECT_EQ(Room_Previous(1), -1);
    EXPECT_EQ(Room_Next(1), -1);
    EXPECT_FALSE(StartRoom(Room_First(), true));
    EXPECT_EQ(Room_State().Run_Room, nullptr);
}

TEST_F(RoomTest, TableOperationsAddDuplicateAndAssign) {
    AddObject();
    ASSERT_TRUE(Load({13, {FullRoom(), RoomDef(), RoomDef(), RoomDef(), RoomDef()}, {0}})) << log;
    int added = Room_Add();
    EXPECT_EQ(added, 5);
    EXPECT_STREQ(Room_GetName(5), "__newroom5");
    EXPECT_STREQ(Room_Data(5)->record->name, "NewRoom");

    EXPECT_EQ(Room_Duplicate(9), -1);
    EXPECT_EQ(Room_Count(), 6);
    int copy = Room_Duplicate(0);
    EXPECT_EQ(copy, 6);
    EXPECT_STREQ(Room_GetName(6), "__newroom6");
    EXPECT_EQ(Room_Data(6)->width, 1000);
    // The copy shares the record: an entry added through either shows in both. The loaded definition's
    // tiles stay in that record; the copy has no tiles of its own.
    int id = Room_Data(6)->AddInstanceRecord(12.9, -3.7, 0);
    EXPECT_EQ(id, 100501);
    ASSERT_EQ(Room_Data(0)->record->instances.size(), 4u);
    EXPECT_EQ(Room_Data(0)->record->instances[3].x, 12);
    EXPECT_EQ(Room_Data(0)->record->instances[3].y, -3);
    EXPECT_TRUE(Room_Data(6)->tiles.empty());
    EXPECT_EQ(Room_Data(0)->AddTileRecord(1, 0, 0, 8, 8, 4, 4, 10, 1, 1, 0xFFFFFFFFu), 10000021);
    EXPECT_EQ(Room_Data(6)->record->tiles.size(), 2u);

    // Assign copies the definition only: no instance enters the instance table.
    EXPECT_FALSE(Room_Assign(1, 9));
    EXPECT_TRUE(Room_Assign(1, 0));
    EXPECT_EQ(Room_Data(1)->width, 1000);
    EXPECT_EQ(Room_Data(1)->active.count, 0);
    EXPECT_EQ(Instance_Find(100001), nullptr);
    EXPECT_EQ(Object_Data(0)->instances.count, 0);
    EXPECT_STREQ(Room_GetName(1), "room");

    Room_Data(6)->ClearInstanceRecords();
    EXPECT_TRUE(Room_Data(0)->record->instances.empty());
}

// The drawing and the window read the running room's size and an instance's image through the world's
// interface, without a room 0 x 0.
TEST_F(RoomTest, TheWorldInterfaceAnswersTheRunningRoomAndAnInstancesImage) {
    UseScriptVariables();
    int w = -1, h = -1;
    EXPECT_FALSE(ScriptWorld_RoomSize(w, h));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    AddObject();
    ASSERT_TRUE(Load({13, {FullRoom()}, {0}})) << log;
    ASSERT_TRUE(StartRoom(0, false));
    EXPECT_TRUE(ScriptWorld_RoomSize(w, h));
    EXPECT_EQ(w, Room_State().Run_Room->width);
    EXPECT_EQ(h, Room_State().Run_Room->height);
    CInstance* first = Instance_Find(100001);
    ASSERT_NE(first, nullptr);
    first->image_index = 2.75f;
    EXPECT_EQ(ScriptWorld_ImageIndexOf(first), 2.75f);
    EXPECT_EQ(ScriptWorld_ImageIndexOf(nullptr), 0.0f);
}

TEST_F(RoomTest, EnteringMakesInstancesAndTilesFromTheRecord) {
    int object = AddObject(-1, 5);
    ASSERT_TRUE(Load({13, {FullRoom()}, {0}})) << log;
    ASSERT_TRUE(StartRoom(0, false));
    CRoom* room = Room_State().Run_Room;
    ASSERT_NE(room, nullptr);
    EXPECT_NE(room, Room_Data(0));
    int w = 0, h = 0;
    EXPECT_TRUE(Room_GetCurrentSize(w, h));
    EXPECT_EQ(w, 1000);

    // The entry with object -1 makes nothing.
    EXPECT_EQ(room->active.count, 2);
    EXPECT_EQ(Instance_Find(100002), nullptr);
    CInstance* first = Instance_Find(100001);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->image_yscale, 3.0f);
    EXPECT_EQ(first->image_blend, 0xABCDEFu);
    EXPECT_FLOAT_EQ(first->image_alpha, 128.0f / 255.0f);
    EXPECT_EQ(first->depth, 5.0f);
    EXPECT_EQ(Object_Data(object)->instances.count, 2);
    EXPECT_TRUE(first->created);

    ASSERT_EQ(room->tiles.size(), 1u);
    const RoomTile& t = room->tiles[0];
    EXPECT_EQ(t.depth, -5.0f);
    EXPECT_EQ(t.blend, 0x102030u);
    EXPECT_FLOAT_EQ(t.alpha, 64.0f / 255.0f);
    EXPECT_EQ(room->physicsWorld->GravityY(), 9.0f);
}

TEST_F(RoomTest, StartRunsCreationCodeInOrderAndPersistentRoomsComeBack) {
    int object = AddObject();
    LogEvent(object, ev_create, 0, "create");
    LogEvent(object, ev_other, 2, "game start");
    LogEvent(object, ev_other, 4, "room start");
    LogEvent(object, ev_other, 5, "room end");
    LogEvent(object, ev_other, 3, "game end");

    int r = Room_Add();
    CRoom* definition = Room_Data(r);
    definition->persistent = true;
    definition->record->code.reset(LoggingCode<kRoomCode>());
    definition->code = definition->record->code.get();
    int a = definition->AddInstanceRecord(1, 1, object);
    int b = definition->AddInstanceRecord(2, 2, object);
    for (RoomInstanceEntry& e : definition->record->instances)
        e.code.reset(LoggingCode<kInstanceCode>());
    int other = Room_Add();

    ASSERT_TRUE(StartRoom(r, true));
    const std::string ida = std::to_string(a), idb = std::to_string(b);
    EXPECT_EQ(Log(), (std::vector<std::string>{"create:" + ida, "code:" + ida, "create:" + idb, "code:" + idb,
                                               "game start:" + ida, "game start:" + idb, "room code:0",
                                               "room start:" + ida, "room start:" + idb}));
    CRoom* kept = Room_State().Run_Room;
    Instance_Find(a)->x = 77;

    // Leaving a persistent room keeps it; its instances leave the hash and the object lists.
    Log().clear();
    GotoRoom(other);
    EXPECT_EQ(Log(), (std::vector<std::string>{"room end:" + ida, "room end:" + idb}));
    EXPECT_EQ(Run_GetRoom(r), kept);
    EXPECT_EQ(Instance_Find(a), nullptr);
    EXPECT_EQ(Object_Data(object)->instances.count, 0);

    // Coming back: as left, and no create event or creation code again.
    Log().clear();
    GotoRoom(r);
    EXPECT_EQ(Room_State().Run_Room, kept);
    EXPECT_EQ(Log(), (std::vector<std::string>{"room start:" + ida, "room start:" + idb}));
    ASSERT_NE(Instance_Find(a), nullptr);
    EXPECT_EQ(Instance_Find(a)->x, 77.0f);
    EXPECT_EQ(Object_Data(object)->instances.count, 2);

    // A room that is not persistent is made again from its definition on every visit.
    definition->persistent = false;
    Run_ResetRoomTable(0);
    ASSERT_TRUE(StartRoom(r, false));
    Instance_Find(a)->x = 77;
    GotoRoom(other);
    EXPECT_EQ(Run_GetRoom(r), nullptr);
    GotoRoom(r);
    EXPECT_EQ(Instance_Find(a)->x, 1.0f);

    Log().clear();
    EndRoom(true);
    EXPECT_EQ(Log(), (std::vector<std::string>{"room end:" + ida, "room end:" + idb, "game end:" + ida,
                                               "game end:" + idb}));
    EXPECT_EQ(Room_State().Run_Room, nullptr);
}

TEST_F(RoomTest, PersistentInstancesAreCarriedAndReplacePlacedOnes) {
    int keeper = AddObject();
    Object_Data(keeper)->flags |= OBJECT_PERSISTENT;
    LogEvent(keeper, ev_create, 0, "create");

    int first = Room_Add();
    int id = Room_Data(first)->AddInstanceRecord(5, 5, keeper);
    int second = Room_Add();
    // The second room places an instance with the same id: the carried one takes it over.
    Room_Data(second)->record->instances.emplace_back();
    RoomInstanceEntry& same = Room_Data(second)->record->instances.back();
    same.x = 90;
    same.object = keeper;
    same.id = id;
    Room_Data(second)->AddInstanceRecord(1, 1, keeper);

    ASSERT_TRUE(StartRoom(first, false));
    Instance_Find(id)->x = 42;
    Log().clear();
    EndRoom(false);
    EXPECT_EQ(Run_CarriedCount(), 1);
    ASSERT_TRUE(StartRoom(second, false));
    EXPECT_EQ(Run_CarriedCount(), 0);
    ASSERT_NE(Instance_Find(id), nullptr);
    EXPECT_EQ(Instance_Find(id)->x, 42.0f);
    EXPECT_EQ(Room_State().Run_Room->active.count, 2);
    // Only the other placed instance got a create event.
    EXPECT_EQ(Log(), (std::vector<std::string>{"create:" + std::to_string(Room_GetLastInstanceId())}));
}

TEST_F(RoomTest, FreeingARoomTakesItsInstancesOffThePendingLists) {
    int object = AddObject();
    int r = Room_Add();
    Room_Data(r)->AddInstanceRecord(0, 0, object);
    ASSERT_TRUE(StartRoom(r, false));
    CInstance* instance = Room_State().Run_Room->active.first;
    instance->SetDepth(4);
    instance->ChangeObject(object);
    InstanceArray_AddUnique(DEFERRED_ACTIVATION, instance);
    Run_ResetRoomTable(0);
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 0);
    EXPECT_EQ(Deferred_Count(DEFERRED_OBJECT), 0);
    EXPECT_EQ(Deferred_Count(DEFERRED_ACTIVATION), 0);
}

TEST_F(RoomTest, StateSavesAndLoadsBackWithTileIdsAndDefinitionFields) {
    int object = AddObject();
    ASSERT_TRUE(Load({13, {FullRoom()}, {0}})) << log;
    // Saving a room with physics is refused elsewhere; here the room has none.
    Room_Data(0)->usesPhysics = false;
    ASSERT_TRUE(StartRoom(0, false));
    CRoom* room = Room_State().Run_Room;
    room->SetCaption(nullptr);
    room->backgrounds[3].hspeed = 1.5f;
    room->views[2].surfaceId = 4;
    RoomTile extra;
    extra.depth = 3;
    int extraIndex = room->AddTile(extra);
    int extraId = room->tiles[static_cast<size_t>(extraIndex)].id;
    CInstance* asleep = Instance_Find(100003);
    asleep->deactivated = 1;
    room->UpdateActivation();

    IBuffer buffer(0, eBuffer_Grow, 1);
    testing::internal::CaptureStdout();
    room->SaveState(&buffer);
    testing::internal::GetCapturedStdout();
    const int size = buffer.position;
    Run_ResetRoomTable(0);

    int counter = Room_GetLastTileId();
    buffer.Seek(0, 0);
    CRoom loaded;
    ASSERT_TRUE(loaded.LoadState(&buffer, 0));
    EXPECT_EQ(buffer.position, size);
    EXPECT_EQ(Room_GetLastTileId(), counter);
    EXPECT_EQ(loaded.caption, nullptr);
    EXPECT_EQ(loaded.backgrounds[3].hspeed, 1.5f);
    EXPECT_EQ(loaded.views[2].surfaceId, 4);
    ASSERT_EQ(loaded.tiles.size(), 2u);
    EXPECT_EQ(loaded.tiles[0].id, 10000001);
    EXPECT_EQ(loaded.tiles[1].id, extraId);
    EXPECT_EQ(loaded.active.count, 1);
    EXPECT_EQ(loaded.deactivated.count, 1);
    EXPECT_EQ(Instance_Find(100001), loaded.active.first);
    EXPECT_EQ(Instance_Find(100003), loaded.deactivated.first);
    EXPECT_EQ(Object_Data(object)->instances.count, 1);
    // Not in the saved form: taken from the definition.
    EXPECT_TRUE(loaded.clearDisplay);
    EXPECT_STREQ(loaded.name, "rFirst");
    EXPECT_EQ(loaded.record, Room_Data(0)->record);
    loaded.Reset();

    // Cut short anywhere, or with counts beyond the bytes left: false, with nothing left behind.
    auto patchWord = [&](IBuffer& b, int at, int32_t value) { std::memcpy(b.data + at, &value, 4); };
    for (int cut : {3, size / 2, size - 1}) {
        SCOPED_TRACE(cut);
        IBuffer shortBuffer(cut, eBuffer_Fixed, 1);
        std::memcpy(shortBuffer.data, buffer.data, static_cast<size_t>(cut));
        CRoom broken;
        EXPECT_FALSE(broken.LoadState(&shortBuffer, 0));
        EXPECT_EQ(broken.active.count, 0);
        EXPECT_TRUE(broken.tiles.empty());
        EXPECT_EQ(Instance_Find(100001), nullptr);
    }
    // The tile count sits after the caption (1 + 1 bytes), 6 words, code text, 8 backgrounds of 13
    // words, 1 word and 8 views of 16 words.
    const int codeTextBytes = 1;
    const int tileCountAt = 2 + 6 * 4 + codeTextBytes + 8 * 13 * 4 + 4 + 8 * 16 * 4;
    for (int32_t count : {-1, 1000000}) {
        SCOPED_TRACE(count);
        IBuffer copy(size, eBuffer_Fixed, 1);
        std::memcpy(copy.data, buffer.data, static_cast<size_t>(size));
        patchWord(copy, tileCountAt, count);
        CRoom broken;
        EXPECT_FALSE(broken.LoadState(&copy, 0));
        EXPECT_TRUE(broken.tiles.empty());
    }
}

TEST_F(RoomTest, SavingAPhysicsRoomEndsTheGameButStillWritesTheState) {
    CRoom room;
    room.usesPhysics = true;
    IBuffer buffer(0, eBuffer_Grow, 1);
    testing::internal::CaptureStdout();
    room.SaveState(&buffer);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    EXPECT_STREQ(CodeError_State().Code_LastErrorText,
                 "ERROR: game_save unavailable for rooms using physics");
    buffer.Seek(0, 0);
    CRoom loaded;
    EXPECT_TRUE(loaded.LoadState(&buffer, -1));
    EXPECT_FALSE(loaded.usesPhysics);
}

TEST_F(RoomTest, BackgroundsScrollAndTheDrawingSizeFollowsTheViews) {
    CRoom room;
    room.backgrounds[0].hspeed = 1.5f;
    room.backgrounds[5].vspeed = -0.25f;
    room.ScrollBackgrounds();
    room.ScrollBackgrounds();
    EXPECT_EQ(room.backgrounds[0].x, 3.0f);
    EXPECT_EQ(room.backgrounds[5].y, -0.5f);
    int w = 0, h = 0;
    EXPECT_FALSE(Room_GetCurrentSize(w, h));

    // Views whose ports are smaller than 8 pixels still ask for 8 x 8; without views, the room's size.
    room.viewsEnabled = true;
    room.views[1].visible = true;
    room.views[1].portW = room.views[1].portH = 4;
    room.UpdateWindowSize();
    Graphics::GetScreenSize(w, h);
    EXPECT_EQ(w, 8);
    EXPECT_EQ(h, 8);
    room.viewsEnabled = false;
    room.width = 300;
    room.UpdateWindowSize();
    Graphics::GetScreenSize(w, h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 480);
}
