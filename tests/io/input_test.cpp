#include "io_fixture.h"

#include "script/buffer.h"

#include <cstring>
#include <string>
#include <tuple>

namespace {

using Input = MainWindowTest;

TEST_F(Input, HeldKeyIsPressedOnOneStepAndDownUntilReleased) {
    ASSERT_TRUE(Create());
    fake.InjectKey('A', true);
    Step();
    EXPECT_EQ(IO_KeyCheckPressed('A'), 1);
    EXPECT_EQ(IO_KeyCheck('A'), 1);
    EXPECT_EQ(IO_GetKey(), 'A');
    EXPECT_EQ(IO_GetLastKey(), 'A');
    fake.InjectKey('A', true, true);
    fake.InjectKey('A', true, true);
    Step();
    EXPECT_EQ(IO_KeyCheckPressed('A'), 0);
    EXPECT_EQ(IO_KeyCheck('A'), 1);
    fake.InjectKey('A', false);
    Step();
    EXPECT_EQ(IO_KeyCheck('A'), 0);
    EXPECT_EQ(IO_KeyCheckReleased('A'), 1);
    EXPECT_EQ(IO_GetKey(), 0);
    EXPECT_EQ(IO_GetLastKey(), 'A');
    Step();
    EXPECT_EQ(IO_KeyCheckReleased('A'), 0);
}

TEST_F(Input, KeyOrButtonPressedAndReleasedBetweenStepsIsBothAndNotDown) {
    ASSERT_TRUE(Create());
    fake.InjectKeyPress(VK_SPACE);
    fake.InjectMouseMove(5, 5);
    fake.InjectMouseButton(3, true);
    fake.InjectMouseButton(3, false);
    Step();
    EXPECT_EQ(IO_KeyCheckPressed(VK_SPACE), 1);
    EXPECT_EQ(IO_KeyCheckReleased(VK_SPACE), 1);
    EXPECT_EQ(IO_KeyCheck(VK_SPACE), 0);
    EXPECT_EQ(IO_MouseCheckPressed(3, 0), 1);
    EXPECT_EQ(IO_MouseCheckReleased(3, 0), 1);
    EXPECT_EQ(IO_MouseCheck(3, 0), 0);
}

TEST_F(Input, ModifiersAreAlsoRecordedUnderTheirSideCodes) {
    ASSERT_TRUE(Create());
    fake.InjectKey(VK_RSHIFT, true);
    fake.InjectKey(VK_LMENU, true);
    fake.InjectKey(VK_RCONTROL, true);
    Step();
    for (int k : {VK_SHIFT, VK_RSHIFT, VK_MENU, VK_LMENU, VK_CONTROL, VK_RCONTROL}) EXPECT_EQ(IO_KeyCheck(k), 1) << k;
    for (int k : {VK_LSHIFT, VK_RMENU, VK_LCONTROL}) EXPECT_EQ(IO_KeyCheck(k), 0) << k;
    // The key-up message names the generic shift; the scan code tells which side went up.
    fake.InjectKey(VK_RSHIFT, false);
    fake.InjectKey(VK_LMENU, false);
    fake.InjectKey(VK_RCONTROL, false);
    Step();
    for (int k : {VK_SHIFT, VK_RSHIFT, VK_MENU, VK_LMENU, VK_CONTROL, VK_RCONTROL}) {
        EXPECT_EQ(IO_KeyCheck(k), 0) << k;
        EXPECT_EQ(IO_KeyCheckReleased(k), 1) << k;
    }
    fake.InjectKey(VK_LSHIFT, true);
    Step();
    EXPECT_EQ(IO_KeyCheck(VK_LSHIFT), 1);
    EXPECT_EQ(IO_KeyCheck(VK_RSHIFT), 0);
}

TEST_F(Input, KeyboardStringRules) {
    ASSERT_TRUE(Create());
    fake.InjectText("h\xC3\xA9");
    fake.InjectKeyPress(VK_BACK);
    fake.InjectText("y!");
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "hy!");
    EXPECT_EQ(IO_GetLastChar(), '!');

    IO_SetKeyboardString("");
    fake.InjectKeyPress(VK_BACK);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    EXPECT_EQ(IO_GetLastChar(), 8);

