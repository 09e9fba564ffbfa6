#include "crashreport/core/report/report_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "crashreport/core/crashbox_testutil.h"
#include "crashreport/core/python_oracle.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/report_helpers.h"
#include "support/test_support.h"

using namespace cv;

namespace {

std::string Report(const std::string& id)
{
    return "Crashbox 6.1.03\r\n\r\nException:\r\n------------------\r\n  2.7 ID : " + id
           + "\r\n\r\nCall Stack Information:\r\n----------\r\n|Address |\r\n----------";
}

struct ReportFiles : ::testing::Test {
    cvtest::TempDir dir;
    std::string temp = dir.path().toStdString() + "/";
    TCrashboxModuleOptions options{"/opt/cv/wordlist"};
    TReportFileState state;

    void SetOption(TCommonSendOption option, bool on)
    {
        TCommonSendOptions set = options.CommonSendOptions();
        set.Switch(option, on);
        options.SetCommonSendOptions(set);
    }
};

} // namespace

TEST_F(ReportFiles, NamesInTheTemporaryFolder)
{
    EXPECT_EQ(ScreenshotFileName(options, temp), temp + "Screenshot.png");
    EXPECT_EQ(LastHTMLPageFileName(options, temp), temp + "LastHTMLPage.html");
    EXPECT_EQ(LogCopyFileName(options, temp), temp + "wordlist.elf");
    EXPECT_EQ(ZipFileName(temp), temp + "BugReport.zip");
    EXPECT_EQ(XMLCopyFileName(options, temp), "") << "the XML copy is off by default";
    SetOption(sndSendXMLLogCopy, true);
    SetOption(sndSendScreenshot, false);
    SetOption(sndSendLastHTMLPage, false);
    EXPECT_EQ(XMLCopyFileName(options, temp), temp + "wordlist.xml");
    EXPECT_EQ(ScreenshotFileName(options, temp), "");
    EXPECT_EQ(LastHTMLPageFileName(options, temp), "");

    char expected[64];
    std::snprintf(expected, sizeof expected, "%08X00007F00DEADBEEF.bin", unsigned(getpid()));
    EXPECT_EQ(ProcessDataFileName(0x7F00DEADBEEF, temp), temp + expected);
    // Without a folder given, the report's own folder (the per-process file: the shared one).
    EXPECT_EQ(ZipFileName(), ReportFolder() + "BugReport.zip");
    EXPECT_EQ(ProcessDataFileName(0x7F00DEADBEEF), GetTempFolder() + expected);
    TakeReportFolder();
}

struct StampCase {
    const char* file;
    bool computer, date;
    const char* name;
};

class AttachmentNames : public ReportFiles, public ::testing::WithParamInterface<StampCase> {};

