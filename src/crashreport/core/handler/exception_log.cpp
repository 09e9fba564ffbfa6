#include "crashreport/core/handler/exception_log.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "crashreport/core/capture/code_hooks.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/handler/crashbox_events.h"
#include "crashreport/core/handler/descriptor_reserve.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_thread.h"
#include "crashreport/core/handler/internal_errors.h"
#include "crashreport/core/handler/leak_reports.h"
#include "crashreport/core/handler/module_preparation.h"
#include "crashreport/core/handler/report_helper.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/date_time.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/internal_error_hooks.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_arena.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

// The core's own source files: their frames are the report's machinery.
const std::vector<std::string> kOwnUnitFileNames = {
    "call_stack.cpp",         "code_hooks.cpp",        "compiled_debug_data.cpp",  "crashbox_events.cpp",
    "date_time.cpp",          "exception_doors.cpp",   "exception_handler.cpp",    "exception_log.cpp",
    "exception_thread.cpp",   "files_and_folders.cpp", "internal_error_hooks.cpp", "internal_errors.cpp",
    "jump_thunks.cpp",        "log_file.cpp",          "log_saving.cpp",           "memory_map.cpp",
    "profile_file.cpp",       "report_text.cpp",       "runtime_doors.cpp",        "signal_doors.cpp",
    "text_routines.cpp",      "thread_doors.cpp",      "thread_pause.cpp",         "utf_conversion.cpp",
    "version_compare.cpp",
};

struct TCoreState {
    std::mutex lock;
    int initCount = 0;
    TExceptionLogStartup startup;
    std::atomic<bool> switchedOn{false};
    std::atomic<bool> handlingEnabled{false};
    std::atomic<bool> doorsInstalled{false};
    std::atomic<bool> initialising{true};
    std::atomic<bool> finalising{false};
    // Started again only to report the leaks at the end of the program.
    bool reducedForLeaks = false;
    bool startedHooks = false;
    TMainThreadInfo mainThread;
    std::unique_ptr<TCrashboxModulesList> modules;
    std::unique_ptr<TCrashboxProcessesList> processes;
    std::unique_ptr<TCrashboxThreadsList> threads;
    std::atomic<TCrashboxModulesList*> modulesView{nullptr};
    std::atomic<TCrashboxProcessesList*> processesView{nullptr};
    std::atomic<TCrashboxThreadsList*> threadsView{nullptr};
    // The doors' uses of the threads list in progress (TThreadsListUse).
    std::atomic<int> threadsUses{0};
    // The programs' version notes for the processes table, kept between reports.
    TFileVersionCache fileVersions;
    // Readies the modules' records for a report; goes before the lists.
    std::unique_ptr<TModulePreparation> preparation;
    // Does a part of a report beside the report's thread.
    std::unique_ptr<TReportHelper> helper;
    double startTime = 0;

    // The threads list goes only once no door uses it any more: its view is
    // emptied first, so no new use finds it.
    void DropThreads()
    {
        threadsView = nullptr;
        while (threadsUses.load() != 0)
            std::this_thread::yield();
        threads.reset();
    }
    // A program that never ended the core: the list goes at the program's end.
    ~TCoreState() { DropThreads(); }
};

TCoreState& Core()
{
    static TCoreState core;
    return core;
}

// The failure of a start-up or shut-down section.
void SectionFailed(const std::string& section)
{
    try {
        throw std::runtime_error("Section " + section);
    } catch (...) {
        HandleInternalError(section);
    }
}

// The program's options: compiled into its file, then its options file.
void LoadProgramOptions(TCrashboxModuleOptions& options, const std::string& programFile, const std::string& optionsFile)
{
    TCrashboxModuleInfo program;
    program.Name = programFile;
    if (LoadCompiledInData(programFile, program) && program.ExtraInformation.Options)
        options.Assign(program.ExtraInformation.Options.get());
    // A file that cannot be used changes nothing, and the user learns why.
    std::string error;
    if (!optionsFile.empty() && !options.LoadFromFile(optionsFile, &error))
        std::fprintf(stderr, "Crashbox: the options file \"%s\" was not used (%s); the program's own options stay.\n",
                     optionsFile.c_str(), error.c_str());
}

