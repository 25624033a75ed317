#include "script/compiler/generate.h"

#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>

#include "core/convert.h"
#include "script/compiler/code_kinds.h"
#include "script/variables.h"
#include "script/vm/vm_buffer.h"
#include "script/vm/vm_format.h"
#include "script/vm/vm_handles.h"

namespace {

constexpr int kIndexRowStride = 32000;

int TypeSize(int type) {
    return VM_StackItemSize(type);
}

// The wider of two operand types (by stack size), the left one when they are the same size.
int Wider(int left, int right) {
    return TypeSize(right) > TypeSize(left) ? right : left;
}

bool IsComparison(int op) {
    return op == TOKEN_ASSIGN || op == TOKEN_EQUAL || op == TOKEN_LESS || op == TOKEN_LESS_EQUAL ||
           op == TOKEN_NOT_EQUAL || op == TOKEN_GREATER_EQUAL || op == TOKEN_GREATER;
}

int BinaryOpcode(int op) {
    switch (op) {
    case TOKEN_ASSIGN:
    case TOKEN_EQUAL:
        return OP_SEQ;
    case TOKEN_LESS:
        return OP_SLT;
    case TOKEN_LESS_EQUAL:
        return OP_SLE;
    case TOKEN_NOT_EQUAL:
        return OP_SNE;
    case TOKEN_GREATER_EQUAL:
        return OP_SGE;
    case TOKEN_GREATER:
        return OP_SGT;
    case TOKEN_AND:
    case TOKEN_BIT_AND:
    case TOKEN_ASSIGN_AND:
        return OP_AND;
    case TOKEN_OR:
    case TOKEN_BIT_OR:
    case TOKEN_ASSIGN_OR:
        return OP_OR;
    case TOKEN_XOR:
    case TOKEN_BIT_XOR:
    case TOKEN_ASSIGN_XOR:
        return OP_XOR;
    case TOKEN_PLUS:
    case TOKEN_ASSIGN_PLUS:
        return OP_ADD;
    case TOKEN_MINUS:
    case TOKEN_ASSIGN_MINUS:
        return OP_SUB;
    case TOKEN_TIMES:
    case TOKEN_ASSIGN_TIMES:
        return OP_MUL;
    case TOKEN_DIVIDE:
    case TOKEN_ASSIGN_DIVIDE:
        return OP_DIV;
    case TOKEN_DIV:
        return OP_REM;
    case TOKEN_MOD:
        return OP_MOD;
    case TOKEN_SHIFT_LEFT:
        return OP_SHL;
    default: // TOKEN_SHIFT_RIGHT
        return OP_SHR;
    }
}

bool FitsField(int64_t value) {
    return value >= -32768 && value <= 32767;
}

// The run-time table's handle for a string constant. Texts the compiler added before are found again,
// so compiling the same text over and over (a watch, code built while the game runs) adds nothing new;
// a handle is reused only while the table still holds that text there (it is emptied when a data file
// loads).
uint32_t StringConstantHandle(const char* text) {
    static std::unordered_map<std::string, uint32_t> added;
    if (!text) return VMString_AddConstant(nullptr);
    auto [it, isNew] = added.try_emplace(text, 0);
    const char* held = nullptr;
    if (!isNew && VMString_GetConstant(it->second, &held) && held && std::strcmp(held, text) == 0)
        return it->second;
    it->second = VMString_AddConstant(text);
    return it->second;
}

} // namespace

// Where a variable lives, as the generator reaches it: an instance code in the instruction's field, or
// an instance (and indices) pushed on the stack first.
struct Code_Generator::VariableAccess {
    const CodeTreeNode* node;
    int id;
    bool inField;         // instance code in the field (reference bit 29)
    int field;            // the field's value
    bool instanceId;      // 100000 added to the field (bit 30)
    bool pushConstant;    // a constant instance that does not fit the field: push.i of the whole code
    int constantInstance; // that code
    int indexCount;       // 0, 1 or 2 indices on the stack

