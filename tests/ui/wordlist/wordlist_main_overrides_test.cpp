#include "wordlist_commands_testutil.h"

#include <QHeaderView>

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTabBar>

#include <algorithm>

#include "gui/desktop_services.h"
#include "ui/framework/list_editing.h"
#include "index/index_moving_window.h"
#include "index/index_relationships.h"
#include "model/stats_list.h"
#include "suite/cv_stream.h"
#include "suite/cvbuf.h"
#include "ui/framework/tool_data_module.h"
#include "ui/wordlist/views/word_cloud_window.h"
#include "wordlist/detailed_consistency.h"

namespace wordlist_window_test {
namespace {

// A click on a column heading, as the view reports it.
void ClickHeading(cv::TCV_Grid& grid, int column)
{
    emit grid.View()->horizontalHeader()->sectionClicked(column);
    QApplication::processEvents();
}

QStringList ShownWords(const cv::TCV_Grid& grid)
{
    QStringList words;
    for (int row = 1; row < grid.RowCount(); ++row)
        words << grid.Cells(1, row);
    return words;
}

QString TabText(const cv::TFormWordList& w, QWidget* page) { return w.AdvOfficePager1->tabText(w.AdvOfficePager1->indexOf(page)); }

// ---- sorting by a clicked column ---------------------------------------------------

TEST_F(WordListCommandsTest, AClickedColumnSortsTheAlphabeticalPageAndNamesTheSort)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    EXPECT_EQ(TabText(*window, window->AdvOfficePageAlph), QStringLiteral("alphabetical"));

    ClickHeading(*grid, cv::TCVWordList::kColFreq);
    // Most frequent first; equal frequencies alphabetically.
    QStringList shown = ShownWords(*grid);
    ASSERT_EQ(shown.size(), 9);
    EXPECT_EQ(shown.mid(0, 3), (QStringList{QStringLiteral("the"), QStringLiteral("cat"), QStringLiteral("on")}));
    EXPECT_EQ(shown.mid(3, 2), (QStringList{QStringLiteral("and"), QStringLiteral("dog")}));
    EXPECT_EQ(TabText(*window, window->AdvOfficePageAlph), QStringLiteral("sort: frequency"));

    // Again: the other way round.
    ClickHeading(*grid, cv::TCVWordList::kColFreq);
    shown = ShownWords(*grid);
    EXPECT_EQ(shown.last(), QStringLiteral("the"));

