// The motion built-ins and the motion routines behind them.
#include "core/convert.h"
#include "core/random.h"
#include "graphics/sprite/sprite.h"
#include "library/builtin.h"
#include "script/value.h"
#include "world/game_builtins.h"
#include "world/instance.h"
#include "world/instance_search.h"
#include "world/motion.h"
#include "world/room_size.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

constexpr float kFarAway = 1000000;

float F(double v) {
    return X86_DoubleToFloat(v);
}

bool FreeAt(CInstance* instance, float x, float y, bool all) {
    return all ? Instance_PlaceEmpty(instance, x, y) : Instance_PlaceFree(instance, x, y);
}

bool SamePlace(float a, float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

// The unit steps of the contact searches: round(maxdist) when above 0, else 1000. A distance beyond
// the int32 range rounds to the lowest int32 (the x86 conversion): no step at all.
int StepLimit(float maxdist) {
    return maxdist > 0 ? X86_RoundToInt32(maxdist) : 1000;
}

void RoomSize(double& width, double& height) {
    int w = 0, h = 0;
    Room_GetCurrentSize(w, h);
    width = w;
    height = h;
}

// A random whole number in [lower, lower + |upper - lower|); an empty range gives the lower bound.
double RandomIn(double lower, double upper) {
    const double span = std::fabs(upper - lower);
    if (!(span >= 1)) return lower;
    return lower + Random_Int(static_cast<int>(std::min(span, static_cast<double>(INT_MAX))));
}

double Snapped(double v, double snap) {
    return snap > 0 ? std::floor(v / snap) * snap : v;
}

} // namespace

// ---- Motion routines

void Instance_MoveRandom(CInstance* instance, double hsnap, double vsnap, int tries) {
    double width, height;
    RoomSize(width, height);
    double xlo = 0, xhi = width, ylo = 0, yhi = height;
    if (Sprite_Exists(instance->sprite_index) || Sprite_Exists(instance->mask_index)) {
        if (instance->bboxStale) instance->ComputeBoundingBox();
        xlo = std::nearbyint(instance->x - static_cast<double>(instance->bbox_left));
        xhi = std::nearbyint(width + instance->x - instance->bbox_right);
        ylo = std::nearbyint(instance->y - static_cast<double>(instance->bbox_top));
        yhi = std::nearbyint(height + instance->y - instance->bbox_bottom);
    }
    hsnap = std::nearbyint(hsnap);
    vsnap = std::nearbyint(vsnap);
    for (int i = 0; i < tries; ++i) {
        const float x = F(Snapped(RandomIn(xlo, xhi), hsnap));
        const float y = F(Snapped(RandomIn(ylo, yhi), vsnap));
        if (Instance_PlaceFree(instance, x, y)) {
            instance->SetPosition(x, y);
            return;
        }
    }
}

void Instance_Snap(CInstance* instance, double hsnap, double vsnap) {
    double x = instance->x, y = instance->y;
    if (hsnap > 0) x = std::nearbyint(x / hsnap) * hsnap;
    if (vsnap > 0) y = std::nearbyint(y / vsnap) * vsnap;
    instance->SetPosition(F(x), F(y));
}

// A step that no longer changes the position (a coordinate too large for it) leaves every later step
// the same, so both searches stop there: a huge maximum distance costs no more than a move to that size.
void Instance_MoveContact(CInstance* instance, float dir, float maxdist, bool all) {
    const int steps = StepLimit(maxdist);
    float dx, dy;
    Instance_UnitStep(dir, dx, dy);
    if (!FreeAt(instance, instance->x, instance->y, all)) return;
    for (int i = 0; i < steps; ++i) {
        const float x = F(instance->x + static_cast<double>(dx));
        const float y = F(instance->y + static_cast<double>(dy));
        if (SamePlace(x, instance->x) && SamePlace(y, instance->y)) return;
        if (!FreeAt(instance, x, y, all)) return;
        instance->SetPosition(x, y);
    }
}

