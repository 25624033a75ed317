// The machine's inner loop: runs the decoded form of a code (vm_decode.h). Each handler does its
// instruction (or fused run) whole for the items and variables it meets; anything else (errors, rare
// types and kinds) it leaves, before changing the stack or a variable, to the general handler, which
// executes the word the long way with the same results. The code is verified, so handlers take the
// stack's items without checking its depth. The stack pointer and the position in the code are kept in
// locals and written back to the context around everything that reads them there.
#include <algorithm>
#include <cmath>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/convert.h"
#include "core/debug_link.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_breakpoints.h"
#include "script/vm/vm_decode.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_frames.h"
#include "script/vm/vm_handles.h"
#include "script/world_interface.h"

#if VM_STEP_STUBS
#define VM_REGISTER(declaration, name) register declaration asm(name)
#else
#define VM_REGISTER(declaration, name) declaration
#endif

namespace vm {

namespace {

// The backward jumps and script calls between two drains of the message queue.
constexpr uint32_t kDrainEvery = 4096;

template <int T> constexpr int kItemSize = T == VT_VARIABLE ? 16 : T == VT_DOUBLE ? 8 : 4;

// A number read in place: a .v real, a .d or a .i.
template <int T> VM_INLINE bool ReadNumber(const uint8_t* p, double& d, int32_t& i) {
    if constexpr (T == VT_VARIABLE) {
        if ((Load<uint32_t>(p) & KIND_MASK) != KIND_REAL) return false;
        d = Load<double>(p + 8);
    } else if constexpr (T == VT_INT) {
        i = Load<int32_t>(p);
        d = i;
    } else {
        d = Load<double>(p);
    }
    return true;
}

// Pushes a real as a .v (kind word as given) or as a .d; gives the new top. (The loop's stack pointer is
// never passed by reference, so that it can stay in a register.)
[[nodiscard]] VM_INLINE uint8_t* PushReal(uint8_t* sp, double d, bool variable, uint32_t kind = KIND_REAL) {
    if (!variable) {
        sp -= 8;
        Store<double>(sp, d);
        return sp;
    }
    // The kind and flags words in one store, so that an 8-byte read of them soon after is served from
    // that store.
    sp -= 16;
    Store<uint64_t>(sp, kind);
    Store<double>(sp + 8, d);
    return sp;
}

// The remainder of two reals as the C library's fmod gives it. Whole numbers inside the range where
// reals are exact take the integer remainder, which is the same number: a remainder has the dividend's
// sign, a zero one too (as fmod's), so the sign is copied without a branch on the remainder, which
// would be as hard to predict as the numbers are.
VM_INLINE double RealRemainder(double a, double b) {
    constexpr double kExact = 9007199254740992.0; // 2^53
    if (a > -kExact && a < kExact && b > -kExact && b < kExact) {
        const int64_t ia = static_cast<int64_t>(a);
        const int64_t ib = static_cast<int64_t>(b);
        if (static_cast<double>(ia) == a && static_cast<double>(ib) == b && ib != 0) {
            const int64_t r = ia % ib;
            return std::copysign(static_cast<double>(r), a);
        }
    }
    return std::fmod(a, b);
}

// The real result of an arithmetic or bitwise instruction whose sides are not both .i (li, ri: the side
// of type .i as an integer); false for a case the general handler takes.
template <int OPCODE, int RIGHT, int LEFT>
VM_INLINE bool RealArithmetic(double ld, double rd, int32_t li, int32_t ri, double& d) {
    const auto whole = [](double real, int32_t integer, bool isInt) {
        return isInt ? static_cast<int64_t>(integer) : X86_DoubleToInt64(real);
    };
    if constexpr (OPCODE == OP_ADD) {
        d = ld + rd;
    } else if constexpr (OPCODE == OP_SUB) {
        d = ld - rd;
    } else if constexpr (OPCODE == OP_MUL) {
        d = ld * rd;
    } else if constexpr (OPCODE == OP_REM) {
        // Both sides truncated to 64 bits; a divisor that truncates to 0 is the general handler's error.
        const int64_t divisor = whole(rd, ri, RIGHT == VT_INT);
        if (divisor == 0) return false;
        d = static_cast<double>(X86_Div64(whole(ld, li, LEFT == VT_INT), divisor));
    } else if constexpr (OPCODE == OP_DIV || OPCODE == OP_MOD) {
        // A divisor too near 0 is the general handler's error.
        if (std::fabs(rd) < 1e-10) return false;
        d = OPCODE == OP_DIV ? ld / rd : RealRemainder(ld, rd);
    } else if constexpr (OPCODE == OP_AND || OPCODE == OP_OR || OPCODE == OP_XOR) {
        const int64_t a = whole(ld, li, LEFT == VT_INT);
        const int64_t b = whole(rd, ri, RIGHT == VT_INT);
        d = static_cast<double>(OPCODE == OP_AND ? a & b : OPCODE == OP_OR ? a | b : a ^ b);
    } else {
        // shl, shr: value left, count right.
        const int shift = static_cast<int>(whole(rd, ri, RIGHT == VT_INT) & 63);
        if constexpr (LEFT == VT_INT) {
            // A 32-bit value shifted by a real count (the count & 31); the result is real.
            d = OPCODE == OP_SHL ? X86_Shl32(li, shift) : X86_Sar32(li, shift);
        } else {
            const int64_t v = X86_DoubleToInt64(ld);
            d = static_cast<double>(OPCODE == OP_SHL ? X86_Shl64(v, shift) : X86_Sar64(v, shift));
        }
    }
    return true;
}

// A real truncated toward zero to 32 bits, INT32_MIN when out of range or NaN (as the x86 conversion).
VM_INLINE int32_t TruncateToInt32(double d) {
#if defined(__SSE2__)
    return _mm_cvttsd_si32(_mm_set_sd(d));
#else
    return X86_DoubleToInt32(d);
#endif
}

// The real result of "real op k" for a whole number k, as RealArithmetic gives it; mod and div of a whole
// number that fits 32 bits take the 32-bit integer operation, which gives the same number (the
// remainder takes the dividend's sign, a zero one too, as fmod's does; see RealRemainder).
template <int OPCODE> VM_INLINE bool ImmediateArithmetic(double left, int32_t k, double& d) {
    if constexpr (OPCODE == OP_MOD || OPCODE == OP_REM) {
        const int32_t whole = TruncateToInt32(left);
        if (static_cast<double>(whole) == left && k != 0 && k != -1) [[likely]] {
            if constexpr (OPCODE == OP_REM) {
                d = whole / k;
            } else {
                const int32_t r = whole % k;
                d = std::copysign(static_cast<double>(r), left);
            }
            return true;
        }
    }
    return RealArithmetic<OPCODE, VT_INT, VT_VARIABLE>(left, static_cast<double>(k), 0, k, d);
}

// The operation IntegerArithmetic does for an opcode: / and div are one on whole numbers (the quotient,
// truncated), so that their handlers on .i operands are the same code (see kHandlerCodes).
constexpr int IntegerOperation(int opcode) {
    return opcode == OP_REM ? OP_DIV : opcode;
}

// The .i result of an instruction on two .i; false for a case the general handler takes.
template <int OPCODE> VM_INLINE bool IntegerArithmetic(int32_t l, int32_t r, int32_t& result) {
    switch (IntegerOperation(OPCODE)) {
    case OP_ADD:
        result = Wrap_Add32(l, r);
        return true;
    case OP_SUB:
        result = Wrap_Sub32(l, r);
        return true;
    case OP_MUL:
        result = Wrap_Mul32(l, r);
        return true;
    case OP_DIV:
        if (r == 0) return false;
        result = X86_Div32(l, r);
        return true;
    case OP_MOD:
        if (r == 0) return false;
        result = X86_Rem32(l, r);
        return true;
    case OP_AND:
        result = l & r;
        return true;
    case OP_OR:
        result = l | r;
        return true;
    case OP_XOR:
        result = l ^ r;
        return true;
    case OP_SHL:
        result = X86_Shl32(l, r & 63);
        return true;
    default:
        result = X86_Sar32(l, r & 63);
        return true;
    }
}

// The items replaced by the result; gives the new top, or null (nothing done) for a case the general
// handler takes.
template <int OPCODE, int RIGHT, int LEFT> [[nodiscard]] VM_INLINE uint8_t* FastBinary(uint8_t* sp) {
    constexpr int rightSize = kItemSize<RIGHT>;
    constexpr int leftSize = kItemSize<LEFT>;
    double rd = 0, ld = 0;
    int32_t ri = 0, li = 0;
    if (!ReadNumber<RIGHT>(sp, rd, ri) || !ReadNumber<LEFT>(sp + rightSize, ld, li)) return nullptr;
    constexpr bool integers = RIGHT == VT_INT && LEFT == VT_INT;
    if constexpr (OPCODE >= OP_SLT && OPCODE <= OP_SGT) {
        const bool result = integers ? CompareByOrder(OPCODE, (li > ri) - (li < ri))
                                     : CompareByDifference(OPCODE, ld - rd);
        sp += rightSize + leftSize - 4;
        Store<int32_t>(sp, result ? 1 : 0);
        return sp;
    } else if constexpr (integers) {
        int32_t r;
        if (!IntegerArithmetic<OPCODE>(li, ri, r)) return nullptr;
        sp += 4;
        Store<int32_t>(sp, r);
        return sp;
    } else {
        double d;
        if constexpr (RIGHT == VT_INT && LEFT != VT_INT) {
            if (!ImmediateArithmetic<OPCODE>(ld, ri, d)) return nullptr;
        } else {
            if (!RealArithmetic<OPCODE, RIGHT, LEFT>(ld, rd, li, ri, d)) return nullptr;
        }
        sp += rightSize + leftSize;
        sp = PushReal(sp, d, RIGHT == VT_VARIABLE || LEFT == VT_VARIABLE);
        return sp;
    }
}

// The text of a .s item, or of a .v item of kind string; false for anything else.
VM_INLINE bool ItemText(const uint8_t* p, int type, const char*& text, uint32_t& handle) {
    if (type == VT_STRING) {
        handle = Load<uint32_t>(p);
    } else {
        if ((Load<uint32_t>(p) & KIND_MASK) != KIND_STRING) return false;
        handle = VMText_ValueHandle(Load<uint64_t>(p + 8));
    }
    return VMString_Read(handle, &text);
}

// add and the comparisons of two texts (each a .s, or a .v of kind string) without taking them off the
// stack first: the result replaces them, and the new stack pointer is given. Null, with nothing done, for
// any other pair.
[[gnu::noinline]] uint8_t* TextBinary(VMContext& c, uint32_t word, uint8_t* sp) {
    const int opcode = VM_Opcode(word);
    const int right = VM_Type1(word);
    const int left = VM_Type2(word);
    if ((right != VT_STRING && right != VT_VARIABLE) || (left != VT_STRING && left != VT_VARIABLE)) return nullptr;
    if (opcode != OP_ADD && (opcode < OP_SLT || opcode > OP_SGT)) return nullptr;
    const int rightSize = right == VT_STRING ? 4 : 16;
    const int leftSize = left == VT_STRING ? 4 : 16;
    const char *r, *l;
    uint32_t rh, lh;
    if (!ItemText(sp, right, r, rh) || !ItemText(sp + rightSize, left, l, lh)) return nullptr;
    if (opcode == OP_ADD) {
        char* joined = Text_Join(l, r);
        VMString_Drop(rh);
        if (lh != rh) VMString_Drop(lh);
        sp += rightSize + leftSize;
        const uint32_t handle = VMString_Hold(joined, c.level);
        if (right == VT_VARIABLE || left == VT_VARIABLE) {
            sp -= 16;
            Store<uint64_t>(sp, KIND_STRING);
            Store<uint64_t>(sp + 8, handle);
        } else {
            sp -= 4;
            Store<uint32_t>(sp, handle);
        }
        return sp;
    }
    const bool result = CompareByOrder(opcode, TextOrder(l, r));
    // A constant (live: it was just read) has nothing to let go.
    if (rh & kHeldHandleBit) VMString_Drop(rh);
    if (lh != rh && (lh & kHeldHandleBit)) VMString_Drop(lh);
    sp += rightSize + leftSize - 4;
    Store<int32_t>(sp, result ? 1 : 0);
    return sp;
}

template <int FROM, int TO> [[nodiscard]] VM_INLINE uint8_t* FastConversion(uint8_t* sp) {
    if constexpr (FROM == VT_STRING) {
        // The handle itself becomes the .v's text.
        const uint32_t handle = Load<uint32_t>(sp);
        const char* text;
        if (!VMString_Read(handle, &text)) return nullptr;
        sp -= 12;
        Store<uint64_t>(sp, KIND_STRING);
        Store<uint64_t>(sp + 8, VMText_ValuePayload(handle));
        return sp;
    } else if constexpr (FROM == VT_BOOL) {
        const bool truth = (Load<uint32_t>(sp) & 0xFF) != 0;
        if constexpr (TO == VT_INT) {
            Store<int32_t>(sp, truth ? 1 : 0);
        } else {
            sp += 4;
            sp = PushReal(sp, truth ? 1.0 : 0.0, TO == VT_VARIABLE);
        }
        return sp;
    } else {
        constexpr int size = kItemSize<FROM>;
        double d = 0;
        int32_t i = 0;
        if (!ReadNumber<FROM>(sp, d, i)) return nullptr;
        sp += size;
        if constexpr (TO == VT_BOOL) {
            // A .v real is true by its magnitude, a .d above 0.5, an integer when not 0.
            const bool truth = FROM == VT_VARIABLE ? std::fabs(d) > 0.5 : FROM == VT_INT ? i != 0 : d > 0.5;
            sp -= 4;
            Store<int32_t>(sp, truth ? 1 : 0);
        } else if constexpr (TO == VT_INT) {
            sp -= 4;
            Store<int32_t>(sp, X86_DoubleToInt32(d));
        } else {
            sp = PushReal(sp, d, TO == VT_VARIABLE);
        }
        return sp;
    }
}

// A local about to be given a real that does not hold one with a plain kind word: made when it does not
// exist, its text freed; its kind becomes real (arrays never come here).
[[gnu::noinline]] ScriptValue* LocalForReal(LocalsLevel* level, ScriptValue* holder, int slot) {
    if (holder->kind == kLocalAbsent) return MakeLocal(level, slot);
    if (holder->IsString()) MEM_FREE(holder->str);
    holder->kind = KIND_REAL;
    return holder;
}

// The array a variable holds, or null.
VM_INLINE ScriptArray* HeldArray(const ScriptValue* holder) {
    return holder != nullptr && holder->IsArray() ? holder->arr : nullptr;
}

// The element of an array at an index, when it exists.
VM_INLINE ScriptValue* ArrayElement(const ScriptArray* array, int index) {
    if (array->rowCount <= 0) return nullptr;
    // An index inside the first row needs no division (a negative one fails the unsigned test).
    const ScriptArrayRow& first = array->rows[0];
    if (static_cast<uint32_t>(index) < static_cast<uint32_t>(first.length) && index < kArrayRowStride)
        return &first.items[index];
    // Past the first row's end (an array being grown element by element), or negative.
    if (static_cast<uint32_t>(index) < static_cast<uint32_t>(kArrayRowStride) || index < 0) return nullptr;
    const int row = index / kArrayRowStride;
    const int column = index - row * kArrayRowStride;
    if (row >= array->rowCount || column >= array->rows[row].length) return nullptr;
    return &array->rows[row].items[column];
}

// The element of an array variable at an index, when it exists.
VM_INLINE ScriptValue* Element(const ScriptValue* holder, int index) {
    const ScriptArray* array = HeldArray(holder);
    return array != nullptr ? ArrayElement(array, index) : nullptr;
}

// The element of an array at [row, column], when it exists: the element of the one index
// row * 32000 + column (wrapped to 32 bits), found without taking the index apart again when the row and
// column are that index's own.
VM_INLINE ScriptValue* ArrayElement2D(const ScriptArray* array, int32_t row, int32_t column) {
    constexpr uint32_t kRowsInRange = (INT32_MAX - (kArrayRowStride - 1)) / kArrayRowStride + 1;
    if (static_cast<uint32_t>(column) >= static_cast<uint32_t>(kArrayRowStride) ||
        static_cast<uint32_t>(row) >= kRowsInRange)
        return ArrayElement(array, Wrap_Add32(Wrap_Mul32(row, kArrayRowStride), column));
    if (row >= array->rowCount) return nullptr;
    const ScriptArrayRow& at = array->rows[row];
    return column < at.length ? &at.items[column] : nullptr;
}

// The real in the field of a site's FieldCode (not -1) of a non-null instance.
VM_INLINE double FieldAt(const CInstance* instance, int32_t code) {
    const auto* at = reinterpret_cast<const uint8_t*>(instance) + (code >> 1);
    return (code & 1) ? static_cast<double>(Load<int32_t>(at)) : static_cast<double>(Load<float>(at));
}

// Writes a real into a field of a non-null instance as a setter marked as only writing it does (the
// field of a StoreCode, and the flag byte at mark, unless -1, set to 1 when the field changes).
VM_INLINE void StoreFieldAt(CInstance* instance, int32_t code, int32_t mark, double real) {
    auto* base = reinterpret_cast<uint8_t*>(instance);
    uint8_t* at = base + (code >> 1);
    const float value = X86_DoubleToFloat(real);
    bool changed;
    if (code & 1) {
        const int32_t rounded = X86_RoundToInt32(value);
        changed = rounded != Load<int32_t>(at);
        Store<int32_t>(at, rounded);
    } else {
        changed = value != Load<float>(at);
        Store<float>(at, value);
    }
    if (changed && mark >= 0) base[mark] = 1;
}
VM_INLINE void StoreField(CInstance* instance, const BuiltInVariable& entry, double real) {
    StoreFieldAt(instance, FieldCodeOf(entry.store, entry.storeOffset), entry.storeMark, real);
}

// The value pointer of variable id in a list, through the site's cache.
VM_INLINE ScriptValue* CachedSlot(SlotCache& cache, CVariableList* list, int id) {
    if (list->Layout() == cache.layout) return list->At(cache.position);
    const int position = list->PositionOf(id);
    if (position < 0) return nullptr;
    if (list->LayoutShared()) cache = {list->Layout(), position};
    return list->At(position);
}

// What a pop stores, read in place: an item of the type (.v real or string, .i, .d, .b, .l, .s). Gives
// the item's size, or 0 for an item of another kind.
VM_INLINE int StoredItem(const uint8_t* p, int type, uint32_t& kind, double& real, uint32_t& handle) {
    kind = KIND_REAL;
    // The types code stores most often first, tested in turn.
    if (type == VT_VARIABLE) {
        kind = Load<uint32_t>(p);
        if ((kind & KIND_MASK) == KIND_REAL) {
            real = Load<double>(p + 8);
            return 16;
        }
        handle = VMText_ValueHandle(Load<uint64_t>(p + 8));
        return (kind & KIND_MASK) == KIND_STRING ? 16 : 0;
    }
    if (type == VT_INT) {
        real = Load<int32_t>(p);
        return 4;
    }
    switch (type) {
    case VT_BOOL:
        real = (Load<uint32_t>(p) & 0xFF) ? 1.0 : 0.0;
        return 4;
    case VT_DOUBLE:
        real = Load<double>(p);
        return 8;
    case VT_LONG:
        real = static_cast<double>(Load<int64_t>(p));
        return 8;
    case VT_STRING:
        kind = KIND_STRING;
        handle = Load<uint32_t>(p);
        return 4;
    default:
        return 0;
    }
}

// Pushes the whole value of a variable that holds a text or an array, as reading it does: the text is
// copied, the array shared (and the variable becomes the owner of an array that has none). Gives the
// new top, or null (nothing done) for a value of another kind.
[[nodiscard]] VM_INLINE uint8_t* PushWhole(VMContext& c, uint8_t* sp, ScriptValue* holder) {
    uint32_t handle;
    if (holder->IsString()) {
        handle = VMString_Hold(Text_Copy(holder->str), c.level);
    } else if (holder->IsArray() && holder->arr != nullptr) {
        ScriptArray* array = holder->arr;
        if (array->owner == nullptr) array->owner = holder;
        ++array->refCount;
        handle = VMArray_Hold(array, c.level);
    } else {
        return nullptr;
    }
    sp -= 16;
    Store<uint64_t>(sp, holder->kind);
    Store<uint64_t>(sp + 8, handle);
    return sp;
}

// A stored item that Assign takes: a real, or a text whose handle is live.
VM_INLINE bool Storable(uint32_t kind, uint32_t handle) {
    const char* text;
    return (kind & KIND_MASK) != KIND_STRING || VMString_Read(handle, &text);
}

// Assigns a stored item to a variable that holds no array, as assigning the whole variable does: a text
// moves in (a constant is copied). False, with nothing done, when the text's handle is not live.
VM_INLINE bool Assign(ScriptValue* holder, uint32_t kind, double real, uint32_t handle) {
    if ((kind & KIND_MASK) == KIND_STRING) {
        char* text;
        if (!VMString_TakeOrCopy(handle, &text)) return false;
        if (holder->IsString()) MEM_FREE(holder->str);
        holder->kind = kind;
        holder->str = text;
    } else {
        if (holder->IsString()) MEM_FREE(holder->str);
        holder->kind = kind;
        holder->real = real;
    }
    return true;
}

// Makes an element that holds a real (nothing to free) the real of a stored item's kind word.
VM_INLINE void SetRealElement(ScriptValue& element, uint32_t kind, double real) {
    element.kind = kind;
    element.flags = 0;
    element.real = real;
}

// Writes a real over the element at [row, column] of an array when that element exists and holds a real
// (row not past those the one index reaches without wrapping); false, with nothing done, otherwise.
VM_INLINE bool OverwriteReal(ScriptArray* array, uint32_t row, uint32_t column, uint32_t kind, double real) {
    if (row >= static_cast<uint32_t>(array->rowCount) || column >= static_cast<uint32_t>(kArrayRowStride)) return false;
    const ScriptArrayRow& at = array->rows[row];
    if (column >= static_cast<uint32_t>(at.length)) return false;
    ScriptValue& element = at.items[column];
    if (!element.IsReal()) return false;
    SetRealElement(element, kind, real);
    return true;
}

// Writes a real into an element of an array variable, as assigning it would, where the variable may
// write its array in place (it owns it, or is its only holder, and then becomes its owner): over a real
// element directly, else (an element to make, or one holding a text or an array) through the array's
// own element write. False, with nothing done, for any other case.
VM_INLINE bool WriteRealElement(ScriptValue* holder, int index, uint32_t kind, double real) {
    ScriptArray* array = HeldArray(holder);
    if (array == nullptr) return false;
    // The common case first, tested as a whole: a real element of the first row of an array the variable
    // owns (a negative index fails the unsigned test).
    if (array->owner == holder && OverwriteReal(array, 0, static_cast<uint32_t>(index), kind, real)) [[likely]]
        return true;
    if (index < 0) return false;
    if (array->owner != holder) {
        if (array->refCount != 1) return false;
        if (array->owner == nullptr) array->owner = holder;
    }
    // Past the first row, or one past the end of an existing row whose block has room: the row grows in
    // place (the room past a row's end is zero bytes, real 0 elements, as growing the row would give).
    const int row = index < kArrayRowStride ? 0 : index / kArrayRowStride;
    const int column = index - row * kArrayRowStride;
    if (row < array->rowCount) {
        ScriptArrayRow& target = array->rows[row];
        if (column >= target.length && target.items != nullptr &&
            MemoryManager::GetSize(target.items) >= sizeof(ScriptValue) * (static_cast<size_t>(column) + 1)) {
            target.length = column + 1;
            SetRealElement(target.items[column], kind, real);
            return true;
        }
        if (OverwriteReal(array, static_cast<uint32_t>(row), static_cast<uint32_t>(column), kind, real)) return true;
    }
    ScriptValue value{};
    value.kind = kind;
    value.real = real;
    Value_ArraySet(holder, &value, index);
    return true;
}

// WriteRealElement of the element at [row, column]: a real element of an existing row of an array the
// variable owns is written where it lies, without making the one index and taking it apart again (a row
// past those the one index reaches without wrapping goes the one index's way, as ArrayElement2D).
VM_INLINE bool WriteRealElement2D(ScriptValue* holder, int32_t row, int32_t column, uint32_t kind, double real) {
    constexpr uint32_t kRowsInRange = (INT32_MAX - (kArrayRowStride - 1)) / kArrayRowStride + 1;
    ScriptArray* array = HeldArray(holder);
    if (array != nullptr && array->owner == holder && static_cast<uint32_t>(row) < kRowsInRange &&
        OverwriteReal(array, static_cast<uint32_t>(row), static_cast<uint32_t>(column), kind, real)) [[likely]]
        return true;
    return WriteRealElement(holder, Wrap_Add32(Wrap_Mul32(row, kArrayRowStride), column), kind, real);
}

// Stores the item on top (as a pop of the type takes it) into an element of an array variable when it is
// a real that WriteRealElement writes: gives the item's size, or 0 with nothing done. The element is at
// index, or at [row, column].
template <typename... Where> VM_INLINE int StoreRealElement(const uint8_t* sp, int type, ScriptValue* holder, Where... at) {
    uint32_t kind = KIND_REAL, handle = 0;
    double real = 0;
    const int size = StoredItem(sp, type, kind, real, handle);
    if (size == 0 || (kind & KIND_MASK) != KIND_REAL) return 0;
    if constexpr (sizeof...(at) == 2) return WriteRealElement2D(holder, at..., kind, real) ? size : 0;
    else return WriteRealElement(holder, at..., kind, real) ? size : 0;
}

// The code the call record calls when the loop can call it: the script had bytecode when the record was
// decoded, the call depth allows a frame more and no trace is asked for; else null.
VM_INLINE const CCode* CallTarget(const VMContext& c, const Insn& call) {
    if (c.callDepth >= kVMMaxCallDepth || VMDebug_State().VM_Trace) return nullptr;
    return reinterpret_cast<const CCode*>(static_cast<intptr_t>(call.x.l));
}

// True when every one of the n .v items at p is a value the stack can give back (a real, a live text
// or array handle, or a kind without content).
VM_INLINE bool LiveValues(const uint8_t* p, int n) {
    for (int i = 0; i < n; ++i, p += 16) {
        const uint32_t kind = Load<uint32_t>(p) & KIND_MASK;
        if (kind == KIND_STRING) {
            const char* text;
            if (!VMString_Read(VMText_ValueHandle(Load<uint64_t>(p + 8)), &text)) return false;
        } else if (kind == KIND_ARRAY) {
            ScriptArray* array;
            if (!VMArray_Peek(Load<uint32_t>(p + 8), &array)) return false;
        }
    }
    return true;
}

// True when each of the n (at most 16) .v items at p holds a real.
VM_INLINE bool RealItems(const uint8_t* p, int n) {
    static_assert(KIND_REAL == 0);
    uint32_t kinds = 0;
#define VM_KIND_OF_ITEM(i) kinds |= Load<uint32_t>(p + 16 * (i))
    VM_UNROLLED_16(n, VM_KIND_OF_ITEM)
#undef VM_KIND_OF_ITEM
    return (kinds & KIND_MASK) == KIND_REAL;
}

// Takes n live .v items at p (LiveValues) into values that own their texts and arrays.
VM_INLINE void TakeValues(const uint8_t* p, int n, ScriptValue* out) {
    for (int i = 0; i < n; ++i, p += 16) {
        ScriptValue& v = out[i];
        v.kind = Load<uint32_t>(p);
        v.flags = Load<uint32_t>(p + 4);
        const uint64_t payload = Load<uint64_t>(p + 8);
        switch (v.Kind()) {
        case KIND_STRING:
            VMString_TakeOrCopy(VMText_ValueHandle(payload), &v.str);
            break;
        case KIND_ARRAY:
            VMArray_Take(static_cast<uint32_t>(payload), &v.arr);
            break;
        default:
            v.real = Load<double>(p + 8);
            break;
        }
    }
}

// Copies n .v items at p into values as they lie, and gives their kind words or-ed together: a real's
// kind (0) only when every item is a real, whose .v item is laid out as its value.
VM_INLINE uint32_t CopyItems(const uint8_t* p, int n, ScriptValue* out) {
    static_assert(KIND_REAL == 0 && sizeof(ScriptValue) == 16);
    uint32_t kinds = 0;
#define VM_COPY_ITEM(i)                                                                                    \
    kinds |= Load<uint32_t>(p + 16 * (i));                                                                 \
    std::memcpy(static_cast<void*>(out + (i)), p + 16 * (i), 16)
    VM_UNROLLED_16(n, VM_COPY_ITEM)
#undef VM_COPY_ITEM
    return kinds & KIND_MASK;
}

// Takes n live .v items at p (LiveValues) into argument values, and gives the bits of those the caller
// must free after the call. For a function that only reads its arguments, a constant text is handed over
// as it is (its bit clear).
VM_INLINE uint32_t TakeArguments(const uint8_t* p, int n, ScriptValue* out, bool reading) {
    uint32_t owned = 0;
    for (int i = 0; i < n; ++i, p += 16) {
        ScriptValue& v = out[i];
        v.kind = Load<uint32_t>(p);
        v.flags = Load<uint32_t>(p + 4);
        const uint64_t payload = Load<uint64_t>(p + 8);
        if (v.Kind() == KIND_STRING) {
            const uint32_t handle = VMText_ValueHandle(payload);
            const char* constant;
            if (reading && !(handle & kHeldHandleBit) && VMString_GetConstant(handle, &constant)) {
                v.str = const_cast<char*>(constant);
                continue;
            }
            VMString_TakeOrCopy(handle, &v.str);
        } else if (v.Kind() == KIND_ARRAY) {
            VMArray_Take(static_cast<uint32_t>(payload), &v.arr);
        } else {
            v.real = Load<double>(p + 8);
        }
        owned |= 1u << i;
    }
    return owned;
}

// Instances found by their ids, kept while nothing has run that could make, destroy or mark one: an entry
// holds while its epoch is the current one. One table serves every loop, nested ones included, so that
// any loop's Forget drops what all of them found.
struct FoundInstance {
    CInstance* instance;
    CVariableList* vars; // its list, so that a variable of it is one load nearer
    uint32_t epoch;
    int32_t id;
    bool deactivated; // as it was found (deactivating one makes the table forget it, as destroying does)
};
constexpr uint32_t kFoundInstances = 256; // a power of two: ids are spread by their low bits
FoundInstance g_foundInstances[kFoundInstances];
uint32_t g_foundEpoch = 1;

// What the loop keeps at hand about the instances whose variables it reads: self's and other's lists,
// looked up again whenever self or other is another instance, and after anything that may have made or
// destroyed instances.
struct Instances {
    IScriptWorld* world = nullptr;
    // Where an instance keeps the pointer to its list (IScriptWorld::InstanceVariablesOffset), or -1.
    int varsOffset = -1;
    CInstance* self = nullptr;
    CVariableList* selfVars = nullptr;
    CInstance* other = nullptr;
    CVariableList* otherVars = nullptr;

