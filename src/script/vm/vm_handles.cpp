#include "script/vm/vm_handles.h"

#include <cstring>
#include <vector>

#include "core/memory.h"
#include "core/text.h"
#include "script/value.h"

namespace {

enum class HeldKind : uint8_t { Free, Text, Array };

struct Held {
    HeldKind kind;
    int level;
    union {
        char* text;
        ScriptArray* array;
        uint32_t nextFree; // a free slot: the slot freed before it, or kNoSlot
    };
};

constexpr uint32_t kNoSlot = 0xFFFFFFFFu;

std::vector<char*> g_constants;
std::vector<Held> g_held;
// The free slots, each naming the one freed before it: the last freed is used first.
uint32_t g_firstFree = kNoSlot;
int g_freeCount = 0;
// Live handles per level; a level with none needs no sweep when its execution ends.
std::vector<int> g_heldPerLevel;

// The constants live until the process ends.
struct ConstantsRelease {
    ~ConstantsRelease() { VMString_ClearConstants(); }
} g_constantsRelease;

Held* Slot(uint32_t handle, HeldKind kind) {
    if (!(handle & kHeldHandleBit)) return nullptr;
    const uint32_t index = handle & ~kHeldHandleBit;
    if (index >= g_held.size() || g_held[index].kind != kind) return nullptr;
    return &g_held[index];
}

// The growths of the tables, kept out of the way of the common case, which reuses a free slot.
[[gnu::noinline]] uint32_t NewSlot() {
    if (g_held.size() >= kHeldHandleBit) MemoryManager::OutOfMemory();
    g_held.push_back({});
    return static_cast<uint32_t>(g_held.size() - 1);
}
[[gnu::noinline]] void AddLevels(int level) {
    g_heldPerLevel.resize(static_cast<size_t>(level) + 1);
}

uint32_t Hold(HeldKind kind, void* pointer, int level) {
    if (level < 0) level = 0;
    uint32_t index = g_firstFree;
    if (index != kNoSlot) {
        g_firstFree = g_held[index].nextFree;
        --g_freeCount;
    } else {
        index = NewSlot();
    }
    Held& slot = g_held[index];
    slot.kind = kind;
    slot.level = level;
    if (kind == HeldKind::Text)
        slot.text = static_cast<char*>(pointer);
    else
        slot.array = static_cast<ScriptArray*>(pointer);
    if (g_heldPerLevel.size() <= static_cast<size_t>(level)) AddLevels(level);
    ++g_heldPerLevel[static_cast<size_t>(level)];
    return index | kHeldHandleBit;
}

void Release(Held& slot) {
    --g_heldPerLevel[static_cast<size_t>(slot.level)];
    slot.kind = HeldKind::Free;
    slot.text = nullptr;
    slot.nextFree = g_firstFree;
    g_firstFree = static_cast<uint32_t>(&slot - g_held.data());
    ++g_freeCount;
}

// The pointer a live handle of the kind holds; with take the slot is freed and the caller owns it.
bool Get(uint32_t handle, HeldKind kind, bool take, void** pointer) {
    Held* slot = Slot(handle, kind);
    if (slot == nullptr) return false;
    *pointer = kind == HeldKind::Text ? static_cast<void*>(slot->text) : static_cast<void*>(slot->array);
    if (take) Release(*slot);
    return true;
}

} // namespace

uint32_t VMString_AddConstant(const char* text) {
    g_constants.push_back(text ? Text_New(text, std::strlen(text)) : nullptr);
    return static_cast<uint32_t>(g_constants.size() - 1);
}

int VMString_ConstantCount() {
    return static_cast<int>(g_constants.size());
}

void VMString_ClearConstants() {
    for (char* text : g_constants)
        MEM_FREE(text);
    g_constants.clear();
}

bool VMString_GetConstant(uint32_t handle, const char** text) {
    if (handle >= g_constants.size()) return false;
    *text = g_constants[handle];
    return true;
}

uint32_t VMString_Hold(char* text, int level) {
    return Hold(HeldKind::Text, text, level);
}

bool VMString_Read(uint32_t handle, const char** text) {
    if (!(handle & kHeldHandleBit)) return VMString_GetConstant(handle, text);
    char* held;
    if (!Get(handle, HeldKind::Text, false, reinterpret_cast<void**>(&held))) return false;
    *text = held;
    return true;
}

bool VMString_TakeOrCopy(uint32_t handle, char** text) {
    if (handle & kHeldHandleBit) return Get(handle, HeldKind::Text, true, reinterpret_cast<void**>(text));
    const char* constant;
    if (!VMString_GetConstant(handle, &constant)) return false;
    *text = Text_Copy(constant);
    return true;
}

bool VMString_Drop(uint32_t handle) {
    if (!(handle & kHeldHandleBit)) {
        const char* constant;
        return VMString_GetConstant(handle, &constant);
    }
    char* text;
    if (!Get(handle, HeldKind::Text, true, reinterpret_cast<void**>(&text))) return false;
    MEM_FREE(text);
    return true;
}

uint32_t VMArray_Hold(ScriptArray* array, int level) {
    return Hold(HeldKind::Array, array, level);
}

bool VMArray_Take(uint32_t handle, ScriptArray** array) {
    return Get(handle, HeldKind::Array, true, reinterpret_cast<void**>(array));
}

bool VMArray_Peek(uint32_t handle, ScriptArray** array) {
    return Get(handle, HeldKind::Array, false, reinterpret_cast<void**>(array));
}

void VMHeld_ReleaseLevel(int level) {
    if (level < 0) level = 0;
    bool any = false;
    for (size_t l = static_cast<size_t>(level); l < g_heldPerLevel.size(); ++l)
        any = any || g_heldPerLevel[l] > 0;
    if (!any) return;
    for (Held& slot : g_held) {
        if (slot.kind == HeldKind::Free || slot.level < level) continue;
        if (slot.kind == HeldKind::Text) {
            MEM_FREE(slot.text);
        } else {
            ScriptValue value{};
            value.kind = KIND_ARRAY;
            value.arr = slot.array;
            Value_Free(&value);
        }
        Release(slot);
    }
}

int VMHeld_Count() {
    return static_cast<int>(g_held.size()) - g_freeCount;
}