void StartUp()
{
    TCoreState& core = Core();
    const TExceptionLogStartup& startup = core.startup;
    // [2] Failures of the core's sections go to the internal error log.
    SetInternalErrorProcedure(&SectionFailed);
    // [3] This module handles its exceptions itself (the program links the core).
    core.switchedOn = true;
    SetLastHandledExceptionAddress(0);
    ClearEventCells();
    ClearThreadRaiseInfo();
    // [5] Without the core's data the core stays off.
    const std::string programFile = startup.ProgramFile.empty() ? GetExeFileNameA() : startup.ProgramFile;
    const bool carriesData = startup.CarriesCoreData ? *startup.CarriesCoreData : HasModuleData(MainModuleHandle());
    if (!carriesData) {
        core.switchedOn = false;
        return;
    }
    // The report's own memory, at hand before any fault.
    ReserveReportArena();
    // [6] The lists, the options, the handler's state.
    core.modules = std::make_unique<TCrashboxModulesList>();
    core.processes = std::make_unique<TCrashboxProcessesList>();
    core.modulesView = core.modules.get();
    core.processesView = core.processes.get();
    ActivateCrashbox(programFile, std::make_unique<TCrashboxModuleOptionsEx>(programFile));
    LoadProgramOptions(CurrentCrashboxOptions(), programFile, startup.OptionsFile);
    InitExceptionHandler();
    core.startTime = NowDateTime();
    SetModulePasswordRequest([](const std::string&, std::string& password) {
        RaisePasswordRequest(LastExceptionRecord(), password);
        return !password.empty();
    });
    // [7] The main thread.
    core.mainThread.ID = CurrentThreadID();
    core.mainThread.Handle = ::pthread_self();
    core.mainThread.TopOfStack = GetStackBase();
    SetThreadTopOfStack(core.mainThread.TopOfStack);
    core.threads = std::make_unique<TCrashboxThreadsList>();
    core.threadsView = core.threads.get();
    PCrashboxThreadInfo main = core.threads->NewItem();
    main->ID = core.mainThread.ID;
    main->Handle = uintptr_t(core.mainThread.Handle);
    main->TopOfStack = core.mainThread.TopOfStack;
    // [8] The core's own units; handling is on.
    ClearInternalWarning();
    SetCrashboxUnitFileNames(kOwnUnitFileNames);
    core.handlingEnabled = true;
    // [9] The doors.
    if (core.reducedForLeaks) {
        // Other threads may still be paused while the report is made.
        InstallThreadPauseHandler();
        core.initialising = false;
        return;
    }
    if (!HooksStarted()) {
        InitHooks();
        core.startedHooks = true;
    }
    InstallExceptionDoors();
    InstallThreadPauseHandler();
    core.doorsInstalled = true;
    // [10] The watchdog; [12] the leak catcher as the options say, bound
    // to the core when it is on. Not for the reduced start-up of a leak
    // report: the catcher is ending then.
    if (!core.reducedForLeaks) {
        StartFreezeWatchdog();
        StartLeakCatcherForProgram(CurrentCrashboxOptions(), programFile);
    }
    // What a report needs of the modules, readied in the background.
    core.preparation = std::make_unique<TModulePreparation>(*core.modules, TModulePreparation::kFirstPause, &core.fileVersions);
    core.helper = std::make_unique<TReportHelper>();
    core.initialising = false;
}

// What works beside the program stops: the readying of modules, the
// report's helper (once a report in progress is done), the watchdog.
void StopBackgroundWork(TCoreState& core)
{
    core.preparation.reset();
    WaitForReportInProgress();
    core.helper.reset();
    StopFreezeWatchdog();
}

// The doors go back (the report thread ends with the signal doors).
void RemoveDoors(TCoreState& core)
{
    if (core.doorsInstalled.exchange(false)) {
        RemoveExceptionDoors();
        RemoveThreadPauseHandler();
        if (core.startedHooks) {
            DoneHooks();
            core.startedHooks = false;
        }
    } else if (core.reducedForLeaks) {
        RemoveThreadPauseHandler();
    }
}

void ShutDown()
{
    TCoreState& core = Core();
    if (!core.switchedOn.load())
        return;
    if (!core.reducedForLeaks)
        ReportLeaksAtExit();
    core.finalising = true;
    // Nothing more is readied for a report.
    core.preparation.reset();
    // [1-3] A report in progress ends first; the watchdog goes.
    DoneExceptionHandler();
    core.helper.reset();
    StopFreezeWatchdog();
    // [4] The doors go back.
    RemoveDoors(core);
    // [5, 6] Handling off; the lists and the options go; the log closes.
    core.handlingEnabled = false;
    core.modulesView = nullptr;
    core.processesView = nullptr;
    core.DropThreads();
    core.modules.reset();
    core.processes.reset();
    SetModulePasswordRequest({});
    ClearThreadRaiseInfo();
    DeactivateCrashbox();
    CloseSharedLogFile();
    // [7]
    core.switchedOn = false;
    ReleaseLeakReserve();
    ReleaseDescriptors(TDescriptorUse::Reading);
    ReleaseDescriptors(TDescriptorUse::Saving);
}

