#include "model_testutil.h"

#include "suite/cv_globals.h"

#include <gtest/gtest.h>

using cvtest::TWordTestList;

namespace {

void Fill(TWordTestList& l)
{
    l.AddWord(QStringLiteral("the"), 50);
    l.AddWord(QStringLiteral("Apple"), 3);
    l.AddWord(QStringLiteral("cat"), 7);
    l.AddWord(QStringLiteral("bee"), 7);
    l.AddWord(QStringLiteral("apple"), 1);
}

std::vector<uint8_t> Saved(TWordTestList& l)
{
    cv::TMemoryStream m;
    EXPECT_TRUE(l.SaveToStream(m));
    return m.Bytes();
}

} // namespace

TEST(BaseListSort, AlphabeticalFollowsTheLocaleAndKeepsEqualEntriesInOrder)
{
    TWordTestList l;
    Fill(l);
    l.Set1Sort(0, cv::TCVBaseDataClass::kSortByWord);
    l.CompleteResort();
    EXPECT_EQ(l.Words(), QStringList({"apple", "Apple", "bee", "cat", "the"}));
}

TEST(BaseListSort, NumericDescendingThenWordOnTheSecondLevel)
{
    TWordTestList l;
    Fill(l);
    l.Set1Sort(0, l.HeaderColumnToSortNeeded(2));
    l.SetSortAscending(0, false);
    l.SetSecondSortAsWordSort();
    l.CompleteResort();
    EXPECT_EQ(l.Words(), QStringList({"the", "bee", "cat", "Apple", "apple"}));
    // A partial sort leaves the tail alone.
    l.ToggleMainSortAscends();
    l.DoASort(1);
    EXPECT_EQ(l.Words(), QStringList({"bee", "the", "cat", "Apple", "apple"}));
}

TEST(BaseListSort, CancelledSortLeavesTheOrder)
{
    TWordTestList l;
    Fill(l);
    cv::global_panic_state = cv::kPanicStopNow;
    l.CompleteResort();
    cv::global_panic_state = cv::kPanicRun;
    EXPECT_EQ(l.Words(), QStringList({"the", "Apple", "cat", "bee", "apple"}));
}

TEST(BaseListSort, FindPositionInAnAlphabeticalList)
{
    TWordTestList l;
    Fill(l);
    l.EnsureAlphabeticalAscendingSort();
    EXPECT_EQ(l.Find_PosWordStr(QStringLiteral("bat")), 2);
    EXPECT_EQ(l.Find_PosWordStr(QStringLiteral("zebra")), 5);
    EXPECT_EQ(l.Find_WordStr(QStringLiteral("CAT"), false), 3);
    EXPECT_EQ(l.Find_WordStr(QStringLiteral("CAT"), true), -1);
    EXPECT_EQ(l.Find_Word(u"the"), 4);
}

TEST(BaseListCells, RowDetailsAndCloudData)
{
    TWordTestList l;
    Fill(l);
    EXPECT_EQ(l.EntryDetailsAsString(2), QStringLiteral("3\tcat\t7"));
    const int setCol = l.AddSetColumn(QStringLiteral("Set"));
    l.SetACategoryString(2, l.SetNumberOfColumn(setCol), QStringLiteral("noun"), false);
    EXPECT_EQ(l.EntryDetailsAsString(2), QStringLiteral("3\tcat\t7\tnoun"));

    cv::TWordFreqAndSourceNum d;
    l.GetOneCloudDatum(0, d);
    EXPECT_EQ(d.word, QStringLiteral("the"));
    EXPECT_EQ(d.frequency, 50);
    EXPECT_EQ(d.number, 1);
    l.SetCloudReadPosition(4);
    l.GetNextCloudDatum(d);
    EXPECT_EQ(d.number, 5);
    l.GetNextCloudDatum(d);
    EXPECT_EQ(d.frequency, 0) << "past the end the datum is empty";
    EXPECT_TRUE(d.word.isEmpty());
}

TEST(BaseListEdits, DeleteZapUndoRedoRestoresEntriesWhereTheyWere)
{
    TWordTestList l;
    Fill(l);
    l.DeleteARange({1, 3}, true, true);
    EXPECT_TRUE(l.GetDeleted(1));
    EXPECT_EQ(l.Zap(true), 2);
    EXPECT_EQ(l.Words(), QStringList({"the", "cat", "apple"}));
    EXPECT_NE(l.ChangeMark(), 0);
    ASSERT_TRUE(l.Undo()); // the zap
    EXPECT_EQ(l.Words(), QStringList({"the", "Apple", "cat", "bee", "apple"}));
    ASSERT_TRUE(l.Undo()); // the deletions
    EXPECT_FALSE(l.GetDeleted(1));
    EXPECT_FALSE(l.GetDeleted(3));
    ASSERT_TRUE(l.Redo());
    ASSERT_TRUE(l.Redo());
    EXPECT_EQ(l.Words(), QStringList({"the", "cat", "apple"}));
    EXPECT_FALSE(l.Redo());
}