    uint32_t Reference() const {
        uint32_t reference = static_cast<uint32_t>(id) & kVarRefIdMask;
        if (inField) reference |= kVarRefFieldInstance;
        if (instanceId) reference |= kVarRefInstanceId;
        if (indexCount == 0) reference |= kVarRefNoIndex;
        return reference;
    }
    // Items (.i) the access pushes before the variable word.
    int StackItems() const { return inField ? 0 : 1 + (indexCount > 0 ? 1 : 0); }
};

Code_Generator::Code_Generator() = default;

Code_Generator::~Code_Generator() {
    delete m_code;
    delete m_debug;
}

void Code_Generator::Init(int codeCapacity, int debugCapacity) {
    delete m_code;
    delete m_debug;
    m_code = new VMWriteBuffer(codeCapacity);
    m_debug = new VMWriteBuffer(debugCapacity);
    m_types.clear();
    m_continue = nullptr;
    m_break = nullptr;
    m_switchTypes.clear();
    m_texts.clear();
    m_globals.clear();
}

void Code_Generator::Code_Generate_Program(const CodeTreeNode* root) {
    if (!root || root->kind != NODE_BLOCK) return;
    for (int c = 0; c < root->childCount; ++c)
        Statement(&root->children[c]);
}

void Code_Generator::Code_Generate_Expression(const CodeTreeNode* root) {
    Expression(root);
    ConvertTo(VT_VARIABLE);
}

void Code_Generator::Code_Generate_Finish(VMBuffer** code, VMBuffer** debug) {
    for (const auto& [operand, text] : m_texts)
        m_code->PatchWord(operand, StringConstantHandle(text));
    m_texts.clear();
    for (int id : m_globals)
        Variable_DeclareGlobal(id);
    m_globals.clear();
    *code = m_code;
    *debug = m_debug;
    m_code = nullptr;
    m_debug = nullptr;
}

// ---- Types, words and labels

int Code_Generator::PopType() {
    if (m_types.empty()) return VT_ERROR;
    const int type = m_types.back();
    m_types.pop_back();
    return type;
}

void Code_Generator::ConvertTo(int type) {
    const int from = PopType();
    if (from != type) Word(OP_CONV, from, type, 0);
    PushType(type);
}

void Code_Generator::Word(int opcode, int type1, int type2, int field) {
    m_code->Emit({VM_Encode(opcode, type1, type2, field)});
}

void Code_Generator::Word(int opcode, int type1, int type2, int field, uint32_t operand) {
    m_code->Emit({VM_Encode(opcode, type1, type2, field), operand});
}

// push.i with a 4-byte operand.
void Code_Generator::PushInt(int value) {
    Word(OP_PUSH, VT_INT, 0, 0, static_cast<uint32_t>(value));
    PushType(VT_INT);
}

void Code_Generator::Branch(int opcode, CodeLabel& label) {
    const int here = m_code->size;
    if (label.placed) {
        m_code->Emit({VM_EncodeBranch(opcode, (label.position - here) / 4)});
    } else {
        m_code->Emit({VM_EncodeBranch(opcode, 0)});
        label.fixups.push_back(here);
    }
}

void Code_Generator::Place(CodeLabel& label) {
    label.position = m_code->size;
    label.placed = true;
    for (int at : label.fixups) {
        const uint32_t word = m_code->ReadWord(at);
        m_code->PatchWord(at, VM_EncodeBranch(VM_Opcode(word), (label.position - at) / 4));
    }
    label.fixups.clear();
}

void Code_Generator::SetTarget(CodeLabel*& role, CodeLabel& label) {
    label.outer = role;
    label.switchDepth = static_cast<int>(m_switchTypes.size());
    role = &label;
}

// ---- Statements

