// The window's long steps, with the suite's controller running as it always
// does for a user: each shows on the window's own bars how far it is (a
// share done and the time to go, not only a count), and the window's Stop
// ends it with nothing made and no failure told.

#include "wordlist_commands_testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

#include "gui/cv_status_bar.h"
#include "index/index_moving_window.h"
#include "index/index_relationships.h"
#include "runtime/progress.h"
#include "ui/wordlist/views/word_cloud_window.h"

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

// A header click on the alphabetical page of a list of many words sorts it
// showing how far it is; Stop leaves the list in its order, with its sort
// and the page's name as they were. Not stopped, the list is sorted.
TEST_F(LongStepsTest, ASortOfManyRowsShowsItsShareAndStopLeavesTheListAsItWas)
{
    QString text;
    for (int i = 0; i < 20000; ++i)
        text += QStringLiteral("w%1 ").arg(i) + (i % 7 == 0 ? QStringLiteral("w%1 w%1 ").arg(i) : QString());
    WordListOf({{QStringLiteral("many.txt"), text}});
    ASSERT_GE(Words()->Count(), 20000);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    const int alph = window->AdvOfficePager1->indexOf(window->AdvOfficePageAlph);
    const QStringList before = WordsOf(*Words());
    const auto levels = Words()->SortLevels();
    const QString tab = window->AdvOfficePager1->tabText(alph);

    stopWhenShown = true;
    window->SortGridColumn(grid, cv::TCVWordList::kColFreq);
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit")));
    EXPECT_EQ(WordsOf(*Words()), before) << "the order the list had";
    for (int level = 0; level < cv::TCVBaseDataClass::kSortLevels; ++level) {
        EXPECT_EQ(Words()->SortLevel(level).key, levels[size_t(level)].key) << level;
        EXPECT_EQ(Words()->SortLevel(level).ascending, levels[size_t(level)].ascending) << level;
    }
    EXPECT_EQ(window->AdvOfficePager1->tabText(alph), tab);
    EXPECT_EQ(overall->value(), 0) << "the bar is cleared";

    shares.clear();
    dialogs.Clear();
    window->SortGridColumn(grid, cv::TCVWordList::kColFreq);
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    const cv::TCVWordList& sorted = *Words();
    EXPECT_EQ(sorted.Entry(0).fData.Freq, 3) << "the most frequent first";
    EXPECT_NE(WordsOf(sorted), before);
    bool descending = true;
    for (int i = 1; i < sorted.Count(); ++i)
        descending = descending && sorted.Entry(i - 1).fData.Freq >= sorted.Entry(i).fData.Freq;
    EXPECT_TRUE(descending);
}

// Opening an index (as after "Open it now?") shows its share; Stop ends it
// with no index opened and no failure told. Not stopped, the index opens.
TEST_F(LongStepsTest, OpeningAnIndexShowsItsShareAndStopsWithNothingOpened)
{
    // Enough types for several steps of the load and of the list made of them.
    std::vector<std::pair<QString, QString>> texts;
    for (int t = 0; t < 2; ++t) {
        QString text;
        for (int i = 0; i < 12000; ++i)
            text += QStringLiteral("t%1w%2 common ").arg(t).arg(i);
        texts.emplace_back(QStringLiteral("t%1.txt").arg(t), text);
    }
    IndexOf(texts);
    const QString base = Doc()->fIndexHandler->BaseName();
    window->CloseData(true);
    cv::TCVStored_File_rec& rec = cv::StartupOpenFileRec();
    const auto openIt = [&] {
        rec.Clear();
        rec.FileName = cv::IndexFileName(base, cv::TIndexFileKind::Tokens);
        rec.ListType = cv::kListIndexWordList;
        return window->OpenFile(nullptr);
    };

    stopWhenShown = true;
    EXPECT_FALSE(openIt());
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit")));
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("FailedToRead"))) << dialogs.Routines().join(u' ').toStdString();
    EXPECT_TRUE(!Doc() || !Doc()->fIndexHandler) << "no index opened";
    EXPECT_EQ(overall->value(), 0) << "the bar is cleared";

    shares.clear();
    dialogs.Clear();
    EXPECT_TRUE(openIt());
    EXPECT_TRUE(ShareShown());
    ASSERT_NE(Doc(), nullptr);
    ASSERT_NE(Doc()->fIndexHandler, nullptr);
    EXPECT_GE(Words(cv::kListIndexWordList)->Count(), 24000);
}

