// The draw pass: every visible view of the room (backgrounds, then instances, tiles and particle systems
// from the deepest to the nearest, then foregrounds), the GUI layer and the cursor sprite.
#include "world/room_draw.h"

#include "core/convert.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/surface.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/particles/particles.h"
#include "graphics/sprite/background.h"
#include "graphics/sprite/sprite.h"
#include "io/input.h"
#include "io/window.h"
#include "world/dispatch.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/object.h"
#include "world/room.h"

#include <cmath>
#include <cstdlib>

namespace {

constexpr float kNoParticles = -1e9f;

int WindowWidth() {
    return Window_GetGameWidth();
}
int WindowHeight() {
    return Window_GetGameHeight();
}

// Instances are drawn from the tail of the active list (kept in ascending depth): the deepest first, and
// of equal depths the newest first.
bool Drawable(const CInstance* i) {
    return i->Present() && i->visible;
}

void SetDepth(float depth) {
    GR_D3D_SetDepth(depth > 11000.0f ? 11000.0f : depth);
}

void DrawInstance(CInstance* i) {
    const CObject* object = Object_Data(i->object_index);
    if (object && object->FindEvent(ev_draw, 0)) {
        PerformInstanceEvent(i, i, ev_draw, 0);
        return;
    }
    CSprite* sprite = Sprite_Data(i->sprite_index);
    if (!sprite) return;
    const int frame = X86_DoubleToInt32(std::floor(i->image_index));
    if (i->image_xscale == 1.0f && i->image_yscale == 1.0f && i->image_angle == 0.0f && i->image_blend == 0xFFFFFF &&
        i->image_alpha == 1.0f)
        sprite->DrawSimple(frame, i->x, i->y);
    else
        sprite->Draw(frame, i->x, i->y, i->image_xscale, i->image_yscale, i->image_angle, i->image_blend,
                     i->image_alpha);
}

void DrawTile(const RoomTile& t, const RoomArea& view) {
    if (!t.visible) return;
    CBackground* background = Background_Data(t.background);
    if (!background) return;
    float x1 = t.x, y1 = t.y;
    float x2 = t.x + t.width * t.xscale, y2 = t.y + t.height * t.yscale;
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    if (x2 < static_cast<float>(view.left) || x1 > static_cast<float>(view.right) ||
        y2 < static_cast<float>(view.top) || y1 > static_cast<float>(view.bottom))
        return;
    SetDepth(t.depth);
    background->DrawPart(static_cast<float>(t.left), static_cast<float>(t.top), static_cast<float>(t.width),
                         static_cast<float>(t.height), t.x, t.y, t.xscale, t.yscale, t.blend, t.alpha);
}

// The merge of instances, tiles (when given) and particle systems from the highest depth to the lowest.
void DrawMerged(const RoomArea* view, bool withTiles) {
    CInstance* instance = Room_State().Run_Room->active.last;
    const std::vector<RoomTile>& tiles = Room_State().Run_Room->tiles;
    size_t tile = 0;
    float p = ParticleSystem_MaxDepth();
    auto nextInstance = [&]() {
        while (instance && !Drawable(instance))
            instance = instance->previous;
    };
    for (;;) {
        nextInstance();
        const bool haveTile = withTiles && tile < tiles.size();
        if (!instance && !haveTile && !(p > -1e8f)) return;
        if (p > -1e8f && (!instance || p > instance->depth) && (!haveTile || !(p < tiles[tile].depth))) {
            SetDepth(p);
            ParticleSystem_DrawAtDepth(p);
            p = ParticleSystem_MaxDepthBelow(p);
        } else if (haveTile && (!instance || tiles[tile].depth > instance->depth)) {
            DrawTile(tiles[tile++], *view);
        } else if (instance) {
            CInstance* drawn = instance;
            instance = instance->previous;
            SetDepth(drawn->depth);
            DrawInstance(drawn);
        } else {
            return;
        }
    }
}

void DrawBackgrounds(const RoomArea& area, bool foregrounds) {
    for (const RoomBackground& b : Room_State().Run_Room->backgrounds) {
        if (!b.visible || b.foreground != foregrounds) continue;
        CBackground* background = Background_Data(b.index);
        if (!background) continue;
        background->DrawTiled(b.x, b.y, b.xscale, b.yscale, b.htiled, b.vtiled, static_cast<float>(area.left),
                              static_cast<float>(area.top), static_cast<float>(area.right - area.left),
                              static_cast<float>(area.bottom - area.top), b.blend, b.alpha);
    }
}

// The part of the room a view shows, enlarged to cover it when it is turned.
RoomArea ViewArea(const CView& view) {
    int64_t left = view.viewX, top = view.viewY;
    int64_t right = left + view.viewW, bottom = top + view.viewH;
    if (std::fabs(view.angle) >= 0.001f) {
        left -= view.viewH / 2;
        right += view.viewH / 2;
        top -= view.viewW / 2;
        bottom += view.viewW / 2;
    }
    return RoomArea{left, top, right, bottom};
}

void FullWindowPort() {
    Graphics::Flush();
    Graphics::SetViewPort(0, 0, WindowWidth(), WindowHeight());
}

} // namespace

void Room_DrawInstancesTilesParticles(const RoomArea& area) {
    DrawMerged(&area, true);
}

void Room_DrawInstancesParticles() {
    DrawMerged(nullptr, false);
}

void Room_DrawInstances() {
    const RoomList& active = Room_State().Run_Room->active;
    size_t k = active.order.size();
    for (CInstance* i = active.last; i; k = k > 0 ? k - 1 : 0) {
        CInstance* previous = i->previous;
        if (k > kPrefetchAhead) RoomList_Prefetch(active, k - 1 - kPrefetchAhead);
        if (Drawable(i)) {
            if (Transform_State().GR_Transform.mode3D) SetDepth(i->depth);
            DrawInstance(i);
        }
        i = previous;
    }
}

