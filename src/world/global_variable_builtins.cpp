// The built-in variables that belong to no instance: one row per variable, in table order, after the
// instance variables. Getters ignore the self instance. Background and view slots are those of the
// current room; without a room they fail, and the machine reports the failed read or write.
#include "core/console.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/utf8.h"
#include "data/general_info.h"
#include "ext/platform_builtins.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "graphics/sprite/background.h"
#include "io/input.h"
#include "io/window.h"
#include "platform/clock.h"
#include "script/compiler/compile.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"
#include "world/builtin_variable_rows.h"
#include "world/builtin_variables.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/room.h"
#include "world/room_change.h"
#include "world/room_entry.h"
#include "world/room_table.h"

#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <type_traits>

namespace {

using Getter = BuiltInVariableGetter;

char* g_workingDirectory = nullptr;

// ---- Arguments

constexpr int kArgumentCount = 16;

bool GetArgumentRelative(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Event_State().argument_relative ? 1.0 : 0.0);
}

bool SetArgument(CInstance*, int i, ScriptValue* in) {
    if (i < 0 || i >= kArgumentCount) i = 0;
    Code_ArgumentWritten(i);
    ScriptValue& argument = Code_Arguments[i];
    Value_Free(&argument);
    Value_Copy(&argument, in);
    return true;
}
template <int N> bool SetArgumentN(CInstance*, int arrayIndex, ScriptValue* in) {
    Code_ArgumentWritten(N);
    Value_AssignIndexed(&Code_Arguments[N], in, arrayIndex);
    return true;
}

// ---- Game

bool GetDebugMode(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, (GeneralInfo_State().g_GeneralInfo.debuggerServer & 1) == 0 ? 1.0 : 0.0);
}
bool GetRoom(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, RoomEntry_State().Run_RoomIndex);
}
bool SetRoom(CInstance*, int, ScriptValue* in) {
    Room_Goto(VarIn_Int(in));
    return true;
}
bool GetRoomFirst(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Room_First());
}
bool GetRoomLast(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Room_Last());
}
bool GetTransitionKind(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Transition_Kind);
}
// Transitions are not drawn: whatever is asked, the kind goes back to 0.
bool SetTransitionKind(CInstance*, int, ScriptValue* in) {
    GameValues_State().Transition_Kind = VarIn_Int(in);
    DebugConsole->Output(
        "BUG: Room transitions don't function well - setting to 0 - look at Variable_BuiltIn SV_TransitionKind() .\n");
    GameValues_State().Transition_Kind = 0;
    return true;
}
bool GetTransitionSteps(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Transition_GetSteps());
}
bool SetTransitionSteps(CInstance*, int, ScriptValue* in) {
    Transition_SetSteps(VarIn_Int(in));
    return true;
}

bool GetScore(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Game_Score);
}
bool SetScore(CInstance*, int, ScriptValue* in) {
    GameValues_State().Game_Score = VarIn_Int(in);
    return true;
}
bool GetLives(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Game_Lives);
}
// Lives running out (from 1 or more to 0 or less) raises "no more lives" for every instance.
bool SetLives(CInstance*, int, ScriptValue* in) {
    const int32_t before = GameValues_State().Game_Lives;
    GameValues_State().Game_Lives = VarIn_Int(in);
    if (before >= 1 && GameValues_State().Game_Lives <= 0) PerformEventAll(ev_other, 6);
    return true;
}
bool GetHealth(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Game_Health);
}
// Health running out (from above 0 to 0 or less) raises "no more health" for every instance.
bool SetHealth(CInstance*, int, ScriptValue* in) {
    const double before = GameValues_State().Game_Health;
    GameValues_State().Game_Health = Value_Real(in);
    if (before > 0.0 && GameValues_State().Game_Health <= 0.0) PerformEventAll(ev_other, 9);
    return true;
}
bool GetGameId(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GeneralInfo_State().g_GeneralInfo.gameId);
}
bool GetGameGuid(CInstance*, int, ScriptValue* out) {
    return VarOut_Text(out, nullptr);
}

// ---- Directories

