#include "grid_dialogs_testutil.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>

#include "suite/cv_globals.h"
#include "suite/text_settings.h"
#include "ui/framework/grid_dialogs/breakdown_window.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"

using namespace cv;
using namespace griddialogs_test;

namespace {

class BreakdownTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        global_panic_state = kPanicRun;
    }
    void TearDown() override
    {
        global_panic_state = kPanicRun;
        GridDialogsTest::TearDown();
    }
    // Words whose frequencies repeat, so the frequency column breaks down.
    WordTable& Rhymes()
    {
        table = std::make_unique<WordTable>();
        table->AddRow(QStringLiteral("cat"), 10, 0.1);
        table->AddRow(QStringLiteral("hat"), 10, 0.1);
        table->AddRow(QStringLiteral("the"), 5, 0.05);
        table->AddRow(QStringLiteral("mat"), 10, 0.1);
        table->AddRow(QStringLiteral("that"), 5, 0.05);
        table->AddRow(QStringLiteral("sun"), 7, 0.5);
        return *table;
    }
    TSummaryArrays Summarise(const QStringList& expressions, const TSearchSummaryRequest& request)
    {
        TSummaryArrays summary;
        ComputeSearchSummary(*table, request, expressions, TTextSettings::Defaults(), summary);
        return summary;
    }
};

const BreakdownRec* ValueOf(const std::vector<BreakdownRec>& values, const QString& value)
{
    for (const BreakdownRec& b : values)
        if (b.value == value)
            return &b;
    return nullptr;
}

} // namespace

TEST_F(BreakdownTest, CountsSumsAndBreaksDownTheMatches)
{
    Rhymes();
    TSearchSummaryRequest request;
    request.searchColumn = 1;
    request.cumulative = true;
    request.cumulativeColumn = 2;
    request.breakdown = true;
    request.breakdownColumn = 2;
    const TSummaryArrays s =
        Summarise({QStringLiteral("*at"), QStringLiteral("the/sun"), QStringLiteral("zebra")}, request);
    ASSERT_EQ(s.counts.size(), 3u);
    EXPECT_EQ(s.counts[0], 4); // cat hat mat that
    EXPECT_EQ(s.counts[1], 2);
    EXPECT_EQ(s.counts[2], 0);
    EXPECT_DOUBLE_EQ(s.sums[0], 35);
    EXPECT_DOUBLE_EQ(s.sums[1], 12);
    EXPECT_DOUBLE_EQ(s.sums[2], 0);
    // Values in the order of their frequency in the whole list.
    ASSERT_EQ(s.breakdowns[0].size(), 3u);
    EXPECT_EQ(s.breakdowns[0][0].value, QStringLiteral("10"));
    EXPECT_EQ(s.breakdowns[0][0].total, 3);
    EXPECT_EQ(s.breakdowns[0][0].count, 3);
    EXPECT_EQ(ValueOf(s.breakdowns[0], QStringLiteral("5"))->count, 1);
    EXPECT_EQ(ValueOf(s.breakdowns[0], QStringLiteral("7"))->count, 0);
    EXPECT_EQ(ValueOf(s.breakdowns[1], QStringLiteral("7"))->count, 1);
    EXPECT_EQ(ValueOf(s.breakdowns[1], QStringLiteral("5"))->count, 1);
}

TEST_F(BreakdownTest, NothingIsCountedWithoutExpressionsOrAfterStop)
{
    Rhymes();
    TSearchSummaryRequest request;
    EXPECT_TRUE(Summarise({}, request).counts.empty());
    // A search word of wildcards only is refused: it counts nothing.
    EXPECT_EQ(Summarise({QStringLiteral("*")}, request).counts[0], 0);
    global_panic_state = kPanicStopNow;
    const TSummaryArrays s = Summarise({QStringLiteral("*at")}, request);
    ASSERT_EQ(s.counts.size(), 1u);
    EXPECT_EQ(s.counts[0], 0);
}

