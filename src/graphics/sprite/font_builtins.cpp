// The font resource built-ins: fonts added from font files and sprites at run time, replaced and
// deleted, and the fields of a font read back. Indexes are rounded; a font that does not exist reads as
// -1 (size, first and last), false (bold, italic, exists) or the empty text (names).
#include "core/text.h"
#include "graphics/graphics_builtins.h"
#include "graphics/sprite/font.h"
#include "library/builtin.h"
#include "script/value.h"

namespace {

void SetFlag(ScriptValue& result, bool b) {
    Value_SetReal(&result, b ? 1 : 0);
}

const char* TextOrEmpty(const BuiltInArgs& args, int i) {
    const char* text = args.Text(i);
    return text ? text : "";
}

CFontQN* ExistingFont(const BuiltInArgs& args) {
    const int index = args.Rounded(0);
    return Font_Exists(index) ? Font_Get(index) : nullptr;
}

BUILTIN_BODY(font_exists) {
    SetFlag(result, Font_Exists(args.Rounded(0)));
}
BUILTIN_BODY(font_get_name) {
    const int index = args.Rounded(0);
    BuiltIn_SetText(result, String_Duplicate(Font_Exists(index) ? Font_GetName(index) : ""));
}
BUILTIN_BODY(font_get_fontname) {
    const CFontQN* font = ExistingFont(args);
    BuiltIn_SetText(result, String_Duplicate(font && font->GetName() ? font->GetName() : ""));
}

// A numeric field of an existing font, or the value for a font that does not exist.
template <int (CFontQN::*Field)() const, int Missing>
void FontField(ScriptValue& result, const BuiltInArgs& args) {
    const CFontQN* font = ExistingFont(args);
    Value_SetReal(&result, font ? (font->*Field)() : Missing);
}
int Bold(const CFontQN* font) { return font->GetBold() ? 1 : 0; }
int Italic(const CFontQN* font) { return font->GetItalic() ? 1 : 0; }
template <int (*Field)(const CFontQN*)> void FontFlag(ScriptValue& result, const BuiltInArgs& args) {
    const CFontQN* font = ExistingFont(args);
    SetFlag(result, font && Field(font));
}

// font_add(name, size, bold, italic, first, last): the file comes from the save area or the game folder;
// a file that cannot be read still gives a font, which draws nothing (the reason is on the debug console).
BUILTIN_BODY(font_add) {
    Value_SetReal(&result, Font_Add(TextOrEmpty(args, 0), args.Rounded(1), args.Flag(2), args.Flag(3),
                                    args.Rounded(4), args.Rounded(5)));
}
// font_add_sprite(sprite, first, proportional, separation)
BUILTIN_BODY(font_add_sprite) {
    Value_SetReal(&result, Font_AddSprite(args.Rounded(0), args.Rounded(1), args.Flag(2), args.Rounded(3)));
}
// font_add_sprite_ext(sprite, characters, proportional, separation)
BUILTIN_BODY(font_add_sprite_ext) {
    Value_SetReal(&result,
                  Font_AddSpriteExt(args.Rounded(0), TextOrEmpty(args, 1), args.Flag(2), args.Rounded(3)));
}
// font_replace(index, name, size, bold, italic, first, last)
BUILTIN_BODY(font_replace) {
    SetFlag(result, Font_Replace(args.Rounded(0), TextOrEmpty(args, 1), args.Rounded(2), args.Flag(3),
                                 args.Flag(4), args.Rounded(5), args.Rounded(6)));
}
// font_replace_sprite(index, sprite, first, proportional, separation)
BUILTIN_BODY(font_replace_sprite) {
    SetFlag(result, Font_ReplaceSprite(args.Rounded(0), args.Rounded(1), args.Rounded(2), args.Flag(3),
                                       args.Rounded(4)));
}
// font_replace_sprite_ext(index, sprite, characters, proportional, separation)
BUILTIN_BODY(font_replace_sprite_ext) {
    SetFlag(result, Font_ReplaceSpriteExt(args.Rounded(0), args.Rounded(1), TextOrEmpty(args, 2), args.Flag(3),
                                          args.Rounded(4)));
}
BUILTIN_BODY(font_delete) {
    SetFlag(result, Font_Delete(args.Rounded(0)));
}

const BuiltInRegistration kFontFunctions[] = {
    BUILTIN_ENTRY(font_exists, 1),
    BUILTIN_ENTRY(font_get_name, 1),
    BUILTIN_ENTRY(font_get_fontname, 1),
    {"font_get_bold", BuiltIn_Call<FontFlag<Bold>>, 1},
    {"font_get_italic", BuiltIn_Call<FontFlag<Italic>>, 1},
    {"font_get_first", BuiltIn_Call<FontField<&CFontQN::GetFirst, -1>>, 1},
    {"font_get_last", BuiltIn_Call<FontField<&CFontQN::GetLast, -1>>, 1},
    {"font_get_size", BuiltIn_Call<FontField<&CFontQN::GetSize, -1>>, 1},
    BUILTIN_ENTRY(font_add, 6),
    BUILTIN_ENTRY(font_add_sprite, 4),
    BUILTIN_ENTRY(font_add_sprite_ext, 4),
    BUILTIN_ENTRY(font_replace, 7),
    BUILTIN_ENTRY(font_replace_sprite, 5),
    BUILTIN_ENTRY(font_replace_sprite_ext, 5),
    BUILTIN_ENTRY(font_delete, 1),
};

} // namespace

void InitFontResourceFunctions() {
    BuiltIn_Register(kFontFunctions);
}
