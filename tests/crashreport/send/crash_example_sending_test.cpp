// Sending end to end: the example program crashes on its window thread, the
// reporter process it leaves behind sends the report to servers the test
// starts on 127.0.0.1, and what arrived (or, when the server refuses, what
// stayed behind) is checked, with the tool's own log.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/stat.h>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/log_file.h"
#include "local_servers.h"
#include "web_servers.h"

namespace {

class CrashExampleSending : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!cvtest::haveDebianPython())
            GTEST_SKIP() << "no /usr/bin/python3";
        QDir().mkpath(out());
        // The reports' folders go in the test's own folder, its user's alone
        // (as a runtime folder is).
        QDir().mkpath(tmp());
        QFile::setPermissions(tmp(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    QString tmp() const { return dir.file(QStringLiteral("tmp")); }
    // The runs' environment: the temporary and the runtime folder the test's.
    QStringList Environment(const QStringList& more = {}) const
    {
        return QStringList{QStringLiteral("TMPDIR=") + tmp(), QStringLiteral("XDG_RUNTIME_DIR=") + tmp()} + more;
    }
    // Nothing of the runs' reports is left (folders, files, requests). The
    // suite's own folder stays: it holds the published options, which a
    // crashed process leaves for the next one to remove.
    void ExpectNothingLeftInTmp() const
    {
        QStringList left = QDir(tmp()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden);
        left.removeAll(QStringLiteral("corvantis"));
        EXPECT_TRUE(left.isEmpty()) << "the report's folder, its files and the request are gone: " << left.join(' ').toStdString();
    }

    QString out() const { return dir.file(QStringLiteral("out")); }
    QString toolLog() const { return QString::fromUtf8(cvtest::readAll(out() + QStringLiteral("/CVlog.txt"))); }

    // Options read by the example before its command line.
    QString OptionsFile(const std::function<void(cv::TCrashboxModuleOptions&)>& change)
    {
        cv::TCrashboxModuleOptions options("crash_example");
        change(options);
        const QString file = dir.file(QStringLiteral("example.options"));
        EXPECT_TRUE(options.SaveToFile(file.toStdString()));
        return file;
    }

    // The example's run, then its reporter's.
    cvtest::ProgramRun Crash(const QStringList& arguments)
    {
        const cvtest::ProgramRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE),
                                                          arguments + QStringList{QStringLiteral("--output"), out()}, out(),
                                                          Environment({QStringLiteral("CV_MAIL_REPLY_SILENCE=50")}));
        cvtest::waitForProcessesNaming(tmp());
        return run;
    }

    // The one report of the example's log.
    QByteArray LoggedReport() const
    {
        const cv::TLogFile log((out() + QStringLiteral("/crash_example.elf")).toStdString(), true);
        EXPECT_EQ(log.Count(), 1);
        return log.Count() == 1 ? QByteArray::fromStdString(log.Item(0)) : QByteArray();
    }

    // The archive's log copy holds the logged report, lines ended by CR LF.
    void ExpectTheLoggedReport(const QString& unpacked) const
    {
        const QByteArray copy = cvtest::readAll(unpacked + QStringLiteral("/crash_example.elf"));
        const QByteArray report = LoggedReport();
        EXPECT_TRUE(report.contains("FaultSegv"));
        EXPECT_TRUE(copy.startsWith(report.trimmed())) << copy.left(200).toStdString();
        EXPECT_TRUE(copy.endsWith("\r\n\r\n\r\n"));
    }

    cvtest::TempDir dir;
};

class CrashExampleMail : public CrashExampleSending, public ::testing::WithParamInterface<bool> {};