    void Enter(IScriptWorld* installed) {
        world = installed;
        varsOffset = world != nullptr ? world->InstanceVariablesOffset() : -1;
        Forget();
    }
    // After anything that may have made or destroyed instances.
    void Forget() {
        self = other = nullptr;
        selfVars = otherVars = nullptr;
        if (++g_foundEpoch == 0) {
            // Entries of an epoch that came round again must not hold.
            std::memset(g_foundInstances, 0, sizeof g_foundInstances);
            g_foundEpoch = 1;
        }
    }
    // The list of a non-null instance.
    VM_INLINE CVariableList* Vars(CInstance* instance) const {
        if (varsOffset >= 0) return Load<CVariableList*>(reinterpret_cast<const uint8_t*>(instance) + varsOffset);
        return world != nullptr ? world->InstanceVariables(instance) : nullptr;
    }
    VM_INLINE CVariableList* SelfVars(CInstance* instance) {
        if (instance != self || selfVars == nullptr) {
            self = instance;
            selfVars = instance != nullptr ? Vars(instance) : nullptr;
        }
        return selfVars;
    }
    VM_INLINE CVariableList* OtherVars(CInstance* instance) {
        if (instance != other || otherVars == nullptr) {
            other = instance;
            otherVars = instance != nullptr ? Vars(instance) : nullptr;
        }
        return otherVars;
    }
    // The instance an instance code names for a variable access that reaches one instance, or null
    // (the general way takes the rest: all, objects, noone).
    VM_INLINE CInstance* Instance(const VMContext& c, int code) {
        // Instance ids first: "inst.hp" names one most often.
        if (code < kFirstInstanceId) {
            if (code == INSTANCE_SELF || code == INSTANCE_BUILTIN) return c.self;
            return code == INSTANCE_OTHER ? c.other : nullptr;
        }
        const FoundInstance* found = Found(code);
        return found != nullptr ? found->instance : nullptr;
    }
    // The table's entry for an instance id that names an instance that is not marked, or null.
    VM_INLINE const FoundInstance* Found(int code) {
        FoundInstance& entry = g_foundInstances[static_cast<uint32_t>(code) & (kFoundInstances - 1)];
        if (entry.id == code && entry.epoch == g_foundEpoch) return &entry;
        return Find(code, entry);
    }
    // An id the table does not hold: looked up, and kept when it names an instance that is not marked.
    [[gnu::noinline]] const FoundInstance* Find(int code, FoundInstance& entry) {
        if (world == nullptr) return nullptr;
        CInstance* instance = world->FindInstance(code);
        if (instance == nullptr || world->IsMarked(instance)) return nullptr;
        entry = {instance, Vars(instance), g_foundEpoch, code, world->IsDeactivated(instance)};
        return &entry;
    }
    // The value of user variable id of a list that an instance code other than self's, the globals' and
    // the locals' reaches, or null. Kept out of line: the handlers that reach variables stay small enough
    // to keep their own values in registers.
    [[gnu::noinline]] ScriptValue* OtherUser(const VMContext& c, SlotCache& cache, int id, int code) {
        return UserOf(c, cache, id, code);
    }
    // The same inline, for the handlers of a variable of an instance id (inst.hp).
    VM_INLINE ScriptValue* UserOf(const VMContext& c, SlotCache& cache, int id, int code) {
        CVariableList* list;
        if (code >= kFirstInstanceId) {
            const FoundInstance* found = Found(code);
            if (found == nullptr) return nullptr;
            list = found->vars;
        } else {
            CInstance* target = Instance(c, code);
            if (target == nullptr) return nullptr;
            list = target == c.self ? SelfVars(target) : OtherVars(target);
        }
        return list != nullptr ? CachedSlot(cache, list, id) : nullptr;
    }
};

const void* const* g_loopEntries = nullptr;

// Whether each handler's steps of 2 to 14 records are the code at L_StepEntries (true) or the shared
// steps (false); set with the entries.
bool g_stepStubs = false;

#if VM_STEP_STUBS
// Where each handler's asm statement at L_StepEntries is (vm_hub_) and its steps of 2 to 14 records
// (vm_steps_).
extern "C" {
#define VM_EACH_NAME(NAME)                                                                                 \
    [[gnu::visibility("hidden")]] extern const char vm_hub_##NAME[];                                       \
    [[gnu::visibility("hidden")]] extern const char vm_steps_##NAME[];
VM_EACH_HANDLER()
#undef VM_EACH_NAME
}

// Whether the asm statements at L_StepEntries (at) all lie at the label itself (after the mark of a
// branch target that indirect-branch tracking puts there): each places its code in a section of its
// own, so that the compiler put none of its own code between the label and any of them, and entering one
// handler's steps does what the loop as the compiler sees it does when it jumps to the label, passes the
// statements before that handler's and runs it.
bool StepStubsLieAtTheLabel(const char* const* hubs, const void* at) {
    constexpr uint8_t kBranchTarget[4] = {0xF3, 0x0F, 0x1E, 0xFA}; // endbr64
    const char* label = static_cast<const char*>(at);
    if (std::memcmp(label, kBranchTarget, sizeof(kBranchTarget)) == 0) label += sizeof(kBranchTarget);
    for (int op = 0; op < kOpCount; ++op)
        if (hubs[op] != label) return false;
    return true;
}
#endif

// The loop itself; without a context it only hands out its entries (LoopEntries). Never inlined nor
// cloned: the records hold the addresses of its labels.
#if defined(__clang__)
[[gnu::noinline]]
#else
[[gnu::noinline, gnu::noclone]]
#endif
void Loop(VMContext* context) {
    static const void* const kHandlers[kOpCount] = {
#define VM_LABEL_SIMPLE(NAME) &&L_##NAME,
#define VM_LABEL_SITE(NAME) &&L_Push##NAME, &&L_Pop##NAME,
#define VM_LABEL_BINARY(NAME, OPCODE, RIGHT, LEFT) &&L_##NAME##_##RIGHT##_##LEFT,
#define VM_LABEL_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) &&L_##NAME##Branch_##RIGHT##_##LEFT,
#define VM_LABEL_CONVERSION(FROM, TO) &&L_Conv_##FROM##_##TO,
#define VM_LABEL_IMMEDIATE(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME,
#define VM_LABEL_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME##Branch,
#define VM_LABEL_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME##To##TARGET,
#define VM_LABEL_LOCALS(A, NAME, OPCODE) &&L_##A##NAME,
#define VM_LABEL_LOCALS_BRANCH(A, NAME, OPCODE) &&L_##A##NAME##Branch,
#define VM_LABEL_LOCALS_STORE(TARGET, A, NAME, OPCODE) &&L_Locals##NAME##To##TARGET,
#define VM_LABEL_COMPOUND(TARGET, TYPE, NAME, OPCODE) &&L_##NAME##_##TYPE##To##TARGET,
#define VM_LABEL_INT_IMMEDIATE(A, NAME, OPCODE) &&L_##A##Imm##NAME,
        VM_FAST_OPS(VM_LABEL_SIMPLE, VM_LABEL_SITE, VM_LABEL_BINARY, VM_LABEL_BINARY_BRANCH, VM_LABEL_CONVERSION,
                    VM_LABEL_IMMEDIATE, VM_LABEL_IMMEDIATE_BRANCH, VM_LABEL_IMMEDIATE_STORE, VM_LABEL_LOCALS,
                    VM_LABEL_LOCALS_BRANCH, VM_LABEL_LOCALS_STORE, VM_LABEL_COMPOUND, VM_LABEL_INT_IMMEDIATE)
#undef VM_LABEL_SIMPLE
#undef VM_LABEL_SITE
#undef VM_LABEL_BINARY
#undef VM_LABEL_BINARY_BRANCH
#undef VM_LABEL_CONVERSION
#undef VM_LABEL_IMMEDIATE
#undef VM_LABEL_IMMEDIATE_BRANCH
#undef VM_LABEL_IMMEDIATE_STORE
#undef VM_LABEL_LOCALS
#undef VM_LABEL_LOCALS_BRANCH
#undef VM_LABEL_LOCALS_STORE
#undef VM_LABEL_COMPOUND
#undef VM_LABEL_INT_IMMEDIATE
    };
    // Each handler's entries (kEntriesPerOp): a step of 1 to 14 records, a step by the record's words,
    // and none. A handler goes on to the next record through the entry its record holds (Insn::next), so
    // that the step is a constant of the entry's code and the way on is one indirect jump. The step of
    // one record is a label here, which falls through into its handler. The steps of 2 to 14 records are
    // the handler's own code where the loop has it (see L_StepEntries), and otherwise shared by all
    // handlers: those find the handler by the record's op, as the step by the record's words (a run
    // longer than 14, which is rare) does. The table ends with the address of L_StepEntries, which keeps
    // that code.
    static const void* kEntries[kOpCount * kEntriesPerOp + 1];
    if (context == nullptr) {
#if VM_STEP_STUBS
        static const char* const kHubs[kOpCount] = {
#define VM_EACH_NAME(NAME) vm_hub_##NAME,
            VM_EACH_HANDLER()
#undef VM_EACH_NAME
        };
        static const char* const kStepEntries[kOpCount] = {
#define VM_EACH_NAME(NAME) vm_steps_##NAME,
            VM_EACH_HANDLER()
#undef VM_EACH_NAME
        };
#endif
        static const void* const kSteps[kOpCount] = {
#define VM_EACH_NAME(NAME) &&S1_##NAME,
            VM_EACH_HANDLER()
#undef VM_EACH_NAME
        };
        static const void* const kSharedSteps[kSteppedEntries - 1] = {
            &&L_Step2, &&L_Step3, &&L_Step4, &&L_Step5, &&L_Step6, &&L_Step7, &&L_Step8,
            &&L_Step9, &&L_Step10, &&L_Step11, &&L_Step12, &&L_Step13, &&L_Step14};
#if VM_STEP_STUBS
        g_stepStubs = StepStubsLieAtTheLabel(kHubs, &&L_StepEntries);
#endif
        for (int op = 0; op < kOpCount; ++op) {
            const void** entries = &kEntries[op * kEntriesPerOp];
            entries[0] = kSteps[op];
            for (int records = 2; records <= kSteppedEntries; ++records) {
#if VM_STEP_STUBS
                if (g_stepStubs) {
                    entries[records - 1] = kStepEntries[op] + kStepEntryBytes * (records - 2);
                    continue;
                }
#endif
                entries[records - 1] = kSharedSteps[records - 2];
            }
            entries[kSteppedEntries] = &&L_StepByWords;
            entries[kEntriesPerOp - 1] = kHandlers[op];
        }
#if VM_STEP_STUBS
        kEntries[kOpCount * kEntriesPerOp] = &&L_StepEntries;
#endif
        g_loopEntries = kEntries;
        return;
    }
    VMContext& c = *context;
    Decoded* d;
    // The position in the code and the stack's top stay in registers through the whole loop (GCC would
    // otherwise keep them in memory across the handlers' calls). The speed rests on these, and so does
    // the use of the steps at L_StepEntries: they take the position as an operand of their asm statements,
    // and with the position where those want it, the compiler needs no code of its own before them (it
    // would otherwise load it there in an unoptimised build), which is checked before they are used.
    VM_REGISTER(const Insn* ip, VM_IP_REGISTER);
    VM_REGISTER(uint8_t* sp, "r13");
    VM_REGISTER(ScriptValue* localSlots, "r15"); // the running level's slots (LocalsLevel::values)
    Instances instances;
    // A variable access the loop hands to the general read or write (read_slow:, write_slow:) or does
    // through a built-in variable's getter or setter (builtin_read:, builtin_write:).
    int accessInstance, accessIndex;
    CInstance* accessTarget;
    const uint8_t* accessEnd = nullptr;
    // A call: of a script (see L_CallScript), or of a built-in (call_builtin:) with its argument values.
    const CCode* callCode;
    const uint8_t* callArgs;
    int callArgc;
    const BuiltInFunction* callEntry = nullptr;
    ScriptValue callValues[16];
    uint32_t callOwned;
    const ScriptValue* borrowed;
    // The variable's text a comparison with a constant text reads where it lies (text_with_constant:).
    const char* comparedText;
    // The item an AppendPush left in place of its variable's text (see L_AppendPush), and that push's
    // record; null when there is none.
    uint8_t* markerAt = nullptr;
    const Insn* markerSite = nullptr;
    // A counting loop's counter, its next value and what the loop's test holds it against.
    ScriptValue* counter;
    double counterNext, counterRight;
    // Backward jumps and script calls left before the message queue is drained: every loop, of jumps or
    // of calls, passes one of them each time round, and forward jumps need no count.
    VM_REGISTER(uint32_t drainIn, "r14") = kDrainEvery;

    // The position of the running instruction, and of the one after it (what the general way leaves in
    // pc while it executes a word, and so what an error report or a call sees).
#define VM_SYNC() (c.sp = sp, c.pc = static_cast<int>(ip - d->insns.data()) * 4)
#define VM_SYNC_AFTER() (c.sp = sp, c.pc = static_cast<int>(ip - d->insns.data() + ip->words) * 4)
#define VM_DISPATCH() goto* kHandlers[ip->op]
    // On to the next record: through the entry of its handler that the record holds, which makes the
    // step. The step is a constant of that entry's code, so that the next record's address waits on a
    // predicted jump instead of on a load of this one: the records' addresses make no chain of loads
    // through the run. (After a store too: a b there, the jump back at the end of a loop's body, runs as
    // its own record.)
#define VM_NEXT() goto*(ip->next)
    // Counts a backward jump or a call, at ip, towards draining the message queue.
#define VM_COUNT_BACK()                                                                                    \
    do {                                                                                                   \
        if (--drainIn == 0) {                                                                              \
            drainIn = kDrainEvery;                                                                         \
            VM_SYNC();                                                                                     \
            if (DrainMessages()) goto resync;                                                              \
        }                                                                                                  \
    } while (0)
    // A jump to a target.
#define VM_GO(to)                                                                                          \
    do {                                                                                                   \
        const Insn* to_ = (to);                                                                            \
        const bool back_ = to_ <= ip;                                                                      \
        ip = to_;                                                                                          \
        if (back_) VM_COUNT_BACK();                                                                        \
        VM_DISPATCH();                                                                                     \
    } while (0)
#define VM_JUMP() VM_GO(ip + ip->a)
    // Into the code at c.pc (after a call or return, which leave the stack region, the flags and the
    // current context as they were), with the room its deepest instruction needs. Each site dispatches
    // on its own, so that its next handler is predicted apart from the others'.
#define VM_ENTER()                                                                                         \
    do {                                                                                                   \
        d = DecodedOf(c.codeBuffer);                                                                       \
        ip = d->insns.data() + (c.pc >> 2);                                                                \
        sp = c.sp;                                                                                         \
        localSlots = LocalSlots(c.localsLevel, c.codeBuffer, d->localCount);                               \
        if (sp - c.stackBase < d->reserve) goto grow;                                                      \
        VM_DISPATCH();                                                                                     \
    } while (0)
    // The value of a local variable, or null while it does not exist.
#define VM_LOCAL(insn, out)                                                                                \
    do {                                                                                                   \
        ScriptValue* local_ = &localSlots[(insn).slot];                                                    \
        out = local_->kind != kLocalAbsent ? local_ : nullptr;                                             \
    } while (0)
    // The value of a local variable where a test of its kind follows at once: one that does not exist has
    // a kind (kLocalAbsent) that is no value's, so that it fails the test as the value of another kind does.
#define VM_LOCAL_VALUE(insn) (&localSlots[(insn).slot])
    // Makes the local variable of a record, which does not exist.
#define VM_NEW_LOCAL(insn, out) (out = MakeLocal(c.localsLevel, (insn).slot))
    // The list of a user variable of self (site's id); of a scoped site, the globals when the name is
    // declared global.
#define VM_SELF_LIST(site)                                                                                 \
    (((site).flags & kSiteScoped) ? Variable_Globals()                                                    \
                                                                        : instances.SelfVars(c.self))
    // The value of that variable, or null.
#define VM_SELF(site, out)                                                                                 \
    do {                                                                                                   \
        CVariableList* list_ = VM_SELF_LIST(site);                                                         \
        out = list_ != nullptr ? CachedSlot(d->caches[(site).cache], list_, (site).a) : nullptr;              \
    } while (0)
    // The value of a user variable (site's id) that an instance code reaches, or null.
#define VM_USER(site, instance, out)                                                                       \
    do {                                                                                                   \
        out = nullptr;                                                                                     \
        if ((instance) == INSTANCE_LOCAL) {                                                                \
            VM_LOCAL(site, out);                                                                           \
        } else if ((site).a < kVariableListIdBase) {                                                       \
        } else if ((instance) == INSTANCE_GLOBAL ||                                                        \
                   ((instance) == INSTANCE_BUILTIN && Variable_IsGlobalDeclared((site).a))) {              \
            if (CVariableList* list_ = Variable_Globals())                                                 \
                out = CachedSlot(d->caches[(site).cache], list_, (site).a);                                   \
        } else if ((instance) == INSTANCE_SELF || (instance) == INSTANCE_BUILTIN) {                        \
            if (CVariableList* list_ = instances.SelfVars(c.self))                                         \
                out = CachedSlot(d->caches[(site).cache], list_, (site).a);                                   \
        } else {                                                                                           \
            out = instances.OtherUser(c, d->caches[(site).cache], (site).a, (instance));                   \
        }                                                                                                  \
    } while (0)

    // The value of the variable of an AppendPush record (its push handler in k), or null.
#define VM_LIST_VARIABLE(site, out)                                                                        \
    do {                                                                                                   \
        if ((site).k == kOpPushLocal) {                                                                    \
            VM_LOCAL(site, out);                                                                           \
        } else {                                                                                           \
            CVariableList* list_ = (site).k == kOpPushSelf    ? instances.SelfVars(c.self)                   \
                                   : (site).k == kOpPushOther ? instances.OtherVars(c.other)                 \
                                   : (site).k == kOpPushGlobal || Variable_IsGlobalDeclared((site).a)        \
                                       ? Variable_Globals()                                                \
                                       : instances.SelfVars(c.self);                                       \
            out = list_ != nullptr ? CachedSlot(d->caches[(site).cache], list_, (site).a) : nullptr;       \
        }                                                                                                  \
    } while (0)
    // Puts a copy of the variable's text in place of the marker, as push.v would have pushed it.
#define VM_MATERIALIZE()                                                                                   \
    do {                                                                                                   \
        if (markerAt != nullptr) {                                                                         \
            ScriptValue* text_;                                                                            \
            VM_LIST_VARIABLE(*markerSite, text_);                                                          \
            const bool held_ = text_ != nullptr && text_->IsString();                                      \
            Store<uint64_t>(markerAt, held_ ? text_->kind : KIND_STRING);                                  \
            Store<uint64_t>(markerAt + 8, VMString_Hold(held_ ? Text_Copy(text_->str) : Text_New("", 0), c.level)); \
            markerAt = nullptr;                                                                            \
        }                                                                                                  \
    } while (0)

    // The branch of a comparison whose truth is `truth`: the bt or bf record `at`.
#define VM_BRANCH_ON(truth, at)                                                                            \
    do {                                                                                                   \
        const Insn& branch_ = (at);                                                                        \
        if ((truth) == (branch_.op == kOpBt)) VM_GO(&branch_ + branch_.a);                                 \
        VM_NEXT();                                                                                         \
    } while (0)
    // The same for the bt or bf at record offset of this one (a fused run's): when it is taken, a near
    // record is found by a branch on the offset, so that the target waits on one load, not two in a row.
#if defined(__OPTIMIZE__)
#define VM_NEAR_CASE(n)                                                                                    \
    case n:                                                                                                \
        branch_ = ip + n;                                                                                  \
        __asm__("" : "+r"(branch_));                                                                       \
        break;
#define VM_NEAR(offset)                                                                                    \
    switch (offset) {                                                                                      \
        VM_NEAR_CASE(1)                                                                                    \
        VM_NEAR_CASE(2)                                                                                    \
        VM_NEAR_CASE(3)                                                                                    \
        VM_NEAR_CASE(4)                                                                                    \
        VM_NEAR_CASE(5)                                                                                    \
        VM_NEAR_CASE(6)                                                                                    \
    default:                                                                                               \
        branch_ = ip + (offset);                                                                           \
    }
#else
#define VM_NEAR(offset) branch_ = ip + (offset);
#endif
#define VM_BRANCH_AT(truth, offset)                                                                        \
    do {                                                                                                   \
        if ((truth) == (ip[offset].op == kOpBt)) {                                                         \
            const Insn* branch_;                                                                           \
            VM_NEAR(offset)                                                                                \
            VM_GO(branch_ + branch_->a);                                                                   \
        }                                                                                                  \
        VM_NEXT();                                                                                         \
    } while (0)

resync:
    markerAt = nullptr;
    VM_CurrentContext = &c;
    if (c.stopped || VMDebug_State().VM_SingleStep || VMDebug_State().VM_BreakPending || c.pc >= vm::CodeSize(c) ||
        (c.pc & 3) != 0)
        return;
    instances.Enter(ScriptWorld_Get());
    VM_ENTER();

grow:
    VM_SYNC();
    if (!Reserve(c, d->reserve)) return;
    goto resync;

L_General:
    // The general way sees the stack as the instructions leave it.
    VM_MATERIALIZE();
    VM_SYNC();
    Step(c);
    goto resync;

L_End:
    VM_SYNC();
    if (c.callDepth == 0) return;
    // A called script that runs off its end returns as exit does.
    goto leave_frame;

L_Push4:
    sp -= 4;
    Store<int32_t>(sp, ip->x.i);
    VM_NEXT();

L_Push8:
    sp -= 8;
    Store<int64_t>(sp, ip->x.l);
    VM_NEXT();

L_PushText:
    sp -= 4;
    Store<int32_t>(sp, ip->x.i);
    VM_NEXT();

L_PushArgumentCount:
    sp = PushReal(sp, Code_ArgumentCount, true);
    VM_NEXT();

    // Pushes an element of the array a variable holds when it is a real (the read makes the variable the
    // owner of an array that has none), taking the stack from top; anything else goes the general way.
#define VM_PUSH_ELEMENT(holder, array, at, top)                                                            \
    do {                                                                                                   \
        const ScriptValue* element_ = (at);                                                                \
        if (element_ == nullptr || !element_->IsReal()) goto L_General;                                    \
        if ((array)->owner == nullptr) (array)->owner = (holder);                                          \
        sp = PushReal((top), element_->real, true, element_->kind);                                        \
        VM_NEXT();                                                                                         \
    } while (0)
    // An element read worked at once into the .v at left beneath it by add.v.v, sub.v.v or mul.v.v
    // (OPCODE), as the element's push and the operation would: both reals, else the general way.
#define VM_WORK_ELEMENT(holder, array, at, left, OPCODE)                                                   \
    do {                                                                                                   \
        const ScriptValue* element_ = (at);                                                                \
        uint8_t* left_ = (left);                                                                           \
        if (element_ == nullptr || !element_->IsReal() || (Load<uint32_t>(left_) & KIND_MASK) != KIND_REAL) \
            goto L_General;                                                                                \
        if ((array)->owner == nullptr) (array)->owner = (holder);                                          \
        double result_;                                                                                    \
        RealArithmetic<OPCODE, VT_VARIABLE, VT_VARIABLE>(Load<double>(left_ + 8), element_->real, 0, 0, result_); \
        sp = PushReal(left_ + 16, result_, true);                                                          \
        VM_NEXT();                                                                                         \
    } while (0)
L_PushArgumentElement: {
    // The index on top, the instance code beneath it: self's (the argument is the running script's
    // whatever the instance) when there is a self to read it through, as the built-in's getter is.
    const int32_t instance = Load<int32_t>(sp + 4);
    if ((instance != INSTANCE_SELF && instance != INSTANCE_BUILTIN) || c.self == nullptr) goto L_General;
    ScriptValue* argument = &Code_Arguments[ip->a];
    ScriptArray* array = HeldArray(argument);
    if (array == nullptr) goto L_General;
    VM_PUSH_ELEMENT(argument, array, ArrayElement(array, Load<int32_t>(sp)), sp + 8);
}

L_PushArgumentAt: {
    // The index on top, the instance code beneath it, as for an element of an argument; an argument the
    // script was not given goes to the getter, which reports it.
    const int32_t instance = Load<int32_t>(sp + 4);
    if ((instance != INSTANCE_SELF && instance != INSTANCE_BUILTIN) || c.self == nullptr) goto L_General;
    const uint32_t index = Load<uint32_t>(sp);
    if (index >= 16u || index >= static_cast<uint32_t>(Code_ArgumentCount)) goto L_General;
    const ScriptValue& argument = Code_Arguments[index];
    if (!argument.IsReal()) goto L_General;
    sp = PushReal(sp + 8, argument.real, true, argument.kind);
    VM_NEXT();
}

L_PushArgument: {
    const ScriptValue& argument = Code_Arguments[ip->a];
    if (!argument.IsReal()) goto L_General;
    sp = PushReal(sp, argument.real, true, argument.kind);
    VM_NEXT();
}

    // ---- Variables. A read of a real pushes it; anything else (a text, an array, an absent variable,
    // an element) goes through the general read with the address already taken apart. The record of
    // the last element access that missed (ArrayIndexFailure) is cleared here only by the general way:
    // whatever reads it clears it first.
#define VM_PUSH_HOLDER(holder, instance)                                                                   \
    do {                                                                                                   \
        if ((holder) != nullptr && (holder)->IsReal()) {                                                   \
            sp = PushReal(sp, (holder)->real, true, (holder)->kind);                                          \
            VM_NEXT();                                                                                     \
        }                                                                                                  \
        if ((holder) != nullptr) {                                                                         \
            if (uint8_t* whole_ = PushWhole(c, sp, (holder))) {                                            \
                sp = whole_;                                                                               \
                VM_NEXT();                                                                                 \
            }                                                                                              \
        }                                                                                                  \
        accessInstance = (instance);                                                                       \
        accessIndex = -1;                                                                                  \
        goto read_slow;                                                                                    \
    } while (0)
    // A write of a stored item into a variable that holds no array; anything else goes through the
    // general write. A variable that does not exist yet is made (make), as assigning it makes it.
#define VM_POP_HOLDER(holder, make, instance)                                                              \
    do {                                                                                                   \
        uint32_t kind = KIND_REAL, handle = 0;                                                             \
        double real = 0;                                                                                   \
        const int size = StoredItem(sp, VM_Type2(ip->word), kind, real, handle);                           \
        if (size == 0) goto L_General;                                                                     \
        if ((holder) == nullptr && Storable(kind, handle)) (holder) = (make);                              \
        if ((holder) != nullptr && !(holder)->IsArray() && Assign((holder), kind, real, handle)) {         \
            sp += size;                                                                                    \
            VM_NEXT();                                                                                     \
        }                                                                                                  \
        accessInstance = (instance);                                                                       \
        accessIndex = -1;                                                                                  \
        goto write_slow;                                                                                   \
    } while (0)

L_PushLocal: {
    ScriptValue* holder;
    VM_LOCAL(*ip, holder);
    VM_PUSH_HOLDER(holder, INSTANCE_LOCAL);
}
L_PopLocal: {
    ScriptValue* holder;
    VM_LOCAL(*ip, holder);
    VM_POP_HOLDER(holder, MakeLocal(c.localsLevel, ip->slot), INSTANCE_LOCAL);
}
    // A store into a local of a real (.v) or a .i, as VM_POP_HOLDER does it, without asking the item's
    // type; a text or an array held in the local goes the way of PopLocal.
#define VM_STORE_TO_LOCAL(KIND, REAL, SIZE)                                                                \
    do {                                                                                                   \
        ScriptValue* holder_ = &localSlots[ip->slot];                                                      \
        const uint32_t held_ = holder_->kind;                                                              \
        if ((held_ & KIND_MASK) != KIND_REAL) {                                                            \
            if (held_ != kLocalAbsent) goto L_PopLocal;                                                    \
            holder_ = MakeLocal(c.localsLevel, ip->slot);                                                  \
        }                                                                                                  \
        holder_->kind = (KIND);                                                                            \
        holder_->real = (REAL);                                                                            \
        sp += (SIZE);                                                                                      \
        VM_NEXT();                                                                                         \
    } while (0)
L_PopLocalReal: {
    const uint32_t kind = Load<uint32_t>(sp);
    if ((kind & KIND_MASK) != KIND_REAL) goto L_PopLocal;
    VM_STORE_TO_LOCAL(kind, Load<double>(sp + 8), 16);
}
L_PopLocalInt:
    VM_STORE_TO_LOCAL(KIND_REAL, static_cast<double>(Load<int32_t>(sp)), 4);
#undef VM_STORE_TO_LOCAL
    // The user variables of one list, through the site's cache: self's, other's, the globals, and for
    // -6 the globals when the variable is declared global, else self's.
#define VM_LIST_SITE(NAME, LIST, INSTANCE)                                                                 \
    L_Push##NAME : {                                                                                       \
        CVariableList* list = (LIST);                                                                      \
        ScriptValue* holder = list != nullptr ? CachedSlot(d->caches[ip->cache], list, ip->a) : nullptr;   \
        VM_PUSH_HOLDER(holder, INSTANCE);                                                                  \
    }                                                                                                      \
    L_Pop##NAME : {                                                                                        \
        CVariableList* list = (LIST);                                                                      \
        ScriptValue* holder = list != nullptr ? CachedSlot(d->caches[ip->cache], list, ip->a) : nullptr;   \
        VM_POP_HOLDER(holder, list != nullptr ? list->SlotOrAdd(ip->a) : nullptr, INSTANCE);               \
    }
    VM_LIST_SITE(Self, instances.SelfVars(c.self), INSTANCE_SELF)
    VM_LIST_SITE(Other, instances.OtherVars(c.other), INSTANCE_OTHER)
    VM_LIST_SITE(Global, Variable_Globals(), INSTANCE_GLOBAL)
    VM_LIST_SITE(Scoped, (ip->flags & kSiteScoped) ? Variable_Globals() : instances.SelfVars(c.self),
                 INSTANCE_BUILTIN)
#undef VM_LIST_SITE

