// Fonts that draw a sprite frame per character.
#include "core/utf8.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"

#include <algorithm>
#include <cstdint>

CFontQN* CFontQN::CFontQN_Sprite(int sprite, const char* text, bool proportional, int separation) {
    std::vector<uint32_t> chars;
    for (const char* p = text ? text : ""; *p;)
        chars.push_back(UTF8_GetChar(p));
    return CFontQN_Sprite(sprite, chars, proportional, separation);
}

CFontQN* CFontQN::CFontQN_Sprite(int sprite, const std::vector<uint32_t>& chars, bool proportional,
                                 int separation) {
    auto* font = new CFontQN();
    CSprite* data = Sprite_Data(sprite);
    if (!data) return font;
    font->m_sprite = sprite;
    const size_t frames = static_cast<size_t>(std::max(data->frameCount, 0));
    std::vector<uint32_t> kept(chars.begin(), chars.begin() + static_cast<ptrdiff_t>(std::min(chars.size(), frames)));
    // Every sprite font has a space: one of the characters kept, or one added after them.
    const bool added = std::find(kept.begin(), kept.end(), uint32_t{32}) == kept.end();
    if (added) kept.push_back(32);
    int64_t widest = 0;
    for (size_t i = 0; i < kept.size(); ++i) {
        int left = 0, right = data->width;
        if (proportional && i < frames) {
            if (data->pageEntries) {
                if (const TPageEntry* e = data->pageEntries[i]) {
                    left = e->targetX;
                    right = e->targetX + e->targetWidth;
                }
            } else {
                const IntRect rect = data->GetFrameRect(static_cast<int>(i));
                left = rect.left;
                right = rect.right;
            }
        }
        // Summed in 64 bits, where no separation overflows; the glyph keeps the low 16 bits.
        const int64_t shift = static_cast<int64_t>(right) - left + separation;
        font->m_glyphs.push_back(FontGlyph{kept[i], 0, 0, static_cast<int16_t>(i), static_cast<int16_t>(data->height),
                                           static_cast<int16_t>(shift), static_cast<int16_t>(-left), 0});
        if (kept[i] != 32) widest = std::max(widest, shift);
    }
    if (added) font->m_glyphs.back().shift = static_cast<int16_t>(widest);
    font->SortGlyphs();
    font->UpdateHeight();
    font->m_first = font->m_glyphs.front().character;
    font->m_last = font->m_first + static_cast<int>(font->m_glyphs.size());
    return font;
}