void Instance_MoveOutside(CInstance* instance, float dir, float maxdist, bool all) {
    const int steps = StepLimit(maxdist);
    float dx, dy;
    Instance_UnitStep(dir, dx, dy);
    if (FreeAt(instance, instance->x, instance->y, all)) return;
    for (int i = 0; i < steps; ++i) {
        const float x = F(instance->x + static_cast<double>(dx));
        const float y = F(instance->y + static_cast<double>(dy));
        if (SamePlace(x, instance->x) && SamePlace(y, instance->y)) return;
        instance->SetPosition(x, y);
        if (FreeAt(instance, x, y, all)) return;
    }
}

void Instance_Bounce(CInstance* instance, bool advanced, bool all) {
    bool collided = false;
    if (!FreeAt(instance, instance->x, instance->y, all)) {
        instance->SetPosition(instance->xprevious, instance->yprevious);
        collided = true;
    }
    const double x = instance->x, y = instance->y;
    if (!advanced) {
        const float hspeed = instance->hspeed, vspeed = instance->vspeed;
        const bool horizontalFree = FreeAt(instance, F(x + hspeed), F(y), all);
        const bool verticalFree = FreeAt(instance, F(x), F(y + vspeed), all);
        if (!horizontalFree) {
            instance->SetHSpeed(-hspeed);
            if (!verticalFree) instance->SetVSpeed(-vspeed);
        } else if (!verticalFree) {
            instance->SetVSpeed(-vspeed);
        } else if (!FreeAt(instance, F(x + hspeed), F(y + vspeed), all)) {
            instance->SetHSpeed(-hspeed);
            instance->SetVSpeed(-vspeed);
        }
        return;
    }
    // Headings 10 degrees apart from the direction rounded to tens, searched clockwise and then
    // anticlockwise for the first one whose point at distance speed is free.
    const double a0 = std::nearbyint(instance->direction / 10.0) * 10.0;
    const double speed = instance->speed;
    auto search = [&](double sign, bool& allFailed) {
        double heading = a0;
        allFailed = true;
        for (int k = 1; k <= 35; ++k) {
            heading = a0 + sign * 10.0 * k;
            float dx, dy;
            Instance_UnitStep(heading, dx, dy);
            if (FreeAt(instance, F(x + dx * speed), F(y + dy * speed), all)) {
                allFailed = false;
                break;
            }
            collided = true;
        }
        return heading;
    };
    bool clockwiseFailed, anticlockwiseFailed;
    const double cw = search(-1, clockwiseFailed);
    const double ccw = search(1, anticlockwiseFailed);
    if (anticlockwiseFailed || collided) instance->SetDirection(F(ccw + cw + 180 - a0));
}

void Instance_Wrap(CInstance* instance, bool horizontal, bool vertical) {
    double width, height;
    RoomSize(width, height);
    const CSprite* sprite = Sprite_Data(instance->sprite_index);
    const double w = sprite ? sprite->width * static_cast<double>(instance->image_xscale) : 0;
    const double h = sprite ? sprite->height * static_cast<double>(instance->image_yscale) : 0;
    float x = instance->x, y = instance->y;
    if (horizontal) {
        if (instance->hspeed < 0 && x < 0) x = F(x + width + w);
        if (instance->hspeed > 0 && x >= width) x = F(x - (width + w));
    }
    if (vertical) {
        if (instance->vspeed < 0 && y < 0) y = F(y + height + h);
        if (instance->vspeed > 0 && y >= height) y = F(y - (height + h));
    }
    instance->SetPosition(x, y);
}

