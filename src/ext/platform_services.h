// The platform back-ends of the platform query built-ins: what the machine answers about itself, and
// opening a URL in the user's browser.
#pragma once

// Makes the display windowed, then opens url with the desktop's URL opener ("xdg-open", the URL as one
// argument, never through a shell). Nothing is opened in a headless run. Always 0.
int Platform_OpenURL(const char* url);
// Starts file with argv (argv[0] first, null-terminated) without waiting for it; false when it could not
// be started. Tests replace it to see what would be started.
using Platform_LaunchFn = bool (*)(const char* file, char* const argv[]);
void Platform_SetLauncher(Platform_LaunchFn launcher);

int Platform_GetDevice();
int Platform_GetCPUDetails();
int Platform_GetInfo();

// Games compare os_version with os_type, which is fixed at os_win32; so the version answered is a
// Windows-shaped one, 6.1 unless the start-up configures another.
struct ReportedOSVersion {
    int major;
    int minor;
};
// The operating-system version reported to games, reached through PlatformServices_State().
struct PlatformServicesState {
    ReportedOSVersion Platform_ReportedOSVersion{6, 1};
};

inline PlatformServicesState& PlatformServices_State() {
    static PlatformServicesState state;
    return state;
}
// major x 65536 + minor; -1 when the configured version cannot be expressed so.
int Platform_GetOSVersion();

// The user's language as a two-letter code, "--" when there is none; a new text (free with MEM_FREE).
char* Platform_GetLanguage();
// The user's country code from the locale, empty when there is none; a new text (free with MEM_FREE).
char* Platform_GetRegion();

int Platform_GetDPIX();
int Platform_GetDPIY();
// The renderer's GUI surface size: the window's client size.
int Platform_GetGUIWidth();
int Platform_GetGUIHeight();
// True when some network interface other than the loopback is up with an address.
bool Platform_IsNetworkConnected();

// Hooks of other platforms that do nothing on this one.
void Platform_AddConstants();
void Platform_SetOrientations(bool landscape, bool portrait, bool landscapeFlipped, bool portraitFlipped);

// 1 binds the checked forms of ds_grid_set, ds_grid_get and the vertex writers, 0 (release mode) the
// unchecked forms.
void SetReleaseMode(int flag);
