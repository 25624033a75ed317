// The backends the runner starts its layers on, registered in their layers' tables at start-up.
#pragma once

// Registers the graphics device's backends (OpenGL, and the recording one that draws nothing) and what
// readies a window for them. Safe to call more than once.
void Runner_RegisterBackends();
