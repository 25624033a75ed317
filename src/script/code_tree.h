// The syntax tree of compiled code, shared by the parser, the constant folder, the code generator and
// the tree evaluator.
#pragma once

#include "script/value.h"

// One node. Its children are one memory-manager block of childCount nodes owned by this node alone: no
// other node ever points into it, so every child block is freed exactly once. Code that moves a subtree
// takes the pointer over and clears it at the source; code that needs a subtree twice copies it.
struct CodeTreeNode {
    int kind;          // -1 for a fresh node
    int op;            // operator, callable id or variable id, by kind
    int instance;      // constant instance code of a variable node
    ScriptValue value; // the constant of a constant node, owned
    int childCount;
    CodeTreeNode* children;
    int position; // byte position in the code's text
};

// Frees the node's children and value, then makes it a fresh node (kind -1) at the given position.
void CodeTree_InitNode(CodeTreeNode* node, int position);
// Appends a fresh child (kind -1) at the given position and gives it. The child block is regrown, so
// references to earlier children do not survive the call.
CodeTreeNode* CodeTree_AddChild(CodeTreeNode* node, int position);
// Frees every node below root with its value, and root's value; root itself is freed (it must then be a
// memory-manager block) when freeRoot is set, else left as a node without children.
void CodeTree_Free(CodeTreeNode* root, bool freeRoot);
