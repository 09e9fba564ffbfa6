#include "crashreport/send/report_sending.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <thread>

#include <sys/stat.h>

#include "crashreport/core/capture/window_services.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/send/web/web_transfer.h"
#include "local_servers.h"
#include "suite/dialogs.h"

using namespace cv;

namespace {

// The window services' clipboard, recorded; whether a clipboard manager
// keeps it after the process is the test's to say.
class TRecordingClipboard : public TWindowServices {
public:
    std::vector<TTopLevelWindow> TopLevelWindows() const override { return {}; }
    bool SetClipboardText(const std::string& value) override
    {
        text = value;
        return true;
    }
    bool ClipboardOutlivesProcess() const override { return outlives; }
    std::string text;
    bool outlives = true;
};

// A send of a report of program "example" whose output folder is out/ and
// temporary folder tmp/; the mail program and the mailto command are
// scripts that record their calls; the events are recorded, and scripted.
class ReportSending : public cvtest::SendTest {
protected:
    void SetUp() override
    {
        cvtest::SendTest::SetUp();
        oldTmp = qgetenv("TMPDIR");
        QDir().mkpath(dir.file(QStringLiteral("tmp")));
        qputenv("TMPDIR", dir.file(QStringLiteral("tmp")).toUtf8());
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        TakeReportFolder(); // each test's report has its folder in its tmp/
        ExceptionDialogState() = TExceptionDialogState{};
        options.SetModuleName("/opt/example/example");
        options.SetOutputPath(dir.file(QStringLiteral("out")).toStdString() + "/");
        options.SetCommonSendOptions({});
        options.SetEMailAddresses("support@there.test");
        report.Options = &options;
        report.State.ReportText = "The report\r\n";
        report.LogText = "The report\r\n";
        settings.MailClientCommand = Recorder("mail", 0);
        settings.MailtoCommand = Recorder("mailto", 0) + " \"%1\"";
        apply();

        events.clear();
        notifier.OnExceptionActionNotify = [this](TCrashboxExceptionRecord&, uint8_t action, bool& execute) {
            events.push_back("action " + std::to_string(action) + (execute ? " on" : " off"));
            if (action == clearAction)
                execute = false;
        };
        notifier.OnExceptionErrorNotify = [this](TCrashboxExceptionRecord&, uint8_t action, bool& retry) {
            events.push_back("error " + std::to_string(action));
            retry = retries-- > 0;
        };
        notifier.OnAttachedFilesRequest = [this](TCrashboxExceptionRecord&, std::vector<std::string>& files) {
            ++attachmentRequests;
            files.insert(files.end(), extraFiles.begin(), extraFiles.end());
        };
        RegisterWindowServices(clipboard);
    }
    void TearDown() override
    {
        RegisterWindowServices(nullptr);
        TakeReportFolder();
        qputenv("TMPDIR", oldTmp);
        if (!oldRuntime.isNull())
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
        cvtest::SendTest::TearDown();
    }

    // A program that appends its first arguments and copies the file after
    // "--attach" to <name>.zip, then exits with the code.
    std::string Recorder(const QString& name, int exitCode)
    {
        const QString script =
            dir.write(name + QStringLiteral(".sh"),
                      "echo \"$2 $3\" >> \"$0.calls\"\n"
                      "while [ $# -gt 0 ]; do [ \"$1\" = --attach ] && cp \"$2\" \"$0.zip\"; shift; done\n"
                      "exit " + QByteArray::number(exitCode) + "\n");
        return "/bin/sh \"" + script.toStdString() + "\"";
    }
    int Calls(const QString& name) const
    {
        return int(cvtest::readAll(dir.file(name + QStringLiteral(".sh.calls"))).count('\n'));
    }
    // The names in a zip archive, as Python's zipfile reads them.
    QStringList ZipNames(const QString& zip) const
    {
        return cvtest::ArchiveMembers(QStringLiteral("zip"), zip, dir.file(QStringLiteral("unzipped")));
    }
    // The files left anywhere under tmp/ (the report's folder included).
    QStringList TempFiles() const
    {
        QStringList files;
        QDirIterator it(dir.file(QStringLiteral("tmp")), QDir::Files | QDir::System | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QFileInfo(it.next()).fileName();
        files.sort();
        return files;
    }

    TCrashboxModuleOptions options{""};
    TReportToSend report;
    std::vector<std::string> events;
    int clearAction = -1;
    int retries = 0;
    int attachmentRequests = 0;
    std::vector<std::string> extraFiles;
    std::shared_ptr<TRecordingClipboard> clipboard = std::make_shared<TRecordingClipboard>();
    TCrashboxNotifier notifier;
    TScriptedDialogs boxes;
    TDialogServiceGuard boxGuard{&boxes};
    QByteArray oldTmp, oldRuntime;
};

TEST_F(ReportSending, WithoutSendModesNothingIsPreparedAndSuccessIsShown)
{
    options.SetCommonSendOptions({sndShowSuccessFailureMsg});
    EXPECT_TRUE(DoSendErrorReport(report));
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(attachmentRequests, 0);
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].kind, TDialogKind::Information);
    EXPECT_EQ(boxes.Requests()[0].text, QStringLiteral("The message was sent successfully."));
    EXPECT_TRUE(TempFiles().isEmpty()) << TempFiles().join(' ').toStdString();
}

