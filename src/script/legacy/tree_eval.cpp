#include "script/legacy/tree_eval.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/convert.h"
#include "core/stack_guard.h"
#include "script/code.h"
#include "script/compiler/code_kinds.h"
#include "script/compiler/compile.h"
#include "script/compiler/fold.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm.h"
#include "script/vm/vm_error.h"
#include "script/vm/vm_format.h"
#include "script/world_interface.h"

namespace {

// What running a statement or an expression gives.
enum Outcome : int {
    kNormal = 0,
    kError = -1, // recorded with Code_Error
    kExit = -2,  // exit, and return after its value
    kBreak = -3,
    kContinue = -4,
};

constexpr int kMaxArguments = 16;

// Frees what a value holds (nothing for a real).
inline void Release(ScriptValue* v) {
    if (!v->IsReal()) Value_Free(v);
}

// A value that frees what it holds when it goes.
struct Temp {
    ScriptValue v{};
    Temp() = default;
    ~Temp() { Release(&v); }
    Temp(const Temp&) = delete;
    Temp& operator=(const Temp&) = delete;
};

// Empties a value before something is read into it.
void Clear(ScriptValue* v) {
    Release(v);
    *v = ScriptValue{};
}

// Where a variable lives once its instance and index expressions have run.
struct VariableRef {
    int instance;
    int id;
    int index; // -1: none written
};

// The operator a compound assignment combines with.
int BinaryOperatorOf(int assignment) {
    switch (assignment) {
    case TOKEN_ASSIGN_PLUS:
        return TOKEN_PLUS;
    case TOKEN_ASSIGN_MINUS:
        return TOKEN_MINUS;
    case TOKEN_ASSIGN_TIMES:
        return TOKEN_TIMES;
    case TOKEN_ASSIGN_DIVIDE:
        return TOKEN_DIVIDE;
    case TOKEN_ASSIGN_OR:
        return TOKEN_BIT_OR;
    case TOKEN_ASSIGN_AND:
        return TOKEN_BIT_AND;
    case TOKEN_ASSIGN_XOR:
        return TOKEN_BIT_XOR;
    default:
        return 0; // refused by the operator evaluation
    }
}

// A string of no characters is held as a string without text.
void DropEmptyText(ScriptValue* v) {
    if (v->IsString() && v->str != nullptr && v->str[0] == '\0') Value_Free(v);
}

// Loop tests are made in single precision.
bool BelowHalf(double d) {
    return X86_DoubleToFloat(d) < 0.5f;
}

// The match of a switch value and a case value: same kind, equal reals, or texts that are the same
// block, both absent, or equal byte for byte.
bool CaseMatches(const ScriptValue& a, const ScriptValue& b) {
    if (a.Kind() != b.Kind()) return false;
    if (a.IsReal()) return a.real == b.real;
    if (!a.IsString()) return false;
    if (a.str == b.str) return true;
    if (a.str == nullptr || b.str == nullptr) return false;
    return std::strcmp(a.str, b.str) == 0;
}

class TreeRun {
public:
    TreeRun(CInstance* self, CInstance* other, CCode* code) : m_self(self), m_other(other), m_code(code) {}
    ~TreeRun() { delete m_locals; }
    TreeRun(const TreeRun&) = delete;
    TreeRun& operator=(const TreeRun&) = delete;

    int Program(const CodeTreeNode* root, ScriptValue* result) {
        if (root->kind == NODE_EMPTY_PROGRAM) return kNormal;
        if (root->kind != NODE_BLOCK) return Fail(root, "This is not a program.");
        return Block(root, result);
    }

