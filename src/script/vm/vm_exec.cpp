// VM_Execute: the execution context, the fetch-dispatch loop, script frames, ret and exit, branches,
// and the debugger's break and single step.
#include <algorithm>
#include <cmath>
#include <memory>

#include "core/console.h"
#include "core/convert.h"
#include "core/debug_link.h"
#include "core/memory.h"
#include "script/code.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_breakpoints.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_debug.h"
#include "script/vm/vm_decode.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_internal.h"
#include "script/world_interface.h"

VMContext* VM_CurrentContext = nullptr;
namespace {
// The argument values outside every script call.
ScriptValue g_outerArguments[16];
} // namespace
ScriptValue* Code_Arguments = g_outerArguments;
int Code_ArgumentCount = 0;
int Code_ArgumentsUsed = 0;
bool VM_Trace = false;
bool VM_SingleStep = false;
bool VM_BreakPending = false;
int VM_StepLine = -1;
const char* VM_StepText = nullptr;

// The inner loop's helpers are inlined into it in optimised builds; unoptimised (sanitised) builds keep
// them as calls, so that their locals do not pile up in the loop's own frame.
#ifdef __OPTIMIZE__
#define VM_INLINE [[gnu::always_inline]] inline
#else
#define VM_INLINE inline
#endif

namespace {

constexpr int kInitialStackSize = 16384;
// Room checked once per instruction; an instruction that pushes more reserves for itself.
constexpr int kStackMargin = 1024;

// What one nesting level of executions keeps between runs, so that an execution allocates nothing
// once its level has run before.
struct LevelStore {
    ~LevelStore() { MEM_FREE(stack); }
    uint8_t* stack = nullptr;
    int stackSize = 0;
    std::deque<VMFrame> frames;
    std::vector<VMWithBlock> withBlocks;
};

std::vector<std::unique_ptr<LevelStore>> g_levels;
int g_nesting = 0;
uint32_t g_branchCount = 0;
VMMessagePumpFn g_messagePump = nullptr;
VMMessageBoxFn g_messageBox = nullptr;

// Locals lists, one per level of script calls in progress.
struct LocalsPool {
    ~LocalsPool() {
        for (CVariableList* list : lists)
            delete list;
    }
    std::vector<CVariableList*> lists;
    size_t used = 0;
} g_locals;

LevelStore& Level(int level) {
    while (g_levels.size() <= static_cast<size_t>(level))
        g_levels.push_back(std::make_unique<LevelStore>());
    LevelStore& store = *g_levels[static_cast<size_t>(level)];
    if (store.stack == nullptr) {
        store.stack = static_cast<uint8_t*>(MEM_ALLOC_RAW(kInitialStackSize));
        store.stackSize = kInitialStackSize;
    }
    return store;
}

CVariableList* AllocLocalsSlow() {
    if (g_locals.used == g_locals.lists.size()) g_locals.lists.push_back(nullptr);
    CVariableList*& list = g_locals.lists[g_locals.used++];
    if (list == nullptr)
        list = new CVariableList();
    else if (list->Count() > 0)
        list->Clear();
    return list;
}

VM_INLINE CVariableList* AllocLocals() {
    if (g_locals.used < g_locals.lists.size()) {
        CVariableList* list = g_locals.lists[g_locals.used];
        if (list != nullptr && list->Count() == 0) {
            ++g_locals.used;
            return list;
        }
    }
    return AllocLocalsSlow();
}

void ReleaseLocals() {
    if (g_locals.used == 0) return;
    CVariableList* list = g_locals.lists[--g_locals.used];
    if (list->Count() > 0) list->Clear();
}

void Dispatch(VMContext& c, uint32_t word, int at);

} // namespace

void vm::Branch(VMContext& c, uint32_t word, int at) {
    const int64_t target = at + 4 * static_cast<int64_t>(VM_BranchOffset(word));
    if (target < 0 || target > c.codeSize) {
        VM_Error(&c, "Branch out of the code in %s: offset %d leads to %lld", c.name ? c.name : "<unknown>",
                 at, static_cast<long long>(target));
        return;
    }
    c.pc = static_cast<int>(target);
    VM_CountBranch();
}

