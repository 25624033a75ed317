#include "script/value.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/buffer.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

ArrayIndexFailureRecord ArrayIndexFailure = {};

namespace {

// Splits a flat element index into row and column (row truncated toward zero).
void SplitIndex(int index, int* row, int* column) {
    *row = index / kArrayRowStride;
    *column = index - *row * kArrayRowStride;
}

void RecordFailure(int row, int column, int rowCount, int rowLength) {
    ArrayIndexFailure.failed = true;
    ArrayIndexFailure.row = row;
    ArrayIndexFailure.column = column;
    ArrayIndexFailure.rowCount = rowCount;
    ArrayIndexFailure.rowLength = rowLength;
}

// Drops one reference held by `holder`; the owner link goes with the owner's reference. True when it was
// the last one.
bool DropReference(ScriptArray* array, const ScriptValue* holder) {
    --array->refCount;
    if (array->owner == holder) array->owner = nullptr;
    return array->refCount < 1;
}

// The first element of n that is not a real (n when all are): reals need no freeing, and rows of them
// are the common case, passed over four at a time (a real's kind bits are 0).
int FirstNotReal(const ScriptValue* items, int n) {
    int c = 0;
    for (; c + 4 <= n; c += 4)
        if (((items[c].kind | items[c + 1].kind | items[c + 2].kind | items[c + 3].kind) & KIND_MASK) != 0) break;
    while (c < n && items[c].IsReal())
        ++c;
    return c;
}

// Frees every element, every row and the array itself. Arrays inside that lose their last reference are
// freed in turn from a list rather than by recursion, as game code can nest arrays to any depth.
void Array_Destroy(ScriptArray* array) {
    std::vector<ScriptArray*> dying;
    for (;;) {
        for (int r = 0; r < array->rowCount; ++r) {
            ScriptArrayRow& row = array->rows[r];
            for (int c = FirstNotReal(row.items, row.length); c < row.length; ++c) {
                ScriptValue& element = row.items[c];
                if (element.IsReal()) continue;
                if (!element.IsArray())
                    Value_Free(&element);
                else if (element.arr && DropReference(element.arr, &element))
                    dying.push_back(element.arr);
            }
            MEM_FREE(row.items);
        }
        MEM_FREE(array->rows);
        MEM_FREE(array);
        if (dying.empty()) return;
        array = dying.back();
        dying.pop_back();
    }
}

// Makes a block hold at least `needed` bytes. Arrays mostly grow one element at a time, so a block that
// must grow at least doubles rather than being copied for every element; the memory manager zero-fills
// the growth, so the room beyond the used part holds empty rows and real 0 elements.
template <typename T> void GrowBlock(T*& block, size_t needed) {
    const size_t have = block ? MemoryManager::GetSize(block) : 0;
    if (needed <= have) return;
    size_t doubled = have * 2;
    if (doubled > MemoryManager::kMaxBlockSize) doubled = MemoryManager::kMaxBlockSize;
    MemoryManager::SetLength(block, needed > doubled ? needed : doubled, __FILE__, __LINE__);
}

} // namespace

// Grows the row table to `count` rows; new rows are empty.
void Array_SetRowCount(ScriptArray* array, int count) {
    GrowBlock(array->rows, sizeof(ScriptArrayRow) * static_cast<size_t>(count));
    array->rowCount = count;
}

// Grows a row to `length` elements; new elements are real 0.
void Row_SetLength(ScriptArrayRow* row, int length) {
    GrowBlock(row->items, sizeof(ScriptValue) * static_cast<size_t>(length));
    row->length = length;
}

