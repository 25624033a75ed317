#include "platform/dialogs.h"

#include "core/console.h"

// There is no display layer yet, so every run is unattended: the message goes to the console instead of
// a box that nobody could close.
void ShowMessage(const char* text) {
    ReleaseConsole->Output("%s\n", text != nullptr ? text : "");
}
