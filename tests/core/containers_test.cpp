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

TEST(Hash, ChainsIteratorAndRemoval) {
    Hash<int> h(3); // rounded up to 4 buckets
    int v[4] = {0, 1, 2, 3};
    h.Insert(2, &v[0]);
    h.Insert(1, &v[1]);
    h.Insert(6, &v[2]); // bucket 2, after key 2
    h.Insert(2, &v[3]); // duplicate key, last in bucket 2
    HashIterator<int> it(&h);
    std::vector<int> seen;
    for (int* p = it.First(); p; p = it.Next())
        seen.push_back(*p);
    EXPECT_EQ(seen, (std::vector<int>{1, 0, 2, 3}));
    EXPECT_EQ(it.index, -1);
    EXPECT_EQ(it.Next(), nullptr);

    EXPECT_EQ(h.Find(2), &v[0]);
    EXPECT_TRUE(h.Remove(2, HASH_KEEP_VALUE));
    EXPECT_EQ(h.Find(2), &v[3]);
    EXPECT_TRUE(h.Remove(2, HASH_KEEP_VALUE));
    EXPECT_FALSE(h.Remove(2, HASH_KEEP_VALUE));
    EXPECT_EQ(h.BucketAt(2).first, h.BucketAt(2).last);
    EXPECT_EQ(h.Count(), 2);

    int deleted = 0;
    Hash<Tracked> objects(16);
    for (uint32_t k = 0; k < 40; ++k)
        objects.Insert(k, new Tracked(&deleted));
    objects.Clear(HASH_DELETE_VALUE);
    EXPECT_EQ(deleted, 40);
    Hash<char> blocks(2);
    int64_t before = MemoryManager::TotalBytes();
    blocks.Insert(1, static_cast<char*>(MEM_ALLOC(100)));
    blocks.Remove(1, HASH_FREE_VALUE);
    EXPECT_EQ(MemoryManager::TotalBytes(), before);
}

TEST(Hash, AGrowingTableKeepsEveryKeyAndTheOrderOfDuplicates) {
    Hash<int> h(4, false, true);
    std::vector<int> values(1000);
    h.Insert(7, &values[0]);
    for (uint32_t k = 1; k < 1000; ++k)
        h.Insert(k * 3, &values[k]);
    h.Insert(7, &values[1]); // a duplicate made after many growths
    EXPECT_GE(h.Mask() + 1, 500u) << "the buckets grew with the keys";
    EXPECT_EQ(h.Count(), 1001);
    for (uint32_t k = 1; k < 1000; ++k)
        ASSERT_EQ(h.Find(k * 3), &values[k]) << k;
    EXPECT_EQ(h.Find(7), &values[0]);
    EXPECT_TRUE(h.Remove(7, HASH_KEEP_VALUE));
    EXPECT_EQ(h.Find(7), &values[1]);
    Hash<int> fixed(4);
    for (uint32_t k = 0; k < 100; ++k)
        fixed.Insert(k, &values[k]);
    EXPECT_EQ(fixed.Mask(), 3u);
}

TEST(Arrays, GrowZeroedNeverShrinkAndReleaseByKind) {
    cARRAY_STRUCTURE<unsigned char> flags;
    flags.SetLength(4);
    flags[3] = 7;
    flags.SetLength(2);
    flags.SetLength(100);
    EXPECT_EQ(flags[3], 7) << "shrinking only lowered the count";
    EXPECT_EQ(flags[99], 0);

    int deleted = 0;
    {
        Tracked kept(&deleted);
        cARRAY_CLASS_NO_DELETE<Tracked> borrowed;
        borrowed.SetLength(1);
        borrowed[0] = &kept;
        cARRAY_CLASS<Tracked> owned;
        owned.SetLength(3);
        for (int i = 0; i < 3; ++i)
            owned[i] = new Tracked(&deleted);
        owned.SetLength(0);
        EXPECT_EQ(deleted, 3);
    }
    EXPECT_EQ(deleted, 4) << "only the borrowed object's own destructor";

    int64_t before = MemoryManager::TotalBytes();
    {
        cARRAY_MEMORY<char> blocks;
        blocks.SetLength(1);
        blocks[0] = static_cast<char*>(MEM_ALLOC(10));
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
                lock.Lock();
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
