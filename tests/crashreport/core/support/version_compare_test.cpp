#include "crashreport/core/support/version_compare.h"

#include <gtest/gtest.h>

namespace {

TEST(CrashboxVersions, VersionsCompareByTheirNumbers)
{
    EXPECT_EQ(cv::NormalizeVersion("1.2"), "00001.00002.00000.00000");
    EXPECT_EQ(cv::NormalizeVersion("6.1.03 beta"), "00006.00001.00003 beta.00000");
    EXPECT_EQ(cv::NormalizeVersion("1.x.3.4.5"), "00001.x.00003.00004.00005");
    EXPECT_EQ(cv::NormalizeVersion("123456.1"), "123456.00001.00000.00000");
    EXPECT_TRUE(cv::IsNewerVersion("1.2", "1.10"));
    EXPECT_FALSE(cv::IsNewerVersion("1.10", "1.2"));
    EXPECT_FALSE(cv::IsNewerVersion("1.2", "1.2.0"));
    EXPECT_FALSE(cv::IsNewerVersion("", "2"));
    EXPECT_FALSE(cv::IsNewerVersion("1", ""));
}

} // namespace