    // The word column: alphabetical again (descending, then ascending).
    ClickHeading(*grid, cv::TCVWordList::kColWord);
    ClickHeading(*grid, cv::TCVWordList::kColWord);
    EXPECT_EQ(ShownWords(*grid).first(), QStringLiteral("and"));
    EXPECT_EQ(TabText(*window, window->AdvOfficePageAlph), QStringLiteral("alphabetical"));
}

// The input dialog of "Edit data", answered with a word.
class TEditTo final : public cv::TListEditingDialogs {
public:
    explicit TEditTo(QString word) : m_word(std::move(word)), m_previous(cv::SetListEditingDialogs(this)) {}
    ~TEditTo() override { cv::SetListEditingDialogs(m_previous); }
    bool InputValue(const QString&, const QString&, QString& value, int) override
    {
        value = m_word;
        return true;
    }
    bool EditSetColumn(QString&, uint32_t&, bool&) override { return false; }
    bool ThreeWaySort(const cv::TCVBaseDataClass&, int, int, int, cv::TThreeWaySortChoice&) override { return false; }
    void ShowLemmaShower(const QString&, const QStringList&, const QStringList&) override {}

private:
    QString m_word;
    cv::TListEditingDialogs* m_previous;
};

QStringList Reversed(QStringList words)
{
    for (QString& w : words)
        std::reverse(w.begin(), w.end());
    return words;
}

TEST_F(WordListCommandsTest, AnEditedWordTakesItsPlaceAndResortKeepsThePagesOwnOrderAndName)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    const auto editWord = [&](const QString& from, const QString& to) {
        SelectWords(*grid, {from});
        TEditTo input(to);
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::EditData));
    };
    const auto resortOnColumnN = [&] {
        grid->View()->setCurrentIndex(grid->Proxy()->index(0, cv::TCVWordList::kColN));
        ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Resort));
    };
    editWord(QStringLiteral("cat"), QStringLiteral("kitty"));
    QStringList shown = ShownWords(*grid);
    EXPECT_TRUE(shown.contains(QStringLiteral("kitty")));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << shown.join(u' ').toStdString();
    resortOnColumnN();
    EXPECT_EQ(TabText(*window, window->AdvOfficePageAlph), QStringLiteral("alphabetical"));
    EXPECT_EQ(ShownWords(*grid), shown);
    // Undone, the word goes back to its place too.
    MenuCommand(cv::TMenuCommand::Undo);
    shown = ShownWords(*grid);
    EXPECT_TRUE(shown.contains(QStringLiteral("cat")));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << shown.join(u' ').toStdString();

    // Sorted by the words' endings: an edit keeps that order, and so does Resort.
    MenuCommand(cv::TMenuCommand::SortReverseWord);
    const QString byEndings = TabText(*window, window->AdvOfficePageAlph);
    EXPECT_NE(byEndings, QStringLiteral("alphabetical"));
    grid = CurrentGrid();
    editWord(QStringLiteral("dog"), QStringLiteral("zebra"));
    shown = Reversed(ShownWords(*grid));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end())) << shown.join(u' ').toStdString();
    resortOnColumnN();
    EXPECT_EQ(TabText(*window, window->AdvOfficePageAlph), byEndings);
    EXPECT_EQ(Reversed(ShownWords(*grid)), shown);
    // What is saved is that order and that sort.
    SaveShown();
    OpenSaved(dir.file(QStringLiteral("shown.lst")));
    EXPECT_EQ(Words()->CurrentAlphabeticalSort(), cv::TCVWordList::kSortWordEndings);
    EXPECT_EQ(Reversed(ShownWords(*Show(window->AdvOfficePageAlph))), shown);
}

TEST_F(WordListCommandsTest, AClickOnTheFrequencyPageShowsTheAlphabeticalPageInstead)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFrequency);
    const QStringList before = ShownWords(*grid);
    ClickHeading(*grid, cv::TCVWordList::kColFreq);
    EXPECT_EQ(CurrentPage(), window->AdvOfficePageAlph);
    EXPECT_EQ(ShownWords(*window->CVGridFreq), before);
    EXPECT_EQ(Words()->SortLevel(0).key, cv::TCVWordList::kSortAlphabetical);
}

TEST_F(WordListCommandsTest, TheStatisticsPageSortsItsTextsAndKeepsTheOverallRowOnTop)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageStatistics);
    ClickHeading(*grid, cv::ss_TokensInText);
    const cv::TCVStatsList& stats = *Doc()->fStats;
    EXPECT_EQ(stats.Row(0)->Data().FileName, cv::TCVStatsList::OverallLabel());
    EXPECT_EQ(stats.Row(1)->Data().FileName, QStringLiteral("a.txt"));
    ClickHeading(*grid, cv::ss_TokensInText);
    EXPECT_EQ(stats.Row(1)->Data().FileName, QStringLiteral("b.txt"));
}

TEST_F(WordListCommandsTest, TheConsistencyPageSortsThroughTheThreeWaySort)
{
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat the dog the")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog barks dog"))};
    Request(cv::kListDetailedConsistency);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageConsistency);
    const cv::TDetailedConsistencyList& list = *Doc()->fDetailedConsistencyList;
    const int betaColumn = cv::TDetailedConsistencyList::ColumnOfList(1);

    // Each click turns the order round.
    for (int click = 0; click < 2; ++click) {
        ClickHeading(*grid, betaColumn);
        EXPECT_EQ(commands.threeWaySortShown, click + 1);
        EXPECT_EQ(commands.lastSortHelpContext, 2760);
        EXPECT_EQ(list.SortLevel(0).key, list.IntegerToDCSort(betaColumn));
        const bool ascending = list.SortLevel(0).ascending;
        EXPECT_EQ(list.Entry(0).fWord, ascending ? QStringLiteral("cat") : QStringLiteral("dog"));
        for (int i = 1; i < list.Count(); ++i)
            EXPECT_TRUE(ascending ? list.Entry(i - 1).Freq(1) <= list.Entry(i).Freq(1)
                                  : list.Entry(i - 1).Freq(1) >= list.Entry(i).Freq(1));
    }

    // A cancelled dialog leaves the order.
    commands.acceptThreeWaySort = false;
    const QStringList before = ShownWords(*grid);
    ClickHeading(*grid, cv::TDetailedConsistencyList::ColumnOfList(0));
    EXPECT_EQ(ShownWords(*grid), before);
}

