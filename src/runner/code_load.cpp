#include "runner/code_load.h"

#include "audio/audio.h"
#include "core/console.h"
#include "io/window_state.h"
#include "runner/data_file.h"
#include "runner/save_area.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_format.h"
#include "world/room.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace {

// One record {u32 name offset, s32 length, bytecode} of "CODE".
struct CodeEntry {
    const char* name = nullptr;
    uint32_t bytecode = 0; // offset of the bytecode in the file
    int32_t length = 0;
};

int g_runnerFormat = 0;
bool g_codePresent = false;
std::vector<uint32_t> g_strings; // offsets of the string records
std::vector<CodeEntry> g_entries;
CDataView g_file; // the file the pre-pass read

// The instructions that references may name, by the offset of their instruction word in the file, and
// whether a chain has bound them yet.
enum RefKind : uint8_t { REF_VARIABLE = 1, REF_FUNCTION = 2 };
struct RefSlot {
    RefKind kind;
    bool bound;
};
std::unordered_map<uint32_t, RefSlot> g_refs;

bool Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Fail(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Runner_LoadFailed("%s\n", text);
    return false;
}

// A text the record names by offset: true for offset 0 (no text) and for a terminated text in the file.
bool ReadText(const CDataView& file, uint32_t offset, const char** out) {
    bool ok;
    *out = file.Text(offset, &ok);
    return ok;
}

// ---- General information ----

// The room order's offset in the record, by version.
uint32_t RoomOrderOffset(int version) {
    if (version <= 7) return 36;
    switch (version) {
    case 10:
        return 104;
    case 11:
        return 112;
    case 12:
        return 120;
    case 13:
        return 124;
    default:
        return 100;
    }
}

int64_t ReadLong(const CDataView& file, uint64_t at) {
    uint32_t low = file.WordAt(at), high = file.WordAt(at + 4);
    return static_cast<int64_t>(static_cast<uint64_t>(high) << 32 | low);
}

bool ReadGeneralInfo(const CDataView& file, const IFFChunk& chunk, GeneralInfo* info) {
    const uint64_t b = chunk.offset;
    uint8_t version = 0;
    file.U8(b + 1, &version);
    // Up to version 7 the room order starts at 36, where the later versions keep the name and the rest.
    const uint32_t needed = version >= 8 ? 72 : 36;
    uint32_t orderAt = RoomOrderOffset(version);
    if (!chunk.Holds(b, needed) || !chunk.Holds(b, static_cast<uint64_t>(orderAt) + 4))
        return Fail("Chunk %s: the general information is too short for version %d",
                    IFF_TagName(chunk.tag).c_str(), version);
    info->present = true;
    info->record = chunk.offset;
    file.U8(b, &info->debuggerServer);
    info->version = version;
    const char* config = nullptr;
    const char* name = nullptr;
    if (!ReadText(file, file.WordAt(b + 4), &info->fileName) ||
        !ReadText(file, file.WordAt(b + 8), &config) ||
        (version >= 8 && !ReadText(file, file.WordAt(b + 40), &name)))
        return Fail("Chunk %s: a name of the general information lies outside the file",
                    IFF_TagName(chunk.tag).c_str());
    Game_ConfigName = config;
    info->gameName = name ? name : "";
    info->lastInstanceId = file.WordAt(b + 12);
    info->lastTileId = file.WordAt(b + 16);
    info->gameId = file.WordAt(b + 20);
    for (int i = 0; i < (version >= 8 ? 4 : 3); ++i)
        info->kept[i] = file.WordAt(b + 24 + 4 * i);
    if (version >= 8) {
        info->windowWidth = static_cast<int32_t>(file.WordAt(b + 60));
        info->windowHeight = static_cast<int32_t>(file.WordAt(b + 64));
        GameOptions = file.WordAt(b + 68);
        info->steam = (GameOptions & 0x1000) != 0;
    }
    // Versions above 13 are read as 8 and 9 are: their room order starts at 100.
    const bool upTo13 = version <= 13;
    info->caption = nullptr;
    if (upTo13 && version >= 10 &&
        (!chunk.Holds(b + 100, 4) || !ReadText(file, file.WordAt(b + 100), &info->caption)))
        return Fail("Chunk %s: the window caption lies outside the file", IFF_TagName(chunk.tag).c_str());
    if (upTo13 && version >= 11) info->value104 = ReadLong(file, b + 104);
    info->optionBits = upTo13 && version >= 12 ? ReadLong(file, b + 112) : -1;
    if (version == 13) info->steamAppId = file.WordAt(b + 120);

    uint32_t count = file.WordAt(b + orderAt);
    if (!chunk.Holds(b + orderAt + 4, static_cast<uint64_t>(count) * 4))
        return Fail("Chunk %s: the room order runs past the end of its chunk",
                    IFF_TagName(chunk.tag).c_str());
    info->roomOrder.clear();
    for (uint32_t i = 0; i < count; ++i)
        info->roomOrder.push_back(static_cast<int32_t>(file.WordAt(b + orderAt + 4 + 4ull * i)));
    return true;
}

