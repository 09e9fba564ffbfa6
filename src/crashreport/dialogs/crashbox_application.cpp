#include "crashreport/dialogs/crashbox_application.h"

#include <QMetaObject>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_thread.h"

namespace cv {

namespace {

struct TNotifyCall {
    TCrashboxApplication* application;
    QObject* receiver;
    QEvent* event;
};

// The events of the window system while the window thread waits for a
// report: a few at a time, the user's input left for later.
void PumpWindowEvents() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10); }

void RestoreMainWindow()
{
    // Widgets change on their own thread only (a window thread that cannot
    // serve gets its dialog from a reporter process anyway).
    if (QThread::currentThread() != QCoreApplication::instance()->thread())
        return;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && window->isMinimized()) {
            window->showNormal();
            window->raise();
        }
}

QRect ForegroundWorkArea()
{
    QWidget* active = QApplication::activeWindow();
    QScreen* screen = active && active->windowHandle() ? active->windowHandle()->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

std::pair<std::string, std::string> FocusedControl()
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return {};
    QString text = focus->property("text").toString();
    if (text.isEmpty())
        text = focus->property("plainText").toString();
    return {focus->metaObject()->className(), text.toStdString()};
}

} // namespace

TCrashboxApplication::TCrashboxApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    QPointer<TCrashboxApplication> self(this);
    SetGuiThreadPoster([self](std::function<void()> procedure) {
        if (self)
            QMetaObject::invokeMethod(self.data(), std::move(procedure), Qt::QueuedConnection);
    });
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.PumpMessages = PumpWindowEvents;
    services.RestoreMainWindow = RestoreMainWindow;
    services.ForegroundWorkArea = ForegroundWorkArea;
    services.FocusedControl = FocusedControl;
    services.WindowedProgram = [] { return true; };
    SetExceptionHandlerServices(std::move(services));
}

TCrashboxApplication::~TCrashboxApplication()
{
    SetGuiThreadPoster({});
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.PumpMessages = nullptr;
    services.RestoreMainWindow = nullptr;
    services.ForegroundWorkArea = nullptr;
    services.FocusedControl = nullptr;
    services.WindowedProgram = nullptr;
    SetExceptionHandlerServices(std::move(services));
}

bool TCrashboxApplication::notify(QObject* receiver, QEvent* event)
{
    TNotifyCall call{this, receiver, event};
    return CallApplicationDoor(
        [](void* data) {
            auto* c = static_cast<TNotifyCall*>(data);
            return c->application->DeliverEvent(c->receiver, c->event);
        },
        &call);
}

bool TCrashboxApplication::DeliverEvent(QObject* receiver, QEvent* event) { return QApplication::notify(receiver, event); }

} // namespace cv
