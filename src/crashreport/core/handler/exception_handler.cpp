#include "crashreport/core/handler/exception_handler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <optional>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/capture/system_facts.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/capture/thread_stacks.h"
#include "crashreport/core/capture/window_services.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/descriptor_reserve.h"
#include "crashreport/core/handler/dialog_state.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/exception_thread.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/handler/log_saving.h"
#include "crashreport/core/handler/report_helper.h"
#include "crashreport/core/handler/report_threads.h"
#include "crashreport/core/handler/signal_doors.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/options/filter_matching.h"
#include "crashreport/core/report/general_info.h"
#include "crashreport/core/report/log_file.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/report/report_process.h"
#include "crashreport/core/report/report_text.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

constexpr std::size_t kLeakReserveSize = 0x500000;
// How long a faulting thread may wait for a report that sends it (seconds).
constexpr int kSendingDeadlineSeconds = 120;
// A program that fails this soon after its restart is not restarted again (seconds).
constexpr int64_t kRestartLoopSeconds = 10;
// How long a program that ends after its report waits for the report still
// being sent on a thread of its own: longer than a send's own bounds (each
// transfer and each mail reply has its time-out).
constexpr std::chrono::milliseconds kSendingLimitAtExit = std::chrono::minutes(5);

// A procedure posted to the thread that waits in ExceptNotify.
struct TPost {
    const std::function<void()>* procedure = nullptr;
    bool taken = false;    // the server runs it
    bool done = false;     // it has run
    bool finished = false; // it ended without failing
};

// The handler's process-wide state.
struct THandlerState {
    std::recursive_mutex handlerLock; // one exception at a time
    TCrashboxExceptionRecord lastRecord;
    TExceptionObject lastObject; // the record's ExceptionObject points here
    std::atomic<TCrashboxExceptionRecord*> active{nullptr};
    std::unique_ptr<TCrashboxModuleOptions> currentOptions;
    std::unique_ptr<TCrashboxStackList> lastCallStack;
    std::unique_ptr<TCrashboxThreadsList> snapshot;
    std::string errorID;
    std::atomic<int32_t> step{0};
    std::atomic<uint32_t> counter{0};
    std::atomic<uint32_t> handling{0};
    std::atomic<bool> directMode{false};
    std::atomic<bool> handlingDisabled{false};
    // A fault left frames of the thread that waits in ExceptNotify (NoteFramesLeftByFault).
    std::atomic<bool> framesLeftByFault{false};
    // The thread that waits in ExceptNotify and runs what is posted to it
    // (0: none). Usually the raising thread; the watchdog for a freeze,
    // which reports for the window thread it has paused. Written under
    // postLock; read without it where a stale answer does no harm.
    std::atomic<uint32_t> postServer{0};
    // The hand-over between the threads: one post at a time, under
    // postLock. postWake wakes whoever waits for a change: the server for
    // a post or the exception thread's end, a poster for its post's end or
    // for its turn.
    std::mutex postLock;
    std::condition_variable postWake;
    TPost* posted = nullptr;
    // The call stack a door built (from the stack copied at the throw).
    std::unique_ptr<TCrashboxStackList> givenCallStack;
    bool duplicate = false;
    // The report's entry, stored in the log before it is shown (a dialog
    // may not come back: a second fault ends the process meanwhile), and
    // the faults of other threads named in it. Under reportLock: the
    // handler's thread and the thread that reports such a fault write them.
    std::mutex reportLock;
    bool reportInProgress = false;
    bool finalSaveStarted = false;
    TStoredEntry early;
    std::string earlyReport; // the report as stored early, without the notes
    std::vector<std::string> faultNotes;
    // The error was in the log before its report's entry was stored early
    // (the entry itself must not make it a duplicate).
    std::atomic<bool> storedEarly{false};
    bool duplicateBefore = false;
    std::string customErrorMessage;
    std::string lastHandledText; // class and message of the last reported exception
    std::vector<std::string> customData;
    std::vector<TDateTime> errorTimes;
    TReportText report;
    TDateTime exceptionTime = 0;
    bool reportBuilt = false;
    bool reportSaved = false;
    bool loggedDuplicate = false; // the error was in the log before this report
    // The send of a report that had a thread of its own to go to was made
    // on the handler's thread: no thread could start (NoteSendMadeHere).
    bool sendMadeHere = false;
    std::string sendText;
    std::string leakMultiFree, leakMemoryOverrun;
    TExceptionHandlerServices services;
    void* leakReserve = nullptr;
    std::mutex leakReserveLock;
};

THandlerState& State()
{
    static THandlerState state;
    return state;
}

void Step(int32_t value) { State().step.store(value); }

TCrashboxModuleOptions& Options() { return CurrentOptions(); }

// A failure inside the handler: recorded with the step the handler was at,
// and the handling goes on (or ends) without it.
// section: the handler's step number, or the part of the output that
// failed ("GUI", "Console").
void RecordHandlerFailure(int signal, const std::string& section)
{
    const bool step = !section.empty() && std::isdigit(static_cast<unsigned char>(section[0]));
    std::string text = "Crashbox: internal error in " + std::string(step ? "step " : "") + section;
    text += signal ? " (signal " + std::to_string(signal) + ")\n" : "\n";
    std::fputs(text.c_str(), stderr);
    try {
        throw std::runtime_error(signal ? "Signal " + std::to_string(signal) + " inside the handler" : "Exception inside the handler");
    } catch (...) {
        HandleInternalError(section);
    }
}

void RecordHandlerFailure(int signal) { RecordHandlerFailure(signal, std::to_string(HandlerStep())); }

// Runs a part of the handling that code outside the core takes part in (an
// event, a dialog): its failure is the part's, never the whole handling's.
bool RunPart(const std::function<void()>& part)
{
    int signal = 0;
    if (CallGuarded(part, &signal))
        return true;
    RecordHandlerFailure(signal);
    return false;
}

bool ClassNameIs(const TExceptionObject& object, const char* name) { return InheritsFromName(object, name); }

// The GUI thread may serve its events while it waits, unless the options
// pause the window framework's threads with it.
bool PumpAllowed()
{
    if (!CrashboxActivated())
        return false;
    const TBehaviourOptions behaviour = CurrentCrashboxOptions().BehaviourOptions();
    return !(behaviour.Contains(boPauseBorlandThreads) && !behaviour.Contains(boDoNotPauseMainThread));
}

// A module entry's debug data: its own compiled-in data, or another source.
bool HasDebugInformation(const TCrashboxModuleInfo* module)
{
    return module && (module->ExtraInformation.DebugInformation || module->OtherDebugData);
}

// The kind of output: 0 the dialogs, 1 standard output, 2 the web page.
int OutputKind(TRaiserType raiser)
{
    if (IsCGIProgram() || raiser == rtWeb)
        return 2;
    const TExceptionHandlerServices& services = ExceptionHandlerServices();
    if (services.WindowedProgram)
        return services.WindowedProgram() ? 0 : 1;
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->inherits("QGuiApplication") ? 0 : 1;
}

bool SendMethodChosen(const TCrashboxModuleOptions& options)
{
    return options.EMailSendMode() != esmNoSend || options.WebSendMode() != wsmNoSend;
}

