// external_define and external_call: the game's side of the external-call engine.
#include "ext/external_call.h"

#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <memory>
#include <string>

namespace {

void DefineError(const std::string& reason) {
    Code_Error_Report(("external_define: " + reason).c_str(), false);
}

// external_define(library, name, convention, result type, argument count, argument types...) -> id.
void F_external_define(ScriptValue& result, const BuiltInArgs& args) {
    Value_SetReal(&result, -1);
    if (args.count < 5 || args.count - 5 != args.Rounded(4)) {
        DefineError("wrong number of arguments (the library, the name, the calling convention, the result "
                    "type, the argument count and that many argument types)");
        return;
    }
    if (!args.At(0)->IsString() || !args.At(1)->IsString()) {
        DefineError("the library and the function are named by strings");
        return;
    }
    const int count = args.Rounded(4);
    if (count > kExternalMaxArguments) {
        DefineError("a function takes at most 16 arguments");
        return;
    }
    const int convention = args.Rounded(2);
    if (convention != EXTERNAL_CDECL && convention != EXTERNAL_STDCALL) {
        DefineError("the calling convention is neither dll_cdecl nor dll_stdcall");
        return;
    }
    auto function = std::make_unique<ExternalFunction>();
    function->argumentCount = count;
    for (int i = -1; i < count; ++i) {
        const int type = args.Rounded(i < 0 ? 3 : 5 + i);
        if (type != EXTERNAL_TYPE_REAL && type != EXTERNAL_TYPE_STRING) {
            DefineError("a type is neither ty_real nor ty_string");
            return;
        }
        (i < 0 ? function->resultType : function->argumentTypes[i]) = type;
    }
    std::string error;
    const char* library = args.Text(0) ? args.Text(0) : "";
    if (!ExternalCall_Bind(library, args.Text(1) ? args.Text(1) : "", function.get(), &error)) {
        DefineError(error);
        return;
    }
    Value_SetReal(&result, ExternalCall_Define(std::move(function)));
}

// external_call(id, arguments...) -> the function's result.
void F_external_call(ScriptValue& result, const BuiltInArgs& args) {
    const ExternalFunction* function =
        ExternalCall_Defined(args.count > 0 && args.At(0)->IsReal() ? args.Rounded(0) : -1);
    if (function == nullptr) {
        Code_Error_Report("external_call: no external function was defined with this id", false);
        return;
    }
    std::string error;
    if (!ExternalCall_Call(*function, args.count - 1, args.values + 1, &result, &error))
        Code_Error_Report(("external_call: " + error).c_str(), false);
}

const BuiltInRegistration kExternalCallFunctions[] = {
    BUILTIN_ENTRY(external_define, -1),
    BUILTIN_ENTRY(external_call, -1),
};

} // namespace

void InitExternalCallFunctions() {
    BuiltIn_Register(kExternalCallFunctions);
}
