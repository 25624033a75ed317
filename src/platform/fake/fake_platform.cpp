#include "platform/fake/fake_platform.h"

#include <algorithm>
#include <cstring>

CFakePlatform::CFakePlatform(int32_t screenWidth, int32_t screenHeight) {
    screen.width = screenWidth;
    screen.height = screenHeight;
    screen.bitsPerPixel = 32;
    screen.refreshRate = 60;
}

void CFakePlatform::InjectMessage(uint32_t message, uint64_t wParam, int64_t lParam) {
    m_pending.Post(message, wParam, lParam);
}

void CFakePlatform::InjectKey(uint8_t vk, bool down, bool repeat) { InjectKey(Key_FromCode(vk), down, repeat); }

void CFakePlatform::InjectKey(const PCKey& key, bool down, bool repeat) { m_input.Key(m_pending, key, down, repeat); }

void CFakePlatform::InjectKeyPress(uint8_t vk) {
    InjectKey(vk, true);
    InjectKey(vk, false);
}

void CFakePlatform::InjectText(const char* utf8) {
    if (utf8) m_input.Text(m_pending, utf8, std::strlen(utf8));
}

void CFakePlatform::ClientSize(int32_t& width, int32_t& height) const {
    width = window.minimized ? 0 : window.width;
    height = window.minimized ? 0 : window.height;
}

void CFakePlatform::InjectMouseMove(int32_t x, int32_t y) {
    cursorX = window.x + x;
    cursorY = window.y + y;
    int32_t w, h;
    ClientSize(w, h);
    m_input.MouseMove(m_pending, x, y, w, h);
}

void CFakePlatform::InjectMouseButton(int button, bool down) {
    int32_t w, h;
    ClientSize(w, h);
    m_input.MouseButton(m_pending, button, down, cursorX - window.x, cursorY - window.y, w, h);
}

void CFakePlatform::InjectWheel(int notches) { m_input.Wheel(m_pending, notches, cursorX, cursorY); }

void CFakePlatform::InjectFocus(bool gained) {
    focus = gained;
    m_input.Focus(m_pending, gained);
}

void CFakePlatform::InjectResize(int32_t clientWidth, int32_t clientHeight) {
    window.width = clientWidth;
    window.height = clientHeight;
    window.minimized = false;
    m_input.Size(m_pending, SIZE_RESTORED, clientWidth, clientHeight);
}

void CFakePlatform::InjectMinimize() {
    window.minimized = true;
    m_input.Size(m_pending, SIZE_MINIMIZED, 0, 0);
}

void CFakePlatform::InjectClose() { m_input.Close(m_pending); }

bool CFakePlatform::GetDesktopMode(PlatformDisplayMode& mode) {
    mode = screen;
    return desktopKnown;
}

bool CFakePlatform::GetDisplayModes(std::vector<PlatformDisplayMode>& modes) {
    modes = displayModes.empty() ? std::vector<PlatformDisplayMode>{screen} : displayModes;
    return desktopKnown;
}

bool CFakePlatform::SetFullscreenMode(const PlatformDisplayMode& mode) {
    std::vector<PlatformDisplayMode> listed;
    GetDisplayModes(listed);
    const bool desktops = mode.width == 0 && mode.height == 0;
    if (!desktops && std::find(listed.begin(), listed.end(), mode) == listed.end()) return false;
    fullscreenMode = mode;
    return true;
}

bool CFakePlatform::CreateWindow(const PlatformWindowDesc& desc) {
    if (window.exists || desc.clientWidth <= 0 || desc.clientHeight <= 0) return false;
    window = Window{};
    window.exists = true;
    window.style = desc.style;
    window.openGL = desc.openGL;
    window.width = desc.clientWidth;
    window.height = desc.clientHeight;
    window.x = (screen.width - desc.clientWidth) / 2;
    window.y = (screen.height - desc.clientHeight) / 2;
    m_input.Reset();
    return true;
}

void CFakePlatform::DestroyWindow() { window.exists = false; }

void CFakePlatform::ShowWindow() { window.visible = window.exists; }

void CFakePlatform::SetWindowStyle(uint32_t style) {
    if (window.exists) window.style = style;
}

void CFakePlatform::SetWindowText(const char* text) {
    if (window.exists) window.caption = text;
}

