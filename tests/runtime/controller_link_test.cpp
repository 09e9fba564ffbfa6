#include "runtime/controller_link.h"

#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/logging.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"
#include "support/test_support.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using TMessage = std::tuple<uint32_t, uint64_t, int64_t>;

// An in-process window that stands in for the controller's.
class ControllerLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        cv::TSettingsBuffer::Instance().UsePrivate();
        cv::current_tool_var = cv::kToolWordList;
        cv::global_panic_state = cv::kPanicRun;
    }
    void TearDown() override
    {
        cv::mini_global_own_HWnd = 0;
        cv::current_tool_var = cv::kToolWordList;
        cv::global_panic_state = cv::kPanicRun;
        cv::SwitchLogging(false);
    }
    void pump(std::size_t n)
    {
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < 1000)
            cv::MyYieldProcess();
    }
    std::vector<TMessage> got;
    cv::TMessageWindow controller{[this](uint32_t m, uint64_t w, int64_t l) { got.emplace_back(m, w, l); }};
};

} // namespace

TEST_F(ControllerLink, NothingIsPostedWithoutAControllerWindow)
{
    EXPECT_FALSE(cv::PostToController(561));
    EXPECT_FALSE(cv::PostToControllerWithParam(1230, 3));
    cv::MyYieldProcess();
    EXPECT_TRUE(got.empty());
}

