// The X display and window of an SDL window, for the SDL backend's files that call Xlib (its header
// brings Xlib's names, which clash with others, into those files only).
#pragma once

#include <SDL.h>
#include <SDL_syswm.h>

// False where the window is not an X11 window.
bool X11Window_Of(SDL_Window* window, Display*& display, Window& xwindow);