    // A string of 1,023 characters restarts from its last one when the next arrives.
    IO_SetKeyboardString((std::string(1022, 'a') + "b").c_str());
    fake.InjectText("c");
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "bc");

    // At most 1,024 units are kept; a null text empties the string.
    IO_SetKeyboardString(std::string(2000, 'x').c_str());
    EXPECT_EQ(std::string(IO_GetKeyboardString()).size(), 1024u);
    IO_SetKeyboardString(nullptr);
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    IO_SetKeyboardString("\xE2\x82\xAC" "5");
    EXPECT_STREQ(IO_GetKeyboardString(), "\xE2\x82\xAC" "5");
}

// Characters beyond the 16-bit range come as two character messages (a surrogate pair): they are one
// character of the string (four bytes of UTF-8) and the last character, and Backspace takes them whole. A
// half that comes without its partner is no character at all.
TEST_F(Input, ACharacterBeyondSixteenBitsIsOneCharacter) {
    const std::string grin = "\xF0\x9F\x98\x80"; // U+1F600
    ASSERT_TRUE(Create());
    fake.InjectText(("x" + grin).c_str());
    Step();
    EXPECT_EQ(std::string(IO_GetKeyboardString()), "x" + grin);
    EXPECT_EQ(IO_GetLastChar(), 0x1F600);
    fake.InjectKeyPress(VK_BACK);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "x");
    // No half of the pair is left behind for the next Backspace to take in place of the "x".
    fake.InjectKeyPress(VK_BACK);
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "");

    fake.InjectMessage(WM_CHAR, 0xDE00);         // a second half alone
    fake.InjectMessage(WM_CHAR, 0xD83D);         // a first half that the next character does not complete
    fake.InjectMessage(WM_CHAR, 'y');
    fake.InjectMessage(WM_CHAR, 0xD83D);         // one that no message follows
    Step();
    EXPECT_STREQ(IO_GetKeyboardString(), "y");
    EXPECT_EQ(IO_GetLastChar(), 'y');
    fake.InjectMessage(WM_CHAR, 0xDE00);         // ... until the next step's: the pair is whole
    Step();
    EXPECT_EQ(std::string(IO_GetKeyboardString()), "y" + grin);

    // A string that restarts keeps its last character whole; the game's own string may hold such characters.
    IO_SetKeyboardString((std::string(1021, 'a') + grin).c_str());
    EXPECT_EQ(std::string(IO_GetKeyboardString()), std::string(1021, 'a') + grin);
    fake.InjectText("c");
    Step();
    EXPECT_EQ(std::string(IO_GetKeyboardString()), grin + "c");
    // One that does not fit into the 1,024 units whole is left out.
    IO_SetKeyboardString((std::string(1023, 'a') + grin).c_str());
    EXPECT_EQ(std::string(IO_GetKeyboardString()), std::string(1023, 'a'));

    IO_SetLastChar(0xDE00);
    EXPECT_EQ(IO_GetLastChar(), 0);
    IO_SetLastChar(0x1F600);
    EXPECT_EQ(IO_GetLastChar(), 0x1F600);
}

TEST_F(Input, KeyCodesOutsideTheTablesChangeNothing) {
    ASSERT_TRUE(Create());
    IO_SetKeyMap(-5, 'A');
    IO_SetKeyMap(256, 'A');
    EXPECT_EQ(IO_GetKeyMap(-5), -5);
    EXPECT_EQ(IO_GetKeyMap(300), 300);
    IO_KeyClear(-1);
    IO_KeyClear(256);
    IO_SetKey(-3);
    EXPECT_EQ(IO_GetKey(), 0);
    for (int k : {-1, 256, INT32_MIN}) {
        EXPECT_EQ(IO_KeyCheck(k), 0);
        EXPECT_EQ(IO_KeyCheckPressed(k), 0);
        EXPECT_EQ(IO_KeyCheckReleased(k), 0);
    }
    // A key mapped to a code outside 0..255 is ignored; one mapped to another key is recorded as it.
    IO_SetKeyMap('Q', -7);
    IO_SetKeyMap('W', 300);
    IO_SetKeyMap('E', 'R');
    fake.InjectKey('Q', true);
    fake.InjectKey('W', true);
    fake.InjectKey('E', true);
    Step();
    EXPECT_EQ(IO_GetLastKey(), 'R');
    EXPECT_EQ(IO_KeyCheck('R'), 1);
    EXPECT_EQ(IO_KeyCheck('E'), 0);
    EXPECT_EQ(IO_KeyCheck('Q'), 0);
    IO_UnsetKeyMap();
    EXPECT_EQ(IO_GetKeyMap('Q'), 'Q');
}