TEST_P(AttachmentNames, Stamps)
{
    SetOption(sndAddComputerNameInFileName, GetParam().computer);
    SetOption(sndAddDateInFileName, GetParam().date);
    state.ComputerName = "lab-pc";
    state.ExceptionTime = QDateTime(QDate(2024, 3, 9), QTime(14, 5, 7));
    EXPECT_EQ(AttachmentName(options, GetParam().file, state), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(ReportFiles, AttachmentNames,
                         ::testing::Values(StampCase{"/tmp/wordlist.elf", false, false, "wordlist.elf"},
                                           StampCase{"/tmp/wordlist.elf", false, true, "wordlist__20240309140507.elf"},
                                           StampCase{"/tmp/wordlist.elf", true, false, "wordlist__lab-pc.elf"},
                                           StampCase{"/tmp/wordlist.elf", true, true, "wordlist__lab-pc__20240309140507.elf"},
                                           StampCase{"/tmp/notes", false, true, "notes__20240309140507"}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(ReportFiles, LastPageWrittenAsGivenOnlyWithItsOption)
{
    const std::string page = "<html>\r\n<body>Error</body>\n</html>";
    SaveLastHTMLPage(options, page, temp);
    EXPECT_EQ(ReadTextFile(temp + "LastHTMLPage.html"), page);
    SetOption(sndSendLastHTMLPage, false);
    SaveLastHTMLPage(options, "other", temp);
    EXPECT_EQ(ReadTextFile(temp + "LastHTMLPage.html"), page);
    EXPECT_EQ(ReadTextFile(""), "");
    EXPECT_EQ(ReadTextFile(temp + "missing.txt"), "");
}

TEST_F(ReportFiles, XMLCopyOfTheLogCopyOrOfTheReportAlone)
{
    EXPECT_TRUE(SaveXMLCopy(options, state, temp));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(temp + "wordlist.xml"))) << "option off: no copy";
    SetOption(sndSendXMLLogCopy, true);
    state.ReportText = Report("ONLY");
    ASSERT_TRUE(SaveXMLCopy(options, state, temp));
    const std::string alone = ReadTextFile(temp + "wordlist.xml");
    EXPECT_NE(alone.find("Value=\"ONLY\""), std::string::npos) << alone;

    // With a log copy on disk, its entries.
    {
        TLogFile log(temp + "wordlist.elf", false);
        log.Append(Report("FIRST"), -1);
        log.Append(Report("SECOND"), -1);
        log.Save();
    }
    ASSERT_TRUE(SaveXMLCopy(options, state, temp));
    if (!cvtest::havePython())
        GTEST_SKIP() << "python3 not available";
    QString error;
    const QByteArray out = cvtest::runPython(
        "import sys, xml.etree.ElementTree as ET\n"
        "print(' '.join(l.get('Value') for l in ET.parse(sys.argv[1]).getroot().iter('Line')))",
        {QString::fromStdString(temp + "wordlist.xml")}, {}, &error);
    EXPECT_EQ(out.trimmed().toStdString(), "FIRST SECOND") << error.toStdString();
}

TEST_F(ReportFiles, AttachmentListWithItsConditions)
{
    ::setenv("CV_TEST_ATTACH", "/data/corpus", 1);
    options.SetAttachedFiles("%CV_TEST_ATTACH%/settings.ini; /home/user/notes.txt");
    std::vector<std::string> list{"stale"};
    AttachmentList(options, state, list, false, temp);
    EXPECT_EQ(list, (std::vector<std::string>{"/data/corpus/settings.ini", "/home/user/notes.txt", temp + "wordlist.elf"}));

    state.ScreenshotChecked = true;
    state.LastHTMLPageCaptured = true;
    SetOption(sndSendXMLLogCopy, true);
    options.SetAttachedFiles("");
    AttachmentList(options, state, list, false, temp);
    EXPECT_EQ(list, (std::vector<std::string>{temp + "wordlist.elf", temp + "Screenshot.png", temp + "LastHTMLPage.html",
                                              temp + "wordlist.xml"}));
    // The log is left out only when asked and logs are appended.
    AttachmentList(options, state, list, true, temp);
    EXPECT_EQ(list.front(), temp + "wordlist.elf");
    options.SetAppendLogs(true);
    AttachmentList(options, state, list, true, temp);
    EXPECT_EQ(list.front(), temp + "Screenshot.png");
    ::unsetenv("CV_TEST_ATTACH");
}

namespace {

// The report folders go under a folder of the test: $XDG_RUNTIME_DIR unset,
// $TMPDIR the test's.
struct ReportFolders : ::testing::Test {
    void SetUp() override
    {
        oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        oldTmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", base.toUtf8());
        TakeReportFolder();
    }
    void TearDown() override
    {
        TakeReportFolder();
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
        qputenv("TMPDIR", oldTmp);
        if (oldRuntime.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
    }
    static unsigned Mode(const std::string& path)
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? unsigned(info.st_mode & 07777) : 0u;
    }
    static bool Exists(const std::string& path)
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }

    cvtest::TempDir dir;
    QString base = dir.path();
    QByteArray oldRuntime, oldTmp;
};

} // namespace

TEST_F(ReportFolders, EachReportHasAFolderOfItsOwnThatOnlyItsUserReads)
{
    auto first = std::make_unique<TReportFolder>();
    auto second = std::make_unique<TReportFolder>();
    const std::string prefix = base.toStdString() + "/crashbox-";
    ASSERT_TRUE(first->Path().starts_with(prefix)) << first->Path();
    ASSERT_TRUE(second->Path().starts_with(prefix)) << second->Path();
    EXPECT_NE(first->Path(), second->Path());
    EXPECT_EQ(Mode(first->Path()), 0700u);

    // Files are their owner's alone whatever the umask.
    const mode_t oldMask = ::umask(0);
    EXPECT_TRUE(WritePrivateFile(first->Path() + "BugReport.zip", "zip"));
    EXPECT_TRUE(CreatePrivateFile(first->Path() + "Screenshot.png"));
    ::umask(oldMask);
    EXPECT_EQ(Mode(first->Path() + "BugReport.zip"), 0600u);
    EXPECT_EQ(Mode(first->Path() + "Screenshot.png"), 0600u);
    EXPECT_EQ(ReadTextFile(first->Path() + "BugReport.zip"), "zip");

    // Done with, a report's folder goes with everything in it; the other stays.
    const std::string gone = first->Path();
    first.reset();
    EXPECT_FALSE(Exists(gone));
    EXPECT_TRUE(Exists(second->Path()));
}

TEST_F(ReportFolders, TheRuntimeFolderComesFirstThenTheTemporaryOneThenTmp)
{
    EXPECT_EQ(ReportFolderBases(), (std::vector<std::string>{base.toStdString() + "/", "/tmp/"}));
    const QString runtime = dir.file(QStringLiteral("runtime"));
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    // A runtime folder that is not there: the next one serves.
    EXPECT_EQ(ReportFolderBases(), (std::vector<std::string>{base.toStdString() + "/", "/tmp/"}));
    EXPECT_TRUE(TReportFolder().Path().starts_with(base.toStdString() + "/crashbox-"));
    ASSERT_TRUE(QDir().mkpath(runtime));
    EXPECT_EQ(ReportFolderBases(), (std::vector<std::string>{runtime.toStdString() + "/", base.toStdString() + "/", "/tmp/"}));
    EXPECT_TRUE(TReportFolder().Path().starts_with(runtime.toStdString() + "/crashbox-"));
    // One of another user (a session's variable kept through su) is not used.
    if (const std::optional<cvtest::OtherUser> other = cvtest::otherUser()) {
        ASSERT_TRUE(cvtest::giveToOtherUser(*other, runtime));
        EXPECT_EQ(ReportFolderBases(), (std::vector<std::string>{base.toStdString() + "/", "/tmp/"}));
        EXPECT_TRUE(TReportFolder().Path().starts_with(base.toStdString() + "/crashbox-"));
    }
}

TEST_F(ReportFolders, ThePrivateFileReplacesALinkWithoutFollowingIt)
{
    TReportFolder folder;
    const std::string outside = dir.write(QStringLiteral("outside.txt"), "the user's").toStdString();
    const std::string name = folder.Path() + "LastHTMLPage.html";
    ASSERT_EQ(::symlink(outside.c_str(), name.c_str()), 0);
    EXPECT_TRUE(WritePrivateFile(name, "page"));
    EXPECT_EQ(ReadTextFile(outside), "the user's");
    EXPECT_EQ(ReadTextFile(name), "page");
    EXPECT_EQ(Mode(name), 0600u);
}

TEST_F(ReportFolders, TheReportInProgressKeepsItsFolderUntilItIsTaken)
{
    const std::string current = ReportFolder();
    ASSERT_FALSE(current.empty());
    EXPECT_EQ(ReportFolder(), current);
    EXPECT_EQ(ScreenshotFileName(TCrashboxModuleOptions(""), ""), current + "Screenshot.png");
    // Taken (by a send thread): the next report gets a new one, the taken one lives on.
    std::unique_ptr<TReportFolder> taken = TakeReportFolder();
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->Path(), current);
    const std::string next = ReportFolder();
    EXPECT_NE(next, current);
    EXPECT_TRUE(Exists(current));
    // Removed from under the report: made anew.
    std::filesystem::remove_all(next);
    const std::string again = ReportFolder();
    EXPECT_TRUE(Exists(again));
    EXPECT_NE(again, next);
}

