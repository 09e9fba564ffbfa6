// The fatal-signal door. The signal handler does almost nothing that could
// fail in a broken process: it copies the signal's record and context into
// storage made at start-up and wakes the report thread (also started at
// start-up) through a pipe; then it waits for the report, with a deadline
// that an alarm backs up, and ends the process with the same signal through
// the action that was there before us. Everything else happens on the
// report thread, in a normal context.

#include "crashreport/core/handler/signal_doors.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/handler/descriptor_reserve.h"
#include "crashreport/core/handler/exception_doors.h"
#include "crashreport/core/handler/exception_handler.h"
#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/handler/thread_doors.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/module_handles.h"
#include "crashreport/core/support/report_arena.h"
#include "crashreport/core/support/report_helpers.h"

namespace cv {

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr std::size_t kAlternateStackSize = 64 * 1024;
// How near the stack pointer a fault must lie to be the stack's overflow.
constexpr uintptr_t kOverflowReach = 64 * 1024;
constexpr int kDefaultDeadlineSeconds = 10;
// How long the threads already running at start-up are waited for, each
// to give itself an alternate signal stack.
constexpr std::chrono::milliseconds kExistingThreadsWait{200};
// How long a faulting thread whose report is done still leaves the end of
// the process to an exit on its way, at the least (seconds).
constexpr int kExitGraceSeconds = 5;
constexpr char kWakeReport = 'r';
constexpr char kWakeQuit = 'q';
constexpr char kAnswerDone = 'd';
constexpr char kAnswerFailed = 'f';

struct sigaction gPrevious[NSIG];
bool gHavePrevious[NSIG] = {};
std::atomic<bool> gInstalled{false};

// The fault being reported, copied by the faulting thread.
struct TFault {
    int Signal = 0;
    siginfo_t Record{};
    ucontext_t Context{};
    _libc_fpstate FloatingPoint{};
    uint32_t ThreadID = 0;
    pthread_t Thread{};
    uintptr_t TopOfStack = 0;
    bool StackOverflow = false;
};
TFault gFault;
// The thread that reports (its ID), 0 when none.
std::atomic<uint32_t> gClaim{0};
int gWakePipe[2] = {-1, -1};
int gAnswerPipe[2] = {-1, -1};
std::thread gReportThread;
std::atomic<uint32_t> gReportThreadID{0};
std::atomic<int> gDeadlineSeconds{kDefaultDeadlineSeconds};
// The report in progress ends the process with an exit code of its own (an
// exception nothing catches): a fault reported meanwhile leaves the end to it.
std::atomic<bool> gExitAfterReport{false};

// The faults of other threads that wait while a report is made: kept by
// their signal handlers (a slot claimed with one atomic step, then filled,
// then marked full), named in that report by the handler.
struct TWaitingFault {
    std::atomic<int> State{0}; // 0 free, 1 being filled, 2 full
    int Signal = 0;
    int Code = 0;
    bool StackOverflow = false;
    uint32_t ThreadID = 0;
    uintptr_t Address = 0;
};
TWaitingFault gWaitingFaults[8];


thread_local bool tInsideSignalDoor = false;

// --- async-signal-safe pieces ---

uint32_t SelfID() { return uint32_t(::syscall(SYS_gettid)); }

void RawWrite(int fd, const char* text, std::size_t size)
{
    while (size > 0) {
        const long n = ::syscall(SYS_write, fd, text, size);
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            return;
        }
        text += n;
        size -= std::size_t(n);
    }
}

void RawWriteText(int fd, const char* text) { RawWrite(fd, text, std::strlen(text)); }

