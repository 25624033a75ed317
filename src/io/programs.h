// Starting programs and documents, and the process's command-line parameters, under the system
// built-ins.
//
// Functions that return a text give a new block of the memory manager (MEM_FREE it).
#pragma once

#include <string>
#include <vector>

// The longest file, program, argument or parameter text the shell and process calls take, in bytes.
constexpr size_t kShellTextSize = 1024;

// Opens a document: an executable file is started with the parameters, anything else (a document, a
// folder, a URL) is handed to the desktop's opener, "xdg-open", as its one argument. Never through a
// shell. True when the process could be started; false for texts over kShellTextSize bytes.
bool Support_ShellExecute(const char* file, const char* parameters, const char* directory);
// The file a document or program name stands for: a file of the game's (in the save area or the game
// folder, wherever the runner was started) is that file; any other name (a URL, a program on PATH, a path
// elsewhere) goes on as it is. Null gives "".
std::string Support_GameFileOr(const char* name);
// Starts a program directly (no shell; a name without "/" is looked for on PATH), the arguments split
// into words as a POSIX shell splits them, without expanding anything. A program text that names no
// file but holds blanks or quotes is split the same way, its first word being the program. With wait
// set, returns once the program has ended, running the message pump every 50 ms meanwhile; a quit
// message (the window was closed) ends the wait and leaves the program running. True when the program
// started.
bool Support_ExecuteProgram(const char* program, const char* arguments, const char* directory, bool wait);
// Splits a text into words as a POSIX shell does, with no expansion: unquoted blanks separate, a
// backslash keeps the next character, single quotes keep everything up to the next one, double quotes
// keep everything but a backslash before $ ` " \ or a line break. An unclosed quote runs to the end.
std::vector<std::string> Support_SplitWords(const char* text);

// The process's command line, as main() received it (UTF-8, as given).
void Param_SetCommandLine(int argc, const char* const* argv);
// The number of items, the program itself (item 0) included; 0 when none was recorded.
int Param_Count();
// A new copy of item n, cut to at most kShellTextSize - 1 bytes (at a character's start); "" for n
// outside 0 .. count - 1.
char* Param_String(int n);
