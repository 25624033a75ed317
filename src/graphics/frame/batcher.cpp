#include "graphics/frame/batcher.h"

#include "core/process_exit.h"
#include "device/device.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/frame/vertex_format.h"
#include "script/vm/vm_error.h"

#include <cstdio>
#include <cstdlib>
#include <vector>
#include <cstring>

namespace {

TBatchBuffer* g_poolHead = nullptr;
TBatchBuffer* g_poolTail = nullptr;
TBatchBuffer* g_current = nullptr;
int g_batchKind = -1;
TDeviceTexture* g_batchTexture = nullptr;
int g_batchStride = 0;
uint8_t* g_batchBase = nullptr;
uint64_t g_frameCounter = 10;
uint64_t g_batchSerial = 1;
int g_batchOpaqueVertices = 0; // of the current batch, vertices marked as sampling only opaque texels
int g_minimumCapacity = 16384;
TDeviceTexture* g_fontTexture = nullptr;

bool ManualBuffers() {
    return Frame_State().CommandLine_Graphics.manualBuffers;
}

uint32_t FormatOfStride(int stride) {
    switch (stride) {
    case 16: return 0x42;
    case 24: return 0x142;
    case 36: return 0x152;
    default: return static_cast<uint32_t>(stride);
    }
}

bool IsHandle(uint32_t format) {
    return (format & 0x1000000u) != 0;
}

// Vertices of one primitive of a list kind (points, lines, triangles); 0 for strips and fans.
int ListPrimitiveSize(int kind) {
    switch (kind) {
    case 1: return 1;
    case 2: return 2;
    case 4: return 3;
    default: return 0;
    }
}

int PrimitiveCount(int kind, int n) {
    switch (kind) {
    case 1: return n;
    case 2: return n / 2;
    case 3: return n - 1;
    case 4: return n / 3;
    case 5:
    case 6: return n - 2;
    default: return 0;
    }
}

[[noreturn]] void FatalBufferError() {
    Code_Error_Report("Fatel Error: Can not create vertex buffer", true);
    Process_Exit(-1);
}

// Creates the device buffer of a record: the first usage and pool, then write-only in the default pool.
void CreateDeviceBuffer(TBatchBuffer& b, bool dynamicFirst, uint32_t firstPool) {
    const uint32_t length = static_cast<uint32_t>(b.stride) * static_cast<uint32_t>(b.capacity);
    const uint32_t fvf = IsHandle(b.format) ? 0 : b.format;
    if (Frame_State().GR_D3DDevice && Frame_State().GR_D3DDevice->CreateVertexBuffer(
                                          length, dynamicFirst ? D3DUSAGE_DYNAMIC : D3DUSAGE_WRITEONLY, fvf,
                                          firstPool, &b.buffer) == D3D_OK) {
        if (dynamicFirst) b.flags |= BATCH_DYNAMIC;
        return;
    }
    if (Frame_State().GR_D3DDevice &&
        Frame_State().GR_D3DDevice->CreateVertexBuffer(length, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_DEFAULT,
                                                       &b.buffer) == D3D_OK)
        return;
    FatalBufferError();
}

TBatchBuffer* NewBatchBuffer(uint32_t format, int capacity) {
    auto* b = new TBatchBuffer{};
    b->format = format;
    b->stride = GR_VertexSize(format);
    b->capacity = capacity;
    CreateDeviceBuffer(*b, true, D3DPOOL_SYSTEMMEM);
    b->prev = g_poolTail;
    if (g_poolTail) g_poolTail->next = b;
    else g_poolHead = b;
    g_poolTail = b;
    return b;
}

TBatchBuffer* FindBatchBuffer(int n, uint32_t format) {
    for (TBatchBuffer* b = g_poolHead; b; b = b->next) {
        if (b->format == format && b->capacity - b->used >= n && b->lastUsedFrame + 3 < g_frameCounter) return b;
    }
    return NewBatchBuffer(format, n > g_minimumCapacity ? n : g_minimumCapacity);
}

// Binds a buffer's format and draws its vertices from lockStart. A vertex format whose declaration the
// device refused draws nothing.
void DrawFromBuffer(TBatchBuffer& b, int kind, int primitives) {
    b.Unlock();
    if (IsHandle(b.format)) {
        const TVertexFormat* format = VertexFormat_FromHandle(b.format);
        if (!format || !format->declaration) return;
        Frame_State().GR_D3DDevice->SetFVF(0);
        Frame_State().GR_D3DDevice->SetVertexDeclaration(format->declaration);
    } else {
        Frame_State().GR_D3DDevice->SetFVF(b.format);
    }
    Frame_State().GR_D3DDevice->SetStreamSource(0, b.buffer, static_cast<uint32_t>(b.lockStart * b.stride),
                                                static_cast<uint32_t>(b.stride));
    Frame_State().GR_D3DDevice->DrawPrimitive(static_cast<uint32_t>(kind), 0,
                                              static_cast<uint32_t>(primitives));
    ++Frame_State().Graphics_VertexBatchCount;
}

void ManualClear(uint32_t deviceColour, float depth, uint32_t flags) {
    CD3DSurface* targets[4] = {};
    int kept = 0;
    for (int slot = 0; slot < Frame_State().GR_RenderTargetCount && slot < 4; ++slot) {
        CD3DSurface* s = nullptr;
        if (Frame_State().GR_D3DDevice->GetRenderTarget(static_cast<uint32_t>(slot), &s) == D3D_OK && s)
            targets[kept++] = s;
    }
    CD3DSurface* depthSurface = nullptr;
    Frame_State().GR_D3DDevice->GetDepthStencilSurface(&depthSurface);

    float world[16], view[16], projection[16];
    Graphics::GetMatrix(2, world);
    Graphics::GetMatrix(0, view);
    Graphics::GetMatrix(1, projection);
    RenderState_State().g_RenderState.Save();
    TShader* shader = Shader_Applied();
    Shader_Request(nullptr);
    if (Shader_ChangePending()) Shader_Apply();

    RenderState_State().g_RenderState.SetRenderState(RS_ZENABLE, 1);
    RenderState_State().g_RenderState.SetRenderState(RS_ZFUNC, 8);
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHATESTENABLE, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_LIGHTING, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_CULLMODE, 0);
    RenderState_State().g_RenderState.SetRenderState(RS_COLORWRITEENABLE, (flags & 1) ? 15u : 0u);
    RenderState_State().g_RenderState.SetRenderState(RS_ZWRITEENABLE, (flags & 2) ? 1u : 0u);

