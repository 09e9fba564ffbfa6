#include "ui/framework/grid_dialogs/print_preview.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QShortcut>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

#include "suite/cv_format.h"
#include "suite/resource_strings.h"
#include "ui/framework/grid_dialogs/grid_printing.h"

namespace cv {

namespace {

constexpr int kHelpPrintPreview = 1343;
constexpr double kMillimetresPerInch = 25.4;

int DigitsOf(const QString& text, bool* any)
{
    QString digits;
    for (QChar c : text)
        if (c.isDigit())
            digits += c;
    *any = !digits.isEmpty();
    return digits.left(6).toInt();
}

QToolButton* Button(const QString& text, QLayout* layout)
{
    auto* b = new QToolButton;
    b->setText(text);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(b);
    return b;
}

} // namespace

TCVFormPrintPreview::TCVFormPrintPreview(QWidget* parent)
    : TRememberingDialog(QStringLiteral("FormPrintPreview"), parent), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setWindowTitle(QStringLiteral("Print Preview"));
    MakeOwnTaskbarWindow(*this);
    auto* tools = new QHBoxLayout;
    FirstButton = Button(QStringLiteral("|<"), tools);
    FirstButton->setToolTip(QStringLiteral("First page (Home)"));
    PreviousButton = Button(QStringLiteral("<"), tools);
    PreviousButton->setToolTip(QStringLiteral("Previous page (Page Up)"));
    NextButton = Button(QStringLiteral(">"), tools);
    NextButton->setToolTip(QStringLiteral("Next page (Page Down)"));
    LastButton = Button(QStringLiteral(">|"), tools);
    LastButton->setToolTip(QStringLiteral("Last page (End)"));
    tools->addWidget(new QLabel(QStringLiteral("page")));
    PageBox = new QSpinBox;
    PageBox->setObjectName(QStringLiteral("PageBox"));
    PageBox->setRange(1, 1);
    // A number typed goes to its page when Enter is pressed (or the arrows are used), not digit by digit.
    PageBox->setKeyboardTracking(false);
    PageBox->setToolTip(QStringLiteral("Type a page number and press Enter"));
    tools->addWidget(PageBox);
    PageLabel = new QLabel;
    tools->addWidget(PageLabel);
    ZoomCombo = new QComboBox;
    ZoomCombo->setEditable(true);
    ZoomCombo->setInsertPolicy(QComboBox::NoInsert);
    tools->addWidget(ZoomCombo);
    Zoom100Button = Button(QStringLiteral("100%"), tools);
    Zoom100Button->setCheckable(true);
    FitButton = Button(CVFitToPage.toString(), tools);
    PortraitButton = Button(CVPortrait.toString(), tools);
    LandscapeButton = Button(CVLandscape.toString(), tools);
    MonochromeButton = Button(QStringLiteral("colour"), tools);
    PrintButton = Button(QStringLiteral("print"), tools);
    HelpButton = Button(QStringLiteral("help"), tools);
    tools->addStretch();

    PreviewImage = new QPrintPreviewWidget(m_printer.get());
    PreviewImage->setViewMode(QPrintPreviewWidget::SinglePageView);
    // The page moves with the mouse.
    if (auto* view = PreviewImage->findChild<QGraphicsView*>())
        view->setDragMode(QGraphicsView::ScrollHandDrag);

    Pages = new QTabWidget;
    auto* pagePage = new QWidget;
    auto* pageLayout = new QVBoxLayout(pagePage);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->addWidget(PreviewImage);
    Pages->addTab(pagePage, QStringLiteral("page"));
    auto* bands = new QWidget;
    HeaderEdit = new QLineEdit;
    FooterEdit = new QLineEdit;
    ShowHeaderBox = new QCheckBox(QStringLiteral("Show"));
    ShowFooterBox = new QCheckBox(QStringLiteral("Show"));
    ShowHeaderBox->setChecked(true);
    ShowFooterBox->setChecked(true);
    auto* headerRow = new QHBoxLayout;
    headerRow->addWidget(HeaderEdit, 1);
    headerRow->addWidget(ShowHeaderBox);
    auto* footerRow = new QHBoxLayout;
    footerRow->addWidget(FooterEdit, 1);
    footerRow->addWidget(ShowFooterBox);
    auto* bandsLayout = new QFormLayout(bands);
    bandsLayout->addRow(QStringLiteral("Header"), headerRow);
    bandsLayout->addRow(QStringLiteral("Footer"), footerRow);
    Pages->addTab(bands, QStringLiteral("header && footer"));

