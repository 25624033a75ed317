#include "graphics/3d/recorder.h"

#include "device/device.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/transform.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

// Appends the vertices at the given indexes of v (with their marks) to a list.
void Append(RecorderList& list, const Vertex36* v, const uint8_t* marks, const int* indexes, int m) {
    const int before = list.count;
    list.vertices = GraphicsRecorder_GrowVertices(list.vertices, list.capacity, list.count, m);
    if (list.count != before + m) return;
    list.drawColour.resize(static_cast<size_t>(list.count));
    for (int k = 0; k < m; ++k) {
        list.vertices[before + k] = v[indexes[k]];
        list.drawColour[static_cast<size_t>(before + k)] = marks ? marks[indexes[k]] : 0;
    }
}

void ReleaseBuffer(RecorderList& list) {
    if (list.buffer) list.buffer->Release();
    list.buffer = nullptr;
}

void Recolour(RecorderList& list, uint32_t to) {
    for (int i = 0; i < list.count; ++i)
        if (list.drawColour[static_cast<size_t>(i)]) list.vertices[i].colour = to;
}

// Draws a list of the given kind from its device buffer, made first when there is none.
void DrawList(RecorderList& list, uint32_t kind, int primitives) {
    if (!list.vertices || primitives < 1) return;
    if (!list.buffer) {
        list.vertices = GraphicsRecorder_GrowVertices(list.vertices, list.capacity, list.count, -1);
        list.buffer = CreateVertexBufferFromVerts(list.vertices, list.count);
        if (!list.buffer) return;
    }
    Frame_State().GR_D3DDevice->SetStreamSource(0, list.buffer, 0, sizeof(Vertex36));
    Frame_State().GR_D3DDevice->SetFVF(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    Frame_State().GR_D3DDevice->DrawPrimitive(kind, 0, static_cast<uint32_t>(primitives));
}

} // namespace

// Strips and fans become lists: the indexes of the vertices each list receives, in order.
void GraphicsRecorder_AddPrimitive(GraphicsRecorder* recorder, int kind, int n, const Vertex36* v,
                                   const uint8_t* drawColour) {
    if (!recorder || !v || n <= 0) return;
    std::vector<int> order;
    RecorderList* list = &recorder->points;
    switch (kind) {
    case D3DPT_LINELIST:
    case D3DPT_TRIANGLELIST:
        list = kind == D3DPT_LINELIST ? &recorder->lines : &recorder->triangles;
        for (int i = 0; i < n; ++i)
            order.push_back(i);
        break;
    case D3DPT_LINESTRIP:
        list = &recorder->lines;
        for (int i = 0; i + 1 < n; ++i)
            order.insert(order.end(), {i, i + 1});
        break;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        list = &recorder->triangles;
        for (int i = 0; i + 2 < n; ++i) {
            if (kind == D3DPT_TRIANGLEFAN) order.insert(order.end(), {0, i + 1, i + 2});
            else if (i % 2 == 0) order.insert(order.end(), {i, i + 1, i + 2});
            else order.insert(order.end(), {i + 2, i + 1, i});
        }
        break;
    default:
        for (int i = 0; i < n; ++i)
            order.push_back(i);
        break;
    }
    if (!order.empty()) Append(*list, v, drawColour, order.data(), static_cast<int>(order.size()));
}

Vertex36* GraphicsRecorder_GrowVertices(Vertex36* vertices, int& capacity, int& count, int n) {
    if (n == -1) {
        if (capacity == count) return vertices;
        auto* fitted = static_cast<Vertex36*>(std::malloc(sizeof(Vertex36) * static_cast<size_t>(count > 0 ? count : 1)));
        if (!fitted) return vertices;
        if (count > 0) std::memcpy(fitted, vertices, sizeof(Vertex36) * static_cast<size_t>(count));
        std::free(vertices);
        capacity = count;
        return fitted;
    }
    if (n <= 0 || count > INT_MAX / 2 - n) return vertices;
    if (capacity < count + n) {
        int grown = capacity == 0 ? n : capacity;
        while (grown < count + n)
            grown *= 2;
        auto* larger = static_cast<Vertex36*>(std::malloc(sizeof(Vertex36) * static_cast<size_t>(grown)));
        if (!larger) return vertices;
        if (count > 0) std::memcpy(larger, vertices, sizeof(Vertex36) * static_cast<size_t>(count));
        std::free(vertices);
        vertices = larger;
        capacity = grown;
    }
    count += n;
    return vertices;
}

