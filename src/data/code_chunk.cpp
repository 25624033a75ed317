#include "data/code_chunk.h"

#include "core/text.h"
#include "data/container.h"

namespace {

int g_runnerFormat = 0;
bool g_codePresent = false;
std::vector<uint32_t> g_strings; // offsets of the string records
std::vector<CodeRecord> g_entries;
CDataView g_file; // the file the pre-pass read

} // namespace

void Code_SetFile(const CDataView& file) {
    g_file = file;
}

bool Code_LoadStrings(const CDataView& file, const IFFChunk& chunk) {
    if (!file.OffsetList(chunk, &g_strings)) return Load_Fail("Chunk STRG: its list does not fit the chunk");
    for (size_t i = 0; i < g_strings.size(); ++i) {
        if (g_strings[i] != 0 && !file.StringRecord(g_strings[i])) {
            g_strings.clear();
            return Load_Fail("Chunk STRG: string %zu runs past the end of the file", i);
        }
    }
    return true;
}

bool Code_LoadEntries(const CDataView& file, const IFFChunk& chunk, CodeRecordCheck check) {
    g_codePresent = true;
    g_entries.clear();
    std::vector<uint32_t> list;
    if (!file.OffsetList(chunk, &list)) return Load_Fail("Chunk CODE: its list does not fit the chunk");
    // Entries are kept only when all of them are sound: code objects read them without further checks.
    std::vector<CodeRecord> entries(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        uint32_t at = list[i];
        if (at == 0) continue;
        CodeRecord& entry = entries[i];
        if (!chunk.Holds(at, 8)) return Load_Fail("Chunk CODE: entry %zu lies outside its chunk", i);
        if (!file.ReadText(file.WordAt(at), &entry.name) || !entry.name)
            return Load_Fail("Chunk CODE: the name of entry %zu lies outside the file", i);
        entry.length = static_cast<int32_t>(file.WordAt(at + 4));
        entry.bytecode = at + 8;
        if (entry.length < 0 || !chunk.Holds(entry.bytecode, static_cast<uint32_t>(entry.length)))
            return Load_Fail("Chunk CODE: the bytecode of %s runs past the end of its chunk",
                             Text_Escaped(entry.name).c_str());
        if (!check(file, entry)) return false;
    }
    g_entries = std::move(entries);
    return true;
}

const std::vector<CodeRecord>& Code_Records() {
    return g_entries;
}

void Code_SetRunnerFormat(int format) {
    g_runnerFormat = format;
}
int Code_GetRunnerFormat() {
    return g_runnerFormat;
}
bool Code_IsPresent() {
    return g_codePresent;
}

int Code_EntryCount() {
    return static_cast<int>(g_entries.size());
}

bool Code_GetEntry(int index, CodeChunkEntry& entry) {
    entry = {nullptr, nullptr, 0};
    if (index < 0 || static_cast<size_t>(index) >= g_entries.size() || !g_entries[index].name) return false;
    const CodeRecord& record = g_entries[index];
    entry = {record.name, g_file.Data() + record.bytecode, record.length};
    return true;
}

int Code_GetStringCount() {
    return static_cast<int>(g_strings.size());
}

const char* Code_GetString(int index, uint32_t* length) {
    if (index < 0 || static_cast<size_t>(index) >= g_strings.size() || g_strings[index] == 0) return nullptr;
    return g_file.StringRecord(g_strings[index], length);
}

void Code_Free() {
    g_runnerFormat = 0;
    g_codePresent = false;
    g_strings.clear();
    g_entries.clear();
    g_file = CDataView();
}
