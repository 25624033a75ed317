#include "library/os_events.h"

#include <gtest/gtest.h>

TEST(OSPauseEvent, ADeactivationShowsForExactlyOneFrame) {
    OS_UpdatePauseEvent();
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
    OS_RaisePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame()); // not before the next frame
    OS_UpdatePauseEvent();
    EXPECT_TRUE(OS_IsPausedThisFrame());
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
    // Two events within one frame still give one paused frame.
    OS_RaisePauseEvent();
    OS_RaisePauseEvent();
    OS_UpdatePauseEvent();
    EXPECT_TRUE(OS_IsPausedThisFrame());
    OS_UpdatePauseEvent();
    EXPECT_FALSE(OS_IsPausedThisFrame());
}
