#pragma once
// Pausing the other threads of the process while a report is built, and
// resuming them.
//
// A thread is paused by a real-time signal sent to it with tgkill. Its
// handler saves errno, ignores a signal that no pause asked for (a stray or
// a late one), copies the thread's context (its registers where the signal
// found it) into storage made beforehand, tells the pauser, and waits on a
// semaphore until it is resumed; then it restores errno and the thread goes
// on where it was. The pauser waits a bounded time for each thread (a
// second by default) and reports one that did not answer without its
// context. The handler does only async-signal-safe things.
//
// Pauses nest: a thread paused twice (the freeze watchdog holds the main
// thread while the report pauses every thread) runs again only when both
// have resumed it. TThreadPause resumes every thread it paused when it
// ends, whatever happened meanwhile (an exception inside the report too).
//
// A signal handler cuts short any call of the system the thread waits in,
// and the system takes some calls up again only when no handler ran (the
// socket calls with a time limit, epoll_wait, sigtimedwait and the others
// of signal(7)'s list): the program would see them fail with EINTR. So:
// - a pause that only reads the threads (TPauseWay::Read, the report's
//   call stacks) signals no thread that waits in a call of the system: the
//   system's own record (/proc/self/task/<tid>/syscall) gives its stack
//   and instruction pointers, and its stack is copied while it waits (the
//   record read again afterwards must be the same, else the thread is
//   signalled after all). Only a thread that runs gets the signal;
// - a pause that holds the threads (TPauseWay::Hold) signals every one. A
//   call the signal cut short is taken up again when the thread goes on:
//   continued where the system keeps its rest (sleeps, poll, a futex wait
//   with a time limit), else made again with the same arguments (its own
//   time limit starts again: it lasts at most the pause longer, and never
//   fails for it). connect is not made again (a second connect answers
//   that the first is in progress).
// A thread that was on its way into a call when the signal came (the
// record said it ran) has its call cut short too: the call is known from
// the instructions before it (the C library's "mov $number, %eax;
// syscall") and taken up the same way.
//
// A thread may be paused inside the C library's allocator, holding its
// lock: from the first pause until every thread is resumed, the process
// allocates from the report's own memory (report_arena.h).

#include <sys/types.h>
#include <ucontext.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "crashreport/core/support/report_arena.h"

namespace cv {

// The real-time signal that pauses a thread (SIGRTMIN + 4).
int ThreadPauseSignal();
// Installs the signal's handler (the first pause does it too: the core's
// start-up calls it so that the first report costs nothing). False when
// the system refuses.
bool InstallThreadPauseHandler();
// Puts back the action the signal had before (at shutdown, when no thread is paused).
void RemoveThreadPauseHandler();

// A thread that waits inside the handler of its own fault (another
// thread's fault is being reported) notes the fault's registers first: a
// pause then answers them as where the thread stands, not the handler's
// wait. Async-signal-safe; at most 64 threads at once are noted (more wait
// without). The note is taken back before the thread leaves the handler.
void NoteOwnFaultContext(const ucontext_t& context);
void ForgetOwnFaultContext();

struct TPausedThread {
    uint32_t ID = 0;
    // It answered: it is paused and Context holds its registers (the
    // floating-point ones in Context.__fpregs_mem: the pointer to them in
    // uc_mcontext is cleared, so that no copy points into another); or it
    // waits in a call of the system (InSystemCall).
    bool Answered = false;
    // Read without a signal (TPauseWay::Read): it waited in a call of the
    // system. Context knows only its instruction and stack pointers (the
    // other registers are marked unknown), and StackCopy holds its stack
    // from StackPointer up (at most kMaxWaitingStackCopy bytes), copied
    // while it waited: the thread itself is not held and may run again.
    bool InSystemCall = false;
    std::vector<uint8_t> StackCopy;
    ucontext_t Context{};
    uintptr_t InstructionPointer = 0;
    uintptr_t StackPointer = 0;
    // Context holds the registers of the thread's own fault, which it
    // waits in the handler of (NoteOwnFaultContext).
    bool AtOwnFault = false;
    // The mapping that holds its stack pointer: the stack in use is
    // [StackPointer, StackBase). 0 when it did not answer.
    uintptr_t StackLimit = 0;
    uintptr_t StackBase = 0;
};

// How a pause meets a thread that waits in a call of the system (above).
enum class TPauseWay {
    Hold, // every thread is signalled and held until resumed
    Read, // a waiting thread is read without a signal, and not held
};

// The most of a waiting thread's stack that a Read pause copies.
inline constexpr std::size_t kMaxWaitingStackCopy = 1u << 20;

class TThreadPause {
public:
    TThreadPause() = default;
    // Resumes every thread it paused.
    ~TThreadPause();
    TThreadPause(const TThreadPause&) = delete;
    TThreadPause& operator=(const TThreadPause&) = delete;

    // Pauses the threads with these IDs; the calling thread, IDs given
    // twice and threads this object holds already are passed over. Every
    // thread is signalled first, then each is waited for until `wait` has
    // passed since the signals went out. A thread that is no longer there,
    // or does not answer in time, is listed without its context. With
    // TPauseWay::Read a thread waiting in a call of the system is read
    // without a signal instead (a thread another pause holds is read as
    // that pause found it).
    void Pause(std::span<const uint32_t> threadIDs, std::chrono::milliseconds wait = std::chrono::seconds(1),
               TPauseWay way = TPauseWay::Hold);
    // Resumes every thread this object paused.
    void Resume();
    // The threads asked for, in the order given.
    const std::vector<TPausedThread>& Threads() const { return m_threads; }

private:
    friend std::vector<uint32_t> VisitThreads(std::span<const uint32_t>, void (*)(ucontext_t&), std::chrono::milliseconds);
    void (*m_visit)(ucontext_t&) = nullptr; // run by each thread as it pauses
    std::vector<TPausedThread> m_threads;
    std::vector<uint32_t> m_held; // the threads this object keeps paused
    std::optional<TReportArenaScope> m_arena; // open while it pauses or holds threads
};

// The number of the call that the "syscall" instruction just before
// returnAddress makes, told from the instructions before it as the C
// library's wrappers set it ("mov $number, %eax" or "xor %eax, %eax", with
// at most three moves into other registers after it); -1 when that cannot
// be told for sure (no such instruction there, or readings that differ).
long SystemCallNumberBefore(uintptr_t returnAddress);

// Runs `visit` on each of these threads, inside the pause signal's handler
// (so only async-signal-safe work), with the context the thread goes on
// with when the handler returns: each thread is paused, runs it and goes on
// at once, a call it was in taken up as after any pause. For what only a
// thread can do for itself (its alternate signal stack: the system sets the
// one of the context when the handler returns). A thread that does not
// answer within `wait` is passed over (one that blocks the signal; a thread
// that has only just been made blocks every signal until it runs). The
// threads that ran it.
std::vector<uint32_t> VisitThreads(std::span<const uint32_t> threadIDs, void (*visit)(ucontext_t& context),
                                   std::chrono::milliseconds wait);

// Whether the thread waits in the system for something to happen on its
// descriptors (poll, ppoll, select, pselect6, epoll_wait, epoll_pwait): where
// an event loop waits for its next event. False when it runs, waits for
// anything else (a lock, a sleep, another thread's end) or cannot be asked.
bool ThreadWaitsOnDescriptors(uint32_t threadID);

// The threads of this process now (from /proc/self/task), in ascending order.
std::vector<uint32_t> ProcessThreadIDs();

} // namespace cv