bool SendInSeparateThread() { return Options().CommonSendOptions().Contains(sndSendInSeparatedThread); }

// Whether the report's send went to a thread of its own, which then
// finishes it and ends or restarts the program when asked. A report
// handled on the calling thread sends there (DirectMode), and so does one
// whose send thread could not start; the handler then finishes the send.
bool SendOnItsOwnThread(bool sendAllowed)
{
    return sendAllowed && SendInSeparateThread() && !DirectMode() && !State().sendMadeHere;
}

std::string ClassAndMessage(const TExceptionObject& object) { return object.ClassName + ": " + object.Message; }

// Whether the error was in the log before this report: the log's answer,
// until the report's own entry is in it.
bool CurrentErrorIsDuplicate()
{
    THandlerState& state = State();
    return state.storedEarly.load() ? state.duplicateBefore : IsDuplicateError(Options(), state.errorID, false);
}

// The notes of the faults of other threads that came while this report was
// made, for its entry (the reportLock held).
std::vector<std::string> FaultNotesLocked()
{
    THandlerState& state = State();
    for (std::string& note : TakeWaitingFaultNotes())
        state.faultNotes.push_back(std::move(note));
    return state.faultNotes;
}

// The report's text as its entry holds it: with the faults named.
std::string EntryText(const std::string& report, const std::vector<std::string>& notes)
{
    return ReportWithNotes(report, notes, Options().GetExpandedText(mtLog_ExcNote));
}

// Before the report is shown: its entry in the log, so that nothing that
// happens during the dialog (a second fault, a kill) loses it.
void StoreReportBeforeShowing(TCrashboxModuleOptions& options)
{
    THandlerState& state = State();
    ReleaseDescriptors(TDescriptorUse::Saving);
    DeleteLogAtVersionChange(options, TLocalSystemFacts().ProgramVersion());
    std::lock_guard guard(state.reportLock);
    state.duplicateBefore = state.duplicate;
    // A duplicate's count is in the log already.
    if (state.duplicate || !options.SaveLogFile())
        return;
    state.earlyReport = state.lastRecord.LogText;
    state.early = StoreReportEarly(options, EntryText(state.earlyReport, FaultNotesLocked()));
    state.storedEarly = state.early.Stored();
}

// The events of the handler's steps, on the raising thread.
void ActionNotify(uint8_t action, bool& execute)
{
    RunInExceptionThread([&] { RaiseExceptionActionNotify(LastExceptionRecord(), action, execute); });
}

void ErrorNotify(uint8_t action, bool& retry)
{
    RunInExceptionThread([&] { RaiseExceptionErrorNotify(LastExceptionRecord(), action, retry); });
}

// --- the call stacks ---

// Whether a thread of the snapshot is shown in the call stacks, and paused
// while the report is built.
bool ThreadShown(const TCrashboxThreadInfo& entry, const TCrashboxModuleOptions& options)
{
    const TCallStackOptions shown = options.CallStackOptions();
    return IsRuntimeThread(entry) ? shown.Contains(csoShowBorlandThreads) : shown.Contains(csoShowWindowsThreads);
}

bool ThreadPaused(const TCrashboxThreadInfo& entry, const TCrashboxModuleOptions& options)
{
    const TBehaviourOptions behaviour = options.BehaviourOptions();
    if (!IsRuntimeThread(entry))
        return behaviour.Contains(boPauseWindowsThreads);
    if (entry.ID == MainThread().ID && behaviour.Contains(boDoNotPauseMainThread))
        return false;
    return behaviour.Contains(boPauseBorlandThreads);
}

// --- the options of a module ---

TCrashboxModuleInfo* ModuleOfAddress(uintptr_t address)
{
    TCrashboxModulesList* modules = ModulesList();
    return modules && address ? ModuleInfoByAddr(*modules, address) : nullptr;
}

TCrashboxModuleInfo* ModuleOfHandle(uintptr_t handle)
{
    TCrashboxModulesList* modules = ModulesList();
    return modules && handle ? ModuleInfoByHandle(*modules, handle) : nullptr;
}

// The module whose options apply to the exception.
uintptr_t ChooseOptionsModule(uintptr_t address, uintptr_t moduleHandle)
{
    Step(101);
    const uintptr_t own = CrashboxLibraryModuleHandle();
    TCrashboxModuleInfo* chosen = ModuleOfAddress(address);
    Step(102);
    if (!HasDebugInformation(chosen) || !OptionsOfModule(chosen->Handle)) {
        TCrashboxModuleInfo* raising = ModuleOfHandle(moduleHandle);
        chosen = raising;
        if (!HasDebugInformation(raising) || !OptionsOfModule(raising->Handle)) {
            // The fallback: the program when the core itself raised it, this module otherwise.
            const uintptr_t fallback = moduleHandle == own ? MainModuleHandle() : own;
            chosen = ModuleOfHandle(fallback);
            if (!chosen || !OptionsOfModule(chosen->Handle))
                return own;
        }
    }
    Step(103);
    const uintptr_t fallback = MainModuleHandle();
    if (OptionsOfModule(chosen->Handle) && OptionsOfModule(chosen->Handle)->BehaviourOptions().Contains(boUseMainModuleOptions)
        && HasDebugInformation(ModuleOfHandle(fallback)) && OptionsOfModule(fallback))
        return fallback;
    return chosen->Handle;
}

// --- the environment ---

