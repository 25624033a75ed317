#include "device/device.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

uint32_t g_nextSerial = 1;
D3DBackend g_backend = D3DBackend::OpenGL;
bool (*g_windowPreparer)() = nullptr;
std::array<D3DDeviceFactory, static_cast<size_t>(D3DBackend::Recording) + 1> g_factories{};

uint32_t FloatBits(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m.m[0] = m.m[5] = m.m[10] = m.m[15] = 1.0f;
    return m;
}

// The rectangle clipped to (0, 0, w, h); false when nothing is left.
bool ClipRect(D3DRECT& r, uint32_t w, uint32_t h) {
    r.x1 = std::max(r.x1, 0);
    r.y1 = std::max(r.y1, 0);
    r.x2 = std::min<int64_t>(r.x2, w);
    r.y2 = std::min<int64_t>(r.y2, h);
    return r.x1 < r.x2 && r.y1 < r.y2;
}

} // namespace

// ---- objects ----

template <typename T> void CD3DDevice::Hold(T*& slot, T* object) {
    if (object) object->AddRef();
    if (slot) slot->Release();
    slot = object;
}

CD3DResource::CD3DResource(CD3DDevice* device) : m_device(device), m_serial(g_nextSerial++) {
    device->m_live.insert(this);
}

CD3DResource::~CD3DResource() {
    if (m_device) m_device->m_live.erase(this);
}

uint32_t CD3DResource::AddRef() {
    return ++m_refs;
}

uint32_t CD3DResource::Release() {
    const uint32_t left = --m_refs;
    if (left == 0) {
        if (m_device) m_device->Destroyed(*this);
        delete this;
    }
    return left;
}

CD3DSurface::CD3DSurface(CD3DDevice* device, D3DSurfaceKind kind, uint32_t w, uint32_t h, uint32_t format,
                         CD3DTexture* container)
    : CD3DResource(device), m_kind(kind), m_width(w), m_height(h), m_format(format), m_container(container) {}

CD3DSurface::~CD3DSurface() = default;

uint32_t CD3DSurface::AddRef() {
    return m_container ? m_container->AddRef() : CD3DResource::AddRef();
}

uint32_t CD3DSurface::Release() {
    return m_container ? m_container->Release() : CD3DResource::Release();
}

CD3DTexture::CD3DTexture(CD3DDevice* device, uint32_t w, uint32_t h, uint32_t levels, uint32_t usage,
                         uint32_t format, uint32_t pool)
    : CD3DResource(device), m_width(w), m_height(h), m_levels(levels), m_usage(usage), m_format(format),
      m_pool(pool), m_pixels(static_cast<size_t>(w) * h * D3D_FormatBytes(format), 0) {
    m_level0 = new CD3DSurface(device, D3DSurfaceKind::TextureLevel, w, h, format, this);
}

CD3DTexture::~CD3DTexture() {
    // The level surface shares this texture's backend object; it goes without a backend call.
    delete m_level0;
}

CD3DSurface* CD3DTexture::GetSurfaceLevel(uint32_t level) {
    if (level != 0) return nullptr;
    AddRef();
    return m_level0;
}

uint32_t CD3DTexture::SetPriority(uint32_t priority) {
    const uint32_t old = m_priority;
    m_priority = priority;
    return old;
}

D3DRESULT CD3DTexture::LockRect(uint32_t level, uint32_t* pitch, uint8_t** bits, const D3DRECT* rect,
                                uint32_t flags) {
    if (level != 0 || m_locked || !pitch || !bits) return D3DERR_INVALIDCALL;
    D3DRECT r = rect ? *rect : D3DRECT{0, 0, static_cast<int32_t>(m_width), static_cast<int32_t>(m_height)};
    if (r.x1 < 0 || r.y1 < 0 || r.x1 >= r.x2 || r.y1 >= r.y2 || static_cast<uint32_t>(r.x2) > m_width ||
        static_cast<uint32_t>(r.y2) > m_height)
        return D3DERR_INVALIDCALL;
    m_locked = true;
    m_lockFlags = flags;
    m_lockRect = r;
    *pitch = Pitch();
    *bits = m_pixels.data() + static_cast<size_t>(r.y1) * Pitch() +
            static_cast<size_t>(r.x1) * D3D_FormatBytes(m_format);
    return D3D_OK;
}

bool CD3DTexture::OpaqueIn(const D3DRECT& r) const {
    if (m_format != D3DFMT_A8R8G8B8 || m_dirty || m_drawnInto || (m_usage & D3DUSAGE_RENDERTARGET)) return false;
    if (r.x1 < 0 || r.y1 < 0 || r.x1 >= r.x2 || r.y1 >= r.y2 || static_cast<uint32_t>(r.x2) > m_width ||
        static_cast<uint32_t>(r.y2) > m_height)
        return false;
    for (int32_t y = r.y1; y < r.y2; ++y) {
        const uint8_t* p = m_pixels.data() + static_cast<size_t>(y) * Pitch() + static_cast<size_t>(r.x1) * 4 + 3;
        for (int32_t x = r.x1; x < r.x2; ++x, p += 4)
            if (*p != 0xFF) return false;
    }
    return true;
}