void Code_Generator::Statement(const CodeTreeNode* node) {
    switch (node->kind) {
    case NODE_BLOCK:
        for (int c = 0; c < node->childCount; ++c)
            Statement(&node->children[c]);
        break;
    case NODE_CALL:
        Call(node);
        Word(OP_POPZ, PopType(), 0, 0);
        break;
    case NODE_ASSIGN:
        Assignment(node);
        break;
    case NODE_IF:
        IfStatement(node);
        break;
    case NODE_WHILE:
    case NODE_DO:
    case NODE_FOR:
        Loop(node);
        break;
    case NODE_REPEAT:
        Repeat(node);
        break;
    case NODE_WITH:
        With(node);
        break;
    case NODE_SWITCH:
        Switch(node);
        break;
    case NODE_EXIT:
        Word(OP_EXIT, VT_INT, 0, 0);
        break;
    case NODE_RETURN:
        Expression(&node->children[0]);
        ConvertTo(VT_VARIABLE);
        Word(OP_RET, PopType(), 0, 0);
        break;
    case NODE_BREAK:
        Break();
        break;
    case NODE_CONTINUE:
        Continue();
        break;
    case NODE_GLOBALVAR:
        // Declared while compiling (once the code is finished).
        for (int c = 0; c < node->childCount; ++c)
            m_globals.push_back(node->children[c].op);
        break;
    default:
        // var, case and default outside a switch, and the empty statement generate nothing.
        break;
    }
}

void Code_Generator::Assignment(const CodeTreeNode* node) {
    const VariableAccess target = Access(&node->children[0]);
    const CodeTreeNode* value = &node->children[1];
    const int op = node->op;
    if (op == TOKEN_ASSIGN) {
        Expression(value);
        StoreVariable(target, m_types.back());
        return;
    }

    // Compound assignment: the instance and indices are worked out once and serve both the read and
    // the store.
    const int items = target.StackItems();
    if (items > 0) {
        PushAccessOperands(target);
        Word(OP_DUP, VT_INT, 0, items - 1);
        for (int i = 0; i < items; ++i)
            PushType(VT_INT);
    }
    Word(OP_PUSH, VT_VARIABLE, 0, target.inField ? target.field : 0, target.Reference());
    for (int i = 0; i < items; ++i)
        PopType();
    PushType(VT_VARIABLE);

    Expression(value);
    if (op == TOKEN_ASSIGN_OR || op == TOKEN_ASSIGN_AND || op == TOKEN_ASSIGN_XOR) {
        if (m_types.back() != VT_LONG) ConvertTo(VT_INT);
    } else if (m_types.back() == VT_BOOL) {
        ConvertTo(VT_INT);
    }
    const int valueType = PopType();
    PopType(); // the variable's value
    Word(BinaryOpcode(op), valueType, VT_VARIABLE, 0);
    PushType(VT_VARIABLE);

    if (items > 0) {
        // pop.i takes the value first, then the index and instance left below it.
        Word(OP_POP, VT_INT, VT_VARIABLE, 0, target.Reference());
        PopType();
        for (int i = 0; i < items; ++i)
            PopType();
    } else {
        StoreVariable(target, VT_VARIABLE);
    }
}

void Code_Generator::IfStatement(const CodeTreeNode* node) {
    Expression(&node->children[0]);
    ConvertTo(VT_BOOL);
    PopType();
    CodeLabel otherwise("Else");
    Branch(OP_BF, otherwise);
    Statement(&node->children[1]);
    if (node->childCount > 2) {
        CodeLabel end("End");
        Branch(OP_B, end);
        Place(otherwise);
        Statement(&node->children[2]);
        Place(end);
    } else {
        Place(otherwise);
    }
}

