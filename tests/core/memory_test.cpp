#include "core/memory.h"

#include <gtest/gtest.h>

TEST(MemoryManager, Smoke) {
    void* p = MEM_ALLOC(37);
    EXPECT_EQ(MemoryManager::GetSize(p), 37u);
    MEM_FREE(p);
}
