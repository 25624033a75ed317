#include "graphics/text/text_draw.h"

#include "core/convert.h"
#include "core/text.h"
#include "core/utf8.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/profiler.h"
#include "graphics/sprite/font.h"
#include "graphics/text/builtin_font.h"

#include <cmath>
#include <cstring>

namespace {

int g_currentFont = -1;
int g_hAlign = 0;
int g_vAlign = 0;
CFontQN* g_builtinFont = nullptr;

constexpr uint32_t kSpace = 32;
bool IsBreak(uint32_t c) {
    return c == 13 || c == 10;
}

// The text with "#" made a line break, decoded into characters with a terminating 0.
std::vector<uint32_t> DecodeText(const char* text) {
    const size_t bytes = std::strlen(text);
    std::vector<char> copy(text, text + bytes + 1);
    String_HashToNewline(copy.data());
    std::vector<uint32_t> chars;
    const char* p = copy.data();
    while (*p)
        chars.push_back(UTF8_GetChar(p));
    chars.push_back(0);
    return chars;
}

void SplitUnlimited(TextLines& lines, size_t n) {
    uint32_t* buf = lines.buffer.data();
    for (size_t s = 0; s < n;) {
        size_t p = s;
        while (p < n && !IsBreak(buf[p]))
            ++p;
        buf[p] = 0;
        lines.starts.push_back(s);
        s = p + 1;
    }
}

void SplitLimited(CFontQN* font, TextLines& lines, size_t n, int width) {
    uint32_t* buf = lines.buffer.data();
    for (size_t s = 0; s < n;) {
        size_t p = s;
        while (p < n && buf[p] == kSpace)
            ++p;
        int64_t sum = 0;
        while (p < n && sum < width && !IsBreak(buf[p]))
            sum += font->GetShift(buf[p++]);
        if (sum > width) --p;
        if (p < n && IsBreak(buf[p])) {
            buf[p] = 0;
            lines.starts.push_back(s);
            s = p + 1;
            continue;
        }
        // The first character alone is wider than the limit: nothing more is laid out.
        if (p == s) return;
        if (p < n && buf[p] != kSpace)
            while (p > s && buf[p] != kSpace)
                --p;
        if (p > s && buf[p] == kSpace)
            while (p > s && buf[p - 1] == kSpace)
                --p;
        // One word longer than the limit makes a line of its own, line breaks inside it included.
        if (p == s)
            while (p < n && buf[p] != kSpace)
                ++p;
        if (p != s) {
            buf[p] = 0;
            lines.starts.push_back(s);
        }
        s = p + 1;
    }
}

// The default separation is the font's height.
int Separation(CFontQN* font, int separation) {
    return separation < 0 ? font->GetHeight() : separation;
}

int HorizontalOffset(int lineWidth) {
    if (g_hAlign == 1) return -(lineWidth / 2);
    if (g_hAlign == 2) return -lineWidth;
    return 0;
}

template <typename DrawLine>
void DrawLines(float x, float y, const char* text, int separation, int width, DrawLine drawLine) {
    CFontQN* font = Text_FontInUse();
    if (!font || !text) return;
    TextLines lines;
    Text_SplitLines(font, text, width, lines);
    const int sep = Separation(font, separation);
    const int block = Wrap_Mul32(lines.Count(), sep);
    if (g_vAlign == 1) y -= static_cast<float>(block / 2);
    if (g_vAlign == 2) y -= static_cast<float>(block);
    for (int i = 0; i < lines.Count(); ++i, y += static_cast<float>(sep)) {
        const uint32_t* line = lines.Line(i);
        if (!*line) continue;
        drawLine(font, x + static_cast<float>(HorizontalOffset(font->TextWidth(line))), y, line);
    }
}

template <typename DrawLine>
void DrawLinesTransformed(float x, float y, const char* text, int separation, int width, float xscale,
                          float yscale, float angle, DrawLine drawLine) {
    CFontQN* font = Text_FontInUse();
    if (!font || !text) return;
    TextLines lines;
    Text_SplitLines(font, text, width, lines);
    const float a = static_cast<float>(static_cast<double>(angle) * 3.1415927410125732 / 180.0);
    const float s = static_cast<float>(std::sin(static_cast<double>(a)));
    const float c = static_cast<float>(std::cos(static_cast<double>(a)));
    const double sep = Separation(font, separation);
    const float stepX = static_cast<float>(static_cast<double>(s) * yscale * sep);
    const float stepY = static_cast<float>(static_cast<double>(c) * yscale * sep);
    double back = 0;
    if (g_vAlign == 1) back = lines.Count() / 2.0;
    if (g_vAlign == 2) back = lines.Count();
    float ox = static_cast<float>(x - back * stepX);
    float oy = static_cast<float>(y - back * stepY);
    for (int i = 0; i < lines.Count(); ++i) {
        const uint32_t* line = lines.Line(i);
        double d = 0;
        const double lineWidth = font->TextWidth(line);
        if (g_hAlign == 1) d = -(lineWidth * xscale * 0.5);
        if (g_hAlign == 2) d = -(lineWidth * xscale);
        drawLine(font, static_cast<float>(ox + d * c), static_cast<float>(oy - d * s), line);
        ox = static_cast<float>(static_cast<double>(ox) + stepX);
        oy = static_cast<float>(static_cast<double>(oy) + stepY);
    }
}

} // namespace

