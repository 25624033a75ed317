// The 3D group of built-ins: the d3d_* switches, primitives, shapes, projections, transforms and lights,
// the matrix and frustum functions, the model functions and two drawing switches. Coordinates, sizes and
// repeats are taken in single precision; colours, textures, kinds, steps and model handles are rounded;
// flags are set at 0.5 or more.
#include "core/console.h"
#include "core/convert.h"
#include "core/save_area.h"
#include "graphics/3d/d3d_draw.h"
#include "graphics/3d/model.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/render_state.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <cmath>

namespace {

float F(const BuiltInArgs& args, int i) {
    return args.Float(i);
}
int I(const BuiltInArgs& args, int i) {
    return args.Rounded(i);
}
void SetBool(ScriptValue& result, bool b) {
    Value_SetReal(&result, b ? 1.0 : 0.0);
}

// The matrix, frustum and transform-vertex messages end the code that called them.
void Fatal(const char* message) {
    Code_Error_Report(message, true);
}

bool AllReal(const BuiltInArgs& args) {
    for (int i = 0; i < args.count; ++i)
        if (!args.At(i)->IsReal()) return false;
    return true;
}

// The result becomes a new array of the n numbers.
void SetArray(ScriptValue& result, const float* values, int n) {
    Value_Free(&result);
    for (int i = 0; i < n; ++i) {
        ScriptValue v;
        Value_SetReal(&v, values[i]);
        Value_AssignIndexed(&result, &v, i);
    }
}

// Row 0 of an array argument as a matrix; false unless it holds exactly 16 elements.
bool MatrixOf(const ScriptValue* value, float out[16]) {
    const ScriptArray* array = value->arr;
    if (!array || array->rowCount < 1 || array->rows[0].length != 16) return false;
    for (int i = 0; i < 16; ++i)
        out[i] = static_cast<float>(Value_Real(&array->rows[0].items[i]));
    return true;
}

// ---- switches, primitives and shapes ----

BUILTIN_BODY(d3d_start) {
    SetBool(result, GR_D3D_Set3DMode(true));
}
BUILTIN_BODY(d3d_end) {
    SetBool(result, GR_D3D_Set3DMode(false));
}
BUILTIN_BODY(d3d_set_perspective) {
    GR_D3D_SetPerspective(args.Flag(0));
}
BUILTIN_BODY(d3d_set_hidden) {
    GR_D3D_SetHidden(args.Flag(0));
}
BUILTIN_BODY(d3d_set_depth) {
    GR_D3D_SetDepth(F(args, 0));
}
BUILTIN_BODY(d3d_set_lighting) {
    GR_3D_SetLighting(args.Flag(0));
}
BUILTIN_BODY(d3d_set_shading) {
    GR_D3D_SetShading(args.Flag(0));
}
// Start and end are truncated and kept in 0..65535.
BUILTIN_BODY(d3d_set_fog) {
    const auto range = [&args](int i) {
        const int32_t n = args.Truncated(i);
        return static_cast<float>(n < 0 ? 0 : (n > 65535 ? 65535 : n));
    };
    GR_D3D_SetFog(args.Flag(0), static_cast<uint32_t>(I(args, 1)), range(2), range(3));
}
BUILTIN_BODY(d3d_set_culling) {
    GR_D3D_SetCulling(args.Flag(0));
}
BUILTIN_BODY(d3d_set_zwriteenable) {
    GR_D3D_SetZWriteEnable(args.Flag(0));
}
BUILTIN_BODY(d3d_primitive_begin) {
    GR_3D_PrimitiveBegin(I(args, 0), -1);
}
BUILTIN_BODY(d3d_primitive_begin_texture) {
    GR_3D_PrimitiveBegin(I(args, 0), I(args, 1));
}
BUILTIN_BODY(d3d_primitive_end) {
    GR_3D_PrimitiveEnd();
}

// A vertex command of the kind from the arguments from `first` on, in the order of its fields (the
// model functions take the model first); the closed flag of cylinders and cones is stored as 0 or 1.
TModelCommand CommandFromArgs(int32_t kind, const BuiltInArgs& args, int first) {
    TModelCommand command;
    command.kind = kind;
    for (int n = 0; n < 10 && first + n < args.count; ++n) {
        const int i = first + n;
        if ((kind == MODEL_CYLINDER || kind == MODEL_CONE) && n == 8) command.values[n].i = args.Flag(i) ? 1 : 0;
        else if (Model_IsIntegerField(kind, n)) command.values[n].i = I(args, i);
        else command.values[n].f = F(args, i);
    }
    return command;
}

// The eight vertex forms, drawn through the primitive being built.
template <int32_t Kind> void Vertex(ScriptValue&, const BuiltInArgs& args) {
    Model_ReplayCommand(CommandFromArgs(Kind, args, 0), -1);
}

// The shapes take the texture after the corners, and the repeats, flag and steps after it.
BUILTIN_BODY(d3d_draw_block) {
    GR_3D_DrawBlock(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6), F(args, 7),
                    F(args, 8));
}
BUILTIN_BODY(d3d_draw_cylinder) {
    GR_3D_DrawCylinder(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6),
                       F(args, 7), F(args, 8), args.Flag(9), I(args, 10));
}
BUILTIN_BODY(d3d_draw_cone) {
    GR_3D_DrawCone(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6), F(args, 7),
                   F(args, 8), args.Flag(9), I(args, 10));
}
BUILTIN_BODY(d3d_draw_ellipsoid) {
    GR_3D_DrawEllipsoid(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6),
                        F(args, 7), F(args, 8), I(args, 9));
}
BUILTIN_BODY(d3d_draw_wall) {
    GR_3D_DrawWall(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6), F(args, 7),
                   F(args, 8));
}
BUILTIN_BODY(d3d_draw_floor) {
    GR_3D_DrawFloor(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), I(args, 6), F(args, 7),
                    F(args, 8));
}

