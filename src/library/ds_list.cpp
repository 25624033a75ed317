#include "library/ds_list.h"

#include "core/random.h"
#include "library/data_structures.h"
#include "library/ds_core.h"

#include <climits>
#include <cstring>
#include <utility>

namespace {

void SwapRaw(ScriptValue& a, ScriptValue& b) {
    std::swap(a, b);
}

} // namespace

CDS_List::~CDS_List() {
    Clear();
    MEM_FREE(m_values);
}

void CDS_List::Reserve(int64_t slots) {
    DS_GrowValues(m_values, slots);
    m_capacity = static_cast<int>(slots);
}

void CDS_List::Add(const ScriptValue* value) {
    if (m_count >= m_capacity) {
        const int grow = m_capacity / 8 > 16 ? m_capacity / 8 : 16;
        Reserve(static_cast<int64_t>(m_count) + grow);
    }
    Value_Copy(&m_values[m_count], value);
    ++m_count;
}

void CDS_List::Insert(int position, const ScriptValue* value) {
    if (position < 0 || position > m_count) return;
    if (m_count >= m_capacity) Reserve(static_cast<int64_t>(m_count) + 16);
    std::memmove(static_cast<void*>(&m_values[position + 1]), &m_values[position],
                 sizeof(ScriptValue) * static_cast<size_t>(m_count - position));
    m_values[position] = ScriptValue{};
    Value_Copy(&m_values[position], value);
    ++m_count;
}

void CDS_List::Set(int position, const ScriptValue* value, ScriptValue* out) {
    // Past this a count of position + 1 and its 16 spare slots would not fit in 32 bits.
    if (position < 0 || position > INT_MAX - 17) return;
    if (position >= m_count) m_count = position + 1;
    if (m_count >= m_capacity) Reserve(static_cast<int64_t>(m_count) + 16);
    if (out) Value_Copy(out, &m_values[position]);
    Value_Copy(&m_values[position], value);
}

void CDS_List::Replace(int position, const ScriptValue* value) {
    if (position >= 0 && position < m_count) Value_Copy(&m_values[position], value);
}

void CDS_List::Delete(int position) {
    if (position < 0 || position >= m_count) return;
    Value_Free(&m_values[position]);
    std::memmove(static_cast<void*>(&m_values[position]), &m_values[position + 1],
                 sizeof(ScriptValue) * static_cast<size_t>(m_count - position - 1));
    m_values[m_count - 1] = ScriptValue{};
    --m_count;
}

ScriptValue* CDS_List::Get(int position) const {
    return position >= 0 && position < m_count ? &m_values[position] : nullptr;
}

int CDS_List::FindIndex(const ScriptValue* value) const {
    for (int i = 0; i < m_count; ++i)
        if (DS_Compare(&m_values[i], value) == 0) return i;
    return -1;
}

void CDS_List::Sort(bool ascending) {
    for (int i = 1; i < m_count; ++i)
        for (int j = i; j >= 1; --j) {
            const int c = DS_Compare(&m_values[j - 1], &m_values[j]);
            if (ascending ? c <= 0 : c > 0) break;
            SwapRaw(m_values[j - 1], m_values[j]);
        }
}

void CDS_List::Shuffle() {
    if (m_count <= 0) return;
    for (int64_t round = 0; round < 8 * static_cast<int64_t>(m_count); ++round) {
        const uint32_t a = Random_Int(m_count);
        const uint32_t b = Random_Int(m_count);
        SwapRaw(m_values[a], m_values[b]);
    }
}

void CDS_List::Clear() {
    DS_RunClearing(m_clearing, [this] {
        for (int i = 0; i < m_count; ++i) {
            DS_ReleaseNested(&m_values[i]);
            DS_Release(&m_values[i]);
        }
        m_count = 0;
    });
}

void CDS_List::Assign(const CDS_List* source) {
    if (!source) {
        Clear();
        return;
    }
    if (source == this) return;
    DS_ReleaseValues(m_values, m_count);
    Reserve(source->m_capacity);
    m_capacity = source->m_capacity;
    for (int i = 0; i < source->m_capacity; ++i)
        Value_Copy(&m_values[i], &source->m_values[i]);
    m_count = source->m_count;
}
