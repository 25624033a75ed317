// The data-structure handle tables and the services other subsystems use: the asynchronous stage's
// async_load map, the event maps of asynchronous results, the queue that platform services drain, and
// the debugger's view of the tables.
#pragma once

#include "library/ds_core.h"

#include <cstddef>
#include <initializer_list>

class CDS_Map;
class CDS_List;
class CDS_Stack;
class CDS_Queue;
class CDS_Grid;
class CDS_Priority;

// The handle tables of every kind, reached through DS_State().
struct DataStructuresState {
    DS_Table<CDS_Map> DS_Maps;
    DS_Table<CDS_List> DS_Lists;
    DS_Table<CDS_Stack> DS_Stacks;
    DS_Table<CDS_Queue> DS_Queues;
    DS_Table<CDS_Grid> DS_Grids;
    DS_Table<CDS_Priority> DS_Priorities;
};

// Defined where the element classes are complete.
DataStructuresState& DS_State();

// A slot for a new map or list; the caller stores the object with DS_Maps.Store / DS_Lists.Store.
int DS_Map_NewIndex();
int DS_List_NewIndex();

// Destroys the map or list of an index as ds_map_destroy / ds_list_destroy do (nested structures too)
// and empties its slot; an index that names none is ignored. The asynchronous stage destroys the
// async_load map after each event this way.
void DS_Map_Destroy(int index);
void DS_List_Destroy(int index);

// Nested destruction, as the clearing of a list or map does it: DS_ReleaseNested takes the list or map
// that a marked value names out of its table (unless it is the one being cleared, or names nothing);
// DS_DestroyReleased then destroys what was taken and, in turn, what those held. Structures are
// destroyed one after another, never by recursion, so no chain of nested maps is too deep and no cycle
// of them destroys anything twice.
void DS_ReleaseNested(const ScriptValue* value);
void DS_DestroyReleased();
// A clearing of a list or map: the structure counts as being cleared (clearing set) while clearValues
// releases its values and while what they named is destroyed.
template <typename F> void DS_RunClearing(bool& clearing, F clearValues) {
    const bool outer = !clearing;
    clearing = true;
    clearValues();
    DS_DestroyReleased();
    if (outer) clearing = false;
}

// One pair of an event map: a string key and a text value, or the real when the text is null.
struct DsMapPair {
    const char* key;
    double real;
    const char* text;
};
// A new map holding the pairs in order (of a repeated key the first wins); its index.
int CreateDsMap(const DsMapPair* pairs, size_t count);
inline int CreateDsMap(std::initializer_list<DsMapPair> pairs) {
    return CreateDsMap(pairs.begin(), pairs.size());
}
// Adds a string key with a real or text value to the map of an index unless the key is present; false
// when the key was present or the index names no map.
bool DS_Map_AddReal(int index, const char* key, double value);
bool DS_Map_AddString(int index, const char* key, const char* value);

// ds_queue_dequeue, ds_queue_size and ds_queue_clear on a queue index; a negative index does nothing
// (size 0, out left alone).
void DS_Queue_Dequeue(int index, ScriptValue* out);
int DS_Queue_Size(int index);
void DS_Queue_Clear(int index);

// The tables as the debugger reads them: the slot block, its count stored through count.
CDS_Stack** DS_GetStackPool(int* count);
CDS_Queue** DS_GetQueuePool(int* count);
CDS_Priority** DS_GetPriorityPool(int* count);
CDS_Grid** DS_GetGridPool(int* count);

// Destroys every data structure and empties the tables (shutdown).
void DS_FreeAll();
