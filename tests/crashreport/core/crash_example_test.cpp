// The crash-report component end to end: the example program (and the tool)
// run in a child process per case, with a time limit; the report log, the
// tool's own log and the way the child ended are checked.

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>
#include <map>
#include <optional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/crashbox_testutil.h"
#include "support/test_support.h"

namespace {

using TRun = cvtest::ProgramRun;

TRun RunExample(const QStringList& arguments, const QString& dir)
{
    return cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), arguments + QStringList{QStringLiteral("--output"), dir}, dir);
}

// The entries of a report log (none when there is no log).
int EntryCount(const QString& logFile)
{
    if (!QFile::exists(logFile))
        return 0;
    return cv::TLogFile(logFile.toStdString(), true).Count();
}

// One row of a call-stack table: module, unit, procedure and line cells.
struct TStackRow {
    QString module, unit, procedure;
    int line = 0;
    quint64 address = 0;
};

// The first row of the first call stack that names a source line.
TStackRow FirstResolvedRow(const QString& report)
{
    const qsizetype start = report.indexOf(QStringLiteral("Call Stack Information:"));
    const qsizetype end = report.indexOf(QStringLiteral("Modules Information:"), start);
    if (start < 0)
        return {};
    for (const QString& line : report.mid(start, end - start).split(QStringLiteral("\r\n"))) {
        const QStringList cells = line.split(QLatin1Char('|'));
        // "|Address|Module|Unit|Class|Procedure|Line|"
        if (cells.size() != 8)
            continue;
        const QString lineCell = cells[6].trimmed();
        const qsizetype bracket = lineCell.indexOf(QLatin1Char('['));
        bool number = false;
        const int lineNumber = lineCell.left(bracket).toInt(&number);
        if (number && lineNumber > 0)
            return {cells[2].trimmed(), cells[3].trimmed(), cells[5].trimmed(), lineNumber};
    }
    return {};
}

// The line where the example defines a function.
int DefinitionLine(const QString& function)
{
    const QStringList lines = QString::fromUtf8(cvtest::readAll(QStringLiteral(CV_CRASH_EXAMPLE_SOURCE))).split(QLatin1Char('\n'));
    const QRegularExpression definition(QStringLiteral("\\b%1\\(").arg(function));
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].startsWith(QStringLiteral("__attribute__((noinline))")) && definition.match(lines[i]).hasMatch())
            return int(i + 1);
    return 0;
}

// The blocks of the first call-stack table: each thread header and its rows.
struct TStackBlock {
    QString header;
    std::vector<TStackRow> rows;
};

std::vector<TStackBlock> StackBlocks(const QString& report)
{
    std::vector<TStackBlock> blocks;
    const qsizetype start = report.indexOf(QStringLiteral("Call Stack Information:"));
    const qsizetype end = report.indexOf(QStringLiteral("Modules Information:"), start);
    if (start < 0)
        return blocks;
    const QStringList lines = report.mid(start, end - start).split(QStringLiteral("\r\n"));
    for (qsizetype i = 3; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('|'));
        if (cells.size() == 3 && cells[1].contains(QStringLiteral("Thread: ID=")))
            blocks.push_back({cells[1].trimmed(), {}});
        else if (cells.size() == 8 && !blocks.empty()) {
            const QString lineCell = cells[6].trimmed();
            blocks.back().rows.push_back({cells[2].trimmed(), cells[3].trimmed(), cells[5].trimmed(),
                                          lineCell.left(lineCell.indexOf(QLatin1Char('['))).toInt(),
                                          cells[1].trimmed().toULongLong(nullptr, 16)});
        }
    }
    return blocks;
}

// The report of one run of the example (none when it left no log).
QString ReportOf(const QString& logFile)
{
    if (EntryCount(logFile) < 1)
        return {};
    return QString::fromStdString(cv::TLogFile(logFile.toStdString(), true).Item(0));
}

// The number of the first line of the example's source that holds text.
int SourceLine(const QString& text)
{
    const QStringList lines = QString::fromUtf8(cvtest::readAll(QStringLiteral(CV_CRASH_EXAMPLE_SOURCE))).split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines[i].contains(text))
            return int(i + 1);
    return 0;
}

struct TKind {
    const char* kind;
    QStringList extra;
    int status;           // how the example ends
    const char* function; // where it faults
    const char* className;
    const char* message; // a part of the message
};

void PrintTo(const TKind& k, std::ostream* os) { *os << k.kind; }

class CrashExampleKinds : public ::testing::TestWithParam<TKind> {};

} // namespace

TEST_P(CrashExampleKinds, LeaveOneReportNamingTheFaultingFunction)
{
    const TKind& k = GetParam();
    cvtest::TempDir dir;
    const TRun run = RunExample(QStringList{QString::fromLatin1(k.kind), QStringLiteral("--dialog"), QStringLiteral("none")} + k.extra,
                                dir.path());
    EXPECT_EQ(run.status, k.status) << run.output.toStdString();

    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << run.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_EQ(log.GetItemValue("2.5", 0), k.className);
    EXPECT_NE(log.GetItemValue("2.6", 0).find(k.message), std::string::npos) << log.GetItemValue("2.6", 0);

    const QString report = QString::fromStdString(log.Item(0));
    const TStackRow row = FirstResolvedRow(report);
    EXPECT_TRUE(row.procedure.contains(QString::fromLatin1(k.function))) << row.procedure.toStdString();
    EXPECT_EQ(row.unit, QStringLiteral("main.cpp"));
    const int defined = DefinitionLine(QString::fromLatin1(k.function));
    EXPECT_GE(row.line, defined);
    EXPECT_LE(row.line, defined + 6);
    EXPECT_TRUE(report.contains(QStringLiteral("|libc.so.6"))) << "the modules table lists the C library";
    // The processes table lists the processes running at the fault: this test's among them.
    const QRegularExpression testsProcess(QStringLiteral("\\|%1 *\\|%2 *\\|").arg(::getpid()).arg(QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).fileName()));
    EXPECT_TRUE(testsProcess.match(report.mid(report.indexOf(QStringLiteral("Processes Information:")))).hasMatch()) << testsProcess.pattern().toStdString();

    const QString toolLog = QString::fromUtf8(cvtest::readAll(dir.file(QStringLiteral("CVlog.txt"))));
    // The tool's unit hears of exceptions that are not caught; of a caught
    // one only through the logging step.
    EXPECT_EQ(toolLog.contains(QStringLiteral("Corvantis Error noticed")), k.extra.indexOf(QStringLiteral("--catch-handled")) < 0
                                                                               || std::string(k.kind) != "cxx-handled");
    EXPECT_TRUE(toolLog.contains(QStringLiteral("Saving error in ") + logFile));
    EXPECT_TRUE(toolLog.contains(QStringLiteral("Saved")));
}

