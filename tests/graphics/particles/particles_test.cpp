// Particle types, systems, their elements and the effects, step by step, without drawing.
#include "core/random.h"
#include "graphics/particles/particles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

class Particles : public testing::Test {
protected:
    void SetUp() override {
        Particle_Init();
        Random_SetSeed(1);
        Effect_SetRoomSource(nullptr);
    }
    void TearDown() override {
        Particle_Init();
        Effect_SetRoomSource(nullptr);
    }
    // A type without random ranges: life, speed and direction fixed.
    static int FixedType(int life, float speed = 0, float direction = 0) {
        const int t = ParticleType_Create();
        ParticleType_Life(t, life, life);
        ParticleType_Speed(t, speed, speed, 0, 0);
        ParticleType_Direction(t, direction, direction, 0, 0);
        return t;
    }
    static const TParticle& P(int system, int i) { return ParticleSystem_Get(system)->particles[i]; }
    static void Steps(int system, int n) {
        for (int i = 0; i < n; ++i)
            ParticleSystem_Update(system);
    }
};

TEST_F(Particles, TypeHandlesAreReusedAndANewTypeNeverBlendsAdditively) {
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ParticleType_Create(), i);
    ParticleType_Blend(2, true);
    ParticleType_Destroy(2);
    EXPECT_FALSE(ParticleType_Exists(2));
    EXPECT_EQ(ParticleType_Create(), 2);
    EXPECT_EQ(ParticleType_SlotCount(), 5);
    EXPECT_EQ(ParticleType_Get(2)->additive, 0);
    // Clearing leaves the blending alone.
    ParticleType_Blend(2, true);
    ParticleType_Clear(2);
    EXPECT_EQ(ParticleType_Get(2)->additive, 1);

    ParticleType_Alpha2(1, 1, 0);
    EXPECT_EQ(ParticleType_Get(1)->alphaMiddle, 0.5f);
    ParticleType_Sprite(1, 3, true, false, false);
    ParticleType_Shape(1, 4);
    EXPECT_EQ(ParticleType_Get(1)->sprite, -1);
    EXPECT_EQ(ParticleType_Get(1)->shape, 4);
    // Handles that name nothing are ignored.
    ParticleType_Size(99, 1, 2, 3, 4);
    ParticleType_Size(-1, 1, 2, 3, 4);
    EXPECT_EQ(ParticleType_Get(99), nullptr);
    EXPECT_FALSE(ParticleType_Exists(-1));
}

TEST_F(Particles, RangesDrawFromTheEnginesGeneratorAndASeedRepeatsARun) {
    // A range given the wrong way round is its first value, and draws nothing.
    Random_SetSeed(5);
    EXPECT_EQ(Particle_RandomRange(0.4f, 0.3f, 0), 0.4f);
    const uint32_t next = Random_Next();
    Random_SetSeed(5);
    EXPECT_EQ(Random_Next(), next);

    float lowest = 1e9f, highest = -1e9f, middle = 0, ends = 0;
    for (int i = 0; i < 3000; ++i) {
        const float g = Particle_RandomRange(10, 20, 1);
        const float inverse = Particle_RandomRange(10, 20, 2);
        lowest = std::min({lowest, g, inverse});
        highest = std::max({highest, g, inverse});
        middle += std::fabs(g - 15) < 2.5f;
        ends += std::fabs(inverse - 15) > 2.5f;
    }
    EXPECT_GE(lowest, 10.0f);
    EXPECT_LT(highest, 20.0f);
    EXPECT_GT(middle, 2000); // the gaussian crowds the middle, the inverse the ends
    EXPECT_GT(ends, 2000);

    const auto run = [] {
        Particle_Init();
        Random_SetSeed(7);
        const int t = ParticleType_Create();
        ParticleType_Life(t, 10, 20);
        ParticleType_Speed(t, 1, 3, 0, 0.5f);
        ParticleType_Direction(t, 0, 360, 2, 10);
        ParticleType_ColorHSV(t, 0, 255, 100, 200, 255, 255);
        const int s = ParticleSystem_Create();
        ParticleSystem_CreateParticles(s, 5, 5, t, 400);
        Steps(s, 3);
        std::string out;
        bool lives = true;
        for (int i = 0; i < ParticleSystem_ParticleCount(s); ++i) {
            lives = lives && P(s, i).life >= 10 && P(s, i).life <= 19;
            out += std::to_string(P(s, i).x) + "," + std::to_string(P(s, i).colour) + ";";
        }
        EXPECT_TRUE(lives);
        return out;
    };
    EXPECT_EQ(run(), run());
}

