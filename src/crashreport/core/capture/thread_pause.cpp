#include "crashreport/core/capture/thread_pause.h"

#include "crashreport/core/support/crashbox_helpers.h"

#include <dirent.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
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
            slot->State.store(kPaused, std::memory_order_release);
            ::sem_post(&slot->Answered);
            while (::sem_wait(&slot->Resume) != 0 && errno == EINTR) {
            }
            // A new pause may have asked for the thread already: then it stays asked.
            expected = kResuming;
            slot->State.compare_exchange_strong(expected, kIdle, std::memory_order_acq_rel);
        }
    }
    errno = savedErrno;
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
    thread.InstructionPointer = uintptr_t(thread.Context.uc_mcontext.gregs[REG_RIP]);
    thread.StackPointer = uintptr_t(thread.Context.uc_mcontext.gregs[REG_RSP]);
}

} // namespace

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
