#include "graphics/graphics_builtins.h"

// Of the graphic group, the drawing-state, shape, texture, text and sprite and background drawing
// built-ins are written, in the group's order (the surface built-ins follow the tile built-ins of the
// world); the other families register nothing yet.
void InitGraphicFunctions() {
    InitDrawStateFunctions();
    InitShapeFunctions();
    InitTextureFunctions();
    InitTextFunctions();
    InitSpriteDrawFunctions();
    InitCornerIdFunctions();
}
