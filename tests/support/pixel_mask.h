// Pictures of read-back pixels as text, one line per row: '#' where a pixel has the colour looked for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline std::string PixelMask(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t colour) {
    std::string s;
    for (size_t i = 0; i < pixels.size(); ++i) {
        s += pixels[i] == colour ? '#' : '.';
        if ((i + 1) % width == 0) s += '\n';
    }
    return s;
}

// The picture of a width x height target with exactly the inclusive box (x1, y1)-(x2, y2) marked.
inline std::string BoxMask(uint32_t width, uint32_t height, int x1, int y1, int x2, int y2) {
    std::string s;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x)
            s += (int(x) >= x1 && int(x) <= x2 && int(y) >= y1 && int(y) <= y2) ? '#' : '.';
        s += '\n';
    }
    return s;
}

// The union of two pictures of the same size.
inline std::string MaskUnion(std::string a, const std::string& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (b[i] == '#') a[i] = '#';
    return a;
}

// The number of pixels of the colour (compared in its low 24 bits) in the half-open box (x1, y1)-(x2, y2)
// of a picture width pixels wide.
inline int CountColour(const uint32_t* pixels, int width, uint32_t colour, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
        for (int x = x1; x < x2; ++x)
            n += ((pixels[static_cast<size_t>(y) * width + x] ^ colour) & 0xFFFFFFu) == 0;
    return n;
}
