// Folder text/: text split into lines, measured and drawn with the current font or the built-in one.
//
// Text: a UTF-8 text split into lines on "#" and line breaks (and wrapped at a width), aligned and drawn
// line by line with the current font, or with the built-in font while no valid font is set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CFontQN;

// The lines of one text: characters (code points), each line ending in 0 inside one shared buffer.
struct TextLines {
    std::vector<uint32_t> buffer;
    std::vector<size_t> starts;

    int Count() const { return static_cast<int>(starts.size()); }
    const uint32_t* Line(int i) const { return buffer.data() + starts[static_cast<size_t>(i)]; }
    void Clear() {
        buffer.clear();
        starts.clear();
    }
};

// Splits text into lines no wider than width (negative: no limit), measured with the font.
void Text_SplitLines(CFontQN* font, const char* text, int width, TextLines& lines);

// The font text is drawn with now: the current font when it exists, else the built-in font (made on
// first need; null when it cannot be made).
CFontQN* Text_FontInUse();
void Text_SetFont(int font);
int Text_GetFont();
void Text_SetHAlign(int align);
void Text_SetVAlign(int align);
int Text_GetHAlign();
int Text_GetVAlign();

// Separation and width below 0 mean the defaults: the font's height, and no limit. Colours are script
// colours; the angle is in degrees.
int Text_Width(const char* text, int separation, int width);
int Text_Height(const char* text, int separation, int width);
void Text_Draw(float x, float y, const char* text, int separation, int width);
void Text_DrawTransformed(float x, float y, const char* text, int separation, int width, float xscale,
                          float yscale, float angle);
void Text_DrawColour(float x, float y, const char* text, int separation, int width, uint32_t c1, uint32_t c2,
                     uint32_t c3, uint32_t c4, float alpha);
void Text_DrawTransformedColour(float x, float y, const char* text, int separation, int width, float xscale,
                                float yscale, float angle, uint32_t c1, uint32_t c2, uint32_t c3, uint32_t c4,
                                float alpha);

// The built-in font, set once by its maker; deleted by Text_Free at shutdown.
CFontQN* Text_BuiltinFont();
void Text_SetBuiltinFont(CFontQN* font);
void Text_Free();
