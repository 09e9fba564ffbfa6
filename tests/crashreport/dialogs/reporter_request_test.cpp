#include "crashreport/dialogs/reporter_request.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/files_and_folders.h"
#include "support/test_support.h"

#include <QFile>

using namespace cv;

namespace {

TReporterRequest MakeRequest()
{
    TReporterRequest request;
    request.Options = std::make_unique<TCrashboxModuleOptions>(std::string());
    request.Options->SetModuleName("/opt/example/example");
    request.Options->SetEMailSendMode(esmSMTPClient);
    request.Options->SetEMailAddresses("support@there.test");
    request.Options->SetCustomizedTexts(mtSend_SuccessMsg, "Gesendet.");
    request.DialogType = edtMSClassic;
    request.SendChecked = true;
    request.CopyChecked = true;
    request.ExceptionCount = 3;
    request.ErrorMessage = "Access violation";
    request.Report = "The report\r\n  3.3 Email : \r\n";
    request.SendText = std::string(70000, 'L');
    request.ExceptionID = "7A3F";
    request.ExceptionTime = QDateTime::fromMSecsSinceEpoch(1709647389000);
    request.Arguments = {"/opt/example/example", "segv", "--output", "/tmp/o"};
    request.LogFile = "/tmp/o/CVlog.txt";
    request.Screenshot = std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    return request;
}

TEST(ReporterRequest, ComesBackAsItWasWritten)
{
    cvtest::TempDir dir;
    const std::string file = dir.file(QStringLiteral("r.request")).toStdString();
    ASSERT_TRUE(SaveReporterRequest(file, MakeRequest()));
    TReporterRequest read;
    std::string error;
    ASSERT_TRUE(LoadReporterRequest(file, read, &error)) << error;
    const TReporterRequest want = MakeRequest();
    EXPECT_EQ(read.Options->ModuleName(), "/opt/example/example");
    EXPECT_EQ(read.Options->ModuleHandle(), 0u) << "never taken for the published options";
    EXPECT_EQ(read.Options->EMailSendMode(), esmSMTPClient);
    EXPECT_EQ(read.Options->GetCustomizedTexts(mtSend_SuccessMsg), "Gesendet.");
    EXPECT_EQ(read.DialogType, edtMSClassic);
    EXPECT_TRUE(read.SendChecked && read.CopyChecked && !read.ScreenshotChecked && !read.DuplicateInLog);
    EXPECT_EQ(read.ExceptionCount, 3);
    EXPECT_EQ(read.Report, want.Report);
    EXPECT_EQ(read.SendText, want.SendText);
    EXPECT_EQ(read.ExceptionID, "7A3F");
    EXPECT_EQ(read.ExceptionTime, want.ExceptionTime);
    EXPECT_EQ(read.Arguments, want.Arguments);
    EXPECT_EQ(read.LogFile, want.LogFile);
    EXPECT_EQ(read.Screenshot, want.Screenshot) << "bytes, zeros included";
}

// The request holds the whole report and the mail password: it lies in the
// report's own folder, and neither is open to another user.
TEST(ReporterRequest, LiesInTheReportsFolderAndOnlyItsUserReadsIt)
{
    cvtest::TempDir dir;
    const QByteArray oldTmp = qgetenv("TMPDIR"), oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", dir.path().toUtf8());
    qunsetenv("XDG_RUNTIME_DIR");
    TakeReportFolder();
    const mode_t oldMask = ::umask(022);
    const std::string first = ReporterRequestFileName();
    EXPECT_NE(ReporterRequestFileName(), first) << "a fresh name each time";
    ASSERT_TRUE(SaveReporterRequest(first, MakeRequest()));
    ::umask(oldMask);
    EXPECT_EQ(ExtractFilePath(first), ReportFolder());
    EXPECT_TRUE(first.starts_with(dir.path().toStdString() + "/crashbox-"));
    struct stat file {}, folder {};
    ASSERT_EQ(::stat(first.c_str(), &file), 0);
    ASSERT_EQ(::stat(ReportFolder().c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);
    TakeReportFolder();
    qputenv("TMPDIR", oldTmp);
    if (!oldRuntime.isNull())
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

TEST(ReporterRequest, AForeignOrDamagedFileGivesNothing)
{
    cvtest::TempDir dir;
    const QString good = dir.file(QStringLiteral("r.request"));
    ASSERT_TRUE(SaveReporterRequest(good.toStdString(), MakeRequest()));
    const QByteArray bytes = cvtest::readAll(good);
    QByteArray otherVersion = bytes;
    otherVersion[4] = 2;
    for (const QByteArray& damaged : {QByteArray("XBRR\x01\x00", 6), otherVersion, bytes.left(bytes.size() - 3),
                                      bytes.left(40)}) {
        const QString file = dir.write(QStringLiteral("bad.request"), damaged);
        TReporterRequest read;
        read.ExceptionCount = 99;
        std::string error;
        EXPECT_FALSE(LoadReporterRequest(file.toStdString(), read, &error));
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(read.ExceptionCount, 99) << "unchanged";
    }
    TReporterRequest read;
    EXPECT_FALSE(LoadReporterRequest(dir.file(QStringLiteral("missing")).toStdString(), read));
}

// What the reporter sends, attaches and restarts comes from the request:
// one that is a link, or another user's file, is not read.
TEST(ReporterRequest, ALinkOrAnotherUsersFileIsNotRead)
{
    cvtest::TempDir dir;
    const QString good = dir.file(QStringLiteral("r.request"));
    ASSERT_TRUE(SaveReporterRequest(good.toStdString(), MakeRequest()));
    const QString link = dir.file(QStringLiteral("link.request"));
    ASSERT_TRUE(QFile::link(good, link));
    TReporterRequest read;
    std::string error;
    EXPECT_FALSE(LoadReporterRequest(link.toStdString(), read, &error));
    EXPECT_NE(error.find("it is a symbolic link, which is not followed"), std::string::npos) << error;
    const std::optional<cvtest::OtherUser> other = cvtest::otherUser();
    if (!other)
        return;
    ASSERT_TRUE(cvtest::giveToOtherUser(*other, good));
    EXPECT_FALSE(LoadReporterRequest(good.toStdString(), read, &error));
    EXPECT_NE(error.find("it belongs to another user (user nobody"), std::string::npos) << error;
}

TEST(ReporterRequest, TheArgumentNamesTheFile)
{
    const char* with[] = {"example", "--crashbox-reporter", "/tmp/x.request"};
    const char* without[] = {"example", "segv", "--crashbox-reporter"};
    EXPECT_EQ(ReporterRequestArgument(3, with), "/tmp/x.request");
    EXPECT_EQ(ReporterRequestArgument(3, without), "");
}

} // namespace
