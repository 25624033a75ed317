// Draws the images built into the runner (see src/graphics/image/embedded_images.h) and writes their table as
// a C++ source file that defines EmbeddedImage_BuiltinTable, so that the runner carries the finished
// pixels instead of drawing them at every start.
//   make_embedded_images OUT.cpp
#include "graphics/image/embedded_images.h"

#include "../tool_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kFirstImageOffset = 256;
constexpr int kShapeSize = 64;
constexpr int kFontWidth = 256;
constexpr int kFontHeight = 128;
constexpr int kStartUpWidth = 512;
constexpr int kStartUpHeight = 384;
constexpr double kPi = 3.14159265358979323846;

// Each 5 x 7 glyph is drawn at twice its size one pixel into its cell of the glyph table.
constexpr int kGlyphScale = 2;

// Rows of each 5 x 7 glyph, bit 4 the leftmost column, for characters 33 to 136 (32 is blank).
constexpr uint8_t kGlyphRows[kBuiltinFontLast - kBuiltinFontFirst][7] = {
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04}, {0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00}, // ! "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A}, {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04}, // # $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03}, {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D}, // % &
    {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00}, {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02}, // ' (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08}, {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00}, // ) *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08}, // + ,
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}, // - .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00}, {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}, // / 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}, // 1 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}, {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}, // 3 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}, {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}, // 5 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}, {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}, // 7 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}, {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}, // 9 :
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08}, {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02}, // ; <
    {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00}, {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08}, // = >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04}, {0x0E, 0x11, 0x17, 0x15, 0x17, 0x10, 0x0E}, // ? @
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}, // A B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}, // C D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}, {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}, // E F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}, {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}, // G H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}, // I J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}, {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}, // K L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}, {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}, // M N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}, // O P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}, {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}, // Q R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}, {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, // S T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}, {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}, // U V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}, {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}, // W X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04}, {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}, // Y Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E}, {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00}, // [ backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E}, {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00}, // ] ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F}, {0x08, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00}, // _ `
    {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}, {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E}, // a b
    {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}, {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F}, // c d
    {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}, {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}, // e f
    {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}, {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11}, // g h
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}, {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C}, // i j
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}, {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}, // k l
    {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}, {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11}, // m n
    {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}, {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}, // o p
    {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01}, {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10}, // q r
    {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}, {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06}, // s t
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}, {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04}, // u v
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}, {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}, // w x
    {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}, {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F}, // y z
    {0x02, 0x04, 0x04, 0x08, 0x04, 0x04, 0x02}, {0x04, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}, // { |
    {0x08, 0x04, 0x04, 0x02, 0x04, 0x04, 0x08}, {0x00, 0x00, 0x08, 0x15, 0x02, 0x00, 0x00}, // } ~
    // 127: a full block; 128..134: bars of 1 to 7 rows for meters; 135, 136: arrows up and down.
    {0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F}, {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x1F, 0x1F}, {0x00, 0x00, 0x00, 0x00, 0x1F, 0x1F, 0x1F},
    {0x00, 0x00, 0x00, 0x1F, 0x1F, 0x1F, 0x1F}, {0x00, 0x00, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F},
    {0x00, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F}, {0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F, 0x1F},
    {0x04, 0x0E, 0x15, 0x04, 0x04, 0x04, 0x04}, {0x04, 0x04, 0x04, 0x04, 0x15, 0x0E, 0x04},
};

struct Canvas {
    int width;
    int height;
    std::vector<uint8_t> rgba;

    Canvas(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
        uint8_t* p = &rgba[(static_cast<size_t>(y) * width + x) * 4];
        p[0] = r;
        p[1] = g;
        p[2] = b;
        p[3] = a;
    }
};

uint8_t ToByte(double v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255.0));
}

// A white shape whose alpha is the coverage function averaged over 4 x 4 samples per pixel; the
// function takes a position relative to the centre, in units of the half size (-1..1).
Canvas DrawShape(const std::function<double(double, double)>& coverage) {
    Canvas canvas(kShapeSize, kShapeSize);
    const double half = kShapeSize * 0.5;
    for (int y = 0; y < kShapeSize; ++y) {
        for (int x = 0; x < kShapeSize; ++x) {
            double sum = 0.0;
            for (int sy = 0; sy < 4; ++sy) {
                for (int sx = 0; sx < 4; ++sx) {
                    const double u = (x + (sx + 0.5) / 4.0 - half) / half;
                    const double v = (y + (sy + 0.5) / 4.0 - half) / half;
                    sum += std::clamp(coverage(u, v), 0.0, 1.0);
                }
            }
            canvas.Set(x, y, 255, 255, 255, ToByte(sum / 16.0));
        }
    }
    return canvas;
}

