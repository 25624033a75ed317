#include "library/builtin.h"

#include "core/convert.h"
#include "script/value.h"

namespace {
const ScriptValue kMissingArgument{};
} // namespace

const ScriptValue* BuiltInArgs::At(int i) const {
    return i >= 0 && i < count ? &values[i] : &kMissingArgument;
}

double BuiltInArgs::Real(int i) const {
    return Value_Real(At(i));
}

float BuiltInArgs::Float(int i) const {
    return X86_DoubleToFloat(Real(i));
}

int32_t BuiltInArgs::Truncated(int i) const {
    return X86_DoubleToInt32(Real(i));
}

int32_t BuiltInArgs::Rounded(int i) const {
    return X86_RoundToInt32(Real(i));
}

const char* BuiltInArgs::Text(int i) const {
    return Value_Text(At(i));
}

void BuiltIn_SetText(ScriptValue& result, char* text) {
    Value_Free(&result);
    result.kind = KIND_STRING;
    result.str = text;
}
