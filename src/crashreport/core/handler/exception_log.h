#pragma once
// Start-up and shutdown of the crash-report core, and the process-wide state
// they create: the switches every interception door reads first, the main
// thread's record and the lists of modules, processes and threads.
//
// The program calls InitExceptionLog first thing in main (before any other
// thread exists) and DoneExceptionLog last; both run once, counted, through
// CallUnitSection under the names "ExceptionLog.Init" and
// "ExceptionLog.Done". Start-up decides whether this module handles
// exceptions itself, switches crash reporting on (the program's options, a
// TCrashboxModuleOptionsEx), records the main thread, installs the doors
// (exception_doors.h) and starts the freeze watchdog (exception_thread.h).
// Shutdown waits for a report in progress and undoes it all in reverse.

#include <pthread.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/file_version.h"

namespace cv {

struct TExceptionLogStartup {
    // The program file (the running program's when empty).
    std::string ProgramFile;
    // The options of the program, when it has them in a file of its own
    // (read after the compiled-in ones); none: the compiled-in options, or
    // the defaults.
    std::string OptionsFile;
    // Whether the program carries the core's data; unset: its file is asked
    // (the ELDATA section the build adds). Without it the core stays off:
    // no door is installed, and every door that is reached anyway calls
    // what it replaced.
    std::optional<bool> CarriesCoreData;
};

void InitExceptionLog(const TExceptionLogStartup& startup = {});
void DoneExceptionLog();
// The program's own end, for the last start-up: the core stays on while
// exit destroys the program's static objects, so that a fault in one of
// their destructors is reported, and ends as exit reaches the handler it
// registered when it first started (after the destructors of the objects
// made since; the objects made before it, the core's own among them, and
// the libraries' ends are not reported). What works beside the program
// (the watchdog, the readying of modules, the report's helper) stops now.
// A program that calls exit without ending the core ends the same way.
void DoneExceptionLogAtExit();
// Start-up has run and shutdown has not.
bool ExceptionLogStarted();
// The reduced start-up that reports the leaks found at the very end of the
// program, when the core has been shut down already: the lists, the options
// and the handler's state, without doors, watchdog or leak catcher. False
// (nothing done) while the core runs. DoneAfterLeakReport undoes it.
bool StartForLeakReport();
void DoneAfterLeakReport();

// Start-up for the life of the object: the first object of main, so that
// the core starts first and goes last (through the program's end:
// DoneExceptionLogAtExit).
class TExceptionLogScope {
public:
    explicit TExceptionLogScope(const TExceptionLogStartup& startup = {}) { InitExceptionLog(startup); }
    ~TExceptionLogScope() { DoneExceptionLogAtExit(); }
    TExceptionLogScope(const TExceptionLogScope&) = delete;
    TExceptionLogScope& operator=(const TExceptionLogScope&) = delete;
};

// --- The switches ---

// The core's handling is on: read first by every door.
bool CoreSwitchedOn();
// Handling is enabled (cleared at shutdown, before the lists go).
bool HandlingEnabled();
// This module is not the main module, and the main module carries the core:
// the doors forward to the main module's exports. Never the case for a
// program that links the core itself.
bool ForwardToMain();
// The doors were installed by start-up.
bool DoorsInstalled();
// The program is before the end of start-up, or in shutdown.
bool StillInitialising();
bool Finalising();

// --- The main thread, recorded at start-up ---

struct TMainThreadInfo {
    uint32_t ID = 0;
    pthread_t Handle{};
    uintptr_t TopOfStack = 0;
};
const TMainThreadInfo& MainThread();
bool IsMainThread();

// --- The process-wide lists (null before start-up and after shutdown) ---

TCrashboxModulesList* ModulesList();
TCrashboxProcessesList* ProcessesList();
// The programs' version notes, kept for the processes table.
TFileVersionCache& FileVersions();
TCrashboxThreadsList* ThreadsList();
// Whether the records of every module loaded now are ready for a report
// (module_preparation.h); false while the core is off. For the thread that
// starts and ends the core.
bool ModulesReadyForReport();
// The thread that does a part of a report beside the report's own; none
// before start-up has ended or after shutdown.
class TReportHelper;
TReportHelper* ReportHelper();

// The threads list as the doors of any thread use it (a thread starting or
// ending, a thread being made): for as long as one of these lives, the
// core's end waits before the list goes. Threads end at any moment, also
// while the core ends (the window framework's pooled threads finish as the
// application object goes, and leave the list after their work): a list
// taken before it went must not be freed under them. Null when there is no
// list; keep one only for a few steps on the list.
class TThreadsListUse {
public:
    TThreadsListUse();
    ~TThreadsListUse();
    TThreadsListUse(const TThreadsListUse&) = delete;
    TThreadsListUse& operator=(const TThreadsListUse&) = delete;
    TCrashboxThreadsList* get() const { return m_list; }
    TCrashboxThreadsList* operator->() const { return m_list; }
    explicit operator bool() const { return m_list != nullptr; }

private:
    TCrashboxThreadsList* m_list;
};

// The time the program started (local time, days since 1899-12-30).
double ProgramStartTime();

// The sorted list of the core's own unit file names (the report leaves their
// frames out of its call stacks when it is not reporting an error of its own).
const std::vector<std::string>& CrashboxUnitFileNames();

} // namespace cv