TEST_F(Particles, ColoursFollowTheirModeOverTheLife) {
    const int s = ParticleSystem_Create();
    const int two = FixedType(10);
    ParticleType_Color2(two, 0x0000FF, 0xFF0000);
    const int three = FixedType(8);
    ParticleType_Color3(three, 0x000000, 0x0000FF, 0x00FF00);
    const int rgb = FixedType(10);
    ParticleType_ColorRGB(rgb, 255, 255, 0, 0, 0, 0);
    const int hsv = FixedType(10);
    ParticleType_ColorHSV(hsv, 0, 0, 0, 0, 255, 255);
    for (int t : {two, three, rgb, hsv})
        ParticleSystem_CreateParticles(s, 0, 0, t, 1);
    EXPECT_EQ(P(s, 0).colour, 0x0000FFu);
    EXPECT_EQ(P(s, 1).colour, 0x000000u);
    EXPECT_EQ(P(s, 2).colour, 0x0000FFu);
    EXPECT_EQ(P(s, 3).colour, 0xFFFFFFu);
    Steps(s, 5);
    EXPECT_EQ(P(s, 0).colour, 0x800080u); // the even mix at half the life
    EXPECT_EQ(P(s, 1).colour, 0x0040BFu); // past the middle: a quarter of the way to the end
    EXPECT_EQ(P(s, 2).colour, 0x0000FFu);
}

TEST_F(Particles, AgeingKillsAndSpawnsStepByStep) {
    const int s = ParticleSystem_Create();
    const int spark = FixedType(5);
    const int once = FixedType(1);
    ParticleType_Death(once, 2, spark);
    ParticleSystem_CreateParticles(s, 3, 4, once, 1);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 1);
    ParticleSystem_Update(s);
    ASSERT_EQ(ParticleSystem_ParticleCount(s), 2); // two death particles where it died
    EXPECT_EQ(P(s, 0).type, spark);
    EXPECT_EQ(P(s, 1).x, 3.0f);
    EXPECT_EQ(P(s, 1).y, 4.0f);
    EXPECT_EQ(P(s, 1).age, 1); // made during the pass and aged in it

    // A step particle of life 1 is made, aged and dies in the same pass.
    ParticleSystem_ClearParticles(s);
    const int trail = FixedType(100000);
    ParticleType_Step(trail, 1, once);
    ParticleType_Death(once, 0, 0);
    ParticleSystem_CreateParticles(s, 0, 0, trail, 1);
    Steps(s, 3);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 1);

    // A negative number makes one particle with chance 1 / -n.
    ParticleType_Step(trail, -4, spark);
    ParticleType_Life(spark, 1000, 1000);
    Steps(s, 800);
    EXPECT_NEAR(ParticleSystem_ParticleCount(s) - 1, 200, 40);
}

TEST_F(Particles, ATypeThatMakesItselfStopsAfterSixteenGenerations) {
    const int s = ParticleSystem_Create();
    const int self = FixedType(100);
    ParticleType_Step(self, 1, self);
    ParticleSystem_CreateParticles(s, 0, 0, self, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 17);
    // Dying into itself: every generation dies in the pass it is made.
    const int mayfly = FixedType(1);
    ParticleType_Death(mayfly, 1, mayfly);
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 0, 0, mayfly, 3);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 0);
}

