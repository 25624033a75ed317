#include "ext/services.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "data/general_info.h"
#include "ext/external_call.h"
#include "library/data_structures.h"
#include "library/ini_file.h"
#include "script/script.h"
#include "script/value.h"
#include "script/world_interface.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace {

ServicesHost g_host{};

struct PendingEvent {
    int number;
    int map;
};
std::deque<PendingEvent> g_events;

struct Callback {
    int script = -1;
    std::vector<ScriptValue> args; // owned copies
};
std::deque<Callback> g_callbacks;

void FreeArguments(Callback& callback) {
    for (ScriptValue& value : callback.args)
        Value_Free(&value);
    callback.args.clear();
}

// ---- The achievement cache ----

const char kCacheFile[] = "achievements.ini";
const char kCacheSection[] = "achievements";
std::unique_ptr<IniFile> g_cache;
bool g_cacheChanged = false;

IniFile& Cache() {
    if (!g_cache) {
        // Read from the save area only; with no save area the cache lives for this run.
        const std::string path = LoadSave_SavePath(kCacheFile);
        g_cache = path.empty() ? std::make_unique<IniFile>()
                               : std::make_unique<IniFile>(path.c_str(), false, IniSource::PathAsGiven);
    }
    return *g_cache;
}

// ---- Steam ----

bool g_steamUsed = false;
uint32_t g_steamAppId = 0;

} // namespace

void Services_SetHost(const ServicesHost& host) {
    g_host = host;
}

void Services_PostEvent(int number, int map) {
    g_events.push_back({number, map});
}

void Services_QueueCallback(int script, int argc, const ScriptValue* args) {
    Callback callback;
    callback.script = script;
    const int kept = argc < 0 || args == nullptr ? 0 : argc < 16 ? argc : 16;
    callback.args.resize(static_cast<size_t>(kept));
    for (int i = 0; i < kept; ++i)
        Value_Copy(&callback.args[static_cast<size_t>(i)], &args[i]);
    g_callbacks.push_back(std::move(callback));
}

void Services_DispatchPendingEvent() {
    // An event posted while one runs waits for the next stage.
    for (size_t count = g_events.size(); count > 0 && !g_events.empty(); --count) {
        const PendingEvent event = g_events.front();
        g_events.pop_front();
        if (g_host.dispatchAsync) {
            g_host.dispatchAsync(event.number, event.map);
        } else if (event.map >= 0) {
            DS_Map_Destroy(event.map);
        }
    }
}

void Services_RunQueuedCallbacks() {
    for (size_t count = g_callbacks.size(); count > 0 && !g_callbacks.empty(); --count) {
        Callback callback = std::move(g_callbacks.front());
        g_callbacks.pop_front();
        bool ran = false;
        ScriptValue result;
        ScriptWorld_RunOnScratch([&](CInstance* scratch) {
            ran = Script_Perform(callback.script, scratch, scratch, static_cast<int>(callback.args.size()),
                                 &result, callback.args.data());
        });
        if (!ran)
            DebugConsole->Output("A queued service callback to script %d did not run\n", callback.script);
        Value_Free(&result);
        FreeArguments(callback);
    }
}

// No service runs on this platform, so there is nothing to poll.
void Services_Update() {}

void Services_Shutdown() {
    if (g_cache && g_cacheChanged) MEM_FREE(g_cache->Flush());
    g_cache.reset();
    g_cacheChanged = false;
}

void Services_CacheAchievement(const char* name, double value) {
    if (name == nullptr || *name == '\0') return;
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    Cache().WriteString(kCacheSection, name, text);
    g_cacheChanged = true;
}

bool Services_CachedAchievement(const char* name, double* value) {
    const char* text = name ? Cache().ReadString(kCacheSection, name, nullptr) : nullptr;
    if (text == nullptr) return false;
    *value = std::strtod(text, nullptr);
    return true;
}

void Services_Reset() {
    for (const PendingEvent& event : g_events) {
        if (event.map >= 0) DS_Map_Destroy(event.map);
    }
    g_events.clear();
    for (Callback& callback : g_callbacks)
        FreeArguments(callback);
    g_callbacks.clear();
    g_cache.reset();
    g_cacheChanged = false;
}

void Steam_Init(bool steamSwitch) {
    g_steamUsed = steamSwitch || GeneralInfo_State().g_GeneralInfo.steam;
    g_steamAppId =
        GeneralInfo_State().g_GeneralInfo.version >= 13 ? GeneralInfo_State().g_GeneralInfo.steamAppId : 0;
    ExternalCall_State().ExternalCall_Allowed = !g_steamUsed;
    if (g_steamUsed)
        DebugConsole->Output("Steam: application %u; no Steam client library is loaded on this platform\n",
                             g_steamAppId);
}

bool Steam_IsUsed() {
    return g_steamUsed;
}

uint32_t Steam_AppId() {
    return g_steamAppId;
}

// Without a Steam client library there are no callbacks to run and nothing to close.
void Steam_Update() {}
void Steam_Shutdown() {}
