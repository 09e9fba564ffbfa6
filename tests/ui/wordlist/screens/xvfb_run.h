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

inline TWalkRun RunOnXvfb(const QString& program, const QString& dir, const QString& screen, int firstDisplay,
                          int timeoutMs)
{
    TWalkRun run;
    const int display = FreeDisplay(firstDisplay);
    if (display < 0)
        return run;
    QProcess server;
    server.start(XvfbProgram(), {QStringLiteral(":%1").arg(display), QStringLiteral("-screen"), QStringLiteral("0"),
                                 screen, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    run.started = server.waitForStarted(5000);
    if (!run.started)
        return run;
    for (int i = 0; i < 100 && !QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(display)); ++i)
        QThread::msleep(20);

    QProcess walk;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":%1").arg(display));
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
    server.terminate();
    server.waitForFinished(5000);
    return run;
}

} // namespace screens_test
