#include "crashreport/dialogs/dialog_toolkit.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <cmath>

#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_handler.h"

namespace cv {

// --- Measuring text ---

TTextExtent TFontMetricsMeasurer::Extent(const QFont& font, const QString& text) const
{
    const QFontMetrics metrics(font);
    return {metrics.horizontalAdvance(text), metrics.lineSpacing()};
}

const TTextMeasurer& ScreenTextMeasurer()
{
    static const TFontMetricsMeasurer measurer;
    return measurer;
}

namespace {

bool IsWrapDelimiter(QChar c)
{
    switch (c.unicode()) {
    case 0x20: case 0x21: case 0x25: case 0x28: case 0x29: case 0x2D: case 0x3F:
    case 0x5B: case 0x5D: case 0x7B: case 0x7D: case 0xA7: case 0xB0:
        return true;
    default:
        return false;
    }
}

QStringList TextLines(const QString& text)
{
    QString normal = text;
    normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return normal.split(QLatin1Char('\n'));
}

} // namespace

int MeasureWrappedTextHeight(const TTextMeasurer& measurer, const QFont& font, const QString& text, int width)
{
    // A label narrower than the margin still wraps piece by piece.
    const int room = std::max(1, width - 6);
    int height = 0;
    for (const QString& line : TextLines(text)) {
        QStringList pieces;
        int start = 0;
        for (int i = 0; i < line.size(); ++i)
            if (IsWrapDelimiter(line[i])) {
                pieces << line.mid(start, i + 1 - start);
                start = i + 1;
            }
        if (start < line.size())
            pieces << line.mid(start);
        if (pieces.isEmpty())
            pieces << QStringLiteral(" ");
        int running = 0;
        for (const QString& piece : pieces) {
            const TTextExtent e = measurer.Extent(font, piece);
            if (running == 0)
                height += e.cy;
            running += e.cx;
            const int q = running / room;
            if (q > 0) {
                height += q * e.cy;
                running = e.cx;
            }
        }
    }
    return height;
}

int GetTextWidth(const TTextMeasurer& measurer, const QFont& font, const QString& text)
{
    return measurer.Extent(font, text).cx;
}

// --- Metrics, fonts ---

const TDialogMetrics& DialogMetrics()
{
    static const TDialogMetrics metrics;
    return metrics;
}

QSize DialogUnitsToPixels(int cx, int cy) { return {cx * 6 / 4, cy * 13 / 8}; }

TDialogFonts CreateDialogFonts()
{
    const QLocale::Script script = QLocale().script();
    const bool western = script == QLocale::LatinScript || script == QLocale::AnyScript;
    const QString face1 = western ? QStringLiteral("Verdana") : QStringLiteral("MS Sans Serif");
    const QString face2 = western ? QStringLiteral("Lucida Console") : QStringLiteral("Courier New");
    const QString face3 = western ? QStringLiteral("Tahoma") : QStringLiteral("Courier New");
    const int points = western ? 8 : 10;

    TDialogFonts fonts;
    const QFont title = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    fonts.Caption = QFont(face1);
    fonts.Caption.setStyleHint(QFont::SansSerif);
    fonts.Caption.setBold(true);
    if (title.pointSizeF() > 0)
        fonts.Caption.setPointSizeF(title.pointSizeF());
    else if (title.pixelSize() > 0)
        fonts.Caption.setPixelSize(title.pixelSize());

    fonts.Message = QApplication::font();
    fonts.MessageBoldUnderline = fonts.Message;
    fonts.MessageBoldUnderline.setBold(true);
    fonts.MessageBoldUnderline.setUnderline(true);
    fonts.MessageUnderline = fonts.Message;
    fonts.MessageUnderline.setBold(false);
    fonts.MessageUnderline.setUnderline(true);
    fonts.MessageBold = fonts.Message;
    fonts.MessageBold.setBold(true);
    fonts.MessageBold.setUnderline(false);

    fonts.Fixed = QFont(face2, points);
    fonts.Fixed.setStyleHint(QFont::Monospace);
    fonts.Fixed.setFixedPitch(true);
    fonts.List = QFont(face3, points);
    fonts.List.setStyleHint(QFont::SansSerif);
    return fonts;
}

TCaptionColors CaptionColors(bool active)
{
    // The colours as the caption was designed: 0x00BBGGRR values turned round.
    auto bgr = [](unsigned value) { return QColor(int(value & 0xFF), int((value >> 8) & 0xFF), int((value >> 16) & 0xFF)); };
    if (active)
        return {bgr(0xC29B82), bgr(0x404040), bgr(0x808080), bgr(0xFFFFFF), bgr(0x222222)};
    return {bgr(0x979797), bgr(0x303030), bgr(0x606060), bgr(0xE0E0E0), QColor()};
}

void PaintCaptionGradient(QPainter& painter, const QRect& captionRect, const QColor& start)
{
    QRect band = captionRect;
    int r = start.red(), g = start.green(), b = start.blue();
    const int bands = captionRect.height() / 5;
    for (int i = 0; i < bands; ++i) {
        painter.fillRect(band, QColor(r, g, b));
        band.setTop(band.top() + 2);
        band.setBottom(band.bottom() - 2);
        r = std::min(255, int(std::lround(r * 0.96)));
        g = std::min(255, int(std::lround(g * 0.96)));
        b = std::min(255, int(std::lround(b * 0.96)));
    }
}

QString PlainCaption(const std::string& text)
{
    QString caption = QString::fromStdString(text);
    QString plain;
    for (int i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
        }
        plain += caption[i];
    }
    return plain;
}

