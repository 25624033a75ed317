#include "runner/data_file.h"

#include "core/console.h"
#include "core/memory.h"
#include "ext/platform_services.h"
#include "graphics/background.h"
#include "graphics/font.h"
#include "graphics/sprite.h"
#include "graphics/texture.h"
#include "graphics/texture_page.h"
#include "io/support_file.h"
#include "library/ini_file.h"
#include "physics/physics.h"
#include "runner/code_load.h"
#include "runner/debug_info.h"
#include "runner/save_area.h"
#include "script/script.h"
#include "script/vm/vm_handles.h"
#include "world/builtin_variables.h"
#include "world/object.h"
#include "world/path.h"
#include "world/room.h"
#include "world/room_table.h"
#include "world/timeline.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

uint8_t* g_data = nullptr;
CDataView g_file;
std::string g_optionsPath;
std::unique_ptr<IniFile> g_optionsFile;
RunnerIniOptions g_iniOptions;
std::string g_debugPath;
bool g_loadFailed = false;
char* (*g_gameFileAsker)() = nullptr;

std::vector<uint32_t> g_tpages;
std::vector<int> g_tpageTextures;
std::vector<int> g_textureIds;

// The last path separator of a path ("/", else "\"), npos when it has none.
size_t LastSeparator(const std::string& path) {
    size_t at = path.rfind('/');
    return at != std::string::npos ? at : path.rfind('\\');
}

// The last 16-bit field of a 22-byte texture-page entry: the index of its "TXTR" page.
int16_t TextureField(const CDataView& file, uint32_t entry) {
    uint8_t low = 0, high = 0;
    file.U8(static_cast<uint64_t>(entry) + 20, &low);
    file.U8(static_cast<uint64_t>(entry) + 21, &high);
    return static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
}

bool TPAG_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    constexpr uint32_t kEntrySize = 22;
    for (uint32_t at : list) {
        if (at != 0 && !chunk.Holds(at, kEntrySize)) {
            Runner_LoadFailed("Chunk TPAG: a texture-page entry lies outside its chunk\n");
            return false;
        }
    }
    g_tpages = list;
    g_tpageTextures.assign(list.size(), -1);
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] != 0) g_tpageTextures[i] = TextureField(file, list[i]);
    }
    return true;
}

// Each record of the list is {u32 flags, u32 offset of the encoded image}. An image is handed the bytes
// from its start to the end of the chunk, the most it can occupy. Then every texture-page entry's texture
// index is turned into the texture id of that page.
bool Textures_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    g_textureIds.assign(list.size(), -1);
    for (size_t i = 0; i < list.size(); ++i) {
        uint32_t at = list[i];
        if (at == 0) continue;
        uint32_t image;
        if (!chunk.Holds(at, 8) || !file.U32(static_cast<uint64_t>(at) + 4, &image) ||
            !chunk.Holds(image, 1)) {
            Runner_LoadFailed("Chunk TXTR: texture page %u lies outside its chunk\n",
                              static_cast<unsigned>(i));
            return false;
        }
        g_textureIds[i] = Texture_CreateFromMemory(file.Data() + image, chunk.End() - image);
    }
    TPage_ResolveTextures(Textures_GetId);
    for (size_t i = 0; i < g_tpages.size(); ++i) {
        if (g_tpages[i] == 0) continue;
        int16_t index = TextureField(file, g_tpages[i]);
        if (index < 0 || static_cast<size_t>(index) >= g_textureIds.size()) {
            DebugConsole->Output("what!!!!\n");
            g_tpageTextures[i] = index;
        } else {
            g_tpageTextures[i] = g_textureIds[static_cast<size_t>(index)];
        }
    }
    return true;
}

// Chunks whose subsystem keeps nothing from them in this build: their record list has been checked, and
// their loader is not built yet.
bool KeepNothing(const CDataView&, const IFFChunk&, const std::vector<uint32_t>&) {
    return true;
}

