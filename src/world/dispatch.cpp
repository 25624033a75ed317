#include "world/dispatch.h"

#include "core/convert.h"
#include "ext/services.h"
#include "graphics/sprite/sprite.h"
#include "io/input.h"
#include "io/window.h"
#include "library/data_structures.h"
#include "net/async_requests.h"
#include "world/event.h"
#include "world/game_values.h"
#include "world/instance.h"
#include "world/object.h"
#include "world/room.h"
#include "world/timeline.h"

#include <algorithm>
#include <unordered_map>

namespace {

constexpr int kListNumbers = 256;
std::vector<int> g_lists[kEventTypeCount][kListNumbers];
std::vector<std::pair<int, int>> g_pairs;
const std::vector<int> kNoObjects;

// An event run by a stage may rebuild the lists (object_set_parent, object_event_clear): the lists being
// walked are then kept, whole, until the last walk ends, and the walk goes on over them. Moving a vector
// keeps its elements where they are, so the walk's iterators stay good.
int g_walks = 0;
std::vector<std::vector<int>> g_retiredLists;
std::vector<std::vector<std::pair<int, int>>> g_retiredPairs;

struct ListWalk {
    ListWalk() { ++g_walks; }
    ~ListWalk() {
        if (--g_walks > 0) return;
        g_retiredLists.clear();
        g_retiredPairs.clear();
    }
    ListWalk(const ListWalk&) = delete;
    ListWalk& operator=(const ListWalk&) = delete;
};

// Calls visit for each object listed for (type, number).
template <typename Visit> void ForEachListed(int type, int number, Visit visit) {
    ListWalk walk;
    for (int objectIndex : Object_EventList(type, number))
        visit(objectIndex);
}

// Empties a list, or retires it while lists are walked.
template <typename T> void DropList(std::vector<T>& list, std::vector<std::vector<T>>& retired) {
    if (g_walks > 0 && !list.empty())
        retired.push_back(std::move(list));
    std::vector<T>().swap(list);
}

int32_t g_mouseX = 0, g_mouseY = 0;
int32_t g_previousMouseX = 0, g_previousMouseY = 0;

// The highest number filled for each event type; -1 for types raised directly (create, destroy) or
// never dispatched. Draw events are raised directly too, but the list of the GUI draw (64) tells whether
// any object has one.
int ListedUpTo(int type) {
    switch (type) {
    case ev_draw: return 64;
    case ev_alarm: return 12;
    case ev_step: return 16;
    case ev_keyboard:
    case ev_mouse:
    case ev_other:
    case ev_keypress:
    case ev_keyrelease: return 128;
    default: return -1;
    }
}

// Starts a stage (or one object of a stage): the stamp moves on, and instances stamped after the value
// it had are skipped.
uint64_t RenewStamp() {
    return Instance_State().DispatchStamp++;
}

bool Eligible(const CInstance* instance, uint64_t stamp) {
    return instance->Present() && instance->creationStamp <= stamp;
}

// Brings the node and the instance that the list's hint names at position k (if any) into the cache.
void PrefetchOwn(const ObjectInstanceList& list, size_t k) {
    if (k >= list.order.size()) return;
    __builtin_prefetch(list.order[k].first);
    RoomList_PrefetchInstance(list.order[k].second);
}

// Calls visit for each eligible instance of the object's own list, the next one taken before the call.
// With record, the walk also writes the list's hint anew.
template <typename Visit>
void ForEachOwn(int objectIndex, uint64_t stamp, Visit visit, bool record = false) {
    CObject* object = Object_Data(objectIndex);
    if (!object) return;
    ObjectInstanceList& list = object->instances;
    size_t k = 0;
    for (ObjectInstanceNode* node = list.first; node; ++k) {
        ObjectInstanceNode* next = node->next;
        PrefetchOwn(list, k + kPrefetchAhead);
        if (record) Hint_Put(list.order, k, {node, node->value});
        if (Eligible(node->value, stamp)) visit(node->value);
        node = next;
    }
    if (record) Hint_End(list.order, k);
}

// The common pattern with one stamp for the stage.
void ListStage(int type, int number) {
    const uint64_t stamp = RenewStamp();
    ForEachListed(type, number, [&](int objectIndex) {
        ForEachOwn(objectIndex, stamp, [&](CInstance* i) { PerformInstanceEvent(i, i, type, number); }, true);
    });
}

// The mouse pattern: a stamp per listed object; local events only reach instances under the mouse.
void MouseStage(int number, bool local) {
    ForEachListed(ev_mouse, number, [&](int objectIndex) {
        const uint64_t stamp = RenewStamp();
        ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
            if (!local || i->CollisionPoint(static_cast<float>(g_mouseX), static_cast<float>(g_mouseY), true))
                PerformInstanceEvent(i, i, ev_mouse, number);
        });
    });
}