TEST_F(ReportSending, TheMailProgramGetsTheArchiveOfTheLogAndTheProgramsFiles)
{
    options.SetEMailSendMode(esmEmailClient);
    extraFiles = {dir.write(QStringLiteral("notes.txt"), "n").toStdString(), dir.file(QStringLiteral("gone.txt")).toStdString()};
    report.LogText = "Line 1\nLine 2";
    EXPECT_TRUE(DoSendErrorReport(report));
    EXPECT_EQ(events, (std::vector<std::string>{"action 4 on", "action 5 on"}));
    EXPECT_EQ(Calls(QStringLiteral("mail")), 1);
    EXPECT_EQ(Calls(QStringLiteral("mailto")), 0);
    // The missing file is dropped; the log copy ends in three line breaks, every line with CR LF.
    EXPECT_EQ(ZipNames(dir.file(QStringLiteral("mail.sh.zip"))), (QStringList{"example.elf", "notes.txt"}));
    EXPECT_EQ(SendAttachedFiles(), std::vector<std::string>{ZipFileName()});
    EXPECT_TRUE(TempFiles().isEmpty()) << "archive and log copy are deleted: " << TempFiles().join(' ').toStdString();
}

TEST_F(ReportSending, TheTemporaryLogCopyEndsInThreeLineBreaks)
{
    options.SetEMailSendMode(esmEmailClient);
    for (const std::string& text : {std::string("A\nB"), std::string("A\r\nB\r\n\r\n\r\n")}) {
        report.LogText = text;
        TReportToSend probe = report;
        extraFiles.clear();
        // The attached-files handler sees the copy before it is zipped.
        std::string copy;
        notifier.OnAttachedFilesRequest = [&copy](TCrashboxExceptionRecord&, std::vector<std::string>& files) {
            copy = cvtest::readAll(QString::fromStdString(files.at(0))).toStdString();
        };
        DoSendErrorReport(probe);
        EXPECT_EQ(copy, "A\r\nB\r\n\r\n\r\n") << text;
    }
}

struct MailFailure {
    TEmailSendMode mode;
    int mailToExitCode;
    int mailtoCalls;
    bool result;
};

class MailFallback : public ReportSending, public ::testing::WithParamInterface<MailFailure> {};

TEST_P(MailFallback, OnlyTheMailProgramFallsBackToMailto)
{
    const MailFailure& c = GetParam();
    settings.MailClientCommand = Recorder("mail", 4);
    settings.MailtoCommand = c.mailToExitCode < 0 ? "/nonexistent/mailto \"%1\"" : Recorder("mailto", 0) + " \"%1\"";
    apply();
    options.SetEMailSendMode(c.mode);
    options.SetSMTPHost("127.0.0.1");
    const cvtest::RefusingPort refusing;
    options.SetSMTPPort(refusing.port());
    EXPECT_EQ(DoSendErrorReport(report), c.result);
    EXPECT_EQ(Calls(QStringLiteral("mailto")), c.mailtoCalls);
    EXPECT_EQ(events.back(), c.result ? "action 5 on" : "action 5 off");
}

INSTANTIATE_TEST_SUITE_P(Modes, MailFallback,
                         ::testing::Values(MailFailure{esmEmailClient, 0, 1, true}, MailFailure{esmEmailClient, -1, 0, false},
                                           MailFailure{esmSMTPClient, 0, 0, false}));

