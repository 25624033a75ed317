#include "platform/sdl/x11_title.h"

#include "core/utf8.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

X11TitleForms X11Title_Forms(const char* title) {
    X11TitleForms forms;
    const size_t length = title ? std::strlen(title) : 0;
    forms.utf8.reserve(length);
    forms.latin1.reserve(length);
    for (size_t i = 0; i < length;) {
        const size_t at = i;
        const int32_t c = Text_NextCodePoint(title, length, i);
        if (c < 0) forms.utf8 += "\xEF\xBF\xBD";
        else forms.utf8.append(title + at, i - at);
        const bool inString = c == '\t' || c == '\n' || (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF);
        forms.latin1 += inString ? static_cast<char>(c) : '?';
    }
    return forms;
}

void X11Title_Set(SDL_Window* window, const char* title) {
    if (!window) return;
    if (!title) title = "";
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) {
        SDL_SetWindowTitle(window, title);
        return;
    }
    Display* display = info.info.x11.display;
    const Window xwindow = info.info.x11.window;
    const X11TitleForms forms = X11Title_Forms(title);
    const auto set = [&](Atom property, Atom type, const std::string& text) {
        XChangeProperty(display, xwindow, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(std::min<size_t>(text.size(), INT_MAX)));
    };
    set(XInternAtom(display, "_NET_WM_NAME", False), XInternAtom(display, "UTF8_STRING", False), forms.utf8);
    set(XA_WM_NAME, XA_STRING, forms.latin1);
    XFlush(display);
}
