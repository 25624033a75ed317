// Phase 4 of the compiler: settling at compile time what can be settled (declared locals, constant
// instances, operations on constants, constant case labels); and the evaluation of operators on
// constants that folding uses.
#pragma once

#include <vector>

#include "script/code_tree.h"
#include "script/compiler/code_kinds.h"

class CCode;

// Folds the nodes of one code, keeping the locals declared so far. Folding every node after its children,
// in the order of a walk that visits the children in order before the node, folds a whole tree.
class CodeFolder {
public:
    explicit CodeFolder(CCode* code) : m_code(code) {}

    // Folds one node whose children are folded already; false after recording an error.
    bool FoldNode(CodeTreeNode* node);
    // Folds the tree below a node and the node, children first; false at the first error.
    bool FoldTree(CodeTreeNode* root);

private:
    bool Variable(CodeTreeNode* node);
    void DeclareLocal(int id);
    bool IsLocal(int id) const;

    CCode* m_code;
    std::vector<bool> m_locals; // by user variable id
};

// Clears the error flag and the declared locals and folds the tree; false after an error.
bool Code_Fold(CCode* code, CodeTreeNode* root);

// Apply an operator to constant values, recording a refusal at position through Code_Error. The
// binary form replaces left by the result (the left value may have changed after a refusal too).
bool Code_Operator_Unary(CCode* code, int position, int op, ScriptValue& value);
bool Code_Operator_Binary(CCode* code, int position, int op, ScriptValue& left, const ScriptValue& right);
