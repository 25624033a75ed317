// The drawing-colour and screen built-ins, and the untextured shapes and user primitives: argument
// conversion in front of the 2D drawing back end.
#include "core/convert.h"
#include "graphics/colour.h"
#include "graphics/device.h"
#include "graphics/draw.h"
#include "graphics/registration.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

#define BUILTIN(name) void F_##name([[maybe_unused]] ScriptValue& result, [[maybe_unused]] const BuiltInArgs& args)

// Colours of shapes are rounded from single precision; their truth flags hold at 0.5 or more, also in
// single precision.
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(X86_RoundToInt32(args.Float(i)));
}
bool Flag(const BuiltInArgs& args, int i) {
    return args.Float(i) >= 0.5f;
}
// A 32-bit colour as an unsigned number.
void SetColourResult(ScriptValue& result, uint32_t colour) {
    Value_SetReal(&result, static_cast<double>(colour));
}
// Truncating remainder, so a negative colour gives a negative or zero part.
void SetColourPart(ScriptValue& result, const BuiltInArgs& args, int divisor) {
    Value_SetReal(&result, static_cast<double>((static_cast<int64_t>(args.Rounded(0)) / divisor) % 256));
}

// ---- Colour and screen ----

BUILTIN(draw_set_colour) {
    GR_Draw_SetColour(static_cast<uint32_t>(args.Rounded(0)));
}
BUILTIN(draw_set_alpha) {
    GR_Draw_SetAlpha(args.Float(0));
}
BUILTIN(draw_get_colour) {
    SetColourResult(result, GR_Draw_GetColour() & 0xFFFFFFu);
}
BUILTIN(draw_get_alpha) {
    Value_SetReal(&result, GR_Draw_GetAlpha());
}
BUILTIN(make_colour) {
    const int64_t colour = static_cast<int64_t>(args.Rounded(0)) + static_cast<int64_t>(args.Rounded(1)) * 256 +
                           static_cast<int64_t>(args.Rounded(2)) * 65536;
    Value_SetReal(&result, static_cast<double>(colour));
}
BUILTIN(colour_get_red) {
    SetColourPart(result, args, 1);
}
BUILTIN(colour_get_green) {
    SetColourPart(result, args, 256);
}
BUILTIN(colour_get_blue) {
    SetColourPart(result, args, 65536);
}
BUILTIN(merge_colour) {
    SetColourResult(result, Colour_MergeF(Colour(args, 0), Colour(args, 1), args.Float(2)));
}
BUILTIN(draw_clear) {
    GR_Draw_Clear(Colour(args, 0) | 0xFF000000u);
}
BUILTIN(draw_clear_alpha) {
    GR_Draw_ClearAlpha(Colour(args, 0), args.Float(1));
}
BUILTIN(screen_save) {
    Screen_SaveToFile(args.Text(0));
}

// ---- Shapes ----

BUILTIN(draw_point) {
    GR_Draw_Point(args.Float(0), args.Float(1));
}
BUILTIN(draw_line) {
    GR_Draw_Line(args.Float(0), args.Float(1), args.Float(2), args.Float(3));
}
BUILTIN(draw_line_width) {
    GR_Draw_LineWidth(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4));
}
BUILTIN(draw_rectangle) {
    GR_Draw_Rectangle(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Flag(args, 4));
}
BUILTIN(draw_roundrect) {
    GR_Draw_RoundRect(args.Float(0), args.Float(1), args.Float(2), args.Float(3), 10, 10, Flag(args, 4));
}
BUILTIN(draw_triangle) {
    GR_Draw_Triangle(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                     Flag(args, 6));
}
BUILTIN(draw_circle) {
    GR_Draw_Circle(args.Float(0), args.Float(1), args.Float(2), Flag(args, 3));
}
BUILTIN(draw_ellipse) {
    GR_Draw_Ellipse(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Flag(args, 4));
}
BUILTIN(draw_arrow) {
    GR_Draw_Arrow(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4));
}
BUILTIN(draw_button) {
    GR_Draw_Button(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Flag(args, 4));
}
BUILTIN(draw_healthbar) {
    const uint32_t low = Colour(args, 6), high = Colour(args, 7);
    GR_Draw_Healthbar(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4),
                      static_cast<uint32_t>(args.Rounded(5)), low, Colour_MergeF(low, high, 0.5f), high,
                      args.Rounded(8), Flag(args, 9), Flag(args, 10));
}
BUILTIN(draw_point_colour) {
    GR_Draw_PointColour(args.Float(0), args.Float(1), Colour(args, 2));
}
BUILTIN(draw_line_colour) {
    GR_Draw_LineColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4), Colour(args, 5));
}
BUILTIN(draw_line_width_colour) {
    GR_Draw_LineWidthColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4),
                            Colour(args, 5), Colour(args, 6));
}
BUILTIN(draw_rectangle_colour) {
    GR_Draw_RectangleColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                            Colour(args, 5), Colour(args, 6), Colour(args, 7), Flag(args, 8));
}
BUILTIN(draw_roundrect_colour) {
    GR_Draw_RoundRectColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), 10, 10, Colour(args, 4),
                            Colour(args, 5), Flag(args, 6));
}
BUILTIN(draw_triangle_colour) {
    GR_Draw_TriangleColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), args.Float(4), args.Float(5),
                           Colour(args, 6), Colour(args, 7), Colour(args, 8), Flag(args, 9));
}
BUILTIN(draw_circle_colour) {
    GR_Draw_CircleColour(args.Float(0), args.Float(1), args.Float(2), Colour(args, 3), Colour(args, 4),
                         Flag(args, 5));
}
BUILTIN(draw_ellipse_colour) {
    GR_Draw_EllipseColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                          Colour(args, 5), Flag(args, 6));
}
BUILTIN(draw_set_circle_precision) {
    GR_Draw_SetCirclePrecision(args.Rounded(0));
}

