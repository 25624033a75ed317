#include "core/save_area.h"

#include "core/console.h"
#include "core/files.h"
#include "core/memory.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::string g_gamePath;
std::string g_gameFolder;
std::string g_gameName;
bool g_saveAreaKnown = false;
bool g_saveAreaNull = true;
std::string g_saveArea;
std::string g_executable;
// Held while a file is written (CSaveAreaWrite), and for good by LoadSave_HoldWrites.
std::mutex g_writing;

// Lexical normal form of an absolute path: no ".", "..", empty components or final "/" (except the root).
// ".." at the root stays at the root.
std::string Normalise(const std::string& absolute) {
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < absolute.size()) {
        size_t j = absolute.find('/', i);
        if (j == std::string::npos) j = absolute.size();
        std::string part = absolute.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += "/" + part;
    return out.empty() ? "/" : out;
}

std::string CurrentDirectory() {
    char* cwd = Support_GetCurrentDirectory();
    std::string text = cwd;
    MEM_FREE(cwd);
    return text.empty() ? "/" : Normalise(text);
}

// The absolute form of a name, taken relative to the current folder. A backslash separates folders, as it
// does in the names games are written with.
std::string FullPath(const char* name) {
    std::string text = name;
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    if (text.empty() || text[0] != '/') text = CurrentDirectory() + "/" + text;
    return Normalise(text);
}

// The path with every symbolic link resolved; the part below the deepest existing folder is kept as it is
// (a normal form holds no ".." there). False when an existing part cannot be resolved (a dangling link).
bool Canonical(const std::string& path, std::string* out) {
    std::string head = Normalise(path);
    std::string tail;
    struct stat st;
    while (lstat(head.c_str(), &st) != 0) {
        size_t slash = head.rfind('/');
        tail = head.substr(slash) + tail;
        head = slash == 0 ? "/" : head.substr(0, slash);
    }
    char* resolved = realpath(head.c_str(), nullptr);
    if (!resolved) return false;
    std::string text = resolved;
    std::free(resolved);
    *out = text == "/" ? (tail.empty() ? "/" : tail) : text + tail;
    return true;
}

// True when the path is the folder or lies below it. The folder's name must end where the path's does or
// at a "/" of the path, so that "/a/Game2" does not lie in "/a/Game".
bool InFolder(const std::string& path, const std::string& folder) {
    return !folder.empty() && path.compare(0, folder.size(), folder) == 0 &&
           (folder.back() == '/' || path.size() == folder.size() || path[folder.size()] == '/');
}

// The part of a full path after a prefix, without a leading "/".
std::string After(const std::string& full, const std::string& prefix) {
    size_t at = prefix.size();
    while (at < full.size() && full[at] == '/')
        ++at;
    return full.substr(at);
}

void CopyOut(char* out, int size, const std::string& path) {
    if (!out || size <= 0) return;
    if (path.size() >= static_cast<size_t>(size)) {
        out[0] = '\0';
        return;
    }
    std::memcpy(out, path.c_str(), path.size() + 1);
}

// The folder of per-user data: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share. Linux
// keeps no separate roaming folder, so a game that asks for one gets this one too.
std::string UserDataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return Normalise(xdg);
    const char* home = std::getenv("HOME");
    std::string folder = home && home[0] == '/' ? home : "";
    if (folder.empty()) {
        std::vector<char> buffer(16384);
        passwd entry;
        passwd* found = nullptr;
        if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir && found->pw_dir[0] == '/')
            folder = found->pw_dir;
    }
    if (folder.empty()) return "";
    return Normalise(folder + "/.local/share");
}

// The game's name as one folder name: separators become "_", and a name that would mean the folder itself
// or its parent becomes "_".
std::string FolderName(const std::string& name) {
    std::string text = name;
    for (char& c : text) {
        if (c == '/' || c == '\\') c = '_';
    }
    if (text.empty() || text == "." || text == "..") text.assign(1, '_');
    return text;
}

