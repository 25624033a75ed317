// The built-in variables read and written from compiled source, run on real instances in a room.
#include "world_fixture.h"

#include "io/input.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/script.h"
#include "script/value.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "support/fatal_errors.h"
#include "support/run_code.h"
#include "world/builtin_variables.h"
#include "world/game_values.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

class BuiltInVariables : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        UseScriptVariables();
        GameValues_Reset();
        IO_Clear();
        object = AddObject();
        self = Instance_Create(object, 10, 20);
    }
    void TearDown() override {
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        CodeError_State().Code_ErrorOccurred = false;
        for (int i = 0; i < 16; ++i)
            Value_Free(&Code_Arguments[i]);
        Code_ArgumentCount = 0;
        WorldTest::TearDown();
    }

    // Compiles and runs the program on self. Gives its returned value as text ('...' for a string), the
    // compile error, or the last fatal run-time error.
    std::string Run(const std::string& program) { return CompileAndRun(program, self); }
    // The text of the last error shown (fatal or not), then forgotten.
    static std::string TakeShownError() {
        std::string text = CodeError_State().Code_LastErrorText ? CodeError_State().Code_LastErrorText : "";
        GameValues_SetText(&CodeError_State().Code_LastErrorText, nullptr);
        CodeError_State().Code_Aborting = false;
        return text;
    }

    int object = -1;
    CInstance* self = nullptr;
};

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

} // namespace

TEST_F(BuiltInVariables, TheTableHoldsInstanceVariablesThenGlobalsInOrder) {
    EXPECT_EQ(Variable_BuiltIn_Find("x"), 0);
    EXPECT_EQ(Variable_BuiltIn_Find("async_load"), 51);
    EXPECT_EQ(Variable_BuiltIn_Find("phy_rotation"), 52);
    EXPECT_EQ(Variable_BuiltIn_Find("phy_col_normal_y"), 79);
    EXPECT_EQ(Variable_BuiltIn_Find("webgl_enabled"), 82);
    EXPECT_EQ(Variable_BuiltIn_Find("argument_relative"), 83);
    EXPECT_EQ(Variable_BuiltIn_Find("error_last"), 189);
    EXPECT_EQ(Variable_BuiltIn_Find("browser_height"), 195);
    EXPECT_EQ(Variable_BuiltIn_Count(), 196);
    // Registering again starts from an empty table.
    Variable_BuiltIn_Init();
    EXPECT_EQ(Variable_BuiltIn_Count(), 196);
}

TEST_F(BuiltInVariables, FieldsReadInPlaceHoldWhatTheirGettersRead) {
    // A distinct value in the field of every variable marked as read in place (the id kept, and every
    // field put back afterwards); each getter must then read its own, and code reading them in place,
    // through self and through the instance's id, the same.
    auto* bytes = reinterpret_cast<unsigned char*>(self);
    const int selfId = self->id;
    std::vector<std::pair<int, uint32_t>> saved;
    int marked = 0;
    for (int i = 0; i < Variable_BuiltIn_Count(); ++i) {
        const BuiltInVariable* entry = Variable_BuiltIn_Entry(i);
        if (entry->field == BuiltInField::None || std::strcmp(entry->name, "id") == 0) continue;
        ++marked;
        uint32_t old;
        std::memcpy(&old, bytes + entry->fieldOffset, 4);
        saved.emplace_back(entry->fieldOffset, old);
        const float real = 0.25f + static_cast<float>(i);
        const int32_t whole = 1000 + i;
        std::memcpy(bytes + entry->fieldOffset, entry->field == BuiltInField::Float ? static_cast<const void*>(&real)
                                                                                      : &whole, 4);
    }
    for (int i = 0; i < Variable_BuiltIn_Count(); ++i) {
        const BuiltInVariable* entry = Variable_BuiltIn_Entry(i);
        if (entry->field == BuiltInField::None) continue;
        SCOPED_TRACE(entry->name);
        const std::string name = entry->name;
        const double expected = name == "id" ? selfId : entry->field == BuiltInField::Float ? 0.25 + i : 1000.0 + i;
        ScriptValue out{};
        ASSERT_TRUE(entry->getter(self, -1, &out));
        EXPECT_EQ(out.real, expected);
        const std::string text = entry->field == BuiltInField::Float ? std::to_string(i) + ".25"
                                                                      : std::to_string(static_cast<int>(expected));
        EXPECT_EQ(Run("var e; e = " + std::to_string(selfId) + "; return " + name + " + e." + name + " - " + name),
                  text);
    }
    for (const auto& [offset, old] : saved)
        std::memcpy(bytes + offset, &old, 4);
    EXPECT_GE(marked, 30);
}

