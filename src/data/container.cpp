#include "data/container.h"

#include "core/console.h"

#include <cstdarg>
#include <cstdio>

namespace {

bool g_loadFailed = false;
std::string g_failure; // the first failure's message

const ChunkEntry* FindChunk(const ChunkEntry* table, size_t count, uint32_t tag) {
    for (size_t i = 0; i < count; ++i) {
        if (IFF_Tag(table[i].tag) == tag) return &table[i];
    }
    return nullptr;
}

} // namespace

std::string IFF_TagName(uint32_t tag) {
    char name[4];
    for (int i = 0; i < 4; ++i)
        name[i] = static_cast<char>(tag >> (8 * i));
    return std::string(name, 4);
}

void Runner_LoadFailed(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (!g_loadFailed) {
        char text[1024];
        va_list copy;
        va_copy(copy, args);
        std::vsnprintf(text, sizeof text, format, copy);
        va_end(copy);
        g_failure = text;
        while (!g_failure.empty() && g_failure.back() == '\n')
            g_failure.pop_back();
    }
    g_loadFailed = true;
    DebugConsole->OutputV(format, args);
    va_end(args);
}

bool Load_Fail(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Runner_LoadFailed("%s\n", text);
    return false;
}

bool Runner_HasLoadFailed() {
    return g_loadFailed;
}

const std::string& Runner_LoadFailure() {
    return g_failure;
}

void Runner_ClearLoadFailed() {
    g_loadFailed = false;
    g_failure.clear();
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

bool IFF_WalkChunks(const CDataView& file, const ChunkEntry* table, size_t count) {
    std::vector<IFFChunk> chunks;
    if (!IFF_ReadChunks(file, &chunks, "Game file")) return false;

    bool result = true;
    for (const IFFChunk& chunk : chunks) {
        std::string name = IFF_TagName(chunk.tag);
        DebugConsole->Output("Process Chunk: %s   %d\n", name.c_str(), static_cast<int32_t>(chunk.length));
        if (chunk.length == 0) continue;
        const ChunkEntry* entry = FindChunk(table, count, chunk.tag);
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
    return result;
}