bool IsRegularFile(const char* path) {
    struct stat st;
    return path && *path && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

void LoadSave_SetGamePath(const char* path) {
    g_gamePath = path && *path ? FullPath(path) : "";
    g_gameFolder.clear();
    if (!g_gamePath.empty()) g_gameFolder = g_gamePath.substr(0, g_gamePath.rfind('/') + 1);
    g_saveAreaKnown = false;
}

const char* LoadSave_GetGamePath() {
    return g_gamePath.c_str();
}

void LoadSave_SetGameName(const char* name) {
    g_gameName = name ? name : "";
    g_saveAreaKnown = false;
}

const char* GetGameFileDirectory() {
    return g_gameFolder.c_str();
}

const char* GetExecutablePath() {
    if (g_executable.empty()) {
        std::vector<char> buffer(4096);
        ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        g_executable = n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : "";
    }
    return g_executable.c_str();
}

const char* GetSaveAreaDirectory() {
    if (!g_saveAreaKnown) {
        g_saveAreaKnown = true;
        std::string folder = UserDataFolder();
        g_saveAreaNull = folder.empty();
        g_saveArea = g_saveAreaNull ? "" : Normalise(folder + "/" + FolderName(g_gameName)) + "/";
    }
    return g_saveAreaNull ? nullptr : g_saveArea.c_str();
}

bool LoadSave_IsInside(const std::string& path, const std::string& folder) {
    std::string p, f;
    return Canonical(path, &p) && Canonical(folder, &f) && InFolder(p, f);
}

std::string LoadSave_BundlePath(const char* name) {
    if (!name) return "";
    std::string full = FullPath(name);
    std::string folder = GetGameFileDirectory();
    std::string cwd = CurrentDirectory();
    std::string out;
    if (!folder.empty() && InFolder(full, cwd)) {
        out = folder + After(full, cwd);
    } else if (InFolder(full, folder)) {
        out = folder + After(full, folder);
    } else {
        return Support_IsChosenFile(CHOSEN_OPENED, full.c_str()) ? full : "";
    }
    return LoadSave_IsInside(out, folder) ? out : "";
}

std::string LoadSave_SavePath(const char* name) {
    if (!name) return "";
    std::string full = FullPath(name);
    bool chosen = Support_IsChosenFile(CHOSEN_SAVED, full.c_str());
    const char* area = GetSaveAreaDirectory();
    std::string cwd = CurrentDirectory();
    std::string folder = GetGameFileDirectory();
    std::string prefix;
    if (InFolder(full, cwd))
        prefix = cwd;
    else if (InFolder(full, folder))
        prefix = folder;
    else if (area && InFolder(full, area))
        prefix = area;
    else if (chosen)
        return full;
    else {
        DebugConsole->Output("Error! not allowing save with filename '%s'\n", full.c_str());
        return "";
    }
    // Without a save area the mapped name stays relative, below the current folder.
    std::string out = (area ? area : "") + After(full, prefix);
    if (!LoadSave_IsInside(area ? out : cwd + "/" + out, area ? area : cwd)) {
        DebugConsole->Output("Error! not allowing save with filename '%s'\n", full.c_str());
        return "";
    }
    if (chosen) DebugConsole->Output("Warning! Save location - redirected to: '%s'\n", out.c_str());
    return out;
}

void LoadSave_GetBundlePath(char* out, int size, const char* name) {
    CopyOut(out, size, LoadSave_BundlePath(name));
}

void LoadSave_GetSavePath(char* out, int size, const char* name) {
    CopyOut(out, size, LoadSave_SavePath(name));
}

uint8_t* LoadSave_ReadFile(const char* path, int* size) {
    if (!path || !*path) return nullptr;
    // Non-blocking, so that a named pipe cannot stall the open; only plain files are read.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    // The block holds the data and a zero byte after it, and must fit one block of the memory manager.
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<uint64_t>(st.st_size) >= MemoryManager::kMaxBlockSize) {
        close(fd);
        return nullptr;
    }
    size_t length = static_cast<size_t>(st.st_size);
    uint8_t* block = static_cast<uint8_t*>(MEM_ALLOC(length + 1));
    size_t done = 0;
    while (done < length) {
        ssize_t n = read(fd, block + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    if (done != length) {
        MEM_FREE(block);
        return nullptr;
    }
    if (size) *size = static_cast<int>(length);
    return block;
}

uint8_t* LoadSave_ReadBundleFile(const char* name, int* size) {
    return LoadSave_ReadFile(LoadSave_BundlePath(name).c_str(), size);
}

uint8_t* LoadSave_ReadSaveFile(const char* name, int* size) {
    return LoadSave_ReadFile(LoadSave_SavePath(name).c_str(), size);
}

bool LoadSave_BundleFileExists(const char* name) {
    return IsRegularFile(LoadSave_BundlePath(name).c_str());
}

bool LoadSave_SaveFileExists(const char* name) {
    return IsRegularFile(LoadSave_SavePath(name).c_str());
}

void LoadSave_WriteFailed(const char* path, int error) {
    DebugConsole->Output("Could not write \"%s\": %s\n", path ? path : "",
                         error ? std::strerror(error) : "there is no save area");
}

CSaveAreaWrite::CSaveAreaWrite() { g_writing.lock(); }
CSaveAreaWrite::~CSaveAreaWrite() { g_writing.unlock(); }

void LoadSave_HoldWrites() { g_writing.lock(); }

bool _WriteFile(const char* path, const void* data, int size) {
    CSaveAreaWrite writing;
    FILE* f = path && *path ? std::fopen(path, "wb") : nullptr;
    if (!f) {
        LoadSave_WriteFailed(path, path && *path ? errno : 0);
        return false;
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t left = size > 0 && data ? static_cast<size_t>(size) : 0;
    while (left > 0) {
        size_t n = std::fwrite(bytes, 1, left, f);
        if (n == 0) break;
        bytes += n;
        left -= n;
    }
    const int writeError = left == 0 ? 0 : errno;
    const bool closed = std::fclose(f) == 0;
    if (left != 0 || !closed) LoadSave_WriteFailed(path, writeError ? writeError : errno);
    return left == 0 && closed;
}

bool LoadSave_WriteFile(const char* name, const void* data, int size) {
    std::string path = LoadSave_SavePath(name);
    if (path.empty()) {
        LoadSave_WriteFailed(name, 0);
        return false;
    }
    File_CreatePathDirectories(path.c_str());
    return _WriteFile(path.c_str(), data, size);
}

// ---- The in-memory file ----

namespace {

LoadSaveFile* MakeReader(uint8_t* data, int size, const char* mode) {
    if (!data) return nullptr;
    LoadSaveFile* file = new LoadSaveFile{data, size, 0};
    if (mode && std::strchr(mode, 't') && size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF)
        file->position = 3;
    return file;
}

bool Inside(const LoadSaveFile* file) {
    return file->position >= 0 && file->position < file->size;
}

bool IsCSpace(uint8_t c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

} // namespace

LoadSaveFile* LoadSave_fopen(const char* name, const char* mode) {
    int size = 0;
    uint8_t* data = LoadSave_ReadBundleFile(name, &size);
    if (!data) data = LoadSave_ReadSaveFile(name, &size);
    return MakeReader(data, size, mode);
}

LoadSaveFile* LoadSave_fopenPath(const char* path, const char* mode) {
    int size = 0;
    uint8_t* data = LoadSave_ReadFile(path, &size);
    return MakeReader(data, size, mode);
}

void LoadSave_fclose(LoadSaveFile* file) {
    if (!file) return;
    MEM_FREE(file->data);
    delete file;
}

int32_t LoadSave_ftell(LoadSaveFile* file) {
    return file ? file->position : 0;
}

void LoadSave_fseek(LoadSaveFile* file, int32_t offset, int origin) {
    if (!file) return;
    // Positions wrap as 32-bit numbers do; whatever results is only ever compared with the data's bounds.
    uint32_t base;
    switch (origin) {
    case 0:
        file->position = offset;
        return;
    case 1:
        base = static_cast<uint32_t>(file->position);
        break;
    case 2:
        file->position =
            static_cast<int32_t>(static_cast<uint32_t>(file->size) - static_cast<uint32_t>(offset));
        return;
    default:
        return;
    }
    file->position = static_cast<int32_t>(base + static_cast<uint32_t>(offset));
}

bool LoadSave_feof(LoadSaveFile* file) {
    return !file || !Inside(file);
}

bool LoadSave_feoln(LoadSaveFile* file) {
    if (LoadSave_feof(file)) return true;
    uint8_t c = file->data[file->position];
    return c == 13 || c == 10;
}

int LoadSave_fgetc(LoadSaveFile* file) {
    if (!file) return -1;
    int c = Inside(file) ? static_cast<int8_t>(file->data[file->position]) : -1;
    file->position = static_cast<int32_t>(static_cast<uint32_t>(file->position) + 1u);
    return c;
}

void LoadSave_freadreal(LoadSaveFile* file, double* out) {
    double value = 0.0;
    if (file && Inside(file)) {
        while (file->position < file->size && IsCSpace(file->data[file->position]))
            ++file->position;
        // The zero byte after the data stops the conversion at the end of the file.
        const char* start = reinterpret_cast<const char*>(file->data + file->position);
        char* end = nullptr;
        value = strtod_l(start, &end, CLocale());
        file->position += static_cast<int32_t>(end - start);
    }
    if (out) *out = value;
}

int LoadSave_fread(void* buffer, int size, int count, LoadSaveFile* file) {
    if (!file || !buffer || size <= 0 || count <= 0 || !Inside(file)) return 0;
    int64_t n = static_cast<int64_t>(size) * count;
    int64_t left = static_cast<int64_t>(file->size) - file->position;
    if (n > left) n = left;
    std::memcpy(buffer, file->data + file->position, static_cast<size_t>(n));
    file->position += static_cast<int32_t>(n);
    return static_cast<int>(n);
}

void LoadSave_Reset() {
    g_gamePath.clear();
    g_gameFolder.clear();
    g_gameName.clear();
    g_saveAreaKnown = false;
    g_saveArea.clear();
    Support_ClearChosenFiles();
}
