#include "core/digest.h"

#include <cstdio>
#include <cstring>

namespace {

uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// ---- MD5 ----

const uint32_t kMD5Constants[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
const int kMD5Shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

void MD5Transform(uint32_t state[4], const uint8_t block[64]) {
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<uint32_t>(block[4 * i + 2]) << 16 | static_cast<uint32_t>(block[4 * i + 3]) << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        switch (i / 16) {
        case 0:
            f = (b & c) | (~b & d);
            g = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            g = (5 * i + 1) & 15;
            break;
        case 2:
            f = b ^ c ^ d;
            g = (3 * i + 5) & 15;
            break;
        default:
            f = c ^ (b | ~d);
            g = (7 * i) & 15;
            break;
        }
        f += a + kMD5Constants[i] + m[g];
        a = d;
        d = c;
        c = b;
        b += RotateLeft(f, kMD5Shifts[i / 16][i % 4]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

// ---- SHA-1 ----

void SHA1ProcessBlock(SHA1Context& context) {
    uint32_t w[80];
    for (int t = 0; t < 16; ++t)
        w[t] = static_cast<uint32_t>(context.block[4 * t]) << 24 | static_cast<uint32_t>(context.block[4 * t + 1]) << 16 |
               static_cast<uint32_t>(context.block[4 * t + 2]) << 8 | context.block[4 * t + 3];
    for (int t = 16; t < 80; ++t)
        w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    uint32_t a = context.intermediate[0], b = context.intermediate[1], c = context.intermediate[2],
             d = context.intermediate[3], e = context.intermediate[4];
    for (int t = 0; t < 80; ++t) {
        uint32_t f, k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        const uint32_t temp = RotateLeft(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = RotateLeft(b, 30);
        b = a;
        a = temp;
    }
    context.intermediate[0] += a;
    context.intermediate[1] += b;
    context.intermediate[2] += c;
    context.intermediate[3] += d;
    context.intermediate[4] += e;
    context.index = 0;
}

} // namespace

void MD5Init(MD5Context& context) {
    context.state[0] = 0x67452301;
    context.state[1] = 0xefcdab89;
    context.state[2] = 0x98badcfe;
    context.state[3] = 0x10325476;
    context.bitCount = 0;
}

void MD5Update(MD5Context& context, const uint8_t* bytes, size_t count) {
    size_t used = static_cast<size_t>(context.bitCount / 8 % 64);
    context.bitCount += static_cast<uint64_t>(count) * 8;
    while (count > 0) {
        const size_t run = count < 64 - used ? count : 64 - used;
        std::memcpy(context.block + used, bytes, run);
        bytes += run;
        count -= run;
        used += run;
        if (used == 64) {
            MD5Transform(context.state, context.block);
            used = 0;
        }
    }
}

void MD5Final(MD5Context& context, uint8_t digest[16]) {
    uint8_t length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<uint8_t>(context.bitCount >> (8 * i));
    const size_t used = static_cast<size_t>(context.bitCount / 8 % 64);
    static const uint8_t kPadding[64] = {0x80};
    MD5Update(context, kPadding, used < 56 ? 56 - used : 120 - used);
    MD5Update(context, length, 8);
    for (int i = 0; i < 16; ++i)
        digest[i] = static_cast<uint8_t>(context.state[i / 4] >> (8 * (i % 4)));
}

void SHA1Reset(SHA1Context& context) {
    context.intermediate[0] = 0x67452301;
    context.intermediate[1] = 0xEFCDAB89;
    context.intermediate[2] = 0x98BADCFE;
    context.intermediate[3] = 0x10325476;
    context.intermediate[4] = 0xC3D2E1F0;
    context.length = 0;
    context.index = 0;
    context.computed = false;
    context.corrupted = false;
}

void SHA1Input(SHA1Context& context, const uint8_t* bytes, size_t count) {
    if (context.computed) context.corrupted = true;
    if (context.corrupted) return;
    for (size_t i = 0; i < count; ++i) {
        context.block[context.index++] = bytes[i];
        context.length += 8;
        if (context.length == 0) { // past 2^64 bits
            context.corrupted = true;
            return;
        }
        if (context.index == 64) SHA1ProcessBlock(context);
    }
}

bool SHA1Result(SHA1Context& context, uint32_t digest[5]) {
    if (context.corrupted) return false;
    if (!context.computed) {
        // Pad with 0x80 and zeros to 56 bytes of a block (a block of its own when there is no room),
        // then the bit length, most significant byte first.
        context.block[context.index++] = 0x80;
        if (context.index > 56) {
            while (context.index < 64)
                context.block[context.index++] = 0;
            SHA1ProcessBlock(context);
        }
        while (context.index < 56)
            context.block[context.index++] = 0;
        for (int i = 0; i < 8; ++i)
            context.block[56 + i] = static_cast<uint8_t>(context.length >> (56 - 8 * i));
        SHA1ProcessBlock(context);
        context.computed = true;
    }
    std::memcpy(digest, context.intermediate, sizeof context.intermediate);
    return true;
}

CDigest::CDigest(DigestKind kind) : m_kind(kind) {
    MD5Init(m_md5);
    SHA1Reset(m_sha1);
}

void CDigest::Add(const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    if (m_kind == DigestKind::MD5)
        MD5Update(m_md5, p, count);
    else
        SHA1Input(m_sha1, p, count);
}

std::string CDigest::Hex() {
    char text[41] = {};
    if (m_kind == DigestKind::MD5) {
        uint8_t digest[16];
        MD5Final(m_md5, digest);
        for (int i = 0; i < 16; ++i)
            std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    } else {
        uint32_t words[5];
        if (!SHA1Result(m_sha1, words)) return "";
        for (int i = 0; i < 5; ++i)
            std::snprintf(text + 8 * i, 9, "%08x", words[i]);
    }
    return text;
}
