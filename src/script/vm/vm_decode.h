// The decoded form of a code buffer, which the machine's inner loop runs: one record per 4-byte word of
// the code (so that a branch into any word finds a record), plus one for the end. Each record names a
// handler chosen once from the opcode and its types, with the operand, branch target or variable site
// already taken apart and checked against the code's size. Words that need more than the inner loop
// does (strings, calls, with blocks, errors, words that run past the end, targets outside the code)
// name the general handler, which executes the word the long way.
// Not for use outside src/script/vm.
#pragma once

#include <cstdint>
#include <vector>

class CVariableList;
class VMBuffer;
struct ScriptValue;

namespace vm {

// Two-operand instructions by their types: right (the first type, on top), then left.
#define VM_FAST_BINARY_TYPES(X, NAME, OPCODE)                                                               \
    X(NAME, OPCODE, INT, INT)                                                                              \
    X(NAME, OPCODE, INT, VARIABLE)                                                                         \
    X(NAME, OPCODE, INT, DOUBLE)                                                                           \
    X(NAME, OPCODE, VARIABLE, INT)                                                                         \
    X(NAME, OPCODE, VARIABLE, VARIABLE)                                                                    \
    X(NAME, OPCODE, VARIABLE, DOUBLE)                                                                      \
    X(NAME, OPCODE, DOUBLE, INT)                                                                           \
    X(NAME, OPCODE, DOUBLE, VARIABLE)                                                                      \
    X(NAME, OPCODE, DOUBLE, DOUBLE)
#define VM_FAST_BINARIES(X) VM_ARITHMETIC_OPS(VM_FAST_BINARY_TYPES, X) VM_COMPARISON_OPS(VM_FAST_BINARY_TYPES, X)
// The two-operand instructions by name, for each an X(A, NAME, OPCODE).
#define VM_ARITHMETIC_OPS(X, A)                                                                            \
    X(A, Mul, OP_MUL)                                                                                      \
    X(A, Div, OP_DIV)                                                                                      \
    X(A, Rem, OP_REM)                                                                                      \
    X(A, Mod, OP_MOD)                                                                                      \
    X(A, Add, OP_ADD)                                                                                      \
    X(A, Sub, OP_SUB)
#define VM_COMPARISON_OPS(X, A)                                                                            \
    X(A, Slt, OP_SLT)                                                                                      \
    X(A, Sle, OP_SLE)                                                                                      \
    X(A, Seq, OP_SEQ)                                                                                      \
    X(A, Sne, OP_SNE)                                                                                      \
    X(A, Sge, OP_SGE)                                                                                      \
    X(A, Sgt, OP_SGT)
// Conversions by source and target type.
#define VM_FAST_CONVERSIONS(X)                                                                             \
    X(BOOL, INT)                                                                                           \
    X(BOOL, VARIABLE)                                                                                      \
    X(INT, BOOL)                                                                                           \
    X(INT, VARIABLE)                                                                                       \
    X(VARIABLE, BOOL)                                                                                      \
    X(VARIABLE, INT)                                                                                       \
    X(DOUBLE, BOOL)                                                                                        \
    X(DOUBLE, INT)                                                                                         \
    X(DOUBLE, VARIABLE)
// Fused handlers, each standing for a run of instructions that the decoder found together:
// a variable or argument read (push.v), an integer constant (push.e or push.i) and an arithmetic or
// comparison with those types, optionally followed by a store of the result (pop.v.v) or by a branch on
// it (bt, bf). The record of the first instruction carries the fused handler, the constant in x.i and,
// in words, the length of the whole run; the records that follow stay as they are, for branches into
// the run and for the general way, which executes the first instruction alone.
// The source of the read is Var (a variable site, as PushVar) or Arg (an argument, as PushArgument).

// The other handlers.
#define VM_FAST_SIMPLE(X)                                                                                  \
    X(General)      /* anything else: the word is executed the long way */                                 \
    X(End)          /* the end of the code */                                                              \
    X(Push4)        /* push.e, push.i, push.b, push.f: the 4-byte item in x.i */                           \
    X(Push8)        /* push.d, push.l: the 8-byte item in x.l */                                           \
    X(PushVar)      /* push.v of a local or self variable without index */                                 \
    X(PushArgument) /* push.v of argument a (a built-in read through VM_GetArgument) */                    \
    X(PushElement)  /* push.v with index and instance code on the stack */                                 \
    X(PopVarV)      /* pop.v.v of a local or self variable without index */                                \
    X(PopVarI)      /* pop.v.i likewise */                                                                 \
    X(PopVarD)      /* pop.v.d likewise */                                                                 \
    X(PopElement)   /* pop.v.v, pop.v.i, pop.v.d with index and instance code on the stack */              \
    X(B)                                                                                                   \
    X(Bt)                                                                                                  \
    X(Bf)                                                                                                  \
    X(Dup4)  /* dup of one 4-byte number item */                                                           \
    X(Dup8)  /* dup of one 8-byte number item */                                                           \
    X(Popz4) /* popz of a 4-byte number item */                                                            \
    X(Popz8) /* popz of an 8-byte number item */                                                           \
    X(PopzV)                                                                                               \
    X(CallScript) /* call of script a with x.i (at most 16) arguments */                                   \
    X(Ret)                                                                                                 \
    X(VarRet) /* PushVar, then ret.v: the fused run of "return variable" */                                 \
    X(ArgRet) /* PushArgument, then ret.v */                                                                \
    X(VarAppendText) /* PushVar, push.s x.i, add.s.v, pop.v.v to the same site: "text += constant" */    \
    /* Push4 of instance code x.i, PushVar of the index, conv.v.i, then PushElement or PopElement: */          \
    X(ElementByVar)                                                                                        \
    X(StoreElementByVar)                                                                                   \
    /* PushVar, ElementByVar (x.i words on), add.v.v, pop.v.v to the same site: "sum += array[index]" */    \
    X(VarAddElement)

// Every handler in FastOp order, one macro per family: SIMPLE(NAME); BINARY, BINARY_STORE (an arithmetic
// whose .v result pop.v.v stores), BINARY_BRANCH (a comparison that bt or bf branches on), each
// (NAME, OPCODE, RIGHT, LEFT); CONVERSION(FROM, TO); and FUSED, FUSED_STORE, FUSED_BRANCH, FUSED_CALL
// (a call of a script with the result as its one argument), each (SOURCE, NAME, OPCODE).
#define VM_FAST_OPS(SIMPLE, BINARY, BINARY_STORE, BINARY_BRANCH, CONVERSION, FUSED, FUSED_STORE, FUSED_BRANCH, \
                    FUSED_CALL)                                                                            \
    VM_FAST_SIMPLE(SIMPLE)                                                                                 \
    VM_FAST_BINARIES(BINARY)                                                                               \
    VM_ARITHMETIC_OPS(VM_FAST_BINARY_TYPES, BINARY_STORE)                                                  \
    VM_COMPARISON_OPS(VM_FAST_BINARY_TYPES, BINARY_BRANCH)                                                 \
    VM_FAST_CONVERSIONS(CONVERSION)                                                                        \
    VM_ARITHMETIC_OPS(FUSED, Var)                                                                        \
    VM_COMPARISON_OPS(FUSED, Var)                                                                       \
    VM_ARITHMETIC_OPS(FUSED, Arg)                                                                        \
    VM_COMPARISON_OPS(FUSED, Arg)                                                                       \
    VM_ARITHMETIC_OPS(FUSED_STORE, Var)                                                                  \
    VM_ARITHMETIC_OPS(FUSED_STORE, Arg)                                                                  \
    VM_COMPARISON_OPS(FUSED_BRANCH, Var)                                                                \
    VM_COMPARISON_OPS(FUSED_BRANCH, Arg)                                                                \
    VM_ARITHMETIC_OPS(FUSED_CALL, Var)                                                                     \
    VM_ARITHMETIC_OPS(FUSED_CALL, Arg)

