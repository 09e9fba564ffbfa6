#pragma once
// The main exception handler: ExceptNotify, the gate every door calls, and
// ProcessException, the work for one exception.
//
// ExceptNotify lets one exception at a time through (a process-wide lock)
// and hands the work to a TExceptionThread (exception_thread.h) while the
// raising thread waits, serving the procedures posted to it
// (RunInExceptionThread) and, on the GUI thread, the window system's events.
// A fatal signal is handled on the report thread made at start-up, which
// calls ExceptNotify for the thread that faulted: the work then runs there
// directly (the faulting thread waits inside its signal handler and can
// serve nothing).
//
// ProcessException chooses the options, consults the filters, builds the
// call stacks of the threads (the others paused meanwhile), builds the
// report text, runs the events (crashbox_events.h) on the raising thread,
// shows the dialog (or writes the report to standard output), appends the
// report to the log, hands it to sending and finally ends or restarts the
// program when that was asked for. A failure of one of its steps never ends
// the handling: it is recorded as an internal error with the step's number
// (HandlerStep).

#include <QRect>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ucontext.h>

#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/report/report_text.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/exception_object.h"

namespace cv {

enum TAsynchronousException : uint8_t { aeNone, aeSafeCall, aeSynchronize };

// The prefix of a message of an exception already reported where it arose.
inline constexpr const char* kSafeCallPrefix = "[SafeCall Exception]: ";

// --- The gate ---

// Parameters in the order the doors know them; the record, the context and
// the stack bounds null or 0 when unknown. raisingThread: the thread that
// raised the exception when the caller is another one (the report thread of
// a fatal signal, the watchdog); 0: the caller. True when the runtime's own
// handling must run too.
bool ExceptNotify(const TExceptionObject& exceptionObject, uintptr_t exceptionAddress, bool nativeException,
                  std::unique_ptr<TCrashboxStackList> callStack, bool handled, TAsynchronousException asynchronous,
                  uintptr_t moduleHandle, TRaiserType raiserType, const siginfo_t* exceptionRecord,
                  const ucontext_t* context, uintptr_t stackPoint, uintptr_t topOfStack, uint32_t raisingThread = 0);

// The work for one exception (on the exception thread, or directly).
bool ProcessException(const TExceptionObject& exceptionObject, uintptr_t exceptionAddress, bool nativeException,
                      TExceptNotifyParams& params, TRaiserType raiserType, uintptr_t moduleHandle,
                      TAsynchronousException asynchronous);

// Runs procedure on the thread that raised the exception being handled (it
// waits in ExceptNotify and runs what is posted to it); directly when no
// exception is being handled, when the caller is that thread, or when that
// thread cannot serve (a fatal signal). Does nothing while handling is
// disabled. An exception or fault of the procedure ends only the procedure:
// false then, and the failure is recorded as an internal error.
bool RunInExceptionThread(const std::function<void()>& procedure);
// The program's main (window) thread raised the exception being handled
// and serves what RunInExceptionThread posts to it, for a caller on another
// thread. Not for a fatal signal: that thread waits inside its signal handler.
bool MainThreadServesPosted();
// Runs the procedure on the application object's thread and waits for it:
// here when this is that thread (or there is no application object);
// posted to it when it waits for the handling (MainThreadServesPosted);
// else through a blocking queued call, which needs that thread to serve its
// events.
void RunOnApplicationThread(const std::function<void()>& procedure);

// --- The state of the handler (one set per process) ---

// The exception being handled (or the last one), handed to every event.
TCrashboxExceptionRecord& LastExceptionRecord();
// LastExceptionRecord while an exception is being handled, else null.
TCrashboxExceptionRecord* ActiveExceptionRecord();
// The options the handler fills for the exception being handled.
TCrashboxModuleOptions& CurrentOptions();
// The call stacks of the current exception (all threads), or null.
TCrashboxStackList* LastCallStack();
void FreeLastCallStack();
// Four upper-case hexadecimal digits: the CRC-16 of the error's places.
std::string ErrorID();
// The step the handler is at (the number an internal error records).
int32_t HandlerStep();
// Exceptions that reached the report stage.
uint32_t ExceptionCount();
// The number of the exception being handled (or last handled), counted
// from 1 as each one comes in: what holds for one exception's report only.
uint32_t HandlingNumber();
// The report text of the current exception, and the text to send (the
// report, or the whole log).
std::string LastReportText();
std::string LastSendText();
// The pieces of the current report (what the dialogs' pages show), and
// when the exception came.
TReportText LastReportPieces();
TDateTime LastExceptionTime();
// The exception is handled on the calling thread (no exception thread).
bool DirectMode();
// The send step made the send on the handler's thread although the options
// give it a thread of its own (none could start): the handler finishes the
// send and ends or restarts the program as after a send without one.
void NoteSendMadeHere();
// The current error was in the log already (a duplicate): what the logging
// step found before it appended the report, once it ran (the report itself
// is in the log then); the log's answer before.
bool ErrorIsDuplicate();
// Set during shutdown: RunInExceptionThread does nothing.
bool HandlingDisabled();
void SetHandlingDisabled(bool disabled);
// The times of the last errors (for AutoCrashOperation), oldest first.
std::vector<TDateTime> ErrorTimes();
// The modules list of this module and the options of the module with that
// handle (null when it has no entry).
TCrashboxModulesList* HandlerModulesList();
TCrashboxModuleOptions* OptionsOfModule(uintptr_t moduleHandle);

// --- Operations ---

// Asks for termination (or restart) once the handling is done.
void SetTerminateOperation(TTerminateBtnOperation operation);
// The message that replaces the exception's in dialogs and reports (a
// filter may set it); GetErrorMessage gives it, else the exception's own.
void SetCustomErrorMessage(const std::string& text);
std::string GetErrorMessage();
// A section inserted after the report's first header, into the report and
// LogText: one text item, or one item per "name=value" line.
void AddCustomTextSection(const std::string& header, const std::string& text);
void AddCustomDataSection(const std::string& header, const std::vector<std::string>& lines);

// The after-steps of a report (a send thread runs them itself, with its own
// copy of the options and the report's folder it took): the screenshot
// file goes, with the report's folder and all left in it, and
// AutoCrashOperation is applied when the errors came too often; then
// termination or restart when asked for (this does not return then).
void FinishReportSending(const TCrashboxModuleOptions& options = CurrentOptions(),
                         std::unique_ptr<TReportFolder> folder = TakeReportFolder());
void TerminateOrRestartIfRequested(const TCrashboxModuleOptions& options = CurrentOptions());

// --- Pieces of the work, shared with the tests ---

// The error ID of a call stack: application name, module name and class
// name, then for each entry of the thread with full source detail its unit,
// class, procedure and line offset; the text's CRC-16.
std::string ComputeErrorID(const std::string& applicationName, const std::string& moduleName,
                           const std::string& className, const TCrashboxStackList* callStack, uint32_t threadID);
// The environment variables of a report ("_MainModuleName" and the rest).
struct TReportEnvironment {
    std::string MainModuleName, MainModuleDesc, MainModuleVer;
    std::string ExceptModuleName, ExceptModuleDesc, ExceptModuleVer;
    std::string ExceptMsg, BugReport;
};
void SetReportEnvironment(const TReportEnvironment& environment);
// The error times after one more error at now (at most keep of them).
void AddErrorTime(std::vector<TDateTime>& times, TDateTime now, int32_t keep);
// Whether the errors came too often: exactly `number` of them within `minutes`.
bool ErrorsCameTooOften(const std::vector<TDateTime>& times, int32_t number, int32_t minutes);

// A part of the handling failed with a fault or exception of its own: it is
// recorded with the step's number, and a report built but not yet in the
// log is appended now (the first report is never lost).
void RecordHandlingFailure(int signal);
// A receiver of an event failed (signal 0: an exception): recorded the same
// way; the handling goes on with the next receiver.
void RecordHandlerFault(int signal);
// A fault of another thread that came while a report is being made (its
// class, message, signal, thread and address): named in the report's entry
// (item "2.10", the note), on disk at once when the entry is stored
// already. False when no report is in progress, or its final save has
// begun (the fault then gets an entry of its own once the report is done).
bool NoteFaultInReportInProgress(const std::string& note);
std::string FaultNote(const TExceptionObject& object, uint32_t threadID, uintptr_t address);
// Where the report of the current exception is not kept where the options
// name the log: why, and where it is instead, or that it is nowhere (the
// words the dialogs add to the message); empty when it is where it should be.
std::string ReportLogProblem();
// The class and message of the exception equal those of the last one the
// handler reported (a fatal signal that follows is not reported again).
bool SameAsLastHandledException(const TExceptionObject& object);
// Returns once no other thread's exception is being handled: a thread that
// ends the program must not cut another thread's report short.
void WaitForReportInProgress();
// Ends the process with exit code 1, as after an exception nothing catches:
// once no report is being made and a report sent on a thread of its own
// has gone (or had its time).
[[noreturn]] void EndProgramAfterReport();
// A fault on the thread that waits in ExceptNotify (inside its dialog, or
// an event of the program run there) ended a guarded call: the frames in
// between (a dialog's event loop, the program's handler) were left without
// being unwound, and the thread cannot go back into the program. Once the
// report is done, ExceptNotify ends the process (EndProgramAfterReport)
// instead of returning; until then the thread serves no more window events.
void NoteFramesLeftByFault();
bool FramesLeftByFault();
// The call stack of the thread from the stack copied at the throw of the
// exception at address, when that copy is the thread's; null otherwise.
std::unique_ptr<TCrashboxStackList> CallStackFromRaiseCopy(uintptr_t address, uint32_t threadID);

// --- LeakReserve ---

// 5 MB of address space kept without access, let go while an exception is
// handled, so that handling an exhausted memory still finds room.
void ReserveLeakReserve();
void ReleaseLeakReserve();
bool LeakReserveHeld();
// The file descriptors a report needs, held back again (descriptor_reserve.h).
void HoldReportDescriptors();

// --- What lies above the core (bound by the program) ---

struct TExceptionHandlerServices {
    // The exception dialog of the kind in the dialog state
    // (ExceptionDialogState().DialogType), on the raising thread. firstTime:
    // the first call for this exception. Unset: the dialogs are not there,
    // and the handler writes the report to standard output instead.
    std::function<void(bool firstTime)> ShowExceptionDialog;
    // Asks the user how to reproduce the error (stores it as ReproduceText).
    std::function<void()> ShowReproduceDialog;
    // The screenshot: taken before the dialog, saved as PNG, forgotten.
    std::function<void()> CaptureScreenshot;
    std::function<void(const std::string& fileName)> SaveScreenshot;
    std::function<void()> FreeScreenshot;
    // The report is in the log (or could not be put there); sendFollows:
    // SendErrorReport comes next.
    std::function<void(bool sendFollows)> ReportLogged;
    // Sends the report as the current options say. Unset: sending is not
    // available (recorded as the internal warning).
    std::function<void()> SendErrorReport;
    std::function<void(const std::string& text)> CopyTextToClipboard;
    // Waits, at most the time given, until no report is being sent on a
    // thread of its own (before the program ends); false when one still is.
    std::function<bool(std::chrono::milliseconds limit)> WaitForReportSending;
    // Brings the program's main window back when it is minimised.
    std::function<void()> RestoreMainWindow;
    // Serves the GUI thread's pending events while it waits for the
    // exception thread (a few at a time; input is dropped).
    std::function<void()> PumpMessages;
    // The work area of the monitor of the foreground window.
    std::function<QRect()> ForegroundWorkArea;
    // A program with windows (not a console or web program).
    std::function<bool()> WindowedProgram;
    // The focused control's class name and text.
    std::function<std::pair<std::string, std::string>()> FocusedControl;
    // A web program's answer: the error page with the message.
    std::function<void(const std::string& message)> WriteWebErrorPage;
};
void SetExceptionHandlerServices(TExceptionHandlerServices services);
const TExceptionHandlerServices& ExceptionHandlerServices();

// Start-up and shutdown of the handler's state (exception_log.cpp).
void InitExceptionHandler();
void DoneExceptionHandler();

} // namespace cv