void Room_DrawView(const RoomArea& area) {
    // Sprites are culled against the area held to the 32 bits of the region.
    Frame_State().View_DrawRegion = IntRect{Saturate_Int32(area.left), Saturate_Int32(area.top),
                                            Saturate_Int32(area.right), Saturate_Int32(area.bottom)};
    if (Transform_State().GR_Transform.mode3D) GR_D3D_ClearDepth();
    if (Room_State().Run_Room->showColour) GR_Draw_ClearAlpha(Room_State().Run_Room->colour, 1.0f);
    GR_D3D_SetDepth(12000.0f);
    DrawBackgrounds(area, false);
    const float p = ParticleSystem_MaxDepth();
    if (!Room_State().Run_Room->tiles.empty())
        Room_DrawInstancesTilesParticles(area);
    else if (Room_State().Run_Room->active.first && p > kNoParticles)
        Room_DrawInstancesParticles();
    else if (Room_State().Run_Room->active.first)
        Room_DrawInstances();
    else Room_DrawInstancesTilesParticles(area);
    GR_D3D_SetDepth(-12000.0f);
    DrawBackgrounds(area, true);
    GR_D3D_SetDepth(-13000.0f);
}

void Room_DrawGUI(const IntRect& rect) {
    Frame_State().View_DrawRegion = rect;
    if (Object_EventList(ev_draw, 64).empty()) return;
    for (CInstance* i = Room_State().Run_Room->active.last; i;) {
        CInstance* previous = i->previous;
        const CObject* object = Object_Data(i->object_index);
        if (Drawable(i) && object && object->FindEvent(ev_draw, 64)) PerformInstanceEvent(i, i, ev_draw, 64);
        i = previous;
    }
}

bool Room_DrawViews() {
    if (!Room_State().Run_Room) return false;
    Room_State().Run_Room->UpdateViews();
    Room_State().Run_Room->SortTiles();
    const int ww = WindowWidth(), wh = WindowHeight();
    // Screen grabs read what the views draw: the game-size screen.
    Window_State().Window_DrawingArea = IntRect{0, 0, ww, wh};
    if (Room_State().Run_Room->viewsEnabled) {
        if (Room_State().Run_Room->clearDisplay) GR_Draw_ClearAlpha(Window_GetColour(), 1.0f);
        for (int v = 0; v < kRoomViewCount && Room_State().Run_Room; ++v) {
            const CView& view = Room_State().Run_Room->views[v];
            if (!view.visible) continue;
            Frame_State().View_Current = v;
            float sx = Window_State().Window_DeviceState.scaleX, sy = Window_State().Window_DeviceState.scaleY;
            bool surface = false;
            if (view.surfaceId != -1) {
                Graphics::Flush();
                if (Surface_Exists(view.surfaceId)) {
                    if (GR_D3D_RenderTargetDepth() > 0) GR_D3D_PopAllRenderTargets();
                    GR_D3D_PushRenderTargets();
                    GR_D3D_SetRenderTarget(0, Texture_Get(Surface_GetTexture(view.surfaceId)));
                    sx = sy = 1.0f;
                    surface = true;
                }
            }
            Graphics::SetViewPort(X86_DoubleToInt32(view.portX * sx), X86_DoubleToInt32(view.portY * sy),
                                  X86_DoubleToInt32(view.portW * sx), X86_DoubleToInt32(view.portH * sy));
            Graphics::SetViewArea(static_cast<float>(view.viewX), static_cast<float>(view.viewY),
                                  static_cast<float>(view.viewW), static_cast<float>(view.viewH), view.angle);
            Room_DrawView(ViewArea(view));
            if (surface) GR_D3D_PopRenderTargets();
        }
        if (!Room_State().Run_Room) return false;
        FullWindowPort();
        Graphics::SetViewArea(0, 0, static_cast<float>(ww), static_cast<float>(wh), 0);
        Frame_State().View_DrawRegion = IntRect{0, 0, ww, wh};
    } else {
        Frame_State().View_Current = 0;
        FullWindowPort();
        Graphics::SetViewArea(0, 0, static_cast<float>(Room_State().Run_Room->width),
                              static_cast<float>(Room_State().Run_Room->height), 0);
        Room_DrawView(RoomArea{0, 0, Room_State().Run_Room->width, Room_State().Run_Room->height});
    }

    const bool was3D = Transform_State().GR_Transform.mode3D;
    GR_D3D_Set3DMode(false);
    const int gw = Window_State().GUI_Size.width >= 0 ? Window_State().GUI_Size.width : ww;
    const int gh = Window_State().GUI_Size.height >= 0 ? Window_State().GUI_Size.height : wh;
    Graphics::SetViewPort(0, 0, ww, wh);
    Graphics::SetViewArea(0, 0, static_cast<float>(gw), static_cast<float>(gh), 0);
    Room_DrawGUI(IntRect{0, 0, gw, gh});

    if (CSprite* cursor = Sprite_Data(GameValues_State().Cursor_Sprite)) {
        int px = 0, py = 0;
        Display_WindowToPort(Input_State().IO_RawMouse.x[0], Input_State().IO_RawMouse.y[0], px, py);
        cursor->Draw(GameValues_State().Run_StepCount, static_cast<float>(px), static_cast<float>(py), 1, 1,
                     0, 0xFFFFFF, 1);
    }
    GR_D3D_Set3DMode(was3D);
    Frame_State().View_Current = 0;
    return true;
}
