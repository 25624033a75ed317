#include "platform/keys.h"

uint8_t Key_SideCode(const PCKey& key) {
    switch (key.vk) {
    case VK_SHIFT: return key.scan == kScanRightShift ? VK_RSHIFT : VK_LSHIFT;
    case VK_CONTROL: return key.extended ? VK_RCONTROL : VK_LCONTROL;
    case VK_MENU: return key.extended ? VK_RMENU : VK_LMENU;
    default: return key.vk;
    }
}

PCKey Key_FromCode(uint8_t vk) {
    switch (vk) {
    case VK_LSHIFT: return PCKey{VK_SHIFT, kScanLeftShift, false};
    case VK_RSHIFT: return PCKey{VK_SHIFT, kScanRightShift, false};
    case VK_LCONTROL: return PCKey{VK_CONTROL, kScanControl, false};
    case VK_RCONTROL: return PCKey{VK_CONTROL, kScanControl, true};
    case VK_LMENU: return PCKey{VK_MENU, kScanAlt, false};
    case VK_RMENU: return PCKey{VK_MENU, kScanAlt, true};
    default: return PCKey{vk, 0, false};
    }
}

uint16_t Key_ControlChar(uint8_t vk, bool control, bool alt) {
    if (control && alt) return 0;  // Control with Alt is AltGr: the layout's text, if any, comes as text
    if (control) {
        if (vk >= 'A' && vk <= 'Z') return static_cast<uint16_t>(vk - 'A' + 1);
        switch (vk) {
        case VK_OEM_4: return 27;
        case VK_OEM_5: return 28;
        case VK_OEM_6: return 29;
        case VK_RETURN: return 10;
        case VK_BACK: return 127;
        default: return 0;
        }
    }
    switch (vk) {
    case VK_BACK: return 8;
    case VK_TAB: return 9;
    case VK_RETURN: return 13;
    case VK_ESCAPE: return 27;
    default: return 0;
    }
}

uint16_t Key_LayoutChar(uint8_t vk, bool shift) {
    if (vk >= 'A' && vk <= 'Z') return shift ? vk : static_cast<uint16_t>(vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9') return shift ? static_cast<uint8_t>(")!@#$%^&*("[vk - '0']) : vk;
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<uint16_t>('0' + vk - VK_NUMPAD0);
    // Unshifted and shifted, from VK_OEM_1 (0xBA) to VK_OEM_3 (0xC0) and from VK_OEM_4 (0xDB) to VK_OEM_7.
    static const char kPunctuation[] = ";=,-./`";
    static const char kPunctuationShifted[] = ":+<_>?~";
    static const char kBrackets[] = "[\\]'";
    static const char kBracketsShifted[] = "{|}\"";
    if (vk >= VK_OEM_1 && vk <= VK_OEM_3)
        return static_cast<uint8_t>((shift ? kPunctuationShifted : kPunctuation)[vk - VK_OEM_1]);
    if (vk >= VK_OEM_4 && vk <= VK_OEM_7)
        return static_cast<uint8_t>((shift ? kBracketsShifted : kBrackets)[vk - VK_OEM_4]);
    switch (vk) {
    case VK_SPACE: return ' ';
    case VK_MULTIPLY: return '*';
    case VK_ADD: return '+';
    case VK_SUBTRACT: return '-';
    case VK_DECIMAL: return '.';
    case VK_DIVIDE: return '/';
    default: return 0;
    }
}

namespace {

constexpr uint8_t kDown = 0x80;

// The generic modifier codes are down while either side is.
void SyncGeneric(uint8_t* state, uint8_t generic, uint8_t left, uint8_t right) {
    state[generic] = (state[left] | state[right]) & kDown;
}

} // namespace

void CKeyState::SetDown(uint8_t vk, bool down) {
    m_state[vk] = down ? kDown : 0;
}

void CKeyState::Apply(const PlatformMessage& msg) {
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const bool down = msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN;
        const PCKey key{static_cast<uint8_t>(msg.wParam & 0xFF), static_cast<uint8_t>((msg.lParam >> 16) & 0xFF),
                        (msg.lParam & KF_EXTENDED) != 0};
        const uint8_t side = Key_SideCode(key);
        SetDown(side, down);
        if (side != key.vk) {
            SyncGeneric(m_state, VK_SHIFT, VK_LSHIFT, VK_RSHIFT);
            SyncGeneric(m_state, VK_CONTROL, VK_LCONTROL, VK_RCONTROL);
            SyncGeneric(m_state, VK_MENU, VK_LMENU, VK_RMENU);
        }
        return;
    }
    case WM_LBUTTONDOWN: SetDown(VK_LBUTTON, true); return;
    case WM_LBUTTONUP: SetDown(VK_LBUTTON, false); return;
    case WM_RBUTTONDOWN: SetDown(VK_RBUTTON, true); return;
    case WM_RBUTTONUP: SetDown(VK_RBUTTON, false); return;
    case WM_MBUTTONDOWN: SetDown(VK_MBUTTON, true); return;
    case WM_MBUTTONUP: SetDown(VK_MBUTTON, false); return;
    case WM_XBUTTONDOWN:
    case WM_XBUTTONUP:
        SetDown(Message_HighWord(static_cast<int64_t>(msg.wParam)) == 2 ? VK_XBUTTON2 : VK_XBUTTON1,
                msg.message == WM_XBUTTONDOWN);
        return;
    default: return;
    }
}

int16_t CKeyState::Get(int vk) const {
    if (vk < 0 || vk > 255) return 0;
    return (m_state[vk] & kDown) ? static_cast<int16_t>(-32768) : 0;
}

uint64_t CKeyState::MouseKeys() const {
    uint64_t keys = 0;
    if (IsDown(VK_LBUTTON)) keys |= MK_LBUTTON;
    if (IsDown(VK_RBUTTON)) keys |= MK_RBUTTON;
    if (IsDown(VK_SHIFT)) keys |= MK_SHIFT;
    if (IsDown(VK_CONTROL)) keys |= MK_CONTROL;
    if (IsDown(VK_MBUTTON)) keys |= MK_MBUTTON;
    if (IsDown(VK_XBUTTON1)) keys |= MK_XBUTTON1;
    if (IsDown(VK_XBUTTON2)) keys |= MK_XBUTTON2;
    return keys;
}

void CKeyState::Reset() {
    for (uint8_t& s : m_state) s = 0;
}

int Message_MouseButton(uint32_t message) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: return 1;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP: return 2;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP: return 3;
    default: return 0;
    }
}