TEST_P(CrashExampleMail, OneMessageCarriesTheCrashsLogEntry)
{
    const bool screenshot = GetParam();
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    QStringList arguments{QStringLiteral("segv"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--smtp"),
                          QStringLiteral("127.0.0.1:%1").arg(server->port()), QStringLiteral("--to"),
                          QStringLiteral("support@example.test")};
    if (!screenshot)
        arguments << QStringLiteral("--options") << OptionsFile([](cv::TCrashboxModuleOptions& o) {
            o.SetCommonSendOptions({cv::sndShowSendDialog});
        });
    EXPECT_EQ(Crash(arguments).status, -SIGSEGV);

    const QStringList kept = QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")});
    ASSERT_EQ(kept.size(), 1) << toolLog().toStdString();
    const QString message = dir.file(QStringLiteral("mail/") + kept[0]);
    const QJsonObject record = QJsonDocument::fromJson(cvtest::readAll(message)).object();
    EXPECT_EQ(record.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray{QStringLiteral("support@example.test")});
    const QString unpacked = dir.file(QStringLiteral("unpacked"));
    const QStringList members = cvtest::ArchiveMembers(QStringLiteral("mail"), message, unpacked);
    EXPECT_EQ(members, screenshot ? QStringList({QStringLiteral("crash_example.elf"), QStringLiteral("Screenshot.png")})
                                  : QStringList{QStringLiteral("crash_example.elf")});
    ExpectTheLoggedReport(unpacked);
    if (screenshot)
        EXPECT_TRUE(cvtest::readAll(unpacked + QStringLiteral("/Screenshot.png")).startsWith("\x89PNG\r\n\x1a\n"));
    EXPECT_TRUE(toolLog().contains(QStringLiteral("Sent email")));
    ExpectNothingLeftInTmp();
}

INSTANTIATE_TEST_SUITE_P(Screenshot, CrashExampleMail, ::testing::Bool());

TEST_F(CrashExampleSending, AnUploadCarriesTheSameFiles)
{
    const QString requests = dir.file(QStringLiteral("requests.log"));
    const auto server = cvtest::StartWebServer(requests);
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    EXPECT_EQ(Crash({QStringLiteral("segv"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--http"),
                     QStringLiteral("http://127.0.0.1:%1/reports/upload.php").arg(server->port())})
                  .status,
              -SIGSEGV);
    const QString unpacked = dir.file(QStringLiteral("unpacked"));
    EXPECT_EQ(cvtest::ArchiveMembers(QStringLiteral("upload"), requests, unpacked),
              QStringList({QStringLiteral("crash_example.elf"), QStringLiteral("Screenshot.png")}));
    ExpectTheLoggedReport(unpacked);
}

TEST_F(CrashExampleSending, ARefusedReportStaysAsACompressedCopyAndTheToolLogsTheFailure)
{
    const QString options = OptionsFile([](cv::TCrashboxModuleOptions& o) {
        o.SetBehaviourOptions({cv::boSaveCompressedCopyInCaseOfError});
    });
    const cvtest::RefusingPort refusing;
    EXPECT_EQ(Crash({QStringLiteral("segv"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--options"), options,
                     QStringLiteral("--smtp"), QStringLiteral("127.0.0.1:%1").arg(refusing.port()), QStringLiteral("--to"),
                     QStringLiteral("support@example.test")})
                  .status,
              -SIGSEGV);
    const QString unpacked = dir.file(QStringLiteral("unpacked"));
    EXPECT_EQ(cvtest::ArchiveMembers(QStringLiteral("zip"), out() + QStringLiteral("/BugReport.zip"), unpacked),
              QStringList({QStringLiteral("crash_example.elf"), QStringLiteral("Screenshot.png")}));
    ExpectTheLoggedReport(unpacked);

    // The crash-event lines of both processes, in the handling's order.
    QStringList lines;
    for (const QString& line : toolLog().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        lines << line.mid(line.indexOf(QLatin1Char(' ')) + 1).trimmed(); // without the time stamp
    EXPECT_EQ(lines, QStringList({QStringLiteral("Corvantis Error noticed"), QStringLiteral("Outputpath = ") + out() + QLatin1Char('/'),
                                  QStringLiteral("Saving error in ") + out() + QStringLiteral("/crash_example.elf"),
                                  QStringLiteral("Saved"), QStringLiteral("Sending email"), QStringLiteral("***"),
                                  QStringLiteral("Failed to complete send"), QStringLiteral("Email not sent")}));
}

// A worker thread's exception with a send method: the window thread waits
// meanwhile for the worker's end, outside its event loop. Whether it can
// show a dialog is asked once, without waiting a second for it: the report
// is in the log well within a second of the throw, and the reporter the
// dialog and sending go to delivers it.
TEST_F(CrashExampleSending, AWorkerThreadsExceptionIsLoggedWithoutWaitingASecondForTheWindowThread)
{
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    const cvtest::ProgramRun run = Crash({QStringLiteral("cxx-thread"), QStringLiteral("--dialog"), QStringLiteral("none"),
                                          QStringLiteral("--timing"), QStringLiteral("--smtp"),
                                          QStringLiteral("127.0.0.1:%1").arg(server->port()), QStringLiteral("--to"),
                                          QStringLiteral("support@example.test")});
    EXPECT_EQ(run.status, 1) << run.output.toStdString();
    const auto timeOf = [&](const char* what) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("crash_example: %1 at (\\d+) ns").arg(QLatin1String(what))).match(run.output);
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    };
    const qint64 fault = timeOf("fault"), saved = timeOf("report saved");
    ASSERT_GT(fault, 0) << run.output.toStdString();
    ASSERT_GT(saved, fault) << run.output.toStdString();
    EXPECT_LT(saved - fault, 1000000000LL) << "the report was in the log " << (saved - fault) / 1000000 << " ms after the throw";
    EXPECT_EQ(QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")}).size(), 1) << toolLog().toStdString();
    EXPECT_EQ(LoggedReport().count("FaultCxxThread") > 0, true);
}

struct TDialogCase {
    const char* kind;
    int status;
    bool inProcess; // a C++ exception: the window thread shows the dialog itself
};

void PrintTo(const TDialogCase& c, std::ostream* os) { *os << c.kind; }

class CrashExampleDialog : public CrashExampleSending, public ::testing::WithParamInterface<TDialogCase> {};

TEST_P(CrashExampleDialog, TheReportGoesWhenTheDialogCloses)
{
    const TDialogCase& c = GetParam();
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    const QString options = OptionsFile([](cv::TCrashboxModuleOptions& o) {
        o.SetExceptionDialogType(cv::edtMSClassic);
        o.SetAutoCloseDialogSecs(1);
    });
    const QStringList arguments{QString::fromLatin1(c.kind), QStringLiteral("--options"), options, QStringLiteral("--smtp"),
                                QStringLiteral("127.0.0.1:%1").arg(server->port()), QStringLiteral("--to"),
                                QStringLiteral("support@example.test"), QStringLiteral("--output"), out()};
    const QStringList environment = Environment({QStringLiteral("CV_MAIL_REPLY_SILENCE=50")});
    const QString mail = dir.file(QStringLiteral("mail"));
    const cvtest::ProgramRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), arguments, out(), environment);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(QDir(mail).entryList({QStringLiteral("msg-*.json")}).size(), c.inProcess ? 1 : 0) << "sent before the example ended";
    cvtest::waitForProcessesNaming(tmp());
    EXPECT_EQ(QDir(mail).entryList({QStringLiteral("msg-*.json")}).size(), 1) << toolLog().toStdString();
    const QString log = toolLog();
    EXPECT_LT(log.indexOf(QStringLiteral("finished showing")), log.indexOf(QStringLiteral("Sending email")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashExampleDialog,
                         ::testing::Values(TDialogCase{"fpe", -SIGFPE, false}, TDialogCase{"cxx", 1, true}));

// An exception nothing catches ends the program only once the report sent
// on a thread of its own has gone; and a mail reply is taken as soon as it
// is whole: with a wait for silence of 30 s after each reply the run would
// take minutes.
TEST_F(CrashExampleSending, AnUncaughtExceptionsReportGoesFromItsSendThreadAtOnce)
{
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    const QString options = OptionsFile([](cv::TCrashboxModuleOptions& o) {
        o.SetCommonSendOptions({cv::sndSendInSeparatedThread});
    });
    const cvtest::ProgramRun run = cvtest::runProgram(
        QStringLiteral(CV_CRASH_EXAMPLE),
        {QStringLiteral("cxx"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--options"), options,
         QStringLiteral("--smtp"), QStringLiteral("127.0.0.1:%1").arg(server->port()), QStringLiteral("--to"),
         QStringLiteral("support@example.test"), QStringLiteral("--output"), out()},
        out(), Environment({QStringLiteral("CV_MAIL_REPLY_SILENCE=30000")}), std::chrono::seconds(20));
    EXPECT_EQ(run.status, 1);
    const QStringList kept = QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")});
    ASSERT_EQ(kept.size(), 1) << toolLog().toStdString();
    const QString unpacked = dir.file(QStringLiteral("unpacked"));
    EXPECT_EQ(cvtest::ArchiveMembers(QStringLiteral("mail"), dir.file(QStringLiteral("mail/") + kept[0]), unpacked),
              QStringList{QStringLiteral("crash_example.elf")});
    ExpectNothingLeftInTmp();
}

// A program with no file descriptor left: its report still goes by mail
// (from the program for a C++ exception, from its reporter for a fatal
// signal), and nothing of it is left behind.
TEST_F(CrashExampleSending, AFullDescriptorTableStillSendsTheReport)
{
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();
    for (const char* kind : {"cxx", "segv"}) {
        const cvtest::ProgramRun run = Crash({QString::fromLatin1(kind), QStringLiteral("--no-descriptors"), QStringLiteral("--dialog"),
                                              QStringLiteral("none"), QStringLiteral("--smtp"),
                                              QStringLiteral("127.0.0.1:%1").arg(server->port()), QStringLiteral("--to"),
                                              QStringLiteral("support@example.test")});
        EXPECT_EQ(run.status, std::string(kind) == "cxx" ? 1 : -SIGSEGV) << kind << ": " << run.output.toStdString();
    }
    const QStringList kept = QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")});
    EXPECT_EQ(kept.size(), 2) << toolLog().toStdString();
    const cv::TLogFile log((out() + QStringLiteral("/crash_example.elf")).toStdString(), true);
    EXPECT_EQ(log.Count(), 2);
    ExpectNothingLeftInTmp();
}

namespace {

// How a report is sent when no thread can start, and where it should go.
struct TWithoutThreads {
    const char* name;
    QStringList arguments; // the kind and the point from which no thread can start
    bool ownSendThread;    // the options give the send a thread of its own
    int status;
    const char* transport; // "mail", "web", or "refused" (a mail server that is not there)
};

void PrintTo(const TWithoutThreads& k, std::ostream* os) { *os << k.name; }

class CrashExampleSendingWithoutThreads : public CrashExampleSending, public ::testing::WithParamInterface<TWithoutThreads> {};

} // namespace

// No thread can start (a limit of threads or of memory): the report still
// goes, sent from the thread that has it (the program's own for an
// exception, the reporter's window thread after a fatal signal, the
// handler's when the send thread cannot start), or the tool's log says it
// did not; the send's windows paint without Qt's pool threads; and the
// program ends as after any report of its kind, neither aborted nor hung.
TEST_P(CrashExampleSendingWithoutThreads, TheReportIsSentOrSaysItWasNot)
{
    const TWithoutThreads& k = GetParam();
    const QString transport = QString::fromLatin1(k.transport);
    QStringList arguments = k.arguments + QStringList{QStringLiteral("--dialog"), QStringLiteral("none")};
    if (k.ownSendThread)
        arguments << QStringLiteral("--options") << OptionsFile([](cv::TCrashboxModuleOptions& o) {
            o.SetCommonSendOptions({cv::sndSendInSeparatedThread, cv::sndShowSendDialog});
        });
    std::unique_ptr<cvtest::LocalServer> server;
    std::optional<cvtest::RefusingPort> refusing;
    const QString requests = dir.file(QStringLiteral("requests.log"));
    if (transport == QLatin1String("web")) {
        server = cvtest::StartWebServer(requests);
        arguments << QStringLiteral("--http") << QStringLiteral("http://127.0.0.1:%1/reports/upload.php").arg(server->port());
    } else {
        quint16 port = 0;
        if (transport == QLatin1String("mail")) {
            server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
            port = server->port();
        } else {
            port = refusing.emplace().port();
        }
        arguments << QStringLiteral("--smtp") << QStringLiteral("127.0.0.1:%1").arg(port) << QStringLiteral("--to")
                  << QStringLiteral("support@example.test");
    }
    if (server) {
        ASSERT_TRUE(server->started()) << server->error().toStdString();
    }

    const cvtest::ProgramRun run = Crash(arguments);
    EXPECT_EQ(run.status, k.status) << run.output.toStdString();
    EXPECT_FALSE(run.output.contains(QStringLiteral("terminate called"))) << run.output.toStdString();
    // (The reporter's own words do not reach the crashed run's output.)
    if (k.status > 0) {
        EXPECT_TRUE(run.output.contains(QStringLiteral("could not be started (Resource temporarily unavailable)"))) << run.output.toStdString();
    }
    EXPECT_FALSE(run.output.contains(QStringLiteral("QThread::start"))) << "no pool thread was asked for:\n"
                                                                         << run.output.toStdString();
    ASSERT_FALSE(LoggedReport().isEmpty());
    if (transport == QLatin1String("mail")) {
        EXPECT_EQ(QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")}).size(), 1) << toolLog().toStdString();
        EXPECT_TRUE(toolLog().contains(QStringLiteral("Sent email"))) << toolLog().toStdString();
    } else if (transport == QLatin1String("web")) {
        const QString unpacked = dir.file(QStringLiteral("unpacked"));
        EXPECT_TRUE(cvtest::ArchiveMembers(QStringLiteral("upload"), requests, unpacked).contains(QStringLiteral("crash_example.elf")));
    } else {
        EXPECT_TRUE(toolLog().contains(QStringLiteral("Failed to complete send"))) << toolLog().toStdString();
        EXPECT_FALSE(toolLog().contains(QStringLiteral("Sent email"))) << toolLog().toStdString();
    }
    ExpectNothingLeftInTmp();
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CrashExampleSendingWithoutThreads,
    ::testing::Values(
        TWithoutThreads{"AnExceptionByMail", {QStringLiteral("cxx"), QStringLiteral("--no-threads")}, false, 1, "mail"},
        TWithoutThreads{"AnExceptionByTheWeb", {QStringLiteral("cxx"), QStringLiteral("--no-threads")}, false, 1, "web"},
        TWithoutThreads{"AnExceptionToAMailServerThatIsNotThere", {QStringLiteral("cxx"), QStringLiteral("--no-threads")}, false, 1,
                        "refused"},
        TWithoutThreads{"AnExceptionWithoutThreadsWhoseSendWouldHaveAThreadOfItsOwn", {QStringLiteral("cxx"), QStringLiteral("--no-threads")},
                        true, 1, "mail"},
        TWithoutThreads{"AnExceptionWhoseSendThreadCannotStart", {QStringLiteral("cxx"), QStringLiteral("--no-threads-in-report")}, true,
                        1, "mail"},
        TWithoutThreads{"ASegvWhoseReporterCannotStartAThread", {QStringLiteral("segv"), QStringLiteral("--no-threads")}, false,
                        -SIGSEGV, "mail"}),
    [](const ::testing::TestParamInfo<TWithoutThreads>& info) { return std::string(info.param.name); });

namespace {

// The entries under a folder that another user could read or enter.
QStringList OpenToOthers(const QString& folder)
{
    QStringList open;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        struct stat info {};
        if (::lstat(path.toLocal8Bit().constData(), &info) == 0 && (info.st_mode & 077) != 0)
            open << QStringLiteral("%1 %2").arg(path).arg(info.st_mode & 0777, 0, 8);
    }
    return open;
}

// The run a report came from: its "1.4" line (the command line's
// parameters) names the run's own output folder, ".../runs/N".
int RunOfReport(const QByteArray& report, QByteArray* parametersLine)
{
    for (const QByteArray& line : report.split('\n')) {
        if (!line.trimmed().startsWith("1.4 "))
            continue;
        *parametersLine = line.trimmed();
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("/runs/(\\d+)( |$)")).match(QString::fromUtf8(*parametersLine));
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }
    return -1;
}

} // namespace

// Twenty programs crash at once, half sending by mail, half by web; every
// report arrives once, each the one its own run logged, and while they run
// no file or folder of any report is open to another user. Bounded: the
// runs get 60 s in all (about 15 s on an idle machine of 8 cores).
TEST_F(CrashExampleSending, TwentyCrashesAtOnceEachSendTheirOwnReportPrivately)
{
    constexpr int kRuns = 20;
    const auto mailServer = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(mailServer->started()) << mailServer->error().toStdString();
    const QString requests = dir.file(QStringLiteral("requests.log"));
    const auto webServer = cvtest::StartWebServer(requests);
    ASSERT_TRUE(webServer->started()) << webServer->error().toStdString();

    std::atomic<bool> watching{true};
    QStringList open;
    std::mutex openLock;
    std::thread watcher([&] {
        while (watching) {
            const QStringList now = OpenToOthers(tmp());
            if (!now.isEmpty()) {
                std::lock_guard guard(openLock);
                open += now;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : Environment({QStringLiteral("QT_QPA_PLATFORM=offscreen")}))
        environment.insert(variable.section(QLatin1Char('='), 0, 0), variable.section(QLatin1Char('='), 1));
    std::vector<std::unique_ptr<QProcess>> runs;
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kRuns; ++n) {
        const QString folder = dir.file(QStringLiteral("runs/%1").arg(n));
        QDir().mkpath(folder);
        // Mail and web in turn; a fatal signal (its reporter sends) and a C++ exception (sent in the program) in turn.
        QStringList arguments{n % 4 < 2 ? QStringLiteral("segv") : QStringLiteral("cxx"), QStringLiteral("--dialog"),
                              QStringLiteral("none"), QStringLiteral("--output"), folder};
        if (n % 2 == 0)
            arguments << QStringLiteral("--smtp") << QStringLiteral("127.0.0.1:%1").arg(mailServer->port()) << QStringLiteral("--to")
                      << QStringLiteral("pp%1@example.test").arg(n);
        else
            arguments << QStringLiteral("--http") << QStringLiteral("http://127.0.0.1:%1/reports/upload.php").arg(webServer->port());
        auto& run = runs.emplace_back(std::make_unique<QProcess>());
        run->setProcessEnvironment(environment);
        run->setWorkingDirectory(folder);
        run->setStandardOutputFile(folder + QStringLiteral("/out.txt"));
        run->setStandardErrorFile(folder + QStringLiteral("/out.txt"), QIODevice::Append);
        run->start(QStringLiteral(CV_CRASH_EXAMPLE), arguments);
    }
    const auto end = start + std::chrono::seconds(60);
    const auto msLeft = [&] {
        return int(std::max<int64_t>(1, std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count()));
    };
    for (auto& run : runs)
        if (!run->waitForFinished(msLeft())) {
            run->kill();
            run->waitForFinished(1000);
            ADD_FAILURE() << "a run took too long";
        }
    cvtest::waitForProcessesNaming(tmp(), std::chrono::milliseconds(msLeft()));
    watching = false;
    watcher.join();
    std::printf("twenty crashes sent in %lld ms\n",
                (long long)std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    EXPECT_TRUE(open.isEmpty()) << open.mid(0, 10).join('\n').toStdString();

    // The report each run logged.
    const auto logged = [&](int n) {
        const cv::TLogFile log(dir.file(QStringLiteral("runs/%1/crash_example.elf").arg(n)).toStdString(), true);
        return log.Count() == 1 ? QByteArray::fromStdString(log.Item(0)).trimmed() : QByteArray();
    };
    std::vector<int> arrived(kRuns, 0);
    const auto check = [&](const QString& unpacked, const QString& what, int expectedRun) {
        const QByteArray copy = cvtest::readAll(unpacked + QStringLiteral("/crash_example.elf"));
        QByteArray parameters;
        const int n = RunOfReport(copy, &parameters);
        ASSERT_TRUE(n >= 0 && n < kRuns) << what.toStdString() << ": " << parameters.toStdString();
        if (expectedRun >= 0)
            EXPECT_EQ(n, expectedRun) << what.toStdString() << " carries the report of run " << n;
        ++arrived[std::size_t(n)];
        EXPECT_TRUE(!logged(n).isEmpty() && copy.startsWith(logged(n))) << what.toStdString() << ": not run " << n << "'s own report";
    };
    const QStringList messages = QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")}, QDir::Files, QDir::Name);
    EXPECT_EQ(messages.size(), kRuns / 2);
    for (const QString& name : messages) {
        const QString file = dir.file(QStringLiteral("mail/") + name);
        const QJsonObject record = QJsonDocument::fromJson(cvtest::readAll(file)).object();
        const QString to = record.value(QStringLiteral("rcpt_tos")).toArray().first().toString();
        const int n = to.mid(2, to.indexOf(QLatin1Char('@')) - 2).toInt();
        const QString unpacked = dir.file(QStringLiteral("unpacked/") + name);
        cvtest::ArchiveMembers(QStringLiteral("mail"), file, unpacked);
        check(unpacked, QStringLiteral("the message to ") + to, n);
    }
    int uploads = 0;
    for (const QJsonValue& request : cvtest::readRequestLog(requests))
        uploads += request.toObject().value(QStringLiteral("method")).toString() == QStringLiteral("POST");
    EXPECT_EQ(uploads, kRuns / 2);
    for (int k = 0; k < uploads; ++k) {
        const QString unpacked = dir.file(QStringLiteral("unpacked/upload%1").arg(k));
        cvtest::ArchiveMembers(QStringLiteral("upload"), requests, unpacked, k);
        check(unpacked, QStringLiteral("upload %1").arg(k), -1);
    }
    for (int n = 0; n < kRuns; ++n)
        EXPECT_EQ(arrived[std::size_t(n)], 1) << "run " << n;
    ExpectNothingLeftInTmp();
}

} // namespace
