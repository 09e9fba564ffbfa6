#include "program_faults.h"

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <malloc.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

namespace crashexample {

namespace {

// Kept where the compiler cannot see through them, so that the faults stay.
void* volatile gBlock = nullptr;
char* volatile gBytes = nullptr;
int* volatile gNullPointer = nullptr;

// Blocks too large for the C library's per-thread caches and fast lists:
// their free takes the arena's lock and checks the neighbours.
constexpr std::size_t kLargeBlock = 4000;

__attribute__((noinline)) void FaultHeapOverrun()
{
    gBytes = static_cast<char*>(std::malloc(kLargeBlock));
    gBlock = std::malloc(kLargeBlock); // the neighbour whose header the write damages
    // Past the end: over the next block's size word.
    std::memset(gBytes, 0x41, kLargeBlock + 16);
    std::free(gBytes);
    gBytes = nullptr; // no tail call: the frame stays on the stack
}

__attribute__((noinline)) void FaultDoubleFree()
{
    gBlock = std::malloc(kLargeBlock);
    void* const neighbour = std::malloc(kLargeBlock); // keeps the first one from the top of the heap
    gBytes = static_cast<char*>(neighbour);
    std::free(gBlock);
    std::free(gBlock);
    gBlock = nullptr; // no tail call: the frame stays on the stack
}

__attribute__((noinline)) void FaultWhileThreadsAllocate() { *gNullPointer = 46; }

__attribute__((noinline)) void FaultInStaticDestructor()
{
    std::abort();
}

// An object of static storage made once the component runs, whose
// destructor aborts as the program ends after main.
struct TAbortsAtExit {
    TAbortsAtExit() = default;
    TAbortsAtExit(const TAbortsAtExit&) = delete;
    TAbortsAtExit& operator=(const TAbortsAtExit&) = delete;
    ~TAbortsAtExit() { FaultInStaticDestructor(); }
};

// The threads that allocate while the main thread faults: they run until the process ends.
constexpr int kAllocatingThreads = 16;
std::atomic<int> gAllocating{0};

void AllocateForEver(unsigned seed)
{
    ++gAllocating;
    std::vector<void*> kept(64, nullptr);
    for (unsigned i = seed;; i = i * 1103515245u + 12345u) {
        void*& slot = kept[(i >> 8) % kept.size()];
        std::free(slot);
        slot = std::malloc(1100 + (i >> 4) % 8000);
        if (slot)
            static_cast<char*>(slot)[0] = char(i);
    }
}

// The thread a library starts from a static constructor: it waits for the
// main thread's word, then runs the fault it was given.
std::atomic<bool> gEarlyThreadGo{false};
std::function<void()> gEarlyThreadFault;

// Started before main when the kind asks for it (the C library passes the
// program's arguments to the constructors).
__attribute__((constructor)) void StartEarlyThread(int argc, char** argv, char**)
{
    if (argc < 2 || std::strcmp(argv[1], "early-thread-overflow") != 0)
        return;
    std::thread([] {
        while (!gEarlyThreadGo.load())
            ::usleep(1000);
        gEarlyThreadFault();
    }).detach();
}

} // namespace

bool IsProgramFaultKind(const std::string& kind)
{
    return kind == "heap-overrun" || kind == "double-free" || kind == "held-lock" || kind == "early-thread-overflow"
           || kind == "static-destructor-abort" || kind == "exit-at-once";
}

void BeforeComponent(const std::string& kind)
{
    // One arena for every thread, as GLIBC_TUNABLES=glibc.malloc.arena_max=1 gives.
    if (kind == "held-lock")
        ::mallopt(M_ARENA_MAX, 1);
}

void BeforeFault(const std::string& kind)
{
    if (kind == "static-destructor-abort") {
        static const TAbortsAtExit abortsAtExit;
        return;
    }
    if (kind != "held-lock")
        return;
    for (int i = 0; i < kAllocatingThreads; ++i)
        std::thread(AllocateForEver, unsigned(i * 7919 + 1)).detach();
    while (gAllocating.load() < kAllocatingThreads)
        std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

void ProgramFault(const std::string& kind, std::function<void()> stackOverflow)
{
    if (kind == "heap-overrun")
        FaultHeapOverrun();
    else if (kind == "double-free")
        FaultDoubleFree();
    else if (kind == "held-lock")
        FaultWhileThreadsAllocate();
    else if (kind == "exit-at-once")
        std::exit(0);
    else if (kind == "early-thread-overflow") {
        gEarlyThreadFault = std::move(stackOverflow);
        gEarlyThreadGo = true;
        // The process ends with the other thread's fault.
        for (;;)
            ::pause();
    }
}

bool ForbidNewThreads()
{
    // clone with CLONE_THREAD answers EAGAIN; clone3 answers ENOSYS, after
    // which the C library makes the thread with clone. A new process
    // (clone without CLONE_THREAD) is still allowed.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, CLONE_THREAD, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EAGAIN),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    sock_fprog program{static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
           && ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_TSYNC, &program) == 0;
}

} // namespace crashexample
