#include "suite/logging.h"

#include "suite/dialogs.h"
#include "support/test_support.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {
class Logging : public ::testing::Test {
protected:
    void TearDown() override
    {
        cv::SwitchLogging(false);
        cv::SetLogFilename(QString());
    }
    cvtest::TempDir dir;
};
} // namespace

TEST_F(Logging, WritesOnlyWhileOn)
{
    const QString file = dir.file(QStringLiteral("log.txt"));
    cv::SetLogFilename(file);
    cv::AddToLogFile(QStringLiteral("before"));
    EXPECT_FALSE(QFile::exists(file));
    cv::SwitchLogging(true);
    cv::StartNewLogSection(QStringLiteral("job"));
    cv::AddToLogFile(QStringLiteral("Word list: MakeWordlist"));
    cv::SwitchLogging(false);
    cv::AddToLogFile(QStringLiteral("after"));
    const QString text = QString::fromUtf8(cvtest::readAll(file));
    EXPECT_FALSE(text.contains(QLatin1String("before")));
    EXPECT_FALSE(text.contains(QLatin1String("after")));
    EXPECT_TRUE(text.contains(QLatin1String(" job ====")));
    EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d{3} Word list: MakeWordlist\n"))));
}

TEST_F(Logging, CommandLineSwitch)
{
    const QString file = dir.file(QStringLiteral("cmd.txt"));
    EXPECT_FALSE(cv::SwitchOnLoggingFromArguments({QStringLiteral("tool"), QStringLiteral("-log")}));
    EXPECT_FALSE(cv::LoggingIsOn());

    EXPECT_TRUE(cv::SwitchOnLoggingFromArguments({QStringLiteral("tool"), QStringLiteral("/log"), file, QStringLiteral("x.lst")}));
    EXPECT_TRUE(cv::LoggingIsOn());
    EXPECT_EQ(cv::LogFilename(), file);
    EXPECT_TRUE(QFile::exists(file)) << "the new section is written at once";

    // "/log" last: the default file in the temporary folder.
    cv::SwitchOnLoggingFromArguments({QStringLiteral("tool"), QStringLiteral("/log")});
    EXPECT_EQ(cv::LogFilename(), cv::DefaultLogFilename());
    EXPECT_TRUE(cv::DefaultLogFilename().endsWith(QStringLiteral("/CVlog.txt")));

    // The next parameter is taken whatever it looks like.
    cv::SwitchLogging(false);
    cv::SwitchOnLoggingFromArguments({QStringLiteral("/log"), QStringLiteral("-c")});
    EXPECT_EQ(cv::LogFilename(), QStringLiteral("-c"));
    cv::SwitchLogging(false);
    QFile::remove(QStringLiteral("-c"));
}

TEST_F(Logging, UnwritableLogGivesOneWarningAndNoCrash)
{
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    const QString file = dir.file(QStringLiteral("no such folder/log.txt"));
    cv::SetLogFilename(file);
    cv::SwitchLogging(true);
    cv::AddToLogFile(QStringLiteral("one"));
    cv::AddToLogFile(QStringLiteral("two"));
    cv::SwitchLogging(true); // switched on again for the same file
    cv::AddToLogFile(QStringLiteral("three"));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_EQ(dialogs.Requests()[0].kind, cv::TDialogKind::Warning);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(file));
    EXPECT_FALSE(cv::LoggingIsOn());
}
