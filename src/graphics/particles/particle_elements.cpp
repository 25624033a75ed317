// The elements of a particle system: emitters, attractors, destroyers, deflectors and changers, their
// operations and the passes of the system update that they drive.
#include "core/random.h"
#include "graphics/particles/particle_passes.h"

#include <cmath>

namespace {

template <typename T> std::vector<T>& ListOf(TParticleSystem& s);
template <> std::vector<TParticleEmitter>& ListOf(TParticleSystem& s) {
    return s.emitters;
}
template <> std::vector<TParticleAttractor>& ListOf(TParticleSystem& s) {
    return s.attractors;
}
template <> std::vector<TParticleDestroyer>& ListOf(TParticleSystem& s) {
    return s.destroyers;
}
template <> std::vector<TParticleDeflector>& ListOf(TParticleSystem& s) {
    return s.deflectors;
}
template <> std::vector<TParticleChanger>& ListOf(TParticleSystem& s) {
    return s.changers;
}

// The first slot whose element does not exist, else a new one; the element is made and cleared.
template <typename T> int Create(int system) {
    TParticleSystem* s = ParticleSystem_Find(system);
    if (!s) return -1;
    std::vector<T>& list = ListOf<T>(*s);
    size_t slot = 0;
    while (slot < list.size() && list[slot].exists)
        ++slot;
    if (slot == list.size()) list.emplace_back();
    list[slot] = T{};
    list[slot].exists = 1;
    return static_cast<int>(slot);
}

template <typename T> T* Find(int system, int element) {
    TParticleSystem* s = ParticleSystem_Find(system);
    if (!s) return nullptr;
    std::vector<T>& list = ListOf<T>(*s);
    if (element < 0 || static_cast<size_t>(element) >= list.size() ||
        !list[static_cast<size_t>(element)].exists)
        return nullptr;
    return &list[static_cast<size_t>(element)];
}

template <typename T, typename Work> void With(int system, int element, Work work) {
    if (T* e = Find<T>(system, element)) work(*e);
}

template <typename T> void Destroy(int system, int element) {
    With<T>(system, element, [](T& e) { e.exists = 0; });
}

template <typename T> void DestroyAll(int system) {
    if (TParticleSystem* s = ParticleSystem_Find(system)) std::vector<T>().swap(ListOf<T>(*s));
}

template <typename T> void Clear(int system, int element) {
    With<T>(system, element, [](T& e) {
        e = T{};
        e.exists = 1;
    });
}

template <typename T> void SetRegion(T& e, float xmin, float xmax, float ymin, float ymax) {
    e.xMin = xmin;
    e.xMax = xmax;
    e.yMin = ymin;
    e.yMax = ymax;
}

template <typename T> bool Proper(const T& e) {
    return e.exists && e.xMin < e.xMax && e.yMin < e.yMax;
}

template <typename T> bool Inside(const T& e, const TParticle& p) {
    return e.xMin <= p.x && p.x <= e.xMax && e.yMin <= p.y && p.y <= e.yMax;
}

// The ellipse (1) and diamond (2) inscribed in the region, the region itself for other shapes; the
// point is known to lie inside the region.
template <typename T> bool InsideShape(const T& e, const TParticle& p, int shape) {
    const float nx = (p.x - (e.xMin + e.xMax) / 2.0f) * 2.0f / (e.xMax - e.xMin);
    const float ny = (p.y - (e.yMin + e.yMax) / 2.0f) * 2.0f / (e.yMax - e.yMin);
    if (shape == 1) return nx * nx + ny * ny <= 1.0f;
    if (shape == 2) return std::fabs(nx) + std::fabs(ny) <= 1.0f;
    return true;
}

// A point of the emitter's region by its shape and distribution.
void EmitterPoint(const TParticleEmitter& e, float& x, float& y) {
    for (;;) {
        float fx = Particle_RandomRange(0.0f, 1.0f, e.distribution);
        float fy = Particle_RandomRange(0.0f, 1.0f, e.distribution);
        if (e.distribution == 2 && e.shape != 3) {
            // Inverse-gaussian points crowd along the edges rather than into the corners.
            if (Particle_Random1() < 0.5f)
                fx = Particle_Random1();
            else
                fy = Particle_Random1();
        }
        const float cx = fx - 0.5f;
        const float cy = fy - 0.5f;
        if (e.shape == 1 && cx * cx + cy * cy > 0.25f) continue;
        if (e.shape == 2 && std::fabs(cx) + std::fabs(cy) > 0.5f) continue;
        x = e.xMin + (e.xMax - e.xMin) * fx;
        y = e.yMin + (e.yMax - e.yMin) * (e.shape == 3 ? fx : fy);
        return;
    }
}

void Burst(int system, const TParticleEmitter& e, int type, int number) {
    if (number < 0) {
        if (Random_Int(number) != 0) return;
        number = 1;
    }
    TParticleSystem* s = ParticleSystem_Find(system);
    if (!s || number == 0) return;
    ParticleSystem_Reserve(*s, static_cast<int64_t>(s->count) + number);
    for (int i = 0; i < number; ++i) {
        float x = 0.0f;
        float y = 0.0f;
        EmitterPoint(e, x, y);
        ParticleSystem_CreateParticles(system, x, y, type, 1);
    }
}

} // namespace

