#pragma once
// What the crash-report core does with the leak catcher (leak_catcher.h):
// start-up starts it as the program's options say (loCatchLeaks) and, when
// it is active, binds its callbacks to the core; shutdown runs its
// end-of-program steps while the core still runs.
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

#include "crashreport/core/leak_catcher.h"

namespace cv {

class TCrashboxModuleOptions;

// Start-up: the catcher started as the options say, and bound when active.
TLeakCatcherState StartLeakCatcherForProgram(const TCrashboxModuleOptions& options, const std::string& programFile);
// Shutdown: the end-of-program steps (the leak report) and the callbacks unbound.
void ShutDownLeakCatcherForProgram();
// The core's callbacks.
TLeakCallbacks CoreLeakCallbacks();

} // namespace cv
