// The bounding box, the motion vector, friction and gravity, and the collision tests of one instance.
#include "core/convert.h"
#include "graphics/sprite/sprite.h"
#include "world/instance.h"
#include "world/instance_search.h"
#include "world/object.h"
#include "world/room.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// Degrees to radians go through pi in single precision.
constexpr double kPi = static_cast<double>(static_cast<float>(3.14159265358979323846));

double ToRadians(double degrees) {
    return degrees * kPi / 180.0;
}

// Within 0.0001 of an integer, the integer.
double Snap(double v) {
    double whole = std::nearbyint(v);
    return std::fabs(v - whole) < 0.0001 ? whole : v;
}

int32_t Truncate(double v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(v);
}

// The frame of the image index: truncated.
int Frame(float imageIndex) {
    return X86_DoubleToInt32(imageIndex);
}

} // namespace

int32_t Instance_RoundCoordinate(double v) {
    if (std::isnan(v)) return 0;
    if (v <= -2147483648.0) return INT32_MIN;
    if (v >= 2147483647.0) return INT32_MAX;
    return static_cast<int32_t>(std::nearbyint(v));
}

// ---- Bounding box

void CInstance::ComputeBoundingBox() {
    CSprite* sprite = Sprite_Data(mask_index >= 0 ? mask_index : sprite_index);
    bboxStale = 0;
    if (!sprite) {
        bbox_left = bbox_right = Truncate(x);
        bbox_top = bbox_bottom = Truncate(y);
        precise = 0;
        return;
    }
    const double l = sprite->bbox.left, t = sprite->bbox.top, r = sprite->bbox.right, b = sprite->bbox.bottom;
    const double ox = sprite->xOrigin, oy = sprite->yOrigin;
    if (image_angle == 0) {
        bbox_left = Instance_RoundCoordinate((l - ox) * image_xscale + x);
        bbox_right = Instance_RoundCoordinate((r - l + 1) * image_xscale + bbox_left - 1);
        if (bbox_left > bbox_right) std::swap(bbox_left, bbox_right);
        bbox_top = Instance_RoundCoordinate((t - oy) * image_yscale + y);
        bbox_bottom = Instance_RoundCoordinate((b - t + 1) * image_yscale + bbox_top - 1);
        if (bbox_top > bbox_bottom) std::swap(bbox_top, bbox_bottom);
    } else {
        const float x0 = X86_DoubleToFloat((std::min(l, r) - ox) * image_xscale);
        const float x1 = X86_DoubleToFloat((std::max(l, r) - ox + 1) * image_xscale - 1);
        const float y0 = X86_DoubleToFloat((std::min(t, b) - oy) * image_yscale);
        const float y1 = X86_DoubleToFloat((std::max(t, b) - oy + 1) * image_yscale - 1);
        const double radians = ToRadians(image_angle);
        const double c = X86_DoubleToFloat(std::cos(radians));
        const double s = X86_DoubleToFloat(std::sin(radians));
        bbox_left = Instance_RoundCoordinate(x + std::min(c * x0, c * x1) + std::min(s * y0, s * y1));
        bbox_right = Instance_RoundCoordinate(x + std::max(c * x0, c * x1) + std::max(s * y0, s * y1));
        bbox_top = Instance_RoundCoordinate(y + std::min(c * y0, c * y1) - std::max(s * x0, s * x1));
        bbox_bottom = Instance_RoundCoordinate(y + std::max(c * y0, c * y1) - std::min(s * x0, s * x1));
    }
    precise = sprite->precise;
}

void CInstance::SetImageXScale(float v) {
    if (v != image_xscale) bboxStale = 1;
    image_xscale = v;
}
void CInstance::SetImageYScale(float v) {
    if (v != image_yscale) bboxStale = 1;
    image_yscale = v;
}
void CInstance::SetImageAngle(float v) {
    if (v != image_angle) bboxStale = 1;
    image_angle = v;
}
void CInstance::SetMaskIndex(int v) {
    if (v != mask_index) bboxStale = 1;
    mask_index = v;
}
void CInstance::SetPosition(float newX, float newY) {
    if (newX != x || newY != y) bboxStale = 1;
    x = newX;
    y = newY;
}

