// Saved games: the whole run state written into a buffer (to a file of the save area, or into a buffer
// of the game), and read back at the start of the next step, so that a load never replaces the world in
// the middle of an event.
//
// The form is a sequence of typed buffer values (s32, f64 and zero-terminated strings, a null string as
// the one-byte string 0x04): a header (the version 851, the game id, the current room index, the pending
// room change, the transition kind, score, lives and health with their captions and show flags, the
// cursor sprite, the step count and the draw switch), the global variables, the run-time room table (its
// length, the instance and tile id counters, then per room a present flag and the room's state) and the
// input state.
#pragma once

#include <string>

class IBuffer;

constexpr int kSavedGameVersion = 851;

// Writes the state into a new buffer and that into the file `name` of the save area (its folders made
// first). False when the name is refused or the file cannot be written.
bool Game_SaveFile(const char* name);
// Writes the state into buffer `index` at its position; false when the index names no buffer.
bool Game_SaveBuffer(int index);
// Writes the state at the buffer's position.
void Game_WriteState(IBuffer* buffer);

// Reads the saved file `name` (the save area's, else the game folder's) into a new buffer and queues it.
// False, with a warning on the debug console, when the file is in neither place or the queue refuses it
// (the new buffer is then deleted).
bool Game_LoadFile(const char* name);
// Queues buffer `index` for the next step (a later call before then replaces it). Refused, with a
// warning, while a file load waits or when the index names no buffer.
bool Game_QueueLoadBuffer(int index);
// Loads the queued buffer from its position, first thing in a step. The whole saved form is read and
// checked before anything changes: a load that fails says why, naming the file or the buffer, on both
// consoles (so also in the "-output" file) and leaves the game (and the buffer's position) as it was. A
// file's saved game must fill the file; a game's buffer may hold more after it. A buffer that
// Game_LoadFile made is deleted either way.
bool Game_ProcessQueuedLoad();
// Reads a saved form from the buffer's position and, when it is sound, makes it the running state;
// otherwise false, with the reason in `why` and nothing changed. With wholeBuffer the saved form must
// end at the buffer's end.
bool Game_LoadState(IBuffer* buffer, std::string* why = nullptr, bool wholeBuffer = false);
// Forgets the queue, deleting a buffer Game_LoadFile made (shutdown, and between tests).
void Game_ClearQueue();
