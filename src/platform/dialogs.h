// The engine's messages to the player, as the start-up, the graphics and the compiler show them.
#pragma once

// A message to the player; it goes to the release console (no box is shown).
void ShowMessage(const char* text);
