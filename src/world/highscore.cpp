#include "world/highscore.h"

#include "core/files.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/text.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

const char kFileName[] = "hiscore.dat";
const char kMagic[4] = {'H', 'I', 'S', 'C'};

struct Entry {
    char* name = nullptr; // owned; null: no name
    int32_t value = 0;
};
Entry g_entries[kHighScoreEntries];
int g_lastAdded = -1;
bool g_changed = false;

void SetName(Entry& entry, const char* name) {
    MEM_FREE(entry.name);
    entry.name = name ? String_Duplicate(name) : nullptr;
}

// A name cut to at most the file's limit, never inside a UTF-8 sequence.
size_t StoredNameLength(const char* name) {
    size_t n = std::strlen(name);
    if (n <= kHighScoreMaxName) return n;
    n = kHighScoreMaxName;
    while (n > 0 && (static_cast<uint8_t>(name[n]) & 0xC0) == 0x80)
        --n;
    return n;
}

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

} // namespace

const char* HighScore_EmptyText() {
    return HighScore_State().HighScore_Display.emptyEntry ? HighScore_State().HighScore_Display.emptyEntry
                                                          : "<nobody>";
}

void HighScore_Clear() {
    for (Entry& entry : g_entries) {
        SetName(entry, HighScore_EmptyText());
        entry.value = 0;
    }
}

void HighScore_SetEntry(int position, const char* name, int32_t value) {
    if (position < 1 || position > kHighScoreEntries) return;
    Entry& entry = g_entries[position - 1];
    SetName(entry, name ? name : "");
    entry.value = value;
}

void HighScore_Add(const char* name, int32_t value) {
    int p = 0;
    while (p < kHighScoreEntries && g_entries[p].value >= value)
        ++p;
    if (p == kHighScoreEntries) return;
    g_lastAdded = p;
    MEM_FREE(g_entries[kHighScoreEntries - 1].name);
    for (int i = kHighScoreEntries - 1; i > p; --i)
        g_entries[i] = g_entries[i - 1];
    g_entries[p] = Entry{};
    SetName(g_entries[p], name);
    g_entries[p].value = value;
    g_changed = true;
}

int32_t HighScore_GetValue(int position) {
    return position >= 1 && position <= kHighScoreEntries ? g_entries[position - 1].value : 0;
}

const char* HighScore_GetName(int position) {
    if (position < 1 || position > kHighScoreEntries) return "";
    const char* name = g_entries[position - 1].name;
    return name ? name : "";
}

int HighScore_LastAdded() {
    return g_lastAdded;
}

bool HighScore_Changed() {
    return g_changed;
}

void HighScore_Show(int) {}

// ---- The file

std::string HighScore_Encode() {
    std::string out(kMagic, sizeof kMagic);
    PutU32(out, 0); // the length, filled in at the end
    for (const Entry& entry : g_entries) {
        // An entry without a name keeps its value as well.
        const size_t n = entry.name ? StoredNameLength(entry.name) : 0;
        PutU32(out, static_cast<uint32_t>(n));
        out.append(entry.name ? entry.name : "", n);
        out.append((4 - n % 4) % 4, static_cast<char>(0xF0));
        PutU32(out, static_cast<uint32_t>(entry.value));
    }
    const uint32_t length = static_cast<uint32_t>(out.size());
    for (int i = 0; i < 4; ++i)
        out[static_cast<size_t>(4 + i)] = static_cast<char>((length >> (8 * i)) & 0xFF);
    return out;
}

void HighScore_SaveFile(const char* path) {
    g_changed = false;
    if (!path || !*path) return;
    const std::string bytes = HighScore_Encode();
    File_CreatePathDirectories(path);
    _WriteFile(path, bytes.data(), static_cast<int>(bytes.size()));
}

void HighScore_LoadFile(const char* path) {
    g_changed = false;
    int size = 0;
    uint8_t* data = path && *path ? LoadSave_ReadFile(path, &size) : nullptr;
    if (!data) return;
    // Every field must lie within both the length word and the bytes read.
    const uint32_t length = size >= 8 ? GetU32(data + 4) : 0;
    if (size >= 8 && std::memcmp(data, kMagic, sizeof kMagic) == 0 && length <= static_cast<uint32_t>(size)) {
        uint32_t at = 8;
        for (Entry& entry : g_entries) {
            if (length - at < 4) break;
            const uint32_t n = GetU32(data + at);
            if (n > kHighScoreMaxName) break;
            const uint32_t padded = (n + 3) / 4 * 4;
            if (length - at - 4 < padded + 4) break;
            MEM_FREE(entry.name);
            entry.name = nullptr;
            if (n > 0) {
                entry.name = static_cast<char*>(MEM_ALLOC(n + 1));
                std::memcpy(entry.name, data + at + 4, n);
                entry.name[n] = '\0';
            }
            at += 4 + padded;
            entry.value = static_cast<int32_t>(GetU32(data + at));
            at += 4;
        }
    }
    MEM_FREE(data);
}

void HighScore_Load() {
    // Mapped once here; the file functions take the path as it is.
    HighScore_LoadFile(LoadSave_SavePath(kFileName).c_str());
}

void HighScore_Save() {
    if (!g_changed) return;
    HighScore_SaveFile(LoadSave_SavePath(kFileName).c_str());
}

void HighScore_Reset() {
    for (char** text :
         {&HighScore_State().HighScore_Display.fontName, &HighScore_State().HighScore_Display.caption,
          &HighScore_State().HighScore_Display.emptyEntry, &HighScore_State().HighScore_Display.closeHint})
        MEM_FREE(*text);
    HighScore_State().HighScore_Display = HighScoreDisplay{};
    for (Entry& entry : g_entries) {
        MEM_FREE(entry.name);
        entry = Entry{};
    }
    g_lastAdded = -1;
    g_changed = false;
}
