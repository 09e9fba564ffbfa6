// The editing commands on a word list shown in the test window's
// alphabetical page: a(1) and(2) bird(1) cat(1) dog(2) the(3), rows 1 to 6.

#include "ui/framework/list_editing.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QKeyEvent>

#include <optional>

#include "framework_testutil.h"
#include "gui/cv_status_bar.h"
#include "gui/speech.h"
#include "model/model_testutil.h"
#include "suite/resource_strings.h"
#include "ui/framework/grid_binding.h"
#include "ui/framework/tool_data_module.h"

namespace framework_test {
namespace {

class ListEditingTest : public EditingWindowTest {
protected:
    void SetUp() override
    {
        EditingWindowTest::SetUp();
        ASSERT_EQ(cv::ToolWindowList().CurrentGrid(), grid);
        ASSERT_EQ(Words(), (QStringList{"a", "and", "bird", "cat", "dog", "the"}));
    }
    QStringList Words() const
    {
        QStringList words;
        for (int i = 0; i < List().Count(); ++i)
            words << List().Entry(i).fWord;
        return words;
    }
    int EntryOf(const QString& word) const { return List().Find_WordStr(word, true); }
    void Select(int first, int last) { grid->SelectRows(first, last); }
    QStringList FormsOf(const QString& word) const
    {
        QStringList forms;
        const cv::TCVBaseListObject& e = List()[EntryOf(word)];
        for (int i = 0; i < e.JoinedCount(); ++i)
            forms << e.JoinedEntry(i)->MainWordOnly();
        return forms;
    }
    bool Command(cv::TMenuCommand command) { return Command(cv::TagOf(command)); }
    bool Command(int tag)
    {
        QAction item;
        item.setData(tag);
        window->HandleMenuItemClick(&item);
        return true;
    }

};

TEST_F(ListEditingTest, JoiningOneRowJoinsTheRememberedTargetUnderIt)
{
    // The row chosen before the current one is the target.
    grid->SetRow(4); // cat
    grid->SetRow(5); // dog
    ASSERT_EQ(cv::JoinTargetRow(grid), 4);
    EXPECT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 5, true, false));
    EXPECT_EQ(FormsOf(QStringLiteral("dog")), QStringList{QStringLiteral("cat")});
    EXPECT_GE(grid->ColWidths(List().WordColumn()), 144);
    // Undo brings cat back.
    EXPECT_TRUE(List().Undo());
    EXPECT_EQ(EntryOf(QStringLiteral("cat")) >= 0, true);
}

TEST_F(ListEditingTest, JoiningSelectedRowsJoinsThemUnderTheFirstAndUnjoiningPutsThemBack)
{
    Select(2, 4); // and, bird, cat
    EXPECT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 2, true, false));
    EXPECT_EQ(FormsOf(QStringLiteral("and")), (QStringList{"bird", "cat"}));
    EXPECT_EQ(List().Count(), 4);

    Select(2, 2); // and, now with its forms
    ASSERT_EQ(cv::EntryOfRow(grid, 2), List().Get(EntryOf(QStringLiteral("and"))));
    EXPECT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 2, false, false));
    EXPECT_EQ(List().Count(), 6);
    EXPECT_TRUE(FormsOf(QStringLiteral("and")).isEmpty());
}

TEST_F(ListEditingTest, MarkedEntriesJoinUnderTheFirstMarkAndTheMarksGo)
{
    EXPECT_TRUE(cv::MarkRow(grid, 6, true)); // the: first mark
    EXPECT_TRUE(cv::MarkRow(grid, 1, true)); // a
    EXPECT_TRUE(cv::MarkRow(grid, 3, true)); // bird
    EXPECT_EQ(List()[EntryOf(QStringLiteral("the"))].Mark(), 1);
    EXPECT_EQ(List()[EntryOf(QStringLiteral("a"))].Mark(), 2);
    EXPECT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 1, true, false));
    EXPECT_EQ(FormsOf(QStringLiteral("the")), (QStringList{"a", "bird"}));
    EXPECT_EQ(List().MarkCount(), 0);
    // Unjoin all puts every form back.
    EXPECT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 1, false, true));
    EXPECT_EQ(List().Count(), 6);
}