TEST_F(ControllerLink, PostedCodesCarryTheToolNumberInBits16To23)
{
    cv::SetShellWnd(controller.Handle());
    cv::current_tool_var = cv::kToolKeyWords;
    cv::mini_global_own_HWnd = 0x0000123400000005ull;
    ASSERT_TRUE(cv::PostToController(0x11F9));
    ASSERT_TRUE(cv::PostToControllerWithParam(1230, 7));
    pump(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], (TMessage{1025, 0x0002'11F9u, 0x0000123400000005ll}));
    EXPECT_EQ(got[1], (TMessage{1026, 0x0002'04CEu, 7}));
    // The whole 16-bit code survives next to a tool number with the top bit set.
    cv::current_tool_var = 0x90;
    cv::PostToController(0xFFFF);
    pump(3);
    EXPECT_EQ(cv::CodeOfWParam(std::get<1>(got[2])), 0xFFFF);
    EXPECT_EQ(cv::ToolOfWParam(std::get<1>(got[2])), 0x90);
}

TEST_F(ControllerLink, RegisteringTheWindowTellsBufferAndController)
{
    cv::SetShellWnd(controller.Handle());
    cv::TMessageWindow own;
    cv::RegisterOwnWindowWithController(own.Handle());
    EXPECT_EQ(cv::mini_global_own_HWnd, own.Handle());
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), own.Handle());
    EXPECT_EQ(cv::GetActiveMainToolWindow(cv::kToolWordList), own.Handle());
    pump(1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (TMessage{1252, cv::kToolWordList, int64_t(own.Handle())}));

    cv::UnregisterOwnWindowFromController();
    EXPECT_EQ(cv::GetToolWnd(cv::kToolWordList), 0u);
    EXPECT_EQ(cv::mini_global_own_HWnd, 0u);
}

TEST_F(ControllerLink, CancelCommandsReachAPollingLoop)
{
    // The tool's window decodes the controller's command; a running job sees
    // the cancel state at its next poll after yielding.
    cv::TMessageWindow tool([](uint32_t msg, uint64_t w, int64_t) {
        if (msg == cv::kMsgControllerCommand)
            cv::SetCancelStateFromControllerCode(cv::CodeOfWParam(w));
    });
    struct Case {
        uint16_t code;
        uint8_t state;
    };
    for (const Case c : {Case{6120, cv::kPanicStopAtEndOfText}, Case{6121, cv::kPanicStopNow}, Case{6122, cv::kPanicQuitProgram}}) {
        cv::global_panic_state = cv::kPanicRun;
        int polls = 0;
        for (; polls < 1000 && cv::global_panic_state == cv::kPanicRun; ++polls) {
            if (polls == 10)
                cv::PostMessage(tool.Handle(), cv::kMsgControllerCommand, cv::PackToolCode(c.code, cv::kToolController), 0);
            cv::MyYieldProcess();
        }
        EXPECT_EQ(cv::global_panic_state, c.state) << c.code;
        EXPECT_LE(polls, 12) << "the loop stops at the poll after the command";
    }
    EXPECT_FALSE(cv::SetCancelStateFromControllerCode(233));
}

TEST_F(ControllerLink, MenuTriStateOption)
{
    EXPECT_EQ(cv::MenuTriStateOption(), 2);
    cv::SetMenuItemChecked(cv::TMenuCommand::SetCategories, true);
    EXPECT_EQ(cv::MenuTriStateOption(), 1);
    cv::SetMenuItemChecked(cv::TMenuCommand::TypeIn, true);
    EXPECT_EQ(cv::MenuTriStateOption(), 0) << "type-in wins";
}

TEST_F(ControllerLink, ListSettingsByKindAndTool)
{
    auto ls = cv::TListSettingsRec::Defaults();
    ls.SetLemmaSeparator(QStringLiteral("=>"));
    cv::SetListSettings(cv::kToolConcordance, 0, ls);
    EXPECT_EQ(cv::GetListSettingsByListType(0, cv::kToolConcordance).LemmaSeparator(), QStringLiteral("=>"));
    EXPECT_EQ(cv::GetListSettingsByListType(0, cv::kToolWordList).LemmaSeparator(), QStringLiteral("->"));
}

TEST_F(ControllerLink, DefaultNumbersByListType)
{
    EXPECT_EQ(cv::DefaultNumberForListType(0), 100);
    EXPECT_EQ(cv::DefaultNumberForListType(1), 10);
    EXPECT_EQ(cv::DefaultNumberForListType(10), 50);
    EXPECT_EQ(cv::DefaultNumberForListType(5), 5);
    EXPECT_EQ(cv::DefaultNumberForListType(12), 2);
    EXPECT_EQ(cv::DefaultNumberForListType(28), 25);
    EXPECT_EQ(cv::DefaultNumberForListType(255), 25);
}

// The switch alone turns logging on: a log file that is not there yet is
// made; an existing one is written on, not started afresh.
TEST_F(ControllerLink, LoggingFollowsTheSharedSwitchAndMakesItsFile)
{
    cvtest::TempDir dir;
    const QString log = dir.file(QStringLiteral("tool.log"));
    cv::SetTheLogFilename(log);
    cv::SetLogging(true);
    cv::InitLoggingFromSharedSettings();
    EXPECT_TRUE(cv::LoggingIsOn());
    EXPECT_EQ(cv::LogFilename(), log);
    EXPECT_TRUE(QFileInfo(log).isFile()) << "the named file is made";
    cv::AddToLogFile(QStringLiteral("first line"));
    const QByteArray before = cvtest::readAll(log);
    cv::InitLoggingFromSharedSettings();
    EXPECT_EQ(cvtest::readAll(log), before) << "an existing log keeps its lines and gets no second heading";
    cv::SetLogging(false);
    cv::InitLoggingFromSharedSettings();
    EXPECT_FALSE(cv::LoggingIsOn());
    cv::SetTheLogFilename(QString());
    cv::SetLogging(true);
    cv::InitLoggingFromSharedSettings();
    EXPECT_FALSE(cv::LoggingIsOn()) << "no file named, no log";
}

TEST_F(ControllerLink, FileInfoTextFilenameAvoidsAnExistingFile)
{
    cvtest::TempDir last;
    cvtest::TempDir fallback;
    EXPECT_EQ(cv::FileInfoTextFilename(QStringLiteral("/x/my list.lst"), last.path(), fallback.path()),
              last.file(QStringLiteral("my list_FileInfo.txt")));
    EXPECT_EQ(cv::FileInfoTextFilename(QStringLiteral("corpus.lst"), QString(), fallback.path()),
              fallback.file(QStringLiteral("corpus_FileInfo.txt")));
    last.write(QStringLiteral("my list_FileInfo.txt"), "old");
    EXPECT_EQ(cv::FileInfoTextFilename(QStringLiteral("my list.lst"), last.path(), fallback.path(), QTime(9, 5)),
              last.file(QStringLiteral("my list_FileInfo(0905).txt")));
}

TEST_F(ControllerLink, StopAtEntriesInTheirOrder)
{
    const QStringList& e = cv::StopAtEntries();
    ASSERT_EQ(e.size(), 7);
    EXPECT_FALSE(e[0].isEmpty());
    EXPECT_NE(e[0], e[1]);
    EXPECT_NE(e[5], e[6]);
    cv::FillStopAtEntries();
    EXPECT_EQ(cv::StopAtEntries().size(), 7) << "filling again does not add";
}

TEST_F(ControllerLink, BugReportTextNamesCaptionAndRoutine)
{
    const QString t = cv::BugReportText(QStringLiteral("WordList - corpus.lst"), QStringLiteral("MakeWordlist"));
    EXPECT_TRUE(t.contains(QLatin1String("WordList - corpus.lst")));
    EXPECT_TRUE(t.contains(QLatin1String("MakeWordlist")));
}