bool GetWorkingDirectory(CInstance*, int, ScriptValue* out) {
    return VarOut_Text(out, g_workingDirectory);
}
bool GetTempDirectory(CInstance*, int, ScriptValue* out) {
    char* path = Support_GetTempDirectory();
    VarOut_Text(out, path);
    MEM_FREE(path);
    return true;
}
// The executable's folder, without its final separator.
bool GetProgramDirectory(CInstance*, int, ScriptValue* out) {
    std::string path = GetExecutablePath();
    const size_t separator = path.find_last_of("/\\");
    path.resize(separator == std::string::npos ? 0 : separator);
    return VarOut_Text(out, path.c_str());
}

// ---- The current room

bool GetInstanceCount(CInstance*, int, ScriptValue* out) {
    return Room_State().Run_Room && VarOut_Real(out, Room_State().Run_Room->active.count);
}
// The i-th instance of the room's list, marked ones included; noone (-4) outside the list.
bool GetInstanceId(CInstance*, int i, ScriptValue* out) {
    if (!Room_State().Run_Room) return false;
    CInstance* instance = Room_State().Run_Room->active.first;
    for (int k = 0; instance && k < i; ++k)
        instance = instance->next;
    return VarOut_Real(out, i >= 0 && instance ? instance->id : -4);
}

template <int32_t CRoom::*Field> bool GetRoomInt(CInstance*, int, ScriptValue* out) {
    return Room_State().Run_Room && VarOut_Real(out, Room_State().Run_Room->*Field);
}
template <bool CRoom::*Flag> bool GetRoomFlag(CInstance*, int, ScriptValue* out) {
    return Room_State().Run_Room && VarOut_Real(out, Room_State().Run_Room->*Flag ? 1.0 : 0.0);
}
template <bool CRoom::*Flag> bool SetRoomFlag(CInstance*, int, ScriptValue* in) {
    if (!Room_State().Run_Room) return false;
    Room_State().Run_Room->*Flag = VarIn_FlagAboveHalf(VarIn_Int(in));
    return true;
}
bool GetRoomCaption(CInstance*, int, ScriptValue* out) {
    return Room_State().Run_Room && VarOut_Text(out, Room_State().Run_Room->caption);
}
bool SetRoomCaption(CInstance*, int, ScriptValue* in) {
    if (!Room_State().Run_Room) return false;
    Room_State().Run_Room->SetCaption(Value_Text(in));
    return true;
}
// A speed of 0 or less is refused with a report that is not fatal; the write itself still succeeds,
// so the machine adds no error of its own.
bool SetRoomSpeed(CInstance*, int, ScriptValue* in) {
    if (!Room_State().Run_Room) return false;
    const int32_t speed = VarIn_Int(in);
    if (speed <= 0) {
        Code_Error_Report("Trying to set the room speed to a value <= 0.", false);
        return true;
    }
    Room_State().Run_Room->speed = speed;
    return true;
}
bool GetRoomColour(CInstance*, int, ScriptValue* out) {
    return Room_State().Run_Room && VarOut_Real(out, Room_State().Run_Room->colour);
}
bool SetRoomColour(CInstance*, int, ScriptValue* in) {
    if (!Room_State().Run_Room) return false;
    Room_State().Run_Room->colour = static_cast<uint32_t>(VarIn_Int(in));
    return true;
}

// ---- Background and view slots: any index outside 0 to 7 means slot 0

int Slot(int arrayIndex) {
    return arrayIndex >= 0 && arrayIndex < kRoomBackgroundCount ? arrayIndex : 0;
}
static_assert(kRoomBackgroundCount == kRoomViewCount, "backgrounds and views share the slot rule");

