#include "crashreport/core/handler/module_preparation.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <exception>
#include <new>
#include <optional>
#include <system_error>

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/report/report_files.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

namespace {

// The modules every report meets: those the calling thread's stack stands
// on, and the C++ runtime's.
std::vector<uintptr_t> ModulesOfEveryReport()
{
    std::vector<uintptr_t> handles;
    std::array<void*, 64> frames{};
    const int count = ::backtrace(frames.data(), int(frames.size()));
    for (int i = 0; i < count; ++i)
        handles.push_back(ModuleHandleOfAddress(frames[std::size_t(i)]));
    if (const void* runtime = ::dlsym(RTLD_DEFAULT, "__cxa_throw"))
        handles.push_back(ModuleHandleOfAddress(runtime));
    std::erase(handles, uintptr_t(0));
    std::sort(handles.begin(), handles.end());
    handles.erase(std::unique(handles.begin(), handles.end()), handles.end());
    return handles;
}

// The room left in the address space under the process's limit; none
// when there is no limit.
std::optional<uint64_t> AddressSpaceRoom()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::nullopt;
    // The pages mapped now: the first number of statm (read without the heap).
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::array<char, 64> text{};
    const ssize_t got = ::read(fd, text.data(), text.size() - 1);
    ::close(fd);
    if (got <= 0)
        return std::nullopt;
    const uint64_t mapped = std::strtoull(text.data(), nullptr, 10) * uint64_t(::sysconf(_SC_PAGESIZE));
    return mapped >= limit.rlim_cur ? 0 : uint64_t(limit.rlim_cur) - mapped;
}

} // namespace

TModulePreparation::TModulePreparation(TCrashboxModulesList& list, std::chrono::milliseconds firstPause, TFileVersionCache* fileVersions,
                                       uint64_t roomKept)
    : fList(list), fFileVersions(fileVersions), fRoomKept(roomKept), fFirst(ModulesOfEveryReport())
{
    // The core's own thread: no entry in the threads list, never paused by a report.
    TCoreThreadScope coreThread;
    // Without its thread nothing is readied: a report readies what it needs itself.
    TryStartThread(
        fThread,
        [this, firstPause] {
            // Readying ahead never ends the program (see the header).
            try {
                Run(firstPause);
            } catch (const std::bad_alloc&) {
                fShort = true;
                std::fputs("crash reports: the modules' records are not readied ahead (not enough memory); a report "
                           "reads them itself\n",
                           stderr);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "crash reports: the modules' records are not readied ahead (%s); a report reads them itself\n",
                             e.what());
            }
        },
        "readying the modules' records");
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
    // The start-up's background work begins with the folders that reports
    // of ended processes left behind (a reporter ended at logout).
    RemoveAbandonedReportFolders(ReportFolderBases());
    // The modules of every report, and the version notes, at once: a fault
    // before the first pass finds them ready (the notes are small).
    if (!Prepare(&fFirst))
        return;
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
        if (!Prepare(nullptr))
            return;
        ReadVersionNotes();
        if (fStop.load())
            return;
        fPreparedGeneration = generation;
        pause = std::chrono::milliseconds(1000);
    }
}

bool TModulePreparation::Prepare(const std::vector<uintptr_t>* only)
{
    for (const TLoadedModule& module : EnumerateLoadedModules()) {
        if (fStop.load())
            return false;
        if (only && !std::binary_search(only->begin(), only->end(), module.Handle))
            continue;
        if (!RoomToReady(module)) {
            fShort = true;
            continue;
        }
        if (PrepareModuleInfo(fList, module, fStop, fFileVersions))
            ++fPrepared;
    }
    return !fStop.load();
}

bool TModulePreparation::RoomToReady(const TLoadedModule& module) const
{
    const std::optional<uint64_t> room = AddressSpaceRoom();
    if (!room)
        return true;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(module.FileName, error);
    return *room >= fRoomKept + 4 * (error ? 0 : uint64_t(size));
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
