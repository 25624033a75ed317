#include "platform/input_translator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<PlatformMessage> Drain(CMessageQueue& q) {
    std::vector<PlatformMessage> out;
    PlatformMessage m;
    while (q.Take(m)) out.push_back(m);
    return out;
}

std::vector<uint64_t> CharsOf(const std::vector<PlatformMessage>& messages, uint32_t kind) {
    std::vector<uint64_t> chars;
    for (const PlatformMessage& m : messages)
        if (m.message == kind) chars.push_back(m.wParam);
    return chars;
}

struct Translator : ::testing::Test {
    CInputTranslator in;
    CMessageQueue q;
    void Key(uint8_t vk, bool down, bool repeat = false) { in.Key(q, Key_FromCode(vk), down, repeat); }
};

} // namespace

TEST_F(Translator, KeyMessagesCarryWindowsKeyData) {
    in.Key(q, PCKey{'A', 0x1E, false}, true, false);
    in.Key(q, PCKey{'A', 0x1E, false}, true, true);
    in.Key(q, PCKey{'A', 0x1E, false}, false, false);
    const auto m = Drain(q);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].message, WM_KEYDOWN);
    EXPECT_EQ(m[0].wParam, 'A');
    EXPECT_EQ(m[0].lParam, 1 | 0x1E << 16);
    EXPECT_EQ(m[1].lParam & KF_REPEAT, KF_REPEAT);  // auto-repeat: the key was already down
    EXPECT_EQ(m[2].message, WM_KEYUP);
    EXPECT_EQ(m[2].lParam & (KF_REPEAT | KF_UP), KF_REPEAT | KF_UP);
}

TEST_F(Translator, ModifiersArriveGenericWithTheirSideInTheKeyData) {
    Key(VK_RSHIFT, true);
    Key(VK_RCONTROL, true);
    Key(VK_LMENU, true);
    const auto m = Drain(q);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].wParam, VK_SHIFT);
    EXPECT_EQ(Message_HighWord(m[0].lParam) & 0xFF, kScanRightShift);
    EXPECT_EQ(m[1].wParam, VK_CONTROL);
    EXPECT_TRUE(m[1].lParam & KF_EXTENDED);
    EXPECT_EQ(m[2].wParam, VK_MENU);
    EXPECT_FALSE(m[2].lParam & KF_EXTENDED);
    EXPECT_TRUE(in.State().IsDown(VK_RSHIFT) && in.State().IsDown(VK_SHIFT));
    EXPECT_FALSE(in.State().IsDown(VK_LSHIFT));
    Key(VK_RSHIFT, false);
    EXPECT_FALSE(in.State().IsDown(VK_SHIFT));
    EXPECT_TRUE(in.State().IsDown(VK_CONTROL));
}

TEST_F(Translator, ControlKeysCarryTheirCharacters) {
    for (uint8_t vk : {VK_BACK, VK_TAB, VK_RETURN, VK_ESCAPE, VK_SPACE, VK_DELETE, uint8_t('A')}) Key(vk, true);
    EXPECT_EQ(CharsOf(Drain(q), WM_CHAR), (std::vector<uint64_t>{8, 9, 13, 27}));

    Key(VK_LCONTROL, true);
    for (uint8_t vk : {uint8_t('A'), uint8_t('Z'), VK_OEM_4, VK_OEM_5, VK_OEM_6, VK_RETURN, VK_BACK, uint8_t('1')})
        Key(vk, true);
    EXPECT_EQ(CharsOf(Drain(q), WM_CHAR), (std::vector<uint64_t>{1, 26, 27, 28, 29, 10, 127}));

    // Control with Alt is AltGr: no control characters.
    Key(VK_RMENU, true);
    Key('A', true);
    const auto m = Drain(q);
    EXPECT_TRUE(CharsOf(m, WM_CHAR).empty());
    EXPECT_EQ(m.back().message, WM_KEYDOWN);
}

TEST_F(Translator, AltMakesSystemMessages) {
    Key(VK_LMENU, true);
    Key(VK_RETURN, true);
    Key(VK_RETURN, false);
    Key(VK_LMENU, false);
    Key(VK_F10, true);
    const auto m = Drain(q);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].message, WM_SYSKEYDOWN);
    EXPECT_EQ(m[1].message, WM_SYSKEYDOWN);
    EXPECT_TRUE(m[1].lParam & KF_ALTDOWN);
    EXPECT_EQ(m[2].message, WM_SYSCHAR);  // Alt+Enter
    EXPECT_EQ(m[2].wParam, 13u);
    EXPECT_EQ(m[3].message, WM_SYSKEYUP);
    EXPECT_EQ(m[4].message, WM_SYSKEYUP);
    EXPECT_EQ(m[5].message, WM_SYSKEYDOWN);  // F10 on its own
}

