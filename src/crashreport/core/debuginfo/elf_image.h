#pragma once
// What the debug-data readers need of an ELF file on disk: the bytes of a
// named section (the places where TD32, JCL and the compiled-in crash data
// are kept in a module's file; read through elf_sections.h) and the lowest
// address its loadable segments ask for. Every offset and size of the file
// is checked before use: a damaged file gives no section, never a read
// outside it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The section's bytes; false when the file is no ELF file of this machine's
// byte order, or has no such section, or the section lies outside the file.
bool ReadElfSection(const std::string& fileName, std::string_view sectionName, std::vector<uint8_t>& bytes);

// Where the section lies once the file is loaded (its address in the file's
// own terms) and its size; nullopt when the file has no such section.
struct TElfSectionBounds {
    uint64_t address = 0;
    uint64_t size = 0;
};
std::optional<TElfSectionBounds> ElfSectionBounds(const std::string& fileName, std::string_view sectionName);

// The lowest virtual address of the file's PT_LOAD segments, rounded down to
// its page: where the ELF header lies once the file is loaded, in the
// file's own addresses (0 for a library or a position-independent program).
std::optional<uint64_t> ElfLoadAddress(const std::string& fileName);

// One entry of a file's dynamic symbol table.
struct TElfDynamicSymbol {
    std::string_view Name; // valid during the visit only
    uint64_t Value = 0;    // in the file's own addresses
    uint64_t Size = 0;
    uint8_t Type = 0;      // STT_FUNC, STT_OBJECT, ...
    bool Defined = false;  // the file defines it (else it needs it from another)
};
// Hands each named entry of the file's dynamic symbol table to `visit`
// until it answers false; false when the file has no such table.
bool ForEachDynamicSymbol(const std::string& fileName, const std::function<bool(const TElfDynamicSymbol&)>& visit);

} // namespace cv