INSTANTIATE_TEST_SUITE_P(
    EveryKind, CrashExampleKinds,
    ::testing::Values(TKind{"segv", {}, -SIGSEGV, "FaultSegv", "EAccessViolation", "Write of address 0000000000000000"},
                      TKind{"abort", {}, -SIGABRT, "FaultAbort", "EAbortSignal", "abort"},
                      TKind{"fpe", {}, -SIGFPE, "FaultFpe", "EDivByZero", "Integer division by zero"},
                      TKind{"illegal", {}, -SIGILL, "FaultIllegal", "EPrivilege", "Illegal operand"},
                      TKind{"stack-overflow", {}, -SIGSEGV, "FaultStackOverflow", "EStackOverflow", "Stack overflow"},
                      TKind{"cxx", {}, 1, "FaultCxx", "std::runtime_error", "an exception nothing catches"},
                      TKind{"cxx-thread", {}, 1, "FaultCxxThread", "std::runtime_error", "in a second thread"},
                      TKind{"cxx-handled", {QStringLiteral("--catch-handled")}, 0, "FaultCxxHandled", "std::runtime_error",
                            "an exception that is caught"},
                      TKind{"qt-event", {}, 1, "FaultQtEvent", "std::logic_error", "in an event handler"},
                      TKind{"qt-event", {QStringLiteral("--catch-handled")}, 1, "FaultQtEvent", "std::logic_error",
                            "in an event handler"},
                      TKind{"freeze", {QStringLiteral("--freeze"), QStringLiteral("1")}, 1, "FaultFreeze",
                            "EFrozenApplication", "frozen"}),
    [](const ::testing::TestParamInfo<TKind>& info) {
        std::string name = std::string(info.param.kind) + (info.param.extra.isEmpty() ? "" : "_with_option");
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

namespace {

// The component's own failures: each ends in the first report and a
// process that ends.
struct THandlerFault {
    const char* name;
    QStringList arguments;
    int status;
    bool internalError; // an internal error is traced
};

void PrintTo(const THandlerFault& f, std::ostream* os) { *os << f.name; }

class HandlerFaults : public ::testing::TestWithParam<THandlerFault> {};

} // namespace

TEST_P(HandlerFaults, EndInTheFirstReportAndAnEndedProcess)
{
    const THandlerFault& f = GetParam();
    cvtest::TempDir dir;
    const TRun run = RunExample(f.arguments + QStringList{QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    EXPECT_EQ(run.status, f.status) << run.output.toStdString();
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 1) << run.output.toStdString();
    EXPECT_EQ(run.output.contains(QStringLiteral("internal error")), f.internalError) << run.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HandlerFaults,
    ::testing::Values(
        THandlerFault{"NullStoreInTheHandlerOfASignal", {"segv", "--fault-in-event", "segv"}, -SIGSEGV, true},
        THandlerFault{"NullStoreInTheHandlerOfAnException", {"cxx", "--fault-in-event", "segv"}, 1, true},
        THandlerFault{"ExceptionInTheHandler", {"cxx", "--fault-in-event", "throw"}, 1, true},
        THandlerFault{"SecondFaultDuringTheReport", {"segv", "--second-fault"}, -SIGSEGV, false},
        THandlerFault{"FaultsInTwoThreadsAtOnce", {"segv", "--two-threads"}, -SIGSEGV, false},
        THandlerFault{"ExceptionsInTwoThreadsAtOnce", {"cxx-thread", "--two-threads"}, 1, false}),
    [](const ::testing::TestParamInfo<THandlerFault>& info) { return std::string(info.param.name); });

TEST(CrashExample, ACaughtExceptionIsReportedOnlyWhenAskedFor)
{
    cvtest::TempDir dir;
    const TRun run = RunExample({QStringLiteral("cxx-handled"), QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 0);
}

namespace {

// The rows of a report's modules table, each without its handle (the loader
// places the modules anew at each start).
QStringList ModuleRows(const QString& report)
{
    const qsizetype start = report.indexOf(QStringLiteral("Modules Information:"));
    QStringList rows;
    if (start < 0)
        return rows;
    const QStringList lines = report.mid(start).split(QStringLiteral("\r\n"));
    for (qsizetype i = 4; i < lines.size() && lines[i].startsWith(QLatin1Char('|')); ++i)
        rows.push_back(lines[i].mid(lines[i].indexOf(QLatin1Char('|'), 1)));
    rows.sort();
    return rows;
}

} // namespace

// A fault that comes once the modules have been readied in the background
// gives the report of a fault that comes at once, before they are (whose
// report reads them itself): the same first frame, the same modules table.
TEST(CrashExample, AFaultAfterTheModulesAreReadiedGivesTheReportOfAFaultAtOnce)
{
    cvtest::TempDir dir;
    struct TCase {
        const char* kind;
        int status;
        bool prepared;
    };
    const std::vector<TCase> cases = {{"segv", -SIGSEGV, false}, {"segv", -SIGSEGV, true}, {"cxx", 1, false}, {"cxx", 1, true}};
    std::vector<std::future<TRun>> runs;
    std::vector<QString> folders;
    for (const TCase& c : cases) {
        folders.push_back(dir.file(QString::fromLatin1(c.kind) + (c.prepared ? QStringLiteral("_prepared") : QString())));
        QDir().mkpath(folders.back());
        QStringList arguments{QString::fromLatin1(c.kind), QStringLiteral("--dialog"), QStringLiteral("none")};
        if (c.prepared)
            arguments << QStringLiteral("--prepared");
        runs.push_back(std::async(std::launch::async, [arguments, folder = folders.back()] { return RunExample(arguments, folder); }));
    }
    std::vector<QString> reports;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TRun run = runs[i].get();
        EXPECT_EQ(run.status, cases[i].status) << cases[i].kind << ": " << run.output.toStdString();
        const QString logFile = folders[i] + QStringLiteral("/crash_example.elf");
        EXPECT_EQ(EntryCount(logFile), 1) << cases[i].kind << ": " << run.output.toStdString();
        reports.push_back(ReportOf(logFile));
    }
    for (std::size_t i = 0; i + 1 < cases.size(); i += 2) {
        const TStackRow atOnce = FirstResolvedRow(reports[i]), ready = FirstResolvedRow(reports[i + 1]);
        EXPECT_EQ(ready.procedure, atOnce.procedure) << cases[i].kind;
        EXPECT_EQ(ready.unit, atOnce.unit) << cases[i].kind;
        EXPECT_EQ(ready.line, atOnce.line) << cases[i].kind;
        const QStringList modules = ModuleRows(reports[i + 1]);
        EXPECT_GT(modules.size(), 10) << cases[i].kind;
        EXPECT_EQ(modules, ModuleRows(reports[i])) << cases[i].kind;
    }
}

namespace {

// Options for a run whose dialog closes by itself after a second (or after
// `seconds`), in a file of that name.
QString AutoClosingOptions(const cvtest::TempDir& dir, cv::TExceptionDialogType kind, int seconds = 1,
                           const QString& name = QStringLiteral("example.options"))
{
    cv::TCrashboxModuleOptions options("crash_example");
    options.SetExceptionDialogType(kind);
    options.SetAutoCloseDialogSecs(seconds);
    const QString file = dir.file(name);
    EXPECT_TRUE(options.SaveToFile(file.toStdString()));
    return file;
}

} // namespace

namespace {

// Every kind, with one dialog kind (closing itself after a second): each
// run a child of its own, all at once, each with a time limit.
class EveryKindWithTheDialog : public ::testing::TestWithParam<cv::TExceptionDialogType> {};

std::string DialogKindName(cv::TExceptionDialogType kind)
{
    const char* const names[] = {"none", "messagebox", "classic", "detailed"};
    return names[kind];
}

} // namespace

TEST_P(EveryKindWithTheDialog, EndsByItselfWithOneReport)
{
    struct TCase {
        const char* kind;
        QStringList extra;
        int status;
    };
    const std::vector<TCase> cases = {
        {"segv", {}, -SIGSEGV},   {"abort", {}, -SIGABRT},     {"fpe", {}, -SIGFPE},
        {"illegal", {}, -SIGILL}, {"stack-overflow", {}, -SIGSEGV}, {"cxx", {}, 1},
        {"cxx-thread", {}, 1},    {"cxx-handled", {QStringLiteral("--catch-handled")}, 0},
        {"qt-event", {}, 1},      {"freeze", {QStringLiteral("--freeze"), QStringLiteral("1")}, 1},
    };
    cvtest::TempDir dir;
    const QString options = AutoClosingOptions(dir, GetParam());
    std::vector<std::future<TRun>> runs;
    for (const TCase& c : cases) {
        const QString folder = dir.file(QString::fromLatin1(c.kind));
        QDir().mkpath(folder);
        const QStringList arguments =
            QStringList{QString::fromLatin1(c.kind), QStringLiteral("--options"), options, QStringLiteral("--output"), folder} + c.extra;
        runs.push_back(std::async(std::launch::async, [folder, arguments] {
            return cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), arguments, folder, {QStringLiteral("TMPDIR=") + folder});
        }));
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TRun run = runs[i].get();
        const QString folder = dir.file(QString::fromLatin1(cases[i].kind));
        EXPECT_EQ(run.status, cases[i].status) << cases[i].kind << ": " << run.output.toStdString();
        EXPECT_EQ(EntryCount(folder + QStringLiteral("/crash_example.elf")), 1) << cases[i].kind << ": " << run.output.toStdString();
    }
    // A reporter that shows the dialog for a crashed window thread ends by itself too.
    cvtest::waitForProcessesNaming(dir.path());
}

INSTANTIATE_TEST_SUITE_P(DialogKinds, EveryKindWithTheDialog,
                         ::testing::Values(cv::edtNone, cv::edtMessageBox, cv::edtMSClassic, cv::edtCrashbox),
                         [](const ::testing::TestParamInfo<cv::TExceptionDialogType>& info) { return DialogKindName(info.param); });

// A thread's report shows where the thread was started: the creator's
// stack as it was, scanned like the thread's own.
TEST(CrashExample, AStartedThreadsReportShowsWhereItWasStartedAndEndsAtItsOwnFrames)
{
    cvtest::TempDir dir;
    const TRun run = RunExample({QStringLiteral("cxx-thread"), QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    ASSERT_EQ(run.status, 1) << run.output.toStdString();
    const std::vector<TStackBlock> blocks = StackBlocks(ReportOf(dir.file(QStringLiteral("crash_example.elf"))));
    ASSERT_GE(blocks.size(), 2u);
    const TStackBlock& thrower = blocks[0];
    EXPECT_TRUE(thrower.header.startsWith(QStringLiteral("*Exception Thread"))) << thrower.header.toStdString();
    // The thread's own frames: the throwing function once, at the top, and
    // nothing of the thread's storage that lies above its first frame.
    int throwers = 0;
    for (const TStackRow& row : thrower.rows)
        throwers += row.procedure.contains(QStringLiteral("FaultCxxThread"));
    EXPECT_EQ(throwers, 1);
    ASSERT_FALSE(thrower.rows.empty());
    EXPECT_TRUE(thrower.rows.front().procedure.contains(QStringLiteral("FaultCxxThread")));

    const auto calling = std::find_if(blocks.begin(), blocks.end(),
                                      [](const TStackBlock& b) { return b.header.startsWith(QStringLiteral("Calling Thread")); });
    ASSERT_NE(calling, blocks.end()) << "no block of the thread that started it";
    const auto creator = std::find_if(calling->rows.begin(), calling->rows.end(), [](const TStackRow& r) { return r.procedure == "main"; });
    ASSERT_NE(creator, calling->rows.end()) << "main started the thread";
    EXPECT_GT(creator->line, 0);
}

// An exception that escapes an event handler is reported with the frames of
// its throw (gone by the time the door catches it), not the door's own.
TEST(CrashExample, AnEventHandlersExceptionShowsTheHandlerAndTheEventNotTheReportsMachinery)
{
    cvtest::TempDir dir;
    const TRun run = RunExample({QStringLiteral("qt-event"), QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    ASSERT_EQ(run.status, 1) << run.output.toStdString();
    const std::vector<TStackBlock> blocks = StackBlocks(ReportOf(dir.file(QStringLiteral("crash_example.elf"))));
    ASSERT_FALSE(blocks.empty());
    const std::vector<TStackRow>& rows = blocks[0].rows;
    const auto event = std::find_if(rows.begin(), rows.end(), [](const TStackRow& r) { return r.procedure.startsWith(QStringLiteral("QObject::event")); });
    ASSERT_NE(event, rows.end()) << "the event that ran the handler";
    // Between the throw and the event: the handler, the lambda in main.cpp
    // that the timer calls (its lines lie between the timer's call and the fault's).
    const int first = SourceLine(QStringLiteral("QTimer::singleShot(100, &window, [&kind] {"));
    ASSERT_GT(first, 0);
    const auto lambda = std::find_if(rows.begin(), event, [&](const TStackRow& r) {
        return r.unit == QStringLiteral("main.cpp") && r.line > first && r.line < first + 8;
    });
    EXPECT_NE(lambda, event) << "the event handler (a lambda of main)";
    for (const TStackRow& row : rows)
        for (const char* own : {"ExceptionManager", "ExceptNotify", "ProcessException", "current_exception", "__cxa_get_globals"})
            EXPECT_FALSE(row.procedure.contains(QString::fromLatin1(own))) << row.procedure.toStdString();
}

// The CPU block of a C++ exception holds the registers of the throwing
// frame: as gdb unwinds them at the throw, in the same run.
TEST(CrashExample, TheRegistersOfAThrowAreTheThrowersAsTheDebuggerSeesThem)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/gdb")))
        GTEST_SKIP() << "gdb is not installed (scripts/setup.sh installs it)";
    cvtest::TempDir dir;
    const QString script = dir.write(QStringLiteral("gdb.commands"),
                                     "set pagination off\nset confirm off\nbreak FaultCxx\nrun\ncatch throw\ncontinue\n"
                                     "frame function FaultCxx\ninfo registers rbx rbp r12 r13 r14 r15 rsp rip\ndelete\ncontinue\n");
    const TRun run = cvtest::runProgram(QStringLiteral("/usr/bin/gdb"),
                                        {QStringLiteral("-q"), QStringLiteral("-batch"), QStringLiteral("-x"), script, QStringLiteral("--args"),
                                         QStringLiteral(CV_CRASH_EXAMPLE), QStringLiteral("cxx"), QStringLiteral("--dialog"),
                                         QStringLiteral("none"), QStringLiteral("--output"), dir.path()},
                                        dir.path(), {}, std::chrono::seconds(60));
    std::map<QString, quint64> seen;
    const QRegularExpression line(QStringLiteral("^(rbx|rbp|r12|r13|r14|r15|rsp|rip) +0x([0-9a-f]+)"), QRegularExpression::MultilineOption);
    for (auto match = line.globalMatch(run.output); match.hasNext();) {
        const QRegularExpressionMatch m = match.next();
        seen[m.captured(1).toUpper()] = m.captured(2).toULongLong(nullptr, 16);
    }
    ASSERT_EQ(seen.size(), 8u) << run.output.toStdString();
    const QString report = ReportOf(dir.file(QStringLiteral("crash_example.elf")));
    auto shown = [&](const QString& name) {
        const QRegularExpression cell(name + QStringLiteral(" *: ([0-9A-F?]{4,16})"));
        return cell.match(report).captured(1);
    };
    for (const char* name : {"RBX", "RBP", "R12", "R13", "R14", "R15", "RSP"})
        EXPECT_EQ(shown(QString::fromLatin1(name)).toULongLong(nullptr, 16), seen[QString::fromLatin1(name)]) << name;
    // The instruction of the throw: the call (5 bytes) before where the debugger's frame returns to.
    EXPECT_EQ(shown(QStringLiteral("RIP")).toULongLong(nullptr, 16) + 5, seen[QStringLiteral("RIP")]);
}

namespace {

// One frame as gdb unwinds it: the function's name (empty where the file
// names none), where the frame stands, the library (empty for the program).
struct TDebuggerFrame {
    QString name;
    quint64 pc = 0;
    QString library;
};

// Whether two exported names of a library stand for one function (raise and gsignal).
bool Aliases(const QString& library, const QString& a, const QString& b)
{
    QProcess nm;
    nm.start(QStringLiteral("nm"), {QStringLiteral("-D"), QStringLiteral("--defined-only"), library});
    if (!nm.waitForFinished(20000))
        return false;
    std::map<QString, QString> addressOf;
    for (const QString& line : QString::fromLocal8Bit(nm.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList parts = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (parts.size() == 3)
            addressOf[parts[2].section(QLatin1Char('@'), 0, 0)] = parts[0];
    }
    return addressOf.count(a) && addressOf.count(b) && addressOf[a] == addressOf[b];
}

// A function's name without its parameters and "const" (gdb leaves them
// out where the debug data names the function).
QString WithoutParameters(QString name)
{
    name = name.trimmed();
    if (name.endsWith(QStringLiteral(" const")))
        name.chop(6);
    if (!name.endsWith(QLatin1Char(')')))
        return name;
    int depth = 0;
    for (qsizetype i = name.size() - 1; i >= 0; --i) {
        depth += name[i] == QLatin1Char(')') ? 1 : name[i] == QLatin1Char('(') ? -1 : 0;
        if (depth == 0)
            return name.left(i);
    }
    return name;
}

// The last part of a qualified name ("impl" of "A<f()>::impl").
QString Unqualified(const QString& name)
{
    int depth = 0;
    for (qsizetype i = name.size() - 1; i > 0; --i) {
        depth += name[i] == QLatin1Char('>') || name[i] == QLatin1Char(')') ? 1 : name[i] == QLatin1Char('<') || name[i] == QLatin1Char('(') ? -1 : 0;
        if (depth == 0 && name[i] == QLatin1Char(':') && name[i - 1] == QLatin1Char(':'))
            return name.mid(i + 1);
    }
    return name;
}

// Whether the report's name and gdb's stand for one function: the same
// name, or the report's without the qualification gdb adds from the
// symbol (a member of a class template), or another exported name of it.
bool SameFunction(const QString& ours, const QString& theirs, const QString& library)
{
    const QString a = WithoutParameters(ours), b = WithoutParameters(theirs);
    if (a == b || (!a.contains(QStringLiteral("::")) && a == Unqualified(b)))
        return true;
    return !library.isEmpty() && Aliases(library, a, b);
}

class CallStacksAsTheDebuggerSeesThem : public ::testing::TestWithParam<const char*> {};

bool HaveGdb() { return QFile::exists(QStringLiteral("/usr/bin/gdb")); }

// The frames gdb unwinds in a run of the example, newest first, up to main
// (inlined ones too; with pastMain, down to the thread's start), where it
// stops: at the fault, or for a throw where it leaves the thrower (from the
// thrower on). The run's own report goes to dir. stackKb: the main
// thread's stack limit for the run (0: as it is).
std::vector<TDebuggerFrame> DebuggerFrames(const cvtest::TempDir& dir, const QString& kind, QString* output, int stackKb = 0,
                                           bool pastMain = false)
{
    const bool thrown = kind == QStringLiteral("cxx") || kind == QStringLiteral("cxx-thread") || kind == QStringLiteral("qt-event");
    dir.write(QStringLiteral("frames.py"), "import gdb\n"
                                           "def frames():\n"
                                           "    f = gdb.newest_frame()\n"
                                           "    while f is not None:\n"
                                           "        print('FRAME|%s|%s|%x|%s' % ('inline' if f.type() == gdb.INLINE_FRAME else 'normal',\n"
                                           "              f.name() or '', f.pc(), gdb.solib_name(f.pc()) or ''))\n"
                                           "        f = f.older()\n");
    // A throw is caught where it leaves the thrower (the start-up throws one of its own first).
    const QByteArray thrower = kind == QStringLiteral("cxx")          ? "FaultCxx"
                               : kind == QStringLiteral("cxx-thread") ? "FaultCxxThread"
                                                                      : "FaultQtEvent";
    const QByteArray stop = thrown ? "break " + thrower + "\nrun\ncatch throw\ncontinue\n" : QByteArray("run\n");
    const QString script = dir.write(QStringLiteral("gdb.commands"),
                                     "set pagination off\nset confirm off\n" + QByteArray(pastMain ? "set backtrace past-main on\n" : "")
                                         + "source " + dir.file(QStringLiteral("frames.py")).toUtf8() + "\n" + stop
                                         + "python frames()\ndelete\nhandle all nostop noprint pass\ncontinue\n");
    // Names from the files alone, as the report has them.
    QStringList command{QStringLiteral("/usr/bin/gdb"), QStringLiteral("-q"), QStringLiteral("-batch"), QStringLiteral("-nx"),
                        QStringLiteral("-iex"), QStringLiteral("set debug-file-directory ") + dir.file(QStringLiteral("none")),
                        QStringLiteral("-x"), script, QStringLiteral("--args"), QStringLiteral(CV_CRASH_EXAMPLE), kind,
                        QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--output"), dir.path()};
    if (stackKb > 0)
        command = QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), QStringLiteral("ulimit -s %1 && exec \"$@\"").arg(stackKb),
                              QStringLiteral("sh")}
                  + command;
    const QString program = command.takeFirst();
    const TRun run = cvtest::runProgram(program, command, dir.path(), {}, std::chrono::seconds(60));
    *output = run.output;
    std::vector<TDebuggerFrame> theirs;
    for (const QString& line : run.output.split(QLatin1Char('\n'))) {
        const QStringList f = line.trimmed().split(QLatin1Char('|'));
        if (f.size() != 5 || f[0] != QStringLiteral("FRAME"))
            continue;
        theirs.push_back({f[2], f[3].toULongLong(nullptr, 16), f[4]});
        if (f[2] == QStringLiteral("main") && !pastMain)
            break;
    }
    if (thrown) {
        // The thrower's caller is the throw's own machinery: gdb starts inside it.
        const auto hook = std::find_if(theirs.begin(), theirs.end(), [](const TDebuggerFrame& f) { return f.name == QStringLiteral("CrashboxHookedCxaThrow"); });
        theirs.erase(theirs.begin(), hook == theirs.end() ? theirs.end() : hook + 1);
    }
    return theirs;
}

// The rows and the frames side by side, for a failure's message.
std::string BothListed(const std::vector<TStackRow>& ours, const std::vector<TDebuggerFrame>& theirs)
{
    QString text = QStringLiteral("\nreport:");
    for (const TStackRow& r : ours)
        text += QStringLiteral("\n  %1 %2").arg(r.address, 0, 16).arg(r.procedure);
    text += QStringLiteral("\ngdb:");
    for (const TDebuggerFrame& f : theirs)
        text += QStringLiteral("\n  %1 %2").arg(f.pc, 0, 16).arg(f.name);
    return text.toStdString();
}

// The modules' handles (where each is loaded) by file name, from the
// report's modules table.
std::map<QString, quint64> ModuleHandles(const QString& report)
{
    std::map<QString, quint64> handles;
    const qsizetype start = report.indexOf(QStringLiteral("Modules Information:"));
    if (start < 0)
        return handles;
    for (const QString& line : report.mid(start).split(QStringLiteral("\r\n"))) {
        const QStringList cells = line.split(QLatin1Char('|'));
        bool number = false;
        const quint64 handle = cells.size() > 3 ? cells[1].trimmed().toULongLong(&number, 16) : 0;
        if (number)
            handles.emplace(cells[2].trimmed(), handle);
        else if (cells.size() <= 3 && !handles.empty() && line.startsWith(QLatin1Char('-')))
            break;
    }
    return handles;
}

// Whether a row stands for gdb's frame: the same function, or, for a frame
// gdb names no function for, the frame's module and its offset there
// ("libc.so.6+0x29d90").
bool SameFrame(const TStackRow& row, const TDebuggerFrame& frame, const std::map<QString, quint64>& handles)
{
    if (!frame.name.isEmpty())
        return SameFunction(row.procedure, frame.name, frame.library);
    const QString module = frame.library.isEmpty() ? QStringLiteral("crash_example") : QFileInfo(frame.library).fileName();
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("^(.+)\\+0x([0-9a-f]+)$")).match(row.procedure);
    const auto handle = handles.find(module);
    return m.hasMatch() && m.captured(1) == module && handle != handles.end()
           && m.captured(2).toULongLong(nullptr, 16) == row.address - handle->second;
}

// The rows of the raising thread up to main.
std::vector<TStackRow> RowsUpToMain(const QString& logFile)
{
    const std::vector<TStackBlock> blocks = StackBlocks(ReportOf(logFile));
    if (blocks.empty())
        return {};
    std::vector<TStackRow> ours = blocks[0].rows;
    const auto main = std::find_if(ours.begin(), ours.end(), [](const TStackRow& r) { return r.procedure == QStringLiteral("main"); });
    ours.erase(main == ours.end() ? main : main + 1, ours.end());
    return ours;
}

} // namespace

// The raising thread's call stack, from the fault down to the thread's
// start, is the one gdb unwinds in the same run: the same frames at the
// same addresses with the same functions, none extra (a stale return
// address in some frame's locals is no caller) and none left out. Code the
// compiler inlined is a frame of its own, as in gdb: the inlined function
// at its line, then the function it was inlined into at the line of the
// call, both at the same address. A frame gdb names no function for (a
// library's function of its own, __libc_start_call_main below main) is a
// row named by its module and its offset there.
TEST_P(CallStacksAsTheDebuggerSeesThem, FromTheFaultDownToTheThreadsStart)
{
    if (!HaveGdb())
        GTEST_SKIP() << "gdb is not installed (scripts/setup.sh installs it)";
    const QString kind = QString::fromLatin1(GetParam());
    const bool thrown = kind == QStringLiteral("cxx") || kind == QStringLiteral("cxx-thread") || kind == QStringLiteral("qt-event");
    cvtest::TempDir dir;
    QString output;
    const std::vector<TDebuggerFrame> theirs = DebuggerFrames(dir, kind, &output, 0, true);
    ASSERT_FALSE(theirs.empty()) << output.toStdString();
    // The main thread starts at _start; a thread the program made, in the
    // C library's thread start (the frames gdb names no function for).
    if (kind != QStringLiteral("cxx-thread"))
        ASSERT_EQ(theirs.back().name, QStringLiteral("_start")) << output.toStdString();

    const QString report = ReportOf(dir.file(QStringLiteral("crash_example.elf")));
    const std::vector<TStackBlock> blocks = StackBlocks(report);
    ASSERT_FALSE(blocks.empty()) << output.toStdString();
    const std::vector<TStackRow>& ours = blocks[0].rows;
    const std::map<QString, quint64> handles = ModuleHandles(report);
    ASSERT_EQ(ours.size(), theirs.size()) << BothListed(ours, theirs);
    for (std::size_t i = 0; i < ours.size(); ++i) {
        // The error line of a throw is its call, 5 bytes before where the thrower goes on.
        const quint64 address = ours[i].address + (thrown && i == 0 ? 5 : 0);
        EXPECT_EQ(address, theirs[i].pc) << "row " << i << BothListed(ours, theirs);
        EXPECT_TRUE(SameFrame({ours[i].module, ours[i].unit, ours[i].procedure, ours[i].line, address}, theirs[i], handles))
            << "row " << i << ": \"" << ours[i].procedure.toStdString() << "\", gdb \"" << theirs[i].name.toStdString() << "\""
            << BothListed(ours, theirs);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, CallStacksAsTheDebuggerSeesThem,
                         ::testing::Values("segv", "abort", "fpe", "illegal", "cxx", "cxx-thread", "qt-event"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// Two threads fault at once: the first one's fault is reported, and the
// second, which waits meanwhile in the handler of its own fault, is shown
// where it faulted (its own frames from the fault on), not where it waits.
// On a busy machine the second thread may lose its core between the two
// threads' start and its fault, and the report pauses it before it faults:
// the report then shows it where it stood, which is right too, and the run
// is made again until both faulted at once.
TEST(CrashExample, TheSecondOfTwoThreadsFaultingAtOnceIsShownWhereItFaulted)
{
    constexpr int kRuns = 6;
    for (int attempt = 1; attempt <= kRuns; ++attempt) {
        cvtest::TempDir dir;
        const TRun run = RunExample({QStringLiteral("segv"), QStringLiteral("--two-threads"), QStringLiteral("--dialog"), QStringLiteral("none")},
                                    dir.path());
        EXPECT_EQ(run.status, -SIGSEGV) << run.output.toStdString();
        const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
        const QString report = ReportOf(logFile);
        static const QRegularExpression threadID(QStringLiteral("Thread: ID=(\\d+)"));
        QString raising;
        std::vector<const TStackBlock*> others;
        const std::vector<TStackBlock> blocks = StackBlocks(report);
        for (const TStackBlock& block : blocks) {
            const QString id = threadID.match(block.header).captured(1);
            if (block.header.startsWith(QLatin1Char('*')))
                raising = id;
            else if (block.header.startsWith(QStringLiteral("Running")) && id != raising)
                others.push_back(&block);
        }
        ASSERT_FALSE(raising.isEmpty()) << report.toStdString();
        const auto second = std::find_if(others.begin(), others.end(), [](const TStackBlock* b) {
            return std::any_of(b->rows.begin(), b->rows.end(), [](const TStackRow& r) { return r.procedure.contains(QStringLiteral("FaultSegv")); });
        });
        if (second == others.end()) {
            // Paused before it faulted (its fault came later, or the program
            // ended first): the other thread of the two stands where it ran,
            // not in a handler.
            const auto its = std::find_if(others.begin(), others.end(), [](const TStackBlock* b) {
                return std::any_of(b->rows.begin(), b->rows.end(),
                                   [](const TStackRow& r) { return r.procedure.contains(QStringLiteral("FaultInTwoThreads")); });
            });
            ASSERT_NE(its, others.end()) << "the second thread's own frames" << report.toStdString();
            for (const TStackRow& row : (*its)->rows)
                ASSERT_FALSE(row.procedure.contains(QStringLiteral("SignalDoor")) || row.procedure.contains(QStringLiteral("nanosleep")))
                    << "not where it waits: " << row.procedure.toStdString() << report.toStdString();
            ASSERT_LT(attempt, kRuns) << "the two threads never faulted at once in " << kRuns << " runs";
            continue;
        }
        const TStackBlock& block = **second;
        EXPECT_TRUE(block.rows.front().procedure.contains(QStringLiteral("FaultSegv"))) << "it stands at its fault" << report.toStdString();
        EXPECT_EQ(block.rows.front().line, DefinitionLine(QStringLiteral("FaultSegv")));
        for (const TStackRow& row : block.rows)
            EXPECT_FALSE(row.procedure.contains(QStringLiteral("SignalDoor")) || row.procedure.contains(QStringLiteral("nanosleep")))
                << "not where it waits: " << row.procedure.toStdString();
        return;
    }
}

namespace {

// A caught exception reported (no dialog) while the example's threads wait
// as `waiting` asks (--sleeper, --waiters).
TRun ReportCaughtExceptionWhile(const QStringList& waiting, const QString& dir)
{
    return RunExample(QStringList{QStringLiteral("cxx-handled"), QStringLiteral("--catch-handled"), QStringLiteral("--dialog"),
                                  QStringLiteral("none")}
                          + waiting,
                      dir);
}

// How long a waiting thread of the example waited and what its call
// answered ("WHAT N ms, answer R"); nothing when it did not say.
std::optional<std::pair<int, int>> WaitOf(const TRun& run, const QString& what)
{
    const QRegularExpressionMatch m = QRegularExpression(what + QStringLiteral(" (\\d+) ms, answer (\\d+)")).match(run.output);
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair{m.captured(1).toInt(), m.captured(2).toInt()};
}

} // namespace

// A report pauses the other threads while it reads their stacks. A thread
// that sleeps meanwhile, in a program that goes on after the (caught)
// exception, sleeps as long as it meant to, and its sleep answers as if
// nothing had happened.
TEST(CrashExample, AThreadAsleepDuringTheReportOfACaughtExceptionSleepsItsWholeTime)
{
    cvtest::TempDir dir;
    const TRun run = ReportCaughtExceptionWhile({QStringLiteral("--sleeper"), QStringLiteral("1500")}, dir.path());
    EXPECT_EQ(run.status, 0) << run.output.toStdString();
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 1) << run.output.toStdString();
    const auto slept = WaitOf(run, QStringLiteral("slept"));
    ASSERT_TRUE(slept) << run.output.toStdString();
    EXPECT_GE(slept->first, 1500) << run.output.toStdString();
    EXPECT_EQ(slept->second, 0) << "not cut short (4 is EINTR)";
}

// Threads that wait in calls the system never takes up again after a
// signal's handler (epoll_wait, recv with a receive time-out, sigtimedwait)
// while a caught exception is reported: the report reads them where they
// wait (their own functions are in it) without cutting their calls short,
// and each call times out as it would have, none with EINTR.
TEST(CrashExample, ThreadsWaitingInTheSystemDuringTheReportOfACaughtExceptionTimeOutNormally)
{
    cvtest::TempDir dir;
    const TRun run = ReportCaughtExceptionWhile({QStringLiteral("--waiters"), QStringLiteral("1500")}, dir.path());
    EXPECT_EQ(run.status, 0) << run.output.toStdString();
    const struct {
        const char* call;
        const char* function;
        int timedOut; // the answer of a normal time-out
    } waiters[] = {{"epoll_wait", "WaitInEpoll", 0}, {"recv", "WaitInRecv", EAGAIN}, {"sigtimedwait", "WaitInSigtimedwait", EAGAIN}};
    const QString report = ReportOf(dir.file(QStringLiteral("crash_example.elf")));
    for (const auto& w : waiters) {
        const auto waited = WaitOf(run, QLatin1String(w.call) + QStringLiteral(" waited"));
        ASSERT_TRUE(waited) << w.call << ": " << run.output.toStdString();
        EXPECT_GE(waited->first, 1500) << w.call;
        EXPECT_EQ(waited->second, w.timedOut) << w.call << " (4 is EINTR)";
        EXPECT_TRUE(report.contains(QLatin1String(w.function))) << w.function << " is shown where it waits";
    }
}

// A stack overflow's report shows where the recursion began: its first
// turn, a row that says how many of its frames are left out, its last turn,
// then the rest of the stack down to the thread's start. Counted with the
// frames left out, the rows up to main are as many as gdb unwinds at the
// fault, and those on either side of the row are gdb's frames there. (The
// run's stack is cut to a megabyte: gdb walks every frame of it.)
TEST(CrashExample, AStackOverflowShowsItsTopTheFramesLeftOutAndItsBottomAsTheDebuggerSeesThem)
{
    if (!HaveGdb())
        GTEST_SKIP() << "gdb is not installed (scripts/setup.sh installs it)";
    cvtest::TempDir dir;
    QString output;
    const std::vector<TDebuggerFrame> theirs = DebuggerFrames(dir, QStringLiteral("stack-overflow"), &output, 1024);
    ASSERT_GE(theirs.size(), 1000u) << output.toStdString();
    ASSERT_EQ(theirs.back().name, QStringLiteral("main")) << output.toStdString();

    const std::vector<TStackBlock> blocks = StackBlocks(ReportOf(dir.file(QStringLiteral("crash_example.elf"))));
    ASSERT_FALSE(blocks.empty()) << output.toStdString();
    const std::vector<TStackRow>& rows = blocks[0].rows;
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back().procedure, QStringLiteral("_start")) << "down to the thread's start";
    const std::vector<TStackRow> ours = RowsUpToMain(dir.file(QStringLiteral("crash_example.elf")));
    const std::map<QString, quint64> handles = ModuleHandles(ReportOf(dir.file(QStringLiteral("crash_example.elf"))));
    static const QRegularExpression leftOutRow(QStringLiteral("^\\((\\d+) repeated frames left out\\)$"));
    std::size_t leftOutAt = ours.size(), leftOut = 0;
    for (std::size_t i = 0; i < ours.size(); ++i)
        if (const QRegularExpressionMatch m = leftOutRow.match(ours[i].procedure); m.hasMatch()) {
            EXPECT_EQ(leftOutAt, ours.size()) << "one row of frames left out" << BothListed(ours, theirs);
            leftOutAt = i;
            leftOut = m.captured(1).toULongLong();
            EXPECT_EQ(ours[i].address, 0u);
        }
    ASSERT_LT(leftOutAt, ours.size()) << BothListed(ours, theirs);
    ASSERT_EQ(ours.size() - 1 + leftOut, theirs.size()) << BothListed(ours, theirs);
    ASSERT_GE(leftOutAt, 2u) << "the fault and the recursion's first turn";
    EXPECT_GE(ours.size() - leftOutAt - 1, 3u) << "the recursion's last turn, its caller and main";
    for (std::size_t i = 0; i < ours.size(); ++i) {
        if (i == leftOutAt)
            continue;
        const TDebuggerFrame& frame = theirs[i < leftOutAt ? i : i - 1 + leftOut];
        EXPECT_EQ(ours[i].address, frame.pc) << "row " << i << BothListed(ours, theirs);
        EXPECT_TRUE(SameFrame(ours[i], frame, handles)) << "row " << i << BothListed(ours, theirs);
    }
}

TEST(CrashExample, AFatalSignalOnTheWindowThreadLeavesTheDialogToAReporter)
{
    cvtest::TempDir dir;
    const QString options = AutoClosingOptions(dir, cv::edtMSClassic);
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("fpe"), QStringLiteral("--options"), options, QStringLiteral("--output"), dir.path()},
                                        dir.path(), {QStringLiteral("TMPDIR=") + dir.path()});
    EXPECT_EQ(run.status, -SIGFPE);
    EXPECT_FALSE(run.output.contains(QStringLiteral("Call Stack Information:"))) << "the dialogs are there: nothing on the console";
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 1);
    // The reporter shows the classic dialog (closing itself) and ends.
    cvtest::waitForProcessesNaming(dir.path());
    EXPECT_TRUE(QDir(dir.path()).entryList({QStringLiteral("*.request")}).isEmpty()) << "the reporter is done with its request";
    const QString toolLog = QString::fromUtf8(cvtest::readAll(dir.file(QStringLiteral("CVlog.txt"))));
    EXPECT_TRUE(toolLog.contains(QStringLiteral("Showing error")));
}

namespace {

// The process whose command line holds `text` (0 when none does).
pid_t ProcessNaming(const QString& text)
{
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (number && pid != getpid()
            && cvtest::readAll(QStringLiteral("/proc/%1/cmdline").arg(pid)).replace('\0', ' ').contains(text.toUtf8()))
            return pid_t(pid);
    }
    return 0;
}

} // namespace