bool CFakePlatform::GetClientSize(int32_t& width, int32_t& height) {
    if (!window.exists) return false;
    ClientSize(width, height);
    return true;
}

bool CFakePlatform::SetClientSize(int32_t width, int32_t height) {
    if (!window.exists) return false;
    window.width = width;
    window.height = height;
    return true;
}

int32_t CFakePlatform::FrameSide() const { return (window.style & WS_POPUP) ? 0 : kFrameSide; }
int32_t CFakePlatform::FrameTop() const { return (window.style & WS_POPUP) ? 0 : kFrameTop; }

bool CFakePlatform::GetWindowRect(PlatformRect& rect) {
    if (!window.exists) return false;
    rect = PlatformRect{window.x - FrameSide(), window.y - FrameTop(), window.x + window.width + FrameSide(),
                        window.y + window.height + FrameSide()};
    return true;
}

bool CFakePlatform::MoveWindow(int32_t x, int32_t y) {
    if (!window.exists) return false;
    window.x = x + FrameSide();
    window.y = y + FrameTop();
    return true;
}

bool CFakePlatform::SetFullscreen(bool fullscreen) {
    if (!window.exists) return false;
    window.fullscreen = fullscreen;
    return true;
}

void CFakePlatform::SetCursor(int32_t cursor) {
    if (window.exists) window.cursor = cursor;
}

bool CFakePlatform::ClientToScreen(int32_t& x, int32_t& y) {
    if (!window.exists) return false;
    x += window.x;
    y += window.y;
    return true;
}

bool CFakePlatform::GetCursorPos(int32_t& x, int32_t& y) {
    x = cursorX;
    y = cursorY;
    return true;
}

bool CFakePlatform::SetCursorPos(int32_t x, int32_t y) {
    cursorX = x;
    cursorY = y;
    return true;
}

void CFakePlatform::PollEvents(CMessageQueue& queue) {
    PlatformMessage msg;
    while (m_pending.Take(msg)) queue.Post(msg.message, msg.wParam, msg.lParam);
    if (openForm && !formActions.empty()) {
        auto action = std::move(formActions.front());
        formActions.pop_front();
        action(*openForm);
    }
}

void CFakePlatform::Sleep(uint32_t milliseconds) {
    sleeps.push_back(milliseconds);
    now += static_cast<int64_t>(milliseconds) * 1000;
}

bool CFakePlatform::SetClipboardText(const char* text) {
    clipboard = text;
    return true;
}

int CFakePlatform::ShowMessageBox(const char* text, const char* caption, uint32_t type, const MessageBoxButtons&) {
    shownBoxes.push_back(ShownBox{text, caption, type});
    if (answers.empty()) return -1;
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

bool CFakePlatform::OpenForm(CDialogForm* form) {
    shownForms.push_back(ShownForm{form->Kind(), form->Caption(), form->Prompt(), form->Field(0), form->Field(1)});
    openForm = form;
    return true;
}

void CFakePlatform::CloseForm(CDialogForm* form) {
    if (openForm == form) openForm = nullptr;
}

bool CFakePlatform::OpenPanel(CTextPanel* panel) {
    if (!hasDisplay) return false;
    openPanel = panel;
    return true;
}

void CFakePlatform::ClosePanel(CTextPanel* panel) {
    if (openPanel == panel) openPanel = nullptr;
}

bool CFakePlatform::GetPadState(int pad, PlatformPadState& state) {
    ++padReads;
    if (!padsAvailable || !pads[pad].connected) return false;
    state = pads[pad].state;
    return true;
}

bool CFakePlatform::GetPadSubtype(int pad, int& subtype) {
    if (!padsAvailable || !pads[pad].connected) return false;
    subtype = pads[pad].subtype;
    return true;
}

void CFakePlatform::SetPadVibration(int pad, uint16_t left, uint16_t right) {
    pads[pad].vibrationLeft = left;
    pads[pad].vibrationRight = right;
}

bool CFakePlatform::GetJoystickCaps(int joystick, PlatformJoystickCaps& caps) {
    if (!joysticks[joystick].present) return false;
    caps = joysticks[joystick].caps;
    return true;
}

bool CFakePlatform::GetJoystickPos(int joystick, PlatformJoystickPos& pos) {
    if (!joysticks[joystick].present) return false;
    pos = joysticks[joystick].pos;
    return true;
}
