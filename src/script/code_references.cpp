#include "script/code_references.h"

#include "core/process_exit.h"
#include "core/text.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/variables.h"
#include "script/vm/vm_format.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The instructions that references may name, by the offset of their instruction word in the file, and
// whether a chain has bound them yet. They are gathered in the order of the code entries, whose own
// instructions come in file order, and sorted by offset once before the first look-up; entries that share
// bytecode give the same slot twice, which the sort keeps once.
enum RefKind : uint8_t { REF_VARIABLE = 1, REF_FUNCTION = 2 };
struct RefSlot {
    uint32_t at;
    RefKind kind;
    bool bound;
};
std::vector<RefSlot> g_refs;
bool g_refsSorted = true;

void AddRef(uint32_t at, RefKind kind) {
    if (!g_refs.empty() && g_refs.back().at >= at) g_refsSorted = false;
    g_refs.push_back(RefSlot{at, kind, false});
}

RefSlot* FindRef(int64_t at) {
    if (at < 0 || at > UINT32_MAX) return nullptr;
    const auto before = [](const RefSlot& slot, uint32_t offset) { return slot.at < offset; };
    if (!g_refsSorted) {
        std::stable_sort(g_refs.begin(), g_refs.end(),
                         [](const RefSlot& a, const RefSlot& b) { return a.at < b.at; });
        g_refs.erase(std::unique(g_refs.begin(), g_refs.end(),
                                 [](const RefSlot& a, const RefSlot& b) { return a.at == b.at; }),
                     g_refs.end());
        g_refsSorted = true;
    }
    auto found = std::lower_bound(g_refs.begin(), g_refs.end(), static_cast<uint32_t>(at), before);
    return found != g_refs.end() && found->at == at ? &*found : nullptr;
}

void ClearRefs() {
    g_refs.clear();
    g_refsSorted = true;
}

// Walks the instructions of an entry: each must lie inside the bytecode with its operand. visit(at, word)
// sees every instruction word's file offset; it may refuse (false).
template <typename Visit> bool WalkCode(const CDataView& file, const CodeRecord& entry, Visit visit) {
    const uint64_t end = static_cast<uint64_t>(entry.bytecode) + static_cast<uint32_t>(entry.length);
    uint64_t at = entry.bytecode;
    while (at < end) {
        uint32_t word;
        if (end - at < 4 || !file.U32(at, &word))
            return Load_Fail("Chunk CODE: an instruction of %s runs past its end", Text_Escaped(entry.name).c_str());
        int operand = VM_HasOperand(VM_Opcode(word)) ? VM_OperandSize(VM_Type1(word)) : 0;
        if (end - at - 4 < static_cast<uint64_t>(operand))
            return Load_Fail("Chunk CODE: an operand of %s runs past its end", Text_Escaped(entry.name).c_str());
        if (!visit(at, word)) return false;
        at += 4 + static_cast<uint64_t>(operand);
    }
    return true;
}

bool IndexReferences(uint64_t at, uint32_t word) {
    int op = VM_Opcode(word), type = VM_Type1(word);
    bool variable =
        (op == OP_PUSH && type == VT_VARIABLE) || (op == OP_POP && (type == VT_VARIABLE || type == VT_INT));
    bool function = op == OP_CALL && VM_OperandSize(type) == 4;
    if (variable || function) AddRef(static_cast<uint32_t>(at), variable ? REF_VARIABLE : REF_FUNCTION);
    return true;
}

// Follows a chain of references through the bytecode, writing the id into each operand word. A variable
// operand keeps its top three bits and links on by its low 29 bits (sign-extended); a function operand is
// the id and links on by the whole word.
bool BindChain(const CDataView& file, const char* chunkName, const char* name, int32_t count, uint32_t first,
               RefKind kind, int id) {
    if (count < 0)
        return Load_Fail("Chunk %s: %s has a negative reference count", chunkName, Text_Escaped(name).c_str());
    int64_t at = first;
    for (int32_t i = 0; i < count; ++i) {
        RefSlot* slot = FindRef(at);
        if (!slot || slot->kind != kind)
            return Load_Fail("Chunk %s: reference %d of %s (offset %lld) is not a %s instruction of the code",
                        chunkName, i, Text_Escaped(name).c_str(), static_cast<long long>(at),
                        kind == REF_VARIABLE ? "variable" : "call");
        if (slot->bound)
            return Load_Fail("Chunk %s: reference %d of %s (offset %lld) was bound already", chunkName, i,
                             Text_Escaped(name).c_str(), static_cast<long long>(at));
        slot->bound = true;
        uint32_t word = file.WordAt(at + 4);
        int64_t next;
        if (kind == REF_VARIABLE) {
            file.WriteU32(at + 4, (word & ~kVarRefIdMask) | (static_cast<uint32_t>(id) & kVarRefIdMask));
            next = static_cast<int32_t>(word << 3) >> 3;
        } else {
            file.WriteU32(at + 4, static_cast<uint32_t>(id));
            next = static_cast<int32_t>(word);
        }
        at += next;
    }
    return true;
}