bool HasMask(const CInstance* i) {
    return Sprite_Exists(i->sprite_index) || Sprite_Exists(i->mask_index);
}

// Outside-room and outside-view test of a position or a bounding box against (left, top, right, bottom).
bool Outside(const CInstance* i, int left, int top, int right, int bottom) {
    if (!HasMask(i)) return i->x < left || i->x > right || i->y < top || i->y > bottom;
    return i->bbox_right < left || i->bbox_left > right || i->bbox_bottom < top || i->bbox_top > bottom;
}

// Boundary test: outside by position, or the bounding box not wholly inside.
bool CrossesBoundary(const CInstance* i, int left, int top, int right, int bottom) {
    if (!HasMask(i)) return i->x < left || i->x > right || i->y < top || i->y > bottom;
    return !(i->bbox_left >= left && i->bbox_right <= right && i->bbox_top >= top && i->bbox_bottom <= bottom);
}

template <typename Test>
void BoundaryStage(int number, Test test) {
    const uint64_t stamp = RenewStamp();
    ForEachListed(ev_other, number, [&](int objectIndex) {
        ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
            if (i->bboxStale) i->ComputeBoundingBox();
            if (test(i)) PerformInstanceEvent(i, i, ev_other, number);
        });
    });
}

} // namespace

// Each list holds, in index order, the objects that find a handler for its (type, number) in their own
// events or their ancestors' (CObject::FindEvent), read from the chains' events instead of asking every
// object about every number. A collision handler of x for object n applies to n and to every descendant
// of n, so the pairs are x with each of those, gathered, then sorted into index order without repeats.
void Object_CreateEventLists() {
    Object_Lists_Free();
    std::vector<CObject*> objects;
    Object_ForEach([&](CObject* object) { objects.push_back(object); });
    std::sort(objects.begin(), objects.end(), [](CObject* a, CObject* b) { return a->index < b->index; });
    std::unordered_map<int, std::vector<int>> descendants; // by object index, the object itself first
    for (CObject* object : objects) {
        for (const CObject* o = object; o; o = o->SearchParent()) {
            descendants[o->index].push_back(object->index);
            for (int type = 0; type < kEventTypeCount; ++type) {
                const int last = std::min(ListedUpTo(type), o->events[type].count - 1);
                for (int number = 0; number <= last; ++number) {
                    if (!o->GetEvent(type, number)) continue;
                    std::vector<int>& list = g_lists[type][number];
                    if (list.empty() || list.back() != object->index) list.push_back(object->index);
                }
            }
        }
    }
    for (CObject* object : objects) {
        for (const CObject* o = object; o; o = o->SearchParent()) {
            for (int number = 0; number < o->events[ev_collision].count; ++number) {
                if (!o->GetEvent(ev_collision, number)) continue;
                auto found = descendants.find(number);
                if (found == descendants.end()) continue;
                for (int other : found->second)
                    g_pairs.emplace_back(std::min(object->index, other), std::max(object->index, other));
            }
        }
    }
    std::sort(g_pairs.begin(), g_pairs.end());
    g_pairs.erase(std::unique(g_pairs.begin(), g_pairs.end()), g_pairs.end());
}

void Object_Lists_Free() {
    for (auto& type : g_lists)
        for (auto& list : type)
            DropList(list, g_retiredLists);
    DropList(g_pairs, g_retiredPairs);
}

const std::vector<int>& Object_EventList(int type, int number) {
    if (type < 0 || type >= kEventTypeCount || number < 0 || number >= kListNumbers) return kNoObjects;
    return g_lists[type][number];
}

const std::vector<std::pair<int, int>>& Object_CollisionPairs() {
    return g_pairs;
}

void Dispatch_Step(int number) {
    ListStage(ev_step, number);
}

void Dispatch_Alarms() {
    const uint64_t stamp = RenewStamp();
    for (int k = 0; k < kAlarmCount; ++k)
        ForEachListed(ev_alarm, k, [&](int objectIndex) {
            ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
                if (i->alarm[k] < 0) return;
                if (--i->alarm[k] == 0) PerformInstanceEvent(i, i, ev_alarm, k);
            });
        });
}

