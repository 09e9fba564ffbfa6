#include "gui/cv_grid.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QColor>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QTableView>

#include <memory>

#include "model/model_testutil.h"
#include "suite/cv_globals.h"

namespace {

using NumberList = cvtest::TWordTestList;

void Press(QWidget* w, int key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
}

struct GridFixture : ::testing::Test {
    NumberList list;
    cv::TCV_Base_Grid grid;

    void SetUp() override
    {
        list.AddWord(QStringLiteral("nine"), 9);
        list.AddWord(QStringLiteral("hundred"), 100);
        list.AddWord(QStringLiteral("ten"), 10);
        grid.resize(400, 300);
        grid.SetList(&list, 0);
    }
    std::vector<int> EntriesShown() const
    {
        std::vector<int> e;
        for (int r = 1; r < grid.RowCount(); ++r)
            e.push_back(grid.EntryOfGridRow(r));
        return e;
    }
    void ClickHeader(int column) { emit grid.View()->horizontalHeader()->sectionClicked(column); }
};

TEST_F(GridFixture, CellsComeFromTheListWithRawValuesBehindThem)
{
    EXPECT_EQ(grid.RowCount(), 4);
    EXPECT_EQ(grid.ColCount(), 3);
    EXPECT_EQ(grid.Cells(1, 0), QStringLiteral("Word"));
    EXPECT_EQ(grid.Cells(1, 2), QStringLiteral("hundred"));
    EXPECT_EQ(grid.Cells(0, 3), QStringLiteral("3"));
    const QModelIndex value = grid.Model()->index(1, 2);
    EXPECT_EQ(value.data(cv::kRawValueRole).toDouble(), 100.0);
    EXPECT_EQ(value.data(cv::kRawValueRole).typeId(), QMetaType::Double);
    EXPECT_EQ(grid.Model()->index(1, 1).data(cv::kRawValueRole).toString(), QStringLiteral("hundred"));
    EXPECT_EQ(int(value.data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight), int(Qt::AlignRight));
}

TEST_F(GridFixture, HeaderClickSortsNumbersAsNumbersAndTurnsRoundOnTheSecondClick)
{
    ClickHeader(2);
    EXPECT_EQ(EntriesShown(), (std::vector<int>{0, 2, 1})); // 9, 10, 100: not "10" < "100" < "9"
    ClickHeader(2);
    EXPECT_EQ(EntriesShown(), (std::vector<int>{1, 2, 0}));
    ClickHeader(1);
    EXPECT_EQ(EntriesShown(), (std::vector<int>{1, 0, 2})); // hundred, nine, ten
    // The list itself keeps its order; only the view is sorted.
    EXPECT_EQ(list[0].MainWordOnly(), QStringLiteral("nine"));
    grid.ClearViewSort();
    EXPECT_EQ(EntriesShown(), (std::vector<int>{0, 1, 2}));
}

TEST_F(GridFixture, HeaderClickGoesToTheHandlerWhenOneIsSet)
{
    int clicked = -1;
    grid.Events.OnClickHeader = [&](cv::TCV_Base_Grid*, int column) { clicked = column; };
    ClickHeader(2);
    EXPECT_EQ(clicked, 2);
    EXPECT_EQ(grid.ViewSortColumn(), -1);
}

TEST_F(GridFixture, SelectionAndFiltersMapViewRowsToListEntries)
{
    ClickHeader(2); // 9, 10, 100
    grid.SelectRows(2, 3);
    EXPECT_EQ(grid.SelectedRows(), (std::vector<int>{2, 3}));
    EXPECT_EQ(grid.SelectedEntries(), (std::vector<int>{2, 1}));
    grid.SetRowFilter([](int entry) { return entry != 2; });
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.EntryOfGridRow(5), -1);
    EXPECT_EQ(grid.EntryOfGridRow(0), -1);
}

TEST_F(GridFixture, NothingIsDrawnWhileTheListIsBusyOrTheDataHidden)
{
    list.SetListBusy(cv::kListBusy);
    EXPECT_FALSE(grid.Model()->index(0, 1).data(Qt::DisplayRole).isValid());
    list.SetListBusy(cv::kListNotBusy);
    cv::Global_Busy_Dont_Show_Data = true;
    EXPECT_FALSE(grid.Model()->index(0, 1).data(Qt::DisplayRole).isValid());
    cv::Global_Busy_Dont_Show_Data = false;
    EXPECT_EQ(grid.Cells(1, 1), QStringLiteral("nine"));
}

TEST_F(GridFixture, RefreshAfterTheListShrankCountsRowsAgain)
{
    list.Remove(0);
    // Before the refresh the row the view still counts is drawn empty, not read past the list.
    EXPECT_TRUE(grid.Model()->index(2, 1).data(Qt::DisplayRole).toString().isEmpty());
    grid.Refresh();
    EXPECT_EQ(grid.RowCount(), 3);
    EXPECT_EQ(grid.Cells(1, 1), QStringLiteral("hundred"));
}