// Reads and writes a field of a slot of the current room: the slot's backgrounds (Slots = kBackgrounds)
// or views (Slots = kViews), one conversion per field type.
template <auto Slots, auto Field> struct SlotField {
    static auto& Of(int arrayIndex) { return (Room_State().Run_Room->*Slots)[Slot(arrayIndex)].*Field; }
    static bool Get(CInstance*, int arrayIndex, ScriptValue* out) {
        return Room_State().Run_Room && VarOut_Real(out, static_cast<double>(Of(arrayIndex)));
    }
    static bool Set(CInstance*, int arrayIndex, ScriptValue* in) {
        if (!Room_State().Run_Room) return false;
        auto& field = Of(arrayIndex);
        using T = std::remove_reference_t<decltype(field)>;
        if constexpr (std::is_same_v<T, bool>) {
            field = VarIn_FlagAboveHalf(VarIn_Int(in));
        } else if constexpr (std::is_same_v<T, float>) {
            field = VarIn_Float(in);
        } else {
            field = static_cast<T>(VarIn_Int(in));
        }
        return true;
    }
};
constexpr auto kBackgrounds = &CRoom::backgrounds;
constexpr auto kViews = &CRoom::views;
template <auto Field> using Background = SlotField<kBackgrounds, Field>;
template <auto Field> using View = SlotField<kViews, Field>;

// The size of the slot's background resource; 0 when it does not exist.
template <bool Width> bool GetBackgroundSize(CInstance*, int arrayIndex, ScriptValue* out) {
    if (!Room_State().Run_Room) return false;
    const int index = Room_State().Run_Room->backgrounds[Slot(arrayIndex)].index;
    const CBackground* background = Background_Exists(index) ? Background_Data(index) : nullptr;
    if (!background) return VarOut_Real(out, 0.0);
    return VarOut_Real(out, Width ? background->GetWidth() : background->GetHeight());
}

bool GetViewCurrent(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Frame_State().View_Current);
}

// ---- Mouse and keyboard

bool GetMouseX(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Window_GetMouseRoomX(0));
}
bool GetMouseY(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Window_GetMouseRoomY(0));
}
template <int (*Read)(int)> bool GetOfMouse(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Read(0));
}
template <void (*Write)(int, int)> bool SetOfMouse(CInstance*, int, ScriptValue* in) {
    Write(VarIn_Int(in), 0);
    return true;
}
template <int (*Read)()> bool GetOfKeyboard(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Read());
}
template <void (*Write)(int)> bool SetOfKeyboard(CInstance*, int, ScriptValue* in) {
    Write(VarIn_Int(in));
    return true;
}
bool GetLastChar(CInstance*, int, ScriptValue* out) {
    char text[5] = {};
    char* end = text;
    UTF8_PutChar(end, static_cast<uint32_t>(IO_GetLastChar()));
    *end = 0;
    return VarOut_Text(out, text);
}
// The first character of the text (all of its UTF-8 bytes); an empty or missing text changes nothing.
bool SetLastChar(CInstance*, int, ScriptValue* in) {
    const char* text = Value_Text(in);
    if (text && *text) IO_SetLastChar(static_cast<int>(UTF8_GetChar(text)));
    return true;
}
bool GetKeyboardString(CInstance*, int, ScriptValue* out) {
    return VarOut_Text(out, IO_GetKeyboardString());
}
bool SetKeyboardString(CInstance*, int, ScriptValue* in) {
    IO_SetKeyboardString(Value_Text(in));
    return true;
}

// ---- Cursor and captions

bool GetCursorSprite(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Cursor_Sprite);
}
bool SetCursorSprite(CInstance*, int, ScriptValue* in) {
    GameValues_State().Cursor_Sprite = VarIn_Int(in);
    return true;
}
template <bool CaptionSettings::*Flag> bool GetCaptionFlag(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Game_Caption.*Flag ? 1.0 : 0.0);
}
template <bool CaptionSettings::*Flag> bool SetCaptionFlag(CInstance*, int, ScriptValue* in) {
    GameValues_State().Game_Caption.*Flag = VarIn_FlagAboveHalf(VarIn_Int(in));
    return true;
}
// Only the score's flag marks the caption settings as set.
bool SetShowScore(CInstance* self, int arrayIndex, ScriptValue* in) {
    GameValues_State().Game_Caption.set = true;
    return SetCaptionFlag<&CaptionSettings::showScore>(self, arrayIndex, in);
}
template <char* CaptionSettings::*Text> bool GetCaptionText(CInstance*, int, ScriptValue* out) {
    return VarOut_Text(out, GameValues_State().Game_Caption.*Text);
}
template <char* CaptionSettings::*Text> bool SetCaptionText(CInstance*, int, ScriptValue* in) {
    GameValues_SetText(&(GameValues_State().Game_Caption.*Text), Value_Text(in));
    return true;
}