// ---- projections and transforms ----

BUILTIN_BODY(d3d_set_projection) {
    GR_D3D_SetProjection(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                         F(args, 7), F(args, 8));
}
BUILTIN_BODY(d3d_set_projection_ext) {
    GR_D3D_SetProjectionExt(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4), F(args, 5), F(args, 6),
                            F(args, 7), F(args, 8), F(args, 9), F(args, 10), F(args, 11), F(args, 12));
}
BUILTIN_BODY(d3d_set_projection_ortho) {
    GR_D3D_SetProjectionOrtho(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}
BUILTIN_BODY(d3d_set_projection_perspective) {
    GR_D3D_SetProjectionPerspective(F(args, 0), F(args, 1), F(args, 2), F(args, 3), F(args, 4));
}

// The transform back ends by their arguments: none, an angle, three values, or an axis and an angle.
template <void (*Work)()> void Transform0(ScriptValue&, const BuiltInArgs&) {
    Work();
}
template <void (*Work)(float)> void Transform1(ScriptValue&, const BuiltInArgs& args) {
    Work(F(args, 0));
}
template <void (*Work)(float, float, float)> void Transform3(ScriptValue&, const BuiltInArgs& args) {
    Work(F(args, 0), F(args, 1), F(args, 2));
}
template <void (*Work)(float, float, float, float)> void Transform4(ScriptValue&, const BuiltInArgs& args) {
    Work(F(args, 0), F(args, 1), F(args, 2), F(args, 3));
}
template <bool (*Work)()> void StackOp(ScriptValue& result, const BuiltInArgs&) {
    SetBool(result, Work());
}

BUILTIN_BODY(d3d_transform_vertex) {
    if (args.count != 3) return Fatal("Illegal argument count or type");
    if (!AllReal(args)) return Fatal("Illegal argument type");
    float v[3] = {F(args, 0), F(args, 1), F(args, 2)};
    GR_D3D_TransformVertex(v[0], v[1], v[2]);
    SetArray(result, v, 3);
}

// ---- matrices and the frustum ----

// A matrix type argument: 0 view, 1 projection, 2 world.
bool MatrixType(const BuiltInArgs& args, int& type) {
    const auto t = static_cast<uint32_t>(args.Truncated(0));
    if (t > 2) {
        Fatal("Illegal matrix type");
        return false;
    }
    type = static_cast<int>(t);
    return true;
}

BUILTIN_BODY(matrix_get) {
    if (args.count != 1) return Fatal("Illegal argument count");
    if (!args.At(0)->IsReal()) return Fatal("Illegal argument type");
    int type = 0;
    if (!MatrixType(args, type)) return;
    float m[16];
    Graphics::GetMatrix(type, m);
    SetArray(result, m, 16);
}

BUILTIN_BODY(matrix_set) {
    if (args.count != 2) return Fatal("Illegal argument count");
    if (!args.At(0)->IsReal() || !args.At(1)->IsArray()) return Fatal("Illegal argument type");
    int type = 0;
    if (!MatrixType(args, type)) return;
    float m[16];
    if (!MatrixOf(args.At(1), m)) return Fatal("Illegal matrix");
    Graphics::SetMatrix(type, m);
}

// Rotations about x, then y, then z (angles in degrees, turned the other way), then the scales, then the
// translation; every step in single precision.
BUILTIN_BODY(matrix_build) {
    if (args.count != 9) return Fatal("Illegal argument count or type");
    if (!AllReal(args)) return Fatal("Illegal argument type");
    float s[3], c[3];
    for (int k = 0; k < 3; ++k) {
        const float a = static_cast<float>(-args.Real(3 + k) * 0.01745329238474369);
        s[k] = std::sin(a);
        c[k] = std::cos(a);
    }
    const float sa = s[0], ca = c[0], sb = s[1], cb = c[1], sc = s[2], cc = c[2];
    const float xs = F(args, 6), ys = F(args, 7), zs = F(args, 8);
    const float m[16] = {(-sb * (sa * sc) + cc * cb) * xs,
                         (-sb * (-sa * cc) + sc * cb) * ys,
                         -sb * ca * zs,
                         0.0f,
                         -sc * ca * xs,
                         cc * ca * ys,
                         sa * zs,
                         0.0f,
                         ((sa * sc) * cb + cc * sb) * xs,
                         ((-sa * cc) * cb + sc * sb) * ys,
                         cb * ca * zs,
                         0.0f,
                         F(args, 0),
                         F(args, 1),
                         F(args, 2),
                         1.0f};
    SetArray(result, m, 16);
}

BUILTIN_BODY(matrix_multiply) {
    if (args.count != 2) return Fatal("Illegal argument count");
    if (!args.At(0)->IsArray() || !args.At(1)->IsArray()) return Fatal("Illegal argument type");
    float a[16], b[16], product[16];
    if (!MatrixOf(args.At(0), a) || !MatrixOf(args.At(1), b)) return Fatal("Illegal matrix");
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += a[i * 4 + k] * b[k * 4 + j];
            product[i * 4 + j] = sum;
        }
    }
    SetArray(result, product, 16);
}

