#include "world/interaction_builtins.h"

#include "core/save_area.h"
#include "io/window.h"
#include "library/builtin_test_util.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "support/temp_folder.h"
#include "world/highscore.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

namespace {

struct InteractionTest : ::testing::Test {
    CFakePlatform fake;
    void SetUp() override {
        fake.hasDisplay = true;
        Platform_SetBackend(&fake);
        Code_Function_Free();
        InitInteractionFunctions();
        Window_SetCaption("My Game");
        HighScore_Reset();
        HighScore_Clear();
    }
    void TearDown() override {
        HighScore_Reset();
        Interaction_Reset();
        Window_Reset();
        Code_Function_Free();
        Platform_SetBackend(nullptr);
    }
};

} // namespace

TEST_F(InteractionTest, MessagesShowNumbersAsTextUnderTheGameCaption) {
    fake.answers = {1, 1, 1};
    EXPECT_EQ(CallReal("show_message", {2.5}), 1);
    CallBuiltIn("show_message", {3.0});
    CallBuiltIn("show_message", {"a#b\\#c"});
    ASSERT_EQ(fake.shownBoxes.size(), 3u);
    EXPECT_EQ(fake.shownBoxes[0].text, "2.50");
    EXPECT_EQ(fake.shownBoxes[0].caption, "My Game");
    EXPECT_EQ(fake.shownBoxes[1].text, "3");
    EXPECT_EQ(fake.shownBoxes[2].text, "a\rb#c");
}

TEST_F(InteractionTest, QueriesGiveTheAnswerTheDefaultOrNothing) {
    fake.formActions.push_back([](CDialogForm& f) {
        f.Backspace();
        f.Type("12.5");
        f.Key(VK_RETURN);
    });
    EXPECT_EQ(CallReal("get_integer", {"How many?", 5}), 12.5);
    EXPECT_EQ(fake.shownForms.back().field0, "5");
    fake.formActions.push_back([](CDialogForm& f) { f.Key(VK_ESCAPE); });
    EXPECT_EQ(CallReal("get_integer", {"How many?", 2.7}), 3); // the default, rounded
    fake.formActions.push_back([](CDialogForm& f) {
        f.Backspace();
        f.Type("x");
        f.Key(VK_RETURN);
    });
    EXPECT_EQ(CallReal("get_integer", {"How many?", 1}), 0); // not a number
    fake.formActions.push_back([](CDialogForm& f) { f.Key(VK_ESCAPE); });
    EXPECT_EQ(CallText("get_string", {"Name?", 1.5}), "");
    EXPECT_EQ(fake.shownForms.back().field0, "1.50");
}

TEST_F(InteractionTest, HighScoresKeepTheBestTen) {
    CallBuiltIn("highscore_add", {"a", 100});
    CallBuiltIn("highscore_add", {"b", 300});
    CallBuiltIn("highscore_add", {"c", 200});
    CallBuiltIn("highscore_add", {"d", 200});
    EXPECT_EQ(CallText("highscore_name", {1}), "b");
    EXPECT_EQ(CallText("highscore_name", {3}), "d"); // after the equal score
    EXPECT_EQ(CallReal("highscore_value", {4}), 100);
    EXPECT_EQ(CallText("highscore_name", {5}), "<nobody>");
    EXPECT_EQ(CallText("highscore_name", {11}), "");
    EXPECT_EQ(CallReal("highscore_value", {0}), 0);
    CallBuiltIn("highscore_set_strings", {"Best", "-", "bye"});
    CallBuiltIn("highscore_clear");
    EXPECT_EQ(CallText("highscore_name", {1}), "-");
}

TEST_F(InteractionTest, AChosenFileMayBeUsedOutsideTheSaveArea) {
    TempFolder folder;
    const std::string tool = folder / "zenity";
    std::ofstream(tool) << "#!/bin/sh\necho /elsewhere/level.txt\n";
    ::chmod(tool.c_str(), 0755);
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", folder.Path().c_str(), 1);
    EXPECT_EQ(CallText("get_open_filename", {"Levels|*.txt", ""}), "/elsewhere/level.txt");
    EXPECT_EQ(CallText("get_save_filename", {5, ""}), ""); // not a text: no dialog
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_TRUE(Support_IsChosenFile(CHOSEN_OPENED, "/elsewhere/level.txt"));
    EXPECT_FALSE(Support_IsChosenFile(CHOSEN_SAVED, "/elsewhere/level.txt"));
    Support_ClearChosenFiles();
}
