#include "library/builtin.h"

#include "core/convert.h"
#include "script/value.h"

float BuiltInArgs::Float(int i) const {
    return X86_DoubleToFloat(Real(i));
}

int32_t BuiltInArgs::Truncated(int i) const {
    return X86_DoubleToInt32(Real(i));
}

int32_t BuiltInArgs::Rounded(int i) const {
    return X86_RoundToInt32(Real(i));
}

void BuiltIn_SetText(ScriptValue& result, char* text) {
    Value_Free(&result);
    result.kind = KIND_STRING;
    result.str = text;
}

void BuiltIn_MarkPureOnReals(std::initializer_list<const char*> names) {
    for (const char* name : names) {
        int id;
        if (Code_Function_Find(name, id)) Code_Function_SetPureOnReals(id);
    }
}
