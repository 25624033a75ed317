// The graphics device layer: a device with textures, surfaces (render targets, depth-stencil buffers and
// texture levels), vertex buffers, render/sampler/texture-stage states, transforms, viewport, clear,
// drawing of the six primitive types, stretch copies and read-back, shaped as the engine's graphics code
// calls it and keeping the numbers of d3d_types.h.
//
// CD3DDevice keeps every piece of state and the memory copies of textures and vertex buffers, checks the
// arguments and optionally logs each call; a backend (OpenGL, or the recording backend that draws
// nothing) derives from it and turns the state into pixels. Objects are reference-counted: creation
// gives one reference, Get* calls add one, Release drops one. Objects released after their device are
// only freed.
#pragma once

#include "device/d3d_types.h"
#include "device/shader_compiler.h"
#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

class CD3DDevice;
class CD3DTexture;

class CD3DResource {
public:
    CD3DResource(const CD3DResource&) = delete;
    CD3DResource& operator=(const CD3DResource&) = delete;
    virtual uint32_t AddRef();
    virtual uint32_t Release();
    // A number unique among the objects of the process, used by the call log.
    uint32_t Serial() const { return m_serial; }
    // Names of the backend's objects (GL texture, renderbuffer, ...).
    uint32_t backendName = 0;
    // The backend's texture does not hold the memory's pixels yet (they go over before it is used).
    bool backendUnfilled = false;

protected:
    friend class CD3DDevice;
    explicit CD3DResource(CD3DDevice* device);
    virtual ~CD3DResource();
    CD3DDevice* m_device;
    uint32_t m_refs = 1;
    uint32_t m_serial;
};

enum class D3DSurfaceKind { RenderTarget, DepthStencil, TextureLevel };

class CD3DSurface : public CD3DResource {
public:
    // A texture level counts its references on its texture.
    uint32_t AddRef() override;
    uint32_t Release() override;
    D3DSurfaceKind Kind() const { return m_kind; }
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t Format() const { return m_format; }
    CD3DTexture* Container() const { return m_container; }

private:
    friend class CD3DDevice;
    friend class CD3DTexture;
    CD3DSurface(CD3DDevice* device, D3DSurfaceKind kind, uint32_t w, uint32_t h, uint32_t format,
                CD3DTexture* container);
    ~CD3DSurface() override;
    D3DSurfaceKind m_kind;
    uint32_t m_width, m_height, m_format;
    CD3DTexture* m_container;
};

// A texture of one level (further levels are accepted at creation and not kept: nothing samples them).
// Its pixels are kept in memory, top row first, and sent to the backend when a lock ends.
class CD3DTexture : public CD3DResource {
public:
    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t Levels() const { return m_levels; }
    uint32_t Format() const { return m_format; }
    uint32_t Usage() const { return m_usage; }
    uint32_t Pitch() const { return m_width * D3D_FormatBytes(m_format); }
    const uint8_t* Pixels() const { return m_pixels.data(); }
    // Level 0 as a surface (one reference added); null for another level.
    CD3DSurface* GetSurfaceLevel(uint32_t level);
    // Locks level 0, all of it or the rectangle; the rectangle is sent to the backend at UnlockRect
    // unless D3DLOCK_READONLY or D3DLOCK_NO_DIRTY_UPDATE is given.
    D3DRESULT LockRect(uint32_t level, uint32_t* pitch, uint8_t** bits, const D3DRECT* rect, uint32_t flags);
    D3DRESULT UnlockRect(uint32_t level);
    // Whether every pixel of the rectangle (which must lie inside the texture) has alpha 255 in the
    // texture's memory, and that memory is what the backend samples: false for a format other than
    // A8R8G8B8, for pixels changed without being sent, and for a texture the device may have drawn or
    // copied into (a render target, a level set as a target or a stretch destination), whose memory
    // does not follow it.
    bool OpaqueIn(const D3DRECT& rect) const;
    // Moves on with every change of the texture's memory or of what the backend samples.
    uint32_t ContentSerial() const { return m_contentSerial; }
    // Marks the whole texture for sending at the next UpdateTexture into it.
    uint32_t Pool() const { return m_pool; }
    void AddDirtyRect() { m_dirty = true; }
    void PreLoad() {}
    uint32_t SetPriority(uint32_t priority);

private:
    friend class CD3DDevice;
    CD3DTexture(CD3DDevice* device, uint32_t w, uint32_t h, uint32_t levels, uint32_t usage, uint32_t format,
                uint32_t pool);
    ~CD3DTexture() override;
    uint32_t m_width, m_height, m_levels, m_usage, m_format, m_pool;
    uint32_t m_priority = 0;
    std::vector<uint8_t> m_pixels;
    CD3DSurface* m_level0 = nullptr;
    bool m_locked = false;
    bool m_dirty = false;
    bool m_drawnInto = false;
    uint32_t m_contentSerial = 0;
    uint32_t m_lockFlags = 0;
    D3DRECT m_lockRect{};
};

