#include "core/save_area.h"

#include "core/console.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/process_exit.h"
#include "core/test_hooks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <mutex>
#include <pwd.h>
#include <strings.h>
#include <sys/random.h>
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

// The absolute form of a name, a relative one taken from the folder base (a normal form). A backslash
// separates folders, as it does in the names games are written with.
std::string FullPath(const char* name, const std::string& base) {
    std::string text = name;
    for (char& c : text) {
        if (c == '\\') c = '/';
    }
    if (text.empty() || text[0] != '/') text = base + "/" + text;
    return Normalise(text);
}

// The absolute form of a name given on the command line or by a file dialog: relative to the current folder.
std::string FullPath(const char* name) {
    return FullPath(name, CurrentDirectory());
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

// The length of a folder's name without its final "/" (but the root's).
size_t FolderLength(const std::string& folder) {
    return folder.size() > 1 && folder.back() == '/' ? folder.size() - 1 : folder.size();
}

// The folder's name with its final "/".
std::string Slashed(const std::string& folder) {
    return folder.empty() || folder.back() != '/' ? folder + "/" : folder;
}

// True when the path is the folder or lies below it, the folder written with its final "/" or without it
// (a normal form has none). The folder's name must end where the path's does or at a "/" of the path, so
// that "/a/Game2" does not lie in "/a/Game".
bool InFolder(const std::string& path, const std::string& folder) {
    if (folder.empty()) return false;
    const size_t n = FolderLength(folder);
    return path.compare(0, n, folder, 0, n) == 0 && (folder == "/" || path.size() == n || path[n] == '/');
}

// The part of a full path after a prefix (its folder, InFolder), without a leading "/".
std::string After(const std::string& full, const std::string& prefix) {
    size_t at = std::min(prefix.size(), full.size());
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

// ---- Chosen files ----

namespace {

struct ChosenFile {
    std::string path;     // the normal form of the name picked
    std::string resolved; // the file it led to when picked, its links resolved; "" when it led nowhere
};
std::vector<ChosenFile> g_chosen[2];
// The names whose read was refused and said so, each said once (a game may test a name every step).
std::vector<std::string> g_readRefusalsSaid;

std::vector<ChosenFile>& ChosenList(ChosenFileList list) {
    return g_chosen[list == CHOSEN_SAVED ? 1 : 0];
}

// Whether the full path (a normal form) is a pick of the list (Support_IsChosenFile). When it is not,
// but it comes near one in a way that is refused, why names the reason.
bool IsChosen(ChosenFileList list, const std::string& full, std::string* why) {
    for (const ChosenFile& chosen : ChosenList(list)) {
        if (chosen.path == full) {
            std::string now;
            const bool reached = Canonical(full, &now);
            if (reached && !chosen.resolved.empty() && now == chosen.resolved) return true;
            if (!why) continue;
            if (chosen.resolved.empty())
                *why = "the name chosen led to no file that can be reached";
            else if (!reached)
                *why = "the name now leads to no file that can be reached, not to the file chosen";
            else
                *why = "the name now leads to '" + now + "', not to the file chosen ('" + chosen.resolved + "')";
        } else if (why && strcasecmp(chosen.path.c_str(), full.c_str()) == 0) {
            *why = "the name differs in case from the file chosen ('" + chosen.path + "')";
        }
    }
    return false;
}

// Whether a name starts at the root, as the names the file dialogs give do. A name from the root that is
// a pick is that file wherever the runner was started; a relative one is the game's own, and is mapped.
bool FromRoot(const char* name) {
    return name[0] == '/' || name[0] == '\\';
}

// Says why a read of the full path was refused, once a path; nothing when there is no reason to give.
void SayReadRefused(const std::string& full, const std::string& why) {
    if (why.empty() ||
        std::find(g_readRefusalsSaid.begin(), g_readRefusalsSaid.end(), full) != g_readRefusalsSaid.end())
        return;
    g_readRefusalsSaid.push_back(full);
    DebugConsole->Output("Error! not allowing read of filename '%s': %s\n", full.c_str(), why.c_str());
}

} // namespace

void Support_AddChosenFile(ChosenFileList list, const char* path) {
    if (!path || !*path) return;
    ChosenFile chosen{FullPath(path), ""};
    if (!Canonical(chosen.path, &chosen.resolved)) chosen.resolved.clear();
    ChosenList(list).push_back(chosen);
}

bool Support_IsChosenFile(ChosenFileList list, const char* path) {
    return path && *path && IsChosen(list, FullPath(path), nullptr);
}

void Support_ClearChosenFiles() {
    g_chosen[0].clear();
    g_chosen[1].clear();
    g_readRefusalsSaid.clear();
}

namespace {

// The folder a game's names are taken from: the game folder, so that a name means the same file whatever
// folder the runner was started in (its parent, "/", one inside the game folder); the current folder while
// no game is known. A normal form.
std::string NameBase() {
    return g_gameFolder.empty() ? CurrentDirectory() : Normalise(g_gameFolder);
}

} // namespace

std::string LoadSave_BundlePath(const char* name) {
    if (!name) return "";
    std::string full = FullPath(name, NameBase());
    if (FromRoot(name) && IsChosen(CHOSEN_OPENED, full, nullptr)) return full;
    std::string folder = GetGameFileDirectory();
    if (folder.empty() || !InFolder(full, folder)) {
        std::string why;
        if (IsChosen(CHOSEN_OPENED, full, &why)) return full;
        SayReadRefused(full, why);
        return "";
    }
    std::string out = folder + After(full, folder);
    return LoadSave_IsInside(out, folder) ? out : "";
}

namespace {

// The save path of a name, or "" when it is refused; a refusal is said on the debug console when
// sayRefusal is set, and the path is one to read when it is not: a pick of the open dialog then counts.
std::string SavePath(const char* name, bool sayRefusal) {
    if (!name) return "";
    std::string full = FullPath(name, NameBase());
    std::string why;
    bool chosen = IsChosen(CHOSEN_SAVED, full, &why);
    if (FromRoot(name) && (chosen || (!sayRefusal && IsChosen(CHOSEN_OPENED, full, nullptr)))) return full;
    const char* area = GetSaveAreaDirectory();
    // Without a save area, names are kept where relative ones are taken from.
    const std::string root = area ? std::string(area) : Slashed(NameBase());
    // The deepest place that holds the path is the one it names: the save area may lie inside the game
    // folder (a game in the home folder), or the game folder inside the save area.
    std::string prefix;
    for (const std::string& place : {NameBase(), root}) {
        if (InFolder(full, place) && (prefix.empty() || FolderLength(place) > FolderLength(prefix)))
            prefix = place;
    }
    if (prefix.empty() && chosen) return full;
    const auto refused = [&] {
        if (!sayRefusal)
            SayReadRefused(full, why);
        else if (why.empty())
            DebugConsole->Output("Error! not allowing save with filename '%s'\n", full.c_str());
        else
            DebugConsole->Output("Error! not allowing save with filename '%s': %s\n", full.c_str(), why.c_str());
        return std::string();
    };
    if (prefix.empty()) return refused();
    const std::string out = root + After(full, prefix);
    if (!LoadSave_IsInside(out, root)) return refused();
    if (chosen && sayRefusal)
        DebugConsole->Output("Warning! Save location - redirected to: '%s'\n", out.c_str());
    return out;
}

} // namespace

std::string LoadSave_SavePath(const char* name) {
    return SavePath(name, true);
}

std::string LoadSave_SaveReadPath(const char* name) {
    return SavePath(name, false);
}

std::string LoadSave_ReadPath(const char* name) {
    std::string path = SavePath(name, false);
    if (IsRegularFile(path.c_str())) return path;
    path = LoadSave_BundlePath(name);
    return IsRegularFile(path.c_str()) ? path : "";
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
    return LoadSave_ReadFile(SavePath(name, false).c_str(), size);
}

bool LoadSave_BundleFileExists(const char* name) {
    return IsRegularFile(LoadSave_BundlePath(name).c_str());
}

bool LoadSave_SaveFileExists(const char* name) {
    return IsRegularFile(SavePath(name, false).c_str());
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

// Says on the console that the file at path could not be written and why (an errno value). When the
// error came from making the temporary file, it is the folder's answer, not the file's.
void SayWriteFailed(const char* path, int error, bool byTheFolder = false) {
    if (byTheFolder)
        DebugConsole->Output(
            "Could not write \"%s\": its folder takes no new files (%s), and the file is only "
            "ever replaced whole\n",
            path, std::strerror(error));
    else
        DebugConsole->Output("Could not write \"%s\": %s\n", path ? path : "", std::strerror(error));
}

// A temporary file of a whole-file write is named "." + the file's name (at most its first
// kTemporaryNameBytes bytes) + "\" + the writing process's mark (kMarkDigits lower-case hexadecimal
// digits, drawn at random by each process, a forked copy too) + "-" + a count + kTemporaryEnd, in the
// file's own folder. No name a game writes holds a backslash (the mapping makes it a "/"), so a file of
// this form is a temporary file of the runner's; and as the mark tells processes apart in any PID
// namespace or on any machine, a name is never made twice. A file system that takes no backslash in a
// name (FAT) gets a "~" in its place: such a name a game can write too, so nothing removes it later.
constexpr size_t kTemporaryNameBytes = 100;
constexpr size_t kMarkDigits = 16;
constexpr char kTemporaryEnd[] = ".writing";

// Called with g_writing held, as are the writes.
std::string TemporaryName(const std::string& name, char separator) {
    static pid_t owner = 0;
    static uint64_t mark = 0;
    static uint64_t count = 0;
    if (owner != getpid()) {
        owner = getpid();
        count = 0;
        if (getrandom(&mark, sizeof mark, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof mark))
            mark = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                   (static_cast<uint64_t>(owner) << 40);
    }
    char digits[kMarkDigits + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(mark));
    std::string temporary(1, '.');
    temporary.append(name, 0, kTemporaryNameBytes).append(1, separator).append(digits).append(1, '-');
    temporary.append(std::to_string(count++)).append(kTemporaryEnd);
    return temporary;
}

// True for a name of the temporary files' form (TemporaryName).
bool IsTemporaryName(const char* name) {
    const size_t length = std::strlen(name);
    const size_t endLength = sizeof kTemporaryEnd - 1;
    if (length < endLength || name[0] != '.' || std::strcmp(name + length - endLength, kTemporaryEnd) != 0)
        return false;
    // Back from the end: the count's digits, "-", the mark's digits, "\", and a name of one byte at least.
    size_t at = length - endLength;
    const size_t countEnd = at;
    while (at > 0 && name[at - 1] >= '0' && name[at - 1] <= '9')
        --at;
    if (at == countEnd || countEnd - at > 20 || at < kMarkDigits + 4 || name[at - 1] != '-') return false;
    at -= 1 + kMarkDigits;
    for (size_t i = at; i < at + kMarkDigits; ++i) {
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'f'))) return false;
    }
    return name[at - 1] == '\\';
}

