// The text built-ins: font and alignment, measuring, and the draw_text family.
#include "core/convert.h"
#include "graphics/graphics_builtins.h"
#include "graphics/text/text_draw.h"
#include "library/builtin.h"
#include "script/value.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// The text draw_text shows for a value, at most 1023 bytes: a string's text; a real narrowed to single
// precision, as a whole number when it is one, else with two decimals.
struct ValueText {
    char text[1024];

    explicit ValueText(const ScriptValue* value) {
        if (value->kind == KIND_STRING) {
            const char* s = value->str ? value->str : "";
            const size_t n = std::min(std::strlen(s), sizeof text - 1);
            std::memcpy(text, s, n);
            text[n] = '\0';
            return;
        }
        const float f = X86_DoubleToFloat(Value_Real(value));
        if (std::isnan(f)) {
            std::snprintf(text, sizeof text, "NaN");
        } else if (std::fabs(f) < 2147483648.0f && static_cast<float>(X86_RoundToInt32(f)) == f) {
            std::snprintf(text, sizeof text, "%d", X86_RoundToInt32(f));
        } else {
            std::snprintf(text, sizeof text, "%.2f", static_cast<double>(f));
        }
    }
};

// Separations and widths are rounded from single precision; negative ones mean the defaults.
int Measure(const BuiltInArgs& args, int i) {
    return X86_RoundToInt32(args.Float(i));
}
uint32_t Colour(const BuiltInArgs& args, int i) {
    return static_cast<uint32_t>(args.Rounded(i));
}

BUILTIN_BODY(draw_set_font) {
    Text_SetFont(args.Rounded(0));
}
BUILTIN_BODY(draw_set_halign) {
    Text_SetHAlign(args.Rounded(0));
}
BUILTIN_BODY(draw_set_valign) {
    Text_SetVAlign(args.Rounded(0));
}

// Only strings are measured; any other value measures as the empty text.
BUILTIN_BODY(string_width) {
    Value_SetReal(&result, Text_Width(args.Text(0), -1, -1));
}
BUILTIN_BODY(string_height) {
    Value_SetReal(&result, Text_Height(args.Text(0), -1, -1));
}
BUILTIN_BODY(string_width_ext) {
    Value_SetReal(&result, Text_Width(args.Text(0), Measure(args, 1), Measure(args, 2)));
}
BUILTIN_BODY(string_height_ext) {
    Value_SetReal(&result, Text_Height(args.Text(0), Measure(args, 1), Measure(args, 2)));
}

BUILTIN_BODY(draw_text) {
    Text_Draw(args.Float(0), args.Float(1), ValueText(args.At(2)).text, -1, -1);
}
BUILTIN_BODY(draw_text_ext) {
    Text_Draw(args.Float(0), args.Float(1), ValueText(args.At(2)).text, Measure(args, 3), Measure(args, 4));
}
BUILTIN_BODY(draw_text_transformed) {
    Text_DrawTransformed(args.Float(0), args.Float(1), ValueText(args.At(2)).text, -1, -1, args.Float(3),
                         args.Float(4), args.Float(5));
}
BUILTIN_BODY(draw_text_ext_transformed) {
    Text_DrawTransformed(args.Float(0), args.Float(1), ValueText(args.At(2)).text, Measure(args, 3),
                         Measure(args, 4), args.Float(5), args.Float(6), args.Float(7));
}
BUILTIN_BODY(draw_text_colour) {
    Text_DrawColour(args.Float(0), args.Float(1), ValueText(args.At(2)).text, -1, -1, Colour(args, 3),
                    Colour(args, 4), Colour(args, 5), Colour(args, 6), args.Float(7));
}
BUILTIN_BODY(draw_text_transformed_colour) {
    Text_DrawTransformedColour(args.Float(0), args.Float(1), ValueText(args.At(2)).text, -1, -1, args.Float(3),
                               args.Float(4), args.Float(5), Colour(args, 6), Colour(args, 7), Colour(args, 8),
                               Colour(args, 9), args.Float(10));
}
BUILTIN_BODY(draw_text_ext_colour) {
    Text_DrawColour(args.Float(0), args.Float(1), ValueText(args.At(2)).text, Measure(args, 3), Measure(args, 4),
                    Colour(args, 5), Colour(args, 6), Colour(args, 7), Colour(args, 8), args.Float(9));
}
BUILTIN_BODY(draw_text_ext_transformed_colour) {
    Text_DrawTransformedColour(args.Float(0), args.Float(1), ValueText(args.At(2)).text, Measure(args, 3),
                               Measure(args, 4), args.Float(5), args.Float(6), args.Float(7), Colour(args, 8),
                               Colour(args, 9), Colour(args, 10), Colour(args, 11), args.Float(12));
}

const BuiltInRegistration kTextFunctions[] = {
    BUILTIN_ENTRY(draw_set_font, 1),
    BUILTIN_ENTRY(draw_set_halign, 1),
    BUILTIN_ENTRY(draw_set_valign, 1),
    BUILTIN_ENTRY(string_width, 1),
    BUILTIN_ENTRY(string_height, 1),
    BUILTIN_ENTRY(string_width_ext, 3),
    BUILTIN_ENTRY(string_height_ext, 3),
    BUILTIN_ENTRY(draw_text, 3),
    BUILTIN_ENTRY(draw_text_ext, 5),
    BUILTIN_ENTRY(draw_text_transformed, 6),
    BUILTIN_ENTRY(draw_text_ext_transformed, 8),
    BUILTIN_PAIR(draw_text_color, draw_text_colour, 8),
    BUILTIN_PAIR(draw_text_transformed_color, draw_text_transformed_colour, 11),
    BUILTIN_PAIR(draw_text_ext_color, draw_text_ext_colour, 10),
    BUILTIN_PAIR(draw_text_ext_transformed_color, draw_text_ext_transformed_colour, 13),
};

} // namespace

void InitTextFunctions() {
    BuiltIn_Register(kTextFunctions, kBuiltInKeepsInstances);
}
