// Binary buffers: a block of bytes with a cursor, written and read as typed little-endian values.
#pragma once

#include "core/digest.h"
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
    eBuffer_Fast = 3,  // a fixed buffer of single bytes (Buffer_Fast)
};

// Byte count of a data type; 0 for type 11 (strings) and every code outside 1 to 10.
int Buffer_TypeSize(int type);

// The buffer class of the whole engine: scripts' buffers, saved games, serialised values, packets.
//
// Every offset and size an operation is given may be anything (negative, past the end, huge): each
// operation brings it into the buffer or refuses, and never touches a byte outside the block.
class IBuffer {
public:
    // An empty grow buffer with alignment 1 and no memory.
    IBuffer();
    // A zero-filled buffer of `size` bytes whose byte 0 lies on the alignment.
    IBuffer(int size, int kind, int alignment);
    // A buffer over existing memory, used as given (not re-aligned); freed by the buffer when owned (the
    // memory must then come from the memory manager).
    IBuffer(void* memory, int size, int kind, int alignment, bool ownsMemory);
    virtual ~IBuffer();
    IBuffer(const IBuffer&) = delete;
    IBuffer& operator=(const IBuffer&) = delete;

    // Aligns the position, then writes one value: types 1 to 10 take the value's real, 11 its text and a
    // zero byte (a value without text: the zero byte alone). Gives 0 when written, -1 for an unusable
    // type, -2 when the buffer has no room (a fixed buffer is full, or a grow buffer would pass 2 GiB).
    virtual int Write(int type, const ScriptValue* value);
    // Aligns the position, then reads one value into out (freed first): a real for types 1 to 10, a new
    // string for 11 (up to a zero byte, else to the end of the buffer). Past the end out is the real -3
    // and the result still 0; -1 for an unusable type.
    virtual int Read(int type, ScriptValue* out);
    // mode 0 from the start, 1 relative, 2 from the end; gives the new position (0 for an empty buffer).
    virtual int Seek(int mode, int offset);
    // The value of a type 1 to 10 at offset into out, without moving the position or aligning; real 0
    // when it does not lie in the buffer.
    virtual void Peek(int offset, int type, ScriptValue* out);
    // Stores a value at offset without moving the position or aligning; nothing when it does not fit
    // (a text needs its length and the zero byte).
    virtual void Poke(int offset, int type, const ScriptValue* value);
    // Writes the range (see GetRange) as the whole file `name` in the save area.
    virtual bool Save(const char* name, int offset, int size);
    // Copies a file's bytes (the save area's copy first, else the game folder's) into the buffer as
    // CopyIn does; false for a URL, a missing file or a refused copy.
    virtual bool Load(const char* name, int srcOffset, int size, int destOffset);
    // out becomes a string: the Base64 text of the range (see GetRange).
    virtual void Base64Encode(ScriptValue* out, int offset, int size);
    // Decodes the Base64 text (see Base64Decode) and copies the decoded bytes in as CopyIn does (size
    // below 0: all of them); false for a null text or when nothing was copied.
    virtual bool Base64Decode(const char* text, int destOffset, int size);
    // out becomes a string: the lowercase hexadecimal MD5 or SHA-1 digest of size bytes from offset (size
    // below 0: the buffer size). A wrap buffer runs on at byte 0 for as long as the size asks; another
    // buffer takes the range of GetRange. Nothing for an empty buffer or a null out.
    virtual void MD5(ScriptValue* out, int offset, int size);
    virtual void SHA1(ScriptValue* out, int offset, int size);
    // A new zero-filled block of newSize bytes (below 0: none) holding the old bytes that fit; a position
    // at or past the new end goes back to 0.
    virtual void Resize(int newSize);
    // Copies a range of this buffer into dest (dest grows when it is a grow buffer or empty).
    virtual void Copy(int srcOffset, int size, IBuffer* dest, int destOffset);
    // Writes the value over a range, again and again: with stride <= 0 into every slot aligned to the
    // buffer's alignment, else every stride bytes (a value is cut to stride bytes). With zeroGaps the
    // bytes of the range that receive no value are cleared.
    virtual void Fill(int offset, int size, int type, const ScriptValue* value, int stride, bool zeroGaps);

    // The one copy routine: size bytes of src (srcSize bytes; sizes below 0 mean srcSize) from srcOffset
    // to dest at destOffset. grow resizes dest to hold them; the wrap flags make that side continue at
    // its byte 0. src may lie inside dest. 1 when copied, 0 when refused.
    static int CopyMemory(IBuffer* dest, const uint8_t* src, int srcSize, int srcOffset, int size,
                          int destOffset, bool grow, bool destWraps, bool srcWraps);
    // CopyMemory into this buffer from a block that does not wrap.
    int CopyIn(const uint8_t* src, int srcSize, int srcOffset, int size, int destOffset);
    // A new block (MEM_FREE it; null for an empty range) holding a copy of the range: a negative offset
    // is 0, one at or past the end the last byte; a negative size is the whole buffer, one past the end is
    // cut there. An empty buffer has an empty range. False when an out pointer is null.
    bool GetRange(uint8_t** block, int* length, int offset, int size) const;

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
    int kind;            // eBuffer_Fixed, eBuffer_Grow, eBuffer_Wrap or eBuffer_Fast
    int position;        // cursor of Write and Read
    int phase;           // how far wrapping has shifted the alignment grid, 0 to alignment - 1
    ScriptValue scratch; // carrier of WriteString and ReadString; real 0 when idle
    bool ownsMemory;

protected:
    // The n bytes of a value of a type from a value: false for a type that cannot be stored. A text is
    // borrowed (text points into the value), anything else is laid out in bytes.
    static bool Encode(int type, const ScriptValue* value, uint8_t bytes[8], const uint8_t** text, int* n);
    // A value of a type 1 to 10 from its bytes; false for a type that has no conversion.
    static bool Decode(int type, const uint8_t* bytes, ScriptValue* out);

private:
    void AlignPosition();
    void WrapTo(int64_t streamPosition);
    void WrapStep();
    bool GrowToHold(int64_t needed);
    void StoreBytes(const uint8_t* bytes, int n);
    void TakeBytes(uint8_t* bytes, int n);
    // Stores n bytes (null: zero bytes) at offset, continuing at byte 0 in a wrap buffer, where the offset
    // may lie past the end; in another buffer the bytes lie inside it.
    void StoreAt(int64_t offset, const uint8_t* bytes, int64_t n);
    // The range rule of GetRange.
    void Range(int offset, int length, int64_t* start, int64_t* n) const;
    void Digest(DigestKind kind, ScriptValue* out, int offset, int length) const;
};

// The general buffer that scripts create.
class Buffer_Standard : public IBuffer {
public:
    Buffer_Standard(int size, int kind, int alignment) : IBuffer(size, kind, alignment) {}
    Buffer_Standard(void* memory, int size, int kind, int alignment, bool ownsMemory)
        : IBuffer(memory, size, kind, alignment, ownsMemory) {}
};

// A fixed buffer of single bytes: Write, Read, Peek and Poke take type 1 only and never align (Write
// and Read give -4 for another type and -2 at the end of the buffer).
class Buffer_Fast : public IBuffer {
public:
    Buffer_Fast(int size, int alignment) : IBuffer(size, eBuffer_Fast, alignment) {}
    int Write(int type, const ScriptValue* value) override;
    int Read(int type, ScriptValue* out) override;
    void Peek(int offset, int type, ScriptValue* out) override;
    void Poke(int offset, int type, const ScriptValue* value) override;
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
