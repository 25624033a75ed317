#include "core/arrays.h"
#include "core/hash.h"
#include "core/memory.h"
#include "core/mutex.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Tracked {
    explicit Tracked(int* counter) : deleted(counter) {}
    ~Tracked() { ++*deleted; }
    int* deleted;
};

} // namespace

TEST(Hash, ChainsKeepInsertOrderAndFindTheFirst) {
    Hash<int> h(5); // rounded up to 8 buckets
    EXPECT_EQ(h.Mask(), 7u);
    int a = 1, b = 2, c = 3, d = 4;
    h.Insert(3, &a);
    h.Insert(11, &b); // same bucket as 3
    h.Insert(3, &c);  // duplicate key, after the first
    h.Insert(0xFFFFFFFFu, &d);
    EXPECT_EQ(h.Count(), 4);
    EXPECT_EQ(h.Find(3), &a);
    EXPECT_EQ(h.Find(11), &b);
    EXPECT_EQ(h.Find(19), nullptr);

    EXPECT_TRUE(h.Remove(3, HASH_KEEP_VALUE));
    EXPECT_EQ(h.Find(3), &c);
    EXPECT_TRUE(h.Remove(3, HASH_KEEP_VALUE));
    EXPECT_FALSE(h.Remove(3, HASH_KEEP_VALUE));
    EXPECT_EQ(h.Find(11), &b);
    EXPECT_EQ(h.Count(), 2);
    // Bucket 3 now holds only key 11: both ends point at it.
    EXPECT_EQ(h.BucketAt(3).first, h.BucketAt(3).last);
}

TEST(Hash, IteratorWalksBucketsInOrderThenEnds) {
    Hash<int> h(4);
    int v[5] = {0, 1, 2, 3, 4};
    h.Insert(2, &v[0]);
    h.Insert(1, &v[1]);
    h.Insert(6, &v[2]); // bucket 2, after key 2
    h.Insert(3, &v[3]);
    HashIterator<int> it(&h);
    std::vector<int> seen;
    for (int* p = it.First(); p; p = it.Next())
        seen.push_back(*p);
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(it.index, -1);
    EXPECT_EQ(it.node, nullptr);
    EXPECT_EQ(it.Next(), nullptr);

    Hash<int> empty(512);
    HashIterator<int> none(&empty);
    EXPECT_EQ(none.First(), nullptr);
    EXPECT_EQ(none.index, -1);
}

TEST(Hash, RemoveAndClearDisposeOfValuesByMode) {
    int deleted = 0;
    Hash<Tracked> objects(16);
    for (uint32_t k = 0; k < 40; ++k)
        objects.Insert(k, new Tracked(&deleted));
    EXPECT_TRUE(objects.Remove(7, HASH_DELETE_VALUE));
    EXPECT_EQ(deleted, 1);
    objects.Clear(HASH_DELETE_VALUE);
    EXPECT_EQ(deleted, 40);
    EXPECT_EQ(objects.Count(), 0);

    Hash<char> blocks(2);
    int64_t before = MemoryManager::TotalBytes();
    blocks.Insert(1, static_cast<char*>(MEM_ALLOC(100)));
    blocks.Insert(2, static_cast<char*>(MEM_ALLOC(50)));
    blocks.Clear(HASH_FREE_VALUE);
    EXPECT_EQ(MemoryManager::TotalBytes(), before);
}

TEST(Arrays, StructureGrowsZeroedAndNeverShrinks) {
    cARRAY_STRUCTURE<unsigned char> flags;
    flags.SetLength(4);
    flags[3] = 7;
    flags.SetLength(2);
    EXPECT_EQ(flags.count, 2);
    flags.SetLength(4);
    EXPECT_EQ(flags[3], 7) << "shrinking only lowered the count";
    flags.SetLength(100);
    EXPECT_EQ(flags[99], 0);
    EXPECT_GE(MemoryManager::GetSize(flags.data), 100u);
    flags.SetLength(0);
    EXPECT_EQ(flags.data, nullptr);
    EXPECT_EQ(flags.count, 0);
}

TEST(Arrays, PointerArraysReleaseTheirElementsByKind) {
    int deleted = 0;
    {
        cARRAY_CLASS<Tracked> owned;
        owned.SetLength(3);
        EXPECT_EQ(owned[2], nullptr);
        for (int i = 0; i < 3; ++i)
            owned[i] = new Tracked(&deleted);
        owned.SetLength(0);
        EXPECT_EQ(deleted, 3);
        owned.SetLength(1);
        owned[0] = new Tracked(&deleted);
    }
    EXPECT_EQ(deleted, 4) << "the destructor releases what is left";

    Tracked kept(&deleted);
    {
        cARRAY_CLASS_NO_DELETE<Tracked> borrowed;
        borrowed.SetLength(2);
        borrowed[0] = borrowed[1] = &kept;
        borrowed.Clear();
        EXPECT_EQ(borrowed.data, nullptr);
    }
    EXPECT_EQ(deleted, 4);

    int64_t before = MemoryManager::TotalBytes();
    {
        cARRAY_MEMORY<char> blocks;
        blocks.SetLength(2);
        blocks[0] = static_cast<char*>(MEM_ALLOC(10));
        blocks[1] = static_cast<char*>(MEM_ALLOC(20));
        blocks.SetLength(5);
        EXPECT_EQ(blocks[4], nullptr);
    }
    EXPECT_EQ(MemoryManager::TotalBytes(), before);
}

TEST(Mutex, ExcludesOtherThreadsAndLetsTheHolderRelock) {
    CMutex lock("TestMutex");
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                EXPECT_TRUE(lock.Lock());
                ++counter;
                lock.Unlock();
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 80000);
    EXPECT_TRUE(lock.Lock());
    EXPECT_TRUE(lock.Lock());
    lock.Unlock();
    lock.Unlock();
}
