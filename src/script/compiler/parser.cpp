#include "script/compiler/parser.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "core/memory.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/compiler/fold.h"
#include "script/functions.h"
#include "script/variables.h"

namespace {

constexpr int kMaxArguments = 16;
constexpr char kNestedTooDeep[] = "Code nested too deeply.";

// Binding strength of a binary operator, 0 for a token that is none.
int BinaryLevel(int kind) {
    switch (kind) {
    case TOKEN_AND:
    case TOKEN_OR:
    case TOKEN_XOR:
        return 1;
    case TOKEN_LESS:
    case TOKEN_LESS_EQUAL:
    case TOKEN_EQUAL:
    case TOKEN_ASSIGN:
    case TOKEN_NOT_EQUAL:
    case TOKEN_GREATER:
    case TOKEN_GREATER_EQUAL:
        return 2;
    case TOKEN_BIT_OR:
    case TOKEN_BIT_AND:
    case TOKEN_BIT_XOR:
        return 3;
    case TOKEN_SHIFT_LEFT:
    case TOKEN_SHIFT_RIGHT:
        return 4;
    case TOKEN_PLUS:
    case TOKEN_MINUS:
        return 5;
    case TOKEN_TIMES:
    case TOKEN_DIVIDE:
    case TOKEN_DIV:
    case TOKEN_MOD:
        return 6;
    default:
        return 0;
    }
}
constexpr int kLowestLevel = 1;

bool IsAssignment(int kind) {
    return (kind >= TOKEN_ASSIGN && kind <= TOKEN_ASSIGN_DIVIDE) ||
           (kind >= TOKEN_ASSIGN_OR && kind <= TOKEN_ASSIGN_XOR);
}

bool IsPrefix(int kind) {
    return kind == TOKEN_NOT || kind == TOKEN_MINUS || kind == TOKEN_PLUS || kind == TOKEN_BIT_NOT;
}

// Field by field, so that copying the node soon after reads whole fields back.
void SetFresh(CodeTreeNode& node, int position) {
    node.kind = NODE_NONE;
    node.op = 0;
    node.instance = 0;
    node.height = 1;
    node.value.kind = KIND_REAL;
    node.value.flags = 0;
    node.value.real = 0.0;
    node.children = nullptr;
    node.childCount = 0;
    node.position = position;
}

CodeTreeNode FreshNode(int position) {
    CodeTreeNode node;
    SetFresh(node, position);
    return node;
}

// Where the children of nodes under construction gather: one stack for the whole parse, each construct
// owning the run it pushed. A child is parsed in a node of its own and pushed whole once done, so the
// runs of the constructs inside it have come and gone by then.
using ChildStack = std::vector<CodeTreeNode>;

// The children of a node under construction, handed to the node as one block of the arena when the
// construct ends, also when it ends in an error (the partial tree is then freed with the code). The
// node's height is set from its children's then. Lists of nested constructs end before the enclosing
// one's next push.
class ChildList {
public:
    ChildList(ChildStack& stack, CodeTreeArena& arena, CodeTreeNode* node)
        : m_stack(stack), m_arena(arena), m_node(node), m_start(stack.size()) {}
    ~ChildList() { Commit(); }
    ChildList(const ChildList&) = delete;
    ChildList& operator=(const ChildList&) = delete;

    // A fresh child without children of its own, to be filled before the next push.
    CodeTreeNode* AddLeaf(int position) {
        CodeTreeNode& leaf = m_stack.emplace_back();
        SetFresh(leaf, position);
        return &leaf;
    }
    // Takes over a whole subtree.
    void Take(const CodeTreeNode& subtree) { m_stack.push_back(subtree); }
    // The child taken last, until the next push.
    const CodeTreeNode& Last() const { return m_stack.back(); }
    int Count() const { return static_cast<int>(m_stack.size() - m_start); }

