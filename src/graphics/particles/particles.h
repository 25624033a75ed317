// Folder particles/: particle types and systems, their emitters and other elements, and the effects.
//
// Particle types, particle systems with their emitters, attractors, destroyers, deflectors and changers,
// and the ready-made effects: the tables the part_* and effect_* built-ins reach, the update the game
// step runs and the drawing the room drawing interleaves with the instances by depth.
//
// Types and systems live in two global tables addressed by slot index; a freed slot is reused, lowest
// first. Every operation on a handle that names nothing does nothing (creation of particles says so on
// the debug console). Main thread only.
#pragma once

#include <cstdint>
#include <vector>

struct TDeviceTexture;

// The shared description particles are made from. Defaults are those ParticleType_Clear sets.
struct TParticleType {
    uint8_t used;
    int32_t sprite; // drawn with this sprite when it exists; the shape is then ignored
    uint8_t animate;
    uint8_t stretch;
    uint8_t randomFrame;
    int32_t shape; // 0..13
    float sizeMin, sizeMax, sizeIncrement, sizeWiggle;
    float xScale, yScale;
    int32_t lifeMin, lifeMax;
    int32_t deathType, deathNumber;
    int32_t stepType, stepNumber;
    float speedMin, speedMax, speedIncrement, speedWiggle;
    float directionMin, directionMax, directionIncrement, directionWiggle;
    float gravityAmount, gravityDirection;
    float orientationMin, orientationMax, orientationIncrement, orientationWiggle;
    uint8_t orientationRelative;
    // 0 one colour, 1 two colours over the life, 2 three, 3 red/green/blue ranges, 4 hue/saturation/
    // value ranges, 5 a random mix of two colours.
    int32_t colourMode;
    int32_t colours[6];
    float alphaStart, alphaMiddle, alphaEnd;
    uint8_t additive;
};

// One live particle. Positions are relative to the system's position.
struct TParticle {
    uint8_t alive;
    int32_t type;
    int32_t age;
    int32_t life;
    float x, y;
    float xPrevious, yPrevious;
    float speed;
    float direction;
    float orientation;
    uint32_t colour; // script colour
    float alpha;
    float size;
    int32_t frameStart;
    int32_t randomValue; // 0..99999, the phase of every wiggle
    // How many step or death particles stand between this one and a particle that was alive when the
    // running ageing pass began (0 outside that pass).
    int32_t generation;
};

// The elements of a system. The default values are the cleared state; exists is set by creation.
struct TParticleEmitter {
    uint8_t exists = 0;
    int32_t streamNumber = 0;
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int32_t distribution = 0; // 0 linear, 1 gaussian, 2 inverse gaussian
    int32_t shape = 0;        // 0 rectangle, 1 ellipse, 2 diamond, 3 line
    int32_t type = 0;
};
struct TParticleAttractor {
    uint8_t exists = 0;
    float x = 0, y = 0;
    float force = 0;
    float distance = 0;
    int32_t kind = 0; // 0 constant, 1 linear, 2 quadratic
    uint8_t additive = 1;
};
struct TParticleDestroyer {
    uint8_t exists = 0;
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int32_t shape = 0;
};
struct TParticleDeflector {
    uint8_t exists = 0;
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int32_t kind = 0; // 0 vertical, 1 horizontal
    float friction = 0;
};
struct TParticleChanger {
    uint8_t exists = 0;
    float xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    int32_t shape = 0;
    int32_t fromType = -1;
    int32_t toType = -1;
    int32_t kind = 0; // 0 all, 1 looks, 2 motion
};

struct TParticleSystem {
    TParticleSystem() = default;
    TParticleSystem(const TParticleSystem&) = delete;
    TParticleSystem& operator=(const TParticleSystem&) = delete;
    ~TParticleSystem();

