// The interaction group of built-ins: messages and queries, file-name dialogs, splash settings, high
// scores, keyboard, mouse and joysticks.
#pragma once

// Copies the game's caption into the kept window caption (dialogs show it before the window exists),
// then registers the group in its table order.
void InitInteractionFunctions();
// The high-score table in the box from (x1, y1) to (x2, y2): ten rows, each name at the left and its
// score ending at the right, in the current font, colour and alignment.
void HighScore_Draw(float x1, float y1, float x2, float y2);
// Forgets the splash settings.
void Interaction_Reset();
