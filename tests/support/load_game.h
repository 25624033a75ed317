// Loads bytes as the game file: the pre-pass, then the chunk walk, with the traces of both captured.
#pragma once

#include "core/memory.h"
#include "runner/game_load.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

// The file the tests load, kept until the next load (the loaded tables may point into it).
inline CGameFile& TestGameFile() {
    static CGameFile file;
    return file;
}

// Gives the walk's result; log (when given) receives what the load wrote to the standard output.
inline bool LoadGameBytes(const std::vector<uint8_t>& bytes, std::string* log) {
    Game_FreeData();
    CGameFile& file = TestGameFile();
    file = CGameFile::CopyOf(bytes.data(), bytes.size());
    testing::internal::CaptureStdout();
    Code_Load(file.Data(), file.Size());
    bool ok = LoadGameData(file);
    std::string text = testing::internal::GetCapturedStdout();
    if (log) *log = text;
    return ok;
}
