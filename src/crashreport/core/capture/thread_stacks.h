#pragma once
// The call stacks a report lists besides the raising thread's own: where a
// thread was started from (the copy of its creator's stack taken when the
// thread was made) and the stacks of the other threads, read while they are
// paused.

#include <span>

#include "crashreport/core/options/crashbox_records.h"

namespace cv {

// Adds the stack the thread's creator left (its entries under the
// creator's thread ID); nothing when there is no copy or no modules list.
void AddCreatorStack(TCrashboxStackList& list, TCrashboxModulesList* modules, const TCrashboxThreadInfo& thread);
// Pauses the threads for the time it takes to read their stacks, adds the
// stack of each that answered (from the instruction it was paused at)
// followed by where it was started from, and lets them go on. Nothing
// without threads or a modules list.
void AddOtherThreadsStacks(TCrashboxStackList& list, TCrashboxModulesList* modules,
                           std::span<const TCrashboxThreadInfo* const> threads);

} // namespace cv