// ---- Time

bool GetFPS(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().Run_FPS);
}
bool GetFPSReal(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Profiler_GetFPSReal());
}
bool GetCurrentTime(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, static_cast<double>(Timing_GetTime() / 1000));
}
// A field of the local date and time now.
template <int std::tm::*Field, int Offset> bool GetDateField(CInstance*, int, ScriptValue* out) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return VarOut_Real(out, local.*Field + Offset);
}

// ---- The running event and the last error

template <int32_t EventState::*Value> bool GetEventValue(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Event_State().*Value);
}
bool GetSecureMode(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, 0.0);
}
bool GetErrorOccurred(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, CodeError_State().Code_ErrorOccurred ? 1.0 : 0.0);
}
// The real itself decides, not its rounding: 0.5 is true.
bool SetErrorOccurred(CInstance*, int, ScriptValue* in) {
    CodeError_State().Code_ErrorOccurred = Value_Real(in) >= 0.5;
    return true;
}
bool GetErrorLast(CInstance*, int, ScriptValue* out) {
    return VarOut_Text(out, CodeError_State().Code_LastErrorText);
}
bool SetErrorLast(CInstance*, int, ScriptValue* in) {
    GameValues_SetText(&CodeError_State().Code_LastErrorText, Value_Text(in));
    return true;
}

