#include "KORGUID.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

KORGUID Make(uint32_t d1, uint16_t d2, uint16_t d3, uint8_t first, uint8_t last) {
    return KORGUID(d1, d2, d3, {first, 0, 0, 0, 0, 0, 0, last});
}

TEST(KORGUID, EqualGuidsAreNotLessButGreater) {
    KORGUID a;
    KORGUID b;
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a != b);
    EXPECT_FALSE(a < b);
    EXPECT_TRUE(a > b);
    KORGUID c = Make(1, 2, 3, 4, 5);
    b = c;
    EXPECT_TRUE(b == c);
    EXPECT_TRUE(b != a);
}

TEST(KORGUID, OrdersFieldByFieldInLayoutOrder) {
    // Each row: a GUID that is less than the next one.
    std::vector<KORGUID> ascending = {Make(0, 0, 0, 0, 0),       Make(0, 0, 0, 0, 1),
                                      Make(0, 0, 0, 1, 0),       Make(0, 0, 1, 0, 0),
                                      Make(0, 1, 0, 0xFF, 0xFF), Make(1, 0, 0, 0, 0),
                                      Make(1, 0xFFFF, 0, 0, 0),  Make(0xFFFFFFFF, 0, 0, 0, 0)};
    for (size_t i = 0; i < ascending.size(); ++i) {
        for (size_t j = 0; j < ascending.size(); ++j) {
            EXPECT_EQ(ascending[i] < ascending[j], i < j) << i << " < " << j;
            EXPECT_EQ(ascending[i] > ascending[j], i >= j) << i << " > " << j;
            EXPECT_EQ(ascending[i] == ascending[j], i == j) << i << " == " << j;
        }
    }
    std::vector<KORGUID> shuffled(ascending.rbegin(), ascending.rend());
    std::rotate(shuffled.begin(), shuffled.begin() + 3, shuffled.end());
    std::sort(shuffled.begin(), shuffled.end());
    EXPECT_TRUE(shuffled == ascending);
}

}  // namespace