enum FastOp : uint16_t {
#define VM_ENUM_SIMPLE(NAME) kOp##NAME,
#define VM_ENUM_BINARY(NAME, OPCODE, RIGHT, LEFT) kOp##NAME##_##RIGHT##_##LEFT,
#define VM_ENUM_BINARY_STORE(NAME, OPCODE, RIGHT, LEFT) kOp##NAME##Store_##RIGHT##_##LEFT,
#define VM_ENUM_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) kOp##NAME##Branch_##RIGHT##_##LEFT,
#define VM_ENUM_CONVERSION(FROM, TO) kOpConv_##FROM##_##TO,
#define VM_ENUM_FUSED(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME,
#define VM_ENUM_FUSED_STORE(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME##Store,
#define VM_ENUM_FUSED_BRANCH(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME##Branch,
#define VM_ENUM_FUSED_CALL(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME##Call,
    VM_FAST_OPS(VM_ENUM_SIMPLE, VM_ENUM_BINARY, VM_ENUM_BINARY_STORE, VM_ENUM_BINARY_BRANCH, VM_ENUM_CONVERSION,
                VM_ENUM_FUSED, VM_ENUM_FUSED_STORE, VM_ENUM_FUSED_BRANCH, VM_ENUM_FUSED_CALL)
#undef VM_ENUM_FUSED_CALL
#undef VM_ENUM_BINARY_STORE
#undef VM_ENUM_BINARY_BRANCH
#undef VM_ENUM_SIMPLE
#undef VM_ENUM_BINARY
#undef VM_ENUM_CONVERSION
#undef VM_ENUM_FUSED
#undef VM_ENUM_FUSED_STORE
#undef VM_ENUM_FUSED_BRANCH
        kOpCount
};

// Where the variable of a site without an instance code on the stack lives.
enum SiteScope : uint8_t {
    kSiteLocal,   // the locals list
    kSiteSelf,    // self's list
    kSiteBuiltIn, // self's list, unless the variable is declared global (checked each time)
};

struct Insn {
    uint16_t op;    // FastOp
    uint8_t words;  // the instruction's length in words, operand included
    uint8_t scope;  // SiteScope of a variable site
    uint32_t word;  // the instruction word
    int32_t a;      // variable id; branch target as a word index; argument number
    uint32_t cache; // variable sites: index of the site's slot cache
    union {
        int32_t i;
        int64_t l;
    } x;
};

// The value pointer a variable site found last time, good while the list and its generation are the
// same.
struct SlotCache {
    CVariableList* list = nullptr;
    uint64_t generation = 0;
    ScriptValue* slot = nullptr;
};

struct Decoded {
    const uint8_t* data;
    int size;
    uint32_t codeEpoch;
    int builtInVersion;
    std::vector<Insn> insns; // record i describes the word at byte offset 4 * i
    std::vector<SlotCache> caches;
};

extern uint32_t g_codeEpoch;

// Makes the decoded form of the buffer, in place of one that no longer fits it.
Decoded* Decoded_Make(const VMBuffer* buffer);
void Decoded_Free(Decoded* decoded);

} // namespace vm
