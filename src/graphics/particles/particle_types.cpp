// Particle types: the type table and its setters, the random ranges every particle attribute is drawn
// with, the set-up of a new particle, its colour, and the fourteen shape textures.
#include "core/convert.h"
#include "core/random.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/texture.h"
#include "graphics/image/colour.h"
#include "graphics/particles/particle_passes.h"

#include <cmath>

namespace {

constexpr int kShapeCount = 14;

std::vector<TParticleType> g_types;
TDeviceTexture* g_shapeTextures[kShapeCount] = {};
bool g_shapeTried[kShapeCount] = {}; // made (or failed to be) since the last Particle_FreeTextures

// Every field ParticleType_Clear sets; the additive flag and the last three colour values are kept.
void SetDefaults(TParticleType& t) {
    t.sprite = -1;
    t.animate = 1;
    t.stretch = 0;
    t.randomFrame = 0;
    t.shape = 0;
    t.sizeMin = t.sizeMax = 1;
    t.sizeIncrement = t.sizeWiggle = 0;
    t.xScale = t.yScale = 1;
    t.lifeMin = t.lifeMax = 100;
    t.deathType = t.deathNumber = 0;
    t.stepType = t.stepNumber = 0;
    t.speedMin = t.speedMax = t.speedIncrement = t.speedWiggle = 0;
    t.directionMin = t.directionMax = t.directionIncrement = t.directionWiggle = 0;
    t.gravityAmount = 0;
    t.gravityDirection = 270;
    t.orientationMin = t.orientationMax = t.orientationIncrement = t.orientationWiggle = 0;
    t.orientationRelative = 0;
    t.colourMode = 0;
    t.colours[0] = t.colours[1] = t.colours[2] = 0xFFFFFF;
    t.alphaStart = t.alphaMiddle = t.alphaEnd = 1;
}

const TParticleType& DefaultType() {
    static const TParticleType defaults = [] {
        TParticleType t{};
        SetDefaults(t);
        return t;
    }();
    return defaults;
}

TParticleType* Find(int type) {
    if (type < 0 || static_cast<size_t>(type) >= g_types.size() ||
        g_types[static_cast<size_t>(type)].used != 1)
        return nullptr;
    return &g_types[static_cast<size_t>(type)];
}

template <typename Work> void WithType(int type, Work work) {
    if (TParticleType* t = Find(type)) work(*t);
}

void SetColours(int type, int mode, std::initializer_list<int32_t> values) {
    WithType(type, [&](TParticleType& t) {
        t.colourMode = mode;
        int i = 0;
        for (int32_t v : values)
            t.colours[i++] = v;
    });
}

// A channel drawn from the range of two colour values read as unsigned numbers; its low 8 bits.
uint8_t RandomChannel(int32_t min, int32_t max) {
    const float v = Particle_RandomRange(static_cast<float>(static_cast<uint32_t>(min)),
                                         static_cast<float>(static_cast<uint32_t>(max)), 0);
    return static_cast<uint8_t>(X86_DoubleToInt64(v) & 0xFF);
}

// The loop of the gaussian forms: x in [-3, 3), kept with chance exp(-x^2 / 2).
float GaussianX() {
    for (;;) {
        const float x = (Particle_Random1() - 0.5f) * 6.0f;
        const float y = std::exp(-x * x / 2.0f);
        if (y > Particle_Random1()) return x;
    }
}

} // namespace

float Particle_Random1() {
    return static_cast<float>(Random_Real(1.0));
}

float Particle_Radians(float degrees) {
    return degrees * 3.1415927410125732f / 180.0f;
}

int ParticleType_Create() {
    size_t slot = 0;
    while (slot < g_types.size() && g_types[slot].used == 1)
        ++slot;
    if (slot == g_types.size()) g_types.push_back(TParticleType{});
    TParticleType& t = g_types[slot];
    t.used = 1;
    SetDefaults(t);
    // A reused slot would otherwise keep the destroyed type's blending.
    t.additive = 0;
    return static_cast<int>(slot);
}

void ParticleType_Destroy(int type) {
    if (TParticleType* t = Find(type)) {
        SetDefaults(*t);
        t->used = 0;
    }
}

bool ParticleType_Exists(int type) {
    return Find(type) != nullptr;
}

void ParticleType_Clear(int type) {
    WithType(type, SetDefaults);
}

void ParticleType_FreeAll() {
    std::vector<TParticleType>().swap(g_types);
}

const TParticleType* ParticleType_Get(int type) {
    return Find(type);
}

int ParticleType_SlotCount() {
    return static_cast<int>(g_types.size());
}

