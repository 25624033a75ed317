// A table of resources by index, as the sprite and background tables keep them: one slot per index,
// holding the resource (null for an empty slot) and its owned name. Indices are stable.
#pragma once

#include "core/memory.h"

#include <cstddef>
#include <vector>

template <typename T> class ResourceTable {
public:
    // True when index lies inside the table and its slot holds a resource.
    bool Exists(int index) const { return Data(index) != nullptr; }

    // The resource of a slot; null for an empty slot or an index outside the table.
    T* Data(int index) const {
        if (index < 0 || static_cast<size_t>(index) >= m_slots.size()) return nullptr;
        return m_slots[static_cast<size_t>(index)].item;
    }

    // Destroys every resource with destroy, frees every name and empties the table.
    template <typename Destroy> void Clear(Destroy destroy) {
        for (Slot& slot : m_slots) {
            destroy(slot.item);
            MEM_FREE(slot.name);
        }
        m_slots.clear();
    }

private:
    struct Slot {
        T* item;
        char* name;
    };
    std::vector<Slot> m_slots;
};
