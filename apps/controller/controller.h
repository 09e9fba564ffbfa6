#pragma once
// The controller stand-in: holds the suite's mutex, owns the shared settings
// buffer, registers the controller's window, logs every message tools post to
// it and sends them commands typed on standard input.

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "suite/window_handle.h"

class QSocketNotifier;

namespace cv {

class TMessageWindow;
class TNamedMutex;

class TController final : public QObject {
public:
    struct TOptions {
        QString iniFile;      // settings that override the defaults
        QString logFile;      // the controller's log
        bool echo = true;     // log lines also go to standard output
        bool readStdin = true;
    };

    explicit TController(TOptions options);
    ~TController() override;

    // Takes the mutex, sets up the buffer and the window; false with a reason.
    bool Start(QString* error);
    // One command line ("send 233 0", "open file.lst", "stop", ...); false
    // when it was not understood or could not be sent.
    bool ExecuteCommand(const QString& line);
    void Log(const QString& line);

    TWindowHandle Handle() const;

private:
    void OnMessage(uint32_t msg, uint64_t wparam, int64_t lparam);
    bool SendCode(uint16_t code, int tool);
    void ReadStdin();
    void Finish();

    TOptions m_options;
    std::unique_ptr<TNamedMutex> m_mutex;
    std::unique_ptr<TMessageWindow> m_window;
    QSocketNotifier* m_stdin = nullptr;
    QByteArray m_stdinPending;
    int m_lastTool = -1;
    bool m_finished = false;
};

// Text of a code for the log ("progress: hide").
QString DescribeControllerCode(uint16_t code);

} // namespace cv
