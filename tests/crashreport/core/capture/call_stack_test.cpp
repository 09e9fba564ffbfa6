#include "crashreport/core/capture/call_stack.h"

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/thread_pause.h"
#include "crashreport/core/support/memory_map.h"

#include <gtest/gtest.h>

#include <semaphore.h>
#include <setjmp.h>
#include <signal.h>
#include <ucontext.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <thread>
#include <vector>

// Threads parked at known call depths: functions that are never inlined,
// each calling the next on a line it records.

namespace cvstack {

std::atomic<int> gSink{0};
int gCallLine[5] = {};
int gParkLine = 0;
int gRecurseLine = 0;
int gFaultLine = 0;
volatile int* volatile gNowhere = nullptr;

[[gnu::noipa]] void Park(const bool& go)
{
    gParkLine = __LINE__ + 1;
    while (!__atomic_load_n(&go, __ATOMIC_RELAXED)) asm volatile("pause");
}

[[gnu::noipa]] void Fault() { gFaultLine = __LINE__; *gNowhere = 1; }

[[gnu::noipa]] void Depth3(int target, const bool& go) { gCallLine[3] = __LINE__; target == 3 ? Park(go) : Fault(); gSink++; }
[[gnu::noipa]] void Depth2(int target, const bool& go) { gCallLine[2] = __LINE__; target == 2 ? Park(go) : Depth3(target, go); gSink++; }
[[gnu::noipa]] void Depth1(int target, const bool& go) { gCallLine[1] = __LINE__; target == 1 ? Park(go) : Depth2(target, go); gSink++; }

[[gnu::noipa]] void Recurse(int n, const bool& go)
{
    if (n == 0) {
        Park(go);
    } else {
        gRecurseLine = __LINE__; Recurse(n - 1, go);
    }
    gSink++;
}

// Two functions that call each other: a recursion of two frames a turn.
int gPingLine = 0, gPongLine = 0;
[[gnu::noipa]] void Pong(int n, const bool& go);
[[gnu::noipa]] void Ping(int n, const bool& go)
{
    if (n == 0) {
        Park(go);
    } else {
        gPingLine = __LINE__; Pong(n - 1, go);
    }
    gSink++;
}
[[gnu::noipa]] void Pong(int n, const bool& go)
{
    if (n == 0) {
        Park(go);
    } else {
        gPongLine = __LINE__; Ping(n - 1, go);
    }
    gSink++;
}

[[gnu::noipa]] uintptr_t ReturnAddressOfCaller() { return reinterpret_cast<uintptr_t>(__builtin_return_address(0)); }

// A return address into a function that is not on the stack when it is
// planted: what an earlier call leaves behind in memory that later becomes
// another frame's locals.
[[gnu::noipa]] uintptr_t StaleReturnAddress()
{
    const uintptr_t stale = ReturnAddressOfCaller();
    gSink++;
    return stale;
}

// The registers and stack of a frame whose locals hold the stale address.
struct TPlanted {
    ucontext_t context{};
    std::vector<uint8_t> copy; // its stack from the stack pointer up
    uintptr_t copyFrom = 0;
    std::vector<std::string> proven, raw; // the procedures listed from the stack itself
    int line = 0;
};
std::vector<std::string> Procedures(const cv::TCrashboxStackList& list);

[[gnu::noipa]] void PlantAndLook(TPlanted& planted)
{
    volatile uintptr_t locals[6];
    const uintptr_t stale = StaleReturnAddress();
    for (volatile uintptr_t& slot : locals)
        slot = stale;
    getcontext(&planted.context);
    planted.line = __LINE__ - 1;
    const auto sp = uintptr_t(planted.context.uc_mcontext.gregs[REG_RSP]);
    uintptr_t low = 0, top = 0;
    if (cv::MemoryMappingOf(reinterpret_cast<const void*>(sp), low, top)) {
        planted.copyFrom = sp;
        planted.copy.assign(reinterpret_cast<const uint8_t*>(sp), reinterpret_cast<const uint8_t*>(top));
        cv::TCrashboxModulesList modules;
        for (const bool withRegisters : {true, false}) {
            const auto list = cv::GetCallStack(modules, 0, sp, top, 1, cv::kAllDebugDetails, -1, -1, true, true,
                                               withRegisters ? &planted.context : nullptr);
            (withRegisters ? planted.proven : planted.raw) = Procedures(*list);
        }
    }
    gSink += int(locals[2] & 1);
}

[[gnu::noipa]] void CallsPlant(TPlanted& planted) { PlantAndLook(planted); gSink++; }

} // namespace cvstack

