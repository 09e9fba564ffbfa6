#include "crashreport/core/capture/thread_pause.h"

#include "crashreport/core/options/crashbox_records.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <array>
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
// waits (the way given), resumes it; interrupt, when set, sends that thread
// a signal of the program's own that much later. seen: what the pause
// found of the thread.
TWaited PauseWhileWaiting(const TWaitingCall& c, std::chrono::milliseconds interrupt = 0ms, TPauseWay way = TPauseWay::Hold,
                          TPausedThread* seen = nullptr)
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
        pause.Pause({&waiting, 1}, 1s, way);
        EXPECT_TRUE(pause.Threads()[0].Answered) << c.name;
        if (seen)
            *seen = pause.Threads()[0];
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

// The calls that the system never takes up again after a handler, whatever
// SA_RESTART says (signal(7)), each waiting 400 ms for nothing: answers of
// a normal time-out (epoll_wait 0, the others EAGAIN).
struct TNeverTakenUp {
    TWaitingCall call;
    int timedOut; // the answer of a normal time-out
};

const TNeverTakenUp kNeverTakenUp[] = {
    {{"epoll_wait",
      [] {
          const int set = epoll_create1(EPOLL_CLOEXEC);
          epoll_event event{};
          const int n = epoll_wait(set, &event, 1, 400);
          const int answer = n < 0 ? errno : 0;
          close(set);
          return answer;
      }},
     0},
    {{"recv with a receive time-out",
      [] {
          int pair[2];
          if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
              return errno;
          const timeval limit{0, 400'000};
          setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
          char byte = 0;
          const int answer = recv(pair[0], &byte, 1, 0) < 0 ? errno : 0;
          close(pair[0]);
          close(pair[1]);
          return answer;
      }},
     EAGAIN},
    {{"sigtimedwait",
      [] {
          sigset_t set;
          sigemptyset(&set);
          sigaddset(&set, SIGURG);
          pthread_sigmask(SIG_BLOCK, &set, nullptr);
          const timespec limit{0, 400'000'000};
          return sigtimedwait(&set, nullptr, &limit) < 0 ? errno : 0;
      }},
     EAGAIN},
};

// A pause that only reads (the report's call stacks) sends no signal to a
// thread that waits in the system: it is read from the system's record,
// its stack copied, and its call, untouched, times out as it would have.
TEST(ThreadPause, AReadingPauseLeavesAThreadWaitingInTheSystemUntouched)
{
    std::vector<TWaitingCall> calls;
    for (const TNeverTakenUp& c : kNeverTakenUp)
        calls.push_back(c.call);
    calls.push_back(kWaitingCalls[0]);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        TPausedThread seen;
        const TWaited waited = PauseWhileWaiting(calls[i], 0ms, TPauseWay::Read, &seen);
        const int timedOut = i < std::size(kNeverTakenUp) ? kNeverTakenUp[i].timedOut : 0;
        EXPECT_EQ(waited.answer, timedOut) << calls[i].name << ": " << std::strerror(waited.answer);
        EXPECT_GE(waited.took, 400ms) << calls[i].name;
        EXPECT_TRUE(seen.InSystemCall) << calls[i].name;
        ASSERT_FALSE(seen.StackCopy.empty()) << calls[i].name;
        EXPECT_EQ(seen.StackBase - seen.StackPointer, seen.StackCopy.size()) << calls[i].name;
        // It stands just after its "syscall" instruction.
        const auto* code = reinterpret_cast<const uint8_t*>(seen.InstructionPointer);
        EXPECT_EQ(code[-2], 0x0F) << calls[i].name;
        EXPECT_EQ(code[-1], 0x05) << calls[i].name;
    }
    // A thread that runs is still paused by the signal, and held.
    BusyThreads busy(1);
    TThreadPause pause;
    pause.Pause(busy.Ids(), 1s, TPauseWay::Read);
    ASSERT_TRUE(pause.Threads()[0].Answered);
    EXPECT_FALSE(pause.Threads()[0].InSystemCall);
    EXPECT_TRUE(pause.Threads()[0].StackCopy.empty());
    const std::vector<uint64_t> counts = busy.Counts();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(busy.Counts(), counts);
}

// A pause that holds the threads cuts their calls short: those the system
// never takes up after a handler are made again, and time out normally,
// without EINTR.
TEST(ThreadPause, AHoldingPauseMakesACallTheSystemNeverTakesUpAgain)
{
    for (const TNeverTakenUp& c : kNeverTakenUp) {
        TPausedThread seen;
        const TWaited waited = PauseWhileWaiting(c.call, 0ms, TPauseWay::Hold, &seen);
        EXPECT_FALSE(seen.InSystemCall) << c.call.name;
        EXPECT_EQ(waited.answer, c.timedOut) << c.call.name << ": " << std::strerror(waited.answer);
        EXPECT_GE(waited.took, 400ms) << c.call.name;
    }
}

// Where a thread was on its way into a call when the signal came, the call
// is told from the instructions before its "syscall": the C library's own
// wrappers (the number set just before, or set and followed by argument
// moves), and no answer where the number comes from a register.
TEST(ThreadPause, TheCallBeforeASyscallInstructionIsToldFromTheLibrarysCode)
{
    const auto firstSyscallIn = [](const void* function) -> uintptr_t {
        const auto* code = static_cast<const uint8_t*>(function);
        for (int i = 0; i < 256; ++i)
            if (code[i] == 0x0F && code[i + 1] == 0x05)
                return reinterpret_cast<uintptr_t>(code + i + 2);
        return 0;
    };
    const struct {
        const char* name;
        const void* function;
        long number;
    } wrappers[] = {
        {"epoll_wait", reinterpret_cast<const void*>(&epoll_wait), SYS_epoll_wait},
        {"recvfrom", reinterpret_cast<const void*>(&recvfrom), SYS_recvfrom},
        {"sigtimedwait", reinterpret_cast<const void*>(&sigtimedwait), SYS_rt_sigtimedwait},
        {"read", reinterpret_cast<const void*>(&read), SYS_read},
        {"syscall", reinterpret_cast<const void*>(&syscall), -1},
    };
    for (const auto& w : wrappers) {
        const uintptr_t after = firstSyscallIn(w.function);
        ASSERT_NE(after, 0u) << w.name;
        EXPECT_EQ(SystemCallNumberBefore(after), w.number) << w.name;
    }
    // Code of our own: the number, then two argument moves.
    std::array<uint8_t, 64> code;
    code.fill(0xCC);
    const uint8_t tail[] = {0xB8, 0xE8, 0x00, 0x00, 0x00, 0x41, 0x89, 0xCA, 0x48, 0x8B, 0x54, 0x24, 0x10, 0x0F, 0x05};
    std::memcpy(code.data() + code.size() - sizeof tail, tail, sizeof tail);
    EXPECT_EQ(SystemCallNumberBefore(reinterpret_cast<uintptr_t>(code.data() + code.size())), 0xE8);
    // The number from a register: not told.
    const uint8_t fromRegister[] = {0x48, 0x89, 0xF8, 0x0F, 0x05};
    std::memcpy(code.data() + code.size() - sizeof fromRegister, fromRegister, sizeof fromRegister);
    EXPECT_EQ(SystemCallNumberBefore(reinterpret_cast<uintptr_t>(code.data() + code.size())), -1);
    // No "syscall" there.
    code.back() = 0x90;
    EXPECT_EQ(SystemCallNumberBefore(reinterpret_cast<uintptr_t>(code.data() + code.size())), -1);
}

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