QString EditText(const std::string& reportText)
{
    return QString::fromStdString(reportText).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

std::string ReportText(const QString& editText)
{
    QString text = editText;
    return text.replace(QStringLiteral("\n"), QStringLiteral("\r\n")).toStdString();
}

QString ButtonCaptionText(const std::string& text)
{
    return QString::fromStdString(text).remove(QLatin1Char('&'));
}

// --- Work areas ---

QRect GetWindowWorkArea(const QWidget* window)
{
    QScreen* screen = nullptr;
    if (window) {
        screen = QGuiApplication::screenAt(window->frameGeometry().center());
        if (!screen && window->windowHandle())
            screen = window->windowHandle()->screen();
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 800, 600);
}

bool RunOnGuiThread(const std::function<void()>& procedure)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return false;
    RunOnApplicationThread(procedure);
    return true;
}

QRect GetForegroundWorkArea() { return GetWindowWorkArea(QApplication::activeWindow()); }

QRect DialogWorkArea()
{
    const QRect remembered = ExceptionDialogState().DialogWorkArea;
    return remembered.isValid() ? remembered : GetForegroundWorkArea();
}

bool GetMonitorsBounds(QRect& rect)
{
    if (QGuiApplication::screens().isEmpty())
        return false;
    auto nearest = [](const QPoint& point) {
        QScreen* best = QGuiApplication::screenAt(point);
        if (best)
            return best;
        long bestDistance = -1;
        for (QScreen* screen : QGuiApplication::screens()) {
            const QRect g = screen->geometry();
            const long dx = point.x() < g.left() ? g.left() - point.x() : point.x() > g.right() ? point.x() - g.right() : 0;
            const long dy = point.y() < g.top() ? g.top() - point.y() : point.y() > g.bottom() ? point.y() - g.bottom() : 0;
            const long distance = dx * dx + dy * dy;
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = screen;
            }
        }
        return best;
    };
    QScreen* first = nearest(rect.topLeft());
    QScreen* last = nearest(rect.bottomRight());
    if (!first || !last)
        return false;
    rect = first->geometry().united(last->geometry());
    return true;
}

// --- Running modally ---

int RunCrashDialog(QDialog& dialog)
{
    if (const TCrashDialogRunner& runner = TCrashDialogRunnerSlot::Current())
        return runner(dialog);
    return dialog.exec();
}

