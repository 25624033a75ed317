#include "graphics/registration.h"

// Of the graphic group, the colour, screen-save and shape built-ins and the sprite and background drawing
// built-ins are written; the other families register nothing yet. With no vertex_* writers registered
// there is nothing to rebind.
void InitGraphicFunctions() {
    Graphic_RegisterDrawFunctions();
    InitSpriteDrawFunctions();
}
void Init3DFunctions() {}
void InitParticleFunctions() {}
void InitVertexFunctions() {}
void InitShaderFunctions() {}
void InitVertexFormatFunctions() {}

void VertexBuilder_SetChecked(bool /*checked*/) {}
