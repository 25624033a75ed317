#include "core/text.h"

#include "core/memory.h"
#include "core/utf8.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char* String_Concat(char* destination, const char* s1, const char* s2, const char* s3, const char* s4,
                    const char* s5, const char* s6, const char* s7, const char* s8, const char* s9,
                    const char* s10) {
    const char* parts[] = {s1, s2, s3, s4, s5, s6, s7, s8, s9, s10};
    size_t total = 0;
    for (const char* s : parts)
        if (s) total += std::strlen(s);
    if (total == 0) return nullptr;

    // The texts may live in the destination block, so join them into a fresh block first.
    char* joined = static_cast<char*>(MEM_ALLOC_RAW(total + 1));
    char* out = joined;
    for (const char* s : parts) {
        if (!s) continue;
        size_t n = std::strlen(s);
        std::memcpy(out, s, n);
        out += n;
    }
    *out = '\0';

    if (MemoryManager::IsGuarded(destination) && MemoryManager::GetSize(destination) >= total + 1) {
        std::memcpy(destination, joined, total + 1);
        MemoryManager::SetNote(destination, 0);
        MEM_FREE(joined);
        return destination;
    }
    MEM_FREE(destination);
    return joined;
}

char* String_Duplicate(const char* text) {
    return text ? String_Duplicate(text, std::strlen(text)) : nullptr;
}

