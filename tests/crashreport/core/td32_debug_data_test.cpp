#include "crashreport/core/td32_debug_data.h"

#include "crashreport/core/debug_data_fuzzing.h"
#include "crashreport/core/debug_data_testutil.h"
#include "support/le_bytes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

// TD32 data built byte by byte: signature and directory offset, the
// subsections, one directory, and the trailing signature with the distance
// back to the start.
struct Td32Builder {
    struct Sub {
        uint16_t type;
        std::vector<uint8_t> bytes;
    };
    std::vector<Sub> subs;
    uint16_t entrySize = 12;

    void add(uint16_t type, std::vector<uint8_t> bytes) { subs.push_back({type, std::move(bytes)}); }

    std::vector<uint8_t> build() const
    {
        cvtest::LEBytes b;
        b.u8('F').u8('B').u8('0').u8('9').u32(0); // directory offset patched below
        std::vector<uint32_t> offsets;
        for (const Sub& s : subs) {
            offsets.push_back(uint32_t(b.b.size()));
            b.bytes(s.bytes);
            while (b.b.size() % 4)
                b.u8(0);
        }
        const uint32_t dir = uint32_t(b.b.size());
        cv::endian::storeLE(b.b.data() + 4, dir);
        b.u16(16).u16(entrySize).u32(uint32_t(subs.size())).u32(0).u32(0);
        for (size_t i = 0; i < subs.size(); ++i)
            b.u16(subs[i].type).u16(1).u32(offsets[i]).u32(uint32_t(subs[i].bytes.size()));
        const uint32_t total = uint32_t(b.b.size()) + 8;
        b.u8('F').u8('B').u8('0').u8('9').u32(total);
        return b.b;
    }

    static std::vector<uint8_t> names(const std::vector<std::string>& list)
    {
        cvtest::LEBytes b;
        b.u32(uint32_t(list.size()));
        for (const std::string& n : list) {
            b.u8(uint8_t(n.size()));
            for (char c : n)
                b.u8(uint8_t(c));
            b.u8(0);
        }
        return b.b;
    }
    static std::vector<uint8_t> module(uint32_t nameIndex, uint32_t offset, uint32_t size)
    {
        cvtest::LEBytes b;
        b.u16(0).u16(0).u16(1).u16(0).u32(nameIndex).zeros(16); // one segment, from offset 28
        b.u16(1).u16(0).u32(offset).u32(size);
        return b.b;
    }
    // A procedure record (0x0205 global, 0x0204 local).
    static std::vector<uint8_t> proc(uint16_t type, uint32_t offset, uint32_t size, uint32_t nameIndex)
    {
        cvtest::LEBytes r;
        r.u16(42).u16(type).zeros(12).u32(size).zeros(8).u32(offset).zeros(8).u32(nameIndex);
        return r.b;
    }
    static std::vector<uint8_t> symbols(const std::vector<std::vector<uint8_t>>& records)
    {
        cvtest::LEBytes b;
        b.u32(1); // signature
        for (const auto& r : records)
            b.bytes(r);
        return b.b;
    }
    // One file with one range and one line block.
    static std::vector<uint8_t> sourceModule(uint32_t nameIndex, uint32_t start, uint32_t end,
                                             const std::vector<std::pair<uint32_t, uint16_t>>& lines)
    {
        cvtest::LEBytes b;
        b.u16(1).u16(1).u32(8);                          // one file, its record at 8
        b.u16(1).u32(nameIndex).u32(8 + 6 + 4 + 8);      // one block, after the range
        b.u32(start).u32(end);
        b.u16(1).u16(uint16_t(lines.size()));
        for (const auto& l : lines)
            b.u32(l.first);
        for (const auto& l : lines)
            b.u16(l.second);
        return b.b;
    }
};

std::vector<uint8_t> sample()
{
    Td32Builder t;
    // Names: 1 Unit1, 2 the mangled method, 3 Plain, 4 unit1.pas, 5 Local
    t.add(0x0130, Td32Builder::names({"Unit1", "@Unit1@TForm1@Button1Click$qqrp14System@TObject", "Plain", "unit1.pas", "@Unit1@Local$qqrv"}));
    t.add(0x0120, Td32Builder::module(1, 0, 0x100));
    cvtest::LEBytes other;
    other.u16(14).u16(0x0209).u32(0x20).u32(0).u32(3); // a label: kept, not a procedure
    t.add(0x0125, Td32Builder::symbols({other.b, Td32Builder::proc(0x0205, 0x10, 0x30, 2), Td32Builder::proc(0x0205, 0x50, 0x10, 3),
                                        Td32Builder::proc(0x0204, 0x60, 0x20, 5)}));
    t.add(0x0127, Td32Builder::sourceModule(4, 0, 0x80, {{0x10, 30}, {0x18, 31}, {0x30, 32}, {0x50, 40}, {0x60, 50}}));
    t.add(0x0999, {1, 2, 3}); // an unknown subsection is passed over
    return t.build();
}