namespace {

using namespace cv;

struct Frame {
    std::string procedure;
    int line;
};

} // namespace

std::vector<std::string> cvstack::Procedures(const cv::TCrashboxStackList& list)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->DebugDetail != cv::TCrashboxDebugDetail::ddNone)
            names.push_back(list.GetItem(i)->ProcedureName);
    return names;
}

namespace {

// The visible entries, in order.
std::vector<Frame> Visible(const TCrashboxStackList& list)
{
    std::vector<Frame> frames;
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->DebugDetail != TCrashboxDebugDetail::ddNone)
            frames.push_back({list.GetItem(i)->ProcedureName, int(list.GetItem(i)->Line)});
    return frames;
}

// Whether the wanted frames appear in this order (other entries may stand between them).
::testing::AssertionResult HasInOrder(const std::vector<Frame>& frames, const std::vector<Frame>& wanted)
{
    std::size_t next = 0;
    for (const Frame& f : frames)
        if (next < wanted.size() && f.procedure.find(wanted[next].procedure) != std::string::npos && f.line == wanted[next].line)
            ++next;
    if (next == wanted.size())
        return ::testing::AssertionSuccess();
    std::string listed;
    for (const Frame& f : frames)
        listed += "\n  " + f.procedure + ":" + std::to_string(f.line);
    return ::testing::AssertionFailure() << "missing " << wanted[next].procedure << ":" << wanted[next].line << " in" << listed;
}

int CountOf(const std::vector<Frame>& frames, const char* procedure, int line)
{
    return int(std::count_if(frames.begin(), frames.end(),
                             [&](const Frame& f) { return f.procedure.find(procedure) != std::string::npos && f.line == line; }));
}

std::vector<Frame> ExpectedFrames(int depth)
{
    std::vector<Frame> wanted = {{"Park(", cvstack::gParkLine}};
    const char* names[] = {"", "Depth1(", "Depth2(", "Depth3("};
    for (int level = depth; level >= 1; --level)
        wanted.push_back({names[level], cvstack::gCallLine[level]});
    return wanted;
}

// The call stacks of threads that each run one of the bodies until they
// park (the bodies call Park(go)), read while they are paused; their IDs.
struct TParkedStacks {
    std::vector<TCrashboxStackList> stacks;
    std::vector<uint32_t> ids;
};

TParkedStacks StacksOfParkedThreads(const std::vector<std::function<void(const bool&)>>& bodies)
{
    bool go = false;
    std::vector<std::atomic<uint32_t>> ids(bodies.size());
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < bodies.size(); ++i)
        threads.emplace_back([&, i] {
            ids[i] = CurrentThreadID();
            bodies[i](go);
        });
    for (auto& id : ids)
        while (id.load() == 0)
            std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // all reach Park
    TCrashboxModulesList modules;
    RefreshModulesList(modules);
    TParkedStacks parked{std::vector<TCrashboxStackList>(bodies.size()), std::vector<uint32_t>(ids.begin(), ids.end())};
    {
        TThreadPause pause;
        pause.Pause(parked.ids);
        for (std::size_t i = 0; i < bodies.size(); ++i) {
            EXPECT_TRUE(pause.Threads()[i].Answered);
            TCallStackScan scan;
            scan.List = &parked.stacks[i];
            scan.Modules = &modules;
            AddPausedThreadCallStack(scan, pause.Threads()[i]);
        }
    }
    __atomic_store_n(&go, true, __ATOMIC_RELAXED);
    for (auto& t : threads)
        t.join();
    return parked;
}

