#include "graphics/frame/render_state.h"

#include "core/convert.h"
#include "device/device.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"

#include <cstring>

namespace {

constexpr uint32_t kUnknown = 0xFFFFFFFFu;
uint32_t g_deviceCache[D3D_RENDERSTATE_COUNT];
uint32_t g_samplerCache[8][D3D_SAMPLERSTATE_COUNT];

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The first value of each slot, in slot order 0..32 (17 and 18 are the floats 0.0 and 1.0).
constexpr uint32_t kInitial[CRenderState::kSlots] = {
    0, 0, 3, 1, 1, 0, 5, 6, 0, 4, 1, 5, 1, 0, 0, 0, 1, 0x00000000u, 0x3F800000u,
    0, 0, 0, 0, 3, 15, 0, 1, 1, 1, 8, 0, 0xFFFFFFFFu, 0xFFFFFFFFu};

// Comparison functions 1..7 pass, any other is "always".
uint32_t CompareValue(uint32_t v) {
    return v >= 1 && v <= 7 ? v : D3DCMP_ALWAYS;
}
uint32_t FogModeValue(uint32_t v) {
    return v <= 2 ? v : D3DFOG_LINEAR;
}

} // namespace

CRenderState::CRenderState() {
    std::memcpy(applied, kInitial, sizeof applied);
    std::memcpy(requested, kInitial, sizeof requested);
    std::memcpy(saved, kInitial, sizeof saved);
    std::memset(appliedSampler, 0, sizeof appliedSampler);
    std::memset(requestedSampler, 0, sizeof requestedSampler);
    std::memset(savedSampler, 0, sizeof savedSampler);
}

void CRenderState::SetRenderState(int slot, uint32_t value) {
    if (slot < 0 || slot >= kSlots || requested[slot] == value) return;
    requested[slot] = value;
    const uint32_t bit = 1u << (slot % 32);
    if (value != applied[slot]) renderDirty |= bit;
    else renderDirty &= ~bit;
}

void CRenderState::SetSamplerState(int stage, int kind, uint32_t value) {
    if (stage < 0 || stage >= 8 || kind < 0 || kind >= 4) return;
    const int index = stage * 4 + kind;
    if (requestedSampler[index] == value) return;
    requestedSampler[index] = value;
    const uint64_t bit = 1ull << index;
    if (value != appliedSampler[index]) samplerDirty |= bit;
    else samplerDirty &= ~bit;
}

void CRenderState::Save() {
    std::memcpy(saved, requested, sizeof saved);
    std::memcpy(savedSampler, requestedSampler, sizeof savedSampler);
}

void CRenderState::Restore() {
    for (int slot = 0; slot < kSlots; ++slot) {
        requested[slot] = saved[slot];
        const uint32_t bit = 1u << (slot % 32);
        if (requested[slot] != applied[slot]) renderDirty |= bit;
        else renderDirty &= ~bit;
    }
    for (int index = 0; index < kSamplers; ++index) {
        requestedSampler[index] = savedSampler[index];
        const uint64_t bit = 1ull << index;
        if (requestedSampler[index] != appliedSampler[index]) samplerDirty |= bit;
        else samplerDirty &= ~bit;
    }
}

void CRenderState::Apply() {
    if (renderDirty != 0) {
        for (int slot = 0; slot < kSlots; ++slot) {
            if (!(renderDirty & (1u << (slot % 32)))) continue;
            GR_D3D_SetRenderState(slot, requested[slot]);
            applied[slot] = requested[slot];
        }
        renderDirty = 0;
    }
    if (samplerDirty != 0) {
        for (int index = 0; index < kSamplers; ++index) {
            if (!(samplerDirty & (1ull << index))) continue;
            GR_D3D_SetSamplerState(index / 4, index % 4, requestedSampler[index]);
            appliedSampler[index] = requestedSampler[index];
        }
        samplerDirty = 0;
    }
}

// Depth function and stencil slots are not re-sent, and of the samplers only indexes 0..9.
void CRenderState::ApplyAll() {
    renderDirty = 0x01B7BDFEu;
    samplerDirty |= 0x3FFu;
    Apply();
}

