#include "ui/framework/grid_dialogs/grid_printing.h"

#include <QAbstractItemModel>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QSettings>
#include <QTableView>

#include <algorithm>
#include <cmath>

#include "runtime/progress.h"
#include "suite/cv_format.h"
#include "suite/cv_globals.h"
#include "suite/dialog_routines.h"
#include "ui/framework/dialog_base/dialog_support.h"
#include "ui/framework/grid_dialogs/print_preview.h"

namespace cv {

namespace {

const QString kPrintJobTitle = QStringLiteral("Corvantis Tools");

} // namespace

// ---------------------------------------------------------------------------
// Page layout

void TPrinterOrganiser::SetHeaderOrFooterAndWanted(const QString& text, bool header, bool wanted)
{
    (header ? Header : Footer) = text;
    (header ? HeaderWanted : FooterWanted) = wanted;
}

void TPrinterOrganiser::SetChoice(int firstPage, int lastPage)
{
    FirstPage = std::max(1, firstPage);
    LastPage = lastPage < FirstPage ? 0 : lastPage;
}

QSizeF TPrinterOrganiser::PageSizeMM() const
{
    const QSizeF size = PageSize.size(QPageSize::Millimeter);
    return Orientation == QPageLayout::Landscape ? size.transposed() : size;
}

QRectF TPrinterOrganiser::PaperRectMM() const { return {QPointF(0, 0), PageSizeMM()}; }

QRectF TPrinterOrganiser::PageRectMM() const
{
    return PaperRectMM().adjusted(Margins[0], Margins[1], -Margins[2], -Margins[3]);
}

void TPrinterOrganiser::ApplyTo(QPrinter& printer) const
{
    printer.setPageSize(PageSize);
    printer.setPageOrientation(Orientation);
    printer.setPageMargins(QMarginsF(Margins[0], Margins[1], Margins[2], Margins[3]), QPageLayout::Millimeter);
    printer.setColorMode(Monochrome ? QPrinter::GrayScale : QPrinter::Color);
    printer.setDocName(kPrintJobTitle);
}

void TPrinterOrganiser::Store() const
{
    QSettings s(GridDialogSettingsFileName(), QSettings::IniFormat);
    s.beginGroup(QStringLiteral("printing"));
    s.setValue(QStringLiteral("margins"), QVariantList{Margins[0], Margins[1], Margins[2], Margins[3]});
    s.setValue(QStringLiteral("landscape"), Orientation == QPageLayout::Landscape);
    s.setValue(QStringLiteral("page"), PageSize.key());
    s.setValue(QStringLiteral("monochrome"), Monochrome);
    s.setValue(QStringLiteral("header"), Header);
    s.setValue(QStringLiteral("footer"), Footer);
    s.setValue(QStringLiteral("headerWanted"), HeaderWanted);
    s.setValue(QStringLiteral("footerWanted"), FooterWanted);
}

void TPrinterOrganiser::Load()
{
    QSettings s(GridDialogSettingsFileName(), QSettings::IniFormat);
    s.beginGroup(QStringLiteral("printing"));
    const QVariantList margins = s.value(QStringLiteral("margins")).toList();
    if (margins.size() == 4)
        for (int i = 0; i < 4; ++i)
            Margins[i] = std::clamp(margins[i].toFloat(), 0.0f, 100.0f);
    Orientation = s.value(QStringLiteral("landscape")).toBool() ? QPageLayout::Landscape : QPageLayout::Portrait;
    const QString page = s.value(QStringLiteral("page")).toString();
    for (int id = 0; id < QPageSize::LastPageSize && !page.isEmpty(); ++id)
        if (QPageSize::key(QPageSize::PageSizeId(id)) == page)
            PageSize = QPageSize(QPageSize::PageSizeId(id));
    Monochrome = s.value(QStringLiteral("monochrome")).toBool();
    Header = s.value(QStringLiteral("header")).toString();
    Footer = s.value(QStringLiteral("footer")).toString();
    HeaderWanted = s.value(QStringLiteral("headerWanted")).toBool();
    FooterWanted = s.value(QStringLiteral("footerWanted")).toBool();
}

// ---------------------------------------------------------------------------
// Pages of a grid

TGridPagePrinter::TGridPagePrinter(const TCV_Base_Grid& grid, const TPrinterOrganiser& organiser)
    : m_grid(grid), m_organiser(organiser)
{
}

void TGridPagePrinter::Layout(QPaintDevice& device, const QRectF& page)
{
    m_page = page;
    m_font = m_grid.font();
    if (m_font.pointSizeF() <= 0)
        m_font.setPointSizeF(9);
    const QFontMetricsF fm(m_font, &device);
    m_rowHeight = std::ceil(fm.height() * 1.4);
    m_bandHeight = std::ceil(fm.height() * 2);

    // The visible columns in the order shown, widths as on screen.
    m_columns.clear();
    m_widths.clear();
    const double scale = double(device.logicalDpiX()) / std::max(1, m_grid.logicalDpiX());
    double total = 0;
    for (int column : m_grid.ShownColumns()) {
        m_columns.push_back(column);
        m_widths.push_back(std::max(1, m_grid.ColWidths(column)) * scale);
        total += m_widths.back();
    }
    if (total > page.width() && total > 0)
        for (double& w : m_widths)
            w *= page.width() / total;

    const int rows = m_grid.View()->model()->rowCount();
    const double room = page.height() - 2 * m_bandHeight - m_rowHeight;
    m_rowsPerPage = std::max(1, int(room / m_rowHeight));
    m_pageCount = std::max(1, (rows + m_rowsPerPage - 1) / m_rowsPerPage);
}

int TGridPagePrinter::FirstRowOfPage(int page) const { return std::clamp(page, 0, m_pageCount - 1) * m_rowsPerPage + 1; }

int TGridPagePrinter::PageOfRow(int row) const { return std::clamp((row - 1) / m_rowsPerPage, 0, m_pageCount - 1); }

void TGridPagePrinter::PaintPage(QPainter& painter, int page) const
{
    const QAbstractItemModel* model = m_grid.View()->model();
    const bool mono = m_organiser.Monochrome;
    const QColor ink = mono ? QColor(Qt::black) : m_grid.palette().color(QPalette::Text);
    const QColor rule(mono ? Qt::black : Qt::gray);
    painter.save();
    painter.setFont(m_font);
    painter.setPen(ink);
    const QFontMetricsF fm(m_font, painter.device());
    const double pad = fm.averageCharWidth() / 2;

    // Header and footer bands.
    const QRectF headerBand(m_page.left(), m_page.top(), m_page.width(), m_bandHeight);
    const QRectF footerBand(m_page.left(), m_page.bottom() - m_bandHeight, m_page.width(), m_bandHeight);
    if (m_organiser.HeaderWanted)
        painter.drawText(headerBand, Qt::AlignHCenter | Qt::AlignVCenter, m_organiser.Header);
    if (m_organiser.FooterWanted)
        painter.drawText(footerBand, Qt::AlignLeft | Qt::AlignVCenter, m_organiser.Footer);
    painter.drawText(footerBand, Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("%1 / %2").arg(page + 1).arg(m_pageCount));

    auto cellRect = [&](size_t i, double x, double y) { return QRectF(x, y, m_widths[i], m_rowHeight); };
    // The heading row.
    double y = headerBand.bottom();
    double x = m_page.left();
    QFont bold = m_font;
    bold.setBold(true);
    painter.setFont(bold);
    for (size_t i = 0; i < m_columns.size(); ++i) {
        const QRectF r = cellRect(i, x, y);
        if (!mono)
            painter.fillRect(r, QColor(230, 230, 230));
        const QString text = model->headerData(m_columns[i], Qt::Horizontal, Qt::DisplayRole).toString();
        painter.drawText(r.adjusted(pad, 0, -pad, 0), Qt::AlignLeft | Qt::AlignVCenter,
                         QFontMetricsF(bold, painter.device()).elidedText(text, Qt::ElideRight, r.width() - 2 * pad));
        x += m_widths[i];
    }
    y += m_rowHeight;
    painter.setPen(rule);
    painter.drawLine(QPointF(m_page.left(), y), QPointF(x, y));

    // The rows of the page.
    const int first = FirstRowOfPage(page) - 1;
    const int last = std::min(model->rowCount(), first + m_rowsPerPage);
    for (int row = first; row < last; ++row, y += m_rowHeight) {
        x = m_page.left();
        for (size_t i = 0; i < m_columns.size(); ++i) {
            const QModelIndex index = model->index(row, m_columns[i]);
            const QRectF r = cellRect(i, x, y);
            x += m_widths[i];
            if (!mono)
                if (const QVariant bg = index.data(Qt::BackgroundRole); bg.canConvert<QColor>() && bg.value<QColor>().isValid())
                    painter.fillRect(r, bg.value<QColor>());
            QFont font = m_font;
            if (const QVariant f = index.data(Qt::FontRole); f.canConvert<QFont>() && f.isValid()) {
                font = f.value<QFont>();
                font.setPointSizeF(m_font.pointSizeF());
            }
            font.setStrikeOut(font.strikeOut() || index.data(kDeletedRole).toBool());
            font.setBold(font.bold() || index.data(kMarkRole).toInt() > 0);
            painter.setFont(font);
            QColor colour = ink;
            if (!mono)
                if (const QVariant fg = index.data(Qt::ForegroundRole); fg.canConvert<QColor>() && fg.value<QColor>().isValid())
                    colour = fg.value<QColor>();
            painter.setPen(colour);
            const QVariant align = index.data(Qt::TextAlignmentRole);
            const int flags = (align.isValid() ? align.toInt() & Qt::AlignHorizontal_Mask : int(Qt::AlignLeft)) |
                              Qt::AlignVCenter;
            const QString text = QFontMetricsF(font, painter.device())
                                     .elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, r.width() - 2 * pad);
            painter.drawText(r.adjusted(pad, 0, -pad, 0), flags, text);
        }
    }
    painter.restore();
}

