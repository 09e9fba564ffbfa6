#include "crashreport/core/capture/thread_pause.h"

#include "crashreport/core/capture/known_registers.h"
#include "crashreport/core/support/memory_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
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
// are taken up again without one, or that the system never takes up after
// a handler whatever SA_RESTART says (signal(7)). (Calls that restart with
// SA_RESTART never reach the handler's caller: the system restarts them
// itself.)
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
    case SYS_rt_sigsuspend:
    // Never taken up after a handler: cut short, they have done nothing (a
    // socket call with a time limit that moved data answers its count), and
    // made again they wait their whole time limit once more.
    case SYS_epoll_wait:
    case SYS_epoll_pwait:
#ifdef SYS_epoll_pwait2
    case SYS_epoll_pwait2:
#endif
    case SYS_rt_sigtimedwait:
    case SYS_read:
    case SYS_readv:
    case SYS_write:
    case SYS_writev:
    case SYS_recvfrom:
    case SYS_recvmsg:
    case SYS_recvmmsg:
    case SYS_sendto:
    case SYS_sendmsg:
    case SYS_sendmmsg:
    case SYS_accept:
    case SYS_accept4:
    case SYS_msgrcv:
    case SYS_msgsnd:
    case SYS_semop:
    case SYS_semtimedop:
    case SYS_io_getevents:
#ifdef SYS_io_pgetevents
    case SYS_io_pgetevents:
#endif
    case SYS_mq_timedreceive:
    case SYS_mq_timedsend: return TTakeUp::Again;
    // connect goes on by itself: made again it would answer EALREADY.
    default: return TTakeUp::None;
    }
}

// --- the call a thread was on its way into ---

// What one instruction before a "syscall" does to the call's number (rax).
enum class TNumberMove {
    None,    // not an instruction these wrappers use there
    Sets,    // puts a constant into eax/rax: the number
    Elsewhere, // moves into another register (an argument)
};

// Whether the `length` bytes at b are exactly one of the instructions the C
// library's wrappers put between the call's number and the "syscall":
// "mov $imm32, %eax" (B8), "mov $imm32, %rax" (48 C7 C0), "xor %eax, %eax",
// and moves of constants, registers or stack slots into other registers.
TNumberMove NumberMoveOf(const uint8_t* b, int length, long& number)
{
    const bool rex = length >= 3 && (b[0] & 0xF0) == 0x40;
    const uint8_t r = rex ? b[0] : 0;
    const uint8_t* op = rex ? b + 1 : b;
    const int rest = rex ? length - 1 : length;
    const auto other = [](int destination) { return destination != 0 ? TNumberMove::Elsewhere : TNumberMove::None; };
    const int modrmReg = rest >= 2 ? ((op[1] >> 3) & 7) | ((r & 4) << 1) : 0;
    const int modrmRm = rest >= 2 ? (op[1] & 7) | ((r & 1) << 3) : 0;
    const bool registerForm = rest == 2 && (op[1] & 0xC0) == 0xC0;
    // A constant (32 bits, sign-extended) into a register: the number when it is rax.
    const auto constant = [&number](int destination, const uint8_t* immediate) {
        if (destination != 0)
            return TNumberMove::Elsewhere;
        int32_t value;
        std::memcpy(&value, immediate, 4);
        number = value;
        return TNumberMove::Sets;
    };
    // mov $imm32, %e?x / %r8d-%r15d
    if (rest == 5 && op[0] >= 0xB8 && op[0] <= 0xBF && !(r & 8))
        return constant((op[0] - 0xB8) | ((r & 1) << 3), op + 1);
    // mov $imm32, %r??
    if (rex && (r & 8) && rest == 6 && op[0] == 0xC7 && (op[1] & 0xF8) == 0xC0)
        return constant(modrmRm, op + 2);
    // xor (31 / 33) of registers: of eax with itself, the number 0
    if (registerForm && (op[0] == 0x31 || op[0] == 0x33)) {
        const int destination = op[0] == 0x31 ? modrmRm : modrmReg;
        const int source = op[0] == 0x31 ? modrmReg : modrmRm;
        if (destination == 0 && source == 0) {
            number = 0;
            return TNumberMove::Sets;
        }
        return other(destination);
    }
    // mov between registers (89: into r/m, 8B: into reg)
    if (registerForm && (op[0] == 0x89 || op[0] == 0x8B))
        return other(op[0] == 0x89 ? modrmRm : modrmReg);
    // mov disp8(%rsp), reg
    if (rest == 4 && op[0] == 0x8B && (op[1] & 0xC7) == 0x44 && op[2] == 0x24)
        return other(modrmReg);
    return TNumberMove::None;
}

