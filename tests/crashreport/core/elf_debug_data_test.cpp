#include "crashreport/core/elf_debug_data.h"

#include "addr2line_oracle.h"
#include "crashreport/core/elf_image.h"
#include "crashreport/core/module_handles.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace cvtest_elf {
// The routine the lookups below find; its first line is the line after kProbeLine's.
constexpr int kProbeLine = __LINE__ + 1;
__attribute__((noinline)) int Probe(int x) { return x * 7 + 3; }
} // namespace cvtest_elf

namespace {

const void* ProbeAddress()
{
    return reinterpret_cast<const void*>(&cvtest_elf::Probe);
}

TEST(ElfDebugData, TheRunningProgramResolvesThroughTheChooser)
{
    const uintptr_t module = cv::ModuleHandleOfAddress(ProbeAddress());
    ASSERT_NE(module, 0u);
    std::unique_ptr<cv::TELDebugInfoSource> source;
    ASSERT_TRUE(cv::FindDebugInfoSource(module, source));
    EXPECT_NE(dynamic_cast<cv::TELDebugInfoElf*>(source.get()), nullptr);
    // A source already there is kept.
    cv::TELDebugInfoSource* first = source.get();
    EXPECT_FALSE(cv::FindDebugInfoSource(module, source));
    EXPECT_EQ(source.get(), first);

    cv::TELLocationInfo info;
    const auto entry = reinterpret_cast<uintptr_t>(ProbeAddress());
    ASSERT_TRUE(source->GetLocationInfo(entry, info));
    EXPECT_EQ(info.ProcedureName, "cvtest_elf::Probe(int)");
    EXPECT_EQ(info.UnitName, "elf_debug_data_test.cpp");
    EXPECT_EQ(QFileInfo(QString::fromStdString(info.SourceName)).fileName(), QStringLiteral("elf_debug_data_test.cpp"));
    EXPECT_EQ(info.LineNumber, cvtest_elf::kProbeLine);
    EXPECT_EQ(info.ProcOffsetLine, 0);
    EXPECT_EQ(info.DebugInfo, source.get());

    // Outside every module's code: nothing.
    cv::TELLocationInfo none;
    EXPECT_FALSE(source->GetLocationInfo(module - 0x100000, none));
}

TEST(ElfDebugData, NamesAreDemangled)
{
    EXPECT_EQ(cv::DemangledName("_ZN2cv4TFoo3BarEi"), "cv::TFoo::Bar(int)");
    EXPECT_EQ(cv::DemangledName("main"), "main");
    EXPECT_EQ(cv::DemangledName("_Z"), "_Z");
    EXPECT_EQ(cv::DemangledName(nullptr), "");
}

TEST(ElfDebugData, FilesWithoutSymbolsOrNotElfGiveNoSource)
{
    for (const char* name : {"/nonexistent/file", "/etc/hostname"}) {
        auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(0x10000, name);
        EXPECT_FALSE(source->ValidData()) << name;
    }
}

// Procedure and line agree with addr2line for a sample of the tool's own
// code (the benchmark checks 10,000 addresses).
TEST(ElfDebugData, AgreesWithAddr2lineOnTheToolsProgram)
{
#ifndef CV_TOOL_PROGRAM
    GTEST_SKIP() << "the tool's program is not part of this build";
#else
    const std::string program = CV_TOOL_PROGRAM;
    if (!QFileInfo::exists(QString::fromStdString(program)))
        GTEST_SKIP() << "the tool's program is not built";
    const auto load = cv::ElfLoadAddress(program);
    ASSERT_TRUE(load);
    const std::vector<uint64_t> addresses = cvoracle::RandomTextAddresses(program, 400, 7);
    ASSERT_EQ(addresses.size(), 400u);
    const auto theirs = cvoracle::RunAddr2Line(program, addresses);
    if (theirs.empty())
        GTEST_SKIP() << "addr2line cannot be run";
    constexpr uintptr_t kModule = 0x10000000;
    auto source = cv::TELDebugInfoSource::Create<cv::TELDebugInfoElf>(kModule, program);
    ASSERT_TRUE(source->ValidData());
    size_t agree = 0;
    std::string differences;
    for (size_t i = 0; i < addresses.size(); ++i) {
        cv::TELLocationInfo info;
        const bool found = source->GetLocationInfo(kModule + addresses[i] - *load, info);
        const int32_t line = found ? info.LineNumber : 0;
        if (info.ProcedureName == theirs[i].procedure && line == theirs[i].line)
            ++agree;
        else
            differences += info.ProcedureName + ":" + std::to_string(line) + " / " + theirs[i].procedure + ":" + std::to_string(theirs[i].line) + "\n";
    }
    EXPECT_GE(agree * 100, addresses.size() * 99) << differences;
#endif
}

} // namespace
