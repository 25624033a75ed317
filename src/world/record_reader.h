// Bounds-checked reads of data-file records: every read names an offset from the start of the file and
// fails instead of reading outside it.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>

class RecordReader {
public:
    explicit RecordReader(std::span<const uint8_t> file) : m_file(file) {}

    bool Holds(uint64_t offset, uint64_t count) const {
        return offset <= m_file.size() && count <= m_file.size() - offset;
    }
    template <typename T> bool Read(uint64_t offset, T* out) const {
        static_assert(sizeof(T) == 4);
        if (!Holds(offset, 4)) return false;
        std::memcpy(out, m_file.data() + offset, 4);
        return true;
    }
    // The zero-terminated text at offset, or null when it is not terminated inside the file.
    const char* Text(uint64_t offset) const {
        if (offset >= m_file.size()) return nullptr;
        const void* end = std::memchr(m_file.data() + offset, 0, m_file.size() - offset);
        return end ? reinterpret_cast<const char*>(m_file.data() + offset) : nullptr;
    }
    // True when the span body lies inside the file; its offset from the file's start goes to offset.
    bool Locate(std::span<const uint8_t> body, uint64_t* offset) const {
        if (body.data() < m_file.data() || body.data() + body.size() > m_file.data() + m_file.size())
            return false;
        *offset = static_cast<uint64_t>(body.data() - m_file.data());
        return true;
    }

private:
    std::span<const uint8_t> m_file;
};