void GR_D3D_SetDeviceRenderState(uint32_t state, uint32_t value) {
    if (state >= D3D_RENDERSTATE_COUNT || g_deviceCache[state] == value) return;
    g_deviceCache[state] = value;
    if (Frame_State().GR_D3DDevice) Frame_State().GR_D3DDevice->SetRenderState(state, value);
}

void GR_D3D_SetRenderState(int id, uint32_t v) {
    uint32_t state = 0;
    uint32_t value = v;
    switch (id) {
    case 1:
        state = D3DRS_ZENABLE;
        RenderState_State().GR_Settings.depthTestOn = v != 0;
        break;
    case 2: state = D3DRS_FILLMODE; value = (v == 1 || v == 2) ? v : D3DFILL_SOLID; break;
    case 3: state = D3DRS_SHADEMODE; value = v == 1 ? D3DSHADE_FLAT : D3DSHADE_GOURAUD; break;
    case 4: state = D3DRS_ZWRITEENABLE; break;
    case 5: state = D3DRS_ALPHATESTENABLE; break;
    case 6:
    case 7:
        state = id == 6 ? D3DRS_SRCBLEND : D3DRS_DESTBLEND;
        value = v >= 2 && v <= 17 ? v : D3DBLEND_ZERO;
        break;
    case 8:
        state = D3DRS_CULLMODE;
        value = v == 1 ? D3DCULL_CW : v == 2 ? D3DCULL_CCW : D3DCULL_NONE;
        RenderState_State().GR_Settings.engineCull = static_cast<int>(v);
        break;
    case 9: state = D3DRS_ZFUNC; value = CompareValue(v); break;
    case 10: state = D3DRS_ALPHAREF; break;
    case 11: state = D3DRS_ALPHAFUNC; value = CompareValue(v); break;
    case 12: state = D3DRS_ALPHABLENDENABLE; break;
    case 13:
        state = D3DRS_FOGENABLE;
        RenderState_State().GR_Settings.fogOn = v != 0;
        break;
    case 15: state = D3DRS_FOGCOLOR; break;
    case 16: state = D3DRS_FOGTABLEMODE; value = FogModeValue(v); break;
    case 17: state = D3DRS_FOGSTART; break;
    case 18: state = D3DRS_FOGEND; break;
    case 20: state = D3DRS_RANGEFOGENABLE; break;
    case 21:
        state = D3DRS_LIGHTING;
        RenderState_State().GR_Settings.lightingOn = v != 0;
        break;
    case 23: state = D3DRS_FOGVERTEXMODE; value = FogModeValue(v); break;
    case 24: state = D3DRS_COLORWRITEENABLE; break;
    case 25: state = D3DRS_STENCILENABLE; break;
    case 26:
    case 27:
    case 28:
        state = id == 26 ? D3DRS_STENCILFAIL : id == 27 ? D3DRS_STENCILZFAIL : D3DRS_STENCILPASS;
        value = v >= 2 && v <= 8 ? v : D3DSTENCILOP_KEEP;
        break;
    case 29: state = D3DRS_STENCILFUNC; value = CompareValue(v); break;
    case 30: state = D3DRS_STENCILREF; break;
    case 31: state = D3DRS_STENCILMASK; break;
    case 32: state = D3DRS_STENCILWRITEMASK; break;
    default: return; // 14, 19, 22 and ids outside 1..32
    }
    GR_D3D_SetDeviceRenderState(state, value);
}

void GR_D3D_SetSamplerState(int stage, int kind, uint32_t v) {
    if (stage < 0 || stage > 7) return;
    uint32_t type = 0;
    uint32_t value = 0;
    switch (kind) {
    case 0:
    case 1:
        type = kind == 0 ? D3DSAMP_MAGFILTER : D3DSAMP_MINFILTER;
        value = v == 0 ? D3DTEXF_LINEAR : D3DTEXF_POINT;
        break;
    case 2:
    case 3:
        type = kind == 2 ? D3DSAMP_ADDRESSU : D3DSAMP_ADDRESSV;
        value = v == 0 ? D3DTADDRESS_WRAP : D3DTADDRESS_CLAMP;
        break;
    default: return;
    }
    if (g_samplerCache[stage][type] == value) return;
    g_samplerCache[stage][type] = value;
    if (Frame_State().GR_D3DDevice)
        Frame_State().GR_D3DDevice->SetSamplerState(static_cast<uint32_t>(stage), type, value);
}

