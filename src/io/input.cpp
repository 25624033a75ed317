#include "io/input.h"

#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "core/text.h"
#include "core/utf8.h"
#include "io/gamepad.h"
#include "io/window_state.h"
#include "library/ini_file.h"
#include "platform/input_translator.h"
#include "platform/platform.h"
#include "script/buffer.h"
#include "script/compiler/constants.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

IOInputCopy& Game() {
    return Input_State().IO_State.game;
}
IOInputCopy& Message() {
    return Input_State().IO_State.message;
}

bool ValidKey(int key) { return key >= 0 && key < kIOKeyCount; }
bool ValidButton(int button) { return button >= 1 && button <= kIOMouseButtons; }
bool ValidDevice(int device) { return device >= 0 && device < kIOMouseDevices; }
int ButtonSlot(int button, int device) { return device * kIOMouseButtons + button - 1; }

// The units the string's last character takes: two for a surrogate pair.
int LastCharacterUnits(const uint16_t* string, int length) {
    if (length < 2) return 1;
    return Text_IsLowSurrogate(string[length - 1]) && Text_IsHighSurrogate(string[length - 2]) ? 2 : 1;
}

// The key a message for key is recorded as; -1 when the message is to be ignored.
int MappedKey(int key) {
    if (!ValidKey(key)) return -1;
    const int mapped = Input_State().IO_State.keyMap[key];
    return ValidKey(mapped) ? mapped : -1;
}

void ClearDeviceZero(IOInputCopy& copy) {
    copy.mouseButton[0] = 0;
    copy.lastMouseButton[0] = 0;
    for (int b = 0; b < kIOMouseButtons; ++b) {
        copy.buttonDown[b] = 0;
        copy.buttonPressed[b] = 0;
        copy.buttonReleased[b] = 0;
    }
    copy.wheelUp[0] = 0;
    copy.wheelDown[0] = 0;
}

void ClearKeyTables(IOInputCopy& copy) {
    copy.currentKey = 0;
    copy.lastKey = 0;
    copy.lastChar = 0;
    std::memset(copy.keyDown, 0, sizeof copy.keyDown);
    std::memset(copy.keyPressed, 0, sizeof copy.keyPressed);
    std::memset(copy.keyReleased, 0, sizeof copy.keyReleased);
}

// Copies the fields that the first update takes from the game side before the message side is read.
void CopyGameToMessage() {
    IOInputCopy& g = Game();
    IOInputCopy& m = Message();
    m.lastChar = g.lastChar;
    std::memcpy(m.keyboardString, g.keyboardString, sizeof m.keyboardString);
    m.lastKey = g.lastKey;
    m.currentKey = g.currentKey;
    std::memcpy(m.keyDown, g.keyDown, sizeof m.keyDown);
    std::memcpy(m.keyPressed, g.keyPressed, sizeof m.keyPressed);
    std::memcpy(m.keyReleased, g.keyReleased, sizeof m.keyReleased);
    m.mouseButton[0] = g.mouseButton[0];
    m.lastMouseButton[0] = g.lastMouseButton[0];
    for (int b = 0; b < kIOMouseButtons; ++b) {
        m.buttonDown[b] = g.buttonDown[b];
        m.buttonPressed[b] = g.buttonPressed[b];
        m.buttonReleased[b] = g.buttonReleased[b];
    }
    m.wheelUp[0] = g.wheelUp[0];
    m.wheelDown[0] = g.wheelDown[0];
}

