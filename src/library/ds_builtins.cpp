// The ds_* built-in functions: every one takes its structure by handle and reports a handle that names
// nothing with "Data structure with index does not exist.", leaving its result as the caller prepared it.
#include "core/console.h"
#include "core/convert.h"
#include "library/builtin.h"
#include "library/data_structures.h"
#include "library/ds_grid.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/ds_queues.h"
#include "library/library_builtins.h"
#include "script/vm/vm_error.h"

namespace {

const char kNoStructure[] = "Data structure with index does not exist.";

void ReportNoStructure() {
    Code_Error_Report(kNoStructure, false);
}

void SetReal(ScriptValue& result, double d) {
    Value_Free(&result);
    Value_SetReal(&result, d);
}

// A copy of a stored value, or the real 0 when there is none.
void SetCopy(ScriptValue& result, const ScriptValue* stored) {
    if (stored)
        Value_Copy(&result, stored);
    else
        SetReal(result, 0);
}

// The same, with the marks cleared as list and map look-ups hand values out.
void SetLookup(ScriptValue& result, const ScriptValue* stored) {
    if (stored)
        DS_CopyOut(&result, stored);
    else
        SetReal(result, 0);
}

template <typename T> T* Lookup(DS_Table<T>& table, int index) {
    T* object = table.Get(index);
    if (!object) ReportNoStructure();
    return object;
}

// ---- What every kind does alike

template <typename T> void Create(ScriptValue& result, DS_Table<T>& table) {
    SetReal(result, table.Add(new T()));
}

// Lists and maps accept a slot of the table that is already empty; the other kinds report it.
template <typename T> void Destroy(const BuiltInArgs& args, DS_Table<T>& table, bool emptySlotAllowed) {
    const int index = args.Rounded(0);
    if (emptySlotAllowed ? !table.InRange(index) : !table.Get(index)) {
        ReportNoStructure();
        return;
    }
    delete table.Take(index);
}

template <typename T> void Clear(const BuiltInArgs& args, DS_Table<T>& table) {
    if (T* object = Lookup(table, args.Rounded(0))) object->Clear();
}

// The destination is checked first, then the source.
template <typename T> void Copy(const BuiltInArgs& args, DS_Table<T>& table) {
    T* destination = Lookup(table, args.Rounded(0));
    if (!destination) return;
    T* source = Lookup(table, args.Rounded(1));
    if (source) destination->Assign(source);
}

template <typename T> void Size(ScriptValue& result, const BuiltInArgs& args, DS_Table<T>& table) {
    if (T* object = Lookup(table, args.Rounded(0))) SetReal(result, object->Size());
}

template <typename T> void Empty(ScriptValue& result, const BuiltInArgs& args, DS_Table<T>& table) {
    if (T* object = Lookup(table, args.Rounded(0))) SetReal(result, object->Empty() ? 1 : 0);
}

template <typename T> void Write(ScriptValue& result, const BuiltInArgs& args, DS_Table<T>& table) {
    if (T* object = Lookup(table, args.Rounded(0))) BuiltIn_SetText(result, object->WriteToString());
}

// A second argument without text changes nothing.
template <typename T> void Read(const BuiltInArgs& args, DS_Table<T>& table) {
    T* object = Lookup(table, args.Rounded(0));
    const char* text = args.Text(1);
    if (object && text) object->ReadFromString(text);
}

// ---- Shared

BUILTIN_BODY(ds_set_precision) {
    DS_SetPrecision(args.Real(0));
}

BUILTIN_BODY(ds_exists) {
    const int index = args.Rounded(0);
    bool exists = false;
    switch (args.Rounded(1)) {
    case DS_KIND_MAP:
        exists = DS_State().DS_Maps.Get(index);
        break;
    case DS_KIND_LIST:
        exists = DS_State().DS_Lists.Get(index);
        break;
    case DS_KIND_STACK:
        exists = DS_State().DS_Stacks.Get(index);
        break;
    case DS_KIND_QUEUE:
        exists = DS_State().DS_Queues.Get(index);
        break;
    case DS_KIND_GRID:
        exists = DS_State().DS_Grids.Get(index);
        break;
    case DS_KIND_PRIORITY:
        exists = DS_State().DS_Priorities.Get(index);
        break;
    default: break;
    }
    SetReal(result, exists ? 1 : 0);
}

// ---- Stacks

BUILTIN_BODY(ds_stack_create) {
    Create(result, DS_State().DS_Stacks);
}
BUILTIN_BODY(ds_stack_destroy) {
    Destroy(args, DS_State().DS_Stacks, false);
}
BUILTIN_BODY(ds_stack_clear) {
    Clear(args, DS_State().DS_Stacks);
}
BUILTIN_BODY(ds_stack_copy) {
    Copy(args, DS_State().DS_Stacks);
}
BUILTIN_BODY(ds_stack_size) {
    Size(result, args, DS_State().DS_Stacks);
}
BUILTIN_BODY(ds_stack_empty) {
    Empty(result, args, DS_State().DS_Stacks);
}

BUILTIN_BODY(ds_stack_push) {
    if (args.count < 2) {
        ReportNoStructure();
        return;
    }
    if (CDS_Stack* stack = Lookup(DS_State().DS_Stacks, args.Truncated(0)))
        for (int i = 1; i < args.count; ++i)
            stack->Push(args.At(i));
}

BUILTIN_BODY(ds_stack_pop) {
    if (CDS_Stack* stack = Lookup(DS_State().DS_Stacks, args.Rounded(0))) SetCopy(result, stack->Pop());
}

BUILTIN_BODY(ds_stack_top) {
    if (CDS_Stack* stack = Lookup(DS_State().DS_Stacks, args.Rounded(0))) SetCopy(result, stack->Top());
}

BUILTIN_BODY(ds_stack_write) {
    Write(result, args, DS_State().DS_Stacks);
}
BUILTIN_BODY(ds_stack_read) {
    Read(args, DS_State().DS_Stacks);
}

// ---- Queues

BUILTIN_BODY(ds_queue_create) {
    Create(result, DS_State().DS_Queues);
}
BUILTIN_BODY(ds_queue_destroy) {
    Destroy(args, DS_State().DS_Queues, false);
}
BUILTIN_BODY(ds_queue_clear) {
    Clear(args, DS_State().DS_Queues);
}
BUILTIN_BODY(ds_queue_copy) {
    Copy(args, DS_State().DS_Queues);
}
BUILTIN_BODY(ds_queue_size) {
    Size(result, args, DS_State().DS_Queues);
}
BUILTIN_BODY(ds_queue_empty) {
    Empty(result, args, DS_State().DS_Queues);
}

BUILTIN_BODY(ds_queue_enqueue) {
    if (CDS_Queue* queue = Lookup(DS_State().DS_Queues, args.Rounded(0)))
        for (int i = 1; i < args.count; ++i)
            queue->Enqueue(args.At(i));
}

BUILTIN_BODY(ds_queue_dequeue) {
    if (CDS_Queue* queue = Lookup(DS_State().DS_Queues, args.Rounded(0))) SetCopy(result, queue->Dequeue());
}

BUILTIN_BODY(ds_queue_head) {
    if (CDS_Queue* queue = Lookup(DS_State().DS_Queues, args.Rounded(0))) SetCopy(result, queue->Head());
}

BUILTIN_BODY(ds_queue_tail) {
    if (CDS_Queue* queue = Lookup(DS_State().DS_Queues, args.Rounded(0))) SetCopy(result, queue->Tail());
}

BUILTIN_BODY(ds_queue_write) {
    Write(result, args, DS_State().DS_Queues);
}
BUILTIN_BODY(ds_queue_read) {
    Read(args, DS_State().DS_Queues);
}

// ---- Lists

BUILTIN_BODY(ds_list_create) {
    Create(result, DS_State().DS_Lists);
}
BUILTIN_BODY(ds_list_destroy) {
    Destroy(args, DS_State().DS_Lists, true);
}
BUILTIN_BODY(ds_list_clear) {
    Clear(args, DS_State().DS_Lists);
}
BUILTIN_BODY(ds_list_copy) {
    Copy(args, DS_State().DS_Lists);
}
BUILTIN_BODY(ds_list_size) {
    Size(result, args, DS_State().DS_Lists);
}
BUILTIN_BODY(ds_list_empty) {
    Empty(result, args, DS_State().DS_Lists);
}

BUILTIN_BODY(ds_list_add) {
    if (args.count < 2) {
        ReportNoStructure();
        return;
    }
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0)))
        for (int i = 1; i < args.count; ++i)
            list->Add(args.At(i));
}