void SetVariable(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

TReportEnvironment EnvironmentFor(const TExceptionObject& object, uintptr_t address, const std::string& report)
{
    TReportEnvironment environment;
    TLocalSystemFacts facts;
    environment.MainModuleName = facts.ProgramFileName();
    environment.MainModuleDesc = facts.ProgramDescription();
    environment.MainModuleVer = facts.ProgramVersion();
    const TModuleFacts module = address ? facts.ModuleOfAddress(address) : TModuleFacts{};
    environment.ExceptModuleName = module.FileName;
    environment.ExceptModuleDesc = module.Description;
    environment.ExceptModuleVer = module.Version;
    environment.ExceptMsg = GetErrorMessage();
    environment.BugReport = report;
    (void)object; // the message is GetErrorMessage's: a filter may have replaced it
    return environment;
}

// --- the report ---

// The running processes for the report's table, read from /proc by the
// report's helper while the report takes its first steps (the options, the
// call stacks): some hundred processes' files, a millisecond or two that
// need nothing of those steps. Read here when the helper has not begun.
class TProcessesReading {
public:
    TProcessesReading()
    {
        TReportHelper* helper = ReportHelper();
        fHanded = helper && helper->Begin([this](const std::atomic<bool>& stop) { fFound = ReadProcesses("/proc", &FileVersions(), &stop); });
    }
    // A reading not taken is stopped.
    ~TProcessesReading()
    {
        if (fHanded)
            ReportHelper()->End(true);
    }
    TProcessesReading(const TProcessesReading&) = delete;
    TProcessesReading& operator=(const TProcessesReading&) = delete;

    // The processes read into the list, in the place of its entries.
    void Into(TCrashboxProcessesList& list)
    {
        const bool read = fHanded && ReportHelper()->End();
        fHanded = false;
        if (!read)
            fFound = ReadProcesses("/proc", &FileVersions());
        if (fFound)
            SetProcessesList(list, std::move(*fFound));
    }

private:
    bool fHanded = false;
    std::optional<TProcessRecords> fFound;
};

void BuildReport(const TExceptionObject& object, uintptr_t address, const TExceptNotifyParams& params)
{
    THandlerState& state = State();
    TReportInput input;
    input.General.ExceptionTime = state.exceptionTime = NowDateTime();
    input.General.ExceptionAddress = address;
    input.General.ExceptionObject = &object;
    input.General.ExceptionRecord = params.ExceptionRecord;
    input.General.Context = params.Context;
    input.General.ErrorID = state.errorID;
    input.General.ActiveControlClass = params.ActiveControlClass;
    input.General.ActiveControlText = params.ActiveControlText;
    input.General.UserEmail = ExceptionDialogState().UserEmail;
    input.General.WebApplication = IsCGIProgram();
    if (TCrashboxModuleInfo* program = ModuleOfHandle(MainModuleHandle());
        program && program->ExtraInformation.CompilationDate.isValid())
        input.General.CompilationDate =
                UnixTimeToDateTime(program->ExtraInformation.CompilationDate.toSecsSinceEpoch());
    input.CallStack = state.lastCallStack.get();
    input.Modules = ModulesList();
    input.Processes = ProcessesList();
    input.Threads = state.snapshot.get();
    input.MainThreadID = MainThread().ID;
    const TLocalSystemFacts facts;
    const TLiveProcessView process(ModulesList());
    state.report = BuildReportText(Options(), facts, process, input);
    state.reportBuilt = true;
}

void StoreReportText()
{
    THandlerState& state = State();
    state.lastRecord.LogText = state.report.Text();
}

// The report to standard output (a console program, or no dialogs).
bool WriteReportToConsole()
{
    // Standard output may be a pipe whose reader has gone (a web server
    // that dropped the request): the write fails instead of ending the
    // process by SIGPIPE before the report is in the log.
    const TQuietSignal quiet(SIGPIPE);
    const std::string text = State().report.Text() + "\r\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    return std::fflush(stdout) == 0 && written;
}

// The answer to the web request: a server gone away costs no signal, and
// the answer is not kept as the program's own page.
void WriteWebAnswer(const std::string& text)
{
    const TQuietSignal quiet(SIGPIPE);
    TUncapturedStandardOutput notThePage;
    ExceptionHandlerServices().WriteWebErrorPage(text);
}

// Shows the exception: the dialog, the web answer or standard output. False
// when the dialog or the console output failed: an internal error of the
// section "GUI" or "Console".
bool ShowOutput(TRaiserType raiser)
{
    THandlerState& state = State();
    TExceptionDialogState& dialog = ExceptionDialogState();
    const int kind = OutputKind(raiser);
    const TExceptionHandlerServices& services = ExceptionHandlerServices();
    if (kind == 0 && services.ShowExceptionDialog) {
        // A dialog switches to another kind by changing it, and sets
        // edtNone when it is done.
        bool failed = false;
        int signal = 0;
        const auto show = [&](bool firstTime) {
            RunInExceptionThread([&] {
                if (!CallGuarded([&] { services.ShowExceptionDialog(firstTime); }, &signal))
                    failed = true;
            });
        };
        dialog.DialogShownAgain = false;
        show(true);
        while (!failed && dialog.DialogType != edtNone) {
            dialog.DialogShownAgain = true;
            show(false);
        }
        if (failed) {
            dialog.DialogType = edtNone;
            dialog.DialogFailed = true;
            RecordHandlerFailure(signal, "GUI");
            return false;
        }
        return true;
    }
    // Without dialogs the report goes to standard output, as in a console program.
    if (kind == 2 && services.WriteWebErrorPage) {
        WriteWebAnswer(state.report.Text());
        return true;
    }
    if (!WriteReportToConsole()) {
        RecordHandlerFailure(0, "Console");
        return false;
    }
    return true;
}

// Whether the report of this exception is sent.
bool SendAllowed(const TCrashboxModuleOptions& options, TExceptionDialogType dialogKind, bool duplicate)
{
    return SendMethodChosen(options) && !duplicate && (ExceptionDialogState().SendChecked || dialogKind == edtNone);
}

// The logging step: the report takes the place of its entry stored before
// the dialog (with the faults named in it). From now on a fault of another
// thread gets an entry of its own. The text to send.
std::string SaveFinalReport(const TCrashboxModuleOptions& options, bool duplicate, const TLogSavingEvents& events)
{
    THandlerState& state = State();
    TStoredEntry early;
    std::string report;
    {
        std::lock_guard guard(state.reportLock);
        state.finalSaveStarted = true;
        early = state.early;
        report = EntryText(state.lastRecord.LogText, FaultNotesLocked());
    }
    const std::string toSend = SaveReportInLog(options, report, duplicate, events, &early);
    std::lock_guard guard(state.reportLock);
    state.early = early;
    return toSend;
}

// `storedBefore`: the report went into the log before it was shown, and
// the log's version was looked at then (the entry written there is of
// this version, so a second look would only read the log again).
void SaveLogAndSend(TExceptionDialogType dialogKind, bool storedBefore, bool& sendAllowed)
{
    THandlerState& state = State();
    TCrashboxModuleOptions& options = Options();
    TExceptionDialogState& dialog = ExceptionDialogState();
    Step(15);
    ReleaseDescriptors(TDescriptorUse::Saving);
    if (!storedBefore)
        DeleteLogAtVersionChange(options, TLocalSystemFacts().ProgramVersion());
    const bool duplicate = CurrentErrorIsDuplicate();
    sendAllowed = SendAllowed(options, dialogKind, duplicate);
    TLogSavingEvents events;
    events.ActionNotify = ActionNotify;
    events.ErrorNotify = ErrorNotify;
    state.sendText = SaveFinalReport(options, duplicate, events);
    state.reportSaved = true;
    state.loggedDuplicate = duplicate;
    if (dialog.CopyChecked && state.services.CopyTextToClipboard)
        RunPart([&] { state.services.CopyTextToClipboard(state.lastRecord.LogText); });
    if (state.services.ReportLogged)
        RunPart([&] { state.services.ReportLogged(sendAllowed); });
    Step(16);
    if (sendAllowed) {
        ExtendSignalReportDeadline(kSendingDeadlineSeconds);
        if (state.services.SendErrorReport)
            RunPart(state.services.SendErrorReport);
        else
            LogInternalWarning(eeEmailSMTPError, "[Send] Sending is not available in this program.");
    }
    if (!SendOnItsOwnThread(sendAllowed))
        FinishReportSending();
}

// The program is not restarted: said on standard error and as the note of
// the error's entry in the log.
void NoteRestartRefused(const TCrashboxModuleOptions& options, int64_t sinceRestartMs)
{
    const std::string note = "Not restarted: the program failed again " + std::to_string(sinceRestartMs / 1000)
                             + " seconds after it was restarted.";
    std::fprintf(stderr, "Crashbox: %s\n", note.c_str());
    if (!options.SaveLogFile())
        return;
    try {
        TLogFile& log = OpenSharedLogFile(options);
        const int entry = log.FindItem({"2.7"}, {ErrorID()});
        if (entry >= 0) {
            log.SetItemValue("2.10", note, options.GetExpandedText(mtLog_ExcNote), entry);
            log.Save();
        }
    } catch (...) {
        LogStepWarning(eeLogError, "Restart note");
    }
    CloseSharedLogFile();
}

// A fault that ended the handling before the report was in the log: what
// was built is appended now, so that the first report is never lost.
void SaveReportAfterFailure()
{
    THandlerState& state = State();
    if (!state.reportBuilt || state.reportSaved)
        return;
    state.reportSaved = true;
    ReleaseDescriptors(TDescriptorUse::Saving);
    RunPart([&] {
        if (state.lastRecord.LogText.empty())
            StoreReportText();
        SaveFinalReport(Options(), CurrentErrorIsDuplicate(), {});
    });
}

} // namespace

