// The decoded form of a code buffer, which the machine's inner loop runs: one record per 4-byte word of
// the code (so that a branch into any word finds a record), plus one for the end. Each record names a
// handler chosen once from the opcode and its types, with the operand, branch target or variable
// reference already taken apart.
//
// The decoder follows the stack through the code first: when every instruction finds the items it takes
// (its own code's, never a caller's) and every path into an instruction brings the stack to the same
// depth, the code is verified, and its handlers neither check the stack's depth nor its room (the room
// the deepest instruction needs is made once when the code is entered). A code that is not verified is
// stepped the long way word by word without entering the loop; any word a handler does not serve for the
// items and variables it meets goes to the general handler, which executes the word the long way (errors,
// rare types and kinds, the debugger's breakpoints).
//
// Runs of a few instructions that game code is made of (a variable or the stack's top against a whole
// number, two locals against each other, an operation whose result is stored at once or branched on, an
// array element indexed by a local) are fused: the record of the run's first instruction carries the
// fused handler, and the records that follow stay as they are, for branches into the run and for the
// general way, which executes the first instruction alone.
// Not for use outside src/script/vm.
#pragma once

#include <cstdint>
#include <vector>

#include "script/variables.h"

class CVariableList;
class VMBuffer;
struct ScriptValue;

