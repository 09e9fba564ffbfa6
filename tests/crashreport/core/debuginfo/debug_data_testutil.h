#pragma once
// Helpers of the debug-data readers' tests: small ELF files made byte by
// byte (an ELF64 little-endian header, the named sections' bytes, a
// section-name table and the section headers: enough for the readers that
// look for a section in a module's file), and checks of a scanner's answers.

#include "crashreport/core/debuginfo/debug_info_source.h"
#include "support/le_bytes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace cvtest {

inline std::vector<uint8_t> MakeElfWithSections(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& sections)
{
    // Layout: header (64), each section's bytes, the name table, then the headers.
    std::vector<uint8_t> names{0};
    std::vector<uint32_t> nameOffsets;
    for (const auto& s : sections) {
        nameOffsets.push_back(uint32_t(names.size()));
        names.insert(names.end(), s.first.begin(), s.first.end());
        names.push_back(0);
    }
    const uint32_t shstrtabName = uint32_t(names.size());
    for (char c : std::string(".shstrtab"))
        names.push_back(uint8_t(c));
    names.push_back(0);

    std::vector<uint64_t> offsets;
    uint64_t at = 64;
    for (const auto& s : sections) {
        offsets.push_back(at);
        at += s.second.size();
    }
    const uint64_t namesOffset = at;
    at += names.size();
    at = (at + 7) & ~uint64_t(7);
    const uint64_t shoff = at;
    const uint16_t shnum = uint16_t(sections.size() + 2);

    LEBytes e;
    e.u8(0x7f).u8('E').u8('L').u8('F').u8(2).u8(1).u8(1).u8(0).zeros(8);
    e.u16(3).u16(62).u32(1);          // shared object, x86-64, version
    e.u32(0).u32(0);                  // entry
    e.u32(0).u32(0);                  // program headers: none
    e.u32(uint32_t(shoff)).u32(uint32_t(shoff >> 32));
    e.u32(0);                         // flags
    e.u16(64).u16(56).u16(0);         // header size, program header size and count
    e.u16(64).u16(shnum).u16(uint16_t(shnum - 1));
    for (const auto& s : sections)
        e.bytes(s.second);
    e.bytes(names);
    while (e.b.size() < shoff)
        e.u8(0);
    auto header = [&](uint32_t name, uint32_t type, uint64_t offset, uint64_t size) {
        e.u32(name).u32(type).u32(0).u32(0); // name, type, flags
        e.u32(0).u32(0);                      // address
        e.u32(uint32_t(offset)).u32(uint32_t(offset >> 32));
        e.u32(uint32_t(size)).u32(uint32_t(size >> 32));
        e.u32(0).u32(0);                      // link, info
        e.u32(1).u32(0).u32(0).u32(0);        // alignment, entry size
    };
    header(0, 0, 0, 0);
    for (size_t i = 0; i < sections.size(); ++i)
        header(nameOffsets[i], 1, offsets[i], sections[i].second.size());
    header(shstrtabName, 3, namesOffset, names.size());
    return e.b;
}

// What a scanner answers for one offset.
struct ScannerExpectation {
    uint64_t addr;
    const char* unit;
    const char* procedure;
    uint64_t procOffset;
    int32_t line;
    const char* source;
};

inline void ExpectScannerAnswers(const cv::TELAddressScanner& scanner, std::span<const ScannerExpectation> cases)
{
    for (const ScannerExpectation& e : cases) {
        SCOPED_TRACE(e.addr);
        uint64_t offset = 99;
        EXPECT_EQ(scanner.ModuleNameFromAddr(e.addr), e.unit);
        EXPECT_EQ(scanner.ProcNameFromAddr(e.addr, offset), e.procedure);
        EXPECT_EQ(offset, e.procOffset);
        EXPECT_EQ(scanner.LineNumberFromAddr(e.addr, offset), e.line);
        EXPECT_EQ(scanner.SourceNameFromAddr(e.addr), e.source);
    }
}

// A source of kind S finds the location at the offset both in a module file
// holding data in the named section and, beside a module file without it,
// in a side file with the extension; and finds nothing with neither.
template <typename S>
void ExpectSectionAndSideFile(const std::vector<uint8_t>& data, const char* section, const char* sideExtension, uint64_t offset,
                              const cv::TELLocationInfo& expected)
{
    constexpr uintptr_t kModule = 0x20000000;
    TempDir dir;
    const std::string withSection = dir.write(QStringLiteral("a.so"), toBytes(MakeElfWithSections({{".text", {0xC3}}, {section, data}}))).toStdString();
    const std::string plain = dir.write(QStringLiteral("b.so"), toBytes(MakeElfWithSections({{".text", {0xC3}}}))).toStdString();
    EXPECT_FALSE(cv::TELDebugInfoSource::Create<S>(kModule, plain)->ValidData());
    dir.write(QStringLiteral("b") + QString::fromLatin1(sideExtension), toBytes(data));
    for (const std::string& module : {withSection, plain}) {
        SCOPED_TRACE(module);
        auto source = cv::TELDebugInfoSource::Create<S>(kModule, module);
        ASSERT_TRUE(source->ValidData());
        cv::TELLocationInfo info;
        ASSERT_TRUE(source->GetLocationInfo(kModule + 0x1000 + offset, info));
        EXPECT_EQ(info.UnitName, expected.UnitName);
        EXPECT_EQ(info.ProcedureName, expected.ProcedureName);
        EXPECT_EQ(info.LineNumber, expected.LineNumber);
        EXPECT_EQ(info.ProcOffsetLine, expected.ProcOffsetLine);
        EXPECT_EQ(info.SourceName, expected.SourceName);
        EXPECT_EQ(info.DebugInfo, source.get());
    }
}

} // namespace cvtest
