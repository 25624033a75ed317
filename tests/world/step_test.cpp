#include "world_fixture.h"

#include "data/general_info.h"
#include "io/message_pump.h"
#include "runner/run_loop.h"
#include "runner/step.h"
#include "script/compiler/compile.h"
#include "world/dispatch.h"
#include "world/game_values.h"
#include "world/room_change.h"
#include "world/room_draw.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <string>
#include <vector>

namespace {

class StepTest : public WorldTest {
protected:
    void TearDown() override {
        Object_Lists_Free();
        WorldTest::TearDown();
    }
    std::vector<std::string> log;
};

TEST_F(StepTest, ARoomChangeInTheBeginStepEndsTheStepThere) {
    int o = AddObject();
    On(o, ev_step, ev_step_begin, [&](CInstance*, CInstance*) {
        log.push_back("begin");
        Room_State().New_Room = 0;
    });
    On(o, ev_step, ev_step_normal, [&](CInstance*, CInstance*) { log.push_back("step"); });
    On(o, ev_draw, 0, [&](CInstance*, CInstance*) { log.push_back("draw"); });
    Room_State().Run_Room->CreateInstance(0, 0, o);
    Object_CreateEventLists();
    const int32_t steps = GameValues_State().Run_StepCount;
    DoAStep();
    EXPECT_EQ(log, (std::vector<std::string>{"begin"}));
    EXPECT_EQ(GameValues_State().Run_StepCount, steps);
}

// Instances draw from the deepest to the nearest (of equal depths the newest first), invisible and
// removed ones not at all, and the GUI layer after every view.
TEST_F(StepTest, TheDrawPassGoesFromTheDeepestToTheNearestThenTheGUI) {
    int o = AddObject();
    On(o, ev_draw, 0, [&](CInstance* self, CInstance*) { log.push_back(std::to_string(self->id)); });
    On(o, ev_draw, 64, [&](CInstance* self, CInstance*) { log.push_back("gui " + std::to_string(self->id)); });
    CInstance* near = Room_State().Run_Room->CreateInstance(0, 0, o);
    near->SetDepth(-5);
    CInstance* older = Room_State().Run_Room->CreateInstance(0, 0, o);
    older->SetDepth(10);
    CInstance* newer = Room_State().Run_Room->CreateInstance(0, 0, o);
    newer->SetDepth(10);
    CInstance* hidden = Room_State().Run_Room->CreateInstance(0, 0, o);
    hidden->visible = 0;
    Run_ApplyDeferredChanges();
    Object_CreateEventLists();
    ASSERT_TRUE(Room_DrawViews());
    const auto id = [](CInstance* i) { return std::to_string(i->id); };
    EXPECT_EQ(log, (std::vector<std::string>{id(newer), id(older), id(near), "gui " + id(newer),
                                             "gui " + id(older), "gui " + id(near)}));
}

// The walks of a step rewrite their prefetch hints in the storage they had: after the first steps no
// step allocates one, and each hint holds the list in its order, one shorter when an instance went.
TEST_F(StepTest, StepsKeepTheirWalksHintsStorage) {
    int o = AddObject();
    On(o, ev_step, ev_step_normal, [&](CInstance*, CInstance*) {});
    std::vector<CInstance*> made;
    for (int k = 0; k < 20; ++k)
        made.push_back(Room_State().Run_Room->CreateInstance(static_cast<float>(k), 0, o));
    Object_CreateEventLists();
    const RoomList& active = Room_State().Run_Room->active;
    const auto& own = Object_Data(o)->instances;
    DoAStep();
    const void* activeStorage = active.order.data();
    const void* ownStorage = own.order.data();
    for (int k = 0; k < 3; ++k) {
        if (k == 1) Instance_Destroy(made[7]); // it leaves before the draw pass: the next step has 19
        DoAStep();
        EXPECT_EQ(active.order.data(), activeStorage);
        EXPECT_EQ(own.order.data(), ownStorage);
    }
    std::vector<CInstance*> walked;
    for (CInstance* i = active.first; i; i = i->next)
        walked.push_back(i);
    EXPECT_EQ(active.order, walked);
    ASSERT_EQ(own.order.size(), 19u);
    for (const auto& [node, instance] : own.order)
        EXPECT_EQ(node->value, instance);
}

// Without a sprite the image number is 0: the animation ends every step and the index keeps growing.
TEST_F(StepTest, AnimationWithoutImagesEndsEveryStep) {
    int o = AddObject();
    int ends = 0;
    On(o, ev_other, 7, [&](CInstance*, CInstance*) { ++ends; });
    CInstance* i = Room_State().Run_Room->CreateInstance(0, 0, o);
    i->image_speed = 1;
    Object_CreateEventLists();
    for (int k = 0; k < 3; ++k)
        DoAStep();
    EXPECT_EQ(ends, 3);
    EXPECT_EQ(i->image_index, 3.0f);
}

TEST_F(StepTest, StrayRoomCodesAreDroppedAndTheGameEndsOnlyOnce) {
    delete Room_State().Run_Room;
    Room_State().Run_Room = nullptr;
    Room_Init();
    const int first = Room_Add();
    GeneralInfo_State().g_GeneralInfo.roomOrder = {first};
    int o = AddObject();
    int gameEnds = 0;
    On(o, ev_other, 3, [&](CInstance*, CInstance*) { ++gameEnds; });
    Room_Data(first)->AddInstanceRecord(0, 0, o);
    ASSERT_TRUE(StartGame());
    CRoom* room = Room_State().Run_Room;
    for (int32_t code : {-7, 5, -1}) { // neither an action nor a room that exists
        Room_State().New_Room = code;
        Run_ChangeRoom(code, false);
        EXPECT_EQ(Room_State().New_Room, -1);
        EXPECT_EQ(Room_State().Run_Room, room);
    }
    EndGame();
    EndGame(); // the room is gone: nothing runs twice
    EXPECT_EQ(gameEnds, 1);
    EXPECT_EQ(Room_State().Run_Room, nullptr);

    GeneralInfo_State().g_GeneralInfo.roomOrder.clear(); // no first room: the game does not start
    MessagePump_State().Run_Running = 0;
    Run_Start();
    EXPECT_EQ(MessagePump_State().Run_Running, 0);
    EXPECT_EQ(Room_State().Run_Room, nullptr);
    Room_Init();
}

// Moves past the ends of the room order, or from a room outside it, end the game with their errors.
TEST_F(StepTest, MovesOutsideTheRoomOrderEndTheGame) {
    Room_Init();
    const int a = Room_Add(), b = Room_Add(), loose = Room_Add();
    GeneralInfo_State().g_GeneralInfo.roomOrder = {a, b};
    struct Case {
        int current;
        void (*move)();
        int code;
        const char* message;
    };
    const Case cases[] = {
        {a, Room_GotoPrevious, -400, "Moving to previous room before the first room."},
        {b, Room_GotoNext, -400, "Moving to next room after the last room."},
        {a, Room_GotoNext, b, nullptr},
        {loose, Room_GotoPrevious, -400, "Unexisting room number: -1"},
        {loose, Room_Restart, loose, nullptr},
    };
    for (const Case& c : cases) {
        RoomEntry_State().Run_RoomIndex = c.current;
        Room_State().New_Room = -1;
        CodeError_State().Code_Aborting = false;
        MEM_FREE(CodeError_State().Code_LastErrorText);
        CodeError_State().Code_LastErrorText = nullptr;
        c.move();
        EXPECT_EQ(Room_State().New_Room, c.code) << c.current;
        const std::string shown =
            CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "";
        EXPECT_EQ(shown.find(c.message ? c.message : "@") != std::string::npos, c.message != nullptr) << shown;
    }
    Room_State().New_Room = -1;
    Room_Goto(999);
    EXPECT_EQ(Room_State().New_Room, -400);
    Game_End();
    Room_Goto(b); // a later request replaces an earlier one
    EXPECT_EQ(Room_State().New_Room, b);
    Room_State().New_Room = -1;
    GeneralInfo_State().g_GeneralInfo.roomOrder.clear();
    Room_Init();
}

} // namespace

namespace {

TEST(FrameWait, WhatIsLeftOfTheFrameBetweenNothingAndOneSecond) {
    EXPECT_EQ(Run_FrameWait(30, 10000), 23333);
    EXPECT_EQ(Run_FrameWait(0, 0), 1000000);    // speed 0 counts as 1
    EXPECT_EQ(Run_FrameWait(-5, 999999), 1);
    EXPECT_EQ(Run_FrameWait(60, 50000), 0);     // an overrun frame does not sleep
    EXPECT_EQ(Run_FrameWait(1, -5000000), 1000000); // the clock went back: still at most a second
}

} // namespace
