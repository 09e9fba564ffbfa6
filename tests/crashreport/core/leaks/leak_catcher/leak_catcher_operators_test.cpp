// The leak catcher switched on: this program links the catcher's allocation
// operators, so every new and delete below goes through its memory manager.
#include "crashreport/core/leaks/leak_catcher.h"

#include <gtest/gtest.h>

#include <QDir>

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

#include "crashreport/core/handler/exception_log.h"
#include "crashreport/core/options/crashbox_options.h"
#include "crashreport/core/report/log_file.h"
#include "suite/cv_stream.h"
#include "support/test_support.h"

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

// A block large enough to get pages of its own goes back to the system when
// freed: a second free must not read its header, which is gone then.
TEST_F(LeakCatcherOn, FreeingALargeBlockTwiceIsReportedWithoutTouchingIt)
{
    for (const std::size_t size : {std::size_t(200000), std::size_t(4 << 20)}) {
        Recorded().multiFrees.clear();
        const std::size_t before = LeakLiveBlockCount();
        void* block = ::operator new(size);
        ::operator delete(block);
        ::operator delete(block);
        ASSERT_EQ(Recorded().multiFrees.size(), 1u) << size;
        EXPECT_EQ(Recorded().multiFrees[0], block);
        EXPECT_EQ(LeakLiveBlockCount(), before);
        void* moved = LeakReallocMem(block, 10);
        EXPECT_EQ(moved, nullptr) << "nothing is made of a block that is gone";
        EXPECT_EQ(Recorded().multiFrees.size(), 2u);
    }
    // A new block at the same address is a block like any other: freed once, no fault.
    Recorded().multiFrees.clear();
    for (int i = 0; i < 20; ++i) {
        void* block = ::operator new(300000);
        ::operator delete(block);
    }
    EXPECT_TRUE(Recorded().multiFrees.empty());
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

// The crash-report core binds the catcher at start-up when the program's
// options ask for catching: a second free is reported at once, and the
// blocks left at the very end of the program make one leak report, after
// the core itself has ended.
namespace {

// (Not a tail call: its frame stands in the block's call stack.)
__attribute__((noinline)) void* LeakedByThisTest()
{
    char* block = new char[48];
    block[0] = 'x';
    return block;
}

// Options asking for catching (a set with no setter: its byte in the stream
// stands before the auto-crash operation and number).
std::vector<uint8_t> CatchingOptions(const std::string& outputPath)
{
    TCrashboxModuleOptions options("crashreport_leak_tests");
    options.SetOutputPath(outputPath);
    options.SetExceptionDialogType(edtNone);
    options.SetAutoCrashNumber(0x5A5A5A5A);
    TMemoryStream stream;
    options.SaveToStream(stream);
    std::vector<uint8_t> bytes = stream.TakeBytes();
    const uint8_t number[] = {0x5A, 0x5A, 0x5A, 0x5A};
    const auto at = std::search(bytes.begin(), bytes.end(), std::begin(number), std::end(number));
    // Catching on; the leaks are not freed (objects the test program keeps
    // in its statics would be freed before their destructors run).
    if (at - bytes.begin() >= 2)
        *(at - 2) = uint8_t((*(at - 2) | 1u << loCatchLeaks) & ~(1u << loFreeAllLeaks));
    return bytes;
}

} // namespace

TEST(LeakCatcherInTheCore, AfterStartUpFaultsAndLeaksAreReported)
{
    cvtest::TempDir dir;
    const std::vector<uint8_t> options = CatchingOptions(dir.path().toStdString());
    const QString file = dir.write(QStringLiteral("catching.options"), QByteArray(reinterpret_cast<const char*>(options.data()), qsizetype(options.size())));
    int status = -1;
    cvtest::runInChild(
        [&] {
            TExceptionLogStartup startup;
            startup.CarriesCoreData = true;
            startup.OptionsFile = file.toStdString();
            InitExceptionLog(startup);
            if (!LeakCatcherActive())
                std::_Exit(3);
            void* twice = ::operator new(64);
            ::operator delete(twice);
            ::operator delete(twice);
            static void* kept = LeakedByThisTest();
            (void)kept;
            DoneExceptionLog();
            // The end of the program: the leaks are reported as it exits.
            std::exit(0);
            return QString();
        },
        &status);
    EXPECT_EQ(status, 0);
    const QStringList logs = QDir(dir.path()).entryList({QStringLiteral("*.elf")});
    ASSERT_EQ(logs.size(), 1);
    const TLogFile log(dir.file(logs[0]).toStdString(), true);
    ASSERT_EQ(log.Count(), 2);
    EXPECT_EQ(log.GetItemValue("2.5", 0), "EMultiFree");
    EXPECT_EQ(log.GetItemValue("2.5", 1), "EMemoryLeak");
    EXPECT_TRUE(log.GetItemValue("2.6", 1).starts_with("Memory Leak: Total size=")) << log.GetItemValue("2.6", 1);
    const std::string& leaks = log.Item(1);
    EXPECT_NE(leaks.find("|+Memory Leak: Type=Data; Total size=48; Count=1"), std::string::npos);
    EXPECT_NE(leaks.find("LeakedByThisTest"), std::string::npos) << leaks;
}