namespace {

void Array_Release(ScriptArray* array, const ScriptValue* holder) {
    if (DropReference(array, holder)) Array_Destroy(array);
}

// Arrays are kept free of cycles: an array that held itself, directly or through arrays inside it, would
// never lose its last reference and would make every walk over its elements endless. Storing an array
// value into `target` is checked first; when target can be reached from the stored array, what is stored
// is a copy in which each array on the way to target (target included) is a clone as it stands, as a
// holder that writes to a shared array gets under copy-on-write. Arrays off those paths stay shared.

// The arrays reachable from `from` (itself included) through which `target` is reached, target included;
// empty when it is not reached. Each array is walked once, without recursion.
std::vector<ScriptArray*> ArraysLeadingTo(ScriptArray* from, const ScriptArray* target) {
    struct Walk {
        ScriptArray* array;
        int row;
        int column;
    };
    std::unordered_map<const ScriptArray*, bool> leads; // every array met: whether target is reached from it
    std::vector<ScriptArray*> found;
    std::vector<Walk> walks;
    // Meets an array; true when it is to be walked.
    auto meet = [&](ScriptArray* array) {
        if (!leads.emplace(array, array == target).second) return false;
        if (array == target) {
            found.push_back(array);
            return false;
        }
        walks.push_back(Walk{array, 0, 0});
        return true;
    };
    meet(from);
    while (!walks.empty()) {
        Walk& walk = walks.back();
        ScriptArray* parent = walk.array;
        ScriptArray* child = nullptr;
        while (!child && walk.row < parent->rowCount) {
            const ScriptArrayRow& row = parent->rows[walk.row];
            if (walk.column >= row.length) {
                ++walk.row;
                walk.column = 0;
                continue;
            }
            const ScriptValue& element = row.items[walk.column++];
            if (element.IsArray()) child = element.arr;
        }
        if (child) {
            if (!meet(child) && leads[child]) leads[parent] = true;
            continue;
        }
        walks.pop_back();
        if (!leads[parent]) continue;
        found.push_back(parent);
        if (!walks.empty()) leads[walks.back().array] = true;
    }
    return found;
}

// Clones every array of `leading` and links the clones to one another in place of the originals; gives
// the clone of `root`, without references yet.
ScriptArray* CloneLeading(const std::vector<ScriptArray*>& leading, const ScriptArray* root) {
    std::unordered_map<const ScriptArray*, ScriptArray*> clones;
    for (ScriptArray* array : leading) {
        ScriptArray* clone = Array_Clone(array, nullptr);
        clone->refCount = 0;
        clones.emplace(array, clone);
    }
    for (const auto& entry : clones) {
        ScriptArray* clone = entry.second;
        for (int r = 0; r < clone->rowCount; ++r) {
            ScriptArrayRow& row = clone->rows[r];
            for (int c = 0; c < row.length; ++c) {
                ScriptValue& element = row.items[c];
                if (!element.IsArray() || !element.arr) continue;
                auto found = clones.find(element.arr);
                if (found == clones.end()) continue;
                --element.arr->refCount; // the original is still held where it was
                element.arr = found->second;
                ++element.arr->refCount;
            }
        }
    }
    return clones.at(root);
}

// What storing `stored` into an element of `target` puts there: a plain copy, or the copy that keeps
// target out of its own elements. A target with one reference is held by the value written through
// alone (a variable or an argument, never an element), so no other array reaches it.
void CopyForElement(ScriptValue* held, const ScriptValue* stored, const ScriptArray* target) {
    if (stored->IsArray() && stored->arr && (stored->arr == target || target->refCount > 1)) {
        std::vector<ScriptArray*> leading = ArraysLeadingTo(stored->arr, target);
        if (!leading.empty()) {
            held->kind = stored->kind;
            held->arr = CloneLeading(leading, stored->arr);
            ++held->arr->refCount;
            return;
        }
    }
    Value_Copy(held, stored);
}

} // namespace

int Value_ArgToInt(const ScriptValue* arg, int argNumber) {
    if (arg->IsReal()) return X86_DoubleToInt32(arg->real);
    VM_ErrorNoContext("%s argument %d incorrect type expecting a Number or Pointer",
                      VM_CurrentFunctionName ? VM_CurrentFunctionName : "", argNumber);
    return 0;
}

ScriptArray* Array_Create(const ScriptValue* owner) {
    ScriptArray* array = static_cast<ScriptArray*>(MEM_ALLOC(sizeof(ScriptArray)));
    array->refCount = 1;
    array->owner = owner;
    return array;
}

ScriptArray* Array_Clone(const ScriptArray* array, const ScriptValue* newOwner) {
    ScriptArray* clone = Array_Create(newOwner);
    if (array->rowCount <= 0) return clone;
    Array_SetRowCount(clone, array->rowCount);
    for (int r = 0; r < array->rowCount; ++r) {
        const ScriptArrayRow& from = array->rows[r];
        if (from.length <= 0) continue;
        Row_SetLength(&clone->rows[r], from.length);
        for (int c = 0; c < from.length; ++c)
            Value_Copy(&clone->rows[r].items[c], &from.items[c]);
    }
    return clone;
}

void Value_Free(ScriptValue* v) {
    switch (v->Kind()) {
    case KIND_STRING:
        MEM_FREE(v->str);
        v->str = nullptr;
        break;
    case KIND_ARRAY: {
        ScriptArray* array = v->arr;
        Value_SetReal(v, 0.0);
        if (array) Array_Release(array, v);
        break;
    }
    default:
        break;
    }
}