namespace vm {

// The lists below call X once per entry with their extra arguments first.
// The number types of the two-operand handlers: right (the first type, on top), then left.
#define VM_NUMBER_TYPE_PAIRS(X, NAME, OPCODE)                                                              \
    X(NAME, OPCODE, INT, INT)                                                                              \
    X(NAME, OPCODE, INT, VARIABLE)                                                                         \
    X(NAME, OPCODE, INT, DOUBLE)                                                                           \
    X(NAME, OPCODE, VARIABLE, INT)                                                                         \
    X(NAME, OPCODE, VARIABLE, VARIABLE)                                                                    \
    X(NAME, OPCODE, VARIABLE, DOUBLE)                                                                      \
    X(NAME, OPCODE, DOUBLE, INT)                                                                           \
    X(NAME, OPCODE, DOUBLE, VARIABLE)                                                                      \
    X(NAME, OPCODE, DOUBLE, DOUBLE)
// The two-operand instructions by name.
#define VM_ARITHMETIC_OPS(X, ...)                                                                          \
    X(__VA_ARGS__, Mul, OP_MUL)                                                                            \
    X(__VA_ARGS__, Div, OP_DIV)                                                                            \
    X(__VA_ARGS__, Rem, OP_REM)                                                                            \
    X(__VA_ARGS__, Mod, OP_MOD)                                                                            \
    X(__VA_ARGS__, Add, OP_ADD)                                                                            \
    X(__VA_ARGS__, Sub, OP_SUB)                                                                            \
    X(__VA_ARGS__, And, OP_AND)                                                                            \
    X(__VA_ARGS__, Or, OP_OR)                                                                              \
    X(__VA_ARGS__, Xor, OP_XOR)                                                                            \
    X(__VA_ARGS__, Shl, OP_SHL)                                                                            \
    X(__VA_ARGS__, Shr, OP_SHR)
#define VM_COMPARISON_OPS(X, ...)                                                                          \
    X(__VA_ARGS__, Slt, OP_SLT)                                                                            \
    X(__VA_ARGS__, Sle, OP_SLE)                                                                            \
    X(__VA_ARGS__, Seq, OP_SEQ)                                                                            \
    X(__VA_ARGS__, Sne, OP_SNE)                                                                            \
    X(__VA_ARGS__, Sge, OP_SGE)                                                                            \
    X(__VA_ARGS__, Sgt, OP_SGT)
#define VM_ALL_BINARY_OPS(X, ...) VM_ARITHMETIC_OPS(X, __VA_ARGS__) VM_COMPARISON_OPS(X, __VA_ARGS__)
// The arithmetic that "x op= value" compiles to, by the value's type (the first; the second is .v), and
// the operations whose result is stored at once as often ("n = (a + b) mod w", "v = v & (v - 1)").
#define VM_ADD_SUB_OPS(X, TYPE, ...) X(__VA_ARGS__, TYPE, Add, OP_ADD) X(__VA_ARGS__, TYPE, Sub, OP_SUB)
#define VM_COMPOUND_OPS(X, ...)                                                                            \
    X(__VA_ARGS__, VARIABLE, Mul, OP_MUL)                                                                  \
    X(__VA_ARGS__, VARIABLE, Div, OP_DIV)                                                                  \
    X(__VA_ARGS__, VARIABLE, Rem, OP_REM)                                                                  \
    X(__VA_ARGS__, VARIABLE, Mod, OP_MOD)                                                                  \
    X(__VA_ARGS__, VARIABLE, And, OP_AND)                                                                  \
    X(__VA_ARGS__, VARIABLE, Or, OP_OR)                                                                    \
    X(__VA_ARGS__, VARIABLE, Xor, OP_XOR)                                                                  \
    X(__VA_ARGS__, INT, Mul, OP_MUL)                                                                       \
    X(__VA_ARGS__, INT, Div, OP_DIV)                                                                       \
    X(__VA_ARGS__, INT, And, OP_AND)                                                                       \
    X(__VA_ARGS__, INT, Or, OP_OR)                                                                         \
    X(__VA_ARGS__, INT, Xor, OP_XOR)                                                                       \
    X(__VA_ARGS__, DOUBLE, Mul, OP_MUL)                                                                    \
    X(__VA_ARGS__, DOUBLE, Div, OP_DIV)                                                                    \
    VM_FIELD_COMPOUND_OPS(X, __VA_ARGS__)
// Those of them that also store into a built-in variable of self written in place ("x += hspeed").
#define VM_FIELD_COMPOUND_OPS(X, ...)                                                                      \
    VM_ADD_SUB_OPS(X, VARIABLE, __VA_ARGS__) VM_ADD_SUB_OPS(X, INT, __VA_ARGS__) VM_ADD_SUB_OPS(X, DOUBLE, __VA_ARGS__)
// Conversions by source and target type.
#define VM_FAST_CONVERSIONS(X)                                                                             \
    X(BOOL, INT)                                                                                           \
    X(BOOL, VARIABLE)                                                                                      \
    X(BOOL, DOUBLE)                                                                                        \
    X(INT, BOOL)                                                                                           \
    X(INT, VARIABLE)                                                                                       \
    X(INT, DOUBLE)                                                                                         \
    X(VARIABLE, BOOL)                                                                                      \
    X(VARIABLE, INT)                                                                                       \
    X(VARIABLE, DOUBLE)                                                                                    \
    X(DOUBLE, BOOL)                                                                                        \
    X(DOUBLE, INT)                                                                                         \
    X(DOUBLE, VARIABLE)                                                                                    \
    X(STRING, VARIABLE)
// Where a fused run's left operand comes from: the stack's top (a .v), or a variable it pushes; and
// where a fused run stores its result.
#define VM_OPERAND_SOURCES(X, LIST) LIST(X, Stack) LIST(X, Local) LIST(X, Self) LIST(X, Arg) LIST(X, Field)
#define VM_STORE_TARGETS(X, LIST) LIST(X, Local) LIST(X, Self)
// The targets of "x += value" and "x -= value" beside self's built-in fields: a global, a user variable of
// other, a built-in variable of other written in place, and a variable of the instance whose code lies
// beneath the operands (pop.i.v of a stack site: "inst.hp -= d").
#define VM_MORE_COMPOUND_TARGETS(X, LIST) LIST(X, Global) LIST(X, Other) LIST(X, FieldOther) LIST(X, Instance)
#define VM_TARGETS_AND_SOURCES(X, LIST)                                                                    \
    LIST(X, Local, Stack)                                                                                  \
    LIST(X, Local, Local)                                                                                  \
    LIST(X, Local, Self)                                                                                   \
    LIST(X, Local, Arg)                                                                                    \
    LIST(X, Self, Stack)                                                                                   \
    LIST(X, Self, Local)                                                                                   \
    LIST(X, Self, Self)                                                                                    \
    LIST(X, Self, Arg)

// Where the variable of a reference lives, when the decoder can tell.
#define VM_VARIABLE_SITES(X)                                                                               \
    X(Local)     /* the instance code -7 in the field: the locals, through the frame's slot */             \
    X(Self)      /* -1 in the field, a user variable of self */                                            \
    X(Other)     /* -2 in the field, a user variable of other */                                           \
    X(Global)    /* -5 in the field */                                                                     \
    X(Scoped)    /* -6 in the field: the global one when declared global, else self's */                   \
    X(BuiltIn)   /* a built-in variable of self (-1 or -6 in the field) */                                 \
    X(BuiltInOther) /* a built-in variable of other */                                                     \
    X(Stack)     /* the instance code and the index on the stack (instance code first) */

// One name per operation an element read is worked into at once, in opcode order (mul, add, sub).
#define VM_ELEMENT_ARITHMETIC(X, NAME) X(NAME##Mul) X(NAME##Add) X(NAME##Sub)

// One name per comparison opcode, slt to sgt in opcode order: NAME##Slt ... NAME##Sgt.
#define VM_EACH_COMPARISON(X, NAME)                                                                        \
    X(NAME##Slt) X(NAME##Sle) X(NAME##Seq) X(NAME##Sne) X(NAME##Sge) X(NAME##Sgt)

// The handlers, in FastOp order, one macro per family (see vm_loop.cpp):
//   SIMPLE(NAME); SITE(NAME) for push and pop at each variable site;
//   BINARY(NAME, OPCODE, RIGHT, LEFT), BINARY_BRANCH (a comparison that bt or bf branches on);
//   CONVERSION(FROM, TO);
//   IMMEDIATE(SOURCE, NAME, OPCODE): "source op whole number", pushed (run: [push.v] push.e/i op.i.v);
//   IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE): the same comparison branched on;
//   IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE): the same arithmetic stored (pop.v.v);
//   LOCALS(PAIR, NAME, OPCODE), LOCALS_BRANCH: "local op local" (PAIR Locals) or "argument op argument"
//   (PAIR Args) (push.v push.v op.v.v);
//   LOCALS_STORE(TARGET, Locals, NAME, OPCODE): "local op local" stored (pop.v.v);
//   COMPOUND(TARGET, TYPE, NAME, OPCODE): op.TYPE.v of the stack's items stored (pop.v.v);
//   INT_IMMEDIATE(Int, NAME, OPCODE): "the .i on top op whole number" (push.e/i op.i.i), and
//   INT_IMMEDIATE(IntBranch, NAME, OPCODE) the same comparison branched on; (LocalInt, NAME, OPCODE)
//   and (LocalIntBranch, ...): the IntOfLocal run joined to the Int or IntBranch run at record x.i;
//   INT_IMMEDIATE(LocalMod,
//   NAME, OPCODE): "local mod k compared with a whole number", the run of LocalImmMod joined to the
//   StackImm comparison at record x.i (which holds the number in k), pushed, or (LocalModBranch)
//   branched on by that run's bt or bf; LocalRem, LocalRemBranch the same for div; LocalAnd,
//   LocalAndBranch: a flag's test, "(local & k) compared with a whole number", the LocalInt run of and
//   (record 0, its k at record x.i) joined to the Int or IntBranch comparison at record k; (AddLocal, NAME,
//   OPCODE): "x += local op k" for a local x (its push, the LocalImm run at record x.i, then add.v.v
//   and the store into x at record k), SubLocal for -=, and AndLocal, OrLocal, XorLocal for &=, |=, ^=
//   of the run's result made a .i.
#define VM_FAST_SIMPLE(X)                                                                                  \
    X(General)      /* anything else: the word is executed the long way */                                 \
    X(End)          /* the end of the code */                                                              \
    X(Push4)        /* push.e, push.i, push.b, push.f: the 4-byte item in x.i */                           \
    X(Push8)        /* push.d, push.l: the 8-byte item in x.l */                                           \
    X(PushText)     /* push.s: the constant's handle in x.i */                                             \
    X(PushArgument) /* push.v of argument a (a built-in read through VM_GetArgument) */                    \
    X(PushArgumentCount) /* push.v of argument_count (a built-in read through VM_GetArgumentCount) */     \
    X(PushArgumentElement) /* push.v stack.argument a[]: an element of argument a */                       \
    X(PushArgumentAt) /* push.v stack.argument[]: the argument of the index */                             \
    X(PopStackValueFirst) /* pop.i: the value first, then the index and instance code */                   \
    X(B)                                                                                                   \
    X(BPopzV) /* b to a popz.v (a switch's end, where its value goes): the value taken off here */         \
    X(Bt)                                                                                                  \
    X(Bf)                                                                                                  \
    X(Dup4)  /* dup of one 4-byte number item */                                                           \
    X(Dup8)  /* dup of one 8-byte number item */                                                           \
    X(DupItems) /* dup of 2 to 16 number items: x.i bytes */                                               \
    X(DupV)                                                                                                \
    X(Popz4) /* popz of a 4-byte item */                                                                   \
    X(Popz8) /* popz of an 8-byte item */                                                                  \
    X(PopzV)                                                                                               \
    X(PopzS)                                                                                               \
    X(NegInt)                                                                                              \
    X(NegDouble)                                                                                           \
    X(NegVariable)                                                                                         \
    X(NotInt)                                                                                              \
    X(NotBool)                                                                                             \
    X(NotDouble)                                                                                           \
    X(NotVariable)                                                                                         \
    X(LogicalAnd) /* and, or, xor of two .b, in opcode order */                                            \
    X(LogicalOr)                                                                                           \
    X(LogicalXor)                                                                                          \
    X(LogicalBranchAnd) /* the same, then bt or bf on it */                                                \
    X(LogicalBranchOr)                                                                                     \
    X(LogicalBranchXor)                                                                                    \
    X(TextBinary) /* add or a comparison with a .s operand */                                              \
    X(LocalTextCompare) /* push.v local, push.s (record k), a comparison .s.v (record x.i) of them */      \
    X(LocalTextCompareBranch) /* the same, then bt or bf on it */                                          \
    X(SelfTextCompare)       /* the same of push.v of self's variable (-1 or -6) */                        \
    X(SelfTextCompareBranch)                                                                               \
    X(CallScript)  /* call of script a with cache (at most 16) arguments; x.l: its code or null */      \
    X(CallBuiltIn) /* call of built-in function a with x.i (at most 16) arguments */                       \
    X(Ret)                                                                                                 \
    X(RetV)   /* ret.v */                                                                                  \
    X(Exit)                                                                                                \
    X(PushEnv)                                                                                             \
    X(PopEnv)                                                                                              \
    X(IndexCheck) /* break 0xFFFF */                                                                       \
    X(BreakWord)  /* break 0 of the code itself (no breakpoint over it) */                                 \
    X(Switch)     /* a chain of constant case labels: a jump table of the decoded form (JumpTable) */      \
    X(SwitchLocal) /* push.v local, then the Switch at record x.i */                                       \
    X(IntOfLocal) /* push.v local, conv.v.i */                                                             \
    X(VariableOfLocal) /* push.v local, conv.v.i, push.v stack.a: a variable of the instance it names */   \
    X(VariableOfLocalKept) /* push.v local, conv.v.i, dup.i, push.v stack.a: the same, the .i kept */     \
    X(VariableOfLocalBranch) /* VariableOfLocal's run, then the StackImm comparison branch after it */    \
    X(Index2D)    /* the index of [local, local]: both to .i, the first times 32000 plus the second */     \
    X(ElementByLocal)      /* push.e code, push.v local, conv.v.i, push.v stack.a[] */                     \
    X(StoreElementByLocal) /* push.e code, push.v local, conv.v.i, pop.v.T stack.a[] */                    \
    X(ConstantToLocal)     /* push.e or push.i, pop.v.i local */                                    \
    X(TruthBranch)         /* conv.v.b, then bt or bf on it */                                          \
    X(IntTruthBranch)      /* dup.i, conv.i.b, then bt or bf (record x.i) on it: the .i stays */         \
    X(CountDownBranch)     /* push.e/i k, sub.i.i, then IntTruthBranch's run: a repeat's jump back */    \
    X(RealConstant)        /* push.e or push.i, conv.i.v */                                             \
    X(ArgToLocal)          /* push.v argument, pop.v.v local */                                         \
    X(LocalToLocal)        /* push.v local, pop.v.v local */                                            \
    X(RetLocal)            /* push.v local, ret.v */                                                    \
    X(RetArgument)         /* push.v argument, ret.v */                                                 \
    X(ElementByIndex2D)    /* push.e code, the run of Index2D, push.v stack.a[] */                    \
    X(StoreElementByIndex2D) /* push.e code, the run of Index2D, pop.v.T stack.a[] */                  \
    X(ElementByStackIndex) /* conv.v.i of the index on top, push.v stack.a[] */                         \
    X(ElementByConstant)      /* push.e code (x.i), push.e or push.i k, push.v stack.a[] */              \
    X(StoreElementByConstant) /* push.e code (x.i), push.e or push.i k, pop.v.T stack.a[] */             \
    X(ConstantToElement)   /* push.e or push.i k, then the run of StoreElementByLocal (record 1) */     \
    X(ElementTruthBranch)  /* the run of ElementByLocal, then TruthBranch's (its bt or bf at record k) */ \
    X(LocalElementByLocal)      /* ElementByLocal, StoreElementByLocal, ConstantToElement, */            \
    X(StoreLocalElementByLocal) /* ElementTruthBranch and ElementByIndex2D of an array variable that is */ \
    X(ConstantToLocalElement)   /* a local (instance code -7) */                                          \
    X(LocalElementTruthBranch)                                                                            \
    X(LocalElementByIndex2D)                                                                              \
    X(StoreLocalElementByIndex2D) /* and StoreElementByIndex2D likewise */                                \
    X(ElementByIndex2DTruthBranch) /* the run of ElementByIndex2D, then TruthBranch's (its bt or bf at */ \
    X(LocalElementByIndex2DTruthBranch) /* record a); the second of a local array variable */             \
    /* The element runs that push, then add.v.v, sub.v.v or mul.v.v of the element into the .v beneath */ \
    /* it (ElementByLocalAdd ... ElementByConstantMul) */                                                \
    VM_ELEMENT_ARITHMETIC(X, ElementByLocal)                                                               \
    VM_ELEMENT_ARITHMETIC(X, LocalElementByLocal)                                                          \
    VM_ELEMENT_ARITHMETIC(X, ElementByIndex2D)                                                             \
    VM_ELEMENT_ARITHMETIC(X, LocalElementByIndex2D)                                                        \
    VM_ELEMENT_ARITHMETIC(X, ElementByStackIndex)                                                          \
    VM_ELEMENT_ARITHMETIC(X, ElementByConstant)                                                            \
    X(BorrowLocal)         /* push.v local as the first argument of the call at record x.i */         \
    X(BorrowSelf)          /* push.v of self's variable likewise */                                 \
    X(AppendPush)  /* push.v of a list's variable (push handler k) whose text the add at x.i appends to */ \
    X(AppendStore) /* add.s.v or add.v.v (handler slot) of that text, stored at once into the variable */ \
    /* LocalImmAdd/SubToLocal of its own local (k, negated for sub), then b to the LocalImm comparison */  \
    /* branch of that local at record x.i, one handler per comparison (slt ... sgt, in opcode order) */    \
    VM_EACH_COMPARISON(X, CountImmBranch)                                                                  \
    /* the same, to a Locals comparison branch whose first local it is */                                  \
    VM_EACH_COMPARISON(X, CountLocalsBranch)                                                               \
    /* LocalsAdd/SubToLocal of its own local (the step local's slot in k), then the same jump and test */  \
    VM_EACH_COMPARISON(X, StepImmBranch)                                                                   \
    VM_EACH_COMPARISON(X, StepLocalsBranch)                                                                \
    VM_EACH_COMPARISON(X, StepBackImmBranch)                                                               \
    VM_EACH_COMPARISON(X, StepBackLocalsBranch)                                                            \
    X(PopLocalReal) /* pop.v.v local (a real stored at once; anything else as PopLocal) */               \
    X(PopLocalInt)  /* pop.v.i local */

#define VM_FAST_OPS(SIMPLE, SITE, BINARY, BINARY_BRANCH, CONVERSION, IMMEDIATE, IMMEDIATE_BRANCH,           \
                    IMMEDIATE_STORE, LOCALS, LOCALS_BRANCH, LOCALS_STORE, COMPOUND, INT_IMMEDIATE)          \
    VM_FAST_SIMPLE(SIMPLE)                                                                                 \
    VM_VARIABLE_SITES(SITE)                                                                                \
    VM_ALL_BINARY_OPS(VM_NUMBER_TYPE_PAIRS, BINARY)                                                        \
    VM_COMPARISON_OPS(VM_NUMBER_TYPE_PAIRS, BINARY_BRANCH)                                                 \
    VM_FAST_CONVERSIONS(CONVERSION)                                                                        \
    VM_OPERAND_SOURCES(IMMEDIATE, VM_ALL_BINARY_OPS)                                                       \
    VM_OPERAND_SOURCES(IMMEDIATE_BRANCH, VM_COMPARISON_OPS)                                                \
    VM_TARGETS_AND_SOURCES(IMMEDIATE_STORE, VM_ARITHMETIC_OPS)                                             \
    VM_ALL_BINARY_OPS(LOCALS, Locals)                                                                      \
    VM_COMPARISON_OPS(LOCALS_BRANCH, Locals)                                                               \
    VM_ALL_BINARY_OPS(LOCALS, Args)                                                                        \
    VM_COMPARISON_OPS(LOCALS_BRANCH, Args)                                                                 \
    VM_ARITHMETIC_OPS(LOCALS_STORE, Local, Locals)                                                         \
    VM_ARITHMETIC_OPS(LOCALS_STORE, Self, Locals)                                                          \
    VM_STORE_TARGETS(COMPOUND, VM_COMPOUND_OPS)                                                            \
    VM_FIELD_COMPOUND_OPS(COMPOUND, Field)                                                                 \
    VM_MORE_COMPOUND_TARGETS(COMPOUND, VM_FIELD_COMPOUND_OPS)                                              \
    VM_ALL_BINARY_OPS(INT_IMMEDIATE, Int)                                                                  \
    VM_COMPARISON_OPS(INT_IMMEDIATE, IntBranch)                                                            \
    VM_ALL_BINARY_OPS(INT_IMMEDIATE, LocalInt)                                                             \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalIntBranch)                                                       \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalMod)                                                             \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalModBranch)                                                       \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalRem)                                                             \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalRemBranch)                                                       \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalAnd)                                                             \
    VM_COMPARISON_OPS(INT_IMMEDIATE, LocalAndBranch)                                                       \
    VM_ARITHMETIC_OPS(INT_IMMEDIATE, AddLocal)                                                             \
    VM_ARITHMETIC_OPS(INT_IMMEDIATE, SubLocal)                                                             \
    VM_ARITHMETIC_OPS(INT_IMMEDIATE, AndLocal)                                                             \
    VM_ARITHMETIC_OPS(INT_IMMEDIATE, OrLocal)                                                              \
    VM_ARITHMETIC_OPS(INT_IMMEDIATE, XorLocal)

