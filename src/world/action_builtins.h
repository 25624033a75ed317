// The action group of built-ins: the run-time side of drag-and-drop actions.
#pragma once

class CInstance;

// The motion actions before the path actions, then the rest of the group, in table order.
void InitMotionActionFunctions();
void InitActionFunctions();

// What compiled game code calls directly: the sound action's play, and the destruction of an instance.
void Action_PlaySound(int sound, bool loop);
void Action_DestroyInstance(CInstance* instance);
// Forgets the action particle system and slots (a new game).
void Action_Reset();
