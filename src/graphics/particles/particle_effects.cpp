// The twelve ready-made effects, built on two particle systems of their own (one below everything,
// one above) and a fixed set of particle types that every call sets up afresh.
#include "core/convert.h"
#include "core/random.h"
#include "graphics/particles/particle_passes.h"

namespace {

constexpr int kTypeCount = 35;
// The first of the types of each kind: explosion (two per size), ring, ellipse, firework (only the
// second is used), smoke, rising smoke, star, spark, flare, cloud (three each), rain and snow (one).
enum : int {
    kExplosion = 0,
    kRing = 6,
    kEllipse = 9,
    kFirework = 12,
    kSmoke = 15,
    kSmokeUp = 18,
    kStar = 21,
    kSpark = 24,
    kFlare = 27,
    kCloud = 30,
    kRain = 33,
    kSnow = 34,
};

struct EffectState {
    int below = -1;
    int above = -1;
    bool typesMade = false;
    int types[kTypeCount] = {};
};
EffectState g_effects;

EffectRoomInfo NoRoom() {
    return EffectRoomInfo{0, 0, 0, 0};
}
EffectRoomInfo (*g_roomSource)() = NoRoom;

int EnsureSystem(int& handle, float depth) {
    if (!ParticleSystem_Exists(handle)) {
        handle = ParticleSystem_Create();
        ParticleSystem_Depth(handle, depth);
    }
    return handle;
}

void EnsureSystems() {
    EnsureSystem(g_effects.below, 100000.0f);
    EnsureSystem(g_effects.above, -100000.0f);
    if (g_effects.typesMade) return;
    for (int& type : g_effects.types)
        type = ParticleType_Create();
    g_effects.typesMade = true;
}

// One call: the system, the place, the size as 0 small, 1 medium, 2 large, the colour and the speed
// factor.
struct Effect {
    int system;
    float x, y;
    int size;
    uint32_t colour;
    float s;

