// Library initialisation: code texts run once when the game starts, each on a scratch instance outside
// the room. Nothing in this runner adds a text, so the list stays empty and Library_Init gives false.
#pragma once

// The texts the tree evaluator's library keeps, reached through LibraryInit_State().
struct LibraryInitState {
    // The texts (null entries and empty texts are skipped) and their count; owned, freed by Library_Free.
    char** Library_Texts = nullptr;
    int Library_TextCount = 0;
};

inline LibraryInitState& LibraryInit_State() {
    static LibraryInitState state;
    return state;
}

// Compiles and runs every text. False when there is no list; a text that does not compile is shown as
// an aborting error and the rest still run; a run-time error is reported and the rest still run.
bool Library_Init();
// Frees every text and empties the entries.
void Library_Free();
