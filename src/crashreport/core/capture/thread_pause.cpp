#include "crashreport/core/capture/thread_pause.h"

#include "crashreport/core/support/memory_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace cv {

namespace {

// A thread's pause, as its handler and its pausers see it.
enum TPauseState : int {
    kIdle,       // not asked for
    kRequested,  // the signal is on its way; the handler may take it
    kPausing,    // the handler took it and copies the context
    kPaused,     // the handler waits to be resumed
    kResuming,   // told to go on; the handler is leaving
};

// What a thread was doing in the system when it was asked to pause, as
// /proc/self/task/<tid>/syscall said just before the signal went out: the
// call's number, its arguments, and the stack pointer and instruction
// address it returns to.
struct TSystemCall {
    bool Known = false;
    long Number = -1;
    uint64_t Arguments[6] = {};
    uint64_t StackPointer = 0;
    uint64_t ReturnAddress = 0;
};

// One thread's storage, made before any signal is sent and never freed, so
// that a handler that runs late still finds it. Tid, Holds and HasContext
// change under the registry lock only; State is the handshake with the handler.
struct TPauseSlot {
    std::atomic<pid_t> Tid{0};
    std::atomic<int> State{kIdle};
    int Holds = 0; // pauses that keep the thread paused
    sem_t Answered;
    sem_t Resume;
    ucontext_t Context;
    TSystemCall Call; // written by the pauser before the request
    void (*Visit)(ucontext_t&) = nullptr; // run by the handler before it answers (VisitThreads)

