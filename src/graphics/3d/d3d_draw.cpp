#include "graphics/3d/d3d_draw.h"

#include "core/convert.h"
#include "device/device.h"
#include "graphics/draw/draw.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "script/vm/vm_error.h"

#include <cmath>
#include <cstring>
#include <vector>

struct GR_3D_BuilderState {
    Vertex36 vertices[GR_3D_ChunkVertices];
    // 1 where the vertex took the drawing colour.
    uint8_t drawColour[GR_3D_ChunkVertices];
    int count = 0;
    int kind = 0;
    int limit = 0;
    int texture = -1;
    const TPageEntry* entry = nullptr;
    float pageWidth = 1.0f;
    float pageHeight = 1.0f;
};

namespace {

GR_3D_BuilderState g_builder;
GraphicsRecorder* g_recorder = nullptr;

constexpr double kPi = 3.1415927410125732; // pi in single precision
constexpr float kByteToUnit = 0.003921568859368563f;

float F(double d) {
    return static_cast<float>(d);
}

// The colour word of a vertex with a colour of its own: red's lowest bit set marks it.
uint32_t OwnColour(uint32_t colour, float alpha) {
    const float a = alpha >= 0.0f ? (alpha > 1.0f ? 1.0f : alpha) : 0.0f;
    const auto alphaByte = static_cast<uint32_t>(X86_DoubleToInt32(a * 255.0f)) & 0xFFu;
    return alphaByte << 24 | ((colour & 0xFFu) | 1u) << 16 | (colour & 0xFF00u) | (colour >> 16 & 0xFFu);
}

uint32_t DrawColour() {
    return GR_Draw_GetDeviceColour() & ~1u;
}

// Hands the vertices gathered so far to the recorder or the batcher.
void EndChunk() {
    GR_3D_BuilderState& b = g_builder;
    if (b.kind < 1 || b.kind > 6 || b.count == 0) return;
    if (g_recorder) {
        GraphicsRecorder_AddPrimitive(g_recorder, b.kind, b.count, b.vertices, b.drawColour);
        return;
    }
    auto* out = static_cast<Vertex36*>(Graphics::AllocVerts(b.kind, Texture_Get(b.texture), 36, b.count));
    if (out) std::memcpy(out, b.vertices, sizeof(Vertex36) * static_cast<size_t>(b.count));
}

// Draws the full chunk and starts the next with the vertices the primitive still needs, so that strips
// and fans join without a gap and keep their winding.
void ContinueInNewChunk() {
    GR_3D_BuilderState& b = g_builder;
    EndChunk();
    const int n = b.count;
    int keep[3];
    int kept = 0;
    if (b.kind == D3DPT_LINESTRIP) {
        keep[kept++] = n - 1;
    } else if (b.kind == D3DPT_TRIANGLESTRIP) {
        if (n % 2 == 0) {
            keep[kept++] = n - 2;
        } else {
            keep[kept++] = n - 2;
            keep[kept++] = n - 2;
        }
        keep[kept++] = n - 1;
    } else if (b.kind == D3DPT_TRIANGLEFAN) {
        keep[kept++] = 0;
        keep[kept++] = n - 1;
    }
    Vertex36 v[3];
    uint8_t marks[3];
    for (int i = 0; i < kept; ++i) {
        v[i] = b.vertices[keep[i]];
        marks[i] = b.drawColour[keep[i]];
    }
    for (int i = 0; i < kept; ++i) {
        b.vertices[i] = v[i];
        b.drawColour[i] = marks[i];
    }
    b.count = kept;
}

// ---- shapes ----

// The angle tables of n steps: entries 0..n of the cosine and sine of 2 i pi / n.
struct Ring {
    std::vector<float> c, s;
    explicit Ring(int n) {
        for (int i = 0; i <= n; ++i) {
            const double a = 2.0 * i * kPi / n;
            c.push_back(F(std::cos(a)));
            s.push_back(F(std::sin(a)));
        }
    }
};

int Steps(int steps) {
    return steps < 3 ? 3 : (steps > 128 ? 128 : steps);
}

// The shapes draw with texture repeat on, then put the setting back; vertices already gathered are
// drawn first with the setting they were made under.
class ShapeScope {
public:
    ShapeScope() : m_repeat(Graphics::GetRepeat()) {
        Graphics::Flush();
        Graphics::SetRepeat(true);
    }
    ~ShapeScope() {
        Graphics::Flush();
        Graphics::SetRepeat(m_repeat);
    }
    ShapeScope(const ShapeScope&) = delete;
    ShapeScope& operator=(const ShapeScope&) = delete;

private:
    bool m_repeat;
};

void V(float x, float y, float z, float nx, float ny, float nz, float u, float v) {
    GR_3D_Vertex(x, y, z, nx, ny, nz, u, v, false, 0, 0.0f);
}

// The centre and radii of the ellipse between two corners.
struct Ellipse {
    float cx, cy, rx, ry;
    Ellipse(float x1, float y1, float x2, float y2)
        : cx(F((static_cast<double>(x1) + x2) / 2)), cy(F((static_cast<double>(y1) + y2) / 2)),
          rx(F((static_cast<double>(x2) - x1) / 2)), ry(F((static_cast<double>(y2) - y1) / 2)) {}
    float X(const Ring& ring, int i, double scale = 1.0) const { return F(cx + ring.c[i] * scale * rx); }
    float Y(const Ring& ring, int i, double scale = 1.0) const { return F(cy + ring.s[i] * scale * ry); }
};

// A fan closing a round shape at height z: the centre, then the ring forwards (top) or backwards.
void CapFan(const Ellipse& e, const Ring& ring, int n, float z, bool top, int64_t texture, float v) {
    const float nz = top ? 1.0f : -1.0f;
    const float tv = top ? v : 0.0f;
    GR_3D_PrimitiveBegin(D3DPT_TRIANGLEFAN, texture);
    V(e.cx, e.cy, z, 0, 0, nz, 0, tv);
    for (int k = 0; k <= n; ++k) {
        const int i = top ? k : n - k;
        V(e.X(ring, i), e.Y(ring, i), z, 0, 0, nz, 0, tv);
    }
    GR_3D_PrimitiveEnd();
}

// A cylinder's or cone's side: the top ring (or the apex) and the bottom ring in turn.
void Side(const Ellipse& e, const Ring& ring, int n, float z1, float z2, bool cone, int64_t texture, float h,
          float v) {
    GR_3D_PrimitiveBegin(D3DPT_TRIANGLESTRIP, texture);
    for (int i = 0; i <= n; ++i) {
        const float u = F(static_cast<double>(i) * h / n);
        if (cone) V(e.cx, e.cy, z2, 0, 0, 1, u, v);
        else V(e.X(ring, i), e.Y(ring, i), z2, ring.c[i], ring.s[i], 0, u, v);
        V(e.X(ring, i), e.Y(ring, i), z1, ring.c[i], ring.s[i], 0, u, 0);
    }
    GR_3D_PrimitiveEnd();
}

void RoundShape(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                bool closed, int steps, bool cone) {
    const int n = Steps(steps);
    const Ring ring(n);
    const Ellipse e(x1, y1, x2, y2);
    ShapeScope scope;
    if (closed && !cone) CapFan(e, ring, n, z2, true, texture, v);
    Side(e, ring, n, z1, z2, cone, texture, h, v);
    if (closed) CapFan(e, ring, n, z1, false, texture, v);
}

bool LightIndex(uint32_t index) {
    if (index <= 7) return true;
    Code_Error_Report("Light index out of range - must be between 0 and 7 (inclusive)", false);
    return false;
}

// The shaders' colour of a light (alpha 1) and the device's (alpha given).
void LightColour(uint32_t index, uint32_t colour, D3DCOLORVALUE& device, float alpha) {
    float* shader = Shader_State().GR_Lights.colour[index];
    for (int c = 0; c < 3; ++c)
        shader[c] = static_cast<float>(colour >> (8 * c) & 0xFFu) * kByteToUnit;
    shader[3] = 1.0f;
    device = D3DCOLORVALUE{shader[0], shader[1], shader[2], alpha};
}

} // namespace

