#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QTableView>

#include "grid_dialogs_testutil.h"
#include "support/le_bytes.h"
#include "ui/framework/grid_dialogs/grid_columns.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;
using griddialogs_test::WordTable;

namespace {

TGrid_head32 Sample()
{
    TGrid_head32 h;
    h.SetAlignment(kAlignRight);
    h.SetFontStyle(kStyleBold | kStyleStrikeout);
    h.SetThreshold(1.5f);
    h.SetDecimals(3);
    h.SetBackground(0xFF112233u);
    h.SetCaseChangeable(1);
    h.SetComputed(true);
    h.SetNumeric(1);
    h.SetVisible(true);
    h.SetOwnNumber(7);
    h.SetWidth(-2);
    h.SetLetterCase(kCaseLower);
    h.SetDataColumn(-1);
    h.SetSetColumn(1);
    h.Heading = QStringLiteral("Heading");
    h.Formula = QStringLiteral("1 + 2");
    return h;
}

} // namespace

TEST(GridHeaders, FieldsLieAtTheirOffsets)
{
    const TGrid_head32 h = Sample();
    const auto bytes = h.Bytes();
    EXPECT_EQ(bytes.size(), 204u);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 0), kAlignRight);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 1), kStyleBold | kStyleStrikeout);
    EXPECT_EQ(cvtest::LEAt<float>(bytes, 4), 1.5f);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 8), 3);
    EXPECT_EQ(cvtest::LEAt<uint32_t>(bytes, 16), 0xFF112233u);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 20), 1);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 21), 1);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 22), 1);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 23), 1);
    EXPECT_EQ(cvtest::LEAt<int16_t>(bytes, 24), 7);
    EXPECT_EQ(cvtest::LEAt<int16_t>(bytes, 26), -2);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 28), kCaseLower);
    EXPECT_EQ(cvtest::LEAt<int32_t>(bytes, 32), -1);
    EXPECT_EQ(cvtest::LEAt<uint8_t>(bytes, 120), 1);
}

TEST(GridHeaders, DifferWhenCountBytesOrTextsDiffer)
{
    const TGrid_header_array a{Sample(), Sample()};
    TGrid_header_array b = a;
    EXPECT_FALSE(HeadersDiffer(a, b));
    b.pop_back();
    EXPECT_TRUE(HeadersDiffer(a, b));
    b = a;
    b[1].SetDecimals(4);
    EXPECT_TRUE(HeadersDiffer(a, b));
    b = a;
    b[0].Heading = QStringLiteral("other");
    EXPECT_TRUE(HeadersDiffer(a, b));
}

TEST_F(GridDialogsTest, LayoutFilesReadBackAndDamagedOnesAreRefusedWithTheirName)
{
    const QString name = CustomisedLayoutFileName(kListWordList);
    EXPECT_TRUE(name.startsWith(userDir.path()));
    EXPECT_TRUE(name.endsWith(QStringLiteral(" customised.dat")));
    const TGrid_header_array headers{Sample(), TGrid_head32{}};
    QString error;
    ASSERT_TRUE(SaveHeaderArray(name, kListWordList, headers, &error)) << error.toStdString();
    uint8_t listType = 99;
    TGrid_header_array read;
    ASSERT_TRUE(LoadHeaderArray(name, listType, read, &error)) << error.toStdString();
    EXPECT_EQ(listType, kListWordList);
    EXPECT_FALSE(HeadersDiffer(headers, read));

    const QByteArray whole = cvtest::readAll(name);
    const QString cut = userDir.write(QStringLiteral("cut.dat"), whole.left(whole.size() - 3));
    EXPECT_FALSE(LoadHeaderArray(cut, listType, read, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("cut.dat")));
    const QString alien = userDir.write(QStringLiteral("alien.dat"), QByteArray("not a layout at all"));
    EXPECT_FALSE(LoadHeaderArray(alien, listType, read, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("alien.dat")));
    // A count that cannot fit the file is refused before anything is made of it.
    QByteArray huge = whole.left(13);
    huge += QByteArray("\xff\xff\xff\x7f", 4);
    EXPECT_FALSE(LoadHeaderArray(userDir.write(QStringLiteral("huge.dat"), huge), listType, read, &error));
}