    // Of three values by size.
    float By(float small, float medium, float large) const {
        return size == 0 ? small : size == 2 ? large : medium;
    }
    int Count(int small, int medium, int large) const {
        return size == 0 ? small : size == 2 ? large : medium;
    }
    // Lives are steps at 30 steps a second, divided by the factor and rounded.
    int Life(float steps) const { return X86_RoundToInt32(steps / s); }
    void SetLife(int type, float min, float max) const { ParticleType_Life(type, Life(min), Life(max)); }
    void Emit(int type, int number) const { Emit(type, x, y, number, colour); }
    void Emit(int type, float px, float py, int number, uint32_t c) const {
        ParticleSystem_CreateParticlesColour(system, px, py, type, c, number);
    }
};

void AllAround(int type) {
    ParticleType_Orientation(type, 0, 360, 0, 0, false);
}

void Explosion(const Effect& e) {
    const int first = g_effects.types[kExplosion + e.size * 2];
    const int second = g_effects.types[kExplosion + e.size * 2 + 1];
    const float s = e.s;
    ParticleType_Shape(first, 10);
    ParticleType_Size(first, e.By(0.1f, 0.3f, 0.4f), e.By(0.1f, 0.3f, 0.4f), e.By(0.05f, 0.1f, 0.2f) * s, 0);
    AllAround(first);
    ParticleType_Direction(first, 0, 360, 0, 0);
    const float speed = e.By(2, 4, 7) * s;
    ParticleType_Speed(first, speed, speed, e.By(-0.1f, -0.18f, -0.2f) * s, 0);
    ParticleType_Alpha2(first, 0.6f, 0);
    e.SetLife(first, e.By(10, 12, 15), e.By(15, 17, 20));
    e.Emit(first, 20);

    ParticleType_Shape(second, 10);
    ParticleType_Size(second, e.By(0.1f, 0.3f, 0.4f), e.By(0.1f, 0.3f, 0.4f), e.By(0.1f, 0.2f, 0.4f) * s, 0);
    AllAround(second);
    ParticleType_Alpha2(second, 0.8f, 0);
    const float life = e.By(15, 17, 20);
    e.SetLife(second, life, life);
    e.Emit(second, e.x, e.y, 1, 0);
}

// The ring, and the ellipse: the ring squeezed to half its height, growing faster.
void Ring(const Effect& e, int type, float increment, bool squeezed) {
    ParticleType_Shape(type, 6);
    ParticleType_Alpha2(type, 1, 0);
    ParticleType_Size(type, 0, 0, increment * e.s, 0);
    if (squeezed) ParticleType_Scale(type, 1, 0.5f);
    e.SetLife(type, e.By(10, 13, 18), e.By(12, 15, 20));
    e.Emit(type, 1);
}

void Firework(const Effect& e) {
    const int type = g_effects.types[kFirework + 1];
    const float s = e.s;
    ParticleType_Shape(type, 8);
    ParticleType_Size(type, 0.1f, 0.2f, 0, 0);
    ParticleType_Speed(type, 0.5f * s, e.By(3, 6, 8) * s, 0, 0);
    ParticleType_Direction(type, 0, 360, 0, 0);
    ParticleType_Alpha2(type, 1, 0.4f);
    e.SetLife(type, e.By(15, 20, 30), e.By(25, 30, 40));
    ParticleType_Gravity(type, e.By(0.1f, 0.15f, 0.17f) * s, 270);
    e.Emit(type, e.Count(75, 150, 250));
}

// Smoke, rising when it has a speed: puffs scattered round the point.
void Smoke(const Effect& e, int type, bool rising) {
    const float s = e.s;
    ParticleType_Shape(type, 10);
    ParticleType_Size(type, e.By(0.2f, 0.4f, 0.4f), e.By(0.4f, 0.7f, 1), -0.01f * s, 0);
    ParticleType_Alpha2(type, 0.4f, 0);
    const float life = e.By(25, 30, 50);
    e.SetLife(type, life, life);
    if (rising) {
        ParticleType_Speed(type, e.By(3, 5, 6) * s, e.By(4, 6, 7) * s, 0, 0);
        ParticleType_Direction(type, 90, 90, 0, 0);
    }
    const int spread = e.Count(10, 30, 60);
    for (int i = e.Count(6, 11, 16); i > 0; --i) {
        const float dx = static_cast<float>(static_cast<int>(Random_Int(spread)) - spread / 2);
        const float dy = static_cast<float>(static_cast<int>(Random_Int(spread)) - spread / 2);
        e.Emit(type, e.x + dx, e.y + dy, 1, e.colour);
    }
}

// The star, the spark and the flare: one shape that turns and shrinks.
void Star(const Effect& e, int type, int shape, float smallSize) {
    ParticleType_Shape(type, shape);
    const float size = e.By(smallSize, 0.75f, 1.2f);
    ParticleType_Size(type, e.By(0.4f, 0.75f, 1.2f), size, e.By(-0.02f, -0.03f, -0.04f) * e.s, 0);
    AllAround(type);
    const float life = e.By(20, 25, 30);
    e.SetLife(type, life, life);
    e.Emit(type, 1);
}

void Cloud(const Effect& e, int type) {
    ParticleType_Shape(type, 10);
    const float size = e.By(2, 4, 8);
    ParticleType_Size(type, size, size, 0, 0);
    ParticleType_Scale(type, 1, 0.5f);
    ParticleType_Alpha3(type, 0, 0.3f, 0);
    e.SetLife(type, 100, 100);
    e.Emit(type, 1);
}

// Rain and snow fall over the whole room: the given point is not used.
void Rain(const Effect& e, const EffectRoomInfo& room) {
    const int type = g_effects.types[kRain];
    const float s = e.s;
    ParticleType_Shape(type, 3);
    ParticleType_Size(type, 0.2f, 0.3f, 0, 0);
    ParticleType_Orientation(type, 0, 0, 0, 0, true);
    ParticleType_Speed(type, 7 * s, 7 * s, 0, 0);
    ParticleType_Direction(type, 260, 260, 0, 0);
    ParticleType_Alpha1(type, 0.4f);
    const float life = static_cast<float>(room.height) * 0.2f;
    e.SetLife(type, life, life);
    for (int i = e.Count(2, 5, 9); i > 0; --i) {
        const float x = Particle_Random1() * 1.2f * static_cast<float>(room.width);
        const float y = static_cast<float>(Random_Real(20.0)) - 30.0f;
        e.Emit(type, x, y, 1, e.colour);
    }
}

void Snow(const Effect& e, const EffectRoomInfo& room) {
    const int type = g_effects.types[kSnow];
    const float s = e.s;
    ParticleType_Shape(type, 13);
    ParticleType_Size(type, 0.1f, 0.25f, 0, 0);
    ParticleType_Alpha1(type, 0.6f);
    AllAround(type);
    ParticleType_Speed(type, 2.5f * s, 3 * s, 0, 0);
    ParticleType_Direction(type, 240, 300, 0, 20);
    const float life = static_cast<float>(room.height) * 0.5f;
    e.SetLife(type, life, life);
    for (int i = e.Count(1, 3, 7); i > 0; --i) {
        const float x = Particle_Random1() * 1.2f * static_cast<float>(room.width) - 60.0f;
        const float y = static_cast<float>(Random_Real(20.0)) - 30.0f;
        e.Emit(type, x, y, 1, e.colour);
    }
}

float SpeedFactor(const EffectRoomInfo& room) {
    if (room.speed <= 30 || room.fps <= 30) return 1.0f;
    const float speed = static_cast<float>(room.speed);
    const float fps = static_cast<float>(room.fps);
    return speed / fps < 1.2f ? 30.0f / speed : 30.0f / fps;
}

} // namespace

