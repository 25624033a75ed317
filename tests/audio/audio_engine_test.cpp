#include "audio/audio_test_util.h"

#include "library/builtin_test_util.h"
#include "world/action_builtins.h"

#include <filesystem>

namespace {

const std::vector<int16_t> kTone = Tone(300, 1, 44100, 441);
const std::vector<int16_t> kOtherTone = Tone(200, 1, 44100, 882, 5000);

std::vector<uint8_t> ToneWav(const std::vector<int16_t>& tone) {
    return WavFile(1, 16, 44100, Pcm16Bytes(tone));
}

// The samples repeated to fill count frames.
std::vector<float> Repeated(const std::vector<float>& samples, size_t count) {
    std::vector<float> out;
    for (size_t i = 0; i < count; ++i)
        out.push_back(samples[i % samples.size()]);
    return out;
}

TEST_F(AudioTest, AWavPlaysFromTheTimeItStartsAndLoops) {
    Give(0, "tone.wav", ToneWav(kTone));
    EXPECT_EQ(Audio_GetSoundType(0), 0);
    EXPECT_EQ(Render(100), std::vector<float>(100, 0.0f));
    const int voice = Audio_PlaySound(0, 1, false);
    EXPECT_GE(voice, kVoiceHandleBase);
    EXPECT_TRUE(Audio_IsPlaying(0));
    EXPECT_TRUE(Audio_IsPlaying(voice));
    const std::vector<float> played = Render(400);
    EXPECT_EQ(Slice(played, 0, 300), AsFloat(kTone));
    EXPECT_EQ(Slice(played, 300, 100), std::vector<float>(100, 0.0f));
    SND_Tick();
    EXPECT_FALSE(Audio_IsPlaying(0));
    EXPECT_FALSE(Audio_IsPlaying(voice));

    Audio_PlaySound(0, 1, true);
    EXPECT_EQ(Render(1000), Repeated(AsFloat(kTone), 1000));
    SND_Tick();
    EXPECT_TRUE(Audio_IsPlaying(0));

    // 8-bit samples are unsigned, 128 the silence.
    Give(1, "eight.wav", WavFile(1, 8, 44100, {128, 192, 64, 255}));
    Audio_StopSound(0);
    Audio_PlaySound(1, 1, false);
    EXPECT_EQ(Render(5), (std::vector<float>{0.0f, 0.5f, -0.5f, 127 / 128.0f, 0.0f}));
}

// The same tone as a WAV file and as an AU file given by the action: the two play alike.
TEST_F(AudioTest, AnAuFilePlaysAsTheSameSoundInAWavFileDoes) {
    static bool registered = [] { RegisterLibraryBuiltIns(); InitActionFunctions(); return true; }();
    (void)registered;
    Give(0, "tone.wav", ToneWav(kTone));
    const std::vector<uint8_t> au = AuFile(1, 3, 44100, Pcm16BigEndian(kTone));
    TempFolder::Write(m_folders.Game("tone.au"), std::string(au.begin(), au.end()));
    CallBuiltIn("action_replace_sound", {1, "tone.au"});
    EXPECT_EQ(Audio_GetSoundType(1), 0);
    Audio_PlaySound(0, 1, false);
    const std::vector<float> wav = Render(400);
    Audio_PlaySound(1, 1, false);
    const std::vector<float> played = Render(400);
    EXPECT_EQ(played, wav);
    EXPECT_EQ(Slice(played, 0, 300), AsFloat(kTone));
}

TEST_F(AudioTest, AHigherPriorityTakesTheOldestVoiceOfTheLowestWhenAllAreBusy) {
    Give(0, "tone.wav", ToneWav(kTone));
    Give(1, "other.wav", ToneWav(kOtherTone));
    std::vector<int> voices;
    for (int i = 0; i < kVoiceCount; ++i)
        voices.push_back(Audio_PlaySound(0, i == 10 ? 3 : 5, true));
    EXPECT_EQ(Audio_PlaySound(1, 2, false), -1);
    EXPECT_FALSE(Audio_IsPlaying(1));

    const int first = Audio_PlaySound(1, 9, false);
    EXPECT_GE(first, kVoiceHandleBase);
    EXPECT_FALSE(Audio_IsPlaying(voices[10])); // the one voice of priority 3
    EXPECT_TRUE(Audio_IsPlaying(voices[0]));
    // Equal priority takes the oldest of the lowest.
    EXPECT_GE(Audio_PlaySound(1, 5, false), kVoiceHandleBase);
    EXPECT_FALSE(Audio_IsPlaying(voices[0]));
    EXPECT_TRUE(Audio_IsPlaying(voices[1]));
    EXPECT_TRUE(Audio_IsPlaying(first));
}

TEST_F(AudioTest, MusicReplacesMusicAndStopsSilenceAtOnce) {
    Give(0, "tone.wav", ToneWav(kTone));
    Give(1, "other.wav", ToneWav(kOtherTone));
    Audio_PlayMusic(0, true);
    Render(150);
    Audio_PlayMusic(1, true);
    EXPECT_FALSE(Audio_IsPlaying(0));
    EXPECT_TRUE(Audio_IsPlaying(1));
    EXPECT_EQ(Render(500), Repeated(AsFloat(kOtherTone), 500));
    Audio_StopMusic();
    EXPECT_EQ(Render(100), std::vector<float>(100, 0.0f));

    // By voice: only that voice stops; a handle whose voice went to another sound stops nothing.
    const int a = Audio_PlaySound(0, 1, true);
    const int b = Audio_PlaySound(0, 1, true);
    Audio_StopSound(a);
    EXPECT_FALSE(Audio_IsPlaying(a));
    EXPECT_TRUE(Audio_IsPlaying(b));
    EXPECT_EQ(Render(300), AsFloat(kTone));
    const int c = Audio_PlaySound(1, 1, true); // on the voice a had
    Audio_StopSound(a);
    EXPECT_TRUE(Audio_IsPlaying(c));
    // By sound: every voice of it, the music voice among them.
    Audio_PlayMusic(0, true);
    Audio_StopSound(0);
    EXPECT_FALSE(Audio_IsPlaying(0));
    EXPECT_FALSE(Audio_IsPlaying(b));
    EXPECT_EQ(Render(200), AsFloat(kOtherTone));
}

TEST_F(AudioTest, StreamedOggPlaysThroughWithoutGapsAndLoops) {
    const std::vector<uint8_t> ogg = EncodeOggVorbis(Tone(3 * CAudioStream::kBufferFrames + 5000, 1, kRate, 300), 1, kRate);
    Give(2, "music.ogg", ogg, kSoundKindMusic);
    EXPECT_EQ(Audio_GetSoundType(2), 1);
    SoundFile file;
    std::string error;
    std::vector<uint8_t> pcm;
    ASSERT_TRUE(SoundFile_FromBytes(ogg, &file, &error));
    ASSERT_TRUE(Pcm_DecodeAll(*file.Open(&error), &pcm, kMaxDecodedBytes, &error));
    const std::vector<float> expected = AsFloat(pcm);

    Audio_PlayMusic(2, false);
    EXPECT_TRUE(Audio_IsPlaying(2));
    const std::vector<float> played = Render(static_cast<int>(expected.size()) + 2000, 1500);
    EXPECT_EQ(Slice(played, 0, expected.size()), expected);
    EXPECT_EQ(Slice(played, expected.size(), 2000), std::vector<float>(2000, 0.0f));
    SND_Tick();
    EXPECT_FALSE(Audio_IsPlaying(2));

    // A short stream looped on a voice: many rewinds inside one buffer.
    const std::vector<uint8_t> shortOgg = EncodeOggVorbis(Tone(2500, 1, kRate, 600), 1, kRate);
    Give(3, "short.ogg", shortOgg, kSoundKindMusic);
    ASSERT_TRUE(SoundFile_FromBytes(shortOgg, &file, &error));
    ASSERT_TRUE(Pcm_DecodeAll(*file.Open(&error), &pcm, kMaxDecodedBytes, &error));
    const int voice = Audio_PlaySound(3, 1, true);
    EXPECT_EQ(Render(3 * CAudioStream::kBufferFrames, 4000), Repeated(AsFloat(pcm), 3 * CAudioStream::kBufferFrames));
    EXPECT_TRUE(Audio_IsPlaying(voice));
    EXPECT_EQ(AudioStreams_WorkerCount(), 4);
    SND_Quit();
    EXPECT_EQ(AudioStreams_WorkerCount(), 0);
    EXPECT_FALSE(Audio_IsPlaying(voice));
}

TEST_F(AudioTest, ASoundReplacedOrFreedWhilePlayingStops) {
    Give(0, "tone.wav", ToneWav(kTone));
    Give(2, "music.ogg", EncodeOggVorbis(Tone(30000, 1, kRate, 300), 1, kRate), kSoundKindMusic);
    Audio_PlaySound(0, 1, true);
    Audio_PlayMusic(2, true);
    Render(500);
    Give(0, "other.wav", ToneWav(kOtherTone));
    Give(2, "tone.wav", ToneWav(kTone), 0);
    EXPECT_FALSE(Audio_IsPlaying(0));
    EXPECT_FALSE(Audio_IsPlaying(2));
    EXPECT_EQ(Audio_GetSoundType(2), 0);
    EXPECT_EQ(Render(100), std::vector<float>(100, 0.0f));

    Audio_PlaySound(0, 1, true);
    Give(3, "music.ogg", EncodeOggVorbis(Tone(30000, 1, kRate, 300), 1, kRate), kSoundKindMusic);
    Audio_PlaySound(3, 1, true);
    Sound_Clear();
    EXPECT_EQ(Sound_Count(), 0);
    EXPECT_FALSE(Audio_IsPlaying(0));
    EXPECT_FALSE(Audio_IsPlaying(3));
    EXPECT_EQ(Render(100), std::vector<float>(100, 0.0f));
}

TEST_F(AudioTest, BadFilesAndIndicesLeaveTheTableAsItWas) {
    Give(0, "tone.wav", ToneWav(kTone));
    TempFolder::Write(m_folders.Game("bad.wav"), std::string("RIFF\x10\0\0\0WAVEjunk", 16));
    TempFolder::Write(m_folders.Game("text.wav"), "hello");
    TempFolder::Write(m_folders.Game("huge.wav"), "RIFF");
    std::filesystem::resize_file(m_folders.Game("huge.wav"), kMaxSoundFileBytes + 1); // sparse
    const std::vector<uint8_t> seven = AuFile(7, 3, 8000, std::vector<uint8_t>(14));
    TempFolder::Write(m_folders.Game("seven.au"), std::string(seven.begin(), seven.end()));
    std::string console = ConsoleOutputOf([] {
        EXPECT_FALSE(Sound_Replace(0, "seven.au", 0, true));
        EXPECT_FALSE(Sound_Replace(0, "missing.wav", 0, true));
        EXPECT_FALSE(Sound_Replace(0, "bad.wav", 0, true));
        EXPECT_FALSE(Sound_Replace(0, "text.wav", 0, true));
        EXPECT_FALSE(Sound_Replace(0, "huge.wav", 0, true));
    });
    EXPECT_NE(console.find("\"seven.au\": Unsupported mode within an otherwise usable file type"), std::string::npos)
        << console;
    EXPECT_NE(console.find("\"huge.wav\": the file is larger than 512 MiB"), std::string::npos) << console;
    EXPECT_NE(console.find("\"missing.wav\": No such file or directory"), std::string::npos) << console;
    EXPECT_NE(console.find("\"bad.wav\": the WAV file has no format chunk"), std::string::npos) << console;
    EXPECT_NE(console.find("\"text.wav\": not a WAV, Ogg Vorbis or AU file"), std::string::npos) << console;
    Audio_PlaySound(0, 1, false);
    EXPECT_EQ(Slice(Render(300), 0, 300), AsFloat(kTone));

    for (int index : {-1, 4, 99999})
        EXPECT_FALSE(Sound_Replace(index, "tone.wav", 0, true));
    for (int index : {-5, 1, 4, 1000, kVoiceHandleBase + 12345}) {
        EXPECT_EQ(Audio_GetSoundType(index), -1);
        EXPECT_EQ(Audio_PlaySound(index, 1, false), -1);
        Audio_PlayMusic(index, false);
        Audio_StopSound(index);
        EXPECT_FALSE(Audio_IsPlaying(index));
    }
    EXPECT_EQ(Sound_Get(1)->GetHardwareSound(), nullptr);

    // Headers without a single sound packet: accepted, then said once not to be playable.
    console = ConsoleOutputOf([&] { Give(1, "empty.ogg", EncodeOggVorbis({}, 1, kRate)); });
    EXPECT_NE(console.find("Audio: sound 1 cannot be played: the sound holds no samples"), std::string::npos) << console;
    console = ConsoleOutputOf([] { EXPECT_EQ(Audio_PlaySound(1, 1, false), -1); });
    EXPECT_EQ(console, "");
}

TEST_F(AudioTest, ALostDeviceIsSaidOnceAndEverythingAnswersNotPlaying) {
    Give(0, "tone.wav", ToneWav(kTone));
    Give(2, "music.ogg", EncodeOggVorbis(Tone(30000, 1, kRate, 300), 1, kRate), kSoundKindMusic);
    const int voice = Audio_PlaySound(0, 1, true);
    Audio_PlayMusic(2, true);
    AudioEngine_MarkDisconnected();
    std::string console = ConsoleOutputOf(SND_Tick);
    EXPECT_EQ(console, "The audio device was lost: no sound will play\n");
    EXPECT_EQ(AudioStreams_WorkerCount(), 0);
    EXPECT_FALSE(Audio_IsPlaying(voice));
    EXPECT_FALSE(Audio_IsPlaying(2));
    EXPECT_EQ(Audio_PlaySound(0, 1, false), -1);
    EXPECT_EQ(ConsoleOutputOf(SND_Tick), "");
}

// The sound actions choose the engine by the options' flag and play through the services.
TEST_F(AudioTest, TheSoundActionsPlayThroughTheServices) {
    static bool registered = [] { RegisterLibraryBuiltIns(); InitActionFunctions(); return true; }();
    (void)registered;
    Give(0, "tone.wav", ToneWav(kTone));
    Give(3, "music.ogg", EncodeOggVorbis(Tone(30000, 1, kRate, 300), 1, kRate), kSoundKindMusic);
    Sound_Replace(3, "music.ogg", kSoundKindMusic, false);
    TempFolder::Write(m_folders.Game("music2.ogg"), TempFolder::Read(m_folders.Game("music.ogg")));

    for (bool newEngine : {false, true}) {
        Audio_State().Audio_UseNewEngine = newEngine;
        CallBuiltIn("action_sound", {0, 0});
        EXPECT_EQ(CallReal("action_if_sound", {0}), 1) << newEngine;
        CallBuiltIn("action_end_sound", {0});
        EXPECT_EQ(CallReal("action_if_sound", {0}), 0) << newEngine;
        CallBuiltIn("action_sound", {3, 1});
        EXPECT_EQ(CallReal("action_if_sound", {3}), 1) << newEngine;
        CallBuiltIn("action_end_sound", {3});
        EXPECT_EQ(CallReal("action_if_sound", {3}), 0) << newEngine;
    }
    // Replacing through the action keeps the sound's kind and preloading.
    CallBuiltIn("action_replace_sound", {3, "music2.ogg"});
    EXPECT_EQ(Sound_Get(3)->Kind(), kSoundKindMusic);
    EXPECT_FALSE(Sound_Get(3)->Preload());
    EXPECT_EQ(Audio_GetSoundType(3), 1);
    Audio_State().Audio_UseNewEngine = false;
    ForgetReportedError();
    ConsoleOutputOf([] { CallBuiltIn("action_sound", {7, 0}); });
    EXPECT_TRUE(ErrorReported("Trying to play non-existing sound."));
}

} // namespace
