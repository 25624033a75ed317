// The misc group's message built-ins.
#pragma once

// Registers show_debug_message (part of the "Misc.." group).
void Misc_AddDebugFunctions();
