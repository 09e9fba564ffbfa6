#include "crashreport/core/support/module_handles.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <dlfcn.h>

#include <cstdlib>

namespace {

TEST(ModuleHandles, TheProgramIsFoundByNameByPathAndByAddress)
{
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    const uintptr_t handle = cv::CrashboxLibraryModuleHandle();
    ASSERT_NE(handle, 0u);
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&cv::ModuleHandleOfName), &info), 0);
    EXPECT_EQ(handle, reinterpret_cast<uintptr_t>(info.dli_fbase));
    EXPECT_EQ(cv::ModuleHandleOfName(program), handle);
    EXPECT_EQ(cv::ModuleHandleOfName(QFileInfo(QString::fromStdString(program)).fileName().toStdString()), handle);
    EXPECT_EQ(cv::ModuleHandleOfAddress(reinterpret_cast<const void*>(&cv::ModuleHandleOfAddress)), handle);
    EXPECT_EQ(cv::ModuleFileNameOfHandle(handle), program);
}

TEST(ModuleHandles, ALoadedLibraryHasAHandleOfItsOwn)
{
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<const void*>(&std::abort), &info), 0);
    const uintptr_t libc = cv::ModuleHandleOfAddress(reinterpret_cast<const void*>(&std::abort));
    EXPECT_EQ(libc, reinterpret_cast<uintptr_t>(info.dli_fbase));
    EXPECT_NE(libc, cv::CrashboxLibraryModuleHandle());
    EXPECT_EQ(cv::ModuleHandleOfName(info.dli_fname), libc);
    EXPECT_EQ(cv::ModuleFileNameOfHandle(libc), info.dli_fname);
}

TEST(ModuleHandles, NoModuleNoHandle)
{
    EXPECT_EQ(cv::ModuleHandleOfName(""), 0u);
    EXPECT_EQ(cv::ModuleHandleOfName("/usr/lib/libnot-loaded.so"), 0u);
    EXPECT_EQ(cv::ModuleHandleOfName("libnot-loaded.so"), 0u);
    EXPECT_EQ(cv::ModuleHandleOfAddress(nullptr), 0u);
    EXPECT_EQ(cv::ModuleFileNameOfHandle(0), "");
    EXPECT_EQ(cv::ModuleFileNameOfHandle(1), "");
}

} // namespace
