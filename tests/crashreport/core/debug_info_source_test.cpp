#include "crashreport/core/debug_info_source.h"

#include "crashreport/core/elf_debug_data.h"
#include "crashreport/core/jcl_debug_data.h"
#include "crashreport/core/map_file.h"
#include "hook_target.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <dlfcn.h>

namespace {

TEST(DebugInfoFiles, FileNameParts)
{
    struct Case {
        const char* name;
        const char* withMap;
        const char* file;
    };
    const Case cases[] = {
        {"/usr/lib/libx.so", "/usr/lib/libx.map", "libx.so"},
        {"/opt/tool/corvantis-wordlist", "/opt/tool/corvantis-wordlist.map", "corvantis-wordlist"},
        {"/opt/v1.2/tool", "/opt/v1.2/tool.map", "tool"}, // a dot in a folder is no extension
        {"prog.exe", "prog.map", "prog.exe"},
        {"", ".map", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(cv::ChangeFileExt(c.name, ".map"), c.withMap) << c.name;
        EXPECT_EQ(cv::ExtractFileName(c.name), c.file) << c.name;
    }
}

TEST(DebugInfoFiles, LoadedModulesAreFoundByAddressAndHandle)
{
    const uintptr_t program = cv::LoadedModuleHandleOf(reinterpret_cast<const void*>(&cv::ChangeFileExt));
    ASSERT_NE(program, 0u);
    EXPECT_EQ(cv::LoadedModuleFileName(program), QFile::symLinkTarget(QStringLiteral("/proc/self/exe")).toStdString());
    const uintptr_t library = cv::LoadedModuleHandleOf(reinterpret_cast<const void*>(::dlsym(RTLD_DEFAULT, "hook_target_value")));
    ASSERT_NE(library, 0u);
    EXPECT_NE(library, program);
    EXPECT_EQ(cv::ExtractFileName(cv::LoadedModuleFileName(library)), "libcv_hook_target.so");
    EXPECT_EQ(*reinterpret_cast<const uint32_t*>(library), 0x464C457Fu); // the ELF header is mapped there
    int onStack = 0;
    EXPECT_EQ(cv::LoadedModuleHandleOf(&onStack), 0u);
    EXPECT_EQ(cv::LoadedModuleFileName(0), "");
    EXPECT_EQ(cv::LoadedModuleFileName(program + 16), "");
}

// A copy of the test library loaded from a folder of its own, with the
// debug files the test puts beside it.
struct LoadedCopy : ::testing::Test {
    cvtest::TempDir dir;
    void* handle = nullptr;
    uintptr_t module = 0;

    void SetUp() override
    {
        Dl_info info{};
        ASSERT_NE(::dladdr(::dlsym(RTLD_DEFAULT, "hook_target_value"), &info), 0);
        const QString copy = dir.file(QStringLiteral("libcopy.so"));
        ASSERT_TRUE(QFile::copy(QString::fromUtf8(info.dli_fname), copy));
        handle = ::dlopen(copy.toUtf8().constData(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << ::dlerror();
        module = cv::LoadedModuleHandleOf(::dlsym(handle, "hook_target_call_value"));
        ASSERT_NE(module, 0u);
        EXPECT_EQ(cv::LoadedModuleFileName(module), copy.toStdString());
    }
    void TearDown() override
    {
        if (handle)
            ::dlclose(handle);
    }
};

TEST_F(LoadedCopy, ChooserTakesTheFirstSourceWithData)
{
    // Nothing beside it: the module's own symbol and line tables.
    std::unique_ptr<cv::TELDebugInfoSource> source;
    ASSERT_TRUE(cv::FindDebugInfoSource(module, source));
    EXPECT_NE(dynamic_cast<cv::TELDebugInfoElf*>(source.get()), nullptr);
    cv::TELLocationInfo info;
    ASSERT_TRUE(source->GetLocationInfo(reinterpret_cast<uintptr_t>(::dlsym(handle, "hook_target_call_value")), info));
    EXPECT_EQ(info.ProcedureName, "hook_target_call_value");
    EXPECT_EQ(info.UnitName, "hook_target.cpp");

    // A ".map" beside it comes first.
    dir.write(QStringLiteral("libcopy.map"),
              " Start         Length     Name                   Class\n"
              " 0001:00000000 00001000H .text                   CODE\n\n"
              "Detailed map of segments\n\n"
              " 0001:00000000 00001000 C=CODE     S=.text    G=(none)   M=Copied    ACBP=A9\n\n"
              "  Address             Publics by Name\n\n"
              " 0001:00000000       Copied.Start\n\n"
              "  Address             Publics by Value\n\n"
              " 0001:00000000       Copied.Start\n");
    source.reset();
    ASSERT_TRUE(cv::FindDebugInfoSource(module, source));
    ASSERT_NE(dynamic_cast<cv::TELDebugInfoMap*>(source.get()), nullptr);
    ASSERT_TRUE(source->GetLocationInfo(module + 0x1000 + 0x20, info));
    EXPECT_EQ(info.UnitName, "Copied");
    EXPECT_EQ(info.ProcedureName, "Copied.Start");

    // A ".jdbg" file (damaged here) is tried when there is no map: not valid, so on to the ELF tables.
    QFile::remove(dir.file(QStringLiteral("libcopy.map")));
    dir.write(QStringLiteral("libcopy.jdbg"), QByteArray("JDBG\x01 not really", 16));
    source.reset();
    ASSERT_TRUE(cv::FindDebugInfoSource(module, source));
    EXPECT_NE(dynamic_cast<cv::TELDebugInfoElf*>(source.get()), nullptr);
}

TEST(DebugInfoChooser, ModuleWithoutAnyDataGetsNoSource)
{
    cvtest::TempDir dir;
    const std::string empty = dir.write(QStringLiteral("empty.so"), QByteArray()).toStdString();
    std::unique_ptr<cv::TELDebugInfoSource> source;
    EXPECT_FALSE(cv::FindDebugInfoSource(0x40000000, source, empty));
    EXPECT_EQ(source, nullptr);
}

} // namespace
