// The keyboard and mouse state. The window procedure writes into a message-side copy whenever a key,
// character or mouse message arrives; once per step IO_Update turns it into the game-side copy that
// events, scripts and built-in variables read. Also the on-screen virtual keys, the saved input state,
// and the recording and playback of the game-side state (input_recording.cpp).
#pragma once

#include <cstdint>
#include <cstdio>

class IBuffer;
class IniFile;

constexpr int kIOKeyCount = 256;
constexpr int kIOMouseDevices = 5;
constexpr int kIOMouseButtons = 3;
constexpr int kIOKeyboardStringUnits = 1025; // 1,024 characters and the terminator
constexpr int kIOVirtualKeyCount = 128;
constexpr int kIODevicePointCount = 128;

constexpr int MB_ANY = -1;
constexpr int MB_NONE = 0;
constexpr int VK_NOKEY = 0;
constexpr int VK_ANYKEY = 1;

// The raw mouse position per device (devices 0 to 4), in window client pixels: the game-side device
// table. Device 0's pair is also the legacy mouse position.
struct RawMousePositions {
    int32_t x[kIOMouseDevices];
    int32_t y[kIOMouseDevices];
};

// The part of the state kept twice. The message side uses device 0 of the mouse tables only; its mouse
// position is the pair below, the game side's lives in IO_RawMouse.
struct IOInputCopy {
    uint8_t keyDown[kIOKeyCount];
    uint8_t keyPressed[kIOKeyCount];
    uint8_t keyReleased[kIOKeyCount];
    int32_t currentKey;
    int32_t lastKey;
    // A code point; a recording keeps its last UTF-16 unit (input_recording.cpp).
    uint32_t lastChar;
    // UTF-16: a character beyond the 16-bit range takes a surrogate pair, never one half of one.
    uint16_t keyboardString[kIOKeyboardStringUnits];
    uint16_t waitingHighSurrogate; // message side only: the first half of a pair, until its second comes
    int32_t mouseButton[kIOMouseDevices];
    int32_t lastMouseButton[kIOMouseDevices];
    // Entry (device d, button b) at 3 * d + b - 1.
    uint8_t buttonDown[kIOMouseDevices * kIOMouseButtons];
    uint8_t buttonPressed[kIOMouseDevices * kIOMouseButtons];
    uint8_t buttonReleased[kIOMouseDevices * kIOMouseButtons];
    uint8_t wheelUp[kIOMouseDevices];
    uint8_t wheelDown[kIOMouseDevices];
    int32_t mouseX; // message side only
    int32_t mouseY;
};

struct IOVirtualKey {
    uint16_t flags; // bit 0 active, bit 1 shown
    int16_t index;
    int32_t x1, y1, x2, y2; // right and bottom excluded
    int32_t w, h;
    int32_t u, v; // kept and saved, not drawn
    int32_t key;  // 0: the record drives a mouse button instead
    int32_t button;
};

enum IOVirtualKeyFlags : uint16_t {
    kVirtualKeyActive = 1,
    kVirtualKeyShown = 2,
};

enum class IOMode { Off, Recording, Playback };

struct IOState {
    IOInputCopy game;
    IOInputCopy message;
    int32_t keyboardLength; // shared by both copies
    int32_t keyMap[kIOKeyCount];
    int32_t cursorX, cursorY; // the system cursor on the screen, refreshed every step
    bool copyToMessageFirst;
    uint8_t doubleClick;
    // Word 0 bit 31: a new touch waiting; words 1 and 2: x and y in window pixels.
    uint32_t devicePoints[kIODevicePointCount][5];
    uint32_t touchedMask; // virtual keys touched in the previous step
    IOVirtualKey virtualKeys[kIOVirtualKeyCount];
    char* virtualKeyTexture;
    // Recording and playback.
    IOMode mode;
    char* fileName;
    FILE* file;
    int64_t framesDone; // frames written or read
};
// The input state, reached through Input_State().
struct InputState {
    RawMousePositions IO_RawMouse{};
    IOState IO_State{};
};

inline InputState& Input_State() {
    static InputState state;
    return state;
}

