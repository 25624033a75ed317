// The primitive recorder: the primitives of a model replay gathered into a triangle list, a line list
// and a point list (strips and fans unfolded), each drawn later from a device vertex buffer made once
// from it, and recoloured when the draw colour changes.
#pragma once

#include <cstdint>
#include <vector>

class CD3DVertexBuffer;
struct TDeviceTexture;

// The 36-byte vertex of the 3D layer (format code 0x152). A colour that follows the draw colour has
// bit 0 clear; a colour given with the vertex has bit 16 set.
struct Vertex36 {
    float x, y, z;
    float nx, ny, nz;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Vertex36) == 36, "the 3D layout is 36 bytes");

struct RecorderList {
    Vertex36* vertices = nullptr;
    CD3DVertexBuffer* buffer = nullptr;
    int count = 0;
    int capacity = 0;
    // Per vertex: 1 when it took the drawing colour (and follows it when recoloured).
    std::vector<uint8_t> drawColour;
};

struct GraphicsRecorder {
    GraphicsRecorder* next = nullptr;
    GraphicsRecorder* previous = nullptr;
    uint32_t colour = 0; // the draw colour with bit 0 clear; 0 when no vertex follows it
    int64_t textureValue = -1;
    TDeviceTexture* texture = nullptr;
    RecorderList triangles;
    RecorderList lines;
    RecorderList points;
};

// kind 1 to 6 as the device's primitive types; unknown kinds are points. drawColour marks the vertices
// that took the drawing colour (null: none did).
void GraphicsRecorder_AddPrimitive(GraphicsRecorder* recorder, int kind, int n, const Vertex36* vertices,
                                   const uint8_t* drawColour);
// Room for n more vertices (the count grows by n); n of -1 shrinks the capacity to the count instead.
Vertex36* GraphicsRecorder_GrowVertices(Vertex36* vertices, int& capacity, int& count, int n);
// The vertices that took the drawing colour get colour with bit 0 clear, and it becomes the recorded one;
// a recorded colour with bit 0 set is never changed.
void GraphicsRecorder_Recolour(GraphicsRecorder* recorder, uint32_t colour);
void GraphicsRecorder_Draw(GraphicsRecorder* recorder, float x, float y, float z);
void Model_FreeBuffers(GraphicsRecorder* recorder);
// A write-only device buffer holding the vertices; null when it cannot be made or filled.
CD3DVertexBuffer* CreateVertexBufferFromVerts(const Vertex36* vertices, int n);
// Releases the buffers and frees the three lists; the record itself stays the caller's.
void GraphicsRecorder_Free(GraphicsRecorder* recorder);
