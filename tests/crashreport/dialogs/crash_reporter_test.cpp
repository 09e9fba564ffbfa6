#include "crashreport/dialogs/crash_reporter.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>

#include "crashreport/core/report/report_files.h"
#include "crashreport/send/mail/mail_settings.h"
#include "crashreport/dialogs/reporter_request.h"
#include "dialogs_testutil.h"

namespace cv {
namespace {

struct ReporterCase {
    TExceptionDialogType kind;
    bool sendChecked;
    bool duplicate;
    int mails;
};

// A reporter run on a request whose report goes to the mail program (a
// script that counts its calls); the message box answers from the script.
class CrashReporter : public cvtest::DialogTest, public ::testing::WithParamInterface<ReporterCase> {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir.path().toUtf8());
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        qunsetenv("XDG_RUNTIME_DIR");
        TakeReportFolder();
        savedMail = MailSettings();
        TMailSettings mail = savedMail;
        const QString script = dir.write(QStringLiteral("mail.sh"), "echo \"$@\" >> \"$0.calls\"\n");
        mail.MailClientCommand = "/bin/sh \"" + script.toStdString() + "\"";
        SetMailSettings(mail);
    }
    void TearDown() override
    {
        SetMailSettings(savedMail);
        TakeReportFolder();
        qputenv("TMPDIR", oldTmp);
        if (!oldRuntime.isNull())
            qputenv("XDG_RUNTIME_DIR", oldRuntime);
    }
    std::string Request(const ReporterCase& c)
    {
        TReporterRequest request;
        request.Options = std::make_unique<TCrashboxModuleOptions>(std::string());
        request.Options->SetModuleName("/opt/example/example");
        request.Options->SetOutputPath(dir.path().toStdString() + "/");
        request.Options->SetEMailSendMode(esmEmailClient);
        request.Options->SetEMailAddresses("support@there.test");
        request.DialogType = c.kind;
        request.SendChecked = c.sendChecked;
        request.DuplicateInLog = c.duplicate;
        request.ErrorMessage = "Access violation at address 0000000000401234.";
        request.Report = request.SendText = "The report\r\n";
        const std::string file = ReporterRequestFileName();
        EXPECT_TRUE(SaveReporterRequest(file, request));
        return file;
    }
    int Mails() const { return int(cvtest::readAll(dir.file(QStringLiteral("mail.sh.calls"))).count('\n')); }

    QByteArray oldTmp, oldRuntime;
    TMailSettings savedMail;
};

TEST_P(CrashReporter, ShowsTheDialogAndSendsAsChosen)
{
    const ReporterCase& c = GetParam();
    const std::string file = Request(c);
    EXPECT_EQ(RunCrashReporter(file), 0);
    EXPECT_EQ(Mails(), c.mails);
    EXPECT_EQ(boxes.Requests().size(), c.kind == edtMessageBox ? 1u : 0u);
    if (c.kind == edtMessageBox) {
        EXPECT_EQ(boxes.Requests()[0].text, QStringLiteral("Access violation at address 0000000000401234."));
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(file))) << "the request is done with";
}

INSTANTIATE_TEST_SUITE_P(Choices, CrashReporter,
                         ::testing::Values(ReporterCase{edtMessageBox, true, false, 1}, ReporterCase{edtMessageBox, false, false, 0},
                                           ReporterCase{edtNone, false, false, 1}, ReporterCase{edtNone, false, true, 0}));

// The reporter program (as a crashed program starts it again) shows its
// message boxes as windows; the request, once read, and the report's folder
// go.
TEST_F(CrashReporter, TheReporterProgramShowsItsMessageBoxOnScreen)
{
    const std::string file = Request({edtMessageBox, false, false, 0});
    const QString folder = QFileInfo(QString::fromStdString(file)).absolutePath();
    // A program's reporter has no message service but its own.
    const TDialogServiceGuard noService(nullptr);
    QString shown;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                shown = box->text();
                box->accept();
            }
    });
    answer.start(20);
    std::string argument = file;
    char program[] = "example", reporter[] = "--crashbox-reporter";
    char* argv[] = {program, reporter, argument.data(), nullptr};
    int argc = 3;
    EXPECT_EQ(RunAsCrashReporter(argc, argv), 0);
    EXPECT_EQ(shown, QStringLiteral("Access violation at address 0000000000401234."));
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(file)));
    EXPECT_FALSE(QFileInfo::exists(folder)) << "the report's folder is gone";
}

TEST_F(CrashReporter, AnUnreadableRequestEndsWithCodeTwo)
{
    char example[] = "example", segv[] = "segv";
    char* argv[] = {example, segv, nullptr};
    int argc = 2;
    EXPECT_EQ(RunAsCrashReporter(argc, argv), std::nullopt) << "not a reporter";
    const QString bad = dir.write(QStringLiteral("bad.request"), "CBRR");
    EXPECT_EQ(RunCrashReporter(bad.toStdString()), 2);
}

} // namespace
} // namespace cv
