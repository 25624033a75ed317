// Loads arbitrary bytes as a game data file (the pre-pass, then the chunk walk; loaded fonts measure a
// text and loaded paths are walked along) and as a debug-information file. Every function name resolves
// (as a script), so that binding runs its chains, and a name that does not resolve fails the load
// instead of ending the run.
#include "core/memory.h"
#include "data/code_chunk.h"
#include "data/debug_info.h"
#include "fuzz_quiet.h"
#include "graphics/sprite/font.h"
#include "runner/game_load.h"
#include "script/code_references.h"
#include "script/functions.h"
#include "world/path.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

int AnyScript(const char*) {
    return 0;
}

void KeepRunning(const char*) {}

uint8_t* Copy(const uint8_t* data, size_t size) {
    uint8_t* block = static_cast<uint8_t*>(MEM_ALLOC(size + 1));
    if (size > 0) std::memcpy(block, data, size);
    return block;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Code_Function_SetLookup({AnyScript, nullptr, nullptr});
    Code_SetLoadErrorHandler(KeepRunning);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 1 << 20) return 0;
    Game_FreeData();
    CGameFile game = CGameFile::CopyOf(data, size);
    Code_Load(game.Data(), game.Size());
    LoadGameData(game);
    for (int i = 0; i < Code_EntryCount(); ++i) {
        CodeChunkEntry entry;
        if (Code_GetEntry(i, entry) && entry.length > 0) {
            volatile uint8_t last = entry.bytecode[entry.length - 1];
            (void)last;
        }
    }
    // The glyphs of every font that loaded are looked up and measured.
    const uint32_t sample[] = {' ', 'A', 'g', 0x20AC, 0};
    for (int i = 0; i < Font_Count(); ++i)
        if (CFontQN* font = Font_Get(i)) (void)font->TextWidth(sample);
    // Every path that loaded is walked along.
    for (int i = 0; i < Path_Count(); ++i)
        if (CPath* path = Path_Data(i)) (void)path->GetX(0.5f);
    DebugInfo_Load(Copy(data, size), static_cast<uint32_t>(size));
    for (int i = 0; i < 4; ++i) {
        uint8_t* pairs;
        int length;
        if (DebugInfo_GetTable(i, pairs, length) && length > 0) {
            volatile uint8_t last = pairs[length - 1];
            (void)last;
        }
        if (const char* text = DebugInfo_GetText(i)) (void)std::strlen(text);
    }
    Game_FreeData();
    return 0;
}
