#include "wordlist_commands_testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>

#include "model/stats_list.h"
#include "suite/cvbuf.h"
#include "wordlist/detailed_consistency.h"
#include "wordlist/keyword_list.h"

namespace wordlist_window_test {
namespace {

class TypingBoxTest : public WordListCommandsTest {
protected:
    void Type(const QString& text) { window->ElComboBoxTyping->setEditText(text); }
    // The word of the grid's current row.
    QString CurrentWord(const cv::TCV_Grid& grid) const
    {
        const cv::TCVBaseListObject* e = grid.List()->Get(grid.EntryOfGridRow(grid.Row()));
        return e ? e->MainWordOnly() : QString();
    }
    void StartAt(cv::TCV_Grid& grid, const QString& word, int column = 1)
    {
        grid.View()->setCurrentIndex(grid.Proxy()->index(RowOf(grid, word) - 1, column));
    }
};

// ---- find as you type --------------------------------------------------------------

TEST_F(TypingBoxTest, TypingFindsTheWordOnTheFrequencyPageWhateverItsCase)
{
    WordListOf(kCorpus);
    cv::SetKeyPressMode(0);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFrequency);
    StartAt(*grid, QStringLiteral("dog"));
    Type(QStringLiteral("The"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("the"));

    // A case-sensitive search does not find it; the row stays.
    StartAt(*grid, QStringLiteral("dog"));
    window->AdvOfficeCheckBoxCaseSensitiveSearch->setChecked(true);
    Type(QStringLiteral("Ro"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("dog"));
    // The beginning of a word is enough.
    Type(QStringLiteral("ro"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("road"));
}

TEST_F(TypingBoxTest, TypingFindsOnTheAlphabeticalPageButNotOnTheStatistics)
{
    WordListOf(kCorpus);
    cv::SetKeyPressMode(0);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    StartAt(*grid, QStringLiteral("and"));
    Type(QStringLiteral("mat"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("mat"));
    // An empty box moves nothing.
    Type(QString());
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("mat"));

    cv::TCV_Grid* stats = Show(window->AdvOfficePageStatistics);
    stats->View()->setCurrentIndex(stats->Proxy()->index(0, 1));
    const int row = stats->Row();
    Type(QStringLiteral("b.txt"));
    EXPECT_EQ(stats->Row(), row);
}

TEST_F(TypingBoxTest, TypingAFileNameGoesToWhereItWouldStand)
{
    WordListOf(kCorpus);
    cv::SetKeyPressMode(0);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageFilenames);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));
    Type(QStringLiteral("b"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("b.txt"));
}

TEST_F(TypingBoxTest, TypingOnTheRelationshipsPageSeeksTheColumnSortedOn)
{
    IndexOf(kCorpus);
    EveryNeighbour();
    Show(window->AdvOfficePageIndexFreq)->HandleGridCommand(cv::TMenuCommand::Relationships);
    cv::TCV_Grid* grid = CurrentGrid();
    ASSERT_EQ(grid, window->CVGridIndexRelations);
    cv::SetKeyPressMode(0);
    grid->View()->setCurrentIndex(grid->Proxy()->index(0, 1));
    Type(QStringLiteral("ran"));
    EXPECT_EQ(CurrentWord(*grid), QStringLiteral("ran"));
}

// ---- editing ---------------------------------------------------------------------

TEST_F(TypingBoxTest, EditingReplacesTheWordAndKeepsTheOldOneInTheBox)
{
    WordListOf(kCorpus);
    cv::SetKeyPressMode(2);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    StartAt(*grid, QStringLiteral("dog"), cv::TCVWordList::kColWord);
    const int entry = grid->EntryOfGridRow(grid->Row());
    for (const QString& typed : {QStringLiteral("h"), QStringLiteral("ho"), QStringLiteral("hound")})
        Type(typed);
    EXPECT_EQ(Words()->Entry(entry).fWord, QStringLiteral("hound"));
    EXPECT_EQ(window->ElComboBoxTyping->count(), 1);
    EXPECT_EQ(window->ElComboBoxTyping->itemText(0), QStringLiteral("dog"));
    EXPECT_EQ(window->ElComboBoxTyping->currentText(), QStringLiteral("hound"));
    // The edit can be undone.
    EXPECT_GE(Words()->UndoCount(), 1);

    // Only the word column is edited.
    StartAt(*grid, QStringLiteral("cat"), cv::TCVWordList::kColFreq);
    Type(QStringLiteral("lion"));
    EXPECT_GE(Words()->FindWordAndTag(QStringLiteral("cat"), {}), 0);
    EXPECT_EQ(window->ElComboBoxTyping->count(), 1);
}

TEST_F(TypingBoxTest, EnterHandsTheGridTheFocusAndHidesTheToolBarUnlessKept)
{
    WordListOf(kCorpus);
    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, true);
    window->RefreshMenuChecks();
    Show(window->AdvOfficePageAlph);
    window->ElComboBoxTyping->setEditText(QStringLiteral("cat"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window->ElComboBoxTyping->lineEdit(), &enter);
    EXPECT_TRUE(window->IIsToolbarShowing());

    cv::SetMenuItemChecked(cv::TMenuCommand::MainToolbar, false);
    EXPECT_TRUE(window->EditTypingKeyDown(13));
    EXPECT_FALSE(window->IIsToolbarShowing());
    // Hidden, the box takes no Enter.
    EXPECT_FALSE(window->EditTypingKeyDown(13));
}

// ---- cell handlers ----------------------------------------------------------------

TEST_F(TypingBoxTest, MarkedConsistencyListsShowTheListsAWordIsIn)
{
    choices.consistencyFiles = {SavedWordList(QStringLiteral("alpha"), QStringLiteral("the cat")),
                                SavedWordList(QStringLiteral("beta"), QStringLiteral("the dog"))};
    Request(cv::kListDetailedConsistency);
    cv::TCV_Grid* grid = Show(window->AdvOfficePageConsistency);
    const int row = RowOf(*grid, QStringLiteral("cat"));
    const int alpha = cv::TDetailedConsistencyList::ColumnOfList(0);
    const int beta = cv::TDetailedConsistencyList::ColumnOfList(1);
    const auto background = [&](int column) {
        const QModelIndex source = grid->Proxy()->mapToSource(grid->Proxy()->index(row - 1, column));
        return grid->Model()->CellOf(source.row(), column).background;
    };
    EXPECT_EQ(background(alpha), 0u);
    Doc()->fDetailedConsistencyList->SetMarking(true);
    grid->Refresh();
    EXPECT_NE(background(alpha), 0u);
    EXPECT_EQ(background(beta), 0u);     // "cat" is not in the second list
    EXPECT_EQ(background(1), 0u);        // nor is the word column marked
}

TEST_F(TypingBoxTest, NegativeKeyWordsAndTextsNoLongerOnDiskLookDifferent)
{
    WordListOf(kCorpus);
    cv::TKeyWordList& keyWords = *Doc()->fKeywordsList;
    for (const auto& [word, keyness] : {std::pair{QStringLiteral("cat"), 12.5f}, std::pair{QStringLiteral("the"), -8.0f}}) {
        auto e = std::make_unique<cv::TKeyWordEntry>(&keyWords);
        e->fWord = word;
        e->SetKeyness(keyness);
        keyWords.Add(std::move(e));
    }
    cv::TCV_Grid* grid = Show(window->AdvOfficePageKWs);
    ASSERT_EQ(grid->List(), &keyWords);
    EXPECT_EQ(grid->Model()->CellOf(0, 1).foreground, 0u);
    EXPECT_NE(grid->Model()->CellOf(1, 1).foreground, 0u);

    QFile::remove(dir.file(QStringLiteral("b.txt")));
    window->BeforeDataChange(); // a new look at the disk
    cv::TCV_Grid* names = Show(window->AdvOfficePageFilenames);
    const int a = RowOf(*names, QStringLiteral("a.txt"));
    const int b = RowOf(*names, QStringLiteral("b.txt"));
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(names->Model()->CellOf(a - 1, 1).foreground, 0u);
    EXPECT_NE(names->Model()->CellOf(b - 1, 1).foreground, 0u);
}

TEST_F(WordListCommandsTest, ACutOffCellTellsOnceThatTheDataArePartlyHidden)
{
    WordListOf(kCorpus);
    window->show();
    cv::TCV_Grid* grid = Show(window->AdvOfficePageAlph);
    grid->SetColWidths(cv::TCVWordList::kColWord, 10);
    const QRect cell = grid->View()->visualRect(grid->Proxy()->index(0, cv::TCVWordList::kColWord));
    const QPoint global = grid->View()->viewport()->mapToGlobal(cell.center());
    dialogs.Clear();
    EXPECT_TRUE(grid->ShowHintAt(cell.center(), global));
    EXPECT_TRUE(grid->ShowHintAt(cell.center(), global));
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("DataPartlyObscured")});
}

} // namespace
} // namespace wordlist_window_test