// ---- Strings and code ----

bool LoadStrings(const CDataView& file, const IFFChunk& chunk) {
    if (!file.OffsetList(chunk, &g_strings)) return Fail("Chunk STRG: its list does not fit the chunk");
    for (size_t i = 0; i < g_strings.size(); ++i) {
        if (g_strings[i] != 0 && !file.StringRecord(g_strings[i])) {
            g_strings.clear();
            return Fail("Chunk STRG: string %zu runs past the end of the file", i);
        }
    }
    return true;
}

// Walks the instructions of an entry: each must lie inside the bytecode with its operand. visit(at, word)
// sees every instruction word's file offset; it may refuse (false).
template <typename Visit> bool WalkCode(const CDataView& file, const CodeEntry& entry, Visit visit) {
    const uint64_t end = static_cast<uint64_t>(entry.bytecode) + static_cast<uint32_t>(entry.length);
    uint64_t at = entry.bytecode;
    while (at < end) {
        uint32_t word;
        if (end - at < 4 || !file.U32(at, &word))
            return Fail("Code %s: an instruction runs past its end", entry.name);
        int operand = VM_HasOperand(VM_Opcode(word)) ? VM_OperandSize(VM_Type1(word)) : 0;
        if (end - at - 4 < static_cast<uint64_t>(operand))
            return Fail("Code %s: an operand runs past its end", entry.name);
        if (!visit(at, word)) return false;
        at += 4 + static_cast<uint64_t>(operand);
    }
    return true;
}

bool IndexReferences(uint64_t at, uint32_t word) {
    int op = VM_Opcode(word), type = VM_Type1(word);
    bool variable =
        (op == OP_PUSH && type == VT_VARIABLE) || (op == OP_POP && (type == VT_VARIABLE || type == VT_INT));
    bool function = op == OP_CALL && VM_OperandSize(type) == 4;
    if (variable || function)
        g_refs[static_cast<uint32_t>(at)] = RefSlot{variable ? REF_VARIABLE : REF_FUNCTION, false};
    return true;
}

// Follows a chain of references through the bytecode, writing the id into each operand word. A variable
// operand keeps its top three bits and links on by its low 29 bits (sign-extended); a function operand is
// the id and links on by the whole word.
bool BindChain(const CDataView& file, const char* chunkName, const char* name, int32_t count, uint32_t first,
               RefKind kind, int id) {
    if (count < 0) return Fail("Chunk %s: %s has a negative reference count", chunkName, name);
    int64_t at = first;
    for (int32_t i = 0; i < count; ++i) {
        auto slot = at >= 0 && at <= UINT32_MAX ? g_refs.find(static_cast<uint32_t>(at)) : g_refs.end();
        if (slot == g_refs.end() || slot->second.kind != kind)
            return Fail("Chunk %s: reference %d of %s (offset %lld) is not a %s instruction of the code",
                        chunkName, i, name, static_cast<long long>(at),
                        kind == REF_VARIABLE ? "variable" : "call");
        if (slot->second.bound)
            return Fail("Chunk %s: reference %d of %s (offset %lld) was bound already", chunkName, i, name,
                        static_cast<long long>(at));
        slot->second.bound = true;
        uint32_t word = file.WordAt(at + 4);
        int64_t next;
        if (kind == REF_VARIABLE) {
            file.WriteU32(at + 4, (word & ~kVarRefIdMask) | (static_cast<uint32_t>(id) & kVarRefIdMask));
            next = static_cast<int32_t>(word << 3) >> 3;
        } else {
            file.WriteU32(at + 4, static_cast<uint32_t>(id));
            next = static_cast<int32_t>(word);
        }
        at += next;
    }
    return true;
}

// Shown as an aborting error, then the run ends.
void EndRunOnLoadError(const char* text) {
    Code_Error_Show(text, true);
    std::exit(1);
}

void (*g_loadErrorHandler)(const char* text) = EndRunOnLoadError;

bool UnableToFind(const char* kind, const char* name) {
    char text[1024];
    std::snprintf(text, sizeof text, "Error on load\nUnable to find %s %s\n", kind, name);
    g_loadErrorHandler(text);
    return Fail("%s", text);
}

