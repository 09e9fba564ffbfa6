#include "gui/cv_status_bar.h"

#include <gtest/gtest.h>

#include "runtime/progress.h"

#include <QTimer>

#include <chrono>

namespace {

TEST(StatusBar, StandardPanelsAreTextBarsAndButtonsInTheirPlaces)
{
    cv::TCVStatusBar bar;
    const cv::Tdouble_smallint_type joined = bar.InitStatusBar();
    ASSERT_EQ(bar.PanelCount(), int(cv::kStatusPanelCount));
    EXPECT_EQ(bar.PanelStyle(cv::kPanelThisBar), cv::TStatusPanelStyle::Progress);
    EXPECT_EQ(bar.PanelStyle(cv::kPanelStopButton), cv::TStatusPanelStyle::Button);
    EXPECT_EQ(bar.PanelStyle(cv::kPanelInfo), cv::TStatusPanelStyle::Text);
    // The joined word panels lie after panel 0 and end before the first bar.
    EXPECT_GT(joined.left, 0);
    EXPECT_GT(joined.right, joined.left);
    // The type and set buttons wait for data.
    EXPECT_FALSE(bar.PanelEnabled(cv::kPanelTypeButton));
    bar.SetStatusbarTypeSetButtonActive(true);
    EXPECT_TRUE(bar.PanelEnabled(cv::kPanelSetButton));
    // Making the panels again does not add to them.
    bar.InitStatusBar();
    EXPECT_EQ(bar.PanelCount(), int(cv::kStatusPanelCount));
}

TEST(StatusBar, MessagesProgressAndClicksGoToTheirPanels)
{
    cv::TCVStatusBar bar;
    bar.InitStatusBar();
    int clicked = -1;
    bar.OnPanelClick = [&](int panel) { clicked = panel; };
    bar.ClickPanel(cv::kPanelHelpButton);
    EXPECT_EQ(clicked, int(cv::kPanelHelpButton));
    bar.ClickPanel(99);
    EXPECT_EQ(clicked, int(cv::kPanelHelpButton));

    bar.PutAStatusbarMessage(cv::kPanelMessage, QStringLiteral("12 entries"));
    bar.SetPanelProgress(cv::kPanelThisBar, 140);
    EXPECT_EQ(bar.PanelText(cv::kPanelMessage), QStringLiteral("12 entries"));
    EXPECT_EQ(bar.PanelProgress(cv::kPanelThisBar), 100);
    EXPECT_EQ(bar.PanelProgress(cv::kPanelMessage), -1);
    bar.ClearTheStatusBar();
    EXPECT_TRUE(bar.PanelText(cv::kPanelMessage).isEmpty());
    EXPECT_EQ(bar.PanelProgress(cv::kPanelThisBar), 0);
}

TEST(StatusBar, IsTheProgressReportersOwnDisplay)
{
    cv::TCVStatusBar bar;
    bar.InitStatusBar();
    cv::TProgressClass progress;
    progress.SetDisplay(cv::TProgressClass::TDisplay::StatusBar);
    progress.SetProgressStatusBar(&bar);
    progress.ClearAllAndShow({}, 0);
    progress.ThisPercent(40);
    progress.OverallPercent(70);
    progress.ProgressShortMessage(QStringLiteral("reading"));
    EXPECT_EQ(bar.PanelProgress(cv::kPanelThisBar), 40);
    EXPECT_EQ(bar.PanelProgress(cv::kPanelOverallBar), 70);
    EXPECT_EQ(bar.PanelText(cv::kPanelInfo), QStringLiteral("reading"));
    progress.Hide();
    EXPECT_EQ(bar.PanelProgress(cv::kPanelThisBar), 0);
    EXPECT_TRUE(bar.PanelText(cv::kPanelInfo).isEmpty());
}

// The job's clock: the time since the work began, which runs on by itself
// each second while the job shows progress, and the time to go beside it
// when the share tells it (counted down between estimates, never shown as
// nothing left while the job goes on with its share whole).
TEST(StatusBar, TheJobsClockRunsFromTheStartOfTheWork)
{
    cv::TCVStatusBar bar;
    bar.InitStatusBar();
    cv::TProgressState state;
    state.visible = true;
    state.started = std::chrono::steady_clock::now() - std::chrono::seconds(8) - std::chrono::milliseconds(100);
    state.overallPercent = 100;
    bar.ShowProgress(state);
    EXPECT_EQ(bar.PanelText(cv::kPanelTimeToGo), QStringLiteral("0:00:08")) << "the time since the work began";
    auto* clock = bar.findChild<QTimer*>();
    ASSERT_NE(clock, nullptr);
    EXPECT_TRUE(clock->isActive()) << "it runs by itself while the job goes on";
    // A second later, with no word from the job, the clock has moved on.
    state.started -= std::chrono::seconds(1);
    bar.ShowProgress(state);
    QMetaObject::invokeMethod(clock, "timeout");
    EXPECT_EQ(bar.PanelText(cv::kPanelTimeToGo), QStringLiteral("0:00:09"));

    state.overallPercent = 40;
    state.secondsToGo = 12;
    bar.ShowProgress(state);
    EXPECT_EQ(bar.PanelText(cv::kPanelTimeToGo), QStringLiteral("0:00:09 (0:00:12 to go)"));

    bar.ClearProgress();
    EXPECT_FALSE(clock->isActive());
    EXPECT_TRUE(bar.PanelText(cv::kPanelTimeToGo).isEmpty());
    // A new job's clock starts at nought.
    state.started = std::chrono::steady_clock::now();
    state.secondsToGo = -1;
    bar.ShowProgress(state);
    EXPECT_EQ(bar.PanelText(cv::kPanelTimeToGo), QStringLiteral("0:00:00"));
}

} // namespace
