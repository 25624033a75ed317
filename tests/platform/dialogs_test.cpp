#include "platform/dialogs.h"

#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sys/stat.h>

namespace {

struct Completed {
    int32_t request;
    int32_t status;
    std::string text;
};
std::vector<Completed> g_completed;

void Record(int32_t request, int32_t status, const char* text, size_t length) {
    g_completed.push_back(Completed{request, status, std::string(text, length)});
}

struct DialogTest : ::testing::Test {
    CFakePlatform fake;
    void SetUp() override {
        fake.hasDisplay = true;
        Platform_SetBackend(&fake);
        Platform_SetUnattended(false);
        Dialog_SetRequestCompletion(Record);
        g_completed.clear();
    }
    void TearDown() override {
        // An open modeless form is answered so that it does not outlive the test.
        if (fake.openForm) fake.openForm->Press(fake.openForm->EscapeButton());
        Dialog_AsyncOpen();
        Dialog_SetRequestCompletion(nullptr);
        Platform_SetBackend(nullptr);
    }
};

} // namespace

TEST(DialogForm, EditsWithinTheUnitCapAndAnswersByKeys) {
    CDialogForm form(DialogKind::Login, "Login", "");
    // Invalid bytes and control characters are skipped; a character beyond 16 bits takes two units.
    form.Type("a\xFF\x01\xC3\xA9");
    EXPECT_EQ(form.Field(0), "a\xC3\xA9");
    form.Backspace();
    EXPECT_EQ(form.Field(0), "a");
    form.Key(VK_TAB);
    form.Type(std::string(kDialogEditUnits - 1, 'x').c_str());
    form.Type("\xF0\x9F\x98\x80y"); // the pair no longer fits, the last unit does
    EXPECT_EQ(form.Field(1).size(), kDialogEditUnits);
    EXPECT_EQ(form.Shown(1), std::string(kDialogEditUnits, '*'));
    form.Key(VK_ESCAPE);
    EXPECT_TRUE(form.Done());
    EXPECT_FALSE(form.Confirmed());
    form.Press(kDialogButtonOK); // a closed form keeps its answer
    EXPECT_EQ(form.Answer(), kDialogButtonCancel);

    CDialogForm question(DialogKind::Question, "", "Sure?");
    question.Click(question.Arrange().buttons[1].x + 1, question.Arrange().buttons[1].y + 1);
    EXPECT_EQ(question.Answer(), kDialogButtonNo);

    // A huge prompt shows its first lines only; a field shows the end of a text too long for it.
    std::string lines;
    for (int i = 0; i < 10000; ++i)
        lines += "line\n";
    EXPECT_LT(CDialogForm(DialogKind::Message, "", lines.c_str()).Arrange().height, 1000);
    EXPECT_EQ(DialogFont_FitTail("ab\xC3\xA9"
                                 "cd",
                                 25),
              "\xC3\xA9"
              "cd"); // 8 pixels a character here
}

TEST_F(DialogTest, ModalFormsAnswerAsThePlayerDoes) {
    std::string result = "kept";
    fake.formActions.push_back([](CDialogForm& f) {
        f.Backspace();
        f.Type("42");
        f.Key(VK_RETURN);
    });
    EXPECT_TRUE(Dialog_InputQuery("Cap", "How many?", "7", result));
    EXPECT_EQ(result, "42");
    ASSERT_EQ(fake.shownForms.size(), 1u);
    EXPECT_EQ(fake.shownForms[0].caption, "Cap");
    EXPECT_EQ(fake.shownForms[0].field0, "7");
    EXPECT_EQ(fake.openForm, nullptr);

    // Cancelled after editing: the result is left as it was.
    fake.formActions.push_back([](CDialogForm& f) { f.Type("9"); });
    fake.formActions.push_back([](CDialogForm& f) { f.Key(VK_ESCAPE); });
    EXPECT_FALSE(Dialog_InputQuery("Cap", "How many?", "7", result));
    EXPECT_EQ(result, "42");

    fake.formActions.push_back([](CDialogForm& f) { f.Press(kDialogButtonNo); });
    EXPECT_FALSE(Dialog_Question("Cap", "Sure?"));
}

TEST_F(DialogTest, WithoutSomeoneToAskEveryFormTakesItsDefault) {
    Platform_SetUnattended(true);
    std::string result;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(Dialog_InputQuery("Cap", "Name?", "Ann", result));
    EXPECT_TRUE(Dialog_Question("Cap", "Sure?"));
    EXPECT_TRUE(Dialog_LoginAsync("me", "secret", 3));
    const std::string said = testing::internal::GetCapturedStdout();
    Platform_SetUnattended(false);
    EXPECT_EQ(result, "Ann");
    EXPECT_TRUE(fake.shownForms.empty());
    EXPECT_NE(said.find("Question \"Cap\": Sure?\n(no one to ask: answered Yes)"), std::string::npos) << said;
    // The login answered at once: "me", NUL, "secret", the password at offset 3.
    ASSERT_EQ(g_completed.size(), 1u);
    EXPECT_EQ(g_completed[0].status, 3);
    EXPECT_EQ(g_completed[0].text, std::string("me\0secret", 9));
}