// Smooth value noise in 0..1 over a lattice of the given frequency.
double Noise(double u, double v, int seed) {
    auto lattice = [seed](int i, int j) {
        uint32_t h = static_cast<uint32_t>(i) * 73856093u ^ static_cast<uint32_t>(j) * 19349663u ^
                     static_cast<uint32_t>(seed) * 83492791u;
        h ^= h >> 13;
        h *= 0x5BD1E995u;
        h ^= h >> 15;
        return (h & 0xFFFF) / 65535.0;
    };
    const double fx = std::floor(u);
    const double fy = std::floor(v);
    const int i = static_cast<int>(fx);
    const int j = static_cast<int>(fy);
    const double tx = (u - fx) * (u - fx) * (3 - 2 * (u - fx));
    const double ty = (v - fy) * (v - fy) * (3 - 2 * (v - fy));
    const double top = lattice(i, j) + (lattice(i + 1, j) - lattice(i, j)) * tx;
    const double bottom = lattice(i, j + 1) + (lattice(i + 1, j + 1) - lattice(i, j + 1)) * tx;
    return top + (bottom - top) * ty;
}

double Turbulence(double u, double v, int seed) {
    return (Noise(u * 4 + 8, v * 4 + 8, seed) * 0.5 + Noise(u * 8 + 8, v * 8 + 8, seed + 1) * 0.3 +
            Noise(u * 16 + 8, v * 16 + 8, seed + 2) * 0.2);
}

// Distance from (u, v) to the segment from the centre to the point at angle a and length r.
double ArmDistance(double u, double v, double a, double r) {
    const double dx = std::cos(a);
    const double dy = std::sin(a);
    const double t = std::clamp(u * dx + v * dy, 0.0, r);
    return std::hypot(u - t * dx, v - t * dy);
}

bool InsideStar(double u, double v) {
    // A five-pointed star: the point is inside when it lies inside the pentagon of inner radius or in
    // one of the five point triangles, tested through the polar form of the star's edge.
    const double r = std::hypot(u, v);
    if (r == 0.0) return true;
    double a = std::atan2(v, u) + kPi / 2;
    const double sector = 2 * kPi / 5;
    a = std::fmod(a + 20 * kPi, sector) - sector / 2;
    const double outer = 0.95;
    const double inner = 0.4;
    // The edge runs from the tip (angle 0, radius outer) to the notch (angle sector / 2, radius inner).
    const double tipX = outer;
    const double notchX = inner * std::cos(sector / 2);
    const double notchY = inner * std::sin(sector / 2);
    const double px = r * std::cos(std::fabs(a));
    const double py = r * std::sin(std::fabs(a));
    const double cross = (notchX - tipX) * py - notchY * (px - tipX);
    return cross >= 0.0;
}

