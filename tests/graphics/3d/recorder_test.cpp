// The primitive recorder: strips and fans unfolded into lists, recolouring, and its lists drawn from
// device buffers.
#include "graphics/3d/recorder.h"
#include "graphics/device_output.h"
#include "support/graphics_device.h"

namespace {

class RecorderTest : public GraphicsDeviceTest {
protected:
    void TearDown() override {
        GraphicsRecorder_Free(&recorder);
        GraphicsDeviceTest::TearDown();
    }
    // Vertices numbered by their x.
    static std::vector<Vertex36> Numbered(int n, uint32_t colour = 0xFF00FF00u) {
        std::vector<Vertex36> v;
        for (int i = 0; i < n; ++i)
            v.push_back(Vertex36{static_cast<float>(i), 0, 0, 0, 0, -1, colour, 0, 0});
        return v;
    }
    static std::vector<int> Order(const RecorderList& list) {
        std::vector<int> order;
        for (int i = 0; i < list.count; ++i)
            order.push_back(static_cast<int>(list.vertices[i].x));
        return order;
    }
    GraphicsRecorder recorder;
};

TEST_F(RecorderTest, StripsAndFansBecomeListsAndOnlyMarkedVerticesAreRecoloured) {
    const uint8_t marks[5] = {1, 0, 1, 0, 1};
    GraphicsRecorder_AddPrimitive(&recorder, 5, 5, Numbered(5).data(), marks);
    EXPECT_EQ(Order(recorder.triangles), (std::vector<int>{0, 1, 2, 3, 2, 1, 2, 3, 4}));
    GraphicsRecorder_AddPrimitive(&recorder, 6, 4, Numbered(4).data(), nullptr);
    EXPECT_EQ(Order(recorder.triangles), (std::vector<int>{0, 1, 2, 3, 2, 1, 2, 3, 4, 0, 1, 2, 0, 2, 3}));
    GraphicsRecorder_AddPrimitive(&recorder, 3, 3, Numbered(3).data(), marks);
    EXPECT_EQ(Order(recorder.lines), (std::vector<int>{0, 1, 1, 2}));
    GraphicsRecorder_AddPrimitive(&recorder, 9, 2, Numbered(2).data(), marks);
    EXPECT_EQ(Order(recorder.points), (std::vector<int>{0, 1}));
    // Too few vertices add nothing.
    GraphicsRecorder_AddPrimitive(&recorder, 5, 2, Numbered(2).data(), marks);
    GraphicsRecorder_AddPrimitive(&recorder, 3, 1, Numbered(1).data(), marks);
    EXPECT_EQ(recorder.triangles.count, 15);
    EXPECT_EQ(recorder.lines.count, 4);
    EXPECT_EQ(recorder.triangles.capacity, 18); // 9, then doubled

    // Marked vertices follow the colour; the others keep theirs even when it is the same word.
    recorder.colour = 0xFF00FF00u;
    GraphicsRecorder_Recolour(&recorder, 0xFF123457u);
    EXPECT_EQ(recorder.colour, 0xFF123456u);
    std::vector<uint32_t> colours;
    for (int i = 0; i < 9; ++i)
        colours.push_back(recorder.triangles.vertices[i].colour);
    const uint32_t n = 0xFF123456u, o = 0xFF00FF00u;
    EXPECT_EQ(colours, (std::vector<uint32_t>{n, o, n, o, n, o, n, o, n}));
    EXPECT_EQ(recorder.triangles.vertices[9].colour, o);
    EXPECT_EQ(recorder.points.vertices[0].colour, n);
    EXPECT_EQ(recorder.points.vertices[1].colour, o);
}

TEST_F(RecorderTest, ListsDrawFromDeviceBuffersMadeOnceAndRemadeAfterRecolouring) {
    StartDevice(D3DBackend::OpenGL, 32, 32);
    Frame_State().GR_D3DDevice->SetRenderState(D3DRS_LIGHTING, 0);
    Frame_State().GR_D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u, 1.0f, 0);
    const uint32_t green = 0xFF00FF00u;
    const Vertex36 quad[4] = {{0, 0, 0, 0, 0, -1, green, 0, 0}, {8, 0, 0, 0, 0, -1, green, 0, 0},
                              {0, 8, 0, 0, 0, -1, green, 0, 0}, {8, 8, 0, 0, 0, -1, green, 0, 0}};
    const uint8_t marks[4] = {1, 1, 1, 1};
    GraphicsRecorder_AddPrimitive(&recorder, 5, 4, quad, marks);
    recorder.colour = green;
    GraphicsRecorder_Draw(&recorder, 10, 4, 0);
    ASSERT_NE(recorder.triangles.buffer, nullptr);
    EXPECT_EQ(recorder.triangles.capacity, 6); // shrunk to fit before the buffer was made
    std::vector<uint32_t> pixels = BackBufferPixels();
    EXPECT_EQ(pixels[4 * 32 + 10], green);
    EXPECT_EQ(pixels[11 * 32 + 17], green);
    EXPECT_EQ(pixels[4 * 32 + 9], 0xFF000000u);
    EXPECT_EQ(pixels[12 * 32 + 18], 0xFF000000u);

    GraphicsRecorder_Recolour(&recorder, 0xFFFF0000u);
    EXPECT_EQ(recorder.triangles.buffer, nullptr);
    GraphicsRecorder_Draw(&recorder, 10, 4, 0);
    EXPECT_EQ(BackBufferPixels()[4 * 32 + 10], 0xFFFF0000u);
    float world[16];
    Graphics::GetMatrix(2, world);
    EXPECT_EQ(world[12], 0.0f); // restored
}

} // namespace
