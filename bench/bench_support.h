#pragma once
// Small helpers shared by the bench programs.

#include "model/chosen_files.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/file_system.h"
#include "suite/my_types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <initializer_list>
#include <new>
#include <system_error>
#include <utility>

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

// The arguments of a bench program, taken one by one. A value that is
// missing, not a number or out of range, and an option not known, are told
// (Error) and the program then ends with its usage and exit code 2.
class TArgs {
public:
    explicit TArgs(QStringList args) : m_args(std::move(args)) {}
    bool AtEnd() const { return m_at >= m_args.size(); }
    QString Take() { return m_args[m_at++]; }
    bool Ok() const { return m_error.isEmpty(); }
    QString Error() const { return m_error; }

    // The value after `option` (not another option).
    bool Value(const QString& option, QString& out)
    {
        if (AtEnd() || (m_args[m_at].startsWith(QLatin1String("--")) && m_args[m_at].size() > 2))
            return Fail(QStringLiteral("%1 needs a value").arg(option));
        out = Take();
        return true;
    }
    // A whole number from `lo` to `hi`.
    template <typename T>
    bool Number(const QString& option, T lo, T hi, T& out)
    {
        QString text;
        if (!Value(option, text))
            return false;
        return Parse(option, text, lo, hi, out);
    }
    template <typename T>
    bool Parse(const QString& option, const QString& text, T lo, T hi, T& out)
    {
        bool ok = false;
        const qlonglong v = text.trimmed().toLongLong(&ok);
        if (!ok || v < qlonglong(lo) || v > qlonglong(hi))
            return Fail(QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"").arg(option).arg(qlonglong(lo)).arg(qlonglong(hi)).arg(text));
        out = T(v);
        return true;
    }
    bool Unknown(const QString& option) { return Fail(QStringLiteral("unknown option %1").arg(option)); }
    bool Fail(const QString& why)
    {
        if (m_error.isEmpty())
            m_error = why;
        return false;
    }

private:
    QStringList m_args;
    qsizetype m_at = 0;
    QString m_error;
};

// The program's arguments after its name, for benches that take them
// before (or without) making an application.
inline QStringList Arguments(int argc, char** argv)
{
    QStringList out;
    for (int i = 1; i < argc; ++i)
        out << QString::fromLocal8Bit(argv[i]);
    return out;
}

// Whether --help (or -h) is among the arguments: then the usage is printed
// (on the standard output) and the program ends with exit code 0.
inline bool HelpAsked(const QStringList& args, const char* usage)
{
    if (!args.contains(QLatin1String("--help")) && !args.contains(QLatin1String("-h")))
        return false;
    std::fputs(usage, stdout);
    return true;
}

// A bench's job, run as the job programs run theirs: a shortage of memory
// (also a thread that could not be started for want of it) ends it with
// their message ("There was not enough memory to <what>. ...") and exit
// code 1, never with an abort.
template <typename TJob>
int RunJob(const QString& what, TJob&& job)
{
    try {
        return job();
    } catch (const std::bad_alloc&) {
    } catch (const std::system_error& e) {
        if (e.code() != std::errc::resource_unavailable_try_again && e.code() != std::errc::not_enough_memory)
            throw;
    }
    std::fprintf(stderr, "%s\n", qPrintable(cv::NotEnoughMemoryText(what)));
    return 1;
}

// Opens the file for writing: false, telling why, when it cannot be.
inline bool Created(QFile& f)
{
    if (f.open(QIODevice::WriteOnly))
        return true;
    std::fprintf(stderr, "Cannot create file \"%s\": %s\n", qPrintable(QDir::toNativeSeparators(f.fileName())),
                 qPrintable(f.errorString()));
    return false;
}

// Writes the bytes to the open file: false, telling why, when they are not
// all written (a full disk, a limit on the size of a file).
inline bool Written(QFile& f, const char* bytes, std::size_t n)
{
    if (f.write(bytes, qint64(n)) == qint64(n))
        return true;
    std::fprintf(stderr, "Cannot write file \"%s\": %s\n", qPrintable(QDir::toNativeSeparators(f.fileName())),
                 qPrintable(f.errorString()));
    return false;
}

// What a list of chosen texts could not take ("skipped: <why>"), told as it happens.
inline void tellUnchosen(const QString& message)
{
    std::fprintf(stderr, "skipped: %s\n", qPrintable(message));
}