bool TGridPagePrinter::Print(QPrinter& printer, int firstPage, int lastPage)
{
    Layout(printer, QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size()));
    firstPage = std::clamp(firstPage, 0, m_pageCount - 1);
    lastPage = std::clamp(lastPage, firstPage, m_pageCount - 1);
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    TProgressSteps steps;
    for (int page = firstPage; page <= lastPage; ++page) {
        if (!steps.Step(page - firstPage, lastPage - firstPage + 1)) {
            printer.abort();
            return false;
        }
        if (page > firstPage && !printer.newPage())
            return false;
        PaintPage(painter, page);
    }
    return painter.end();
}

// ---------------------------------------------------------------------------
// The window's print handler

TPrintPreviewHandler::TPrintPreviewHandler() { m_organiser.Load(); }

TPrintPreviewHandler::~TPrintPreviewHandler() = default;

void TPrintPreviewHandler::SetTheGrid(TCV_Grid* grid)
{
    if (grid != previewgrid)
        m_currentPage = 0;
    previewgrid = grid;
}

void TPrintPreviewHandler::SetPreviewForm(TCVFormPrintPreview* form) { m_form = form; }

QPrinter& TPrintPreviewHandler::Printer()
{
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        m_printer->setDocName(kPrintJobTitle);
    }
    return *m_printer;
}