BUILTIN_BODY(ds_list_insert) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0)))
        list->Insert(args.Rounded(1), args.At(2));
}

BUILTIN_BODY(ds_list_set) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0))) list->Set(args.Rounded(1), args.At(2));
}

BUILTIN_BODY(ds_list_set_pre) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0))) {
        list->Set(args.Rounded(1), args.At(2));
        Value_Copy(&result, args.At(2));
    }
}

BUILTIN_BODY(ds_list_set_post) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0)))
        list->Set(args.Rounded(1), args.At(2), &result);
}

BUILTIN_BODY(ds_list_replace) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0)))
        list->Replace(args.Rounded(1), args.At(2));
}

BUILTIN_BODY(ds_list_delete) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0))) list->Delete(args.Rounded(1));
}

BUILTIN_BODY(ds_list_find_index) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Truncated(0)))
        SetReal(result, list->FindIndex(args.At(1)));
}

BUILTIN_BODY(ds_list_find_value) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0)))
        SetLookup(result, list->Get(args.Rounded(1)));
}

// Marks the slot, whatever it holds; the result is the slot as ds_list_find_value gives it.
void MarkListSlot(ScriptValue& result, const BuiltInArgs& args, uint32_t mark) {
    CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0));
    if (!list) return;
    ScriptValue* slot = list->Get(args.Rounded(1));
    if (slot) slot->kind |= mark;
    SetLookup(result, slot);
}