// `kill -SEGV` from another process is no memory access: the report says
// which process (this test) sent the signal, where it used to read the
// sender's process ID as the address of a read, and the program still dies
// by the signal.
TEST(CrashExample, ASignalSentFromOutsideIsReportedAsSentByItsSender)
{
    cvtest::TempDir dir;
    // The window stops answering (the watchdog would report it after 100
    // seconds): the program waits, with the component started, for the signal.
    auto run = std::async(std::launch::async, [&] {
        return cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                  {QStringLiteral("freeze"), QStringLiteral("--freeze"), QStringLiteral("100"), QStringLiteral("--dialog"),
                                   QStringLiteral("none"), QStringLiteral("--timing"), QStringLiteral("--output"), dir.path()},
                                  dir.path(), {}, std::chrono::seconds(60));
    });
    pid_t example = 0;
    for (int waited = 0; waited < 30000; waited += 50) {
        if (cvtest::readAll(dir.file(QStringLiteral("out.txt"))).contains("crash_example: fault at")
            && (example = ProcessNaming(dir.path() + QStringLiteral(" "))) != 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_NE(example, 0) << "the example came to its wait";
    ASSERT_EQ(::kill(example, SIGSEGV), 0);
    const TRun ended = run.get();
    EXPECT_EQ(ended.status, -SIGSEGV) << ended.output.toStdString();
    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << ended.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_EQ(log.GetItemValue("2.5", 0), "EAccessViolation");
    EXPECT_EQ(log.GetItemValue("2.6", 0),
              "signal 11 sent by process " + std::to_string(getpid()) + " (user " + std::to_string(getuid()) + ").");
}

// The example's usage, asked for, goes to standard output with every
// option the tests use; a KIND it does not know is still refused.
TEST(CrashExample, HelpGivesTheUsageWithTheTestOptions)
{
    cvtest::TempDir dir;
    const TRun help = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), {QStringLiteral("--help")}, dir.path());
    EXPECT_EQ(help.status, 0) << help.output.toStdString();
    EXPECT_TRUE(help.output.startsWith(QStringLiteral("usage: crash_example KIND"))) << help.output.toStdString();
    for (const char* option : {"--output", "--dialog", "--smtp", "--http", "--freeze", "--catch-handled", "--options", "--fault-in-event",
                               "--second-fault", "--window-fault", "--two-threads", "--no-descriptors", "--core-off", "--no-crashbox",
                               "--sleeper", "--timing", "--prepared", "--no-threads-in-report"})
        EXPECT_TRUE(help.output.contains(QLatin1String(option))) << option;
    const TRun unknown = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), {QStringLiteral("crash")}, dir.path());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(unknown.output.contains(QStringLiteral("unknown KIND \"crash\""))) << unknown.output.toStdString();
}

