#include "support/x_desktop.h"

#include "support/temp_folder.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

Display* Dpy(void* display) {
    return static_cast<Display*>(display);
}

// Errors from windows that go away while they are looked at (a box closing) are expected here; Xlib's
// default handler would end the test program.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

void CollectWindows(Display* display, Window parent, std::vector<XWindowId>& into) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count)) return;
    const std::vector<Window> list(children, children + count);
    if (children) XFree(children);
    for (Window child : list) {
        into.push_back(child);
        CollectWindows(display, child, into);
    }
}

// The keycodes given characters the keyboard map lacks, kept for the connection's life: a client looks
// the map up only when it handles the key, which may be after a restored map would have taken it back.
std::map<void*, std::map<unsigned long, KeyCode>> g_spareKeys;

// The code point at p (UTF-8), p moved past it; a byte that begins no sequence stands for itself.
uint32_t NextCodePoint(const unsigned char*& p, const unsigned char* end) {
    const unsigned char lead = *p++;
    const int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
    uint32_t c = more == 0 ? lead : lead & (0x3F >> more);
    for (int i = 0; i < more && p < end; ++i)
        c = c << 6 | (*p++ & 0x3F);
    return c;
}

// A property of UTF-8 text ("" when the window lacks it).
std::string Utf8Property(Display* d, Window window, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(d, window, property, 0, 1 << 20, False, XInternAtom(d, "UTF8_STRING", False), &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 8)
        text.assign(reinterpret_cast<char*>(data), count);
    if (data) XFree(data);
    return text;
}

// Reads a property of any type, of up to length 32-bit units, and gives its type, its items' size in bits
// and its items to take; take is not called where the window lacks it.
template <typename Take>
void ReadProperty(Display* d, Window window, const char* name, long length, Take take) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, length, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        type != None)
        take(type, format, data, count);
    if (data) XFree(data);
}

// A window of the client's own, unmapped, to receive a selection's text in.
Window SelectionWindow(Display* d) {
    return XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
}

void AskForText(Display* d, const char* selection, Window into) {
    XConvertSelection(d, XInternAtom(d, selection, False), XInternAtom(d, "UTF8_STRING", False),
                      XInternAtom(d, "PASTED", False), into, CurrentTime);
}

} // namespace

XDesktopClient::XDesktopClient(const std::string& display) {
    Display* d = XOpenDisplay(display.c_str());
    if (!d) return;
    XSetErrorHandler(IgnoreErrors);
    m_display = d;
    int event = 0, error = 0, major = 0, minor = 0;
    m_xtest = XTestQueryExtension(d, &event, &error, &major, &minor);
}

XDesktopClient::~XDesktopClient() {
    if (!m_display) return;
    g_spareKeys.erase(m_display);
    XCloseDisplay(Dpy(m_display));
}

std::vector<XWindowId> XDesktopClient::Windows() const {
    std::vector<XWindowId> windows;
    if (m_display) CollectWindows(Dpy(m_display), DefaultRootWindow(Dpy(m_display)), windows);
    return windows;
}

std::vector<XWindowId> XDesktopClient::WindowsOf(pid_t process, bool mappedOnly) const {
    std::vector<XWindowId> mine;
    for (XWindowId window : Windows()) {
        const std::vector<long> pid = Property32(window, "_NET_WM_PID");
        if (pid.size() == 1 && pid[0] == process && (!mappedOnly || IsMapped(window))) mine.push_back(window);
    }
    return mine;
}

XWindowId XDesktopClient::WaitForWindow(const std::function<bool(XWindowId)>& pick,
                                        std::chrono::milliseconds timeout) const {
    XWindowId found = 0;
    WaitFor(
        [&] {
            for (XWindowId window : Windows())
                if (pick(window)) return (found = window) != 0;
            return false;
        },
        timeout);
    return found;
}

bool XDesktopClient::WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (ready()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string XDesktopClient::Name(XWindowId window) const {
    if (!m_display) return "";
    Display* d = Dpy(m_display);
    std::string name = Utf8Property(d, window, XInternAtom(d, "_NET_WM_NAME", False));
    if (!name.empty()) return name;
    char* plain = nullptr;
    if (XFetchName(d, window, &plain) && plain) {
        name = plain;
        XFree(plain);
    }
    return name;
}

bool XDesktopClient::IsMapped(XWindowId window) const {
    XWindowAttributes attributes;
    return m_display && XGetWindowAttributes(Dpy(m_display), window, &attributes) &&
           attributes.map_state == IsViewable;
}

bool XDesktopClient::Geometry(XWindowId window, XWindowGeometry& geometry) const {
    if (!m_display) return false;
    Display* d = Dpy(m_display);
    XWindowAttributes attributes;
    Window child = 0;
    if (!XGetWindowAttributes(d, window, &attributes) ||
        !XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &geometry.x, &geometry.y, &child))
        return false;
    geometry.width = attributes.width;
    geometry.height = attributes.height;
    return true;
}

