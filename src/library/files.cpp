#include "library/files.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {
std::vector<std::string> g_foundNames;
} // namespace

void File_CreatePathDirectories(const char* path) {
    if (path == nullptr) return;
    const char* cut = std::strrchr(path, '\\');
    if (cut == nullptr) cut = std::strrchr(path, '/');
    if (cut == nullptr || cut == path) return;
    std::error_code error;
    std::filesystem::create_directories(std::string(path, cut), error);
}

// The file built-ins that open files are not written yet, so none is open.
void File_CloseAll() {}

void FileFind_AddName(const char* name) {
    if (name == nullptr || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
    for (const std::string& listed : g_foundNames) {
        if (listed == name) return;
    }
    g_foundNames.emplace_back(name);
}