float Instance_Distance(CInstance* a, CInstance* b) {
    if (!a || a == b || !a->Present()) return kFarAway;
    if (a->bboxStale) a->ComputeBoundingBox();
    if (b->bboxStale) b->ComputeBoundingBox();
    auto gap = [](int64_t aLow, int64_t aHigh, int64_t bLow, int64_t bHigh) -> int64_t {
        if (aLow > bHigh) return aLow - bHigh;
        if (aHigh < bLow) return aHigh - bLow;
        return 0;
    };
    const double dx = static_cast<double>(gap(a->bbox_left, a->bbox_right, b->bbox_left, b->bbox_right));
    const double dy = static_cast<double>(gap(a->bbox_top, a->bbox_bottom, b->bbox_top, b->bbox_bottom));
    // The sum of squares is formed in 64 bits: gaps beyond 46,340 pixels do not wrap. Below that the
    // sum is the exact integer, narrowed to single precision for the square root.
    return std::sqrt(F(dx * dx + dy * dy));
}

bool Compiled_PlaceFree(CInstance* instance, float x, float y) {
    return Instance_PlaceFree(instance, x, y);
}

void Compiled_MoveSnap(CInstance* instance, float hsnap, float vsnap) {
    Instance_Snap(instance, hsnap, vsnap);
}

// ---- Built-ins (each works on self; a call without one does nothing and gives 0)

