#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include "grid_dialogs_testutil.h"
#include "ui/framework/grid_dialogs/grid_columns.h"
#include "ui/framework/grid_dialogs/grid_printing.h"
#include "ui/framework/grid_dialogs/print_preview.h"

using namespace cv;
using griddialogs_test::GridDialogsTest;
using griddialogs_test::ModalScript;

namespace {

class PrintingTest : public GridDialogsTest {
protected:
    void SetUp() override
    {
        GridDialogsTest::SetUp();
        ShowTable();
        for (int i = 0; i < 195; ++i)
            table->AddRow(QStringLiteral("w%1").arg(i), i, i / 10.0);
        grid->Refresh();
    }
    // Pages of a printed PDF: the page objects in it.
    static int PdfPages(const QString& fileName)
    {
        const QByteArray pdf = cvtest::readAll(fileName);
        EXPECT_TRUE(pdf.startsWith("%PDF"));
        return int(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page ") +
                   pdf.count("/Type /Page/") + pdf.count("/Type /Page>"));
    }
    // A preview form on the grid through a handler.
    void MakePreview() { griddialogs_test::MakePreviewOn(*grid, handler, form); }
    void TearDown() override
    {
        form.reset();
        handler.reset();
        GridDialogsTest::TearDown();
    }
    void PrintTo(QPrinter& printer, const QString& name)
    {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(userDir.file(name));
    }
    std::unique_ptr<TPrintPreviewHandler> handler;
    std::unique_ptr<TCVFormPrintPreview> form;
};

} // namespace

TEST(PrinterOrganiser, PageRectanglesFollowMarginsAndOrientation)
{
    TPrinterOrganiser o;
    o.PageSize = QPageSize(QPageSize::A4);
    o.Margins[0] = 10;
    o.Margins[1] = 20;
    o.Margins[2] = 30;
    o.Margins[3] = 40;
    EXPECT_NEAR(o.PageSizeMM().width(), 210, 0.5);
    EXPECT_NEAR(o.PageRectMM().left(), 10, 1e-6);
    EXPECT_NEAR(o.PageRectMM().width(), 170, 0.5);
    EXPECT_NEAR(o.PageRectMM().height(), 297 - 60, 0.5);
    o.Orientation = QPageLayout::Landscape;
    EXPECT_NEAR(o.PageSizeMM().width(), 297, 0.5);
    o.SetChoice(3, 2);
    EXPECT_EQ(o.FirstPage, 3);
    EXPECT_EQ(o.LastPage, 0);
    o.SetHeaderOrFooterAndWanted(QStringLiteral("top"), true, true);
    EXPECT_EQ(o.Header, QStringLiteral("top"));
    EXPECT_TRUE(o.HeaderWanted);
    EXPECT_FALSE(o.FooterWanted);
}

TEST_F(PrintingTest, TheOrganiserRemembersTheUsersChoice)
{
    TPrinterOrganiser o;
    o.Orientation = QPageLayout::Landscape;
    o.Monochrome = true;
    o.Margins[2] = 33;
    o.PageSize = QPageSize(QPageSize::Letter);
    o.SetHeaderOrFooterAndWanted(QStringLiteral("Corpus"), true, true);
    o.Store();
    TPrinterOrganiser back;
    back.Load();
    EXPECT_EQ(back.Orientation, QPageLayout::Landscape);
    EXPECT_TRUE(back.Monochrome);
    EXPECT_FLOAT_EQ(back.Margins[2], 33);
    EXPECT_EQ(back.PageSize.id(), QPageSize::Letter);
    EXPECT_EQ(back.Header, QStringLiteral("Corpus"));
    EXPECT_TRUE(back.HeaderWanted);
}

TEST_F(PrintingTest, RowsAreLaidOutOnPagesWithTheHeadingsOnEach)
{
    TPrinterOrganiser o;
    TGridPagePrinter pages(*grid, o);
    QImage image(600, 800, QImage::Format_RGB32);
    pages.Layout(image, QRectF(0, 0, 600, 800));
    ASSERT_GT(pages.RowsPerPage(), 5);
    EXPECT_EQ(pages.PageCount(), (200 + pages.RowsPerPage() - 1) / pages.RowsPerPage());
    EXPECT_EQ(pages.FirstRowOfPage(0), 1);
    EXPECT_EQ(pages.FirstRowOfPage(1), pages.RowsPerPage() + 1);
    EXPECT_EQ(pages.PageOfRow(pages.RowsPerPage() + 1), 1);
    EXPECT_EQ(pages.PageOfRow(200), pages.PageCount() - 1);
    // A taller page holds more rows.
    QImage tall(600, 1600, QImage::Format_RGB32);
    TGridPagePrinter more(*grid, o);
    more.Layout(tall, QRectF(0, 0, 600, 1600));
    EXPECT_GT(more.RowsPerPage(), pages.RowsPerPage());
}

TEST_F(PrintingTest, MonochromePagesHaveNoColour)
{
    TGridColumnLayout& layout = ColumnLayoutOf(*grid);
    TGrid_header_array h = layout.Headers();
    h[1].SetBackground(0xFFFF0000u);
    layout.SetHeaders(h);
    auto colouredPixels = [&](bool mono) {
        TPrinterOrganiser o;
        o.Monochrome = mono;
        TGridPagePrinter pages(*grid, o);
        QImage image(500, 700, QImage::Format_RGB32);
        image.fill(Qt::white);
        pages.Layout(image, QRectF(0, 0, 500, 700));
        QPainter painter(&image);
        pages.PaintPage(painter, 0);
        painter.end();
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                if (std::abs(c.red() - c.green()) > 30 || std::abs(c.red() - c.blue()) > 30)
                    ++coloured;
            }
        return coloured;
    };
    EXPECT_GT(colouredPixels(false), 100);
    EXPECT_EQ(colouredPixels(true), 0);
}

