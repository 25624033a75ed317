// The compile driver's error state and the error machinery that the compiler, the tree evaluator and
// the virtual machine report through: errors recorded with their line and position, and the showing of
// an error to the player and the log.
#pragma once

#include <string>

class CCode;

// Set by the first error recorded since it was last cleared; every compile phase clears it at its start.
extern bool Code_ErrorFlag;
// The formatted text of the last recorded error (a memory-manager block, or null).
extern char* Code_ErrorText;

// Records an error of a code object at a byte position of its text, unless one was recorded already
// since the flag was cleared.
void Code_Error(CCode* code, int position, const char* message);

// The text Code_Error records for a code of the given kind (1 program, else expression) and text:
// positions are clamped to the text, lines and columns count bytes, a CR is not counted in the column.
std::string Code_Error_Format(int kind, const char* text, int position, const char* message);

// The text as the error dialog shows it: a rule of underscores, the lines ended by CR LF (two
// successive line-end characters counting as one break) and each tab widened to seven spaces.
std::string Code_Error_FrameText(const char* text);
