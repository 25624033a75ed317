#include "graphics/frame/surface.h"

#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"

#include <vector>

namespace {

struct TSurface {
    int32_t textureId;
    int32_t width;
    int32_t height;
    uint8_t exists;
};
std::vector<TSurface> g_surfaces;

constexpr int kSlots = 4;
int g_target[kSlots] = {-1, -1, -1, -1};
bool g_drawingToSurface = false;

// The view in force when drawing last left the screen.
struct SavedView {
    int portX, portY, portW, portH;
    float x, y, w, h, angle;
};
SavedView g_saved{};
bool g_viewSaved = false;

TSurface* Find(int id) {
    if (id < 0 || static_cast<size_t>(id) >= g_surfaces.size() || !g_surfaces[static_cast<size_t>(id)].exists)
        return nullptr;
    return &g_surfaces[static_cast<size_t>(id)];
}

bool AnySlotSet() {
    for (int surface : g_target)
        if (surface != -1) return true;
    return false;
}

void ClearSlots() {
    for (int& surface : g_target)
        surface = -1;
    g_drawingToSurface = false;
    Transform_State().GR_Transform.surfaceTarget = false;
}

// A record that a flush marked gone still holds its texture.
void ReleaseTexture(TSurface& s) {
    if (s.textureId >= 0) Texture_Free(s.textureId);
    s.textureId = -1;
}

} // namespace

int Surface_Create(int w, int h) {
    size_t id = 0;
    while (id < g_surfaces.size() && g_surfaces[id].exists)
        ++id;
    if (id == g_surfaces.size()) g_surfaces.push_back(TSurface{-1, 0, 0, 0});
    ReleaseTexture(g_surfaces[id]);
    const int texture = Texture_Create(w, h, true);
    if (texture < 0) return -1;
    g_surfaces[id] = TSurface{texture, w, h, 1};
    return static_cast<int>(id);
}

void Surface_Free(int id) {
    Graphics::Flush();
    TSurface* s = Find(id);
    if (!s) return;
    for (int surface : g_target) {
        if (surface == id) {
            Surface_ResetTarget();
            break;
        }
    }
    ReleaseTexture(*s);
    s->exists = 0;
}

void Surface_FreeAll() {
    for (size_t id = 0; id < g_surfaces.size(); ++id) {
        Surface_Free(static_cast<int>(id));
        ReleaseTexture(g_surfaces[id]);
    }
}

bool Surface_Exists(int id) {
    return Find(id) != nullptr;
}

int Surface_GetWidth(int id) {
    const TSurface* s = Find(id);
    return s ? s->width : -1;
}

int Surface_GetHeight(int id) {
    const TSurface* s = Find(id);
    return s ? s->height : -1;
}

int Surface_GetTexture(int id) {
    const TSurface* s = Find(id);
    return s ? s->textureId : -1;
}

bool Surface_SetTargetExt(int slot, int id) {
    if (slot < 0 || slot >= kSlots || !Frame_State().GR_D3DDevice) return false;
    Graphics::Flush();
    const TSurface* s = Find(id);
    if (!s) return false;
    if (g_target[slot] == id) return true;
    TDeviceTexture* texture = Texture_Get(s->textureId);
    if (!texture) return false;
    if (slot == 0 && g_target[0] != -1) Surface_ResetTarget();
    // The screen's view and targets are kept once, when drawing first leaves the screen: a second slot
    // set while another draws into a surface neither overwrites the kept view nor pushes again.
    const bool fromScreen = !AnySlotSet();
    if (fromScreen) {
        SavedView saved{};
        Graphics::GetViewPort(saved.portX, saved.portY, saved.portW, saved.portH);
        Graphics::GetViewArea(saved.x, saved.y, saved.w, saved.h, saved.angle);
        if (!GR_D3D_PushRenderTargets()) return false;
        g_saved = saved;
        g_viewSaved = true;
    }
    if (!GR_D3D_SetRenderTarget(slot, texture)) {
        if (fromScreen) GR_D3D_PopRenderTargets();
        return false;
    }
    if (slot == 0) {
        // The port first: the view area's projection is moved by half a pixel of the port.
        Graphics::SetViewPort(0, 0, s->width, s->height);
        Graphics::SetViewArea(0, 0, static_cast<float>(s->width), static_cast<float>(s->height), 0);
    }
    g_target[slot] = id;
    g_drawingToSurface = true;
    Transform_State().GR_Transform.surfaceTarget = true;
    return true;
}

bool Surface_SetTarget(int id) {
    return Surface_SetTargetExt(0, id);
}

// With no surface set this still pops a level (the frame's own).
bool Surface_ResetTarget() {
    if (!Frame_State().GR_D3DDevice) return false;
    Graphics::Flush();
    if (!GR_D3D_PopRenderTargets()) return false;
    // Nothing was kept before the first surface was ever set: the view stays.
    if (g_viewSaved) {
        Graphics::SetViewPort(g_saved.portX, g_saved.portY, g_saved.portW, g_saved.portH);
        Graphics::SetViewArea(g_saved.x, g_saved.y, g_saved.w, g_saved.h, g_saved.angle);
    }
    ClearSlots();
    return true;
}

int Surface_GetTarget(int slot) {
    return slot >= 0 && slot < kSlots ? g_target[slot] : -1;
}

bool Surface_DrawingToSurface() {
    return g_drawingToSurface;
}

void Surface_ForgetTargets() {
    ClearSlots();
}

void Surface_MarkAllGone() {
    for (TSurface& s : g_surfaces)
        s.exists = 0;
}

IBitmap* Surface_GetBitmap(int id, int x, int y, int w, int h) {
    const TSurface* s = Find(id);
    if (!Frame_State().GR_D3DDevice || !s) return nullptr;
    Graphics::Flush();
    return GR_ImageFromBlock(GR_D3D_ReadTextureRect(Texture_Get(s->textureId), x, y, w, h), w, h);
}
