// The buffer table: buffers by index, as saved games, packets and the buffer built-ins reach them.
#pragma once

#include <cstddef>
#include <cstdint>

class IBuffer;

// A new buffer in the first free slot: kind 3 is a fast byte buffer, any other kind a standard one (a
// negative size gives an empty buffer). Returns its index.
int Buffer_Create(int size, int kind, int alignment);
// A standard buffer (kind 0, alignment 1) over existing memory, which it frees when it owns it (memory of
// the memory manager). -1 when the size is larger than a buffer can be; owned memory is freed then.
int Buffer_CreateFromMemory(void* data, size_t size, bool owns);
// The buffer of an index; null when the index is out of range or its buffer was deleted.
IBuffer* Buffer_Get(int index);
// Deletes the buffer of an index and empties its slot; an index without a buffer is ignored.
void Buffer_Delete(int index);
// Deletes every buffer (shutdown, and between tests).
void Buffer_DeleteAll();
