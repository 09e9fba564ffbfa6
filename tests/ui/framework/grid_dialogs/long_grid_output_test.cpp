// Printing and exporting long grids: the preview lays out the page it shows
// and no other; an export writes the rows as they come, shows on the
// window's bars how far it is and stops when the user says so, leaving no
// file behind; a spreadsheet that cannot hold every row chosen is said to
// be so before anything is written.

#include <QDir>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPrintPreviewWidget>
#include <QProgressBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QTimer>

#include <algorithm>
#include <limits>

#include "grid_dialogs_testutil.h"
#include "gui/cv_status_bar.h"
#include "runtime/progress.h"
#include "suite/cv_globals.h"
#include "suite/excel_writer.h"
#include "ui/framework/framework_testutil.h"
#include "ui/framework/grid_dialogs/grid_dialog_host.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"
#include "ui/framework/grid_dialogs/save_as_dialog.h"
#include "wordlist/wordlist_holder.h"

using namespace cv;
using griddialogs_test::ModalScript;

namespace {

// Rows of a word, its number and nothing else: a list as long as wanted,
// which counts the cells asked of it and the lowest and highest row asked.
class CountingTable final : public TCVBaseDataClass {
public:
    explicit CountingTable(int rows)
        : TCVBaseDataClass(nullptr, [](TCVBaseDataClass& l) { return std::make_unique<TCVBaseListObject>(&l); },
                           kListWordList, 0, 1)
    {
        SetGridHeadings({QStringLiteral("N"), QStringLiteral("Word"), QStringLiteral("Number")});
        for (int i = 0; i < rows; ++i)
            Add(std::make_unique<TCVBaseListObject>(this));
    }
    void DrawgridDataRec(int row, int column, int displayKind, TDrawgridDataRec& rec) const override
    {
        ++asked;
        lowest = std::min(lowest, row);
        highest = std::max(highest, row);
        rec = {};
        if (column == 1)
            rec.text = QStringLiteral("w%1").arg(row);
        else if (column == 2)
            NumberCell(rec, row, true);
        else
            TCVBaseDataClass::DrawgridDataRec(row, column, displayKind, rec);
    }
    void Forget() const
    {
        asked = 0;
        lowest = std::numeric_limits<int>::max();
        highest = -1;
    }
    mutable int64_t asked = 0;
    mutable int lowest = std::numeric_limits<int>::max();
    mutable int highest = -1;
};

class LongPreviewTest : public griddialogs_test::GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        table = std::make_unique<CountingTable>(20000);
        grid = std::make_unique<TCV_Grid>();
        grid->resize(600, 400);
        grid->MatchGridToListType(kListWordList, 7, table.get());
        griddialogs_test::MakePreviewOn(*grid, handler, form);
    }
    void TearDown() override
    {
        form.reset();
        handler.reset();
        grid.reset();
        table.reset();
        GridDialogsTest::TearDown();
    }
    // The rows of a page (from 0) as the printer lays them out.
    std::pair<int, int> RowsOfPage(int page)
    {
        TGridPagePrinter pages(*grid, handler->Organiser());
        QPrinter& printer = handler->Printer();
        pages.Layout(printer, QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size()));
        return {pages.FirstRowOfPage(page), pages.FirstRowOfPage(page) + pages.RowsPerPage() - 1};
    }
    std::unique_ptr<CountingTable> table;
    std::unique_ptr<TCV_Grid> grid;
    std::unique_ptr<TPrintPreviewHandler> handler;
    std::unique_ptr<TCVFormPrintPreview> form;
};

// The window of the framework tests with a list of some thousand words on
// its frequency page, its grid handlers bound, and every step of a long
// loop shown at once (the tests' jobs are short).
class LongExportTest : public framework_test::FrameworkTest {
protected:
    void SetUp() override
    {
        FrameworkTest::SetUp();
        SetUserReadWriteFolder(dir.path());
        SetDefaultFolder(dir.path());
        QString text;
        for (int i = 0; i < 3000; ++i)
            text += QStringLiteral("w%1 ").arg(i).repeated(1 + i % 7);
        window->ShowWordList(dir, {{QStringLiteral("many.txt"), text}});
        grid = window->freq;
        grid->HandlersA = window->BaseGridHandlersA();
        grid->HandlersB = window->BaseGridHandlersB();
        grid->WindowOperations = window->GridWindowOperations();
        GlobalProgress().SetStepInterval(0);
        QProgressBar* overall = window->AdvOfficeStatusBar1->findChild<QProgressBar*>(QStringLiteral("panel%1").arg(kPanelOverallBar));
        ASSERT_NE(overall, nullptr);
        QObject::connect(overall, &QProgressBar::valueChanged, window.get(), [this](int value) {
            shares.push_back(value);
            if (stopWhenShown && value > 0) {
                stopWhenShown = false;
                // The user's click on Stop, taken while the export lets the window work.
                QTimer::singleShot(0, window.get(), [this] { window->AdvOfficeStatusBar1->ClickPanel(kPanelStopButton); });
            }
        });
    }
    void TearDown() override
    {
        GlobalProgress().SetStepInterval(100);
        FrameworkTest::TearDown();
    }
    // The save-as dialog answered: the file, headings included, OK.
    static std::function<int(QDialog&)> ExportTo(const QString& fileName)
    {
        return [fileName](QDialog& d) {
            auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
            dlg.FileNameEdit->setText(fileName);
            dlg.IncludeHeadingsBox->setChecked(true);
            dlg.RangeTextsChange();
            return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
        };
    }
    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files); }

    TCV_Grid* grid = nullptr;
    std::vector<int> shares;
    bool stopWhenShown = false;
};

} // namespace