TEST_F(BuiltInVariables, FieldsAsOperandsOfComparisonsAndArithmetic) {
    EXPECT_EQ(Run("x = 5; y = -3; var n; n = 0; if (x > 4) n += 1; if (x < 0 || y < 0) n += 10; "
                  "n += x * 2; n += y mod 2; if (speed == 0) n += 100; return n;"),
              "120");
}

TEST_F(BuiltInVariables, FieldsWrittenInPlaceHoldWhatTheirSettersWrite) {
    // Each variable whose setter is marked as only writing its field gets each value four ways: through
    // its setter, and from code through self, the instance's id and other; and the value added to it by
    // its setter and by a compound assignment (of self, through the instance's id and through other).
    // The field's bytes and the bounding box's staleness must come out the same (rounding, narrowing,
    // values out of range, whole numbers, an unchanged value).
    auto* bytes = reinterpret_cast<unsigned char*>(self);
    const std::string selfId = std::to_string(self->id);
    const std::pair<const char*, double> values[] = {{"7", 7},           {"2.5", 2.5},     {"-3.5", -3.5},
                                                     {"0.1", 0.1},       {"100000000000000000000", 1e20},   {"-400000000000000000000000000000000000000", -4e38},
                                                     {"2147483647.75", 2147483647.75}, {"12", 12}};
    // "other" names the other instance (it is no variable of its own).
    if (Code_Constant_FindValue("other") == nullptr) Code_Constant_AddReal("other", -2);
    int marked = 0;
    for (int i = 0; i < Variable_BuiltIn_Count(); ++i) {
        const BuiltInVariable* entry = Variable_BuiltIn_Entry(i);
        if (entry->store == BuiltInField::None) continue;
        ++marked;
        SCOPED_TRACE(entry->name);
        unsigned char* field = bytes + entry->storeOffset;
        unsigned char old[4];
        std::memcpy(old, field, 4);
        const auto reset = [&] {
            const float real = 7.0f;
            const int32_t whole = 7;
            std::memcpy(field, entry->store == BuiltInField::Float ? static_cast<const void*>(&real) : &whole, 4);
            self->bboxStale = 0;
        };
        const auto written = [&] {
            return std::make_pair(std::vector<unsigned char>(field, field + 4), self->bboxStale);
        };
        for (const auto& [text, real] : values) {
            SCOPED_TRACE(text);
            reset();
            ScriptValue in{};
            in.real = real;
            ASSERT_TRUE(entry->setter(self, -1, &in));
            const auto expected = written();
            reset();
            EXPECT_EQ(Run(std::string(entry->name) + " = " + text + "; return 0;"), "0");
            EXPECT_EQ(written(), expected);
            reset();
            Run("var e; e = " + selfId + "; e." + entry->name + " = " + text + ";");
            EXPECT_EQ(written(), expected);
            reset();
            Run("with (" + selfId + ") other." + entry->name + " = " + text + ";");
            EXPECT_EQ(written(), expected);
            // And added to the field's value by a compound assignment.
            reset();
            in.real = 7.0 + real;
            ASSERT_TRUE(entry->setter(self, -1, &in));
            const auto added = written();
            reset();
            EXPECT_EQ(Run(std::string(entry->name) + " += " + text + "; return 0;"), "0");
            EXPECT_EQ(written(), added);
            reset();
            Run("var e, v; e = " + selfId + "; v = " + text + "; e." + entry->name + " += v;");
            EXPECT_EQ(written(), added);
            reset();
            Run(std::string("var v; v = ") + text + "; with (" + selfId + ") other." + entry->name + " += v;");
            EXPECT_EQ(written(), added);
        }
        std::memcpy(field, old, 4);
    }
    EXPECT_GE(marked, 18);
}

