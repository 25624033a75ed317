#include "core/stack_guard.h"

#include <cstdint>
#include <pthread.h>

namespace {

// This thread's stack: its lowest usable address and its size; 0 until first asked.
thread_local uintptr_t t_stackLow = 0;
thread_local uintptr_t t_stackSize = 0;

// A thread whose stack cannot be asked about is assumed to have this much below the first frame that
// asks; one without a limit (ulimit -s unlimited) is used down to the largest.
constexpr uintptr_t kAssumedStack = 1 << 20;
constexpr uintptr_t kLargestStack = 64 << 20;

void FindStack(uintptr_t here) {
    t_stackLow = here > kAssumedStack ? here - kAssumedStack : 1;
    t_stackSize = here - t_stackLow;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) != 0) return;
    void* address = nullptr;
    size_t size = 0;
    size_t guard = 0;
    if (pthread_attr_getstack(&attributes, &address, &size) == 0 && address != nullptr && size > guard) {
        pthread_attr_getguardsize(&attributes, &guard);
        const uintptr_t start = reinterpret_cast<uintptr_t>(address) + guard;
        if (start < here) {
            t_stackLow = start;
            t_stackSize = size - guard;
        }
    }
    pthread_attr_destroy(&attributes);
    if (here - t_stackLow > kLargestStack) {
        t_stackLow = here - kLargestStack;
        t_stackSize = kLargestStack;
    }
}

} // namespace

bool Stack_IsLow(size_t reserve) {
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    if (t_stackLow == 0) FindStack(here);
    // A small stack keeps three quarters of itself for the work.
    if (reserve > t_stackSize / 4) reserve = t_stackSize / 4;
    return here < t_stackLow || here - t_stackLow < reserve;
}