    // Built-in variables of self or other: a field read or a real written in place (the entry's field
    // and store), anything else through their getter and setter.
#define VM_FIELD_READ(target)                                                                              \
    do {                                                                                                   \
        if (ip->slot >= 0 && (target) != nullptr) {                                                        \
            sp = PushReal(sp, FieldAt((target), ip->slot), true);                                          \
            VM_NEXT();                                                                                     \
        }                                                                                                  \
    } while (0)
    // The item on top is a .v or a .i of a real (pop.v.v, pop.v.i).
#define VM_FIELD_WRITE(target)                                                                             \
    do {                                                                                                   \
        if (ip->slot >= 0 && (target) != nullptr) {                                                        \
            const int type_ = VM_Type2(ip->word);                                                          \
            if (type_ == VT_VARIABLE && (Load<uint32_t>(sp) & KIND_MASK) == KIND_REAL) {                   \
                StoreFieldAt((target), ip->slot, ip->k, Load<double>(sp + 8));                             \
                sp += 16;                                                                                  \
                VM_NEXT();                                                                                 \
            }                                                                                              \
            if (type_ == VT_INT) {                                                                         \
                StoreFieldAt((target), ip->slot, ip->k, Load<int32_t>(sp));                                \
                sp += 4;                                                                                   \
                VM_NEXT();                                                                                 \
            }                                                                                              \
        }                                                                                                  \
    } while (0)
L_PushBuiltIn:
    VM_FIELD_READ(c.self);
    accessTarget = c.self;
    accessInstance = VM_Field(ip->word);
    accessIndex = -1;
    goto builtin_read;
L_PushBuiltInOther:
    VM_FIELD_READ(c.other);
    accessTarget = c.other;
    accessInstance = INSTANCE_OTHER;
    accessIndex = -1;
    goto builtin_read;
L_PopBuiltIn:
    VM_FIELD_WRITE(c.self);
    accessTarget = c.self;
    accessInstance = VM_Field(ip->word);
    accessIndex = -1;
    accessEnd = sp;
    goto builtin_write;
L_PopBuiltInOther:
    VM_FIELD_WRITE(c.other);
    accessTarget = c.other;
    accessInstance = INSTANCE_OTHER;
    accessIndex = -1;
    accessEnd = sp;
    goto builtin_write;
#undef VM_FIELD_READ
#undef VM_FIELD_WRITE

