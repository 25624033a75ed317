// Particle systems: the system table, the particle storage, one update (ageing, motion, the element
// passes, looks, streams), the drawing of a system and the depth queries of the room drawing.
#include "core/console.h"
#include "core/convert.h"
#include "core/memory.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/transform.h"
#include "graphics/frame/vertex.h"
#include "graphics/image/colour.h"
#include "graphics/particles/particle_passes.h"
#include "graphics/sprite/sprite.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>

namespace {

constexpr float kNoDepth = -1e9f;
// Step and death particles made within one ageing pass stop at this many generations, so that a type
// that makes itself (directly or through others) cannot keep the pass going for ever.
constexpr int kMaxGeneration = 16;

std::vector<std::unique_ptr<TParticleSystem>> g_systems;

float Cos(float radians) {
    return static_cast<float>(std::cos(static_cast<double>(radians)));
}
float Sin(float radians) {
    return static_cast<float>(std::sin(static_cast<double>(radians)));
}

// The wiggle wave: over k = 0 .. 4 div - 1 it rises from -1 to 1 and falls back.
float Tri(int k, int div) {
    float t = static_cast<float>(k) / static_cast<float>(div);
    if (t > 2.0f) t = 4.0f - t;
    return t - 1.0f;
}

// k mod m in 0 .. m - 1, k being a sum of an age and a multiple of the random value.
int Phase(int32_t age, int factor, int32_t randomValue, int m) {
    const int64_t k = (static_cast<int64_t>(age) + static_cast<int64_t>(factor) * randomValue) % m;
    return static_cast<int>(k < 0 ? k + m : k);
}

void FreeParticles(TParticleSystem& s) {
    MEM_FREE(s.particles);
    s.particles = nullptr;
    s.capacity = 0;
    s.count = 0;
}

void Reset(TParticleSystem& s) {
    FreeParticles(s);
    std::vector<TParticleEmitter>().swap(s.emitters);
    std::vector<TParticleAttractor>().swap(s.attractors);
    std::vector<TParticleDestroyer>().swap(s.destroyers);
    std::vector<TParticleDeflector>().swap(s.deflectors);
    std::vector<TParticleChanger>().swap(s.changers);
    s.oldToNew = 1;
    s.depth = 0;
    s.x = s.y = 0;
    s.autoUpdate = 1;
    s.autoDraw = 1;
}

template <typename Work> void WithSystem(int system, Work work) {
    if (TParticleSystem* s = ParticleSystem_Find(system)) work(*s);
}

// Makes particles of a type by a step or death number: n > 0 makes n, n < 0 one with chance 1 / -n.
void SpawnByNumber(int system, const TParticle& parent, int number, int type) {
    if (number == 0 || parent.generation >= kMaxGeneration) return;
    if (number < 0) {
        if (X86_DoubleToInt64(Particle_Random1() * -static_cast<float>(number)) != 0) return;
        number = 1;
    }
    ParticleSystem_Spawn(system, parent.x, parent.y, type, number, parent.generation + 1);
}

void Age(int handle, TParticleSystem& s) {
    // The count is read afresh each round: particles made here are aged in this pass too. The array
    // may move while particles are made, so the particle is copied first.
    for (int i = 0; i < s.count; ++i) {
        TParticle& p = s.particles[i];
        p.age = Wrap_Add32(p.age, 1);
        const TParticleType& t = ParticleType_Record(p.type);
        if (p.age >= p.life) {
            p.alive = 0;
            SpawnByNumber(handle, TParticle(p), t.deathNumber, t.deathType);
        } else {
            SpawnByNumber(handle, TParticle(p), t.stepNumber, t.stepType);
        }
    }
    ParticleSystem_RemoveDead(s);
}

void VectorToMotion(float vx, float vy, TParticle& p) {
    float direction = p.direction;
    if (vx != 0.0f) {
        const float a = static_cast<float>(std::atan2(vy, vx) * 180.0f / 3.1415927410125732f);
        direction = a > 0.0f ? 360.0f - a : -a;
    } else if (vy > 0.0f) {
        direction = 270.0f;
    } else if (vy < 0.0f) {
        direction = 90.0f;
    }
    p.direction = direction - std::floor(direction / 360.0f) * 360.0f;
    p.speed = std::sqrt(vx * vx + vy * vy);
}

void Move(const TParticleSystem& s) {
    for (int i = 0; i < s.count; ++i) {
        TParticle& p = s.particles[i];
        const TParticleType& t = ParticleType_Record(p.type);
        p.xPrevious = p.x;
        p.yPrevious = p.y;
        p.speed += t.speedIncrement;
        if (p.speed < 0.0f) p.speed = 0.0f;
        p.direction += t.directionIncrement;
        p.orientation += t.orientationIncrement;
        float dx = 0.0f;
        float dy = 0.0f;
        if (t.gravityAmount != 0.0f || !s.attractors.empty()) {
            const float d = Particle_Radians(p.direction);
            float vx = Cos(d) * p.speed;
            float vy = -Sin(d) * p.speed;
            if (t.gravityAmount != 0.0f) {
                const float g = Particle_Radians(t.gravityDirection);
                vx += Cos(g) * t.gravityAmount;
                vy += -Sin(g) * t.gravityAmount;
            }
            Particle_Attract(s, p, vx, vy, dx, dy);
            VectorToMotion(vx, vy, p);
        }
        const float a = Tri(Phase(p.age, 3, p.randomValue, 24), 6);
        const float b = Tri(Phase(p.age, 4, p.randomValue, 20), 5);
        const float speed = b * t.speedWiggle + p.speed;
        const float direction = Particle_Radians(a * t.directionWiggle + p.direction);
        p.x = p.x + Cos(direction) * speed + dx;
        p.y = p.y - Sin(direction) * speed + dy;
    }
}

void UpdateLooks(const TParticleSystem& s) {
    for (int i = 0; i < s.count; ++i) {
        TParticle& p = s.particles[i];
        const TParticleType& t = ParticleType_Record(p.type);
        p.size += t.sizeIncrement;
        if (p.size < 0.0f) p.size = 0.0f;
        Particle_ComputeColour(p);
        if (p.life > 0) {
            const float f = static_cast<float>(p.age) * 2.0f / static_cast<float>(p.life);
            p.alpha = f < 1.0f ? (1.0f - f) * t.alphaStart + f * t.alphaMiddle
                               : (2.0f - f) * t.alphaMiddle + (f - 1.0f) * t.alphaEnd;
        } else {
            p.alpha = t.alphaMiddle;
        }
    }
}

// The additive blending the running drawing pass has switched on.
struct BlendState {
    bool additive = false;
    void Use(bool wanted) {
        if (wanted == additive) return;
        Graphics::SetBlendMode(wanted ? 1 : 0);
        additive = wanted;
    }
};

void DrawShape(const TParticleSystem& s, const TParticle& p, const TParticleType& t, TDeviceTexture* texture,
               float angle, float size) {
    auto* v = static_cast<Vertex24*>(Graphics::AllocVerts(4, texture, 24, 6));
    if (!v) return;
    const float cx = static_cast<float>(X86_DoubleToInt32(p.x + s.x));
    const float cy = static_cast<float>(X86_DoubleToInt32(p.y + s.y));
    const float hx = 32.0f * t.xScale * size;
    const float hy = 32.0f * t.yScale * size;
    const float lx[6] = {-hx, hx, hx, hx, -hx, -hx};
    const float ly[6] = {-hy, -hy, hy, hy, hy, -hy};
    const float u[6] = {0, 1, 1, 1, 0, 0};
    const float w[6] = {0, 0, 1, 1, 1, 0};
    const uint32_t colour = ColourToARGB(p.colour, p.alpha);
    const float z = Transform_State().GR_Transform.depth2D;
    const bool turned = std::fabs(angle) >= 0.01f;
    const float a = angle * 0.01745329238474369f;
    const float c = turned ? Cos(a) : 1.0f;
    const float sn = turned ? Sin(a) : 0.0f;
    for (int i = 0; i < 6; ++i) {
        const float x = turned ? cx + lx[i] * c + ly[i] * sn : cx + lx[i];
        const float y = turned ? cy - lx[i] * sn + ly[i] * c : cy + ly[i];
        v[i] = Vertex24{x, y, z, colour, u[i], w[i]};
    }
}

void DrawSprite(const TParticleSystem& s, const TParticle& p, const TParticleType& t, CSprite& sprite,
                float angle, float size) {
    int64_t frame = p.frameStart;
    if (t.animate && t.stretch)
        frame += static_cast<int64_t>(p.age) * sprite.frameCount / p.life;
    else if (t.animate)
        frame += p.age;
    sprite.Draw(static_cast<int32_t>(static_cast<uint32_t>(frame)), p.x + s.x, p.y + s.y, t.xScale * size,
                t.yScale * size, angle, p.colour, p.alpha);
}

// A particle that cannot be drawn (no life left, a sprite without frames, a shape outside 0..13 or
// one whose texture was not made) is passed over.
void DrawParticle(const TParticleSystem& s, const TParticle& p, BlendState& blend) {
    if (p.life < 1) return;
    const TParticleType& t = ParticleType_Record(p.type);
    CSprite* sprite = Sprite_Data(t.sprite);
    TDeviceTexture* texture = nullptr;
    if (sprite) {
        if (sprite->frameCount <= 0) return;
    } else {
        texture = Particle_ShapeTexture(t.shape);
        if (!texture) return;
    }
    const float w = Tri(Phase(p.age, 2, p.randomValue, 16), 4);
    const float v = Tri(Phase(p.age, 1, p.randomValue, 16), 4);
    const float angle =
        p.orientation + (t.orientationRelative ? p.direction : 0.0f) + w * t.orientationWiggle;
    const float size = v * t.sizeWiggle + p.size;
    blend.Use(t.additive != 0);
    if (sprite)
        DrawSprite(s, p, t, *sprite, angle, size);
    else
        DrawShape(s, p, t, texture, angle, size);
}

} // namespace

