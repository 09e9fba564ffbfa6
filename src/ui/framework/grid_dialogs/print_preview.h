#pragma once
// "Print Preview": the printed pages of a result grid on screen (Qt's
// preview of the printer's pages), one page at a time, with zoom, page
// buttons, orientation, colour or monochrome, a header and a footer, and
// print. The pages are drawn by the owner's print handler; the page layout
// is the printer organiser's.

#include <QByteArray>
#include <QPageLayout>
#include <QPicture>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <memory>

#include "ui/framework/dialog_base/dialog_support.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPrintPreviewWidget;
class QPrinter;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace cv {

class TBasePrintHandler;
class TCV_Grid;
class TPrinterOrganiser;

class TCVFormPrintPreview final : public TRememberingDialog {
public:
    explicit TCVFormPrintPreview(QWidget* parent = nullptr);
    ~TCVFormPrintPreview() override;

    void AssignStuff(TBasePrintHandler* handler, TPrinterOrganiser* organiser, QWidget* ownerForm);
    void SetPreviewGrid(TCV_Grid* grid);
    // Sets the pages up from the organiser and draws the current page.
    void Redraw();
    // The current page as a picture in Stream.
    void SaveToAStream();
    // The caption: the printer's name and the orientation.
    QString PrinterAndOrientation() const;

    // --- handlers (also driven by tests) ---
    void ZoomChange(const QString& text);
    void Zoom100Click(bool on);
    void FitToPageClick();
    void OrientationClick(QPageLayout::Orientation orientation);
    void MonochromeClick();
    // The two edits' texts to the organiser.
    void ApplyHeaderAndFooter();
    void NextPageClick();
    void PreviousPageClick();
    void FirstPageClick();
    void LastPageClick();
    // Shows the page (from 1) at once, however far from the one shown.
    void GoToPageNumber(int page);
    void PrintClick();
    void HelpClick();

    // --- fields ---
    QPointer<TCV_Grid> fPreviewFormGrid;
    QPointer<QWidget> fOwnerForm;
    // Told when the page set-up changed (the window stores it).
    std::function<void()> fPrintSettingsChanged;
    TPrinterOrganiser* fPrintOrganiser = nullptr;
    QByteArray Stream;
    int32_t last_zoom = 50;
    int32_t zoom_percent = 50;
    int32_t page_fits_scrollbox_percent = 50;
    bool last_zoom100 = false;
    QRect printpreview_last;
    bool has_shown_print_preview = false;
    TBasePrintHandler* PreviewHandler = nullptr;
    QPicture MetaFile;

    // --- controls ---
    QPrintPreviewWidget* PreviewImage = nullptr;
    QComboBox* ZoomCombo = nullptr;
    QToolButton* Zoom100Button = nullptr;
    QToolButton* FitButton = nullptr;
    QToolButton* PortraitButton = nullptr;
    QToolButton* LandscapeButton = nullptr;
    QToolButton* MonochromeButton = nullptr;
    QToolButton* FirstButton = nullptr;
    QToolButton* PreviousButton = nullptr;
    QToolButton* NextButton = nullptr;
    QToolButton* LastButton = nullptr;
    // The page shown; a number typed there (with Enter) goes to that page.
    QSpinBox* PageBox = nullptr;
    QToolButton* PrintButton = nullptr;
    QToolButton* HelpButton = nullptr;
    QTabWidget* Pages = nullptr;
    QLineEdit* HeaderEdit = nullptr;
    QLineEdit* FooterEdit = nullptr;
    QCheckBox* ShowHeaderBox = nullptr;
    QCheckBox* ShowFooterBox = nullptr;
    QLabel* PageLabel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void ApplyZoom();
    void ComputeFitPercent();
    void FillZoomList();
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace cv
