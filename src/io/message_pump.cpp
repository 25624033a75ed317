#include "io/message_pump.h"

#include "platform/clock.h"
#include "platform/platform.h"

void ProcessMessages() {
    PlatformMessage msg;
    while (Platform_PeekMessage(msg)) {
        if (msg.message == WM_QUIT) {
            MessagePump_State().Run_Running = 0;
            return;
        }
        Platform_DispatchMessage(msg);
    }
}

CMessageWait::CMessageWait() : m_inLoop(MessagePump_State().Run_Running != 0), m_window(Platform_IsWindow()) {}

bool CMessageWait::Over() const {
    return m_inLoop ? MessagePump_State().Run_Running == 0 : m_window && !Platform_IsWindow();
}

void Timing_Sleep(int64_t us) {
    if (us <= 0) return;
    if (us >= 3000000) us = 3000000;
    const int64_t start = Timing_GetTime();
    const int64_t target = start + us;
    if (us >= 2000) Platform_Sleep(static_cast<uint32_t>((us - 1000) / 1000));
    // What is left is slept in microseconds up to a margin short of the end, within which the system
    // may be late to wake the thread; only that margin is spent polling the clock and the messages.
    constexpr int64_t kWakeMargin = 200;
    for (;;) {
        ProcessMessages();
        const int64_t now = Timing_GetTime();
        if (now < start || now >= target) return;
        if (target - now > kWakeMargin) Platform_SleepMicroseconds(target - now - kWakeMargin);
    }
}

void Timing_SleepFrame(int64_t us) {
    Timing_Sleep(us);
}
