// Building and inspecting script values in tests.
#pragma once

#include "core/memory.h"
#include "core/text.h"
#include "script/value.h"

#include <string>

inline ScriptValue RealValue(double d) {
    ScriptValue v;
    Value_SetReal(&v, d);
    return v;
}

// A string value owning a copy of text (null for a string without text).
inline ScriptValue StringValue(const char* text) {
    ScriptValue v;
    v.kind = KIND_STRING;
    v.str = String_Duplicate(text);
    return v;
}

inline std::string TextOf(const ScriptValue& v) {
    char* start = nullptr;
    char* cursor = nullptr;
    int capacity = 0;
    Value_AppendText(&cursor, &start, &capacity, &v);
    std::string text = start ? start : "";
    MEM_FREE(start);
    return text;
}

// Element (row, column) of an array value.
inline const ScriptValue& Element(const ScriptValue& v, int row, int column) {
    return v.arr->rows[row].items[column];
}