    // The instance code (and the index above it) on the stack.
    // The index (when the site has one) and the instance code beneath it, taken off through p.
#define VM_STACK_ADDRESS()                                                                                 \
    int index = -1;                                                                                        \
    if (ip->flags & kSiteIndexed) {                                                                        \
        index = Load<int32_t>(p);                                                                          \
        p += 4;                                                                                            \
    }                                                                                                      \
    const int instance = Load<int32_t>(p);                                                                 \
    p += 4;
    // The read of the push.v at record x.i with the instance code its local gives, as L_PushStack does
    // it: a real, of a user variable or of a field read in place; anything else goes the long way. KEEP:
    // the instance code (the .i that dup.i copied) is pushed first and stays beneath the value. THEN(KEEP)
    // goes on with the value and its kind.
#define VM_VARIABLE_OF_LOCAL(KEEP, THEN)                                                                   \
    do {                                                                                                   \
        /* (A local that does not exist fails the test of its kind.) */                                    \
        const ScriptValue* code = VM_LOCAL_VALUE(*ip);                                                     \
        if (!code->IsReal()) goto L_General;                                                               \
        const Insn& site = ip[ip->x.i];                                                                    \
        const int instance = X86_DoubleToInt32(code->real);                                                \
        double value;                                                                                      \
        uint32_t kind = KIND_REAL;                                                                         \
        if (site.a < kVariableListIdBase) {                                                                \
            /* The field the variable's getter reads is in k (FieldCode). An instance id, the common */    \
            /* case, is looked up at once. */                                                              \
            if (ip->k < 0) goto L_General;                                                                 \
            CInstance* target;                                                                             \
            if (instance >= kFirstInstanceId) {                                                            \
                const FoundInstance* found = instances.Found(instance);                                    \
                if (found == nullptr) goto L_General;                                                      \
                target = found->instance;                                                                  \
            } else {                                                                                       \
                if (instance == INSTANCE_LOCAL || instance == INSTANCE_GLOBAL) goto L_General;             \
                target = instances.Instance(c, instance);                                                  \
                if (target == nullptr) goto L_General;                                                     \
            }                                                                                              \
            value = FieldAt(target, ip->k);                                                                \
        } else {                                                                                           \
            ScriptValue* holder;                                                                           \
            if (instance >= kFirstInstanceId)                                                              \
                holder = instances.UserOf(c, d->caches[site.cache], site.a, instance);                     \
            else                                                                                           \
                VM_USER(site, instance, holder);                                                           \
            if (holder == nullptr || !holder->IsReal()) goto L_General;                                    \
            value = holder->real;                                                                          \
            kind = holder->kind;                                                                           \
        }                                                                                                  \
        THEN(KEEP);                                                                                        \
    } while (0)
#define VM_PUSH_VARIABLE_OF_LOCAL(KEEP)                                                                    \
    do {                                                                                                   \
        if (KEEP) {                                                                                        \
            sp -= 4;                                                                                       \
            Store<int32_t>(sp, instance);                                                                  \
        }                                                                                                  \
        sp = PushReal(sp, value, true, kind);                                                              \
        VM_NEXT();                                                                                         \
    } while (0)
    // The comparison of the StackImm branch run at the record after this run, taken at once.
#define VM_BRANCH_ON_VARIABLE_OF_LOCAL(KEEP)                                                               \
    do {                                                                                                   \
        (void)kind;                                                                                        \
        ip += ip->words;                                                                                   \
        const int opcode_ = OP_SLT + (ip->op - kOpStackImmSltBranch);                                      \
        VM_BRANCH_AT(CompareByDifference(opcode_, value - ip->k), ip->x.i);                                \
    } while (0)
L_VariableOfLocal:
    VM_VARIABLE_OF_LOCAL(false, VM_PUSH_VARIABLE_OF_LOCAL);
L_VariableOfLocalKept:
    VM_VARIABLE_OF_LOCAL(true, VM_PUSH_VARIABLE_OF_LOCAL);
L_VariableOfLocalBranch:
    VM_VARIABLE_OF_LOCAL(false, VM_BRANCH_ON_VARIABLE_OF_LOCAL);
#undef VM_PUSH_VARIABLE_OF_LOCAL
#undef VM_BRANCH_ON_VARIABLE_OF_LOCAL
#undef VM_VARIABLE_OF_LOCAL

L_PushStack: {
    const uint8_t* p = sp;
    VM_STACK_ADDRESS();
    sp = const_cast<uint8_t*>(p);
    accessInstance = instance;
    accessIndex = index;
    if (ip->a < kVariableListIdBase) {
        // A field of the instance an id names, read in place (the site's k, FieldCode).
        if (instance >= kFirstInstanceId && ip->k >= 0) {
            if (const FoundInstance* found = instances.Found(instance)) {
                sp = PushReal(sp, FieldAt(found->instance, ip->k), true);
                VM_NEXT();
            }
        }
        if (instance == INSTANCE_LOCAL || instance == INSTANCE_GLOBAL) goto read_slow;
        accessTarget = instances.Instance(c, instance);
        if (accessTarget != nullptr) goto builtin_read;
        goto read_slow;
    }
    ScriptValue* holder;
    if (instance >= kFirstInstanceId)
        holder = instances.UserOf(c, d->caches[ip->cache], ip->a, instance);
    else
        VM_USER(*ip, instance, holder);
    const ScriptValue* read = index < 0 ? holder : Element(holder, index);
    if (read != nullptr && read->IsReal() && (index >= 0 || !(ip->flags & kSiteIndexed))) {
        // Reading an element makes the variable the owner of an array that has none.
        if (index >= 0 && holder->arr->owner == nullptr) holder->arr->owner = holder;
        sp = PushReal(sp, read->real, true, read->kind);
        VM_NEXT();
    }
    goto read_slow;
}
L_PopStack:
L_PopStackValueFirst: {
    // pop.v: the index and instance code on top, the value beneath; pop.i: the value on top.
    const bool valueFirst = ip->op == kOpPopStackValueFirst;
    uint32_t kind = KIND_REAL, handle = 0;
    double real = 0;
    const uint8_t* p = sp;
    int size = 0;
    if (valueFirst) {
        size = StoredItem(p, VM_Type2(ip->word), kind, real, handle);
        if (size == 0) goto L_General;
        p += size;
    }
    VM_STACK_ADDRESS();
    if (!valueFirst) {
        size = StoredItem(p, VM_Type2(ip->word), kind, real, handle);
        if (size == 0) goto L_General;
    }
    accessInstance = instance;
    accessIndex = index;
    accessEnd = p;
    if (ip->a < kVariableListIdBase && instance != INSTANCE_LOCAL && instance != INSTANCE_GLOBAL) {
        // A write to an instance id reaches the instance when it is not marked.
        accessTarget = instances.Instance(c, instance);
        if (!valueFirst) sp = const_cast<uint8_t*>(p);
        if (accessTarget != nullptr) goto builtin_write;
        goto write_slow;
    }
    ScriptValue* holder;
    if (instance >= kFirstInstanceId)
        holder = instances.UserOf(c, d->caches[ip->cache], ip->a, instance);
    else
        VM_USER(*ip, instance, holder);
    const bool done = index < 0 ? holder != nullptr && !(ip->flags & kSiteIndexed) && !holder->IsArray() &&
                                      Assign(holder, kind, real, handle)
                                : (kind & KIND_MASK) == KIND_REAL && WriteRealElement(holder, index, kind, real);
    if (done) {
        sp = const_cast<uint8_t*>(valueFirst ? p : p + size);
        VM_NEXT();
    }
    if (!valueFirst) sp = const_cast<uint8_t*>(p);
    goto write_slow;
}

builtin_read: {
    // A built-in variable of accessTarget, the address off the stack.
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(ip->a);
    if (entry == nullptr || entry->getter == nullptr) goto read_slow;
    if (entry->field != BuiltInField::None && accessTarget != nullptr) {
        // A field the getter would read as it is.
        sp = PushReal(sp, FieldAt(accessTarget, FieldCodeOf(entry->field, entry->fieldOffset)), true);
        VM_NEXT();
    }
    VM_SYNC_AFTER();
    ScriptValue value{};
    ArrayIndexFailure.failed = false;
    if (!entry->getter(accessTarget, accessIndex, &value)) {
        ReportReadFailure(c, accessInstance, ip->a, accessIndex);
        Value_Free(&value);
        goto reload;
    }
    if (value.IsReal() && value.flags == 0) {
        sp = PushReal(sp, value.real, true, value.kind);
    } else {
        PushValue(c, value);
        sp = c.sp;
    }
    if (c.stopped) goto stopped;
    VM_NEXT();
}

builtin_write: {
    // A built-in variable of accessTarget: sp at the value (pop.v), or at the value and then the address
    // ending at accessEnd (pop.i).
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(ip->a);
    if (entry == nullptr || !entry->canSet) goto write_slow;
    ScriptValue value;
    uint32_t kind = KIND_REAL, handle = 0;
    double real = 0;
    const int size = StoredItem(sp, VM_Type2(ip->word), kind, real, handle);
    if (size != 0 && (kind & KIND_MASK) == KIND_REAL) {
        // A real, read in place.
        value = ScriptValue{};
        value.kind = kind;
        if (VM_Type2(ip->word) == VT_VARIABLE) value.flags = Load<uint32_t>(sp + 4);
        value.real = real;
        sp = ip->op == kOpPopStackValueFirst ? const_cast<uint8_t*>(accessEnd) : sp + size;
        if (entry->store != BuiltInField::None && accessTarget != nullptr) {
            StoreField(accessTarget, *entry, real);
            VM_NEXT();
        }
        VM_SYNC_AFTER();
        ArrayIndexFailure.failed = false;
        if (!entry->setter(accessTarget, accessIndex, &value)) ReportStoreFailure(c, ip->a);
        if (!value.IsReal()) Value_Free(&value);
        if (entry->field != BuiltInField::None) goto reload_instances_kept;
        goto reload;
    }
    VM_SYNC_AFTER();
    if (!PopAsValue(c, VM_Type2(ip->word), &value)) goto stopped;
    if (ip->op == kOpPopStackValueFirst) c.sp = const_cast<uint8_t*>(accessEnd);
    ArrayIndexFailure.failed = false;
    if (!entry->setter(accessTarget, accessIndex, &value)) ReportStoreFailure(c, ip->a);
    Value_Free(&value);
    goto reload;
}

read_slow:
    VM_SYNC_AFTER();
    PushVariableAt(c, accessInstance, ip->a, accessIndex);
    goto reload;

write_slow: {
    // sp at the value (pop.v), or at the value and then the address ending at accessEnd (pop.i).
    VM_SYNC_AFTER();
    ScriptValue value;
    if (!PopAsValue(c, VM_Type2(ip->word), &value)) goto stopped;
    if (ip->op == kOpPopStackValueFirst) c.sp = const_cast<uint8_t*>(accessEnd);
    StoreVariableAt(c, accessInstance, ip->a, accessIndex, value);
    goto reload;
}

    // After the general way ran part of an instruction: on to the next one, unless the execution ended.
reload:
    instances.Forget();
reload_instances_kept:
    if (c.stopped) goto stopped;
    sp = c.sp;
    localSlots = c.localsLevel->values; // the general way may have given the level more slots
    VM_NEXT();

    // After an error: the execution has ended.
stopped:
    goto resync;

L_B:
    VM_JUMP();

L_BPopzV:
    // The popz.v at the target takes anything but a real itself.
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) VM_JUMP();
    sp += 16;
    VM_GO(ip + ip->a + 1);

L_Bt:
    sp += 4;
    if ((Load<uint32_t>(sp - 4) & 0xFF) != 0) VM_JUMP();
    VM_NEXT();

L_Bf:
    sp += 4;
    if ((Load<uint32_t>(sp - 4) & 0xFF) == 0) VM_JUMP();
    VM_NEXT();

L_Dup4:
    sp -= 4;
    std::memcpy(sp, sp + 4, 4);
    VM_NEXT();

L_Dup8:
    sp -= 8;
    std::memcpy(sp, sp + 8, 8);
    VM_NEXT();

L_DupItems: {
    const int bytes = ip->x.i;
    sp -= bytes;
    for (int i = 0; i < bytes; i += 4)
        Store<uint32_t>(sp + i, Load<uint32_t>(sp + bytes + i));
    VM_NEXT();
}

L_DupV: {
    // A real, or a constant text, is copied as it is; a held text gets a copy of its own.
    const uint32_t kind = Load<uint32_t>(sp) & KIND_MASK;
    if (kind == KIND_ARRAY) goto L_General;
    if (kind == KIND_STRING) {
        const uint32_t handle = VMText_ValueHandle(Load<uint64_t>(sp + 8));
        const char* text;
        if (!VMString_Read(handle, &text)) goto L_General;
        if (handle & kHeldHandleBit) {
            sp -= 16;
            Store<uint64_t>(sp, Load<uint64_t>(sp + 16));
            Store<uint64_t>(sp + 8, VMString_Hold(Text_Copy(text), c.level));
            VM_NEXT();
        }
    }
    sp -= 16;
    std::memcpy(sp, sp + 16, 16);
    VM_NEXT();
}

L_Popz4:
    sp += 4;
    VM_NEXT();

L_Popz8:
    sp += 8;
    VM_NEXT();

L_PopzV: {
    const uint32_t kind = Load<uint32_t>(sp) & KIND_MASK;
    if (kind == KIND_ARRAY || (kind == KIND_STRING && !VMString_Drop(VMText_ValueHandle(Load<uint64_t>(sp + 8)))))
        goto L_General;
    sp += 16;
    VM_NEXT();
}

L_PopzS:
    if (!VMString_Drop(Load<uint32_t>(sp))) goto L_General;
    sp += 4;
    VM_NEXT();

L_NegInt:
    Store<int32_t>(sp, Wrap_Neg32(Load<int32_t>(sp)));
    VM_NEXT();

L_NegDouble:
    Store<double>(sp, -Load<double>(sp));
    VM_NEXT();

L_NegVariable:
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;
    Store<uint64_t>(sp, KIND_REAL);
    Store<double>(sp + 8, -Load<double>(sp + 8));
    VM_NEXT();

L_NotInt:
    Store<int32_t>(sp, ~Load<int32_t>(sp));
    VM_NEXT();

L_NotBool:
    Store<int32_t>(sp, (Load<uint32_t>(sp) & 0xFF) ? 0 : 1);
    VM_NEXT();

L_NotDouble:
    Store<double>(sp, static_cast<double>(~X86_DoubleToInt64(Load<double>(sp))));
    VM_NEXT();

L_NotVariable:
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;
    Store<uint64_t>(sp, KIND_REAL);
    Store<double>(sp + 8, static_cast<double>(~X86_DoubleToInt64(Load<double>(sp + 8))));
    VM_NEXT();

    // and, or, xor of two .b: the truths of their low bytes (the right one on top), both read and joined
    // bit by bit: a branch on the first one would be as hard to predict as the values are.
#define VM_TRUTH(p) static_cast<int>((Load<uint32_t>(p) & 0xFF) != 0)
#define VM_LOGICAL_HANDLERS(NAME, OPERATOR)                                                                \
    L_Logical##NAME:                                                                                       \
    sp += 4;                                                                                               \
    Store<int32_t>(sp, (VM_TRUTH(sp) OPERATOR VM_TRUTH(sp - 4)) ? 1 : 0);                                  \
    VM_NEXT();                                                                                             \
    L_LogicalBranch##NAME:                                                                                 \
    sp += 8;                                                                                               \
    VM_BRANCH_ON(VM_TRUTH(sp - 4) OPERATOR VM_TRUTH(sp - 8), ip[1]);
    VM_LOGICAL_HANDLERS(And, &)
    VM_LOGICAL_HANDLERS(Or, |)
    VM_LOGICAL_HANDLERS(Xor, !=)
#undef VM_LOGICAL_HANDLERS
#undef VM_TRUTH

L_TextBinary: {
    uint8_t* top = TextBinary(c, ip->word, sp);
    if (top == nullptr) goto L_General;
    sp = top;
    VM_NEXT();
}

    // A local's text compared with a constant text (the push.s at record k, the comparison at record
    // x.i), as the comparison of the pushed copy would compare it; anything else in the local is pushed
    // the usual way.
L_LocalTextCompare:
L_LocalTextCompareBranch: {
    const ScriptValue* local = VM_LOCAL_VALUE(*ip);
    if (!local->IsString()) goto first_local_alone;
    comparedText = local->str;
    goto text_with_constant;
}
L_SelfTextCompare:
L_SelfTextCompareBranch: {
    // Anything but a text goes the long way (the push alone, then the records after it).
    ScriptValue* holder;
    VM_SELF(*ip, holder);
    if (holder == nullptr || !holder->IsString()) goto L_General;
    comparedText = holder->str;
    goto text_with_constant;
}
text_with_constant: {
    const char* constant;
    if (!VMString_GetConstant(static_cast<uint32_t>(ip[ip->k].x.i), &constant)) goto L_General;
    const Insn& operation = ip[ip->x.i];
    const bool truth = CompareByOrder(VM_Opcode(operation.word), TextOrder(comparedText, constant));
    if (ip->op == kOpLocalTextCompareBranch || ip->op == kOpSelfTextCompareBranch)
        VM_BRANCH_ON(truth, (&operation)[1]);
    sp -= 4;
    Store<int32_t>(sp, truth ? 1 : 0);
    VM_NEXT();
}

    // A fused run that begins with push.v of a local and found something other than what its shape
    // takes (texts, most often): that push alone, as its own handler does it, then on with the run's
    // next record (record k) as it stands.
first_local_alone: {
    // Two texts joined ("a + b"): read where they lie, and the joined text pushed, or stored at once into
    // the local of the run's store.
    if (ip->op == kOpLocalsAdd || ip->op == kOpLocalsAddToLocal) {
        const ScriptValue* left = VM_LOCAL_VALUE(*ip);
        const ScriptValue* right = VM_LOCAL_VALUE(ip[ip->k]);
        if (left->IsString() && right->IsString()) {
            char* joined = Text_Join(left->str, right->str);
            if (ip->op == kOpLocalsAdd) {
                sp -= 16;
                Store<uint64_t>(sp, KIND_STRING);
                Store<uint64_t>(sp + 8, VMString_Hold(joined, c.level));
                VM_NEXT();
            }
            ScriptValue* target = &localSlots[ip[ip->x.i].slot];
            if (target->kind == kLocalAbsent) target = MakeLocal(c.localsLevel, ip[ip->x.i].slot);
            if (!target->IsArray()) {
                if (target->IsString()) MEM_FREE(target->str);
                target->kind = KIND_STRING;
                target->str = joined;
                VM_NEXT();
            }
            MEM_FREE(joined);
        }
    }
    // Two texts compared ("a == b"), pushed or branched on, read where they lie.
    static_assert(kOpLocalsSgt - kOpLocalsSlt == OP_SGT - OP_SLT &&
                  kOpLocalsSgtBranch - kOpLocalsSltBranch == OP_SGT - OP_SLT);
    if ((ip->op >= kOpLocalsSlt && ip->op <= kOpLocalsSgt) ||
        (ip->op >= kOpLocalsSltBranch && ip->op <= kOpLocalsSgtBranch)) {
        const ScriptValue* left = VM_LOCAL_VALUE(*ip);
        const ScriptValue* right = VM_LOCAL_VALUE(ip[ip->k]);
        if (left->IsString() && right->IsString()) {
            const bool branch = ip->op >= kOpLocalsSltBranch;
            const int opcode = OP_SLT + (ip->op - (branch ? kOpLocalsSltBranch : kOpLocalsSlt));
            const bool truth = CompareByOrder(opcode, TextOrder(left->str, right->str));
            if (branch) VM_BRANCH_AT(truth, ip->x.i);
            sp -= 4;
            Store<int32_t>(sp, truth ? 1 : 0);
            VM_NEXT();
        }
    }
    ScriptValue* holder;
    VM_LOCAL(*ip, holder);
    if (holder == nullptr) goto L_General;
    if (holder->IsReal()) {
        sp = PushReal(sp, holder->real, true, holder->kind);
    } else {
        uint8_t* whole = PushWhole(c, sp, holder);
        if (whole == nullptr) goto L_General;
        sp = whole;
    }
    ip += ip->k;
    VM_DISPATCH();
}

