#include "core/utf8.h"

#include <cstring>

int UTF8_SequenceLength(const char* p) {
    auto b = reinterpret_cast<const unsigned char*>(p);
    if (b[0] == 0) return 0;
    if (b[0] < 0x80) return 1;
    int want = (b[0] & 0x20) ? 3 : 2;
    int n = 1;
    while (n < want && b[n] != 0)
        ++n;
    return n;
}

uint16_t UTF8_GetChar(const char*& p) {
    auto b = reinterpret_cast<const unsigned char*>(p);
    int n = UTF8_SequenceLength(p);
    p += n;
    if (n == 0) return 0;
    unsigned lead = b[0];
    if (lead < 0x80) return static_cast<uint16_t>(lead);
    // Continuation bytes past the end of a cut-short sequence read as 0.
    unsigned b1 = n > 1 ? b[1] : 0;
    if (!(lead & 0x20)) return static_cast<uint16_t>(((lead & 0x1F) << 6) | (b1 & 0x3F));
    unsigned b2 = n > 2 ? b[2] : 0;
    return static_cast<uint16_t>(((lead & 0x0F) << 12) | ((b1 & 0x3F) << 6) | (b2 & 0x3F));
}

uint16_t UTF8_GetChar(char*& p) {
    const char* q = p;
    uint16_t c = UTF8_GetChar(q);
    p += q - p;
    return c;
}

void UTF8_PutChar(char*& p, uint16_t c) {
    auto out = reinterpret_cast<unsigned char*>(p);
    if (c < 0x80) {
        out[0] = static_cast<unsigned char>(c);
        p += 1;
    } else if (c < 0x800) {
        out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
        out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        p += 2;
    } else {
        out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        p += 3;
    }
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

int UTF8_CompareN(const char* a, const char* b, int n) {
    if (!a) a = "";
    if (!b) b = "";
    for (int i = 0; i < n; ++i) {
        int ca = UTF8_GetChar(a);
        int cb = UTF8_GetChar(b);
        if (ca != cb) return ca - cb;
        if (ca == 0) break;
    }
    return 0;
}
