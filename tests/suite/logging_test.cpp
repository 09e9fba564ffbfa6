#include "suite/logging.h"

#include "suite/dialogs.h"
#include "suite/private_files.h"
#include "support/test_support.h"

#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

TEST_F(Logging, TheLogIsTheUsersAloneAndNeverWrittenThroughALink)
{
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    // The default log lies in the suite's own folder, made for its user alone.
    cv::SetLogFilename(cv::DefaultLogFilename());
    EXPECT_TRUE(cv::IsInSuiteTempFolder(cv::LogFilename()));
    cv::SwitchLogging(true);
    cv::AddToLogFile(QStringLiteral("saved /data/thesis.lst"));
    EXPECT_EQ(cvtest::modeOf(cv::LogFilename()), 0600u);
    QFile::remove(cv::LogFilename());

    // A link in its place (to the user's shell start-up file) is refused: one
    // warning naming it, and the link's target stays as it was.
    const QString bashrc = dir.write(QStringLiteral(".bashrc"), "export PATH\n");
    const QString log = dir.file(QStringLiteral("CVlog.txt"));
    ASSERT_TRUE(QFile::link(bashrc, log));
    cv::SetLogFilename(log);
    cv::SwitchLogging(true);
    cv::AddToLogFile(QStringLiteral("opened /data/corpus.txt"));
    EXPECT_EQ(cvtest::readAll(bashrc), QByteArray("export PATH\n"));
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(log) && dialogs.Requests()[0].text.contains(QStringLiteral("symbolic link")))
        << dialogs.Requests()[0].text.toStdString();
    EXPECT_FALSE(cv::LoggingIsOn());
}

TEST_F(Logging, ALogFileOfAnotherUserDoesNotGetOurLines)
{
    const auto other = cvtest::otherUser();
    if (!other)
        GTEST_SKIP() << "needs root to act as a second user";
    cv::TScriptedDialogs dialogs;
    cv::TDialogServiceGuard guard(&dialogs);
    const QString log = dir.write(QStringLiteral("CVlog.txt"), "");
    ::chmod(QFile::encodeName(log).constData(), 0666);
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, log));
    cv::SetLogFilename(log);
    cv::SwitchLogging(true);
    cv::AddToLogFile(QStringLiteral("saved /data/thesis.lst"));
    EXPECT_TRUE(cvtest::readAll(log).isEmpty());
    ASSERT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_TRUE(dialogs.Requests()[0].text.contains(QStringLiteral("belongs to another user")));
}
