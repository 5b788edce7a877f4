#include "engine/eventlist.h"
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

static bool AllZero(const void *p, size_t n) {
    auto *b = static_cast<const uint8_t *>(p);
    for (size_t i = 0; i < n; i++)
        if (b[i]) return false;
    return true;
}

// The recorder's growth keeps at least 100 free records: it steps by 1000
// records at counts 900, 1900, ... and never loses what was written.
TEST(EventList, GrowsByAThousandRecordsAtNineHundredAndNineteenHundred) {
    EventList list = {};
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 20000u);
    ASSERT_TRUE(AllZero(list.records, 20000));
    for (uint32_t i = 0; i < 900; i++)
        list.records[i] = EventRecord{512, i, i + 1, 1000 + i, 7};
    list.count = 899;
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 20000u) << "101 free records are enough";
    list.count = 900;
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 40000u);
    EXPECT_EQ(BlockSize(list.records), 40000u);
    for (uint32_t i = 0; i < 900; i++)
        ASSERT_EQ(list.records[i].paramL, i);
    EXPECT_TRUE(AllZero(list.records + 900, 40000 - 900 * 20));

    list.count = 1899;
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 40000u);
    list.count = 1900;
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 60000u);
    EXPECT_EQ(list.records[899].time, 1899u);
    ClearEventList(&list);
    EXPECT_EQ(list.records, nullptr);
    EXPECT_EQ(list.count, 0u);
}

TEST(EventList, ResizeBlockHasAMinimumAndKeepsAnExactFit) {
    void *b = ResizeBlock(nullptr, 100);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(BlockSize(b), 4096u);
    EXPECT_TRUE(AllZero(b, 4096));
    EXPECT_EQ(ResizeBlock(b, 4096), b) << "an exact fit is the same block";

    // Shrinking below the minimum still gives 4096 bytes, of which only the
    // requested part is copied.
    std::memset(b, 0xAB, 4096);
    void *small = ResizeBlock(b, 10);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(BlockSize(small), 4096u);
    EXPECT_EQ(static_cast<uint8_t *>(small)[9], 0xAB);
    EXPECT_TRUE(AllZero(static_cast<uint8_t *>(small) + 10, 4086));
    FreeBlock(small);
}

// When the heap runs dry the old block stays with its owner: a growth that
// fails must not cost the records already taken.
TEST(EventList, FailedGrowthKeepsTheOldBlock) {
    EventList list = {};
    ASSERT_TRUE(GrowEventList(&list));
    list.records[5].message = 256;
    list.count = 900;
    g_blockLimit = 30000;
    EventRecord *before = list.records;
    EXPECT_FALSE(GrowEventList(&list));
    EXPECT_EQ(list.records, before);
    EXPECT_EQ(list.capacity, 20000u);
    EXPECT_EQ(list.records[5].message, 256u);
    EXPECT_EQ(ResizeBlock(list.records, 40000), nullptr);
    EXPECT_EQ(BlockSize(before), 20000u);
    g_blockLimit = 0xFFFFFFFFu;
    EXPECT_EQ(AllocZeroed(0x10000, 0x10000), nullptr) << "a product beyond 32 bits is refused";
    ClearEventList(&list);
}
