// The layer that stands where the runner's Windows calls stood: one main window with a window
// procedure fed by a message pump, the key state, the clock and sleep, the clipboard, message boxes and
// the screen. The calls keep the shape of the Windows calls they replace; a backend (the SDL window,
// or the scripted fake of the tests) does the work behind them. Main thread only.
#pragma once

#include "platform/messages.h"

#include <cstdint>
#include <string>
#include <vector>

// Window styles, as the general-information flags choose them.
constexpr uint32_t WS_POPUP = 0x80000000u;
constexpr uint32_t WS_CAPTION = 0x00C00000u;
constexpr uint32_t WS_SYSMENU = 0x00080000u;
constexpr uint32_t WS_THICKFRAME = 0x00040000u;
constexpr uint32_t WS_MINIMIZEBOX = 0x00020000u;
constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000u;

// System cursors by their Windows ids; 0 is no cursor at all.
constexpr int32_t IDC_NONE = 0;
constexpr int32_t IDC_ARROW = 32512;
constexpr int32_t IDC_IBEAM = 32513;
constexpr int32_t IDC_WAIT = 32514;
constexpr int32_t IDC_CROSS = 32515;
constexpr int32_t IDC_UPARROW = 32516;
constexpr int32_t IDC_SIZENWSE = 32642;
constexpr int32_t IDC_SIZENESW = 32643;
constexpr int32_t IDC_SIZEWE = 32644;
constexpr int32_t IDC_SIZENS = 32645;
constexpr int32_t IDC_SIZEALL = 32646;
constexpr int32_t IDC_NO = 32648;
constexpr int32_t IDC_HAND = 32649;
constexpr int32_t IDC_APPSTARTING = 32650;
constexpr int32_t IDC_HELP = 32651;

// The window's cursor table, by the engine's index: 0 arrow, 1 none, 2 cross, 3 I-beam, 4 size NE-SW,
// 5 size N-S, 6 size NW-SE, 7 size W-E, 8 up arrow, 9 wait, 10 hand, 11 no entry, 12 application
// starting, 13 help, 14 size all.
constexpr int kCursorTableSize = 15;
inline constexpr int32_t kCursorTable[kCursorTableSize] = {
    IDC_ARROW,  IDC_NONE,  IDC_CROSS, IDC_IBEAM, IDC_SIZENESW,    IDC_SIZENS, IDC_SIZENWSE, IDC_SIZEWE,
    IDC_UPARROW, IDC_WAIT, IDC_HAND,  IDC_NO,    IDC_APPSTARTING, IDC_HELP,   IDC_SIZEALL,
};

// Message boxes: the buttons in the low four bits, an icon, the default button.
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_OKCANCEL = 0x1;
constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
constexpr uint32_t MB_YESNOCANCEL = 0x3;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_RETRYCANCEL = 0x5;
constexpr uint32_t MB_CANCELTRYCONTINUE = 0x6;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr uint32_t MB_DEFBUTTON2 = 0x100;
constexpr uint32_t MB_DEFBUTTON3 = 0x200;
constexpr uint32_t MB_TOPMOST = 0x40000;
// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

// The buttons of a message-box type, left to right, with the one Enter chooses (the default) and the
// one Escape or the close box chooses (-1: the box cannot be dismissed that way).
struct MessageBoxButtons {
    int count = 0;
    int ids[3] = {};
    int defaultIndex = 0;
    int escapeIndex = -1;
};
MessageBoxButtons MessageBox_Buttons(uint32_t type);
// "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No", "Try Again", "Continue"; "" for others.
const char* MessageBox_ButtonName(int id);
// The text with every line longer than columns characters broken at its last blank before the limit (a
// word longer than a line is broken inside), so that a box sized to its longest line fits the screen.
// Columns count UTF-8 characters; line ends already in the text stay.
std::string MessageBox_WrapText(const std::string& text, int columns);

struct PlatformRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct PlatformDisplayMode {
    int32_t width = 0, height = 0;
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0;  // 0 when the system does not say
    bool operator==(const PlatformDisplayMode&) const = default;
};

struct PlatformWindowDesc {
    int32_t clientWidth = 0, clientHeight = 0;
    uint32_t style = 0;
    // The window will carry an OpenGL context (where there is a display to show it on).
    bool openGL = false;
};

// The window procedure: the result is what Windows would return to the sender (0 for most messages).
using PlatformWindowProc = int64_t (*)(uint32_t message, uint64_t wParam, int64_t lParam);

class IPlatformBackend;

// Installs the backend every call below goes through (null: none). Any window of the previous one is
// forgotten, along with the message queue and the key state. Installing a backend also installs an
// out-of-memory handler that shows "Out of Memory!" titled "Fatal Memory Error" before the run ends.
void Platform_SetBackend(IPlatformBackend* backend);
IPlatformBackend* Platform_GetBackend();
// The display has gone away (its server closed the connection): every call to the backend, and every
// one to the graphics device, would touch it again. The backend is let go as above (and never destroyed),
// and the device's owners leave it alone from now on (Platform_DisplayLost).
void Platform_LoseDisplay();
bool Platform_DisplayLost();