TEST_F(BreakdownTest, ResultLinesFollowTheNumberOfExpressions)
{
    TSummaryArrays s;
    s.Resize(2);
    s.counts = {1234, 2};
    s.sums = {10.5, 3};
    s.breakdowns[0] = {{QStringLiteral("a.txt"), 4, 9}, {QStringLiteral("b.txt"), 0, 3}, {QStringLiteral("c.txt"), 9, 9}};
    TSearchSummaryRequest plain;
    QStringList lines = BreakdownResultLines(QStringLiteral("x"), 0, 1, s, plain, QString(), false);
    EXPECT_EQ(lines, (QStringList{QLocale().toString(1234), QStringLiteral("*******")}));

    TSearchSummaryRequest request;
    request.breakdown = true;
    request.cumulative = true;
    lines = BreakdownResultLines(QStringLiteral("x*"), 0, 1, s, request, QStringLiteral("File"), true);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_EQ(lines[0], QStringLiteral("x*: ") + QLocale().toString(1234) + QStringLiteral(" (") +
                            QLocale().toString(10.5, 'f', 2) + u')');
    EXPECT_EQ(lines[1], QStringLiteral("Breakdown of results by File"));
    EXPECT_EQ(lines[2], QStringLiteral("2 files")); // values without a match are not listed
    EXPECT_EQ(lines[3], QStringLiteral("c.txt: 9")); // most matches first
    EXPECT_EQ(lines[4], QStringLiteral("a.txt: 4"));

    // Several expressions: each value's matches out of its entries.
    lines = BreakdownResultLines(QStringLiteral("x*"), 0, 2, s, request, QStringLiteral("File"), false);
    EXPECT_EQ(lines[2], QStringLiteral("c.txt: 9 out of 9"));
    EXPECT_EQ(lines[3], QStringLiteral("a.txt: 4 out of 9"));
    EXPECT_TRUE(BreakdownResultLines(QStringLiteral("y"), 5, 2, s, request, QString(), false).isEmpty());
}

TEST_F(BreakdownTest, WindowOnAGridCountsAndSavesItsResults)
{
    Rhymes();
    grid = std::make_unique<TCV_Grid>();
    grid->resize(600, 400);
    grid->MatchGridToListType(kListWordList, 7, table.get());
    grid->SetRow(2); // "hat"
    QWidget window;
    TGridDialogHost& host = GridDialogHostOf(window);
    host.ShowBreakdown(grid.get());
    TFormBreakdown* form = host.BreakdownForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->ComboBoxSearch->count(), 3); // Word, Freq., Ratio
    EXPECT_EQ(form->ComboBoxSearch->currentText(), QStringLiteral("Word"));
    EXPECT_EQ(form->GroupSearchColumn->title(), QStringLiteral("Word"));
    EXPECT_EQ(form->ComboBoxCumulative->count(), 2); // numbers only
    EXPECT_EQ(form->ElMemoSearches->toPlainText(), QStringLiteral("hat"));
    EXPECT_FALSE(form->AdvGlowButtonSaveREsults->isEnabled());

    form->ElMemoSearches->setPlainText(QStringLiteral("  *at\n\n the  \n"));
    form->ComboBoxCumulative->setCurrentIndex(form->ComboBoxCumulative->findText(QStringLiteral("Freq.")));
    form->CheckBoxCumulative->setChecked(true);
    form->ButtonCount->click();
    const QStringList results = form->ElMemoResults->toPlainText().split(u'\n');
    EXPECT_EQ(results, (QStringList{QStringLiteral("4 (35)"), QStringLiteral("*******"), QStringLiteral("1 (5)"),
                                    QStringLiteral("*******")}));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Breakdown: Word (search within)"));
    EXPECT_TRUE(form->AdvGlowButtonSaveREsults->isEnabled());

    // The results are saved in UTF-16 with a byte-order mark.
    const QString target = userDir.file(QStringLiteral("breakdown.txt"));
    files.QueueAnswer(target);
    form->AdvGlowButtonSaveREsults->click();
    const QByteArray bytes = cvtest::readAll(target);
    ASSERT_GE(bytes.size(), 2);
    EXPECT_EQ(uint8_t(bytes[0]), 0xFF);
    EXPECT_EQ(uint8_t(bytes[1]), 0xFE);
    EXPECT_EQ(QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2),
              form->ElMemoResults->toPlainText());

    // Searching another column, with the searches loaded from a file.
    const QString searches = userDir.write(QStringLiteral("searches.txt"), "10\n7\n");
    files.QueueAnswer(searches);
    form->ButtonLoad->click();
    form->ComboBoxSearch->setCurrentIndex(form->ComboBoxSearch->findText(QStringLiteral("Freq.")));
    form->ComboBoxSearchSelect();
    EXPECT_EQ(form->fDataColumn, 2);
    form->CheckBoxCumulative->setChecked(false);
    form->ButtonCount->click();
    EXPECT_EQ(form->ElMemoResults->toPlainText().split(u'\n').value(0), QStringLiteral("3"));
    EXPECT_EQ(form->ElMemoResults->toPlainText().split(u'\n').value(2), QStringLiteral("1"));

    // Once the grid lets go of its list, Count does nothing.
    grid->SetList(nullptr, 0);
    form->ElMemoResults->clear();
    form->ButtonCount->click();
    EXPECT_TRUE(form->ElMemoResults->toPlainText().isEmpty());
}

