// Virtual-key codes as the engine and its games know them (0..255), and the keyboard state that the
// window layer reads back while it handles a message.
#pragma once

#include "platform/messages.h"

#include <cstdint>

// Mouse buttons as keys.
constexpr uint8_t VK_LBUTTON = 0x01;
constexpr uint8_t VK_RBUTTON = 0x02;
constexpr uint8_t VK_MBUTTON = 0x04;
constexpr uint8_t VK_XBUTTON1 = 0x05;
constexpr uint8_t VK_XBUTTON2 = 0x06;
// Editing and control keys.
constexpr uint8_t VK_BACK = 0x08;
constexpr uint8_t VK_TAB = 0x09;
constexpr uint8_t VK_CLEAR = 0x0C;
constexpr uint8_t VK_RETURN = 0x0D;
constexpr uint8_t VK_SHIFT = 0x10;
constexpr uint8_t VK_CONTROL = 0x11;
constexpr uint8_t VK_MENU = 0x12;
constexpr uint8_t VK_PAUSE = 0x13;
constexpr uint8_t VK_CAPITAL = 0x14;
constexpr uint8_t VK_HANGUL = 0x15;
constexpr uint8_t VK_HANJA = 0x19;
constexpr uint8_t VK_ESCAPE = 0x1B;
constexpr uint8_t VK_CONVERT = 0x1C;
constexpr uint8_t VK_NONCONVERT = 0x1D;
constexpr uint8_t VK_SPACE = 0x20;
constexpr uint8_t VK_PRIOR = 0x21;
constexpr uint8_t VK_NEXT = 0x22;
constexpr uint8_t VK_END = 0x23;
constexpr uint8_t VK_HOME = 0x24;
constexpr uint8_t VK_LEFT = 0x25;
constexpr uint8_t VK_UP = 0x26;
constexpr uint8_t VK_RIGHT = 0x27;
constexpr uint8_t VK_DOWN = 0x28;
constexpr uint8_t VK_SELECT = 0x29;
constexpr uint8_t VK_EXECUTE = 0x2B;
constexpr uint8_t VK_SNAPSHOT = 0x2C;
constexpr uint8_t VK_INSERT = 0x2D;
constexpr uint8_t VK_DELETE = 0x2E;
constexpr uint8_t VK_HELP = 0x2F;
// '0'..'9' and 'A'..'Z' are their own codes.
constexpr uint8_t VK_LWIN = 0x5B;
constexpr uint8_t VK_RWIN = 0x5C;
constexpr uint8_t VK_APPS = 0x5D;
constexpr uint8_t VK_SLEEP = 0x5F;
constexpr uint8_t VK_NUMPAD0 = 0x60;  // ..VK_NUMPAD9 0x69
constexpr uint8_t VK_MULTIPLY = 0x6A;
constexpr uint8_t VK_ADD = 0x6B;
constexpr uint8_t VK_SEPARATOR = 0x6C;
constexpr uint8_t VK_SUBTRACT = 0x6D;
constexpr uint8_t VK_DECIMAL = 0x6E;
constexpr uint8_t VK_DIVIDE = 0x6F;
constexpr uint8_t VK_F1 = 0x70;  // ..VK_F24 0x87
constexpr uint8_t VK_F10 = 0x79;
constexpr uint8_t VK_NUMLOCK = 0x90;
constexpr uint8_t VK_SCROLL = 0x91;
// Side-specific modifier codes.
constexpr uint8_t VK_LSHIFT = 0xA0;
constexpr uint8_t VK_RSHIFT = 0xA1;
constexpr uint8_t VK_LCONTROL = 0xA2;
constexpr uint8_t VK_RCONTROL = 0xA3;
constexpr uint8_t VK_LMENU = 0xA4;
constexpr uint8_t VK_RMENU = 0xA5;
// Browser and media keys.
constexpr uint8_t VK_BROWSER_BACK = 0xA6;
constexpr uint8_t VK_BROWSER_FORWARD = 0xA7;
constexpr uint8_t VK_BROWSER_REFRESH = 0xA8;
constexpr uint8_t VK_BROWSER_STOP = 0xA9;
constexpr uint8_t VK_BROWSER_SEARCH = 0xAA;
constexpr uint8_t VK_BROWSER_FAVORITES = 0xAB;
constexpr uint8_t VK_BROWSER_HOME = 0xAC;
constexpr uint8_t VK_VOLUME_MUTE = 0xAD;
constexpr uint8_t VK_VOLUME_DOWN = 0xAE;
constexpr uint8_t VK_VOLUME_UP = 0xAF;
constexpr uint8_t VK_MEDIA_NEXT_TRACK = 0xB0;
constexpr uint8_t VK_MEDIA_PREV_TRACK = 0xB1;
constexpr uint8_t VK_MEDIA_STOP = 0xB2;
constexpr uint8_t VK_MEDIA_PLAY_PAUSE = 0xB3;
constexpr uint8_t VK_LAUNCH_MAIL = 0xB4;
constexpr uint8_t VK_LAUNCH_MEDIA_SELECT = 0xB5;
constexpr uint8_t VK_LAUNCH_APP1 = 0xB6;
constexpr uint8_t VK_LAUNCH_APP2 = 0xB7;
// Punctuation keys, named for their place on a US keyboard.
constexpr uint8_t VK_OEM_1 = 0xBA;       // ; :
constexpr uint8_t VK_OEM_PLUS = 0xBB;    // = +
constexpr uint8_t VK_OEM_COMMA = 0xBC;   // , <
constexpr uint8_t VK_OEM_MINUS = 0xBD;   // - _
constexpr uint8_t VK_OEM_PERIOD = 0xBE;  // . >
constexpr uint8_t VK_OEM_2 = 0xBF;       // / ?
constexpr uint8_t VK_OEM_3 = 0xC0;       // ` ~
constexpr uint8_t VK_OEM_4 = 0xDB;       // [ {
constexpr uint8_t VK_OEM_5 = 0xDC;       // \ |
constexpr uint8_t VK_OEM_6 = 0xDD;       // ] }
constexpr uint8_t VK_OEM_7 = 0xDE;       // ' "
constexpr uint8_t VK_OEM_102 = 0xE2;     // the extra key beside left shift on 102-key keyboards
constexpr uint8_t VK_DBE_HIRAGANA = 0xF2;
constexpr uint8_t VK_CRSEL = 0xF7;
constexpr uint8_t VK_EXSEL = 0xF8;