TEST_F(PrintingTest, AGridPrintsToAPdfPageByPage)
{
    TPrinterOrganiser o;
    QPrinter printer(QPrinter::HighResolution);
    PrintTo(printer, QStringLiteral("all.pdf"));
    o.ApplyTo(printer);
    TGridPagePrinter pages(*grid, o);
    ASSERT_TRUE(pages.Print(printer, 0, 999));
    ASSERT_GE(pages.PageCount(), 2);
    EXPECT_EQ(PdfPages(userDir.file(QStringLiteral("all.pdf"))), pages.PageCount());

    QPrinter two(QPrinter::HighResolution);
    PrintTo(two, QStringLiteral("two.pdf"));
    o.ApplyTo(two);
    ASSERT_TRUE(pages.Print(two, 1, 2));
    EXPECT_EQ(PdfPages(userDir.file(QStringLiteral("two.pdf"))), 2);
}

TEST_F(PrintingTest, PrintingAsksForThePrinterAndThePagesFirst)
{
    TPrintPreviewHandler handler;
    handler.SetTheGrid(grid.get());
    ModalScript script;
    const QString file = userDir.file(QStringLiteral("printed.pdf"));
    script.Then(griddialogs_test::PrintIntoPdf(file));
    dialogs.QueueAnswer(TDialogAnswer::Yes);
    ASSERT_TRUE(handler.PrintGrid(nullptr));
    EXPECT_EQ(dialogs.Routines().last(), QStringLiteral("AreYouSureYouWantTo"));
    EXPECT_EQ(PdfPages(file), handler.PageCount());
    EXPECT_FALSE(handler.PrintPreviewBusy);

    // Not agreed: nothing printed.
    QFile::remove(file);
    script.Then(griddialogs_test::PrintIntoPdf(file));
    dialogs.QueueAnswer(TDialogAnswer::No);
    EXPECT_FALSE(handler.PrintGrid(nullptr));
    EXPECT_FALSE(QFile::exists(file));
    // Cancelled print dialog.
    EXPECT_FALSE(handler.PrintGrid(nullptr));
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(PrintingTest, ThePreviewPagesThroughTheHandlerAndMovesTheGrid)
{
    MakePreview();
    // The commands do nothing while the preview is not shown.
    handler->Command(kPrintNextPage);
    EXPECT_EQ(handler->CurrentPage(), 0);
    form->show();
    form->Redraw();
    const int pages = handler->PageCount();
    ASSERT_GE(pages, 2);
    // The preview holds the page shown; its label tells which of how many.
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("1 / %1").arg(pages));
    grid->SetRow(3);
    form->NextPageClick();
    EXPECT_EQ(handler->CurrentPage(), 1);
    EXPECT_EQ(form->PageLabel->text(), QStringLiteral("2 / %1").arg(pages));
    EXPECT_EQ(grid->Row(), 3);
    for (int i = 0; i < pages + 2; ++i)
        form->NextPageClick();
    EXPECT_EQ(handler->CurrentPage(), pages - 1);
    for (int i = 0; i < pages + 2; ++i)
        form->PreviousPageClick();
    EXPECT_EQ(handler->CurrentPage(), 0);
    // Busy: no paging.
    handler->PrintPreviewBusy = true;
    form->NextPageClick();
    EXPECT_EQ(handler->CurrentPage(), 0);
    handler->PrintPreviewBusy = false;
    form->hide();
}

TEST_F(PrintingTest, ZoomOrientationColourAndBandsOfThePreview)
{
    MakePreview();
    EXPECT_EQ(form->zoom_percent, 50);

    form->ZoomChange(QStringLiteral("120 %"));
    EXPECT_EQ(form->zoom_percent, 120);
    EXPECT_NEAR(form->PreviewImage->zoomFactor(), 1.2, 1e-9);
    // The new size goes into the list before the first larger one.
    const int at = form->ZoomCombo->findText(QStringLiteral("120%"));
    ASSERT_GE(at, 0);
    EXPECT_EQ(form->ZoomCombo->itemText(at + 1), QStringLiteral("150%"));
    form->Zoom100Click(true);
    EXPECT_EQ(form->zoom_percent, 100);
    form->Zoom100Click(false);
    EXPECT_EQ(form->zoom_percent, 120);
    form->FitToPageClick();
    EXPECT_EQ(form->zoom_percent, form->page_fits_scrollbox_percent);

    form->OrientationClick(QPageLayout::Landscape);
    EXPECT_EQ(handler->Organiser().Orientation, QPageLayout::Landscape);
    EXPECT_TRUE(form->PrinterAndOrientation().contains(QStringLiteral("landscape")));
    form->MonochromeClick();
    EXPECT_TRUE(handler->Organiser().Monochrome);
    form->MonochromeClick();
    EXPECT_FALSE(handler->Organiser().Monochrome);

    form->HeaderEdit->setText(QStringLiteral("My corpus"));
    form->ApplyHeaderAndFooter();
    EXPECT_TRUE(handler->Organiser().HeaderWanted);
    EXPECT_FALSE(handler->Organiser().FooterWanted);
    form->ShowHeaderBox->setChecked(false);
    EXPECT_FALSE(handler->Organiser().HeaderWanted);

    form->SaveToAStream();
    EXPECT_GT(form->Stream.size(), 100);
    EXPECT_GT(form->MetaFile.size(), 0u);
}