void GR_D3D_InvalidateDeviceCache() {
    std::fill(std::begin(g_deviceCache), std::end(g_deviceCache), kUnknown);
    for (auto& stage : g_samplerCache)
        std::fill(std::begin(stage), std::end(stage), kUnknown);
}

void GR_D3D_ResetRenderStates() {
    std::fill(std::begin(g_deviceCache), std::end(g_deviceCache), kUnknown);
    static const uint32_t defaults[][2] = {
        {D3DRS_LIGHTING, 1},        {D3DRS_ZENABLE, 1},          {D3DRS_FILLMODE, 3},
        {D3DRS_SHADEMODE, 2},       {D3DRS_ZWRITEENABLE, 1},     {D3DRS_ALPHATESTENABLE, 0},
        {D3DRS_LASTPIXEL, 1},       {D3DRS_SRCBLEND, 2},         {D3DRS_DESTBLEND, 1},
        {D3DRS_CULLMODE, 1},        {D3DRS_ZFUNC, 4},            {D3DRS_ALPHAREF, 128},
        {D3DRS_ALPHAFUNC, 8},       {D3DRS_DITHERENABLE, 1},     {D3DRS_ALPHABLENDENABLE, 0},
        {D3DRS_FOGENABLE, 0},       {D3DRS_SPECULARENABLE, 0},   {D3DRS_FOGCOLOR, 0},
        {D3DRS_FOGTABLEMODE, 0},    {D3DRS_FOGSTART, 0},         {D3DRS_FOGEND, 1},
        {D3DRS_STENCILENABLE, 0},   {D3DRS_STENCILZFAIL, 1},     {D3DRS_COLORWRITEENABLE, 15},
        {D3DRS_BLENDOP, 1},         {D3DRS_NORMALIZENORMALS, 1}};
    for (const auto& entry : defaults)
        GR_D3D_SetDeviceRenderState(entry[0], entry[1]);
}

// ---- settings ----

namespace Graphics {

void SetBlendModeExt(int source, int destination) {
    RenderState_State().GR_Settings.srcBlend = source;
    RenderState_State().GR_Settings.destBlend = destination;
    RenderState_State().g_RenderState.SetRenderState(RS_SRCBLEND, static_cast<uint32_t>(source));
    RenderState_State().g_RenderState.SetRenderState(RS_DESTBLEND, static_cast<uint32_t>(destination));
}

void SetBlendMode(int mode) {
    switch (mode) {
    case 1: SetBlendModeExt(5, 2); break;
    case 2: SetBlendModeExt(5, 4); break;
    case 3: SetBlendModeExt(1, 4); break;
    default: SetBlendModeExt(5, 6); break;
    }
}

void SetColourWriteEnable(bool red, bool green, bool blue, bool alpha) {
    RenderState_State().GR_Settings.colourWrite =
        (red ? 1 : 0) + (green ? 2 : 0) + (blue ? 4 : 0) + (alpha ? 8 : 0);
    RenderState_State().g_RenderState.SetRenderState(
        RS_COLORWRITEENABLE, static_cast<uint32_t>(RenderState_State().GR_Settings.colourWrite));
}

void SetAlphaTest(bool on) {
    if (!Frame_State().GR_D3DDevice) return;
    RenderState_State().GR_Settings.alphaTest = on;
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHATESTENABLE, on ? 1u : 0u);
}

bool GetAlphaTest() {
    return RenderState_State().GR_Settings.alphaTest;
}

void SetAlphaTestRef(int value) {
    RenderState_State().GR_Settings.alphaTestRef = value;
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHAREF, static_cast<uint32_t>(value));
}

int GetAlphaTestRef() {
    return RenderState_State().GR_Settings.alphaTestRef;
}

void SetInterpolationExt(int stage, bool on) {
    if (stage < 0 || stage > 7) return;
    RenderState_State().GR_Settings.interpolate[stage] = on ? 1 : 0;
    RenderState_State().g_RenderState.SetSamplerState(stage, 0, on ? 0u : 1u);
    RenderState_State().g_RenderState.SetSamplerState(stage, 1, on ? 0u : 1u);
}

