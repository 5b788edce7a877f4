#include "engine/eventlist.h"
#include <gtest/gtest.h>

// A growth step keeps at least 100 free records and never loses the old ones.
TEST(EventList, GrowthKeepsRecordsAndZeroFill) {
    EventList list = {};
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 20000u);
    list.count = 900;
    list.records[899].message = 512;
    ASSERT_TRUE(GrowEventList(&list));
    EXPECT_EQ(list.capacity, 40000u);
    EXPECT_EQ(list.records[899].message, 512u);
    EXPECT_EQ(list.records[1999].message, 0u);
    ClearEventList(&list);
}
