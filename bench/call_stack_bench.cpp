// bench-deps: cv_crashcore
// The call stacks a report builds: 20 threads of this program, each parked
// at its own call depth, are paused, their stacks scanned and resolved to
// source lines, and resumed. The goal: all twenty in under 100 ms once the
// modules' debug data is loaded (the first report loads it; it is timed
// apart). Each stack is checked to name its thread's functions, so a fast
// wrong answer does not pass.
//
// Then the pause soak: 50 busy threads paused and resumed 1,000 times in a
// row; every thread must answer every time and run again after each round.
//
//   call_stack_bench [threads] [soak rounds]

#include "bench_support.h"
#include "parked_threads.h"

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/options/crashbox_records.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>


namespace {

using namespace cv;

struct Report {
    double seconds = 0;
    int entries = 0;
    bool named = true; // every stack shows Park and Descend with lines
};

Report BuildReport(TCrashboxModulesList& modules, const std::vector<uint32_t>& ids)
{
    Report report;
    cvbench::Stopwatch watch;
    std::vector<std::unique_ptr<TCrashboxStackList>> stacks;
    {
        TThreadPause pause;
        pause.Pause(ids);
        for (const TPausedThread& thread : pause.Threads()) {
            stacks.push_back(std::make_unique<TCrashboxStackList>());
            TCallStackScan scan;
            scan.List = stacks.back().get();
            scan.Modules = &modules;
            scan.RunningThread = true;
            AddPausedThreadCallStack(scan, thread);
        }
    }
    report.seconds = watch.seconds();
    for (const auto& list : stacks) {
        bool park = false, descend = false;
        for (int i = 0; i < list->Count(); ++i) {
            const TCrashboxDebugInfo& e = *list->GetItem(i);
            park |= e.ProcedureName.find("Park(") != std::string::npos && e.Line > 0;
            descend |= e.ProcedureName.find("Descend(") != std::string::npos && e.Line > 0;
        }
        report.named &= park && descend;
        report.entries += list->Count();
    }
    return report;
}

bool Soak(int rounds)
{
    constexpr int kThreads = 50;
    std::vector<std::atomic<uint64_t>> counters(kThreads);
    std::vector<std::atomic<uint32_t>> ids(kThreads);
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    // Those started end should the next one not start (the failure goes on).
    auto endThreads = [&] {
        stop = true;
        for (auto& t : threads)
            t.join();
    };
    try {
        for (int i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                ids[std::size_t(i)] = CurrentThreadID();
                while (!stop.load(std::memory_order_relaxed))
                    counters[std::size_t(i)].fetch_add(1, std::memory_order_relaxed);
            });
    } catch (...) {
        endThreads();
        throw;
    }
    std::vector<uint32_t> wanted;
    for (auto& id : ids) {
        while (id.load() == 0)
            std::this_thread::yield();
        wanted.push_back(id);
    }
    int unanswered = 0, stuck = 0;
    double pausing = 0;
    cvbench::Stopwatch watch;
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint64_t> seen(kThreads);
        {
            TThreadPause pause;
            cvbench::Stopwatch pauseWatch;
            pause.Pause(wanted);
            pausing += pauseWatch.seconds();
            for (const TPausedThread& t : pause.Threads())
                unanswered += !t.Answered;
            for (int i = 0; i < kThreads; ++i)
                seen[std::size_t(i)] = counters[std::size_t(i)];
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        for (int i = 0; i < kThreads; ++i) {
            while (counters[std::size_t(i)] <= seen[std::size_t(i)] && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            stuck += counters[std::size_t(i)] <= seen[std::size_t(i)];
        }
    }
    const double seconds = watch.seconds();
    endThreads();
    std::printf("pause soak: %d rounds of %d busy threads in %.2f s (%.2f ms a round, of which pausing %.2f ms); unanswered %d, "
                "not running again %d\n",
                rounds, kThreads, seconds, seconds * 1000 / rounds, pausing * 1000 / rounds, unanswered, stuck);
    return unanswered == 0 && stuck == 0;
}

} // namespace

int main(int argc, char** argv)
{
    constexpr const char* kUsage = "usage: call_stack_bench [threads] [soak rounds]\n"
                                   "  threads: 1 to 200 (default 20); soak rounds: 0 to 1000000 (default 1000, 0: none)\n";
    int64_t threadCount = 20, soakRounds = 1000;
    if (const int exit = cvbench::NumbersOnly(cvbench::Arguments(argc, argv), kUsage,
                                              {{"threads", 1, 200, &threadCount}, {"soak rounds", 0, 1000000, &soakRounds}});
        exit >= 0)
        return exit;
    return cvbench::RunJob(QStringLiteral("build the call stacks"), [&]() -> int {
        cvbench::ParkedThreads parked(std::size_t(threadCount), 5);
        const std::vector<uint32_t>& wanted = parked.IDs();

        TCrashboxModulesList modules;
        cvbench::Stopwatch refresh;
        RefreshModulesList(modules);
        const double refreshSeconds = refresh.seconds();
        const Report first = BuildReport(modules, wanted);
        std::vector<double> times;
        bool named = first.named;
        int entries = 0;
        for (int i = 0; i < 10; ++i) {
            const Report r = BuildReport(modules, wanted);
            times.push_back(r.seconds);
            named &= r.named;
            entries = r.entries;
        }
        parked.Release();
        std::sort(times.begin(), times.end());
        std::printf("modules list: %d modules in %.1f ms\n", modules.Count(), refreshSeconds * 1000);
        std::printf("call stacks of %d threads (%d entries): first %.1f ms (loads debug data), then best %.1f ms, median %.1f ms, worst %.1f ms; "
                    "goal under 100 ms\n",
                    int(threadCount), entries, first.seconds * 1000, times.front() * 1000, times[times.size() / 2] * 1000, times.back() * 1000);
        if (!named)
            std::printf("FAILED: a stack does not name its thread's functions with lines\n");
        const bool soaked = soakRounds <= 0 || Soak(int(soakRounds));
        return named && soaked && times[times.size() / 2] < 0.1 ? 0 : 1;
    });
}