void Code_Generator::Loop(const CodeTreeNode* node) {
    CodeLabel start("Start");
    CodeLabel repeat("Repeat");
    CodeLabel test; // the do loop's condition
    CodeLabel end("End");
    auto condition = [&](const CodeTreeNode* expression, CodeLabel& onFalse) {
        Expression(expression);
        ConvertTo(VT_BOOL);
        PopType();
        Branch(OP_BF, onFalse);
    };

    switch (node->kind) {
    case NODE_WHILE:
        Place(repeat);
        condition(&node->children[0], end);
        SetTarget(m_continue, repeat);
        SetTarget(m_break, end);
        Statement(&node->children[1]);
        Branch(OP_B, repeat);
        break;
    case NODE_DO:
        Place(repeat);
        SetTarget(m_continue, test);
        SetTarget(m_break, end);
        Statement(&node->children[0]);
        Place(test);
        condition(&node->children[1], repeat);
        break;
    default: // NODE_FOR: initial statement, condition, step statement, body
        Statement(&node->children[0]);
        Place(start);
        condition(&node->children[1], end);
        SetTarget(m_continue, repeat);
        SetTarget(m_break, end);
        Statement(&node->children[3]);
        Place(repeat);
        Statement(&node->children[2]);
        Branch(OP_B, start);
        break;
    }
    Restore(m_continue, node->kind == NODE_DO ? test : repeat);
    Restore(m_break, end);
    Place(end);
}

void Code_Generator::Repeat(const CodeTreeNode* node) {
    // The count stays on the stack while the loop runs and is counted down after each round.
    Expression(&node->children[0]);
    ConvertTo(VT_INT);
    Word(OP_DUP, VT_INT, 0, 0);
    PushType(VT_INT);
    PushInt(0);
    Word(OP_SLE, VT_INT, VT_INT, 0);
    PopType();
    PopType();
    CodeLabel end("End");
    CodeLabel repeat("Repeat");
    CodeLabel step;
    Branch(OP_BT, end);
    Place(repeat);
    SetTarget(m_continue, step);
    SetTarget(m_break, end);
    Statement(&node->children[1]);
    Restore(m_continue, step);
    Restore(m_break, end);
    Place(step);
    PushInt(1);
    Word(OP_SUB, VT_INT, VT_INT, 0);
    PopType();
    Word(OP_DUP, VT_INT, 0, 0);
    Word(OP_CONV, VT_INT, VT_BOOL, 0);
    Branch(OP_BT, repeat);
    Place(end);
    Word(OP_POPZ, VT_INT, 0, 0);
    PopType();
}

void Code_Generator::With(const CodeTreeNode* node) {
    Expression(&node->children[0]);
    ConvertTo(VT_INT);
    PopType();
    CodeLabel popEnv("PopEnv");
    CodeLabel start("Start");
    CodeLabel end("End");
    CodeLabel cleanUp("CleanUpEnd");
    Branch(OP_PUSHENV, popEnv);
    Place(start);
    SetTarget(m_continue, popEnv);
    SetTarget(m_break, end);
    Statement(&node->children[1]);
    Restore(m_continue, popEnv);
    Restore(m_break, end);
    Place(popEnv);
    Branch(OP_POPENV, start);
    if (end.uses > 0) {
        // A break leaves through a popenv that ends the block without visiting further instances.
        Branch(OP_B, cleanUp);
        Place(end);
        m_code->Emit({kPopenvLeaveWord});
        Place(cleanUp);
    } else {
        Place(end);
    }
}

void Code_Generator::Switch(const CodeTreeNode* node) {
    Expression(&node->children[0]);
    const int type = m_types.back();
    CodeLabel end("End");
    SetTarget(m_break, end);
    m_switchTypes.push_back(type);

    // The tests, in the order written: each case compares a copy of the value and jumps to its clause;
    // a default jumps at once.
    std::deque<CodeLabel> clauses;
    for (int c = 1; c < node->childCount; ++c) {
        const CodeTreeNode* child = &node->children[c];
        if (child->kind == NODE_CASE || child->kind == NODE_CASE_CONSTANT) {
            Word(OP_DUP, type, 0, 0);
            PushType(type);
            Expression(&child->children[0]);
            const int caseType = PopType();
            PopType();
            Word(OP_SEQ, caseType, type, 0);
            clauses.push_back(CodeLabel("Switch Clause"));
            Branch(OP_BT, clauses.back());
        } else if (child->kind == NODE_DEFAULT) {
            clauses.push_back(CodeLabel("Switch Default"));
            Branch(OP_B, clauses.back());
        }
    }
    Branch(OP_B, end);

    // The clauses: the labels met so far are placed before the next statement.
    size_t counted = 0;
    size_t placed = 0;
    for (int c = 1; c < node->childCount; ++c) {
        const CodeTreeNode* child = &node->children[c];
        if (child->kind == NODE_CASE || child->kind == NODE_CASE_CONSTANT || child->kind == NODE_DEFAULT) {
            ++counted;
            continue;
        }
        for (; placed < counted; ++placed)
            Place(clauses[placed]);
        Statement(child);
    }
    for (; placed < clauses.size(); ++placed)
        Place(clauses[placed]);

    m_switchTypes.pop_back();
    Restore(m_break, end);
    Place(end);
    Word(OP_POPZ, PopType(), 0, 0);
}

