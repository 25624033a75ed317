#include "library/data_structures.h"

#include "core/convert.h"
#include "library/ds_grid.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/ds_queues.h"

#include <vector>

DataStructuresState& DS_State() {
    static DataStructuresState state;
    return state;
}

namespace {

// Lists and maps taken out of their tables by a clearing, waiting to be destroyed.
std::vector<CDS_Map*> g_releasedMaps;
std::vector<CDS_List*> g_releasedLists;
bool g_destroying = false;

} // namespace

int DS_Map_NewIndex() {
    return DS_State().DS_Maps.NewIndex();
}

int DS_List_NewIndex() {
    return DS_State().DS_Lists.NewIndex();
}

void DS_ReleaseNested(const ScriptValue* value) {
    if (!DS_NamesNested(value->kind)) return;
    const int index = X86_DoubleToInt32(value->real);
    if (value->kind & DS_MARK_MAP) {
        CDS_Map* map = DS_State().DS_Maps.Get(index);
        if (map && !map->Clearing()) g_releasedMaps.push_back(DS_State().DS_Maps.Take(index));
    } else {
        CDS_List* list = DS_State().DS_Lists.Get(index);
        if (list && !list->Clearing()) g_releasedLists.push_back(DS_State().DS_Lists.Take(index));
    }
}

// Destroying a released structure clears it, which may release more; the outermost call destroys them
// all, one at a time.
void DS_DestroyReleased() {
    if (g_destroying) return;
    g_destroying = true;
    while (!g_releasedMaps.empty() || !g_releasedLists.empty()) {
        if (!g_releasedMaps.empty()) {
            CDS_Map* map = g_releasedMaps.back();
            g_releasedMaps.pop_back();
            delete map;
        } else {
            CDS_List* list = g_releasedLists.back();
            g_releasedLists.pop_back();
            delete list;
        }
    }
    g_destroying = false;
}

void DS_Map_Destroy(int index) {
    delete DS_State().DS_Maps.Take(index);
}

void DS_List_Destroy(int index) {
    delete DS_State().DS_Lists.Take(index);
}

int CreateDsMap(const DsMapPair* pairs, size_t count) {
    auto* map = new CDS_Map();
    for (size_t i = 0; i < count; ++i) {
        ScriptValue key{}, value{};
        key.kind = KIND_STRING;
        key.str = const_cast<char*>(pairs[i].key);
        if (pairs[i].text) {
            value.kind = KIND_STRING;
            value.str = const_cast<char*>(pairs[i].text);
        } else {
            value.real = pairs[i].real;
        }
        // Copied in, so the borrowed texts are never freed here.
        map->Add(&key, &value);
    }
    return DS_State().DS_Maps.Add(map);
}

namespace {

bool AddPair(int index, const char* key, const ScriptValue& value) {
    CDS_Map* map = DS_State().DS_Maps.Get(index);
    if (!map) return false;
    ScriptValue k{};
    k.kind = KIND_STRING;
    k.str = const_cast<char*>(key);
    return map->Add(&k, &value);
}

} // namespace

bool DS_Map_AddReal(int index, const char* key, double value) {
    ScriptValue v{};
    v.real = value;
    return AddPair(index, key, v);
}

bool DS_Map_AddString(int index, const char* key, const char* value) {
    ScriptValue v{};
    v.kind = KIND_STRING;
    v.str = const_cast<char*>(value);
    return AddPair(index, key, v);
}

CDS_Stack** DS_GetStackPool(int* count) {
    *count = DS_State().DS_Stacks.Count();
    return DS_State().DS_Stacks.Items();
}

CDS_Queue** DS_GetQueuePool(int* count) {
    *count = DS_State().DS_Queues.Count();
    return DS_State().DS_Queues.Items();
}

CDS_Priority** DS_GetPriorityPool(int* count) {
    *count = DS_State().DS_Priorities.Count();
    return DS_State().DS_Priorities.Items();
}

CDS_Grid** DS_GetGridPool(int* count) {
    *count = DS_State().DS_Grids.Count();
    return DS_State().DS_Grids.Items();
}

void DS_FreeAll() {
    DS_State().DS_Maps.DeleteAll();
    DS_State().DS_Lists.DeleteAll();
    DS_State().DS_Stacks.DeleteAll();
    DS_State().DS_Queues.DeleteAll();
    DS_State().DS_Grids.DeleteAll();
    DS_State().DS_Priorities.DeleteAll();
}
