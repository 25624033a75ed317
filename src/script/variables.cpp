#include "script/variables.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/name_map.h"
#include "core/text.h"
#include "script/buffer.h"
#include "script/value.h"
#include "script/variable_list.h"
#include "script/world_interface.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace {

char** g_userNames = nullptr;
int g_userCount = 0;
int g_userCapacity = 0;
// The index of each name in g_userNames: compiling and binding look names up all the time.
NameMap<int> g_userIndex;

// The first built-in variable of each name.
NameMap<int> g_builtInIndex;

constexpr int kInitialGlobalFlags = 10000;
constexpr int kGlobalFlagStep = 1000;

// A fresh zeroed flag array of `count` flags.
void ResetGlobalFlags(int count) {
    MEM_FREE(Variable_State().g_globalFlags);
    Variable_State().g_globalFlags = static_cast<uint8_t*>(MEM_ALLOC(static_cast<size_t>(count)));
    Variable_State().g_globalFlagCount = count;
    ++Variable_State().Variable_GlobalNamesVersion;
}

inline bool IsActive(IScriptWorld* world, CInstance* instance) {
    return !world->IsMarked(instance) && !world->IsDeactivated(instance);
}

// The first active instance of a list (of one object index when objectIndex >= 0 and the list is not
// already the object's own), or null.
CInstance* FirstActive(IScriptWorld* world, ScriptInstanceList list, int objectIndex, bool matchObject) {
    CInstance* found = nullptr;
    world->VisitInstances(list, objectIndex, [&](CInstance* instance) {
        if (!IsActive(world, instance)) return true;
        if (matchObject && world->ObjectIndexOf(instance) != objectIndex) return true;
        found = instance;
        return false;
    });
    return found;
}

// The one instance a read of a target reaches: for all, the room's first active instance; for an
// instance id, that instance unless it is marked for destruction (a deactivated one is still read); for
// an object, its first active instance, else the first active one of that object among the instances
// whose object or activation changed during this step.
CInstance* Target_First(int target) {
    IScriptWorld* world = ScriptWorld_Get();
    if (!world) return nullptr; // no world yet: no instance exists
    if (target == -3) return FirstActive(world, ScriptInstanceList::Room, -1, false);
    if (target >= kUserVariableBase) {
        CInstance* instance = world->FindInstance(target);
        return instance && !world->IsMarked(instance) ? instance : nullptr;
    }
    if (target < 0) return nullptr;
    CInstance* instance = FirstActive(world, ScriptInstanceList::Object, target, false);
    if (!instance) instance = FirstActive(world, ScriptInstanceList::ChangedObject, target, true);
    if (!instance) instance = FirstActive(world, ScriptInstanceList::ActivationChange, target, true);
    return instance;
}

// Calls write for every instance a write to the target reaches: all active instances of the room; the
// instance of an id unless marked; the active instances of an object, then the active ones of that
// object among the instances whose object changed. False for other negative targets.
template <typename Write> bool Target_ForEach(int target, Write write) {
    if (target < 0 && target != -3) return false;
    IScriptWorld* world = ScriptWorld_Get();
    if (!world) return true; // no world yet: nothing to write
    if (target >= kUserVariableBase) {
        CInstance* instance = world->FindInstance(target);
        if (instance && !world->IsMarked(instance)) write(instance);
        return true;
    }
    auto visitActive = [&](ScriptInstanceList list, bool matchObject) {
        world->VisitInstances(list, target, [&](CInstance* instance) {
            if (IsActive(world, instance) && (!matchObject || world->ObjectIndexOf(instance) == target))
                write(instance);
            return true;
        });
    };
    if (target == -3) {
        visitActive(ScriptInstanceList::Room, false);
    } else {
        visitActive(ScriptInstanceList::Object, false);
        visitActive(ScriptInstanceList::ChangedObject, true);
    }
    return true;
}

} // namespace

// ---- User variable names

int Code_Variable_FindUser(const char* name) {
    if (!name) return -1;
    const auto found = g_userIndex.find(name);
    return found == g_userIndex.end() ? -1 : kUserVariableBase + found->second;
}

int Code_Variable_FindOrAddUser(const char* name) {
    int id = Code_Variable_FindUser(name);
    if (id >= 0) return id;
    // The array doubles when full rather than being copied for every new name.
    if (g_userCount == g_userCapacity) {
        g_userCapacity = g_userCapacity ? 2 * g_userCapacity : 256;
        MemoryManager::SetLength(g_userNames, sizeof(char*) * static_cast<size_t>(g_userCapacity), __FILE__,
                                 __LINE__);
    }
    g_userNames[g_userCount] = String_Duplicate(name);
    if (name) g_userIndex.emplace(name, g_userCount);
    return kUserVariableBase + g_userCount++;
}

int Code_Variable_FindAlloc(const char* name) {
    int index = Variable_BuiltIn_Find(name);
    return index >= 0 ? index : Code_Variable_FindOrAddUser(name);
}