TEST_F(Particles, MotionGravityAndWiggleStepByStep) {
    const int s = ParticleSystem_Create();
    const int right = FixedType(100, 2, 0);
    const int falling = FixedType(100);
    ParticleType_Gravity(falling, 0.5f, 270);
    const int wiggly = FixedType(100, 1, 0);
    ParticleType_Speed(wiggly, 1, 1, 0.25f, 3);
    ParticleSystem_CreateParticles(s, 10, 10, right, 1);
    ParticleSystem_CreateParticles(s, 0, 0, falling, 1);
    ParticleSystem_CreateParticles(s, 0, 0, wiggly, 1);
    const float fallen[3] = {0.5f, 1.5f, 3.0f};
    for (int step = 0; step < 3; ++step) {
        ParticleSystem_Update(s);
        EXPECT_FLOAT_EQ(P(s, 0).x, 10.0f + 2.0f * (step + 1));
        EXPECT_FLOAT_EQ(P(s, 0).xPrevious, 10.0f + 2.0f * step);
        EXPECT_NEAR(P(s, 1).y, fallen[step], 1e-5);
        EXPECT_FLOAT_EQ(P(s, 1).direction, 270.0f);
        // The wiggle changes the move only: the stored speed keeps its increments.
        EXPECT_FLOAT_EQ(P(s, 2).speed, 1.0f + 0.25f * (step + 1));
    }
    EXPECT_NE(P(s, 2).x, 1.25f + 1.5f + 1.75f);
}

TEST_F(Particles, AttractorsPullIntoMotionOrDisplacementOnly) {
    const int s = ParticleSystem_Create();
    const int resting = FixedType(100);
    const int a = ParticleAttractor_Create(s);
    ParticleAttractor_Position(s, a, 10, 0);
    ParticleAttractor_Force(s, a, 1, 100, 0, false);
    ParticleSystem_CreateParticles(s, 0, 0, resting, 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(P(s, 0).x, 1.0f);
    EXPECT_EQ(P(s, 0).speed, 0.0f);

    ParticleAttractor_Force(s, a, 1, 100, 1, true); // linear fall-off, into the motion
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 0, 0, resting, 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(P(s, 0).speed, 0.9f);
    EXPECT_FLOAT_EQ(P(s, 0).x, 0.9f);

    // A destroyed attractor still leaves the slot: motion is rebuilt from the vector, and a particle at
    // rest keeps its direction.
    ParticleAttractor_Destroy(s, a);
    const int still = FixedType(100, 0, 45);
    const int moving = FixedType(100, 3, 45);
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 0, 0, still, 1);
    ParticleSystem_CreateParticles(s, 0, 0, moving, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(P(s, 0).direction, 45.0f);
    EXPECT_EQ(P(s, 0).speed, 0.0f);
    EXPECT_NEAR(P(s, 1).direction, 45.0f, 1e-4);
    EXPECT_NEAR(P(s, 1).speed, 3.0f, 1e-5);
}

TEST_F(Particles, EmittersBurstAndStreamInTheirRegions) {
    EXPECT_EQ(ParticleEmitter_Create(3), -1);
    const int s = ParticleSystem_Create();
    const int t = FixedType(100);
    const int e = ParticleEmitter_Create(s);
    ParticleEmitter_Region(s, e, 10, 30, 100, 140, 3, 0);
    ParticleEmitter_Burst(s, e, t, 50);
    ASSERT_EQ(ParticleSystem_ParticleCount(s), 50);
    for (int i = 0; i < 50; ++i) // a line runs along the region's diagonal
        EXPECT_NEAR((P(s, i).x - 10) / 20, (P(s, i).y - 100) / 40, 1e-5);
    for (int shape : {1, 2}) {
        for (int distribution : {0, 1, 2}) {
            ParticleSystem_ClearParticles(s);
            ParticleEmitter_Region(s, e, -10, 10, -20, 20, shape, distribution);
            ParticleEmitter_Burst(s, e, t, 200);
            for (int i = 0; i < 200; ++i) {
                const float nx = P(s, i).x / 10, ny = P(s, i).y / 20;
                EXPECT_LE(shape == 1 ? nx * nx + ny * ny : std::fabs(nx) + std::fabs(ny), 1.0001f);
            }
        }
    }
    // A negative burst makes one particle about one time in three.
    ParticleSystem_ClearParticles(s);
    for (int i = 0; i < 3000; ++i)
        ParticleEmitter_Burst(s, e, t, -3);
    EXPECT_NEAR(ParticleSystem_ParticleCount(s), 1000, 90);

    ParticleSystem_ClearParticles(s);
    ParticleEmitter_Stream(s, e, t, 0);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 0);
    ParticleEmitter_Stream(s, e, t, 3);
    Steps(s, 2);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 6);
    ParticleEmitter_Clear(s, e);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 6);
    ParticleEmitter_Destroy(s, e);
    EXPECT_FALSE(ParticleEmitter_Exists(s, e));
    EXPECT_EQ(ParticleEmitter_Create(s), e);
}

