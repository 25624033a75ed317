#include "script/code.h"

#include "core/memory.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "script/compiled_game.h"
#include "script/vm/vm_buffer.h"

namespace {

const char kNoText[] = "";

CCode* g_listHead = nullptr;
int g_listCount = 0;

int KindOf(int expression) {
    return expression == 1 ? CODE_KIND_EXPRESSION : CODE_KIND_PROGRAM;
}

} // namespace

CCode::CCode(const char* sourceText, int expression) : kind(KindOf(expression)), text(sourceText) {
    tree.kind = -1;
}

CCode::CCode(int codeIndex, int expression) : kind(KindOf(expression)), text(kNoText), index(codeIndex) {
    tree.kind = -1;
    if (CompiledGame_Mode()) {
        if (const CompiledGameCodeEntry* entry = CompiledGame_CodeTable(codeIndex)) {
            SetName(entry->name);
            nativeEntry = entry;
        }
    } else {
        CodeChunkEntry record;
        if (Code_GetEntry(codeIndex, record)) {
            code = new VMBuffer(record.bytecode, record.length, false);
            SetName(record.name);
            if (const char* debugText = DebugInfo_GetText(codeIndex)) text = debugText;
            uint8_t* pairs;
            int size;
            if (DebugInfo_GetTable(codeIndex, pairs, size)) debugInfo = new VMBuffer(pairs, size, false);
        }
    }
    lineText = text;
    compiled = true;
    if (codeIndex >= 0) {
        unlisted = false;
        next = g_listHead;
        if (next) next->previous = this;
        g_listHead = this;
        ++g_listCount;
    }
}

CCode::~CCode() {
    if (!unlisted) {
        (previous ? previous->next : g_listHead) = next;
        if (next) next->previous = previous;
        --g_listCount;
    }
    // Every value of the tree lies in one of the arena's nodes or in the root: freeing them in the order
    // they lie in memory is quicker than a walk of a large tree.
    treeArena.FreeValues();
    Value_Free(&tree.value);
    Value_Free(&constant);
    delete code;
    delete debugInfo;
    MEM_FREE(m_lineTextCopy);
    MEM_FREE(name);
}

void CCode::SetName(const char* newName) {
    MEM_FREE(name);
    name = String_Duplicate(newName);
}

void CCode::SetLineText(char* ownedCopy) {
    MEM_FREE(m_lineTextCopy);
    m_lineTextCopy = ownedCopy;
    lineText = ownedCopy;
}

CCode* Code_ListHead() {
    return g_listHead;
}

int Code_ListCount() {
    return g_listCount;
}
