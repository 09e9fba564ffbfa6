// What the word-list window shows in small things, with real clicks and
// keys: numbers fit their columns after a sort, the status bar names the
// row the keys went to, an index window keeps its title when its clusters
// are saved, and making an index leaves the list that was showing.

#include "wordlist_commands_testutil.h"

#include <QHeaderView>
#include <QTest>
#include <QMenuBar>

#include "gui/cv_status_bar.h"
#include "index/index_clusters.h"

namespace wordlist_window_test {
namespace {

using cv::TDialogAnswer;

class WindowDetailsTest : public WordListCommandsTest {
protected:
    void SetUp() override
    {
        WordListCommandsTest::SetUp();
        window->resize(900, 600);
        window->show();
        QApplication::processEvents();
    }
    // A click on a column heading of a grid.
    static void ClickHeading(cv::TCV_Grid& grid, int column)
    {
        QHeaderView* header = grid.View()->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        QApplication::processEvents();
    }
    // A click on a cell (grid row from 1).
    static void ClickCell(cv::TCV_Grid& grid, int column, int row)
    {
        const QRect cell = grid.View()->visualRect(grid.Proxy()->index(row - 1, column));
        QTest::mouseClick(grid.View()->viewport(), Qt::LeftButton, {}, cell.center());
        QApplication::processEvents();
    }
    QString RowOnStatusBar() const { return window->AdvOfficeStatusBar1->PanelText(cv::kPanelWord).trimmed(); }
    // Compute > Clusters of two words (without phrase frames) from the index freq. page, with OK.
    void TwoWordClustersOfTheIndex(int minFreq)
    {
        cv::TWordlist_index_settings_rec s = cv::GetWordlistIndexSettings();
        s.SetClusterSizeMin(2);
        s.SetClusterSizeMax(2);
        s.SetMinShowFrequency(minFreq);
        s.SetOmitPhraseFrames(true);
        cv::SetWordlistIndexSettings(s);
        ASSERT_TRUE(Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Clusters));
    }
};

TEST_F(WindowDetailsTest, FrequenciesFitTheirColumnOnceTheAlphabeticalPageIsSortedByFrequency)
{
    // Cells in a large type under small headings: a count of three digits
    // is wider than its heading. The first 200 words alphabetically and the
    // last 20 occur once; the one frequent word stands between them.
    cv::TCV_Grid* grid = window->CVGridAlph;
    QFont small = grid->View()->font();
    small.setPointSize(8);
    grid->View()->horizontalHeader()->setFont(small);
    QFont large = small;
    large.setPointSize(28);
    grid->View()->setFont(large);
    QString text;
    for (int k = 0; k < 240; ++k)
        text += QStringLiteral("w%1 ").arg(k, 3, 10, QLatin1Char('0'));
    text += QStringLiteral("w210 ").repeated(299);
    WordListOf({{QStringLiteral("many.txt"), text}});
    ASSERT_EQ(Show(window->AdvOfficePageAlph), grid);
    ASSERT_EQ(grid->Cells(cv::TCVWordList::kColWord, 1), QStringLiteral("w000"));

    ClickHeading(*grid, cv::TCVWordList::kColFreq);
    EXPECT_EQ(window->AdvOfficePager1->tabText(window->AdvOfficePager1->indexOf(window->AdvOfficePageAlph)),
              QStringLiteral("sort: frequency"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, 1), QStringLiteral("w210"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColFreq, 1), QStringLiteral("300"));
    EXPECT_FALSE(grid->CellPartlyObscured(cv::TCVWordList::kColFreq, 1))
        << "column " << grid->ColWidths(cv::TCVWordList::kColFreq) << " pixels";
    EXPECT_TRUE(grid->HintString(cv::TCVWordList::kColFreq, 1).isEmpty());
}

TEST_F(WindowDetailsTest, TheStatusBarNamesTheRowTheKeysGoTo)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFrequency);
    const int last = grid->RowCount() - 1;
    ASSERT_GT(last, 3);
    ClickCell(*grid, cv::TCVWordList::kColWord, 1);
    EXPECT_EQ(RowOnStatusBar(), QStringLiteral("Row 1"));

    QTest::keyClick(grid->View(), Qt::Key_End, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(grid->Row(), last);
    EXPECT_EQ(RowOnStatusBar(), QStringLiteral("Row %1").arg(last));
    QTest::keyClick(grid->View(), Qt::Key_Up);
    QApplication::processEvents();
    EXPECT_EQ(RowOnStatusBar(), QStringLiteral("Row %1").arg(last - 1));
    QTest::keyClick(grid->View(), Qt::Key_Home, Qt::ControlModifier);
    QApplication::processEvents();
    EXPECT_EQ(RowOnStatusBar(), QStringLiteral("Row 1"));
}

