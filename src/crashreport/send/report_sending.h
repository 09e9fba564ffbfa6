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
// The program's handlers are reached through the exception handler's events
// (crashbox_events.h), on the thread that raised the exception
// (RunInExceptionThread), with the handler's record of the exception.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/exception_object.h"

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

// --- The send ---

// Sends now, or starts a send thread and returns at once.
void SendErrorReport(const TReportToSend& report);
// The send itself on the calling thread: both steps, the message and the
// clean-up of the send's files. True when every step that ran succeeded.
bool DoSendErrorReport(const TReportToSend& report);
// The after-steps (FinishReportSending, FreeLastCallStack,
// TerminateOrRestartIfRequested) are the handler's (exception_handler.h): a
// send thread runs them itself; after a send on the calling thread the
// handler does.

// Waits until no send thread runs (at the end of the program, or of a
// test), at most `limit`; on the GUI thread it serves the thread's events
// meanwhile. False when a send thread still runs after the limit.
bool WaitForReportSending(std::chrono::milliseconds limit = std::chrono::milliseconds::max());

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
// the names of files that do not exist, leaves out those that cannot go
// (AttachmentLeftOutReason; a note naming them goes in their place), zips
// them and leaves the list naming the archive alone.
void PrepareAttachments(bool forEmail);
// Why a file cannot go with a report: it is not a regular file (a pipe or a
// device, whose reading might never end), or larger than
// kMaxAttachedFileSize; empty when it can.
inline constexpr uint64_t kMaxAttachedFileSize = 64ull * 1024 * 1024;
std::string AttachmentLeftOutReason(const std::string& fileName);
// The note that names the files left out, in the report's folder.
std::string LeftOutFilesName(const std::string& folder);
// With at least one file: the archive made anew (its user's alone), each
// file that can go under its name without folder, in list order. With
// none, nothing is written.
void ZipAttachments(const std::string& zipName, const std::string& password, const std::vector<std::string>& files);
// Where a report that did not go is kept: the log's folder and the
// archive's name with the options' stamps.
std::string GetCompressedCopyName(const TCrashboxModuleOptions& options, const TReportFileState& state);
// A name GetCompressedCopyName makes on this computer: "BugReport", then
// "__" and the computer's name, then "__" and a date stamp
// (yyyymmddhhnnss), each when the options ask for it, and ".zip".
bool IsCompressedCopyName(std::string_view name, std::string_view computerName);
// Keeps the ten last compressed copies of the folder in name order (letter
// case ignored) and deletes the others; no other file of the folder is
// touched.
void PruneCompressedCopies(const std::string& folder, const std::string& computerName);
// The attachment list of the send in progress.
std::vector<std::string> SendAttachedFiles();

// --- The send thread ---

// Runs one send on a thread of its own, then the after-steps; frees itself
// when done. Its sends are serialised by the send lock. While it runs, the
// handler's record of the exception points at the thread's own copy of the
// exception object. When no thread can start (a limit of threads or of
// memory), the send is made on the calling thread before Start returns,
// and the handler is told (NoteSendMadeHere): it makes the after-steps, as
// after a send without a thread of its own.
class TSendThread {
public:
    // Takes the report (whose Options are `options`, whose files lie in
    // `folder`, removed at the end) and starts at once.
    static void Start(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options,
                      std::unique_ptr<TReportFolder> folder);

    TSendThread(std::unique_ptr<TReportToSend> report, std::unique_ptr<TCrashboxModuleOptions> options,
                std::unique_ptr<TReportFolder> folder);
    // The send, then the after-steps.
    void Execute();

private:
    void Send();
    // The send on the calling thread: the handler's record gets its own
    // exception object back after it.
    void SendHere();

    std::unique_ptr<TReportToSend> m_report;
    std::unique_ptr<TCrashboxModuleOptions> m_options;
    std::unique_ptr<TReportFolder> m_folder;
    TCrashboxExceptionRecord* m_record = nullptr;
    const TExceptionObject* m_handlerObject = nullptr; // the record's object before the copy
    std::unique_ptr<TExceptionObject> m_object;
};

} // namespace cv
