#include "world_fixture.h"

#include "ext/services.h"
#include "io/input.h"
#include "library/data_structures.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "net/async_requests.h"
#include "script/compiled_game.h"
#include "script/script.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/room_entry.h"
#include "world/timeline.h"

#include <cstring>
#include <iterator>
#include <utility>
#include <string>
#include <vector>

namespace {

class DispatchTest : public WorldTest {
protected:
    void TearDown() override {
        Object_Lists_Free();
        TimeLine_Free();
        WorldTest::TearDown();
    }
    CInstance* Make(int object, float x = 0, float y = 0) {
        return Room_State().Run_Room->CreateInstance(x, y, object);
    }
    std::vector<std::string> log;
};

TEST_F(DispatchTest, InstancesMadeDuringAStageWaitForTheNextOne) {
    int a = AddObject();
    int b = AddObject();
    On(a, ev_step, 0, [&](CInstance*, CInstance*) {
        log.push_back("a");
        Make(b);
    });
    On(b, ev_step, 0, [&](CInstance*, CInstance*) { log.push_back("b"); });
    Make(a);
    Object_CreateEventLists();
    Dispatch_Step(ev_step_normal);
    EXPECT_EQ(log, (std::vector<std::string>{"a"}));
    log.clear();
    Dispatch_Step(ev_step_normal);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
}

// The lists and pairs against asking every object about every event: objects with parents (and a
// parent index that names no object), handlers spread over the listed types and beyond their highest
// numbers, and collisions with objects, with ancestors and with numbers that name no object.
TEST_F(DispatchTest, EventListsAndCollisionPairsHoldWhatEveryObjectFindsForItself) {
    uint32_t seed = 99;
    auto next = [&seed](int n) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % static_cast<uint32_t>(n));
    };
    std::vector<int> objects;
    for (int i = 0; i < 40; ++i) {
        const int parent = i > 0 && next(3) != 0 ? objects[static_cast<size_t>(next(i))] : -1;
        objects.push_back(AddObject(parent));
    }
    Object_Data(objects[5])->parent = 4000; // names no object: the chain ends there
    const int types[] = {ev_alarm, ev_step, ev_keyboard, ev_mouse, ev_other, ev_keypress, ev_keyrelease,
                         ev_create, ev_draw, ev_collision};
    for (int k = 0; k < 120; ++k) {
        const int type = types[next(static_cast<int>(std::size(types)))];
        const int number = type == ev_collision ? next(45) : next(4) == 0 ? next(type == ev_step ? 20 : 140) : next(6);
        On(objects[static_cast<size_t>(next(40))], type, number, [](CInstance*, CInstance*) {});
    }
    Object_CreateEventLists();
    for (int type : types) {
        for (int number = 0; number < 256; ++number) {
            std::vector<int> expected;
            const bool listed = type != ev_create && type != ev_collision &&
                                number <= (type == ev_alarm ? 12 : type == ev_step ? 16 : type == ev_draw ? 64 : 128);
            for (int o : objects)
                if (listed && Object_Data(o)->FindEvent(type, number)) expected.push_back(o);
            ASSERT_EQ(Object_EventList(type, number), expected) << type << " " << number;
        }
    }
    std::vector<std::pair<int, int>> pairs;
    for (size_t a = 0; a < objects.size(); ++a)
        for (size_t b = a; b < objects.size(); ++b)
            if (Object_Data(objects[a])->FindEvent(ev_collision, objects[b]) ||
                Object_Data(objects[b])->FindEvent(ev_collision, objects[a]))
                pairs.emplace_back(objects[a], objects[b]);
    EXPECT_FALSE(pairs.empty());
    EXPECT_EQ(Object_CollisionPairs(), pairs);
}

