#include "script/buffer.h"

#include "core/base64.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/text.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

static_assert(std::endian::native == std::endian::little, "buffer values are stored in host byte order");

namespace {

// The smallest power of two at least (requested AND 511); 1 for 0 and 1, so 512 gives 1 and 300 gives 512.
int EffectiveAlignment(int requested) {
    int wanted = requested & 511;
    int a = 1;
    while (a < wanted)
        a <<= 1;
    return a;
}

// The largest buffer size whose block (size + alignment) the memory manager can still hand out.
int64_t MaxSize(int alignment) {
    return static_cast<int64_t>(MemoryManager::kMaxBlockSize) - alignment;
}

// a modulo m (m > 0), from 0 to m - 1 whatever the sign of a.
int64_t Modulo(int64_t a, int64_t m) {
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

int64_t RoundUp(int64_t p, int64_t alignment) {
    return (p + alignment - 1) / alignment * alignment;
}

// True when the block p lies inside [start, start + length).
bool PointsInto(const uint8_t* p, const uint8_t* start, int64_t length) {
    auto a = reinterpret_cast<uintptr_t>(p), s = reinterpret_cast<uintptr_t>(start);
    return start && length > 0 && a >= s && a - s < static_cast<uint64_t>(length);
}

} // namespace

int Buffer_TypeSize(int type) {
    switch (type) {
    case eBuffer_U8:
    case eBuffer_S8:
    case eBuffer_Bool:
        return 1;
    case eBuffer_U16:
    case eBuffer_S16:
    case eBuffer_F16:
        return 2;
    case eBuffer_U32:
    case eBuffer_S32:
    case eBuffer_F32:
        return 4;
    case eBuffer_F64:
        return 8;
    default:
        return 0;
    }
}

IBuffer::IBuffer()
    : rawBlock(nullptr), allocatedSize(1), data(nullptr), size(0), alignment(1), kind(eBuffer_Grow),
      position(0), phase(0), ownsMemory(true) {}

IBuffer::IBuffer(int size_, int kind_, int alignment_)
    : rawBlock(nullptr), allocatedSize(0), data(nullptr), size(0), alignment(EffectiveAlignment(alignment_)),
      kind(kind_), position(0), phase(0), ownsMemory(true) {
    Resize(size_);
}

IBuffer::IBuffer(void* memory, int size_, int kind_, int alignment_, bool ownsMemory_)
    : rawBlock(memory), allocatedSize(0), data(static_cast<uint8_t*>(memory)),
      size(memory && size_ > 0 ? size_ : 0), alignment(EffectiveAlignment(alignment_)), kind(kind_),
      position(0), phase(0), ownsMemory(ownsMemory_) {
    allocatedSize = size + alignment;
}

IBuffer::~IBuffer() {
    if (ownsMemory) MEM_FREE(rawBlock);
    Value_Free(&scratch);
}

void IBuffer::Resize(int newSize) {
    if (newSize < 0) newSize = 0;
    if (newSize > MaxSize(alignment)) MemoryManager::OutOfMemory();
    void* raw = MEM_ALLOC(static_cast<size_t>(newSize) + static_cast<size_t>(alignment));
    uintptr_t address = reinterpret_cast<uintptr_t>(raw);
    uintptr_t aligned =
        (address + static_cast<uintptr_t>(alignment) - 1) & ~static_cast<uintptr_t>(alignment - 1);
    uint8_t* newData = static_cast<uint8_t*>(raw) + (aligned - address);
    int keep = size < newSize ? size : newSize;
    if (keep > 0) std::memcpy(newData, data, static_cast<size_t>(keep));
    // A buffer over memory it does not own leaves that memory alone and owns the new block.
    if (ownsMemory) MEM_FREE(rawBlock);
    rawBlock = raw;
    ownsMemory = true;
    data = newData;
    size = newSize;
    allocatedSize = newSize + alignment;
    if (position >= newSize) {
        position = 0;
        phase = 0;
    }
}

// position = ((position + phase + alignment - 1) rounded down to the alignment) - phase.
void IBuffer::AlignPosition() {
    int64_t p = static_cast<int64_t>(position) + phase + alignment - 1;
    p = p - p % alignment - phase;
    position = p > INT32_MAX ? INT32_MAX : static_cast<int>(p);
}

// Sets the position of a wrap buffer (size > 0) to the stream offset p brought into 0 .. size - 1 by whole
// laps of the size; each lap, forward or back, moves the alignment grid by the size.
void IBuffer::WrapTo(int64_t p) {
    int64_t laps = p >= 0 ? p / size : -((-p + size - 1) / size);
    position = static_cast<int>(p - laps * size);
    int64_t shifted = (phase + (laps % alignment) * (size % alignment)) % alignment;
    phase = static_cast<int>(shifted < 0 ? shifted + alignment : shifted);
}

void IBuffer::WrapStep() {
    if (position >= size) WrapTo(position);
}

// Doubles the size of a grow buffer until `needed` bytes fit; false when that size cannot be had.
bool IBuffer::GrowToHold(int64_t needed) {
    int64_t newSize = size > 0 ? size : 1;
    while (newSize < needed)
        newSize *= 2;
    if (newSize > MaxSize(alignment)) return false;
    if (newSize > size) Resize(static_cast<int>(newSize));
    return true;
}

void IBuffer::StoreBytes(const uint8_t* bytes, int n) {
    if (kind != eBuffer_Wrap) {
        std::memcpy(data + position, bytes, static_cast<size_t>(n));
        position += n;
        return;
    }
    for (int i = 0; i < n; ++i) {
        data[position++] = bytes[i];
        WrapStep();
    }
}

void IBuffer::TakeBytes(uint8_t* bytes, int n) {
    if (kind != eBuffer_Wrap) {
        std::memcpy(bytes, data + position, static_cast<size_t>(n));
        position += n;
        return;
    }
    for (int i = 0; i < n; ++i) {
        bytes[i] = data[position++];
        WrapStep();
    }
}

bool IBuffer::Encode(int type, const ScriptValue* value, uint8_t bytes[8], const uint8_t** out, int* n) {
    if (type < eBuffer_U8 || type > eBuffer_String || type == eBuffer_F16) return false;
    *out = bytes;
    *n = Buffer_TypeSize(type);
    double d = Value_Real(value);
    switch (type) {
    case eBuffer_U8:
    case eBuffer_S8:
        bytes[0] = static_cast<uint8_t>(X86_DoubleToInt32(d));
        break;
    case eBuffer_U16:
    case eBuffer_S16: {
        uint16_t w = static_cast<uint16_t>(X86_DoubleToInt32(d));
        std::memcpy(bytes, &w, 2);
        break;
    }
    case eBuffer_U32: {
        uint32_t w = X86_DoubleToUInt32(d);
        std::memcpy(bytes, &w, 4);
        break;
    }
    case eBuffer_S32: {
        int32_t w = X86_DoubleToInt32(d);
        std::memcpy(bytes, &w, 4);
        break;
    }
    case eBuffer_F32: {
        float f = X86_DoubleToFloat(d);
        std::memcpy(bytes, &f, 4);
        break;
    }
    case eBuffer_F64:
        std::memcpy(bytes, &d, 8);
        break;
    case eBuffer_Bool:
        bytes[0] = d > 0.5 ? 1 : 0;
        break;
    default: {
        // A value without text stands for the empty string: only the zero byte. A text lies in one block
        // of the memory manager, so its length and zero byte fit an int.
        const char* text = Value_Text(value);
        if (!text) text = "";
        *out = reinterpret_cast<const uint8_t*>(text);
        *n = static_cast<int>(std::strlen(text) + 1);
        break;
    }
    }
    return true;
}

bool IBuffer::Decode(int type, const uint8_t* bytes, ScriptValue* out) {
    switch (type) {
    case eBuffer_U8:
    case eBuffer_Bool:
        out->real = bytes[0];
        return true;
    case eBuffer_S8:
        out->real = static_cast<int8_t>(bytes[0]);
        return true;
    case eBuffer_U16: {
        uint16_t w;
        std::memcpy(&w, bytes, 2);
        out->real = w;
        return true;
    }
    case eBuffer_S16: {
        int16_t w;
        std::memcpy(&w, bytes, 2);
        out->real = w;
        return true;
    }
    case eBuffer_U32: {
        uint32_t w;
        std::memcpy(&w, bytes, 4);
        out->real = w;
        return true;
    }
    case eBuffer_S32: {
        int32_t w;
        std::memcpy(&w, bytes, 4);
        out->real = w;
        return true;
    }
    case eBuffer_F32: {
        float f;
        std::memcpy(&f, bytes, 4);
        out->real = f;
        return true;
    }
    case eBuffer_F64:
        std::memcpy(&out->real, bytes, 8);
        return true;
    default: // the 16-bit code without a conversion, and every code outside the table
        return false;
    }
}

int IBuffer::Write(int type, const ScriptValue* value) {
    AlignPosition();
    if (kind == eBuffer_Wrap) {
        if (size <= 0) return -2;
        WrapStep();
    }
    if (position >= size && kind != eBuffer_Grow) return -2;
    uint8_t bytes[8];
    const uint8_t* src = nullptr;
    int n = 0;
    if (!Encode(type, value, bytes, &src, &n)) return -1;

    if (n == 1) {
        if (kind == eBuffer_Grow && !GrowToHold(static_cast<int64_t>(position) + 1)) return -2;
        data[position++] = src[0];
        if (position >= size) {
            if (kind == eBuffer_Wrap)
                WrapStep();
            else if (kind == eBuffer_Grow)
                GrowToHold(static_cast<int64_t>(size) + 1); // stays full when it cannot
        }
        return 0;
    }
    if (static_cast<int64_t>(position) + n > size) {
        if (kind == eBuffer_Grow) {
            if (!GrowToHold(static_cast<int64_t>(position) + n)) return -2;
        } else if (kind != eBuffer_Wrap) {
            return -2;
        }
    }
    StoreBytes(src, n);
    return 0;
}

int IBuffer::Read(int type, ScriptValue* out) {
    Value_Free(out);
    Value_SetReal(out, 0.0);
    AlignPosition();
    if (kind == eBuffer_Wrap && size > 0) WrapStep();
    if (position >= size) {
        out->real = -3.0;
        return 0;
    }
    if (type == eBuffer_String) {
        // Up to the first zero byte; a text whose zero byte is missing ends at the end of the buffer.
        const uint8_t* start = data + position;
        const void* zero = std::memchr(start, 0, static_cast<size_t>(size - position));
        size_t length = zero ? static_cast<size_t>(static_cast<const uint8_t*>(zero) - start)
                             : static_cast<size_t>(size - position);
        char* text = static_cast<char*>(MEM_ALLOC_RAW(length + 1));
        std::memcpy(text, start, length);
        text[length] = '\0';
        position += static_cast<int>(length) + (zero ? 1 : 0);
        out->kind = KIND_STRING;
        out->str = text;
        return 0;
    }
    int n = Buffer_TypeSize(type);
    if (n == 0) return -1;
    if (kind != eBuffer_Wrap && static_cast<int64_t>(position) + n > size) {
        out->real = -3.0;
        return 0;
    }
    uint8_t bytes[8];
    TakeBytes(bytes, n);
    return Decode(type, bytes, out) ? 0 : -1; // type 7: its bytes are consumed, nothing is made of them
}

int IBuffer::Seek(int mode, int offset) {
    if (size <= 0) {
        position = 0;
        phase = 0;
        return 0;
    }
    switch (mode) {
    case 0:
        position = offset < 0 ? 0 : (offset > size - 1 ? size - 1 : offset);
        phase = 0;
        break;
    case 1: {
        int64_t p = static_cast<int64_t>(position) + offset;
        if (kind != eBuffer_Wrap) {
            position = static_cast<int>(p < 0 ? 0 : (p > size - 1 ? size - 1 : p));
        } else {
            WrapTo(p);
        }
        break;
    }
    case 2: {
        int k = offset < 0 ? 0 : offset;
        if (k >= size - 1) k = size - 2;
        position = size - 1 - k;
        phase = 0;
        break;
    }
    default:
        break;
    }
    return position;
}

void IBuffer::Peek(int offset, int type, ScriptValue* out) {
    Value_Free(out);
    Value_SetReal(out, 0.0);
    const int n = Buffer_TypeSize(type);
    if (offset < 0 || n == 0 || size <= 0) return;
    uint8_t bytes[8];
    if (kind == eBuffer_Wrap) {
        int64_t at = offset % size;
        for (int i = 0; i < n; ++i)
            bytes[i] = data[(at + i) % size];
    } else {
        if (offset > size - n) return;
        std::memcpy(bytes, data + offset, static_cast<size_t>(n));
    }
    Decode(type, bytes, out);
}

void IBuffer::Poke(int offset, int type, const ScriptValue* value) {
    uint8_t bytes[8];
    const uint8_t* src = nullptr;
    int n = 0;
    if (offset < 0 || size <= 0 || !Encode(type, value, bytes, &src, &n)) return;
    if (kind != eBuffer_Wrap && offset > size - n) return; // a text needs room for its zero byte too
    StoreAt(offset, src, n);
}

void IBuffer::StoreAt(int64_t offset, const uint8_t* bytes, int64_t n) {
    int64_t at = kind == eBuffer_Wrap ? offset % size : offset;
    while (n > 0) {
        int64_t run = std::min<int64_t>(n, size - at);
        if (bytes) {
            std::memcpy(data + at, bytes, static_cast<size_t>(run));
            bytes += run;
        } else {
            std::memset(data + at, 0, static_cast<size_t>(run));
        }
        n -= run;
        at = 0;
    }
}

bool IBuffer::Save(const char* name, int offset, int length) {
    uint8_t* block = nullptr;
    int n = 0;
    GetRange(&block, &n, offset, length);
    bool written = LoadSave_WriteFile(name, block, n);
    MEM_FREE(block);
    return written;
}

bool IBuffer::Load(const char* name, int srcOffset, int length, int destOffset) {
    if (!name || std::strncmp(name, "http://", 7) == 0 || std::strncmp(name, "https://", 8) == 0) return false;
    int fileSize = 0;
    uint8_t* bytes = LoadSave_ReadSaveFile(name, &fileSize);
    if (!bytes) bytes = LoadSave_ReadBundleFile(name, &fileSize);
    if (!bytes) return false;
    int copied = CopyIn(bytes, fileSize, srcOffset, length, destOffset);
    MEM_FREE(bytes);
    return copied != 0;
}

void IBuffer::Copy(int srcOffset, int length, IBuffer* dest, int destOffset) {
    if (!dest) return;
    CopyMemory(dest, data, size, srcOffset, length, destOffset, dest->kind == eBuffer_Grow || dest->size == 0,
               dest->kind == eBuffer_Wrap, kind == eBuffer_Wrap);
}

int IBuffer::CopyIn(const uint8_t* src, int srcSize, int srcOffset, int length, int destOffset) {
    return CopyMemory(this, src, srcSize, srcOffset, length, destOffset, kind == eBuffer_Grow || size == 0,
                      kind == eBuffer_Wrap, false);
}

int IBuffer::CopyMemory(IBuffer* dest, const uint8_t* src, int srcSize, int srcOffset, int length,
                        int destOffset, bool grow, bool destWraps, bool srcWraps) {
    if (!dest || !src || srcSize < 1) return 0;
    int64_t n = length < 0 ? srcSize : length;
    int64_t from = srcOffset;
    bool srcWrapping = false;
    if (srcWraps) {
        from = Modulo(from, srcSize);
        srcWrapping = from + n > srcSize;
    } else {
        from = std::clamp<int64_t>(from, 0, srcSize - 1);
        n = std::min<int64_t>(n, srcSize - from);
    }
    // A source inside the destination is copied aside first: growing frees the block it lies in, and
    // the two ranges may overlap.
    std::vector<uint8_t> aside;
    if (PointsInto(src, dest->data, dest->size)) {
        aside.assign(src, src + srcSize);
        src = aside.data();
    }

    int64_t to = destOffset;
    bool destWrapping = false;
    if (grow) {
        to = std::max<int64_t>(to, 0);
        if (dest->size < n + to) {
            if (n + to > MaxSize(dest->alignment)) return 0;
            dest->Resize(static_cast<int>(n + to));
        }
    } else {
        if (dest->size <= 0) return 0;
        const int64_t destSize = dest->size;
        if (destWraps) {
            to = Modulo(to, destSize);
            destWrapping = to + n > destSize;
        } else if (to >= destSize) {
            to = destSize - 1; // one byte lands on the last byte
            n = std::min<int64_t>(n, 1);
        } else {
            to = std::max<int64_t>(to, 0);
            n = std::min<int64_t>(n, destSize - to);
        }
    }
    if (!srcWrapping && !destWrapping) {
        if (n > 0) std::memcpy(dest->data + to, src + from, static_cast<size_t>(n));
        return 1;
    }
    const int64_t destSize = dest->size;
    if (n > destSize) { // only the last lap round the destination stays
        const int64_t skip = n - destSize;
        to = (to + skip) % destSize;
        from = srcWrapping ? (from + skip) % srcSize : from + skip;
        n = destSize;
    }
    while (n > 0) {
        int64_t run = std::min({n, destSize - to, srcSize - from});
        std::memcpy(dest->data + to, src + from, static_cast<size_t>(run));
        n -= run;
        to = (to + run) % destSize;
        from = (from + run) % srcSize;
    }
    return 1;
}

void IBuffer::Range(int offset, int length, int64_t* start, int64_t* n) const {
    *start = 0;
    *n = 0;
    if (size <= 0) return;
    *start = std::clamp<int64_t>(offset, 0, size - 1);
    *n = std::min<int64_t>(length < 0 ? size : length, size - *start);
}

bool IBuffer::GetRange(uint8_t** block, int* length, int offset, int n) const {
    if (!block || !length) return false;
    int64_t start = 0, count = 0;
    Range(offset, n, &start, &count);
    *block = nullptr;
    *length = static_cast<int>(count);
    if (count > 0) {
        *block = static_cast<uint8_t*>(MEM_ALLOC_RAW(static_cast<size_t>(count)));
        std::memcpy(*block, data + start, static_cast<size_t>(count));
    }
    return true;
}

void IBuffer::Base64Encode(ScriptValue* out, int offset, int length) {
    if (!out) return;
    Value_Free(out);
    int64_t start = 0, n = 0;
    Range(offset, length, &start, &n);
    char* text = static_cast<char*>(MEM_ALLOC(Base64_EncodedSize(static_cast<size_t>(n))));
    ::Base64Encode(data + start, static_cast<size_t>(n), text);
    out->kind = KIND_STRING;
    out->str = text;
}

bool IBuffer::Base64Decode(const char* text, int destOffset, int length) {
    if (!text) return false;
    const size_t capacity = std::strlen(text) / 4 * 3 + 3;
    auto* block = static_cast<uint8_t*>(MEM_ALLOC_RAW(capacity));
    // Only the decoded bytes are copied, never the rest of the block.
    const size_t decoded = ::Base64Decode(text, capacity, block, false);
    const int copied = CopyIn(block, static_cast<int>(decoded), 0, length, destOffset);
    MEM_FREE(block);
    return copied != 0;
}

void IBuffer::MD5(ScriptValue* out, int offset, int length) {
    Digest(DigestKind::MD5, out, offset, length);
}

void IBuffer::SHA1(ScriptValue* out, int offset, int length) {
    Digest(DigestKind::SHA1, out, offset, length);
}

void IBuffer::Digest(DigestKind kindOfDigest, ScriptValue* out, int offset, int length) const {
    if (!out || size <= 0) return;
    int64_t start = 0, n = 0;
    if (kind == eBuffer_Wrap) {
        start = Modulo(offset, size);
        n = length < 0 ? size : length;
    } else {
        Range(offset, length, &start, &n);
    }
    CDigest digest(kindOfDigest);
    while (n > 0) {
        const int64_t run = std::min<int64_t>(n, size - start);
        digest.Add(data + start, static_cast<size_t>(run));
        n -= run;
        start = 0;
    }
    Value_Free(out);
    out->kind = KIND_STRING;
    out->str = String_Duplicate(digest.Hex().c_str());
}

void IBuffer::Fill(int offset, int length, int type, const ScriptValue* value, int stride, bool zeroGaps) {
    uint8_t bytes[8];
    const uint8_t* src = nullptr;
    int n = 0;
    if (size <= 0 || !Encode(type, value, bytes, &src, &n)) return;
    int64_t start = offset;
    int64_t count = length < 0 ? size : length;
    if (kind == eBuffer_Wrap) {
        start = Modulo(start, size);
    } else {
        if (start < 0 || start >= size) return;
        count = std::min<int64_t>(count, size - start);
    }
    if (stride > 0) n = std::min(n, stride);
    // Positions count from byte 0 of the buffer and run on past its end in a wrap buffer (StoreAt wraps).
    const int64_t end = start + count;
    int64_t p = start;
    int64_t due = stride > 0 ? start : RoundUp(start, alignment);
    while (p < end) {
        if (due > p) {
            int64_t gapEnd = std::min(due, end);
            if (zeroGaps) StoreAt(p, nullptr, gapEnd - p);
            p = gapEnd;
            continue;
        }
        if (end - p < n) { // the rest holds no whole value: it is a gap
            if (zeroGaps) StoreAt(p, nullptr, end - p);
            break;
        }
        StoreAt(p, src, n);
        p += n;
        due = stride > 0 ? due + stride : RoundUp(p, alignment);
    }
}

void IBuffer::WriteString(const char* text) {
    static const char kNullText[] = {4, 0};
    // The scratch value borrows the text for the one write; it is never freed through it.
    scratch.kind = KIND_STRING;
    scratch.str = const_cast<char*>(text ? text : kNullText);
    Write(eBuffer_String, &scratch);
    Value_SetReal(&scratch, 0.0);
}

char* IBuffer::ReadString() {
    Read(eBuffer_String, &scratch);
    char* text = scratch.IsString() ? scratch.str : nullptr;
    Value_SetReal(&scratch, 0.0);
    if (text && text[0] == 4 && text[1] == 0) {
        MEM_FREE(text);
        text = nullptr;
    }
    return text;
}

int Buffer_Fast::Write(int type, const ScriptValue* value) {
    if (type != eBuffer_U8) return -4;
    if (position < 0 || position >= size) return -2;
    data[position++] = static_cast<uint8_t>(X86_DoubleToInt32(Value_Real(value)));
    return 0;
}

int Buffer_Fast::Read(int type, ScriptValue* out) {
    Value_Free(out);
    Value_SetReal(out, 0.0);
    if (type != eBuffer_U8) return -4;
    if (position < 0 || position >= size) return -2;
    out->real = data[position++];
    return 0;
}

void Buffer_Fast::Peek(int offset, int type, ScriptValue* out) {
    Value_Free(out);
    Value_SetReal(out, 0.0);
    if (type == eBuffer_U8 && offset >= 0 && offset < size) out->real = data[offset];
}

void Buffer_Fast::Poke(int offset, int type, const ScriptValue* value) {
    if (type == eBuffer_U8 && offset >= 0 && offset < size)
        data[offset] = static_cast<uint8_t>(X86_DoubleToInt32(Value_Real(value)));
}

bool IBuffer::CanRead(int type) {
    AlignPosition();
    if (kind == eBuffer_Wrap && size > 0) WrapStep();
    if (position >= size) return false;
    if (type == eBuffer_String) return std::memchr(data + position, 0, static_cast<size_t>(size - position));
    int n = Buffer_TypeSize(type);
    if (n == 0) return false;
    return kind == eBuffer_Wrap || static_cast<int64_t>(position) + n <= size;
}

bool Buffer_CountFits(const IBuffer* buffer, int count, int minBytesEach) {
    return count >= 0 && static_cast<int64_t>(count) * minBytesEach <= buffer->BytesLeft();
}

void Buffer_WriteReal(IBuffer* buffer, int type, double d) {
    ScriptValue field;
    Value_SetReal(&field, d);
    buffer->Write(type, &field);
}

bool Buffer_ReadReal(IBuffer* buffer, int type, double* d) {
    if (!buffer->CanRead(type)) return false;
    ScriptValue field;
    buffer->Read(type, &field);
    *d = Value_Real(&field);
    return true;
}

bool Buffer_ReadInt32(IBuffer* buffer, int* n) {
    double d;
    if (!Buffer_ReadReal(buffer, eBuffer_S32, &d)) return false;
    *n = X86_DoubleToInt32(d);
    return true;
}
