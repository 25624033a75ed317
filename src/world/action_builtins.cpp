// The action built-ins: the run-time side of drag-and-drop actions. Most adjust their position
// arguments by the relative flag and do what the matching script built-in does (several call it by
// name); the conditional ones only answer 1 or 0.
#include "world/action_builtins.h"

#include "audio/audio.h"
#include "core/convert.h"
#include "core/random.h"
#include "core/save_area.h"
#include "core/text.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/frame.h"
#include "graphics/particles/particles.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "graphics/text/text_draw.h"
#include "io/input.h"
#include "io/message_pump.h"
#include "io/programs.h"
#include "io/window.h"
#include "library/builtin.h"
#include "platform/dialogs.h"
#include "script/compiler/compile.h"
#include "script/script.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/event.h"
#include "world/game_builtins.h"
#include "world/game_values.h"
#include "world/highscore.h"
#include "world/instance.h"
#include "world/interaction_builtins.h"
#include "world/motion.h"
#include "world/motion_planning.h"
#include "world/object.h"
#include "world/room.h"
#include "world/room_change.h"
#include "world/room_draw.h"
#include "world/room_entry.h"
#include "world/room_size.h"
#include "world/room_table.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

void SetReal(ScriptValue& result, double d) { Value_SetReal(&result, d); }
void SetFlag(ScriptValue& result, bool b) { Value_SetReal(&result, b ? 1 : 0); }

float F(double v) { return X86_DoubleToFloat(v); }

// An x-like or y-like argument, moved by self's position when the action is relative.
float RelX(CInstance* self, const BuiltInArgs& args, int i) {
    return F(Event_State().argument_relative && self ? self->x + args.Real(i) : args.Real(i));
}
float RelY(CInstance* self, const BuiltInArgs& args, int i) {
    return F(Event_State().argument_relative && self ? self->y + args.Real(i) : args.Real(i));
}
// A value to set, added to the current one when the action is relative.
double RelValue(double current, const BuiltInArgs& args, int i) {
    return Event_State().argument_relative ? current + args.Real(i) : args.Real(i);
}

// Calls the script built-in of that name for self and other with the given arguments (a built-in that
// is not registered does nothing).
void CallNamed(const char* name, CInstance* self, CInstance* other, std::initializer_list<ScriptValue> values,
               ScriptValue* result = nullptr) {
    int id = -1;
    if (!Code_Function_Find(name, id) || id >= 100000) return;
    std::vector<ScriptValue*> pointers;
    for (const ScriptValue& v : values) pointers.push_back(const_cast<ScriptValue*>(&v));
    ScriptValue local{};
    Code_Function_Call(id, self, other, result ? *result : local, static_cast<int>(pointers.size()),
                       pointers.data());
    if (!result) Value_Free(&local);
}

ScriptValue Real(double d) {
    ScriptValue v{};
    Value_SetReal(&v, d);
    return v;
}

// --- motion ---

BUILTIN_INSTANCE_BODY(action_move) {
    const char* directions = args.Text(0);
    if (!directions || std::strlen(directions) != 9) {
        Code_Error_Report("Wrong argument to action_move().", false);
        return;
    }
    if (!self || !std::strchr(directions, '1')) return;
    self->SetSpeed(F(RelValue(self->speed, args, 1)));
    // The nine characters are a keypad read from its bottom row up.
    static const float kDirections[9] = {225, 270, 315, 180, 0, 0, 135, 90, 45};
    int index;
    do index = static_cast<int>(Random_Int(9));
    while (directions[index] != '1');
    self->SetDirection(kDirections[index]);
    if (index == 4) self->SetSpeed(0);
}

BUILTIN_INSTANCE_BODY(action_set_motion) {
    if (!self) return;
    if (Event_State().argument_relative) {
        self->AddMotion(args.Float(0), args.Float(1));
        return;
    }
    self->SetDirection(args.Float(0));
    self->SetSpeed(args.Float(1));
}

BUILTIN_INSTANCE_BODY(action_set_hspeed) {
    if (self) self->SetHSpeed(F(RelValue(self->hspeed, args, 0)));
}
BUILTIN_INSTANCE_BODY(action_set_vspeed) {
    if (self) self->SetVSpeed(F(RelValue(self->vspeed, args, 0)));
}
BUILTIN_INSTANCE_BODY(action_set_gravity) {
    if (!self) return;
    self->gravity_direction = F(RelValue(self->gravity_direction, args, 0));
    self->gravity = F(RelValue(self->gravity, args, 1));
}
BUILTIN_INSTANCE_BODY(action_set_friction) {
    if (self) self->friction = F(RelValue(self->friction, args, 0));
}
BUILTIN_INSTANCE_BODY(action_move_point) {
    CallNamed("move_towards_point", self, other, {Real(RelX(self, args, 0)), Real(RelY(self, args, 1)), Real(args.Real(2))});
}
BUILTIN_INSTANCE_BODY(action_move_to) {
    if (self) self->SetPosition(RelX(self, args, 0), RelY(self, args, 1));
}
BUILTIN_INSTANCE_BODY(action_move_start) {
    if (self) self->SetPosition(self->xstart, self->ystart);
}
BUILTIN_INSTANCE_BODY(action_move_random) {
    if (self) Instance_MoveRandom(self, args.Real(0), args.Real(1), 99);
}
BUILTIN_INSTANCE_BODY(action_snap) {
    if (self) Instance_Snap(self, args.Real(0), args.Real(1));
}
BUILTIN_INSTANCE_BODY(action_wrap) {
    const int d = args.Rounded(0);
    if (self) Instance_Wrap(self, d == 0 || d == 2, d == 1 || d == 2);
}
BUILTIN_INSTANCE_BODY(action_reverse_xdir) {
    if (self) self->SetHSpeed(-self->hspeed);
}
BUILTIN_INSTANCE_BODY(action_reverse_ydir) {
    if (self) self->SetVSpeed(-self->vspeed);
}
BUILTIN_INSTANCE_BODY(action_move_contact) {
    if (self) Instance_MoveContact(self, args.Float(0), args.Float(1), args.Flag(2));
}
BUILTIN_INSTANCE_BODY(action_bounce) {
    if (self) Instance_Bounce(self, args.Flag(0), args.Real(1) == 1);
}
BUILTIN_INSTANCE_BODY(action_linear_step) {
    if (self) Motion_LinearStep(self, RelX(self, args, 0), RelY(self, args, 1), args.Float(2), -3, args.Flag(3));
}
BUILTIN_INSTANCE_BODY(action_potential_step) {
    if (self) Motion_PotentialStep(self, RelX(self, args, 0), RelY(self, args, 1), args.Float(2), -3, args.Flag(3));
}

