#include "crashreport/core/capture/thread_pause.h"

#include "crashreport/core/options/crashbox_records.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using namespace cv;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Threads that count as fast as they can until told to stop.
class BusyThreads {
public:
    explicit BusyThreads(int count, bool blockPause = false) : m_counters(std::size_t(count)), m_ids(std::size_t(count))
    {
        for (int i = 0; i < count; ++i)
            m_threads.emplace_back([this, i, blockPause] {
                if (blockPause) {
                    sigset_t set;
                    sigemptyset(&set);
                    sigaddset(&set, ThreadPauseSignal());
                    pthread_sigmask(SIG_BLOCK, &set, nullptr);
                }
                m_ids[std::size_t(i)] = CurrentThreadID();
                while (!m_stop.load(std::memory_order_relaxed)) {
                    if (m_unblock.load(std::memory_order_relaxed)) {
                        sigset_t all;
                        sigfillset(&all);
                        pthread_sigmask(SIG_UNBLOCK, &all, nullptr);
                    }
                    m_counters[std::size_t(i)].fetch_add(1, std::memory_order_relaxed);
                }
            });
        for (auto& id : m_ids)
            while (id.load() == 0)
                std::this_thread::yield();
    }
    ~BusyThreads()
    {
        m_stop = true;
        for (auto& t : m_threads)
            t.join();
    }
    std::vector<uint32_t> Ids() const { return {m_ids.begin(), m_ids.end()}; }
    std::vector<uint64_t> Counts() const { return {m_counters.begin(), m_counters.end()}; }
    void Unblock() { m_unblock = true; }
    // Every thread counts on past the given counts within the time.
    bool AllRunPast(const std::vector<uint64_t>& counts, std::chrono::milliseconds within = 5s) const
    {
        const auto end = Clock::now() + within;
        for (std::size_t i = 0; i < counts.size(); ++i)
            while (m_counters[i].load(std::memory_order_relaxed) <= counts[i])
                if (Clock::now() > end)
                    return false;
                else
                    std::this_thread::sleep_for(100us);
        return true;
    }

private:
    std::vector<std::atomic<uint64_t>> m_counters;
    std::vector<std::atomic<uint32_t>> m_ids;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false}, m_unblock{false};
};

TEST(ThreadPause, FiftyBusyThreadsArePausedAndResumedAgainAndAgain)
{
    BusyThreads busy(50);
    const std::vector<uint32_t> ids = busy.Ids();
    // Bounded in time (three rounds at least); bench/call_stack_bench runs the thousand rounds.
    const auto end = Clock::now() + 2s;
    for (int rounds = 0; rounds < 1000 && (rounds < 3 || Clock::now() < end); ++rounds) {
        std::vector<uint64_t> paused;
        {
            TThreadPause pause;
            pause.Pause(ids);
            ASSERT_EQ(pause.Threads().size(), ids.size());
            for (const TPausedThread& t : pause.Threads()) {
                ASSERT_TRUE(t.Answered) << "round " << rounds << ", thread " << t.ID;
                ASSERT_LE(t.StackLimit, t.StackPointer);
                ASSERT_LT(t.StackPointer, t.StackBase);
            }
            paused = busy.Counts();
            ASSERT_EQ(busy.Counts(), paused) << "no thread counts while paused";
        }
        ASSERT_TRUE(busy.AllRunPast(paused)) << "round " << rounds;
    }
}

TEST(ThreadPause, AThreadThatDoesNotAnswerIsListedWithoutItsContextAndIgnoresTheLateSignal)
{
    BusyThreads deaf(1, true);
    {
        TThreadPause pause;
        pause.Pause(deaf.Ids(), 100ms);
        ASSERT_EQ(pause.Threads().size(), 1u);
        EXPECT_FALSE(pause.Threads()[0].Answered);
        EXPECT_EQ(pause.Threads()[0].StackBase, 0u);
    }
    // A signal from outside, and the late one now taken: both are passed over.
    kill(getpid(), ThreadPauseSignal());
    const std::vector<uint64_t> counts = deaf.Counts();
    deaf.Unblock();
    EXPECT_TRUE(deaf.AllRunPast(counts));
}

TEST(ThreadPause, NestedPausesHoldTheThreadUntilBothResumeEvenAfterAFailure)
{
    BusyThreads busy(1);
    TThreadPause outer;
    std::vector<uint32_t> ids = busy.Ids();
    ids.push_back(CurrentThreadID()); // never the caller
    outer.Pause(ids);
    ASSERT_EQ(outer.Threads().size(), 1u);
    ASSERT_TRUE(outer.Threads()[0].Answered);
    try {
        TThreadPause inner;
        inner.Pause(busy.Ids());
        ASSERT_TRUE(inner.Threads()[0].Answered);
        EXPECT_EQ(inner.Threads()[0].InstructionPointer, outer.Threads()[0].InstructionPointer);
        throw std::runtime_error("the report failed");
    } catch (const std::runtime_error&) {
    }
    const std::vector<uint64_t> counts = busy.Counts();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(busy.Counts(), counts) << "the outer pause still holds it";
    outer.Resume();
    EXPECT_TRUE(busy.AllRunPast(counts));
}

// A thread that makes one waiting call of the system (a sleep, a poll)
// meant to last 400 ms; how long it took and what it answered.
struct TWaitingCall {
    const char* name;
    std::function<int()> call; // 0, or the error number
};

struct TWaited {
    std::chrono::milliseconds took{0};
    int answer = -1;
};

void NoteSignal(int) {}