L_IndexCheck: {
    const int32_t index = Load<int32_t>(sp);
    if (index < 0 || index >= kArrayRowStride) goto L_General;
    VM_NEXT();
}

L_BreakWord:
    // The code's own break word does nothing while no breakpoint is set and no debugger may stop the game
    // at it; otherwise the general way serves it.
    if (Debugger_Breakpoints.count > 0 || Debugger_ServerRunning()) goto L_General;
    VM_NEXT();

L_SwitchLocal: {
    // The local pushed as push.v pushes it, then the switch at record x.i on it.
    const ScriptValue* value = &localSlots[ip->slot];
    if (!value->IsReal()) goto L_PushLocal; // also when absent
    sp = PushReal(sp, value->real, true, value->kind);
    ip += ip->x.i;
    goto switch_on_real;
}

L_Switch:
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;
switch_on_real: {
    // The value stays on the stack for the case's code, as the chain leaves it. Labels are whole numbers
    // of 32 bits: any other value (not whole, out of that range, NaN) runs the chain, which matches none.
    const double value = Load<double>(sp + 8);
    const int32_t whole = TruncateToInt32(value);
    if (static_cast<double>(whole) != value || !(Code_Epsilon > 0 && Code_Epsilon <= 1)) goto L_General;
    // The table (vm_decode.h) in the record: a number no label has goes where the chain goes on.
    const uint64_t offset = static_cast<uint64_t>(static_cast<int64_t>(whole) - ip->k);
    const int* targets = reinterpret_cast<const int*>(static_cast<intptr_t>(ip->x.l));
    if (offset >= static_cast<uint32_t>(ip->slot)) VM_GO(ip + ip->a);
    // The first entries are read at a constant index reached by a predicted branch on the value, so
    // that the target's address waits on the table, not on the value's arithmetic: everything after the
    // switch finds its records without waiting for the value (optimised builds; see VM_NEXT).
    const Insn* to;
#if defined(__OPTIMIZE__)
#define VM_TABLE_CASE(n)                                                                                   \
    case n:                                                                                                \
        to = ip + targets[n];                                                                              \
        __asm__("" : "+r"(to));                                                                            \
        break;
    switch (offset) {
        VM_TABLE_CASE(0)
        VM_TABLE_CASE(1)
        VM_TABLE_CASE(2)
        VM_TABLE_CASE(3)
        VM_TABLE_CASE(4)
        VM_TABLE_CASE(5)
        VM_TABLE_CASE(6)
        VM_TABLE_CASE(7)
        VM_TABLE_CASE(8)
        VM_TABLE_CASE(9)
        VM_TABLE_CASE(10)
        VM_TABLE_CASE(11)
        VM_TABLE_CASE(12)
        VM_TABLE_CASE(13)
        VM_TABLE_CASE(14)
        VM_TABLE_CASE(15)
    default:
        to = ip + targets[offset];
    }
#undef VM_TABLE_CASE
#else
    to = ip + targets[offset];
#endif
    VM_GO(to);
}

    // ---- Fused runs (vm_decode.h)
L_IntOfLocal: {
    ScriptValue* holder;
    VM_LOCAL(*ip, holder);
    if (holder == nullptr || !holder->IsReal()) goto L_General;
    sp -= 4;
    Store<int32_t>(sp, X86_DoubleToInt32(holder->real));
    VM_NEXT();
}

L_Index2D: {
    ScriptValue *row, *column;
    VM_LOCAL(*ip, row);
    VM_LOCAL(ip[ip->x.i], column);
    if (row == nullptr || column == nullptr || !row->IsReal() || !column->IsReal()) goto L_General;
    sp -= 4;
    Store<int32_t>(sp, Wrap_Add32(Wrap_Mul32(X86_DoubleToInt32(row->real), kArrayRowStride),
                                  X86_DoubleToInt32(column->real)));
    VM_NEXT();
}

    // The index of an element run: the local of record 1 made a .i; the access is record 4.
#define VM_ELEMENT_BY_LOCAL()                                                                              \
    const ScriptValue* at = VM_LOCAL_VALUE(ip[1]);                                                         \
    if (!at->IsReal()) goto L_General;                                                                     \
    const int index = X86_DoubleToInt32(at->real);                                                         \
    const Insn& site = ip[4];
    // The element runs, each twice: for an array variable of any instance code (HOLDER VM_USER), and for
    // a local array variable (HOLDER VM_LOCAL_HOLDER), whose records the decoder gives handlers of their own.
    // (Every handler takes a local holder's array through HeldArray, which tests its kind.)
#define VM_LOCAL_HOLDER(site, code, out)                                                                   \
    do {                                                                                                   \
        out = VM_LOCAL_VALUE(site);                                                                        \
        /* A local's slot is never null: the array's tests need not ask. */                                \
        if (out == nullptr) __builtin_unreachable();                                                       \
    } while (0)
    // The item on top stored by pop.v.T of the run's site into the element of holder's array at the index
    // (or at [row, column]), and taken off; the general way for anything StoreRealElement leaves.
#define VM_STORE_ELEMENT(...)                                                                              \
    const int size = StoreRealElement(sp, VM_Type2(site.word), holder, __VA_ARGS__);                       \
    if (size == 0) goto L_General;                                                                         \
    sp += size;                                                                                            \
    VM_NEXT();
    // The array variable of an element read run, and the index.
#define VM_ARRAY_BY_LOCAL(HOLDER)                                                                          \
    VM_ELEMENT_BY_LOCAL();                                                                                 \
    ScriptValue* holder;                                                                                   \
    HOLDER(site, ip->x.i, holder);                                                                         \
    ScriptArray* array = HeldArray(holder);                                                                \
    if (array == nullptr) goto L_General;
#define VM_ELEMENT_RUNS(HOLDER, BY_LOCAL, STORE_BY_LOCAL, CONSTANT_TO, TRUTH_BRANCH)                         \
    BY_LOCAL : {                                                                                           \
        /* push.e code (this record), push.v local (ip[1]), conv.v.i, push.v stack.a[] (ip[4]). */         \
        VM_ARRAY_BY_LOCAL(HOLDER);                                                                         \
        VM_PUSH_ELEMENT(holder, array, ArrayElement(array, index), sp);                                    \
    }                                                                                                      \
    STORE_BY_LOCAL : {                                                                                     \
        /* The value on the stack; push.e code (this record), push.v local (ip[1]), conv.v.i, pop.v.T */   \
        /* stack.a[] (ip[4]). */                                                                           \
        VM_ELEMENT_BY_LOCAL();                                                                             \
        ScriptValue* holder;                                                                               \
        HOLDER(site, ip->x.i, holder);                                                                     \
        VM_STORE_ELEMENT(index);                                                                           \
    }                                                                                                      \
    CONSTANT_TO : {                                                                                        \
        /* push.e or push.i k (this record), then StoreElementByLocal's run at record 1: push.e code, */   \
        /* push.v local (record 2), conv.v.i, pop.v.i stack.a[] (record 5). */                             \
        [[maybe_unused]] const Insn& run = ip[1];                                                          \
        const ScriptValue* at = VM_LOCAL_VALUE(ip[2]);                                                     \
        if (!at->IsReal()) goto L_General;                                                                 \
        const Insn& site = ip[5];                                                                          \
        ScriptValue* holder;                                                                               \
        HOLDER(site, run.x.i, holder);                                                                     \
        if (!WriteRealElement(holder, X86_DoubleToInt32(at->real), KIND_REAL, ip->k)) goto L_General;      \
        VM_NEXT();                                                                                         \
    }                                                                                                      \
    TRUTH_BRANCH : {                                                                                       \
        /* ElementByLocal's run, then conv.v.b and the bt or bf at record k: a real is true by its */      \
        /* magnitude. */                                                                                   \
        VM_ARRAY_BY_LOCAL(HOLDER);                                                                         \
        const ScriptValue* element = ArrayElement(array, index);                                           \
        if (element == nullptr || !element->IsReal()) goto L_General;                                      \
        if (array->owner == nullptr) array->owner = holder;                                                \
        VM_BRANCH_ON(std::fabs(element->real) > 0.5, ip[ip->k]);                                           \
    }
    VM_ELEMENT_RUNS(VM_USER, L_ElementByLocal, L_StoreElementByLocal, L_ConstantToElement, L_ElementTruthBranch)
    VM_ELEMENT_RUNS(VM_LOCAL_HOLDER, L_LocalElementByLocal, L_StoreLocalElementByLocal, L_ConstantToLocalElement,
                    L_LocalElementTruthBranch)
#undef VM_ELEMENT_RUNS
    // ElementByLocal's run worked into the .v beneath (the operation at record 5).
#define VM_ELEMENT_BY_LOCAL_WORKED(HOLDER, NAME, OPCODE)                                                   \
    NAME : {                                                                                               \
        VM_ARRAY_BY_LOCAL(HOLDER);                                                                         \
        VM_WORK_ELEMENT(holder, array, ArrayElement(array, index), sp, OPCODE);                            \
    }
