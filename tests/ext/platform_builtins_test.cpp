#include "library/builtin_test_util.h"

#include "data/general_info.h"
#include "ext/platform_builtins.h"
#include "ext/platform_services.h"
#include "io/input.h"
#include "io/window_state.h"
#include "library/os_events.h"
#include "script/compiler/constants.h"
#include "script/variables.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testing::HasSubstr;

namespace {

std::vector<std::string> g_opened;

bool RecordLaunch(const char*, char* const argv[]) {
    g_opened.emplace_back(argv[1]);
    return true;
}

Result Call(const char* name, std::initializer_list<Arg> args = {}) {
    static bool registered = [] {
        InitPlatformFunctions();
        return true;
    }();
    (void)registered;
    return CallBuiltIn(name, args);
}

double Real(const char* name, std::initializer_list<Arg> args = {}) {
    return Call(name, args).Real();
}

} // namespace

TEST(PlatformBuiltIns, OnlyURLsReachTheBrowser) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://example.com/a?b", "http://example.com/a?b"},
        {"https://x", "https://x"},
        {"mailto:someone@example.com", "mailto:someone@example.com"},
        {"WWW.example.com", "http://WWW.example.com"},
        {"file:///etc/passwd", ""},
        {"FILE:/x", ""},
        {"C:\\Windows\\system32\\calc.exe", ""},
        {"/usr/bin/xterm", ""},
        {"xterm", ""},
        {"--help", ""},
        {":", ""},
        {"1http://x", ""},
        {"", ""},
    };
    for (const auto& [url, opened] : cases)
        EXPECT_EQ(Platform_URLToOpen(url), opened) << url;

    const char* display = std::getenv("DISPLAY");
    const std::string savedDisplay = display ? display : "";
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::string savedDriver = driver ? driver : "";
    setenv("DISPLAY", ":0", 1);
    unsetenv("SDL_VIDEODRIVER");
    Platform_SetLauncher(RecordLaunch);
    Real("url_open", {"www.example.com"});
    Real("Zebo_OpenURL_ext", {"./run.sh", "_blank"});
    Real("url_open_full", {"https://example.com", "_blank", ""});
    EXPECT_EQ(g_opened, (std::vector<std::string>{"http://www.example.com", "https://example.com"}));
    std::string log = ConsoleOutputOf([] { Real("url_open"); });
    EXPECT_THAT(log, HasSubstr("Illegal argument count"));
    log = ConsoleOutputOf([] { Real("url_open", {5}); });
    EXPECT_THAT(log, HasSubstr("Illegal argument type"));
    EXPECT_EQ(g_opened.size(), 2u);
    Platform_SetLauncher(nullptr);
    if (display) setenv("DISPLAY", savedDisplay.c_str(), 1);
    else unsetenv("DISPLAY");
    if (driver) setenv("SDL_VIDEODRIVER", savedDriver.c_str(), 1);
}

TEST(PlatformBuiltIns, Answers) {
    EXPECT_EQ(Real("Zebo_GetPlatform"), 0);
    EXPECT_EQ(Real("Zebo_GetDevice"), -1);
    EXPECT_EQ(Real("os_get_info"), -1);
    EXPECT_EQ(Real("code_is_compiled"), 1);
    EXPECT_EQ(Real("window_has_focus"), 1);
    EXPECT_EQ(Real("display_get_dpi_y"), 96);
    EXPECT_EQ(Real("device_get_tilt_z"), 0);
    EXPECT_EQ(Call("url_get_domain", {0}).Text(), "localhost");
    EXPECT_EQ(Call("os_get_language").Text().size(), 2u);
    EXPECT_GE(Real("get_timer"), 0);
    const std::string log = ConsoleOutputOf([] { EXPECT_EQ(Real("Zebo_GetPlatform", {1}), 0); });
    EXPECT_THAT(log, HasSubstr("Illegal argument count"));

    const char* savedConfig = GeneralInfo_State().Game_ConfigName;
    GeneralInfo_State().Game_ConfigName = "Release";
    EXPECT_EQ(Call("os_get_config").Text(), "Release");
    GeneralInfo_State().Game_ConfigName = nullptr;
    Result none = Call("Zebo_GetConfig");
    EXPECT_TRUE(none.IsString());
    EXPECT_EQ(none.v.str, nullptr);
    GeneralInfo_State().Game_ConfigName = savedConfig;

    Input_State().IO_RawMouse.x[2] = 7;
    Input_State().IO_RawMouse.y[4] = -3;
    EXPECT_EQ(Real("device_mouse_raw_x", {2.9}), 7);
    EXPECT_EQ(Real("Zebo_MouseYRaw", {4}), -3);
    EXPECT_EQ(Real("device_mouse_raw_x", {5}), 0);
    EXPECT_EQ(Real("device_mouse_raw_x", {-1}), 0);
    Input_State().IO_RawMouse = {};

    OS_UpdatePauseEvent();
    OS_RaisePauseEvent();
    OS_UpdatePauseEvent();
    EXPECT_EQ(Real("os_is_paused"), 1);
    OS_UpdatePauseEvent();
    EXPECT_EQ(Real("Zebo_OSPauseEvent"), 0);
}

TEST(PlatformBuiltIns, TheGUISizeFollowsTheWindowUntilSet) {
    const WindowSize savedClient = Window_State().Window_DeviceState.clientSize;
    Window_State().Window_DeviceState.clientSize = {800, 600};
    EXPECT_EQ(Real("display_get_gui_width"), 800);
    Real("display_set_gui_size", {640.7, 480});
    EXPECT_EQ(Real("display_get_gui_width"), 640);
    EXPECT_EQ(Real("display_get_gui_height"), 480);
    Real("display_set_gui_size", {-5, -1});
    EXPECT_EQ(Window_State().GUI_Size.width, -1) << "a negative size follows the window again";
    EXPECT_EQ(Real("display_get_gui_width"), 800);
    EXPECT_EQ(Real("display_get_gui_height"), 600);
    Window_State().Window_DeviceState.clientSize = savedClient;
}

TEST(PlatformBuiltIns, VariablesAndConstants) {
    Variable_BuiltIn_Clear();
    InitOSVariables();
    const std::pair<const char*, double> variables[] = {
        {"os_type", 0}, {"os_device", -1}, {"os_version", Platform_GetOSVersion()}, {"os_browser", -1},
        {"browser_width", Platform_GetGUIWidth()},
    };
    for (const auto& [name, value] : variables) {
        const int index = Variable_BuiltIn_Find(name);
        ASSERT_GE(index, 0) << name;
        ScriptValue v;
        EXPECT_TRUE(Variable_BuiltIn_Getter(index)(nullptr, 0, &v));
        EXPECT_EQ(v.real, value) << name;
    }
    Variable_BuiltIn_Clear();

    Code_Constant_Free();
    InitMiscConstants();
    EXPECT_EQ(Code_Constant_FindValue("ds_type_queue")->real, 4);
    EXPECT_EQ(Code_Constant_FindValue("OS_LLVM_LINUX")->real, 65542);
    EXPECT_EQ(Code_Constant_FindValue("achievement_challenge_launched")->real, 1011);
    EXPECT_EQ(Code_Constant_FindValue("device_emulator")->real, 256);
    EXPECT_EQ(Code_Constant_FindValue("ds_type_grid"), nullptr);
    Code_Constant_Free();
}
