// The work of every chunk in the two passes over the game file: the pre-pass that reads what the window
// needs before it exists (the general information, strings, code and variable references), and the main
// walk, whose table names the loader of every tag of the format.
#include "runner/game_load.h"

#include "audio/audio.h"
#include "core/console.h"
#include "core/save_area.h"
#include "data/code_chunk.h"
#include "data/container.h"
#include "data/general_info.h"
#include "ext/extensions.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture_page.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/font.h"
#include "graphics/sprite/sprite.h"
#include "io/window_state.h"
#include "runner/builtin_registry.h"
#include "script/code_references.h"
#include "script/compiled_game.h"
#include "script/compiler/compile.h"
#include "script/functions.h"
#include "script/script.h"
#include "script/variable_list.h"
#include "script/variables.h"
#include "script/vm/vm_handles.h"
#include "world/object.h"
#include "world/path.h"
#include "world/room.h"
#include "world/room_table.h"
#include "world/timeline.h"

#include <iterator>

namespace {

// The options also drive three flags of other subsystems: the sound engine, whether every error aborts
// and what reading a never-set variable gives. The show-errors flag is left as the command line set it,
// so that "-noerrors" still holds after the load.
void ApplyOptions(const OptionsRecord& options) {
    Audio_State().Audio_UseNewEngine = options.useOpenAL;
    CodeError_State().Code_AbortOnAnyError = options.errorsAbort;
    VariableList_State().Variable_UnsetIsError = options.unsetVariableFlag;
}

// The header also starts the game-wide instance and tile id counters.
bool GeneralInfo_Chunk(const CDataView& file, const IFFChunk& chunk) {
    if (!GEN8_Load(file, chunk)) return false;
    Room_SetLastInstanceId(static_cast<int32_t>(GeneralInfo_State().g_GeneralInfo.lastInstanceId));
    Room_SetLastTileId(static_cast<int32_t>(GeneralInfo_State().g_GeneralInfo.lastTileId));
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
    return Options_Load(file, chunk, OptionsAppliers{Window_SetColour, ApplyOptions});
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
// The sound records go to the loaders of the engine the options chose.
bool SOND_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    return Audio_State().Audio_UseNewEngine ? Audio_Load(file, chunk, list) : Sound_Init(file, chunk, list);
}
bool AUDO_Chunk(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list) {
    return Audio_State().Audio_UseNewEngine ? Audio_WAVs(file, chunk, list) : Wave_Init(file, chunk, list);
}
bool Nothing(const CDataView&, const IFFChunk&, const std::vector<uint32_t>&) {
    return true;
}

// Every tag of the format, with its work in the main walk.
const ChunkEntry kChunks[] = {
    {"GEN8", false, GEN8_Chunk},
    {"GEN7", false, GEN7_Chunk},
    {"GENL", false, GEN7_Chunk},
    {"OPTN", false, OPTN_Chunk},
    {"EXTN", true, Extension_Load},
    {"SOND", true, SOND_Chunk},
    {"AUDO", true, AUDO_Chunk},
    {"SPRT", true, Sprite_Load},
    {"BGND", true, Background_Load},
    {"PATH", true, Path_Load},
    {"SCPT", true, SCPT_Chunk},
    {"SHDR", true, Shader_Load},
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

void ClearLoadedTables() {
    Sound_Clear();
    Room_Init();
    // Sprites, backgrounds and fonts point at the loaded page entries.
    Sprite_Clear();
    Background_Clear();
    Font_Init();
    Shader_Clear();
    TPage_ClearEntries();
    Path_Clear();
    TimeLine_Init();
}

bool IsGeneralInfo(uint32_t tag) {
    return tag == IFF_Tag("GEN8") || tag == IFF_Tag("GEN7") || tag == IFF_Tag("GENL");
}

// The chunks of the game file, checked as a whole before any is read: no more of them than the format
// has tags, the general information among them, and no chunk that is read once there twice (the
// general information counts once whatever its tag). A repeated chunk is named on the console; only
// the help and the list of included files may repeat, since nothing is read from them.
bool ReadGameChunks(const CDataView& file, std::vector<IFFChunk>* chunks) {
    if (!IFF_ReadChunks(file, chunks, std::size(kChunks))) return false;
    bool general = false;
    for (size_t i = 0; i < chunks->size(); ++i) {
        const IFFChunk& chunk = (*chunks)[i];
        if (chunk.length != 0 && IsGeneralInfo(chunk.tag)) general = true;
        int seen = 0, read = 0;
        bool first = true;
        for (size_t j = 0; j < chunks->size(); ++j) {
            const IFFChunk& other = (*chunks)[j];
            if (other.tag != chunk.tag && !(IsGeneralInfo(other.tag) && IsGeneralInfo(chunk.tag))) continue;
            if (j < i) first = false;
            ++seen;
            if (other.length != 0) ++read;
        }
        if (seen < 2 || !first) continue;
        const std::string name = IFF_TagName(chunk.tag);
        DebugConsole->Output("Chunk %s: the file holds it %d times\n", name.c_str(), seen);
        if (read > 1 && chunk.tag != IFF_Tag("HELP") && chunk.tag != IFF_Tag("DAFL")) {
            Runner_LoadFailed("Chunk %s: the file holds it %d times, where a game has one\n", name.c_str(), read);
            return false;
        }
    }
    if (!general) {
        Runner_LoadFailed("Chunk GEN8: the file has no general information (no GEN8 chunk)\n");
        return false;
    }
    return true;
}

} // namespace

void Game_ClearOptions() {
    Options_Clear();
    ApplyOptions(GeneralInfo_State().g_Options);
}

void Game_ClearLoadedTables() {
    ClearLoadedTables();
}

// ---- The pre-pass ----

void Code_Load(uint8_t* data, uint32_t size) {
    CDataView file(data, size);
    Code_SetFile(file);
    uint32_t sizeField;
    if (size <= 8 || !file.U32(4, &sizeField) || sizeField != size - 8) return;
    std::vector<IFFChunk> chunks;
    if (!ReadGameChunks(file, &chunks)) return;
    // The references are bound once every code entry is known, whatever the order of the chunks.
    std::vector<IFFChunk> variables;
    for (const IFFChunk& chunk : chunks) {
        if (chunk.length == 0) continue;
        bool ok = true;
        if (chunk.tag == IFF_Tag("STRG")) {
            DebugConsole->Output("ID_STRG\n");
            ok = Code_LoadStrings(file, chunk);
        } else if (chunk.tag == IFF_Tag("GEN7") || chunk.tag == IFF_Tag("GEN8") ||
                   chunk.tag == IFF_Tag("GENL")) {
            DebugConsole->Output("Get Header Information\n");
            ok = GEN8_Load(file, chunk);
            if (ok) {
                LoadSave_SetGameName(GeneralInfo_State().g_GeneralInfo.gameName.c_str());
                Code_SetRunnerFormat(800);
                DebugConsole->Output("InitQNLFunctions\n");
                // Once per run, also when a file holds two general-information chunks or the process
                // registered them before to compile code.
                if (Code_Function_Count() == 0) InitQNLFunctions();
            }
        } else if (chunk.tag == IFF_Tag("CODE")) {
            DebugConsole->Output("Code_Load()\n");
            Code_ClearReferences();
            ok = Code_LoadEntries(file, chunk, Code_IndexReferences);
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

// ---- The main walk ----

bool IFF_ProcessChunks(uint8_t* data, uint32_t size) {
    DebugConsole->Output("initialise everything!\n");
    // Sounds, sprites, backgrounds, paths, scripts, fonts, timelines and objects are emptied here
    // by their subsystems once they are built; the options are ours.
    ClearLoadedTables();
    Game_ClearOptions();
    CompiledGame_AllocGlobalSlots();

    CDataView file(data, size);
    bool result = false;
    if (data) {
        result = IFF_WalkChunks(file, kChunks, std::size(kChunks)) && TPage_CheckEntries();
        if (result) {
            Room_ReportMissingObjects();
            Object_ReportMissingSprites();
        }
    } else {
        Runner_LoadFailed("No game file was loaded\n");
    }
    CompiledGame_BindReferences();
    return result;
}

