#include "platform/sdl/x11_window.h"

#include "platform/sdl/x11_window_of.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace {

// The items of a property of 32-bit items (XIDs or atoms) of the given type; empty where the window lacks
// it (or is gone: the failed request is the error handler's to ignore).
std::vector<unsigned long> Items(Display* display, Window window, const char* name, Atom type) {
    std::vector<unsigned long> items;
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 4096, False, type, &actual,
                           &format, &count, &after, &data) == Success &&
        data && actual == type && format == 32) {
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        items.assign(longs, longs + count);
    }
    if (data) XFree(data);
    return items;
}

} // namespace

bool X11Window_Of(SDL_Window* window, Display*& display, Window& xwindow) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
    display = info.info.x11.display;
    xwindow = info.info.x11.window;
    return true;
}

bool X11Window_FullScreenManaged(SDL_Window* window) {
    Display* display = nullptr;
    Window xwindow = 0;
    if (!X11Window_Of(window, display, xwindow)) return true;
    const Window root = DefaultRootWindow(display);
    // The root names a window of the manager's, which names itself: a name left on the root by a manager
    // that has gone names no such window.
    const std::vector<unsigned long> check = Items(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.size() != 1 || Items(display, check[0], "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) != check) return false;
    const unsigned long fullScreen = XInternAtom(display, "_NET_WM_STATE_FULLSCREEN", False);
    for (const unsigned long atom : Items(display, root, "_NET_SUPPORTED", XA_ATOM))
        if (atom == fullScreen) return true;
    return false;
}

void X11Window_Cover(SDL_Window* window, const SDL_Rect& rect) {
    Display* display = nullptr;
    Window xwindow = 0;
    if (!X11Window_Of(window, display, xwindow) || rect.w <= 0 || rect.h <= 0) return;
    XMoveResizeWindow(display, xwindow, rect.x, rect.y, static_cast<unsigned>(rect.w), static_cast<unsigned>(rect.h));
    XRaiseWindow(display, xwindow);
    XFlush(display);
}