enum FastOp : uint16_t {
#define VM_ENUM_SIMPLE(NAME) kOp##NAME,
#define VM_ENUM_SITE(NAME) kOpPush##NAME, kOpPop##NAME,
#define VM_ENUM_BINARY(NAME, OPCODE, RIGHT, LEFT) kOp##NAME##_##RIGHT##_##LEFT,
#define VM_ENUM_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) kOp##NAME##Branch_##RIGHT##_##LEFT,
#define VM_ENUM_CONVERSION(FROM, TO) kOpConv_##FROM##_##TO,
#define VM_ENUM_IMMEDIATE(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME,
#define VM_ENUM_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME##Branch,
#define VM_ENUM_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE) kOp##SOURCE##Imm##NAME##To##TARGET,
#define VM_ENUM_LOCALS(A, NAME, OPCODE) kOp##A##NAME,
#define VM_ENUM_LOCALS_BRANCH(A, NAME, OPCODE) kOp##A##NAME##Branch,
#define VM_ENUM_LOCALS_STORE(TARGET, A, NAME, OPCODE) kOpLocals##NAME##To##TARGET,
#define VM_ENUM_COMPOUND(TARGET, TYPE, NAME, OPCODE) kOp##NAME##_##TYPE##To##TARGET,
#define VM_ENUM_INT_IMMEDIATE(A, NAME, OPCODE) kOp##A##Imm##NAME,
    VM_FAST_OPS(VM_ENUM_SIMPLE, VM_ENUM_SITE, VM_ENUM_BINARY, VM_ENUM_BINARY_BRANCH, VM_ENUM_CONVERSION,
                VM_ENUM_IMMEDIATE, VM_ENUM_IMMEDIATE_BRANCH, VM_ENUM_IMMEDIATE_STORE, VM_ENUM_LOCALS,
                VM_ENUM_LOCALS_BRANCH, VM_ENUM_LOCALS_STORE, VM_ENUM_COMPOUND, VM_ENUM_INT_IMMEDIATE)
#undef VM_ENUM_SIMPLE
#undef VM_ENUM_SITE
#undef VM_ENUM_BINARY
#undef VM_ENUM_BINARY_BRANCH
#undef VM_ENUM_CONVERSION
#undef VM_ENUM_IMMEDIATE
#undef VM_ENUM_IMMEDIATE_BRANCH
#undef VM_ENUM_IMMEDIATE_STORE
#undef VM_ENUM_LOCALS
#undef VM_ENUM_LOCALS_BRANCH
#undef VM_ENUM_LOCALS_STORE
#undef VM_ENUM_COMPOUND
#undef VM_ENUM_INT_IMMEDIATE
        kOpCount
};