const char* Code_Variable_GetName(int id) {
    if (id < kUserVariableBase) return Variable_BuiltIn_GetName(id);
    int index = id - kUserVariableBase;
    if (index >= g_userCount || !g_userNames[index]) return "<unknown variable>";
    return g_userNames[index];
}

void Code_Variable_Free() {}

// ---- Built-in variables

void Variable_BuiltIn_Add(const char* name, BuiltInVariableGetter getter, BuiltInVariableSetter setter,
                          bool /*flag*/) {
    if (Variable_State().g_builtInCount >= kMaxBuiltInVariables) {
        // The message box of the dialogs stands here once they exist; until then the console carries it.
        ReleaseConsole->Output("INTERNAL ERROR: Adding too many variables\n");
        return;
    }
    ++Variable_State().Variable_BuiltInVersion;
    BuiltInVariable& entry = Variable_State().g_builtIns[Variable_State().g_builtInCount++];
    MEM_FREE(entry.name);
    entry.name = String_Duplicate(name);
    entry.getter = getter;
    entry.setter = setter;
    entry.canSet = setter != nullptr;
    entry.field = BuiltInField::None;
    entry.fieldOffset = 0;
    entry.store = BuiltInField::None;
    entry.storeOffset = 0;
    entry.storeMark = -1;
    if (entry.name) g_builtInIndex.emplace(entry.name, Variable_State().g_builtInCount - 1);
}

void Variable_BuiltIn_AddRows(const BuiltInVariableRow* rows, int count) {
    for (int i = 0; i < count; ++i)
        Variable_BuiltIn_Add(rows[i].name, rows[i].getter, rows[i].setter, rows[i].setter != nullptr);
}

void Variable_BuiltIn_SetField(BuiltInVariableGetter getter, BuiltInField field, int offset) {
    for (int i = 0; i < Variable_State().g_builtInCount; ++i) {
        BuiltInVariable& entry = Variable_State().g_builtIns[i];
        if (entry.getter != getter) continue;
        entry.field = field;
        entry.fieldOffset = offset;
    }
    // Decoded code that reads these variables is made again with the fields known.
    ++Variable_State().Variable_BuiltInVersion;
}

void Variable_BuiltIn_SetStore(BuiltInVariableSetter setter, BuiltInField field, int offset, int markOffset) {
    for (int i = 0; i < Variable_State().g_builtInCount; ++i) {
        BuiltInVariable& entry = Variable_State().g_builtIns[i];
        if (entry.setter != setter || setter == nullptr) continue;
        entry.store = field;
        entry.storeOffset = offset;
        entry.storeMark = markOffset;
    }
    ++Variable_State().Variable_BuiltInVersion;
}

void Variable_BuiltIn_Clear() {
    for (int i = 0; i < Variable_State().g_builtInCount; ++i) {
        MEM_FREE(Variable_State().g_builtIns[i].name);
        Variable_State().g_builtIns[i] = BuiltInVariable{};
    }
    Variable_State().g_builtInCount = 0;
    ++Variable_State().Variable_BuiltInVersion;
    g_builtInIndex.clear();
}

int Variable_BuiltIn_Find(const char* name) {
    if (!name) return -1;
    const auto found = g_builtInIndex.find(name);
    return found == g_builtInIndex.end() ? -1 : found->second;
}

const char* Variable_BuiltIn_GetName(int index) {
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(index);
    return entry && entry->name ? entry->name : "<unknown built-in variable>";
}

int Variable_BuiltIn_Count() {
    return Variable_State().g_builtInCount;
}

BuiltInVariableGetter Variable_BuiltIn_Getter(int index) {
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(index);
    return entry ? entry->getter : nullptr;
}

bool Variable_BuiltIn_CanSet(int index) {
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(index);
    return entry && entry->canSet;
}

// ---- One instance

bool Variable_GetValue(CInstance* self, int id, int arrayIndex, ScriptValue* out) {
    if (id >= kVariableListIdBase) {
        IScriptWorld* world = ScriptWorld_Get();
        CVariableList* list = world && self ? world->InstanceVariables(self) : nullptr;
        return list && list->GetVar(id, arrayIndex, out);
    }
    // Ids from outside (file bytecode) may name no registered entry: refused, never used as an index.
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(id);
    if (!entry || !entry->getter) return false;
    return entry->getter(self, arrayIndex, out);
}

bool Variable_SetValue(CInstance* self, int id, int arrayIndex, ScriptValue* value) {
    if (id >= kVariableListIdBase) {
        IScriptWorld* world = ScriptWorld_Get();
        CVariableList* list = world && self ? world->InstanceVariables(self) : nullptr;
        if (list) list->SetVar(id, arrayIndex, value);
        return true;
    }
    const BuiltInVariable* entry = Variable_BuiltIn_Entry(id);
    if (!entry || !entry->canSet) return false;
    return entry->setter(self, arrayIndex, value);
}

// ---- Targets

bool Variable_GetOnTarget(int target, int id, int arrayIndex, ScriptValue* out) {
    CInstance* instance = Target_First(target);
    return instance && Variable_GetValue(instance, id, arrayIndex, out);
}