    void Commit() {
        const size_t added = m_stack.size() - m_start;
        if (added == 0) return;
        const size_t old = static_cast<size_t>(m_node->childCount);
        CodeTreeNode* block = m_arena.AllocateNoted(old + added);
        if (old) {
            std::memcpy(static_cast<void*>(block), m_node->children, old * sizeof(CodeTreeNode));
            // The values moved: the old block holds none.
            for (size_t c = 0; c < old; ++c)
                m_node->children[c].value = ScriptValue{};
        }
        std::memcpy(static_cast<void*>(block + old), m_stack.data() + m_start, added * sizeof(CodeTreeNode));
        m_stack.resize(m_start);
        m_node->children = block;
        m_node->childCount = static_cast<int>(old + added);
        int height = 0;
        bool values = false;
        for (size_t c = 0; c < old + added; ++c) {
            height = std::max(height, block[c].height);
            values |= !block[c].value.IsReal();
        }
        if (values) m_arena.NoteValues(block, old + added);
        m_node->height = height + 1;
    }

private:
    ChildStack& m_stack;
    CodeTreeArena& m_arena;
    CodeTreeNode* m_node;
    size_t m_start;
};

// Each rule takes the index of its first token and gives the index after the construct. The token list
// always ends with TOKEN_EOF and no rule steps over it, so indices stay inside the list. After an error
// the rules unwind without looking further.
//
// With a folder, each finished node is folded as it joins its parent (the root at the end). A node joins
// after its children and after the siblings before it, so nodes fold in the order of the folding pass
// over the finished tree. A folding error is recorded as met, but a parse error anywhere outranks it.
class Parser {
public:
    Parser(CCode* code, const CodeResolvedList& tokens, CodeFolder* folder, const CodeStatementSink* sink)
        : m_code(code), m_t(tokens), m_folder(folder), m_sink(sink) {}

    // The parse stopped at a tree too tall to check once folded: it must be parsed again unfolded.
    bool TooTallToFold() const { return m_tooTallToFold; }
    // The statements of the program went to the sink.
    bool HandedOver() const { return m_handedOver; }

    bool Program(CodeTreeNode* root) {
        CodeTree_InitNode(root, At(0).position);
        if (Kind(0) == TOKEN_EOF) {
            root->kind = NODE_EMPTY_PROGRAM;
            return true;
        }
        if (Kind(0) == TOKEN_BEGIN) {
            const int i = Statement(0, root);
            if (!m_failed && Kind(i) != TOKEN_EOF) Fail(i, "Program ends before end of the code.");
        } else {
            root->kind = NODE_BLOCK;
            m_handedOver = m_sink != nullptr;
            ChildList children = Children(root);
            int i = 0;
            while (!m_failed && Kind(i) != TOKEN_EOF) {
                i = StatementChild(children, i);
                if (m_sink && !m_failed && !m_foldFailed) (*m_sink)(children.Last());
            }
        }
        return Finish(root);
    }

    bool Expression(CodeTreeNode* root) {
        CodeTree_InitNode(root, At(0).position);
        if (Kind(0) == TOKEN_EOF) {
            root->kind = NODE_CONSTANT;
            return true;
        }
        Expr(0, root);
        return Finish(root);
    }

private:
    const CodeResolvedToken& At(int i) const { return m_t.tokens[static_cast<size_t>(i)]; }
    int Kind(int i) const { return At(i).kind; }
    ChildList Children(CodeTreeNode* node) { return ChildList(m_children, m_code->treeArena, node); }

    void Fail(int i, const char* message) {
        if (m_failed) return;
        m_failed = true;
        Report(At(i).position, message);
    }
    void Report(int position, const char* message) {
        if (m_foldFailed) CodeError_State().Code_ErrorFlag = false;
        Code_Error(m_code, position, message);
    }

    // A finished node, about to join its parent.
    void Fold(CodeTreeNode* node) {
        if (!m_folder || m_failed || m_foldFailed) return;
        if (!m_folder->FoldNode(node)) m_foldFailed = true;
    }