    TPauseSlot()
    {
        ::sem_init(&Answered, 0, 0);
        ::sem_init(&Resume, 0, 0);
    }
    // For a thread that is gone: nothing can wait on the semaphores any more.
    void Rebind(pid_t tid)
    {
        ::sem_destroy(&Answered);
        ::sem_destroy(&Resume);
        ::sem_init(&Answered, 0, 0);
        ::sem_init(&Resume, 0, 0);
        Holds = 0;
        State.store(kIdle, std::memory_order_relaxed);
        Tid.store(tid, std::memory_order_release);
    }
};

constexpr int kSlotsPerBlock = 64;

struct TSlotBlock {
    TPauseSlot Slots[kSlotsPerBlock];
    std::atomic<TSlotBlock*> Next{nullptr};
};

std::atomic<TSlotBlock*> gFirstBlock{nullptr};
std::mutex gRegistry; // pausers and resumers

pid_t CurrentTid() { return pid_t(::syscall(SYS_gettid)); }

// Async-signal-safe: walks blocks that are only ever added.
TPauseSlot* FindSlot(pid_t tid)
{
    for (TSlotBlock* block = gFirstBlock.load(std::memory_order_acquire); block; block = block->Next.load(std::memory_order_acquire))
        for (TPauseSlot& slot : block->Slots)
            if (slot.Tid.load(std::memory_order_acquire) == tid)
                return &slot;
    return nullptr;
}

bool ThreadExists(pid_t tid) { return ::syscall(SYS_tgkill, ::getpid(), tid, 0) == 0; }

// Under the registry lock: the thread's slot, bound to it now when it has none.
TPauseSlot* SlotFor(pid_t tid)
{
    if (TPauseSlot* slot = FindSlot(tid))
        return slot;
    TSlotBlock* last = nullptr;
    for (TSlotBlock* block = gFirstBlock.load(std::memory_order_acquire); block; block = block->Next.load(std::memory_order_acquire)) {
        last = block;
        for (TPauseSlot& slot : block->Slots) {
            const pid_t bound = slot.Tid.load(std::memory_order_relaxed);
            // A free slot, or one of a thread that has ended (no handler of it can run).
            if (bound == 0 || (slot.Holds == 0 && !ThreadExists(bound))) {
                slot.Rebind(tid);
                return &slot;
            }
        }
    }
    void* memory = ::mmap(nullptr, sizeof(TSlotBlock), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return nullptr;
    auto* block = new (memory) TSlotBlock;
    block->Slots[0].Tid.store(tid, std::memory_order_relaxed);
    if (last)
        last->Next.store(block, std::memory_order_release);
    else
        gFirstBlock.store(block, std::memory_order_release);
    return &block->Slots[0];
}

// How the system takes up a call that a signal cut short when no handler
// runs for the signal: the calls that answer "interrupted" to a handler but
// are taken up again without one. (Calls that restart with SA_RESTART never
// reach the handler's caller: the system restarts them itself.)
enum class TTakeUp {
    None,         // the call stays cut short
    Again,        // made again with the same arguments (what it writes back, a timeout's rest, it has written)
    RestartBlock, // continued from what the system kept of it (a relative sleep's end, a poll's set)
};

TTakeUp TakeUpOf(const TSystemCall& call)
{
    switch (call.Number) {
    case SYS_clock_nanosleep:
        // Until a time: made again. For a time: the system kept its end.
        return (call.Arguments[1] & TIMER_ABSTIME) != 0 ? TTakeUp::Again : TTakeUp::RestartBlock;
    case SYS_nanosleep:
    case SYS_poll:
    case SYS_restart_syscall: return TTakeUp::RestartBlock;
    case SYS_futex: {
        // A wait with a time limit; one without restarts by itself.
        const uint64_t command = call.Arguments[1] & 0x7F;
        return (command == 0 || command == 9) && call.Arguments[3] != 0 ? TTakeUp::RestartBlock : TTakeUp::None;
    }
    case SYS_select:
    case SYS_pselect6:
    case SYS_ppoll:
    case SYS_pause:
    case SYS_rt_sigsuspend: return TTakeUp::Again;
    default: return TTakeUp::None;
    }
}

// The call the pause signal cut short, taken up again as the system takes
// it up after a signal that runs no handler. Only where the registers are
// still those of the call (the system's "interrupted" answer stands at the
// instruction after it, with its arguments), so that nothing else is ever
// touched. Async-signal-safe; runs after the thread was resumed.
void TakeUpInterruptedCall(const TSystemCall& call, ucontext_t& context)
{
    greg_t* r = context.uc_mcontext.gregs;
    const uint64_t arguments[6] = {uint64_t(r[REG_RDI]), uint64_t(r[REG_RSI]), uint64_t(r[REG_RDX]),
                                   uint64_t(r[REG_R10]), uint64_t(r[REG_R8]),  uint64_t(r[REG_R9])};
    if (!call.Known || call.ReturnAddress < 2 || uint64_t(r[REG_RIP]) != call.ReturnAddress
        || uint64_t(r[REG_RSP]) != call.StackPointer || r[REG_RAX] != -EINTR
        || std::memcmp(arguments, call.Arguments, sizeof arguments) != 0)
        return;
    // The instruction before is the "syscall" itself (0F 05).
    const auto* code = reinterpret_cast<const uint8_t*>(call.ReturnAddress - 2);
    if (code[0] != 0x0F || code[1] != 0x05)
        return;
    switch (TakeUpOf(call)) {
    case TTakeUp::None: break;
    case TTakeUp::Again:
        r[REG_RAX] = greg_t(call.Number);
        r[REG_RIP] -= 2;
        break;
    case TTakeUp::RestartBlock: {
        // The system keeps what it needs until the handler returns: the call
        // goes on from here, with the thread's own signal mask, so that its
        // own signals cut it short as they would have.
        sigset_t handlerMask;
        ::pthread_sigmask(SIG_SETMASK, &context.uc_sigmask, &handlerMask);
        const long result = ::syscall(SYS_restart_syscall);
        const long answer = result == -1 ? -long(errno) : result;
        ::pthread_sigmask(SIG_SETMASK, &handlerMask, nullptr);
        r[REG_RAX] = greg_t(answer);
        break;
    }
    }
}

// What the thread is doing in the system now.
TSystemCall ReadSystemCall(pid_t tid)
{
    TSystemCall call;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", int(tid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return call;
    char text[256];
    ssize_t n;
    do
        n = ::read(fd, text, sizeof text - 1);
    while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n <= 0)
        return call;
    text[n] = '\0';
    // "nr arg1 ... arg6 sp pc", the arguments and addresses in hexadecimal;
    // "-1 sp pc" outside a call, "running" while running.
    char* at = text;
    char* end = nullptr;
    call.Number = std::strtol(at, &end, 10);
    if (end == at || call.Number < 0)
        return call;
    at = end;
    for (uint64_t& argument : call.Arguments) {
        argument = std::strtoull(at, &end, 16);
        if (end == at)
            return call;
        at = end;
    }
    call.StackPointer = std::strtoull(at, &end, 16);
    if (end == at)
        return call;
    at = end;
    call.ReturnAddress = std::strtoull(at, &end, 16);
    call.Known = end != at;
    return call;
}

void PauseSignalHandler(int, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    // Only what a pause of this process sent; anything else is a stray.
    if (info && info->si_code == SI_TKILL && info->si_pid == ::getpid() && context) {
        TPauseSlot* slot = FindSlot(CurrentTid());
        int expected = kRequested;
        // A late signal (its pauser gave up waiting) finds the slot idle.
        if (slot && slot->State.compare_exchange_strong(expected, kPausing, std::memory_order_acq_rel)) {
            const auto* from = static_cast<const ucontext_t*>(context);
            std::memcpy(&slot->Context, from, sizeof(ucontext_t));
            if (from->uc_mcontext.fpregs)
                std::memcpy(&slot->Context.__fpregs_mem, from->uc_mcontext.fpregs, sizeof slot->Context.__fpregs_mem);
            slot->Context.uc_mcontext.fpregs = nullptr;
            if (slot->Visit)
                slot->Visit(*static_cast<ucontext_t*>(context));
            const TSystemCall call = slot->Call;
            slot->State.store(kPaused, std::memory_order_release);
            ::sem_post(&slot->Answered);
            while (::sem_wait(&slot->Resume) != 0 && errno == EINTR) {
            }
            // A new pause may have asked for the thread already: then it stays asked.
            expected = kResuming;
            slot->State.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel);
            TakeUpInterruptedCall(call, *static_cast<ucontext_t*>(context));
        }
    }
    errno = savedErrno;
}