XWindowId XDesktopClient::Root() const {
    return m_display ? DefaultRootWindow(Dpy(m_display)) : 0;
}

XWindowId XDesktopClient::Focused() const {
    Window focus = 0;
    int revert = 0;
    if (m_display) XGetInputFocus(Dpy(m_display), &focus, &revert);
    return focus;
}

XWindowId XDesktopClient::TopLevel(XWindowId window) const {
    if (!m_display) return 0;
    Display* d = Dpy(m_display);
    for (;;) {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(d, window, &root, &parent, &children, &count)) return 0;
        if (children) XFree(children);
        if (parent == root || parent == 0) return window;
        window = parent;
    }
}

XWindowId XDesktopClient::TransientFor(XWindowId window) const {
    Window owner = 0;
    if (m_display && XGetTransientForHint(Dpy(m_display), window, &owner)) return owner;
    return 0;
}

std::vector<long> XDesktopClient::Property32(XWindowId window, const char* name) const {
    std::vector<long> items;
    if (m_display)
        ReadProperty(Dpy(m_display), window, name, 1024, [&](Atom, int format, unsigned char* data, unsigned long count) {
            if (format == 32 && data)
                items.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
        });
    return items;
}

bool XDesktopClient::Property8(XWindowId window, const char* name, std::string& type, std::string& bytes) const {
    bool found = false;
    if (!m_display) return found;
    Display* d = Dpy(m_display);
    ReadProperty(d, window, name, 1 << 23, [&](Atom actual, int format, unsigned char* data, unsigned long count) {
        if (format != 8) return;
        found = true;
        bytes.assign(data ? reinterpret_cast<char*>(data) : "", data ? count : 0);
        char* typeName = XGetAtomName(d, actual);
        type = typeName ? typeName : "";
        if (typeName) XFree(typeName);
    });
    return found;
}

size_t XDesktopClient::LargestPropertyRequest() const {
    if (!m_display) return 0;
    long units = XExtendedMaxRequestSize(Dpy(m_display));
    if (units <= 0) units = XMaxRequestSize(Dpy(m_display));
    return units > 7 ? static_cast<size_t>(units - 7) * 4 : 0;
}

bool XDesktopClient::IsAbove(XWindowId window, XWindowId other) const {
    if (!m_display) return false;
    Display* d = Dpy(m_display);
    const XWindowId top = TopLevel(window), otherTop = TopLevel(other);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return false;
    int at = -1, otherAt = -1; // bottom first
    for (unsigned i = 0; i < count; ++i) {
        if (children[i] == top) at = static_cast<int>(i);
        if (children[i] == otherTop) otherAt = static_cast<int>(i);
    }
    if (children) XFree(children);
    return at >= 0 && otherAt >= 0 && at > otherAt;
}

void XDesktopClient::MovePointer(int x, int y) {
    if (!m_xtest) return;
    XTestFakeMotionEvent(Dpy(m_display), -1, x, y, CurrentTime);
    XFlush(Dpy(m_display));
}

void XDesktopClient::Button(int button, bool down) {
    if (!m_xtest) return;
    XTestFakeButtonEvent(Dpy(m_display), static_cast<unsigned>(button), down, CurrentTime);
    XFlush(Dpy(m_display));
}

void XDesktopClient::Click(int x, int y, int button) {
    MovePointer(x, y);
    Button(button, true);
    Button(button, false);
}

void XDesktopClient::Key(unsigned long keysym, bool down) {
    if (!m_xtest) return;
    Display* d = Dpy(m_display);
    const KeyCode code = XKeysymToKeycode(d, keysym);
    if (code == 0) return;
    XTestFakeKeyEvent(d, code, down, CurrentTime);
    XFlush(d);
}

void XDesktopClient::TapKey(unsigned long keysym) {
    Key(keysym, true);
    Key(keysym, false);
}

