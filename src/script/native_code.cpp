#include "script/native_code.h"

#include "core/memory.h"
#include "core/text.h"
#include "script/world_interface.h"

#include <cstring>

namespace {

constexpr int kLocal = -7;
constexpr int kBuiltIn = -6;
constexpr int kGlobal = -5;
constexpr int kNoone = -4;
constexpr int kAll = -3;
constexpr int kOther = -2;
constexpr int kSelf = -1;
constexpr int kFirstInstanceId = 100000;

// The candidates of a with-statement, gathered behind the end mark in entry 0.
struct Candidates {
    CInstance** list = nullptr;
    int count = 0; // candidates, not counting the end mark
    int capacity = 0;

    void Add(CInstance* instance) {
        if (count + 1 >= capacity) {
            capacity = capacity ? capacity * 2 : 16;
            list = static_cast<CInstance**>(
                MEM_REALLOC(list, static_cast<size_t>(capacity) * sizeof(CInstance*)));
        }
        list[++count] = instance;
    }
};

bool IsActive(IScriptWorld* world, CInstance* instance) {
    return !world->IsMarked(instance) && !world->IsDeactivated(instance);
}

// The active instances of a list; with matchObject only those of that object index.
void GatherActive(IScriptWorld* world, ScriptInstanceList list, int objectIndex, bool matchObject,
                  Candidates& c) {
    world->VisitInstances(list, objectIndex, [&](CInstance* instance) {
        if (IsActive(world, instance) && (!matchObject || world->ObjectIndexOf(instance) == objectIndex))
            c.Add(instance);
        return true;
    });
}

// A list of only the end mark: one visit, of the self that Begin sets.
void SingleVisit(WithIterator* it) {
    it->list = static_cast<CInstance**>(MEM_ALLOC(sizeof(CInstance*)));
    it->cursor = 1;
}

// Many visits: self becomes the last candidate; Next walks back from the one before it.
int ManyVisits(WithIterator* it, Candidates& c, CInstance** self, CInstance** other) {
    if (c.count == 0) {
        MEM_FREE(c.list);
        return 0;
    }
    it->list = c.list;
    it->cursor = c.count;
    *other = it->savedSelf;
    *self = c.list[c.count];
    return c.count;
}

} // namespace

int WithIterator_Begin(WithIterator* it, CInstance** self, CInstance** other, int target) {
    it->savedSelf = *self;
    it->savedOther = *other;
    it->list = nullptr;
    it->cursor = 0;

    switch (target) {
    case kLocal:
    case kGlobal:
    case kNoone:
        return -1;
    case kSelf:
    case kBuiltIn:
        SingleVisit(it);
        *other = it->savedSelf;
        return 1;
    case kOther:
        SingleVisit(it);
        *self = it->savedOther;
        *other = it->savedSelf;
        return 1;
    default:
        break;
    }
    IScriptWorld* world = ScriptWorld_Get();
    if (!world || (target < 0 && target != kAll)) return 0; // without a world no instance exists
    if (target >= kFirstInstanceId) {
        CInstance* instance = world->FindInstance(target);
        if (!instance || !IsActive(world, instance)) return 0;
        SingleVisit(it);
        *other = it->savedSelf;
        *self = instance;
        return 1;
    }
    // All, or an object: its own instances, then those that changed into it during this stage. An
    // object index that names no object has no instances.
    Candidates c;
    if (target == kAll) {
        GatherActive(world, ScriptInstanceList::Room, -1, false, c);
    } else {
        GatherActive(world, ScriptInstanceList::Object, target, false, c);
        GatherActive(world, ScriptInstanceList::ChangedObject, target, true, c);
    }
    return ManyVisits(it, c, self, other);
}

bool WithIterator_Next(WithIterator* it, CInstance** self) {
    if (!it->list || it->cursor <= 0) return false;
    CInstance* next = it->list[--it->cursor];
    if (!next) return false;
    *self = next;
    return true;
}

void WithIterator_End(WithIterator* it, CInstance** self, CInstance** other) {
    MEM_FREE(it->list);
    it->list = nullptr;
    it->cursor = 0;
    *self = it->savedSelf;
    *other = it->savedOther;
}

char* String_Add(const char* a, const char* b) {
    if (!a) return String_Duplicate(b);
    if (!b) return String_Duplicate(a);
    size_t la = std::strlen(a);
    size_t lb = std::strlen(b);
    char* joined = static_cast<char*>(MEM_ALLOC_RAW(la + lb + 1));
    std::memcpy(joined, a, la);
    std::memcpy(joined + la, b, lb + 1);
    return joined;
}
