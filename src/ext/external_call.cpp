#include "ext/external_call.h"

#include "core/console.h"
#include "core/save_area.h"
#include "core/text.h"
#include "library/builtin.h"
#include "script/value.h"

#include <cstdint>
#include <cstring>
#include <dlfcn.h>
#include <map>
#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace {

// ---- Libraries ----

// Every library loaded, by its file, closed by ExternalCall_Free.
std::map<std::string, void*> g_libraries;

bool IsRegularFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The name as a path below a folder: backslashes become "/", "." and empty parts are dropped; false for
// one with a ".." part. A full path names the file below the game folder or the save area when it starts
// with that folder (folder is then set to it), and is refused otherwise.
bool RelativeName(const char* name, std::string* out, const char** folder) {
    std::string text = name;
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    *folder = nullptr;
    if (!text.empty() && text[0] == '/') {
        for (const char* place : {GetGameFileDirectory(), GetSaveAreaDirectory()}) {
            const size_t n = place ? std::strlen(place) : 0;
            if (n > 0 && text.compare(0, n, place) == 0) {
                *folder = place;
                text.erase(0, n);
                break;
            }
        }
        if (*folder == nullptr) return false;
    }
    if (text.empty()) return false;
    out->clear();
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('/', start);
        if (end == std::string::npos) end = text.size();
        const std::string part = text.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") {
            if (!out->empty()) *out += '/';
            *out += part;
        }
        start = end + 1;
    }
    return !out->empty();
}

// ".dll" becomes ".so", a name without an extension gets ".so"; false for any other extension.
bool SharedLibraryName(std::string* name) {
    const size_t slash = name->rfind('/');
    const size_t dot = name->rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        *name += ".so";
        return true;
    }
    const char* extension = name->c_str() + dot;
    if (strcasecmp(extension, ".dll") == 0) {
        name->replace(dot, std::string::npos, ".so");
        return true;
    }
    return std::strcmp(extension, ".so") == 0;
}

void* LoadLibrary(const std::string& path, std::string* error) {
    auto found = g_libraries.find(path);
    if (found != g_libraries.end()) return found->second;
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        *error = "cannot load " + path + ": " + (reason ? reason : "unknown error");
        return nullptr;
    }
    g_libraries.emplace(path, handle);
    return handle;
}

// ---- The call ----

// The registers the platform's C calling convention passes arguments in: integers and pointers in one
// set, doubles in the other, each taken in argument order, the arguments that do not fit following on
// the stack in argument order, one 8-byte slot each. A call through a prototype of all the integer
// registers, then all the double registers, then 16 stack slots thus reaches any function of up to 16
// reals and pointers with its arguments where it looks for them; slots it does not take are ignored.
#if defined(__x86_64__)
constexpr int kIntegerRegisters = 6;
#define EXTERNAL_INTEGER_PARAMETERS uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t
#define EXTERNAL_INTEGER_ARGUMENTS(f) f.ints[0], f.ints[1], f.ints[2], f.ints[3], f.ints[4], f.ints[5]
#elif defined(__aarch64__)
constexpr int kIntegerRegisters = 8;
#define EXTERNAL_INTEGER_PARAMETERS                                                                          \
    uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t
#define EXTERNAL_INTEGER_ARGUMENTS(f)                                                                        \
    f.ints[0], f.ints[1], f.ints[2], f.ints[3], f.ints[4], f.ints[5], f.ints[6], f.ints[7]
#else
#error "the external-call engine knows the calling convention of x86-64 and AArch64 only"
#endif
constexpr int kDoubleRegisters = 8;
constexpr int kStackSlots = kExternalMaxArguments;

struct CallFrame {
    uint64_t ints[kIntegerRegisters] = {};
    double reals[kDoubleRegisters] = {};
    uint64_t stack[kStackSlots] = {};
    int intCount = 0;
    int realCount = 0;
    int stackCount = 0;

    void AddInteger(uint64_t value) {
        if (intCount < kIntegerRegisters)
            ints[intCount++] = value;
        else
            stack[stackCount++] = value;
    }
    void AddReal(double value) {
        if (realCount < kDoubleRegisters) {
            reals[realCount++] = value;
        } else {
            uint64_t bits;
            std::memcpy(&bits, &value, sizeof bits);
            stack[stackCount++] = bits;
        }
    }
};

#define EXTERNAL_PARAMETERS                                                                                  \
    EXTERNAL_INTEGER_PARAMETERS, double, double, double, double, double, double, double, double, uint64_t,   \
        uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,  \
        uint64_t, uint64_t, uint64_t, uint64_t, uint64_t
#define EXTERNAL_ARGUMENTS(f)                                                                                \
    EXTERNAL_INTEGER_ARGUMENTS(f), f.reals[0], f.reals[1], f.reals[2], f.reals[3], f.reals[4], f.reals[5],   \
        f.reals[6], f.reals[7], f.stack[0], f.stack[1], f.stack[2], f.stack[3], f.stack[4], f.stack[5],      \
        f.stack[6], f.stack[7], f.stack[8], f.stack[9], f.stack[10], f.stack[11], f.stack[12], f.stack[13],  \
        f.stack[14], f.stack[15]