    // Long operator chains nest on their left without deepening the parser's recursion, so the tree's
    // height is checked once the parse is done; the walk finds the node that lies too deep. Folding
    // leaves the heights as parsed but removes nodes, so a folded tree that may be too tall is not
    // walked: it is parsed again.
    bool Finish(CodeTreeNode* root) {
        if (m_failed) return false;
        if (root->height > kCodeTreeMaxDepth) {
            if (m_folder) {
                m_tooTallToFold = true;
                return false;
            }
            const CodeTreeNode* tooDeep = nullptr;
            CodeTree_Height(root, kCodeTreeMaxDepth, &tooDeep);
            if (tooDeep) {
                m_failed = true;
                Report(tooDeep->position, kNestedTooDeep);
                return false;
            }
        }
        Fold(root);
        return !m_foldFailed;
    }

    // Guards the recursion of statements and expressions; every Enter is matched by a Leave.
    bool Enter(int i) {
        if (++m_depth > kCodeTreeMaxDepth) Fail(i, kNestedTooDeep);
        return !m_failed;
    }
    void Leave() { --m_depth; }

    int Expect(int i, int kind, const char* message) {
        if (Kind(i) != kind) {
            Fail(i, message);
            return i;
        }
        return i + 1;
    }

    int Statement(int i, CodeTreeNode* node) {
        if (Enter(i)) i = StatementBody(i, node);
        Leave();
        while (!m_failed && Kind(i) == TOKEN_SEMICOLON)
            ++i;
        return i;
    }

    int StatementBody(int i, CodeTreeNode* node) {
        const int kind = Kind(i);
        node->position = At(i).position;
        switch (kind) {
        case TOKEN_EOF:
            Fail(i, "Unexpected end of code reached.");
            return i;
        case RESOLVED_CALL:
            return Call(i, node);
        case TOKEN_BEGIN:
            node->kind = NODE_BLOCK;
            node->position = At(i + 1).position;
            return Statements(i + 1, node);
        case TOKEN_EXIT:
        case TOKEN_BREAK:
        case TOKEN_CONTINUE:
            node->kind = kind; // these three nodes share their tokens' numbers
            return i + 1;
        case TOKEN_SEMICOLON:
            node->kind = NODE_NONE; // the ";" itself is skipped after the statement
            return i;
        case TOKEN_VAR:
        case TOKEN_GLOBALVAR:
            node->kind = kind == TOKEN_VAR ? NODE_VAR : NODE_GLOBALVAR;
            node->position = At(i + 1).position;
            return Declarations(i + 1, node);
        case TOKEN_IF:
        case TOKEN_WHILE:
        case TOKEN_DO:
        case TOKEN_FOR:
        case TOKEN_REPEAT:
        case TOKEN_WITH:
        case TOKEN_RETURN:
        case TOKEN_SWITCH:
        case TOKEN_CASE:
        case TOKEN_DEFAULT: {
            node->position = At(i + 1).position;
            ChildList children = Children(node);
            return Compound(kind, i + 1, node, children);
        }
        default:
            return Assignment(i, node);
        }
    }

