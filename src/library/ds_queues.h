// The sequence containers: CDS_Stack (last in, first out), CDS_Queue (first in, first out) and
// CDS_Priority (values paired with priorities, taken by the least or greatest priority). Each keeps its
// values in blocks that grow 16 slots at a time and never shrink; popped and dequeued values stay in
// their slots until overwritten.
#pragma once

#include "script/value.h"

class CDS_Stack {
public:
    CDS_Stack() = default;
    ~CDS_Stack();
    CDS_Stack(const CDS_Stack&) = delete;
    CDS_Stack& operator=(const CDS_Stack&) = delete;

    int Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    void Push(const ScriptValue* value);
    // The popped slot (its value stays there), null when empty.
    ScriptValue* Pop();
    ScriptValue* Top() const { return m_count > 0 ? &m_values[m_count - 1] : nullptr; }
    // Releases every slot; capacity 0, the block kept for the next push.
    void Clear();
    // Copies the source's count and all its capacity slots; null clears.
    void Assign(const CDS_Stack* source);

    char* WriteToString() const;
    bool ReadFromString(const char* text);

private:
    int m_count = 0;
    int m_capacity = 0;
    ScriptValue* m_values = nullptr;
};

class CDS_Queue {
public:
    CDS_Queue() = default;
    ~CDS_Queue();
    CDS_Queue(const CDS_Queue&) = delete;
    CDS_Queue& operator=(const CDS_Queue&) = delete;

    int Size() const { return m_tail - m_head; }
    bool Empty() const { return m_head == m_tail; }
    void Enqueue(const ScriptValue* value);
    // The slot of the value taken from the head, null when empty. When more than half the block lies
    // before the head (and at least 17 slots), the queue's values are first copied down to slot 0.
    ScriptValue* Dequeue();
    ScriptValue* Head() const { return Empty() ? nullptr : &m_values[m_head]; }
    ScriptValue* Tail() const { return Empty() ? nullptr : &m_values[m_tail - 1]; }
    void Clear();
    void Assign(const CDS_Queue* source);

    char* WriteToString() const;
    bool ReadFromString(const char* text);

private:
    int m_tail = 0;
    int m_head = 0;
    int m_capacity = 0;
    ScriptValue* m_values = nullptr;
};

class CDS_Priority {
public:
    CDS_Priority() = default;
    ~CDS_Priority();
    CDS_Priority(const CDS_Priority&) = delete;
    CDS_Priority& operator=(const CDS_Priority&) = delete;

    int Size() const { return m_count; }
    bool Empty() const { return m_count == 0; }
    void Add(const ScriptValue* value, const ScriptValue* priority);
    // The first entry whose value compares equal (DS_Compare) gets the priority; nothing when none.
    void ChangePriority(const ScriptValue* value, const ScriptValue* priority);
    const ScriptValue* FindPriority(const ScriptValue* value) const;
    // The first such entry takes the last entry's value and priority.
    void DeleteValue(const ScriptValue* value);
    // The value of the least / greatest priority (the lowest slot of equal ones), null when empty.
    const ScriptValue* FindMin() const;
    const ScriptValue* FindMax() const;
    // Moves that value into out (real 0 when empty) and fills its slot with the last entry.
    void DeleteMin(ScriptValue* out);
    void DeleteMax(ScriptValue* out);
    void Clear();
    void Assign(const CDS_Priority* source);

    char* WriteToString() const;
    bool ReadFromString(const char* text);

private:
    int Find(const ScriptValue* value) const;
    int Best(bool max) const;
    void DeleteBest(bool max, ScriptValue* out);

    int m_count = 0;
    int m_valueCapacity = 0;
    ScriptValue* m_values = nullptr;
    int m_priorityCapacity = 0;
    ScriptValue* m_priorities = nullptr;
};
