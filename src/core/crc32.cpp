#include "core/crc32.h"

#include <array>

namespace {

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i;
        for (int k = 0; k < 8; ++k)
            r = (r & 1) ? (r >> 1) ^ 0xEDB88320u : r >> 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kTable = MakeTable();

inline uint32_t Step(uint32_t r, unsigned char byte) {
    return (r >> 8) ^ kTable[(r ^ byte) & 0xFF];
}

} // namespace

void CRC32_Init() {}

uint32_t CRC32_String(const char* text) {
    uint32_t r = 0xFFFFFFFFu;
    if (!text) return r;
    for (auto p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
        r = Step(r, *p);
    return r;
}

uint32_t CRC32_Buffer(const void* bytes, int n) {
    uint32_t r = 0xFFFFFFFFu;
    if (!bytes) return r;
    auto p = static_cast<const unsigned char*>(bytes);
    for (int i = 0; i < n; ++i)
        r = Step(r, p[i]);
    return r;
}
