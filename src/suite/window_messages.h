#pragma once
// Posted window messages between the windows of one process and between the
// processes of the suite.
//
// A window is any QObject registered here; it gets a TWindowHandle that names
// its process, so the handle can be stored in the settings buffer and used by
// another process. A message posted to a window of this process arrives as a
// TWindowMessageEvent through Qt's event loop; one for a window of another
// process travels over a local socket to that process's message server
// (frame layout in docs/window-messages.md) and is posted there.
//
// Like the system's posted messages, delivery is asynchronous: a message is
// handled when the receiving process's event loop runs, which during a long
// job means when the job calls the yield routine MyYieldProcess.

#include <QEvent>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "suite/controller_codes.h"
#include "suite/window_handle.h"

namespace cv {

class TWindowMessageEvent final : public QEvent {
public:
    TWindowMessageEvent(TWindowHandle target, uint32_t msg, uint64_t wparam, int64_t lparam);
    static QEvent::Type EventType();

    TWindowHandle Target;
    uint32_t Msg;
    uint64_t WParam;
    int64_t LParam;
};

// The window handle the suite posts back to: this tool's main window.
extern TWindowHandle mini_global_own_HWnd;

// Registers a receiver; its messages arrive as TWindowMessageEvent. The
// message server of this process is started on the first registration.
TWindowHandle RegisterWindow(QObject* receiver);
void UnregisterWindow(TWindowHandle wnd);
// A window of this process that is registered, or a window of another
// process that is still running.
bool IsWindow(TWindowHandle wnd);

// Whether a message posted now could be delivered: a window of this process
// that is registered, or a window of another process whose message server
// takes a connection from us. Call from the main thread.
bool CanReachWindow(TWindowHandle wnd);

// Posts a message; false when the window does not exist or its process
// cannot be reached. Call from the main thread.
bool PostMessage(TWindowHandle wnd, uint32_t msg, uint64_t wparam = 0, int64_t lparam = 0);

// Waits (pumping nothing) until messages posted to other processes have left
// this process, at most msecs; for short-lived senders before they exit.
bool FlushPostedMessages(int msecs = 2000);

// The suite's yield routine: lets the event loop handle pending messages and
// input, so a long job keeps its window alive and sees cancel commands.
void MyYieldProcess();

// Starts this process's message server (RegisterWindow does it too).
bool StartMessageServer(QString* error = nullptr);
// Socket of a process's message server: $CV_MESSAGE_SOCKET_DIR, else the
// suite's own temporary folder (private_files.h), holds "cv-wm-<pid>.sock".
QString MessageServerName(int64_t pid);

// A ready-made receiver: registers on construction, unregisters on
// destruction, and hands every message to a handler.
class TMessageWindow : public QObject {
public:
    using THandler = std::function<void(uint32_t msg, uint64_t wparam, int64_t lparam)>;
    explicit TMessageWindow(THandler handler = {}, QObject* parent = nullptr);
    ~TMessageWindow() override;

    TWindowHandle Handle() const { return m_handle; }
    void SetHandler(THandler handler) { m_handler = std::move(handler); }

protected:
    bool event(QEvent* e) override;
    virtual void HandleMessage(uint32_t msg, uint64_t wparam, int64_t lparam);

private:
    TWindowHandle m_handle;
    THandler m_handler;
};

} // namespace cv