TEST_F(GridFixture, DeletedAndMarkedEntriesAreShownSo)
{
    list.SetDeleted(1, true, false);
    list.SetMarcacao(2, 1, false);
    EXPECT_TRUE(grid.Model()->index(1, 1).data(cv::kDeletedRole).toBool());
    EXPECT_EQ(grid.Model()->index(2, 1).data(cv::kMarkRole).toInt(), 1);
    QStyleOptionViewItem option;
    option.initFrom(grid.View());
    auto* delegate = grid.View()->itemDelegate();
    // The delegate's style for a deleted row strikes the text out.
    struct Probe : cv::TCVGridDelegate {
        using TCVGridDelegate::initStyleOption;
    };
    Probe probe;
    probe.initStyleOption(&option, grid.Proxy()->index(1, 1));
    EXPECT_TRUE(option.font.strikeOut());
    EXPECT_NE(delegate, nullptr);
}

TEST_F(GridFixture, ColumnsKeepWidthsAndVisibilityAndComeBackToTheOriginal)
{
    grid.SetColWidths(1, 150);
    grid.RecordOriginalColumns();
    grid.SetColWidths(1, 40);
    grid.SetColumnVisible(2, false);
    EXPECT_EQ(grid.ColWidths(1), 40);
    EXPECT_FALSE(grid.ColumnVisible(2));
    grid.RestoreOriginalColumns();
    EXPECT_EQ(grid.ColWidths(1), 150);
    EXPECT_TRUE(grid.ColumnVisible(2));
    grid.SetColWidths(7, 10); // no such column: ignored
}

TEST_F(GridFixture, ClicksDoubleClicksKeysAndSelectionReachTheEvents)
{
    grid.show();
    QApplication::processEvents();
    int doubleRow = 0, doubleColumn = -1, selections = 0;
    grid.Events.On_DoubleClick = [&](cv::TCV_Base_Grid*, int c, int r) { doubleColumn = c, doubleRow = r; };
    grid.Events.OnSelectionChanged = [&](cv::TCV_Base_Grid*) { ++selections; };
    grid.Events.OnKeyPress = [](cv::TCV_Base_Grid*, QKeyEvent* e) { return e->key() == Qt::Key_Delete; };
    emit grid.View()->doubleClicked(grid.Proxy()->index(1, 1));
    EXPECT_EQ(doubleRow, 2);
    EXPECT_EQ(doubleColumn, 1);
    grid.SetRow(1);
    Press(grid.View(), Qt::Key_Delete); // taken by the handler
    EXPECT_EQ(grid.Row(), 1);
    Press(grid.View(), Qt::Key_Down); // left to the view
    EXPECT_EQ(grid.Row(), 2);
    EXPECT_GT(selections, 0);
}

TEST_F(GridFixture, UpdatesAreCollectedUntilTheOutermostEnd)
{
    grid.BeginUpdate();
    grid.BeginUpdate();
    list.AddWord(QStringLiteral("one"), 1);
    grid.Refresh();
    EXPECT_EQ(grid.RowCount(), 4);
    grid.EndUpdate();
    EXPECT_TRUE(grid.Updating());
    grid.EndUpdate();
    EXPECT_EQ(grid.RowCount(), 5);
}

// A million entries: the grid asks only for the cells it shows and makes
// no widget per row.
TEST(GridLargeList, AMillionRowsStayVirtual)
{
    NumberList list;
    for (int i = 0; i < 1000000; ++i)
        list.AddWord(QString(), i);
    cv::TCV_Base_Grid grid;
    int64_t cellsDrawn = 0;
    grid.SetCellTweak([&](int, int, cv::TDrawgridDataRec&) { ++cellsDrawn; });
    grid.resize(500, 400);
    grid.SetList(&list, 0);
    grid.show();
    QApplication::processEvents();
    EXPECT_EQ(grid.RowCount(), 1000001);
    EXPECT_LT(cellsDrawn, 2000);
    EXPECT_LT(grid.findChildren<QWidget*>().size(), 40);
    grid.SetTopRow(900000);
    QApplication::processEvents();
    EXPECT_EQ(grid.TopRow(), 900000);
    EXPECT_EQ(grid.Cells(2, 900000), QStringLiteral("899999"));
    EXPECT_LT(cellsDrawn, 4000);
}

