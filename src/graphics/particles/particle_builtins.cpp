// The particle group of built-ins: part_type_*, part_system_*, part_particles_*, the five element
// families and the effects. Handles, shapes, kinds, numbers and colours are rounded; sizes, speeds,
// angles, alphas, depths and positions are taken in single precision; flags are set at 0.5 or more.
#include "graphics/graphics_builtins.h"
#include "graphics/particles/particles.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

int I(const BuiltInArgs& args, int i) {
    return args.Rounded(i);
}
float F(const BuiltInArgs& args, int i) {
    return args.Float(i);
}
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(args.Rounded(i));
}
void Set(ScriptValue& result, double value) {
    Value_SetReal(&result, value);
}

// ---- the shapes many of them share: making a type or system, and one handle in ----

template <int (*Make)()> void MakeHandle(ScriptValue& result, const BuiltInArgs&) {
    Set(result, Make());
}
template <void (*Work)(int)> void OnHandle(ScriptValue&, const BuiltInArgs& args) {
    Work(I(args, 0));
}
template <bool (*Exists)(int)> void HandleExists(ScriptValue& result, const BuiltInArgs& args) {
    Set(result, Exists(I(args, 0)) ? 1 : 0);
}
// The element operations take the system handle first.
template <int (*Create)(int)> void CreateElement(ScriptValue& result, const BuiltInArgs& args) {
    Set(result, Create(I(args, 0)));
}
template <void (*Work)(int, int)> void OnElement(ScriptValue&, const BuiltInArgs& args) {
    Work(I(args, 0), I(args, 1));
}
template <bool (*Exists)(int, int)> void ElementExists(ScriptValue& result, const BuiltInArgs& args) {
    Set(result, Exists(I(args, 0), I(args, 1)) ? 1 : 0);
}

// A table entry running one of the shapes above over its back end.
// clang-format off
#define HANDLE_ENTRY(name, Template, Function, count) {#name, BuiltIn_Call<Template<Function>>, count}
// clang-format on

// ---- types ----

