// Regions of memory the address sanitizer reports when they are used: slots and blocks kept for use
// again are poisoned while they wait, so that a stale pointer into them is still caught. Without the
// sanitizer the calls do nothing, and RUNNER_ADDRESS_SANITIZER is not defined.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define RUNNER_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define RUNNER_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef RUNNER_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

inline void Memory_Poison([[maybe_unused]] void* p, [[maybe_unused]] size_t size) {
#ifdef RUNNER_ADDRESS_SANITIZER
    ASAN_POISON_MEMORY_REGION(p, size);
#endif
}

inline void Memory_Unpoison([[maybe_unused]] void* p, [[maybe_unused]] size_t size) {
#ifdef RUNNER_ADDRESS_SANITIZER
    ASAN_UNPOISON_MEMORY_REGION(p, size);
#endif
}
