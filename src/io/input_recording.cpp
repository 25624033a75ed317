// Recording and playback of the game-side input: a file of frames of 2,939 bytes, one per step, with no
// header. Each frame holds the fields below in this order, little-endian, packed.
#include "core/console.h"
#include "core/memory.h"
#include "core/text.h"
#include "io/input.h"
#include "platform/input_translator.h"

#include <cstring>

namespace {

enum class FieldCheck {
    None,
    Flags,   // bytes of 0 or 1
    Key,     // a 32-bit key code 0..255
    Buttons, // 32-bit button numbers 0..3
};

struct FrameField {
    void* data;
    int size;
    FieldCheck check;
};

constexpr int kFieldCount = 18;

// The fields of one frame, in file order (released before pressed, for keys and for buttons). The last
// character is written as one UTF-16 unit, lastUnit (see RecordedUnit).
void FrameFields(FrameField (&fields)[kFieldCount], uint16_t& lastUnit) {
    IOInputCopy& g = Input_State().IO_State.game;
    const FrameField list[kFieldCount] = {
        {&lastUnit, 2, FieldCheck::None},
        {g.keyboardString, sizeof g.keyboardString, FieldCheck::None},
        {&g.lastKey, 4, FieldCheck::Key},
        {&g.currentKey, 4, FieldCheck::Key},
        {g.keyDown, sizeof g.keyDown, FieldCheck::Flags},
        {g.keyReleased, sizeof g.keyReleased, FieldCheck::Flags},
        {g.keyPressed, sizeof g.keyPressed, FieldCheck::Flags},
        {g.lastMouseButton, sizeof g.lastMouseButton, FieldCheck::Buttons},
        {g.mouseButton, sizeof g.mouseButton, FieldCheck::Buttons},
        {g.buttonDown, sizeof g.buttonDown, FieldCheck::Flags},
        {g.buttonReleased, sizeof g.buttonReleased, FieldCheck::Flags},
        {g.buttonPressed, sizeof g.buttonPressed, FieldCheck::Flags},
        {g.wheelUp, sizeof g.wheelUp, FieldCheck::Flags},
        {g.wheelDown, sizeof g.wheelDown, FieldCheck::Flags},
        {&Input_State().IO_State.cursorX, 4, FieldCheck::None},
        {&Input_State().IO_State.cursorY, 4, FieldCheck::None},
        {&Input_State().IO_RawMouse.x[0], 4, FieldCheck::None},
        {&Input_State().IO_RawMouse.y[0], 4, FieldCheck::None},
    };
    std::memcpy(fields, list, sizeof list);
}

// The last character as a frame holds it: a character beyond the 16-bit range by its pair's second half,
// the last unit its message brought.
uint16_t RecordedUnit(uint32_t character) {
    return character < 0x10000 ? static_cast<uint16_t>(character) : Text_LowSurrogate(character);
}

// And back: a second half read is the character of the pair that ends the frame's keyboard string, when
// it ends with that half; any other half is no character.
uint32_t PlayedCharacter(uint16_t unit) {
    if (!Text_IsHighSurrogate(unit) && !Text_IsLowSurrogate(unit)) return unit;
    const uint16_t* s = Input_State().IO_State.game.keyboardString;
    int length = 0;
    while (length < kIOKeyboardStringUnits && s[length] != 0) ++length;
    const bool endsWithIt = length >= 2 && s[length - 1] == unit && Text_IsHighSurrogate(s[length - 2]);
    if (Text_IsLowSurrogate(unit) && endsWithIt) return Text_JoinSurrogates(s[length - 2], unit);
    return 0;
}

bool FieldIsSound(const uint8_t* bytes, int size, FieldCheck check) {
    switch (check) {
    case FieldCheck::None: return true;
    case FieldCheck::Flags:
        for (int i = 0; i < size; ++i)
            if (bytes[i] > 1) return false;
        return true;
    case FieldCheck::Key:
    case FieldCheck::Buttons: {
        const int32_t limit = check == FieldCheck::Key ? 255 : 3;
        for (int i = 0; i < size; i += 4) {
            int32_t n = 0;
            std::memcpy(&n, bytes + i, 4);
            if (n < 0 || n > limit) return false;
        }
        return true;
    }
    }
    return false;
}

// Playback ends: the file is closed, and from now on every step keeps the last state read.
void StopPlayback(const char* reason) {
    ReleaseConsole->Output("Playback of \"%s\" stopped at frame %lld: %s.\n",
                           Input_State().IO_State.fileName ? Input_State().IO_State.fileName : "",
                           static_cast<long long>(Input_State().IO_State.framesDone), reason);
    IO_CloseFile();
}

} // namespace

