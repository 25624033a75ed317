// The script value, the reference-counted two-dimensional array, and their operations.
#pragma once

#include <cstdint>

class IBuffer;
class tagIConsole;
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
    uint32_t kind = KIND_REAL;
    uint32_t flags = 0;
    union {
        double real = 0.0;
        char* str;        // KIND_STRING: owned NUL-terminated UTF-8, or null
        ScriptArray* arr; // KIND_ARRAY: shared by reference count, never null once written
    };

    uint32_t Kind() const { return kind & KIND_MASK; }
    bool IsReal() const { return Kind() == KIND_REAL; }
    bool IsString() const { return Kind() == KIND_STRING; }
    bool IsArray() const { return Kind() == KIND_ARRAY; }
};
static_assert(sizeof(ScriptValue) == 16, "ScriptValue is 16 bytes");

// The real a value carries: its number for a real, 0.0 for every other kind.
inline double Value_Real(const ScriptValue* v) {
    return v->IsReal() ? v->real : 0.0;
}
// The text a value carries: its text (possibly null) for a string, null for every other kind.
inline const char* Value_Text(const ScriptValue* v) {
    return v->IsString() ? v->str : nullptr;
}

// Makes v the real d. v must hold nothing that needs freeing.
inline void Value_SetReal(ScriptValue* v, double d) {
    v->kind = KIND_REAL;
    v->real = d;
}

struct ScriptArrayRow {
    int length;
    ScriptValue* items;
};

struct ScriptArray {
    int refCount;
    ScriptArrayRow* rows;
    const ScriptValue* owner; // compared by address only, never read through; null when no value owns it
    int rowCount;
};

// Element (row, column) of an array is addressed by the one index row * 32000 + column; -1 is the whole
// value.
constexpr int kArrayRowStride = 32000;

// The last element access that missed; the VM words its error messages from it.
struct ArrayIndexFailureRecord {
    bool failed;
    int row;
    int column;
    int rowCount;
    int rowLength; // -1 when the row does not exist
};
// Left extern: the virtual machine fills and reads it by this name.
extern ArrayIndexFailureRecord ArrayIndexFailure;

// The integer of a built-in's argument: a real truncated toward zero (x86 rule: out of range, NaN and
// infinities give INT32_MIN); any other kind is a run-time error and gives 0. argNumber is for the message.
int Value_ArgToInt(const ScriptValue* arg, int argNumber);

ScriptArray* Array_Create(const ScriptValue* owner);
// Building an array row by row: the row count of an array (grown from fewer; new rows empty), and the
// length of one of its rows (grown from shorter; new elements real 0).
void Array_SetRowCount(ScriptArray* array, int count);
void Row_SetLength(ScriptArrayRow* row, int length);
// A new array (one reference, the given owner) with the same rows; elements copied with Value_Copy, so
// arrays inside are shared.
ScriptArray* Array_Clone(const ScriptArray* array, const ScriptValue* newOwner);

// Frees a string's text (the kind stays KIND_STRING, the text null) or drops an array reference (the kind
// becomes KIND_REAL); the array and its elements go when the last reference does.
void Value_Free(ScriptValue* v);
// Plain assignment: texts are copied (reusing the destination's block when it is large enough), arrays
// shared. What the destination held is released once the copy is made, so the source may lie inside it.
void Value_Copy(ScriptValue* dest, const ScriptValue* src);
// As Value_Copy, but an array is cloned for the destination instead of shared.
void Value_Duplicate(ScriptValue* dest, const ScriptValue* src);

// Reads element `index` of `value` (or the whole value for -1) into the empty `out`. A miss fills
// ArrayIndexFailure, gives real 0 and false.
bool Value_ArrayGet(ScriptValue* out, const ScriptValue* value, int index);
// Writes one element of the value's own array in place, growing rows as needed (a value that is not an
// array is left alone). A negative row or column writes nothing and fills ArrayIndexFailure. The value is
// a variable or an argument, not an element of an array. An array never comes to hold itself: storing
// an array from which this one can be reached stores a copy of it with clones of the arrays on the way.
void Value_ArraySet(ScriptValue* value, const ScriptValue* newValue, int index);
// Assignment to a variable with an optional index, with the copy-on-write rule: the array's owner (or its
// only holder) writes in place; any other holder gets its own clone first.
void Value_AssignIndexed(ScriptValue* dest, const ScriptValue* src, int index);

// Appends tail to the text of the string v in place: v then holds what joining the two texts gives (a
// value of kind exactly KIND_STRING whose text is never null; its flags stay). The block grows to twice
// what it needs, so that a text built up piece by piece is not copied for every piece. tail may lie in
// v's own text.
void Value_AppendToText(ScriptValue* v, const char* tail);
// Appends the text form of a value to a growing block held by the caller: *cursor is the write position
// (the terminating zero), *start the block, *capacity its size in bytes. The block is grown through the
// memory manager; a null block is allocated.
void Value_AppendText(char** cursor, char** start, int* capacity, const ScriptValue* v);
// The debug text of a value on a console (debug views and variable dumps).
void Value_AppendDebugText(tagIConsole* console, const ScriptValue* v);

// The binary form inside a buffer (little-endian, aligned by the buffer before each field):
// s32 kind word; kind 0 or 1: f64 real then the text as a buffer string (null as 04 00); kind 2: s32 row
// count, then per row s32 length and its elements in this same form; every other kind word: nothing more.
// An array nested 1000 deep or more inside the value is written as the real 0, as a read refuses it.
void Value_Serialise(const ScriptValue* v, IBuffer* buffer);
// Reads the binary form into v (freed first). Gives false, with v the real 0, when the bytes are cut
// short, a count is negative or larger than the bytes left, arrays nest too deep, or the kind word is a
// string or array kind with extra high bits.
bool Value_Deserialise(ScriptValue* v, IBuffer* buffer);
