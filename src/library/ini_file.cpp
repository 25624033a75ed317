#include "library/ini_file.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/text.h"

#include <climits>
#include <cstring>
#include <string>

namespace {

char* CopyOf(const char* bytes, size_t n) {
    char* text = static_cast<char*>(MEM_ALLOC_RAW(n + 1));
    std::memcpy(text, bytes, n);
    text[n] = '\0';
    return text;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}
bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
// The bytes skipped between items: blanks, line ends and the comment starters.
bool IsSpace(char c) {
    return IsBlank(c) || IsLineEnd(c) || c == '#' || c == ';';
}

// The text up to its first line break, as a std::string.
std::string OneLine(const char* text) {
    return std::string(text, std::strcspn(text, "\r\n"));
}

// One pass over the text. Every step stays inside [0, length) and moves forward.
class IniParser {
public:
    IniParser(const char* text, size_t length) : m_text(text), m_length(length) {
        if (length >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) m_position = 3;
    }

    // The sections in list order (the last one read first).
    IniSection* Run() {
        IniSection* sections = ReadSection();
        if (!sections) return nullptr; // everything before the first section is skipped unread
        IniSection* current = sections;
        while (m_position < m_length) {
            const size_t start = m_position;
            if (IniKey* key = ReadKey()) {
                key->next = current->firstKey;
                current->firstKey = key;
            } else if (m_position < m_length && m_text[m_position] == '[') {
                IniSection* section = ReadSection();
                if (!section) break; // a "[" without its "]" ends the text
                section->next = sections;
                sections = section;
                current = section;
            }
            if (m_position == start) ++m_position;
        }
        return sections;
    }

private:
    // Skips blanks, line ends and comments (a "#" or ";" up to the end of its line); true when a line
    // feed was passed.
    bool SkipSpace() {
        bool lineFeed = false;
        while (m_position < m_length && IsSpace(m_text[m_position])) {
            const char c = m_text[m_position];
            if (c == '#' || c == ';') {
                while (m_position < m_length && !IsLineEnd(m_text[m_position]))
                    ++m_position;
                continue;
            }
            lineFeed |= c == '\n';
            ++m_position;
        }
        return lineFeed;
    }

    size_t Find(char c, size_t from) const {
        const void* at = from < m_length ? std::memchr(m_text + from, c, m_length - from) : nullptr;
        return at ? static_cast<size_t>(static_cast<const char*>(at) - m_text) : m_length;
    }

    // The end of [start, end) or its first zero byte, which ends a name or value as it ends a text.
    size_t UpToZero(size_t start, size_t end) const {
        const void* zero = std::memchr(m_text + start, 0, end - start);
        return zero ? static_cast<size_t>(static_cast<const char*>(zero) - m_text) : end;
    }

    // "[" name "]", the name every byte between them; null (at the end) when either is missing.
    IniSection* ReadSection() {
        SkipSpace();
        const size_t open = Find('[', m_position);
        const size_t close = Find(']', open + 1);
        if (close >= m_length) {
            m_position = m_length;
            return nullptr;
        }
        m_position = close + 1;
        return new IniSection{nullptr, nullptr, CopyOf(m_text + open + 1, close - open - 1)};
    }

    // name "=" value on one line. A line without "=" is skipped whole; a key whose value is empty at the
    // end of its line is dropped.
    IniKey* ReadKey() {
        SkipSpace();
        if (m_position >= m_length || m_text[m_position] == '[') return nullptr;
        const size_t nameStart = m_position;
        size_t equals = nameStart;
        while (equals < m_length && m_text[equals] != '=' && !IsLineEnd(m_text[equals]))
            ++equals;
        m_position = equals;
        if (equals >= m_length || m_text[equals] != '=') return nullptr;
        size_t nameEnd = UpToZero(nameStart, equals);
        while (nameEnd > nameStart && IsSpace(m_text[nameEnd - 1]))
            --nameEnd;
        ++m_position;
        if (SkipSpace()) return nullptr;

        size_t valueStart = m_position, valueEnd = m_position;
        const char first = m_position < m_length ? m_text[m_position] : '\0';
        if (first == '"' || first == '\'') {
            valueStart = valueEnd = m_position + 1;
            while (valueEnd < m_length && m_text[valueEnd] != first && !IsLineEnd(m_text[valueEnd]))
                ++valueEnd;
            m_position = valueEnd;
            if (valueEnd < m_length && m_text[valueEnd] == first) { // the rest of the line is skipped
                while (m_position < m_length && !IsLineEnd(m_text[m_position]))
                    ++m_position;
            }
        } else {
            while (valueEnd < m_length && !IsLineEnd(m_text[valueEnd]) && m_text[valueEnd] != '#' &&
                   m_text[valueEnd] != ';')
                ++valueEnd;
            m_position = valueEnd;
        }
        valueEnd = UpToZero(valueStart, valueEnd);
        while (valueEnd > valueStart && IsBlank(m_text[valueEnd - 1]))
            --valueEnd;
        return new IniKey{nullptr, CopyOf(m_text + nameStart, nameEnd - nameStart),
                          CopyOf(m_text + valueStart, valueEnd - valueStart)};
    }

