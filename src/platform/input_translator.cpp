#include "platform/input_translator.h"

#include <algorithm>

void CInputTranslator::Key(CMessageQueue& queue, const PCKey& key, bool down, bool repeat) {
    if (key.vk == 0) return;
    const bool alt = key.vk == VK_MENU || m_keys.IsDown(VK_MENU);
    const bool control = key.vk == VK_CONTROL || m_keys.IsDown(VK_CONTROL);
    const bool system = (alt && !control) || key.vk == VK_F10;
    const bool wasDown = repeat || m_keys.IsDown(Key_SideCode(key));

    int64_t lParam = 1 | static_cast<int64_t>(key.scan) << 16;
    if (key.extended) lParam |= KF_EXTENDED;
    if (alt && !control) lParam |= KF_ALTDOWN;
    if (wasDown || !down) lParam |= KF_REPEAT;
    if (!down) lParam |= KF_UP;

    const uint32_t message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    m_keys.Apply(PlatformMessage{message, key.vk, lParam});
    queue.Post(message, key.vk, lParam);
    if (!down) return;
    if (const uint16_t ch = Key_ControlChar(key.vk, control, alt))
        queue.Post(system ? WM_SYSCHAR : WM_CHAR, ch, lParam);
}

void CInputTranslator::Text(CMessageQueue& queue, const char* utf8, size_t length) {
    if (!utf8) return;
    const bool control = m_keys.IsDown(VK_CONTROL);
    const bool alt = m_keys.IsDown(VK_MENU);
    if (control && !alt) return;
    const uint32_t message = m_keys.IsDown(VK_LMENU) && !control ? WM_SYSCHAR : WM_CHAR;
    size_t i = 0;
    while (i < length && utf8[i] != '\0') {
        const int32_t cp = Text_NextCodePoint(utf8, length, i);
        if (cp < 0) continue;
        if (cp < 0x10000) {
            queue.Post(message, static_cast<uint64_t>(cp), 1);
        } else {
            queue.Post(message, Text_HighSurrogate(static_cast<uint32_t>(cp)), 1);
            queue.Post(message, Text_LowSurrogate(static_cast<uint32_t>(cp)), 1);
        }
    }
}

namespace {

bool InClient(int32_t x, int32_t y, int32_t width, int32_t height) {
    return x >= 0 && y >= 0 && x < width && y < height;
}

} // namespace

void CInputTranslator::MouseMove(CMessageQueue& queue, int32_t x, int32_t y, int32_t clientWidth,
                                 int32_t clientHeight) {
    if (!InClient(x, y, clientWidth, clientHeight)) return;
    queue.Post(WM_SETCURSOR, 0, Message_MakeLong(static_cast<int32_t>(HTCLIENT), static_cast<int32_t>(WM_MOUSEMOVE)));
    queue.Post(WM_MOUSEMOVE, m_keys.MouseKeys(), Message_MakeLong(x, y));
}

void CInputTranslator::MouseButton(CMessageQueue& queue, int button, bool down, int32_t x, int32_t y,
                                   int32_t clientWidth, int32_t clientHeight) {
    PlatformMessage msg;
    uint8_t vk = 0;
    switch (button) {
    case 1:
        msg.message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        vk = VK_LBUTTON;
        break;
    case 2:
        msg.message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        vk = VK_RBUTTON;
        break;
    case 3:
        msg.message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        vk = VK_MBUTTON;
        break;
    case 4:
    case 5:
        msg.message = down ? WM_XBUTTONDOWN : WM_XBUTTONUP;
        msg.wParam = static_cast<uint64_t>(button - 3) << 16;
        vk = button == 4 ? VK_XBUTTON1 : VK_XBUTTON2;
        break;
    default: return;
    }
    if (!InClient(x, y, clientWidth, clientHeight) && (down || !m_keys.IsDown(vk))) return;
    msg.lParam = Message_MakeLong(x, y);
    m_keys.Apply(msg);
    // The held-buttons word is taken after the change, as Windows reports it.
    msg.wParam |= m_keys.MouseKeys();
    queue.Post(msg.message, msg.wParam, msg.lParam);
}

void CInputTranslator::Wheel(CMessageQueue& queue, int notches, int32_t screenX, int32_t screenY) {
    if (notches == 0) return;
    const int64_t delta = std::clamp<int64_t>(static_cast<int64_t>(notches) * WHEEL_DELTA, -32768, 32767);
    const uint64_t high = static_cast<uint64_t>(static_cast<uint16_t>(static_cast<int16_t>(delta))) << 16;
    queue.Post(WM_MOUSEWHEEL, high | m_keys.MouseKeys(), Message_MakeLong(screenX, screenY));
}

void CInputTranslator::Focus(CMessageQueue& queue, bool gained) {
    // The window that takes the activation from us belongs to another program: lParam 0.
    if (gained) {
        queue.Post(WM_ACTIVATEAPP, 1, 0);
        queue.Post(WM_ACTIVATE, WA_ACTIVE, 0);
        queue.Post(WM_SETFOCUS, 0, 0);
    } else {
        queue.Post(WM_ACTIVATE, WA_INACTIVE, 0);
        queue.Post(WM_ACTIVATEAPP, 0, 0);
        queue.Post(WM_KILLFOCUS, 0, 0);
    }
}

void CInputTranslator::Size(CMessageQueue& queue, uint64_t kind, int32_t clientWidth, int32_t clientHeight) {
    queue.Post(WM_SIZE, kind, Message_MakeLong(clientWidth, clientHeight));
}

void CInputTranslator::Close(CMessageQueue& queue) { queue.Post(WM_CLOSE); }
