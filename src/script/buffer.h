// Binary buffers: a block of bytes with a cursor, written and read as typed little-endian values.
#pragma once

#include "script/value.h"

#include <cstdint>

// Data types of Write and Read.
enum : int {
    eBuffer_U8 = 1,
    eBuffer_S8 = 2,
    eBuffer_U16 = 3,
    eBuffer_S16 = 4,
    eBuffer_U32 = 5,
    eBuffer_S32 = 6,
    eBuffer_F16 = 7, // a 16-bit code with no conversion: refused by Write and Read
    eBuffer_F32 = 8,
    eBuffer_F64 = 9,
    eBuffer_Bool = 10,
    eBuffer_String = 11,
};

// What happens at the end of the buffer.
enum : int {
    eBuffer_Fixed = 0, // a value that does not fit is refused
    eBuffer_Grow = 1,  // the size doubles until the value fits
    eBuffer_Wrap = 2,  // writing and reading go on at byte 0
};

// Byte count of a data type; 0 for type 11 (strings) and every code outside 1 to 10.
int Buffer_TypeSize(int type);

class IBuffer {
public:
    // An empty grow buffer with alignment 1 and no memory.
    IBuffer();
    // A zero-filled buffer of `size` bytes whose byte 0 lies on the alignment.
    IBuffer(int size, int kind, int alignment);
    // A buffer over existing memory, used as given (not re-aligned); freed by the buffer when owned.
    IBuffer(void* memory, int size, int kind, int alignment, bool ownsMemory);
    virtual ~IBuffer();
    IBuffer(const IBuffer&) = delete;
    IBuffer& operator=(const IBuffer&) = delete;

    // Aligns the position, then writes one value: types 1 to 10 take the value's real, 11 its text and a
    // zero byte. Gives 0 when written, -1 for an unusable type, -2 when a fixed buffer has no room.
    virtual int Write(int type, const ScriptValue* value);
    // Aligns the position, then reads one value into out (freed first): a real for types 1 to 10, a new
    // string for 11. Past the end out is the real -3 and the result still 0; -1 for an unusable type.
    virtual int Read(int type, ScriptValue* out);
    // mode 0 from the start, 1 relative, 2 from the end; gives the new position.
    virtual int Seek(int mode, int offset);
    // A new zero-filled block of newSize bytes holding the old bytes that fit.
    virtual void Resize(int newSize);

    // Writes a type-11 string; a null text is written as the one-byte string 0x04.
    void WriteString(const char* text);
    // Reads a type-11 string into a new block (the caller frees it with MEM_FREE); the one-byte string
    // 0x04, and the end of the buffer, give null.
    char* ReadString();

    // Aligns the position as Read would and tells whether a whole value of the type lies before the end
    // (for a string: its zero byte). Readers of outside data test with it, since Read past the end gives
    // a value rather than a failure.
    bool CanRead(int type);
    // Bytes from the position to the end (0 when the position is past it).
    int BytesLeft() const { return position < size ? size - position : 0; }

    void* rawBlock;      // the block as allocated or handed in
    int allocatedSize;   // size + alignment
    uint8_t* data;       // byte 0 of the buffer
    int size;            // bytes in the buffer
    int alignment;       // power of two, 1 to 512
    int kind;            // eBuffer_Fixed, eBuffer_Grow or eBuffer_Wrap
    int position;        // cursor of Write and Read
    int phase;           // how far wrapping has shifted the alignment grid, 0 to alignment - 1
    ScriptValue scratch; // carrier of WriteString and ReadString; real 0 when idle
    bool ownsMemory;

private:
    void AlignPosition();
    void WrapTo(int64_t streamPosition);
    void WrapStep();
    bool GrowToHold(int64_t needed);
    void StoreBytes(const uint8_t* bytes, int n);
    void TakeBytes(uint8_t* bytes, int n);
};

// The general buffer that scripts create.
class Buffer_Standard : public IBuffer {
public:
    Buffer_Standard(int size, int kind, int alignment) : IBuffer(size, kind, alignment) {}
};

// Writes a real as one value of a numeric type (6 for s32, 9 for f64, ...).
void Buffer_WriteReal(IBuffer* buffer, int type, double d);
// Reads one numeric value; false, with nothing read, when it does not lie wholly in the buffer.
bool Buffer_ReadReal(IBuffer* buffer, int type, double* d);
// Reads an s32 value; false when it is not wholly in the buffer.
bool Buffer_ReadInt32(IBuffer* buffer, int* n);

// True when `count` items of at least `minBytesEach` bytes can still lie in the buffer after its
// position: the check every reader of a saved count makes before trusting it.
bool Buffer_CountFits(const IBuffer* buffer, int count, int minBytesEach);