// A vertex buffer held in memory; the backend reads the drawn range at each draw.
class CD3DVertexBuffer : public CD3DResource {
public:
    D3DRESULT Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t flags);
    D3DRESULT Unlock();
    uint32_t Length() const { return static_cast<uint32_t>(m_bytes.size()); }
    uint32_t FVF() const { return m_fvf; }
    uint32_t Usage() const { return m_usage; }
    uint32_t Pool() const { return m_pool; }
    const uint8_t* Bytes() const { return m_bytes.data(); }

private:
    friend class CD3DDevice;
    CD3DVertexBuffer(CD3DDevice* device, uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool);
    std::vector<uint8_t> m_bytes;
    uint32_t m_usage, m_fvf, m_pool;
    bool m_locked = false;
};

// A vertex declaration: its elements without the end marker.
class CD3DVertexDeclaration : public CD3DResource {
public:
    const std::vector<D3DVERTEXELEMENT9>& Elements() const { return m_elements; }
    // The least stride that holds every element.
    uint32_t MinimumStride() const { return m_minimumStride; }

private:
    friend class CD3DDevice;
    CD3DVertexDeclaration(CD3DDevice* device, std::vector<D3DVERTEXELEMENT9> elements);
    std::vector<D3DVERTEXELEMENT9> m_elements;
    uint32_t m_minimumStride = 0;
};

// A vertex or pixel program made from compiled code, which it keeps.
class CD3DShader : public CD3DResource {
public:
    const CD3DXShaderCode& Code() const { return m_code; }

private:
    friend class CD3DDevice;
    CD3DShader(CD3DDevice* device, const CD3DXShaderCode& code) : CD3DResource(device), m_code(code) {}
    CD3DXShaderCode m_code;
};

// One logged device call. The arguments depend on the kind (see CD3DDevice); objects are named by
// their serial number (0 for none); data holds matrices, viewports and drawn vertices.
enum class D3DCallKind {
    CreateTexture,
    CreateRenderTarget,
    CreateDepthStencilSurface,
    CreateVertexBuffer,
    SetRenderState,
    SetSamplerState,
    SetTextureStageState,
    SetTexture,
    SetTransform,
    SetViewport,
    SetRenderTarget,
    SetDepthStencilSurface,
    SetFVF,
    SetStreamSource,
    DrawPrimitive,
    DrawPrimitiveUP,
    Clear,
    StretchRect,
    UpdateTexture,
    BeginScene,
    EndScene,
    Present,
    Reset,
    SetVertexDeclaration,
    SetVertexShader,
    SetPixelShader,
    // a: 0 vertex, 1 pixel; b first register; c count; d 0 float, 1 integer; data the register words.
    SetShaderConstants,
    // a: the light index; data the light.
    SetLight,
    // a: the light index; b: 1 on, 0 off.
    LightEnable,
    // data: the material.
    SetMaterial,
};

