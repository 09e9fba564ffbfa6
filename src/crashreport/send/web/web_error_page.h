#pragma once
// When the program answers web requests, no dialog can be shown: the
// pending request is answered with an HTML error page instead. This unit
// tells which kind of program runs, fills the options' page layout with the
// error text and writes the answer the way the server interface expects.
//
// Of the server interfaces only CGI exists for this program (a console
// program started with REQUEST_METHOD in its environment, answering on
// standard output). It is never an ISAPI module, a WinCGI program or a
// web-framework application, so those answer false, and their writers do
// what the design says for a program that is none of them.

#include <string>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

// A program without a graphical application object.
bool IsConsoleApplication();
bool IsCGIApplication();
bool IsWinCGIApplication();
bool IsISAPIModule();
bool IsIntraWebApplication();
// ISAPI, else CGI, else WinCGI, else the web framework.
bool IsWebApplication();
// Neither a web application nor a console program.
bool IsWindowedApplication();

// Name holds no "*" or "?", the file exists and can be opened for reading.
bool IsOpenableFile(const std::string& Name);
// Creates the file's folder when missing (one level), then the file with
// Text; true when all of it was written.
bool WriteTextFileA(const std::string& Text, const std::string& FileName);

// "<!-- Crashbox ID: " + eight upper-case hexadecimal digits of a random
// number + " -->", new each time.
std::string MakePageIDComment();
// The options' layout (the default one when it is empty) with every
// "<%HTML_TAG%>" replaced by Body, a title in front when it has none, and a
// new page ID comment at the end.
void FillHTMLLayout(const TCrashboxModuleOptions& options, const std::string& Body, std::string& Page);
// The message as HTML (with an "Ok" button that goes back, when asked) in the layout.
void MakeWebErrorPage(const TCrashboxModuleOptions& options, const std::string& Message, bool WithOkButton,
                      std::string& Page);
// The answer's header lines for a page of that length ("Status:" line only for CGI and WinCGI).
std::string WebErrorPageHeader(std::size_t pageLength, bool withStatusLine);
// Writes the header and the page for the kind of program running; true
// when nothing had to be written. A failed write is the internal warning
// eeShowError.
bool WriteWebErrorPage(const std::string& Page);
// The web framework's page: with no framework registered, the internal warning.
void ShowIntraWebErrorPage();

// The answer to a web request whose program met an exception: the page of
// the message in the options' layout, with the "Ok" button unless the page
// holds it already, written as WriteWebErrorPage does.
bool AnswerWebRequest(const TCrashboxModuleOptions& options, const std::string& Message);

// The exception handler answers a web request with AnswerWebRequest and the
// options of the exception being handled, for as long as one lives. Made
// where the program starts the crash-report component.
class TWebErrorPageBinding {
public:
    TWebErrorPageBinding();
    ~TWebErrorPageBinding();
    TWebErrorPageBinding(const TWebErrorPageBinding&) = delete;
    TWebErrorPageBinding& operator=(const TWebErrorPageBinding&) = delete;
};

} // namespace cv
