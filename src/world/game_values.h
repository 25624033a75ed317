// The game-wide values that scripts read and write through built-in variables: score, lives and
// health, the caption settings the window caption shows, the cursor sprite, the transition kind, and
// the index of the asynchronous result map of the running asynchronous event.
#pragma once

#include <cstdint>

struct CaptionSettings {
    bool set; // written by show_score (and by the caption action)
    bool showScore;
    bool showLives;
    bool showHealth;
    char* scoreCaption; // owned; null is no caption
    char* livesCaption;
    char* healthCaption;
};

// The game-wide values, reached through GameValues_State().
struct GameValuesState {
    int32_t Game_Score = 0;
    int32_t Game_Lives = -1;
    double Game_Health = 100.0;
    CaptionSettings Game_Caption{false, true, false, false, nullptr, nullptr, nullptr};
    int32_t Cursor_Sprite = -1;
    int32_t Transition_Kind = 0;
    // The map index async_load reads: -1 outside an asynchronous event.
    int32_t AsyncLoad_Index = -1;
    // Frames counted in the last whole second (the built-in variable fps).
    int32_t Run_FPS = 0;
    // The microseconds between the last two steps (the built-in variable delta_time), set by each step.
    int64_t Run_DeltaTime = 0;
    // Steps done since the game started (it also picks the cursor sprite's frame).
    int32_t Run_StepCount = 0;
};

inline GameValuesState& GameValues_State() {
    static GameValuesState state;
    return state;
}

// The steps of a room transition: 80 at start, never below 1 (a smaller value is stored as 1).
void Transition_SetSteps(int steps);
int Transition_GetSteps();

// Back to the start values: score 0, lives -1, health 100, score shown, lives and health not, no score
// or lives caption, the health caption "Health: ", no cursor sprite, transition kind 0, 80 transition
// steps, no async_load map.
void GameValues_Reset();
// Replaces an owned text with a copy of text (null: no text).
void GameValues_SetText(char** variable, const char* text);