// --- message side (the window procedure) ---
void IO_OnKeyDown(int key, bool repeat);
void IO_OnKeyUp(int key);
// One UTF-16 unit of a character message: the two halves of a surrogate pair make one character, a
// half without its partner is dropped.
void IO_OnChar(uint16_t character);
void IO_OnMouseDown(int button);
void IO_OnMouseUp(int button);
void IO_OnWheelUp();
void IO_OnWheelDown();
void IO_OnMouseMove(int32_t x, int32_t y);

// --- game-side queries; keys 0..255, buttons 1..3, devices 0..4, anything else 0 or nothing ---
int IO_KeyCheck(int key);
int IO_KeyCheckPressed(int key);
int IO_KeyCheckReleased(int key);
int IO_MouseCheck(int button, int device);
int IO_MouseCheckPressed(int button, int device);
int IO_MouseCheckReleased(int button, int device);
// The mouse checks of scripts: MB_ANY is 1 when any of buttons 1..3 is, MB_NONE when none is.
enum class IOButtonTable { Down, Pressed, Released };
int IO_MouseCheckButton(IOButtonTable table, int button, int device);
int IO_MouseWheelUp(int device);
int IO_MouseWheelDown(int device);
int IO_GetMouseButton(int device);
int IO_GetLastMouseButton(int device);
void IO_SetMouseButton(int button, int device);
void IO_SetLastMouseButton(int button, int device);
int IO_GetKey();
int IO_GetLastKey();
int IO_GetLastChar(); // a code point (0 for none)
void IO_SetKey(int key);
void IO_SetLastKey(int key);
// A code point; anything else (a surrogate half, a value beyond U+10FFFF) is no character: 0.
void IO_SetLastChar(int character);
// The game-side string as UTF-8 in one static buffer, overwritten by the next call.
const char* IO_GetKeyboardString();
void IO_SetKeyboardString(const char* text);
int IO_GetKeyMap(int key);
void IO_SetKeyMap(int key, int mapped);
void IO_UnsetKeyMap();
void IO_KeyClear(int key);
void IO_MouseClear(int button, int device);
void IO_ClearKeys();
void IO_Clear();

// --- virtual keys ---
// The index of the first free record, or -1 when all are used.
int IO_AddVirtualKey();
void IO_DeleteVirtualKey(int index);
void IO_ClearVirtualKeys();
// Fills free records from the "IO_VIRTUAL_BUTTONS" and "IO_BUTTON_n" sections of the options file.
void IO_LoadVirtualKeys(const IniFile& options);
// The game size over the window size on each axis, by which the records are drawn and touched; a GUI
// size of -1 means the client size (scale 1).
void IO_VirtualKeyScale(double& sx, double& sy);

// --- lifecycle ---
// Zeroes the state, clears the input, makes the identity key map and the virtual-key table, and opens
// the recording or playback file asked for with IO_SetRecordFile / IO_SetPlaybackFile.
void IO_Init();
void IO_Update();
void IO_End();
void IO_SaveState(IBuffer* buffer);
// A saved input state as read, not yet in use: its first count virtual-key records.
struct IOSavedState {
    IOVirtualKey virtualKeys[kIOVirtualKeyCount];
    int count = 0;
};
// False for another version, a record count outside 0..128 or too few bytes. Changes nothing but the
// buffer's position.
bool IO_ReadState(IBuffer* buffer, IOSavedState& out);
// The read records replace the first count records of the table; the others stay.
void IO_UseState(const IOSavedState& state);
// IO_ReadState, then IO_UseState when it succeeds: false, with nothing changed, when it does not.
bool IO_LoadState(IBuffer* buffer);

// --- recording and playback ---
// The command line's "-record" and "-playback": the mode and file for the next IO_Init. Playback
// wins over recording.
void IO_SetRecordFile(const char* fileName);
void IO_SetPlaybackFile(const char* fileName);
// The frame size of a recording.
constexpr int kIOPlaybackFrameSize = 2939;
void IO_WritePlaybackFrame();
void IO_ReadPlaybackFrame();
// Closes the recording or playback file; the mode stays.
void IO_CloseFile();
