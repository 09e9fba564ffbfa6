// The word-list window itself crashes, on a real X screen (Xvfb): a fatal
// signal on its window thread leaves the dialog and the sending to a
// reporter process, which must show the dialog to the user and deliver the
// report to a mail server the test starts on 127.0.0.1.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/log_file.h"
#include "local_servers.h"
#include "web_servers.h"
#include "suite/cv_stream.h"
#include "support/xvfb_server.h"

namespace {

// The folder of the program's copy: deep, so that its report (the path of
// every module row is as wide as the longest) is longer than the one string
// the system lets a new program have in its environment (128 KiB), as the
// reports of the window at corpus scale on a desktop are (hundreds of
// processes, a job's threads).
QString DeepFolder(const cvtest::TempDir& dir)
{
    QString folder = dir.file(QStringLiteral("install"));
    for (int level = 0; level < 12; ++level)
        folder += QLatin1Char('/') + QString(240, QLatin1Char('w'));
    return folder;
}

// Runs a helper program to its end; false when it failed or took too long.
bool RunHelper(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment = {},
         QString* output = nullptr, int limitMs = 60000)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(limitMs);
    if (!finished)
        process.kill();
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// The program's copy with its compiled-in crash-report options changed, as
// a build that chose them would carry them.
bool CopyWithOptions(const QString& program, const QString& copy, const std::function<void(cv::TCrashboxModuleOptions&)>& change)
{
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    const QString oldData = copy + QStringLiteral(".old-eldata"), newData = copy + QStringLiteral(".eldata");
    if (!QFile::copy(program, copy) || !RunHelper(objcopy, {QStringLiteral("--dump-section"), QStringLiteral("ELDATA=") + oldData, copy}))
        return false;
    const QByteArray bytes = cvtest::readAll(oldData);
    cv::TELDataContents contents;
    if (!cv::ReadELData({reinterpret_cast<const uint8_t*>(bytes.data()), std::size_t(bytes.size())}, contents))
        return false;
    cv::TMemoryStream stream(contents.Options);
    cv::TCrashboxModuleOptions options("corvantis-wordlist");
    if (!options.LoadFromStream(stream))
        return false;
    change(options);
    cv::TMemoryStream changed;
    if (!options.SaveToStream(changed))
        return false;
    contents.Options = changed.TakeBytes();
    const std::vector<uint8_t> data = cv::WriteELData(contents);
    QFile out(newData);
    if (!out.open(QIODevice::WriteOnly) || out.write(reinterpret_cast<const char*>(data.data()), qint64(data.size())) != qint64(data.size()))
        return false;
    out.close();
    return RunHelper(objcopy, {QStringLiteral("--remove-section"), QStringLiteral("ELDATA"), QStringLiteral("--add-section"),
                         QStringLiteral("ELDATA=") + newData, copy});
}

// The first window of that title that the screen shows, within the time
// limit ("" when none came).
QString WaitForWindow(const QProcessEnvironment& screen, const QString& title, int limitMs)
{
    QString found;
    RunHelper(QStringLiteral("timeout"),
        {QString::number(limitMs / 1000), QStringLiteral("xdotool"), QStringLiteral("search"), QStringLiteral("--sync"),
         QStringLiteral("--onlyvisible"), QStringLiteral("--name"), QStringLiteral("^%1$").arg(title)},
        screen, &found, limitMs + 5000);
    return found.section(QLatin1Char('\n'), 0, 0).trimmed();
}

} // namespace

