// The high-score table (ten entries, entry 1 the best, each a player name and a score) and the settings
// of its display, as the high-score built-ins and actions use them.
//
// The table lives in memory: its file in the save area is not read or written yet.
#pragma once

#include <cstdint>

constexpr int kHighScoreEntries = 10;

// Every entry becomes (the empty-entry text, 0).
void HighScore_Clear();
// Places the score after every entry that is not below it, moving the later ones down (the last drops
// out); nothing when all ten are at least value. A null name leaves the entry without a name.
void HighScore_Add(const char* name, int32_t value);
// Entry 1..10; 0 and "" outside that range, "" for an entry without a name.
int32_t HighScore_GetValue(int position);
const char* HighScore_GetName(int position);
// The display of the table; it shows nothing on this platform.
void HighScore_Show(int position);

// The display settings of the high-score built-ins.
struct HighScoreDisplay {
    int32_t background = -1;
    bool border = true;
    uint32_t colours[3] = {0, 0, 0};
    char* fontName = nullptr;  // owned
    int32_t fontSize = 0;
    char* caption = nullptr;   // owned; the three texts of highscore_set_strings
    char* emptyEntry = nullptr;
    char* closeHint = nullptr;
};
extern HighScoreDisplay HighScore_Display;
// The empty-entry text ("<nobody>" until a game sets another).
const char* HighScore_EmptyText();
// Back to the default settings, every entry without a name and 0 (shutdown, and between tests).
void HighScore_Reset();
