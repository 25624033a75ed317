#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "recording_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Platform : ::testing::Test {
    CFakePlatform fake{800, 600};
    void SetUp() override {
        RecordingWindow::seen.clear();
        Platform_SetBackend(&fake);
        Platform_SetUnattended(false);
    }
    void TearDown() override { Platform_SetBackend(nullptr); }

    bool Create(uint32_t style = WS_CAPTION) {
        PlatformWindowDesc desc;
        desc.clientWidth = 320;
        desc.clientHeight = 200;
        desc.style = style;
        return Platform_CreateWindow(desc, &RecordingWindow::Proc);
    }
    static bool Pump() { return RecordingWindow::Pump(); }
    static std::vector<uint32_t> Seen() { return RecordingWindow::Kinds(); }
};

} // namespace

TEST_F(Platform, WindowIsCreatedHiddenAndCentredAndKeepsItsSettings) {
    ASSERT_TRUE(Create());
    EXPECT_FALSE(Create());  // one main window
    EXPECT_TRUE(fake.window.exists);
    EXPECT_FALSE(fake.window.visible);
    Platform_ShowWindow();
    EXPECT_TRUE(fake.window.visible);

    PlatformRect r;
    ASSERT_TRUE(Platform_GetWindowRect(r));
    EXPECT_EQ(r.left, 240 - CFakePlatform::kFrameSide);
    EXPECT_EQ(r.top, 200 - CFakePlatform::kFrameTop);
    ASSERT_TRUE(Platform_MoveWindow(0, 0));
    int32_t x = 5, y = 6;
    ASSERT_TRUE(Platform_ClientToScreen(x, y));
    EXPECT_EQ(x, 5 + CFakePlatform::kFrameSide);
    EXPECT_EQ(y, 6 + CFakePlatform::kFrameTop);

    Platform_SetWindowText(nullptr);
    EXPECT_EQ(fake.window.caption, "");
    Platform_SetWindowText("Caf\xC3\xA9");
    EXPECT_EQ(fake.window.caption, "Caf\xC3\xA9");
    Platform_SetCursor(kCursorTable[1]);
    EXPECT_EQ(fake.window.cursor, IDC_NONE);

    int32_t w, h;
    fake.InjectMinimize();
    ASSERT_TRUE(Platform_GetClientSize(w, h));
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    EXPECT_FALSE(Platform_SetClientSize(0, 10));

    PlatformDisplayMode mode;
    ASSERT_TRUE(Platform_GetDesktopMode(mode));
    EXPECT_EQ(mode.width, 800);
    EXPECT_EQ(mode.height, 600);
}

TEST_F(Platform, MessagesArriveInOrderAndTheKeyStateFollowsThem) {
    ASSERT_TRUE(Create());
    Platform_PostMessage(WM_NULL, 1);
    fake.InjectKey(VK_RSHIFT, true);
    fake.InjectKey('A', true);
    fake.InjectKey(VK_RSHIFT, false);
    // Input waiting in the backend does not count until its message is taken.
    EXPECT_EQ(Platform_GetKeyState(VK_RSHIFT), 0);
    EXPECT_FALSE(Pump());
    EXPECT_EQ(Seen(), (std::vector<uint32_t>{WM_NULL, WM_KEYDOWN, WM_KEYDOWN, WM_KEYUP}));
    EXPECT_LT(RecordingWindow::rightShiftAtKeyDown, 0);  // the right shift was down while 'A' went down
    EXPECT_EQ(Platform_GetKeyState(VK_RSHIFT), 0);
    EXPECT_EQ(Platform_GetKeyState(-1), 0);
    EXPECT_EQ(Platform_GetKeyState(256), 0);
}

