#include "script/vm/vm_buffer.h"

#include <cstring>

#include "core/memory.h"
#include "script/vm/vm_decode.h"

namespace {

void StoreWord(uint8_t* p, uint32_t word) {
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    p[2] = static_cast<uint8_t>(word >> 16);
    p[3] = static_cast<uint8_t>(word >> 24);
}

} // namespace

VMBuffer::~VMBuffer() {
    vm::Decoded_Free(decoded);
    if (m_owned) MEM_FREE(data);
}

uint32_t VMBuffer::ReadWord(int offset) const {
    const uint8_t* p = data + offset;
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

VMWriteBuffer::VMWriteBuffer(int capacity) : m_capacity(capacity > 0 ? capacity : 16) {
    data = static_cast<uint8_t*>(MEM_ALLOC(static_cast<size_t>(m_capacity)));
    m_owned = true;
}

int VMWriteBuffer::Reserve(int n) {
    if (n < 0) return m_capacity;
    int64_t capacity = m_capacity;
    while (capacity - size < n)
        capacity *= 2;
    if (capacity > static_cast<int64_t>(MemoryManager::kMaxBlockSize)) MemoryManager::OutOfMemory();
    if (capacity != m_capacity) {
        uint8_t* grown = static_cast<uint8_t*>(MEM_ALLOC_RAW(static_cast<size_t>(capacity)));
        if (size > 0) std::memcpy(grown, data, static_cast<size_t>(size));
        MEM_FREE(data);
        data = grown;
        m_capacity = static_cast<int>(capacity);
    }
    return m_capacity;
}

void VMWriteBuffer::Emit(std::initializer_list<uint32_t> words) {
    Reserve(static_cast<int>(4 * words.size()));
    for (uint32_t word : words) {
        StoreWord(data + size, word);
        size += 4;
    }
}

void VMWriteBuffer::EmitDouble(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Emit({static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)});
}

void VMWriteBuffer::EmitLong(int64_t value) {
    const uint64_t bits = static_cast<uint64_t>(value);
    Emit({static_cast<uint32_t>(bits), static_cast<uint32_t>(bits >> 32)});
}

void VMWriteBuffer::EmitFloat(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    Emit({bits});
}

void VMWriteBuffer::PatchWord(int offset, uint32_t word) {
    StoreWord(data + offset, word);
    vm::Decoded_Free(decoded);
    decoded = nullptr;
}
