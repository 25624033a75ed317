// The buffer table: buffers by index, as saved games, packets and the buffer built-ins reach them.
#pragma once

#include <cstddef>
#include <cstdint>

class IBuffer;

// A new buffer in the first free slot: kind 3 is a fast byte buffer, any other kind a standard one.
// Returns its index, -1 when no buffer was made.
int Buffer_Create(int size, int kind, int alignment);
// A standard buffer (kind 0, alignment 1) over existing memory; -1 when no buffer was made.
int Buffer_CreateFromMemory(void* data, size_t size, bool owns);
// The buffer of an index; null when the index is out of range or its buffer was deleted.
IBuffer* Buffer_Get(int index);
void Buffer_Delete(int index);