void CopyMessageToGame() {
    IOState& s = Input_State().IO_State;
    IOInputCopy& g = Game();
    IOInputCopy& m = Message();
    if (s.copyToMessageFirst) {
        s.copyToMessageFirst = false;
        CopyGameToMessage();
    }
    int32_t cx = 0;
    int32_t cy = 0;
    if (Platform_GetCursorPos(cx, cy)) {
        s.cursorX = cx;
        s.cursorY = cy;
    }
    g.lastChar = m.lastChar;
    std::memcpy(g.keyboardString, m.keyboardString, sizeof g.keyboardString);
    Input_State().IO_RawMouse.x[0] = m.mouseX;
    Input_State().IO_RawMouse.y[0] = m.mouseY;
    std::memcpy(g.keyDown, m.keyDown, sizeof g.keyDown);
    g.currentKey = m.currentKey;
    g.lastKey = m.lastKey;
    for (int k = 0; k < kIOKeyCount; ++k) {
        if (m.keyPressed[k]) g.keyPressed[k] = 1;
        if (m.keyReleased[k]) g.keyReleased[k] = 1;
    }
    g.mouseButton[0] = m.mouseButton[0];
    g.lastMouseButton[0] = m.lastMouseButton[0];
    for (int b = 0; b < kIOMouseButtons; ++b) {
        g.buttonDown[b] = m.buttonDown[b];
        if (m.buttonPressed[b]) g.buttonPressed[b] = 1;
        if (m.buttonReleased[b]) g.buttonReleased[b] = 1;
        m.buttonPressed[b] = 0;
        m.buttonReleased[b] = 0;
    }
    g.wheelUp[0] = m.wheelUp[0];
    g.wheelDown[0] = m.wheelDown[0];
    std::memset(m.keyPressed, 0, sizeof m.keyPressed);
    std::memset(m.keyReleased, 0, sizeof m.keyReleased);
    m.wheelUp[0] = 0;
    m.wheelDown[0] = 0;
}

} // namespace

void IO_VirtualKeyScale(double& sx, double& sy) {
    const WindowSize client = Window_State().Window_DeviceState.clientSize;
    sx = 1.0;
    sy = 1.0;
    if (Window_State().GUI_Size.width != -1 && client.width > 0)
        sx = static_cast<double>(Window_State().GUI_Size.width) / client.width;
    if (Window_State().GUI_Size.height != -1 && client.height > 0)
        sy = static_cast<double>(Window_State().GUI_Size.height) / client.height;
}

namespace {

// Only records whose key is a real key, or whose button is one of 1..3, can be driven: the others would
// address entries outside the tables.
bool DrivableVirtualKey(const IOVirtualKey& r) {
    if (!(r.flags & kVirtualKeyActive)) return false;
    return r.key != 0 ? ValidKey(r.key) : ValidButton(r.button);
}

void UpdateVirtualKeys() {
    IOState& s = Input_State().IO_State;
    double sx = 1.0;
    double sy = 1.0;
    IO_VirtualKeyScale(sx, sy);
    // The window offset of the points is 0 here. No touch source fills the points on this platform.
    uint32_t mask = 0;
    for (auto& point : s.devicePoints) {
        if (!(point[0] & 0x80000000u)) continue;
        const double x = static_cast<int32_t>(point[1]) * sx;
        const double y = static_cast<int32_t>(point[2]) * sy;
        for (int i = 0; i < 32; ++i) {
            const IOVirtualKey& r = s.virtualKeys[i];
            if (!(r.flags & kVirtualKeyActive)) continue;
            if (r.x1 <= x && x < r.x2 && r.y1 <= y && y < r.y2) mask |= 1u << i;
        }
        point[0] = 0;
    }
    IOInputCopy& g = Game();
    for (int i = 0; i < kIOVirtualKeyCount; ++i) {
        const IOVirtualKey& r = s.virtualKeys[i];
        if (!DrivableVirtualKey(r)) continue;
        const uint32_t bit = i < 32 ? 1u << i : 0;
        const bool now = (mask & bit) != 0;
        const bool changed = bit != 0 && ((mask ^ s.touchedMask) & bit) != 0;
        uint8_t* down = r.key != 0 ? &g.keyDown[r.key] : &g.buttonDown[ButtonSlot(r.button, 0)];
        uint8_t* pressed = r.key != 0 ? &g.keyPressed[r.key] : &g.buttonPressed[ButtonSlot(r.button, 0)];
        uint8_t* released = r.key != 0 ? &g.keyReleased[r.key] : &g.buttonReleased[ButtonSlot(r.button, 0)];
        if (now && changed) *pressed = 1;
        if (now && !changed) *down = 1;
        if (!now && changed) *released = 1;
    }
    s.touchedMask = mask;
}

int IniInt(const IniFile& ini, const char* section, const char* key) {
    const IniKey* k = ini.FindKey(section, key);
    if (!k || !k->value) return 0;
    return Saturate_Int32(std::strtoll(k->value, nullptr, 10));
}

const char* IniText(const IniFile& ini, const char* section, const char* key) {
    const IniKey* k = ini.FindKey(section, key);
    return k && k->value ? k->value : "";
}

int ConstantValue(const char* name) {
    const ScriptValue* v = Code_Constant_FindValue(name);
    return v ? X86_DoubleToInt32(Value_Real(v)) : 0;
}

const uint8_t* ButtonTable(IOButtonTable table) {
    const IOInputCopy& g = Input_State().IO_State.game;
    switch (table) {
    case IOButtonTable::Down: return g.buttonDown;
    case IOButtonTable::Pressed: return g.buttonPressed;
    case IOButtonTable::Released: break;
    }
    return g.buttonReleased;
}

} // namespace

