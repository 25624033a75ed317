// What the six data-structure kinds share: the handle tables, the marks that make a stored real name a
// nested list or map, the comparison precision and the three-way comparison of values, and the blocks
// of values the containers keep.
#pragma once

#include "core/memory.h"
#include "script/value.h"

#include <algorithm>
#include <climits>
#include <cstdint>

// The kinds as ds_exists numbers them.
enum DSKind {
    DS_KIND_MAP = 1,
    DS_KIND_LIST = 2,
    DS_KIND_STACK = 3,
    DS_KIND_QUEUE = 4,
    DS_KIND_GRID = 5,
    DS_KIND_PRIORITY = 6,
};

// Bits of a stored value's kind word: the value is a real whose number is the index of a nested list or
// map, destroyed with the list or map that holds it.
constexpr uint32_t DS_MARK_LIST = 0x40000000u;
constexpr uint32_t DS_MARK_MAP = 0x80000000u;
// What a look-up keeps of a stored kind word: scripts never see the marks.
constexpr uint32_t DS_LOOKUP_MASK = 0x00FFFFFFu;

// True when a stored kind word names a nested structure that clearing its holder destroys: the low 16
// bits clear and a mark set.
inline bool DS_NamesNested(uint32_t kindWord) {
    return (kindWord & 0xFFFFu) == 0 && (kindWord & (DS_MARK_LIST | DS_MARK_MAP)) != 0;
}

// The comparison precision (1e-8 at start), always stored without its sign.
double DS_GetPrecision();
void DS_SetPrecision(double precision);

// Three-way comparison of two values by their whole kind words: two reals compare in single precision
// and are equal within the precision; two strings compare byte by byte (a string without text is "");
// otherwise a real comes first and any other pair gives 1 both ways (never equal).
int DS_Compare(const ScriptValue* a, const ScriptValue* b);
// Unsigned byte-wise comparison, -1, 0 or 1; null is "".
int DS_CompareText(const char* a, const char* b);

// Lets go of what a stored value holds and makes it the real 0.
void DS_Release(ScriptValue* v);
// The copy a look-up hands to a script: the stored value with the top byte of its kind word cleared.
void DS_CopyOut(ScriptValue* result, const ScriptValue* stored);

// Grows a block of values to hold at least slots values (new ones real 0); a block never shrinks. A size
// no block can have ends the run as an exhausted heap does.
void DS_GrowValues(ScriptValue*& block, int64_t slots);
// DS_Release on n values of a block.
void DS_ReleaseValues(ScriptValue* block, int64_t n);

// One handle table: a growing block of object pointers, a null pointer a free slot. Indices are handed
// out lowest free first; the table never shrinks and its count never goes down. The table owns its
// objects.
template <typename T> class DS_Table {
public:
    int Count() const { return m_count; }
    T** Items() const { return m_items; }
    bool InRange(int index) const { return index >= 0 && index < m_count; }
    // The object of a valid index, else null.
    T* Get(int index) const { return InRange(index) ? m_items[index] : nullptr; }

    // The lowest free slot, the table grown by one slot when none is free.
    int NewIndex() {
        for (; m_firstFree < m_count; ++m_firstFree)
            if (!m_items[m_firstFree]) return m_firstFree;
        if (m_count >= m_capacity) {
            // At least 16 more slots, and at least twice as many, so that many handles cost no more than
            // a few copies of the block.
            const int64_t grown = std::max<int64_t>(m_count + 16, 2 * static_cast<int64_t>(m_capacity));
            if (grown > INT32_MAX) MemoryManager::OutOfMemory();
            MemoryManager::SetLength(m_items, sizeof(T*) * static_cast<size_t>(grown), __FILE__, __LINE__);
            m_capacity = static_cast<int>(grown);
        }
        m_firstFree = m_count;
        return m_count++;
    }
    void Store(int index, T* object) {
        if (!InRange(index)) return;
        m_items[index] = object;
        if (!object && index < m_firstFree) m_firstFree = index;
    }
    int Add(T* object) {
        int index = NewIndex();
        m_items[index] = object;
        return index;
    }
    // Empties the slot of a valid index and hands its object to the caller; null otherwise.
    T* Take(int index) {
        T* object = Get(index);
        if (object) {
            m_items[index] = nullptr;
            if (index < m_firstFree) m_firstFree = index;
        }
        return object;
    }
    // Deletes every object and returns the table to its start (empty, no block).
    void DeleteAll() {
        for (int i = 0; i < m_count; ++i)
            delete Take(i);
        MEM_FREE(m_items);
        m_items = nullptr;
        m_count = m_capacity = m_firstFree = 0;
    }

private:
    int m_capacity = 0;
    T** m_items = nullptr;
    int m_count = 0;
    // No slot below this one is free: the search for the lowest free slot starts here.
    int m_firstFree = 0;
};
