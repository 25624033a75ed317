#include "library/files.h"
#include "library/os_events.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

TEST(OSPauseEvent, ADeactivationShowsForExactlyOneFrame) {
    OS_UpdatePauseEvent();
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
    OS_RaisePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame()); // not before the next frame
    OS_UpdatePauseEvent();
    EXPECT_TRUE(OS_IsPausedThisFrame());
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
    // Two events within one frame still give one paused frame.
    OS_RaisePauseEvent();
    OS_RaisePauseEvent();
    OS_UpdatePauseEvent();
    EXPECT_TRUE(OS_IsPausedThisFrame());
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
}

class PathDirectoriesTest : public testing::Test {
protected:
    void SetUp() override {
        root = std::filesystem::temp_directory_path() / ("pathdirs." + std::to_string(getpid()));
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root);
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::filesystem::path root;
};

TEST_F(PathDirectoriesTest, CreatesEveryMissingFolderOfTheFolderPart) {
    const std::string file = (root / "a" / "b" / "c" / "save.dat").string();
    File_CreatePathDirectories(file.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(root / "a" / "b" / "c"));
    EXPECT_FALSE(std::filesystem::exists(file));
    // Again, with everything there already.
    File_CreatePathDirectories(file.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(root / "a" / "b" / "c"));
}

TEST_F(PathDirectoriesTest, CutsAtTheLastBackslashFirst) {
    const std::string file = (root / "x").string() + "\\y/z";
    File_CreatePathDirectories(file.c_str());
    EXPECT_TRUE(std::filesystem::is_directory(root / "x"));
    EXPECT_FALSE(std::filesystem::exists(root / "x\\y"));
}

TEST_F(PathDirectoriesTest, APathWithoutSeparatorCreatesNothing) {
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(root);
    File_CreatePathDirectories("plain.txt");
    File_CreatePathDirectories("");
    File_CreatePathDirectories(nullptr);
    EXPECT_TRUE(std::filesystem::is_empty(root));
    std::filesystem::current_path(cwd);
}