void Text_SplitLines(CFontQN* font, const char* text, int width, TextLines& lines) {
    lines.Clear();
    if (!text) return;
    lines.buffer = DecodeText(text);
    const size_t n = lines.buffer.size() - 1;
    if (n == 0) return;
    if (width < 0)
        SplitUnlimited(lines, n);
    else
        SplitLimited(font, lines, n, width);
}

CFontQN* Text_FontInUse() {
    if (CFontQN* font = Font_Get(g_currentFont)) return font;
    if (!g_builtinFont) Text_CreateDefaultFont();
    return g_builtinFont;
}

void Text_SetFont(int font) {
    if (Font_Exists(font)) {
        g_currentFont = font;
        return;
    }
    g_currentFont = -1;
    if (!g_builtinFont) Text_CreateDefaultFont();
}
int Text_GetFont() {
    return g_currentFont;
}
void Text_SetHAlign(int align) {
    g_hAlign = (align == 1 || align == 2) ? align : 0;
}
void Text_SetVAlign(int align) {
    g_vAlign = (align == 1 || align == 2) ? align : 0;
}
int Text_GetHAlign() {
    return g_hAlign;
}
int Text_GetVAlign() {
    return g_vAlign;
}

int Text_Width(const char* text, int /*separation*/, int width) {
    CFontQN* font = Text_FontInUse();
    if (!font) return 0;
    TextLines lines;
    Text_SplitLines(font, text, width, lines);
    int widest = 0;
    for (int i = 0; i < lines.Count(); ++i)
        widest = std::max(widest, font->TextWidth(lines.Line(i)));
    return widest;
}

int Text_Height(const char* text, int separation, int width) {
    CFontQN* font = Text_FontInUse();
    if (!font) return 0;
    TextLines lines;
    Text_SplitLines(font, text, width, lines);
    if (lines.Count() == 0) return 0;
    return Wrap_Add32(font->GetHeight(), Wrap_Mul32(lines.Count() - 1, Separation(font, separation)));
}

void Text_Draw(float x, float y, const char* text, int separation, int width) {
    Profiler_Push(0xFFFF00u, "Text");
    const uint32_t colour = GR_Draw_GetColour() & 0xFFFFFFu;
    const float alpha = GR_Draw_GetAlpha();
    DrawLines(x, y, text, separation, width, [&](CFontQN* font, float lx, float ly, const uint32_t* line) {
        font->Draw(lx, ly, line, colour, alpha);
    });
    Profiler_Pop();
}

void Text_DrawColour(float x, float y, const char* text, int separation, int width, uint32_t c1, uint32_t c2,
                     uint32_t c3, uint32_t c4, float alpha) {
    DrawLines(x, y, text, separation, width, [&](CFontQN* font, float lx, float ly, const uint32_t* line) {
        font->DrawColour(lx, ly, line, c1, c2, c3, c4, alpha);
    });
}

void Text_DrawTransformed(float x, float y, const char* text, int separation, int width, float xscale,
                          float yscale, float angle) {
    Profiler_Push(0xFFFF00u, "Text");
    const uint32_t colour = GR_Draw_GetColour() & 0xFFFFFFu;
    const float alpha = GR_Draw_GetAlpha();
    DrawLinesTransformed(x, y, text, separation, width, xscale, yscale, angle,
                         [&](CFontQN* font, float lx, float ly, const uint32_t* line) {
                             font->DrawTransformed(lx, ly, line, xscale, yscale, angle, colour, alpha);
                         });
    Profiler_Pop();
}

void Text_DrawTransformedColour(float x, float y, const char* text, int separation, int width, float xscale,
                                float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                                float alpha) {
    DrawLinesTransformed(x, y, text, separation, width, xscale, yscale, angle,
                         [&](CFontQN* font, float lx, float ly, const uint32_t* line) {
                             font->DrawTransformedColour(lx, ly, line, xscale, yscale, angle, c1, c2, c3, c4,
                                                         alpha);
                         });
}

CFontQN* Text_BuiltinFont() {
    return g_builtinFont;
}

void Text_SetBuiltinFont(CFontQN* font) {
    delete g_builtinFont;
    g_builtinFont = font;
}

void Text_Free() {
    Text_SetBuiltinFont(nullptr);
}
