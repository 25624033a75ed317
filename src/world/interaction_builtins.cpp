// The interaction group of built-ins: messages, questions and queries to the player, file-name dialogs,
// the splash settings, the high-score built-ins, the input built-ins (registered by the input layer in
// this group's order) and the legacy functions that only say they are not available.
#include "world/interaction_builtins.h"

#include "core/console.h"
#include "core/save_area.h"
#include "core/memory.h"
#include "core/text.h"
#include "data/general_info.h"
#include "graphics/text/text_draw.h"
#include "io/gamepad.h"
#include "io/input.h"
#include "io/input_builtins.h"
#include "io/window.h"
#include "library/builtin.h"
#include "net/async_requests.h"
#include "platform/dialogs.h"
#include "script/value.h"
#include "script/vm/vm_error.h"
#include "world/game_values.h"
#include "world/highscore.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void SetReal(ScriptValue& result, double d) { Value_SetReal(&result, d); }
void SetText(ScriptValue& result, const char* text) { BuiltIn_SetText(result, String_Duplicate(text ? text : "")); }

// A text argument with each "#" a line break ("\#" a "#").
std::string HashText(const char* text) {
    std::string copy = text ? text : "";
    String_HashToNewline(copy.data());
    copy.resize(std::strlen(copy.c_str()));
    return copy;
}

