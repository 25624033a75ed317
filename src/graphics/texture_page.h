// The loaded copies of the data file's texture-page entries that sprites and backgrounds draw from. The
// file's own bytes stay as they are; each entry named by a record gets one copy, whose texture field
// holds the texture id of its page once the pages are made (-1 until then, and for an entry naming no
// page).
#pragma once

#include <cstdint>

class CDataView;
struct TPageEntry;

// The copy of the 22-byte entry at a file offset (the same copy for the same offset); null when the
// entry does not lie inside the file.
TPageEntry* TPage_LoadEntry(const CDataView& file, uint32_t offset);
// Gives every copy the texture id of the page its file entry names: textureOfPage(page index).
void TPage_ResolveTextures(int (*textureOfPage)(int index));
// Forgets every copy (the sprites and backgrounds that point at them are emptied first).
void TPage_ClearEntries();
