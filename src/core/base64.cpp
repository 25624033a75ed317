#include "core/base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The alphabet position of a character, -1 for any other byte.
int Position(unsigned char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

} // namespace

size_t Base64_EncodedSize(size_t count) {
    return (count + 2) / 3 * 4 + 1;
}

void Base64Encode(const uint8_t* src, size_t count, char* dest) {
    if (count == 0) return;
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t group = static_cast<uint32_t>(src[i]) << 16 | static_cast<uint32_t>(src[i + 1]) << 8 | src[i + 2];
        *dest++ = kAlphabet[group >> 18];
        *dest++ = kAlphabet[(group >> 12) & 63];
        *dest++ = kAlphabet[(group >> 6) & 63];
        *dest++ = kAlphabet[group & 63];
    }
    if (i < count) {
        const bool two = i + 1 < count;
        const uint32_t group = static_cast<uint32_t>(src[i]) << 16 | (two ? static_cast<uint32_t>(src[i + 1]) << 8 : 0);
        *dest++ = kAlphabet[group >> 18];
        *dest++ = kAlphabet[(group >> 12) & 63];
        *dest++ = two ? kAlphabet[(group >> 6) & 63] : '=';
        *dest++ = '=';
    }
    *dest = '\0';
}

size_t Base64Decode(const char* text, size_t capacity, uint8_t* dest, bool terminate) {
    const size_t limit = capacity > 0 ? capacity - 1 : 0;
    size_t stored = 0;
    uint32_t group = 0;
    int characters = 0;
    auto store = [&](uint8_t byte) {
        if (stored < limit) dest[stored++] = byte;
    };
    for (const char* p = text; p && *p; ++p) {
        const int position = Position(static_cast<unsigned char>(*p));
        if (position < 0) break; // "=", white space or any other byte ends the text
        group = group << 6 | static_cast<uint32_t>(position);
        if (++characters == 4) {
            store(static_cast<uint8_t>(group >> 16));
            store(static_cast<uint8_t>(group >> 8));
            store(static_cast<uint8_t>(group));
            group = 0;
            characters = 0;
        }
    }
    // A final group of 2 or 3 characters: 12 or 18 bits, of which the whole bytes count.
    if (characters >= 2) {
        group <<= 6 * (4 - characters);
        store(static_cast<uint8_t>(group >> 16));
        if (characters == 3) store(static_cast<uint8_t>(group >> 8));
    }
    if (terminate && stored < limit) dest[stored] = 0;
    return stored;
}
