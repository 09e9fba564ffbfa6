// The web error page: the layout filled, the CGI answer on standard output
// (redirected into a file by the test), and the kinds of program.
#include "crashreport/send/web/web_error_page.h"

#include "crashreport/core/core_in_child.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/internal_errors.h"
#include "support/test_support.h"
#include "crashreport/send/web_servers.h"

#include <QProcess>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

namespace {

// Sets REQUEST_METHOD for the test's length: the test program is a console program, so it becomes a CGI program.
class CGIEnvironment {
public:
    CGIEnvironment() { setenv("REQUEST_METHOD", "GET", 1); }
    ~CGIEnvironment() { unsetenv("REQUEST_METHOD"); }
};

// Standard output goes to a descriptor for the test's length.
class StdoutTo {
public:
    explicit StdoutTo(int fd) : m_saved(dup(STDOUT_FILENO))
    {
        std::fflush(stdout);
        dup2(fd, STDOUT_FILENO);
    }
    ~StdoutTo()
    {
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
    }

private:
    int m_saved;
};

class WebErrorPage : public testing::Test {
protected:
    cvtest::QuietWarnings quiet;
    cv::TCrashboxModuleOptions options{""};
};

TEST_F(WebErrorPage, KindsOfProgram)
{
    EXPECT_TRUE(cv::IsConsoleApplication()) << "the test program has no graphical application";
    EXPECT_FALSE(cv::IsCGIApplication());
    EXPECT_FALSE(cv::IsWebApplication());
    EXPECT_FALSE(cv::IsWindowedApplication());
    CGIEnvironment cgi;
    EXPECT_TRUE(cv::IsCGIApplication());
    EXPECT_TRUE(cv::IsWebApplication());
    EXPECT_FALSE(cv::IsISAPIModule() || cv::IsWinCGIApplication() || cv::IsIntraWebApplication());
}

TEST_F(WebErrorPage, LayoutGetsBodyTitleAndPageID)
{
    std::string page;
    options.SetHTMLLayout("<html><head><title>T</title></head><body><%html_tag%>|<%HTML_TAG%></body></html>");
    cv::FillHTMLLayout(options, "BODY", page);
    const std::regex form(R"(<html><head><title>T</title></head><body>BODY\|BODY</body></html><!-- Crashbox ID: [0-9A-F]{8} -->)");
    EXPECT_TRUE(std::regex_match(page, form)) << page;
    std::string again;
    cv::FillHTMLLayout(options, "BODY", again);
    EXPECT_NE(page.substr(page.size() - 12), again.substr(again.size() - 12)) << "each page its own ID";

    options.SetHTMLLayout("<p><%HTML_TAG%></p>");
    cv::FillHTMLLayout(options, "x", page);
    EXPECT_EQ(page.substr(0, 32), "<title>Error occurred</title><p>");
    options.SetHTMLLayout("</TITLE><TITLE><%HTML_TAG%>");
    cv::FillHTMLLayout(options, "x", page);
    EXPECT_EQ(page.substr(0, 29), "<title>Error occurred</title>") << "a title after its end is no title";

    options.SetHTMLLayout(" \r\n\t ");
    cv::FillHTMLLayout(options, "x", page);
    EXPECT_NE(page.find("<font face=\"Lucida Console, Courier\" size=\"2\">\r\n            x\r\n"), std::string::npos)
        << "an empty layout is the default one";
}

TEST_F(WebErrorPage, ErrorPageEscapesTheMessageAndAddsTheButton)
{
    options.SetHTMLLayout("<title>t</title>[<%HTML_TAG%>]");
    std::string page;
    cv::MakeWebErrorPage(options, "a<b & c", false, page);
    EXPECT_EQ(page.substr(0, page.find("<!--")), "<title>t</title>[a&lt;b &amp; c]");
    cv::MakeWebErrorPage(options, "m", true, page);
    EXPECT_EQ(page.substr(0, page.find("<!--")),
              "<title>t</title>[m<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
              "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">]");
}

TEST_F(WebErrorPage, CGIAnswerGoesToStandardOutput)
{
    cvtest::TempDir dir;
    const std::string out = dir.file(QStringLiteral("answer")).toStdString();
    const std::string page(1000, 'p');
    {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        StdoutTo redirect(fd);
        close(fd);
        EXPECT_TRUE(cv::WriteWebErrorPage(page)) << "not a CGI program: nothing to write";
        CGIEnvironment cgi;
        EXPECT_TRUE(cv::WriteWebErrorPage(page));
    }
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(out)).toStdString(),
              "Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: 1000\r\nContent:\r\n\r\n" + page);
    EXPECT_EQ(cv::WebErrorPageHeader(5, false), "Content-Type: text/html\r\nContent-Length: 5\r\nContent:\r\n\r\n");
}

