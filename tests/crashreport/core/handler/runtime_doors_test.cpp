#include "crashreport/core/handler/runtime_doors.h"

#include <gtest/gtest.h>


#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "crashreport/core/core_in_child.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "support/test_support.h"

using namespace cv;

namespace {

int* volatile gNowhereElse = nullptr;

enum class TStandardOutput { File, PipeWithoutReader };

struct TCgiCase {
    const char* name;
    TExceptionDialogType dialog;
    TStandardOutput output;
    const char* answer; // a part of the web answer on standard output (file case)
};

void PrintTo(const TCgiCase& c, std::ostream* os) { *os << c.name; }

class CgiProgram : public ::testing::TestWithParam<TCgiCase> {};

constexpr char kPageSoFar[] = "Content-Type: text/html\r\n\r\n<html><body>half a page";
constexpr char kRawPart[] = "<p>written directly</p>";

} // namespace

// A CGI program (started by a web server: REQUEST_METHOD in its environment)
// writes part of its page, through the C library's buffered output and
// directly, then throws an exception nothing catches. The page so far is
// kept as the last HTML page, the exception is answered through the web
// page writer (its message without a dialog, the report with one), and the
// report is in the log even when the server has gone away (writing to
// standard output fails with a broken pipe).
TEST_P(CgiProgram, KeepsThePageAnswersTheRequestAndLogsTheReport)
{
    const TCgiCase& c = GetParam();
    cvtest::TempDir dir;
    const QString folder = dir.path();
    int status = 0;
    const QString childSaid = cvtest::runInChild(
        [&]() -> QString {
            ::setenv("REQUEST_METHOD", "GET", 1);
            ::unsetenv("GATEWAY_INTERFACE");
            ::setenv("TMPDIR", folder.toLocal8Bit().constData(), 1);
            int target = -1;
            int reader = -1;
            if (c.output == TStandardOutput::File) {
                target = ::open((folder + QStringLiteral("/stdout.txt")).toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            } else {
                int ends[2];
                if (::pipe(ends) != 0)
                    return QStringLiteral("no pipe");
                reader = ends[0];
                target = ends[1];
            }
            std::fflush(stdout);
            ::dup2(target, STDOUT_FILENO);
            ::close(target);

            cvtest::StartCoreInChild(folder).SetExceptionDialogType(c.dialog);
            // The web page writer, as the sending library binds it: straight to standard output.
            TExceptionHandlerServices services = ExceptionHandlerServices();
            services.WriteWebErrorPage = [](const std::string& message) {
                const std::string answer = "Status: 200 Error\r\n\r\n[" + message + "]";
                if (::write(STDOUT_FILENO, answer.data(), answer.size()) < 0)
                    std::fputs("the answer could not be written\n", stderr);
            };
            SetExceptionHandlerServices(std::move(services));

            std::printf("%s", kPageSoFar);
            std::fflush(stdout);
            if (::write(STDOUT_FILENO, kRawPart, sizeof kRawPart - 1) < 0)
                return QStringLiteral("the page could not be written");
            // The server goes away before the answer.
            if (reader >= 0)
                ::close(reader);
            // On a thread of its own: nothing catches it there (the test framework would here).
            std::thread([] { throw std::runtime_error("the page cannot be finished"); }).join();
            return QStringLiteral("the exception did not end the program");
        },
        &status);
    EXPECT_EQ(status, 1) << "an exception nothing catches ends the program with 1, not by a broken pipe; "
                         << childSaid.toStdString();
    EXPECT_EQ(cvtest::LogEntries(folder), 1);
    EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("LastHTMLPage.html"))), QByteArray(kPageSoFar) + kRawPart);
    if (c.output == TStandardOutput::File) {
        const QByteArray written = cvtest::readAll(dir.file(QStringLiteral("stdout.txt")));
        EXPECT_TRUE(written.startsWith(QByteArray(kPageSoFar) + kRawPart)) << written.toStdString();
        const QByteArray answer = written.mid(qsizetype(sizeof kPageSoFar + sizeof kRawPart - 2));
        EXPECT_TRUE(answer.startsWith("Status: 200 Error\r\n\r\n[")) << answer.toStdString();
        EXPECT_TRUE(answer.contains(c.answer)) << answer.toStdString();
        EXPECT_TRUE(answer.endsWith("]")) << "nothing more after the answer";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CgiProgram,
    ::testing::Values(TCgiCase{"NoDialog", edtNone, TStandardOutput::File, "[the page cannot be finished]"},
                      TCgiCase{"Dialog", edtMSClassic, TStandardOutput::File, "Call Stack Information:"},
                      TCgiCase{"NoDialogServerGone", edtNone, TStandardOutput::PipeWithoutReader, ""},
                      TCgiCase{"DialogServerGone", edtMSClassic, TStandardOutput::PipeWithoutReader, ""}),
    [](const ::testing::TestParamInfo<TCgiCase>& info) { return std::string(info.param.name); });

// Another thread faults while the report of an exception nothing catches is
// made: that fault's report waits for the first and follows it. The program
// then ends as an exception nothing catches ends it, with exit code 1, even
// when its end comes a while after the fault's report is done (here the
// exit waits for a report being sent): the fault's thread does not end the
// process by its signal first.
TEST(ExceptionNothingCatches, EndsTheProgramWithOneThoughAFaultWasReportedMeanwhile)
{
    cvtest::TempDir dir;
    const QString folder = dir.path();
    int status = 0;
    const QString childSaid = cvtest::runInChild(
        [&]() -> QString {
            cvtest::StartCoreInChild(folder);
            static std::atomic<int> reports{0};
            TCrashboxNotifier notifier;
            notifier.OnExceptionNotify = [](TCrashboxExceptionRecord&, bool&) {
                if (++reports > 1)
                    return; // the fault's own report
                std::thread([] { *gNowhereElse = 7; }).detach();
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            };
            // The end waits for the sending of a report: until a second
            // after the fault's report was raised.
            TExceptionHandlerServices services = ExceptionHandlerServices();
            services.WaitForReportSending = [](std::chrono::milliseconds) {
                for (int waited = 0; waited < 8000 && reports.load() < 2; waited += 10)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::this_thread::sleep_for(std::chrono::milliseconds(1000));
                return true;
            };
            SetExceptionHandlerServices(std::move(services));
            std::thread([] { throw std::runtime_error("nothing catches this"); }).join();
            return QStringLiteral("the exception did not end the program");
        },
        &status);
    EXPECT_EQ(status, 1) << childSaid.toStdString();
    EXPECT_EQ(cvtest::LogEntries(folder), 2) << "the exception's report and the fault's";
}