// ---- emitters ----

int ParticleEmitter_Create(int system) {
    return Create<TParticleEmitter>(system);
}
void ParticleEmitter_Destroy(int system, int emitter) {
    Destroy<TParticleEmitter>(system, emitter);
}
void ParticleEmitter_DestroyAll(int system) {
    DestroyAll<TParticleEmitter>(system);
}
bool ParticleEmitter_Exists(int system, int emitter) {
    return Find<TParticleEmitter>(system, emitter) != nullptr;
}
void ParticleEmitter_Clear(int system, int emitter) {
    Clear<TParticleEmitter>(system, emitter);
}
void ParticleEmitter_Region(int system, int emitter, float xmin, float xmax, float ymin, float ymax,
                            int shape, int distribution) {
    With<TParticleEmitter>(system, emitter, [&](TParticleEmitter& e) {
        SetRegion(e, xmin, xmax, ymin, ymax);
        e.shape = shape;
        e.distribution = distribution;
    });
}
void ParticleEmitter_Burst(int system, int emitter, int type, int number) {
    if (const TParticleEmitter* e = Find<TParticleEmitter>(system, emitter))
        Burst(system, TParticleEmitter(*e), type, number);
}
void ParticleEmitter_Stream(int system, int emitter, int type, int number) {
    With<TParticleEmitter>(system, emitter, [&](TParticleEmitter& e) {
        e.type = type;
        e.streamNumber = number;
    });
}

// ---- attractors ----

int ParticleAttractor_Create(int system) {
    return Create<TParticleAttractor>(system);
}
void ParticleAttractor_Destroy(int system, int attractor) {
    Destroy<TParticleAttractor>(system, attractor);
}
void ParticleAttractor_DestroyAll(int system) {
    DestroyAll<TParticleAttractor>(system);
}
bool ParticleAttractor_Exists(int system, int attractor) {
    return Find<TParticleAttractor>(system, attractor) != nullptr;
}
void ParticleAttractor_Clear(int system, int attractor) {
    Clear<TParticleAttractor>(system, attractor);
}
void ParticleAttractor_Position(int system, int attractor, float x, float y) {
    With<TParticleAttractor>(system, attractor, [&](TParticleAttractor& a) {
        a.x = x;
        a.y = y;
    });
}
void ParticleAttractor_Force(int system, int attractor, float force, float distance, int kind,
                             bool additive) {
    With<TParticleAttractor>(system, attractor, [&](TParticleAttractor& a) {
        a.force = force;
        a.distance = distance;
        a.kind = kind;
        a.additive = additive;
    });
}

// ---- destroyers ----

int ParticleDestroyer_Create(int system) {
    return Create<TParticleDestroyer>(system);
}
void ParticleDestroyer_Destroy(int system, int destroyer) {
    Destroy<TParticleDestroyer>(system, destroyer);
}
void ParticleDestroyer_DestroyAll(int system) {
    DestroyAll<TParticleDestroyer>(system);
}
bool ParticleDestroyer_Exists(int system, int destroyer) {
    return Find<TParticleDestroyer>(system, destroyer) != nullptr;
}
void ParticleDestroyer_Clear(int system, int destroyer) {
    Clear<TParticleDestroyer>(system, destroyer);
}
void ParticleDestroyer_Region(int system, int destroyer, float xmin, float xmax, float ymin, float ymax,
                              int shape) {
    With<TParticleDestroyer>(system, destroyer, [&](TParticleDestroyer& d) {
        SetRegion(d, xmin, xmax, ymin, ymax);
        d.shape = shape;
    });
}

// ---- deflectors ----

int ParticleDeflector_Create(int system) {
    return Create<TParticleDeflector>(system);
}
void ParticleDeflector_Destroy(int system, int deflector) {
    Destroy<TParticleDeflector>(system, deflector);
}
void ParticleDeflector_DestroyAll(int system) {
    DestroyAll<TParticleDeflector>(system);
}
bool ParticleDeflector_Exists(int system, int deflector) {
    return Find<TParticleDeflector>(system, deflector) != nullptr;
}
void ParticleDeflector_Clear(int system, int deflector) {
    Clear<TParticleDeflector>(system, deflector);
}
void ParticleDeflector_Region(int system, int deflector, float xmin, float xmax, float ymin, float ymax) {
    With<TParticleDeflector>(system, deflector,
                             [&](TParticleDeflector& d) { SetRegion(d, xmin, xmax, ymin, ymax); });
}
void ParticleDeflector_Kind(int system, int deflector, int kind) {
    With<TParticleDeflector>(system, deflector, [&](TParticleDeflector& d) { d.kind = kind; });
}
void ParticleDeflector_Friction(int system, int deflector, float friction) {
    With<TParticleDeflector>(system, deflector, [&](TParticleDeflector& d) { d.friction = friction; });
}

