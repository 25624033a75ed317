// The high-score table: the ten best scores of the game, entry 1 the best, each with a player name; kept
// in the save area as "hiscore.dat" (read while the built-ins are registered, written at shutdown when
// an added score changed it). Also the settings of the table's display, which the high-score built-ins
// set.
//
// "hiscore.dat", little-endian: "HISC", u32 length of the whole file, then the ten entries, entry 1
// first; an entry is a u32 name length n, the n name bytes, 0xF0 bytes up to the next multiple of 4, and
// the s32 value.
#pragma once

#include <cstdint>
#include <string>

constexpr int kHighScoreEntries = 10;
// The longest name the file holds; a longer one is written cut to it.
constexpr uint32_t kHighScoreMaxName = 256;

// Every entry becomes (a copy of the empty-entry text, 0). Does not mark the table changed.
void HighScore_Clear();
// Entry position (1 to 10) gets a copy of name (null: "") and value; other positions are ignored.
void HighScore_SetEntry(int position, const char* name, int32_t value);
// Places the score after every entry that is not below it, moving the later ones down (the last drops
// out) and marks the table changed; nothing when all ten are at least value. A null name leaves the
// entry without a name.
void HighScore_Add(const char* name, int32_t value);
// Entry 1..10; 0 and "" outside that range, "" for an entry without a name.
int32_t HighScore_GetValue(int position);
const char* HighScore_GetName(int position);
// The 0-based position the last HighScore_Add placed its score at (-1 before the first).
int HighScore_LastAdded();
// True when an added score changed the table since it was last read or written.
bool HighScore_Changed();
// The display of the table; it shows nothing on this platform.
void HighScore_Show(int position);

// Reads "hiscore.dat" of the save area (the table keeps its contents when it is missing or damaged).
void HighScore_Load();
// Writes "hiscore.dat" into the save area when the table changed.
void HighScore_Save();
// The file at a path (mapped already): a file that is missing, not a table, or whose length word is
// larger than the file leaves the table as it is; otherwise entries are read in order until one does
// not lie within the length (and the bytes read) or names more than 256 bytes, and the entries from
// there on keep their contents. The table is not changed afterwards in every case.
void HighScore_LoadFile(const char* path);
// Writes the table to the path, making its folders first; the table is not changed afterwards even
// when the file cannot be written.
void HighScore_SaveFile(const char* path);
// The bytes HighScore_SaveFile writes.
std::string HighScore_Encode();

// The display settings of the high-score built-ins.
struct HighScoreDisplay {
    int32_t background = -1;
    bool border = true;
    uint32_t colours[3] = {0, 0, 0};
    char* fontName = nullptr; // owned
    int32_t fontSize = 0;
    char* caption = nullptr; // owned; the three texts of highscore_set_strings
    char* emptyEntry = nullptr;
    char* closeHint = nullptr;
};
// The high-score table's display settings, reached through HighScore_State().
struct HighScoreState {
    HighScoreDisplay HighScore_Display;
};

inline HighScoreState& HighScore_State() {
    static HighScoreState state;
    return state;
}
// The empty-entry text ("<nobody>" until a game sets another).
const char* HighScore_EmptyText();
// Back to the default settings, every entry without a name and 0, not changed (shutdown, and between
// tests).
void HighScore_Reset();
