#include "io_fixture.h"

#include "support/temp_folder.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct Snapshot {
    IOInputCopy game;
    int32_t x, y, cursorX, cursorY;
    bool operator==(const Snapshot& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

Snapshot Take() {
    Snapshot s;
    std::memset(&s, 0, sizeof s);
    s.game = Input_State().IO_State.game;
    s.x = Input_State().IO_RawMouse.x[0];
    s.y = Input_State().IO_RawMouse.y[0];
    s.cursorX = Input_State().IO_State.cursorX;
    s.cursorY = Input_State().IO_State.cursorY;
    return s;
}

struct Recording : MainWindowTest {
    TempFolder folder;
    std::string file = folder / "input.rec";

    // Plays `steps` steps of scripted input and returns the state each step saw.
    std::vector<Snapshot> Play(int steps, bool live) {
        std::vector<Snapshot> seen;
        for (int i = 0; i < steps; ++i) {
            if (live) {
                switch (i % 4) {
                case 0: fake.InjectKey(static_cast<uint8_t>('A' + i), true); break;
                case 1: fake.InjectText("x\xC3\xA9\xF0\x9F\x98\x80"); break;
                case 2: fake.InjectMouseMove(10 * i, 5 * i); fake.InjectMouseButton(1 + i % 3, true); break;
                default: fake.InjectKeyPress(VK_BACK); fake.InjectWheel(1); fake.InjectMouseButton(1 + i % 3, false);
                }
            }
            Step();
            seen.push_back(Take());
        }
        return seen;
    }
    void StartPlayback() {
        ResetInputState();
        IO_SetPlaybackFile(file.c_str());
        IO_Init();
    }
    std::vector<Snapshot> Record(int steps) {
        ResetInputState();
        IO_SetRecordFile(file.c_str());
        IO_Init();
        std::vector<Snapshot> seen = Play(steps, true);
        IO_End();
        return seen;
    }
};

TEST_F(Recording, PlaysBackTheSameInputFrameForFrameAndIgnoresLiveInput) {
    ASSERT_TRUE(Create());
    const std::vector<Snapshot> recorded = Record(12);
    const std::string bytes = TempFolder::Read(file);
    EXPECT_EQ(bytes.size(), 12u * kIOPlaybackFrameSize);
    EXPECT_EQ(recorded[2].game.keyboardString[1], 0xE9);
    // A character beyond 16 bits is recorded as its message left it: its pair's second half last.
    EXPECT_EQ(recorded[1].game.lastChar, 0x1F600u);
    EXPECT_EQ(bytes.substr(kIOPlaybackFrameSize, 2), std::string("\x00\xDE", 2));

    StartPlayback();
    const std::vector<Snapshot> played = Play(12, true);
    for (size_t i = 0; i < recorded.size(); ++i) EXPECT_TRUE(played[i] == recorded[i]) << "step " << i;

    // Past the end the last state stays, with the one-step bytes cleared.
    Play(1, false);
    EXPECT_EQ(Input_State().IO_State.game.keyDown['A' + 8], 1);
    EXPECT_EQ(IO_KeyCheckPressed('A' + 8), 0);
    EXPECT_EQ(IO_MouseWheelUp(0), 0);
}

TEST_F(Recording, PlaybackWinsOverRecording) {
    ResetInputState();
    IO_SetPlaybackFile(file.c_str());
    IO_SetRecordFile((folder / "other.rec").c_str());
    EXPECT_EQ(Input_State().IO_State.mode, IOMode::Playback);
    EXPECT_STREQ(Input_State().IO_State.fileName, file.c_str());
    // A file that cannot be opened leaves playback on without a file: live input is ignored.
    ASSERT_TRUE(Create());
    fake.InjectKey('A', true);
    Step();
    EXPECT_EQ(IO_KeyCheck('A'), 0);
}

TEST_F(Recording, ACutOrDamagedFileStopsPlaybackWithAMessage) {
    ASSERT_TRUE(Create());
    const std::vector<Snapshot> recorded = Record(4);
    const std::string bytes = TempFolder::Read(file);

    // Cut inside frame 2, after its last key: the whole fields before the cut are taken.
    TempFolder::Write(file, bytes.substr(0, 2 * kIOPlaybackFrameSize + 2056 + 2));
    StartPlayback();
    testing::internal::CaptureStdout();
    Play(3, false);
    const std::string cut = testing::internal::GetCapturedStdout();
    EXPECT_NE(cut.find("stopped at frame 2: the file ends inside the frame"), std::string::npos) << cut;
    EXPECT_EQ(IO_GetLastKey(), recorded[2].game.lastKey);
    EXPECT_EQ(std::memcmp(Input_State().IO_State.game.keyboardString, recorded[2].game.keyboardString, 2050),
              0);
    EXPECT_EQ(IO_GetKey(), recorded[1].game.currentKey);
    EXPECT_EQ(Input_State().IO_State.file, nullptr);

    // Codes outside their tables: the frame is refused whole and the state stays the previous frame's.
    const auto damaged = [&](size_t offset, const std::string& with) {
        std::string b = bytes;
        b.replace(kIOPlaybackFrameSize + offset, with.size(), with);
        TempFolder::Write(file, b);
        StartPlayback();
        testing::internal::CaptureStdout();
        const std::vector<Snapshot> seen = Play(3, false);
        const std::string log = testing::internal::GetCapturedStdout();
        EXPECT_NE(log.find("stopped at frame 1"), std::string::npos) << log;
        EXPECT_EQ(seen[1].game.lastKey, recorded[0].game.lastKey) << offset;
        EXPECT_EQ(std::memcmp(seen[1].game.keyDown, recorded[0].game.keyDown, 256), 0) << offset;
    };
    damaged(2052, std::string("\xFB\xFF\xFF\xFF", 4));   // last key -5
    damaged(2056, std::string("\x00\x01\x00\x00", 4));   // current key 256
    damaged(2060 + 'Z', "\x07");                          // a key byte that is no flag
    damaged(2828 + 4, std::string("\x04\x00\x00\x00", 4)); // last button of device 1: 4
    damaged(2848, std::string("\xFF\xFF\xFF\xFF", 4));   // button of device 0: -1
}

TEST_F(Recording, AnUnterminatedStringIsCutAtItsField) {
    std::string frame(kIOPlaybackFrameSize, '\0');
    for (int i = 0; i < kIOKeyboardStringUnits; ++i) frame[2 + 2 * i] = 'a';
    TempFolder::Write(file, frame);
    StartPlayback();
    ASSERT_TRUE(Create());
    Step();
    EXPECT_EQ(std::string(IO_GetKeyboardString()), std::string(1024, 'a'));
}

} // namespace
