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

    // Appends a slot holding item (taken over) and name (an owned text or null); gives its index.
    int Append(T* item, char* name) {
        m_slots.push_back(Slot{item, name});
        return static_cast<int>(m_slots.size()) - 1;
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