TEST_F(BuiltInVariables, ReadOnlyVariablesRefuseWrites) {
    for (const char* name : {"id", "bbox_left", "object_index", "instance_count", "fps", "phy_mass"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Run(std::string(name) + " = 5"),
                  std::string("RUNTIME: Pop :: Execution Error - Variable set failed ") + name +
                      " - read only variable?");
    }
    EXPECT_EQ(Run("return id"), std::to_string(self->id));
    EXPECT_EQ(Run("return webgl_enabled + secure_mode"), "1");
}

TEST_F(BuiltInVariables, PositionAndMotionStayInStep) {
    EXPECT_EQ(Run("x = 30.5; y = -4; return x * 1000 + y"), "30496");
    EXPECT_EQ(self->bboxStale, 1);
    EXPECT_EQ(Run("return bbox_left"), "30"); // no sprite: the box is the truncated position
    EXPECT_EQ(Run("speed = 2; direction = 90; return vspeed"), "-2");
    EXPECT_EQ(Run("return hspeed == 0"), "1");
    EXPECT_EQ(Run("hspeed = 2; return direction"), "45");
    EXPECT_NEAR(self->speed, 2.8284271, 1e-6);
    EXPECT_EQ(Run("xprevious = 0.1; return xprevious"), "0.10000000149011612"); // kept in single precision
    EXPECT_EQ(Run("gravity_direction = 180; friction = 0.5; return gravity_direction + friction"), "180.5");
}

TEST_F(BuiltInVariables, SettersConvertAsTheyStore) {
    // bool: any non-zero rounded value.
    EXPECT_EQ(Run("solid = -1; visible = 0.4; persistent = 0.6; return solid * 100 + visible * 10 + persistent"),
              "101");
    // bool above one half: the rounded value must be at least 1.
    EXPECT_EQ(Run("timeline_running = 0.4; return timeline_running"), "0");
    EXPECT_EQ(Run("timeline_running = 0.5; return timeline_running"), "0");
    EXPECT_EQ(Run("timeline_running = 1.5; return timeline_running"), "1");
    EXPECT_EQ(Run("timeline_loop = -1; return timeline_loop"), "0");
    // int: to nearest, ties to even.
    EXPECT_EQ(Run("path_endaction = 2.5; timeline_index = 3.5; return path_endaction * 10 + timeline_index"), "24");
    EXPECT_EQ(Run("image_blend = -1; return image_blend"), "4294967295");
    // Huge, infinite and NaN reals never reach a bare conversion.
    const std::string huge = "h = 1; repeat (30) h *= 1000000000; ";     // 1e270
    const std::string infinite = huge + "i = h * h; n = i - i; "; // and NaN
    EXPECT_EQ(Run(huge + "path_endaction = h; return path_endaction"), "-2147483648");
    EXPECT_EQ(Run(infinite + "timeline_index = n; sprite_index = -i; return timeline_index - sprite_index"), "0");
    EXPECT_EQ(Run(huge + "image_alpha = h; return image_alpha"), "inf");
    EXPECT_EQ(Run(infinite + "solid = n; timeline_loop = i; return solid * 10 + timeline_loop"), "10");
    // A string or an array carries the real 0.
    EXPECT_EQ(Run("image_speed = 'fast'; return image_speed"), "0");
    EXPECT_EQ(Run("a[2] = 7; image_index = a; return image_index"), "0");
}

TEST_F(BuiltInVariables, AlarmsOutsideTheTwelveMeanAlarmZero) {
    EXPECT_EQ(Run("alarm[3] = 7.6; return alarm[3]"), "8");
    EXPECT_EQ(Run("alarm[12] = 5; return alarm[0]"), "5");
    EXPECT_EQ(Run("alarm[-1] = 6; return alarm[99]"), "6");
    EXPECT_EQ(self->GetAlarm(0), 6);
}

