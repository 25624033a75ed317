#include "platform/dialogs.h"

#include "core/console.h"

// The message goes to the release console; no box is shown.
void ShowMessage(const char* text) {
    ReleaseConsole->Output("%s\n", text != nullptr ? text : "");
}