void Dispatch_Timelines() {
    if (!Room_State().Run_Room) return;
    const uint64_t stamp = RenewStamp();
    for (CInstance* i = Room_State().Run_Room->active.first; i;) {
        CInstance* next = i->next;
        CTimeLine* line = Eligible(i, stamp) && i->timeline_running && i->timeline_speed != 0.0f
                              ? TimeLine_Get(i->timeline_index)
                              : nullptr;
        if (line && line->GetMomentCount() > 0) {
            const int timeline = i->timeline_index;
            const double position = i->timeline_position;
            const float moved = static_cast<float>(position + static_cast<double>(i->timeline_speed));
            if (i->timeline_speed > 0) {
                const int a = line->FindFirstAtOrAfter(position);
                i->timeline_position = moved;
                const int b = line->FindFirstAtOrAfter(moved);
                for (int m = a; m < b; ++m)
                    PerformTimelineMoment(i, i, timeline, m);
                // The moments may have changed the timeline: read it again.
                line = TimeLine_Get(timeline);
                if (i->timeline_loop && line && line->GetMomentCount() > 0 &&
                    i->timeline_position > line->GetStep(line->GetMomentCount() - 1))
                    i->timeline_position = 0;
            } else {
                const int a = line->FindLastAtOrBefore(position);
                i->timeline_position = moved;
                const int b = line->FindLastAtOrBefore(moved);
                for (int m = a; m > b; --m)
                    PerformTimelineMoment(i, i, timeline, m);
                line = TimeLine_Get(timeline);
                if (i->timeline_loop && line && line->GetMomentCount() > 0 && i->timeline_position < 0)
                    i->timeline_position = static_cast<float>(line->GetStep(line->GetMomentCount() - 1));
            }
        }
        i = next;
    }
}

void Dispatch_KeyboardAll() {
    const IOInputCopy& keys = Input_State().IO_State.game;
    bool down = false, pressed = false, released = false;
    for (int k = 8; k < kIOKeyCount; ++k) {
        if (keys.keyDown[k] || keys.keyPressed[k]) {
            ListStage(ev_keyboard, k);
            down = true;
        }
        if (keys.keyPressed[k]) {
            ListStage(ev_keypress, k);
            pressed = true;
        }
        if (keys.keyReleased[k]) {
            ListStage(ev_keyrelease, k);
            released = true;
        }
    }
    ListStage(ev_keyboard, down ? 1 : 0);
    ListStage(ev_keypress, pressed ? 1 : 0);
    ListStage(ev_keyrelease, released ? 1 : 0);
}

// The stage runs while the window is visible; window_get_visible is always true here (a game cannot
// hide its window on this platform), so it always runs.
void Dispatch_Mouse() {
    g_previousMouseX = g_mouseX;
    g_previousMouseY = g_mouseY;
    g_mouseX = Window_GetMouseRoomX(0);
    g_mouseY = Window_GetMouseRoomY(0);
    bool any = false;
    for (int b = 1; b <= 3; ++b)
        if (IO_MouseCheck(b, 0)) {
            any = true;
            MouseStage(b - 1, true);
            MouseStage(49 + b, false);
        }
    if (!any) MouseStage(3, true);
    for (int b = 1; b <= 3; ++b)
        if (IO_MouseCheckPressed(b, 0)) {
            MouseStage(b + 3, true);
            MouseStage(12, false);
            MouseStage(52 + b, false);
        }
    for (int b = 1; b <= 3; ++b)
        if (IO_MouseCheckReleased(b, 0)) {
            MouseStage(b + 6, true);
            MouseStage(13, false);
            MouseStage(55 + b, false);
        }
    const float x = static_cast<float>(g_mouseX), y = static_cast<float>(g_mouseY);
    const float px = static_cast<float>(g_previousMouseX), py = static_cast<float>(g_previousMouseY);
    ForEachListed(ev_mouse, 10, [&](int objectIndex) {
        const uint64_t stamp = RenewStamp();
        ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
            if (i->CollisionPoint(x, y, true) && !i->CollisionPoint(px, py, true))
                PerformInstanceEvent(i, i, ev_mouse, 10);
        });
    });
    ForEachListed(ev_mouse, 11, [&](int objectIndex) {
        const uint64_t stamp = RenewStamp();
        ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
            if (i->CollisionPoint(px, py, true) && !i->CollisionPoint(x, y, true))
                PerformInstanceEvent(i, i, ev_mouse, 11);
        });
    });
    if (IO_MouseWheelUp(0)) MouseStage(60, false);
    if (IO_MouseWheelDown(0)) MouseStage(61, false);
}

// Joysticks come with the gamepad layer; until it exists no joystick answers, so this stage raises
// nothing.
void Dispatch_Joysticks() {}