TEST_F(ListEditingTest, RowsDroppedOnTheWordOfARowOfTheirGridJoinUnderIt)
{
    Select(3, 4); // bird, cat
    const int word = List().WordColumn();
    EXPECT_TRUE(grid->HandlersA.CellDragOver(grid, grid, word, 5));
    EXPECT_FALSE(grid->HandlersA.CellDragOver(grid, grid, word + 1, 5));
    EXPECT_FALSE(grid->HandlersA.CellDragOver(grid, window->freq, word, 5)) << "rows of another grid";
    grid->HandlersA.CellDragDrop(grid, window->freq, word, 5);
    EXPECT_EQ(List().Count(), 6);
    grid->HandlersA.CellDragDrop(grid, grid, word, 5); // on dog
    EXPECT_EQ(FormsOf(QStringLiteral("dog")), (QStringList{"bird", "cat"}));
}

TEST_F(ListEditingTest, ListsThatCannotBeLemmatisedAreNotJoinedOrMarked)
{
    grid->ListType = 50;
    Select(1, 3);
    EXPECT_FALSE(cv::JoinOrUnjoinSelectedRows(grid, 1, true, false));
    EXPECT_FALSE(cv::MarkRow(grid, 1, true));
    EXPECT_EQ(List().MarkCount(), 0);
    grid->ListType = cv::kListWordList;
}

TEST_F(ListEditingTest, DeletingMovesOnAndTheLastRowStays)
{
    grid->SetRow(2);
    EXPECT_TRUE(cv::DeleteSelectedRows(grid, true));
    EXPECT_TRUE(List().GetDeleted(EntryOf(QStringLiteral("and"))));
    EXPECT_EQ(grid->Row(), 3);
    grid->SetRow(6);
    EXPECT_TRUE(cv::DeleteSelectedRows(grid, true));
    EXPECT_EQ(grid->Row(), 6);
    EXPECT_TRUE(cv::DeleteSelectedRows(grid, false));
    EXPECT_FALSE(List().GetDeleted(EntryOf(QStringLiteral("the"))));
}

TEST_F(ListEditingTest, DeleteToEndRestoreToEndAndReverseDeletion)
{
    EXPECT_TRUE(cv::DeleteOrRestoreToEnd(grid, window->AdvOfficeStatusBar1, 4, true));
    for (const char* w : {"cat", "dog", "the"})
        EXPECT_TRUE(List().GetDeleted(EntryOf(QString::fromLatin1(w)))) << w;
    EXPECT_FALSE(List().GetDeleted(EntryOf(QStringLiteral("bird"))));
    EXPECT_TRUE(cv::DeleteOrRestoreToEnd(grid, nullptr, 5, false));
    EXPECT_FALSE(List().GetDeleted(EntryOf(QStringLiteral("dog"))));

    // The question is refused: nothing changes.
    EXPECT_FALSE(cv::ReverseDeletion(grid, nullptr));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("OKToDoX"));
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_TRUE(cv::ReverseDeletion(grid, nullptr));
    EXPECT_TRUE(List().GetDeleted(EntryOf(QStringLiteral("a"))));
    EXPECT_FALSE(List().GetDeleted(EntryOf(QStringLiteral("cat"))));
    EXPECT_EQ(dialogs.Requests().back().helpContext, 5690);
}

TEST_F(ListEditingTest, ReduceToNTakesOnlyAWholeNumberBelowTheCount)
{
    for (const char* refused : {"6", "0", "2a", "", "-1"}) {
        editing.value = QString::fromLatin1(refused);
        int n = 0;
        EXPECT_FALSE(cv::AskReduceToN(6, n)) << refused;
    }
    EXPECT_EQ(editing.offered.last(), QStringLiteral("6"));
    EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("ReduceDataOK")));
    editing.value = QStringLiteral("4");
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_TRUE(cv::ReduceList(grid));
    EXPECT_EQ(Words(), (QStringList{"a", "and", "bird", "cat"}));
    // One undo step brings the rest back.
    EXPECT_TRUE(List().Undo());
    EXPECT_EQ(List().Count(), 6);
}