// --- The client area and the caption ---

TDialogClient::TDialogClient(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void TDialogClient::paintEvent(QPaintEvent*)
{
    // The client may cover the whole dialog: its paint shows the dialog is up.
    ExceptionDialogState().DialogPainted = true;
    if (!OnPaint)
        return;
    QPainter painter(this);
    OnPaint(painter);
}

void TDialogClient::mouseMoveEvent(QMouseEvent* event)
{
    if (OnMouseMove)
        OnMouseMove(event->position().toPoint());
    QWidget::mouseMoveEvent(event);
}

void TDialogClient::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && OnLeftButtonUp)
        OnLeftButtonUp(event->position().toPoint());
    QWidget::mouseReleaseEvent(event);
}

void TDialogClient::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (OnResize)
        OnResize();
}

TCaptionBar::TCaptionBar(const QString& caption, const QFont& font, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_font(font)
{
}

void TCaptionBar::SetActive(bool active)
{
    if (m_active == active)
        return;
    m_active = active;
    update();
}

void TCaptionBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const TCaptionColors colors = CaptionColors(m_active);
    PaintCaptionGradient(painter, rect(), colors.GradientStart);
    painter.setFont(m_font);
    const QRect text = rect().adjusted(4, 0, 0, 0);
    if (m_active) {
        painter.setPen(colors.Shadow);
        painter.drawText(text.translated(1, 0), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_caption);
    }
    painter.setPen(colors.Text);
    painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, m_caption);
}

void TCaptionBar::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
    QWidget::mousePressEvent(event);
}

void TCaptionBar::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton)
        window()->move(event->globalPosition().toPoint() - m_dragOffset);
    QWidget::mouseMoveEvent(event);
}

void TDialogLink::MouseMoved(QWidget& client, const QPoint& at)
{
    const bool hovered = !Rect.isNull() && Rect.contains(at);
    if (hovered != Hovered) {
        Hovered = hovered;
        client.setCursor(hovered ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    if (hovered)
        client.update(Rect);
}

// --- The base of the dialogs ---

TCrashDialog::TCrashDialog(const TCrashboxModuleOptions& options, const TTextMeasurer& measurer, QSize templateUnits,
                           QWidget* parent)
    : QDialog(parent), m_options(options), m_measurer(measurer), m_fonts(CreateDialogFonts())
{
    m_client = new TDialogClient(this);
    // Designed as a tool window: the small caption until the set-up says otherwise.
    m_captionHeight = DialogMetrics().CySmCaption;
    SetOuterSize(DialogUnitsToPixels(templateUnits.width(), templateUnits.height()) + NonClientSize());
    setFont(m_fonts.Message);
    m_autoCloseTimer.setInterval(1000);
    // Counted in whole seconds: a coarse tick may come up to 5% early.
    m_autoCloseTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_autoCloseTimer, &QTimer::timeout, this, [this] { AutoCloseTick(); });
    m_keepTimer.setInterval(10);
    connect(&m_keepTimer, &QTimer::timeout, this, [this] { KeepForegroundTick(); });
    m_paintedTimer.setInterval(20);
    connect(&m_paintedTimer, &QTimer::timeout, this, [this] {
        if (ExceptionDialogState().DialogPainted) {
            m_paintedTimer.stop();
        } else if (++m_paintedChecks * m_paintedTimer.interval() >= 1000) {
            m_paintedTimer.stop();
            NeverPainted();
        }
    });
    qApp->installEventFilter(this);
}

TCrashDialog::~TCrashDialog()
{
    qApp->removeEventFilter(this);
    StopAutoCloseTimer();
    StopKeepForeground();
}

QWidget* TCrashDialog::Client() const { return m_client; }

void TCrashDialog::SetupDialogWindow(bool keepToolStyle, bool classicDialog, const QString& caption)
{
    const bool lookAndFeel = m_options.ExceptionDialogOptions().Contains(edoUseCrashboxLookAndFeel);
    const bool normalCaption = !keepToolStyle && (!lookAndFeel || classicDialog);
    const QSize outer = OuterSize();
    ApplyWindowStyle(normalCaption, lookAndFeel && !classicDialog, caption);
    SetOuterSize(QSize(outer.width(), m_captionHeight + outer.height() - 18));
}

void TCrashDialog::ApplyWindowStyle(bool normalCaption, bool ownCaption, const QString& caption, bool resizable)
{
    m_captionActive = true;
    const QSize client = m_client->size();
    m_captionHeight = normalCaption ? DialogMetrics().CyCaption : DialogMetrics().CySmCaption;
    m_ownCaption = ownCaption;
    // Our caption holds its text whatever the font turned out to be.
    if (m_ownCaption)
        m_captionHeight = std::max(m_captionHeight, m_measurer.Extent(m_fonts.Caption, QStringLiteral("O")).cy + 4);

    setWindowTitle(caption);
    Qt::WindowFlags flags = (normalCaption ? Qt::Dialog : Qt::Tool) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowCloseButtonHint;
    if (resizable)
        flags |= Qt::WindowMaximizeButtonHint;
    if (m_ownCaption)
        flags = Qt::Dialog | Qt::FramelessWindowHint;
    m_topMost = m_options.ExceptionDialogOptions().Contains(edoShowInTopMostMode);
    if (m_topMost)
        flags |= Qt::WindowStaysOnTopHint;
    const bool visible = isVisible();
    setWindowFlags(flags);

    if (m_ownCaption && !m_captionBar) {
        m_captionBar = new TCaptionBar(caption, m_fonts.Caption, this);
        m_captionBar->show();
    } else if (!m_ownCaption && m_captionBar) {
        delete m_captionBar;
        m_captionBar = nullptr;
    }
    SetOuterSize(client + NonClientSize());
    if (visible)
        show();
}

void TCrashDialog::SetTopMost(bool topMost)
{
    if (m_topMost == topMost)
        return;
    m_topMost = topMost;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, topMost);
    if (visible)
        show();
}

