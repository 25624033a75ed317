// Feeds arbitrary bytes as a buffer's saved form: the bytes are loaded (as buffer files are) into a
// buffer whose kind and alignment the first bytes choose, and the rest of the input drives its
// operations with arbitrary offsets and sizes: typed reads, peeks, pokes, seeks, fills, copies into a
// buffer of another kind, ranges, digests and the value form. Whatever the offsets, nothing may touch a
// byte outside a block; a range's Base64 text must decode to the same bytes.
#include "fuzz_quiet.h"

#include "core/memory.h"
#include "script/buffer.h"
#include "script/value.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Reads the input's bytes as the operations' arguments; 0 past its end.
struct Cursor {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    uint8_t Byte() { return at < size ? data[at++] : 0; }
    int32_t Int() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = v << 8 | Byte();
        return static_cast<int32_t>(v);
    }
    // An offset near a buffer of that size, or now and then one of the extremes.
    int32_t Near(int bufferSize) {
        const int32_t n = Int();
        if ((n & 0xF00) == 0xF00) return n < 0 ? INT32_MIN : INT32_MAX;
        const int32_t span = 4 * bufferSize + 17;
        return static_cast<int32_t>(static_cast<uint32_t>(n) % static_cast<uint32_t>(2 * span)) - span;
    }
    // A size for the operations that walk a range byte by byte: -1 or up to a few laps of the buffer.
    int32_t Length(int bufferSize) {
        const int32_t n = Int();
        return n < 0 ? -1 : static_cast<int32_t>(static_cast<uint32_t>(n) % (4u * static_cast<uint32_t>(bufferSize) + 17u));
    }
};

IBuffer* Make(int size, int kind, int alignment) {
    if (kind == eBuffer_Fast) return new Buffer_Fast(size, alignment);
    return new Buffer_Standard(size, kind, alignment);
}

void CheckBase64(IBuffer& b, int offset, int length) {
    uint8_t* range = nullptr;
    int n = 0;
    b.GetRange(&range, &n, offset, length);
    ScriptValue text;
    b.Base64Encode(&text, offset, length);
    Buffer_Standard back(0, eBuffer_Grow, 1);
    back.Base64Decode(Value_Text(&text), 0, -1);
    if (back.size != n || (n > 0 && std::memcmp(back.data, range, static_cast<size_t>(n)) != 0)) __builtin_trap();
    Value_Free(&text);
    MEM_FREE(range);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4 || size > (1u << 16)) return 0;
    const int kind = data[0] % 4;
    const int alignment = data[1] | (data[2] & 3) << 8;
    const size_t saved = (size - 3) / 2;
    Cursor ops{data + 3 + saved, size - 3 - saved};
    const uint8_t* bytes = data + 3;

    IBuffer* b = Make(static_cast<int>(data[3] % 3 == 0 ? 0 : saved / 2), kind, alignment);
    b->CopyIn(bytes, static_cast<int>(saved), 0, -1, 0);
    IBuffer* other = Make(ops.Byte() % 64, (kind + 1) % 4, ops.Byte());

    ScriptValue v;
    while (ops.at < ops.size) {
        const int bufferSize = b->size > 0 ? b->size : 1;
        switch (ops.Byte() % 12) {
        case 0:
            b->Read(ops.Byte() % 13, &v);
            break;
        case 1:
            b->Peek(ops.Int(), ops.Byte() % 13, &v);
            break;
        case 2: // the value that pokes, writes and fills use: a real or a short text
            Value_Free(&v);
            if (ops.Byte() & 1) {
                Value_SetReal(&v, static_cast<double>(ops.Int()) / 3.0);
            } else {
                const size_t n = ops.Byte() % 9;
                v.kind = KIND_STRING;
                v.str = static_cast<char*>(MEM_ALLOC(n + 1));
                std::memset(v.str, 'x', n);
            }
            b->Poke(ops.Int(), ops.Byte() % 13, &v);
            break;
        case 3:
            b->Seek(ops.Byte() % 4, ops.Int());
            break;
        case 4:
            if (b->size <= (1 << 20)) b->Write(ops.Byte() % 13, &v);
            break;
        case 5:
            b->Fill(ops.Int(), ops.Length(bufferSize), ops.Byte() % 13, &v, ops.Byte() % 9 - 2, ops.Byte() & 1);
            break;
        case 6:
            // A growing destination grows to the offset, which is kept near it.
            if (other->size <= (1 << 20)) b->Copy(ops.Int(), ops.Length(bufferSize), other, ops.Near(other->size));
            break;
        case 7:
            if (b->size <= (1 << 20)) other->Copy(ops.Int(), ops.Length(other->size > 0 ? other->size : 1), b, ops.Near(b->size));
            break;
        case 8:
            CheckBase64(*b, ops.Int(), ops.Int());
            break;
        case 9:
            if (ops.Byte() & 1)
                b->MD5(&v, ops.Int(), ops.Length(bufferSize));
            else
                b->SHA1(&v, ops.Int(), ops.Length(bufferSize));
            break;
        case 10:
            b->Resize(static_cast<int>(static_cast<uint32_t>(ops.Int()) % 4096u) - 16);
            break;
        default: {
            ScriptValue value;
            Value_Deserialise(&value, b);
            Value_Free(&value);
            MEM_FREE(b->ReadString());
            break;
        }
        }
    }
    Value_Free(&v);
    delete other;
    delete b;
    return 0;
}
