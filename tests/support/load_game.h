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
    auto* data = static_cast<uint8_t*>(MEM_ALLOC(bytes.size() + 1));
    if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
    CGameFile& file = TestGameFile();
    file = CGameFile(data, static_cast<uint32_t>(bytes.size()));
    testing::internal::CaptureStdout();
    Code_Load(data, static_cast<uint32_t>(bytes.size()));
    bool ok = LoadGameData(file);
    std::string text = testing::internal::GetCapturedStdout();
    if (log) *log = text;
    return ok;
}