std::vector<Canvas> DrawShapes() {
    std::vector<Canvas> shapes;
    // 0: a plain opaque square.
    shapes.push_back(DrawShape([](double, double) { return 1.0; }));
    // 1 pixel: a dot of a few pixels.
    shapes.push_back(DrawShape([](double u, double v) { return std::hypot(u, v) <= 0.08 ? 1.0 : 0.0; }));
    // 2 disk.
    shapes.push_back(DrawShape([](double u, double v) { return (0.95 - std::hypot(u, v)) / 0.06; }));
    // 3 square.
    shapes.push_back(DrawShape([](double u, double v) { return std::max(std::fabs(u), std::fabs(v)) <= 0.8 ? 1.0 : 0.0; }));
    // 4 line: a horizontal bar fading at both ends.
    shapes.push_back(DrawShape([](double u, double v) {
        return std::fabs(v) <= 0.08 ? std::min(1.0, (1.0 - std::fabs(u)) / 0.3) : 0.0;
    }));
    // 5 star.
    shapes.push_back(DrawShape([](double u, double v) { return InsideStar(u, v) ? 1.0 : 0.0; }));
    // 6 circle: a thin outline.
    shapes.push_back(DrawShape([](double u, double v) { return std::fabs(std::hypot(u, v) - 0.85) <= 0.06 ? 1.0 : 0.0; }));
    // 7 ring: a soft thick band.
    shapes.push_back(DrawShape([](double u, double v) {
        const double d = (std::hypot(u, v) - 0.65) / 0.22;
        return std::exp(-d * d * 2.0);
    }));
    // 8 sphere: dense in the middle, thinning to the rim.
    shapes.push_back(DrawShape([](double u, double v) {
        const double r = std::hypot(u, v);
        return r >= 0.95 ? 0.0 : std::sqrt(1.0 - (r / 0.95) * (r / 0.95));
    }));
    // 9 flare: a bright core with a soft glow and four rays.
    shapes.push_back(DrawShape([](double u, double v) {
        const double r = std::hypot(u, v);
        const double glow = std::exp(-r * r * 12.0);
        const double rays = std::exp(-std::fabs(u) * 40.0) * (1.0 - std::fabs(v)) +
                            std::exp(-std::fabs(v) * 40.0) * (1.0 - std::fabs(u));
        return glow + rays * 0.8;
    }));
    // 10 spark: eight thin rays of alternating length.
    shapes.push_back(DrawShape([](double u, double v) {
        double best = 0.0;
        for (int k = 0; k < 8; ++k) {
            const double length = k % 2 == 0 ? 0.95 : 0.55;
            const double d = ArmDistance(u, v, k * kPi / 4, length);
            best = std::max(best, 1.0 - d / 0.04);
        }
        return best;
    }));
    // 11 explosion: a ragged blob whose edge follows the noise.
    shapes.push_back(DrawShape([](double u, double v) {
        const double a = std::atan2(v, u);
        const double edge = 0.55 + 0.35 * Noise(std::cos(a) * 3 + 5, std::sin(a) * 3 + 5, 11);
        const double r = std::hypot(u, v);
        return (edge - r) / 0.1 * (0.6 + 0.4 * Turbulence(u, v, 12));
    }));
    // 12 cloud: overlapping soft puffs.
    shapes.push_back(DrawShape([](double u, double v) {
        static const double puffs[5][3] = {{-0.35, 0.15, 0.45}, {0.3, 0.2, 0.5}, {0.0, -0.2, 0.55},
                                           {-0.55, 0.35, 0.3}, {0.6, 0.4, 0.3}};
        double a = 0.0;
        for (const auto& p : puffs) {
            const double d = std::hypot(u - p[0], v - p[1]) / p[2];
            a += d < 1.0 ? (1.0 - d * d) : 0.0;
        }
        return a;
    }));
    // 13 smoke: a soft blob with a noisy texture.
    shapes.push_back(DrawShape([](double u, double v) {
        const double r = std::hypot(u, v);
        return std::max(0.0, 1.0 - r) * (0.3 + 0.9 * Turbulence(u, v, 13));
    }));
    // 14 snowflake: six arms, each with two pairs of branches.
    shapes.push_back(DrawShape([](double u, double v) {
        double best = 0.0;
        for (int k = 0; k < 6; ++k) {
            const double a = k * kPi / 3;
            double d = ArmDistance(u, v, a, 0.9);
            for (double at : {0.4, 0.65}) {
                const double bx = u - std::cos(a) * at;
                const double by = v - std::sin(a) * at;
                d = std::min(d, ArmDistance(bx, by, a + kPi / 4, 0.22));
                d = std::min(d, ArmDistance(bx, by, a - kPi / 4, 0.22));
            }
            best = std::max(best, 1.0 - d / 0.05);
        }
        return best;
    }));
    return shapes;
}

