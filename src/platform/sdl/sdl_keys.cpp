#include "platform/sdl/sdl_keys.h"

namespace {

struct KeyEntry {
    SDL_Scancode scancode;
    uint8_t vk;
    uint8_t scan;
    bool extended;
};

constexpr bool E = true;   // extended key
constexpr bool N = false;  // not extended

// Every SDL position that has a key under Windows. The number pad's digits and point are in
// kNumberPad: what they give depends on Num Lock.
constexpr KeyEntry kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, N},
    {SDL_SCANCODE_B, 'B', 0x30, N},
    {SDL_SCANCODE_C, 'C', 0x2E, N},
    {SDL_SCANCODE_D, 'D', 0x20, N},
    {SDL_SCANCODE_E, 'E', 0x12, N},
    {SDL_SCANCODE_F, 'F', 0x21, N},
    {SDL_SCANCODE_G, 'G', 0x22, N},
    {SDL_SCANCODE_H, 'H', 0x23, N},
    {SDL_SCANCODE_I, 'I', 0x17, N},
    {SDL_SCANCODE_J, 'J', 0x24, N},
    {SDL_SCANCODE_K, 'K', 0x25, N},
    {SDL_SCANCODE_L, 'L', 0x26, N},
    {SDL_SCANCODE_M, 'M', 0x32, N},
    {SDL_SCANCODE_N, 'N', 0x31, N},
    {SDL_SCANCODE_O, 'O', 0x18, N},
    {SDL_SCANCODE_P, 'P', 0x19, N},
    {SDL_SCANCODE_Q, 'Q', 0x10, N},
    {SDL_SCANCODE_R, 'R', 0x13, N},
    {SDL_SCANCODE_S, 'S', 0x1F, N},
    {SDL_SCANCODE_T, 'T', 0x14, N},
    {SDL_SCANCODE_U, 'U', 0x16, N},
    {SDL_SCANCODE_V, 'V', 0x2F, N},
    {SDL_SCANCODE_W, 'W', 0x11, N},
    {SDL_SCANCODE_X, 'X', 0x2D, N},
    {SDL_SCANCODE_Y, 'Y', 0x15, N},
    {SDL_SCANCODE_Z, 'Z', 0x2C, N},
    {SDL_SCANCODE_1, '1', 0x02, N},
    {SDL_SCANCODE_2, '2', 0x03, N},
    {SDL_SCANCODE_3, '3', 0x04, N},
    {SDL_SCANCODE_4, '4', 0x05, N},
    {SDL_SCANCODE_5, '5', 0x06, N},
    {SDL_SCANCODE_6, '6', 0x07, N},
    {SDL_SCANCODE_7, '7', 0x08, N},
    {SDL_SCANCODE_8, '8', 0x09, N},
    {SDL_SCANCODE_9, '9', 0x0A, N},
    {SDL_SCANCODE_0, '0', 0x0B, N},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, N},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, N},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E, N},
    {SDL_SCANCODE_TAB, VK_TAB, 0x0F, N},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39, N},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS, 0x0C, N},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS, 0x0D, N},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4, 0x1A, N},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6, 0x1B, N},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5, 0x2B, N},
    {SDL_SCANCODE_NONUSHASH, VK_OEM_5, 0x2B, N},  // the same key of ISO keyboards
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1, 0x27, N},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7, 0x28, N},
    {SDL_SCANCODE_GRAVE, VK_OEM_3, 0x29, N},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA, 0x33, N},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, 0x34, N},
    {SDL_SCANCODE_SLASH, VK_OEM_2, 0x35, N},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, 0x56, N},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A, N},
    {SDL_SCANCODE_F1, VK_F1 + 0, 0x3B, N},
    {SDL_SCANCODE_F2, VK_F1 + 1, 0x3C, N},
    {SDL_SCANCODE_F3, VK_F1 + 2, 0x3D, N},
    {SDL_SCANCODE_F4, VK_F1 + 3, 0x3E, N},
    {SDL_SCANCODE_F5, VK_F1 + 4, 0x3F, N},
    {SDL_SCANCODE_F6, VK_F1 + 5, 0x40, N},
    {SDL_SCANCODE_F7, VK_F1 + 6, 0x41, N},
    {SDL_SCANCODE_F8, VK_F1 + 7, 0x42, N},
    {SDL_SCANCODE_F9, VK_F1 + 8, 0x43, N},
    {SDL_SCANCODE_F10, VK_F1 + 9, 0x44, N},
    {SDL_SCANCODE_F11, VK_F1 + 10, 0x57, N},
    {SDL_SCANCODE_F12, VK_F1 + 11, 0x58, N},
    {SDL_SCANCODE_F13, VK_F1 + 12, 0x64, N},
    {SDL_SCANCODE_F14, VK_F1 + 13, 0x65, N},
    {SDL_SCANCODE_F15, VK_F1 + 14, 0x66, N},
    {SDL_SCANCODE_F16, VK_F1 + 15, 0x67, N},
    {SDL_SCANCODE_F17, VK_F1 + 16, 0x68, N},
    {SDL_SCANCODE_F18, VK_F1 + 17, 0x69, N},
    {SDL_SCANCODE_F19, VK_F1 + 18, 0x6A, N},
    {SDL_SCANCODE_F20, VK_F1 + 19, 0x6B, N},
    {SDL_SCANCODE_F21, VK_F1 + 20, 0x6C, N},
    {SDL_SCANCODE_F22, VK_F1 + 21, 0x6D, N},
    {SDL_SCANCODE_F23, VK_F1 + 22, 0x6E, N},
    {SDL_SCANCODE_F24, VK_F1 + 23, 0x76, N},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0x37, E},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0x46, N},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, N},
    {SDL_SCANCODE_INSERT, VK_INSERT, 0x52, E},
    {SDL_SCANCODE_HOME, VK_HOME, 0x47, E},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0x49, E},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0x53, E},
    {SDL_SCANCODE_END, VK_END, 0x4F, E},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0x51, E},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, 0x4D, E},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0x4B, E},
    {SDL_SCANCODE_DOWN, VK_DOWN, 0x50, E},
    {SDL_SCANCODE_UP, VK_UP, 0x48, E},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0x45, E},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0x35, E},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0x37, N},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0x4A, N},
    {SDL_SCANCODE_KP_PLUS, VK_ADD, 0x4E, N},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0x1C, E},
    {SDL_SCANCODE_KP_COMMA, VK_SEPARATOR, 0x7E, N},
    {SDL_SCANCODE_APPLICATION, VK_APPS, 0x5D, E},
    {SDL_SCANCODE_MENU, VK_APPS, 0x5D, E},
    {SDL_SCANCODE_EXECUTE, VK_EXECUTE, 0x00, N},
    {SDL_SCANCODE_HELP, VK_HELP, 0x00, N},
    {SDL_SCANCODE_SELECT, VK_SELECT, 0x00, N},
    {SDL_SCANCODE_CLEAR, VK_CLEAR, 0x00, N},
    {SDL_SCANCODE_SEPARATOR, VK_SEPARATOR, 0x00, N},
    {SDL_SCANCODE_CRSEL, VK_CRSEL, 0x00, N},
    {SDL_SCANCODE_EXSEL, VK_EXSEL, 0x00, N},
    {SDL_SCANCODE_INTERNATIONAL1, VK_OEM_102, 0x73, N},
    {SDL_SCANCODE_INTERNATIONAL2, VK_DBE_HIRAGANA, 0x70, N},
    {SDL_SCANCODE_INTERNATIONAL3, VK_OEM_5, 0x7D, N},
    {SDL_SCANCODE_INTERNATIONAL4, VK_CONVERT, 0x79, N},
    {SDL_SCANCODE_INTERNATIONAL5, VK_NONCONVERT, 0x7B, N},
    {SDL_SCANCODE_LANG1, VK_HANGUL, 0xF2, N},
    {SDL_SCANCODE_LANG2, VK_HANJA, 0xF1, N},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, kScanControl, N},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, kScanLeftShift, N},
    {SDL_SCANCODE_LALT, VK_MENU, kScanAlt, N},
    {SDL_SCANCODE_LGUI, VK_LWIN, 0x5B, E},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, kScanControl, E},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, kScanRightShift, N},
    {SDL_SCANCODE_RALT, VK_MENU, kScanAlt, E},
    {SDL_SCANCODE_RGUI, VK_RWIN, 0x5C, E},
    {SDL_SCANCODE_MODE, VK_MENU, kScanAlt, E},  // AltGr where the system reports it as a mode switch
    {SDL_SCANCODE_MUTE, VK_VOLUME_MUTE, 0x20, E},
    {SDL_SCANCODE_VOLUMEUP, VK_VOLUME_UP, 0x30, E},
    {SDL_SCANCODE_VOLUMEDOWN, VK_VOLUME_DOWN, 0x2E, E},
    {SDL_SCANCODE_AUDIOMUTE, VK_VOLUME_MUTE, 0x20, E},
    {SDL_SCANCODE_AUDIONEXT, VK_MEDIA_NEXT_TRACK, 0x19, E},
    {SDL_SCANCODE_AUDIOPREV, VK_MEDIA_PREV_TRACK, 0x10, E},
    {SDL_SCANCODE_AUDIOSTOP, VK_MEDIA_STOP, 0x24, E},
    {SDL_SCANCODE_AUDIOPLAY, VK_MEDIA_PLAY_PAUSE, 0x22, E},
    {SDL_SCANCODE_MEDIASELECT, VK_LAUNCH_MEDIA_SELECT, 0x6D, E},
    {SDL_SCANCODE_MAIL, VK_LAUNCH_MAIL, 0x6C, E},
    {SDL_SCANCODE_COMPUTER, VK_LAUNCH_APP1, 0x6B, E},
    {SDL_SCANCODE_CALCULATOR, VK_LAUNCH_APP2, 0x21, E},
    {SDL_SCANCODE_WWW, VK_BROWSER_HOME, 0x32, E},
    {SDL_SCANCODE_AC_HOME, VK_BROWSER_HOME, 0x32, E},
    {SDL_SCANCODE_AC_SEARCH, VK_BROWSER_SEARCH, 0x65, E},
    {SDL_SCANCODE_AC_BACK, VK_BROWSER_BACK, 0x6A, E},
    {SDL_SCANCODE_AC_FORWARD, VK_BROWSER_FORWARD, 0x69, E},
    {SDL_SCANCODE_AC_STOP, VK_BROWSER_STOP, 0x68, E},
    {SDL_SCANCODE_AC_REFRESH, VK_BROWSER_REFRESH, 0x67, E},
    {SDL_SCANCODE_AC_BOOKMARKS, VK_BROWSER_FAVORITES, 0x66, E},
    {SDL_SCANCODE_SLEEP, VK_SLEEP, 0x5F, E},
};

