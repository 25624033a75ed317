// File services of the library that the shutdown and the file-find support use. (Folder creation for
// save-area writes, File_CreatePathDirectories, is core/files.h's.)
#pragma once

// Closes the files the file built-ins hold open (shutdown).
void File_CloseAll();
// Adds a found name to the file-find result list unless it is "." or ".." or already listed.
void FileFind_AddName(const char* name);
