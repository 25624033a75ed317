// Extension packages as the script engine, the data-file reader and the run loop reach them: functions
// that game code calls by name (callable ids from 500000), constants, initialisation code, and the
// functions run when the game starts and ends.
//
// The data file's "EXTN" chunk is checked but its records are not read (their layout is not known
// here); packages are added through Extension_Add.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CDataView;
class CInstance;
struct IFFChunk;
struct ScriptValue;

// How an extension function is called.
enum : int {
    // A function of the package file's shared library, through the external-call engine.
    EXTENSION_FUNCTION_EXTERNAL = 0,
    // A function whose call does nothing and succeeds (its result stays as the caller prepared it).
    EXTENSION_FUNCTION_NO_CALL = 2,
};

struct ExtensionFunctionRecord {
    std::string name;         // the name game code calls it by
    std::string externalName; // the library's symbol; the name when empty
    int kind = EXTENSION_FUNCTION_EXTERNAL;
    // The declared number of arguments that calls are compiled against; negative: any number up to 16,
    // each passed as its value's kind.
    int argumentCount = 0;
    std::vector<int> argumentTypes; // EXTERNAL_TYPE_REAL or EXTERNAL_TYPE_STRING, one per argument
    int resultType = 0;
};

struct ExtensionFileRecord {
    std::string fileName;      // the library of its functions, inside the game folder or the save area
    std::string initFunction;  // run when the game starts ("" none)
    std::string finalFunction; // run when the game ends ("" none)
    std::string code;          // initialisation code, compiled by Extension_Prepare ("" none)
    std::vector<ExtensionFunctionRecord> functions;
    std::vector<std::pair<std::string, std::string>> constants; // name and value text
};

struct ExtensionPackage {
    std::string name;
    std::vector<ExtensionFileRecord> files;
};

// Appends a package; its functions take the next indices, in file and function order.
void Extension_Add(ExtensionPackage package);
// Forgets every package and the libraries they loaded (shutdown, and between tests).
void Extension_Free();

// Whether extension calls are traced, reached through Extension_State().
struct ExtensionState {
    // "-ext": every call of an extension function is traced on the debug console.
    bool Extension_Trace = false;
};

inline ExtensionState& Extension_State() {
    static ExtensionState state;
    return state;
}

// Calls extension function index with the argument values; false for an index out of range or a kind
// that cannot be called. The result value receives the function's result. A call that cannot be made is
// also reported as a (not fatal) run-time error.
bool Extension_CallDLLFunction(int index, int argCount, ScriptValue* args, ScriptValue* result);
// The call of an extension function with a self and an other (the tree evaluator's); false makes the
// call fail, with the reason in Extension_CallFailure.
bool Extension_CallFunction(int index, CInstance* self, CInstance* other, int argCount, ScriptValue* args,
                            ScriptValue* result);
// Why the last call of Extension_CallFunction failed.
const char* Extension_CallFailure();
// The index of the extension function with that name across all packages; -1 when none.
int Extension_FindFunction(const char* name);
// The declared argument count (negative accepts up to 16); -100 when the function does not exist.
int Extension_GetFunctionArgCount(int index);

// Defines the packages' constants, binds their library functions (a library that cannot be loaded is
// said on the release console, and its functions then fail when called) and compiles their
// initialisation code; false: "Failed to prepare extension packages."
bool Extension_Prepare();
// The "EXTN" chunk loader: the chunk's offset list (checked by the chunk walk) names package records,
// which are not read.
bool Extension_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
// Runs each package file's initialisation code, then its initialisation function; false (said on the
// release console) when one cannot run, which stops the game's start.
bool Extension_CallInitFunctions();
// Runs the packages' final functions; true (the cursor is reset at game end) when every one ran.
bool Extension_CallFinalFunctions();
