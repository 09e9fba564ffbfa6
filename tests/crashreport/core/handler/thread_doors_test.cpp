#include "crashreport/core/handler/thread_doors.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>

#include <QString>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "crashreport/core/capture/call_stack.h"
#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/thread_stacks.h"
#include "crashreport/core/handler/exception_log.h"
#include "support/test_support.h"

using namespace cv;

namespace {

// What the threads list holds of the calling thread ("absent" when nothing).
QString OwnEntry()
{
    TCrashboxThreadsList* list = ThreadsList();
    if (!list)
        return QStringLiteral("no list");
    const uint32_t self = CurrentThreadID();
    for (int i = 0; i < list->Count(); ++i) {
        const TCrashboxThreadInfo* entry = list->GetItem(i);
        if (entry->ID != self)
            continue;
        return QStringLiteral("caller %1 top %2 stack %3")
            .arg(entry->CallerID == MainThread().ID ? QStringLiteral("main") : QString::number(entry->CallerID))
            .arg(entry->TopOfStack == ThreadTopOfStack() ? QStringLiteral("right") : QStringLiteral("wrong"))
            .arg(entry->CallerStackDump && !entry->CallerStackDump->empty() ? QStringLiteral("copied") : QStringLiteral("none"));
    }
    return QStringLiteral("absent");
}

bool HasAlternateStack()
{
    stack_t current{};
    return ::sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) && current.ss_size > 0;
}

void* ExitEarly(void*)
{
    ::pthread_exit(nullptr);
}

// A variable of the thread's static storage: it lies above the thread's stack.
thread_local int tStaticTls = 0;

// What the started thread finds of its entry: the procedures of its
// creator's stack copy, as the report's scan finds them, and whether its
// top of stack stays below its static storage.
QStringList WhereStarted()
{
    QStringList seen;
    TCrashboxThreadsList* list = ThreadsList();
    const int index = list ? list->FindByThreadID(CurrentThreadID()) : -1;
    if (index < 0)
        return {QStringLiteral("absent")};
    const TCrashboxThreadInfo* entry = list->GetItem(index);
    const auto top = entry->TopOfStack;
    const auto local = reinterpret_cast<uintptr_t>(&seen);
    seen << (local < top && top <= reinterpret_cast<uintptr_t>(&tStaticTls) ? QStringLiteral("below its storage")
                                                                            : QStringLiteral("top %1, storage %2").arg(top).arg(uintptr_t(&tStaticTls)));
    TCrashboxModulesList modules;
    const auto from = reinterpret_cast<uintptr_t>(entry->CallerStackDump->data());
    const std::unique_ptr<TCrashboxStackList> stack =
        GetCallStack(modules, 0, from, from + entry->CallerStackDump->size(), entry->CallerID, kAllDebugDetails, -1, -1, false, true);
    for (int i = 0; i < stack->Count(); ++i)
        seen << QString::fromStdString(stack->GetItem(i)->ProcedureName);
    return seen;
}

__attribute__((noinline)) QStringList StartTheThread()
{
    QStringList seen;
    std::thread([&] { seen = WhereStarted(); }).join();
    return seen;
}

std::atomic<uintptr_t> gSink{0};

// The address just after a call that has returned: what a stale slot of a
// frame holds (a return address copied into a local, a spill left behind).
[[gnu::noipa]] uintptr_t ReturnedFrom() { return reinterpret_cast<uintptr_t>(__builtin_return_address(0)); }
[[gnu::noipa]] uintptr_t LeftInTheStack()
{
    const uintptr_t returned = ReturnedFrom();
    gSink++; // no tail call: the address lies in this function
    return returned;
}

// The rows the report's "Calling Thread" part shows for the calling
// thread, each with its note when it has one.
QStringList CallingThreadRows()
{
    TCrashboxThreadsList* list = ThreadsList();
    const int index = list ? list->FindByThreadID(CurrentThreadID()) : -1;
    if (index < 0)
        return {QStringLiteral("absent")};
    TCrashboxModulesList modules;
    RefreshModulesList(modules);
    TCrashboxStackList stack;
    AddCreatorStack(stack, &modules, *list->GetItem(index));
    QStringList rows;
    for (int i = 0; i < stack.Count(); ++i) {
        const TCrashboxDebugInfo& entry = *stack.GetItem(i);
        if (entry.DebugDetail != TCrashboxDebugDetail::ddNone)
            rows << QString::fromStdString(entry.ProcedureName + (entry.CustomMsg.empty() ? "" : " [" + entry.CustomMsg + "]"));
    }
    return rows;
}

// Starts a thread from a frame whose locals hold stale return addresses.
[[gnu::noipa]] QStringList StartTheThreadOverStaleSlots()
{
    volatile uintptr_t stale[16];
    for (volatile uintptr_t& slot : stale)
        slot = LeftInTheStack();
    QStringList seen;
    std::thread([&] { seen = CallingThreadRows(); }).join();
    gSink += stale[3];
    return seen;
}

} // namespace

