#include "graphics/frame/texture_page.h"

#include "core/console.h"
#include "data/container.h"
#include "graphics/frame/texture.h"

#include <map>
#include <memory>

namespace {

struct LoadedEntry {
    TPageEntry entry;
    int16_t page; // the page index the file names
};
// By file offset; the copies never move.
std::map<uint32_t, std::unique_ptr<LoadedEntry>> g_entries;

// The offsets of the "TPAG" records, the texture (or page index) of each, and the texture ids of the
// "TXTR" pages.
std::vector<uint32_t> g_tpages;
std::vector<int> g_tpageTextures;
std::vector<int> g_textureIds;
std::vector<bool> g_pagePresent; // the "TXTR" slot holds a page (its offset is not 0)

// The last 16-bit field of a 22-byte texture-page entry: the index of its "TXTR" page.
int16_t TextureField(const CDataView& file, uint32_t entry) {
    uint8_t low = 0, high = 0;
    file.U8(static_cast<uint64_t>(entry) + 20, &low);
    file.U8(static_cast<uint64_t>(entry) + 21, &high);
    return static_cast<int16_t>(static_cast<uint16_t>(low | high << 8));
}

} // namespace

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
    g_pagePresent.assign(list.size(), false);
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
        bool decoded = false;
        g_textureIds[i] = Texture_CreateFromMemory(file.Data() + image, chunk.End() - image, &decoded);
        g_pagePresent[i] = true;
        // Every image on a page that cannot be read would draw nothing.
        if (!decoded) {
            Runner_LoadFailed("Chunk TXTR: texture page %u is damaged (it is no RAW page, PNG or JPEG image that "
                              "can be decoded)\n",
                              static_cast<unsigned>(i));
            return false;
        }
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

TPageEntry* TPage_LoadEntry(const CDataView& file, uint32_t offset) {
    auto found = g_entries.find(offset);
    if (found != g_entries.end()) return &found->second->entry;
    if (offset == 0 || !file.Holds(offset, sizeof(TPageEntry))) return nullptr;
    auto loaded = std::make_unique<LoadedEntry>();
    std::memcpy(&loaded->entry, file.Data() + offset, sizeof(TPageEntry));
    loaded->page = loaded->entry.texture;
    loaded->entry.texture = -1;
    TPageEntry* entry = &loaded->entry;
    g_entries.emplace(offset, std::move(loaded));
    return entry;
}

bool TPage_CheckEntries() {
    for (const auto& [offset, loaded] : g_entries) {
        if (loaded->page < 0 || static_cast<size_t>(loaded->page) >= g_pagePresent.size() ||
            !g_pagePresent[static_cast<size_t>(loaded->page)]) {
            Runner_LoadFailed("Chunk TPAG: the texture-page entry at offset %u places an image on texture page %d, "
                              "which the file does not have\n",
                              offset, loaded->page);
            return false;
        }
    }
    TPage_ResolveTextures(Textures_GetId);
    return true;
}

void TPage_ResolveTextures(int (*textureOfPage)(int index)) {
    for (auto& [offset, loaded] : g_entries)
        loaded->entry.texture = static_cast<int16_t>(textureOfPage(loaded->page));
}

void TPage_ClearEntries() {
    for (auto& [offset, loaded] : g_entries)
        PageEntry_Unregister(&loaded->entry);
    g_entries.clear();
    g_tpages.clear();
    g_tpageTextures.clear();
    g_textureIds.clear();
    g_pagePresent.clear();
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
