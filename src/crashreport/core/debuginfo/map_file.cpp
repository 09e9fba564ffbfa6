#include "crashreport/core/debuginfo/map_file.h"

#include "crashreport/core/support/files_and_folders.h"

#include <cstring>

namespace cv {

namespace {

bool IsWhite(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 9 && u <= 13) || u == 32;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsLineEnd(char c) { return c == '\0' || c == '\r' || c == '\n'; }

// One cursor over the map text. Every step stops at the end of the text.
class MapCursor {
public:
    MapCursor(const char* begin, const char* end) : m_at(begin), m_end(end) {}

    bool AtEnd() const { return m_at >= m_end; }
    bool OnDigit() const { return !AtEnd() && IsDigit(*m_at); }
    const char* At() const { return m_at; }

    void SkipWhite()
    {
        while (!AtEnd() && IsWhite(*m_at))
            ++m_at;
    }
    void SkipEndLine()
    {
        while (!AtEnd() && *m_at != '\n')
            ++m_at;
        SkipWhite();
    }
    int32_t ReadDecimal()
    {
        uint32_t value = 0;
        while (OnDigit())
            value = value * 10 + uint32_t(*m_at++ - '0');
        return int32_t(value);
    }
    // Hexadecimal digits, with or without a trailing "H"; wraps in 32 bits.
    uint32_t ReadHex()
    {
        uint32_t value = 0;
        while (!AtEnd()) {
            const char c = *m_at;
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = uint32_t(c - '0');
            else if (c >= 'A' && c <= 'F')
                digit = uint32_t(c - 'A' + 10);
            else if (c >= 'a' && c <= 'f')
                digit = uint32_t(c - 'a' + 10);
            else {
                if (c == 'H' || c == 'h')
                    ++m_at;
                break;
            }
            value = value * 16 + digit;
            ++m_at;
        }
        return value;
    }
    TELMapAddress ReadAddress()
    {
        TELMapAddress a;
        a.Segment = uint16_t(ReadHex());
        if (!AtEnd() && *m_at == ':') {
            ++m_at;
            a.Offset = int32_t(ReadHex());
        }
        return a;
    }
    TELMapText ReadToken()
    {
        SkipWhite();
        const char* start = m_at;
        while (!AtEnd() && !IsWhite(*m_at))
            ++m_at;
        return start;
    }
    void SkipPastKey(char letter)
    {
        while (m_at + 1 < m_end && !(m_at[0] == letter && m_at[1] == '='))
            ++m_at;
        m_at = m_at + 1 < m_end ? m_at + 2 : m_end;
    }
    // The current line, not consumed.
    std::string_view Line() const
    {
        const char* e = m_at;
        while (e < m_end && !IsLineEnd(*e))
            ++e;
        return {m_at, size_t(e - m_at)};
    }
    // The first "(" of the current line; null when it has none.
    TELMapText ParenthesisOnLine() const
    {
        for (const char* p = m_at; p < m_end && !IsLineEnd(*p); ++p)
            if (*p == '(')
                return p;
        return nullptr;
    }
    bool StartsWith(std::string_view text) const
    {
        return size_t(m_end - m_at) >= text.size() && std::memcmp(m_at, text.data(), text.size()) == 0;
    }
    void Advance(size_t n) { m_at = std::min(m_at + n, m_end); }

