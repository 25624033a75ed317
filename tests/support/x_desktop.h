// The test's side of an X desktop: a client of the test's own X server that finds the runner's windows,
// reads what they tell the window manager, and sends input through the server (XTest) as a player's
// keyboard and mouse would; and a window manager (openbox) of the test's own on that server.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// An X window's id (the protocol's XID); 0 is none.
using XWindowId = unsigned long;

struct XWindowGeometry {
    int x = 0, y = 0; // of the window's inside, on the root window
    int width = 0, height = 0;
};

class XDesktopClient {
public:
    // Connects to the display (":N"); Connected() is false where it cannot.
    explicit XDesktopClient(const std::string& display);
    ~XDesktopClient();
    XDesktopClient(const XDesktopClient&) = delete;
    XDesktopClient& operator=(const XDesktopClient&) = delete;

    bool Connected() const { return m_display != nullptr; }
    // Whether the server has the XTest extension, which every input below goes through.
    bool CanSendInput() const { return m_xtest; }

    // Every window below the root, depth first, the root's children first.
    std::vector<XWindowId> Windows() const;
    // The windows that a process has said are its own (_NET_WM_PID), mapped ones only when asked.
    std::vector<XWindowId> WindowsOf(pid_t process, bool mappedOnly = true) const;
    // Waits up to timeout for a window that pick accepts; 0 when none came.
    XWindowId WaitForWindow(const std::function<bool(XWindowId)>& pick,
                            std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Waits up to timeout for ready to hold, looking every 20 ms; whether it came to hold.
    static bool WaitFor(const std::function<bool()>& ready,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20));

    XWindowId Root() const;
    std::string Name(XWindowId window) const; // _NET_WM_NAME, else WM_NAME
    bool IsMapped(XWindowId window) const;
    bool Geometry(XWindowId window, XWindowGeometry& geometry) const;
    XWindowId Focused() const;
    // The frame the window manager has put around the window (or the window itself when none): the
    // top-level child of the root that holds it.
    XWindowId TopLevel(XWindowId window) const;
    XWindowId TransientFor(XWindowId window) const;
    // A property's items of 32 bits (as the protocol carries them: each widened to a long); empty when
    // the window lacks it.
    std::vector<long> Property32(XWindowId window, const char* name) const;
    // A property of 8-bit items (text) as the window holds it (up to 32 MiB), and the name of its type;
    // false when the window lacks it.
    bool Property8(XWindowId window, const char* name, std::string& type, std::string& bytes) const;
    // The most bytes of property data one request to the server can carry: its largest request (with the
    // big-requests extension where it has it) less a ChangeProperty request's own 28 bytes (as a big
    // request).
    size_t LargestPropertyRequest() const;
    // Whether the top-level window holding `window` lies above the one holding `other` in the stacking order.
    bool IsAbove(XWindowId window, XWindowId other) const;

    // The window that owns a selection ("CLIPBOARD"), 0 for none.
    XWindowId SelectionOwner(const char* selection) const;
    // Pastes the selection as UTF-8 text, as a program of the desktop would; false when its owner gave no
    // text within the time.
    bool ReadSelection(const char* selection, std::string& text,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
    // Asks for the selection as text from a window of this client's that goes away before its owner can
    // answer (a paste given up): the server handles no other client's requests between the two.
    void AskForSelectionAndLeave(const char* selection);

    // Input, as the server's own devices would send it; each is flushed to the server at once.
    void MovePointer(int x, int y);
    void Button(int button, bool down); // 1 left, 2 middle, 3 right
    void Click(int x, int y, int button = 1);
    void Key(unsigned long keysym, bool down); // an X keysym (XK_Return, ...)
    void TapKey(unsigned long keysym);
    // Types the text (UTF-8), giving a spare key each character the keyboard map lacks for the time of
    // its press (the keysym for a character outside Latin-1 is 0x1000000 + its code point).
    void Type(const std::string& text);
    // Waits until the server has handled everything sent so far.
    void Sync() const;
    // Asks the window to close as a window manager's close box does (WM_DELETE_WINDOW).
    void Close(XWindowId window);
    // Asks for the window's inside to take the size, as a program (or the player) resizing it does;
    // a window manager decides on the request.
    void Resize(XWindowId window, int width, int height);
    // Destroys the window, as a program that closes windows by force does.
    void DestroyWindow(XWindowId window);

private:
    void* m_display = nullptr; // Display*
    bool m_xtest = false;
};

class TempFolder;

// openbox on the display, with a configuration of the test's own, until this is destroyed. Running() is
// false where it could not be started or did not take the screen.
class XWindowManager {
public:
    explicit XWindowManager(const std::string& display);
    ~XWindowManager();
    XWindowManager(const XWindowManager&) = delete;
    XWindowManager& operator=(const XWindowManager&) = delete;
    bool Running() const { return m_running; }

private:
    pid_t m_pid = -1;
    bool m_running = false;
    std::unique_ptr<TempFolder> m_home;
};
