#include "graphics/texture_page.h"

#include "graphics/texture.h"
#include "runner/data_view.h"

#include <map>
#include <memory>

namespace {

struct LoadedEntry {
    TPageEntry entry;
    int16_t page; // the page index the file names
};
// By file offset; the copies never move.
std::map<uint32_t, std::unique_ptr<LoadedEntry>> g_entries;

} // namespace

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

void TPage_ResolveTextures(int (*textureOfPage)(int index)) {
    for (auto& [offset, loaded] : g_entries)
        loaded->entry.texture = static_cast<int16_t>(textureOfPage(loaded->page));
}

void TPage_ClearEntries() {
    for (auto& [offset, loaded] : g_entries)
        PageEntry_Unregister(&loaded->entry);
    g_entries.clear();
}
