#include "crashreport/core/handler/module_preparation.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

TModulePreparation::TModulePreparation(TCrashboxModulesList& list, std::chrono::milliseconds firstPause, TFileVersionCache* fileVersions)
    : fList(list), fFileVersions(fileVersions)
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
    // The version notes first, at once: they are small, and a fault before
    // the first pass finds them in the cache.
    ReadVersionNotes();
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
            if (PrepareModuleInfo(fList, module, fStop, fFileVersions))
                ++fPrepared;
        }
        ReadVersionNotes();
        if (fStop.load())
            return;
        fPreparedGeneration = generation;
        pause = std::chrono::milliseconds(1000);
    }
}

void TModulePreparation::ReadVersionNotes()
{
    if (!fFileVersions)
        return;
    std::string description, version;
    for (const TLoadedModule& module : EnumerateLoadedModules()) {
        if (fStop.load())
            return;
        fFileVersions->Get(module.FileName, description, version);
    }
    // The running programs' notes; the list made here is not kept.
    TCrashboxProcessesList processes;
    RefreshProcessesList(processes, "/proc", fFileVersions, &fStop);
}

} // namespace cv