TEST_F(WindowDetailsTest, SavingClustersKeepsTheIndexTitle)
{
    IndexOf(kCorpus);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    TwoWordClustersOfTheIndex(2);
    ASSERT_EQ(CurrentPage(), window->AdvOfficePageFrequency);

    const QString saved = dir.file(QStringLiteral("cl2.lst"));
    files.QueueAnswer(saved);
    ASSERT_TRUE(CurrentGrid()->HandleGridCommand(cv::TMenuCommand::Save));
    EXPECT_TRUE(QFileInfo::exists(saved));
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("SavedOK")));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
}

TEST_F(WindowDetailsTest, TitlesNameWhatIsShownAndWhetherItIsSaved)
{
    WordListOf(kCorpus);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Word list (unsaved)"));
    SaveShown(QStringLiteral("corpus.lst"));
    window->RefreshDataDisplay();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("corpus.lst"));
    // Delete and Zap: the list differs from its file.
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    SelectWords(*grid, {QStringLiteral("mat")});
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Delete));
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Zap));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("corpus.lst (unsaved)"));
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Save));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("corpus.lst"));

    // An index opened and never edited: no question before the next job, and it stays titled so.
    IndexOf(kCorpus);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    EXPECT_EQ(window->ListTypesHoldingData(), 0u);
    Show(window->AdvOfficePageIndexAlph);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    // A cluster job that finds none leaves it so (one stopped: LongStepsTest).
    TwoWordClustersOfTheIndex(50);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    // Clusters made: named, and unsaved.
    TwoWordClustersOfTheIndex(2);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus (clusters unsaved)"));
    Show(window->AdvOfficePageAlph);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus (clusters unsaved)"));
    // Saved, nothing is left to ask about before the next job.
    files.QueueAnswer(dir.file(QStringLiteral("clusters.lst")));
    ASSERT_TRUE(CurrentGrid()->HandleGridCommand(cv::TMenuCommand::Save));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: corpus"));
    EXPECT_EQ(window->ListTypesHoldingData(), 0u);
    dialogs.Clear();
    TwoWordClustersOfTheIndex(1);
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("DoYouWantToSave"))) << dialogs.Routines().join(u',').toStdString();
}

TEST_F(WindowDetailsTest, TheDeleteKeyDeletesTheChosenRowsAsTheMenuDoes)
{
    WordListOf(kCorpus);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    SelectWords(*grid, {QStringLiteral("mat"), QStringLiteral("dog")});
    grid->View()->setFocus();
    QTest::keyClick(grid->View(), Qt::Key_Delete);
    QApplication::processEvents();
    const auto deleted = [&](const char* word) {
        return Words()->GetDeleted(Words()->FindWordAndTag(QString::fromLatin1(word), {}));
    };
    EXPECT_TRUE(deleted("mat"));
    EXPECT_TRUE(deleted("dog"));
    EXPECT_FALSE(deleted("cat"));
    // One step of the list's history, as the menu's.
    EXPECT_EQ(Words()->UndoCaption(), QStringLiteral("Delete"));
    // With a modifier it is no Delete.
    SelectWords(*grid, {QStringLiteral("cat")});
    QTest::keyClick(grid->View(), Qt::Key_Delete, Qt::ShiftModifier);
    QApplication::processEvents();
    EXPECT_FALSE(deleted("cat"));
}

class WindowMenusTest : public WordListMenusTest {
protected:
    bool Offered(cv::TMenuCommand command) const { return Offered(cv::TagOf(command)); }
    bool Offered(int tag) const
    {
        const QAction* item = module->ItemOfTag(tag);
        return item && item->isVisible() && item->isEnabled();
    }
    bool MenuOpens(const QString& title) const
    {
        for (QAction* top : window->menuBar()->actions())
            if (top->text().remove(u'&') == title)
                return top->isEnabled();
        return false;
    }
};

TEST_F(WindowMenusTest, AfterCloseNothingOffersToSavePrintOrCompute)
{
    WordListOf(kCorpus);
    using enum cv::TMenuCommand;
    const cv::TMenuCommand onData[] = {Save, SaveAsPlainText, Print, PrintPreview, Delete, Zap};
    for (const cv::TMenuCommand command : onData)
        EXPECT_TRUE(Offered(command)) << TagOf(command);
    EXPECT_TRUE(MenuOpens(QStringLiteral("Compute")));
    dialogs.QueueAnswer(TDialogAnswer::No); // the list is not saved: let it go
    MenuCommand(cv::TMenuCommand::Close);
    ASSERT_EQ(window->Data(), nullptr);
    // Nothing for those to act on.
    for (const cv::TMenuCommand command : onData)
        EXPECT_FALSE(Offered(command)) << TagOf(command);
    EXPECT_FALSE(MenuOpens(QStringLiteral("Compute")));
    // What works without data is still there.
    for (const cv::TMenuCommand command : {Open, New, Exit})
        EXPECT_TRUE(Offered(command)) << TagOf(command);
}

