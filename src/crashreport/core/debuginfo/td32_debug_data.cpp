#include "crashreport/core/debuginfo/td32_debug_data.h"

#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/files_and_folders.h"
#include "suite/cv_endian.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <set>

namespace cv {

namespace {

// Little-endian fields of a block; a field outside it reads as absent.
struct Block {
    std::span<const uint8_t> b;

    bool Has(uint64_t offset, uint64_t size) const { return offset <= b.size() && b.size() - offset >= size; }
    uint16_t U16(uint64_t offset) const { return Has(offset, 2) ? endian::loadLE<uint16_t>(b.data() + offset) : 0; }
    uint32_t U32(uint64_t offset) const { return Has(offset, 4) ? endian::loadLE<uint32_t>(b.data() + offset) : 0; }
    // Up to size bytes from offset, cut at the block's end.
    std::span<const uint8_t> Sub(uint64_t offset, uint64_t size) const
    {
        if (offset >= b.size())
            return {};
        return b.subspan(size_t(offset), size_t(std::min<uint64_t>(size, b.size() - offset)));
    }
};

// The spans of a block read so far. Each subsection of the data, and each
// file record and line block of a source-module subsection, is read once:
// a span that overlaps one read before is damage. So what the data yields
// stays within its bytes (a line block listed a million times would
// otherwise be expanded a million times).
class TReadSpans {
public:
    bool Claim(uint64_t start, uint64_t size)
    {
        if (size == 0)
            return true;
        const uint64_t end = start + size;
        const auto next = m_spans.lower_bound(start);
        if (next != m_spans.end() && next->first < end)
            return false;
        if (next != m_spans.begin() && std::prev(next)->second > start)
            return false;
        m_spans.emplace(start, end);
        return true;
    }

private:
    std::map<uint64_t, uint64_t> m_spans; // start -> end
};

constexpr uint16_t kSubsectionModule = 0x0120;
constexpr uint16_t kSubsectionAlignedSymbols = 0x0125;
constexpr uint16_t kSubsectionSourceModule = 0x0127;
constexpr uint16_t kSubsectionNames = 0x0130;

} // namespace

// --- symbols ---

std::unique_ptr<TELSymbolInfo> TELSymbolInfo::FromRecord(std::span<const uint8_t> record)
{
    const Block r{record};
    if (!r.Has(0, 4))
        return nullptr;
    const uint16_t type = r.U16(2);
    // The furthest byte the type's fields need.
    auto need = [&](uint64_t end) { return r.Has(0, end); };
    switch (type) {
    case 0x0003:
        return need(20) ? std::make_unique<TELConstantSymbolInfo>(type, r.U32(16), r.U32(4), r.U32(8)) : nullptr;
    case 0x0004:
        return need(14) ? std::make_unique<TELUdtSymbolInfo>(type, r.U32(4), r.U32(10), r.U16(8)) : nullptr;
    case 0x0009:
        return need(12) ? std::make_unique<TELObjNameSymbolInfo>(type, r.U32(4), r.U32(8)) : nullptr;
    case 0x0201:
        return need(20) ? std::make_unique<TELLDataSymbolInfo>(type, r.U32(4), r.U32(12), r.U32(16)) : nullptr;
    case 0x0202:
        return need(20) ? std::make_unique<TELGDataSymbolInfo>(type, r.U32(4), r.U32(12), r.U32(16)) : nullptr;
    case 0x0203:
        return need(20) ? std::make_unique<TELPublicSymbolInfo>(type, r.U32(4), r.U32(12), r.U32(16)) : nullptr;
    case 0x0204:
        return need(44) ? std::make_unique<TELLocalProcSymbolInfo>(type, r.U32(40), r.U32(28), r.U32(16)) : nullptr;
    case 0x0205:
        return need(44) ? std::make_unique<TELGlobalProcSymbolInfo>(type, r.U32(40), r.U32(28), r.U32(16)) : nullptr;
    case 0x0208:
        return need(28) ? std::make_unique<TELWithSymbolInfo>(type, r.U32(16), r.U32(12), r.U32(24)) : nullptr;
    case 0x0209:
        return need(16) ? std::make_unique<TELLabelSymbolInfo>(type, r.U32(4), r.U32(12)) : nullptr;
    case 0x020B:
        return need(20) ? std::make_unique<TELVftPathSymbolInfo>(type, r.U32(12), r.U32(16), r.U32(4)) : nullptr;
    default:
        return nullptr;
    }
}

// --- the parser ---

bool TELTD32InfoParser::IsTD32Sign(uint32_t sign)
{
    return sign == endian::loadLE<uint32_t>("FB09") || sign == endian::loadLE<uint32_t>("FB0A");
}

bool TELTD32InfoParser::IsTD32DebugInfoValid(std::span<const uint8_t> data)
{
    const Block d{data};
    const uint64_t size = data.size();
    if (size < 9)
        return false;
    const uint32_t sign = d.U32(size - 8);
    const uint32_t back = d.U32(size - 4);
    if (!IsTD32Sign(sign) || back > size || back < 4)
        return false;
    return IsTD32Sign(d.U32(size - back));
}

TELTD32InfoParser::TELTD32InfoParser(std::span<const uint8_t> data) : FData(data)
{
    FNames.emplace_back();
    FValidData = IsTD32DebugInfoValid(FData) && Walk();
    if (!FValidData) {
        FModules.clear();
        FSourceModules.clear();
        FSymbols.clear();
        FNames.resize(1);
    }
}

// The directories from the offset at offset 4, each entry's subsection to
// its reader. A directory whose entries are not 12 bytes, or that lies
// outside the data, makes the data invalid; so does damage a reader finds,
// a directory met twice, or a subsection that overlaps one read before.
bool TELTD32InfoParser::Walk()
{
    const Block d{FData};
    std::set<uint32_t> seen;
    TReadSpans subsections;
    uint32_t dir = d.U32(4);
    while (dir != 0) {
        if (!seen.insert(dir).second)
            return false;
        if (!d.Has(dir, 16) || d.U16(dir + 2) != 12)
            return false;
        const uint32_t count = d.U32(dir + 4);
        if (!d.Has(uint64_t(dir) + 16, uint64_t(count) * 12))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t e = uint64_t(dir) + 16 + uint64_t(i) * 12;
            const uint16_t type = d.U16(e);
            const uint32_t offset = d.U32(e + 4);
            const uint32_t size = d.U32(e + 8);
            const std::span<const uint8_t> sub = d.Sub(offset, size);
            bool read = true;
            switch (type) {
            case kSubsectionNames:
                read = subsections.Claim(offset, sub.size()) && ReadNamesSubsection(sub);
                break;
            case kSubsectionAlignedSymbols:
                read = subsections.Claim(offset, sub.size()) && ReadSymbolsSubsection(sub);
                break;
            case kSubsectionModule:
                read = subsections.Claim(offset, sub.size()) && ReadModuleSubsection(sub);
                break;
            case kSubsectionSourceModule:
                read = subsections.Claim(offset, sub.size()) && ReadSourceModuleSubsection(sub);
                break;
            default:
                break;
            }
            if (!read)
                return false;
        }
        dir = d.U32(uint64_t(dir) + 8);
    }
    return true;
}

