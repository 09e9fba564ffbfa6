#pragma once
// The detailed exception dialog: the error sign and message, OK / Terminate
// (or Restart) / Details / an optional custom button, three check boxes
// (send the report, attach a screenshot, copy to the clipboard) and a link
// to the support page. Compact, it shows the message and the buttons, sized
// to the message; detailed, it can be resized and shows the report in a tab
// control (tab_pages.h), its position, size and state kept in
// "Crashbox.ini", section "Coordinates".
//
// It leaves SendChecked, ScreenshotChecked, CopyChecked, TerminateRequested
// and DialogCancelled in the shared state (dialog_state.h) and stores the
// send and screenshot choices in the options.

#include <QRect>

#include "crashreport/dialogs/dialog_toolkit.h"
#include "crashreport/dialogs/exception_dialog.h"
#include "crashreport/dialogs/tab_pages.h"

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QTabBar;

namespace cv {

// Where the detailed window stands: outer pixels; show state 1 normal,
// 3 maximised, 6 minimised.
struct TDetailedWindow {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int ShowState = 1;
    bool Remembered = false; // a detailed size was taken while the dialog was up
};

// The height of the check-box area: 0 when none of send, screenshot, copy
// and support link is offered; 34 for send with screenshot, or copy with
// the link; else 20.
int CheckBoxAreaHeight(bool sendShown, bool screenshotShown, bool copyShown, bool supportLinkShown);

// The compact layout of a message (and the check-box captions' line):
// window width and height in outer pixels and the label's text height.
struct TCompactLayout {
    int WindowWidth = 0;
    int WindowHeight = 0;
    int LabelWidth = 0;
    int TextHeight = 0;
};
TCompactLayout CompactLayout(const TTextMeasurer& measurer, const QFont& font, const QString& message,
                             const QString& checkBoxLine, int captionHeight);

// The stored detailed window, centred on the work area when missing or
// when any part of it lies outside.
TDetailedWindow LoadDetailedWindowCoordinates(const QRect& workArea, int checkBoxAreaHeight);
void SaveDetailedWindowCoordinates(const TDetailedWindow& window, int checkBoxAreaHeight);

class TDetailedDialog final : public TCrashDialog {
public:
    TDetailedDialog(TExceptionDialogHost& host, const TTextMeasurer& measurer, QWidget* parent = nullptr);
    ~TDetailedDialog() override;

    bool DetailsShown() const { return m_detailsShown; }
    bool ScreenshotOptionShown() const { return m_screenshotShown; }
    bool CopyOptionShown() const { return m_copyShown; }
    bool SupportLinkShown() const { return m_linkShown; }
    int CheckBoxArea() const { return m_checkBoxArea; }
    const TDetailedWindow& DetailedWindow() const { return m_window; }
    QRect LinkRect() const { return m_link.Rect; }

    QLabel* MessageLabel() const { return m_message; }
    QPushButton* OKButton() const { return m_ok; }
    QPushButton* TerminateButton() const { return m_terminate; }
    QPushButton* DetailsButton() const { return m_details; }
    QPushButton* CustomButton() const { return m_custom; }
    QCheckBox* SendCheck() const { return m_sendCheck; }
    QCheckBox* ScreenshotCheck() const { return m_screenshotCheck; }
    QCheckBox* CopyCheck() const { return m_copyCheck; }
    QTabBar* Tabs() const { return m_tabs; }
    QWidget* TabArea() const { return m_tabArea; }
    TTabPageWidget* CurrentPage() const { return m_page; }
    // The page shown at a tab position (the modules pages may be absent).
    TTabPage PageAtTab(int position) const;
    // The width of every button.
    int ButtonWidth() const;

    void OKClicked();
    void TerminateClicked();
    void DetailsClicked();
    void CustomClicked();
    void SendToggled();
    void reject() override;
    void MouseMoved(const QPoint& at);
    void LeftButtonUp(const QPoint& at);
    // Shows a page: page <= 0 is page number -page, a positive value a tab position.
    void ShowTabPage(int page);

    void done(int result) override;

protected:
    void NeverPainted() override;
    void AutoClose() override;
    void moveEvent(QMoveEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void SetDetailedMode(bool detailed);
    void Relayout();
    void FitTabPage();
    void Paint(QPainter& painter);
    void EndWith(TExceptionDialogType kind);
    // The detailed window's position, unless it is maximised or minimised.
    void RememberPosition();

    TExceptionDialogHost& m_host;
    bool m_initialised = false;
    bool m_detailsShown = false;
    bool m_screenshotShown = false;
    bool m_copyShown = false;
    bool m_linkShown = false;
    bool m_terminateShown = false;
    bool m_hasModules = false;
    bool m_hasAssembler = false;
    int m_checkBoxArea = 0;
    TDetailedWindow m_window;
    TDialogLink m_link;
    bool m_finished = false;
    QImage m_errorPicture;
    QColor m_background;

    QLabel* m_message = nullptr;
    QWidget* m_tabArea = nullptr;
    QTabBar* m_tabs = nullptr;
    QFrame* m_panel = nullptr;
    TTabPageWidget* m_page = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_terminate = nullptr;
    QPushButton* m_details = nullptr;
    QPushButton* m_custom = nullptr;
    QCheckBox* m_sendCheck = nullptr;
    QCheckBox* m_screenshotCheck = nullptr;
    QCheckBox* m_copyCheck = nullptr;
};

} // namespace cv