TEST_F(BuiltInVariables, DepthQueuesOnlyAChange) {
    Run_ClearDeferredChanges();
    EXPECT_EQ(Run("depth = 0"), "0");
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 0);
    EXPECT_EQ(Run("depth = -3; return depth"), "-3");
    EXPECT_EQ(Deferred_Count(DEFERRED_DEPTH), 1);
}

TEST_F(BuiltInVariables, SpriteAndImageFollowTheSprite) {
    int sprite = AddSprite(16, 8, 4, 2, 3);
    EXPECT_EQ(Run("return sprite_width + image_number"), "0"); // no sprite yet
    EXPECT_EQ(Run("sprite_index = " + std::to_string(sprite) + "; return image_number"), "3");
    EXPECT_EQ(Run("image_xscale = -2; image_yscale = 0.5; return sprite_width"), "-32");
    EXPECT_EQ(Run("return sprite_height * 1000 + sprite_xoffset * 10 + sprite_yoffset"), "3921");
    EXPECT_EQ(Run("x = 100; y = 50; image_xscale = 1; image_yscale = 1; return bbox_right * 1000 + bbox_bottom"),
              "111055");
    // image_single: -1 while animating; a value shows that image, stopped; a negative one animates again.
    EXPECT_EQ(Run("return image_single"), "-1");
    EXPECT_EQ(Run("image_single = 2; return image_index * 10 + image_speed"), "20");
    EXPECT_EQ(Run("return image_single"), "2");
    EXPECT_EQ(Run("image_single = -5; return image_index * 10 + image_speed"), "21");
    EXPECT_EQ(Run("mask_index = 1.4; return mask_index"), "1");
}

TEST_F(BuiltInVariables, PhysicsVariablesWithoutABodySaySo) {
    EXPECT_EQ(Run("return phy_speed_x"), "0");
    EXPECT_TRUE(Contains(TakeShownError(), "phy_speed_x: the instance has no physics body"));
    EXPECT_EQ(Run("phy_rotation = 3; return 1"), "1");
    EXPECT_TRUE(Contains(TakeShownError(), "phy_rotation: the instance has no physics body"));
}

TEST_F(BuiltInVariables, LivesAndHealthRaiseTheirEventsWhenTheyRunOut) {
    int livesOut = 0, healthOut = 0;
    On(object, ev_other, 6, [&](CInstance*, CInstance*) { ++livesOut; });
    On(object, ev_other, 9, [&](CInstance*, CInstance*) { ++healthOut; });
    Run("lives = 1; lives = 0");
    EXPECT_EQ(livesOut, 1);
    Run("lives = -1; lives = 0.4");
    EXPECT_EQ(livesOut, 1);
    EXPECT_EQ(Run("lives = 2.5; return lives"), "2");
    Run("health = 10; health = 0");
    EXPECT_EQ(healthOut, 1);
    Run("health = 0; health = -3");
    EXPECT_EQ(healthOut, 1);
    EXPECT_EQ(Run("health = 0.25; return health"), "0.25");
    EXPECT_EQ(Run("score = 7.5; return score"), "8");
}

TEST_F(BuiltInVariables, ClampedAndFixedValues) {
    EXPECT_EQ(Run("path_position = 3; return path_position"), "1");
    EXPECT_EQ(Run("transition_kind = 3; return transition_kind"), "0");
    EXPECT_EQ(Run("transition_steps = -5; return transition_steps"), "1");
    EXPECT_EQ(Run("cursor_sprite = 2.5; return cursor_sprite"), "2");
    EXPECT_EQ(Run("error_occurred = 0.5; return error_occurred"), "1");
    EXPECT_EQ(Run("error_occurred = 0.49; return error_occurred"), "0");
    EXPECT_EQ(Run("error_last = 0; return error_last"), "''");
}