bool Variable_SetOnTarget(int target, int id, int arrayIndex, ScriptValue* value) {
    bool result = true;
    bool handled = Target_ForEach(
        target, [&](CInstance* instance) { result = Variable_SetValue(instance, id, arrayIndex, value); });
    return handled && result;
}

bool Variable_GetSlotOnTarget(int target, int slot, int arrayIndex, ScriptValue* out) {
    CInstance* instance = Target_First(target);
    if (!instance) return false;
    // A slot the instance does not have reads as real 0 (the world gives null rather than an index
    // outside its slot array).
    const ScriptValue* value = ScriptWorld_Get()->InstanceSlot(instance, slot);
    if (value) {
        Value_ArrayGet(out, value, arrayIndex);
    } else {
        Value_Free(out);
        Value_SetReal(out, 0.0);
    }
    return true;
}

bool Variable_SetSlotOnTarget(int target, int slot, int arrayIndex, const ScriptValue* value) {
    return Target_ForEach(target, [&](CInstance* instance) {
        if (ScriptValue* holder = ScriptWorld_Get()->InstanceSlot(instance, slot))
            Value_AssignIndexed(holder, value, arrayIndex);
    });
}

// ---- Globals

bool Variable_GetGlobal(int id, int arrayIndex, ScriptValue* out) {
    return Variable_State().g_globals && Variable_State().g_globals->GetVar(id, arrayIndex, out);
}

void Variable_SetGlobal(int id, int arrayIndex, const ScriptValue* value) {
    if (Variable_State().g_globals) Variable_State().g_globals->SetVar(id, arrayIndex, value);
}

void Variable_InitGlobals() {
    delete Variable_State().g_globals;
    Variable_State().g_globals = new CVariableList();
    ResetGlobalFlags(kInitialGlobalFlags);
}

void Variable_DeclareGlobal(int id) {
    int64_t index = static_cast<int64_t>(id) - kUserVariableBase;
    if (index < 0) return;
    if (index >= Variable_State().g_globalFlagCount) {
        // Grown in steps of 1000 zero flags until the index fits, in one resize.
        int64_t steps = (index - Variable_State().g_globalFlagCount) / kGlobalFlagStep + 1;
        int64_t newCount = Variable_State().g_globalFlagCount + steps * kGlobalFlagStep;
        if (newCount > static_cast<int64_t>(MemoryManager::kMaxBlockSize))
            return; // no variable has such an id
        MemoryManager::SetLength(Variable_State().g_globalFlags, static_cast<size_t>(newCount), __FILE__,
                                 __LINE__);
        Variable_State().g_globalFlagCount = static_cast<int>(newCount);
    }
    if (Variable_State().g_globalFlags[index] == 0) ++Variable_State().Variable_GlobalNamesVersion;
    Variable_State().g_globalFlags[index] = 1;
    if (!Variable_State().g_globals) Variable_State().g_globals = new CVariableList();
    Variable_State().g_globals->Declare(id);
}

void Variable_SerialiseGlobals(IBuffer* buffer) {
    if (Variable_State().g_globals) {
        Variable_State().g_globals->Serialise(buffer);
    } else {
        Buffer_WriteReal(buffer, eBuffer_S32, 0); // an empty list
    }
    Buffer_WriteReal(buffer, eBuffer_S32, Variable_State().g_globalFlagCount);
    for (int i = 0; i < Variable_State().g_globalFlagCount; ++i)
        Buffer_WriteReal(buffer, eBuffer_S32, Variable_State().g_globalFlags[i] ? 1 : 0);
}

bool Variable_ReadGlobals(IBuffer* buffer, SavedGlobals& saved) {
    saved.list = std::make_unique<CVariableList>();
    saved.flags.clear();
    if (!saved.list->Deserialise(buffer)) return false;
    int count;
    if (!Buffer_ReadInt32(buffer, &count) || !Buffer_CountFits(buffer, count, 4)) return false;
    saved.flags.resize(static_cast<size_t>(count));
    for (uint8_t& flag : saved.flags) {
        int word;
        if (!Buffer_ReadInt32(buffer, &word)) return false;
        flag = word != 0;
    }
    return true;
}

void Variable_UseGlobals(SavedGlobals& saved) {
    delete Variable_State().g_globals;
    Variable_State().g_globals = saved.list ? saved.list.release() : new CVariableList();
    ResetGlobalFlags(static_cast<int>(saved.flags.size()));
    if (!saved.flags.empty())
        std::memcpy(Variable_State().g_globalFlags, saved.flags.data(), saved.flags.size());
    saved.flags.clear();
}

bool Variable_DeserialiseGlobals(IBuffer* buffer) {
    SavedGlobals saved;
    if (!Variable_ReadGlobals(buffer, saved)) return false;
    Variable_UseGlobals(saved);
    return true;
}

void Variable_Free() {
    Variable_BuiltIn_Clear();
    delete Variable_State().g_globals;
    Variable_State().g_globals = nullptr;
    MEM_FREE(Variable_State().g_globalFlags);
    Variable_State().g_globalFlags = nullptr;
    Variable_State().g_globalFlagCount = 0;
    ++Variable_State().Variable_GlobalNamesVersion;
}
