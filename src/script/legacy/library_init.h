// Library initialisation: code texts run once when the game starts, each on a scratch instance outside
// the room. Nothing in this runner adds a text, so the list stays empty and Library_Init gives false.
#pragma once

// The texts (null entries and empty texts are skipped) and their count; owned, freed by Library_Free.
extern char** Library_Texts;
extern int Library_TextCount;

// Compiles and runs every text. False when there is no list; a text that does not compile is shown as
// an aborting error and the rest still run; a run-time error is reported and the rest still run.
bool Library_Init();
// Frees every text and empties the entries.
void Library_Free();
