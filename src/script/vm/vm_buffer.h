// Buffers that hold bytecode: the read-only buffer a code object runs, and the growable buffer the
// compiler writes into.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace vm {
struct Decoded;
}

// A run of bytecode (or of debug-table words): size in bytes and the bytes. A buffer made over bytes it
// does not own (the loaded data file's code chunk) leaves them alone when destroyed. The bytes are not
// assumed to be aligned: readers go through VMBuffer::ReadWord and friends.
class VMBuffer {
public:
    VMBuffer() = default;
    // Takes the bytes as they are; with owned set they are a block of the memory manager and are freed
    // with the buffer.
    VMBuffer(uint8_t* bytes, int byteCount, bool owned) : size(byteCount), data(bytes), m_owned(owned) {}
    virtual ~VMBuffer();
    VMBuffer(const VMBuffer&) = delete;
    VMBuffer& operator=(const VMBuffer&) = delete;

    // The 32-bit little-endian word at a byte offset; the caller has checked offset + 4 <= size.
    uint32_t ReadWord(int offset) const;
    // True when [offset, offset + count) lies inside the buffer.
    bool Holds(int64_t offset, int64_t count) const {
        return offset >= 0 && count >= 0 && offset + count <= size;
    }

    int size = 0;
    uint8_t* data = nullptr;

    // The machine's decoded form of these bytes, made on first run (vm_decode.h); it notices a new
    // data pointer or size by itself, and a change of the bytes through VM_CodeChanged.
    mutable vm::Decoded* decoded = nullptr;
    // The variable ids of the code's locals by frame slot, as decoding numbered them. Decoding again
    // keeps every number and adds new ids at the end, so a frame laid out for an earlier decoded form
    // stays right for the later ones.
    mutable std::vector<int> localIds;

protected:
    bool m_owned = false;
};

// Says that bytes of some code were written in place (breakpoints): every decoded form is made again
// before it runs next.
void VM_CodeChanged();
// How many decoded forms have been made since the process started.
uint64_t VM_DecodeCount();

// The compiler's output buffer. `size` counts the bytes written so far, so the buffer can be handed to a
// code object as its bytecode once writing ends; the capacity is kept apart.
class VMWriteBuffer : public VMBuffer {
public:
    explicit VMWriteBuffer(int capacity);

    // Doubles the capacity until n bytes are free; gives the capacity.
    int Reserve(int n);
    void Emit(std::initializer_list<uint32_t> words);
    void EmitInt(int32_t value) { Emit({static_cast<uint32_t>(value)}); }
    void EmitBool(bool value) { Emit({value ? 1u : 0u}); }
    // Low word first.
    void EmitDouble(double value);
    void EmitLong(int64_t value);
    // One word: a .f operand is a 4-byte single-precision number, as its operand size says.
    void EmitFloat(float value);

    int Capacity() const { return m_capacity; }
    // Rewrites a word already written (branch fix-ups); offset + 4 <= size.
    void PatchWord(int offset, uint32_t word);

private:
    int m_capacity;
};
