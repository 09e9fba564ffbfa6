#include "crashreport/core/debuginfo/map_file.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

// A map in the linker's layout: two units in segment 1, publics by name and
// by value, line numbers for both units (CR LF line ends).
const char* const kMap =
    " Start         Length     Name                   Class\r\n"
    " 0001:00401000 00000200H .text                   CODE\r\n"
    " 0002:00402000 00000100H .data                   DATA\r\n"
    "\r\n"
    "Detailed map of segments\r\n"
    "\r\n"
    " 0001:00000000 00000100 C=CODE     S=.text    G=(none)   M=UnitA    ACBP=A9\r\n"
    " 0001:00000100 00000100H C=CODE     S=.text    G=(none)   M=UnitB    ACBP=A9\r\n"
    " 0002:00000000 00000080 C=DATA     S=.data    G=DGROUP   M=UnitA    ACBP=A9\r\n"
    "\r\n"
    "  Address             Publics by Name\r\n"
    "\r\n"
    " 0001:00000010       UnitA.ProcOne\r\n"
    " 0001:00000040       UnitA.TThing.Two\r\n"
    "\r\n"
    "  Address             Publics by Value\r\n"
    "\r\n"
    " 0001:00000010       UnitA.ProcOne\r\n"
    " 0001:00000040H      UnitA.TThing.Two\r\n"
    " 0001:00000120       UnitB.Three\r\n"
    " 0002:00000004       UnitA.SomeData\r\n"
    "\r\n"
    "\r\n"
    "Line numbers for UnitA(unita.pas) segment .text\r\n"
    "\r\n"
    "    10 0001:00000010    11 0001:00000018    12 0001:00000020\r\n"
    "    20 0001:00000040    21 0001:00000050\r\n"
    "\r\n"
    "Line numbers for UnitB(unitb.pas) segment .text\r\n"
    "\r\n"
    "     5 0001:00000120     6 0001:00000130\r\n"
    "\r\n";

constexpr uintptr_t kModule = 0x10000000;

struct MapFixture : ::testing::Test {
    cvtest::TempDir dir;
    std::string program;

    void SetUp() override { program = dir.file(QStringLiteral("prog")).toStdString(); }

    void writeMap(const QByteArray& text) { dir.write(QStringLiteral("prog.map"), text); }
    std::string mapFile() const { return program + ".map"; }
    std::unique_ptr<cv::TELDebugInfoMap> source() { return cv::TELDebugInfoSource::Create<cv::TELDebugInfoMap>(kModule, program); }
    static uintptr_t at(uint32_t va) { return kModule + 0x1000 + va; }
};

struct Expected {
    uint32_t va;
    const char* unit;
    const char* procedure;
    int32_t line;
    const char* source;
    int32_t procOffsetLine;
};

TEST_F(MapFixture, AddressesResolveToUnitProcedureLineAndSource)
{
    writeMap(kMap);
    auto map = source();
    ASSERT_TRUE(map->ValidData());
    const Expected cases[] = {
        {0x10, "UnitA", "UnitA.ProcOne", 10, "unita.pas", 0},        // a procedure's first byte
        {0x18, "UnitA", "UnitA.ProcOne", 11, "unita.pas", 1},
        {0x1F, "UnitA", "UnitA.ProcOne", 11, "unita.pas", 1},
        {0x30, "UnitA", "UnitA.ProcOne", 12, "unita.pas", 2},        // between procedures: the one before
        {0x44, "UnitA", "UnitA.TThing.Two", 20, "unita.pas", 0},
        {0x05, "UnitA", "", 0, "", 0},                               // before the unit's first procedure
        {0x100, "UnitB", "", 0, "", 0},                              // shared boundary: the later unit
        {0x110, "UnitB", "", 0, "", 0},                              // UnitA's procedure is not UnitB's
        {0x134, "UnitB", "UnitB.Three", 6, "unitb.pas", 1},
        {0x200, "UnitB", "UnitB.Three", 6, "unitb.pas", 1},          // a segment's end belongs to it
    };
    for (const Expected& e : cases) {
        SCOPED_TRACE(e.va);
        cv::TELLocationInfo info;
        ASSERT_TRUE(map->GetLocationInfo(at(e.va), info));
        EXPECT_EQ(info.Address, at(e.va));
        EXPECT_EQ(info.UnitName, e.unit);
        EXPECT_EQ(info.ProcedureName, e.procedure);
        EXPECT_EQ(info.LineNumber, e.line);
        EXPECT_EQ(info.SourceName, e.source);
        EXPECT_EQ(info.ProcOffsetLine, e.procOffsetLine);
        EXPECT_EQ(info.DebugInfo, map.get());
    }
}

TEST_F(MapFixture, AddressOutsideEverySegmentLeavesTheAnswerAlone)
{
    writeMap(kMap);
    auto map = source();
    cv::TELLocationInfo info;
    info.ProcedureName = "kept";
    info.LineNumber = 77;
    info.UnitName = "old";
    for (uintptr_t addr : {at(0x201), at(0x10000), kModule, uintptr_t(0)}) {
        EXPECT_FALSE(map->GetLocationInfo(addr, info));
        EXPECT_EQ(info.UnitName, "");
        EXPECT_EQ(info.ProcedureName, "kept");
        EXPECT_EQ(info.LineNumber, 77);
    }
}

