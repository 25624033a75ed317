#include "script/vm/vm_buffer.h"

#include <gtest/gtest.h>

#include "core/memory.h"

TEST(VMWriteBuffer, GrowsByDoublingAndKeepsWrittenWords) {
    VMWriteBuffer buffer(4);
    buffer.EmitInt(-2);
    EXPECT_EQ(buffer.Capacity(), 4);
    buffer.EmitBool(true);
    EXPECT_EQ(buffer.Capacity(), 8);
    buffer.EmitDouble(1.5);
    EXPECT_EQ(buffer.Capacity(), 16);
    buffer.EmitLong(-0x123456789LL);
    EXPECT_EQ(buffer.Capacity(), 32);
    buffer.EmitFloat(0.25f);
    ASSERT_EQ(buffer.size, 28);
    EXPECT_EQ(buffer.ReadWord(0), 0xFFFFFFFEu);
    EXPECT_EQ(buffer.ReadWord(4), 1u);
    EXPECT_EQ(buffer.ReadWord(8), 0u); // 1.5 = 0x3FF8000000000000, low word first
    EXPECT_EQ(buffer.ReadWord(12), 0x3FF80000u);
    EXPECT_EQ(buffer.ReadWord(16), 0xDCBA9877u);
    EXPECT_EQ(buffer.ReadWord(20), 0xFFFFFFFEu);
    EXPECT_EQ(buffer.ReadWord(24), 0x3E800000u);
    EXPECT_EQ(buffer.Reserve(100), 128);

    buffer.PatchWord(4, 0xB7000003u);
    EXPECT_EQ(buffer.ReadWord(4), 0xB7000003u);
}

TEST(VMBuffer, FreesOnlyOwnedBytes) {
    const int64_t blocks = MemoryManager::BlockCount();
    uint8_t outside[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    {
        VMBuffer view(outside, 8, false);
        EXPECT_EQ(view.ReadWord(4), 0x08070605u);
    }
    { VMBuffer owned(static_cast<uint8_t*>(MEM_ALLOC(8)), 8, true); }
    EXPECT_EQ(MemoryManager::BlockCount(), blocks);
}
