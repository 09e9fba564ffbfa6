#include "runtime/progress.h"

#include "suite/controller_codes.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"
#include "suite/window_messages.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

class TRecordingSink final : public cv::TProgressSink {
public:
    void ShowProgress(const cv::TProgressState& s) override { shown.push_back(s); }
    void ClearProgress() override { ++cleared; }
    void BringApplicationToFront() override { ++fronted; }
    std::vector<cv::TProgressState> shown;
    int cleared = 0;
    int fronted = 0;
};

class Progress : public ::testing::Test {
protected:
    void SetUp() override { cv::TSettingsBuffer::Instance().UsePrivate(); }
    // The codes the controller got so far, with the progress record as it
    // was when each arrived.
    std::vector<uint16_t> codes()
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 100)
            cv::MyYieldProcess();
        return got;
    }
    std::vector<uint16_t> got;
    cv::TMessageWindow controller{[this](uint32_t m, uint64_t w, int64_t) {
        if (m == cv::kMsgControllerCommand)
            got.push_back(cv::CodeOfWParam(w));
    }};
};

} // namespace

TEST_F(Progress, ControllerDisplayGoesThroughTheBufferAndPostedCodes)
{
    cv::SetShellWnd(controller.Handle());
    cv::TProgressClass p;
    TRecordingSink sink;
    p.SetProgressStatusBar(&sink);
    p.ClearAllAndShow({400, 300}, 1);
    p.ProgressLongMessage(QStringLiteral("corpus.txt"));
    p.ProgressShortMessageOutOf(QStringLiteral("text"), 3, 12);
    p.OverallPercent(40);
    p.RunningWords(123456789);
    p.Memory();
    p.ShowTimeToGo();
    p.ClearBarsOnly();

    const auto r = cv::GetProgressParams();
    EXPECT_EQ(r.Tool(), cv::current_tool_var);
    EXPECT_TRUE(r.Visible());
    EXPECT_EQ(r.Mode(), 1);
    EXPECT_EQ(r.CentreX(), 400);
    EXPECT_EQ(r.LongMessage(), QStringLiteral("corpus.txt"));
    EXPECT_EQ(r.ShortMessage(), QStringLiteral("text"));
    EXPECT_EQ(r.ThisPercent(), 0);
    EXPECT_EQ(r.RunningWords(), 123456789);
    EXPECT_GT(r.MemoryBytes(), 0);
    EXPECT_GE(r.SecondsToGo(), 0);
    EXPECT_EQ(codes(), (std::vector<uint16_t>{6100, 6105, 6110, 6103, 6106, 6108, 6109, 6101}));
    EXPECT_TRUE(sink.shown.empty()) << "one display at a time";
}

TEST_F(Progress, PercentagesAreClampedAndOnlyChangesArePosted)
{
    cv::SetShellWnd(controller.Handle());
    cv::TProgressClass p;
    p.ClearAllAndShow({}, 0);
    for (int i = 0; i < 1000; ++i)
        p.ThisPercent(i / 100); // 0..9, each posted once (0 is no change)
    p.ThisPercent(250);
    EXPECT_EQ(p.State().thisPercent, 100);
    p.OverallPercent(-5);
    EXPECT_EQ(p.State().overallPercent, 0);
    p.ProgressShortMessageOutOf(QStringLiteral("x"), 5, 0);
    EXPECT_EQ(p.State().thisPercent, 0) << "no division by a zero total";
    const auto c = codes();
    EXPECT_EQ(std::count(c.begin(), c.end(), uint16_t(6102)), 10);
    EXPECT_EQ(std::count(c.begin(), c.end(), uint16_t(6103)), 0);
}

TEST_F(Progress, HideAlwaysTellsTheControllerAndBlanksTheOwnPanels)
{
    cv::SetShellWnd(controller.Handle());
    cv::TProgressClass p;
    TRecordingSink sink;
    p.SetProgressStatusBar(&sink);
    p.Hide(); // nothing was shown: still posted
    p.ClearAllAndShow({}, 0);
    p.ThisPercent(50);
    p.OverallPercent(60);
    p.Hide();
    EXPECT_FALSE(p.State().visible);
    EXPECT_EQ(p.State().thisPercent, 0);
    EXPECT_EQ(p.State().overallPercent, 0);
    EXPECT_FALSE(cv::GetProgressParams().Visible());
    EXPECT_EQ(cv::GetProgressParams().ThisPercent(), 0);
    EXPECT_EQ(sink.cleared, 2);
    EXPECT_EQ(sink.fronted, 2);
    const auto c = codes();
    EXPECT_EQ(std::count(c.begin(), c.end(), uint16_t(6107)), 2);
}

