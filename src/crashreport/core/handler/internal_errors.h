#pragma once
// The crash-report library must not crash while it reports a crash. Its own
// failures are handled here:
// - a warning record for a failed reporting step (showing, logging, each way
//   of sending), kept as the library's last error and traced to the debugger
//   output (standard error here);
// - the internal-error handler for an unexpected exception inside one of the
//   library's sections: when a developer is watching (a debugger, or the
//   development environment as host), it writes a bug report file beside the
//   program (its name with ".log") and offers to mail it;
// - the one shared report-log object that the report steps write through.
//
// The services the handler needs from parts of the library that sit above
// this one (message boxes, the mail client, the send-progress dialog, the
// address lookup, the handler's current exception) are bound through
// SetInternalErrorServices; until they are, the boxes go to standard error
// and answer "no".

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

class TLogFile;

enum TCrashboxErrorCode : uint8_t {
    eeNone,
    eeShowError,
    eeLogError,
    eeEmailMAPIError,
    eeEmailShellError,
    eeEmailSMTPError,
    eeWebHTTPError,
    eeWebHTTPSError,
    eeWebFTPError,
    eeWebTrakerError
};
// The enumeration name ("eeEmailSMTPError").
const char* CrashboxErrorCodeName(TCrashboxErrorCode code);

struct TInternalWarning {
    TCrashboxErrorCode Code = eeNone;
    std::string Message;
};

// Message-box answers and flags as the handler uses them.
enum : int { kMessageBoxOK = 1, kMessageBoxYes = 6, kMessageBoxNo = 7 };
constexpr unsigned kWarningBoxFlags = 0x242010;     // error icon, task-modal, top-most, service notification
constexpr unsigned kInternalBugBoxFlags = 0x242014; // the same with yes/no
constexpr unsigned kInformationBoxFlags = 0x242030; // warning icon, task-modal, top-most, service notification

struct TInternalErrorServices {
    // The debugger's output (standard error when unset).
    std::function<void(const std::string& text)> DebugOutput;
    // A message box; answers kMessageBoxYes/No/OK.
    std::function<int(const std::string& caption, const std::string& text, unsigned flags)> MessageBox;
    // Whether the send-progress dialog is open.
    std::function<bool()> SendDialogOpen;
    // Sends a file through the user's mail client.
    std::function<bool(const std::string& to, const std::string& subject, const std::string& body, const std::string& attachment)>
        SendEmailByMAPI;
    // The address of the exception being handled, and the class name of the
    // last exception object the library handled (empty when gone).
    std::function<uintptr_t()> CurrentExceptionAddress;
    std::function<std::string()> LastExceptionClassName;
    // The location of a code address (module, unit, class, procedure, line).
    std::function<bool(uintptr_t address, TCrashboxDebugInfo& info)> FillDebugInfoForAddress;
    // Whether a debugger watches the process, and the program runs inside the development environment.
    std::function<bool()> DebuggerPresent;
    std::function<bool()> IDEHost;
    // Where the bug report goes (the program's file name with ".log" when unset).
    std::function<std::string()> BugReportFileName;
};
void SetInternalErrorServices(TInternalErrorServices services);

// The vendor's address for internal bug reports.
extern const char* const kCrashboxSupportEmail;

// Stores the warning as the last one and traces it; shows it in a box while
// the send-progress dialog is open when it is a failure of sending by SMTP,
// HTTP, HTTPS, FTP or a bug tracker.
void LogInternalWarning(TCrashboxErrorCode code, const std::string& message);
void ClearInternalWarning();
TInternalWarning LastInternalWarning();
// Inside a catch block: the current exception as the warning of a failed step.
void LogStepWarning(TCrashboxErrorCode code, const std::string& stepName);

// Inside a catch block that guards one of the library's sections.
void HandleInternalError(const std::string& sectionName);
// The bug report's text for an exception at an address (the handler's steps 4 to 7).
std::string InternalBugReport(const std::string& sectionName, const TExceptionObject& exception, uintptr_t address);
// One location line: "$address - [module base] module - unit - class - procedure - line[offset]".
std::string FormatInternalStackLine(uintptr_t address);
// Where a code address lies (module, unit, class, procedure, line); false
// when nothing is known of it.
using TInternalLocate = std::function<bool(uintptr_t address, TCrashboxDebugInfo& info)>;
// The calling thread's call stack, up to 31 entries, one line each:
// "NN $ADDRESS - [MODULE BASE] module file " and, where `locate` knows the
// line, "- unit - class - procedure - line[offset]"; every line after the
// first indented by 12 blanks (the internal error log's form).
std::string CallStackToInternalText(const TInternalLocate& locate = {});

// The shared log object for the options' current log file: made when first
// asked for, made again when the name changed.
TLogFile& OpenSharedLogFile(const TCrashboxModuleOptions& options);
void CloseSharedLogFile();

} // namespace cv
