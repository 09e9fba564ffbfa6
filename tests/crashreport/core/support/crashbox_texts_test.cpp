#include "crashreport/core/support/crashbox_texts.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDir>
#include <QLocale>

#include <set>

namespace {

TEST(CrashboxMessageTexts, EveryMemberHasItsNameAndDefaultInOrder)
{
    EXPECT_EQ(cv::kMessageTypeCount, 157);
    EXPECT_EQ(cv::MessageTypeName(cv::mtInformationMsgCaption), "mtInformationMsgCaption");
    EXPECT_EQ(cv::DefaultMessageText(cv::mtInformationMsgCaption), "Information.");
    EXPECT_EQ(int(cv::mtDialog_Caption), 3);
    EXPECT_EQ(cv::MessageTypeName(cv::mtLog_NetDNS2), "mtLog_NetDNS2");
    EXPECT_EQ(cv::DefaultMessageText(cv::mtSend_BugClosedMsg),
              "These BUG is just closed.\r\nContact the program support to obtain an update.");
    EXPECT_EQ(cv::MessageTypeName(cv::mtInvalidEmailMsg), "mtInvalidEmailMsg");
    EXPECT_EQ(int(cv::mtInvalidEmailMsg), cv::kMessageTypeCount - 1);
    // Names are the texts file's keys: each one once.
    std::set<std::string_view> names;
    for (int i = 0; i < cv::kMessageTypeCount; ++i) {
        names.insert(cv::MessageTypeName(cv::TMessageType(i)));
        EXPECT_EQ(cv::DefaultCustomizedTexts()[std::size_t(i)], cv::DefaultMessageText(cv::TMessageType(i)));
    }
    EXPECT_EQ(names.size(), std::size_t(cv::kMessageTypeCount));
}

struct Expansion {
    const char* text;
    const char* expanded;
};

class VariableExpansion : public ::testing::TestWithParam<Expansion> {
protected:
    void SetUp() override
    {
        qputenv("CV_TEMP", "/var/tmp");
        qputenv("Date", "from the environment");
        qunsetenv("date");
        qunsetenv("CV_UNSET");
    }
    void TearDown() override
    {
        qunsetenv("CV_TEMP");
        qunsetenv("Date");
    }
};

TEST_P(VariableExpansion, VariablesAreExpandedOnceLeftToRight)
{
    EXPECT_EQ(cv::ExpandVariables(GetParam().text), GetParam().expanded);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, VariableExpansion,
    ::testing::Values(Expansion{"%CV_TEMP%\\x", "/var/tmp\\x"}, Expansion{"100%%", "100"},
                      Expansion{"50% off", "50% off"}, Expansion{"x%ABC", "x%ABC"}, Expansion{"%", "%"},
                      Expansion{"%CV_UNSET%!", "!"}, Expansion{"%Date%", "from the environment"},
                      Expansion{"a%CV_TEMP%%CV_TEMP%b", "a/var/tmp/var/tmpb"},
                      // A name stops at the first character that cannot be in one.
                      Expansion{"%CV-TEMP%", "%CV-TEMP%"}, Expansion{"%CV_TEMP", "%CV_TEMP"}));

TEST(CrashboxMessageTexts, DateTimeAndFolderWhenNoVariableOfThatName)
{
    qunsetenv("date");
    qunsetenv("DATE");
    qunsetenv("cd");
    qunsetenv("CD");
    qunsetenv("TiMe");
    const std::string today = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat).toStdString();
    EXPECT_EQ(cv::ExpandVariables("on %DATE%."), "on " + today + ".");
    EXPECT_EQ(cv::ExpandVariables("%cd%"), QDir::currentPath().toStdString());
    EXPECT_FALSE(cv::ExpandVariables("%TiMe%").empty());
    // An inserted value is never expanded again.
    qputenv("CV_PERCENT", "%CV_PERCENT%");
    EXPECT_EQ(cv::ExpandVariables("%CV_PERCENT%"), "%CV_PERCENT%");
    qunsetenv("CV_PERCENT");
}

} // namespace