// Exit has reached the core: its handler was registered as the core first
// started, so it runs after the destructors of the static objects made
// since, during which the core, left on by DoneExceptionLogAtExit (or by a
// program that calls exit without ending it), still reported their faults.
// The core ends here as far as the process's end needs: the doors go back
// and the core's threads end; the lists and options are left to the
// process's end, and what is destroyed after this is not reported.
void EndAtExit()
{
    TCoreState& core = Core();
    {
        std::lock_guard guard(core.lock);
        if (core.initCount == 0 || core.reducedForLeaks)
            return;
        core.initCount = 0;
    }
    core.finalising = true;
    StopBackgroundWork(core);
    RemoveDoors(core);
    core.handlingEnabled = false;
    core.switchedOn = false;
}

} // namespace

void InitExceptionLog(const TExceptionLogStartup& startup)
{
    TCoreState& core = Core();
    {
        std::lock_guard guard(core.lock);
        if (core.initCount++ != 0)
            return;
        if (&startup != &core.startup)
            core.startup = startup;
        core.initialising = true;
        core.finalising = false;
    }
    CallUnitSection(&StartUp, "ExceptionLog.Init");
    if (core.switchedOn.load()) {
        ReserveLeakReserve();
        HoldReportDescriptors();
    }
    static std::once_flag endAtExit;
    std::call_once(endAtExit, [] { std::atexit(&EndAtExit); });
}

void DoneExceptionLogAtExit()
{
    TCoreState& core = Core();
    {
        std::lock_guard guard(core.lock);
        if (core.initCount == 0)
            return;
        if (core.initCount > 1) {
            --core.initCount;
            return;
        }
    }
    // The last: the core stays on for the program's end; what works beside
    // the program stops now.
    StopBackgroundWork(core);
}

void DoneExceptionLog()
{
    TCoreState& core = Core();
    {
        std::lock_guard guard(core.lock);
        if (core.initCount == 0 || --core.initCount != 0)
            return;
    }
    CallUnitSection(&ShutDown, "ExceptionLog.Done");
    core.finalising = false;
    core.initialising = true;
}

bool StartForLeakReport()
{
    TCoreState& core = Core();
    {
        std::lock_guard guard(core.lock);
        if (core.initCount != 0)
            return false;
        core.reducedForLeaks = true;
    }
    InitExceptionLog(core.startup);
    return true;
}

void DoneAfterLeakReport()
{
    DoneExceptionLog();
    std::lock_guard guard(Core().lock);
    Core().reducedForLeaks = false;
}

bool ExceptionLogStarted()
{
    std::lock_guard guard(Core().lock);
    return Core().initCount > 0;
}

bool CoreSwitchedOn() { return Core().switchedOn.load(); }
bool HandlingEnabled() { return Core().handlingEnabled.load(); }
bool ForwardToMain() { return false; }
bool DoorsInstalled() { return Core().doorsInstalled.load(); }
bool StillInitialising() { return Core().initialising.load(); }
bool Finalising() { return Core().finalising.load(); }

const TMainThreadInfo& MainThread() { return Core().mainThread; }
bool IsMainThread() { return Core().mainThread.ID != 0 && CurrentThreadID() == Core().mainThread.ID; }

TCrashboxModulesList* ModulesList() { return Core().modulesView.load(); }
TCrashboxProcessesList* ProcessesList() { return Core().processesView.load(); }
TFileVersionCache& FileVersions() { return Core().fileVersions; }
TCrashboxThreadsList* ThreadsList() { return Core().threadsView.load(); }
bool ModulesReadyForReport() { return Core().preparation && Core().preparation->UpToDate(); }
TReportHelper* ReportHelper() { return Core().helper.get(); }

// The use is counted before the list is looked up, and DropThreads empties
// the view before it looks at the count: either the use finds no list, or
// the list stays until the use is over.
TThreadsListUse::TThreadsListUse()
{
    TCoreState& core = Core();
    ++core.threadsUses;
    m_list = core.threadsView.load();
}

TThreadsListUse::~TThreadsListUse() { --Core().threadsUses; }

double ProgramStartTime() { return Core().startTime; }

const std::vector<std::string>& CrashboxUnitFileNames() { return kOwnUnitFileNames; }

} // namespace cv
