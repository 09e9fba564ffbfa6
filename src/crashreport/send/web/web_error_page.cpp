#include "crashreport/send/web/web_error_page.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/report_helpers.h"
#include "files/save_file.h"

namespace cv {

namespace {

constexpr std::string_view kHTMLTag = "<%HTML_TAG%>";
constexpr std::string_view kOkButton =
    "<br><input type=button value=\"Ok\" OnClick=\"history.go(-1)\" "
    "style=\"width:75;height:25;z-index:100;font-style:normal;font-size:10pt;text-decoration:none;\">";

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Writes all bytes to the descriptor (retrying after signals and short writes).
bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

} // namespace

bool IsConsoleApplication() { return TLocalSystemFacts().IsConsoleProgram(); }

bool IsCGIApplication() { return IsConsoleApplication() && std::getenv("REQUEST_METHOD") != nullptr; }

bool IsWinCGIApplication() { return false; }

bool IsISAPIModule() { return false; }

bool IsIntraWebApplication() { return false; }

bool IsWebApplication() { return IsISAPIModule() || IsCGIApplication() || IsWinCGIApplication() || IsIntraWebApplication(); }

bool IsWindowedApplication() { return !IsWebApplication() && !IsConsoleApplication(); }

bool IsOpenableFile(const std::string& Name)
{
    if (Name.find_first_of("*?") != std::string::npos)
        return false;
    struct stat info {};
    if (stat(Name.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const int fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool WriteTextFileA(const std::string& Text, const std::string& FileName)
{
    const std::string folder = ExtractFileDir(FileName);
    if (!folder.empty() && !DirectoryExistsA(folder) && ::mkdir(folder.c_str(), 0777) != 0)
        return false;
    // Never through another user's link, nor over their file, in a shared folder.
    TSaveFile file(QString::fromStdString(FileName));
    return file.open(QIODevice::WriteOnly) && file.write(Text.data(), qint64(Text.size())) == qint64(Text.size())
           && file.commit();
}

std::string MakePageIDComment()
{
    static thread_local std::mt19937 random{std::random_device{}()};
    char text[40];
    std::snprintf(text, sizeof text, "<!-- Crashbox ID: %08X -->", unsigned(random()));
    return text;
}

void FillHTMLLayout(const TCrashboxModuleOptions& options, const std::string& Body, std::string& Page)
{
    std::string layout = options.HTMLLayout();
    if (TrimA(FlattenControlChars(layout)).empty())
        layout = kDefaultHTMLLayout;
    std::string lower = Lower(layout);
    const std::size_t tag = lower.find(Lower(kHTMLTag));
    if (tag != std::string::npos)
        layout.replace(tag, kHTMLTag.size(), kHTMLTag);
    const std::size_t open = lower.find("<title>");
    const std::size_t close = lower.find("</title>");
    if (open == std::string::npos || close == std::string::npos || open > close)
        layout = "<title>" + options.GetExpandedText(mtDialog_Caption) + "</title>" + layout;
    Page = ReplaceAllA(layout, kHTMLTag, Body) + MakePageIDComment();
}

void MakeWebErrorPage(const TCrashboxModuleOptions& options, const std::string& Message, bool WithOkButton,
                      std::string& Page)
{
    std::string body = TextToHTML(Message);
    if (WithOkButton)
        body += kOkButton;
    FillHTMLLayout(options, body, Page);
}

std::string WebErrorPageHeader(std::size_t pageLength, bool withStatusLine)
{
    std::string header = withStatusLine ? "Status: " + std::to_string(200) + " Error\r\n" : std::string();
    header += "Content-Type: text/html\r\n";
    header += "Content-Length: " + std::to_string(pageLength) + "\r\n";
    header += "Content:\r\n\r\n";
    return header;
}

bool WriteWebErrorPage(const std::string& Page)
{
    if (IsISAPIModule() || !IsCGIApplication())
        return true; // no server interface of this program is waiting for a page
    std::fflush(stdout);
    if (!WriteAll(STDOUT_FILENO, WebErrorPageHeader(Page.size(), true))) {
        LogInternalWarning(eeShowError, "CGI: Cannot write in the ouput file.");
        return false;
    }
    WriteAll(STDOUT_FILENO, Page);
    return true;
}

void ShowIntraWebErrorPage()
{
    LogInternalWarning(eeShowError, "IntraWeb: IntraWebApplication e/o IntraWebServerController are set to nil.");
}

bool AnswerWebRequest(const TCrashboxModuleOptions& options, const std::string& Message)
{
    std::string page;
    MakeWebErrorPage(options, Message, false, page);
    // A layout of its own may bring the button already.
    if (Lower(page).find(Lower(kOkButton)) == std::string::npos)
        MakeWebErrorPage(options, Message, true, page);
    return WriteWebErrorPage(page);
}

TWebErrorPageBinding::TWebErrorPageBinding()
{
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.WriteWebErrorPage = [](const std::string& message) { AnswerWebRequest(CurrentOptions(), message); };
    SetExceptionHandlerServices(std::move(services));
}

TWebErrorPageBinding::~TWebErrorPageBinding()
{
    TExceptionHandlerServices services = ExceptionHandlerServices();
    services.WriteWebErrorPage = nullptr;
    SetExceptionHandlerServices(std::move(services));
}

} // namespace cv
