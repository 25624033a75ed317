// The data file's container: checking it, listing its chunks, and the walk that hands every chunk to
// the loader a table names for its tag, in file order. A problem found while reading the game's files
// is recorded here, so that the load fails.
#pragma once

#include "data/data_view.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A chunk loader: the whole file, the chunk, and (for chunks whose body is a counted offset list) the
// checked entries of that list. False fails the load; the loader has said why.
using ChunkLoader = bool (*)(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);

// One tag of the format and its work in the walk.
struct ChunkEntry {
    char tag[5];
    bool list; // the body is a counted offset list, checked before the loader runs
    ChunkLoader loader;
};

// Checks the container (size field = length - 8, chunks that fit the file) and lists its chunks in file
// order. False, with a message naming `what`, when the container is broken.
bool IFF_ReadChunks(const CDataView& file, std::vector<IFFChunk>* chunks, const char* what);
// Hands every chunk of a checked container to its entry of the table, tracing each. An unknown tag makes
// the result false and the walk goes on; a list that does not fit or a loader that fails ends it.
bool IFF_WalkChunks(const CDataView& file, const ChunkEntry* table, size_t count);
// The tag as its four characters.
std::string IFF_TagName(uint32_t tag);

// Records a problem found while reading the game's files, so the load fails.
void Runner_LoadFailed(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Runner_HasLoadFailed();
// The message of the first problem recorded (without its line end); empty when none was.
const std::string& Runner_LoadFailure();
// The same for one line (at most 1023 characters, the line end added); gives false.
bool Load_Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Forgets a recorded failure (a new game is loaded, and between tests).
void Runner_ClearLoadFailed();