TEST_F(Platform, CloseDestroysTheWindowAndEndsThePump) {
    ASSERT_TRUE(Create());
    fake.InjectClose();
    fake.InjectKey('B', true);  // queued behind the close: its window is gone when it comes
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Seen(), (std::vector<uint32_t>{WM_CLOSE, WM_DESTROY}));
    EXPECT_FALSE(Platform_IsWindow());
    EXPECT_FALSE(fake.window.exists);
    EXPECT_FALSE(Pump());
    EXPECT_EQ(RecordingWindow::seen.size(), 2u);
    // Without a window the calls fail rather than pretend.
    int32_t w, h;
    EXPECT_FALSE(Platform_GetClientSize(w, h));
    EXPECT_FALSE(Platform_SetFullscreen(true));
    // A new window can follow.
    EXPECT_TRUE(Create());
}

// A request to close (a stop signal's) made before there is a window, or while the runner holds them
// during its start-up, waits for the window instead of being lost.
TEST_F(Platform, AskingToCloseWaitsForTheWindowAndForTheHoldToEnd) {
    Platform_AskToClose();
    EXPECT_FALSE(Pump());
    Platform_HoldCloseRequests(true);
    ASSERT_TRUE(Create());
    EXPECT_FALSE(Pump());
    EXPECT_TRUE(Seen().empty());
    Platform_HoldCloseRequests(false);
    EXPECT_TRUE(Pump());
    EXPECT_EQ(Seen(), (std::vector<uint32_t>{WM_CLOSE, WM_DESTROY}));
    // Taken once: the next window stays.
    ASSERT_TRUE(Create());
    EXPECT_FALSE(Pump());
    EXPECT_TRUE(Platform_IsWindow());
}

TEST_F(Platform, DefaultProcedureMakesAltEnterAKeyMenuCommand) {
    ASSERT_TRUE(Create());
    fake.InjectKey(VK_LMENU, true);
    fake.InjectKey(VK_RETURN, true);
    Pump();
    EXPECT_EQ(Seen(), (std::vector<uint32_t>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR, WM_SYSCOMMAND}));
    EXPECT_EQ(RecordingWindow::seen.back().wParam, SC_KEYMENU);
    EXPECT_EQ(RecordingWindow::seen.back().lParam, 13);

    // Over the client area the default shows the arrow.
    Platform_SetCursor(IDC_HAND);
    fake.InjectMouseMove(3, 4);
    Pump();
    EXPECT_EQ(fake.window.cursor, IDC_ARROW);
    EXPECT_EQ(RecordingWindow::seen.back().message, WM_MOUSEMOVE);

    // A procedure-less window falls back to the default: WM_CLOSE still destroys it.
    Platform_DestroyWindow();
    EXPECT_TRUE(Pump());  // the procedure's quit
    PlatformWindowDesc desc;
    desc.clientWidth = desc.clientHeight = 16;
    ASSERT_TRUE(Platform_CreateWindow(desc, nullptr));
    fake.InjectClose();
    Pump();
    EXPECT_FALSE(Platform_IsWindow());
}

TEST_F(Platform, MessageBoxesAnswerByThemselvesWhenNoOneCanAnswer) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(Platform_MessageBox("Really?", "Game", MB_YESNO | MB_DEFBUTTON2), IDNO);
    EXPECT_EQ(Platform_MessageBox("Oops", "Game", MB_ABORTRETRYIGNORE), IDABORT);
    const std::string log = testing::internal::GetCapturedStdout();
    EXPECT_NE(log.find("\"Game\": Really?"), std::string::npos);
    EXPECT_NE(log.find("answered No"), std::string::npos);
    EXPECT_TRUE(fake.shownBoxes.empty());

    // With a display the player answers; a box the system cannot show falls back to the default.
    fake.hasDisplay = true;
    fake.answers = {IDCANCEL};
    EXPECT_EQ(Platform_MessageBox("Save?", "Game", MB_YESNOCANCEL), IDCANCEL);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Platform_MessageBox("Save?", "Game", MB_YESNOCANCEL), IDYES);
    testing::internal::GetCapturedStdout();
    ASSERT_EQ(fake.shownBoxes.size(), 2u);
    EXPECT_EQ(fake.shownBoxes[0].text, "Save?");

    // Unattended runs never ask.
    Platform_SetUnattended(true);
    EXPECT_FALSE(Platform_IsInteractive());
    testing::internal::CaptureStdout();
    EXPECT_EQ(Platform_MessageBox(nullptr, nullptr, MB_OK), IDOK);
    testing::internal::GetCapturedStdout();
    Platform_SetUnattended(false);
    EXPECT_EQ(fake.shownBoxes.size(), 2u);
}

