// The 2D primitives as vertex streams, on the recording backend.
#include "graphics/device_output.h"
#include "script/compiler/compile.h"

#include <cstring>

namespace {

using V24 = Vertex24;

class DrawTest : public GraphicsDeviceTest {
protected:
    void SetUp() override {
        StartRecording(64, 48);
    }
    // The vertices of the last draw (24-byte layout).
    std::vector<V24> Last() {
        Graphics::Flush();
        const auto draws = Draws();
        return draws.empty() ? std::vector<V24>{} : VerticesOf(*draws.back());
    }
};

TEST_F(DrawTest, ColourAndCirclePrecision) {
    GR_Draw_SetColour(0x123456u);
    GR_Draw_SetAlpha(0.5f);
    EXPECT_EQ(GR_Draw_GetDeviceColour(), 0x7F563412u);
    EXPECT_EQ(GR_Draw_GetColour(), 0x7F123456u);
    const int cases[][2] = {{5, 4}, {63, 60}, {100, 64}, {2, 4}, {24, 24}};
    for (const auto& c : cases) {
        GR_Draw_SetCirclePrecision(c[0]);
        EXPECT_EQ(GR_Draw_GetCirclePrecision(), c[1]) << c[0];
    }
}

TEST_F(DrawTest, RectanglesOrderTheirCornersAndOffsetTheirEdges) {
    GR_Draw_Rectangle(2, 3, 5, 7, false);
    const auto filled = Last();
    ASSERT_EQ(filled.size(), 6u);
    EXPECT_EQ(filled[0].x, 2.0f);
    EXPECT_EQ(filled[0].y, 3.0f);
    EXPECT_EQ(filled[2].x, 6.0f);
    EXPECT_EQ(filled[2].y, 8.0f);
    Recording().ClearLog();
    GR_Draw_Rectangle(5, 7, 2, 3, false);
    const auto swapped = Last();
    ASSERT_EQ(swapped.size(), 6u);
    EXPECT_EQ(std::memcmp(filled.data(), swapped.data(), sizeof(V24) * 6), 0);

    // The outline: a strip of the offset corners, then the four corner points.
    Recording().ClearLog();
    GR_Draw_Rectangle(2, 3, 5, 7, true);
    Graphics::Flush();
    const auto draws = Draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0]->a, static_cast<uint32_t>(D3DPT_LINESTRIP));
    EXPECT_EQ(draws[0]->b, 4u);
    EXPECT_EQ(draws[1]->a, static_cast<uint32_t>(D3DPT_POINTLIST));
    const auto corners = Last();
    ASSERT_EQ(corners.size(), 4u);
    EXPECT_EQ(corners[0].x, 3.0f);
    EXPECT_EQ(corners[0].y, 4.0f);
    EXPECT_EQ(corners[2].x, 6.0f);
    EXPECT_EQ(corners[2].y, 8.0f);

    // Corner colours: whole right and bottom edges move in by nothing but out by a hundredth.
    Recording().ClearLog();
    GR_Draw_RectangleColour(0, 0, 9, 9, 0x0000FFu, 0x00FF00u, 0xFF0000u, 0xFFFFFFu, false);
    const auto coloured = Last();
    ASSERT_EQ(coloured.size(), 5u);
    EXPECT_FLOAT_EQ(coloured[1].x, 10.01f);
    EXPECT_EQ(coloured[0].colour, 0xFFFF0000u);
    EXPECT_EQ(coloured[1].colour, 0xFF00FF00u);
    EXPECT_EQ(coloured[2].colour, 0xFF0000FFu);
}

TEST_F(DrawTest, CirclesEllipsesAndRoundRectangles) {
    GR_Draw_Circle(10, 10, 5, false);
    EXPECT_EQ(Last().size(), 72u);
    Recording().ClearLog();
    GR_Draw_Circle(10, 10, 5, true);
    const auto outline = Last();
    ASSERT_EQ(outline.size(), 25u);
    EXPECT_FLOAT_EQ(outline[0].x, 15.0f);
    EXPECT_FLOAT_EQ(outline[24].x, outline[0].x);
    Recording().ClearLog();
    GR_Draw_RoundRect(0, 0, 20, 10, 4, 4, true);
    const auto round = Last();
    ASSERT_EQ(round.size(), 30u);
    EXPECT_EQ(round[0].x, round[1].x);
    EXPECT_EQ(round[29].x, round[1].x);
}