void SleepMilliseconds(long ms)
{
    timespec t{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}

// The action that was there before us, as if we had never been: a handler
// is called, an ignored signal that the system raised for a fault cannot be
// ignored (it would fault again for ever), and the default action ends the
// process with the same signal, raised again with its own record.
void PassOn(int signal, siginfo_t* record, void* context)
{
    const struct sigaction previous = gHavePrevious[signal] ? gPrevious[signal] : (struct sigaction){};
    if ((previous.sa_flags & SA_SIGINFO) && previous.sa_sigaction) {
        previous.sa_sigaction(signal, record, context);
        return;
    }
    if (previous.sa_handler == SIG_IGN && (signal == SIGABRT || !record || record->si_code <= 0))
        return;
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction fallback{};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    // Pending until the handler returns, then delivered with its own record.
    if (!record || ::syscall(SYS_rt_tgsigqueueinfo, ::getpid(), SelfID(), signal, record) != 0)
        ::syscall(SYS_tgkill, ::getpid(), SelfID(), signal);
}

// Whether the byte at address can be read, asked of the system: a read of
// our own memory that answers EFAULT where a load would fault. One call,
// where a look at the memory map reads the whole map again for an address
// that is not there (a few tenths of a millisecond in a large program).
// Where the call is not allowed, the map answers. Async-signal-safe.
bool ByteReadable(const void* address)
{
    char byte;
    iovec local{&byte, 1}, remote{const_cast<void*>(address), 1};
    const ssize_t n = ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0);
    if (n == 1)
        return true;
    if (n < 0 && errno == EFAULT)
        return false;
    return IsReadableMemory(address, 1);
}

bool LooksLikeStackOverflow(int signal, const siginfo_t* record, const ucontext_t* context)
{
    // A signal a process sent holds its sender where a fault holds its address.
    if (signal != SIGSEGV || !record || !context || SignalSentByProcess(*record))
        return false;
    const auto address = reinterpret_cast<uintptr_t>(record->si_addr);
    const auto sp = uintptr_t(context->uc_mcontext.gregs[REG_RSP]);
    const bool near = address + kOverflowReach >= sp && address <= sp + kOverflowReach;
    return near && !ByteReadable(record->si_addr);
}

// Kept for the report being made, which names it (async-signal-safe).
void KeepWaitingFault(int signal, const siginfo_t* record, const ucontext_t* context, uint32_t thread)
{
    for (TWaitingFault& slot : gWaitingFaults) {
        int free = 0;
        if (!slot.State.compare_exchange_strong(free, 1))
            continue;
        slot.Signal = signal;
        slot.Code = record ? record->si_code : 0;
        slot.StackOverflow = LooksLikeStackOverflow(signal, record, context);
        slot.ThreadID = thread;
        slot.Address = context ? uintptr_t(context->uc_mcontext.gregs[REG_RIP]) : 0;
        slot.State = 2;
        return;
    }
}

// Waits for the report thread's answer, as long as the deadline (which the
// report may lengthen) allows; the alarm is the watch behind the wait.
// Whether the answer came; `waited`: how long it took (milliseconds).
bool WaitForReport(int& waited)
{
    waited = 0;
    for (;;) {
        const int deadline = gDeadlineSeconds.load();
        if (waited >= deadline * 1000)
            return false;
        ::alarm(unsigned(deadline - waited / 1000 + 5));
        pollfd answer{gAnswerPipe[0], POLLIN, 0};
        const int ready = ::poll(&answer, 1, 200);
        if (ready > 0) {
            char byte = 0;
            ::syscall(SYS_read, gAnswerPipe[0], &byte, 1);
            ::alarm(0);
            return true;
        }
        waited += 200;
    }
}

// The fault's report is done while the process is on its way to an exit
// of its own (the report of an exception nothing catches ends it with exit
// code 1 once this one is done): that end is the program's, and this
// thread waits for it rather than race it with its signal. Bounded: the
// rest of the deadline, a few seconds at the least.
void LeaveTheEndToTheExit(int waited)
{
    if (!gExitAfterReport.load())
        return;
    const int limit = std::max(gDeadlineSeconds.load() * 1000 - waited, kExitGraceSeconds * 1000);
    for (int slept = 0; slept < limit; slept += 100)
        SleepMilliseconds(100);
}

// The report thread itself faulted outside a guarded step: what was written
// stays, the faulting thread is told to die with its own signal, and this
// thread waits for the end.
[[noreturn]] void FaultInReportThread(int signal)
{
    RawWriteText(STDERR_FILENO, "Crashbox: the report of a fatal signal failed (signal ");
    char number[4] = {char('0' + signal / 10 % 10), char('0' + signal % 10), ')', '\n'};
    RawWrite(STDERR_FILENO, number, sizeof number);
    const char answer = kAnswerFailed;
    RawWrite(gAnswerPipe[1], &answer, 1);
    for (;;)
        ::pause();
}

