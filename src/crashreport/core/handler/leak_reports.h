#pragma once
// What the crash-report core does with the leak catcher (leak_catcher.h):
// start-up starts it as the program's options say (loCatchLeaks) and, when
// it is active, binds its callbacks to the core; shutdown has its
// end-of-program steps run when the process exits (after main, once its
// objects are gone). By then the core has been shut down: the leak report
// starts it again, reduced (no doors, no watchdog), for the time of the
// report. Blocks of objects that live as long as the program are reported
// too (and freed with loFreeAllLeaks before their destructors run).
//
// The callbacks:
// - a memory overrun or a second free of a block (with
//   loCatchLeaksExceptions) is reported at once as an EMemoryOverrun or
//   EMultiFree exception of the freeing thread;
// - the blocks never freed become one EMemoryLeak report ("Memory Leak:
//   Total size=N - Count=M"): a call-stack block per leak, headed by its
//   type, size and count, with the calls that allocated it. Nothing is
//   shown and no event runs for it (the program is ending), and its report
//   has no assembler and CPU sections.
//
// A program that does not link the catcher's operators (the tool) keeps the
// C++ runtime's memory manager: the catcher stays off and nothing is bound.

#include "crashreport/core/leaks/leak_catcher.h"

namespace cv {

class TCrashboxModuleOptions;

// Start-up: the catcher started as the options say, and bound when active.
TLeakCatcherState StartLeakCatcherForProgram(const TCrashboxModuleOptions& options, const std::string& programFile);
// Shutdown: the end-of-program steps are to run as the process exits.
void ReportLeaksAtExit();
// The end-of-program steps (the leak report), then the callbacks unbound.
void ShutDownLeakCatcherForProgram();
// The core's callbacks.
TLeakCallbacks CoreLeakCallbacks();

} // namespace cv