TEST_F(BuiltInVariables, ArgumentsOfTheRunningScript) {
    Value_SetReal(&Code_Arguments[0], 4);
    Value_SetReal(&Code_Arguments[1], 9);
    Code_ArgumentCount = 2;
    EXPECT_EQ(Run("return argument[1] * 10 + argument0 + argument_count"), "96");
    EXPECT_EQ(Run("argument[20] = 5; return argument0"), "5"); // outside 0..15: argument0
    EXPECT_EQ(Run("argument1[2] = 3; return argument1[2]"), "3");
    EXPECT_EQ(TakeShownError(), "");
    // Beyond the count: a fatal report, and the value is still given.
    Value_SetReal(&Code_Arguments[3], 6);
    EXPECT_EQ(Run("return argument[3]"), "6");
    EXPECT_TRUE(Contains(TakeShownError(), "illegal access of argument, argument is not provided to script"));
    EXPECT_EQ(Run("return argument[40]"), "0");
    EXPECT_TRUE(Contains(TakeShownError(), "FATAL"));
    EXPECT_EQ(Run("return argument_relative"), "0");

    // A script that writes arguments beyond its count leaves the next call's block all real 0, and the
    // caller its own values; one given reals alone that writes a text or an array over them has it freed
    // when it returns.
    const char* names[] = {"writes", "reads", "over"};
    const char* texts[] = {"argument5 = \"left\"; argument[7] = 3; argument9[1] = 2; return 0",
                           "return argument5 + argument7 * 10 + argument9 * 100 + argument0",
                           "argument[1] = \"in\"; argument0[2] = 4; return argument0[2] + argument_count"};
    CScript* table[3];
    for (int i = 0; i < 3; ++i) {
        table[i] = new CScript();
        table[i]->Load(names[i], texts[i], -1);
    }
    Script_SetTable(table, 3);
    ASSERT_TRUE(table[0]->Prepare() && table[1]->Prepare() && table[2]->Prepare());
    EXPECT_EQ(Run("writes(1); return reads(8)"), "8");
    EXPECT_EQ(Run("return over(1, 2) * 10 + over(3)"), "65");
    EXPECT_EQ(Run("return argument0"), "5");
    Script_SetTable(nullptr, 0);
}

TEST_F(BuiltInVariables, RoomSpeedBelowOneIsReportedAndKept) {
    EXPECT_EQ(Run("room_speed = 45.4; return room_speed"), "45");
    EXPECT_EQ(Run("room_speed = 0.4; return room_speed"), "45");
    std::string shown = TakeShownError();
    EXPECT_TRUE(Contains(shown, "Trying to set the room speed to a value <= 0."));
    EXPECT_FALSE(Contains(shown, "FATAL"));
    EXPECT_FALSE(Contains(shown, "read only"));
}

TEST_F(BuiltInVariables, RoomSettingsAndInstances) {
    EXPECT_EQ(Run("room_persistent = 0.5; return room_persistent"), "0");
    // A room change is a request; one to a room that does not exist ends the game after the step.
    Run("room = 3.4");
    EXPECT_TRUE(Contains(TakeShownError(), "Unexisting room number: 3"));
    EXPECT_EQ(Room_State().New_Room, -400);
    Room_State().New_Room = -1;
    CInstance* second = Instance_Create(object, 0, 0);
    second->SetMarked(true); // still counted
    EXPECT_EQ(Run("return instance_count"), "2");
    EXPECT_EQ(Run("return instance_id[1] - instance_id[0]"), "1");
    EXPECT_EQ(Run("return instance_id[2]"), "-4");
    EXPECT_EQ(Run("return instance_id[-1]"), "-4");
    Room_State().Run_Room->DestroyActiveInstances();
    self = nullptr;
    EXPECT_EQ(Run("return instance_id[0]"), "-4");
}

TEST_F(BuiltInVariables, SlotsOutsideTheEightMeanSlotZero) {
    EXPECT_EQ(Run("background_x[9] = 12.5; return background_x[0]"), "12.5");
    EXPECT_EQ(Run("background_visible[3] = 1; background_htiled[3] = 0.5; "
                  "return background_visible[3] * 10 + background_htiled[3]"),
              "10");
    EXPECT_EQ(Run("background_index[1] = 99; return background_width[1] + background_height[1]"), "0");
    EXPECT_EQ(Run("view_xview[-3] = 7.5; view_angle[7] = 30.25; return view_xview[0] + view_angle[7]"), "38.25");
    EXPECT_EQ(Run("view_enabled = 1; view_object[2] = 100005; return view_enabled + view_object[2]"), "100006");
}