// Threads 1 to 3 park at that call depth; thread 4 after a recursion of 10,000 frames.
TEST(CallStack, EachPausedThreadNamesItsFunctionsInOrderWithTheirLinesAndALongRecursionShowsItsEnds)
{
    std::vector<std::function<void(const bool&)>> bodies;
    for (int depth = 1; depth <= 3; ++depth)
        bodies.push_back([depth](const bool& go) { cvstack::Depth1(depth, go); });
    bodies.push_back([](const bool& go) { cvstack::Recurse(10000, go); });
    const TParkedStacks parked = StacksOfParkedThreads(bodies);
    const std::vector<TCrashboxStackList>& stacks = parked.stacks;
    for (int depth = 1; depth <= 3; ++depth) {
        SCOPED_TRACE(depth);
        const TCrashboxStackList& list = stacks[std::size_t(depth - 1)];
        ASSERT_GT(list.Count(), 0);
        EXPECT_NE(list.GetItem(0)->ProcedureName.find("Park("), std::string::npos) << "the first entry is where the thread was paused";
        EXPECT_EQ(list.GetItem(0)->ThreadID, parked.ids[std::size_t(depth - 1)]);
        EXPECT_TRUE(HasInOrder(Visible(list), ExpectedFrames(depth)));
    }
    // The recursion's first and last turn, and between them a row that
    // counts the 9,998 frames left out; then the frames below it, down to
    // the thread's start.
    const std::vector<Frame> deep = Visible(stacks[3]);
    EXPECT_LT(deep.size(), 100u) << "far fewer rows than frames";
    EXPECT_TRUE(HasInOrder(deep, {{"Park(", cvstack::gParkLine},
                                  {"Recurse(", cvstack::gRecurseLine},
                                  {"(9998 repeated frames left out)", 0},
                                  {"Recurse(", cvstack::gRecurseLine}}));
    EXPECT_EQ(CountOf(deep, "Recurse(", cvstack::gRecurseLine), 2);
    EXPECT_EQ(deep.back().procedure.find("Recurse("), std::string::npos) << "the frames below the recursion follow it";
}

// A recursion's middle is left out whatever its cycle (here two functions
// that call each other), and only where it is long.
TEST(CallStack, ARecursionLeavesOutItsMiddleOnlyWhenItIsLong)
{
    const TParkedStacks parked = StacksOfParkedThreads({[](const bool& go) { cvstack::Ping(3000, go); },
                                                        [](const bool& go) { cvstack::Recurse(5, go); }});
    const std::vector<TCrashboxStackList>& stacks = parked.stacks;
    // 3,000 frames of two each a turn: the first turn, 2,996 left out, the
    // last turn (Pong called Ping(0), which parked).
    const std::vector<Frame> pingPong = Visible(stacks[0]);
    const Frame ping{"Ping(", cvstack::gPingLine}, pong{"Pong(", cvstack::gPongLine};
    EXPECT_TRUE(HasInOrder(pingPong, {{"Park(", cvstack::gParkLine}, pong, ping, {"(2996 repeated frames left out)", 0}, pong, ping}));
    EXPECT_EQ(CountOf(pingPong, "Ping(", cvstack::gPingLine), 2);
    EXPECT_EQ(CountOf(pingPong, "Pong(", cvstack::gPongLine), 2);
    const std::vector<Frame> shallow = Visible(stacks[1]);
    EXPECT_EQ(CountOf(shallow, "repeated frames left out", 0), 0) << "a recursion of five frames is not cut";
    EXPECT_TRUE(HasInOrder(shallow, {{"Park(", cvstack::gParkLine}, {"Recurse(", cvstack::gRecurseLine}}));
}

// The call stack of a thread that stands where context says, from its
// instruction (the error line) through its stack up to the top of the
// mapping it lies in; followRegisters: the frames followed from the
// context's registers, else the raw scan alone. Null when the stack is not
// in a mapping.
std::unique_ptr<TCrashboxStackList> StackAtContext(TCrashboxModulesList& modules, const ucontext_t& context, uint32_t thread,
                                                   bool followRegisters)
{
    RefreshModulesList(modules);
    const auto rsp = uintptr_t(context.uc_mcontext.gregs[REG_RSP]);
    uintptr_t low = 0, top = 0;
    if (!MemoryMappingOf(reinterpret_cast<const void*>(rsp), low, top))
        return nullptr;
    return GetCallStack(modules, uintptr_t(context.uc_mcontext.gregs[REG_RIP]), rsp, top, thread, kAllDebugDetails, -1, -1, true, true,
                        followRegisters ? &context : nullptr);
}

// The faulting thread stops in the handler until its stack has been read.
sem_t gFaulted, gExamined;
sigjmp_buf gBack;
ucontext_t gFaultContext;

void OnFault(int, siginfo_t*, void* context)
{
    gFaultContext = *static_cast<ucontext_t*>(context);
    sem_post(&gFaulted);
    while (sem_wait(&gExamined) != 0) {
    }
    siglongjmp(gBack, 1);
}