TEST_F(ListEditingTest, FreezingAcceptsOneToFourRows)
{
    editing.value = QStringLiteral("5");
    EXPECT_FALSE(cv::FreezeTopRows(grid));
    EXPECT_EQ(cv::FrozenTopRows(grid), 0);
    editing.value = QStringLiteral("4");
    EXPECT_TRUE(cv::FreezeTopRows(grid));
    EXPECT_EQ(cv::FrozenTopRows(grid), 4);
    EXPECT_EQ(editing.offered.last(), QStringLiteral("1"));
    editing.value.reset();
    EXPECT_FALSE(cv::FreezeTopRows(grid));
    EXPECT_EQ(cv::FrozenTopRows(grid), 4);

    // The four rows stand above the table, which shows the others; a sort keeps the top four there.
    auto* frozen = grid->findChild<QTableView*>(QStringLiteral("cvFrozenRows"));
    ASSERT_NE(frozen, nullptr);
    QTableView* main = grid->View();
    const auto hiddenRows = [main] {
        std::vector<int> rows;
        for (int r = 0; r < main->model()->rowCount(); ++r)
            if (main->isRowHidden(r))
                rows.push_back(r);
        return rows;
    };
    EXPECT_EQ(hiddenRows(), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_TRUE(main->horizontalHeader()->isHidden());
    EXPECT_EQ(frozen->model(), main->model());
    List().Set1Sort(0, List().HeaderColumnToSortNeeded(2));
    List().DoASort(List().Count() - 1);
    grid->Refresh();
    EXPECT_EQ(hiddenRows(), (std::vector<int>{0, 1, 2, 3}));
    editing.value = QStringLiteral("1");
    EXPECT_TRUE(cv::FreezeTopRows(grid));
    EXPECT_EQ(hiddenRows(), (std::vector<int>{0}));
    EXPECT_EQ(grid->findChildren<QTableView*>(QStringLiteral("cvFrozenRows")).size(), 1);
}

TEST_F(ListEditingTest, LemmaMatchesNeedALemmaList)
{
    EXPECT_FALSE(cv::ComputeLemmaMatches(grid));
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("NoLemmaList")));
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 0, dir.write(QStringLiteral("lemmas.txt"), "dog -> cat,bird\n"));
    EXPECT_TRUE(cv::ComputeLemmaMatches(grid));
    EXPECT_EQ(FormsOf(QStringLiteral("dog")), (QStringList{"bird", "cat"}));
}

TEST_F(ListEditingTest, MatchCommandsMarkOrDeleteWhatTheMatchListHolds)
{
    QStringList told;
    const auto tell = [&](const QString& t) { told << t; };
    EXPECT_EQ(cv::DoMatchCommand(grid, TagOf(cv::TMenuCommand::MarkMatches), tell), -1);
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("NoMatchList")));
    cv::SetLemmaMatchStopFilename(cv::kToolWordList, 1, dir.write(QStringLiteral("match.txt"), "cat\ndog\n"));
    cv::SetLemmaMatchStopWanted(cv::kToolWordList, 1, true);
    EXPECT_EQ(cv::DoMatchCommand(grid, TagOf(cv::TMenuCommand::MarkMatches), tell), 2);
    EXPECT_EQ(told.last(), QStringLiteral("Match and mark: match-list items 2 found"));
    EXPECT_EQ(List()[EntryOf(QStringLiteral("cat"))].MatchMark(), 1);
    // Deleting the unmatched ones, and zapping them when the user agrees.
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_EQ(cv::DoMatchCommand(grid, TagOf(cv::TMenuCommand::DeleteAllUnmatched), tell), 2);
    EXPECT_EQ(Words(), (QStringList{"cat", "dog"}));
}

