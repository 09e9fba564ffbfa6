#include "crashreport/gui_facts/qt_window_services.h"

#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <map>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace cv {

namespace {

TWindowHandle HandleOf(const QWindow* window) { return reinterpret_cast<TWindowHandle>(window); }

bool IsToolWindow(const QWindow& window)
{
    switch (window.type()) {
    case Qt::Tool:
    case Qt::ToolTip:
    case Qt::Popup:
    case Qt::SplashScreen:
    case Qt::Drawer:
        return true;
    default:
        return false;
    }
}

} // namespace

TQtWindowServices::TQtWindowServices(QObject* parent) : QObject(parent)
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
    Record();
}

TQtWindowServices::~TQtWindowServices()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

std::vector<TTopLevelWindow> TQtWindowServices::TopLevelWindows() const
{
    std::lock_guard guard(m_lock);
    return m_windows;
}

bool TQtWindowServices::SetClipboardText(const std::string& text)
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return false;
    const QString value = QString::fromStdString(text);
    if (QThread::currentThread() == thread()) {
        QGuiApplication::clipboard()->setText(value);
        return true;
    }
    return QMetaObject::invokeMethod(this, [value] { QGuiApplication::clipboard()->setText(value); }, Qt::QueuedConnection);
}

bool TQtWindowServices::ClipboardOutlivesProcess() const
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    const auto* x11 = app ? app->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return false;
    constexpr std::string_view kManager = "CLIPBOARD_MANAGER";
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, uint16_t(kManager.size()), kManager.data()), nullptr),
        &std::free);
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return false;
    std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr), &std::free);
    return owner && owner->owner != XCB_NONE;
}

bool TQtWindowServices::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowTitleChange:
    case QEvent::WindowActivate:
    case QEvent::Close:
        if (watched->isWindowType())
            RecordSoon();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void TQtWindowServices::RecordSoon()
{
    // A burst of events (a window being dragged) records once.
    if (m_recordQueued)
        return;
    m_recordQueued = true;
    QMetaObject::invokeMethod(this, [this] { Record(); }, Qt::QueuedConnection);
}

void TQtWindowServices::Record()
{
    m_recordQueued = false;
    std::vector<TTopLevelWindow> windows;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // A window of widgets is named by its widget's class.
        std::map<const QWindow*, const QWidget*> widgets;
        if (qobject_cast<QApplication*>(QCoreApplication::instance()))
            for (const QWidget* widget : QApplication::topLevelWidgets())
                if (const QWindow* handle = widget->windowHandle())
                    widgets[handle] = widget;
        const QWindow* focus = QGuiApplication::focusWindow();
        while (focus && focus->parent())
            focus = focus->parent();
        QWindowList list = QGuiApplication::topLevelWindows();
        // The active window is the front-most one.
        std::stable_partition(list.begin(), list.end(), [focus](const QWindow* w) { return w == focus; });
        for (const QWindow* window : list) {
            TTopLevelWindow w;
            w.Handle = HandleOf(window);
            w.Owner = HandleOf(window->transientParent());
            const auto widget = widgets.find(window);
            w.ClassName = widget != widgets.end() ? widget->second->metaObject()->className() : window->metaObject()->className();
            w.Title = window->title().toStdString();
            w.Visible = window->isVisible();
            w.ToolWindow = IsToolWindow(*window);
            const QRect r = window->frameGeometry();
            w.Rect = {r.x(), r.y(), r.x() + r.width(), r.y() + r.height()};
            windows.push_back(std::move(w));
        }
    }
    std::lock_guard guard(m_lock);
    m_windows = std::move(windows);
}

} // namespace cv