// A grid that showed a list of many rows and then one of few (clusters
// replaced by the index's own list, a result closed) lets go of the room
// its rows' header kept for the many (Qt keeps a list's room when it is
// emptied): a new header, with the old one's settings.
TEST(GridLargeList, AfterAListOfManyRowsTheRowsHeaderGivesItsRoomBack)
{
    NumberList many;
    for (int i = 0; i < 300000; ++i)
        many.AddWord(QString(), i);
    NumberList few;
    few.AddWord(QStringLiteral("one"), 1);
    cv::TCV_Base_Grid grid;
    grid.resize(500, 400);
    grid.SetRowResizeMode(QHeaderView::Interactive);
    grid.SetDefaultRowHeight(31);
    grid.SetList(&many, 0);
    const QHeaderView* before = grid.View()->verticalHeader();
    EXPECT_EQ(before->count(), 300000);
    grid.SetList(&few, 0);
    const QHeaderView* after = grid.View()->verticalHeader();
    EXPECT_NE(after, before) << "the header that kept room for 300,000 rows is gone";
    EXPECT_EQ(after->count(), 1);
    EXPECT_TRUE(after->isHidden());
    EXPECT_EQ(after->defaultSectionSize(), 31);
    EXPECT_EQ(after->sectionResizeMode(0), QHeaderView::Interactive);
    // Rows of a size alike keep their header.
    grid.SetList(&many, 0);
    const QHeaderView* kept = grid.View()->verticalHeader();
    NumberList most;
    for (int i = 0; i < 200000; ++i)
        most.AddWord(QString(), i);
    grid.SetList(&most, 0);
    EXPECT_EQ(grid.View()->verticalHeader(), kept);
    EXPECT_EQ(grid.RowCount(), 200001);
}

TEST_F(GridFixture, SearchWordsAreDrawnInTheirColumnOnly)
{
    grid.SetDrawForGridSearchDisplay(1, {QStringLiteral("HUN*"), QStringLiteral("ten")});
    const auto drawn = [&](int row, int column) {
        return grid.Model()->index(row, column).data(Qt::BackgroundRole).value<QColor>().isValid();
    };
    EXPECT_FALSE(drawn(0, 1)); // nine
    EXPECT_TRUE(drawn(1, 1));  // hundred: not case-sensitive, * for the rest
    EXPECT_TRUE(drawn(2, 1));  // ten
    EXPECT_FALSE(drawn(1, 2)); // another column
    grid.SetDrawForGridSearchDisplay(1, {});
    EXPECT_FALSE(drawn(1, 1));
}

TEST_F(GridFixture, ACellCutOffByItsColumnHintsItsTextAndWarnsOnce)
{
    grid.show();
    int warned = 0;
    grid.Events.OnDataPartlyObscured = [&](cv::TCV_Base_Grid*) { ++warned; };
    const QRect cell = grid.View()->visualRect(grid.Proxy()->index(1, 1)); // hundred
    // As wide as it needs: no hint.
    EXPECT_TRUE(grid.HintString(1, 2).isEmpty());
    EXPECT_FALSE(grid.ShowHintAt(cell.center(), grid.View()->viewport()->mapToGlobal(cell.center())));
    grid.SetColWidths(1, 12);
    EXPECT_TRUE(grid.CellPartlyObscured(1, 2));
    EXPECT_EQ(grid.HintString(1, 2), QStringLiteral("hundred"));
    const QRect narrow = grid.View()->visualRect(grid.Proxy()->index(1, 1));
    EXPECT_TRUE(grid.ShowHintAt(narrow.center(), grid.View()->viewport()->mapToGlobal(narrow.center())));
    EXPECT_TRUE(grid.ShowHintAt(narrow.center(), grid.View()->viewport()->mapToGlobal(narrow.center())));
    EXPECT_EQ(warned, 1);
    EXPECT_TRUE(grid.ObscuredWarned());
}

// ---- widths, the clipboard, commands the grid carries out --------------------------

TEST_F(GridFixture, ColumnsAreAsWideAsTheirHeadingsAndCells)
{
    list.SetGridHeadings({QStringLiteral("N"), QStringLiteral("Word"),
                          QStringLiteral("A heading much longer than any number below it")});
    list.AddWord(QStringLiteral("a word that is rather longer than the others"), 1);
    cv::TCV_Base_Grid fresh;
    fresh.resize(300, 200);
    fresh.SetList(&list, 0);
    const QFontMetrics header(fresh.View()->horizontalHeader()->font());
    const QFontMetrics cells(fresh.View()->font());
    EXPECT_GT(fresh.ColWidths(2), header.horizontalAdvance(list.Heading(2)));
    EXPECT_GT(fresh.ColWidths(1), cells.horizontalAdvance(list.W(3).word));
    // "Default column widths" brings them back after the user narrowed them.
    cv::TCV_Grid page;
    page.SetList(&list, 0);
    const int fitted = page.ColWidths(2);
    page.SetColWidths(2, 10);
    EXPECT_TRUE(page.HandleGridCommand(cv::TMenuCommand::DefaultColumnWidths));
    EXPECT_EQ(page.ColWidths(2), fitted);
}