void TCrashDialog::SetDetailedFrame(bool detailed)
{
    m_detailedFrame = detailed;
    update();
}

QSize TCrashDialog::NonClientSize() const
{
    const TDialogMetrics& m = DialogMetrics();
    return {2 * m.DialogFrameX(), 2 * m.DialogFrameY() + m_captionHeight};
}

QSize TCrashDialog::OuterSize() const { return m_client->size() + NonClientSize(); }

QRect TCrashDialog::OuterGeometry() const
{
    const QPoint at = m_ownCaption ? pos() : frameGeometry().topLeft();
    return {at, OuterSize()};
}

void TCrashDialog::SetOuterSize(const QSize& outer)
{
    const QSize client = (outer - NonClientSize()).expandedTo(QSize(1, 1));
    m_client->resize(client);
    if (m_ownCaption)
        resize(outer);
    else
        resize(client);
    PlaceParts();
}

void TCrashDialog::SetOuterGeometry(const QRect& outer)
{
    SetOuterSize(outer.size());
    move(outer.topLeft());
}

void TCrashDialog::GrowWindowHeight(int delta)
{
    const QSize outer = OuterSize();
    SetOuterSize(QSize(outer.width(), outer.height() + delta));
}

void TCrashDialog::CenterWindowInRect(const QRect& rect)
{
    const QSize outer = OuterSize();
    move(rect.left() + (rect.width() - outer.width()) / 2, rect.top() + (rect.height() - outer.height()) / 2);
}

void TCrashDialog::CenterWindowOnWorkArea(int width, int height)
{
    SetOuterSize(QSize(width, height));
    CenterWindowInRect(GetForegroundWorkArea());
}

