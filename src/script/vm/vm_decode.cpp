#include "script/vm/vm_decode.h"

#include <array>
#include <utility>

#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_internal.h"

void VM_CodeChanged() {
    ++vm::g_codeEpoch;
}

namespace vm {

uint32_t g_codeEpoch = 0;

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

uint16_t BinaryOp(int opcode, int right, int left) {
#define VM_MATCH_BINARY(NAME, OPCODE, RIGHT, LEFT)                                                          \
    if (opcode == OPCODE && right == VT_##RIGHT && left == VT_##LEFT) return kOp##NAME##_##RIGHT##_##LEFT;
    VM_FAST_BINARIES(VM_MATCH_BINARY)
#undef VM_MATCH_BINARY
    return kOpGeneral;
}

uint16_t ConversionOp(int from, int to) {
#define VM_MATCH_CONVERSION(FROM, TO)                                                                      \
    if (from == VT_##FROM && to == VT_##TO) return kOpConv_##FROM##_##TO;
    VM_FAST_CONVERSIONS(VM_MATCH_CONVERSION)
#undef VM_MATCH_CONVERSION
    return kOpGeneral;
}

// A variable site whose instance code is in the field and that has no index: its scope, or false when
// the inner loop does not serve it.
bool FieldSite(uint32_t word, uint32_t reference, SiteScope& scope) {
    if ((reference & (kVarRefFieldInstance | kVarRefInstanceId | kVarRefNoIndex)) !=
        (kVarRefFieldInstance | kVarRefNoIndex))
        return false;
    const int id = static_cast<int>(reference & kVarRefIdMask);
    switch (VM_Field(word)) {
    case INSTANCE_LOCAL:
        scope = kSiteLocal;
        return true;
    case INSTANCE_SELF:
        scope = kSiteSelf;
        return id >= kVariableListIdBase;
    case INSTANCE_BUILTIN:
        scope = kSiteBuiltIn;
        return id >= kVariableListIdBase;
    default:
        return false;
    }
}

// Index and instance code both on the stack.
bool StackSite(uint32_t reference) {
    return (reference & (kVarRefFieldInstance | kVarRefInstanceId | kVarRefNoIndex)) == 0;
}

void DecodeWord(Decoded& d, const uint8_t* code, int size, int at, Insn& insn) {
    insn = Insn{};
    insn.op = kOpGeneral;
    insn.words = 1;
    if (at == size) {
        insn.op = kOpEnd;
        return;
    }
    if (size - at < 4) return; // the general handler reports the cut-off word
    const uint32_t word = Load<uint32_t>(code + at);
    insn.word = word;
    const int opcode = VM_Opcode(word);
    const int type1 = VM_Type1(word);
    const int type2 = VM_Type2(word);
    const int operandSize = VM_HasOperand(opcode) ? VM_OperandSize(type1) : 0;
    if (operandSize > size - at - 4) return; // reported by the general handler
    insn.words = static_cast<uint8_t>(1 + operandSize / 4);
    const uint8_t* operand = code + at + 4;
    auto variableSite = [&](uint16_t op) {
        const uint32_t reference = Load<uint32_t>(operand);
        insn.a = static_cast<int>(reference & kVarRefIdMask);
        insn.op = op;
        insn.cache = static_cast<uint32_t>(d.caches.size());
        d.caches.emplace_back();
    };
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
        case VT_VARIABLE: {
            const uint32_t reference = Load<uint32_t>(operand);
            SiteScope scope;
            if (FieldSite(word, reference, scope)) {
                variableSite(kOpPushVar);
                insn.scope = scope;
            } else if (StackSite(reference)) {
                variableSite(kOpPushElement);
            } else if ((reference & (kVarRefFieldInstance | kVarRefInstanceId | kVarRefNoIndex)) ==
                           (kVarRefFieldInstance | kVarRefNoIndex) &&
                       (VM_Field(word) == INSTANCE_SELF || VM_Field(word) == INSTANCE_BUILTIN)) {
                const int argument = ArgumentOf(static_cast<int>(reference & kVarRefIdMask));
                if (argument >= 0) {
                    insn.op = kOpPushArgument;
                    insn.a = argument;
                }
            }
            return;
        }
        default:
            return;
        }
    case OP_POP: {
        if (type1 != VT_VARIABLE) return;
        const uint32_t reference = Load<uint32_t>(operand);
        SiteScope scope;
        if (FieldSite(word, reference, scope)) {
            const uint16_t op = type2 == VT_VARIABLE ? kOpPopVarV
                                : type2 == VT_INT    ? kOpPopVarI
                                : type2 == VT_DOUBLE ? kOpPopVarD
                                                     : kOpGeneral;
            if (op != kOpGeneral) {
                variableSite(op);
                insn.scope = scope;
            }
        } else if (StackSite(reference) && (type2 == VT_VARIABLE || type2 == VT_INT || type2 == VT_DOUBLE)) {
            variableSite(kOpPopElement);
        }
        return;
    }
    case OP_B:
    case OP_BT:
    case OP_BF: {
        const int64_t target = at + 4 * static_cast<int64_t>(VM_BranchOffset(word));
        if (target < 0 || target > size) return; // the general handler reports a jump that is taken
        insn.op = opcode == OP_B ? kOpB : opcode == OP_BT ? kOpBt : kOpBf;
        insn.a = static_cast<int32_t>(target / 4);
        return;
    }
    case OP_DUP:
        if (type2 != 0 || VM_Field(word) != 0) return;
        if (type1 == VT_INT || type1 == VT_BOOL || type1 == VT_FLOAT) insn.op = kOpDup4;
        if (type1 == VT_DOUBLE || type1 == VT_LONG) insn.op = kOpDup8;
        return;
    case OP_POPZ:
        if (type1 == VT_INT || type1 == VT_BOOL || type1 == VT_FLOAT) insn.op = kOpPopz4;
        if (type1 == VT_DOUBLE || type1 == VT_LONG) insn.op = kOpPopz8;
        if (type1 == VT_VARIABLE) insn.op = kOpPopzV;
        return;
    case OP_CONV:
        insn.op = ConversionOp(type1, type2);
        return;
    case OP_CALL: {
        if (type1 != VT_INT) return;
        const int id = Load<int32_t>(operand);
        const int argc = VM_Field(word);
        if (id < kFirstScriptId || id >= kFirstExtensionId || argc < 0 || argc > 16) return;
        insn.op = kOpCallScript;
        insn.a = id - kFirstScriptId;
        insn.x.i = argc;
        return;
    }
    case OP_RET:
        insn.op = kOpRet;
        return;
    default:
        if ((opcode >= OP_MUL && opcode <= OP_SUB) || (opcode >= OP_SLT && opcode <= OP_SGT))
            insn.op = BinaryOp(opcode, type1, type2);
        return;
    }
}

// Fuses the run that starts at record i when it is one of the fused forms (vm_decode.h).
void Fuse(Decoded& d, size_t i) {
    std::vector<Insn>& insns = d.insns;
    Insn& read = insns[i];
    if (i + 1 < insns.size()) {
        // A two-operand instruction whose .v result is stored, or whose truth is branched on.
        const Insn& next = insns[i + 1];
#define VM_FUSE_BINARY_STORE(NAME, OPCODE, RIGHT, LEFT)                                                    \
    if (read.op == kOp##NAME##_##RIGHT##_##LEFT && next.op == kOpPopVarV &&                                \
        (VT_##RIGHT == VT_VARIABLE || VT_##LEFT == VT_VARIABLE)) {                                         \
        read.op = kOp##NAME##Store_##RIGHT##_##LEFT;                                                       \
        read.words = static_cast<uint8_t>(1 + next.words);                                                 \
        return;                                                                                            \
    }
#define VM_FUSE_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT)                                                   \
    if (read.op == kOp##NAME##_##RIGHT##_##LEFT && (next.op == kOpBt || next.op == kOpBf)) {               \
        read.op = kOp##NAME##Branch_##RIGHT##_##LEFT;                                                      \
        read.words = 2;                                                                                    \
        return;                                                                                            \
    }
        VM_ARITHMETIC_OPS(VM_FAST_BINARY_TYPES, VM_FUSE_BINARY_STORE)
        VM_COMPARISON_OPS(VM_FAST_BINARY_TYPES, VM_FUSE_BINARY_BRANCH)
#undef VM_FUSE_BINARY_STORE
#undef VM_FUSE_BINARY_BRANCH
    }
    if (read.op == kOpPush4 && (VM_Type1(read.word) == VT_INT || VM_Type1(read.word) == VT_ERROR)) {
        // An element of an array variable indexed by a variable: instance code, index, conversion, access.
        if (i + 5 >= insns.size() || insns[i + 1].op != kOpPushVar || insns[i + 3].op != kOpConv_VARIABLE_INT)
            return;
        const uint16_t access = insns[i + 4].op;
        if (access != kOpPushElement && access != kOpPopElement) return;
        read.op = access == kOpPushElement ? kOpElementByVar : kOpStoreElementByVar;
        read.words = static_cast<uint8_t>(4 + insns[i + 4].words);
        return;
    }
    const bool variable = read.op == kOpPushVar;
    if (!variable && read.op != kOpPushArgument) return;
    const size_t constant = i + read.words;
    if (constant >= insns.size()) return;
    if (insns[constant].op == kOpRet && VM_Type1(insns[constant].word) == VT_VARIABLE) {
        read.op = variable ? kOpVarRet : kOpArgRet;
        read.words = static_cast<uint8_t>(read.words + 1);
        return;
    }
    if (variable && VM_Opcode(insns[constant].word) == OP_PUSH && VM_Type1(insns[constant].word) == VT_STRING &&
        insns[constant].words == 2) {
        const size_t add = constant + insns[constant].words;
        if (add + 1 >= insns.size() || insns[add].word != VM_Encode(OP_ADD, VT_STRING, VT_VARIABLE, 0)) return;
        const Insn& store = insns[add + 1];
        if (store.op != kOpPopVarV || store.scope != read.scope || store.a != read.a) return;
        read.op = kOpVarAppendText;
        read.x.i = static_cast<int32_t>(Load<uint32_t>(d.data + 4 * constant + 4));
        read.words = static_cast<uint8_t>(add + 1 + store.words - i);
        return;
    }
    if (insns[constant].op != kOpPush4) return;
    const int constantType = VM_Type1(insns[constant].word);
    if (constantType != VT_INT && constantType != VT_ERROR) return;
    const size_t operation = constant + insns[constant].words;
    if (operation + 1 >= insns.size()) return;
    const uint16_t op = insns[operation].op;
    const uint16_t next = insns[operation + 1].op;
    uint16_t fused = kOpGeneral;
    size_t end = operation + 1;
#define VM_FUSE_ARITHMETIC(SOURCE, NAME, OPCODE)                                                                   \
    if (op == kOp##NAME##_INT_VARIABLE) {                                                                  \
        if (next == kOpPopVarV) {                                                                          \
            fused = variable ? kOpVarImm##NAME##Store : kOpArgImm##NAME##Store;                            \
            end += insns[operation + 1].words;                                                             \
        } else if (next == kOpCallScript && insns[operation + 1].x.i == 1) {                               \
            fused = variable ? kOpVarImm##NAME##Call : kOpArgImm##NAME##Call;                              \
            end += insns[operation + 1].words;                                                             \
        } else {                                                                                           \
            fused = variable ? kOpVarImm##NAME : kOpArgImm##NAME;                                          \
        }                                                                                                  \
    }
#define VM_FUSE_COMPARISON(SOURCE, NAME, OPCODE)                                                                   \
    if (op == kOp##NAME##_INT_VARIABLE) {                                                                  \
        if (next == kOpBt || next == kOpBf) {                                                              \
            fused = variable ? kOpVarImm##NAME##Branch : kOpArgImm##NAME##Branch;                          \
            end += 1;                                                                                      \
        } else {                                                                                           \
            fused = variable ? kOpVarImm##NAME : kOpArgImm##NAME;                                          \
        }                                                                                                  \
    }
    VM_ARITHMETIC_OPS(VM_FUSE_ARITHMETIC, Var)
    VM_COMPARISON_OPS(VM_FUSE_COMPARISON, Var)
#undef VM_FUSE_ARITHMETIC
#undef VM_FUSE_COMPARISON
    if (fused == kOpGeneral) return;
    read.op = fused;
    read.x.i = insns[constant].x.i;
    read.words = static_cast<uint8_t>(end - i);
}

// Fuses "variable += array[index]" at record i, once the element reads are fused.
void FuseElementSum(Decoded& d, size_t i) {
    std::vector<Insn>& insns = d.insns;
    Insn& read = insns[i];
    if (read.op != kOpPushVar) return;
    const size_t element = i + read.words;
    if (element >= insns.size() || insns[element].op != kOpElementByVar) return;
    const size_t add = element + insns[element].words;
    if (add + 1 >= insns.size() || insns[add].op != kOpAddStore_VARIABLE_VARIABLE) return;
    const Insn& store = insns[add + 1];
    if (store.op != kOpPopVarV || store.scope != read.scope || store.a != read.a) return;
    read.op = kOpVarAddElement;
    read.x.i = read.words;
    read.words = static_cast<uint8_t>(add + insns[add].words - i);
}

} // namespace

Decoded* Decoded_Make(const VMBuffer* buffer) {
    Decoded_Free(buffer->decoded);
    buffer->decoded = nullptr;
    auto* d = new Decoded();
    d->data = buffer->data;
    d->size = buffer->size;
    d->codeEpoch = g_codeEpoch;
    d->builtInVersion = Variable_BuiltIn_Version();
    const int size = buffer->size > 0 && buffer->data != nullptr ? buffer->size : 0;
    d->insns.resize(static_cast<size_t>(size / 4) + 1);
    for (size_t i = 0; i < d->insns.size(); ++i)
        DecodeWord(*d, buffer->data, size, static_cast<int>(4 * i), d->insns[i]);
    for (size_t i = 0; i < d->insns.size(); ++i)
        Fuse(*d, i);
    for (size_t i = 0; i < d->insns.size(); ++i)
        FuseElementSum(*d, i);
    buffer->decoded = d;
    return d;
}

void Decoded_Free(Decoded* decoded) {
    delete decoded;
}

} // namespace vm