// --- message side ---

void IO_OnKeyDown(int key, bool repeat) {
    const int k = MappedKey(key);
    if (k < 0) return;
    IOInputCopy& m = Message();
    m.lastKey = k;
    m.currentKey = k;
    if (m.keyDown[k] != 1 && !repeat) m.keyPressed[k] = 1;
    m.keyDown[k] = 1;
}

void IO_OnKeyUp(int key) {
    const int k = MappedKey(key);
    if (k < 0) return;
    IOInputCopy& m = Message();
    if (m.currentKey == k) m.currentKey = 0;
    // The pressed flag stays until the next update takes it, so a key pressed and released between
    // two steps is both pressed and released in the next one.
    m.keyDown[k] = 0;
    m.keyReleased[k] = 1;
}

void IO_OnChar(uint16_t character) {
    IOInputCopy& m = Message();
    int32_t& length = Input_State().IO_State.keyboardLength;
    const uint16_t high = m.waitingHighSurrogate;
    m.waitingHighSurrogate = 0;
    if (Text_IsHighSurrogate(character)) {
        m.waitingHighSurrogate = character;
        return;
    }
    uint32_t code = character;
    if (Text_IsLowSurrogate(character)) {
        if (high == 0) return;
        code = Text_JoinSurrogates(high, character);
    }
    m.lastChar = code;
    if (length >= kIOKeyboardStringUnits - 2) {
        // The string restarts from its last character (both halves of a pair).
        const int last = LastCharacterUnits(m.keyboardString, length);
        std::memmove(m.keyboardString, m.keyboardString + length - last, sizeof m.keyboardString[0] * last);
        length = last;
        m.keyboardString[length] = 0;
    }
    if (code == 8 && length > 0) {
        length -= LastCharacterUnits(m.keyboardString, length);
        m.keyboardString[length] = 0;
        return;
    }
    if (code < 32) return;
    if (code >= 0x10000) m.keyboardString[length++] = high;
    m.keyboardString[length++] = character;
    m.keyboardString[length] = 0;
}

void IO_OnMouseDown(int button) {
    if (!ValidButton(button)) return;
    IOInputCopy& m = Message();
    m.lastMouseButton[0] = button;
    m.mouseButton[0] = button;
    if (!m.buttonDown[button - 1]) m.buttonPressed[button - 1] = 1;
    m.buttonDown[button - 1] = 1;
}

void IO_OnMouseUp(int button) {
    if (!ValidButton(button)) return;
    IOInputCopy& m = Message();
    // As with keys, a click between two steps is both pressed and released in the next one.
    m.mouseButton[0] = 0;
    m.buttonDown[button - 1] = 0;
    m.buttonReleased[button - 1] = 1;
}

void IO_OnWheelUp() { Message().wheelUp[0] = 1; }
void IO_OnWheelDown() { Message().wheelDown[0] = 1; }

void IO_OnMouseMove(int32_t x, int32_t y) {
    Message().mouseX = x;
    Message().mouseY = y;
}

// --- game-side queries ---

int IO_KeyCheck(int key) { return ValidKey(key) ? Game().keyDown[key] : 0; }
int IO_KeyCheckPressed(int key) { return ValidKey(key) ? Game().keyPressed[key] : 0; }
int IO_KeyCheckReleased(int key) { return ValidKey(key) ? Game().keyReleased[key] : 0; }

int IO_MouseCheck(int button, int device) {
    return ValidButton(button) && ValidDevice(device) ? Game().buttonDown[ButtonSlot(button, device)] : 0;
}
int IO_MouseCheckPressed(int button, int device) {
    return ValidButton(button) && ValidDevice(device) ? Game().buttonPressed[ButtonSlot(button, device)] : 0;
}
int IO_MouseCheckReleased(int button, int device) {
    return ValidButton(button) && ValidDevice(device) ? Game().buttonReleased[ButtonSlot(button, device)] : 0;
}

