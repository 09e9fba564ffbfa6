#include "crashreport/core/handler/module_preparation.h"

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/capture/processes_list.h"
#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/support/module_handles.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QObject>

#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

namespace {

using namespace cv;
using namespace std::chrono_literals;

// Waits (a minute at most) until the preparation has gone over every module loaded now.
bool WaitUntilUpToDate(const TModulePreparation& preparation)
{
    for (auto waited = 0ms; waited < 60s; waited += 10ms) {
        if (preparation.UpToDate())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// How often each handle stands in the list, and whether every record is whole.
std::map<uintptr_t, int> HandlesOf(TCrashboxModulesList& list, bool& allFull)
{
    std::map<uintptr_t, int> handles;
    allFull = true;
    list.Lock();
    for (int i = 0; i < list.Count(); ++i) {
        ++handles[list.GetItem(i)->Handle];
        allFull = allFull && list.GetItem(i)->ModuleType != TCrashboxModuleType::mtUnknown && list.GetItem(i)->FunctionsList
                  && list.GetItem(i)->ExtraInformation.Options;
    }
    list.Unlock();
    return handles;
}

// While the modules are readied, a report's lookups go on and find whole
// records; in the end every loaded module stands in the list once, in full,
// the program with its own debug data; a module loaded later is readied too.
TEST(ModulePreparation, ReadiesEveryLoadedModuleOnceWhileAReportsLookupsGoOn)
{
    TCrashboxModulesList list;
    TModulePreparation preparation(list, 0ms);
    const uintptr_t inProgram = reinterpret_cast<uintptr_t>(&PrepareModuleInfo);
    const uintptr_t inLibc = reinterpret_cast<uintptr_t>(&std::abort);
    const uintptr_t inQt = reinterpret_cast<uintptr_t>(&QObject::staticMetaObject);
    for (int round = 0; round < 200 && !preparation.UpToDate(); ++round)
        for (const uintptr_t address : {inQt, inLibc, inProgram}) {
            const PCrashboxModuleInfo module = ModuleInfoByAddr(list, address);
            ASSERT_TRUE(module);
            EXPECT_NE(module->ModuleType, TCrashboxModuleType::mtUnknown);
            EXPECT_EQ(ModuleInfoByAddr(list, address), module) << "one record per module, kept";
        }
    ASSERT_TRUE(WaitUntilUpToDate(preparation));

    bool allFull = false;
    std::map<uintptr_t, int> handles = HandlesOf(list, allFull);
    EXPECT_TRUE(allFull);
    for (const TLoadedModule& module : EnumerateLoadedModules())
        EXPECT_EQ(handles[module.Handle], 1) << module.FileName;
    const PCrashboxModuleInfo program = ModuleInfoByAddr(list, inProgram);
    ASSERT_TRUE(program && program->OtherDebugData);
    TELLocationInfo where;
    ASSERT_TRUE(program->OtherDebugData->GetLocationInfo(inProgram, where));
    EXPECT_EQ(where.ProcedureName.rfind("cv::PrepareModuleInfo", 0), 0u) << where.ProcedureName;
    EXPECT_EQ(where.UnitName, "modules_list.cpp");

    void* library = dlopen(CV_STACK_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    const uintptr_t probe = ModuleHandleOfAddress(dlsym(library, "cv_stack_probe_answer"));
    EXPECT_TRUE(WaitUntilUpToDate(preparation));
    handles = HandlesOf(list, allFull);
    EXPECT_EQ(handles[probe], 1) << "a library loaded later is readied too";
    EXPECT_TRUE(allFull);
    dlclose(library);
}

// Before its pause the preparation readies the modules every report meets:
// the program, the C library and the C++ runtime, in full; the window
// framework's large libraries wait for the pause.
TEST(ModulePreparation, ReadiesTheModulesOfEveryReportBeforeItsPause)
{
    TCrashboxModulesList list;
    TModulePreparation preparation(list, 60s);
    const std::vector<uintptr_t> everyReport{ModuleHandleOfAddress(reinterpret_cast<const void*>(&PrepareModuleInfo)),
                                             ModuleHandleOfAddress(reinterpret_cast<const void*>(&std::abort)),
                                             ModuleHandleOfAddress(dlsym(RTLD_DEFAULT, "__cxa_throw"))};
    bool allFull = false;
    std::map<uintptr_t, int> handles;
    for (auto waited = 0ms; waited < 60s; waited += 10ms) {
        handles = HandlesOf(list, allFull);
        if (std::all_of(everyReport.begin(), everyReport.end(), [&](uintptr_t h) { return handles.count(h) != 0; }))
            break;
        std::this_thread::sleep_for(10ms);
    }
    for (const uintptr_t handle : everyReport)
        EXPECT_EQ(handles[handle], 1) << ModuleFileNameOfHandle(handle);
    EXPECT_TRUE(allFull);
    EXPECT_EQ(handles.count(ModuleHandleOfAddress(&QObject::staticMetaObject)), 0u) << "the window framework waits";
    EXPECT_FALSE(preparation.UpToDate());
}

// Ended while it works, the preparation leaves only whole records, none twice.
TEST(ModulePreparation, EndedWhileItWorksItLeavesOnlyWholeRecords)
{
    TCrashboxModulesList list;
    for (int i = 0; i < 3; ++i) {
        TModulePreparation preparation(list, 0ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * i));
    }
    bool allFull = false;
    for (const auto& [handle, count] : HandlesOf(list, allFull))
        EXPECT_EQ(count, 1) << handle;
    EXPECT_TRUE(allFull);
}

// Without the memory to ready the modules (a program under a tight limit of
// its address space), the preparation stops and the program goes on; what it
// readied stays whole. In a process of its own: this one's tables are read
// already (by the tests before).
TEST(ModulePreparation, WithoutTheMemoryForItItStopsAndTheProgramGoesOn)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            // No memory the heap holds free ...
            cvtest::limitAddressSpace(0);
            for (const std::size_t size : {std::size_t(64) << 10, std::size_t(4) << 10, std::size_t(256)})
                while (std::malloc(size)) {
                }
            // ... and room for the thread's stack, not for the modules' tables.
            cvtest::limitAddressSpace(10 << 20);
            TCrashboxModulesList list;
            bool ranShort = false;
            {
                // No room kept for the program: it tries, and finds no memory.
                TModulePreparation preparation(list, 0ms, nullptr, 0);
                for (auto waited = 0ms; waited < 60s && !preparation.UpToDate() && !preparation.RanShortOfMemory();
                     waited += 10ms)
                    std::this_thread::sleep_for(10ms);
                ranShort = preparation.RanShortOfMemory();
            }
            bool allFull = false;
            HandlesOf(list, allFull);
            std::fprintf(stderr, "%s %s\n", ranShort ? "short" : "readied", allFull ? "whole" : "half");
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "short whole");
}

// Under a limit of the address space that leaves less room than the
// program is to keep, nothing is readied ahead: no room is taken from it.
TEST(ModulePreparation, UnderATightLimitOfTheAddressSpaceItLeavesTheRoomToTheProgram)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            cvtest::limitAddressSpace(TModulePreparation::kRoomKept / 2);
            TCrashboxModulesList list;
            TModulePreparation preparation(list, 0ms);
            for (auto waited = 0ms; waited < 60s && !preparation.UpToDate(); waited += 10ms)
                std::this_thread::sleep_for(10ms);
            std::fprintf(stderr, "%s %d %s\n", preparation.UpToDate() ? "looked" : "waiting", preparation.Prepared(),
                         preparation.RanShortOfMemory() ? "left" : "readied");
            std::_Exit(0);
        },
        testing::ExitedWithCode(0), "looked 0 left");
}

} // namespace