void GR_3D_PrimitiveBegin(int kind, int64_t texture) {
    GR_3D_BuilderState& b = g_builder;
    b.count = 0;
    b.kind = kind;
    b.limit = kind == D3DPT_TRIANGLELIST ? GR_3D_ChunkVertices - 1 : GR_3D_ChunkVertices;
    b.entry = nullptr;
    b.texture = -1;
    if (texture == -1) return;
    if (texture >= INT32_MIN && texture <= INT32_MAX && Texture_Exists(static_cast<int>(texture))) {
        b.texture = static_cast<int>(texture);
        return;
    }
    const TPageEntry* entry = PageEntry_FromHandle(texture);
    if (!entry || !Texture_Exists(entry->texture)) return;
    const TDeviceTexture* page = Texture_Get(entry->texture);
    b.entry = entry;
    b.texture = entry->texture;
    b.pageWidth = static_cast<float>(page->Width());
    b.pageHeight = static_cast<float>(page->Height());
}

void GR_3D_Vertex(float x, float y, float z, float nx, float ny, float nz, float u, float v, bool ownColour,
                  uint32_t colour, float alpha) {
    GR_3D_BuilderState& b = g_builder;
    if (b.kind < 1 || b.kind > 6) return;
    if (b.count >= b.limit) ContinueInNewChunk();
    if (const TPageEntry* e = b.entry) {
        u = F(e->sourceX + static_cast<double>(e->targetWidth) * u) / b.pageWidth;
        v = F(e->sourceY + static_cast<double>(e->targetHeight) * v) / b.pageHeight;
    }
    b.vertices[b.count] = Vertex36{x, y, z, nx, ny, nz, ownColour ? OwnColour(colour, alpha) : DrawColour(), u, v};
    b.drawColour[b.count] = ownColour ? 0 : 1;
    ++b.count;
}