TEST(BaseListEdits, UndoHandlerHearsEveryStep)
{
    TWordTestList l;
    Fill(l);
    int undoCount = -1, redoCount = -1;
    l.SetUndoHandler([&](const QString&, bool redo, int count) { (redo ? redoCount : undoCount) = count; });
    l.SetMarcacao(0, 1, true);
    l.SetMarcacao(1, 2, true);
    EXPECT_EQ(undoCount, 2);
    EXPECT_EQ(l.MarkCount(), 2);
    l.Undo();
    EXPECT_EQ(undoCount, 1);
    EXPECT_EQ(redoCount, 1);
    l.ClearMarcacao(true);
    EXPECT_EQ(l.MarkCount(), 0);
    EXPECT_EQ(redoCount, 0) << "a new edit drops what could be redone";
}

TEST(BaseListEdits, JoinUnjoinAndUndoKeepEveryEntry)
{
    TWordTestList l;
    Fill(l); // the Apple cat bee apple
    ASSERT_EQ(l.JoinARange({4, 1, 2}, true), 2);
    EXPECT_EQ(l.Words(), QStringList({"the", "bee", "apple"}));
    EXPECT_EQ(l.W(2).JoinedCount(), 2);
    EXPECT_EQ(l.W(2).JoinedEntry(0)->JoinedTo(), &l.W(2));

    // Joining a head moves its forms along: nothing is nested deeper than one level.
    ASSERT_TRUE(l.Join(0, 2, true));
    EXPECT_EQ(l.Words(), QStringList({"the", "bee"}));
    EXPECT_EQ(l.W(0).JoinedCount(), 3);
    ASSERT_TRUE(l.Undo());
    EXPECT_EQ(l.Words(), QStringList({"the", "bee", "apple"}));
    EXPECT_EQ(l.W(2).JoinedCount(), 2);
    ASSERT_TRUE(l.Undo());
    EXPECT_EQ(l.Words(), QStringList({"the", "Apple", "cat", "bee", "apple"}));
    EXPECT_EQ(l.W(4).JoinedCount(), 0);

    l.JoinARange({0, 3}, false);
    EXPECT_EQ(l.UnJoin(0, true), 1);
    EXPECT_EQ(l.Words(), QStringList({"the", "bee", "Apple", "cat", "apple"}));
    l.Undo();
    EXPECT_EQ(l.Words(), QStringList({"the", "Apple", "cat", "apple"}));
    EXPECT_EQ(l.UnJoinAll(false), 1);
    EXPECT_EQ(l.Count(), 5);
}

TEST(BaseListEdits, CategoriesAndTypedWordsUndo)
{
    TWordTestList l;
    Fill(l);
    const int col = l.AddSetColumn(QStringLiteral("Set 1"));
    const int set = l.SetNumberOfColumn(col);
    l.SetACategoryAndColour(1, set, QStringLiteral("fruit"), 0xFF00FF00, true);
    l.SetSomeWordAsString(1, 1, QStringLiteral("pear"), true);
    EXPECT_EQ(l.GetSomeWordAsString(1, col), QStringLiteral("fruit"));
    EXPECT_EQ(l.W(1).word, QStringLiteral("pear"));
    l.Undo();
    EXPECT_EQ(l.W(1).word, QStringLiteral("Apple"));
    l.ClearCategories(set, true);
    EXPECT_TRUE(l.W(1).Category(set).isEmpty());
    l.Undo();
    EXPECT_EQ(l.W(1).Category(set), QStringLiteral("fruit"));
}

