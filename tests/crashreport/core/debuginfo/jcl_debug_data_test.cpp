#include "crashreport/core/debuginfo/jcl_debug_data.h"

#include "crashreport/core/debuginfo/debug_data_fuzzing.h"
#include "crashreport/core/debuginfo/debug_data_testutil.h"
#include "support/le_bytes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// JCL binary debug data built byte by byte: the tables take absolute values
// and are stored as deltas in the 7-bit form.
struct JdbgBuilder {
    std::vector<std::pair<uint32_t, uint32_t>> units;   // start, name
    std::vector<std::pair<uint32_t, uint32_t>> sources; // start, name
    std::vector<std::tuple<uint32_t, uint32_t, uint32_t>> procs;
    std::vector<std::pair<uint32_t, uint32_t>> lines;
    std::vector<uint8_t> names;
    uint32_t moduleName = 0;
    bool checksum = true;
    uint8_t version = 1;

    // Name offsets count from 1.
    uint32_t nextName() const { return uint32_t(names.size()) + 1; }

    static uint32_t code(char c)
    {
        if (c >= '0' && c <= '9')
            return uint32_t(c - '0' + 1);
        if (c >= 'A' && c <= 'Z')
            return uint32_t(c - 'A' + 11);
        if (c >= 'a' && c <= 'z')
            return uint32_t(c - 'a' + 37);
        return 63;
    }
    void pack(const std::string& text)
    {
        std::vector<uint32_t> codes;
        for (char c : text)
            codes.push_back(code(c));
        codes.push_back(0);
        while (codes.size() % 4)
            codes.push_back(0);
        for (size_t i = 0; i < codes.size(); i += 4) {
            names.push_back(uint8_t(codes[i] | (codes[i + 1] << 6)));
            names.push_back(uint8_t((codes[i + 1] >> 2) | (codes[i + 2] << 4)));
            names.push_back(uint8_t((codes[i + 2] >> 4) | (codes[i + 3] << 2)));
        }
    }
    uint32_t packed(const std::string& text)
    {
        const uint32_t at = nextName();
        pack(text);
        return at;
    }
    uint32_t packedWithAt(const std::string& rest)
    {
        const uint32_t at = nextName();
        names.push_back(2);
        pack(rest);
        return at;
    }
    uint32_t plain(const std::string& text)
    {
        const uint32_t at = nextName();
        names.push_back(1);
        for (char c : text)
            names.push_back(uint8_t(c) == 0xAA ? 0xAA : uint8_t(c) ^ 0xAA);
        names.push_back(0);
        return at;
    }

    static void value(std::vector<uint8_t>& out, uint32_t v)
    {
        while (v >= 0x80) {
            out.push_back(uint8_t(v | 0x80));
            v >>= 7;
        }
        out.push_back(uint8_t(v));
    }
    template <typename Rows, typename Columns>
    static std::vector<uint8_t> table(const Rows& rows, Columns columns)
    {
        std::vector<uint8_t> out;
        std::vector<uint32_t> previous;
        for (const auto& row : rows) {
            const std::vector<uint32_t> cols = columns(row);
            previous.resize(cols.size(), 0);
            for (size_t i = 0; i < cols.size(); ++i) {
                value(out, cols[i] - previous[i]);
                previous[i] = cols[i];
            }
        }
        value(out, 0x7FFFFFFF);
        return out;
    }

    std::vector<uint8_t> build() const
    {
        auto pair = [](const auto& p) { return std::vector<uint32_t>{p.first, p.second}; };
        const auto tUnits = table(units, pair);
        const auto tSources = table(sources, pair);
        const auto tProcs = table(procs, [](const auto& t) { return std::vector<uint32_t>{std::get<0>(t), std::get<1>(t), std::get<2>(t)}; });
        const auto tLines = table(lines, pair);
        const uint32_t oUnits = 34;
        const uint32_t oSources = oUnits + uint32_t(tUnits.size());
        const uint32_t oProcs = oSources + uint32_t(tSources.size());
        const uint32_t oLines = oProcs + uint32_t(tProcs.size());
        const uint32_t oNames = oLines + uint32_t(tLines.size());
        cvtest::LEBytes b;
        b.u8('J').u8('D').u8('B').u8('G').u8(version);
        b.u32(oUnits).u32(oSources).u32(oProcs).u32(oLines).u32(oNames).u32(moduleName).u32(0).u8(checksum ? 1 : 0);
        b.bytes(tUnits).bytes(tSources).bytes(tProcs).bytes(tLines).bytes(names);
        while (b.b.size() % 4)
            b.u8(0);
        if (checksum) {
            // The stored value is the sum of the data's words with the field itself zero.
            uint32_t sum = 0;
            for (size_t i = 0; i < b.b.size(); i += 4)
                sum += cv::endian::loadLE<uint32_t>(b.b.data() + i);
            cv::endian::storeLE(b.b.data() + 29, sum);
        }
        return b.b;
    }
};

