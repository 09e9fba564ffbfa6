#include "suite/logging.h"

#include "suite/dialogs.h"
#include "suite/private_files.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QThread>

#include <mutex>

namespace cv {

namespace {
std::recursive_mutex g_mutex;
bool g_on = false;
QString g_file;
QString g_failedFile; // the file already reported as unwritable

bool onMainThread()
{
    return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Called with the mutex held; reports once per file and switches logging off.
// `problem`: the whole first line of the message.
void reportFailure(const QString& problem)
{
    g_on = false;
    if (g_failedFile == g_file)
        return;
    g_failedFile = g_file;
    const QString text = problem + QStringLiteral("\nLogging is switched off.");
    if (!onMainThread()) {
        qWarning().noquote() << text;
        return;
    }
    TDialogRequest r;
    r.routine = QStringLiteral("AddToLogFile");
    r.kind = TDialogKind::Warning;
    r.caption = QStringLiteral("Log file");
    r.text = text;
    ShowDialog(r);
}

QString cannotWrite(const QString& reason) { return QStringLiteral("Cannot write the log file \"%1\": %2").arg(g_file, reason); }

void appendLines(const QString& text)
{
    // The log lists every file the tools opened and saved: it is made for
    // its user alone, and a link or another user's file in its place is
    // refused, not written through.
    QString error;
    const auto f = OpenPrivateQFile(g_file, TPrivateOpen::Append, &error);
    if (!f) {
        reportFailure(error);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    if (f->write(bytes) != bytes.size() || !f->flush())
        reportFailure(cannotWrite(f->errorString()));
}
} // namespace

bool LoggingIsOn()
{
    std::lock_guard lock(g_mutex);
    return g_on && !g_file.isEmpty();
}

void SwitchLogging(bool on)
{
    std::lock_guard lock(g_mutex);
    g_on = on;
}

QString LogFilename()
{
    std::lock_guard lock(g_mutex);
    return g_file;
}

void SetLogFilename(const QString& name)
{
    std::lock_guard lock(g_mutex);
    g_file = name;
}

QString DefaultLogFilename() { return SuiteTempFile(QStringLiteral("CVlog.txt")); }

void AddToLogFile(const QString& line) { AddToLogFile(line, true); }

void AddToLogFile(const QString& line, bool stamped)
{
    std::lock_guard lock(g_mutex);
    if (!g_on || g_file.isEmpty())
        return;
    const QString stamp = stamped ? QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') : QString();
    appendLines(stamp + line + QLatin1Char('\n'));
}

void StartNewLogSection(const QString& title)
{
    std::lock_guard lock(g_mutex);
    if (!g_on || g_file.isEmpty())
        return;
    QString heading = QStringLiteral("\n==== ") + QDateTime::currentDateTime().toString(Qt::ISODate);
    if (!title.isEmpty())
        heading += QLatin1Char(' ') + title;
    appendLines(heading + QStringLiteral(" ====\n"));
}

bool SwitchOnLoggingFromArguments(const QStringList& args)
{
    const qsizetype at = args.indexOf(QStringLiteral("/log"));
    if (at < 0)
        return false;
    SetLogFilename(at + 1 < args.size() ? args[at + 1] : DefaultLogFilename());
    SwitchLogging(true);
    StartNewLogSection(QCoreApplication::instance() ? QCoreApplication::applicationName() : QString());
    return true;
}

} // namespace cv
