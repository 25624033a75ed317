#include "ext/platform_builtins.h"

#include "core/memory.h"
#include "core/text.h"
#include "data/general_info.h"
#include "ext/platform_services.h"
#include "io/input.h"
#include "io/window_state.h"
#include "library/builtin.h"
#include "library/os_events.h"
#include "platform/clock.h"
#include "script/compiler/constants.h"
#include "script/value.h"
#include "script/variables.h"
#include "script/vm/vm_error.h"

#include <cstring>
#include <strings.h>

namespace {

// The device tilt kept by the runner; nothing on this platform moves it.
float g_tilt[3] = {0, 0, 0};

// True when a built-in that takes no arguments was given none; else the error is reported.
bool NoArguments(const BuiltInArgs& args) {
    if (args.count == 0) return true;
    Code_Error_Report("Illegal argument count", false);
    return false;
}

template <double (*Answer)()> void F_Strict(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0.0);
    if (NoArguments(args)) Value_SetReal(&result, Answer());
}

template <double (*Answer)()> void F_Answer(ScriptValue& result, const BuiltInArgs&) {
    Value_SetReal(&result, Answer());
}

template <char* (*Text)()> void F_Text(ScriptValue& result, const BuiltInArgs&) {
    BuiltIn_SetText(result, Text());
}

double Zero() {
    return 0;
}
double One() {
    return 1;
}
double Device() {
    return Platform_GetDevice();
}
double CPUDetails() {
    return Platform_GetCPUDetails();
}
double Info() {
    return Platform_GetInfo();
}
double Timer() {
    return static_cast<double>(Timing_GetTime());
}
template <int Axis> double Tilt() {
    return g_tilt[Axis];
}
double Paused() {
    return OS_IsPausedThisFrame() ? 1 : 0;
}
double DPIX() {
    return Platform_GetDPIX();
}
double DPIY() {
    return Platform_GetDPIY();
}
double GUIWidth() {
    return Window_State().GUI_Size.width >= 0 ? Window_State().GUI_Size.width : Platform_GetGUIWidth();
}
double GUIHeight() {
    return Window_State().GUI_Size.height >= 0 ? Window_State().GUI_Size.height : Platform_GetGUIHeight();
}
double NetworkConnected() {
    return Platform_IsNetworkConnected() ? 1 : 0;
}

char* LoopbackHost() {
    return String_Duplicate("localhost");
}

void F_os_get_config(ScriptValue& result, const BuiltInArgs& args) {
    BuiltIn_SetText(result, nullptr);
    if (NoArguments(args)) BuiltIn_SetText(result, String_Duplicate(GeneralInfo_State().Game_ConfigName));
}

// url_open(url), and url_open_ext and url_open_full, which take the same first argument.
template <int Count> void F_OpenURL(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0.0);
    if (args.count != Count) {
        Code_Error_Report("Illegal argument count", false);
        return;
    }
    if (!args.At(0)->IsString()) {
        Code_Error_Report("Illegal argument type", false);
        return;
    }
    const std::string url = Platform_URLToOpen(args.Text(0));
    if (!url.empty()) Platform_OpenURL(url.c_str());
}

// The raw position of mouse device 0 to 4 (another device: 0).
template <bool X> void F_MouseRaw(ScriptValue& result, const BuiltInArgs& args) {
    const int32_t device = args.Truncated(0);
    const bool known = device >= 0 && device < kIOMouseDevices;
    Value_SetReal(&result,
                  known ? (X ? Input_State().IO_RawMouse.x : Input_State().IO_RawMouse.y)[device] : 0);
}

// A negative size goes back to following the window.
void F_display_set_gui_size(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, 0.0);
    const int32_t w = args.Truncated(0), h = args.Truncated(1);
    Window_State().GUI_Size = WindowSize{w < 0 ? -1 : w, h < 0 ? -1 : h};
}

#define PLATFORM_ENTRY(name, body, count)                                                                    \
    { name, BuiltIn_Call<body>, count }