// Reads the 12-byte records {name offset, count, first reference} of "VARI" and "FUNC" and binds each.
template <typename Resolve>
bool LoadReferences(const CDataView& file, const IFFChunk& chunk, RefKind kind, Resolve resolve) {
    std::string chunkName = IFF_TagName(chunk.tag);
    if (chunk.length % 12 != 0)
        return Fail("Chunk %s: its length is not a multiple of 12", chunkName.c_str());
    for (uint64_t at = chunk.offset; at < chunk.End(); at += 12) {
        const char* name;
        if (!ReadText(file, file.WordAt(at), &name) || !name)
            return Fail("Chunk %s: a reference record has no name in the file", chunkName.c_str());
        int id = resolve(name);
        if (id < 0) return UnableToFind(kind == REF_VARIABLE ? "variable" : "function", name);
        if (!BindChain(file, chunkName.c_str(), name, static_cast<int32_t>(file.WordAt(at + 4)),
                       file.WordAt(at + 8), kind, id))
            return false;
    }
    return true;
}

int FindFunction(const char* name) {
    int id;
    return Code_Function_Find(name, id) ? id : -1;
}

} // namespace

// ---- The pre-pass ----

void Code_Load(uint8_t* data, uint32_t size) {
    CDataView file(data, size);
    g_file = file;
    uint32_t sizeField;
    if (size <= 8 || !file.U32(4, &sizeField) || sizeField != size - 8) return;
    std::vector<IFFChunk> chunks;
    if (!IFF_ReadChunks(file, &chunks, "Game file")) return;
    // The references are bound once every code entry is known, whatever the order of the chunks.
    std::vector<IFFChunk> variables;
    for (const IFFChunk& chunk : chunks) {
        if (chunk.length == 0) continue;
        bool ok = true;
        if (chunk.tag == IFF_Tag("STRG")) {
            DebugConsole->Output("ID_STRG\n");
            ok = LoadStrings(file, chunk);
        } else if (chunk.tag == IFF_Tag("GEN7") || chunk.tag == IFF_Tag("GEN8") ||
                   chunk.tag == IFF_Tag("GENL")) {
            DebugConsole->Output("Get Header Information\n");
            ok = ReadGeneralInfo(file, chunk, &g_GeneralInfo);
            if (ok) {
                LoadSave_SetGameName(g_GeneralInfo.gameName.c_str());
                g_runnerFormat = 800;
                DebugConsole->Output("InitQNLFunctions\n");
                // Once per run, also when a file holds two general-information chunks or the process
                // registered them before to compile code.
                if (Code_Function_Count() == 0) InitQNLFunctions();
            }
        } else if (chunk.tag == IFF_Tag("CODE")) {
            DebugConsole->Output("Code_Load()\n");
            g_codePresent = true;
            ok = Code_LoadEntries(file, chunk);
        } else if (chunk.tag == IFF_Tag("VARI")) {
            variables.push_back(chunk);
        }
        if (!ok) return;
    }
    for (const IFFChunk& chunk : variables) {
        DebugConsole->Output("VARI_Load()\n");
        if (!VARI_Load(file, chunk)) return;
    }
}

// The main walk also hands the last instance id to the rooms: new instance ids continue after it.
bool GEN8_Load(const CDataView& file, const IFFChunk& chunk) {
    if (!ReadGeneralInfo(file, chunk, &g_GeneralInfo)) return false;
    Room_SetLastInstanceId(static_cast<int32_t>(g_GeneralInfo.lastInstanceId));
    return true;
}

// The options also drive three flags of other subsystems: the sound engine, whether every error aborts
// and what reading a never-set variable gives. The show-errors flag is left as the command line set it,
// so that "-noerrors" still holds after the load.
static void ApplyOptions() {
    Audio_UseNewEngine = g_Options.useOpenAL;
    Code_AbortOnAnyError = g_Options.errorsAbort;
    Variable_UnsetIsError = g_Options.unsetVariableFlag;
}

void Options_Clear() {
    g_Options = OptionsRecord();
    ApplyOptions();
}

