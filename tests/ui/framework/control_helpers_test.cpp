#include "ui/framework/control_helpers.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QPlainTextEdit>

namespace {

TEST(AlignTabbedColumns, TheValuesStartPastTheWidestLabel)
{
    QPlainTextEdit memo;
    memo.setPlainText(QStringLiteral("Made\t2026\nHyphens separate words\tno\nno tab on this line at all, however long\n"));
    const QFontMetrics metrics(memo.font());
    const int stop = cv::AlignTabbedColumns(memo);
    EXPECT_GT(stop, metrics.horizontalAdvance(QStringLiteral("Hyphens separate words")));
    // A line without a TAB does not push the column out.
    EXPECT_LT(stop, metrics.horizontalAdvance(QStringLiteral("no tab on this line at all, however long")));
    EXPECT_EQ(memo.tabStopDistance(), stop);
    // Short labels still get a tab stop of some width.
    memo.setPlainText(QStringLiteral("a\tb"));
    EXPECT_GE(cv::AlignTabbedColumns(memo), metrics.horizontalAdvance(QLatin1Char(' ')) * 8);
}

} // namespace