    auto* main = new QVBoxLayout(this);
    main->addLayout(tools);
    main->addWidget(Pages, 1);
    resize(700, 800);
    FillZoomList();

    connect(PreviewImage, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* printer) {
        if (PreviewHandler && fPreviewFormGrid)
            PreviewHandler->PaintShownPage(*printer);
    });
    connect(ZoomCombo, &QComboBox::textActivated, this, [this](const QString& t) { ZoomChange(t); });
    connect(Zoom100Button, &QToolButton::toggled, this, [this](bool on) { Zoom100Click(on); });
    connect(FitButton, &QToolButton::clicked, this, [this] { FitToPageClick(); });
    connect(PortraitButton, &QToolButton::clicked, this, [this] { OrientationClick(QPageLayout::Portrait); });
    connect(LandscapeButton, &QToolButton::clicked, this, [this] { OrientationClick(QPageLayout::Landscape); });
    connect(MonochromeButton, &QToolButton::clicked, this, [this] { MonochromeClick(); });
    connect(PreviousButton, &QToolButton::clicked, this, [this] { PreviousPageClick(); });
    connect(NextButton, &QToolButton::clicked, this, [this] { NextPageClick(); });
    connect(FirstButton, &QToolButton::clicked, this, [this] { FirstPageClick(); });
    connect(LastButton, &QToolButton::clicked, this, [this] { LastPageClick(); });
    connect(PageBox, &QSpinBox::valueChanged, this, [this](int page) { GoToPageNumber(page); });
    connect(PrintButton, &QToolButton::clicked, this, [this] { PrintClick(); });
    connect(HelpButton, &QToolButton::clicked, this, [this] { HelpClick(); });
    // Home and End (with Ctrl or without) go to the first and the last page,
    // Page Up and Page Down one page back and on, wherever the focus is but
    // in a text being edited (the page box, the header and footer).
    const auto key = [this](QKeySequence keys, void (TCVFormPrintPreview::*go)()) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, go);
    };
    key(QKeySequence(Qt::Key_Home), &TCVFormPrintPreview::FirstPageClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_Home), &TCVFormPrintPreview::FirstPageClick);
    key(QKeySequence(Qt::Key_End), &TCVFormPrintPreview::LastPageClick);
    key(QKeySequence(Qt::CTRL | Qt::Key_End), &TCVFormPrintPreview::LastPageClick);
    key(QKeySequence(Qt::Key_PageUp), &TCVFormPrintPreview::PreviousPageClick);
    key(QKeySequence(Qt::Key_PageDown), &TCVFormPrintPreview::NextPageClick);
    for (QLineEdit* edit : {HeaderEdit, FooterEdit})
        connect(edit, &QLineEdit::returnPressed, this, [this] { ApplyHeaderAndFooter(); });
    for (QCheckBox* box : {ShowHeaderBox, ShowFooterBox})
        connect(box, &QCheckBox::toggled, this, [this] { ApplyHeaderAndFooter(); });
    connect(Pages, &QTabWidget::currentChanged, this, [this](int index) {
        // Leaving "header && footer" applies both texts.
        if (index == 0)
            ApplyHeaderAndFooter();
    });
}

TCVFormPrintPreview::~TCVFormPrintPreview() = default;

void TCVFormPrintPreview::FillZoomList()
{
    ZoomCombo->clear();
    for (int z : {25, 50, 75, 100, 150, 200, 300})
        ZoomCombo->addItem(QStringLiteral("%1%").arg(z));
    ZoomCombo->addItem(CVFitToPage.toString());
}