void CInstance::SetSpriteIndex(int sprite) {
    sprite_index = sprite;
    bboxStale = 1;
    ResetImageIndexForSprite();
}

int CInstance::GetImageNumber() const {
    CSprite* sprite = Sprite_Data(sprite_index);
    return sprite ? sprite->frameCount : 0;
}

void CInstance::SetPathPosition(float p) {
    path_position = std::clamp(p, 0.0f, 1.0f);
}
void CInstance::SetPathPositionPrevious(float p) {
    path_positionprevious = std::clamp(p, 0.0f, 1.0f);
}

// ---- Motion vector

void CInstance::SetHSpeed(float h) {
    if (h == hspeed) return;
    hspeed = h;
    UpdateDirectionSpeed();
}
void CInstance::SetVSpeed(float v) {
    if (v == vspeed) return;
    vspeed = v;
    UpdateDirectionSpeed();
}
void CInstance::SetSpeed(float s) {
    if (s == speed) return;
    speed = s;
    UpdateHVSpeed();
}

// Normalised into [0, 360) in one step (a loop of 360s would never end for huge or infinite values);
// an infinite direction has no angle and becomes NaN, as NaN stays NaN.
void CInstance::SetDirection(float d) {
    double v = std::fmod(static_cast<double>(d), 360.0);
    if (v < 0) v += 360.0;
    if (v >= 360.0) v -= 360.0;
    if (v == 0) v = 0; // no negative zero
    direction = X86_DoubleToFloat(v);
    UpdateHVSpeed();
}

void CInstance::UpdateDirectionSpeed() {
    double dir;
    if (hspeed == 0) {
        dir = vspeed > 0 ? 270 : vspeed < 0 ? 90 : 0;
    } else {
        const float a = X86_DoubleToFloat(std::atan2(static_cast<double>(vspeed), hspeed) * 180.0 / kPi);
        dir = a > 0 ? 360.0 - a : -static_cast<double>(a);
    }
    direction = X86_DoubleToFloat(std::fmod(Snap(dir), 360.0));
    const double h = hspeed, v = vspeed;
    speed = X86_DoubleToFloat(Snap(X86_DoubleToFloat(std::sqrt(h * h + v * v))));
    bboxStale = 1;
}

void CInstance::UpdateHVSpeed() {
    const double radians = ToRadians(direction);
    hspeed = X86_DoubleToFloat(Snap(std::cos(radians) * speed));
    vspeed = X86_DoubleToFloat(Snap(-std::sin(radians) * speed));
    bboxStale = 1;
}

void Instance_UnitStep(double degrees, float& dx, float& dy) {
    const float radians = X86_DoubleToFloat(ToRadians(degrees));
    dx = std::cos(radians);
    dy = -std::sin(radians);
}

// Added motion (gravity among it) takes its angle in single precision, unlike the direction setters.
void CInstance::AddMotion(float dir, float amount) {
    float dx, dy;
    Instance_UnitStep(dir, dx, dy);
    hspeed = X86_DoubleToFloat(hspeed + static_cast<double>(dx) * amount);
    vspeed = X86_DoubleToFloat(vspeed + static_cast<double>(dy) * amount);
    UpdateDirectionSpeed();
}

void CInstance::ApplyFrictionGravity() {
    if (friction != 0) {
        const double n =
            speed > 0 ? static_cast<double>(speed) - friction : static_cast<double>(speed) + friction;
        if ((speed > 0 && n < 0) || (speed < 0 && n > 0)) {
            speed = 0;
            UpdateHVSpeed();
        } else if (speed != 0 && n != speed) {
            speed = X86_DoubleToFloat(n);
            UpdateHVSpeed();
        }
    }
    if (gravity != 0) AddMotion(gravity_direction, gravity);
}

// ---- Collision tests