TEST(BaseListStream, RoundTripKeepsEntriesStateAndSettings)
{
    TWordTestList l;
    Fill(l);
    l.AddSetColumn(QStringLiteral("Set"));
    l.SetACategoryAndColour(0, 1, QStringLiteral("det"), 0xFF112233, false);
    l.SetDeleted(2, true, false);
    l.SetMarcacao(3, 2, false);
    l.SetMatchMark(1, 1, false);
    l.JoinARange({4, 1}, false);
    l.Set1Sort(0, 2);
    l.SetSortAscending(0, false);
    l.SetLocale(0x0407, QStringLiteral("de_DE"));
    l.SetColumnKind(5);
    const auto bytes = Saved(l);

    TWordTestList r;
    cv::TMemoryStream m(bytes);
    ASSERT_TRUE(r.ReadFromStream(m));
    EXPECT_EQ(m.Remaining(), 0);
    EXPECT_EQ(r.Words(), l.Words());
    EXPECT_EQ(r.W(0).Category(1), QStringLiteral("det"));
    EXPECT_TRUE(r.W(1).Deleted());
    EXPECT_EQ(r.W(2).Mark(), 2);
    EXPECT_EQ(r.W(3).JoinedCount(), 1);
    EXPECT_EQ(r.W(3).JoinedEntry(0)->MatchMark(), 1);
    EXPECT_EQ(r.SortLevel(0).key, 2);
    EXPECT_FALSE(r.SortLevel(0).ascending);
    EXPECT_EQ(r.CollationName(), QStringLiteral("de_DE"));
    EXPECT_EQ(r.ColumnKind(), 5);
    EXPECT_EQ(r.LeastValue(), 1);
    EXPECT_EQ(r.GreatestValue(), 50);
    EXPECT_EQ(Saved(r), bytes) << "save, read, save gives the same bytes";
}

TEST(BaseListStream, EveryTruncationIsRefused)
{
    TWordTestList l;
    Fill(l);
    l.JoinARange({0, 1}, false);
    l.AddSetColumn(QStringLiteral("Set"));
    l.SetACategoryString(0, 1, QStringLiteral("x"), false);
    const auto bytes = Saved(l);
    for (size_t n = 0; n < bytes.size(); ++n) {
        TWordTestList r;
        cv::TMemoryStream m(std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)));
        EXPECT_FALSE(r.ReadFromStream(m)) << "cut at " << n;
    }
}

TEST(BaseListStream, MergeClonesEntriesWithTheirState)
{
    TWordTestList a, b;
    a.AddWord(QStringLiteral("one"), 1);
    b.AddWord(QStringLiteral("two"), 2);
    b.AddWord(QStringLiteral("three"), 3);
    b.JoinARange({0, 1}, false);
    ASSERT_TRUE(a.MergeWith(b));
    EXPECT_EQ(a.Words(), QStringList({"one", "two"}));
    EXPECT_EQ(a.W(1).JoinedCount(), 1);
    EXPECT_EQ(a.W(1).Owner(), &a);
    EXPECT_EQ(b.Count(), 1) << "the other list keeps its entries";
    EXPECT_FALSE(a.MergeWith(a));
}

TEST(BaseListTotals, NumericColumnsSummedOverEntriesNotDeletedAndKeptUpToDate)
{
    cvtest::TWordTestList l;
    l.AddWord(QStringLiteral("the"), 12);
    l.AddWord(QStringLiteral("cat"), 3);
    l.AddWord(QStringLiteral("sat"), 5);
    EXPECT_EQ(l.TotalsRowCount(), 0);
    cv::TDrawgridDataRec rec;
    l.TotalsCell(2, rec);
    EXPECT_TRUE(rec.text.isEmpty()) << "no totals until asked";

    l.ShowColumnTotals();
    EXPECT_EQ(l.TotalsRowCount(), 1);
    EXPECT_TRUE(l.ColumnTotalsComputed());
    l.TotalsCell(2, rec);
    EXPECT_TRUE(rec.isNumber);
    EXPECT_EQ(rec.value, 20);
    EXPECT_EQ(rec.text, QStringLiteral("20"));
    // The row number is not summed; the word column counts the entries.
    l.TotalsCell(0, rec);
    EXPECT_FALSE(rec.isNumber);
    l.TotalsCell(1, rec);
    EXPECT_EQ(rec.text, QStringLiteral("Total: 3"));

    // A deleted entry leaves the sums; a change of the list is followed.
    l.SetDeleted(1, true, false);
    l.InvalidateColumnTotals();
    l.TotalsCell(2, rec);
    EXPECT_EQ(rec.value, 17);
    l.AddWord(QStringLiteral("mat"), 1);
    l.InvalidateColumnTotals();
    l.TotalsCell(1, rec);
    EXPECT_EQ(rec.text, QStringLiteral("Total: 3"));
    l.TotalsCell(2, rec);
    EXPECT_EQ(rec.value, 18);

    l.HideColumnTotals();
    EXPECT_EQ(l.TotalsRowCount(), 0);
    EXPECT_FALSE(l.ColumnTotalsComputed());
}