TEST(CallStack, TheRaisingThreadsStackStartsAtTheErrorLine)
{
    sem_init(&gFaulted, 0, 0);
    sem_init(&gExamined, 0, 0);
    struct sigaction action {}, previous {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO;
    ASSERT_EQ(sigaction(SIGSEGV, &action, &previous), 0);
    std::atomic<uint32_t> id{0};
    const bool go = false;
    std::thread raiser([&] {
        id = CurrentThreadID();
        if (sigsetjmp(gBack, 1) == 0)
            cvstack::Depth1(4, go);
    });
    sem_wait(&gFaulted);
    TCrashboxModulesList modules;
    auto list = StackAtContext(modules, gFaultContext, id, false);
    sem_post(&gExamined);
    ASSERT_TRUE(list);
    raiser.join();
    sigaction(SIGSEGV, &previous, nullptr);
    ASSERT_GT(list->Count(), 0);
    const TCrashboxDebugInfo& error = *list->GetItem(0);
    EXPECT_TRUE(error.ErrorLine);
    EXPECT_EQ(error.DebugDetail, TCrashboxDebugDetail::ddSourceCode);
    EXPECT_TRUE(HasInOrder(Visible(*list), {{"Fault(", cvstack::gFaultLine},
                                            {"Depth3(", cvstack::gCallLine[3]},
                                            {"Depth2(", cvstack::gCallLine[2]},
                                            {"Depth1(", cvstack::gCallLine[1]}}));
}

// A thread interrupted by a signal whose handler stops (until its stack
// has been read) where it takes its own registers.
sem_t gInHandler, gHandlerRead;
ucontext_t gHandlerContext;
std::atomic<bool> gInterruptedGoOn{false};
int gInterruptedLine = 0, gHandlerLine = 0;

[[gnu::noipa]] void Interrupted()
{
    gInterruptedLine = __LINE__ + 1;
    while (!gInterruptedGoOn.load(std::memory_order_relaxed)) asm volatile("pause");
}

[[gnu::noipa]] void TakesItsRegisters(int)
{
    getcontext(&gHandlerContext);
    // Where it goes on after taking them.
    gHandlerLine = __LINE__; sem_post(&gInHandler);
    while (sem_wait(&gHandlerRead) != 0) {
    }
}

// The chain goes through the signal's handler: the handler's frames, a row
// where the handler was entered, then the frame the signal interrupted (at
// the instruction it stands at) and its callers, as the debugger shows them.
TEST(CallStack, TheFrameWhereASignalHandlerWasEnteredIsARowOfItsOwn)
{
    sem_init(&gInHandler, 0, 0);
    sem_init(&gHandlerRead, 0, 0);
    struct sigaction action {}, previous {};
    action.sa_handler = TakesItsRegisters;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGUSR2, &action, &previous), 0);
    std::atomic<uint32_t> id{0};
    std::thread interrupted([&] {
        id = CurrentThreadID();
        Interrupted();
    });
    while (id.load() == 0)
        std::this_thread::yield();
    pthread_kill(interrupted.native_handle(), SIGUSR2);
    sem_wait(&gInHandler);
    TCrashboxModulesList modules;
    auto list = StackAtContext(modules, gHandlerContext, id, true);
    sem_post(&gHandlerRead);
    gInterruptedGoOn = true;
    interrupted.join();
    sigaction(SIGUSR2, &previous, nullptr);
    ASSERT_TRUE(list);

    const std::vector<Frame> rows = Visible(*list);
    EXPECT_TRUE(HasInOrder(rows, {{"TakesItsRegisters(", gHandlerLine}, {kSignalHandlerCalled, 0}, {"Interrupted", gInterruptedLine}}));
    EXPECT_EQ(std::count_if(rows.begin(), rows.end(), [](const Frame& f) { return f.procedure == kSignalHandlerCalled; }), 1);
    // Right after the row, at the next address (with the code inlined
    // there), the frame the signal interrupted.
    int entered = -1;
    for (int i = 0; i < list->Count(); ++i)
        if (list->GetItem(i)->ProcedureName == kSignalHandlerCalled)
            entered = i;
    ASSERT_GE(entered, 0);
    ASSERT_LT(entered + 1, list->Count());
    const uintptr_t interruptedAt = list->GetItem(entered + 1)->Addr;
    bool named = false;
    for (int i = entered + 1; i < list->Count() && list->GetItem(i)->Addr == interruptedAt; ++i)
        named = named || list->GetItem(i)->ProcedureName == "Interrupted";
    EXPECT_TRUE(named) << "the frame the signal interrupted comes next";
}