// "%d" for a whole real (any size), else "%.2f".
std::string RealText(double value) {
    char text[400];
    if (value == std::nearbyint(value))
        String_FormatWhole(text, sizeof text, value);
    else
        std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

// A message argument: a text by the "#" rule, a real as RealText.
std::string MessageText(const BuiltInArgs& args, int i) {
    const ScriptValue* v = args.At(i);
    return v->IsString() ? HashText(v->str) : RealText(Value_Real(v));
}

// A default text: a text by the "#" rule, a real rounded to a whole number.
std::string WholeDefault(const BuiltInArgs& args, int i) {
    const ScriptValue* v = args.At(i);
    if (v->IsString()) return HashText(v->str);
    char text[400];
    String_FormatWhole(text, sizeof text, std::nearbyint(Value_Real(v)));
    return text;
}

const char* Caption() { return Window_GetCaption(); }

// --- messages, questions and queries ---

BUILTIN_BODY(show_message) {
    ShowMessage(MessageText(args, 0).c_str());
    IO_Clear();
    SetReal(result, 1);
}

BUILTIN_BODY(show_message_async) {
    const int id = DialogAsync_ShowMessage(Caption(), MessageText(args, 0).c_str());
    IO_Clear();
    SetReal(result, id);
}

BUILTIN_BODY(show_question) {
    const bool yes = Dialog_Question(Caption(), HashText(args.Text(0)).c_str());
    IO_Clear();
    SetReal(result, yes ? 1 : 0);
}

BUILTIN_BODY(show_question_async) {
    const int id = DialogAsync_ShowQuestion(Caption(), HashText(args.Text(0)).c_str());
    IO_Clear();
    SetReal(result, id);
}

BUILTIN_BODY(get_string) {
    const ScriptValue* v = args.At(1);
    std::string fallback;
    if (v->IsString()) {
        fallback = HashText(v->str);
    } else {
        char text[400];
        std::snprintf(text, sizeof text, "%.2f", Value_Real(v));
        fallback = text;
    }
    std::string answer;
    if (!Dialog_InputQuery(Caption(), HashText(args.Text(0)).c_str(), fallback.c_str(), answer)) answer.clear();
    IO_Clear();
    SetText(result, answer.c_str());
}

// The answer read as a decimal number (0 when it is none); cancelled, the default is read instead.
BUILTIN_BODY(get_integer) {
    std::string answer = WholeDefault(args, 1);
    Dialog_InputQuery(Caption(), HashText(args.Text(0)).c_str(), answer.c_str(), answer);
    IO_Clear();
    SetReal(result, std::strtod(answer.c_str(), nullptr));
}

BUILTIN_BODY(get_string_async) {
    SetReal(result, DialogAsync_GetString(Caption(), HashText(args.Text(0)).c_str(), WholeDefault(args, 1).c_str()));
}

BUILTIN_BODY(get_login_async) {
    const char* user = args.Text(0);
    const char* password = args.Text(1);
    if (!args.At(0)->IsString() || !args.At(1)->IsString()) return;
    SetReal(result, DialogAsync_GetLogin(user ? user : "", password ? password : ""));
}

BUILTIN_BODY(show_error) { Code_Error_Report(args.Text(0) ? args.Text(0) : "", args.Flag(1)); }

void FileName(ScriptValue& result, const BuiltInArgs& args, bool save, bool extended) {
    std::string path;
    const int texts = extended ? 4 : 2;
    for (int i = 0; i < texts; ++i) {
        if (!args.At(i)->IsString()) {
            SetText(result, "");
            return;
        }
    }
    const char* directory = extended ? args.Text(2) : nullptr;
    const char* title = extended ? args.Text(3) : nullptr;
    const bool chosen = save ? FileDialog_Save(args.Text(0), args.Text(1), directory, title, path)
                             : FileDialog_Open(args.Text(0), args.Text(1), directory, title, path);
    if (chosen) Support_AddChosenFile(save ? CHOSEN_SAVED : CHOSEN_OPENED, path.c_str());
    IO_Clear();
    SetText(result, chosen ? path.c_str() : "");
}

BUILTIN_BODY(get_open_filename) { FileName(result, args, false, false); }
BUILTIN_BODY(get_save_filename) { FileName(result, args, true, false); }
BUILTIN_BODY(get_open_filename_ext) { FileName(result, args, false, true); }
BUILTIN_BODY(get_save_filename_ext) { FileName(result, args, true, true); }

// --- splash settings ---

struct SplashSettings {
    char* caption = nullptr; // owned
    bool fullscreen = false, border = false, adapt = false, top = false, main = false, cursor = false;
    bool interrupt = false, stopKey = false, stopMouse = false;
    int32_t width = 0, height = 0;
    int32_t colour = 0;
    double scale = 0;
    int32_t textBackground = 0;
};
SplashSettings g_splash;

BUILTIN_BODY(splash_set_caption) {
    MEM_FREE(g_splash.caption);
    g_splash.caption = args.Text(0) ? String_Duplicate(args.Text(0)) : nullptr;
}

template <bool SplashSettings::*Flag> void F_SplashFlag(ScriptValue&, const BuiltInArgs& args) {
    g_splash.*Flag = args.Real(0) > 0;
}

BUILTIN_BODY(splash_set_size) {
    g_splash.width = args.Rounded(0);
    g_splash.height = args.Rounded(1);
}
BUILTIN_BODY(splash_set_color) { g_splash.colour = args.Rounded(0); }
BUILTIN_BODY(splash_set_scale) { g_splash.scale = args.Real(0); }

// The splash displays: they show nothing on this platform and always succeed.
bool SplashShow(const char*) { return true; }

void SplashShowFile(const BuiltInArgs& args, const char* failure) {
    if (!SplashShow(args.Text(0))) Code_Error_Report(failure, false);
    IO_Clear();
}

BUILTIN_BODY(splash_show_video) { SplashShowFile(args, "Video file not found (or name too long)."); }
BUILTIN_BODY(splash_show_image) { SplashShowFile(args, "Image file not found."); }
BUILTIN_BODY(splash_show_text) { SplashShowFile(args, "Text file not found."); }

void SetShowFullscreen(const BuiltInArgs& args) {
    g_splash.fullscreen = args.Real(1) > 0;
    g_splash.main = !g_splash.fullscreen;
}
BUILTIN_BODY(show_video) {
    SetShowFullscreen(args);
    SplashShowFile(args, "Video file not found (or name too long).");
}
BUILTIN_BODY(show_image) {
    SetShowFullscreen(args);
    SplashShowFile(args, "Image file not found.");
}
BUILTIN_BODY(show_text) {
    SetShowFullscreen(args);
    g_splash.textBackground = args.Rounded(2);
    SplashShowFile(args, "Text file not found.");
}

// --- high scores ---

void SetOwnedText(char*& variable, const char* text) {
    MEM_FREE(variable);
    variable = text ? String_Duplicate(text) : nullptr;
}

BUILTIN_BODY(highscore_show) {
    HighScore_Show(args.Rounded(0));
    IO_Clear();
}

BUILTIN_BODY(highscore_show_ext) {
    HighScoreDisplay& d = HighScore_State().HighScore_Display;
    d.background = args.Rounded(1);
    d.border = args.Flag(2);
    d.colours[1] = static_cast<uint32_t>(args.Rounded(3));
    d.colours[2] = static_cast<uint32_t>(args.Rounded(4));
    SetOwnedText(d.fontName, args.Text(5));
    d.fontSize = args.Rounded(6);
    HighScore_Show(args.Rounded(0));
    IO_Clear();
}

BUILTIN_BODY(highscore_set_background) {
    HighScore_State().HighScore_Display.background = args.Rounded(0);
}
BUILTIN_BODY(highscore_set_border) {
    HighScore_State().HighScore_Display.border = args.Flag(0);
}
BUILTIN_BODY(highscore_set_colors) {
    for (int i = 0; i < 3; ++i)
        HighScore_State().HighScore_Display.colours[i] = static_cast<uint32_t>(args.Rounded(i));
}

BUILTIN_BODY(highscore_set_font) {
    SetOwnedText(HighScore_State().HighScore_Display.fontName,
                 args.Text(0) ? args.Text(0) : "Times New Roman");
    HighScore_State().HighScore_Display.fontSize = args.Rounded(1);
    DebugConsole->Output("Function F_HighscoreSetFont has no implementation.\n\n");
}

BUILTIN_BODY(highscore_set_strings) {
    HighScoreDisplay& d = HighScore_State().HighScore_Display;
    SetOwnedText(d.caption, args.Text(0));
    SetOwnedText(d.emptyEntry, args.Text(1));
    SetOwnedText(d.closeHint, args.Text(2));
}

BUILTIN_BODY(highscore_clear) { HighScore_Clear(); }
BUILTIN_BODY(highscore_add) { HighScore_Add(args.Text(0), args.Rounded(1)); }
BUILTIN_BODY(highscore_add_current) {
    HighScore_Add("DEFAULT", GameValues_State().Game_Score);
    IO_Clear();
}
BUILTIN_BODY(highscore_value) { SetReal(result, HighScore_GetValue(args.Rounded(0))); }
BUILTIN_BODY(highscore_name) { SetText(result, HighScore_GetName(args.Rounded(0))); }

BUILTIN_BODY(draw_highscore) {
    const float x1 = args.Float(0), y1 = args.Float(1), x2 = args.Float(2), y2 = args.Float(3);
    HighScore_Draw(x1, y1, x2, y2);
}

// --- legacy functions that only say they are not available ---

template <const char* Text, bool Clear, int Result> void F_Unsupported(ScriptValue& result, const BuiltInArgs&) {
    DebugConsole->Output("%s", Text);
    if (Clear) IO_Clear();
    if (Result) SetReal(result, Result);
}

template <const char* Text> void F_UnsupportedText(ScriptValue& result, const BuiltInArgs&) {
    DebugConsole->Output("%s", Text);
    IO_Clear();
    SetText(result, "");
}

constexpr char kShowInfo[] = "show_info(str) not supported\n";
constexpr char kLoadInfo[] = "load_info(str) not supported\n";
constexpr char kShowMessageExt[] = "show_message_ext(str,but1,but2,but3) not impleneted\n";
constexpr char kBackground[] = "message_background(back) not impleneted\n";
constexpr char kButton[] = "message_button(spr) not impleneted\n";
constexpr char kTextFont[] = "message_text_font(name,size,color,style) not impleneted\n";
constexpr char kButtonFont[] = "message_button_font(name,size,color,style) not impleneted\n";
constexpr char kInputFont[] = "message_input_font(name,size,color,style) not impleneted\n";
constexpr char kAlpha[] = "message_alpha(alpha) not impleneted\n";
constexpr char kMouseColour[] = "message_mouse_color(col) not impleneted\n";
constexpr char kInputColour[] = "message_input_color(col) not impleneted\n";
constexpr char kPosition[] = "message_position(x,y) not impleneted\n";
constexpr char kSize[] = "message_size(w,h)not impleneted\n";
constexpr char kCaption[] = "message_caption(show,str) not impleneted\n";
constexpr char kShowMenu[] = "show_menu(str,default) not implemented.\n";
constexpr char kShowMenuPos[] = "show_menu_pos(X,Y,str,default) not implemented.\n";
constexpr char kGetColour[] = "get_color(def) is not implemented\n";
constexpr char kGetDirectory[] = "get_directory(dname) not implemented.\n";
constexpr char kGetDirectoryAlt[] = "get_directory_alt(capt,root) not implemented.\n";

#define SPLASH_FLAG(name, field) {#name, BuiltIn_Call<F_SplashFlag<&SplashSettings::field>>, 1}
#define UNSUPPORTED(name, count, text, clear, result) {#name, BuiltIn_Call<F_Unsupported<text, clear, result>>, count}

const BuiltInRegistration kDialogFunctions[] = {
    BUILTIN_ENTRY(show_message, 1),
    BUILTIN_ENTRY(show_message_async, 1),
    BUILTIN_ENTRY(show_question, 1),
    BUILTIN_ENTRY(show_question_async, 1),
    BUILTIN_ENTRY(get_string, 2),
    BUILTIN_ENTRY(get_integer, 2),
    BUILTIN_ENTRY(get_string_async, 2),
    BUILTIN_ALIAS(get_integer_async, get_string_async, 2),
    BUILTIN_ENTRY(get_login_async, 2),
    BUILTIN_ENTRY(show_error, 2),
    BUILTIN_ENTRY(get_open_filename, 2),
    BUILTIN_ENTRY(get_save_filename, 2),
    BUILTIN_ENTRY(get_open_filename_ext, 4),
    BUILTIN_ENTRY(get_save_filename_ext, 4),
    BUILTIN_ENTRY(splash_set_caption, 1),
    SPLASH_FLAG(splash_set_fullscreen, fullscreen),
    SPLASH_FLAG(splash_set_border, border),
    SPLASH_FLAG(splash_set_adapt, adapt),
    SPLASH_FLAG(splash_set_top, top),
    SPLASH_FLAG(splash_set_main, main),
    SPLASH_FLAG(splash_set_cursor, cursor),
    SPLASH_FLAG(splash_set_interrupt, interrupt),
    SPLASH_FLAG(splash_set_stop_key, stopKey),
    SPLASH_FLAG(splash_set_stop_mouse, stopMouse),
    BUILTIN_ENTRY(splash_set_size, 2),
    BUILTIN_ENTRY(splash_set_color, 1),
    BUILTIN_ENTRY(splash_set_scale, 1),
    BUILTIN_ENTRY(splash_show_video, 2),
    BUILTIN_ENTRY(splash_show_image, 2),
    BUILTIN_ENTRY(splash_show_text, 2),
    BUILTIN_ENTRY(show_video, 3),
    BUILTIN_ENTRY(show_image, 3),
    BUILTIN_ENTRY(show_text, 4),
    BUILTIN_ENTRY(highscore_show, 1),
    BUILTIN_ENTRY(highscore_show_ext, 7),
    BUILTIN_ENTRY(highscore_set_background, 1),
    BUILTIN_ENTRY(highscore_set_border, 1),
    BUILTIN_ENTRY(highscore_set_colors, 3),
    BUILTIN_ENTRY(highscore_set_font, 3),
    BUILTIN_ENTRY(highscore_set_strings, 3),
    BUILTIN_ENTRY(highscore_clear, 0),
    BUILTIN_ENTRY(highscore_add, 2),
    BUILTIN_ENTRY(highscore_add_current, 0),
    BUILTIN_ENTRY(highscore_value, 1),
    BUILTIN_ENTRY(highscore_name, 1),
    BUILTIN_ENTRY(draw_highscore, 4),
};

const BuiltInRegistration kUnsupportedFunctions[] = {
    UNSUPPORTED(show_info, 0, kShowInfo, true, 0),
    UNSUPPORTED(load_info, 1, kLoadInfo, false, 0),
    UNSUPPORTED(show_message_ext, 4, kShowMessageExt, true, 1),
    UNSUPPORTED(message_background, 1, kBackground, false, 0),
    UNSUPPORTED(message_button, 1, kButton, false, 0),
    UNSUPPORTED(message_text_font, 4, kTextFont, false, 0),
    UNSUPPORTED(message_button_font, 4, kButtonFont, false, 0),
    UNSUPPORTED(message_input_font, 4, kInputFont, false, 0),
    UNSUPPORTED(message_alpha, 1, kAlpha, false, 0),
    UNSUPPORTED(message_mouse_color, 1, kMouseColour, false, 0),
    UNSUPPORTED(message_input_color, 1, kInputColour, false, 0),
    UNSUPPORTED(message_position, 2, kPosition, false, 0),
    UNSUPPORTED(message_size, 2, kSize, false, 0),
    UNSUPPORTED(message_caption, 2, kCaption, false, 0),
    UNSUPPORTED(show_menu, 2, kShowMenu, true, 0),
    UNSUPPORTED(show_menu_pos, 4, kShowMenuPos, true, 0),
    UNSUPPORTED(get_color, 1, kGetColour, true, 0),
    {"get_directory", BuiltIn_Call<F_UnsupportedText<kGetDirectory>>, 1},
    {"get_directory_alt", BuiltIn_Call<F_UnsupportedText<kGetDirectoryAlt>>, 2},
};

#undef SPLASH_FLAG
#undef UNSUPPORTED

} // namespace

void HighScore_Draw(float x1, float y1, float x2, float y2) {
    const double rowHeight = std::nearbyint((static_cast<double>(y2) - y1) / 10);
    char value[16];
    for (int position = 1; position <= kHighScoreEntries; ++position) {
        const float y = static_cast<float>(y1 + (position - 1) * rowHeight);
        Text_Draw(x1, y, HighScore_GetName(position), -1, -1);
        std::snprintf(value, sizeof value, "%d", HighScore_GetValue(position));
        Text_Draw(static_cast<float>(x1 + (x2 - x1) - Text_Width(value, -1, -1)), y, value, -1, -1);
    }
}

void InitInteractionFunctions() {
    Window_SetCaption(GeneralInfo_State().g_GeneralInfo.caption);
    BuiltIn_Register(kDialogFunctions);
    InitKeyboardFunctions();
    InitJoystickFunctions();
    BuiltIn_Register(kUnsupportedFunctions);
}

void Interaction_Reset() {
    MEM_FREE(g_splash.caption);
    g_splash = SplashSettings{};
}
