#include "crashreport/core/support/text_routines.h"

#include "crashreport/core/support/date_time.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <vector>

namespace {

using cv::TCharSet;

TEST(CrashboxTexts, SplittingKeepsOrTrimsThePieces)
{
    const TCharSet delimiters = cv::MakeCharSet(",;");
    std::vector<std::string> list;
    cv::SplitStringToList(" a , b,,c ; ", list, delimiters, false, false);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "c"}));
    list.clear();
    cv::SplitStringToList(" a , b,,c ; ", list, delimiters, false, true);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "b", "", "c"}));
    list.clear();
    cv::SplitStringToList("a,b;c", list, delimiters, true, false);
    EXPECT_EQ(list, (std::vector<std::string>{"a,", "b;", "c"}));
    list.clear();
    cv::ExtractTrimmedStrings(delimiters, ",,a , ,b", list);
    EXPECT_EQ(list, (std::vector<std::string>{"a", "", "b"}));
}

TEST(CrashboxTexts, PositionsAndReplacing)
{
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 1), 3);
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 4), 6);
    EXPECT_EQ(cv::PosFromA("ab", "xxabxab", 7), 0);
    EXPECT_EQ(cv::PosFromA("", "xx", 1), 0);
    EXPECT_EQ(cv::ReplaceAllA("aaa", "aa", "b"), "ba");
    EXPECT_EQ(cv::ReplaceAllA("a.b.c", ".", "::"), "a::b::c");
    EXPECT_EQ(cv::ReplaceAllA("Abc", "a", "x"), "Abc");
    EXPECT_EQ(cv::ReplaceAllA("abc", "", "x"), "abc");
}

TEST(CrashboxTexts, NumbersUseADotWhateverTheLocale)
{
    EXPECT_EQ(cv::FloatToDotStr(1.5), "1.5");
    EXPECT_EQ(cv::FloatToDotStr(-0.25), "-0.25");
    EXPECT_EQ(cv::DotStrToFloat(" 3.75 "), 3.75);
    EXPECT_EQ(cv::DotStrToFloat("+2"), 2.0);
    EXPECT_EQ(cv::DotStrToFloat("3,75"), std::nullopt);
    EXPECT_EQ(cv::DotStrToFloat(""), std::nullopt);
    const int offset = cv::LocalTimeOffsetHours();
    EXPECT_GE(offset, -12);
    EXPECT_LE(offset, 14);
}

} // namespace
