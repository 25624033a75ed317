#include "script/vm/vm_decode.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "script/code.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_breakpoints.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_internal.h"

void VM_CodeChanged() {
    ++vm::g_codeEpoch;
    vm::FormsChanged();
}

namespace {
uint64_t g_decodeCount = 0;
} // namespace

uint64_t VM_DecodeCount() {
    return g_decodeCount;
}

namespace vm {

uint32_t g_codeEpoch = 0;
uint64_t g_formsChanged = 0;

namespace {

using ArgumentGetter = bool (*)(CInstance*, int, ScriptValue*);

template <int... N> constexpr auto ArgumentGetters(std::integer_sequence<int, N...>) {
    return std::array<ArgumentGetter, sizeof...(N)>{&VM_GetArgument<N>...};
}

// The argument a built-in variable reads, or -1.
int ArgumentOf(int id) {
    static const auto getters = ArgumentGetters(std::make_integer_sequence<int, 16>());
    const BuiltInVariableGetter getter = Variable_BuiltIn_Getter(id);
    for (size_t n = 0; n < getters.size(); ++n)
        if (getter != nullptr && getter == getters[n]) return static_cast<int>(n);
    return -1;
}

// The code object a call of script index runs in the loop: bytecode of some length, else null (the long
// way). Whatever replaces a script's code or the table makes every decoded form anew.
const CCode* ScriptCallTarget(int index) {
    const CScript* script = Script_Data(index);
    const CCode* code = script != nullptr ? script->GetCode() : nullptr;
    return code != nullptr && code->code != nullptr && code->code->size > 0 ? code : nullptr;
}

uint16_t BinaryOp(int opcode, int right, int left) {
#define VM_MATCH_BINARY(NAME, OPCODE, RIGHT, LEFT)                                                          \
    if (opcode == OPCODE && right == VT_##RIGHT && left == VT_##LEFT) return kOp##NAME##_##RIGHT##_##LEFT;
    VM_ALL_BINARY_OPS(VM_NUMBER_TYPE_PAIRS, VM_MATCH_BINARY)
#undef VM_MATCH_BINARY
    const bool text = right == VT_STRING || left == VT_STRING;
    const bool textOrValue = (right == VT_STRING || right == VT_VARIABLE) && (left == VT_STRING || left == VT_VARIABLE);
    if (text && textOrValue && (opcode == OP_ADD || (opcode >= OP_SLT && opcode <= OP_SGT))) return kOpTextBinary;
    if (right == VT_BOOL && left == VT_BOOL && (opcode == OP_AND || opcode == OP_OR || opcode == OP_XOR))
        return static_cast<uint16_t>(kOpLogicalAnd + (opcode - OP_AND));
    return kOpGeneral;
}

uint16_t BranchingComparison(uint16_t op) {
#define VM_MATCH_BRANCH(NAME, OPCODE, RIGHT, LEFT)                                                          \
    if (op == kOp##NAME##_##RIGHT##_##LEFT) return kOp##NAME##Branch_##RIGHT##_##LEFT;
    VM_COMPARISON_OPS(VM_NUMBER_TYPE_PAIRS, VM_MATCH_BRANCH)
#undef VM_MATCH_BRANCH
    return kOpGeneral;
}

uint16_t ConversionOp(int from, int to) {
#define VM_MATCH_CONVERSION(FROM, TO)                                                                      \
    if (from == VT_##FROM && to == VT_##TO) return kOpConv_##FROM##_##TO;
    VM_FAST_CONVERSIONS(VM_MATCH_CONVERSION)
#undef VM_MATCH_CONVERSION
    return kOpGeneral;
}

// The fused handlers, looked up by their parts. A fused run's left operand comes from one of these.
enum Source { kFromStack, kFromLocal, kFromSelf, kFromArg, kFromField, kSourceCount };
// A built-in variable of self written in place (kToField) and the targets after it are targets of
// "x op= value" only.
enum Target { kToLocal, kToSelf, kToField, kToGlobal, kToOther, kToFieldOther, kToInstance, kTargetCount };
constexpr int kBinaryOps = OP_SGT + 1;

struct FusedTables {
    uint16_t immediate[kSourceCount][kBinaryOps]{};
    uint16_t immediateBranch[kSourceCount][kBinaryOps]{};
    uint16_t immediateStore[kTargetCount][kSourceCount][kBinaryOps]{};
    uint16_t locals[kBinaryOps]{};
    uint16_t localsBranch[kBinaryOps]{};
    uint16_t args[kBinaryOps]{};
    uint16_t argsBranch[kBinaryOps]{};
    uint16_t localsStore[kTargetCount][kBinaryOps]{};
    uint16_t compound[kTargetCount][VT_STRING + 1][kBinaryOps]{};
    uint16_t intImmediate[kBinaryOps]{};
    uint16_t intImmediateBranch[kBinaryOps]{};
    // The same on a local made a .i, pushed (0) or branched on (1).
    uint16_t localInt[2][kBinaryOps]{};
    // By mod (0) or div (1), pushed (0) or branched on (1), and the comparison.
    uint16_t wholeCompare[2][2][kBinaryOps]{};
    uint16_t localIntAnd[2][kBinaryOps]{};
    // "x += local op k" (0), "x -= local op k" (1), and x &= (2), |= (3), ^= (4) of it made a .i, by op.
    uint16_t compoundImmediate[5][kBinaryOps]{};

    FusedTables() {
        // Every entry starts as kOpGeneral (0): no fused handler.
#define VM_SOURCE_Stack kFromStack
#define VM_SOURCE_Local kFromLocal
#define VM_SOURCE_Self kFromSelf
#define VM_SOURCE_Arg kFromArg
#define VM_SOURCE_Field kFromField
#define VM_TARGET_Local kToLocal
#define VM_TARGET_Self kToSelf
#define VM_TARGET_Field kToField
#define VM_TARGET_Global kToGlobal
#define VM_TARGET_Other kToOther
#define VM_TARGET_FieldOther kToFieldOther
#define VM_TARGET_Instance kToInstance
#define VM_FILL_IMMEDIATE(SOURCE, NAME, OPCODE) immediate[VM_SOURCE_##SOURCE][OPCODE] = kOp##SOURCE##Imm##NAME;
#define VM_FILL_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE)                                                     \
    immediateBranch[VM_SOURCE_##SOURCE][OPCODE] = kOp##SOURCE##Imm##NAME##Branch;
#define VM_FILL_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE)                                              \
    immediateStore[VM_TARGET_##TARGET][VM_SOURCE_##SOURCE][OPCODE] = kOp##SOURCE##Imm##NAME##To##TARGET;
#define VM_PAIRS_Locals locals
#define VM_PAIRS_Args args
#define VM_PAIRS_LocalsBranch localsBranch
#define VM_PAIRS_ArgsBranch argsBranch
#define VM_FILL_LOCALS(A, NAME, OPCODE) VM_PAIRS_##A[OPCODE] = kOp##A##NAME;
#define VM_FILL_LOCALS_BRANCH(A, NAME, OPCODE) VM_PAIRS_##A##Branch[OPCODE] = kOp##A##NAME##Branch;
#define VM_FILL_LOCALS_STORE(TARGET, A, NAME, OPCODE)                                                      \
    localsStore[VM_TARGET_##TARGET][OPCODE] = kOpLocals##NAME##To##TARGET;
#define VM_FILL_COMPOUND(TARGET, TYPE, NAME, OPCODE)                                                       \
    compound[VM_TARGET_##TARGET][VT_##TYPE][OPCODE] = kOp##NAME##_##TYPE##To##TARGET;
        VM_OPERAND_SOURCES(VM_FILL_IMMEDIATE, VM_ALL_BINARY_OPS)
        VM_OPERAND_SOURCES(VM_FILL_IMMEDIATE_BRANCH, VM_COMPARISON_OPS)
        VM_TARGETS_AND_SOURCES(VM_FILL_IMMEDIATE_STORE, VM_ARITHMETIC_OPS)
        VM_ALL_BINARY_OPS(VM_FILL_LOCALS, Locals)
        VM_COMPARISON_OPS(VM_FILL_LOCALS_BRANCH, Locals)
        VM_ALL_BINARY_OPS(VM_FILL_LOCALS, Args)
        VM_COMPARISON_OPS(VM_FILL_LOCALS_BRANCH, Args)
        VM_ARITHMETIC_OPS(VM_FILL_LOCALS_STORE, Local, Locals)
        VM_ARITHMETIC_OPS(VM_FILL_LOCALS_STORE, Self, Locals)
        VM_STORE_TARGETS(VM_FILL_COMPOUND, VM_COMPOUND_OPS)
        VM_FIELD_COMPOUND_OPS(VM_FILL_COMPOUND, Field)
        VM_MORE_COMPOUND_TARGETS(VM_FILL_COMPOUND, VM_FIELD_COMPOUND_OPS)
#define VM_FILL_INT_IMMEDIATE(A, NAME, OPCODE) intImmediate[OPCODE] = kOpIntImm##NAME;
        VM_ALL_BINARY_OPS(VM_FILL_INT_IMMEDIATE, Int)
#undef VM_FILL_INT_IMMEDIATE
#define VM_FILL_INT_IMMEDIATE_BRANCH(A, NAME, OPCODE) intImmediateBranch[OPCODE] = kOpIntBranchImm##NAME;
        VM_COMPARISON_OPS(VM_FILL_INT_IMMEDIATE_BRANCH, IntBranch)
#undef VM_FILL_INT_IMMEDIATE_BRANCH
#define VM_FILL_LOCAL_INT(A, NAME, OPCODE) localInt[0][OPCODE] = kOpLocalIntImm##NAME;
        VM_ALL_BINARY_OPS(VM_FILL_LOCAL_INT, LocalInt)
#undef VM_FILL_LOCAL_INT
#define VM_FILL_LOCAL_INT_BRANCH(A, NAME, OPCODE) localInt[1][OPCODE] = kOpLocalIntBranchImm##NAME;
        VM_COMPARISON_OPS(VM_FILL_LOCAL_INT_BRANCH, LocalIntBranch)
#undef VM_FILL_LOCAL_INT_BRANCH
#define VM_FILL_WHOLE_COMPARE(A, NAME, OPCODE) VM_WHOLE_COMPARE_##A[OPCODE] = kOp##A##Imm##NAME;
#define VM_WHOLE_COMPARE_LocalMod wholeCompare[0][0]
#define VM_WHOLE_COMPARE_LocalModBranch wholeCompare[0][1]
#define VM_WHOLE_COMPARE_LocalRem wholeCompare[1][0]
#define VM_WHOLE_COMPARE_LocalRemBranch wholeCompare[1][1]
#define VM_WHOLE_COMPARE_LocalAnd localIntAnd[0]
#define VM_WHOLE_COMPARE_LocalAndBranch localIntAnd[1]
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalMod)
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalModBranch)
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalRem)
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalRemBranch)
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalAnd)
        VM_COMPARISON_OPS(VM_FILL_WHOLE_COMPARE, LocalAndBranch)
#undef VM_WHOLE_COMPARE_LocalAnd
#undef VM_WHOLE_COMPARE_LocalAndBranch
#undef VM_WHOLE_COMPARE_LocalMod
#undef VM_WHOLE_COMPARE_LocalModBranch
#undef VM_WHOLE_COMPARE_LocalRem
#undef VM_WHOLE_COMPARE_LocalRemBranch
#undef VM_FILL_WHOLE_COMPARE
#define VM_FILL_COMPOUND_IMMEDIATE(A, NAME, OPCODE) compoundImmediate[VM_COMPOUND_##A][OPCODE] = kOp##A##Imm##NAME;
#define VM_COMPOUND_AddLocal 0
#define VM_COMPOUND_SubLocal 1
#define VM_COMPOUND_AndLocal 2
#define VM_COMPOUND_OrLocal 3
#define VM_COMPOUND_XorLocal 4
        VM_ARITHMETIC_OPS(VM_FILL_COMPOUND_IMMEDIATE, AddLocal)
        VM_ARITHMETIC_OPS(VM_FILL_COMPOUND_IMMEDIATE, SubLocal)
        VM_ARITHMETIC_OPS(VM_FILL_COMPOUND_IMMEDIATE, AndLocal)
        VM_ARITHMETIC_OPS(VM_FILL_COMPOUND_IMMEDIATE, OrLocal)
        VM_ARITHMETIC_OPS(VM_FILL_COMPOUND_IMMEDIATE, XorLocal)
#undef VM_COMPOUND_AddLocal
#undef VM_COMPOUND_SubLocal
#undef VM_COMPOUND_AndLocal
#undef VM_COMPOUND_OrLocal
#undef VM_COMPOUND_XorLocal
#undef VM_FILL_COMPOUND_IMMEDIATE
#undef VM_FILL_IMMEDIATE
#undef VM_FILL_IMMEDIATE_BRANCH
#undef VM_FILL_IMMEDIATE_STORE
#undef VM_FILL_LOCALS
#undef VM_FILL_LOCALS_BRANCH
#undef VM_PAIRS_Locals
#undef VM_PAIRS_Args
#undef VM_PAIRS_LocalsBranch
#undef VM_PAIRS_ArgsBranch
#undef VM_FILL_LOCALS_STORE
#undef VM_FILL_COMPOUND
#undef VM_SOURCE_Stack
#undef VM_SOURCE_Local
#undef VM_SOURCE_Self
#undef VM_SOURCE_Arg
#undef VM_TARGET_Local
#undef VM_TARGET_Self
#undef VM_TARGET_Field
#undef VM_TARGET_Global
#undef VM_TARGET_Other
#undef VM_TARGET_FieldOther
#undef VM_TARGET_Instance
    }
};
const FusedTables g_fused;

// The push and pop handlers of each site kind.
enum SiteKind { kLocal, kSelf, kOther, kGlobal, kScoped, kBuiltIn, kBuiltInOther, kStack, kNoSite };
constexpr uint16_t kPushOps[] = {kOpPushLocal,   kOpPushSelf,    kOpPushOther,        kOpPushGlobal,
                                 kOpPushScoped,  kOpPushBuiltIn, kOpPushBuiltInOther, kOpPushStack};
constexpr uint16_t kPopOps[] = {kOpPopLocal,   kOpPopSelf,    kOpPopOther,        kOpPopGlobal,
                                kOpPopScoped,  kOpPopBuiltIn, kOpPopBuiltInOther, kOpPopStack};

// The site of a variable reference: where its variable lives, or kNoSite for the general handler.
SiteKind SiteOf(uint32_t word, uint32_t reference, uint8_t& flags) {
    const int id = static_cast<int>(reference & kVarRefIdMask);
    flags = 0;
    if (!(reference & kVarRefNoIndex)) flags |= kSiteIndexed;
    if (!(reference & kVarRefFieldInstance)) {
        // The instance code comes from the stack, beneath the index: an instance id added to it is rare.
        return reference & kVarRefInstanceId ? kNoSite : kStack;
    }
    if (flags & kSiteIndexed) return kNoSite;
    if (reference & kVarRefInstanceId) return kNoSite;
    const bool user = id >= kVariableListIdBase;
    switch (VM_Field(word)) {
    case INSTANCE_LOCAL:
        return kLocal;
    case INSTANCE_SELF:
        return user ? kSelf : kBuiltIn;
    case INSTANCE_BUILTIN:
        if (!user) return kBuiltIn;
        if (Variable_IsGlobalDeclared(id)) flags |= kSiteScoped;
        return kScoped;
    case INSTANCE_OTHER:
        return user ? kOther : kBuiltInOther;
    case INSTANCE_GLOBAL:
        return kGlobal;
    default:
        return kNoSite;
    }
}

// The bytes the address of a variable reference takes off the stack.
int AddressBytes(uint32_t reference) {
    return (reference & kVarRefNoIndex ? 0 : 4) + (reference & kVarRefFieldInstance ? 0 : 4);
}

// What an instruction does to the stack, for following the stack through the code.
struct Effect {
    bool known = true;  // false: a word whose effect the decoder does not follow (the code is not verified)
    int needs = 0;      // bytes that must be on the stack before it
    int change = 0;     // bytes pushed less bytes popped
    bool falls = true;  // goes on to the next word
    int target = -1;    // a jump's target (a word index), taken with the depth jumpChange
    int jumpChange = 0;
};

Effect EffectOf(uint32_t word, const uint8_t* operand, int operandSize, int at, int size) {
    Effect e;
    const int opcode = VM_Opcode(word);
    const int t1 = VM_Type1(word);
    const int t2 = VM_Type2(word);
    const int s1 = VM_StackItemSize(t1);
    const int s2 = VM_StackItemSize(t2);
    const auto branchTo = [&](int change) {
        const int64_t target = at + 4 * static_cast<int64_t>(VM_BranchOffset(word));
        if (target < 0 || target > size || (target & 3) != 0) {
            e.known = false;
            return;
        }
        e.target = static_cast<int>(target / 4);
        e.jumpChange = change;
    };
    switch (opcode) {
    case OP_CONV:
        if (s1 == 0 || s2 == 0 || (t1 == t2 && t1 != VT_DOUBLE && t1 != VT_FLOAT)) e.known = false;
        e.needs = s1;
        e.change = t1 == t2 ? 0 : s2 - s1;
        return e;
    case OP_MUL:
    case OP_DIV:
    case OP_REM:
    case OP_MOD:
    case OP_ADD:
    case OP_SUB:
    case OP_AND:
    case OP_OR:
    case OP_XOR:
    case OP_SHL:
    case OP_SHR:
    case OP_SLT:
    case OP_SLE:
    case OP_SEQ:
    case OP_SNE:
    case OP_SGE:
    case OP_SGT: {
        if (s1 == 0 || s2 == 0) e.known = false;
        int result = 4;
        if (opcode < OP_SLT) {
            if (t1 == VT_VARIABLE || t2 == VT_VARIABLE)
                result = 16;
            else if (t1 == VT_DOUBLE || t2 == VT_DOUBLE || t1 == VT_LONG || t2 == VT_LONG)
                result = 8;
        }
        e.needs = s1 + s2;
        e.change = result - s1 - s2;
        return e;
    }
    case OP_NEG:
    case OP_NOT:
        e.needs = s1;
        return e;
    case OP_POP: {
        const uint32_t reference = operandSize == 4 ? Load<uint32_t>(operand) : 0;
        if (t1 == VT_ERROR) {
            // The rearrangement of pop.e, then the stack pointer moved by 4m bytes.
            const int k4 = 4 * static_cast<int8_t>(word & 0xFF);
            const int m4 = 4 * static_cast<int8_t>((word >> 8) & 0xFF);
            if (k4 < 0 || k4 - s2 < 0) e.known = false;
            e.needs = std::max({s2, 2 * k4, k4 + s2, m4});
            e.change = -m4;
            return e;
        }
        if ((t1 != VT_VARIABLE && t1 != VT_INT) || s2 == 0 || operandSize != 4) e.known = false;
        e.needs = AddressBytes(reference) + s2;
        e.change = -e.needs;
        return e;
    }
    case OP_DUP: {
        const int count = VM_Field(word) + 1;
        if (t2 != 0 || s1 == 0) return e; // does nothing
        if (count < 1) e.known = false;
        e.needs = t1 == VT_VARIABLE || t1 == VT_STRING ? s1 : count * s1;
        e.change = count * s1;
        return e;
    }
    case OP_RET:
        // The returned item: 4 bytes for a type without an item size of its own.
        e.needs = s1 != 0 ? s1 : 4;
        e.falls = false;
        return e;
    case OP_EXIT:
        e.falls = false;
        return e;
    case OP_POPZ:
        e.needs = s1;
        e.change = -s1;
        return e;
    case OP_B:
        e.falls = false;
        branchTo(0);
        return e;
    case OP_BT:
    case OP_BF:
        e.needs = 4;
        e.change = -4;
        branchTo(-4);
        return e;
    case OP_PUSHENV:
        // The instance code goes and the block's marker comes; the block's popenv finds the marker too.
        e.needs = 4;
        e.change = kWithItemSize - 4;
        branchTo(kWithItemSize - 4);
        return e;
    case OP_POPENV:
        // The next instance: back to the block's start with the marker; the end: the marker goes.
        e.needs = kWithItemSize;
        e.change = -kWithItemSize;
        if (!VM_IsPopenvLeave(word)) branchTo(0);
        return e;
    case OP_PUSH:
        if (t1 == VT_VARIABLE) {
            if (operandSize != 4) e.known = false;
            const int address = operandSize == 4 ? AddressBytes(Load<uint32_t>(operand)) : 0;
            e.needs = address;
            e.change = 16 - address;
        } else {
            e.change = t1 == VT_ERROR ? 4 : s1;
        }
        return e;
    case OP_CALL: {
        const int argc = VM_Field(word);
        if (t1 != VT_INT || argc < 0) e.known = false;
        e.needs = 16 * std::max(argc, 0);
        e.change = 16 - e.needs;
        return e;
    }
    case OP_BREAK:
        // A breakpoint puts its break word over an instruction whose effect is not seen here: that code
        // runs the long way until the breakpoint goes. The code's own break words change nothing.
        if ((word & 0xFFFF) == 0 && Debugger_IsBreakpoint(operand - 4)) e.known = false;
        if ((word & 0xFFFF) == kBreakIndexCheck) e.needs = 4;
        return e;
    default:
        return e; // opcodes outside the table do nothing
    }
}

class Decoder {
public:
    Decoder(Decoded& d, const uint8_t* code, int size, std::vector<int>& localIds)
        : m_d(d), m_code(code), m_size(size), m_localIds(localIds) {
        for (size_t slot = 0; slot < localIds.size(); ++slot)
            m_locals.emplace(localIds[slot], static_cast<int>(slot));
        m_d.localCount = static_cast<int>(localIds.size());
    }

    void Word(int at, Insn& insn);
    // Follows the stack through the code; true when the code is verified (see vm_decode.h).
    bool Verify();
    // The switch at record i, when a chain of constant whole-number case labels starts there.
    void Switch(size_t i);
    // Fuses the run that starts at record i when it is one of the fused forms.
    void Fuse(size_t i);
    // Joins the fused run at record i to the one after it where the two make one of the longer forms
    // ("a[i] = constant", "if (a[i])"); after Fuse, which makes the runs.
    void Join(size_t i);
    // Makes record i an AppendPush, and its add an AppendStore, when "v += text" or "v = v + text"
    // starts there (after Fuse, on records it left alone).
    void Append(size_t i);
    // Joins an element read at record i to the add, sub or mul after it that works the element into the
    // .v beneath it ("s + a[i]", "a[i] - a[i - 1]"); after Append, which leaves the add of a text
    // appended to a variable as it found it.
    void Arithmetic(size_t i);
    // Gives a store into a local that no run took the handler of its item's type; last, as the passes
    // before look for kOpPopLocal.
    void Store(size_t i);

private:
    // The frame slot of a local variable id.
    int LocalSlot(int id) {
        const auto [it, added] = m_locals.emplace(id, m_d.localCount);
        if (added) {
            m_localIds.push_back(id);
            ++m_d.localCount;
        }
        return it->second;
    }
    void Site(Insn& insn, SiteKind kind, uint16_t op, uint32_t reference) {
        insn.op = op;
        insn.a = static_cast<int>(reference & kVarRefIdMask);
        insn.cache = static_cast<uint32_t>(m_d.caches.size());
        m_d.caches.emplace_back();
        insn.slot = kind == kLocal || kind == kStack ? LocalSlot(insn.a) : -1;
        if (kind == kBuiltIn || kind == kBuiltInOther) {
            const bool pop = op == kPopOps[kind];
            insn.slot = pop ? StoreCode(insn.a) : FieldCode(insn.a);
            const BuiltInVariable* entry = Variable_BuiltIn_Entry(insn.a);
            if (pop && entry != nullptr) insn.k = entry->storeMark;
        }
    }
    // The record after i's instruction, or past the end.
    size_t Next(size_t i) const { return i + m_d.insns[i].words; }
    bool Has(size_t i) const { return i < m_d.insns.size(); }
    // Where a fused run's left operand comes from when record i pushes it.
    int SourceOf(size_t i) const {
        switch (m_d.insns[i].op) {
        case kOpPushLocal:
            return kFromLocal;
        case kOpPushSelf:
        case kOpPushScoped:
            return kFromSelf;
        case kOpPushBuiltIn:
            return kFromField;
        case kOpPushArgument:
            return kFromArg;
        default:
            return -1;
        }
    }
    // Record i pushes a whole number (push.e, push.i) into k.
    bool Constant(size_t i, int32_t& k) const {
        if (!Has(i) || m_d.insns[i].op != kOpPush4) return false;
        const int type = VM_Type1(m_d.insns[i].word);
        if (type != VT_INT && type != VT_ERROR) return false;
        k = m_d.insns[i].x.i;
        return true;
    }
    // Record i stores a .v at a local or self's variable (pop.v.v of such a site).
    int TargetOf(size_t i) const {
        if (!Has(i) || VM_Type2(m_d.insns[i].word) != VT_VARIABLE) return -1;
        const uint16_t op = m_d.insns[i].op;
        return op == kOpPopLocal ? kToLocal : op == kOpPopSelf || op == kOpPopScoped ? kToSelf : -1;
    }
    // The target of "x op= value" that record i stores into: a target of TargetOf, or a built-in
    // variable of self or other written in place, a global, a user variable of other, or a variable
    // (not an element) of the instance whose code lies beneath the value (pop.i.v).
    int CompoundTargetOf(size_t i) const {
        if (!Has(i) || VM_Type2(m_d.insns[i].word) != VT_VARIABLE) return -1;
        const Insn& pop = m_d.insns[i];
        switch (pop.op) {
        case kOpPopBuiltIn:
            return pop.slot >= 0 ? kToField : -1;
        case kOpPopBuiltInOther:
            return pop.slot >= 0 ? kToFieldOther : -1;
        case kOpPopGlobal:
            return kToGlobal;
        case kOpPopOther:
            return kToOther;
        case kOpPopStackValueFirst:
            if (pop.flags & kSiteIndexed) return -1;
            return pop.a >= kVariableListIdBase || StoreCode(pop.a) >= 0 ? kToInstance : -1;
        default:
            return TargetOf(i);
        }
    }
    bool Branch(size_t i) const { return Has(i) && (m_d.insns[i].op == kOpBt || m_d.insns[i].op == kOpBf); }
    // Makes record i the head of a fused run that ends before record end, with the run's whole number
    // and the offset of one of its records.
    void Head(size_t i, uint16_t op, size_t end, int32_t k = 0, size_t offset = 0) {
        if (op == kOpGeneral || end - i > 255) return;
        Insn& head = m_d.insns[i];
        head.op = op;
        head.words = static_cast<uint8_t>(end - i);
        // Element runs keep the instance code in x.i.
        if (op == kOpElementByLocal || op == kOpStoreElementByLocal || op == kOpElementByIndex2D ||
            op == kOpStoreElementByIndex2D || op == kOpElementByConstant || op == kOpStoreElementByConstant)
            return;
        head.k = k;
        head.x.i = static_cast<int32_t>(offset);
    }

    Decoded& m_d;
    const uint8_t* m_code;
    int m_size;
    std::vector<int>& m_localIds;
    std::unordered_map<int, int> m_locals;
    std::vector<Effect> m_effects;
    std::vector<int> m_depth; // the stack's depth before each word, -1 where no path reaches
    size_t m_chainEnd = 0; // records before it belong to a switch's chain already tabled
};

void Decoder::Word(int at, Insn& insn) {
    insn = Insn{};
    insn.op = kOpGeneral;
    insn.words = 1;
    insn.slot = -1;
    m_effects.emplace_back();
    Effect& effect = m_effects.back();
    if (at == m_size) {
        insn.op = kOpEnd;
        effect.falls = false;
        return;
    }
    if (m_size - at < 4) {
        effect.known = false; // the general handler reports the cut-off word
        return;
    }
    const uint32_t word = Load<uint32_t>(m_code + at);
    insn.word = word;
    const int opcode = VM_Opcode(word);
    const int type1 = VM_Type1(word);
    const int type2 = VM_Type2(word);
    const int operandSize = VM_HasOperand(opcode) ? VM_OperandSize(type1) : 0;
    if (operandSize > m_size - at - 4) {
        effect.known = false; // reported by the general handler
        return;
    }
    insn.words = static_cast<uint8_t>(1 + operandSize / 4);
    const uint8_t* operand = m_code + at + 4;
    effect = EffectOf(word, operand, operandSize, at, m_size);
    switch (opcode) {
    case OP_PUSH:
        switch (type1) {
        case VT_ERROR:
            insn.op = kOpPush4;
            insn.x.i = VM_Field(word);
            return;
        case VT_INT:
        case VT_BOOL:
        case VT_FLOAT:
            insn.op = kOpPush4;
            insn.x.i = Load<int32_t>(operand);
            return;
        case VT_DOUBLE:
        case VT_LONG:
            insn.op = kOpPush8;
            insn.x.l = Load<int64_t>(operand);
            return;
        case VT_STRING: {
            const char* text;
            insn.x.i = Load<int32_t>(operand);
            if (VMString_GetConstant(static_cast<uint32_t>(insn.x.i), &text)) insn.op = kOpPushText;
            return;
        }
        case VT_VARIABLE: {
            const uint32_t reference = Load<uint32_t>(operand);
            const SiteKind kind = SiteOf(word, reference, insn.flags);
            if (kind == kBuiltIn) {
                const int argument = ArgumentOf(static_cast<int>(reference & kVarRefIdMask));
                if (argument >= 0) {
                    insn.op = kOpPushArgument;
                    insn.a = argument;
                    return;
                }
                if (Variable_BuiltIn_Getter(static_cast<int>(reference & kVarRefIdMask)) == VM_GetArgumentCount) {
                    insn.op = kOpPushArgumentCount;
                    return;
                }
            }
            if (kind == kStack && (insn.flags & kSiteIndexed)) {
                // An element of an array a script was given: argument0[i].
                const int argument = ArgumentOf(static_cast<int>(reference & kVarRefIdMask));
                if (argument >= 0) {
                    insn.op = kOpPushArgumentElement;
                    insn.a = argument;
                    return;
                }
                if (Variable_BuiltIn_Getter(static_cast<int>(reference & kVarRefIdMask)) == VM_GetArgumentAt) {
                    insn.op = kOpPushArgumentAt;
                    return;
                }
            }
            if (kind != kNoSite) Site(insn, kind, kPushOps[kind], reference);
            // A built-in variable of the instance on the stack keeps the field its getter reads (FieldCode)
            // in k, for an instance id to be read in place.
            if (kind == kStack && insn.a < kVariableListIdBase)
                insn.k = (insn.flags & kSiteIndexed) ? -1 : FieldCode(insn.a);
            return;
        }
        default:
            return;
        }
    case OP_POP: {
        if (type1 != VT_VARIABLE && type1 != VT_INT) return;
        if (type2 != VT_VARIABLE && type2 != VT_INT && type2 != VT_DOUBLE && type2 != VT_BOOL &&
            type2 != VT_STRING && type2 != VT_LONG)
            return;
        const uint32_t reference = Load<uint32_t>(operand);
        uint8_t flags;
        const SiteKind kind = SiteOf(word, reference, flags);
        if (type1 == VT_INT) {
            // The value first, then the index and instance code: only for stack sites.
            if (kind == kStack) {
                Site(insn, kind, kOpPopStackValueFirst, reference);
                insn.flags = flags;
            }
            return;
        }
        if (kind != kNoSite) {
            Site(insn, kind, kPopOps[kind], reference);
            insn.flags = flags;
        }
        return;
    }
    case OP_B:
    case OP_BT:
    case OP_BF:
    case OP_PUSHENV:
    case OP_POPENV:
        if (effect.target < 0 && !VM_IsPopenvLeave(word)) return; // the general handler reports the jump
        insn.a = effect.target - at / 4; // counted from this record
        insn.op = opcode == OP_B          ? kOpB
                  : opcode == OP_BT       ? kOpBt
                  : opcode == OP_BF       ? kOpBf
                  : opcode == OP_PUSHENV  ? kOpPushEnv
                  : VM_IsPopenvLeave(word) ? kOpGeneral
                                           : kOpPopEnv;
        return;
    case OP_DUP: {
        if (type2 != 0) return;
        const int count = VM_Field(word) + 1;
        const int size = type1 == VT_INT || type1 == VT_BOOL || type1 == VT_FLOAT ? 4
                         : type1 == VT_DOUBLE || type1 == VT_LONG                 ? 8
                                                                                   : 0;
        if (count == 1) {
            if (size == 4) insn.op = kOpDup4;
            if (size == 8) insn.op = kOpDup8;
            if (type1 == VT_VARIABLE) insn.op = kOpDupV;
        } else if (size != 0 && count > 1 && count <= 16) {
            // Several number items, as an element's compound assignment copies its address.
            insn.op = kOpDupItems;
            insn.x.i = count * size;
        }
        return;
    }
    case OP_POPZ:
        if (type1 == VT_INT || type1 == VT_BOOL || type1 == VT_FLOAT) insn.op = kOpPopz4;
        if (type1 == VT_DOUBLE || type1 == VT_LONG) insn.op = kOpPopz8;
        if (type1 == VT_VARIABLE) insn.op = kOpPopzV;
        if (type1 == VT_STRING) insn.op = kOpPopzS;
        return;
    case OP_NEG:
        insn.op = type1 == VT_INT        ? kOpNegInt
                  : type1 == VT_DOUBLE   ? kOpNegDouble
                  : type1 == VT_VARIABLE ? kOpNegVariable
                                         : kOpGeneral;
        return;
    case OP_NOT:
        insn.op = type1 == VT_INT        ? kOpNotInt
                  : type1 == VT_BOOL     ? kOpNotBool
                  : type1 == VT_DOUBLE   ? kOpNotDouble
                  : type1 == VT_VARIABLE ? kOpNotVariable
                                         : kOpGeneral;
        return;
    case OP_CONV:
        insn.op = ConversionOp(type1, type2);
        return;
    case OP_CALL: {
        if (type1 != VT_INT) return;
        const int id = Load<int32_t>(operand);
        const int argc = VM_Field(word);
        if (id < 0 || id >= kFirstExtensionId || argc < 0 || argc > 16) return;
        insn.op = id < kFirstScriptId ? kOpCallBuiltIn : kOpCallScript;
        insn.a = id < kFirstScriptId ? id : id - kFirstScriptId;
        insn.x.i = argc;
        if (insn.op == kOpCallScript) {
            insn.cache = static_cast<uint32_t>(argc);
            insn.x.l = static_cast<int64_t>(reinterpret_cast<intptr_t>(ScriptCallTarget(insn.a)));
        }
        insn.k = at + 4 * insn.words; // where the caller goes on
        return;
    }
    case OP_RET:
        insn.op = type1 == VT_VARIABLE ? kOpRetV : kOpRet;
        return;
    case OP_EXIT:
        insn.op = kOpExit;
        return;
    case OP_BREAK:
        if ((word & 0xFFFF) == kBreakIndexCheck)
            insn.op = kOpIndexCheck;
        else if ((word & 0xFFFF) == 0 && !Debugger_IsBreakpoint(m_code + at))
            insn.op = kOpBreakWord;
        return;
    default:
        if ((opcode >= OP_MUL && opcode <= OP_XOR) || opcode == OP_SHL || opcode == OP_SHR ||
            (opcode >= OP_SLT && opcode <= OP_SGT))
            insn.op = BinaryOp(opcode, type1, type2);
        return;
    }
}

bool Decoder::Verify() {
    std::vector<int>& depth = m_depth;
    depth.assign(m_d.insns.size(), -1);
    std::vector<size_t> work{0};
    depth[0] = 0;
    int deepest = 0;
    while (!work.empty()) {
        const size_t i = work.back();
        work.pop_back();
        const Effect& e = m_effects[i];
        const int d = depth[i];
        if (!e.known || d < e.needs) return false;
        deepest = std::max({deepest, d + std::max(e.change, 0) + 16});
        const auto reach = [&](size_t to, int at) {
            if (to >= depth.size() || at < 0) return false;
            if (depth[to] < 0) {
                depth[to] = at;
                work.push_back(to);
                return true;
            }
            return depth[to] == at;
        };
        if (e.falls && !reach(i + m_d.insns[i].words, d + e.change)) return false;
        if (e.target >= 0 && !reach(static_cast<size_t>(e.target), d + e.jumpChange)) return false;
        if (deepest > kVMMaxStackBytes) return false;
    }
    m_d.reserve = deepest + 64;
    // Words that no path reaches are never run by the loop.
    for (size_t i = 0; i < m_d.insns.size(); ++i)
        if (depth[i] < 0 && m_d.insns[i].op != kOpEnd) m_d.insns[i].op = kOpGeneral;
    return true;
}

// A switch compiles to the value, then for each label "dup.v; push the label; seq.T.v; bt case", and
// after the last one "b" to the default or the end. A chain of such groups whose labels are whole
// numbers becomes a jump table at its first dup.v: a whole-number real value finds its label at once
// (the comparisons' tolerance must lie in (0, 1] for only the equal label to match), anything else runs
// the chain. When no label matches, the table goes on where the chain of constant groups ends.
void Decoder::Switch(size_t i) {
    if (i < m_chainEnd) return;
    std::vector<Insn>& insns = m_d.insns;
    std::vector<std::pair<int64_t, int>> labels;
    size_t at = i;
    while (at + 3 < insns.size() && insns[at].op == kOpDupV) {
        const Insn& push = insns[at + 1];
        const size_t compare = at + 1 + push.words;
        if (compare + 1 >= insns.size()) break;
        int64_t label;
        if (push.op == kOpPush4 && (VM_Type1(push.word) == VT_INT || VM_Type1(push.word) == VT_ERROR)) {
            label = push.x.i;
        } else if (push.op == kOpPush8 && VM_Type1(push.word) == VT_DOUBLE) {
            double d;
            std::memcpy(&d, &push.x.l, sizeof d);
            if (!(d >= -2147483648.0 && d <= 2147483647.0) || std::trunc(d) != d) break;
            label = static_cast<int64_t>(d);
        } else {
            break;
        }
        // The label's item type: push.e pushes a .i.
        const uint32_t seq = insns[compare].word;
        const int labelType = VM_Type1(push.word) == VT_ERROR ? VT_INT : VM_Type1(push.word);
        if (VM_Opcode(seq) != OP_SEQ || VM_Type2(seq) != VT_VARIABLE || VM_Type1(seq) != labelType ||
            insns[compare].words != 1 || insns[compare + 1].op != kOpBt)
            break;
        labels.emplace_back(label, static_cast<int>(compare + 1) + insns[compare + 1].a);
        at = compare + 2;
    }
    if (labels.size() < 3) return;
    int64_t low = labels[0].first, high = labels[0].first;
    for (const auto& [label, target] : labels) {
        low = std::min(low, label);
        high = std::max(high, label);
    }
    if (high - low >= 4 * static_cast<int64_t>(labels.size()) + 16) return; // too sparse for a table
    JumpTable table;
    const int self = static_cast<int>(i);
    table.first = static_cast<int>(low);
    table.fallThrough = static_cast<int>(at) - self;
    table.targets.assign(static_cast<size_t>(high - low + 1), INT32_MIN);
    for (const auto& [label, target] : labels) {
        int& slot = table.targets[static_cast<size_t>(label - low)];
        if (slot == INT32_MIN) slot = target - self; // the first label of a number is the one that matches
    }
    for (int& slot : table.targets)
        if (slot == INT32_MIN) slot = table.fallThrough;
    // The targets' block stays where it is when the table moves into the list.
    m_d.tables.push_back(std::move(table));
    const JumpTable& kept = m_d.tables.back();
    insns[i].op = kOpSwitch;
    insns[i].k = kept.first;
    insns[i].a = kept.fallThrough;
    insns[i].slot = static_cast<int32_t>(kept.targets.size());
    insns[i].x.l = static_cast<int64_t>(reinterpret_cast<intptr_t>(kept.targets.data()));
    m_chainEnd = at;
}

void Decoder::Fuse(size_t i) {
    std::vector<Insn>& insns = m_d.insns;
    Insn& head = insns[i];
    const uint16_t op = head.op;
    if (op == kOpGeneral || op == kOpSwitch) return;

    // A comparison whose truth a branch takes at once.
    if (Branch(i + 1)) {
        const uint16_t branching = BranchingComparison(op);
        if (branching != kOpGeneral) {
            head.op = branching;
            head.words = 2;
            return;
        }
    }

    // An element of an array variable indexed by any expression: the index made a .i, then the read
    // (the instance code beneath the index).
    if (op == kOpConv_VARIABLE_INT && Has(i + 1) && insns[i + 1].op == kOpPushStack &&
        (insns[i + 1].flags & kSiteIndexed) && insns[i + 1].a >= kVariableListIdBase) {
        Head(i, kOpElementByStackIndex, Next(i + 1));
        return;
    }

    // A switch on a local.
    if (op == kOpPushLocal && Has(Next(i)) && insns[Next(i)].op == kOpSwitch) {
        head.op = kOpSwitchLocal;
        head.x.i = static_cast<int32_t>(Next(i) - i);
        return;
    }

    // and, or, xor of two truths branched on at once.
    const bool logical = op >= kOpLogicalAnd && op <= kOpLogicalXor;
    if (logical && Branch(i + 1)) {
        Head(i, static_cast<uint16_t>(kOpLogicalBranchAnd + (op - kOpLogicalAnd)), i + 2, 0, 1);
        return;
    }

    // The truth of a .i branched on, the .i kept (a repeat's count).
    if (op == kOpDup4 && VM_Type1(head.word) == VT_INT && Has(i + 2) && insns[i + 1].op == kOpConv_INT_BOOL &&
        Branch(i + 2)) {
        Head(i, kOpIntTruthBranch, i + 3, 0, 2);
        return;
    }

    // The truth of a .v branched on at once.
    if (op == kOpConv_VARIABLE_BOOL && Branch(i + 1)) {
        Head(i, kOpTruthBranch, i + 2, 0, 1);
        return;
    }

    // "x op= value": the operation on the stack's items, stored at once.
    if (op != kOpTextBinary && !logical && Has(i + 1)) {
        const int opcode = VM_Opcode(head.word);
        const Insn& pop = insns[i + 1];
        const int target = CompoundTargetOf(i + 1);
        const int type = VM_Type1(head.word);
        if (target >= 0 && opcode >= OP_MUL && opcode <= OP_XOR && VM_Type2(head.word) == VT_VARIABLE &&
            (type == VT_VARIABLE || type == VT_INT || type == VT_DOUBLE)) {
            const uint16_t fused = g_fused.compound[target][type][opcode];
            if (fused != kOpGeneral) {
                // A built-in variable of an instance on the stack keeps the field its setter writes in
                // place (StoreCode) in the run's slot, and the flag that store sets in k.
                const BuiltInVariable* entry = target == kToInstance && pop.a < kVariableListIdBase
                                                   ? Variable_BuiltIn_Entry(pop.a)
                                                   : nullptr;
                Head(i, fused, Next(i + 1), entry != nullptr ? entry->storeMark : 0, 1);
                if (target == kToInstance) head.slot = entry != nullptr ? StoreCode(pop.a) : -1;
                return;
            }
        }
    }

    // A local made a .i: an index.
    if (op == kOpPushLocal && Has(Next(i)) && insns[Next(i)].op == kOpConv_VARIABLE_INT) {
        // Two such indices make the index of a two-dimensional element.
        const size_t times = Next(Next(i));
        int32_t stride;
        if (Constant(times, stride) && stride == kArrayRowStride && VM_Type1(insns[times].word) == VT_INT &&
            Has(Next(times)) && insns[Next(times)].word == VM_Encode(OP_MUL, VT_INT, VT_INT, 0)) {
            const size_t second = Next(Next(times));
            if (Has(second) && insns[second].op == kOpPushLocal && Has(Next(second)) &&
                insns[Next(second)].op == kOpConv_VARIABLE_INT && Has(Next(Next(second))) &&
                insns[Next(Next(second))].word == VM_Encode(OP_ADD, VT_INT, VT_INT, 0)) {
                Head(i, kOpIndex2D, Next(Next(Next(second))), 0, second - i);
                return;
            }
        }
        // A variable of the instance whose id the local holds ("e.hp"), read at once.
        const size_t read = Next(Next(i));
        if (Has(read) && insns[read].op == kOpPushStack && !(insns[read].flags & kSiteIndexed)) {
            Head(i, kOpVariableOfLocal, Next(read), FieldCode(insns[read].a), read - i);
            return;
        }
        // The same with the instance code kept beneath the value ("e.hp -= d" reads e.hp so).
        if (Has(read) && insns[read].op == kOpDup4 && VM_Type1(insns[read].word) == VT_INT && Has(Next(read)) &&
            insns[Next(read)].op == kOpPushStack && !(insns[Next(read)].flags & kSiteIndexed)) {
            const size_t kept = Next(read);
            Head(i, kOpVariableOfLocalKept, Next(kept), FieldCode(insns[kept].a), kept - i);
            return;
        }
        Head(i, kOpIntOfLocal, Next(Next(i)));
        return;
    }

    // An element of an array variable indexed by two locals: instance code, Index2D's run, the read.
    int32_t code;
    if (Constant(i, code) && Has(i + 1) && insns[i + 1].op == kOpPushLocal) {
        // Index2D's run starts at record i + 1 once fused; it is fused after this one, so look at its
        // shape directly: push.v local, conv.v.i, push.i 32000, mul.i.i, push.v local, conv.v.i, add.i.i.
        const size_t first = i + 1;
        int32_t stride;
        const size_t times = Next(Next(first));
        if (Has(Next(first)) && insns[Next(first)].op == kOpConv_VARIABLE_INT && Constant(times, stride) &&
            stride == kArrayRowStride && VM_Type1(insns[times].word) == VT_INT && Has(Next(times)) &&
            insns[Next(times)].word == VM_Encode(OP_MUL, VT_INT, VT_INT, 0)) {
            const size_t second = Next(Next(times));
            const size_t add = Has(second) ? Next(Next(second)) : second;
            if (Has(second) && insns[second].op == kOpPushLocal && Has(Next(second)) &&
                insns[Next(second)].op == kOpConv_VARIABLE_INT && Has(add) &&
                insns[add].word == VM_Encode(OP_ADD, VT_INT, VT_INT, 0) && Has(add + 1) &&
                (insns[add + 1].op == kOpPushStack || insns[add + 1].op == kOpPopStack) &&
                (insns[add + 1].flags & kSiteIndexed) && insns[add + 1].a >= kVariableListIdBase) {
                Head(i, insns[add + 1].op == kOpPushStack ? kOpElementByIndex2D : kOpStoreElementByIndex2D,
                     Next(add + 1));
                insns[i].k = static_cast<int32_t>(second - i);
                insns[i].slot = static_cast<int32_t>(add + 1 - i);
                return;
            }
        }
    }

    // An element of an array variable at a constant index ("a[3]", "global.pos[1] = y"): instance code,
    // index, then the access; the index goes into k.
    int32_t index;
    if (Constant(i, code) && Constant(i + 1, index) && Has(i + 2) && (insns[i + 2].flags & kSiteIndexed) &&
        insns[i + 2].a >= kVariableListIdBase &&
        (insns[i + 2].op == kOpPushStack || insns[i + 2].op == kOpPopStack)) {
        Head(i, insns[i + 2].op == kOpPushStack ? kOpElementByConstant : kOpStoreElementByConstant,
             Next(i + 2));
        insns[i].k = index;
        return;
    }

    // An element of an array variable indexed by a local: instance code, index, then the access. The
    // elements of built-in variables (alarm[i]) are left to their getters and setters.
    if (Constant(i, code) && Has(i + 1) && insns[i + 1].op == kOpPushLocal && Has(i + 3) &&
        insns[i + 3].op == kOpConv_VARIABLE_INT && Has(i + 4) && (insns[i + 4].flags & kSiteIndexed) &&
        insns[i + 4].a >= kVariableListIdBase) {
        if (insns[i + 4].op == kOpPushStack) {
            Head(i, kOpElementByLocal, Next(i + 4));
            return;
        }
        if (insns[i + 4].op == kOpPopStack) {
            Head(i, kOpStoreElementByLocal, Next(i + 4));
            return;
        }
    }

    // A whole number stored in a local, made a .v, or worked into the .i beneath it.
    int32_t k;
    if (Constant(i, k) && Has(Next(i))) {
        const Insn& next = insns[Next(i)];
        if (next.op == kOpPopLocal && VM_Type2(next.word) == VT_INT) {
            const size_t store = Next(i);
            Head(i, kOpConstantToLocal, Next(store), k, store - i);
            return;
        }
        if (next.op == kOpConv_INT_VARIABLE) {
            Head(i, kOpRealConstant, Next(Next(i)), k);
            return;
        }
        const int opcode = VM_Opcode(next.word);
        if (next.words == 1 && VM_Type1(next.word) == VT_INT && VM_Type2(next.word) == VT_INT &&
            opcode >= OP_MUL && opcode <= OP_SGT && g_fused.intImmediate[opcode] != kOpGeneral) {
            const size_t branch = Next(i) + 1;
            if (opcode >= OP_SLT && Branch(branch)) {
                Head(i, g_fused.intImmediateBranch[opcode], branch + 1, k, branch - i);
                return;
            }
            Head(i, g_fused.intImmediate[opcode], branch, k);
            return;
        }
    }

    // A local or a variable of self compared with a constant text ("state == \"idle\""), pushed or
    // branched on: the variable's text is read where it lies.
    const bool local = op == kOpPushLocal;
    if ((local || op == kOpPushSelf || op == kOpPushScoped) && Has(Next(i)) && insns[Next(i)].op == kOpPushText &&
        Has(Next(Next(i)))) {
        const size_t text = Next(i);
        const size_t operation = Next(text);
        const uint32_t word = insns[operation].word;
        const int opcode = VM_Opcode(word);
        if (insns[operation].words == 1 && VM_Type1(word) == VT_STRING && VM_Type2(word) == VT_VARIABLE &&
            opcode >= OP_SLT && opcode <= OP_SGT) {
            const bool branch = Branch(operation + 1);
            const uint16_t fused = local ? (branch ? kOpLocalTextCompareBranch : kOpLocalTextCompare)
                                         : (branch ? kOpSelfTextCompareBranch : kOpSelfTextCompare);
            Head(i, fused, operation + (branch ? 2 : 1), static_cast<int32_t>(text - i), operation - i);
            return;
        }
    }

    // A variable pushed as the first argument of a built-in call: the push keeps its own length.
    if ((op == kOpPushLocal || op == kOpPushSelf) && Has(Next(i)) && insns[Next(i)].op == kOpCallBuiltIn &&
        insns[Next(i)].x.i >= 1) {
        head.op = op == kOpPushLocal ? kOpBorrowLocal : kOpBorrowSelf;
        head.x.i = static_cast<int32_t>(Next(i) - i);
        return;
    }

    // A local or an argument returned (return x;).
    if ((op == kOpPushArgument || op == kOpPushLocal) && Has(Next(i)) && insns[Next(i)].op == kOpRetV) {
        Head(i, op == kOpPushArgument ? kOpRetArgument : kOpRetLocal, Next(Next(i)));
        return;
    }

    // An argument or a local copied into a local.
    if ((op == kOpPushArgument || op == kOpPushLocal) && Has(Next(i)) && insns[Next(i)].op == kOpPopLocal &&
        VM_Type2(insns[Next(i)].word) == VT_VARIABLE) {
        const size_t store = Next(i);
        // An argument's record has no slot of its own: it keeps the store's in k.
        Head(i, op == kOpPushArgument ? kOpArgToLocal : kOpLocalToLocal, Next(store),
             op == kOpPushArgument ? insns[store].slot : 0, store - i);
        return;
    }

    // "local op local" and "argument op argument" (a store of two arguments' result is the store's own
    // record).
    if ((op == kOpPushLocal || op == kOpPushArgument) && Has(Next(i)) && insns[Next(i)].op == op) {
        const size_t operation = Next(Next(i));
        if (Has(operation) && VM_Type1(insns[operation].word) == VT_VARIABLE &&
            VM_Type2(insns[operation].word) == VT_VARIABLE && insns[operation].words == 1) {
            const int opcode = VM_Opcode(insns[operation].word);
            if (opcode >= OP_MUL && opcode <= OP_SGT && opcode != OP_NEG && opcode != OP_NOT) {
                // The second operand's record offset is the run's k; the branch's or the store's is x.i.
                const bool locals = op == kOpPushLocal;
                const size_t second = Next(i);
                const bool branch = opcode >= OP_SLT && Branch(operation + 1);
                const int target = locals && opcode < OP_SLT ? TargetOf(operation + 1) : -1;
                if (branch) {
                    Head(i, (locals ? g_fused.localsBranch : g_fused.argsBranch)[opcode], operation + 2,
                         static_cast<int32_t>(second - i), operation + 1 - i);
                } else if (target >= 0) {
                    Head(i, g_fused.localsStore[target][opcode], Next(operation + 1),
                         static_cast<int32_t>(second - i), operation + 1 - i);
                } else {
                    Head(i, (locals ? g_fused.locals : g_fused.args)[opcode], operation + 1,
                         static_cast<int32_t>(second - i));
                }
                return;
            }
        }
    }

    // "source op whole number": the source pushed here, or already on the stack.
    const int source = SourceOf(i);
    const size_t constant = source >= 0 ? Next(i) : i;
    if ((source >= 0 || Constant(i, k)) && Constant(constant, k)) {
        const size_t operation = Next(constant);
        if (!Has(operation) || insns[operation].words != 1) return;
        const uint32_t word = insns[operation].word;
        const int opcode = VM_Opcode(word);
        if (VM_Type1(word) != VT_INT || VM_Type2(word) != VT_VARIABLE || opcode < OP_MUL || opcode > OP_SGT ||
            opcode == OP_NEG || opcode == OP_NOT)
            return;
        const int from = source >= 0 ? source : kFromStack;
        uint16_t fused = g_fused.immediate[from][opcode];
        size_t end = operation + 1;
        int after = 0;
        if (opcode >= OP_SLT && Branch(operation + 1)) {
            fused = g_fused.immediateBranch[from][opcode];
            after = static_cast<int>(operation + 1 - i);
            end = operation + 2;
        } else if (opcode < OP_SLT && TargetOf(operation + 1) >= 0) {
            fused = g_fused.immediateStore[TargetOf(operation + 1)][from][opcode];
            after = static_cast<int>(operation + 1 - i);
            end = Next(operation + 1);
        }
        Head(i, fused, end, k, static_cast<size_t>(after));
    }
}

// The words of the instruction at record i as the code has it (a fused run's head says its run's).
int RawWords(uint32_t word) {
    const int opcode = VM_Opcode(word);
    return 1 + (VM_HasOperand(opcode) ? VM_OperandSize(VM_Type1(word)) / 4 : 0);
}

// Whether an instruction between a variable's push and the add that appends to its text leaves the
// variable as it is: it reads, works on the stack's items above the variable's, or calls a built-in that
// only reads its arguments and runs no game code. Nothing that stores, branches or calls a script.
bool LeavesVariables(const Insn& insn) {
    const int opcode = VM_Opcode(insn.word);
    switch (opcode) {
    case OP_PUSH:
    case OP_CONV:
    case OP_NEG:
    case OP_NOT:
    case OP_DUP:
        return true;
    case OP_CALL: {
        if (insn.op != kOpCallBuiltIn) return false;
        const BuiltInFunction* entry = Code_Function_Entry(insn.a);
        return entry != nullptr && entry->readsArgumentsOnly;
    }
    case OP_BREAK:
        return insn.op == kOpIndexCheck;
    default:
        return (opcode >= OP_MUL && opcode <= OP_XOR) || opcode == OP_SHL || opcode == OP_SHR ||
               (opcode >= OP_SLT && opcode <= OP_SGT);
    }
}

void Decoder::Join(size_t i) {
    std::vector<Insn>& insns = m_d.insns;
    const size_t next = Next(i);
    if (!Has(next) || next - i + insns[next].words > 255) return;
    Insn& head = insns[i];
    // A whole number stored into an element indexed by a local.
    int32_t k;
    if (Constant(i, k) && head.words == 1 && insns[next].op == kOpStoreElementByLocal &&
        VM_Type2(insns[next + 4].word) == VT_INT) {
        head.op = kOpConstantToElement;
        head.k = k;
        head.words = static_cast<uint8_t>(next - i + insns[next].words);
        return;
    }
    // The truth of an element indexed by a local, or by two, branched on at once (a 2D run keeps the
    // offsets of its column and its access in k and slot: the branch's goes into a).
    if ((head.op == kOpElementByLocal || head.op == kOpElementByIndex2D) && insns[next].op == kOpTruthBranch) {
        const int32_t branch = static_cast<int32_t>(next + 1 - i);
        if (head.op == kOpElementByLocal) {
            head.op = kOpElementTruthBranch;
            head.k = branch;
        } else {
            head.op = kOpElementByIndex2DTruthBranch;
            head.a = branch;
        }
        head.words = static_cast<uint8_t>(next - i + insns[next].words);
        return;
    }
    // A variable of the instance a local names compared with a whole number and branched on
    // ("if (e.hp <= 0)"): the comparison's record stays as it is.
    static_assert(kOpStackImmSgtBranch - kOpStackImmSltBranch == OP_SGT - OP_SLT);
    if (head.op == kOpVariableOfLocal && insns[next].op >= kOpStackImmSltBranch &&
        insns[next].op <= kOpStackImmSgtBranch) {
        head.op = kOpVariableOfLocalBranch;
        return;
    }
    // A repeat's count stepped down, and its jump back while the count is not 0.
    if (head.op == kOpIntImmSub && insns[next].op == kOpIntTruthBranch) {
        head.op = kOpCountDownBranch;
        head.words = static_cast<uint8_t>(next - i + insns[next].words);
        head.x.i = static_cast<int32_t>(next - i + insns[next].x.i);
        return;
    }
    // A local made a .i, then worked with a whole number or compared with one.
    if (head.op == kOpIntOfLocal) {
        for (int opcode = OP_MUL; opcode <= OP_SGT; ++opcode) {
            const int branch = insns[next].op == g_fused.intImmediate[opcode]         ? 0
                               : insns[next].op == g_fused.intImmediateBranch[opcode] ? 1
                                                                                      : -1;
            if (branch < 0 || g_fused.localInt[branch][opcode] == kOpGeneral) continue;
            head.op = g_fused.localInt[branch][opcode];
            head.words = static_cast<uint8_t>(next - i + insns[next].words);
            head.x.i = static_cast<int32_t>(next - i);
            // Its bits tested at once against a whole number ("(local & k) != 0"), pushed or branched on:
            // the test's record at k.
            const size_t test = Next(next);
            if (opcode != OP_AND || branch != 0 || !Has(test) || test - i + insns[test].words > 255) return;
            for (int compare = OP_SLT; compare <= OP_SGT; ++compare) {
                const int branches = insns[test].op == g_fused.intImmediate[compare]         ? 0
                                     : insns[test].op == g_fused.intImmediateBranch[compare] ? 1
                                                                                             : -1;
                if (branches < 0) continue;
                head.op = g_fused.localIntAnd[branches][compare];
                head.words = static_cast<uint8_t>(test - i + insns[test].words);
                head.k = static_cast<int32_t>(test - i);
                return;
            }
            return;
        }
        return;
    }
    // "x += local op k" and "x -= local op k" into a local x; &=, |= and ^= of it made a .i.
    if (head.op == kOpPushLocal) {
        size_t compound = Next(next);
        if (Has(compound) && insns[compound].op == kOpConv_VARIABLE_INT) ++compound;
        if (!Has(compound)) return;
        const bool converted = compound != Next(next);
        const uint16_t kinds[5] = {kOpAdd_VARIABLEToLocal, kOpSub_VARIABLEToLocal, kOpAnd_INTToLocal,
                                   kOpOr_INTToLocal, kOpXor_INTToLocal};
        const auto kind = std::find(kinds, kinds + 5, insns[compound].op) - kinds;
        if (kind == 5 || converted != (kind >= 2)) return;
        if (insns[compound + 1].slot != head.slot || Next(compound) - i > 255) return;
        for (const int opcode : {OP_MUL, OP_DIV, OP_REM, OP_MOD, OP_ADD, OP_SUB, OP_AND, OP_OR, OP_XOR, OP_SHL, OP_SHR}) {
            if (insns[next].op != g_fused.immediate[kFromLocal][opcode]) continue;
            head.op = g_fused.compoundImmediate[kind][opcode];
            head.words = static_cast<uint8_t>(Next(compound) - i);
            head.x.i = static_cast<int32_t>(next - i);
            return;
        }
        return;
    }
    // "local mod k" or "local div k" compared with a whole number, pushed or branched on.
    if (head.op == kOpLocalImmMod || head.op == kOpLocalImmRem) {
        for (int opcode = OP_SLT; opcode <= OP_SGT; ++opcode) {
            const int branch = insns[next].op == g_fused.immediateBranch[kFromStack][opcode] ? 1
                               : insns[next].op == g_fused.immediate[kFromStack][opcode]   ? 0
                                                                                           : -1;
            if (branch < 0) continue;
            head.op = g_fused.wholeCompare[head.op == kOpLocalImmMod ? 0 : 1][branch][opcode];
            head.words = static_cast<uint8_t>(next - i + insns[next].words);
            head.x.i = static_cast<int32_t>(next - i);
            return;
        }
    }
    // A loop's counter stepped by a whole number or by a local, the jump back, and the loop's test of
    // that counter.
    const bool add = head.op == kOpLocalImmAddToLocal;
    const bool byLocal =
        head.op == g_fused.localsStore[kToLocal][OP_ADD] || head.op == g_fused.localsStore[kToLocal][OP_SUB];
    if ((add || head.op == kOpLocalImmSubToLocal || byLocal) && insns[i + head.x.i].slot == head.slot &&
        insns[next].op == kOpB && (add || byLocal || head.k != INT32_MIN)) {
        const int64_t target = static_cast<int64_t>(next) + insns[next].a;
        if (target < 0 || !Has(static_cast<size_t>(target))) return;
        const Insn& test = insns[static_cast<size_t>(target)];
        if (test.slot != head.slot) return;
        uint16_t fused = kOpGeneral;
        bool rightLocal = false;
        for (int opcode = OP_SLT; opcode <= OP_SGT; ++opcode) {
            // The handler of the loop's own comparison.
            const int which = opcode - OP_SLT;
            const bool back = head.op == g_fused.localsStore[kToLocal][OP_SUB];
            const uint16_t imm = !byLocal ? kOpCountImmBranchSlt
                                 : back   ? kOpStepBackImmBranchSlt
                                          : kOpStepImmBranchSlt;
            const uint16_t locals = !byLocal ? kOpCountLocalsBranchSlt
                                    : back   ? kOpStepBackLocalsBranchSlt
                                             : kOpStepLocalsBranchSlt;
            if (test.op == g_fused.immediateBranch[kFromLocal][opcode])
                fused = static_cast<uint16_t>(imm + which);
            if (test.op == g_fused.localsBranch[opcode]) {
                fused = static_cast<uint16_t>(locals + which);
                rightLocal = true;
            }
        }
        if (fused == kOpGeneral) return;
        if (!byLocal && !add) head.k = -head.k;
        // The step local's slot and the test's number or local's slot go into the run itself.
        if (byLocal) head.k = insns[i + static_cast<size_t>(head.k)].slot;
        head.cache = rightLocal ? static_cast<uint32_t>(insns[static_cast<size_t>(target) + test.k].slot)
                                : static_cast<uint32_t>(test.k);
        head.op = fused;
        head.words = static_cast<uint8_t>(next + 1 - i);
        head.x.i = static_cast<int32_t>(target - static_cast<int64_t>(i));
    }
}

void Decoder::Arithmetic(size_t i) {
    std::vector<Insn>& insns = m_d.insns;
    // (A local array's runs take their own handlers later, in ElementRunHolder.)
    static constexpr uint16_t kReads[] = {kOpElementByLocal, kOpElementByIndex2D, kOpElementByStackIndex,
                                          kOpElementByConstant};
    static constexpr uint16_t kFirst[] = {kOpElementByLocalMul, kOpElementByIndex2DMul, kOpElementByStackIndexMul,
                                          kOpElementByConstantMul};
    // The operations' own handlers, in the order of the joined ones: a run that took the operation (its
    // store, an append) is left as it is.
    static constexpr uint16_t kOperations[] = {kOpMul_VARIABLE_VARIABLE, kOpAdd_VARIABLE_VARIABLE,
                                               kOpSub_VARIABLE_VARIABLE};
    Insn& head = insns[i];
    const auto read = std::find(kReads, kReads + 4, head.op) - kReads;
    const size_t next = Next(i);
    if (read == 4 || !Has(next) || next - i + insns[next].words > 255) return;
    const auto operation = std::find(kOperations, kOperations + 3, insns[next].op) - kOperations;
    if (operation == 3) return;
    head.op = static_cast<uint16_t>(kFirst[read] + operation);
    head.words = static_cast<uint8_t>(next - i + insns[next].words);
}

void Decoder::Store(size_t i) {
    Insn& insn = m_d.insns[i];
    if (insn.op != kOpPopLocal) return;
    const int type = VM_Type2(insn.word);
    if (type == VT_VARIABLE) insn.op = kOpPopLocalReal;
    if (type == VT_INT) insn.op = kOpPopLocalInt;
}

void Decoder::Append(size_t i) {
    std::vector<Insn>& insns = m_d.insns;
    const uint16_t op = insns[i].op;
    if (op != kOpPushLocal && op != kOpPushSelf && op != kOpPushOther && op != kOpPushGlobal && op != kOpPushScoped)
        return;
    const int base = m_depth[i];
    if (base < 0) return;
    // The straight code of the text, above the variable's item, up to the instruction that reaches it
    // (looked for a short way only, so that decoding stays linear in the code's length).
    constexpr size_t kFarthest = 64;
    size_t j = i + insns[i].words;
    size_t last = i;
    while (Has(j) && insns[j].op != kOpEnd && m_depth[j] >= 0 && m_depth[j] - m_effects[j].needs >= base + 16) {
        if (!LeavesVariables(insns[j]) || j - i > kFarthest) return;
        last = j;
        j += static_cast<size_t>(RawWords(insns[j].word));
    }
    if (!Has(j + 1) || insns[j].op == kOpEnd || m_depth[j] < 0 || last == i) return;
    // A text made last by an operation that only makes numbers is not one: "n += a * b" stays as it is.
    const int made = VM_Opcode(insns[last].word);
    if (made != OP_ADD && made != OP_PUSH && made != OP_CALL && made != OP_DUP &&
        !(made == OP_CONV && VM_Type1(insns[last].word) == VT_STRING))
        return;
    // The add of the variable's item (left, a .v) and the text (a .s or a .v), stored at once.
    const uint32_t add = insns[j].word;
    const int right = VM_Type1(add);
    if (VM_Opcode(add) != OP_ADD || VM_Type2(add) != VT_VARIABLE || (right != VT_STRING && right != VT_VARIABLE) ||
        m_depth[j] - VM_StackItemSize(right) - 16 != base)
        return;
    const Insn& store = insns[j + 1];
    if (VM_Opcode(store.word) != OP_POP || VM_Type1(store.word) != VT_VARIABLE ||
        VM_Type2(store.word) != VT_VARIABLE || store.op != op + 1 /* the same site's pop */ || store.a != insns[i].a ||
        VM_Field(store.word) != VM_Field(insns[i].word) || store.words != 2)
        return;
    // No fused run between them may reach past the add.
    for (size_t h = i + insns[i].words; h < j; h += static_cast<size_t>(RawWords(insns[h].word)))
        if (h + insns[h].words > j) return;
    insns[i].k = op;
    insns[i].op = kOpAppendPush;
    insns[i].x.i = static_cast<int32_t>(j - i);
    insns[j].slot = insns[j].op;
    insns[j].op = kOpAppendStore;
}

} // namespace

namespace {

// The holder of an element run's array variable, known when the code is decoded: a run whose variable is
// a local (the instance code its push.e gives, in x.i; a ConstantToElement's in the run at the next
// record) takes the handler of its own that reads the local at once, and a name written without an
// instance (-6) is made self's or the globals' as it is declared now (a change of the declarations makes
// the code anew).
void ElementRunHolder(Insn* insn, const Insn* next) {
    if (insn->op == kOpElementByConstant || insn->op == kOpStoreElementByConstant ||
        (insn->op >= kOpElementByConstantMul && insn->op <= kOpElementByConstantSub)) {
        if (insn->x.i == INSTANCE_BUILTIN)
            insn->x.i = Variable_IsGlobalDeclared(insn[2].a) ? INSTANCE_GLOBAL : INSTANCE_SELF;
        return;
    }
    struct Pair {
        uint16_t any, local;
    };
    static constexpr Pair kPairs[] = {{kOpElementByLocal, kOpLocalElementByLocal},
                                      {kOpStoreElementByLocal, kOpStoreLocalElementByLocal},
                                      {kOpElementTruthBranch, kOpLocalElementTruthBranch},
                                      {kOpElementByIndex2DTruthBranch, kOpLocalElementByIndex2DTruthBranch},
                                      {kOpElementByIndex2D, kOpLocalElementByIndex2D},
                                      {kOpStoreElementByIndex2D, kOpStoreLocalElementByIndex2D},
                                      {kOpConstantToElement, kOpConstantToLocalElement},
                                      {kOpElementByLocalMul, kOpLocalElementByLocalMul},
                                      {kOpElementByLocalAdd, kOpLocalElementByLocalAdd},
                                      {kOpElementByLocalSub, kOpLocalElementByLocalSub},
                                      {kOpElementByIndex2DMul, kOpLocalElementByIndex2DMul},
                                      {kOpElementByIndex2DAdd, kOpLocalElementByIndex2DAdd},
                                      {kOpElementByIndex2DSub, kOpLocalElementByIndex2DSub}};
    for (const Pair& pair : kPairs) {
        if (insn->op != pair.any) continue;
        if (insn->op == kOpConstantToElement) {
            if (next != nullptr && next->x.i == INSTANCE_LOCAL) insn->op = pair.local;
            return;
        }
        const bool twoD = insn->op == kOpElementByIndex2D || insn->op == kOpStoreElementByIndex2D ||
                          insn->op == kOpElementByIndex2DTruthBranch ||
                          (insn->op >= kOpElementByIndex2DMul && insn->op <= kOpElementByIndex2DSub);
        if (insn->x.i == INSTANCE_LOCAL) insn->op = pair.local;
        if (insn->x.i == INSTANCE_BUILTIN) {
            const Insn& site = insn[twoD ? insn->slot : 4];
            insn->x.i = Variable_IsGlobalDeclared(site.a) ? INSTANCE_GLOBAL : INSTANCE_SELF;
        }
        return;
    }
}

} // namespace

Decoded* Decoded_Make(const VMBuffer* buffer) {
    Decoded_Free(buffer->decoded);
    buffer->decoded = nullptr;
    ++g_decodeCount;
    auto* d = new Decoded();
    d->data = buffer->data;
    d->size = buffer->size;
    d->epoch = DecodeEpoch();
    d->verified = false;
    d->reserve = 0;
    d->localCount = 0;
    d->entryCopies = 0;
    d->entryAfter = 0;
    FormsChanged();
    const int size = buffer->size > 0 && buffer->data != nullptr ? buffer->size : 0;
    d->insns.resize(static_cast<size_t>(size / 4) + 1);
    Decoder decoder(*d, buffer->data, size, buffer->localIds);
    for (size_t i = 0; i < d->insns.size(); ++i)
        decoder.Word(static_cast<int>(4 * i), d->insns[i]);
    d->verified = decoder.Verify();
    if (!d->verified) {
        // Without a verified stack every word goes the long way.
        for (Insn& insn : d->insns)
            if (insn.op != kOpEnd) insn.op = kOpGeneral;
    } else {
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Switch(i);
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Fuse(i);
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Join(i);
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Append(i);
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Arithmetic(i);
        for (size_t i = 0; i < d->insns.size(); ++i)
            decoder.Store(i);
        for (Insn& insn : d->insns)
            ElementRunHolder(&insn, &insn == &d->insns.back() ? nullptr : &insn + 1);
        // A break out of a switch: its jump lands on the popz.v of the switch's value.
        for (size_t i = 0; i < d->insns.size(); ++i) {
            Insn& jump = d->insns[i];
            const int64_t target = static_cast<int64_t>(i) + jump.a;
            if (jump.op == kOpB && target >= 0 && target < static_cast<int64_t>(d->insns.size()) &&
                d->insns[static_cast<size_t>(target)].op == kOpPopzV)
                jump.op = kOpBPopzV;
        }
        // The leading copies of argument n into the local of slot n, n = 0, 1, ... (the call makes them).
        size_t at = 0;
        int copies = 0;
        while (at < d->insns.size() && d->insns[at].op == kOpArgToLocal && d->insns[at].a == copies &&
               d->insns[at].k == copies && copies < 16) {
            at += d->insns[at].words;
            ++copies;
        }
        d->entryCopies = copies;
        d->entryAfter = static_cast<int>(at);
    }
    // Each record's way on to the next, now that every record's handler is chosen. A record whose step
    // would pass the last one (the end, whose handler never goes on) ends the run there instead.
    const size_t count = d->insns.size();
    for (size_t i = 0; i < count; ++i) {
        Insn& insn = d->insns[i];
        const size_t to = i + insn.words;
        insn.next = to < count ? LoopEntry(d->insns[to].op, insn.words)
                               : LoopEntries()[kOpEnd * kEntriesPerOp + kEntriesPerOp - 1];
    }
    buffer->decoded = d;
    return d;
}

void Decoded_Free(Decoded* decoded) {
    if (decoded != nullptr) FormsChanged();
    delete decoded;
}

} // namespace vm