// --- without a report thread ---

void ReportFault();

// When no thread could be started for the reports (a limit of threads at
// start-up), the faulting thread makes its report itself, inside its
// signal handler, on a stack mapped for it at start-up: its own stack may
// be the one that overflowed, and the signal stack is small. The alarm
// ends the process should the report hang.
constexpr std::size_t kOwnReportStackSize = std::size_t(8) << 20;
void* gOwnReportStack = nullptr;
ucontext_t gOwnReportReturn;
std::atomic<uint32_t> gOwnReporter{0};
bool gOwnReportDone = false;

void RunOwnReport()
{
    const TReportArenaScope arena(TArenaLeave::KeepHeld);
    gOwnReportDone = CallGuarded(ReportFault);
}

bool ReportOnFaultingThread()
{
    if (!gOwnReportStack)
        return false;
    ::alarm(unsigned(gDeadlineSeconds.load() + 5));
    gOwnReporter = SelfID();
    gOwnReportDone = false;
    ucontext_t report{};
    ::getcontext(&report);
    report.uc_stack.ss_sp = gOwnReportStack;
    report.uc_stack.ss_size = kOwnReportStackSize;
    report.uc_link = &gOwnReportReturn;
    ::makecontext(&report, &RunOwnReport, 0);
    ::swapcontext(&gOwnReportReturn, &report);
    gOwnReporter = 0;
    ::alarm(0);
    return gOwnReportDone;
}

void FatalSignalDoor(int signal, siginfo_t* record, void* contextPointer)
{
    const int savedErrno = errno;
    JumpToGuardOnFault(signal, record, static_cast<const ucontext_t*>(contextPointer));
    const uint32_t self = SelfID();
    if (self == gReportThreadID.load())
        FaultInReportThread(signal);
    if (!CoreSwitchedOn() || !HandlingEnabled() || IsThreadExcluded(self) || tInsideSignalDoor || InsideExceptNotify()
        || InsideProcessException()) {
        PassOn(signal, record, contextPointer);
        errno = savedErrno;
        return;
    }
    tInsideSignalDoor = true;
    uint32_t expected = 0;
    if (!gClaim.compare_exchange_strong(expected, self)) {
        // Another thread's report is on its way, and the process ends with
        // it; should it not, this thread ends it. That report names this fault.
        KeepWaitingFault(signal, record, static_cast<const ucontext_t*>(contextPointer), self);
        // Meanwhile the report shows this thread where it faulted, not where
        // it waits.
        if (contextPointer)
            NoteOwnFaultContext(*static_cast<const ucontext_t*>(contextPointer));
        for (int waited = 0; waited < gDeadlineSeconds.load() * 1000; waited += 100)
            SleepMilliseconds(100);
        ForgetOwnFaultContext();
        PassOn(signal, record, contextPointer);
        tInsideSignalDoor = false;
        errno = savedErrno;
        return;
    }
    auto* context = static_cast<ucontext_t*>(contextPointer);
    gFault.Signal = signal;
    gFault.Record = record ? *record : siginfo_t{};
    if (context) {
        gFault.Context = *context;
        if (context->uc_mcontext.fpregs) {
            gFault.FloatingPoint = *context->uc_mcontext.fpregs;
            gFault.Context.uc_mcontext.fpregs = &gFault.FloatingPoint;
        }
    }
    gFault.ThreadID = self;
    gFault.Thread = ::pthread_self();
    gFault.TopOfStack = ThreadTopOfStackIfKnown();
    gFault.StackOverflow = LooksLikeStackOverflow(signal, record, context);
    int waited = 0;
    bool answered = false;
    if (gReportThreadID.load() != 0) {
        const char wake = kWakeReport;
        RawWrite(gWakePipe[1], &wake, 1);
        answered = WaitForReport(waited);
    } else {
        answered = ReportOnFaultingThread();
    }
    if (answered)
        LeaveTheEndToTheExit(waited);
    PassOn(signal, record, contextPointer);
    tInsideSignalDoor = false;
    errno = savedErrno;
}

// --- the report thread ---

