#include "crashreport/dialogs/screenshot.h"

#include <QApplication>
#include <QCursor>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <exception>

#include "crashreport/core/report/png_writer.h"
#include "crashreport/dialogs/dialog_pictures.h"
#include "crashreport/dialogs/dialog_toolkit.h"

namespace cv {

namespace {

struct TScreenshotState {
    QImage Picture;
    std::optional<QRect> Focus;
    std::optional<QPoint> Cursor;
    bool Remembered = false;
};

TScreenshotState& State()
{
    static TScreenshotState state;
    return state;
}

QRect DesktopRect()
{
    QScreen* primary = QGuiApplication::primaryScreen();
    return primary ? primary->virtualGeometry() : QRect(0, 0, 1, 1);
}

// The smallest rectangle around every visible top-level window of the program.
std::optional<QRect> ProcessWindowsRect()
{
    std::optional<QRect> bounds;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->frameGeometry().width() < 1)
            continue;
        bounds = bounds ? bounds->united(window->frameGeometry()) : window->frameGeometry();
    }
    return bounds;
}

// The screens' own pictures of the area; where they give none (a screen
// without pixels of its own), the program's windows drawn by themselves.
QImage GrabArea(const QRect& area)
{
    QImage picture(area.size(), QImage::Format_RGB32);
    picture.fill(Qt::black);
    QPainter painter(&picture);
    bool grabbed = false;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect part = screen->geometry().intersected(area);
        if (part.isEmpty())
            continue;
        const QPixmap pixels = screen->grabWindow(0, part.x() - screen->geometry().x(), part.y() - screen->geometry().y(),
                                                  part.width(), part.height());
        if (pixels.isNull())
            continue;
        painter.drawPixmap(part.topLeft() - area.topLeft(), pixels);
        grabbed = true;
    }
    if (!grabbed) {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->geometry().intersects(area))
                painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
    }
    return picture;
}

} // namespace

void RememberScreenshotFocus()
{
    std::optional<QRect> focus;
    if (const QWidget* widget = QApplication::focusWidget())
        focus = QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    RememberScreenshotFocus(focus, QCursor::pos());
}

void RememberScreenshotFocus(std::optional<QRect> focus, std::optional<QPoint> cursor)
{
    State().Focus = focus;
    State().Cursor = cursor;
    State().Remembered = true;
}

QRect ScreenshotArea(const TCrashboxModuleOptions& options)
{
    QRect area;
    if (options.CommonSendOptions().Contains(sndUseOnlyActiveWindow)) {
        const QWidget* active = QApplication::activeWindow();
        area = active ? active->frameGeometry() : DesktopRect();
    } else {
        const std::optional<QRect> windows = ProcessWindowsRect();
        area = windows.value_or(QRect());
        if (!windows || !GetMonitorsBounds(area))
            area = DesktopRect();
    }
    area.setWidth(std::max(1, area.width()));
    area.setHeight(std::max(1, area.height()));
    return area;
}

void DrawFocusAndCursor(QImage& picture, const QPoint& origin, const std::optional<QRect>& focus,
                        const std::optional<QPoint>& cursor)
{
    QPainter painter(&picture);
    if (focus && focus->isValid()) {
        const QRect frame = focus->translated(-origin);
        painter.setPen(QColor(255, 0, 0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(frame.adjusted(0, 0, -1, -1));
        painter.drawRect(frame.adjusted(1, 1, -2, -2));
    }
    if (cursor)
        painter.drawImage(*cursor - origin, ArrowCursor()); // the arrow's hot spot is its tip
}

void CaptureScreenshot(const TCrashboxModuleOptions& options)
{
    TScreenshotState& state = State();
    if (!state.Remembered)
        RememberScreenshotFocus();
    const QRect area = ScreenshotArea(options);
    state.Picture = GrabArea(area);
    DrawFocusAndCursor(state.Picture, area.topLeft(), state.Focus, state.Cursor);
}

const QImage& ScreenshotImage() { return State().Picture; }

bool SaveScreenshotToPNG(const std::string& fileName)
{
    const QImage& picture = State().Picture;
    if (fileName.empty() || picture.isNull())
        return false;
    try {
        const QImage pixels = picture.convertToFormat(QImage::Format_RGB32);
        const auto* bits = reinterpret_cast<const uint32_t*>(pixels.constBits());
        const int stride = int(pixels.bytesPerLine() / 4);
        const TPalettePicture reduced = ReduceToPalette(
            pixels.width(), pixels.height(), std::span<const uint32_t>(bits, std::size_t(stride) * pixels.height()), stride);
        return SaveScreenshotPNGFile(fileName, reduced);
    } catch (const std::exception&) {
        return false;
    }
}

void FreeScreenshot()
{
    TScreenshotState& state = State();
    state.Picture = QImage();
    state.Focus.reset();
    state.Cursor.reset();
    state.Remembered = false;
}

} // namespace cv