// Every handler's name once, through VM_EACH_NAME(NAME) (L_##NAME is its label in the loop).
#define VM_NAME_SIMPLE(NAME) VM_EACH_NAME(NAME)
#define VM_NAME_SITE(NAME) VM_EACH_NAME(Push##NAME) VM_EACH_NAME(Pop##NAME)
#define VM_NAME_BINARY(NAME, OPCODE, RIGHT, LEFT) VM_EACH_NAME(NAME##_##RIGHT##_##LEFT)
#define VM_NAME_BINARY_BRANCH(NAME, OPCODE, RIGHT, LEFT) VM_EACH_NAME(NAME##Branch_##RIGHT##_##LEFT)
#define VM_NAME_CONVERSION(FROM, TO) VM_EACH_NAME(Conv_##FROM##_##TO)
#define VM_NAME_IMMEDIATE(SOURCE, NAME, OPCODE) VM_EACH_NAME(SOURCE##Imm##NAME)
#define VM_NAME_IMMEDIATE_BRANCH(SOURCE, NAME, OPCODE) VM_EACH_NAME(SOURCE##Imm##NAME##Branch)
#define VM_NAME_IMMEDIATE_STORE(TARGET, SOURCE, NAME, OPCODE) VM_EACH_NAME(SOURCE##Imm##NAME##To##TARGET)
#define VM_NAME_LOCALS(A, NAME, OPCODE) VM_EACH_NAME(A##NAME)
#define VM_NAME_LOCALS_BRANCH(A, NAME, OPCODE) VM_EACH_NAME(A##NAME##Branch)
#define VM_NAME_LOCALS_STORE(TARGET, A, NAME, OPCODE) VM_EACH_NAME(Locals##NAME##To##TARGET)
#define VM_NAME_COMPOUND(TARGET, TYPE, NAME, OPCODE) VM_EACH_NAME(NAME##_##TYPE##To##TARGET)
#define VM_NAME_INT_IMMEDIATE(A, NAME, OPCODE) VM_EACH_NAME(A##Imm##NAME)
#define VM_EACH_HANDLER()                                                                                  \
    VM_FAST_OPS(VM_NAME_SIMPLE, VM_NAME_SITE, VM_NAME_BINARY, VM_NAME_BINARY_BRANCH, VM_NAME_CONVERSION,   \
                VM_NAME_IMMEDIATE, VM_NAME_IMMEDIATE_BRANCH, VM_NAME_IMMEDIATE_STORE, VM_NAME_LOCALS,       \
                VM_NAME_LOCALS_BRANCH, VM_NAME_LOCALS_STORE, VM_NAME_COMPOUND, VM_NAME_INT_IMMEDIATE)

