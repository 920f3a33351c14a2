#include "KORTime.h"

#include <gtest/gtest.h>

namespace {

TEST(KORTime, SetTimeRejectsPartsOutOfRangeAndKeepsTheValue) {
    struct Case {
        int year, month, day, hour, minute, second;
    } rejected[] = {
        {1600, 1, 1, 0, 0, 0},  {2026, 0, 1, 0, 0, 0},  {2026, 13, 1, 0, 0, 0},
        {2026, 1, 0, 0, 0, 0},  {2026, 1, 32, 0, 0, 0}, {2026, 1, 1, 24, 0, 0},
        {2026, 1, 1, 0, 60, 0}, {2026, 1, 1, 0, 0, 60}, {2026, 1, 1, -1, 0, 0},
        {2026, 1, 1, 0, -1, 0}, {2026, 1, 1, 0, 0, -1}, {10000, 1, 1, 0, 0, 0},
    };
    for (const Case& c : rejected) {
        KORTime time(12345);
        EXPECT_FALSE(time.SetTime(c.year, c.month, c.day, c.hour, c.minute, c.second))
            << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
            << c.second;
        EXPECT_EQ(time.GetTime(), 12345u);
    }
}

TEST(KORTime, SetTimeRoundTripsAndNormalisesTheDay) {
    struct Case {
        int in[6];
        int out[7];  // year, month, day, hour, minute, second, weekday
    } cases[] = {
        {{2026, 12, 8, 5, 45, 0}, {2026, 12, 8, 5, 45, 0, 3}},      // a Tuesday
        {{2026, 2, 31, 0, 0, 0}, {2026, 3, 3, 0, 0, 0, 3}},         // into March
        {{2024, 2, 29, 23, 59, 59}, {2024, 2, 29, 23, 59, 59, 5}},  // leap day, a Thursday
        {{2026, 7, 15, 12, 30, 1}, {2026, 7, 15, 12, 30, 1, 4}},    // summer time, if any
        {{2026, 12, 6, 1, 2, 3}, {2026, 12, 6, 1, 2, 3, 1}},        // a Sunday
        {{1601, 1, 1, 0, 0, 0}, {1601, 1, 1, 0, 0, 0, 2}},          // the earliest year, a Monday
    };
    for (const Case& c : cases) {
        KORTime time;
        ASSERT_TRUE(time.SetTime(c.in[0], c.in[1], c.in[2], c.in[3], c.in[4], c.in[5]));
        int parts[7] = {};
        ASSERT_TRUE(time.GetTime(&parts[0], &parts[1], &parts[2], &parts[3], &parts[4], &parts[5],
                                 &parts[6]));
        for (int i = 0; i < 7; ++i) {
            EXPECT_EQ(parts[i], c.out[i])
                << "part " << i << " of " << c.in[0] << "-" << c.in[1] << "-" << c.in[2];
        }
    }
    KORTime time;
    ASSERT_TRUE(time.SetTime(2026, 12, 8, 0, 0, 0));
    int day = 0;
    EXPECT_TRUE(time.GetTime(nullptr, nullptr, &day, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(day, 8);
}

TEST(KORTime, Texts) {
    struct Case {
        int in[6];
        const char* time;
        const char* numericDate;
        const char* longDate;
    } cases[] = {
        {{2026, 12, 8, 5, 45, 0}, "05:45AM", "12/8/2026", "Tuesday, December 08, 2026"},
        {{2026, 1, 2, 17, 5, 0}, "05:05PM", "1/2/2026", "Friday, January 02, 2026"},
        {{2024, 12, 31, 0, 0, 0}, "12:00AM", "12/31/2024", "Tuesday, December 31, 2024"},
        {{2027, 1, 1, 12, 0, 0}, "12:00PM", "1/1/2027", "Friday, January 01, 2027"},
    };
    for (const Case& c : cases) {
        KORTime time;
        ASSERT_TRUE(time.SetTime(c.in[0], c.in[1], c.in[2], c.in[3], c.in[4], c.in[5]));
        KORString text("old");
        EXPECT_TRUE(time.TimeToString(text));
        EXPECT_EQ(text.GetUTF8String(), c.time);
        EXPECT_TRUE(time.DateToString(text, true));
        EXPECT_EQ(text.GetUTF8String(), c.numericDate);
        EXPECT_TRUE(time.DateToString(text, false));
        EXPECT_EQ(text.GetUTF8String(), c.longDate);
    }
}

TEST(KORTime, UnsetTimeHasNoTexts) {
    KORTime time;
    EXPECT_FALSE(time.IsValid());
    KORString text("old");
    EXPECT_FALSE(time.TimeToString(text));
    EXPECT_TRUE(text.IsEmpty());
    text = KORString("old");
    EXPECT_FALSE(time.DateToString(text, true));
    EXPECT_TRUE(text.IsEmpty());
    text = KORString("old");
    EXPECT_FALSE(time.DateToString(text, false));
    EXPECT_TRUE(text.IsEmpty());
    int year = -1;
    EXPECT_FALSE(time.GetTime(&year, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(year, -1);
}

TEST(KORTime, Comparisons) {
    KORTime early(100);
    KORTime late(200);
    EXPECT_TRUE(early < late);
    EXPECT_TRUE(late > early);
    EXPECT_TRUE(early != late);
    EXPECT_FALSE(early.Equals(late));
    late.SetTime(100ULL);
    EXPECT_TRUE(early == late);
    EXPECT_FALSE(early < late || early > late);
}

}  // namespace
