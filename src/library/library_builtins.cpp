#include "library/library_builtins.h"

#include "library/codec_builtins.h"
#include "library/files.h"
#include "library/ini_builtins.h"
#include "library/json_builtins.h"
#include "library/misc_builtins.h"

// The library's other built-ins are not written yet, and the constant and variable tables they would be
// added to are not either: each group registers nothing.
void InitFileFunctions() {
    File_AddFunctions();
    Ini_AddFunctions();
}
void InitResourceFunctions() {}
// The misc group's own built-ins written so far: the debug message, the codecs and JSON; the group's
// system built-ins of the file and process support come first, registered by the io layer (see the
// runner's registry).
void InitMiscFunctions() {
    Misc_AddDebugFunctions();
    Codec_AddFunctions();
    Json_AddFunctions();
}
