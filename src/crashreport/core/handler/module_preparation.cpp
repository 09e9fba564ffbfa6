#include "crashreport/core/handler/module_preparation.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

TModulePreparation::TModulePreparation(TCrashboxModulesList& list, std::chrono::milliseconds firstPause) : fList(list)
{
    // The core's own thread: no entry in the threads list, never paused by a report.
    TCoreThreadScope coreThread;
    fThread = std::thread([this, firstPause] { Run(firstPause); });
}

TModulePreparation::~TModulePreparation()
{
    {
        std::lock_guard guard(fLock);
        fStop = true;
    }
    fWake.notify_all();
    if (fThread.joinable())
        fThread.join();
}

bool TModulePreparation::UpToDate() const { return fPreparedGeneration.load() == LoadedModulesGeneration(); }

void TModulePreparation::Run(std::chrono::milliseconds firstPause)
{
    // The lowest priority: it takes no time the program or a report could use.
    ::setpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)), 19);
    std::chrono::milliseconds pause = firstPause;
    for (;;) {
        {
            std::unique_lock lock(fLock);
            if (fWake.wait_for(lock, pause, [this] { return fStop.load(); }))
                return;
        }
        const uint64_t generation = LoadedModulesGeneration();
        if (generation == fPreparedGeneration.load()) {
            // Nothing loaded since: look less and less often.
            pause = std::min(std::max(pause * 2, std::chrono::milliseconds(1000)), kLongestPause);
            continue;
        }
        // The program first: the largest tables, and in every report.
        for (const TLoadedModule& module : EnumerateLoadedModules()) {
            if (fStop.load())
                return;
            if (PrepareModuleInfo(fList, module, fStop))
                ++fPrepared;
        }
        fPreparedGeneration = generation;
        pause = std::chrono::milliseconds(1000);
    }
}

} // namespace cv
