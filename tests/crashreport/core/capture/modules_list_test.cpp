#include "crashreport/core/capture/modules_list.h"

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/support/module_handles.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QObject>

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

namespace {

using namespace cv;

std::string Canonical(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

// The ELF files that /proc/self/maps shows mapped for code.
std::set<std::string> ElfFilesMappedForCode()
{
    std::set<std::string> files;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        std::istringstream fields(line);
        std::string range, perms, offset, device, inode, path;
        fields >> range >> perms >> offset >> device >> inode >> path;
        std::ifstream file(path, std::ios::binary);
        char magic[4] = {};
        if (perms.size() > 2 && perms[2] == 'x' && !path.empty() && path[0] == '/' && file.read(magic, 4) && std::memcmp(magic, "\x7f" "ELF", 4) == 0)
            files.insert(Canonical(path));
    }
    return files;
}

std::set<std::string> Listed(TCrashboxModulesList& list)
{
    std::set<std::string> names;
    for (int i = 0; i < list.Count(); ++i)
        names.insert(Canonical(list.GetItem(i)->Name));
    return names;
}

TEST(ModulesList, HoldsTheElfFilesTheMemoryMapShowsSortedByHandle)
{
    TCrashboxModulesList list;
    RefreshModulesList(list);
    EXPECT_EQ(Listed(list), ElfFilesMappedForCode());
    for (int i = 1; i < list.Count(); ++i)
        EXPECT_LT(list.GetItem(i - 1)->Handle, list.GetItem(i)->Handle);
}

TEST(ModulesList, ALibraryLoadedAndUnloadedAppearsAndDisappears)
{
    TCrashboxModulesList list;
    void* library = dlopen(CV_STACK_PROBE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(library) << dlerror();
    RefreshModulesList(list);
    const std::string probe = Canonical(CV_STACK_PROBE_LIBRARY);
    ASSERT_TRUE(Listed(list).count(probe));

    const auto answer = reinterpret_cast<uintptr_t>(dlsym(library, "cv_stack_probe_answer"));
    const uintptr_t handle = ModuleHandleOfAddress(reinterpret_cast<const void*>(answer));
    PCrashboxModuleInfo cheap = nullptr;
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->Handle == handle)
            cheap = list.GetItem(i);
    ASSERT_TRUE(cheap);
    EXPECT_EQ(cheap->ModuleType, TCrashboxModuleType::mtUnknown) << "recorded cheaply during the refresh";
    EXPECT_EQ(cheap->Version, "2.5.1");

    // Its first lookup builds it in full, in place.
    PCrashboxModuleInfo full = ModuleInfoByAddr(list, answer);
    ASSERT_EQ(full, cheap);
    EXPECT_EQ(full->ModuleType, TCrashboxModuleType::mtOSLibrary);
    EXPECT_EQ(full->Description, "Stack probe \xC3\xA9");
    bool exported = false;
    for (int i = 0; i < full->FunctionsList->Count(); ++i)
        exported |= full->FunctionsList->GetItem(i)->Name == "cv_stack_probe_answer" && full->FunctionsList->GetItem(i)->Addr == answer;
    EXPECT_TRUE(exported);
    EXPECT_TRUE(HasModuleData(handle));
    EXPECT_TRUE(MainModuleCarriesCore(handle));

    ASSERT_EQ(dlclose(library), 0);
    RefreshModulesList(list);
    EXPECT_FALSE(Listed(list).count(probe));
    EXPECT_EQ(Listed(list), ElfFilesMappedForCode());
}

TEST(ModulesList, TheProgramTheSystemsLibrariesAndTheFrameworksAreTold)
{
    const uintptr_t program = ModuleHandleOfAddress(reinterpret_cast<const void*>(&RefreshModulesList));
    const uintptr_t libc = ModuleHandleOfAddress(reinterpret_cast<const void*>(&std::abort));
    const uintptr_t qtCore = ModuleHandleOfAddress(&QObject::staticMetaObject);
    EXPECT_EQ(program, MainModuleHandle());
    EXPECT_EQ(GetModuleType(program), TCrashboxModuleType::mtMainModule);
    EXPECT_FALSE(IsModuleDLL(program));
    EXPECT_EQ(GetModuleType(libc), TCrashboxModuleType::mtOSLibrary);
    EXPECT_TRUE(IsModuleDLL(libc));
    EXPECT_EQ(GetModuleType(qtCore), TCrashboxModuleType::mtBorlandPackage);
    EXPECT_FALSE(HasModuleData(program)) << "the test program carries no crash-report data";

    TCrashboxModulesList list;
    EXPECT_EQ(ModuleInfoByHandle(list, 0), nullptr);
    EXPECT_EQ(ModuleInfoByAddr(list, 8), nullptr);
    EXPECT_EQ(ModuleInfoByHandle(list, program)->ModuleType, TCrashboxModuleType::mtMainModule);
    EXPECT_EQ(list.Count(), 1);
}

} // namespace

namespace {

TEST(ModulesList, AModuleWhoseFileChangedOnDiskIsDropped)
{
    const cvtest::TempDir dir;
    const QString fileName = dir.write("module.so", "ELF");
    const QDateTime onDisk = QFileInfo(fileName).lastModified();
    struct Case {
        const char* name;
        QString file;
        QDateTime recorded;
        bool kept;
    };
    const std::vector<Case> cases = {
        {"same time", fileName, onDisk, true},
        {"a second off", fileName, onDisk.addSecs(1), true},
        {"rebuilt since", fileName, onDisk.addSecs(-5), false},
        {"newer on record", fileName, onDisk.addSecs(5), false},
        {"no time recorded", fileName, QDateTime(), true},
        {"file gone", dir.file("gone.so"), onDisk.addSecs(60), true},
    };
    TCrashboxModulesList list;
    for (const Case& c : cases) {
        auto module = std::make_unique<TCrashboxModuleInfo>();
        module->Name = c.file.toStdString();
        module->LastModified = c.recorded;
        module->Description = c.name;
        list.Add(std::move(module));
    }
    DeleteChangedModules(list);
    std::vector<std::string> kept, wanted;
    for (int i = 0; i < list.Count(); ++i)
        kept.push_back(list.GetItem(i)->Description);
    for (const Case& c : cases)
        if (c.kept)
            wanted.push_back(c.name);
    EXPECT_EQ(kept, wanted);
}

} // namespace