    Transform_State().GR_Transform.halfPixel = false;
    float identity[16] = {};
    identity[0] = identity[5] = identity[10] = identity[15] = 1.0f;
    Graphics::SetMatrix(2, identity);
    Graphics::SetMatrix(0, identity);
    Graphics::SetMatrix(1, identity);

    const bool several = kept > 1;
    if (several) {
        GR_D3D_PushRenderTargets();
        for (int slot = 1; slot < Frame_State().GR_RenderTargetCount; ++slot)
            Frame_State().GR_D3DDevice->SetRenderTarget(static_cast<uint32_t>(slot), nullptr);
    }
    for (int i = 0; i < kept; ++i) {
        if (several) {
            Frame_State().GR_D3DDevice->SetRenderTarget(0, targets[i]);
            Frame_State().GR_D3DDevice->SetDepthStencilSurface(i == 0 ? depthSurface : nullptr);
        }
        struct V {
            float x, y, z;
            uint32_t c;
        };
        auto* v = static_cast<V*>(Graphics::AllocVerts(5, nullptr, 16, 4));
        if (v) {
            const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
            for (int k = 0; k < 4; ++k)
                v[k] = V{corners[k][0], corners[k][1], depth, deviceColour};
        }
        Graphics::Flush();
    }
    if (several) GR_D3D_PopRenderTargets();
    for (int i = 0; i < kept; ++i)
        targets[i]->Release();
    if (depthSurface) depthSurface->Release();

    RenderState_State().g_RenderState.Restore();
    Graphics::SetMatrix(2, world);
    Graphics::SetMatrix(0, view);
    Graphics::SetMatrix(1, projection);
    Shader_Request(shader);
    if (Shader_ChangePending()) Shader_Apply();
    Transform_State().GR_Transform.halfPixel = true;
}

} // namespace

// ---- buffer records ----

bool TBatchBuffer::Create(uint32_t fmt, int count, uint32_t createFlags) {
    format = fmt;
    stride = GR_VertexSize(fmt);
    capacity = count;
    lastUsedFrame = 0;
    const bool dynamic = createFlags & 2u;
    CreateDeviceBuffer(*this, dynamic, dynamic ? D3DPOOL_SYSTEMMEM : D3DPOOL_DEFAULT);
    return true;
}

