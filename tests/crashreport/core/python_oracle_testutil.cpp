#include "python_oracle.h"

#include <QProcess>
#include <QStandardPaths>

namespace cvtest {

bool havePython() { return !QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty(); }

QByteArray runPython(const QString& script, const QStringList& args, const QByteArray& input, QString* error)
{
    const QString exe = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (exe.isEmpty()) {
        if (error)
            *error = QStringLiteral("python3 not found");
        return {};
    }
    QProcess p;
    p.start(exe, QStringList{QStringLiteral("-c"), script} + args);
    if (!p.waitForStarted(10000)) {
        if (error)
            *error = p.errorString();
        return {};
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (error)
            *error = QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    return p.readAllStandardOutput();
}

} // namespace cvtest
