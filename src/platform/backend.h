// What a backend does for the platform layer. The layer keeps the message queue, the window procedure
// and the key state; a backend owns the real window and turns the system's events into messages
// (through CInputTranslator) when asked.
#pragma once

#include "platform/dialog_form.h"
#include "platform/gamepad.h"
#include "platform/messages.h"
#include "platform/platform.h"
#include "platform/text_panel.h"

#include <cstdint>
#include <string>

class IPlatformBackend {
public:
    virtual ~IPlatformBackend() = default;

    // False when no one is there to answer a dialog (a headless video driver).
    virtual bool HasDisplay() const = 0;
    virtual bool GetDesktopMode(PlatformDisplayMode& mode) = 0;
    // See Platform_GetDisplayModes and Platform_SetFullscreenMode.
    virtual bool GetDisplayModes(std::vector<PlatformDisplayMode>& modes) = 0;
    virtual bool SetFullscreenMode(const PlatformDisplayMode& mode) = 0;

    // One window at a time, created hidden and centred. The calls below do nothing (or fail) while
    // there is none.
    virtual bool CreateWindow(const PlatformWindowDesc& desc) = 0;
    virtual void DestroyWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual void SetWindowStyle(uint32_t style) = 0;
    virtual void SetWindowText(const char* text) = 0;
    virtual bool GetClientSize(int32_t& width, int32_t& height) = 0;
    virtual bool SetClientSize(int32_t width, int32_t height) = 0;
    virtual bool GetWindowRect(PlatformRect& rect) = 0;
    virtual bool MoveWindow(int32_t x, int32_t y) = 0;
    virtual bool SetFullscreen(bool fullscreen) = 0;
    virtual void SetCursor(int32_t cursor) = 0;
    virtual bool HasFocus() = 0;
    virtual bool ClientToScreen(int32_t& x, int32_t& y) = 0;
    virtual bool GetCursorPos(int32_t& x, int32_t& y) = 0;
    virtual bool SetCursorPos(int32_t x, int32_t y) = 0;
    // The system's window under the main window (an SDL_Window*), for the graphics device to make its
    // OpenGL context on; null while there is none and for a backend without system windows.
    virtual void* NativeWindow() const { return nullptr; }

    // Posts the messages of every event that arrived since the last call.
    virtual void PollEvents(CMessageQueue& queue) = 0;

    // The system's monotonic clock and sleep unless a backend keeps its own time.
    virtual int64_t GetMicroseconds();
    virtual void Sleep(uint32_t milliseconds);
    virtual void SleepMicroseconds(int64_t microseconds);

    virtual bool ClipboardHasText() = 0;
    virtual std::string GetClipboardText() = 0;
    virtual bool SetClipboardText(const char* text) = 0;

    // Asks the player (only called while HasDisplay); the id of the button chosen, -1 when the box could
    // not be shown.
    virtual int ShowMessageBox(const char* text, const char* caption, uint32_t type,
                               const MessageBoxButtons& buttons) = 0;

    // Shows a dialog form in a window of its own beside the main window and, from then on until
    // CloseForm, gives it the player's keys, text and clicks meant for it (at PollEvents). False when
    // the form cannot be shown. Only called while HasDisplay.
    virtual bool OpenForm(CDialogForm*) { return false; }
    virtual void CloseForm(CDialogForm*) {}
    // Shows a text panel in a window of its own beside the main window, drawn from what it holds and
    // given the clicks on its buttons (at PollEvents), until ClosePanel. False when it cannot be shown.
    virtual bool OpenPanel(CTextPanel*) { return false; }
    virtual void ClosePanel(CTextPanel*) {}

    // Num Lock's toggle state; setting it changes what the keypad keys send.
    virtual bool GetNumLock() { return false; }
    virtual void SetNumLock(bool) {}

    // Game controllers (see platform/gamepad.h); without them no pad or joystick is ever there.
    virtual bool PadsAvailable() { return false; }
    virtual void UpdatePads() {}
    virtual bool GetPadState(int, PlatformPadState&) { return false; }
    virtual bool GetPadSubtype(int, int&) { return false; }
    virtual void SetPadVibration(int, uint16_t, uint16_t) {}
    virtual bool GetJoystickCaps(int, PlatformJoystickCaps&) { return false; }
    virtual bool GetJoystickPos(int, PlatformJoystickPos&) { return false; }
};