// The six planes of the last frustum_build, each (a, b, c, d) with a unit normal.
float g_frustum[6][4] = {};

// The planes of view x projection; each is divided by the length of its normal, d included, so that
// sphere tests compare true distances. A plane whose normal has no length is kept as it is.
BUILTIN_BODY(frustum_build) {
    if (args.count != 0) return Fatal("Illegal argument count or type");
    float view[16], projection[16], m[16];
    Graphics::GetMatrix(0, view);
    Graphics::GetMatrix(1, projection);
    Matrix_Multiply(m, view, projection);
    const auto column = [&m](int j, int k) { return m[4 * k + j]; };
    static const int kPlanes[6][2] = {{0, 1}, {0, -1}, {1, -1}, {1, 1}, {2, 0}, {2, -1}};
    for (int p = 0; p < 6; ++p) {
        const int j = kPlanes[p][0];
        const int sign = kPlanes[p][1];
        float* plane = g_frustum[p];
        for (int k = 0; k < 4; ++k)
            plane[k] = sign == 0 ? column(j, k) : column(3, k) + static_cast<float>(sign) * column(j, k);
        const float squared = plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2];
        if (squared > 0.0f) {
            const float reciprocal = 1.0f / std::sqrt(squared);
            for (int k = 0; k < 4; ++k)
                plane[k] *= reciprocal;
        }
    }
}

BUILTIN_BODY(frustum_test_sphere) {
    if (args.count != 4) return Fatal("Illegal argument count");
    if (!args.At(0)->IsReal()) return Fatal("Illegal argument type");
    const float x = F(args, 0), y = F(args, 1), z = F(args, 2), radius = F(args, 3);
    for (const float* plane : g_frustum) {
        if (plane[0] * x + plane[1] * y + plane[2] * z + plane[3] + radius < 0.0f) {
            Value_SetReal(&result, 0.0);
            return;
        }
    }
    Value_SetReal(&result, 1.0);
}

