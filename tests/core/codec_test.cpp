#include "core/base64.h"
#include "core/digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Encode(const std::string& bytes) {
    std::vector<char> text(Base64_EncodedSize(bytes.size()), '?');
    Base64Encode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), text.data());
    return bytes.empty() ? "" : text.data();
}

std::string Decode(const char* text, size_t capacity) {
    std::vector<uint8_t> bytes(capacity + 1, 0xEE);
    const size_t n = Base64Decode(text, capacity, bytes.data(), true);
    EXPECT_EQ(bytes[capacity], 0xEE) << text;
    return std::string(bytes.begin(), bytes.begin() + static_cast<long>(n));
}

std::string Hex(DigestKind kind, const std::string& bytes, size_t run) {
    CDigest digest(kind);
    for (size_t i = 0; i < bytes.size(); i += run)
        digest.Add(bytes.data() + i, std::min(run, bytes.size() - i));
    return digest.Hex();
}

} // namespace

TEST(Base64, StandardVectors) {
    const std::pair<std::string, std::string> vectors[] = {
        {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="},
    };
    for (const auto& [bytes, text] : vectors) {
        EXPECT_EQ(Encode(bytes), text);
        EXPECT_EQ(Decode(text.c_str(), 64), bytes);
    }
    EXPECT_EQ(Base64_EncodedSize(4), 9u);
}

TEST(Base64, DecodingStopsAndKeepsToItsCapacity) {
    EXPECT_EQ(Decode("Zm9v\r\nYmFy", 64), "foo");
    EXPECT_EQ(Decode("Zm9v YmFy", 64), "foo");
    EXPECT_EQ(Decode("Zm=9v", 64), "f");
    EXPECT_EQ(Decode("Zm9vY", 64), "foo"); // a lone final character gives nothing
    EXPECT_EQ(Decode("Zm9vYmFy", 4), "foo");
    EXPECT_EQ(Decode("Zm9vYmFy", 0), "");
    EXPECT_EQ(Decode(nullptr, 8), "");
    // The zero byte follows only while it is below the limit.
    uint8_t bytes[4] = {9, 9, 9, 9};
    EXPECT_EQ(Base64Decode("Zm8=", 4, bytes, true), 2u);
    EXPECT_EQ(bytes[2], 0);
    EXPECT_EQ(Base64Decode("Zm9v", 4, bytes, true), 3u);
    EXPECT_EQ(bytes[3], 9);
}

TEST(Digest, StandardVectorsInAnyRuns) {
    const std::string million(1000000, 'a');
    std::string repeated;
    for (int i = 0; i < 10; ++i)
        repeated += "0123456701234567012345670123456701234567012345670123456701234567";
    const struct {
        DigestKind kind;
        std::string bytes;
        const char* hex;
    } vectors[] = {
        {DigestKind::MD5, "", "d41d8cd98f00b204e9800998ecf8427e"},
        {DigestKind::MD5, "a", "0cc175b9c0f1b6a831c399e269772661"},
        {DigestKind::MD5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {DigestKind::MD5, "message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {DigestKind::MD5, "abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {DigestKind::MD5, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {DigestKind::MD5, "12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {DigestKind::SHA1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {DigestKind::SHA1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {DigestKind::SHA1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {DigestKind::SHA1, million, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {DigestKind::SHA1, repeated, "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
    };
    for (const auto& v : vectors) {
        for (size_t run : {size_t{1}, size_t{63}, size_t{64}, size_t{1000000}}) {
            if (run == 1 && v.bytes.size() > 1000) continue;
            EXPECT_EQ(Hex(v.kind, v.bytes, run), v.hex) << v.bytes.substr(0, 20) << " in runs of " << run;
        }
    }
}
