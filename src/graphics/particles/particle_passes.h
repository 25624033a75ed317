// Inside the particle code: what the system update shares with the types and the elements.
#pragma once

#include "graphics/particles/particles.h"

// The system of a handle that exists; null for any other.
TParticleSystem* ParticleSystem_Find(int system);
// The record of a particle's type: the slot's record even after the type was destroyed (then holding
// the defaults), the defaults for a slot outside the table.
const TParticleType& ParticleType_Record(int type);

// Room for at least count particles; a size the memory manager cannot give ends the run as any
// exhausted heap does.
void ParticleSystem_Reserve(TParticleSystem& system, int64_t count);
// Appends number particles of type at (x, y), made generation: the checks and messages of
// ParticleSystem_CreateParticles.
void ParticleSystem_Spawn(int system, float x, float y, int type, int number, int generation);
// Drops the particles whose alive flag is clear, keeping the order of the others.
void ParticleSystem_RemoveDead(TParticleSystem& system);

// A random real in [0, 1) of the engine's generator, in single precision.
float Particle_Random1();
float Particle_Radians(float degrees);
void Particle_FreeTextures();

// The update passes the elements own, in the order the update runs them.
void Particle_Attract(const TParticleSystem& system, const TParticle& particle, float& vx, float& vy,
                      float& dx, float& dy);
void Particle_Deflect(TParticleSystem& system);
void Particle_Change(TParticleSystem& system);
void Particle_DestroyInRegions(TParticleSystem& system);
void Particle_Streams(int handle, const TParticleSystem& system);