// A page shown costs one page: opening the preview of 20,000 rows and
// turning a page each ask the list for the cells of one page only, and the
// page shown is the one the label names.
TEST_F(LongPreviewTest, ThePreviewLaysOutOnlyThePageItShows)
{
    form->show();
    table->Forget();
    form->Redraw();
    const int pages = handler->PageCount();
    const auto [first, last] = RowsOfPage(0);
    const int onePage = (last - first + 1) * table->ColumnCount();
    ASSERT_GT(pages, 100);
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("1 / %1").arg(pages));
    EXPECT_LE(table->asked, onePage) << "cells of other pages were laid out";
    EXPECT_EQ(table->lowest, first - 1);
    EXPECT_EQ(table->highest, last - 1);
    EXPECT_EQ(form->PreviewImage->pageCount(), 1);

    table->Forget();
    form->NextPageClick();
    form->NextPageClick();
    const auto [first3, last3] = RowsOfPage(2);
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("3 / %1").arg(pages));
    EXPECT_LE(table->asked, 2 * onePage) << "turning a page laid out more than the pages shown";
    EXPECT_EQ(table->highest, last3 - 1);
    EXPECT_EQ(grid->TopRow(), first3);
    form->hide();
}

// Any page of a long preview is at most a key or a typed number away:
// Ctrl+End and End show the last page, Home the first, Page Down the next,
// and a page number typed with Enter that page; each step lays out the page
// it shows only, and the grid follows.
TEST_F(LongPreviewTest, EndHomeAndATypedPageNumberGoAnywhereAtOnce)
{
    form->show();
    form->activateWindow();
    QApplication::setActiveWindow(form.get());
    form->PreviewImage->setFocus();
    form->Redraw();
    const int pages = handler->PageCount();
    ASSERT_GT(pages, 100);
    const auto [first, last] = RowsOfPage(0);
    const int onePage = (last - first + 1) * table->ColumnCount();

    table->Forget();
    QTest::keyClick(form->PreviewImage, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(handler->CurrentPage(), pages - 1);
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("%1 / %1").arg(pages));
    EXPECT_EQ(form->PageBox->value(), pages);
    EXPECT_LE(table->asked, 2 * onePage) << "going to the last page laid out the pages between";
    EXPECT_EQ(grid->TopRow(), RowsOfPage(pages - 1).first);
    EXPECT_FALSE(form->LastButton->isEnabled());

    QTest::keyClick(form->PreviewImage, Qt::Key_Home);
    EXPECT_EQ(handler->CurrentPage(), 0);
    QTest::keyClick(form->PreviewImage, Qt::Key_PageDown);
    EXPECT_EQ(handler->CurrentPage(), 1);
    QTest::keyClick(form->PreviewImage, Qt::Key_End);
    EXPECT_EQ(handler->CurrentPage(), pages - 1);

    // A number typed into the page box, digit by digit: the page comes with Enter.
    auto* typing = form->PageBox->findChild<QLineEdit*>();
    ASSERT_NE(typing, nullptr);
    typing->setFocus();
    typing->selectAll();
    table->Forget();
    const int wanted = pages / 2 + 3;
    QTest::keyClicks(typing, QString::number(wanted));
    EXPECT_EQ(handler->CurrentPage(), pages - 1) << "the page changed before Enter";
    QTest::keyClick(typing, Qt::Key_Return);
    EXPECT_EQ(handler->CurrentPage(), wanted - 1);
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("%1 / %2").arg(wanted).arg(pages));
    EXPECT_EQ(grid->TopRow(), RowsOfPage(wanted - 1).first);
    EXPECT_LE(table->asked, 2 * onePage);

    // The buttons at the ends, and a number beyond the last page.
    form->FirstButton->click();
    EXPECT_EQ(handler->CurrentPage(), 0);
    EXPECT_FALSE(form->PreviousButton->isEnabled());
    form->GoToPageNumber(pages + 50);
    EXPECT_EQ(handler->CurrentPage(), pages - 1);
    form->hide();
}

