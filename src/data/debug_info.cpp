#include "data/debug_info.h"

#include "core/console.h"
#include "core/memory.h"
#include "data/container.h"

#include <vector>

namespace {

constexpr size_t kMaxDebugChunks = 64;
uint8_t* g_data = nullptr;
CDataView g_view;
std::vector<uint32_t> g_tables;  // offsets of the debug tables
std::vector<uint32_t> g_texts;   // offsets of the source texts
std::vector<uint32_t> g_strings; // offsets of the string records

bool Refuse(const char* chunk, const char* what) {
    Runner_LoadFailed("Chunk %s: its %s\n", chunk, what);
    return false;
}

bool LoadTables(const IFFChunk& chunk) {
    if (!g_view.OffsetList(chunk, &g_tables)) return Refuse("DBGI", "record list does not fit its chunk");
    for (uint32_t at : g_tables) {
        uint32_t words;
        if (at != 0 &&
            (!g_view.U32(at, &words) || !g_view.Holds(static_cast<uint64_t>(at) + 4, 4ull * words)))
            return Refuse("DBGI", "table runs past the end of the file");
    }
    return true;
}

bool LoadTexts(const IFFChunk& chunk) {
    std::vector<uint32_t> records;
    if (!g_view.OffsetList(chunk, &records)) return Refuse("SCPT", "record list does not fit its chunk");
    g_texts.clear();
    for (uint32_t at : records) {
        uint32_t text = 0;
        bool ok = true;
        if (at != 0 && (!g_view.U32(at, &text) || (g_view.Text(text, &ok), !ok)))
            return Refuse("SCPT", "text lies outside the file");
        g_texts.push_back(text);
    }
    return true;
}

bool LoadStrings(const IFFChunk& chunk) {
    if (!g_view.OffsetList(chunk, &g_strings)) return Refuse("STRG", "string list does not fit its chunk");
    for (uint32_t at : g_strings) {
        if (at != 0 && !g_view.StringRecord(at))
            return Refuse("STRG", "string runs past the end of the file");
    }
    return true;
}

} // namespace

bool DebugInfo_Load(uint8_t* data, uint32_t size) {
    DebugInfo_Free();
    g_data = data;
    g_view = CDataView(data, size);
    uint32_t sizeField;
    if (size < 9 || !g_view.U32(4, &sizeField) || sizeField != size - 8) return true;
    std::vector<IFFChunk> chunks;
    // Tags other than the three are skipped, so a file may hold a few more; a list of thousands of chunk
    // headers is damage.
    if (!IFF_ReadChunks(g_view, &chunks, kMaxDebugChunks)) return false;
    for (const IFFChunk& chunk : chunks) {
        DebugConsole->Output("Process Chunk: %s   %d\n", IFF_TagName(chunk.tag).c_str(),
                             static_cast<int32_t>(chunk.length));
        if (chunk.length == 0) continue;
        bool ok = true;
        if (chunk.tag == IFF_Tag("STRG"))
            ok = LoadStrings(chunk);
        else if (chunk.tag == IFF_Tag("DBGI"))
            ok = LoadTables(chunk);
        else if (chunk.tag == IFF_Tag("SCPT"))
            ok = LoadTexts(chunk);
        if (!ok) {
            // Nothing of a damaged file is offered to the readers.
            DebugInfo_Free();
            return false;
        }
    }
    return true;
}

void DebugInfo_Free() {
    MEM_FREE(g_data);
    g_data = nullptr;
    g_view = CDataView();
    g_tables.clear();
    g_texts.clear();
    g_strings.clear();
}

bool DebugInfo_GetTable(int codeIndex, uint8_t*& pairs, int& size) {
    pairs = nullptr;
    size = 0;
    if (codeIndex < 0 || static_cast<size_t>(codeIndex) >= g_tables.size() || g_tables[codeIndex] == 0)
        return false;
    uint32_t at = g_tables[codeIndex];
    size = static_cast<int>(4 * g_view.WordAt(at));
    pairs = g_view.Data() + at + 4;
    return true;
}

const char* DebugInfo_GetText(int codeIndex) {
    if (codeIndex < 0 || static_cast<size_t>(codeIndex) >= g_texts.size()) return nullptr;
    return g_view.Text(g_texts[codeIndex]);
}

int DebugInfo_GetStringCount() {
    return static_cast<int>(g_strings.size());
}

const char* DebugInfo_GetString(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_strings.size() || g_strings[index] == 0) return nullptr;
    return g_view.StringRecord(g_strings[index]);
}
