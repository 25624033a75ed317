#include "script/vm/vm_format.h"

int VM_OperandSize(int type) {
    switch (type) {
    case VT_DOUBLE:
    case VT_LONG:
        return 8;
    case VT_FLOAT:
    case VT_INT:
    case VT_BOOL:
    case VT_VARIABLE:
    case VT_STRING:
        return 4;
    default:
        return 0;
    }
}

int VM_StackItemSize(int type) {
    return type == VT_VARIABLE ? 16 : VM_OperandSize(type);
}

const char* VM_TypeSuffix(int type) {
    static const char* const kSuffixes[16] = {"d", "f", "i", "l", "b", "v", "s", "",
                                              "",  "",  "",  "",  "",  "",  "",  "e"};
    return (type >= 0 && type < 16) ? kSuffixes[type] : "";
}

const char* VM_OpcodeName(int opcode) {
    switch (opcode) {
    case OP_CONV:
        return "conv";
    case OP_MUL:
        return "mul";
    case OP_DIV:
        return "div";
    case OP_REM:
        return "rem";
    case OP_MOD:
        return "mod";
    case OP_ADD:
        return "add";
    case OP_SUB:
        return "sub";
    case OP_AND:
        return "and";
    case OP_OR:
        return "or";
    case OP_XOR:
        return "xor";
    case OP_NEG:
        return "neg";
    case OP_NOT:
        return "not";
    case OP_SHL:
        return "shl";
    case OP_SHR:
        return "shr";
    case OP_SLT:
        return "slt";
    case OP_SLE:
        return "sle";
    case OP_SEQ:
        return "seq";
    case OP_SNE:
        return "sne";
    case OP_SGE:
        return "sge";
    case OP_SGT:
        return "sgt";
    case OP_POP:
        return "pop";
    case OP_DUP:
        return "dup";
    case OP_RET:
        return "ret";
    case OP_EXIT:
        return "exit";
    case OP_POPZ:
        return "popz";
    case OP_B:
        return "b";
    case OP_BT:
        return "bt";
    case OP_BF:
        return "bf";
    case OP_PUSHENV:
        return "pushenv";
    case OP_POPENV:
        return "popenv";
    case OP_PUSH:
        return "push";
    case OP_CALL:
        return "call";
    case OP_BREAK:
        return "break";
    default:
        return "unknown";
    }
}

bool VM_IsKnownOpcode(int opcode) {
    const char* name = VM_OpcodeName(opcode);
    return name[0] != 'u';
}