// --- state ---

TCrashboxExceptionRecord& LastExceptionRecord() { return State().lastRecord; }
TCrashboxExceptionRecord* ActiveExceptionRecord() { return State().active.load(); }

TCrashboxModuleOptions& CurrentOptions()
{
    THandlerState& state = State();
    if (!state.currentOptions)
        state.currentOptions = std::make_unique<TCrashboxModuleOptionsEx>(std::string());
    return *state.currentOptions;
}

TCrashboxStackList* LastCallStack() { return State().lastCallStack.get(); }
void FreeLastCallStack() { State().lastCallStack.reset(); }
std::string ErrorID() { return State().errorID; }
int32_t HandlerStep() { return State().step.load(); }
uint32_t ExceptionCount() { return State().counter.load(); }
uint32_t HandlingNumber() { return State().handling.load(); }
std::string LastReportText() { return State().lastRecord.LogText; }
std::string LastSendText() { return State().sendText; }
TReportText LastReportPieces() { return State().report; }
TDateTime LastExceptionTime() { return State().exceptionTime; }
bool DirectMode() { return State().directMode.load(); }
void NoteSendMadeHere() { State().sendMadeHere = true; }

bool ErrorIsDuplicate()
{
    const THandlerState& state = State();
    return state.reportSaved ? state.loggedDuplicate : CurrentErrorIsDuplicate();
}
bool HandlingDisabled() { return State().handlingDisabled.load(); }
void SetHandlingDisabled(bool disabled) { State().handlingDisabled = disabled; }
std::vector<TDateTime> ErrorTimes() { return State().errorTimes; }
TCrashboxModulesList* HandlerModulesList() { return ModulesList(); }

TCrashboxModuleOptions* OptionsOfModule(uintptr_t moduleHandle)
{
    if (moduleHandle != 0 && moduleHandle == CrashboxLibraryModuleHandle())
        return CrashboxActivated() ? &CurrentCrashboxOptions() : nullptr;
    TCrashboxModuleInfo* module = ModuleOfHandle(moduleHandle);
    return module ? module->ExtraInformation.Options.get() : nullptr;
}

void RecordHandlerFault(int signal) { RecordHandlerFailure(signal); }

std::string FaultNote(const TExceptionObject& object, uint32_t threadID, uintptr_t address)
{
    char place[64];
    std::snprintf(place, sizeof place, "thread %u, address %016llX", unsigned(threadID), static_cast<unsigned long long>(address));
    std::string note = "Another fault came while this report was made: " + object.ClassName;
    if (!object.Message.empty())
        note += " (" + object.Message + ")";
    if (object.Signal != 0)
        note += ", signal " + std::to_string(object.Signal);
    return note + ", " + place + ".";
}

bool NoteFaultInReportInProgress(const std::string& note)
{
    THandlerState& state = State();
    std::lock_guard guard(state.reportLock);
    if (!state.reportInProgress || state.finalSaveStarted)
        return false;
    state.faultNotes.push_back(note);
    // The entry on disk names it at once: the fault may end the process
    // before the report is done.
    if (state.early.Stored())
        ReplaceStoredEntry(state.early, EntryText(state.earlyReport, FaultNotesLocked()));
    return true;
}

std::string ReportLogProblem()
{
    THandlerState& state = State();
    const TCrashboxModuleOptions& options = Options();
    if (!options.SaveLogFile())
        return {};
    {
        std::lock_guard guard(state.reportLock);
        if (state.early.Stored())
            return state.early.Problem;
    }
    return LogSaveProblem(options);
}

void RecordHandlingFailure(int signal)
{
    RecordHandlerFailure(signal);
    SaveReportAfterFailure();
}

bool SameAsLastHandledException(const TExceptionObject& object)
{
    std::lock_guard guard(State().handlerLock);
    return !State().lastHandledText.empty() && State().lastHandledText == ClassAndMessage(object);
}

void SetExceptionHandlerServices(TExceptionHandlerServices services) { State().services = std::move(services); }
const TExceptionHandlerServices& ExceptionHandlerServices() { return State().services; }

// --- operations ---

void SetTerminateOperation(TTerminateBtnOperation operation)
{
    if (!CoreSwitchedOn())
        return;
    ExceptionDialogState().TerminateRequested = true;
    if (ActiveExceptionRecord())
        CurrentOptions().SetTerminateBtnOperation(operation);
    else if (CrashboxActivated())
        CurrentCrashboxOptions().SetTerminateBtnOperation(operation);
}

void SetCustomErrorMessage(const std::string& text) { State().customErrorMessage = text; }

std::string GetErrorMessage()
{
    const THandlerState& state = State();
    return state.customErrorMessage.empty() ? state.lastObject.Message : state.customErrorMessage;
}

void AddCustomTextSection(const std::string& header, const std::string& text)
{
    THandlerState& state = State();
    state.report.InsertSection(CustomTextSection(header, text));
    StoreReportText();
}

void AddCustomDataSection(const std::string& header, const std::vector<std::string>& lines)
{
    if (lines.empty())
        return;
    THandlerState& state = State();
    state.report.InsertSection(CustomDataSection(header, lines));
    StoreReportText();
}


void AddErrorTime(std::vector<TDateTime>& times, TDateTime now, int32_t keep)
{
    times.push_back(now);
    while (!times.empty() && int64_t(times.size()) > std::max<int32_t>(keep, 0))
        times.erase(times.begin());
}

bool ErrorsCameTooOften(const std::vector<TDateTime>& times, int32_t number, int32_t minutes)
{
    // A millisecond's play: times a whole number of minutes apart are not
    // lost to the rounding of the day fractions.
    const double window = double(minutes) / 1440.0 + 0.001 / 86400.0;
    return number > 0 && int64_t(times.size()) == number && times.back() - times.front() <= window;
}

void FinishReportSending(const TCrashboxModuleOptions& options, std::unique_ptr<TReportFolder> folder)
{
    THandlerState& state = State();
    if (state.services.FreeScreenshot)
        RunPart(state.services.FreeScreenshot);
    // The screenshot file goes with the report's folder.
    folder.reset();
    if (!IsIDEHost() && options.AutoCrashOperation() != tbNone
        && ErrorsCameTooOften(state.errorTimes, options.AutoCrashNumber(), options.AutoCrashMinutes()))
        SetTerminateOperation(options.AutoCrashOperation());
}

