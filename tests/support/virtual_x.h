// An X server of the test's own (Xvfb) for the scenarios that run the runner on a desktop, and what it
// shows: Xvfb keeps its screen in a file of its folder, which the test reads back pixel by pixel.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

class VirtualXServer {
public:
    // One screen of the given geometry ("1280x1024x24"). With a folder, the screen's pixels are kept in
    // the file "Xvfb_screen0" there.
    explicit VirtualXServer(const char* screen, const std::string& screenFolder = "");
    ~VirtualXServer();
    VirtualXServer(const VirtualXServer&) = delete;
    VirtualXServer& operator=(const VirtualXServer&) = delete;
    // The display's name (":N"), or "" where no server could be started.
    const std::string& Display() const { return m_display; }
    // Ends the server now (its clients lose their connections), and waits until it has ended.
    void Stop();

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// One look at a screen kept in a file: its pixels as 0xRRGGBB.
struct XScreenImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    // False when the file is not a screen image of 24 or 32 bits a pixel.
    bool Read(const std::string& path);
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // The smallest rectangle holding every pixel of the colour; false when there is none.
    bool Bounds(uint32_t colour, int& left, int& top, int& right, int& bottom) const;
    // Pixels of the colour within [left, right) x [top, bottom).
    int Count(uint32_t colour, int left, int top, int right, int bottom) const;
};