namespace {

bool PopBool(VMContext& c) {
    if (!vm::CheckPop(c, 4)) return false;
    const bool value = (vm::Load<uint32_t>(c.sp) & 0xFF) != 0;
    c.sp += 4;
    return value;
}

// break.e 0: a debugger breakpoint over the instruction at `at`, or a pending break.
void Breakpoint(VMContext& c, int at) {
    c.pc = at;
    DebuggerRemoveBreakpoints();
    if (Debugger_ServerRunning()) DebuggerWaitWhilePaused();
    if (c.pc + 4 > c.codeSize) return;
    const uint32_t word = vm::Load<uint32_t>(c.code + c.pc);
    c.pc += 4;
    // A break word that is still there belongs to the code itself: it does nothing.
    if (VM_Opcode(word) == OP_BREAK && (word & 0xFFFF) == 0) {
        c.pc += VM_OperandSize(VM_Type1(word));
    } else {
        Dispatch(c, word, at);
    }
    DebuggerInsertBreakpoints();
}

void IndexCheck(VMContext& c) {
    if (!vm::CheckPop(c, 4)) return;
    const int32_t index = vm::Load<int32_t>(c.sp);
    if (index < 0)
        VM_Error(&c, "Array index must be +'ve");
    else if (index >= kArrayRowStride)
        VM_Error(&c, "Array index must be < %d", kArrayRowStride);
}

void Dispatch(VMContext& c, uint32_t word, int at) {
    const int opcode = VM_Opcode(word);
    const uint8_t* operand = c.code + c.pc;
    if (VM_HasOperand(opcode)) {
        const int size = VM_OperandSize(VM_Type1(word));
        if (size > c.codeSize - c.pc) {
            VM_Error(&c, "Instruction at offset %d of %s runs past the end of the code", at,
                     c.name ? c.name : "<unknown>");
            return;
        }
        c.pc += size;
    }
    switch (opcode) {
    case OP_CONV:
        vm::DoConv(c, word);
        break;
    case OP_MUL:
        vm::DoMul(c, word);
        break;
    case OP_DIV:
        vm::DoDiv(c, word);
        break;
    case OP_REM:
        vm::DoRem(c, word);
        break;
    case OP_MOD:
        vm::DoMod(c, word);
        break;
    case OP_ADD:
        vm::DoAdd(c, word);
        break;
    case OP_SUB:
        vm::DoSub(c, word);
        break;
    case OP_AND:
        vm::DoAnd(c, word);
        break;
    case OP_OR:
        vm::DoOr(c, word);
        break;
    case OP_XOR:
        vm::DoXor(c, word);
        break;
    case OP_NEG:
        vm::DoNeg(c, word);
        break;
    case OP_NOT:
        vm::DoNot(c, word);
        break;
    case OP_SHL:
        vm::DoShl(c, word);
        break;
    case OP_SHR:
        vm::DoShr(c, word);
        break;
    case OP_SLT:
    case OP_SLE:
    case OP_SEQ:
    case OP_SNE:
    case OP_SGE:
    case OP_SGT:
        vm::DoSet(c, word);
        break;
    case OP_POP:
        vm::Pop(c, word, operand);
        break;
    case OP_DUP:
        vm::Dup(c, word);
        break;
    case OP_RET:
        if (c.callDepth == 0) {
            c.returned = true;
            c.returnType = VM_Type1(word);
            c.pc = c.codeSize;
        } else {
            vm::PopFrame(c, VM_Type1(word));
        }
        break;
    case OP_EXIT:
        if (c.callDepth == 0) {
            c.exited = true;
            c.pc = c.codeSize;
        } else {
            vm::PopFrame(c, -1);
        }
        break;
    case OP_POPZ:
        vm::PopDiscard(c, VM_Type1(word));
        break;
    case OP_B:
        vm::Branch(c, word, at);
        break;
    case OP_BT:
        if (PopBool(c)) vm::Branch(c, word, at);
        break;
    case OP_BF:
        if (!PopBool(c) && !c.stopped) vm::Branch(c, word, at);
        break;
    case OP_PUSHENV:
        vm::PushEnv(c, word, at);
        break;
    case OP_POPENV:
        vm::PopEnv(c, word, at);
        break;
    case OP_PUSH:
        vm::Push(c, word, operand);
        break;
    case OP_CALL:
        vm::DoCall(c, word, operand);
        break;
    case OP_BREAK:
        if ((word & 0xFFFF) == 0)
            Breakpoint(c, at);
        else if ((word & 0xFFFF) == kBreakIndexCheck)
            IndexCheck(c);
        break;
    default:
        break; // opcodes outside the table do nothing
    }
}

// ---- The inner loop
// Runs the decoded form of the code (vm_decode.h). Each handler does its instruction in place on the
// stack when the operands are of the kinds it serves, and otherwise leaves the instruction (and the
// stack) untouched for the general handler, which gives the same results the long way.

template <int T> constexpr int kItemSize = T == VT_VARIABLE ? 16 : T == VT_DOUBLE ? 8 : 4;

// A number read in place: a .v real, a .d or a .i.
template <int T> VM_INLINE bool ReadNumber(const uint8_t* p, double& d, int32_t& i) {
    if constexpr (T == VT_VARIABLE) {
        if ((vm::Load<uint32_t>(p) & KIND_MASK) != KIND_REAL) return false;
        d = vm::Load<double>(p + 8);
    } else if constexpr (T == VT_INT) {
        i = vm::Load<int32_t>(p);
        d = i;
    } else {
        d = vm::Load<double>(p);
    }
    return true;
}

// Pushes a real as a .v (kind word as given) or as a .d.
VM_INLINE void PushReal(uint8_t*& sp, double d, bool variable, uint32_t kind = KIND_REAL) {
    if (!variable) {
        sp -= 8;
        vm::Store<double>(sp, d);
        return;
    }
    // The kind and flags words in one store, so that an 8-byte read of them soon after is served from
    // that store.
    sp -= 16;
    vm::Store<uint64_t>(sp, kind);
    vm::Store<double>(sp + 8, d);
}

// The real result of an arithmetic instruction whose sides are reals (li, ri: the side of type .i as an
// integer); false for a case the general handler takes.
template <int OPCODE, int RIGHT, int LEFT>
VM_INLINE bool RealArithmetic(double ld, double rd, int32_t li, int32_t ri, double& d) {
    if constexpr (OPCODE == OP_ADD) {
        d = ld + rd;
    } else if constexpr (OPCODE == OP_SUB) {
        d = ld - rd;
    } else if constexpr (OPCODE == OP_MUL) {
        d = ld * rd;
    } else if constexpr (OPCODE == OP_REM) {
        // Both sides truncated to 64 bits; a divisor that truncates to 0 is the general handler's error.
        const int64_t divisor = RIGHT == VT_INT ? ri : X86_DoubleToInt64(rd);
        if (divisor == 0) return false;
        d = static_cast<double>(X86_Div64(LEFT == VT_INT ? li : X86_DoubleToInt64(ld), divisor));
    } else {
        // div, mod: a divisor too near 0 is the general handler's error
        if (std::fabs(rd) < 1e-10) return false;
        d = OPCODE == OP_DIV ? ld / rd : std::fmod(ld, rd);
    }
    return true;
}

template <int OPCODE, int RIGHT, int LEFT>
VM_INLINE bool FastBinary(uint8_t*& sp, const uint8_t* empty) {
    constexpr int rightSize = kItemSize<RIGHT>;
    constexpr int leftSize = kItemSize<LEFT>;
    if (empty - sp < rightSize + leftSize) return false;
    double rd = 0, ld = 0;
    int32_t ri = 0, li = 0;
    if (!ReadNumber<RIGHT>(sp, rd, ri) || !ReadNumber<LEFT>(sp + rightSize, ld, li)) return false;
    constexpr bool integers = RIGHT == VT_INT && LEFT == VT_INT;
    if constexpr (OPCODE >= OP_SLT && OPCODE <= OP_SGT) {
        const bool result = integers ? vm::CompareByOrder(OPCODE, (li > ri) - (li < ri))
                                     : vm::CompareByDifference(OPCODE, ld - rd);
        sp += rightSize + leftSize - 4;
        vm::Store<int32_t>(sp, result ? 1 : 0);
        return true;
    } else if constexpr (integers) {
        // Two .i: 32-bit wrapping; the divisions go to the general handler for their checks.
        int32_t r;
        if constexpr (OPCODE == OP_ADD)
            r = Wrap_Add32(li, ri);
        else if constexpr (OPCODE == OP_SUB)
            r = Wrap_Sub32(li, ri);
        else if constexpr (OPCODE == OP_MUL)
            r = Wrap_Mul32(li, ri);
        else
            return false;
        sp += 4;
        vm::Store<int32_t>(sp, r);
        return true;
    } else {
        double d;
        if (!RealArithmetic<OPCODE, RIGHT, LEFT>(ld, rd, li, ri, d)) return false;
        sp += rightSize + leftSize;
        PushReal(sp, d, RIGHT == VT_VARIABLE || LEFT == VT_VARIABLE);
        return true;
    }
}

template <int FROM, int TO> VM_INLINE bool FastConversion(uint8_t*& sp, const uint8_t* empty) {
    if constexpr (FROM == VT_BOOL) {
        if (empty - sp < 4) return false;
        const bool truth = (vm::Load<uint32_t>(sp) & 0xFF) != 0;
        if constexpr (TO == VT_INT) {
            vm::Store<int32_t>(sp, truth ? 1 : 0);
        } else {
            sp += 4;
            PushReal(sp, truth ? 1.0 : 0.0, true);
        }
        return true;
    } else {
        constexpr int size = kItemSize<FROM>;
        double d = 0;
        int32_t i = 0;
        if (empty - sp < size || !ReadNumber<FROM>(sp, d, i)) return false;
        sp += size;
        if constexpr (TO == VT_BOOL) {
            // A .v real is true by its magnitude, a .d above 0.5, an integer when not 0.
            const bool truth = FROM == VT_VARIABLE ? std::fabs(d) > 0.5 : FROM == VT_INT ? i != 0 : d > 0.5;
            sp -= 4;
            vm::Store<int32_t>(sp, truth ? 1 : 0);
        } else if constexpr (TO == VT_INT) {
            sp -= 4;
            vm::Store<int32_t>(sp, X86_DoubleToInt32(d));
        } else {
            PushReal(sp, d, true);
        }
        return true;
    }
}

// The list a variable site without an instance code on the stack reads and writes, or null.
VM_INLINE CVariableList* SiteList(const VMContext& c, const vm::Insn& insn) {
    if (insn.scope == vm::kSiteLocal) return c.locals;
    if (insn.scope == vm::kSiteBuiltIn && Variable_IsGlobalDeclared(insn.a)) return nullptr;
    IScriptWorld* world = ScriptWorld_Get();
    return world != nullptr && c.self != nullptr ? world->InstanceVariables(c.self) : nullptr;
}

// The same for an instance code taken from the stack: locals, or self's user variables.
VM_INLINE CVariableList* InstanceCodeList(const VMContext& c, int instance, int id) {
    if (instance == INSTANCE_LOCAL) return c.locals;
    if (instance != INSTANCE_SELF && instance != INSTANCE_BUILTIN) return nullptr;
    if (id < kVariableListIdBase || (instance == INSTANCE_BUILTIN && Variable_IsGlobalDeclared(id)))
        return nullptr;
    IScriptWorld* world = ScriptWorld_Get();
    return world != nullptr && c.self != nullptr ? world->InstanceVariables(c.self) : nullptr;
}

// The value of the site's variable in the list, or null when the list has none.
VM_INLINE ScriptValue* SiteSlot(vm::SlotCache* caches, const vm::Insn& insn, CVariableList* list) {
    vm::SlotCache& cache = caches[insn.cache];
    if (cache.list == list && cache.generation == list->Generation()) return cache.slot;
    ScriptValue* slot = list->Slot(insn.a);
    if (slot != nullptr) cache = {list, list->Generation(), slot};
    return slot;
}

// The element of an array variable at an index, when it exists.
VM_INLINE ScriptValue* Element(ScriptValue* holder, int index) {
    if (holder == nullptr || !holder->IsArray() || holder->arr == nullptr || index < 0) return nullptr;
    ScriptArray* array = holder->arr;
    if (array->rowCount <= 0) return nullptr;
    // An index inside the first row needs no division.
    const ScriptArrayRow& first = array->rows[0];
    if (index < first.length && index < kArrayRowStride) return &first.items[index];
    const int row = index / kArrayRowStride;
    const int column = index - row * kArrayRowStride;
    if (row >= array->rowCount || column >= array->rows[row].length) return nullptr;
    return &array->rows[row].items[column];
}

// The real element of the site's array variable in the list an instance code names, or null. Reading an
// element makes the variable the owner of an array that has none.
VM_INLINE const ScriptValue* RealElement(const VMContext& c, vm::SlotCache* caches, const vm::Insn& site, int instance,
                                         int index) {
    CVariableList* list = InstanceCodeList(c, instance, site.a);
    ScriptValue* holder = list != nullptr ? SiteSlot(caches, site, list) : nullptr;
    const ScriptValue* element = Element(holder, index);
    if (element == nullptr || !element->IsReal()) return nullptr;
    if (holder->arr->owner == nullptr) holder->arr->owner = holder;
    return element;
}

// Writes a real into an element of the site's array variable, as assigning it would, where the variable
// may write its array in place (it owns it, or is its only holder, and then becomes its owner): over a
// real element directly, else (an element to make, or one holding a text or an array) through the
// array's own element write. False, with nothing done, for any other case.
VM_INLINE bool WriteRealElement(const VMContext& c, vm::SlotCache* caches, const vm::Insn& site, int instance, int index,
                                uint32_t kind, double real) {
    CVariableList* list = InstanceCodeList(c, instance, site.a);
    ScriptValue* holder = list != nullptr ? SiteSlot(caches, site, list) : nullptr;
    if (holder == nullptr || !holder->IsArray() || holder->arr == nullptr || index < 0) return false;
    ScriptArray* array = holder->arr;
    if (array->owner != holder && array->refCount != 1) return false;
    if (array->owner == nullptr) array->owner = holder;
    ArrayIndexFailure.failed = false;
    ScriptValue* element = Element(holder, index);
    if (element != nullptr && element->IsReal()) {
        element->kind = kind;
        element->flags = 0;
        element->real = real;
        return true;
    }
    ScriptValue value{};
    value.kind = kind;
    value.real = real;
    Value_ArraySet(holder, &value, index);
    return true;
}

// The index a variable site holds, as conv.v.i makes it of a real; -1 when the variable holds no real
// or the index is negative.
VM_INLINE int IndexOf(const VMContext& c, vm::SlotCache* caches, const vm::Insn& site) {
    CVariableList* list = SiteList(c, site);
    const ScriptValue* value = list != nullptr ? SiteSlot(caches, site, list) : nullptr;
    return value != nullptr && value->IsReal() ? std::max(X86_DoubleToInt32(value->real), -1) : -1;
}

// The real a pop stores from an item of the type (.v real, .i or .d) at p: its kind word and value, and
// the item's size; 0 for an item of another kind or type, or beyond the stack.
VM_INLINE int StoredReal(const uint8_t* p, const uint8_t* empty, int type, uint32_t& kind, double& real) {
    kind = KIND_REAL;
    switch (type) {
    case VT_VARIABLE:
        if (empty - p < 16) return 0;
        kind = vm::Load<uint32_t>(p);
        real = vm::Load<double>(p + 8);
        return (kind & KIND_MASK) == KIND_REAL ? 16 : 0;
    case VT_INT:
        if (empty - p < 4) return 0;
        real = vm::Load<int32_t>(p);
        return 4;
    case VT_DOUBLE:
        if (empty - p < 8) return 0;
        real = vm::Load<double>(p);
        return 8;
    default:
        return 0;
    }
}

// The code of script index when the loop can call it: it has bytecode, the call depth allows a frame
// more and no trace is asked for; else null.
VM_INLINE const CCode* CallTarget(const VMContext& c, int index) {
    if (c.callDepth >= kVMMaxCallDepth || VM_Trace) return nullptr;
    const CScript* script = Script_Data(index);
    const CCode* code = script != nullptr ? script->GetCode() : nullptr;
    return code != nullptr && code->code != nullptr && code->code->size > 0 ? code : nullptr;
}

// Writes a real into the site's variable, as assigning it would.
VM_INLINE void StoreReal(vm::SlotCache* caches, const vm::Insn& insn, CVariableList* list,
                                             uint32_t kind, double real) {
    ArrayIndexFailure.failed = false;
    ScriptValue* slot = SiteSlot(caches, insn, list);
    if (slot != nullptr && slot->IsReal()) {
        slot->kind = kind;
        slot->real = real;
        return;
    }
    ScriptValue value{};
    value.kind = kind;
    value.real = real;
    list->SetVar(insn.a, -1, &value);
}

// Appends a text to a variable's text in place: what assigning it the two texts joined gives (a string
// of exactly KIND_STRING, never null). The block grows to twice the length it needs, so that a text
// built up piece by piece is not copied for every piece.
void AppendText(ScriptValue* variable, const char* tail) {
    char* text = variable->str;
    const size_t length = text != nullptr ? std::strlen(text) : 0;
    const size_t added = tail != nullptr ? std::strlen(tail) : 0;
    const size_t needed = length + added + 1;
    if (text == nullptr || MemoryManager::GetSize(text) < needed) {
        const size_t room = std::max(needed, std::min(2 * needed, static_cast<size_t>(MemoryManager::kMaxBlockSize)));
        char* grown = static_cast<char*>(MEM_ALLOC_RAW(room));
        if (length > 0) std::memcpy(grown, text, length);
        MEM_FREE(text);
        text = grown;
    }
    if (added > 0) std::memcpy(text + length, tail, added);
    text[length + added] = '\0';
    variable->kind = KIND_STRING;
    variable->str = text;
}

VM_INLINE vm::Decoded* DecodedOf(const VMBuffer* buffer) {
    vm::Decoded* d = buffer->decoded;
    if (d != nullptr && d->data == buffer->data && d->size == buffer->size && d->codeEpoch == vm::g_codeEpoch &&
        d->builtInVersion == Variable_BuiltIn_Version())
        return d;
    return vm::Decoded_Make(buffer);
}

void SingleStep(VMContext& c) {
    VMDebugEntry entry;
    const bool found = VM_FindDebugEntry(c.debugTable, c.pc, &entry);
    const int line = VM_GetLineNumber(found ? &entry : nullptr, c.text, nullptr);
    if (line != VM_StepLine || c.text != VM_StepText) {
        VM_BreakPending = true;
        VM_SingleStep = false;
    }
}

// A frame at the end of the store, all real 0 in its arguments, linked to the one before it.
VMFrame* NewFrame(std::deque<VMFrame>& frames) {
    VMFrame* below = frames.empty() ? nullptr : &frames.back();
    VMFrame& frame = frames.emplace_back();
    frame.below = below;
    if (below != nullptr) below->above = &frame;
    return &frame;
}

// The frames, inlined into the loop (vm::PopFrame and vm::PushFrame).
VM_INLINE void PopFrameInline(VMContext& c, int returnType) {
    VMFrame& frame = *c.top;
    // The returned item: 16 bytes for .v, 8 for .d and .l, 4 for the rest. Sixteen bytes are always
    // there to read: the stack's top end lies 16 bytes beyond its empty stack pointer.
    uint8_t item[16];
    int itemSize = 0;
    if (returnType >= 0) {
        itemSize = returnType == VT_VARIABLE                            ? 16
                   : (returnType == VT_DOUBLE || returnType == VT_LONG) ? 8
                                                                        : 4;
        if (vm::Depth(c) < itemSize && !vm::CheckPop(c, itemSize)) return;
        std::memcpy(item, c.sp, sizeof item);
    }
    if (frame.withCount < c.withCount) vm::CloseWithBlocks(c, frame.withCount);
    ReleaseLocals();
    c.locals = frame.locals;
    c.pc = frame.pc;
    c.self = frame.self;
    c.other = frame.other;
    c.codeBuffer = frame.code;
    c.code = frame.code->data;
    c.codeSize = frame.code->size;
    c.debugTable = frame.debugTable;
    c.text = frame.text;
    c.name = frame.name;
    c.reserved = frame.reserved;
    Code_ArgumentCount = frame.argumentCount;
    // The called script's values go, leaving its block all real 0 for the next call.
    for (int i = 0; i < Code_ArgumentsUsed; ++i) {
        ScriptValue& argument = frame.arguments[i];
        if (argument.IsString() || argument.IsArray()) Value_Free(&argument);
        argument.kind = KIND_REAL;
        argument.flags = 0;
        argument.real = 0.0;
    }
    Code_ArgumentsUsed = frame.argumentsUsed;
    Code_Arguments = frame.callerArguments;
    c.top = frame.below;
    --c.callDepth;
    c.sp = vm::AtPosition(c, frame.framePosition);
    switch (itemSize) {
    case 0:
        c.sp -= 16;
        std::memset(c.sp, 0, 16); // real 0
        break;
    case 4:
        c.sp -= 4;
        std::memcpy(c.sp, item, 4);
        break;
    case 8:
        c.sp -= 8;
        std::memcpy(c.sp, item, 8);
        break;
    default:
        c.sp -= 16;
        std::memcpy(c.sp, item, 16);
        break;
    }
}

VM_INLINE bool PushFrameInline(VMContext& c, const VMBuffer* code, const VMBuffer* debugTable, const char* text,
               const char* name, int argumentCount) {
    if (c.callDepth >= kVMMaxCallDepth) {
        vm::StackOverflow(c);
        return false;
    }
    VMFrame* next = c.top != nullptr ? c.top->above : c.frames->empty() ? nullptr : &c.frames->front();
    if (next == nullptr) next = NewFrame(*c.frames);
    VMFrame& frame = *next;
    frame.pc = c.pc;
    frame.self = c.self;
    frame.other = c.other;
    frame.code = c.codeBuffer;
    frame.debugTable = c.debugTable;
    frame.text = c.text;
    frame.name = c.name;
    frame.reserved = c.reserved;
    frame.argumentCount = Code_ArgumentCount;
    frame.argumentsUsed = Code_ArgumentsUsed;
    frame.framePosition = vm::Position(c);
    frame.locals = c.locals;
    frame.withCount = c.withCount;
    frame.callerArguments = Code_Arguments;
    Code_Arguments = frame.arguments;
    c.top = &frame;
    ++c.callDepth;
    c.pc = 0;
    c.codeBuffer = code;
    c.code = code->data;
    c.codeSize = code->size;
    c.debugTable = debugTable;
    c.text = text;
    c.name = name;
    c.reserved = 0;
    Code_ArgumentCount = argumentCount;
    // The caller writes the first argumentCount values (at most 16) next.
    Code_ArgumentsUsed = std::clamp(argumentCount, 0, 16);
    c.locals = AllocLocals();
    return true;
}

// Executes the word at pc the long way: the stack margin, the debugger's single step and pending break,
// then the general handler.
void Step(VMContext& c) {
    if (c.sp - c.stackBase < kStackMargin && !vm::Reserve(c, kStackMargin)) return;
    if (VM_SingleStep) SingleStep(c);
    if (c.codeSize - c.pc < 4) {
        VM_Error(&c, "Instruction at offset %d of %s runs past the end of the code", c.pc,
                 c.name ? c.name : "<unknown>");
        return;
    }
    uint32_t word = vm::Load<uint32_t>(c.code + c.pc);
    const int at = c.pc;
    c.pc += 4;
    if (VM_BreakPending) {
        word = kPendingBreakWord;
        VM_BreakPending = false;
    }
    Dispatch(c, word, at);
}

// Runs the decoded form from pc until the code ends, the execution stops, or the debugger wants each
// word executed the long way. The stack pointer and the position in the code are kept in locals and
// written back to the context around everything that reads them there.
void RunDecoded(VMContext& c) {
    static const void* const kHandlers[vm::kOpCount] = {
#define VM_LABEL_SIMPLE(NAME) &&L_##NAME,
#define VM_LABEL_BINARY(NAME, OPCODE, RIGHT, LEFT) &&L_##NAME##_##RIGHT##_##LEFT,
#define VM_LABEL_BINARY_STORE(NAME, OPCODE, RIGHT, LEFT) &&L_##NAME##Store_##RIGHT##_##LEFT,
#define VM_LABEL_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) &&L_##NAME##Branch_##RIGHT##_##LEFT,
#define VM_LABEL_CONVERSION(FROM, TO) &&L_Conv_##FROM##_##TO,
#define VM_LABEL_FUSED(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME,
#define VM_LABEL_FUSED_STORE(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME##Store,
#define VM_LABEL_FUSED_BRANCH(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME##Branch,
#define VM_LABEL_FUSED_CALL(SOURCE, NAME, OPCODE) &&L_##SOURCE##Imm##NAME##Call,
        VM_FAST_OPS(VM_LABEL_SIMPLE, VM_LABEL_BINARY, VM_LABEL_BINARY_STORE, VM_LABEL_BINARY_BRANCH,
                    VM_LABEL_CONVERSION, VM_LABEL_FUSED, VM_LABEL_FUSED_STORE, VM_LABEL_FUSED_BRANCH,
                    VM_LABEL_FUSED_CALL)
#undef VM_LABEL_FUSED_CALL
#undef VM_LABEL_BINARY_STORE
#undef VM_LABEL_BINARY_BRANCH
#undef VM_LABEL_SIMPLE
#undef VM_LABEL_BINARY
#undef VM_LABEL_CONVERSION
#undef VM_LABEL_FUSED
#undef VM_LABEL_FUSED_STORE
#undef VM_LABEL_FUSED_BRANCH
    };
    vm::Decoded* d;
    vm::SlotCache* caches; // d's, kept at hand
    const vm::Insn* base;
    const vm::Insn* ip;
    uint8_t* sp;
    const uint8_t* limit; // below it, the stack grows
    const uint8_t* empty; // the empty stack pointer
    const CCode* callCode; // a script call (see call:)
    const uint8_t* callArgs;
    uint8_t* callStack;
    int callArgc;

#define VM_SYNC() (c.sp = sp, c.pc = static_cast<int>(ip - base) * 4)
#define VM_DISPATCH()                                                                                      \
    do {                                                                                                   \
        if (sp < limit) goto grow;                                                                         \
        goto* kHandlers[ip->op];                                                                           \
    } while (0)
#define VM_NEXT()                                                                                          \
    do {                                                                                                   \
        ip += ip->words;                                                                                   \
        VM_DISPATCH();                                                                                     \
    } while (0)
    // A jump to a target; every jump counts towards draining the message queue.
#define VM_JUMP_TO(target)                                                                                 \
    do {                                                                                                   \
        ip = base + (target);                                                                              \
        if ((++g_branchCount & 4095) == 0 && g_messagePump != nullptr) {                                   \
            VM_SYNC();                                                                                     \
            g_messagePump();                                                                               \
            goto resync;                                                                                   \
        }                                                                                                  \
        VM_DISPATCH();                                                                                     \
    } while (0)
#define VM_JUMP() VM_JUMP_TO(ip->a)
    // On to the next record; a b there (the jump back at the end of a loop's body, after a store) is
    // taken at once.
#define VM_NEXT_OR_JUMP()                                                                                  \
    do {                                                                                                   \
        ip += ip->words;                                                                                   \
        if (ip->op == vm::kOpB) VM_JUMP();                                                                 \
        VM_DISPATCH();                                                                                     \
    } while (0)
    // Into other code after a call or return, which leave the stack region, the flags and the current
    // context as they were. Each site dispatches on its own, so that its next handler is predicted
    // apart from the others'.
#define VM_ENTER()                                                                                         \
    do {                                                                                                   \
        d = DecodedOf(c.codeBuffer);                                                                       \
        caches = d->caches.data();                                                                         \
        base = d->insns.data();                                                                            \
        ip = base + (c.pc >> 2);                                                                           \
        sp = c.sp;                                                                                         \
        VM_DISPATCH();                                                                                     \
    } while (0)
    // The read of a fused run, or the general way.
#define VM_FUSED_READ_Var()                                                                                \
    CVariableList* readList = SiteList(c, *ip);                                                            \
    const ScriptValue* read = readList != nullptr ? SiteSlot(caches, *ip, readList) : nullptr;                 \
    if (read == nullptr || !read->IsReal()) goto L_General;
#define VM_FUSED_READ_Arg()                                                                                \
    const ScriptValue* read = &Code_Arguments[ip->a];                                                      \
    if (!read->IsReal()) goto L_General;
    // The read and the constant pushed below the stack pointer, and the operation done there: its result
    // is at `top`.
#define VM_FUSED_OPERATION(SOURCE, OPCODE)                                                                 \
    VM_FUSED_READ_##SOURCE();                                                                              \
    uint8_t* top = sp;                                                                                     \
    PushReal(top, read->real, true, read->kind);                                                           \
    top -= 4;                                                                                              \
    vm::Store<int32_t>(top, ip->x.i);                                                                      \
    if (!FastBinary<OPCODE, VT_INT, VT_VARIABLE>(top, empty)) goto L_General;

resync:
    VM_CurrentContext = &c;
    if (c.stopped || VM_SingleStep || VM_BreakPending || c.pc >= c.codeSize || (c.pc & 3) != 0) return;
    d = DecodedOf(c.codeBuffer);
    caches = d->caches.data();
    base = d->insns.data();
    ip = base + (c.pc >> 2);
    sp = c.sp;
    limit = c.stackBase + kStackMargin;
    empty = vm::StackEnd(c) - vm::kStackHeadroom;
    VM_DISPATCH();

grow:
    VM_SYNC();
    if (!vm::Reserve(c, kStackMargin)) return;
    goto resync;

L_General:
    VM_SYNC();
    Step(c);
    goto resync;

L_End:
    VM_SYNC();
    return;

L_Push4:
    sp -= 4;
    vm::Store<int32_t>(sp, ip->x.i);
    VM_NEXT();

L_Push8:
    sp -= 8;
    vm::Store<int64_t>(sp, ip->x.l);
    VM_NEXT();

L_PushVar: {
    CVariableList* list = SiteList(c, *ip);
    const ScriptValue* slot = list != nullptr ? SiteSlot(caches, *ip, list) : nullptr;
    if (slot == nullptr || !slot->IsReal()) goto L_General;
    ArrayIndexFailure.failed = false;
    PushReal(sp, slot->real, true, slot->kind);
    VM_NEXT();
}

L_PushArgument: {
    const ScriptValue& argument = Code_Arguments[ip->a];
    if (!argument.IsReal()) goto L_General;
    ArrayIndexFailure.failed = false;
    PushReal(sp, argument.real, true, argument.kind);
    VM_NEXT();
}

L_PushElement: {
    if (empty - sp < 8) goto L_General;
    const ScriptValue* element = RealElement(c, caches, *ip, vm::Load<int32_t>(sp + 4), vm::Load<int32_t>(sp));
    if (element == nullptr) goto L_General;
    ArrayIndexFailure.failed = false;
    sp += 8;
    PushReal(sp, element->real, true, element->kind);
    VM_NEXT();
}

L_ElementByVar: {
    const int index = IndexOf(c, caches, ip[1]);
    const ScriptValue* element = index >= 0 ? RealElement(c, caches, ip[4], ip->x.i, index) : nullptr;
    if (element == nullptr) goto L_General;
    ArrayIndexFailure.failed = false;
    PushReal(sp, element->real, true, element->kind);
    VM_NEXT();
}

L_VarAddElement: {
    // The sum is read and written through the one slot: the store names the same variable of the same list.
    CVariableList* list = SiteList(c, *ip);
    ScriptValue* sum = list != nullptr ? SiteSlot(caches, *ip, list) : nullptr;
    if (sum == nullptr || !sum->IsReal()) goto L_General;
    const vm::Insn* access = ip + ip->x.i;
    const int index = IndexOf(c, caches, access[1]);
    const ScriptValue* element = index >= 0 ? RealElement(c, caches, access[4], access->x.i, index) : nullptr;
    if (element == nullptr) goto L_General;
    ArrayIndexFailure.failed = false;
    sum->kind = KIND_REAL;
    sum->real += element->real;
    VM_NEXT_OR_JUMP();
}

L_StoreElementByVar: {
    uint32_t kind;
    double real;
    const int size = StoredReal(sp, empty, VM_Type2(ip[4].word), kind, real);
    const int index = size != 0 ? IndexOf(c, caches, ip[1]) : -1;
    if (index < 0 || !WriteRealElement(c, caches, ip[4], ip->x.i, index, kind, real)) goto L_General;
    sp += size;
    VM_NEXT();
}

L_PopVarV: {
    if (empty - sp < 16) goto L_General;
    const uint32_t kind = vm::Load<uint32_t>(sp);
    CVariableList* list = SiteList(c, *ip);
    if ((kind & KIND_MASK) != KIND_REAL || list == nullptr) goto L_General;
    StoreReal(caches, *ip, list, kind, vm::Load<double>(sp + 8));
    sp += 16;
    VM_NEXT();
}

L_PopVarI: {
    if (empty - sp < 4) goto L_General;
    CVariableList* list = SiteList(c, *ip);
    if (list == nullptr) goto L_General;
    StoreReal(caches, *ip, list, KIND_REAL, vm::Load<int32_t>(sp));
    sp += 4;
    VM_NEXT();
}

L_PopVarD: {
    if (empty - sp < 8) goto L_General;
    CVariableList* list = SiteList(c, *ip);
    if (list == nullptr) goto L_General;
    StoreReal(caches, *ip, list, KIND_REAL, vm::Load<double>(sp));
    sp += 8;
    VM_NEXT();
}

L_PopElement: {
    // Index, instance code, then the value: a real into an array the variable may write in place.
    uint32_t kind;
    double real;
    const int size = StoredReal(sp + 8, empty, VM_Type2(ip->word), kind, real);
    if (size == 0 || !WriteRealElement(c, caches, *ip, vm::Load<int32_t>(sp + 4), vm::Load<int32_t>(sp), kind, real))
        goto L_General;
    sp += 8 + size;
    VM_NEXT();
}

L_B:
    VM_JUMP();

L_Bt:
    if (empty - sp < 4) goto L_General;
    sp += 4;
    if ((vm::Load<uint32_t>(sp - 4) & 0xFF) != 0) VM_JUMP();
    VM_NEXT();

L_Bf:
    if (empty - sp < 4) goto L_General;
    sp += 4;
    if ((vm::Load<uint32_t>(sp - 4) & 0xFF) == 0) VM_JUMP();
    VM_NEXT();

L_Dup4:
    if (empty - sp < 4) goto L_General;
    sp -= 4;
    std::memcpy(sp, sp + 4, 4);
    VM_NEXT();

L_Dup8:
    if (empty - sp < 8) goto L_General;
    sp -= 8;
    std::memcpy(sp, sp + 8, 8);
    VM_NEXT();

L_Popz4:
    if (empty - sp < 4) goto L_General;
    sp += 4;
    VM_NEXT();

L_Popz8:
    if (empty - sp < 8) goto L_General;
    sp += 8;
    VM_NEXT();

L_PopzV:
    if (empty - sp < 16 || (vm::Load<uint32_t>(sp) & KIND_MASK) != KIND_REAL) goto L_General;
    sp += 16;
    VM_NEXT();

L_CallScript:
    // A script with bytecode, called with arguments that own nothing (texts and arrays take the long way).
    callArgc = ip->x.i;
    if (empty - sp < 16 * callArgc) goto L_General;
    callCode = CallTarget(c, ip->a);
    if (callCode == nullptr) goto L_General;
    for (int i = 0; i < callArgc; ++i) {
        const uint32_t kind = vm::Load<uint32_t>(sp + 16 * i) & KIND_MASK;
        if (kind == KIND_STRING || kind == KIND_ARRAY) goto L_General;
    }
    callArgs = sp;
    callStack = sp + 16 * callArgc;
    // The call: its callCode, its callArgc arguments at callArgs (the first on top), and the stack once
    // they are gone; the caller goes on after the record at ip.
call:
    c.pc = static_cast<int>(ip - base + ip->words) * 4;
    c.sp = callStack;
    PushFrameInline(c, callCode->code, callCode->debugInfo, callCode->lineText, callCode->name, callArgc);
    // The script's own block, all real 0, takes the arguments (field by field: a copy of a size known
    // only here would be a library call).
    for (int i = 0; i < callArgc; ++i) {
        ScriptValue& argument = Code_Arguments[i];
        argument.kind = vm::Load<uint32_t>(callArgs + 16 * i);
        argument.flags = vm::Load<uint32_t>(callArgs + 16 * i + 4);
        argument.real = vm::Load<double>(callArgs + 16 * i + 8);
    }
    VM_ENTER();

L_Ret: {
    const int type = VM_Type1(ip->word);
    const int size = type == VT_VARIABLE ? 16 : type == VT_DOUBLE || type == VT_LONG ? 8 : 4;
    if (c.callDepth == 0 || empty - sp < size) goto L_General;
    VM_SYNC();
    PopFrameInline(c, type);
    VM_ENTER();
}

L_VarAppendText: {
    CVariableList* list = SiteList(c, *ip);
    ScriptValue* slot = list != nullptr ? SiteSlot(caches, *ip, list) : nullptr;
    const char* constant = nullptr;
    if (slot == nullptr || !slot->IsString() || !VMString_GetConstant(static_cast<uint32_t>(ip->x.i), &constant))
        goto L_General;
    AppendText(slot, constant);
    ArrayIndexFailure.failed = false;
    VM_NEXT();
}

L_VarRet:
L_ArgRet: {
    if (c.callDepth == 0) goto L_General;
    const ScriptValue* read;
    if (ip->op == vm::kOpVarRet) {
        CVariableList* list = SiteList(c, *ip);
        read = list != nullptr ? SiteSlot(caches, *ip, list) : nullptr;
    } else {
        read = &Code_Arguments[ip->a];
    }
    if (read == nullptr || !read->IsReal()) goto L_General;
    ArrayIndexFailure.failed = false;
    PushReal(sp, read->real, true, read->kind);
    VM_SYNC();
    PopFrameInline(c, VT_VARIABLE);
    VM_ENTER();
}

#define VM_HANDLER_FUSED(SOURCE, NAME, OPCODE)                                                             \
    L_##SOURCE##Imm##NAME : {                                                                              \
        VM_FUSED_OPERATION(SOURCE, OPCODE);                                                                \
        ArrayIndexFailure.failed = false;                                                                  \
        sp = top;                                                                                          \
        VM_NEXT();                                                                                         \
    }
#define VM_HANDLER_FUSED_STORE(SOURCE, NAME, OPCODE)                                                       \
    L_##SOURCE##Imm##NAME##Store : {                                                                       \
        VM_FUSED_READ_##SOURCE();                                                                          \
        double result;                                                                                     \
        if (!RealArithmetic<OPCODE, VT_INT, VT_VARIABLE>(read->real, ip->x.i, 0, ip->x.i, result))        \
            goto L_General;                                                                                \
        const vm::Insn& store = ip[ip->words - 2];                                                         \
        CVariableList* storeList = SiteList(c, store);                                                     \
        if (storeList == nullptr) goto L_General;                                                          \
        StoreReal(caches, store, storeList, KIND_REAL, result);                                            \
        VM_NEXT_OR_JUMP();                                                                                 \
    }
