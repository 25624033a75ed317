// File services of the library that the save area and the file-find support use.
#pragma once

// Creates the folder part of path (cut at the last backslash, else at the last slash) with every
// missing parent; nothing for a path without a separator.
void File_CreatePathDirectories(const char* path);
// Closes the files the file built-ins hold open (shutdown).
void File_CloseAll();
// Adds a found name to the file-find result list unless it is "." or ".." or already listed.
void FileFind_AddName(const char* name);