bool TELTD32InfoParser::ReadNamesSubsection(std::span<const uint8_t> sub)
{
    const Block s{sub};
    const uint32_t count = s.U32(0);
    uint64_t at = 4;
    for (uint32_t i = 0; i < count && s.Has(at, 1); ++i) {
        const uint8_t len = sub[size_t(at)];
        const std::span<const uint8_t> chars = s.Sub(at + 1, len);
        // The characters end at the length or at their terminating zero, whichever comes first.
        const auto zero = std::find(chars.begin(), chars.end(), uint8_t(0));
        FNames.emplace_back(reinterpret_cast<const char*>(chars.data()), size_t(zero - chars.begin()));
        at += uint64_t(len) + 2;
    }
    return true;
}

bool TELTD32InfoParser::ReadSymbolsSubsection(std::span<const uint8_t> sub)
{
    const Block s{sub};
    uint64_t at = 4; // after the signature
    while (s.Has(at, 4)) {
        const uint16_t length = s.U16(at);
        if (auto symbol = TELSymbolInfo::FromRecord(s.Sub(at, uint64_t(length) + 2)))
            FSymbols.push_back(std::move(symbol));
        at += uint64_t(length) + 2;
    }
    return true;
}

bool TELTD32InfoParser::ReadModuleSubsection(std::span<const uint8_t> sub)
{
    const Block s{sub};
    if (!s.Has(0, 28))
        return true;
    TELModuleInfo m;
    m.FNameIndex = s.U32(8);
    const uint32_t count = s.U16(4);
    for (uint32_t i = 0; i < count && s.Has(28 + uint64_t(i) * 12, 12); ++i) {
        const uint64_t e = 28 + uint64_t(i) * 12;
        m.FSegments.push_back({s.U16(e), s.U16(e + 2), s.U32(e + 4), s.U32(e + 8)});
    }
    FModules.push_back(std::move(m));
    return true;
}

