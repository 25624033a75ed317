// The shown virtual keys of the input layer, drawn over the frame as white rectangles in screen space,
// scaled from the GUI size to the window.
#include "graphics/frame/batcher.h"
#include "graphics/frame/profiler.h"
#include "io/input.h"

void IO_DrawVirtualKeys() {
    int shown = 0;
    for (const IOVirtualKey& r : Input_State().IO_State.virtualKeys)
        shown += (r.flags & kVirtualKeyShown) ? 1 : 0;
    if (shown == 0) return;
    struct Vertex {
        float x, y, z;
        uint32_t colour;
        float u, v;
    };
    double sx = 1.0;
    double sy = 1.0;
    IO_VirtualKeyScale(sx, sy);
    Overlay_BeginDraw();
    static_assert(sizeof(Vertex) == 24, "position, colour and texture coordinate");
    // A triangle list (kind 4) without a texture.
    auto* v = static_cast<Vertex*>(Graphics::AllocVerts(4, nullptr, sizeof(Vertex), shown * 6));
    if (v) {
        for (const IOVirtualKey& r : Input_State().IO_State.virtualKeys) {
            if (!(r.flags & kVirtualKeyShown)) continue;
            const float x1 = static_cast<float>(r.x1 / sx);
            const float y1 = static_cast<float>(r.y1 / sy);
            const float x2 = static_cast<float>(r.x2 / sx);
            const float y2 = static_cast<float>(r.y2 / sy);
            const float corners[6][2] = {{x1, y1}, {x2, y1}, {x2, y2}, {x2, y2}, {x1, y2}, {x1, y1}};
            for (const auto& c : corners)
                *v++ = Vertex{c[0], c[1], 0.5f, 0xFFFFFFFFu, 0.0f, 0.0f};
        }
    }
    Overlay_EndDraw();
}