// Prints the reason a bench refuses its arguments, then its usage; the exit code 2.
inline int UsageError(const QString& why, const char* usage)
{
    if (!why.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(why));
    std::fprintf(stderr, "%s", usage);
    return 2;
}

// A bench's arguments that are whole numbers only, each in its range and
// each optional from the last: -1 when they are sound (the values set), 0
// when the usage was asked for (--help), else 2 after the reason and the usage.
struct TNumberArgument {
    const char* name;
    int64_t lo, hi;
    int64_t* value;
};
inline int NumbersOnly(const QStringList& args, const char* usage, std::initializer_list<TNumberArgument> numbers)
{
    if (HelpAsked(args, usage))
        return 0;
    TArgs check(args);
    if (args.size() > qsizetype(numbers.size()))
        return UsageError(QStringLiteral("too many arguments"), usage);
    qsizetype k = 0;
    for (const TNumberArgument& n : numbers)
        if (k < args.size() && !check.Parse(QString::fromLatin1(n.name), args[k++], n.lo, n.hi, *n.value))
            return UsageError(check.Error(), usage);
    return -1;
}

// The texts found under the given files or folders: every regular file,
// sorted, and what was passed over, each as "<path>: <why>".
struct TFoundTexts {
    QStringList files;
    QStringList skipped;
};

inline TFoundTexts findTexts(const QStringList& paths)
{
    TFoundTexts out;
    auto skip = [&](const QString& path, const QString& why) {
        out.skipped << QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), why);
    };
    // Every entry is a text or named with why it is not (hidden texts
    // apart); the walk meets names Qt's own walk passes over in silence.
    auto take = [&](const QString& path) {
        if (const QString why = cv::CannotReadReason(path); !why.isEmpty())
            skip(path, why);
        else
            out.files << QFileInfo(path).absoluteFilePath();
    };
    for (const QString& p : paths) {
        if (!QFileInfo(p).isDir()) {
            take(p);
            continue;
        }
        if (const QString why = cv::CannotReadFolderReason(p); !why.isEmpty()) {
            skip(p, why);
            continue;
        }
        cv::WalkFolder(p, [&](const cv::TFolderEntry& e) {
            if (e.badName)
                skip(e.path, QStringLiteral("its name is not valid UTF-8, so it cannot be opened by name"));
            else if (e.folder && !e.link) {
                if (const QString why = cv::CannotReadFolderReason(e.path); !why.isEmpty())
                    skip(e.path, why);
            } else if (!e.folder) {
                if (const QString why = cv::CannotReadReason(e.path); !why.isEmpty())
                    skip(e.path, why);
                else if (!QFileInfo(e.path).fileName().startsWith(QLatin1Char('.')))
                    out.files << QFileInfo(e.path).absoluteFilePath();
            }
        });
    }
    out.files.sort();
    return out;
}

// Every regular file under the given files or folders, sorted.
inline QStringList expandPaths(const QStringList& paths) { return findTexts(paths).files; }

// False, telling so, when no text was found under the paths.
inline bool haveTexts(const TFoundTexts& found, const QStringList& paths)
{
    if (!found.files.isEmpty())
        return true;
    std::fprintf(stderr, "no texts to read in %s\n", qPrintable(paths.join(QStringLiteral(", "))));
    return false;
}

// The texts of the files as a job chooses them (the entries of a zip
// archive are texts of their own); what cannot be chosen is told. Benches
// that call it link the model library.
inline std::vector<cv::TChosenTextRec> chosenTexts(const QStringList& files)
{
    cv::TCVFileDetails chosen(false, tellUnchosen);
    for (const QString& f : files)
        chosen.ToolAddAFile(f);
    std::vector<cv::TChosenTextRec> out(std::size_t(std::max(0, chosen.FileCount())));
    for (int i = 0; i < chosen.FileCount(); ++i)
        chosen.GetFullFileDetails(i, out[std::size_t(i)]);
    return out;
}

// The files less those a job could not read (named natively in its reasons).
inline QStringList usedFiles(const QStringList& files, const QStringList& unread)
{
    QStringList used;
    for (const QString& f : files)
        if (!unread.contains(f) && !unread.contains(QDir::toNativeSeparators(f)))
            used << f;
    return used;
}

// Tells each text passed over and why ("skipped: <path>: <why>").
inline void reportSkipped(const QStringList& skipped)
{
    for (const QString& s : skipped)
        std::fprintf(stderr, "skipped: %s\n", qPrintable(s));
}

