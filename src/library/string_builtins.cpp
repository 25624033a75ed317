#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "core/utf8.h"
#include "library/builtin.h"
#include "library/math_builtins.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

namespace {

// Positions and counts of the string built-ins: the argument rounded to the nearest integer, ties to even.
int Position(const BuiltInArgs& a, int i) {
    return X86_RoundToInt32(a.Real(i));
}

// A new text of the bytes of text up to its first 0 byte: a character that reads as 0 (the three bytes
// chr makes of a code beyond U+10FFFF whose low 16 bits are 0), written again as UTF-8, ends the text
// there.
char* NewText(const std::string& text) {
    return Text_New(text.data(), std::min(text.find('\0'), text.size()));
}

// Appends at most n characters of p, each copied as UTF8_CopyChar copies it (n < 0: all of them). A
// plain ASCII character is written as it is, so a run of them is copied whole.
void AppendChars(std::string& out, const char* p, int64_t n) {
    char encoded[4];
    while (n != 0 && *p) {
        const char* run = p;
        while (n != 0 && *p != 0 && static_cast<unsigned char>(*p) < 0x80) {
            ++p;
            --n;
        }
        out.append(run, static_cast<size_t>(p - run));
        if (n == 0 || !*p) break;
        char* end = encoded;
        UTF8_CopyChar(end, p);
        out.append(encoded, static_cast<size_t>(end - encoded));
        --n;
    }
}

// True when every byte of the text is below 0x80.
bool PlainASCII(const char* text) {
    return Text_BytesASCII(text, std::strlen(text));
}

// The number of characters of a value's text (0 for null).
int64_t Characters(const char* text) {
    size_t length;
    return Text_KnownASCII(text, &length) ? static_cast<int64_t>(length) : UTF8_Length(text);
}

// The first occurrence of substr in s (both non-empty), compared character by character: its
// character index and byte offset, or -1.
int64_t CharacterPos(const char* substr, const char* s, size_t* byteOffset) {
    int n = UTF8_Length(substr);
    const char* p = s;
    for (int64_t i = 0; *p; ++i) {
        if (UTF8_CompareN(p, substr, n) == 0) {
            if (byteOffset) *byteOffset = static_cast<size_t>(p - s);
            return i;
        }
        p += UTF8_SequenceLength(p);
    }
    return -1;
}

// Plain ASCII needles up to this many bytes are searched for byte by byte; longer ones with strstr,
// whose time stays linear where comparing at every byte could cost the text's length times theirs.
constexpr size_t kShortNeedle = 32;

// The first occurrence of substr in s, compared character by character: its character index and byte
// offset, or -1 when either text is null or empty or substr does not occur. sASCII: s is known to be
// plain ASCII.
int64_t String_Pos(const char* substr, const char* s, size_t* byteOffset = nullptr, bool sASCII = false) {
    if (!substr || !s || !*substr || !*s) return -1;
    size_t length;
    if (!Text_KnownASCII(substr, &length)) {
        if (!PlainASCII(substr)) return CharacterPos(substr, s, byteOffset);
        length = std::strlen(substr);
    }
    // While s is plain ASCII a character is a byte, and a byte match is the first character match (an
    // earlier match would have to lie in the same plain bytes).
    const char* found = nullptr;
    if (length > kShortNeedle || sASCII) {
        if (!sASCII && !PlainASCII(s)) return CharacterPos(substr, s, byteOffset);
        found = std::strstr(s, substr);
    } else {
        // One pass; at the first byte of 0x80 or more the search starts again character by character.
        for (const char* p = s; !found; ++p) {
            if (static_cast<unsigned char>(*p) >= 0x80) return CharacterPos(substr, s, byteOffset);
            if (*p == 0) break;
            if (*p == *substr && std::strncmp(p, substr, length) == 0) found = p;
        }
    }
    if (!found) return -1;
    if (byteOffset) *byteOffset = static_cast<size_t>(found - s);
    return found - s;
}

// The text without its characters of code 128 or more (a character decoding to 0 ends it).
std::string UTF8_ToASCII(const char* text) {
    std::string ascii;
    while (*text) {
        const uint32_t c = UTF8_GetChar(text);
        if (c == 0) break;
        if (c < 128) ascii.push_back(static_cast<char>(c));
    }
    return ascii;
}

locale_t CNumericLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

// The longest leading decimal number of the text (sign, digits, decimal point, exponent) in the C
// locale; 0 when the text does not start with one. Names such as "inf" or hexadecimal forms are not
// numbers here.
double ReadDecimal(const char* text) {
    const char* p = text;
    if (*p == '+' || *p == '-') ++p;
    size_t digits = std::strspn(p, "0123456789");
    p += digits;
    if (*p == '.') {
        size_t fraction = std::strspn(p + 1, "0123456789");
        digits += fraction;
        p += 1 + fraction;
    }
    if (digits == 0) return 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        size_t exponent = std::strspn(q, "0123456789");
        if (exponent > 0) p = q + exponent;
    }
    std::string number(text, static_cast<size_t>(p - text));
    return strtod_l(number.c_str(), nullptr, CNumericLocale());
}