BUILTIN_BODY(ds_list_mark_as_list) { MarkListSlot(result, args, DS_MARK_LIST); }
BUILTIN_BODY(ds_list_mark_as_map) { MarkListSlot(result, args, DS_MARK_MAP); }

BUILTIN_BODY(ds_list_sort) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0))) list->Sort(args.Flag(1));
}

BUILTIN_BODY(ds_list_shuffle) {
    if (CDS_List* list = Lookup(DS_State().DS_Lists, args.Rounded(0))) list->Shuffle();
}

BUILTIN_BODY(ds_list_write) {
    Write(result, args, DS_State().DS_Lists);
}
BUILTIN_BODY(ds_list_read) {
    Read(args, DS_State().DS_Lists);
}

// ---- Maps

// The one-argument form (reached by bytecode) takes a bucket count.
BUILTIN_BODY(ds_map_create) {
    const int buckets = args.count >= 1 ? args.Truncated(0) : 0;
    SetReal(result, DS_State().DS_Maps.Add(new CDS_Map(buckets)));
}

BUILTIN_BODY(ds_map_destroy) {
    Destroy(args, DS_State().DS_Maps, true);
}
BUILTIN_BODY(ds_map_clear) {
    Clear(args, DS_State().DS_Maps);
}
BUILTIN_BODY(ds_map_copy) {
    Copy(args, DS_State().DS_Maps);
}
BUILTIN_BODY(ds_map_size) {
    Size(result, args, DS_State().DS_Maps);
}
BUILTIN_BODY(ds_map_empty) {
    Empty(result, args, DS_State().DS_Maps);
}

BUILTIN_BODY(ds_map_add) {
    SetReal(result, 0);
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0)))
        SetReal(result, map->Add(args.At(1), args.At(2)) ? 1 : 0);
}

BUILTIN_BODY(ds_map_set) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) map->Set(args.At(1), args.At(2));
}

BUILTIN_BODY(ds_map_set_pre) {
    Value_Copy(&result, args.At(2));
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) map->Set(args.At(1), args.At(2));
}

BUILTIN_BODY(ds_map_set_post) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) map->Set(args.At(1), args.At(2), &result);
}

BUILTIN_BODY(ds_map_replace) {
    SetReal(result, 0);
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0)))
        SetReal(result, map->Replace(args.At(1), args.At(2)) ? 1 : 0);
}

// Stores a list or map index marked as such: the value must be a plain real whose truncated number
// names an existing list (or map).
void AddNested(ScriptValue& result, const BuiltInArgs& args, uint32_t mark, bool replace) {
    SetReal(result, 0);
    CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0));
    if (!map) return;
    const ScriptValue* value = args.At(2);
    const int index = X86_DoubleToInt32(value->real);
    const bool named =
        value->kind == KIND_REAL && (mark == DS_MARK_LIST ? DS_State().DS_Lists.Get(index) != nullptr
                                                          : DS_State().DS_Maps.Get(index) != nullptr);
    if (!named) {
        Code_Error_Report(mark == DS_MARK_LIST ? "Invalid list index for value" : "Invalid map index for value", false);
        return;
    }
    ScriptValue marked{};
    marked.kind = mark;
    marked.real = value->real;
    const bool done = replace ? map->Replace(args.At(1), &marked) : map->Add(args.At(1), &marked);
    SetReal(result, done ? 1 : 0);
}

BUILTIN_BODY(ds_map_add_list) { AddNested(result, args, DS_MARK_LIST, false); }
BUILTIN_BODY(ds_map_add_map) { AddNested(result, args, DS_MARK_MAP, false); }
BUILTIN_BODY(ds_map_replace_list) { AddNested(result, args, DS_MARK_LIST, true); }
BUILTIN_BODY(ds_map_replace_map) { AddNested(result, args, DS_MARK_MAP, true); }

BUILTIN_BODY(ds_map_delete) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) map->Delete(args.At(1));
}

