// The instance and collision built-ins: finding, counting, creating, copying, changing and destroying
// instances, activating and deactivating them, and testing points and shapes against them.
#include "core/convert.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/event.h"
#include "world/game_builtins.h"
#include "world/instance.h"
#include "world/instance_search.h"

#include <vector>

namespace {

void SetResult(ScriptValue& result, double d) {
    Value_SetReal(&result, d);
}
void SetInstanceResult(ScriptValue& result, const CInstance* instance) {
    SetResult(result, instance ? instance->id : INSTANCE_NOONE);
}

// The search of the collision built-ins: the first instance obj names that passes test, skipping self
// when notme is set.
template <typename Test> CInstance* Search(CInstance* self, int obj, bool notme, Test test) {
    return Instances_FindFirst(obj, [&](CInstance* candidate) { return !(notme && candidate == self) && test(candidate); });
}

// -1 and -2 stand for the ids of self and other where a built-in names them so.
int WithCallers(int obj, const CInstance* self, const CInstance* other) {
    if (obj == INSTANCE_SELF) return self ? self->id : INSTANCE_NOONE;
    if (obj == INSTANCE_OTHER) return other ? other->id : INSTANCE_NOONE;
    return obj;
}

bool Present(const CInstance* instance) {
    return instance && instance->Present();
}

// An instance of obj: its object is obj or descends from it.
bool OfObject(const CInstance* instance, int obj) {
    return instance->object_index == obj || (instance->object && instance->object->IsDescendantOf(obj));
}

// ---- Activation

void Deactivate(CInstance* instance) {
    instance->deactivated = 1;
    InstanceArray_AddUnique(DEFERRED_ACTIVATION, instance);
}
void Activate(CInstance* instance) {
    instance->deactivated = 0;
    InstanceArray_AddUnique(DEFERRED_ACTIVATION, instance);
}

// The instances of both room lists that are not marked for removal, collected before any changes.
const std::vector<CInstance*>& ActivationCandidates() {
    static std::vector<CInstance*> candidates;
    candidates.clear();
    if (Room_State().Run_Room) {
        for (RoomList* list : {&Room_State().Run_Room->active, &Room_State().Run_Room->deactivated})
            for (CInstance* instance = list->first; instance; instance = instance->next)
                if (!instance->Marked()) candidates.push_back(instance);
    }
    return candidates;
}

// Deactivates (activate false) the present instances, or activates the deactivated ones, that pass the
// test.
template <typename Test> void ChangeActivation(bool activate, Test test) {
    for (CInstance* instance : ActivationCandidates()) {
        if (activate ? !instance->deactivated : !instance->Present()) continue;
        if (!test(instance)) continue;
        if (activate)
            Activate(instance);
        else
            Deactivate(instance);
    }
}

struct Region {
    float left, top, right, bottom;
};

Region RegionOf(const BuiltInArgs& args) {
    const float left = args.Float(0), top = args.Float(1);
    return Region{left, top, X86_DoubleToFloat(left + args.Real(2)), X86_DoubleToFloat(top + args.Real(3))};
}

// Wholly outside the region: by position without a sprite or mask, else by the bounding box.
bool Outside(CInstance* instance, const Region& r) {
    if (!Sprite_Exists(instance->sprite_index) && !Sprite_Exists(instance->mask_index))
        return instance->x < r.left || instance->x > r.right || instance->y < r.top || instance->y > r.bottom;
    if (instance->bboxStale) instance->ComputeBoundingBox();
    return instance->bbox_right < r.left || instance->bbox_left > r.right || instance->bbox_bottom < r.top ||
           instance->bbox_top > r.bottom;
}

void DeactivateAll(CInstance* self, bool notme) {
    ChangeActivation(false, [](CInstance*) { return true; });
    if (notme && self && !self->Marked()) Activate(self);
}

// ---- Built-ins

BUILTIN_INSTANCE_BODY(collision_point) {
    const float x = args.Float(0), y = args.Float(1);
    const bool precise = args.Flag(3);
    SetInstanceResult(result, Search(self, args.Rounded(2), args.Flag(4), [&](CInstance* candidate) {
                          return candidate->CollisionPoint(x, y, precise);
                      }));
}

// The rectangle, ellipse and line searches: four coordinates, then obj, prec and notme.
template <bool (CInstance::*Shape)(float, float, float, float, bool)>
void ShapeSearch(ScriptValue& result, CInstance* self, const BuiltInArgs& args, float x1, float y1, float x2,
                 float y2, int firstFlag) {
    const bool precise = args.Flag(firstFlag + 1);
    SetInstanceResult(result, Search(self, args.Rounded(firstFlag), args.Flag(firstFlag + 2),
                                     [&](CInstance* candidate) { return (candidate->*Shape)(x1, y1, x2, y2, precise); }));
}

BUILTIN_INSTANCE_BODY(collision_rectangle) {
    ShapeSearch<&CInstance::CollisionRectangle>(result, self, args, args.Float(0), args.Float(1), args.Float(2),
                                                args.Float(3), 4);
}
BUILTIN_INSTANCE_BODY(collision_ellipse) {
    ShapeSearch<&CInstance::CollisionEllipse>(result, self, args, args.Float(0), args.Float(1), args.Float(2),
                                              args.Float(3), 4);
}
BUILTIN_INSTANCE_BODY(collision_line) {
    ShapeSearch<&CInstance::CollisionLine>(result, self, args, args.Float(0), args.Float(1), args.Float(2),
                                           args.Float(3), 4);
}
BUILTIN_INSTANCE_BODY(collision_circle) {
    const double xc = args.Float(0), yc = args.Float(1), radius = args.Float(2);
    auto f = [](double v) { return X86_DoubleToFloat(v); };
    ShapeSearch<&CInstance::CollisionEllipse>(result, self, args, f(xc - radius), f(yc - radius), f(xc + radius),
                                              f(yc + radius), 3);
}

BUILTIN_INSTANCE_BODY(instance_position) {
    const float x = args.Float(0), y = args.Float(1);
    SetInstanceResult(result, Search(self, args.Truncated(2), false, [&](CInstance* candidate) {
                          return candidate->CollisionPoint(x, y, true);
                      }));
}
BUILTIN_INSTANCE_BODY(instance_place) {
    if (!self) return SetInstanceResult(result, nullptr);
    SetInstanceResult(result, Instance_PlaceMeetingFind(self, args.Float(0), args.Float(1), args.Truncated(2)));
}

// The nearest (or furthest) instance of obj from (x, y) by squared distance; ties keep the earlier one.
void ByDistance(ScriptValue& result, const BuiltInArgs& args, bool furthest) {
    const double x = args.Float(0), y = args.Float(1);
    const int obj = args.Truncated(2);
    CInstance* best = nullptr;
    double bestDistance = furthest ? -1.0 : 100000000.0;
    if (obj < kFirstInstanceId) {
        Instances_FindFirst(obj, [&](CInstance* candidate) {
            const double dx = candidate->x - x, dy = candidate->y - y;
            const double d = dx * dx + dy * dy;
            if (furthest ? d > bestDistance : d < bestDistance) {
                best = candidate;
                bestDistance = d;
            }
            return false;
        });
    }
    SetInstanceResult(result, best);
}
BUILTIN_INSTANCE_BODY(instance_nearest) {
    ByDistance(result, args, false);
}
BUILTIN_INSTANCE_BODY(instance_furthest) {
    ByDistance(result, args, true);
}

BUILTIN_INSTANCE_BODY(instance_number) {
    const int obj = args.Rounded(0);
    int count = 0;
    if (obj == INSTANCE_SELF || obj == INSTANCE_OTHER) {
        count = Present(obj == INSTANCE_SELF ? self : other) ? 1 : 0;
    } else {
        Instances_FindFirst(obj, [&](CInstance*) {
            ++count;
            return false;
        });
        // Instances changed into obj during this step are not in its lists yet.
        if (obj >= 0 && obj < kFirstInstanceId) {
            for (int i = 0; i < Deferred_Count(DEFERRED_OBJECT); ++i) {
                const CInstance* changed = Deferred_At(DEFERRED_OBJECT, i);
                if (changed->Present() && changed->object_index == obj) ++count;
            }
        }
    }
    SetResult(result, count);
}

BUILTIN_INSTANCE_BODY(instance_find) {
    int n = args.Truncated(1);
    if (n < 0) return SetInstanceResult(result, nullptr);
    SetInstanceResult(result, Instances_FindFirst(args.Truncated(0), [&](CInstance*) { return n-- == 0; }));
}

BUILTIN_INSTANCE_BODY(instance_exists) {
    const int obj = args.Truncated(0);
    bool exists;
    if (obj == INSTANCE_SELF || obj == INSTANCE_OTHER) {
        exists = Present(obj == INSTANCE_SELF ? self : other);
    } else if (obj < 0 && obj != INSTANCE_ALL) {
        exists = false;
    } else {
        exists = Instances_FindFirst(obj, [](CInstance*) { return true; }) != nullptr;
        // Instances activated during this step are not in their object's lists yet.
        for (int i = 0; !exists && obj < kFirstInstanceId && obj >= 0 && i < Deferred_Count(DEFERRED_ACTIVATION);
             ++i) {
            const CInstance* changed = Deferred_At(DEFERRED_ACTIVATION, i);
            exists = changed->Present() && OfObject(changed, obj);
        }
    }
    SetResult(result, exists ? 1 : 0);
}

BUILTIN_INSTANCE_BODY(instance_create) {
    SetResult(result, -1);
    for (int i = 0; i < 3; ++i) {
        if (args.At(i)->IsString()) {
            Code_Error_Report("instance_create( ) error: Illegal type", false);
            return;
        }
    }
    if (CInstance* instance = Instance_Create(args.Truncated(2), args.Float(0), args.Float(1)))
        SetResult(result, instance->id);
}

// Without a room there is nowhere to make the copy: the result stays 0.
BUILTIN_INSTANCE_BODY(instance_copy) {
    if (!self || !Room_State().Run_Room) return;
    CInstance* copy = Room_State().Run_Room->CreateInstance(self->x, self->y, self->object_index);
    const int id = copy->id;
    copy->CopyFrom(self, true);
    copy->id = id;
    // The body made with the instance had the object's image transform; the copy's is self's.
    copy->RecreatePhysicsBody(Room_State().Run_Room);
    if (args.Flag(0)) {
        PerformInstanceEvent(copy, copy, ev_create, 0);
        copy->created = 1;
    }
    SetResult(result, id);
}

BUILTIN_INSTANCE_BODY(instance_destroy) {
    Compiled_InstanceDestroy(self);
}
BUILTIN_INSTANCE_BODY(instance_change) {
    Compiled_InstanceChange(self, args.Truncated(0), args.Flag(1));
}
BUILTIN_INSTANCE_BODY(instance_sprite) {
    if (self) Instance_SetSprite(self, args.Truncated(0));
}

BUILTIN_INSTANCE_BODY(position_empty) {
    const float x = args.Float(0), y = args.Float(1);
    const bool empty =
        !Instances_FindFirst(INSTANCE_ALL, [&](CInstance* candidate) { return candidate->CollisionPoint(x, y, true); });
    SetResult(result, empty ? 1 : 0);
}
BUILTIN_INSTANCE_BODY(position_meeting) {
    const float x = args.Float(0), y = args.Float(1);
    const int obj = WithCallers(args.Truncated(2), self, other);
    const bool meeting =
        Instances_FindFirst(obj, [&](CInstance* candidate) { return candidate->CollisionPoint(x, y, true); });
    SetResult(result, meeting ? 1 : 0);
}

// Every instance of the room's active list that contains the point, in list order.
template <typename Act> void AtPosition(float x, float y, Act act) {
    if (!Room_State().Run_Room) return;
    for (CInstance* instance = Room_State().Run_Room->active.first; instance;) {
        CInstance* next = instance->next;
        if (instance->CollisionPoint(x, y, true)) act(instance);
        instance = next;
    }
}
BUILTIN_INSTANCE_BODY(position_destroy) {
    AtPosition(args.Float(0), args.Float(1), [](CInstance* instance) { Instance_Destroy(instance); });
}
BUILTIN_INSTANCE_BODY(position_change) {
    const int obj = args.Truncated(2);
    const bool performEvents = args.Flag(3);
    if (!Object_Exists(obj)) {
        Code_Error_Report(Message_AppendNumber("Asking to change into non-existing object: ", obj), false);
        return;
    }
    AtPosition(args.Float(0), args.Float(1),
               [&](CInstance* instance) { Instance_Change(instance, obj, performEvents); });
}

BUILTIN_INSTANCE_BODY(instance_deactivate_all) {
    DeactivateAll(self, args.Flag(0));
}
BUILTIN_INSTANCE_BODY(instance_deactivate_object) {
    const int obj = args.Rounded(0);
    if (obj == INSTANCE_SELF || obj == INSTANCE_OTHER) {
        if (CInstance* instance = obj == INSTANCE_SELF ? self : other) Deactivate(instance);
    } else if (obj == INSTANCE_ALL) {
        DeactivateAll(self, false);
    } else if (obj >= kFirstInstanceId) {
        CInstance* instance = Instance_Find(obj);
        if (Present(instance)) Deactivate(instance);
    } else if (Object_Exists(obj)) {
        ChangeActivation(false, [obj](CInstance* instance) { return OfObject(instance, obj); });
    }
}
BUILTIN_INSTANCE_BODY(instance_deactivate_region) {
    const Region region = RegionOf(args);
    const bool inside = args.Flag(4);
    ChangeActivation(false, [&](CInstance* instance) { return Outside(instance, region) != inside; });
    if (args.Flag(5) && self && self->deactivated && !self->Marked()) Activate(self);
}
BUILTIN_INSTANCE_BODY(instance_activate_all) {
    ChangeActivation(true, [](CInstance*) { return true; });
}
BUILTIN_INSTANCE_BODY(instance_activate_object) {
    const int obj = args.Rounded(0);
    if (obj == INSTANCE_SELF || obj == INSTANCE_OTHER) {
        CInstance* instance = obj == INSTANCE_SELF ? self : other;
        if (instance && !instance->Marked()) Activate(instance);
    } else if (obj == INSTANCE_ALL) {
        ChangeActivation(true, [](CInstance*) { return true; });
    } else if (obj >= kFirstInstanceId) {
        CInstance* instance = Instance_Find(obj);
        if (instance && instance->deactivated && !instance->Marked()) Activate(instance);
    } else {
        ChangeActivation(true, [obj](CInstance* instance) { return OfObject(instance, obj); });
    }
}
BUILTIN_INSTANCE_BODY(instance_activate_region) {
    const Region region = RegionOf(args);
    const bool inside = args.Flag(4);
    ChangeActivation(true, [&](CInstance* instance) { return Outside(instance, region) != inside; });
}

const BuiltInRegistration kInstanceFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(collision_point, 5),
    BUILTIN_INSTANCE_ENTRY(collision_rectangle, 7),
    BUILTIN_INSTANCE_ENTRY(collision_circle, 6),
    BUILTIN_INSTANCE_ENTRY(collision_ellipse, 7),
    BUILTIN_INSTANCE_ENTRY(collision_line, 7),
    BUILTIN_INSTANCE_ENTRY(instance_find, 2),
    BUILTIN_INSTANCE_ENTRY(instance_exists, 1),
    BUILTIN_INSTANCE_ENTRY(instance_number, 1),
    BUILTIN_INSTANCE_ENTRY(instance_position, 3),
    BUILTIN_INSTANCE_ENTRY(instance_nearest, 3),
    BUILTIN_INSTANCE_ENTRY(instance_furthest, 3),
    BUILTIN_INSTANCE_ENTRY(instance_place, 3),
    BUILTIN_INSTANCE_ENTRY(instance_create, 3),
    BUILTIN_INSTANCE_ENTRY(instance_copy, 1),
    BUILTIN_INSTANCE_ENTRY(instance_change, 2),
    BUILTIN_INSTANCE_ENTRY(instance_destroy, 0),
    BUILTIN_INSTANCE_ENTRY(instance_sprite, 1),
    BUILTIN_INSTANCE_ENTRY(position_empty, 2),
    BUILTIN_INSTANCE_ENTRY(position_meeting, 3),
    BUILTIN_INSTANCE_ENTRY(position_destroy, 2),
    BUILTIN_INSTANCE_ENTRY(position_change, 4),
    BUILTIN_INSTANCE_ENTRY(instance_deactivate_all, 1),
    BUILTIN_INSTANCE_ENTRY(instance_deactivate_object, 1),
    BUILTIN_INSTANCE_ENTRY(instance_deactivate_region, 6),
    BUILTIN_INSTANCE_ENTRY(instance_activate_all, 0),
    BUILTIN_INSTANCE_ENTRY(instance_activate_object, 1),
    BUILTIN_INSTANCE_ENTRY(instance_activate_region, 5),
};

} // namespace

void Compiled_InstanceDestroy(CInstance* instance) {
    Instance_Destroy(instance);
}

void Compiled_InstanceChange(CInstance* instance, int objectIndex, bool runEvents) {
    if (instance) Instance_Change(instance, objectIndex, runEvents);
}

void InitInstanceFunctions() {
    BuiltIn_Register(kInstanceFunctions);
    BuiltIn_MarkPureOnReals({"instance_exists", "instance_number"});
}