TEST_F(ListEditingTest, SetColumnsTakeTypedKeysAndEditedCategories)
{
    // The word list's own set column, and one more.
    const int first = List().ActiveSetColumn();
    ASSERT_EQ(List().SetNumberOfColumn(first), 1);
    const int second = List().AddSetColumn(QStringLiteral("Set 2"));
    grid->Refresh();
    EXPECT_TRUE(cv::GridColumnIsSetColumn(first, grid));
    EXPECT_FALSE(cv::GridColumnIsSetColumn(1, grid));
    // A key goes into the active column, then the next column takes the next key; after the last, the next row.
    EXPECT_TRUE(cv::TypeCategoryKey(grid, 1, Qt::Key_N, QStringLiteral("n")));
    EXPECT_EQ(List().ActiveSetColumn(), second);
    EXPECT_TRUE(cv::TypeCategoryKey(grid, 1, Qt::Key_V, QStringLiteral("v")));
    EXPECT_EQ(List().ActiveSetColumn(), first);
    EXPECT_EQ(grid->Row(), 2);
    EXPECT_EQ(List()[EntryOf(QStringLiteral("a"))].Category(1), QStringLiteral("n"));
    EXPECT_EQ(List()[EntryOf(QStringLiteral("a"))].Category(2), QStringLiteral("v"));
    EXPECT_TRUE(cv::TypeCategoryKey(grid, 1, Qt::Key_Delete, QString()));
    EXPECT_TRUE(List()[EntryOf(QStringLiteral("a"))].Category(1).isEmpty());

    // The dialog's category, with its colour, for every selected row.
    editing.category = QStringLiteral("noun");
    editing.colour = 0xFF00FF00;
    editing.colourChanged = true;
    Select(3, 4);
    EXPECT_TRUE(cv::EditSetColumnCells(grid, QString()));
    for (const char* w : {"bird", "cat"}) {
        const auto& cats = List()[EntryOf(QString::fromLatin1(w))].Categories();
        ASSERT_EQ(cats.size(), 1u) << w;
        EXPECT_EQ(cats[0].text, QStringLiteral("noun"));
        EXPECT_EQ(cats[0].colour, 0xFF00FF00u);
    }
    EXPECT_TRUE(cv::ClearSetColumn(grid));
    EXPECT_TRUE(List()[EntryOf(QStringLiteral("bird"))].Category(1).isEmpty());
}

TEST_F(ListEditingTest, InTheSetCategoriesModeKeysTypedIntoTheGridSetTheCategory)
{
    grid->SetRow(2);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    cv::SetKeyPressMode(0); // type-in: the grid keeps the key
    QApplication::sendEvent(grid->View(), &key);
    EXPECT_TRUE(List()[EntryOf(QStringLiteral("and"))].Category(1).isEmpty());
    cv::SetKeyPressMode(1);
    QApplication::sendEvent(grid->View(), &key);
    EXPECT_EQ(List()[EntryOf(QStringLiteral("and"))].Category(1), QStringLiteral("x"));
    EXPECT_EQ(grid->Row(), 3) << "one set column: on to the next row";
    cv::SetKeyPressMode(0);
}

TEST_F(ListEditingTest, TypingReplacesTheWordOnlyInTheWordColumn)
{
    QString old;
    grid->View()->setCurrentIndex(grid->View()->model()->index(2, 2)); // row 3, a number column
    EXPECT_FALSE(cv::TypeIntoCell(List(), QStringLiteral("birds"), 3, old, grid));
    grid->View()->setCurrentIndex(grid->View()->model()->index(2, List().WordColumn()));
    EXPECT_TRUE(cv::TypeIntoCell(List(), QStringLiteral("birds"), 3, old, grid));
    EXPECT_EQ(old, QStringLiteral("bird"));
    EXPECT_GE(EntryOf(QStringLiteral("birds")), 0);
    EXPECT_EQ(List().ChangeMark() & 16, 16);

    EXPECT_EQ(cv::FindTypedWord(List(), false, QStringLiteral("DOG")), EntryOf(QStringLiteral("dog")));
    EXPECT_EQ(cv::FindTypedWord(List(), true, QStringLiteral("DOG")), -1);
    EXPECT_EQ(cv::FindTypedWordPosition(List(), false, QStringLiteral("co"), 0), EntryOf(QStringLiteral("dog")));
    EXPECT_EQ(cv::FindTypedWordPosition(List(), false, QStringLiteral("zz"), 0), -1);
}

