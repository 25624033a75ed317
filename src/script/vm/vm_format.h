// The bytecode format: instruction words, type nibbles, operand sizes, variable references and the
// opcode table. Shared by the machine, the assembler, the disassembler and the code generator.
//
// Instruction word (little-endian, 4-byte aligned offsets):
//   bits 24-31 opcode; bits 16-19 first type (top operand); bits 20-23 second type (operand below,
//   conversion target, or stored value type); bits 0-15 a signed field.
//   The branch family (b, bt, bf, pushenv, popenv) holds a signed 24-bit word offset in bits 0-23,
//   counted from the branch word itself.
//   Opcodes with bit 6 set (pop, push, call, break) are followed by an operand sized by the first type.
#pragma once

#include <cstdint>

enum VMType : int {
    VT_DOUBLE = 0,
    VT_FLOAT = 1,
    VT_INT = 2,
    VT_LONG = 3,
    VT_BOOL = 4,
    VT_VARIABLE = 5,
    VT_STRING = 6,
    VT_ERROR = 15,
};

enum VMOpcode : int {
    OP_CONV = 0x03,
    OP_MUL = 0x04,
    OP_DIV = 0x05,
    OP_REM = 0x06,
    OP_MOD = 0x07,
    OP_ADD = 0x08,
    OP_SUB = 0x09,
    OP_AND = 0x0A,
    OP_OR = 0x0B,
    OP_XOR = 0x0C,
    OP_NEG = 0x0D,
    OP_NOT = 0x0E,
    OP_SHL = 0x0F,
    OP_SHR = 0x10,
    OP_SLT = 0x11,
    OP_SLE = 0x12,
    OP_SEQ = 0x13,
    OP_SNE = 0x14,
    OP_SGE = 0x15,
    OP_SGT = 0x16,
    OP_POP = 0x41,
    OP_DUP = 0x82,
    OP_RET = 0x9D,
    OP_EXIT = 0x9E,
    OP_POPZ = 0x9F,
    OP_B = 0xB7,
    OP_BT = 0xB8,
    OP_BF = 0xB9,
    OP_PUSHENV = 0xBB,
    OP_POPENV = 0xBC,
    OP_PUSH = 0xC0,
    OP_CALL = 0xDA,
    OP_BREAK = 0xFF,
};

// The word that leaves a with block at once (popenv whose bits 16-23 are 0xF0).
constexpr uint32_t kPopenvLeaveWord = 0xBCF00000u;
// The word the machine dispatches for a pending break: break.e with sub-operation 0 (the debugger's
// breakpoints write their own form of it, net/debugger.h).
constexpr uint32_t kPendingBreakWord = 0xFF0F0000u;
// break sub-operation that checks the array index on top of the stack.
constexpr int kBreakIndexCheck = 0xFFFF;

// Variable reference (operand of push.v and pop).
constexpr uint32_t kVarRefIdMask = 0x1FFFFFFFu;
constexpr uint32_t kVarRefFieldInstance = 1u << 29; // instance code in the field, not on the stack
constexpr uint32_t kVarRefInstanceId = 1u << 30;    // 100000 added to the instance code
constexpr uint32_t kVarRefNoIndex = 1u << 31;       // no array index on the stack

// Instance codes.
enum : int {
    INSTANCE_SELF = -1,
    INSTANCE_OTHER = -2,
    INSTANCE_ALL = -3,
    INSTANCE_NOONE = -4,
    INSTANCE_GLOBAL = -5,
    INSTANCE_BUILTIN = -6,
    INSTANCE_LOCAL = -7,
};
constexpr int kFirstInstanceId = 100000;

// Function ids of call.
constexpr int kFirstScriptId = 100000;
constexpr int kFirstExtensionId = 500000;

inline int VM_Opcode(uint32_t word) {
    return static_cast<int>(word >> 24);
}
inline int VM_Type1(uint32_t word) {
    return static_cast<int>((word >> 16) & 0xF);
}
inline int VM_Type2(uint32_t word) {
    return static_cast<int>((word >> 20) & 0xF);
}
inline int VM_Field(uint32_t word) {
    return static_cast<int16_t>(word & 0xFFFF);
}
inline int VM_BranchOffset(uint32_t word) {
    // Sign-extend bits 0-23.
    return static_cast<int32_t>((word & 0xFFFFFFu) ^ 0x800000u) - 0x800000;
}
inline bool VM_HasOperand(int opcode) {
    return (opcode & 0x40) != 0;
}
inline bool VM_IsBranch(int opcode) {
    return opcode == OP_B || opcode == OP_BT || opcode == OP_BF || opcode == OP_PUSHENV ||
           opcode == OP_POPENV;
}
inline bool VM_IsPopenvLeave(uint32_t word) {
    return VM_Opcode(word) == OP_POPENV && ((word >> 16) & 0xFF) == 0xF0;
}

// 8 for .d and .l; 4 for .f, .i, .b, .v and .s; 0 otherwise.
int VM_OperandSize(int type);
// Bytes an item of the type takes on the value stack: .d/.l 8, .f/.i/.b/.s 4, .v 16, others 0.
int VM_StackItemSize(int type);
// "d", "f", "i", "l", "b", "v", "s", "e", or "" for other nibbles.
const char* VM_TypeSuffix(int type);
// The mnemonic, or "unknown" for opcodes outside the table (0 to 2 included).
const char* VM_OpcodeName(int opcode);
// True for the opcodes of the table.
bool VM_IsKnownOpcode(int opcode);

inline uint32_t VM_Encode(int opcode, int type1, int type2, int field) {
    return static_cast<uint32_t>(opcode & 0xFF) << 24 | static_cast<uint32_t>(type2 & 0xF) << 20 |
           static_cast<uint32_t>(type1 & 0xF) << 16 | (static_cast<uint32_t>(field) & 0xFFFF);
}
inline uint32_t VM_EncodeBranch(int opcode, int wordOffset) {
    return static_cast<uint32_t>(opcode & 0xFF) << 24 | (static_cast<uint32_t>(wordOffset) & 0xFFFFFFu);
}