TEST_F(WordListCommandsTest, TheRelationshipsPageSortsOnTheColumnsTheDialogGives)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Relationships);
    cv::TCV_Grid* grid = CurrentGrid();
    ASSERT_EQ(grid, window->CVGridIndexRelations);
    commands.threeWaySort.columns = {cv::TRelationshipsList::kColFreq, cv::TRelationshipsList::kColWord1, -1};
    commands.threeWaySort.ascending = {false, true, true};
    ClickHeading(*grid, cv::TRelationshipsList::kColGap);
    EXPECT_EQ(commands.lastSortHelpContext, 4680);
    const cv::TRelationshipsList& relations = *Doc()->fIndexHandler->fRelationshipsList;
    EXPECT_EQ(relations.MIData(0).Word1, QStringLiteral("the"));
    EXPECT_EQ(relations.MIData(0).Word2, QStringLiteral("cat"));
    for (int i = 1; i < relations.Count(); ++i)
        EXPECT_GE(relations.MIData(i - 1).Freq, relations.MIData(i).Freq);
}

// ---- pages, settings, menus -----------------------------------------------------------

TEST_F(WordListCommandsTest, APageChangeWaitsWhileTheDataAreBusy)
{
    WordListOf(kCorpus);
    EXPECT_TRUE(window->AdvOfficePager1Changing());
    cv::Global_Busy_Dont_Show_Data = true;
    EXPECT_FALSE(window->AdvOfficePager1Changing());
    // A click on another tab does not change the page.
    QTabBar* tabs = window->AdvOfficePager1->tabBar();
    const int current = window->AdvOfficePager1->currentIndex();
    const int other = window->AdvOfficePager1->indexOf(window->AdvOfficePageStatistics);
    const QPointF at = tabs->tabRect(other).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, tabs->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(tabs, &press);
    EXPECT_EQ(window->AdvOfficePager1->currentIndex(), current);
    cv::Global_Busy_Dont_Show_Data = false;

    cv::TCVWordList* words = Doc()->WordlistOfType(cv::kListWordList);
    words->SetListBusy(cv::kListBusy);
    EXPECT_FALSE(window->AdvOfficePager1Changing());
    words->SetListBusy(cv::kListNotBusy);
    EXPECT_TRUE(window->AdvOfficePager1Changing());
}

TEST_F(WordListCommandsTest, ChangedSettingsReachTheOpenIndex)
{
    IndexOf(kCorpus);
    cv::TWordlistSettingsRec changed = cv::GetWordlistSettings();
    changed.SetMinFrequency(7);
    cv::SetWordlistSettings(changed);
    cv::TWordlist_index_settings_rec index = cv::GetWordlistIndexSettings();
    index.SetClusterSizeMax(9);
    cv::SetWordlistIndexSettings(index);
    window->SettingsChanged(cv::kCodeReReadSettings);
    EXPECT_EQ(Doc()->WordlistSettings.MinFrequency(), 7);
    EXPECT_EQ(Doc()->fIndexHandler->fSettings.ClusterSizeMax(), 9);
}