// The plain exception box of a fault in the program's own process is a
// window on screen (closing itself after two seconds here), not a line on
// standard error.
TEST(CrashExample, TheMessageBoxOfAnInProcessFaultIsShown)
{
    cvtest::TempDir dir;
    const QString options = AutoClosingOptions(dir, cv::edtMessageBox, 2);
    const auto start = std::chrono::steady_clock::now();
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("cxx"), QStringLiteral("--options"), options, QStringLiteral("--output"), dir.path()},
                                        dir.path());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(run.status, 1) << run.output.toStdString();
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 1);
    EXPECT_FALSE(run.output.contains(QStringLiteral("Error occurred : "))) << "not said on standard error: " << run.output.toStdString();
    EXPECT_GE(took, std::chrono::seconds(2)) << "the box stood until it closed itself";
}

TEST(CrashExample, TheOptionsFileIsReadAndTheCommandLineGoesAfterIt)
{
    cvtest::TempDir dir;
    const QString file = AutoClosingOptions(dir, cv::edtNone);
    const QStringList environment{QStringLiteral("TMPDIR=") + dir.path()};
    const QString toolLog = dir.file(QStringLiteral("CVlog.txt"));

    const TRun fromFile = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                             {QStringLiteral("fpe"), QStringLiteral("--options"), file, QStringLiteral("--output"), dir.path()},
                                             dir.path(), environment);
    EXPECT_EQ(fromFile.status, -SIGFPE);
    EXPECT_FALSE(cvtest::readAll(toolLog).contains("Showing error")) << "no dialog kind: nothing shown";
    EXPECT_EQ(EntryCount(dir.file(QStringLiteral("crash_example.elf"))), 1);

    const TRun overridden = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                               {QStringLiteral("fpe"), QStringLiteral("--options"), file, QStringLiteral("--dialog"),
                                                QStringLiteral("classic"), QStringLiteral("--output"), dir.path()},
                                               dir.path(), environment);
    cvtest::waitForProcessesNaming(dir.path());
    EXPECT_TRUE(cvtest::readAll(toolLog).contains("Showing error"));
}