// Each file record and each line block is read once (a second reference to
// one is damage), so the lines of a subsection are at most its bytes / 6.
bool TELTD32InfoParser::ReadSourceModuleSubsection(std::span<const uint8_t> sub)
{
    const Block s{sub};
    TReadSpans spans;
    const uint32_t fileCount = s.U16(0);
    if (!spans.Claim(0, std::min<uint64_t>(4 + uint64_t(fileCount) * 4, sub.size())))
        return false;
    for (uint32_t f = 0; f < fileCount && s.Has(4 + uint64_t(f) * 4, 4); ++f) {
        const uint32_t fileOffset = s.U32(4 + uint64_t(f) * 4);
        if (!s.Has(fileOffset, 6))
            continue;
        TELSourceModuleInfo src;
        src.FNameIndex = s.U32(uint64_t(fileOffset) + 2);
        if (src.FNameIndex == 0)
            continue;
        const uint32_t segCount = s.U16(fileOffset);
        const uint64_t blocks = uint64_t(fileOffset) + 6;
        const uint64_t pairs = blocks + uint64_t(segCount) * 4;
        if (!s.Has(blocks, uint64_t(segCount) * 12))
            continue;
        if (!spans.Claim(fileOffset, 6 + uint64_t(segCount) * 12))
            return false;
        for (uint32_t k = 0; k < segCount; ++k) {
            const uint32_t blockOffset = s.U32(blocks + uint64_t(k) * 4);
            if (!s.Has(blockOffset, 4))
                continue;
            const uint32_t pairCount = s.U16(uint64_t(blockOffset) + 2);
            const uint64_t offsets = uint64_t(blockOffset) + 4;
            const uint64_t lines = offsets + uint64_t(pairCount) * 4;
            if (!s.Has(offsets, uint64_t(pairCount) * 6))
                continue;
            if (!spans.Claim(blockOffset, 4 + uint64_t(pairCount) * 6))
                return false;
            for (uint32_t p = 0; p < pairCount; ++p)
                src.FLines.push_back({int32_t(s.U16(lines + uint64_t(p) * 2)), s.U32(offsets + uint64_t(p) * 4)});
        }
        for (uint32_t k = 0; k < segCount; ++k)
            src.FSegments.push_back({s.U32(pairs + uint64_t(k) * 8), s.U32(pairs + uint64_t(k) * 8 + 4)});
        FSourceModules.push_back(std::move(src));
    }
    return true;
}

std::string TELTD32InfoParser::Name(uint32_t index) const
{
    return index < FNames.size() ? std::string(FNames[index]) : std::string();
}

const TELModuleInfo* TELTD32InfoParser::FindModule(uint64_t addr) const
{
    if (!FValidData)
        return nullptr;
    for (const TELModuleInfo& m : FModules)
        for (const TSegmentInfo& s : m.FSegments)
            if (s.Offset <= addr && addr - s.Offset <= s.Size)
                return &m;
    return nullptr;
}

const TELSourceModuleInfo* TELTD32InfoParser::FindSourceModule(uint64_t addr) const
{
    if (!FValidData)
        return nullptr;
    for (const TELSourceModuleInfo& m : FSourceModules)
        for (const TOffsetPair& r : m.FSegments)
            if (r.StartOffset <= addr && addr < r.EndOffset)
                return &m;
    return nullptr;
}

const TELProcSymbolInfo* TELTD32InfoParser::FindProc(uint64_t addr) const
{
    if (!FValidData)
        return nullptr;
    for (const auto& s : FSymbols) {
        if (!s->IsProcedure())
            continue;
        const auto* p = static_cast<const TELProcSymbolInfo*>(s.get());
        if (p->FOffset <= addr && addr < uint64_t(p->FOffset) + p->FSize)
            return p;
    }
    return nullptr;
}