// Takes the lock of the whole file for the open file description of fd, without waiting; 0 or the
// errno value (EAGAIN or EACCES: another description holds it). The lock belongs to the description,
// not to the process, so it keeps out other opens in this process as in any other, and it works across
// PID namespaces and, on NFS, across machines. It goes when the last descriptor of the description is
// closed, so also when the process ends in any way.
int LockWhole(int fd) {
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 0 : errno;
}

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The temporary files' lock protocol. A write makes its temporary file (O_EXCL) and holds the file's
// lock from then until it has renamed it or removed it. The cleanup removes a temporary file only while
// holding its lock, and only while its name still leads to the file it locked. A cleanup can take a
// new file in the moment between its making and its write's lock: the write then finds the lock taken,
// or its file gone from the name, and starts again with a new name.

// Makes and locks a temporary file for the file name in folder; its descriptor, or -1 with errno set.
// On a file system that keeps no locks, the file stays unlocked: a cleanup cannot lock it there either.
int OpenTemporary(const std::string& folder, const std::string& name, std::string* temporary) {
    char separator = '\\';
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = folder + TemporaryName(name, separator);
        const int fd = open(temporary->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;
        // A name with a backslash refused (EINVAL, or EPERM from some FUSE file systems) is tried once
        // with "~"; a folder that takes no new files refuses that one too, and its answer is the one said.
        if (fd < 0 && separator == '\\') {
            separator = '~';
            continue;
        }
        if (fd < 0) return -1;
        TestHook_Sleep(TestHook_LockPause((folder + name).c_str()));
        const int locked = LockWhole(fd);
        struct stat own, named;
        if (locked == 0 ? fstat(fd, &own) == 0 && own.st_nlink > 0 && stat(temporary->c_str(), &named) == 0 &&
                              SameFile(own, named)
                        : locked != EAGAIN && locked != EACCES)
            return fd;
        close(fd);
    }
    errno = EEXIST;
    return -1;
}

