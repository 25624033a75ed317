// The built-ins of the platform services: Steam, the services of other platforms and the Windows 8
// application functions. None of those services exists here; their built-ins say so on the debug console
// and give 0, as they do where the service is absent.
#include "ext/service_builtins.h"

#include "core/console.h"
#include "ext/platform_services.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

template <const char* Line> void F_Absent(ScriptValue& result, const BuiltInArgs&) {
    DebugConsole->Output("%s\n", Line);
    Value_SetReal(&result, 0.0);
}

constexpr char kNoSteam[] = "steam_activate_overlay: no Steam client on this platform";
constexpr char kNoAnalytics[] = "analytics_event_ext: no analytics service on this platform";
constexpr char kNoLiveTiles[] = "winphone_tile_cycle_images: no live tiles on this platform";

// qnl_release_mode(on): above 0.5 binds the unchecked grid and vertex writers, else the checked ones.
BUILTIN_BODY(qnl_release_mode) {
    Value_SetReal(&result, 0.0);
    SetReleaseMode(args.Real(0) > 0.5 ? 0 : 1);
}

const BuiltInRegistration kSteamFunctions[] = {
    {"steam_activate_overlay", BuiltIn_Call<F_Absent<kNoSteam>>, 1},
};

const BuiltInRegistration kServiceFunctions[] = {
    {"analytics_event_ext", BuiltIn_Call<F_Absent<kNoAnalytics>>, -1},
    BUILTIN_ENTRY(qnl_release_mode, 1),
};

const BuiltInRegistration kWin8Functions[] = {
    {"winphone_tile_cycle_images", BuiltIn_Call<F_Absent<kNoLiveTiles>>, -1},
};

} // namespace

void InitSteamFunctions() {
    BuiltIn_Register(kSteamFunctions);
}

void InitServiceFunctions() {
    BuiltIn_Register(kServiceFunctions);
}

void InitWin8Functions() {
    BuiltIn_Register(kWin8Functions);
}