void GR_3D_PrimitiveEnd() {
    EndChunk();
}

void GR_3D_SetRecorder(GraphicsRecorder* recorder) {
    g_recorder = recorder;
}

void GR_3D_DrawBlock(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v) {
    struct Face {
        float n[3];
        float p[4][3];
    };
    const Face faces[6] = {
        {{0, 0, -1}, {{x1, y1, z1}, {x1, y2, z1}, {x2, y2, z1}, {x2, y1, z1}}},
        {{0, 0, 1}, {{x1, y1, z2}, {x2, y1, z2}, {x2, y2, z2}, {x1, y2, z2}}},
        {{0, 1, 0}, {{x1, y2, z1}, {x1, y2, z2}, {x2, y2, z2}, {x2, y2, z1}}},
        {{1, 0, 0}, {{x2, y2, z1}, {x2, y2, z2}, {x2, y1, z2}, {x2, y1, z1}}},
        {{0, -1, 0}, {{x2, y1, z1}, {x2, y1, z2}, {x1, y1, z2}, {x1, y1, z1}}},
        {{-1, 0, 0}, {{x1, y1, z1}, {x1, y1, z2}, {x1, y2, z2}, {x1, y2, z1}}}};
    const float across[4][2] = {{0, 0}, {0, v}, {h, v}, {h, 0}};
    const float top[4][2] = {{0, 0}, {h, 0}, {h, v}, {0, v}};
    static const int kCorners[6] = {0, 1, 2, 2, 3, 0};
    ShapeScope scope;
    GR_3D_PrimitiveBegin(D3DPT_TRIANGLELIST, texture);
    for (int f = 0; f < 6; ++f) {
        const Face& face = faces[f];
        const float(*uv)[2] = f == 1 ? top : across;
        for (int corner : kCorners) {
            const float* p = face.p[corner];
            V(p[0], p[1], p[2], face.n[0], face.n[1], face.n[2], uv[corner][0], uv[corner][1]);
        }
    }
    GR_3D_PrimitiveEnd();
}

void GR_3D_DrawCylinder(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                        bool closed, int steps) {
    RoundShape(x1, y1, z1, x2, y2, z2, texture, h, v, closed, steps, false);
}

void GR_3D_DrawCone(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v,
                    bool closed, int steps) {
    RoundShape(x1, y1, z1, x2, y2, z2, texture, h, v, closed, steps, true);
}

void GR_3D_DrawEllipsoid(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h,
                         float v, int steps) {
    const int n = Steps(steps);
    const int rings = (n + 1) / 2;
    const Ring ring(n);
    const Ellipse e(x1, y1, x2, y2);
    const float cz = F((static_cast<double>(z1) + z2) / 2);
    const float rz = F((static_cast<double>(z2) - z1) / 2);
    ShapeScope scope;
    for (int j = 0; j < rings; ++j) {
        GR_3D_PrimitiveBegin(D3DPT_TRIANGLESTRIP, texture);
        for (int i = 0; i <= n; ++i) {
            const float u = F(static_cast<double>(i) * h / n);
            for (int k = 0; k < 2; ++k) {
                const double theta = (j + k) * kPi / rings;
                const float st = F(std::sin(theta));
                const float ct = F(std::cos(theta));
                V(e.X(ring, i, st), e.Y(ring, i, st), F(cz + ct * static_cast<double>(rz)), F(ring.c[i] * st),
                  F(ring.s[i] * st), ct, u, F(static_cast<double>(j + k) * v / rings));
            }
        }
        GR_3D_PrimitiveEnd();
    }
}

