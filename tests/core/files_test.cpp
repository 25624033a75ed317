#include "core/files.h"

#include "support/owned_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>

TEST(SupportPaths, SplitIntoParts) {
    EXPECT_EQ(Take(Support_ExtractFileDir("file.txt")), "");
    EXPECT_EQ(Take(Support_ExtractFileDir("/a/b/c.txt")), "/a/b");
    EXPECT_EQ(Take(Support_ExtractFileDir("/c.txt")), "");
    EXPECT_EQ(Take(Support_ExtractFileDir("a/b\\c/d")), "a/b");
    EXPECT_EQ(Take(Support_ExtractFileName("a/b\\c/d")), "c/d");
    EXPECT_EQ(Take(Support_ExtractFileName("plain")), "plain");
    EXPECT_EQ(Take(Support_ExtractFileExt("dir.v2/name")), "");
    EXPECT_EQ(Take(Support_ExtractFileExt("dir/name.tar.gz")), ".gz");
    EXPECT_EQ(Take(Support_ExtractFileDrive("/a/b")), "");
    EXPECT_EQ(Take(Support_ExtractFileDrive("C:\\games\\a.txt")), "C:");
    EXPECT_EQ(Take(Support_ExtractFileDrive("C")), "");

    char one[] = "/";
    Support_StripTrailingBackslash(one);
    EXPECT_STREQ(one, "/");
    char two[] = "ab\\";
    Support_StripTrailingBackslash(two);
    EXPECT_STREQ(two, "ab");
}

TEST(SupportPaths, CreateAndDeleteFolders) {
    TempFolder tmp;
    EXPECT_FALSE(Support_CreateDirectories(nullptr));
    EXPECT_FALSE(Support_CreateDirectories(""));
    EXPECT_TRUE(Support_CreateDirectories("/"));
    EXPECT_TRUE(Support_CreateDirectories((tmp / "a/b/c/").c_str()));
    EXPECT_TRUE(Support_DirectoryExists((tmp / "a/b/c").c_str()));
    EXPECT_TRUE(File_CreatePathDirectories((tmp / "x/y/file.txt").c_str()));
    EXPECT_TRUE(Support_DirectoryExists((tmp / "x/y").c_str()));
    EXPECT_FALSE(TempFolder::Exists(tmp / "x/y/file.txt"));

    TempFolder::Write(tmp / "a/b/c/f", "1");
    TempFolder::Write(tmp / "a/top", "2");
    EXPECT_TRUE(Support_FileExists((tmp / "a/top").c_str()));
    EXPECT_FALSE(Support_FileExists((tmp / "a/b").c_str()));
    EXPECT_FALSE(Support_FileExists("/dev/null"));
    EXPECT_EQ(File_Attributes((tmp / "a/b").c_str()), FILE_ATTR_DIRECTORY);
    EXPECT_EQ(File_Attributes((tmp / "a/top").c_str()), FILE_ATTR_ARCHIVE);
    EXPECT_EQ(File_Attributes((tmp / "missing").c_str()), 0);

    // Links inside the tree are removed, not followed.
    TempFolder::MakeDir(tmp / "keep");
    TempFolder::Write(tmp / "keep/precious", "3");
    ASSERT_EQ(symlink((tmp / "keep").c_str(), (tmp / "a/b/link").c_str()), 0);
    EXPECT_TRUE(Support_DeleteDirectory((tmp / "a").c_str()));
    EXPECT_FALSE(TempFolder::Exists(tmp / "a"));
    EXPECT_EQ(TempFolder::Read(tmp / "keep/precious"), "3");
    // A link given as the tree itself is not followed either.
    ASSERT_EQ(symlink((tmp / "keep").c_str(), (tmp / "l2").c_str()), 0);
    EXPECT_FALSE(Support_DeleteDirectory((tmp / "l2").c_str()));
    EXPECT_TRUE(TempFolder::Exists(tmp / "keep/precious"));
}

TEST(SupportTemp, MadePrivateAndRemoved) {
    TempFolder tmp;
    tmp.SetEnv("TMPDIR", tmp.Path());
    ASSERT_TRUE(Support_InitTempDirectory());
    std::string path = Take(Support_GetTempDirectory());
    ASSERT_EQ(path.rfind(tmp / "qn_ttt_", 0), 0u);
    int n = std::stoi(path.substr((tmp / "qn_ttt_").size()));
    EXPECT_GE(n, 0);
    EXPECT_LE(n, 100000);
    struct stat st;
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    TempFolder::Write(path + "/inner", "x");
    Support_DeleteTempDirectory();
    EXPECT_FALSE(TempFolder::Exists(path));
    EXPECT_EQ(Support_GetTempDirectory(), nullptr);
}
