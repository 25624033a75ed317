// The shader built-ins: selecting shaders, finding and setting their uniforms, and the texture stages
// and texel sizes that shaders sample with.
#include "core/convert.h"
#include "graphics/frame/batcher.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/shader.h"
#include "graphics/frame/texture.h"
#include "graphics/frame/transform.h"
#include "graphics/graphics_builtins.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <string>
#include <vector>

namespace {

void Report(const char* message) {
    Code_Error_Report(message, false);
}

bool CountIs(const BuiltInArgs& args, int count, const char* message) {
    if (args.count == count) return true;
    Report(message);
    return false;
}

bool AllReal(const BuiltInArgs& args) {
    for (int i = 0; i < args.count; ++i) {
        if (!args.At(i)->IsReal()) {
            Report("Illegal argument type");
            return false;
        }
    }
    return true;
}

// The shader of an id argument; reports "Illegal shader handle" for another.
TShader* ShaderArgument(const BuiltInArgs& args, int i) {
    TShader* shader = Shader_Get(args.Truncated(i));
    if (!shader) Report("Illegal shader handle");
    return shader;
}

// A uniform write first draws the batch gathered so far with the old values.
void FlushAndApply() {
    Graphics::Flush();
    if (Shader_ChangePending()) Shader_Apply();
}

// Row 0 of an array argument, its length rounded down to a multiple of unit; false (with the message)
// when that leaves nothing.
bool ArrayRow(const ScriptValue* value, int unit, const ScriptValue** items, int* length) {
    const ScriptArray* array = value->arr;
    *length = array && array->rowCount > 0 ? array->rows[0].length / unit * unit : 0;
    *items = *length > 0 ? array->rows[0].items : nullptr;
    if (*length > 0) return true;
    Report("Illegal array count");
    return false;
}

std::vector<float> FloatsOf(const ScriptValue* items, int length) {
    std::vector<float> values(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        values[static_cast<size_t>(i)] = X86_DoubleToFloat(Value_Real(&items[i]));
    return values;
}

bool RealAndArray(const BuiltInArgs& args) {
    if (args.At(0)->IsReal() && args.At(1)->IsArray()) return true;
    Report("Illegal argument type");
    return false;
}

BUILTIN_BODY(shader_set) {
    Value_SetReal(&result, -1);
    if (!CountIs(args, 1, "shader_set: Illegal argument count") || !AllReal(args)) return;
    const int id = args.Truncated(0);
    if (id == -1) {
        Shader_Request(nullptr);
    } else if (TShader* shader = Shader_Get(id)) {
        Shader_Request(shader);
    } else {
        Report("Illegal shader handle");
        return;
    }
    if (Shader_ChangePending()) Shader_Apply();
}

BUILTIN_BODY(shader_reset) {
    Value_SetReal(&result, -1);
    if (!CountIs(args, 0, "shader_set: Illegal argument count")) return;
    Graphics::Flush();
    Shader_Request(nullptr);
    if (Shader_ChangePending()) Shader_Apply();
}

// shader_get_uniform and shader_get_sampler_index: (shader, name).
void FindBody(ScriptValue& result, const BuiltInArgs& args, const char* countMessage,
              int (*find)(const TShader*, const char*)) {
    Value_SetReal(&result, -1);
    if (!CountIs(args, 2, countMessage)) return;
    if (!args.At(0)->IsReal() || !args.At(1)->IsString()) {
        Report("Illegal argument type");
        return;
    }
    if (const TShader* shader = ShaderArgument(args, 0)) {
        const char* name = args.Text(1);
        Value_SetReal(&result, find(shader, name ? name : ""));
    }
}

BUILTIN_BODY(shader_get_uniform) {
    FindBody(result, args, "shader_get_uniform: Illegal argument count", Shader_FindUniform);
}

BUILTIN_BODY(shader_get_sampler_index) {
    FindBody(result, args, "shader_get_sampler_index: Illegal argument count", Shader_FindSampler);
}

// shader_set_uniform_i and shader_set_uniform_f: (handle, 1 to 4 values).
void SetVectorBody(ScriptValue& result, const BuiltInArgs& args, const char* countMessage,
                   bool (*set)(int, int, double, double, double, double)) {
    Value_SetReal(&result, -1);
    if (args.count < 2 || args.count > 5) {
        Report(countMessage);
        return;
    }
    if (!AllReal(args)) return;
    FlushAndApply();
    set(args.Truncated(0), args.count - 1, args.Real(1), args.Real(2), args.Real(3), args.Real(4));
}

BUILTIN_BODY(shader_set_uniform_i) {
    SetVectorBody(result, args, "shader_set_uniform_i: Illegal argument count", Shader_SetUniformI);
}

BUILTIN_BODY(shader_set_uniform_f) {
    SetVectorBody(result, args, "shader_set_uniform_f: Illegal argument count", Shader_SetUniformF);
}

BUILTIN_BODY(shader_set_uniform_i_array) {
    Value_SetReal(&result, -1);
    if (!RealAndArray(args)) return;
    FlushAndApply();
    const ScriptValue* items = nullptr;
    int length = 0;
    if (!ArrayRow(args.At(1), 4, &items, &length)) return;
    std::vector<int32_t> values(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i)
        values[static_cast<size_t>(i)] = X86_DoubleToInt32(Value_Real(&items[i]));
    Shader_SetUniformIArray(args.Truncated(0), values);
}

BUILTIN_BODY(shader_set_uniform_f_array) {
    Value_SetReal(&result, -1);
    if (!RealAndArray(args)) return;
    FlushAndApply();
    const ScriptValue* items = nullptr;
    int length = 0;
    if (!ArrayRow(args.At(1), 4, &items, &length)) return;
    Shader_SetUniformFArray(args.Truncated(0), FloatsOf(items, length));
}

int AppliedMatricesSlot() {
    const TShader* applied = Shader_Applied();
    return applied ? applied->slots[SLOT_MATRICES] : -1;
}

// The world matrix, as one matrix into the first slot of the built-in matrices.
BUILTIN_BODY(shader_set_uniform_matrix) {
    Value_SetReal(&result, -1);
    if (!AllReal(args)) return;
    FlushAndApply();
    float world[16];
    Graphics::GetMatrix(2, world);
    Shader_SetUniformMatrix(AppliedMatricesSlot(), 1, world);
}

BUILTIN_BODY(shader_set_uniform_matrix_array) {
    Value_SetReal(&result, -1);
    if (!CountIs(args, 2, "shader_set_uniform_matrix: Illegal argument count") || !RealAndArray(args)) return;
    FlushAndApply();
    const ScriptValue* items = nullptr;
    int length = 0;
    if (!ArrayRow(args.At(1), 16, &items, &length)) return;
    Shader_SetUniformMatrix(AppliedMatricesSlot(), length / 16, FloatsOf(items, length).data());
}

BUILTIN_BODY(shader_is_compiled) {
    Value_SetReal(&result, 0);
    if (!CountIs(args, 1, "shader_set: Illegal argument count") || !AllReal(args)) return;
    if (const TShader* shader = ShaderArgument(args, 0)) Value_SetReal(&result, shader->errorText ? 0 : 1);
}

BUILTIN_BODY(shaders_are_supported) {
    Value_SetReal(&result, 0);
    if (!CountIs(args, 0, "shaders_are_supported: Illegal argument count")) return;
    Value_SetReal(&result, GR_D3D_ShadersSupported() ? 1 : 0);
}

// A texture argument of the stage and texel built-ins: -1 for none (gives true and null), a valid id,
// or a texture-page entry handle. A number below 2048 that is neither is reported with the function's
// message; another unknown number is passed over in silence. False when nothing is to be done.
bool TextureArgument(const BuiltInArgs& args, int i, const char* function, TDeviceTexture** texture) {
    const int64_t value = args.Truncated(i);
    *texture = nullptr;
    if (value == -1) return true;
    const int id = Texture_FromValue(value);
    if (id >= 0) {
        *texture = Texture_Get(id);
        return true;
    }
    if (value < 2048) {
        const std::string message =
            std::string(function) + ": illegal texture provided, This looks like a sprite or background ID.";
        Report(message.c_str());
    }
    return false;
}

BUILTIN_BODY(texture_set_stage) {
    Value_SetReal(&result, -1);
    if (!CountIs(args, 2, "texture_set_stage: Illegal argument count") || !AllReal(args)) return;
    const int stage = args.Truncated(0);
    if (stage < 0 || stage > 8) return;
    Graphics::Flush();
    TDeviceTexture* texture = nullptr;
    if (TextureArgument(args, 1, "texture_set_stage", &texture)) GR_D3D_SetTexture(stage, texture);
}

void TexelBody(ScriptValue& result, const BuiltInArgs& args, const char* function, bool width) {
    Value_SetReal(&result, 1);
    TDeviceTexture* texture = nullptr;
    if (!TextureArgument(args, 0, function, &texture) || !texture) return;
    Value_SetReal(&result, 1.0 / (width ? texture->Width() : texture->Height()));
}

BUILTIN_BODY(texture_get_texel_width) {
    TexelBody(result, args, "texture_get_texel_width", true);
}

BUILTIN_BODY(texture_get_texel_height) {
    TexelBody(result, args, "texture_get_texel_height", false);
}

const BuiltInRegistration kShaderFunctions[] = {
    BUILTIN_ENTRY(shader_set, 1),
    BUILTIN_ENTRY(shader_reset, 0),
    BUILTIN_ENTRY(shader_get_uniform, 2),
    BUILTIN_ENTRY(shader_get_sampler_index, 2),
    BUILTIN_ENTRY(shader_set_uniform_i, -1),
    BUILTIN_ENTRY(shader_set_uniform_f, -1),
    BUILTIN_ENTRY(shader_set_uniform_i_array, 2),
    BUILTIN_ENTRY(shader_set_uniform_f_array, 2),
    BUILTIN_ENTRY(shader_set_uniform_matrix, 1),
    BUILTIN_ENTRY(shader_set_uniform_matrix_array, 2),
    BUILTIN_ENTRY(shader_is_compiled, 1),
    BUILTIN_ENTRY(shaders_are_supported, 0),
    BUILTIN_ENTRY(texture_set_stage, 2),
    BUILTIN_ENTRY(texture_get_texel_width, 1),
    BUILTIN_ENTRY(texture_get_texel_height, 1),
};

} // namespace

void InitShaderFunctions() {
    BuiltIn_Register(kShaderFunctions);
}
