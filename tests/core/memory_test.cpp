#include "core/memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

uint32_t HeaderWord(const void* p, int i) {
    uint32_t w;
    std::memcpy(&w, static_cast<const unsigned char*>(p) - 16 + 4 * i, 4);
    return w;
}

} // namespace

TEST(MemoryManager, GuardedHeaderAndTotals) {
    int64_t bytes = MemoryManager::TotalBytes();
    int64_t blocks = MemoryManager::BlockCount();
    EXPECT_EQ(MEM_ALLOC(0), nullptr);

    void* p = MEM_ALLOC(37);
    EXPECT_EQ(HeaderWord(p, 0), 37u);
    EXPECT_EQ(HeaderWord(p, 1), 0xDEADC0DEu);
    EXPECT_EQ(HeaderWord(p, 2), 0xBAADB00Bu);
    EXPECT_EQ(HeaderWord(p, 3), 0u);
    EXPECT_EQ(MemoryManager::GetSize(p), 37u);
    void* q = MEM_ALLOC_RAW(5);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes + 42);
    EXPECT_EQ(MemoryManager::BlockCount(), blocks + 2);

    MEM_FREE(p);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes + 5);
    MEM_FREE(q);
    MEM_FREE(nullptr);
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
}

// Threads make and free blocks side by side, some freed by a thread other than the one that made them:
// the totals come back exactly to what they were.
TEST(MemoryManager, TotalsStayExactAcrossThreads) {
    const int64_t bytes = MemoryManager::TotalBytes();
    const int64_t blocks = MemoryManager::BlockCount();
    std::vector<void*> fromWorkers[4];
    std::vector<std::thread> workers;
    for (auto& made : fromWorkers)
        workers.emplace_back([&made] {
            for (int i = 0; i < 2000; ++i) {
                void* p = MEM_ALLOC(static_cast<size_t>(1 + i % 50));
                if (i % 2 == 0)
                    made.push_back(p);
                else
                    MEM_FREE(p);
            }
        });
    std::vector<void*> fromMain;
    for (int i = 0; i < 3000; ++i)
        fromMain.push_back(MEM_ALLOC(static_cast<size_t>(3 + i % 7)));
    for (std::thread& worker : workers)
        worker.join();
    EXPECT_EQ(MemoryManager::BlockCount(), blocks + 3000 + 4 * 1000);
    // The main thread frees the workers' blocks; a worker frees the main thread's.
    std::thread freer([&fromMain] {
        for (void* p : fromMain)
            MEM_FREE(p);
    });
    for (auto& made : fromWorkers)
        for (void* p : made)
            MEM_FREE(p);
    freer.join();
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes);
}

// Small blocks freed and made again (the manager keeps thousands of them for reuse) come back as new
// ones: cleared when asked, with their own size, guards and an empty note, and the totals exact.
TEST(MemoryManager, SmallBlocksComeBackAsNewOnes) {
    const int64_t bytes = MemoryManager::TotalBytes();
    const int64_t blocks = MemoryManager::BlockCount();
    std::vector<void*> made;
    for (int i = 0; i < 6000; ++i) {
        const size_t size = 1 + static_cast<size_t>(i % 30);
        void* p = MEM_ALLOC_RAW(size);
        std::memset(p, 0xAB, size);
        MemoryManager::SetNote(p, 0x1234);
        made.push_back(p);
    }
    for (void* p : made)
        MEM_FREE(p);
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
    // Each made and written over, then freed at once: the next comes from the kept ones.
    for (int i = 0; i < 6000; ++i) {
        const size_t size = 1 + static_cast<size_t>((i * 7) % 30);
        auto* p = static_cast<unsigned char*>(MEM_ALLOC(size));
        ASSERT_TRUE(MemoryManager::IsGuarded(p));
        EXPECT_EQ(MemoryManager::GetSize(p), size);
        EXPECT_EQ(MemoryManager::GetNote(p), 0u);
        for (size_t b = 0; b < size; ++b)
            ASSERT_EQ(p[b], 0) << "block " << i << " byte " << b;
        EXPECT_EQ(MemoryManager::TotalBytes(), bytes + static_cast<int64_t>(size));
        std::memset(p, 0xCD, size);
        MemoryManager::SetNote(p, 0x4321);
        MEM_FREE(p);
    }
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes);
}

TEST(MemoryManager, ReAllocNeverShrinksAndZeroesTheGrownTail) {
    auto p = static_cast<unsigned char*>(MEM_REALLOC(nullptr, 8));
    std::memset(p, 0xAB, 8);
    EXPECT_EQ(MEM_REALLOC(p, 3), p);
    EXPECT_EQ(MEM_REALLOC(p, 0), p) << "size 0 neither frees nor moves";
    EXPECT_EQ(MemoryManager::GetSize(p), 8u);

    auto g = static_cast<unsigned char*>(MEM_REALLOC(p, 100));
    EXPECT_EQ(MemoryManager::GetSize(g), 100u);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(g[i], i < 8 ? 0xAB : 0) << i;
    // A large block grown again (where it lies or moved): its bytes, a cleared tail, a cleared note and
    // the totals follow.
    std::memset(g, 0xCD, 100);
    MemoryManager::SetNote(g, 7);
    const int64_t bytes = MemoryManager::TotalBytes(), blocks = MemoryManager::BlockCount();
    g = static_cast<unsigned char*>(MEM_REALLOC(g, 100000));
    EXPECT_EQ(MemoryManager::GetSize(g), 100000u);
    EXPECT_EQ(MemoryManager::GetNote(g), 0u);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes + 99900);
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(g[i], i < 100 ? 0xCD : 0) << i;
    MEM_FREE(g);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes - 100);

    // A C-heap buffer whose words before the pointer hold neither guards nor a mark is refused.
    auto raw = static_cast<unsigned char*>(std::calloc(1, 64));
    EXPECT_EQ(MEM_REALLOC(raw + 16, 100), nullptr);
    std::free(raw);
}

TEST(MemoryManager, MarkedInteriorPointersAreNeverFreedOrMoved) {
    auto base = static_cast<unsigned char*>(MEM_ALLOC(64));
    unsigned char* inner = base + 24;
    uint32_t mark = 0x80000000u | 24u;
    std::memcpy(inner - 4, &mark, 4);
    int64_t bytes = MemoryManager::TotalBytes();
    MEM_FREE(inner);
    EXPECT_EQ(MEM_REALLOC(inner, 4096), inner);
    EXPECT_EQ(MemoryManager::TotalBytes(), bytes);

    mark = 0x80000000u | 0x2000u; // too far to be a mark
    std::memcpy(inner - 4, &mark, 4);
    EXPECT_FALSE(MemoryManager::IsMarkedInterior(inner));
    MEM_FREE(base);
}

TEST(MemoryManagerDeathTest, HugeRequestsEndTheRunOutOfMemory) {
    // Sizes past the 31-bit size word are refused before the C heap is asked.
    EXPECT_EXIT(MEM_ALLOC(size_t{0xFFFFFFF0u}), testing::ExitedWithCode(255), "Out of Memory!");
    void* p = MEM_ALLOC(4);
    EXPECT_EXIT(MEM_REALLOC(p, size_t{0x80000000u}), testing::ExitedWithCode(255), "Fatal Memory Error");
    MEM_FREE(p);
}