BUILTIN_BODY(ds_map_exists) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0)))
        SetReal(result, map->Exists(args.At(1)) ? 1 : 0);
}

BUILTIN_BODY(ds_map_find_value) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) {
        const MapEntry* entry = map->Find(args.At(1));
        SetLookup(result, entry ? &entry->value : nullptr);
    }
}

void SetKey(ScriptValue& result, const MapEntry* entry) {
    SetLookup(result, entry ? &entry->key : nullptr);
}

BUILTIN_BODY(ds_map_find_previous) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0)))
        SetKey(result, map->FindPrevious(args.At(1)));
}

BUILTIN_BODY(ds_map_find_next) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) SetKey(result, map->FindNext(args.At(1)));
}

BUILTIN_BODY(ds_map_find_first) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) SetKey(result, map->FindFirst());
}

BUILTIN_BODY(ds_map_find_last) {
    if (CDS_Map* map = Lookup(DS_State().DS_Maps, args.Rounded(0))) SetKey(result, map->FindLast());
}

BUILTIN_BODY(ds_map_write) {
    Write(result, args, DS_State().DS_Maps);
}
BUILTIN_BODY(ds_map_read) {
    Read(args, DS_State().DS_Maps);
}

// ---- Priority queues

BUILTIN_BODY(ds_priority_create) {
    Create(result, DS_State().DS_Priorities);
}
BUILTIN_BODY(ds_priority_destroy) {
    Destroy(args, DS_State().DS_Priorities, false);
}
BUILTIN_BODY(ds_priority_clear) {
    Clear(args, DS_State().DS_Priorities);
}
BUILTIN_BODY(ds_priority_copy) {
    Copy(args, DS_State().DS_Priorities);
}
BUILTIN_BODY(ds_priority_size) {
    Size(result, args, DS_State().DS_Priorities);
}
BUILTIN_BODY(ds_priority_empty) {
    Empty(result, args, DS_State().DS_Priorities);
}

BUILTIN_BODY(ds_priority_add) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        queue->Add(args.At(1), args.At(2));
}

BUILTIN_BODY(ds_priority_change_priority) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        queue->ChangePriority(args.At(1), args.At(2));
}

BUILTIN_BODY(ds_priority_find_priority) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        SetCopy(result, queue->FindPriority(args.At(1)));
}

BUILTIN_BODY(ds_priority_delete_value) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        queue->DeleteValue(args.At(1));
}

BUILTIN_BODY(ds_priority_delete_min) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0))) queue->DeleteMin(&result);
}

BUILTIN_BODY(ds_priority_find_min) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        SetCopy(result, queue->FindMin());
}

BUILTIN_BODY(ds_priority_delete_max) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0))) queue->DeleteMax(&result);
}

BUILTIN_BODY(ds_priority_find_max) {
    if (CDS_Priority* queue = Lookup(DS_State().DS_Priorities, args.Rounded(0)))
        SetCopy(result, queue->FindMax());
}

BUILTIN_BODY(ds_priority_write) {
    Write(result, args, DS_State().DS_Priorities);
}
BUILTIN_BODY(ds_priority_read) {
    Read(args, DS_State().DS_Priorities);
}

// ---- Grids

BUILTIN_BODY(ds_grid_create) {
    SetReal(result, DS_State().DS_Grids.Add(new CDS_Grid(args.Rounded(0), args.Rounded(1))));
}

BUILTIN_BODY(ds_grid_destroy) {
    Destroy(args, DS_State().DS_Grids, false);
}
BUILTIN_BODY(ds_grid_copy) {
    Copy(args, DS_State().DS_Grids);
}

BUILTIN_BODY(ds_grid_resize) {
    CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0));
    if (!grid) return;
    if (!(args.Real(1) > 0 && args.Real(2) > 0)) {
        Code_Error_Report("Error: Can not resize a grid with a dimension of 0\n", true);
        return;
    }
    grid->Resize(args.Rounded(1), args.Rounded(2));
}

BUILTIN_BODY(ds_grid_width) {
    SetReal(result, 0);
    if (CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0))) SetReal(result, grid->Width());
}

BUILTIN_BODY(ds_grid_height) {
    SetReal(result, 0);
    if (CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0))) SetReal(result, grid->Height());
}

BUILTIN_BODY(ds_grid_clear) {
    if (CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0))) grid->SetAll(args.At(1));
}

// The cell (x, y) of arguments 1 and 2, or null after the out-of-bounds line (writes) or silently.
ScriptValue* CheckedCell(const BuiltInArgs& args, bool writing) {
    const int index = args.Rounded(0);
    CDS_Grid* grid = Lookup(DS_State().DS_Grids, index);
    if (!grid) return nullptr;
    const int x = args.Rounded(1), y = args.Rounded(2);
    if (grid->Contains(x, y)) return grid->Cell(x, y);
    if (writing)
        ReleaseConsole->Output("Grid %d, index out of bounds writing [%d,%d] - size is [%d,%d]\n", index, x, y,
                               grid->Width(), grid->Height());
    return nullptr;
}