// The row numbers of a long list grow past those of its first rows: the
// number column is wide enough for the last row's number as well.
TEST(GridLongList, TheNumberColumnShowsTheLastRowsNumberWhole)
{
    NumberList list;
    for (int i = 0; i < 40000; ++i)
        list.AddWord(QStringLiteral("w"), i);
    cv::TCV_Base_Grid grid;
    grid.resize(500, 300);
    grid.SetList(&list, 0);
    const QString last = grid.Cells(0, grid.RowCount() - 1);
    ASSERT_GE(last.size(), 5);
    EXPECT_GT(grid.ColWidths(0), QFontMetrics(grid.View()->font()).horizontalAdvance(last)) << last.toStdString();
    EXPECT_FALSE(grid.CellPartlyObscured(0, grid.RowCount() - 1));
}

struct CopyCase {
    const char* name;
    bool text, picture, heading, numbers;
    int maxChars;
    const char* expected; // null: no text
};

class GridCopy : public GridFixture, public ::testing::WithParamInterface<CopyCase> {};

TEST_P(GridCopy, TheSelectedRowsGoAsTheSettingsSay)
{
    const CopyCase& c = GetParam();
    grid.show();
    grid.SelectRows(1, 2);
    cv::TCVClipboardSettings settings;
    settings.SetEditableText(c.text);
    settings.SetPictureOfSelection(c.picture);
    settings.SetHeadingRow(c.heading);
    settings.SetNumberColumn(c.numbers);
    const std::unique_ptr<QMimeData> data = grid.SelectionMimeData(settings, c.maxChars);
    if (!c.text && !c.picture) {
        EXPECT_EQ(data, nullptr);
        return;
    }
    ASSERT_NE(data, nullptr);
    if (c.expected)
        EXPECT_EQ(data->text(), QString::fromUtf8(c.expected));
    else
        EXPECT_FALSE(data->hasText());
    EXPECT_EQ(data->hasImage(), c.picture);
    if (c.picture)
        EXPECT_FALSE(qvariant_cast<QImage>(data->imageData()).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, GridCopy,
    ::testing::Values(CopyCase{"all", true, false, true, true, 0, "N\tWord\tFreq.\n1\tnine\t9\n2\thundred\t100\n"},
                      CopyCase{"noNumbers", true, false, true, false, 0, "Word\tFreq.\nnine\t9\nhundred\t100\n"},
                      CopyCase{"noHeading", true, false, false, false, 0, "nine\t9\nhundred\t100\n"},
                      CopyCase{"cut", true, false, false, false, 3, "nin\t9\nhun\t100\n"},
                      CopyCase{"pictureToo", true, true, false, false, 0, "nine\t9\nhundred\t100\n"},
                      CopyCase{"pictureOnly", false, true, false, false, 0, nullptr},
                      CopyCase{"nothing", false, false, false, false, 0, nullptr}),
    [](const ::testing::TestParamInfo<CopyCase>& i) { return std::string(i.param.name); });

TEST_F(GridFixture, EditDataAsksThroughTheWindowAndPutsTheValueIntoTheList)
{
    cv::TCV_Grid page;
    page.SetList(&list, 0);
    page.View()->setCurrentIndex(page.Proxy()->index(1, 1)); // "hundred"
    // No window to ask: the command is not carried out.
    EXPECT_FALSE(page.HandleGridCommand(cv::TMenuCommand::EditData));
    QString asked;
    page.HandlersA.InputForGrid = [&](cv::TCV_Grid*, const QString& prompt, QString& value) {
        asked = prompt + QLatin1Char('=') + value;
        value = QStringLiteral("hundreds");
        return true;
    };
    EXPECT_TRUE(page.HandleGridCommand(cv::TMenuCommand::EditData));
    EXPECT_EQ(asked, QStringLiteral("Word=hundred"));
    EXPECT_EQ(list.W(1).word, QStringLiteral("hundreds"));
    // Undoable, as every edit is.
    EXPECT_TRUE(list.Undo());
    EXPECT_EQ(list.W(1).word, QStringLiteral("hundred"));
}

} // namespace

TEST(GridWithoutColumns, RefreshingAListWithNoColumnsDoesNotTouchTheHeadings)
{
    // A page whose list has no headings yet (an empty relationships page, say)
    // is refreshed like any other; the header must not be told of sections that don't exist.
    NumberList list;
    list.SetGridHeadings(QStringList{});
    cv::TCV_Base_Grid grid;
    grid.SetList(&list, 0);
    grid.Refresh();
    grid.Refresh();
    EXPECT_EQ(grid.Model()->columnCount(), 0);
}