// ---- User primitives ----

BUILTIN(draw_primitive_begin) {
    GR_Draw_PrimitiveBegin(args.Rounded(0), -1);
}
BUILTIN(draw_primitive_begin_texture) {
    GR_Draw_PrimitiveBegin(args.Rounded(0), args.Rounded(1));
}
BUILTIN(draw_primitive_end) {
    GR_Draw_PrimitiveEnd();
}
BUILTIN(draw_vertex) {
    GR_Draw_Vertex(args.Float(0), args.Float(1));
}
BUILTIN(draw_vertex_colour) {
    GR_Draw_VertexColour(args.Float(0), args.Float(1), Colour(args, 2), args.Float(3));
}
BUILTIN(draw_vertex_texture) {
    GR_Draw_VertexTexture(args.Float(0), args.Float(1), args.Float(2), args.Float(3));
}
BUILTIN(draw_vertex_texture_colour) {
    GR_Draw_VertexTextureColour(args.Float(0), args.Float(1), args.Float(2), args.Float(3), Colour(args, 4),
                                args.Float(5));
}

// Two names for one body.
#define BUILTIN_ALIAS(alias, name, count)                                                                    \
    { #alias, BuiltIn_Call < F_##name>, count }

const BuiltInRegistration kColourFunctions[] = {
    BUILTIN_ENTRY(screen_save, 1),
    BUILTIN_ALIAS(draw_set_color, draw_set_colour, 1),
    BUILTIN_ENTRY(draw_set_colour, 1),
    BUILTIN_ENTRY(draw_set_alpha, 1),
    BUILTIN_ALIAS(draw_get_color, draw_get_colour, 0),
    BUILTIN_ENTRY(draw_get_colour, 0),
    BUILTIN_ENTRY(draw_get_alpha, 0),
    BUILTIN_ALIAS(make_color, make_colour, 3),
    BUILTIN_ENTRY(make_colour, 3),
    BUILTIN_ALIAS(make_color_rgb, make_colour, 3),
    BUILTIN_ALIAS(make_colour_rgb, make_colour, 3),
    BUILTIN_ALIAS(color_get_red, colour_get_red, 1),
    BUILTIN_ENTRY(colour_get_red, 1),
    BUILTIN_ALIAS(color_get_green, colour_get_green, 1),
    BUILTIN_ENTRY(colour_get_green, 1),
    BUILTIN_ALIAS(color_get_blue, colour_get_blue, 1),
    BUILTIN_ENTRY(colour_get_blue, 1),
    BUILTIN_ALIAS(merge_color, merge_colour, 3),
    BUILTIN_ENTRY(merge_colour, 3),
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
    BUILTIN_ALIAS(draw_point_color, draw_point_colour, 3),
    BUILTIN_ENTRY(draw_point_colour, 3),
    BUILTIN_ALIAS(draw_line_color, draw_line_colour, 6),
    BUILTIN_ENTRY(draw_line_colour, 6),
    BUILTIN_ALIAS(draw_line_width_color, draw_line_width_colour, 7),
    BUILTIN_ENTRY(draw_line_width_colour, 7),
    BUILTIN_ALIAS(draw_rectangle_color, draw_rectangle_colour, 9),
    BUILTIN_ENTRY(draw_rectangle_colour, 9),
    BUILTIN_ALIAS(draw_roundrect_color, draw_roundrect_colour, 7),
    BUILTIN_ENTRY(draw_roundrect_colour, 7),
    BUILTIN_ALIAS(draw_triangle_color, draw_triangle_colour, 10),
    BUILTIN_ENTRY(draw_triangle_colour, 10),
    BUILTIN_ALIAS(draw_circle_color, draw_circle_colour, 6),
    BUILTIN_ENTRY(draw_circle_colour, 6),
    BUILTIN_ALIAS(draw_ellipse_color, draw_ellipse_colour, 7),
    BUILTIN_ENTRY(draw_ellipse_colour, 7),
    BUILTIN_ENTRY(draw_set_circle_precision, 1),
    BUILTIN_ENTRY(draw_primitive_begin, 1),
    BUILTIN_ENTRY(draw_primitive_begin_texture, 2),
    BUILTIN_ENTRY(draw_primitive_end, 0),
    BUILTIN_ENTRY(draw_vertex, 2),
    BUILTIN_ALIAS(draw_vertex_color, draw_vertex_colour, 4),
    BUILTIN_ENTRY(draw_vertex_colour, 4),
    BUILTIN_ENTRY(draw_vertex_texture, 4),
    BUILTIN_ALIAS(draw_vertex_texture_color, draw_vertex_texture_colour, 6),
};

} // namespace

void Graphic_RegisterDrawFunctions() {
    BuiltIn_Register(kColourFunctions);
    BuiltIn_Register(kShapeFunctions);
}
