// The system built-ins that sit on the file, process and clipboard support: documents and programs, the
// command line, program priority, the application title, the clipboard and the window handle.
#pragma once

// Registers execute_shell, execute_program, parameter_count, parameter_string, set_program_priority,
// set_application_title, clipboard_has_text, clipboard_get_text, clipboard_set_text and window_handle
// (part of the "Misc.." group).
void Support_AddFunctions();
