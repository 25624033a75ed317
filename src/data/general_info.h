// The data file's general information ("GEN8", also "GEN7" and "GENL") and options ("OPTN"): the records,
// their readers, and the values the rest of the runner reads from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The general-information record ("GEN8", "GEN7" or "GENL").
struct GeneralInfo {
    bool present = false;
    uint32_t record = 0;        // offset of the record's body in the file
    uint8_t debuggerServer = 1; // 0: start the remote-debugger server at start-up
    int32_t version = 0;
    const char* fileName = nullptr;
    uint32_t lastInstanceId = 0; // instance ids continue after it
    uint32_t lastTileId = 0;
    uint32_t gameId = 0;
    uint32_t kept[4] = {};
    std::string gameName;
    int32_t windowWidth = 0; // (version >= 8)
    int32_t windowHeight = 0;
    const char* caption = nullptr; // the default window caption (version >= 10)
    int64_t value104 = 0;          // (version >= 11) not read further
    int64_t optionBits = -1;       // (version >= 12); bit value 4 enables gamepad polling
    uint32_t steamAppId = 0;       // (version >= 13)
    bool steam = false;            // window flag 0x1000 (version >= 8)
    std::vector<int32_t> roomOrder;
};

// The options record ("OPTN"). A flag is a word that is not 0.
struct OptionsRecord {
    bool fullScreen = false;          // word 0; "-inawindow" forces it off
    bool useOpenAL = false;           // word 2: the OpenAL engine instead of the legacy sound layer
    bool showCursor = true;           // word 4
    uint32_t windowColour = 0xFFFFFF; // word 8, RGB
    bool changeResolution = false;    // word 9: set the display mode at start
    int32_t colourDepth = 0;          // word 10: 1 = 16 bits, 2 = 32 bits
    int32_t resolution = 0;           // word 11: 1 = 320x240 ... 6 = 1600x1200
    int32_t frequency = 0;            // word 12: 1 = 60 ... 5 = 120 Hz
    bool windowFlag15 = true;         // word 15, read by the window procedure
    bool freezeOnLostFocus = false;   // word 22
    bool errorsAbort = false;         // word 32: every game-code error aborts
    bool unsetVariableFlag = false;   // word 33: what reading a never-set variable gives
    // The game's constants as text, in file order (null where the file gives no text).
    std::vector<const char*> constantNames;
    std::vector<const char*> constantValues;
    int versionMajor = 0; // from the constants "VersionMajor" and "VersionMinor"
    int versionMinor = 0;
};

// What the runner reads from the general information and the options, reached through
// GeneralInfo_State().
struct GeneralInfoState {
    // The window flags word of the general information (version >= 8): bit 0 full screen (the popup
    // window style), 1 vsync, 2 software vertex processing, 3 interpolate colours between pixels, 4 keep
    // aspect ratio, 5 (0x20) show the cursor, 6 the window may be resized, 0x1000 Steam, 0x2000 roaming
    // save area.
    uint32_t GameOptions = 0;
    // The configuration name the game was built with; null when the data file has none.
    const char* Game_ConfigName = nullptr;
    GeneralInfo g_GeneralInfo;
    OptionsRecord g_Options;
};

inline GeneralInfoState& GeneralInfo_State() {
    static GeneralInfoState state;
    return state;
}

class CDataView;
struct IFFChunk;

// Reads the general-information record into g_GeneralInfo; false (a load failure) when it is broken.
bool GEN8_Load(const CDataView& file, const IFFChunk& chunk);

// What the options drive in other subsystems, handed to Options_Load by the loader that owns them.
struct OptionsAppliers {
    void (*windowColour)(uint32_t colour);           // as soon as the colour is read
    void (*flags)(const OptionsRecord& options);     // once the flags are read
};
// Reads the options record into g_Options; false (a load failure) when it is broken.
bool Options_Load(const CDataView& file, const IFFChunk& chunk, const OptionsAppliers& apply);
// Back to the start values of the options record.
void Options_Clear();
// Forgets the general information and the options (shutdown, and between tests).
void GeneralInfo_Free();