    // The statements that start with a keyword and have children; i is the token after the keyword.
    int Compound(int keyword, int i, CodeTreeNode* node, ChildList& children) {
        switch (keyword) {
        case TOKEN_IF:
            node->kind = NODE_IF;
            i = ExprChild(children, i);
            if (m_failed) return i;
            if (Kind(i) == TOKEN_THEN) ++i;
            i = StatementChild(children, i);
            if (!m_failed && Kind(i) == TOKEN_ELSE) i = StatementChild(children, i + 1);
            return i;
        case TOKEN_WHILE:
        case TOKEN_WITH:
        case TOKEN_REPEAT:
            // The head expression, an optional do (not after repeat), the body.
            node->kind = keyword == TOKEN_WHILE  ? NODE_WHILE
                         : keyword == TOKEN_WITH ? NODE_WITH
                                                 : NODE_REPEAT;
            i = ExprChild(children, i);
            if (m_failed) return i;
            if (keyword != TOKEN_REPEAT && Kind(i) == TOKEN_DO) ++i;
            return StatementChild(children, i);
        case TOKEN_DO:
            node->kind = NODE_DO;
            i = StatementChild(children, i);
            if (m_failed) return i;
            i = Expect(i, TOKEN_UNTIL, "Keyword until expected.");
            if (m_failed) return i;
            return ExprChild(children, i);
        case TOKEN_FOR:
            node->kind = NODE_FOR;
            i = Expect(i, TOKEN_OPEN, "Symbol ( expected.");
            if (m_failed) return i;
            i = StatementChild(children, i);
            if (m_failed) return i;
            if (Kind(i) == TOKEN_SEMICOLON) ++i;
            i = ExprChild(children, i);
            if (m_failed) return i;
            if (Kind(i) == TOKEN_SEMICOLON) ++i;
            i = StatementChild(children, i);
            if (m_failed) return i;
            i = Expect(i, TOKEN_CLOSE, "Symbol ) expected.");
            if (m_failed) return i;
            return StatementChild(children, i);
        case TOKEN_RETURN:
            node->kind = NODE_RETURN;
            return ExprChild(children, i);
        case TOKEN_SWITCH:
            node->kind = NODE_SWITCH;
            i = ExprChild(children, i);
            if (m_failed) return i;
            i = Expect(i, TOKEN_BEGIN, "Symbol {  expected.");
            if (m_failed) return i;
            children.Commit();
            return Statements(i, node);
        case TOKEN_CASE:
            node->kind = NODE_CASE;
            i = ExprChild(children, i);
            if (m_failed) return i;
            return Expect(i, TOKEN_COLON, "Symbol : expected.");
        default: // TOKEN_DEFAULT
            node->kind = NODE_DEFAULT;
            return Expect(i, TOKEN_COLON, "Symbol : expected.");
        }
    }

    // Statements up to "}" or end, which is consumed.
    int Statements(int i, CodeTreeNode* node) {
        ChildList children = Children(node);
        while (!m_failed && Kind(i) != TOKEN_END) {
            if (Kind(i) == TOKEN_EOF) {
                Fail(i, "Symbol  } expected.");
                return i;
            }
            i = StatementChild(children, i);
        }
        return m_failed ? i : i + 1;
    }

    int Declarations(int i, CodeTreeNode* node) {
        ChildList children = Children(node);
        while (Kind(i) == RESOLVED_VARIABLE) {
            if (At(i).id < kUserVariableBase) {
                Fail(i, "Cannot redeclare a builtin variable.");
                return i;
            }
            CodeTreeNode* name = children.AddLeaf(At(i).position);
            name->kind = NODE_CONSTANT;
            name->op = At(i).id;
            ++i;
            if (Kind(i) == TOKEN_COMMA) ++i;
        }
        return i;
    }

    int Assignment(int i, CodeTreeNode* node) {
        node->kind = NODE_ASSIGN;
        ChildList children = Children(node);
        CodeTreeNode target = FreshNode(At(i).position);
        i = Postfix(i, &target);
        const bool isVariable = target.kind == NODE_VARIABLE;
        Fold(&target);
        children.Take(target);
        if (m_failed) return i;
        if (!isVariable) {
            Fail(i, "Variable name expected.");
            return i;
        }
        if (!IsAssignment(Kind(i))) {
            Fail(i, "Assignment operator expected.");
            return i;
        }
        node->op = Kind(i);
        return ExprChild(children, i + 1);
    }

    // A statement or an expression at i, parsed into a new child of the list.
    int StatementChild(ChildList& children, int i) {
        CodeTreeNode child = FreshNode(At(i).position);
        i = Statement(i, &child);
        Fold(&child);
        children.Take(child);
        return i;
    }
    int ExprChild(ChildList& children, int i) {
        CodeTreeNode child = FreshNode(At(i).position);
        i = Expr(i, &child);
        Fold(&child);
        children.Take(child);
        return i;
    }

    int Expr(int i, CodeTreeNode* node) {
        if (Enter(i)) i = Binary(i, node, kLowestLevel);
        Leave();
        return i;
    }

