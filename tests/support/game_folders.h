// A game in <tmp>/game/g.win, run from its own folder, with its save area in <tmp>/data/<name>/: the
// two places the file functions read and write, made fresh for one test.
#pragma once

#include "core/save_area.h"
#include "support/temp_folder.h"

#include <string>

class GameFolders {
public:
    explicit GameFolders(const std::string& name = "Demo") : m_name(name) {
        m_tmp.SetEnv("XDG_DATA_HOME", m_tmp / "data");
        TempFolder::MakeDir(m_tmp / "game");
        TempFolder::Write(m_tmp / "game/g.win", "FORM");
        m_tmp.Chdir(m_tmp / "game");
        LoadSave_Reset();
        LoadSave_SetGamePath("g.win");
        LoadSave_SetGameName(name.c_str());
    }
    ~GameFolders() { LoadSave_Reset(); }
    GameFolders(const GameFolders&) = delete;
    GameFolders& operator=(const GameFolders&) = delete;

    // Full paths of a file in the game folder and in the save area.
    std::string Game(const std::string& file) const { return m_tmp / ("game/" + file); }
    std::string Save(const std::string& file) const { return m_tmp / ("data/" + m_name + "/" + file); }
    std::string Temp(const std::string& file) const { return m_tmp / file; }
    TempFolder& Folder() { return m_tmp; }

private:
    TempFolder m_tmp;
    std::string m_name;
};
