#include "ext/extensions.h"

#include "core/console.h"
#include "core/name_map.h"
#include "ext/external_call.h"
#include "script/code.h"
#include "script/code_execute.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "script/world_interface.h"

#include <memory>

namespace {

struct PreparedFunction {
    const ExtensionFunctionRecord* record = nullptr;
    const ExtensionFileRecord* file = nullptr;
    ExternalFunction external;
    bool bound = false;
    std::string bindFailure; // why a library function could not be bound
};

struct PreparedFile {
    std::unique_ptr<CCode> code; // the compiled initialisation code
};

// A package as added; its records stay where they are while it lives (code objects point at their text).
struct PackageState {
    ExtensionPackage package;
    std::vector<PreparedFile> files;
};

std::vector<std::unique_ptr<PackageState>> g_packages;
std::vector<PreparedFunction> g_functions;
NameMap<int> g_byName; // the first function of each name
std::string g_callFailure;

std::string Describe(const PreparedFunction& f) {
    return "extension function " + f.record->name;
}

// The call itself; false with the reason when it cannot be made.
bool Call(int index, int argc, ScriptValue* args, ScriptValue* result, std::string* why) {
    if (index < 0 || index >= static_cast<int>(g_functions.size())) {
        *why = "there is no extension function " + std::to_string(index);
        return false;
    }
    const PreparedFunction& f = g_functions[static_cast<size_t>(index)];
    if (Extension_State().Extension_Trace)
        DebugConsole->Output("Extension call %s with %d arguments\n", f.record->name.c_str(), argc);
    if (f.record->kind == EXTENSION_FUNCTION_NO_CALL) return true;
    if (f.record->kind != EXTENSION_FUNCTION_EXTERNAL) {
        *why = Describe(f) + " is of a kind that cannot be called (" + std::to_string(f.record->kind) + ")";
        return false;
    }
    if (!f.bound) {
        *why =
            Describe(f) + " cannot be called: " +
            (f.bindFailure.empty() ? std::string("the extension packages were not prepared") : f.bindFailure);
        return false;
    }
    std::string error;
    if (!ExternalCall_Call(f.external, argc, args, result, &error)) {
        *why = Describe(f) + ": " + error;
        return false;
    }
    return true;
}

// Binds a library function of a package file: its declared types, then its entry point.
void Bind(PreparedFunction& f) {
    const ExtensionFunctionRecord& record = *f.record;
    f.bound = false;
    f.bindFailure.clear();
    ExternalFunction& external = f.external;
    external.argumentCount = record.argumentCount < 0 ? -1 : record.argumentCount;
    external.resultType = record.resultType;
    bool typesFit = external.argumentCount <= kExternalMaxArguments &&
                    (external.argumentCount < 0 ||
                     record.argumentTypes.size() == static_cast<size_t>(external.argumentCount)) &&
                    (record.resultType == EXTERNAL_TYPE_REAL || record.resultType == EXTERNAL_TYPE_STRING);
    for (size_t i = 0; typesFit && external.argumentCount >= 0 && i < record.argumentTypes.size(); ++i) {
        const int type = record.argumentTypes[i];
        typesFit = type == EXTERNAL_TYPE_REAL || type == EXTERNAL_TYPE_STRING;
        external.argumentTypes[i] = type;
    }
    if (!typesFit) {
        f.bindFailure =
            "its declared argument or result types are not reals and strings for at most 16 arguments";
    } else {
        const std::string& symbol = record.externalName.empty() ? record.name : record.externalName;
        f.bound = ExternalCall_Bind(f.file->fileName.c_str(), symbol.c_str(), &external, &f.bindFailure);
    }
    if (!f.bound)
        ReleaseConsole->Output("Extension function %s: %s\n", record.name.c_str(), f.bindFailure.c_str());
}

// Runs a package's initialisation or final function: an extension function, or else a script, of that
// name, with no arguments. False with the reason.
bool RunNamedFunction(const std::string& name, std::string* why) {
    ScriptValue result;
    bool ran = false;
    const int index = Extension_FindFunction(name.c_str());
    if (index >= 0) {
        ran = Call(index, 0, nullptr, &result, why);
    } else if (const int script = Script_Find(name.c_str()); script >= 0) {
        ScriptWorld_RunOnScratch(
            [&](CInstance* scratch) { ran = Script_Perform(script, scratch, scratch, 0, &result, nullptr); });
        if (!ran)
            *why = CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "the script failed";
    } else {
        *why = "there is no extension function or script of that name";
    }
    Value_Free(&result);
    return ran;
}

// Runs the init (or final) function of every package file in order; false at the first that fails.
bool RunPackageFunctions(bool init) {
    for (const auto& state : g_packages) {
        const ExtensionPackage& package = state->package;
        for (size_t i = 0; i < package.files.size(); ++i) {
            const ExtensionFileRecord& file = package.files[i];
            if (init && state->files[i].code) {
                CCode* code = state->files[i].code.get();
                ScriptWorld_RunOnScratch([&](CInstance* scratch) {
                    ScriptValue result;
                    Code_ExecuteReportError(scratch, scratch, code, &result);
                    Value_Free(&result);
                });
            }
            const std::string& name = init ? file.initFunction : file.finalFunction;
            std::string why;
            if (!name.empty() && !RunNamedFunction(name, &why)) {
                ReleaseConsole->Output("Extension package %s: its %s function %s could not run: %s\n",
                                       package.name.c_str(), init ? "initialisation" : "final", name.c_str(),
                                       why.c_str());
                return false;
            }
        }
    }
    return true;
}

} // namespace

