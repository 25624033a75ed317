// Ini files: the runner's options file and the ini_* built-ins.
#pragma once

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

class IniFile {
public:
    IniFile() = default;
    // Reads the file of that name from the save area when it is there, else from the game folder; with
    // log set, the debug console prints the name and the whole text. A file found nowhere gives an object
    // without sections that keeps its name.
    IniFile(const char* name, bool log);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    // The key record of section and key; null when either is absent.
    IniKey* FindKey(const char* section, const char* key) const;

private:
    char* m_fileName = nullptr;
};
