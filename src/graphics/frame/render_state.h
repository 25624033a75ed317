// The render-state cache: engine render-state and sampler requests kept with dirty bits and sent at the
// next flush, the device-level cache that drops repeated values, the drawing settings the draw_*, d3d_*
// and texture_* built-ins set, and the re-sending of every setting after device creation or reset.
#pragma once

#include <cstdint>

class CRenderState {
public:
    static constexpr int kSlots = 33;
    static constexpr int kSamplers = 32; // stage x 4 + kind

    CRenderState();
    // Requests engine state slot (1..32); other slots are ignored.
    void SetRenderState(int slot, uint32_t value);
    // Requests sampler kind (0 mag filter, 1 min filter, 2 address u, 3 address v) of stage 0..7;
    // 0 means linear / wrap, anything else point / clamp.
    void SetSamplerState(int stage, int kind, uint32_t value);
    void Save();
    void Restore();
    void Apply();
    void ApplyAll();
    // True while a render or sampler request waits to be applied.
    bool Pending() const { return renderDirty != 0 || samplerDirty != 0; }

    uint32_t renderDirty = 0;
    uint32_t applied[kSlots];
    uint32_t requested[kSlots];
    uint64_t samplerDirty = 0;
    uint32_t appliedSampler[kSamplers];
    uint32_t requestedSampler[kSamplers];
    uint32_t saved[kSlots];
    uint32_t savedSampler[kSamplers];
};

// Engine render-state ids (slots of CRenderState).
enum : int {
    RS_ZENABLE = 1,
    RS_FILLMODE = 2,
    RS_SHADEMODE = 3,
    RS_ZWRITEENABLE = 4,
    RS_ALPHATESTENABLE = 5,
    RS_SRCBLEND = 6,
    RS_DESTBLEND = 7,
    RS_CULLMODE = 8,
    RS_ZFUNC = 9,
    RS_ALPHAREF = 10,
    RS_ALPHAFUNC = 11,
    RS_ALPHABLENDENABLE = 12,
    RS_FOGENABLE = 13,
    RS_FOGCOLOR = 15,
    RS_FOGTABLEMODE = 16,
    RS_FOGSTART = 17,
    RS_FOGEND = 18,
    RS_RANGEFOGENABLE = 20,
    RS_LIGHTING = 21,
    RS_FOGVERTEXMODE = 23,
    RS_COLORWRITEENABLE = 24,
    RS_STENCILENABLE = 25,
};

// The drawing settings, with the flags stored beside the requests.
struct GraphicsSettings {
    int srcBlend = 5;
    int destBlend = 6;
    uint8_t interpolate[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    uint8_t repeat[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool textureBlending = true;
    bool perspective = true;
    bool hidden = true;
    bool zWrite = true;
    bool shading = true;
    bool culling = false;
    bool lighting = false;
    bool fog = false;
    uint32_t fogColour = 0; // device colour
    float fogStart = 0.0f;
    float fogEnd = 1.0f;
    bool alphaTest = false;
    int alphaTestRef = 0;
    int alphaTestFunc = 5;
    int colourWrite = 15;
    // Stored by GR_D3D_SetRenderState; read by the overlay's save and restore.
    bool depthTestOn = false;
    bool fogOn = false;
    bool lightingOn = false;
    int engineCull = 0;
};
// The render-state cache and the graphics settings, reached through RenderState_State().
struct RenderStateModuleState {
    CRenderState g_RenderState;
    GraphicsSettings GR_Settings;
};

inline RenderStateModuleState& RenderState_State() {
    static RenderStateModuleState state;
    return state;
}

// Engine id to device state and value, through the device cache.
void GR_D3D_SetRenderState(int id, uint32_t value);
// Device state through the device cache; states of 210 and above are ignored.
void GR_D3D_SetDeviceRenderState(uint32_t state, uint32_t value);
void GR_D3D_SetSamplerState(int stage, int kind, uint32_t value);
// Forgets every cached device value (render and sampler): the next request of each is sent.
void GR_D3D_InvalidateDeviceCache();
void GR_D3D_ResetRenderStates();
void GR_D3D_ApplySettings();
// Sends the ambient light colour to the device again (after the device's render states were reset).
void GR_3D_SendAmbient();

namespace Graphics {
void SetBlendModeExt(int source, int destination);
void SetBlendMode(int mode);
void SetColourWriteEnable(bool red, bool green, bool blue, bool alpha);
void SetAlphaTest(bool on);
bool GetAlphaTest();
void SetAlphaTestRef(int value);
int GetAlphaTestRef();
void SetInterpolation(bool on);
void SetInterpolationExt(int stage, bool on);
void SetRepeat(bool on);
void SetRepeatExt(int stage, bool on);
void SetTextureBlending(bool on);
bool GetRepeat();
bool GetInterpolation();
} // namespace Graphics

void GR_D3D_SetCulling(bool on);
void GR_D3D_SetHidden(bool on);
void GR_D3D_SetLighting(bool on);
void GR_D3D_SetShading(bool on);
void GR_D3D_SetZWriteEnable(bool on);
// colour is a script colour (red in the low byte).
void GR_D3D_SetFog(bool on, uint32_t colour, float start, float end);
void GR_D3D_SetPerspective(bool on);
// Sends the fog range again for the current projection (after a projection change).
void GR_D3D_PassFogRange();