// The word cloud of a list of many words shows its share as it reads the
// list and places the words; Stop makes no cloud (its window goes) and
// leaves the list as it was. Not stopped, the cloud shows the most frequent words.
TEST_F(LongStepsTest, AWordCloudOfManyWordsShowsItsShareAndStopMakesNoCloud)
{
    QString text;
    for (int i = 0; i < 20000; ++i)
        for (int k = 0; k <= i % 5; ++k)
            text += QStringLiteral("w%1 ").arg(i);
    WordListOf({{QStringLiteral("many.txt"), text}});
    cv::TCVWordList& words = *Doc()->WordlistOfType(cv::kListWordList);
    ASSERT_GE(words.Count(), 20000);
    const QStringList before = WordsOf(words);
    const auto clouds = [] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += qobject_cast<cv::TFormWordCloud*>(w) != nullptr;
        return n;
    };

    stopWhenShown = true;
    EXPECT_EQ(cv::ShowWordCloud(window.get(), words, QStringLiteral("cloud")), nullptr);
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit")));
    EXPECT_EQ(clouds(), 0) << "no cloud is left behind";
    EXPECT_EQ(WordsOf(words), before);
    EXPECT_EQ(words.ListBusy(), 0);
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicRun);
    EXPECT_EQ(overall->value(), 0) << "the bar is cleared";

    shares.clear();
    dialogs.Clear();
    std::unique_ptr<cv::TFormWordCloud> cloud(cv::ShowWordCloud(window.get(), words, QStringLiteral("cloud")));
    ASSERT_NE(cloud, nullptr);
    cloud->setAttribute(Qt::WA_DeleteOnClose, false);
    EXPECT_TRUE(ShareShown());
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    ASSERT_GT(cloud->Cloud().Placed().size(), 100u);
    EXPECT_EQ(cloud->Cloud().Placed().front().wfsn.frequency, 5) << "the most frequent first";
    EXPECT_EQ(WordsOf(words), before);
}

