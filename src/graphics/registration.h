// The graphics groups of built-in functions, registered once at start-up in the order of the function
// table, and the switch between the checked and the fast vertex writers.
#pragma once

void InitGraphicFunctions();
// The colour, screen-save, shape and primitive built-ins of the graphic group.
void Graphic_RegisterDrawFunctions();
// The draw_self, draw_sprite_* and draw_background_* entries of the graphic group.
void InitSpriteDrawFunctions();
void Init3DFunctions();
void InitParticleFunctions();
void InitVertexFunctions();
void InitShaderFunctions();
void InitVertexFormatFunctions();

// True binds the checked vertex_* writers, false the fast ones (release mode).
void VertexBuilder_SetChecked(bool checked);
