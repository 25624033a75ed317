#include "graphics/particles.h"

// No particle table exists yet (see the header): no handle is ever valid.
void Particle_Init() {}
void Particle_CreateTextures() {}
void Particle_UpdateAll() {}
void Particle_Free() {}

int ParticleType_Create() {
    return -1;
}
void ParticleType_Shape(int, int) {}
void ParticleType_Sprite(int, int, bool, bool, bool) {}
void ParticleType_Size(int, float, float, float, float) {}
void ParticleType_Color2(int, uint32_t, uint32_t) {}
void ParticleType_ColorMix(int, uint32_t, uint32_t) {}
void ParticleType_Alpha2(int, float, float) {}
void ParticleType_Life(int, int, int) {}
void ParticleType_Speed(int, float, float, float, float) {}
void ParticleType_Direction(int, float, float, float, float) {}
void ParticleType_Gravity(int, float, float) {}
void ParticleType_Step(int, int, int) {}
void ParticleType_Death(int, int, int) {}

int ParticleSystem_Create() {
    return -1;
}
void ParticleSystem_Clear(int) {}
void ParticleSystem_Depth(int, float) {}
void ParticleSystem_Destroy(int) {}
void ParticleSystem_ClearParticles(int) {}
float ParticleSystem_MaxDepth() {
    return -1e9f;
}
float ParticleSystem_MaxDepthBelow(float) {
    return -1e9f;
}
void ParticleSystem_DrawAtDepth(float) {}

int ParticleEmitter_Create(int) {
    return -1;
}
void ParticleEmitter_Region(int, int, float, float, float, float, int, int) {}
void ParticleEmitter_Destroy(int, int) {}
void ParticleEmitter_Burst(int, int, int, int) {}
void ParticleEmitter_Stream(int, int, int, int) {}

void Effect_Create(bool, int, float, float, int, uint32_t) {}
void Effect_Clear() {}