int IO_MouseCheckButton(IOButtonTable table, int button, int device) {
    if (!ValidDevice(device)) return 0;
    const uint8_t* bytes = ButtonTable(table);
    if (ValidButton(button)) return bytes[ButtonSlot(button, device)];
    if (button != MB_ANY && button != MB_NONE) return 0;
    bool any = false;
    for (int b = 1; b <= kIOMouseButtons; ++b) any = any || bytes[ButtonSlot(b, device)] != 0;
    return (button == MB_ANY) == any ? 1 : 0;
}

int IO_MouseWheelUp(int device) { return ValidDevice(device) ? Game().wheelUp[device] : 0; }
int IO_MouseWheelDown(int device) { return ValidDevice(device) ? Game().wheelDown[device] : 0; }
int IO_GetMouseButton(int device) { return ValidDevice(device) ? Game().mouseButton[device] : 0; }
int IO_GetLastMouseButton(int device) { return ValidDevice(device) ? Game().lastMouseButton[device] : 0; }

void IO_SetMouseButton(int button, int device) {
    if (ValidButton(button) && ValidDevice(device)) Game().mouseButton[device] = button;
}
void IO_SetLastMouseButton(int button, int device) {
    if (ValidButton(button) && ValidDevice(device)) Game().lastMouseButton[device] = button;
}

int IO_GetKey() { return Game().currentKey; }
int IO_GetLastKey() { return Game().lastKey; }
int IO_GetLastChar() { return Game().lastChar; }

void IO_SetKey(int key) {
    if (ValidKey(key)) Game().currentKey = key;
}

void IO_SetLastKey(int key) {
    Game().lastKey = key;
    Message().lastKey = key;
    Message().currentKey = 0;
}

void IO_SetLastChar(int character) {
    const bool isCharacter = character >= 0 && character <= 0x10FFFF && !Text_IsHighSurrogate(character) &&
                             !Text_IsLowSurrogate(character);
    Game().lastChar = Message().lastChar = isCharacter ? static_cast<uint32_t>(character) : 0;
}

const char* IO_GetKeyboardString() {
    // Three bytes at most per 16-bit unit (a pair's four bytes take two).
    static char text[kIOKeyboardStringUnits * 3 + 1];
    char* p = text;
    const uint16_t* s = Game().keyboardString;
    for (int i = 0; i < kIOKeyboardStringUnits && s[i] != 0; ++i) {
        if (Text_IsHighSurrogate(s[i]) && i + 1 < kIOKeyboardStringUnits && Text_IsLowSurrogate(s[i + 1])) {
            UTF8_PutChar(p, Text_JoinSurrogates(s[i], s[i + 1]));
            ++i;
        } else if (!Text_IsHighSurrogate(s[i]) && !Text_IsLowSurrogate(s[i])) {
            UTF8_PutChar(p, s[i]);
        }
    }
    *p = '\0';
    return text;
}

void IO_SetKeyboardString(const char* text) {
    IOInputCopy& g = Game();
    int length = 0;
    if (text) {
        const char* p = text;
        while (length < kIOKeyboardStringUnits - 1) {
            const uint32_t c = UTF8_GetChar(p);
            if (c == 0) break;
            if (c < 0x10000) {
                g.keyboardString[length++] = static_cast<uint16_t>(c);
                continue;
            }
            // A pair that no longer fits is left out whole.
            if (length + 2 > kIOKeyboardStringUnits - 1) break;
            g.keyboardString[length++] = Text_HighSurrogate(c);
            g.keyboardString[length++] = Text_LowSurrogate(c);
        }
    }
    g.keyboardString[length] = 0;
    Input_State().IO_State.keyboardLength = length;
    std::memcpy(Message().keyboardString, g.keyboardString, sizeof g.keyboardString);
}

int IO_GetKeyMap(int key) {
    return ValidKey(key) ? Input_State().IO_State.keyMap[key] : key;
}

void IO_SetKeyMap(int key, int mapped) {
    if (ValidKey(key)) Input_State().IO_State.keyMap[key] = mapped;
}

