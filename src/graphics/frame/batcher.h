// The primitive batcher: vertices of like primitives collected in pooled vertex buffers and drawn with
// one call per batch; the target clear, the unbatched quad of the frame's last drawing, and the
// drawing-side start-up and shutdown of the device.
#pragma once

#include <cstddef>
#include <cstdint>

class CD3DVertexBuffer;
struct TDeviceTexture;

struct TBatchBuffer {
    TBatchBuffer* prev;
    TBatchBuffer* next;
    uint32_t flags; // bit 0 locked, bit 1 dynamic, bit 2 used since the last frame reset
    CD3DVertexBuffer* buffer;
    uint32_t format;
    int32_t stride;
    int32_t lockStart;
    int32_t used;
    int32_t capacity;
    uint8_t* data;
    uint64_t lastUsedFrame;

    bool Create(uint32_t format, int count, uint32_t flags);
    void Upload(const void* source, size_t bytes);
    void Lock();
    void Unlock();
    void Release();
};

constexpr uint32_t BATCH_LOCKED = 1u << 0;
constexpr uint32_t BATCH_DYNAMIC = 1u << 1;
constexpr uint32_t BATCH_USED = 1u << 2;

// The batcher's first texture stage, reached through Batcher_State().
struct BatcherState {
    // The sampler stage of the applied shader's base texture; 0 while no shader is applied.
    int GR_BaseTextureStage = 0;
};

inline BatcherState& Batcher_State() {
    static BatcherState state;
    return state;
}

namespace Graphics {
// Room for count vertices of the given stride (16, 24, 36, or a vertex-format value) and primitive kind,
// to be filled at once; null without a device.
void* AllocVerts(int kind, TDeviceTexture* texture, int stride, int count);
void UnallocVerts(int count);
// The last count vertices allocated sample only opaque texels of the batch's texture (see
// CD3DDevice::SetOpaqueSamples); a batch made only of such vertices is drawn saying so.
void MarkOpaque(int count);
void Flush();
void ResetBatchBuffers();
// colour is a script colour with alpha on top (0xAABBGGRR); flags: 1 target, 2 depth, 4 stencil.
void Clear(uint32_t colour, float depth, uint32_t stencil, uint32_t flags);
} // namespace Graphics

void GR_DrawVertexBuffer(int kind, int count, TDeviceTexture* texture, TBatchBuffer* buffer);
bool GR_BufferStillValid();
int GR_VertexSize(uint32_t format);
// colour is a device colour; drawn at once, outside the batch.
void GR_DrawQuadImmediate(TDeviceTexture* texture, float left, float top, float right, float bottom, float uLeft,
                          float vTop, float uRight, float vBottom, uint32_t colour);
void GR_D3D_InitDrawing();
// The batcher's part of the device's shutdown (see GR_D3D_Quit): vertex formats, render targets, the
// buffer pool, then the device itself.
void GR_D3D_QuitDrawing();

// The pending batch forgets a texture being freed.
void GR_Batch_ForgetTexture(const TDeviceTexture* texture);
// Buffers in the pool, and the frame counter (for tests and the debug overlay).
int GR_Batch_PoolSize();
uint64_t GR_Batch_FrameCounter();
// A number that changes whenever the pending batch is drawn: vertices written under one serial have not
// reached the device while it stays the same.
uint64_t GR_Batch_Serial();
