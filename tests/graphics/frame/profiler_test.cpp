// The profiler's markers and frame rate on a clock the test moves, the taps that work the overlay, and
// the overlay drawn into a frame.
#include "graphics/device_output.h"
#include "graphics/frame/frame.h"
#include "graphics/frame/profiler.h"
#include "io/input.h"
#include "platform/clock.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"
#include "support/pixel_mask.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class ProfilerTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        Platform_SetBackend(&fake);
        Timing_Init();
        Debug_GestureReset();
        savedSizes = Window_State().Window_DeviceState;
    }
    void TearDown() override {
        GraphicsDeviceTest::TearDown();
        Window_State().Window_DeviceState = savedSizes;
        Debug_GestureReset();
        Profiler_SetHost({});
        Input_State().IO_State.game.buttonPressed[0] = 0;
        Platform_SetBackend(nullptr);
    }
    // A frame whose taps are one press of the left button at (x, y) of the window.
    static bool Tap(int x, int y) {
        Input_State().IO_RawMouse.x[0] = x;
        Input_State().IO_RawMouse.y[0] = y;
        Input_State().IO_State.game.buttonPressed[0] = 1;
        const bool completed = Debug_GestureUpdate();
        Input_State().IO_State.game.buttonPressed[0] = 0;
        return completed;
    }
    // A tap in the middle of a cell of the 10 x 10 grid over a 200 x 100 game.
    static bool TapCell(int column, int row) { return Tap(column * 20 + 10, row * 10 + 5); }
    static void Open() {
        for (auto [c, r] : {std::pair{0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}, {5, 5}, {5, 5}})
            TapCell(c, r);
    }

    CFakePlatform fake;
    WindowDeviceState savedSizes;
};

TEST_F(ProfilerTest, FramesStartTheirCountersAtZeroAndDroppedMarkersDoNotCloseOthers) {
    Frame_State().Graphics_TextureSwapCount = 12;
    Frame_State().Graphics_VertexBatchCount = 34;
    Profiler_BeginFrame();
    EXPECT_EQ(Frame_State().Graphics_TextureSwapCount, 0);
    EXPECT_EQ(Frame_State().Graphics_VertexBatchCount, 0);
    // "Total" and 1,023 more fill the records; three more are dropped, and so are their pops.
    for (int i = 0; i < 1026; ++i)
        Profiler_Push(0xFFFFFFFFu, "Text");
    for (int i = 0; i < 3 + 1022; ++i)
        Profiler_Pop();
    fake.AdvanceClock(20000);
    Profiler_Pop();
    Profiler_EndFrame();
    EXPECT_EQ(Profiler_GetFPSReal(), 50.0f);
    // A frame of no length counts as one microsecond.
    Profiler_Push(0xFFFFFFFFu, "Draw"); // begins a frame
    Profiler_Pop();
    Profiler_EndFrame();
    EXPECT_EQ(Profiler_GetFPSReal(), 1000000.0f);
}

TEST_F(ProfilerTest, TapPatternsOpenTheOverlayAndItsMenu) {
    Window_State().Window_DeviceState.clientSize = {200, 100};
    Window_State().Window_DeviceState.gameSize = {200, 100};
    // Three right, one wrong: the pattern starts again.
    for (auto [c, r] : {std::pair{0, 0}, {9, 0}, {9, 9}, {4, 4}})
        EXPECT_FALSE(TapCell(c, r));
    for (auto [c, r] : {std::pair{0, 0}, {9, 0}, {9, 9}, {0, 9}, {0, 0}, {5, 5}})
        EXPECT_FALSE(TapCell(c, r));
    EXPECT_EQ(Profiler_State().Debug_Flags, 0);
    EXPECT_TRUE(TapCell(6, 4)); // within one cell of the centre
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugOverlayOpen);

    for (auto [c, r] : {std::pair{0, 0}, {9, 0}, {0, 0}, {9, 0}, {0, 9}, {9, 9}, {0, 9}})
        EXPECT_FALSE(TapCell(c, r));
    EXPECT_TRUE(TapCell(9, 9));
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugOverlayOpen | kDebugMenuOpen);
    EXPECT_FALSE(Tap(20, 15)); // the frame-rate switch
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugOverlayOpen | kDebugMenuOpen | kDebugShowFPS);
    Tap(150, 90); // "CLOSE"
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugShowFPS);

    // A minimised window (no size) maps no tap; a room twice the window's size maps each to twice as far.
    Window_State().Window_DeviceState.clientSize = {0, 0};
    Open();
    EXPECT_EQ(Profiler_State().Debug_Flags, kDebugShowFPS);
    Window_State().Window_DeviceState.clientSize = {100, 50};
    Profiler_SetHost({[](int& w, int& h) {
                          w = 200;
                          h = 100;
                          return true;
                      },
                      nullptr, nullptr});
    for (auto [x, y] : {std::pair{5, 2}, {95, 2}, {95, 47}, {5, 47}, {5, 2}, {55, 27}})
        EXPECT_FALSE(Tap(x, y));
    EXPECT_TRUE(Tap(55, 27));
}

