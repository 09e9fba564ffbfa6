#include "support/failing_allocations.h"

#include "support/test_support.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<int64_t> gUntilFailure{-1};
std::atomic<bool> gFailed{false};
std::atomic<int64_t> gAllocations{0};
int64_t gPlanned = -1;            // the allocation to fail after ShortageFromHere
int64_t gAllocationsAtStart = 0;  // the count at the last ShortageFromHere
bool gPlannedOnThreads = false;   // gPlanned counts on each thread of the job's own

// Between ShortageFromHere and ShortageToHere with a shortage on the job's
// threads: each thread but the job's counts its own allocations, and the
// gThreadFailAt-th of each fails.
std::atomic<bool> gCountThreads{false};
std::atomic<int64_t> gThreadFailAt{-1};
std::atomic<int64_t> gMostOnAThread{0};
thread_local bool tJobThread = false;
thread_local int64_t tThreadAllocations = 0;

void* Allocate(std::size_t size, std::size_t alignment)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (gUntilFailure.load(std::memory_order_relaxed) >= 0 && gUntilFailure.fetch_sub(1) == 0) {
        gFailed = true;
        throw std::bad_alloc();
    }
    if (gCountThreads.load(std::memory_order_relaxed) && !tJobThread) {
        const int64_t k = tThreadAllocations++;
        int64_t most = gMostOnAThread.load(std::memory_order_relaxed);
        while (k + 1 > most && !gMostOnAThread.compare_exchange_weak(most, k + 1)) {
        }
        if (k == gThreadFailAt.load(std::memory_order_relaxed)) {
            gFailed = true;
            throw std::bad_alloc();
        }
    }
    if (size == 0)
        size = 1;
    void* p = alignment > __STDCPP_DEFAULT_NEW_ALIGNMENT__
        ? std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)
        : std::malloc(size);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void* AllocateNoThrow(std::size_t size, std::size_t alignment) noexcept
{
    try {
        return Allocate(size, alignment);
    } catch (...) {
        return nullptr;
    }
}

} // namespace

namespace cvtest {

void FailAllocationAfter(int64_t n)
{
    gFailed = false;
    gUntilFailure = n;
}

bool AllocationFailed() { return gFailed; }

void ShortageToHere()
{
    gUntilFailure = -1;
    gCountThreads = false;
    gThreadFailAt = -1;
}

void ShortageFromHere()
{
    gAllocationsAtStart = gAllocations.load();
    tJobThread = true;
    gMostOnAThread = 0;
    if (!gPlannedOnThreads) {
        if (gPlanned >= 0)
            FailAllocationAfter(gPlanned);
        return;
    }
    gFailed = false;
    gThreadFailAt = gPlanned;
    gCountThreads = true;
}

void ExpectJobSurvivesShortages(const std::vector<TShortRun>& runs)
{
    int stopped = 0;
    for (const TShortRun& r : runs) {
        EXPECT_TRUE(r.ended) << "the job crashed when allocation " << r.failAt << " failed (exit " << r.exit << ")";
        if (!r.ended)
            continue;
        if (!r.ok) {
            ++stopped;
            EXPECT_TRUE(r.failed) << "allocation " << r.failAt << ": the job failed without a shortage";
            EXPECT_TRUE(r.message.contains(QStringLiteral("memory"), Qt::CaseInsensitive))
                << "allocation " << r.failAt << ": " << r.message.toStdString();
        }
        EXPECT_TRUE(r.againOk) << "after allocation " << r.failAt << " failed, the job does not run again";
    }
    EXPECT_GT(stopped, 0) << "no shortage stopped the job";
}

namespace {

// The job once as it is: the allocations it makes from its ShortageFromHere
// (on its threads: the most one of them made).
int64_t AllocationsOf(const std::function<bool(QString& message)>& job, bool onThreads)
{
    QString first;
    gPlanned = -1;
    gPlannedOnThreads = onThreads;
    EXPECT_TRUE(job(first)) << "the job fails with all the memory it wants: " << first.toStdString();
    return onThreads ? gMostOnAThread.load() : gAllocations.load() - gAllocationsAtStart;
}

// In this process: the job with allocation n failing, then again with all
// the memory it wants.
TShortRun RunOnceShort(const std::function<bool(QString& message)>& job, int64_t n)
{
    TShortRun r;
    r.failAt = n;
    gPlanned = n;
    r.ok = job(r.message);
    r.failed = AllocationFailed();
    gPlanned = -1;
    FailAllocationAfter(-1);
    QString again;
    r.againOk = job(again);
    r.ended = true;
    return r;
}

std::vector<TShortRun> RunShort(const std::function<bool(QString& message)>& job, bool onThreads)
{
    const int64_t allocations = AllocationsOf(job, onThreads);
    std::vector<int64_t> counts;
    if (onThreads) {
        // Every one: a thread makes few, and those of its start matter most.
        for (int64_t n = 0; n < allocations; ++n)
            counts.push_back(n);
    } else {
        counts = {0, 1, 2, 3, 5, 8};
        for (int64_t n = 13; n < allocations; n = n * 3 / 2 + 1)
            counts.push_back(n);
    }
    std::vector<TShortRun> runs;
    for (const int64_t n : counts) {
        TShortRun r;
        r.failAt = n;
        int exit = 0;
        const QString out = runInChild(
            [&] {
                const TShortRun once = RunOnceShort(job, n);
                return QStringLiteral("%1\t%2\t%3\t%4").arg(int(once.ok)).arg(int(once.failed)).arg(int(once.againOk)).arg(once.message);
            },
            &exit);
        const QStringList parts = out.split(QLatin1Char('\t'));
        r.ended = exit == 0 && parts.size() >= 4;
        r.exit = exit;
        if (r.ended) {
            r.ok = parts[0] == QLatin1String("1");
            r.failed = parts[1] == QLatin1String("1");
            r.againOk = parts[2] == QLatin1String("1");
            r.message = parts.mid(3).join(QLatin1Char('\t'));
        }
        runs.push_back(r);
    }
    gPlannedOnThreads = false;
    return runs;
}

} // namespace

std::vector<TShortRun> RunShortOfMemoryAtEveryAllocation(const std::function<bool(QString& message)>& job)
{
    const int64_t allocations = AllocationsOf(job, false);
    std::vector<TShortRun> runs;
    for (int64_t n = 0; n < allocations; ++n)
        runs.push_back(RunOnceShort(job, n));
    return runs;
}

std::vector<TShortRun> RunShortOfMemory(const std::function<bool(QString& message)>& job)
{
    return RunShort(job, false);
}

std::vector<TShortRun> RunShortOfMemoryOnItsThreads(const std::function<bool(QString& message)>& job)
{
    return RunShort(job, true);
}

} // namespace cvtest

void* operator new(std::size_t size) { return Allocate(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__); }
void* operator new[](std::size_t size) { return Allocate(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, __STDCPP_DEFAULT_NEW_ALIGNMENT__); }
void* operator new(std::size_t size, std::align_val_t a) { return Allocate(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return Allocate(size, std::size_t(a)); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocateNoThrow(size, std::size_t(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
