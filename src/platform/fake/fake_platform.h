// A scripted platform for unit tests: input is injected and delivered at the next poll, the screen has a
// fixed size, the clipboard lives in memory, the clock moves only when told (or when slept on), and
// every window call is recorded in plain fields the tests read.
#pragma once

#include "platform/backend.h"
#include "platform/input_translator.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CFakePlatform final : public IPlatformBackend {
public:
    // The frame a bordered fake window has around its client area.
    static constexpr int32_t kFrameSide = 8;
    static constexpr int32_t kFrameTop = 31;

    explicit CFakePlatform(int32_t screenWidth = 1024, int32_t screenHeight = 768);

    // --- scripted input, delivered at the next poll ---
    // A raw message, exactly as given.
    void InjectMessage(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0);
    // A key by its code; 160..165 choose the side of a modifier (see Key_FromCode).
    void InjectKey(uint8_t vk, bool down, bool repeat = false);
    void InjectKey(const PCKey& key, bool down, bool repeat = false);
    // A key pressed and released.
    void InjectKeyPress(uint8_t vk);
    void InjectText(const char* utf8);
    // The mouse at a client position; buttons 1 left, 2 right, 3 middle (4, 5 the extra ones).
    void InjectMouseMove(int32_t x, int32_t y);
    void InjectMouseButton(int button, bool down);
    void InjectWheel(int notches);
    void InjectFocus(bool gained);
    // The player resizes or minimises the window.
    void InjectResize(int32_t clientWidth, int32_t clientHeight);
    void InjectMinimize();
    void InjectClose();

    // --- clock ---
    void AdvanceClock(int64_t microseconds) { now += microseconds; }

    // --- recorded state ---
    struct Window {
        bool exists = false;
        bool visible = false;
        bool fullscreen = false;
        bool minimized = false;
        bool openGL = false;
        uint32_t style = 0;
        std::string caption;
        int32_t x = 0, y = 0;  // client-area origin on the screen
        int32_t width = 0, height = 0;
        int32_t cursor = IDC_ARROW;
    };
    struct ShownBox {
        std::string text, caption;
        uint32_t type = 0;
    };

    PlatformDisplayMode screen;
    // The modes the display lists (the screen's own alone unless a test lists others), whether the
    // desktop can be asked at all, and the full-screen mode last chosen (0 x 0: the desktop's).
    std::vector<PlatformDisplayMode> displayModes;
    bool desktopKnown = true;
    PlatformDisplayMode fullscreenMode;
    Window window;
    bool hasDisplay = false;
    bool focus = false;
    int64_t now = 0;
    // Every read of the clock moves it on this far: for runs that nobody drives, whose waits must end.
    int64_t clockStep = 0;
    std::vector<uint32_t> sleeps;                 // Sleep, in milliseconds
    std::vector<int64_t> microsecondSleeps;       // SleepMicroseconds
    int32_t cursorX = 0, cursorY = 0;  // screen pixels
    std::optional<std::string> clipboard;
    // Message boxes asked for while hasDisplay is set, and the answers they get in turn (-1 once the
    // answers run out: the box "could not be shown").
    std::vector<ShownBox> shownBoxes;
    std::deque<int> answers;
    // Dialog forms shown while hasDisplay is set (kind, caption, prompt), the one open now, and what the
    // player does to it: each poll while a form is open runs the next action on it.
    struct ShownForm {
        DialogKind kind;
        std::string caption, prompt, field0, field1;
    };
    std::vector<ShownForm> shownForms;
    CDialogForm* openForm = nullptr;
    std::deque<std::function<void(CDialogForm&)>> formActions;
    // The text panel shown now (while hasDisplay is set).
    CTextPanel* openPanel = nullptr;
    bool numLock = false;
    // Game controllers: the pads in their slots, the motor speeds last sent, the two joysticks.
    struct Pad {
        bool connected = false;
        int subtype = 1;
        PlatformPadState state;
        uint16_t vibrationLeft = 0, vibrationRight = 0;
    };
    bool padsAvailable = false;
    Pad pads[kPlatformPadCount];
    int padReads = 0; // GetPadState calls
    struct Joystick {
        bool present = false;
        PlatformJoystickCaps caps;
        PlatformJoystickPos pos;
    };
    Joystick joysticks[2];

    // --- IPlatformBackend ---
    bool HasDisplay() const override { return hasDisplay; }
    bool GetDesktopMode(PlatformDisplayMode& mode) override;
    bool GetDisplayModes(std::vector<PlatformDisplayMode>& modes) override;
    bool SetFullscreenMode(const PlatformDisplayMode& mode) override;
    bool CreateWindow(const PlatformWindowDesc& desc) override;
    void DestroyWindow() override;
    void ShowWindow() override;
    void SetWindowStyle(uint32_t style) override;
    void SetWindowText(const char* text) override;
    bool GetClientSize(int32_t& width, int32_t& height) override;
    bool SetClientSize(int32_t width, int32_t height) override;
    bool GetWindowRect(PlatformRect& rect) override;
    bool MoveWindow(int32_t x, int32_t y) override;
    bool SetFullscreen(bool fullscreen) override;
    void SetCursor(int32_t cursor) override;
    bool HasFocus() override { return window.exists && focus; }
    bool ClientToScreen(int32_t& x, int32_t& y) override;
    bool GetCursorPos(int32_t& x, int32_t& y) override;
    bool SetCursorPos(int32_t x, int32_t y) override;
    void PollEvents(CMessageQueue& queue) override;
    int64_t GetMicroseconds() override { return now += clockStep; }
    void Sleep(uint32_t milliseconds) override;
    void SleepMicroseconds(int64_t microseconds) override {
        microsecondSleeps.push_back(microseconds);
        now += microseconds > 0 ? microseconds : 0;
    }
    bool ClipboardHasText() override { return clipboard.has_value(); }
    std::string GetClipboardText() override { return clipboard.value_or(""); }
    bool SetClipboardText(const char* text) override;
    int ShowMessageBox(const char* text, const char* caption, uint32_t type,
                       const MessageBoxButtons& buttons) override;
    bool OpenForm(CDialogForm* form) override;
    void CloseForm(CDialogForm* form) override;
    bool OpenPanel(CTextPanel* panel) override;
    void ClosePanel(CTextPanel* panel) override;
    bool PadsAvailable() override { return padsAvailable; }
    bool GetPadState(int pad, PlatformPadState& state) override;
    bool GetPadSubtype(int pad, int& subtype) override;
    void SetPadVibration(int pad, uint16_t left, uint16_t right) override;
    bool GetJoystickCaps(int joystick, PlatformJoystickCaps& caps) override;
    bool GetJoystickPos(int joystick, PlatformJoystickPos& pos) override;
    bool GetNumLock() override { return numLock; }
    void SetNumLock(bool on) override { numLock = on; }

private:
    int32_t FrameSide() const;
    int32_t FrameTop() const;
    void ClientSize(int32_t& width, int32_t& height) const;

    CMessageQueue m_pending;
    CInputTranslator m_input;
};
