#include "world/view.h"

#include "core/convert.h"
#include "io/window.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"

#include <algorithm>

namespace {

// The instance a view follows: an instance id, or the first present instance of an object (its own or
// a descendant's); null when there is none.
CInstance* Followed(int32_t object) {
    if (object >= kFirstInstanceId) {
        CInstance* instance = Instance_Find(object);
        return instance && instance->Present() ? instance : nullptr;
    }
    CObject* data = object >= 0 ? Object_Data(object) : nullptr;
    if (!data) return nullptr;
    for (ObjectInstanceNode* node = data->allInstances.first; node; node = node->next)
        if (node->value->Present()) return node->value;
    return nullptr;
}

// One axis of the following: the view's new start for an instance at position p.
int32_t Follow(int32_t p, int32_t start, int32_t size, int32_t border, int32_t roomSize, int32_t speed) {
    int32_t n = start;
    if (Wrap_Mul32(2, border) < size) {
        if (Wrap_Sub32(p, border) < start) n = Wrap_Sub32(p, border);
        else if (Wrap_Add32(p, border) > Wrap_Add32(start, size)) n = Wrap_Sub32(Wrap_Add32(p, border), size);
    } else {
        n = Wrap_Sub32(p, size / 2);
    }
    if (n < 0) n = 0;
    if (Wrap_Add32(n, size) > roomSize) n = Wrap_Sub32(roomSize, size);
    if (speed >= 0) {
        if (n < start && Wrap_Sub32(start, n) > speed) n = Wrap_Sub32(start, speed);
        if (n > start && Wrap_Sub32(n, start) > speed) n = Wrap_Add32(start, speed);
    }
    return n;
}

} // namespace

void CRoom::UpdateViews() {
    if (!viewsEnabled) {
        for (int v = 0; v < kRoomViewCount; ++v)
            Window_ClearViewPort(v);
        return;
    }
    for (CView& view : views) {
        if (!view.visible) continue;
        CInstance* instance = Followed(view.object);
        if (!instance) continue;
        if (instance->bboxStale) instance->ComputeBoundingBox();
        const int32_t ix = Instance_RoundCoordinate(instance->x);
        const int32_t iy = Instance_RoundCoordinate(instance->y);
        const int32_t nx = Follow(ix, view.viewX, view.viewW, view.hborder, width, view.hspeed);
        const int32_t ny = Follow(iy, view.viewY, view.viewH, view.vborder, height, view.vspeed);
        view.viewX = nx;
        view.viewY = ny;
    }
    for (int v = 0; v < kRoomViewCount; ++v) {
        Window_ClearViewPort(v);
        const CView& view = views[v];
        if (!view.visible) continue;
        Window_SetViewPort(v, static_cast<float>(view.portX), static_cast<float>(view.portY),
                           static_cast<float>(view.portW), static_cast<float>(view.portH),
                           static_cast<float>(view.viewX), static_cast<float>(view.viewY),
                           static_cast<float>(view.viewW), static_cast<float>(view.viewH), view.angle,
                           view.surfaceId);
    }
    // The ports' extent fills the screen whatever the window's size, so that a room change never leaves
    // part of the screen to the room before; the mouse is mapped back through the same factors.
    int32_t extentW = 0, extentH = 0;
    PortsExtent(extentW, extentH);
    WindowDeviceState& device = Window_State().Window_DeviceState;
    device.scaleX = static_cast<float>(static_cast<double>(Window_GetGameWidth()) / extentW);
    device.scaleY = static_cast<float>(static_cast<double>(Window_GetGameHeight()) / extentH);
}
