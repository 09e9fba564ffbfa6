#include "crashreport/core/report_files.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <unistd.h>

#include "crashreport/core/log_file.h"
#include "python_oracle.h"
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
    // Without a folder given, the system's temporary folder.
    EXPECT_EQ(ZipFileName().rfind("/BugReport.zip"), ZipFileName().size() - 14);
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