TEST(WindowCrash, TheReporterShowsTheDialogAndMailsTheReportOfTheCrashedWindow)
{
    for (const char* needed : {"Xvfb", "xdotool", "objcopy", "timeout"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(needed)).isEmpty())
            GTEST_SKIP() << needed << " is not installed (scripts/setup.sh installs it)";
    if (!cvtest::haveDebianPython())
        GTEST_SKIP() << "no /usr/bin/python3";
    cvtest::TempDir dir;
    const auto server = cvtest::StartSMTPServer(dir.file(QStringLiteral("mail")));
    ASSERT_TRUE(server->started()) << server->error().toStdString();

    const QString folder = DeepFolder(dir);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString program = folder + QStringLiteral("/corvantis-wordlist");
    ASSERT_TRUE(CopyWithOptions(QStringLiteral(CV_WORDLIST_PROGRAM), program, [&](cv::TCrashboxModuleOptions& o) {
        o.SetExceptionDialogType(cv::edtMSClassic);
        o.SetEMailSendMode(cv::esmSMTPClient);
        o.SetSMTPHost("127.0.0.1");
        o.SetSMTPPort(server->port());
        o.SetEMailAddresses("support@example.test");
    }));

    const test_support::TXvfbServer xvfb(QStringLiteral("1280x960x24"));
    ASSERT_TRUE(xvfb.Running());
    // A user's session: the runtime folder the user's alone.
    const QString tmp = dir.file(QStringLiteral("tmp"));
    QDir().mkpath(tmp);
    QFile::setPermissions(tmp, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), xvfb.Name());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("CV_NO_CONTROLLER"), QStringLiteral("1"));
    environment.insert(QStringLiteral("CV_SETTINGS_BUFFER"), dir.file(QStringLiteral("no-suite.buf")));
    environment.insert(QStringLiteral("HOME"), dir.file(QStringLiteral("home")));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.file(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dir.file(QStringLiteral("data")));
    environment.insert(QStringLiteral("TMPDIR"), tmp);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), tmp);

    QProcess window;
    window.setProcessEnvironment(environment);
    window.setWorkingDirectory(dir.path());
    window.setProcessChannelMode(QProcess::MergedChannels);
    const QString toolLog = dir.file(QStringLiteral("tool.log"));
    window.start(program, {QStringLiteral("/log"), toolLog});
    ASSERT_TRUE(window.waitForStarted(20000));
    ASSERT_FALSE(WaitForWindow(environment, QStringLiteral("WordList"), 60000).isEmpty()) << "the window came up";

    // The window thread faults (a fatal signal of its own, as a fault there
    // would raise).
    ASSERT_EQ(::syscall(SYS_tgkill, pid_t(window.processId()), pid_t(window.processId()), SIGSEGV), 0);
    ASSERT_TRUE(window.waitForFinished(60000));
    const QString said = QString::fromLocal8Bit(window.readAll());
    EXPECT_EQ(window.exitStatus(), QProcess::CrashExit) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("could not be handed"))) << said.toStdString();
    const QString logFile = folder + QStringLiteral("/corvantis-wordlist.elf");
    const cv::TLogFile log(logFile.toStdString(), true);
    ASSERT_EQ(log.Count(), 1) << said.toStdString();
    EXPECT_GT(log.Item(0).size(), 128u * 1024) << "a report longer than an environment string may be";

    // The user sees the reporter's dialog and sends the report.
    const QString dialog = WaitForWindow(environment, QStringLiteral("Error occurred"), 60000);
    ASSERT_FALSE(dialog.isEmpty()) << "no dialog on the screen: " << said.toStdString() << cvtest::readAll(toolLog).toStdString();
    EXPECT_TRUE(RunHelper(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog, QStringLiteral("key"),
                                                QStringLiteral("Return")},
                    environment));
    cvtest::waitForProcessesNaming(tmp, std::chrono::seconds(60));

    const QStringList kept = QDir(dir.file(QStringLiteral("mail"))).entryList({QStringLiteral("msg-*.json")});
    ASSERT_EQ(kept.size(), 1) << cvtest::readAll(toolLog).toStdString();
    const QString message = dir.file(QStringLiteral("mail/") + kept[0]);
    const QJsonObject record = QJsonDocument::fromJson(cvtest::readAll(message)).object();
    EXPECT_EQ(record.value(QStringLiteral("rcpt_tos")).toArray(), QJsonArray{QStringLiteral("support@example.test")});
    const QString unpacked = dir.file(QStringLiteral("unpacked"));
    EXPECT_TRUE(cvtest::ArchiveMembers(QStringLiteral("mail"), message, unpacked).contains(QStringLiteral("corvantis-wordlist.elf")));
    const QByteArray sent = cvtest::readAll(unpacked + QStringLiteral("/corvantis-wordlist.elf"));
    EXPECT_TRUE(sent.startsWith(QByteArray::fromStdString(log.Item(0)).trimmed())) << "the report the window logged";
    // The delivery is proven by the mail the server holds (above); the
    // tool's log only has to agree with it.
    const QByteArray lines = cvtest::readAll(toolLog);
    EXPECT_TRUE(lines.contains("Sent email")) << lines.toStdString();
    EXPECT_FALSE(lines.contains("Email not sent") || lines.contains("Failed to complete send")) << lines.toStdString();
}
