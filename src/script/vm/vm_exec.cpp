// VM_Execute: the execution context, the fetch-dispatch loop, script frames, ret and exit, branches,
// and the debugger's break and single step.
#include <cmath>
#include <memory>

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "net/debugger.h"
#include "script/script_world.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_debug.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_internal.h"

VMContext* VM_CurrentContext = nullptr;
ScriptValue Code_Arguments[16];
int Code_ArgumentCount = 0;
bool VM_Trace = false;
bool VM_SingleStep = false;
bool VM_BreakPending = false;
int VM_StepLine = -1;
const char* VM_StepText = nullptr;

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
    std::vector<VMFrame> frames;
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

CVariableList* AllocLocals() {
    if (g_locals.used == g_locals.lists.size()) g_locals.lists.push_back(nullptr);
    CVariableList*& list = g_locals.lists[g_locals.used++];
    if (list == nullptr)
        list = new CVariableList();
    else if (list->Count() > 0)
        list->Clear();
    return list;
}

void ReleaseLocals() {
    if (g_locals.used == 0) return;
    g_locals.lists[--g_locals.used]->Clear();
}

void RestoreArguments(ScriptValue (&saved)[16]) {
    for (int i = 0; i < 16; ++i) {
        Value_Free(&Code_Arguments[i]);
        Code_Arguments[i] = saved[i];
    }
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
    if ((++g_branchCount & 4095) == 0 && g_messagePump != nullptr) g_messagePump();
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

// ---- Fast paths
// The instructions that loops and expressions over reals spend their time in, done in place on the
// stack. Each handles only the operand types and kinds whose result it can give exactly as the general
// handler would, and otherwise leaves the instruction (and the stack) untouched for the general one.

// A number read in place: a .v real, a .d or a .i.
struct FastNumber {
    double d;
    int32_t i;
    uint32_t kind; // the whole kind word of a .v (its upper bits travel with copies), else KIND_REAL
    bool variable;
    bool integer;
};

[[gnu::always_inline]] inline int FastSize(int type) {
    return type == VT_VARIABLE ? 16 : type == VT_DOUBLE ? 8 : type == VT_INT ? 4 : 0;
}

[[gnu::always_inline]] inline bool ReadNumber(const uint8_t* p, int type, FastNumber& n) {
    n.variable = type == VT_VARIABLE;
    n.integer = type == VT_INT;
    n.kind = KIND_REAL;
    if (n.variable) {
        n.kind = vm::Load<uint32_t>(p);
        if ((n.kind & KIND_MASK) != KIND_REAL) return false;
        n.d = vm::Load<double>(p + 8);
    } else if (n.integer) {
        n.i = vm::Load<int32_t>(p);
        n.d = n.i;
    } else {
        n.d = vm::Load<double>(p);
    }
    return true;
}

// Pops both operands of a two-operand instruction when they are numbers of the fast types.
[[gnu::always_inline]] inline bool PopNumbers(VMContext& c, uint32_t word, FastNumber& left,
                                              FastNumber& right) {
    const int rightSize = FastSize(VM_Type1(word));
    const int leftSize = FastSize(VM_Type2(word));
    if (rightSize == 0 || leftSize == 0 || vm::Depth(c) < rightSize + leftSize) return false;
    if (!ReadNumber(c.sp, VM_Type1(word), right) || !ReadNumber(c.sp + rightSize, VM_Type2(word), left))
        return false;
    c.sp += rightSize + leftSize;
    return true;
}

[[gnu::always_inline]] inline void PushFastReal(VMContext& c, double d, bool variable,
                                                uint32_t kind = KIND_REAL) {
    if (!variable) {
        vm::PushDouble(c, d);
        return;
    }
    c.sp -= 16;
    vm::Store<uint32_t>(c.sp, kind);
    vm::Store<uint32_t>(c.sp + 4, 0);
    vm::Store<double>(c.sp + 8, d);
}

[[gnu::always_inline]] inline bool FastArithmetic(VMContext& c, uint32_t word) {
    FastNumber left{}, right{};
    const uint8_t* before = c.sp;
    if (!PopNumbers(c, word, left, right)) return false;
    const int opcode = VM_Opcode(word);
    if (left.integer && right.integer) {
        // Two .i: 32-bit wrapping; the division goes to the general handler for its checks.
        switch (opcode) {
        case OP_ADD:
            vm::PushInt(c, Wrap_Add32(left.i, right.i));
            return true;
        case OP_SUB:
            vm::PushInt(c, Wrap_Sub32(left.i, right.i));
            return true;
        case OP_MUL:
            vm::PushInt(c, Wrap_Mul32(left.i, right.i));
            return true;
        default:
            c.sp = const_cast<uint8_t*>(before);
            return false;
        }
    }
    double d;
    switch (opcode) {
    case OP_ADD:
        d = left.d + right.d;
        break;
    case OP_SUB:
        d = left.d - right.d;
        break;
    case OP_MUL:
        d = left.d * right.d;
        break;
    case OP_REM: {
        // Both sides truncated to 64 bits; a divisor that truncates to 0 is the general handler's error.
        const int64_t divisor = right.integer ? right.i : X86_DoubleToInt64(right.d);
        if (divisor == 0) {
            c.sp = const_cast<uint8_t*>(before);
            return false;
        }
        d = static_cast<double>(X86_Div64(left.integer ? left.i : X86_DoubleToInt64(left.d), divisor));
        break;
    }
    default: // OP_DIV, OP_MOD: a divisor too near 0 is the general handler's error
        if (std::fabs(right.d) < 1e-10) {
            c.sp = const_cast<uint8_t*>(before);
            return false;
        }
        d = opcode == OP_DIV ? left.d / right.d : std::fmod(left.d, right.d);
        break;
    }
    PushFastReal(c, d, left.variable || right.variable);
    return true;
}

[[gnu::always_inline]] inline bool FastCompare(VMContext& c, uint32_t word) {
    FastNumber left{}, right{};
    if (!PopNumbers(c, word, left, right)) return false;
    const int opcode = VM_Opcode(word);
    const bool result = left.integer && right.integer
                            ? vm::CompareByOrder(opcode, (left.i > right.i) - (left.i < right.i))
                            : vm::CompareByDifference(opcode, left.d - right.d);
    vm::PushInt(c, result ? 1 : 0);
    return true;
}

[[gnu::always_inline]] inline bool FastConvert(VMContext& c, uint32_t word) {
    const int from = VM_Type1(word);
    const int to = VM_Type2(word);
    FastNumber n;
    if (from == VT_BOOL) {
        if (vm::Depth(c) < 4) return false;
        const bool truth = (vm::Load<uint32_t>(c.sp) & 0xFF) != 0;
        if (to == VT_INT) {
            vm::Store<int32_t>(c.sp, truth ? 1 : 0);
        } else if (to == VT_VARIABLE) {
            c.sp += 4;
            PushFastReal(c, truth ? 1.0 : 0.0, true);
        } else {
            return false;
        }
        return true;
    }
    const int size = FastSize(from);
    if (size == 0 || vm::Depth(c) < size || !ReadNumber(c.sp, from, n)) return false;
    switch (to) {
    case VT_BOOL:
        c.sp += size;
        // A .v real is true by its magnitude, a .d above 0.5, an integer when not 0.
        vm::PushInt(c, (n.variable ? std::fabs(n.d) > 0.5 : n.integer ? n.i != 0 : n.d > 0.5) ? 1 : 0);
        return true;
    case VT_INT:
        if (n.integer) return false;
        c.sp += size;
        vm::PushInt(c, X86_DoubleToInt32(n.d));
        return true;
    case VT_VARIABLE:
        if (n.variable) return false;
        c.sp += size;
        PushFastReal(c, n.d, true);
        return true;
    default:
        return false;
    }
}

// push.v and pop.v of a local, or of self's or a built-in-scope variable, with no index.
[[gnu::always_inline]] inline bool FastVariable(VMContext& c, uint32_t word, const uint8_t* operand) {
    if (c.codeSize - c.pc < 4) return false;
    const uint32_t reference = vm::Load<uint32_t>(operand);
    if ((reference & (kVarRefFieldInstance | kVarRefInstanceId | kVarRefNoIndex)) !=
        (kVarRefFieldInstance | kVarRefNoIndex))
        return false;
    const int id = static_cast<int>(reference & kVarRefIdMask);
    const int instance = VM_Field(word);
    CVariableList* list = nullptr;
    if (instance == INSTANCE_LOCAL) {
        list = c.locals;
    } else if ((instance == INSTANCE_BUILTIN && !Variable_IsGlobalDeclared(id)) ||
               instance == INSTANCE_SELF) {
        if (id < kVariableListIdBase || ScriptWorld_Get() == nullptr) return false;
        list = ScriptWorld_Get()->InstanceVariables(c.self);
    }
    if (list == nullptr) return false;
    ScriptValue* slot = list->Slot(id);
    if (VM_Opcode(word) == OP_PUSH) {
        // A real that is there; texts, arrays and absent variables take the general way.
        if (slot == nullptr || !slot->IsReal()) return false;
        c.pc += 4;
        PushFastReal(c, slot->real, true, slot->kind);
        return true;
    }
    // pop.v of a .v real, .d or .i value over a real, or into a new variable.
    FastNumber n;
    const int type = VM_Type2(word);
    const int size = FastSize(type);
    if (size == 0 || vm::Depth(c) < size || !ReadNumber(c.sp, type, n)) return false;
    c.sp += size;
    c.pc += 4;
    if (slot != nullptr && slot->IsReal()) {
        slot->kind = n.kind;
        slot->real = n.d;
        return true;
    }
    ScriptValue value{};
    value.kind = n.kind;
    value.real = n.d;
    list->SetVar(id, -1, &value);
    return true;
}

// Handles the instruction when a fast path fits; false leaves it to Dispatch.
[[gnu::always_inline]] inline bool FastDispatch(VMContext& c, uint32_t word, int at) {
    switch (VM_Opcode(word)) {
    case OP_ADD:
    case OP_SUB:
    case OP_MUL:
    case OP_DIV:
    case OP_REM:
    case OP_MOD:
        return FastArithmetic(c, word);
    case OP_SLT:
    case OP_SLE:
    case OP_SEQ:
    case OP_SNE:
    case OP_SGE:
    case OP_SGT:
        return FastCompare(c, word);
    case OP_CONV:
        return FastConvert(c, word);
    case OP_PUSH:
        switch (VM_Type1(word)) {
        case VT_ERROR:
            vm::PushInt(c, VM_Field(word));
            return true;
        case VT_INT:
            if (c.codeSize - c.pc < 4) return false;
            vm::PushInt(c, vm::Load<int32_t>(c.code + c.pc));
            c.pc += 4;
            return true;
        case VT_DOUBLE:
            if (c.codeSize - c.pc < 8) return false;
            vm::PushDouble(c, vm::Load<double>(c.code + c.pc));
            c.pc += 8;
            return true;
        case VT_VARIABLE:
            return FastVariable(c, word, c.code + c.pc);
        default:
            return false;
        }
    case OP_POP:
        return VM_Type1(word) == VT_VARIABLE && FastVariable(c, word, c.code + c.pc);
    case OP_B:
        vm::Branch(c, word, at);
        return true;
    case OP_BT:
    case OP_BF:
        if (vm::Depth(c) < 4) return false;
        if (((vm::Load<uint32_t>(c.sp) & 0xFF) != 0) == (VM_Opcode(word) == OP_BT)) {
            c.sp += 4;
            vm::Branch(c, word, at);
        } else {
            c.sp += 4;
        }
        return true;
    default:
        return false;
    }
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

void Run(VMContext& c) {
    for (;;) {
        if (c.stopped) return;
        if (c.pc >= c.codeSize) {
            if (c.callDepth == 0) return;
            vm::PopFrame(c, -1); // a called script ran off its end
            continue;
        }
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
        if (!FastDispatch(c, word, at)) Dispatch(c, word, at);
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
    VMFrame& frame = (*c.frames)[static_cast<size_t>(c.callDepth - 1)];
    // The returned item: 16 bytes for .v, 8 for .d and .l, 4 for the rest.
    uint8_t item[16];
    int itemSize = 0;
    if (returnType >= 0) {
        itemSize = returnType == VT_VARIABLE                            ? 16
                   : (returnType == VT_DOUBLE || returnType == VT_LONG) ? 8
                                                                        : 4;
        if (!CheckPop(c, itemSize)) return;
        std::memcpy(item, c.sp, static_cast<size_t>(itemSize));
    }
    CloseWithBlocks(c, frame.withCount);
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
    RestoreArguments(frame.arguments);
    --c.callDepth;
    c.sp = AtPosition(c, frame.framePosition);
    if (returnType < 0) {
        PushRealValue(c, 0.0);
    } else {
        c.sp -= itemSize;
        std::memcpy(c.sp, item, static_cast<size_t>(itemSize));
    }
}

bool PushFrame(VMContext& c, const VMBuffer* code, const VMBuffer* debugTable, const char* text,
               const char* name, int argumentCount) {
    if (c.callDepth >= kVMMaxCallDepth) {
        StackOverflow(c);
        return false;
    }
    if (c.frames->size() <= static_cast<size_t>(c.callDepth)) c.frames->emplace_back();
    VMFrame& frame = (*c.frames)[static_cast<size_t>(c.callDepth)];
    frame.pc = c.pc;
    frame.self = c.self;
    frame.other = c.other;
    frame.code = c.codeBuffer;
    frame.debugTable = c.debugTable;
    frame.text = c.text;
    frame.name = c.name;
    frame.reserved = c.reserved;
    frame.argumentCount = Code_ArgumentCount;
    frame.framePosition = Position(c);
    frame.locals = c.locals;
    frame.withCount = c.withCount;
    for (int i = 0; i < 16; ++i)
        frame.arguments[i] = Code_Arguments[i];
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
    c.locals = AllocLocals();
    return true;
}

} // namespace vm

void VM_SetMessagePump(VMMessagePumpFn pump) {
    g_messagePump = pump;
}
void VM_SetMessageBox(VMMessageBoxFn box) {
    g_messageBox = box;
}
int VM_NestingLevel() {
    return g_nesting;
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