void ReportFault()
{
    // The process may have no descriptor left: the report's own come first.
    ReleaseDescriptors(TDescriptorUse::Reading);
    const TFault& fault = gFault;
    uintptr_t top = fault.TopOfStack;
    if (top == 0) {
        pthread_attr_t attributes;
        if (::pthread_getattr_np(fault.Thread, &attributes) == 0) {
            void* low = nullptr;
            std::size_t size = 0;
            if (::pthread_attr_getstack(&attributes, &low, &size) == 0)
                top = reinterpret_cast<uintptr_t>(low) + size;
            ::pthread_attr_destroy(&attributes);
        }
    }
    const TExceptionObject object = ExceptionObjectFromSignalRecord(fault.Record, fault.StackOverflow);
    const auto address = uintptr_t(fault.Context.uc_mcontext.gregs[REG_RIP]);
    const auto stackPointer = uintptr_t(fault.Context.uc_mcontext.gregs[REG_RSP]);
    const uintptr_t module = ModuleHandleOfAddress(reinterpret_cast<const void*>(address));
    // A report of another thread (a C++ exception with its dialog up) may
    // hold the handler until after this fault ends the process: it names
    // this fault at once. This one's own report follows when it can.
    NoteFaultInReportInProgress(FaultNote(object, fault.ThreadID, address));
    // The same error as the one just handled (its class and message) is not reported again.
    if (!SameAsLastHandledException(object))
        ExceptNotify(object, address, false, nullptr, false, aeNone, module ? module : CrashboxLibraryModuleHandle(),
                     rtUnknown, &fault.Record, &fault.Context, stackPointer, top, fault.ThreadID);
}

void ReportThreadLoop()
{
    EnsureAlternateSignalStack();
    gReportThreadID = CurrentThreadID();
    for (;;) {
        char byte = 0;
        const long n = ::read(gWakePipe[0], &byte, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || byte == kWakeQuit)
            return;
        // The faulting thread may hold the allocator's lock for good (a
        // corrupt heap found inside free): the report allocates from its own
        // memory, and what it frees of the C library's stays aside.
        const TReportArenaScope arena(TArenaLeave::KeepHeld);
        const bool done = CallGuarded(ReportFault);
        const char answer = done ? kAnswerDone : kAnswerFailed;
        RawWrite(gAnswerPipe[1], &answer, 1);
    }
}

// --- alternate stacks ---

std::size_t AlternateStackMappingSize() { return kAlternateStackSize + std::size_t(::sysconf(_SC_PAGESIZE)); }

// A new alternate signal stack: a guard page below it, so that an overflow
// of the signal stack faults instead of writing over whatever lies there.
// Async-signal-safe.
bool MapAlternateStack(void*& mapping, stack_t& stack)
{
    const auto page = std::size_t(::sysconf(_SC_PAGESIZE));
    mapping = ::mmap(nullptr, AlternateStackMappingSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED)
        return false;
    ::mprotect(mapping, page, PROT_NONE);
    stack = {};
    stack.ss_sp = static_cast<char*>(mapping) + page;
    stack.ss_size = kAlternateStackSize;
    return true;
}

bool HasAlternateStack(const stack_t& stack) { return !(stack.ss_flags & SS_DISABLE) && stack.ss_size >= kAlternateStackSize; }

// Run by a thread that was there before the core started, inside the
// pause signal's handler: the stack becomes the thread's as the handler
// returns (the system puts back the context's stack then; one set inside
// the handler would be undone). Not unmapped when the thread ends (nothing
// runs then that could do it safely): the few threads a library starts
// before main mostly live as long as the process.
void GiveAlternateStackFromSignal(ucontext_t& context)
{
    void* mapping = nullptr;
    if (!HasAlternateStack(context.uc_stack) && MapAlternateStack(mapping, context.uc_stack))
        context.uc_stack.ss_flags = 0;
}

// Every thread of the process that has none gets an alternate signal
// stack: the threads the program starts later get theirs from the thread
// door, the ones already there (started by a library's static constructor,
// or before the core by the program) here. Without one, a stack overflow
// of the thread cannot be reported: the system has no stack to run the
// fault's handler on.
void GiveAlternateStacksToEveryThread()
{
    EnsureAlternateSignalStack();
    std::vector<uint32_t> others = ProcessThreadIDs();
    std::erase_if(others, [](uint32_t id) { return id == CurrentThreadID() || id == gReportThreadID.load(); });
    if (!others.empty())
        VisitThreads(others, &GiveAlternateStackFromSignal, kExistingThreadsWait);
}