TEST(Td32Data, AddressesResolve)
{
    const auto data = sample();
    cv::TELTD32InfoScanner scanner(data);
    ASSERT_TRUE(scanner.ValidData());
    EXPECT_EQ(scanner.SymbolCount(), 4u);
    const cvtest::ScannerExpectation cases[] = {
        {0x10, "Unit1", "TForm1.Button1Click", 0, 30, "unit1.pas"},
        {0x1C, "Unit1", "TForm1.Button1Click", 0xC, 31, "unit1.pas"},
        {0x3F, "Unit1", "TForm1.Button1Click", 0x2F, 32, "unit1.pas"},
        {0x40, "Unit1", "", 0, 32, "unit1.pas"},           // past the procedure's end
        {0x52, "Unit1", "Plain", 2, 40, "unit1.pas"},       // a name without "@" stays as it is
        {0x65, "Unit1", "Local", 5, 0, "unit1.pas"},        // past the last line entry: no line
        {0x80, "Unit1", "", 0, 0, ""},                      // a source range's end is outside it
        {0x100, "Unit1", "", 0, 0, ""},                     // a module segment's end is inside it
        {0x101, "", "", 0, 0, ""},
    };
    cvtest::ExpectScannerAnswers(scanner, cases);
}

TEST(Td32Data, ProcedureNamesAreCleaned)
{
    struct Case {
        const char* raw;
        const char* unit;
        const char* clean;
    };
    const Case cases[] = {
        {"@Unit1@TForm1@Button1Click$qqrp14System@TObject", "Unit1", "TForm1.Button1Click"},
        {"@unit1@TForm1@Go$qqrv", "UNIT1", "TForm1.Go"},          // the unit is matched ignoring case
        {"@Unit1@TForm1@$bctr$qqrv", "Unit1", "TForm1"},           // "@" before "$" goes with it
        {"@Unit1@TList@@Get$qqri", "Unit1", "TList.@Get"},         // ".." becomes ".@"
        {"@Other@Proc$qqrv", "Unit1", "Other.Proc"},
        {"@Proc", "", "Proc"},                                     // no unit: nothing taken away
        {"Plain.Name", "Plain", "Plain.Name"},
        {"", "Unit1", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(cv::CleanTD32ProcName(c.raw, c.unit), c.clean) << c.raw;
}

TEST(Td32Data, InvalidBlocksAreRefused)
{
    const auto good = sample();
    EXPECT_TRUE(cv::TELTD32InfoParser::IsTD32DebugInfoValid(good));
    auto valid = [](const std::vector<uint8_t>& d) { return cv::TELTD32InfoScanner(d).ValidData(); };

    std::vector<uint8_t> d(good.end() - 8, good.end());
    EXPECT_FALSE(valid(d)); // below 9 bytes
    d = good;
    d[d.size() - 5] = 'X'; // trailing signature
    EXPECT_FALSE(valid(d));
    d = good;
    cv::endian::storeLE(d.data() + d.size() - 4, uint32_t(d.size() + 1)); // back beyond the start
    EXPECT_FALSE(valid(d));
    d = good;
    d[0] = 'X'; // the start's signature
    EXPECT_FALSE(valid(d));
    d = good;
    d[3] = 'A'; // "FB0A" is the other signature
    EXPECT_TRUE(valid(d));

    Td32Builder t;
    t.add(0x0130, Td32Builder::names({"A"}));
    t.entrySize = 11; // directory entries must be 12 bytes: the data is refused, nothing is raised
    EXPECT_FALSE(valid(t.build()));
}

TEST(Td32Data, SourceReadsTheSectionOrTheSideFile)
{
    cv::TELLocationInfo expected;
    expected.UnitName = "Unit1";
    expected.ProcedureName = "TForm1.Button1Click";
    expected.LineNumber = 31;
    expected.ProcOffsetLine = 1;
    expected.SourceName = "unit1.pas";
    cvtest::ExpectSectionAndSideFile<cv::TELDebugInfoTD32>(sample(), "TD32DEBUG", ".tds", 0x1C, expected);

    // A damaged ".tds" is not taken.
    cvtest::TempDir dir;
    const std::string plain = dir.write(QStringLiteral("b.so"), cvtest::toBytes(cvtest::MakeElfWithSections({}))).toStdString();
    dir.write(QStringLiteral("b.tds"), QByteArray("FB09garbage"));
    EXPECT_FALSE(cv::TELDebugInfoSource::Create<cv::TELDebugInfoTD32>(0x30000000, plain)->ValidData());
}

TEST(Td32Data, DamagedDataIsReadSafely)
{
    const auto good = sample();
    for (size_t i = 0; i + 8 < good.size(); ++i) {
        for (uint8_t v : {uint8_t(0xFF), uint8_t(0x00), uint8_t(0x7F)}) {
            std::vector<uint8_t> d = good;
            d[i] = v;
            debugdata_fuzz::AskEverything(cv::TELTD32InfoScanner(d));
        }
    }
}

} // namespace
