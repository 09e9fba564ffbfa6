#pragma once
// Small helpers shared by the bench programs.

#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/my_types.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>

namespace cvbench {

// A job run by hand: on default settings of its own (never a suite's shared
// buffer), as the word-list tool, failures kept as messages instead of shown.
// Benches that call it link the suite library.
inline void RunOnPrivateSettingsWithoutDialogs()
{
    // The buffer starts private, with the defaults written (once is enough).
    cv::TSettingsBuffer& settings = cv::TSettingsBuffer::Instance();
    if (settings.IsShared())
        settings.UsePrivate();
    cv::current_tool_var = cv::kToolWordList;
    cv::Global_run_without_error_messages = true;
}

// Every regular file under the given files or folders, sorted.
inline QStringList expandPaths(const QStringList& paths)
{
    QStringList files;
    for (const QString& p : paths) {
        QFileInfo fi(p);
        if (fi.isDir()) {
            QDirIterator it(p, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        } else if (fi.isFile()) {
            files << fi.absoluteFilePath();
        }
    }
    files.sort();
    return files;
}

// Seconds taken by `wc -w` over the same files (the yardstick every bench prints).
inline double wcSeconds(const QStringList& files, qint64* words = nullptr)
{
    const auto t0 = std::chrono::steady_clock::now();
    QProcess wc;
    wc.start(QStringLiteral("wc"), QStringList{QStringLiteral("-w")} + files);
    wc.waitForFinished(-1);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (words) {
        const QList<QByteArray> lines = wc.readAllStandardOutput().trimmed().split('\n');
        *words = lines.isEmpty() ? 0 : lines.last().trimmed().split(' ').first().toLongLong();
    }
    return s;
}

// The process's peak resident memory so far in KB (VmHWM), -1 when unknown.
inline long PeakRssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// Starts the peak-memory count afresh, so that each job's own peak is seen.
inline void ResetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_t0).count(); }
private:
    std::chrono::steady_clock::time_point m_t0 = std::chrono::steady_clock::now();
};

} // namespace cvbench