struct TAlternateStack {
    void* mapping = nullptr;
    std::size_t size = 0;
    ~TAlternateStack()
    {
        if (!mapping)
            return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        ::munmap(mapping, size);
    }
};
thread_local TAlternateStack tAlternateStack;

} // namespace

// --- guarded calls (exception_doors.cpp keeps the guards) ---

void ExtendSignalReportDeadline(int seconds)
{
    int current = gDeadlineSeconds.load();
    while (seconds > current && !gDeadlineSeconds.compare_exchange_weak(current, seconds)) {
    }
    // A report made on the faulting thread has no waiter to move its alarm.
    if (gOwnReporter.load() != 0)
        ::alarm(unsigned(gDeadlineSeconds.load() + 5));
}

int SignalReportDeadline() { return gDeadlineSeconds.load(); }

void NoteExitAfterReport() { gExitAfterReport = true; }

void EnsureAlternateSignalStack()
{
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && HasAlternateStack(current))
        return;
    void* mapping = nullptr;
    stack_t stack{};
    if (!MapAlternateStack(mapping, stack))
        return;
    if (::sigaltstack(&stack, nullptr) != 0) {
        ::munmap(mapping, AlternateStackMappingSize());
        return;
    }
    tAlternateStack.mapping = mapping;
    tAlternateStack.size = AlternateStackMappingSize();
}

uint32_t SignalReportThreadID()
{
    const uint32_t thread = gReportThreadID.load();
    return thread != 0 ? thread : gOwnReporter.load();
}

std::vector<std::string> TakeWaitingFaultNotes()
{
    std::vector<std::string> notes;
    for (TWaitingFault& slot : gWaitingFaults) {
        if (slot.State.load() != 2)
            continue;
        const TExceptionObject object = ExceptionObjectFromSignal(slot.Signal, slot.Code, slot.StackOverflow);
        notes.push_back(FaultNote(object, slot.ThreadID, slot.Address));
        slot.State = 0;
    }
    return notes;
}

bool SignalDoorsInstalled() { return gInstalled.load(); }

void InstallSignalDoors()
{
    if (gInstalled.load())
        return;
    if (::pipe2(gWakePipe, O_CLOEXEC) != 0 || ::pipe2(gAnswerPipe, O_CLOEXEC) != 0)
        return;
    gClaim = 0;
    gDeadlineSeconds = kDefaultDeadlineSeconds;
    gExitAfterReport = false;
    bool started = false;
    {
        TCoreThreadScope coreThread;
        started = TryStartThread(gReportThread, ReportThreadLoop, "the reports of fatal signals");
    }
    if (started) {
        while (gReportThreadID.load() == 0)
            std::this_thread::yield();
        AddExcludedThread(gReportThreadID.load());
    } else if (!gOwnReportStack) {
        // The faulting thread reports on a stack of its own instead.
        void* stack = ::mmap(nullptr, kOwnReportStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK,
                             -1, 0);
        gOwnReportStack = stack == MAP_FAILED ? nullptr : stack;
    }
    struct sigaction action{};
    action.sa_sigaction = &FatalSignalDoor;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals)
        gHavePrevious[signal] = ::sigaction(signal, &action, &gPrevious[signal]) == 0;
    GiveAlternateStacksToEveryThread();
    gInstalled = true;
}

void RemoveSignalDoors()
{
    if (!gInstalled.exchange(false))
        return;
    for (int signal : kFatalSignals)
        if (gHavePrevious[signal]) {
            ::sigaction(signal, &gPrevious[signal], nullptr);
            gHavePrevious[signal] = false;
        }
    const char quit = kWakeQuit;
    RawWrite(gWakePipe[1], &quit, 1);
    if (gReportThread.joinable())
        gReportThread.join();
    if (gReportThreadID.load() != 0)
        RemoveExcludedThread(gReportThreadID.load());
    gReportThreadID = 0;
    for (int* pipe : {gWakePipe, gAnswerPipe})
        for (int i = 0; i < 2; ++i)
            if (pipe[i] >= 0) {
                ::close(pipe[i]);
                pipe[i] = -1;
            }
}

} // namespace cv