void IO_UnsetKeyMap() {
    for (int k = 0; k < kIOKeyCount; ++k)
        Input_State().IO_State.keyMap[k] = k;
}

void IO_KeyClear(int key) {
    if (!ValidKey(key)) return;
    for (IOInputCopy* c : {&Game(), &Message()}) {
        c->keyDown[key] = 0;
        c->keyPressed[key] = 0;
        c->keyReleased[key] = 0;
    }
}

void IO_MouseClear(int button, int device) {
    if (!ValidButton(button) || !ValidDevice(device)) return;
    const int slot = ButtonSlot(button, device);
    Game().buttonDown[slot] = 0;
    Game().buttonPressed[slot] = 0;
    Game().buttonReleased[slot] = 0;
    if (device != 0) return;
    Message().buttonDown[slot] = 0;
    Message().buttonPressed[slot] = 0;
    Message().buttonReleased[slot] = 0;
}

void IO_ClearKeys() {
    ClearKeyTables(Game());
    ClearKeyTables(Message());
}

void IO_Clear() {
    std::memset(Game().keyboardString, 0, sizeof Game().keyboardString);
    std::memset(Message().keyboardString, 0, sizeof Message().keyboardString);
    Message().waitingHighSurrogate = 0;
    Input_State().IO_State.keyboardLength = 0;
    IO_ClearKeys();
    ClearDeviceZero(Game());
    ClearDeviceZero(Message());
}

// --- virtual keys ---

int IO_AddVirtualKey() {
    for (int i = 0; i < kIOVirtualKeyCount; ++i)
        if (Input_State().IO_State.virtualKeys[i].flags == 0) return i;
    return -1;
}

void IO_DeleteVirtualKey(int index) {
    if (index >= 0 && index < kIOVirtualKeyCount) Input_State().IO_State.virtualKeys[index].flags = 0;
}

void IO_ClearVirtualKeys() {
    for (IOVirtualKey& r : Input_State().IO_State.virtualKeys)
        r.flags = 0;
}

void IO_LoadVirtualKeys(const IniFile& options) {
    const char* kSection = "IO_VIRTUAL_BUTTONS";
    const int count = IniInt(options, kSection, "NUM_BUTTONS");
    const IniKey* texture = options.FindKey(kSection, "TEXTURE");
    if (texture && texture->value) {
        MEM_FREE(Input_State().IO_State.virtualKeyTexture);
        Input_State().IO_State.virtualKeyTexture = String_Duplicate(texture->value);
    }
    for (int n = 0; n < count; ++n) {
        const int i = IO_AddVirtualKey();
        if (i < 0) continue;
        char section[32];
        std::snprintf(section, sizeof section, "IO_BUTTON_%d", n);
        IOVirtualKey& r = Input_State().IO_State.virtualKeys[i];
        r.x1 = IniInt(options, section, "X");
        r.y1 = IniInt(options, section, "Y");
        r.w = IniInt(options, section, "W");
        r.h = IniInt(options, section, "H");
        r.u = IniInt(options, section, "U");
        r.v = IniInt(options, section, "V");
        r.x2 = Wrap_Add32(r.x1, r.w);
        r.y2 = Wrap_Add32(r.y1, r.h);
        const char* key = IniText(options, section, "KEY");
        if (strncasecmp(key, "VK_", 3) == 0)
            r.key = ConstantValue(key) & 0xFF;
        else if (strncasecmp(key, "MB_", 3) == 0 || std::isspace(static_cast<unsigned char>(key[0])))
            r.key = 0;
        else
            r.key = static_cast<unsigned char>(key[0]);
        const char* button = IniText(options, section, "BUTTON");
        r.button = strncasecmp(button, "MB_", 3) == 0 ? ConstantValue(button) : 0;
        r.flags = kVirtualKeyActive;
    }
}

// --- lifecycle ---

void IO_Init() {
    IOState& s = Input_State().IO_State;
    std::memset(s.devicePoints, 0, sizeof s.devicePoints);
    IO_Clear();
    IO_UnsetKeyMap();
    s.copyToMessageFirst = true;
    s.doubleClick = 1;
    s.touchedMask = 0;
    IO_CloseFile();
    if (s.mode != IOMode::Off && s.fileName) {
        s.file = std::fopen(s.fileName, s.mode == IOMode::Recording ? "w+b" : "rb");
        if (s.file) std::setvbuf(s.file, nullptr, _IONBF, 0);
    }
    s.framesDone = 0;
    std::memset(s.virtualKeys, 0, sizeof s.virtualKeys);
    for (int i = 0; i < kIOVirtualKeyCount; ++i) s.virtualKeys[i].index = static_cast<int16_t>(i);
}

