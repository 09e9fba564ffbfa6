#include "crashreport/core/options/crashbox_records.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using namespace cv;

TEST(CrashboxRecords, StackListAddFromCopiesTheLocationOnly)
{
    TCrashboxModuleInfo module;
    TCrashboxDebugInfo item;
    item.DebugDetail = TCrashboxDebugDetail::ddSourceCode;
    item.ModuleInfo = &module;
    item.Addr = 0x7f0012345678;
    item.UnitName = "word_tree.cpp";
    item.ClassName = "TWordlistTree";
    item.ProcedureName = "Insert";
    item.Line = 120;
    item.ThreadID = 77;
    item.ErrorLine = item.RunningThread = item.IsALeak = true;
    item.ProcOffsetLine = 4;
    item.CustomMsg = "note";

    TCrashboxStackList list;
    const TCrashboxDebugInfo* copy = list.AddFrom(item);
    EXPECT_EQ(copy->DebugDetail, item.DebugDetail);
    EXPECT_EQ(copy->ModuleInfo, &module);
    EXPECT_EQ(copy->Addr, item.Addr);
    EXPECT_EQ(copy->UnitName, item.UnitName);
    EXPECT_EQ(copy->ClassName, item.ClassName);
    EXPECT_EQ(copy->ProcedureName, item.ProcedureName);
    EXPECT_EQ(copy->Line, 120u);
    EXPECT_EQ(copy->ThreadID, 0u);
    EXPECT_FALSE(copy->ErrorLine || copy->RunningThread || copy->IsALeak);
    EXPECT_EQ(copy->ProcOffsetLine, 0u);
    EXPECT_TRUE(copy->CustomMsg.empty());
    list.AddFrom(item);
    list.Delete(0);
    EXPECT_EQ(list.Count(), 1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(CrashboxRecords, DeletingAModuleFreesWhatItOwns)
{
    static int freedSources = 0;
    freedSources = 0;
    TCrashboxModulesList modules;
    for (int i = 0; i < 3; ++i) {
        auto module = std::make_unique<TCrashboxModuleInfo>();
        module->Handle = uintptr_t(0x400000 + i);
        module->FunctionsList->Add(std::make_unique<TCrashboxFunctionInfo>(TCrashboxFunctionInfo{"main", 0x401000, 16}));
        module->ExtraInformation.Options = std::make_unique<TCrashboxModuleOptions>(std::string());
        module->ExtraInformation.DebugInformation = std::make_unique<TMemoryStream>();
        // The source's maker gives the deleter; here a stand-in pointer that is only counted.
        module->OtherDebugData = TDebugInfoSourceOwner(reinterpret_cast<TELDebugInfoSource*>(&freedSources),
                                                       [](TELDebugInfoSource*) { ++freedSources; });
        modules.Add(std::move(module));
    }
    EXPECT_EQ(modules.GetItem(1)->Handle, 0x400001u);
    EXPECT_EQ(modules.GetItem(1)->FunctionsList->GetItem(0)->Name, "main");
    modules.Delete(1);
    EXPECT_EQ(freedSources, 1);
    EXPECT_EQ(modules.Count(), 2);
    EXPECT_EQ(modules.GetItem(1)->Handle, 0x400002u);
    // A walker holds the lock and reads items through it.
    modules.Lock();
    EXPECT_EQ(modules.GetItem(0)->Handle, 0x400000u);
    modules.Unlock();
    modules.Clear();
    EXPECT_EQ(freedSources, 3);
}

TEST(CrashboxRecords, ThreadsListFindsFromTheLastEntry)
{
    TCrashboxThreadsList threads;
    EXPECT_EQ(threads.FindByThreadID(1), -1);
    EXPECT_EQ(threads.FindByThreadHandle(1), -1);
    PCrashboxThreadInfo first = threads.NewItem();
    EXPECT_EQ(first->Priority, kUnknownThreadPriority);
    EXPECT_EQ(uint32_t(first->Priority), 0x80000000u);
    first->ID = 10;
    first->Handle = 100;
    threads.NewItem()->ID = 11;
    threads.NewItem()->ID = 10;
    EXPECT_EQ(threads.FindByThreadID(10), 2);
    EXPECT_EQ(threads.FindByThreadHandle(100), 0);
    EXPECT_EQ(threads.FindByThreadID(12), -1);

    QThread qthread;
    threads.GetItem(1)->Thread = &qthread;
    EXPECT_EQ(threads.FindByThreadObject(&qthread), 1);
    EXPECT_EQ(threads.FindByThreadObject(nullptr), -1);
    {
        auto gone = std::make_unique<QThread>();
        threads.GetItem(0)->Thread = gone.get();
    }
    EXPECT_TRUE(threads.GetItem(0)->Thread.isNull()) << "a destroyed thread object reads as none";
}

TEST(CrashboxRecords, SnapshotSharesDumpsAndHasNoLock)
{
    TCrashboxThreadsList live;
    PCrashboxThreadInfo entry = live.NewItem();
    entry->ID = 5;
    entry->CallerStackDump = std::make_shared<const std::vector<uint8_t>>(4096, uint8_t(0xAB));
    entry->CallerStackSize = 4096;
    const std::weak_ptr<const std::vector<uint8_t>> dump = entry->CallerStackDump;
    {
        TCrashboxThreadsList snapshot(live);
        EXPECT_TRUE(snapshot.IsSnapshot());
        ASSERT_EQ(snapshot.Count(), 1);
        EXPECT_EQ(snapshot.GetItem(0)->ID, 5u);
        EXPECT_EQ(snapshot.GetItem(0)->CallerStackDump.get(), entry->CallerStackDump.get());
        // Its lock calls do nothing, even while another thread writes to the live list.
        live.BeginWrite();
        std::async(std::launch::async, [&] {
            snapshot.BeginWrite();
            snapshot.Delete(0);
            snapshot.EndWrite();
        }).get();
        live.EndWrite();
        EXPECT_EQ(snapshot.Count(), 0);
    }
    ASSERT_FALSE(dump.expired());
    EXPECT_EQ(live.GetItem(0)->CallerStackDump->at(4095), 0xAB);
}

TEST(CrashboxRecords, PurgeRemovesEndedThreadsAndKeepsRunningOnes)
{
    TCrashboxThreadsList threads;
    std::promise<uint32_t> runningId, endedId;
    std::promise<void> release;
    std::thread running([&] {
        runningId.set_value(CurrentThreadID());
        release.get_future().wait();
    });
    std::thread ended([&] { endedId.set_value(CurrentThreadID()); });
    const uint32_t keep = runningId.get_future().get(), drop = endedId.get_future().get();
    ended.join();
    threads.NewItem()->ID = keep;
    threads.NewItem()->ID = drop;
    threads.NewItem()->ID = CurrentThreadID();
    threads.PurgeList();
    EXPECT_EQ(threads.Count(), 2);
    EXPECT_EQ(threads.FindByThreadID(drop), -1);
    EXPECT_EQ(threads.FindByThreadID(keep), 0);
    threads.RemoveCurrentThread();
    EXPECT_EQ(threads.FindByThreadID(CurrentThreadID()), -1);
    EXPECT_EQ(threads.Count(), 1);
    release.set_value();
    running.join();
}

TEST(CrashboxRecords, ReadWriteLockNestsOnOneThreadAndExcludesOthers)
{
    TMultiReadExclusiveWriteLock lock;
    // Reads inside a write and a write inside a read, on one thread.
    lock.BeginWrite();
    lock.BeginRead();
    lock.BeginWrite();
    lock.EndWrite();
    lock.EndRead();
    lock.EndWrite();
    lock.BeginRead();
    lock.BeginRead();
    lock.BeginWrite();
    lock.EndWrite();
    lock.EndRead();
    lock.EndRead();

    // Two readers at once; a writer waits for both.
    std::atomic<int> stage{0};
    lock.BeginRead();
    std::thread reader([&] {
        lock.BeginRead();
        stage = 1;
        lock.EndRead();
    });
    reader.join();
    EXPECT_EQ(stage.load(), 1) << "a second reader got in beside the first";
    std::thread writer([&] {
        lock.BeginWrite();
        stage = 2;
        lock.EndWrite();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(stage.load(), 1) << "the writer went in while a reader held the lock";
    lock.EndRead();
    writer.join();
    EXPECT_EQ(stage.load(), 2);
}