const BuiltInVariableRow kGlobals[] = {
    {"argument_relative", GetArgumentRelative, nullptr},
    {"argument", VM_GetArgumentAt, SetArgument},
    {"argument0", VM_GetArgument<0>, SetArgumentN<0>},
    {"argument1", VM_GetArgument<1>, SetArgumentN<1>},
    {"argument2", VM_GetArgument<2>, SetArgumentN<2>},
    {"argument3", VM_GetArgument<3>, SetArgumentN<3>},
    {"argument4", VM_GetArgument<4>, SetArgumentN<4>},
    {"argument5", VM_GetArgument<5>, SetArgumentN<5>},
    {"argument6", VM_GetArgument<6>, SetArgumentN<6>},
    {"argument7", VM_GetArgument<7>, SetArgumentN<7>},
    {"argument8", VM_GetArgument<8>, SetArgumentN<8>},
    {"argument9", VM_GetArgument<9>, SetArgumentN<9>},
    {"argument10", VM_GetArgument<10>, SetArgumentN<10>},
    {"argument11", VM_GetArgument<11>, SetArgumentN<11>},
    {"argument12", VM_GetArgument<12>, SetArgumentN<12>},
    {"argument13", VM_GetArgument<13>, SetArgumentN<13>},
    {"argument14", VM_GetArgument<14>, SetArgumentN<14>},
    {"argument15", VM_GetArgument<15>, SetArgumentN<15>},
    {"argument_count", VM_GetArgumentCount, nullptr},
    {"debug_mode", GetDebugMode, nullptr},
    {"room", GetRoom, SetRoom},
    {"room_first", GetRoomFirst, nullptr},
    {"room_last", GetRoomLast, nullptr},
    {"transition_kind", GetTransitionKind, SetTransitionKind},
    {"transition_steps", GetTransitionSteps, SetTransitionSteps},
    {"score", GetScore, SetScore},
    {"lives", GetLives, SetLives},
    {"health", GetHealth, SetHealth},
    {"game_id", GetGameId, nullptr},
    {"game_guid", GetGameGuid, nullptr},
    {"working_directory", GetWorkingDirectory, nullptr},
    {"temp_directory", GetTempDirectory, nullptr},
    {"program_directory", GetProgramDirectory, nullptr},
    {"instance_count", GetInstanceCount, nullptr},
    {"instance_id", GetInstanceId, nullptr},
    {"room_width", GetRoomInt<&CRoom::width>, nullptr},
    {"room_height", GetRoomInt<&CRoom::height>, nullptr},
    {"room_caption", GetRoomCaption, SetRoomCaption},
    {"room_speed", GetRoomInt<&CRoom::speed>, SetRoomSpeed},
    {"room_persistent", GetRoomFlag<&CRoom::persistent>, SetRoomFlag<&CRoom::persistent>},
    {"background_color", GetRoomColour, SetRoomColour},
    {"background_showcolor", GetRoomFlag<&CRoom::showColour>, SetRoomFlag<&CRoom::showColour>},
    {"background_visible", Background<&RoomBackground::visible>::Get,
     Background<&RoomBackground::visible>::Set},
    {"background_foreground", Background<&RoomBackground::foreground>::Get,
     Background<&RoomBackground::foreground>::Set},
    {"background_index", Background<&RoomBackground::index>::Get, Background<&RoomBackground::index>::Set},
    {"background_x", Background<&RoomBackground::x>::Get, Background<&RoomBackground::x>::Set},
    {"background_y", Background<&RoomBackground::y>::Get, Background<&RoomBackground::y>::Set},
    {"background_width", GetBackgroundSize<true>, nullptr},
    {"background_height", GetBackgroundSize<false>, nullptr},
    {"background_htiled", Background<&RoomBackground::htiled>::Get, Background<&RoomBackground::htiled>::Set},
    {"background_vtiled", Background<&RoomBackground::vtiled>::Get, Background<&RoomBackground::vtiled>::Set},
    {"background_xscale", Background<&RoomBackground::xscale>::Get, Background<&RoomBackground::xscale>::Set},
    {"background_yscale", Background<&RoomBackground::yscale>::Get, Background<&RoomBackground::yscale>::Set},
    {"background_hspeed", Background<&RoomBackground::hspeed>::Get, Background<&RoomBackground::hspeed>::Set},
    {"background_vspeed", Background<&RoomBackground::vspeed>::Get, Background<&RoomBackground::vspeed>::Set},
    {"background_alpha", Background<&RoomBackground::alpha>::Get, Background<&RoomBackground::alpha>::Set},
    {"background_blend", Background<&RoomBackground::blend>::Get, Background<&RoomBackground::blend>::Set},
    {"view_enabled", GetRoomFlag<&CRoom::viewsEnabled>, SetRoomFlag<&CRoom::viewsEnabled>},
    {"view_current", GetViewCurrent, nullptr},
    {"view_visible", View<&CView::visible>::Get, View<&CView::visible>::Set},
    {"view_xview", View<&CView::viewX>::Get, View<&CView::viewX>::Set},
    {"view_yview", View<&CView::viewY>::Get, View<&CView::viewY>::Set},
    {"view_wview", View<&CView::viewW>::Get, View<&CView::viewW>::Set},
    {"view_hview", View<&CView::viewH>::Get, View<&CView::viewH>::Set},
    {"view_xport", View<&CView::portX>::Get, View<&CView::portX>::Set},
    {"view_yport", View<&CView::portY>::Get, View<&CView::portY>::Set},
    {"view_wport", View<&CView::portW>::Get, View<&CView::portW>::Set},
    {"view_hport", View<&CView::portH>::Get, View<&CView::portH>::Set},
    {"view_angle", View<&CView::angle>::Get, View<&CView::angle>::Set},
    {"view_hborder", View<&CView::hborder>::Get, View<&CView::hborder>::Set},
    {"view_vborder", View<&CView::vborder>::Get, View<&CView::vborder>::Set},
    {"view_hspeed", View<&CView::hspeed>::Get, View<&CView::hspeed>::Set},
    {"view_vspeed", View<&CView::vspeed>::Get, View<&CView::vspeed>::Set},
    {"view_object", View<&CView::object>::Get, View<&CView::object>::Set},
    {"view_surface_id", View<&CView::surfaceId>::Get, View<&CView::surfaceId>::Set},
    {"mouse_x", GetMouseX, nullptr},
    {"mouse_y", GetMouseY, nullptr},
    {"mouse_button", GetOfMouse<IO_GetMouseButton>, SetOfMouse<IO_SetMouseButton>},
    {"mouse_lastbutton", GetOfMouse<IO_GetLastMouseButton>, SetOfMouse<IO_SetLastMouseButton>},
    {"keyboard_key", GetOfKeyboard<IO_GetKey>, SetOfKeyboard<IO_SetKey>},
    {"keyboard_lastkey", GetOfKeyboard<IO_GetLastKey>, SetOfKeyboard<IO_SetLastKey>},
    {"keyboard_lastchar", GetLastChar, SetLastChar},
    {"keyboard_string", GetKeyboardString, SetKeyboardString},
    {"cursor_sprite", GetCursorSprite, SetCursorSprite},
    {"show_score", GetCaptionFlag<&CaptionSettings::showScore>, SetShowScore},
    {"show_lives", GetCaptionFlag<&CaptionSettings::showLives>, SetCaptionFlag<&CaptionSettings::showLives>},
    {"show_health", GetCaptionFlag<&CaptionSettings::showHealth>,
     SetCaptionFlag<&CaptionSettings::showHealth>},
    {"caption_score", GetCaptionText<&CaptionSettings::scoreCaption>,
     SetCaptionText<&CaptionSettings::scoreCaption>},
    {"caption_lives", GetCaptionText<&CaptionSettings::livesCaption>,
     SetCaptionText<&CaptionSettings::livesCaption>},
    {"caption_health", GetCaptionText<&CaptionSettings::healthCaption>,
     SetCaptionText<&CaptionSettings::healthCaption>},
    {"fps", GetFPS, nullptr},
    {"fps_real", GetFPSReal, nullptr},
    {"current_time", GetCurrentTime, nullptr},
    {"current_year", GetDateField<&std::tm::tm_year, 1900>, nullptr},
    {"current_month", GetDateField<&std::tm::tm_mon, 1>, nullptr},
    {"current_day", GetDateField<&std::tm::tm_mday, 0>, nullptr},
    {"current_weekday", GetDateField<&std::tm::tm_wday, 0>, nullptr},
    {"current_hour", GetDateField<&std::tm::tm_hour, 0>, nullptr},
    {"current_minute", GetDateField<&std::tm::tm_min, 0>, nullptr},
    {"current_second", GetDateField<&std::tm::tm_sec, 0>, nullptr},
    {"event_type", GetEventValue<&EventState::event_type>, nullptr},
    {"event_number", GetEventValue<&EventState::event_number>, nullptr},
    {"event_object", GetEventValue<&EventState::event_object>, nullptr},
    {"event_action", GetEventValue<&EventState::event_action>, nullptr},
    {"secure_mode", GetSecureMode, nullptr},
    {"error_occurred", GetErrorOccurred, SetErrorOccurred},
    {"error_last", GetErrorLast, SetErrorLast},
};
static_assert(std::size(kGlobals) == kBuiltInGlobalVariables, "one row per global variable");

} // namespace

void Variable_BuiltIn_Init() {
    Variable_BuiltIn_Clear();
    Variable_BuiltIn_InitInstance();
    BuiltInVariable_Register(kGlobals);
    InitOSVariables();
}

void Variable_InitWorkingDirectory(const char* programPath) {
    if (g_workingDirectory || !programPath) return;
    std::string path = programPath;
    size_t separator = path.rfind('/');
    if (separator == std::string::npos) separator = path.rfind('\\');
    path.resize(separator == std::string::npos ? 0 : separator + 1);
    g_workingDirectory = String_Duplicate(path.c_str());
    const std::string rule(73, '#');
    DebugConsole->Output("%s\n", rule.c_str());
    DebugConsole->Output("####!!!!$$$$$$ pwd - %s\n", g_workingDirectory);
    DebugConsole->Output("%s\n", rule.c_str());
}

const char* Variable_WorkingDirectory() {
    return g_workingDirectory;
}

void Variable_FreeWorkingDirectory() {
    MEM_FREE(g_workingDirectory);
    g_workingDirectory = nullptr;
}