void TerminateOrRestartIfRequested(const TCrashboxModuleOptions& options)
{
    if (!ExceptionDialogState().TerminateRequested)
        return;
    bool restart = options.TerminateBtnOperation() == tbRestart;
    // A program that fails again moments after its restart would fail for
    // good, restarted again and again: it ends instead, and its report says why.
    if (const std::optional<int64_t> since = MillisecondsSinceRestart();
        restart && since && *since >= 0 && *since < kRestartLoopSeconds * 1000) {
        restart = false;
        NoteRestartRefused(options, *since);
    }
    std::fflush(nullptr);
    RestartOrTerminate(restart);
}

std::string ComputeErrorID(const std::string& applicationName, const std::string& moduleName, const std::string& className,
                           const TCrashboxStackList* callStack, uint32_t threadID)
{
    std::string text = applicationName + moduleName + className;
    if (callStack)
        for (int i = 0; i < callStack->Count(); ++i) {
            const TCrashboxDebugInfo* entry = callStack->GetItem(i);
            // How deep a recursion went before it overflowed the stack is no part of the error.
            if (entry->ThreadID != threadID || entry->DebugDetail != TCrashboxDebugDetail::ddSourceCode || entry->FramesLeftOut != 0)
                continue;
            text += entry->UnitName + entry->ClassName + entry->ProcedureName + std::to_string(entry->ProcOffsetLine);
        }
    char id[8];
    std::snprintf(id, sizeof id, "%04X", unsigned(CRC16(text)));
    return id;
}

void SetReportEnvironment(const TReportEnvironment& environment)
{
    SetVariable("_MainModuleName", environment.MainModuleName);
    SetVariable("_MainModuleDesc", environment.MainModuleDesc);
    SetVariable("_MainModuleVer", environment.MainModuleVer);
    SetVariable("_ExceptModuleName", environment.ExceptModuleName);
    SetVariable("_ExceptModuleDesc", environment.ExceptModuleDesc);
    SetVariable("_ExceptModuleVer", environment.ExceptModuleVer);
    SetVariable("_ExceptMsg", environment.ExceptMsg);
    SetVariable("_BugReport", environment.BugReport);
    SetVariable("_LineBreak", "\r\n");
}

// --- LeakReserve ---

void ReserveLeakReserve()
{
    THandlerState& state = State();
    std::lock_guard guard(state.leakReserveLock);
    if (state.leakReserve)
        return;
    void* reserve = ::mmap(nullptr, kLeakReserveSize, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    state.leakReserve = reserve == MAP_FAILED ? nullptr : reserve;
}

void ReleaseLeakReserve()
{
    THandlerState& state = State();
    std::lock_guard guard(state.leakReserveLock);
    if (state.leakReserve)
        ::munmap(state.leakReserve, kLeakReserveSize);
    state.leakReserve = nullptr;
}

void HoldReportDescriptors()
{
    HoldDescriptors(TDescriptorUse::Reading);
    HoldDescriptors(TDescriptorUse::Saving);
}

bool LeakReserveHeld()
{
    THandlerState& state = State();
    std::lock_guard guard(state.leakReserveLock);
    return state.leakReserve != nullptr;
}

// --- posting to the raising thread ---

bool RunInExceptionThread(const std::function<void()>& procedure)
{
    THandlerState& state = State();
    if (state.handlingDisabled.load())
        return false;
    const TCrashboxExceptionRecord* active = state.active.load();
    bool done = false;
    bool runHere = true;
    // Never posted by the thread that serves the posts: it would wait for itself.
    if (active && state.postServer.load() != 0 && CurrentThreadID() != state.postServer.load()) {
        // The thread waiting in ExceptNotify runs it; it is woken at once,
        // and wakes this one as soon as the procedure has run.
        TPost post;
        post.procedure = &procedure;
        std::unique_lock lock(state.postLock);
        state.postWake.wait(lock, [&] { return !state.posted || state.postServer.load() == 0; });
        if (state.postServer.load() != 0) {
            state.posted = &post;
            state.postWake.notify_all();
            state.postWake.wait(lock, [&] { return post.done || (state.postServer.load() == 0 && !post.taken); });
            if (post.done) {
                done = post.finished;
                runHere = false;
            } else {
                state.posted = nullptr; // the server stopped before it took it
                state.postWake.notify_all();
            }
        }
    }
    if (runHere)
        done = RunPart(procedure);
    if (active)
        state.duplicate = CurrentErrorIsDuplicate();
    return done;
}

bool MainThreadServesPosted()
{
    const THandlerState& state = State();
    return state.active.load() && MainThread().ID != 0 && state.postServer.load() == MainThread().ID && !IsMainThread();
}

void RunOnApplicationThread(const std::function<void()>& procedure)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        procedure();
    else if (MainThreadServesPosted())
        RunInExceptionThread(procedure);
    else
        QMetaObject::invokeMethod(app, procedure, Qt::BlockingQueuedConnection);
}

namespace {

// The waiting thread's side: runs what is posted (the lock is held on
// entry and on return, not while the procedure runs).
void ServePosted(std::unique_lock<std::mutex>& lock)
{
    THandlerState& state = State();
    TPost* post = state.posted;
    if (!post || post->taken)
        return;
    post->taken = true;
    lock.unlock();
    const bool finished = RunPart(*post->procedure);
    lock.lock();
    post->finished = finished;
    post->done = true;
    state.posted = nullptr;
    state.postWake.notify_all();
}

// Wakes the thread that waits in ExceptNotify: the exception thread is done.
void WakeExceptionThreadWaiter()
{
    THandlerState& state = State();
    std::lock_guard lock(state.postLock);
    state.postWake.notify_all();
}

// Waits on the raising thread until the exception thread is done, running
// what it posts and, on the GUI thread while a dialog is up, serving the
// window system between waits of at most 10 ms. A post or the thread's end
// wakes it at once.
void WaitForExceptionThread(TExceptionThread& thread, bool pump)
{
    THandlerState& state = State();
    std::unique_lock lock(state.postLock);
    state.postServer = CurrentThreadID();
    const auto wakeUp = [&] { return (state.posted && !state.posted->taken) || !thread.Executing(); };
    for (;;) {
        ServePosted(lock);
        if (!thread.Executing())
            break;
        // After a fault left a dialog's frames, the window system's state is
        // no longer whole: its events are not served again.
        if (pump && IsMainThread() && ExceptionDialogState().DialogPainted && state.services.PumpMessages
            && !state.framesLeftByFault.load()) {
            lock.unlock();
            RunPart(state.services.PumpMessages);
            lock.lock();
            state.postWake.wait_for(lock, std::chrono::milliseconds(10), wakeUp);
        } else {
            state.postWake.wait(lock, wakeUp);
        }
    }
    ServePosted(lock);
    state.postServer = 0;
    state.postWake.notify_all();
}

} // namespace

// --- the gate ---