namespace {

void SetResult(ScriptValue& result, double d) {
    Value_SetReal(&result, d);
}

BUILTIN_INSTANCE_BODY(motion_set) {
    if (!self) return;
    self->SetDirection(args.Float(0));
    self->SetSpeed(args.Float(1));
}
BUILTIN_INSTANCE_BODY(motion_add) {
    if (!self) return;
    self->AddMotion(args.Float(0), args.Float(1));
}
BUILTIN_INSTANCE_BODY(move_towards_point) {
    if (!self) return;
    self->SetHSpeed(F(args.Real(0) - self->x));
    self->SetVSpeed(F(args.Real(1) - self->y));
    self->SetSpeed(args.Float(2));
}
BUILTIN_INSTANCE_BODY(move_random) {
    if (!self) return;
    Instance_MoveRandom(self, args.Real(0), args.Real(1), 100);
}
BUILTIN_INSTANCE_BODY(move_snap) {
    if (!self) return;
    Instance_Snap(self, args.Real(0), args.Real(1));
}
BUILTIN_INSTANCE_BODY(place_snapped) {
    if (!self) return;
    auto off = [](double v, double snap) {
        return snap > 0 && std::fabs(v - std::nearbyint(v / snap) * snap) >= 0.001;
    };
    SetResult(result, off(self->x, args.Real(0)) || off(self->y, args.Real(1)) ? 0 : 1);
}
BUILTIN_INSTANCE_BODY(place_free) {
    if (!self) return;
    SetResult(result, Instance_PlaceFree(self, args.Float(0), args.Float(1)) ? 1 : 0);
}
BUILTIN_INSTANCE_BODY(place_empty) {
    if (!self) return;
    SetResult(result, Instance_PlaceEmpty(self, args.Float(0), args.Float(1)) ? 1 : 0);
}
BUILTIN_INSTANCE_BODY(place_meeting) {
    if (!self) return;
    int obj = args.Rounded(2);
    if (obj == INSTANCE_SELF) obj = self->id;
    if (obj == INSTANCE_OTHER) obj = other ? other->id : INSTANCE_NOONE;
    SetResult(result, Instance_PlaceMeeting(self, obj, args.Float(0), args.Float(1)) ? 1 : 0);
}
BUILTIN_INSTANCE_BODY(move_contact) {
    if (!self) return;
    if (Instance_PlaceFree(self, self->x, self->y))
        Instance_MoveContact(self, args.Float(0), -1, false);
    else
        Instance_MoveOutside(self, args.Float(0), -1, false);
}
BUILTIN_INSTANCE_BODY(move_contact_solid) {
    if (!self) return;
    Instance_MoveContact(self, args.Float(0), args.Float(1), false);
}
BUILTIN_INSTANCE_BODY(move_contact_all) {
    if (!self) return;
    Instance_MoveContact(self, args.Float(0), args.Float(1), true);
}
BUILTIN_INSTANCE_BODY(move_outside_solid) {
    if (!self) return;
    Instance_MoveOutside(self, args.Float(0), args.Float(1), false);
}
BUILTIN_INSTANCE_BODY(move_outside_all) {
    if (!self) return;
    Instance_MoveOutside(self, args.Float(0), args.Float(1), true);
}
BUILTIN_INSTANCE_BODY(move_bounce_solid) {
    if (!self) return;
    Instance_Bounce(self, args.Flag(0), false);
}
BUILTIN_INSTANCE_BODY(move_bounce_all) {
    if (!self) return;
    Instance_Bounce(self, args.Flag(0), true);
}
BUILTIN_INSTANCE_BODY(move_wrap) {
    if (!self) return;
    double width, height;
    RoomSize(width, height);
    const double margin = args.Float(2);
    auto wrap = [margin](float v, double size) {
        if (v < -margin) v = F(v + size + 2 * margin);
        if (v > size + margin) v = F(v - (size + 2 * margin));
        return v;
    };
    const float x = args.Flag(0) ? wrap(self->x, width) : self->x;
    const float y = args.Flag(1) ? wrap(self->y, height) : self->y;
    self->SetPosition(x, y);
}
BUILTIN_INSTANCE_BODY(distance_to_point) {
    if (!self) return;
    if (self->bboxStale) self->ComputeBoundingBox();
    auto gap = [](double p, double low, double high) { return p > high ? p - high : p < low ? p - low : 0; };
    const double dx = gap(args.Float(0), self->bbox_left, self->bbox_right);
    const double dy = gap(args.Float(1), self->bbox_top, self->bbox_bottom);
    SetResult(result, std::sqrt(dx * dx + dy * dy));
}
BUILTIN_INSTANCE_BODY(distance_to_object) {
    if (!self) return;
    const int obj = args.Truncated(0);
    float best = kFarAway;
    if (obj == INSTANCE_OTHER) {
        best = std::min(best, Instance_Distance(other, self));
    } else {
        Instances_FindFirst(obj, [&](CInstance* candidate) {
            best = std::min(best, Instance_Distance(candidate, self));
            return false;
        });
    }
    SetResult(result, best);
}

const BuiltInRegistration kMotionFunctions[] = {
    BUILTIN_INSTANCE_ENTRY(motion_set, 2),
    BUILTIN_INSTANCE_ENTRY(motion_add, 2),
    BUILTIN_INSTANCE_ENTRY(place_free, 2),
    BUILTIN_INSTANCE_ENTRY(place_empty, 2),
    BUILTIN_INSTANCE_ENTRY(place_meeting, 3),
    BUILTIN_INSTANCE_ENTRY(place_snapped, 2),
    BUILTIN_INSTANCE_ENTRY(move_random, 2),
    BUILTIN_INSTANCE_ENTRY(move_snap, 2),
    BUILTIN_INSTANCE_ENTRY(move_towards_point, 3),
    BUILTIN_INSTANCE_ENTRY(move_contact, 1),
    BUILTIN_INSTANCE_ENTRY(move_contact_solid, 2),
    BUILTIN_INSTANCE_ENTRY(move_contact_all, 2),
    BUILTIN_INSTANCE_ENTRY(move_outside_solid, 2),
    BUILTIN_INSTANCE_ENTRY(move_outside_all, 2),
    {"move_bounce", BuiltIn_CallWithInstances<F_move_bounce_solid>, 1},
    BUILTIN_INSTANCE_ENTRY(move_bounce_solid, 1),
    BUILTIN_INSTANCE_ENTRY(move_bounce_all, 1),
    BUILTIN_INSTANCE_ENTRY(move_wrap, 3),
    BUILTIN_INSTANCE_ENTRY(distance_to_point, 2),
    BUILTIN_INSTANCE_ENTRY(distance_to_object, 1),
};

} // namespace

void InitMotionFunctions() {
    BuiltIn_Register(kMotionFunctions);
}
