#include <gtest/gtest.h>

#include "crashreport/core/handler/dialog_state.h"

namespace cv {
namespace {

struct ItemCase {
    const char* text;
    const char* expected;
};

class ReplaceReportItemValueTest : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ReplaceReportItemValueTest, ReplacesOnlyTheValueOfItem33)
{
    EXPECT_EQ(ReplaceReportItemValue(GetParam().text, "3.3", "me@example.org"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReplaceReportItemValueTest,
    ::testing::Values(
        // The value runs from ": " to the line's end; the lines around stay.
        ItemCase{"User:\r\n  3.2 Name  : Ann\r\n  3.3 Email : old@x.y\r\n  3.4 Company : Z\r\n",
                 "User:\r\n  3.2 Name  : Ann\r\n  3.3 Email : me@example.org\r\n  3.4 Company : Z\r\n"},
        // An empty value, and a value at the very end of the text.
        ItemCase{"X\r\n  3.3 Email : \r\nY", "X\r\n  3.3 Email : me@example.org\r\nY"},
        ItemCase{"X\r\n  3.3 Email : old", "X\r\n  3.3 Email : me@example.org"},
        // Item 3.30 is not item 3.3; a text without the item is kept.
        ItemCase{"X\r\n  3.30 Other : v\r\n", "X\r\n  3.30 Other : v\r\n"},
        ItemCase{"no items here", "no items here"},
        // The first ": " after the number starts the value, even in the label.
        ItemCase{"\r\n  3.3 Mail: box : v\r\n", "\r\n  3.3 Mail: me@example.org\r\n"}));

TEST(DialogState, AnAddressNeedsBothAtAndDotInAnyOrder)
{
    EXPECT_TRUE(LooksLikeEmailAddress("a@b.c"));
    EXPECT_TRUE(LooksLikeEmailAddress(".@"));
    EXPECT_FALSE(LooksLikeEmailAddress("a@b"));
    EXPECT_FALSE(LooksLikeEmailAddress("a.b"));
    EXPECT_FALSE(LooksLikeEmailAddress(""));
}

TEST(DialogState, SendingIsOfferedOnlyWithAMethodTheOptionAndANewError)
{
    TCrashboxModuleOptions options("");
    EXPECT_FALSE(SendMethodConfigured(options));
    options.SetExceptionDialogOptions({edoShowSendErrorReportOption});
    EXPECT_FALSE(ComputeSendOptionShown(options, false)); // no method

    options.SetWebSendMode(wsmHTTP);
    EXPECT_TRUE(SendMethodConfigured(options));
    EXPECT_TRUE(ComputeSendOptionShown(options, false));
    EXPECT_FALSE(ComputeSendOptionShown(options, true)); // already in the log

    options.SetWebSendMode(wsmNoSend);
    options.SetEMailSendMode(esmSMTPClient);
    EXPECT_TRUE(ComputeSendOptionShown(options, false));
    options.SetExceptionDialogOptions({});
    EXPECT_FALSE(ComputeSendOptionShown(options, false));
}

} // namespace
} // namespace cv