// ---- Conversions and character codes -------------------------------------------------------------

void F_real(ScriptValue& r, const BuiltInArgs& a) {
    const ScriptValue* v = a.At(0);
    if (v->IsReal()) {
        Value_Copy(&r, v);
        return;
    }
    if (!v->IsString() || !v->str) return;
    std::string ascii = UTF8_ToASCII(v->str);
    char* trimmed = nullptr;
    VCL_Trim(trimmed, ascii.c_str());
    Value_SetReal(&r, trimmed ? ReadDecimal(trimmed) : 0.0);
    MEM_FREE(trimmed);
}

void F_string(ScriptValue& r, const BuiltInArgs& a) {
    char* text = nullptr;
    char* cursor = nullptr;
    int capacity = 0;
    Value_AppendText(&cursor, &text, &capacity, a.At(0));
    BuiltIn_SetText(r, text);
}

void F_string_format(ScriptValue& r, const BuiltInArgs& a) {
    if (a.At(0)->IsString()) {
        BuiltIn_SetText(r, String_Duplicate(a.Text(0)));
        return;
    }
    int total = X86_DoubleToInt32(a.Real(1));
    int decimals = X86_DoubleToInt32(a.Real(2));
    // A negative width left-justifies as in C (its magnitude kept within the int range); a negative
    // precision means none.
    int width = Wrap_Sub32(total, decimals);
    if (width == INT32_MIN) width = -INT32_MAX;
    if (decimals < 0) decimals = 0;
    // A field or a precision that alone is longer than any text can be is refused before formatting.
    int64_t field = width < 0 ? -int64_t{width} : width;
    if (field >= int64_t{MemoryManager::kMaxBlockSize} ||
        decimals >= int64_t{MemoryManager::kMaxBlockSize} - 2)
        MemoryManager::OutOfMemory();
    double x = a.Real(0);
    int length = std::snprintf(nullptr, 0, "%*.*f", width, decimals, x);
    if (length < 0) MemoryManager::OutOfMemory();
    char* text = static_cast<char*>(MEM_ALLOC_RAW(static_cast<size_t>(length) + 1));
    std::snprintf(text, static_cast<size_t>(length) + 1, "%*.*f", width, decimals, x);
    BuiltIn_SetText(r, text);
}

