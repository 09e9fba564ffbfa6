#include "crashreport/core/report/call_stack_header.h"

#include <QThread>

#include <cerrno>

#include <sys/resource.h>

#include "crashreport/core/support/report_helpers.h"

namespace cv {

bool OpensCallStackBlock(const TCrashboxDebugInfo* previous, const TCrashboxDebugInfo& entry)
{
    return !previous || entry.ThreadID != previous->ThreadID || entry.RunningThread != previous->RunningThread || entry.ErrorLine
           || entry.CustomMsg != previous->CustomMsg;
}

int32_t ThreadPriorityOf(uint32_t threadID)
{
    if (!IsThreadRunning(pid_t(threadID)))
        return kUnknownThreadPriority;
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, id_t(threadID));
    return errno == 0 ? int32_t(nice) : kUnknownThreadPriority;
}

std::string FormatCallStackHeader(const TCrashboxDebugInfo& entry, bool report, TCrashboxThreadsList& threads,
                                  const TCrashboxModuleOptions& options, uint32_t mainThreadID)
{
    auto text = [&options](TMessageType type) { return options.GetExpandedText(type); };
    if (entry.IsALeak) {
        const std::string type = entry.LeakType == "Data" ? text(mtCallStack_LeakData) : entry.LeakType;
        return std::string(report ? "+" : "") + text(mtCallStack_LeakCaption) + ": " + text(mtCallStack_LeakType) + "=" + type
               + "; " + text(mtCallStack_LeakSize) + "=" + std::to_string(int32_t(entry.LeakSize)) + "; "
               + text(mtCallStack_LeakCount) + "=" + std::to_string(int32_t(entry.LeakCount));
    }

    std::string header;
    if (!entry.RunningThread)
        header = text(mtCallStack_CallingThread);
    else if (entry.ErrorLine)
        header = (report ? "*" : "") + text(mtCallStack_ExceptionThread);
    else
        header = text(mtCallStack_RunningThread);
    header += ": ";

    // A copy of the thread's record, under the read lock.
    std::string priority = "??", className;
    TCrashboxThreadInfo thread;
    bool found = false;
    threads.BeginRead();
    const int index = threads.FindByThreadID(entry.ThreadID);
    if (index >= 0) {
        thread = *threads.GetItem(index);
        found = true;
    }
    threads.EndRead();
    if (found) {
        if (thread.Priority == kUnknownThreadPriority) {
            thread.Priority = ThreadPriorityOf(thread.ID);
            threads.BeginWrite();
            const int again = threads.FindByThreadID(entry.ThreadID);
            if (again >= 0)
                threads.GetItem(again)->Priority = thread.Priority;
            threads.EndWrite();
        }
        priority = thread.Priority == kUnknownThreadPriority ? "??" : std::to_string(thread.Priority);
        if (QThread* object = thread.Thread.data())
            className = object->metaObject()->className();
    }

    const int32_t id = int32_t(entry.ThreadID) < 0 ? 0 : int32_t(entry.ThreadID);
    header += text(mtCallStack_ThreadID) + "=" + std::to_string(id) + "; " + text(mtCallStack_ThreadPriority) + "=" + priority;
    if (report || !className.empty())
        header += "; " + text(mtCallStack_ThreadClass) + "=" + className;
    if (entry.ThreadID == mainThreadID)
        header += "; [" + text(mtCallStack_MainThread) + "]";
    if (!entry.CustomMsg.empty())
        header += " (" + entry.CustomMsg + ")";
    return header;
}

} // namespace cv