    // Operators of the given level and above; each level is left-associative, so the node parsed so far
    // becomes the left operand of the next operator.
    int Binary(int i, CodeTreeNode* node, int level) {
        const int position = At(i).position;
        i = Unary(i, node);
        while (!m_failed) {
            const int opLevel = BinaryLevel(Kind(i));
            if (opLevel == 0 || opLevel < level) break;
            CodeTreeNode left = *node;
            Fold(&left);
            *node = FreshNode(position);
            node->kind = NODE_BINARY;
            node->op = Kind(i);
            ChildList children = Children(node);
            children.Take(left);
            CodeTreeNode right = FreshNode(At(i + 1).position);
            if (Enter(i + 1)) i = Binary(i + 1, &right, opLevel + 1);
            Leave();
            Fold(&right);
            children.Take(right);
        }
        return i;
    }

    int Unary(int i, CodeTreeNode* node) {
        if (!IsPrefix(Kind(i))) return Postfix(i, node);
        node->kind = NODE_UNARY;
        node->op = Kind(i);
        node->position = At(i).position;
        ChildList children = Children(node);
        CodeTreeNode operand = FreshNode(At(i + 1).position);
        if (Enter(i + 1)) i = Unary(i + 1, &operand);
        Leave();
        Fold(&operand);
        children.Take(operand);
        return i;
    }

    int Postfix(int i, CodeTreeNode* node) {
        const int position = At(i).position;
        i = Primary(i, node);
        while (!m_failed && Kind(i) == TOKEN_DOT && Kind(i + 1) == RESOLVED_VARIABLE) {
            // The variable after the dot takes everything before it as its instance.
            CodeTreeNode instance = *node;
            Fold(&instance);
            *node = FreshNode(position);
            i = Variable(i + 1, node);
            node->position = position;
            CodeTree_Free(&node->children[0]);
            node->children[0] = instance;
            if (!instance.value.IsReal()) m_code->treeArena.NoteValues(&node->children[0], 1);
            node->height = std::max(node->height, instance.height + 1);
        }
        return i;
    }

    int Primary(int i, CodeTreeNode* node) {
        node->position = At(i).position;
        switch (Kind(i)) {
        case RESOLVED_CONSTANT:
            node->kind = NODE_CONSTANT;
            Value_Copy(&node->value, &m_t.ValueOf(At(i)));
            return i + 1;
        case RESOLVED_CALL:
            return Call(i, node);
        case RESOLVED_VARIABLE:
            return Variable(i, node);
        case TOKEN_OPEN:
            i = Expr(i + 1, node);
            if (m_failed) return i;
            return Expect(i, TOKEN_CLOSE, "Symbol ) expected.");
        default:
            Fail(i, "Unexpected symbol in expression.");
            return i;
        }
    }

    // Expressions separated by "," up to the closing token, which is consumed; a comma just before the
    // closing token is accepted.
    int List(int i, ChildList& children, int closing, const char* commaOrClose, const char* close) {
        if (Kind(i) == closing) return i + 1;
        for (;;) {
            i = ExprChild(children, i);
            if (m_failed) return i;
            if (Kind(i) == TOKEN_COMMA) {
                ++i;
                if (Kind(i) == closing) return i + 1;
            } else if (Kind(i) == closing) {
                return i + 1;
            } else {
                Fail(i, Kind(i) == TOKEN_EOF ? close : commaOrClose);
                return i;
            }
        }
    }

    int Call(int i, CodeTreeNode* node) {
        node->kind = NODE_CALL;
        node->op = At(i).id;
        node->position = At(i).position;
        ChildList children = Children(node);
        // The resolver made a call only of a name followed by "(".
        i = List(i + 2, children, TOKEN_CLOSE, "Symbol , or ) expected.", "Symbol ) expected.");
        if (m_failed) return i;
        const int count = children.Count();
        const int declared = Code_Function_GetArgCount(node->op);
        if (count > kMaxArguments || (declared >= 0 && declared != count))
            Fail(i - 1, "Wrong number of arguments to function or script.");
        return i;
    }

