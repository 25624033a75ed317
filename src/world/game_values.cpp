#include "world/game_values.h"

#include "core/memory.h"
#include "core/text.h"

namespace {
constexpr int kDefaultTransitionSteps = 80;
int g_transitionSteps = kDefaultTransitionSteps;
} // namespace

void Transition_SetSteps(int steps) {
    g_transitionSteps = steps >= 1 ? steps : 1;
}
int Transition_GetSteps() {
    return g_transitionSteps;
}

void GameValues_SetText(char** variable, const char* text) {
    char* copy = String_Duplicate(text); // text may be the variable's own
    MEM_FREE(*variable);
    *variable = copy;
}

void GameValues_Reset() {
    GameValues_State().Game_Score = 0;
    GameValues_State().Game_Lives = -1;
    GameValues_State().Game_Health = 100.0;
    GameValues_State().Game_Caption.set = false;
    GameValues_State().Game_Caption.showScore = true;
    GameValues_State().Game_Caption.showLives = false;
    GameValues_State().Game_Caption.showHealth = false;
    GameValues_SetText(&GameValues_State().Game_Caption.scoreCaption, nullptr);
    GameValues_SetText(&GameValues_State().Game_Caption.livesCaption, nullptr);
    GameValues_SetText(&GameValues_State().Game_Caption.healthCaption, "Health: ");
    GameValues_State().Cursor_Sprite = -1;
    GameValues_State().Transition_Kind = 0;
    g_transitionSteps = kDefaultTransitionSteps;
    GameValues_State().AsyncLoad_Index = -1;
}