const BuiltInRegistration kPlatformFunctions[] = {
    PLATFORM_ENTRY("url_get_domain", F_Text<LoopbackHost>, 1),
    PLATFORM_ENTRY("url_open", F_OpenURL<1>, 1),
    PLATFORM_ENTRY("Zebo_OpenURL", F_OpenURL<1>, 1),
    PLATFORM_ENTRY("url_open_full", F_OpenURL<3>, 3),
    PLATFORM_ENTRY("Zebo_OpenURL_full", F_OpenURL<3>, 3),
    PLATFORM_ENTRY("url_open_ext", F_OpenURL<2>, 2),
    PLATFORM_ENTRY("Zebo_OpenURL_ext", F_OpenURL<2>, 2),
    PLATFORM_ENTRY("Zebo_GetPlatform", F_Strict<Zero>, 0),
    PLATFORM_ENTRY("Zebo_GetDevice", F_Strict<Device>, 0),
    PLATFORM_ENTRY("Zebo_GetCPUDetails", F_Strict<CPUDetails>, 0),
    PLATFORM_ENTRY("get_timer", F_Strict<Timer>, 0),
    PLATFORM_ENTRY("Zebo_GetTimer", F_Strict<Timer>, 0),
    PLATFORM_ENTRY("device_get_tilt_x", F_Strict<Tilt<0>>, 0),
    PLATFORM_ENTRY("device_get_tilt_y", F_Strict<Tilt<1>>, 0),
    PLATFORM_ENTRY("device_get_tilt_z", F_Strict<Tilt<2>>, 0),
    PLATFORM_ENTRY("Zebo_GetTiltX", F_Strict<Tilt<0>>, 0),
    PLATFORM_ENTRY("Zebo_GetTiltY", F_Strict<Tilt<1>>, 0),
    PLATFORM_ENTRY("Zebo_GetTiltZ", F_Strict<Tilt<2>>, 0),
    PLATFORM_ENTRY("os_get_info", F_Answer<Info>, 0),
    PLATFORM_ENTRY("os_get_config", F_os_get_config, 0),
    PLATFORM_ENTRY("Zebo_GetConfig", F_os_get_config, 0),
    PLATFORM_ENTRY("os_is_paused", F_Strict<Paused>, 0),
    PLATFORM_ENTRY("Zebo_OSPauseEvent", F_Strict<Paused>, 0),
    PLATFORM_ENTRY("window_has_focus", F_Answer<One>, 0),
    PLATFORM_ENTRY("code_is_compiled", F_Strict<One>, 0),
    PLATFORM_ENTRY("device_mouse_raw_x", F_MouseRaw<true>, 1),
    PLATFORM_ENTRY("Zebo_MouseXRaw", F_MouseRaw<true>, 1),
    PLATFORM_ENTRY("device_mouse_raw_y", F_MouseRaw<false>, 1),
    PLATFORM_ENTRY("Zebo_MouseYRaw", F_MouseRaw<false>, 1),
    PLATFORM_ENTRY("os_get_language", F_Text<Platform_GetLanguage>, 0),
    PLATFORM_ENTRY("os_get_region", F_Text<Platform_GetRegion>, 0),
    PLATFORM_ENTRY("display_get_dpi_x", F_Answer<DPIX>, 0),
    PLATFORM_ENTRY("display_get_dpi_y", F_Answer<DPIY>, 0),
    PLATFORM_ENTRY("display_set_gui_size", F_display_set_gui_size, 2),
    PLATFORM_ENTRY("display_get_gui_width", F_Answer<GUIWidth>, 0),
    PLATFORM_ENTRY("display_get_gui_height", F_Answer<GUIHeight>, 0),
    PLATFORM_ENTRY("os_is_network_connected", F_Answer<NetworkConnected>, 0),
};

// ---- OS variables ----

template <double (*Value)()> bool GetOSVariable(CInstance*, int, ScriptValue* out) {
    Value_SetReal(out, Value());
    return true;
}
double OSVersion() {
    return Platform_GetOSVersion();
}
double NotABrowser() {
    return -1;
}
double BrowserWidth() {
    return Platform_GetGUIWidth();
}
double BrowserHeight() {
    return Platform_GetGUIHeight();
}

const BuiltInVariableRow kOSVariables[] = {
    {"os_type", GetOSVariable<Zero>, nullptr},
    {"os_device", GetOSVariable<Device>, nullptr},
    {"os_version", GetOSVariable<OSVersion>, nullptr},
    {"os_browser", GetOSVariable<NotABrowser>, nullptr},
    {"browser_width", GetOSVariable<BrowserWidth>, nullptr},
    {"browser_height", GetOSVariable<BrowserHeight>, nullptr},
};

