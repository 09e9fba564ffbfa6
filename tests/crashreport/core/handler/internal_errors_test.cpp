#include "crashreport/core/handler/internal_errors.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "crashreport/core/report/log_file.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/internal_error_hooks.h"
#include "support/test_support.h"

using namespace cv;

namespace {

struct Box {
    std::string caption, text;
    unsigned flags;
};

// Services that record what the handler does.
struct InternalErrors : ::testing::Test {
    std::vector<std::string> traces;
    std::vector<Box> boxes;
    std::vector<std::string> mails;
    bool sendDialogOpen = false, debugger = false, mailWorks = false;
    int answer = kMessageBoxNo;
    uintptr_t address = 0x1000;
    cvtest::TempDir dir;

    void SetUp() override
    {
        TInternalErrorServices services;
        services.DebugOutput = [this](const std::string& text) { traces.push_back(text); };
        services.MessageBox = [this](const std::string& caption, const std::string& text, unsigned flags) {
            boxes.push_back({caption, text, flags});
            EXPECT_TRUE(InternalErrorRunning() || caption == "Error.");
            return answer;
        };
        services.SendDialogOpen = [this] { return sendDialogOpen; };
        services.SendEmailByMAPI = [this](const std::string& to, const std::string& subject, const std::string&, const std::string& file) {
            mails.push_back(to + "|" + subject + "|" + file);
            return mailWorks;
        };
        services.CurrentExceptionAddress = [this] { return address; };
        services.LastExceptionClassName = [] { return std::string("std::out_of_range"); };
        services.DebuggerPresent = [this] { return debugger; };
        services.IDEHost = [] { return false; };
        services.BugReportFileName = [this] { return ReportFile(); };
        SetInternalErrorServices(services);
        ClearInternalWarning();
    }
    void TearDown() override
    {
        SetInternalErrorServices({});
        ClearInternalWarning();
    }
    std::string ReportFile() const { return dir.file("crashreport_core_tests.log").toStdString(); }

    template <typename Throw>
    void HandleIn(const std::string& section, Throw raise)
    {
        try {
            raise();
        } catch (...) {
            HandleInternalError(section);
        }
        EXPECT_FALSE(InternalErrorRunning());
    }
};

} // namespace

TEST_F(InternalErrors, WarningIsKeptAndTraced)
{
    LogInternalWarning(eeEmailSMTPError, "535 authentication failed");
    EXPECT_EQ(LastInternalWarning().Code, eeEmailSMTPError);
    EXPECT_EQ(LastInternalWarning().Message, "535 authentication failed");
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0], "[WARNING] - Code: eeEmailSMTPError - Address: 0000000000001000 - Message: \"535 authentication failed\"");
    ClearInternalWarning();
    EXPECT_EQ(LastInternalWarning().Code, eeNone);
    EXPECT_TRUE(LastInternalWarning().Message.empty());
}

struct BoxCase {
    TCrashboxErrorCode code;
    bool dialogOpen;
    bool shown;
};

class WarningBoxes : public InternalErrors, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(WarningBoxes, OnlySendingFailuresWhileTheSendDialogIsOpen)
{
    sendDialogOpen = GetParam().dialogOpen;
    LogInternalWarning(GetParam().code, "failed");
    ASSERT_EQ(boxes.size(), GetParam().shown ? 1u : 0u);
    if (GetParam().shown) {
        EXPECT_EQ(boxes[0].caption, "Error.");
        EXPECT_EQ(boxes[0].text, "failed");
        EXPECT_EQ(boxes[0].flags, 0x242010u);
    }
}

INSTANTIATE_TEST_SUITE_P(InternalErrors, WarningBoxes,
                         ::testing::Values(BoxCase{eeEmailMAPIError, true, false}, BoxCase{eeShowError, true, false},
                                           BoxCase{eeLogError, true, false}, BoxCase{eeEmailShellError, true, false},
                                           BoxCase{eeEmailSMTPError, true, true}, BoxCase{eeWebHTTPError, true, true},
                                           BoxCase{eeWebHTTPSError, true, true}, BoxCase{eeWebFTPError, true, true},
                                           BoxCase{eeWebTrakerError, true, true}, BoxCase{eeWebFTPError, false, false}),
                         [](const auto& info) { return "Case" + std::to_string(info.index); });