    uint8_t exists = 0;
    // The live particles first, in creation order; the block comes from the memory manager.
    TParticle* particles = nullptr;
    int32_t capacity = 0;
    int32_t count = 0;
    std::vector<TParticleEmitter> emitters;
    std::vector<TParticleAttractor> attractors;
    std::vector<TParticleDestroyer> destroyers;
    std::vector<TParticleDeflector> deflectors;
    std::vector<TParticleChanger> changers;
    uint8_t oldToNew = 1; // drawing order: oldest first
    float depth = 0;
    float x = 0, y = 0; // added to every particle when drawn
    uint8_t autoUpdate = 1;
    uint8_t autoDraw = 1;
};

// Start-up (frees every type and system), every shape texture at once (otherwise each is made when first
// asked for), the update of every automatically updated system once per step, and shut-down.
void Particle_Init();
void Particle_CreateTextures();
void Particle_UpdateAll();
void Particle_Free();
// The texture of shape 0..13, made from the embedded images when first asked for while there is a
// device; null for another shape or when it cannot be made.
TDeviceTexture* Particle_ShapeTexture(int shape);

// ---- types ----
int ParticleType_Create();
void ParticleType_Destroy(int type);
bool ParticleType_Exists(int type);
void ParticleType_Clear(int type);
void ParticleType_FreeAll();
// The type of a handle that is in use; null for any other.
const TParticleType* ParticleType_Get(int type);
// Slots in the type table, used or not.
int ParticleType_SlotCount();

// The setters store their arguments unchecked; a handle not in use is ignored.
void ParticleType_Shape(int type, int shape);
void ParticleType_Sprite(int type, int sprite, bool animate, bool stretch, bool random);
void ParticleType_Size(int type, float min, float max, float increment, float wiggle);
void ParticleType_Scale(int type, float xScale, float yScale);
void ParticleType_Life(int type, int min, int max);
void ParticleType_Step(int type, int number, int spawnedType);
void ParticleType_Death(int type, int number, int spawnedType);
void ParticleType_Speed(int type, float min, float max, float increment, float wiggle);
void ParticleType_Direction(int type, float min, float max, float increment, float wiggle);
void ParticleType_Orientation(int type, float min, float max, float increment, float wiggle, bool relative);
void ParticleType_Gravity(int type, float amount, float direction);
void ParticleType_Color1(int type, uint32_t colour);
void ParticleType_Color2(int type, uint32_t colour1, uint32_t colour2);
void ParticleType_Color3(int type, uint32_t colour1, uint32_t colour2, uint32_t colour3);
void ParticleType_ColorMix(int type, uint32_t colour1, uint32_t colour2);
void ParticleType_ColorRGB(int type, int redMin, int redMax, int greenMin, int greenMax, int blueMin,
                           int blueMax);
void ParticleType_ColorHSV(int type, int hueMin, int hueMax, int saturationMin, int saturationMax,
                           int valueMin, int valueMax);
void ParticleType_Alpha1(int type, float alpha);
void ParticleType_Alpha2(int type, float alpha1, float alpha2);
void ParticleType_Alpha3(int type, float alpha1, float alpha2, float alpha3);
void ParticleType_Blend(int type, bool additive);

// A value of [min, max) with the distribution (0 linear, 1 gaussian, 2 inverse gaussian, any other
// linear) from the engine's generator; min itself when max is not above min.
float Particle_RandomRange(float min, float max, int distribution);
// Fills the particle from the type (nothing for a type not in use).
void Particle_Setup(float x, float y, int type, TParticle& particle);
void Particle_ComputeColour(TParticle& particle);

// ---- systems ----
int ParticleSystem_Create();
void ParticleSystem_Destroy(int system);
bool ParticleSystem_Exists(int system);
void ParticleSystem_Clear(int system);
void ParticleSystem_DestroyAll();
// The system of a handle that exists; null for any other.
const TParticleSystem* ParticleSystem_Get(int system);
void ParticleSystem_DrawOrder(int system, bool oldToNew);
void ParticleSystem_Depth(int system, float depth);
void ParticleSystem_Position(int system, float x, float y);
void ParticleSystem_AutoUpdate(int system, bool on);
void ParticleSystem_AutoDraw(int system, bool on);
void ParticleSystem_CreateParticles(int system, float x, float y, int type, int number);
void ParticleSystem_CreateParticlesColour(int system, float x, float y, int type, uint32_t colour,
                                          int number);