void TCVFormPrintPreview::AssignStuff(TBasePrintHandler* handler, TPrinterOrganiser* organiser, QWidget* ownerForm)
{
    PreviewHandler = handler;
    fPrintOrganiser = organiser;
    fOwnerForm = ownerForm;
    zoom_percent = 50;
    page_fits_scrollbox_percent = 50;
    last_zoom100 = false;
    FillZoomList();
    if (organiser) {
        HeaderEdit->setText(organiser->Header);
        FooterEdit->setText(organiser->Footer);
    }
}

void TCVFormPrintPreview::SetPreviewGrid(TCV_Grid* grid) { fPreviewFormGrid = grid; }

QString TCVFormPrintPreview::PrinterAndOrientation() const
{
    QString name = m_printer->printerName();
    if (name.isEmpty())
        name = QPrinterInfo::defaultPrinterName();
    if (name.isEmpty())
        name = QStringLiteral("PDF");
    const bool landscape = fPrintOrganiser && fPrintOrganiser->Orientation == QPageLayout::Landscape;
    return Format(CVPrinternameAndPortraitOrLandScape, {name, landscape ? CVLandscape.toString() : CVPortrait.toString()});
}

void TCVFormPrintPreview::ComputeFitPercent()
{
    if (!fPrintOrganiser)
        return;
    // The whole page height in the room the preview has.
    const double pageHeightPixels =
        fPrintOrganiser->PageSizeMM().height() / kMillimetresPerInch * std::max(1, PreviewImage->logicalDpiY());
    if (pageHeightPixels > 0)
        page_fits_scrollbox_percent = std::max(1, int(std::lround(PreviewImage->height() * 100.0 / pageHeightPixels)));
}

void TCVFormPrintPreview::ApplyZoom()
{
    PreviewImage->setZoomMode(QPrintPreviewWidget::CustomZoom);
    PreviewImage->setZoomFactor(zoom_percent / 100.0);
}

void TCVFormPrintPreview::Redraw()
{
    if (fPrintOrganiser)
        fPrintOrganiser->ApplyTo(*m_printer);
    setWindowTitle(PrinterAndOrientation());
    // The preview holds the page shown only.
    PreviewImage->updatePreview();
    const int page = PreviewHandler ? PreviewHandler->CurrentPage() : 0;
    const int pages = PreviewHandler && fPreviewFormGrid ? PreviewHandler->PageCount() : 1;
    PageLabel->setText(QStringLiteral("%1 / %2").arg(page + 1).arg(std::max(1, pages)));
    {
        const QSignalBlocker quiet(PageBox);
        PageBox->setRange(1, std::max(1, pages));
        PageBox->setValue(page + 1);
    }
    FirstButton->setEnabled(page > 0);
    PreviousButton->setEnabled(page > 0);
    NextButton->setEnabled(page + 1 < pages);
    LastButton->setEnabled(page + 1 < pages);
    MonochromeButton->setText(fPrintOrganiser && fPrintOrganiser->Monochrome ? QStringLiteral("monochrome")
                                                                              : QStringLiteral("colour"));
    ApplyZoom();
}

void TCVFormPrintPreview::SaveToAStream()
{
    if (!fPrintOrganiser || !PreviewHandler)
        return;
    // The page at the screen's resolution, in its own units.
    QPicture picture;
    const QSizeF mm = fPrintOrganiser->PageSizeMM();
    const QRectF page = fPrintOrganiser->PageRectMM();
    QPainter painter(&picture);
    const double dpi = picture.logicalDpiX();
    auto px = [dpi](double v) { return v / kMillimetresPerInch * dpi; };
    painter.fillRect(QRectF(0, 0, px(mm.width()), px(mm.height())), Qt::white);
    PreviewHandler->PaintCurrentPage(painter, picture,
                                     QRectF(px(page.left()), px(page.top()), px(page.width()), px(page.height())));
    painter.end();
    MetaFile = picture;
    QBuffer buffer(&Stream);
    Stream.clear();
    buffer.open(QIODevice::WriteOnly);
    MetaFile.save(&buffer);
}