TEST_F(ListEditingTest, ComputedColumnsAreAppendedAndNoted)
{
    const int before = List().ColumnCount();
    EXPECT_TRUE(cv::AddOrDeleteComputedColumn(grid, 1, true, -1, QStringLiteral("sets")));
    // The word list has its set 1 already.
    EXPECT_EQ(List().Heading(before), cv::Format(cv::CVSetColumnD, {2}));
    EXPECT_EQ(List().SetNumberOfColumn(before), 2);
    EXPECT_TRUE(cv::AddOrDeleteComputedColumn(grid, 2, true, -1, QString()));
    EXPECT_EQ(List().Heading(before + 1), cv::CVRelativeEntropy + QStringLiteral(" 1"));
    EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("UseLayoutToMoveAnyColumns")));
    EXPECT_TRUE(window->Doc()->fNotes.join(u'\n').contains(QStringLiteral("sets computed on")));
    // Kind 0 without add is not offered; only the last column can be taken away.
    EXPECT_FALSE(cv::AddOrDeleteComputedColumn(grid, 0, false, -1, QString()));
    EXPECT_FALSE(cv::AddOrDeleteComputedColumn(grid, -1, false, 1, QString()));
    EXPECT_TRUE(cv::AddOrDeleteComputedColumn(grid, -1, false, before + 1, QString()));
    EXPECT_EQ(List().ColumnCount(), before + 1);
    // A set column the user added goes (with a word when it cannot); the list's own set column stays.
    EXPECT_TRUE(cv::AddOrDeleteComputedColumn(grid, -1, false, before, QString())) << "an added set column goes";
    EXPECT_EQ(List().ColumnCount(), before);
    int own = -1;
    for (int c = 0; c < List().ColumnCount(); ++c)
        if (List().SetNumberOfColumn(c) == 1)
            own = c;
    ASSERT_GT(own, 0);
    dialogs.Clear();
    EXPECT_FALSE(cv::AddOrDeleteComputedColumn(grid, -1, false, own, QString())) << "the list's own set column stays";
    EXPECT_EQ(dialogs.Routines(), QStringList{QStringLiteral("NotApplicableExplanation")});
    EXPECT_EQ(List().ListBusy(), cv::kListNotBusy);
}

TEST_F(ListEditingTest, ThreeWaySortSetsTheLevelsOnlyOnOK)
{
    editing.sort.columns = {2, 1, -1};
    editing.sort.ascending = {false, true, true};
    const auto keyOf = [](int column) { return int32_t(column * 10); };
    EXPECT_TRUE(cv::ThreeWaySortDialog(List(), 2, 1, 0, keyOf));
    EXPECT_EQ(editing.sortPressed, 2);
    EXPECT_EQ(editing.sortMaxLevel, 1);
    EXPECT_EQ(List().SortLevel(0).key, 20);
    EXPECT_FALSE(List().SortLevel(0).ascending);
    EXPECT_EQ(List().SortLevel(1).key, 10);
    EXPECT_EQ(List().SortLevel(2).key, -1);
    editing.acceptSort = false;
    editing.sort.columns = {3, -1, -1};
    EXPECT_FALSE(cv::ThreeWaySortDialog(List(), 3, 2, 0, keyOf));
    EXPECT_EQ(List().SortLevel(0).key, 20);
}

TEST_F(ListEditingTest, TheWordCloudCommandReachesTheInstalledWindow)
{
    std::vector<cv::TWordCloudOfListRequest> asked;
    const cv::TWordCloudOpener before = cv::SetWordCloudOpener([&](const cv::TWordCloudOfListRequest& r) {
        asked.push_back(r);
        return true;
    });
    window->Doc()->MainFile.FileName = QStringLiteral("corpus.lst");
    // The grid's Word Cloud command goes through the window's handler.
    EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::WordCloud));
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].list, &List());
    EXPECT_EQ(asked[0].fileName, QStringLiteral("corpus.lst"));
    EXPECT_EQ(asked[0].caption, cv::Format(cv::CVListTypeCloudFromFile, {cv::ListTypeName(cv::kListWordList), "corpus.lst"}));
    EXPECT_EQ(asked[0].needsSorting, List().CloudDataNeedsSorting());
    // A list never saved: its cloud is named after the list, with no empty "from".
    window->Doc()->MainFile.FileName.clear();
    EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::WordCloud));
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[1].caption, QStringLiteral("Word list word cloud"));
    cv::SetWordCloudOpener(before);
    EXPECT_FALSE(cv::WordCloudOfList(grid, true, QString())) << "no window installed";
}