namespace {

class SwitchedOff : public ::testing::TestWithParam<const char*> {};

} // namespace

TEST_P(SwitchedOff, TheProcessEndsAsWithoutTheComponent)
{
    cvtest::TempDir off, without;
    const TRun switchedOff = RunExample({QString::fromLatin1(GetParam()), QStringLiteral("--core-off")}, off.path());
    const TRun noComponent = RunExample({QString::fromLatin1(GetParam()), QStringLiteral("--no-crashbox")}, without.path());
    EXPECT_EQ(switchedOff.status, noComponent.status);
    EXPECT_LT(switchedOff.status, 0) << "ended by a signal";
    EXPECT_EQ(EntryCount(off.file(QStringLiteral("crash_example.elf"))), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SwitchedOff, ::testing::Values("segv", "abort", "fpe", "illegal", "cxx", "cxx-thread", "qt-event"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

// The tool's "Cause a Crash" (56), chosen in its window's menu: a report of
// the tool in its folder, and the crash events in its log.
TEST(CrashExample, TheToolsCauseACrashCommandEndsInAReport)
{
    cvtest::TempDir dir;
    const QString tool = dir.file(QStringLiteral("corvantis-wordlist"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(CV_TOOL_PROGRAM), tool));
    QFile::setPermissions(tool, QFile::permissions(tool) | QFileDevice::ExeOwner);
    const QString toolLog = dir.file(QStringLiteral("tool.log"));
    const TRun run = cvtest::runProgram(tool, {QStringLiteral("/log"), toolLog}, dir.path(),
                         {QStringLiteral("CV_NO_CONTROLLER=1"), QStringLiteral("CV_QUIT_AFTER_START_MS=1500"),
                          QStringLiteral("CV_MENU_COMMAND=56"), QStringLiteral("HOME=") + dir.path(),
                          QStringLiteral("XDG_CONFIG_HOME=") + dir.file(QStringLiteral("config")),
                          QStringLiteral("XDG_DATA_HOME=") + dir.file(QStringLiteral("data"))});
    EXPECT_EQ(run.status, 0) << "the tool goes on after the report" << run.output.toStdString();
    const QString logFile = dir.file(QStringLiteral("corvantis-wordlist.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << run.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_EQ(log.GetItemValue("2.5", 0), "std::domain_error");
    EXPECT_EQ(log.GetItemValue("2.6", 0), "Division by zero (Cause a Crash).");
    const QString events = QString::fromUtf8(cvtest::readAll(toolLog));
    for (const char* line : {"Corvantis Error noticed", "Showing error", "finished showing", "Saving error in", "Saved"})
        EXPECT_TRUE(events.contains(QString::fromLatin1(line))) << line;
}

// --- Hostile conditions ---

namespace {

// Where the report cannot be kept: the log's name, or the output folder, is
// something else than a file to write.
struct TUnusablePlace {
    const char* name;
    void (*make)(const QString& out); // makes the place unusable (out: the output folder)
    const char* reason;
};

void PrintTo(const TUnusablePlace& p, std::ostream* os) { *os << p.name; }

class UnusableLogPlaces : public ::testing::TestWithParam<TUnusablePlace> {};

} // namespace

TEST_P(UnusableLogPlaces, TheReportGoesToTheDataFolderAndTheUserIsToldWhyAndWhere)
{
    const TUnusablePlace& place = GetParam();
    cvtest::TempDir dir;
    const QString out = dir.file(QStringLiteral("out"));
    place.make(out);
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("cxx"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--output"), out},
                                        dir.path(), {QStringLiteral("XDG_DATA_HOME=") + dir.file(QStringLiteral("data"))});
    EXPECT_EQ(run.status, 1) << run.output.toStdString();
    const QString kept = dir.file(QStringLiteral("data/Crashbox/crash_example/crash_example.elf"));
    EXPECT_EQ(EntryCount(kept), 1) << run.output.toStdString();
    const QString told = QStringLiteral("The report could not be saved in \"%1\" (%2); it is saved in \"%3\" instead.")
                             .arg(out + QStringLiteral("/crash_example.elf"), QString::fromLatin1(place.reason), kept);
    EXPECT_TRUE(run.output.contains(told)) << run.output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Places, UnusableLogPlaces,
    ::testing::Values(
        TUnusablePlace{"LogNameIsAFolder", [](const QString& out) { QDir().mkpath(out + QStringLiteral("/crash_example.elf")); }, "it is a folder"},
        TUnusablePlace{"OutputFolderIsAFile", [](const QString& out) { QFile(out).open(QIODevice::WriteOnly); }, "Not a directory"},
        TUnusablePlace{"LogNameIsADanglingLink",
                       [](const QString& out) {
                           QDir().mkpath(out);
                           QFile::link(out + QStringLiteral("/gone/log.elf"), out + QStringLiteral("/crash_example.elf"));
                       },
                       "it is a link to nothing"},
        // A named pipe would hold a reader up for good: it is never opened.
        TUnusablePlace{"LogNameIsANamedPipe",
                       [](const QString& out) {
                           QDir().mkpath(out);
                           ::mkfifo(QFile::encodeName(out + QStringLiteral("/crash_example.elf")).constData(), 0644);
                       },
                       "it is not a regular file"}),
    [](const ::testing::TestParamInfo<TUnusablePlace>& info) { return std::string(info.param.name); });

TEST(CrashExample, AReportThatCanBeKeptNowhereIsSaidWithBothPlacesTried)
{
    cvtest::TempDir dir;
    const QString out = dir.file(QStringLiteral("out"));
    QDir().mkpath(out + QStringLiteral("/crash_example.elf"));
    const QString data = dir.write(QStringLiteral("data"), "a file, no folder");
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("cxx"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--output"), out},
                                        dir.path(), {QStringLiteral("XDG_DATA_HOME=") + data});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("The report could not be saved in \"%1/crash_example.elf\" (it is a folder), nor in \"%2/Crashbox/crash_example/crash_example.elf\"")
                                        .arg(out, data)))
        << run.output.toStdString();
    // The tool's log says what happened: the save failed, and nothing claims it was saved.
    const QString toolLog = QString::fromUtf8(cvtest::readAll(out + QStringLiteral("/CVlog.txt")));
    EXPECT_TRUE(toolLog.contains(QStringLiteral("Failed to complete save"))) << toolLog.toStdString();
    EXPECT_TRUE(toolLog.contains(QStringLiteral("Not saved"))) << toolLog.toStdString();
    EXPECT_FALSE(QRegularExpression(QStringLiteral("\\bSaved\\b")).match(toolLog).hasMatch()) << toolLog.toStdString();
}

TEST(CrashExample, AnOutputFolderThatIsNotThereYetIsMadeForTheToolsLogToo)
{
    cvtest::TempDir dir;
    const QString out = dir.file(QStringLiteral("new/out"));
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("cxx"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--output"), out},
                                        dir.path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(EntryCount(out + QStringLiteral("/crash_example.elf")), 1);
    EXPECT_TRUE(cvtest::readAll(out + QStringLiteral("/CVlog.txt")).contains("Saved")) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains(QStringLiteral("Logging is switched off")));
}

TEST(CrashExample, AnOptionsFileThatCannotBeUsedIsSaidAndTheProgramsOptionsStay)
{
    cvtest::TempDir dir;
    const QString whole = AutoClosingOptions(dir, cv::edtNone);
    const QByteArray bytes = cvtest::readAll(whole);
    const QString cut = dir.write(QStringLiteral("cut.options"), bytes.left(bytes.size() / 2));
    for (const QString& file : {cut, dir.file(QStringLiteral("missing.options"))}) {
        const QString out = dir.file(QFileInfo(file).baseName());
        const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                            {QStringLiteral("cxx"), QStringLiteral("--options"), file, QStringLiteral("--dialog"),
                                             QStringLiteral("none"), QStringLiteral("--output"), out},
                                            dir.path());
        EXPECT_EQ(run.status, 1);
        EXPECT_TRUE(run.output.contains(QStringLiteral("the options file \"%1\" was not used (").arg(file))) << run.output.toStdString();
        EXPECT_EQ(EntryCount(out + QStringLiteral("/crash_example.elf")), 1) << "the program's own options report it";
    }
}

// A program restarted after a crash that crashes again at once is not
// restarted for ever: the second report says why it ends.
TEST(CrashExample, AProgramThatFailsRightAfterItsRestartIsNotRestartedAgain)
{
    cvtest::TempDir dir;
    cv::TCrashboxModuleOptions options("crash_example");
    options.SetExceptionDialogType(cv::edtNone);
    options.SetAutoCrashOperation(cv::tbRestart);
    options.SetAutoCrashNumber(1);
    options.SetAutoCrashMinutes(1);
    const QString file = dir.file(QStringLiteral("restart.options"));
    ASSERT_TRUE(options.SaveToFile(file.toStdString()));
    const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                        {QStringLiteral("cxx"), QStringLiteral("--options"), file, QStringLiteral("--output"), dir.path()},
                                        dir.path());
    EXPECT_EQ(run.status, 1);
    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 2) << "the first run and its restart" << run.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_TRUE(log.GetItemValue("2.10", 0).empty());
    EXPECT_TRUE(log.GetItemValue("2.10", 1).starts_with("Not restarted: the program failed again ")) << log.GetItemValue("2.10", 1);
    EXPECT_TRUE(run.output.contains(QStringLiteral("Not restarted"))) << run.output.toStdString();
}