// Two units: UnitA from 0, UnitB from 0x100.
JdbgBuilder sample()
{
    JdbgBuilder j;
    j.moduleName = j.packed("Sample");
    const uint32_t unitA = j.packed("UnitA");
    const uint32_t unitB = j.packed("UnitB");
    const uint32_t fileA = j.plain("unita.pas");
    const uint32_t fileB = j.plain("unitb.pas");
    const uint32_t procOne = j.packed("ProcOne");
    const uint32_t thing = j.packed("TThing");
    const uint32_t two = j.packed("Two");
    const uint32_t three = j.packedWithAt("Three");
    j.units = {{0, unitA}, {0x100, unitB}};
    j.sources = {{0, fileA}, {0x100, fileB}};
    j.procs = {{0x10, procOne, 0}, {0x40, thing, two}, {0x120, three, 0}};
    j.lines = {{0x10, 10}, {0x18, 11}, {0x40, 20}, {0x120, 5}, {0x130, 6}};
    return j;
}

const cvtest::ScannerExpectation kCases[] = {
    {0x10, "UnitA", "ProcOne", 0, 10, "unita.pas"},
    {0x1A, "UnitA", "ProcOne", 0xA, 11, "unita.pas"},
    {0x44, "UnitA", "TThing.Two", 4, 20, "unita.pas"},  // a second name joins the first with "."
    {0x08, "UnitA", "", 0, 0, "unita.pas"},
    {0x104, "UnitB", "", 0, 0, "unitb.pas"},            // UnitA's last procedure is not UnitB's
    {0x135, "UnitB", "@Three", 0x15, 6, "unitb.pas"},
    {0x5000, "UnitB", "@Three", 0x4EE0, 6, "unitb.pas"}, // the last unit runs on
};

class JclScanner : public ::testing::TestWithParam<bool> {};

TEST_P(JclScanner, AddressesResolveWithAndWithoutCaching)
{
    const std::vector<uint8_t> data = sample().build();
    cv::TELBinDebugScanner scanner(data, GetParam());
    ASSERT_TRUE(scanner.ValidFormat());
    EXPECT_EQ(scanner.ModuleName(), "Sample");
    cvtest::ExpectScannerAnswers(scanner, kCases);
    EXPECT_EQ(scanner.ModuleStartFromAddr(0x150), 0x100u);
}

INSTANTIATE_TEST_SUITE_P(Caching, JclScanner, ::testing::Bool());

TEST(JclData, FormatChecks)
{
    const std::vector<uint8_t> good = sample().build();
    auto valid = [](std::vector<uint8_t> d) { return cv::TELBinDebugScanner(d, true).ValidFormat(); };
    EXPECT_TRUE(valid(good));

    std::vector<uint8_t> d = good;
    d[29] ^= 1; // wrong checksum
    EXPECT_FALSE(valid(d));
    d[33] = 0;  // no checksum: not tested
    EXPECT_TRUE(valid(d));

    d = good;
    d[4] = 2; // version
    EXPECT_FALSE(valid(d));
    d = good;
    d[0] = 'X';
    EXPECT_FALSE(valid(d));
    d = good;
    d.push_back(0); // not a multiple of 4
    EXPECT_FALSE(valid(d));
    d.resize(34); // header only
    EXPECT_FALSE(valid(d));
    EXPECT_FALSE(valid({}));
}

TEST(JclData, EveryNameFormDecodes)
{
    JdbgBuilder j;
    j.moduleName = j.packed("M");
    const uint32_t unit = j.packed("Unit_9z");
    const uint32_t plain = j.plain("a.b c\xAA");
    const uint32_t longName = j.packed(std::string(300, 'x'));
    j.units = {{0, unit}};
    j.procs = {{0, plain, 0}, {0x10, longName, 0}};
    j.lines = {{0, 1}};
    const auto data = j.build();
    cv::TELBinDebugScanner scanner(data, true);
    uint64_t offset;
    EXPECT_EQ(scanner.ModuleNameFromAddr(0), "Unit_9z");
    EXPECT_EQ(scanner.ProcNameFromAddr(4, offset), "a.b c\xAA");
    EXPECT_EQ(scanner.ProcNameFromAddr(0x10, offset), std::string(255, 'x')); // at most 255 characters
}

// The source finds its data in the module file's section or beside it.
TEST(JclData, SourceReadsTheSectionOrTheSideFile)
{
    cv::TELLocationInfo expected;
    expected.UnitName = "UnitA";
    expected.ProcedureName = "ProcOne";
    expected.LineNumber = 11;
    expected.ProcOffsetLine = 1;
    expected.SourceName = "unita.pas";
    cvtest::ExpectSectionAndSideFile<cv::TELDebugInfoJedy>(sample().build(), "JCLDEBUG", ".jdbg", 0x1A, expected);
}

// Cut or changed data (checksum off, so the tables are read) answers every
// lookup without reading outside it.
TEST(JclData, DamagedDataIsReadSafely)
{
    JdbgBuilder j = sample();
    j.checksum = false;
    const auto good = j.build();
    for (size_t i = 0; i < good.size(); ++i) {
        for (uint8_t v : {uint8_t(0xFF), uint8_t(0x00), uint8_t(0x80)}) {
            std::vector<uint8_t> d = good;
            d[i] = v;
            for (bool cache : {true, false})
                debugdata_fuzz::AskEverything(cv::TELBinDebugScanner(d, cache));
        }
    }
}

} // namespace
