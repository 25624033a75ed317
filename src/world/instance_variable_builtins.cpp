// The built-in variables of an instance: one row per variable, in table order. Each getter and setter
// works on the self instance; without one (other in code that has no other instance) they fail, and
// the machine reports the failed read or write.
#include "graphics/frame/frame.h"
#include "graphics/sprite/sprite.h"
#include "world/builtin_variable_rows.h"
#include "world/game_values.h"
#include "world/instance.h"

namespace {

using Getter = BuiltInVariableGetter;
using Setter = BuiltInVariableSetter;

// ---- Plain fields

template <float CInstance::*Field> bool GetFloat(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->*Field);
}
template <float CInstance::*Field> bool SetFloat(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    self->*Field = VarIn_Float(in);
    return true;
}
template <int32_t CInstance::*Field> bool GetInt(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->*Field);
}
template <int32_t CInstance::*Field> bool SetInt(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    self->*Field = VarIn_IntFromFloat(in);
    return true;
}
template <uint8_t CInstance::*Flag> bool GetFlag(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->*Flag ? 1.0 : 0.0);
}
// bool: any rounded value but 0 is true, so -1 is true.
template <uint8_t CInstance::*Flag> bool SetFlag(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    self->*Flag = VarIn_IntFromFloat(in) != 0;
    return true;
}
template <uint8_t CInstance::*Flag> bool SetFlagAboveHalf(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    self->*Flag = VarIn_FlagAboveHalf(VarIn_IntFromFloat(in));
    return true;
}

// The byte offset of a field in an instance (no instance is read).
template <typename T> int FieldOffset(T CInstance::*field) {
    alignas(CInstance) static const unsigned char probe[sizeof(CInstance)] = {};
    const auto* instance = reinterpret_cast<const CInstance*>(probe);
    return static_cast<int>(reinterpret_cast<const unsigned char*>(&(instance->*field)) - probe);
}
// Tells the machine which getters read their field as it is, so that it reads the field in place.
template <float CInstance::*... Fields> void MarkFloatFields() {
    (Variable_BuiltIn_SetField(GetFloat<Fields>, BuiltInField::Float, FieldOffset(Fields)), ...);
}
template <int32_t CInstance::*... Fields> void MarkIntFields() {
    (Variable_BuiltIn_SetField(GetInt<Fields>, BuiltInField::Int32, FieldOffset(Fields)), ...);
}
// Tells the machine which setters only write their field (and at most mark the bounding box stale), so
// that it writes the field in place.
template <float CInstance::*... Fields> void MarkFloatStores() {
    (Variable_BuiltIn_SetStore(SetFloat<Fields>, BuiltInField::Float, FieldOffset(Fields), -1), ...);
}
template <int32_t CInstance::*... Fields> void MarkIntStores() {
    (Variable_BuiltIn_SetStore(SetInt<Fields>, BuiltInField::Int32, FieldOffset(Fields), -1), ...);
}

// ---- Fields written through the instance's own operations, which keep dependent fields in step

template <void (CInstance::*Set)(float)> bool CallFloat(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    (self->*Set)(VarIn_Float(in));
    return true;
}
template <void (CInstance::*Set)(int)> bool CallInt(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    (self->*Set)(VarIn_IntFromFloat(in));
    return true;
}

// A coordinate that changes makes the bounding box stale (the machine writes these in place by the
// same rule: see MarkStores below).
template <float CInstance::*Coordinate> bool SetCoordinate(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    const float value = VarIn_Float(in);
    if (value != self->*Coordinate) self->bboxStale = 1;
    self->*Coordinate = value;
    return true;
}

// ---- Rules of their own

// Any index outside the twelve alarms means alarm 0.
int AlarmIndex(int arrayIndex) {
    return arrayIndex >= 0 && arrayIndex < kAlarmCount ? arrayIndex : 0;
}
bool GetAlarm(CInstance* self, int arrayIndex, ScriptValue* out) {
    return self && VarOut_Real(out, self->GetAlarm(AlarmIndex(arrayIndex)));
}
bool SetAlarm(CInstance* self, int arrayIndex, ScriptValue* in) {
    if (!self) return false;
    self->SetAlarm(AlarmIndex(arrayIndex), VarIn_IntFromFloat(in));
    return true;
}

// A depth equal to the current one (after narrowing) changes nothing and queues nothing.
bool SetDepth(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    const float depth = VarIn_Float(in);
    if (depth != self->depth) self->SetDepth(depth);
    return true;
}

template <int32_t CInstance::*Side> bool GetBoundingBox(CInstance* self, int, ScriptValue* out) {
    if (!self) return false;
    if (self->bboxStale) self->ComputeBoundingBox();
    return VarOut_Real(out, self->*Side);
}

// -1 while the image animates, else the image shown.
bool GetImageSingle(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->image_speed != 0.0f ? -1.0 : static_cast<double>(self->image_index));
}
// A negative value starts the animation where it stands; any other shows that image, stopped.
bool SetImageSingle(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    const float value = VarIn_Float(in);
    if (value < 0.0f) {
        self->image_speed = 1.0f;
    } else {
        self->image_index = value;
        self->image_speed = 0.0f;
    }
    return true;
}