void GraphicsRecorder_Recolour(GraphicsRecorder* recorder, uint32_t colour) {
    if (!recorder || (recorder->colour & 1u)) return;
    const uint32_t to = colour & ~1u;
    for (RecorderList* list : {&recorder->triangles, &recorder->lines, &recorder->points})
        Recolour(*list, to);
    Model_FreeBuffers(recorder);
    recorder->colour = to;
}

// The batcher binds its own stream and format for every batch it draws, so nothing of it needs clearing
// after these draws.
void GraphicsRecorder_Draw(GraphicsRecorder* recorder, float x, float y, float z) {
    if (!recorder || !Frame_State().GR_D3DDevice) return;
    Graphics::Flush();
    float world[16], translation[16], moved[16];
    Graphics::GetMatrix(2, world);
    Matrix_BuildIdentity(translation);
    translation[12] = x;
    translation[13] = y;
    translation[14] = z;
    Matrix_Multiply(moved, translation, world);
    Graphics::SetMatrix(2, moved);
    const bool repeat = Graphics::GetRepeat();
    Graphics::SetRepeat(true);
    GR_D3D_SetTexture(Batcher_State().GR_BaseTextureStage, recorder->texture);
    // The repeat request reaches the device before these draws, which bypass the batch.
    Graphics::Flush();
    DrawList(recorder->triangles, D3DPT_TRIANGLELIST, recorder->triangles.count / 3);
    DrawList(recorder->lines, D3DPT_LINELIST, recorder->lines.count / 2);
    DrawList(recorder->points, D3DPT_POINTLIST, recorder->points.count);
    Graphics::SetRepeat(repeat);
    Graphics::SetMatrix(2, world);
}

void Model_FreeBuffers(GraphicsRecorder* recorder) {
    if (!recorder) return;
    for (RecorderList* list : {&recorder->triangles, &recorder->lines, &recorder->points})
        ReleaseBuffer(*list);
}

CD3DVertexBuffer* CreateVertexBufferFromVerts(const Vertex36* vertices, int n) {
    if (!Frame_State().GR_D3DDevice || !vertices || n <= 0) return nullptr;
    const uint64_t bytes = sizeof(Vertex36) * static_cast<uint64_t>(n);
    if (bytes > UINT32_MAX) return nullptr;
    CD3DVertexBuffer* buffer = nullptr;
    const uint32_t pool = Frame_State().GR_DeviceGlobals.poolFlag ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
    if (Frame_State().GR_D3DDevice->CreateVertexBuffer(
            static_cast<uint32_t>(bytes), D3DUSAGE_WRITEONLY,
            D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1, pool, &buffer) != D3D_OK)
        return nullptr;
    uint8_t* data = nullptr;
    if (buffer->Lock(0, static_cast<uint32_t>(bytes), &data, 0) != D3D_OK) {
        buffer->Release();
        return nullptr;
    }
    std::memcpy(data, vertices, static_cast<size_t>(bytes));
    buffer->Unlock();
    return buffer;
}

void GraphicsRecorder_Free(GraphicsRecorder* recorder) {
    if (!recorder) return;
    Model_FreeBuffers(recorder);
    for (RecorderList* list : {&recorder->triangles, &recorder->lines, &recorder->points}) {
        std::free(list->vertices);
        *list = RecorderList{};
    }
}