void TBatchBuffer::Upload(const void* source, size_t bytes) {
    if ((flags & BATCH_LOCKED) || !source || !buffer) return;
    const size_t whole = static_cast<size_t>(capacity) * static_cast<size_t>(stride);
    const size_t size = bytes < whole ? bytes : whole;
    uint8_t* target = nullptr;
    if (buffer->Lock(0, static_cast<uint32_t>(size), &target, (flags & BATCH_DYNAMIC) ? D3DLOCK_DISCARD : 0) != D3D_OK) {
        Code_Error_Report("Error: Could not update vertex buffer", false);
        return;
    }
    std::memcpy(target, source, size);
    if (buffer->Unlock() != D3D_OK) Code_Error_Report("Error: Could not unlock vertex buffer", false);
}

void TBatchBuffer::Lock() {
    if ((flags & BATCH_LOCKED) || !buffer) return;
    lockStart = used;
    const uint32_t offset = static_cast<uint32_t>(used) * static_cast<uint32_t>(stride);
    const uint32_t size = static_cast<uint32_t>(capacity - used) * static_cast<uint32_t>(stride);
    uint32_t lockFlags = 0;
    if (!(flags & BATCH_USED)) {
        flags |= BATCH_USED;
        lockFlags = (flags & BATCH_DYNAMIC) ? D3DLOCK_DISCARD : 0;
    } else if (flags & BATCH_DYNAMIC) {
        lockFlags = offset == 0 ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
    }
    uint8_t* address = nullptr;
    // A failing lock is ignored: the batch then has no memory to write to.
    if (size == 0 || buffer->Lock(offset, size, &address, lockFlags) != D3D_OK) address = nullptr;
    flags |= address ? BATCH_LOCKED : 0u;
    data = address;
}

void TBatchBuffer::Unlock() {
    if (!(flags & BATCH_LOCKED)) return;
    buffer->Unlock();
    flags &= ~BATCH_LOCKED;
    data = nullptr;
}

void TBatchBuffer::Release() {
    Unlock();
    if (buffer) buffer->Release();
    buffer = nullptr;
}

// ---- batching ----

int GR_VertexSize(uint32_t format) {
    if (IsHandle(format)) {
        const TVertexFormat* record = VertexFormat_FromHandle(format);
        return record ? static_cast<int>(record->stride) : 0;
    }
    return ((format & 0x2) ? 12 : 0) + ((format & 0x10) ? 12 : 0) + ((format & 0x40) ? 4 : 0) +
           ((format & 0x100) ? 8 : 0);
}

namespace Graphics {

void* AllocVerts(int kind, TDeviceTexture* texture, int stride, int count) {
    if (!Frame_State().GR_D3DDevice || count < 0) return nullptr;
    // Only a batch of whole primitives is continued, so that vertices left over from an earlier request
    // never join the new ones in a primitive.
    const int primitiveSize = ListPrimitiveSize(kind);
    const bool continues =
        g_current && kind == g_batchKind && texture == g_batchTexture && stride == g_batchStride &&
        primitiveSize > 0 && (g_current->used - g_current->lockStart) % primitiveSize == 0 &&
        g_current->used + count <= g_current->capacity && !RenderState_State().g_RenderState.Pending();
    if (!continues) {
        Flush();
        const uint32_t format = FormatOfStride(stride);
        const int vertexSize = GR_VertexSize(format);
        if (vertexSize == 0) return nullptr;
        g_batchKind = kind;
        g_batchTexture = texture;
        g_batchStride = vertexSize;
        g_batchOpaqueVertices = 0;
        g_current = FindBatchBuffer(count, format);
        g_current->Lock();
        g_batchBase = g_current->data;
    }
    if (!g_batchBase) {
        g_current->used += count;
        return nullptr;
    }
    uint8_t* result = g_batchBase + static_cast<size_t>(g_current->used - g_current->lockStart) * g_batchStride;
    g_current->used += count;
    return result;
}

void MarkOpaque(int count) {
    g_batchOpaqueVertices += count;
}

void UnallocVerts(int count) {
    if (!g_current || count <= 0) return;
    g_batchOpaqueVertices = 0;
    g_current->used -= count;
    if (g_current->used < g_current->lockStart) g_current->used = g_current->lockStart;
}

void Flush() {
    if (g_batchKind < 0) {
        RenderState_State().g_RenderState.Apply();
        return;
    }
    GR_D3D_SetTexture(Batcher_State().GR_BaseTextureStage, g_batchTexture);
    const int vertices = g_current->used - g_current->lockStart;
    const int primitives = PrimitiveCount(g_batchKind, vertices);
    const bool opaque = vertices > 0 && g_batchOpaqueVertices == vertices;
    if (opaque) Frame_State().GR_D3DDevice->SetOpaqueSamples(true);
    if (primitives >= 1) DrawFromBuffer(*g_current, g_batchKind, primitives);
    if (opaque) Frame_State().GR_D3DDevice->SetOpaqueSamples(false);
    // The lock ends even when nothing was drawn, so that the next batch in this buffer starts after the
    // vertices of this one instead of drawing them again.
    g_current->Unlock();
    if (ManualBuffers()) g_current->used = g_current->capacity;
    ++g_batchSerial;
    g_batchKind = -1;
    g_batchTexture = nullptr;
    g_batchStride = 0;
    RenderState_State().g_RenderState.Apply();
}

void ResetBatchBuffers() {
    for (TBatchBuffer* b = g_poolHead; b; b = b->next) {
        if (b->data && (b->flags & BATCH_LOCKED)) b->Unlock();
        if (b->flags & BATCH_USED) {
            b->used = 0;
            b->lastUsedFrame = g_frameCounter;
            b->flags &= ~BATCH_USED;
        }
    }
    ++g_frameCounter;
    g_current = nullptr;
    g_batchKind = -1;
    if (ManualBuffers()) g_minimumCapacity = 4096;
}

void Clear(uint32_t colour, float depth, uint32_t stencil, uint32_t flags) {
    if (!Frame_State().GR_D3DDevice || flags == 0) return;
    Flush();
    // Script order to device order: red and blue exchanged, alpha kept.
    const uint32_t deviceColour = (colour & 0xFF00FF00u) | (colour & 0xFFu) << 16 | (colour >> 16 & 0xFFu);
    if (Frame_State().CommandLine_Graphics.manualClear)
        ManualClear(deviceColour, depth, flags);
    else
        Frame_State().GR_D3DDevice->Clear(0, nullptr, flags, deviceColour, depth, stencil);
}

} // namespace Graphics