// An export shows its share on the window's bars as it writes, and Stop
// ends it with nothing written: no file under the name, no temporary file
// left, no failure told. Every format but the list type's own.
TEST_F(LongExportTest, AnExportShowsHowFarItIsAndStopsWhenTheUserSaysSo)
{
    ModalScript script;
    for (const char* name : {"stopped.txt", "stopped.xml", "stopped.xlsx", "stopped.rtf"}) {
        const QStringList before = Files();
        const int kind = QString::fromLatin1(name).endsWith(QLatin1String(".txt"))   ? 0
                         : QString::fromLatin1(name).endsWith(QLatin1String(".xml")) ? 1
                         : QString::fromLatin1(name).endsWith(QLatin1String("xlsx")) ? 2
                                                                                     : 3;
        shares.clear();
        dialogs.Clear();
        stopWhenShown = true;
        script.Then(ExportTo(dir.file(QString::fromLatin1(name))));
        EXPECT_FALSE(window->SaveAsExport(grid, kind)) << name;
        EXPECT_TRUE(std::any_of(shares.begin(), shares.end(), [](int v) { return v > 0 && v < 100; })) << name;
        EXPECT_TRUE(dialogs.Routines().contains(QStringLiteral("EscapePressedWantToQuit"))) << name;
        EXPECT_FALSE(dialogs.Routines().contains(QStringLiteral("FailedToSave"))) << name;
        EXPECT_EQ(Files(), before) << name;
        EXPECT_EQ(window->AdvOfficeStatusBar1->PanelProgress(kPanelOverallBar), 0) << "the bars are cleared after it";
    }

    // Not stopped: the whole file, the bar moving on to its end on the way.
    shares.clear();
    const QString whole = dir.file(QStringLiteral("whole.txt"));
    script.Then(ExportTo(whole));
    ASSERT_TRUE(window->SaveAsExport(grid, 0));
    ASSERT_FALSE(shares.empty());
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end() - 1));
    EXPECT_GE(*std::max_element(shares.begin(), shares.end()), 50);
    const QList<QByteArray> lines = cvtest::readAll(whole).split('\n');
    EXPECT_EQ(lines.size() - 1, grid->RowCount()) << "the heading row and every data row";
}

// The job's clock starts when the export starts: a Save As dialog that
// waited for the user does not count.
TEST_F(LongExportTest, TheJobsClockStartsWithTheExportNotWithItsDialog)
{
    QProgressBar* overall = window->AdvOfficeStatusBar1->findChild<QProgressBar*>(QStringLiteral("panel%1").arg(kPanelOverallBar));
    ASSERT_NE(overall, nullptr);
    QStringList clocks;
    QObject::connect(overall, &QProgressBar::valueChanged, window.get(),
                     [&] { clocks << window->AdvOfficeStatusBar1->PanelText(kPanelTimeToGo); });
    ModalScript script;
    const auto exportTo = ExportTo(dir.file(QStringLiteral("clock.txt")));
    script.Then([&](QDialog& d) {
        QTest::qWait(1500); // the user reads the dialog
        return exportTo(d);
    });
    ASSERT_TRUE(window->SaveAsExport(grid, 0));
    ASSERT_FALSE(clocks.isEmpty());
    EXPECT_TRUE(clocks.front().startsWith(QStringLiteral("0:00:00"))) << clocks.front().toStdString();
}

// A spreadsheet of more rows than a sheet holds: the user is told so before
// anything is written, and cancelling writes nothing.
TEST_F(LongPreviewTest, ASheetTooShortForTheRowsIsToldOfBeforeTheWork)
{
    const int rows = TExcelWriter::kMaxRows + 1;
    table = std::make_unique<CountingTable>(rows);
    grid->MatchGridToListType(kListWordList, 7, table.get());
    QWidget window;
    TGridDialogHost host(window);
    T_WholeWordlistHolder doc(kListWordList, nullptr, nullptr, false, false);
    host.SetWindowLink({[](QObject*) { return true; }, [&doc] { return static_cast<TCorvantisholder*>(&doc); }, {}, {}});
    ModalScript script;
    const QString file = userDir.file(QStringLiteral("long.xlsx"));
    script.Then([&](QDialog& d) {
        auto& dlg = dynamic_cast<TSaveAsTxtDlgFeb2012&>(d);
        dlg.FileNameEdit->setText(file);
        return dlg.OKClick() ? int(QDialog::Accepted) : int(QDialog::Rejected);
    });
    dialogs.QueueAnswer(TDialogAnswer::Cancel);
    table->Forget();
    bool busy = false;
    EXPECT_FALSE(host.SaveAsExport(grid.get(), 2, busy));
    ASSERT_FALSE(dialogs.Requests().empty());
    const TDialogRequest& asked = dialogs.Requests().front();
    EXPECT_EQ(asked.routine, QStringLiteral("WarnAboutAndASKOK"));
    const QLocale locale;
    EXPECT_TRUE(asked.text.contains(locale.toString(qlonglong(TExcelWriter::kMaxRows)))) << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains(locale.toString(qlonglong(rows)))) << asked.text.toStdString();
    EXPECT_EQ(dialogs.Requests().size(), 1u);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(table->asked, 0) << "no row was read before the question";
}