bool GetImageNumber(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->GetImageNumber());
}

// The sprite's size or origin times the image scale; 0 without a sprite.
enum class SpriteMeasure { Width, Height, XOffset, YOffset };
template <SpriteMeasure M> bool GetSpriteMeasure(CInstance* self, int, ScriptValue* out) {
    if (!self) return false;
    const CSprite* sprite = Sprite_Exists(self->sprite_index) ? Sprite_Data(self->sprite_index) : nullptr;
    if (!sprite) return VarOut_Real(out, 0.0);
    switch (M) {
    case SpriteMeasure::Width: return VarOut_Real(out, static_cast<double>(sprite->width) * self->image_xscale);
    case SpriteMeasure::Height: return VarOut_Real(out, static_cast<double>(sprite->height) * self->image_yscale);
    case SpriteMeasure::XOffset: return VarOut_Real(out, static_cast<double>(sprite->xOrigin) * self->image_xscale);
    case SpriteMeasure::YOffset: return VarOut_Real(out, static_cast<double>(sprite->yOrigin) * self->image_yscale);
    }
    return false;
}

bool GetImageBlend(CInstance* self, int, ScriptValue* out) {
    return self && VarOut_Real(out, self->image_blend);
}
bool SetImageBlend(CInstance* self, int, ScriptValue* in) {
    if (!self) return false;
    self->image_blend = static_cast<uint32_t>(VarIn_IntFromFloat(in));
    return true;
}

bool GetAsyncLoad(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, GameValues_State().AsyncLoad_Index);
}
bool GetDisplayAA(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, Display_AntialiasLevels());
}
bool GetDeltaTime(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, static_cast<double>(GameValues_State().Run_DeltaTime));
}
bool GetWebGLEnabled(CInstance*, int, ScriptValue* out) {
    return VarOut_Real(out, 1.0);
}

const BuiltInVariableRow kBeforePhysics[] = {
    {"x", GetFloat<&CInstance::x>, SetCoordinate<&CInstance::x>},
    {"y", GetFloat<&CInstance::y>, SetCoordinate<&CInstance::y>},
    {"xprevious", GetFloat<&CInstance::xprevious>, SetFloat<&CInstance::xprevious>},
    {"yprevious", GetFloat<&CInstance::yprevious>, SetFloat<&CInstance::yprevious>},
    {"xstart", GetFloat<&CInstance::xstart>, SetFloat<&CInstance::xstart>},
    {"ystart", GetFloat<&CInstance::ystart>, SetFloat<&CInstance::ystart>},
    {"hspeed", GetFloat<&CInstance::hspeed>, CallFloat<&CInstance::SetHSpeed>},
    {"vspeed", GetFloat<&CInstance::vspeed>, CallFloat<&CInstance::SetVSpeed>},
    {"direction", GetFloat<&CInstance::direction>, CallFloat<&CInstance::SetDirection>},
    {"speed", GetFloat<&CInstance::speed>, CallFloat<&CInstance::SetSpeed>},
    {"friction", GetFloat<&CInstance::friction>, SetFloat<&CInstance::friction>},
    {"gravity", GetFloat<&CInstance::gravity>, SetFloat<&CInstance::gravity>},
    {"gravity_direction", GetFloat<&CInstance::gravity_direction>, SetFloat<&CInstance::gravity_direction>},
    {"object_index", GetInt<&CInstance::object_index>, nullptr},
    {"id", GetInt<&CInstance::id>, nullptr},
    {"alarm", GetAlarm, SetAlarm},
    {"solid", GetFlag<&CInstance::solid>, SetFlag<&CInstance::solid>},
    {"visible", GetFlag<&CInstance::visible>, SetFlag<&CInstance::visible>},
    {"persistent", GetFlag<&CInstance::persistent>, SetFlag<&CInstance::persistent>},
    {"depth", GetFloat<&CInstance::depth>, SetDepth},
    {"bbox_left", GetBoundingBox<&CInstance::bbox_left>, nullptr},
    {"bbox_right", GetBoundingBox<&CInstance::bbox_right>, nullptr},
    {"bbox_top", GetBoundingBox<&CInstance::bbox_top>, nullptr},
    {"bbox_bottom", GetBoundingBox<&CInstance::bbox_bottom>, nullptr},
    {"sprite_index", GetInt<&CInstance::sprite_index>, CallInt<&CInstance::SetSpriteIndex>},
    {"image_index", GetFloat<&CInstance::image_index>, SetFloat<&CInstance::image_index>},
    {"image_single", GetImageSingle, SetImageSingle},
    {"image_number", GetImageNumber, nullptr},
    {"sprite_width", GetSpriteMeasure<SpriteMeasure::Width>, nullptr},
    {"sprite_height", GetSpriteMeasure<SpriteMeasure::Height>, nullptr},
    {"sprite_xoffset", GetSpriteMeasure<SpriteMeasure::XOffset>, nullptr},
    {"sprite_yoffset", GetSpriteMeasure<SpriteMeasure::YOffset>, nullptr},
    {"image_xscale", GetFloat<&CInstance::image_xscale>, CallFloat<&CInstance::SetImageXScale>},
    {"image_yscale", GetFloat<&CInstance::image_yscale>, CallFloat<&CInstance::SetImageYScale>},
    {"image_angle", GetFloat<&CInstance::image_angle>, CallFloat<&CInstance::SetImageAngle>},
    {"image_alpha", GetFloat<&CInstance::image_alpha>, SetFloat<&CInstance::image_alpha>},
    {"image_blend", GetImageBlend, SetImageBlend},
    {"image_speed", GetFloat<&CInstance::image_speed>, SetFloat<&CInstance::image_speed>},
    {"mask_index", GetInt<&CInstance::mask_index>, CallInt<&CInstance::SetMaskIndex>},
    {"path_index", GetInt<&CInstance::path_index>, nullptr},
    {"path_position", GetFloat<&CInstance::path_position>, CallFloat<&CInstance::SetPathPosition>},
    {"path_positionprevious", GetFloat<&CInstance::path_positionprevious>,
     CallFloat<&CInstance::SetPathPositionPrevious>},
    {"path_speed", GetFloat<&CInstance::path_speed>, CallFloat<&CInstance::SetPathSpeed>},
    {"path_scale", GetFloat<&CInstance::path_scale>, SetFloat<&CInstance::path_scale>},
    {"path_orientation", GetFloat<&CInstance::path_orientation>, SetFloat<&CInstance::path_orientation>},
    {"path_endaction", GetInt<&CInstance::path_endaction>, SetInt<&CInstance::path_endaction>},
    {"timeline_index", GetInt<&CInstance::timeline_index>, SetInt<&CInstance::timeline_index>},
    {"timeline_position", GetFloat<&CInstance::timeline_position>, SetFloat<&CInstance::timeline_position>},
    {"timeline_speed", GetFloat<&CInstance::timeline_speed>, SetFloat<&CInstance::timeline_speed>},
    {"timeline_running", GetFlag<&CInstance::timeline_running>, SetFlagAboveHalf<&CInstance::timeline_running>},
    {"timeline_loop", GetFlag<&CInstance::timeline_loop>, SetFlagAboveHalf<&CInstance::timeline_loop>},
    {"async_load", GetAsyncLoad, nullptr},
};