void GR_DrawVertexBuffer(int kind, int count, TDeviceTexture* texture, TBatchBuffer* buffer) {
    Graphics::Flush();
    GR_D3D_SetTexture(Batcher_State().GR_BaseTextureStage, texture);
    const int primitives = PrimitiveCount(kind, count);
    if (primitives >= 1 && buffer && buffer->buffer && Frame_State().GR_D3DDevice)
        DrawFromBuffer(*buffer, kind, primitives);
}

bool GR_BufferStillValid() {
    return true;
}

void GR_DrawQuadImmediate(TDeviceTexture* texture, float left, float top, float right, float bottom, float uLeft,
                          float vTop, float uRight, float vBottom, uint32_t colour) {
    if (!Frame_State().GR_D3DDevice) return;
    struct V {
        float x, y, z;
        uint32_t c;
        float u, v;
    };
    const V v[4] = {{left, top, 0, colour, uLeft, vTop},
                    {right, top, 0, colour, uRight, vTop},
                    {right, bottom, 0, colour, uRight, vBottom},
                    {left, bottom, 0, colour, uLeft, vBottom}};
    Frame_State().GR_D3DDevice->SetFVF(0x142);
    GR_D3D_SetTexture(0, texture);
    Frame_State().GR_D3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, v, sizeof(V));
}

void GR_Batch_ForgetTexture(const TDeviceTexture* texture) {
    if (g_batchTexture == texture) g_batchTexture = nullptr;
}

// The device cache starts unknown, so the first request of every value reaches the device.
void GR_D3D_InitDrawing() {
    Frame_State().GR_DeviceGlobals.frameDepth = 0;
    Profiler_Init();
    GR_D3D_InvalidateDeviceCache();
    FILE* file = std::fopen("font.png", "rb");
    if (!file) return;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    size_t n = 0;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    GR_D3D_FreeTexture(g_fontTexture);
    g_fontTexture = GR_D3D_CreateTexturePage(bytes.data(), bytes.size(), nullptr, 6, 0);
}

// The vertex formats' device objects go first, while the device lives.
void GR_D3D_QuitDrawing() {
    VertexFormat_Clear();
    GR_D3D_PopAllRenderTargets();
    GR_D3D_FreeTexture(g_fontTexture);
    g_fontTexture = nullptr;
    Profiler_ReleaseDevice();
    for (TBatchBuffer* b = g_poolHead; b;) {
        TBatchBuffer* next = b->next;
        b->Release();
        delete b;
        b = next;
    }
    g_poolHead = g_poolTail = g_current = nullptr;
    g_batchKind = -1;
    g_batchTexture = nullptr;
    GR_D3D_ReleaseDevice();
}

int GR_Batch_PoolSize() {
    int n = 0;
    for (const TBatchBuffer* b = g_poolHead; b; b = b->next)
        ++n;
    return n;
}

uint64_t GR_Batch_FrameCounter() {
    return g_frameCounter;
}

uint64_t GR_Batch_Serial() {
    return g_batchSerial;
}
