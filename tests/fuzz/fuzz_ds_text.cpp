// Reads arbitrary text as the text form of a data structure: the first byte chooses the kind (modulo 6:
// map, list, stack, queue, grid, priority queue), the rest is the text. What was read is written out,
// read into a fresh structure and written again; the two texts must be the same. The structure is then
// searched, sorted and emptied, so that whatever values a text can produce meet every walk over them.
#include "fuzz_quiet.h"

#include "core/memory.h"
#include "core/random.h"
#include "library/data_structures.h"
#include "library/ds_grid.h"
#include "library/ds_list.h"
#include "library/ds_map.h"
#include "library/ds_queues.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace {

// A string and an array, so that reading replaces values that own something.
void Prefill(ScriptValue* text, ScriptValue* array) {
    text->kind = KIND_STRING;
    text->str = static_cast<char*>(MEM_ALLOC(4));
    std::memcpy(text->str, "old", 4);
    ScriptValue one{};
    one.real = 1;
    Value_AssignIndexed(array, &one, 1);
}

template <typename T> void RoundTrip(T& first, T& second) {
    char* written = first.WriteToString();
    second.ReadFromString(written ? written : "");
    char* again = second.WriteToString();
    if (std::strcmp(written ? written : "", again ? again : "") != 0) __builtin_trap();
    MEM_FREE(written);
    MEM_FREE(again);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    ScriptValue old{}, array{};
    Prefill(&old, &array);
    Random_SetSeed(data[0]);

    switch (data[0] % 6) {
    case 0: {
        CDS_Map map, copy;
        map.Add(&old, &array);
        map.ReadFromString(text.c_str());
        RoundTrip(map, copy);
        int walked = 0;
        for (MapEntry* e = map.FindFirst(); e && walked < 64; e = map.FindNext(&e->key), ++walked)
            map.Find(&e->key);
        if (MapEntry* last = map.FindLast()) map.FindPrevious(&last->key);
        copy.Assign(&map);
        break;
    }
    case 1: {
        CDS_List list, copy;
        list.Add(&old);
        list.Add(&array);
        list.ReadFromString(text.c_str());
        RoundTrip(list, copy);
        list.FindIndex(&old);
        list.Sort(true);
        list.Sort(false);
        list.Shuffle();
        copy.Assign(&list);
        list.Clear();
        break;
    }
    case 2: {
        CDS_Stack stack, copy;
        stack.Push(&array);
        stack.ReadFromString(text.c_str());
        RoundTrip(stack, copy);
        while (stack.Pop()) {
        }
        stack.Push(&old);
        break;
    }
    case 3: {
        CDS_Queue queue, copy;
        queue.Enqueue(&old);
        queue.ReadFromString(text.c_str());
        RoundTrip(queue, copy);
        queue.Enqueue(&array);
        while (queue.Dequeue()) {
        }
        break;
    }
    case 4: {
        CDS_Grid grid(2, 2), copy(1, 1);
        *grid.Cell(1, 1) = old;
        old = ScriptValue{};
        grid.ReadFromString(text.c_str());
        RoundTrip(grid, copy);
        const GridWalk whole{false, grid.Rectangle(0, 0, grid.Width() - 1, grid.Height() - 1), 0, 0, 0};
        const GridWalk disk{true, {}, grid.Width() / 2.0, grid.Height() / 2.0, 3.5};
        grid.GetSum(whole);
        grid.GetMean(disk);
        grid.GetExtreme(whole, true);
        grid.GetExtreme(disk, false);
        int x, y;
        grid.FindValue(whole, &array, &x, &y);
        grid.Sort(0, 1);
        grid.Sort(0, -1);
        grid.GridRegionOp(DS_OP_ADD, grid, 0, 0, 3, 3, 1, 1);
        grid.WalkOp(DS_OP_MULTIPLY, whole, &array);
        if (grid.CellCount() <= 64) grid.Shuffle();
        break;
    }
    case 5: {
        CDS_Priority priority, copy;
        priority.Add(&old, &array);
        priority.ReadFromString(text.c_str());
        RoundTrip(priority, copy);
        priority.FindMax();
        priority.ChangePriority(&old, &old);
        priority.DeleteValue(&array);
        ScriptValue out{};
        while (!priority.Empty()) {
            priority.DeleteMin(&out);
            Value_Free(&out);
        }
        break;
    }
    }
    Value_Free(&old);
    Value_Free(&array);
    DS_FreeAll();
    return 0;
}
