#include "script/compiler/constants.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/console.h"
#include "core/memory.h"
#include "core/name_map.h"
#include "core/text.h"
#include "platform/dialogs.h"
#include "script/code.h"
#include "script/script.h"

namespace {

struct ConstantEntry {
    char* name; // owned; may be null
    ScriptValue value;
};

std::vector<ConstantEntry> g_constants;
// The newest entry of each exact name, so that the compiler's lookup does not scan the table.
NameMap<int> g_newest;

// A run that ends without Code_Constant_Free still frees the table's blocks before the arrays go.
struct TableRelease {
    ~TableRelease() { Code_Constant_Free(); }
} g_release;

// Scripts belong to the script engine itself; the other kinds are installed by their owners.
CodeResourceFindFn g_resourceFind[RESOURCE_KIND_COUNT] = {nullptr, nullptr, nullptr, nullptr,     nullptr,
                                                          nullptr, nullptr, nullptr, Script_Find, nullptr};

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (AsciiLower(*a) != AsciiLower(*b)) return false;
    }
    return *a == *b;
}

// Registers names[0], names[1], ... with the values first, first + 1, ...
template <size_t N> void AddRun(const char* const (&names)[N], double first) {
    for (size_t i = 0; i < N; ++i)
        Code_Constant_AddReal(names[i], first + static_cast<double>(i));
}

struct NamedValue {
    const char* name;
    double value;
};

template <size_t N> void AddList(const NamedValue (&list)[N]) {
    for (const NamedValue& c : list)
        Code_Constant_AddReal(c.name, c.value);
}

void AddNumberedRun(const char* prefix, int firstNumber, int lastNumber, double firstValue) {
    for (int n = firstNumber; n <= lastNumber; ++n) {
        std::string name = prefix + std::to_string(n);
        Code_Constant_AddReal(name.c_str(), firstValue + (n - firstNumber));
    }
}

} // namespace

void Code_Constant_Add(const char* name, const ScriptValue* value) {
    ConstantEntry entry{String_Duplicate(name), ScriptValue()};
    if (value) Value_Copy(&entry.value, value);
    g_constants.push_back(entry);
    if (name) g_newest[name] = static_cast<int>(g_constants.size()) - 1;
}

void Code_Constant_AddReal(const char* name, double value) {
    ScriptValue v;
    v.real = value;
    Code_Constant_Add(name, &v);
}

bool Code_Constant_IsValidName(const char* name) {
    if (!name || !*name) return false;
    if (!IsAsciiLetter(name[0]) && name[0] != '_') return false;
    for (const char* p = name + 1; *p; ++p) {
        if (!IsAsciiLetter(*p) && !(*p >= '0' && *p <= '9') && *p != '_') return false;
    }
    return true;
}

bool Code_Constant_Find(const char* name, ScriptValue* out) {
    if (!name) return false;
    for (CodeResourceFindFn find : g_resourceFind) {
        if (!find) continue;
        const int index = find(name);
        if (index >= 0) {
            Value_Free(out);
            *out = ScriptValue();
            out->real = index;
            return true;
        }
    }
    auto it = g_newest.find(name);
    if (it == g_newest.end()) return false;
    Value_Copy(out, &g_constants[static_cast<size_t>(it->second)].value);
    return true;
}

const ScriptValue* Code_Constant_FindValue(const char* name) {
    if (!name) return nullptr;
    for (size_t i = g_constants.size(); i-- > 0;) {
        if (g_constants[i].name && EqualNoCase(g_constants[i].name, name)) return &g_constants[i].value;
    }
    return nullptr;
}

bool Code_Constant_Define(const char* name, const char* valueText) {
    char* trimmed = nullptr;
    VCL_Trim(trimmed, name ? name : "");
    if (!Code_Constant_IsValidName(trimmed)) {
        const std::string message =
            std::string("Constant name ") + (trimmed ? trimmed : "") + "  is not valid.";
        ShowMessage(message.c_str());
        MEM_FREE(trimmed);
        return false;
    }
    // The value is the text read as an expression: numbers, strings, resource names and constants
    // defined earlier fold to a constant. Anything else gives 0.
    ScriptValue value;
    CCode code(valueText ? valueText : "", 1);
    if (code.Compile(nullptr) && code.kind == CODE_KIND_CONSTANT) {
        Value_Copy(&value, &code.constant);
    } else {
        DebugConsole->Output("Constant %s: the value \"%s\" is not a constant expression; it reads 0\n",
                             trimmed, valueText ? valueText : "");
    }
    Code_Constant_Add(trimmed, &value);
    Value_Free(&value);
    MEM_FREE(trimmed);
    return true;
}

