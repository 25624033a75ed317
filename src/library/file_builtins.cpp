// The file group's built-ins on the file-system support: existence tests, folder creation, the file-find
// walk, attributes and the file-name splitters. Every name a game passes is mapped into the game folder
// or the save area first.
#include "core/files.h"
#include "core/memory.h"
#include "core/save_area.h"
#include "core/text.h"
#include "library/builtin.h"
#include "library/files.h"
#include "script/value.h"

#include <cstring>
#include <string>
#include <sys/stat.h>

namespace {

// Names longer than this are refused: nothing is found, made or split.
constexpr size_t kNameSize = 1024;

// The text of a name argument: "" for a missing or non-string argument, null when it is too long.
const char* Name(const BuiltInArgs& args, int i) {
    const char* text = args.Text(i);
    if (!text) return "";
    return std::strlen(text) <= kNameSize ? text : nullptr;
}

void SetFlag(ScriptValue& result, bool flag) {
    Value_SetReal(&result, flag ? 1.0 : 0.0);
}

void SetName(ScriptValue& result, const char* name) {
    BuiltIn_SetText(result, String_Duplicate(name ? name : ""));
}

// The path of the name in the save area when something is there, else in the game folder, the order in
// which files are read; "" when neither place holds it.
std::string ExistingPath(const char* name) {
    struct stat st;
    std::string path = LoadSave_SaveReadPath(name);
    if (!path.empty() && stat(path.c_str(), &st) == 0) return path;
    path = LoadSave_BundlePath(name);
    return !path.empty() && stat(path.c_str(), &st) == 0 ? path : "";
}

BUILTIN_BODY(file_exists) {
    const char* name = Name(args, 0);
    SetFlag(result, name && *name && (LoadSave_BundleFileExists(name) || LoadSave_SaveFileExists(name)));
}

BUILTIN_BODY(directory_create) {
    const char* name = Name(args, 0);
    const std::string path = name && *name ? LoadSave_SavePath(name) : "";
    SetFlag(result, !path.empty() && Support_CreateDirectories(path.c_str()));
}

BUILTIN_BODY(file_find_first) {
    FileFind_Clear();
    FileFind_ConvertName(args.Text(0), args.Rounded(1));
    SetName(result, FileFind_Next());
}

BUILTIN_BODY(file_find_next) {
    SetName(result, FileFind_Next());
}

BUILTIN_BODY(file_find_close) {
    FileFind_Clear();
    Value_SetReal(&result, 0);
}

// True when the file is there and has every attribute asked for.
BUILTIN_BODY(file_attributes) {
    const char* name = Name(args, 0);
    const std::string path = name && *name ? ExistingPath(name) : "";
    const int wanted = args.Rounded(1);
    SetFlag(result, !path.empty() && (File_Attributes(path.c_str()) & wanted) == wanted);
}

// A splitter's part of the name argument.
template <char* (*Split)(const char*)> void F_Split(ScriptValue& result, const BuiltInArgs& args) {
    const char* name = Name(args, 0);
    BuiltIn_SetText(result, name ? Split(name) : String_Duplicate(""));
}

// The folder part with its final separator ("" when there is none).
char* FilePath(const char* name) {
    char* file = Support_ExtractFileName(name);
    std::string path(name, std::strlen(name) - std::strlen(file));
    MEM_FREE(file);
    return String_Duplicate(path.c_str());
}

BUILTIN_BODY(filename_change_ext) {
    const char* name = Name(args, 0);
    const char* ext = args.Text(1);
    if (!name) return SetName(result, "");
    char* old = Support_ExtractFileExt(name);
    std::string changed(name, std::strlen(name) - std::strlen(old));
    MEM_FREE(old);
    changed += ext ? ext : "";
    SetName(result, changed.c_str());
}

const BuiltInRegistration kFileFunctions[] = {
    BUILTIN_ENTRY(file_exists, 1),
    BUILTIN_ENTRY(directory_create, 1),
    BUILTIN_ENTRY(file_find_first, 2),
    BUILTIN_ENTRY(file_find_next, 0),
    BUILTIN_ENTRY(file_find_close, 0),
    BUILTIN_ENTRY(file_attributes, 2),
    {"filename_name", BuiltIn_Call<F_Split<Support_ExtractFileName>>, 1},
    {"filename_path", BuiltIn_Call<F_Split<FilePath>>, 1},
    {"filename_dir", BuiltIn_Call<F_Split<Support_ExtractFileDir>>, 1},
    {"filename_drive", BuiltIn_Call<F_Split<Support_ExtractFileDrive>>, 1},
    {"filename_ext", BuiltIn_Call<F_Split<Support_ExtractFileExt>>, 1},
    BUILTIN_ENTRY(filename_change_ext, 2),
};

} // namespace

void File_AddFunctions() {
    BuiltIn_Register(kFileFunctions);
}
