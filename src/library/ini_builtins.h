// The file group's ini_* built-ins, which work on one open ini file at a time.
#pragma once

// Registers ini_open, ini_open_from_string, ini_close and the read, write, exists and delete built-ins.
void Ini_AddFunctions();
// Forgets the open ini file without writing it (shutdown, and between tests).
void Ini_CloseCurrent();