#define VM_HANDLER_FUSED_CALL(SOURCE, NAME, OPCODE)                                                        \
    L_##SOURCE##Imm##NAME##Call : {                                                                        \
        callCode = CallTarget(c, ip[ip->words - 2].a);                                                     \
        if (callCode == nullptr) goto L_General;                                                           \
        VM_FUSED_OPERATION(SOURCE, OPCODE);                                                                \
        ArrayIndexFailure.failed = false;                                                                  \
        callArgs = top;                                                                                    \
        callArgc = 1;                                                                                      \
        callStack = sp;                                                                                    \
        goto call;                                                                                         \
    }
#define VM_HANDLER_FUSED_BRANCH(SOURCE, NAME, OPCODE)                                                      \
    L_##SOURCE##Imm##NAME##Branch : {                                                                      \
        VM_FUSED_READ_##SOURCE();                                                                          \
        const bool truth = vm::CompareByDifference(OPCODE, read->real - ip->x.i);                          \
        ArrayIndexFailure.failed = false;                                                                  \
        const vm::Insn& branch = ip[ip->words - 1];                                                        \
        if (truth == (branch.op == vm::kOpBt)) VM_JUMP_TO(branch.a);                                       \
        VM_NEXT();                                                                                         \
    }
#define VM_HANDLER_BINARY(NAME, OPCODE, RIGHT, LEFT)                                                        \
    L_##NAME##_##RIGHT##_##LEFT:                                                                           \
    if (!FastBinary<OPCODE, VT_##RIGHT, VT_##LEFT>(sp, empty)) goto L_General;                             \
    VM_NEXT();

#define VM_HANDLER_CONVERSION(FROM, TO)                                                                    \
    L_Conv_##FROM##_##TO:                                                                                  \
    if (!FastConversion<VT_##FROM, VT_##TO>(sp, empty)) goto L_General;                                    \
    VM_NEXT();
#define VM_HANDLER_NONE(NAME)
    // The store and branch forms of a two-operand instruction: the store's list is found before the
    // operation, so that a miss leaves the stack as it was for the general way.
#define VM_HANDLER_BINARY_STORE(NAME, OPCODE, RIGHT, LEFT)                                                  \
    L_##NAME##Store_##RIGHT##_##LEFT : {                                                                   \
        constexpr bool variable = VT_##RIGHT == VT_VARIABLE || VT_##LEFT == VT_VARIABLE;                   \
        CVariableList* storeList = variable ? SiteList(c, ip[1]) : nullptr;                                \
        uint8_t* top = sp;                                                                                 \
        if (storeList == nullptr || !FastBinary<OPCODE, VT_##RIGHT, VT_##LEFT>(top, empty)) goto L_General; \
        StoreReal(caches, ip[1], storeList, vm::Load<uint32_t>(top), vm::Load<double>(top + 8));               \
        sp = top + 16;                                                                                     \
        VM_NEXT_OR_JUMP();                                                                                 \
    }
#define VM_HANDLER_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT)                                                 \
    L_##NAME##Branch_##RIGHT##_##LEFT : {                                                                  \
        uint8_t* top = sp;                                                                                 \
        if (!FastBinary<OPCODE, VT_##RIGHT, VT_##LEFT>(top, empty)) goto L_General;                        \
        sp = top + 4;                                                                                      \
        if (((vm::Load<uint32_t>(top) & 0xFF) != 0) == (ip[1].op == vm::kOpBt)) VM_JUMP_TO(ip[1].a);       \
        VM_NEXT();                                                                                         \
    }
    VM_FAST_OPS(VM_HANDLER_NONE, VM_HANDLER_BINARY, VM_HANDLER_BINARY_STORE, VM_HANDLER_BINARY_BRANCH,
                VM_HANDLER_CONVERSION, VM_HANDLER_FUSED, VM_HANDLER_FUSED_STORE, VM_HANDLER_FUSED_BRANCH,
                VM_HANDLER_FUSED_CALL)
#undef VM_HANDLER_FUSED_CALL
#undef VM_HANDLER_BINARY_STORE
#undef VM_HANDLER_BINARY_BRANCH
#undef VM_HANDLER_NONE
#undef VM_HANDLER_BINARY
#undef VM_HANDLER_CONVERSION
#undef VM_HANDLER_FUSED
#undef VM_HANDLER_FUSED_STORE
#undef VM_HANDLER_FUSED_BRANCH
#undef VM_FUSED_READ_Var
#undef VM_FUSED_READ_Arg
#undef VM_FUSED_OPERATION


#undef VM_SYNC
#undef VM_DISPATCH
#undef VM_NEXT
#undef VM_JUMP
#undef VM_JUMP_TO
#undef VM_NEXT_OR_JUMP
#undef VM_ENTER
}

void Run(VMContext& c) {
    for (;;) {
        if (c.stopped) return;
        if (c.pc >= c.codeSize) {
            if (c.callDepth == 0) return;
            vm::PopFrame(c, -1); // a called script ran off its end
            continue;
        }
        if (VM_SingleStep || VM_BreakPending || (c.pc & 3) != 0)
            Step(c);
        else
            RunDecoded(c);
    }
}

// Takes the result of the execution off the stack into the holder.
void HandOverResult(VMContext& c, ScriptValue* result) {
    if (result == nullptr || c.stopped || c.exited) return;
    ScriptValue value{};
    if (c.returned) {
        const int type = c.returnType;
        const int size = VM_StackItemSize(type);
        if (size == 0 || vm::Depth(c) < size) return;
        switch (type) {
        case VT_VARIABLE:
            if (!vm::PopValue(c, &value)) return;
            break;
        case VT_STRING:
            value.kind = KIND_STRING;
            if (!VMString_Take(vm::Load<uint32_t>(c.sp), &value.str)) return;
            break;
        case VT_DOUBLE:
            value.real = vm::Load<double>(c.sp);
            break;
        case VT_FLOAT:
            value.real = vm::Load<float>(c.sp);
            break;
        case VT_LONG:
            value.real = static_cast<double>(vm::Load<int64_t>(c.sp));
            break;
        case VT_BOOL:
            value.real = (vm::Load<uint32_t>(c.sp) & 0xFF) ? 1.0 : 0.0;
            break;
        default:
            value.real = vm::Load<int32_t>(c.sp);
            break;
        }
    } else {
        // An expression leaves exactly one .v; anything else is not a result.
        if (vm::Depth(c) != 16 || !vm::PopValue(c, &value)) return;
    }
    *result = value;
}

} // namespace