TGridPagePrinter TPrintPreviewHandler::PagesOnPrinter()
{
    QPrinter& printer = Printer();
    m_organiser.ApplyTo(printer);
    TGridPagePrinter pages(*previewgrid, m_organiser);
    pages.Layout(printer, QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size()));
    return pages;
}

int TPrintPreviewHandler::PageCount() { return previewgrid ? PagesOnPrinter().PageCount() : 0; }

void TPrintPreviewHandler::PaintShownPage(QPrinter& printer)
{
    if (!previewgrid)
        return;
    QPainter painter(&printer);
    PaintCurrentPage(painter, printer, QRectF(QPointF(0, 0), printer.pageRect(QPrinter::DevicePixel).size()));
}

void TPrintPreviewHandler::PaintCurrentPage(QPainter& painter, QPaintDevice& device, const QRectF& page)
{
    if (!previewgrid)
        return;
    TGridPagePrinter pages(*previewgrid, m_organiser);
    pages.Layout(device, page);
    m_currentPage = std::clamp(m_currentPage, 0, pages.PageCount() - 1);
    pages.PaintPage(painter, m_currentPage);
}

bool TPrintPreviewHandler::PreviewShowsGrid() const { return m_form && m_form->isVisible() && m_form->fPreviewFormGrid == previewgrid; }