TEST_F(ListEditingTest, TheCurrentRowIsReadAloudWithoutMarkup)
{
    EXPECT_EQ(cv::WithoutMarkup(QStringLiteral("<b>dog</b> and <i>cat")), QStringLiteral("dog and cat"));
    QStringList spoken;
    const cv::TRowSpeaker before = cv::SetRowSpeaker([&](const QString& line) { spoken << line; });
    grid->SetRow(5);
    EXPECT_TRUE(cv::SpeakCurrentRow(grid));
    ASSERT_EQ(spoken.size(), 1);
    EXPECT_TRUE(spoken[0].startsWith(QStringLiteral("5 dog 2"))) << spoken[0].toStdString();
    cv::SetRowSpeaker(before);
}

TEST_F(ListEditingTest, StatusBarRowsAndCounts)
{
    cv::TCVStatusBar* bar = window->AdvOfficeStatusBar1;
    cv::ShowRowStatus(bar, 3, 1, 10, QStringLiteral("done"));
    EXPECT_EQ(bar->PanelText(cv::kPanelMessage), cv::CV1Entry.toString());
    EXPECT_EQ(bar->PanelText(cv::kPanelWord), cv::Format(cv::CVRowNumber, {3}));
    EXPECT_EQ(bar->PanelText(cv::kPanelInfo), QStringLiteral("done"));
    cv::ShowEntryCountOnStatusBar(bar, 42);
    EXPECT_EQ(bar->PanelText(cv::kPanelMessage), cv::Format(cv::CVNEntries, {42}));
    cv::SetStatusBarProgress(bar, 40, cv::kPanelThisBar);
    EXPECT_EQ(bar->PanelProgress(cv::kPanelThisBar), 40);
    cv::SetStatusBarProgress(bar, 40, cv::kPanelMessage); // a text panel has no bar
    EXPECT_EQ(bar->PanelProgress(cv::kPanelMessage), -1);
}

TEST_F(ListEditingTest, MenuCommandsReachTheCurrentGrid)
{
    grid->SetRow(1);
    Command(cv::TMenuCommand::Delete);
    EXPECT_TRUE(List().GetDeleted(EntryOf(QStringLiteral("a"))));
    Command(cv::TMenuCommand::Mark);
    EXPECT_EQ(List().MarkCount(), 1);
    Command(cv::TMenuCommand::ClearAllMarking);
    EXPECT_EQ(List().MarkCount(), 0);
    grid->SetRow(5);
    Command(cv::TMenuCommand::DeleteToEnd);
    EXPECT_TRUE(List().GetDeleted(EntryOf(QStringLiteral("the"))));
    // Undo follows into the data module's item when the program made one.
    EXPECT_EQ(grid->UnhandledCommands(), 0);
}

TEST_F(ListEditingTest, TextNamesAreReplacedThroughTheInstalledDialog)
{
    const cv::TCVStatsList& stats = *window->Doc()->fStats;
    const auto names = [&] {
        QStringList n;
        for (int i = 1; i < stats.Count(); ++i)
            n << stats.Row(i)->Data().FileName;
        return n;
    };
    ASSERT_EQ(names(), (QStringList{"a.txt", "b.txt"}));
    // Cancelled: nothing changes.
    window->ReplaceSourceFileNames(grid);
    EXPECT_EQ(names(), (QStringList{"a.txt", "b.txt"}));
    editing.fileNames = cv::TFileNameReplacement{QStringLiteral("b.txt"), QStringLiteral("second.txt"), false};
    window->ReplaceSourceFileNames(grid);
    EXPECT_EQ(names(), (QStringList{"a.txt", "second.txt"}));
}

TEST_F(ListEditingTest, SavingTheLemmasOfAListWithoutJoinedFormsSaysItDoesNotApply)
{
    Command(cv::TMenuCommand::SaveLemmaFile);
    ASSERT_FALSE(dialogs.Routines().isEmpty());
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("NotApplicableExplanation"));
    EXPECT_TRUE(files.Requests().empty());
    // With forms joined the user is asked where the lemma file goes.
    Select(2, 4);
    ASSERT_TRUE(cv::JoinOrUnjoinSelectedRows(grid, 2, true, false));
    Command(cv::TMenuCommand::SaveLemmaFile);
    ASSERT_FALSE(files.Requests().empty());
    EXPECT_EQ(files.Requests().back().title, cv::CVSaveLemmasAsLemmaList.toString());
}