void Effect_SetRoomSource(EffectRoomInfo (*source)()) {
    g_roomSource = source ? source : NoRoom;
}

float Effect_SpeedFactor() {
    return SpeedFactor(g_roomSource());
}

void Effect_Create(bool below, int kind, float x, float y, int size, uint32_t colour) {
    EnsureSystems();
    const EffectRoomInfo room = g_roomSource();
    const int bySize = size == 0 ? 0 : size == 2 ? 2 : 1;
    const Effect e{below ? g_effects.below : g_effects.above, x, y, bySize, colour, SpeedFactor(room)};
    const int* types = g_effects.types;
    switch (kind) {
    case 0:
        Explosion(e);
        break;
    case 1:
        Ring(e, types[kRing + bySize], e.By(0.15f, 0.25f, 0.4f), false);
        break;
    case 2:
        Ring(e, types[kEllipse + bySize], e.By(0.2f, 0.35f, 0.6f), true);
        break;
    case 3:
        Firework(e);
        break;
    case 4:
        Smoke(e, types[kSmoke + bySize], false);
        break;
    case 5:
        Smoke(e, types[kSmokeUp + bySize], true);
        break;
    case 6:
        Star(e, types[kStar + bySize], 4, 0.3f);
        break;
    case 7:
        Star(e, types[kSpark + bySize], 9, 0.4f);
        break;
    case 8:
        Star(e, types[kFlare + bySize], 8, 0.4f);
        break;
    case 9:
        Cloud(e, types[kCloud + bySize]);
        break;
    case 10:
        Rain(e, room);
        break;
    case 11:
        Snow(e, room);
        break;
    default:
        break;
    }
}

void Effect_Clear() {
    ParticleSystem_ClearParticles(g_effects.below);
    ParticleSystem_ClearParticles(g_effects.above);
}

void Effect_Reset() {
    g_effects = EffectState{};
}