namespace {

CSprite* MaskSprite(const CInstance* instance) {
    return Sprite_Data(instance->mask_index >= 0 ? instance->mask_index : instance->sprite_index);
}

CSprite* CollidingSprite(const CInstance* instance) {
    CSprite* sprite = MaskSprite(instance);
    return sprite && sprite->frameCount >= 1 ? sprite : nullptr;
}

// Whether the box meets the rectangle [x1, x2] x [y1, y2] (given in any order).
bool BoxMeets(const CInstance* i, double x1, double y1, double x2, double y2) {
    return std::min(x1, x2) < i->bbox_right + 1.0 && std::max(x1, x2) >= i->bbox_left &&
           std::min(y1, y2) < i->bbox_bottom + 1.0 && std::max(y1, y2) >= i->bbox_top;
}

IntRect RoundedRect(float x1, float y1, float x2, float y2) {
    const int32_t rx1 = Instance_RoundCoordinate(x1), rx2 = Instance_RoundCoordinate(x2);
    const int32_t ry1 = Instance_RoundCoordinate(y1), ry2 = Instance_RoundCoordinate(y2);
    return IntRect{std::min(rx1, rx2), std::min(ry1, ry2), std::max(rx1, rx2), std::max(ry1, ry2)};
}

} // namespace

bool CInstance::CollisionPoint(float px, float py, bool wantPrecise) {
    if (bboxStale) ComputeBoundingBox();
    if (!(bbox_left <= px && px < bbox_right + 1.0 && bbox_top <= py && py < bbox_bottom + 1.0)) return false;
    if (m_marked) return false;
    CSprite* sprite = CollidingSprite(this);
    if (!sprite) return false;
    if (wantPrecise && sprite->precise)
        return sprite->PreciseCollisionPoint(Frame(image_index), BoundingBox(), Instance_RoundCoordinate(x),
                                             Instance_RoundCoordinate(y), image_xscale, image_yscale,
                                             image_angle, px, py);
    return true;
}

bool CInstance::CollisionRectangle(float x1, float y1, float x2, float y2, bool wantPrecise) {
    if (bboxStale) ComputeBoundingBox();
    if (!BoxMeets(this, x1, y1, x2, y2) || m_marked) return false;
    if (!(wantPrecise && precise)) return true;
    CSprite* sprite = CollidingSprite(this);
    return sprite &&
           sprite->PreciseCollisionRectangle(Frame(image_index), BoundingBox(), Instance_RoundCoordinate(x),
                                             Instance_RoundCoordinate(y), image_xscale, image_yscale,
                                             image_angle, RoundedRect(x1, y1, x2, y2));
}

bool CInstance::CollisionEllipse(float x1, float y1, float x2, float y2, bool wantPrecise) {
    if (bboxStale) ComputeBoundingBox();
    if (!BoxMeets(this, x1, y1, x2, y2) || m_marked) return false;
    const IntRect rect = RoundedRect(x1, y1, x2, y2);
    if (rect.left == rect.right || rect.top == rect.bottom)
        return CollisionRectangle(x1, y1, x2, y2, wantPrecise);
    const double cx = (static_cast<double>(rect.left) + rect.right) / 2;
    const double cy = (static_cast<double>(rect.top) + rect.bottom) / 2;
    bool overlap = (cx >= bbox_left && cx <= bbox_right) || (cy >= bbox_top && cy <= bbox_bottom);
    if (!overlap) {
        const float l = static_cast<float>(bbox_left), r = static_cast<float>(bbox_right);
        const float t = static_cast<float>(bbox_top), b = static_cast<float>(bbox_bottom);
        overlap = Rect_PointInEllipse(rect, l, t) || Rect_PointInEllipse(rect, l, b) ||
                  Rect_PointInEllipse(rect, r, t) || Rect_PointInEllipse(rect, r, b);
    }
    if (!overlap) return false;
    if (!(wantPrecise && precise)) return true;
    CSprite* sprite = CollidingSprite(this);
    return sprite && sprite->PreciseCollisionEllipse(Frame(image_index), BoundingBox(),
                                                     Instance_RoundCoordinate(x), Instance_RoundCoordinate(y),
                                                     image_xscale, image_yscale, image_angle, rect);
}

