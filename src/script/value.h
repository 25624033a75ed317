// The script value, the reference-counted two-dimensional array, and their operations.
#pragma once

#include <cstdint>

class IBuffer;
struct ScriptArray;

enum : uint32_t {
    KIND_REAL = 0,
    KIND_STRING = 1,
    KIND_ARRAY = 2,
    KIND_UNDEFINED = 5,
    KIND_MASK = 0xFFFFFF,
};

// 16 bytes: the whole kind word (only its low 24 bits decide the kind; the upper bits are carried along
// by copies and the binary form), a word kept for flags, and the payload. A zeroed record is the real 0.
// The payload is a union: a string or array value has no real of its own, and Value_Real() reads 0.0
// for it, as the stored real of a copied-in string always is.
struct ScriptValue {
    uint32_t kind;
    uint32_t flags;
    union {
        double real;
        char* str;          // KIND_STRING: owned NUL-terminated UTF-8, or null
        ScriptArray* arr;   // KIND_ARRAY: shared by reference count, never null
    };

    uint32_t Kind() const { return kind & KIND_MASK; }
    bool IsReal() const { return Kind() == KIND_REAL; }
    bool IsString() const { return Kind() == KIND_STRING; }
    bool IsArray() const { return Kind() == KIND_ARRAY; }
};
static_assert(sizeof(ScriptValue) == 16, "ScriptValue is 16 bytes");

struct ScriptArrayRow {
    int length;
    ScriptValue* items;
};

struct ScriptArray {
    int refCount;
    ScriptArrayRow* rows;
    const ScriptValue* owner;  // compared by address only; null when no value owns it
    int rowCount;
};

constexpr int kArrayRowStride = 32000;

// The last element access that missed; the VM words its error messages from it.
struct ArrayIndexFailureRecord {
    bool failed;
    int row;
    int column;
    int rowCount;
    int rowLength;  // -1 when the row does not exist
};
extern ArrayIndexFailureRecord ArrayIndexFailure;
