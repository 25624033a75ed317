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

// Checks the container (size field = length - 8, chunks that fit the file, each with a tag, at most
// maxChunks of them) and lists its chunks in file order. False, with a message, when the container is
// broken; nothing is listed past the limit, so a file of many empty chunks costs no memory.
bool IFF_ReadChunks(const CDataView& file, std::vector<IFFChunk>* chunks, size_t maxChunks);
// Hands every chunk of a checked container to its entry of the table, tracing each. An unknown tag makes
// the result false and the walk goes on; a list that does not fit or a loader that fails ends it.
bool IFF_WalkChunks(const CDataView& file, const ChunkEntry* table, size_t count);
// The tag as its four characters, each control byte or byte above 0x7E written as "\xNN".
std::string IFF_TagName(uint32_t tag);

// The file being read (the game file, or its debug-information file while that is read): a problem
// recorded names it.
void Load_SetFileName(const std::string& path);
const std::string& Load_FileName();

// Records a problem found while reading the game's files, so the load fails. The message names the
// chunk and the problem; the file is added by Runner_LoadFailureLine.
void Runner_LoadFailed(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Runner_HasLoadFailed();
// The message of the first problem recorded, on one line (control bytes and bytes that are not UTF-8
// written as "\xNN", without its line end); empty when none was.
const std::string& Runner_LoadFailure();
// The same after the file it was found in: "FILE: MESSAGE" (the message alone when no file was named).
std::string Runner_LoadFailureLine();
// The same for one line (at most 1023 characters, the line end added); gives false.
bool Load_Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Forgets a recorded failure (a new game is loaded, and between tests).
void Runner_ClearLoadFailed();
