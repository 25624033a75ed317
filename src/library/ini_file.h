// Ini files: text files of named sections holding key=value pairs, as the runner's options file and
// the ini_* built-ins use them. Text is handled as bytes (UTF-8 passes through); names are compared byte
// for byte. Files are read from the save area when it has one of the name, else from the game folder,
// and are always written to the save area.
#pragma once

#include <cstddef>

struct IniKey {
    IniKey* next;
    char* name;
    char* value;
};

struct IniSection {
    IniSection* next;
    IniKey* firstKey;
    char* name;
};

// Where IniFile(name, log, source) reads the file.
enum class IniSource {
    SaveAreaThenGameFolder, // a name given by the game
    PathAsGiven,            // a path already mapped (the options file beside the game)
};

class IniFile {
public:
    // An object without a name or sections.
    IniFile() = default;
    // Keeps the name and reads and parses the file; with log set, the debug console prints the name and
    // the whole text. A file found nowhere gives an object without sections that keeps its name, so that
    // a flush creates the file.
    IniFile(const char* name, bool log, IniSource source = IniSource::SaveAreaThenGameFolder);
    // Frees everything; it does not flush (owners flush first).
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // Parses a copy of the text (up to its zero byte). False for a null text.
    bool OpenFromString(const char* text);

    // Sections and keys are kept in front of those read or written before them, so a file read and
    // flushed comes out with its sections, and the keys of each, in reverse order.
    IniSection* FindSection(const char* section) const;
    // Null when the section or the key is absent.
    IniKey* FindKey(const char* section, const char* key) const;
    const char* ReadString(const char* section, const char* key, const char* defaultValue) const;
    // The value as a decimal whole number (leading white space and a sign allowed, digits up to the first
    // other byte, 0 when there are none; limited to the int range), or the default when absent.
    int ReadInt(const char* section, const char* key, int defaultValue) const;
    // Sets the key's value (a null value: the empty text), making the section and key as needed. Names and
    // value are cut at their first line break. Section "SYSTEM_COMMAND" stores nothing; its key
    // "INI_FILE_FLUSH" with the value "NOW" flushes. False for a null section or key.
    bool WriteString(const char* section, const char* key, const char* value);
    bool DeleteKey(const char* section, const char* key);
    bool DeleteSection(const char* section);
    // The text of the file (a new block the caller frees with MEM_FREE): each section as "[name]", each
    // key as "name=value", every line ending in CR LF. A value is written in quotes when the reader would
    // otherwise not read it back whole (empty, a leading blank or quote, a "#" or ";"). After a change,
    // the text is also written as the file of the kept name in the save area.
    char* Flush();
    // Bytes of the flushed text, without its zero byte.
    size_t TextSize() const;

private:
    void Parse(const char* text, size_t length);
    void Free();

    char* m_fileName = nullptr;
    IniSection* m_sections = nullptr;
    bool m_changed = false;
};