BUILTIN_BODY(ds_grid_set) {
    if (ScriptValue* cell = CheckedCell(args, true)) Value_Copy(cell, args.At(3));
}

BUILTIN_BODY(ds_grid_set_pre) {
    if (ScriptValue* cell = CheckedCell(args, true)) {
        Value_Copy(cell, args.At(3));
        Value_Copy(&result, args.At(3));
    }
}

BUILTIN_BODY(ds_grid_set_post) {
    if (ScriptValue* cell = CheckedCell(args, true)) {
        Value_Copy(&result, cell);
        Value_Copy(cell, args.At(3));
    }
}

BUILTIN_BODY(ds_grid_add) {
    if (ScriptValue* cell = CheckedCell(args, true)) DS_ValueOp(DS_OP_ADD, cell, args.At(3));
}

BUILTIN_BODY(ds_grid_multiply) {
    if (ScriptValue* cell = CheckedCell(args, true)) DS_ValueOp(DS_OP_MULTIPLY, cell, args.At(3));
}

BUILTIN_BODY(ds_grid_get) {
    if (const ScriptValue* cell = CheckedCell(args, false)) Value_Copy(&result, cell);
}

// The release-mode accessors: no message and no error, the cell addressed as element y * width + x of
// the block; a handle or element outside it reads 0 and writes nothing.
ScriptValue* FastCell(const BuiltInArgs& args) {
    const CDS_Grid* grid = DS_State().DS_Grids.Get(args.Rounded(0));
    if (!grid) return nullptr;
    return grid->Element(static_cast<int64_t>(args.Rounded(2)) * grid->Width() + args.Rounded(1));
}

BUILTIN_BODY(ds_grid_set_fast) {
    if (ScriptValue* cell = FastCell(args)) Value_Copy(cell, args.At(3));
}

BUILTIN_BODY(ds_grid_get_fast) {
    SetCopy(result, FastCell(args));
}

// The grid of argument 0 and the rectangle of arguments 1 to 4, or the disk of arguments 1 to 3.
CDS_Grid* RectangleWalk(const BuiltInArgs& args, GridWalk& walk) {
    CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0));
    if (grid) walk = {false, grid->Rectangle(args.Rounded(1), args.Rounded(2), args.Rounded(3), args.Rounded(4)), 0, 0, 0};
    return grid;
}

CDS_Grid* DiskWalk(const BuiltInArgs& args, GridWalk& walk) {
    CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0));
    walk = {true, {}, args.Real(1), args.Real(2), args.Real(3)};
    return grid;
}

using WalkOf = CDS_Grid* (*)(const BuiltInArgs&, GridWalk&);

void WalkOp(const BuiltInArgs& args, WalkOf of, int op, int valueArg) {
    GridWalk walk;
    if (CDS_Grid* grid = of(args, walk)) grid->WalkOp(op, walk, args.At(valueArg));
}

BUILTIN_BODY(ds_grid_set_region) { WalkOp(args, RectangleWalk, DS_OP_SET, 5); }
BUILTIN_BODY(ds_grid_add_region) { WalkOp(args, RectangleWalk, DS_OP_ADD, 5); }
BUILTIN_BODY(ds_grid_multiply_region) { WalkOp(args, RectangleWalk, DS_OP_MULTIPLY, 5); }
BUILTIN_BODY(ds_grid_set_disk) { WalkOp(args, DiskWalk, DS_OP_SET, 4); }
BUILTIN_BODY(ds_grid_add_disk) { WalkOp(args, DiskWalk, DS_OP_ADD, 4); }
BUILTIN_BODY(ds_grid_multiply_disk) { WalkOp(args, DiskWalk, DS_OP_MULTIPLY, 4); }

void GridRegionOp(const BuiltInArgs& args, int op) {
    CDS_Grid* destination = Lookup(DS_State().DS_Grids, args.Rounded(0));
    if (!destination) return;
    CDS_Grid* source = Lookup(DS_State().DS_Grids, args.Rounded(1));
    if (!source) return;
    destination->GridRegionOp(op, *source, args.Rounded(2), args.Rounded(3), args.Rounded(4), args.Rounded(5),
                              args.Rounded(6), args.Rounded(7));
}