// Making an index: once its texts are read (the whole job's bar full) the
// index is summed and saved showing its share on the task's bar, and the
// clock shows the time since the work began, never a time to go of nought
// while the work goes on.
TEST_F(LongStepsTest, MakingAnIndexShowsTheShareOfItsSaveAndItsClockRuns)
{
    Choose(FourTexts());
    choices.indexName = dir.file(QStringLiteral("four"));
    auto* task = window->AdvOfficeStatusBar1->findChild<QProgressBar*>(QStringLiteral("panel%1").arg(cv::kPanelThisBar));
    ASSERT_NE(task, nullptr);
    std::vector<int> savingShares;
    QStringList clocks;
    QObject::connect(task, &QProgressBar::valueChanged, window.get(), [&](int value) {
        if (overall->value() == 100)
            savingShares.push_back(value);
        clocks << window->AdvOfficeStatusBar1->PanelText(cv::kPanelTimeToGo);
    });
    Request(cv::kListIndexWordList);
    ASSERT_TRUE(QFileInfo::exists(cv::IndexFileName(dir.file(QStringLiteral("four")), cv::TIndexFileKind::Tokens)));
    EXPECT_TRUE(std::any_of(savingShares.begin(), savingShares.end(), [](int v) { return v > 0 && v < 100; }))
        << "the save shows its share";
    ASSERT_FALSE(clocks.isEmpty());
    for (const QString& clock : clocks) {
        EXPECT_TRUE(clock.startsWith(QStringLiteral("0:00:"))) << clock.toStdString();
        EXPECT_FALSE(clock.contains(QStringLiteral("(0:00:00 to go)")) && overall->value() == 100) << clock.toStdString();
    }
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

// The user's answer to "Stop the job now?", given while the job's threads
// went on behind the question: Yes a while later.
class LateYes final : public cv::TDialogService {
public:
    explicit LateYes(cv::TScriptedDialogs& others) : m_others(others) {}
    cv::TDialogAnswer Show(const cv::TDialogRequest& request) override
    {
        if (request.routine != u"EscapePressedWantToQuit")
            return m_others.Show(request);
        ++asked;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return cv::TDialogAnswer::Yes;
    }
    int asked = 0;

private:
    cv::TScriptedDialogs& m_others;
};

// Stop on a clusters job answered Yes late (the threads may have finished
// behind the question): the job stops with nothing shown, or, when it had
// nothing left to stop, the window says so; never all the clusters without
// a word. A Stop with no job running asks nothing, and the next job is not
// stopped by it.
TEST_F(LongStepsTest, ALateYesToStopAClustersJobStopsItOrSaysItHadFinished)
{
    IndexOf(FourTexts());
    cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
    s.SetClusterSizeMin(2);
    s.SetClusterSizeMax(2);
    s.SetMinShowFrequency(1);
    cv::SetWordlistIndexSettings(s);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageIndexFreq);
    grid->SetRow(1);
    LateYes late(dialogs);
    // The click on Stop once the task's bar moves.
    auto* task = window->AdvOfficeStatusBar1->findChild<QProgressBar*>(QStringLiteral("panel%1").arg(cv::kPanelThisBar));
    ASSERT_NE(task, nullptr);
    bool clicked = false;
    QObject::connect(task, &QProgressBar::valueChanged, window.get(), [&](int value) {
        if (value > 0 && !clicked) {
            clicked = true;
            QTimer::singleShot(0, window.get(), [this] { window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton); });
        }
    });
    {
        cv::TDialogServiceGuard guard(&late);
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Clusters));
    }
    clicked = true;
    ASSERT_EQ(late.asked, 1);
    const cv::TCVWordList* clusters = Words(cv::kListWordList);
    const bool shown = clusters && clusters->Count() > 0;
    const QStringList told = dialogs.Routines();
    if (shown) {
        EXPECT_EQ(told, QStringList{QStringLiteral("ReportedAFact")}) << "all the clusters shown without a word";
        EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("already finished")));
    } else {
        EXPECT_TRUE(told.isEmpty()) << told.join(u' ').toStdString();
        EXPECT_EQ(CurrentPage(), window->AdvOfficePageIndexFreq);
        // A stopped job leaves the index's title as it was.
        EXPECT_TRUE(window->windowTitle().startsWith(QStringLiteral("Index: ")) && !window->windowTitle().contains(u'('))
            << window->windowTitle().toStdString();
    }
    EXPECT_EQ(cv::global_panic_state.load(), cv::kPanicRun) << "the next job would stop at once";

    // Stop clicked with nothing running: no question, and the next job runs to its end.
    dialogs.Clear();
    Show(window->AdvOfficePageIndexFreq)->SetRow(1);
    window->AdvOfficeStatusBar1->ClickPanel(cv::kPanelStopButton);
    EXPECT_TRUE(dialogs.Routines().isEmpty());
    dialogs.Clear();
    ASSERT_TRUE(CurrentGrid()->HandleGridCommand(cv::TMenuCommand::Clusters));
    ASSERT_NE(Words(cv::kListWordList), nullptr);
    EXPECT_GT(Words(cv::kListWordList)->Count(), 10);
}

} // namespace
} // namespace wordlist_window_test
