// The compile driver's error state and the error machinery that the compiler and the virtual machine
// report through: errors recorded with their line and position, and the showing of an error to the
// player and the log.
#pragma once

#include <string>

class CCode;

// The compiler's error state, reached through CodeError_State().
struct CodeErrorState {
    // Set by the first error recorded since it was last cleared; every compile phase clears it at its
    // start.
    bool Code_ErrorFlag = false;
    // The formatted text of the last recorded error (a memory-manager block, or null).
    char* Code_ErrorText = nullptr;
    // The same error on one line, for reports that cannot show the code: the code's name, the line and
    // position, and the message ("Object.obj.Create.0 at line 2, position 5: ..."). A memory-manager block,
    // or null; a compile that succeeds clears it.
    char* Code_ErrorReason = nullptr;

    // The last text shown by Code_Error_Show (a memory-manager block, or null after a null text); read
    // by the built-in variable error_last.
    char* Code_LastErrorText = nullptr;
    // Set by every Code_Error_Show; the built-in variable error_occurred reads and writes it.
    bool Code_ErrorOccurred = false;
    // Set once an aborting error has been shown; every later Code_Error_Show does nothing. A game ended
    // by such an error ends the process with a failure code.
    bool Code_Aborting = false;

    // How errors are shown, set by the start-up and the debugger:
    // errors are shown in the error dialog (cleared by "-noerrors", and while the debugger evaluates);
    bool Code_ShowErrors = true;
    // errors are kept off the release console (while the debugger or a watch evaluates);
    bool Code_QuietErrors = false;
    // every error aborts the game (option 32 of the options chunk).
    bool Code_AbortOnAnyError = false;
};

// Constant-initialised, so a read is a plain load with no guard.
inline CodeErrorState& CodeError_State() {
    static CodeErrorState state;
    return state;
}

// What showing an error needs of the game world, which installs it at start-up. A missing member does
// nothing (a missing error form answers "not abort", as an unattended run does).
struct CodeErrorServices {
    // Shows the framed text in the error dialog, with an Ignore button when mayIgnore; true for Abort.
    bool (*showErrorForm)(const char* framedText, bool mayIgnore);
    // Clears the input state, so the key or click that closed the dialog never reaches the game.
    void (*clearInput)();
    // Ends the game: the pending room change -400 and the quit message to the main window.
    void (*endGame)();
    // Refreshes the debug form while it is open.
    void (*refreshDebugForm)();
    // Leaves full screen (the window shown first), so that the error can be seen.
    bool (*ensureWindowed)();
};
void Code_SetErrorServices(const CodeErrorServices& services);

// Records an error of a code object at a byte position of its text, unless one was recorded already
// since the flag was cleared.
void Code_Error(CCode* code, int position, const char* message);

// The text Code_Error records for a code of the given kind (1 program, else expression) and text:
// positions are clamped to the text, lines and columns count bytes, a CR is not counted in the column. A
// quoted line or expression longer than 256 bytes is cut to the 256 around the position, "..." marking a
// cut side; the position and the message are always whole.
std::string Code_Error_Format(int kind, const char* text, int position, const char* message);

// The report of a compile that failed: the heading ("COMPILATION ERROR in ..."), a line end and the
// compiler's error text.
std::string Code_CompileFailureText(const char* heading);

// The text as the error dialog shows it: a rule of underscores, the lines ended by CR LF (two
// successive line-end characters counting as one break) and each tab widened to seven spaces.
std::string Code_Error_FrameText(const char* text);

// Shows the text in the error dialog; true when the user chose Abort.
bool Code_Error_Frame(const char* text, bool mayIgnore);

// Presents an error to the user and the log; an aborting error (or any error while every error aborts)
// ends the game, and every later call then does nothing.
void Code_Error_Show(const char* text, bool abort);