struct D3DCall {
    D3DCallKind kind;
    uint32_t a = 0, b = 0, c = 0, d = 0;
    std::vector<uint8_t> data;
};

class CD3DDevice {
public:
    static constexpr uint32_t kMaxRenderTargets = 4;
    static constexpr uint32_t kSamplerStages = 16;
    static constexpr uint32_t kTextureStages = 8;
    static constexpr uint32_t kLights = 8;

    virtual ~CD3DDevice();
    CD3DDevice(const CD3DDevice&) = delete;
    CD3DDevice& operator=(const CD3DDevice&) = delete;

    // Creates the back buffer and its depth-stencil buffer from the parameters; false when the backend
    // cannot make them.
    bool Initialise(const D3DPRESENT_PARAMETERS& params);

    D3DRESULT TestCooperativeLevel() const { return m_lostState; }
    // Test hook: from now on TestCooperativeLevel answers result, until a Reset succeeds.
    void InjectLoss(D3DRESULT result) { m_lostState = result; }
    // Test hook: the next count calls of Reset fail (nothing else makes a Reset fail).
    void InjectResetFailures(int count) { m_resetFailures = count; }
    // Remakes the back buffer and its depth-stencil buffer, binds them and sets the viewport to them;
    // render states go back to their defaults. Sampler and texture-stage states, transforms, lights and
    // the material are kept.
    D3DRESULT Reset(D3DPRESENT_PARAMETERS& params);
    const D3DCAPS9& GetDeviceCaps() const { return m_caps; }
    const D3DPRESENT_PARAMETERS& PresentParameters() const { return m_params; }

