// The window's long steps, with the suite's controller running as it always
// does for a user: each shows on the window's own bars how far it is (a
// share done and the time to go, not only a count), and the window's Stop
// ends it with nothing made and no failure told.

#include "wordlist_commands_testutil.h"

#include <QDir>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>

#include "gui/cv_status_bar.h"
#include "index/index_moving_window.h"
#include "index/index_relationships.h"
#include "runtime/progress.h"

namespace wordlist_window_test {
namespace {

// Texts long enough for a walk of several steps: four of different lengths.
std::vector<std::pair<QString, QString>> FourTexts()
{
    std::vector<std::pair<QString, QString>> texts;
    for (int t = 0; t < 4; ++t) {
        QString text;
        for (int i = 0; i < 200 * (t + 1); ++i)
            text += QStringLiteral("the cat sat on mat%1 and w%2 ran. ").arg(i % 13).arg(i % 37);
        texts.emplace_back(QStringLiteral("t%1.txt").arg(t), text);
    }
    return texts;
}

class LongStepsTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        // Each step of a long loop is shown at once: the tests' jobs are short.
        cv::GlobalProgress().SetStepInterval(0);
        overall = window->AdvOfficeStatusBar1->findChild<QProgressBar*>(QStringLiteral("panel%1").arg(cv::kPanelOverallBar));
        ASSERT_NE(overall, nullptr);
        QObject::connect(overall, &QProgressBar::valueChanged, window.get(), [this](int value) {
            if (value == 0)
                return;
            shares.push_back(value);
            timesToGo << window->AdvOfficeStatusBar1->PanelText(cv::kPanelTimeToGo);
            if (stopWhenShown) {
                stopWhenShown = false;
                // The user's click on Stop, taken while the job lets the window work.
                QTimer::singleShot(0, window.get(), [this] { window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton); });
            }
        });
    }
    void TearDown() override
    {
        cv::GlobalProgress().SetStepInterval(100);
        WordListCommandsTest::TearDown();
    }
    bool ShareShown() const
    {
        return std::any_of(shares.begin(), shares.end(), [](int v) { return v > 0 && v < 100; });
    }
    bool TimeToGoShown() const
    {
        return std::any_of(timesToGo.begin(), timesToGo.end(), [](const QString& t) { return t.contains(u':'); });
    }

    QProgressBar* overall = nullptr;
    std::vector<int> shares;
    QStringList timesToGo;
    bool stopWhenShown = false;
};

TEST_F(LongStepsTest, TheWordListShowsItsShareAndTimeToGoBesideTheController)
{
    WordListOf(FourTexts());
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(TimeToGoShown());
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
    EXPECT_EQ(overall->value(), 0) << "the bar is cleared when the job ends";
    EXPECT_GT(Words()->Count(), 40);
}

TEST_F(LongStepsTest, RelationshipsShowTheirShareAndStopWithNothingMade)
{
    IndexOf(FourTexts());
    EveryNeighbour();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexAlph);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));

    stopWhenShown = true;
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit")));
    EXPECT_EQ(dialogs.Routines().size(), 1) << dialogs.Routines().join(u' ').toStdString();
    EXPECT_EQ(Doc()->MainFile.ListType, cv::kListIndexWordList);
    const cv::TRelationshipsList* relations = Doc()->fIndexHandler->fRelationshipsList.get();
    EXPECT_TRUE(!relations || relations->Count() == 0);
    EXPECT_NE(CurrentPage(), window->AdvOfficePageIndexRelations);

    // Not stopped: the share runs on and the relationships come.
    shares.clear();
    dialogs.Clear();
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Relationships));
    EXPECT_TRUE(ShareShown());
    ASSERT_NE(Doc()->fIndexHandler->fRelationshipsList, nullptr);
    EXPECT_GT(Doc()->fIndexHandler->fRelationshipsList->Count(), 10);
}

TEST_F(LongStepsTest, TheMovingWindowPlotShowsItsShareAndStopsWithNoFileWritten)
{
    IndexOf(FourTexts());
    cv::TMovingWindowSettings settings;
    settings.WindowWords = 50;
    settings.Runs = 2;
    settings.Folder = dir.file(QStringLiteral("plots"));
    ASSERT_TRUE(QDir().mkpath(settings.Folder));
    commands.movingWindow = settings;

    stopWhenShown = true;
    MenuCommand(cv::TMenuCommand::MovingWindow);
    EXPECT_TRUE(ShareShown());
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("EscapePressedWantToQuit")});
    EXPECT_TRUE(QDir(settings.Folder).entryList(QDir::Files).isEmpty());
    EXPECT_TRUE(commands.plotsOpened.isEmpty());

    shares.clear();
    dialogs.Clear();
    MenuCommand(cv::TMenuCommand::MovingWindow);
    EXPECT_TRUE(ShareShown());
    EXPECT_EQ(QDir(settings.Folder).entryList({QStringLiteral("*.plotdata")}, QDir::Files).size(), 1);
}

} // namespace
} // namespace wordlist_window_test