void SetInterpolation(bool on) {
    for (int stage = 0; stage < 8; ++stage)
        SetInterpolationExt(stage, on);
}

void SetRepeatExt(int stage, bool on) {
    if (stage < 0 || stage > 7) return;
    RenderState_State().GR_Settings.repeat[stage] = on ? 1 : 0;
    RenderState_State().g_RenderState.SetSamplerState(stage, 2, on ? 0u : 1u);
    RenderState_State().g_RenderState.SetSamplerState(stage, 3, on ? 0u : 1u);
}

void SetRepeat(bool on) {
    for (int stage = 0; stage < 8; ++stage)
        SetRepeatExt(stage, on);
}

void SetTextureBlending(bool on) {
    RenderState_State().GR_Settings.textureBlending = on;
    Flush();
    GR_D3D_SetTextureBlending(on);
}

bool GetRepeat() {
    return RenderState_State().GR_Settings.repeat[0] != 0;
}

bool GetInterpolation() {
    return RenderState_State().GR_Settings.interpolate[0] != 0;
}

} // namespace Graphics

void GR_D3D_SetCulling(bool on) {
    RenderState_State().GR_Settings.culling = on;
    RenderState_State().g_RenderState.SetRenderState(RS_CULLMODE, on ? 2u : 0u);
}

void GR_D3D_SetHidden(bool on) {
    RenderState_State().GR_Settings.hidden = on;
    RenderState_State().g_RenderState.SetRenderState(RS_ZENABLE,
                                                     (Transform_State().GR_Transform.mode3D && on) ? 1u : 0u);
}

void GR_D3D_SetLighting(bool on) {
    RenderState_State().GR_Settings.lighting = on;
    RenderState_State().g_RenderState.SetRenderState(RS_LIGHTING, on ? 1u : 0u);
}

void GR_D3D_SetShading(bool on) {
    RenderState_State().GR_Settings.shading = on;
    RenderState_State().g_RenderState.SetRenderState(RS_SHADEMODE, on ? 2u : 1u);
}

void GR_D3D_SetZWriteEnable(bool on) {
    RenderState_State().GR_Settings.zWrite = on;
    RenderState_State().g_RenderState.SetRenderState(RS_ZWRITEENABLE, on ? 1u : 0u);
}

void GR_D3D_SetPerspective(bool on) {
    RenderState_State().GR_Settings.perspective = on;
}

// Under an orthographic projection the range goes to the device at once, normalised to the projection's
// depth range; pending vertices are drawn first so that they keep the old range.
void GR_D3D_PassFogRange() {
    if (Transform_State().GR_Transform.orthographic) {
        Graphics::Flush();
        const double range =
            static_cast<double>(Transform_State().GR_Transform.zFar) - Transform_State().GR_Transform.zNear;
        const float start = static_cast<float>((RenderState_State().GR_Settings.fogStart -
                                                static_cast<double>(Transform_State().GR_Transform.zNear)) /
                                               range);
        const float end = static_cast<float>((RenderState_State().GR_Settings.fogEnd -
                                              static_cast<double>(Transform_State().GR_Transform.zNear)) /
                                             range);
        GR_D3D_SetDeviceRenderState(D3DRS_FOGSTART, FloatBits(start));
        GR_D3D_SetDeviceRenderState(D3DRS_FOGEND, FloatBits(end));
    } else {
        RenderState_State().g_RenderState.SetRenderState(RS_FOGSTART,
                                                         FloatBits(RenderState_State().GR_Settings.fogStart));
        RenderState_State().g_RenderState.SetRenderState(RS_FOGEND,
                                                         FloatBits(RenderState_State().GR_Settings.fogEnd));
    }
}

