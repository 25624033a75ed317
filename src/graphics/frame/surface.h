// Surfaces: render-target textures the game creates, draws into through the four render-target slots,
// draws from, reads back and frees. Ids index the surface table; a freed record is reused, lowest
// first. Every operation on an id does nothing for an id that does not exist (getters give -1 or
// false).
#pragma once

#include <cstdint>

class IBitmap;

// A new surface of w x h; -1 when its render target cannot be made.
int Surface_Create(int w, int h);
void Surface_Free(int id);
// Frees every surface, those a flush marked gone included (device reset, shutdown).
void Surface_FreeAll();
bool Surface_Exists(int id);
int Surface_GetWidth(int id);
int Surface_GetHeight(int id);
// The texture id of a surface, -1 when none.
int Surface_GetTexture(int id);

// Makes a surface the render target of slot 0..3. The view (port and view area) in force when drawing
// first leaves the screen is kept and comes back at Surface_ResetTarget; a surface on slot 0 gets a view
// of its own size.
bool Surface_SetTargetExt(int slot, int id);
bool Surface_SetTarget(int id);
// Back to the targets in force before the first surface was set, with their view; all slots cleared.
bool Surface_ResetTarget();
// The surface drawn into by a slot, -1 for none.
int Surface_GetTarget(int slot);
// True while any slot draws into a surface.
bool Surface_DrawingToSurface();
// The frame dropped the render-target levels: no slot draws into a surface any more.
void Surface_ForgetTargets();
// draw_texture_flush's step: every surface counts as gone; its texture stays, so its texture id still
// works, until the record is reused or all surfaces are freed.
void Surface_MarkAllGone();

// A new 32-bit image of a rectangle of the surface (pixels outside it are 0); null when the surface
// does not exist or cannot be read.
IBitmap* Surface_GetBitmap(int id, int x, int y, int w, int h);