TEST_F(InternalErrors, StepWarningFromTheCurrentException)
{
    try {
        throw std::runtime_error("no route to host");
    } catch (...) {
        LogStepWarning(eeWebHTTPError, "Upload");
    }
    EXPECT_EQ(LastInternalWarning().Message, "[Upload] no route to host");
    try {
        throw 17;
    } catch (...) {
        LogStepWarning(eeLogError, "Save log");
    }
    EXPECT_EQ(LastInternalWarning().Code, eeLogError);
    EXPECT_EQ(LastInternalWarning().Message, "General 'Save log' error.");
}

TEST_F(InternalErrors, AbortAndUnwatchedProgramsLeaveNoTrace)
{
    debugger = true;
    HandleIn("Send", [] { throw EAbort(); });
    debugger = false;
    HandleIn("Send", [] { throw std::runtime_error("boom"); });
    EXPECT_TRUE(traces.empty());
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(ReportFile())));
}

TEST_F(InternalErrors, WatchedProgramGetsTheBugReportAndTheOffer)
{
    debugger = true;
    answer = kMessageBoxYes;
    HandleIn("Call stack", [] { throw std::logic_error("index out of bounds"); });
    ASSERT_EQ(traces.size(), 1u);
    // A program's own exception: the address of the raising call, five bytes back.
    EXPECT_EQ(traces[0], "[ERROR] - Section: Call stack - Address: 0000000000000FFB - Message: \"index out of bounds\"");
    const std::string report = cvtest::readAll(QString::fromStdString(ReportFile())).toStdString();
    EXPECT_EQ(report.rfind("Version   : 6.1.03\r\nDate      : ", 0), 0u) << report;
    for (const char* line : {"\r\nRAD       : BDS 9.0\r\n", "\r\nSection   : Call stack\r\n", "\r\nLastExcept: std::out_of_range\r\n",
                             "\r\nException : std::logic_error\r\n", "\r\nMessage   : index out of bounds\r\n", "\r\nDump      : \r\n"})
        EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].caption, "Probably internal bug");
    EXPECT_EQ(boxes[0].text, "Error: 'index out of bounds'\r\n\r\nThis is an internal Crashbox bug.\r\n"
                             "Do you want to send the bug information to Crashbox author?");
    EXPECT_EQ(boxes[0].flags, 0x242014u);
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0], std::string(kCrashboxSupportEmail) + "|Crashbox 6.1.03 critical bug.|" + ReportFile());
    // The mail client failed: the user is told to send the file by hand.
    EXPECT_EQ(boxes[1].caption, "Information");
    EXPECT_EQ(boxes[1].text.rfind("Cannot connect with your email client.", 0), 0u);
    EXPECT_NE(boxes[1].text.find(ReportFile()), std::string::npos);
    EXPECT_EQ(boxes[1].flags, 0x242030u);
}

TEST_F(InternalErrors, SystemFaultsKeepTheirAddressAndOtherValuesHaveNoMessage)
{
    debugger = true;
    mailWorks = true;
    answer = kMessageBoxYes;
    const TExceptionObject fault = ExceptionObjectFromSignal(SIGSEGV, SEGV_MAPERR);
    const std::string report = InternalBugReport("Modules", fault, 0x1000);
    EXPECT_NE(report.find("\r\nException : EAccessViolation\r\n"), std::string::npos) << report;
    HandleIn("Modules", [] { throw 3; });
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0], "[ERROR] - Section: Modules - Address: 0000000000000FFB - Message: \"General internal error.\"");
    EXPECT_EQ(boxes.size(), 1u) << "the mail went: no information box";
}

