#include "script/vm/vm_debug.h"

#include <cstring>

#include "core/memory.h"
#include "core/utf8.h"
#include "script/vm/vm_buffer.h"

namespace {

// Byte offset of a character position, clamped to the last character of the text (0 for an empty text).
size_t ByteOffsetOfCharacter(const char* text, int32_t position) {
    size_t offset = 0;
    size_t last = 0;
    for (int32_t i = 0; text[offset] != '\0'; ++i) {
        if (i >= position) return offset;
        last = offset;
        offset += static_cast<size_t>(UTF8_SequenceLength(text + offset));
    }
    return last;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// Reads "name blanks number" after "#line ". The number is read as digits with an optional sign and
// saturates instead of overflowing.
int ParseDirective(const char* p, char** name) {
    while (IsBlank(*p))
        ++p;
    const char* nameStart = p;
    while (*p != '\0' && !IsBlank(*p) && *p != '\r' && *p != '\n')
        ++p;
    if (name != nullptr) {
        const size_t length = static_cast<size_t>(p - nameStart);
        *name = static_cast<char*>(MEM_ALLOC(length + 1));
        std::memcpy(*name, nameStart, length);
    }
    while (IsBlank(*p))
        ++p;
    bool negative = false;
    if (*p == '-' || *p == '+') negative = (*p++ == '-');
    int64_t number = 0;
    while (*p >= '0' && *p <= '9') {
        if (number < 0x7FFFFFFF) number = number * 10 + (*p - '0');
        ++p;
    }
    if (number > 0x7FFFFFFF) number = 0x7FFFFFFF;
    return static_cast<int>(negative ? -number : number);
}

} // namespace

bool VM_FindDebugEntry(const VMBuffer* table, int offset, VMDebugEntry* entry) {
    if (table == nullptr || table->data == nullptr || table->size < 8) return false;
    const int count = table->size / 8;
    int low = 0;
    int high = count - 1;
    int found = -1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        if (static_cast<int32_t>(table->ReadWord(middle * 8)) <= offset) {
            found = middle;
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    if (found < 0) return false;
    entry->offset = static_cast<int32_t>(table->ReadWord(found * 8));
    entry->position = static_cast<int32_t>(table->ReadWord(found * 8 + 4));
    return true;
}

int VM_GetLineNumber(const VMDebugEntry* entry, const char* text, char** name) {
    if (name != nullptr) *name = nullptr;
    if (entry == nullptr) return -1;
    if (text == nullptr) return 1;
    static const char kDirective[] = "#line ";
    const size_t at = ByteOffsetOfCharacter(text, entry->position);
    int lineFeeds = 0;
    // The character at the position belongs to its line; the walk looks at the ones before it. Line
    // feeds are single bytes, so stepping back byte by byte meets the same ones as a walk by character.
    for (size_t i = at; i > 0; --i) {
        if (text[i - 1] != '\n') continue;
        if (std::strncmp(text + i, kDirective, sizeof kDirective - 1) == 0)
            return ParseDirective(text + i + sizeof kDirective - 1, name) + lineFeeds - 1;
        ++lineFeeds;
    }
    return lineFeeds + 1;
}

const char* VM_GetSourceLine(const VMDebugEntry* entry, const char* text) {
    static char line[256];
    if (entry == nullptr) return "<unknown source line>";
    if (text == nullptr) {
        line[0] = '\0';
        return line;
    }
    size_t start = ByteOffsetOfCharacter(text, entry->position);
    while (start > 0 && text[start - 1] != '\n')
        --start;
    size_t length = 0;
    while (length < sizeof line - 1 && text[start + length] != '\0' && text[start + length] != '\r')
        ++length;
    std::memcpy(line, text + start, length);
    line[length] = '\0';
    return line;
}
