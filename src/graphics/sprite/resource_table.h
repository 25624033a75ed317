// A table of resources by index, as the sprite and background tables keep them: one slot per index,
// holding the resource (null for an empty slot) and its owned name. Indices are stable: removing a
// resource empties its slot and the table only grows.
#pragma once

#include "core/memory.h"
#include "core/name_map.h"

#include <cstddef>
#include <vector>

template <typename T> class ResourceTable {
public:
    int Count() const { return static_cast<int>(m_slots.size()); }

    // True when index lies inside the table, its slot empty or not.
    bool Contains(int index) const { return InRange(index); }

    // True when index lies inside the table and its slot holds a resource.
    bool Exists(int index) const { return Data(index) != nullptr; }

    // The resource of a slot; null for an empty slot or an index outside the table.
    T* Data(int index) const { return InRange(index) ? m_slots[static_cast<size_t>(index)].item : nullptr; }

    // The name of a slot holding a resource; null otherwise.
    const char* Name(int index) const {
        return Exists(index) ? m_slots[static_cast<size_t>(index)].name : nullptr;
    }

    // The lowest index of a resource with exactly that name; -1 when none. Compiled code looks names up
    // all the time, so an index of the names is made on the first search after the table changed.
    int Find(const char* name) const {
        return m_index.Find(name, [this](auto add) {
            for (size_t i = 0; i < m_slots.size(); ++i)
                if (m_slots[i].item) add(m_slots[i].name, static_cast<int>(i));
        });
    }

    // Appends a slot holding item (taken over) and name (an owned text or null); gives its index.
    int Append(T* item, char* name) {
        m_index.MarkStale();
        m_slots.push_back(Slot{item, name});
        return static_cast<int>(m_slots.size()) - 1;
    }

    // Empties the table and makes count empty slots.
    template <typename Destroy> void Reset(int count, Destroy destroy) {
        Clear(destroy);
        m_slots.assign(count > 0 ? static_cast<size_t>(count) : 0, Slot{nullptr, nullptr});
    }

    // Fills an empty slot made by Reset.
    void Set(int index, T* item, char* name) {
        m_index.MarkStale();
        Slot& slot = m_slots[static_cast<size_t>(index)];
        slot.item = item;
        slot.name = name;
    }

    // Removes the last slot (an add that failed after appending it): its resource goes to destroy, its
    // name is freed, and its index is handed out again by the next Append.
    template <typename Destroy> void DropLast(Destroy destroy) {
        if (m_slots.empty()) return;
        m_index.MarkStale();
        Slot& slot = m_slots.back();
        if (slot.item) destroy(slot.item);
        MEM_FREE(slot.name);
        m_slots.pop_back();
    }

    // Gives the resource of a slot up to the caller (null when there is none), frees its name and
    // empties the slot.
    T* Remove(int index) {
        if (!Exists(index)) return nullptr;
        m_index.MarkStale();
        Slot& slot = m_slots[static_cast<size_t>(index)];
        T* item = slot.item;
        MEM_FREE(slot.name);
        slot = Slot{nullptr, nullptr};
        return item;
    }

    // Puts item in a slot inside the table, keeping its name; gives back the resource it held (null for
    // an empty slot).
    T* Swap(int index, T* item) {
        m_index.MarkStale();
        T* old = m_slots[static_cast<size_t>(index)].item;
        m_slots[static_cast<size_t>(index)].item = item;
        return old;
    }

    template <typename Visit> void ForEach(Visit visit) const {
        for (const Slot& slot : m_slots)
            if (slot.item) visit(slot.item);
    }

    // Destroys every resource with destroy, frees every name and empties the table.
    template <typename Destroy> void Clear(Destroy destroy) {
        m_index.MarkStale();
        for (Slot& slot : m_slots) {
            if (slot.item) destroy(slot.item);
            MEM_FREE(slot.name);
        }
        m_slots.clear();
    }

private:
    bool InRange(int index) const { return index >= 0 && static_cast<size_t>(index) < m_slots.size(); }
    struct Slot {
        T* item;
        char* name;
    };
    std::vector<Slot> m_slots;
    mutable NameIndex m_index; // the lowest index of each name
};