// One physical key as a key message describes it: the virtual-key code (generic 16/17/18 for the
// modifiers), the scan code of a PC keyboard and the extended-key flag. vk 0 means no key.
struct PCKey {
    uint8_t vk = 0;
    uint8_t scan = 0;
    bool extended = false;
};

constexpr uint8_t kScanLeftShift = 0x2A;
constexpr uint8_t kScanRightShift = 0x36;
constexpr uint8_t kScanControl = 0x1D;
constexpr uint8_t kScanAlt = 0x38;

// The side-specific code of a modifier key (160..165): right shift by its scan code, right control and
// right Alt by the extended flag. Any other key gives its own code.
uint8_t Key_SideCode(const PCKey& key);
// The physical key behind a code: 160..165 give the generic modifier with the side's scan code and
// extended flag; any other code gives the key with no scan code.
PCKey Key_FromCode(uint8_t vk);

// The character message a key sends beside its key message (0 for none): Backspace 8, Tab 9, Enter 13
// and Escape 27; with Control (and no Alt) the letters give 1..26, [ \ ] give 27..29, Enter gives 10
// (line feed) and Backspace 127. Letters and other printing keys come as text, not from here.
uint16_t Key_ControlChar(uint8_t vk, bool control, bool alt);
// The character a printing key types on a US keyboard (0 for none): letters (capitals with shift),
// digits and the symbols over them, the space bar, the number pad's digits and operators, and the
// punctuation keys. It is what the system's translation gives a key sent to the window with no text of
// its own (keyboard_key_press).
uint16_t Key_LayoutChar(uint8_t vk, bool shift);

// Which keys are down, as a window procedure reads it with GetKeyState: updated message by message, so
// a procedure sees the state as of the message it is handling. Mouse buttons count as keys 1, 2, 4, 5, 6.
class CKeyState {
public:
    // Takes the key and button transitions of one message.
    void Apply(const PlatformMessage& msg);
    // Bit 15 (0x8000: the value is negative) while the key is down, else 0; codes outside 0..255 give 0.
    // The toggle bit (bit 0) is not kept: nothing in the engine reads it.
    int16_t Get(int vk) const;
    bool IsDown(int vk) const { return Get(vk) < 0; }
    // MK_ flags of a mouse message: buttons held, shift and control.
    uint64_t MouseKeys() const;
    void Reset();

private:
    void SetDown(uint8_t vk, bool down);
    uint8_t m_state[256] = {};
};