void Dispatch_Boundaries() {
    if (!Room_State().Run_Room) return;
    const int w = Room_State().Run_Room->width, h = Room_State().Run_Room->height;
    {
        const uint64_t stamp = RenewStamp();
        ForEachListed(ev_other, 0, [&](int objectIndex) {
            ForEachOwn(objectIndex, stamp, [&](CInstance* i) {
                if (i->bboxStale) i->ComputeBoundingBox();
                if (!Outside(i, 0, 0, w, h)) {
                    i->outside = 0;
                    return;
                }
                const bool was = i->outside != 0;
                i->outside = 1;
                if (!was) PerformInstanceEvent(i, i, ev_other, 0);
            });
        });
    }
    BoundaryStage(1, [&](CInstance* i) { return CrossesBoundary(i, 0, 0, w, h); });
    for (int pass = 0; pass < 2; ++pass)
        for (int v = 0; v < kRoomViewCount; ++v) {
            if (!Room_State().Run_Room || !Room_State().Run_Room->viewsEnabled ||
                !Room_State().Run_Room->views[v].visible) {
                RenewStamp();
                continue;
            }
            const CView& view = Room_State().Run_Room->views[v];
            const int left = view.viewX, top = view.viewY;
            const int right = Wrap_Add32(view.viewX, view.viewW), bottom = Wrap_Add32(view.viewY, view.viewH);
            if (pass == 0)
                BoundaryStage(40 + v, [&](CInstance* i) { return Outside(i, left, top, right, bottom); });
            else
                BoundaryStage(50 + v, [&](CInstance* i) { return CrossesBoundary(i, left, top, right, bottom); });
        }
}

void Dispatch_Async(int number) {
    if (!((number >= 60 && number <= 64) || number == 67 || number == 69 || number == 70 || number == 71)) return;
    ListStage(ev_other, number);
}

void Dispatch_AsyncEvent(int number, int map) {
    GameValues_State().AsyncLoad_Index = map;
    if (number >= 60) Dispatch_Async(number);
    if (GameValues_State().AsyncLoad_Index >= 0) DS_Map_Destroy(GameValues_State().AsyncLoad_Index);
    GameValues_State().AsyncLoad_Index = -1;
}

void Dispatch_AsyncQueue() {
    Services_DispatchPendingEvent();
    Services_RunQueuedCallbacks();
    HTTP_PollThreads();
    for (HTTP_REQ_CONTEXT* request = HTTP_State().HTTP_RequestList; request;) {
        if (!(request->active && request->state == HTTP_STATE_DONE)) {
            request = request->next;
            continue;
        }
        // Unlink it, run its completion and its event, then start again at the head.
        HTTP_REQ_CONTEXT** link = &HTTP_State().HTTP_RequestList;
        while (*link != request)
            link = &(*link)->next;
        *link = request->next;
        GameValues_State().AsyncLoad_Index = -1;
        const int32_t number = request->completion ? request->completion(request, request->user,
                                                                         &GameValues_State().AsyncLoad_Index)
                                                   : 0;
        Dispatch_AsyncEvent(number, GameValues_State().AsyncLoad_Index);
        if (request->cleanup) request->cleanup(request);
        delete request;
        request = HTTP_State().HTTP_RequestList;
    }
}

void Dispatch_Collisions() {
    ListWalk walk;
    for (const auto& pair : Object_CollisionPairs()) {
        // Named copies: lambdas cannot capture structured bindings in every compiler this builds with.
        const auto a = pair.first;
        const auto b = pair.second;
        const uint64_t stamp = RenewStamp();
        ForEachOwn(a, stamp, [&](CInstance* i) {
            ForEachOwn(b, stamp, [&](CInstance* j) {
                if (!Eligible(i, stamp) || !Eligible(j, stamp)) return;
                if (!CInstance::CollisionInstance(i, j, true)) return;
                const bool solid = i->solid || j->solid;
                auto back = [&]() {
                    for (CInstance* k : {i, j}) {
                        k->SetPosition(k->xprevious, k->yprevious);
                        k->path_position = k->path_positionprevious;
                    }
                };
                if (solid) back();
                PerformInstanceEvent(i, j, ev_collision, j->object_index);
                PerformInstanceEvent(j, i, ev_collision, i->object_index);
                if (solid) {
                    for (CInstance* k : {i, j}) {
                        k->AdvancePath();
                        k->SetPosition(static_cast<float>(static_cast<double>(k->x) + k->hspeed),
                                       static_cast<float>(static_cast<double>(k->y) + k->vspeed));
                    }
                    if (CInstance::CollisionInstance(i, j, true)) back();
                }
            });
        });
    }
}