TEST(CallStack, AScanReadsTheFirst102400BytesKeeps1025EntriesAndItsWindow)
{
    const uintptr_t ret = cvstack::ReturnAddressOfCaller();
    std::vector<uintptr_t> stack(200 * 1024 / 8, 0);
    stack[kMaxStackScanBytes / 8 - 1] = ret; // the last slot read
    stack[kMaxStackScanBytes / 8] = ret;
    TCrashboxModulesList modules;
    auto scan = [&](std::size_t cells, int first = -1, int count = -1) {
        const auto from = reinterpret_cast<uintptr_t>(stack.data());
        return GetCallStack(modules, 0, from, from + cells * 8, 1, kAllDebugDetails, first, count, false, false);
    };
    auto list = scan(stack.size());
    ASSERT_EQ(list->Count(), 1);
    EXPECT_EQ(list->GetItem(0)->Addr, ret);
    EXPECT_EQ(list->GetItem(0)->DebugDetail, TCrashboxDebugDetail::ddModule);
    std::fill(stack.begin(), stack.begin() + 2000, ret);
    EXPECT_EQ(scan(2000)->Count(), kMaxCallStackEntries);
    EXPECT_EQ(scan(6, 2, 3)->Count(), 3) << "the third to the fifth entry found";
    EXPECT_EQ(scan(6, 4, 3)->Count(), 2);
}