BUILTIN_BODY(ds_grid_set_grid_region) { GridRegionOp(args, DS_OP_SET); }
BUILTIN_BODY(ds_grid_add_grid_region) { GridRegionOp(args, DS_OP_ADD); }
BUILTIN_BODY(ds_grid_multiply_grid_region) { GridRegionOp(args, DS_OP_MULTIPLY); }

void GetSum(ScriptValue& result, const BuiltInArgs& args, WalkOf of, bool mean) {
    GridWalk walk;
    if (CDS_Grid* grid = of(args, walk)) SetReal(result, mean ? grid->GetMean(walk) : grid->GetSum(walk));
}

void GetExtreme(ScriptValue& result, const BuiltInArgs& args, WalkOf of, bool max) {
    GridWalk walk;
    CDS_Grid* grid = of(args, walk);
    if (!grid) return;
    if (const ScriptValue* best = grid->GetExtreme(walk, max)) Value_Copy(&result, best);
}

BUILTIN_BODY(ds_grid_get_sum) { GetSum(result, args, RectangleWalk, false); }
BUILTIN_BODY(ds_grid_get_max) { GetExtreme(result, args, RectangleWalk, true); }
BUILTIN_BODY(ds_grid_get_min) { GetExtreme(result, args, RectangleWalk, false); }
BUILTIN_BODY(ds_grid_get_mean) { GetSum(result, args, RectangleWalk, true); }
BUILTIN_BODY(ds_grid_get_disk_sum) { GetSum(result, args, DiskWalk, false); }
BUILTIN_BODY(ds_grid_get_disk_max) { GetExtreme(result, args, DiskWalk, true); }
BUILTIN_BODY(ds_grid_get_disk_min) { GetExtreme(result, args, DiskWalk, false); }
BUILTIN_BODY(ds_grid_get_disk_mean) { GetSum(result, args, DiskWalk, true); }

// What a search gives: 0 exists, 1 x, 2 y.
void FindValue(ScriptValue& result, const BuiltInArgs& args, WalkOf of, int valueArg, int what) {
    GridWalk walk;
    CDS_Grid* grid = of(args, walk);
    if (!grid) return;
    int x = -1, y = -1;
    const bool found = grid->FindValue(walk, args.At(valueArg), &x, &y);
    SetReal(result, what == 0 ? (found ? 1 : 0) : (what == 1 ? x : y));
}

BUILTIN_BODY(ds_grid_value_exists) { FindValue(result, args, RectangleWalk, 5, 0); }
BUILTIN_BODY(ds_grid_value_x) { FindValue(result, args, RectangleWalk, 5, 1); }
BUILTIN_BODY(ds_grid_value_y) { FindValue(result, args, RectangleWalk, 5, 2); }
BUILTIN_BODY(ds_grid_value_disk_exists) { FindValue(result, args, DiskWalk, 4, 0); }
BUILTIN_BODY(ds_grid_value_disk_x) { FindValue(result, args, DiskWalk, 4, 1); }
BUILTIN_BODY(ds_grid_value_disk_y) { FindValue(result, args, DiskWalk, 4, 2); }

BUILTIN_BODY(ds_grid_shuffle) {
    if (CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Rounded(0))) grid->Shuffle();
}

// Only exactly three real arguments sort.
BUILTIN_BODY(ds_grid_sort) {
    if (args.count != 3) return;
    for (int i = 0; i < 3; ++i)
        if (args.At(i)->kind != KIND_REAL) return;
    if (CDS_Grid* grid = Lookup(DS_State().DS_Grids, args.Truncated(0)))
        grid->Sort(args.Truncated(1), args.Real(2) > 0.5 ? 1 : -1);
}

BUILTIN_BODY(ds_grid_write) {
    Write(result, args, DS_State().DS_Grids);
}
BUILTIN_BODY(ds_grid_read) {
    Read(args, DS_State().DS_Grids);
}