TParticleSystem::~TParticleSystem() {
    MEM_FREE(particles);
}

TParticleSystem* ParticleSystem_Find(int system) {
    if (system < 0 || static_cast<size_t>(system) >= g_systems.size()) return nullptr;
    TParticleSystem* s = g_systems[static_cast<size_t>(system)].get();
    return s->exists == 1 ? s : nullptr;
}

void ParticleSystem_Reserve(TParticleSystem& s, int64_t count) {
    if (count <= s.capacity) return;
    // At least 100 slots beyond the live particles and half the capacity more, so that particles
    // appended one by one move the array rarely.
    const int64_t wanted =
        std::max({count, static_cast<int64_t>(s.count) + 100, s.capacity + s.capacity / int64_t{2}});
    const uint64_t bytes = static_cast<uint64_t>(wanted) * sizeof(TParticle);
    if (wanted > INT32_MAX || bytes > MemoryManager::kMaxBlockSize) MemoryManager::OutOfMemory();
    s.particles = static_cast<TParticle*>(MEM_REALLOC(s.particles, static_cast<size_t>(bytes)));
    s.capacity = static_cast<int32_t>(wanted);
}

void ParticleSystem_Spawn(int system, float x, float y, int type, int number, int generation) {
    TParticleSystem* s = ParticleSystem_Find(system);
    if (!s) {
        DebugConsole->Output("part_particles_create :: particle system does not exist!\n");
        return;
    }
    if (!ParticleType_Exists(type)) {
        DebugConsole->Output("part_particles_create :: particle type does not exist!\n");
        return;
    }
    if (number < 1) return;
    ParticleSystem_Reserve(*s, static_cast<int64_t>(s->count) + number);
    for (int i = 0; i < number; ++i) {
        TParticle& p = s->particles[s->count++];
        p = TParticle{};
        Particle_Setup(x, y, type, p);
        p.generation = generation;
    }
}