D3DRESULT CD3DTexture::UnlockRect(uint32_t level) {
    if (level != 0 || !m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    if (!(m_lockFlags & D3DLOCK_READONLY)) ++m_contentSerial;
    if (m_lockFlags & D3DLOCK_NO_DIRTY_UPDATE)
        m_dirty = true;
    else if (!(m_lockFlags & D3DLOCK_READONLY))
        if (m_device) m_device->BackendUpload(*this, m_lockRect);
    return D3D_OK;
}

CD3DVertexBuffer::CD3DVertexBuffer(CD3DDevice* device, uint32_t length, uint32_t usage, uint32_t fvf,
                                   uint32_t pool)
    : CD3DResource(device), m_bytes(length, 0), m_usage(usage), m_fvf(fvf), m_pool(pool) {}

D3DRESULT CD3DVertexBuffer::Lock(uint32_t offset, uint32_t size, uint8_t** data, uint32_t /*flags*/) {
    if (!data || m_locked) return D3DERR_INVALIDCALL;
    if (size == 0 && offset == 0) size = Length();
    if (offset > Length() || size > Length() - offset) return D3DERR_INVALIDCALL;
    m_locked = true;
    *data = m_bytes.data() + offset;
    return D3D_OK;
}

D3DRESULT CD3DVertexBuffer::Unlock() {
    if (!m_locked) return D3DERR_INVALIDCALL;
    m_locked = false;
    return D3D_OK;
}

CD3DVertexDeclaration::CD3DVertexDeclaration(CD3DDevice* device, std::vector<D3DVERTEXELEMENT9> elements)
    : CD3DResource(device), m_elements(std::move(elements)) {
    for (const D3DVERTEXELEMENT9& e : m_elements)
        m_minimumStride = std::max(m_minimumStride, static_cast<uint32_t>(e.Offset) + D3D_DeclTypeSize(e.Type));
}

// ---- device ----

CD3DDevice::CD3DDevice() {
    m_caps.DeviceType = D3DDEVTYPE_HAL;
    m_caps.RasterCaps = D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGVERTEX;
    m_caps.MaxTextureWidth = 8192;
    m_caps.MaxTextureHeight = 8192;
    m_caps.NumSimultaneousRTs = kMaxRenderTargets;
    m_caps.VertexShaderVersion = 0xFFFE0300u;
    m_caps.PixelShaderVersion = 0xFFFF0300u;
    m_caps.NumberOfAdaptersInGroup = 1;
    m_world = m_view = m_projection = Identity();
    for (uint32_t s = 0; s < kSamplerStages; ++s) {
        m_samplerStates[s][D3DSAMP_ADDRESSU] = D3DTADDRESS_WRAP;
        m_samplerStates[s][D3DSAMP_ADDRESSV] = D3DTADDRESS_WRAP;
        m_samplerStates[s][D3DSAMP_ADDRESSW] = D3DTADDRESS_WRAP;
        m_samplerStates[s][D3DSAMP_MAGFILTER] = D3DTEXF_POINT;
        m_samplerStates[s][D3DSAMP_MINFILTER] = D3DTEXF_POINT;
    }
    for (uint32_t s = 0; s < kTextureStages; ++s) {
        m_stageStates[s][D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        m_stageStates[s][D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        m_stageStates[s][D3DTSS_COLORARG2] = D3DTA_CURRENT;
        m_stageStates[s][D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        m_stageStates[s][D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        m_stageStates[s][D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    }
    // The default light: white, directional, shining along +z.
    for (D3DLIGHT9& light : m_lights) {
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
        light.Direction = D3DVECTOR{0.0f, 0.0f, 1.0f};
    }
    SetDefaultRenderStates();
}

// Objects still held elsewhere outlive the device as empty shells: their backend objects went with it,
// and releasing them later only frees them.
CD3DDevice::~CD3DDevice() {
    for (CD3DResource* resource : m_live)
        resource->m_device = nullptr;
}

void CD3DDevice::ReleaseHeld() {
    for (auto*& target : m_targets)
        Replace(target, nullptr);
    Replace(m_depthStencil, nullptr);
    Replace(m_backBuffer, nullptr);
    Replace(m_autoDepth, nullptr);
    for (auto*& texture : m_textures) {
        if (texture) texture->Release();
        texture = nullptr;
    }
    SetStreamSource(0, nullptr, 0, 0);
    Hold<CD3DVertexDeclaration>(m_declaration, nullptr);
    Hold<CD3DShader>(m_vertexShader, nullptr);
    Hold<CD3DShader>(m_pixelShader, nullptr);
}


void CD3DDevice::SetDefaultRenderStates() {
    uint32_t* rs = m_renderStates;
    std::fill(rs, rs + D3D_RENDERSTATE_COUNT, 0u);
    rs[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? 1u : 0u;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = 1;
    rs[D3DRS_LASTPIXEL] = 1;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGSTART] = FloatBits(0.0f);
    rs[D3DRS_FOGEND] = FloatBits(1.0f);
    rs[D3DRS_FOGDENSITY] = FloatBits(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs[D3DRS_LIGHTING] = 1;
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_BLENDFACTOR] = 0xFFFFFFFFu;
    m_statesChanged = true;
}

void CD3DDevice::Record(D3DCallKind kind, uint32_t a, uint32_t b, uint32_t c, uint32_t d, const void* data,
                        size_t size) {
    if (!m_logging) return;
    D3DCall call{kind, a, b, c, d, {}};
    if (data && size) {
        const auto* p = static_cast<const uint8_t*>(data);
        call.data.assign(p, p + size);
    }
    m_log.push_back(std::move(call));
}

void CD3DDevice::Destroyed(CD3DResource& resource) {
    BackendDestroy(resource);
}

void CD3DDevice::Replace(CD3DSurface*& slot, CD3DSurface* surface) {
    if (surface) surface->AddRef();
    if (slot) slot->Release();
    slot = surface;
}

bool CD3DDevice::MakeBackBuffer() {
    if (m_backBuffer) m_backBuffer->Release();
    if (m_autoDepth) m_autoDepth->Release();
    m_backBuffer = m_autoDepth = nullptr;
    const uint32_t w = std::max(1u, m_params.BackBufferWidth);
    const uint32_t h = std::max(1u, m_params.BackBufferHeight);
    m_params.BackBufferWidth = w;
    m_params.BackBufferHeight = h;
    if (CreateRenderTarget(w, h, D3DFMT_A8R8G8B8, 0, 0, false, &m_backBuffer) != D3D_OK) return false;
    if (m_params.EnableAutoDepthStencil &&
        CreateDepthStencilSurface(w, h, m_params.AutoDepthStencilFormat, 0, 0, false, &m_autoDepth) != D3D_OK)
        return false;
    SetRenderTarget(0, m_backBuffer);
    for (uint32_t slot = 1; slot < kMaxRenderTargets; ++slot)
        SetRenderTarget(slot, nullptr);
    SetDepthStencilSurface(m_autoDepth);
    BackendPresentParameters();
    return true;
}

bool CD3DDevice::Initialise(const D3DPRESENT_PARAMETERS& params) {
    m_params = params;
    SetDefaultRenderStates();
    return MakeBackBuffer();
}

D3DRESULT CD3DDevice::Reset(D3DPRESENT_PARAMETERS& params) {
    Record(D3DCallKind::Reset, params.BackBufferWidth, params.BackBufferHeight);
    if (m_resetFailures > 0) {
        --m_resetFailures;
        return D3DERR_NOTAVAILABLE;
    }
    m_params = params;
    for (auto*& target : m_targets)
        Replace(target, nullptr);
    Replace(m_depthStencil, nullptr);
    SetDefaultRenderStates();
    if (!MakeBackBuffer()) return D3DERR_NOTAVAILABLE;
    params = m_params;
    m_lostState = D3D_OK;
    m_inScene = false;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateTexture(uint32_t w, uint32_t h, uint32_t levels, uint32_t usage, uint32_t format,
                                    uint32_t pool, CD3DTexture** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (w == 0 || h == 0 || D3D_FormatBytes(format) == 0) return D3DERR_INVALIDCALL;
    if (w > m_caps.MaxTextureWidth || h > m_caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    auto* texture = new CD3DTexture(this, w, h, levels ? levels : 1, usage, format, pool);
    if (!BackendCreateTexture(*texture)) {
        texture->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    Record(D3DCallKind::CreateTexture, w, h, format, texture->Serial());
    *out = texture;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateRenderTarget(uint32_t w, uint32_t h, uint32_t format, uint32_t /*multisample*/,
                                         uint32_t /*quality*/, bool /*lockable*/, CD3DSurface** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (w == 0 || h == 0 || D3D_FormatBytes(format) == 0) return D3DERR_INVALIDCALL;
    if (w > m_caps.MaxTextureWidth || h > m_caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    auto* surface = new CD3DSurface(this, D3DSurfaceKind::RenderTarget, w, h, format, nullptr);
    if (!BackendCreateSurface(*surface)) {
        surface->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    Record(D3DCallKind::CreateRenderTarget, w, h, format, surface->Serial());
    *out = surface;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateDepthStencilSurface(uint32_t w, uint32_t h, uint32_t format,
                                                uint32_t /*multisample*/, uint32_t /*quality*/,
                                                bool /*discard*/, CD3DSurface** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (w == 0 || h == 0 || !D3D_IsDepthFormat(format)) return D3DERR_INVALIDCALL;
    if (w > m_caps.MaxTextureWidth || h > m_caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    auto* surface = new CD3DSurface(this, D3DSurfaceKind::DepthStencil, w, h, format, nullptr);
    if (!BackendCreateSurface(*surface)) {
        surface->Release();
        return D3DERR_OUTOFVIDEOMEMORY;
    }
    Record(D3DCallKind::CreateDepthStencilSurface, w, h, format, surface->Serial());
    *out = surface;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateVertexBuffer(uint32_t length, uint32_t usage, uint32_t fvf, uint32_t pool,
                                         CD3DVertexBuffer** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (length == 0 || length > 0x10000000u) return D3DERR_INVALIDCALL;
    *out = new CD3DVertexBuffer(this, length, usage, fvf, pool);
    Record(D3DCallKind::CreateVertexBuffer, length, usage, fvf, (*out)->Serial());
    return D3D_OK;
}

D3DRESULT CD3DDevice::UpdateTexture(CD3DTexture* source, CD3DTexture* destination) {
    if (!source || !destination || source->m_width != destination->m_width ||
        source->m_height != destination->m_height ||
        D3D_FormatBytes(source->m_format) != D3D_FormatBytes(destination->m_format))
        return D3DERR_INVALIDCALL;
    Record(D3DCallKind::UpdateTexture, source->Serial(), destination->Serial());
    destination->m_pixels = source->m_pixels;
    destination->m_drawnInto = false; // its memory is what the backend holds again
    ++destination->m_contentSerial;
    source->m_dirty = false;
    BackendUpload(*destination, D3DRECT{0, 0, static_cast<int32_t>(destination->m_width),
                                        static_cast<int32_t>(destination->m_height)});
    return D3D_OK;
}

D3DRESULT CD3DDevice::StretchRect(CD3DSurface* source, const D3DRECT* sourceRect, CD3DSurface* destination,
                                  const D3DRECT* destinationRect, uint32_t filter) {
    if (!source || !destination || source->Kind() == D3DSurfaceKind::DepthStencil ||
        destination->Kind() == D3DSurfaceKind::DepthStencil)
        return D3DERR_INVALIDCALL;
    D3DRECT s = sourceRect ? *sourceRect
                           : D3DRECT{0, 0, static_cast<int32_t>(source->Width()),
                                     static_cast<int32_t>(source->Height())};
    D3DRECT d = destinationRect ? *destinationRect
                                : D3DRECT{0, 0, static_cast<int32_t>(destination->Width()),
                                          static_cast<int32_t>(destination->Height())};
    const D3DRECT sIn = s;
    const D3DRECT dIn = d;
    if (!ClipRect(s, source->Width(), source->Height()) || !ClipRect(d, destination->Width(),
                                                                     destination->Height()))
        return D3DERR_INVALIDCALL;
    if (std::memcmp(&s, &sIn, sizeof s) != 0 || std::memcmp(&d, &dIn, sizeof d) != 0)
        return D3DERR_INVALIDCALL;
    Record(D3DCallKind::StretchRect, source->Serial(), destination->Serial(), filter);
    if (CD3DTexture* texture = destination->Container()) {
        texture->m_drawnInto = true;
        ++texture->m_contentSerial;
    }
    return BackendStretch(*source, s, *destination, d, filter == D3DTEXF_LINEAR) ? D3D_OK : D3DERR_INVALIDCALL;
}

D3DRESULT CD3DDevice::ReadPixels(CD3DSurface* surface, const D3DRECT& rect, uint8_t* dest, uint32_t pitch) {
    if (!surface || !dest || surface->Kind() == D3DSurfaceKind::DepthStencil) return D3DERR_INVALIDCALL;
    D3DRECT r = rect;
    if (!ClipRect(r, surface->Width(), surface->Height()) || std::memcmp(&r, &rect, sizeof r) != 0)
        return D3DERR_INVALIDCALL;
    if (pitch < static_cast<uint32_t>(r.x2 - r.x1) * 4) return D3DERR_INVALIDCALL;
    return BackendRead(*surface, r, dest, pitch) ? D3D_OK : D3DERR_INVALIDCALL;
}

D3DRESULT CD3DDevice::GetBackBuffer(CD3DSurface** out) {
    if (!out || !m_backBuffer) return D3DERR_INVALIDCALL;
    m_backBuffer->AddRef();
    *out = m_backBuffer;
    return D3D_OK;
}

D3DRESULT CD3DDevice::GetRenderTarget(uint32_t slot, CD3DSurface** out) {
    if (!out || slot >= kMaxRenderTargets) return D3DERR_INVALIDCALL;
    *out = m_targets[slot];
    if (!*out) return D3DERR_NOTAVAILABLE;
    (*out)->AddRef();
    return D3D_OK;
}

// Slot 0 cannot be emptied, and setting it makes the viewport the whole of the new target.
D3DRESULT CD3DDevice::SetRenderTarget(uint32_t slot, CD3DSurface* surface) {
    if (slot >= kMaxRenderTargets || (slot == 0 && !surface)) return D3DERR_INVALIDCALL;
    if (surface && surface->Kind() == D3DSurfaceKind::DepthStencil) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetRenderTarget, slot, surface ? surface->Serial() : 0);
    if (CD3DTexture* texture = surface ? surface->Container() : nullptr) {
        texture->m_drawnInto = true;
        ++texture->m_contentSerial;
    }
    Replace(m_targets[slot], surface);
    m_targetsChanged = true;
    if (slot == 0) {
        m_viewport = D3DVIEWPORT9{0, 0, surface->Width(), surface->Height(), 0.0f, 1.0f};
        m_statesChanged = true;
        ++m_placementSerial;
    }
    return D3D_OK;
}

D3DRESULT CD3DDevice::GetDepthStencilSurface(CD3DSurface** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = m_depthStencil;
    if (!*out) return D3DERR_NOTAVAILABLE;
    (*out)->AddRef();
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetDepthStencilSurface(CD3DSurface* surface) {
    if (surface && surface->Kind() != D3DSurfaceKind::DepthStencil) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetDepthStencilSurface, surface ? surface->Serial() : 0);
    Replace(m_depthStencil, surface);
    m_targetsChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetRenderState(uint32_t state, uint32_t value) {
    if (state >= D3D_RENDERSTATE_COUNT) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetRenderState, state, value);
    m_renderStates[state] = value;
    m_statesChanged = true;
    return D3D_OK;
}

uint32_t CD3DDevice::GetRenderState(uint32_t state) const {
    return state < D3D_RENDERSTATE_COUNT ? m_renderStates[state] : 0;
}

D3DRESULT CD3DDevice::SetSamplerState(uint32_t stage, uint32_t type, uint32_t value) {
    if (stage >= kSamplerStages || type >= D3D_SAMPLERSTATE_COUNT) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetSamplerState, stage, type, value);
    m_samplerStates[stage][type] = value;
    m_statesChanged = true;
    return D3D_OK;
}

uint32_t CD3DDevice::GetSamplerState(uint32_t stage, uint32_t type) const {
    return stage < kSamplerStages && type < D3D_SAMPLERSTATE_COUNT ? m_samplerStates[stage][type] : 0;
}

D3DRESULT CD3DDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    if (stage >= kTextureStages || type >= D3D_TEXTURESTAGESTATE_COUNT) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetTextureStageState, stage, type, value);
    m_stageStates[stage][type] = value;
    m_statesChanged = true;
    return D3D_OK;
}

uint32_t CD3DDevice::GetTextureStageState(uint32_t stage, uint32_t type) const {
    return stage < kTextureStages && type < D3D_TEXTURESTAGESTATE_COUNT ? m_stageStates[stage][type] : 0;
}

D3DRESULT CD3DDevice::SetTexture(uint32_t stage, CD3DTexture* texture) {
    if (stage >= kSamplerStages) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetTexture, stage, texture ? texture->Serial() : 0);
    if (texture) texture->AddRef();
    if (m_textures[stage]) m_textures[stage]->Release();
    m_textures[stage] = texture;
    m_statesChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetTransform(uint32_t type, const D3DMATRIX& matrix) {
    D3DMATRIX* slot = type == D3DTS_WORLD ? &m_world
                      : type == D3DTS_VIEW ? &m_view
                      : type == D3DTS_PROJECTION ? &m_projection
                                                 : nullptr;
    if (!slot) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetTransform, type, 0, 0, 0, matrix.m, sizeof matrix.m);
    *slot = matrix;
    m_statesChanged = true;
    ++m_placementSerial;
    return D3D_OK;
}

D3DRESULT CD3DDevice::GetTransform(uint32_t type, D3DMATRIX* out) const {
    if (!out) return D3DERR_INVALIDCALL;
    if (type == D3DTS_WORLD) *out = m_world;
    else if (type == D3DTS_VIEW) *out = m_view;
    else if (type == D3DTS_PROJECTION) *out = m_projection;
    else return D3DERR_INVALIDCALL;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetLight(uint32_t index, const D3DLIGHT9& light) {
    if (index >= kLights) return D3DERR_INVALIDCALL;
    if (light.Type != D3DLIGHT_POINT && light.Type != D3DLIGHT_DIRECTIONAL) return D3DERR_INVALIDCALL;
    if (light.Type == D3DLIGHT_POINT && (light.Range < 0.0f || (light.Attenuation0 == 0.0f &&
                                                                light.Attenuation1 == 0.0f &&
                                                                light.Attenuation2 == 0.0f)))
        return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetLight, index, 0, 0, 0, &light, sizeof light);
    m_lights[index] = light;
    m_statesChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::GetLight(uint32_t index, D3DLIGHT9* out) const {
    if (index >= kLights || !out) return D3DERR_INVALIDCALL;
    *out = m_lights[index];
    return D3D_OK;
}

D3DRESULT CD3DDevice::LightEnable(uint32_t index, bool on) {
    if (index >= kLights) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::LightEnable, index, on ? 1u : 0u);
    m_lightOn[index] = on;
    m_statesChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetMaterial(const D3DMATERIAL9& material) {
    Record(D3DCallKind::SetMaterial, 0, 0, 0, 0, &material, sizeof material);
    m_material = material;
    m_statesChanged = true;
    return D3D_OK;
}

// The viewport must lie inside the first target.
D3DRESULT CD3DDevice::SetViewport(const D3DVIEWPORT9& viewport) {
    const CD3DSurface* target = m_targets[0];
    if (!target || viewport.Width == 0 || viewport.Height == 0 || viewport.X > target->Width() ||
        viewport.Y > target->Height() || viewport.Width > target->Width() - viewport.X ||
        viewport.Height > target->Height() - viewport.Y)
        return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetViewport, viewport.X, viewport.Y, viewport.Width, viewport.Height);
    m_viewport = viewport;
    m_statesChanged = true;
    ++m_placementSerial;
    return D3D_OK;
}

D3DRESULT CD3DDevice::GetViewport(D3DVIEWPORT9* out) const {
    if (!out) return D3DERR_INVALIDCALL;
    *out = m_viewport;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetFVF(uint32_t fvf) {
    Record(D3DCallKind::SetFVF, fvf);
    m_fvf = fvf;
    Hold<CD3DVertexDeclaration>(m_declaration, nullptr);
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateVertexDeclaration(const D3DVERTEXELEMENT9* elements, CD3DVertexDeclaration** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!elements) return D3DERR_INVALIDCALL;
    std::vector<D3DVERTEXELEMENT9> list;
    for (size_t i = 0; elements[i].Stream != 0xFF; ++i) {
        const D3DVERTEXELEMENT9& e = elements[i];
        if (i >= 64 || e.Stream != 0 || D3D_DeclTypeSize(e.Type) == 0 || e.Usage >= D3DDECLUSAGE_COUNT ||
            e.Offset % 4 != 0)
            return D3DERR_INVALIDCALL;
        for (const D3DVERTEXELEMENT9& other : list)
            if (other.Usage == e.Usage && other.UsageIndex == e.UsageIndex) return D3DERR_INVALIDCALL;
        list.push_back(e);
    }
    *out = new CD3DVertexDeclaration(this, std::move(list));
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetVertexDeclaration(CD3DVertexDeclaration* declaration) {
    Record(D3DCallKind::SetVertexDeclaration, declaration ? declaration->Serial() : 0);
    Hold(m_declaration, declaration);
    if (declaration) m_fvf = 0;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateShader(const CD3DXShaderCode* code, bool pixel, CD3DShader** out) {
    if (!out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    if (!code || code->pixel != pixel) return D3DERR_INVALIDCALL;
    auto* shader = new CD3DShader(this, *code);
    if (!BackendCreateShader(*shader)) {
        shader->Release();
        return D3DERR_INVALIDCALL;
    }
    *out = shader;
    return D3D_OK;
}

D3DRESULT CD3DDevice::CreateVertexShader(const CD3DXShaderCode* code, CD3DShader** out) {
    return CreateShader(code, false, out);
}

D3DRESULT CD3DDevice::CreatePixelShader(const CD3DXShaderCode* code, CD3DShader** out) {
    return CreateShader(code, true, out);
}

D3DRESULT CD3DDevice::SetVertexShader(CD3DShader* shader) {
    if (shader && shader->Code().pixel) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetVertexShader, shader ? shader->Serial() : 0);
    Hold(m_vertexShader, shader);
    m_constantsChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetPixelShader(CD3DShader* shader) {
    if (shader && !shader->Code().pixel) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetPixelShader, shader ? shader->Serial() : 0);
    Hold(m_pixelShader, shader);
    m_constantsChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetConstants(int stage, uint32_t first, const void* data, uint32_t count, bool integer) {
    const uint32_t registers = stage == 0 ? D3D_VertexConstantRegisters : D3D_PixelConstantRegisters;
    if (!data || first > registers || count > registers - first) return D3DERR_INVALIDCALL;
    uint32_t(*file)[4] = stage == 0 ? m_vertexConstants : m_pixelConstants;
    std::memcpy(file[first], data, static_cast<size_t>(count) * 16);
    Record(D3DCallKind::SetShaderConstants, static_cast<uint32_t>(stage), first, count, integer ? 1 : 0, data,
           static_cast<size_t>(count) * 16);
    m_constantsChanged = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::SetVertexShaderConstantF(uint32_t first, const float* data, uint32_t count) {
    return SetConstants(0, first, data, count, false);
}

D3DRESULT CD3DDevice::SetVertexShaderConstantI(uint32_t first, const int32_t* data, uint32_t count) {
    return SetConstants(0, first, data, count, true);
}

D3DRESULT CD3DDevice::SetPixelShaderConstantF(uint32_t first, const float* data, uint32_t count) {
    return SetConstants(1, first, data, count, false);
}

D3DRESULT CD3DDevice::SetPixelShaderConstantI(uint32_t first, const int32_t* data, uint32_t count) {
    return SetConstants(1, first, data, count, true);
}

const uint32_t* CD3DDevice::ShaderConstant(int stage, uint32_t reg) const {
    if (stage == 0) return reg < D3D_VertexConstantRegisters ? m_vertexConstants[reg] : nullptr;
    return reg < D3D_PixelConstantRegisters ? m_pixelConstants[reg] : nullptr;
}

uint32_t CD3DDevice::BoundVertexSize() const {
    return m_declaration ? m_declaration->MinimumStride() : D3D_FVFSize(m_fvf);
}

D3DRESULT CD3DDevice::SetStreamSource(uint32_t stream, CD3DVertexBuffer* buffer, uint32_t offset,
                                      uint32_t stride) {
    if (stream != 0) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::SetStreamSource, buffer ? buffer->Serial() : 0, offset, stride);
    if (buffer) buffer->AddRef();
    if (m_stream) m_stream->Release();
    m_stream = buffer;
    m_streamOffset = offset;
    m_streamStride = stride;
    return D3D_OK;
}

D3DRESULT CD3DDevice::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primitives) {
    const uint32_t count = D3D_VertexCount(type, primitives);
    const uint32_t vertexSize = BoundVertexSize();
    if (!m_stream || count == 0 || vertexSize == 0 || m_streamStride < vertexSize || m_stream->m_locked)
        return D3DERR_INVALIDCALL;
    const uint64_t start = m_streamOffset + static_cast<uint64_t>(startVertex) * m_streamStride;
    const uint64_t bytes = static_cast<uint64_t>(count) * m_streamStride;
    if (start > m_stream->Length() || bytes > m_stream->Length() - start) return D3DERR_INVALIDCALL;
    const uint8_t* data = m_stream->Bytes() + start;
    Record(D3DCallKind::DrawPrimitive, type, primitives, m_streamStride, m_fvf, data, bytes);
    BackendDraw(type, count, data, m_streamStride, m_fvf);
    return D3D_OK;
}

D3DRESULT CD3DDevice::DrawPrimitiveUP(uint32_t type, uint32_t primitives, const void* vertices,
                                      uint32_t stride) {
    const uint32_t count = D3D_VertexCount(type, primitives);
    const uint32_t vertexSize = BoundVertexSize();
    if (!vertices || count == 0 || vertexSize == 0 || stride < vertexSize) return D3DERR_INVALIDCALL;
    const auto* data = static_cast<const uint8_t*>(vertices);
    Record(D3DCallKind::DrawPrimitiveUP, type, primitives, stride, m_fvf, data,
           static_cast<size_t>(count) * stride);
    // As with the device, the stream source is unset afterwards.
    SetStreamSource(0, nullptr, 0, 0);
    BackendDraw(type, count, data, stride, m_fvf);
    return D3D_OK;
}

D3DRESULT CD3DDevice::Clear(uint32_t count, const D3DRECT* /*rects*/, uint32_t flags, uint32_t colour, float z,
                            uint32_t stencil) {
    if (count != 0 || (flags & ~7u) != 0) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::Clear, flags, colour, stencil, 0, &z, sizeof z);
    if (!m_depthStencil) flags &= D3DCLEAR_TARGET;
    if (flags) BackendClear(flags, colour, z, stencil);
    return D3D_OK;
}

D3DRESULT CD3DDevice::BeginScene() {
    if (m_inScene) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::BeginScene);
    m_inScene = true;
    return D3D_OK;
}

D3DRESULT CD3DDevice::EndScene() {
    if (!m_inScene) return D3DERR_INVALIDCALL;
    Record(D3DCallKind::EndScene);
    m_inScene = false;
    return D3D_OK;
}

D3DRESULT CD3DDevice::Present() {
    Record(D3DCallKind::Present);
    if (m_lostState != D3D_OK) return D3DERR_DEVICELOST;
    if (m_backBuffer) BackendPresent(*m_backBuffer);
    return D3D_OK;
}

// ---- interface object ----

D3DVirtualDesktop& D3D_Desktop() {
    static D3DVirtualDesktop desktop;
    return desktop;
}

bool D3D_GetDesktopMode(PlatformDisplayMode& mode) {
    const D3DVirtualDesktop& standIn = D3D_Desktop();
    if (standIn.modeQueryFails) return false;
    if (Platform_GetBackend()) return Platform_GetDesktopMode(mode);
    mode = PlatformDisplayMode{static_cast<int32_t>(standIn.width), static_cast<int32_t>(standIn.height),
                               static_cast<int32_t>(standIn.bitsPerPixel), static_cast<int32_t>(standIn.refreshRate)};
    return true;
}

bool D3D_GetDisplayModes(std::vector<PlatformDisplayMode>& modes) {
    modes.clear();
    PlatformDisplayMode desktop;
    if (!D3D_GetDesktopMode(desktop)) return false;
    if (Platform_GetBackend()) Platform_GetDisplayModes(modes);
    if (std::find(modes.begin(), modes.end(), desktop) == modes.end()) modes.push_back(desktop);
    return true;
}

void D3D_RegisterBackend(D3DBackend backend, D3DDeviceFactory create) {
    g_factories[static_cast<size_t>(backend)] = create;
}

void D3D_SetWindowPreparer(bool (*prepare)()) {
    g_windowPreparer = prepare;
}

bool D3D_PrepareWindow() {
    return g_windowPreparer && g_windowPreparer();
}

void D3D_SetBackend(D3DBackend backend) {
    g_backend = backend;
}

D3DBackend D3D_GetBackend() {
    return g_backend;
}

CD3D* Direct3DCreate9(uint32_t /*sdkVersion*/) {
    return new CD3D();
}

D3DRESULT CD3D::GetDeviceCaps(uint32_t adapter, uint32_t type, D3DCAPS9* out) const {
    if (adapter != 0 || type != D3DDEVTYPE_HAL || !out) return D3DERR_INVALIDCALL;
    *out = D3DCAPS9{};
    out->DeviceType = D3DDEVTYPE_HAL;
    out->RasterCaps = D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_FOGVERTEX;
    out->MaxTextureWidth = out->MaxTextureHeight = 8192;
    out->NumSimultaneousRTs = CD3DDevice::kMaxRenderTargets;
    out->VertexShaderVersion = 0xFFFE0300u;
    out->PixelShaderVersion = 0xFFFF0300u;
    out->NumberOfAdaptersInGroup = 1;
    return D3D_OK;
}

// The driver and description name this layer; neither contains a graphics vendor's name, so no
// vendor workaround is switched on by them.
D3DRESULT CD3D::GetAdapterIdentifier(uint32_t adapter, uint32_t /*flags*/, D3DADAPTER_IDENTIFIER9* out) const {
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    *out = D3DADAPTER_IDENTIFIER9{};
    std::strcpy(out->Driver, "runner-gl");
    std::strcpy(out->Description, "Runner OpenGL 3.3 device");
    std::strcpy(out->DeviceName, "DISPLAY1");
    return D3D_OK;
}

D3DRESULT CD3D::GetAdapterDisplayMode(uint32_t adapter, D3DDISPLAYMODE* out) const {
    if (adapter != 0 || !out) return D3DERR_INVALIDCALL;
    PlatformDisplayMode desktop;
    if (!D3D_GetDesktopMode(desktop)) return D3DERR_NOTAVAILABLE;
    *out = D3DDISPLAYMODE{static_cast<uint32_t>(desktop.width), static_cast<uint32_t>(desktop.height),
                          static_cast<uint32_t>(desktop.refreshRate),
                          desktop.bitsPerPixel == 16 ? 23u /* R5G6B5 */ : static_cast<uint32_t>(D3DFMT_X8R8G8B8)};
    return D3D_OK;
}

D3DRESULT CD3D::CheckDeviceMultiSampleType(uint32_t, uint32_t, uint32_t, bool, uint32_t) const {
    return D3DERR_NOTAVAILABLE;
}

D3DRESULT CD3D::CreateDevice(uint32_t adapter, uint32_t type, void* window, uint32_t /*behaviour*/,
                             D3DPRESENT_PARAMETERS* params, CD3DDevice** out) {
    if (adapter != 0 || type != D3DDEVTYPE_HAL || !params || !out) return D3DERR_INVALIDCALL;
    *out = nullptr;
    const D3DDeviceFactory create = g_factories[static_cast<size_t>(g_backend)];
    CD3DDevice* device = create ? create(window) : nullptr;
    if (!device) return D3DERR_NOTAVAILABLE;
    if (!device->Initialise(*params)) {
        delete device;
        return D3DERR_NOTAVAILABLE;
    }
    *params = device->PresentParameters();
    *out = device;
    return D3D_OK;
}