struct Insn {
    uint16_t op;    // FastOp
    uint8_t words;  // the instruction's length in words, operand included; of a fused run, the run's
    uint8_t flags;  // variable sites: kSiteIndexed
    uint32_t word;  // the instruction word
    int32_t a;      // variable id; a branch's target, in records from this one; argument number; script
                    // or function
    uint32_t cache; // variable sites: index of the site's slot cache; counting loops (CountImmBranch ...):
                    // the whole number the counter is compared with, or the slot of that local
    int32_t slot;   // variable sites: the slot in the frame of a local variable of that id; built-in
                    // variable sites of self or other: the field read (push) or written (pop) in place
                    // (FieldCode, StoreCode)
    int32_t k;      // fused runs: the whole number of the right operand; calls: the byte offset of the
                    // instruction after the call; built-in variable pops of self or other: the byte
                    // offset of the flag their store sets (BuiltInVariable::storeMark)
    union {
        int32_t i;  // push: the item; calls: the argument count; fused runs: the
                    // record (counted from this one) of the store, the branch, or the second operand
        int64_t l;
    } x;
    const void* next; // the loop's entry of the next record's handler that first steps past this record
                      // (LoopEntry of the handler of record words on, by words): every handler's way on
                      // to the next record is one indirect jump through it
};