const BuiltInRegistration kDSFunctions[] = {
    BUILTIN_ENTRY(ds_set_precision, 1),
    BUILTIN_ENTRY(ds_exists, 2),

    BUILTIN_ENTRY(ds_stack_create, 0),
    BUILTIN_ENTRY(ds_stack_destroy, 1),
    BUILTIN_ENTRY(ds_stack_clear, 1),
    BUILTIN_ENTRY(ds_stack_copy, 2),
    BUILTIN_ENTRY(ds_stack_size, 1),
    BUILTIN_ENTRY(ds_stack_empty, 1),
    BUILTIN_ENTRY(ds_stack_push, -1),
    BUILTIN_ENTRY(ds_stack_pop, 1),
    BUILTIN_ENTRY(ds_stack_top, 1),
    BUILTIN_ENTRY(ds_stack_write, 1),
    BUILTIN_ENTRY(ds_stack_read, 2),

    BUILTIN_ENTRY(ds_queue_create, 0),
    BUILTIN_ENTRY(ds_queue_destroy, 1),
    BUILTIN_ENTRY(ds_queue_clear, 1),
    BUILTIN_ENTRY(ds_queue_copy, 2),
    BUILTIN_ENTRY(ds_queue_size, 1),
    BUILTIN_ENTRY(ds_queue_empty, 1),
    BUILTIN_ENTRY(ds_queue_enqueue, -1),
    BUILTIN_ENTRY(ds_queue_dequeue, 1),
    BUILTIN_ENTRY(ds_queue_head, 1),
    BUILTIN_ENTRY(ds_queue_tail, 1),
    BUILTIN_ENTRY(ds_queue_write, 1),
    BUILTIN_ENTRY(ds_queue_read, 2),

    BUILTIN_ENTRY(ds_list_create, 0),
    BUILTIN_ENTRY(ds_list_destroy, 1),
    BUILTIN_ENTRY(ds_list_clear, 1),
    BUILTIN_ENTRY(ds_list_copy, 2),
    BUILTIN_ENTRY(ds_list_size, 1),
    BUILTIN_ENTRY(ds_list_empty, 1),
    BUILTIN_ENTRY(ds_list_add, -1),
    BUILTIN_ENTRY(ds_list_insert, 3),
    BUILTIN_ENTRY(ds_list_set, 3),
    BUILTIN_ENTRY(ds_list_set_pre, 3),
    BUILTIN_ENTRY(ds_list_set_post, 3),
    BUILTIN_ENTRY(ds_list_replace, 3),
    BUILTIN_ENTRY(ds_list_delete, 2),
    BUILTIN_ENTRY(ds_list_find_index, 2),
    BUILTIN_ENTRY(ds_list_find_value, 2),
    BUILTIN_ENTRY(ds_list_mark_as_list, 2),
    BUILTIN_ENTRY(ds_list_mark_as_map, 2),
    BUILTIN_ENTRY(ds_list_sort, 2),
    BUILTIN_ENTRY(ds_list_shuffle, 1),
    BUILTIN_ENTRY(ds_list_write, 1),
    BUILTIN_ENTRY(ds_list_read, 2),

    BUILTIN_ENTRY(ds_map_create, 0),
    BUILTIN_ENTRY(ds_map_destroy, 1),
    BUILTIN_ENTRY(ds_map_clear, 1),
    BUILTIN_ENTRY(ds_map_copy, 2),
    BUILTIN_ENTRY(ds_map_size, 1),
    BUILTIN_ENTRY(ds_map_empty, 1),
    BUILTIN_ENTRY(ds_map_add, 3),
    BUILTIN_ENTRY(ds_map_set, 3),
    BUILTIN_ENTRY(ds_map_set_pre, 3),
    BUILTIN_ENTRY(ds_map_set_post, 3),
    BUILTIN_ENTRY(ds_map_add_list, 3),
    BUILTIN_ENTRY(ds_map_add_map, 3),
    BUILTIN_ENTRY(ds_map_replace, 3),
    BUILTIN_ENTRY(ds_map_replace_list, 3),
    BUILTIN_ENTRY(ds_map_replace_map, 3),
    BUILTIN_ENTRY(ds_map_delete, 2),
    BUILTIN_ENTRY(ds_map_exists, 2),
    BUILTIN_ENTRY(ds_map_find_value, 2),
    BUILTIN_ENTRY(ds_map_find_previous, 2),
    BUILTIN_ENTRY(ds_map_find_next, 2),
    BUILTIN_ENTRY(ds_map_find_first, 1),
    BUILTIN_ENTRY(ds_map_find_last, 1),
    BUILTIN_ENTRY(ds_map_write, 1),
    BUILTIN_ENTRY(ds_map_read, 2),

    BUILTIN_ENTRY(ds_priority_create, 0),
    BUILTIN_ENTRY(ds_priority_destroy, 1),
    BUILTIN_ENTRY(ds_priority_clear, 1),
    BUILTIN_ENTRY(ds_priority_copy, 2),
    BUILTIN_ENTRY(ds_priority_size, 1),
    BUILTIN_ENTRY(ds_priority_empty, 1),
    BUILTIN_ENTRY(ds_priority_add, 3),
    BUILTIN_ENTRY(ds_priority_change_priority, 3),
    BUILTIN_ENTRY(ds_priority_find_priority, 2),
    BUILTIN_ENTRY(ds_priority_delete_value, 2),
    BUILTIN_ENTRY(ds_priority_delete_min, 1),
    BUILTIN_ENTRY(ds_priority_find_min, 1),
    BUILTIN_ENTRY(ds_priority_delete_max, 1),
    BUILTIN_ENTRY(ds_priority_find_max, 1),
    BUILTIN_ENTRY(ds_priority_write, 1),
    BUILTIN_ENTRY(ds_priority_read, 2),

    BUILTIN_ENTRY(ds_grid_create, 2),
    BUILTIN_ENTRY(ds_grid_destroy, 1),
    BUILTIN_ENTRY(ds_grid_copy, 2),
    BUILTIN_ENTRY(ds_grid_resize, 3),
    BUILTIN_ENTRY(ds_grid_width, 1),
    BUILTIN_ENTRY(ds_grid_height, 1),
    BUILTIN_ENTRY(ds_grid_clear, 2),
    BUILTIN_ENTRY(ds_grid_set, 4),
    BUILTIN_ENTRY(ds_grid_set_pre, 4),
    BUILTIN_ENTRY(ds_grid_set_post, 4),
    BUILTIN_ENTRY(ds_grid_add, 4),
    BUILTIN_ENTRY(ds_grid_multiply, 4),
    BUILTIN_ENTRY(ds_grid_get, 3),
    BUILTIN_ENTRY(ds_grid_set_region, 6),
    BUILTIN_ENTRY(ds_grid_add_region, 6),
    BUILTIN_ENTRY(ds_grid_multiply_region, 6),
    BUILTIN_ENTRY(ds_grid_set_disk, 5),
    BUILTIN_ENTRY(ds_grid_add_disk, 5),
    BUILTIN_ENTRY(ds_grid_multiply_disk, 5),
    BUILTIN_ENTRY(ds_grid_set_grid_region, 8),
    BUILTIN_ENTRY(ds_grid_add_grid_region, 8),
    BUILTIN_ENTRY(ds_grid_multiply_grid_region, 8),
    BUILTIN_ENTRY(ds_grid_get_sum, 5),
    BUILTIN_ENTRY(ds_grid_get_max, 5),
    BUILTIN_ENTRY(ds_grid_get_min, 5),
    BUILTIN_ENTRY(ds_grid_get_mean, 5),
    BUILTIN_ENTRY(ds_grid_get_disk_sum, 4),
    BUILTIN_ENTRY(ds_grid_get_disk_max, 4),
    BUILTIN_ENTRY(ds_grid_get_disk_min, 4),
    BUILTIN_ENTRY(ds_grid_get_disk_mean, 4),
    BUILTIN_ENTRY(ds_grid_value_exists, 6),
    BUILTIN_ENTRY(ds_grid_value_x, 6),
    BUILTIN_ENTRY(ds_grid_value_y, 6),
    BUILTIN_ENTRY(ds_grid_value_disk_exists, 5),
    BUILTIN_ENTRY(ds_grid_value_disk_x, 5),
    BUILTIN_ENTRY(ds_grid_value_disk_y, 5),
    BUILTIN_ENTRY(ds_grid_shuffle, 1),
    BUILTIN_ENTRY(ds_grid_sort, 3),
    BUILTIN_ENTRY(ds_grid_write, 1),
    BUILTIN_ENTRY(ds_grid_read, 2),
};
static_assert(sizeof kDSFunctions / sizeof kDSFunctions[0] == 126, "the DS group registers 126 functions");