    D3DRESULT CreateTexture(uint32_t w, uint32_t h, uint32_t levels, uint32_t usage, uint32_t format,
                            uint32_t pool, CD3DTexture** out);
    D3DRESULT CreateRenderTarget(uint32_t w, uint32_t h, uint32_t format, uint32_t multisample,
                                 uint32_t quality, bool lockable, CD3DSurface** out);
    D3DRESULT CreateDepthStencilSurface(uint32_t w, uint32_t h, uint32_t format, uint32_t multisample,
                                        uint32_t quality, bool discard, CD3DSurface** out);
    D3DRESULT CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                 CD3DVertexBuffer** out);
    // Copies the whole of the source texture's memory into the destination (same size and format).
    D3DRESULT UpdateTexture(CD3DTexture* source, CD3DTexture* destination);
    D3DRESULT StretchRect(CD3DSurface* source, const D3DRECT* sourceRect, CD3DSurface* destination,
                          const D3DRECT* destinationRect, uint32_t filter);
    // Reads a rectangle of a colour surface as A8R8G8B8 rows (top row first) into dest.
    D3DRESULT ReadPixels(CD3DSurface* surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch);

    D3DRESULT GetBackBuffer(CD3DSurface** out);
    D3DRESULT GetRenderTarget(uint32_t slot, CD3DSurface** out);
    D3DRESULT SetRenderTarget(uint32_t slot, CD3DSurface* surface);
    D3DRESULT GetDepthStencilSurface(CD3DSurface** out);
    D3DRESULT SetDepthStencilSurface(CD3DSurface* surface);

    D3DRESULT SetRenderState(uint32_t state, uint32_t value);
    uint32_t GetRenderState(uint32_t state) const;
    D3DRESULT SetSamplerState(uint32_t stage, uint32_t type, uint32_t value);
    uint32_t GetSamplerState(uint32_t stage, uint32_t type) const;
    D3DRESULT SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
    uint32_t GetTextureStageState(uint32_t stage, uint32_t type) const;
    D3DRESULT SetTexture(uint32_t stage, CD3DTexture* texture);
    CD3DTexture* GetTexture(uint32_t stage) const { return stage < kSamplerStages ? m_textures[stage] : nullptr; }
    D3DRESULT SetTransform(uint32_t type, const D3DMATRIX& matrix);
    D3DRESULT GetTransform(uint32_t type, D3DMATRIX* out) const;
    // Lights 0..7 of the fixed-function lighting, in world space: directional and point lights (a spot
    // light, a negative range or a point light whose three attenuations are all 0 is refused). Every light
    // starts as the default one (white, directional, along +z) and switched off.
    D3DRESULT SetLight(uint32_t index, const D3DLIGHT9& light);
    D3DRESULT GetLight(uint32_t index, D3DLIGHT9* out) const;
    D3DRESULT LightEnable(uint32_t index, bool on);
    bool GetLightEnable(uint32_t index) const { return index < kLights && m_lightOn[index]; }
    D3DRESULT SetMaterial(const D3DMATERIAL9& material);
    const D3DMATERIAL9& GetMaterial() const { return m_material; }
    D3DRESULT SetViewport(const D3DVIEWPORT9& viewport);
    D3DRESULT GetViewport(D3DVIEWPORT9* out) const;
    // Moves on with every change of a transform or of the viewport (also by a new target in slot 0).
    uint32_t PlacementSerial() const { return m_placementSerial; }

    // A format code and a declaration exclude each other: setting one clears the other.
    D3DRESULT SetFVF(uint32_t fvf);
    // Refused when the elements hold an unknown type or usage, an element outside stream 0, or two
    // elements of one usage and index. At most 64 elements before the end marker.
    D3DRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, CD3DVertexDeclaration** out);
    D3DRESULT SetVertexDeclaration(CD3DVertexDeclaration* declaration);
    CD3DVertexDeclaration* GetVertexDeclaration() const { return m_declaration; }
    // Programs from code of the matching kind; refused when the backend cannot build them.
    D3DRESULT CreateVertexShader(const CD3DXShaderCode* code, CD3DShader** out);
    D3DRESULT CreatePixelShader(const CD3DXShaderCode* code, CD3DShader** out);
    D3DRESULT SetVertexShader(CD3DShader* shader);
    D3DRESULT SetPixelShader(CD3DShader* shader);
    CD3DShader* GetVertexShader() const { return m_vertexShader; }
    CD3DShader* GetPixelShader() const { return m_pixelShader; }
    // Constant registers, four 32-bit words each. The integer setters write integer words into the same
    // registers; each uniform of a program reads its registers as the type it was declared with.
    D3DRESULT SetVertexShaderConstantF(uint32_t first, const float* data, uint32_t count);
    D3DRESULT SetVertexShaderConstantI(uint32_t first, const int32_t* data, uint32_t count);
    D3DRESULT SetPixelShaderConstantF(uint32_t first, const float* data, uint32_t count);
    D3DRESULT SetPixelShaderConstantI(uint32_t first, const int32_t* data, uint32_t count);
    // The words of a register (0 vertex, 1 pixel); null outside the file.
    const uint32_t* ShaderConstant(int stage, uint32_t reg) const;
    D3DRESULT SetStreamSource(uint32_t stream, CD3DVertexBuffer* buffer, uint32_t offset, uint32_t stride);
    D3DRESULT DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitives);
    D3DRESULT DrawPrimitiveUP(uint32_t type, uint32_t primitives, const void* vertices, uint32_t stride);
    // Clears the current viewport of the bound targets (the rectangles are not supported: count must be
    // 0), whatever the colour, depth and stencil write states say.
    D3DRESULT Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t colour, float z,
                    uint32_t stencil);
    D3DRESULT BeginScene();
    D3DRESULT EndScene();
    D3DRESULT Present();

    // Set by the caller while every texel its draws sample from stage 0's texture has alpha 255 (it is not
    // part of the device's state and is not logged). A backend may then leave out a blend that cannot
    // change such pixels: the usual alpha blend of the fixed pipeline when every vertex is opaque and the
    // pipeline's alpha is the texture's and the vertices' (see CGLDevice).
    void SetOpaqueSamples(bool on) { m_opaqueSamples = on; }

    // The call log: off until enabled; ClearLog empties it.
    void EnableLog(bool on) { m_logging = on; }
    const std::vector<D3DCall>& Log() const { return m_log; }
    void ClearLog() { m_log.clear(); }