// Removes the temporary file name in the folder when no write holds it (the protocol above).
void RemoveIfAbandoned(int folder, const char* name) {
    const int fd = openat(folder, name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    struct stat locked, named;
    if (fstat(fd, &locked) == 0 && S_ISREG(locked.st_mode) && LockWhole(fd) == 0 &&
        fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(locked, named))
        unlinkat(folder, name, 0);
    close(fd);
}

// Removes the abandoned temporary files in the folder (a descriptor this takes over) and in its folders,
// depth deep; symbolic links are not followed.
void RemoveLeftovers(int folder, int depth) {
    DIR* dir = fdopendir(folder);
    if (!dir) {
        close(folder);
        return;
    }
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        unsigned char type = entry->d_type;
        struct stat st;
        if (type == DT_UNKNOWN && fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0)
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
        if (type == DT_DIR && depth > 0) {
            const int inner = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (inner >= 0) RemoveLeftovers(inner, depth - 1);
        } else if (type == DT_REG && IsTemporaryName(name)) {
            RemoveIfAbandoned(dirfd(dir), name);
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
    if (const HookPause pause = TestHook_WritePause(path)) {
        if (const int error = writeUpTo(size / 2)) return error;
        ReleaseConsole->Output("Test hook: \"%s\" is half written\n", path);
        TestHook_Pause(pause, g_writesHeld);
    }
    return writeUpTo(size);
}

// Writes over what cannot be replaced by a new file, a named pipe or a device, as a plain open for
// writing does, but never waits for a reader.
int WriteInPlace(const char* path, const uint8_t* bytes, size_t size) {
    const int fd = open(path, O_WRONLY | O_TRUNC | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = WriteBytes(fd, path, bytes, size);
    if (close(fd) != 0 && error == 0) error = errno;
    return error;
}

// The path that the symbolic links path may be lead to, followed up to 40 deep (what the last leads to
// need not exist); "" with errno set when a link cannot be read or they lead on further.
std::string FollowLinks(const std::string& path) {
    std::string at = path;
    for (int hop = 0; hop < 40; ++hop) {
        struct stat st;
        if (lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
        std::vector<char> link(4096);
        const ssize_t n = readlink(at.c_str(), link.data(), link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size()) {
            if (n > 0) errno = ENAMETOOLONG;
            return "";
        }
        // A relative link is taken from the link's own folder.
        const std::string text(link.data(), static_cast<size_t>(n));
        at = text[0] == '/' ? text : at.substr(0, at.rfind('/') + 1) + text;
    }
    errno = ELOOP;
    return "";
}

struct WriteFailure {
    int error = 0;
    bool byTheFolder = false; // the temporary file could not be made (SayWriteFailed)
};

// Writes the whole file through a temporary file (see _WriteFile).
WriteFailure WriteWhole(const char* path, const uint8_t* bytes, size_t size) {
    const std::string target = FollowLinks(path);
    if (target.empty()) return {errno};
    struct stat st;
    const bool exists = lstat(target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return {EISDIR};
    if (exists && !S_ISREG(st.st_mode)) return {WriteInPlace(target.c_str(), bytes, size)};
    // A file its owner may not write stays as it is, as it would for a write over it.
    if (exists && access(target.c_str(), W_OK) != 0) return {errno};

    // Where no temporary file can be made, the file is not written: a write over it in place would
    // leave a part of the new content when the process ended during it.
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary;
    const int fd = OpenTemporary(folder, name, &temporary);
    if (fd < 0) return {errno, errno == EACCES || errno == EPERM};
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
    // The copy keeps the lock past the close, which reports what the file system could not store
    // (NFS does so only then), until the file has its name.
    const int keeper = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (close(fd) != 0 && error == 0) error = errno;
    if (keeper < 0 && error == 0) error = errno;
    if (error == 0 && rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) unlink(temporary.c_str());
    if (keeper >= 0) close(keeper);
    return {error};
}

} // namespace

bool _WriteFile(const char* path, const void* data, int size) {
    if (!path || !*path) {
        SayWriteFailed(path, ENOENT);
        return false;
    }
    WriteFailure failure;
    {
        // The report below goes out after the write lock is released: a console that blocks (standard
        // output to a pipe no one reads) then holds up no one waiting for the write.
        CSaveAreaWrite writing;
        failure = WriteWhole(path, static_cast<const uint8_t*>(data),
                             size > 0 && data ? static_cast<size_t>(size) : 0);
    }
    if (failure.error != 0) SayWriteFailed(path, failure.error, failure.byTheFolder);
    return failure.error == 0;
}

bool LoadSave_WriteFile(const char* name, const void* data, int size) {
    // A name the save area refuses has been said by the mapping.
    const std::string path = LoadSave_SavePath(name);
    if (path.empty()) {
        if (!name) SayWriteFailed("", ENOENT);
        return false;
    }
    File_CreatePathDirectories(path.c_str());
    return _WriteFile(path.c_str(), data, size);
}

void LoadSave_RemoveLeftoverWrites() {
    // Folders of the save area are followed 32 deep, never through symbolic links.
    const char* area = GetSaveAreaDirectory();
    if (!area) return;
    const int folder = open(area, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) RemoveLeftovers(folder, 32);
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
