// The value stack: bounds, growth, and the stack form of values.
#include "core/console.h"
#include "core/memory.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_internal.h"

namespace vm {

bool CheckPop(VMContext& c, int n) {
    if (Depth(c) >= n) return true;
    VM_Error(&c, "Stack underflow in %s", RunningName(c));
    return false;
}

bool Reserve(VMContext& c, int n) {
    if (c.sp - c.stackBase >= static_cast<ptrdiff_t>(n)) return true;
    const int64_t used = StackEnd(c) - c.sp;
    int64_t size = c.stackSize;
    while (size - used < n)
        size += 16384;
    if (size > kVMMaxStackBytes) {
        StackOverflow(c);
        return false;
    }
    uint8_t* region = static_cast<uint8_t*>(MEM_ALLOC_RAW(static_cast<size_t>(size)));
    std::memcpy(region + size - used, c.sp, static_cast<size_t>(used));
    // The old region is released at once: the stack is reached through the context only, and every
    // position kept elsewhere is a distance from the top end.
    ReplaceStack(c, region, static_cast<int>(size));
    c.sp = region + size - used;
    return true;
}

bool PushValue(VMContext& c, ScriptValue& value) {
    uint64_t payload;
    switch (value.Kind()) {
    case KIND_STRING:
        payload = VMString_Hold(value.str, c.level);
        break;
    case KIND_ARRAY:
        payload = VMArray_Hold(value.arr, c.level);
        break;
    default:
        std::memcpy(&payload, &value.real, sizeof payload);
        break;
    }
    value.real = 0.0;
    // The kind and flags words in one store (see PushReal in vm_exec.cpp).
    c.sp -= 16;
    Store<uint64_t>(c.sp, static_cast<uint64_t>(value.flags) << 32 | value.kind);
    Store(c.sp + 8, payload);
    return true;
}

bool PopValue(VMContext& c, ScriptValue* value) {
    if (!CheckPop(c, 16)) return false;
    value->kind = Load<uint32_t>(c.sp);
    value->flags = Load<uint32_t>(c.sp + 4);
    const uint64_t payload = Load<uint64_t>(c.sp + 8);
    c.sp += 16;
    bool live = true;
    switch (value->Kind()) {
    case KIND_STRING:
        live = VMString_TakeOrCopy(VMText_ValueHandle(payload), &value->str);
        break;
    case KIND_ARRAY:
        live = VMArray_Take(static_cast<uint32_t>(payload), &value->arr);
        break;
    default:
        std::memcpy(&value->real, &payload, sizeof payload);
        return true;
    }
    if (!live) {
        Value_SetReal(value, 0.0);
        VM_Error(&c, "Malformed variable");
    }
    return live;
}

void PushRealValue(VMContext& c, double d) {
    ScriptValue value{};
    value.real = d;
    PushValue(c, value);
}

void PushTextValue(VMContext& c, char* text) {
    ScriptValue value{};
    value.kind = KIND_STRING;
    value.str = text;
    PushValue(c, value);
}

} // namespace vm
