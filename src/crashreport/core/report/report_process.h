#pragma once
// What the report text reads of the crashed process beyond the system facts:
// its memory (the code around the fault, the stack), where a code address
// lies (module, unit, class, procedure, line) and the class of an object.
// A report of this process reads its own (TLiveProcessView); tests hand in a
// made-up process, so the assembler listing and the dump can be checked
// byte for byte.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/options/crashbox_records.h"

namespace cv {

class TReportProcessView {
public:
    virtual ~TReportProcessView() = default;
    // Copies the bytes at address into dest when every one of them is
    // readable; false (dest unspecified) otherwise. Never faults.
    virtual bool ReadMemory(uintptr_t address, std::span<uint8_t> dest) const = 0;
    // The location of a code address; false when nothing is known of it.
    virtual bool Locate(uintptr_t address, TCrashboxDebugInfo& info) const = 0;
    // The class name of the object at the address (the C++ class whose
    // virtual table its first word points into); empty when it is none.
    virtual std::string ObjectClassName(uintptr_t address) const = 0;
};

// This process: memory as its memory map says it is readable, locations
// through FillDebugInfoForAddress with the modules list's records (none
// without a list).
class TLiveProcessView : public TReportProcessView {
public:
    explicit TLiveProcessView(TCrashboxModulesList* modules);

    bool ReadMemory(uintptr_t address, std::span<uint8_t> dest) const override;
    bool Locate(uintptr_t address, TCrashboxDebugInfo& info) const override;
    std::string ObjectClassName(uintptr_t address) const override;

private:
    TModuleInfoLookup fModuleOf;
};

// The readable bytes from `address` on, at most `count`: reading stops at
// the first page that cannot be read (readability changes only at page
// boundaries).
std::vector<uint8_t> ReadReadablePrefix(const TReportProcessView& process, uintptr_t address, std::size_t count);

} // namespace cv