bool Options_Load(const CDataView& file, const IFFChunk& chunk) {
    const uint64_t b = chunk.offset;
    // Word 34 exists from general-information version 5 on; the constant count follows it.
    const uint32_t countWord = g_GeneralInfo.version >= 5 ? 35 : 34;
    if (!chunk.Holds(b, 4ull * (countWord + 1))) return Fail("Chunk OPTN: the options record is too short");
    auto word = [&](int i) { return file.WordAt(b + 4ull * i); };
    g_Options.fullScreen = word(0) != 0;
    g_Options.useOpenAL = word(2) != 0;
    g_Options.showCursor = word(4) != 0;
    g_Options.windowColour = word(8);
    Window_SetColour(g_Options.windowColour);
    g_Options.changeResolution = word(9) != 0;
    g_Options.colourDepth = static_cast<int32_t>(word(10));
    g_Options.resolution = static_cast<int32_t>(word(11));
    g_Options.frequency = static_cast<int32_t>(word(12));
    g_Options.windowFlag15 = word(15) != 0;
    g_Options.freezeOnLostFocus = word(22) != 0;
    if (word(26) != 0 && word(26) >= file.Size()) return Fail("Chunk OPTN: word 26 points outside the file");
    g_Options.errorsAbort = word(32) != 0;
    g_Options.unsetVariableFlag = word(33) != 0;
    ApplyOptions();

    uint32_t count = word(countWord);
    uint64_t pairs = b + 4ull * (countWord + 1);
    if (!chunk.Holds(pairs, 8ull * count))
        return Fail("Chunk OPTN: the constants run past the end of the chunk");
    g_Options.constantNames.assign(count, nullptr);
    g_Options.constantValues.assign(count, nullptr);
    for (uint32_t i = 0; i < count; ++i) {
        const char *name, *value;
        if (!ReadText(file, file.WordAt(pairs + 8ull * i), &name) ||
            !ReadText(file, file.WordAt(pairs + 8ull * i + 4), &value))
            return Fail("Chunk OPTN: constant %u lies outside the file", i);
        g_Options.constantNames[i] = name;
        g_Options.constantValues[i] = value;
        if (name && value && std::strcmp(name, "VersionMajor") == 0)
            g_Options.versionMajor = std::atoi(value);
        if (name && value && std::strcmp(name, "VersionMinor") == 0)
            g_Options.versionMinor = std::atoi(value);
    }
    return true;
}

bool Code_LoadEntries(const CDataView& file, const IFFChunk& chunk) {
    g_entries.clear();
    g_refs.clear();
    std::vector<uint32_t> list;
    if (!file.OffsetList(chunk, &list)) return Fail("Chunk CODE: its list does not fit the chunk");
    // Entries are kept only when all of them are sound: code objects read them without further checks.
    std::vector<CodeEntry> entries(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        uint32_t at = list[i];
        if (at == 0) continue;
        CodeEntry& entry = entries[i];
        if (!chunk.Holds(at, 8)) return Fail("Chunk CODE: entry %zu lies outside its chunk", i);
        if (!ReadText(file, file.WordAt(at), &entry.name) || !entry.name)
            return Fail("Chunk CODE: the name of entry %zu lies outside the file", i);
        entry.length = static_cast<int32_t>(file.WordAt(at + 4));
        entry.bytecode = at + 8;
        if (entry.length < 0 || !chunk.Holds(entry.bytecode, static_cast<uint32_t>(entry.length)))
            return Fail("Chunk CODE: the bytecode of %s runs past the end of its chunk", entry.name);
        if (!WalkCode(file, entry, IndexReferences)) {
            g_refs.clear();
            return false;
        }
    }
    g_entries = std::move(entries);
    return true;
}

bool Code_PatchStrings(const CDataView& file, const IFFChunk& /*chunk*/) {
    for (const CodeEntry& entry : g_entries) {
        if (!entry.name) continue;
        bool ok = WalkCode(file, entry, [&](uint64_t at, uint32_t word) {
            if (!VM_HasOperand(VM_Opcode(word)) || VM_Type1(word) != VT_STRING) return true;
            uint32_t index = file.WordAt(at + 4);
            if (index < g_strings.size() && g_strings[index] != 0) return true;
            return Fail("Code %s: string operand %u at offset %llu is not in the string table", entry.name,
                        index, static_cast<unsigned long long>(at));
        });
        if (!ok) return false;
    }
    return true;
}

bool VARI_Load(const CDataView& file, const IFFChunk& chunk) {
    return LoadReferences(file, chunk, REF_VARIABLE, Code_Variable_FindAlloc);
}

bool FUNC_Load(const CDataView& file, const IFFChunk& chunk) {
    return LoadReferences(file, chunk, REF_FUNCTION, FindFunction);
}

void Code_SetLoadErrorHandler(void (*handler)(const char* text)) {
    g_loadErrorHandler = handler ? handler : EndRunOnLoadError;
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
    const CodeEntry& record = g_entries[index];
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
    g_GeneralInfo = GeneralInfo();
    GameOptions = 0;
    Game_ConfigName = nullptr;
    Options_Clear();
    g_runnerFormat = 0;
    g_codePresent = false;
    g_strings.clear();
    g_entries.clear();
    g_refs.clear();
    g_file = CDataView();
}