// ---- lights ----

uint32_t LightIndex(const BuiltInArgs& args) {
    return static_cast<uint32_t>(args.Truncated(0));
}
BUILTIN_BODY(d3d_light_define_ambient) {
    if (args.At(0)->IsReal()) GR_3D_LightDefineAmbient(static_cast<uint32_t>(I(args, 0)));
}
BUILTIN_BODY(d3d_light_define_direction) {
    GR_3D_LightDefineDirection(LightIndex(args), F(args, 1), F(args, 2), F(args, 3), static_cast<uint32_t>(I(args, 4)));
}
BUILTIN_BODY(d3d_light_define_point) {
    GR_3D_LightDefinePoint(LightIndex(args), F(args, 1), F(args, 2), F(args, 3), F(args, 4),
                           static_cast<uint32_t>(I(args, 5)));
}
BUILTIN_BODY(d3d_light_enable) {
    GR_3D_LightEnable(LightIndex(args), args.Flag(1));
}

// ---- models ----

BUILTIN_BODY(d3d_model_create) {
    Value_SetReal(&result, Model_Create());
}
BUILTIN_BODY(d3d_model_destroy) {
    Model_Destroy(I(args, 0));
}
BUILTIN_BODY(d3d_model_clear) {
    if (TModel3D* model = Model_Get(I(args, 0))) Model_Clear(model);
}

// The save area is looked in first, then the game folder; 1 only when the file is found and loads.
BUILTIN_BODY(d3d_model_load) {
    if (!args.At(0)->IsReal() || !args.At(1)->IsString()) {
        Value_SetReal(&result, -1.0);
        return;
    }
    const char* name = args.Text(1) ? args.Text(1) : "";
    TModel3D* model = Model_Get(I(args, 0));
    const std::string path = LoadSave_ReadPath(name);
    if (path.empty()) {
        DebugConsole->Output("d3d_model_load - unable to find file %s\n", name);
        Value_SetReal(&result, 0.0);
        return;
    }
    SetBool(result, model && Model_Load(model, path.c_str()));
}

BUILTIN_BODY(d3d_model_save) {
    Value_SetReal(&result, -1.0);
    if (!args.At(0)->IsReal() || !args.At(1)->IsString()) return;
    if (const TModel3D* model = Model_Get(I(args, 0)))
        Model_Save(model, LoadSave_SavePath(args.Text(1) ? args.Text(1) : "").c_str());
}

BUILTIN_BODY(d3d_model_draw) {
    if (TModel3D* model = Model_Get(I(args, 0))) Model_Draw(model, F(args, 1), F(args, 2), F(args, 3), I(args, 4));
}

BUILTIN_BODY(d3d_model_primitive_begin) {
    TModelCommand command;
    command.kind = MODEL_BEGIN;
    command.values[0].f = static_cast<float>(I(args, 1));
    Model_AddCommand(I(args, 0), command);
}

// Every other model function appends its command with the arguments after the model.
template <int32_t Kind> void ModelCommand(ScriptValue&, const BuiltInArgs& args) {
    Model_AddCommand(I(args, 0), CommandFromArgs(Kind, args, 1));
}

// ---- drawing switches ----

BUILTIN_BODY(draw_enable_alphablend) {
    if (args.count != 1) return Code_Error_Report("Illegal argument count", false);
    if (!args.At(0)->IsReal()) return Code_Error_Report("Illegal argument type: true/false expected", false);
    RenderState_State().g_RenderState.SetRenderState(RS_ALPHABLENDENABLE,
                                                     static_cast<uint32_t>(args.Truncated(0)));
}
BUILTIN_BODY(draw_texture_flush) {
    Graphics::Flush();
    Texture_FlushAll();
}

// clang-format off
#define ENTRY(name, Template, Argument, count) {#name, BuiltIn_Call<Template<Argument>>, count}
#define VERTEX(name, kind, count) ENTRY(name, Vertex, kind, count)
#define MODEL(name, kind, count) ENTRY(name, ModelCommand, kind, count)
// clang-format on

