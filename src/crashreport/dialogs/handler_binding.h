#pragma once
// What the exception handler asks of the widgets and of sending
// (TExceptionHandlerServices): the exception dialogs, the reproduce-steps
// dialog, the screenshot, sending the report and the clipboard copy, bound
// for as long as a TCrashReportDialogs lives.
//
// Dialogs and the screenshot belong to the GUI thread: called from another
// thread they run there through a blocking queued call. When the GUI thread
// cannot serve (a fatal signal on it: it waits inside its signal handler; a
// freeze: the watchdog reports for it while it is paused; or it does not
// answer a queued call in time: within a second when it waits for its
// events, within a tenth of one when it is busy or blocked elsewhere,
// asked once per exception) the dialog and the sending are
// handed to a reporter process (reporter_request.h), once the report is in
// the log. The screenshot is then taken from the handler's thread while the
// program's windows are still there, and travels in the request.

#include <cstdint>
#include <string>

#include "crashreport/core/options/crashbox_options.h"

namespace cv {

struct TExceptionDialogHost;
struct TReporterRequest;

class TCrashReportDialogs {
public:
    // Make it on the GUI thread, after the application object (and let it go before).
    TCrashReportDialogs();
    ~TCrashReportDialogs();
    TCrashReportDialogs(const TCrashReportDialogs&) = delete;
    TCrashReportDialogs& operator=(const TCrashReportDialogs&) = delete;
};

// The dialogs' view of the exception being handled: its options, message,
// count, texts, lists and events.
TExceptionDialogHost CurrentDialogHost();
// A request for a reporter process of the exception being handled, with
// the dialog of that kind and the text to send.
TReporterRequest CurrentReporterRequest(TExceptionDialogType dialogType, const std::string& sendText);
// The program has a GUI thread and it cannot run a dialog now (see above).
// Never on the GUI thread itself, nor in a program without one.
bool GuiThreadUnreachable();

} // namespace cv
