// UTF-8 character access. A character is one of:
//   - a byte below 0x80;
//   - a lead byte 0xC0-0xDF and one continuation byte (0x80-0xBF);
//   - a lead byte 0xE0-0xEF and two continuation bytes;
//   - a lead byte 0xF0-0xF4 and three continuation bytes that together encode U+10000 to U+10FFFF.
// Two- and three-byte sequences give the code their bits spell, overlong forms and surrogate halves
// included, as texts written by 16-bit code hold them. Any other byte (a stray continuation byte, a lead
// byte whose sequence is cut short or broken, 0xF5-0xFF) is a character of one byte, a "stray byte",
// whose code is the byte itself; it never takes the byte after it. No routine here ever steps past a
// 0 byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// True when none of the eight bytes at p has its high bit set (all eight are plain ASCII). The eight
// bytes must all be readable.
inline bool UTF8_EightASCII(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & 0x8080808080808080ull) == 0;
}

// Decodes the character at p, reading none of the bytes from p + available on: its length in bytes (0
// at a 0 byte), its code in code (0 at a 0 byte).
int UTF8_Decode(const char* p, size_t available, uint32_t& code);

// True for a character that UTF8_Decode read as a stray byte.
inline bool UTF8_IsStray(int length, uint32_t code) {
    return length == 1 && code >= 0x80;
}

// True for a character of two to four bytes in its shortest form and no surrogate half: well-formed
// UTF-8 as other programs read it.
inline bool UTF8_IsWellFormed(int length, uint32_t code) {
    switch (length) {
    case 2: return code >= 0x80;
    case 3: return code >= 0x800 && !(code >= 0xD800 && code <= 0xDFFF);
    case 4: return true;
    default: return false;
    }
}

// Number of bytes the character at p occupies (0 at the terminator).
int UTF8_SequenceLength(const char* p);

// Decodes the character at p and advances p past it. At the terminator: 0, and p stays.
uint32_t UTF8_GetChar(const char*& p);
uint32_t UTF8_GetChar(char*& p);

// Encodes c (at most 0x10FFFF) at p, one to four bytes, and advances p past them.
void UTF8_PutChar(char*& p, uint32_t c);

// Copies the character at in to out and advances both past it: a stray byte as it stands, any other
// character decoded and encoded again. Nothing at the terminator.
void UTF8_CopyChar(char*& out, const char*& in);

// Number of characters in text (0 for null).
int UTF8_Length(const char* text);
// The text after its first n characters (its terminator when it has fewer).
const char* UTF8_Skip(const char* text, int64_t n);

// Compares at most n characters. 0 when n characters were equal (or n < 1), else the character of a
// minus the character of b where they first differ (the end of a text counts as the character 0). A
// stray byte counts as 0x110000 plus the byte, so it never equals a character of the same code.
int UTF8_CompareN(const char* a, const char* b, int n);

// For text that leaves the runner or reaches it from the system: the code point of the well-formed
// character at text + i (UTF8_IsWellFormed, or a byte below 0x80), i advanced past it; -1 for a byte
// that starts none, i advanced by one. No byte from text + length on is read.
int32_t Text_NextCodePoint(const char* text, size_t length, size_t& i);
