#include "crashreport/core/support/utf_conversion.h"

#include <gtest/gtest.h>

#include <span>
#include <string>

namespace {

TEST(CrashboxTexts, WideTextBecomesUTF8InTheRoomThereIs)
{
    const std::u16string twoAccents = {233, 233};
    char buffer[8];
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(buffer, 3), twoAccents), 3u);
    EXPECT_EQ(std::string(buffer), "\xC3\xA9");
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(), twoAccents), 5u);
    EXPECT_EQ(cv::WideToUTF8Buf(std::span<char>(buffer, 8), u"A\u20AC"), 5u);
    EXPECT_EQ(std::string(buffer), "A\xE2\x82\xAC");
    // A surrogate pair is one character of four bytes; a lone surrogate is U+FFFD.
    EXPECT_EQ(cv::WideToUTF8(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(cv::WideToUTF8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
    EXPECT_EQ(cv::UTF8ToWide("\xF0\x9F\x98\x80x"), u"\U0001F600x");
    EXPECT_EQ(cv::UTF8ToWide("\xC0\x80\xFF"), u"\uFFFD\uFFFD\uFFFD");
    EXPECT_EQ(cv::Utf8CharAt("\xE2\x82", 0), 0u);
    EXPECT_EQ(cv::Utf8CharAt("\xED\xA0\x80", 0), 0u); // an encoded surrogate
}

} // namespace