TEST(CallStack, TheCallFormsBeforeAValueMakeItAReturnAddress)
{
    const struct {
        std::vector<uint8_t> bytes; // ending at the value
        int target;                 // rel32 at V-4 points: 0 nowhere set, 1 into readable memory, 2 into unreadable
        bool accepted;
    } forms[] = {{{0xE8, 0, 0, 0, 0}, 1, true},          {{0xE8, 0, 0, 0, 0}, 2, false},         {{0xFF, 0xD3}, 0, true},
                 {{0x41, 0xFF, 0xD4}, 0, true},          {{0xFF, 0x13}, 0, true},                {{0xFF, 0x14, 0x24}, 0, true},
                 {{0x48, 0x8B, 0x07, 0xFF, 0x50, 0x10}, 0, true}, {{0x48, 0x8B, 0x47, 0x08, 0xFF, 0x50, 0x10}, 0, true},
                 {{0xFF, 0x50, 0x10}, 0, false},         {{0xFF, 0x90, 1, 2, 0, 0}, 0, true},    {{0xFF, 0x54, 0x24, 8}, 0, true},
                 {{0xFF, 0x94, 0x24, 0, 1, 0, 0}, 0, true}, {{0xFF, 0x15, 0, 0, 0, 0}, 1, true}, {{0xFF, 0x15, 0, 0, 0, 0}, 2, false},
                 {{0xFF, 0xD8}, 0, false},               {{0x90, 0x90, 0x90}, 0, false}};
    const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
    auto* code = static_cast<uint8_t*>(mmap(nullptr, page * 2, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(code, MAP_FAILED);
    ASSERT_EQ(mprotect(code + page, page, PROT_NONE), 0);
    TCrashboxModulesList modules;
    for (std::size_t i = 0; i < std::size(forms); ++i) {
        std::memset(code, 0x90, page);
        uint8_t* v = code + 256;
        std::memcpy(v - forms[i].bytes.size(), forms[i].bytes.data(), forms[i].bytes.size());
        if (forms[i].target != 0) {
            const auto rel = int32_t((forms[i].target == 1 ? code + 16 : code + page + 16) - v);
            std::memcpy(v - 4, &rel, 4);
        }
        const uintptr_t stack[] = {0, uintptr_t(v), 42};
        auto list = GetCallStack(modules, 0, uintptr_t(stack), uintptr_t(stack + 3), 1, kAllDebugDetails, -1, -1, false, false);
        EXPECT_EQ(list->Count(), forms[i].accepted ? 1 : 0) << "form " << i;
    }
    munmap(code, page * 2);
    ForgetMemoryMap();
}

TEST(CallStack, FilteringHidesRepeatedAddressesAndRecursionRuns)
{
    TCrashboxModuleInfo a, b;
    auto entry = [](PCrashboxModuleInfo module, uintptr_t addr, const char* procedure, uint32_t offset) {
        auto e = std::make_unique<TCrashboxDebugInfo>();
        e->DebugDetail = TCrashboxDebugDetail::ddSourceCode;
        e->ModuleInfo = module;
        e->Addr = addr;
        e->ProcedureName = procedure;
        e->ProcOffsetLine = offset;
        return e;
    };
    const struct {
        std::vector<std::tuple<PCrashboxModuleInfo, uintptr_t, const char*, uint32_t>> entries;
        std::vector<bool> hidden;
    } cases[] = {{{{&a, 10, "f", 2}, {&a, 20, "g", 2}, {&a, 10, "f", 2}}, {false, false, false}},
                 {{{&a, 10, "f", 2}, {&b, 10, "f", 2}, {&a, 10, "f", 2}}, {true, false, false}},
                 {{{&a, 1, "g", 4}, {&a, 30, "f", 3}, {&a, 40, "f", 5}, {&a, 50, "f", 0}}, {false, true, true, false}}};
    for (const auto& c : cases) {
        TCrashboxStackList list;
        for (const auto& [module, addr, procedure, offset] : c.entries)
            list.Add(entry(module, addr, procedure, offset));
        FilterCallStack(list, 0);
        for (int i = 0; i < list.Count(); ++i)
            EXPECT_EQ(list.GetItem(i)->DebugDetail == TCrashboxDebugDetail::ddNone, c.hidden[std::size_t(i)]) << &c - cases << ":" << i;
    }
}

[[gnu::noipa]] TExceptionStackCopy CopyFromHere(uintptr_t savedStackPointer)
{
    SaveExceptionStackCopy(0x1000, true, savedStackPointer);
    return LastExceptionStackCopy();
}

TEST(CallStack, TheRaiseStackCopyHoldsTheCallersFrames)
{
    volatile int local = 0;
    TExceptionStackCopy copy = CopyFromHere(0); // outside the stack: from the current stack pointer
    EXPECT_EQ(copy.ThreadID, CurrentThreadID());
    EXPECT_EQ(copy.ExceptionAddress, 0x1000u - 5);
    EXPECT_LT(copy.From, uintptr_t(&local));
    TCrashboxModulesList modules;
    const auto from = reinterpret_cast<uintptr_t>(copy.Bytes.data());
    const auto list = GetCallStack(modules, 0, from, from + copy.Bytes.size(), 1, kAllDebugDetails, -1, -1, false, true);
    bool found = false;
    for (const Frame& f : Visible(*list))
        found |= f.procedure.find("TheRaiseStackCopyHoldsTheCallersFrames") != std::string::npos;
    EXPECT_TRUE(found) << "the test body called CopyFromHere";
    EXPECT_EQ(CopyFromHere(uintptr_t(&local)).From, uintptr_t(&local));
}

// A stale return address in a frame's locals is a genuine "address after a
// call": the raw scan lists it. Followed with the call-frame information
// from the frame's registers, the locals are known for what they are and
// only the real callers are listed, on the stack itself and on a copy of it
// that lies elsewhere.
TEST(CallStack, FramesFollowedFromTheRegistersListNoStaleAddressOfTheirLocals)
{
    cvstack::TPlanted planted;
    cvstack::CallsPlant(planted);
    ASSERT_FALSE(planted.copy.empty());
    auto has = [](const std::vector<std::string>& names, const char* name) {
        return std::any_of(names.begin(), names.end(), [name](const std::string& n) { return n.find(name) != std::string::npos; });
    };
    auto listed = [](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& n : names)
            text += "\n  " + n;
        return text;
    };
    EXPECT_TRUE(has(planted.raw, "StaleReturnAddress")) << "the raw scan takes the planted address for a frame" << listed(planted.raw);

    TCrashboxModulesList modules;
    const auto from = reinterpret_cast<uintptr_t>(planted.copy.data());
    const auto copied = GetCallStack(modules, 0, from, from + planted.copy.size(), 1, kAllDebugDetails, -1, -1, true, true,
                                     &planted.context, planted.copyFrom);
    for (const auto& names : {planted.proven, cvstack::Procedures(*copied)}) {
        EXPECT_FALSE(has(names, "StaleReturnAddress")) << listed(names);
        // The callers, in order, the test's own body among them.
        const std::vector<std::string> wanted = {"CallsPlant(", "FramesFollowedFromTheRegistersListNoStaleAddressOfTheirLocals"};
        auto next = wanted.begin();
        for (const std::string& n : names)
            if (next != wanted.end() && n.find(*next) != std::string::npos)
                ++next;
        EXPECT_EQ(next, wanted.end()) << listed(names);
        ASSERT_FALSE(names.empty());
        EXPECT_NE(names.front().find("CallsPlant("), std::string::npos) << "the first caller of the frame, nothing before it" << listed(names);
    }
}

} // namespace
