// Turns what a backend sees (a key going down, typed text, the mouse, focus, size, a close request)
// into the messages Windows would post for it, in Windows' order. Every backend goes through here, so
// the rules below hold alike for the SDL window and the scripted fake.
#pragma once

#include "core/utf8.h"
#include "platform/keys.h"
#include "platform/messages.h"

#include <cstddef>
#include <cstdint>

class CInputTranslator {
public:
    // A key going down (repeat: an auto-repeat of a key held down) or up. Alt held without Control,
    // and F10, make the system forms (WM_SYSKEYDOWN, WM_SYSKEYUP, WM_SYSCHAR). A key that carries a
    // control character (Key_ControlChar) posts it right after its key-down message.
    void Key(CMessageQueue& queue, const PCKey& key, bool down, bool repeat);
    // Text typed (UTF-8; invalid bytes are skipped), one character message per UTF-16 unit, so a
    // character beyond the 16-bit range comes as a surrogate pair. Nothing is posted while Control is
    // held without Alt (Windows types no character then); with the left Alt alone it comes as
    // WM_SYSCHAR (the right Alt is AltGr on the layouts that type with it).
    void Text(CMessageQueue& queue, const char* utf8, size_t length);
    // Mouse positions are client pixels. No capture: a position outside the client area of the given
    // size is not this window's, and neither move nor button is posted; but a button pressed in the
    // client area is let go wherever it is released (the game would hold it down until its next click).
    void MouseMove(CMessageQueue& queue, int32_t x, int32_t y, int32_t clientWidth, int32_t clientHeight);
    // button: 1 left, 2 right, 3 middle, 4 and 5 the extra buttons.
    void MouseButton(CMessageQueue& queue, int button, bool down, int32_t x, int32_t y, int32_t clientWidth,
                     int32_t clientHeight);
    // notches: positive away from the player. The position is in screen pixels, as Windows gives it.
    void Wheel(CMessageQueue& queue, int notches, int32_t screenX, int32_t screenY);
    void Focus(CMessageQueue& queue, bool gained);
    // kind: SIZE_RESTORED, SIZE_MINIMIZED or SIZE_MAXIMIZED.
    void Size(CMessageQueue& queue, uint64_t kind, int32_t clientWidth, int32_t clientHeight);
    void Close(CMessageQueue& queue);

    const CKeyState& State() const { return m_keys; }
    void Reset() { m_keys.Reset(); }

private:
    CKeyState m_keys;
};

// UTF-16's surrogate pairs: the two halves of a code point beyond the 16-bit range, and the code point
// of a pair.
inline bool Text_IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
inline bool Text_IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
inline uint16_t Text_HighSurrogate(uint32_t cp) {
    return static_cast<uint16_t>(0xD800 + ((cp - 0x10000) >> 10));
}
inline uint16_t Text_LowSurrogate(uint32_t cp) {
    return static_cast<uint16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
}
inline uint32_t Text_JoinSurrogates(uint32_t high, uint32_t low) {
    return 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
}
