#pragma once
// One compilation unit's DWARF line table (versions 2 to 5) decoded from the
// program in .debug_line into compact rows. libdw's own reader keeps a
// record per row made one by one and sorted afterwards; reading a large
// program's units that way costs more than all its lookups, so the address
// lookups decode the line programs themselves and leave libdw's reader for
// what this one does not take (compressed sections, unknown forms).
// Every read is checked against the section's end.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace cv {

struct TDwarfLineRow {
    uint64_t Address = 0;
    uint32_t Line = 0;
    uint16_t File = 0;        // index into TDwarfLineTable::Files (0xFFFF: none)
    bool EndSequence = false; // the first address after a sequence: it covers nothing
};

struct TDwarfLineTable {
    // The rows, each sequence's together in the order of its program.
    std::vector<TDwarfLineRow> Rows;
    // The sequences by their first address: where their rows lie in Rows.
    struct Sequence {
        uint64_t Start;
        uint32_t First, End;
    };
    std::vector<Sequence> Sequences;
    std::vector<std::string> Files; // full names, joined with their folders

    // The row that holds the address: in the sequence that starts last at
    // or below it, the last row at or below it (of several at one address,
    // the last); none when that is the sequence's end.
    const TDwarfLineRow* RowAt(uint64_t address) const;
    const std::string* FileOf(const TDwarfLineRow& row) const { return row.File < Files.size() ? &Files[row.File] : nullptr; }
};

// The sections the line programs refer to.
struct TDwarfLineSections {
    std::span<const uint8_t> Line;    // .debug_line
    std::span<const uint8_t> LineStr; // .debug_line_str (DWARF 5)
    std::span<const uint8_t> Str;     // .debug_str
};

// Decodes the line program at offset; false (and an empty table) when it is
// damaged or uses what this reader does not know.
bool DecodeDwarfLineTable(const TDwarfLineSections& sections, uint64_t offset, const std::string& compDir, TDwarfLineTable& table);

} // namespace cv