// --- instances ---

// Makes an instance of an existing object (else the error), sets it up, then runs its Create event.
template <typename Setup> void CreateObject(int object, float x, float y, Setup setup) {
    if (!Object_Exists(object)) {
        Code_Error_Report(Message_AppendNumber("Creating instance for non-existing object: ", object), false);
        return;
    }
    if (!Room_State().Run_Room) return;
    CInstance* instance = Room_State().Run_Room->CreateInstance(x, y, object);
    setup(instance);
    PerformInstanceEvent(instance, instance, ev_create, 0);
    instance->created = 1;
}

BUILTIN_INSTANCE_BODY(action_create_object) {
    CreateObject(args.Truncated(0), RelX(self, args, 1), RelY(self, args, 2), [](CInstance*) {});
}
BUILTIN_INSTANCE_BODY(action_create_object_motion) {
    CreateObject(args.Truncated(0), RelX(self, args, 1), RelY(self, args, 2), [&](CInstance* i) {
        i->SetSpeed(args.Float(3));
        i->SetDirection(args.Float(4));
    });
}
BUILTIN_INSTANCE_BODY(action_create_object_random) {
    int objects[4];
    bool any = false;
    for (int i = 0; i < 4; ++i) {
        objects[i] = args.Truncated(i);
        any = any || Object_Exists(objects[i]);
    }
    if (!any) return;
    int object;
    do object = objects[Random_Int(4)];
    while (!Object_Exists(object));
    CreateObject(object, RelX(self, args, 4), RelY(self, args, 5), [](CInstance*) {});
}
BUILTIN_INSTANCE_BODY(action_change_object) {
    if (self) Instance_Change(self, args.Truncated(0), args.Flag(1));
}
BUILTIN_INSTANCE_BODY(action_kill_object) {
    CallNamed("instance_destroy", self, other, {});
    SetReal(result, 0);
}
BUILTIN_INSTANCE_BODY(action_kill_position) {
    CallNamed("position_destroy", self, other, {Real(RelX(self, args, 0)), Real(RelY(self, args, 1))});
}
BUILTIN_INSTANCE_BODY(action_set_sprite) {
    if (!self) return;
    Instance_SetSprite(self, args.Rounded(0));
    if (args.Real(1) > 0) {
        self->SetImageXScale(args.Float(1));
        self->SetImageYScale(args.Float(1));
    }
}
BUILTIN_INSTANCE_BODY(action_sprite_set) {
    if (!self) return;
    Instance_SetSprite(self, args.Rounded(0));
    if (args.Real(1) >= 0) self->image_index = args.Float(1);
    self->image_speed = args.Float(2);
}
BUILTIN_INSTANCE_BODY(action_sprite_transform) {
    if (!self) return;
    const double mirror = args.Real(3);
    self->SetImageXScale(args.Float(0));
    self->SetImageYScale(args.Float(1));
    self->SetImageAngle(args.Float(2));
    if (mirror == 1 || mirror == 3) self->SetImageXScale(-self->image_xscale);
    if (mirror == 2 || mirror == 3) self->SetImageYScale(-self->image_yscale);
}
BUILTIN_INSTANCE_BODY(action_sprite_color) {
    if (!self) return;
    self->image_blend = static_cast<uint32_t>(args.Rounded(0));
    self->image_alpha = args.Float(1);
}
BUILTIN_INSTANCE_BODY(action_inherited) { Event_Inherited(self, other); }
BUILTIN_INSTANCE_BODY(action_execute_script) {
    const int script = args.Rounded(0);
    ScriptValue values[5];
    for (int i = 0; i < 5; ++i) Value_Copy(&values[i], args.At(i + 1));
    if (!Script_Perform(script, self, other, 5, &result, values) && CodeError_State().Code_ErrorText)
        Code_Error_Report(CodeError_State().Code_ErrorText, false);
    for (ScriptValue& v : values) Value_Free(&v);
}
BUILTIN_INSTANCE_BODY(action_set_alarm) {
    if (!self) return;
    const int alarm = args.Rounded(1);
    const int steps = args.Rounded(0);
    const int current = self->GetAlarm(alarm);
    self->SetAlarm(alarm,
                   Event_State().argument_relative && current >= 0 ? Wrap_Add32(current, steps) : steps);
}
BUILTIN_INSTANCE_BODY(action_set_timeline) {
    if (!self) return;
    self->timeline_index = args.Rounded(0);
    self->timeline_position = args.Float(1);
    self->timeline_running = 1;
}
BUILTIN_INSTANCE_BODY(action_timeline_set) {
    if (!self) return;
    self->timeline_index = args.Rounded(0);
    self->timeline_position = args.Float(1);
    self->timeline_running = args.Real(2) == 0 ? 1 : 0;
    self->timeline_loop = args.Real(3) == 1 ? 1 : 0;
}
BUILTIN_INSTANCE_BODY(action_set_timeline_position) {
    if (self) self->timeline_position = F(RelValue(self->timeline_position, args, 0));
}
BUILTIN_INSTANCE_BODY(action_set_timeline_speed) {
    if (self) self->timeline_speed = F(RelValue(self->timeline_speed, args, 0));
}
BUILTIN_INSTANCE_BODY(action_timeline_start) {
    if (self) self->timeline_running = 1;
}
BUILTIN_INSTANCE_BODY(action_timeline_pause) {
    if (self) self->timeline_running = 0;
}
BUILTIN_INSTANCE_BODY(action_timeline_stop) {
    if (!self) return;
    self->timeline_position = 0;
    self->timeline_running = 0;
}