bool Code_Constant_Prepare(int count, const char* const* names, const char* const* values) {
    for (int i = 0; i < count; ++i) {
        if (!Code_Constant_Define(names[i], values[i])) return false;
    }
    return true;
}

void Code_Constant_Free() {
    for (ConstantEntry& c : g_constants) {
        MEM_FREE(c.name);
        Value_Free(&c.value);
    }
    g_constants.clear();
    g_constants.shrink_to_fit();
    g_newest.clear();
}

int Code_Constant_Count() {
    return static_cast<int>(g_constants.size());
}

const char* Code_Constant_Name(int index) {
    return index >= 0 && index < Code_Constant_Count() ? g_constants[static_cast<size_t>(index)].name : nullptr;
}

const ScriptValue* Code_Constant_Value(int index) {
    return index >= 0 && index < Code_Constant_Count() ? &g_constants[static_cast<size_t>(index)].value : nullptr;
}

void Code_Constant_SetResourceFind(int kind, CodeResourceFindFn find) {
    if (kind >= 0 && kind < RESOURCE_KIND_COUNT) g_resourceFind[kind] = find;
}

CodeResourceFindFn Code_Constant_GetResourceFind(int kind) {
    return kind >= 0 && kind < RESOURCE_KIND_COUNT ? g_resourceFind[kind] : nullptr;
}

