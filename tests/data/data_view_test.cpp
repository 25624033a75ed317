// The bounds-checked view at the edges of the file: reads that end exactly at its end, and record lists
// whose entries lie on it.
#include "data/data_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A file of one chunk "LIST" whose body is the counted list of the entries, then `tail` zero bytes.
std::vector<uint8_t> ListFile(const std::vector<uint32_t>& entries, size_t tail) {
    std::vector<uint8_t> file(8 + 4 + 4 * entries.size() + tail, 0);
    std::memcpy(file.data(), "LIST", 4);
    const auto length = static_cast<uint32_t>(file.size() - 8);
    const auto count = static_cast<uint32_t>(entries.size());
    std::memcpy(file.data() + 4, &length, 4);
    std::memcpy(file.data() + 8, &count, 4);
    if (!entries.empty()) std::memcpy(file.data() + 12, entries.data(), 4 * entries.size());
    return file;
}

IFFChunk Body(const std::vector<uint8_t>& file) {
    return IFFChunk{IFF_Tag("LIST"), 8, static_cast<uint32_t>(file.size() - 8)};
}

TEST(DataView, ReadsEndingAtTheEndOfTheFileAndNoFurther) {
    std::vector<uint8_t> bytes = {1, 2, 3, 4, 5, 6};
    const CDataView view(bytes.data(), static_cast<uint32_t>(bytes.size()));
    uint32_t word = 0;
    EXPECT_TRUE(view.U32(2, &word));
    EXPECT_EQ(word, 0x06050403u);
    EXPECT_FALSE(view.U32(3, &word));
    uint8_t byte = 0;
    EXPECT_TRUE(view.U8(5, &byte));
    EXPECT_FALSE(view.U8(6, &byte));
    EXPECT_TRUE(view.Holds(6, 0));
    EXPECT_FALSE(view.Holds(7, 0));
    EXPECT_FALSE(view.Holds(1, UINT64_MAX));
}

TEST(DataView, ARecordListEntryMustLieInsideTheFile) {
    std::vector<uint32_t> entries;
    // The last byte of the file is a place a record can start; the end of the file is not.
    std::vector<uint8_t> file = ListFile({0, 12}, 4);
    const auto size = static_cast<uint32_t>(file.size());
    const uint32_t last = size - 1;
    std::memcpy(file.data() + 12, &last, 4);
    CDataView view(file.data(), size);
    ASSERT_TRUE(view.OffsetList(Body(file), &entries));
    EXPECT_EQ(entries, (std::vector<uint32_t>{size - 1, 12}));

    std::memcpy(file.data() + 12, &size, 4);
    EXPECT_FALSE(view.OffsetList(Body(file), &entries));
    EXPECT_TRUE(entries.empty());

    // Entry 0 means no record and is kept; a count the body cannot hold is refused.
    std::vector<uint8_t> empty = ListFile({0}, 0);
    CDataView emptyView(empty.data(), static_cast<uint32_t>(empty.size()));
    ASSERT_TRUE(emptyView.OffsetList(Body(empty), &entries));
    EXPECT_EQ(entries, (std::vector<uint32_t>{0}));
    const uint32_t tooMany = 2;
    std::memcpy(empty.data() + 8, &tooMany, 4);
    EXPECT_FALSE(emptyView.OffsetList(Body(empty), &entries));
}

} // namespace