// --- rooms and game ---

BUILTIN_INSTANCE_BODY(action_previous_room) { CallNamed("room_goto_previous", self, other, {}); }
BUILTIN_INSTANCE_BODY(action_next_room) { CallNamed("room_goto_next", self, other, {}); }
BUILTIN_INSTANCE_BODY(action_current_room) { CallNamed("room_restart", self, other, {}); }
BUILTIN_INSTANCE_BODY(action_another_room) { Room_Goto(args.Rounded(0)); }
BUILTIN_INSTANCE_BODY(action_if_previous_room) {
    SetFlag(result, RoomEntry_State().Run_RoomIndex != Room_First());
}
BUILTIN_INSTANCE_BODY(action_if_next_room) {
    SetFlag(result, RoomEntry_State().Run_RoomIndex != Room_Last());
}
BUILTIN_INSTANCE_BODY(action_end_game) { CallNamed("game_end", self, other, {}); }
BUILTIN_INSTANCE_BODY(action_restart_game) { CallNamed("game_restart", self, other, {}); }
BUILTIN_INSTANCE_BODY(action_save_game) {
    ScriptValue name{};
    Value_Copy(&name, args.At(0));
    CallNamed("game_save", self, other, {name});
    Value_Free(&name);
}
BUILTIN_INSTANCE_BODY(action_load_game) {
    ScriptValue name{};
    Value_Copy(&name, args.At(0));
    CallNamed("game_load", self, other, {name});
    Value_Free(&name);
}
BUILTIN_INSTANCE_BODY(action_sleep) {
    if (args.Flag(1)) {
        Room_DrawViews();
        Graphics::EndFrame(true);
        Graphics::StartFrame();
    }
    CallNamed("sleep", self, other, {Real(args.Real(0))});
}

// --- questions ---

BUILTIN_INSTANCE_BODY(action_if) { Value_Copy(&result, args.At(0)); }

bool PlaceEmptyOrFree(CInstance* self, const BuiltInArgs& args) {
    if (!self) return false;
    const float x = RelX(self, args, 0), y = RelY(self, args, 1);
    return args.Rounded(2) != 0 ? Instance_PlaceEmpty(self, x, y) : Instance_PlaceFree(self, x, y);
}
BUILTIN_INSTANCE_BODY(action_if_empty) { SetFlag(result, PlaceEmptyOrFree(self, args)); }
BUILTIN_INSTANCE_BODY(action_if_collision) { SetFlag(result, self && !PlaceEmptyOrFree(self, args)); }
BUILTIN_INSTANCE_BODY(action_if_object) {
    SetFlag(result, self && Instance_PlaceMeeting(self, args.Rounded(0), RelX(self, args, 1), RelY(self, args, 2)));
}

// Operation 1: less than, 2: greater than, any other: equal.
template <typename T> bool Compare(T a, T b, int operation) {
    return operation == 1 ? a < b : operation == 2 ? a > b : a == b;
}

BUILTIN_INSTANCE_BODY(action_if_number) {
    ScriptValue count{};
    CallNamed("instance_number", self, other, {Real(args.Rounded(0))}, &count);
    SetFlag(result, Compare(Value_Real(&count), args.Real(1), args.Rounded(2)));
    Value_Free(&count);
}

BUILTIN_INSTANCE_BODY(action_if_variable) {
    const ScriptValue* a = args.At(0);
    const ScriptValue* b = args.At(1);
    double d;
    if (a->IsString() && b->IsString()) {
        const int c = std::strcmp(a->str ? a->str : "", b->str ? b->str : "");
        d = c < 0 ? -1 : c > 0 ? 1 : 0;
    } else if (a->IsReal() && b->IsReal()) {
        d = a->real - b->real;
    } else {
        Code_Error_Report("Cannot compare arguments.", false);
        SetFlag(result, false);
        return;
    }
    switch (args.Rounded(2)) {
    case 1: SetFlag(result, d < 0); break;
    case 2: SetFlag(result, d > 0); break;
    case 3: SetFlag(result, d <= 0); break;
    case 4: SetFlag(result, d >= 0); break;
    default: SetFlag(result, d == 0); break;
    }
}

// A chance of one in sides (1001 of round(sides x 1000), the range kept within int32).
BUILTIN_INSTANCE_BODY(action_if_dice) {
    const double sides = args.Real(0);
    if (!(sides > 1)) {
        SetFlag(result, true);
        return;
    }
    const double range = std::nearbyint(sides * 1000);
    const int limit = range >= 2147483647.0 ? 2147483647 : static_cast<int>(range);
    SetFlag(result, Random_Int(limit) < 1001);
}

BUILTIN_INSTANCE_BODY(action_if_question) {
    std::string text = args.Text(0) ? args.Text(0) : "";
    String_HashToNewline(text.data());
    text.resize(std::strlen(text.c_str()));
    SetFlag(result, Dialog_Question(Window_GetCaption(), text.c_str()));
    IO_Clear();
}

BUILTIN_INSTANCE_BODY(action_if_mouse) {
    const int button = args.Rounded(0);
    if (button >= 1 && button <= 3)
        SetFlag(result, IO_MouseCheck(button, 0) || IO_MouseCheckReleased(button, 0));
    else
        SetFlag(result, IO_GetMouseButton(0) == 0);
}

