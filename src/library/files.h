// File services of the library that the shutdown and the file-find support use, and the file-find walk
// under the file built-ins. (Folder creation for save-area writes, File_CreatePathDirectories, is
// core/files.h's.)
#pragma once

// Closes the files the file built-ins hold open (shutdown).
void File_CloseAll();
// Adds a found name to the file-find result list unless it is "." or ".." or already listed.
void FileFind_AddName(const char* name);
// Looks for the names that match the mask in the save area, then in the game folder, and adds each
// whose attributes pass (FileFind_Passes) to the result list. The mask's folder part is mapped into the
// two places as any file name is (nothing is found outside them); its last part may hold "*" and "?",
// matched as Windows matches them (ignoring ASCII case; a final ".*" also matches a name without an
// extension). Each folder's names are added in sorted order. A mask over 1,024 bytes finds nothing.
void FileFind_ConvertName(const char* mask, int attributes);
// True when a found entry with these attribute bits is listed for the requested attributes: normal,
// read-only and archived entries always are; hidden ones, system ones and folders only when asked for.
bool FileFind_Passes(int found, int requested);
// True when the name matches the mask's last part as FileFind_ConvertName matches it.
bool FileFind_Matches(const char* pattern, const char* name);
// Starts a new walk: empties the list and rewinds.
void FileFind_Clear();
// The next listed name, or null at the end.
const char* FileFind_Next();

// Registers file_exists, directory_create, the file_find_* and filename_* built-ins and file_attributes
// (part of the "File.." group).
void File_AddFunctions();
