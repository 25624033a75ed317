// CDS_List: a growable array of script values addressed by position.
#pragma once

#include "script/value.h"

#include <cstdint>

class CDS_List {
public:
    CDS_List() = default;
    // Clear (nested structures destroyed), then the block.
    ~CDS_List();
    CDS_List(const CDS_List&) = delete;
    CDS_List& operator=(const CDS_List&) = delete;

    int Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    int Capacity() const { return m_capacity; }

    // Appends a copy; the block grows by an eighth of its capacity, at least 16 slots.
    void Add(const ScriptValue* value);
    // Inserts at 0 <= position <= count; elsewhere nothing.
    void Insert(int position, const ScriptValue* value);
    // Writes at a position, extending the list over real 0 gaps; the old value is copied to out first.
    // A negative position, or one too large for a count, does nothing.
    void Set(int position, const ScriptValue* value, ScriptValue* out = nullptr);
    // Writes at 0 <= position < count; elsewhere nothing.
    void Replace(int position, const ScriptValue* value);
    void Delete(int position);
    // The slot of 0 <= position < count, else null.
    ScriptValue* Get(int position) const;
    // The first position whose value compares equal (DS_Compare), -1 when none.
    int FindIndex(const ScriptValue* value) const;
    // Insertion sort by DS_Compare: ascending keeps equal values in order, descending reverses them.
    void Sort(bool ascending);
    // 8 x count swaps of two slots drawn from the random generator.
    void Shuffle();
    // Destroys the lists and maps named by marked values, releases every value; the block stays.
    void Clear();
    // Copies the source's count and all its capacity slots (marks included, with the hazard told at
    // CDS_Map::Assign); null clears.
    void Assign(const CDS_List* source);
    bool Clearing() const { return m_clearing; }

    // The text form and its reading (see ds_text.cpp). The text is the caller's.
    char* WriteToString() const;
    bool ReadFromString(const char* text);

private:
    // Makes room for slots values: the block becomes slots slots when it has fewer.
    void Reserve(int64_t slots);

    int m_count = 0;
    int m_capacity = 0;
    ScriptValue* m_values = nullptr;
    bool m_clearing = false;
};