BUILTIN_INSTANCE_BODY(action_if_aligned) {
    CallNamed("place_snapped", self, other, {Real(args.Real(0)), Real(args.Real(1))}, &result);
}

BUILTIN_INSTANCE_BODY(action_if_sound) {
    const int sound = args.Rounded(0);
    if (Audio_State().Audio_UseNewEngine) {
        SetFlag(result, Audio_IsPlaying(sound));
        return;
    }
    CSound* s = Sound_Get(sound);
    SetFlag(result, s && SND_IsPlaying(s->GetHardwareSound()));
}

// Operation 1: the value is above the current one, 2: below it, any other: equal.
template <typename T> bool CompareCurrent(T value, T current, int operation) {
    return operation == 1 ? value > current : operation == 2 ? current > value : value == current;
}
BUILTIN_INSTANCE_BODY(action_if_score) {
    SetFlag(result, CompareCurrent<double>(args.Real(0), GameValues_State().Game_Score, args.Rounded(1)));
}
BUILTIN_INSTANCE_BODY(action_if_life) {
    SetFlag(result, CompareCurrent<double>(args.Real(0), GameValues_State().Game_Lives, args.Rounded(1)));
}
BUILTIN_INSTANCE_BODY(action_if_health) {
    SetFlag(result, CompareCurrent<double>(args.Real(0), GameValues_State().Game_Health, args.Rounded(1)));
}

// --- score, lives, health and captions ---

int32_t RelInt(int32_t current, const BuiltInArgs& args) {
    const int32_t v = args.Rounded(0);
    return Event_State().argument_relative ? Wrap_Add32(current, v) : v;
}

BUILTIN_INSTANCE_BODY(action_set_score) {
    GameValues_State().Game_Score = RelInt(GameValues_State().Game_Score, args);
}
BUILTIN_INSTANCE_BODY(action_set_life) {
    const int32_t before = GameValues_State().Game_Lives;
    GameValues_State().Game_Lives = RelInt(GameValues_State().Game_Lives, args);
    if (before >= 1 && GameValues_State().Game_Lives < 1) PerformEventAll(ev_other, 6);
}
BUILTIN_INSTANCE_BODY(action_set_health) {
    const double before = GameValues_State().Game_Health;
    GameValues_State().Game_Health = RelValue(GameValues_State().Game_Health, args, 0);
    if (before > 0 && GameValues_State().Game_Health <= 0) PerformEventAll(ev_other, 9);
}

// The caption followed by the value ("%s%d").
void DrawCaptionValue(CInstance* self, const BuiltInArgs& args, int32_t value) {
    const char* caption = args.Text(2);
    const std::string text = std::string(caption ? caption : "") + std::to_string(value);
    Text_Draw(RelX(self, args, 0), RelY(self, args, 1), text.c_str(), -1, -1);
}
BUILTIN_INSTANCE_BODY(action_draw_score) {
    DrawCaptionValue(self, args, GameValues_State().Game_Score);
}
BUILTIN_INSTANCE_BODY(action_draw_life) {
    DrawCaptionValue(self, args, GameValues_State().Game_Lives);
}

BUILTIN_INSTANCE_BODY(action_draw_life_images) {
    CSprite* sprite = Sprite_Data(args.Rounded(2));
    if (!sprite) return;
    const float x = RelX(self, args, 0), y = RelY(self, args, 1);
    for (int i = 0; i < GameValues_State().Game_Lives; ++i)
        sprite->Draw(0, F(x + static_cast<double>(i) * sprite->width), y, 1, 1, 0, 16777215, 1);
}

BUILTIN_INSTANCE_BODY(action_draw_health) {
    static const uint32_t kBack[18] = {0,        0,       8421504, 12632256, 16777215, 128,      32768,
                                       32896,    8388608, 8388736, 8421376,  255,      65280,    65535,
                                       16711680, 16711935, 16776960, 0};
    static const uint32_t kBar[18] = {0,       0,       0,        8421504,  12632256, 16777215, 128,
                                      32768,   32896,   8388608,  8388736,  8421376,  255,      65280,
                                      65535,   16711680, 16711935, 16776960};
    const int back = args.Rounded(4);
    const int bar = args.Rounded(5);
    const uint32_t backColour = back >= 0 && back < 18 ? kBack[back] : 0;
    uint32_t colours[3] = {255, 65535, 65280};
    if (bar == 1) {
        colours[0] = 0, colours[1] = 8421504, colours[2] = 16777215;
    } else if (bar != 0) {
        const uint32_t c = bar >= 2 && bar < 18 ? kBar[bar] : 0;
        colours[0] = colours[1] = colours[2] = c;
    }
    GR_Draw_Healthbar(RelX(self, args, 0), RelY(self, args, 1), RelX(self, args, 2), RelY(self, args, 3),
                      static_cast<float>(GameValues_State().Game_Health), backColour, colours[0], colours[1],
                      colours[2], 0, args.Real(4) >= 0.5, true);
}

BUILTIN_INSTANCE_BODY(action_set_caption) {
    CaptionSettings& c = GameValues_State().Game_Caption;
    c.set = true;
    c.showScore = args.Real(0) == 1;
    GameValues_SetText(&c.scoreCaption, args.Text(1));
    c.showLives = args.Real(2) == 1;
    GameValues_SetText(&c.livesCaption, args.Text(3));
    c.showHealth = args.Real(4) == 1;
    GameValues_SetText(&c.healthCaption, args.Text(5));
}

