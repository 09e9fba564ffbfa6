#pragma once
// A private little suite for one test: its own settings buffer, controller
// mutex, message sockets and controller log (through the environment, which
// started processes inherit), and clean-up of every process it started.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "support/test_support.h"

namespace cvtest {

class TSuiteSandbox {
public:
    TSuiteSandbox();
    ~TSuiteSandbox();
    TSuiteSandbox(const TSuiteSandbox&) = delete;
    TSuiteSandbox& operator=(const TSuiteSandbox&) = delete;

    QString Dir() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.file(name); }

    // The controller as a child of the test with its standard input open for
    // commands (its log goes to ControllerLog() only); returns once it
    // reports itself initialised (null on failure).
    QProcess* StartController();
    QString ControllerLog() const;
    // Stops a controller however it was started (its process id is in the buffer).
    void StopController();
    // Runs the peer tool program to its end; its output, and the exit code in *code.
    QString RunPeer(const QStringList& args, int* code, int timeoutMs = 30000);
    // Starts the peer without waiting.
    QProcess* StartPeer(const QStringList& args);

private:
    TempDir m_dir;
    std::vector<std::unique_ptr<QProcess>> m_children;
    QStringList m_setVariables;
};

// Waits until the controller's log holds the text.
bool WaitForLog(const TSuiteSandbox& sandbox, const QString& text, int timeoutMs = 10000);
// Waits, pumping events, until the text appears in the process's output so far.
bool WaitForOutput(QProcess& p, const QString& text, QString* seen, int timeoutMs = 10000);

} // namespace cvtest