TEST_F(Input, SetKeyLastsOneStepAndSetLastKeyForgetsTheMessageSideKey) {
    ASSERT_TRUE(Create());
    IO_SetKey('Z');
    EXPECT_EQ(IO_GetKey(), 'Z');
    Step();
    EXPECT_EQ(IO_GetKey(), 0);
    fake.InjectKey('K', true);
    Step();
    IO_SetLastKey(0);
    EXPECT_EQ(IO_GetLastKey(), 0);
    Step();
    EXPECT_EQ(IO_GetKey(), 0);
    EXPECT_EQ(IO_GetLastKey(), 0);
}

TEST_F(Input, MouseButtonsWheelAndPosition) {
    ASSERT_TRUE(Create());
    fake.InjectMouseMove(40, 30);
    fake.InjectMouseButton(2, true);
    fake.InjectWheel(-1);
    Step();
    EXPECT_EQ(Input_State().IO_RawMouse.x[0], 40);
    EXPECT_EQ(Input_State().IO_RawMouse.y[0], 30);
    EXPECT_EQ(IO_MouseCheck(2, 0), 1);
    EXPECT_EQ(IO_MouseCheckPressed(2, 0), 1);
    EXPECT_EQ(IO_GetMouseButton(0), 2);
    EXPECT_EQ(IO_MouseWheelDown(0), 1);
    EXPECT_EQ(IO_MouseWheelUp(0), 0);
    EXPECT_EQ(IO_MouseCheckButton(IOButtonTable::Down, MB_ANY, 0), 1);
    EXPECT_EQ(IO_MouseCheckButton(IOButtonTable::Down, MB_NONE, 0), 0);
    EXPECT_EQ(IO_MouseCheckButton(IOButtonTable::Released, MB_NONE, 0), 1);
    Step();
    EXPECT_EQ(IO_MouseCheckPressed(2, 0), 0);
    EXPECT_EQ(IO_MouseWheelDown(0), 0);
    fake.InjectMouseButton(2, false);
    Step();
    EXPECT_EQ(IO_MouseCheck(2, 0), 0);
    EXPECT_EQ(IO_MouseCheckReleased(2, 0), 1);
    EXPECT_EQ(IO_GetMouseButton(0), 0);
    EXPECT_EQ(IO_GetLastMouseButton(0), 2);
    // A wheel message without a delta is not handled.
    EXPECT_EQ(Window_Proc(WM_MOUSEWHEEL, 0, 0), 1);
    for (int bad : {-2, 0, 4}) IO_SetMouseButton(bad, 1);
    EXPECT_EQ(IO_GetMouseButton(1), 0);
}

TEST_F(Input, ClearForgetsKeysStringAndDeviceZeroOnly) {
    ASSERT_TRUE(Create());
    fake.InjectKey('A', true);
    fake.InjectText("ab");
    fake.InjectMouseButton(1, true);
    Step();
    IO_SetMouseButton(2, 3);
    IO_Clear();
    EXPECT_EQ(IO_KeyCheck('A'), 0);
    EXPECT_STREQ(IO_GetKeyboardString(), "");
    EXPECT_EQ(IO_MouseCheck(1, 0), 0);
    EXPECT_EQ(IO_GetMouseButton(3), 2);
    // The message side was cleared too: the next step brings nothing back.
    Step();
    EXPECT_EQ(IO_KeyCheck('A'), 0);
    EXPECT_EQ(IO_MouseCheck(1, 0), 0);
    EXPECT_STREQ(IO_GetKeyboardString(), "");
}