TEST_F(WebErrorPage, AFailedCGIWriteIsRecorded)
{
    const int fd = open("/dev/null", O_RDONLY);
    {
        StdoutTo redirect(fd);
        CGIEnvironment cgi;
        EXPECT_FALSE(cv::WriteWebErrorPage("page"));
    }
    close(fd);
    EXPECT_EQ(cv::LastInternalWarning().Code, cv::eeShowError);
    EXPECT_EQ(cv::LastInternalWarning().Message, "CGI: Cannot write in the ouput file.");
}

TEST_F(WebErrorPage, NoWebFrameworkIsRecorded)
{
    cv::ShowIntraWebErrorPage();
    EXPECT_EQ(cv::LastInternalWarning().Code, cv::eeShowError);
    EXPECT_EQ(cv::LastInternalWarning().Message,
              "IntraWeb: IntraWebApplication e/o IntraWebServerController are set to nil.");
}

TEST(WebErrorPageFiles, OpenableFilesAndWrittenTemplates)
{
    cvtest::TempDir dir;
    const std::string file = dir.write(QStringLiteral("a.ini"), QByteArray("[CGI]")).toStdString();
    EXPECT_TRUE(cv::IsOpenableFile(file));
    EXPECT_FALSE(cv::IsOpenableFile(dir.file(QStringLiteral("*.ini")).toStdString()));
    EXPECT_FALSE(cv::IsOpenableFile(dir.file(QStringLiteral("none.ini")).toStdString()));
    EXPECT_FALSE(cv::IsOpenableFile(dir.path().toStdString()));

    const std::string made = dir.file(QStringLiteral("Temp/page.html")).toStdString();
    EXPECT_TRUE(cv::WriteTextFileA("<p>page</p>", made));
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(made)), QByteArray("<p>page</p>"));
    EXPECT_TRUE(cv::WriteTextFileA("<p>", made)) << "an existing file is replaced";
    EXPECT_EQ(cvtest::readAll(QString::fromStdString(made)), QByteArray("<p>"));
    EXPECT_FALSE(cv::WriteTextFileA("x", dir.file(QStringLiteral("a/b/page.html")).toStdString())) << "one folder level only";
}