TEST_F(DrawTest, LinesArrowsButtonsAndHealthBars) {
    GR_Draw_LineWidth(0, 0, 0, 0, 3);
    GR_Draw_Arrow(5, 5, 5, 5, 4);
    EXPECT_TRUE(Last().empty()) << "zero-length thick lines and arrows draw nothing";
    GR_Draw_Arrow(0, 0, 10, 0, 4);
    Graphics::Flush();
    ASSERT_EQ(Draws().size(), 2u);
    const auto head = Last();
    ASSERT_EQ(head.size(), 3u);
    EXPECT_FLOAT_EQ(head[0].x, 6.0f);
    EXPECT_FLOAT_EQ(head[0].y, 4.0f / 3.0f);
    Recording().ClearLog();
    GR_Draw_Healthbar(0, 0, 100, 10, 0, 0, 0xFF, 0x80, 0xFF00, 0, false, true);
    EXPECT_TRUE(Draws().empty());
    GR_Draw_Healthbar(0, 0, 100, 10, 75, 0, 0x0000FF, 0x00FFFF, 0x00FF00, 1, false, false);
    const auto bar = Last();
    ASSERT_EQ(bar.size(), 5u);
    EXPECT_FLOAT_EQ(bar[0].x, 25.0f);
    EXPECT_EQ(bar[0].colour, 0xFF80FF00u) << "half way from the middle colour to the full one";
}

TEST_F(DrawTest, UserPrimitivesKeepAtMost1001VerticesAndDrawAgainOnASecondEnd) {
    GR_Draw_PrimitiveBegin(1, -1);
    for (int i = 0; i < 1002; ++i)
        GR_Draw_Vertex(static_cast<float>(i), 0);
    GR_Draw_PrimitiveEnd();
    auto points = Last();
    ASSERT_EQ(points.size(), 1001u);
    EXPECT_EQ(points[1000].x, 1000.0f);
    Recording().ClearLog();
    GR_Draw_PrimitiveEnd();
    EXPECT_EQ(Last().size(), 1001u);

    // A texture that does not exist is fatal; a page-entry handle is read through the registry.
    CodeError_State().Code_Aborting = false;
    GR_Draw_PrimitiveBegin(4, 5000);
    EXPECT_TRUE(CodeError_State().Code_Aborting);
    ASSERT_NE(CodeError_State().Code_LastErrorText, nullptr);
    EXPECT_NE(std::strstr(CodeError_State().Code_LastErrorText, "Illegal texture supplied."), nullptr);
    CodeError_State().Code_Aborting = false;
    TDeviceTexture* t = GR_D3D_CreateTexture(64, 32, 1, 0, 6);
    const int id = Texture_AddExisting(t, 64, 32);
    TPageEntry entry{8, 4, 16, 16, 0, 0, 16, 16, 16, 16, static_cast<int16_t>(id)};
    const int32_t handle = PageEntry_Register(&entry);
    EXPECT_GT(handle, 16384);
    GR_Draw_PrimitiveBegin(4, handle);
    GR_Draw_VertexTexture(0, 0, 1.0f, 1.0f);
    GR_Draw_VertexTexture(1, 0, 0, 0);
    GR_Draw_VertexTexture(0, 1, 0, 0);
    GR_Draw_PrimitiveEnd();
    EXPECT_FALSE(CodeError_State().Code_Aborting);
    const auto tri = Last();
    ASSERT_EQ(tri.size(), 3u);
    EXPECT_FLOAT_EQ(tri[0].u, 24.0f / 64.0f);
    EXPECT_FLOAT_EQ(tri[0].v, 20.0f / 32.0f);
    PageEntry_ClearRegistry();
}

} // namespace
