#pragma once
// The debug-information source for this platform's own modules: the ELF
// symbol tables and the DWARF line tables of the module's file, read with
// libdw. The unit is the source file's name (its folder left out), the line
// the DWARF line, the procedure the demangled name of the function that
// holds the address. Inlined code is named as the function it is the code
// of, and followed by the functions it was inlined into, each at the line
// of its call (TELLocationInfo::InlinedInto).
//
// The file's compilation units are listed with their address ranges when the
// source is made; a unit's lines and functions are read the first time an
// address falls in it.

#include "crashreport/core/debuginfo/debug_info_source.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace cv {

class TELElfScanner;

class TELDebugInfoElf final : public TELDebugInfoSource {
public:
    TELDebugInfoElf(uintptr_t module, const std::string& moduleFileName);
    ~TELDebugInfoElf() override;

    bool LoadSourceData() override;
    // The address in the file's own terms: the module's header lies at the
    // file's load address.
    uint64_t AddrToOffset(uintptr_t addr) const override { return uint64_t(addr) - FModule + FLoadAddress; }
    bool ValidData() const override;
    bool GetLocationInfo(uintptr_t addr, TELLocationInfo& info) override;
    bool DottedNames() const override { return false; }

    const TELElfScanner* Scanner() const { return FScanner.get(); }

private:
    std::unique_ptr<TELElfScanner> FScanner;
    uint64_t FLoadAddress = 0;
};

// The C++ name a mangled one stands for; the name itself when it is not mangled.
std::string DemangledName(const char* name);
// A symbol's name without the suffixes that mark a piece the compiler split
// off or cloned from a function (".cold", ".part.N", ".constprop.N",
// ".isra.N"): the function's own name.
std::string_view WithoutPieceSuffix(std::string_view name);

} // namespace cv
