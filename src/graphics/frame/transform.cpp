#include "graphics/frame/transform.h"

#include "device/device.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/shader.h"

#include <cmath>
#include <cstring>

namespace {

constexpr double kDegreesToRadians = 0.01745329238474369; // pi / 180 in single precision
constexpr int kStackSize = 51;

float g_matrices[5][16] = {
    {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
    {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
    {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
float g_stack[kStackSize][16];
int g_stackTop = -1;

void Cross(const float a[3], const float b[3], float out[3]) {
    out[0] = static_cast<float>(static_cast<double>(a[1]) * b[2] - static_cast<double>(a[2]) * b[1]);
    out[1] = static_cast<float>(static_cast<double>(a[2]) * b[0] - static_cast<double>(a[0]) * b[2]);
    out[2] = static_cast<float>(static_cast<double>(a[0]) * b[1] - static_cast<double>(a[1]) * b[0]);
}

double Dot(const float a[3], const float b[3]) {
    return static_cast<double>(a[0]) * b[0] + static_cast<double>(a[1]) * b[1] + static_cast<double>(a[2]) * b[2];
}

void SetWorld(const float m[16]) {
    Graphics::SetMatrix(2, m);
}

void AddWorld(const float m[16]) {
    float world[16];
    float product[16];
    Graphics::GetMatrix(2, world);
    Matrix_Multiply(product, world, m);
    Graphics::SetMatrix(2, product);
}

void BuildTranslation(float out[16], float x, float y, float z) {
    Matrix_BuildIdentity(out);
    out[12] = x;
    out[13] = y;
    out[14] = z;
}

void BuildScaling(float out[16], float x, float y, float z) {
    Matrix_BuildIdentity(out);
    out[0] = x;
    out[5] = y;
    out[10] = z;
}

void BuildAxis(float out[16], float x, float y, float z, float angle) {
    const float axis[3] = {x, y, z};
    Matrix_BuildRotationAxis(out, axis, -angle);
}

void SetView(float fx, float fy, float fz, float tx, float ty, float tz, float ux, float uy, float uz) {
    const float from[3] = {fx, fy, fz};
    const float to[3] = {tx, ty, tz};
    const float up[3] = {ux, uy, uz};
    float view[16];
    Matrix_BuildLookAt(view, from, to, up);
    Graphics::SetMatrix(0, view);
}

// The view of a 2D projection of the area (x, y, w, h) turned by angle, seen from the given distance.
void SetAreaView(float x, float y, float w, float h, float angle, float distance) {
    const double a = -static_cast<double>(angle) * M_PI / 180.0;
    const float cx = static_cast<float>(x + w / 2.0);
    const float cy = static_cast<float>(y + h / 2.0);
    SetView(cx, cy, -distance, cx, cy, 0.0f, static_cast<float>(std::sin(a)), static_cast<float>(std::cos(a)), 0.0f);
}

} // namespace

namespace Graphics {

void GetMatrix(int which, float out[16]) {
    if (which < 0 || which > 4) return;
    std::memcpy(out, g_matrices[which], sizeof g_matrices[which]);
}

// The projection is kept as given; the half-pixel move goes only to what the device and the products
// receive, so reading it back and setting it again changes nothing.
void SetMatrix(int which, const float m[16]) {
    if (!Frame_State().GR_D3DDevice) return;
    Flush();
    const int slot = which == 0 ? 0 : which == 1 ? 1 : 2;
    std::memcpy(g_matrices[slot], m, sizeof g_matrices[slot]);
    float projection[16];
    std::memcpy(projection, g_matrices[1], sizeof projection);
    if (Transform_State().GR_Transform.halfPixel) {
        // Half a pixel of the viewport drawn into, which is a surface's own size while drawing into one
        // (the screen size until a viewport is set).
        int x = 0, y = 0, width = 0, height = 0;
        GetViewPort(x, y, width, height);
        int screenWidth = 0, screenHeight = 0;
        GetScreenSize(screenWidth, screenHeight);
        if (width <= 0) width = screenWidth;
        if (height <= 0) height = screenHeight;
        projection[12] = static_cast<float>(projection[12] - 1.0 / width);
        projection[13] = static_cast<float>(projection[13] + 1.0 / height);
    }
    Matrix_Multiply(g_matrices[3], g_matrices[2], g_matrices[0]);
    Matrix_Multiply(g_matrices[4], g_matrices[3], projection);
    D3DMATRIX device;
    std::memcpy(device.m, slot == 1 ? projection : g_matrices[slot], sizeof device.m);
    Frame_State().GR_D3DDevice->SetTransform(slot == 0   ? D3DTS_VIEW
                                             : slot == 1 ? D3DTS_PROJECTION
                                                         : D3DTS_WORLD,
                                             device);
    if (slot == 1) GR_D3D_PassFogRange();
    if (const TShader* shader = Shader_Applied()) {
        float set[5 * 16];
        for (int i = 0; i < 5; ++i)
            std::memcpy(set + 16 * i, g_matrices[i], sizeof g_matrices[i]);
        Shader_SetUniformMatrix(shader->slots[SLOT_MATRICES], 5, set);
    }
}

} // namespace Graphics

void Matrix_Multiply(float out[16], const float a[16], const float b[16]) {
    float result[16];
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a[i * 4 + k]) * b[k * 4 + j];
            result[i * 4 + j] = static_cast<float>(sum);
        }
    }
    std::memcpy(out, result, sizeof result);
}

// Each component is multiplied by the single-precision reciprocal of the length.
void Vec3_Normalized(const float v[3], float out[3]) {
    const float reciprocal = static_cast<float>(1.0 / std::sqrt(Dot(v, v)));
    for (int i = 0; i < 3; ++i)
        out[i] = static_cast<float>(static_cast<double>(v[i]) * reciprocal);
}

void Vec3_Normalize(float v[3]) {
    Vec3_Normalized(v, v);
}

void Matrix_BuildIdentity(float out[16]) {
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = out[5] = out[10] = out[15] = 1.0f;
}

void Matrix_BuildRotationX(float out[16], float degrees) {
    const double r = degrees * kDegreesToRadians;
    Matrix_BuildIdentity(out);
    out[5] = static_cast<float>(std::cos(r));
    out[6] = static_cast<float>(-std::sin(r));
    out[9] = static_cast<float>(std::sin(r));
    out[10] = static_cast<float>(std::cos(r));
}

void Matrix_BuildRotationY(float out[16], float degrees) {
    const double r = degrees * kDegreesToRadians;
    Matrix_BuildIdentity(out);
    out[0] = static_cast<float>(std::cos(r));
    out[2] = static_cast<float>(std::sin(r));
    out[8] = static_cast<float>(-std::sin(r));
    out[10] = static_cast<float>(std::cos(r));
}

void Matrix_BuildRotationZ(float out[16], float degrees) {
    const double r = degrees * kDegreesToRadians;
    Matrix_BuildIdentity(out);
    out[0] = static_cast<float>(std::cos(r));
    out[1] = static_cast<float>(-std::sin(r));
    out[4] = static_cast<float>(std::sin(r));
    out[5] = static_cast<float>(std::cos(r));
}

void Matrix_BuildRotationAxis(float out[16], const float axis[3], float degrees) {
    float n[3];
    Vec3_Normalized(axis, n);
    const double r = degrees * kDegreesToRadians;
    const double c = std::cos(r);
    const double s = std::sin(r);
    const double t = 1.0 - c;
    const double x = n[0], y = n[1], z = n[2];
    Matrix_BuildIdentity(out);
    out[0] = static_cast<float>(t * x * x + c);
    out[1] = static_cast<float>(t * x * y + s * z);
    out[2] = static_cast<float>(t * x * z - s * y);
    out[4] = static_cast<float>(t * x * y - s * z);
    out[5] = static_cast<float>(t * y * y + c);
    out[6] = static_cast<float>(t * y * z + s * x);
    out[8] = static_cast<float>(t * x * z + s * y);
    out[9] = static_cast<float>(t * y * z - s * x);
    out[10] = static_cast<float>(t * z * z + c);
}

void Matrix_BuildLookAt(float out[16], const float from[3], const float to[3], const float up[3]) {
    const float forward[3] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
    float z[3], u[3], x[3], y[3], xr[3], yr[3];
    Vec3_Normalized(forward, z);
    Vec3_Normalized(up, u);
    Cross(u, z, xr);
    Vec3_Normalized(xr, x);
    Cross(z, x, yr);
    Vec3_Normalized(yr, y);
    std::memset(out, 0, 16 * sizeof(float));
    for (int i = 0; i < 3; ++i) {
        out[i * 4 + 0] = x[i];
        out[i * 4 + 1] = y[i];
        out[i * 4 + 2] = z[i];
    }
    out[12] = static_cast<float>(-Dot(x, from));
    out[13] = static_cast<float>(-Dot(y, from));
    out[14] = static_cast<float>(-Dot(z, from));
    out[15] = 1.0f;
}

void Matrix_BuildPerspectiveFov(float out[16], float fov, float aspect, float zn, float zf) {
    const float yScale = static_cast<float>(1.0 / std::tan(fov / 2.0));
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = static_cast<float>(yScale / static_cast<double>(aspect));
    out[5] = yScale;
    out[10] = static_cast<float>(zf / (static_cast<double>(zf) - zn));
    out[11] = 1.0f;
    out[14] = static_cast<float>(-static_cast<double>(zn) * zf / (static_cast<double>(zf) - zn));
}

void Matrix_BuildPerspective(float out[16], float w, float h, float zn, float zf) {
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = static_cast<float>(2.0 * zn / w);
    out[5] = static_cast<float>(2.0 * zn / h);
    out[10] = static_cast<float>(zf / (static_cast<double>(zf) - zn));
    out[11] = 1.0f;
    out[14] = static_cast<float>(-static_cast<double>(zn) * zf / (static_cast<double>(zf) - zn));
}

void Matrix_BuildOrtho(float out[16], float w, float h, float zn, float zf) {
    std::memset(out, 0, 16 * sizeof(float));
    out[0] = static_cast<float>(2.0 / w);
    out[5] = static_cast<float>(2.0 / h);
    out[10] = static_cast<float>(1.0 / (static_cast<double>(zf) - zn));
    out[14] = static_cast<float>(zn / (static_cast<double>(zn) - zf));
    out[15] = 1.0f;
}

void GR_D3D_SetProjection(float fx, float fy, float fz, float tx, float ty, float tz, float ux, float uy, float uz) {
    SetView(fx, fy, fz, tx, ty, tz, ux, uy, uz);
}

void GR_D3D_SetProjectionExt(float fx, float fy, float fz, float tx, float ty, float tz, float ux, float uy, float uz,
                             float angle, float aspect, float zNear, float zFar) {
    SetView(fx, fy, fz, tx, ty, tz, ux, uy, uz);
    Transform_State().GR_Transform.zNear = zNear;
    Transform_State().GR_Transform.zFar = zFar;
    Transform_State().GR_Transform.orthographic = false;
    float projection[16];
    Matrix_BuildPerspectiveFov(projection, static_cast<float>(angle * M_PI / 180.0), aspect, zNear, zFar);
    Graphics::SetMatrix(1, projection);
    Transform_State().GR_Transform.surfaceTarget = false;
}

void GR_D3D_SetProjectionOrtho(float x, float y, float w, float h, float angle) {
    SetAreaView(x, y, w, h, angle, 16000.0f);
    Transform_State().GR_Transform.zNear = 1.0f;
    Transform_State().GR_Transform.zFar = 32000.0f;
    Transform_State().GR_Transform.orthographic = true;
    float projection[16];
    Matrix_BuildOrtho(projection, w, -h, 1.0f, 32000.0f);
    Graphics::SetMatrix(1, projection);
    Transform_State().GR_Transform.surfaceTarget = true;
}

void GR_D3D_SetProjectionPerspective(float x, float y, float w, float h, float angle) {
    SetAreaView(x, y, w, h, angle, w);
    Transform_State().GR_Transform.zNear = 1.0f;
    Transform_State().GR_Transform.zFar = 32000.0f;
    Transform_State().GR_Transform.orthographic = false;
    float projection[16];
    Matrix_BuildPerspective(projection, 1.0f, static_cast<float>(static_cast<double>(h) / w), 1.0f, 32000.0f);
    Graphics::SetMatrix(1, projection);
    Transform_State().GR_Transform.surfaceTarget = false;
}

void GR_D3D_TransformSetIdentity() {
    float m[16];
    Matrix_BuildIdentity(m);
    SetWorld(m);
}

void GR_D3D_TransformSetTranslation(float x, float y, float z) {
    float m[16];
    BuildTranslation(m, x, y, z);
    SetWorld(m);
}

void GR_D3D_TransformSetScaling(float x, float y, float z) {
    float m[16];
    BuildScaling(m, x, y, z);
    SetWorld(m);
}

void GR_D3D_TransformSetRotationX(float angle) {
    float m[16];
    Matrix_BuildRotationX(m, angle);
    SetWorld(m);
}

void GR_D3D_TransformSetRotationY(float angle) {
    float m[16];
    Matrix_BuildRotationY(m, angle);
    SetWorld(m);
}

void GR_D3D_TransformSetRotationZ(float angle) {
    float m[16];
    Matrix_BuildRotationZ(m, angle);
    SetWorld(m);
}

void GR_D3D_TransformSetRotationAxis(float x, float y, float z, float angle) {
    float m[16];
    BuildAxis(m, x, y, z, angle);
    SetWorld(m);
}

void GR_D3D_TransformAddTranslation(float x, float y, float z) {
    float m[16];
    BuildTranslation(m, x, y, z);
    AddWorld(m);
}

void GR_D3D_TransformAddScaling(float x, float y, float z) {
    float m[16];
    BuildScaling(m, x, y, z);
    AddWorld(m);
}

void GR_D3D_TransformAddRotationX(float angle) {
    float m[16];
    Matrix_BuildRotationX(m, angle);
    AddWorld(m);
}

void GR_D3D_TransformAddRotationY(float angle) {
    float m[16];
    Matrix_BuildRotationY(m, angle);
    AddWorld(m);
}

void GR_D3D_TransformAddRotationZ(float angle) {
    float m[16];
    Matrix_BuildRotationZ(m, angle);
    AddWorld(m);
}

void GR_D3D_TransformAddRotationAxis(float x, float y, float z, float angle) {
    float m[16];
    BuildAxis(m, x, y, z, angle);
    AddWorld(m);
}

void GR_D3D_TransformStackClear() {
    g_stackTop = -1;
}

bool GR_D3D_TransformStackEmpty() {
    return g_stackTop < 0;
}

bool GR_D3D_TransformStackPush() {
    if (g_stackTop >= kStackSize - 1) return false;
    ++g_stackTop;
    Graphics::GetMatrix(2, g_stack[g_stackTop]);
    return true;
}

bool GR_D3D_TransformStackPop() {
    if (g_stackTop < 0) return false;
    SetWorld(g_stack[g_stackTop]);
    --g_stackTop;
    return true;
}

bool GR_D3D_TransformStackTop() {
    if (g_stackTop < 0) return false;
    SetWorld(g_stack[g_stackTop]);
    return true;
}

bool GR_D3D_TransformStackDiscard() {
    if (g_stackTop < 0) return false;
    --g_stackTop;
    return true;
}

void GR_D3D_TransformVertex(float& x, float& y, float& z) {
    const float* m = g_matrices[2];
    const double vx = x, vy = y, vz = z;
    x = static_cast<float>(vx * m[0] + vy * m[4] + vz * m[8] + m[12]);
    y = static_cast<float>(vx * m[1] + vy * m[5] + vz * m[9] + m[13]);
    z = static_cast<float>(vx * m[2] + vy * m[6] + vz * m[10] + m[14]);
}

bool GR_D3D_Set3DMode(bool on) {
    if (on == Transform_State().GR_Transform.mode3D) return true;
    Graphics::Flush();
    Transform_State().GR_Transform.mode3D = on;
    GR_D3D_SetPerspective(on);
    GR_D3D_SetHidden(on);
    return true;
}

void GR_D3D_ClearDepth() {
    if (Transform_State().GR_Transform.mode3D) Graphics::Clear(0, 1.0f, 0, 6);
}

void GR_D3D_SetDepth(float z) {
    if (!Transform_State().GR_Transform.mode3D) {
        Transform_State().GR_Transform.depth2D = 0.0f;
        return;
    }
    Transform_State().GR_Transform.depth2D = z < -16000.0f ? -16000.0f : (z > 16000.0f ? 16000.0f : z);
}

float GR_D3D_GetDepth() {
    return Transform_State().GR_Transform.depth2D;
}

int GR_D3D_FogSupport() {
    if (!Frame_State().GR_D3DDevice) return 0;
    const uint32_t caps = Frame_State().GR_D3DDevice->GetDeviceCaps().RasterCaps;
    if (caps & D3DPRASTERCAPS_FOGTABLE) return 1;
    if (caps & D3DPRASTERCAPS_FOGVERTEX) return 2;
    return 0;
}