void IO_SetRecordFile(const char* fileName) {
    if (Input_State().IO_State.mode == IOMode::Playback) return;
    Input_State().IO_State.mode = IOMode::Recording;
    MEM_FREE(Input_State().IO_State.fileName);
    Input_State().IO_State.fileName = String_Duplicate(fileName);
}

void IO_SetPlaybackFile(const char* fileName) {
    Input_State().IO_State.mode = IOMode::Playback;
    MEM_FREE(Input_State().IO_State.fileName);
    Input_State().IO_State.fileName = String_Duplicate(fileName);
}

void IO_CloseFile() {
    if (Input_State().IO_State.file) std::fclose(Input_State().IO_State.file);
    Input_State().IO_State.file = nullptr;
}

void IO_WritePlaybackFrame() {
    FILE* file = Input_State().IO_State.file;
    if (!file) return;
    FrameField fields[kFieldCount];
    uint16_t lastUnit = RecordedUnit(Input_State().IO_State.game.lastChar);
    FrameFields(fields, lastUnit);
    uint8_t frame[kIOPlaybackFrameSize];
    int at = 0;
    for (const FrameField& f : fields) {
        std::memcpy(frame + at, f.data, static_cast<size_t>(f.size));
        at += f.size;
    }
    if (std::fwrite(frame, 1, sizeof frame, file) != sizeof frame) {
        ReleaseConsole->Output("Recording to \"%s\" stopped at frame %lld: the file could not be written.\n",
                               Input_State().IO_State.fileName ? Input_State().IO_State.fileName : "",
                               static_cast<long long>(Input_State().IO_State.framesDone));
        IO_CloseFile();
        return;
    }
    std::fflush(file);
    ++Input_State().IO_State.framesDone;
}

// A frame is applied only when every field it holds is sound. A last frame cut short fills the fields
// that are wholly present, and playback ends there.
void IO_ReadPlaybackFrame() {
    FILE* file = Input_State().IO_State.file;
    if (!file) return;
    uint8_t frame[kIOPlaybackFrameSize];
    const size_t got = std::fread(frame, 1, sizeof frame, file);
    if (got == 0) {
        IO_CloseFile();
        return;
    }
    FrameField fields[kFieldCount];
    uint16_t lastUnit = 0;
    FrameFields(fields, lastUnit);
    int at = 0;
    int present = 0;
    for (const FrameField& f : fields) {
        if (static_cast<size_t>(at + f.size) > got) break;
        if (!FieldIsSound(frame + at, f.size, f.check)) {
            StopPlayback("it holds a key code, mouse button or flag outside its range");
            return;
        }
        at += f.size;
        ++present;
    }
    at = 0;
    for (int i = 0; i < present; ++i) {
        std::memcpy(fields[i].data, frame + at, static_cast<size_t>(fields[i].size));
        at += fields[i].size;
    }
    // The recorded string need not be terminated within its field.
    Input_State().IO_State.game.keyboardString[kIOKeyboardStringUnits - 1] = 0;
    if (present > 0) Input_State().IO_State.game.lastChar = PlayedCharacter(lastUnit);
    if (got < sizeof frame) {
        StopPlayback("the file ends inside the frame");
        return;
    }
    ++Input_State().IO_State.framesDone;
}