void Value_AppendToText(ScriptValue* v, const char* tail) {
    char* text = Text_Append(v->IsString() ? v->str : nullptr, tail);
    v->kind = KIND_STRING;
    v->str = text;
}

// The old content of the destination is let go only after the new one is in place, so a source that
// lives inside the destination's array stays valid while it is read.
void Value_Copy(ScriptValue* dest, const ScriptValue* src) {
    if (dest == src) return;
    ScriptArray* oldArray = dest->IsArray() ? dest->arr : nullptr;
    // The destination's text block is kept for a string source and reused when it is large enough.
    char* block = dest->IsString() ? dest->str : nullptr;

    switch (src->Kind()) {
    case KIND_REAL:
        dest->kind = src->kind;
        dest->real = src->real;
        break;
    case KIND_STRING:
        if (src->str) {
            block = Text_CopyInto(block, src->str);
            dest->kind = src->kind;
            dest->str = block;
            block = nullptr;
        } else {
            dest->kind = src->kind;
            dest->str = nullptr;
        }
        break;
    case KIND_ARRAY:
        dest->kind = src->kind;
        dest->arr = src->arr;
        if (dest->arr) ++dest->arr->refCount;
        break;
    default:
        // Kinds without content: the kind word alone.
        dest->kind = src->kind;
        dest->real = 0.0;
        break;
    }
    MEM_FREE(block);
    if (oldArray) Array_Release(oldArray, dest);
}

void Value_Duplicate(ScriptValue* dest, const ScriptValue* src) {
    if (!src->IsArray() || !src->arr || dest == src) {
        Value_Copy(dest, src);
        return;
    }
    ScriptArray* clone = Array_Clone(src->arr, dest);
    ScriptArray* oldArray = dest->IsArray() ? dest->arr : nullptr;
    char* oldText = dest->IsString() ? dest->str : nullptr;
    dest->kind = src->kind;
    dest->arr = clone;
    MEM_FREE(oldText);
    if (oldArray) Array_Release(oldArray, dest);
}

bool Value_ArrayGet(ScriptValue* out, const ScriptValue* value, int index) {
    if (!value->IsArray() || !value->arr) {
        if (index != -1) VM_ErrorNoContext("trying to index variable that is not an array");
        Value_Copy(out, value);
        return true;
    }
    ScriptArray* array = value->arr;
    if (!array->owner) array->owner = value;
    if (index == -1) {
        Value_Copy(out, value);
        return true;
    }
    int row, column;
    SplitIndex(index, &row, &column);
    if (row >= 0 && row < array->rowCount && column >= 0 && column < array->rows[row].length) {
        Value_Copy(out, &array->rows[row].items[column]);
        return true;
    }
    bool rowExists = row >= 0 && row < array->rowCount;
    RecordFailure(row, column, array->rowCount, rowExists ? array->rows[row].length : -1);
    Value_Free(out);
    Value_SetReal(out, 0.0);
    return false;
}

void Value_ArraySet(ScriptValue* value, const ScriptValue* newValue, int index) {
    if (!value->IsArray() || !value->arr) return;
    ScriptArray* array = value->arr;
    int row, column;
    SplitIndex(index, &row, &column);
    if (row >= array->rowCount) Array_SetRowCount(array, row + 1);
    if (row < 0 || column < 0) {
        RecordFailure(row, column, array->rowCount, row < 0 ? -1 : array->rows[row].length);
        return;
    }
    // The new value is copied before the row grows: it may be an element of this very row.
    ScriptValue held;
    CopyForElement(&held, newValue, array);
    ScriptArrayRow* target = &array->rows[row];
    if (column >= target->length) Row_SetLength(target, column + 1);
    ScriptValue* element = &target->items[column];
    Value_Free(element);
    *element = held;
}

void Value_AssignIndexed(ScriptValue* dest, const ScriptValue* src, int index) {
    if (index == -1) {
        if (dest == src) return;
        if (dest->IsArray() && src->IsArray() && src->arr && !src->arr->owner) src->arr->owner = src;
        Value_Copy(dest, src); // releases what the destination held
        return;
    }
    // a[i] = a: the value is read before the destination changes.
    ScriptValue held;
    if (src == dest) {
        Value_Copy(&held, src);
        src = &held;
    }
    if (!dest->IsArray()) {
        Value_Free(dest);
        dest->kind = KIND_ARRAY;
        dest->arr = nullptr;
    }
    ScriptArray* array = dest->arr;
    if (!array) {
        dest->arr = Array_Create(dest);
    } else if (array->owner == dest || array->refCount == 1) {
        if (!array->owner) array->owner = dest;
    } else {
        dest->arr = Array_Clone(array, dest);
        --array->refCount;
    }
    Value_ArraySet(dest, src, index);
    Value_Free(&held);
}