// Frames over grey: the title's dark band over the top 100 rows with white text in it; then the
// frame-rate line's bars, whose white band spans the frame.
TEST_F(ProfilerTest, TheOverlayIsDrawnOverTheFrame) {
    StartDevice(D3DBackend::OpenGL, 320, 240);
    uint32_t width = 0;
    const auto frame = [&](int32_t flags) {
        Profiler_State().Debug_Flags = flags;
        EXPECT_TRUE(Graphics::StartFrame());
        GR_Draw_Clear(0xFF808080u);
        fake.AdvanceClock(16000);
        EXPECT_TRUE(Graphics::EndFrame(true));
        return BackBufferPixels(&width);
    };
    std::vector<uint32_t> pixels = frame(kDebugOverlayOpen);
    ASSERT_EQ(width, 320u);
    const auto at = [&](int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; };
    const auto whiteIn = [&](int x1, int y1, int x2, int y2) {
        return CountColour(pixels.data(), static_cast<int>(width), 0xFFFFFFu, x1, y1, x2, y2);
    };
    const uint32_t darkened = at(310, 95) & 0xFF;
    EXPECT_GE(darkened, 28u);
    EXPECT_LE(darkened, 36u);
    EXPECT_EQ(at(310, 100), 0xFF808080u);
    EXPECT_GT(whiteIn(0, 40, 320, 56), 100);  // the title line
    EXPECT_GT(whiteIn(240, 80, 300, 96), 40); // "CLOSE"
    EXPECT_EQ(whiteIn(0, 0, 320, 40), 0);
    EXPECT_EQ(whiteIn(0, 100, 320, 240), 0);

    // 16 ms of a 66.7 ms width; the frame-rate text above the band.
    pixels = frame(kDebugShowFPS);
    EXPECT_EQ(at(1, 19), 0xFFFFFFFFu);
    EXPECT_EQ(at(70, 19), 0xFFFFFFFFu);
    EXPECT_EQ(at(90, 19), 0xFF808080u);
    EXPECT_GT(whiteIn(0, 0, 160, 10), 20);
    EXPECT_EQ(whiteIn(0, 40, 320, 100), 0);
}

// Only the shown records are drawn, as two white triangles each, scaled from the GUI size to the window.
TEST_F(ProfilerTest, ShownVirtualKeysAreDrawnAtTheWindowScale) {
    StartRecording(200, 100);
    IOVirtualKey* keys = Input_State().IO_State.virtualKeys;
    keys[0] = IOVirtualKey{};
    keys[1] = IOVirtualKey{};
    keys[0].flags = kVirtualKeyActive;
    IO_DrawVirtualKeys();
    Graphics::Flush();
    EXPECT_TRUE(Draws().empty());

    Window_State().Window_DeviceState.clientSize = {200, 100};
    Window_State().GUI_Size = {400, 200};
    keys[1] = IOVirtualKey{kVirtualKeyActive | kVirtualKeyShown, 1, 40, 20, 80, 60, 40, 40, 0, 0, 'A', 0};
    const auto drawn = DrawOf(IO_DrawVirtualKeys);
    Window_State().GUI_Size = {-1, -1};
    keys[0] = keys[1] = IOVirtualKey{};
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].first, static_cast<uint32_t>(D3DPT_TRIANGLELIST));
    struct Vertex {
        float x, y, z;
        uint32_t colour;
        float u, v;
    };
    ASSERT_EQ(drawn[0].second.size(), 6 * sizeof(Vertex));
    Vertex v[6];
    std::memcpy(v, drawn[0].second.data(), sizeof v);
    const float corners[6][2] = {{20, 10}, {40, 10}, {40, 30}, {40, 30}, {20, 30}, {20, 10}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(v[i].x, corners[i][0]) << i;
        EXPECT_EQ(v[i].y, corners[i][1]) << i;
        EXPECT_EQ(v[i].colour, 0xFFFFFFFFu) << i;
    }
}

} // namespace