// The table in the 200 x 200 box at the room's centre, drawn at once.
BUILTIN_INSTANCE_BODY(action_highscore_show) {
    int width = 0, height = 0;
    Room_GetCurrentSize(width, height);
    const float x = static_cast<float>(width / 2 - 100), y = static_cast<float>(height / 2 - 100);
    HighScore_Draw(x, y, x + 200, y + 200);
}
BUILTIN_INSTANCE_BODY(action_highscore_clear) { HighScore_Clear(); }

// --- drawing ---

BUILTIN_INSTANCE_BODY(action_draw_variable) {
    const ScriptValue* v = args.At(0);
    char text[400];
    if (v->IsString()) {
        Text_Draw(RelX(self, args, 1), RelY(self, args, 2), v->str ? v->str : "", -1, -1);
        return;
    }
    const double d = Value_Real(v);
    if (d == std::nearbyint(d))
        String_FormatWhole(text, sizeof text, d);
    else
        std::snprintf(text, sizeof text, "%10.2f", d);
    Text_Draw(RelX(self, args, 1), RelY(self, args, 2), text, -1, -1);
}
BUILTIN_INSTANCE_BODY(action_draw_text) {
    Text_Draw(RelX(self, args, 1), RelY(self, args, 2), args.Text(0) ? args.Text(0) : "", -1, -1);
}
BUILTIN_INSTANCE_BODY(action_draw_text_transformed) {
    Text_DrawTransformed(RelX(self, args, 1), RelY(self, args, 2), args.Text(0) ? args.Text(0) : "", -1, -1,
                         args.Float(3), args.Float(4), args.Float(5));
}
BUILTIN_INSTANCE_BODY(action_draw_sprite) {
    CSprite* sprite = Sprite_Data(args.Rounded(0));
    if (!sprite) {
        Code_Error_Report("Trying to draw a non-existing sprite.", false);
        return;
    }
    const double subimage = args.Real(3) < 0 && self ? self->image_index : args.Real(3);
    sprite->Draw(X86_DoubleToInt32(std::floor(subimage)), RelX(self, args, 1), RelY(self, args, 2), 1, 1, 0,
                 16777215, 1);
}
BUILTIN_INSTANCE_BODY(action_draw_background) {
    CBackground* background = Background_Data(args.Rounded(0));
    if (!background) {
        Code_Error_Report("Trying to draw a non-existing background.", false);
        return;
    }
    int width = 0, height = 0;
    Room_GetCurrentSize(width, height);
    const bool tiled = args.Flag(3);
    background->DrawTiled(RelX(self, args, 1), RelY(self, args, 2), 1, 1, tiled, tiled, 0, 0,
                          static_cast<float>(width), static_cast<float>(height), 16777215, 1);
}

struct Box {
    float x1, y1, x2, y2;
};
Box RelBox(CInstance* self, const BuiltInArgs& args) {
    return Box{RelX(self, args, 0), RelY(self, args, 1), RelX(self, args, 2), RelY(self, args, 3)};
}
uint32_t Colour(const BuiltInArgs& args, int i) { return static_cast<uint32_t>(args.Rounded(i)); }

BUILTIN_INSTANCE_BODY(action_draw_rectangle) {
    const Box b = RelBox(self, args);
    GR_Draw_Rectangle(b.x1, b.y1, b.x2, b.y2, args.Flag(4));
}
BUILTIN_INSTANCE_BODY(action_draw_ellipse) {
    const Box b = RelBox(self, args);
    GR_Draw_Ellipse(b.x1, b.y1, b.x2, b.y2, args.Flag(4));
}
BUILTIN_INSTANCE_BODY(action_draw_gradient_hor) {
    const Box b = RelBox(self, args);
    const uint32_t c1 = Colour(args, 4), c2 = Colour(args, 5);
    GR_Draw_RectangleColour(b.x1, b.y1, b.x2, b.y2, c1, c2, c2, c1, false);
}
BUILTIN_INSTANCE_BODY(action_draw_gradient_vert) {
    const Box b = RelBox(self, args);
    const uint32_t c1 = Colour(args, 4), c2 = Colour(args, 5);
    GR_Draw_RectangleColour(b.x1, b.y1, b.x2, b.y2, c1, c1, c2, c2, false);
}
BUILTIN_INSTANCE_BODY(action_draw_ellipse_gradient) {
    const Box b = RelBox(self, args);
    GR_Draw_EllipseColour(b.x1, b.y1, b.x2, b.y2, Colour(args, 4), Colour(args, 5), false);
}
BUILTIN_INSTANCE_BODY(action_draw_line) {
    const Box b = RelBox(self, args);
    GR_Draw_Line(b.x1, b.y1, b.x2, b.y2);
}
BUILTIN_INSTANCE_BODY(action_draw_arrow) {
    const Box b = RelBox(self, args);
    GR_Draw_Arrow(b.x1, b.y1, b.x2, b.y2, args.Float(4));
}
BUILTIN_INSTANCE_BODY(action_color) { GR_Draw_SetColour(Colour(args, 0)); }
BUILTIN_INSTANCE_BODY(action_font) {
    Text_SetFont(args.Rounded(0));
    Text_SetHAlign(args.Rounded(1));
}
BUILTIN_INSTANCE_BODY(action_effect) {
    Effect_Create(args.Real(5) < 0.5, args.Rounded(0), RelX(self, args, 1), RelY(self, args, 2), args.Rounded(3),
                  Colour(args, 4));
}
BUILTIN_INSTANCE_BODY(action_snapshot) {
    const char* name = args.Text(0);
    if (!name || !*name) {
        Code_Error_Report("Trying to save screen to empty image file name.", false);
        return;
    }
    ScriptValue file{};
    Value_Copy(&file, args.At(0));
    CallNamed("screen_save", self, other, {file});
    Value_Free(&file);
}
BUILTIN_INSTANCE_BODY(action_fullscreen) {
    switch (args.Rounded(0)) {
    case 1: Window_SetFullscreen(false); break;
    case 2: Window_SetFullscreen(true); break;
    default: Window_SetFullscreen(!Window_GetFullscreen()); break;
    }
}
BUILTIN_INSTANCE_BODY(action_set_cursor) {
    GameValues_State().Cursor_Sprite = args.Rounded(0);
    Window_SetCursor(args.Flag(1) ? 0 : -1);
}

