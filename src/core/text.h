// Text helpers. Every text of the runner is NUL-terminated UTF-8 in a memory-manager block; the blocks
// these routines return belong to the caller (free them with MEM_FREE).
#pragma once

#include "core/memory.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
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

// ---- Texts that know their length
// A text block may carry its length in bytes, and whether all its bytes are below 0x80, in its header's
// note word. The routines below record it whenever they write a block whole; String_Duplicate's copies
// and blocks written elsewhere carry none and are measured when asked. Code that changes the bytes of a
// recorded text in place records the text again (Text_Record) or makes a new one. A text whose note is
// read (named "held" below) must be null or the start of a block made by the memory manager: the text
// a script value owns, or one the VM holds; any other text is measured.

namespace TextNote {
constexpr uint32_t kRecorded = 1u << 30;
constexpr uint32_t kASCII = 1u << 29;
constexpr uint32_t kLengthMask = kASCII - 1; // longer texts are not recorded
} // namespace TextNote

// A new block holding the length bytes (no 0 among them) and a terminator, its length recorded.
char* Text_New(const char* bytes, size_t length);
// A new recorded copy of the held text; null gives null.
char* Text_Copy(const char* text);
// A new recorded block holding the held texts a then b (null reads as ""): never null.
char* Text_Join(const char* a, const char* b);
// Appends tail (any text; null reads as "") to the held text (null: none yet) and gives the block that
// then holds both, recorded: text's own when it has room, else a new one with twice the room needed, text
// freed. tail may lie inside text.
char* Text_Append(char* text, const char* tail);
// Copies text (any text, not null) into block (a held text or null) when it is large enough, else into
// a new block (block freed); gives the block that holds the copy, recorded. text may be block itself.
char* Text_CopyInto(char* block, const char* text);
// Records the length of the text that the block text (the start of a block made by the memory manager)
// holds: length bytes, all below 0x80 when ascii, then a terminator.
void Text_Record(char* text, size_t length, bool ascii);
// True when every one of the length bytes is below 0x80.
bool Text_BytesASCII(const char* text, size_t length);

// Checks a recorded note against the bytes (builds with assertions only).
void Text_CheckNote(const char* text, uint32_t note);

// The recorded note of a held text, 0 when it has none.
inline uint32_t Text_Note(const char* text) {
    if (!text) return 0;
    const uint32_t note = MemoryManager::GetNote(text);
    if (!(note & TextNote::kRecorded)) return 0;
#ifndef NDEBUG
    Text_CheckNote(text, note);
#endif
    return note;
}
// The length of a held text in bytes (0 for null).
inline size_t Text_Bytes(const char* text) {
    const uint32_t note = Text_Note(text);
    if (note) return note & TextNote::kLengthMask;
    return text ? std::strlen(text) : 0;
}
// True, with its length in bytes, when the held text is recorded as plain ASCII (one byte a character).
inline bool Text_KnownASCII(const char* text, size_t* bytes) {
    const uint32_t note = Text_Note(text);
    if (!(note & TextNote::kASCII)) return false;
    *bytes = note & TextNote::kLengthMask;
    return true;
}
