// The drawing-state, colour and screen built-ins, and the shape and primitive built-ins.
#include "core/convert.h"
#include "graphics/draw/draw.h"
#include "graphics/draw/texture_draw.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/render_state.h"
#include "graphics/graphics_builtins.h"
#include "graphics/image/colour.h"
#include "io/window_state.h"
#include "library/builtin.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <cstdio>

namespace {

// A colour rounded from single precision.
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(X86_RoundToInt32(args.Float(i)));
}
// A colour rounded in double precision.
uint32_t ColourD(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(args.Rounded(i));
}
// A truth flag at 0.5 or more in single precision.
bool FlagF(const BuiltInArgs& args, int i) {
    return args.Float(i) >= 0.5f;
}
// A truth flag above 0.5.
bool Above(const BuiltInArgs& args, int i) {
    return args.Real(i) > 0.5;
}
// 32-bit colours are given to scripts as unsigned numbers.
void SetColourResult(ScriptValue& result, uint32_t colour) {
    Value_SetReal(&result, static_cast<double>(colour));
}

// ---- colour and drawing state ----

BUILTIN_BODY(draw_set_colour) {
    GR_Draw_SetColour(ColourD(args, 0));
}
BUILTIN_BODY(draw_set_alpha) {
    GR_Draw_SetAlpha(args.Float(0));
}
BUILTIN_BODY(draw_get_colour) {
    Value_SetReal(&result, GR_Draw_GetColour() & 0xFFFFFFu);
}
BUILTIN_BODY(draw_get_alpha) {
    Value_SetReal(&result, GR_Draw_GetAlpha());
}
BUILTIN_BODY(make_colour) {
    const int32_t colour =
        Wrap_Add32(Wrap_Add32(args.Rounded(0), Wrap_Mul32(args.Rounded(1), 256)), Wrap_Mul32(args.Rounded(2), 65536));
    SetColourResult(result, static_cast<uint32_t>(colour));
}
BUILTIN_BODY(make_colour_hsv) {
    const HSVTriple hsv{{static_cast<uint8_t>(args.Rounded(0)), static_cast<uint8_t>(args.Rounded(1)),
                         static_cast<uint8_t>(args.Rounded(2))}};
    SetColourResult(result, Colour_FromHSV(hsv));
}
// The parts use truncating division, so a negative colour gives negative or zero parts.
BUILTIN_BODY(colour_get_red) {
    Value_SetReal(&result, X86_Rem32(args.Rounded(0), 256));
}
BUILTIN_BODY(colour_get_green) {
    Value_SetReal(&result, X86_Rem32(X86_Div32(args.Rounded(0), 256), 256));
}
BUILTIN_BODY(colour_get_blue) {
    Value_SetReal(&result, X86_Rem32(X86_Div32(args.Rounded(0), 65536), 256));
}
BUILTIN_BODY(colour_get_hue) {
    Value_SetReal(&result, Colour_ToHSV(ColourD(args, 0)).bytes[0]);
}
BUILTIN_BODY(colour_get_saturation) {
    Value_SetReal(&result, Colour_ToHSV(ColourD(args, 0)).bytes[1]);
}
BUILTIN_BODY(colour_get_value) {
    Value_SetReal(&result, Colour_ToHSV(ColourD(args, 0)).bytes[2]);
}
BUILTIN_BODY(merge_colour) {
    SetColourResult(result, Colour_MergeF(Colour(args, 0), Colour(args, 1), args.Float(2)));
}
BUILTIN_BODY(draw_set_blend_mode) {
    Graphics::SetBlendMode(args.Rounded(0));
}
BUILTIN_BODY(draw_set_blend_mode_ext) {
    Graphics::SetBlendModeExt(args.Rounded(0), args.Rounded(1));
}
BUILTIN_BODY(draw_set_color_write_enable) {
    Graphics::SetColourWriteEnable(Above(args, 0), Above(args, 1), Above(args, 2), Above(args, 3));
}
BUILTIN_BODY(draw_set_alpha_test) {
    Graphics::SetAlphaTest(Above(args, 0));
}
BUILTIN_BODY(draw_get_alpha_test) {
    Value_SetReal(&result, Graphics::GetAlphaTest() ? 1 : 0);
}
BUILTIN_BODY(draw_set_alpha_test_ref_value) {
    Graphics::SetAlphaTestRef(args.Rounded(0));
}
BUILTIN_BODY(draw_get_alpha_test_ref_value) {
    Value_SetReal(&result, Graphics::GetAlphaTestRef());
}
BUILTIN_BODY(draw_clear) {
    GR_Draw_Clear(Colour(args, 0) | 0xFF000000u);
}
BUILTIN_BODY(draw_clear_alpha) {
    GR_Draw_ClearAlpha(Colour(args, 0), args.Float(1));
}