TEST_F(Input, SavedStateRoundTripsAndRefusesBadCounts) {
    Input_State().IO_State.virtualKeys[3] = IOVirtualKey{3, 3, 1, 2, 11, 22, 10, 20, 5, 6, 'A', 0};
    IBuffer saved(1, 1, 1);
    IO_SaveState(&saved);
    EXPECT_EQ(saved.position, 8 + 128 * 44);
    const IOVirtualKey kept = Input_State().IO_State.virtualKeys[3];
    IO_ClearVirtualKeys();
    saved.Seek(0, 0);
    ASSERT_TRUE(IO_LoadState(&saved));
    EXPECT_EQ(std::memcmp(&Input_State().IO_State.virtualKeys[3], &kept, sizeof kept), 0);

    // Another version, a count outside 0..128 or a record cut short: refused, nothing changed.
    auto header = [](int version, int count, int records) {
        auto* b = new IBuffer(1, 1, 1);
        ScriptValue v;
        for (int n : {version, count}) {
            Value_SetReal(&v, n);
            b->Write(eBuffer_S32, &v);
        }
        Value_SetReal(&v, 0);
        for (int i = 0; i < records * 12; ++i) b->Write(i % 12 < 2 ? eBuffer_S16 : eBuffer_S32, &v);
        b->Seek(0, 0);
        return b;
    };
    for (auto [version, count, records] : {std::tuple{850, 1, 1}, std::tuple{851, 129, 129},
                                           std::tuple{851, -1, 0}, std::tuple{851, 2, 1}}) {
        IBuffer* b = header(version, count, records);
        EXPECT_FALSE(IO_LoadState(b)) << version << " " << count;
        delete b;
        EXPECT_EQ(std::memcmp(&Input_State().IO_State.virtualKeys[3], &kept, sizeof kept), 0);
    }
}

TEST_F(Input, TouchedVirtualKeysPressThenHoldThenRelease) {
    ASSERT_TRUE(Create());
    const int key = IO_AddVirtualKey();
    Input_State().IO_State.virtualKeys[key] =
        IOVirtualKey{kVirtualKeyActive, 0, 10, 10, 30, 30, 20, 20, 0, 0, 'X', 0};
    const int button = IO_AddVirtualKey();
    Input_State().IO_State.virtualKeys[button] =
        IOVirtualKey{kVirtualKeyActive, 1, 40, 10, 60, 30, 20, 20, 0, 0, 0, 3};
    // Records that could only address entries outside the tables are never driven.
    for (auto [k, b] : {std::pair{0, 0}, std::pair{0, -1}, std::pair{0, 4}, std::pair{-5, 0}, std::pair{300, 0}}) {
        const int i = IO_AddVirtualKey();
        Input_State().IO_State.virtualKeys[i] =
            IOVirtualKey{kVirtualKeyActive, 0, 0, 0, 100, 100, 100, 100, 0, 0, k, b};
    }
    auto touch = [](int x, int y) {
        Input_State().IO_State.devicePoints[0][0] = 0x80000000u;
        Input_State().IO_State.devicePoints[0][1] = static_cast<uint32_t>(x);
        Input_State().IO_State.devicePoints[0][2] = static_cast<uint32_t>(y);
    };
    touch(15, 15);
    Step();
    EXPECT_EQ(IO_KeyCheckPressed('X'), 1);
    EXPECT_EQ(IO_KeyCheck('X'), 0);
    touch(15, 15);
    Step();
    EXPECT_EQ(IO_KeyCheckPressed('X'), 0);
    EXPECT_EQ(IO_KeyCheck('X'), 1);
    Step();
    EXPECT_EQ(IO_KeyCheckReleased('X'), 1);
    touch(45, 15);
    Step();
    EXPECT_EQ(IO_MouseCheckPressed(3, 0), 1);
    // A record beyond the first 32 is never touched.
    IO_ClearVirtualKeys();
    Input_State().IO_State.virtualKeys[40] =
        IOVirtualKey{kVirtualKeyActive, 40, 0, 0, 100, 100, 100, 100, 0, 0, 'Y', 0};
    touch(5, 5);
    Step();
    touch(5, 5);
    Step();
    EXPECT_EQ(IO_KeyCheck('Y') + IO_KeyCheckPressed('Y'), 0);
}

} // namespace