char* String_Duplicate(const char* text, size_t length) {
    char* copy = static_cast<char*>(MEM_ALLOC_RAW(length + 1));
    std::memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// ---- Texts that know their length

bool Text_BytesASCII(const char* text, size_t length) {
    size_t i = 0;
    for (; i + 8 <= length; i += 8)
        if (!UTF8_EightASCII(text + i)) return false;
    for (; i < length; ++i)
        if (static_cast<unsigned char>(text[i]) >= 0x80) return false;
    return true;
}

namespace {

// Records the length of a block known to be one.
void RecordBlock(char* text, size_t length, bool ascii) {
    uint32_t note = 0;
    if (length <= TextNote::kLengthMask)
        note = TextNote::kRecorded | (ascii ? TextNote::kASCII : 0) | static_cast<uint32_t>(length);
    MemoryManager::SetNote(text, note);
}

} // namespace

void Text_Record(char* text, size_t length, bool ascii) {
    if (MemoryManager::IsGuarded(text)) RecordBlock(text, length, ascii);
}

void Text_CheckNote(const char* text, uint32_t note) {
    const size_t recorded = note & TextNote::kLengthMask;
    // Long texts are checked at their end alone, so that checking stays cheap.
    bool sound = text[recorded] == '\0';
    if (sound && recorded <= 65536)
        sound = std::strlen(text) == recorded &&
                ((note & TextNote::kASCII) != 0) == Text_BytesASCII(text, recorded);
    if (sound) return;
    std::fprintf(stderr, "A text's recorded length %zu does not match its bytes\n", recorded);
    std::abort();
}

namespace {

// The length of any text and whether it is plain ASCII.
size_t MeasureAny(const char* text, bool* ascii) {
    if (!text) {
        *ascii = true;
        return 0;
    }
    const size_t length = std::strlen(text);
    *ascii = Text_BytesASCII(text, length);
    return length;
}

// The same for a held text: from its note when it has one.
size_t Measure(const char* text, bool* ascii) {
    if (const uint32_t note = Text_Note(text)) {
        *ascii = (note & TextNote::kASCII) != 0;
        return note & TextNote::kLengthMask;
    }
    return MeasureAny(text, ascii);
}

char* NewBlock(size_t length) {
    if (length >= MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    return static_cast<char*>(MEM_ALLOC_RAW(length + 1));
}

} // namespace

char* Text_New(const char* bytes, size_t length) {
    char* text = NewBlock(length);
    if (length <= 8) {
        // A character or a short word, as scripts make most often: copied and checked in one pass.
        unsigned high = 0;
        for (size_t i = 0; i < length; ++i) {
            const auto byte = static_cast<unsigned char>(bytes[i]);
            text[i] = static_cast<char>(byte);
            high |= byte;
        }
        text[length] = '\0';
        RecordBlock(text, length, high < 0x80);
        return text;
    }
    std::memcpy(text, bytes, length);
    text[length] = '\0';
    RecordBlock(text, length, Text_BytesASCII(text, length));
    return text;
}

char* Text_Copy(const char* text) {
    if (!text) return nullptr;
    bool ascii;
    const size_t length = Measure(text, &ascii);
    char* copy = NewBlock(length);
    if (length > 0) std::memcpy(copy, text, length);
    copy[length] = '\0';
    RecordBlock(copy, length, ascii);
    return copy;
}

char* Text_Join(const char* a, const char* b) {
    bool asciiA, asciiB;
    const size_t lengthA = Measure(a, &asciiA);
    const size_t lengthB = Measure(b, &asciiB);
    if (lengthA + lengthB >= MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    char* joined = NewBlock(lengthA + lengthB);
    if (lengthA > 0) std::memcpy(joined, a, lengthA);
    if (lengthB > 0) std::memcpy(joined + lengthA, b, lengthB);
    joined[lengthA + lengthB] = '\0';
    RecordBlock(joined, lengthA + lengthB, asciiA && asciiB);
    return joined;
}

char* Text_Append(char* text, const char* tail) {
    bool ascii, tailASCII;
    const size_t length = Measure(text, &ascii);
    const size_t added = MeasureAny(tail, &tailASCII);
    const size_t needed = length + added + 1;
    if (needed > MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    if (text == nullptr || !MemoryManager::IsGuarded(text) || MemoryManager::GetSize(text) < needed) {
        const size_t room = std::max(needed, std::min(2 * needed, MemoryManager::kMaxBlockSize));
        char* grown = static_cast<char*>(MEM_ALLOC_RAW(room));
        if (length > 0) std::memcpy(grown, text, length);
        if (added > 0) std::memcpy(grown + length, tail, added); // before the old block goes: tail may be in it
        MEM_FREE(text);
        text = grown;
    } else if (added > 0) {
        std::memmove(text + length, tail, added);
    }
    text[length + added] = '\0';
    RecordBlock(text, length + added, ascii && tailASCII);
    return text;
}

char* Text_CopyInto(char* block, const char* text) {
    bool ascii;
    const size_t length = MeasureAny(text, &ascii);
    if (!block || !MemoryManager::IsGuarded(block) || MemoryManager::GetSize(block) < length + 1) {
        MEM_FREE(block);
        block = NewBlock(length);
    }
    std::memmove(block, text, length + 1);
    RecordBlock(block, length, ascii);
    return block;
}

namespace {
// Blank for the trim: the byte read as a signed 8-bit number is at most 32.
bool IsTrimmed(char c) {
    return static_cast<signed char>(c) <= 32;
}
} // namespace

void VCL_Trim(char*& variable, const char* text) {
    if (!text) {
        MEM_FREE(variable);
        variable = nullptr;
        return;
    }
    size_t begin = 0;
    size_t end = std::strlen(text);
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    size_t n = end - begin;

    char* target = variable;
    bool reuse = MemoryManager::IsGuarded(target) && MemoryManager::GetSize(target) >= n + 1;
    if (!reuse) target = static_cast<char*>(MEM_ALLOC_RAW(n + 1));
    else MemoryManager::SetNote(target, 0);
    std::memmove(target, text + begin, n);
    target[n] = '\0';
    if (!reuse) MEM_FREE(variable);
    variable = target;
}

int String_HashToNewline(char* text) {
    if (!text) return 0;
    const char* in = text;
    char* out = text;
    int count = 0;
    bool afterBackslash = false;
    for (int n; (n = UTF8_SequenceLength(in)) != 0; in += n) {
        if (n == 1 && *in == '#') {
            if (afterBackslash) {
                out[-1] = '#'; // the backslash already written becomes the "#"
            } else {
                *out++ = '\r';
                ++count;
            }
            afterBackslash = false;
            continue;
        }
        afterBackslash = n == 1 && *in == '\\';
        std::memmove(out, in, static_cast<size_t>(n));
        out += n;
        ++count;
    }
    *out = '\0';
    return count;
}

uint16_t* String_Widen(const char* text) {
    if (!text) return nullptr;
    size_t n = std::strlen(text);
    auto wide = static_cast<uint16_t*>(MEM_ALLOC((n + 1) * sizeof(uint16_t)));
    for (size_t i = 0; i < n; ++i)
        wide[i] = static_cast<uint16_t>(static_cast<int16_t>(static_cast<signed char>(text[i])));
    return wide;
}

char* String_Narrow(const uint16_t* text) {
    if (!text) return nullptr;
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    auto narrow = static_cast<char*>(MEM_ALLOC(n + 1));
    for (size_t i = 0; i < n; ++i)
        narrow[i] = static_cast<char>(text[i] & 0xFF);
    return narrow;
}

void String_FormatWhole(char* out, int size, double value) {
    if (!(value >= -2147483648.0 && value <= 2147483647.0)) {
        std::snprintf(out, static_cast<size_t>(size), "%.0f", value);
        return;
    }
    const int32_t whole = static_cast<int32_t>(value);
    if (size < 12) {
        std::snprintf(out, static_cast<size_t>(size), "%d", whole);
        return;
    }
    // As "%d" prints it, digit by digit (the magnitude of the least int32 taken unsigned).
    char digits[10];
    int count = 0;
    uint32_t magnitude = whole < 0 ? 0u - static_cast<uint32_t>(whole) : static_cast<uint32_t>(whole);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (whole < 0) *out++ = '-';
    while (count > 0)
        *out++ = digits[--count];
    *out = '\0';
}

std::string Text_Escaped(const char* text) {
    return text ? Text_Escaped(text, std::strlen(text)) : std::string();
}

std::string Text_Escaped(const char* text, size_t length) {
    std::string out;
    if (!text) return out;
    out.reserve(length);
    const auto* p = reinterpret_cast<const uint8_t*>(text);
    auto escape = [&out](uint8_t byte) {
        static const char kDigits[] = "0123456789ABCDEF";
        out += "\\x";
        out += kDigits[byte >> 4];
        out += kDigits[byte & 15];
    };
    for (size_t i = 0; i < length;) {
        const size_t at = i;
        const int32_t c = Text_NextCodePoint(text, length, i);
        if (c < 0) {
            escape(p[at]);
        } else if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            // The C0 and C1 controls reach a terminal as controls.
            for (size_t k = at; k < i; ++k)
                escape(p[k]);
        } else {
            out.append(text + at, i - at);
        }
    }
    return out;
}
