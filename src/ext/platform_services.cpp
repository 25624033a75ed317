#include "ext/platform_services.h"

#include "core/text.h"
#include "graphics/frame/frame.h"
#include "graphics/graphics_builtins.h"
#include "io/window_state.h"
#include "library/library_builtins.h"

#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

bool LaunchDetached(const char* file, char* const argv[]) {
    pid_t pid = 0;
    if (posix_spawnp(&pid, file, nullptr, nullptr, argv, environ) != 0) return false;
    // Reap the opener when it ends, without holding up the game.
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return true;
}

Platform_LaunchFn g_launch = LaunchDetached;

bool EnvironmentIs(const char* name, const char* value) {
    const char* actual = std::getenv(name);
    return actual != nullptr && std::strcmp(actual, value) == 0;
}

bool EnvironmentSet(const char* name) {
    const char* actual = std::getenv(name);
    return actual != nullptr && actual[0] != '\0';
}

// The window layer is not built yet; a run counts as headless when SDL is told to draw off screen or
// there is no display server to show a browser on.
bool IsHeadless() {
    if (EnvironmentIs("SDL_VIDEODRIVER", "offscreen") || EnvironmentIs("SDL_VIDEODRIVER", "dummy"))
        return true;
    return !EnvironmentSet("DISPLAY") && !EnvironmentSet("WAYLAND_DISPLAY");
}

// The user's locale name for messages, as the C library would choose it ("de_DE.UTF-8"), without
// setting the process locale.
const char* UserLocaleName() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (EnvironmentSet(name)) return std::getenv(name);
    }
    return "";
}

bool IsLocaleEnd(char c) {
    return c == '\0' || c == '_' || c == '.' || c == '@';
}
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool IsLetter(char c) {
    return IsLower(c) || (c >= 'A' && c <= 'Z');
}

} // namespace

void Platform_SetLauncher(Platform_LaunchFn launcher) {
    g_launch = launcher != nullptr ? launcher : LaunchDetached;
}

int Platform_OpenURL(const char* url) {
    Display_EnsureWindowed();
    if (url == nullptr || IsHeadless()) return 0;
    char opener[] = "xdg-open";
    char* argv[] = {opener, const_cast<char*>(url), nullptr};
    g_launch(opener, argv);
    return 0;
}

int Platform_GetDevice() {
    return -1;
}
int Platform_GetCPUDetails() {
    return 0;
}
int Platform_GetInfo() {
    return -1;
}

int Platform_GetOSVersion() {
    const ReportedOSVersion v = PlatformServices_State().Platform_ReportedOSVersion;
    if (v.major < 0 || v.major > 32767 || v.minor < 0 || v.minor > 65535) return -1;
    return v.major * 65536 + v.minor;
}

char* Platform_GetLanguage() {
    const char* locale = UserLocaleName();
    if (IsLower(locale[0]) && IsLower(locale[1]) && IsLocaleEnd(locale[2])) {
        const char code[3] = {locale[0], locale[1], '\0'};
        return String_Duplicate(code);
    }
    return String_Duplicate("--");
}

char* Platform_GetRegion() {
    const char* territory = std::strchr(UserLocaleName(), '_');
    char code[8] = {};
    if (territory != nullptr) {
        size_t length = 0;
        for (const char* c = territory + 1; IsLetter(*c) && length < sizeof code - 1; ++c)
            code[length++] = *c;
    }
    return String_Duplicate(code);
}

int Platform_GetDPIX() {
    return 96;
}
int Platform_GetDPIY() {
    return 96;
}
int Platform_GetGUIWidth() {
    return Window_State().Window_DeviceState.clientSize.width;
}
int Platform_GetGUIHeight() {
    return Window_State().Window_DeviceState.clientSize.height;
}

bool Platform_IsNetworkConnected() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool connected = false;
    for (const ifaddrs* entry = list; entry != nullptr && !connected; entry = entry->ifa_next) {
        const unsigned flags = entry->ifa_flags;
        connected = entry->ifa_addr != nullptr && (flags & IFF_UP) != 0 && (flags & IFF_RUNNING) != 0 &&
                    (flags & IFF_LOOPBACK) == 0;
    }
    freeifaddrs(list);
    return connected;
}

void Platform_AddConstants() {}
void Platform_SetOrientations(bool, bool, bool, bool) {}

void SetReleaseMode(int flag) {
    DS_Grid_SetBoundsChecking(flag != 0);
    VertexBuilder_SetChecked(flag != 0);
}
