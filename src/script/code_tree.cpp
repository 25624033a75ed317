#include "script/code_tree.h"

#include "core/memory.h"

namespace {

void MakeFresh(CodeTreeNode* node, int position) {
    node->kind = -1;
    node->op = 0;
    node->instance = 0;
    node->value = ScriptValue{};
    node->childCount = 0;
    node->children = nullptr;
    node->position = position;
}

} // namespace

void CodeTree_InitNode(CodeTreeNode* node, int position) {
    CodeTree_Free(node, false);
    MakeFresh(node, position);
}

CodeTreeNode* CodeTree_AddChild(CodeTreeNode* node, int position) {
    size_t count = static_cast<size_t>(node->childCount) + 1;
    node->children = static_cast<CodeTreeNode*>(MEM_REALLOC(node->children, count * sizeof(CodeTreeNode)));
    CodeTreeNode* child = &node->children[node->childCount];
    node->childCount = static_cast<int>(count);
    MakeFresh(child, position);
    return child;
}

void CodeTree_Free(CodeTreeNode* root, bool freeRoot) {
    if (!root) return;
    // Child blocks waiting to be freed. Trees can be far deeper than the machine stack allows to recurse
    // (a long chain of binary operators nests on its left), so the walk keeps its own list.
    struct Pending {
        CodeTreeNode* block;
        int count;
    };
    Pending* pending = nullptr;
    size_t pendingCount = 0;
    size_t pendingCapacity = 0;
    auto push = [&](const CodeTreeNode& node) {
        if (!node.children) return;
        if (pendingCount == pendingCapacity) {
            pendingCapacity += 512;
            pending = static_cast<Pending*>(MEM_REALLOC(pending, pendingCapacity * sizeof(Pending)));
        }
        pending[pendingCount++] = {node.children, node.childCount};
    };

    push(*root);
    while (pendingCount > 0) {
        Pending p = pending[--pendingCount];
        for (int i = 0; i < p.count; ++i) {
            Value_Free(&p.block[i].value);
            push(p.block[i]);
        }
        MEM_FREE(p.block);
    }
    MEM_FREE(pending);

    Value_Free(&root->value);
    if (freeRoot) {
        MEM_FREE(root);
    } else {
        root->childCount = 0;
        root->children = nullptr;
    }
}
