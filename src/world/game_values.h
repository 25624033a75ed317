// The game-wide values that scripts read and write through built-in variables: score, lives and
// health, the caption settings the window caption shows, the cursor sprite, the transition kind, and
// the index of the asynchronous result map of the running asynchronous event.
#pragma once

#include <cstdint>

extern int32_t Game_Score;
extern int32_t Game_Lives;
extern double Game_Health;

struct CaptionSettings {
    bool set; // written by show_score (and by the caption action)
    bool showScore;
    bool showLives;
    bool showHealth;
    char* scoreCaption; // owned; null is no caption
    char* livesCaption;
    char* healthCaption;
};
extern CaptionSettings Game_Caption;

extern int32_t Cursor_Sprite;
extern int32_t Transition_Kind;
// The steps of a room transition: 80 at start, never below 1 (a smaller value is stored as 1).
void Transition_SetSteps(int steps);
int Transition_GetSteps();
// The map index async_load reads: -1 outside an asynchronous event.
extern int32_t AsyncLoad_Index;

// Frames counted in the last whole second (the built-in variable fps).
extern int32_t Run_FPS;
// The microseconds between the last two steps (the built-in variable delta_time), set by each step.
extern int64_t Run_DeltaTime;
// Steps done since the game started (it also picks the cursor sprite's frame).
extern int32_t Run_StepCount;

// Back to the start values: score 0, lives -1, health 100, score shown, lives and health not, no score
// or lives caption, the health caption "Health: ", no cursor sprite, transition kind 0, 80 transition
// steps, no async_load map.
void GameValues_Reset();
// Replaces an owned text with a copy of text (null: no text).
void GameValues_SetText(char** variable, const char* text);