const TELLineInfo* TELSourceModuleInfo::FindLine(uint64_t addr) const
{
    for (size_t i = 0; i < FLines.size(); ++i) {
        if (FLines[i].FOffset == addr)
            return &FLines[i];
        if (i > 0 && FLines[i - 1].FOffset < addr && FLines[i].FOffset > addr)
            return &FLines[i - 1];
    }
    return nullptr;
}

// --- the scanner ---

std::string TELTD32InfoScanner::ModuleNameFromAddr(uint64_t addr) const
{
    const TELModuleInfo* m = FindModule(addr);
    return m ? Name(m->FNameIndex) : std::string();
}

int32_t TELTD32InfoScanner::LineNumberFromAddr(uint64_t addr, uint64_t& offset) const
{
    offset = 0;
    const TELSourceModuleInfo* m = FindSourceModule(addr);
    const TELLineInfo* line = m ? m->FindLine(addr) : nullptr;
    if (!line)
        return 0;
    offset = addr - line->FOffset;
    return line->FLineNo;
}

std::string TELTD32InfoScanner::SourceNameFromAddr(uint64_t addr) const
{
    const TELSourceModuleInfo* m = FindSourceModule(addr);
    return m ? Name(m->FNameIndex) : std::string();
}

std::string TELTD32InfoScanner::ProcNameFromAddr(uint64_t addr, uint64_t& offset) const
{
    offset = 0;
    const TELProcSymbolInfo* p = FindProc(addr);
    if (!p)
        return {};
    offset = addr - p->FOffset;
    return CleanTD32ProcName(Name(p->FNameIndex), ModuleNameFromAddr(addr));
}

namespace {

std::string Lower(std::string s)
{
    for (char& c : s)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

} // namespace

std::string CleanTD32ProcName(std::string name, const std::string& unitName)
{
    if (name.empty() || name[0] != '@')
        return name;
    name.erase(0, 1);
    const auto dollar = name.find('$');
    if (dollar != std::string::npos)
        name.erase(dollar > 0 && name[dollar - 1] == '@' ? dollar - 1 : dollar);
    std::replace(name.begin(), name.end(), '@', '.');
    for (size_t p = name.find(".."); p != std::string::npos; p = name.find("..", p + 2))
        name[p + 1] = '@';
    // The unit's own name before the class goes (an empty unit name takes nothing away).
    if (!unitName.empty() && Lower(name).starts_with(Lower(unitName)))
        name.erase(0, std::min(name.size(), unitName.size() + 1));
    return name;
}

// --- the image and the source ---

TELPeBorTD32Image::TELPeBorTD32Image(const std::string& moduleFileName)
{
    bool present = ReadElfSection(moduleFileName, TELDebugInfoTD32::kSectionName, FTD32DebugData)
        && TELTD32InfoParser::IsTD32DebugInfoValid(FTD32DebugData);
    if (!present) {
        const std::string side = ChangeFileExt(moduleFileName, ".tds");
        present = LoadFileBytes(side, FTD32DebugData)
            && TELTD32InfoParser::IsTD32DebugInfoValid(FTD32DebugData);
    }
    if (present) {
        FTD32Scanner = std::make_unique<TELTD32InfoScanner>(FTD32DebugData);
        present = FTD32Scanner->ValidData();
    }
    if (!present) {
        FTD32Scanner.reset();
        FTD32DebugData.clear();
    }
    FIsTD32DebugPresent = present;
}

bool TELDebugInfoTD32::LoadSourceData()
{
    if (FModule == 0 || FModuleFileName.empty())
        return false;
    FImage = std::make_unique<TELPeBorTD32Image>(FModuleFileName);
    return FImage->FIsTD32DebugPresent;
}

bool TELDebugInfoTD32::ValidData() const
{
    return FImage && FImage->FTD32Scanner && FImage->FTD32Scanner->ValidData();
}

bool TELDebugInfoTD32::GetLocationInfo(uintptr_t addr, TELLocationInfo& info)
{
    return ValidData() && LocationFromScanner(*FImage->FTD32Scanner, addr, info);
}

} // namespace cv
