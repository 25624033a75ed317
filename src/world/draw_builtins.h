// The drawing built-ins that draw what the world holds, registered among the graphic group's entries.
#pragma once

// draw_path, between the plain and the coloured shapes.
void InitPathDrawFunctions();
// draw_self, before the sprite-drawing built-ins.
void InitSelfDrawFunctions();
