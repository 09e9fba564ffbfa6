// The leak catcher switched on: this program links the catcher's allocation
// operators, so every new and delete below goes through its memory manager.
#include "crashreport/core/leak_catcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace cv;

// The tests read the catcher's header and footer around blocks, write past
// a block and free one twice on purpose.
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wuse-after-free"
#pragma GCC diagnostic ignored "-Wstringop-overflow"

namespace {

struct Faults {
    std::vector<std::pair<const void*, std::size_t>> overruns;
    std::vector<const void*> multiFrees;
};

Faults& Recorded()
{
    static Faults faults;
    return faults;
}

constexpr uint8_t kAllOptions =
    kLeakCatchLeaks | kLeakGroupsSonLeaks | kLeakHideRuntimeLeaks | kLeakFreeAllLeaks | kLeakCatchLeaksExceptions;

class LeakCatcherOn : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TLeakCallbacks callbacks;
        callbacks.Overrun = [](const void* data, std::size_t size) { Recorded().overruns.push_back({data, size}); };
        callbacks.MultiFree = [](const void* data) { Recorded().multiFrees.push_back(data); };
        SetLeakCallbacks(callbacks);
        static const TLeakOptionsBlock block{0x100FAB10, 6103, kAllOptions};
        TLeakCatcherStartup startup;
        startup.MainModuleFileName = startup.ModuleFileName = "crashreport_leak_tests";
        startup.ModuleBlock = &block;
        ASSERT_EQ(StartLeakCatcher(startup), TLeakCatcherState::lcsActive);
    }
    void SetUp() override
    {
        Recorded().overruns.clear();
        Recorded().multiFrees.clear();
    }
};

} // namespace

TEST_F(LeakCatcherOn, EveryBlockIsListedWhileItLives)
{
    ASSERT_TRUE(LeakOperatorsInForce());
    ASSERT_TRUE(LeakCatcherActive());
    const std::size_t before = LeakLiveBlockCount();
    char* block = new char[100];
    EXPECT_EQ(LeakLiveBlockCount(), before + 1);
    // The header's magic stands right before the data, the footer's right after.
    uint32_t magic;
    std::memcpy(&magic, block - 4, 4);
    EXPECT_EQ(magic, kLeakBlockMagic);
    std::memcpy(&magic, block + 100, 4);
    EXPECT_EQ(magic, kLeakBlockMagic);
    delete[] block;
    EXPECT_EQ(LeakLiveBlockCount(), before);
    EXPECT_TRUE(Recorded().overruns.empty());

    // Over-aligned objects keep their alignment.
    struct alignas(128) Wide {
        char bytes[200];
    };
    auto* wide = new Wide;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(wide) % 128, 0u);
    EXPECT_EQ(LeakLiveBlockCount(), before + 1);
    delete wide;
    EXPECT_EQ(LeakLiveBlockCount(), before);
}

TEST_F(LeakCatcherOn, WritingOnePastTheEndIsAnOverrunWhenFreed)
{
    char* block = new char[10];
    block[10] = 'x';
    delete[] block;
    ASSERT_EQ(Recorded().overruns.size(), 1u);
    EXPECT_EQ(Recorded().overruns[0].first, block);
    EXPECT_EQ(Recorded().overruns[0].second, 10u);
}

TEST_F(LeakCatcherOn, FreeingTwiceIsReportedOnceAndKeepsTheList)
{
    const std::size_t before = LeakLiveBlockCount();
    void* first = ::operator new(40);
    void* second = ::operator new(40);
    ::operator delete(first);
    ::operator delete(first);
    ASSERT_EQ(Recorded().multiFrees.size(), 1u);
    EXPECT_EQ(Recorded().multiFrees[0], first);
    EXPECT_EQ(LeakLiveBlockCount(), before + 1);
    // The list still links and unlinks soundly.
    {
        std::vector<std::unique_ptr<int>> more;
        for (int i = 0; i < 100; ++i)
            more.push_back(std::make_unique<int>(i));
    }
    ::operator delete(second);
    EXPECT_EQ(LeakLiveBlockCount(), before);
    EXPECT_EQ(Recorded().multiFrees.size(), 1u);
}

TEST_F(LeakCatcherOn, ReallocateKeepsTheDataAndTheListing)
{
    const std::size_t before = LeakLiveBlockCount();
    auto* block = static_cast<char*>(LeakGetMem(16));
    std::memcpy(block, "sixteen bytes!!", 16);
    block = static_cast<char*>(LeakReallocMem(block, 100000));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::string(block), "sixteen bytes!!");
    EXPECT_EQ(LeakLiveBlockCount(), before + 1);
    block[99999] = 'z';
    block = static_cast<char*>(LeakReallocMem(block, 8));
    EXPECT_EQ(std::string(block, 8), "sixteen ");
    LeakFreeMem(block);
    EXPECT_EQ(LeakLiveBlockCount(), before);
    EXPECT_TRUE(Recorded().overruns.empty());
}

