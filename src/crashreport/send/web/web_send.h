#pragma once
// The web step of sending a report: it takes the transport's arguments from
// the options, uploads the report archive by HTTP, HTTPS or FTP or files it
// in a bug tracker, adds the library's own web fields, turns the
// transport's answer into the step's result and records a failure as the
// internal warning of its kind (eeWebHTTPError, eeWebHTTPSError,
// eeWebFTPError, eeWebTrakerError). Nothing is raised to the caller.
//
// The report being sent (its options and file state) and the send-progress
// dialog come from send_context.h. The send in progress (the attachment
// list, the custom web fields, the step's flags) and what only the report
// sender above this library knows (the program's custom-web-fields
// handlers, message boxes, the last exception and the program's version)
// reach the step through TWebSendContext.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/send/web/bug_trackers.h"
#include "crashreport/send/web/web_upload.h"

namespace cv {

// The flags of the success box: information icon, task-modal, top-most, service notification.
constexpr unsigned kSendSuccessBoxFlags = 0x242040;

// The web step's connection: the options' URL split into its parts, with
// the options' own port, user name and password; the upload writes its
// error text into it.
struct TWebConnectionRecord : TConnectionURLParts {
    std::string ErrorText;
};

struct TWebSendContext {
    // --- The send in progress ---
    std::vector<std::string> AttachedFiles; // in practice the one archive
    TNameValueList CustomWebFields;         // name=value, filled by the request below
    bool StepFlag = false;                  // set true by a successful transport
    bool MessageShown = false;              // set when the bug-closed message was shown

    // --- The report sender's services (each may be empty) ---
    // Runs the program's custom-web-fields handlers on the list.
    std::function<void(TNameValueList& fields)> RequestCustomWebFields;
    std::function<int(const std::string& caption, const std::string& text, unsigned flags)> MessageBox;

    // --- The last exception and the program ---
    std::string ExceptionClass;
    std::string ExceptionMessage;
    std::string ExceptionID; // four hexadecimal digits
    std::string AppVersion;
};

// The record of the options' web URL, port, user name and password.
TWebConnectionRecord WebConnectionRecord(const TCrashboxModuleOptions& options);
// URL with the port (PortText in decimal; none when empty) and the
// credentials put in as AddURLPortAndCredentials does. A PortText that is
// no number raises EConvertError.
std::string MakeConnectionRecord(const std::string& URL, const std::string& User, const std::string& Password,
                                 const std::string& PortText);

// The transport of the report options' web send mode; true for any mode without one.
bool SendReportByWebTransport(TWebSendContext& context);
bool SendReportByHTTP(TWebSendContext& context, TWebConnectionRecord& record);
bool SendReportByFTP(TWebSendContext& context, TWebConnectionRecord& record);
bool SendReportToBugTracker(TWebSendContext& context);

// Appends "FogBugzTrialID", "EL_OSType", "EL_OSBuild" and "EL_ReproduceText".
void AddCustomWebFields(const TCrashboxModuleOptions& options, TNameValueList& Fields);
// Error 0 sets the step flag; any other is recorded as the warning
// "<Tag> error code: <Error><detail>".
void ReportWebUploadResult(TWebSendContext& context, TCrashboxErrorCode Code, const std::string& Tag, int32_t Error,
                           const TWebConnectionRecord& record);
// srOK and srBugClosed set the step flag; any other result is recorded with
// its message, then "Error Code: ..." and "Error Message: ..." of the answer.
void ReportTrackerResult(TWebSendContext& context, TSendResult Result, const THTTPResponse& Response);
// The message type of a failed tracker post.
TMessageType TrackerResultMessage(TSendResult result);

} // namespace cv
