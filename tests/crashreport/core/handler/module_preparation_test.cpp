#include "crashreport/core/handler/module_preparation.h"

#include "crashreport/core/capture/modules_list.h"
#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/support/module_handles.h"

#include <gtest/gtest.h>

#include <QObject>

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

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

} // namespace
