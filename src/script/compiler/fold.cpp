#include "script/compiler/fold.h"

#include <cmath>
#include <cstring>

#include "core/convert.h"
#include "core/memory.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/variables.h"

namespace {

// The truth of a real for not, and, or and xor.
bool IsTrue(double d) {
    return d >= 0.5;
}

void SetReal(ScriptValue& v, double d) {
    if (!v.IsReal()) Value_Free(&v);
    v = ScriptValue();
    v.real = d;
}

// Takes over a text block as the value.
void SetText(ScriptValue& v, char* text) {
    Value_Free(&v);
    v = ScriptValue();
    v.kind = KIND_STRING;
    v.str = text;
}

const char* TextOf(const ScriptValue& v) {
    return v.str ? v.str : "";
}

char* NewText(size_t length) {
    if (length + 1 > MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    char* text = static_cast<char*>(MEM_ALLOC_RAW(length + 1));
    text[length] = '\0';
    return text;
}

int CompareTexts(const ScriptValue& a, const ScriptValue& b) {
    const int c = std::strcmp(TextOf(a), TextOf(b)); // strcmp compares as unsigned char
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

bool Fail(CCode* code, int position, const char* message) {
    Code_Error(code, position, message);
    return false;
}

bool Comparison(int op, ScriptValue& left, const ScriptValue& right) {
    double d;
    if (left.IsString())
        d = CompareTexts(left, right);
    else
        d = Value_Real(&left) - Value_Real(&right);
    bool result;
    switch (op) {
    case TOKEN_LESS:
        result = d < 0;
        break;
    case TOKEN_LESS_EQUAL:
        result = d <= 0;
        break;
    case TOKEN_NOT_EQUAL:
        result = d != 0;
        break;
    case TOKEN_GREATER_EQUAL:
        result = d >= 0;
        break;
    case TOKEN_GREATER:
        result = d > 0;
        break;
    default:
        result = d == 0;
        break; // = and ==
    }
    SetReal(left, result ? 1.0 : 0.0);
    return true;
}

char* Repeat(const char* text, int32_t times) {
    const size_t length = std::strlen(text);
    // An empty text repeated any number of times is empty: no copying rounds.
    const size_t count = times > 0 && length > 0 ? static_cast<size_t>(times) : 0;
    if (count > (MemoryManager::kMaxBlockSize - 1) / (length ? length : 1)) MemoryManager::OutOfMemory();
    char* result = NewText(length * count);
    for (size_t i = 0; i < count; ++i)
        std::memcpy(result + i * length, text, length);
    return result;
}

// Turns a node into a constant without children, taking over the value.
void BecomeConstant(CodeTreeNode* node, ScriptValue& taken) {
    const ScriptValue value = taken;
    taken = ScriptValue();
    CodeTree_Free(node);
    node->kind = NODE_CONSTANT;
    node->op = 0;
    node->value = value;
}

// A text repeated into more than this many bytes is not built at compile time: the operation is left
// to run time, so that a few characters of source cannot make the compiler allocate gigabytes.
constexpr size_t kMaxFoldedRepetition = 1 << 20;

bool IsHugeRepetition(int op, const ScriptValue& left, const ScriptValue& right) {
    if (op != TOKEN_TIMES || !left.IsReal() || !right.IsString()) return false;
    const int32_t times = X86_RoundToInt32(left.real);
    const size_t length = std::strlen(TextOf(right));
    return times > 0 && length > 0 && static_cast<size_t>(times) > kMaxFoldedRepetition / length;
}

} // namespace

bool CodeFolder::FoldTree(CodeTreeNode* root) {
    // The tree's height is bounded by the parser.
    for (int c = 0; c < root->childCount; ++c) {
        if (!FoldTree(&root->children[c])) return false;
    }
    return FoldNode(root);
}

bool CodeFolder::FoldNode(CodeTreeNode* node) {
    switch (node->kind) {
    case NODE_VAR:
        for (int c = 0; c < node->childCount; ++c)
            DeclareLocal(node->children[c].op);
        return true;
    case NODE_VARIABLE:
        return Variable(node);
    case NODE_UNARY: {
        CodeTreeNode* operand = &node->children[0];
        if (operand->kind != NODE_CONSTANT) return true;
        const int position = operand->position;
        const int op = node->op;
        BecomeConstant(node, operand->value);
        return Code_Operator_Unary(m_code, position, op, node->value);
    }
    case NODE_BINARY: {
        CodeTreeNode* left = &node->children[0];
        CodeTreeNode* right = &node->children[1];
        if (left->kind != NODE_CONSTANT || right->kind != NODE_CONSTANT) return true;
        if (IsHugeRepetition(node->op, left->value, right->value)) return true;
        if (!Code_Operator_Binary(m_code, right->position, node->op, left->value, right->value))
            return false;
        BecomeConstant(node, left->value);
        return true;
    }
    case NODE_CASE:
        if (node->children[0].kind == NODE_CONSTANT) node->kind = NODE_CASE_CONSTANT;
        return true;
    default:
        return true;
    }
}

bool CodeFolder::Variable(CodeTreeNode* node) {
    CodeTreeNode* instance = &node->children[0];
    if (instance->kind != NODE_CONSTANT) return true;
    ScriptValue& code = instance->value;
    if (code.IsReal() && code.real == kInstanceUnspecified && IsLocal(node->op)) code.real = kInstanceLocal;
    if (node->childCount != 1) return true;
    if (code.IsString()) return Fail(m_code, instance->position, "Left hand side must be a real value.");
    node->kind = NODE_VARIABLE_FIXED;
    node->instance = X86_RoundToInt32(Value_Real(&code));
    return true;
}

// Declared names are user variables (the parser refuses built-in ones), so a flag per user variable id
// marks them.
void CodeFolder::DeclareLocal(int id) {
    if (id < kUserVariableBase) return;
    const size_t index = static_cast<size_t>(id - kUserVariableBase);
    if (index >= m_locals.size()) m_locals.resize(index + 1, false);
    m_locals[index] = true;
}

bool CodeFolder::IsLocal(int id) const {
    return id >= kUserVariableBase && static_cast<size_t>(id - kUserVariableBase) < m_locals.size() &&
           m_locals[static_cast<size_t>(id - kUserVariableBase)];
}

bool Code_Fold(CCode* code, CodeTreeNode* root) {
    CodeError_State().Code_ErrorFlag = false;
    // Folding a finished tree sets values in its nodes without noting them.
    if (code) code->treeArena.SetValuesAnywhere();
    return CodeFolder(code).FoldTree(root);
}

bool Code_Operator_Unary(CCode* code, int position, int op, ScriptValue& value) {
    if (!value.IsReal()) return Fail(code, position, "Wrong type of arguments to unary operator.");
    switch (op) {
    case TOKEN_NOT:
        value.real = IsTrue(value.real) ? 0.0 : 1.0;
        return true;
    case TOKEN_PLUS:
        return true;
    case TOKEN_MINUS:
        value.real = -0.0 - value.real;
        return true;
    case TOKEN_BIT_NOT:
        value.real = ~X86_RoundToInt32(value.real);
        return true;
    default:
        return Fail(code, position, "Internal error: unknown unary operator.");
    }
}

bool Code_Operator_Binary(CCode* code, int position, int op, ScriptValue& left, const ScriptValue& right) {
    const bool reals = left.IsReal() && right.IsReal();
    const double l = Value_Real(&left);
    const double r = Value_Real(&right);
    switch (op) {
    case TOKEN_ASSIGN:
    case TOKEN_EQUAL:
    case TOKEN_LESS:
    case TOKEN_LESS_EQUAL:
    case TOKEN_NOT_EQUAL:
    case TOKEN_GREATER_EQUAL:
    case TOKEN_GREATER:
        if (left.Kind() != right.Kind()) return Fail(code, position, "Cannot compare arguments.");
        return Comparison(op, left, right);
    case TOKEN_AND:
        if (!reals) return Fail(code, position, "Wrong type of arguments for &&.");
        SetReal(left, IsTrue(l) && IsTrue(r) ? 1.0 : 0.0);
        return true;
    case TOKEN_OR:
        if (!reals) return Fail(code, position, "Wrong type of arguments for ||.");
        SetReal(left, IsTrue(l) || IsTrue(r) ? 1.0 : 0.0);
        return true;
    case TOKEN_XOR:
        if (!reals) return Fail(code, position, "Wrong type of arguments for ^^.");
        SetReal(left, IsTrue(l) != IsTrue(r) ? 1.0 : 0.0);
        return true;
    case TOKEN_PLUS:
        if (reals) {
            SetReal(left, l + r);
        } else if (left.IsString() && right.IsString()) {
            const size_t a = std::strlen(TextOf(left));
            const size_t b = std::strlen(TextOf(right));
            char* text = NewText(a + b);
            std::memcpy(text, TextOf(left), a);
            std::memcpy(text + a, TextOf(right), b);
            SetText(left, text);
        } else {
            return Fail(code, position, "Wrong type of arguments to +.");
        }
        return true;
    case TOKEN_MINUS:
        if (!reals) return Fail(code, position, "Wrong type of arguments to -.");
        SetReal(left, l - r);
        return true;
    case TOKEN_TIMES:
        if (reals) {
            SetReal(left, l * r);
        } else if (left.IsReal() && right.IsString()) {
            SetText(left, Repeat(TextOf(right), X86_RoundToInt32(l)));
        } else {
            return Fail(code, position, "Wrong type of arguments to *.");
        }
        return true;
    case TOKEN_DIVIDE:
        if (!reals) return Fail(code, position, "Wrong type of arguments to /.");
        if (r == 0) return Fail(code, position, "Division by 0.");
        SetReal(left, l / r);
        return true;
    case TOKEN_DIV: {
        if (!reals) return Fail(code, position, "Wrong type of arguments to div.");
        // Both sides are truncated first, so a divisor inside (-1, 1) divides by 0 too.
        const int32_t divisor = X86_DoubleToInt32(r);
        if (divisor == 0) return Fail(code, position, "Division by 0.");
        SetReal(left, X86_Div32(X86_DoubleToInt32(l), divisor));
        return true;
    }
    case TOKEN_MOD:
        if (!reals) return Fail(code, position, "Wrong type of arguments to mod.");
        if (r == 0) return Fail(code, position, "Modulo by 0.");
        SetReal(left, l - r * std::trunc(l / r));
        return true;
    case TOKEN_BIT_OR:
    case TOKEN_BIT_AND:
    case TOKEN_BIT_XOR: {
        if (!reals) {
            return Fail(code, position,
                        op == TOKEN_BIT_OR    ? "Wrong type of arguments for |."
                        : op == TOKEN_BIT_AND ? "Wrong type of arguments for &."
                                              : "Wrong type of arguments for ^.");
        }
        const int32_t a = X86_RoundToInt32(l);
        const int32_t b = X86_RoundToInt32(r);
        SetReal(left, op == TOKEN_BIT_OR ? (a | b) : op == TOKEN_BIT_AND ? (a & b) : (a ^ b));
        return true;
    }
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT: {
        if (!reals) {
            return Fail(code, position,
                        op == TOKEN_SHIFT_LEFT ? "Wrong type of arguments for <<."
                                               : "Wrong type of arguments for >>.");
        }
        const int32_t value = X86_RoundToInt32(l);
        const int count = X86_RoundToInt32(r);
        SetReal(left, op == TOKEN_SHIFT_LEFT ? X86_Shl32(value, count) : X86_Sar32(value, count));
        return true;
    }
    default:
        return Fail(code, position, "Internal error: unknown binary operator.");
    }
}