Canvas DrawFont() {
    Canvas canvas(kFontWidth, kFontHeight);
    // Transparent pixels are white so that filtering does not darken the glyphs' edges.
    for (size_t i = 0; i < canvas.rgba.size(); i += 4) canvas.rgba[i] = canvas.rgba[i + 1] = canvas.rgba[i + 2] = 255;
    for (int c = kBuiltinFontFirst + 1; c <= kBuiltinFontLast; ++c) {
        const uint8_t* cell = BuiltinFont_GlyphTable[c - kBuiltinFontFirst];
        const uint8_t* rows = kGlyphRows[c - kBuiltinFontFirst - 1];
        for (int row = 0; row < 7; ++row) {
            for (int column = 0; column < 5; ++column) {
                if ((rows[row] >> (4 - column) & 1) == 0) continue;
                for (int dy = 0; dy < kGlyphScale; ++dy)
                    for (int dx = 0; dx < kGlyphScale; ++dx)
                        canvas.Set(cell[0] + 1 + column * kGlyphScale + dx, cell[1] + 1 + row * kGlyphScale + dy,
                                   255, 255, 255, 255);
            }
        }
    }
    return canvas;
}

// The start-up image: a deep blue gradient with a soft ring of light.
Canvas DrawStartUp() {
    Canvas canvas(kStartUpWidth, kStartUpHeight);
    for (int y = 0; y < kStartUpHeight; ++y) {
        for (int x = 0; x < kStartUpWidth; ++x) {
            const double t = static_cast<double>(y) / (kStartUpHeight - 1);
            const double u = (x - kStartUpWidth * 0.5) / (kStartUpHeight * 0.5);
            const double v = (y - kStartUpHeight * 0.5) / (kStartUpHeight * 0.5);
            const double d = (std::hypot(u, v) - 0.55) / 0.08;
            const double ring = std::exp(-d * d);
            canvas.Set(x, y, ToByte(0.05 + 0.5 * ring), ToByte(0.08 + 0.1 * t + 0.7 * ring),
                       ToByte(0.25 + 0.3 * (1 - t) + 0.7 * ring), 255);
        }
    }
    return canvas;
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

std::vector<uint8_t> BuildTable() {
    std::vector<Canvas> images = DrawShapes();
    images.push_back(DrawFont());
    images.push_back(DrawStartUp());
    std::vector<uint8_t> table(kFirstImageOffset, 0);
    PutU32(table, 0, kEmbeddedImageCount);
    for (size_t i = 0; i < images.size(); ++i) {
        const Canvas& image = images[i];
        const size_t offset = table.size();
        const size_t size = 16 + image.rgba.size();
        table.resize(offset + size);
        std::memcpy(&table[offset], "RAW ", 4);
        PutU32(table, offset + 4, static_cast<uint32_t>(image.width));
        PutU32(table, offset + 8, static_cast<uint32_t>(image.height));
        PutU32(table, offset + 12, 0);
        std::memcpy(&table[offset + 16], image.rgba.data(), image.rgba.size());
        PutU32(table, 4 + i * 8, static_cast<uint32_t>(size));
        PutU32(table, 8 + i * 8, static_cast<uint32_t>(offset));
    }
    return table;
}

// The table as a C++ source file: one string literal of octal escapes (which compilers read far faster
// than a list of numbers), 64 bytes a line.
std::string TableSource(const std::vector<uint8_t>& table) {
    std::string out =
        "// Made by make_embedded_images when the runner is built: the table of the built-in images.\n"
        "#include \"graphics/image/embedded_images.h\"\n\n"
        "namespace {\n\nalignas(4) constexpr char kTable[] =\n";
    char escape[8];
    for (size_t at = 0; at < table.size(); at += 64) {
        out += "    \"";
        for (size_t i = at; i < std::min(table.size(), at + 64); ++i) {
            std::snprintf(escape, sizeof escape, "\\%03o", table[i]);
            out += escape;
        }
        out += "\"\n";
    }
    out += ";\n\n} // namespace\n\n"
           "const uint8_t* EmbeddedImage_BuiltinTable(uint32_t& size) {\n"
           "    size = static_cast<uint32_t>(sizeof kTable - 1);\n"
           "    return reinterpret_cast<const uint8_t*>(kTable);\n"
           "}\n";
    return out;
}

} // namespace

int main(int argc, char** argv) {
    constexpr const char* kUsage = "usage: make_embedded_images OUT.cpp\n";
    if (const int checked = Tool_CheckArguments("make_embedded_images", argc, argv, {}, kUsage)) return checked - 1;
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string source = TableSource(BuildTable());
    if (!Tool_WriteFile(argv[1], source.data(), source.size())) {
        std::fprintf(stderr, "make_embedded_images: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