bool ExceptNotify(const TExceptionObject& exceptionObject, uintptr_t exceptionAddress, bool nativeException,
                  std::unique_ptr<TCrashboxStackList> callStack, bool handled, TAsynchronousException asynchronous,
                  uintptr_t moduleHandle, TRaiserType raiserType, const siginfo_t* exceptionRecord,
                  const ucontext_t* context, uintptr_t stackPoint, uintptr_t topOfStack, uint32_t raisingThread)
{
    if (!CoreSwitchedOn() || ClassNameIs(exceptionObject, "EAbort"))
        return false;
    const bool pump = PumpAllowed();
    THandlerState& state = State();
    std::unique_lock lock(state.handlerLock);
    ReleaseLeakReserve();
    ReleaseDescriptors(TDescriptorUse::Reading);
    if (InsideExceptNotify()) {
        ReserveLeakReserve();
        HoldReportDescriptors();
        return false;
    }
    SetInsideExceptNotify(true);
    // The report's windows start no more of Qt's threads than one (report_threads.h).
    BeginReportThreadLimit();
    struct TLeave {
        ~TLeave()
        {
            EndReportThreadLimit();
            ClearThreadRaiseInfo();
            State().active = nullptr;
            SetInsideExceptNotify(false);
            ReserveLeakReserve();
            HoldReportDescriptors();
        }
    } leave;

    if (!CrashboxActivated())
        return false;
    const TCrashboxModuleOptions& running = CurrentCrashboxOptions();
    if (!running.BehaviourOptions().Contains(boHandleSafeCallExceptions) && exceptionObject.Message.rfind(kSafeCallPrefix, 0) == 0)
        return false;
    if (!running.Active())
        return false;

    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    TExceptNotifyParams params;
    params.Handled = handled;
    params.Context = context;
    params.ExceptionRecord = exceptionRecord;
    params.CallStack = callStack.get();
    params.TopOfStack = topOfStack ? topOfStack : ThreadTopOfStack();
    params.StackPoint = stackPoint ? stackPoint
                        : raise.StackPointer ? raise.StackPointer
                                             : reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    params.ThreadID = raisingThread ? raisingThread : CurrentThreadID();
    if (state.services.FocusedControl) {
        const auto [className, text] = state.services.FocusedControl();
        params.ActiveControlClass = className.substr(0, 256);
        std::string upper = className;
        for (char& c : upper)
            c = char(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find("EDIT") != std::string::npos || upper.find("MEMO") != std::string::npos)
            params.ActiveControlText = text;
    }
    if (!handled)
        RecordUnhandledReport(exceptionObject.ClassName.substr(0, 64), exceptionAddress);

    // No thread may be started from a signal's report (it runs on the
    // report thread already), nor for a leak report at the end of the program.
    state.givenCallStack = std::move(callStack);
    const bool direct = ClassNameIs(exceptionObject, "EMemoryLeak") || CurrentThreadID() == SignalReportThreadID()
                        || Finalising();
    state.directMode = direct;
    bool result = false;
    if (direct) {
        SetInsideProcessException(true);
        int signal = 0;
        if (!CallGuarded([&] { result = ProcessException(exceptionObject, exceptionAddress, nativeException, params, raiserType,
                                                         moduleHandle, asynchronous); },
                         &signal)) {
            RecordHandlingFailure(signal);
        }
        SetInsideProcessException(false);
    } else {
        TExceptionThread thread(exceptionObject, asynchronous, moduleHandle, raiserType, params, nativeException, exceptionAddress,
                                WakeExceptionThreadWaiter);
        if (thread.Started()) {
            WaitForExceptionThread(thread, pump);
            thread.WaitFor();
        } else {
            // No thread can start (a limit of threads or of memory): the
            // report is made on this thread, and starts none either.
            state.directMode = true;
            thread.RunHere();
        }
        result = thread.Result();
        // The thread cannot go back to frames a fault left (its report is done).
        if (state.framesLeftByFault.load()) {
            std::fputs("Crashbox: the program ends: a fault during the report left frames of the thread that "
                       "waited for it, which cannot go on.\n",
                       stderr);
            EndProgramAfterReport();
        }
    }
    return result;
}

// --- the work ---