TEST_F(BreakdownTest, ConcordanceBreaksDownByItsTextFiles)
{
    table = std::make_unique<WordTable>(kListConcordance);
    table->SetGridHeadings(StandardGridHeaderArray(kListConcordance));
    for (int i = 0; i < 3; ++i)
        table->AddRow(QStringLiteral("w%1").arg(i), i, 0);
    grid = std::make_unique<TCV_Grid>();
    grid->MatchGridToListType(kListConcordance, 0, table.get());
    QWidget window;
    ShowGridBreakdown(grid.get()); // no main window named: the grid's own top-level widget
    grid->MainWindow = &window;
    GridDialogHostOf(window).ShowBreakdown(grid.get());
    TFormBreakdown* form = GridDialogHostOf(window).BreakdownForm();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->CheckBoxBreakdown->isChecked());
    EXPECT_EQ(form->ComboBoxBreakdown->currentText(), QStringLiteral("File"));
    EXPECT_EQ(form->ComboBoxBreakdown->currentData().toInt(), 13);
}

TEST_F(BreakdownTest, DataThatGoesDuringACountIsNotTouchedAgain)
{
    Rhymes();
    grid = std::make_unique<TCV_Grid>();
    grid->MatchGridToListType(kListWordList, 7, table.get());
    QWidget window;
    TGridDialogHost& host = GridDialogHostOf(window);
    host.ShowBreakdown(grid.get());
    TFormBreakdown* form = host.BreakdownForm();
    ASSERT_NE(form, nullptr);
    form->ElMemoSearches->setPlainText(QStringLiteral("*at\nthe\nsun"));
    form->CheckBoxCumulative->setChecked(true);
    form->ComboBoxCumulative->setCurrentIndex(form->ComboBoxCumulative->findText(QStringLiteral("Freq.")));

    // As the window closes its data while the count pumps messages: the
    // host stops the count, then the list goes.
    int expressionsSeen = 0;
    const TSummaryStatsProc real = form->fOnSummaryStats;
    form->fOnSummaryStats = [&](const TCVBaseDataClass& list, const TSearchSummaryRequest& request,
                                const QStringList& expressions, TSummaryArrays& summary) {
        TSearchSummaryRequest r = request;
        r.progress = [&](int) {
            if (++expressionsSeen == 2) {
                host.StopConditions(false);
                grid->SetList(nullptr, 0);
                table.reset();
            }
        };
        real(list, r, expressions, summary);
    };
    form->ButtonCount->click();
    EXPECT_EQ(expressionsSeen, 2);
    EXPECT_TRUE(form->ElMemoResults->toPlainText().isEmpty());
    EXPECT_EQ(form->fDataList, nullptr);
}
