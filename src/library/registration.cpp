#include "library/registration.h"

#include "io/support_builtins.h"
#include "library/functions_misc.h"

// The library's other built-ins are not written yet, and the constant and variable tables they would be
// added to are not either: each group registers nothing, and with no ds_grid_* registered there is
// nothing to rebind.
void InitFileFunctions() {}
void InitResourceFunctions() {}
// Of the misc group only the system built-ins of the file and process support and the debug message
// exist so far.
void InitMiscFunctions() {
    Support_AddFunctions();
    Misc_AddDebugFunctions();
}
void InitDSFunctions() {}
void InitBufferFunctions() {}
void InitMiscConstants() {}
void InitOSVariables() {}

void DS_Grid_SetBoundsChecking(bool /*checked*/) {}