TEST_F(DispatchTest, AlarmsCountDownOnlyWhereAHandlerApplies) {
    int parent = AddObject();
    int child = AddObject(parent);
    int bare = AddObject();
    int fired = 0;
    On(parent, ev_alarm, 3, [&](CInstance*, CInstance*) { ++fired; });
    CInstance* c = Make(child);
    CInstance* n = Make(bare);
    CInstance* zero = Make(child);
    c->alarm[3] = 2;
    n->alarm[3] = 2;
    zero->alarm[3] = 0;
    Object_CreateEventLists();
    Dispatch_Alarms();
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(zero->alarm[3], -1); // set to 0: stops without firing
    Dispatch_Alarms();
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(c->alarm[3], 0);
    EXPECT_EQ(n->alarm[3], 2);
}

TEST_F(DispatchTest, KeysAboveTheListsRaiseOnlyTheAnyKeyEvents) {
    int o = AddObject();
    On(o, ev_keyboard, 1, [&](CInstance*, CInstance*) { log.push_back("any"); });
    On(o, ev_keyboard, 0, [&](CInstance*, CInstance*) { log.push_back("none"); });
    On(o, ev_keypress, 65, [&](CInstance*, CInstance*) { log.push_back("press A"); });
    Make(o);
    Object_CreateEventLists();
    std::memset(&Input_State().IO_State.game, 0, sizeof Input_State().IO_State.game);
    Input_State().IO_State.game.keyDown[200] = 1;
    Dispatch_KeyboardAll();
    Input_State().IO_State.game.keyDown[200] = 0;
    Dispatch_KeyboardAll();
    Input_State().IO_State.game.keyPressed[65] = 1;
    Dispatch_KeyboardAll();
    std::memset(&Input_State().IO_State.game, 0, sizeof Input_State().IO_State.game);
    EXPECT_EQ(log, (std::vector<std::string>{"any", "none", "press A", "any"}));
}

TEST_F(DispatchTest, SolidCollisionsGoBackFirstAndDestroyedInstancesMeetNoMore) {
    int wall = SolidObject(10, 10);
    int ball = SolidObject(10, 10, false);
    std::vector<std::pair<float, float>> seen;
    On(ball, ev_collision, wall, [&](CInstance* self, CInstance* other) {
        seen.emplace_back(self->x, self->y);
        other->SetMarked(true); // destroyed: the second wall it touches meets it no more
    });
    CInstance* b = Make(ball, 5, 5);
    b->xprevious = -50;
    b->yprevious = 5;
    Make(wall, 0, 0);
    Make(wall, 3, 3);
    Object_CreateEventLists();
    ASSERT_EQ(Object_CollisionPairs().size(), 1u);
    Dispatch_Collisions();
    // The ball went back to its previous position before its handler ran, and met one wall only.
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(-50.0f, 5.0f));
}

TEST_F(DispatchTest, OutsideRoomFiresOncePerCrossing) {
    int o = AddObject();
    int count = 0;
    On(o, ev_other, 0, [&](CInstance*, CInstance*) { ++count; });
    CInstance* i = Make(o, 10, 10);
    Object_CreateEventLists();
    for (float x : {-5.0f, -6.0f, 10.0f, 700.0f}) {
        i->SetPosition(x, 10);
        Dispatch_Boundaries();
    }
    EXPECT_EQ(count, 2);
}

// Completes a request with an event map holding a status and a nested list.
int32_t CompleteWithMap(HTTP_REQ_CONTEXT*, void*, int32_t* asyncLoad) {
    *asyncLoad = CreateDsMap({{"status", 200, nullptr}});
    const int list = DS_State().DS_Lists.Add(new CDS_List());
    ScriptValue marked{};
    marked.kind = DS_MARK_LIST;
    marked.real = list;
    ScriptValue key{};
    key.kind = KIND_STRING;
    key.str = const_cast<char*>("list");
    DS_State().DS_Maps.Get(*asyncLoad)->Add(&key, &marked);
    return 62;
}

