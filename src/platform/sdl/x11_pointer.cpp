#include "platform/sdl/x11_pointer.h"

#include "platform/sdl/x11_window_of.h"

#include <X11/Xlib.h>

namespace {

// Looks through the connection's queue for releases of buttons, taking nothing from it: XCheckIfEvent
// removes only an event its test accepts.
Bool NoteRelease(Display*, XEvent* event, XPointer arg) {
    if (event->type == ButtonRelease && event->xbutton.button < 32)
        *reinterpret_cast<unsigned int*>(arg) |= 1u << event->xbutton.button;
    return False;
}

} // namespace

Uint32 X11Pointer_ReleaseLetGo(SDL_Window* window, Uint32 held) {
    Display* display = nullptr;
    Window xwindow = 0;
    if (!X11Window_Of(window, display, xwindow)) return 0;
    Window root = 0, child = 0;
    int rootX = 0, rootY = 0, x = 0, y = 0;
    unsigned int state = 0;
    // (False where the pointer is on another screen, with the buttons told all the same.)
    XQueryPointer(display, xwindow, &root, &child, &rootX, &rootY, &x, &y, &state);
    // A release already queued is the button's own, with its own place; nothing is put before it.
    unsigned int queued = 0;
    XEvent scanned;
    XCheckIfEvent(display, &scanned, NoteRelease, reinterpret_cast<XPointer>(&queued));
    constexpr struct {
        Uint32 sdl;
        unsigned int button, mask;
    } kButtons[] = {{SDL_BUTTON_LMASK, Button1, Button1Mask},
                    {SDL_BUTTON_MMASK, Button2, Button2Mask},
                    {SDL_BUTTON_RMASK, Button3, Button3Mask}};
    Uint32 released = 0;
    for (const auto& b : kButtons) {
        if (!(held & b.sdl) || (state & b.mask) || (queued & (1u << b.button))) continue;
        XEvent event{};
        XButtonEvent& release = event.xbutton;
        release.type = ButtonRelease;
        release.send_event = True;
        release.display = display;
        release.window = xwindow;
        release.root = root;
        release.time = CurrentTime;
        release.x = x;
        release.y = y;
        release.x_root = rootX;
        release.y_root = rootY;
        release.state = state | b.mask; // the state before the event, as the server gives it
        release.button = b.button;
        release.same_screen = True;
        XPutBackEvent(display, &event);
        released |= b.sdl;
    }
    return released;
}