void TPrintPreviewHandler::Command(int code)
{
    if (!previewgrid || PrintPreviewBusy || !PreviewShowsGrid())
        return;
    const TGridPagePrinter pages = PagesOnPrinter();
    switch (code) {
    case kPrintNextPage:
        if (m_currentPage < pages.PageCount() - 1)
            ++m_currentPage;
        break;
    case kPrintPreviousPage:
        if (m_currentPage > 0)
            --m_currentPage;
        break;
    case kPrintStoreRecord:
        m_organiser.Store();
        m_form->Redraw();
        return;
    case kPrintPrint:
        PrintGrid(m_form);
        return;
    case kPrintStorePrefs:
        m_organiser.Store();
        break;
    default: break;
    }
    ShowCurrentPage(pages);
}

void TPrintPreviewHandler::GoToPage(int page)
{
    if (!previewgrid || PrintPreviewBusy || !PreviewShowsGrid())
        return;
    const TGridPagePrinter pages = PagesOnPrinter();
    m_currentPage = std::clamp(page, 0, std::max(0, pages.PageCount() - 1));
    ShowCurrentPage(pages);
}

void TPrintPreviewHandler::ShowCurrentPage(const TGridPagePrinter& pages)
{
    // The grid shows the page: its top row is the page's first, its current row stays.
    const int current = previewgrid->Row();
    if (current > 0)
        previewgrid->SetRow(current);
    previewgrid->SetTopRow(std::max(1, pages.FirstRowOfPage(m_currentPage)));
    m_form->Redraw();
}

bool TPrintPreviewHandler::PrintGrid(QWidget* parent)
{
    if (!previewgrid || PrintPreviewBusy)
        return false;
    QPrinter& printer = Printer();
    m_organiser.ApplyTo(printer);
    int pages = PageCount();
    QPrintDialog dialog(&printer, parent);
    dialog.setWindowTitle(kPrintJobTitle);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, pages);
    dialog.setFromTo(m_organiser.FirstPage, m_organiser.LastPage > 0 ? m_organiser.LastPage : pages);
    if (RunModalDialog(dialog) != QDialog::Accepted)
        return false;
    // What the user chose in the dialog stays for the next time.
    m_organiser.Orientation = printer.pageLayout().orientation();
    m_organiser.PageSize = printer.pageLayout().pageSize();
    if (printer.printRange() == QPrinter::PageRange)
        m_organiser.SetChoice(printer.fromPage(), printer.toPage());
    else
        m_organiser.SetChoice(1, 0);
    m_organiser.ApplyTo(printer);
    pages = PageCount();
    const int first = std::min(m_organiser.FirstPage, pages);
    const int last = m_organiser.LastPage > 0 ? std::min(m_organiser.LastPage, pages) : pages;
    if (!AreYouSureYouWantTo(QStringLiteral("print %1 page(s)").arg(last - first + 1)))
        return false;
    PrintPreviewBusy = true;
    global_panic_state = kPanicRun;
    GlobalProgress().ClearAllAndShow(parent ? parent->window()->geometry().center() : QPoint(), 1);
    TGridPagePrinter printerPages(*previewgrid, m_organiser);
    const bool ok = printerPages.Print(printer, first - 1, last - 1);
    GlobalProgress().Hide();
    PrintPreviewBusy = false;
    return ok;
}

} // namespace cv
