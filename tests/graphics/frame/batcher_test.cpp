// Batching of primitives into draw calls, on the recording backend.
#include "graphics/device_output.h"
#include "graphics/frame/frame.h"

#include <cstring>

namespace {

class BatcherTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartRecording(64, 48);
    }
    size_t DrawCount() {
        Graphics::Flush();
        return Draws().size();
    }
};

TEST_F(BatcherTest, LikeListPrimitivesShareOneDrawAndStripsNeverContinue) {
    GR_Draw_Rectangle(0, 0, 10, 10, false);
    GR_Draw_Rectangle(20, 20, 30, 30, false);
    GR_Draw_Triangle(0, 0, 5, 0, 0, 5, false);
    EXPECT_EQ(DrawCount(), 1u);
    EXPECT_EQ(Draws()[0]->b, 5u) << "two rectangles and a triangle are five triangles";

    // Outlined rectangles are a strip and a point list each.
    Recording().ClearLog();
    GR_Draw_Rectangle(0, 0, 10, 10, true);
    GR_Draw_Rectangle(20, 20, 30, 30, true);
    EXPECT_EQ(DrawCount(), 4u);
    Recording().ClearLog();
    GR_Draw_RectangleColour(0, 0, 10, 10, 0, 0, 0, 0, true);
    GR_Draw_RectangleColour(20, 20, 30, 30, 0, 0, 0, 0, true);
    EXPECT_EQ(DrawCount(), 2u);

    // Points batch with points, lines with lines; a change of kind ends the batch.
    Recording().ClearLog();
    GR_Draw_Point(1, 1);
    GR_Draw_Point(2, 2);
    GR_Draw_Line(0, 0, 5, 5);
    GR_Draw_Line(0, 5, 5, 0);
    EXPECT_EQ(DrawCount(), 2u);
    EXPECT_EQ(Frame_State().Graphics_VertexBatchCount >= 2, true);
}

TEST_F(BatcherTest, AStateChangeEndsTheBatchAndReachesTheDeviceAfterIt) {
    GR_Draw_Rectangle(0, 0, 10, 10, false);
    Graphics::SetBlendMode(1);
    GR_Draw_Rectangle(20, 20, 30, 30, false);
    Graphics::Flush();
    const auto& log = Recording().Log();
    int firstDraw = -1, blend = -1, secondDraw = -1;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i].kind == D3DCallKind::DrawPrimitive) {
            (firstDraw < 0 ? firstDraw : secondDraw) = static_cast<int>(i);
        }
        if (log[i].kind == D3DCallKind::SetRenderState && log[i].a == D3DRS_DESTBLEND && log[i].b == D3DBLEND_ONE)
            blend = static_cast<int>(i);
    }
    ASSERT_GE(firstDraw, 0);
    ASSERT_GE(secondDraw, 0);
    EXPECT_LT(firstDraw, blend);
    EXPECT_LT(blend, secondDraw);

    // Toggling a state between flushes sends nothing; a flush with no batch still applies states.
    Recording().ClearLog();
    Graphics::SetBlendMode(0);
    Graphics::SetBlendMode(1);
    Graphics::Flush();
    EXPECT_EQ(Recording().Count(D3DCallKind::SetRenderState), 0u);
    Graphics::SetBlendMode(0);
    Graphics::Flush();
    EXPECT_EQ(Recording().Count(D3DCallKind::SetRenderState), 1u);
    EXPECT_EQ(Draws().size(), 0u);
}

