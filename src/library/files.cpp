#include "library/files.h"

#include "core/console.h"
#include "core/files.h"
#include "core/save_area.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// The names of the current walk in the order found, a set beside them so that a mask matching many
// thousands stays quick, and the walk's position.
std::vector<std::string> g_foundNames;
std::unordered_set<std::string> g_listed;
size_t g_next = 0;

constexpr size_t kMaskSize = 1024;

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Past one UTF-8 character (a stray continuation byte counts as one).
const char* NextCharacter(const char* p) {
    ++p;
    while ((static_cast<unsigned char>(*p) & 0xC0) == 0x80)
        ++p;
    return p;
}

// The folder that the mask's folder part names in one of the two places, "" when it is refused there.
std::string SearchFolder(const std::string& folderPart, bool saveArea) {
    const char* name = folderPart.empty() ? "." : folderPart.c_str();
    std::string folder = saveArea ? LoadSave_SaveReadPath(name) : LoadSave_BundlePath(name);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void AddMatches(const std::string& folder, const std::string& pattern, int attributes) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    std::vector<std::string> names;
    while (dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!FileFind_Matches(pattern.c_str(), name)) continue;
        if (FileFind_Passes(File_Attributes((folder + name).c_str()), attributes)) names.emplace_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        FileFind_AddName(name.c_str());
}

} // namespace

// The file built-ins that open files are not written yet, so none is open.
void File_CloseAll() {}

void FileFind_AddName(const char* name) {
    if (name == nullptr || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return;
    if (g_listed.insert(name).second) g_foundNames.emplace_back(name);
}

bool FileFind_Matches(const char* pattern, const char* name) {
    const char* p = pattern;
    const char* n = name;
    const char* starPattern = nullptr;
    const char* starName = nullptr;
    while (*n) {
        if (*p == '*') {
            starPattern = ++p;
            starName = n;
        } else if (*p == '?') {
            ++p;
            n = NextCharacter(n);
        } else if (*p && Fold(*p) == Fold(*n)) {
            ++p;
            ++n;
        } else if (starPattern) {
            // The last star takes one more character and the rest is tried again.
            p = starPattern;
            n = starName = NextCharacter(starName);
        } else {
            return false;
        }
    }
    while (*p == '*')
        ++p;
    if (p[0] == '.' && p[1] == '*') {
        p += 2;
        while (*p == '*')
            ++p;
    }
    return *p == '\0';
}

bool FileFind_Passes(int found, int requested) {
    const int onlyWhenAsked = FILE_ATTR_HIDDEN | 0x04 | FILE_ATTR_DIRECTORY;
    return (found & 0x37 & onlyWhenAsked & ~requested) == 0;
}

void FileFind_ConvertName(const char* mask, int attributes) {
    if (!mask || !*mask) return;
    if (std::strlen(mask) > kMaskSize) {
        DebugConsole->Output("file_find_first: the mask is longer than %d bytes\n",
                             static_cast<int>(kMaskSize));
        return;
    }
    std::string text = mask;
    std::replace(text.begin(), text.end(), '\\', '/');
    const size_t slash = text.rfind('/');
    const std::string folderPart = slash == std::string::npos ? "" : text.substr(0, slash + 1);
    const std::string pattern = slash == std::string::npos ? text : text.substr(slash + 1);
    if (pattern.empty()) return;
    const std::string save = SearchFolder(folderPart, true);
    const std::string game = SearchFolder(folderPart, false);
    if (!save.empty()) AddMatches(save, pattern, attributes);
    if (!game.empty() && game != save) AddMatches(game, pattern, attributes);
}

void FileFind_Clear() {
    g_foundNames.clear();
    g_listed.clear();
    g_next = 0;
}

const char* FileFind_Next() {
    return g_next < g_foundNames.size() ? g_foundNames[g_next++].c_str() : nullptr;
}
