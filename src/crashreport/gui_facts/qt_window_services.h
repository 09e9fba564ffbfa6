#pragma once
// The crash report's window services from Qt: the program's top-level
// windows and the clipboard.
//
// The windows are recorded on the window thread whenever one is shown,
// hidden, moved, resized, retitled or activated (an event filter of the
// application object), and read from any thread under a lock: the report
// is built on a thread of its own while the window thread waits.

#include <QObject>

#include <mutex>
#include <vector>

#include "crashreport/core/capture/window_services.h"

namespace cv {

class TQtWindowServices final : public QObject, public TWindowServices {
    Q_OBJECT
public:
    // Made on the window thread, after the application object.
    explicit TQtWindowServices(QObject* parent = nullptr);
    ~TQtWindowServices() override;

    std::vector<TTopLevelWindow> TopLevelWindows() const override;
    bool SetClipboardText(const std::string& text) override;
    // On X11 a selection lives as long as its owner: the clipboard outlives
    // the process only when a clipboard manager runs (the selection
    // CLIPBOARD_MANAGER has an owner), which Qt hands the clipboard at exit.
    // Elsewhere (Wayland, no screen) it is not known to: false.
    bool ClipboardOutlivesProcess() const override;

    // Records the windows again (window thread only).
    void Record();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RecordSoon();

    mutable std::mutex m_lock;
    std::vector<TTopLevelWindow> m_windows;
    bool m_recordQueued = false;
};

} // namespace cv
