// Folder vertex/: the vertex buffers that scripts build, and the built-ins of vertices and vertex formats.
//
// Script-built vertex buffers: a memory copy of vertices written element by element in a vertex format,
// submitted to the batcher or frozen into a device buffer of its own. The table holds buffers by handle
// (its index); a freed slot is reused, lowest first.
#pragma once

#include <cstdint>

struct TBatchBuffer;
struct TVertexFormat;

struct TVertexBuffer {
    uint8_t* data = nullptr; // zero-filled beyond what was written
    uint32_t capacity = 0;
    uint32_t writeOffset = 0;
    uint32_t elementCounter = 0;
    uint32_t elementsPerVertex = 0;
    uint32_t writtenMask = 0;
    uint32_t vertexCount = 0;
    uint8_t frozen = 0;
    TVertexFormat* building = nullptr;
    TVertexFormat* ended = nullptr;
    TBatchBuffer* device = nullptr;
};

// The largest memory copy a buffer grows to, the largest device vertex buffer.
constexpr uint32_t VERTEX_BUFFER_MAX_BYTES = 0x10000000u;

int VertexBuffer_Create(uint32_t capacity);
TVertexBuffer* VertexBuffer_Get(int64_t handle);
bool VertexBuffer_Delete(int64_t handle);
// Makes room for needed bytes beyond the write offset, growing by half the capacity plus what is
// needed; false when that would pass the largest size.
bool VertexBuffer_Reserve(TVertexBuffer* buffer, uint32_t needed);
// Draws the ended vertices with a primitive kind and a texture argument (a texture id, a texture-page
// entry handle, or anything else for none); nothing without an ended format that has a declaration.
void VertexBuffer_Submit(TVertexBuffer* buffer, int kind, int64_t texture);
// Moves the ended vertices into a device buffer; the memory copy is kept to fill it again after the
// device is lost. False when there is nothing to freeze.
bool VertexBuffer_Freeze(TVertexBuffer* buffer);
// Frees every buffer (end of the run, and between tests).
void VertexBuffer_Clear();
