#pragma once
// The header line of one block of a call stack (one block per thread and one
// per memory leak), made from the block's first entry: for the report (with
// the report flag) and for the detailed dialog's call-stack list.

#include <cstdint>
#include <string>

#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/options/crashbox_records.h"

namespace cv {

// entry: the block's first entry. threads: the threads list; a thread whose
// priority is not known yet is asked for it now, and the answer is stored
// back. mainThreadID: the program's main thread. The texts come from the
// options (variables expanded).
std::string FormatCallStackHeader(const TCrashboxDebugInfo& entry, bool report, TCrashboxThreadsList& threads,
                                  const TCrashboxModuleOptions& options, uint32_t mainThreadID);

// Whether an entry opens a block of its own after the previous one shown
// (none: the first): another thread, another part of a thread (running,
// or where it was started from), the exception's line, or another note
// (the entries the stack scan found apart from the proven frames).
bool OpensCallStackBlock(const TCrashboxDebugInfo* previous, const TCrashboxDebugInfo& entry);

// The scheduling priority of a thread of this process (its nice value), or
// kUnknownThreadPriority when the thread is gone.
int32_t ThreadPriorityOf(uint32_t threadID);

} // namespace cv
