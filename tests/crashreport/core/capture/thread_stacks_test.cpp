#include "crashreport/core/capture/thread_stacks.h"

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/modules_list.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace cvthreads {

std::atomic<int> gSink{0};

// Says it is parked only from inside, so the thread is never paused on its
// way in.
[[gnu::noipa]] void ParkedInHere(const std::atomic<bool>& go, std::atomic<bool>& parked)
{
    parked = true;
    while (!go.load(std::memory_order_relaxed))
        asm volatile("pause");
    gSink++;
}

// What a thread's creator leaves: a copy of its own stack from here up.
[[gnu::noipa]] std::shared_ptr<const std::vector<uint8_t>> CopiedByTheCreator()
{
    const auto* from = reinterpret_cast<const uint8_t*>(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    auto copy = std::make_shared<std::vector<uint8_t>>(from, from + 2048);
    gSink++;
    return copy;
}

} // namespace cvthreads

namespace {

using namespace cv;

// A thread of this process (4242 started it) with its creator's copy,
// kept without the creator's registers.
TCrashboxThreadInfo WithCreatorsCopy(uint32_t id, std::shared_ptr<const std::vector<uint8_t>> copy)
{
    TCrashboxThreadInfo entry;
    entry.ID = id;
    entry.CallerID = 4242;
    entry.CallerStackDump = std::move(copy);
    return entry;
}

// The procedures of the thread's entries, in order.
std::vector<std::string> ProceduresOf(const TCrashboxStackList& list, uint32_t threadID)
{
    std::vector<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->ThreadID == threadID)
            names.push_back(list.GetItem(i)->ProcedureName);
    return names;
}

TEST(ThreadStacks, AnotherThreadShowsWhereItIsPausedThenWhereItWasStartedFrom)
{
    std::atomic<bool> go{false};
    std::atomic<bool> inPlace{false};
    std::atomic<uint32_t> id{0};
    std::thread parked([&] {
        id = CurrentThreadID();
        cvthreads::ParkedInHere(go, inPlace);
    });
    while (!inPlace.load())
        std::this_thread::yield();
    const TCrashboxThreadInfo entry = WithCreatorsCopy(id.load(), cvthreads::CopiedByTheCreator());
    TCrashboxModulesList modules;
    RefreshModulesList(modules);
    TCrashboxStackList list;
    const std::vector<const TCrashboxThreadInfo*> threads{&entry};
    AddOtherThreadsStacks(list, &modules, threads);
    go = true;
    parked.join(); // it was let go on

    const std::vector<std::string> own = ProceduresOf(list, entry.ID);
    ASSERT_FALSE(own.empty());
    // Where it was paused comes first; code inlined there (the flag's load)
    // may name itself before it, at the same address.
    int first = 0;
    while (first + 1 < int(own.size()) && list.GetItem(first)->Inlined)
        ++first;
    EXPECT_NE(own[first].find("ParkedInHere("), std::string::npos) << "the first entry is where it was paused: " << own[first];
    EXPECT_EQ(list.GetItem(first)->Addr, list.GetItem(0)->Addr);
    EXPECT_TRUE(list.GetItem(0)->RunningThread);
    const std::vector<std::string> creator = ProceduresOf(list, 4242);
    ASSERT_FALSE(creator.empty()) << "the creator's stack follows";
    EXPECT_NE(creator.front().find("TestBody"), std::string::npos) << creator.front();
    EXPECT_EQ(list.GetItem(int(own.size()))->ThreadID, 4242u) << "the creator's entries come after the thread's own";
}

// A creator's copy kept without its registers can only be scanned: each
// row it gives is a candidate, and says so.
TEST(ThreadStacks, ACreatorsCopyWithoutItsRegistersIsScannedAndItsRowsSaySo)
{
    const TCrashboxThreadInfo entry = WithCreatorsCopy(CurrentThreadID(), cvthreads::CopiedByTheCreator());
    TCrashboxModulesList modules;
    RefreshModulesList(modules);
    TCrashboxStackList list;
    AddCreatorStack(list, &modules, entry);
    ASSERT_GT(list.Count(), 0);
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_STREQ(list.GetItem(i)->CustomMsg.c_str(), kFoundByScanning) << list.GetItem(i)->ProcedureName;
}

TEST(ThreadStacks, NothingIsAddedWithoutThreadsModulesOrACreatorsCopy)
{
    TCrashboxThreadInfo entry = WithCreatorsCopy(CurrentThreadID(), cvthreads::CopiedByTheCreator());
    TCrashboxModulesList modules;
    TCrashboxStackList list;
    AddOtherThreadsStacks(list, &modules, {});
    AddOtherThreadsStacks(list, nullptr, std::vector<const TCrashboxThreadInfo*>{&entry});
    AddCreatorStack(list, nullptr, entry);
    entry.CallerStackDump = std::make_shared<const std::vector<uint8_t>>();
    AddCreatorStack(list, &modules, entry);
    entry.CallerStackDump.reset();
    AddCreatorStack(list, &modules, entry);
    EXPECT_EQ(list.Count(), 0);
}

} // namespace