TEST_F(DispatchTest, TheAsyncLoadMapIsFilledForItsEventAndDestroyedAfterIt) {
    int o = AddObject();
    int seen = -1;
    On(o, ev_other, 62, [&](CInstance*, CInstance*) {
        seen = GameValues_State().AsyncLoad_Index;
        ScriptValue key{};
        key.kind = KIND_STRING;
        key.str = const_cast<char*>("status");
        const MapEntry* status = DS_State().DS_Maps.Get(seen)->Find(&key);
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->value.real, 200);
    });
    Make(o);
    Object_CreateEventLists();
    auto* request = new HTTP_REQ_CONTEXT("http://example.com/a", 0, CompleteWithMap, nullptr, nullptr);
    request->active = 1;
    request->state = HTTP_STATE_DONE;
    HTTP_AddRequest(request);
    Dispatch_AsyncQueue();
    ASSERT_GE(seen, 0);
    EXPECT_EQ(DS_State().DS_Maps.Get(seen), nullptr);
    EXPECT_EQ(DS_State().DS_Lists.Get(0), nullptr); // the list the map held went with it
    EXPECT_EQ(GameValues_State().AsyncLoad_Index, -1);
    DS_FreeAll();
}

// The asynchronous stage delivers the services' pending events first, then their queued script callbacks,
// then the finished requests; what is posted meanwhile waits for the next stage.
std::vector<std::string>* g_callbackLog = nullptr;
void LogCallback(CInstance*, CInstance*, ScriptValue*, int argc, ScriptValue** args) {
    g_callbackLog->push_back("callback " + std::to_string(argc) + " " + (args[0]->IsString() ? args[0]->str : "?"));
    Services_PostEvent(70, -1);
}

TEST_F(DispatchTest, TheServicesComeFirstInTheAsyncStage) {
    int o = AddObject();
    On(o, ev_other, 70, [&](CInstance*, CInstance*) {
        log.push_back("social " + std::to_string(GameValues_State().AsyncLoad_Index));
    });
    On(o, ev_other, 62, [&](CInstance*, CInstance*) { log.push_back("http"); });
    Make(o);
    Object_CreateEventLists();
    static const CompiledGameScriptEntry kEntry = {"scr_callback", LogCallback};
    auto* script = new CScript();
    script->nativeEntry = &kEntry;
    CScript* table[1] = {script};
    Script_SetTable(table, 1);
    g_callbackLog = &log;
    Services_SetHost(ServicesHost{Dispatch_AsyncEvent});

    auto* request = new HTTP_REQ_CONTEXT("http://example.com/a", 0, CompleteWithMap, nullptr, nullptr);
    request->active = 1;
    request->state = HTTP_STATE_DONE;
    HTTP_AddRequest(request);
    ScriptValue text{};
    text.kind = KIND_STRING;
    text.str = const_cast<char*>("done");
    Services_QueueCallback(0, 1, &text);
    const int map = CreateDsMap({{"id", 3, nullptr}});
    Services_PostEvent(70, map);
    Dispatch_AsyncQueue();
    EXPECT_EQ(log, (std::vector<std::string>{"social " + std::to_string(map), "callback 1 done", "http"}));
    EXPECT_EQ(DS_State().DS_Maps.Get(map), nullptr);
    Dispatch_AsyncQueue();
    EXPECT_EQ(log.back(), "social -1");

    Services_SetHost(ServicesHost{});
    Services_Reset();
    Script_Clear();
    DS_FreeAll();
}

// A timeline of moments at steps 0, 2 and 4 whose handlers log their step.
class TimelineTest : public DispatchTest {
protected:
    int AddTimeline(const std::vector<int>& steps) {
        int index = TimeLine_Add();
        CTimeLine* line = TimeLine_Get(index);
        for (int s : steps)
            line->AddMomentScript(s, s);
        return index;
    }
};

TEST_F(TimelineTest, MomentsKeepTheirStepOrderAndLookUpsFindTheirPlace) {
    CTimeLine* line = TimeLine_Get(AddTimeline({30, 10, 20, 20}));
    ASSERT_EQ(line->GetMomentCount(), 3);
    EXPECT_EQ(line->GetStep(0), 10);
    EXPECT_EQ(line->GetHandler(2).script, 30);
    line->SetMomentScript(20, 7);
    EXPECT_EQ(line->GetHandler(1).script, 7);
    EXPECT_EQ(line->FindFirstAtOrAfter(15.5), 1);
    EXPECT_EQ(line->FindFirstAtOrAfter(30.5), 3);
    EXPECT_EQ(line->FindLastAtOrBefore(9), -1);
    EXPECT_EQ(line->FindLastAtOrBefore(20), 1);
    line->DeleteMoment(20);
    EXPECT_EQ(line->GetMomentCount(), 2);
    EXPECT_EQ(line->GetStep(1), 30);
    EXPECT_EQ(line->GetHandler(5).script, -1);
}