namespace vm {

void StackOverflow(VMContext& c) {
    const char* name = c.name ? c.name : "";
    if (g_messageBox != nullptr)
        g_messageBox(name, "Stack overflow...");
    else
        ReleaseConsole->Output("Stack overflow...: %s\n", name);
    c.stopped = true;
    c.pc = c.codeSize;
}

void ReplaceStack(VMContext& c, uint8_t* region, int size) {
    LevelStore& store = *g_levels[static_cast<size_t>(c.level)];
    MEM_FREE(store.stack);
    store.stack = region;
    store.stackSize = size;
    c.stackBase = region;
    c.stackSize = size;
}

void PopFrame(VMContext& c, int returnType) {
    PopFrameInline(c, returnType);
}

bool PushFrame(VMContext& c, const VMBuffer* code, const VMBuffer* debugTable, const char* text,
               const char* name, int argumentCount) {
    return PushFrameInline(c, code, debugTable, text, name, argumentCount);
}

} // namespace vm

void VM_SetMessagePump(VMMessagePumpFn pump) {
    g_messagePump = pump;
}
void VM_CountBranch() {
    if ((++g_branchCount & 4095) == 0 && g_messagePump != nullptr) g_messagePump();
}
void VM_SetMessageBox(VMMessageBoxFn box) {
    g_messageBox = box;
}
int VM_NestingLevel() {
    return g_nesting;
}

