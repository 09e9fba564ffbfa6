#pragma once
// Filing the report in a web bug tracker the way a person would, through
// the tracker's own pages: log in, choose the project, search for a bug
// that already carries this error, then either file a new bug with the
// report attached or update the one found (raising the repeat count in its
// title). One uploader per tracker: Mantis, Bugzilla and FogBugz. Each runs
// on a connection of the class it is given (http_connection.h) and reads
// the returned forms with the form scanner (html_forms.h).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "crashreport/send/web/http_connection.h"

namespace cv {

enum TSendResult : uint8_t {
    srOK,
    srBugClosed, // the matching bug is resolved or closed; nothing was changed
    srUnknownError,
    srInvalidLogin,
    srInvalidSelection, // project or form not reachable
    srInvalidSearch,
    srInvalidInsert,
    srInvalidModify
};

// What PostBug files (texts 8-bit).
struct TBugReportInputs {
    std::string Version;        // the application's version
    std::string ExceptionClass;
    std::string ExceptionID;    // the report's error ID
    std::string ErrorMessage;   // the bug's description
    std::string Project;
    std::string Category;
    std::string AssignTo;       // may be empty
    std::string UserName, Password; // tracker login
    std::string URL;            // the tracker's base URL (with port and credentials)
    std::string Proxy;          // host:port, or empty
    std::string AttachedFile;   // the packed report; may be empty
    // name=value lines; the last four are "FogBugzTrialID", "EL_OSType",
    // "EL_OSBuild" and "EL_ReproduceText" (the user's own fields come first).
    TNameValueList WebFields;

    // "[v" + Version + " - 1]: " + class + " (" + ID + ")", and class + " (" + ID + ")".
    std::string Title() const;
    std::string SearchText() const;
    std::string ReproduceText() const;
};

class THTTPSendReport {
public:
    virtual ~THTTPSendReport() = default;
    void SetHTTPConnectionClass(THTTPConnectionClass connectionClass) { FHTTPConnectionClass = std::move(connectionClass); }
    // One whole exchange: connect, log in, the path's requests, disconnect
    // (also on failure). Response receives each answer. An exception from
    // the connection (it could not be made) passes to the caller.
    virtual TSendResult PostBug(const TBugReportInputs& inputs, THTTPResponse& Response) = 0;

protected:
    THTTPConnectionClass FHTTPConnectionClass;
};

class THTTPMantisSendReport : public THTTPSendReport {
public:
    TSendResult PostBug(const TBugReportInputs& inputs, THTTPResponse& Response) override;
};

class THTTPBugzillaSendReport : public THTTPSendReport {
public:
    TSendResult PostBug(const TBugReportInputs& inputs, THTTPResponse& Response) override;
};

class THTTPFogBugzSendReport : public THTTPSendReport {
public:
    TSendResult PostBug(const TBugReportInputs& inputs, THTTPResponse& Response) override;
};

// The kind of uploader to make.
using THTTPSendReportClass = std::function<std::unique_ptr<THTTPSendReport>()>;
template <typename T>
THTTPSendReportClass SendReportClass()
{
    return [] { return std::make_unique<T>(); };
}

// Makes the uploader, gives it the connection class, posts and frees it.
TSendResult PostBugReport(const THTTPConnectionClass& ConnectionClass, const THTTPSendReportClass& ReportClass,
                          const TBugReportInputs& inputs, THTTPResponse& Response);

} // namespace cv
