#pragma once
// JCL binary debug data ("JDBG"): a 34-byte header, four tables of deltas in
// a 7-bit variable-length form (units, source names, procedures, line
// numbers) and a names area of packed or XOR-ed names. It is read from the
// module file's "JCLDEBUG" section, or from a ".jdbg" file beside the module.
// Every read is checked against the data's end: damaged data finds nothing.

#include "crashreport/core/debuginfo/debug_info_source.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace cv {

class TELBinDebugScanner final : public TELAddressScanner {
public:
    // The data must outlive the scanner. With cacheData the line and
    // procedure tables are walked once, on first use, into arrays.
    TELBinDebugScanner(std::span<const uint8_t> data, bool cacheData);

    bool ValidFormat() const { return FValidFormat; }

    // Start of the unit holding addr (the last unit start not above it); 0xFFFFFFFF when none.
    uint32_t ModuleStartFromAddr(uint64_t addr) const;
    std::string ModuleNameFromAddr(uint64_t addr) const override;
    std::string ProcNameFromAddr(uint64_t addr, uint64_t& offset) const override;
    int32_t LineNumberFromAddr(uint64_t addr, uint64_t& offset) const override;
    std::string SourceNameFromAddr(uint64_t addr) const override;
    // The module's name as the header records it.
    std::string ModuleName() const;

    // The header's fields.
    static constexpr size_t kHeaderSize = 34;

private:
    struct LineEntry {
        uint32_t Addr;
        int32_t Line;
    };
    struct ProcEntry {
        uint32_t Addr;
        uint32_t FirstName;
        uint32_t SecondName;
    };
    uint32_t HeaderField(size_t offset) const;
    std::string NameAt(uint32_t nameOffset) const;
    std::string ProcName(uint32_t firstName, uint32_t secondName) const;
    void CacheLineNumbers() const;
    void CacheProcNames() const;

    bool FCacheData;
    std::span<const uint8_t> FStream;
    bool FValidFormat = false;
    // Filled on first use when caching.
    mutable std::vector<LineEntry> FLineNumbers;
    mutable std::vector<ProcEntry> FProcNames;
    mutable bool FLinesCached = false;
    mutable bool FProcsCached = false;
};

class TELDebugInfoJedy final : public TELDebugInfoSource {
public:
    TELDebugInfoJedy(uintptr_t module, const std::string& moduleFileName) : TELDebugInfoSource(module, moduleFileName) {}
    bool LoadSourceData() override;
    bool ValidData() const override { return FScanner && FScanner->ValidFormat(); }
    bool GetLocationInfo(uintptr_t addr, TELLocationInfo& info) override;
    const TELBinDebugScanner* Scanner() const { return FScanner.get(); }

    // The section of a module's file that holds the data.
    static constexpr const char* kSectionName = "JCLDEBUG";

private:
    std::unique_ptr<TELBinDebugScanner> FScanner;
    std::vector<uint8_t> FStream; // the data the scanner reads
};

} // namespace cv
