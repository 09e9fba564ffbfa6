#pragma once
// Printing result grids: the page layout (TPrinterOrganiser), the grid laid
// out on pages and drawn (TGridPagePrinter), the small interface through
// which the print preview pages and prints (TBasePrintHandler), and the
// window's print handler (TPrintPreviewHandler). Printers are Qt's
// (QPrinter); the print dialog runs through RunModalDialog, so tests set it
// to print into a PDF file.

#include <QFont>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QRectF>
#include <QString>

#include <memory>
#include <vector>

#include "gui/cv_grid.h"

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;
class QPrinter;
class QWidget;

namespace cv {

class TCVFormPrintPreview;

// The page layout of printed grids.
class TPrinterOrganiser {
public:
    // Margins in millimetres: left, top, right, bottom.
    float Margins[4] = {15, 15, 15, 15};
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    QPageSize PageSize{QPageSize::A4};
    bool Monochrome = false;
    QString Header;
    QString Footer;
    bool HeaderWanted = false;
    bool FooterWanted = false;
    // Pages chosen to print, from 1; LastPage 0: to the end.
    int FirstPage = 1;
    int LastPage = 0;

    void SetHeaderOrFooterAndWanted(const QString& text, bool header, bool wanted);
    void SetChoice(int firstPage, int lastPage);
    // The paper and the printable page inside the margins, in millimetres.
    QSizeF PageSizeMM() const;
    QRectF PaperRectMM() const;
    QRectF PageRectMM() const;
    // Page size, orientation, margins and colour mode onto a printer.
    void ApplyTo(QPrinter& printer) const;
    // What the user chose last (kept in the grid dialogs' settings).
    void Store() const;
    void Load();
};

// A grid laid out on the pages of a device: the heading row on every page,
// the rows as the grid shows them, its visible columns in their order,
// widths as on screen unless the page is narrower.
class TGridPagePrinter {
public:
    TGridPagePrinter(const TCV_Base_Grid& grid, const TPrinterOrganiser& organiser);

    // Lays the grid out for a page of `page` (device units) on a device.
    void Layout(QPaintDevice& device, const QRectF& page);
    int PageCount() const { return m_pageCount; }
    int RowsPerPage() const { return m_rowsPerPage; }
    // The first grid row (from 1) of a page (from 0).
    int FirstRowOfPage(int page) const;
    int PageOfRow(int row) const;
    // Draws one page (from 0) with its header and footer.
    void PaintPage(QPainter& painter, int page) const;
    // Lays out for the printer and prints pages first..last (from 0), with
    // the share printed on the progress reporter; false when the printer
    // failed or the user stopped it (the job is then abandoned).
    bool Print(QPrinter& printer, int firstPage, int lastPage);

private:
    const TCV_Base_Grid& m_grid;
    const TPrinterOrganiser& m_organiser;
    QRectF m_page;
    QFont m_font;
    double m_rowHeight = 0;
    double m_bandHeight = 0; // header or footer
    std::vector<int> m_columns;
    std::vector<double> m_widths;
    int m_rowsPerPage = 1;
    int m_pageCount = 1;
};

// How the preview asks its owner to page, draw and print.
class TBasePrintHandler {
public:
    virtual ~TBasePrintHandler() = default;
    // 256 forward one page, 257 back one page, 258 store the page set-up and
    // redraw, 259 print, 260 store the printer choice.
    virtual void Command(int code) = 0;
    // Shows a page (from 0; one beyond either end is the first or last).
    virtual void GoToPage(int page) = 0;
    // Draws the page shown onto a printer: the preview holds that page
    // only, so showing a page costs one page however many the grid fills.
    virtual void PaintShownPage(QPrinter& printer) = 0;
    // Draws the page shown onto a device (a picture of it).
    virtual void PaintCurrentPage(QPainter& painter, QPaintDevice& device, const QRectF& page) = 0;
    // The page shown (from 0).
    virtual int CurrentPage() const = 0;
    // The pages the grid fills.
    virtual int PageCount() = 0;
    bool PrintPreviewBusy = false;
};

enum : int { kPrintNextPage = 256, kPrintPreviousPage = 257, kPrintStoreRecord = 258, kPrintPrint = 259,
             kPrintStorePrefs = 260 };

// The window's print handler: prints its grid and pages the preview.
class TPrintPreviewHandler final : public TBasePrintHandler {
public:
    TPrintPreviewHandler();
    ~TPrintPreviewHandler() override;

    void SetTheGrid(TCV_Grid* grid);
    TCV_Grid* Grid() const { return previewgrid; }
    void SetPreviewForm(TCVFormPrintPreview* form);
    void Command(int code) override;
    void GoToPage(int page) override;

    // The print dialog, the user's agreement to the number of pages, then
    // the pages chosen; false when nothing was printed.
    bool PrintGrid(QWidget* parent);
    void PaintShownPage(QPrinter& printer) override;
    void PaintCurrentPage(QPainter& painter, QPaintDevice& device, const QRectF& page) override;
    int CurrentPage() const override { return m_currentPage; }
    // The pages there are on the printer.
    int PageCount() override;
    // The printer the print uses.
    QPrinter& Printer();
    TPrinterOrganiser& Organiser() { return m_organiser; }

private:
    bool PreviewShowsGrid() const;
    // The grid laid out on the printer's pages as the organiser sets them up.
    TGridPagePrinter PagesOnPrinter();
    // The grid shows the page now current (its top row the page's first) and the preview draws it.
    void ShowCurrentPage(const TGridPagePrinter& pages);
    QPointer<TCV_Grid> previewgrid;
    QPointer<TCVFormPrintPreview> m_form;
    std::unique_ptr<QPrinter> m_printer;
    TPrinterOrganiser m_organiser;
    int m_currentPage = 0;
};

} // namespace cv
