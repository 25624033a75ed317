// Window messages as the engine's window procedure expects them: Windows message numbers, with the
// parameters packed the way Windows packs them (key data in lParam, client coordinates in the low and
// high words, the wheel delta in the high word of wParam).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

// Message numbers.
constexpr uint32_t WM_NULL = 0x0000;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_ACTIVATE = 0x0006;
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_ACTIVATEAPP = 0x001C;
constexpr uint32_t WM_SETCURSOR = 0x0020;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_SYSKEYDOWN = 0x0104;
constexpr uint32_t WM_SYSKEYUP = 0x0105;
constexpr uint32_t WM_SYSCHAR = 0x0106;
constexpr uint32_t WM_SYSCOMMAND = 0x0112;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;
constexpr uint32_t WM_XBUTTONDOWN = 0x020B;
constexpr uint32_t WM_XBUTTONUP = 0x020C;
constexpr uint32_t WM_SIZING = 0x0214;

// WM_SYSCOMMAND: the command in wParam (low four bits are the system's own).
constexpr uint64_t SC_KEYMENU = 0xF100;
constexpr uint64_t SC_CLOSE = 0xF060;
// WM_ACTIVATE: low word of wParam.
constexpr uint64_t WA_INACTIVE = 0;
constexpr uint64_t WA_ACTIVE = 1;
// WM_SIZE: wParam.
constexpr uint64_t SIZE_RESTORED = 0;
constexpr uint64_t SIZE_MINIMIZED = 1;
constexpr uint64_t SIZE_MAXIMIZED = 2;
// WM_SETCURSOR: hit-test code in the low word of lParam.
constexpr int64_t HTCLIENT = 1;
// Mouse messages: the buttons and modifier keys held, in wParam.
constexpr uint64_t MK_LBUTTON = 0x0001;
constexpr uint64_t MK_RBUTTON = 0x0002;
constexpr uint64_t MK_SHIFT = 0x0004;
constexpr uint64_t MK_CONTROL = 0x0008;
constexpr uint64_t MK_MBUTTON = 0x0010;
constexpr uint64_t MK_XBUTTON1 = 0x0020;
constexpr uint64_t MK_XBUTTON2 = 0x0040;
// One notch of the wheel.
constexpr int WHEEL_DELTA = 120;

// Key-message lParam bits: repeat count (bits 0-15), scan code (16-23), extended key (24), Alt held
// (29), key was already down (30), key is being released (31).
constexpr int64_t KF_EXTENDED = 1LL << 24;
constexpr int64_t KF_ALTDOWN = 1LL << 29;
constexpr int64_t KF_REPEAT = 1LL << 30;
constexpr int64_t KF_UP = 1LL << 31;

struct PlatformMessage {
    uint32_t message = WM_NULL;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

// Two 16-bit halves in one parameter, as Windows packs coordinates and sizes.
inline int64_t Message_MakeLong(int32_t low, int32_t high) {
    return static_cast<int64_t>((static_cast<uint32_t>(high) & 0xFFFFu) << 16 | (static_cast<uint32_t>(low) & 0xFFFFu));
}
inline uint32_t Message_LowWord(int64_t v) { return static_cast<uint32_t>(v) & 0xFFFFu; }
inline uint32_t Message_HighWord(int64_t v) { return (static_cast<uint32_t>(v) >> 16) & 0xFFFFu; }

// Mouse button of a button message: 1 left, 2 right, 3 middle; 0 for any other message.
int Message_MouseButton(uint32_t message);

// The messages waiting for the pump, oldest first.
class CMessageQueue {
public:
    void Post(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0) {
        m_messages.push_back(PlatformMessage{message, wParam, lParam});
    }
    bool Empty() const { return m_messages.empty(); }
    size_t Size() const { return m_messages.size(); }
    // Removes the oldest message into out; false when there is none.
    bool Take(PlatformMessage& out) {
        if (m_messages.empty()) return false;
        out = m_messages.front();
        m_messages.pop_front();
        return true;
    }
    void Clear() { m_messages.clear(); }

private:
    std::deque<PlatformMessage> m_messages;
};
