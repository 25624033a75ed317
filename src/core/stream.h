// CStream: a growable in-memory byte stream with one read/write position. Integers (4 bytes), reals
// (8-byte IEEE doubles) and strings (a 32-bit byte count, then the bytes) are stored little-endian
// without padding. A stream can also view another stream's memory without owning it, load a whole
// file, and turn its contents into upper-case hexadecimal text and back.
//
// Size and position are 64-bit fields that always hold the sign extension of their low 32 bits. The
// size is also the capacity. Reads never leave the block: past the end they give 0, 0.0, null or a
// short count, and a negative position reads and writes nothing.
#pragma once

#include <cstdint>

class CStream {
public:
    // A zero-filled owned block of size bytes when size > 0, else no block; position 0.
    explicit CStream(int64_t size = 0);
    ~CStream();
    CStream(const CStream&) = delete;
    CStream& operator=(const CStream&) = delete;
    // Destroys a stream made with new; null is allowed.
    static void Delete(CStream* stream);

    int64_t GetSize() const { return m_size; }
    int64_t GetPosition() const { return m_position; }
    void SetPosition(int64_t position);
    unsigned char* GetMemory() const { return m_data; }
    bool IsExternal() const { return m_external; }

    // origin 0: from the start, 1: from the position, 2: from the size; any other origin leaves the
    // position. No bound check. Returns the position.
    int64_t Seek(int64_t offset, int origin);

    // Copies min(n, size - position) bytes out and advances; 0 for a null destination or at the end.
    int64_t ReadBuffer(void* destination, int64_t n);
    int64_t Read(void* destination, int64_t n) { return ReadBuffer(destination, n); }
    // Writes n bytes at the position, growing the block to max(position + n, 2 * size) when they do
    // not fit (new bytes zero), and advances. 0 for n < 1 or a null source.
    int64_t WriteBuffer(const void* source, int64_t n);

    // At or past the end: 0 without moving. A value cut short by the end reads its missing bytes as 0
    // and the position still advances by the full width.
    int32_t ReadInteger();
    double ReadReal();
    // The caller owns the text. A stored length of 0 gives null; a length beyond the remaining bytes is
    // cut down to them.
    void ReadString(char*& text);

    void WriteInteger(int32_t value);
    void WriteReal(double value);
    // The byte length (0 for null) and the bytes, without a NUL.
    void WriteString(const char* text);

    // Hex text of the bytes before the position (null when the position is 0). The caller owns it.
    void ConvertToHex(char*& text) const;
    // Reads the text as character pairs; every pair of two hex digits (either case) gives one byte, in
    // order, other pairs and a lone last character are skipped. The stream then holds exactly those
    // bytes (its block never shrinks), position 0. An empty or null text changes nothing.
    void ConvertFromHex(const char* text);

    // count 0: all of source (rewound first) is written at this stream's position; source ends at its
    // size. Otherwise up to count bytes from source's position: copied when share is false, viewed in
    // place when share is true (this stream then owns nothing). Source advances by what was taken.
    void CopyFrom(CStream* source, int64_t count, bool share);

    // Drops the current contents and loads the named file from offset on, looking in the save area and
    // then in the game's folder; the position is kept. Not found, or an offset outside the file, leaves
    // the stream empty.
    void LoadFile(const char* name, int64_t offset);

    // Replaces count bytes from start (count < 1: to the end) by their entries in the inverse table of
    // the seed's permutation (see Stream_MakeSubstitutionTables).
    void Substitute(uint32_t seed, int64_t start, int64_t count);

private:
    int64_t Remaining() const;
    // Reads width bytes into out (missing ones 0); false at or past the end.
    bool ReadFixed(unsigned char* out, int width);
    // Moves the contents into a new owned block of newSize bytes; returns the old block for the caller
    // to release once it has finished reading from it (null when there is nothing to free).
    unsigned char* Grow(int64_t newSize);
    void ReleaseBlock(unsigned char* block) const;
    void Drop();

    bool m_external = false;
    int64_t m_size = 0;
    int64_t m_position = 0;
    unsigned char* m_data = nullptr;
};

// The low 32 bits of a 64-bit file position.
int32_t File_PosToInt(int64_t position);

// A fixed byte permutation derived from seed (forward) and its inverse. Byte 0 always maps to itself.
// Text stored for CStream::Substitute is prepared with the forward table.
void Stream_MakeSubstitutionTables(uint32_t seed, unsigned char forward[256], unsigned char inverse[256]);