// ---- Constants ----

struct NamedValue {
    const char* name;
    double value;
};

const NamedValue kMiscConstants[] = {
    {"os_unknown", -1},
    {"os_win32", 0},
    {"os_windows", 0},
    {"os_macosx", 1},
    {"os_psp", 2},
    {"os_ios", 3},
    {"os_android", 4},
    {"os_symbian", 5},
    {"os_linux", 6},
    {"os_winphone", 7},
    {"os_tizen", 8},
    {"os_win8native", 9},
    {"os_llvm_win32", 65536},
    {"os_llvm_macosx", 65537},
    {"os_llvm_psp", 65538},
    {"os_llvm_ios", 65539},
    {"os_llvm_android", 65540},
    {"os_llvm_symbian", 65541},
    {"os_llvm_linux", 65542},
    {"os_llvm_winphone", 65543},
    {"device_ios_unknown", -1},
    {"device_ios_iphone", 0},
    {"device_ios_iphone_retina", 1},
    {"device_ios_ipad", 2},
    {"device_ios_ipad_retina", 3},
    {"device_ios_iphone5", 4},
    {"device_emulator", 256},
    {"device_tablet", 2},
    {"browser_not_a_browser", -1},
    {"browser_unknown", 0},
    {"browser_ie", 1},
    {"browser_firefox", 2},
    {"browser_chrome", 3},
    {"browser_safari", 4},
    {"browser_safari_mobile", 5},
    {"browser_opera", 6},
    {"browser_android_default", 7},
    {"browser_windows_store", 8},
    {"browser_tizen", 9},
    {"browser_ie_mobile", 10},
    {"of_challenge_win", 0},
    {"of_challenge_lose", 1},
    {"of_challenge_tie", 2},
    {"leaderboard_type_number", 0},
    {"leaderboard_type_time_mins_secs", 1},
    {"achievement_our_info", 1002},
    {"achievement_friends_info", 1003},
    {"achievement_leaderboard_info", 1004},
    {"achievement_achievement_info", 1005},
    {"achievement_pic_loaded", 1006},
    {"achievement_challenge_completed", 1007},
    {"achievement_challenge_completed_by_remote", 1008},
    {"achievement_challenge_received", 1009},
    {"achievement_challenge_list_received", 1010},
    {"achievement_challenge_launched", 1011},
    {"achievement_filter_all_players", 0},
    {"achievement_filter_friends_only", 1},
    {"achievement_type_achievement_challenge", 0},
    {"achievement_type_achievement_score", 1},
    {"asset_unknown", -1},
    {"asset_object", 0},
    {"asset_sprite", 1},
    {"asset_sound", 2},
    {"asset_room", 3},
    {"asset_background", 4},
    {"asset_path", 5},
    {"asset_script", 6},
    {"asset_font", 7},
    {"asset_timeline", 8},
    {"ds_type_map", 1},
    {"ds_type_list", 2},
    {"ds_type_stack", 3},
    {"ds_type_queue", 4},
};

bool IsSchemeCharacter(char c, bool first) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return letter || (!first && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
}

} // namespace

std::string Platform_URLToOpen(const char* url) {
    if (!url) return "";
    if (strncasecmp(url, "www.", 4) == 0) return std::string("http://") + url;
    // A scheme (RFC 3986) of two or more characters, so that a drive letter ("C:") is none.
    size_t n = 0;
    while (url[n] && IsSchemeCharacter(url[n], n == 0))
        ++n;
    if (url[n] != ':' || n < 2) return "";
    if (n == 4 && strncasecmp(url, "file", 4) == 0) return "";
    return url;
}

void InitPlatformFunctions() {
    BuiltIn_Register(kPlatformFunctions);
}

void InitOSVariables() {
    Variable_BuiltIn_AddRows(kOSVariables, static_cast<int>(std::size(kOSVariables)));
}

void InitMiscConstants() {
    Platform_AddConstants();
    for (const NamedValue& c : kMiscConstants)
        Code_Constant_AddReal(c.name, c.value);
}
