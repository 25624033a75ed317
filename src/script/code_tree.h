// The syntax tree of compiled code, shared by the parser, the constant folder and the code generator.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "script/value.h"

// One node. Its children are one block of childCount nodes taken from the tree's arena, and no other
// node ever points into it. Code that moves a subtree copies the node over and clears the source; the
// values (texts) a tree holds are its own and freed by CodeTree_Free.
struct CodeTreeNode {
    int kind;          // -1 for a fresh node
    int op;            // operator, callable id or variable id, by kind
    int instance;      // constant instance code of a variable node
    int height;        // the parser's count of levels from here down (1 for a leaf); not kept up later
    ScriptValue value; // the constant of a constant node, owned
    CodeTreeNode* children;
    int childCount;
    int position; // byte position in the code's text
};
static_assert(sizeof(CodeTreeNode) == 48, "trees are walked often: keep nodes packed");

// The node blocks of trees, carved from chunks that grow as the trees do and are given back together
// when the arena is cleared or destroyed: a tree costs a few allocations, not one per node, and
// dropping it frees no block of its own. Free the trees' values before their arena goes.
class CodeTreeArena {
public:
    CodeTreeArena() = default;
    ~CodeTreeArena() { Clear(); }
    CodeTreeArena(const CodeTreeArena&) = delete;
    CodeTreeArena& operator=(const CodeTreeArena&) = delete;

    // A block of count nodes (count > 0), their contents unset until the caller fills them all; it lives
    // as long as the arena.
    CodeTreeNode* Allocate(size_t count);
    // The same, for a caller that notes (NoteValues) each of its nodes that comes to hold a value other
    // than a real.
    CodeTreeNode* AllocateNoted(size_t count);
    void NoteValues(CodeTreeNode* nodes, size_t count) { m_noted.emplace_back(nodes, count); }
    // Values may have been set in nodes without a note (a pass that changed the nodes in place).
    void SetValuesAnywhere() { m_valuesAnywhere = true; }

    // Frees the values the arena's nodes hold; the nodes stay. As a value lies in one node only, this
    // frees the values of the arena's trees (less their roots'): those noted when every block was
    // allocated noted, else those of all the nodes, in the order they lie in memory.
    void FreeValues();
    void Clear();

private:
    struct Chunk;
    Chunk* m_chunks = nullptr; // newest first
    size_t m_nextSize = 0;     // nodes in the next chunk
    std::vector<std::pair<CodeTreeNode*, size_t>> m_noted;
    bool m_valuesAnywhere = false;
};

// Frees the values below the node and its own, then makes it a fresh node (kind -1) at the given
// position.
void CodeTree_InitNode(CodeTreeNode* node, int position);
// Appends a fresh child (kind -1) at the given position and gives it. The children move to a new block
// of the arena, so references to earlier children do not survive the call.
CodeTreeNode* CodeTree_AddChild(CodeTreeArena& arena, CodeTreeNode* node, int position);
// Frees every value below root and root's own, and leaves root without children; the node blocks stay
// with their arena.
void CodeTree_Free(CodeTreeNode* root);