TEST_F(Particles, DestroyersAndDeflectorsActInsideTheirRegionsEdgesIncluded) {
    const int s = ParticleSystem_Create();
    const int t = FixedType(100);
    const int d = ParticleDestroyer_Create(s);
    ParticleDestroyer_Region(s, d, 5, 5, 0, 10, 0); // no width: does nothing
    for (float x : {0.0f, 5.0f, 9.0f, 10.0f})
        ParticleSystem_CreateParticles(s, x, 0, t, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 4);
    ParticleDestroyer_Region(s, d, 0, 10, 0, 10, 1); // the ellipse keeps the corners
    ParticleSystem_Update(s);
    ASSERT_EQ(ParticleSystem_ParticleCount(s), 3);
    ParticleDestroyer_Region(s, d, 0, 9, 0, 0.5f, 0);
    ParticleSystem_Update(s);
    ASSERT_EQ(ParticleSystem_ParticleCount(s), 1);
    EXPECT_EQ(P(s, 0).x, 10.0f);

    // A vertical deflector turns direction 45 into 315 and mirrors the vertical part of the move.
    ParticleDestroyer_DestroyAll(s);
    ParticleSystem_ClearParticles(s);
    const int f = ParticleDeflector_Create(s);
    ParticleDeflector_Region(s, f, -5, 5, -5, 5);
    ParticleDeflector_Friction(s, f, 0.5f);
    ParticleSystem_CreateParticles(s, 0, 0, FixedType(100, 2, 45), 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(P(s, 0).direction, 315.0f);
    EXPECT_NEAR(P(s, 0).y, std::sqrt(2.0f), 1e-5);
    EXPECT_FLOAT_EQ(P(s, 0).speed, 1.5f);
    ParticleDeflector_Kind(s, f, 1);
    ParticleSystem_Update(s);
    EXPECT_FLOAT_EQ(P(s, 0).direction, 225.0f);
}

TEST_F(Particles, ChangersTurnTheirFromTypeIntoTheirToType) {
    const int s = ParticleSystem_Create();
    const int from = FixedType(100, 1, 0);
    const int to = FixedType(50, 4, 90);
    ParticleType_Color1(to, 0x123456);
    const int c = ParticleChanger_Create(s);
    EXPECT_TRUE(ParticleChanger_Exists(s, c));
    ParticleChanger_Region(s, c, -100, 100, -100, 100, 0);
    ParticleChanger_Types(s, c, from, 77); // a to-type that does not exist changes nothing
    ParticleSystem_CreateParticles(s, 0, 0, from, 1);
    ParticleSystem_Update(s);
    EXPECT_EQ(P(s, 0).type, from);
    EXPECT_EQ(P(s, 0).life, 100);

    const auto changed = [&](int kind) {
        ParticleChanger_Kind(s, c, kind);
        ParticleChanger_Types(s, c, from, to);
        ParticleSystem_ClearParticles(s);
        ParticleSystem_CreateParticles(s, 0, 0, from, 1);
        Steps(s, 2);
        return P(s, 0);
    };
    TParticle p = changed(0);
    EXPECT_EQ(p.type, to);
    EXPECT_EQ(p.life, 50);
    EXPECT_EQ(p.age, 1); // made afresh in the first update, aged in the second
    p = changed(1);
    EXPECT_EQ(p.colour, 0x123456u);
    EXPECT_EQ(p.speed, 1.0f);
    p = changed(2);
    EXPECT_EQ(p.colour, 0xFFFFFFu);
    EXPECT_EQ(p.speed, 4.0f);
    EXPECT_EQ(p.life, 100);

    // The ellipse is the true ellipse of the region: a corner stays as it is.
    ParticleChanger_Region(s, c, 0, 10, 0, 10, 1);
    ParticleSystem_ClearParticles(s);
    ParticleSystem_CreateParticles(s, 1, 1, FixedType(100), 1);
    ParticleChanger_Types(s, c, P(s, 0).type, to);
    ParticleSystem_Update(s);
    EXPECT_NE(P(s, 0).type, to);
}

TEST_F(Particles, SystemsClearResetAndAreFoundByDepth) {
    const int a = ParticleSystem_Create();
    const int b = ParticleSystem_Create();
    const int hidden = ParticleSystem_Create();
    ParticleSystem_Depth(a, 10);
    ParticleSystem_Depth(b, 10.005f);
    ParticleSystem_Depth(hidden, 50);
    ParticleSystem_AutoDraw(hidden, false);
    EXPECT_EQ(ParticleSystem_MaxDepth(), 10.005f);
    EXPECT_EQ(ParticleSystem_MaxDepthBelow(10.005f), 10.0f);
    EXPECT_EQ(ParticleSystem_MaxDepthBelow(10.0f), -1e9f);

    ParticleSystem_Position(a, 3, 4);
    ParticleSystem_DrawOrder(a, false);
    ParticleSystem_AutoUpdate(a, false);
    ParticleEmitter_Create(a);
    ParticleSystem_CreateParticles(a, 0, 0, FixedType(10), 3);
    ParticleSystem_Clear(a);
    const TParticleSystem* s = ParticleSystem_Get(a);
    EXPECT_EQ(s->count, 0);
    EXPECT_TRUE(s->emitters.empty());
    EXPECT_EQ(s->depth, 0.0f);
    EXPECT_EQ(s->x, 0.0f);
    EXPECT_EQ(s->oldToNew, 1);
    EXPECT_EQ(s->autoUpdate, 1);
    ParticleSystem_Destroy(b);
    EXPECT_FALSE(ParticleSystem_Exists(b));
    EXPECT_EQ(ParticleSystem_Create(), b);
}

TEST_F(Particles, BadHandlesAndCountsAreRefusedWithoutHarm) {
    const int s = ParticleSystem_Create();
    const int t = FixedType(10, 1, 0);
    testing::internal::CaptureStdout();
    ParticleSystem_CreateParticles(9, 0, 0, t, 1);
    ParticleSystem_CreateParticles(s, 0, 0, 9, 1);
    ParticleSystem_CreateParticles(s, 0, 0, t, 0);
    ParticleSystem_CreateParticles(s, 0, 0, t, std::numeric_limits<int>::min()); // a NaN count
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "part_particles_create :: particle system does not exist!\n"
              "part_particles_create :: particle type does not exist!\n");
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 0);
    EXPECT_EQ(ParticleSystem_ParticleCount(9), 0);

    // A type destroyed under its live particles leaves them its cleared record.
    ParticleSystem_CreateParticles(s, 0, 0, t, 2);
    ParticleType_Destroy(t);
    Steps(s, 3);
    EXPECT_EQ(ParticleSystem_ParticleCount(s), 2);
    EXPECT_FLOAT_EQ(P(s, 0).x, 3.0f);
    // A count no memory can hold ends the run as an exhausted heap does.
    const int kept = FixedType(10);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ParticleSystem_CreateParticles(s, 0, 0, kept, std::numeric_limits<int>::max()),
                testing::ExitedWithCode(255), "Out of Memory!");
}

