#include "script/vm/vm_error.h"

#include "core/console.h"

#include <cstdarg>
#include <cstdio>

const char* VM_CurrentFunctionName = nullptr;
bool VM_ErrorRaised = false;

// Until the VM's error report exists this only writes the message to the release console and raises
// the flag; the report (fatal unless errors are being collected) replaces this body.
void VM_ErrorNoContext(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    VM_ErrorRaised = true;
    ReleaseConsole->Output("%s\n", message);
}

// Until the framed report exists this writes the message, marked "FATAL " when fatal, to the release
// console and raises the flag; the report of the VM replaces this body.
void Code_Error_Report(const char* message, bool fatal) {
    VM_ErrorRaised = true;
    ReleaseConsole->Output("%s%s\n", fatal ? "FATAL " : "", message ? message : "");
}