TEST(MessageBoxButtons, FollowTheBoxType) {
    const MessageBoxButtons yesNoCancel = MessageBox_Buttons(MB_YESNOCANCEL | MB_DEFBUTTON3 | MB_ICONQUESTION);
    EXPECT_EQ(yesNoCancel.count, 3);
    EXPECT_EQ(yesNoCancel.ids[yesNoCancel.defaultIndex], IDCANCEL);
    EXPECT_EQ(yesNoCancel.ids[yesNoCancel.escapeIndex], IDCANCEL);
    const MessageBoxButtons yesNo = MessageBox_Buttons(MB_YESNO | MB_DEFBUTTON3);  // no third button
    EXPECT_EQ(yesNo.defaultIndex, 0);
    EXPECT_EQ(yesNo.escapeIndex, -1);
    const MessageBoxButtons unknown = MessageBox_Buttons(0xF);
    EXPECT_EQ(unknown.count, 1);
    EXPECT_EQ(unknown.ids[0], IDOK);
    EXPECT_STREQ(MessageBox_ButtonName(IDTRYAGAIN), "Try Again");
    EXPECT_STREQ(MessageBox_ButtonName(99), "");
}

TEST(MessageBoxText, LongLinesWrapAtBlanksAndWithinLongWords) {
    EXPECT_EQ(MessageBox_WrapText("short line\nkept", 10), "short line\nkept");
    EXPECT_EQ(MessageBox_WrapText("one two three four", 9), "one two\nthree\nfour");
    EXPECT_EQ(MessageBox_WrapText("abcdefghij klm", 4), "abcd\nefgh\nij\nklm");
    // Characters, not bytes: the 2-byte letters are never split.
    EXPECT_EQ(MessageBox_WrapText("\xC3\xA9\xC3\xA9\xC3\xA9", 2), "\xC3\xA9\xC3\xA9\n\xC3\xA9");
    // A run-time error's long line fits 96 columns (a 1024-pixel screen) after wrapping.
    const std::string wrapped = MessageBox_WrapText(std::string(150, 'x') + " " + std::string(60, 'y'), 96);
    size_t longest = 0, start = 0;
    for (size_t end; (end = wrapped.find('\n', start)) != std::string::npos; start = end + 1)
        longest = std::max(longest, end - start);
    EXPECT_LE(std::max(longest, wrapped.size() - start), 96u);
}

TEST(PlatformWithoutBackend, FailsHonestlyAndStillKeepsTime) {
    Platform_SetBackend(nullptr);
    PlatformWindowDesc desc;
    desc.clientWidth = desc.clientHeight = 16;
    EXPECT_FALSE(Platform_CreateWindow(desc, &RecordingWindow::Proc));
    EXPECT_FALSE(Platform_SetClipboardText("x"));
    EXPECT_FALSE(Platform_ClipboardHasText());
    PlatformDisplayMode mode;
    EXPECT_FALSE(Platform_GetDesktopMode(mode));
    EXPECT_FALSE(Platform_IsInteractive());
    PlatformMessage m;
    EXPECT_FALSE(Platform_PeekMessage(m));
    const int64_t before = Platform_GetMicroseconds();
    Platform_Sleep(2);
    EXPECT_GE(Platform_GetMicroseconds() - before, 2000);
}
