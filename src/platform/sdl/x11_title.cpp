#include "platform/sdl/x11_title.h"

#include "core/utf8.h"
#include "platform/sdl/x11_window_of.h"

#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

X11TitleForms X11Title_Forms(const char* title, size_t maxBytes) {
    X11TitleForms forms;
    const size_t length = title ? std::strlen(title) : 0;
    forms.utf8.reserve(std::min(length, maxBytes));
    forms.latin1.reserve(std::min(length, maxBytes));
    bool utf8Full = false;
    for (size_t i = 0; i < length && !(utf8Full && forms.latin1.size() >= maxBytes);) {
        const size_t at = i;
        const int32_t c = Text_NextCodePoint(title, length, i);
        // A byte that begins no sequence becomes U+FFFD, of three bytes.
        const size_t bytes = c < 0 ? 3 : i - at;
        utf8Full = utf8Full || bytes > maxBytes - forms.utf8.size();
        if (!utf8Full) forms.utf8.append(c < 0 ? "\xEF\xBF\xBD" : title + at, bytes);
        const bool inString = c == '\t' || c == '\n' || (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c <= 0xFF);
        if (forms.latin1.size() < maxBytes) forms.latin1 += inString ? static_cast<char>(c) : '?';
    }
    return forms;
}

namespace {

// A ChangeProperty request's own header: 24 bytes, 6 of the protocol's 4-byte units, and one more for the
// length of a big request.
constexpr long kChangePropertyUnits = 7;

size_t MaxPropertyBytes(Display* display) {
    long units = XExtendedMaxRequestSize(display);
    if (units <= 0) units = XMaxRequestSize(display);
    return units > kChangePropertyUnits ? static_cast<size_t>(units - kChangePropertyUnits) * 4 : 0;
}

} // namespace

std::string X11Title_Fitted(SDL_Window* window, const char* title) {
    if (!title) return "";
    Display* display = nullptr;
    Window xwindow = 0;
    const size_t maxBytes = X11Window_Of(window, display, xwindow) ? MaxPropertyBytes(display) : SIZE_MAX;
    const size_t length = std::strlen(title);
    if (length <= maxBytes) return title;
    size_t end = 0;
    for (size_t i = 0; i < length && i <= maxBytes; Text_NextCodePoint(title, length, i))
        end = i;
    return std::string(title, end);
}

void X11Title_Set(SDL_Window* window, const char* title) {
    if (!window) return;
    if (!title) title = "";
    Display* display = nullptr;
    Window xwindow = 0;
    if (!X11Window_Of(window, display, xwindow)) {
        SDL_SetWindowTitle(window, title);
        return;
    }
    const X11TitleForms forms = X11Title_Forms(title, MaxPropertyBytes(display));
    const auto set = [&](Atom property, Atom type, const std::string& text) {
        XChangeProperty(display, xwindow, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(text.data()),
                        static_cast<int>(std::min<size_t>(text.size(), INT_MAX)));
    };
    set(XInternAtom(display, "_NET_WM_NAME", False), XInternAtom(display, "UTF8_STRING", False), forms.utf8);
    set(XA_WM_NAME, XA_STRING, forms.latin1);
    XFlush(display);
}