// The header also starts the game-wide instance and tile id counters.
bool GeneralInfo_Chunk(const CDataView& file, const IFFChunk& chunk) {
    if (!GEN8_Load(file, chunk)) return false;
    Room_SetLastInstanceId(static_cast<int32_t>(g_GeneralInfo.lastInstanceId));
    Room_SetLastTileId(static_cast<int32_t>(g_GeneralInfo.lastTileId));
    return true;
}
bool GEN8_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    return GeneralInfo_Chunk(file, chunk);
}
bool GEN7_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    Code_SetRunnerFormat(700);
    return GeneralInfo_Chunk(file, chunk);
}
bool OPTN_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    return Options_Load(file, chunk);
}
bool CODE_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    return Code_PatchStrings(file, chunk);
}
bool FUNC_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    return FUNC_Load(file, chunk);
}
bool SCPT_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>&) {
    if (Script_Load({file.Data() + chunk.offset, chunk.length}, {file.Data(), file.Size()})) return true;
    Runner_LoadFailed("SCPT: a script record lies outside the file\n");
    return false;
}
// The run-time string table starts with the file's strings, so that a string index is its handle.
bool STRG_Chunk(const CDataView&, const IFFChunk&, const std::vector<uint32_t>&) {
    VMString_ClearConstants();
    for (int i = 0; i < Code_GetStringCount(); ++i)
        VMString_AddConstant(Code_GetString(i));
    return true;
}
bool FONT_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    Font_Init();
    return Font_Load(file, chunk, list);
}
bool Nothing(const CDataView&, const IFFChunk&, const std::vector<uint32_t>&) {
    return true;
}

struct ChunkEntry {
    char tag[5];
    bool list; // the body is a counted offset list, checked before the loader runs
    ChunkLoader loader;
};

// Every tag of the format, with its work in the main walk.
const ChunkEntry kChunks[] = {
    {"GEN8", false, GEN8_Chunk},
    {"GEN7", false, GEN7_Chunk},
    {"GENL", false, GEN7_Chunk},
    {"OPTN", false, OPTN_Chunk},
    // Extensions, sounds and shaders:
    // their loaders come with their subsystems.
    {"EXTN", true, KeepNothing},
    {"SOND", true, KeepNothing},
    {"AUDO", true, KeepNothing},
    {"SPRT", true, Sprite_Load},
    {"BGND", true, Background_Load},
    {"PATH", true, Path_Load},
    {"SCPT", true, SCPT_Chunk},
    {"SHDR", true, KeepNothing},
    {"FONT", true, FONT_Chunk},
    {"TMLN", true, TimeLine_Load},
    {"OBJT", true, Object_Load},
    {"ROOM", true, Room_Load},
    {"DAFL", true, Nothing},
    {"TPAG", true, TPAG_Load},
    {"TXTR", true, Textures_Load},
    {"CODE", false, CODE_Chunk},
    {"FUNC", false, FUNC_Chunk},
    {"VARI", false, Nothing},
    {"STRG", false, STRG_Chunk},
    {"HELP", false, Nothing},
};

const ChunkEntry* FindChunk(uint32_t tag) {
    for (const ChunkEntry& entry : kChunks) {
        if (IFF_Tag(entry.tag) == tag) return &entry;
    }
    return nullptr;
}

void ClearLoadedTables() {
    Room_Init();
    // Sprites, backgrounds and fonts point at the loaded page entries.
    Sprite_Clear();
    Background_Clear();
    Font_Init();
    TPage_ClearEntries();
    Path_Clear();
    TimeLine_Init();
    g_tpages.clear();
    g_tpageTextures.clear();
    g_textureIds.clear();
}

} // namespace

std::string IFF_TagName(uint32_t tag) {
    char name[4];
    for (int i = 0; i < 4; ++i)
        name[i] = static_cast<char>(tag >> (8 * i));
    return std::string(name, 4);
}

void Runner_LoadFailed(const char* format, ...) {
    g_loadFailed = true;
    va_list args;
    va_start(args, format);
    DebugConsole->OutputV(format, args);
    va_end(args);
}

bool Runner_HasLoadFailed() {
    return g_loadFailed;
}

