#include "script/native_code.h"

#include "core/memory.h"
#include "core/text.h"
#include "script/script_world.h"

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
};

void Gather(CInstance* instance, void* context) {
    auto* c = static_cast<Candidates*>(context);
    if (c->count + 1 == c->capacity || !c->list) {
        c->capacity = c->capacity ? c->capacity * 2 : 16;
        c->list = static_cast<CInstance**>(
            MEM_REALLOC(c->list, static_cast<size_t>(c->capacity) * sizeof(CInstance*)));
    }
    c->list[++c->count] = instance;
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
    const ScriptWorld& world = Script_World();

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
    case kAll: {
        Candidates c;
        world.forEachActiveInstance(Gather, &c);
        return ManyVisits(it, c, self, other);
    }
    default:
        break;
    }
    if (target >= kFirstInstanceId) {
        CInstance* instance = world.findActiveInstance(target);
        if (!instance) return 0;
        SingleVisit(it);
        *other = it->savedSelf;
        *self = instance;
        return 1;
    }
    if (target >= 0) {
        if (!world.objectExists(target)) return 0;
        Candidates c;
        world.forEachActiveObjectInstance(target, Gather, &c);
        return ManyVisits(it, c, self, other);
    }
    return 0;
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