// A request the reporter cannot read goes once it has said so; a file that
// is no request of ours stays.
TEST(CrashExample, ARefusedReporterRequestIsRemoved)
{
    cvtest::TempDir dir;
    const QString request = dir.write(QStringLiteral("Crashbox-1-1.request"), "no request at all");
    const QString notes = dir.write(QStringLiteral("notes.txt"), "the user's own file");
    const TRun refused = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), {QStringLiteral("--crashbox-reporter"), request}, dir.path());
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(refused.output.contains(QStringLiteral("Not a report request."))) << refused.output.toStdString();
    EXPECT_FALSE(QFile::exists(request));
    const TRun other = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), {QStringLiteral("--crashbox-reporter"), notes}, dir.path());
    EXPECT_EQ(other.status, 2);
    EXPECT_TRUE(QFile::exists(notes));
}

// --- The worst moments: a second fault during the dialog, a full disk, no
// file descriptor left ---

namespace {

// A KIND with a second fault (`option`), `times` runs with each dialog kind
// (one that would stay 30 seconds), all at once, each run's output in a
// folder named after its dialog kind (and the run's number after the first).
std::vector<TRun> RunWithEachDialog(const cvtest::TempDir& dir, const QString& kind, const std::vector<cv::TExceptionDialogType>& kinds,
                                    const QString& option, int times = 1)
{
    std::vector<std::future<TRun>> started;
    for (const cv::TExceptionDialogType dialog : kinds)
        for (int time = 0; time < times; ++time) {
            const QString name = QString::fromStdString(DialogKindName(dialog));
            const QString folder = dir.file(name + (time > 0 ? QString::number(time) : QString()));
            QDir().mkpath(folder);
            const QString options = AutoClosingOptions(dir, dialog, 30, name + QStringLiteral(".options"));
            started.push_back(std::async(std::launch::async, [kind, folder, options, option] {
                return cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                          {kind, option, QStringLiteral("--options"), options, QStringLiteral("--output"), folder},
                                          folder, {QStringLiteral("TMPDIR=") + folder}, std::chrono::seconds(60));
            }));
        }
    std::vector<TRun> runs;
    for (std::future<TRun>& run : started)
        runs.push_back(run.get());
    return runs;
}

std::vector<TRun> RunCxxWithEachDialog(const cvtest::TempDir& dir, const std::vector<cv::TExceptionDialogType>& kinds,
                                       const QString& option)
{
    return RunWithEachDialog(dir, QStringLiteral("cxx"), kinds, option);
}

} // namespace

// Another thread faults while the dialog of a C++ exception is up (a dialog
// that would stay 30 seconds; the message box is one too, on screen): the
// first report is in the log before the dialog opened and names the second
// fault; the process still ends, by the second fault's signal, once that
// fault has waited its time.
TEST(CrashExample, ASecondFaultDuringEachDialogKeepsTheFirstReportAndNamesTheFault)
{
    cvtest::TempDir dir;
    const std::vector<cv::TExceptionDialogType> kinds = {cv::edtMessageBox, cv::edtMSClassic, cv::edtCrashbox};
    const std::vector<TRun> runs = RunCxxWithEachDialog(dir, kinds, QStringLiteral("--second-fault"));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const TRun& run = runs[i];
        const std::string kind = DialogKindName(kinds[i]);
        const QString logFile = dir.file(QString::fromStdString(kind) + QStringLiteral("/crash_example.elf"));
        EXPECT_EQ(run.status, -SIGSEGV) << kind << ": " << run.output.toStdString();
        ASSERT_EQ(EntryCount(logFile), 1) << kind << ": " << run.output.toStdString();
        const cv::TLogFile log(logFile.toStdString(), true);
        EXPECT_EQ(log.GetItemValue("2.5", 0), "std::runtime_error") << kind;
        const std::string note = log.GetItemValue("2.10", 0);
        EXPECT_NE(note.find("Another fault came while this report was made: EAccessViolation"), std::string::npos) << kind << ": " << note;
        EXPECT_NE(note.find("signal 11"), std::string::npos) << kind << ": " << note;
    }
}