TEST_F(GridDialogsTest, ComputedColumnsFollowTheListsColumns)
{
    TCV_Grid& g = ShowTable();
    TGridColumnLayout& layout = ColumnLayoutOf(g);
    EXPECT_EQ(&layout, &ColumnLayoutOf(g));
    ASSERT_EQ(g.ColCount(), 4);
    QString error;
    ASSERT_TRUE(layout.AddComputedColumn(QStringLiteral("col(\"Freq.\") * 2 + col(\"Ratio\")"), &error))
        << error.toStdString();
    ASSERT_EQ(g.ColCount(), 5);
    EXPECT_EQ(g.Cells(4, 0), QStringLiteral("col(\"Freq.\") * 2 + col(\"Ratio\")"));
    EXPECT_EQ(g.Cells(4, 1), QStringLiteral("100.50"));
    EXPECT_EQ(g.Cells(4, 5), QStringLiteral("12.50"));
    // A second column may name the first by its number.
    ASSERT_TRUE(layout.AddComputedColumn(QStringLiteral("col(\"#1\") / col(\"Ratio\")"), &error)) << error.toStdString();
    EXPECT_EQ(g.Cells(5, 1), QStringLiteral("201.00"));
    EXPECT_EQ(g.Cells(5, 4), QString()); // ratio 0: undefined, shown empty
    EXPECT_FALSE(layout.AddComputedColumn(QStringLiteral("col(\"Nothing\")"), &error));
    EXPECT_EQ(g.ColCount(), 6);

    // Values follow changes of the list once the grid is refreshed.
    table->AddRow(QStringLiteral("hat"), 1, 1);
    g.Refresh();
    EXPECT_EQ(g.Cells(4, 6), QStringLiteral("3.00"));
    // Running totals too.
    ASSERT_TRUE(layout.AddComputedColumn(QStringLiteral("colC(\"Freq.\")"), &error));
    EXPECT_EQ(g.Cells(6, 6), QStringLiteral("101.00"));
    table->At(0);
    static_cast<griddialogs_test::WordEntry&>((*table)[5]).freq = 11;
    g.Refresh();
    EXPECT_EQ(g.Cells(6, 6), QStringLiteral("111.00"));

    EXPECT_TRUE(layout.DeleteComputedColumn(1));
    EXPECT_EQ(g.ColCount(), 6);
    // The column that named the deleted one has nothing left to compute.
    EXPECT_EQ(g.Cells(4, 1), QString());
    EXPECT_FALSE(layout.DeleteComputedColumn(1));
}

