#include "world_fixture.h"

#include "script/compiler/compile.h"

#include "script/compiler/compile.h"

using Events = WorldTest;

TEST_F(Events, HandlerRunsWithTheOwnersGlobalsAndRestoresThem) {
    int parent = AddObject();
    int child = AddObject(parent);
    int seenObject = -1, seenType = -1, seenNumber = -1;
    bool relativeInside = true;
    On(parent, ev_other, 10, [&](CInstance*, CInstance*) {
        seenObject = Event_State().event_object;
        seenType = Event_State().event_type;
        seenNumber = Event_State().event_number;
        relativeInside = Event_State().argument_relative;
    });
    CInstance* i = Instance_Create(child, 0, 0);
    Event_State().event_object = 77;
    Event_State().event_type = -1;
    Event_State().event_number = 5;
    Event_State().argument_relative = true;
    PerformInstanceEvent(i, i, ev_other, 10);
    EXPECT_EQ(seenObject, parent);
    EXPECT_EQ(seenType, ev_other);
    EXPECT_EQ(seenNumber, 10);
    EXPECT_FALSE(relativeInside);
    EXPECT_TRUE(Event_State().argument_relative);
    EXPECT_EQ(Event_State().event_object, 77);
    EXPECT_EQ(Event_State().event_type, -1);
    EXPECT_EQ(Event_State().event_number, 5);
    Event_State().argument_relative = false;
}

TEST_F(Events, RecursionStopsAtTheDepthLimit) {
    int o = AddObject();
    int runs = 0;
    On(o, ev_other, 10, [&](CInstance* self, CInstance*) {
        ++runs;
        PerformInstanceEvent(self, self, ev_other, 10);
    });
    CInstance* i = Instance_Create(o, 0, 0);
    PerformInstanceEvent(i, i, ev_other, 10);
    EXPECT_EQ(runs, kMaxEventDepth);
    EXPECT_EQ(Event_Depth(), 0);
    // Fatal: shown, and the game ends.
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText).find("FATAL ERROR in"), std::string::npos);
    EXPECT_NE(std::string(CodeError_State().Code_LastErrorText)
                  .find("PerformEvent recursion depth failure - check for infinite loops, check objects "
                        "for parenting"),
              std::string::npos);
}

TEST_F(Events, PendingRoomChangeRunsOnlyCreateOfPersistentInstances) {
    int plain = AddObject();
    int kept = AddObject();
    Object_Data(kept)->flags |= OBJECT_PERSISTENT;
    int creates = 0, steps = 0;
    On(plain, ev_create, 0, [&](CInstance*, CInstance*) { ++creates; });
    On(kept, ev_create, 0, [&](CInstance*, CInstance*) { ++creates; });
    On(kept, ev_step, 0, [&](CInstance*, CInstance*) { ++steps; });
    Room_State().New_Room = 3;
    Instance_Create(plain, 0, 0);
    EXPECT_EQ(creates, 0);
    CInstance* k = Instance_Create(kept, 0, 0);
    EXPECT_EQ(creates, 1);
    PerformInstanceEvent(k, k, ev_step, 0);
    PerformEventAll(ev_step, 0);
    EXPECT_EQ(steps, 0);
    Room_State().New_Room = -1;
    PerformEventAll(ev_step, 0);
    EXPECT_EQ(steps, 1);
}

TEST_F(Events, EventForAllSkipsRemovedAndDeactivatedInstances) {
    int o = AddObject();
    std::vector<CInstance*> visited;
    CInstance* second = nullptr;
    On(o, ev_other, 11, [&](CInstance* self, CInstance*) {
        visited.push_back(self);
        if (visited.size() == 1) Instance_Destroy(second); // another instance, later in the list
    });
    CInstance* first = Instance_Create(o, 0, 0);
    second = Instance_Create(o, 0, 0);
    CInstance* third = Instance_Create(o, 0, 0);
    third->deactivated = 1;
    PerformEventAll(ev_other, 11);
    EXPECT_EQ(visited, std::vector<CInstance*>{first});
}

TEST_F(Events, NamesKeepTheirOddForms) {
    int o = AddObject();
    Object_Data(o)->SetName("oWall");
    EXPECT_STREQ(Event_GetName(ev_step, 2), " Step Event2");
    EXPECT_STREQ(Event_GetName(ev_collision, o), " Step EventoWall");
    EXPECT_STREQ(Event_GetName(ev_keyboard, 65), "Keyboard Event for A-key Key");
    EXPECT_STREQ(Event_GetName(ev_other, 64), "Async Event: <unknown>");
    EXPECT_STREQ(Event_GetShortName(ev_collision, o), "oWall");
    EXPECT_STREQ(Event_GetShortName(ev_step, ev_step_begin), "BeginStep");
}
