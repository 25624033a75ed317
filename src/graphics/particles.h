// Particle types, systems, emitters and effects as the run loop, the room drawing and the particle
// actions reach them.
//
// The particle tables are not built yet: creation gives -1 (no handle), every operation on a handle
// does nothing, and the depth queries find no system.
#pragma once

#include <cstdint>

void Particle_Init();
void Particle_CreateTextures();
void Particle_UpdateAll();
void Particle_Free();

int ParticleType_Create();
void ParticleType_Shape(int type, int shape);
void ParticleType_Sprite(int type, int sprite, bool animate, bool stretch, bool random);
void ParticleType_Size(int type, float min, float max, float increment, float wiggle);
void ParticleType_Color2(int type, uint32_t colour1, uint32_t colour2);
void ParticleType_ColorMix(int type, uint32_t colour1, uint32_t colour2);
void ParticleType_Alpha2(int type, float alpha1, float alpha2);
void ParticleType_Life(int type, int min, int max);
void ParticleType_Speed(int type, float min, float max, float increment, float wiggle);
void ParticleType_Direction(int type, float min, float max, float increment, float wiggle);
void ParticleType_Gravity(int type, float amount, float direction);
void ParticleType_Step(int type, int number, int spawnedType);
void ParticleType_Death(int type, int number, int spawnedType);

int ParticleSystem_Create();
void ParticleSystem_Clear(int system);
void ParticleSystem_Depth(int system, float depth);
void ParticleSystem_Destroy(int system);
void ParticleSystem_ClearParticles(int system);
// Depths of the automatically drawn systems; -1e9 when there is none.
float ParticleSystem_MaxDepth();
float ParticleSystem_MaxDepthBelow(float depth);
void ParticleSystem_DrawAtDepth(float depth);

int ParticleEmitter_Create(int system);
void ParticleEmitter_Region(int system, int emitter, float xmin, float xmax, float ymin, float ymax,
                            int shape, int distribution);
void ParticleEmitter_Destroy(int system, int emitter);
void ParticleEmitter_Burst(int system, int emitter, int type, int number);
void ParticleEmitter_Stream(int system, int emitter, int type, int number);

// Builds effect kind 0..11 in the system below (depth 100000) or above (-100000) the instances.
void Effect_Create(bool below, int kind, float x, float y, int size, uint32_t colour);
void Effect_Clear();