bool IFF_ReadChunks(const CDataView& file, std::vector<IFFChunk>* chunks, const char* what) {
    chunks->clear();
    uint32_t sizeField;
    if (file.Size() <= 8 || !file.U32(4, &sizeField)) {
        Runner_LoadFailed("%s: not a data file (too short)\n", what);
        return false;
    }
    if (sizeField != file.Size() - 8) {
        Runner_LoadFailed("%s: its size field (%u) does not match its length (%u)\n", what, sizeField,
                          file.Size() - 8);
        return false;
    }
    uint64_t at = 8;
    while (at < file.Size()) {
        IFFChunk chunk;
        if (!file.U32(at, &chunk.tag) || !file.U32(at + 4, &chunk.length)) {
            Runner_LoadFailed("%s: a chunk header at offset %llu runs past the end of the file\n", what,
                              static_cast<unsigned long long>(at));
            return false;
        }
        chunk.offset = static_cast<uint32_t>(at + 8);
        if (!file.Holds(chunk.offset, chunk.length)) {
            Runner_LoadFailed("%s: chunk %s at offset %llu (length %u) runs past the end of the file\n", what,
                              IFF_TagName(chunk.tag).c_str(), static_cast<unsigned long long>(at),
                              chunk.length);
            return false;
        }
        chunks->push_back(chunk);
        at = chunk.End();
    }
    return true;
}

void Runner_SetGameFileAsker(char* (*asker)()) {
    g_gameFileAsker = asker;
}

void IniFile_ReadRunnerOptions(const IniFile& ini) {
    auto value = [&](const char* key) -> const char* {
        IniKey* found = ini.FindKey("DEFAULT", key);
        if (!found) return nullptr;
        return found->value ? found->value : "";
    };
    auto flag = [&](const char* key) {
        const char* text = value(key);
        return !text || std::atoi(text) != 0;
    };
    Platform_SetOrientations(flag("OrientLandscape"), flag("OrientPortrait"), flag("OrientLandscapeFlipped"),
                             flag("OrientPortraitFlipped"));
    if (const char* debug = value("Debug")) {
        g_iniOptions.debug = std::atoi(debug) != 0 ? 1 : 0;
        if (g_iniOptions.debug) Physics_SetAssertHandler();
    }
    if (const char* trace = value("Trace")) g_iniOptions.trace = std::atoi(trace) != 0 ? 1 : 0;
}

const RunnerIniOptions& Game_IniOptions() {
    return g_iniOptions;
}

IniFile* Game_OptionsFile() {
    return g_optionsFile.get();
}

bool RunnerLoadGame(const char* gamePath) {
    DebugConsole->Output("RunnerLoadGame: %s\n", gamePath ? gamePath : "(null)");
    std::string path;
    if (gamePath && *gamePath) {
        path = gamePath;
    } else {
        char* chosen = g_gameFileAsker ? g_gameFileAsker() : nullptr;
        if (!chosen) std::exit(1);
        path = chosen;
        MEM_FREE(chosen);
    }
    // The path is made absolute once, and everything beside the game is read at that path as it is.
    LoadSave_SetGamePath(path.c_str());
    path = LoadSave_GetGamePath();
    Variable_InitWorkingDirectory(path.c_str());
    DebugConsole->Output("RunnerLoadGame() - %s\n", path.c_str());

    size_t separator = LastSeparator(path);
    g_optionsPath.clear();
    if (separator != std::string::npos) {
        g_optionsPath = path.substr(0, separator) + "/options.ini";
        DebugConsole->Output("Checking if INIFile %s Exists\n", g_optionsPath.c_str());
        if (Support_FileExists(g_optionsPath.c_str())) {
            // Read at this path as it is: the ini reader must not map it into the game folder again.
            g_optionsFile = std::make_unique<IniFile>(g_optionsPath.c_str(), false);
            // The virtual keys are read from it by the input code once that exists.
            IniFile_ReadRunnerOptions(*g_optionsFile);
        } else {
            DebugConsole->Output("!!!!No INI File %s\n", g_optionsPath.c_str());
        }
    }

    // The extension is looked for in the file name only, so the debug file is always beside the game.
    g_debugPath.clear();
    size_t dot = path.rfind('.');
    if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
        g_debugPath = path.substr(0, dot) + ".zbdebug";
        int size = 0;
        uint8_t* debug = LoadSave_ReadFile(g_debugPath.c_str(), &size);
        if (debug) DebugInfo_Load(debug, static_cast<uint32_t>(size));
    }

    DebugConsole->Output("Reading File %s\n", path.c_str());
    int size = 0;
    uint8_t* data = LoadSave_ReadFile(path.c_str(), &size);
    if (!data) {
        DebugConsole->Output("FAILED to load File %s\n", path.c_str());
        Game_SetData(nullptr, 0);
        return false;
    }
    DebugConsole->Output("Loaded File %s\n", path.c_str());
    Game_SetData(data, static_cast<uint32_t>(size));
    if (size >= 4 && (std::memcmp(data, "FORM", 4) == 0 || std::memcmp(data, "MROF", 4) == 0))
        DebugConsole->Output("IFF wad found\n");
    return true;
}

