// A bounds-checked view over a loaded data file (the game file or its debug-information file). Every read
// names an offset from the start of the file and fails, rather than reading outside, when the bytes are
// not there. Offsets stored in the file stay offsets: they are resolved when read, never patched.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// One chunk of the container: its tag (the four characters as a little-endian word) and its body.
struct IFFChunk {
    uint32_t tag = 0;
    uint32_t offset = 0; // of the body, from the start of the file
    uint32_t length = 0;

    uint64_t End() const { return static_cast<uint64_t>(offset) + length; }
    // True when [at, at + count) lies inside the body.
    bool Holds(uint64_t at, uint64_t count) const {
        return at >= offset && at <= End() && count <= End() - at;
    }
};

constexpr uint32_t IFF_Tag(const char (&text)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(text[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3])) << 24;
}

class CDataView {
public:
    CDataView() = default;
    CDataView(uint8_t* data, uint32_t size) : m_data(data), m_size(data ? size : 0) {}

    uint8_t* Data() const { return m_data; }
    uint32_t Size() const { return m_size; }
    bool Holds(uint64_t offset, uint64_t count) const { return offset <= m_size && count <= m_size - offset; }

    bool U8(uint64_t offset, uint8_t* out) const {
        if (!Holds(offset, 1)) return false;
        *out = m_data[offset];
        return true;
    }
    bool U32(uint64_t offset, uint32_t* out) const {
        if (!Holds(offset, 4)) return false;
        std::memcpy(out, m_data + offset, 4);
        return true;
    }
    bool S32(uint64_t offset, int32_t* out) const {
        if (!Holds(offset, 4)) return false;
        std::memcpy(out, m_data + offset, 4);
        return true;
    }
    bool WriteU32(uint64_t offset, uint32_t value) const {
        if (!Holds(offset, 4)) return false;
        std::memcpy(m_data + offset, &value, 4);
        return true;
    }
    // The word at an offset the caller has checked; 0 outside.
    uint32_t WordAt(uint64_t offset) const {
        uint32_t value = 0;
        U32(offset, &value);
        return value;
    }

    // The zero-terminated text starting at offset; null when the offset is 0 (no text) or when the text is
    // not terminated inside the file. ok (when given) is false only for the second case.
    const char* Text(uint64_t offset, bool* ok = nullptr) const;
    // The same for a text a record names: true for offset 0 (out is null) and for a terminated text.
    bool ReadText(uint64_t offset, const char** out) const {
        bool ok;
        *out = Text(offset, &ok);
        return ok;
    }
    // A string record {u32 length, the characters, a zero byte} at offset: the characters, when the record
    // lies inside the file and is terminated where its length says; else null.
    const char* StringRecord(uint64_t offset, uint32_t* length = nullptr) const;
    // A counted offset list (u32 count, then count u32 offsets) at the start of a chunk's body: false when
    // the list does not fit the body or an entry lies outside the file. Entries 0 (no record) are kept.
    bool OffsetList(const IFFChunk& chunk, std::vector<uint32_t>* entries) const;

private:
    uint8_t* m_data = nullptr;
    uint32_t m_size = 0;
};
