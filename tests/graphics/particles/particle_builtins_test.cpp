// The particle group of built-ins, registered in its order and called from compiled source.
#include "core/random.h"
#include "graphics/graphics_builtins.h"
#include "graphics/particles/particles.h"
#include "script/code.h"
#include "script/compiler/compile.h"
#include "script/compiler/constants.h"
#include "script/functions.h"
#include "support/fake_world.h"
#include "support/run_code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class ParticleBuiltIns : public testing::Test {
protected:
    void SetUp() override {
        static const bool registered =
            (InitParticleFunctions(), Code_Constant_Count() == 0 && (Code_Constant_Init(), true));
        (void)registered;
        Particle_Init();
        Random_SetSeed(3);
        self = world.Add(100001, 0);
        ScriptWorld_Install(&world);
        TakeFatalErrors();
    }
    void TearDown() override {
        ScriptWorld_Install(nullptr);
        Particle_Init();
    }
    std::string Run(const std::string& program) {
        return CompileAndRun(program, FakeWorld::AsInstance(self));
    }

    FakeWorld world;
    FakeInstance* self = nullptr;
};

TEST_F(ParticleBuiltIns, RegisteredInTheGroupsOrderWithTheirArgumentCounts) {
    int first = -1, last = -1, id = -1;
    ASSERT_TRUE(Code_Function_Find("part_type_create", first));
    ASSERT_TRUE(Code_Function_Find("effect_clear", last));
    EXPECT_EQ(last - first, 81);
    const std::pair<const char*, int> entries[] = {
        {"part_type_color", 21},      {"part_type_alpha", 25},       {"part_system_create", 27},
        {"part_particles_count", 41}, {"part_emitter_create", 42},   {"part_emitter_stream", 49},
        {"part_attractor_force", 56}, {"part_destroyer_region", 62}, {"part_deflector_friction", 70},
        {"part_changer_types", 78},   {"effect_create_below", 79}};
    for (const auto& [name, offset] : entries) {
        ASSERT_TRUE(Code_Function_Find(name, id)) << name;
        EXPECT_EQ(id - first, offset) << name;
    }
    const std::pair<const char*, int> counts[] = {
        {"part_type_orientation", 6}, {"part_type_color_hsv", 7},      {"part_emitter_region", 8},
        {"part_attractor_force", 6},  {"part_changer_destroy_all", 1}, {"effect_clear", 0}};
    for (const auto& [name, count] : counts) {
        ASSERT_TRUE(Code_Function_Find(name, id)) << name;
        EXPECT_EQ(Code_Function_GetArgCount(id), count) << name;
    }
}

TEST_F(ParticleBuiltIns, ArgumentsRoundAndFlagsSwitchAtOneHalf) {
    EXPECT_EQ(
        Run("a = part_type_create(); b = part_type_create(); part_type_shape(a, 2.5); part_type_shape(b, "
            "2.6);"
            "part_type_blend(a, 0.4); part_type_blend(b, 0.5); part_type_life(b, 9.5, 10.5);"
            "part_type_orientation(a, 1.25, 2.5, 0, 0, 0.5); part_type_color_rgb(a, 255, 255, 0, 0, 0, 0);"
            "return b"),
        "1");
    const TParticleType* a = ParticleType_Get(0);
    const TParticleType* b = ParticleType_Get(1);
    EXPECT_EQ(a->shape, 2);
    EXPECT_EQ(b->shape, 3);
    EXPECT_EQ(a->additive, 0);
    EXPECT_EQ(b->additive, 1);
    EXPECT_EQ(b->lifeMin, 10);
    EXPECT_EQ(b->lifeMax, 10);
    EXPECT_EQ(a->orientationMax, 2.5f);
    EXPECT_EQ(a->orientationRelative, 1);
    EXPECT_EQ(a->colourMode, 3);
    EXPECT_EQ(Run("part_type_destroy(0); return part_type_exists(0) * 10 + part_type_exists(1)"), "1");
}

TEST_F(ParticleBuiltIns, SystemsElementsAndEffectsFromSource) {
    EXPECT_EQ(Run("return part_emitter_create(4)"), "-1");
    EXPECT_EQ(Run("ps = part_system_create(); t = part_type_create(); part_type_life(t, 3, 3);"
                  "e = part_emitter_create(ps); part_emitter_region(ps, e, 0, 0, 0, 0, ps_shape_line, "
                  "ps_distr_linear);"
                  "part_emitter_burst(ps, e, t, 4); part_emitter_stream(ps, e, t, 2);"
                  "part_particles_create_color(ps, 1, 2, t, c_red, 1);"
                  "n = part_particles_count(ps); part_system_update(ps);"
                  "return n * 100 + part_particles_count(ps) * 10 + part_emitter_exists(ps, e)"),
              "571");
    // Every element family makes, clears and destroys its elements the same way.
    for (const char* family : {"emitter", "attractor", "destroyer", "deflector", "changer"}) {
        const std::string f = family;
        EXPECT_EQ(Run("ps = part_system_create(); a = part_" + f + "_create(ps); b = part_" + f +
                      "_create(ps);"
                      "part_" +
                      f + "_destroy(ps, a); part_" + f + "_clear(ps, b); r = part_" + f +
                      "_exists(ps, a) * 10 + "
                      "part_" +
                      f + "_exists(ps, b); part_" + f + "_destroy_all(ps); r = r * 10 + part_" + f +
                      "_exists(ps, b);"
                      "part_system_destroy(ps); return r"),
                  "10")
            << family;
    }
    EXPECT_EQ(Run("part_system_destroy(0); effect_create_above(ef_ring, 10, 10, 2, c_white); "
                  "effect_create_below(ef_star, 0, 0, 0, c_white);"
                  "r = part_particles_count(0) * 10 + part_particles_count(1); effect_clear();"
                  "return r * 10 + part_particles_count(1)"),
              "110");
}

} // namespace
