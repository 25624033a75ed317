#include "script/code_tree.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/memory.h"

namespace {

void MakeFresh(CodeTreeNode* node, int position) {
    node->kind = -1;
    node->op = 0;
    node->instance = 0;
    node->height = 1;
    node->value = ScriptValue{};
    node->childCount = 0;
    node->children = nullptr;
    node->position = position;
}

// The first chunk suits a short expression; each next one doubles, up to the largest.
constexpr size_t kFirstChunkNodes = 16;
constexpr size_t kLargestChunkNodes = 4096;

} // namespace

struct CodeTreeArena::Chunk {
    Chunk* next;
    size_t capacity; // nodes
    size_t used;     // nodes handed out
    CodeTreeNode* Nodes() { return reinterpret_cast<CodeTreeNode*>(this + 1); }
};

CodeTreeNode* CodeTreeArena::Allocate(size_t count) {
    m_valuesAnywhere = true;
    return AllocateNoted(count);
}

CodeTreeNode* CodeTreeArena::AllocateNoted(size_t count) {
    if (!m_chunks || m_chunks->capacity - m_chunks->used < count) {
        if (m_nextSize == 0) m_nextSize = kFirstChunkNodes;
        const size_t capacity = std::max(count, m_nextSize);
        if (capacity > (MemoryManager::kMaxBlockSize - sizeof(Chunk)) / sizeof(CodeTreeNode))
            MemoryManager::OutOfMemory();
        auto* chunk = static_cast<Chunk*>(MEM_ALLOC_RAW(sizeof(Chunk) + capacity * sizeof(CodeTreeNode)));
        chunk->capacity = capacity;
        chunk->used = 0;
        if (m_chunks && capacity > m_nextSize) {
            // A block larger than a chunk gets a chunk of its own, kept behind the one being filled.
            chunk->next = m_chunks->next;
            m_chunks->next = chunk;
            chunk->used = count;
            return chunk->Nodes();
        }
        chunk->next = m_chunks;
        m_chunks = chunk;
        m_nextSize = std::min(m_nextSize * 2, kLargestChunkNodes);
    }
    CodeTreeNode* block = m_chunks->Nodes() + m_chunks->used;
    m_chunks->used += count;
    return block;
}

void CodeTreeArena::FreeValues() {
    auto freeValues = [](CodeTreeNode* nodes, size_t count) {
        for (size_t i = 0; i < count; ++i) {
            if (!nodes[i].value.IsReal()) Value_Free(&nodes[i].value);
        }
    };
    // A value freed before has no text left, so a node noted twice costs nothing more.
    if (!m_valuesAnywhere) {
        for (const auto& [nodes, count] : m_noted)
            freeValues(nodes, count);
        return;
    }
    for (Chunk* chunk = m_chunks; chunk; chunk = chunk->next)
        freeValues(chunk->Nodes(), chunk->used);
}

void CodeTreeArena::Clear() {
    while (m_chunks) {
        Chunk* next = m_chunks->next;
        MEM_FREE(m_chunks);
        m_chunks = next;
    }
    m_nextSize = 0;
    m_noted.clear();
    m_valuesAnywhere = false;
}

void CodeTree_InitNode(CodeTreeNode* node, int position) {
    CodeTree_Free(node);
    MakeFresh(node, position);
}

CodeTreeNode* CodeTree_AddChild(CodeTreeArena& arena, CodeTreeNode* node, int position) {
    const size_t count = static_cast<size_t>(node->childCount);
    CodeTreeNode* block = arena.Allocate(count + 1);
    if (count) {
        std::memcpy(static_cast<void*>(block), node->children, count * sizeof(CodeTreeNode));
        // The values moved: the old block holds none.
        for (size_t c = 0; c < count; ++c)
            node->children[c].value = ScriptValue{};
    }
    node->children = block;
    node->childCount = static_cast<int>(count + 1);
    MakeFresh(&block[count], position);
    return &block[count];
}

void CodeTree_Free(CodeTreeNode* root) {
    if (!root) return;
    // Trees can be far deeper than the machine stack allows to recurse (a long chain of binary operators
    // nests on its left), so the walk keeps its own list of child blocks still to visit.
    std::vector<std::pair<CodeTreeNode*, int>> pending;
    if (root->children) pending.emplace_back(root->children, root->childCount);
    while (!pending.empty()) {
        const auto [block, count] = pending.back();
        pending.pop_back();
        for (int i = 0; i < count; ++i) {
            Value_Free(&block[i].value);
            if (block[i].children) pending.emplace_back(block[i].children, block[i].childCount);
        }
    }
    Value_Free(&root->value);
    root->childCount = 0;
    root->children = nullptr;
}