TEST_F(BuiltInVariables, KeyboardLastCharacter) {
    // The last character takes the whole first character of the text.
    EXPECT_EQ(Run("keyboard_lastchar = '\xC3\xA9t\xC3\xA9'; return keyboard_lastchar"), "'\xC3\xA9'");
    EXPECT_EQ(IO_GetLastChar(), 0xE9);
    EXPECT_EQ(Run("keyboard_lastchar = ''; keyboard_lastchar = 5; return keyboard_lastchar"), "'\xC3\xA9'");
    // A character beyond 16 bits is whole, there and in the keyboard string.
    EXPECT_EQ(Run("keyboard_lastchar = '\xF0\x9F\x98\x80!'; return keyboard_lastchar"), "'\xF0\x9F\x98\x80'");
    EXPECT_EQ(IO_GetLastChar(), 0x1F600);
    EXPECT_EQ(Run("keyboard_string = 'a\xF0\x9F\x98\x80'; keyboard_string = keyboard_string + 'b';"
                  "return keyboard_string"),
              "'a\xF0\x9F\x98\x80" "b'");
}

TEST_F(BuiltInVariables, CaptionsAndCursor) {
    EXPECT_EQ(Run("return show_score * 100 + show_lives * 10 + show_health"), "100");
    EXPECT_EQ(Run("return caption_health"), "'Health: '");
    Run("show_lives = 1; show_health = 1");
    EXPECT_FALSE(GameValues_State().Game_Caption.set);
    EXPECT_EQ(Run("show_score = 0.5; return show_score"), "0");
    EXPECT_TRUE(GameValues_State().Game_Caption.set);
    EXPECT_EQ(Run("caption_score = 'Points: '; caption_lives = 3; return caption_score + caption_lives"),
              "'Points: '");
}

TEST_F(BuiltInVariables, DirectoriesAndTime) {
    const std::string program = Run("return program_directory");
    EXPECT_GT(program.size(), 3u);
    EXPECT_NE(program[program.size() - 2], '/');
    Variable_FreeWorkingDirectory();
    Variable_InitWorkingDirectory("/games/maze/data.win");
    Variable_InitWorkingDirectory("/elsewhere/data.win"); // set once
    EXPECT_EQ(Run("return working_directory"), "'/games/maze/'");
    Variable_FreeWorkingDirectory();
    Variable_InitWorkingDirectory("C:\\games\\data.win");
    EXPECT_EQ(Run("return working_directory"), "'C:\\games\\'");
    Variable_FreeWorkingDirectory();
    EXPECT_EQ(Run("return current_month >= 1 && current_month <= 12 && current_weekday <= 6 && "
                  "current_year >= 2024 && current_time >= 0"),
              "1");
    EXPECT_EQ(Run("return game_guid"), "''");
}

// Built-in variables of instances whose ids lie on the stack (an array element, a global) read as their
// getters read them, on the machine's loop and the long way alike, before and after one of them moves.
TEST_F(BuiltInVariables, FieldsOfInstancesNamedByExpressions) {
    CInstance* other = Instance_Create(object, 30, 40);
    const std::string program = "var a, s; a[0] = " + std::to_string(self->id) + "; a[1] = " +
                                std::to_string(other->id) +
                                "; global.p = a[1];\n"
                                "s = a[0].x + a[1].y * 10 + global.p.x * 1000; a[0].x = 5; s += a[0].x * 100000;\n"
                                "return s + a[1].alarm[0] + (a[1] + 0).image_xscale * 0.5;";
    VMDebug_State().VM_LongWayOnly = true;
    const std::string longWay = Run(program);
    VMDebug_State().VM_LongWayOnly = false;
    EXPECT_EQ(longWay, "530409.5");
    self->x = 10;
    EXPECT_EQ(Run(program), longWay);
}
