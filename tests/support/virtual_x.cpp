#include "support/virtual_x.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

VirtualXServer::VirtualXServer(const char* screen, const std::string& screenFolder) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        close(pipeFds[0]);
        const std::string fd = std::to_string(pipeFds[1]);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        if (screenFolder.empty())
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
        else
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp",
                   "-fbdir", screenFolder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeFds[1]);
    // The server writes its display number once it takes connections.
    pollfd p{pipeFds[0], POLLIN, 0};
    char text[16] = {};
    size_t n = 0;
    while (n + 1 < sizeof text && poll(&p, 1, 10000) > 0) {
        const ssize_t got = read(pipeFds[0], text + n, 1);
        if (got <= 0 || text[n] == '\n') break;
        ++n;
    }
    close(pipeFds[0]);
    if (n > 0 && text[n] == '\n') m_display = ":" + std::string(text, n);
}

VirtualXServer::~VirtualXServer() {
    Stop();
}

void VirtualXServer::Stop() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
}

namespace {

uint32_t BigEndian32(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) << 24 | static_cast<uint32_t>(bytes[at + 1]) << 16 |
           static_cast<uint32_t>(bytes[at + 2]) << 8 | bytes[at + 3];
}

// The shift that brings a colour mask's lowest bit to bit 0.
int MaskShift(uint32_t mask) {
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

} // namespace

// The file is an X window dump: a header of 25 big-endian words (its size first), the window's name,
// a colour map of 12-byte entries, then the rows of pixels.
bool XScreenImage::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (bytes.size() < 100) return false;
    auto field = [&](int i) { return BigEndian32(bytes, static_cast<size_t>(i) * 4); };
    const uint32_t headerSize = field(0), w = field(4), h = field(5), byteOrder = field(7);
    const uint32_t bitsPerPixel = field(11), bytesPerLine = field(12);
    const uint32_t masks[3] = {field(14), field(15), field(16)};
    const uint32_t colours = field(19);
    if (bitsPerPixel != 32 || w == 0 || h == 0 || w > 16384 || h > 16384 || bytesPerLine < w * 4)
        return false;
    const size_t start = static_cast<size_t>(headerSize) + static_cast<size_t>(colours) * 12;
    if (start > bytes.size() || (bytes.size() - start) / bytesPerLine < h) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    pixels.assign(static_cast<size_t>(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p =
                &bytes[start + static_cast<size_t>(y) * bytesPerLine + static_cast<size_t>(x) * 4];
            const uint32_t v = byteOrder == 0
                                   ? (p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24)
                                   : (static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]);
            uint32_t rgb = 0;
            for (uint32_t mask : masks)
                rgb = rgb << 8 | ((v & mask) >> MaskShift(mask) & 0xFF);
            pixels[static_cast<size_t>(y) * width + x] = rgb;
        }
    }
    return true;
}

bool XScreenImage::Bounds(uint32_t colour, int& left, int& top, int& right, int& bottom) const {
    left = width;
    top = height;
    right = bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (At(x, y) != colour) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    return right >= 0;
}

int XScreenImage::Count(uint32_t colour, int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = std::max(top, 0); y < std::min(bottom, height); ++y)
        for (int x = std::max(left, 0); x < std::min(right, width); ++x)
            n += At(x, y) == colour;
    return n;
}
