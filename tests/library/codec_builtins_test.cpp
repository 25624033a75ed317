#include "builtin_test_util.h"

#include "core/save_area.h"
#include "support/game_folders.h"

#include <gtest/gtest.h>

TEST(CodecBuiltIns, Base64OfStrings) {
    EXPECT_EQ(CallText("base64_encode", {""}), "");
    EXPECT_EQ(CallText("base64_encode", {"a"}), "YQ==");
    EXPECT_EQ(CallText("base64_encode", {"ab"}), "YWI=");
    EXPECT_EQ(CallText("base64_encode", {"\xC3\xA9t\xC3\xA9"}), "w6l0w6k=");
    EXPECT_EQ(CallText("base64_decode", {"w6l0w6k="}), "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(CallText("base64_decode", {"YWJj\nZGVm"}), "abc");
    EXPECT_EQ(CallText("base64_decode", {"YQBi"}), "a") << "cut at a decoded zero byte";
    EXPECT_EQ(CallText("base64_decode", {"YWI"}), "ab");
    EXPECT_EQ(CallText("base64_decode", {"YW"}), "a");
    // Wrong arguments give a string without text, and no error.
    for (const char* name : {"base64_encode", "base64_decode", "md5_string_utf8", "sha1_file"}) {
        Result r = CallBuiltIn(name, {5});
        EXPECT_TRUE(r.IsString());
        EXPECT_EQ(r.v.str, nullptr);
        EXPECT_EQ(CallBuiltIn(name, {"a", "b"}).v.str, nullptr);
        EXPECT_EQ(CallBuiltIn(name, {Arg(static_cast<const char*>(nullptr))}).v.str, nullptr);
    }
}

TEST(CodecBuiltIns, DigestsOfStrings) {
    EXPECT_EQ(CallText("md5_string_utf8", {"abc"}), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(CallText("sha1_string_utf8", {"abc"}), "a9993e364706816aba3e25717850c26c9cd0d89d");
    // The unicode forms digest 16-bit little-endian units: "a" is the bytes 61 00, "é" E9 00, U+1F600 its
    // surrogate pair 3D D8 00 DE, and a stray byte its own code ("x", 0x80, "y": 78 00 80 00 79 00).
    EXPECT_EQ(CallText("md5_string_unicode", {"a"}), "4144e195f46de78a3623da7364d04f11");
    EXPECT_EQ(CallText("sha1_string_unicode", {"a"}), "0a04b971b03da607ce6c455184037b660ca89f78");
    EXPECT_EQ(CallText("md5_string_unicode", {"\xC3\xA9"}), "ed71e8ffd3d8c47c1a2e22c53cd384aa");
    EXPECT_EQ(CallText("sha1_string_unicode", {"\xF0\x9F\x98\x80"}), "bd4b6549a78e142a44eb9a0a512f83a787e96967");
    EXPECT_EQ(CallText("md5_string_unicode", {"x\x80y"}), "5e1ed10817e52d4397439940407e6bdf");
    EXPECT_EQ(CallText("md5_string_unicode", {""}), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(CodecBuiltIns, DigestsOfFilesPreferTheSaveArea) {
    GameFolders folders;
    TempFolder::Write(folders.Game("f.txt"), "abc");
    EXPECT_EQ(CallText("md5_file", {"f.txt"}), "900150983cd24fb0d6963f7d28e17f72");
    ASSERT_TRUE(LoadSave_WriteFile("f.txt", "ab", 2));
    EXPECT_EQ(CallText("md5_file", {"f.txt"}), "187ef4436122d1cc2f40dc2b92f0eba0");
    EXPECT_EQ(CallText("sha1_file", {"f.txt"}), "da23614e02469a0d7c7bd1bdab5c9c474b1904dc");
    EXPECT_EQ(CallBuiltIn("md5_file", {"missing.txt"}).v.str, nullptr);
    TempFolder::Write(folders.Temp("outside.txt"), "abc");
    testing::internal::CaptureStdout();
    EXPECT_EQ(CallBuiltIn("sha1_file", {"../outside.txt"}).v.str, nullptr);
    testing::internal::GetCapturedStdout();
}