// ---- changers ----

int ParticleChanger_Create(int system) {
    return Create<TParticleChanger>(system);
}
void ParticleChanger_Destroy(int system, int changer) {
    Destroy<TParticleChanger>(system, changer);
}
void ParticleChanger_DestroyAll(int system) {
    DestroyAll<TParticleChanger>(system);
}
bool ParticleChanger_Exists(int system, int changer) {
    return Find<TParticleChanger>(system, changer) != nullptr;
}
void ParticleChanger_Clear(int system, int changer) {
    Clear<TParticleChanger>(system, changer);
}
void ParticleChanger_Region(int system, int changer, float xmin, float xmax, float ymin, float ymax,
                            int shape) {
    With<TParticleChanger>(system, changer, [&](TParticleChanger& c) {
        SetRegion(c, xmin, xmax, ymin, ymax);
        c.shape = shape;
    });
}
void ParticleChanger_Kind(int system, int changer, int kind) {
    With<TParticleChanger>(system, changer, [&](TParticleChanger& c) { c.kind = kind; });
}
void ParticleChanger_Types(int system, int changer, int fromType, int toType) {
    With<TParticleChanger>(system, changer, [&](TParticleChanger& c) {
        c.fromType = fromType;
        c.toType = toType;
    });
}

// ---- the passes of the update ----

void Particle_Attract(const TParticleSystem& s, const TParticle& p, float& vx, float& vy, float& dx,
                      float& dy) {
    for (const TParticleAttractor& a : s.attractors) {
        if (!a.exists) continue;
        const float ax = a.x - p.x;
        const float ay = a.y - p.y;
        const float d = std::sqrt(ax * ax + ay * ay);
        if (d > a.distance || d == 0.0f || a.force == 0.0f || a.distance == 0.0f) continue;
        float fx = a.force * ax / d;
        float fy = a.force * ay / d;
        const float falloff = (a.distance - d) / a.distance;
        if (a.kind == 1) {
            fx *= falloff;
            fy *= falloff;
        } else if (a.kind == 2) {
            fx *= falloff * falloff;
            fy *= falloff * falloff;
        }
        if (a.additive) {
            vx += fx;
            vy += fy;
        } else {
            dx += fx;
            dy += fy;
        }
    }
}

void Particle_Deflect(TParticleSystem& s) {
    for (const TParticleDeflector& d : s.deflectors) {
        if (!Proper(d)) continue;
        for (int i = 0; i < s.count; ++i) {
            TParticle& p = s.particles[i];
            if (!Inside(d, p)) continue;
            if (d.kind == 1) {
                p.direction = 180.0f - p.direction;
                if (p.direction < 0.0f) p.direction += 360.0f;
                p.x = p.xPrevious - (p.x - p.xPrevious);
            } else {
                p.direction = 360.0f - p.direction;
                p.y = p.yPrevious - (p.y - p.yPrevious);
            }
            p.speed -= d.friction;
            if (p.speed < 0.0f) p.speed = 0.0f;
        }
    }
}

void Particle_Change(TParticleSystem& s) {
    for (const TParticleChanger& c : s.changers) {
        // A changer to a type that does not exist changes nothing.
        if (!Proper(c) || !ParticleType_Exists(c.toType)) continue;
        for (int i = 0; i < s.count; ++i) {
            TParticle& p = s.particles[i];
            if (p.type != c.fromType || !Inside(c, p) || !InsideShape(c, p, c.shape)) continue;
            TParticle made{};
            Particle_Setup(p.x, p.y, c.toType, made);
            p.type = made.type;
            if (c.kind == 0) {
                p = made;
            } else if (c.kind == 1) {
                p.colour = made.colour;
                p.alpha = made.alpha;
                p.size = made.size;
                p.frameStart = made.frameStart;
                p.orientation = made.orientation;
            } else {
                p.speed = made.speed;
                p.direction = made.direction;
            }
        }
    }
}

void Particle_DestroyInRegions(TParticleSystem& s) {
    for (const TParticleDestroyer& d : s.destroyers) {
        if (!Proper(d) || d.shape < 0 || d.shape > 2) continue;
        for (int i = 0; i < s.count; ++i) {
            TParticle& p = s.particles[i];
            if (Inside(d, p) && InsideShape(d, p, d.shape)) p.alive = 0;
        }
    }
    ParticleSystem_RemoveDead(s);
}

void Particle_Streams(int handle, const TParticleSystem& s) {
    for (size_t i = 0; i < s.emitters.size(); ++i) {
        const TParticleEmitter e = s.emitters[i];
        if (e.exists && e.streamNumber != 0) Burst(handle, e, e.type, e.streamNumber);
    }
}