TEST_F(WordListCommandsTest, EachPageCarriesItsHelpContext)
{
    window->HookStatusBarPanelClick();
    EXPECT_EQ(cv::HelpContextOf(window->CVGridFreq), 4560);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridIndexAlph), 4560);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridStatistics), 2850);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridIndexRelations), 4680);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridKWs), 5290);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridFilenames), 1420);
    EXPECT_EQ(cv::HelpContextOf(window->WLMemoNotes), 1120);
    EXPECT_EQ(cv::HelpContextOf(window->CVGridConsistency), 2760);
    EXPECT_EQ(cv::HelpContextOf(window->AdvOfficePageConsistencyRelations), 5360);
}

TEST_F(WordListCommandsTest, TheTypingToolBarFollowsItsMenuItem)
{
    WordListOf(kCorpus);
    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, false);
    window->RefreshMenuChecks();
    EXPECT_FALSE(window->IIsToolbarShowing());
    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, true);
    window->RefreshMenuChecks();
    EXPECT_TRUE(window->IIsToolbarShowing());
    // The grids may show and hide it too.
    window->SShowOrHideToolbar(CurrentGrid(), false);
    EXPECT_FALSE(window->IIsToolbarShowing());
    // Never on the start screen.
    window->CloseData(true);
    window->RefreshMenuChecks();
    EXPECT_FALSE(window->IIsToolbarShowing());
}

TEST_F(WordListCommandsTest, TheOpenDialogAsksForOneWordListAndTheWizardGetsTheTexts)
{
    files.QueueCancel();
    EXPECT_FALSE(window->ChooseFileToOpen());
    ASSERT_FALSE(files.Requests().empty());
    EXPECT_EQ(files.Requests().back().title, QStringLiteral("Choose one word list"));

    window->ShowWizardForChosenTexts(window->ChosenTexts.get());
    EXPECT_EQ(commands.wizardShown, 1);
    EXPECT_EQ(commands.wizardTexts, window->ChosenTexts.get());
}

TEST_F(WordListCommandsTest, ResettingToNoDataShowsTheStartScreen)
{
    WordListOf(kCorpus);
    SaveShown();
    window->ResetToNoData();
    EXPECT_EQ(window->Data(), nullptr);
    EXPECT_TRUE(window->AdvPanelToolname->isVisibleTo(window.get()));
    EXPECT_FALSE(window->AdvOfficePager1->isVisibleTo(window.get()));
}

TEST_F(WordListCommandsTest, AMovingWindowPlotFileOpensOnlyWhenItExists)
{
    EXPECT_FALSE(window->OpenMovingWindowPlotFile(dir.file(QStringLiteral("none.plotdata"))));
    EXPECT_TRUE(commands.plotsOpened.isEmpty());
    const QString plot = dir.write(QStringLiteral("p.plotdata"), QByteArray("x"));
    files.QueueAnswer(plot);
    MenuCommand(cv::TMenuCommand::OpenMovingWindow);
    EXPECT_EQ(commands.plotsOpened, QStringList{plot});
}

TEST_F(WordListCommandsTest, AMovingWindowPlotComesUpAfterItsOneQuestion)
{
    IndexOf(kCorpus);
    cv::TMovingWindowSettings settings;
    settings.WindowWords = 4;
    settings.Runs = 2;
    settings.Folder = dir.path();
    commands.movingWindow = settings;
    // Each question notes whether the plot was shown before it (it would
    // then sit behind the window the question belongs to).
    struct TAskingAfterThePlot final : cv::TDialogService {
        const QStringList* opened = nullptr;
        std::vector<qsizetype> plotsShownWhenAsked;
        QStringList routines;
        cv::TDialogAnswer Show(const cv::TDialogRequest& request) override
        {
            plotsShownWhenAsked.push_back(opened->size());
            routines << request.routine;
            return cv::TDialogAnswer::Yes;
        }
    } questions;
    questions.opened = &commands.plotsOpened;
    cv::TDialogServiceGuard guard(&questions);
    cv::TScriptedDesktop desktop;
    cv::TDesktopServiceGuard desktopGuard(&desktop);
    MenuCommand(cv::TMenuCommand::MovingWindow);
    // One "View it now?" for the plot and the text of its values.
    EXPECT_EQ(questions.routines, QStringList{QStringLiteral("SavedPlotViewNow")});
    EXPECT_EQ(questions.plotsShownWhenAsked, (std::vector<qsizetype>{0}));
    ASSERT_EQ(commands.plotsOpened.size(), 1);
    EXPECT_TRUE(commands.plotsOpened.front().endsWith(QStringLiteral(".plotdata")));
    EXPECT_TRUE(desktop.Opened().empty());
}

