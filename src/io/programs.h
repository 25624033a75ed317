// Starting programs and documents, and the process's command-line parameters, under the system
// built-ins.
//
// Functions that return a text give a new block of the memory manager (MEM_FREE it).
#pragma once

#include <string>

// Opens a document: an executable file is started with the parameters, anything else is handed to the
// desktop's opener ("xdg-open"). True when the process could be started.
bool Support_ShellExecute(const char* file, const char* parameters, const char* directory);
// Starts a program directly (no shell), the arguments split as a command line is (blanks separate,
// double quotes group). With wait set, returns once the program has ended, running the message pump every
// 50 ms meanwhile. True when the program started.
bool Support_ExecuteProgram(const char* program, const char* arguments, const char* directory, bool wait);
// Splits a command line into items: blanks separate, a double quote toggles quoting and is dropped.
std::string Support_NextCommandLineItem(const char*& text);

// The process's command line, as main() received it (UTF-8, as given).
void Param_SetCommandLine(int argc, const char* const* argv);
// The number of items, the program included; 0 when none was recorded.
int Param_Count();
// A new copy of item n; "" for n outside 0 .. count - 1.
char* Param_String(int n);