    // Expressions nest no deeper than the compiler allows; the stack is watched where code runs other
    // code (statements and calls).
    int Evaluate(const CodeTreeNode* node, ScriptValue* out) {
        switch (node->kind) {
        case NODE_CONSTANT:
            Value_Copy(out, &node->value);
            DropEmptyText(out);
            return kNormal;
        case NODE_CALL:
            return Call(node, out);
        case NODE_VARIABLE:
        case NODE_VARIABLE_FIXED: {
            VariableRef ref;
            if (Resolve(node, ref) != kNormal) return kError;
            return Read(node, ref, out);
        }
        case NODE_UNARY: {
            const CodeTreeNode* operand = &node->children[0];
            if (Evaluate(operand, out) != kNormal) return kError;
            return Code_Operator_Unary(m_code, operand->position, node->op, *out) ? kNormal : kError;
        }
        case NODE_BINARY: {
            const CodeTreeNode* right = &node->children[1];
            if (Evaluate(&node->children[0], out) != kNormal) return kError;
            Temp value;
            if (Evaluate(right, &value.v) != kNormal) return kError;
            return Code_Operator_Binary(m_code, right->position, node->op, *out, value.v) ? kNormal : kError;
        }
        default:
            return Fail(node, "(Sub-)expression expected.");
        }
    }

private:
    int Fail(const CodeTreeNode* at, const char* message) {
        Code_Error(m_code, at->position, message);
        return kError;
    }

    int TooDeep(const CodeTreeNode* at) {
        return Fail(at, "Stack overflow: code recursed or nested too deeply.");
    }

    // A real the statement needs, evaluated into v; the message when it is not one.
    int EvaluateReal(const CodeTreeNode* node, ScriptValue* v, const char* message) {
        if (Evaluate(node, v) != kNormal) return kError;
        return v->IsReal() ? kNormal : Fail(node, message);
    }

    // A loop's round is over: it counts towards draining the message queue, which may end the run (an
    // error collected quietly while it drained).
    bool RoundEnds() {
        VM_CountBranch();
        return !CodeError_State().Code_ErrorFlag;
    }

    int Block(const CodeTreeNode* block, ScriptValue* result) {
        for (int i = 0; i < block->childCount; ++i) {
            Release(result);
            const int outcome = Statement(&block->children[i], result);
            if (outcome != kNormal) return outcome;
        }
        return kNormal;
    }

    int Statement(const CodeTreeNode* node, ScriptValue* result) {
        if (Stack_IsLow(kTreeStackReserve)) return TooDeep(node);
        switch (node->kind) {
        case NODE_CALL:
            return Call(node, result);
        case NODE_BLOCK:
            return Block(node, result);
        case NODE_ASSIGN:
            return Assign(node);
        case NODE_IF: {
            Temp condition;
            if (EvaluateReal(&node->children[0], &condition.v, "Expression expected") != kNormal)
                return kError;
            if (condition.v.real > 0.5) return Statement(&node->children[1], result);
            return node->childCount > 2 ? Statement(&node->children[2], result) : kNormal;
        }
        case NODE_WHILE:
            return While(node, result);
        case NODE_DO:
            return Do(node, result);
        case NODE_FOR:
            return For(node, result);
        case NODE_REPEAT:
            return Repeat(node, result);
        case NODE_EXIT:
            return kExit;
        case NODE_BREAK:
            return kBreak;
        case NODE_CONTINUE:
            return kContinue;
        case NODE_RETURN:
            return Evaluate(&node->children[0], result) == kNormal ? kExit : kError;
        case NODE_WITH:
            return With(node, result);
        case NODE_SWITCH:
            return Switch(node, result);
        case NODE_CASE:
            return Fail(node, "Case statement only allowed inside switch statement.");
        case NODE_DEFAULT:
            return Fail(node, "Default statement only allowed inside switch statement.");
        case NODE_VAR:
            return kNormal; // the names became locals when the code was compiled
        case NODE_GLOBALVAR:
            for (int i = 0; i < node->childCount; ++i)
                Variable_DeclareGlobal(node->children[i].op);
            return kNormal;
        default:
            return Fail(node, "Statement expected.");
        }
    }

    // The body's outcome inside a loop: whether the loop goes on, and what it gives when it ends.
    static bool LoopGoesOn(int outcome, int& ends) {
        if (outcome == kNormal || outcome == kContinue) return true;
        ends = outcome == kBreak ? kNormal : outcome;
        return false;
    }

