// Text helpers. Every text of the runner is NUL-terminated UTF-8 in a memory-manager block; the blocks
// these routines return belong to the caller (free them with MEM_FREE).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Joins the non-null, non-empty texts among s1 ... s10 in order. When none is, the result is null and
// destination is left alone. Otherwise destination is grown as by MEM_REALLOC (never shrunk) to hold the
// joined text, which is written from its start; the result is that block. Any of the texts may be the
// destination itself: String_Concat(d, d, "x") appends.
char* String_Concat(char* destination, const char* s1, const char* s2 = nullptr, const char* s3 = nullptr,
                    const char* s4 = nullptr, const char* s5 = nullptr, const char* s6 = nullptr,
                    const char* s7 = nullptr, const char* s8 = nullptr, const char* s9 = nullptr,
                    const char* s10 = nullptr);

// A new block holding a copy of text; null gives null.
char* String_Duplicate(const char* text);
// A new block holding the first length bytes of text and a terminator.
char* String_Duplicate(const char* text, size_t length);

// variable receives a copy of text (its old block reused when large enough), without the leading and
// trailing bytes that are at most 32 as signed 8-bit numbers (so every byte from 0x80 up is cut as
// well). A null text frees the variable's block and makes it null.
void VCL_Trim(char*& variable, const char* text);

// In place: each "#" becomes the byte 13, except that a backslash followed by "#" becomes a lone "#".
// Returns the number of characters of the new text.
int String_HashToNewline(char* text);

// A whole number as text: as "%d" prints it within the int32 range, as "%.0f" beyond (where "%d" of the
// converted number would print a wrong number).
void String_FormatWhole(char* out, int size, double value);

// A new block of 16-bit units, one per byte of text, each byte sign-extended (no UTF-8 decoding).
uint16_t* String_Widen(const char* text);
// A new text keeping the low byte of each 16-bit unit.
char* String_Narrow(const uint16_t* text);

// A text read from outside (a name in a data file, say) made safe to show in a message of one line:
// control bytes, the C1 controls and bytes that are not part of valid UTF-8 become "\xNN" (upper-case
// hexadecimal); everything else is kept. Null gives "".
std::string Text_Escaped(const char* text);
std::string Text_Escaped(const char* text, size_t length);
