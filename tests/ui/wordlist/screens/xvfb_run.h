#pragma once
// Runs a walk program on a fresh Xvfb screen of its own, with DISPLAY, the
// xcb platform, CV_SCREENSHOT_DIR (also its temporary folder) and a settings
// buffer of no suite; the server ends with the run.

#include <QDir>
#include <QProcess>
#include <QString>

#include "support/xvfb_server.h"

namespace screens_test {

struct TWalkRun {
    bool started = false; // the server ran
    bool finished = false;
    int exitCode = -1;
    QString out;
    QString err;
};

using test_support::TXvfbServer;
using test_support::XvfbProgram;

inline TWalkRun RunOnXvfb(const QString& program, const QString& dir, const QString& screen, int timeoutMs)
{
    TWalkRun run;
    const TXvfbServer server(screen);
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