// The entry has the prototype of the library's function, not this one (see above), which the sanitizer's
// check of indirect calls would take for a mistake.
#if defined(__clang__)
#define EXTERNAL_UNCHECKED_CALL __attribute__((no_sanitize("function")))
#else
#define EXTERNAL_UNCHECKED_CALL
#endif
template <typename Result> EXTERNAL_UNCHECKED_CALL Result Invoke(void* entry, const CallFrame& frame) {
    using Entry = Result (*)(EXTERNAL_PARAMETERS);
    return reinterpret_cast<Entry>(entry)(EXTERNAL_ARGUMENTS(frame));
}

const char* TypeName(int type) {
    return type == EXTERNAL_TYPE_STRING ? "a string" : "a real";
}

// ---- Functions defined by the game ----

std::vector<std::unique_ptr<ExternalFunction>> g_defined;

} // namespace

std::string ExternalCall_LibraryPath(const char* name, std::string* error) {
    std::string relative;
    const char* named = nullptr;
    if (name == nullptr || !RelativeName(name, &relative, &named)) {
        *error = "the library \"" + std::string(name ? name : "") +
                 "\" is not a name inside the game folder or the save area";
        return "";
    }
    if (!SharedLibraryName(&relative)) {
        *error = "the library \"" + std::string(name) + "\" is not a shared library (.so)";
        return "";
    }
    for (const char* folder : {GetGameFileDirectory(), GetSaveAreaDirectory()}) {
        if (folder == nullptr || *folder == '\0' || (named != nullptr && std::strcmp(folder, named) != 0))
            continue;
        const std::string path = folder + relative;
        if (IsRegularFile(path) && LoadSave_IsInside(path, folder)) return path;
    }
    *error = "the library " + relative + " is not in the game folder or the save area";
    return "";
}

bool ExternalCall_Bind(const char* library, const char* symbol, ExternalFunction* function,
                       std::string* error) {
    if (!ExternalCall_State().ExternalCall_Allowed) {
        *error = "a Steam build makes no calls into external libraries";
        return false;
    }
    const std::string path = ExternalCall_LibraryPath(library, error);
    if (path.empty()) return false;
    void* handle = LoadLibrary(path, error);
    if (handle == nullptr) return false;
    dlerror();
    void* entry = symbol && *symbol ? dlsym(handle, symbol) : nullptr;
    if (entry == nullptr) {
        *error = "the library " + path + " has no function " + (symbol ? symbol : "");
        return false;
    }
    function->name = symbol;
    function->entry = entry;
    return true;
}

bool ExternalCall_Call(const ExternalFunction& function, int argc, const ScriptValue* args,
                       ScriptValue* result, std::string* error) {
    if (argc > kExternalMaxArguments) {
        *error = function.name + " is called with " + std::to_string(argc) +
                 " arguments; at most 16 can be passed";
        return false;
    }
    if (function.argumentCount >= 0 && argc != function.argumentCount) {
        *error = function.name + " takes " + std::to_string(function.argumentCount) + " arguments, not " +
                 std::to_string(argc);
        return false;
    }
    CallFrame frame;
    for (int i = 0; i < argc; ++i) {
        const ScriptValue& value = args[i];
        const int type = function.argumentCount >= 0 ? function.argumentTypes[i]
                         : value.IsString()          ? EXTERNAL_TYPE_STRING
                                                     : EXTERNAL_TYPE_REAL;
        const bool fits = type == EXTERNAL_TYPE_STRING ? value.IsString() : value.IsReal();
        if (!fits) {
            *error = "argument " + std::to_string(i) + " of " + function.name + " must be " + TypeName(type);
            return false;
        }
        if (type == EXTERNAL_TYPE_STRING)
            frame.AddInteger(reinterpret_cast<uintptr_t>(value.str ? value.str : ""));
        else
            frame.AddReal(value.real);
    }
    if (function.resultType == EXTERNAL_TYPE_STRING) {
        const char* text = Invoke<const char*>(function.entry, frame);
        BuiltIn_SetText(*result, text ? String_Duplicate(text) : nullptr);
    } else {
        const double real = Invoke<double>(function.entry, frame);
        Value_Free(result);
        Value_SetReal(result, real);
    }
    return true;
}

int ExternalCall_Define(std::unique_ptr<ExternalFunction> function) {
    g_defined.push_back(std::move(function));
    return static_cast<int>(g_defined.size()) - 1;
}

const ExternalFunction* ExternalCall_Defined(int id) {
    return id >= 0 && id < static_cast<int>(g_defined.size()) ? g_defined[static_cast<size_t>(id)].get()
                                                              : nullptr;
}

void ExternalCall_Free() {
    g_defined.clear();
    for (auto& [path, handle] : g_libraries)
        dlclose(handle);
    g_libraries.clear();
}
