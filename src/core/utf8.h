// UTF-8 character access. Characters are at most 16 bits: sequences of one to three bytes, chosen by the
// lead byte alone (below 0x80: one byte; bit 5 clear: two; bit 5 set: three, so a four-byte lead is
// read as a three-byte one). No routine here ever steps past a 0 byte: a sequence cut short by the
// terminator reads its missing continuation bytes as 0 and stops at the terminator.
#pragma once

#include <cstdint>
#include <cstring>

// True when none of the eight bytes at p has its high bit set (all eight are plain ASCII). The eight
// bytes must all be readable.
inline bool UTF8_EightASCII(const char* p) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    return (word & 0x8080808080808080ull) == 0;
}

// Number of bytes the character at p occupies, never counting a 0 byte (0 at the terminator).
int UTF8_SequenceLength(const char* p);

// Decodes the character at p and advances p past it. At the terminator: 0, and p stays.
uint16_t UTF8_GetChar(const char*& p);
uint16_t UTF8_GetChar(char*& p);

// Encodes c at p (one to three bytes) and advances p past it.
void UTF8_PutChar(char*& p, uint16_t c);

// Number of characters in text (0 for null).
int UTF8_Length(const char* text);
// The text after its first n characters (its terminator when it has fewer).
const char* UTF8_Skip(const char* text, int64_t n);

// Compares at most n characters. 0 when n characters were equal (or n < 1), else the character of a
// minus the character of b where they first differ (the end of a text counts as the character 0).
int UTF8_CompareN(const char* a, const char* b, int n);
