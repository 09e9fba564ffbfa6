#pragma once
// What every crash-report dialog shares: its fonts, the optional caption we
// paint ourselves (option edoUseCrashboxLookAndFeel), the window set-up
// (top-most, small or normal caption), placement on the work area of the
// monitor that shows the active window, the auto-close and keep-in-front
// timers, and measuring word-wrapped text.
//
// The dialogs lay their controls out in pixels, as arithmetic on measured
// texts; the arithmetic goes through a TTextMeasurer, so tests give a
// measurer of their own and check the positions exactly.
//
// A dialog's "outer" size is its client area plus a frame and a caption
// (TDialogMetrics): the sizes kept in "Crashbox.ini" and the window-height
// formulas are in outer pixels. With our own caption the window is that
// size; with the desktop's, Qt's window is the client area and the window
// manager adds its own frame.
//
// Only one crash-report dialog is up at a time (the handler takes one
// exception at a time); each dialog keeps its own fonts and timers.

#include <QDialog>
#include <QFont>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "suite/service_slot.h"

namespace cv {

// --- Measuring text ---

struct TTextExtent {
    int cx = 0;
    int cy = 0;
};

class TTextMeasurer {
public:
    virtual ~TTextMeasurer() = default;
    // The width and the line height of a one-line text in the font.
    virtual TTextExtent Extent(const QFont& font, const QString& text) const = 0;
};

// The screen's measure (QFontMetrics; the height is the line spacing).
class TFontMetricsMeasurer final : public TTextMeasurer {
public:
    TTextExtent Extent(const QFont& font, const QString& text) const override;
};
const TTextMeasurer& ScreenTextMeasurer();

// An estimate of the height of `text` word-wrapped into `width` pixels:
// lines at line breaks (an empty line counts as a blank), each line cut
// after blanks and the characters ! % ( ) - ? [ ] { } § °; a piece starts a
// new line when the running width reaches width - 6, and a piece wider than
// that adds its own width div (width - 6) lines.
int MeasureWrappedTextHeight(const TTextMeasurer& measurer, const QFont& font, const QString& text, int width);
int GetTextWidth(const TTextMeasurer& measurer, const QFont& font, const QString& text);

// --- Metrics, fonts, pictures ---

// The window metrics the layouts use, in pixels.
struct TDialogMetrics {
    int CxBorder = 1;
    int CxFrame = 4;      // a sizeable frame
    int CyFrame = 4;
    int CyCaption = 22;   // the normal caption
    int CySmCaption = 17; // the small (tool window) caption
    // The frame of a dialog around its client area (and around our own caption).
    int DialogFrameX() const { return CxFrame - 1; }
    int DialogFrameY() const { return CyFrame - 1; }
};
const TDialogMetrics& DialogMetrics();
// Dialog units of the dialogs' designed font (8-point, 6 x 13 pixels a
// character cell) in pixels.
QSize DialogUnitsToPixels(int cx, int cy);

struct TDialogFonts {
    QFont Caption;              // bold, face 1, the size of the desktop's title font
    QFont Message;              // the desktop's message font
    QFont MessageBoldUnderline;
    QFont MessageUnderline;
    QFont MessageBold;
    QFont Fixed;                // face 2, fixed pitch
    QFont List;                 // face 3
};
// Faces and size by the user's script: Latin (the Western code page) gives
// "Verdana", "Lucida Console", "Tahoma" at 8 pt; any other "MS Sans Serif",
// "Courier New", "Courier New" at 10 pt (the desktop finds its nearest).
TDialogFonts CreateDialogFonts();

// The colours of our own caption (active and inactive).
struct TCaptionColors {
    QColor GradientStart, Frame, InnerLines, Text, Shadow;
};
TCaptionColors CaptionColors(bool active);

// --- Threads ---

// Widgets live on the GUI thread: called from another thread, the procedure
// runs there and the caller waits (true; RunOnApplicationThread). False on
// the GUI thread itself or without an application: the caller runs it.
bool RunOnGuiThread(const std::function<void()>& procedure);

// --- Work areas ---

// The work area of the screen that shows the active window (the primary
// screen when no window of ours is active).
QRect GetForegroundWorkArea();
QRect GetWindowWorkArea(const QWidget* window);
// The work area the handler remembered for the dialogs of this exception,
// or, when it remembered none, the foreground one.
QRect DialogWorkArea();
// The union of the screens nearest to the rectangle's top-left and
// bottom-right corners; false (rectangle unchanged) when there are no screens.
bool GetMonitorsBounds(QRect& rect);

// --- Running modally ---

// Runs a dialog modally and gives QDialog's result. The program runs exec();
// tests install a runner that presses the dialog's buttons (through the
// guard), so no test waits on a modal loop.
using TCrashDialogRunner = std::function<int(QDialog& dialog)>;
int RunCrashDialog(QDialog& dialog);
// Its own slot, apart from the tool's dialog runner of the same type.
struct TCrashDialogRunnerTag;
using TCrashDialogRunnerSlot = TServiceSlot<TCrashDialogRunner, TCrashDialogRunnerTag>;
using TCrashDialogRunnerGuard = TCrashDialogRunnerSlot::TGuard;

// --- The base of the dialogs ---

class TCaptionBar;
class TDialogClient;

// A crash-report dialog: its client area (where the controls sit, at the
// pixel positions the layouts give), our own caption when the look and feel
// is on, its fonts, and the timers.
class TCrashDialog : public QDialog {
public:
    // templateUnits: the client size the dialog was designed with, in dialog units.
    TCrashDialog(const TCrashboxModuleOptions& options, const TTextMeasurer& measurer, QSize templateUnits,
                 QWidget* parent = nullptr);
    ~TCrashDialog() override;

