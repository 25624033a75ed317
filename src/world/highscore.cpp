#include "world/highscore.h"

#include "core/memory.h"
#include "core/text.h"

#include <initializer_list>

HighScoreDisplay HighScore_Display;

namespace {

struct Entry {
    char* name = nullptr; // owned; null: no name
    int32_t value = 0;
};
Entry g_entries[kHighScoreEntries];

void SetName(Entry& entry, const char* name) {
    MEM_FREE(entry.name);
    entry.name = name ? String_Duplicate(name) : nullptr;
}

} // namespace

const char* HighScore_EmptyText() { return HighScore_Display.emptyEntry ? HighScore_Display.emptyEntry : "<nobody>"; }

void HighScore_Clear() {
    for (Entry& entry : g_entries) {
        SetName(entry, HighScore_EmptyText());
        entry.value = 0;
    }
}

void HighScore_Add(const char* name, int32_t value) {
    int p = 0;
    while (p < kHighScoreEntries && g_entries[p].value >= value) ++p;
    if (p == kHighScoreEntries) return;
    MEM_FREE(g_entries[kHighScoreEntries - 1].name);
    for (int i = kHighScoreEntries - 1; i > p; --i) g_entries[i] = g_entries[i - 1];
    g_entries[p] = Entry{};
    SetName(g_entries[p], name);
    g_entries[p].value = value;
}

int32_t HighScore_GetValue(int position) {
    return position >= 1 && position <= kHighScoreEntries ? g_entries[position - 1].value : 0;
}

const char* HighScore_GetName(int position) {
    if (position < 1 || position > kHighScoreEntries) return "";
    const char* name = g_entries[position - 1].name;
    return name ? name : "";
}

void HighScore_Show(int) {}

void HighScore_Reset() {
    for (char** text : {&HighScore_Display.fontName, &HighScore_Display.caption, &HighScore_Display.emptyEntry,
                        &HighScore_Display.closeHint})
        MEM_FREE(*text);
    HighScore_Display = HighScoreDisplay{};
    for (Entry& entry : g_entries) {
        MEM_FREE(entry.name);
        entry = Entry{};
    }
}