void GR_3D_DrawWall(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v) {
    const double dx = static_cast<double>(x2) - x1;
    const double dy = static_cast<double>(y2) - y1;
    const double length = std::sqrt(dx * dx + dy * dy);
    if (length == 0.0) return;
    const float nx = F(dy / length);
    const float ny = F(-dx / length);
    ShapeScope scope;
    GR_3D_PrimitiveBegin(D3DPT_TRIANGLEFAN, texture);
    V(x1, y1, z1, nx, ny, 0, 0, 0);
    V(x2, y2, z1, nx, ny, 0, h, 0);
    V(x2, y2, z2, nx, ny, 0, h, v);
    V(x1, y1, z2, nx, ny, 0, 0, v);
    GR_3D_PrimitiveEnd();
}

void GR_3D_DrawFloor(float x1, float y1, float z1, float x2, float y2, float z2, int64_t texture, float h, float v) {
    ShapeScope scope;
    GR_3D_PrimitiveBegin(D3DPT_TRIANGLEFAN, texture);
    V(x1, y1, z1, 0, 0, 1, 0, 0);
    V(x1, y2, z1, 0, 0, 1, 0, v);
    V(x2, y2, z2, 0, 0, 1, h, v);
    V(x2, y1, z2, 0, 0, 1, h, 0);
    GR_3D_PrimitiveEnd();
}

void GR_3D_LightDefineAmbient(uint32_t colour) {
    Shader_State().GR_Lights.ambient = colour;
    if (!Frame_State().GR_D3DDevice) return;
    Graphics::Flush();
    const D3DCOLORVALUE one{1.0f, 1.0f, 1.0f, 1.0f};
    Frame_State().GR_D3DDevice->SetMaterial(D3DMATERIAL9{one, one, one, D3DCOLORVALUE{0, 0, 0, 0}, 1.0f});
    GR_3D_SendAmbient();
}

// A zero direction stays zero instead of being divided by its zero length.
void GR_3D_LightDefineDirection(uint32_t index, float dx, float dy, float dz, uint32_t colour) {
    if (!LightIndex(index)) return;
    float d[3] = {dx, dy, dz};
    if (dx != 0.0f || dy != 0.0f || dz != 0.0f) Vec3_Normalize(d);
    D3DLIGHT9 light{};
    LightColour(index, colour, light.Diffuse, 0.0f);
    for (int c = 0; c < 3; ++c) {
        Shader_State().GR_Lights.direction[index][c] = -d[c];
        Shader_State().GR_Lights.posRange[index][c] = 0.0f;
    }
    Shader_State().GR_Lights.direction[index][3] = 1.0f;
    Shader_State().GR_Lights.posRange[index][3] = 0.0f;
    if (!Frame_State().GR_D3DDevice) return;
    Graphics::Flush();
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Direction = D3DVECTOR{d[0], d[1], d[2]};
    Frame_State().GR_D3DDevice->SetLight(index, light);
}

void GR_3D_LightDefinePoint(uint32_t index, float x, float y, float z, float range, uint32_t colour) {
    if (!LightIndex(index)) return;
    D3DLIGHT9 light{};
    LightColour(index, colour, light.Diffuse, 1.0f);
    const float place[4] = {x, y, z, range};
    for (int c = 0; c < 4; ++c) {
        Shader_State().GR_Lights.direction[index][c] = 0.0f;
        Shader_State().GR_Lights.posRange[index][c] = place[c];
    }
    if (!Frame_State().GR_D3DDevice) return;
    Graphics::Flush();
    light.Type = D3DLIGHT_POINT;
    light.Position = D3DVECTOR{x, y, z};
    light.Range = range;
    light.Attenuation0 = 1.0f;
    light.Attenuation1 = range > 0.0f ? F(1.0 / range) : 0.0f;
    Frame_State().GR_D3DDevice->SetLight(index, light);
}

void GR_3D_LightEnable(uint32_t index, bool on) {
    if (!LightIndex(index)) return;
    Shader_State().GR_Lights.enabled[index] = on ? 1.0f : 0.0f;
    if (!Frame_State().GR_D3DDevice) return;
    Graphics::Flush();
    Frame_State().GR_D3DDevice->LightEnable(index, on);
}

void GR_3D_SetLighting(bool on) {
    Shader_State().GR_Lights.lightingEnabled = on ? 1 : 0;
    GR_D3D_SetLighting(on);
}

GR_3D_BuilderState* GR_3D_SaveBuilder() {
    return new GR_3D_BuilderState(g_builder);
}

void GR_3D_RestoreBuilder(GR_3D_BuilderState* saved) {
    if (!saved) return;
    g_builder = *saved;
    delete saved;
}

void GR_3D_Reset() {
    g_builder.count = 0;
    g_builder.kind = 0;
    g_builder.texture = -1;
    g_builder.entry = nullptr;
    g_recorder = nullptr;
    Shader_State().GR_Lights = ShaderLightData();
}
