// The high-score table: its order, its file "hiscore.dat" and damaged files.
#include "world/highscore.h"

#include "support/game_folders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct HighScores : testing::Test {
    void SetUp() override {
        HighScore_Reset();
        HighScore_Clear();
    }
    void TearDown() override { HighScore_Reset(); }
};

// Little-endian words and raw bytes of a file.
struct File {
    std::string b;
    File& U(uint32_t v) {
        b.append(reinterpret_cast<const char*>(&v), 4);
        return *this;
    }
    File& Text(const std::string& t) {
        b += t;
        return *this;
    }
    // The length word at offset 4 becomes the file's length.
    std::string Done() {
        const uint32_t n = static_cast<uint32_t>(b.size());
        std::memcpy(b.data() + 4, &n, 4);
        return b;
    }
};

TEST_F(HighScores, ScoresGoAfterEqualOnesAndTheTableKeepsTen) {
    for (int v : {100, 300, 200, 200})
        HighScore_Add(("p" + std::to_string(v)).c_str(), v);
    EXPECT_EQ(HighScore_GetValue(1), 300);
    EXPECT_EQ(HighScore_GetValue(3), 200);
    EXPECT_EQ(HighScore_LastAdded(), 2);
    EXPECT_EQ(HighScore_GetValue(4), 100);
    EXPECT_STREQ(HighScore_GetName(5), "<nobody>");
    EXPECT_EQ(HighScore_GetValue(5), 0);
    EXPECT_STREQ(HighScore_GetName(0), "");
    EXPECT_STREQ(HighScore_GetName(11), "");
    EXPECT_EQ(HighScore_GetValue(11), 0);
    for (int i = 0; i < 10; ++i)
        HighScore_Add("x", 1000);
    HighScore_SaveFile(nullptr); // clears the changed mark, writes nothing
    HighScore_Add("late", 50);
    EXPECT_FALSE(HighScore_Changed());
    HighScore_Clear();
    EXPECT_FALSE(HighScore_Changed());
    EXPECT_EQ(HighScore_GetValue(1), 0);
}

TEST_F(HighScores, TheFileIsWrittenEntryByEntryAndReadBack) {
    GameFolders folders;
    // A name of 5 bytes (three bytes of padding), one of 4 (none), none at all with a value, and one of
    // 300 bytes cut to 256 at a character boundary: 255 ASCII bytes and then a two-byte character.
    const std::string longName = std::string(255, 'a') + "\xC3\xA9" + std::string(43, 'b');
    HighScore_Add("Alice", 500);
    HighScore_Add("Bobo", 400);
    HighScore_Add(nullptr, 300);
    HighScore_Add(longName.c_str(), 200);
    const std::string path = folders.Save("deep/folder/hiscore.dat");
    HighScore_SaveFile(path.c_str());
    EXPECT_FALSE(HighScore_Changed());

    File f;
    f.Text("HISC").U(0);
    f.U(5).Text("Alice").Text("\xF0\xF0\xF0").U(500);
    f.U(4).Text("Bobo").U(400);
    f.U(0).U(300);
    f.U(255).Text(std::string(255, 'a')).Text("\xF0").U(200);
    for (int i = 0; i < 6; ++i)
        f.U(8).Text("<nobody>").U(0);
    const std::string expected = f.Done();
    ASSERT_EQ(TempFolder::Read(path), expected);

    HighScore_Clear();
    HighScore_LoadFile(path.c_str());
    EXPECT_STREQ(HighScore_GetName(1), "Alice");
    EXPECT_STREQ(HighScore_GetName(3), "");
    EXPECT_EQ(HighScore_GetValue(3), 300);
    EXPECT_EQ(std::string(HighScore_GetName(4)), std::string(255, 'a'));
    EXPECT_EQ(HighScore_Encode(), expected);
}

TEST_F(HighScores, DamagedFilesLeaveTheRestOfTheTable) {
    GameFolders folders;
    const std::string path = folders.Save("hiscore.dat");
    TempFolder::MakeDir(folders.Temp("data"));
    TempFolder::MakeDir(folders.Save(""));
    auto load = [&](const std::string& bytes) {
        HighScore_Clear();
        HighScore_SetEntry(2, "kept", 7);
        TempFolder::Write(path, bytes);
        HighScore_LoadFile(path.c_str());
    };
    const std::string two = File().Text("HISC").U(0).U(1).Text("A\xF0\xF0\xF0").U(9).U(2).Text("BB\xF0\xF0").U(8).Done();

    load(two); // two whole entries; the rest keep their contents
    EXPECT_STREQ(HighScore_GetName(2), "BB");
    EXPECT_STREQ(HighScore_GetName(3), "<nobody>");

    load("HISX" + two.substr(4)); // not a table
    EXPECT_STREQ(HighScore_GetName(1), "<nobody>");

    std::string longer = two;
    longer[4] = 100; // the length word beyond the file
    load(longer);
    EXPECT_STREQ(HighScore_GetName(1), "<nobody>");

    std::string shorter = two;
    shorter[4] = 8; // no entry lies within the length
    load(shorter);
    EXPECT_STREQ(HighScore_GetName(1), "<nobody>");
    EXPECT_STREQ(HighScore_GetName(2), "kept");

    std::string cut = two;
    cut[4] = static_cast<char>(two.size() - 2); // the length ends inside the second value
    load(cut);
    EXPECT_STREQ(HighScore_GetName(1), "A");
    EXPECT_STREQ(HighScore_GetName(2), "kept");

    load(File().Text("HISC").U(0).U(257).Text(std::string(260, 'n')).U(1).Done()); // a name too long
    EXPECT_STREQ(HighScore_GetName(1), "<nobody>");

    load("HIS");
    EXPECT_EQ(HighScore_GetValue(2), 7);
}

// The file lives in the save area; with the save area below the working folder (a home folder, say) the
// path is mapped once and found again.
TEST_F(HighScores, TheTableComesBackFromTheSaveArea) {
    TempFolder home;
    home.Chdir(home.Path());
    home.SetEnv("XDG_DATA_HOME", home / "data");
    LoadSave_Reset();
    LoadSave_SetGamePath((home / "g.win").c_str());
    LoadSave_SetGameName("Demo");
    HighScore_Add("Ann", 12);
    HighScore_Save();
    EXPECT_TRUE(TempFolder::Exists(home / "data/Demo/hiscore.dat"));
    HighScore_Clear();
    HighScore_Load();
    EXPECT_STREQ(HighScore_GetName(1), "Ann");
    EXPECT_EQ(HighScore_GetValue(1), 12);
    // Unchanged since the load: nothing is written.
    std::remove((home / "data/Demo/hiscore.dat").c_str());
    HighScore_Save();
    EXPECT_FALSE(TempFolder::Exists(home / "data/Demo/hiscore.dat"));
    LoadSave_Reset();
}

} // namespace
