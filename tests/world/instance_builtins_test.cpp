#include "game_functions.h"

#include "script/code_execute.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"

#include <limits>

using InstanceFunctions = GameFunctionTest;

TEST_F(InstanceFunctions, ShapeSearchesFindTheFirstPresentInstance) {
    int o = SolidObject(10, 10);
    CInstance* self = Instance_Create(o, 0, 0);
    CInstance* a = Instance_Create(o, 50, 50);
    CInstance* b = Instance_Create(o, 55, 50);

    EXPECT_EQ(Call("collision_point", self, {5, 5, o, 0, 0}), self->id);
    EXPECT_EQ(Call("collision_point", self, {5, 5, o, 0, 1}), INSTANCE_NOONE); // notme
    EXPECT_EQ(Call("collision_point", self, {5, 5, self->id, 0, 1}), INSTANCE_NOONE);
    EXPECT_EQ(Call("collision_point", self, {57, 52, -3, 1, 1}), a->id);
    a->deactivated = 1;
    EXPECT_EQ(Call("collision_point", self, {57, 52, -3, 1, 1}), b->id);
    a->deactivated = 0;
    EXPECT_EQ(Call("collision_rectangle", self, {20, 20, 51, 51, o, 0, 1}), a->id);
    EXPECT_EQ(Call("collision_rectangle", self, {20, 20, 49, 49, o, 0, 1}), INSTANCE_NOONE);
    EXPECT_EQ(Call("collision_circle", self, {70, 55, 6, o, 0, 1}), b->id);
    EXPECT_EQ(Call("collision_ellipse", self, {60, 50, 80, 70, b->id, 0, 1}), b->id);
    EXPECT_EQ(Call("collision_line", self, {0, 100, 100, 0, o, 0, 1}), a->id);

    EXPECT_EQ(Call("instance_position", self, {56, 51, o}), a->id);
    EXPECT_EQ(Call("instance_position", self, {56, 51, b->id}), b->id);
    EXPECT_EQ(Call("instance_place", self, {46, 45, o}), a->id);
    EXPECT_EQ(self->x, 0); // put back

    EXPECT_EQ(Call("position_empty", self, {30, 30}), 1);
    EXPECT_EQ(Call("position_empty", self, {5, 5}), 0);
    EXPECT_EQ(Call("position_meeting", self, {5, 5, -1}), 1);
    EXPECT_EQ(Call("position_meeting", self, {5, 5, -2}, b), 0);
    EXPECT_EQ(Call("place_meeting", self, {45, 45, -2}, b), 0);
    EXPECT_EQ(Call("place_meeting", self, {50, 45, -2}, b), 1);

    // Huge and NaN coordinates find nothing and end.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(Call("collision_line", self, {nan, 1e300, -1e300, nan, -3, 1, 0}), INSTANCE_NOONE);
    EXPECT_EQ(Call("collision_ellipse", self, {-1e30, -1e30, 1e30, 1e30, -3, 1, 1}), a->id);
}

