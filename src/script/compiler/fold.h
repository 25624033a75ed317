// Phase 4 of the compiler: settling at compile time what can be settled (declared locals, constant
// instances, operations on constants, constant case labels); and the evaluation of operators on
// constants that folding uses.
#pragma once

#include "script/code_tree.h"
#include "script/compiler/code_kinds.h"

class CCode;

// Clears the error flag and the declared locals and folds the tree; false after an error.
bool Code_Fold(CCode* code, CodeTreeNode* root);

// Apply an operator to constant values, recording a refusal at position through Code_Error. The
// binary form replaces left by the result (the left value may have changed after a refusal too).
bool Code_Operator_Unary(CCode* code, int position, int op, ScriptValue& value);
bool Code_Operator_Binary(CCode* code, int position, int op, ScriptValue& left, const ScriptValue& right);
