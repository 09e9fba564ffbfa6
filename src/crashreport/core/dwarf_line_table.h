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
    uint32_t File = 0;        // index into TDwarfLineTable::Files
    bool EndSequence = false; // the first address after a sequence: it covers nothing
};

struct TDwarfLineTable {
    // Sorted by address: the sequences in the order of their first address,
    // each in the order of its program. Of several rows at one address the
    // last one counts, and a sequence's end comes before the first row of a
    // sequence that starts where it ends.
    std::vector<TDwarfLineRow> Rows;
    std::vector<std::string> Files; // full names, joined with their folders
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