protected:
    CD3DDevice();
    // Drops every reference the device holds (targets, textures, stream, back buffer); a backend's
    // destructor calls it while the backend can still destroy its objects.
    void ReleaseHeld();
    // Objects not yet destroyed.
    size_t LiveObjects() const { return m_live.size(); }

    // Backend work. Every hook runs after the base has checked the call and updated its state.
    virtual bool BackendCreateTexture(CD3DTexture& texture) = 0;
    virtual bool BackendCreateSurface(CD3DSurface& surface) = 0;
    virtual void BackendDestroy(CD3DResource& resource) = 0;
    // Builds the backend's object of a program; false when it cannot.
    virtual bool BackendCreateShader(CD3DShader& shader) = 0;
    // Sends a rectangle of the texture's memory to the backend's copy.
    virtual void BackendUpload(CD3DTexture& texture, const D3DRECT& rect) = 0;
    virtual void BackendDraw(uint32_t type, uint32_t vertexCount, const uint8_t* vertices, uint32_t stride,
                             uint32_t fvf) = 0;
    virtual void BackendClear(uint32_t flags, uint32_t colour, float z, uint32_t stencil) = 0;
    virtual bool BackendStretch(CD3DSurface& source, const D3DRECT& sourceRect, CD3DSurface& destination,
                                const D3DRECT& destinationRect, bool linear) = 0;
    virtual bool BackendRead(CD3DSurface& surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) = 0;
    virtual void BackendPresent(CD3DSurface& backBuffer) = 0;
    // The present parameters were set (creation and every reset).
    virtual void BackendPresentParameters() {}

    // State the backends read.
    uint32_t m_renderStates[D3D_RENDERSTATE_COUNT]{};
    uint32_t m_samplerStates[kSamplerStages][D3D_SAMPLERSTATE_COUNT]{};
    uint32_t m_stageStates[kTextureStages][D3D_TEXTURESTAGESTATE_COUNT]{};
    CD3DTexture* m_textures[kSamplerStages]{};
    CD3DSurface* m_targets[kMaxRenderTargets]{};
    CD3DSurface* m_depthStencil = nullptr;
    D3DMATRIX m_world{}, m_view{}, m_projection{};
    D3DLIGHT9 m_lights[kLights]{};
    bool m_lightOn[kLights]{};
    D3DMATERIAL9 m_material{};
    D3DVIEWPORT9 m_viewport{};
    D3DCAPS9 m_caps{};
    // Set by every change of a target, a state, a texture, a transform or the viewport; a backend
    // clears what it has applied.
    bool m_targetsChanged = true;
    bool m_statesChanged = true;
    // Programs, declaration and constant registers; constantsChanged is set by every register write.
    CD3DVertexDeclaration* m_declaration = nullptr;
    CD3DShader* m_vertexShader = nullptr;
    CD3DShader* m_pixelShader = nullptr;
    uint32_t m_vertexConstants[D3D_VertexConstantRegisters][4]{};
    uint32_t m_pixelConstants[D3D_PixelConstantRegisters][4]{};
    bool m_constantsChanged = true;
    bool m_opaqueSamples = false;