    int While(const CodeTreeNode* node, ScriptValue* result) {
        for (;;) {
            Temp condition;
            if (EvaluateReal(&node->children[0], &condition.v, "bool expression expected") != kNormal)
                return kError;
            if (BelowHalf(condition.v.real)) return kNormal;
            Value_Free(result);
            int ends;
            if (!LoopGoesOn(Statement(&node->children[1], result), ends)) return ends;
            if (!RoundEnds()) return kError;
        }
    }

    int Do(const CodeTreeNode* node, ScriptValue* result) {
        for (;;) {
            int ends;
            if (!LoopGoesOn(Statement(&node->children[0], result), ends)) return ends;
            Temp condition;
            if (EvaluateReal(&node->children[1], &condition.v, "bool expression expected") != kNormal)
                return kError;
            if (!BelowHalf(condition.v.real)) return kNormal;
            if (!RoundEnds()) return kError;
        }
    }

    int For(const CodeTreeNode* node, ScriptValue* result) {
        Temp scratch;
        int outcome = Statement(&node->children[0], &scratch.v);
        if (outcome != kNormal) return outcome;
        for (;;) {
            Temp condition;
            if (EvaluateReal(&node->children[1], &condition.v, "Expression expected") != kNormal)
                return kError;
            if (BelowHalf(condition.v.real)) return kNormal;
            int ends;
            if (!LoopGoesOn(Statement(&node->children[3], result), ends)) return ends;
            outcome = Statement(&node->children[2], &scratch.v);
            if (outcome != kNormal) return outcome;
            if (!RoundEnds()) return kError;
        }
    }

    int Repeat(const CodeTreeNode* node, ScriptValue* result) {
        int64_t rounds;
        {
            Temp count;
            if (EvaluateReal(&node->children[0], &count.v, "Repeat count must be a number") != kNormal)
                return kError;
            rounds = X86_RoundToInt32(count.v.real);
        }
        for (int64_t i = 0; i < rounds; ++i) {
            int ends;
            if (!LoopGoesOn(Statement(&node->children[1], result), ends)) return ends;
            if (!RoundEnds()) return kError;
        }
        return kNormal;
    }

    // The instances a with visits, in list order; whether each is still present is asked when its turn
    // comes.
    void WithTargets(int target, std::vector<CInstance*>& out) {
        IScriptWorld* world = ScriptWorld_Get();
        if (world == nullptr) return; // without a world no instance exists
        if (target >= kFirstInstanceId) {
            if (CInstance* instance = world->FindInstance(target)) out.push_back(instance);
        } else if (target == INSTANCE_ALL || target >= 0) {
            world->VisitInstances(target == INSTANCE_ALL ? ScriptInstanceList::Room
                                                         : ScriptInstanceList::Object,
                                  target, [&](CInstance* instance) {
                                      out.push_back(instance);
                                      return true;
                                  });
        }
    }

    int With(const CodeTreeNode* node, ScriptValue* result) {
        int target;
        {
            Temp value;
            if (EvaluateReal(&node->children[0], &value.v, "Object id expected") != kNormal) return kError;
            target = X86_RoundToInt32(value.v.real);
        }
        const CodeTreeNode* body = &node->children[1];
        CInstance* const savedSelf = m_self;
        CInstance* const savedOther = m_other;
        auto visit = [&](CInstance* self, CInstance* other) {
            m_self = self;
            m_other = other;
            const int outcome = Statement(body, result);
            m_self = savedSelf;
            m_other = savedOther;
            return outcome;
        };
        int ends = kNormal;
        switch (target) {
        case INSTANCE_LOCAL:
            return Fail(&node->children[0], "Cannot use local in with statement.");
        case INSTANCE_GLOBAL:
            return Fail(&node->children[0], "Cannot use global in with statement.");
        case INSTANCE_NOONE:
            return kNormal;
        case INSTANCE_SELF:
        case INSTANCE_BUILTIN:
            LoopGoesOn(visit(savedSelf, savedSelf), ends);
            return ends;
        case INSTANCE_OTHER:
            LoopGoesOn(visit(savedOther, savedSelf), ends);
            return ends;
        default:
            break;
        }
        // The targets are taken before the first visit: instances made by the body are not visited, and a
        // list that changes under the body is never walked.
        std::vector<CInstance*> targets;
        WithTargets(target, targets);
        IScriptWorld* world = ScriptWorld_Get();
        for (CInstance* instance : targets) {
            if (world->IsMarked(instance) || world->IsDeactivated(instance)) continue;
            if (!LoopGoesOn(visit(instance, savedSelf), ends)) return ends;
            if (!RoundEnds()) return kError;
        }
        return kNormal;
    }