TEST_F(ReportSending, ClearingActionFourSkipsTheStepAsAFailure)
{
    options.SetEMailSendMode(esmEmailClient);
    options.SetCommonSendOptions({sndShowSuccessFailureMsg});
    options.SetBehaviourOptions({boCopyLogInCaseOfError});
    clearAction = caSendingEmail;
    EXPECT_FALSE(DoSendErrorReport(report));
    EXPECT_EQ(events, (std::vector<std::string>{"action 4 on", "action 5 off"}));
    EXPECT_EQ(Calls(QStringLiteral("mail")), 0);
    EXPECT_EQ(clipboard->text, "The report\r\n");
    ASSERT_EQ(boxes.Requests().size(), 1u);
    EXPECT_EQ(boxes.Requests()[0].kind, TDialogKind::Error);
    EXPECT_EQ(boxes.Requests()[0].text, QStringLiteral("Sorry, sending the message didn't work."));
}

TEST_F(ReportSending, TheErrorEventAsksForRetriesAndTheWebStepStillRuns)
{
    settings.MailClientCommand = Recorder("mail", 4);
    settings.MailtoCommand = "/nonexistent/mailto \"%1\"";
    apply();
    options.SetEMailSendMode(esmEmailClient);
    options.SetWebSendMode(wsmHTTP);
    const cvtest::RefusingPort refusing;
    options.SetWebURL("http://127.0.0.1:" + std::to_string(refusing.port()) + "/upload");
    retries = 2;
    EXPECT_FALSE(DoSendErrorReport(report));
    EXPECT_EQ(Calls(QStringLiteral("mail")), 3);
    EXPECT_EQ(events, (std::vector<std::string>{"action 4 on", "error 5", "error 5", "error 5", "action 5 off",
                                                "action 6 on", "error 7", "action 7 off"}));
    EXPECT_EQ(attachmentRequests, 1) << "the web step sends the archive made for e-mail";
}

TEST_F(ReportSending, LogsAppendedToTheMailMakeASecondArchiveForTheWeb)
{
    options.SetEMailSendMode(esmEmailClient);
    options.SetWebSendMode(wsmHTTP);
    const cvtest::RefusingPort refusing;
    options.SetWebURL("http://127.0.0.1:" + std::to_string(refusing.port()) + "/upload");
    options.SetAppendLogs(true);
    DoSendErrorReport(report);
    EXPECT_EQ(attachmentRequests, 2);
    EXPECT_FALSE(QFile::exists(dir.file(QStringLiteral("mail.sh.zip")))) << "no file for the mail: the log is in its body";
}

TEST_F(ReportSending, AFailedReportLeavesACompressedCopyAndTheTenLastAreKept)
{
    QDir().mkpath(dir.file(QStringLiteral("out")));
    // Earlier copies (their names as the stamps make them), and the user's own files.
    QStringList copies;
    for (int day = 10; day < 21; ++day)
        copies << QStringLiteral("BugReport__202402") + QString::number(day) + QStringLiteral("120000.zip");
    const QStringList own{"Aaa-my-own-backup.zip", "BugReportOld.zip", "a.zip", "keep.txt", "z.ZIP"};
    for (const QString& name : copies + own)
        dir.write(QStringLiteral("out/") + name, "old");
    options.SetEMailSendMode(esmSMTPClient);
    options.SetSMTPHost("127.0.0.1");
    const cvtest::RefusingPort refusing;
    options.SetSMTPPort(refusing.port());
    options.SetBehaviourOptions({boSaveCompressedCopyInCaseOfError});
    options.SetCommonSendOptions({sndAddDateInFileName});
    report.State.ExceptionTime = QDateTime(QDate(2024, 3, 5), QTime(14, 3, 9));
    EXPECT_FALSE(DoSendErrorReport(report));
    EXPECT_EQ(GetCompressedCopyName(options, report.State), dir.file(QStringLiteral("out/BugReport__20240305140309.zip")).toStdString());
    // Twelve copies in case-insensitive name order: the first two go; no
    // file the component did not write is touched.
    QStringList expected = copies.mid(2) + own;
    expected << QStringLiteral("BugReport__20240305140309.zip");
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(QDir(dir.file(QStringLiteral("out"))).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase), expected);
    EXPECT_EQ(LastInternalWarning().Code, eeEmailSMTPError);
}

