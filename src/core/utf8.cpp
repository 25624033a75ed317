#include "core/utf8.h"

#include <cstring>

int UTF8_Decode(const char* p, size_t available, uint32_t& code) {
    auto b = reinterpret_cast<const unsigned char*>(p);
    const unsigned lead = b[0];
    code = lead;
    if (lead < 0x80) return lead != 0;
    size_t length;
    uint32_t c;
    if (lead < 0xC0) return 1;
    if (lead < 0xE0) {
        length = 2, c = lead & 0x1F;
    } else if (lead < 0xF0) {
        length = 3, c = lead & 0x0F;
    } else if (lead <= 0xF4) {
        length = 4, c = lead & 0x07;
    } else {
        return 1;
    }
    if (available < length) return 1;
    // A continuation byte is never 0, so the walk stops at the terminator.
    for (size_t k = 1; k < length; ++k) {
        const unsigned next = b[k];
        if ((next & 0xC0) != 0x80) return 1;
        c = c << 6 | (next & 0x3F);
    }
    if (length == 4 && (c < 0x10000 || c > 0x10FFFF)) return 1;
    code = c;
    return static_cast<int>(length);
}

int UTF8_SequenceLength(const char* p) {
    uint32_t code;
    return UTF8_Decode(p, 4, code);
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
        text += UTF8_SequenceLength(text);
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
    for (int step; n > 0 && (step = UTF8_SequenceLength(text)) != 0; --n)
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