// The two switches check their one argument themselves; their messages start with prefix.
bool SwitchArgumentValid(const BuiltInArgs& args, const char* prefix) {
    char message[96];
    if (args.count != 1) {
        std::snprintf(message, sizeof message, "%sIllegal argument count", prefix);
        Code_Error_Report(message, false);
        return false;
    }
    if (!args.At(0)->IsReal()) {
        std::snprintf(message, sizeof message, "%sIllegal argument type", prefix);
        Code_Error_Report(message, false);
        return false;
    }
    return true;
}
BUILTIN_BODY(draw_enable_drawevent) {
    if (SwitchArgumentValid(args, "")) Frame_State().Run_DrawEnabled = args.Real(0) >= 0.5 ? 1 : 0;
}
BUILTIN_BODY(shader_enable_corner_id) {
    Value_SetReal(&result, -1);
    if (SwitchArgumentValid(args, "draw_enable_corner_id: ")) Texture_SetCornerIds(Above(args, 0));
}

// ---- pixels and screen saves ----

uint32_t PixelAt(const BuiltInArgs& args) {
    int x = 0, y = 0;
    Window_RoomToWindow(Frame_State().View_Current, args.Float(0), args.Float(1), x, y);
    return Graphics::GetScreenPixel(x, y);
}
BUILTIN_BODY(draw_getpixel_ext) {
    SetColourResult(result, PixelAt(args));
}
BUILTIN_BODY(draw_getpixel) {
    SetColourResult(result, PixelAt(args) & 0xFFFFFFu);
}
BUILTIN_BODY(screen_save) {
    Screen_SaveToFile(args.Text(0));
}
BUILTIN_BODY(screen_save_part) {
    Screen_SavePartToFile(args.Text(0), args.Rounded(1), args.Rounded(2), args.Rounded(3), args.Rounded(4));
}

// ---- shapes ----