TEST_F(InternalErrors, DumpAndStackLineOfReadableCode)
{
    static const uint8_t code[32] = {0x55, 0x48, 0x89, 0xE5, 0xC3};
    const std::string report = InternalBugReport("Dump", TExceptionObject(), reinterpret_cast<uintptr_t>(code));
    EXPECT_NE(report.find("\r\nDump      : $55 $48 $89 $E5 $C3 $00 "), std::string::npos) << report;
    EXPECT_NE(report.find("\r\nMessage   : General internal error.\r\n"), std::string::npos);

    const auto self = reinterpret_cast<uintptr_t>(&FormatInternalStackLine);
    const std::string line = FormatInternalStackLine(self);
    char expected[32];
    std::snprintf(expected, sizeof expected, "$%016llX - [", static_cast<unsigned long long>(self));
    EXPECT_EQ(line.rfind(expected, 0), 0u) << line;
    EXPECT_EQ(FormatInternalStackLine(0x10), "$0000000000000010 - [0000000000000000]  -  -  -  - 0[0]");
}

// Each frame whose line is known carries unit, class, procedure and line:
// this test's own frame names the line of the call (the compiler's __LINE__).
TEST_F(InternalErrors, TheCallStackNamesUnitProcedureAndLine)
{
    const int callLine = __LINE__ + 1;
    const std::string report = InternalBugReport("Stack", TExceptionObject(), 0);
    const auto at = report.find("\r\nCall Stack: ");
    ASSERT_NE(at, std::string::npos) << report;
    std::vector<std::string> rows;
    for (size_t from = at + 14, end; from < report.size(); from = end + 2) {
        end = report.find("\r\n", from);
        if (end == std::string::npos)
            end = report.size();
        rows.push_back(report.substr(from, end - from));
    }
    ASSERT_GE(rows.size(), 2u) << report;
    // The routine that wrote the stack, then this test.
    EXPECT_NE(rows[0].find("- internal_errors.cpp -  - cv::InternalBugReport("), std::string::npos) << rows[0];
    const std::string own = "- internal_errors_test.cpp -  - ";
    const std::string line = " - " + std::to_string(callLine) + "[";
    const auto test = std::find_if(rows.begin(), rows.end(), [&](const std::string& r) { return r.find(own) != std::string::npos; });
    ASSERT_NE(test, rows.end()) << report;
    EXPECT_NE(test->find("TestBody() - "), std::string::npos) << *test;
    EXPECT_NE(test->find(line), std::string::npos) << *test;
    EXPECT_EQ(test->substr(0, 12), std::string(12, ' ')) << "indented as every line after the first";
}

TEST_F(InternalErrors, SharedLogObjectFollowsTheLogName)
{
    cvtest::TempDir dir;
    TCrashboxModuleOptions options{"/opt/cv/wordlist"};
    options.SetOutputPath(dir.path().toStdString());
    TLogFile& first = OpenSharedLogFile(options);
    EXPECT_EQ(first.FileName(), dir.file("wordlist.elf").toStdString());
    EXPECT_EQ(&OpenSharedLogFile(options), &first);
    options.SetOutputPath((dir.path() + "/other").toStdString());
    TLogFile& second = OpenSharedLogFile(options);
    EXPECT_EQ(second.FileName(), dir.file("other/wordlist.elf").toStdString());
    CloseSharedLogFile();
}

TEST(ReportProcess, TheInternalCallStackNamesModulesLineByLine)
{
    const std::string text = CallStackToInternalText();
    const std::string program = ExtractFileName(QCoreApplication::applicationFilePath().toStdString());
    ASSERT_EQ(text.substr(0, 4), "00 $");
    EXPECT_NE(text.find(program), std::string::npos);
    EXPECT_NE(text.find("\r\n            01 $"), std::string::npos);
    std::size_t lines = 1;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 1))
        ++lines;
    EXPECT_LE(lines, 31u);
}