// The numbers the instructions ending at `end` can have put into rax, at
// most `depth` moves elsewhere back; gathered into `found`.
void NumbersBefore(const uint8_t* windowStart, const uint8_t* end, int depth, std::vector<long>& found)
{
    for (int length = 2; length <= 7 && end - length >= windowStart; ++length) {
        long number = -1;
        switch (NumberMoveOf(end - length, length, number)) {
        case TNumberMove::Sets: found.push_back(number); break;
        case TNumberMove::Elsewhere:
            if (depth > 0)
                NumbersBefore(windowStart, end - length, depth - 1, found);
            break;
        case TNumberMove::None: break;
        }
    }
}

// The call a "syscall" that ends at returnAddress makes, told from the
// instructions before it; -1 unless every reading of them tells the same.
long CallNumberBeforeCode(uintptr_t returnAddress)
{
    constexpr std::size_t kWindow = 32;
    if (returnAddress < kWindow + 2 || !IsReadableMemory(reinterpret_cast<const void*>(returnAddress - kWindow - 2), kWindow + 2))
        return -1;
    const auto* syscall = reinterpret_cast<const uint8_t*>(returnAddress - 2);
    if (syscall[0] != 0x0F || syscall[1] != 0x05)
        return -1;
    std::vector<long> found;
    NumbersBefore(syscall - kWindow, syscall, 3, found);
    if (found.empty() || std::any_of(found.begin(), found.end(), [&](long n) { return n != found.front(); }))
        return -1;
    return found.front();
}

// Whether the context stands just after the call the record names, with its arguments.
bool ContextInCall(const TSystemCall& call, const ucontext_t& context)
{
    const greg_t* r = context.uc_mcontext.gregs;
    const uint64_t arguments[6] = {uint64_t(r[REG_RDI]), uint64_t(r[REG_RSI]), uint64_t(r[REG_RDX]),
                                   uint64_t(r[REG_R10]), uint64_t(r[REG_R8]),  uint64_t(r[REG_R9])};
    return call.Known && uint64_t(r[REG_RIP]) == call.ReturnAddress && uint64_t(r[REG_RSP]) == call.StackPointer
           && std::memcmp(arguments, call.Arguments, sizeof arguments) == 0;
}

// The call the pause signal cut short in a paused thread (its context):
// the one the system's record named before the signal when the thread
// still stands there, else the one its instructions tell (the thread was
// on its way into it). Unknown when no call was cut short.
TSystemCall CallCutShort(const TSystemCall& recorded, const ucontext_t& context)
{
    const greg_t* r = context.uc_mcontext.gregs;
    if (r[REG_RAX] != -EINTR)
        return {};
    if (ContextInCall(recorded, context))
        return recorded;
    TSystemCall call;
    call.Number = CallNumberBeforeCode(uintptr_t(r[REG_RIP]));
    if (call.Number < 0)
        return {};
    const uint64_t arguments[6] = {uint64_t(r[REG_RDI]), uint64_t(r[REG_RSI]), uint64_t(r[REG_RDX]),
                                   uint64_t(r[REG_R10]), uint64_t(r[REG_R8]),  uint64_t(r[REG_R9])};
    std::memcpy(call.Arguments, arguments, sizeof arguments);
    call.StackPointer = uint64_t(r[REG_RSP]);
    call.ReturnAddress = uint64_t(r[REG_RIP]);
    call.Known = true;
    return call;
}