void ParticleSystem_RemoveDead(TParticleSystem& s) {
    int kept = 0;
    for (int i = 0; i < s.count; ++i) {
        if (!s.particles[i].alive) continue;
        if (kept != i) s.particles[kept] = s.particles[i];
        s.particles[kept++].generation = 0;
    }
    s.count = kept;
}

int ParticleSystem_Create() {
    size_t slot = 0;
    while (slot < g_systems.size() && g_systems[slot]->exists == 1)
        ++slot;
    if (slot == g_systems.size()) g_systems.push_back(std::make_unique<TParticleSystem>());
    TParticleSystem& s = *g_systems[slot];
    s.exists = 1;
    Reset(s);
    return static_cast<int>(slot);
}

void ParticleSystem_Destroy(int system) {
    WithSystem(system, [](TParticleSystem& s) {
        Reset(s);
        s.exists = 0;
    });
}

bool ParticleSystem_Exists(int system) {
    return ParticleSystem_Find(system) != nullptr;
}

void ParticleSystem_Clear(int system) {
    WithSystem(system, Reset);
}

void ParticleSystem_DestroyAll() {
    g_systems.clear();
    g_systems.shrink_to_fit();
}

const TParticleSystem* ParticleSystem_Get(int system) {
    return ParticleSystem_Find(system);
}