// obj is rounded in the collision searches, instance_number and the activation built-ins, truncated in
// the others.
TEST_F(InstanceFunctions, ObjectArgumentsAreRoundedOrTruncated) {
    int first = SolidObject(10, 10);
    int second = SolidObject(10, 10);
    ASSERT_EQ(second, first + 1);
    CInstance* self = Instance_Create(second, 0, 0);
    const double between = first + 0.6; // rounds to second, truncates to first
    struct Case {
        const char* name;
        std::initializer_list<Arg> args;
        double whenRounded;
    };
    const Case cases[] = {
        {"collision_point", {5, 5, between, 0, 0}, static_cast<double>(self->id)},
        {"collision_rectangle", {0, 0, 5, 5, between, 0, 0}, static_cast<double>(self->id)},
        {"instance_number", {between}, 1},
        {"instance_exists", {between}, 0},
        {"instance_find", {between, 0}, INSTANCE_NOONE},
        {"instance_position", {5, 5, between}, INSTANCE_NOONE},
        {"position_meeting", {5, 5, between}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Call(c.name, self, c.args), c.whenRounded) << c.name;
    Call("instance_deactivate_object", self, {between});
    EXPECT_TRUE(self->deactivated);
}

TEST_F(InstanceFunctions, NearestAndFurthest) {
    int o = AddObject();
    int empty = AddObject();
    CInstance* a = Instance_Create(o, 10, 0);
    CInstance* b = Instance_Create(o, 0, 10); // as near as a: the earlier wins
    CInstance* c = Instance_Create(o, 30, 40);
    EXPECT_EQ(Call("instance_nearest", a, {0, 0, o}), a->id);
    EXPECT_EQ(Call("instance_furthest", a, {0, 0, o}), c->id);
    EXPECT_EQ(Call("instance_nearest", a, {0, 0, -3}), a->id);
    EXPECT_EQ(Call("instance_nearest", a, {0, 0, b->id}), INSTANCE_NOONE);
    EXPECT_EQ(Call("instance_nearest", a, {0, 0, empty}), INSTANCE_NOONE);
    a->SetMarked(true);
    EXPECT_EQ(Call("instance_nearest", b, {0, 0, o}), b->id);
    // 10,000 pixels or further is never nearest.
    EXPECT_EQ(Call("instance_nearest", b, {0, 20000, o}), INSTANCE_NOONE);
    EXPECT_EQ(Call("instance_furthest", b, {0, 20000, o}), b->id);
}

TEST_F(InstanceFunctions, CountingFindingAndExistence) {
    int parent = AddObject();
    int child = AddObject(parent);
    int other = AddObject();
    CInstance* p = Instance_Create(parent, 0, 0);
    CInstance* c1 = Instance_Create(child, 0, 0);
    CInstance* c2 = Instance_Create(child, 0, 0);

    EXPECT_EQ(Call("instance_number", p, {parent}), 3);
    EXPECT_EQ(Call("instance_number", p, {child}), 2);
    EXPECT_EQ(Call("instance_number", p, {-3}), 3);
    EXPECT_EQ(Call("instance_number", p, {-1}), 1);
    EXPECT_EQ(Call("instance_number", p, {c1->id}), 1);
    EXPECT_EQ(Call("instance_find", p, {parent, 1}), c1->id);
    EXPECT_EQ(Call("instance_find", p, {child, 1}), c2->id);
    EXPECT_EQ(Call("instance_find", p, {-3, 0}), p->id);
    EXPECT_EQ(Call("instance_find", p, {c1->id, 0}), c1->id);
    EXPECT_EQ(Call("instance_find", p, {c1->id, 1}), INSTANCE_NOONE);
    EXPECT_EQ(Call("instance_find", p, {child, -1}), INSTANCE_NOONE);
    EXPECT_EQ(Call("instance_find", p, {-3, std::numeric_limits<double>::quiet_NaN()}), INSTANCE_NOONE);
    EXPECT_EQ(Call("instance_exists", p, {child}), 1);
    EXPECT_EQ(Call("instance_exists", p, {other}), 0);
    EXPECT_EQ(Call("instance_exists", p, {999999}), 0);

    // A change of object counts for the new object at once, before the lists move.
    Call("instance_change", c2, {other, 0});
    EXPECT_EQ(Call("instance_number", p, {other}), 1);
    EXPECT_EQ(Call("instance_exists", p, {other}), 0); // only the lists count here
    Run_ApplyObjectChanges();
    EXPECT_EQ(Call("instance_exists", p, {other}), 1);

    // Destroyed instances stop counting at once.
    Call("instance_destroy", c1);
    EXPECT_EQ(Call("instance_number", p, {child}), 0);
    EXPECT_EQ(Call("instance_exists", p, {c1->id}), 0);
    EXPECT_EQ(Call("instance_exists", c1, {-1}), 0);
    EXPECT_EQ(Call("instance_exists", c1, {-2}, p), 1);
}

TEST_F(InstanceFunctions, CreateCopyChangeAndDestroy) {
    int o = SolidObject(10, 10, false);
    int other = SolidObject(10, 10, false);
    int creates = 0, destroys = 0;
    On(o, ev_create, 0, [&](CInstance*, CInstance*) { ++creates; });
    On(o, ev_destroy, 0, [&](CInstance*, CInstance*) { ++destroys; });
    CInstance* self = Instance_Create(o, 1, 2);
    creates = 0;

    const double id = Call("instance_create", self, {30, 40.5, o});
    CInstance* made = Instance_Find(static_cast<int>(id));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->y, 40.5f);
    EXPECT_EQ(creates, 1);
    EXPECT_EQ(Call("instance_create", self, {"30", 40, o}), -1);
    EXPECT_NE(LastError().find("instance_create( ) error: Illegal type"), std::string::npos);
    EXPECT_EQ(Call("instance_create", self, {0, 0, std::numeric_limits<double>::quiet_NaN()}), -1);
    EXPECT_EQ(creates, 1);
    EXPECT_TRUE(TakeFatalErrors().empty());

    self->SetAlarm(2, 7);
    self->SetHSpeed(3);
    const double copyId = Call("instance_copy", self, {0});
    CInstance* copy = Instance_Find(static_cast<int>(copyId));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->id, self->id);
    EXPECT_EQ(copy->GetAlarm(2), 7);
    EXPECT_EQ(copy->hspeed, 3);
    EXPECT_EQ(creates, 1);
    EXPECT_FALSE(copy->created);
    Call("instance_copy", self, {1});
    EXPECT_EQ(creates, 2);

    Call("instance_change", copy, {other, 1});
    EXPECT_EQ(destroys, 1);
    EXPECT_EQ(copy->object_index, other);

    // position_destroy destroys every instance at the point once; position_change changes them.
    made->SetPosition(5, 5);
    Call("position_change", self, {6, 6, 40, 0});
    EXPECT_NE(LastError().find("Asking to change into non-existing object: 40"), std::string::npos);
    Call("position_change", self, {6, 6, other, 0});
    EXPECT_EQ(self->object_index, other);
    EXPECT_EQ(made->object_index, other);
    Run_ApplyObjectChanges();
    Call("instance_change", made, {o, 0});
    Call("position_destroy", self, {7, 7});
    Call("position_destroy", self, {7, 7});
    EXPECT_TRUE(self->Marked());
    EXPECT_TRUE(made->Marked());
    EXPECT_EQ(destroys, 2); // the handler is o's: made ran it, the others (now other's) did not
}