// The number pad's digits and point: {Num Lock on, Num Lock off}; same scan code, never extended.
struct PadEntry {
    SDL_Scancode scancode;
    uint8_t numLockOn;
    uint8_t numLockOff;
    uint8_t scan;
};

constexpr PadEntry kNumberPad[] = {
    {SDL_SCANCODE_KP_0, VK_NUMPAD0 + 0, VK_INSERT, 0x52}, {SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1, VK_END, 0x4F},
    {SDL_SCANCODE_KP_2, VK_NUMPAD0 + 2, VK_DOWN, 0x50},   {SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3, VK_NEXT, 0x51},
    {SDL_SCANCODE_KP_4, VK_NUMPAD0 + 4, VK_LEFT, 0x4B},   {SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5, VK_CLEAR, 0x4C},
    {SDL_SCANCODE_KP_6, VK_NUMPAD0 + 6, VK_RIGHT, 0x4D},  {SDL_SCANCODE_KP_7, VK_NUMPAD0 + 7, VK_HOME, 0x47},
    {SDL_SCANCODE_KP_8, VK_NUMPAD0 + 8, VK_UP, 0x48},     {SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9, VK_PRIOR, 0x49},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, VK_DELETE, 0x53},
};

// The OEM code of a US punctuation character, 0 for any other.
uint8_t PunctuationCode(SDL_Keycode keycode) {
    switch (keycode) {
    case SDLK_SEMICOLON: return VK_OEM_1;
    case SDLK_EQUALS: return VK_OEM_PLUS;
    case SDLK_COMMA: return VK_OEM_COMMA;
    case SDLK_MINUS: return VK_OEM_MINUS;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_SLASH: return VK_OEM_2;
    case SDLK_BACKQUOTE: return VK_OEM_3;
    case SDLK_LEFTBRACKET: return VK_OEM_4;
    case SDLK_BACKSLASH: return VK_OEM_5;
    case SDLK_RIGHTBRACKET: return VK_OEM_6;
    case SDLK_QUOTE: return VK_OEM_7;
    default: return 0;
    }
}

} // namespace

PCKey SDLKey_FromScancode(SDL_Scancode scancode, bool numLock) {
    for (const PadEntry& p : kNumberPad)
        if (p.scancode == scancode) return PCKey{numLock ? p.numLockOn : p.numLockOff, p.scan, false};
    for (const KeyEntry& k : kKeys)
        if (k.scancode == scancode) return PCKey{k.vk, k.scan, k.extended};
    return PCKey{};
}

PCKey SDLKey_ToPCKey(SDL_Scancode scancode, SDL_Keycode keycode, bool numLock) {
    PCKey key = SDLKey_FromScancode(scancode, numLock);
    const bool letterPosition = scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z;
    const bool mainBlock = letterPosition || (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_0) ||
                           (scancode >= SDL_SCANCODE_MINUS && scancode <= SDL_SCANCODE_SLASH) ||
                           scancode == SDL_SCANCODE_NONUSBACKSLASH;
    if (!mainBlock) return key;
    if (keycode >= SDLK_a && keycode <= SDLK_z) {
        key.vk = static_cast<uint8_t>(keycode - SDLK_a + 'A');
    } else if (letterPosition) {
        if (const uint8_t code = PunctuationCode(keycode)) key.vk = code;
    }
    return key;
}
