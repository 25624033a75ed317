// Damaged data files: the ways a data file is found broken (bits flipped, runs of bytes overwritten,
// sizes, counts and offsets changed, chunks dropped, duplicated, swapped or cut short, the file cut
// short), applied to whole games. The corpus generator takes a few as seeds of the room-running fuzz
// target; make_damaged_games writes thousands for tests/damaged_files.sh to run the runner over.
#pragma once

#include "game_writer.h"

#include <cstdint>
#include <string>
#include <vector>

enum class Damage {
    BitFlips,       // one to eight bits anywhere past the container's header
    ByteRun,        // a run of 1 to 64 bytes set to zeros, ones or noise
    Size,           // a chunk's length, the container's size or a size field of a record
    Count,          // a record list's count, or a small number in a chunk
    Offset,         // a word that holds an offset into the file
    DropChunk,      // one chunk taken out (the container's size kept right)
    DuplicateChunk, // one chunk written twice in a row
    SwapChunks,     // two chunks change places
    TruncateChunk,  // a chunk's body cut short (its length and the container's size kept right)
    TruncateFile,   // the file cut short
};
constexpr int kDamageKinds = 10;
const char* Damage_Name(Damage kind);

// The file with one damage of the kind, chosen by seed; what says what was done. The file must be a
// well-formed container.
std::vector<uint8_t> Damage_Apply(const std::vector<uint8_t>& file, Damage kind, uint64_t seed,
                                  std::string* what = nullptr);

// A game with scripts, paths, a shader, a timeline, sprites, a background and two rooms; it goes to its
// second room and ends itself within a second.
GameDescription DamagedGames_RichGame();

// The example game read from its description in folder (game.txt and its code files); false with the
// reason.
bool DamagedGames_ReadExample(const std::string& folder, GameDescription* game, std::string* error);

// The games that are damaged: the example and the rich game, each with its code as text and compiled.
struct DamagedGameBase {
    const char* name;
    std::vector<uint8_t> bytes;
};
// Empty, with the reason, when a game does not build.
std::vector<DamagedGameBase> DamagedGames_Bases(const GameDescription& example, std::string* error);

// A recorded input of 30 frames whose last one presses Escape (which ends the example game).
std::vector<uint8_t> DamagedGames_EscapeRecording();