    // Moves to the line whose words include the header's at increasing
    // places, then to the first character of the next non-blank line.
    bool FindHeader(std::initializer_list<std::string_view> words)
    {
        while (!AtEnd()) {
            std::string_view line = Line();
            const size_t lineLength = line.size();
            while (!line.empty() && IsWhite(line.front()))
                line.remove_prefix(1);
            while (!line.empty() && IsWhite(line.back()))
                line.remove_suffix(1);
            bool match = true;
            size_t previous = 0;
            bool first = true;
            for (std::string_view w : words) {
                const size_t p = line.find(w);
                if (p == std::string_view::npos || (!first && p <= previous)) {
                    match = false;
                    break;
                }
                previous = p;
                first = false;
            }
            if (match) {
                Advance(lineLength);
                SkipWhite();
                return true;
            }
            SkipEndLine();
        }
        return false;
    }

private:
    const char* m_at;
    const char* m_end;
};

} // namespace

TELAbstractMapParser::TELAbstractMapParser(const std::string& mapFileName)
{
    auto text = std::make_unique<std::string>();
    if (LoadFileText(mapFileName, *text))
        FStream = std::move(text);
}

void TELAbstractMapParser::Parse()
{
    if (!FStream)
        return;
    MapCursor c(FStream->data(), FStream->data() + FStream->size());

    if (c.FindHeader({"Start", "Length", "Name", "Class"})) {
        while (c.OnDigit()) {
            const TELMapAddress a = c.ReadAddress();
            c.SkipWhite();
            const uint32_t len = c.ReadHex();
            const TELMapText section = c.ReadToken();
            const TELMapText group = c.ReadToken();
            c.SkipEndLine();
            HandleSegmentClass(a, len, section, group);
        }
    }
    if (c.FindHeader({"Detailed", "map", "of", "segments"})) {
        while (c.OnDigit()) {
            const TELMapAddress a = c.ReadAddress();
            c.SkipWhite();
            const uint32_t len = c.ReadHex();
            c.SkipPastKey('C');
            const TELMapText className = c.ReadToken();
            c.SkipPastKey('M');
            const TELMapText unitName = c.ReadToken();
            c.SkipEndLine();
            HandleDetailedSegment(a, len, className, unitName);
        }
    }
    if (c.FindHeader({"Address", "Publics", "by", "Name"})) {
        while (c.OnDigit()) {
            const TELMapAddress a = c.ReadAddress();
            const TELMapText name = c.ReadToken();
            c.SkipWhite();
            HandlePublicByName(a, name);
        }
    }
    if (c.FindHeader({"Address", "Publics", "by", "Value"})) {
        while (c.OnDigit()) {
            const TELMapAddress a = c.ReadAddress();
            const TELMapText name = c.ReadToken();
            c.SkipWhite();
            HandlePublicByValue(a, name);
        }
    }
    static constexpr std::string_view kLineNumbersFor = "Line numbers for";
    for (;;) {
        c.SkipWhite();
        if (!c.StartsWith(kLineNumbersFor))
            break;
        c.Advance(kLineNumbersFor.size());
        c.SkipWhite();
        FLastUnitName = c.At();
        FLastUnitFileName = c.ParenthesisOnLine();
        c.SkipEndLine();
        HandleLineNumberUnit(FLastUnitName, FLastUnitFileName);
        do {
            c.SkipWhite();
            const int32_t line = c.ReadDecimal();
            c.SkipWhite();
            const TELMapAddress a = c.ReadAddress();
            c.SkipWhite();
            HandleLineNumber(line, a);
        } while (c.OnDigit());
    }
}

std::string TELAbstractMapParser::MapStringToStr(TELMapText text) const
{
    if (!text || !FStream)
        return {};
    const char* end = FStream->data() + FStream->size();
    if (text < FStream->data() || text >= end)
        return {};
    const char* p = text;
    if (*p == '(') {
        const char* start = ++p;
        while (p < end && *p != ')' && !IsLineEnd(*p))
            ++p;
        return {start, size_t(p - start)};
    }
    while (p < end && !IsWhite(*p) && *p != '(' && *p != '\0')
        ++p;
    return {text, size_t(p - text)};
}

// --- the scanner ---

TELMapScanner::TELMapScanner(const std::string& mapFileName) : TELAbstractMapParser(mapFileName)
{
    ParseAndTrim();
}

TELMapScanner::TELMapScanner(std::unique_ptr<std::string> text) : TELAbstractMapParser(std::move(text))
{
    ParseAndTrim();
}

void TELMapScanner::ParseAndTrim()
{
    Parse();
    FLineNumbers.shrink_to_fit();
    FProcNames.shrink_to_fit();
}

void TELMapScanner::HandleDetailedSegment(TELMapAddress address, uint32_t len, TELMapText, TELMapText unitName)
{
    if (address.Segment != 1)
        return;
    const uint32_t start = uint32_t(address.Offset);
    const uint32_t end = start + len;
    FSegments.push_back({start, end, unitName});
    if (end > uint32_t(FTopValidAddr))
        FTopValidAddr = int32_t(end);
}

void TELMapScanner::HandlePublicByValue(TELMapAddress address, TELMapText name)
{
    if (address.Segment != 1)
        return;
    if (FProcNames.size() % 256 == 0)
        FProcNames.reserve(FProcNames.size() + 256);
    FProcNames.push_back({uint32_t(address.Offset), name});
}

void TELMapScanner::HandleLineNumberUnit(TELMapText, TELMapText unitFileName)
{
    FNewUnitFileName = unitFileName;
}

void TELMapScanner::HandleLineNumber(int32_t lineNumber, TELMapAddress address)
{
    if (FLastValidAddr.Offset != 0) {
        const bool ok = address.Offset >= 1 && address.Offset <= FTopValidAddr
            && address.Segment == FLastValidAddr.Segment && address.Offset > FLastValidAddr.Offset;
        if (!ok) {
            ++FLineNumberErrors;
            return;
        }
    }
    FLastValidAddr = address;
    if (FLineNumbers.size() % 256 == 0)
        FLineNumbers.reserve(FLineNumbers.size() + 256);
    FLineNumbers.push_back({uint32_t(address.Offset), lineNumber});
    if (FNewUnitFileName) {
        FSourceNames.push_back({uint32_t(address.Offset), FNewUnitFileName});
        FNewUnitFileName = nullptr;
    }
}

uint32_t TELMapScanner::ModuleStartFromAddr(uint64_t va) const
{
    for (auto it = FSegments.rbegin(); it != FSegments.rend(); ++it)
        if (it->StartVA <= va && va <= it->EndVA)
            return it->StartVA;
    return 0xFFFFFFFF;
}

std::string TELMapScanner::ModuleNameFromAddr(uint64_t va) const
{
    for (auto it = FSegments.rbegin(); it != FSegments.rend(); ++it)
        if (it->StartVA <= va && va <= it->EndVA)
            return MapStringToStr(it->UnitName);
    return {};
}

template <typename Entry>
int64_t TELMapScanner::EntryInUnit(const std::vector<Entry>& entries, uint64_t va) const
{
    const int64_t i = SearchSortedVA(entries, va, true);
    if (i < 0 || entries[size_t(i)].VA < ModuleStartFromAddr(va))
        return -1;
    return i;
}

int32_t TELMapScanner::LineNumberFromAddr(uint64_t va, uint64_t& offset) const
{
    offset = 0;
    const int64_t i = EntryInUnit(FLineNumbers, va);
    if (i < 0)
        return 0;
    offset = va - FLineNumbers[size_t(i)].VA;
    return FLineNumbers[size_t(i)].LineNumber;
}

std::string TELMapScanner::ProcNameFromAddr(uint64_t va, uint64_t& offset) const
{
    offset = 0;
    const int64_t i = EntryInUnit(FProcNames, va);
    if (i < 0)
        return {};
    offset = va - FProcNames[size_t(i)].VA;
    return MapStringToStr(FProcNames[size_t(i)].Name);
}

std::string TELMapScanner::SourceNameFromAddr(uint64_t va) const
{
    const int64_t i = EntryInUnit(FSourceNames, va);
    return i < 0 ? std::string() : MapStringToStr(FSourceNames[size_t(i)].Name);
}

// --- the source ---

bool TELDebugInfoMap::LoadSourceData()
{
    const std::string mapFile = FModuleFileName.empty() ? std::string() : ChangeFileExt(FModuleFileName, ".map");
    auto text = std::make_unique<std::string>();
    if (!LoadFileText(mapFile, *text))
        return false;
    FScanner = std::make_unique<TELMapScanner>(std::move(text));
    return true;
}

bool TELDebugInfoMap::GetLocationInfo(uintptr_t addr, TELLocationInfo& info)
{
    return FScanner && LocationFromScanner(*FScanner, addr, info);
}

} // namespace cv
