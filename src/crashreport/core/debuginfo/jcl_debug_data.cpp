#include "crashreport/core/debuginfo/jcl_debug_data.h"

#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/files_and_folders.h"
#include "suite/cv_endian.h"

#include <bit>
#include <cstring>

namespace cv {

namespace {

// Header offsets.
constexpr size_t kUnitsOffset = 5;
constexpr size_t kSourceNamesOffset = 9;
constexpr size_t kProceduresOffset = 13;
constexpr size_t kLineNumbersOffset = 17;
constexpr size_t kNamesOffset = 21;
constexpr size_t kModuleNameOffset = 25;
constexpr size_t kChecksumOffset = 29;
constexpr size_t kChecksumPresentOffset = 33;

constexpr uint32_t kTableEnd = 0x7FFFFFFF;
constexpr size_t kMaxNameLength = 255;

// One table of the data: values in the 7-bit form, least significant group
// first, ended by kTableEnd, by the data's end, or by a value longer than
// 32 bits can hold (damage).
class DeltaReader {
public:
    DeltaReader(std::span<const uint8_t> data, uint32_t start) : m_data(data), m_pos(start) {}

    bool Next(uint32_t& value)
    {
        if (m_ended)
            return false;
        uint32_t v = 0;
        unsigned shift = 0;
        for (;;) {
            if (m_pos >= m_data.size() || shift > 28) {
                m_ended = true;
                return false;
            }
            const uint8_t b = m_data[m_pos++];
            v |= uint32_t(b & 0x7F) << shift;
            shift += 7;
            if (!(b & 0x80))
                break;
        }
        if (v == kTableEnd) {
            m_ended = true;
            return false;
        }
        value = v;
        return true;
    }
    // The next n values as running sums (each column summed from 0 along the table).
    template <size_t N>
    bool NextSums(uint32_t (&sums)[N])
    {
        for (size_t i = 0; i < N; ++i) {
            uint32_t delta;
            if (!Next(delta))
                return false;
            sums[i] += delta;
        }
        return true;
    }

private:
    std::span<const uint8_t> m_data;
    size_t m_pos;
    bool m_ended = false;
};

char PackedChar(uint32_t code)
{
    if (code <= 10)
        return char('0' + code - 1);
    if (code <= 36)
        return char('A' + code - 11);
    if (code <= 62)
        return char('a' + code - 37);
    return '_';
}

} // namespace

TELBinDebugScanner::TELBinDebugScanner(std::span<const uint8_t> data, bool cacheData)
    : FCacheData(cacheData), FStream(data)
{
    const size_t size = FStream.size();
    if (size <= kHeaderSize || size % 4 != 0)
        return;
    if (std::memcmp(FStream.data(), "JDBG", 4) != 0 || FStream[4] != 1)
        return;
    if (FStream[kChecksumPresentOffset] != 0) {
        const uint32_t stored = HeaderField(kChecksumOffset);
        uint32_t sum = 0u - stored;
        for (size_t i = 0; i < size; i += 4)
            sum += endian::loadLE<uint32_t>(FStream.data() + i);
        if (std::rotr(sum, 8) != stored)
            return;
    }
    FValidFormat = true;
}

uint32_t TELBinDebugScanner::HeaderField(size_t offset) const
{
    return endian::loadLE<uint32_t>(FStream.data() + offset);
}

std::string TELBinDebugScanner::NameAt(uint32_t nameOffset) const
{
    if (!FValidFormat || nameOffset == 0)
        return {};
    const uint64_t start = uint64_t(HeaderField(kNamesOffset)) + nameOffset - 1;
    if (start >= FStream.size())
        return {};
    const uint8_t* p = FStream.data() + start;
    const uint8_t* end = FStream.data() + FStream.size();
    std::string name;
    if (*p == 1) {
        // Plain bytes XOR-ed with 0xAA (0xAA itself stays, so no byte becomes the terminating zero).
        for (++p; p < end && *p != 0 && name.size() < kMaxNameLength; ++p)
            name += char(*p == 0xAA ? 0xAA : *p ^ 0xAA);
        return name;
    }
    if (*p == 2) {
        name += '@';
        ++p;
    }
    // Four 6-bit codes in every three bytes.
    auto byteAt = [&](const uint8_t* q) -> uint32_t { return q < end ? *q : 0; };
    while (p < end) {
        const uint32_t b0 = byteAt(p), b1 = byteAt(p + 1), b2 = byteAt(p + 2);
        const uint32_t codes[4] = {b0 & 0x3F, (b0 >> 6) | ((b1 & 0x0F) << 2), (b1 >> 4) | ((b2 & 0x03) << 4), b2 >> 2};
        for (uint32_t code : codes) {
            if (code == 0 || name.size() >= kMaxNameLength)
                return name;
            name += PackedChar(code);
        }
        p += 3;
    }
    return name;
}

std::string TELBinDebugScanner::ProcName(uint32_t firstName, uint32_t secondName) const
{
    std::string name = NameAt(firstName);
    if (secondName != 0)
        name += "." + NameAt(secondName);
    return name;
}

std::string TELBinDebugScanner::ModuleName() const
{
    return FValidFormat ? NameAt(HeaderField(kModuleNameOffset)) : std::string();
}

uint32_t TELBinDebugScanner::ModuleStartFromAddr(uint64_t addr) const
{
    if (!FValidFormat)
        return 0xFFFFFFFF;
    DeltaReader r(FStream, HeaderField(kUnitsOffset));
    uint32_t sums[2] = {0, 0};
    uint32_t start = 0xFFFFFFFF;
    while (r.NextSums(sums) && sums[0] <= addr)
        start = sums[0];
    return start;
}

std::string TELBinDebugScanner::ModuleNameFromAddr(uint64_t addr) const
{
    if (!FValidFormat)
        return {};
    DeltaReader r(FStream, HeaderField(kUnitsOffset));
    uint32_t sums[2] = {0, 0};
    bool found = false;
    uint32_t name = 0;
    while (r.NextSums(sums) && sums[0] <= addr) {
        found = true;
        name = sums[1];
    }
    return found ? NameAt(name) : std::string();
}

void TELBinDebugScanner::CacheLineNumbers() const
{
    if (FLinesCached)
        return;
    FLinesCached = true;
    if (!FValidFormat)
        return;
    DeltaReader r(FStream, HeaderField(kLineNumbersOffset));
    uint32_t sums[2] = {0, 0};
    FLineNumbers.reserve(64);
    while (r.NextSums(sums)) {
        if (FLineNumbers.size() == FLineNumbers.capacity())
            FLineNumbers.reserve(FLineNumbers.size() + FLineNumbers.size() / 4);
        FLineNumbers.push_back({sums[0], int32_t(sums[1])});
    }
    FLineNumbers.shrink_to_fit();
}

void TELBinDebugScanner::CacheProcNames() const
{
    if (FProcsCached)
        return;
    FProcsCached = true;
    if (!FValidFormat)
        return;
    DeltaReader r(FStream, HeaderField(kProceduresOffset));
    uint32_t sums[3] = {0, 0, 0};
    FProcNames.reserve(64);
    while (r.NextSums(sums)) {
        if (FProcNames.size() == FProcNames.capacity())
            FProcNames.reserve(FProcNames.size() + FProcNames.size() / 4);
        FProcNames.push_back({sums[0], sums[1], sums[2]});
    }
    FProcNames.shrink_to_fit();
}

namespace {

// The last cached entry (in table order) whose address is not above addr; -1 when none.
template <typename Entry>
int64_t LastNotAbove(const std::vector<Entry>& entries, uint64_t addr)
{
    for (int64_t i = int64_t(entries.size()) - 1; i >= 0; --i)
        if (entries[size_t(i)].Addr <= addr)
            return i;
    return -1;
}

} // namespace

int32_t TELBinDebugScanner::LineNumberFromAddr(uint64_t addr, uint64_t& offset) const
{
    offset = 0;
    if (!FValidFormat)
        return 0;
    if (FCacheData) {
        CacheLineNumbers();
        const int64_t i = LastNotAbove(FLineNumbers, addr);
        if (i < 0 || FLineNumbers[size_t(i)].Addr < ModuleStartFromAddr(addr))
            return 0;
        offset = addr - FLineNumbers[size_t(i)].Addr;
        return FLineNumbers[size_t(i)].Line;
    }
    DeltaReader r(FStream, HeaderField(kLineNumbersOffset));
    uint32_t sums[2] = {0, 0};
    bool have = false;
    LineEntry last{0, 0};
    while (r.NextSums(sums)) {
        if (sums[0] > addr) {
            if (!have || last.Addr < ModuleStartFromAddr(addr))
                return 0;
            offset = addr - last.Addr;
            return last.Line;
        }
        last = {sums[0], int32_t(sums[1])};
        have = true;
    }
    // The table ended before passing the address: the line reached so far.
    if (!have)
        return 0;
    offset = addr - last.Addr;
    return last.Line;
}

std::string TELBinDebugScanner::ProcNameFromAddr(uint64_t addr, uint64_t& offset) const
{
    offset = 0;
    if (!FValidFormat)
        return {};
    if (FCacheData) {
        CacheProcNames();
        const int64_t i = LastNotAbove(FProcNames, addr);
        if (i < 0 || FProcNames[size_t(i)].Addr < ModuleStartFromAddr(addr))
            return {};
        const ProcEntry& e = FProcNames[size_t(i)];
        offset = addr - e.Addr;
        return ProcName(e.FirstName, e.SecondName);
    }
    DeltaReader r(FStream, HeaderField(kProceduresOffset));
    uint32_t sums[3] = {0, 0, 0};
    bool have = false;
    ProcEntry last{0, 0, 0};
    while (r.NextSums(sums)) {
        if (sums[0] > addr) {
            if (!have || last.Addr < ModuleStartFromAddr(addr))
                return {};
            break;
        }
        last = {sums[0], sums[1], sums[2]};
        have = true;
    }
    if (!have)
        return {};
    offset = addr - last.Addr;
    return ProcName(last.FirstName, last.SecondName);
}

std::string TELBinDebugScanner::SourceNameFromAddr(uint64_t addr) const
{
    if (!FValidFormat)
        return {};
    DeltaReader r(FStream, HeaderField(kSourceNamesOffset));
    uint32_t sums[2] = {0, 0};
    bool have = false;
    uint32_t lastAddr = 0, lastName = 0;
    while (r.NextSums(sums)) {
        if (sums[0] > addr) {
            if (!have || lastAddr < ModuleStartFromAddr(addr))
                return {};
            break;
        }
        lastAddr = sums[0];
        lastName = sums[1];
        have = true;
    }
    return have ? NameAt(lastName) : std::string();
}

// --- the source ---

bool TELDebugInfoJedy::LoadSourceData()
{
    if (FModuleFileName.empty())
        return false;
    bool found = ReadElfSection(FModuleFileName, kSectionName, FStream);
    if (!found) {
        const std::string side = ChangeFileExt(FModuleFileName, ".jdbg");
        found = LoadFileBytes(side, FStream);
    }
    if (found)
        FScanner = std::make_unique<TELBinDebugScanner>(FStream, true);
    return found;
}

bool TELDebugInfoJedy::GetLocationInfo(uintptr_t addr, TELLocationInfo& info)
{
    return FScanner && LocationFromScanner(*FScanner, addr, info);
}

} // namespace cv
