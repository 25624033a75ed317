#include "library/ini_builtins.h"

#include "core/memory.h"
#include "core/text.h"
#include "library/builtin.h"
#include "library/ini_file.h"
#include "script/value.h"
#include "script/vm/vm_error.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale.h>
#include <memory>
#include <string>

namespace {

// The ini file the ini_* built-ins work on; at most one at a time.
std::unique_ptr<IniFile> g_current;

// Flushes and forgets the open file; its text, or null when none was open.
char* CloseCurrent() {
    if (!g_current) return nullptr;
    char* text = g_current->Flush();
    g_current.reset();
    return text;
}

locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

void Report(const char* name, const char* problem) {
    const std::string message = std::string(name) + ": " + problem;
    Code_Error_Report(message.c_str(), false);
}

// The open file when the first `texts` arguments are strings; else the error is reported and null given.
IniFile* Ready(const char* name, const BuiltInArgs& args, int texts) {
    for (int i = 0; i < texts; ++i) {
        if (!args.At(i)->IsString()) {
            Report(name, "Illegal argument type");
            return nullptr;
        }
    }
    if (!g_current) Report(name, "No ini file is open");
    return g_current.get();
}

// Strings without text count as empty names.
const char* Name(const BuiltInArgs& args, int i) {
    const char* text = args.Text(i);
    return text ? text : "";
}

void F_ini_open(ScriptValue&, const BuiltInArgs& args) {
    if (!args.At(0)->IsString()) {
        Report("ini_open", "Illegal argument type");
        return;
    }
    MEM_FREE(CloseCurrent());
    g_current = std::make_unique<IniFile>(Name(args, 0), false);
}

void F_ini_open_from_string(ScriptValue&, const BuiltInArgs& args) {
    if (!args.At(0)->IsString()) {
        Report("ini_open_from_string", "Illegal argument type");
        return;
    }
    MEM_FREE(CloseCurrent());
    g_current = std::make_unique<IniFile>();
    g_current->OpenFromString(Name(args, 0));
}

// The flushed text ("" when no file was open).
void F_ini_close(ScriptValue& result, const BuiltInArgs&) {
    char* text = CloseCurrent();
    BuiltIn_SetText(result, text ? text : String_Duplicate(""));
}

void F_ini_read_string(ScriptValue& result, const BuiltInArgs& args) {
    IniFile* ini = Ready("ini_read_string", args, 2);
    const IniKey* key = ini ? ini->FindKey(Name(args, 0), Name(args, 1)) : nullptr;
    if (key)
        BuiltIn_SetText(result, String_Duplicate(key->value));
    else
        Value_Copy(&result, args.At(2));
}

// The value read as a number in the C locale (0 when it does not begin with one), or the default.
void F_ini_read_real(ScriptValue& result, const BuiltInArgs& args) {
    IniFile* ini = Ready("ini_read_real", args, 2);
    const IniKey* key = ini ? ini->FindKey(Name(args, 0), Name(args, 1)) : nullptr;
    Value_SetReal(&result, key ? strtod_l(key->value, nullptr, CLocale()) : args.Real(2));
}

void F_ini_write_string(ScriptValue&, const BuiltInArgs& args) {
    if (IniFile* ini = Ready("ini_write_string", args, 3)) ini->WriteString(Name(args, 0), Name(args, 1), Name(args, 2));
}

// The value written as "%f" in the C locale.
void F_ini_write_real(ScriptValue&, const BuiltInArgs& args) {
    IniFile* ini = Ready("ini_write_real", args, 2);
    if (!ini) return;
    if (!args.At(2)->IsReal()) {
        Report("ini_write_real", "Illegal argument type");
        return;
    }
    locale_t previous = uselocale(CLocale());
    const int n = std::snprintf(nullptr, 0, "%f", args.Real(2));
    std::string text(static_cast<size_t>(n), '\0');
    std::snprintf(text.data(), text.size() + 1, "%f", args.Real(2));
    uselocale(previous);
    ini->WriteString(Name(args, 0), Name(args, 1), text.c_str());
}

void F_ini_key_exists(ScriptValue& result, const BuiltInArgs& args) {
    IniFile* ini = Ready("ini_key_exists", args, 2);
    Value_SetReal(&result, ini && ini->FindKey(Name(args, 0), Name(args, 1)) ? 1.0 : 0.0);
}

void F_ini_section_exists(ScriptValue& result, const BuiltInArgs& args) {
    IniFile* ini = Ready("ini_section_exists", args, 1);
    Value_SetReal(&result, ini && ini->FindSection(Name(args, 0)) ? 1.0 : 0.0);
}

void F_ini_key_delete(ScriptValue&, const BuiltInArgs& args) {
    if (IniFile* ini = Ready("ini_key_delete", args, 2)) ini->DeleteKey(Name(args, 0), Name(args, 1));
}

void F_ini_section_delete(ScriptValue&, const BuiltInArgs& args) {
    if (IniFile* ini = Ready("ini_section_delete", args, 1)) ini->DeleteSection(Name(args, 0));
}

const BuiltInRegistration kIniFunctions[] = {
    BUILTIN_ENTRY(ini_open_from_string, 1), BUILTIN_ENTRY(ini_open, 1),
    BUILTIN_ENTRY(ini_close, 0),            BUILTIN_ENTRY(ini_read_string, 3),
    BUILTIN_ENTRY(ini_read_real, 3),        BUILTIN_ENTRY(ini_write_string, 3),
    BUILTIN_ENTRY(ini_write_real, 3),       BUILTIN_ENTRY(ini_key_exists, 2),
    BUILTIN_ENTRY(ini_section_exists, 1),   BUILTIN_ENTRY(ini_key_delete, 2),
    BUILTIN_ENTRY(ini_section_delete, 1),
};

} // namespace

void Ini_AddFunctions() {
    BuiltIn_Register(kIniFunctions);
}

void Ini_CloseCurrent() {
    g_current.reset();
}