// --- particles: one system, 16 type and 16 emitter slots, each made on first use ---

constexpr int kParticleSlots = 16;
struct ActionParticles {
    int system = -1;
    int types[kParticleSlots];
    int emitters[kParticleSlots];
    ActionParticles() { Empty(); }
    void Empty() {
        for (int i = 0; i < kParticleSlots; ++i) types[i] = emitters[i] = -1;
    }
};
ActionParticles g_particles;

int System() {
    if (g_particles.system < 0) g_particles.system = ParticleSystem_Create();
    return g_particles.system;
}

// The type of a slot, made when the slot is empty; -1 for a number outside 0..15.
int TypeSlot(int slot) {
    if (slot < 0 || slot >= kParticleSlots) return -1;
    System();
    if (g_particles.types[slot] < 0) g_particles.types[slot] = ParticleType_Create();
    return g_particles.types[slot];
}

BUILTIN_INSTANCE_BODY(action_partsyst_create) {
    const int system = System();
    ParticleSystem_Clear(system);
    ParticleSystem_Depth(system, args.Float(0));
    g_particles.Empty();
}
BUILTIN_INSTANCE_BODY(action_partsyst_destroy) {
    if (g_particles.system >= 0) ParticleSystem_Destroy(g_particles.system);
    g_particles.system = -1;
}
BUILTIN_INSTANCE_BODY(action_partsyst_clear) { ParticleSystem_ClearParticles(System()); }

// The type slot of the first argument; nothing is done for a number outside 0..15.
template <typename Work> void WithType(const BuiltInArgs& args, Work work) {
    const int slot = args.Rounded(0);
    if (slot < 0 || slot >= kParticleSlots) return;
    work(TypeSlot(slot));
}

BUILTIN_INSTANCE_BODY(action_parttype_create_old) {
    WithType(args, [&](int type) {
        ParticleType_Shape(type, args.Rounded(1));
        ParticleType_Size(type, args.Float(2), args.Float(3), 0, 0);
        ParticleType_Color2(type, Colour(args, 4), Colour(args, 5));
    });
}
BUILTIN_INSTANCE_BODY(action_parttype_create) {
    WithType(args, [&](int type) {
        ParticleType_Shape(type, args.Rounded(1));
        ParticleType_Sprite(type, args.Rounded(2), true, false, false);
        ParticleType_Size(type, args.Float(3), args.Float(4), args.Float(5), 0);
    });
}
BUILTIN_INSTANCE_BODY(action_parttype_color) {
    WithType(args, [&](int type) {
        if (args.Rounded(1) == 0)
            ParticleType_ColorMix(type, Colour(args, 2), Colour(args, 3));
        else
            ParticleType_Color2(type, Colour(args, 2), Colour(args, 3));
        ParticleType_Alpha2(type, args.Float(4), args.Float(5));
    });
}
BUILTIN_INSTANCE_BODY(action_parttype_life) {
    WithType(args, [&](int type) { ParticleType_Life(type, args.Rounded(1), args.Rounded(2)); });
}
BUILTIN_INSTANCE_BODY(action_parttype_speed) {
    WithType(args, [&](int type) {
        ParticleType_Speed(type, args.Float(1), args.Float(2), F(-args.Real(5)), 0);
        ParticleType_Direction(type, args.Float(3), args.Float(4), 0, 0);
    });
}
BUILTIN_INSTANCE_BODY(action_parttype_gravity) {
    WithType(args, [&](int type) { ParticleType_Gravity(type, args.Float(1), args.Float(2)); });
}
BUILTIN_INSTANCE_BODY(action_parttype_secondary) {
    WithType(args, [&](int type) {
        ParticleType_Step(type, args.Rounded(2), TypeSlot(args.Rounded(1)));
        ParticleType_Death(type, args.Rounded(4), TypeSlot(args.Rounded(3)));
    });
}

BUILTIN_INSTANCE_BODY(action_partemit_create) {
    const int slot = args.Rounded(0);
    if (slot < 0 || slot >= kParticleSlots) return;
    const int system = System();
    int& emitter = g_particles.emitters[slot];
    if (emitter < 0) emitter = ParticleEmitter_Create(system);
    ParticleEmitter_Region(system, emitter, args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                           args.Rounded(1), 0);
}
BUILTIN_INSTANCE_BODY(action_partemit_destroy) {
    const int slot = args.Rounded(0);
    if (slot < 0 || slot >= kParticleSlots || g_particles.emitters[slot] < 0) return;
    ParticleEmitter_Destroy(System(), g_particles.emitters[slot]);
    g_particles.emitters[slot] = -1;
}

void EmitterWork(const BuiltInArgs& args, void (*emit)(int, int, int, int)) {
    const int slot = args.Rounded(0);
    if (slot < 0 || slot >= kParticleSlots) return;
    const int system = System();
    if (g_particles.emitters[slot] < 0) {
        Code_Error_Report("The particle emitter must first be created.", false);
        return;
    }
    const int type = args.Rounded(1);
    if (type < 0 || type >= kParticleSlots) return;
    emit(system, g_particles.emitters[slot], TypeSlot(type), args.Rounded(2));
}
BUILTIN_INSTANCE_BODY(action_partemit_burst) { EmitterWork(args, ParticleEmitter_Burst); }
BUILTIN_INSTANCE_BODY(action_partemit_stream) { EmitterWork(args, ParticleEmitter_Stream); }

// --- sound, video, information and other ---

BUILTIN_INSTANCE_BODY(action_sound) { Action_PlaySound(args.Rounded(0), args.Flag(1)); }

