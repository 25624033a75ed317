// The built-in variables: the instance variables (position, motion, sprite and image, path, timeline,
// physics) and the global ones (arguments, room, score, backgrounds, views, input, captions, time, the
// running event and the last error), registered as rows of the built-in variable table.
#pragma once

// Empties the built-in variable table, then registers the instance variables (indices 0 to 82) and the
// global ones after them (83 to 189), in table order. The library's platform variables follow,
// registered by it.
void Variable_BuiltIn_Init();
constexpr int kBuiltInInstanceVariables = 83;
constexpr int kBuiltInGlobalVariables = 107;

// Sets the working directory from the program path once (later calls leave it): everything up to and
// including its last "/", or its last "\" when it has no "/". The directory goes to the debug console.
void Variable_InitWorkingDirectory(const char* programPath);
// The working directory text, null until set.
const char* Variable_WorkingDirectory();
// Forgets the working directory (shutdown, and tests that start again).
void Variable_FreeWorkingDirectory();
