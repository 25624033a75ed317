#include "world/game_values.h"

#include "core/memory.h"
#include "core/text.h"

int32_t Game_Score = 0;
int32_t Game_Lives = -1;
double Game_Health = 100.0;
CaptionSettings Game_Caption{false, true, false, false, nullptr, nullptr, nullptr};
int32_t Cursor_Sprite = -1;
int32_t Transition_Kind = 0;
int32_t AsyncLoad_Index = -1;
int32_t Run_FPS = 0;
int64_t Run_DeltaTime = 0;
int32_t Run_StepCount = 0;

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
    Game_Score = 0;
    Game_Lives = -1;
    Game_Health = 100.0;
    Game_Caption.set = false;
    Game_Caption.showScore = true;
    Game_Caption.showLives = false;
    Game_Caption.showHealth = false;
    GameValues_SetText(&Game_Caption.scoreCaption, nullptr);
    GameValues_SetText(&Game_Caption.livesCaption, nullptr);
    GameValues_SetText(&Game_Caption.healthCaption, "Health: ");
    Cursor_Sprite = -1;
    Transition_Kind = 0;
    g_transitionSteps = kDefaultTransitionSteps;
    AsyncLoad_Index = -1;
}