void ParticleSystem_ClearParticles(int system);
int ParticleSystem_ParticleCount(int system);
void ParticleSystem_Update(int system);
void ParticleSystem_DrawIt(int system);
// Depths of the automatically drawn systems; -1e9 when there is none.
float ParticleSystem_MaxDepth();
float ParticleSystem_MaxDepthBelow(float depth);
// Draws every automatically drawn system whose depth lies within 0.01 of depth, in handle order.
void ParticleSystem_DrawAtDepth(float depth);

// ---- elements: every operation ignores a system that does not exist and an element that does not ----
int ParticleEmitter_Create(int system);
void ParticleEmitter_Destroy(int system, int emitter);
void ParticleEmitter_DestroyAll(int system);
bool ParticleEmitter_Exists(int system, int emitter);
void ParticleEmitter_Clear(int system, int emitter);
void ParticleEmitter_Region(int system, int emitter, float xmin, float xmax, float ymin, float ymax,
                            int shape, int distribution);
void ParticleEmitter_Burst(int system, int emitter, int type, int number);
void ParticleEmitter_Stream(int system, int emitter, int type, int number);

int ParticleAttractor_Create(int system);
void ParticleAttractor_Destroy(int system, int attractor);
void ParticleAttractor_DestroyAll(int system);
bool ParticleAttractor_Exists(int system, int attractor);
void ParticleAttractor_Clear(int system, int attractor);
void ParticleAttractor_Position(int system, int attractor, float x, float y);
void ParticleAttractor_Force(int system, int attractor, float force, float distance, int kind, bool additive);

int ParticleDestroyer_Create(int system);
void ParticleDestroyer_Destroy(int system, int destroyer);
void ParticleDestroyer_DestroyAll(int system);
bool ParticleDestroyer_Exists(int system, int destroyer);
void ParticleDestroyer_Clear(int system, int destroyer);
void ParticleDestroyer_Region(int system, int destroyer, float xmin, float xmax, float ymin, float ymax,
                              int shape);

int ParticleDeflector_Create(int system);
void ParticleDeflector_Destroy(int system, int deflector);
void ParticleDeflector_DestroyAll(int system);
bool ParticleDeflector_Exists(int system, int deflector);
void ParticleDeflector_Clear(int system, int deflector);
void ParticleDeflector_Region(int system, int deflector, float xmin, float xmax, float ymin, float ymax);
void ParticleDeflector_Kind(int system, int deflector, int kind);
void ParticleDeflector_Friction(int system, int deflector, float friction);

int ParticleChanger_Create(int system);
void ParticleChanger_Destroy(int system, int changer);
void ParticleChanger_DestroyAll(int system);
bool ParticleChanger_Exists(int system, int changer);
void ParticleChanger_Clear(int system, int changer);
void ParticleChanger_Region(int system, int changer, float xmin, float xmax, float ymin, float ymax,
                            int shape);
void ParticleChanger_Kind(int system, int changer, int kind);
void ParticleChanger_Types(int system, int changer, int fromType, int toType);

// ---- effects ----
// What the effects read of the running game. The game world installs the source at start-up; without
// one a room of speed 0 and size 0 x 0 is assumed.
struct EffectRoomInfo {
    int speed;
    int width;
    int height;
    int fps; // frames counted in the last whole second
};
void Effect_SetRoomSource(EffectRoomInfo (*source)());
// Builds effect kind 0..11 in the system below (depth 100000) or above (-100000) the instances.
void Effect_Create(bool below, int kind, float x, float y, int size, uint32_t colour);
// Removes the particles of both effect systems.
void Effect_Clear();
// The factor that keeps effects the same length in time whatever the room speed.
float Effect_SpeedFactor();
// Forgets the effect systems and types (after the tables were freed).
void Effect_Reset();