TEST_F(Progress, StatusBarDisplayWithoutAController)
{
    cv::TProgressClass p;
    TRecordingSink sink;
    p.SetProgressStatusBar(&sink);
    p.ClearAllAndShow({}, 0);
    p.ProgressShortMessage(QStringLiteral("reading"));
    p.ThisPercent(30);
    p.ProgressShortMessage(QString());
    ASSERT_EQ(sink.shown.size(), 4u);
    EXPECT_TRUE(sink.shown[0].visible);
    EXPECT_EQ(sink.shown[1].shortMessage, QStringLiteral("reading"));
    EXPECT_EQ(sink.shown[2].thisPercent, 30);
    EXPECT_TRUE(sink.shown[3].shortMessage.isEmpty()) << "an empty text clears the message";
    EXPECT_TRUE(codes().empty());
    EXPECT_FALSE(cv::GetProgressParams().Visible()) << "the buffer is left alone";

    // The display can be forced either way.
    cv::SetShellWnd(controller.Handle());
    p.SetDisplay(cv::TProgressClass::TDisplay::StatusBar);
    p.RunningWords(5);
    EXPECT_EQ(sink.shown.back().runningWords, 5);
    EXPECT_TRUE(codes().empty());
}

TEST_F(Progress, TimeToGoFollowsTheShareDone)
{
    cv::TProgressClass p;
    p.ShowTimeToGo();
    EXPECT_EQ(p.State().secondsToGo, -1) << "nothing shown yet";
    p.ClearAllAndShow({}, 0);
    p.ShowTimeToGo();
    EXPECT_EQ(p.State().secondsToGo, -1) << "nothing done yet";
    QThread::msleep(1100);
    p.OverallPercent(50);
    p.ShowTimeToGo();
    EXPECT_GE(p.State().secondsToGo, 1);
    EXPECT_LE(p.State().secondsToGo, 2);
    // The share whole while the job goes on (an index being saved after its
    // texts): the time to go is not known, not nought.
    p.OverallPercent(100);
    p.ShowTimeToGo();
    EXPECT_EQ(p.State().secondsToGo, -1);
    // The clock of a job starts when it is shown, the next job's afresh.
    const auto first = p.State().started;
    p.ClearAllAndShow({}, 0);
    EXPECT_GT(p.State().started, first);
}

// A tool window's own panels show a job beside the controller's record, and
// a long loop's steps put their share between their marks of the whole
// job's bar, with the time to go, and answer whether the job may go on.
TEST_F(Progress, StepsShowTheirShareOnTheWindowBesideTheController)
{
    cv::SetShellWnd(controller.Handle());
    cv::TProgressClass p;
    TRecordingSink sink;
    p.SetProgressStatusBar(&sink);
    p.SetDisplay(cv::TProgressClass::TDisplay::StatusBarAndController);
    p.SetStepInterval(0);
    p.ClearAllAndShow({}, 0);
    cv::TProgressSteps second(50, 90, p);
    EXPECT_TRUE(second.Step(1, 4));
    EXPECT_EQ(p.State().thisPercent, 25);
    EXPECT_EQ(p.State().overallPercent, 60);
    EXPECT_GE(p.State().secondsToGo, 0);
    ASSERT_FALSE(sink.shown.empty());
    EXPECT_EQ(sink.shown.back().overallPercent, 60);
    EXPECT_EQ(cv::GetProgressParams().OverallPercent(), 60) << "the controller's record too";
    const auto c = codes();
    EXPECT_NE(std::find(c.begin(), c.end(), uint16_t(6103)), c.end());

    // Between steps that come too soon nothing is shown; a stop is told at once.
    p.SetStepInterval(60000);
    cv::TProgressSteps slow(0, 100, p);
    EXPECT_TRUE(slow.Step(3, 4));
    EXPECT_EQ(p.State().thisPercent, 25);
    cv::global_panic_state = cv::kPanicStopAtEndOfText;
    EXPECT_FALSE(slow.Step(3, 4));
    cv::global_panic_state = cv::kPanicRun;
}
