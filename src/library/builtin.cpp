#include "library/builtin.h"

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

const char* BuiltInArgs::Text(int i) const {
    return Value_Text(At(i));
}

void BuiltIn_SetText(ScriptValue& result, char* text) {
    Value_Free(&result);
    result.kind = KIND_STRING;
    result.str = text;
}
