#pragma once
// binutils' objdump as the disassembler's oracle: its listing of an ELF file
// (or of raw bytes), and the comparison of each of its instructions with the
// disassembler's line for the same bytes, after both are brought to one
// form (spacing, case, number forms, relative targets as addresses).

#include "crashreport/core/disasm/disassembler.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cvtest {

struct TObjdumpInstruction {
    uint64_t Address = 0;
    std::vector<uint8_t> Bytes;
    std::string Text; // as objdump wrote it
};

// objdump -d -z -M intel (",i386" for 32-bit code) over the file's .text, between the
// addresses when `stop` is above `start`. Empty when objdump cannot be run.
std::vector<TObjdumpInstruction> ObjdumpListing(const std::string& file, bool is32, uint64_t start = 0,
                                                uint64_t stop = 0);

// The two texts in one form: lower case, single blanks, no blank after a
// comma, numbers as signed decimals (in 32-bit code read in their operand's
// width), objdump's comments and symbols gone, relative targets as absolute
// addresses.
std::string NormalisedObjdump(const std::string& text, bool is32);
std::string NormalisedOurs(const std::string& text, uint64_t address, int32_t size, bool is32);

// A kind of disagreement that is known, and why.
struct TKnownDifference {
    const char* Name;
    const char* Reason;
    // Whether the normalised pair (ours, objdump's) is of this kind.
    bool (*Matches)(const std::string& ours, const std::string& theirs);
};
const std::vector<TKnownDifference>& KnownDifferences();

struct TComparison {
    size_t Instructions = 0;
    size_t Agreed = 0;
    std::vector<std::string> BoundaryErrors;       // objdump's length differs from ours
    std::map<std::string, size_t> Known;           // disagreements by known kind
    std::vector<std::string> Unexplained;          // disagreements of no known kind
    void Add(const TComparison& other);
};

// Each of objdump's instructions against the disassembler's decoding of the
// same bytes, read from `code` (which starts at `codeAddress`).
TComparison CompareWithObjdump(const std::vector<TObjdumpInstruction>& listing, const std::vector<uint8_t>& code,
                               uint64_t codeAddress, bool is32);

} // namespace cvtest