TEST_F(InstanceFunctions, ActivationTakesEffectInTheSameStep) {
    int parent = SolidObject(10, 10, false);
    int child = SolidObject(10, 10, false, parent);
    CInstance* self = Instance_Create(parent, 0, 0);
    CInstance* a = Instance_Create(child, 50, 50);
    CInstance* b = Instance_Create(child, 200, 200);

    Call("instance_deactivate_object", self, {parent});
    EXPECT_EQ(Call("instance_exists", self, {child}), 0);
    EXPECT_EQ(Call("instance_number", self, {parent}), 0);
    EXPECT_TRUE(self->deactivated);
    Room_State().Run_Room->UpdateActivation();
    EXPECT_EQ(Room_State().Run_Room->active.count, 0);

    // Activated, an instance of a child object counts for its parent before the lists move.
    Call("instance_activate_object", self, {parent});
    EXPECT_EQ(Call("instance_exists", self, {parent}), 1);
    EXPECT_EQ(Call("instance_number", self, {-3}), 0); // not yet in the active list
    Room_State().Run_Room->UpdateActivation();
    EXPECT_EQ(Call("instance_number", self, {-3}), 3);

    // Regions: inside changes what touches the region, outside what lies wholly out of it.
    Call("instance_deactivate_region", self, {0, 0, 100, 100, 1, 1});
    EXPECT_FALSE(self->deactivated); // notme
    EXPECT_TRUE(a->deactivated);
    EXPECT_FALSE(b->deactivated);
    Call("instance_deactivate_region", self, {0, 0, 100, 100, 0, 0});
    EXPECT_TRUE(b->deactivated);
    EXPECT_FALSE(self->deactivated);
    Call("instance_activate_region", self, {195, 195, 5, 5, 1});
    EXPECT_FALSE(b->deactivated);
    EXPECT_TRUE(a->deactivated);
    Call("instance_activate_all", self);
    EXPECT_FALSE(a->deactivated);

    Call("instance_deactivate_all", self, {1});
    EXPECT_FALSE(self->deactivated);
    EXPECT_TRUE(a->deactivated && b->deactivated);
    Call("instance_activate_object", self, {b->id});
    EXPECT_FALSE(b->deactivated);
    Call("instance_deactivate_object", self, {-3});
    EXPECT_TRUE(self->deactivated);
    Call("instance_activate_object", self, {-1});
    EXPECT_FALSE(self->deactivated);
    Call("instance_deactivate_object", self, {-2}, a);
    Call("instance_deactivate_region", self, {std::numeric_limits<double>::quiet_NaN(), 0, 1e300, 1, 0, 0});
    Room_State().Run_Room->UpdateActivation();
    EXPECT_EQ(Room_State().Run_Room->active.count + Room_State().Run_Room->deactivated.count, 3);
}

TEST_F(InstanceFunctions, CalledFromCompiledSource) {
    int o = AddObject();
    CInstance* self = Instance_Create(o, 0, 0);
    World_InstallScriptServices();
    const char* source = "var i; i = instance_create(10, 20, 0); instance_create(30, 40, 0);\n"
                         "if (instance_exists(i)) return instance_number(0) * 100 + instance_find(0, 2) - i;";
    CCode code(source, 0);
    ASSERT_TRUE(code.Compile("test"))
        << (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
    ScriptValue result;
    ASSERT_TRUE(Code_Execute(self, self, &code, &result));
    EXPECT_EQ(Value_Real(&result), 301);
    Value_Free(&result);
    ScriptWorld_Install(nullptr);
    Code_SetReportHost({});
}
