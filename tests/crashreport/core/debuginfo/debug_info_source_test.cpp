#include "crashreport/core/debuginfo/debug_info_source.h"

#include "crashreport/core/debuginfo/elf_debug_data.h"
#include "crashreport/core/debuginfo/jcl_debug_data.h"
#include "crashreport/core/debuginfo/map_file.h"
#include "crashreport/core/support/module_handles.h"
#include "hook_target.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <dlfcn.h>

namespace {

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
        module = cv::ModuleHandleOfAddress(::dlsym(handle, "hook_target_call_value"));
        ASSERT_NE(module, 0u);
        EXPECT_EQ(cv::ModuleFileNameOfHandle(module), copy.toStdString());
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