// ---- Text forms

namespace {

// A real equal to its nearest integer: "%d" inside the int32 range, the exact integer outside it.
// Gives false for other reals.
bool FormatWholeReal(char* text, size_t size, double d) {
    if (std::isnan(d) || std::nearbyint(d) != d) return false;
    String_FormatWhole(text, static_cast<int>(size), d);
    return true;
}

void AppendRaw(char** cursor, char** start, int* capacity, const char* text) {
    size_t length = std::strlen(text);
    int64_t used = *start ? (*cursor - *start) + 1 : 1;
    if (used + static_cast<int64_t>(length) > *capacity) {
        int64_t grown = static_cast<int64_t>(*capacity) * 2;
        if (grown <= used + static_cast<int64_t>(length)) grown = used + static_cast<int64_t>(length) + 1;
        if (grown > static_cast<int64_t>(MemoryManager::kMaxBlockSize)) MemoryManager::OutOfMemory();
        char* block = static_cast<char*>(MEM_REALLOC(*start, static_cast<size_t>(grown)));
        *cursor = block + (used - 1);
        *start = block;
        *capacity = static_cast<int>(grown);
    }
    std::memcpy(*cursor, text, length + 1);
    *cursor += length;
}

// Arrays nested deeper than this are shown as "...": an array can hold itself (a[0] = a), and the text
// forms must end.
constexpr int kMaxShownNesting = 64;

void AppendText(char** cursor, char** start, int* capacity, const ScriptValue* v, int depth);
void AppendDebugText(tagIConsole* console, const ScriptValue* v, int depth);

} // namespace

void Value_AppendText(char** cursor, char** start, int* capacity, const ScriptValue* v) {
    AppendText(cursor, start, capacity, v, 0);
}

void Value_AppendDebugText(tagIConsole* console, const ScriptValue* v) {
    AppendDebugText(console, v, 0);
}

namespace {

void AppendText(char** cursor, char** start, int* capacity, const ScriptValue* v, int depth) {
    switch (v->kind) { // the whole word: marked values have no text form
    case KIND_REAL: {
        char text[512];
        if (std::isnan(v->real))
            std::snprintf(text, sizeof text, "NaN");
        else if (!FormatWholeReal(text, sizeof text, v->real))
            std::snprintf(text, sizeof text, "%.2f", v->real);
        AppendRaw(cursor, start, capacity, text);
        break;
    }
    case KIND_STRING:
        if (v->str) AppendRaw(cursor, start, capacity, v->str);
        break;
    case KIND_ARRAY: {
        if (depth >= kMaxShownNesting) {
            AppendRaw(cursor, start, capacity, "...");
            break;
        }
        AppendRaw(cursor, start, capacity, "{ ");
        const ScriptArray* array = v->arr;
        for (int r = 0; array && r < array->rowCount; ++r) {
            const ScriptArrayRow& row = array->rows[r];
            for (int c = 0; c < row.length; ++c) {
                if (c > 0) AppendRaw(cursor, start, capacity, ",");
                AppendText(cursor, start, capacity, &row.items[c], depth + 1);
            }
        }
        AppendRaw(cursor, start, capacity, " }");
        break;
    }
    case KIND_UNDEFINED:
        AppendRaw(cursor, start, capacity, "undefined");
        break;
    default:
        break;
    }
}

void AppendDebugText(tagIConsole* console, const ScriptValue* v, int depth) {
    constexpr int kShown = 30;
    switch (v->Kind()) {
    case KIND_REAL: {
        char text[512];
        if (FormatWholeReal(text, sizeof text, v->real))
            console->Output("%s", text);
        else
            console->Output("%f", v->real);
        break;
    }
    case KIND_STRING:
        console->Output("\"%s\"", v->str ? v->str : "");
        break;
    case KIND_ARRAY: {
        if (depth >= kMaxShownNesting) {
            console->Output("...");
            break;
        }
        console->Output("{ ");
        const ScriptArray* array = v->arr;
        int rows = array ? array->rowCount : 0;
        for (int r = 0; r < rows && r < kShown; ++r) {
            const ScriptArrayRow& row = array->rows[r];
            console->Output("{ ");
            for (int c = 0; c < row.length && c < kShown; ++c) {
                if (c > 0) console->Output(" ,");
                AppendDebugText(console, &row.items[c], depth + 1);
            }
            if (row.length > kShown) console->Output(" ... ");
            console->Output("},  ");
        }
        if (rows > kShown) console->Output(" ... ");
        console->Output(" }");
        break;
    }
    default:
        break;
    }
}

} // namespace