namespace {

// [101-104] The options of the module concerned become the current ones.
TCrashboxModuleOptions& TakeModuleOptions(uintptr_t address, uintptr_t moduleHandle)
{
    THandlerState& state = State();
    const uintptr_t optionsModule = ChooseOptionsModule(address, moduleHandle);
    TCrashboxModuleOptions& options = Options();
    if (TCrashboxModuleOptions* source = OptionsOfModule(optionsModule))
        options.Assign(source);
    options.SetModuleName(ModuleFileNameOfHandle(optionsModule));
    options.SetModuleHandle(optionsModule);
    options.SetReproduceText({});
    state.leakMultiFree = options.GetExpandedText(mtException_LeakMultiFree);
    state.leakMemoryOverrun = options.GetExpandedText(mtException_LeakMemoryOverrun);
    // [104] The development environment's own process.
    Step(104);
    if (IsIDEHost()) {
        TExceptionDialogOptions dialogOptions = options.ExceptionDialogOptions();
        dialogOptions.Exclude(edoUseCrashboxLookAndFeel);
        options.SetExceptionDialogOptions(dialogOptions);
        options.SetCustomizedTexts(mtMSDialog_ErrorMsgCaption, "The IDE has raised an exception.\r\n ");
        options.SetCustomizedTexts(mtMSDialog_RestartCaption, "Restart the IDE");
    }
    return options;
}

// What the filters make of the exception.
struct TFilterChoice {
    TFilterHandlerType handlerKind = fhtCrashbox;
    TFilterActionType action = fatNone;
    TExceptionDialogType dialogKind = edtNone;
    bool dialogKindByFilter = false;
};

// [201] The first filter that matches chooses who handles the exception,
// what follows it and the dialog (and may replace the message).
TFilterChoice ApplyFilters(const TCrashboxModuleOptions& options, const TExceptionObject& exceptionObject, bool handled,
                           TAsynchronousException asynchronous)
{
    TFilterChoice choice;
    choice.dialogKind = options.ExceptionDialogType();
    if (asynchronous != aeSynchronize && options.ActivateHandle()) {
        const int32_t index = FindFilter(options, exceptionObject, handled);
        if (index >= 0) {
            const TCrashboxExceptionFilter& filter = options.ExceptionsFilters()[index];
            choice.action = filter.ActionType;
            choice.handlerKind = filter.HandlerType;
            choice.dialogKind = FilterDialogType(filter.DialogType, options.ExceptionDialogType());
            choice.dialogKindByFilter = true;
            if (!filter.ExceptionMessage.empty())
                State().customErrorMessage = ExpandVariables(filter.ExceptionMessage);
        }
    }
    return choice;
}

// [4] The call stack of the raising thread (and where it was started from),
// then those of the other threads shown.
void BuildCallStacks(const TCrashboxModuleOptions& options, const TExceptionObject& exceptionObject, uintptr_t address,
                     const TExceptNotifyParams& params)
{
    THandlerState& state = State();
    ForgetMemoryMap();
    state.lastCallStack.reset();
    if (params.CallStack && params.CallStack == state.givenCallStack.get()) {
        state.lastCallStack = std::move(state.givenCallStack);
    } else if (ModulesList()) {
        state.lastCallStack = GetCallStack(*ModulesList(), address, params.StackPoint, params.TopOfStack, params.ThreadID,
                                           kAllDebugDetails, -1, -1, true, true, params.Context);
    } else {
        state.lastCallStack = std::make_unique<TCrashboxStackList>();
    }
    TLocalSystemFacts facts;
    const std::string moduleName = ExtractFileName(address ? facts.ModuleOfAddress(address).FileName : std::string());
    state.errorID = ComputeErrorID(ExtractFileName(facts.ProgramFileName()), moduleName, exceptionObject.ClassName,
                                   state.lastCallStack.get(), params.ThreadID);
    const int raisingIndex = state.snapshot->FindByThreadID(params.ThreadID);
    if (raisingIndex >= 0)
        AddCreatorStack(*state.lastCallStack, ModulesList(), *state.snapshot->GetItem(raisingIndex));

    // The other threads shown: paused for the time it takes to read their stacks.
    if (!ClassNameIs(exceptionObject, "EMemoryLeak")) {
        std::vector<const TCrashboxThreadInfo*> shown;
        for (int i = 0; i < state.snapshot->Count(); ++i) {
            const TCrashboxThreadInfo* entry = state.snapshot->GetItem(i);
            if (entry->ID != CurrentThreadID() && entry->ID != params.ThreadID && ThreadShown(*entry, options))
                shown.push_back(entry);
        }
        AddOtherThreadsStacks(*state.lastCallStack, ModulesList(), shown);
    }
}

// [5] The threads the options pause while the rest is done.
void PauseOtherThreads(const TCrashboxModuleOptions& options, uint32_t raisingThread, std::optional<TThreadPause>& paused)
{
    THandlerState& state = State();
    std::vector<uint32_t> toPause;
    for (int i = 0; i < state.snapshot->Count(); ++i) {
        const TCrashboxThreadInfo* entry = state.snapshot->GetItem(i);
        if (entry->ID != CurrentThreadID() && entry->ID != raisingThread && ThreadPaused(*entry, options))
            toPause.push_back(entry->ID);
    }
    if (!toPause.empty()) {
        paused.emplace();
        paused->Pause(toPause);
    }
}

// [7] The record, the report text and the duplicate test.
TCrashboxExceptionRecord& BuildRecordAndReport(TCrashboxModuleOptions& options, const TExceptionObject& exceptionObject,
                                               uintptr_t address, const TExceptNotifyParams& params)
{
    THandlerState& state = State();
    TCrashboxExceptionRecord& record = state.lastRecord;
    record.CallStack = state.lastCallStack.get();
    record.CurrentModuleOptions = &options;
    record.Win32ExceptionRecord = params.ExceptionRecord;
    record.Win32Context = params.Context;
    record.ExceptionObject = &state.lastObject;
    record.ExceptionAddress = address;
    record.ExceptionThreadID = params.ThreadID;
    Step(702);
    BuildReport(exceptionObject, address, params);
    Step(703);
    StoreReportText();
    record.ModulesList = ModulesList();
    Step(704);
    state.active = &record;
    state.duplicate = IsDuplicateError(options, state.errorID, true);
    Step(705);
    ClearInternalWarning();
    Step(706);
    SetReportEnvironment(EnvironmentFor(exceptionObject, address, record.LogText));
    return record;
}

// [8-16] What the user gets of an exception the program's handlers left to
// the core: the custom data, the dialog (or the console or web output), the
// steps to reproduce and the screenshot, then the log and sending.
void ShowLogAndSend(TCrashboxModuleOptions& options, TCrashboxExceptionRecord& record, const TExceptionObject& exceptionObject,
                    TRaiserType raiserType, const TFilterChoice& filter, bool& sendAllowed)
{
    THandlerState& state = State();
    TExceptionDialogState& dialog = ExceptionDialogState();
    TExceptionDialogType dialogKind = filter.dialogKind;
    if (state.services.CaptureScreenshot)
        RunInExceptionThread(state.services.CaptureScreenshot);
    if (options.AutoCrashOperation() != tbNone)
        AddErrorTime(state.errorTimes, NowDateTime(), options.AutoCrashNumber());
    state.customData.clear();
    RunInExceptionThread([&] { RaiseCustomDataRequest(record, state.customData); });
    if (!state.customData.empty() && options.ShowOptions().Contains(soCustomData))
        AddCustomDataSection(options.GetExpandedText(mtLog_CustInfoHeader), state.customData);

    // [9-11] Counted; remembered as the last one handled; the dialog kind.
    Step(9);
    ++state.counter;
    Step(10);
    state.lastHandledText = ClassAndMessage(exceptionObject);
    Step(11);
    if (!filter.dialogKindByFilter)
        dialogKind = options.ExceptionDialogType();
    dialog.DialogType = dialogKind;
    if (state.services.ForegroundWorkArea)
        dialog.DialogWorkArea = state.services.ForegroundWorkArea();

    // The report is on disk before anything is shown (a web program's
    // answer may wait on its reader too); with nothing to show, the logging
    // step follows at once.
    const bool storedBefore = dialogKind != edtNone || IsCGIProgram();
    if (storedBefore)
        StoreReportBeforeShowing(options);

    // [12-14] Showing the exception.
    const bool sendChecked = SendMethodChosen(options);
    const bool screenshotChecked = options.CommonSendOptions().Contains(sndSendScreenshot);
    bool reproduceWanted = false;
    if (dialogKind == edtNone) {
        dialog.SendChecked = sendChecked;
        dialog.ScreenshotChecked = screenshotChecked;
        if (IsCGIProgram() && state.services.WriteWebErrorPage)
            RunPart([] { WriteWebAnswer(GetErrorMessage()); });
    } else {
        Step(12);
        bool execute = true;
        ClearInternalWarning();
        ActionNotify(caShowing, execute);
        dialog.SendChecked = sendChecked;
        dialog.ScreenshotChecked = screenshotChecked;
        dialog.DialogCancelled = false;
        if (execute) {
            Step(13);
            reproduceWanted = dialogKind == edtCrashbox && OutputKind(raiserType) == 0 && state.services.ShowExceptionDialog;
            if (!ShowOutput(raiserType))
                execute = false;
            Step(14);
            ActionNotify(caShown, execute);
        }
    }

    // The steps to reproduce, and the screenshot file.
    if (reproduceWanted && state.services.ShowReproduceDialog)
        RunInExceptionThread(state.services.ShowReproduceDialog);
    // The section comes with the option, whether or not steps were given.
    if (options.LogOptions().Contains(loAppendReproduceText))
        AddCustomTextSection(options.GetExpandedText(mtReproduceDialog_Caption), options.ReproduceText());

    // The screenshot file, ready before the report is sent.
    if (SendAllowed(options, dialogKind, CurrentErrorIsDuplicate()) && state.services.SaveScreenshot)
        RunPart([&] { state.services.SaveScreenshot(ScreenshotFileName(options)); });

    // [15, 16] The log, then sending.
    SaveLogAndSend(dialogKind, storedBefore, sendAllowed);
}

} // namespace