// The window thread faults while it shows the dialog of its own C++
// exception (a timer of the program fires in the dialog's event loop): the
// report names that fault, on the window thread, and the program still ends.
TEST(CrashExample, AFaultOfTheWindowThreadDuringItsOwnDialogIsNamedInTheReport)
{
    cvtest::TempDir dir;
    const std::vector<cv::TExceptionDialogType> kinds = {cv::edtMSClassic, cv::edtCrashbox};
    const std::vector<TRun> runs = RunCxxWithEachDialog(dir, kinds, QStringLiteral("--window-fault"));
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        const TRun& run = runs[i];
        const std::string kind = DialogKindName(kinds[i]);
        EXPECT_EQ(run.status, 1) << kind << ": " << run.output.toStdString();
        const QString logFile = dir.file(QString::fromStdString(kind) + QStringLiteral("/crash_example.elf"));
        ASSERT_EQ(EntryCount(logFile), 1) << kind << ": " << run.output.toStdString();
        const cv::TLogFile log(logFile.toStdString(), true);
        EXPECT_EQ(log.GetItemValue("2.5", 0), "std::runtime_error") << kind;
        const std::vector<TStackBlock> blocks = StackBlocks(QString::fromStdString(log.Item(0)));
        ASSERT_FALSE(blocks.empty()) << kind;
        const QRegularExpressionMatch window = QRegularExpression(QStringLiteral("ID=(\\d+);")).match(blocks[0].header);
        ASSERT_TRUE(window.hasMatch()) << blocks[0].header.toStdString();
        const std::string note = log.GetItemValue("2.10", 0);
        EXPECT_NE(note.find("Another fault came while this report was made: EAccessViolation"), std::string::npos) << kind << ": " << note;
        EXPECT_NE(note.find("signal 11, thread " + window.captured(1).toStdString() + ","), std::string::npos) << kind << ": " << note;
    }
}

// The same for an event handler's exception, which the program survives:
// the fault left the dialog's event loop without unwinding it, so the
// window thread cannot go back into the program. The program ends after
// the one report, with exit code 1, as after an exception nothing catches,
// and no second report of a crash in the window system follows (three runs
// of each dialog kind).
TEST(CrashExample, AFaultOfTheWindowThreadDuringTheDialogOfAnEventsExceptionEndsTheProgramAfterTheOneReport)
{
    cvtest::TempDir dir;
    const std::vector<cv::TExceptionDialogType> kinds = {cv::edtMSClassic, cv::edtCrashbox};
    constexpr int kTimes = 3;
    const std::vector<TRun> runs = RunWithEachDialog(dir, QStringLiteral("qt-event"), kinds, QStringLiteral("--window-fault"), kTimes);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const TRun& run = runs[i];
        const std::string name = DialogKindName(kinds[i / kTimes]) + (i % kTimes > 0 ? std::to_string(i % kTimes) : std::string());
        EXPECT_EQ(run.status, 1) << name << ": " << run.output.toStdString();
        const QString logFile = dir.file(QString::fromStdString(name) + QStringLiteral("/crash_example.elf"));
        ASSERT_EQ(EntryCount(logFile), 1) << name << ": " << run.output.toStdString();
        const cv::TLogFile log(logFile.toStdString(), true);
        EXPECT_EQ(log.GetItemValue("2.5", 0), "std::logic_error") << name;
        const std::string note = log.GetItemValue("2.10", 0);
        EXPECT_NE(note.find("Another fault came while this report was made: EAccessViolation"), std::string::npos) << name << ": " << note;
        EXPECT_EQ(run.output.count(QStringLiteral("internal error")), 1) << name << ": " << run.output.toStdString();
    }
}

namespace {

// The one report of a first run, as the earlier log of the next.
QByteArray EarlierLog(const cvtest::TempDir& dir, const QString& out)
{
    const QString first = dir.file(QStringLiteral("first"));
    QDir().mkpath(first);
    RunExample({QStringLiteral("cxx"), QStringLiteral("--dialog"), QStringLiteral("none")}, first);
    QDir().mkpath(out);
    QFile::copy(first + QStringLiteral("/crash_example.elf"), out + QStringLiteral("/crash_example.elf"));
    return cvtest::readAll(out + QStringLiteral("/crash_example.elf"));
}

// What a run that could not save in its folder must leave: the earlier log
// byte for byte, the report in the fallback place, and the reason said.
void ExpectTheReportInTheFallbackPlace(const TRun& run, const QByteArray& earlier, const QByteArray& after, const QString& out,
                                       const QString& data, const char* reason)
{
    EXPECT_EQ(run.status, 1) << run.output.toStdString();
    EXPECT_EQ(after, earlier) << "the earlier log is left as it was";
    const QString kept = data + QStringLiteral("/Crashbox/crash_example/crash_example.elf");
    ASSERT_EQ(EntryCount(kept), 1) << run.output.toStdString();
    EXPECT_EQ(cv::TLogFile(kept.toStdString(), true).GetItemValue("2.5", 0), "std::runtime_error");
    const QString told = QStringLiteral("The report could not be saved in \"%1/crash_example.elf\" (%2); it is saved in \"%3\" instead.")
                             .arg(out, QString::fromLatin1(reason), kept);
    EXPECT_TRUE(run.output.contains(told)) << run.output.toStdString();
}

} // namespace

// The log's file may grow no more (a file-size limit the earlier log comes
// near): the save fails, the earlier log stays whole, the report goes to
// the fallback place, and the process is not ended by the limit's signal.
TEST(CrashExample, AReportTheFullLogCannotTakeGoesToTheFallbackPlace)
{
    if (!QFile::exists(QStringLiteral("/usr/bin/prlimit")))
        GTEST_SKIP() << "prlimit is not installed";
    cvtest::TempDir dir;
    const QString out = dir.file(QStringLiteral("out"));
    const QByteArray earlier = EarlierLog(dir, out);
    ASSERT_GT(earlier.size(), 1000);
    // Room for one report, not for two.
    const qsizetype limit = earlier.size() + earlier.size() / 2;
    const TRun run = cvtest::runProgram(QStringLiteral("/usr/bin/prlimit"),
                                        {QStringLiteral("--fsize=%1").arg(limit), QStringLiteral(CV_CRASH_EXAMPLE), QStringLiteral("cxx"),
                                         QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--output"), out},
                                        dir.path(), {QStringLiteral("XDG_DATA_HOME=") + dir.file(QStringLiteral("data"))});
    ExpectTheReportInTheFallbackPlace(run, earlier, cvtest::readAll(out + QStringLiteral("/crash_example.elf")), out,
                                      dir.file(QStringLiteral("data")), std::strerror(EFBIG));
}

// A full disk: the output folder a small file system that is full (mounted
// in a mount namespace of the run's own, so nobody else sees it).
TEST(CrashExample, AReportTheFullDiskCannotTakeGoesToTheFallbackPlace)
{
    if (::geteuid() != 0 || !QFile::exists(QStringLiteral("/usr/bin/unshare")))
        GTEST_SKIP() << "mounting a small file system needs the administrator and unshare";
    cvtest::TempDir dir;
    const QString out = dir.file(QStringLiteral("out"));
    const QByteArray earlier = EarlierLog(dir, out);
    const QString earlierFile = dir.write(QStringLiteral("earlier.elf"), earlier);
    // The full disk goes with the run: what it left there is copied out.
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=%1 tmpfs \"$1\" || exit 90\n"
        "cp \"$2\" \"$1/crash_example.elf\"\n"
        "cat /dev/zero > \"$1/filler\" 2>/dev/null\n"
        "\"$3\" cxx --dialog none --output \"$1\"\n"
        "status=$?\n"
        "cp \"$1/crash_example.elf\" \"$4\"\n"
        "exit $status\n").arg(earlier.size() + 256 * 1024);
    const TRun run = cvtest::runProgram(QStringLiteral("/usr/bin/unshare"),
                                        {QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), out,
                                         earlierFile, QStringLiteral(CV_CRASH_EXAMPLE), dir.file(QStringLiteral("after.elf"))},
                                        dir.path(), {QStringLiteral("XDG_DATA_HOME=") + dir.file(QStringLiteral("data"))});
    // Where the root is no mount point (a chroot) unshare cannot make the
    // namespace at all, and nothing could be mounted either.
    if (run.status == 90 || run.output.startsWith(QStringLiteral("unshare: ")))
        GTEST_SKIP() << "no small file system could be mounted here: " << run.output.toStdString();
    ExpectTheReportInTheFallbackPlace(run, earlier, cvtest::readAll(dir.file(QStringLiteral("after.elf"))), out,
                                      dir.file(QStringLiteral("data")), std::strerror(ENOSPC));
}

// No descriptor left in the process: the report is still in the log, the
// reporter of a fatal signal still shows its dialog, and nothing of the
// report is left behind (no empty folder of its own).
TEST(CrashExample, AFullDescriptorTableStillGivesTheReportAndLeavesNothingBehind)
{
    cvtest::TempDir dir;
    const QString options = AutoClosingOptions(dir, cv::edtMSClassic);
    for (const char* kind : {"cxx", "segv"}) {
        const QString out = dir.file(QString::fromLatin1(kind));
        const QString tmp = out + QStringLiteral("/tmp");
        QDir().mkpath(tmp);
        QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        const TRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                            {QString::fromLatin1(kind), QStringLiteral("--no-descriptors"), QStringLiteral("--options"), options,
                                             QStringLiteral("--output"), out},
                                            out, {QStringLiteral("TMPDIR=") + tmp, QStringLiteral("XDG_RUNTIME_DIR=") + tmp});
        cvtest::waitForProcessesNaming(tmp);
        EXPECT_EQ(run.status, std::string(kind) == "cxx" ? 1 : -SIGSEGV) << kind << ": " << run.output.toStdString();
        EXPECT_EQ(EntryCount(out + QStringLiteral("/crash_example.elf")), 1) << kind << ": " << run.output.toStdString();
        EXPECT_TRUE(cvtest::readAll(out + QStringLiteral("/CVlog.txt")).contains("finished showing")) << kind;
        const QStringList left = QDir(tmp).entryList({QStringLiteral("crashbox-*"), QStringLiteral("*.request")},
                                                     QDir::AllEntries | QDir::Hidden);
        EXPECT_TRUE(left.isEmpty()) << kind << ": " << left.join(u' ').toStdString();
    }
}

namespace {

// A kind that must give its report every time: its runs (four at once),
// each in a folder of its own.
struct TEveryTime {
    const char* name;
    QStringList arguments;
    int status;
    const char* function; // the first frame of the program with a source line
    const char* unit;
    const char* className;
};

void PrintTo(const TEveryTime& k, std::ostream* os) { *os << k.name; }

class ReportedEveryTime : public ::testing::TestWithParam<TEveryTime> {};

// What went wrong in a run of the kind ("" when it left its one report in time).
QString FailureOf(const TEveryTime& k, const TRun& run, const QString& folder, double seconds)
{
    const QString logFile = folder + QStringLiteral("/crash_example.elf");
    if (run.status != k.status)
        return QStringLiteral("status %1").arg(run.status);
    if (EntryCount(logFile) != 1)
        return QStringLiteral("%1 reports").arg(EntryCount(logFile));
    // A report that waited for the allocator's lock ends only at the
    // report's deadline (10 s); a segv's takes a fraction of a second.
    if (seconds > 5)
        return QStringLiteral("%1 s").arg(seconds);
    const cv::TLogFile log(logFile.toStdString(), true);
    if (log.GetItemValue("2.5", 0) != k.className)
        return QString::fromStdString("class " + log.GetItemValue("2.5", 0));
    // Below the C library's frames (and free, the core's own: it serves
    // the process's allocation), the function that faulted.
    const std::vector<TStackBlock> blocks = StackBlocks(QString::fromStdString(log.Item(0)));
    for (const TStackRow& row : blocks.empty() ? std::vector<TStackRow>{} : blocks[0].rows)
        if (row.line > 0 && row.unit != QStringLiteral("report_arena.cpp"))
            return row.procedure.contains(QString::fromLatin1(k.function)) && row.unit == QString::fromLatin1(k.unit)
                       ? QString()
                       : QStringLiteral("first frame %1 in %2").arg(row.procedure, row.unit);
    return QStringLiteral("no frame with a line");
}

} // namespace

