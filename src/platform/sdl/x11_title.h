// The titles of the SDL backend's windows, as the programs of an X desktop read them.
#pragma once

#include <SDL.h>

#include <string>

// A title in the two forms an X window carries it in.
struct X11TitleForms {
    // For _NET_WM_NAME (UTF8_STRING), which window managers and task bars read: the title itself, each
    // byte that begins no valid UTF-8 sequence as U+FFFD.
    std::string utf8;
    // For WM_NAME (STRING: Latin-1, its graphic characters, tab and newline), which older programs read
    // and window managers fall back on: the title, each character STRING cannot hold as "?".
    std::string latin1;
};
X11TitleForms X11Title_Forms(const char* title);

// Gives the window the title (UTF-8). On X11 the runner writes both properties itself: SDL's X11 driver
// converts the title through the process's locale, which the runner leaves at "C", and would type its
// UTF-8 bytes as Latin-1 in WM_NAME, and for a character the conversion lacks leave _NET_WM_NAME as it
// was (and the converted text unfreed). Elsewhere SDL sets it.
void X11Title_Set(SDL_Window* window, const char* title);
