// What the data file says about the game as a whole and its code: the general information ("GEN8",
// also "GEN7" and "GENL"), the options ("OPTN"), the string table ("STRG"), the code entries ("CODE") and
// the binding of the bytecode's variable and function references ("VARI", "FUNC").
//
// A pre-pass (Code_Load) reads the general information, strings, code and variable references before the
// window exists; the main walk then reads the general information and the options again, checks the
// string operands and binds the function references.
#pragma once

#include "runner/data_view.h"

#include <cstdint>
#include <string>
#include <vector>

// The general-information record.
struct GeneralInfo {
    bool present = false;
    uint32_t record = 0;        // offset of the record's body in the file
    uint8_t debuggerServer = 1; // 0: start the remote-debugger server at start-up
    int32_t version = 0;
    const char* fileName = nullptr;
    uint32_t lastInstanceId = 0;
    uint32_t lastTileId = 0;
    uint32_t gameId = 0;
    uint32_t kept[4] = {};
    std::string gameName;
    int32_t windowWidth = 0;
    int32_t windowHeight = 0;
    const char* caption = nullptr; // the default window caption (version >= 10)
    int64_t value104 = 0;          // (version >= 11) not read further
    int64_t optionBits = -1;       // (version >= 12); bit value 4 enables gamepad polling
    uint32_t steamAppId = 0;       // (version >= 13)
    bool steam = false;            // window flag 0x1000 (version >= 8)
    std::vector<int32_t> roomOrder;
};
extern GeneralInfo g_GeneralInfo;
// The window flags word of the general information (version >= 8): bit 0 full screen (the popup window
// style), 1 vsync, 2 software vertex processing, 3 interpolate, 4 keep aspect, 5 (0x20) show the cursor,
// 6 resizable, 0x1000 Steam, 0x2000 the roaming save area.
extern uint32_t GameOptions;
// The configuration name of the general information ("" when there is none).
extern const char* Game_ConfigName;

// The options record. A flag is a word that is not 0.
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
extern OptionsRecord g_Options;

// One code entry {u32 name offset, s32 length, bytecode} of "CODE".
struct CodeEntry {
    const char* name = nullptr;
    uint32_t bytecode = 0; // offset of the bytecode in the file
    int32_t length = 0;
};

// The pre-pass over the whole file ("Get Resolution"). A broken record is recorded as a load failure
// (Runner_HasLoadFailed) and ends the pre-pass.
void Code_Load(uint8_t* data, uint32_t size);
bool GEN8_Load(const CDataView& file, const IFFChunk& chunk);
void Options_Clear();
bool Options_Load(const CDataView& file, const IFFChunk& chunk);
bool Code_LoadEntries(const CDataView& file, const IFFChunk& chunk);
// Checks every string operand of the bytecode against the string table. The operands stay string indices:
// the run-time string table holds the data file's strings first, so an index is already the handle.
bool Code_PatchStrings(const CDataView& file, const IFFChunk& chunk);
bool VARI_Load(const CDataView& file, const IFFChunk& chunk);
bool FUNC_Load(const CDataView& file, const IFFChunk& chunk);

// 800 after the pre-pass; 700 when the main walk meets "GEN7" or "GENL".
void Code_SetRunnerFormat(int format);
int Code_GetRunnerFormat();
bool Code_IsPresent();

int Code_GetEntryCount();
// The entry of an index; false outside 0 .. count - 1 or for an empty slot.
bool Code_GetEntry(int index, CodeEntry* entry);
int Code_GetStringCount();
// The characters of string i of "STRG" and their length; null outside the table.
const char* Code_GetString(int index, uint32_t* length = nullptr);

// Forgets everything read from the file (shutdown, and between tests).
void Code_Free();