bool CInstance::CollisionLine(float x1, float y1, float x2, float y2, bool wantPrecise) {
    if (bboxStale) ComputeBoundingBox();
    if (!BoxMeets(this, x1, y1, x2, y2) || m_marked) return false;
    double ax = x1, ay = y1, bx = x2, by = y2;
    if (ax > bx) {
        std::swap(ax, bx);
        std::swap(ay, by);
    }
    const double left = bbox_left, right = bbox_right + 1.0;
    if (ax < left) {
        ay += (by - ay) * (left - ax) / (bx - ax);
        ax = left;
    }
    if (bx > right) {
        by = ay + (by - ay) * (right - ax) / (bx - ax);
        bx = right;
    }
    if (ay < bbox_top && by < bbox_top) return false;
    if (ay >= bbox_bottom + 1.0 && by >= bbox_bottom + 1.0) return false;
    if (!(wantPrecise && precise)) return true;
    CSprite* sprite = CollidingSprite(this);
    return sprite &&
           sprite->PreciseCollisionLine(Frame(image_index), BoundingBox(), Instance_RoundCoordinate(x),
                                        Instance_RoundCoordinate(y), image_xscale, image_yscale, image_angle,
                                        Instance_RoundCoordinate(x1), Instance_RoundCoordinate(y1),
                                        Instance_RoundCoordinate(x2), Instance_RoundCoordinate(y2));
}

bool CInstance::CollisionInstance(CInstance* a, CInstance* b, bool wantPrecise) {
    if (a == b || a->Marked() || b->Marked()) return false;
    if (a->bboxStale) a->ComputeBoundingBox();
    if (b->bboxStale) b->ComputeBoundingBox();
    if (!(b->bbox_left < a->bbox_right + 1.0 && b->bbox_right + 1.0 > a->bbox_left &&
          b->bbox_top < a->bbox_bottom + 1.0 && b->bbox_bottom + 1.0 > a->bbox_top))
        return false;
    CSprite* sa = CollidingSprite(a);
    CSprite* sb = CollidingSprite(b);
    if (!sa || !sb) return false;
    if (!(wantPrecise && (sa->precise || sb->precise))) return true;
    return sa->PreciseCollision(Frame(a->image_index), a->BoundingBox(), Instance_RoundCoordinate(a->x),
                                Instance_RoundCoordinate(a->y), a->image_xscale, a->image_yscale,
                                a->image_angle, sb, Frame(b->image_index), b->BoundingBox(),
                                Instance_RoundCoordinate(b->x), Instance_RoundCoordinate(b->y),
                                b->image_xscale, b->image_yscale, b->image_angle);
}

// ---- Place tests

namespace {

// Moves the instance to (x, y), runs the test, and puts it back where it was.
template <typename Test> auto AtPlace(CInstance* instance, float x, float y, Test test) {
    const float oldX = instance->x, oldY = instance->y;
    instance->SetPosition(x, y);
    auto result = test();
    instance->SetPosition(oldX, oldY);
    return result;
}

// The first instance of the room's active list that passes accept and meets instance.
CInstance* FirstMeeting(CInstance* instance, bool (*accept)(const CInstance*)) {
    if (!Room_State().Run_Room) return nullptr;
    for (CInstance* other = Room_State().Run_Room->active.first; other; other = other->next)
        if (accept(other) && CInstance::CollisionInstance(other, instance, true)) return other;
    return nullptr;
}

} // namespace

bool Instance_PlaceFree(CInstance* instance, float x, float y) {
    return AtPlace(instance, x, y, [&] {
        return !FirstMeeting(instance, [](const CInstance* i) -> bool { return i->solid; });
    });
}

bool Instance_PlaceEmpty(CInstance* instance, float x, float y) {
    return AtPlace(instance, x, y,
                   [&] { return !FirstMeeting(instance, [](const CInstance*) { return true; }); });
}

CInstance* Instance_PlaceMeetingFind(CInstance* instance, float x, float y, int obj) {
    return AtPlace(instance, x, y, [&] {
        return Instances_FindFirst(
            obj, [&](CInstance* other) { return CInstance::CollisionInstance(other, instance, true); });
    });
}

bool Instance_PlaceMeeting(CInstance* instance, int obj, float x, float y) {
    return Instance_PlaceMeetingFind(instance, x, y, obj) != nullptr;
}