// Calls a body with one real argument, the index.
template <BuiltInBody Body> void CallWithIndex(int index, ScriptValue& result) {
    ScriptValue argument{};
    argument.real = index;
    Body(result, BuiltInArgs{1, &argument});
}

} // namespace

void InitDSFunctions() {
    BuiltIn_Register(kDSFunctions, kBuiltInKeepsInstances);
    BuiltIn_MarkPureOnReals({"ds_list_find_value", "ds_list_size", "ds_map_find_value", "ds_map_exists"});
}

void DS_Grid_SetBoundsChecking(bool checked) {
    Code_Function_Replace("ds_grid_set", checked ? BuiltIn_Call<F_ds_grid_set> : BuiltIn_Call<F_ds_grid_set_fast>);
    Code_Function_Replace("ds_grid_get", checked ? BuiltIn_Call<F_ds_grid_get> : BuiltIn_Call<F_ds_grid_get_fast>);
}

void DS_Queue_Dequeue(int index, ScriptValue* out) {
    if (index >= 0) CallWithIndex<F_ds_queue_dequeue>(index, *out);
}

int DS_Queue_Size(int index) {
    if (index < 0) return 0;
    ScriptValue size{};
    CallWithIndex<F_ds_queue_size>(index, size);
    return X86_RoundToInt32(Value_Real(&size));
}

void DS_Queue_Clear(int index) {
    ScriptValue unused{};
    if (index >= 0) CallWithIndex<F_ds_queue_clear>(index, unused);
}
