#include "library/ini_file.h"

#include "core/memory.h"
#include "core/text.h"

// Reading and parsing the file is not built yet: every file reads as found nowhere, an object without
// sections that keeps its name, so no key is found.
IniFile::IniFile(const char* name, bool /*log*/) : m_fileName(String_Duplicate(name)) {}

IniFile::~IniFile() {
    MEM_FREE(m_fileName);
}

IniKey* IniFile::FindKey(const char* /*section*/, const char* /*key*/) const {
    return nullptr;
}
