#include "crashreport/core/handler/report_threads.h"

#include <QThreadPool>

#include <dlfcn.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "crashreport/core/capture/code_hooks.h"

namespace cv {

namespace {

struct TThreadLimit {
    std::mutex lock;
    int depth = 0;
    // depth > 0, read by the pool door without the lock.
    std::atomic<bool> inReport{false};
    // The pool's own limit, given back at the last end; 0: not changed.
    int previous = 0;
};

TThreadLimit& Limit()
{
    static TThreadLimit limit;
    return limit;
}

using TPoolStart = void (*)(QThreadPool*, std::function<void()>, int);

// QThreadPool::start(std::function<void()>, int priority).
constexpr const char* kPoolStart = "_ZN11QThreadPool5startESt8functionIFvvEEi";
// The pool's routine, once known (libQt6Core stays loaded); whether the
// door is in libQt6Gui's import slot.
std::atomic<TPoolStart> gRealPoolStart{nullptr};
std::atomic<bool> gDoorInstalled{false};

// In the place of the pool's routine: a member function takes its object
// first, and a std::function passed by value travels as the address of the
// caller's copy, as it does to this free function. While a report is made
// the piece is done here.
void PoolStartDoor(QThreadPool* pool, std::function<void()> work, int priority)
{
    const TPoolStart start = gRealPoolStart.load();
    if (Limit().inReport.load() || !start) {
        if (work)
            work();
        return;
    }
    start(pool, std::move(work), priority);
}

} // namespace

bool InstallReportPoolDoor()
{
    if (gDoorInstalled.load())
        return true;
    // Known before the slot changes: a piece handed over meanwhile goes to the pool.
    const auto real = reinterpret_cast<TPoolStart>(::dlsym(RTLD_DEFAULT, kPoolStart));
    if (!real)
        return false;
    gRealPoolStart = real;
    if (!HooksStarted())
        InitHooks();
    void* original = nullptr;
    try {
        gDoorInstalled = HookImportInModules({}, kPoolStart, reinterpret_cast<void*>(&PoolStartDoor), original, {"libQt6Gui.so.6"}, true);
    } catch (const EHookError&) {
        return false;
    }
    return gDoorInstalled.load();
}

void RemoveReportPoolDoor() { gDoorInstalled = false; }

void BeginReportThreadLimit()
{
    TThreadLimit& limit = Limit();
    std::lock_guard guard(limit.lock);
    if (limit.depth++ != 0)
        return;
    limit.inReport = true;
    // Null once the program's statics are gone (a leak report at the end).
    QThreadPool* pool = QThreadPool::globalInstance();
    if (!pool)
        return;
    // The threads busy with the program's own jobs keep going; beside them
    // one thread serves the painting. The pool starts a thread only when
    // none of its own is idle, so no more than one is started.
    const int during = pool->activeThreadCount() + 1;
    limit.previous = pool->maxThreadCount();
    if (limit.previous > during)
        pool->setMaxThreadCount(during);
    else
        limit.previous = 0;
}

void EndReportThreadLimit()
{
    TThreadLimit& limit = Limit();
    std::lock_guard guard(limit.lock);
    if (limit.depth == 0 || --limit.depth != 0)
        return;
    limit.inReport = false;
    if (QThreadPool* pool = QThreadPool::globalInstance(); pool && limit.previous > 0)
        pool->setMaxThreadCount(limit.previous);
    limit.previous = 0;
}

int ReportPoolThreadLimit()
{
    const QThreadPool* pool = QThreadPool::globalInstance();
    return pool ? pool->maxThreadCount() : 0;
}

} // namespace cv
