// VM_Execute: the execution context, the fetch-dispatch loop, script frames, ret and exit, branches,
// and the debugger's break and single step.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

#include "core/console.h"
#include "core/convert.h"
#include "core/debug_link.h"
#include "core/memory.h"
#include "core/stack_guard.h"
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
#include "script/vm/vm_frames.h"
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

namespace {

constexpr int kInitialStackSize = 16384;

// What one nesting level of executions keeps between runs, so that an execution allocates nothing
// once its level has run before.
struct LevelStore {
    ~LevelStore() {
        for (VMFrame& frame : frames)
            delete frame.calleeLocals;
        MEM_FREE(stack);
    }
    uint8_t* stack = nullptr;
    int stackSize = 0;
    std::deque<VMFrame> frames;
    std::vector<VMWithBlock> withBlocks;
};

std::vector<std::unique_ptr<LevelStore>> g_levels;
int g_nesting = 0;
// Where each running level's execution began on the machine stack: a level takes what the loop's frame
// and the calls between two levels take, which the compiler and its options size (a few KB optimised,
// hundreds of KB unoptimised under AddressSanitizer with clang, which lays every block's variables out
// apart), and the next one is given room for twice that.
uintptr_t g_levelFrames[kVMMaxNesting] = {};
VMMessagePumpFn g_messagePump = nullptr;
VMMessageBoxFn g_messageBox = nullptr;

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

void Dispatch(VMContext& c, uint32_t word, int at);

} // namespace

