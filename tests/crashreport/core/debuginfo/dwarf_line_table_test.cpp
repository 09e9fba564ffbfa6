#include "crashreport/core/debuginfo/dwarf_line_table.h"

#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/module_handles.h"
#include "support/le_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include <dwarf.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <unistd.h>

namespace {

// libdw's rows of a unit, without those of the sequences a linker left at
// address 0 (below the program's code, which starts after its headers).
std::vector<cv::TDwarfLineRow> LibdwRows(Dwarf_Die* unit, uint64_t codeStart, std::vector<std::string>& files)
{
    Dwarf_Lines* lines = nullptr;
    size_t count = 0;
    std::vector<cv::TDwarfLineRow> rows;
    if (dwarf_getsrclines(unit, &lines, &count) != 0)
        return rows;
    for (size_t i = 0; i < count; ++i) {
        Dwarf_Line* l = dwarf_onesrcline(lines, i);
        Dwarf_Addr addr = 0;
        int line = 0;
        bool end = false;
        dwarf_lineaddr(l, &addr);
        dwarf_lineno(l, &line);
        dwarf_lineendsequence(l, &end);
        if (addr < codeStart)
            continue;
        // The file goes by the row's index: a unit may have more rows than
        // the row's 16-bit file number can count.
        rows.push_back({addr, uint32_t(line), 0, end});
        const char* f = dwarf_linesrc(l, nullptr, nullptr);
        files.emplace_back(f ? f : "");
    }
    return rows;
}

// Every unit of this test program reads as libdw reads it: each address
// where a row starts has the same line and file in both.
TEST(DwarfLineTable, AgreesWithLibdwOnThisProgram)
{
    const std::string self = cv::ModuleFileNameOfHandle(cv::ModuleHandleOfAddress(reinterpret_cast<const void*>(&LibdwRows)));
    std::vector<uint8_t> line, lineStr, str;
    ASSERT_TRUE(cv::ReadElfSection(self, ".debug_line", line));
    cv::ReadElfSection(self, ".debug_line_str", lineStr);
    cv::ReadElfSection(self, ".debug_str", str);
    const cv::TDwarfLineSections sections{line, lineStr, str};
    uint64_t codeStart = UINT64_MAX;
    for (const char* name : {".init", ".plt", ".text"})
        if (const auto b = cv::ElfSectionBounds(self, name))
            codeStart = std::min(codeStart, b->address);

    const int fd = ::open(self.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    Dwarf* dwarf = dwarf_begin(fd, DWARF_C_READ);
    ASSERT_NE(dwarf, nullptr);
    Dwarf_CU* cu = nullptr;
    Dwarf_CU* next = nullptr;
    Dwarf_Half version;
    uint8_t type;
    Dwarf_Die die;
    size_t units = 0, rows = 0;
    for (; dwarf_get_units(dwarf, cu, &next, &version, &type, &die, nullptr) == 0; cu = next) {
        Dwarf_Attribute attr;
        Dwarf_Word offset = 0;
        if (!dwarf_attr(&die, DW_AT_stmt_list, &attr) || dwarf_formudata(&attr, &offset) != 0)
            continue;
        const char* compDir = dwarf_attr(&die, DW_AT_comp_dir, &attr) ? dwarf_formstring(&attr) : "";
        cv::TDwarfLineTable ours;
        ASSERT_TRUE(cv::DecodeDwarfLineTable(sections, offset, compDir ? compDir : "", ours)) << offset;
        std::vector<std::string> files;
        const std::vector<cv::TDwarfLineRow> theirs = LibdwRows(&die, codeStart, files);
        // The same line (and file) at every address where a row of either
        // starts; not where a sequence ends (libdw gives a row there that
        // covers nothing the line of the row before it).
        auto at = [](const std::vector<cv::TDwarfLineRow>& rows, uint64_t a) -> const cv::TDwarfLineRow* {
            auto it = std::upper_bound(rows.begin(), rows.end(), a, [](uint64_t v, const cv::TDwarfLineRow& r) { return v < r.Address; });
            return it == rows.begin() || (it - 1)->EndSequence ? nullptr : &*(it - 1);
        };
        std::vector<uint64_t> addresses;
        std::set<uint64_t> ends;
        for (const auto& r : theirs)
            addresses.push_back(r.Address);
        for (const auto& r : ours.Rows) {
            addresses.push_back(r.Address);
            if (r.EndSequence)
                ends.insert(r.Address);
        }
        for (uint64_t a : addresses) {
            if (ends.count(a))
                continue;
            const cv::TDwarfLineRow* o = ours.RowAt(a);
            const cv::TDwarfLineRow* t = at(theirs, a);
            ASSERT_EQ(o != nullptr, t != nullptr) << std::hex << a;
            if (!o)
                continue;
            ASSERT_EQ(o->Line, t->Line) << std::hex << a;
            ASSERT_NE(ours.FileOf(*o), nullptr);
            EXPECT_EQ(cv::ExtractFileName(*ours.FileOf(*o)), cv::ExtractFileName(files[std::size_t(t - theirs.data())])) << std::hex << a;
        }
        ++units;
        rows += theirs.size();
    }
    dwarf_end(dwarf);
    ::close(fd);
    EXPECT_GT(units, 5u);
    EXPECT_GT(rows, 1000u);
}

// A DWARF 4 program made byte by byte: folders and files in the old form,
// two sequences written in reverse address order, and one at address 0.
std::vector<uint8_t> Version4Program()
{
    cvtest::LEBytes h;
    h.u8(1).u8(1).u8(1).u8(uint8_t(-5)).u8(14).u8(13);       // min instruction, max ops, is_stmt, line base, range, opcode base
    for (uint8_t n : {0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1})   // standard opcode argument counts
        h.u8(n);
    for (const char* d : {"inc"})
        for (const char* c = d; ; ++c) {
            h.u8(uint8_t(*c));
            if (!*c)
                break;
        }
    h.u8(0);
    auto file = [&h](const char* name, uint8_t dir) {
        for (const char* c = name; ; ++c) {
            h.u8(uint8_t(*c));
            if (!*c)
                break;
        }
        h.u8(dir).u8(0).u8(0);
    };
    file("a.cpp", 0);
    file("b.h", 1);
    h.u8(0);

    cvtest::LEBytes p;
    auto setAddress = [&p](uint64_t a) { p.u8(0).u8(9).u8(2).u32(uint32_t(a)).u32(uint32_t(a >> 32)); };
    auto endSequence = [&p] { p.u8(0).u8(1).u8(1); };
    // Sequence at 0x2000: line 10, then +4 bytes line 12 (special), file 2 at +2 line 12.
    setAddress(0x2000);
    p.u8(3).u8(9);                 // advance_line 9: line 10
    p.u8(1);                       // copy
    p.u8(uint8_t(13 + (2 - -5) + 14 * 4)); // special: +4 addresses, +2 lines
    p.u8(4).u8(2);                 // set_file 2
    p.u8(2).u8(2);                 // advance_pc 2
    p.u8(1);                       // copy
    p.u8(2).u8(6);                 // advance_pc 6
    endSequence();
    // Discarded code at address 0.
    setAddress(0);
    p.u8(1);
    p.u8(2).u8(4);
    endSequence();
    // Sequence at 0x1000: line 1.
    setAddress(0x1000);
    p.u8(1);
    p.u8(9).u16(0x10);             // fixed_advance_pc
    endSequence();

    cvtest::LEBytes unit;
    unit.u16(4).u32(uint32_t(h.b.size())).bytes(h.b).bytes(p.b);
    cvtest::LEBytes all;
    all.u32(uint32_t(unit.b.size())).bytes(unit.b);
    return all.b;
}

TEST(DwarfLineTable, OlderFormAndSequenceOrder)
{
    const std::vector<uint8_t> program = Version4Program();
    cv::TDwarfLineTable t;
    ASSERT_TRUE(cv::DecodeDwarfLineTable({program, {}, {}}, 0, "/src", t));
    ASSERT_EQ(t.Files.size(), 3u);
    EXPECT_EQ(t.Files[1], "/src/a.cpp");
    EXPECT_EQ(t.Files[2], "/src/inc/b.h");
    // The rows in the program's order (the one at address 0 left out), the sequences by address.
    const std::vector<cv::TDwarfLineRow> expected = {
        {0x2000, 10, 1, false}, {0x2004, 12, 1, false}, {0x2006, 12, 2, false}, {0x200C, 12, 2, true},
        {0x1000, 1, 1, false}, {0x1010, 1, 1, true},
    };
    ASSERT_EQ(t.Rows.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(t.Rows[i].Address, expected[i].Address) << i;
        EXPECT_EQ(t.Rows[i].Line, expected[i].Line) << i;
        EXPECT_EQ(t.Rows[i].File, expected[i].File) << i;
        EXPECT_EQ(t.Rows[i].EndSequence, expected[i].EndSequence) << i;
    }
    ASSERT_EQ(t.Sequences.size(), 2u);
    EXPECT_EQ(t.Sequences[0].Start, 0x1000u);
    EXPECT_EQ(t.Sequences[0].First, 4u);
    struct Lookup {
        uint64_t address;
        uint32_t line; // 0: none
    };
    for (const Lookup& l : {Lookup{0xFFF, 0}, Lookup{0x1000, 1}, Lookup{0x100F, 1}, Lookup{0x1010, 0}, Lookup{0x1FFF, 0},
                            Lookup{0x2003, 10}, Lookup{0x2005, 12}, Lookup{0x200B, 12}, Lookup{0x200C, 0}}) {
        const cv::TDwarfLineRow* row = t.RowAt(l.address);
        EXPECT_EQ(row ? row->Line : 0, l.line) << std::hex << l.address;
    }
    EXPECT_EQ(*t.FileOf(*t.RowAt(0x2007)), "/src/inc/b.h");
}

TEST(DwarfLineTable, DamagedProgramsAreRefusedOrReadSafely)
{
    const std::vector<uint8_t> program = Version4Program();
    for (size_t n = 0; n < program.size(); ++n) {
        const std::vector<uint8_t> cut(program.begin(), program.begin() + ptrdiff_t(n));
        cv::TDwarfLineTable t;
        EXPECT_FALSE(cv::DecodeDwarfLineTable({cut, {}, {}}, 0, "", t)) << n;
        EXPECT_TRUE(t.Rows.empty());
    }
    for (size_t i = 0; i < program.size(); ++i) {
        std::vector<uint8_t> changed = program;
        changed[i] ^= 0xFF;
        cv::TDwarfLineTable t;
        cv::DecodeDwarfLineTable({changed, {}, {}}, 0, "", t);
    }
    cv::TDwarfLineTable t;
    EXPECT_FALSE(cv::DecodeDwarfLineTable({program, {}, {}}, program.size() + 10, "", t));
}

} // namespace