// What a job noted of texts it read all the same (each naming its text, as
// the notes of its result do): "note: <text>: <note>".
inline void reportNotes(const QStringList& notes)
{
    for (const QString& n : notes)
        std::fprintf(stderr, "note: %s\n", qPrintable(n));
}

// Seconds taken by `wc -w` over the same files (the yardstick every bench
// prints). Only regular files go to it (a named pipe put in a text's place
// would keep it waiting for ever), and it is given ten minutes at most.
// 0 (and no words) when it cannot be started, which is told.
inline double wcSeconds(const QStringList& files, qint64* words = nullptr)
{
    if (words)
        *words = 0;
    QStringList regular;
    for (const QString& f : files)
        if (cv::CannotReadReason(f).isEmpty())
            regular << f;
    if (regular.isEmpty())
        return 0;
    const auto t0 = std::chrono::steady_clock::now();
    QProcess wc;
    wc.start(QStringLiteral("wc"), QStringList{QStringLiteral("-w"), QStringLiteral("--")} + regular);
    if (!wc.waitForStarted(60000)) {
        std::fprintf(stderr, "wc -w could not be started (%s): no yardstick\n", qPrintable(wc.errorString()));
        return 0;
    }
    wc.closeWriteChannel();
    if (!wc.waitForFinished(600000)) {
        std::fprintf(stderr, "wc -w did not finish in ten minutes; stopped\n");
        wc.kill();
        wc.waitForFinished(5000);
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (words) {
        const QList<QByteArray> lines = wc.readAllStandardOutput().trimmed().split('\n');
        *words = lines.isEmpty() ? 0 : lines.last().trimmed().split(' ').first().toLongLong();
    }
    return s;
}

// A line "<field>: <n> kB" of the process's status, in KB; -1 when unknown.
inline long StatusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').first().toLong();
    return -1;
}

// The process's peak resident memory so far in KB (VmHWM), -1 when unknown.
inline long PeakRssKb() { return StatusKb("VmHWM"); }
// Its resident memory now in KB (VmRSS), -1 when unknown.
inline long CurrentRssKb() { return StatusKb("VmRSS"); }

// Starts the peak-memory count afresh, so that each job's own peak is seen.
inline void ResetPeakRss()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Whether a corpus of `passBytes` (read again and again) can make up
// `wanted` bytes to measure: false, telling why, when it would take more
// than 10,000 passes (what would be timed is the loop around the reading,
// and a one-byte corpus would be read fifty million times).
inline bool enoughToMeasure(int64_t passBytes, int64_t wanted)
{
    constexpr int64_t kMostPasses = 10000;
    if (passBytes > 0 && passBytes * kMostPasses >= wanted)
        return true;
    std::fprintf(stderr,
                 "the texts hold %lld bytes: too few to measure %.1f MB by reading them again and again (at most %lld "
                 "passes); choose a larger corpus or fewer megabytes\n",
                 (long long)passBytes, double(wanted) / 1e6, (long long)kMostPasses);
    return false;
}

// The "<corpus folder> [megabytes]" arguments of a bench: the texts found
// (what was passed over told) and the megabytes (1 to `maxMegabytes`, the
// default left when not given). -1 when both are sound, else the exit code
// to end with: 2 for bad arguments (after the usage), 1 for no texts, 0
// when the usage was asked for (--help).
inline int corpusAndMegabytes(const QStringList& args, const char* usage, int maxMegabytes, TFoundTexts& found,
                              int& megabytes)
{
    if (HelpAsked(args, usage))
        return 0;
    if (args.isEmpty() || args.size() > 2 || args[0].startsWith(QLatin1String("--")))
        return UsageError(args.isEmpty()      ? QStringLiteral("no corpus folder named")
                          : args.size() > 2 ? QStringLiteral("too many arguments")
                                            : QStringLiteral("unknown option %1").arg(args[0]),
                          usage);
    TArgs check(args);
    if (args.size() > 1 && !check.Parse(QStringLiteral("megabytes"), args[1], 1, maxMegabytes, megabytes))
        return UsageError(check.Error(), usage);
    found = findTexts({args[0]});
    reportSkipped(found.skipped);
    return haveTexts(found, {args[0]}) ? -1 : 1;
}

class Stopwatch {
public:
    double seconds() const { return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_t0).count(); }
private:
    std::chrono::steady_clock::time_point m_t0 = std::chrono::steady_clock::now();
};

} // namespace cvbench