void Code_Generator::Break() {
    if (!m_break) return;
    ++m_break->uses;
    Branch(OP_B, *m_break);
}

void Code_Generator::Continue() {
    if (!m_continue) return;
    // The value of every switch being left stays on the stack otherwise.
    for (size_t s = m_switchTypes.size(); s > static_cast<size_t>(m_continue->switchDepth); --s)
        Word(OP_POPZ, m_switchTypes[s - 1], 0, 0);
    Branch(OP_B, *m_continue);
}

// ---- Variables

Code_Generator::VariableAccess Code_Generator::Access(const CodeTreeNode* node) {
    VariableAccess access{};
    access.node = node;
    access.id = node->op;
    if (node->kind == NODE_VARIABLE_FIXED) {
        const int64_t code = node->instance;
        const bool isId = code >= kFirstInstanceId;
        const int64_t field = isId ? code - kFirstInstanceId : code;
        if (FitsField(field)) {
            access.inField = true;
            access.field = static_cast<int>(field);
            access.instanceId = isId;
        } else {
            // The field holds 16 bits: a larger code goes on the stack whole.
            access.pushConstant = true;
            access.constantInstance = node->instance;
        }
        return access;
    }
    access.indexCount = node->childCount - 1;
    return access;
}

void Code_Generator::PushAccessOperands(const VariableAccess& access) {
    if (access.inField) return;
    if (access.pushConstant) {
        PushInt(access.constantInstance);
        return;
    }
    const CodeTreeNode* node = access.node;
    Expression(&node->children[0]);
    ConvertTo(VT_INT);
    if (access.indexCount == 0) return;
    Expression(&node->children[1]);
    ConvertTo(VT_INT);
    if (access.indexCount == 2) {
        PushInt(kIndexRowStride);
        Word(OP_MUL, VT_INT, VT_INT, 0);
        PopType();
        Expression(&node->children[2]);
        ConvertTo(VT_INT);
        Word(OP_ADD, VT_INT, VT_INT, 0);
        PopType();
    }
}

void Code_Generator::ReadVariable(const VariableAccess& access) {
    PushAccessOperands(access);
    Word(OP_PUSH, VT_VARIABLE, 0, access.inField ? access.field : 0, access.Reference());
    for (int i = access.StackItems(); i > 0; --i)
        PopType();
    PushType(VT_VARIABLE);
}

// The value of type valueType is on top of the stack.
void Code_Generator::StoreVariable(const VariableAccess& access, int valueType) {
    PushAccessOperands(access);
    Word(OP_POP, VT_VARIABLE, valueType, access.inField ? access.field : 0, access.Reference());
    for (int i = access.StackItems(); i > 0; --i)
        PopType();
    PopType();
}

// ---- Expressions

