#include "graphics/text/builtin_font.h"

#include "graphics/frame/frame.h"
#include "graphics/image/embedded_images.h"
#include "graphics/sprite/font.h"
#include "graphics/text/text_draw.h"

// Without a device the font is made all the same, without a texture: it measures text and draws nothing.
void Text_CreateDefaultFont() {
    if (Text_BuiltinFont()) return;
    const int texture = Texture_AddExisting(EmbeddedImage_CreateTexture(kEmbeddedImageFont), 256, 128);
    Text_SetBuiltinFont(
        CFontQN::CFontQN_Builtin(BuiltinFont_GlyphTable, kBuiltinFontFirst, kBuiltinFontLast, texture));
}