// Shown as an aborting error, and on standard error as the load's failure, then the run ends.
void EndRunOnLoadError(const char* text) {
    std::fprintf(stderr, "%s\n", Runner_LoadFailureLine().c_str());
    Code_Error_Show(text, true);
    Process_Exit(1);
}

void (*g_loadErrorHandler)(const char* text) = EndRunOnLoadError;

bool UnableToFind(const char* chunkName, const char* kind, const char* name) {
    const std::string shown = Text_Escaped(name);
    Load_Fail("Chunk %s: Unable to find %s %s", chunkName, kind, shown.c_str());
    char text[1024];
    std::snprintf(text, sizeof text, "Error on load\nUnable to find %s %s\n", kind, shown.c_str());
    g_loadErrorHandler(text);
    return false;
}

// Reads the 12-byte records {name offset, count, first reference} of "VARI" and "FUNC" and binds each.
template <typename Resolve>
bool LoadReferences(const CDataView& file, const IFFChunk& chunk, RefKind kind, Resolve resolve) {
    std::string chunkName = IFF_TagName(chunk.tag);
    if (chunk.length % 12 != 0)
        return Load_Fail("Chunk %s: its length is not a multiple of 12", chunkName.c_str());
    for (uint64_t at = chunk.offset; at < chunk.End(); at += 12) {
        const char* name;
        if (!file.ReadText(file.WordAt(at), &name) || !name)
            return Load_Fail("Chunk %s: a reference record has no name in the file", chunkName.c_str());
        int id = resolve(name);
        if (id < 0) return UnableToFind(chunkName.c_str(), kind == REF_VARIABLE ? "variable" : "function", name);
        if (!BindChain(file, chunkName.c_str(), name, static_cast<int32_t>(file.WordAt(at + 4)),
                       file.WordAt(at + 8), kind, id))
            return false;
    }
    return true;
}

int FindFunction(const char* name) {
    int id;
    return Code_Function_Find(name, id) ? id : -1;
}

} // namespace

void Code_ClearReferences() {
    ClearRefs();
}

bool Code_IndexReferences(const CDataView& file, const CodeRecord& record) {
    if (WalkCode(file, record, IndexReferences)) return true;
    ClearRefs();
    return false;
}

bool Code_PatchStrings(const CDataView& file, const IFFChunk& /*chunk*/) {
    for (const CodeRecord& entry : Code_Records()) {
        if (!entry.name) continue;
        bool ok = WalkCode(file, entry, [&](uint64_t at, uint32_t word) {
            if (!VM_HasOperand(VM_Opcode(word)) || VM_Type1(word) != VT_STRING) return true;
            uint32_t index = file.WordAt(at + 4);
            if (Code_GetString(static_cast<int>(index))) return true;
            return Load_Fail("Chunk CODE: string operand %u of %s at offset %llu is not in the string table",
                             index, Text_Escaped(entry.name).c_str(), static_cast<unsigned long long>(at));
        });
        if (!ok) return false;
    }
    return true;
}

bool VARI_Load(const CDataView& file, const IFFChunk& chunk) {
    return LoadReferences(file, chunk, REF_VARIABLE, Code_Variable_FindAlloc);
}

bool FUNC_Load(const CDataView& file, const IFFChunk& chunk) {
    return LoadReferences(file, chunk, REF_FUNCTION, FindFunction);
}

void Code_SetLoadErrorHandler(void (*handler)(const char* text)) {
    g_loadErrorHandler = handler ? handler : EndRunOnLoadError;
}