void XDesktopClient::Type(const std::string& text) {
    if (!m_xtest) return;
    Display* d = Dpy(m_display);
    const auto* at = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = at + text.size();
    std::map<unsigned long, KeyCode>& spare = g_spareKeys[m_display];
    while (at < end) {
        const uint32_t c = NextCodePoint(at, end);
        const unsigned long keysym = c == '\n' ? XK_Return : c == '\b' ? XK_BackSpace : c < 0x100 ? c : 0x1000000 + c;
        KeyCode code = XKeysymToKeycode(d, keysym);
        bool shift = false;
        if (code != 0) {
            shift = XkbKeycodeToKeysym(d, code, 0, 0) != keysym && XkbKeycodeToKeysym(d, code, 0, 1) == keysym;
        } else if (auto given = spare.find(keysym); given != spare.end()) {
            code = given->second;
        } else {
            // A keycode the map leaves empty takes the character.
            int low = 0, high = 0, perCode = 0;
            XDisplayKeycodes(d, &low, &high);
            KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &perCode);
            for (int k = high; k >= low && code == 0; --k) {
                bool empty = true;
                for (int i = 0; i < perCode; ++i)
                    empty = empty && map[(k - low) * perCode + i] == NoSymbol;
                bool taken = false;
                for (const auto& [sym, used] : spare)
                    taken = taken || used == k;
                if (empty && !taken) code = static_cast<KeyCode>(k);
            }
            if (map) XFree(map);
            if (code == 0) continue;
            KeySym both[2] = {keysym, keysym};
            XChangeKeyboardMapping(d, code, 2, both, 1);
            XSync(d, False);
            spare[keysym] = code;
        }
        const KeyCode shiftCode = XKeysymToKeycode(d, XK_Shift_L);
        if (shift) XTestFakeKeyEvent(d, shiftCode, True, CurrentTime);
        XTestFakeKeyEvent(d, code, True, CurrentTime);
        XTestFakeKeyEvent(d, code, False, CurrentTime);
        if (shift) XTestFakeKeyEvent(d, shiftCode, False, CurrentTime);
        XFlush(d);
    }
}

void XDesktopClient::Sync() const {
    if (m_display) XSync(Dpy(m_display), False);
}

void XDesktopClient::Close(XWindowId window) {
    if (!m_display) return;
    Display* d = Dpy(m_display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XFlush(d);
}

void XDesktopClient::Resize(XWindowId window, int width, int height) {
    if (!m_display) return;
    XResizeWindow(Dpy(m_display), window, static_cast<unsigned>(width), static_cast<unsigned>(height));
    XFlush(Dpy(m_display));
}

void XDesktopClient::DestroyWindow(XWindowId window) {
    if (!m_display) return;
    XDestroyWindow(Dpy(m_display), window);
    XSync(Dpy(m_display), False);
}

XWindowManager::XWindowManager(const std::string& display) {
    if (display.empty()) return;
    m_home = std::make_unique<TempFolder>();
    const std::string home = m_home->Path();
    std::fflush(nullptr); // what the test has buffered is not written again by the child
    m_pid = fork();
    if (m_pid == 0) {
        setsid();
        // A home of its own: no configuration of the machine's user is read, and no session is kept.
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("DBUS_SESSION_BUS_ADDRESS", "disabled:", 1);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid < 0) return;
    // A window manager that has taken the screen names a window of its own on the root window.
    XDesktopClient client(display);
    m_running = client.Connected() && XDesktopClient::WaitFor([&] {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            return true;
        }
        return !client.Property32(client.Root(), "_NET_SUPPORTING_WM_CHECK").empty();
    });
    m_running = m_running && m_pid > 0;
}

XWindowManager::~XWindowManager() {
    if (m_pid <= 0) return;
    kill(-m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}

XWindowId XDesktopClient::SelectionOwner(const char* selection) const {
    return m_display ? XGetSelectionOwner(Dpy(m_display), XInternAtom(Dpy(m_display), selection, False)) : 0;
}

bool XDesktopClient::ReadSelection(const char* selection, std::string& text,
                                   std::chrono::milliseconds timeout) const {
    if (!m_display) return false;
    Display* d = Dpy(m_display);
    const Window into = SelectionWindow(d);
    AskForText(d, selection, into);
    XFlush(d);
    XEvent event{};
    const bool answered = WaitFor([&] { return XCheckTypedWindowEvent(d, into, SelectionNotify, &event); }, timeout);
    const bool given = answered && event.xselection.property != None;
    if (given) text = Utf8Property(d, into, event.xselection.property);
    XDestroyWindow(d, into);
    XSync(d, False);
    return given;
}

void XDesktopClient::AskForSelectionAndLeave(const char* selection) {
    if (!m_display) return;
    Display* d = Dpy(m_display);
    const Window gone = SelectionWindow(d);
    XGrabServer(d);
    AskForText(d, selection, gone);
    XDestroyWindow(d, gone);
    XUngrabServer(d);
    XSync(d, False);
}