bool ProcessException(const TExceptionObject& exceptionObject, uintptr_t exceptionAddress, bool nativeException,
                      TExceptNotifyParams& params, TRaiserType raiserType, uintptr_t moduleHandle,
                      TAsynchronousException asynchronous)
{
    THandlerState& state = State();
    TExceptionDialogState& dialog = ExceptionDialogState();
    bool result = false;
    state.reportBuilt = false;
    state.reportSaved = false;
    state.loggedDuplicate = false;
    state.sendMadeHere = false;
    state.duplicate = false;
    {
        std::lock_guard guard(state.reportLock);
        state.reportInProgress = true;
        state.finalSaveStarted = false;
        state.early = {};
        state.earlyReport.clear();
        state.faultNotes.clear();
        state.storedEarly = false;
    }
    ++state.handling;

    // [1] What is known of the exception; a snapshot of the threads.
    Step(1);
    state.lastObject = exceptionObject;
    SetInsideProcessException(true);
    state.snapshot = ThreadsList() ? std::make_unique<TCrashboxThreadsList>(*ThreadsList()) : std::make_unique<TCrashboxThreadsList>();
    uintptr_t address = exceptionAddress;
    if (address != 0) {
        if (nativeException && address >= 5)
            address -= 5;
        SetLastHandledExceptionAddress(address);
    }
    if (TCrashboxModulesList* modules = ModulesList())
        DeleteChangedModules(*modules);

    // [101-104] The options of the module concerned.
    TCrashboxModuleOptions& options = TakeModuleOptions(address, moduleHandle);
    // Read only when the report has the table.
    std::optional<TProcessesReading> processes;
    if (ProcessesList() && options.LogOptions().Contains(loSaveModulesAndProcessesSections))
        processes.emplace();

    // [2] The message and the environment.
    Step(2);
    state.customErrorMessage.clear();
    SetReportEnvironment(EnvironmentFor(exceptionObject, address, {}));

    // [201] The filters.
    Step(201);
    const TFilterChoice filter = ApplyFilters(options, exceptionObject, params.Handled, asynchronous);

    // [3] A filter may leave the exception to the runtime, or to nobody.
    Step(3);
    std::optional<TThreadPause> paused;
    bool sendAllowed = false;
    if (filter.handlerKind == fhtCrashbox) {
        // Missing stack bounds and pointers that cannot be read.
        if (params.TopOfStack == 0)
            params.TopOfStack = ThreadTopOfStack();
        if (params.Context && !IsReadableMemory(params.Context, sizeof *params.Context))
            params.Context = nullptr;
        if (params.ExceptionRecord && !IsReadableMemory(params.ExceptionRecord, sizeof *params.ExceptionRecord))
            params.ExceptionRecord = nullptr;

        // [4] The call stacks.
        Step(4);
        BuildCallStacks(options, exceptionObject, address, params);

        // [5] The threads paused while the rest is done.
        Step(5);
        PauseOtherThreads(options, params.ThreadID, paused);

        // [6] The lists of the report.
        Step(6);
        bool handledFlag = true;
        if (options.LogOptions().Contains(loSaveModulesAndProcessesSections)) {
            if (ModulesList())
                RefreshModulesList(*ModulesList(), &FileVersions());
            if (processes)
                processes->Into(*ProcessesList());
        }
        processes.reset();

        // [7] The record, the report text and the duplicate test.
        Step(7);
        TCrashboxExceptionRecord& record = BuildRecordAndReport(options, exceptionObject, address, params);

        // The page a CGI program wrote so far.
        if (IsCGIProgram())
            SaveLastHTMLPage(options, CapturedStandardOutput());

        // The program's handlers, on the raising thread.
        const bool dialogWillShow = filter.dialogKind != edtNone || options.CommonSendOptions().Contains(sndShowSendDialog)
                                    || options.CommonSendOptions().Contains(sndSendScreenshot);
        if ((raiserType == rtLocal || (raiserType == rtUnknown && OutputKind(raiserType) == 0)) && dialogWillShow
            && state.services.RestoreMainWindow)
            RunInExceptionThread(state.services.RestoreMainWindow);
        RunInExceptionThread([&] {
            if (params.Handled)
                RaiseHandledExceptionNotify(record, handledFlag);
            else
                RaiseExceptionNotify(record, handledFlag);
        });

        // [8] A handler that cleared Handled leaves the exception to the runtime.
        Step(8);
        if (!handledFlag)
            result = true;
        else
            ShowLogAndSend(options, record, exceptionObject, raiserType, filter, sendAllowed);
    }

    // The paused threads go on.
    paused.reset();

    // [17] The call stacks go (unless a send thread still needs them); a
    // filter's termination.
    Step(17);
    if (!SendOnItsOwnThread(sendAllowed))
        FreeLastCallStack();
    if (!dialog.TerminateRequested && filter.handlerKind == fhtCrashbox) {
        if (filter.action == fatTerminate)
            SetTerminateOperation(tbTerminate);
        else if (filter.action == fatRestart)
            SetTerminateOperation(tbRestart);
    }
    if (filter.handlerKind == fhtRTL
        || (filter.handlerKind == fhtCrashbox && options.BehaviourOptions().Contains(boCallRTLExceptionEvent)))
        result = true;

    // [18] Ending or restarting the program, when asked.
    Step(18);
    {
        std::lock_guard guard(state.reportLock);
        state.reportInProgress = false;
    }
    state.snapshot.reset();
    SetInsideProcessException(false);
    if (asynchronous != aeSynchronize && !SendOnItsOwnThread(sendAllowed))
        TerminateOrRestartIfRequested();
    return result;
}

std::unique_ptr<TCrashboxStackList> CallStackFromRaiseCopy(uintptr_t address, uint32_t threadID)
{
    const TExceptionStackCopy copy = LastExceptionStackCopy();
    const uintptr_t call = address >= 5 ? address - 5 : address;
    if (copy.Bytes.empty() || copy.ThreadID != threadID || copy.ExceptionAddress != call || !ModulesList())
        return nullptr;
    // The registers the throw left, when they are this copy's: the frames
    // are followed from them through the copy.
    const TSavedRaiseInfo& raise = ThreadRaiseInfo();
    const bool registersOfCopy = threadID == CurrentThreadID() && raise.ContextValid && raise.ContextFromRaise && raise.ThrowAddress == address;
    const auto from = reinterpret_cast<uintptr_t>(copy.Bytes.data());
    return GetCallStack(*ModulesList(), call, from, from + copy.Bytes.size(), threadID, kAllDebugDetails, -1, -1, true, true,
                        registersOfCopy ? &raise.Context : nullptr, copy.From);
}

// --- start-up and shutdown ---

void InitExceptionHandler()
{
    THandlerState& state = State();
    state.counter = 0;
    state.errorTimes.clear();
    state.lastHandledText.clear();
    state.handlingDisabled = false;
    ExceptionDialogState().TerminateRequested = false;
    CurrentOptions();
}

void WaitForReportInProgress()
{
    std::lock_guard wait(State().handlerLock);
}

void EndProgramAfterReport()
{
    WaitForReportInProgress();
    if (const auto& waitForSending = ExceptionHandlerServices().WaitForReportSending)
        waitForSending(kSendingLimitAtExit);
    std::fflush(nullptr);
    std::_Exit(1);
}

void NoteFramesLeftByFault()
{
    State().framesLeftByFault = true;
    // A fatal signal of another thread reported meanwhile leaves the end to this one.
    NoteExitAfterReport();
}

bool FramesLeftByFault() { return State().framesLeftByFault.load(); }

void DoneExceptionHandler()
{
    THandlerState& state = State();
    WaitForReportInProgress();
    state.lastCallStack.reset();
    state.snapshot.reset();
    state.customData.clear();
    state.lastRecord = TCrashboxExceptionRecord{};
    state.currentOptions.reset();
}

} // namespace cv