// The faults that threads wait in (NoteOwnFaultContext): a record is
// claimed by its thread, filled, then published by its ID.
struct TOwnFault {
    std::atomic<pid_t> Claim{0}; // the thread that holds the record
    std::atomic<pid_t> Tid{0};   // set once Context is complete
    ucontext_t Context;
};
constexpr int kOwnFaults = 64;
TOwnFault gOwnFaults[kOwnFaults];

const TOwnFault* OwnFaultOf(pid_t tid)
{
    for (const TOwnFault& fault : gOwnFaults)
        if (fault.Tid.load(std::memory_order_acquire) == tid)
            return &fault;
    return nullptr;
}

std::mutex gInstallLock;
bool gInstalled = false;
struct sigaction gPreviousAction;

bool WaitAnswer(TPauseSlot& slot, const timespec& deadline)
{
    for (;;) {
        if (::sem_clockwait(&slot.Answered, CLOCK_MONOTONIC, &deadline) == 0)
            return true;
        if (errno != EINTR)
            break;
    }
    // Too late: take the request back, unless the handler has just taken it.
    int expected = kRequested;
    if (slot.State.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel))
        return false;
    while (::sem_wait(&slot.Answered) != 0 && errno == EINTR) {
    }
    return true;
}

void Answer(TPausedThread& thread, const TPauseSlot& slot)
{
    thread.Answered = true;
    thread.Context = slot.Context;
    // Paused inside the handler of its own fault: it stands at the fault.
    if (const TOwnFault* fault = OwnFaultOf(pid_t(thread.ID))) {
        thread.Context = fault->Context;
        thread.AtOwnFault = true;
    }
    thread.InstructionPointer = uintptr_t(thread.Context.uc_mcontext.gregs[REG_RIP]);
    thread.StackPointer = uintptr_t(thread.Context.uc_mcontext.gregs[REG_RSP]);
}

} // namespace

void NoteOwnFaultContext(const ucontext_t& context)
{
    const pid_t self = CurrentTid();
    for (TOwnFault& fault : gOwnFaults) {
        pid_t free = 0;
        if (!fault.Claim.compare_exchange_strong(free, self, std::memory_order_acq_rel))
            continue;
        std::memcpy(&fault.Context, &context, sizeof context);
        if (context.uc_mcontext.fpregs)
            std::memcpy(&fault.Context.__fpregs_mem, context.uc_mcontext.fpregs, sizeof fault.Context.__fpregs_mem);
        fault.Context.uc_mcontext.fpregs = nullptr;
        fault.Tid.store(self, std::memory_order_release);
        return;
    }
}

void ForgetOwnFaultContext()
{
    const pid_t self = CurrentTid();
    for (TOwnFault& fault : gOwnFaults)
        if (fault.Claim.load(std::memory_order_acquire) == self) {
            fault.Tid.store(0, std::memory_order_release);
            fault.Claim.store(0, std::memory_order_release);
        }
}

int ThreadPauseSignal() { return SIGRTMIN + 4; }

bool InstallThreadPauseHandler()
{
    std::lock_guard guard(gInstallLock);
    if (gInstalled)
        return true;
    struct sigaction action {};
    action.sa_sigaction = PauseSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    // Nothing else runs on a paused thread until it is resumed.
    ::sigfillset(&action.sa_mask);
    gInstalled = ::sigaction(ThreadPauseSignal(), &action, &gPreviousAction) == 0;
    return gInstalled;
}

