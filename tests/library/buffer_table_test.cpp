#include "builtin_test_util.h"

#include "library/buffer_table.h"
#include "script/buffer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testing::HasSubstr;

namespace {

struct BufferTableTest : testing::Test {
    ~BufferTableTest() override { Buffer_DeleteAll(); }
};

TEST_F(BufferTableTest, SlotsAreReusedLowestFirst) {
    EXPECT_EQ(Buffer_Create(4, eBuffer_Grow, 1), 0);
    EXPECT_EQ(Buffer_Create(4, eBuffer_Fast, 1), 1);
    EXPECT_EQ(Buffer_Create(4, eBuffer_Wrap, 8), 2);
    EXPECT_NE(dynamic_cast<Buffer_Fast*>(Buffer_Get(1)), nullptr);
    EXPECT_EQ(dynamic_cast<Buffer_Fast*>(Buffer_Get(2)), nullptr);
    EXPECT_EQ(Buffer_Get(2)->alignment, 8);
    Buffer_Delete(1);
    Buffer_Delete(0);
    Buffer_Delete(0);
    Buffer_Delete(-1);
    EXPECT_EQ(Buffer_Get(0), nullptr);
    EXPECT_EQ(Buffer_Get(3), nullptr);
    EXPECT_EQ(Buffer_Get(-1), nullptr);
    EXPECT_EQ(Buffer_Create(2, eBuffer_Fixed, 1), 0);
    EXPECT_EQ(Buffer_Create(2, eBuffer_Fixed, 1), 1);

    // Over existing memory: fixed, alignment 1, freed with the buffer when it owns it.
    auto* block = static_cast<uint8_t*>(MEM_ALLOC(3));
    const int index = Buffer_CreateFromMemory(block, 3, true);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(Buffer_Get(index)->data, block);
    EXPECT_EQ(Buffer_Get(index)->kind, eBuffer_Fixed);
    Buffer_Delete(index);
}

TEST_F(BufferTableTest, ScriptsCreateAndFillBuffers) {
    const int b = static_cast<int>(CallReal("buffer_create", {8, eBuffer_Fixed, 4}));
    IBuffer* buffer = Buffer_Get(b);
    ASSERT_NE(buffer, nullptr);
    std::memset(buffer->data, 0xEE, 8);
    CallReal("buffer_fill", {b, 2, eBuffer_U16, 0x0102, -1});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->data), 8), std::string("\xEE\xEE\0\0\x02\x01\0\0", 8));

    std::string log = ConsoleOutputOf([] { EXPECT_EQ(CallReal("buffer_create", {-1, 0, 1}), -1); });
    EXPECT_THAT(log, HasSubstr("buffer_create: Illegal buffer size"));
    log = ConsoleOutputOf([] { CallReal("buffer_fill", {99, 0, 1, 1, -1}); });
    EXPECT_THAT(log, HasSubstr("buffer_fill: Illegal buffer index"));
}

} // namespace