TEST(CompressedCopyNames, AreThoseTheStampsMake)
{
    for (const char* name : {"BugReport.zip", "BugReport__20240305140309.zip", "BugReport__lab-pc.zip", "BugReport__lab-pc__20240305140309.zip"})
        EXPECT_TRUE(IsCompressedCopyName(name, "lab-pc")) << name;
    for (const char* name : {"Aaa-my-own-backup.zip", "BugReportOld.zip", "BugReport__.zip", "bugreport.zip", "BugReport.zip.txt", "BugReport.ZIP"})
        EXPECT_FALSE(IsCompressedCopyName(name, "lab-pc")) << name;
    // A user's files that only begin like a copy: another computer's name,
    // words, a stamp that is no date.
    for (const char* name : {"BugReport__Alice notes.zip", "BugReport__1999 thesis backup.zip", "BugReport__other-pc.zip",
                             "BugReport__lab-pc__notes.zip", "BugReport__20241345140309.zip", "BugReport__2024030514030.zip",
                             "BugReport__lab-pc__20240305140309__2.zip"})
        EXPECT_FALSE(IsCompressedCopyName(name, "lab-pc")) << name;
}

TEST_F(ReportSending, PruningLeavesTheUsersFilesThatLookLikeCopies)
{
    QDir().mkpath(dir.file(QStringLiteral("out")));
    QStringList copies;
    for (int day = 10; day < 22; ++day)
        copies << QStringLiteral("BugReport__lab-pc__202402") + QString::number(day) + QStringLiteral("120000.zip");
    const QStringList own{"BugReport__Alice notes.zip", "BugReport__1999 thesis backup.zip", "BugReport__my-laptop.zip"};
    for (const QString& name : copies + own)
        dir.write(QStringLiteral("out/") + name, "old");
    PruneCompressedCopies(dir.file(QStringLiteral("out")).toStdString(), "lab-pc");
    QStringList expected = copies.mid(2) + own;
    expected.sort(Qt::CaseInsensitive);
    EXPECT_EQ(QDir(dir.file(QStringLiteral("out"))).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase).join(u'\n').toStdString(),
              expected.join(u'\n').toStdString());
}

TEST_F(ReportSending, APipeOrAnOversizedFileIsLeftOutAndNamedInTheArchive)
{
    options.SetEMailSendMode(esmEmailClient);
    const QString pipe = dir.file(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(pipe.toUtf8().constData(), 0600), 0);
    const QString big = dir.file(QStringLiteral("big.log"));
    {
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(qint64(kMaxAttachedFileSize) + 1));
    }
    extraFiles = {pipe.toStdString(), dir.write(QStringLiteral("notes.txt"), "n").toStdString(), big.toStdString()};
    // A send that read the pipe would wait for a writer for ever.
    int status = 0;
    const QString result = cvtest::runInChild([&] { return QString::number(DoSendErrorReport(report)); }, &status,
                                              std::chrono::seconds(15));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, QStringLiteral("1"));
    const QString unzipped = dir.file(QStringLiteral("unzipped"));
    EXPECT_EQ(ZipNames(dir.file(QStringLiteral("mail.sh.zip"))), (QStringList{"example.elf", "notes.txt", "LeftOutFiles.txt"}));
    EXPECT_EQ(cvtest::readAll(unzipped + QStringLiteral("/LeftOutFiles.txt")),
              (pipe + QStringLiteral(": it is not a regular file\r\n") + big + QStringLiteral(": it is larger than 64 MB\r\n")).toUtf8());
}

TEST_F(ReportSending, AFailureLeavesTheClipboardAloneWhenTheCopyWouldNotOutliveTheProgram)
{
    QDir().mkpath(dir.file(QStringLiteral("out")));
    options.SetEMailSendMode(esmSMTPClient);
    options.SetSMTPHost("127.0.0.1");
    const cvtest::RefusingPort refusing;
    options.SetSMTPPort(refusing.port());
    options.SetCommonSendOptions({sndShowSuccessFailureMsg});
    options.SetBehaviourOptions({boCopyLogInCaseOfError, boSaveCompressedCopyInCaseOfError});
    clipboard->text = "the user's own";
    clipboard->outlives = false;
    EXPECT_FALSE(DoSendErrorReport(report));
    EXPECT_EQ(clipboard->text, "the user's own");
    ASSERT_EQ(boxes.Requests().size(), 1u);
    const std::string copy = GetCompressedCopyName(options, report.State);
    EXPECT_EQ(boxes.Requests()[0].text.toStdString(),
              "Sorry, sending the message didn't work.\r\n\r\nThe report is kept in \"" + copy + "\".");
    EXPECT_TRUE(QFile::exists(QString::fromStdString(copy)));
    // Where a clipboard manager keeps it, the report goes on the clipboard, the box as it was.
    clipboard->outlives = true;
    EXPECT_FALSE(DoSendErrorReport(report));
    EXPECT_EQ(clipboard->text, "The report\r\n");
    ASSERT_EQ(boxes.Requests().size(), 2u);
    EXPECT_EQ(boxes.Requests()[1].text, QStringLiteral("Sorry, sending the message didn't work."));
}