TEST_F(GridDialogsTest, HeadersShapeTheCellsOfTheirColumns)
{
    TCV_Grid& g = ShowTable();
    TGridColumnLayout& layout = ColumnLayoutOf(g);
    TGrid_header_array h = layout.Headers();
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h[1].Numeric(), 0);
    EXPECT_EQ(h[1].CaseChangeable(), 1);
    EXPECT_EQ(h[3].Numeric(), 1);
    EXPECT_EQ(h[3].Alignment(), kAlignRight);
    h[1].SetLetterCase(kCaseTitle);
    h[1].SetBackground(0xFF00FF00u);
    h[1].SetFontStyle(kStyleItalics);
    h[1].SetAlignment(kAlignCentre);
    h[3].SetDecimals(3);
    h[3].SetThreshold(0.2f);
    h[2].Heading = QStringLiteral("Count");
    layout.SetHeaders(h);
    EXPECT_EQ(g.Cells(1, 4), QStringLiteral("On"));
    EXPECT_EQ(g.Cells(3, 1), QStringLiteral("0.500"));
    EXPECT_EQ(g.Cells(3, 3), QString()); // 0.125 is under the threshold
    EXPECT_EQ(g.Cells(2, 0), QStringLiteral("Count"));
    const QModelIndex word = g.View()->model()->index(0, 1);
    EXPECT_EQ(word.data(Qt::BackgroundRole).value<QColor>(), QColor(0, 255, 0));
    EXPECT_TRUE(word.data(Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(word.data(Qt::TextAlignmentRole).toInt() & Qt::AlignHorizontal_Mask, int(Qt::AlignHCenter));
    // Counts keep their form whatever the decimals.
    h[2].SetDecimals(4);
    layout.SetHeaders(h);
    EXPECT_EQ(g.Cells(2, 1), QStringLiteral("50"));
}

TEST_F(GridDialogsTest, OrderVisibilityAndWidthsGoOnTheView)
{
    TCV_Grid& g = ShowTable();
    TGridColumnLayout& layout = ColumnLayoutOf(g);
    TGrid_header_array h = layout.Headers();
    std::swap(h[1], h[3]);
    h[2].SetVisible(false);
    h[1].SetWidth(123);
    layout.SetHeaders(h);
    QHeaderView* header = g.View()->horizontalHeader();
    EXPECT_EQ(header->visualIndex(3), 1);
    EXPECT_EQ(header->visualIndex(1), 3);
    EXPECT_FALSE(g.ColumnVisible(2));
    EXPECT_EQ(g.ColWidths(3), 123);
    // The view forgets them when the list is shown afresh; the layout puts them back.
    table->AddRow(QStringLiteral("new"), 1, 1);
    g.Refresh();
    EXPECT_FALSE(g.ColumnVisible(2));
    EXPECT_EQ(header->visualIndex(3), 1);
    // Headers read back in the order shown.
    const TGrid_header_array again = layout.Headers();
    EXPECT_EQ(again[1].DataColumn(), 3);
    EXPECT_FALSE(again[2].Visible());
}

TEST_F(GridDialogsTest, ACustomisedLayoutComesBackForTheNextListOfItsType)
{
    TCV_Grid& g = ShowTable();
    TGridColumnLayout& layout = ColumnLayoutOf(g);
    QString error;
    ASSERT_TRUE(layout.AddComputedColumn(QStringLiteral("col(\"Freq.\") + 1"), &error));
    TGrid_header_array h = layout.Headers();
    h[3].SetVisible(false);
    layout.SetHeaders(h);
    ASSERT_TRUE(layout.SaveAsCustomised(&error)) << error.toStdString();
    EXPECT_TRUE(QFile::exists(CustomisedLayoutFileName(kListWordList)));

    WordTable other;
    other.AddRow(QStringLiteral("dog"), 3, 1);
    TCV_Grid second;
    ColumnLayoutOf(second);
    second.MatchGridToListType(kListWordList, 7, &other);
    ASSERT_EQ(second.ColCount(), 5);
    EXPECT_EQ(second.Cells(4, 1), QStringLiteral("4.00"));
    EXPECT_FALSE(second.ColumnVisible(3));
    // A list of another type keeps its own columns.
    griddialogs_test::WordTable stats(kListStatistics);
    TCV_Grid third;
    ColumnLayoutOf(third);
    third.MatchGridToListType(kListStatistics, 8, &stats);
    EXPECT_EQ(third.ColCount(), 4);
    second.SetList(nullptr, 0);
}

TEST_F(GridDialogsTest, ASetColumnAddedToTheListGetsItsHeader)
{
    TCV_Grid& g = ShowTable();
    TGridColumnLayout& layout = ColumnLayoutOf(g);
    QString error;
    ASSERT_TRUE(layout.AddComputedColumn(QStringLiteral("2"), &error));
    const int column = table->AddSetColumn(QStringLiteral("Set"));
    g.Refresh();
    const TGrid_header_array h = layout.Headers();
    ASSERT_EQ(h.size(), 6u);
    const auto set = std::find_if(h.begin(), h.end(), [](const TGrid_head32& x) { return x.SetColumn() == 1; });
    ASSERT_NE(set, h.end());
    EXPECT_EQ(set->DataColumn(), column);
    EXPECT_EQ(set->OwnNumber(), 1);
    // The computed column moved behind the new one and still computes.
    EXPECT_EQ(layout.GridColumnOf(h[4]), 5);
    EXPECT_EQ(g.Cells(5, 1), QStringLiteral("2.00"));
}
