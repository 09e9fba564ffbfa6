#pragma once
// TD32 debug data (signatures "FB09" and "FB0A"): subsection directories
// pointing at module, aligned-symbol, source-module and names subsections.
// It is read from the module file's "TD32DEBUG" section or from a ".tds"
// file beside the module. The parser checks every offset and count against
// the data: damaged data is refused or finds nothing, it never reads outside
// the block.

#include "crashreport/core/debuginfo/debug_info_source.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace cv {

// The symbol records kept from an aligned-symbols subsection.
class TELSymbolInfo {
public:
    explicit TELSymbolInfo(uint16_t symbolType) : FSymbolType(symbolType) {}
    virtual ~TELSymbolInfo() = default;
    uint16_t SymbolType() const { return FSymbolType; }
    // Procedure symbols (local or global) are the ones lookups use.
    virtual bool IsProcedure() const { return false; }

    // The symbol a record stands for; none for record types not kept or too short for their fields.
    static std::unique_ptr<TELSymbolInfo> FromRecord(std::span<const uint8_t> record);

private:
    uint16_t FSymbolType;
};

class TELProcSymbolInfo : public TELSymbolInfo {
public:
    TELProcSymbolInfo(uint16_t type, uint32_t nameIndex, uint32_t offset, uint32_t size)
        : TELSymbolInfo(type), FNameIndex(nameIndex), FOffset(offset), FSize(size) {}
    bool IsProcedure() const override { return true; }
    uint32_t FNameIndex, FOffset, FSize;
};
class TELLocalProcSymbolInfo final : public TELProcSymbolInfo {
public:
    using TELProcSymbolInfo::TELProcSymbolInfo;
};
class TELGlobalProcSymbolInfo final : public TELProcSymbolInfo {
public:
    using TELProcSymbolInfo::TELProcSymbolInfo;
};
class TELObjNameSymbolInfo final : public TELSymbolInfo {
public:
    TELObjNameSymbolInfo(uint16_t type, uint32_t signature, uint32_t nameIndex)
        : TELSymbolInfo(type), FSignature(signature), FNameIndex(nameIndex) {}
    uint32_t FSignature, FNameIndex;
};
class TELDataSymbolInfo : public TELSymbolInfo {
public:
    TELDataSymbolInfo(uint16_t type, uint32_t offset, uint32_t typeIndex, uint32_t nameIndex)
        : TELSymbolInfo(type), FOffset(offset), FTypeIndex(typeIndex), FNameIndex(nameIndex) {}
    uint32_t FOffset, FTypeIndex, FNameIndex;
};
class TELLDataSymbolInfo final : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELGDataSymbolInfo final : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELPublicSymbolInfo final : public TELDataSymbolInfo {
public:
    using TELDataSymbolInfo::TELDataSymbolInfo;
};
class TELWithSymbolInfo final : public TELSymbolInfo {
public:
    TELWithSymbolInfo(uint16_t type, uint32_t offset, uint32_t size, uint32_t nameIndex)
        : TELSymbolInfo(type), FOffset(offset), FSize(size), FNameIndex(nameIndex) {}
    uint32_t FOffset, FSize, FNameIndex;
};
class TELLabelSymbolInfo final : public TELSymbolInfo {
public:
    TELLabelSymbolInfo(uint16_t type, uint32_t offset, uint32_t nameIndex)
        : TELSymbolInfo(type), FOffset(offset), FNameIndex(nameIndex) {}
    uint32_t FOffset, FNameIndex;
};
class TELConstantSymbolInfo final : public TELSymbolInfo {
public:
    TELConstantSymbolInfo(uint16_t type, uint32_t value, uint32_t typeIndex, uint32_t nameIndex)
        : TELSymbolInfo(type), FValue(value), FTypeIndex(typeIndex), FNameIndex(nameIndex) {}
    uint32_t FValue, FTypeIndex, FNameIndex;
};
class TELUdtSymbolInfo final : public TELSymbolInfo {
public:
    TELUdtSymbolInfo(uint16_t type, uint32_t typeIndex, uint32_t nameIndex, uint16_t properties)
        : TELSymbolInfo(type), FTypeIndex(typeIndex), FNameIndex(nameIndex), FProperties(properties) {}
    uint32_t FTypeIndex, FNameIndex;
    uint16_t FProperties;
};
class TELVftPathSymbolInfo final : public TELSymbolInfo {
public:
    TELVftPathSymbolInfo(uint16_t type, uint32_t rootIndex, uint32_t pathIndex, uint32_t offset)
        : TELSymbolInfo(type), FRootIndex(rootIndex), FPathIndex(pathIndex), FOffset(offset) {}
    uint32_t FRootIndex, FPathIndex, FOffset;
};