    const TCrashboxModuleOptions& Options() const { return m_options; }
    const TTextMeasurer& Measurer() const { return m_measurer; }
    const TDialogFonts& Fonts() const { return m_fonts; }
    QWidget* Client() const;

    // CaptionActive := true; the small caption (kept tool style, or our own
    // caption) or the normal one; top-most with edoShowInTopMostMode; the
    // window height becomes the caption height plus the old height minus 18.
    // Our own caption is used when the look and feel is on, the style is not
    // kept and the dialog is not the classic one.
    void SetupDialogWindow(bool keepToolStyle, bool classicDialog, const QString& caption);
    // The caption alone: normal or small, ours or the desktop's; top-most
    // with edoShowInTopMostMode; resizable with a maximise button or not.
    void ApplyWindowStyle(bool normalCaption, bool ownCaption, const QString& caption, bool resizable = false);
    bool OwnCaption() const { return m_ownCaption; }
    bool TopMost() const { return m_topMost; }
    void SetTopMost(bool topMost);
    bool CaptionActive() const { return m_captionActive; }
    int CaptionHeight() const { return m_captionHeight; }
    // Our caption frames the client area differently in detailed mode.
    void SetDetailedFrame(bool detailed);

    // Outer size and position (client plus frame and caption).
    QSize NonClientSize() const;
    QSize OuterSize() const;
    QRect OuterGeometry() const;
    void SetOuterGeometry(const QRect& outer);
    void SetOuterSize(const QSize& outer);
    // The outer height grows by delta.
    void GrowWindowHeight(int delta);
    // Keeps the outer size; places it in the middle of the rectangle
    // (integer halves toward zero).
    void CenterWindowInRect(const QRect& rect);
    // Sets the outer size and centres it on the foreground work area.
    void CenterWindowOnWorkArea(int width, int height);

    // Auto-close: with AutoCloseDialogSecs > 0, a tick every second counts
    // the seconds without user activity and closes the dialog when it
    // reaches that number. Keys, clicks and the wheel anywhere in the dialog
    // start the count again.
    void StartAutoCloseTimer();
    void StopAutoCloseTimer();
    void ResetAutoClose() { m_autoCloseCounter = 0; }
    void AutoCloseTick();
    int AutoCloseCounter() const { return m_autoCloseCounter; }
    bool AutoCloseRunning() const { return m_autoCloseTimer.isActive(); }

    // Keep-in-front: every 10 ms, when one of the program's windows that
    // were open before the dialog comes to the front (and the dialog is not
    // top-most), the dialog is brought back in front of it. Windows opened
    // after the dialog (a message box) are left alone.
    void StartKeepForeground();
    void StopKeepForeground();
    void KeepForegroundTick();

    // The dialog closes itself when it has not been painted within a second
    // (it never really appeared); the caller then falls back to a message box.
    void StartPaintedCheck();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Called when the dialog never painted; closes it.
    virtual void NeverPainted();
    // Called when the auto-close count is reached; closes it.
    virtual void AutoClose();

private:
    void PlaceParts();

    const TCrashboxModuleOptions& m_options;
    const TTextMeasurer& m_measurer;
    TDialogFonts m_fonts;
    TCaptionBar* m_captionBar = nullptr;
    TDialogClient* m_client = nullptr;
    bool m_ownCaption = false;
    bool m_topMost = false;
    bool m_captionActive = true;
    bool m_detailedFrame = false;
    int m_captionHeight = 0;
    QTimer m_autoCloseTimer;
    int m_autoCloseCounter = 0;
    QTimer m_keepTimer;
    std::vector<QPointer<QWidget>> m_savedWindows;
    QTimer m_paintedTimer;
    int m_paintedChecks = 0;
};

// The client area of a crash-report dialog: the dialogs paint on it and
// follow its mouse and size through these hooks.
class TDialogClient final : public QWidget {
public:
    explicit TDialogClient(QWidget* parent);
    std::function<void(QPainter&)> OnPaint;
    std::function<void(const QPoint&)> OnMouseMove;
    std::function<void(const QPoint&)> OnLeftButtonUp;
    std::function<void()> OnResize;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

// Our own caption: the gradient, the frame lines and the text with its
// shadow; it moves the window when dragged.
class TCaptionBar final : public QWidget {
public:
    TCaptionBar(const QString& caption, const QFont& font, QWidget* parent);
    void SetActive(bool active);
    bool Active() const { return m_active; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString m_caption;
    QFont m_font;
    bool m_active = true;
    QPoint m_dragOffset;
};

// A link the dialog paints in its client area: where it is and whether
// the pointer is over it (the hand cursor shows while it is).
struct TDialogLink {
    QRect Rect; // null: no link
    bool Hovered = false;
    void MouseMoved(QWidget& client, const QPoint& at);
};

// The caption gradient: (height / 5) bands, each 2 pixels further in from
// top and bottom, each colour byte times 0.96 (rounded, at most 255).
void PaintCaptionGradient(QPainter& painter, const QRect& captionRect, const QColor& start);

// A message text in a dialog caption or label: "&" marks a mnemonic in the
// texts, which QLabel does not show; "&&" stays one "&".
QString PlainCaption(const std::string& text);
// Texts between the report (CR LF line breaks) and an edit box (LF).
QString EditText(const std::string& reportText);
std::string ReportText(const QString& editText);
// The caption's width as a button shows it: "&" removed.
QString ButtonCaptionText(const std::string& text);

} // namespace cv
