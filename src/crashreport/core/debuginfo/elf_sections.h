#pragma once
// The section headers of an ELF file (32- or 64-bit, little-endian) and the
// bytes of a section: what the disassembler's benchmark and tests need to
// find an executable's code, without a library for it. A damaged or foreign
// file is refused with a message; nothing is read past the file's end.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

struct TElfSection {
    std::string Name;
    uint32_t Type = 0;     // SHT_PROGBITS = 1, SHT_NOBITS = 8, ...
    uint64_t Flags = 0;    // SHF_EXECINSTR = 4, ...
    uint64_t Address = 0;  // where the section lies when loaded
    uint64_t Offset = 0;   // where its bytes lie in the file
    uint64_t Size = 0;
};

class TElfSections {
public:
    // Reads the file's header and section headers. False, with the reason in
    // `error`, for a file that cannot be read or is no ELF file of ours.
    bool Open(const std::string& fileName, std::string& error);

    bool Is64() const { return FIs64; }
    uint16_t Machine() const { return FMachine; } // EM_386 = 3, EM_X86_64 = 62
    const std::vector<TElfSection>& Sections() const { return FSections; }
    // The first section of that name, or nullptr.
    const TElfSection* Find(std::string_view name) const;
    // The section's bytes (none for a section without bytes in the file).
    bool Read(const TElfSection& section, std::vector<uint8_t>& bytes, std::string& error) const;

private:
    std::string FFileName;
    uint64_t FFileSize = 0;
    bool FIs64 = false;
    uint16_t FMachine = 0;
    std::vector<TElfSection> FSections;
};

} // namespace cv
