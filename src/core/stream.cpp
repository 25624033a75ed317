#include "core/stream.h"

#include "core/memory.h"
#include "core/save_area.h"

#include <algorithm>
#include <cstring>

namespace {

// Sign extension of the low 32 bits: the only part of a size or position that counts.
int64_t Low32(uint64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

} // namespace

CStream::CStream(int64_t size) {
    size = Low32(static_cast<uint64_t>(size));
    if (size > 0) {
        m_data = static_cast<unsigned char*>(MEM_ALLOC(static_cast<size_t>(size)));
        m_size = size;
    }
}

CStream::~CStream() {
    Drop();
}

void CStream::Delete(CStream* stream) {
    delete stream;
}

void CStream::Drop() {
    ReleaseBlock(m_data);
    m_data = nullptr;
    m_size = 0;
    m_external = false;
}

void CStream::ReleaseBlock(unsigned char* block) const {
    if (!m_external) MEM_FREE(block);
}

void CStream::SetPosition(int64_t position) {
    m_position = Low32(static_cast<uint64_t>(position));
}

int64_t CStream::Seek(int64_t offset, int origin) {
    uint64_t base;
    switch (origin) {
    case 0:
        base = 0;
        break;
    case 1:
        base = static_cast<uint64_t>(m_position);
        break;
    case 2:
        base = static_cast<uint64_t>(m_size);
        break;
    default:
        return m_position;
    }
    m_position = Low32(base + static_cast<uint64_t>(offset));
    return m_position;
}

int64_t CStream::Remaining() const {
    return (m_position >= 0 && m_position < m_size) ? m_size - m_position : 0;
}

int64_t CStream::ReadBuffer(void* destination, int64_t n) {
    if (!destination || n < 1) return 0;
    int64_t k = std::min(n, Remaining());
    if (k == 0) return 0;
    std::memcpy(destination, m_data + m_position, static_cast<size_t>(k));
    m_position += k;
    return k;
}

unsigned char* CStream::Grow(int64_t newSize) {
    if (newSize > static_cast<int64_t>(MemoryManager::kMaxBlockSize)) MemoryManager::OutOfMemory();
    auto grown = static_cast<unsigned char*>(MEM_ALLOC(static_cast<size_t>(newSize)));
    if (m_data && m_size > 0) std::memcpy(grown, m_data, static_cast<size_t>(m_size));
    unsigned char* old = m_external ? nullptr : m_data;
    m_data = grown;
    m_size = newSize;
    m_external = false;
    return old;
}

int64_t CStream::WriteBuffer(const void* source, int64_t n) {
    if (!source || n < 1 || m_position < 0) return 0;
    int64_t end = m_position + std::min<int64_t>(n, INT64_MAX / 2);
    unsigned char* retired = nullptr;
    if (n > m_size - m_position) {
        int64_t newSize = std::max(end, 2 * m_size);
        // Doubling is capped at the largest block; the bytes written must still fit.
        if (end <= static_cast<int64_t>(MemoryManager::kMaxBlockSize))
            newSize = std::min(newSize, static_cast<int64_t>(MemoryManager::kMaxBlockSize));
        retired = Grow(newSize);
    }
    // The source may lie in this stream's own (old) block, so copy before releasing it.
    std::memmove(m_data + m_position, source, static_cast<size_t>(n));
    MEM_FREE(retired);
    m_position = Low32(static_cast<uint64_t>(end));
    return n;
}

bool CStream::ReadFixed(unsigned char* out, int width) {
    std::memset(out, 0, static_cast<size_t>(width));
    int64_t available = Remaining();
    if (available == 0) return false;
    std::memcpy(out, m_data + m_position, static_cast<size_t>(std::min<int64_t>(width, available)));
    m_position = Low32(static_cast<uint64_t>(m_position) + static_cast<uint64_t>(width));
    return true;
}

int32_t CStream::ReadInteger() {
    unsigned char b[4];
    if (!ReadFixed(b, 4)) return 0;
    return static_cast<int32_t>(uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 |
                                uint32_t{b[3]} << 24);
}

double CStream::ReadReal() {
    unsigned char b[8];
    if (!ReadFixed(b, 8)) return 0.0;
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = bits << 8 | b[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void CStream::ReadString(char*& text) {
    text = nullptr;
    int64_t length = static_cast<uint32_t>(ReadInteger());
    length = std::min(length, Remaining());
    if (length == 0) return;
    text = static_cast<char*>(MEM_ALLOC(static_cast<size_t>(length) + 1));
    ReadBuffer(text, length);
}

void CStream::WriteInteger(int32_t value) {
    auto v = static_cast<uint32_t>(value);
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    WriteBuffer(b, 4);
}

void CStream::WriteReal(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    unsigned char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<unsigned char>(bits >> (8 * i));
    WriteBuffer(b, 8);
}

void CStream::WriteString(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    WriteInteger(static_cast<int32_t>(length));
    if (length) WriteBuffer(text, static_cast<int64_t>(length));
}

void CStream::ConvertToHex(char*& text) const {
    static const char kDigits[] = "0123456789ABCDEF";
    text = nullptr;
    // Bytes past the block (a position moved beyond the size) do not exist and are not written.
    int64_t n = std::min(m_position, m_size);
    if (n <= 0) return;
    text = static_cast<char*>(MEM_ALLOC_RAW(static_cast<size_t>(2 * n + 1)));
    for (int64_t i = 0; i < n; ++i) {
        text[2 * i] = kDigits[m_data[i] >> 4];
        text[2 * i + 1] = kDigits[m_data[i] & 0x0F];
    }
    text[2 * n] = '\0';
}

void CStream::ConvertFromHex(const char* text) {
    if (!text || !*text) return;
    int64_t count = 0;
    for (const char* p = text; p[0] && p[1]; p += 2)
        if (HexDigit(p[0]) >= 0 && HexDigit(p[1]) >= 0) ++count;

    unsigned char* target = m_data;
    unsigned char* retired = nullptr;
    bool reuse = !m_external && m_data && MemoryManager::GetSize(m_data) >= static_cast<uint64_t>(count);
    if (count > 0 && !reuse) {
        if (count > static_cast<int64_t>(MemoryManager::kMaxBlockSize)) MemoryManager::OutOfMemory();
        target = static_cast<unsigned char*>(MEM_ALLOC(static_cast<size_t>(count)));
        retired = m_data;
    }
    int64_t k = 0;
    for (const char* p = text; p[0] && p[1]; p += 2) {
        int hi = HexDigit(p[0]), lo = HexDigit(p[1]);
        if (hi >= 0 && lo >= 0) target[k++] = static_cast<unsigned char>(hi << 4 | lo);
    }
    if (target != m_data) {
        ReleaseBlock(retired);
        m_data = target;
        m_external = false;
    }
    m_size = count;
    m_position = 0;
}

void CStream::CopyFrom(CStream* source, int64_t count, bool share) {
    if (!source) return;
    if (count == 0) {
        source->m_position = 0;
        WriteBuffer(source->m_data, source->m_size);
        source->m_position = source->m_size;
        return;
    }
    int64_t n = std::clamp<int64_t>(count, 0, source->Remaining());
    if (!share) {
        WriteBuffer(source->m_data + (n ? source->m_position : 0), n);
        source->m_position += n;
        return;
    }
    if (source == this) return; // a stream cannot view itself
    Drop();
    m_data = n ? source->m_data + source->m_position : nullptr;
    m_size = n;
    m_position = n;
    m_external = true;
    source->m_position += n;
}

void CStream::LoadFile(const char* name, int64_t offset) {
    Drop();
    int length = 0;
    void* bytes = name ? LoadSave_ReadFile(LoadSave_ReadPath(name).c_str(), &length) : nullptr;
    if (!bytes) return;
    if (offset < 0 || length < 0 || offset >= length) {
        MEM_FREE(bytes);
        return;
    }
    int64_t n = length - offset;
    if (offset == 0) {
        m_data = static_cast<unsigned char*>(bytes);
    } else {
        m_data = static_cast<unsigned char*>(MEM_ALLOC_RAW(static_cast<size_t>(n)));
        std::memcpy(m_data, static_cast<unsigned char*>(bytes) + offset, static_cast<size_t>(n));
        MEM_FREE(bytes);
    }
    m_size = n;
}

void CStream::Substitute(uint32_t seed, int64_t start, int64_t count) {
    if (start < 0 || start >= m_size) return;
    unsigned char forward[256], inverse[256];
    Stream_MakeSubstitutionTables(seed, forward, inverse);
    int64_t end = count < 1 ? m_size : std::min(m_size, start + std::min(count, m_size));
    for (int64_t i = start; i < end; ++i)
        m_data[i] = inverse[m_data[i]];
}

int32_t File_PosToInt(int64_t position) {
    return static_cast<int32_t>(Low32(static_cast<uint64_t>(position)));
}

void Stream_MakeSubstitutionTables(uint32_t seed, unsigned char forward[256], unsigned char inverse[256]) {
    for (int i = 0; i < 256; ++i)
        forward[i] = static_cast<unsigned char>(i);
    // Each round swaps the neighbours at pos + 1 and pos + 2 (so entry 0 never moves); pos steps
    // through the table by a stride drawn each round from a linear-congruential chain started at seed.
    constexpr int kRounds = 4096;
    uint32_t chain = seed;
    uint32_t pos = seed % 254;
    for (int round = 0; round < kRounds; ++round) {
        chain = chain * 1103515245u + 12345u;
        pos = (pos + 1 + (chain >> 16) % 253) % 254;
        std::swap(forward[pos + 1], forward[pos + 2]);
    }
    for (int i = 0; i < 256; ++i)
        inverse[forward[i]] = static_cast<unsigned char>(i);
}