TEST_F(ListEditingTest, ColumnTotalsShowAfterTheEntriesWhenTheUserSaysSo)
{
    const int rows = grid->RowCount();
    dialogs.QueueAnswer(cv::TDialogAnswer::No);
    window->ComputeColumnTotals(grid);
    EXPECT_EQ(dialogs.Routines().back(), QStringLiteral("ComputeColumnTotalsQ"));
    EXPECT_EQ(grid->RowCount(), rows);

    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    window->ComputeColumnTotals(grid);
    ASSERT_EQ(grid->RowCount(), rows + 1);
    const int last = grid->RowCount() - 1;
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, last), QStringLiteral("Total: 6"));
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColFreq, last), QStringLiteral("10"));
    EXPECT_LT(grid->EntryOfGridRow(last), 0);
    // Sorting the view keeps the totals last, either way.
    grid->SortOnRawValues(cv::TCVWordList::kColFreq, Qt::DescendingOrder);
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, last), QStringLiteral("Total: 6"));
    grid->SortOnRawValues(cv::TCVWordList::kColFreq, Qt::AscendingOrder);
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, last), QStringLiteral("Total: 6"));
    // A deleted row leaves the totals at once.
    grid->SetRow(1);
    Command(cv::TMenuCommand::Delete);
    EXPECT_EQ(grid->Cells(cv::TCVWordList::kColWord, grid->RowCount() - 1), QStringLiteral("Total: 5"));

    // Asked again: switched off without a question.
    const int asked = int(dialogs.Routines().size());
    window->ComputeColumnTotals(grid);
    EXPECT_EQ(int(dialogs.Routines().size()), asked);
    EXPECT_EQ(grid->RowCount(), List().Count() + 1);
}

// ---- other sorts ------------------------------------------------------------------

struct SortCase {
    cv::TMenuCommand command;
    const char* name;
    QStringList words; // the list's words in the order the sort gives
};

class OtherSorts : public ListEditingTest, public ::testing::WithParamInterface<SortCase> {};

