#include "crashreport/core/debuginfo/td32_debug_data.h"

#include "crashreport/core/debuginfo/debug_data_fuzzing.h"
#include "crashreport/core/debuginfo/debug_data_testutil.h"
#include "support/le_bytes.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

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
    std::vector<size_t> listed; // the subsections the directory lists, in order (all once when empty)
    bool directoryLoops = false; // the directory names itself as the next one

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
        std::vector<size_t> entries = listed;
        if (entries.empty())
            for (size_t i = 0; i < subs.size(); ++i)
                entries.push_back(i);
        b.u16(16).u16(entrySize).u32(uint32_t(entries.size())).u32(directoryLoops ? dir : 0).u32(0);
        for (size_t i : entries)
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

// A source-module subsection with one file whose record lists the line
// blocks at the given offsets (from the subsection's start); the blocks
// follow the record, each with `pairs` lines.
std::vector<uint8_t> sourceModuleWithBlocks(const std::vector<uint32_t>& blockOffsets, uint16_t pairs, uint32_t firstBlock)
{
    cvtest::LEBytes b;
    b.u16(1).u16(1).u32(8);
    b.u16(uint16_t(blockOffsets.size())).u32(3);
    for (uint32_t o : blockOffsets)
        b.u32(o);
    for (size_t i = 0; i < blockOffsets.size(); ++i)
        b.u32(0).u32(0x80);
    while (b.b.size() < firstBlock)
        b.u8(0);
    for (int block = 0; block < 2; ++block) {
        b.u16(1).u16(pairs);
        for (uint16_t p = 0; p < pairs; ++p)
            b.u32(0x10u * p);
        for (uint16_t p = 0; p < pairs; ++p)
            b.u16(uint16_t(30 + p));
    }
    return b.b;
}

// Every block is read once: data that names one twice is damaged, so that
// what it yields stays within its bytes.
TEST(Td32Data, BlocksReadTwiceAreDamage)
{
    auto valid = [](const std::vector<uint8_t>& d) { return cv::TELTD32InfoScanner(d).ValidData(); };
    auto withSource = [](std::vector<uint8_t> source, std::vector<size_t> listed = {}) {
        Td32Builder t;
        t.add(0x0130, Td32Builder::names({"Unit1", "Proc", "unit1.pas"}));
        t.add(0x0120, Td32Builder::module(1, 0, 0x100));
        t.add(0x0127, std::move(source));
        t.listed = std::move(listed);
        return t.build();
    };
    // Two blocks one after the other (each 4 + 3 * 6 = 22 bytes, the first at 40).
    EXPECT_TRUE(valid(withSource(sourceModuleWithBlocks({40, 62}, 3, 40))));
    EXPECT_FALSE(valid(withSource(sourceModuleWithBlocks({40, 40}, 3, 40)))) << "one block listed twice";
    EXPECT_FALSE(valid(withSource(sourceModuleWithBlocks({40, 52}, 3, 40)))) << "a block inside another";
    EXPECT_FALSE(valid(withSource(sourceModuleWithBlocks({40, 62}, 3, 40), {0, 1, 2, 2}))) << "a subsection listed twice";
    EXPECT_FALSE(valid(withSource(sourceModuleWithBlocks({40, 62}, 3, 40), {0, 0, 1, 2}))) << "the names listed twice";

    Td32Builder loop;
    loop.add(0x0130, Td32Builder::names({"A"}));
    EXPECT_TRUE(valid(loop.build()));
    loop.directoryLoops = true;
    EXPECT_FALSE(valid(loop.build())) << "a directory read twice";
}

// Whatever lies beside a module: only a regular file of sensible size is
// read, and a FIFO of the name never holds the report.
TEST(Td32Data, OnlyFilesOfSensibleSizeBesideAModuleAreRead)
{
    cvtest::TempDir dir;
    const std::string module = dir.write(QStringLiteral("m.so"), cvtest::toBytes(cvtest::MakeElfWithSections({}))).toStdString();
    for (const char* side : {"m.tds", "m.map", "m.jdbg"})
        ASSERT_EQ(::mkfifo(dir.file(QString::fromLatin1(side)).toLocal8Bit().constData(), 0600), 0);
    int result = -1;
    const QString found = cvtest::runInChild(
        [&] {
            std::unique_ptr<cv::TELDebugInfoSource> source;
            return QString::number(cv::FindDebugInfoSource(0x30000000, source, module));
        },
        &result, std::chrono::seconds(10));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(found, QStringLiteral("0"));

    // Valid data at the end of a file larger than the bound.
    const std::vector<uint8_t> data = sample();
    const QString big = dir.file(QStringLiteral("big.tds"));
    QFile file(big);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(qint64(cv::kMaxDebugFileSize) + 4096));
    ASSERT_TRUE(file.seek(file.size()));
    file.write(reinterpret_cast<const char*>(data.data()), qint64(data.size()));
    file.close();
    const std::string bigModule = dir.write(QStringLiteral("big.so"), cvtest::toBytes(cvtest::MakeElfWithSections({}))).toStdString();
    EXPECT_FALSE(cv::TELDebugInfoSource::Create<cv::TELDebugInfoTD32>(0x30000000, bigModule)->ValidData());
    std::vector<uint8_t> bytes{1, 2, 3};
    EXPECT_FALSE(cv::LoadFileBytes(big.toStdString(), bytes));
    EXPECT_TRUE(bytes.empty());
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