TEST_F(ReportFolders, OnlyAReportFolderOfThisUserIsTakenOver)
{
    auto made = std::make_unique<TReportFolder>();
    const std::string path = made->Path();
    made->Release(); // another process carries it on
    made.reset();
    ASSERT_TRUE(Exists(path));
    const std::string link = dir.file(QStringLiteral("crashbox-link")).toStdString();
    ASSERT_EQ(::symlink(path.c_str(), link.c_str()), 0);
    const std::string open = dir.file(QStringLiteral("crashbox-open")).toStdString();
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    EXPECT_EQ(TReportFolder::Adopt(link), nullptr) << "a link";
    EXPECT_EQ(TReportFolder::Adopt(open), nullptr) << "readable by others";
    EXPECT_EQ(TReportFolder::Adopt(base.toStdString()), nullptr) << "not a report's folder";
    std::unique_ptr<TReportFolder> adopted = TReportFolder::Adopt(path);
    ASSERT_TRUE(adopted);
    EXPECT_EQ(adopted->Path(), path);
    adopted.reset();
    EXPECT_FALSE(Exists(path)) << "removed by the one that took it over";
    EXPECT_TRUE(Exists(open));
}

TEST_F(ReportFolders, ReadingAPipeGivesNothingAndDoesNotWait)
{
    const std::string pipe = dir.file(QStringLiteral("pipe")).toStdString();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    int status = 0;
    const QString text = cvtest::runInChild([&] { return QString::fromStdString(ReadTextFile(pipe)); }, &status,
                                            std::chrono::seconds(10));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(text, QString());
}

