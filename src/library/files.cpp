#include "library/files.h"

#include <cstring>
#include <string>
#include <vector>

namespace {
std::vector<std::string> g_foundNames;
} // namespace

// The file built-ins that open files are not written yet, so none is open.
void File_CloseAll() {}

void FileFind_AddName(const char* name) {
    if (name == nullptr || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
    for (const std::string& listed : g_foundNames) {
        if (listed == name) return;
    }
    g_foundNames.emplace_back(name);
}
