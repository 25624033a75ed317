// The titles of the SDL backend's windows, as the programs of an X desktop read them.
#pragma once

#include <SDL.h>

#include <cstddef>
#include <cstdint>
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
// Each form holds whole characters only, cut where one more would pass maxBytes.
X11TitleForms X11Title_Forms(const char* title, size_t maxBytes = SIZE_MAX);

// The title as far as one property request to the window's X server carries it (its largest request,
// with the big-requests extension where the server has it, less the request's own header), cut after
// whole characters (UTF-8); all of it where the window is not an X11 window. A longer request would be
// read by the server as its own bytes followed by the text's, taken for requests. What another X client
// (a message box's) is given to set as its title.
std::string X11Title_Fitted(SDL_Window* window, const char* title);

// Gives the window the title (UTF-8). On X11 the runner writes both properties itself: SDL's X11 driver
// converts the title through the process's locale, which the runner leaves at "C", and would type its
// UTF-8 bytes as Latin-1 in WM_NAME, and for a character the conversion lacks leave _NET_WM_NAME as it
// was (and the converted text unfreed). Each form is cut to what one request to the server carries.
// Elsewhere SDL sets it.
void X11Title_Set(SDL_Window* window, const char* title);
