#include <gtest/gtest.h>

#include <QMouseEvent>

#include "crashreport/dialogs/list_view_items.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

using Cells = std::vector<std::string>;

class ListViewItemsTest : public ::testing::Test {
protected:
    ListViewItemsTest() : items(measurer, QFont())
    {
        for (int c = 0; c < 2; ++c)
            items.SetColumn(c, QStringLiteral("C%1").arg(c), c == 1 ? TListColumnAlign::Right : TListColumnAlign::Left);
    }
    void Group(const std::string& header, intptr_t kind = 0) { items.AddRow({"", ""}, -1, kind, true, header); }
    void Row(const std::string& text) { items.AddRow({text, "1"}, 0, 0, false, {}); }
    void Separator() { items.AddRow({" ", ""}, -1, 0, false, {}); }
    // The first cells of the shown rows (group rows by their header).
    QStringList Shown() const
    {
        QStringList shown;
        for (int i = 0; i < items.ShownCount(); ++i) {
            const TListViewItemRec* r = items.Shown(i);
            shown << QString::fromStdString(r->IsParent ? "+" + r->Header : r->Empty ? "-" : r->Cols[0]);
        }
        return shown;
    }

    cvtest::FixedMeasurer measurer;
    TListViewItems items;
};

TEST_F(ListViewItemsTest, EachRowsParentIsTheRowBeforeItSinceTheLastSeparator)
{
    Group("G");
    Row("a");
    Row("b");
    Separator();
    Row("c");
    ASSERT_EQ(items.Count(), 5);
    EXPECT_EQ(items.Item(0).Parent, nullptr);
    EXPECT_EQ(items.Item(1).Parent, &items.Item(0));
    EXPECT_EQ(items.Item(2).Parent, &items.Item(1));
    EXPECT_EQ(items.Item(3).Parent, &items.Item(2));
    EXPECT_TRUE(items.Item(3).Empty);
    EXPECT_EQ(items.Item(4).Parent, nullptr);
}

TEST_F(ListViewItemsTest, RowsBelowTwoGroupsAreIndentedByBlanksOfAtLeast14Pixels)
{
    Group("outer");
    Row("a");
    Group("inner");
    Row("b");
    EXPECT_EQ(items.Step(), 18); // three blanks of 6 pixels
    EXPECT_EQ(items.Spaces(), "   ");
    EXPECT_EQ(items.Item(1).WidthStep, 0);
    EXPECT_EQ(items.Item(1).Cols[0], "a");
    EXPECT_EQ(items.Item(3).WidthStep, 1);
    EXPECT_EQ(items.Item(3).Cols[0], "   b");
    Separator();
    Row("c");
    EXPECT_EQ(items.Level(), 0);
    EXPECT_EQ(items.Item(5).Cols[0], "c");
}

TEST_F(ListViewItemsTest, BlankTextsMakeASeparatorAndNoTextsAreNotShown)
{
    items.AddRow({"  ", "\t"}, 0, 0, false, {});
    EXPECT_TRUE(items.Item(0).Empty);
    items.AddRow({}, 0, 0, false, {});
    EXPECT_EQ(items.Count(), 2);
    EXPECT_EQ(items.ShownCount(), 1);
    items.AddRow({"", ""}, -1, 0, true, "G");
    EXPECT_FALSE(items.Item(2).Empty); // a group row is never a separator
}

TEST_F(ListViewItemsTest, FoldingRemovesTheGroupsRowsUpToTheSeparatorAndUnfoldingPutsThemBack)
{
    Group("A");
    Row("a1");
    Group("B");
    Row("b1");
    Separator();
    Row("z");
    const QStringList all{"+A", "a1", "+B", "   b1", "-", "z"};
    ASSERT_EQ(Shown(), all);

    items.ClickOnItem(2, {}, false); // fold B
    EXPECT_EQ(Shown(), (QStringList{"+A", "a1", "+B", "-", "z"}));
    items.ClickOnItem(0, {}, false); // fold A
    EXPECT_EQ(Shown(), (QStringList{"+A", "-", "z"}));
    // Unfolding A stops after the folded B.
    items.ClickOnItem(0, {}, false);
    EXPECT_EQ(Shown(), (QStringList{"+A", "a1", "+B", "-", "z"}));
    items.ClickOnItem(2, {}, false);
    EXPECT_EQ(Shown(), all);
    EXPECT_EQ(items.rowCount(), 6);
}

