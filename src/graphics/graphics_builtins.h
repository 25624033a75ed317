// The graphics groups of built-in functions, registered once at start-up in the order of the function
// table, and the switch between the checked and the fast vertex writers.
#pragma once

// The parts of the graphic group, in the group's order (the world's draw_path follows the shapes, and
// its draw_self opens the sprite and background drawing).
void InitDrawStateFunctions();
// draw_point .. draw_healthbar.
void InitShapeFunctions();
// The coloured shapes and the primitives, draw_point_colour .. draw_vertex_texture_color.
void InitShapeColourFunctions();
// sprite_get_uvs .. texture_set_priority.
void InitTextureFunctions();
void InitTextFunctions();
// The draw_sprite_* and draw_background_* entries.
void InitSpriteDrawFunctions();
void InitCornerIdFunctions();
// The display_* entries, which follow the window_* entries.
void InitDisplayFunctions();
// The surface_* and draw_surface_* entries, which close the group after the tile entries.
void InitSurfaceFunctions();
// The sprite and background entries of the resource group, which open it.
void InitSpriteResourceFunctions();
// The font_* resource built-ins of the resource group.
void InitFontResourceFunctions();
void Init3DFunctions();
void InitParticleFunctions();
void InitVertexFunctions();
void InitShaderFunctions();
void InitVertexFormatFunctions();

// True binds the checked vertex_* writers, false the fast ones (release mode).
void VertexBuilder_SetChecked(bool checked);