    int Switch(const CodeTreeNode* node, ScriptValue* result) {
        Temp value;
        if (Evaluate(&node->children[0], &value.v) != kNormal) return kError;
        int start = node->childCount;
        for (int i = 1; i < node->childCount && start == node->childCount; ++i) {
            const CodeTreeNode* clause = &node->children[i];
            if (clause->kind == NODE_DEFAULT) {
                start = i;
            } else if (clause->kind == NODE_CASE || clause->kind == NODE_CASE_CONSTANT) {
                Temp label;
                if (Evaluate(&clause->children[0], &label.v) != kNormal) return kError;
                if (CaseMatches(value.v, label.v)) start = i;
            }
        }
        for (int i = start + 1; i < node->childCount; ++i) {
            const CodeTreeNode* statement = &node->children[i];
            if (statement->kind == NODE_CASE || statement->kind == NODE_CASE_CONSTANT ||
                statement->kind == NODE_DEFAULT)
                continue;
            Value_Free(result);
            const int outcome = Statement(statement, result);
            if (outcome == kBreak) return kNormal;
            if (outcome != kNormal) return outcome;
        }
        return kNormal;
    }

    int Call(const CodeTreeNode* node, ScriptValue* out) {
        if (Stack_IsLow(kTreeStackReserve)) return TooDeep(node);
        const int argc = node->childCount;
        if (argc > kMaxArguments) return Fail(node, "Wrong number of arguments to function or script.");
        ScriptValue args[kMaxArguments] = {};
        int outcome = kNormal;
        for (int i = 0; i < argc && outcome == kNormal; ++i)
            outcome = Evaluate(&node->children[i], &args[i]);
        if (outcome == kNormal) outcome = Invoke(node, argc, args, out);
        for (int i = 0; i < argc; ++i)
            Value_Free(&args[i]);
        return outcome;
    }

    int Invoke(const CodeTreeNode* node, int argc, ScriptValue* args, ScriptValue* out) {
        const int id = node->op;
        Value_Free(out);
        if (id >= kExtensionIdBase) {
            // Extension functions are reached through the function table, which the extension packages
            // install themselves into.
            const char* failure = nullptr;
            if (!Code_Function_CallExtension(id - kExtensionIdBase, m_self, m_other, argc, args, out, &failure))
                return CodeError_State().Code_ErrorFlag ? kError : Fail(node, failure);
            return CodeError_State().Code_ErrorFlag ? kError : kNormal;
        }
        if (id >= kScriptIdBase) {
            if (!Script_Perform(id - kScriptIdBase, m_self, m_other, argc, out, args))
                return CodeError_State().Code_ErrorFlag ? kError
                                                        : Fail(node, "Call to a script that does not exist.");
            return CodeError_State().Code_ErrorFlag ? kError : kNormal;
        }
        const BuiltInFunction* entry = Code_Function_Entry(id);
        if (entry == nullptr || entry->function == nullptr) return Fail(node, "Unknown function.");
        *out = ScriptValue{};
        const char* outerFunction = VM_CurrentFunctionName;
        VM_CurrentFunctionName = entry->name;
        entry->function(*out, m_self, m_other, argc, args);
        VM_CurrentFunctionName = outerFunction;
        // A run-time error of the built-in that did not end the game (collected quietly) ends the run.
        return CodeError_State().Code_ErrorFlag ? kError : kNormal;
    }