void Code_Constant_Init(bool externalCallsAllowed) {
    AddList({{"self", -1}, {"other", -2}, {"all", -3}, {"noone", -4}, {"global", -5}, {"local", -7}});
    AddList({{"true", 1}, {"false", 0}, {"pi", 3.1415927410125732}});
    AddRun({"pr_pointlist", "pr_linelist", "pr_linestrip", "pr_trianglelist", "pr_trianglestrip",
            "pr_trianglefan"},
           1);
    AddList({{"c_aqua", 16776960},
             {"c_black", 0},
             {"c_blue", 16711680},
             {"c_dkgray", 4210752},
             {"c_fuchsia", 16711935},
             {"c_gray", 8421504},
             {"c_green", 32768},
             {"c_lime", 65280},
             {"c_ltgray", 12632256},
             {"c_maroon", 128},
             {"c_navy", 8388608},
             {"c_olive", 32896},
             {"c_purple", 8388736},
             {"c_red", 255},
             {"c_silver", 12632256},
             {"c_teal", 8421376},
             {"c_white", 16777215},
             {"c_yellow", 65535},
             {"c_orange", 4235519}});
    AddList({{"bm_normal", 0}, {"bm_add", 1}, {"bm_max", 2}, {"bm_subtract", 3}});
    AddList({{"bm_zero", 1},
             {"bm_one", 2},
             {"bm_src_color", 3},
             {"bm_src_colour", 3},
             {"bm_inv_src_color", 4},
             {"bm_inv_src_colour", 4},
             {"bm_src_alpha", 5},
             {"bm_inv_src_alpha", 6},
             {"bm_dest_alpha", 7},
             {"bm_inv_dest_alpha", 8},
             {"bm_dest_color", 9},
             {"bm_dest_colour", 9},
             {"bm_inv_dest_colour", 10},
             {"bm_src_alpha_sat", 11}});
    AddList({{"se_none", 0},
             {"se_chorus", 1},
             {"se_echo", 2},
             {"se_flanger", 4},
             {"se_gargle", 8},
             {"se_reverb", 16},
             {"se_compressor", 32},
             {"se_equalizer", 64}});
    AddList({{"fa_left", 0},
             {"fa_center", 1},
             {"fa_right", 2},
             {"fa_top", 0},
             {"fa_middle", 1},
             {"fa_bottom", 2}});
    AddList({{"mb_any", -1}, {"mb_none", 0}, {"mb_left", 1}, {"mb_right", 2}, {"mb_middle", 3}});
    AddList({{"vk_nokey", 0},        {"vk_anykey", 1},    {"vk_enter", 13},   {"vk_return", 13},
             {"vk_shift", 16},       {"vk_control", 17},  {"vk_alt", 18},     {"vk_escape", 27},
             {"vk_space", 32},       {"vk_backspace", 8}, {"vk_tab", 9},      {"vk_pause", 19},
             {"vk_printscreen", 44}, {"vk_left", 37},     {"vk_right", 39},   {"vk_up", 38},
             {"vk_down", 40},        {"vk_home", 36},     {"vk_end", 35},     {"vk_delete", 46},
             {"vk_insert", 45},      {"vk_pageup", 33},   {"vk_pagedown", 34}});
    AddNumberedRun("vk_f", 1, 12, 112);
    AddNumberedRun("vk_numpad", 0, 9, 96);
    AddList({{"vk_divide", 111},
             {"vk_multiply", 106},
             {"vk_subtract", 109},
             {"vk_add", 107},
             {"vk_decimal", 110},
             {"vk_lshift", 160},
             {"vk_lcontrol", 162},
             {"vk_lalt", 164},
             {"vk_rshift", 161},
             {"vk_rcontrol", 163},
             {"vk_ralt", 165}});
    AddRun({"gp_face1",     "gp_face2",      "gp_face3",      "gp_face4",  "gp_shoulderl",
            "gp_shoulderr", "gp_shoulderlb", "gp_shoulderrb", "gp_select", "gp_start",
            "gp_stickl",    "gp_stickr",     "gp_padu",       "gp_padd",   "gp_padl",
            "gp_padr",      "gp_axislh",     "gp_axislv",     "gp_axisrh", "gp_axisrv"},
           32769);
    AddList({{"ev_create", 0},
             {"ev_destroy", 1},
             {"ev_step", 3},
             {"ev_alarm", 2},
             {"ev_keyboard", 5},
             {"ev_mouse", 6},
             {"ev_collision", 4},
             {"ev_other", 7},
             {"ev_draw", 8},
             {"ev_keypress", 9},
             {"ev_keyrelease", 10}});
    AddList({{"ev_left_button", 0},
             {"ev_right_button", 1},
             {"ev_middle_button", 2},
             {"ev_no_button", 3},
             {"ev_left_press", 4},
             {"ev_right_press", 5},
             {"ev_middle_press", 6},
             {"ev_left_release", 7},
             {"ev_right_release", 8},
             {"ev_middle_release", 9},
             {"ev_mouse_enter", 10},
             {"ev_mouse_leave", 11},
             {"ev_global_press", 12},
             {"ev_global_release", 13},
             {"ev_joystick1_left", 16},
             {"ev_joystick1_right", 17},
             {"ev_joystick1_up", 18},
             {"ev_joystick1_down", 19}});
    AddNumberedRun("ev_joystick1_button", 1, 8, 21);
    AddList({{"ev_joystick2_left", 31},
             {"ev_joystick2_right", 32},
             {"ev_joystick2_up", 33},
             {"ev_joystick2_down", 34}});
    AddNumberedRun("ev_joystick2_button", 1, 8, 36);
    AddList({{"ev_global_left_button", 50},
             {"ev_global_right_button", 51},
             {"ev_global_middle_button", 52},
             {"ev_global_left_press", 53},
             {"ev_global_right_press", 54},
             {"ev_global_middle_press", 55},
             {"ev_global_left_release", 56},
             {"ev_global_right_release", 57},
             {"ev_global_middle_release", 58},
             {"ev_mouse_wheel_up", 60},
             {"ev_mouse_wheel_down", 61}});
    AddList({{"ev_outside", 0},
             {"ev_boundary", 1},
             {"ev_game_start", 2},
             {"ev_game_end", 3},
             {"ev_room_start", 4},
             {"ev_room_end", 5},
             {"ev_no_more_lives", 6},
             {"ev_animation_end", 7},
             {"ev_end_of_path", 8},
             {"ev_no_more_health", 9}});
    AddNumberedRun("ev_user", 0, 15, 10);
    AddList({{"ev_close_button", 30}});
    AddList({{"ev_step_normal", 0}, {"ev_step_begin", 1}, {"ev_step_end", 2}, {"ev_gui", 64}});
    AddList({{"ty_real", 0}, {"ty_string", 1}});
    if (externalCallsAllowed) AddList({{"dll_cdecl", 0}, {"dll_stdcall", 1}});
    AddList({{"fa_readonly", 1},
             {"fa_hidden", 2},
             {"fa_sysfile", 4},
             {"fa_volumeid", 8},
             {"fa_directory", 16},
             {"fa_archive", 32}});
    AddList({{"cr_default", 0},     {"cr_none", -1},      {"cr_arrow", -2},      {"cr_cross", -3},
             {"cr_beam", -4},       {"cr_size_nesw", -6}, {"cr_size_ns", -7},    {"cr_size_nwse", -8},
             {"cr_size_we", -9},    {"cr_uparrow", -10},  {"cr_hourglass", -11}, {"cr_drag", -12},
             {"cr_nodrop", -13},    {"cr_hsplit", -14},   {"cr_vsplit", -15},    {"cr_multidrag", -16},
             {"cr_sqlwait", -17},   {"cr_no", -18},       {"cr_appstart", -19},  {"cr_help", -20},
             {"cr_handpoint", -21}, {"cr_size_all", -22}});
    AddRun({"pt_shape_pixel", "pt_shape_disk", "pt_shape_square", "pt_shape_line", "pt_shape_star",
            "pt_shape_circle", "pt_shape_ring", "pt_shape_sphere", "pt_shape_flare", "pt_shape_spark",
            "pt_shape_explosion", "pt_shape_cloud", "pt_shape_smoke", "pt_shape_snow"},
           0);
    AddRun({"ps_distr_linear", "ps_distr_gaussian", "ps_distr_invgaussian"}, 0);
    AddRun({"ps_shape_rectangle", "ps_shape_ellipse", "ps_shape_diamond", "ps_shape_line"}, 0);
    AddRun({"ps_force_constant", "ps_force_linear", "ps_force_quadratic"}, 0);
    AddRun({"ps_deflect_vertical", "ps_deflect_horizontal"}, 0);
    AddRun({"ps_change_all", "ps_change_shape", "ps_change_motion"}, 0);
    AddRun({"ef_explosion", "ef_ring", "ef_ellipse", "ef_firework", "ef_smoke", "ef_smokeup", "ef_star",
            "ef_spark", "ef_flare", "ef_cloud", "ef_rain", "ef_snow"},
           0);
    AddRun({"display_landscape", "display_portrait", "display_landscape_flipped", "display_portrait_flipped"},
           0);
    AddList({{"phy_joint_anchor_1_x", 0},
             {"phy_joint_anchor_1_y", 1},
             {"phy_joint_anchor_2_x", 2},
             {"phy_joint_anchor_2_y", 3},
             {"phy_joint_reaction_force_x", 4},
             {"phy_joint_reaction_force_y", 5},
             {"phy_joint_reaction_torque", 6},
             {"phy_joint_angle", 8},
             {"phy_joint_motor_speed", 7},
             {"phy_joint_motor_torque", 9},
             {"phy_joint_max_motor_torque", 10},
             {"phy_joint_translation", 11},
             {"phy_joint_speed", 12},
             {"phy_joint_motor_force", 13},
             {"phy_joint_max_motor_force", 14},
             {"phy_joint_length_1", 15},
             {"phy_joint_length_2", 16},
             {"phy_joint_damping_ratio", 17},
             {"phy_joint_frequency", 18}});
    AddList({{"phy_debug_render_shapes", 1},
             {"phy_debug_render_joints", 2},
             {"phy_debug_render_coms", 4},
             {"phy_debug_render_aabb", 8},
             {"phy_debug_render_obb", 16},
             {"phy_debug_render_core_shapes", 32},
             {"phy_debug_render_collision_pairs", 64}});
    AddRun({"audio_falloff_none", "audio_falloff_inverse_distance", "audio_falloff_inverse_distance_clamped",
            "audio_falloff_linear_distance", "audio_falloff_linear_distance_clamped",
            "audio_falloff_exponent_distance", "audio_falloff_exponent_distance_clamped"},
           0);
    AddList({{"audio_old_system", 0}, {"audio_new_system", 1}});
    AddRun({"ov_friends", "ov_community", "ov_players", "ov_settings", "ov_gamegroup", "ov_achievements"}, 0);
    AddRun({"lb_sort_none", "lb_sort_ascending", "lb_sort_descending"}, 0);
    AddRun({"lb_disp_none", "lb_disp_numeric", "lb_disp_time_sec", "lb_disp_time_ms"}, 0);
}