const BuiltInRegistration k3DFunctions[] = {
    BUILTIN_ENTRY(d3d_start, 0),
    BUILTIN_ENTRY(d3d_end, 0),
    BUILTIN_ENTRY(d3d_set_perspective, 1),
    BUILTIN_ENTRY(d3d_set_hidden, 1),
    BUILTIN_ENTRY(d3d_set_depth, 1),
    BUILTIN_ENTRY(d3d_set_lighting, 1),
    BUILTIN_ENTRY(d3d_set_shading, 1),
    BUILTIN_ENTRY(d3d_set_fog, 4),
    BUILTIN_ENTRY(d3d_set_culling, 1),
    BUILTIN_ENTRY(d3d_set_zwriteenable, 1),
    BUILTIN_ENTRY(d3d_primitive_begin, 1),
    BUILTIN_ENTRY(d3d_primitive_begin_texture, 2),
    BUILTIN_ENTRY(d3d_primitive_end, 0),
    VERTEX(d3d_vertex, MODEL_VERTEX, 3),
    VERTEX(d3d_vertex_color, MODEL_VERTEX_COLOUR, 5),
    VERTEX(d3d_vertex_colour, MODEL_VERTEX_COLOUR, 5),
    VERTEX(d3d_vertex_texture, MODEL_VERTEX_TEXTURE, 5),
    VERTEX(d3d_vertex_texture_color, MODEL_VERTEX_TEXTURE_COLOUR, 7),
    VERTEX(d3d_vertex_texture_colour, MODEL_VERTEX_TEXTURE_COLOUR, 7),
    VERTEX(d3d_vertex_normal, MODEL_VERTEX_NORMAL, 6),
    VERTEX(d3d_vertex_normal_color, MODEL_VERTEX_NORMAL_COLOUR, 8),
    VERTEX(d3d_vertex_normal_colour, MODEL_VERTEX_NORMAL_COLOUR, 8),
    VERTEX(d3d_vertex_normal_texture, MODEL_VERTEX_NORMAL_TEXTURE, 8),
    VERTEX(d3d_vertex_normal_texture_color, MODEL_VERTEX_NORMAL_TEXTURE_COLOUR, 10),
    VERTEX(d3d_vertex_normal_texture_colour, MODEL_VERTEX_NORMAL_TEXTURE_COLOUR, 10),
    BUILTIN_ENTRY(d3d_draw_block, 9),
    BUILTIN_ENTRY(d3d_draw_cylinder, 11),
    BUILTIN_ENTRY(d3d_draw_cone, 11),
    BUILTIN_ENTRY(d3d_draw_ellipsoid, 10),
    BUILTIN_ENTRY(d3d_draw_wall, 9),
    BUILTIN_ENTRY(d3d_draw_floor, 9),
    BUILTIN_ENTRY(d3d_set_projection, 9),
    BUILTIN_ENTRY(d3d_set_projection_ext, 13),
    BUILTIN_ENTRY(d3d_set_projection_ortho, 5),
    BUILTIN_ENTRY(d3d_set_projection_perspective, 5),
    ENTRY(d3d_transform_set_identity, Transform0, GR_D3D_TransformSetIdentity, 0),
    ENTRY(d3d_transform_set_translation, Transform3, GR_D3D_TransformSetTranslation, 3),
    ENTRY(d3d_transform_set_scaling, Transform3, GR_D3D_TransformSetScaling, 3),
    ENTRY(d3d_transform_set_rotation_x, Transform1, GR_D3D_TransformSetRotationX, 1),
    ENTRY(d3d_transform_set_rotation_y, Transform1, GR_D3D_TransformSetRotationY, 1),
    ENTRY(d3d_transform_set_rotation_z, Transform1, GR_D3D_TransformSetRotationZ, 1),
    ENTRY(d3d_transform_set_rotation_axis, Transform4, GR_D3D_TransformSetRotationAxis, 4),
    ENTRY(d3d_transform_add_translation, Transform3, GR_D3D_TransformAddTranslation, 3),
    ENTRY(d3d_transform_add_scaling, Transform3, GR_D3D_TransformAddScaling, 3),
    ENTRY(d3d_transform_add_rotation_x, Transform1, GR_D3D_TransformAddRotationX, 1),
    ENTRY(d3d_transform_add_rotation_y, Transform1, GR_D3D_TransformAddRotationY, 1),
    ENTRY(d3d_transform_add_rotation_z, Transform1, GR_D3D_TransformAddRotationZ, 1),
    ENTRY(d3d_transform_add_rotation_axis, Transform4, GR_D3D_TransformAddRotationAxis, 4),
    ENTRY(d3d_transform_stack_clear, Transform0, GR_D3D_TransformStackClear, 0),
    ENTRY(d3d_transform_stack_empty, StackOp, GR_D3D_TransformStackEmpty, 0),
    ENTRY(d3d_transform_stack_push, StackOp, GR_D3D_TransformStackPush, 0),
    ENTRY(d3d_transform_stack_pop, StackOp, GR_D3D_TransformStackPop, 0),
    ENTRY(d3d_transform_stack_top, StackOp, GR_D3D_TransformStackTop, 0),
    ENTRY(d3d_transform_stack_discard, StackOp, GR_D3D_TransformStackDiscard, 0),
    BUILTIN_ENTRY(d3d_transform_vertex, 3),
    BUILTIN_ENTRY(matrix_get, 1),
    BUILTIN_ENTRY(matrix_set, 2),
    BUILTIN_ENTRY(matrix_build, 9),
    BUILTIN_ENTRY(matrix_multiply, 2),
    BUILTIN_ENTRY(frustum_build, 0),
    BUILTIN_ENTRY(frustum_test_sphere, 4),
    BUILTIN_ENTRY(d3d_light_define_ambient, 1),
    BUILTIN_ENTRY(d3d_light_define_direction, 5),
    BUILTIN_ENTRY(d3d_light_define_point, 6),
    BUILTIN_ENTRY(d3d_light_enable, 2),
    BUILTIN_ENTRY(d3d_model_create, 0),
    BUILTIN_ENTRY(d3d_model_destroy, 1),
    BUILTIN_ENTRY(d3d_model_clear, 1),
    BUILTIN_ENTRY(d3d_model_load, 2),
    BUILTIN_ENTRY(d3d_model_save, 2),
    BUILTIN_ENTRY(d3d_model_draw, 5),
    BUILTIN_ENTRY(d3d_model_primitive_begin, 2),
    MODEL(d3d_model_primitive_end, MODEL_END, 1),
    MODEL(d3d_model_vertex, MODEL_VERTEX, 4),
    MODEL(d3d_model_vertex_color, MODEL_VERTEX_COLOUR, 6),
    MODEL(d3d_model_vertex_colour, MODEL_VERTEX_COLOUR, 6),
    MODEL(d3d_model_vertex_texture, MODEL_VERTEX_TEXTURE, 6),
    MODEL(d3d_model_vertex_texture_color, MODEL_VERTEX_TEXTURE_COLOUR, 8),
    MODEL(d3d_model_vertex_texture_colour, MODEL_VERTEX_TEXTURE_COLOUR, 8),
    MODEL(d3d_model_vertex_normal, MODEL_VERTEX_NORMAL, 7),
    MODEL(d3d_model_vertex_normal_color, MODEL_VERTEX_NORMAL_COLOUR, 9),
    MODEL(d3d_model_vertex_normal_texture, MODEL_VERTEX_NORMAL_TEXTURE, 9),
    MODEL(d3d_model_vertex_normal_texture_color, MODEL_VERTEX_NORMAL_TEXTURE_COLOUR, 11),
    MODEL(d3d_model_vertex_normal_texture_colour, MODEL_VERTEX_NORMAL_TEXTURE_COLOUR, 11),
    MODEL(d3d_model_block, MODEL_BLOCK, 9),
    MODEL(d3d_model_wall, MODEL_WALL, 9),
    MODEL(d3d_model_floor, MODEL_FLOOR, 9),
    MODEL(d3d_model_cylinder, MODEL_CYLINDER, 11),
    MODEL(d3d_model_cone, MODEL_CONE, 11),
    MODEL(d3d_model_ellipsoid, MODEL_ELLIPSOID, 10),
    BUILTIN_ALIAS(Zebo_EnableAlphaBlend, draw_enable_alphablend, 1),
    BUILTIN_ENTRY(draw_enable_alphablend, 1),
    BUILTIN_ENTRY(draw_texture_flush, 0),
};
static_assert(sizeof k3DFunctions / sizeof k3DFunctions[0] == 93, "the 3D group registers 93 entries");

} // namespace

void Init3DFunctions() {
    BuiltIn_Register(k3DFunctions);
}