    int Resolve(const CodeTreeNode* node, VariableRef& ref) {
        ref.id = node->op;
        ref.index = -1;
        if (node->kind == NODE_VARIABLE_FIXED) {
            ref.instance = node->instance;
            return kNormal;
        }
        {
            Temp instance;
            if (EvaluateReal(&node->children[0], &instance.v, "Wrong type of variable index") != kNormal)
                return kError;
            ref.instance = X86_RoundToInt32(instance.v.real);
        }
        int indices[2] = {0, 0};
        const int count = node->childCount - 1 > 2 ? 2 : node->childCount - 1;
        for (int i = 0; i < count; ++i) {
            const CodeTreeNode* expression = &node->children[1 + i];
            Temp index;
            if (EvaluateReal(expression, &index.v, "Wrong type of array index") != kNormal) return kError;
            indices[i] = X86_RoundToInt32(index.v.real);
            if (indices[i] < 0) return Fail(expression, "Negative array index");
            if (indices[i] >= kArrayRowStride) return Fail(expression, "Array index >= 32000");
        }
        if (count == 1) ref.index = indices[0];
        if (count == 2) ref.index = indices[0] * kArrayRowStride + indices[1];
        return kNormal;
    }

    // The variable list a whole (unindexed) user variable lives in, when it is one list: the locals,
    // the globals, or the list of self or other. Null when the general way must find it.
    CVariableList* DirectList(const VariableRef& ref) {
        if (ref.index != -1) return nullptr;
        if (ref.instance == INSTANCE_LOCAL) return m_locals;
        if (ref.instance == INSTANCE_GLOBAL) return Variable_Globals();
        if (ref.id < kVariableListIdBase) return nullptr;
        CInstance* instance;
        switch (ref.instance) {
        case INSTANCE_BUILTIN:
            if (Variable_IsGlobalDeclared(ref.id)) return Variable_Globals();
            instance = m_self;
            break;
        case INSTANCE_SELF:
            instance = m_self;
            break;
        case INSTANCE_OTHER:
            instance = m_other;
            break;
        default:
            return nullptr;
        }
        IScriptWorld* world = ScriptWorld_Get();
        return world != nullptr ? world->InstanceVariables(instance) : nullptr;
    }

    int Read(const CodeTreeNode* node, const VariableRef& ref, ScriptValue* out) {
        // A real held whole in a list is copied straight out of it.
        if (CVariableList* list = DirectList(ref)) {
            const ScriptValue* slot = list->Slot(ref.id);
            if (slot != nullptr && slot->IsReal()) {
                Release(out);
                *out = *slot;
                return kNormal;
            }
        }
        Clear(out);
        bool found;
        switch (ref.instance) {
        case INSTANCE_LOCAL:
            found = m_locals != nullptr && m_locals->GetVar(ref.id, ref.index, out);
            break;
        case INSTANCE_BUILTIN:
            found = Variable_IsGlobalDeclared(ref.id) ? Variable_GetGlobal(ref.id, ref.index, out)
                                                      : Variable_GetValue(m_self, ref.id, ref.index, out);
            break;
        case INSTANCE_GLOBAL:
            found = Variable_GetGlobal(ref.id, ref.index, out);
            break;
        case INSTANCE_NOONE:
            found = false;
            break;
        case INSTANCE_OTHER:
            found = Variable_GetValue(m_other, ref.id, ref.index, out);
            break;
        case INSTANCE_SELF:
            found = Variable_GetValue(m_self, ref.id, ref.index, out);
            break;
        default:
            found = Variable_GetOnTarget(ref.instance, ref.id, ref.index, out);
            break;
        }
        if (found) return kNormal;
        Clear(out);
        // Unset variables read as 0 when the game's options say so; otherwise a variable that cannot be
        // found is an error.
        if (VariableList_State().Variable_UnsetIsError) return kNormal;
        std::string message = std::string("Unknown variable ") + Code_Variable_GetName(ref.id);
        if (ref.index > 0) message += " or array index out of bounds";
        return Fail(node, message.c_str());
    }

