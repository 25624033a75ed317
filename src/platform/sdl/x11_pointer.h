// The pointer's buttons as the X server holds them, for SDL's X11 video driver.
#pragma once

#include <SDL.h>

// SDL's X11 driver lets the pointer's grab go whenever a window of its gains the focus or the pointer
// comes back into it, also while a button pressed in the window is held: let go outside the window then,
// the button's release goes to whatever lies under the pointer, and SDL holds the button down for good (it
// takes the next press of it for no change, and drops it).
//
// Asks the X server for the state of its buttons and, for each of `held` (SDL's masks: left, middle and
// right) that the server has up and no queued event lets go, puts a release of it on `window` at the head
// of the connection's queue of events, for SDL to take before any other. The server's answer comes after
// every event it sent before: the button was let go unseen, and whatever is queued came after. Returns
// the buttons released; 0 where the window is not on X11.
Uint32 X11Pointer_ReleaseLetGo(SDL_Window* window, Uint32 held);