bool LoadGameData() {
    DebugConsole->Output("LoadGameData()\n");
    // A fault found while reading the files or in the pre-pass fails the load before any chunk is processed.
    if (g_loadFailed) return false;
    bool walked = IFF_ProcessChunks(g_file.Data(), g_file.Size());
    return walked && !g_loadFailed;
}

bool IFF_ProcessChunks(uint8_t* data, uint32_t size) {
    DebugConsole->Output("initialise everything!\n");
    // Sounds, sprites, backgrounds, paths, scripts, fonts, timelines and objects are emptied here
    // by their subsystems once they are built; the options are ours.
    ClearLoadedTables();
    Options_Clear();

    CDataView file(data, size);
    if (!data) {
        Runner_LoadFailed("No game file was loaded\n");
        return false;
    }
    std::vector<IFFChunk> chunks;
    if (!IFF_ReadChunks(file, &chunks, "Game file")) return false;

    bool result = true;
    for (const IFFChunk& chunk : chunks) {
        std::string name = IFF_TagName(chunk.tag);
        DebugConsole->Output("Process Chunk: %s   %d\n", name.c_str(), static_cast<int32_t>(chunk.length));
        if (chunk.length == 0) continue;
        const ChunkEntry* entry = FindChunk(chunk.tag);
        if (!entry) {
            DebugConsole->Output("unknown Chunk %s:%d\n", name.c_str(), static_cast<int32_t>(chunk.tag));
            result = false;
            continue;
        }
        std::vector<uint32_t> list;
        if (entry->list && !file.OffsetList(chunk, &list)) {
            Runner_LoadFailed("Chunk %s: its record list does not fit the chunk or points outside the file\n",
                              name.c_str());
            return false;
        }
        if (!entry->loader(file, chunk, list)) {
            g_loadFailed = true;
            return false;
        }
    }
    // The compiled game's reference tables would be bound here; this build has no compiled game.
    return result;
}

const CDataView& Game_File() {
    return g_file;
}

void Game_SetData(uint8_t* data, uint32_t size) {
    if (g_data != data) MEM_FREE(g_data);
    g_data = data;
    g_file = CDataView(data, size);
}

void Game_FreeData() {
    Game_SetData(nullptr, 0);
    DebugInfo_Free();
    ClearLoadedTables();
    Code_Free();
    Script_Clear();
    VMString_ClearConstants();
    g_optionsPath.clear();
    g_optionsFile.reset();
    g_iniOptions = RunnerIniOptions();
    g_debugPath.clear();
    g_loadFailed = false;
}

const std::string& Game_OptionsPath() {
    return g_optionsPath;
}
const std::string& Game_DebugPath() {
    return g_debugPath;
}

const std::vector<uint32_t>& TPage_Entries() {
    return g_tpages;
}

int Textures_GetId(int index) {
    if (index < 0 || static_cast<size_t>(index) >= g_textureIds.size()) return -1;
    return g_textureIds[static_cast<size_t>(index)];
}

int TPage_GetTexture(int entryIndex) {
    if (entryIndex < 0 || static_cast<size_t>(entryIndex) >= g_tpageTextures.size()) return -1;
    return g_tpageTextures[static_cast<size_t>(entryIndex)];
}