void ParticleSystem_DrawOrder(int system, bool oldToNew) {
    WithSystem(system, [&](TParticleSystem& s) { s.oldToNew = oldToNew; });
}

void ParticleSystem_Depth(int system, float depth) {
    WithSystem(system, [&](TParticleSystem& s) { s.depth = depth; });
}

void ParticleSystem_Position(int system, float x, float y) {
    WithSystem(system, [&](TParticleSystem& s) {
        s.x = x;
        s.y = y;
    });
}

void ParticleSystem_AutoUpdate(int system, bool on) {
    WithSystem(system, [&](TParticleSystem& s) { s.autoUpdate = on; });
}

void ParticleSystem_AutoDraw(int system, bool on) {
    WithSystem(system, [&](TParticleSystem& s) { s.autoDraw = on; });
}

void ParticleSystem_CreateParticles(int system, float x, float y, int type, int number) {
    ParticleSystem_Spawn(system, x, y, type, number, 0);
}

void ParticleSystem_CreateParticlesColour(int system, float x, float y, int type, uint32_t colour,
                                          int number) {
    TParticleSystem* s = ParticleSystem_Find(system);
    const int first = s ? s->count : 0;
    ParticleSystem_Spawn(system, x, y, type, number, 0);
    if (!s) return;
    for (int i = first; i < s->count; ++i)
        s->particles[i].colour = colour;
}

void ParticleSystem_ClearParticles(int system) {
    WithSystem(system, FreeParticles);
}

int ParticleSystem_ParticleCount(int system) {
    const TParticleSystem* s = ParticleSystem_Find(system);
    return s ? s->count : 0;
}

void ParticleSystem_Update(int system) {
    TParticleSystem* s = ParticleSystem_Find(system);
    if (!s) return;
    Age(system, *s);
    Move(*s);
    if (!s->deflectors.empty()) Particle_Deflect(*s);
    if (!s->changers.empty()) Particle_Change(*s);
    if (!s->destroyers.empty()) Particle_DestroyInRegions(*s);
    UpdateLooks(*s);
    Particle_Streams(system, *s);
}

void ParticleSystem_DrawIt(int system) {
    const TParticleSystem* s = ParticleSystem_Find(system);
    if (!s) return;
    const bool interpolate = Graphics::GetInterpolation();
    BlendState blend;
    if (s->oldToNew) {
        for (int i = 0; i < s->count; ++i)
            DrawParticle(*s, s->particles[i], blend);
    } else {
        for (int i = s->count - 1; i >= 0; --i)
            DrawParticle(*s, s->particles[i], blend);
    }
    Graphics::SetBlendMode(0);
    Graphics::SetInterpolation(interpolate);
}

void Particle_UpdateAll() {
    for (size_t i = 0; i < g_systems.size(); ++i)
        if (g_systems[i]->exists == 1 && g_systems[i]->autoUpdate) ParticleSystem_Update(static_cast<int>(i));
}

float ParticleSystem_MaxDepth() {
    float best = kNoDepth;
    for (const auto& s : g_systems)
        if (s->exists == 1 && s->autoDraw && s->depth > best) best = s->depth;
    return best;
}

float ParticleSystem_MaxDepthBelow(float depth) {
    float best = kNoDepth;
    for (const auto& s : g_systems)
        if (s->exists == 1 && s->autoDraw && s->depth < depth && s->depth > best) best = s->depth;
    return best;
}

void ParticleSystem_DrawAtDepth(float depth) {
    for (size_t i = 0; i < g_systems.size(); ++i) {
        const TParticleSystem& s = *g_systems[i];
        if (s.exists == 1 && s.autoDraw && std::fabs(s.depth - depth) < 0.01f)
            ParticleSystem_DrawIt(static_cast<int>(i));
    }
}

void Particle_Init() {
    ParticleType_FreeAll();
    ParticleSystem_DestroyAll();
    Effect_Reset();
}

void Particle_Free() {
    ParticleType_FreeAll();
    ParticleSystem_DestroyAll();
    Effect_Reset();
    Particle_FreeTextures();
}