// The call the pause signal cut short, taken up again as the system takes
// it up after a signal that runs no handler. Only where the registers are
// still those of the call (the system's "interrupted" answer stands at the
// instruction after it, with its arguments), so that nothing else is ever
// touched. Async-signal-safe; runs after the thread was resumed.
void TakeUpInterruptedCall(const TSystemCall& call, ucontext_t& context)
{
    greg_t* r = context.uc_mcontext.gregs;
    if (call.ReturnAddress < 2 || r[REG_RAX] != -EINTR || !ContextInCall(call, context))
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
            slot->State.store(kPaused, std::memory_order_release);
            ::sem_post(&slot->Answered);
            while (::sem_wait(&slot->Resume) != 0 && errno == EINTR) {
            }
            // The call cut short, as the pauser found it while the thread
            // was paused (written before the resume).
            const TSystemCall call = slot->Call;
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

bool SameCall(const TSystemCall& a, const TSystemCall& b)
{
    return a.Known && b.Known && a.Number == b.Number && a.StackPointer == b.StackPointer && a.ReturnAddress == b.ReturnAddress
           && std::memcmp(a.Arguments, b.Arguments, sizeof a.Arguments) == 0;
}

// A thread that waits in a call of the system, read without a signal: its
// stack and instruction pointers from the system's record, its stack
// copied (through the system: memory that went meanwhile is an error, not
// a fault). The record read again after the copy must be the same: else
// the thread ran meanwhile, and it is tried again (three times at most).
// False when it runs, or ran each time.
bool ReadWaitingThread(pid_t tid, TPausedThread& thread)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const TSystemCall call = ReadSystemCall(tid);
        if (!call.Known || call.StackPointer == 0 || call.ReturnAddress == 0)
            return false;
        uintptr_t limit = 0, base = 0;
        if (!MemoryMappingOf(reinterpret_cast<const void*>(call.StackPointer), limit, base) || base <= call.StackPointer)
            return false;
        std::vector<uint8_t> copy(std::min<std::size_t>(base - call.StackPointer, kMaxWaitingStackCopy));
        iovec local{copy.data(), copy.size()}, remote{reinterpret_cast<void*>(call.StackPointer), copy.size()};
        if (::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) != ssize_t(copy.size()))
            return false;
        if (!SameCall(call, ReadSystemCall(tid)))
            continue;
        thread.Answered = true;
        thread.InSystemCall = true;
        thread.Context = ucontext_t{};
        thread.Context.uc_mcontext.gregs[REG_RIP] = greg_t(call.ReturnAddress);
        thread.Context.uc_mcontext.gregs[REG_RSP] = greg_t(call.StackPointer);
        MarkKnownRegisters(thread.Context, (1u << REG_RIP) | (1u << REG_RSP));
        thread.InstructionPointer = uintptr_t(call.ReturnAddress);
        thread.StackPointer = uintptr_t(call.StackPointer);
        thread.StackLimit = limit;
        thread.StackBase = base;
        thread.StackCopy = std::move(copy);
        return true;
    }
    return false;
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

void TThreadPause::Pause(std::span<const uint32_t> threadIDs, std::chrono::milliseconds wait, TPauseWay way)
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
        // Only read: a thread that waits in a call of the system is read as
        // it waits, without a signal that would cut the call short. (One
        // that waits in the handler of its own fault is held there anyway,
        // and answers that fault's registers.)
        if (way == TPauseWay::Read && !OwnFaultOf(pid_t(id)) && ReadWaitingThread(pid_t(id), thread))
            continue;
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
        // The call the signal cut short, for the handler to take up when
        // the thread goes on: also one the thread had just gone into.
        w.Slot->Call = CallCutShort(w.Slot->Call, w.Slot->Context);
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

long SystemCallNumberBefore(uintptr_t returnAddress) { return CallNumberBeforeCode(returnAddress); }

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