// Starts the call on a thread of its own, pauses that thread while it
// waits, resumes it; interrupt, when set, sends that thread a signal of the
// program's own that much later.
TWaited PauseWhileWaiting(const TWaitingCall& c, std::chrono::milliseconds interrupt = 0ms)
{
    std::atomic<uint32_t> id{0};
    std::atomic<pthread_t> handle{};
    TWaited waited;
    std::thread waiter([&] {
        handle = pthread_self();
        const auto start = Clock::now();
        id = CurrentThreadID();
        waited.answer = c.call();
        waited.took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    });
    while (id.load() == 0)
        std::this_thread::yield();
    std::this_thread::sleep_for(60ms); // well inside the call
    {
        TThreadPause pause;
        const uint32_t waiting = id.load();
        pause.Pause({&waiting, 1});
        EXPECT_TRUE(pause.Threads()[0].Answered) << c.name;
        std::this_thread::sleep_for(20ms);
    }
    if (interrupt > 0ms) {
        std::this_thread::sleep_for(interrupt);
        pthread_kill(handle.load(), SIGUSR1);
    }
    waiter.join();
    return waited;
}

int Answer(int result) { return result == 0 ? 0 : errno; }

const TWaitingCall kWaitingCalls[] = {
    {"clock_nanosleep for a time",
     [] {
         const timespec length{0, 400'000'000};
         return clock_nanosleep(CLOCK_MONOTONIC, 0, &length, nullptr);
     }},
    {"clock_nanosleep until a time",
     [] {
         timespec until{};
         clock_gettime(CLOCK_MONOTONIC, &until);
         until.tv_nsec += 400'000'000;
         until.tv_sec += until.tv_nsec / 1'000'000'000;
         until.tv_nsec %= 1'000'000'000;
         return clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
     }},
    {"nanosleep with the rest asked for",
     [] {
         timespec length{0, 400'000'000}, rest{};
         return Answer(nanosleep(&length, &rest));
     }},
    {"poll of nothing for a time", [] { return Answer(poll(nullptr, 0, 400) == 0 ? 0 : -1); }},
};

// The pause signal cuts short a call that waits; the thread goes on with
// the call taken up again as the system takes it up after a signal that
// runs no handler: it lasts as long as it was meant to and answers as if
// nothing had happened.
TEST(ThreadPause, AWaitingCallCutShortByAPauseIsTakenUpAgainAndLastsAsMeant)
{
    for (const TWaitingCall& c : kWaitingCalls) {
        const TWaited waited = PauseWhileWaiting(c);
        EXPECT_EQ(waited.answer, 0) << c.name << ": " << std::strerror(waited.answer);
        EXPECT_GE(waited.took, 400ms) << c.name;
    }
}

// Taken up again, the sleep waits with the thread's own signal mask: a
// signal of the program's own still cuts it short, as it would have.
TEST(ThreadPause, ATakenUpSleepIsStillCutShortByTheProgramsOwnSignal)
{
    struct sigaction action {}, previous {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR1, &action, &previous), 0);
    const TWaitingCall longSleep{"a sleep of 5 s", [] {
                                     const timespec length{5, 0};
                                     return clock_nanosleep(CLOCK_MONOTONIC, 0, &length, nullptr);
                                 }};
    const TWaited waited = PauseWhileWaiting(longSleep, 100ms);
    sigaction(SIGUSR1, &previous, nullptr);
    EXPECT_EQ(waited.answer, EINTR);
    EXPECT_LT(waited.took, 4s);
}

// What only a thread can do for itself, done through a pause: the visit
// runs on the thread with the context it goes on with, and a change to
// that context (here its alternate signal stack) is the thread's afterwards.
std::atomic<int> gVisits{0};
char gVisitStack[64 * 1024];

void GiveVisitStack(ucontext_t& context)
{
    ++gVisits;
    context.uc_stack.ss_sp = gVisitStack;
    context.uc_stack.ss_size = sizeof gVisitStack;
    context.uc_stack.ss_flags = 0;
}

TEST(ThreadPause, AVisitRunsOnEachReachableThreadAndItsContextIsWhatTheThreadGoesOnWith)
{
    std::atomic<bool> go{false}, stop{false};
    std::atomic<uint32_t> id{0};
    stack_t seen{};
    std::thread visited([&] {
        id = CurrentThreadID();
        while (!go.load())
            std::this_thread::yield();
        sigaltstack(nullptr, &seen);
        while (!stop.load())
            std::this_thread::yield();
        const stack_t off{nullptr, SS_DISABLE, 0};
        sigaltstack(&off, nullptr);
    });
    BusyThreads deaf(1, true);
    while (id.load() == 0)
        std::this_thread::yield();
    std::vector<uint32_t> ids{id.load()};
    ids.push_back(deaf.Ids()[0]);
    gVisits = 0;
    const auto start = Clock::now();
    const std::vector<uint32_t> reached = VisitThreads(ids, &GiveVisitStack, 300ms);
    EXPECT_LT(Clock::now() - start, 2s) << "a thread that blocks the signal is waited for no longer than asked";
    EXPECT_EQ(reached, std::vector<uint32_t>{id.load()});
    EXPECT_EQ(gVisits.load(), 1);
    go = true;
    stop = true;
    visited.join();
    EXPECT_EQ(seen.ss_sp, static_cast<void*>(gVisitStack));
    EXPECT_EQ(seen.ss_size, sizeof gVisitStack);
    EXPECT_FALSE(seen.ss_flags & SS_DISABLE);
}

} // namespace