TEST_F(LeakCatcherOn, ThreadsAllocatingAtOnceLeaveTheListSound)
{
    const std::size_t before = LeakLiveBlockCount();
    {
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            std::mt19937 random{unsigned(t)};
            std::vector<std::unique_ptr<char[]>> live;
            for (int i = 0; i < 20000; ++i) {
                if (live.size() > 50 || (!live.empty() && random() % 2))
                    live.erase(live.begin() + long(random() % live.size()));
                else
                    live.push_back(std::make_unique<char[]>(random() % 300));
            }
        });
    for (auto& t : threads)
        t.join();
    }
    EXPECT_EQ(LeakLiveBlockCount(), before);
    EXPECT_TRUE(Recorded().overruns.empty());
    EXPECT_TRUE(Recorded().multiFrees.empty());
}

namespace {

// Allocated from one place (not unrolled, no tail call), so the blocks share their call stack.
__attribute__((noinline)) void LeakFromOnePlace(const void** out, int count)
{
#pragma GCC unroll 1
    for (int i = 0; i < count; ++i) {
        char* block = new char[16];
        block[0] = char(i);
        out[i] = block;
    }
}

struct Owner {
    char* child;
};
__attribute__((noinline)) Owner* LeakOwner()
{
    auto* owner = new Owner;
    owner->child = new char[40];
    return owner;
}

// Runs the end-of-program steps in a child process (they free every leak)
// and answers the leaks it reported among the blocks named, one line each:
// "type size count index-of-the-block".
std::string ShutDownInChild(std::span<const void* const> mine)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0)
        return "pipe failed";
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        std::string out;
        int opened = 0;
        TLeakCallbacks callbacks;
        callbacks.OpenReport = [&] { ++opened; };
        callbacks.CloseReport = [&] { out += "closed " + std::to_string(opened) + "\n"; };
        callbacks.Leak = [&](const TLeakReport& leak) {
            const void* data = static_cast<const char*>(leak.Header) + kLeakBlockOverHead;
            const auto it = std::find(mine.begin(), mine.end(), data);
            if (it != mine.end())
                out += std::string(leak.Type) + " " + std::to_string(leak.Size) + " " + std::to_string(leak.Count) + " "
                       + std::to_string(it - mine.begin()) + " " + std::to_string(leak.CallStack.size()) + "\n";
        };
        SetLeakCallbacks(callbacks);
        const TLeakTotals t = ShutDownLeakCatcher();
        out += "totals " + std::to_string(t.Count) + " " + std::to_string(t.Size) + " active "
               + std::to_string(LeakCatcherActive()) + " live " + std::to_string(LeakLiveBlockCount()) + "\n";
        ssize_t ignored = write(pipeEnds[1], out.data(), out.size());
        (void)ignored;
        _exit(0);
    }
    close(pipeEnds[1]);
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeEnds[0], buffer, sizeof buffer)) > 0)
        out.append(buffer, std::size_t(n));
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return out;
}

} // namespace

TEST_F(LeakCatcherOn, EndOfProgramReportsGroupsOwnersAndHidesRuntimeObjects)
{
    // The blocks are named from the stack: a heap block holding their
    // addresses would make them all its sons.
    std::array<const void*, 8> mine{};
    LeakFromOnePlace(mine.data(), 3);                     // 0, 1, 2: one group of 3 x 16
    Owner* owner = LeakOwner();
    mine[3] = owner;                                      // 3: reported
    mine[4] = owner->child;                               // 4: its son, not reported
    char* hidden = new char[24];
    LeakMarkObject(hidden, "TIntConst");
    mine[5] = hidden;                                     // 5: the runtime's own, hidden
    char* object = new char[72];
    LeakMarkObject(object, "TWordList");
    mine[6] = object;                                     // 6: an object of the program
    char* freed = new char[8];
    mine[7] = freed;
    delete[] freed;                                       // 7: freed, no leak

    const std::string out = ShutDownInChild(mine);
    struct Reported {
        std::string type;
        uint64_t size, count, depth;
    };
    std::map<uint64_t, Reported> reported;
    std::istringstream lines(out);
    std::string type;
    while (lines >> type && type != "closed") {
        uint64_t size, count, index, depth;
        lines >> size >> count >> index >> depth;
        reported[index] = {type, size, count, depth};
    }
    ASSERT_EQ(reported.size(), 3u) << out;
    // The three from one place as one leak of 48 bytes; the owner without its son; the program's object.
    EXPECT_EQ(reported[0].type, "Data");
    EXPECT_EQ(reported[0].size, 48u);
    EXPECT_EQ(reported[0].count, 3u);
    EXPECT_EQ(reported[3].type, "Data");
    EXPECT_EQ(reported[3].size, 8u);
    EXPECT_EQ(reported[3].count, 1u);
    EXPECT_EQ(reported[6].type, "TWordList");
    EXPECT_EQ(reported[6].size, 72u);
    for (const auto& [index, leak] : reported)
        EXPECT_GT(leak.depth, 0u) << "no return address kept for block " << index;
    EXPECT_NE(out.find("closed 1\n"), std::string::npos) << "opened once, closed once:\n" << out;
    EXPECT_NE(out.find(" active 0 live 0\n"), std::string::npos) << "every leak freed, catching off:\n" << out;

    delete[] object;
    delete[] hidden;
    delete[] owner->child;
    delete owner;
    for (int i = 0; i < 3; ++i)
        delete[] static_cast<const char*>(mine[std::size_t(i)]);
}