// The loop's entries of each handler (LoopEntries(), kEntriesPerOp a handler, in FastOp order): 0 to 13
// step 1 to 14 records before running it, 14 steps by the record's words, 15 runs it where it is. Fused
// runs of up to 14 words (an element by two locals, worked into the value beneath, is 14) step by a
// constant of the entry's code.
constexpr int kEntriesPerOp = 16;
constexpr int kSteppedEntries = kEntriesPerOp - 2;
const void* const* LoopEntries();
// GCC on x86-64 keeps the loop's position in the code in VM_IP_REGISTER, and each handler's steps of 2 to
// kSteppedEntries records can then be code of their own: "add the step to the position; jump to the
// handler", in kStepEntryBytes each (vm_loop.cpp). Elsewhere, and where the compiled loop does not allow
// them, those steps are shared by all handlers and find the handler by the record's op. Defining
// VM_PORTABLE_STEPS (the build option RUNNER_VM_PORTABLE_STEPS) builds the loop as other compilers and
// targets do.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(VM_PORTABLE_STEPS)
#define VM_STEP_STUBS 1
#define VM_IP_REGISTER "r12"
constexpr int kStepEntryBytes = 16;
#else
#define VM_STEP_STUBS 0
#endif
// Whether the steps of 2 to kSteppedEntries records are each handler's own.
bool LoopStepsOfTheirOwn();
// The entry that steps a record of that many words on to a record of that handler.
inline const void* LoopEntry(int op, int words) {
    return LoopEntries()[op * kEntriesPerOp + (words >= 1 && words <= kSteppedEntries ? words - 1 : kSteppedEntries)];
}
// What each op's handler is made of (LoopHandlerCodes(), in FastOp order): the family of VM_FAST_OPS that
// makes it with the arguments that reach its code, and the opcode as its code takes it. Handlers with
// equal definitions and operations are the same code, which a compiler may build once. A handler written
// out in the loop (the simple ones and the variable sites) has no definition here: its code is its text.
struct HandlerCode {
    const char* definition; // the family and its arguments but the name and opcode; null when written out
    int operation;
};
const HandlerCode* LoopHandlerCodes();