void Extension_Add(ExtensionPackage package) {
    auto state = std::make_unique<PackageState>();
    state->package = std::move(package);
    state->files.resize(state->package.files.size());
    for (const ExtensionFileRecord& file : state->package.files) {
        for (const ExtensionFunctionRecord& record : file.functions) {
            PreparedFunction f;
            f.record = &record;
            f.file = &file;
            g_byName.emplace(record.name, static_cast<int>(g_functions.size()));
            g_functions.push_back(std::move(f));
        }
    }
    g_packages.push_back(std::move(state));
}

void Extension_Free() {
    g_functions.clear();
    g_byName.clear();
    g_packages.clear();
    g_callFailure.clear();
    ExternalCall_Free();
}

bool Extension_CallDLLFunction(int index, int argCount, ScriptValue* args, ScriptValue* result) {
    std::string why;
    if (Call(index, argCount, args, result, &why)) return true;
    Code_Error_Report(why.c_str(), false);
    return false;
}

bool Extension_CallFunction(int index, CInstance*, CInstance*, int argCount, ScriptValue* args,
                            ScriptValue* result) {
    g_callFailure.clear();
    return Call(index, argCount, args, result, &g_callFailure);
}

const char* Extension_CallFailure() {
    return g_callFailure.c_str();
}

int Extension_FindFunction(const char* name) {
    if (name == nullptr) return -1;
    auto found = g_byName.find(name);
    return found == g_byName.end() ? -1 : found->second;
}

int Extension_GetFunctionArgCount(int index) {
    if (index < 0 || index >= static_cast<int>(g_functions.size())) return kArgCountUnknown;
    return g_functions[static_cast<size_t>(index)].record->argumentCount;
}

bool Extension_Prepare() {
    for (const auto& state : g_packages) {
        for (const ExtensionFileRecord& file : state->package.files) {
            for (const auto& [name, value] : file.constants) {
                if (!Code_Constant_Define(name.c_str(), value.c_str())) return false;
            }
        }
    }
    for (PreparedFunction& f : g_functions) {
        if (f.record->kind == EXTENSION_FUNCTION_EXTERNAL) Bind(f);
    }
    for (const auto& state : g_packages) {
        const ExtensionPackage& package = state->package;
        for (size_t i = 0; i < package.files.size(); ++i) {
            const ExtensionFileRecord& file = package.files[i];
            std::unique_ptr<CCode>& code = state->files[i].code;
            code.reset();
            if (file.code.empty()) continue;
            code = std::make_unique<CCode>(file.code.c_str(), 0);
            const std::string name = "Extension." + package.name + "." + file.fileName;
            if (!code->Compile(name.c_str())) {
                const std::string message =
                    "COMPILATION ERROR in extension package " + package.name + "\n" +
                    (CodeError_State().Code_ErrorText ? CodeError_State().Code_ErrorText : "");
                code.reset();
                Code_Error_Show(message.c_str(), true);
                return false;
            }
        }
    }
    return true;
}

bool Extension_Load(const CDataView&, const IFFChunk&, const std::vector<uint32_t>& list) {
    size_t records = 0;
    for (uint32_t offset : list)
        records += offset != 0 ? 1 : 0;
    if (records > 0)
        DebugConsole->Output(
            "EXTN: %zu extension package records are not read; their functions do not exist\n", records);
    return true;
}

bool Extension_CallInitFunctions() {
    return RunPackageFunctions(true);
}

bool Extension_CallFinalFunctions() {
    return RunPackageFunctions(false);
}