#define VM_ELEMENT_BY_LOCAL_WORKED_OPS(HOLDER, NAME)                                                       \
    VM_ELEMENT_BY_LOCAL_WORKED(HOLDER, L_##NAME##Mul, OP_MUL)                                              \
    VM_ELEMENT_BY_LOCAL_WORKED(HOLDER, L_##NAME##Add, OP_ADD)                                              \
    VM_ELEMENT_BY_LOCAL_WORKED(HOLDER, L_##NAME##Sub, OP_SUB)
    VM_ELEMENT_BY_LOCAL_WORKED_OPS(VM_USER, ElementByLocal)
    VM_ELEMENT_BY_LOCAL_WORKED_OPS(VM_LOCAL_HOLDER, LocalElementByLocal)
#undef VM_ELEMENT_BY_LOCAL_WORKED_OPS
#undef VM_ELEMENT_BY_LOCAL_WORKED
#undef VM_ARRAY_BY_LOCAL

L_TruthBranch: {
    // conv.v.b: a real is true by its magnitude.
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;
    const bool truth = std::fabs(Load<double>(sp + 8)) > 0.5;
    sp += 16;
    VM_BRANCH_ON(truth, ip[1]);
}

L_IntTruthBranch:
    VM_BRANCH_AT(Load<int32_t>(sp) != 0, ip->x.i);

L_CountDownBranch: {
    const int32_t count = Wrap_Sub32(Load<int32_t>(sp), ip->k);
    Store<int32_t>(sp, count);
    VM_BRANCH_AT(count != 0, ip->x.i);
}

L_ConstantToLocal: {
    const Insn& store = ip[ip->x.i];
    ScriptValue* holder;
    VM_LOCAL(store, holder);
    if (holder == nullptr) VM_NEW_LOCAL(store, holder);
    if (holder->IsArray()) goto L_General;
    if (holder->IsString()) MEM_FREE(holder->str);
    holder->kind = KIND_REAL;
    holder->real = ip->k;
    VM_NEXT();
}

L_RealConstant:
    sp = PushReal(sp, ip->k, true);
    VM_NEXT();

    // A real (from) copied into the local of slot SLOT (made when absent, which ABSENT may mark likely),
    // as push.v and pop.v.v of it do. The real goes as its bits, which keeps it out of the floating-point
    // registers.
#define VM_COPY_TO_LOCAL(from, SLOT, ABSENT)                                                               \
    do {                                                                                                   \
        const int slot_ = (SLOT);                                                                          \
        ScriptValue* holder = &localSlots[slot_];                                                          \
        const uint32_t kind_ = (from)->kind;                                                               \
        const uint64_t bits_ = Load<uint64_t>(reinterpret_cast<const uint8_t*>(from) + 8);                 \
        if (holder->kind == kLocalAbsent) ABSENT {                                                         \
            /* Made with the value at once (MakeLocal's order of making kept). */                          \
            LocalsLevel* level_ = c.localsLevel;                                                           \
            level_->made[slot_] = ++level_->madeCount;                                                     \
            holder->flags = 0;                                                                             \
        } else if (holder->IsArray()) {                                                                    \
            goto L_General;                                                                                \
        } else if (holder->IsString()) {                                                                   \
            MEM_FREE(holder->str);                                                                         \
        }                                                                                                  \
        holder->kind = kind_;                                                                              \
        Store<uint64_t>(reinterpret_cast<uint8_t*>(holder) + 8, bits_);                                    \
    } while (0)
L_ArgToLocal:
    // A script's arguments copied into its locals one after the other (var a; a = argument0; ...), as
    // scripts begin, go in one run here: each record copies one. Anything but a real goes the general
    // way from the record that has it, the copies before it done.
    do {
        if (!Code_Arguments[ip->a].IsReal()) goto L_General;
        // (A script's first copies make their locals.)
        VM_COPY_TO_LOCAL(&Code_Arguments[ip->a], ip->k, [[likely]]);
        ip += ip->words;
    } while (ip->op == kOpArgToLocal);
    if (ip->op == kOpB) VM_JUMP();
    VM_DISPATCH();
L_LocalToLocal: {
    ScriptValue* from;
    VM_LOCAL(*ip, from);
    if (from == nullptr || !from->IsReal()) goto L_General;
    VM_COPY_TO_LOCAL(from, ip[ip->x.i].slot, );
    VM_NEXT();
}

    // A loop's counter stepped (by k, or by the local of slot k) and stored, the jump back (counted as a
    // backward jump is), and the loop's test (OPCODE) of the counter against a whole number or a local, at
    // record x.i, taken at once while the counter is a real. The run's cache holds the test's number or
    // its local's slot, so that neither waits on a load of the test's records. A right-hand local that is
    // not a real leaves the test to its own handler.
#define VM_COUNT_AND_TEST(OPCODE, STEP, RIGHT)                                                             \
    do {                                                                                                   \
        STEP;                                                                                              \
        counter->real = counterNext;                                                                       \
        RIGHT##_FIND;                                                                                      \
        ip += ip->x.i;                                                                                     \
        VM_COUNT_BACK();                                                                                   \
        RIGHT;                                                                                             \
        VM_BRANCH_AT(CompareByDifference(OPCODE, counterNext - counterRight), ip->x.i);                    \
    } while (0)
    // (The handlers keep their values in the loop's own variables, so that unoptimized builds,
    // which give each block's variables slots of their own, keep the loop's frame as it was.)
    // The counter stepped by the run's whole number, or by the local of slot k (SIGN: + or -).
#define VM_COUNT_BY_IMM                                                                                    \
    counter = &localSlots[ip->slot];                                                                       \
    if (!counter->IsReal() || !ImmediateArithmetic<OP_ADD>(counter->real, ip->k, counterNext)) goto L_General
#define VM_COUNT_BY_LOCAL(SIGN)                                                                            \
    counter = &localSlots[ip->k];                                                                          \
    if (!counter->IsReal()) goto L_General;                                                                \
    counterRight = counter->real;                                                                          \
    counter = &localSlots[ip->slot];                                                                       \
    if (!counter->IsReal()) goto L_General;                                                                \
    counterNext = counter->real SIGN counterRight
#define VM_COUNT_RIGHT_IMM_FIND counterRight = static_cast<int32_t>(ip->cache)
#define VM_COUNT_RIGHT_IMM
#define VM_COUNT_RIGHT_LOCAL_FIND counter = &localSlots[ip->cache]
#define VM_COUNT_RIGHT_LOCAL                                                                               \
    {                                                                                                      \
        if (!counter->IsReal()) VM_DISPATCH();                                                             \
        counterRight = counter->real;                                                                      \
    }
#define VM_COUNT_HANDLERS(A, NAME, OPCODE)                                                                 \
    L_CountImmBranch##NAME:                                                                                \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_IMM, VM_COUNT_RIGHT_IMM);                                        \
    L_CountLocalsBranch##NAME:                                                                             \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_IMM, VM_COUNT_RIGHT_LOCAL);                                      \
    L_StepImmBranch##NAME:                                                                                 \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_LOCAL(+), VM_COUNT_RIGHT_IMM);                                   \
    L_StepLocalsBranch##NAME:                                                                              \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_LOCAL(+), VM_COUNT_RIGHT_LOCAL);                                 \
    L_StepBackImmBranch##NAME:                                                                             \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_LOCAL(-), VM_COUNT_RIGHT_IMM);                                   \
    L_StepBackLocalsBranch##NAME:                                                                          \
    VM_COUNT_AND_TEST(OPCODE, VM_COUNT_BY_LOCAL(-), VM_COUNT_RIGHT_LOCAL);
    VM_COMPARISON_OPS(VM_COUNT_HANDLERS, Count)
#undef VM_COUNT_HANDLERS
#undef VM_COUNT_RIGHT_LOCAL
#undef VM_COUNT_RIGHT_LOCAL_FIND
#undef VM_COUNT_RIGHT_IMM
#undef VM_COUNT_RIGHT_IMM_FIND
#undef VM_COUNT_BY_LOCAL
#undef VM_COUNT_BY_IMM
#undef VM_COUNT_AND_TEST

    // An element at a constant index (k): push.e code (this record, the code in x.i), push.e or push.i of
    // the index, and the access at record 2.
#define VM_ARRAY_BY_CONSTANT()                                                                             \
    const Insn& site = ip[2];                                                                              \
    ScriptValue* holder;                                                                                   \
    VM_USER(site, ip->x.i, holder);                                                                        \
    ScriptArray* array = HeldArray(holder);                                                                \
    if (array == nullptr) goto L_General;
L_ElementByConstant: {
    VM_ARRAY_BY_CONSTANT();
    VM_PUSH_ELEMENT(holder, array, ArrayElement(array, ip->k), sp);
}
    // The same worked into the .v beneath (the operation at record 3).
#define VM_ELEMENT_BY_CONSTANT_WORKED(NAME, OPCODE)                                                        \
    NAME : {                                                                                               \
        VM_ARRAY_BY_CONSTANT();                                                                            \
        VM_WORK_ELEMENT(holder, array, ArrayElement(array, ip->k), sp, OPCODE);                            \
    }
    VM_ELEMENT_BY_CONSTANT_WORKED(L_ElementByConstantMul, OP_MUL)
    VM_ELEMENT_BY_CONSTANT_WORKED(L_ElementByConstantAdd, OP_ADD)
    VM_ELEMENT_BY_CONSTANT_WORKED(L_ElementByConstantSub, OP_SUB)
#undef VM_ELEMENT_BY_CONSTANT_WORKED
#undef VM_ARRAY_BY_CONSTANT
L_StoreElementByConstant: {
    const Insn& site = ip[2];
    ScriptValue* holder;
    VM_USER(site, ip->x.i, holder);
    VM_STORE_ELEMENT(ip->k);
}

    // conv.v.i of the .v on top, then the read at record 1, whose instance code lies beneath the index.
#define VM_ARRAY_BY_STACK_INDEX()                                                                          \
    if ((Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;                                     \
    const int index = X86_DoubleToInt32(Load<double>(sp + 8));                                             \
    const Insn& site = ip[1];                                                                              \
    ScriptValue* holder;                                                                                   \
    VM_USER(site, Load<int32_t>(sp + 16), holder);                                                         \
    ScriptArray* array = HeldArray(holder);                                                                \
    if (array == nullptr) goto L_General;
L_ElementByStackIndex: {
    VM_ARRAY_BY_STACK_INDEX();
    VM_PUSH_ELEMENT(holder, array, ArrayElement(array, index), sp + 20);
}
    // The same worked into the .v beneath the index (the operation at record 3).
#define VM_ELEMENT_BY_STACK_INDEX_WORKED(NAME, OPCODE)                                                     \
    NAME : {                                                                                               \
        VM_ARRAY_BY_STACK_INDEX();                                                                         \
        VM_WORK_ELEMENT(holder, array, ArrayElement(array, index), sp + 20, OPCODE);                       \
    }
    VM_ELEMENT_BY_STACK_INDEX_WORKED(L_ElementByStackIndexMul, OP_MUL)
    VM_ELEMENT_BY_STACK_INDEX_WORKED(L_ElementByStackIndexAdd, OP_ADD)
    VM_ELEMENT_BY_STACK_INDEX_WORKED(L_ElementByStackIndexSub, OP_SUB)
#undef VM_ELEMENT_BY_STACK_INDEX_WORKED
#undef VM_ARRAY_BY_STACK_INDEX

    // The row and column of an element run by two locals (push.e code, this record; Index2D's run, its
    // locals at records 1 and k), and the access at record slot.
#define VM_INDEX_2D_RUN()                                                                                  \
    const ScriptValue* row = VM_LOCAL_VALUE(ip[1]);                                                        \
    const ScriptValue* column = VM_LOCAL_VALUE(ip[ip->k]);                                                 \
    if (!row->IsReal() || !column->IsReal()) goto L_General;                                               \
    const Insn& site = ip[ip->slot];                                                                       \
    ScriptValue* holder;
    // The array of such a run's read.
#define VM_ARRAY_BY_INDEX_2D(HOLDER)                                                                       \
    VM_INDEX_2D_RUN();                                                                                     \
    HOLDER(site, ip->x.i, holder);                                                                         \
    ScriptArray* array = HeldArray(holder);                                                                \
    if (array == nullptr) goto L_General;
#define VM_ELEMENT_2D() ArrayElement2D(array, X86_DoubleToInt32(row->real), X86_DoubleToInt32(column->real))
    // The read, and the read worked into the .v beneath (the operation after the access).
#define VM_ELEMENT_BY_INDEX_2D_WORKED(HOLDER, NAME, OPCODE)                                                \
    NAME : {                                                                                               \
        VM_ARRAY_BY_INDEX_2D(HOLDER);                                                                      \
        VM_WORK_ELEMENT(holder, array, VM_ELEMENT_2D(), sp, OPCODE);                                       \
    }
#define VM_ELEMENT_BY_INDEX_2D(HOLDER, READ, STORE)                                                        \
    READ : {                                                                                               \
        VM_ARRAY_BY_INDEX_2D(HOLDER);                                                                      \
        VM_PUSH_ELEMENT(holder, array, VM_ELEMENT_2D(), sp);                                               \
    }                                                                                                      \
    READ##TruthBranch : {                                                                                  \
        /* The read's run, then conv.v.b and the bt or bf at record a: a real is true by its magnitude. */ \
        VM_ARRAY_BY_INDEX_2D(HOLDER);                                                                      \
        const ScriptValue* element = VM_ELEMENT_2D();                                                      \
        if (element == nullptr || !element->IsReal()) goto L_General;                                      \
        if (array->owner == nullptr) array->owner = holder;                                                \
        VM_BRANCH_ON(std::fabs(element->real) > 0.5, ip[ip->a]);                                           \
    }                                                                                                      \
    VM_ELEMENT_BY_INDEX_2D_WORKED(HOLDER, READ##Mul, OP_MUL)                                               \
    VM_ELEMENT_BY_INDEX_2D_WORKED(HOLDER, READ##Add, OP_ADD)                                               \
    VM_ELEMENT_BY_INDEX_2D_WORKED(HOLDER, READ##Sub, OP_SUB)                                               \
    STORE : {                                                                                              \
        /* The value on the stack beneath the run's items, stored by pop.v.T. */                           \
        VM_INDEX_2D_RUN();                                                                                 \
        HOLDER(site, ip->x.i, holder);                                                                     \
        VM_STORE_ELEMENT(X86_DoubleToInt32(row->real), X86_DoubleToInt32(column->real));                   \
    }
    VM_ELEMENT_BY_INDEX_2D(VM_USER, L_ElementByIndex2D, L_StoreElementByIndex2D)
    VM_ELEMENT_BY_INDEX_2D(VM_LOCAL_HOLDER, L_LocalElementByIndex2D, L_StoreLocalElementByIndex2D)
#undef VM_ELEMENT_BY_INDEX_2D_WORKED
#undef VM_ELEMENT_2D
#undef VM_ARRAY_BY_INDEX_2D
#undef VM_INDEX_2D_RUN
#undef VM_STORE_ELEMENT
#undef VM_ELEMENT_BY_INDEX_2D
#undef VM_LOCAL_HOLDER
#undef VM_WORK_ELEMENT
#undef VM_PUSH_ELEMENT

    // An AppendStore (ip) done: the marker and the right item (of rightSize bytes) go, and the store after
    // it is passed over.
#define VM_APPENDED(rightSize)                                                                             \
    do {                                                                                                   \
        markerAt = nullptr;                                                                                \
        sp += (rightSize) + 16;                                                                            \
        ip += 1 + ip[1].words;                                                                             \
        if (ip->op == kOpB) VM_JUMP();                                                                     \
        VM_DISPATCH();                                                                                     \
    } while (0)
    // ---- Calls
L_CallBuiltIn:
    callArgc = ip->x.i;
    callEntry = Code_Function_Entry(ip->a);
    if (callEntry == nullptr || callEntry->function == nullptr || VMDebug_State().VM_Trace) goto L_General;
    if (callEntry->pureOnReals && RealItems(sp, callArgc)) goto call_pure;
    // Reals are the function's own as they lie; texts and arrays are taken over from live handles.
    if (CopyItems(sp, callArgc, callValues) == KIND_REAL) {
        // A function that only reads its arguments leaves the reals as they are: none to look at after.
        callOwned = callEntry->readsArgumentsOnly ? 0 : (1u << callArgc) - 1;
    } else {
        if (!LiveValues(sp, callArgc)) goto L_General;
        callOwned = TakeArguments(sp, callArgc, callValues, callEntry->readsArgumentsOnly);
    }
    sp += 16 * callArgc;
    goto call_builtin;

    // A built-in that only reads its arguments, whose first argument a variable's text is: the record at
    // ip pushes the variable, and the call follows at record x.i. The function sees the variable's own
    // text.
call_borrowing: {
    const ScriptValue* text = borrowed;
    ip += ip->x.i;
    callArgc = ip->x.i;
    callValues[0].kind = text->kind;
    callValues[0].flags = 0;
    callValues[0].str = text->str;
    callOwned = TakeArguments(sp, callArgc - 1, callValues + 1, true) << 1;
    sp += 16 * (callArgc - 1);
    goto call_builtin;
}

    // A function pure on reals with real arguments (see BuiltInFunction): it reads them where they lie on
    // the stack, and nothing it does can free a value, run code or make or destroy an instance.
call_pure: {
    c.sp = sp + 16 * callArgc;
    c.pc = ip->k;
    ScriptValue result{};
    const char* outerFunction = VM_CurrentFunctionName;
    VM_CurrentFunctionName = callEntry->name;
    // Arguments above a four-byte item lie on no 8-byte boundary: the function gets copies then.
    ScriptValue* arguments = reinterpret_cast<ScriptValue*>(sp);
    if ((reinterpret_cast<uintptr_t>(sp) & (alignof(ScriptValue) - 1)) != 0) {
        CopyItems(sp, callArgc, callValues);
        arguments = callValues;
    }
    callEntry->function(result, c.self, c.other, callArgc, arguments);
    VM_CurrentFunctionName = outerFunction;
    sp = c.sp;
    if (c.stopped) goto stopped;
    if (result.IsReal() && result.flags == 0) {
        sp = PushReal(sp, result.real, true, result.kind);
    } else {
        PushValue(c, result);
        sp = c.sp;
    }
    // A call's record has one length: the step needs no dispatch on it.
    ip += ip->words;
    VM_DISPATCH();
}

call_builtin: {
    // callEntry with callArgc values, those of the bits of callOwned the function's own; ip is the call's
    // record.
    c.sp = sp;
    c.pc = ip->k;
    // The function may run code (a script, an event) that makes decoded forms anew, this one included,
    // which it then frees.
    const uint64_t epoch = d->epoch;
    // Read before the call: what the machine found of instances holds after it when it promises so.
    const bool keepsInstances = callEntry->keepsInstances;
    ScriptValue result{};
    const char* outerFunction = VM_CurrentFunctionName;
    VM_CurrentFunctionName = callEntry->name;
    callEntry->function(result, c.self, c.other, callArgc, callValues);
    VM_CurrentFunctionName = outerFunction;
    VM_CurrentContext = &c;
    // What the function holds in its own argument values goes (it may have changed them).
    static_assert(KIND_STRING == 1 && KIND_ARRAY == 2);
    if (callOwned != 0) {
        // Reals only (the common case) need nothing.
        uint32_t kinds = 0;
#define VM_KIND_OF_VALUE(i) kinds |= callValues[i].kind
        VM_UNROLLED_16(callArgc, VM_KIND_OF_VALUE)
#undef VM_KIND_OF_VALUE
        if ((kinds & KIND_MASK) != KIND_REAL) {
            for (ScriptValue* value = callValues; callOwned != 0; ++value, callOwned >>= 1) {
                VM_OPAQUE(value);
                if ((callOwned & 1) && value->Kind() - 1u < 2u) Value_Free(value);
            }
        }
    }
    sp = c.sp;
    if (result.IsReal() && result.flags == 0) {
        sp = PushReal(sp, result.real, true, result.kind);
    } else {
        // A text that the next record stores into a local or compares with a constant text, of a call
        // that ran no code: the local takes it over ("t = string_copy(...)"), or the comparison reads
        // it and it goes ("string_char_at(s, i) == \" \""), without a handle of its own. A local that
        // holds an array goes the pop's way.
        const Insn& after = ip[ip->words];
        const bool text = keepsInstances && result.IsString() && !c.stopped && DecodeEpoch() == epoch;
        if (text && (after.op == kOpPopLocalReal || (after.op == kOpPopLocal && VM_Type2(after.word) == VT_VARIABLE))) {
            ScriptValue* holder = &localSlots[after.slot];
            if (holder->kind == kLocalAbsent) holder = MakeLocal(c.localsLevel, after.slot);
            if (!holder->IsArray()) {
                if (holder->IsString()) MEM_FREE(holder->str);
                holder->kind = result.kind;
                holder->str = result.str;
                ip = &after;
                VM_NEXT();
            }
        }
        // Appended at once to the text of an AppendPush's variable whose marker lies beneath it.
        if (text && after.op == kOpAppendStore && markerAt == sp && VM_Type1(after.word) == VT_VARIABLE) {
            ScriptValue* holder;
            VM_LIST_VARIABLE(*markerSite, holder);
            if (holder != nullptr && holder->IsString()) {
                Value_AppendToText(holder, result.str);
                MEM_FREE(result.str);
                ip = &after;
                VM_APPENDED(0);
            }
        }
        const char* constant;
        if (text && after.op == kOpPushText && (&after)[after.words].op == kOpTextBinary &&
            VMString_GetConstant(static_cast<uint32_t>(after.x.i), &constant)) {
            const Insn& operation = (&after)[after.words];
            const int opcode = VM_Opcode(operation.word);
            if (VM_Type1(operation.word) == VT_STRING && VM_Type2(operation.word) == VT_VARIABLE &&
                opcode >= OP_SLT && opcode <= OP_SGT) {
                const bool truth = CompareByOrder(opcode, TextOrder(result.str, constant));
                MEM_FREE(result.str);
                sp -= 4;
                Store<int32_t>(sp, truth ? 1 : 0);
                ip = &operation;
                VM_NEXT();
            }
        }
        PushValue(c, result);
        sp = c.sp;
    }
    if (!keepsInstances) instances.Forget();
    if (c.stopped) goto stopped;
    if (DecodeEpoch() != epoch) {
        // On after the call in the form the code has now.
        VM_MATERIALIZE();
        c.sp = sp;
        goto resync;
    }
    ip += ip->words;
    VM_DISPATCH();
}

    // A variable pushed as a read-only built-in's first argument (see call_borrowing), else as push.v.
#define VM_BORROWABLE(holder)                                                                                \
    ((holder) != nullptr && (holder)->IsString() && !VMDebug_State().VM_Trace &&                             \
     (callEntry = Code_Function_Entry(ip[ip->x.i].a)) != nullptr && callEntry->function != nullptr &&        \
     callEntry->readsArgumentsOnly && LiveValues(sp, ip[ip->x.i].x.i - 1))
#define VM_BORROW_HANDLER(NAME, FIND, INSTANCE)                                                            \
    L_Borrow##NAME : {                                                                                     \
        ScriptValue* holder;                                                                               \
        FIND(*ip, holder);                                                                                 \
        if (VM_BORROWABLE(holder)) {                                                                       \
            borrowed = holder;                                                                             \
            goto call_borrowing;                                                                           \
        }                                                                                                  \
        VM_PUSH_HOLDER(holder, INSTANCE);                                                                  \
    }
    VM_BORROW_HANDLER(Local, VM_LOCAL, INSTANCE_LOCAL)
    VM_BORROW_HANDLER(Self, VM_SELF, INSTANCE_SELF)
#undef VM_BORROW_HANDLER

    // "v += text" and "v = v + text" on a variable of a list that holds a text: its push leaves a marker
    // item in place of a copy of the text, the code of the text runs (it neither stores nor calls
    // anything that could change the variable), and the add appends the text to the variable's own block
    // and skips the store. Anything else takes the records' own handlers, the marker first made the copy
    // it stands for.
L_AppendPush: {
    ScriptValue* holder;
    VM_LIST_VARIABLE(*ip, holder);
    if (holder != nullptr && holder->IsReal()) {
        // A number: pushed as push.v pushes it (the add will not find a marker).
        sp = PushReal(sp, holder->real, true, holder->kind);
        VM_NEXT();
    }
    if (holder == nullptr || !holder->IsString() || VMDebug_State().VM_Trace) goto* kHandlers[ip->k];
    sp -= 16;
    Store<uint64_t>(sp, holder->kind);
    Store<uint64_t>(sp + 8, kNoHandle);
    markerAt = sp;
    markerSite = ip;
    VM_NEXT();
}
L_AppendStore: {
    const int right = VM_Type1(ip->word);
    const int rightSize = right == VT_STRING ? 4 : 16;
    if (markerAt != sp + rightSize) goto* kHandlers[ip->slot];
    const char* text;
    uint32_t handle;
    ScriptValue* holder;
    VM_LIST_VARIABLE(*markerSite, holder);
    if (holder == nullptr || !holder->IsString() || !ItemText(sp, right, text, handle)) {
        VM_MATERIALIZE();
        goto* kHandlers[ip->slot];
    }
    Value_AppendToText(holder, text);
    VMString_Drop(handle);
    VM_APPENDED(rightSize);
}
#undef VM_BORROWABLE
#undef VM_APPENDED

L_CallScript: {
    // A script with bytecode, whose arguments (at most 16) move into the frame's block, all real 0: reals
    // as they lie (a .v item of a real is laid out as its value); a text or an array only with a live
    // handle, taken over into a value of its own.
    VM_COUNT_BACK();
    callArgc = static_cast<int>(ip->cache);
    callCode = CallTarget(c, *ip);
    if (callCode == nullptr) goto L_General;
    VMFrame& frame = NextFrame(c);
    const bool reals = CopyItems(sp, callArgc, frame.arguments) == KIND_REAL;
    if (!reals) {
        std::memset(static_cast<void*>(frame.arguments), 0, 16 * static_cast<size_t>(callArgc));
        if (!LiveValues(sp, callArgc)) goto L_General;
    }
    callArgs = sp;
    sp += 16 * callArgc;
    c.sp = sp;
    const VMBuffer* callerCode = c.codeBuffer;
    // (The record's count is at most 16.)
    EnterFrameAt(c, frame, callCode, callArgc, reals ? callArgc : callArgc | kArgumentsOwned, ip->k, d, ip,
                 g_formsChanged);
    if (!reals) TakeValues(callArgs, callArgc, frame.arguments);
    // Into the script's decoded form, as VM_ENTER but with the stack pointer at hand (a script that
    // calls itself is in the form running now).
    if (c.codeBuffer != callerCode) d = DecodedOf(c.codeBuffer);
    ip = d->insns.data();
    {
        // The frame's level is empty (LocalSlots of a level whose slots are all absent).
        LocalsLevel* const level = c.localsLevel;
        const int count = d->localCount;
        if (level->slotCount < count) GrowLocals(level, c.codeBuffer, count);
        level->dirty = count;
        localSlots = level->values;
    }
    if (sp - c.stackBase < d->reserve) goto grow;
    // A script that begins by copying its arguments into locals (var a; a = argument0; ...) has them
    // copied here, as the run's handler would: the values are reals (those past the count real 0), so
    // that no copy needs its kind tested, and each local, absent in the fresh level, is made by its copy.
    // Copies of argument n into slot n from the first (the decoded form counts them) go as straight
    // code; after them, a local copied into twice stops the run: its handler does the rest.
    // (The order of making is counted in a register and the values stored by their members, so that the
    // stores leave the level's fields where they are.)
    if (reals && (d->entryCopies != 0 || ip->op == kOpArgToLocal)) {
        LocalsLevel* const level = c.localsLevel;
        uint32_t* const made = level->made;
        uint32_t madeCount = level->madeCount;
        const ScriptValue* const arguments = frame.arguments;
        if (const int copies = d->entryCopies; copies != 0) {
#define VM_COPY_ENTRY(n)                                                                                   \
    std::memcpy(static_cast<void*>(localSlots + (n)), arguments + (n), sizeof(ScriptValue));               \
    localSlots[n].flags = 0;                                                                               \
    made[n] = madeCount + (n) + 1u
            VM_UNROLLED_16(copies, VM_COPY_ENTRY)
#undef VM_COPY_ENTRY
            madeCount += static_cast<uint32_t>(copies);
            ip += d->entryAfter;
        }
        while (ip->op == kOpArgToLocal) {
            const int slot = ip->k;
            ScriptValue* holder = &localSlots[slot];
            if (holder->kind != kLocalAbsent) break;
            const ScriptValue& from = arguments[ip->a];
            made[slot] = ++madeCount;
            holder->kind = from.kind;
            holder->flags = 0;
            holder->real = from.real;
            ip += ip->words;
        }
        level->madeCount = madeCount;
    }
    VM_DISPATCH();
}

    // The returned item moves from the callee's top to the caller's, the callee's stack going with the
    // frame; then on in the caller's decoded form as the call left it, unless code changed meanwhile:
    // its room and its locals' slots are as they were. SIZE: the item's bytes, LOW and HIGH its first
    // and second eight, read and stored once the callee's with blocks are closed, before its locals and
    // arguments go.
#define VM_RETURN_ITEM(SIZE, LOW, HIGH)                                                                    \
    do {                                                                                                   \
        VMFrame* const top_ = c.top;                                                                       \
        if (top_ == nullptr) goto L_General;                                                               \
        VMFrame& frame_ = *top_;                                                                           \
        LeaveWithBlocks(c, frame_);                                                                        \
        const int size_ = (SIZE);                                                                          \
        const uint64_t low_ = (LOW), high_ = (HIGH);                                                       \
        sp = AtPosition(c, frame_.framePosition) - size_;                                                  \
        if (size_ == 4) {                                                                                  \
            Store<uint32_t>(sp, static_cast<uint32_t>(low_));                                              \
        } else {                                                                                           \
            Store<uint64_t>(sp, low_);                                                                     \
            if (size_ == 16) Store<uint64_t>(sp + 8, high_);                                               \
        }                                                                                                  \
        c.sp = sp;                                                                                         \
        LeaveClosedFrame(c, frame_);                                                                       \
        /* (What the loop keeps of the instances stays good: whatever in the call could have made or */    \
        /* destroyed some forgot it then.) */                                                              \
        /* (The caller's code, position and locals read from the frame that saved them.) */                \
        /* (No form made or freed since the call: the caller's is still current, and the call's record */  \
        /* in it steps on to where the caller goes on.) */                                                 \
        if (frame_.formsChanged != g_formsChanged) {                                                       \
            c.pc = frame_.pc;                                                                              \
            VM_ENTER();                                                                                    \
        }                                                                                                  \
        d = frame_.decoded;                                                                                \
        ip = frame_.callInsn;                                                                              \
        localSlots = frame_.localsLevel->values;                                                           \
        VM_NEXT();                                                                                         \
    } while (0)
    // The item on top (there to take: the code is verified).
#define VM_RETURN(SIZE) VM_RETURN_ITEM(SIZE, Load<uint64_t>(sp), Load<uint64_t>(sp + 8))
L_Ret:
    VM_RETURN(ReturnItemSize(VM_Type1(ip->word)));
L_RetV:
    VM_RETURN(16);
    // return x; of a local or an argument that holds a real: the .v its push would make (kind word, flags
    // word 0, the real), returned without the push. Anything else is pushed the general way.
L_RetLocal: {
    const ScriptValue* value = VM_LOCAL_VALUE(*ip);
    if (!value->IsReal()) goto L_General;
    VM_RETURN_ITEM(16, value->kind, Load<uint64_t>(reinterpret_cast<const uint8_t*>(value) + 8));
}
L_RetArgument: {
    const ScriptValue* value = &Code_Arguments[ip->a];
    if (!value->IsReal()) goto L_General;
    VM_RETURN_ITEM(16, value->kind, Load<uint64_t>(reinterpret_cast<const uint8_t*>(value) + 8));
}
#undef VM_RETURN
#undef VM_RETURN_ITEM

L_Exit:
    if (c.callDepth == 0) goto L_General;
    VM_SYNC();
leave_frame:
    PopFrameInline(c, -1);
    instances.Forget();
    VM_ENTER();

    // ---- with
L_PushEnv: {
    // A block over one instance (self, other, or an instance id that names one present) opens here and
    // its body runs at once, as PushEnv would open it; any other target, and the first block of a depth,
    // go through PushEnv.
    const int32_t target = Load<int32_t>(sp);
    CInstance* one = nullptr;
    if (target == INSTANCE_SELF || target == INSTANCE_BUILTIN) {
        one = c.self;
    } else if (target == INSTANCE_OTHER) {
        one = c.other;
    } else if (target >= kFirstInstanceId) {
        const FoundInstance* found = instances.Found(target);
        if (found != nullptr && !found->deactivated) one = found->instance;
    }
    const auto depth = static_cast<size_t>(c.withCount);
    if (one != nullptr && depth < c.withBlocks->size()) {
        VMWithBlock& block = (*c.withBlocks)[depth];
        block.targets.clear();
        block.targets.push_back(one);
        sp = OpenWithBlock(c, block, sp + 4); // the target's .i goes
        block.next = 1; // its one target entered now
        c.other = block.savedSelf;
        c.self = one;
        VM_NEXT();
    }
    VM_SYNC_AFTER();
    PushEnv(c, ip->word, static_cast<int>(ip - d->insns.data()) * 4);
    goto resync;
}

L_PopEnv: {
    // The top item must be the marker of the innermost open block.
    const int index = c.withCount - 1;
    if (index < 0 || Load<uint32_t>(sp) != kWithMarker || Load<uint32_t>(sp + 4) != static_cast<uint32_t>(index))
        goto L_General;
    VMWithBlock& block = (*c.withBlocks)[static_cast<size_t>(index)];
    if (block.stackPosition != static_cast<int>(StackEnd(c) - sp)) goto L_General;
    if (block.next < block.targets.size()) {
        c.self = block.targets[block.next++];
        VM_JUMP();
    }
    c.self = block.savedSelf;
    c.other = block.savedOther;
    sp += kWithItemSize;
    // The innermost block closes (CloseWithBlocks of it alone).
    block.targets.clear();
    c.withCount = index;
    VM_NEXT();
}

    // ---- Two-operand instructions on the stack's items, and the fused runs around them.
    // The left operand of a fused run: the stack's top .v (taken off through `top`), or the variable its
    // first record pushes. Anything but a real goes the long way.
#define VM_LEFT_Stack(v)                                                                                   \
    if ((Load<uint32_t>(top) & KIND_MASK) != KIND_REAL) goto L_General;                                    \
    v = Load<double>(top + 8);                                                                             \
    top += 16;
#define VM_LEFT_FROM(FIND, v)                                                                              \
    {                                                                                                      \
        ScriptValue* from_;                                                                                \
        FIND(*ip, from_);                                                                                  \
        if (from_ == nullptr || !from_->IsReal()) goto L_General;                                          \
        v = from_->real;                                                                                   \
    }
    // (A local that does not exist fails the test of its kind.)
#define VM_LEFT_Local(v)                                                                                   \
    {                                                                                                      \
        const ScriptValue* from_ = VM_LOCAL_VALUE(*ip);                                                    \
        if (!from_->IsReal()) goto L_General;                                                              \
        v = from_->real;                                                                                   \
    }
#define VM_LEFT_Self(v) VM_LEFT_FROM(VM_SELF, v)
#define VM_LEFT_Arg(v)                                                                                     \
    {                                                                                                      \
        const ScriptValue& from_ = Code_Arguments[ip->a];                                                  \
        if (!from_.IsReal()) goto L_General;                                                               \
        v = from_.real;                                                                                    \
    }
    // A built-in variable of self that is a field read in place.
#define VM_LEFT_Field(v)                                                                                   \
    {                                                                                                      \
        if (ip->slot < 0 || c.self == nullptr) goto L_General;                                             \
        v = FieldAt(c.self, ip->slot);                                                                     \
    }
    // Where a fused run stores: the variable of the pop record `store`, which must hold no array; null
    // while the variable is absent (self's list must be there).
    // A local target is its slot, never null: one that does not exist has a kind no value has
    // (kLocalAbsent), which VM_STORE_REAL_Local makes.
#define VM_TARGET_Local(out) out = VM_LOCAL_VALUE(store)
#define VM_TARGET_Self(out)                                                                                \
    do {                                                                                                   \
        CVariableList* list_ = VM_SELF_LIST(store);                                                        \
        if (list_ == nullptr) goto L_General;                                                              \
        out = CachedSlot(d->caches[store.cache], list_, store.a);                                          \
    } while (0)
    // Makes the absent variable of the store, as assigning it makes it.
#define VM_MAKE_Self(out) out = VM_SELF_LIST(store)->SlotOrAdd(store.a)
    // A built-in variable of self written in place (the pop's StoreCode): no holder.
#define VM_TARGET_Field(out)                                                                               \
    do {                                                                                                   \
        if (c.self == nullptr) goto L_General;                                                             \
        out = nullptr;                                                                                     \
    } while (0)
    // A global, or a user variable of other, found as a pop of its site finds it.
#define VM_TARGET_LIST(LIST, out)                                                                          \
    do {                                                                                                   \
        CVariableList* list_ = (LIST);                                                                     \
        if (list_ == nullptr) goto L_General;                                                              \
        out = CachedSlot(d->caches[store.cache], list_, store.a);                                          \
    } while (0)
#define VM_TARGET_Global(out) VM_TARGET_LIST(Variable_Globals(), out)
#define VM_TARGET_Other(out) VM_TARGET_LIST(instances.OtherVars(c.other), out)
#define VM_MAKE_Global(out) out = Variable_Globals()->SlotOrAdd(store.a)
#define VM_MAKE_Other(out) out = instances.OtherVars(c.other)->SlotOrAdd(store.a)
    // A built-in variable of other written in place (the pop's StoreCode): no holder.
#define VM_TARGET_FieldOther(out)                                                                          \
    do {                                                                                                   \
        if (c.other == nullptr) goto L_General;                                                            \
        out = nullptr;                                                                                     \
    } while (0)
    // A variable of the instance whose code lies beneath the two operands (pop.i.v): a user variable that
    // exists (holder), or a built-in variable whose setter writes a field in place (fieldTarget_, the
    // field's code in the run's slot and the flag it sets in k).
#define VM_TARGET_Instance(out)                                                                            \
    CInstance* fieldTarget_ = nullptr;                                                                     \
    do {                                                                                                   \
        const int code_ = Load<int32_t>(sp + rightSize_ + 16);                                             \
        out = nullptr;                                                                                     \
        if (store.a < kVariableListIdBase) {                                                               \
            if (ip->slot < 0 || code_ == INSTANCE_LOCAL || code_ == INSTANCE_GLOBAL) goto L_General;       \
            fieldTarget_ = instances.Instance(c, code_);                                                   \
            if (fieldTarget_ == nullptr) goto L_General;                                                   \
        } else {                                                                                           \
            if (code_ >= kFirstInstanceId)                                                                 \
                out = instances.UserOf(c, d->caches[store.cache], store.a, code_);                         \
            else                                                                                           \
                VM_USER(store, code_, out);                                                                \
            if (out == nullptr) goto L_General;                                                            \
        }                                                                                                  \
    } while (0)
    // Stores the result of a compound assignment into its target.
#define VM_COMPOUND_STORE_Local(holder, value) VM_STORE_REAL(Local, holder, value)
#define VM_COMPOUND_STORE_Self(holder, value) VM_STORE_REAL(Self, holder, value)
#define VM_COMPOUND_STORE_Field(holder, value) StoreFieldAt(c.self, store.slot, store.k, value)
#define VM_COMPOUND_STORE_Global(holder, value) VM_STORE_REAL(Global, holder, value)
#define VM_COMPOUND_STORE_Other(holder, value) VM_STORE_REAL(Other, holder, value)
#define VM_COMPOUND_STORE_FieldOther(holder, value) StoreFieldAt(c.other, store.slot, store.k, value)
    // (The instance code beneath the result is taken off too.)
#define VM_COMPOUND_STORE_Instance(holder, value)                                                          \
    do {                                                                                                   \
        const double value_ = (value);                                                                     \
        if (fieldTarget_ != nullptr)                                                                       \
            StoreFieldAt(fieldTarget_, ip->slot, ip->k, value_);                                           \
        else                                                                                               \
            VM_STORE_REAL(Instance, holder, value_);                                                       \
        top += 4;                                                                                          \
    } while (0)
#define VM_MAKE_Instance(out) goto L_General
    // Whether the target holds an array (a run leaves those to the general way): a local that holds a real
    // is told by one test of its kind word.
#define VM_HOLDS_ARRAY(TARGET, holder) VM_HOLDS_ARRAY_##TARGET(holder)
#define VM_HOLDS_ARRAY_Local(holder) ((holder)->kind != KIND_REAL && (holder)->IsArray())
#define VM_HOLDS_ARRAY_LIST(holder) ((holder) != nullptr && (holder)->IsArray())
#define VM_HOLDS_ARRAY_Self VM_HOLDS_ARRAY_LIST
#define VM_HOLDS_ARRAY_Global VM_HOLDS_ARRAY_LIST
#define VM_HOLDS_ARRAY_Other VM_HOLDS_ARRAY_LIST
#define VM_HOLDS_ARRAY_Instance VM_HOLDS_ARRAY_LIST
#define VM_HOLDS_ARRAY_Field VM_HOLDS_ARRAY_LIST
#define VM_HOLDS_ARRAY_FieldOther VM_HOLDS_ARRAY_LIST
    // Stores a real as pop.v.v of a .v real does, into the target's variable (made when absent).
#define VM_STORE_REAL(TARGET, holder, value) VM_STORE_REAL_##TARGET(holder, value)
    // A local that holds a real already takes the number alone.
#define VM_STORE_REAL_Local(holder, value)                                                                 \
    do {                                                                                                   \
        if ((holder)->kind != KIND_REAL) [[unlikely]]                                                      \
            holder = LocalForReal(c.localsLevel, holder, store.slot);                                      \
        (holder)->real = (value);                                                                          \
    } while (0)
#define VM_STORE_REAL_Self(holder, value) VM_STORE_REAL_LIST(Self, holder, value)
#define VM_STORE_REAL_Global(holder, value) VM_STORE_REAL_LIST(Global, holder, value)
#define VM_STORE_REAL_Other(holder, value) VM_STORE_REAL_LIST(Other, holder, value)
#define VM_STORE_REAL_Instance(holder, value) VM_STORE_REAL_LIST(Instance, holder, value)
#define VM_STORE_REAL_LIST(TARGET, holder, value)                                                          \
    do {                                                                                                   \
        if ((holder) == nullptr)                                                                           \
            VM_MAKE_##TARGET(holder);                                                                      \
        else if (((holder)->kind & KIND_MASK) != KIND_REAL && (holder)->IsString())                        \
            MEM_FREE((holder)->str); /* one test finds the common case, a real written over */             \
        (holder)->kind = KIND_REAL;                                                                        \
        (holder)->real = (value);                                                                          \
    } while (0)

#define VM_HANDLER_NONE(...)
#define VM_HANDLER_BINARY(NAME, OPCODE, RIGHT, LEFT)                                                        \
    L_##NAME##_##RIGHT##_##LEFT : {                                                                        \
        uint8_t* top = FastBinary<OPCODE, VT_##RIGHT, VT_##LEFT>(sp);                                      \
        if (top == nullptr && (top = TextBinary(c, ip->word, sp)) == nullptr) goto L_General;              \
        sp = top;                                                                                          \
        VM_NEXT();                                                                                         \
    }
#define VM_HANDLER_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT)                                                 \
    L_##NAME##Branch_##RIGHT##_##LEFT : {                                                                  \
        uint8_t* top = FastBinary<OPCODE, VT_##RIGHT, VT_##LEFT>(sp);                                      \
        if (top == nullptr && (top = TextBinary(c, ip->word, sp)) == nullptr) goto L_General;              \
        sp = top + 4;                                                                                      \
        VM_BRANCH_ON((Load<uint32_t>(top) & 0xFF) != 0, ip[1]);                                            \
    }
#define VM_HANDLER_CONVERSION(FROM, TO)                                                                    \
    L_Conv_##FROM##_##TO:                                                                                  \
    {                                                                                                      \
        uint8_t* top = FastConversion<VT_##FROM, VT_##TO>(sp);                                             \
        if (top == nullptr) goto L_General;                                                                \
        sp = top;                                                                                          \
    }                                                                                                      \
    VM_NEXT();
#define VM_HANDLER_IMMEDIATE(SOURCE, NAME, OPCODE)                                                         \
    L_##SOURCE##Imm##NAME : {                                                                              \
        uint8_t* top = sp;                                                                                 \
        double left;                                                                                       \
        VM_LEFT_##SOURCE(left);                                                                            \
        if constexpr (OPCODE >= OP_SLT) {                                                                  \
            top -= 4;                                                                                      \
            Store<int32_t>(top, CompareByDifference(OPCODE, left - ip->k) ? 1 : 0);                        \
        } else {                                                                                           \
            double result;                                                                                 \
            if (!ImmediateArithmetic<OPCODE>(left, ip->k, result)) goto L_General;                       \
            top = PushReal(top, result, true);                                                                \
        }                                                                                                  \
        sp = top;                                                                                          \
        VM_NEXT();                                                                                         \
    }
#define VM_HANDLER_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE)                                                  \
    L_##SOURCE##Imm##NAME##Branch : {                                                                      \
        uint8_t* top = sp;                                                                                 \
        double left;                                                                                       \
        VM_LEFT_##SOURCE(left);                                                                            \
        sp = top;                                                                                          \
        VM_BRANCH_AT(CompareByDifference(OPCODE, left - ip->k), ip->x.i);                                  \
    }
#define VM_HANDLER_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE)                                           \
    L_##SOURCE##Imm##NAME##To##TARGET : {                                                                  \
        uint8_t* top = sp;                                                                                 \
        double left, result;                                                                               \
        VM_LEFT_##SOURCE(left);                                                                            \
        const Insn& store = ip[ip->x.i];                                                                   \
        ScriptValue* holder;                                                                               \
        VM_TARGET_##TARGET(holder);                                                                        \
        if (VM_HOLDS_ARRAY(TARGET, holder) || !ImmediateArithmetic<OPCODE>(left, ip->k, result))           \
            goto L_General;                                                                                \
        VM_STORE_REAL(TARGET, holder, result);                                                             \
        sp = top;                                                                                          \
        VM_NEXT();                                                                                         \
    }
    // "local op local": the first local at this record, the second at record k; anything but two reals
    // goes on at OTHERWISE.
#define VM_PAIR_OPERANDS(LEFT, RIGHT, OTHERWISE)                                                           \
    double left, right;                                                                                    \
    {                                                                                                      \
        const ScriptValue* l_ = (LEFT);                                                                    \
        const ScriptValue* r_ = (RIGHT);                                                                   \
        if (((l_->kind | r_->kind) & KIND_MASK) != KIND_REAL) goto OTHERWISE;                              \
        left = l_->real;                                                                                   \
        right = r_->real;                                                                                  \
    }
    // (A local that does not exist fails the test of the kinds; an argument past the count is real 0.)
    // Texts in locals ("name + suffix", "a == b") are pushed one by one as the run's own records do.
#define VM_OPERANDS_Locals() VM_PAIR_OPERANDS(VM_LOCAL_VALUE(*ip), VM_LOCAL_VALUE(ip[ip->k]), first_local_alone)
#define VM_OPERANDS_Args() VM_PAIR_OPERANDS(&Code_Arguments[ip->a], &Code_Arguments[ip[ip->k].a], L_General)
#define VM_HANDLER_LOCALS(A, NAME, OPCODE)                                                                 \
    L_##A##NAME : {                                                                                        \
        VM_OPERANDS_##A();                                                                                 \
        if constexpr (OPCODE >= OP_SLT) {                                                                  \
            sp -= 4;                                                                                       \
            Store<int32_t>(sp, CompareByDifference(OPCODE, left - right) ? 1 : 0);                         \
        } else {                                                                                           \
            double result;                                                                                 \
            if (!RealArithmetic<OPCODE, VT_VARIABLE, VT_VARIABLE>(left, right, 0, 0, result)) goto L_General; \
            sp = PushReal(sp, result, true);                                                                  \
        }                                                                                                  \
        VM_NEXT();                                                                                         \
    }
