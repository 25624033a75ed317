#include "data/data_view.h"

const char* CDataView::Text(uint64_t offset, bool* ok) const {
    if (ok) *ok = true;
    if (offset == 0) return nullptr;
    if (offset < m_size && std::memchr(m_data + offset, 0, m_size - offset))
        return reinterpret_cast<const char*>(m_data + offset);
    if (ok) *ok = false;
    return nullptr;
}

const char* CDataView::StringRecord(uint64_t offset, uint32_t* length) const {
    uint32_t n;
    if (!U32(offset, &n) || !Holds(offset + 4, static_cast<uint64_t>(n) + 1) || m_data[offset + 4 + n] != 0)
        return nullptr;
    if (length) *length = n;
    return reinterpret_cast<const char*>(m_data + offset + 4);
}

bool CDataView::OffsetList(const IFFChunk& chunk, std::vector<uint32_t>* entries) const {
    entries->clear();
    uint32_t count;
    if (!chunk.Holds(chunk.offset, 4) || !U32(chunk.offset, &count)) return false;
    if (!chunk.Holds(chunk.offset + 4, static_cast<uint64_t>(count) * 4)) return false;
    entries->reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t entry = WordAt(chunk.offset + 4 + static_cast<uint64_t>(i) * 4);
        if (entry >= m_size) {
            entries->clear();
            return false;
        }
        entries->push_back(entry);
    }
    return true;
}
