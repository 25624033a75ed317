#include "core/utf8.h"

#include <cstring>

namespace {

inline bool Continuation(unsigned byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the character at b, as UTF8_Decode gives it: each byte is read only when the bytes
// before it are continuation bytes, so the terminator stops the walk.
inline int Length(const unsigned char* b, size_t available) {
    const unsigned lead = b[0];
    if (lead < 0x80) return lead != 0;
    if (lead < 0xC0 || lead > 0xF4 || available < 2 || !Continuation(b[1])) return 1;
    if (lead < 0xE0) return 2;
    if (available < 3 || !Continuation(b[2])) return 1;
    if (lead < 0xF0) return 3;
    if (available < 4 || !Continuation(b[3])) return 1;
    // Four bytes encode U+10000 to U+10FFFF only: after 0xF0 the second byte is at least 0x90, after
    // 0xF4 below it.
    if (lead == 0xF0 ? b[1] < 0x90 : lead == 0xF4 && b[1] >= 0x90) return 1;
    return 4;
}

} // namespace

int UTF8_Decode(const char* p, size_t available, uint32_t& code) {
    auto b = reinterpret_cast<const unsigned char*>(p);
    const int length = Length(b, available);
    switch (length) {
    case 2: code = (b[0] & 0x1Fu) << 6 | (b[1] & 0x3Fu); break;
    case 3: code = (b[0] & 0x0Fu) << 12 | (b[1] & 0x3Fu) << 6 | (b[2] & 0x3Fu); break;
    case 4: code = (b[0] & 0x07u) << 18 | (b[1] & 0x3Fu) << 12 | (b[2] & 0x3Fu) << 6 | (b[3] & 0x3Fu); break;
    default: code = b[0]; break;
    }
    return length;
}

int UTF8_SequenceLength(const char* p) {
    return Length(reinterpret_cast<const unsigned char*>(p), 4);
}

uint32_t UTF8_GetChar(const char*& p) {
    uint32_t code;
    p += UTF8_Decode(p, 4, code);
    return code;
}

uint32_t UTF8_GetChar(char*& p) {
    uint32_t code;
    p += UTF8_Decode(p, 4, code);
    return code;
}

void UTF8_PutChar(char*& p, uint32_t c) {
    auto out = reinterpret_cast<unsigned char*>(p);
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        p += 1;
    } else if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        p += 2;
    } else if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        p += 3;
    } else {
        out[0] = static_cast<unsigned char>(0xF0 | ((c >> 18) & 0x07));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        p += 4;
    }
}

void UTF8_CopyChar(char*& out, const char*& in) {
    uint32_t code;
    const int length = UTF8_Decode(in, 4, code);
    in += length;
    if (UTF8_IsStray(length, code))
        *out++ = static_cast<char>(code);
    else if (length > 0)
        UTF8_PutChar(out, code);
}

int UTF8_Length(const char* text) {
    if (!text) return 0;
    // Runs of plain ASCII count a character a byte, eight bytes at a time; the rest goes sequence by
    // sequence.
    const char* end = text + std::strlen(text);
    int count = 0;
    while (text < end) {
        if (end - text >= 8 && UTF8_EightASCII(text)) {
            text += 8;
            count += 8;
            continue;
        }
        text += Length(reinterpret_cast<const unsigned char*>(text), 4);
        ++count;
    }
    return count;
}

const char* UTF8_Skip(const char* text, int64_t n) {
    if (n <= 0) return text;
    // As UTF8_Length: plain ASCII eight bytes at a time while at least eight characters remain to skip.
    while (n >= 8 && strnlen(text, 8) == 8 && UTF8_EightASCII(text)) {
        text += 8;
        n -= 8;
    }
    for (int step; n > 0 && (step = Length(reinterpret_cast<const unsigned char*>(text), 4)) != 0; --n)
        text += step;
    return text;
}

namespace {

// The character at p as UTF8_CompareN ranks it, p advanced past it.
int CompareKey(const char*& p) {
    uint32_t code;
    const int length = UTF8_Decode(p, 4, code);
    p += length;
    return static_cast<int>(UTF8_IsStray(length, code) ? 0x110000 + code : code);
}

} // namespace

int UTF8_CompareN(const char* a, const char* b, int n) {
    if (!a) a = "";
    if (!b) b = "";
    for (int i = 0; i < n; ++i) {
        const int ca = CompareKey(a);
        const int cb = CompareKey(b);
        if (ca != cb) return ca - cb;
        if (ca == 0) break;
    }
    return 0;
}

int32_t Text_NextCodePoint(const char* text, size_t length, size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    uint32_t code;
    const int n = UTF8_Decode(text + i, length - i, code);
    if (!UTF8_IsWellFormed(n, code)) {
        ++i;
        return -1;
    }
    i += static_cast<size_t>(n);
    return static_cast<int32_t>(code);
}