void TCVFormPrintPreview::ZoomChange(const QString& text)
{
    bool any = false;
    const int number = DigitsOf(text, &any);
    if (!any) {
        ComputeFitPercent();
        zoom_percent = page_fits_scrollbox_percent;
    } else {
        zoom_percent = std::clamp(number, 5, 1000);
        const QString entry = QStringLiteral("%1%").arg(zoom_percent);
        if (ZoomCombo->findText(entry) < 0) {
            // Before the first entry with a larger number.
            int at = ZoomCombo->count();
            for (int i = 0; i < ZoomCombo->count(); ++i) {
                bool has = false;
                if (DigitsOf(ZoomCombo->itemText(i), &has) > zoom_percent && has) {
                    at = i;
                    break;
                }
            }
            ZoomCombo->insertItem(at, entry);
        }
    }
    ApplyZoom();
}

void TCVFormPrintPreview::Zoom100Click(bool on)
{
    last_zoom100 = on;
    if (on) {
        last_zoom = zoom_percent;
        zoom_percent = 100;
        ZoomCombo->setCurrentText(QStringLiteral("100%"));
    } else {
        zoom_percent = last_zoom;
    }
    ApplyZoom();
}

void TCVFormPrintPreview::FitToPageClick()
{
    ZoomCombo->setCurrentText(CVFitToPage.toString());
    ZoomChange(CVFitToPage.toString());
}

void TCVFormPrintPreview::OrientationClick(QPageLayout::Orientation orientation)
{
    if (!fPrintOrganiser)
        return;
    fPrintOrganiser->Orientation = orientation;
    m_printer->setPageOrientation(orientation);
    if (fPrintSettingsChanged)
        fPrintSettingsChanged();
    Redraw();
}

void TCVFormPrintPreview::MonochromeClick()
{
    if (!fPrintOrganiser)
        return;
    fPrintOrganiser->Monochrome = !fPrintOrganiser->Monochrome;
    if (fPrintSettingsChanged)
        fPrintSettingsChanged();
    Redraw();
}

void TCVFormPrintPreview::ApplyHeaderAndFooter()
{
    if (!fPrintOrganiser)
        return;
    fPrintOrganiser->SetHeaderOrFooterAndWanted(HeaderEdit->text(), true,
                                                !HeaderEdit->text().isEmpty() && ShowHeaderBox->isChecked());
    fPrintOrganiser->SetHeaderOrFooterAndWanted(FooterEdit->text(), false,
                                                !FooterEdit->text().isEmpty() && ShowFooterBox->isChecked());
    Redraw();
}

void TCVFormPrintPreview::NextPageClick()
{
    if (PreviewHandler)
        PreviewHandler->Command(kPrintNextPage);
}

void TCVFormPrintPreview::PreviousPageClick()
{
    if (PreviewHandler)
        PreviewHandler->Command(kPrintPreviousPage);
}

void TCVFormPrintPreview::FirstPageClick() { GoToPageNumber(1); }

void TCVFormPrintPreview::LastPageClick() { GoToPageNumber(std::numeric_limits<int>::max()); }

void TCVFormPrintPreview::GoToPageNumber(int page)
{
    if (PreviewHandler)
        PreviewHandler->GoToPage(page - 1);
}

void TCVFormPrintPreview::PrintClick()
{
    if (PreviewHandler)
        PreviewHandler->Command(kPrintPrint);
}

void TCVFormPrintPreview::HelpClick() { PostHelpRequest(kHelpPrintPreview); }

void TCVFormPrintPreview::showEvent(QShowEvent* event)
{
    TRememberingDialog::showEvent(event);
    has_shown_print_preview = true;
}

void TCVFormPrintPreview::hideEvent(QHideEvent* event)
{
    printpreview_last = geometry();
    TRememberingDialog::hideEvent(event);
}

void TCVFormPrintPreview::resizeEvent(QResizeEvent* event)
{
    TRememberingDialog::resizeEvent(event);
    ComputeFitPercent();
}

} // namespace cv
