#include "core/stack_guard.h"

#include <cstdint>
#include <pthread.h>

namespace {

// Lowest usable address of this thread's stack; 0 until first asked.
thread_local uintptr_t t_stackLow = 0;

// A thread whose stack cannot be asked about is assumed to have this much below the first frame that
// asks.
constexpr uintptr_t kAssumedStack = 1 << 20;

uintptr_t FindStackLow(uintptr_t here) {
    uintptr_t low = here > kAssumedStack ? here - kAssumedStack : 1;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
        void* address = nullptr;
        size_t size = 0;
        size_t guard = 0;
        if (pthread_attr_getstack(&attributes, &address, &size) == 0 && address != nullptr && size > 0) {
            pthread_attr_getguardsize(&attributes, &guard);
            const uintptr_t start = reinterpret_cast<uintptr_t>(address) + guard;
            if (start < here) low = start;
        }
        pthread_attr_destroy(&attributes);
    }
    return low;
}

} // namespace

bool Stack_IsLow(size_t reserve) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (t_stackLow == 0) t_stackLow = FindStackLow(here);
    return here < t_stackLow || here - t_stackLow < reserve;
}