void F_chr(ScriptValue& r, const BuiltInArgs& a) {
    int code = X86_DoubleToInt32(a.Real(0));
    char text[5] = {};
    char* end = text;
    if (code < 128) {
        UTF8_PutChar(end, static_cast<uint32_t>(code & 0x7F));
    } else if (code < 2048 || (code >= 0x10000 && code <= 0x10FFFF)) {
        UTF8_PutChar(end, static_cast<uint32_t>(code));
    } else {
        // Three bytes, beyond U+10FFFF too, even when the low 16 bits alone would take fewer.
        unsigned c = static_cast<unsigned>(code) & 0xFFFFu;
        text[0] = static_cast<char>(0xE0 | (c >> 12));
        text[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        text[2] = static_cast<char>(0x80 | (c & 0x3F));
    }
    BuiltIn_SetText(r, Text_New(text, std::strlen(text)));
}

void F_ansi_char(ScriptValue& r, const BuiltInArgs& a) {
    char text[2] = {static_cast<char>(Position(a, 0) & 0xFF), 0};
    BuiltIn_SetText(r, String_Duplicate(text));
}

void F_ord(ScriptValue& r, const BuiltInArgs& a) {
    const char* text = a.Text(0);
    if (text) Value_SetReal(&r, UTF8_GetChar(text));
}

void F_string_length(ScriptValue& r, const BuiltInArgs& a) {
    Value_SetReal(&r, static_cast<double>(Characters(a.Text(0))));
}

void F_string_byte_length(ScriptValue& r, const BuiltInArgs& a) {
    const char* text = a.Text(0);
    Value_SetReal(&r, text ? static_cast<double>(std::strlen(text)) : 0.0);
}

void F_string_byte_at(ScriptValue& r, const BuiltInArgs& a) {
    if (a.count != 2 || !a.At(1)->IsReal()) return;
    const char* text = a.Text(0);
    if (!text || !*text) return;
    int64_t length = static_cast<int64_t>(std::strlen(text));
    int64_t index = Position(a, 1);
    if (index < 1) index = 1;
    if (index > length) index = length;
    Value_SetReal(&r, static_cast<signed char>(text[index - 1]));
}

void F_string_set_byte_at(ScriptValue& r, const BuiltInArgs& a) {
    char* copy = String_Duplicate(a.Text(0));
    int64_t length = copy ? static_cast<int64_t>(std::strlen(copy)) : 0;
    int64_t index = Position(a, 1);
    if (index >= 1 && index <= length)
        copy[index - 1] = static_cast<char>(X86_DoubleToInt32(a.Real(2)) & 0xFF);
    else
        Code_Error_Report("string_set_byte_at : index beyond end of string", false);
    BuiltIn_SetText(r, copy);
}

// ---- Searching and cutting -------------------------------------------------------------------------

void F_string_pos(ScriptValue& r, const BuiltInArgs& a) {
    size_t length;
    const bool ascii = Text_KnownASCII(a.Text(1), &length);
    Value_SetReal(&r, static_cast<double>(String_Pos(a.Text(0), a.Text(1), nullptr, ascii) + 1));
}

void F_string_count(ScriptValue& r, const BuiltInArgs& a) {
    const char* substr = a.Text(0);
    const char* s = a.Text(1);
    if (!substr || !s || !*substr || !*s) return;
    int64_t count = 0;
    // Overlapping matches count: the search goes on one byte after the start of each.
    for (const char* p = s; (p = std::strstr(p, substr)) != nullptr; ++p)
        ++count;
    Value_SetReal(&r, static_cast<double>(count));
}

void F_string_copy(ScriptValue& r, const BuiltInArgs& a) {
    BuiltIn_SetText(r, nullptr);
    if (a.count != 3 || !a.At(0)->IsString() || !a.At(1)->IsReal() || !a.At(2)->IsReal()) return;
    const char* text = a.Text(0) ? a.Text(0) : "";
    int index = Position(a, 1);
    int count = Position(a, 2);
    int64_t start = (index > 1 ? index : 1) - int64_t{1};
    int64_t n = count > 0 ? count : 0;
    size_t bytes;
    const bool ascii = Text_KnownASCII(a.Text(0), &bytes);
    int64_t length = ascii ? static_cast<int64_t>(bytes) : UTF8_Length(text);
    if (start + n > length) n = length - start;
    if (n < 0) {
        char message[1024];
        std::snprintf(message, sizeof message, "string_copy(%s, %d, %d): Index is out of bounds", text, index,
                      count);
        Code_Error_Report(message, false);
        BuiltIn_SetText(r, String_Duplicate(""));
        return;
    }
    if (ascii) {
        BuiltIn_SetText(r, Text_New(text + start, static_cast<size_t>(n)));
        return;
    }
    std::string out;
    AppendChars(out, UTF8_Skip(text, start), n);
    BuiltIn_SetText(r, NewText(out));
}

void F_string_char_at(ScriptValue& r, const BuiltInArgs& a) {
    BuiltIn_SetText(r, nullptr);
    if (a.count != 2 || !a.At(0)->IsString() || !a.At(1)->IsReal() || !a.Text(0)) return;
    const int index = Position(a, 1);
    const int64_t skipped = (index > 1 ? index : 1) - int64_t{1};
    size_t length;
    if (Text_KnownASCII(a.Text(0), &length)) {
        if (skipped < static_cast<int64_t>(length)) BuiltIn_SetText(r, Text_New(a.Text(0) + skipped, 1));
        return;
    }
    const char* p = UTF8_Skip(a.Text(0), skipped);
    if (!*p) return;
    char* text = static_cast<char*>(MEM_ALLOC_RAW(5));
    char* end = text;
    UTF8_CopyChar(end, p);
    *end = '\0';
    BuiltIn_SetText(r, text);
}

void F_string_delete(ScriptValue& r, const BuiltInArgs& a) {
    const char* text = a.Text(0);
    BuiltIn_SetText(r, nullptr);
    if (!text) return;
    int64_t start = Position(a, 1) - int64_t{1};
    int64_t count = Position(a, 2);
    int64_t length = UTF8_Length(text);
    // Nothing to delete outside the text, or for a count that is not positive.
    if (start < 0 || start >= length || count <= 0) {
        BuiltIn_SetText(r, String_Duplicate(text));
        return;
    }
    int64_t end = (count < length - start ? count : length - start) + start;
    const char* kept = UTF8_Skip(text, start);
    std::string out(text, static_cast<size_t>(kept - text));
    AppendChars(out, UTF8_Skip(kept, end - start), -1);
    BuiltIn_SetText(r, NewText(out));
}

void F_string_insert(ScriptValue& r, const BuiltInArgs& a) {
    const char* substr = a.Text(0);
    const char* s = a.Text(1);
    BuiltIn_SetText(r, nullptr);
    if (!s) return;
    if (!substr || !*substr) {
        BuiltIn_SetText(r, String_Duplicate(s));
        return;
    }
    int64_t length = UTF8_Length(s);
    int64_t k = Position(a, 2) - int64_t{1};
    if (k < 0) k = 0;
    if (k > length) k = length;
    std::string out;
    AppendChars(out, s, k);
    out += substr;
    AppendChars(out, UTF8_Skip(s, k), -1);
    BuiltIn_SetText(r, NewText(out));
}

// s with the first (or every) occurrence of substr replaced by replacement; a replacement is never
// searched again. Null when s is null or the result is empty.
char* String_Replace(const char* s, const char* substr, const char* replacement, bool all) {
    if (!s) return nullptr;
    std::string out;
    int64_t substrLength = UTF8_Length(substr);
    const char* rest = s;
    while (*rest) {
        size_t offset = 0;
        int64_t pos = String_Pos(substr, rest, &offset);
        if (pos < 0) break;
        out.append(rest, offset);
        if (replacement) out += replacement;
        rest = UTF8_Skip(rest, pos + substrLength);
        if (!all) break;
    }
    out += rest;
    return out.empty() ? nullptr : NewText(out);
}

void F_string_replace(ScriptValue& r, const BuiltInArgs& a) {
    BuiltIn_SetText(r, String_Replace(a.Text(0), a.Text(1), a.Text(2), false));
}

void F_string_replace_all(ScriptValue& r, const BuiltInArgs& a) {
    BuiltIn_SetText(r, String_Replace(a.Text(0), a.Text(1), a.Text(2), true));
}

// ---- Case, filtering and repetition ------------------------------------------------------------------

// A copy with the ASCII letters of one case turned into the other; every other byte unchanged, whatever
// the process locale.
void ChangeCase(ScriptValue& r, const BuiltInArgs& a, char from, char to) {
    char* copy = String_Duplicate(a.Text(0));
    for (char* p = copy; p && *p; ++p)
        if (*p >= from && *p <= from + 25) *p = static_cast<char>(*p - from + to);
    BuiltIn_SetText(r, copy);
}
void F_string_lower(ScriptValue& r, const BuiltInArgs& a) {
    ChangeCase(r, a, 'A', 'a');
}
void F_string_upper(ScriptValue& r, const BuiltInArgs& a) {
    ChangeCase(r, a, 'a', 'A');
}

bool IsLetter(uint32_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(uint32_t c) {
    return c >= '0' && c <= '9';
}

// The characters of the text that keep accepts, in order.
void Filter(ScriptValue& r, const char* text, bool (*keep)(uint32_t)) {
    BuiltIn_SetText(r, nullptr);
    if (!text || !*text) return;
    std::string out;
    while (*text) {
        const uint32_t c = UTF8_GetChar(text);
        if (keep(c)) out.push_back(static_cast<char>(c));
    }
    BuiltIn_SetText(r, NewText(out));
}
void F_string_letters(ScriptValue& r, const BuiltInArgs& a) {
    Filter(r, a.Text(0), IsLetter);
}
void F_string_digits(ScriptValue& r, const BuiltInArgs& a) {
    Filter(r, a.count == 1 ? a.Text(0) : nullptr, IsDigit);
}
void F_string_lettersdigits(ScriptValue& r, const BuiltInArgs& a) {
    Filter(r, a.Text(0), [](uint32_t c) { return IsLetter(c) || IsDigit(c); });
}

void F_string_repeat(ScriptValue& r, const BuiltInArgs& a) {
    const char* text = a.Text(0);
    BuiltIn_SetText(r, nullptr);
    if (!text || !*text) return;
    int times = Position(a, 1);
    if (times <= 0) times = 0;
    size_t length = std::strlen(text);
    // At most 2^31 x 2^31 bytes: the size is exact in 64 bits, and a size beyond any block is the
    // memory manager's out-of-memory end.
    size_t size = length * static_cast<size_t>(times) + 1;
    char* repeated = static_cast<char*>(MEM_ALLOC_RAW(size));
    for (int i = 0; i < times; ++i)
        std::memcpy(repeated + length * static_cast<size_t>(i), text, length);
    repeated[size - 1] = '\0';
    BuiltIn_SetText(r, repeated);
}

const BuiltInRegistration kStringFunctions[] = {
    BUILTIN_ENTRY(real, 1),
    BUILTIN_ENTRY(string, 1),
    BUILTIN_ENTRY(string_format, 3),
    BUILTIN_ENTRY(chr, 1),
    BUILTIN_ENTRY(ansi_char, 1),
    BUILTIN_ENTRY(ord, 1),
    BUILTIN_ENTRY(string_length, 1),
    BUILTIN_ENTRY(string_byte_length, 1),
    BUILTIN_ENTRY(string_byte_at, 2),
    BUILTIN_ENTRY(string_set_byte_at, 3),
    BUILTIN_ENTRY(string_pos, 2),
    BUILTIN_ENTRY(string_count, 2),
    BUILTIN_ENTRY(string_copy, 3),
    BUILTIN_ENTRY(string_char_at, 2),
    BUILTIN_ENTRY(string_delete, 3),
    BUILTIN_ENTRY(string_insert, 3),
    BUILTIN_ENTRY(string_replace, 3),
    BUILTIN_ENTRY(string_replace_all, 3),
    BUILTIN_ENTRY(string_lower, 1),
    BUILTIN_ENTRY(string_upper, 1),
    BUILTIN_ENTRY(string_letters, 1),
    BUILTIN_ENTRY(string_digits, 1),
    BUILTIN_ENTRY(string_lettersdigits, 1),
    BUILTIN_ENTRY(string_repeat, 2),
};

} // namespace

void String_RegisterFunctions() {
    BuiltIn_RegisterReading(kStringFunctions, kBuiltInKeepsInstances);
    BuiltIn_MarkPureOnReals({"real", "string"});
}
