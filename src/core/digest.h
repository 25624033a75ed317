// The MD5 (RFC 1321) and SHA-1 (RFC 3174) digests, and their usual lowercase hexadecimal forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct MD5Context {
    uint32_t state[4];
    uint64_t bitCount;
    uint8_t block[64];
};
void MD5Init(MD5Context& context);
void MD5Update(MD5Context& context, const uint8_t* bytes, size_t count);
// The 16 digest bytes; the context is spent.
void MD5Final(MD5Context& context, uint8_t digest[16]);

struct SHA1Context {
    uint32_t intermediate[5];
    uint64_t length; // in bits
    uint8_t block[64];
    int index;
    bool computed;
    bool corrupted;
};
void SHA1Reset(SHA1Context& context);
void SHA1Input(SHA1Context& context, const uint8_t* bytes, size_t count);
// The five digest words, first word first; false for a corrupted context (input after the result, or a
// message longer than 2^64 bits).
bool SHA1Result(SHA1Context& context, uint32_t digest[5]);

enum class DigestKind { MD5, SHA1 };

// A digest fed in runs: MD5's text is its 16 bytes as "%02x" each (32 digits), SHA-1's its five words as
// "%08x" each (40 digits).
class CDigest {
public:
    explicit CDigest(DigestKind kind);
    void Add(const void* bytes, size_t count);
    std::string Hex();

private:
    DigestKind m_kind;
    MD5Context m_md5;
    SHA1Context m_sha1;
};