const TParticleType& ParticleType_Record(int type) {
    if (type < 0 || static_cast<size_t>(type) >= g_types.size()) return DefaultType();
    return g_types[static_cast<size_t>(type)];
}

void ParticleType_Shape(int type, int shape) {
    WithType(type, [&](TParticleType& t) {
        t.shape = shape;
        t.sprite = -1;
    });
}

void ParticleType_Sprite(int type, int sprite, bool animate, bool stretch, bool random) {
    WithType(type, [&](TParticleType& t) {
        t.sprite = sprite;
        t.animate = animate;
        t.stretch = stretch;
        t.randomFrame = random;
    });
}

void ParticleType_Size(int type, float min, float max, float increment, float wiggle) {
    WithType(type, [&](TParticleType& t) {
        t.sizeMin = min;
        t.sizeMax = max;
        t.sizeIncrement = increment;
        t.sizeWiggle = wiggle;
    });
}

void ParticleType_Scale(int type, float xScale, float yScale) {
    WithType(type, [&](TParticleType& t) {
        t.xScale = xScale;
        t.yScale = yScale;
    });
}

void ParticleType_Life(int type, int min, int max) {
    WithType(type, [&](TParticleType& t) {
        t.lifeMin = min;
        t.lifeMax = max;
    });
}

void ParticleType_Step(int type, int number, int spawnedType) {
    WithType(type, [&](TParticleType& t) {
        t.stepNumber = number;
        t.stepType = spawnedType;
    });
}

void ParticleType_Death(int type, int number, int spawnedType) {
    WithType(type, [&](TParticleType& t) {
        t.deathNumber = number;
        t.deathType = spawnedType;
    });
}

void ParticleType_Speed(int type, float min, float max, float increment, float wiggle) {
    WithType(type, [&](TParticleType& t) {
        t.speedMin = min;
        t.speedMax = max;
        t.speedIncrement = increment;
        t.speedWiggle = wiggle;
    });
}

void ParticleType_Direction(int type, float min, float max, float increment, float wiggle) {
    WithType(type, [&](TParticleType& t) {
        t.directionMin = min;
        t.directionMax = max;
        t.directionIncrement = increment;
        t.directionWiggle = wiggle;
    });
}

void ParticleType_Orientation(int type, float min, float max, float increment, float wiggle, bool relative) {
    WithType(type, [&](TParticleType& t) {
        t.orientationMin = min;
        t.orientationMax = max;
        t.orientationIncrement = increment;
        t.orientationWiggle = wiggle;
        t.orientationRelative = relative;
    });
}

void ParticleType_Gravity(int type, float amount, float direction) {
    WithType(type, [&](TParticleType& t) {
        t.gravityAmount = amount;
        t.gravityDirection = direction;
    });
}

void ParticleType_Color1(int type, uint32_t colour) {
    SetColours(type, 0, {static_cast<int32_t>(colour)});
}

void ParticleType_Color2(int type, uint32_t colour1, uint32_t colour2) {
    SetColours(type, 1, {static_cast<int32_t>(colour1), static_cast<int32_t>(colour2)});
}

void ParticleType_Color3(int type, uint32_t colour1, uint32_t colour2, uint32_t colour3) {
    SetColours(type, 2,
               {static_cast<int32_t>(colour1), static_cast<int32_t>(colour2), static_cast<int32_t>(colour3)});
}

void ParticleType_ColorMix(int type, uint32_t colour1, uint32_t colour2) {
    SetColours(type, 5, {static_cast<int32_t>(colour1), static_cast<int32_t>(colour2)});
}

void ParticleType_ColorRGB(int type, int redMin, int redMax, int greenMin, int greenMax, int blueMin,
                           int blueMax) {
    SetColours(type, 3, {redMin, redMax, greenMin, greenMax, blueMin, blueMax});
}

void ParticleType_ColorHSV(int type, int hueMin, int hueMax, int saturationMin, int saturationMax,
                           int valueMin, int valueMax) {
    SetColours(type, 4, {hueMin, hueMax, saturationMin, saturationMax, valueMin, valueMax});
}

void ParticleType_Alpha1(int type, float alpha) {
    ParticleType_Alpha3(type, alpha, alpha, alpha);
}

void ParticleType_Alpha2(int type, float alpha1, float alpha2) {
    ParticleType_Alpha3(type, alpha1, (alpha1 + alpha2) / 2.0f, alpha2);
}

void ParticleType_Alpha3(int type, float alpha1, float alpha2, float alpha3) {
    WithType(type, [&](TParticleType& t) {
        t.alphaStart = alpha1;
        t.alphaMiddle = alpha2;
        t.alphaEnd = alpha3;
    });
}

