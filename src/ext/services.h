// The platform services (online services, achievements, Steam) as the run loop reaches them: the events
// and script callbacks they hand to the asynchronous stage, the achievement cache, and the Steam state.
//
// No service of another platform exists on this one and no Steam client library is loaded: nothing here
// talks to a server. What the services deliver reaches the game through Services_PostEvent and
// Services_QueueCallback, the way a service's own code would hand it over.
#pragma once

#include <cstdint>

struct ScriptValue;

// What the services need of the game world, which installs it at start-up.
struct ServicesHost {
    // Runs asynchronous event number for every instance that has it, with async_load holding map (a map
    // index, or -1), and destroys the map afterwards.
    void (*dispatchAsync)(int number, int map);
};
void Services_SetHost(const ServicesHost& host);

// Hands an asynchronous event (number 60 or more) with its event map (a map index the services give up,
// or -1) to the next asynchronous stage. Events are delivered in the order they were posted.
void Services_PostEvent(int number, int map);
// Queues a call of script index with copies of the arguments (at most 16 are kept) for the next
// asynchronous stage.
void Services_QueueCallback(int script, int argc, const ScriptValue* args);

// The asynchronous stage: first the pending events, then the queued script callbacks (each run on a
// scratch instance), the queue emptied.
void Services_DispatchPendingEvent();
void Services_RunQueuedCallbacks();
// Once per step with the input update.
void Services_Update();
// Saves the achievement cache when it changed.
void Services_Shutdown();

// The achievement cache: the latest value given for each achievement, kept across runs in
// "achievements.ini" in the save area (read on first use, written by Services_Shutdown).
void Services_CacheAchievement(const char* name, double value);
// False when the cache holds nothing of that name.
bool Services_CachedAchievement(const char* name, double* value);

// Forgets pending events (destroying their maps), queued callbacks and the cache without saving it
// (between tests).
void Services_Reset();

// The Steam state, set once the general information is read: the integration is used when "-steam" was
// given or the general information's flag 0x1000 is set; the application id comes from the general
// information (version 13 and later, else 0). A game that uses it makes no calls into external libraries.
void Steam_Init(bool steamSwitch);
bool Steam_IsUsed();
uint32_t Steam_AppId();
// Without a Steam client library both do nothing.
void Steam_Update();
void Steam_Shutdown();
