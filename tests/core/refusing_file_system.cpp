// Defines open, open64, fcntl and fcntl64 for the test program: the code linked into it calls these in
// place of the C library's, which they call in turn. Fortified headers define open as an inline function
// of their own, so this file is compiled without them.
#undef _FORTIFY_SOURCE

#include "core/refusing_file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <mutex>

namespace {

std::atomic<bool> g_refuseLocks{false};
std::atomic<int> g_backslashError{0};
std::mutex g_madeLock;
std::vector<std::string> g_made;

using OpenFunction = int (*)(const char*, int, ...);
using FcntlFunction = int (*)(int, int, ...);

// The C library's function of that name (the next after this program's).
template <typename Function> Function Next(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int Open(OpenFunction next, const char* path, int flags, va_list arguments) {
    const bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
    const mode_t mode = creates ? static_cast<mode_t>(va_arg(arguments, int)) : 0;
    const int error = g_backslashError;
    if (error == 0 || !(flags & O_CREAT) || !path) return next(path, flags, mode);
    const char* slash = std::strrchr(path, '/');
    const std::string name = slash ? slash + 1 : path;
    const bool refused = name.find('\\') != std::string::npos;
    const int fd = refused ? -1 : next(path, flags, mode);
    const int opened = refused ? error : errno;
    if (refused || fd >= 0) {
        std::lock_guard<std::mutex> hold(g_madeLock);
        g_made.push_back((refused ? "refused " : "made ") + name);
    }
    errno = opened;
    return fd;
}

int Fcntl(FcntlFunction next, int fd, int command, va_list arguments) {
    // The argument is an int or a pointer; read as a pointer, either passes on as it came.
    void* argument = va_arg(arguments, void*);
    const bool lock = command == F_SETLK || command == F_SETLKW || command == F_GETLK ||
                      command == F_OFD_SETLK || command == F_OFD_SETLKW || command == F_OFD_GETLK;
    if (lock && g_refuseLocks) {
        errno = ENOLCK;
        return -1;
    }
    return next(fd, command, argument);
}

} // namespace

void RefuseLocks(bool on) {
    g_refuseLocks = on;
}

void RefuseBackslashNames(int error) {
    g_backslashError = error;
}

std::vector<std::string> TakeFilesMade() {
    std::lock_guard<std::mutex> hold(g_madeLock);
    std::vector<std::string> made;
    made.swap(g_made);
    return made;
}

// The C library's function of that name with the stand-in before it: open and open64 take a name first,
// fcntl and fcntl64 a descriptor.
#define STAND_IN(name, Function, StandIn, First)                                                             \
    extern "C" int name(First first, int second, ...) {                                                      \
        static const Function next = Next<Function>(#name);                                                  \
        va_list arguments;                                                                                   \
        va_start(arguments, second);                                                                         \
        const int result = StandIn(next, first, second, arguments);                                          \
        va_end(arguments);                                                                                   \
        return result;                                                                                       \
    }
STAND_IN(open, OpenFunction, Open, const char*)
STAND_IN(open64, OpenFunction, Open, const char*)
STAND_IN(fcntl, FcntlFunction, Fcntl, int)
STAND_IN(fcntl64, FcntlFunction, Fcntl, int)
