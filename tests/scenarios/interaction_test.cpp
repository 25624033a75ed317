// The runner on games that read the keyboard and mouse through the built-ins from recorded input, and
// that ask the player questions in a run where no one can answer.
#include "scenario.h"

#include "io/input.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// One frame of a recording, written field by field in the recording's order.
struct RecordedFrame {
    uint16_t lastChar = 0;
    std::string keyboardString;
    int32_t lastKey = 0, currentKey = 0;
    std::vector<int> keysDown, keysReleased, keysPressed;
    int32_t mouseButton = 0, lastMouseButton = 0;
    std::vector<int> buttonsDown, buttonsReleased, buttonsPressed; // device 0, buttons 1..3
    bool wheelUp = false;

    std::string Bytes() const {
        std::string bytes(kIOPlaybackFrameSize, '\0');
        size_t at = 0;
        const auto put = [&](const void* data, size_t size) {
            std::memcpy(&bytes[at], data, size);
            at += size;
        };
        const auto table = [&](const std::vector<int>& set, size_t size, int offset) {
            for (int i : set) bytes[at + static_cast<size_t>(i - offset)] = 1;
            at += size;
        };
        put(&lastChar, 2);
        for (size_t i = 0; i < kIOKeyboardStringUnits; ++i) {
            const uint16_t unit = i < keyboardString.size() ? static_cast<uint8_t>(keyboardString[i]) : 0;
            put(&unit, 2);
        }
        put(&lastKey, 4);
        put(&currentKey, 4);
        table(keysDown, kIOKeyCount, 0);
        table(keysReleased, kIOKeyCount, 0);
        table(keysPressed, kIOKeyCount, 0);
        const int32_t last[kIOMouseDevices] = {lastMouseButton};
        const int32_t current[kIOMouseDevices] = {mouseButton};
        put(last, sizeof last);
        put(current, sizeof current);
        table(buttonsDown, kIOMouseDevices * kIOMouseButtons, 1);
        table(buttonsReleased, kIOMouseDevices * kIOMouseButtons, 1);
        table(buttonsPressed, kIOMouseDevices * kIOMouseButtons, 1);
        bytes[at] = wheelUp ? 1 : 0;
        return bytes;
    }
};

} // namespace

TEST(Interaction, KeyboardAndMouseBuiltInsReadTheRecordedInput) {
    constexpr int kA = 'A';
    RecordedFrame idle;
    RecordedFrame press;
    press.keyboardString = "hi";
    press.lastChar = 'i';
    press.lastKey = press.currentKey = kA;
    press.keysDown = press.keysPressed = {kA};
    press.mouseButton = press.lastMouseButton = 1;
    press.buttonsDown = press.buttonsPressed = {1};
    press.wheelUp = true;
    RecordedFrame hold = press;
    hold.keysPressed.clear();
    hold.buttonsPressed.clear();
    hold.wheelUp = false;
    RecordedFrame release = hold;
    release.keysDown.clear();
    release.keysReleased = {kA};
    release.buttonsDown.clear();
    release.buttonsReleased = {1};
    release.currentKey = release.mouseButton = 0;
    const std::string recording = idle.Bytes() + press.Bytes() + hold.Bytes() + release.Bytes() + hold.Bytes();

    ScenarioGame game = OneObjectGame(
        {{0, 0, "global.steps = 0;"},
         {3, 0,
          "global.steps += 1;"
          "show_debug_message(string(global.steps) + \": \" + string(keyboard_check(ord(\"A\"))) + "
          "string(keyboard_check_pressed(ord(\"A\"))) + string(keyboard_check_released(ord(\"A\"))) + "
          "string(keyboard_check(vk_anykey)) + string(keyboard_check(vk_nokey)) + \" \" + "
          "string(mouse_check_button(mb_left)) + string(mouse_check_button_pressed(mb_any)) + "
          "string(mouse_check_button_released(mb_left)) + string(mouse_check_button(mb_none)) + "
          "string(mouse_wheel_up()) + \" \" + keyboard_string);"
          "if (global.steps == 5) { io_clear(); show_debug_message(\"cleared: \" + "
          "string(keyboard_check(vk_anykey)) + string(mouse_check_button(mb_any)) + \"[\" + keyboard_string + "
          "\"]\"); game_end(); }"}});
    ScenarioRun run = RunScenario(game, {"-playback", "input.rec"}, 20, {{"input.rec", recording}});
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    EXPECT_EQ(LinesStartingWith(run.log, ""),
              (std::vector<std::string>{"1: 00001 00010 ", "2: 11010 11001 hi", "3: 10010 10000 hi",
                                        "4: 00101 00110 hi", "5: 10010 10000 hi", "cleared: 00[]"}))
        << run.log;
}

TEST(Interaction, QuestionsAndQueriesAnswerThemselvesWhenNoOneIsThere) {
    ScenarioGame game = OneObjectGame(
        {{0, 0,
          "show_debug_message(string(show_message(\"one#two\")));"
          "show_message(2.5); show_message(3); show_message(power(10, 20));"
          "show_debug_message(\"question \" + string(show_question(\"Sure?\")));"
          "show_debug_message(\"string \" + get_string(\"Name?\", \"Ann\"));"
          "show_debug_message(\"integer \" + string(get_integer(\"How many?\", 5)));"
          "show_debug_message(\"integer \" + string(get_integer(\"How many?\", \"x\")));"
          "show_debug_message(\"open [\" + get_open_filename(\"Text|*.txt\", \"a.txt\") + \"]\");"
          "show_debug_message(\"directory [\" + get_directory(\"\") + \"]\");"
          "keyboard_wait(); mouse_wait();"
          "game_end();"}});
    ScenarioRun run = RunScenario(game);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.log;
    for (const char* expected :
         {"Message box \"Game\": one\rtwo\n(no one to ask: answered OK)\n1\n", "Message box \"Game\": 2.50\n",
          "Message box \"Game\": 3\n", "Message box \"Game\": 100000000000000000000\n",
          "Question \"Game\": Sure?\n(no one to ask: answered Yes)\nquestion 1\n",
          "Input \"Game\": Name?\n(no one to ask: answered OK)\nstring Ann\n", "integer 5\n", "integer 0\n",
          "Open file dialog \"a.txt\" (", "open []\n", "directory []\n",
          "keyboard_wait: no one to press anything (returned at once)\n"})
        EXPECT_NE(run.log.find(expected), std::string::npos) << expected << "\n" << run.log;
}