void VM_ReleaseAbandoned() {
    VMHeld_ReleaseLevel(0);
    // A frame's arguments are all real 0 unless a call of that frame is in progress.
    for (const std::unique_ptr<LevelStore>& store : g_levels)
        for (VMFrame& frame : store->frames)
            for (ScriptValue& argument : frame.arguments) {
                Value_Free(&argument);
                argument = ScriptValue{};
            }
}

void VM_Execute(const char* name, CInstance* self, CInstance* other, const VMBuffer* code,
                ScriptValue* result, const VMBuffer* debugTable, const char* text) {
    if (VM_Trace) DebugConsole->Output("script = %s\n", name ? name : "");
    VMContext c{};
    c.name = name;
    if (g_nesting >= kVMMaxNesting) {
        vm::StackOverflow(c);
        return;
    }
    if (code == nullptr || code->data == nullptr || code->size <= 0) return;
    LevelStore& store = Level(g_nesting);
    c.level = g_nesting++;
    c.stackBase = store.stack;
    c.stackSize = store.stackSize;
    c.sp = vm::StackEnd(c) - vm::kStackHeadroom;
    c.self = self;
    c.other = other;
    c.codeBuffer = code;
    c.code = code->data;
    c.codeSize = code->size;
    c.debugTable = debugTable;
    c.text = text;
    c.frames = &store.frames;
    c.withBlocks = &store.withBlocks;
    c.savedArgumentCount = Code_ArgumentCount;
    VMContext* outer = VM_CurrentContext;
    VM_CurrentContext = &c;
    c.locals = AllocLocals();

    Run(c);

    // An execution ended by an error still leaves every frame as exit would.
    while (c.callDepth > 0)
        vm::PopFrame(c, -1);
    HandOverResult(c, result);
    vm::CloseWithBlocks(c, 0);
    VMHeld_ReleaseLevel(c.level);
    Code_ArgumentCount = c.savedArgumentCount;
    ReleaseLocals();
    VM_CurrentContext = outer;
    --g_nesting;
}
