#include "io/builtin_font.h"

// The font is built over a texture of embedded image 15, and without a device no texture can be made:
// no built-in font exists yet.
void Text_CreateDefaultFont() {}
