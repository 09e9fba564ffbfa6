#include "crashreport/core/capture/thread_stacks.h"

#include <vector>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/thread_pause.h"

namespace cv {

namespace {

TCallStackScan ScanOf(TCrashboxStackList& list, TCrashboxModulesList* modules, uintptr_t from, uintptr_t to, uint32_t threadID,
                      bool running)
{
    TCallStackScan scan;
    scan.List = &list;
    scan.Modules = modules;
    scan.ErrorAddr = 0;
    scan.StackFrom = from;
    scan.StackTo = to;
    scan.RunningThread = running;
    scan.ThreadID = threadID;
    return scan;
}

} // namespace

void AddCreatorStack(TCrashboxStackList& list, TCrashboxModulesList* modules, const TCrashboxThreadInfo& thread)
{
    if (!thread.CallerStackDump || thread.CallerStackDump->empty() || !modules)
        return;
    const auto from = reinterpret_cast<uintptr_t>(thread.CallerStackDump->data());
    TCallStackScan scan = ScanOf(list, modules, from, from + thread.CallerStackDump->size(), thread.CallerID, false);
    // The creator's registers where the copy begins: its frames are proven
    // (down to the thread's start, the scan then has nothing to add).
    if (thread.CallerContext && thread.CallerStackFrom != 0) {
        scan.Context = thread.CallerContext.get();
        scan.StackOrigin = thread.CallerStackFrom;
    }
    BuildCallStackFromStack(scan);
}

void AddOtherThreadsStacks(TCrashboxStackList& list, TCrashboxModulesList* modules,
                           std::span<const TCrashboxThreadInfo* const> threads)
{
    if (threads.empty() || !modules)
        return;
    std::vector<uint32_t> ids;
    for (const TCrashboxThreadInfo* thread : threads)
        ids.push_back(thread->ID);
    // Only read: a thread that waits in a call of the system is read as it
    // waits, so that no call of the program fails for the report.
    TThreadPause reading;
    reading.Pause(ids, std::chrono::seconds(1), TPauseWay::Read);
    for (std::size_t i = 0; i < threads.size(); ++i) {
        const TPausedThread& paused = reading.Threads()[i];
        if (!paused.Answered || paused.InstructionPointer == 0 || paused.StackPointer == 0)
            continue;
        TCallStackScan scan = ScanOf(list, modules, 0, 0, paused.ID, true);
        AddPausedThreadCallStack(scan, paused, threads[i]->TopOfStack);
        AddCreatorStack(list, modules, *threads[i]);
    }
}

} // namespace cv