struct TSegmentInfo {
    uint16_t Segment = 0;
    uint16_t Flags = 0;
    uint32_t Offset = 0;
    uint32_t Size = 0;
};

struct TOffsetPair {
    uint32_t StartOffset = 0;
    uint32_t EndOffset = 0;
};

struct TELModuleInfo {
    uint32_t FNameIndex = 0;
    std::vector<TSegmentInfo> FSegments;
};

struct TELLineInfo {
    int32_t FLineNo = 0;
    uint32_t FOffset = 0;
};

struct TELSourceModuleInfo {
    std::vector<TELLineInfo> FLines; // every block of the file, in order
    std::vector<TOffsetPair> FSegments;
    uint32_t FNameIndex = 0;
    // The line entry of the address: one at it, or the one before the next above it.
    const TELLineInfo* FindLine(uint64_t addr) const;
};

class TELTD32InfoParser {
public:
    explicit TELTD32InfoParser(std::span<const uint8_t> data);
    virtual ~TELTD32InfoParser() = default;
    TELTD32InfoParser(const TELTD32InfoParser&) = delete;
    TELTD32InfoParser& operator=(const TELTD32InfoParser&) = delete;

    static bool IsTD32Sign(uint32_t sign);
    // The block ends with a TD32 signature and the distance back to a start that has one too.
    static bool IsTD32DebugInfoValid(std::span<const uint8_t> data);

    bool ValidData() const { return FValidData; }
    const TELModuleInfo* FindModule(uint64_t addr) const;
    const TELSourceModuleInfo* FindSourceModule(uint64_t addr) const;
    const TELProcSymbolInfo* FindProc(uint64_t addr) const;
    // Name index n (from 1); empty for 0 or an index past the names.
    std::string Name(uint32_t index) const;

    size_t ModuleCount() const { return FModules.size(); }
    size_t SourceModuleCount() const { return FSourceModules.size(); }
    size_t SymbolCount() const { return FSymbols.size(); }

protected:
    // --- readers of the subsections, in their order; false for damage ---
    virtual bool ReadNamesSubsection(std::span<const uint8_t> sub);
    virtual bool ReadSymbolsSubsection(std::span<const uint8_t> sub);
    virtual bool ReadModuleSubsection(std::span<const uint8_t> sub);
    virtual bool ReadSourceModuleSubsection(std::span<const uint8_t> sub);

    std::span<const uint8_t> FData;
    std::vector<std::string_view> FNames; // entry 0 stands for no name
    std::vector<TELModuleInfo> FModules;
    std::vector<TELSourceModuleInfo> FSourceModules;
    std::vector<std::unique_ptr<TELSymbolInfo>> FSymbols;
    bool FValidData = false;

private:
    bool Walk();
};

class TELTD32InfoScanner final : public TELTD32InfoParser, public TELAddressScanner {
public:
    using TELTD32InfoParser::TELTD32InfoParser;
    std::string ModuleNameFromAddr(uint64_t addr) const override;
    std::string ProcNameFromAddr(uint64_t addr, uint64_t& offset) const override;
    int32_t LineNumberFromAddr(uint64_t addr, uint64_t& offset) const override;
    std::string SourceNameFromAddr(uint64_t addr) const override;
};

// A procedure's raw name made readable: "@Unit@Class@Method$qqrv" with unit
// "Unit" gives "Class.Method"; names not beginning with "@" are unchanged.
std::string CleanTD32ProcName(std::string name, const std::string& unitName);

// The module's TD32 data: from its file's section, else from the ".tds" file.
class TELPeBorTD32Image {
public:
    explicit TELPeBorTD32Image(const std::string& moduleFileName);
    bool FIsTD32DebugPresent = false;
    std::vector<uint8_t> FTD32DebugData;
    std::unique_ptr<TELTD32InfoScanner> FTD32Scanner;
};

class TELDebugInfoTD32 final : public TELDebugInfoSource {
public:
    TELDebugInfoTD32(uintptr_t module, const std::string& moduleFileName) : TELDebugInfoSource(module, moduleFileName) {}
    bool LoadSourceData() override;
    bool ValidData() const override;
    bool GetLocationInfo(uintptr_t addr, TELLocationInfo& info) override;

    // The section of a module's file that holds the data.
    static constexpr const char* kSectionName = "TD32DEBUG";

private:
    std::unique_ptr<TELPeBorTD32Image> FImage;
};

} // namespace cv
