#pragma once
// The program's application object with the crash-report core's door: an
// exception that escapes an event handler goes to the core (ExceptionManager)
// instead of through Qt's event loop, which cannot carry it, and the program
// goes on when the core has dealt with it.
//
// While it lives it also gives the core what only the window thread knows:
// the watchdog's way to ping the window thread, serving the window system's
// events while the window thread waits for a report, bringing the main
// window back from the task bar, the focused control and the work area of
// the screen the dialogs go to.
//
// Make it first thing in main, right after the core's start-up
// (InitExceptionLog), in place of QApplication.

#include <QApplication>

namespace cv {

class TCrashboxApplication : public QApplication {
public:
    TCrashboxApplication(int& argc, char** argv);
    ~TCrashboxApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

protected:
    // Delivers the event inside the door (QApplication::notify). A program
    // that deals with some exceptions of its event handlers itself (a
    // shortage of memory it can recover from) catches them here; what
    // escapes goes to the core.
    virtual bool DeliverEvent(QObject* receiver, QEvent* event);
};

} // namespace cv
