// Logging switched on from the settings reaches a running window: its log
// file is made (no file need be there first), and "Cause a Crash" comes on
// the File menu while logging is on and goes when it goes off.

#include <QMenu>
#include <QMenuBar>

#include "runtime/controller_link.h"
#include "suite/logging.h"
#include "ui/framework/tool_data_module.h"
#include "ui/framework/tool_pages.h"
#include "wordlist_window_testutil.h"

namespace wordlist_window_test {
namespace {

class LoggingSwitchTest : public WordListWindowTest {
protected:
    void SetUp() override
    {
        WordListWindowTest::SetUp();
        RemakeWindowWithMenus();
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        cv::SwitchLogging(false);
        cv::SetLogFilename(QString());
        WordListWindowTest::TearDown();
    }
    // The controller tells the tool that the settings changed.
    void SettingsReRead()
    {
        window->WindowMessage(cv::kMsgControllerCommand, cv::PackToolCode(cv::kCodeReReadSettings, cv::kToolController), 0);
        QApplication::processEvents();
    }
    bool CauseACrashOffered() const
    {
        for (QAction* top : window->menuBar()->actions())
            if (QMenu* menu = top->menu(); menu && top->isVisible())
                for (QAction* a : menu->actions())
                    if (cv::MenuTag(a) == TagOf(cv::TMenuCommand::CauseACrash))
                        return a->isVisible();
        return false;
    }
};

TEST_F(LoggingSwitchTest, SwitchingLoggingOnMakesTheLogFileAndOffersCauseACrash)
{
    const QString log = dir.file(QStringLiteral("tool log.txt"));
    ASSERT_FALSE(QFileInfo::exists(log));
    cv::SetTheLogFilename(log);
    cv::SetLogging(false);
    SettingsReRead();
    EXPECT_FALSE(CauseACrashOffered());
    EXPECT_FALSE(QFileInfo::exists(log)) << "no log while logging is off";

    cv::SetLogging(true);
    SettingsReRead();
    EXPECT_TRUE(cv::LoggingIsOn());
    ASSERT_TRUE(QFileInfo(log).isFile()) << "the log file is made when logging comes on";
    EXPECT_TRUE(CauseACrashOffered());
    cv::AddToLogFile(QStringLiteral("a line of the tool"));
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("a line of the tool"));

    cv::SetLogging(false);
    SettingsReRead();
    EXPECT_FALSE(cv::LoggingIsOn());
    EXPECT_FALSE(CauseACrashOffered());
}

TEST_F(LoggingSwitchTest, ALogFileThatCannotBeMadeIsReportedOnceAndLoggingGoesOff)
{
    cv::SetTheLogFilename(dir.file(QStringLiteral("no such folder/log.txt")));
    cv::SetLogging(true);
    SettingsReRead();
    EXPECT_FALSE(cv::LoggingIsOn());
    EXPECT_EQ(dialogs.Routines().count(QStringLiteral("AddToLogFile")), 1);
    SettingsReRead();
    EXPECT_EQ(dialogs.Routines().count(QStringLiteral("AddToLogFile")), 1) << "the same file is not reported again";
}

} // namespace
} // namespace wordlist_window_test