TEST_P(OtherSorts, PutTheEntriesInTheirOrder)
{
    const SortCase& c = GetParam();
    // Marks and forms go with their entries.
    List().SetMarcacao(EntryOf(QStringLiteral("cat")), 1, false);
    ASSERT_TRUE(cv::SortListByWords(List(), TagOf(c.command)));
    EXPECT_EQ(Words(), c.words);
    EXPECT_EQ(List()[EntryOf(QStringLiteral("cat"))].Mark(), 1);
    EXPECT_EQ(List().MarkCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Tags, OtherSorts,
    ::testing::Values(SortCase{cv::TMenuCommand::SortAlphabetical, "alphabetical",
                               {"a", "and", "bird", "cat", "dog", "the"}},
                      // by the words read backwards: a, dna, drib, eht, god, tac
                      SortCase{cv::TMenuCommand::SortReverseWord, "reverseWord",
                               {"a", "and", "bird", "the", "dog", "cat"}},
                      SortCase{cv::TMenuCommand::SortWordLength, "wordLength", {"a", "and", "cat", "dog", "the", "bird"}},
                      SortCase{cv::TMenuCommand::SortCaseSensitive, "caseSensitive",
                               {"a", "and", "bird", "cat", "dog", "the"}},
                      SortCase{cv::TMenuCommand::SortByPrefix, "prefix", {"a", "and", "bird", "cat", "dog", "the"}}),
    [](const ::testing::TestParamInfo<SortCase>& i) { return std::string(i.param.name); });

TEST(OtherSortsOfCase, CaseSensitiveOrderPutsCapitalsFirstWhereTheAlphabeticalOneMixesThem)
{
    cvtest::TWordTestList list;
    for (const char* w : {"b", "B", "a", "A"})
        list.AddWord(QString::fromLatin1(w), 1);
    ASSERT_TRUE(cv::SortListByWords(list, TagOf(cv::TMenuCommand::SortCaseSensitive)));
    EXPECT_EQ(list.Words(), (QStringList{"A", "B", "a", "b"}));
    ASSERT_TRUE(cv::SortListByWords(list, TagOf(cv::TMenuCommand::SortAlphabetical)));
    EXPECT_EQ(list.Words().join(QString()).toLower(), QStringLiteral("aabb"));
    // Any other tag is not a sort.
    EXPECT_FALSE(cv::SortListByWords(list, TagOf(cv::TMenuCommand::PlayMediaFile)));
}

// ---- reading rows aloud ------------------------------------------------------------

// A voice that records what it is given, and can be made mute.
struct TRecordingSpeaker final : cv::TSpeaker {
    QStringList said;
    bool mute = false;
    bool Say(const QString& text) override
    {
        if (mute)
            return false;
        said << text;
        return true;
    }
    void Stop() override {}
    QString LastError() const override { return QStringLiteral("no sound device"); }
};

TEST_F(ListEditingTest, PlayReadsTheCurrentRowWithoutMarkUpToTheVoice)
{
    TRecordingSpeaker voice;
    const cv::TRowSpeaker before = cv::SetRowSpeaker(cv::RowSpeakerOf(voice));
    grid->SetRow(EntryOf(QStringLiteral("dog")) + 1);
    List().Entry(EntryOf(QStringLiteral("dog"))).fWord = QStringLiteral("<b>dog</b>");
    ASSERT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Play));
    ASSERT_EQ(voice.said.size(), 1);
    EXPECT_TRUE(voice.said.front().contains(QStringLiteral("dog 2")));
    EXPECT_FALSE(voice.said.front().contains(u'<'));
    // A voice that cannot speak is told of once, not at every row.
    voice.mute = true;
    grid->HandleGridCommand(cv::TMenuCommand::Play);
    grid->HandleGridCommand(cv::TMenuCommand::Play);
    EXPECT_EQ(dialogs.Routines().count(QStringLiteral("ReportedAFact")), 1);
    EXPECT_TRUE(dialogs.Requests().back().text.contains(QStringLiteral("no sound device")));
    cv::SetRowSpeaker(before);
}


// The grid roles that stood unbound now carry their commands: the grid's
// own commands (a menu command posted to it, a key) and a click on a cell
// reach them, and the user sees the rows, the status bar change.
TEST_F(ListEditingTest, TheRowCommandRolesOfTheGridsAreBound)
{
    ASSERT_TRUE(grid->HandlersA.SelectedRowsCommand);
    ASSERT_TRUE(grid->HandlersA.SelectedRowsCommand2);
    ASSERT_TRUE(grid->HandlersA.StatusBarCellInfo);
    ASSERT_TRUE(grid->HandlersB.StatusBarProgressCommand);
    ASSERT_TRUE(grid->HandlersB.SaveOrLoadTextFile);
    ASSERT_TRUE(grid->HandlersB.GridCommand26);
    grid->SetRow(1);
    EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::Delete));
    EXPECT_TRUE(List().GetDeleted(EntryOf(QStringLiteral("a"))));
    grid->SetRow(1);
    EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::RestoreDeleted));
    EXPECT_FALSE(List().GetDeleted(EntryOf(QStringLiteral("a"))));
    // Reverse-delete: every row's state turned round, the progress on the status bar.
    dialogs.QueueAnswer(cv::TDialogAnswer::Yes);
    EXPECT_TRUE(grid->HandleGridCommand(cv::TMenuCommand::ReverseDelete));
    for (const QString& w : Words())
        EXPECT_TRUE(List().GetDeleted(EntryOf(w))) << w.toStdString();
    // A click on a cell shows the row and the cell's whole text.
    const QModelIndex cell = grid->Proxy()->index(3, 1);
    emit grid->View()->clicked(cell);
    EXPECT_EQ(window->AdvOfficeStatusBar1->PanelText(cv::kPanelWord), cv::Format(cv::CVRowNumber, {4}));
    EXPECT_EQ(window->AdvOfficeStatusBar1->PanelText(cv::kPanelInfo), grid->Cells(1, 4));
}

} // namespace
} // namespace framework_test