void ParticleType_Blend(int type, bool additive) {
    WithType(type, [&](TParticleType& t) { t.additive = additive; });
}

float Particle_RandomRange(float min, float max, int distribution) {
    const float range = max - min;
    if (range <= 0.0f) return min;
    if (distribution == 1) return min + (GaussianX() + 3.0f) / 6.0f * range;
    if (distribution == 2) {
        float x = GaussianX();
        if (x < 0.0f) x += 6.0f;
        return min + x / 6.0f * range;
    }
    return min + Particle_Random1() * range;
}

void Particle_Setup(float x, float y, int type, TParticle& p) {
    const TParticleType* t = Find(type);
    if (!t) return;
    p.alive = 1;
    p.type = type;
    p.x = p.xPrevious = x;
    p.y = p.yPrevious = y;
    p.speed = Particle_RandomRange(t->speedMin, t->speedMax, 0);
    p.direction = Particle_RandomRange(t->directionMin, t->directionMax, 0);
    p.orientation = Particle_RandomRange(t->orientationMin, t->orientationMax, 0);
    p.life = X86_DoubleToInt32(
        Particle_RandomRange(static_cast<float>(t->lifeMin), static_cast<float>(t->lifeMax), 0));
    p.age = 0;
    Particle_ComputeColour(p);
    p.alpha = t->alphaStart;
    p.size = Particle_RandomRange(t->sizeMin, t->sizeMax, 0);
    p.frameStart = t->randomFrame ? static_cast<int32_t>(Random_Int(10000)) : 0;
    p.randomValue = static_cast<int32_t>(Random_Int(100000));
}

void Particle_ComputeColour(TParticle& p) {
    const TParticleType& t = ParticleType_Record(p.type);
    const auto colour = [&t](int i) { return static_cast<uint32_t>(t.colours[i]); };
    if (p.age > 0 && p.life > 0) {
        const float age = static_cast<float>(p.age);
        const float life = static_cast<float>(p.life);
        if (t.colourMode == 1) {
            p.colour = Colour_MergeF(colour(0), colour(1), std::fmin(age / life, 1.0f));
        } else if (t.colourMode == 2) {
            const float f = std::fmin(age * 2.0f / life, 2.0f);
            p.colour = f < 1.0f ? Colour_MergeF(colour(0), colour(1), f)
                                : Colour_MergeF(colour(1), colour(2), f - 1.0f);
        }
        return;
    }
    switch (t.colourMode) {
    case 0:
    case 1:
    case 2:
        p.colour = colour(0);
        break;
    case 3: {
        const uint32_t red = RandomChannel(t.colours[0], t.colours[1]);
        const uint32_t green = RandomChannel(t.colours[2], t.colours[3]);
        const uint32_t blue = RandomChannel(t.colours[4], t.colours[5]);
        p.colour = red + green * 256 + blue * 65536;
        break;
    }
    case 4: {
        HSVTriple hsv;
        hsv.bytes[0] = RandomChannel(t.colours[0], t.colours[1]);
        hsv.bytes[1] = RandomChannel(t.colours[2], t.colours[3]);
        hsv.bytes[2] = RandomChannel(t.colours[4], t.colours[5]);
        p.colour = Colour_FromHSV(hsv);
        break;
    }
    case 5:
        p.colour = Colour_MergeF(colour(0), colour(1), Particle_Random1());
        break;
    default:
        break;
    }
}

void Particle_CreateTextures() {
    for (int s = 0; s < kShapeCount; ++s) {
        GR_D3D_FreeTexture(g_shapeTextures[s]);
        g_shapeTextures[s] = EmbeddedImage_CreateTexture(s + 1);
        g_shapeTried[s] = true;
    }
}

TDeviceTexture* Particle_ShapeTexture(int shape) {
    if (shape < 0 || shape >= kShapeCount) return nullptr;
    // Made once, when a particle of the shape is first drawn on a device: most games draw none.
    if (!g_shapeTextures[shape] && !g_shapeTried[shape] && Frame_State().GR_D3DDevice) {
        g_shapeTried[shape] = true;
        g_shapeTextures[shape] = EmbeddedImage_CreateTexture(shape + 1);
    }
    return g_shapeTextures[shape];
}

void Particle_FreeTextures() {
    for (TDeviceTexture*& texture : g_shapeTextures) {
        GR_D3D_FreeTexture(texture);
        texture = nullptr;
    }
    for (bool& tried : g_shapeTried)
        tried = false;
}
