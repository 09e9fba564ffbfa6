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

#include <csignal>

#include "crashreport/core/crashbox_options.h"
#include "crashreport/core/log_file.h"
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
        QDir().mkpath(dir.file(QStringLiteral("tmp")));
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
        const cvtest::ProgramRun run = cvtest::runProgram(
            QStringLiteral(CV_CRASH_EXAMPLE), arguments + QStringList{QStringLiteral("--output"), out()}, out(),
            {QStringLiteral("TMPDIR=") + dir.file(QStringLiteral("tmp")), QStringLiteral("CV_MAIL_REPLY_SILENCE=50")});
        cvtest::waitForProcessesNaming(dir.file(QStringLiteral("tmp")));
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
    EXPECT_TRUE(QDir(dir.file(QStringLiteral("tmp"))).entryList(QDir::Files).isEmpty()) << "the send's files and the request are gone";
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
    EXPECT_EQ(Crash({QStringLiteral("segv"), QStringLiteral("--dialog"), QStringLiteral("none"), QStringLiteral("--options"), options,
                     QStringLiteral("--smtp"), QStringLiteral("127.0.0.1:%1").arg(cvtest::FreePort(true)), QStringLiteral("--to"),
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
                                  QStringLiteral("Failed to complete send"), QStringLiteral("Sent email")}));
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
    const QStringList environment{QStringLiteral("TMPDIR=") + dir.file(QStringLiteral("tmp")), QStringLiteral("CV_MAIL_REPLY_SILENCE=50")};
    const QString mail = dir.file(QStringLiteral("mail"));
    const cvtest::ProgramRun run = cvtest::runProgram(QStringLiteral(CV_CRASH_EXAMPLE), arguments, out(), environment);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(QDir(mail).entryList({QStringLiteral("msg-*.json")}).size(), c.inProcess ? 1 : 0) << "sent before the example ended";
    cvtest::waitForProcessesNaming(dir.file(QStringLiteral("tmp")));
    EXPECT_EQ(QDir(mail).entryList({QStringLiteral("msg-*.json")}).size(), 1) << toolLog().toStdString();
    const QString log = toolLog();
    EXPECT_LT(log.indexOf(QStringLiteral("finished showing")), log.indexOf(QStringLiteral("Sending email")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, CrashExampleDialog,
                         ::testing::Values(TDialogCase{"fpe", -SIGFPE, false}, TDialogCase{"cxx", 1, true}));

} // namespace