TEST_F(ListViewItemsTest, AMouseClickMustHitTheBox)
{
    Group("A");
    Row("a1");
    Group("B"); // its parent is a1: the box lies one step in
    Row("b1");
    items.ClickOnItem(0, QPoint(20, 5), true);
    EXPECT_TRUE(items.Item(0).Expanded);
    items.ClickOnItem(0, QPoint(7, 13), true);
    EXPECT_TRUE(items.Item(0).Expanded);
    items.ClickOnItem(2, QPoint(7, 7), true);
    EXPECT_TRUE(items.Item(2).Expanded);
    items.ClickOnItem(2, QPoint(18 + 12, 12), true);
    EXPECT_FALSE(items.Item(2).Expanded);
    items.ClickOnItem(0, QPoint(2, 2), true);
    EXPECT_FALSE(items.Item(0).Expanded);
    // Unfolding A again stops at the folded B; a plain row never reacts.
    items.ClickOnItem(0, QPoint(2, 2), true);
    items.ClickOnItem(1, QPoint(2, 2), false);
    EXPECT_EQ(items.ShownCount(), 3);
}

TEST_F(ListViewItemsTest, TheModelShowsCellsHeadersAndColumnAlignments)
{
    Group("Thread 1");
    Row("a1");
    EXPECT_EQ(items.data(items.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("Thread 1"));
    EXPECT_EQ(items.data(items.index(1, 1), Qt::DisplayRole).toString(), QStringLiteral("1"));
    EXPECT_EQ(items.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("C1"));
    EXPECT_EQ(items.ColumnAlign(1), TListColumnAlign::Right);
    // Alignments are taken when the first row comes.
    items.SetColumn(1, QStringLiteral("C1"), TListColumnAlign::Left);
    EXPECT_EQ(items.ColumnAlign(1), TListColumnAlign::Right);
}

TEST_F(ListViewItemsTest, DeletingARowTakesItOutOfTheListAndItsChildrenForgetIt)
{
    Row("a");
    Row("b");
    items.Delete(0);
    EXPECT_EQ(items.Count(), 1);
    EXPECT_EQ(items.ShownCount(), 1);
    EXPECT_EQ(items.Item(0).Parent, nullptr);
    items.Clear();
    EXPECT_EQ(items.rowCount(), 0);
    Row("c");
    EXPECT_EQ(items.Item(0).Parent, nullptr);
}

TEST_F(ListViewItemsTest, AClickOnTheListFoldsTheGroupWhoseBoxWasHit)
{
    Group("A");
    Row("a1");
    TListViewControl list(items);
    AddListViewColumn(list, 0, 120, QStringLiteral("C0"), 0);
    list.resize(300, 200);
    cvtest::ShowAndPaint(list);
    ASSERT_TRUE(list.isFirstColumnSpanned(0, {}));
    EXPECT_FALSE(list.isFirstColumnSpanned(1, {}));
    list.OnClick = [&](int row, const QPoint& point) { items.ClickOnItem(row, point, true); };
    const QPoint box = list.RowOrigin(0) + QPoint(6, 6);
    QMouseEvent press(QEvent::MouseButtonPress, box, list.viewport()->mapToGlobal(box), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, box, list.viewport()->mapToGlobal(box), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QApplication::sendEvent(list.viewport(), &release);
    EXPECT_FALSE(items.Item(0).Expanded);
    EXPECT_EQ(items.ShownCount(), 1);
}

TEST(ListViewColours, GroupHeadersAreColouredByTheirKind)
{
    EXPECT_EQ(GroupHeaderColor(0), QColor(96, 96, 96));
    EXPECT_EQ(GroupHeaderColor(1), QColor(0, 0, 128));
    EXPECT_EQ(GroupHeaderColor(2), QColor(96, 96, 96));
    EXPECT_EQ(GroupHeaderColor(3), QColor(128, 0, 0));
}

} // namespace
} // namespace cv