TEST_F(WordListCommandsTest, ACorpusTooShortForTheWindowsIsToldAndOfferedWindowsThatFit)
{
    // 17 running words: no window of a hundred words fits three times.
    IndexOf(kCorpus);
    MenuCommand(cv::TMenuCommand::MovingWindow);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("TooFewWordsForMovingWindows")});
    EXPECT_TRUE(commands.plotsOpened.isEmpty());

    // 450 running words against the windows of 15,000 set.
    cv::TCVFileDetails chosen(true, {});
    ASSERT_TRUE(chosen.ToolAddAFile(Text(QStringLiteral("long.txt"), QStringLiteral("the whale swam by the ship ").repeated(75))));
    const QString base = dir.file(QStringLiteral("long"));
    QString error;
    ASSERT_TRUE(cv::MakeIndexOfTexts(chosen, base, cv::kIndexOpenNew, &error)) << error.toStdString();
    OpenIndex(base);
    ASSERT_EQ(commands.MovingWindowSettings().WindowWords, 15000);
    // Not taken: nothing is made.
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    MenuCommand(cv::TMenuCommand::MovingWindow);
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("MovingWindowsTooLongUseFitting")});
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("100 words"))) << dialogs.Requests().back().text.toStdString();
    EXPECT_FALSE(QFileInfo::exists(base + QStringLiteral("_moving_window.plotdata")));
    // Taken: windows of 100 words, four of them, three values to a run, and the plot shown.
    dialogs.Clear();
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    MenuCommand(cv::TMenuCommand::MovingWindow);
    EXPECT_EQ(dialogs.Routines(), (QStringList{QStringLiteral("MovingWindowsTooLongUseFitting"), QStringLiteral("SavedPlotViewNow")}));
    ASSERT_EQ(commands.plotsOpened.size(), 1);
    cv::TMemoryStream plot;
    ASSERT_TRUE(plot.LoadFromFile(commands.plotsOpened.front()));
    cv::TMovingWindowPlotDataHolder data;
    ASSERT_TRUE(data.ReadPlotDataFromStream(plot));
    EXPECT_EQ(data.WindowWords, 100);
    EXPECT_EQ(data.OverlapValues[0].size(), 3u);
    // The settings keep the windows the user set.
    EXPECT_EQ(cv::GetWordlistIndexSettings().MovingWindowWords(), 15000);
}

TEST_F(WordListCommandsTest, ChangedSettingsReachOpenWordCloudsUnlessTheDocumentsListsReReadThem)
{
    WordListOf(kCorpus);
    std::unique_ptr<cv::TFormWordCloud> cloud(cv::ShowWordCloud(window.get(), *Doc()->WordlistOfType(cv::kListWordList), QStringLiteral("cloud")));
    cloud->setAttribute(Qt::WA_DeleteOnClose, false);
    cv::TWordCloudSettingsRec w = cv::GetWordCloudSettings();
    w.SetMinFontSize(17);
    cv::SetWordCloudSettings(w);
    // 233 with a document: the document's lists take the settings, the cloud keeps its own.
    window->SettingsChanged(cv::kCodeReReadSettings);
    EXPECT_NE(cloud->Cloud().CloudSettings.MinFontSize(), 17);
    // Any other change, or none with no document, reaches the cloud.
    window->SettingsChanged(-1);
    EXPECT_EQ(cloud->Cloud().CloudSettings.MinFontSize(), 17);
    w.SetMinFontSize(19);
    cv::SetWordCloudSettings(w);
    window->CloseData(true);
    window->SettingsChanged(cv::kCodeReReadSettings);
    EXPECT_EQ(cloud->Cloud().CloudSettings.MinFontSize(), 19);
}

} // namespace
} // namespace wordlist_window_test