// Given the cache of the files' version notes, the preparation reads the
// notes of the programs running and of the modules loaded: the processes
// and modules tables a report makes next read no file again, and say of
// each process and module what the tables made without the cache say.
TEST(ModulePreparation, ReadiesTheVersionNotesOfProgramsAndModules)
{
    TCrashboxModulesList list;
    TFileVersionCache versions;
    {
        TModulePreparation preparation(list, 0ms, &versions);
        ASSERT_TRUE(WaitUntilUpToDate(preparation));
    }
    const int readAhead = versions.FilesRead();
    EXPECT_GT(readAhead, 0);
    TCrashboxProcessesList cached, uncached;
    RefreshProcessesList(cached, "/proc", &versions);
    RefreshProcessesList(uncached, "/proc");
    // Programs started since the pass (other tests run beside this one) are read now.
    std::map<std::string, std::string> notes;
    uncached.Lock();
    for (int i = 0; i < uncached.Count(); ++i)
        notes[uncached.GetItem(i)->Name] = uncached.GetItem(i)->Description + "|" + uncached.GetItem(i)->Version;
    uncached.Unlock();
    cached.Lock();
    int compared = 0;
    for (int i = 0; i < cached.Count(); ++i) {
        const auto known = notes.find(cached.GetItem(i)->Name);
        if (known == notes.end())
            continue;
        EXPECT_EQ(cached.GetItem(i)->Description + "|" + cached.GetItem(i)->Version, known->second) << cached.GetItem(i)->Name;
        ++compared;
    }
    cached.Unlock();
    EXPECT_GT(compared, 0);
    // This process's program was running at the pass: it is not read again.
    const int before = versions.FilesRead();
    std::string description, version;
    versions.Get(std::filesystem::read_symlink("/proc/self/exe").string(), description, version);
    EXPECT_EQ(versions.FilesRead(), before);

    // Nor are the loaded modules, whose records say what they say without the cache.
    TCrashboxModulesList fromCache, fromFiles;
    RefreshModulesList(fromCache, &versions);
    RefreshModulesList(fromFiles);
    EXPECT_EQ(versions.FilesRead(), before);
    ASSERT_EQ(fromCache.Count(), fromFiles.Count());
    ASSERT_GT(fromCache.Count(), 5);
    for (int i = 0; i < fromCache.Count(); ++i) {
        EXPECT_EQ(fromCache.GetItem(i)->Description, fromFiles.GetItem(i)->Description) << fromFiles.GetItem(i)->Name;
        EXPECT_EQ(fromCache.GetItem(i)->Version, fromFiles.GetItem(i)->Version) << fromFiles.GetItem(i)->Name;
    }
}