BUILTIN_INSTANCE_BODY(action_end_sound) {
    const int sound = args.Rounded(0);
    if (Audio_State().Audio_UseNewEngine) {
        const int type = Audio_GetSoundType(sound);
        if (type == 0) Audio_StopSound(sound);
        if (type == 1) Audio_StopMusic();
        return;
    }
    CSound* s = Sound_Get(sound);
    if (!s) {
        Code_Error_Report("Trying to stop non-existing sound.", false);
        return;
    }
    SND_Stop(s->GetHardwareSound());
}

BUILTIN_INSTANCE_BODY(action_message) {
    const ScriptValue* v = args.At(0);
    if (v->IsString()) {
        if (v->str) {
            std::string text = v->str;
            String_HashToNewline(text.data());
            text.resize(std::strlen(text.c_str()));
            ShowMessage(text.c_str());
        }
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "%e", Value_Real(v));
        ShowMessage(text);
    }
    IO_Clear();
    SetReal(result, 1);
}

BUILTIN_INSTANCE_BODY(action_show_info) { IO_Clear(); }

struct VideoWish {
    bool fullscreen = false;
    bool windowed = true;
};
VideoWish g_video;
// The video playback shows nothing on this platform and always succeeds.
bool Video_Play(const char*, bool) { return true; }

BUILTIN_INSTANCE_BODY(action_show_video) {
    g_video.fullscreen = args.Flag(1);
    g_video.windowed = !g_video.fullscreen;
    if (!Video_Play(args.Text(0), args.Flag(2))) Code_Error_Report("Video file not found (or name too long).", false);
    IO_Clear();
}

BUILTIN_INSTANCE_BODY(action_webpage) {
    char directory[4096];
    const char* cwd = ::getcwd(directory, sizeof directory);
    if (!Support_ShellExecute(Support_GameFileOr(args.Text(0)).c_str(), nullptr, cwd))
        Code_Error_Report("Failed to open the webpage.", false);
}

// The resource must exist and the file too, where the replacement will read it; each failure is reported.
bool CanReplace(bool exists, const char* file) {
    if (!exists) {
        Code_Error_Report("Trying to replace non-existing resource.", false);
        return false;
    }
    if (!file || LoadSave_ReadPath(file).empty()) {
        Code_Error_Report("File does not exist.", false);
        return false;
    }
    return true;
}

BUILTIN_INSTANCE_BODY(action_replace_sprite) {
    const int index = args.Rounded(0);
    CSprite* sprite = Sprite_Data(index);
    if (!CanReplace(sprite != nullptr, args.Text(1))) return;
    Sprite_Replace(index, args.Text(1), args.Rounded(2), sprite->precise, sprite->transparent, sprite->smooth,
                   sprite->preload, sprite->xOrigin, sprite->yOrigin);
}
BUILTIN_INSTANCE_BODY(action_replace_sound) {
    const int index = args.Rounded(0);
    const CSound* sound = Sound_Get(index);
    if (!CanReplace(sound != nullptr, args.Text(1))) return;
    Sound_Replace(index, args.Text(1), sound->Kind(), sound->Preload());
}
BUILTIN_INSTANCE_BODY(action_replace_background) {
    const int index = args.Rounded(0);
    CBackground* background = Background_Data(index);
    if (!CanReplace(background != nullptr, args.Text(1))) return;
    Background_Replace(index, args.Text(1), background->GetTransparent(), background->GetSmooth(),
                       background->GetPreload());
}

BUILTIN_INSTANCE_BODY(action_cd_play) { CD_Play(args.Rounded(0), args.Rounded(1)); }
BUILTIN_INSTANCE_BODY(action_cd_stop) { CD_Stop(); }
BUILTIN_INSTANCE_BODY(action_cd_pause) { CD_Pause(); }
BUILTIN_INSTANCE_BODY(action_cd_resume) { CD_Resume(); }
BUILTIN_INSTANCE_BODY(action_cd_present) { SetFlag(result, CD_Present()); }
BUILTIN_INSTANCE_BODY(action_cd_playing) { SetFlag(result, CD_Playing()); }
BUILTIN_INSTANCE_BODY(action_set_relative) {
    Event_State().argument_relative = args.Real(0) >= 0.5;
}
BUILTIN_INSTANCE_BODY(action_nothing) {}

#define ACTION(name, count) BUILTIN_INSTANCE_ENTRY(name, count)
#define ACTION_AS(name, body, count) {#name, BuiltIn_CallWithInstances<F_##body>, count}

const BuiltInRegistration kMotionActions[] = {
    ACTION(action_move, 2),           ACTION(action_set_motion, 2),   ACTION(action_set_hspeed, 1),
    ACTION(action_set_vspeed, 1),     ACTION(action_set_gravity, 2),  ACTION(action_set_friction, 1),
    ACTION(action_move_point, 3),     ACTION(action_move_to, 2),      ACTION(action_move_start, 0),
    ACTION(action_move_random, 2),    ACTION(action_snap, 2),         ACTION(action_wrap, 1),
    ACTION(action_reverse_xdir, 0),   ACTION(action_reverse_ydir, 0), ACTION(action_move_contact, 3),
    ACTION(action_bounce, 2),
};