TEST_F(TimelineTest, TheTableNamesNewTimelinesAndForgetsDeletedOnes) {
    AddTimeline({});
    AddTimeline({});
    int third = AddTimeline({});
    EXPECT_STREQ(TimeLine_GetName(third), "__newtimeline2");
    EXPECT_EQ(TimeLine_Find("__newtimeline2"), third);
    EXPECT_TRUE(TimeLine_Delete(1));
    EXPECT_STREQ(TimeLine_GetName(1), "<undefined>");
    EXPECT_EQ(TimeLine_Find("__newtimeline1"), -1);
    EXPECT_FALSE(TimeLine_Delete(1));
    EXPECT_EQ(TimeLine_Add(), 3);
}

TEST_F(TimelineTest, PositionsPassMomentsForwardBackwardAndLoop) {
    int o = AddObject();
    CInstance* i = Make(o);
    int line = AddTimeline({0, 2, 4});
    i->timeline_index = line;
    i->timeline_running = 1;
    i->timeline_speed = 2;
    i->timeline_loop = 1;
    std::vector<float> positions;
    for (int k = 0; k < 3; ++k) {
        Dispatch_Timelines();
        positions.push_back(i->timeline_position);
    }
    EXPECT_EQ(positions, (std::vector<float>{2, 4, 0})); // past the last moment: back to 0
    i->timeline_speed = -1.5f;
    i->timeline_position = 1;
    Dispatch_Timelines();
    EXPECT_FLOAT_EQ(i->timeline_position, 4); // below 0 while looping: the last moment's step
}

std::function<void()>& MomentRun() {
    static std::function<void()> run;
    return run;
}
void RunMoment(CInstance*, CInstance*) {
    MomentRun()();
}
const CompiledGameCodeEntry kMomentEntry{"moment", &RunMoment};

// A moment whose code deletes its own timeline, or clears its own moment: the handler stays alive
// until its run ends.
TEST_F(TimelineTest, AMomentMayDeleteItsOwnTimelineWhileItRuns) {
    // "TMLN"-style bytes: a record {name, 1 moment: step 0, action list}, the list, one action record.
    std::vector<uint8_t> bytes(200, 0);
    auto put = [&](size_t at, uint32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
    put(4, 100);   // the record at 4: its name
    put(8, 1);     // one moment
    put(12, 0);    // at step 0
    put(16, 20);   // its action list
    put(20, 1);    // one action
    put(24, 28);   // at 28: code index 0 at +32
    std::memcpy(bytes.data() + 100, "tlSelf", 7);
    CDataView file(bytes.data(), static_cast<uint32_t>(bytes.size()));
    for (int variant = 0; variant < 2; ++variant) {
        ASSERT_TRUE(TimeLine_Load(file, IFFChunk{}, {4}));
        int o = AddObject();
        CInstance* i = Make(o);
        i->timeline_index = 0;
        i->timeline_running = 1;
        CEvent* moment = TimeLine_Get(0)->GetHandler(0).event;
        ASSERT_NE(moment, nullptr);
        MomentRun() = [&, variant]() {
            if (variant == 0) TimeLine_Delete(0);
            else TimeLine_Get(0)->DeleteMoment(0);
            // The running handler is still there (a freed one would be caught by the address checker).
            log.push_back(moment->code->nativeEntry->name);
        };
        moment->code->nativeEntry = &kMomentEntry;
        Dispatch_Timelines();
        EXPECT_EQ(log.size(), static_cast<size_t>(variant + 1));
        EXPECT_EQ(TimeLine_Exists(0), variant == 1);
    }
    EXPECT_STREQ(TimeLine_GetName(0), "tlSelf"); // the name is the table's own copy
}

} // namespace