TEST_F(DialogTest, ModelessFormsCompleteTheirRequestOneAtATime) {
    EXPECT_TRUE(Dialog_LoginAsync("a#b", "pw", 5));
    EXPECT_TRUE(Dialog_AsyncOpen());
    EXPECT_FALSE(Dialog_MessageAsync("Cap", "later", 6)); // another is open
    fake.openForm->Key(VK_RETURN);
    EXPECT_FALSE(Dialog_AsyncOpen());
    // The user name holds a "#": the split is after its length.
    ASSERT_EQ(g_completed.size(), 1u);
    EXPECT_EQ(g_completed[0].request, 5);
    EXPECT_EQ(g_completed[0].status, 4);
    EXPECT_EQ(g_completed[0].text, std::string("a#b\0pw", 6));

    EXPECT_TRUE(Dialog_QuestionAsync("Cap", "Sure?", 7));
    fake.openForm->Press(kDialogButtonNo);
    EXPECT_TRUE(Dialog_LoginAsync("", "pw", 8)); // closes the answered question first
    fake.openForm->Key(VK_RETURN);
    EXPECT_TRUE(Dialog_InputQueryAsync("Cap", "Name?", "Bo", 9));
    fake.openForm->Key(VK_RETURN);
    Dialog_AsyncOpen();
    ASSERT_EQ(g_completed.size(), 4u);
    EXPECT_EQ(g_completed[1].status, 0); // "No"
    EXPECT_EQ(g_completed[1].text, "");
    EXPECT_EQ(g_completed[2].status, 0); // an empty user name
    EXPECT_EQ(g_completed[3].status, 1);
    EXPECT_EQ(g_completed[3].text, "Bo");

    // The run ends with a form open: it closes as cancelled.
    EXPECT_TRUE(Dialog_InputQueryAsync("Cap", "Name?", "Bo", 10));
    Dialog_CancelAsync();
    EXPECT_EQ(fake.openForm, nullptr);
    ASSERT_EQ(g_completed.size(), 5u);
    EXPECT_EQ(g_completed[4].status, 0);
}

// A modal form opens while a modeless one is open: the modeless form gives up its place for the time of
// the modal one, is shown again once that is answered and completes its request; later ones open.
TEST_F(DialogTest, AModalFormOverAModelessOneGivesItsPlaceBack) {
    EXPECT_TRUE(Dialog_QuestionAsync("Cap", "Go on?", 7));
    CDialogForm* modeless = fake.openForm;
    fake.formActions.push_back([](CDialogForm& f) {
        f.Type("x");
        f.Key(VK_RETURN);
    });
    std::string result;
    EXPECT_TRUE(Dialog_InputQuery("Cap", "Name?", "", result));
    EXPECT_EQ(result, "x");
    ASSERT_EQ(fake.openForm, modeless);
    ASSERT_EQ(fake.shownForms.size(), 3u);
    EXPECT_EQ(fake.shownForms[2].prompt, "Go on?");
    modeless->Key(VK_RETURN);
    EXPECT_FALSE(Dialog_AsyncOpen());
    ASSERT_EQ(g_completed.size(), 1u);
    EXPECT_EQ(g_completed[0].request, 7);
    EXPECT_EQ(g_completed[0].status, 1);
    EXPECT_TRUE(Dialog_MessageAsync("Cap", "Later", 8));
    ASSERT_NE(fake.openForm, nullptr);
    EXPECT_EQ(fake.openForm->Prompt(), "Later");
}

TEST(FileDialog, DefaultExtensionIsTheFirstPatternsSuffix) {
    EXPECT_EQ(FileDialog_DefaultExtension("Text (*.txt)|*.txt;*.log|All|*.*"), "txt");
    EXPECT_EQ(FileDialog_DefaultExtension("Saves|*.sav|All|*.*"), "sav");
    EXPECT_EQ(FileDialog_DefaultExtension("All|*.*"), "");
    EXPECT_EQ(FileDialog_DefaultExtension("no bar"), "");
    EXPECT_EQ(FileDialog_DefaultExtension(nullptr), "");
}

// A dialog tool standing in for zenity: it writes its arguments to a file and answers from the script.
TEST_F(DialogTest, FileDialogsRunTheDialogToolAndCancelWithoutOne) {
    TempFolder folder;
    const std::string tool = folder / "zenity";
    const std::string args = folder / "args.txt";
    const auto writeTool = [&](const std::string& body) {
        std::ofstream(tool) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << args << "'\n" << body << "\n";
        ::chmod(tool.c_str(), 0755);
    };
    const char* oldPath = std::getenv("PATH");
    const std::string savedPath = oldPath ? oldPath : "";
    ::setenv("PATH", folder.Path().c_str(), 1);

    writeTool("echo /home/player/slot1");
    std::string path;
    EXPECT_TRUE(FileDialog_Save("Saves|*.sav|All|*.*", "slot.sav", "/home/player", "Save", path));
    EXPECT_EQ(path, "/home/player/slot1.sav"); // the default extension added
    std::ifstream in(args);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find("--save\n--confirm-overwrite\n--filename=/home/player/slot.sav\n--title=Save\n"
                       "--file-filter=Saves | *.sav\n--file-filter=All | *.*\n"),
              std::string::npos)
        << all;

    writeTool("exit 1"); // cancelled
    path = "kept";
    EXPECT_FALSE(FileDialog_Open("All|*.*", "", nullptr, nullptr, path));
    EXPECT_EQ(path, "kept");

    // A tool that is found but is no program: the dialog is cancelled, and says why.
    std::ofstream(tool, std::ios::trunc) << "no program\n";
    ASSERT_EQ(FileDialog_Tool(), tool);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(FileDialog_Open("All|*.*", "", nullptr, nullptr, path));
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(path, "kept");
    EXPECT_EQ(said, "File dialog: " + tool + " could not start: " + std::strerror(ENOEXEC) + "\n");

    ::setenv("PATH", "/nonexistent", 1);
    EXPECT_EQ(FileDialog_Tool(), "");
    EXPECT_FALSE(FileDialog_Open("All|*.*", "", nullptr, nullptr, path));
    ::setenv("PATH", savedPath.c_str(), 1);
}
