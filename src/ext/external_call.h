// The external-call engine: functions of shared libraries that game code calls with up to 16 reals and
// strings, each giving a real or a string. Libraries are only ever loaded from the game folder or the
// save area, so a game cannot make the runner load code from anywhere else.
#pragma once

#include <memory>
#include <string>

struct ScriptValue;

constexpr int kExternalMaxArguments = 16;

// Argument and result types (the constants ty_real and ty_string).
enum : int {
    EXTERNAL_TYPE_REAL = 0,
    EXTERNAL_TYPE_STRING = 1,
};
// Calling conventions (dll_cdecl and dll_stdcall): this platform has one, and either names it.
enum : int {
    EXTERNAL_CDECL = 0,
    EXTERNAL_STDCALL = 1,
};

// One function of a library, bound to its entry point.
struct ExternalFunction {
    std::string name; // the symbol, for messages
    void* entry = nullptr;
    // Declared number of arguments; negative: any number up to 16, each passed as its value's kind.
    int argumentCount = 0;
    int argumentTypes[kExternalMaxArguments] = {};
    int resultType = EXTERNAL_TYPE_REAL;
};

// Whether external calls are allowed, reached through ExternalCall_State().
struct ExternalCallState {
    // Cleared while the game runs as a Steam build: such a build makes no calls into external libraries.
    bool ExternalCall_Allowed = true;
};

inline ExternalCallState& ExternalCall_State() {
    static ExternalCallState state;
    return state;
}

// The file a game's library name stands for: the name taken relative to the game folder, else to the
// save area, with ".dll" read as ".so" (and ".so" added to a name without an extension). Absolute names,
// ".." and files whose links lead out of those folders are refused. "" with the reason when there is no
// such file or the name is refused.
std::string ExternalCall_LibraryPath(const char* name, std::string* error);

// Loads the library (once for each file) and binds the symbol into function, whose argument and
// result fields the caller fills; false with the reason.
bool ExternalCall_Bind(const char* library, const char* symbol, ExternalFunction* function,
                       std::string* error);

// Calls the function with the argument values: their number must be the declared one and each value of
// the declared kind (a string passes its text, a real its double). The result value receives the real or
// a copy of the text the function gives. False, with the reason and the result left alone, when the
// arguments do not fit.
bool ExternalCall_Call(const ExternalFunction& function, int argc, const ScriptValue* args,
                       ScriptValue* result, std::string* error);

// Keeps a function that the game defined; its id for the game to call it by.
int ExternalCall_Define(std::unique_ptr<ExternalFunction> function);
// The function of an id that ExternalCall_Define gave, or null.
const ExternalFunction* ExternalCall_Defined(int id);

// external_define and external_call, registered with the misc group.
void InitExternalCallFunctions();

// Forgets the functions the game defined and closes every library (shutdown, and between tests).
void ExternalCall_Free();
