#include "core/files.h"

#include "core/console.h"
#include "core/memory.h"
#include "core/text.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

char* NewString(const std::string& text) {
    return String_Duplicate(text.c_str());
}

// Index of the last backslash, else of the last slash; npos when there is neither.
size_t LastSeparator(const std::string& path) {
    size_t at = path.rfind('\\');
    return at != std::string::npos ? at : path.rfind('/');
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace

bool Support_FileExists(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return false;
    return !S_ISDIR(st.st_mode) && !S_ISCHR(st.st_mode) && !S_ISBLK(st.st_mode);
}

bool Support_DirectoryExists(const char* path) {
    struct stat st;
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int File_Attributes(const char* path) {
    struct stat st;
    if (!path || stat(path, &st) != 0) return 0;
    int bits = 0;
    if (!(st.st_mode & S_IWUSR)) bits |= FILE_ATTR_READONLY;
    std::string name(path);
    while (name.size() > 1 && IsSeparator(name.back()))
        name.pop_back();
    size_t sep = LastSeparator(name);
    std::string base = sep == std::string::npos ? name : name.substr(sep + 1);
    if (base.size() > 1 && base[0] == '.' && base != "..") bits |= FILE_ATTR_HIDDEN;
    if (S_ISDIR(st.st_mode))
        bits |= FILE_ATTR_DIRECTORY;
    else if (S_ISREG(st.st_mode))
        bits |= FILE_ATTR_ARCHIVE;
    return bits & 0x37;
}

char* Support_GetCurrentDirectory() {
    std::vector<char> buffer(4096);
    while (!getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE) return NewString("");
        buffer.resize(buffer.size() * 2);
    }
    return NewString(buffer.data());
}

char* Support_ExtractFileDir(const char* path) {
    std::string p = path ? path : "";
    size_t sep = LastSeparator(p);
    if (sep == std::string::npos || sep == 0) return NewString("");
    return NewString(p.substr(0, sep));
}

char* Support_ExtractFileName(const char* path) {
    std::string p = path ? path : "";
    size_t sep = LastSeparator(p);
    return NewString(sep == std::string::npos ? p : p.substr(sep + 1));
}

char* Support_ExtractFileDrive(const char* path) {
    // A path that begins with a letter or any other character and ":" names that drive ("C:"), as the
    // standard split of a path sees it; a Linux path begins with no drive.
    if (!path || !path[0] || path[1] != ':') return NewString("");
    return NewString(std::string(path, 2));
}

char* Support_ExtractFileExt(const char* path) {
    std::string p = path ? path : "";
    size_t sep = p.find_last_of("/\\");
    size_t dot = p.rfind('.');
    if (dot == std::string::npos || (sep != std::string::npos && dot < sep)) return NewString("");
    return NewString(p.substr(dot));
}

void Support_StripTrailingBackslash(char* path) {
    if (!path) return;
    size_t n = std::strlen(path);
    if (n >= 2 && IsSeparator(path[n - 1])) path[n - 1] = '\0';
}

bool Support_CreateDirectories(const char* path) {
    if (!path || !*path) return false;
    std::string p = path;
    if (p.size() >= 2 && IsSeparator(p.back())) p.pop_back();
    if (p == "/" || Support_DirectoryExists(p.c_str())) return true;
    char* parent = Support_ExtractFileDir(p.c_str());
    if (*parent) Support_CreateDirectories(parent);
    MEM_FREE(parent);
    mkdir(p.c_str(), 0777);
    return Support_DirectoryExists(p.c_str());
}

bool File_CreatePathDirectories(const char* path) {
    if (!path) return false;
    char* dir = Support_ExtractFileDir(path);
    bool ok = !*dir || Support_CreateDirectories(dir);
    MEM_FREE(dir);
    return ok;
}

namespace {

// Empties the folder open as dirFd (which this call closes), entry by entry, without following links.
bool DeleteTreeAt(int dirFd) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    bool ok = true;
    while (ok) {
        errno = 0;
        dirent* entry = readdir(dir);
        if (!entry) {
            ok = errno == 0;
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
        } else if (S_ISDIR(st.st_mode)) {
            int child = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ok = child >= 0 && DeleteTreeAt(child) && unlinkat(dirfd(dir), name, AT_REMOVEDIR) == 0;
        } else {
            ok = unlinkat(dirfd(dir), name, 0) == 0;
        }
    }
    closedir(dir);
    return ok;
}

} // namespace

bool Support_DeleteDirectory(const char* path) {
    if (!path || !*path) return false;
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    return DeleteTreeAt(fd) && rmdir(path) == 0;
}

// ---- The per-run temporary folder ----

namespace {
std::string g_tempDirectory;
} // namespace

bool Support_InitTempDirectory() {
    if (!g_tempDirectory.empty()) return true;
    const char* base = std::getenv("TMPDIR");
    if (!base || !*base) base = "/tmp";
    std::string dir = base;
    if (dir.size() >= 2 && dir.back() == '/') dir.pop_back();
    std::random_device device;
    std::uniform_int_distribution<int> pick(0, 100000);
    // Other runs (or anyone else) may hold names already: each "exists" draws a new number. A bounded
    // number of tries keeps a folder filled with such names from stalling the start-up.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::string name = dir + "/qn_ttt_" + std::to_string(pick(device));
        if (mkdir(name.c_str(), 0700) == 0) {
            g_tempDirectory = name;
            return true;
        }
        if (errno != EEXIST) break;
    }
    DebugConsole->Output("Unable to create the temporary folder in %s\n", dir.c_str());
    return false;
}

char* Support_GetTempDirectory() {
    return g_tempDirectory.empty() ? nullptr : NewString(g_tempDirectory);
}

void Support_DeleteTempDirectory() {
    if (g_tempDirectory.empty()) return;
    Support_DeleteDirectory(g_tempDirectory.c_str());
    g_tempDirectory.clear();
}