BUILTIN_BODY(part_type_shape) {
    ParticleType_Shape(I(args, 0), I(args, 1));
}
BUILTIN_BODY(part_type_sprite) {
    ParticleType_Sprite(I(args, 0), I(args, 1), args.Flag(2), args.Flag(3), args.Flag(4));
}
BUILTIN_BODY(part_type_size) {
    ParticleType_Size(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN_BODY(part_type_scale) {
    ParticleType_Scale(I(args, 0), F(args, 1), F(args, 2));
}
BUILTIN_BODY(part_type_life) {
    ParticleType_Life(I(args, 0), I(args, 1), I(args, 2));
}
BUILTIN_BODY(part_type_step) {
    ParticleType_Step(I(args, 0), I(args, 1), I(args, 2));
}
BUILTIN_BODY(part_type_death) {
    ParticleType_Death(I(args, 0), I(args, 1), I(args, 2));
}
BUILTIN_BODY(part_type_speed) {
    ParticleType_Speed(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN_BODY(part_type_direction) {
    ParticleType_Direction(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN_BODY(part_type_orientation) {
    ParticleType_Orientation(I(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), args.Flag(5));
}
BUILTIN_BODY(part_type_gravity) {
    ParticleType_Gravity(I(args, 0), F(args, 1), F(args, 2));
}
BUILTIN_BODY(part_type_color_mix) {
    ParticleType_ColorMix(I(args, 0), Colour(args, 1), Colour(args, 2));
}
BUILTIN_BODY(part_type_color_rgb) {
    ParticleType_ColorRGB(I(args, 0), I(args, 1), I(args, 2), I(args, 3), I(args, 4), I(args, 5), I(args, 6));
}
BUILTIN_BODY(part_type_color_hsv) {
    ParticleType_ColorHSV(I(args, 0), I(args, 1), I(args, 2), I(args, 3), I(args, 4), I(args, 5), I(args, 6));
}
BUILTIN_BODY(part_type_color1) {
    ParticleType_Color1(I(args, 0), Colour(args, 1));
}
BUILTIN_BODY(part_type_color2) {
    ParticleType_Color2(I(args, 0), Colour(args, 1), Colour(args, 2));
}
BUILTIN_BODY(part_type_color3) {
    ParticleType_Color3(I(args, 0), Colour(args, 1), Colour(args, 2), Colour(args, 3));
}
BUILTIN_BODY(part_type_alpha1) {
    ParticleType_Alpha1(I(args, 0), F(args, 1));
}
BUILTIN_BODY(part_type_alpha2) {
    ParticleType_Alpha2(I(args, 0), F(args, 1), F(args, 2));
}
BUILTIN_BODY(part_type_alpha3) {
    ParticleType_Alpha3(I(args, 0), F(args, 1), F(args, 2), F(args, 3));
}
BUILTIN_BODY(part_type_blend) {
    ParticleType_Blend(I(args, 0), args.Flag(1));
}

// ---- systems and particles ----

BUILTIN_BODY(part_system_draw_order) {
    ParticleSystem_DrawOrder(I(args, 0), args.Flag(1));
}
BUILTIN_BODY(part_system_depth) {
    ParticleSystem_Depth(I(args, 0), F(args, 1));
}
BUILTIN_BODY(part_system_position) {
    ParticleSystem_Position(I(args, 0), F(args, 1), F(args, 2));
}
BUILTIN_BODY(part_system_automatic_update) {
    ParticleSystem_AutoUpdate(I(args, 0), args.Flag(1));
}
BUILTIN_BODY(part_system_automatic_draw) {
    ParticleSystem_AutoDraw(I(args, 0), args.Flag(1));
}
BUILTIN_BODY(part_particles_create) {
    ParticleSystem_CreateParticles(I(args, 0), F(args, 1), F(args, 2), I(args, 3), I(args, 4));
}
BUILTIN_BODY(part_particles_create_color) {
    ParticleSystem_CreateParticlesColour(I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4),
                                         I(args, 5));
}
BUILTIN_BODY(part_particles_count) {
    Set(result, ParticleSystem_ParticleCount(I(args, 0)));
}

// ---- elements ----

// The five operations every element family has.
// clang-format off
#define ELEMENT_FAMILY(word, Family)                                                       \
    {"part_" #word "_create", BuiltIn_Call<CreateElement<Family##_Create>>, 1},            \
    {"part_" #word "_destroy", BuiltIn_Call<OnElement<Family##_Destroy>>, 2},              \
    {"part_" #word "_destroy_all", BuiltIn_Call<OnHandle<Family##_DestroyAll>>, 1},        \
    {"part_" #word "_exists", BuiltIn_Call<ElementExists<Family##_Exists>>, 2},            \
    {"part_" #word "_clear", BuiltIn_Call<OnElement<Family##_Clear>>, 2}
// clang-format on

BUILTIN_BODY(part_emitter_region) {
    ParticleEmitter_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6),
                           I(args, 7));
}
BUILTIN_BODY(part_emitter_burst) {
    ParticleEmitter_Burst(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
BUILTIN_BODY(part_emitter_stream) {
    ParticleEmitter_Stream(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}
BUILTIN_BODY(part_attractor_position) {
    ParticleAttractor_Position(I(args, 0), I(args, 1), F(args, 2), F(args, 3));
}
BUILTIN_BODY(part_attractor_force) {
    ParticleAttractor_Force(I(args, 0), I(args, 1), F(args, 2), F(args, 3), I(args, 4), args.Flag(5));
}
BUILTIN_BODY(part_destroyer_region) {
    ParticleDestroyer_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5),
                             I(args, 6));
}
BUILTIN_BODY(part_deflector_region) {
    ParticleDeflector_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5));
}
BUILTIN_BODY(part_deflector_kind) {
    ParticleDeflector_Kind(I(args, 0), I(args, 1), I(args, 2));
}
BUILTIN_BODY(part_deflector_friction) {
    ParticleDeflector_Friction(I(args, 0), I(args, 1), F(args, 2));
}
BUILTIN_BODY(part_changer_region) {
    ParticleChanger_Region(I(args, 0), I(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5),
                           I(args, 6));
}
BUILTIN_BODY(part_changer_kind) {
    ParticleChanger_Kind(I(args, 0), I(args, 1), I(args, 2));
}
BUILTIN_BODY(part_changer_types) {
    ParticleChanger_Types(I(args, 0), I(args, 1), I(args, 2), I(args, 3));
}

// ---- effects ----

BUILTIN_BODY(effect_create_below) {
    Effect_Create(true, I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4));
}
BUILTIN_BODY(effect_create_above) {
    Effect_Create(false, I(args, 0), F(args, 1), F(args, 2), I(args, 3), Colour(args, 4));
}
BUILTIN_BODY(effect_clear) {
    Effect_Clear();
}

const BuiltInRegistration kParticleFunctions[] = {
    HANDLE_ENTRY(part_type_create, MakeHandle, ParticleType_Create, 0),
    HANDLE_ENTRY(part_type_destroy, OnHandle, ParticleType_Destroy, 1),
    HANDLE_ENTRY(part_type_exists, HandleExists, ParticleType_Exists, 1),
    HANDLE_ENTRY(part_type_clear, OnHandle, ParticleType_Clear, 1),
    BUILTIN_ENTRY(part_type_shape, 2),
    BUILTIN_ENTRY(part_type_sprite, 5),
    BUILTIN_ENTRY(part_type_size, 5),
    BUILTIN_ENTRY(part_type_scale, 3),
    BUILTIN_ENTRY(part_type_life, 3),
    BUILTIN_ENTRY(part_type_step, 3),
    BUILTIN_ENTRY(part_type_death, 3),
    BUILTIN_ENTRY(part_type_speed, 5),
    BUILTIN_ENTRY(part_type_direction, 5),
    BUILTIN_ENTRY(part_type_orientation, 6),
    BUILTIN_ENTRY(part_type_gravity, 3),
    BUILTIN_ENTRY(part_type_color_mix, 3),
    BUILTIN_ENTRY(part_type_color_rgb, 7),
    BUILTIN_ENTRY(part_type_color_hsv, 7),
    BUILTIN_ENTRY(part_type_color1, 2),
    BUILTIN_ENTRY(part_type_color2, 3),
    BUILTIN_ENTRY(part_type_color3, 4),
    BUILTIN_ALIAS(part_type_color, part_type_color3, 4),
    BUILTIN_ENTRY(part_type_alpha1, 2),
    BUILTIN_ENTRY(part_type_alpha2, 3),
    BUILTIN_ENTRY(part_type_alpha3, 4),
    BUILTIN_ALIAS(part_type_alpha, part_type_alpha3, 4),
    BUILTIN_ENTRY(part_type_blend, 2),

    HANDLE_ENTRY(part_system_create, MakeHandle, ParticleSystem_Create, 0),
    HANDLE_ENTRY(part_system_destroy, OnHandle, ParticleSystem_Destroy, 1),
    HANDLE_ENTRY(part_system_exists, HandleExists, ParticleSystem_Exists, 1),
    HANDLE_ENTRY(part_system_clear, OnHandle, ParticleSystem_Clear, 1),
    BUILTIN_ENTRY(part_system_draw_order, 2),
    BUILTIN_ENTRY(part_system_depth, 2),
    BUILTIN_ENTRY(part_system_position, 3),
    BUILTIN_ENTRY(part_system_automatic_update, 2),
    BUILTIN_ENTRY(part_system_automatic_draw, 2),
    HANDLE_ENTRY(part_system_update, OnHandle, ParticleSystem_Update, 1),
    HANDLE_ENTRY(part_system_drawit, OnHandle, ParticleSystem_DrawIt, 1),
    BUILTIN_ENTRY(part_particles_create, 5),
    BUILTIN_ENTRY(part_particles_create_color, 6),
    HANDLE_ENTRY(part_particles_clear, OnHandle, ParticleSystem_ClearParticles, 1),
    BUILTIN_ENTRY(part_particles_count, 1),

    ELEMENT_FAMILY(emitter, ParticleEmitter),
    BUILTIN_ENTRY(part_emitter_region, 8),
    BUILTIN_ENTRY(part_emitter_burst, 4),
    BUILTIN_ENTRY(part_emitter_stream, 4),
    ELEMENT_FAMILY(attractor, ParticleAttractor),
    BUILTIN_ENTRY(part_attractor_position, 4),
    BUILTIN_ENTRY(part_attractor_force, 6),
    ELEMENT_FAMILY(destroyer, ParticleDestroyer),
    BUILTIN_ENTRY(part_destroyer_region, 7),
    ELEMENT_FAMILY(deflector, ParticleDeflector),
    BUILTIN_ENTRY(part_deflector_region, 6),
    BUILTIN_ENTRY(part_deflector_kind, 3),
    BUILTIN_ENTRY(part_deflector_friction, 3),
    ELEMENT_FAMILY(changer, ParticleChanger),
    BUILTIN_ENTRY(part_changer_region, 7),
    BUILTIN_ENTRY(part_changer_kind, 3),
    BUILTIN_ENTRY(part_changer_types, 4),

    BUILTIN_ENTRY(effect_create_below, 5),
    BUILTIN_ENTRY(effect_create_above, 5),
    BUILTIN_ENTRY(effect_clear, 0),
};
static_assert(sizeof kParticleFunctions / sizeof kParticleFunctions[0] == 82,
              "the particle group has 82 entries");

} // namespace

void InitParticleFunctions() {
    BuiltIn_Register(kParticleFunctions);
}
