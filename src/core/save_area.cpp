#include "core/save_area.h"

#include "core/console.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/test_hooks.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
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
// Held while a file is written (CSaveAreaWrite), and for good by LoadSave_HoldWrites, which sets
// g_writesHeld first.
std::timed_mutex g_writing;
std::atomic<bool> g_writesHeld{false};

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

bool LoadSave_HoldWrites(int waitMilliseconds) {
    g_writesHeld.store(true);
    return g_writing.try_lock_for(std::chrono::milliseconds(waitMilliseconds > 0 ? waitMilliseconds : 0));
}

namespace {

// Held by a whole-file write from its start to its end. Once writes are held (LoadSave_HoldWrites), a
// write that has not started yet never starts: its thread waits for the process to end.
class CSaveAreaWrite {
public:
    CSaveAreaWrite() {
        if (g_writesHeld.load()) Process_AwaitEnd();
        g_writing.lock();
    }
    ~CSaveAreaWrite() { g_writing.unlock(); }
    CSaveAreaWrite(const CSaveAreaWrite&) = delete;
    CSaveAreaWrite& operator=(const CSaveAreaWrite&) = delete;
};

// A temporary file of a whole-file write is named "." + the file's name (at most its first
// kTemporaryNameBytes bytes) + "~" + the writing process's id + "-" + a count + kTemporaryEnd, in the
// file's own folder.
constexpr size_t kTemporaryNameBytes = 100;
constexpr char kTemporaryEnd[] = ".writing";
std::atomic<unsigned> g_temporaryCount{0};

std::string TemporaryName(const std::string& name) {
    std::string temporary(1, '.');
    temporary.append(name, 0, kTemporaryNameBytes).append(1, '~').append(std::to_string(getpid()));
    temporary.append(1, '-').append(std::to_string(g_temporaryCount.fetch_add(1))).append(kTemporaryEnd);
    return temporary;
}

// The id of the process whose temporary file the name is, or 0 when it is no such name.
pid_t TemporaryOwner(const char* name) {
    const size_t length = std::strlen(name);
    const size_t endLength = sizeof kTemporaryEnd - 1;
    if (length < endLength + 5 || name[0] != '.' || std::strcmp(name + length - endLength, kTemporaryEnd) != 0)
        return 0;
    // Back from the end: the count's digits, "-", the id's digits, "~".
    size_t at = length - endLength;
    const auto digitsBefore = [&](size_t end) {
        size_t start = end;
        while (start > 1 && name[start - 1] >= '0' && name[start - 1] <= '9')
            --start;
        return start;
    };
    size_t start = digitsBefore(at);
    if (start == at || name[start - 1] != '-') return 0;
    at = start - 1;
    start = digitsBefore(at);
    if (start == at || at - start > 9 || name[start - 1] != '~') return 0;
    return static_cast<pid_t>(std::strtol(std::string(name + start, at - start).c_str(), nullptr, 10));
}

bool ProcessRuns(pid_t pid) {
    return pid != getpid() && (kill(pid, 0) == 0 || errno == EPERM);
}

void RemoveLeftovers(const std::string& folder, int depth) {
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        const std::string path = folder + "/" + entry->d_name;
        unsigned char type = entry->d_type;
        struct stat st;
        if (type == DT_UNKNOWN && lstat(path.c_str(), &st) == 0)
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        if (type == DT_DIR && depth > 0) {
            RemoveLeftovers(path, depth - 1);
        } else if (type == DT_REG) {
            const pid_t owner = TemporaryOwner(entry->d_name);
            if (owner > 0 && !ProcessRuns(owner)) unlink(path.c_str());
        }
    }
    closedir(dir);
}

// Writes the bytes to the file; 0 when all were written, else the errno value. A write stopped by a
// sink that takes nothing now (a pipe no one reads, opened without waiting) fails with EAGAIN.
int WriteBytes(int fd, const char* path, const uint8_t* bytes, size_t size) {
    size_t done = 0;
    const auto writeUpTo = [&](size_t end) {
        while (done < end) {
            const ssize_t n = write(fd, bytes + done, end - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 ? errno : EIO;
            done += static_cast<size_t>(n);
        }
        return 0;
    };
    if (const int pause = TestHook_WritePause(path)) {
        if (const int error = writeUpTo(size / 2)) return error;
        ReleaseConsole->Output("Test hook: \"%s\" is half written\n", path);
        TestHook_Sleep(pause);
    }
    return writeUpTo(size);
}

// Writes over the file itself, as a plain open for writing does: for what cannot be replaced by a new
// file (a named pipe, a device, a link that leads nowhere yet, a file in a folder that takes no new
// files). Never waits for a reader.
int WriteInPlace(const char* path, const uint8_t* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    int error = WriteBytes(fd, path, bytes, size);
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

// Writes the whole file through a temporary file (see _WriteFile); 0 or the errno value of the failure.
int WriteWhole(const char* path, const uint8_t* bytes, size_t size) {
    std::string target = path;
    struct stat st;
    bool exists = lstat(path, &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        char* resolved = realpath(path, nullptr);
        if (!resolved) return WriteInPlace(path, bytes, size);
        target = resolved;
        std::free(resolved);
        exists = stat(target.c_str(), &st) == 0;
    }
    if (exists && S_ISDIR(st.st_mode)) return EISDIR;
    if (exists && !S_ISREG(st.st_mode)) return WriteInPlace(target.c_str(), bytes, size);
    // A file its owner may not write stays as it is, as it would for a write over it.
    if (exists && access(target.c_str(), W_OK) != 0) return errno;

    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = folder + TemporaryName(name);
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        const int error = errno;
        // A folder that takes no new files may still hold a file that can be written over.
        if (exists && (error == EACCES || error == EPERM)) return WriteInPlace(target.c_str(), bytes, size);
        return error;
    }
    if (exists) {
        fchmod(fd, st.st_mode & 07777);
        if (st.st_uid != geteuid() || st.st_gid != getegid()) {
            // Kept where the process may give the file away (as root); otherwise the new file is its own.
            [[maybe_unused]] const int kept = fchown(fd, st.st_uid, st.st_gid);
        }
    }
    // No fsync: the file is complete before the rename makes it the file, which is what a process ended
    // at any moment needs; the file systems that delay writes (ext4, btrfs) also write a file's data
    // before a rename over an older file, and a sync would cost every ini_close milliseconds.
    int error = WriteBytes(fd, target.c_str(), bytes, size);
    if (close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    return error;
}

} // namespace

bool _WriteFile(const char* path, const void* data, int size) {
    if (!path || !*path) {
        LoadSave_WriteFailed(path, 0);
        return false;
    }
    int error;
    {
        // The report below goes out after the write lock is released: a console that blocks (standard
        // output to a pipe no one reads) then holds up no one waiting for the write.
        CSaveAreaWrite writing;
        error = WriteWhole(path, static_cast<const uint8_t*>(data), size > 0 && data ? static_cast<size_t>(size) : 0);
    }
    if (error != 0) LoadSave_WriteFailed(path, error);
    return error == 0;
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

void LoadSave_RemoveLeftoverWrites() {
    // Folders of the save area are followed 32 deep, never through symbolic links.
    const char* area = GetSaveAreaDirectory();
    if (!area) return;
    std::string folder = area;
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    RemoveLeftovers(folder, 32);
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