namespace {

// A report folder that a process made and left behind as it ended (its
// process never removed it).
std::string FolderOfAnEndedProcess()
{
    return cvtest::runInChild([] {
        auto folder = std::make_unique<TReportFolder>();
        const std::string path = folder->Path();
        std::ofstream(path + "Screenshot.png") << "png";
        folder->Release();
        return QString::fromStdString(path);
    }).toStdString();
}

} // namespace

// Only the report folders of this user whose process has ended (nobody
// locks them) and that have not changed for a minute go; a folder a
// running process holds, a young one, another user's, one readable by
// others and a link stay.
TEST_F(ReportFolders, OnlyTheFoldersOfEndedProcessesAreRemoved)
{
    const std::string left = FolderOfAnEndedProcess(), young = FolderOfAnEndedProcess(), held = FolderOfAnEndedProcess();
    ASSERT_TRUE(Exists(left + "Screenshot.png"));
    TReportFolder ours;
    const std::string open = base.toStdString() + "/crashbox-open00";
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    const std::string elsewhere = FolderOfAnEndedProcess();
    const std::string link = base.toStdString() + "/crashbox-link00";
    ASSERT_EQ(::symlink(elsewhere.c_str(), link.c_str()), 0);
    std::string others;
    if (const std::optional<cvtest::OtherUser> user = cvtest::otherUser()) {
        others = FolderOfAnEndedProcess();
        ASSERT_TRUE(cvtest::giveToOtherUser(*user, QString::fromStdString(others)));
        cvtest::SetBackLastChange(others);
    }
    for (const std::string& path : {left, held, ours.Path(), open})
        cvtest::SetBackLastChange(path);

    // A process (a reporter with its dialog up) holds one of them.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        const std::unique_ptr<TReportFolder> adopted = TReportFolder::Adopt(held);
        ::write(ready[1], adopted ? "y" : "n", 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');
    cvtest::SetBackLastChange(held);

    // The link's target lies under another base: the link alone is looked at.
    std::filesystem::rename(elsewhere, dir.file(QStringLiteral("moved")).toStdString());
    const std::vector<std::string> removed = RemoveAbandonedReportFolders({base.toStdString() + "/"});
    ::kill(holder, SIGKILL);
    cvtest::waitForChild(holder);
    ::close(ready[0]);
    ::close(ready[1]);

    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0] + "/", left);
    EXPECT_FALSE(Exists(left));
    for (const std::string& path : {young, held, ours.Path(), open, link})
        EXPECT_TRUE(Exists(path)) << path;
    if (!others.empty()) {
        EXPECT_TRUE(Exists(others));
    }
}