namespace vm {

uint32_t g_branchCount = 0;
LocalsPool g_locals;

LocalsLevel* NewLocals() {
    return new LocalsLevel();
}

LocalsLevel* AllocLocalsSlow() {
    g_locals.levels.push_back(std::make_unique<LocalsLevel>());
    return g_locals.levels[g_locals.used++].get();
}

LocalsLevel::~LocalsLevel() {
    ClearLocals(this);
    delete[] values;
    delete[] made;
}

void GrowLocals(LocalsLevel* level, const VMBuffer* code, int count) {
    if (level->slotCount < count) {
        const int size = std::max({count, 2 * level->slotCount, kMinLocalSlots});
        auto* values = new ScriptValue[static_cast<size_t>(size)];
        auto* made = new uint32_t[static_cast<size_t>(size)]();
        for (int i = 0; i < size; ++i)
            values[i].kind = kLocalAbsent;
        if (level->slotCount > 0) {
            std::memcpy(values, level->values, sizeof(ScriptValue) * static_cast<size_t>(level->slotCount));
            std::memcpy(made, level->made, sizeof(uint32_t) * static_cast<size_t>(level->slotCount));
        }
        delete[] level->values;
        delete[] level->made;
        level->values = values;
        level->made = made;
        level->slotCount = size;
    }
    // A variable made beside the slots before its code was decoded again with a slot for it.
    const std::vector<int>& ids = code->localIds;
    for (size_t i = 0; i < level->extra.size();) {
        ExtraLocal& local = level->extra[i];
        const auto at = std::find(ids.begin(), ids.begin() + std::min<size_t>(ids.size(), count), local.id);
        const size_t slot = static_cast<size_t>(at - ids.begin());
        if (at == ids.begin() + std::min<size_t>(ids.size(), count) || level->values[slot].kind != kLocalAbsent) {
            ++i;
            continue;
        }
        level->values[slot] = local.value;
        level->made[slot] = local.made;
        level->extra.erase(level->extra.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void ClearLocals(LocalsLevel* level) {
    for (int i = 0; i < level->dirty; ++i) {
        ScriptValue& value = level->values[i];
        if (value.kind == kLocalAbsent) continue;
        if (value.IsString() || value.IsArray()) Value_Free(&value);
        value.kind = kLocalAbsent;
    }
    level->dirty = 0;
    level->madeCount = 0;
    for (ExtraLocal& local : level->extra)
        Value_Free(&local.value);
    level->extra.clear();
}

namespace {

// The slot of a local variable id in the running code's layout, or -1. Lays the code out when it has
// not run decoded yet, so that a variable has one place whichever way its code runs.
int LocalSlotOf(VMContext& c, int id) {
    const std::vector<int>& ids = c.codeBuffer->localIds;
    if (ids.empty() && c.codeBuffer->decoded == nullptr) DecodedOf(c.codeBuffer);
    const auto at = std::find(ids.begin(), ids.end(), id);
    if (at == ids.end()) return -1;
    const int slot = static_cast<int>(at - ids.begin());
    // Every slot of the layout at once, as the loop makes them: a slot that moved while its code runs
    // would no longer be the owner of the array it holds (the owner is the holder's address).
    LocalSlots(c.localsLevel, c.codeBuffer, static_cast<int>(ids.size()));
    return slot;
}

ExtraLocal* ExtraOf(LocalsLevel* level, int id) {
    for (ExtraLocal& local : level->extra)
        if (local.id == id) return &local;
    return nullptr;
}

} // namespace

ScriptValue* Local_Find(VMContext& c, int id) {
    LocalsLevel* level = c.localsLevel;
    const int slot = LocalSlotOf(c, id);
    if (slot >= 0) return level->values[slot].kind != kLocalAbsent ? &level->values[slot] : nullptr;
    ExtraLocal* local = ExtraOf(level, id);
    return local != nullptr ? &local->value : nullptr;
}

ScriptValue* Local_Make(VMContext& c, int id) {
    if (ScriptValue* value = Local_Find(c, id)) return value;
    LocalsLevel* level = c.localsLevel;
    const int slot = LocalSlotOf(c, id);
    if (slot >= 0) return MakeLocal(level, slot);
    level->extra.push_back(ExtraLocal{id, ++level->madeCount, ScriptValue{}});
    return &level->extra.back().value;
}

void Locals_Dump(const VMContext& c, tagIConsole* console, const char* header) {
    const LocalsLevel* level = c.localsLevel;
    if (level == nullptr) return;
    struct Entry {
        int id;
        uint32_t made;
        const ScriptValue* value;
    };
    std::vector<Entry> entries;
    const std::vector<int>& ids = c.codeBuffer->localIds;
    for (int i = 0; i < level->dirty && i < static_cast<int>(ids.size()); ++i)
        if (level->values[i].kind != kLocalAbsent) entries.push_back({ids[i], level->made[i], &level->values[i]});
    for (const ExtraLocal& local : level->extra)
        entries.push_back({local.id, local.made, &local.value});
    if (entries.empty()) return;
    console->Output("%s", header);
    // The order of a variable list: by its hash bucket, the newest first within one.
    const auto bucket = [](int id) { return static_cast<uint32_t>(id) % CVariableList::kBuckets; };
    std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return bucket(a.id) != bucket(b.id) ? bucket(a.id) < bucket(b.id) : a.made > b.made;
    });
    for (const Entry& e : entries)
        CVariableList::DumpOne(console, e.id, e.value);
}

bool DrainMessages() {
    if (g_messagePump == nullptr) return false;
    g_messagePump();
    return true;
}

} // namespace vm

void vm::Branch(VMContext& c, uint32_t word, int at) {
    const int64_t target = at + 4 * static_cast<int64_t>(VM_BranchOffset(word));
    if (target < 0 || target > vm::CodeSize(c)) {
        VM_Error(&c, "Branch out of the code in %s: offset %d leads to %lld", vm::RunningName(c),
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
    // With no breakpoint set and no debugger to wait for, nothing is taken out and put back: the code's
    // own break word then costs what a word that does nothing costs.
    const bool debugger = Debugger_ServerRunning();
    const bool swap = debugger || Debugger_Breakpoints.count > 0;
    if (swap) DebuggerRemoveBreakpoints();
    if (debugger) DebuggerWaitWhilePaused();
    if (c.pc + 4 > vm::CodeSize(c)) return;
    const uint32_t word = vm::Load<uint32_t>(vm::CodeBytes(c) + c.pc);
    c.pc += 4;
    // A break word that is still there belongs to the code itself: it does nothing.
    if (VM_Opcode(word) == OP_BREAK && (word & 0xFFFF) == 0) {
        c.pc += VM_OperandSize(VM_Type1(word));
    } else {
        Dispatch(c, word, at);
    }
    if (swap) DebuggerInsertBreakpoints();
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
    const uint8_t* operand = vm::CodeBytes(c) + c.pc;
    if (VM_HasOperand(opcode)) {
        const int size = VM_OperandSize(VM_Type1(word));
        if (size > vm::CodeSize(c) - c.pc) {
            VM_Error(&c, "Instruction at offset %d of %s runs past the end of the code", at,
                     vm::RunningName(c));
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
            c.pc = vm::CodeSize(c);
        } else {
            vm::PopFrame(c, VM_Type1(word));
        }
        break;
    case OP_EXIT:
        if (c.callDepth == 0) {
            c.exited = true;
            c.pc = vm::CodeSize(c);
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

void SingleStep(VMContext& c) {
    VMDebugEntry entry;
    const VMCodeNames running = VM_RunningCode(c);
    const bool found = VM_FindDebugEntry(running.debugTable, c.pc, &entry);
    const int line = VM_GetLineNumber(found ? &entry : nullptr, running.text, nullptr);
    if (line != VMDebug_State().VM_StepLine || running.text != VMDebug_State().VM_StepText) {
        VMDebug_State().VM_BreakPending = true;
        VMDebug_State().VM_SingleStep = false;
    }
}

} // namespace

// A frame at the end of the store, all real 0 in its arguments and with an empty level of locals, linked
// to the one before it.
VMFrame* vm::NewFrame(std::deque<VMFrame>& frames) {
    VMFrame* below = frames.empty() ? nullptr : &frames.back();
    VMFrame& frame = frames.emplace_back();
    frame.calleeLocals = NewLocals();
    frame.below = below;
    if (below != nullptr) below->above = &frame;
    return &frame;
}

void vm::Step(VMContext& c) {
    if (c.sp - c.stackBase < vm::kStackMargin && !vm::Reserve(c, vm::kStackMargin)) return;
    if (VMDebug_State().VM_SingleStep) SingleStep(c);
    if (vm::CodeSize(c) - c.pc < 4) {
        VM_Error(&c, "Instruction at offset %d of %s runs past the end of the code", c.pc,
                 vm::RunningName(c));
        return;
    }
    uint32_t word = vm::Load<uint32_t>(vm::CodeBytes(c) + c.pc);
    const int at = c.pc;
    c.pc += 4;
    if (VMDebug_State().VM_BreakPending) {
        word = kPendingBreakWord;
        VMDebug_State().VM_BreakPending = false;
    }
    Dispatch(c, word, at);
}

namespace {

void Run(VMContext& c) {
    for (;;) {
        if (c.stopped) return;
        if (c.pc >= vm::CodeSize(c)) {
            if (c.callDepth == 0) return;
            vm::PopFrame(c, -1); // a called script ran off its end
            continue;
        }
        // Code whose stack the decoder could not follow has no handler but the general one: it is
        // stepped here, without entering and leaving the loop for every word.
        if (VMDebug_State().VM_SingleStep || VMDebug_State().VM_BreakPending ||
            VMDebug_State().VM_LongWayOnly || (c.pc & 3) != 0 || !vm::DecodedOf(c.codeBuffer)->verified)
            vm::Step(c);
        else
            vm::RunDecoded(c);
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
            if (!VMString_TakeOrCopy(vm::Load<uint32_t>(c.sp), &value.str)) return;
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
    const char* name = VM_RunningCode(c).name;
    if (name == nullptr) name = "";
    if (g_messageBox != nullptr)
        g_messageBox(name, "Stack overflow...");
    else
        ReleaseConsole->Output("Stack overflow...: %s\n", name);
    c.stopped = true;
    c.pc = c.codeBuffer != nullptr ? CodeSize(c) : 0;
}

void ReplaceStack(VMContext& c, uint8_t* region, int size) {
    LevelStore& store = *g_levels[static_cast<size_t>(c.level)];
    MEM_FREE(store.stack);
    store.stack = region;
    store.stackSize = size;
    c.stackBase = region;
    c.stackSize = size;
    c.stackEnd = region + size;
}

const char* RunningName(const VMContext& c) {
    const char* name = VM_RunningCode(c).name;
    return name != nullptr ? name : "<unknown>";
}

void PopFrame(VMContext& c, int returnType) {
    PopFrameInline(c, returnType);
}

bool PushFrame(VMContext& c, const CCode* script, int argumentCount) {
    return PushFrameInline(c, script, argumentCount);
}

} // namespace vm

VMCodeNames VM_CodeAt(const VMContext& c, int depth) {
    if (depth <= 0 || c.frames == nullptr || depth > static_cast<int>(c.frames->size()))
        return {c.entryName, c.entryDebugTable, c.entryText};
    const CCode* script = (*c.frames)[static_cast<size_t>(depth - 1)].script;
    return {script->name, script->debugInfo, script->lineText};
}

void VM_SetMessagePump(VMMessagePumpFn pump) {
    g_messagePump = pump;
}
void VM_CountBranch() {
    if ((++vm::g_branchCount & 4095) == 0 && g_messagePump != nullptr) g_messagePump();
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
    if (VMDebug_State().VM_Trace) DebugConsole->Output("script = %s\n", name ? name : "");
    VMContext c{};
    c.entryName = name;
    const auto frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    size_t reserve = kVMNestingStackReserve;
    if (g_nesting > 0 && g_nesting <= kVMMaxNesting && g_levelFrames[g_nesting - 1] > frame)
        reserve = std::max(reserve, 2 * static_cast<size_t>(g_levelFrames[g_nesting - 1] - frame));
    if (g_nesting >= kVMMaxNesting || Stack_IsLow(reserve)) {
        vm::StackOverflow(c);
        return;
    }
    if (code == nullptr || code->data == nullptr || code->size <= 0) return;
    LevelStore& store = Level(g_nesting);
    g_levelFrames[g_nesting] = frame;
    c.level = g_nesting++;
    c.stackBase = store.stack;
    c.stackSize = store.stackSize;
    c.stackEnd = store.stack + store.stackSize;
    c.sp = vm::StackEnd(c) - vm::kStackHeadroom;
    c.self = self;
    c.other = other;
    c.codeBuffer = code;
    c.entryDebugTable = debugTable;
    c.entryText = text;
    c.frames = &store.frames;
    c.withBlocks = &store.withBlocks;
    c.savedArgumentCount = Code_ArgumentCount;
    VMContext* outer = VM_CurrentContext;
    VM_CurrentContext = &c;
    c.localsLevel = vm::AllocLocals();

    Run(c);

    // An execution ended by an error still leaves every frame as exit would.
    while (c.callDepth > 0)
        vm::PopFrame(c, -1);
    HandOverResult(c, result);
    vm::CloseWithBlocks(c, 0);
    VMHeld_ReleaseLevel(c.level);
    Code_ArgumentCount = c.savedArgumentCount;
    vm::ReleaseLocals();
    VM_CurrentContext = outer;
    --g_nesting;
}