// Variable sites whose index is on the stack (a stack site always has its instance code there).
constexpr uint8_t kSiteIndexed = 1;
// Sites of a user variable with -6 in the field whose name is declared global (when the form was made:
// a change of the names declared global makes every decoded form anew), read or written in the
// globals, whether at the site or as a fused run's operand or target; without it, self's variable.
constexpr uint8_t kSiteScoped = 2;

// A field of the instance as a site keeps it: the byte offset times 2, plus 1 for an Int32 field; -1
// for no field.
inline int32_t FieldCodeOf(BuiltInField field, int offset) {
    if (field == BuiltInField::None) return -1;
    return offset * 2 + (field == BuiltInField::Int32 ? 1 : 0);
}

// The field a built-in variable's getter reads in place (BuiltInField), coded; -1 when it reads none.
inline int32_t FieldCode(int id) {
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(id);
    return entry != nullptr ? FieldCodeOf(entry->field, entry->fieldOffset) : -1;
}

// The field a built-in variable's setter writes in place, coded likewise.
inline int32_t StoreCode(int id) {
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(id);
    return entry != nullptr ? FieldCodeOf(entry->store, entry->storeOffset) : -1;
}

// Where a variable site found its variable last time: the position in lists of that layout.
struct SlotCache {
    const VariableLayout* layout = nullptr;
    int position = 0;
};

