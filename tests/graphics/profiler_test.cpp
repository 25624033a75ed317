#include "graphics/frame.h"
#include "graphics/profiler.h"

#include <gtest/gtest.h>

TEST(Profiler, EveryFrameStartsItsSwapAndBatchCountsAtZero) {
    Graphics_TextureSwapCount = 12;
    Graphics_VertexBatchCount = 34;
    Profiler_BeginFrame();
    EXPECT_EQ(Graphics_TextureSwapCount, 0);
    EXPECT_EQ(Graphics_VertexBatchCount, 0);
    Profiler_EndFrame();
    // A marker pushed with no frame open begins one.
    Graphics_VertexBatchCount = 5;
    Profiler_Push(0xFFFFFFFFu, "Draw");
    EXPECT_EQ(Graphics_VertexBatchCount, 0);
    Profiler_Pop();
    Profiler_EndFrame();
}
