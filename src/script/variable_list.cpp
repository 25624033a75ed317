#include "script/variable_list.h"

#include "core/console.h"
#include "core/memory.h"
#include "script/buffer.h"
#include "script/variables.h"

#include <cstdint>
#include <deque>
#include <unordered_map>

struct VariableLayout {
    const VariableLayout* parent;
    int id;
    uint32_t serial;
    const VariableLayout* lastChild; // the child made or found last, tried first
};

namespace {

// Entries of cleared lists, chained through allNext; new entries are taken from here first. The entries
// are never handed back to the memory manager.
VariableListEntry* g_freeEntries = nullptr;

// Every layout made, each the child of a shorter one by one more id. Made on first use and never
// destroyed, so that lists made or destroyed around the program's static objects always find it.
struct LayoutTable {
    static constexpr size_t kMaxLayouts = size_t{1} << 18;
    VariableLayout empty{nullptr, -1, 0, nullptr};
    VariableLayout unshared{nullptr, -1, 1, nullptr};
    std::deque<VariableLayout> made;
    std::unordered_map<uint64_t, const VariableLayout*> children; // (parent serial, id) -> child

    const VariableLayout* Child(const VariableLayout* parent, int id) {
        if (parent == &unshared) return parent;
        if (parent->lastChild != nullptr && parent->lastChild->id == id) return parent->lastChild;
        const uint64_t key = (static_cast<uint64_t>(parent->serial) << 32) | static_cast<uint32_t>(id);
        const VariableLayout* child;
        const auto found = children.find(key);
        if (found != children.end()) {
            child = found->second;
        } else {
            if (made.size() >= kMaxLayouts) return &unshared;
            made.push_back(VariableLayout{parent, id, static_cast<uint32_t>(made.size() + 2), nullptr});
            child = &made.back();
            children.emplace(key, child);
        }
        const_cast<VariableLayout*>(parent)->lastChild = child;
        return child;
    }
};

LayoutTable& Layouts() {
    static LayoutTable* const table = new LayoutTable;
    return *table;
}

inline int BucketOf(int id) {
    return static_cast<int>(static_cast<uint32_t>(id) % CVariableList::kBuckets);
}

} // namespace

CVariableList::CVariableList() : buckets{}, last(nullptr), count(0), layout(&Layouts().empty) {}

CVariableList::~CVariableList() {
    Clear();
}

void CVariableList::Clear() {
    if (last == nullptr) return; // empty: every bucket is empty too
    VariableListEntry* entry = last;
    while (entry) {
        VariableListEntry* older = entry->allNext;
        if (entry->value.IsString() || entry->value.IsArray()) Value_Free(&entry->value);
        Value_SetReal(&entry->value, 0.0);
        buckets[BucketOf(entry->id)] = nullptr; // every non-empty bucket holds one of the entries
        entry->allNext = g_freeEntries;
        g_freeEntries = entry;
        entry = older;
    }
    last = nullptr;
    count = 0;
    layout = &Layouts().empty;
    byPosition.clear();
}

bool CVariableList::LayoutShared() const {
    return layout != &Layouts().unshared;
}

VariableListEntry* CVariableList::Find(int id) const {
    for (VariableListEntry* e = buckets[BucketOf(id)]; e; e = e->bucketNext)
        if (e->id == id) return e;
    return nullptr;
}

VariableListEntry* CVariableList::Add(int id, bool atTail) {
    VariableListEntry* entry = g_freeEntries;
    if (entry) {
        g_freeEntries = entry->allNext;
    } else {
        entry = static_cast<VariableListEntry*>(MEM_ALLOC(sizeof(VariableListEntry)));
    }
    Value_SetReal(&entry->value, 0.0);
    entry->id = id;
    entry->position = count;
    byPosition.push_back(entry);
    layout = Layouts().Child(layout, id);
    VariableListEntry** link = &buckets[BucketOf(id)];
    if (atTail)
        while (*link)
            link = &(*link)->bucketNext;
    entry->bucketNext = *link;
    *link = entry;
    entry->allNext = last;
    last = entry;
    ++count;
    return entry;
}

bool CVariableList::GetVar(int id, int arrayIndex, ScriptValue* out) {
    ArrayIndexFailure.failed = false;
    if (VariableListEntry* entry = Find(id)) return Value_ArrayGet(out, &entry->value, arrayIndex);
    return ReadAbsent(out);
}

bool CVariableList::ReadAbsent(ScriptValue* out) {
    Value_Free(out);
    if (VariableList_State().Variable_UnsetIsError) {
        Value_SetReal(out, kUnsetVariableMarker);
        return false;
    }
    Value_SetReal(out, 0.0);
    return true;
}

void CVariableList::SetVar(int id, int arrayIndex, const ScriptValue* value) {
    ArrayIndexFailure.failed = false;
    VariableListEntry* entry = Find(id);
    if (!entry) entry = Add(id);
    Value_AssignIndexed(&entry->value, value, arrayIndex);
}

ScriptValue* CVariableList::SlotOrAdd(int id) {
    VariableListEntry* entry = Find(id);
    return &(entry ? entry : Add(id))->value;
}

void CVariableList::Declare(int id) {
    if (!Find(id)) Add(id);
}

void CVariableList::CopyFrom(const CVariableList* other) {
    if (other == this) return;
    Clear();
    if (!other) return;
    for (VariableListEntry* head : other->buckets)
        for (VariableListEntry* e = head; e; e = e->bucketNext)
            Value_Duplicate(&Add(e->id)->value, &e->value);
}

void CVariableList::Serialise(IBuffer* buffer) const {
    Buffer_WriteReal(buffer, eBuffer_S32, count);
    for (VariableListEntry* head : buckets) {
        for (VariableListEntry* e = head; e; e = e->bucketNext) {
            buffer->WriteString(Code_Variable_GetName(e->id));
            Value_Serialise(&e->value, buffer);
        }
    }
}

bool CVariableList::Deserialise(IBuffer* buffer) {
    Clear();
    // Each saved variable takes at least a one-byte name and a four-byte kind word.
    int saved;
    if (!Buffer_ReadInt32(buffer, &saved) || !Buffer_CountFits(buffer, saved, 5)) return false;
    for (int i = 0; i < saved; ++i) {
        if (!buffer->CanRead(eBuffer_String)) return false;
        char* name = buffer->ReadString();
        int id = Code_Variable_FindUser(name);
        bool ok;
        if (id >= 0) {
            VariableListEntry* entry = Find(id);
            if (!entry) entry = Add(id, true);
            ok = Value_Deserialise(&entry->value, buffer);
        } else {
            DebugConsole->Output("WARNING: Load game failed to find variable \"%s\"\n", name ? name : "");
            ScriptValue skipped;
            ok = Value_Deserialise(&skipped, buffer);
            Value_Free(&skipped);
        }
        MEM_FREE(name);
        if (!ok) return false;
    }
    return true;
}

void CVariableList::Dump(tagIConsole* console) const {
    for (VariableListEntry* head : buckets) {
        for (VariableListEntry* e = head; e; e = e->bucketNext)
            DumpOne(console, e->id, &e->value);
    }
}

void CVariableList::DumpOne(tagIConsole* console, int id, const ScriptValue* value) {
    console->Output("%s(%d) = ", Code_Variable_GetName(id), id);
    Value_AppendDebugText(console, value);
    console->Output("\n");
}
