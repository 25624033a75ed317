#include "data/container.h"

#include "core/console.h"
#include "core/text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

bool g_loadFailed = false;
std::string g_failure;     // the first failure's message
std::string g_failureFile; // the file it was found in
std::string g_fileName;    // the file being read

const ChunkEntry* FindChunk(const ChunkEntry* table, size_t count, uint32_t tag) {
    for (size_t i = 0; i < count; ++i) {
        if (IFF_Tag(table[i].tag) == tag) return &table[i];
    }
    return nullptr;
}

} // namespace

std::string IFF_TagName(uint32_t tag) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const auto c = static_cast<uint8_t>(tag >> (8 * i));
        if (c >= 0x20 && c < 0x7F) {
            name += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            name += hex;
        }
    }
    return name;
}

void Load_SetFileName(const std::string& path) {
    g_fileName = path;
}

const std::string& Load_FileName() {
    return g_fileName;
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
        size_t length = std::strlen(text);
        while (length > 0 && text[length - 1] == '\n')
            --length;
        g_failure = Text_Escaped(text, length);
        g_failureFile = g_fileName;
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

std::string Runner_LoadFailureLine() {
    if (g_failureFile.empty()) return g_failure;
    return Text_Escaped(g_failureFile.c_str()) + ": " + g_failure;
}

void Runner_ClearLoadFailed() {
    g_loadFailed = false;
    g_failure.clear();
    g_failureFile.clear();
}

bool IFF_ReadChunks(const CDataView& file, std::vector<IFFChunk>* chunks, size_t maxChunks) {
    chunks->clear();
    uint32_t sizeField;
    if (file.Size() <= 8 || !file.U32(4, &sizeField)) {
        Runner_LoadFailed("not a data file (too short)\n");
        return false;
    }
    if (sizeField != file.Size() - 8) {
        Runner_LoadFailed("the container's size field (%u) does not match its length (%u)\n", sizeField,
                          file.Size() - 8);
        return false;
    }
    uint64_t at = 8;
    while (at < file.Size()) {
        IFFChunk chunk;
        if (!file.U32(at, &chunk.tag) || !file.U32(at + 4, &chunk.length)) {
            Runner_LoadFailed("a chunk header at offset %llu runs past the end of the file\n",
                              static_cast<unsigned long long>(at));
            return false;
        }
        if (chunk.tag == 0) {
            Runner_LoadFailed("the chunk at offset %llu has no tag (four zero bytes): the file is damaged\n",
                              static_cast<unsigned long long>(at));
            return false;
        }
        chunk.offset = static_cast<uint32_t>(at + 8);
        if (!file.Holds(chunk.offset, chunk.length)) {
            Runner_LoadFailed("Chunk %s at offset %llu (length %u) runs past the end of the file\n",
                              IFF_TagName(chunk.tag).c_str(), static_cast<unsigned long long>(at), chunk.length);
            return false;
        }
        if (chunks->size() == maxChunks) {
            Runner_LoadFailed("Chunk %s at offset %llu: the file holds more than the %zu chunks a file of its "
                              "kind can hold\n",
                              IFF_TagName(chunk.tag).c_str(), static_cast<unsigned long long>(at), maxChunks);
            return false;
        }
        chunks->push_back(chunk);
        at = chunk.End();
    }
    return true;
}

bool IFF_WalkChunks(const CDataView& file, const ChunkEntry* table, size_t count) {
    std::vector<IFFChunk> chunks;
    if (!IFF_ReadChunks(file, &chunks, count)) return false;

    bool result = true;
    for (const IFFChunk& chunk : chunks) {
        std::string name = IFF_TagName(chunk.tag);
        DebugConsole->Output("Process Chunk: %s   %d\n", name.c_str(), static_cast<int32_t>(chunk.length));
        if (chunk.length == 0) continue;
        const ChunkEntry* entry = FindChunk(table, count, chunk.tag);
        if (!entry) {
            DebugConsole->Output("unknown Chunk %s:%d\n", name.c_str(), static_cast<int32_t>(chunk.tag));
            if (!g_loadFailed) Runner_LoadFailed("Chunk %s: not a chunk of a game data file\n", name.c_str());
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
            // Every loader says why it failed; one that did not is still named.
            if (!g_loadFailed) Runner_LoadFailed("Chunk %s: the chunk is damaged\n", name.c_str());
            return false;
        }
    }
    return result;
}
