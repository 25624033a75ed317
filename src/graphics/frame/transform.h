// The matrix set (view, projection, world and their products), the matrix builders, the projections,
// the user transform stack of 51 world matrices, the 3D-mode switch with the 2D drawing depth, and the
// fog kind the device supports.
#pragma once

struct TransformState {
    float zNear = 1.0f;
    float zFar = 32000.0f;
    bool orthographic = true;
    bool surfaceTarget = false;
    // Moves the projection by half a pixel; off only inside the manual clear.
    bool halfPixel = true;
    bool mode3D = false;
    float depth2D = 0.0f;
};
// The matrix set, reached through Transform_State().
struct TransformModuleState {
    TransformState GR_Transform;
};

inline TransformModuleState& Transform_State() {
    static TransformModuleState state;
    return state;
}

namespace Graphics {
// Matrix set: 0 view, 1 projection, 2 world, 3 world x view, 4 world x view x projection.
void GetMatrix(int which, float out[16]);
// 0 view, 1 projection, any other world. Does nothing without a device.
void SetMatrix(int which, const float matrix[16]);
} // namespace Graphics

void Matrix_Multiply(float out[16], const float a[16], const float b[16]);
void Vec3_Normalize(float v[3]);
void Vec3_Normalized(const float v[3], float out[3]);
void Matrix_BuildRotationX(float out[16], float degrees);
void Matrix_BuildRotationY(float out[16], float degrees);
void Matrix_BuildRotationZ(float out[16], float degrees);
void Matrix_BuildRotationAxis(float out[16], const float axis[3], float degrees);
void Matrix_BuildLookAt(float out[16], const float from[3], const float to[3], const float up[3]);
void Matrix_BuildPerspectiveFov(float out[16], float fovRadians, float aspect, float zn, float zf);
void Matrix_BuildPerspective(float out[16], float w, float h, float zn, float zf);
void Matrix_BuildOrtho(float out[16], float w, float h, float zn, float zf);
void Matrix_BuildIdentity(float out[16]);

void GR_D3D_SetProjection(float fx, float fy, float fz, float tx, float ty, float tz, float ux, float uy, float uz);
void GR_D3D_SetProjectionExt(float fx, float fy, float fz, float tx, float ty, float tz, float ux, float uy, float uz,
                             float angle, float aspect, float zNear, float zFar);
void GR_D3D_SetProjectionOrtho(float x, float y, float w, float h, float angle);
void GR_D3D_SetProjectionPerspective(float x, float y, float w, float h, float angle);
void GR_D3D_TransformSetIdentity();
void GR_D3D_TransformSetTranslation(float x, float y, float z);
void GR_D3D_TransformSetScaling(float x, float y, float z);
void GR_D3D_TransformSetRotationX(float angle);
void GR_D3D_TransformSetRotationY(float angle);
void GR_D3D_TransformSetRotationZ(float angle);
void GR_D3D_TransformSetRotationAxis(float x, float y, float z, float angle);
void GR_D3D_TransformAddTranslation(float x, float y, float z);
void GR_D3D_TransformAddScaling(float x, float y, float z);
void GR_D3D_TransformAddRotationX(float angle);
void GR_D3D_TransformAddRotationY(float angle);
void GR_D3D_TransformAddRotationZ(float angle);
void GR_D3D_TransformAddRotationAxis(float x, float y, float z, float angle);
void GR_D3D_TransformStackClear();
bool GR_D3D_TransformStackEmpty();
bool GR_D3D_TransformStackPush();
bool GR_D3D_TransformStackPop();
bool GR_D3D_TransformStackTop();
bool GR_D3D_TransformStackDiscard();
void GR_D3D_TransformVertex(float& x, float& y, float& z);
bool GR_D3D_Set3DMode(bool on);
void GR_D3D_ClearDepth();
void GR_D3D_SetDepth(float z);
float GR_D3D_GetDepth();
int GR_D3D_FogSupport();
