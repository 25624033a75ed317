// Requests to change rooms or end the game, acted on by the frame after the step; and the room
// transition settings (kinds and steps; no transition is ever drawn: the kind is 0 at every change).
#pragma once

// New-room codes other than room indices.
constexpr int kRoomNone = -1;
constexpr int kRoomEndGame = -100;
constexpr int kRoomRestartGame = -200;
constexpr int kRoomLoadGame = -300;
constexpr int kRoomEndAfterError = -400;

// A room that does not exist (or a move past either end of the room order) is a fatal error: the game
// ends after the step.
void Room_Goto(int room);
void Room_GotoPrevious();
void Room_GotoNext();
void Room_Restart();
void Game_End();
void Game_Restart();

// Stores the callable of name for kind (0 < kind < 1000000); false when name names no callable.
bool Transition_Define(int kind, const char* name);
void Transition_Store(int kind, const char* name, int id);
// The built-in kinds 1 to 21 only.
bool Transition_Exists(int kind);
// (transition_steps: Transition_SetSteps and Transition_GetSteps of the game values.)
