#include "crashreport/send/web/web_send.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/text_routines.h"
#include "crashreport/core/support/report_helpers.h"
#include "crashreport/send/context/send_context.h"

namespace cv {

namespace {

// The transfer library the uploads need, named when it cannot be used.
constexpr const char* kTransferLibraryName = "libcurl";

void RequestFields(TWebSendContext& context)
{
    if (context.RequestCustomWebFields)
        context.RequestCustomWebFields(context.CustomWebFields);
}

void UseProxyOfOptions(const TCrashboxModuleOptions& options)
{
    SetUploadProxy(options.ProxyURL(), options.ProxyPort());
    SetUploadProxyAuth(options.ProxyUserID(), options.ProxyPassword());
}

// The names the files are uploaded under, with the stamps the options ask for.
std::vector<std::string> UploadNames(const TWebSendContext& context)
{
    const TReportFileState state = ReportFileState();
    std::vector<std::string> names;
    for (const std::string& file : context.AttachedFiles)
        names.push_back(AttachmentName(ReportOptions(), file, state));
    return names;
}

// The progress of the plain uploads, on the send-progress dialog.
void ShowTransferState(uint8_t stage, uint32_t total, uint32_t done) { ReportWebTransferState(stage, total, done); }

THTTPSendReportClass TrackerClass(TWebSendMode mode)
{
    switch (mode) {
    case wsmBugZilla:
        return SendReportClass<THTTPBugzillaSendReport>();
    case wsmFogBugz:
        return SendReportClass<THTTPFogBugzSendReport>();
    default:
        return SendReportClass<THTTPMantisSendReport>();
    }
}

} // namespace

TWebConnectionRecord WebConnectionRecord(const TCrashboxModuleOptions& options)
{
    TWebConnectionRecord record;
    static_cast<TConnectionURLParts&>(record) = ParseConnectionURL(options.WebURL());
    record.Port = uint16_t(options.WebPort());
    record.UserName = options.WebUserID();
    record.Password = options.WebPassword();
    return record;
}

std::string MakeConnectionRecord(const std::string& URL, const std::string& User, const std::string& Password,
                                 const std::string& PortText)
{
    uint16_t port = 0;
    if (!PortText.empty()) {
        const std::string digits = TrimA(PortText);
        const bool number = !digits.empty() && digits.size() <= 5 &&
                            std::all_of(digits.begin(), digits.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
                            std::stoul(digits) <= 65535;
        if (!number)
            throw EConvertError("'" + PortText + "' is not a valid port number");
        port = uint16_t(std::stoul(digits));
    }
    std::string record = URL;
    AddURLPortAndCredentials(record, User, Password, port);
    return record;
}

void AddCustomWebFields(const TCrashboxModuleOptions& options, TNameValueList& Fields)
{
    Fields.push_back("FogBugzTrialID=" + options.TrakerTrialID());
    Fields.push_back("EL_OSType=" + GetWindowsVersionName());
    Fields.push_back("EL_OSBuild=" + GetWindowsBuildNumber());
    Fields.push_back("EL_ReproduceText=" + options.ReproduceText());
}

void ReportWebUploadResult(TWebSendContext& context, TCrashboxErrorCode Code, const std::string& Tag, int32_t Error,
                           const TWebConnectionRecord& record)
{
    if (Error == 0) {
        context.StepFlag = true;
        return;
    }
    std::string detail;
    if (Error == kUploadNoLibrary)
        detail = std::string(" - Cannot find the \"") + kTransferLibraryName + "\" library.";
    else if (!record.ErrorText.empty())
        detail = " (" + record.ErrorText + ")";
    LogInternalWarning(Code, Tag + " error code: " + std::to_string(Error) + detail);
}

TMessageType TrackerResultMessage(TSendResult result)
{
    switch (result) {
    case srInvalidLogin:
        return mtSend_InvalidLoginMsg;
    case srInvalidSelection:
        return mtSend_InvalidSelectionMsg;
    case srInvalidSearch:
        return mtSend_InvalidSearchMsg;
    case srInvalidInsert:
        return mtSend_InvalidInsertMsg;
    case srInvalidModify:
        return mtSend_InvalidModifyMsg;
    default:
        return mtSend_UnknownErrorMsg;
    }
}

void ReportTrackerResult(TWebSendContext& context, TSendResult Result, const THTTPResponse& Response)
{
    if (Result == srOK || Result == srBugClosed) {
        context.StepFlag = true;
        return;
    }
    const TMessageType type = TrackerResultMessage(Result);
    const std::string message = ReportOptions().GetExpandedText(type);
    LogInternalWarning(eeWebTrakerError, message + "\r\n\r\nError Code: " + std::to_string(Response.ErrorCode) +
                                             "\r\nError Message: \"" + Response.ErrorMessage + "\"");
}

bool SendReportByHTTP(TWebSendContext& context, TWebConnectionRecord& record)
{
    const TCrashboxModuleOptions& options = ReportOptions();
    RequestFields(context);
    UseProxyOfOptions(options);
    const bool https = options.WebSendMode() == wsmHTTPS;
    const TCrashboxErrorCode code = https ? eeWebHTTPSError : eeWebHTTPError;
    const std::string tag = https ? "HTTPS" : "HTTP";
    const std::vector<std::string> names = UploadNames(context);
    int32_t error = 0;
    if (!context.AttachedFiles.empty())
        error = HTTPUploadFiles(record.Host, record.Folder, record.UserName, record.ErrorText, ShowTransferState,
                                context.AttachedFiles, names, context.CustomWebFields, https, record.Port, record.Password);
    CloseSendDialog();
    ReportWebUploadResult(context, code, tag, error, record);
    return error == 0;
}

bool SendReportByFTP(TWebSendContext& context, TWebConnectionRecord& record)
{
    UseProxyOfOptions(ReportOptions());
    const std::vector<std::string> names = UploadNames(context);
    const int32_t error = FTPUploadFiles(record.Host, record.Folder, record.UserName, record.ErrorText, ShowTransferState,
                                         context.AttachedFiles, names, record.Port, record.Password);
    CloseSendDialog();
    ReportWebUploadResult(context, eeWebFTPError, "FTP", error, record);
    return error == 0;
}

bool SendReportToBugTracker(TWebSendContext& context)
{
    const TCrashboxModuleOptions& options = ReportOptions();
    TBugReportInputs inputs;
    inputs.AttachedFile = context.AttachedFiles.empty() ? std::string() : context.AttachedFiles.front();
    THTTPResponse response;
    inputs.Version = context.AppVersion;
    inputs.ExceptionClass = context.ExceptionClass;
    inputs.ErrorMessage = context.ExceptionMessage;
    inputs.ExceptionID = context.ExceptionID;
    TSendResult result = srUnknownError;
    try {
        inputs.URL = MakeConnectionRecord(options.WebURL(), options.WebUserID(), options.WebPassword(),
                                          std::to_string(options.WebPort()));
        inputs.Proxy = MakeConnectionRecord(options.ProxyURL(), options.ProxyUserID(), options.ProxyPassword(),
                                            std::to_string(options.ProxyPort()));
        RequestFields(context);
        inputs.WebFields = context.CustomWebFields;
        AddCustomWebFields(options, inputs.WebFields);
        inputs.UserName = ExpandVariables(options.TrakerUserID());
        inputs.Password = ExpandVariables(options.TrakerPassword());
        inputs.Project = ExpandVariables(options.TrakerProject());
        inputs.Category = ExpandVariables(options.TrakerCategory());
        inputs.AssignTo = ExpandVariables(options.TrakerAssignTo());
        result = PostBugReport(THTTPConnection::Class(), TrackerClass(options.WebSendMode()),
                               inputs, response);
    } catch (const std::exception& e) {
        // The connection could not be made: the step fails like any other tracker error.
        response.ErrorMessage = e.what();
        result = srUnknownError;
    }
    const bool dialogWasOpen = SendDialogExists();
    CloseSendDialog();
    if (result == srBugClosed && dialogWasOpen) {
        if (context.MessageBox)
            context.MessageBox(options.GetExpandedText(mtInformationMsgCaption), options.GetExpandedText(mtSend_BugClosedMsg),
                               kSendSuccessBoxFlags);
        context.MessageShown = true;
    }
    ReportTrackerResult(context, result, response);
    return result == srOK || result == srBugClosed;
}

bool SendReportByWebTransport(TWebSendContext& context)
{
    TWebConnectionRecord record = WebConnectionRecord(ReportOptions());
    switch (ReportOptions().WebSendMode()) {
    case wsmHTTP:
    case wsmHTTPS:
        return SendReportByHTTP(context, record);
    case wsmFTP:
        return SendReportByFTP(context, record);
    case wsmBugZilla:
    case wsmFogBugz:
    case wsmMantis:
        return SendReportToBugTracker(context);
    default:
        return true;
    }
}

} // namespace cv
