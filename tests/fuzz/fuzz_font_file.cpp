// Feeds arbitrary bytes as a font file: the font is added from the save area (a scratch folder), its
// glyph table read and a text measured. Without a device there is no glyph cache, so only the metrics
// path runs; a font that fails to open must still be an empty, usable font.
#include "core/save_area.h"
#include "fuzz_quiet.h"
#include "graphics/sprite/font.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char folder[] = "/tmp/fuzz-font-XXXXXX";
    if (mkdtemp(folder)) setenv("XDG_DATA_HOME", folder, 1);
    LoadSave_Reset();
    Font_Init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    if (!LoadSave_WriteFile("fuzz.ttf", data, static_cast<int>(size))) return 0;
    const int index = Font_Add("fuzz.ttf", 12 + static_cast<int>(size % 40), false, false, 0, 255);
    CFontQN* font = Font_Get(index);
    if (!font) __builtin_trap();
    const uint32_t sample[] = {' ', 'A', 'g', 0x20AC, 0};
    (void)font->TextWidth(sample);
    for (int i = 1; i < font->GetGlyphCount(); ++i)
        if (font->GlyphAt(i - 1).character > font->GlyphAt(i).character) __builtin_trap();
    Font_Init();
    return 0;
}