void RemoveThreadPauseHandler()
{
    std::lock_guard guard(gInstallLock);
    if (gInstalled && ::sigaction(ThreadPauseSignal(), &gPreviousAction, nullptr) == 0)
        gInstalled = false;
}

TThreadPause::~TThreadPause() { Resume(); }

void TThreadPause::Pause(std::span<const uint32_t> threadIDs, std::chrono::milliseconds wait)
{
    // Before the first signal: from then on a paused thread may hold the allocator's lock.
    if (!m_arena)
        m_arena.emplace();
    const bool handler = InstallThreadPauseHandler();
    const pid_t me = CurrentTid();
    const pid_t process = ::getpid();
    struct TWaiting {
        std::size_t Index;
        TPauseSlot* Slot;
    };
    std::vector<TWaiting> waiting;
    std::lock_guard guard(gRegistry);
    for (const uint32_t id : threadIDs) {
        const bool known = std::any_of(m_threads.begin(), m_threads.end(), [id](const TPausedThread& t) { return t.ID == id; });
        if (pid_t(id) == me || id == 0 || known)
            continue;
        TPausedThread& thread = m_threads.emplace_back();
        thread.ID = id;
        TPauseSlot* slot = handler ? SlotFor(pid_t(id)) : nullptr;
        if (!slot)
            continue;
        if (slot->Holds > 0) {
            // Another pause holds it: it is still where that pause found it.
            ++slot->Holds;
            m_held.push_back(id);
            Answer(thread, *slot);
            continue;
        }
        // A call in the system that the signal cuts short is taken up again
        // once the thread goes on (a sleep lasts as long as it was meant to).
        slot->Call = ReadSystemCall(pid_t(id));
        slot->Visit = m_visit;
        slot->State.store(kRequested, std::memory_order_release);
        if (::syscall(SYS_tgkill, process, pid_t(id), ThreadPauseSignal()) != 0) {
            slot->State.store(kIdle, std::memory_order_release); // gone
            continue;
        }
        waiting.push_back({m_threads.size() - 1, slot});
    }
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    deadline.tv_sec += time_t(ns / 1000000000);
    deadline.tv_nsec += long(ns % 1000000000);
    if (deadline.tv_nsec >= 1000000000) {
        deadline.tv_nsec -= 1000000000;
        ++deadline.tv_sec;
    }
    for (const TWaiting& w : waiting) {
        if (!WaitAnswer(*w.Slot, deadline))
            continue;
        w.Slot->Holds = 1;
        m_held.push_back(m_threads[w.Index].ID);
        Answer(m_threads[w.Index], *w.Slot);
    }
    for (TPausedThread& thread : m_threads)
        if (thread.Answered && thread.StackBase == 0)
            MemoryMappingOf(reinterpret_cast<const void*>(thread.StackPointer), thread.StackLimit, thread.StackBase);
}

void TThreadPause::Resume()
{
    std::lock_guard guard(gRegistry);
    for (const uint32_t id : m_held) {
        TPauseSlot* slot = FindSlot(pid_t(id));
        if (!slot || slot->Holds == 0 || --slot->Holds > 0)
            continue;
        slot->State.store(kResuming, std::memory_order_release);
        ::sem_post(&slot->Resume);
    }
    m_held.clear();
    m_arena.reset();
}

std::vector<uint32_t> VisitThreads(std::span<const uint32_t> threadIDs, void (*visit)(ucontext_t&), std::chrono::milliseconds wait)
{
    TThreadPause pause;
    pause.m_visit = visit;
    pause.Pause(threadIDs, wait);
    std::vector<uint32_t> visited;
    for (const TPausedThread& thread : pause.Threads())
        if (thread.Answered)
            visited.push_back(thread.ID);
    return visited;
}

bool ThreadWaitsOnDescriptors(uint32_t threadID)
{
    const TSystemCall call = ReadSystemCall(pid_t(threadID));
    if (!call.Known)
        return false;
    switch (call.Number) {
    case SYS_poll:
    case SYS_ppoll:
    case SYS_select:
    case SYS_pselect6:
    case SYS_epoll_wait:
    case SYS_epoll_pwait: return true;
    default: return false;
    }
}

std::vector<uint32_t> ProcessThreadIDs()
{
    std::vector<uint32_t> ids;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* entry = ::readdir(dir)) {
            char* end = nullptr;
            const unsigned long id = std::strtoul(entry->d_name, &end, 10);
            if (end && *end == '\0' && id > 0)
                ids.push_back(uint32_t(id));
        }
        ::closedir(dir);
    }
    std::sort(ids.begin(), ids.end());
    return ids;
}

} // namespace cv
