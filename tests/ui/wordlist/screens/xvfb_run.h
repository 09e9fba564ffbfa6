#pragma once
// Runs a walk program on a fresh Xvfb screen of its own: a free display is
// found, the server started, the program run with DISPLAY, the xcb platform,
// CV_SCREENSHOT_DIR (also its temporary folder) and a settings buffer of no
// suite; the server ends with the run.

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QThread>

namespace screens_test {

struct TWalkRun {
    bool started = false; // the server ran
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

// A display number no X server uses now, from `first` on.
inline int FreeDisplay(int first)
{
    for (int n = first; n < first + 100; ++n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            return n;
    return -1;
}

// Empty when Xvfb is not installed.
inline QString XvfbProgram() { return QStandardPaths::findExecutable(QStringLiteral("Xvfb")); }

// An Xvfb server on the first free display from `first` on, for as long as
// the object lives.
class TXvfbServer {
public:
    TXvfbServer(const QString& screen, int first)
    {
        m_display = FreeDisplay(first);
        if (m_display < 0)
            return;
        m_server.start(XvfbProgram(), {Name(), QStringLiteral("-screen"), QStringLiteral("0"), screen,
                                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!m_server.waitForStarted(5000)) {
            m_display = -1;
            return;
        }
        for (int i = 0; i < 100 && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(m_display)); ++i)
            QThread::msleep(20);
    }
    ~TXvfbServer()
    {
        if (m_server.state() != QProcess::NotRunning) {
            m_server.terminate();
            m_server.waitForFinished(5000);
        }
    }
    TXvfbServer(const TXvfbServer&) = delete;
    TXvfbServer& operator=(const TXvfbServer&) = delete;

    bool Running() const { return m_display > 0; }
    // ":N", for DISPLAY.
    QString Name() const { return QStringLiteral(":%1").arg(m_display); }

private:
    int m_display = -1;
    QProcess m_server;
};

inline TWalkRun RunOnXvfb(const QString& program, const QString& dir, const QString& screen, int firstDisplay,
                          int timeoutMs)
{
    TWalkRun run;
    const TXvfbServer server(screen, firstDisplay);
    run.started = server.Running();
    if (!run.started)
        return run;

    QProcess walk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), server.Name());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("CV_SCREENSHOT_DIR"), dir);
    env.insert(QStringLiteral("CV_SETTINGS_BUFFER"), QDir(dir).filePath(QStringLiteral("no-suite.buf")));
    env.insert(QStringLiteral("TMPDIR"), dir);
    walk.setProcessEnvironment(env);
    walk.start(program, {});
    run.finished = walk.waitForFinished(timeoutMs);
    if (!run.finished) {
        walk.kill();
        walk.waitForFinished(5000);
    }
    run.exitCode = walk.exitCode();
    run.out = QString::fromLocal8Bit(walk.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(walk.readAllStandardError());
    return run;
}

} // namespace screens_test