const BuiltInVariableRow kAfterPhysics[] = {
    {"display_aa", GetDisplayAA, nullptr},
    {"delta_time", GetDeltaTime, nullptr},
    {"webgl_enabled", GetWebGLEnabled, nullptr},
};

} // namespace

void Variable_BuiltIn_InitInstance() {
    BuiltInVariable_Register(kBeforePhysics);
    Variable_BuiltIn_AddPhysics();
    BuiltInVariable_Register(kAfterPhysics);
    MarkFloatFields<&CInstance::x, &CInstance::y, &CInstance::xprevious, &CInstance::yprevious, &CInstance::xstart,
                    &CInstance::ystart, &CInstance::hspeed, &CInstance::vspeed, &CInstance::direction,
                    &CInstance::speed, &CInstance::friction, &CInstance::gravity, &CInstance::gravity_direction,
                    &CInstance::depth, &CInstance::image_index, &CInstance::image_xscale, &CInstance::image_yscale,
                    &CInstance::image_angle, &CInstance::image_alpha, &CInstance::image_speed,
                    &CInstance::path_position, &CInstance::path_positionprevious, &CInstance::path_speed,
                    &CInstance::path_scale, &CInstance::path_orientation, &CInstance::timeline_position,
                    &CInstance::timeline_speed>();
    MarkIntFields<&CInstance::object_index, &CInstance::id, &CInstance::sprite_index, &CInstance::mask_index,
                  &CInstance::path_index, &CInstance::path_endaction, &CInstance::timeline_index>();
    MarkFloatStores<&CInstance::xprevious, &CInstance::yprevious, &CInstance::xstart, &CInstance::ystart,
                    &CInstance::friction, &CInstance::gravity, &CInstance::gravity_direction,
                    &CInstance::image_index, &CInstance::image_alpha, &CInstance::image_speed,
                    &CInstance::path_scale, &CInstance::path_orientation, &CInstance::timeline_position,
                    &CInstance::timeline_speed>();
    MarkIntStores<&CInstance::path_endaction, &CInstance::timeline_index>();
    const int stale = FieldOffset(&CInstance::bboxStale);
    Variable_BuiltIn_SetStore(SetCoordinate<&CInstance::x>, BuiltInField::Float, FieldOffset(&CInstance::x), stale);
    Variable_BuiltIn_SetStore(SetCoordinate<&CInstance::y>, BuiltInField::Float, FieldOffset(&CInstance::y), stale);
}