// Each case starts the core in a child process: its doors change the process.
TEST(ThreadDoors, AThreadTheProgramStartsIsListedWithItsCreatorAndLeavesAtItsEnd)
{
    int result = -1;
    const QString text = cvtest::runInChild(
        [] {
            TExceptionLogStartup startup;
            startup.CarriesCoreData = true;
            InitExceptionLog(startup);
            QStringList seen;
            std::thread([&] { seen << OwnEntry() << (HasAlternateStack() ? "alternate stack" : "no alternate stack"); }).join();
            {
                TCoreThreadScope core;
                std::thread([&] { seen << QStringLiteral("core thread: ") + OwnEntry(); }).join();
            }
            pthread_t early{};
            ::pthread_create(&early, nullptr, &ExitEarly, nullptr);
            ::pthread_join(early, nullptr);
            seen << QStringLiteral("left: %1").arg(ThreadsList()->Count());
            DoneExceptionLog();
            return seen.join(QLatin1Char('\n'));
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text.toStdString(), "caller main top right stack copied\n"
                                  "alternate stack\n"
                                  "core thread: absent\n"
                                  "left: 1");
}

namespace {

// What `start` (which starts a thread) sees, run in a child process with
// the core started, one item a line.
QString SeenInChildWithTheCore(QStringList (*start)())
{
    return cvtest::runInChild([start] {
        TExceptionLogStartup startup;
        startup.CarriesCoreData = true;
        InitExceptionLog(startup);
        const QStringList seen = start();
        DoneExceptionLog();
        return seen.join(QLatin1Char('\n'));
    });
}

} // namespace

TEST(ThreadDoors, TheCreatorsStackCopyShowsWhoStartedTheThread)
{
    const QString text = SeenInChildWithTheCore(StartTheThread);
    const QStringList seen = text.split(QLatin1Char('\n'));
    EXPECT_EQ(seen.value(0), QStringLiteral("below its storage"));
    EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const QString& p) { return p.contains(QStringLiteral("StartTheThread")); }))
        << text.toStdString();
}

// The creator's registers are kept with the copy of its stack: the report's
// "Calling Thread" part follows the creator's frames by unwinding, as the
// "Running Thread" part does, and a stale return address in a frame's
// locals is no row of it (the scan alone listed it).
TEST(ThreadDoors, TheCreatorsFramesAreProvenAndAStaleReturnAddressInItsLocalsIsNoRow)
{
    const QString text = SeenInChildWithTheCore(StartTheThreadOverStaleSlots);
    const QStringList rows = text.split(QLatin1Char('\n'));
    ASSERT_FALSE(rows.isEmpty());
    EXPECT_EQ(rows.front(), QStringLiteral("CrashboxHookedPthreadCreate")) << text.toStdString();
    EXPECT_EQ(rows.count(QStringLiteral("StartTheThreadOverStaleSlots")), 1) << text.toStdString();
    EXPECT_TRUE(rows.filter(QStringLiteral("LeftInTheStack")).isEmpty()) << "a stale slot: " << text.toStdString();
    EXPECT_TRUE(rows.filter(QStringLiteral("[found by scanning")).isEmpty()) << "every row proven: " << text.toStdString();
}

TEST(ThreadDoors, ThreadsEndingAsTheCoreEndsLeaveTheListBeforeItGoes)
{
    // The window framework's pooled threads end as the application object
    // goes, just before the core ends, and leave the threads list after their
    // work is done: the core must not free the list under them (it did, and
    // the program died at its end now and then, its heap damaged).
    int result = -1;
    const QString text = cvtest::runInChild(
        [] {
            for (int round = 0; round < 40; ++round) {
                TExceptionLogStartup startup;
                startup.CarriesCoreData = true;
                InitExceptionLog(startup);
                std::atomic<bool> go{false};
                std::vector<std::thread> threads;
                for (int i = 0; i < 24; ++i)
                    threads.emplace_back([&go] {
                        while (!go.load())
                            std::this_thread::yield();
                    });
                go = true;
                DoneExceptionLog();
                for (std::thread& t : threads)
                    t.join();
                // The heap is whole: blocks of every size come and go.
                std::vector<std::unique_ptr<char[]>> blocks;
                for (int i = 0; i < 2000; ++i)
                    blocks.push_back(std::make_unique<char[]>(std::size_t(16 + (i * 37) % 900)));
            }
            return QStringLiteral("ended");
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, QStringLiteral("ended"));
}

// A thread that was running before the core started (a library's, started
// from a static constructor) gets an alternate signal stack as the core
// starts, as the threads the program starts later do: without one its
// stack overflow could not be reported.
TEST(ThreadDoors, AThreadRunningBeforeTheCoreStartsGetsAnAlternateSignalStack)
{
    const QString text = cvtest::runInChild([] {
        std::atomic<int> step{0};
        QStringList seen;
        std::thread early([&] {
            seen << (HasAlternateStack() ? QStringLiteral("had one") : QStringLiteral("none before"));
            step = 1;
            while (step.load() != 2)
                std::this_thread::yield();
            seen << (HasAlternateStack() ? QStringLiteral("given one") : QStringLiteral("still none"));
        });
        while (step.load() != 1)
            std::this_thread::yield();
        TExceptionLogStartup startup;
        startup.CarriesCoreData = true;
        InitExceptionLog(startup);
        step = 2;
        early.join();
        DoneExceptionLog();
        return seen.join(QLatin1Char('\n'));
    });
    EXPECT_EQ(text.toStdString(), "none before\ngiven one");
}

// A process that can start no thread (its address space leaves no room
// for a thread's stack): the start fails without an exception, and the
// caller is told.
TEST(ThreadDoors, AThreadThatCannotStartIsRefusedWithoutEndingTheProgram)
{
    int result = -1;
    const QString text = cvtest::runInChild(
        [] {
            cvtest::limitAddressSpace(2 << 20);
            std::thread thread;
            bool ran = false;
            const bool started = TryStartThread(thread, [&ran] { ran = true; }, "a test");
            if (thread.joinable())
                thread.join();
            const auto yesNo = [](bool b) { return b ? QStringLiteral("yes") : QStringLiteral("no"); };
            return QStringLiteral("started %1, ran %2").arg(yesNo(started), yesNo(ran));
        },
        &result);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(text, QStringLiteral("started no, ran no"));
}
