// Extension packages and the platform services (online services, Steam) as the script engine, the
// data-file reader and the run loop reach them.
//
// Neither is built yet: there is no extension package, so no extension function exists, and the
// services have nothing pending, queued or to save.
#pragma once

#include <cstdint>
#include <span>

class CInstance;
struct ScriptValue;

// Calls extension function index with the argument values; false for an index out of range or a kind
// that cannot be called. The result value receives the function's result.
bool Extension_CallDLLFunction(int index, int argCount, ScriptValue* args, ScriptValue* result);
// The call of an extension function with a self and an other; false makes the call fail.
bool Extension_CallFunction(int index, CInstance* self, CInstance* other, int argCount, ScriptValue* args,
                            ScriptValue* result);
// The index of the extension function with that name across all packages; -1 when none.
int Extension_FindFunction(const char* name);
// The declared argument count (negative accepts up to 16); -100 when the function does not exist.
int Extension_GetFunctionArgCount(int index);

// Compiles each package's initialisation code; false: "Failed to prepare extension packages."
bool Extension_Prepare();
// The "EXTN" chunk loader: body is the chunk body inside file, whose offsets it resolves.
bool Extension_Load(std::span<const uint8_t> body, std::span<const uint8_t> file);
// Runs the packages' initialisation functions; false stops the game's start.
bool Extension_CallInitFunctions();
// Runs the packages' final functions; true resets the cursor at game end.
bool Extension_CallFinalFunctions();

void InitSteamFunctions();
void InitServiceFunctions();
void InitWin8Functions();

// The asynchronous stage: first the pending event, then the queued script callbacks.
void Services_DispatchPendingEvent();
void Services_RunQueuedCallbacks();
// Once per step with the input update.
void Services_Update();
// Saves the achievement cache.
void Services_Shutdown();
void Steam_Update();
void Steam_Shutdown();
