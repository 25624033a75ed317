// The two places a game may use for files: the game folder (where the data file lies; read only) and the
// save area (a per-user folder named after the game, under $XDG_DATA_HOME or ~/.local/share). Every
// name a game passes is mapped into one of them; whatever the name holds ("..", absolute paths,
// backslashes, symbolic links), the result lies inside that place, or is a path the player picked in a
// file dialog, or is empty (refused). A relative name is taken from the game folder and a full path is
// matched with the two places, never with the folder the runner was started in, so that a name means the
// same file from any start folder.
//
// Mapping happens once: functions taking a "name" map it, functions taking a "path" use it as it is.
#pragma once

#include <cstdint>
#include <string>

// The game data file's path, made absolute; the game folder follows from it. Also forgets the cached
// folders, so that a new game path or game name takes effect.
void LoadSave_SetGamePath(const char* path);
const char* LoadSave_GetGamePath();
// The game's name (from the general information); the save area is named after it.
void LoadSave_SetGameName(const char* name);

// The game folder with its final "/", "" while no game path is known.
const char* GetGameFileDirectory();
// The running program's path.
const char* GetExecutablePath();
// The save area with its final "/", or null when no home folder can be found.
const char* GetSaveAreaDirectory();

// The read path of a name in the game folder, or "" (also when it does not fit size bytes). A name that
// comes near a pick of the open dialog and is refused (Support_IsChosenFile) is said on the debug
// console, once a name.
void LoadSave_GetBundlePath(char* out, int size, const char* name);
// The path of a name in the save area, or "" when it is refused (said on the debug console: "Error! not
// allowing save with filename ...").
void LoadSave_GetSavePath(char* out, int size, const char* name);
std::string LoadSave_BundlePath(const char* name);
std::string LoadSave_SavePath(const char* name);
// The save-area path of a name to read: as LoadSave_SavePath, but a pick of the open dialog named from the
// root is that file, and a refused name gives "" without a word (but one that comes near a pick, said as
// LoadSave_ReadSaveFile says it).
std::string LoadSave_SaveReadPath(const char* name);
// The path a name is read from: its save-area path to read when a plain file is there, else its game-
// folder path when one is there; "" when neither place holds one. A check before a read and the read both
// go through it, so that they never look in different places.
std::string LoadSave_ReadPath(const char* name);
// True when the path, its symbolic links followed, lies inside the folder (its links followed too).
bool LoadSave_IsInside(const std::string& path, const std::string& folder);

// The paths the player picked in the open and save file dialogs, which the mapping accepts outside the
// two places. A pick is kept in its normal form (absolute, without ".", ".." or empty parts) together
// with the file it led to then, its symbolic links resolved. A name matches a pick only when its normal
// form is the pick's, byte for byte (in case too), and it still leads to the same file: a name that
// differs in case, or a pick whose name now leads elsewhere (a link put in its place or in its folders'),
// is refused, and the refusal says why. Named from the root, as the dialogs give them, picks are those
// files wherever the runner was started, inside the current folder or the game folder too (whose names
// are otherwise mapped): a pick of the save dialog is written and read there, one of the open dialog
// read there. A relative name is the game's own and keeps the mapping.
enum ChosenFileList { CHOSEN_OPENED = 0, CHOSEN_SAVED = 1 };
void Support_AddChosenFile(ChosenFileList list, const char* path);
bool Support_IsChosenFile(ChosenFileList list, const char* path);
void Support_ClearChosenFiles();

// The whole file at a path, in a block of the memory manager with one zero byte after the data (so a zero-
// byte file is one zero byte); null when it cannot be read or is larger than 2 GiB. size is set on success.
uint8_t* LoadSave_ReadFile(const char* path, int* size);
uint8_t* LoadSave_ReadBundleFile(const char* name, int* size);
// Reading a name that the save area refuses finds no file and says nothing, except for a name that comes
// near a pick and is refused (Support_IsChosenFile): that is said once a name.
uint8_t* LoadSave_ReadSaveFile(const char* name, int* size);
// Whether a plain file is where LoadSave_ReadBundleFile and LoadSave_ReadSaveFile would read the name; the
// check is a read's, and a refused name is not said as a save's.
bool LoadSave_BundleFileExists(const char* name);
bool LoadSave_SaveFileExists(const char* name);

// For a process about to end from another thread: waits up to waitMilliseconds for a whole-file write in
// progress (_WriteFile) to finish, and keeps every later one from starting. True when none is in progress
// any more, false when the wait ran out (a sink that does not take the bytes). A write left unfinished
// loses nothing: it goes to a temporary file first.
bool LoadSave_HoldWrites(int waitMilliseconds);

// Writes the whole file at a path; true only when every byte was written and the file closed cleanly.
// The bytes go to a temporary file in the same folder, which replaces the file only once it is complete,
// so a process ended during the write leaves the old file (or none) or the new one, never a part; the
// file keeps its permissions, and a symbolic link stays and the file it leads to is replaced. Where no
// temporary file can be made (a folder that takes no new files), the file is not written. A path that is
// neither a plain file nor missing is not replaced: a folder fails with "Is a directory", and a named
// pipe or a device is written in place, without waiting for a reader. A failure is said on the console
// ("Could not write ...") and leaves the old file as it was.
//
// The write holds a lock on its temporary file (an open file description lock) from its making to its
// rename, which keeps LoadSave_RemoveLeftoverWrites of any process away from it, in whatever PID
// namespace or, on NFS, on whatever machine that process runs.
bool _WriteFile(const char* path, const void* data, int size);
// Maps the name into the save area, creates its folders and writes the file (as _WriteFile). A name the
// save area refuses is said by the mapping alone.
bool LoadSave_WriteFile(const char* name, const void* data, int size);
// Removes the temporary files that writes left in the save area (32 folders deep, not through symbolic
// links) when their process ended during them: those of the temporary files' own form (a name no game
// file can have) whose lock this process can take, so none that a write anywhere still holds. On a file
// system that takes no backslash in a name, the temporary files have a form a game's file may have, and
// none of them is removed.
void LoadSave_RemoveLeftoverWrites();

// A whole file held in memory, read like a C stream. data has a zero byte after its size bytes.
struct LoadSaveFile {
    uint8_t* data;
    int32_t size;
    int32_t position;
};

// Reads a game-supplied name from the game folder, else from the save area; null when neither has it. A
// mode holding "t" skips a UTF-8 byte-order mark.
LoadSaveFile* LoadSave_fopen(const char* name, const char* mode);
// The same for a path already mapped (read as it is).
LoadSaveFile* LoadSave_fopenPath(const char* path, const char* mode);
void LoadSave_fclose(LoadSaveFile* file);
int32_t LoadSave_ftell(LoadSaveFile* file);
// Origin 0: from the start; 1: from the position; 2: offset bytes back from the end. Not clamped: any
// position outside the data reads as the end of the file.
void LoadSave_fseek(LoadSaveFile* file, int32_t offset, int origin);
bool LoadSave_feof(LoadSaveFile* file);
bool LoadSave_feoln(LoadSaveFile* file);
// The byte (signed), or -1 at the end; the position moves on by one either way.
int LoadSave_fgetc(LoadSaveFile* file);
// Skips white space and reads a number in C notation; 0 when there is none.
void LoadSave_freadreal(LoadSaveFile* file, double* out);
// Copies up to size * count bytes; gives the number copied.
int LoadSave_fread(void* buffer, int size, int count, LoadSaveFile* file);

// Forgets the game path, name and cached folders (shutdown, and between tests).
void LoadSave_Reset();
