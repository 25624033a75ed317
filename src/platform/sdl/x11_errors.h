// The runner's handlers of X errors, for SDL's X11 video driver. Xlib's own end the process with 1 on any
// error: a failed request (one that another program's window, gone meanwhile, makes fail: the answer to
// a paste given up) and a connection lost with the display.
//
// - A failed request does not end the game. One about a window that is not the runner's is ignored (the
//   window has gone); any other is named on the debug console, once for each kind of error and request.
// - A request about the game window that finds it gone (another program destroyed it: nothing can be drawn
//   any more) ends the run as a lost display does, saying so.
// - A lost display is the graphics device failing: the runner says on standard error that the display went
//   away, closes the processes of a dialog that was open, lets go of the display (Platform_LoseDisplay) and
//   ends the run as a fatal error does, whose clean-up saves what it saves without touching the display
//   again (Process_Exit, kExitAfterError). Met on a thread other than the game's, the same line is said and
//   the process ends from there (Process_EndFromAnyThread). In a process forked from the runner's (one
//   that SDL shows a message box in), Xlib ends that process with 1, silently. A write to the connection
//   after the server closed it raises SIGPIPE, which ends the process before Xlib looks: that one is let
//   through to Xlib's look; any other SIGPIPE ends the process as before.
#pragma once

#include <SDL.h>

// Installs the handlers over those SDL installed as its video started (SDL lends the error handler to
// handlers of its own around some calls and gives it back after them).
void X11Errors_Install();
// The display's connection is the game window's: told once the window is made.
void X11Errors_WatchConnection(SDL_Window* window);
// The runner destroys the game window itself: a late error about it is no other program's doing.
void X11Errors_ForgetWindow();
// Puts back the handlers found when they were installed (after SDL's video has ended).
void X11Errors_Remove();
