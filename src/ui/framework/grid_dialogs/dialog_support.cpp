#include "ui/framework/grid_dialogs/dialog_support.h"

#include <QDir>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QSettings>
#include <QShowEvent>
#include <QTabBar>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

#include "suite/cvbuf.h"
#include "suite/window_messages.h"

namespace cv {

namespace {

QString GeometryKey(const QWidget& dialog) { return QStringLiteral("geometry/") + dialog.objectName(); }

} // namespace

int RunModalDialog(QDialog& dialog)
{
    if (const TModalRunner& runner = TModalRunnerSlot::Current())
        return runner(dialog);
    return dialog.exec();
}

QString GridDialogSettingsFileName()
{
    QString folder = GetUserReadWriteFolder();
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    return QDir(folder).filePath(QStringLiteral("grid dialogs.ini"));
}

bool RestoreDialogGeometry(QWidget& dialog)
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    const QByteArray geometry = settings.value(GeometryKey(dialog)).toByteArray();
    return !geometry.isEmpty() && dialog.restoreGeometry(geometry);
}

void StoreDialogGeometry(const QWidget& dialog)
{
    QSettings settings(GridDialogSettingsFileName(), QSettings::IniFormat);
    settings.setValue(GeometryKey(dialog), dialog.saveGeometry());
}

TRememberingDialog::TRememberingDialog(const QString& objectName, QWidget* parent) : QDialog(parent)
{
    setObjectName(objectName);
}

QSize RoomForContents(const QWidget& dialog)
{
    QSize room = dialog.size().expandedTo(dialog.sizeHint());
    // Every tab of a page control in sight: its tab bar as wide as all its tabs.
    for (const QTabWidget* tabs : dialog.findChildren<QTabWidget*>()) {
        const int missing = tabs->tabBar()->sizeHint().width() + 8 - tabs->width();
        if (missing > 0 && tabs->isVisibleTo(&dialog))
            room.setWidth(std::max(room.width(), dialog.width() + missing));
    }
    // Never beyond the screen.
    if (const QScreen* screen = dialog.screen())
        room = room.boundedTo(screen->availableGeometry().size());
    return room;
}

void KeepInsideScreen(QWidget& window)
{
    const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const QRect frame = window.frameGeometry();
    // The frame's extra on each side, so that the frame, not only the client, stays in.
    const int extraWidth = frame.width() - window.width();
    const int extraHeight = frame.height() - window.height();
    const int width = window.width() + std::max(0, extraWidth);
    const int height = window.height() + std::max(0, extraHeight);
    const int left = std::max(area.left(), std::min(frame.left(), area.right() + 1 - width));
    const int top = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - height));
    if (left != frame.left() || top != frame.top())
        window.move(left, top);
}

void TRememberingDialog::showEvent(QShowEvent* event)
{
    bool placed = true;
    if (!m_restored) {
        m_restored = true;
        placed = RestoreDialogGeometry(*this);
    }
    // A size remembered from an earlier layout, or a layout's own too small
    // a guess, never hides a control or a tab.
    if (const QSize room = RoomForContents(*this); room != size())
        resize(room);
    if (!placed)
        PlaceWithoutStoredGeometry();
    KeepInsideScreen(*this);
    QDialog::showEvent(event);
}

void TRememberingDialog::hideEvent(QHideEvent* event)
{
    StoreDialogGeometry(*this);
    QDialog::hideEvent(event);
}

void PostHelpRequest(int helpContext)
{
    if (mini_global_own_HWnd != 0)
        PostMessage(mini_global_own_HWnd, kMsgHelpRequest, uint64_t(helpContext), 0);
}

void MakeOwnTaskbarWindow(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMinMaxButtonsHint);
}

bool KeepOnScreen(QWidget* window)
{
    QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        return false;
    const QRect area = screen->availableGeometry();
    const QRect frame = window->frameGeometry();
    const QSize margins = frame.size() - window->geometry().size();
    if (frame.width() > area.width() || frame.height() > area.height())
        window->resize(std::min(frame.width(), area.width()) - margins.width(),
                       std::min(frame.height(), area.height()) - margins.height());
    const QRect fitted = window->frameGeometry();
    const int dx = fitted.left() < area.left() ? area.left() - fitted.left()
                   : fitted.right() > area.right() ? area.right() - fitted.right() : 0;
    const int dy = fitted.top() < area.top() ? area.top() - fitted.top()
                   : fitted.bottom() > area.bottom() ? area.bottom() - fitted.bottom() : 0;
    if (dx == 0 && dy == 0 && fitted.size() == frame.size())
        return false;
    window->move(window->pos() + QPoint(dx, dy));
    return true;
}

void BringToFront(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    KeepOnScreen(window);
    window->raise();
    window->activateWindow();
    // The window manager frames a new window a moment later: its title bar
    // must be on the screen too.
    QTimer::singleShot(150, window, [window] { KeepOnScreen(window); });
}

} // namespace cv
