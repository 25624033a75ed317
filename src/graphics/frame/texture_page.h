// The loaded copies of the data file's texture-page entries that sprites and backgrounds draw from. The
// file's own bytes stay as they are; each entry named by a record gets one copy, whose texture field
// holds the texture id of its page once the pages are made (-1 until then, and for an entry naming no
// page).
#pragma once

#include "data/data_view.h"

#include <cstdint>
#include <vector>

struct TPageEntry;

// The copy of the 22-byte entry at a file offset (the same copy for the same offset); null when the
// entry does not lie inside the file.
TPageEntry* TPage_LoadEntry(const CDataView& file, uint32_t offset);
// Gives every copy the texture id of the page its file entry names: textureOfPage(page index).
void TPage_ResolveTextures(int (*textureOfPage)(int index));
// After the chunk walk: every copy a sprite, background or font made must name a page of the "TXTR"
// chunk (whatever the order of the chunks); each gets that page's texture id. False, a load failure,
// when one names a page the file does not have.
bool TPage_CheckEntries();
// Forgets every copy and the tables of the two chunks (the sprites and backgrounds that point at them are
// emptied first).
void TPage_ClearEntries();

// The chunk loaders of "TPAG" (the 22-byte texture-page entries) and "TXTR" (the pages, each made a
// texture; then every entry's page index becomes the texture id of that page).
bool TPAG_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
bool Textures_Load(const CDataView& file, const IFFChunk& chunk, const std::vector<uint32_t>& list);
// The offsets of the "TPAG" records.
const std::vector<uint32_t>& TPage_Entries();
// The texture id of a "TXTR" index, -1 when the index is out of range or its page made no texture.
int Textures_GetId(int index);
// The texture of texture-page entry i: the texture id of the "TXTR" page its last 16-bit field names (the
// field itself when it names no page); -1 when i is out of range.
int TPage_GetTexture(int entryIndex);
