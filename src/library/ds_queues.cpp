#include "library/ds_queues.h"

#include "library/ds_core.h"

namespace {

// Sizes a block to a source's capacity (never shrinking) and copies all those slots, after releasing
// what the destination held.
void CopyBlock(ScriptValue*& block, int& capacity, const ScriptValue* source, int sourceCapacity) {
    DS_ReleaseValues(block, capacity);
    DS_GrowValues(block, sourceCapacity);
    capacity = sourceCapacity;
    for (int i = 0; i < sourceCapacity; ++i)
        Value_Copy(&block[i], &source[i]);
}

void GrowBy16(ScriptValue*& block, int& capacity, int count) {
    DS_GrowValues(block, static_cast<int64_t>(count) + 16);
    capacity = count + 16;
}

} // namespace

// ---- Stack

CDS_Stack::~CDS_Stack() {
    Clear();
    MEM_FREE(m_values);
}

void CDS_Stack::Push(const ScriptValue* value) {
    if (m_count >= m_capacity) GrowBy16(m_values, m_capacity, m_count);
    Value_Copy(&m_values[m_count++], value);
}

ScriptValue* CDS_Stack::Pop() {
    return m_count > 0 ? &m_values[--m_count] : nullptr;
}

void CDS_Stack::Clear() {
    DS_ReleaseValues(m_values, m_capacity);
    m_count = 0;
    m_capacity = 0;
}

void CDS_Stack::Assign(const CDS_Stack* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source == this) return;
    CopyBlock(m_values, m_capacity, source->m_values, source->m_capacity);
    m_count = source->m_count;
}

// ---- Queue

CDS_Queue::~CDS_Queue() {
    Clear();
    MEM_FREE(m_values);
}

void CDS_Queue::Enqueue(const ScriptValue* value) {
    if (m_tail >= m_capacity) GrowBy16(m_values, m_capacity, m_tail);
    Value_Copy(&m_values[m_tail++], value);
}

ScriptValue* CDS_Queue::Dequeue() {
    if (m_head == m_tail) return nullptr;
    ScriptValue* result = &m_values[m_head++];
    if (m_head >= 17 && m_head > m_tail / 2) {
        // Copies, not moves: the vacated slots keep equal values of their own, and the dequeued slot
        // lies above the new tail, untouched.
        for (int i = m_head; i < m_tail; ++i)
            Value_Copy(&m_values[i - m_head], &m_values[i]);
        m_tail -= m_head;
        m_head = 0;
    }
    return result;
}

void CDS_Queue::Clear() {
    DS_ReleaseValues(m_values, m_capacity);
    m_tail = m_head = 0;
    m_capacity = 0;
}

void CDS_Queue::Assign(const CDS_Queue* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source == this) return;
    CopyBlock(m_values, m_capacity, source->m_values, source->m_capacity);
    m_tail = source->m_tail;
    m_head = source->m_head;
}

// ---- Priority queue

CDS_Priority::~CDS_Priority() {
    Clear();
}

void CDS_Priority::Add(const ScriptValue* value, const ScriptValue* priority) {
    if (m_count >= m_valueCapacity || m_count >= m_priorityCapacity) {
        GrowBy16(m_values, m_valueCapacity, m_count);
        GrowBy16(m_priorities, m_priorityCapacity, m_count);
    }
    Value_Copy(&m_values[m_count], value);
    Value_Copy(&m_priorities[m_count], priority);
    ++m_count;
}

int CDS_Priority::Find(const ScriptValue* value) const {
    for (int i = 0; i < m_count; ++i)
        if (DS_Compare(&m_values[i], value) == 0) return i;
    return -1;
}

void CDS_Priority::ChangePriority(const ScriptValue* value, const ScriptValue* priority) {
    const int i = Find(value);
    if (i >= 0) Value_Copy(&m_priorities[i], priority);
}

const ScriptValue* CDS_Priority::FindPriority(const ScriptValue* value) const {
    const int i = Find(value);
    return i >= 0 ? &m_priorities[i] : nullptr;
}

void CDS_Priority::DeleteValue(const ScriptValue* value) {
    const int i = Find(value);
    if (i < 0) return;
    Value_Copy(&m_values[i], &m_values[m_count - 1]);
    Value_Copy(&m_priorities[i], &m_priorities[m_count - 1]);
    --m_count;
}

int CDS_Priority::Best(bool max) const {
    if (m_count == 0) return -1;
    int best = 0;
    for (int i = 1; i < m_count; ++i) {
        const int c = DS_Compare(&m_priorities[i], &m_priorities[best]);
        if (max ? c > 0 : c < 0) best = i;
    }
    return best;
}

const ScriptValue* CDS_Priority::FindMin() const {
    const int best = Best(false);
    return best >= 0 ? &m_values[best] : nullptr;
}

const ScriptValue* CDS_Priority::FindMax() const {
    const int best = Best(true);
    return best >= 0 ? &m_values[best] : nullptr;
}

void CDS_Priority::DeleteBest(bool max, ScriptValue* out) {
    Value_Free(out);
    *out = ScriptValue{};
    const int best = Best(max);
    if (best < 0) return;
    const int last = m_count - 1;
    // The value moves out whole; the last entry moves into the freed slot.
    *out = m_values[best];
    DS_Release(&m_priorities[best]);
    m_values[best] = m_values[last];
    m_priorities[best] = m_priorities[last];
    m_values[last] = ScriptValue{};
    m_priorities[last] = ScriptValue{};
    --m_count;
}

void CDS_Priority::DeleteMin(ScriptValue* out) {
    DeleteBest(false, out);
}

void CDS_Priority::DeleteMax(ScriptValue* out) {
    DeleteBest(true, out);
}

void CDS_Priority::Clear() {
    DS_ReleaseValues(m_values, m_valueCapacity);
    DS_ReleaseValues(m_priorities, m_priorityCapacity);
    MEM_FREE(m_values);
    MEM_FREE(m_priorities);
    m_values = m_priorities = nullptr;
    m_count = m_valueCapacity = m_priorityCapacity = 0;
}

void CDS_Priority::Assign(const CDS_Priority* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source == this) return;
    CopyBlock(m_values, m_valueCapacity, source->m_values, source->m_valueCapacity);
    CopyBlock(m_priorities, m_priorityCapacity, source->m_priorities, source->m_priorityCapacity);
    m_count = source->m_count;
}
