#include "crashreport/core/support/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>

namespace {

TEST(CrashboxDates, DaysSince1899AndBack)
{
    EXPECT_EQ(cv::EncodeDateTime(1899, 12, 30), 0.0);
    EXPECT_EQ(cv::EncodeDateTime(2000, 1, 1), 36526.0);
    EXPECT_DOUBLE_EQ(cv::EncodeDateTime(2024, 3, 5, 18), 45356.75);
    const cv::TDateTimeParts p = cv::DecodeDateTime(cv::EncodeDateTime(2024, 2, 29, 23, 59, 58, 500));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.minute, 59);
    EXPECT_EQ(p.second, 58);
    EXPECT_EQ(p.msec, 500);
    EXPECT_EQ(p.dayOfWeek, 4); // a Thursday
    EXPECT_EQ(cv::DecodeDateTime(cv::EncodeDateTime(1850, 6, 1)).day, 1);
}

} // namespace