    int Variable(int i, CodeTreeNode* node) {
        node->kind = NODE_VARIABLE;
        node->op = At(i).id;
        node->position = At(i).position;
        if (Kind(i + 1) != TOKEN_OPEN_INDEX && node->childCount == 0) {
            // Most variables have no index: the instance leaf goes straight to the node's block.
            CodeTreeNode* instance = m_code->treeArena.AllocateNoted(1);
            SetFresh(*instance, At(i).position);
            instance->kind = NODE_CONSTANT;
            instance->value.real = kInstanceUnspecified;
            node->children = instance;
            node->childCount = 1;
            node->height = 2;
            return i + 1;
        }
        ChildList children = Children(node);
        CodeTreeNode* instance = children.AddLeaf(At(i).position);
        instance->kind = NODE_CONSTANT;
        instance->value.real = kInstanceUnspecified;
        ++i;
        if (Kind(i) != TOKEN_OPEN_INDEX) return i;
        i = List(i + 1, children, TOKEN_CLOSE_INDEX, "Symbol , or ] expected.", "Symbol ] expected.");
        if (!m_failed && children.Count() > 3) Fail(i, "Only 1- and 2-dimensional arrays are supported.");
        return i;
    }

    CCode* m_code;
    const CodeResolvedList& m_t;
    CodeFolder* m_folder;
    const CodeStatementSink* m_sink;
    ChildStack m_children;
    bool m_failed = false;
    bool m_foldFailed = false;
    bool m_tooTallToFold = false;
    bool m_handedOver = false;
    int m_depth = 0;
};

} // namespace

namespace {

bool Parse(CCode* code, const CodeResolvedList& tokens, bool program, CodeTreeNode* root, CodeFolder* folder,
           const CodeStatementSink* sink = nullptr, bool* tooTallToFold = nullptr, bool* handedOver = nullptr) {
    CodeError_State().Code_ErrorFlag = false;
    if (tokens.tokens.empty() || tokens.tokens.back().kind != TOKEN_EOF) return false;
    Parser parser(code, tokens, folder, sink);
    const bool parsed = program ? parser.Program(root) : parser.Expression(root);
    if (tooTallToFold) *tooTallToFold = parser.TooTallToFold();
    if (handedOver) *handedOver = parser.HandedOver();
    return parsed;
}

} // namespace

bool Code_ParseProgram(CCode* code, const CodeResolvedList& tokens, CodeTreeNode* root) {
    return Parse(code, tokens, true, root, nullptr);
}

bool Code_ParseExpression(CCode* code, const CodeResolvedList& tokens, CodeTreeNode* root) {
    return Parse(code, tokens, false, root, nullptr);
}

bool Code_ParseFolded(CCode* code, const CodeResolvedList& tokens, bool program, CodeTreeNode* root,
                      const CodeStatementSink* sink, bool* handedOver) {
    bool tooTall = false;
    bool handed = false;
    {
        CodeFolder folder(code);
        const bool done = Parse(code, tokens, program, root, &folder, sink, &tooTall, &handed);
        if (handedOver) *handedOver = handed && !tooTall;
        if (!tooTall) return done;
    }
    // Rare: text nested close to the limit, parsed again and checked before it is folded.
    return Parse(code, tokens, program, root, nullptr) && Code_Fold(code, root);
}

int CodeTree_Height(const CodeTreeNode* root, int limit, const CodeTreeNode** tooDeep) {
    std::vector<std::pair<const CodeTreeNode*, int>> stack; // (node, its depth)
    stack.emplace_back(root, 1);
    int height = 0;
    if (tooDeep) *tooDeep = nullptr;
    while (!stack.empty()) {
        const auto [node, depth] = stack.back();
        stack.pop_back();
        if (depth > height) height = depth;
        if (depth > limit) {
            if (tooDeep) *tooDeep = node;
            break;
        }
        for (int c = 0; c < node->childCount; ++c)
            stack.emplace_back(&node->children[c], depth + 1);
    }
    return height;
}