// The answer's page as Python's HTML parser reads it: "balanced" when
// every element opened is closed in order, then its text and Ok buttons.
QString ParsedPage(const QByteArray& page)
{
    QProcess python;
    python.start(QStringLiteral("python3"), {QStringLiteral("-c"), QStringLiteral(R"(
import sys
from html.parser import HTMLParser
class P(HTMLParser):
    open, bad, text, oks = [], False, '', 0
    def handle_starttag(s, t, a):
        s.oks += t == 'input' and ('value', 'Ok') in a and ('onclick', 'history.go(-1)') in a
        if t not in ('br', 'input'): s.open.append(t)
    def handle_endtag(s, t): s.bad = s.bad or not s.open or s.open.pop() != t
    def handle_data(s, d): s.text += d
p = P(); p.feed(sys.stdin.read()); p.close()
print('balanced' if not (p.bad or p.open) else 'unbalanced', p.oks, p.text))")});
    python.write(page);
    python.closeWriteChannel();
    python.waitForFinished();
    return QString::fromUtf8(python.readAllStandardOutput());
}

struct TAnswerCase {
    const char* name;
    cv::TExceptionDialogType dialog;
    const char* layout;
    const char* shown; // in the page's text
};
void PrintTo(const TAnswerCase& c, std::ostream* os) { *os << c.name; }
class WebErrorPageAnswer : public testing::TestWithParam<TAnswerCase> {};

// A CGI program with the binding writes half a page, then throws an
// exception nothing catches: its page so far is kept (and the answer is not
// taken for part of it), then the request is answered with the header and an
// HTML page of the message (the report with a dialog kind) and one Ok button.
TEST_P(WebErrorPageAnswer, AnswersTheRequestAfterThePageSoFar)
{
    const TAnswerCase& c = GetParam();
    cvtest::TempDir dir;
    const QString folder = dir.path();
    const std::string soFar = "Content-Type: text/html\r\n\r\n<html><body>half";
    int status = 0;
    const QString childSaid = cvtest::runInChild([&]() -> QString {
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("TMPDIR", folder.toLocal8Bit().constData(), 1);
        const int fd = open(dir.file(QStringLiteral("stdout.txt")).toLocal8Bit().constData(), O_WRONLY | O_CREAT, 0600);
        StdoutTo redirect(fd);
        cvtest::StartCoreInChild(folder).SetExceptionDialogType(c.dialog);
        if (*c.layout)
            cv::CurrentCrashboxOptions().SetHTMLLayout(c.layout);
        cv::TWebErrorPageBinding binding;
        cv::TCrashboxNotifier notifier;
        notifier.OnExceptionActionNotify = [&](cv::TCrashboxExceptionRecord&, uint8_t action, bool&) {
            if (action == cv::caSavedLog)
                dir.write(QStringLiteral("captured.txt"), QByteArray::fromStdString(cv::CapturedStandardOutput()));
        };
        std::printf("%s", soFar.c_str());
        std::fflush(stdout);
        std::thread([] { throw std::runtime_error("the page cannot be finished"); }).join();
        return QStringLiteral("the exception did not end the program");
    }, &status);
    EXPECT_EQ(status, 1) << childSaid.toStdString();
    EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("LastHTMLPage.html"))).toStdString(), soFar);
    EXPECT_EQ(cvtest::readAll(dir.file(QStringLiteral("captured.txt"))).toStdString(), soFar)
        << "the answer is not part of the page";
    const std::string written = cvtest::readAll(dir.file(QStringLiteral("stdout.txt"))).toStdString();
    const std::size_t page = written.find("Content:\r\n\r\n") + 12;
    EXPECT_EQ(written.substr(0, page), soFar + "Status: 200 Error\r\nContent-Type: text/html\r\nContent-Length: " +
                                           std::to_string(written.size() - page) + "\r\nContent:\r\n\r\n");
    const QString parsed = ParsedPage(QByteArray::fromStdString(written.substr(page)));
    EXPECT_TRUE(parsed.startsWith(QStringLiteral("balanced 1 ")) && parsed.contains(QLatin1String(c.shown)))
        << parsed.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebErrorPageAnswer,
    testing::Values(TAnswerCase{"Message", cv::edtNone, "", "the page cannot be finished"},
                    TAnswerCase{"Report", cv::edtMSClassic, "", "Call Stack Information:"},
                    TAnswerCase{"LayoutWithButton", cv::edtNone,
                                "<title>t</title><p><%HTML_TAG%><br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
                                "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\"></p>",
                                "the page cannot be finished"}),
    [](const testing::TestParamInfo<TAnswerCase>& info) { return std::string(info.param.name); });

} // namespace