TEST_F(Translator, TextBecomesUtf16CharacterMessages) {
    const char text[] = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\xC3";  // a é € 😀, then two bad bytes
    in.Text(q, text, sizeof text - 1);
    EXPECT_EQ(CharsOf(Drain(q), WM_CHAR), (std::vector<uint64_t>{'a', 0xE9, 0x20AC, 0xD83D, 0xDE00}));

    // Overlong forms and encoded surrogates are not characters.
    const char bad[] = "\xC0\xAF\xE0\x80\xAF\xED\xA0\x80z";
    in.Text(q, bad, sizeof bad - 1);
    EXPECT_EQ(CharsOf(Drain(q), WM_CHAR), (std::vector<uint64_t>{'z'}));

    Key(VK_LCONTROL, true);
    in.Text(q, "1", 1);
    Key(VK_LCONTROL, false);
    Key(VK_LMENU, true);
    in.Text(q, "x", 1);
    Key(VK_LMENU, false);
    Key(VK_RMENU, true);
    in.Text(q, "@", 1);
    const auto m = Drain(q);
    EXPECT_EQ(CharsOf(m, WM_SYSCHAR), (std::vector<uint64_t>{'x'}));
    EXPECT_EQ(CharsOf(m, WM_CHAR), (std::vector<uint64_t>{'@'}));
}

TEST_F(Translator, MouseWithoutCapture) {
    in.MouseMove(q, 10, 20, 640, 480);
    in.MouseButton(q, 2, true, 10, 20, 640, 480);
    in.MouseButton(q, 3, true, 0, 0, 640, 480);
    in.MouseMove(q, 640, 20, 640, 480);            // outside: not this window's
    in.MouseButton(q, 1, true, -1, 20, 640, 480);   // nor is a press outside
    in.MouseButton(q, 1, false, -1, 20, 640, 480);  // or the release of a button it never saw go down
    in.MouseButton(q, 2, false, -1, 20, 640, 480);  // a button pressed inside is let go anywhere, once
    in.MouseButton(q, 2, false, -1, 20, 640, 480);
    in.MouseButton(q, 3, false, 10, 20, 0, 0);      // a minimised window has no client area
    in.MouseButton(q, 3, true, 0, 0, 0, 0);
    const auto m = Drain(q);
    ASSERT_EQ(m.size(), 6u);
    EXPECT_EQ(m[0].message, WM_SETCURSOR);
    EXPECT_EQ(Message_LowWord(m[0].lParam), HTCLIENT);
    EXPECT_EQ(m[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(m[1].lParam, Message_MakeLong(10, 20));
    EXPECT_EQ(m[2].message, WM_RBUTTONDOWN);
    EXPECT_EQ(m[2].wParam, MK_RBUTTON);
    EXPECT_EQ(m[3].message, WM_MBUTTONDOWN);
    EXPECT_EQ(m[3].wParam, MK_RBUTTON | MK_MBUTTON);
    EXPECT_EQ(m[4].message, WM_RBUTTONUP);
    EXPECT_EQ(m[4].wParam, MK_MBUTTON);
    EXPECT_EQ(m[5].message, WM_MBUTTONUP);
    EXPECT_EQ(m[5].wParam, 0u);
    EXPECT_FALSE(in.State().IsDown(VK_RBUTTON) || in.State().IsDown(VK_MBUTTON));
    EXPECT_EQ(Message_MouseButton(m[2].message), 2);
    EXPECT_EQ(Message_MouseButton(m[3].message), 3);
    EXPECT_EQ(Message_MouseButton(WM_LBUTTONUP), 1);
}

TEST_F(Translator, WheelFocusSizeAndClose) {
    in.Wheel(q, 1, 300, 400);
    in.Wheel(q, -2, 300, 400);
    in.Wheel(q, 0, 300, 400);
    in.Wheel(q, 1000, 0, 0);  // clamped to the 16-bit delta
    auto m = Drain(q);
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(static_cast<int16_t>(Message_HighWord(static_cast<int64_t>(m[0].wParam))), 120);
    EXPECT_EQ(static_cast<int16_t>(Message_HighWord(static_cast<int64_t>(m[1].wParam))), -240);
    EXPECT_EQ(static_cast<int16_t>(Message_HighWord(static_cast<int64_t>(m[2].wParam))), 32767);
    EXPECT_EQ(m[0].lParam, Message_MakeLong(300, 400));

    in.Focus(q, false);
    in.Focus(q, true);
    in.Size(q, SIZE_MINIMIZED, 0, 0);
    in.Close(q);
    m = Drain(q);
    const std::vector<uint32_t> order = {WM_ACTIVATE, WM_ACTIVATEAPP, WM_KILLFOCUS, WM_ACTIVATEAPP, WM_ACTIVATE,
                                         WM_SETFOCUS, WM_SIZE,        WM_CLOSE};
    ASSERT_EQ(m.size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(m[i].message, order[i]) << i;
    EXPECT_EQ(m[0].wParam, WA_INACTIVE);
    EXPECT_EQ(m[0].lParam, 0);
    EXPECT_EQ(m[6].wParam, SIZE_MINIMIZED);
}