BUILTIN_BODY(draw_point) {
    GR_Draw_Point(args.Float(0), args.Float(1));
}
BUILTIN_BODY(draw_line) {
    GR_Draw_Line(args.Float(0), args.Float(1), args.Float(2), args.Float(3));
}
BUILTIN_BODY(draw_line_width) {
    GR_Draw_LineWidth(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4));
}
BUILTIN_BODY(draw_rectangle) {
    GR_Draw_Rectangle(args.Float(0), args.Float(1), args.Float(2), args.Float(3), FlagF(args, 4));
}
BUILTIN_BODY(draw_roundrect) {
    GR_Draw_RoundRect(args.Float(0), args.Float(1), args.Float(2), args.Float(3), 10, 10, FlagF(args, 4));
}
BUILTIN_BODY(draw_triangle) {
    GR_Draw_Triangle(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                     FlagF(args, 6));
}
BUILTIN_BODY(draw_circle) {
    GR_Draw_Circle(args.Float(0), args.Float(1), args.Float(2), FlagF(args, 3));
}
BUILTIN_BODY(draw_ellipse) {
    GR_Draw_Ellipse(args.Float(0), args.Float(1), args.Float(2), args.Float(3), FlagF(args, 4));
}
BUILTIN_BODY(draw_arrow) {
    GR_Draw_Arrow(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4));
}
BUILTIN_BODY(draw_button) {
    GR_Draw_Button(args.Float(0), args.Float(1), args.Float(2), args.Float(3), FlagF(args, 4));
}
BUILTIN_BODY(draw_healthbar) {
    const uint32_t minColour = Colour(args, 6);
    const uint32_t maxColour = Colour(args, 7);
    GR_Draw_Healthbar(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4), ColourD(args, 5),
                      minColour, Colour_MergeF(minColour, maxColour, 0.5f), maxColour, args.Rounded(8),
                      FlagF(args, 9), FlagF(args, 10));
}
BUILTIN_BODY(draw_point_colour) {
    GR_Draw_PointColour(args.Float(0), args.Float(1), Colour(args, 2));
}
BUILTIN_BODY(draw_line_colour) {
    GR_Draw_LineColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4), Colour(args, 5));
}
BUILTIN_BODY(draw_line_width_colour) {
    GR_Draw_LineWidthColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4),
                            Colour(args, 5), Colour(args, 6));
}
BUILTIN_BODY(draw_rectangle_colour) {
    GR_Draw_RectangleColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                            Colour(args, 5), Colour(args, 6), Colour(args, 7), FlagF(args, 8));
}
BUILTIN_BODY(draw_roundrect_colour) {
    GR_Draw_RoundRectColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), 10, 10, Colour(args, 4),
                            Colour(args, 5), FlagF(args, 6));
}
BUILTIN_BODY(draw_triangle_colour) {
    GR_Draw_TriangleColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                           Colour(args, 6), Colour(args, 7), Colour(args, 8), FlagF(args, 9));
}
BUILTIN_BODY(draw_circle_colour) {
    GR_Draw_CircleColour(args.Float(0), args.Float(1), args.Float(2), Colour(args, 3), Colour(args, 4),
                         FlagF(args, 5));
}
BUILTIN_BODY(draw_ellipse_colour) {
    GR_Draw_EllipseColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                          Colour(args, 5), FlagF(args, 6));
}
BUILTIN_BODY(draw_set_circle_precision) {
    GR_Draw_SetCirclePrecision(args.Rounded(0));
}
BUILTIN_BODY(draw_primitive_begin) {
    GR_Draw_PrimitiveBegin(args.Rounded(0), -1);
}
BUILTIN_BODY(draw_primitive_begin_texture) {
    GR_Draw_PrimitiveBegin(args.Rounded(0), args.Rounded(1));
}
BUILTIN_BODY(draw_primitive_end) {
    GR_Draw_PrimitiveEnd();
}
BUILTIN_BODY(draw_vertex) {
    GR_Draw_Vertex(args.Float(0), args.Float(1));
}
BUILTIN_BODY(draw_vertex_colour) {
    GR_Draw_VertexColour(args.Float(0), args.Float(1), Colour(args, 2), args.Float(3));
}
BUILTIN_BODY(draw_vertex_texture) {
    GR_Draw_VertexTexture(args.Float(0), args.Float(1), args.Float(2), args.Float(3));
}
BUILTIN_BODY(draw_vertex_texture_color) {
    GR_Draw_VertexTextureColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                                args.Float(5));
}


