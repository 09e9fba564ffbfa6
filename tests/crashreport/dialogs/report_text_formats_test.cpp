#include <gtest/gtest.h>

#include "crashreport/dialogs/report_text_formats.h"

namespace cv {
namespace {

TEST(ReportTextFormats, VersionsKeepTwoParts)
{
    EXPECT_EQ(VersionMajorMinorX("6.1.3.120"), "6.1.x");
    EXPECT_EQ(VersionMajorMinorX("6.1.3"), "6.1.x");
    EXPECT_EQ(VersionMajorMinorX("6.1"), "6.1");
    EXPECT_EQ(VersionMajorMinorX(""), "");
}

TEST(ReportTextFormats, SizesAreKilobytesRoundedHalfToEven)
{
    EXPECT_EQ(SizeToKbText(0), "");
    EXPECT_EQ(SizeToKbText(1536), "2 Kb");
    EXPECT_EQ(SizeToKbText(2560), "2 Kb");
    EXPECT_EQ(SizeToKbText(1024 * 1024), "1024 Kb");
}

TEST(ReportTextFormats, PrioritiesCountsFoldersAndDates)
{
    EXPECT_EQ(PriorityClassToText(32), "Normal");
    EXPECT_EQ(PriorityClassToText(32768), "Above-Normal");
    EXPECT_EQ(PriorityClassToText(7), "");
    EXPECT_EQ(IntToTextOrUnknown(0), "??");
    EXPECT_EQ(IntToTextOrUnknown(12), "12");
    EXPECT_EQ(ExtractCleanFilePath("/usr/lib/libc.so.6"), "/usr/lib");
    EXPECT_EQ(ExtractCleanFilePath("/init"), "/");
    EXPECT_EQ(ExtractCleanFilePath("bare"), "");
    EXPECT_EQ(DateTimeToLogString(QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9))), "2024-03-05 14:03:09");
    EXPECT_EQ(DateTimeToLogString(QDateTime()), "");
}

} // namespace
} // namespace cv
