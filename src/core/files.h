// The thin operating-system layer under the file built-ins and the save area: path helpers, existence
// tests, folder creation and removal and the per-run temporary folder.
//
// Functions that return a path give a new block of the memory manager (MEM_FREE it); they never give
// null except where said.
#pragma once

#include <string>

// Attribute bits of File_Attributes, as the file built-ins know them.
enum : int {
    FILE_ATTR_READONLY = 0x01,
    FILE_ATTR_HIDDEN = 0x02,
    FILE_ATTR_DIRECTORY = 0x10,
    FILE_ATTR_ARCHIVE = 0x20,
};

// True for a path that names something other than a folder or a device (a plain file, or a link to one).
bool Support_FileExists(const char* path);
bool Support_DirectoryExists(const char* path);
// The attribute bits (masked with 0x37) of the path: read-only when the owner may not write it, hidden
// when its name starts with ".", directory, archive for a plain file; 0 when nothing is there.
int File_Attributes(const char* path);

char* Support_GetCurrentDirectory();
// The part before the last backslash (else the last slash), without it; "" when there is none or it is
// the first character.
char* Support_ExtractFileDir(const char* path);
// The part after the last backslash (else the last slash); the whole path without one.
char* Support_ExtractFileName(const char* path);
// The drive of a path written with one ("C:" of C:\games\a.txt); "" otherwise, as for any Linux path.
char* Support_ExtractFileDrive(const char* path);
// The extension of the file name with its dot ("" when the name has none).
char* Support_ExtractFileExt(const char* path);
// Removes one final separator in place from a path of two or more characters.
void Support_StripTrailingBackslash(char* path);
// Creates the folder and every missing parent. False for a null or empty path; "/" and an existing folder
// count as done; otherwise true when the folder exists afterwards.
bool Support_CreateDirectories(const char* path);
// Creates the folders of a file path (everything before its last separator); nothing for a path without
// one. False when they do not exist afterwards.
bool File_CreatePathDirectories(const char* path);
// Deletes the folder with everything below it. Symbolic links are removed themselves, never followed.
// Stops at the first entry that cannot be deleted and gives false.
bool Support_DeleteDirectory(const char* path);

// The per-run temporary folder, "qn_ttt_<n>" in $TMPDIR (else /tmp), made with mode 0700 by one atomic
// mkdir; a name that exists already is never adopted. False when none could be made.
bool Support_InitTempDirectory();
// A new copy of the temporary folder's path, or null when there is none.
char* Support_GetTempDirectory();
// Deletes the temporary folder and what it holds (shutdown).
void Support_DeleteTempDirectory();
