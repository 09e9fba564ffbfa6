#pragma once
// Sending a report once it has been logged: the files to send packed into
// one zip archive, an e-mail step and a web step as the options choose
// (either, both or none), the program's handlers told before and after
// each step and asked whether a failed step should run again, the
// send-progress dialog kept informed, the success or failure message, a
// compressed copy of a report that did not go, and afterwards the rule that
// ends or restarts a program that keeps failing.
//
// A send runs on the calling thread, or on a send thread of its own that
// returns at once (sndSendInSeparatedThread, unless the handler keeps
// everything on one thread). Sends made by send threads never overlap.
//
// What sending needs of the exception handler (the events, running code on
// the raising thread, the error times, termination) comes through
// TReportSenderServices; every service has a plain default, so sending works
// before a handler is bound (the events then reach the event cells of
// crashbox_events.h directly).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/core/crashbox_options.h"
#include "crashreport/core/crashbox_records.h"
#include "crashreport/core/exception_object.h"
#include "crashreport/core/report_files.h"

namespace cv {

// What the handler hands over for one send.
struct TReportToSend {
    // The options of this exception (never null when a send starts); the
    // program's handlers may change them during the send. A send thread
    // works on its own copy of them.
    TCrashboxModuleOptions* Options = nullptr;
    // The report's file state; its ReportText is the report text of this error.
    TReportFileState State;
    // The text to send: the report, or the whole log with sndSendEntireLog.
    std::string LogText;
    // The page a web program was answering (when one was captured).
    std::string LastHTMLPage;
    // What a bug tracker files: the exception's class and message, the
    // error ID (four hexadecimal digits) and the program's version.
    std::string ExceptionClass;
    std::string ExceptionMessage;
    std::string ExceptionID;
    std::string AppVersion;
};

struct TReportSenderServices {
    // Runs a procedure on the thread that raised the exception (directly when unset).
    std::function<void(const std::function<void()>& procedure)> RunInExceptionThread;
    // The events, every receiver in turn (action codes of crashbox_events.h).
    // Unset: the event cells, with a record of the report being sent.
    std::function<void(uint8_t action, bool& execute)> ActionNotify;
    std::function<void(uint8_t action, bool& retry)> ErrorNotify;
    // The program's handlers may add files to send (none when unset).
    std::function<void(std::vector<std::string>& files)> AttachedFilesRequest;
    // ... and fields to a web upload (name=value lines; none when unset).
    std::function<void(std::vector<std::string>& fields)> CustomWebFieldsRequest;
    // The handler keeps everything on the calling thread (false when unset).
    std::function<bool()> SingleThreadMode;
    // The times of the last errors (date-times written with "." as decimal
    // separator), oldest first (none when unset).
    std::function<std::vector<std::string>()> ErrorTimes;
    // Asks for the program's end (tbTerminate) or restart (tbRestart) after
    // the handling; whether that was asked (unset: the dialog state's flag,
    // and the operation kept here).
    std::function<void(TTerminateBtnOperation operation)> SetTerminateOperation;
    std::function<bool()> TerminateRequested;
    // Ends the program, starting it again first when asked; does not return
    // (unset: RestartOrTerminate of window_services.h).
    std::function<void(bool restart)> RestartOrTerminate;
    // Puts the report text on the clipboard (unset: CopyTextToClipboard of window_services.h).
    std::function<void(const std::string& text)> CopyTextToClipboard;
    // Frees the call stacks of the last exception (nothing when unset).
    std::function<void()> FreeLastCallStack;
    // The record of the exception being handled, whose ExceptionObject a
    // send thread replaces by its own copy while it runs (none when unset).
    std::function<TCrashboxExceptionRecord*()> LastExceptionRecord;
};
// Binds the handler's services (all of them at once; empty ones take their default).
void SetReportSenderServices(TReportSenderServices services);

// --- The send ---

// Sends now, or starts a send thread and returns at once.
void SendErrorReport(const TReportToSend& report);
// The send itself on the calling thread: both steps, the message and the
// clean-up of the send's files. True when every step that ran succeeded.
bool DoSendErrorReport(const TReportToSend& report);
// The after-steps: a send thread runs them itself; after a send on the
// calling thread the handler calls them.
void FinishReportSending(TCrashboxModuleOptions& options);
void FreeLastCallStack();
void TerminateOrRestartIfRequested(const TCrashboxModuleOptions& options);
// Waits until no send thread runs (at the end of the program, or of a
// test); on the GUI thread it serves the thread's events meanwhile.
void WaitForReportSending();

// --- The steps (within a send) ---

// The e-mail step and the web step, with their notifications (4 and 5, 6 and
// 7) and the retries the error event asks for.
bool SendReportByEmail();
bool SendReportByWeb();
// With AppendLogs: three line breaks and the log text; else empty.
std::string AppendLogToBody();

// --- The files ---

// Writes the text to send into the temporary log copy, ending it with three
// line breaks when it does not end so.
void WriteTempLogFile();
// Fills the attachment list (the program's handlers may change it), drops
// the names of files that do not exist, zips them and leaves the list
// naming the archive alone.
void PrepareAttachments(bool forEmail);
// With at least one file: the archive made anew, each file under its name
// without folder, in list order. With none, nothing is written.
void ZipAttachments(const std::string& zipName, const std::string& password, const std::vector<std::string>& files);
// Where a report that did not go is kept: the log's folder and the
// archive's name with the options' stamps.
std::string GetCompressedCopyName(const TCrashboxModuleOptions& options, const TReportFileState& state);
// Keeps the ten last ".zip" files of the folder in name order (letter case
// ignored) and deletes the others.
void PruneCompressedCopies(const std::string& folder);
// The attachment list of the send in progress.
std::vector<std::string> SendAttachedFiles();

// --- The send thread ---

// Runs one send on a thread of its own, then the after-steps; frees itself
// when done. Its sends are serialised by the send lock. While it runs, the
// handler's record of the exception points at the thread's own copy of the
// exception object.
class TSendThread {
public:
    // Takes the report (whose Options are `options`) and starts at once.
    static void Start(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options);

    TSendThread(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options);
    void Execute();

private:
    std::unique_ptr<TReportToSend> m_report;
    std::unique_ptr<TCrashboxModuleOptions> m_options;
    TCrashboxExceptionRecord* m_record = nullptr;
    std::unique_ptr<TExceptionObject> m_object;
};

} // namespace cv