void TCrashDialog::PlaceParts()
{
    if (m_ownCaption) {
        const TDialogMetrics& m = DialogMetrics();
        const int fx = m.DialogFrameX(), fy = m.DialogFrameY();
        if (m_captionBar)
            m_captionBar->setGeometry(fx, fy, width() - 2 * fx, m_captionHeight);
        m_client->move(fx, fy + m_captionHeight);
        m_client->resize(width() - 2 * fx, height() - 2 * fy - m_captionHeight);
    } else {
        m_client->setGeometry(0, 0, width(), height());
    }
}

void TCrashDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceParts();
}

void TCrashDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange) {
        m_captionActive = isActiveWindow();
        if (m_captionBar)
            m_captionBar->SetActive(m_captionActive);
        update();
    }
    QDialog::changeEvent(event);
}

void TCrashDialog::paintEvent(QPaintEvent* event)
{
    ExceptionDialogState().DialogPainted = true;
    if (!m_ownCaption) {
        QDialog::paintEvent(event);
        return;
    }
    // Our frame: the window's outline, the strips around the inner
    // rectangle, and the client's outline below the caption.
    QPainter painter(this);
    const TCaptionColors colors = CaptionColors(m_captionActive);
    const TDialogMetrics& m = DialogMetrics();
    const QRect window = rect();
    const QRect inner = window.adjusted(m.DialogFrameX(), m.DialogFrameY(), -m.DialogFrameX(), -m.DialogFrameY());
    painter.fillRect(QRect(window.left(), window.top(), inner.left(), window.height()), colors.InnerLines);
    painter.fillRect(QRect(window.left(), window.top(), window.width(), inner.top()), colors.InnerLines);
    painter.fillRect(QRect(inner.right() + 1, window.top(), window.right() - inner.right(), window.height()),
                     colors.InnerLines);
    painter.fillRect(QRect(window.left(), inner.bottom() + 1, window.width(), window.bottom() - inner.bottom()),
                     colors.InnerLines);
    painter.setPen(colors.Frame);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(window.adjusted(0, 0, -1, -1));
    QRect client = inner;
    client.setTop(inner.top() + m_captionHeight + 1);
    if (m_detailedFrame) {
        painter.drawRect(client.adjusted(-1, -1, 0, 0));
        painter.drawRect(inner.adjusted(-1, -1, 0, 0));
    } else {
        painter.drawRect(client.adjusted(-1, -1, 0, -1));
    }
}

bool TCrashDialog::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick: {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)))
            ResetAutoClose();
        break;
    }
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void TCrashDialog::StartAutoCloseTimer()
{
    if (m_options.AutoCloseDialogSecs() <= 0)
        return;
    m_autoCloseCounter = 0;
    m_autoCloseTimer.start();
}

void TCrashDialog::StopAutoCloseTimer() { m_autoCloseTimer.stop(); }

void TCrashDialog::AutoCloseTick()
{
    ++m_autoCloseCounter;
    if (m_options.AutoCloseDialogSecs() > 0 && m_autoCloseCounter >= m_options.AutoCloseDialogSecs()) {
        StopAutoCloseTimer();
        AutoClose();
    }
}

void TCrashDialog::StartKeepForeground()
{
    m_savedWindows.clear();
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window != this)
            m_savedWindows.emplace_back(window);
    m_keepTimer.start();
}

void TCrashDialog::StopKeepForeground()
{
    m_keepTimer.stop();
    m_savedWindows.clear();
}

void TCrashDialog::KeepForegroundTick()
{
    QWidget* active = QApplication::activeWindow();
    // Another program's window is in front (none of ours is active), or ours is.
    if (m_topMost || !active || active == this)
        return;
    const bool earlier =
        std::any_of(m_savedWindows.begin(), m_savedWindows.end(), [&](const QPointer<QWidget>& w) { return w == active; });
    if (!earlier)
        return; // a window opened after the dialog, such as a message box
    raise();
    activateWindow();
}

void TCrashDialog::StartPaintedCheck()
{
    m_paintedChecks = 0;
    m_paintedTimer.start();
}

void TCrashDialog::NeverPainted() { close(); }

void TCrashDialog::AutoClose() { close(); }

} // namespace cv