// The jump table of a switch: the targets of the whole-number labels first..first + size - 1, and
// where the chain goes on when none matches (also the target of a number no label has), each in records
// from the switch's record. The switch's record keeps first in k, the size in slot, where the chain goes
// on in a, and the targets' address in x.l.
struct JumpTable {
    int first;
    int fallThrough;
    std::vector<int> targets;
};

struct Decoded {
    const uint8_t* data;
    int size;
    uint64_t epoch; // DecodeEpoch() when made
    bool verified;
    int reserve;    // verified: the bytes of stack room its deepest instruction needs
    int localCount; // the frame slots of the locals the code names
    // The code begins by copying arguments 0 to entryCopies - 1 into the locals of slots 0 to
    // entryCopies - 1, one after the other (var a, b; a = argument0; b = argument1;), in records that
    // end before record entryAfter.
    int entryCopies;
    int entryAfter;
    std::vector<Insn> insns; // record i describes the word at byte offset 4 * i
    std::vector<SlotCache> caches;
    std::vector<JumpTable> tables;
};

// Left extern: private to the machine (this header is its own), checked before every decoded run.
extern uint32_t g_codeEpoch;
// Changes whenever code bytes are written in place (VM_CodeChanged), a built-in variable is registered
// or the names declared global change: every decoded form made before is made again before it runs next.
inline uint64_t DecodeEpoch() {
    return static_cast<uint64_t>(g_codeEpoch) + static_cast<uint64_t>(Variable_BuiltIn_Version()) +
           static_cast<uint64_t>(Variable_GlobalNames_Version());
}

// Left extern: private to the machine (this header is its own), read by every script call and return.
extern uint64_t g_formsChanged;
// Counts a decoded form made or freed, or code changed in place: a form saved while it stays the same
// is still its code's form and current (the running code's form is made again before the loop goes
// on whenever the epoch changes).
inline void FormsChanged() {
    ++g_formsChanged;
}

// Makes the decoded form of the buffer, in place of one that no longer fits it.
Decoded* Decoded_Make(const VMBuffer* buffer);
void Decoded_Free(Decoded* decoded);

} // namespace vm