// Unattended runs ("-noerrors"): message boxes and dialogs answer by themselves, as they do when there
// is no display, and say on the release console what they would have shown.
void Platform_SetUnattended(bool unattended);
// True when someone can answer a dialog: a backend with a display, and not unattended.
bool Platform_IsInteractive();

// The main window, created hidden and centred on the screen, with its procedure. False when there is no
// backend, a window already exists, or the system refused.
bool Platform_CreateWindow(const PlatformWindowDesc& desc, PlatformWindowProc proc);
bool Platform_IsWindow();
// The backend's system window under the main window (see IPlatformBackend::NativeWindow); null without
// a backend.
void* Platform_NativeWindow();
// Sends WM_DESTROY to the procedure, then the window goes; messages still queued for it are dropped.
void Platform_DestroyWindow();
void Platform_ShowWindow();
// Frame from WS_CAPTION, sizing from WS_THICKFRAME; WS_POPUP has neither.
void Platform_SetWindowStyle(uint32_t style);
// UTF-8 caption; null is the empty caption.
void Platform_SetWindowText(const char* text);
// Client-area size; 0 x 0 while the window is minimised (or when there is none: false).
bool Platform_GetClientSize(int32_t& width, int32_t& height);
bool Platform_SetClientSize(int32_t width, int32_t height);
// Outer rectangle (frame included) in screen pixels.
bool Platform_GetWindowRect(PlatformRect& rect);
// Moves the outer top-left corner, keeping the size.
bool Platform_MoveWindow(int32_t x, int32_t y);
bool Platform_SetFullscreen(bool fullscreen);
// A cursor id (IDC_...) shown over the client area; IDC_NONE hides it.
void Platform_SetCursor(int32_t cursor);
bool Platform_HasFocus();
// Client point to screen point.
bool Platform_ClientToScreen(int32_t& x, int32_t& y);
// The system cursor in screen pixels.
bool Platform_GetCursorPos(int32_t& x, int32_t& y);
bool Platform_SetCursorPos(int32_t x, int32_t y);
// The desktop's mode: that of the display the window is on (the main display while there is no window).
bool Platform_GetDesktopMode(PlatformDisplayMode& mode);
// The modes that display lists, in the system's order (modes listed without a size are left out); false
// when the system cannot list them.
bool Platform_GetDisplayModes(std::vector<PlatformDisplayMode>& modes);
// The mode the display takes while the window is full screen: one of the listed modes, or for 0 x 0 the
// desktop's own (the display keeps its mode, as it does until a mode is chosen). Applied at once when the
// window is full screen. False, with nothing changed, when the mode is not listed or the system refuses.
bool Platform_SetFullscreenMode(const PlatformDisplayMode& mode);

// The next message, removed from the queue; the backend is asked for new input when the queue is empty.
// False when there is none. Character messages arrive already made: there is no TranslateMessage step.
bool Platform_PeekMessage(PlatformMessage& msg);
// Gives the message to the window procedure; messages without a live window (WM_QUIT among them) go
// nowhere and give 0.
int64_t Platform_DispatchMessage(const PlatformMessage& msg);
// Calls the window procedure at once.
int64_t Platform_SendMessage(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);
void Platform_PostMessage(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);
// Asks the window to close as its close box does: the next look for messages finds WM_CLOSE. A request
// made while there is no window, or while requests are held, is kept until the first look for messages
// after that. The one call of this layer that any thread, and a signal handler, may make.
void Platform_AskToClose();
// While held, a close request (Platform_AskToClose) waits: the runner holds them from its start until
// its main loop starts, so that a request made during start-up ends the game once there is one to end.
void Platform_HoldCloseRequests(bool hold);
// What a procedure passes on: WM_CLOSE destroys the window; WM_SYSCHAR sends WM_SYSCOMMAND SC_KEYMENU
// with the character (so Alt+Enter arrives as SC_KEYMENU with 13); WM_SETCURSOR over the client area
// shows the arrow. There is no system menu: other commands do nothing.
int64_t Platform_DefWindowProc(uint32_t message, uint64_t wParam, int64_t lParam);
// The key state as of the last message taken from the queue (see CKeyState::Get).
int16_t Platform_GetKeyState(int vk);
// A key going down or up as if the player had pressed it: its messages are posted to the queue.
void Platform_KeyEvent(uint8_t vk, bool down);
// Num Lock's toggle state.
bool Platform_GetNumLock();
void Platform_SetNumLock(bool on);

// Microseconds of a monotonic clock; Sleep in milliseconds, SleepMicroseconds in microseconds (nothing
// for 0 or less).
int64_t Platform_GetMicroseconds();
void Platform_Sleep(uint32_t milliseconds);
void Platform_SleepMicroseconds(int64_t microseconds);

// Clipboard text, UTF-8 both ways. Without a clipboard: no text, "" and false.
bool Platform_ClipboardHasText();
std::string Platform_GetClipboardText();
bool Platform_SetClipboardText(const char* text);

// A message box with no owner. When no one can answer (Platform_IsInteractive false, or the system
// could not show it) the default button answers and the release console says what was shown.
int Platform_MessageBox(const char* text, const char* caption, uint32_t type);