// Effects at the room speeds the factor is taken from.
int g_speed = 30, g_fps = 30;
EffectRoomInfo Room() {
    return EffectRoomInfo{g_speed, 320, 240, g_fps};
}

TEST_F(Particles, EffectsKeepTheirTimeWhateverTheRoomSpeed) {
    Effect_SetRoomSource(Room);
    const std::pair<int, int> rates[] = {{30, 30}, {60, 60}, {60, 40}, {25, 60}, {60, 20}};
    const float factors[] = {1, 0.5f, 0.75f, 1, 1};
    for (size_t i = 0; i < 5; ++i) {
        g_speed = rates[i].first;
        g_fps = rates[i].second;
        EXPECT_EQ(Effect_SpeedFactor(), factors[i]) << i;
    }

    // Kind 12 makes nothing but the two systems and the 35 types.
    g_speed = g_fps = 30;
    Effect_Create(false, 12, 0, 0, 0, 0);
    EXPECT_EQ(ParticleType_SlotCount(), 35);
    EXPECT_EQ(ParticleSystem_Get(0)->depth, 100000.0f);
    EXPECT_EQ(ParticleSystem_Get(1)->depth, -100000.0f);
    EXPECT_EQ(ParticleSystem_ParticleCount(1), 0);

    Effect_Create(false, 0, 40, 50, 0, 0xFF);
    ASSERT_EQ(ParticleSystem_ParticleCount(1), 21);
    for (int i = 0; i < 20; ++i) {
        EXPECT_GE(P(1, i).life, 10);
        EXPECT_LE(P(1, i).life, 14);
        EXPECT_EQ(P(1, i).colour, 0xFFu);
        EXPECT_EQ(P(1, i).speed, 2.0f);
    }
    EXPECT_EQ(P(1, 20).colour, 0u);
    EXPECT_EQ(P(1, 20).life, 15);

    g_speed = g_fps = 60;
    Effect_Create(true, 0, 40, 50, 0, 0xFF);
    const TParticleType* first = ParticleType_Get(P(0, 0).type);
    EXPECT_EQ(first->lifeMin, 20);
    EXPECT_EQ(first->lifeMax, 30);
    EXPECT_EQ(first->speedMin, 1.0f);
    EXPECT_EQ(first->speedIncrement, -0.05f);

    // Sizes other than 0 and 2 are medium; rain falls over the whole room.
    for (int size : {1, 3, -1}) {
        Effect_Clear();
        EXPECT_EQ(ParticleSystem_ParticleCount(0), 0);
        Effect_Create(true, 3, 0, 0, size, 0);
        EXPECT_EQ(ParticleSystem_ParticleCount(0), 150);
    }
    Effect_Clear();
    Effect_Create(true, 10, -500, -500, 2, 0);
    ASSERT_EQ(ParticleSystem_ParticleCount(0), 9);
    for (int i = 0; i < 9; ++i) {
        EXPECT_GE(P(0, i).x, 0.0f);
        EXPECT_LT(P(0, i).x, 384.0f);
        EXPECT_GE(P(0, i).y, -30.0f);
        EXPECT_LT(P(0, i).y, -10.0f);
    }
    // A destroyed effect system is made again by the next effect.
    ParticleSystem_Destroy(0);
    Effect_Create(true, 6, 0, 0, 0, 0);
    EXPECT_EQ(ParticleSystem_ParticleCount(0), 1);
    EXPECT_EQ(ParticleSystem_Get(0)->depth, 100000.0f);
    EXPECT_EQ(ParticleType_Get(P(0, 0).type)->sizeMin, 0.4f);
}

} // namespace