// ---- Binary form

namespace {

// Deepest nesting of arrays a saved value may have: a hostile file must not run the reader out of
// machine stack.
constexpr int kMaxSavedNesting = 1000;

bool DeserialiseInto(ScriptValue* v, IBuffer* buffer, int depth);

// Reads a row or element count and checks it: every row and every element takes at least the 4 bytes of
// its length or kind word, and its table must be a block the memory manager can hand out.
bool ReadCount(IBuffer* buffer, int* count) {
    return Buffer_ReadInt32(buffer, count) && Buffer_CountFits(buffer, *count, 4) &&
           static_cast<uint64_t>(*count) * sizeof(ScriptValue) <= MemoryManager::kMaxBlockSize;
}

bool DeserialiseArray(ScriptValue* v, IBuffer* buffer, int depth) {
    int rowCount;
    if (depth >= kMaxSavedNesting || !ReadCount(buffer, &rowCount)) return false;
    ScriptArray* array = Array_Create(v);
    v->arr = array;
    if (rowCount > 0) Array_SetRowCount(array, rowCount);
    for (int r = 0; r < rowCount; ++r) {
        int length;
        if (!ReadCount(buffer, &length)) return false;
        if (length <= 0) continue;
        Row_SetLength(&array->rows[r], length);
        for (int c = 0; c < length; ++c)
            if (!DeserialiseInto(&array->rows[r].items[c], buffer, depth + 1)) return false;
    }
    return true;
}

// v is empty. On failure v may hold what was read so far; the caller frees it.
bool DeserialiseInto(ScriptValue* v, IBuffer* buffer, int depth) {
    int word;
    if (!Buffer_ReadInt32(buffer, &word)) return false;
    uint32_t kindWord = static_cast<uint32_t>(word);
    uint32_t kind = kindWord & KIND_MASK;
    // A string or array kind with high bits set would be taken for one without carrying its payload.
    if ((kind == KIND_STRING || kind == KIND_ARRAY) && kindWord != kind) return false;

    if (kindWord == KIND_REAL || kindWord == KIND_STRING) {
        double real;
        if (!Buffer_ReadReal(buffer, eBuffer_F64, &real) || !buffer->CanRead(eBuffer_String)) return false;
        char* text = buffer->ReadString();
        if (kindWord == KIND_STRING) {
            v->kind = KIND_STRING;
            v->str = text;
        } else {
            MEM_FREE(text);
            Value_SetReal(v, real);
        }
        return true;
    }
    if (kindWord == KIND_ARRAY) {
        v->kind = KIND_ARRAY;
        v->arr = nullptr;
        return DeserialiseArray(v, buffer, depth);
    }
    // Every other kind word, negative ones included, is the word alone.
    v->kind = kindWord;
    v->real = 0.0;
    return true;
}

// An array nested deeper than a reader takes is written as the real 0, so that everything written can
// be read back.
void SerialiseAt(const ScriptValue* v, IBuffer* buffer, int depth) {
    static const ScriptValue kZero{};
    if (v->kind == KIND_ARRAY && depth >= kMaxSavedNesting) v = &kZero;
    Buffer_WriteReal(buffer, eBuffer_S32, static_cast<int32_t>(v->kind));
    if (v->kind == KIND_REAL || v->kind == KIND_STRING) {
        Buffer_WriteReal(buffer, eBuffer_F64, Value_Real(v));
        buffer->WriteString(Value_Text(v));
    } else if (v->kind == KIND_ARRAY) {
        const ScriptArray* array = v->arr;
        int rows = array ? array->rowCount : 0;
        Buffer_WriteReal(buffer, eBuffer_S32, rows);
        for (int r = 0; r < rows; ++r) {
            const ScriptArrayRow& row = array->rows[r];
            int length = row.length > 0 ? row.length : 0;
            Buffer_WriteReal(buffer, eBuffer_S32, length);
            for (int c = 0; c < length; ++c)
                SerialiseAt(&row.items[c], buffer, depth + 1);
        }
    }
}

} // namespace

void Value_Serialise(const ScriptValue* v, IBuffer* buffer) {
    SerialiseAt(v, buffer, 0);
}

bool Value_Deserialise(ScriptValue* v, IBuffer* buffer) {
    Value_Free(v);
    Value_SetReal(v, 0.0);
    if (DeserialiseInto(v, buffer, 0)) return true;
    Value_Free(v);
    Value_SetReal(v, 0.0);
    return false;
}