void Code_Generator::Expression(const CodeTreeNode* node) {
    switch (node->kind) {
    case NODE_CONSTANT:
        Constant(node->value);
        break;
    case NODE_VARIABLE:
    case NODE_VARIABLE_FIXED:
        ReadVariable(Access(node));
        break;
    case NODE_CALL:
        Call(node);
        break;
    case NODE_UNARY:
        Unary(node);
        break;
    case NODE_BINARY:
        Binary(node);
        break;
    default:
        // The parser makes no other expression node; push a real 0 so the stack stays balanced.
        Word(OP_PUSH, VT_ERROR, 0, 0);
        PushType(VT_INT);
        break;
    }
}

void Code_Generator::Constant(const ScriptValue& value) {
    if (value.IsString()) {
        m_texts.emplace_back(m_code->size + 4, value.str);
        Word(OP_PUSH, VT_STRING, 0, 0, 0);
        PushType(VT_STRING);
        return;
    }
    const double d = Value_Real(&value);
    const int64_t whole = X86_DoubleToInt64(d);
    if (static_cast<double>(whole) != d) {
        Word(OP_PUSH, VT_DOUBLE, 0, 0);
        m_code->EmitDouble(d);
        PushType(VT_DOUBLE);
    } else if (FitsField(whole)) {
        Word(OP_PUSH, VT_ERROR, 0, static_cast<int>(whole));
        PushType(VT_INT);
    } else if (whole >= INT32_MIN && whole <= INT32_MAX) {
        PushInt(static_cast<int>(whole));
    } else {
        Word(OP_PUSH, VT_LONG, 0, 0);
        m_code->EmitLong(whole);
        PushType(VT_LONG);
    }
}

void Code_Generator::Call(const CodeTreeNode* node) {
    // Arguments from the last to the first, so the first ends on top.
    for (int c = node->childCount - 1; c >= 0; --c) {
        Expression(&node->children[c]);
        ConvertTo(VT_VARIABLE);
    }
    Word(OP_CALL, VT_INT, 0, node->childCount, static_cast<uint32_t>(node->op));
    for (int c = 0; c < node->childCount; ++c)
        PopType();
    PushType(VT_VARIABLE);
}

void Code_Generator::Unary(const CodeTreeNode* node) {
    Expression(&node->children[0]);
    const int type = m_types.back();
    switch (node->op) {
    case TOKEN_NOT:
        if (type != VT_STRING) ConvertTo(VT_BOOL);
        Word(OP_NOT, m_types.back(), 0, 0);
        break;
    case TOKEN_MINUS:
        // A negated boolean word would read back as true: negate it as an integer.
        if (type == VT_BOOL) ConvertTo(VT_INT);
        Word(OP_NEG, m_types.back(), 0, 0);
        break;
    case TOKEN_BIT_NOT:
        if (type == VT_DOUBLE || type == VT_FLOAT || type == VT_VARIABLE) ConvertTo(VT_INT);
        Word(OP_NOT, m_types.back(), 0, 0);
        break;
    default: // unary +
        break;
    }
}

void Code_Generator::Binary(const CodeTreeNode* node) {
    const int op = node->op;
    auto adjust = [&]() {
        switch (op) {
        case TOKEN_AND:
        case TOKEN_OR:
        case TOKEN_XOR:
            ConvertTo(VT_BOOL);
            break;
        case TOKEN_PLUS:
        case TOKEN_MINUS:
        case TOKEN_TIMES:
        case TOKEN_DIVIDE:
        case TOKEN_DIV:
        case TOKEN_MOD:
            if (m_types.back() == VT_BOOL) ConvertTo(VT_INT);
            break;
        case TOKEN_BIT_OR:
        case TOKEN_BIT_AND:
        case TOKEN_BIT_XOR:
        case TOKEN_SHIFT_LEFT:
        case TOKEN_SHIFT_RIGHT:
            ConvertTo(VT_INT);
            break;
        default: // comparisons take their operands as they are
            break;
        }
    };
    Expression(&node->children[0]);
    adjust();
    Expression(&node->children[1]);
    adjust();
    const int right = PopType();
    const int left = PopType();
    Word(BinaryOpcode(op), right, left, 0);
    PushType(IsComparison(op) ? VT_BOOL : Wider(left, right));
}