#define VM_HANDLER_LOCALS_BRANCH(A, NAME, OPCODE)                                                          \
    L_##A##NAME##Branch : {                                                                                \
        VM_OPERANDS_##A();                                                                                 \
        VM_BRANCH_AT(CompareByDifference(OPCODE, left - right), ip->x.i);                                  \
    }
#define VM_HANDLER_LOCALS_STORE(TARGET, A, NAME, OPCODE)                                                   \
    L_Locals##NAME##To##TARGET : {                                                                         \
        VM_OPERANDS_Locals();                                                                              \
        const Insn& store = ip[ip->x.i];                                                                   \
        ScriptValue* holder;                                                                               \
        VM_TARGET_##TARGET(holder);                                                                        \
        double result;                                                                                     \
        if (VM_HOLDS_ARRAY(TARGET, holder) ||                                                              \
            !RealArithmetic<OPCODE, VT_VARIABLE, VT_VARIABLE>(left, right, 0, 0, result))                  \
            goto L_General;                                                                                \
        VM_STORE_REAL(TARGET, holder, result);                                                             \
        VM_NEXT();                                                                                         \
    }
    // "x op= value": the variable is found before the operation, so that a miss leaves the stack as it
    // was for the general way.
#define VM_HANDLER_COMPOUND(TARGET, TYPE, NAME, OPCODE)                                                    \
    L_##NAME##_##TYPE##To##TARGET : {                                                                      \
        const Insn& store = ip[1];                                                                         \
        [[maybe_unused]] constexpr int rightSize_ = kItemSize<VT_##TYPE>;                                  \
        ScriptValue* holder;                                                                               \
        VM_TARGET_##TARGET(holder);                                                                        \
        if (VM_HOLDS_ARRAY(TARGET, holder)) goto L_General;                                                \
        uint8_t* top = FastBinary<OPCODE, VT_##TYPE, VT_VARIABLE>(sp);                                     \
        if (top == nullptr) {                                                                              \
            /* Texts are joined here and stored by the pop's own handler. */                               \
            if ((top = TextBinary(c, ip->word, sp)) == nullptr) goto L_General;                            \
            sp = top;                                                                                      \
            ++ip;                                                                                          \
            VM_DISPATCH();                                                                                 \
        }                                                                                                  \
        VM_COMPOUND_STORE_##TARGET(holder, Load<double>(top + 8));                                         \
        sp = top + 16;                                                                                     \
        VM_NEXT();                                                                                         \
    }
    // The whole-number runs with a constant (vm_decode.h, INT_IMMEDIATE), by their shape:
    //   Int, IntBranch: "the .i on top op k"; a comparison's truth is pushed in the .i's place (a .b), or
    //     branched on by the bt or bf at record x.i;
    //   LocalInt, LocalIntBranch: "local made a .i op k", the IntOfLocal run joined to the Int or
    //     IntBranch run at record x.i (which holds k);
    //   LocalMod, LocalRem and their Branch: "local mod k" or "local div k" (the run's k) compared with the
    //     number of the comparison's run at record x.i, pushed or branched on as that run does;
    //   AddLocal, SubLocal: "x += local op k" and "x -= local op k" into a local x;
    //   LocalAnd, LocalAndBranch: "local made a .i & k" (the LocalInt run's k at record x.i) compared with
    //     the number of the Int or IntBranch run at record k, pushed or branched on as that run does.
#define VM_SHAPE_Int 0
#define VM_SHAPE_IntBranch 0
#define VM_SHAPE_LocalInt 1
#define VM_SHAPE_LocalIntBranch 1
#define VM_SHAPE_LocalMod 2
#define VM_SHAPE_LocalModBranch 2
#define VM_SHAPE_LocalRem 2
#define VM_SHAPE_LocalRemBranch 2
#define VM_SHAPE_LocalAnd 4
#define VM_SHAPE_LocalAndBranch 4
#define VM_SHAPE_AddLocal 3
#define VM_SHAPE_SubLocal 3
#define VM_SHAPE_AndLocal 3
#define VM_SHAPE_OrLocal 3
#define VM_SHAPE_XorLocal 3
#define VM_BRANCHES_Int false
#define VM_BRANCHES_IntBranch true
#define VM_BRANCHES_LocalInt false
#define VM_BRANCHES_LocalIntBranch true
#define VM_BRANCHES_LocalMod false
#define VM_BRANCHES_LocalModBranch true
#define VM_BRANCHES_LocalRem false
#define VM_BRANCHES_LocalRemBranch true
#define VM_BRANCHES_LocalAnd false
#define VM_BRANCHES_LocalAndBranch true
#define VM_BRANCHES_AddLocal false
#define VM_BRANCHES_SubLocal false
#define VM_BRANCHES_AndLocal false
#define VM_BRANCHES_OrLocal false
#define VM_BRANCHES_XorLocal false
    // The second operation of a shape: mod, div or & before the comparison, add or sub after the run.
