#pragma once
// Linker ".map" files: the parser that walks the text once and hands each
// line of its tables to a handler, the scanner that keeps segment 1's units,
// procedures, lines and source files in sorted arrays and answers addresses
// by halving, and the debug-information source built on them.
//
// Names are kept as pointers into the map text (which the parser owns for
// its whole life) and become strings only when a lookup answers.

#include "crashreport/core/debuginfo/debug_info_source.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cv {

struct TELMapAddress {
    uint16_t Segment = 0;
    int32_t Offset = 0;
};

// A name inside the map text.
using TELMapText = const char*;

class TELAbstractMapParser {
public:
    // Loads the whole file; a missing or unreadable file leaves no text.
    explicit TELAbstractMapParser(const std::string& mapFileName);
    // A map already in memory.
    explicit TELAbstractMapParser(std::unique_ptr<std::string> text) : FStream(std::move(text)) {}
    virtual ~TELAbstractMapParser() = default;
    TELAbstractMapParser(const TELAbstractMapParser&) = delete;
    TELAbstractMapParser& operator=(const TELAbstractMapParser&) = delete;

    // Walks the text once, calling the handlers; nothing without text.
    void Parse();
    // The name a text pointer stands for: up to a blank, line end or "(";
    // for a pointer at "(", what stands inside the parentheses.
    std::string MapStringToStr(TELMapText text) const;
    bool HasText() const { return FStream != nullptr; }

protected:
    // --- handlers, in their order ---
    virtual void HandleSegmentClass(TELMapAddress address, uint32_t len, TELMapText sectionName, TELMapText groupName) = 0;
    virtual void HandleDetailedSegment(TELMapAddress address, uint32_t len, TELMapText className, TELMapText unitName) = 0;
    virtual void HandlePublicByName(TELMapAddress address, TELMapText name) = 0;
    virtual void HandlePublicByValue(TELMapAddress address, TELMapText name) = 0;
    virtual void HandleLineNumberUnit(TELMapText unitName, TELMapText unitFileName) = 0;
    virtual void HandleLineNumber(int32_t lineNumber, TELMapAddress address) = 0;

    std::unique_ptr<std::string> FStream; // the whole file; null when it could not be read
    TELMapText FLastUnitName = nullptr;
    TELMapText FLastUnitFileName = nullptr;
};

class TELMapScanner final : public TELAbstractMapParser, public TELAddressScanner {
public:
    explicit TELMapScanner(const std::string& mapFileName);
    // The scanner of a map text in memory.
    explicit TELMapScanner(std::unique_ptr<std::string> text);

    // Start of the segment-1 unit holding va; 0xFFFFFFFF when none does.
    uint32_t ModuleStartFromAddr(uint64_t va) const;
    std::string ModuleNameFromAddr(uint64_t va) const override;
    std::string ProcNameFromAddr(uint64_t va, uint64_t& offset) const override;
    int32_t LineNumberFromAddr(uint64_t va, uint64_t& offset) const override;
    std::string SourceNameFromAddr(uint64_t va) const override;

    uint32_t LineNumberErrors() const { return FLineNumberErrors; }
    size_t LineNumberCount() const { return FLineNumbers.size(); }
    size_t ProcNameCount() const { return FProcNames.size(); }
    size_t SegmentCount() const { return FSegments.size(); }

protected:
    void HandleSegmentClass(TELMapAddress, uint32_t, TELMapText, TELMapText) override {}
    void HandleDetailedSegment(TELMapAddress address, uint32_t len, TELMapText className, TELMapText unitName) override;
    void HandlePublicByName(TELMapAddress, TELMapText) override {}
    void HandlePublicByValue(TELMapAddress address, TELMapText name) override;
    void HandleLineNumberUnit(TELMapText unitName, TELMapText unitFileName) override;
    void HandleLineNumber(int32_t lineNumber, TELMapAddress address) override;

private:
    void ParseAndTrim();

    struct LineNumber {
        uint32_t VA;
        int32_t LineNumber;
    };
    struct NamedVA {
        uint32_t VA;
        TELMapText Name;
    };
    struct Segment {
        uint32_t StartVA;
        uint32_t EndVA;
        TELMapText UnitName;
    };
    // The entry of a sorted array that holds va (or precedes it), when it
    // lies in va's own unit; -1 otherwise.
    template <typename Entry>
    int64_t EntryInUnit(const std::vector<Entry>& entries, uint64_t va) const;

    std::vector<LineNumber> FLineNumbers;
    std::vector<NamedVA> FProcNames;
    std::vector<Segment> FSegments;
    std::vector<NamedVA> FSourceNames;
    TELMapAddress FLastValidAddr;
    uint32_t FLineNumberErrors = 0;
    TELMapText FNewUnitFileName = nullptr;
    int32_t FTopValidAddr = 0;
};

// Halving over entries sorted by VA: the index of an entry equal to key
// (the first the halving meets), else with nearestPreceding the greatest
// entry below key; -1 when there is none.
template <typename Entry>
int64_t SearchSortedVA(const std::vector<Entry>& entries, uint64_t key, bool nearestPreceding)
{
    int64_t low = 0;
    int64_t high = int64_t(entries.size()) - 1;
    bool match = false;
    while (low <= high) {
        const int64_t middle = (low + high) / 2;
        const uint64_t va = entries[size_t(middle)].VA;
        if (va >= key) {
            high = middle - 1;
            if (va == key) {
                low = middle;
                match = true;
            }
        } else {
            low = middle + 1;
        }
    }
    if (match)
        return low;
    return nearestPreceding && high >= 0 ? high : -1;
}

// The ".map" file beside the module's file.
class TELDebugInfoMap final : public TELDebugInfoSource {
public:
    TELDebugInfoMap(uintptr_t module, const std::string& moduleFileName) : TELDebugInfoSource(module, moduleFileName) {}
    bool LoadSourceData() override;
    bool ValidData() const override { return FScanner != nullptr; }
    bool GetLocationInfo(uintptr_t addr, TELLocationInfo& info) override;
    const TELMapScanner* Scanner() const { return FScanner.get(); }

private:
    std::unique_ptr<TELMapScanner> FScanner;
};

} // namespace cv