void IO_Update() {
    IOInputCopy& g = Game();
    std::memset(g.keyPressed, 0, sizeof g.keyPressed);
    std::memset(g.keyReleased, 0, sizeof g.keyReleased);
    std::memset(g.buttonPressed, 0, sizeof g.buttonPressed);
    std::memset(g.buttonReleased, 0, sizeof g.buttonReleased);
    std::memset(g.wheelUp, 0, sizeof g.wheelUp);
    std::memset(g.wheelDown, 0, sizeof g.wheelDown);
    if (Input_State().IO_State.mode != IOMode::Playback) {
        CopyMessageToGame();
        Gamepad_Poll();
        UpdateVirtualKeys();
    } else {
        IO_ReadPlaybackFrame();
    }
    if (Input_State().IO_State.mode == IOMode::Recording) IO_WritePlaybackFrame();
}

void IO_End() {
    Gamepad_Free();
    IO_CloseFile();
    std::memset(Input_State().IO_State.virtualKeys, 0, sizeof Input_State().IO_State.virtualKeys);
    MEM_FREE(Input_State().IO_State.virtualKeyTexture);
    Input_State().IO_State.virtualKeyTexture = nullptr;
}

namespace {
constexpr int32_t kInputStateVersion = 851;
constexpr int kVirtualKeyInts = 10;

void WriteNumber(IBuffer* buffer, int type, double d) {
    ScriptValue v;
    Value_SetReal(&v, d);
    buffer->Write(type, &v);
}

bool ReadNumber(IBuffer* buffer, int type, int32_t& out) {
    if (!buffer->CanRead(type)) return false;
    ScriptValue v;
    buffer->Read(type, &v);
    out = X86_DoubleToInt32(Value_Real(&v));
    return true;
}
} // namespace

void IO_SaveState(IBuffer* buffer) {
    WriteNumber(buffer, eBuffer_S32, kInputStateVersion);
    WriteNumber(buffer, eBuffer_S32, kIOVirtualKeyCount);
    for (const IOVirtualKey& r : Input_State().IO_State.virtualKeys) {
        WriteNumber(buffer, eBuffer_S16, static_cast<int16_t>(r.flags));
        WriteNumber(buffer, eBuffer_S16, r.index);
        for (int32_t n : {r.x1, r.y1, r.x2, r.y2, r.w, r.h, r.u, r.v, r.key, r.button})
            WriteNumber(buffer, eBuffer_S32, n);
    }
}

bool IO_ReadState(IBuffer* buffer, IOSavedState& out) {
    int32_t version = 0;
    int32_t count = 0;
    if (!ReadNumber(buffer, eBuffer_S32, version) || version != kInputStateVersion) return false;
    if (!ReadNumber(buffer, eBuffer_S32, count) || count < 0 || count > kIOVirtualKeyCount) return false;
    for (int i = 0; i < count; ++i) {
        int32_t flags = 0;
        int32_t index = 0;
        int32_t n[kVirtualKeyInts];
        if (!ReadNumber(buffer, eBuffer_S16, flags) || !ReadNumber(buffer, eBuffer_S16, index)) return false;
        for (int32_t& x : n)
            if (!ReadNumber(buffer, eBuffer_S32, x)) return false;
        out.virtualKeys[i] = IOVirtualKey{static_cast<uint16_t>(flags), static_cast<int16_t>(index), n[0], n[1],
                                          n[2], n[3], n[4], n[5], n[6], n[7], n[8], n[9]};
    }
    out.count = count;
    return true;
}

void IO_UseState(const IOSavedState& state) {
    std::memcpy(Input_State().IO_State.virtualKeys, state.virtualKeys,
                sizeof(IOVirtualKey) * static_cast<size_t>(state.count));
}

bool IO_LoadState(IBuffer* buffer) {
    IOSavedState state;
    if (!IO_ReadState(buffer, state)) return false;
    IO_UseState(state);
    return true;
}