const BuiltInRegistration kStateFunctions[] = {
    BUILTIN_ENTRY(draw_enable_drawevent, 1),
    BUILTIN_ENTRY(screen_save, 1),
    BUILTIN_ENTRY(screen_save_part, 5),
    BUILTIN_ENTRY(draw_getpixel, 2),
    BUILTIN_ENTRY(draw_getpixel_ext, 2),
    BUILTIN_PAIR(draw_set_color, draw_set_colour, 1),
    BUILTIN_ENTRY(draw_set_alpha, 1),
    BUILTIN_PAIR(draw_get_color, draw_get_colour, 0),
    BUILTIN_ENTRY(draw_get_alpha, 0),
    BUILTIN_PAIR(make_color, make_colour, 3),
    BUILTIN_ALIAS(make_color_rgb, make_colour, 3),
    BUILTIN_ALIAS(make_colour_rgb, make_colour, 3),
    BUILTIN_PAIR(make_color_hsv, make_colour_hsv, 3),
    BUILTIN_PAIR(color_get_red, colour_get_red, 1),
    BUILTIN_PAIR(color_get_green, colour_get_green, 1),
    BUILTIN_PAIR(color_get_blue, colour_get_blue, 1),
    BUILTIN_PAIR(color_get_hue, colour_get_hue, 1),
    BUILTIN_PAIR(color_get_saturation, colour_get_saturation, 1),
    BUILTIN_PAIR(color_get_value, colour_get_value, 1),
    BUILTIN_PAIR(merge_color, merge_colour, 3),
    BUILTIN_ENTRY(draw_set_blend_mode, 1),
    BUILTIN_ENTRY(draw_set_blend_mode_ext, 2),
    BUILTIN_ENTRY(draw_set_color_write_enable, 4),
    BUILTIN_ENTRY(draw_set_alpha_test, 1),
    BUILTIN_ENTRY(draw_set_alpha_test_ref_value, 1),
    BUILTIN_ENTRY(draw_get_alpha_test, 0),
    BUILTIN_ENTRY(draw_get_alpha_test_ref_value, 0),
    BUILTIN_ENTRY(draw_clear, 1),
    BUILTIN_ENTRY(draw_clear_alpha, 2),
};

const BuiltInRegistration kShapeFunctions[] = {
    BUILTIN_ENTRY(draw_point, 2),
    BUILTIN_ENTRY(draw_line, 4),
    BUILTIN_ENTRY(draw_line_width, 5),
    BUILTIN_ENTRY(draw_rectangle, 5),
    BUILTIN_ENTRY(draw_roundrect, 5),
    BUILTIN_ENTRY(draw_triangle, 7),
    BUILTIN_ENTRY(draw_circle, 4),
    BUILTIN_ENTRY(draw_ellipse, 5),
    BUILTIN_ENTRY(draw_arrow, 5),
    BUILTIN_ENTRY(draw_button, 5),
    BUILTIN_ENTRY(draw_healthbar, 11),
};

// The coloured shapes and the primitives, which follow draw_path.
const BuiltInRegistration kShapeColourFunctions[] = {
    BUILTIN_PAIR(draw_point_color, draw_point_colour, 3),
    BUILTIN_PAIR(draw_line_color, draw_line_colour, 6),
    BUILTIN_PAIR(draw_line_width_color, draw_line_width_colour, 7),
    BUILTIN_PAIR(draw_rectangle_color, draw_rectangle_colour, 9),
    BUILTIN_PAIR(draw_roundrect_color, draw_roundrect_colour, 7),
    BUILTIN_PAIR(draw_triangle_color, draw_triangle_colour, 10),
    BUILTIN_PAIR(draw_circle_color, draw_circle_colour, 6),
    BUILTIN_PAIR(draw_ellipse_color, draw_ellipse_colour, 7),
    BUILTIN_ENTRY(draw_set_circle_precision, 1),
    BUILTIN_ENTRY(draw_primitive_begin, 1),
    BUILTIN_ENTRY(draw_primitive_begin_texture, 2),
    BUILTIN_ENTRY(draw_primitive_end, 0),
    BUILTIN_ENTRY(draw_vertex, 2),
    BUILTIN_PAIR(draw_vertex_color, draw_vertex_colour, 4),
    BUILTIN_ENTRY(draw_vertex_texture, 4),
    BUILTIN_ENTRY(draw_vertex_texture_color, 6),
};

const BuiltInRegistration kCornerIdFunctions[] = {
    BUILTIN_ENTRY(shader_enable_corner_id, 1),
};

} // namespace

void InitDrawStateFunctions() {
    BuiltIn_Register(kStateFunctions, kBuiltInKeepsInstances);
}
void InitShapeFunctions() {
    BuiltIn_Register(kShapeFunctions, kBuiltInKeepsInstances);
}
void InitShapeColourFunctions() {
    BuiltIn_Register(kShapeColourFunctions, kBuiltInKeepsInstances);
}
void InitCornerIdFunctions() {
    BuiltIn_Register(kCornerIdFunctions, kBuiltInKeepsInstances);
}
