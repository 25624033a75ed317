// Phase 3 of the compiler: a recursive-descent parser from resolved tokens to the syntax tree.
#pragma once

#include <functional>

#include "script/code_tree.h"
#include "script/compiler/resolve.h"

// Both clear the error flag, parse into root (freeing what it held) and give false after recording the
// first error; a partly built tree stays in root. Text that nests deeper than kCodeTreeMaxDepth is
// refused.
bool Code_ParseProgram(CCode* code, const CodeResolvedList& tokens, CodeTreeNode* root);
// An empty text gives the constant real 0; tokens after the expression are not looked at.
bool Code_ParseExpression(CCode* code, const CodeResolvedList& tokens, CodeTreeNode* root);
// Receives each statement of a program as soon as it is parsed and folded.
using CodeStatementSink = std::function<void(const CodeTreeNode& statement)>;

// Parses a program or an expression and folds it (Code_Fold) in the same pass, with the same tree and the
// same error as the two done one after the other. With a sink, the statements of a program that is not
// one block go to the sink in order as each is finished, until an error; *handedOver tells whether they
// all did (the text was not parsed a second time), so that on success they are the root's children.
bool Code_ParseFolded(CCode* code, const CodeResolvedList& tokens, bool program, CodeTreeNode* root,
                      const CodeStatementSink* sink = nullptr, bool* handedOver = nullptr);

// The height of a tree (a lone node is 1), found without recursion. Once a node lies deeper than limit
// the walk stops and gives that node in tooDeep (null otherwise).
int CodeTree_Height(const CodeTreeNode* root, int limit, const CodeTreeNode** tooDeep);