TEST_F(WindowDetailsTest, ClustersShowFromTheCountItselfAndAreSavedAsTheJobProgramsList)
{
    IndexOf(kCorpus);
    TwoWordClustersOfTheIndex(1);
    const cv::TCVWordList* clusters = Words();
    ASSERT_NE(clusters, nullptr);

    // What a user does with them: both pages, a click, find as you type.
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFrequency);
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, 1), QStringLiteral("the cat"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColFreq, 1), QStringLiteral("3"));
    ClickCell(*grid, cv::TCVWordList::kColWord, 2);
    EXPECT_EQ(RowOnStatusBar(), QStringLiteral("Row 2"));
    grid = Show(window->AdvOfficePageAlph);
    window->ElComboBoxTyping->setEditText(QStringLiteral("sat on"));
    QApplication::processEvents();
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, grid->Row()), QStringLiteral("sat on"));
    // The window read the clusters where the count left them: no list of entries was made.
    EXPECT_TRUE(clusters->HoldsRowsWithoutEntries());

    // Saved, they are the list the job programs make of the same count.
    const QString saved = dir.file(QStringLiteral("clusters.lst"));
    files.QueueAnswer(saved);
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Save));
    cv::T_WholeWordlistHolder back(cv::kListWordList, nullptr, nullptr, false, false);
    ASSERT_TRUE(back.ReadWholeFromFile(saved));
    const cv::TCVWordList* read = back.WordlistOfType(cv::kListWordList);
    ASSERT_NE(read, nullptr);
    const cv::TIndexData& index = Doc()->fIndexHandler->Data();
    cv::TClusterOptions options = cv::TClusterOptions::FromSettings(cv::GetWordlistIndexSettings());
    cv::TClusterRun run;
    QString error;
    ASSERT_TRUE(cv::CountClusters(index, {}, {}, options, run, &error));
    const auto expected = cv::MakeClusterWordList(nullptr, index, run, index.RunningWords(), index.TextCount());
    ASSERT_EQ(read->Count(), expected->Count());
    for (int i = 0; i < expected->Count(); ++i) {
        EXPECT_EQ(read->Entry(i).fWord, expected->Entry(i).fWord) << i;
        EXPECT_EQ(read->WordlistData(i), expected->WordlistData(i)) << i;
    }
}

TEST_F(WindowDetailsTest, ASuccessfulIndexJobLeavesTheListThatWasShowing)
{
    WordListOf(kCorpus);
    SaveShown(QStringLiteral("shown.lst"));
    const cv::T_WholeWordlistHolder* before = Doc();
    const QStringList words = WordsOf(*Words());
    const QString title = window->windowTitle();

    cv::SetLastUsedFile(cv::kListIndexWordList, dir.file(QStringLiteral("new index")));
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No); // not opened now
    Request(cv::kListIndexWordList);
    EXPECT_TRUE(QFileInfo::exists(cv::IndexFileName(dir.file(QStringLiteral("new index")), cv::TIndexFileKind::Tokens)));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("SavedOKOpenIndexNow")});

    // The list that was showing shows still, on its page, under its title.
    EXPECT_EQ(Doc(), before);
    ASSERT_NE(Words(), nullptr);
    EXPECT_EQ(WordsOf(*Words()), words);
    EXPECT_EQ(window->windowTitle(), title);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFrequency);
    EXPECT_EQ(grid->List(), Words());
    EXPECT_EQ(grid->RowCount() - 1, int(words.size()));
    EXPECT_FALSE(window->AdvPanelToolname->isVisible()); // not the start screen

    // Asked to open it, the new index takes the list's place.
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    cv::SetLastUsedFile(cv::kListIndexWordList, dir.file(QStringLiteral("newer index")));
    Request(cv::kListIndexWordList);
    ASSERT_NE(Doc(), nullptr);
    EXPECT_NE(Doc()->fIndexHandler, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Index: newer index"));
}

// The index job of the window keeps what the reading noted of its texts
// in the index's notes, as the word list keeps it in its own.
TEST_F(WindowDetailsTest, TheIndexJobKeepsWhatTheReadingNoted)
{
    Choose({{QStringLiteral("page.html"), QStringLiteral("<p>The cat sat.</p><script>var cat = 1;</script>")},
            {QStringLiteral("plain.txt"), QStringLiteral("The dog sat.")}});
    const QString base = dir.file(QStringLiteral("noted index"));
    cv::SetLastUsedFile(cv::kListIndexWordList, base);
    dialogs.Clear();
    dialogs.QueueAnswer(TDialogAnswer::No); // not opened now
    Request(cv::kListIndexWordList);
    cv::TIndexData index;
    QString error;
    ASSERT_TRUE(index.Load(base, &error)) << error.toStdString();
    EXPECT_EQ(index.notes.filter(QStringLiteral("page.html: what stands inside <script> and <style> was left out")).size(), 1)
        << index.notes.join(u'\n').toStdString();
    EXPECT_EQ(index.RunningWords(), 6);
}

} // namespace
} // namespace wordlist_window_test