TEST_F(MapFixture, OnlySegmentOneEntersTheTables)
{
    writeMap(kMap);
    cv::TELMapScanner scanner(mapFile());
    EXPECT_EQ(scanner.SegmentCount(), 2u);
    EXPECT_EQ(scanner.ProcNameCount(), 3u);
    EXPECT_EQ(scanner.LineNumberCount(), 7u);
    EXPECT_EQ(scanner.LineNumberErrors(), 0u);
    EXPECT_EQ(scanner.ModuleStartFromAddr(0x150), 0x100u);
    EXPECT_EQ(scanner.ModuleStartFromAddr(0x300), 0xFFFFFFFFu);
}

TEST_F(MapFixture, UnixLineEndsReadAsWindowsOnes)
{
    QByteArray text(kMap);
    text.replace("\r\n", "\n");
    writeMap(text);
    auto map = source();
    cv::TELLocationInfo info;
    ASSERT_TRUE(map->GetLocationInfo(at(0x134), info));
    EXPECT_EQ(info.UnitName, "UnitB");
    EXPECT_EQ(info.ProcedureName, "UnitB.Three");
    EXPECT_EQ(info.LineNumber, 6);
    EXPECT_EQ(info.SourceName, "unitb.pas");
}

TEST_F(MapFixture, LinesSteppingBackOrBeyondTheCodeAreDroppedAndCounted)
{
    QByteArray text(kMap);
    // 0x14 lies behind 0x18, 0x400 beyond the highest segment end (0x200), and
    // segment 2 is not the segment of the lines before.
    text.replace("    20 0001:00000040", "    13 0001:00000014    14 0001:00000400    15 0002:00000060    20 0001:00000040");
    writeMap(text);
    cv::TELMapScanner scanner(mapFile());
    EXPECT_EQ(scanner.LineNumberErrors(), 3u);
    EXPECT_EQ(scanner.LineNumberCount(), 7u);
    uint64_t offset = 0;
    EXPECT_EQ(scanner.LineNumberFromAddr(0x44, offset), 20);
    EXPECT_EQ(offset, 4u);
}

TEST_F(MapFixture, UnitWithoutFileNameGivesNoSourceName)
{
    QByteArray text(kMap);
    text.replace("Line numbers for UnitB(unitb.pas) segment .text", "Line numbers for UnitB segment .text");
    writeMap(text);
    cv::TELMapScanner scanner(mapFile());
    // The parenthesis of a later line is not this unit's file.
    EXPECT_EQ(scanner.SourceNameFromAddr(0x134), "");
    EXPECT_EQ(scanner.SourceNameFromAddr(0x20), "unita.pas");
}

TEST_F(MapFixture, MissingFileOrMissingTablesFindNothing)
{
    EXPECT_FALSE(source()->ValidData());

    writeMap("no headers here\r\n 0001:00000010 UnitA.ProcOne\r\n");
    auto map = source();
    EXPECT_TRUE(map->ValidData());
    cv::TELLocationInfo info;
    EXPECT_FALSE(map->GetLocationInfo(at(0x10), info));
}

// Every cut of the text, and the text with bytes changed, parses without
// reading outside it (the address sanitizer build checks the reads).
TEST_F(MapFixture, CutAndDamagedTextsParseSafely)
{
    const QByteArray full(kMap);
    for (qsizetype n = 0; n <= full.size(); n += 3) {
        writeMap(full.left(n));
        cv::TELMapScanner scanner(mapFile());
        for (uint32_t va : {0x0u, 0x18u, 0x120u, 0x200u}) {
            uint64_t offset = 0;
            scanner.ProcNameFromAddr(va, offset);
            scanner.LineNumberFromAddr(va, offset);
            scanner.SourceNameFromAddr(va);
            scanner.ModuleNameFromAddr(va);
        }
    }
    QByteArray damaged = full;
    for (qsizetype i = 0; i < damaged.size(); i += 7)
        damaged[i] = char(i % 3 == 0 ? '(' : i % 3 == 1 ? '\0' : '9');
    writeMap(damaged);
    cv::TELMapScanner scanner(mapFile());
    uint64_t offset = 0;
    scanner.ProcNameFromAddr(0x20, offset);
    scanner.SourceNameFromAddr(0x20);
}

TEST(MapSearch, HalvingFindsEqualOrNearestPreceding)
{
    struct E {
        uint32_t VA;
    };
    const std::vector<E> entries{{10}, {20}, {20}, {30}};
    struct Case {
        uint64_t key;
        bool nearest;
        int64_t index;
    };
    const Case cases[] = {{10, false, 0}, {30, false, 3}, {25, false, -1}, {25, true, 2}, {5, true, -1}, {99, true, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(cv::SearchSortedVA(entries, c.key, c.nearest), c.index) << c.key;
    const int64_t equal = cv::SearchSortedVA(entries, 20, false);
    EXPECT_TRUE(equal == 1 || equal == 2);
    EXPECT_EQ(cv::SearchSortedVA(std::vector<E>{}, 20, true), -1);
}

} // namespace