private:
    friend class CD3DResource;
    friend class CD3DTexture;
    void SetDefaultRenderStates();
    bool MakeBackBuffer();
    void Record(D3DCallKind kind, uint32_t a = 0, uint32_t b = 0, uint32_t c = 0, uint32_t d = 0,
                const void* data = nullptr, size_t size = 0);
    void Destroyed(CD3DResource& resource);
    static void Replace(CD3DSurface*& slot, CD3DSurface* surface);
    template <typename T> static void Hold(T*& slot, T* object);
    D3DRESULT CreateShader(const CD3DXShaderCode* code, bool pixel, CD3DShader** out);
    D3DRESULT SetConstants(int stage, uint32_t first, const void* data, uint32_t count, bool integer);
    // Bytes a vertex of the bound format code or declaration needs; 0 when neither is bound.
    uint32_t BoundVertexSize() const;

    D3DPRESENT_PARAMETERS m_params{};
    CD3DSurface* m_backBuffer = nullptr;
    CD3DSurface* m_autoDepth = nullptr;
    uint32_t m_fvf = 0;
    CD3DVertexBuffer* m_stream = nullptr;
    uint32_t m_streamOffset = 0;
    uint32_t m_streamStride = 0;
    bool m_inScene = false;
    uint32_t m_placementSerial = 0;
    D3DRESULT m_lostState = D3D_OK;
    int m_resetFailures = 0;
    bool m_logging = false;
    std::vector<D3DCall> m_log;
    std::unordered_set<CD3DResource*> m_live;
};

// The adapter's desktop is the platform's: the display the window is on. Without a platform backend
// (drawing without a window, as the tests of the drawing code do) this stand-in takes its place, with
// its one mode.
struct D3DVirtualDesktop {
    uint32_t width = 1920;
    uint32_t height = 1080;
    uint32_t bitsPerPixel = 32;
    uint32_t refreshRate = 60;
    // Test hook: every desktop query fails while this is set, with or without a backend.
    bool modeQueryFails = false;
};

enum class D3DBackend { OpenGL, Recording };

class CD3D {
public:
    uint32_t GetAdapterCount() const { return 1; }
    D3DRESULT GetDeviceCaps(uint32_t adapter, uint32_t type, D3DCAPS9* out) const;
    D3DRESULT GetAdapterIdentifier(uint32_t adapter, uint32_t flags, D3DADAPTER_IDENTIFIER9* out) const;
    D3DRESULT GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE* out) const;
    // Every multisample count is refused.
    D3DRESULT CheckDeviceMultiSampleType(uint32_t adapter, uint32_t type, uint32_t format, bool windowed,
                                         uint32_t samples) const;
    D3DRESULT CreateDevice(uint32_t adapter, uint32_t type, void* window, uint32_t behaviour,
                           D3DPRESENT_PARAMETERS* params, CD3DDevice** out);
    void Release() { delete this; }
};

// The stand-in desktop (and the test hook).
D3DVirtualDesktop& D3D_Desktop();
// The desktop's mode; false when it cannot be known.
bool D3D_GetDesktopMode(PlatformDisplayMode& mode);
// The modes the desktop's display lists, the desktop's own always among them; false when the desktop
// cannot be known.
bool D3D_GetDisplayModes(std::vector<PlatformDisplayMode>& modes);
// Makes a backend's device for the window (null: none, the backend then draws without one); null when
// the backend cannot start.
using D3DDeviceFactory = CD3DDevice* (*)(void* window);
// The table of backends: the layer above registers the maker of each at start-up. A backend that has no
// maker cannot be made (CreateDevice refuses it).
void D3D_RegisterBackend(D3DBackend backend, D3DDeviceFactory create);
// Readies the drawing for a new window, registered with the backends: true when the window is to be
// made for OpenGL (the GL driver is then loaded and kept). Without one registered, false.
void D3D_SetWindowPreparer(bool (*prepare)());
bool D3D_PrepareWindow();
// Which backend CreateDevice makes (OpenGL by default).
void D3D_SetBackend(D3DBackend backend);
D3DBackend D3D_GetBackend();
// Makes the interface object; never fails.
CD3D* Direct3DCreate9(uint32_t sdkVersion);