#define VM_SECOND_Int 0
#define VM_SECOND_IntBranch 0
#define VM_SECOND_LocalInt 0
#define VM_SECOND_LocalIntBranch 0
#define VM_SECOND_LocalMod OP_MOD
#define VM_SECOND_LocalModBranch OP_MOD
#define VM_SECOND_LocalRem OP_REM
#define VM_SECOND_LocalRemBranch OP_REM
#define VM_SECOND_LocalAnd OP_AND
#define VM_SECOND_LocalAndBranch OP_AND
#define VM_SECOND_AddLocal OP_ADD
#define VM_SECOND_SubLocal OP_SUB
#define VM_SECOND_AndLocal OP_AND
#define VM_SECOND_OrLocal OP_OR
#define VM_SECOND_XorLocal OP_XOR
    // A .i result (top: the stack without the run's operands) pushed, or stored at once by a pop.v.i into
    // a local that follows, as PopLocalInt stores it.
#define VM_PUSH_INT(value, top)                                                                            \
    do {                                                                                                   \
        const Insn* store_ = ip + ip->words;                                                               \
        if (store_->op == kOpPopLocalInt) {                                                                \
            ScriptValue* holder_ = &localSlots[store_->slot];                                              \
            if (holder_->kind == kLocalAbsent) holder_ = MakeLocal(c.localsLevel, store_->slot);           \
            if (holder_->IsReal()) {                                                                       \
                holder_->kind = KIND_REAL;                                                                 \
                holder_->real = (value);                                                                   \
                sp = (top);                                                                                \
                ip = store_;                                                                               \
                VM_NEXT();                                                                                 \
            }                                                                                              \
        }                                                                                                  \
        sp = (top) - 4;                                                                                    \
        Store<int32_t>(sp, (value));                                                                       \
        VM_NEXT();                                                                                         \
    } while (0)
#define VM_HANDLER_INT_IMMEDIATE(A, NAME, OPCODE)                                                          \
    L_##A##Imm##NAME : {                                                                                   \
        constexpr int shape = VM_SHAPE_##A;                                                                \
        constexpr bool branches = VM_BRANCHES_##A;                                                         \
        if constexpr (shape == 3) {                                                                        \
            ScriptValue* target = &localSlots[ip->slot];                                                   \
            const Insn& run = ip[ip->x.i];                                                                 \
            const ScriptValue* from = &localSlots[run.slot];                                               \
            double value, result;                                                                          \
            if (!target->IsReal() || !from->IsReal() || !ImmediateArithmetic<OPCODE>(from->real, run.k, value)) \
                goto L_General;                                                                            \
            if constexpr (VM_SECOND_##A == OP_ADD || VM_SECOND_##A == OP_SUB) {                            \
                if (!RealArithmetic<VM_SECOND_##A, VT_VARIABLE, VT_VARIABLE>(target->real, value, 0, 0, result)) \
                    goto L_General;                                                                        \
            } else {                                                                                       \
                /* The run's result made a .i by conv.v.i. */                                              \
                const int32_t whole = X86_DoubleToInt32(value);                                            \
                RealArithmetic<VM_SECOND_##A, VT_INT, VT_VARIABLE>(target->real, whole, 0, whole, result);  \
            }                                                                                              \
            target->kind = KIND_REAL;                                                                      \
            target->real = result;                                                                         \
            VM_NEXT();                                                                                     \
        } else if constexpr (shape == 4) {                                                                 \
            const ScriptValue* from = &localSlots[ip->slot];                                               \
            if (!from->IsReal()) goto L_General;                                                           \
            const int32_t bits = X86_DoubleToInt32(from->real) & ip[ip->x.i].k;                            \
            const Insn& test = ip[ip->k];                                                                  \
            const bool truth = CompareByOrder(OPCODE, (bits > test.k) - (bits < test.k));                  \
            if constexpr (branches) VM_BRANCH_ON(truth, (&test)[test.x.i]);                                \
            sp -= 4;                                                                                       \
            Store<int32_t>(sp, truth ? 1 : 0);                                                             \
            VM_NEXT();                                                                                     \
        } else if constexpr (shape == 2) {                                                                 \
            double left, value;                                                                            \
            VM_LEFT_Local(left);                                                                           \
            if (!ImmediateArithmetic<VM_SECOND_##A>(left, ip->k, value)) goto L_General;                   \
            const Insn& test = ip[ip->x.i];                                                                \
            const bool truth = CompareByDifference(OPCODE, value - test.k);                                \
            if constexpr (branches) VM_BRANCH_ON(truth, (&test)[test.x.i]);                                \
            sp -= 4;                                                                                       \
            Store<int32_t>(sp, truth ? 1 : 0);                                                             \
            VM_NEXT();                                                                                     \
        } else {                                                                                           \
            /* The left .i and the run that holds k and the branch's offset. */                            \
            int32_t left;                                                                                  \
            uint8_t* top;                                                                                  \
            const Insn* run;                                                                               \
            if constexpr (shape == 1) {                                                                    \
                const ScriptValue* from = &localSlots[ip->slot];                                           \
                if (!from->IsReal()) goto L_General;                                                       \
                left = X86_DoubleToInt32(from->real);                                                      \
                top = sp;                                                                                  \
                run = ip + ip->x.i;                                                                        \
            } else {                                                                                       \
                left = Load<int32_t>(sp);                                                                  \
                top = sp + 4;                                                                              \
                run = ip;                                                                                  \
            }                                                                                              \
            if constexpr (OPCODE >= OP_SLT) {                                                              \
                const bool truth = CompareByOrder(OPCODE, (left > run->k) - (left < run->k));              \
                if constexpr (branches) {                                                                  \
                    sp = top;                                                                              \
                    VM_BRANCH_ON(truth, run[run->x.i]);                                                    \
                }                                                                                          \
                sp = top - 4;                                                                              \
                Store<int32_t>(sp, truth ? 1 : 0);                                                         \
                VM_NEXT();                                                                                 \
            } else {                                                                                       \
                int32_t result;                                                                            \
                if (!IntegerArithmetic<OPCODE>(left, run->k, result)) goto L_General;                      \
                VM_PUSH_INT(result, top);                                                                  \
            }                                                                                              \
        }                                                                                                  \
    }
    VM_FAST_OPS(VM_HANDLER_NONE, VM_HANDLER_NONE, VM_HANDLER_BINARY, VM_HANDLER_BINARY_BRANCH,
                VM_HANDLER_CONVERSION, VM_HANDLER_IMMEDIATE, VM_HANDLER_IMMEDIATE_BRANCH,
                VM_HANDLER_IMMEDIATE_STORE, VM_HANDLER_LOCALS, VM_HANDLER_LOCALS_BRANCH, VM_HANDLER_LOCALS_STORE,
                VM_HANDLER_COMPOUND, VM_HANDLER_INT_IMMEDIATE)
    goto L_General;

    // The entries that step to a handler's record (see kEntries). The empty statements keep the compiler
    // from folding the steps into one another.
#define VM_ENTRY_STEP(n, NAME)                                                                             \
    S##n##_##NAME : ip += n;                                                                               \
    __asm__("" : "+r"(ip));                                                                                \
    goto L_##NAME;
#define VM_EACH_NAME(NAME) VM_ENTRY_STEP(1, NAME)
    VM_EACH_HANDLER()
#undef VM_EACH_NAME
    // The steps of 2 to 14 records that every handler shares: they find the handler by the record's op.
    // Where the step code outside the body (L_StepEntries) cannot be used, the entries are these.
#define VM_SHARED_STEP(n)                                                                                  \
    L_Step##n : ip += n;                                                                                   \
    VM_DISPATCH();
    VM_SHARED_STEP(2)
    VM_SHARED_STEP(3)
    VM_SHARED_STEP(4)
    VM_SHARED_STEP(5)
    VM_SHARED_STEP(6)
    VM_SHARED_STEP(7)
    VM_SHARED_STEP(8)
    VM_SHARED_STEP(9)
    VM_SHARED_STEP(10)
    VM_SHARED_STEP(11)
    VM_SHARED_STEP(12)
    VM_SHARED_STEP(13)
    VM_SHARED_STEP(14)
#undef VM_SHARED_STEP
L_StepByWords:
    ip += ip->words;
    VM_DISPATCH();

#if VM_STEP_STUBS
    // Each handler's steps of 2 to 14 records as code of their own, kStepEntryBytes each, in a section
    // apart from the loop's body: "add the step to the position; jump to the handler". As labels of the
    // loop they would each be a target of every indirect jump in it, and the compiler's graph of the loop
    // would grow as the product of the two (to gigabytes at fourteen labels a handler); an asm goto gives
    // each handler one edge instead.
    //
    // How the loop is compiled: L_StepEntries is a label whose address is taken, so the compiler takes it
    // as a target of every indirect jump of the loop, with the loop's state as those jumps leave it. From
    // there one asm goto a handler follows another; each may add to the position (an operand in and out)
    // and jump to its handler, and the compiler makes the state at each of its labels what that jump
    // needs (an edge that needs moves has them in a block of its own, which the asm's label names).
    // How it runs: an entry of these steps is jumped to directly, as if from L_StepEntries past the asm
    // statements before its own, which the code does not run. That holds only where the compiler put
    // nothing of its own before or between the statements: each leaves only a symbol of its own in the
    // body (vm_hub_), and the steps are used only where all these lie at the label
    // (StepStubsLieAtTheLabel); otherwise the entries are the shared steps above. Under indirect-branch
    // tracking each step begins with the mark of a branch target.
L_StepEntries:
#if defined(__CET__) && (__CET__ & 1)
#define VM_STEP_TARGET "endbr64\n\t"
#else
#define VM_STEP_TARGET ""
#endif
#define VM_STRING(x) #x
#define VM_EACH_NAME(NAME)                                                                                 \
    asm goto(".globl vm_hub_" #NAME "\n\t"                                                                 \
             ".hidden vm_hub_" #NAME "\n"                                                                   \
             "vm_hub_" #NAME ":\n\t"                                                                       \
             ".pushsection .text.vm_steps,\"ax\",@progbits\n\t"                                            \
             ".balign %c[bytes]\n\t"                                                                       \
             ".globl vm_steps_" #NAME "\n\t"                                                               \
             ".hidden vm_steps_" #NAME "\n"                                                                 \
             "vm_steps_" #NAME ":\n\t"                                                                     \
             ".set .Lvm_step, 2\n\t"                                                                       \
             ".rept %c[count]\n"                                                                           \
             "0:\n\t" VM_STEP_TARGET                                                                       \
             "addq $(%c[size] * .Lvm_step), %[ip]\n\t"                                                     \
             "jmp %l[" VM_STRING(L_##NAME) "]\n\t"                                                         \
             ".org 0b + %c[bytes]\n\t" /* (an error where a step would not fit) */                          \
             ".set .Lvm_step, .Lvm_step + 1\n\t"                                                           \
             ".endr\n\t"                                                                                   \
             ".popsection"                                                                                 \
             : [ip] "+r"(ip)                                                                               \
             : [bytes] "i"(kStepEntryBytes), [count] "i"(kSteppedEntries - 1), [size] "i"(sizeof(Insn))    \
             : "cc"                                                                                        \
             : L_##NAME);
    VM_EACH_HANDLER()
#undef VM_EACH_NAME
#undef VM_STRING
#undef VM_STEP_TARGET
    goto L_General;
#endif
#undef VM_ENTRY_STEP
#undef VM_HANDLER_NONE
#undef VM_HANDLER_BINARY
#undef VM_HANDLER_BINARY_BRANCH
#undef VM_HANDLER_CONVERSION
#undef VM_HANDLER_IMMEDIATE
#undef VM_HANDLER_IMMEDIATE_BRANCH
#undef VM_HANDLER_IMMEDIATE_STORE
#undef VM_HANDLER_LOCALS
#undef VM_HANDLER_LOCALS_BRANCH
#undef VM_HANDLER_LOCALS_STORE
#undef VM_HANDLER_COMPOUND
#undef VM_HANDLER_INT_IMMEDIATE
#undef VM_PUSH_INT
#undef VM_COPY_TO_LOCAL
#undef VM_PAIR_OPERANDS
#undef VM_OPERANDS_Locals
#undef VM_OPERANDS_Args
#undef VM_LEFT_Stack
#undef VM_LEFT_Local
#undef VM_LEFT_Self
#undef VM_LEFT_Arg
#undef VM_LEFT_Field
#undef VM_LEFT_FROM
#undef VM_TARGET_Local
#undef VM_TARGET_Self
#undef VM_HOLDS_ARRAY
#undef VM_HOLDS_ARRAY_Local
#undef VM_HOLDS_ARRAY_LIST
#undef VM_HOLDS_ARRAY_Self
#undef VM_HOLDS_ARRAY_Global
#undef VM_HOLDS_ARRAY_Other
#undef VM_HOLDS_ARRAY_Instance
#undef VM_HOLDS_ARRAY_Field
#undef VM_HOLDS_ARRAY_FieldOther
#undef VM_STORE_REAL_Local
#undef VM_STORE_REAL_Self
#undef VM_STORE_REAL_Global
#undef VM_STORE_REAL_Other
#undef VM_STORE_REAL_Instance
#undef VM_STORE_REAL_LIST
#undef VM_MAKE_Self
#undef VM_TARGET_Field
#undef VM_COMPOUND_STORE_Local
#undef VM_COMPOUND_STORE_Self
#undef VM_COMPOUND_STORE_Field
#undef VM_TARGET_LIST
#undef VM_TARGET_Global
#undef VM_TARGET_Other
#undef VM_TARGET_FieldOther
#undef VM_TARGET_Instance
#undef VM_MAKE_Global
#undef VM_MAKE_Other
#undef VM_MAKE_Instance
#undef VM_COMPOUND_STORE_Global
#undef VM_COMPOUND_STORE_Other
#undef VM_COMPOUND_STORE_FieldOther
#undef VM_COMPOUND_STORE_Instance
#undef VM_STORE_REAL
#undef VM_BRANCH_ON
#undef VM_PUSH_HOLDER
#undef VM_POP_HOLDER
#undef VM_USER
#undef VM_MATERIALIZE
#undef VM_LIST_VARIABLE
#undef VM_STACK_ADDRESS
#undef VM_ELEMENT_BY_LOCAL
#undef VM_SELF
#undef VM_SELF_LIST
#undef VM_LOCAL
#undef VM_NEW_LOCAL
#undef VM_SYNC
#undef VM_SYNC_AFTER
#undef VM_DISPATCH
#undef VM_NEAR_CASE
#undef VM_NEAR
#undef VM_BRANCH_AT
#undef VM_NEXT
#undef VM_JUMP
#undef VM_GO
#undef VM_COUNT_BACK
#undef VM_ENTER
}
#undef VM_REGISTER

// What each op's handler is made of, in FastOp order (LoopHandlerCodes), told from the definitions of
// the handlers above: a family's handler takes its code from the family's arguments but the name, the
// opcode as its code takes it (IntegerOperation's, where only IntegerArithmetic and CompareByOrder take
// it). The simple handlers and the variable sites are written out, each its own text.
#define VM_CODE_WRITTEN(...) {nullptr, 0},
#define VM_CODE_SITE(NAME) {nullptr, 0}, {nullptr, 0},
// (The handlers of two .i.)
#define VM_CODE_BINARY(NAME, OPCODE, RIGHT, LEFT)                                                          \
    {"BINARY " #RIGHT " " #LEFT,                                                                           \
     VT_##RIGHT == VT_INT && VT_##LEFT == VT_INT ? IntegerOperation(OPCODE) : OPCODE},
#define VM_CODE_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) {"BINARY_BRANCH " #RIGHT " " #LEFT, OPCODE},
#define VM_CODE_CONVERSION(FROM, TO) {"CONVERSION " #FROM " " #TO, 0},
#define VM_CODE_IMMEDIATE(SOURCE, NAME, OPCODE) {"IMMEDIATE " #SOURCE, OPCODE},
#define VM_CODE_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE) {"IMMEDIATE_BRANCH " #SOURCE, OPCODE},
#define VM_CODE_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE)                                              \
    {"IMMEDIATE_STORE " #TARGET " " #SOURCE, OPCODE},
#define VM_CODE_LOCALS(A, NAME, OPCODE) {"LOCALS " #A, OPCODE},
#define VM_CODE_LOCALS_BRANCH(A, NAME, OPCODE) {"LOCALS_BRANCH " #A, OPCODE},
#define VM_CODE_LOCALS_STORE(TARGET, A, NAME, OPCODE) {"LOCALS_STORE " #TARGET " " #A, OPCODE},
#define VM_CODE_COMPOUND(TARGET, TYPE, NAME, OPCODE) {"COMPOUND " #TARGET " " #TYPE, OPCODE},
// (Shapes 0 and 1, of a .i or a local made one.)
#define VM_CODE_INT_IMMEDIATE(A, NAME, OPCODE)                                                             \
    {"INT_IMMEDIATE " #A, VM_SHAPE_##A <= 1 ? IntegerOperation(OPCODE) : OPCODE},
constexpr HandlerCode kHandlerCodes[kOpCount] = {
    VM_FAST_OPS(VM_CODE_WRITTEN, VM_CODE_SITE, VM_CODE_BINARY, VM_CODE_BINARY_BRANCH, VM_CODE_CONVERSION,
                VM_CODE_IMMEDIATE, VM_CODE_IMMEDIATE_BRANCH, VM_CODE_IMMEDIATE_STORE, VM_CODE_LOCALS,
                VM_CODE_LOCALS_BRANCH, VM_CODE_LOCALS_STORE, VM_CODE_COMPOUND, VM_CODE_INT_IMMEDIATE)};
#undef VM_CODE_WRITTEN
#undef VM_CODE_SITE
#undef VM_CODE_BINARY
#undef VM_CODE_BINARY_BRANCH
#undef VM_CODE_CONVERSION
#undef VM_CODE_IMMEDIATE
#undef VM_CODE_IMMEDIATE_BRANCH
#undef VM_CODE_IMMEDIATE_STORE
#undef VM_CODE_LOCALS
#undef VM_CODE_LOCALS_BRANCH
#undef VM_CODE_LOCALS_STORE
#undef VM_CODE_COMPOUND
#undef VM_CODE_INT_IMMEDIATE
#undef VM_SHAPE_XorLocal
#undef VM_BRANCHES_XorLocal
#undef VM_SECOND_XorLocal
#undef VM_SHAPE_OrLocal
#undef VM_BRANCHES_OrLocal
#undef VM_SECOND_OrLocal
#undef VM_SHAPE_AndLocal
#undef VM_BRANCHES_AndLocal
#undef VM_SECOND_AndLocal
#undef VM_SHAPE_SubLocal
#undef VM_BRANCHES_SubLocal
#undef VM_SECOND_SubLocal
#undef VM_SHAPE_AddLocal
#undef VM_BRANCHES_AddLocal
#undef VM_SECOND_AddLocal
#undef VM_SHAPE_LocalRemBranch
#undef VM_SHAPE_LocalAnd
#undef VM_BRANCHES_LocalAnd
#undef VM_SECOND_LocalAnd
#undef VM_SHAPE_LocalAndBranch
#undef VM_BRANCHES_LocalAndBranch
#undef VM_SECOND_LocalAndBranch
#undef VM_BRANCHES_LocalRemBranch
#undef VM_SECOND_LocalRemBranch
#undef VM_SHAPE_LocalRem
#undef VM_BRANCHES_LocalRem
#undef VM_SECOND_LocalRem
#undef VM_SHAPE_LocalModBranch
#undef VM_BRANCHES_LocalModBranch
#undef VM_SECOND_LocalModBranch
#undef VM_SHAPE_LocalMod
#undef VM_BRANCHES_LocalMod
#undef VM_SECOND_LocalMod
#undef VM_SHAPE_LocalIntBranch
#undef VM_BRANCHES_LocalIntBranch
#undef VM_SECOND_LocalIntBranch
#undef VM_SHAPE_LocalInt
#undef VM_BRANCHES_LocalInt
#undef VM_SECOND_LocalInt
#undef VM_SHAPE_IntBranch
#undef VM_BRANCHES_IntBranch
#undef VM_SECOND_IntBranch
#undef VM_SHAPE_Int
#undef VM_BRANCHES_Int
#undef VM_SECOND_Int

} // namespace

void RunDecoded(VMContext& c) {
    Loop(&c);
}

const void* const* LoopEntries() {
    if (g_loopEntries == nullptr) Loop(nullptr);
    return g_loopEntries;
}

bool LoopStepsOfTheirOwn() {
    LoopEntries();
    return g_stepStubs;
}

const HandlerCode* LoopHandlerCodes() {
    return kHandlerCodes;
}

} // namespace vm
