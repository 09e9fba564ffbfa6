#include "crashreport/core/report/call_stack_header.h"

#include <gtest/gtest.h>

#include <QThread>

#include <cstdlib>

using namespace cv;

namespace {

struct CallStackHeader : ::testing::Test {
    TCrashboxModuleOptions options{std::string()};
    TCrashboxThreadsList threads;
    uint32_t me = CurrentThreadID();

    TCrashboxDebugInfo Entry(uint32_t thread, bool running, bool errorLine)
    {
        TCrashboxDebugInfo entry;
        entry.ThreadID = thread;
        entry.RunningThread = running;
        entry.ErrorLine = errorLine;
        return entry;
    }
    static TCrashboxDebugInfo Leak(const std::string& type, uint32_t size, uint32_t count)
    {
        TCrashboxDebugInfo leak;
        leak.IsALeak = true;
        leak.LeakType = type;
        leak.LeakSize = size;
        leak.LeakCount = count;
        return leak;
    }
};

} // namespace

TEST_F(CallStackHeader, ExceptionThreadOfTheMainThreadInTheReport)
{
    PCrashboxThreadInfo info = threads.NewItem();
    info->ID = me;
    info->Priority = 5;
    EXPECT_EQ(FormatCallStackHeader(Entry(me, true, true), true, threads, options, me),
              "*Exception Thread: ID=" + std::to_string(me) + "; Priority=5; Class=; [Main]");
    // The dialog's form: no star, and no class item without a thread object.
    EXPECT_EQ(FormatCallStackHeader(Entry(me, true, true), false, threads, options, me),
              "Exception Thread: ID=" + std::to_string(me) + "; Priority=5; [Main]");
    EXPECT_EQ(FormatCallStackHeader(Entry(me, true, false), false, threads, options, me + 1),
              "Running Thread: ID=" + std::to_string(me) + "; Priority=5");
}

TEST_F(CallStackHeader, CallingThreadWithItsObjectUnknownThreadsAndNotes)
{
    QThread worker;
    PCrashboxThreadInfo info = threads.NewItem();
    info->ID = 4321;
    info->Priority = -3;
    info->Thread = &worker;
    TCrashboxDebugInfo entry = Entry(4321, false, false);
    entry.CustomMsg = "started by the index job";
    EXPECT_EQ(FormatCallStackHeader(entry, false, threads, options, me),
              "Calling Thread: ID=4321; Priority=-3; Class=QThread (started by the index job)");
    // A thread that is not in the list; an id that is negative as a signed number.
    EXPECT_EQ(FormatCallStackHeader(Entry(99, false, false), true, threads, options, me), "Calling Thread: ID=99; Priority=??; Class=");
    EXPECT_EQ(FormatCallStackHeader(Entry(0xFFFFFFF0u, false, false), false, threads, options, me), "Calling Thread: ID=0; Priority=??");
}

// A block opens for another thread, another part of a thread, the
// exception's line, and where the rows the stack scan found (their note)
// follow the frames unwinding proved: they stand under a header that says so.
TEST_F(CallStackHeader, TheRowsTheStackScanFoundOpenABlockOfTheirOwn)
{
    const TCrashboxDebugInfo proven = Entry(me, true, false);
    TCrashboxDebugInfo scanned = proven;
    scanned.CustomMsg = "found by scanning the stack, not by unwinding";
    EXPECT_TRUE(OpensCallStackBlock(nullptr, proven));
    EXPECT_FALSE(OpensCallStackBlock(&proven, proven));
    EXPECT_TRUE(OpensCallStackBlock(&proven, scanned));
    EXPECT_FALSE(OpensCallStackBlock(&scanned, scanned));
    EXPECT_TRUE(OpensCallStackBlock(&proven, Entry(me, false, false)));
    EXPECT_TRUE(OpensCallStackBlock(&proven, Entry(me + 1, true, false)));
    EXPECT_TRUE(OpensCallStackBlock(&proven, Entry(me, true, true)));
    EXPECT_EQ(FormatCallStackHeader(scanned, false, threads, options, me + 1),
              "Running Thread: ID=" + std::to_string(me) + "; Priority=?? (found by scanning the stack, not by unwinding)");
}

TEST_F(CallStackHeader, UnknownPriorityIsAskedAndStoredBack)
{
    PCrashboxThreadInfo info = threads.NewItem();
    info->ID = me;
    ASSERT_EQ(info->Priority, kUnknownThreadPriority);
    const int32_t now = ThreadPriorityOf(me);
    ASSERT_NE(now, kUnknownThreadPriority);
    const std::string header = FormatCallStackHeader(Entry(me, true, false), false, threads, options, 0);
    EXPECT_NE(header.find("Priority=" + std::to_string(now)), std::string::npos) << header;
    EXPECT_EQ(threads.GetItem(0)->Priority, now);
}

TEST_F(CallStackHeader, LeakBlocks)
{
    TCrashboxDebugInfo leak = Leak("Data", 48, 3);
    EXPECT_EQ(FormatCallStackHeader(leak, true, threads, options, me), "+Memory Leak: Type=Data; Total size=48; Count=3");
    leak.LeakType = "TWordList";
    EXPECT_EQ(FormatCallStackHeader(leak, false, threads, options, me), "Memory Leak: Type=TWordList; Total size=48; Count=3");
}

TEST_F(CallStackHeader, CustomisedTextsWithVariables)
{
    ::setenv("CV_TEST_LEAKS", "Lost memory", 1);
    options.SetCustomizedTexts(mtCallStack_LeakCaption, "%CV_TEST_LEAKS%");
    options.SetCustomizedTexts(mtCallStack_LeakData, "Bytes");
    EXPECT_EQ(FormatCallStackHeader(Leak("Data", 8, 1), false, threads, options, me), "Lost memory: Type=Bytes; Total size=8; Count=1");
    ::unsetenv("CV_TEST_LEAKS");
}