    const char* m_text;
    size_t m_length;
    size_t m_position = 0;
};

// The quote a value is written in, or 0 when it is written as it is: quoted exactly when the reader would
// not read it back whole (an empty value, a leading blank or quote, a comment starter), with '"' unless
// the value holds one. A value holding both quotes is written as it is.
char QuoteFor(const char* value) {
    const bool needed = !*value || IsBlank(*value) || *value == '"' || *value == '\'' || std::strpbrk(value, "#;");
    if (!needed) return 0;
    if (!std::strchr(value, '"')) return '"';
    return std::strchr(value, '\'') ? 0 : '\'';
}

void AppendText(const IniSection* sections, std::string& text) {
    for (const IniSection* s = sections; s; s = s->next) {
        text.append("[").append(s->name).append("]\r\n");
        for (const IniKey* k = s->firstKey; k; k = k->next) {
            text.append(k->name).append("=");
            const char quote = QuoteFor(k->value);
            if (quote) text.push_back(quote);
            text.append(k->value);
            if (quote) text.push_back(quote);
            text.append("\r\n");
        }
    }
}

void FreeKeys(IniKey* key) {
    while (key) {
        IniKey* next = key->next;
        MEM_FREE(key->name);
        MEM_FREE(key->value);
        delete key;
        key = next;
    }
}

void FreeSection(IniSection* section) {
    FreeKeys(section->firstKey);
    MEM_FREE(section->name);
    delete section;
}

} // namespace

IniFile::IniFile(const char* name, bool log, IniSource source) : m_fileName(String_Duplicate(name)) {
    if (!name) return;
    int size = 0;
    uint8_t* text = nullptr;
    if (source == IniSource::PathAsGiven) {
        text = LoadSave_ReadFile(name, &size);
    } else {
        text = LoadSave_ReadSaveFile(name, &size);
        if (!text) text = LoadSave_ReadBundleFile(name, &size);
    }
    if (!text) return;
    if (log) DebugConsole->Output("%s file contents: %s\n", name, reinterpret_cast<const char*>(text));
    Parse(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
    MEM_FREE(text);
}

IniFile::~IniFile() {
    Free();
    MEM_FREE(m_fileName);
}

void IniFile::Free() {
    while (m_sections) {
        IniSection* next = m_sections->next;
        FreeSection(m_sections);
        m_sections = next;
    }
}

void IniFile::Parse(const char* text, size_t length) {
    Free();
    m_sections = IniParser(text, length).Run();
}

bool IniFile::OpenFromString(const char* text) {
    if (!text) return false;
    Parse(text, std::strlen(text));
    return true;
}

IniSection* IniFile::FindSection(const char* section) const {
    if (!section) return nullptr;
    for (IniSection* s = m_sections; s; s = s->next) {
        if (std::strcmp(s->name, section) == 0) return s;
    }
    return nullptr;
}

IniKey* IniFile::FindKey(const char* section, const char* key) const {
    const IniSection* s = FindSection(section);
    if (!s || !key) return nullptr;
    for (IniKey* k = s->firstKey; k; k = k->next) {
        if (std::strcmp(k->name, key) == 0) return k;
    }
    return nullptr;
}

const char* IniFile::ReadString(const char* section, const char* key, const char* defaultValue) const {
    const IniKey* k = FindKey(section, key);
    return k ? k->value : defaultValue;
}

int IniFile::ReadInt(const char* section, const char* key, int defaultValue) const {
    const IniKey* k = FindKey(section, key);
    if (!k) return defaultValue;
    const char* p = k->value;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long n = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (n <= INT_MAX) n = n * 10 + (*p - '0');
    }
    if (negative) n = -n;
    return n < INT_MIN ? INT_MIN : n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

bool IniFile::WriteString(const char* section, const char* key, const char* value) {
    m_changed = true;
    if (!section || !key) return false;
    if (std::strcmp(section, "SYSTEM_COMMAND") == 0) {
        if (std::strcmp(key, "INI_FILE_FLUSH") == 0 && value && std::strcmp(value, "NOW") == 0) MEM_FREE(Flush());
        return true;
    }
    // A line break would turn the rest into lines of its own when the file is read again.
    const std::string sectionName = OneLine(section), keyName = OneLine(key), text = OneLine(value ? value : "");
    if (IniKey* k = FindKey(sectionName.c_str(), keyName.c_str())) {
        MEM_FREE(k->value);
        k->value = String_Duplicate(text.c_str());
        return true;
    }
    IniSection* s = FindSection(sectionName.c_str());
    if (!s) {
        s = new IniSection{m_sections, nullptr, String_Duplicate(sectionName.c_str())};
        m_sections = s;
    }
    s->firstKey = new IniKey{s->firstKey, String_Duplicate(keyName.c_str()), String_Duplicate(text.c_str())};
    return true;
}

bool IniFile::DeleteKey(const char* section, const char* key) {
    IniSection* s = FindSection(section);
    if (!s || !key) return false;
    for (IniKey** link = &s->firstKey; *link; link = &(*link)->next) {
        if (std::strcmp((*link)->name, key) == 0) {
            IniKey* found = *link;
            *link = found->next;
            found->next = nullptr;
            FreeKeys(found);
            m_changed = true;
            return true;
        }
    }
    return false;
}

bool IniFile::DeleteSection(const char* section) {
    if (!section) return false;
    for (IniSection** link = &m_sections; *link; link = &(*link)->next) {
        if (std::strcmp((*link)->name, section) == 0) {
            IniSection* found = *link;
            *link = found->next;
            FreeSection(found);
            m_changed = true;
            return true;
        }
    }
    return false;
}

size_t IniFile::TextSize() const {
    std::string text;
    AppendText(m_sections, text);
    return text.size();
}

char* IniFile::Flush() {
    std::string text;
    AppendText(m_sections, text);
    if (m_changed && m_fileName && text.size() <= INT_MAX &&
        LoadSave_WriteFile(m_fileName, text.data(), static_cast<int>(text.size())))
        m_changed = false;
    return CopyOf(text.data(), text.size());
}
