// The frame's wait on a clock of the test's own: it ends at its target, the whole milliseconds slept
// as before, the rest slept in microseconds but for a short margin in which the clock is polled.
#include "io/message_pump.h"
#include "platform/clock.h"
#include "platform/fake/fake_platform.h"
#include "platform/platform.h"

#include <gtest/gtest.h>

namespace {

TEST(FrameWait, EndsAtItsTargetSleepingAllButAShortMargin) {
    // The clock moves one microsecond on at every reading, and by what is slept.
    CFakePlatform clock;
    clock.clockStep = 1;
    Platform_SetBackend(&clock);
    Timing_Init();
    for (const int64_t wait : {1500, 33000}) {
        SCOPED_TRACE(wait);
        clock.sleeps.clear();
        clock.microsecondSleeps.clear();
        const int64_t start = Timing_GetTime();
        Timing_Sleep(wait);
        const int64_t waited = Timing_GetTime() - start;
        EXPECT_GE(waited, wait);
        EXPECT_LE(waited, wait + 2);
        EXPECT_EQ(clock.sleeps, wait >= 2000 ? std::vector<uint32_t>{static_cast<uint32_t>((wait - 1000) / 1000)}
                                             : std::vector<uint32_t>{});
        // What was not slept was spent reading the clock (polling the whole rest would be about 1,000).
        int64_t slept = 0;
        for (const uint32_t ms : clock.sleeps) slept += ms * 1000;
        for (const int64_t us : clock.microsecondSleeps) slept += us;
        EXPECT_LT(waited - slept, 250);
    }
    Platform_SetBackend(nullptr);
}

} // namespace
