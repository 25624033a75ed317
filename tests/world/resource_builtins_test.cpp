#include "game_functions.h"

#include "core/memory.h"
#include "script/script.h"
#include "world/dispatch.h"
#include "world/resource_builtins.h"
#include "world/room_table.h"
#include "world/timeline.h"

#include <string>
#include <vector>

namespace {

class ResourceFunctions : public GameFunctionTest {
protected:
    void SetUp() override {
        GameFunctionTest::SetUp();
        int id;
        if (!Code_Function_Find("object_set_parent", id)) {
            InitWorldResourceFunctions();
            InitEventFunctions();
        }
    }
    void TearDown() override {
        Object_Lists_Free();
        TimeLine_Free();
        Room_Clear();
        Script_SetTable(nullptr, 0);
        GameFunctionTest::TearDown();
    }
    void Logs(int object, int type, int number, const std::string& text) {
        On(object, type, number, [this, text](CInstance*, CInstance*) { log.push_back(text); });
    }
    // The last error reported, forgotten.
    static std::string TakeError() {
        std::string text = LastError();
        MEM_FREE(CodeError_State().Code_LastErrorText);
        CodeError_State().Code_LastErrorText = nullptr;
        return text;
    }
    std::vector<std::string> Step() {
        log.clear();
        Dispatch_Step(ev_step_normal);
        return log;
    }
    std::vector<std::string> log;
};

using Lines = std::vector<std::string>;

TEST_F(ResourceFunctions, ANewParentAppliesAtOnceAndLoopsAreRefused) {
    const int a = AddObject(), b = AddObject(), child = AddObject();
    Logs(a, ev_step, 0, "a");
    Logs(b, ev_step, 0, "b");
    CInstance* i = Instance_Create(child, 0, 0);
    Object_CreateEventLists();
    EXPECT_EQ(Step(), Lines{}) << "the child has no handler yet";

    Call("object_set_parent", i, {child, a});
    EXPECT_EQ(Step(), (Lines{"a"}));
    Call("object_set_parent", i, {child, b + 0.2}); // rounded
    EXPECT_EQ(Step(), (Lines{"b"}));
    EXPECT_EQ(Object_Data(a)->allInstances.count, 0);
    EXPECT_EQ(Object_Data(b)->allInstances.count, 1);

    // No parent: the child's instances also leave the old parent's instance lists.
    Call("object_set_parent", i, {child, -1});
    EXPECT_EQ(Step(), Lines{});
    EXPECT_EQ(Object_Data(b)->allInstances.count, 0);
    EXPECT_EQ(Object_Data(child)->parentObject, nullptr);

    // A loop is refused and changes nothing; so is a call on an object that does not exist.
    TakeError();
    Call("object_set_parent", i, {child, a});
    EXPECT_EQ(TakeError(), "");
    Call("object_set_parent", i, {a, child});
    EXPECT_NE(TakeError().find("Trying to make an object its own ancestor."), std::string::npos);
    Call("object_set_parent", i, {a, a});
    EXPECT_EQ(Object_Data(a)->parent, -1);
    Call("object_set_parent", i, {99, a});
    EXPECT_NE(TakeError().find("Trying to set the parent of a non-existing object."), std::string::npos);
    EXPECT_EQ(Step(), (Lines{"a"}));
}

TEST_F(ResourceFunctions, ClearingAnEventRemovesItsHandlerEvenWhileItRuns) {
    const int a = AddObject(), b = AddObject(), c = AddObject();
    // a's step clears itself and gives c the parent b, while the stage walks the list it rebuilds.
    On(a, ev_step, 0, [this, a, b, c](CInstance* self, CInstance*) {
        log.push_back("a");
        Call("object_event_clear", self, {a, ev_step, 0});
        Call("object_set_parent", self, {c, b});
    });
    Logs(b, ev_step, 0, "b");
    Instance_Create(a, 0, 0);
    Instance_Create(b, 0, 0);
    Instance_Create(c, 0, 0);
    Object_CreateEventLists();
    EXPECT_EQ(Step(), (Lines{"a", "b"})) << "the stage goes on over the lists it started with";
    EXPECT_EQ(Object_Data(a)->GetEvent(ev_step, 0), nullptr);
    EXPECT_EQ(Step(), (Lines{"b", "b"}));

    // Types and numbers without a handler, and objects that do not exist, change nothing.
    Call("object_event_clear", nullptr, {b, 12, 0});
    Call("object_event_clear", nullptr, {b, ev_step, 5000});
    Call("object_event_clear", nullptr, {b, -1, 0});
    Call("object_event_clear", nullptr, {-7, ev_step, 0});
    EXPECT_NE(TakeError().find("Trying to clear an event of a non-existing object."), std::string::npos);
    EXPECT_EQ(Step(), (Lines{"b", "b"}));
}

TEST_F(ResourceFunctions, RoomsAreMadeAndFilledAtRunTime) {
    const int object = AddObject();
    EXPECT_EQ(Call("room_add", nullptr), 0);
    EXPECT_STREQ(Room_GetName(0), "__newroom0");
    const int id = static_cast<int>(Call("room_instance_add", nullptr, {0, 10.7, -3.2, object}));
    EXPECT_EQ(id, Room_GetLastInstanceId());
    ASSERT_EQ(Room_Data(0)->record->instances.size(), 1u);
    EXPECT_EQ(Room_Data(0)->record->instances[0].x, 10);
    EXPECT_EQ(Room_Data(0)->record->instances[0].y, -3);
    EXPECT_EQ(Call("room_duplicate", nullptr, {0}), 1);
    EXPECT_EQ(Call("room_duplicate", nullptr, {5}), -1);
    EXPECT_EQ(Call("room_assign", nullptr, {0, 5}), 0);
    EXPECT_EQ(Call("room_assign", nullptr, {0, 1}), 1);

    // Bad rooms, objects and backgrounds add nothing and say why.
    EXPECT_EQ(Call("room_instance_add", nullptr, {7, 0, 0, object}), -1);
    EXPECT_NE(TakeError().find("Room does not exist."), std::string::npos);
    EXPECT_EQ(Call("room_instance_add", nullptr, {0, 0, 0, 42}), -1);
    EXPECT_NE(TakeError().find("Trying to add an instance of a non-existing object."), std::string::npos);
    EXPECT_EQ(Call("room_tile_add", nullptr, {0, 3, 0, 0, 16, 16, 0, 0, 0, 1, 1, 4294967295.0}), -1);
    EXPECT_NE(TakeError().find("Background does not exist."), std::string::npos);
    EXPECT_EQ(Room_Data(1)->record->instances.size(), 1u);

    // Tile records are cleared with the room's own tiles; the copy shares the record.
    Room_Data(0)->AddTileRecord(0, 0, 0, 8, 8, 0, 0, 0, 1, 1, 0xFFFFFFFFu);
    Call("room_tile_clear", nullptr, {1});
    EXPECT_TRUE(Room_Data(0)->record->tiles.empty());
    Call("room_instance_clear", nullptr, {0});
    EXPECT_TRUE(Room_Data(1)->record->instances.empty());

    Call("room_set_caption", nullptr, {1, "Level"});
    EXPECT_STREQ(Room_Data(1)->caption, "Level");
    Call("room_set_code", nullptr, {1, "x = 1;"});
    EXPECT_STREQ(Room_Data(1)->codeText, "x = 1;");
    ASSERT_NE(Room_Data(1)->code, nullptr);
    EXPECT_TRUE(Room_Data(1)->code->compiled);
    // Text that does not compile is reported and leaves the code as it was.
    CCode* before = Room_Data(1)->code;
    Call("room_set_code", nullptr, {1, "x = ;"});
    EXPECT_NE(TakeError().find("COMPILATION ERROR in room script"), std::string::npos);
    EXPECT_EQ(Room_Data(1)->code, before);
    EXPECT_STREQ(Room_Data(1)->codeText, "x = 1;");
    Call("room_set_code", nullptr, {1, ""});
    EXPECT_EQ(Room_Data(1)->code, nullptr);
}

TEST_F(ResourceFunctions, TimelinesAreMadeAndEditedAtRunTime) {
    CScript* scripts[3] = {new CScript(), nullptr, new CScript()};
    Script_SetTable(scripts, 3);
    EXPECT_EQ(Call("timeline_add", nullptr), 0);
    EXPECT_EQ(Call("timeline_add", nullptr), 1);
    EXPECT_STREQ(TimeLine_GetName(1), "__newtimeline1");
    for (double step : {30.0, 10.4, 20.0})
        Call("timeline_moment_add_script", nullptr, {0, step, 0});
    Call("timeline_moment_add_script", nullptr, {0, 20, 2}); // replaces the script at 20
    Call("timeline_moment_add_script", nullptr, {0, 40, 1}); // no such script
    EXPECT_NE(TakeError().find("Trying to add a non-existing script to a timeline."), std::string::npos);
    CTimeLine* line = TimeLine_Get(0);
    ASSERT_EQ(line->GetMomentCount(), 3);
    EXPECT_EQ(line->GetStep(0), 10);
    EXPECT_EQ(line->GetHandler(1).script, 2);
    Call("timeline_moment_clear", nullptr, {0, 20});
    EXPECT_EQ(line->GetMomentCount(), 2);
    EXPECT_EQ(line->GetStep(1), 30);
    Call("timeline_clear", nullptr, {0});
    EXPECT_EQ(line->GetMomentCount(), 0);

    TakeError();
    Call("timeline_delete", nullptr, {0});
    EXPECT_FALSE(TimeLine_Exists(0));
    EXPECT_EQ(TakeError(), "");
    Call("timeline_delete", nullptr, {0});
    EXPECT_NE(TakeError().find("Trying to delete non-existing timeline."), std::string::npos);
    // The other operations on a timeline that does not exist do nothing.
    Call("timeline_clear", nullptr, {0});
    Call("timeline_moment_add_script", nullptr, {5, 1, 0});
    EXPECT_EQ(TimeLine_Count(), 2);
}

} // namespace
