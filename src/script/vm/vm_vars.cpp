// Variables, calls and with blocks: push, pop, popz, dup, call, pushenv and popenv.
#include <algorithm>
#include <vector>

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "script/code.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_frames.h"
#include "script/vm/vm_internal.h"
#include "script/world_interface.h"

namespace vm {

namespace {


struct VariableAddress {
    int id;
    int index;    // -1: no index
    int instance; // instance code
};

// Pops what the reference leaves on the stack: the array index (bit 31 clear), then the instance code
// (bit 29 clear); 100000 is added for bit 30.
bool PopAddress(VMContext& c, uint32_t word, uint32_t reference, VariableAddress& address) {
    address.id = static_cast<int>(reference & kVarRefIdMask);
    address.index = -1;
    if (!(reference & kVarRefNoIndex)) {
        if (!CheckPop(c, 4)) return false;
        address.index = Load<int32_t>(c.sp);
        c.sp += 4;
    }
    if (reference & kVarRefFieldInstance) {
        address.instance = VM_Field(word);
    } else {
        if (!CheckPop(c, 4)) return false;
        address.instance = Load<int32_t>(c.sp);
        c.sp += 4;
    }
    if (reference & kVarRefInstanceId) address.instance = Wrap_Add32(address.instance, kFirstInstanceId);
    return true;
}

bool UsesGlobal(int id) {
    return id >= kUserVariableBase && Variable_IsGlobalDeclared(id);
}

// Where an instance code sends a variable access.
struct Scope {
    enum Kind { Locals, Instance, Global, Noone, Target } kind;
    CInstance* instance = nullptr;
};

Scope ScopeOf(const VMContext& c, const VariableAddress& a) {
    switch (a.instance) {
    case INSTANCE_LOCAL:
        return {Scope::Locals};
    case INSTANCE_BUILTIN:
        // A variable declared global is the global one; any other is self's.
        return UsesGlobal(a.id) ? Scope{Scope::Global} : Scope{Scope::Instance, c.self};
    case INSTANCE_GLOBAL:
        return {Scope::Global};
    case INSTANCE_NOONE:
        return {Scope::Noone};
    case INSTANCE_SELF:
        return {Scope::Instance, c.self};
    case INSTANCE_OTHER:
        return {Scope::Instance, c.other};
    default:
        return {Scope::Target};
    }
}

bool ReadVariable(VMContext& c, const VariableAddress& a, ScriptValue* out) {
    const Scope scope = ScopeOf(c, a);
    switch (scope.kind) {
    case Scope::Locals: {
        if (c.localsLevel == nullptr) return false;
        ArrayIndexFailure.failed = false;
        if (ScriptValue* local = Local_Find(c, a.id)) return Value_ArrayGet(out, local, a.index);
        return CVariableList::ReadAbsent(out);
    }
    case Scope::Instance:
        return Variable_GetValue(scope.instance, a.id, a.index, out);
    case Scope::Global:
        return Variable_GetGlobal(a.id, a.index, out);
    case Scope::Noone:
        return true; // reads real 0
    default:
        return Variable_GetOnTarget(a.instance, a.id, a.index, out);
    }
}

bool WriteVariable(VMContext& c, const VariableAddress& a, ScriptValue* value) {
    const Scope scope = ScopeOf(c, a);
    switch (scope.kind) {
    case Scope::Locals:
        if (c.localsLevel == nullptr) return false;
        ArrayIndexFailure.failed = false;
        Value_AssignIndexed(Local_Make(c, a.id), value, a.index);
        return !ArrayIndexFailure.failed;
    case Scope::Instance:
        return Variable_SetValue(scope.instance, a.id, a.index, value);
    case Scope::Global:
        Variable_SetGlobal(a.id, a.index, value);
        return !ArrayIndexFailure.failed;
    case Scope::Noone:
        return true; // writes nothing
    default:
        return Variable_SetOnTarget(a.instance, a.id, a.index, value);
    }
}

void PushVariableFrom(VMContext& c, const VariableAddress& address) {
    ScriptValue value{};
    ArrayIndexFailure.failed = false;
    if (!ReadVariable(c, address, &value)) {
        ReportReadFailure(c, address.instance, address.id, address.index);
        Value_Free(&value);
        return;
    }
    PushValue(c, value);
}

void PushVariable(VMContext& c, uint32_t word, uint32_t reference) {
    VariableAddress address;
    if (PopAddress(c, word, reference, address)) PushVariableFrom(c, address);
}

} // namespace

// Pops an item of the type as a value that owns its text. False after a report.
bool PopAsValue(VMContext& c, int type, ScriptValue* value) {
    const int size = VM_StackItemSize(type);
    *value = ScriptValue{};
    switch (type) {
    case VT_VARIABLE:
        return PopValue(c, value);
    case VT_DOUBLE:
    case VT_INT:
    case VT_LONG:
    case VT_BOOL:
        if (!CheckPop(c, size)) return false;
        value->real = type == VT_DOUBLE ? Load<double>(c.sp)
                      : type == VT_INT  ? Load<int32_t>(c.sp)
                      : type == VT_LONG ? static_cast<double>(Load<int64_t>(c.sp))
                                        : ((Load<uint32_t>(c.sp) & 0xFF) ? 1.0 : 0.0);
        c.sp += size;
        return true;
    case VT_STRING:
        if (!CheckPop(c, 4)) return false;
        value->kind = KIND_STRING;
        if (!VMString_TakeOrCopy(Load<uint32_t>(c.sp), &value->str)) {
            Value_SetReal(value, 0.0);
            VM_Error(&c, "Malformed variable");
            return false;
        }
        c.sp += 4;
        return true;
    default:
        VM_Error(&c, "Pop :: Execution Engine");
        return false;
    }
}

namespace {

// A view of the top item of the type, left on the stack: its text or array stays held there.
bool PeekValue(VMContext& c, int type, ScriptValue* view) {
    *view = ScriptValue{};
    if (!CheckPop(c, type == VT_VARIABLE ? 16 : 4)) return false;
    const uint32_t handle = type == VT_VARIABLE ? Load<uint32_t>(c.sp + 8) : Load<uint32_t>(c.sp);
    if (type == VT_VARIABLE) {
        view->kind = Load<uint32_t>(c.sp);
        view->flags = Load<uint32_t>(c.sp + 4);
        if (view->IsReal() || (!view->IsString() && !view->IsArray())) {
            std::memcpy(&view->real, c.sp + 8, 8);
            return true;
        }
        const char* text;
        if (view->IsArray() ? VMArray_Peek(handle, &view->arr)
                            : VMString_Read(VMText_ValueHandle(Load<uint64_t>(c.sp + 8)), &text)) {
            if (view->IsString()) view->str = const_cast<char*>(text);
            return true;
        }
    } else {
        view->kind = KIND_STRING;
        const char* text;
        if (VMString_Read(handle, &text)) {
            view->str = const_cast<char*>(text);
            return true;
        }
    }
    *view = ScriptValue{};
    VM_Error(&c, "Malformed variable");
    return false;
}

void StoreVariable(VMContext& c, const VariableAddress& address, ScriptValue& value) {
    ArrayIndexFailure.failed = false;
    if (!WriteVariable(c, address, &value)) ReportStoreFailure(c, address.id);
    Value_Free(&value);
}

// pop.e: rearranges the stack by byte counts taken from the field (see the bytecode description).
void PopShuffle(VMContext& c, uint32_t word) {
    const int s = VM_StackItemSize(VM_Type2(word));
    const int k4 = 4 * static_cast<int8_t>(word & 0xFF);
    const int m4 = 4 * static_cast<int8_t>((word >> 8) & 0xFF);
    // Every byte read or written lies between the region's base and the empty stack pointer.
    const int lowest = std::min(0, k4 - s);
    const int highest = std::max({s, 2 * k4, k4 + s});
    if (k4 < 0 || highest > Depth(c) || -lowest > c.sp - c.stackBase) {
        VM_Error(&c, "Stack rearrangement leaves the stack in %s", RunningName(c));
        return;
    }
    uint8_t saved[16];
    std::memcpy(saved, c.sp, static_cast<size_t>(s));
    std::memmove(c.sp + k4 - s, c.sp + k4, static_cast<size_t>(k4));
    std::memcpy(c.sp + k4, saved, static_cast<size_t>(s));
    if (m4 >= 0) {
        if (CheckPop(c, m4)) c.sp += m4;
    } else if (Reserve(c, -m4)) {
        c.sp += m4;
    }
}

// Pops the argc arguments (the first on top), lets call fill a result from them, frees them and
// pushes the result.
template <typename Call> void CallWithArguments(VMContext& c, int argc, Call call) {
    ScriptValue local[16];
    ScriptValue* args = argc <= 16 ? local : static_cast<ScriptValue*>(MEM_ALLOC(sizeof(ScriptValue) * argc));
    int taken = 0;
    while (taken < argc && PopValue(c, &args[taken]))
        ++taken;
    if (taken == argc) {
        ScriptValue result{};
        call(result, args);
        PushValue(c, result);
    }
    for (int i = 0; i < taken; ++i)
        Value_Free(&args[i]);
    if (args != local) MEM_FREE(args);
}

void CallBuiltIn(VMContext& c, int index, int argc) {
    const BuiltInFunction* entry = Code_Function_Entry(index);
    if (entry == nullptr || entry->function == nullptr) {
        VM_Error(&c, "DoCall :: Execution Error - no built-in function at index %d", index);
        return;
    }
    if (VMDebug_State().VM_Trace) DebugConsole->Output("func call = %s\n", entry->name);
    CallWithArguments(c, argc, [&](ScriptValue& result, ScriptValue* args) {
        const char* outerFunction = VM_CurrentFunctionName;
        VM_CurrentFunctionName = entry->name;
        entry->function(result, c.self, c.other, argc, args);
        VM_CurrentFunctionName = outerFunction;
    });
}

void CallExtension(VMContext& c, int index, int argc) {
    CallWithArguments(c, argc, [&](ScriptValue& result, ScriptValue* args) {
        Code_Function_CallExtension(index, argc, args, &result);
    });
}

// Pops and frees n .v items.
bool DropValues(VMContext& c, int n) {
    for (int i = 0; i < n; ++i) {
        ScriptValue value{};
        if (!PopValue(c, &value)) return false;
        Value_Free(&value);
    }
    return true;
}

void CallScript(VMContext& c, int index, int argc) {
    CScript* script = Script_Data(index);
    if (script == nullptr) {
        VM_Error(&c, "call to non-existent script\n");
        return;
    }
    CCode* code = script->GetCode();
    if (code == nullptr || code->code == nullptr || code->code->size <= 0) {
        // Nothing to run: the arguments go, and the caller gets real 0.
        if (DropValues(c, argc)) PushRealValue(c, 0.0);
        return;
    }
    if (VMDebug_State().VM_Trace) DebugConsole->Output("script call = %s\n", Script_GetName(index));
    // At most 16 argument values exist: the first 16 are kept, the rest freed.
    ScriptValue incoming[16];
    const int kept = argc < 16 ? argc : 16;
    for (int i = 0; i < kept; ++i) {
        if (!PopValue(c, &incoming[i])) {
            for (int j = 0; j < i; ++j)
                Value_Free(&incoming[j]);
            return;
        }
    }
    if (!DropValues(c, argc - kept) ||
        !PushFrame(c, code, argc)) {
        for (int j = 0; j < kept; ++j)
            Value_Free(&incoming[j]);
        return;
    }
    // The script's own block, all real 0, takes the arguments.
    for (int i = 0; i < kept; ++i)
        Code_Arguments[i] = incoming[i];
}

bool IsPresent(IScriptWorld* world, CInstance* instance) {
    return !world->IsMarked(instance) && !world->IsDeactivated(instance);
}

// The instances a with block visits, in visiting order. An object index that names no object has no
// instances, so its block is skipped like that of an object without any.
void WithTargets(VMContext& c, int target, std::vector<CInstance*>& out) {
    out.clear();
    switch (target) {
    case INSTANCE_SELF:
    case INSTANCE_BUILTIN:
        out.push_back(c.self);
        return;
    case INSTANCE_OTHER:
        out.push_back(c.other);
        return;
    default:
        break;
    }
    IScriptWorld* world = ScriptWorld_Get();
    if (world == nullptr || (target < 0 && target != INSTANCE_ALL)) return;
    if (target >= kFirstInstanceId) {
        CInstance* instance = world->FindInstance(target);
        if (instance != nullptr && IsPresent(world, instance)) out.push_back(instance);
        return;
    }
    if (target == INSTANCE_ALL) {
        world->GatherPresent(ScriptInstanceList::Room, -1, false, out);
    } else {
        world->GatherPresent(ScriptInstanceList::Object, target, false, out);
        world->GatherPresent(ScriptInstanceList::ChangedObject, target, true, out);
        world->GatherPresent(ScriptInstanceList::ActivationChange, target, true, out);
    }
    // One or two targets are visited in list order, more from the last back to the first.
    if (out.size() >= 3) std::reverse(out.begin(), out.end());
}

} // namespace

void ReportReadFailure(VMContext& c, int instance, int id, int index) {
    const char* name = Code_Variable_GetName(id);
    if (ArrayIndexFailure.failed) {
        VM_Error(&c, "Push :: Execution Error - Variable Index [%d,%d] out of range [%d,%d] - %d.%s(%d,%d)",
                 ArrayIndexFailure.row, ArrayIndexFailure.column, ArrayIndexFailure.rowCount,
                 ArrayIndexFailure.rowLength, instance, name, id, index);
    } else {
        VM_Error(&c, "Push :: Execution Error - Variable Get %d.%s(%d, %d)", instance, name, id, index);
    }
}

void ReportStoreFailure(VMContext& c, int id) {
    const char* name = Code_Variable_GetName(id);
    if (ArrayIndexFailure.failed)
        VM_Error(&c, "Pop :: Execution Error - Variable index out of range %s", name);
    else
        VM_Error(&c, "Pop :: Execution Error - Variable set failed %s - read only variable?", name);
}

void PushVariableAt(VMContext& c, int instance, int id, int index) {
    PushVariableFrom(c, VariableAddress{id, index, instance});
}

void StoreVariableAt(VMContext& c, int instance, int id, int index, ScriptValue& value) {
    StoreVariable(c, VariableAddress{id, index, instance}, value);
}

void Push(VMContext& c, uint32_t word, const uint8_t* operand) {
    switch (VM_Type1(word)) {
    case VT_DOUBLE:
    case VT_LONG:
        c.sp -= 8;
        std::memcpy(c.sp, operand, 8);
        return;
    case VT_FLOAT:
    case VT_INT:
    case VT_BOOL:
        c.sp -= 4;
        std::memcpy(c.sp, operand, 4);
        return;
    case VT_STRING: {
        // The constant's own handle: whatever takes the item copies the text only when it keeps it.
        const uint32_t handle = Load<uint32_t>(operand);
        const char* text = nullptr;
        if (!VMString_GetConstant(handle, &text)) {
            VM_Error(&c, "push.s of string %u, which the string table does not hold", handle);
            return;
        }
        PushInt(c, static_cast<int32_t>(handle));
        return;
    }
    case VT_ERROR:
        PushInt(c, VM_Field(word));
        return;
    case VT_VARIABLE:
        PushVariable(c, word, Load<uint32_t>(operand));
        return;
    default:
        return; // a type without items pushes nothing
    }
}

void Pop(VMContext& c, uint32_t word, const uint8_t* operand) {
    const int type = VM_Type1(word);
    if (type == VT_ERROR) {
        PopShuffle(c, word);
        return;
    }
    if (type != VT_VARIABLE && type != VT_INT) {
        VM_Error(&c, "Pop :: Execution Error - Instruction malformed");
        return;
    }
    const uint32_t reference = Load<uint32_t>(operand);
    VariableAddress address;
    ScriptValue value{};
    if (type == VT_VARIABLE) {
        if (!PopAddress(c, word, reference, address) || !PopAsValue(c, VM_Type2(word), &value)) return;
    } else {
        if (!PopAsValue(c, VM_Type2(word), &value)) return;
        if (!PopAddress(c, word, reference, address)) {
            Value_Free(&value);
            return;
        }
    }
    StoreVariable(c, address, value);
}

void PopDiscard(VMContext& c, int type) {
    if (type == VT_VARIABLE || type == VT_STRING) {
        ScriptValue value{};
        if (PopAsValue(c, type, &value)) Value_Free(&value);
        return;
    }
    const int size = VM_StackItemSize(type);
    if (CheckPop(c, size)) c.sp += size;
}

void Dup(VMContext& c, uint32_t word) {
    if (VM_Type2(word) != 0) return;
    const int type = VM_Type1(word);
    const int size = VM_StackItemSize(type);
    const int count = VM_Field(word) + 1;
    if (size == 0) return;
    if (count < 1) {
        VM_Error(&c, "dup of %d items in %s", count, RunningName(c));
        return;
    }
    const int bytes = count * size;
    if (type != VT_VARIABLE && type != VT_STRING) {
        if (!CheckPop(c, bytes) || !Reserve(c, bytes)) return;
        std::memcpy(c.sp - bytes, c.sp, static_cast<size_t>(bytes));
        c.sp -= bytes;
        return;
    }
    // Texts and arrays get copies of their own; more than one item copies the top one repeatedly.
    ScriptValue top{};
    if (!PeekValue(c, type, &top) || !Reserve(c, bytes)) return;
    for (int i = 0; i < count; ++i) {
        ScriptValue copy{};
        Value_Copy(&copy, &top);
        if (type == VT_STRING)
            PushText(c, copy.str);
        else
            PushValue(c, copy);
        // The stack may have moved while growing; the view stays valid, as it points at held data.
    }
}

void DoCall(VMContext& c, uint32_t word, const uint8_t* operand) {
    if (VM_Type1(word) != VT_INT) {
        VM_Error(&c, "DoCall :: Execution Engine type error");
        return;
    }
    const int argc = VM_Field(word);
    const int id = Load<int32_t>(operand);
    if (argc < 0 || !CheckPop(c, 16 * argc)) {
        if (argc < 0) VM_Error(&c, "DoCall :: Execution Error - argument count %d", argc);
        return;
    }
    if (id < 0) {
        VM_Error(&c, "DoCall :: Execution Error - no built-in function at index %d", id);
    } else if (id < kFirstScriptId) {
        CallBuiltIn(c, id, argc);
    } else if (id < kFirstExtensionId) {
        CallScript(c, id - kFirstScriptId, argc);
    } else {
        CallExtension(c, id - kFirstExtensionId, argc);
    }
}

void PushEnv(VMContext& c, uint32_t word, int at) {
    if (!CheckPop(c, 4)) return;
    const int target = Load<int32_t>(c.sp);
    c.sp += 4;
    if (target == INSTANCE_LOCAL) {
        VM_Error(&c, "Cannot use local in with statement");
        return;
    }
    if (target == INSTANCE_GLOBAL) {
        VM_Error(&c, "Cannot use global in with statement");
        return;
    }
    if (c.withCount >= kVMMaxWithBlocks) {
        StackOverflow(c);
        return;
    }
    if (c.withBlocks->size() <= static_cast<size_t>(c.withCount)) c.withBlocks->emplace_back();
    VMWithBlock& block = (*c.withBlocks)[static_cast<size_t>(c.withCount)];
    WithTargets(c, target, block.targets);
    c.sp = OpenWithBlock(c, block, c.sp);
    if (block.targets.empty()) {
        // Nothing to visit: on to the popenv, which ends the block.
        Branch(c, word, at);
        return;
    }
    c.other = block.savedSelf;
    c.self = block.targets[block.next++];
}

void PopEnv(VMContext& c, uint32_t word, int at) {
    // The top item must be the marker of the innermost open block.
    const int index = c.withCount - 1;
    if (index < 0 || Depth(c) < kWithItemSize || Load<uint32_t>(c.sp) != kWithMarker ||
        Load<uint32_t>(c.sp + 4) != static_cast<uint32_t>(index) ||
        (*c.withBlocks)[static_cast<size_t>(index)].stackPosition != Position(c)) {
        VM_Error(&c, "popenv without a matching pushenv in %s", RunningName(c));
        return;
    }
    VMWithBlock& block = (*c.withBlocks)[static_cast<size_t>(index)];
    if (!VM_IsPopenvLeave(word) && block.next < block.targets.size()) {
        c.self = block.targets[block.next++];
        Branch(c, word, at);
        return;
    }
    c.self = block.savedSelf;
    c.other = block.savedOther;
    c.sp += kWithItemSize;
    CloseWithBlocks(c, index);
}

void CloseWithBlocks(VMContext& c, int count) {
    for (int i = count; i < c.withCount; ++i)
        (*c.withBlocks)[static_cast<size_t>(i)].targets.clear();
    if (count < c.withCount) c.withCount = count;
}

} // namespace vm

bool VM_GetArgumentAt(CInstance*, int i, ScriptValue* out) {
    if (i < 0 || i >= Code_ArgumentCount)
        Code_Error_Report("illegal access of argument, argument is not provided to script", true);
    if (i >= 0 && i < 16) {
        Value_Copy(out, &Code_Arguments[i]);
    } else {
        Value_SetReal(out, 0.0);
    }
    return true;
}
