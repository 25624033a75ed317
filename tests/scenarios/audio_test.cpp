// The runner on a game that gives a sound a WAV file and plays it through the sound actions: with an
// audio device (OpenAL Soft's null output, which plays in time without hardware), without one, and with
// "-noaudio".
#include "scenario.h"

#include "audio/sound_samples.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// A game of two sounds whose one instance runs the code in its Create event, and "beep.wav" beside it.
struct SoundGame {
    std::vector<uint8_t> bytes;
    std::vector<std::pair<std::string, std::string>> files;
};
SoundGame PlayerGame(const std::string& create) {
    ScenarioObject player;
    player.name = "oPlayer";
    player.events = {{0, 0, create}};
    ScenarioGame game;
    game.objects = {player};
    ScenarioRoom room;
    room.name = "r0";
    room.instances = {{0, 0, 0, 100001, ""}};
    game.rooms.push_back(room);
    const std::vector<uint8_t> wav = WavFile(1, 16, 22050, Pcm16Bytes(Tone(22050, 1, 22050, 440)));
    return {WithSounds(BuildScenarioGame(game), 2), {{"beep.wav", std::string(wav.begin(), wav.end())}}};
}

TEST(Audio, TheSoundActionsPlayWithADeviceAndAnswerNotPlayingWithout) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the audio device, not game code";
    const auto [bytes, files] =
        PlayerGame("action_replace_sound(1, \"beep.wav\"); action_sound(1, true);"
                   "show_debug_message(\"playing \" + string(action_if_sound(1)));"
                   "action_end_sound(1); show_debug_message(\"stopped \" + string(action_if_sound(1)));"
                   "game_end();");

    const struct {
        const char* drivers;
        std::vector<std::string> arguments;
        const char* said;
        const char* playing;
    } cases[] = {
        {"null", {}, nullptr, "playing 1"},
        {"no-such-output", {}, "No audio device could be opened: no sound will play\n", "playing 0"},
        {"null", {"-noaudio"}, "Audio is off (-noaudio): no sound will play\n", "playing 0"},
    };
    for (const auto& c : cases) {
        TempFolder env;
        env.SetEnv("ALSOFT_DRIVERS", c.drivers);
        const ScenarioRun run = RunDataFile(bytes, c.arguments, 20, files);
        ASSERT_FALSE(run.timedOut) << run.console;
        EXPECT_EQ(run.exitCode, 0) << run.errors;
        EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{c.playing, "stopped 0"})) << run.log;
        EXPECT_EQ(Count(run.console, "no sound will play"), c.said ? 1u : 0u) << run.console;
        if (c.said) {
            EXPECT_EQ(Count(run.console, c.said), 1u) << run.console;
        }
    }
}

// sound_play plays a sound once, as the sound action does; a sound that does not exist plays nothing and
// the debug console says so.
TEST(Audio, SoundPlayPlaysASoundOnceAndNamesAMissingOne) {
    if (ScenarioTreeMode()) GTEST_SKIP() << "about the audio device, not game code";
    const auto [bytes, files] = PlayerGame("action_replace_sound(1, \"beep.wav\"); sound_play(1);"
                                           "show_debug_message(\"playing \" + string(action_if_sound(1)));"
                                           "sound_play(7); sound_play(-1); game_end();");
    TempFolder env;
    env.SetEnv("ALSOFT_DRIVERS", "null");
    const ScenarioRun run = RunDataFile(bytes, {}, 20, files);
    ASSERT_FALSE(run.timedOut) << run.console;
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(LinesStartingWith(run.log, ""), (std::vector<std::string>{"playing 1"})) << run.log;
    EXPECT_EQ(Count(run.console, "sound_play: sound 7 does not exist\n"), 1u) << run.console;
    EXPECT_EQ(Count(run.console, "sound_play: sound -1 does not exist\n"), 1u) << run.console;
}

} // namespace