struct EndlessServer {
    const char* what;
    TWebSendMode web;
    const char* script;
    const char* warning; // the start of the step's warning
};

void PrintTo(const EndlessServer& c, std::ostream* os) { *os << c.what; }

class EndlessServers : public ReportSending, public ::testing::WithParamInterface<EndlessServer> {
protected:
    void TearDown() override
    {
        SetWebTimeouts({});
        ReportSending::TearDown();
    }
};

// A server that never stops answering ends the send within the limits, as a
// failure, with the report kept.
TEST_P(EndlessServers, EndTheSendWithinItsBoundsAndTheReportIsKept)
{
    const EndlessServer& c = GetParam();
    QString record;
    auto peer = cvtest::StartTCPPeer(dir, QString::fromUtf8(c.script), record);
    ASSERT_TRUE(peer->started());
    QDir().mkpath(dir.file(QStringLiteral("out")));
    SetWebTimeouts({2000, 10000, 1500});
    options.SetBehaviourOptions({boSaveCompressedCopyInCaseOfError});
    if (c.web == wsmNoSend) {
        options.SetEMailSendMode(esmSMTPClient);
        options.SetSMTPHost("127.0.0.1");
        options.SetSMTPPort(peer->port());
    } else {
        options.SetWebSendMode(c.web);
        options.SetWebURL("http://127.0.0.1/upload");
        options.SetWebPort(peer->port());
    }
    int status = 0;
    const QString result = cvtest::runInChild(
        [&] {
            const bool sent = DoSendErrorReport(report);
            return QString::number(sent) + QLatin1Char(' ') + QString::fromStdString(LastInternalWarning().Message);
        },
        &status, std::chrono::seconds(20));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(result.startsWith(QStringLiteral("0 ") + QString::fromUtf8(c.warning))) << result.left(300).toStdString();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(GetCompressedCopyName(options, report.State))));
}

// The status line, then a header line of 1 KiB every 50 ms: the answer never ends.
const std::string kEndlessHeader = R"([["until", "\r\n\r\n"], ["send", "HTTP/1.1 200 OK\r\n"], ["repeat", "X-More: )" +
                                   std::string(1016, '.') + R"(\r\n", 50, 15]])";

INSTANTIATE_TEST_SUITE_P(
    Servers, EndlessServers,
    ::testing::Values(EndlessServer{"a web server", wsmHTTP, kEndlessHeader.c_str(), "HTTP error code: 12002 "},
                      // Continuation lines as fast as they are taken: the reply never ends.
                      EndlessServer{"a mail server", wsmNoSend,
                                    R"([["send", "220 hi\r\n"], ["line"], ["repeat", "250-more and more and more\r\n", 0, 15]])",
                                    "[SMTP] The reply is longer than 65536 bytes."}));

TEST_F(ReportSending, ASendThreadReturnsAtOnceAndWorksOnItsOwnCopies)
{
    options.SetEMailSendMode(esmEmailClient);
    options.SetCommonSendOptions({sndSendInSeparatedThread, sndSendScreenshot});
    const std::string shot = ScreenshotFileName(options);
    ASSERT_TRUE(WritePrivateFile(shot, "png"));
    TExceptionObject object = ExceptionObjectOfKind("EAccessViolation", "at 0");
    TCrashboxExceptionRecord& record = LastExceptionRecord();
    record.ExceptionObject = &object;
    std::atomic<bool> release{false};
    std::thread::id eventThread;
    const TExceptionObject* seen = nullptr;
    notifier.OnExceptionActionNotify = [&](TCrashboxExceptionRecord& given, uint8_t action, bool&) {
        eventThread = std::this_thread::get_id();
        seen = given.ExceptionObject;
        while (action == caSendingEmail && !release)
            std::this_thread::yield();
    };
    SendErrorReport(report);
    options.SetEMailSendMode(esmNoSend); // the thread has its own options
    release = true;
    WaitForReportSending();
    EXPECT_NE(eventThread, std::this_thread::get_id());
    ASSERT_NE(seen, nullptr);
    EXPECT_NE(seen, &object) << "a copy of the exception object";
    EXPECT_EQ(record.ExceptionObject, nullptr) << "released at the end";
    EXPECT_EQ(Calls(QStringLiteral("mail")), 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(shot))) << "the thread finished the send";
}

} // namespace
