#include "support/silent_resolver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool Fail(std::string* why, const char* what) {
    *why = std::string(what) + ": " + std::strerror(errno);
    return false;
}

bool WriteFile(const std::string& path, const std::string& text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return whole;
}

// As root, the two namespaces; otherwise a user namespace first, in which this user is root.
bool Unshare(std::string* why) {
    if (::unshare(CLONE_NEWNET | CLONE_NEWNS) == 0) return true;
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET | CLONE_NEWNS) != 0) return Fail(why, "unshare");
    WriteFile("/proc/self/setgroups", "deny");
    if (!WriteFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
        !WriteFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n"))
        return Fail(why, "the user namespace's maps");
    return true;
}

// Runs enter in a child of its own: whether it succeeds here, with the reason in *why if not.
bool Trial(bool (*enter)(const std::string&, std::string*), const std::string& folder, std::string* why) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return Fail(why, "pipe");
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        std::string reason;
        const bool entered = enter(folder, &reason);
        if (!entered) {
            [[maybe_unused]] const ssize_t n = ::write(report[1], reason.data(), reason.size());
        }
        ::_exit(entered ? 0 : 1);
    }
    ::close(report[1]);
    std::string reason;
    char buffer[256];
    for (ssize_t n; child > 0 && (n = ::read(report[0], buffer, sizeof buffer)) > 0;)
        reason.append(buffer, static_cast<size_t>(n));
    ::close(report[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return Fail(why, "fork");
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    *why = reason.empty() ? "the trial ended abnormally" : reason;
    return false;
}

} // namespace

bool EnterOwnNetwork(std::string* why) {
    if (!Unshare(why)) return false;
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq loopback{};
    std::strcpy(loopback.ifr_name, "lo");
    const bool up = control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &loopback) == 0 &&
                    (loopback.ifr_flags |= IFF_UP, ::ioctl(control, SIOCSIFFLAGS, &loopback) == 0);
    if (control >= 0) ::close(control);
    return up || Fail(why, "the loopback interface");
}

bool OwnNetworkAvailable(std::string* why) {
    return Trial([](const std::string&, std::string* reason) { return EnterOwnNetwork(reason); }, "", why);
}

bool EnterSilentResolver(const std::string& folder, std::string* why) {
    if (!EnterOwnNetwork(why)) return false;
    // The bind below stays in this mount namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return Fail(why, "mount private");
    const std::string conf = folder + "/resolv.conf";
    if (!WriteFile(conf, "nameserver 127.0.0.1\n")) return Fail(why, "resolv.conf");
    if (::mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        return Fail(why, "bind /etc/resolv.conf");
    const int server = ::socket(AF_INET, SOCK_DGRAM, 0); // open across exec: never read
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (server < 0 || ::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return Fail(why, "the name server's socket");
    return true;
}

bool SilentResolverAvailable(const std::string& folder, std::string* why) {
    return Trial(EnterSilentResolver, folder, why);
}