const BuiltInRegistration kActions[] = {
    ACTION(action_linear_step, 4),
    ACTION(action_potential_step, 4),
    ACTION(action_create_object, 3),
    ACTION(action_create_object_motion, 5),
    ACTION(action_create_object_random, 6),
    ACTION(action_change_object, 2),
    ACTION(action_kill_object, 0),
    ACTION(action_kill_position, 2),
    ACTION(action_set_sprite, 2),
    ACTION(action_sprite_set, 3),
    ACTION(action_sprite_transform, 4),
    ACTION(action_sprite_color, 2),
    ACTION_AS(action_sprite_colour, action_sprite_color, 2),
    ACTION(action_inherited, 0),
    ACTION(action_execute_script, 6),
    ACTION(action_set_alarm, 2),
    ACTION(action_set_timeline, 2),
    ACTION(action_timeline_set, 4),
    ACTION(action_set_timeline_position, 1),
    ACTION(action_set_timeline_speed, 1),
    ACTION(action_timeline_start, 0),
    ACTION(action_timeline_pause, 0),
    ACTION(action_timeline_stop, 0),
    ACTION(action_previous_room, 1),
    ACTION(action_next_room, 1),
    ACTION(action_current_room, 1),
    ACTION(action_another_room, 2),
    ACTION(action_if_previous_room, 0),
    ACTION(action_if_next_room, 0),
    ACTION(action_end_game, 0),
    ACTION(action_restart_game, 0),
    ACTION(action_save_game, 1),
    ACTION(action_load_game, 1),
    ACTION(action_sleep, 2),
    ACTION(action_if, 1),
    ACTION(action_if_empty, 3),
    ACTION(action_if_collision, 3),
    ACTION(action_if_object, 3),
    ACTION(action_if_number, 3),
    ACTION(action_if_variable, 3),
    ACTION(action_if_dice, 1),
    ACTION(action_if_question, 1),
    ACTION(action_if_mouse, 1),
    ACTION(action_if_aligned, 2),
    ACTION(action_if_sound, 1),
    ACTION(action_if_score, 2),
    ACTION(action_if_life, 2),
    ACTION(action_if_health, 2),
    ACTION(action_set_score, 1),
    ACTION(action_set_life, 1),
    ACTION(action_set_health, 1),
    ACTION(action_draw_score, 3),
    ACTION(action_draw_life, 3),
    ACTION(action_draw_life_images, 3),
    ACTION(action_draw_health, 6),
    ACTION(action_set_caption, 6),
    ACTION(action_highscore_show, 11),
    ACTION(action_highscore_clear, 0),
    ACTION(action_draw_variable, 3),
    ACTION(action_draw_text, 3),
    ACTION(action_draw_text_transformed, 6),
    ACTION(action_draw_sprite, 4),
    ACTION(action_draw_background, 4),
    ACTION(action_draw_rectangle, 5),
    ACTION(action_draw_ellipse, 5),
    ACTION(action_draw_gradient_hor, 6),
    ACTION(action_draw_gradient_vert, 6),
    ACTION(action_draw_ellipse_gradient, 6),
    ACTION(action_draw_line, 4),
    ACTION(action_draw_arrow, 5),
    ACTION(action_color, 1),
    ACTION_AS(action_colour, action_color, 1),
    ACTION(action_font, 2),
    ACTION(action_effect, 6),
    ACTION(action_snapshot, 1),
    ACTION(action_fullscreen, 1),
    ACTION(action_set_cursor, 2),
    ACTION(action_partsyst_create, 1),
    ACTION(action_partsyst_destroy, 0),
    ACTION(action_partsyst_clear, 0),
    ACTION(action_parttype_create_old, 6),
    ACTION(action_parttype_create, 6),
    ACTION(action_parttype_color, 6),
    ACTION_AS(action_parttype_colour, action_parttype_color, 6),
    ACTION(action_parttype_life, 3),
    ACTION(action_parttype_speed, 6),
    ACTION(action_parttype_gravity, 3),
    ACTION(action_parttype_secondary, 5),
    ACTION(action_partemit_create, 6),
    ACTION(action_partemit_destroy, 1),
    ACTION(action_partemit_burst, 3),
    ACTION(action_partemit_stream, 3),
    ACTION(action_sound, 2),
    ACTION(action_end_sound, 1),
    ACTION(action_message, 1),
    ACTION(action_show_info, 0),
    ACTION(action_show_video, 3),
    ACTION(action_webpage, 1),
    ACTION(action_replace_sprite, 3),
    ACTION(action_replace_sound, 2),
    ACTION(action_replace_background, 2),
    ACTION(action_cd_play, 2),
    ACTION(action_cd_stop, 0),
    ACTION(action_cd_pause, 0),
    ACTION(action_cd_resume, 0),
    ACTION(action_cd_present, 0),
    ACTION(action_cd_playing, 0),
    ACTION(action_set_relative, 1),
    ACTION_AS(action_path_old, action_nothing, 3),
    ACTION_AS(action_draw_font, action_nothing, 1),
    ACTION_AS(action_draw_font_old, action_nothing, 6),
    ACTION_AS(action_fill_color, action_nothing, 1),
    ACTION_AS(action_fill_colour, action_nothing, 1),
    ACTION_AS(action_line_color, action_nothing, 1),
    ACTION_AS(action_line_colour, action_nothing, 1),
    ACTION_AS(action_highscore, action_nothing, 0),
};

#undef ACTION
#undef ACTION_AS

} // namespace

void Action_PlaySound(int sound, bool loop) {
    if (!Audio_State().Audio_UseNewEngine) {
        CSound* s = Sound_Get(sound);
        if (!s) {
            Code_Error_Report("Trying to play non-existing sound.", false);
            return;
        }
        SND_Play(s->GetHardwareSound(), loop);
        return;
    }
    switch (Audio_GetSoundType(sound)) {
    case 0: Audio_PlaySound(sound, 1, loop); break;
    case 1: Audio_PlayMusic(sound, loop); break;
    default: break;
    }
}

void Action_DestroyInstance(CInstance* instance) { Compiled_InstanceDestroy(instance); }

void InitMotionActionFunctions() { BuiltIn_Register(kMotionActions); }

void InitActionFunctions() { BuiltIn_Register(kActions); }

void Action_Reset() {
    g_particles = ActionParticles{};
    g_video = VideoWish{};
}
