#include "graphics/vertex/vertex_buffer.h"

#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/vertex_format.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

std::vector<TVertexBuffer*> g_buffers;

void FreeDevice(TVertexBuffer* buffer) {
    if (!buffer->device) return;
    buffer->device->Release();
    delete buffer->device;
    buffer->device = nullptr;
}

void FreeBuffer(TVertexBuffer* buffer) {
    FreeDevice(buffer);
    std::free(buffer->data);
    delete buffer;
}

// Complete vertices of the ended format that the memory copy holds.
uint32_t DrawableVertices(const TVertexBuffer* buffer) {
    const uint32_t stride = buffer->ended ? buffer->ended->stride : 0;
    return stride == 0 ? 0 : std::min(buffer->vertexCount, buffer->capacity / stride);
}

} // namespace

int VertexBuffer_Create(uint32_t capacity) {
    capacity = std::min(capacity, VERTEX_BUFFER_MAX_BYTES);
    auto* buffer = new TVertexBuffer();
    buffer->data = static_cast<uint8_t*>(std::calloc(capacity ? capacity : 1, 1));
    buffer->capacity = capacity;
    auto free = std::find(g_buffers.begin(), g_buffers.end(), nullptr);
    if (free == g_buffers.end()) {
        const size_t old = g_buffers.size();
        g_buffers.resize(old == 0 ? 32 : old * 2, nullptr);
        free = g_buffers.begin() + static_cast<std::ptrdiff_t>(old);
    }
    *free = buffer;
    return static_cast<int>(free - g_buffers.begin());
}

TVertexBuffer* VertexBuffer_Get(int64_t handle) {
    return handle >= 0 && handle < static_cast<int64_t>(g_buffers.size()) ? g_buffers[static_cast<size_t>(handle)]
                                                                           : nullptr;
}

bool VertexBuffer_Delete(int64_t handle) {
    TVertexBuffer* buffer = VertexBuffer_Get(handle);
    if (!buffer) return false;
    FreeBuffer(buffer);
    g_buffers[static_cast<size_t>(handle)] = nullptr;
    return true;
}

bool VertexBuffer_Reserve(TVertexBuffer* buffer, uint32_t needed) {
    const uint64_t end = static_cast<uint64_t>(buffer->writeOffset) + needed;
    if (buffer->capacity >= end) return true;
    const uint64_t grown = std::max<uint64_t>(static_cast<uint64_t>(buffer->capacity) + buffer->capacity / 2 + needed, end);
    if (grown > VERTEX_BUFFER_MAX_BYTES) return false;
    auto* data = static_cast<uint8_t*>(std::realloc(buffer->data, static_cast<size_t>(grown)));
    if (!data) return false;
    std::memset(data + buffer->capacity, 0, static_cast<size_t>(grown - buffer->capacity));
    buffer->data = data;
    buffer->capacity = static_cast<uint32_t>(grown);
    return true;
}

void VertexBuffer_Submit(TVertexBuffer* buffer, int kind, int64_t texture) {
    const int id = Texture_FromValue(texture);
    TDeviceTexture* deviceTexture = id >= 0 ? Texture_Get(id) : nullptr;
    const TVertexFormat* format = buffer->ended;
    if (!format || !format->declaration) return;
    if (buffer->frozen) {
        if (!buffer->device || !GR_BufferStillValid()) {
            FreeDevice(buffer);
            if (!VertexBuffer_Freeze(buffer)) return;
        }
        GR_DrawVertexBuffer(kind, buffer->device->capacity, deviceTexture, buffer->device);
        return;
    }
    const uint32_t count = DrawableVertices(buffer);
    void* vertices = Graphics::AllocVerts(kind, deviceTexture, static_cast<int>(format->handle), static_cast<int>(count));
    if (vertices) std::memcpy(vertices, buffer->data, static_cast<size_t>(count) * format->stride);
}

bool VertexBuffer_Freeze(TVertexBuffer* buffer) {
    const uint32_t count = DrawableVertices(buffer);
    if (count == 0 || !Frame_State().GR_D3DDevice) return false;
    auto* device = new TBatchBuffer{};
    device->Create(buffer->ended->handle, static_cast<int>(count), 0);
    device->Upload(buffer->data, static_cast<size_t>(count) * buffer->ended->stride);
    buffer->device = device;
    buffer->frozen = 1;
    return true;
}

void VertexBuffer_Clear() {
    for (TVertexBuffer*& buffer : g_buffers) {
        if (buffer) FreeBuffer(buffer);
        buffer = nullptr;
    }
    g_buffers.clear();
}