// Vertices of an incomplete primitive are never drawn, neither alone nor as part of a later batch.
TEST_F(BatcherTest, IncompletePrimitivesAreDroppedAndNeverJoinLaterBatches) {
    constexpr float kStray = 99.0f;
    auto allocate = [](int kind, int count, float x) {
        auto* v = static_cast<Vertex24*>(Graphics::AllocVerts(kind, nullptr, 24, count));
        for (int i = 0; v && i < count; ++i)
            v[i] = Vertex24{x, static_cast<float>(i), 0.0f, 0xFFFFFFFFu, 0.0f, 0.0f};
        return v != nullptr;
    };
    auto strayDrawn = [&] {
        for (const D3DCall* draw : Draws())
            for (const Vertex24& v : VerticesOf(*draw))
                if (v.x == kStray) return true;
        return false;
    };
    const int before = Frame_State().Graphics_VertexBatchCount;
    ASSERT_TRUE(allocate(4, 2, kStray));
    EXPECT_EQ(DrawCount(), 0u);
    EXPECT_EQ(Frame_State().Graphics_VertexBatchCount, before);
    // The next batch, of another kind, starts after the two left over.
    ASSERT_TRUE(allocate(5, 4, 1.0f));
    ASSERT_EQ(DrawCount(), 1u);
    EXPECT_EQ(Draws()[0]->b, 2u);
    EXPECT_FALSE(strayDrawn());

    // A list with a vertex over is not continued by more of the same kind.
    Recording().ClearLog();
    ASSERT_TRUE(allocate(4, 3, 1.0f));
    ASSERT_TRUE(allocate(4, 1, kStray));
    ASSERT_TRUE(allocate(4, 3, 2.0f));
    ASSERT_EQ(DrawCount(), 2u);
    EXPECT_EQ(Draws()[0]->b, 1u);
    EXPECT_EQ(Draws()[1]->b, 1u);
    EXPECT_FALSE(strayDrawn());
}

TEST_F(BatcherTest, BuffersAreSizedForLargeRequestsAndRestThreeFrames) {
    Recording().ClearLog();
    ASSERT_NE(Graphics::AllocVerts(4, nullptr, 16, 20000), nullptr);
    Graphics::Flush();
    bool sized = false;
    for (const D3DCall& call : Recording().Log())
        sized |= call.kind == D3DCallKind::CreateVertexBuffer && call.a == 20000u * 16u;
    EXPECT_TRUE(sized);

    // A buffer used in one frame is not taken again for the next three frames.
    const int pool = GR_Batch_PoolSize();
    for (int frame = 0; frame < 4; ++frame) {
        GR_Draw_Rectangle(0, 0, 1, 1, false);
        Graphics::Flush();
        Graphics::ResetBatchBuffers();
    }
    // Frames F..F+3 need four 24-byte buffers; frame F+4 reuses the first.
    EXPECT_EQ(GR_Batch_PoolSize(), pool + 4);
    GR_Draw_Rectangle(0, 0, 1, 1, false);
    Graphics::Flush();
    EXPECT_EQ(GR_Batch_PoolSize(), pool + 4);
}

TEST_F(BatcherTest, ClearSwapsTheColourIntoDeviceOrder) {
    GR_Draw_Rectangle(0, 0, 1, 1, false);
    GR_Draw_Clear(0xFF0000FFu | 0x00FF00u);
    const auto& log = Recording().Log();
    ASSERT_GE(log.size(), 2u);
    // The pending batch is drawn before the clear.
    const D3DCall* clear = nullptr;
    bool drawnFirst = false;
    for (const D3DCall& call : log) {
        if (call.kind == D3DCallKind::DrawPrimitive) drawnFirst = clear == nullptr;
        if (call.kind == D3DCallKind::Clear) clear = &call;
    }
    ASSERT_NE(clear, nullptr);
    EXPECT_TRUE(drawnFirst);
    EXPECT_EQ(clear->a, 7u);
    EXPECT_EQ(clear->b, 0xFFFFFF00u);
}

TEST_F(BatcherTest, ManualClearCoversTheTargetWithAQuadAndRestoresEverything) {
    Frame_State().CommandLine_Graphics.manualClear = true;
    float projection[16];
    Graphics::GetMatrix(1, projection);
    Graphics::Clear(0x00000000u, 1.0f, 0, 2);
    Frame_State().CommandLine_Graphics.manualClear = false;
    EXPECT_EQ(Recording().Count(D3DCallKind::Clear), 0u);
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0]->a, static_cast<uint32_t>(D3DPT_TRIANGLESTRIP));
    // Depth only: no colour channel is written while it draws.
    bool maskedColour = false;
    for (const D3DCall& call : Recording().Log())
        maskedColour |= call.kind == D3DCallKind::SetRenderState && call.a == D3DRS_COLORWRITEENABLE && call.b == 0;
    EXPECT_TRUE(maskedColour);
    float after[16];
    Graphics::GetMatrix(1, after);
    EXPECT_EQ(std::memcmp(projection, after, sizeof after), 0);
    EXPECT_TRUE(Transform_State().GR_Transform.halfPixel);
    EXPECT_EQ(RenderState_State().g_RenderState.requested[RS_COLORWRITEENABLE], 15u);
}

} // namespace