void GR_D3D_SetFog(bool on, uint32_t colour, float start, float end) {
    const uint32_t red = colour & 0xFFu;
    const uint32_t green = (colour >> 8) & 0xFFu;
    const uint32_t blue = (colour >> 16) & 0xFFu;
    RenderState_State().GR_Settings.fog = on;
    RenderState_State().GR_Settings.fogColour = 0xFF000000u | red << 16 | green << 8 | blue;
    RenderState_State().GR_Settings.fogStart = start;
    RenderState_State().GR_Settings.fogEnd = end;
    if (!on) {
        RenderState_State().g_RenderState.SetRenderState(RS_FOGENABLE, 0);
        return;
    }
    const int support = GR_D3D_FogSupport();
    if (support == 0) {
        RenderState_State().g_RenderState.SetRenderState(RS_FOGENABLE, 0);
        return;
    }
    RenderState_State().g_RenderState.SetRenderState(RS_FOGENABLE, 1);
    if (support == 1) {
        RenderState_State().g_RenderState.SetRenderState(RS_FOGTABLEMODE, 3);
    } else {
        RenderState_State().g_RenderState.SetRenderState(RS_FOGVERTEXMODE, 3);
        RenderState_State().g_RenderState.SetRenderState(RS_RANGEFOGENABLE, 1);
    }
    RenderState_State().g_RenderState.SetRenderState(RS_FOGCOLOR, RenderState_State().GR_Settings.fogColour);
    GR_D3D_PassFogRange();
}

// The device takes the colour with red and blue exchanged.
void GR_3D_SendAmbient() {
    const uint32_t c = Shader_State().GR_Lights.ambient;
    GR_D3D_SetDeviceRenderState(D3DRS_AMBIENT, (c & 0xFF00u) | (c & 0xFFu) << 16 | (c >> 16 & 0xFFu));
}

void GR_D3D_ApplySettings() {
    if (!Frame_State().GR_D3DDevice) return;
    Batcher_State().GR_BaseTextureStage = 0;
    GR_D3D_ResetRenderStates();
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE, 1);
    GR_D3D_SetCulling(RenderState_State().GR_Settings.culling);
    Graphics::SetBlendModeExt(RenderState_State().GR_Settings.srcBlend,
                              RenderState_State().GR_Settings.destBlend);
    GR_D3D_SetLighting(RenderState_State().GR_Settings.lighting);
    GR_D3D_SetShading(RenderState_State().GR_Settings.shading);
    GR_D3D_SetHidden(RenderState_State().GR_Settings.hidden);
    // Start and end as unsigned 16-bit integers, the range d3d_set_fog already keeps them in.
    const auto to16 = [](float f) { return static_cast<float>(static_cast<uint32_t>(X86_DoubleToInt32(f)) & 0xFFFFu); };
    const uint32_t fogColour = RenderState_State().GR_Settings.fogColour;
    const uint32_t scriptColour = (fogColour >> 16 & 0xFFu) | (fogColour & 0xFF00u) | (fogColour & 0xFFu) << 16;
    GR_D3D_SetFog(RenderState_State().GR_Settings.fog, scriptColour,
                  to16(RenderState_State().GR_Settings.fogStart),
                  to16(RenderState_State().GR_Settings.fogEnd));
    // The ambient light colour survives a reset of the device, as its lights and material do.
    GR_3D_SendAmbient();
    GR_D3D_SetTexture(Batcher_State().GR_BaseTextureStage, nullptr);
    Graphics::SetInterpolation(Frame_State().GR_DeviceGlobals.interpolate);
    Graphics::SetTextureBlending(RenderState_State().GR_Settings.textureBlending);
    Graphics::SetRepeat(RenderState_State().GR_Settings.repeat[0] != 0);
    RenderState_State().g_RenderState.SetRenderState(
        RS_COLORWRITEENABLE, static_cast<uint32_t>(RenderState_State().GR_Settings.colourWrite));
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHATESTENABLE,
                                                     RenderState_State().GR_Settings.alphaTest ? 1u : 0u);
    RenderState_State().g_RenderState.SetRenderState(
        RS_ALPHAREF, static_cast<uint32_t>(RenderState_State().GR_Settings.alphaTestRef));
    RenderState_State().g_RenderState.SetRenderState(
        RS_ALPHAFUNC, static_cast<uint32_t>(RenderState_State().GR_Settings.alphaTestFunc));
    RenderState_State().g_RenderState.ApplyAll();
}
