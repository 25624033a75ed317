#include "ext/extensions.h"

// No extension package is loaded (see the header): no function index is valid.
bool Extension_CallDLLFunction(int, int, ScriptValue*, ScriptValue*) {
    return false;
}
bool Extension_CallFunction(int, CInstance*, CInstance*, int, ScriptValue*, ScriptValue*) {
    return false;
}
int Extension_FindFunction(const char*) {
    return -1;
}
int Extension_GetFunctionArgCount(int) {
    return -100;
}

// The package records are not read yet: the loader reports that it loaded nothing. With no package,
// preparing and the initialisation and final functions have nothing to do and succeed.
bool Extension_Load(std::span<const uint8_t>, std::span<const uint8_t>) {
    return false;
}
bool Extension_Prepare() {
    return true;
}
bool Extension_CallInitFunctions() {
    return true;
}
bool Extension_CallFinalFunctions() {
    return true;
}

// No service built-ins are written yet.
void InitSteamFunctions() {}
void InitServiceFunctions() {}
void InitWin8Functions() {}

void Services_DispatchPendingEvent() {}
void Services_RunQueuedCallbacks() {}
void Services_Update() {}
void Services_Shutdown() {}
void Steam_Update() {}
void Steam_Shutdown() {}