    bool Store(const VariableRef& ref, ScriptValue* value) {
        // A real over a real held whole in a list is written straight into it.
        if (value->IsReal()) {
            if (CVariableList* list = DirectList(ref)) {
                ScriptValue* slot = list->Slot(ref.id);
                if (slot != nullptr && slot->IsReal()) {
                    *slot = *value;
                    return true;
                }
            }
        }
        switch (ref.instance) {
        case INSTANCE_LOCAL:
            if (m_locals == nullptr) m_locals = new CVariableList();
            m_locals->SetVar(ref.id, ref.index, value);
            return true;
        case INSTANCE_BUILTIN:
            if (Variable_IsGlobalDeclared(ref.id)) {
                Variable_SetGlobal(ref.id, ref.index, value);
                return true;
            }
            return Variable_SetValue(m_self, ref.id, ref.index, value);
        case INSTANCE_GLOBAL:
            Variable_SetGlobal(ref.id, ref.index, value);
            return true;
        case INSTANCE_OTHER:
            return Variable_SetValue(m_other, ref.id, ref.index, value);
        case INSTANCE_SELF:
            return Variable_SetValue(m_self, ref.id, ref.index, value);
        case INSTANCE_NOONE:
            return false;
        default:
            return Variable_SetOnTarget(ref.instance, ref.id, ref.index, value);
        }
    }

    // A text appended to a text held whole in a list grows that text in place: what reading it, joining
    // the two and storing the result give, without copying the whole text twice for each piece. False,
    // with nothing done, when the variable holds no text there.
    bool AppendInPlace(const VariableRef& ref, const char* tail) {
        CVariableList* list = DirectList(ref);
        ScriptValue* slot = list != nullptr ? list->Slot(ref.id) : nullptr;
        if (slot == nullptr || !slot->IsString()) return false;
        ArrayIndexFailure.failed = false;
        Value_AppendToText(slot, tail);
        return true;
    }

    int Assign(const CodeTreeNode* node) {
        const CodeTreeNode* target = &node->children[0];
        const CodeTreeNode* expression = &node->children[1];
        VariableRef ref;
        if (Resolve(target, ref) != kNormal) return kError;
        Temp value;
        if (Evaluate(expression, &value.v) != kNormal) return kError;
        if (node->op == TOKEN_ASSIGN) {
            DropEmptyText(&value.v);
            return Store(ref, &value.v) ? kNormal : Fail(target, "Cannot assign to the variable");
        }
        if (node->op == TOKEN_ASSIGN_PLUS && value.v.IsString() && AppendInPlace(ref, value.v.str)) return kNormal;
        Temp current;
        if (Read(target, ref, &current.v) != kNormal) return kError;
        if (!Code_Operator_Binary(m_code, expression->position, BinaryOperatorOf(node->op), current.v,
                                  value.v))
            return kError;
        return Store(ref, &current.v) ? kNormal : Fail(target, "Cannot assign to the variable");
    }

    CInstance* m_self;
    CInstance* m_other;
    CCode* m_code;
    CVariableList* m_locals = nullptr; // made by the first store to a local
};

} // namespace

bool Code_ExecuteTree(CInstance* self, CInstance* other, CCode* code, ScriptValue* result) {
    if (!code->compiled) {
        // A code made from no text (a room without creation code) is never compiled: it runs as nothing.
        if (code->text == nullptr || code->text[0] == '\0') return true;
        Code_Error(code, 0, "Internal Error: Executing non-compiled code->");
        return false;
    }
    ScriptValue scratch{};
    if (result == nullptr) result = &scratch;
    if (code->kind == CODE_KIND_CONSTANT) {
        Value_Copy(result, &code->constant);
        Value_Free(&scratch);
        return true;
    }
    if (self == nullptr || other == nullptr) {
        Code_Error(code, 0, "Internal Error: Executing code for nil instance.");
        return false;
    }
    Value_Free(result);
    TreeRun run(self, other, code);
    const int outcome = code->kind == CODE_KIND_EXPRESSION ? run.Evaluate(&code->tree, result)
                                                           : run.Program(&code->tree, result);
    Value_Free(&scratch);
    return outcome != kError;
}
