#pragma once
// The crash report's window-system facts from Qt: the primary screen's mode
// and resolution, the default printer, and the program's active window.
//
// A report is built on a thread of its own while the window thread waits,
// so the facts are recorded on the window thread as they change (screens
// added or changed, the focus moving, a window's title changing) and read
// from any thread under a lock. The printer is asked once, just after the
// event loop starts, and again by Refresh.

#include <QObject>
#include <QPointer>
#include <QWindow>

#include <memory>
#include <mutex>

#include "crashreport/core/capture/system_facts.h"
#include "crashreport/gui_facts/qt_window_services.h"

namespace cv {

class TQtGuiFacts final : public QObject, public TGuiFacts {
    Q_OBJECT
public:
    // Made on the window thread, after the application object.
    explicit TQtGuiFacts(QObject* parent = nullptr);

    std::optional<TDisplayFacts> Display() const override;
    std::string DefaultPrinter() const override;
    TActiveWindowFacts ActiveWindow() const override;

    // Records every fact again (window thread only).
    void Refresh();

private:
    void RecordDisplay();
    void RecordPrinter();
    void RecordActiveWindow();
    void FollowScreen(QScreen* screen);
    void FollowWindow(QWindow* window);

    mutable std::mutex m_lock;
    std::optional<TDisplayFacts> m_display;
    std::string m_printer;
    TActiveWindowFacts m_window;
    QPointer<QWindow> m_followedWindow;
    QMetaObject::Connection m_titleConnection;
};

// The facts and the window services of this application, registered with
// the crash-report core for as long as this object lives. Make it on the window thread, after the
// application object, and let it go before that object.
class TQtGuiFactsRegistration {
public:
    TQtGuiFactsRegistration();
    ~TQtGuiFactsRegistration();
    TQtGuiFactsRegistration(const TQtGuiFactsRegistration&) = delete;
    TQtGuiFactsRegistration& operator=(const TQtGuiFactsRegistration&) = delete;

    TQtGuiFacts& Facts() { return *m_facts; }
    TQtWindowServices& WindowServices() { return *m_windows; }

private:
    std::unique_ptr<TQtGuiFacts> m_facts;
    std::shared_ptr<TQtWindowServices> m_windows;
};

} // namespace cv