// A corrupt heap found by the C library inside free (it aborts holding its
// allocator's lock), and a fault while other threads hold that lock: the
// report needs nothing of the allocator, so it comes in 20 runs of 20, as
// fast as a segv's.
TEST_P(ReportedEveryTime, TwentyRunsOfTwenty)
{
    const TEveryTime& k = GetParam();
    cvtest::TempDir dir;
    constexpr int kRuns = 20, kAtOnce = 4;
    QStringList failures;
    for (int first = 0; first < kRuns; first += kAtOnce) {
        std::vector<std::future<std::pair<TRun, double>>> runs;
        std::vector<QString> folders;
        for (int i = first; i < first + kAtOnce; ++i) {
            folders.push_back(dir.file(QStringLiteral("run%1").arg(i)));
            QDir().mkpath(folders.back());
            runs.push_back(std::async(std::launch::async, [&k, folder = folders.back()] {
                const auto start = std::chrono::steady_clock::now();
                TRun run = RunExample(k.arguments + QStringList{QStringLiteral("--dialog"), QStringLiteral("none")}, folder);
                return std::make_pair(run, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            }));
        }
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const auto [run, seconds] = runs[i].get();
            if (const QString failure = FailureOf(k, run, folders[i], seconds); !failure.isEmpty())
                failures << QStringLiteral("run %1: %2\n%3").arg(first + int(i)).arg(failure, run.output);
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.size() << " of " << kRuns << " runs failed:\n" << failures.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReportedEveryTime,
    ::testing::Values(TEveryTime{"WriteBeyondAHeapBlockThenItsFree", {QStringLiteral("heap-overrun")}, -SIGABRT, "FaultHeapOverrun",
                                 "program_faults.cpp", "EAbortSignal"},
                      TEveryTime{"ABlockFreedTwice", {QStringLiteral("double-free")}, -SIGABRT, "FaultDoubleFree", "program_faults.cpp",
                                 "EAbortSignal"},
                      TEveryTime{"AFaultWhileSixteenThreadsAllocateWithOneArena", {QStringLiteral("held-lock")}, -SIGSEGV,
                                 "FaultWhileThreadsAllocate", "program_faults.cpp", "EAccessViolation"}),
    [](const ::testing::TestParamInfo<TEveryTime>& info) { return std::string(info.param.name); });

// A thread that a static constructor started before main (and so before
// the component) overflows its stack: it too was given an alternate signal
// stack, so its fault is reported.
TEST(CrashExample, AStackOverflowInAThreadStartedBeforeTheComponentIsReported)
{
    cvtest::TempDir dir;
    const TRun run = RunExample({QStringLiteral("early-thread-overflow"), QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    EXPECT_EQ(run.status, -SIGSEGV) << run.output.toStdString();
    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << run.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_EQ(log.GetItemValue("2.5", 0), "EStackOverflow");
    const TStackRow row = FirstResolvedRow(QString::fromStdString(log.Item(0)));
    EXPECT_TRUE(row.procedure.contains(QStringLiteral("FaultStackOverflow"))) << row.procedure.toStdString();
    EXPECT_FALSE(StackBlocks(QString::fromStdString(log.Item(0))).at(0).header.contains(QStringLiteral("[Main]")))
        << "the thread's, not the main thread's";
}

namespace {

struct TWithoutThreads {
    const char* name;
    QStringList arguments;
    int status;
    const char* function;
};

void PrintTo(const TWithoutThreads& k, std::ostream* os) { *os << k.name; }

class WithoutThreads : public ::testing::TestWithParam<TWithoutThreads> {};

} // namespace

// No thread can start (a limit of threads; the system answers EAGAIN):
// the report is made on the thread that met the fault, the program ends as
// after any report of its kind, and standard error says which thread could
// not be started.
TEST_P(WithoutThreads, TheReportIsMadeOnTheFaultingThread)
{
    const TWithoutThreads& k = GetParam();
    cvtest::TempDir dir;
    const TRun run = RunExample(k.arguments + QStringList{QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    EXPECT_EQ(run.status, k.status) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains(QStringLiteral("terminate called"))) << run.output.toStdString();
    EXPECT_TRUE(run.output.contains(QStringLiteral("could not be started (Resource temporarily unavailable)"))) << run.output.toStdString();
    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << run.output.toStdString();
    const TStackRow row = FirstResolvedRow(ReportOf(logFile));
    EXPECT_TRUE(row.procedure.contains(QString::fromLatin1(k.function))) << row.procedure.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, WithoutThreads,
    ::testing::Values(TWithoutThreads{"AnExceptionNothingCatches", {QStringLiteral("cxx"), QStringLiteral("--no-threads")}, 1, "FaultCxx"},
                      TWithoutThreads{"AnExceptionInAnEventHandler", {QStringLiteral("qt-event"), QStringLiteral("--no-threads")}, 1,
                                      "FaultQtEvent"},
                      TWithoutThreads{"ASegvWithoutAReportThread", {QStringLiteral("segv"), QStringLiteral("--no-threads-at-start")}, -SIGSEGV,
                                      "FaultSegv"},
                      TWithoutThreads{"AStackOverflowWithoutAReportThread",
                                      {QStringLiteral("stack-overflow"), QStringLiteral("--no-threads-at-start")}, -SIGSEGV,
                                      "FaultStackOverflow"},
                      TWithoutThreads{"AnExceptionWithoutAnyThreadOfTheCore", {QStringLiteral("cxx"), QStringLiteral("--no-threads-at-start")},
                                      1, "FaultCxx"}),
    [](const ::testing::TestParamInfo<TWithoutThreads>& info) { return std::string(info.param.name); });

// A reporter ended by a signal (SIGTERM as the session ends) with its dialog
// up leaves its report's folder; the next start of a program with the
// component removes it once nobody has touched it for a minute.
TEST(CrashExample, TheFolderOfAReporterEndedByASignalIsRemovedAtTheNextStart)
{
    cvtest::TempDir dir;
    const QString options = AutoClosingOptions(dir, cv::edtMSClassic, 60);
    const QString tmp = dir.file(QStringLiteral("tmp"));
    QDir().mkpath(tmp);
    QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QStringList environment{QStringLiteral("TMPDIR=") + tmp, QStringLiteral("XDG_RUNTIME_DIR=") + tmp};
    const QString out = dir.file(QStringLiteral("out"));
    QDir().mkpath(out);
    const TRun crash = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                          {QStringLiteral("segv"), QStringLiteral("--options"), options, QStringLiteral("--output"), out},
                                          out, environment);
    EXPECT_EQ(crash.status, -SIGSEGV) << crash.output.toStdString();
    // The reporter shows its dialog; it is ended as a session's end ends it.
    const auto showing = [&] { return cvtest::readAll(out + QStringLiteral("/CVlog.txt")).contains("Showing"); };
    for (int waited = 0; waited < 20000 && !showing(); waited += 50)
        ::usleep(50000);
    const std::vector<int> reporters = cvtest::processesNaming(tmp);
    ASSERT_EQ(reporters.size(), 1u) << cvtest::readAll(out + QStringLiteral("/CVlog.txt")).toStdString();
    ::kill(reporters[0], SIGTERM);
    cvtest::waitForProcessesNaming(tmp);
    const QStringList left = QDir(tmp).entryList({QStringLiteral("crashbox-*")}, QDir::Dirs | QDir::Hidden);
    ASSERT_EQ(left.size(), 1) << left.join(u' ').toStdString();
    const std::string folder = (tmp + QLatin1Char('/') + left[0]).toStdString();

    // Started again (a run that reports nothing, once its background work is done).
    cvtest::SetBackLastChange(folder);
    const QString again = dir.file(QStringLiteral("again"));
    QDir().mkpath(again);
    const TRun next = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                         {QStringLiteral("cxx-handled"), QStringLiteral("--prepared"), QStringLiteral("--dialog"),
                                          QStringLiteral("none"), QStringLiteral("--output"), again},
                                         again, environment);
    EXPECT_EQ(next.status, 0) << next.output.toStdString();
    EXPECT_TRUE(QDir(tmp).entryList({QStringLiteral("crashbox-*")}, QDir::Dirs | QDir::Hidden).isEmpty());
}

// The component stays on through the program's end after main: a fault in
// the destructor of an object of static storage made while it ran is
// reported, in the log the options name; a program that calls exit with
// the component on ends as it would without it.
TEST(CrashExample, AFaultInAStaticDestructorAfterMainIsReported)
{
    cvtest::TempDir dir;
    const TRun run = RunExample({QStringLiteral("static-destructor-abort"), QStringLiteral("--dialog"), QStringLiteral("none")}, dir.path());
    EXPECT_EQ(run.status, -SIGABRT) << run.output.toStdString();
    const QString logFile = dir.file(QStringLiteral("crash_example.elf"));
    ASSERT_EQ(EntryCount(logFile), 1) << run.output.toStdString();
    const cv::TLogFile log(logFile.toStdString(), true);
    EXPECT_EQ(log.GetItemValue("2.5", 0), "EAbortSignal");
    QStringList procedures;
    const std::vector<TStackBlock> blocks = StackBlocks(QString::fromStdString(log.Item(0)));
    ASSERT_FALSE(blocks.empty());
    // The C library's unnamed frames (module and offset) may stand between
    // the destructor and exit.
    static const QRegularExpression unnamed(QStringLiteral("^\\S+\\+0x[0-9a-f]+$"));
    for (const TStackRow& row : blocks[0].rows)
        if (!unnamed.match(row.procedure).hasMatch())
            procedures << row.procedure;
    const QString stack = procedures.join(u'\n');
    EXPECT_TRUE(stack.contains(QStringLiteral("FaultInStaticDestructor()\n")) && stack.contains(QStringLiteral("~TAbortsAtExit()\nexit")))
        << stack.toStdString();

    cvtest::TempDir exitDir;
    const TRun exited = RunExample({QStringLiteral("exit-at-once"), QStringLiteral("--dialog"), QStringLiteral("none")}, exitDir.path());
    EXPECT_EQ(exited.status, 0) << exited.output.toStdString();
    EXPECT_EQ(EntryCount(exitDir.file(QStringLiteral("crash_example.elf"))), 0);
}
