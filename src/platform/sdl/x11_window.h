// The SDL backend's windows as X windows, for what SDL's X11 driver leaves undone: on an X server with no
// window manager (a kiosk's or a cabinet's bare X session), nobody acts on the request for full screen
// that SDL sends to the window manager, and the window keeps its size and place.
#pragma once

#include <SDL.h>

// Whether a window manager runs on the window's X server that takes windows to full screen (it names
// itself on the root window, as the desktop's conventions have it, and lists the full-screen state among
// those it supports); true where the window is not an X11 window.
bool X11Window_FullScreenManaged(SDL_Window* window);

// Moves and sizes the window to the rectangle (of the root window) itself, above every other window.
void X11Window_Cover(SDL_Window* window, const SDL_Rect& rect);
