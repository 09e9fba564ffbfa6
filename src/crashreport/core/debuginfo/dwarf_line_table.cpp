#include "crashreport/core/debuginfo/dwarf_line_table.h"

#include "crashreport/core/debuginfo/dwarf_reader.h"

#include <algorithm>
#include <cstring>

namespace cv {

namespace {

// Forms and content types of DWARF 5 directory and file entries.
enum : uint64_t {
    kFormBlock = 0x09,
    kFormData1 = 0x0b,
    kFormData2 = 0x05,
    kFormData4 = 0x06,
    kFormData8 = 0x07,
    kFormData16 = 0x1e,
    kFormString = 0x08,
    kFormStrp = 0x0e,
    kFormUdata = 0x0f,
    kFormLineStrp = 0x1f,
    kContentPath = 1,
    kContentDirectoryIndex = 2,
};

// Opcodes of the line program.
enum : uint8_t {
    kExtended = 0,
    kCopy = 1,
    kAdvancePc = 2,
    kAdvanceLine = 3,
    kSetFile = 4,
    kConstAddPc = 8,
    kFixedAdvancePc = 9,
    kEndSequence = 1,
    kSetAddress = 2,
};

using Reader = TDwarfReader;

// The zero-terminated string at offset of a string section.
bool StringAt(std::span<const uint8_t> section, uint64_t offset, std::string& s)
{
    if (offset >= section.size())
        return false;
    const auto* start = reinterpret_cast<const char*>(section.data() + offset);
    const void* zero = std::memchr(start, 0, size_t(section.size() - offset));
    if (!zero)
        return false;
    s.assign(start, static_cast<const char*>(zero));
    return true;
}

std::string Joined(const std::string& folder, const std::string& name)
{
    if (name.empty() || name[0] == '/' || folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

struct EntryFormat {
    uint64_t content;
    uint64_t form;
};

// A DWARF 5 directory or file list: each entry's path and directory index.
bool ReadEntries(Reader& r, const TDwarfLineSections& s, bool dwarf64, std::vector<std::pair<std::string, uint64_t>>& entries)
{
    const uint8_t formatCount = r.Fixed<uint8_t>();
    std::vector<EntryFormat> formats(formatCount);
    for (EntryFormat& f : formats) {
        f.content = r.Uleb();
        f.form = r.Uleb();
    }
    const uint64_t count = r.Uleb();
    if (!r.Ok() || count > 1000000)
        return false;
    entries.reserve(size_t(count));
    for (uint64_t i = 0; i < count && r.Ok(); ++i) {
        std::string path;
        uint64_t dirIndex = 0;
        for (const EntryFormat& f : formats) {
            std::string text;
            uint64_t number = 0;
            switch (f.form) {
            case kFormString: text = r.CString(); break;
            case kFormLineStrp: if (!StringAt(s.LineStr, r.Sized(dwarf64 ? 8 : 4), text)) return false; break;
            case kFormStrp: if (!StringAt(s.Str, r.Sized(dwarf64 ? 8 : 4), text)) return false; break;
            case kFormUdata: number = r.Uleb(); break;
            case kFormData1: number = r.Fixed<uint8_t>(); break;
            case kFormData2: number = r.Fixed<uint16_t>(); break;
            case kFormData4: number = r.Fixed<uint32_t>(); break;
            case kFormData8: number = r.Fixed<uint64_t>(); break;
            case kFormData16: r.Skip(16); break;
            case kFormBlock: r.Skip(r.Uleb()); break;
            default: return false;
            }
            if (f.content == kContentPath)
                path = std::move(text);
            else if (f.content == kContentDirectoryIndex)
                dirIndex = number;
        }
        entries.emplace_back(std::move(path), dirIndex);
    }
    return r.Ok();
}

bool Fail(TDwarfLineTable& table)
{
    table = {};
    return false;
}

} // namespace

const TDwarfLineRow* TDwarfLineTable::RowAt(uint64_t address) const
{
    auto s = std::upper_bound(Sequences.begin(), Sequences.end(), address, [](uint64_t a, const Sequence& q) { return a < q.Start; });
    if (s == Sequences.begin())
        return nullptr;
    --s;
    const auto first = Rows.begin() + s->First, end = Rows.begin() + s->End;
    auto it = std::upper_bound(first, end, address, [](uint64_t a, const TDwarfLineRow& r) { return a < r.Address; });
    if (it == first || (it - 1)->EndSequence)
        return nullptr;
    return &*(it - 1);
}

bool DecodeDwarfLineTable(const TDwarfLineSections& sections, uint64_t offset, const std::string& compDir, TDwarfLineTable& table)
{
    table = {};
    Reader r(sections.Line, offset, sections.Line.size());
    uint64_t length = r.Fixed<uint32_t>();
    const bool dwarf64 = length == 0xFFFFFFFF;
    if (dwarf64)
        length = r.Fixed<uint64_t>();
    else if (length >= 0xFFFFFFF0)
        return Fail(table);
    if (!r.Ok() || length > sections.Line.size() - r.At())
        return Fail(table);
    const uint64_t unitEnd = r.At() + length;
    r = Reader(sections.Line, r.At(), unitEnd);
    const uint16_t version = r.Fixed<uint16_t>();
    if (version < 2 || version > 5)
        return Fail(table);
    unsigned addressSize = 8;
    if (version >= 5) {
        addressSize = r.Fixed<uint8_t>();
        r.Skip(1); // segment selector size
    }
    const uint64_t headerLength = dwarf64 ? r.Fixed<uint64_t>() : r.Fixed<uint32_t>();
    if (!r.Ok() || headerLength > unitEnd - r.At())
        return Fail(table);
    const uint64_t programStart = r.At() + headerLength;
    const uint8_t minInstruction = r.Fixed<uint8_t>();
    const uint8_t maxOps = version >= 4 ? r.Fixed<uint8_t>() : 1;
    r.Skip(1); // default_is_stmt: every row counts here
    const int8_t lineBase = int8_t(r.Fixed<uint8_t>());
    const uint8_t lineRange = r.Fixed<uint8_t>();
    const uint8_t opcodeBase = r.Fixed<uint8_t>();
    if (!r.Ok() || lineRange == 0 || opcodeBase == 0 || maxOps != 1)
        return Fail(table); // (several operations per instruction: not on this machine)
    std::vector<uint8_t> argumentCounts(opcodeBase, 0);
    for (uint8_t i = 1; i < opcodeBase; ++i)
        argumentCounts[i] = r.Fixed<uint8_t>();

    // Folders and files; before DWARF 5 folder 0 is the compilation folder and files count from 1.
    std::vector<std::string> folders;
    if (version >= 5) {
        std::vector<std::pair<std::string, uint64_t>> dirs, files;
        if (!ReadEntries(r, sections, dwarf64, dirs) || !ReadEntries(r, sections, dwarf64, files))
            return Fail(table);
        for (auto& d : dirs)
            folders.push_back(Joined(compDir, d.first));
        for (auto& f : files)
            table.Files.push_back(Joined(f.second < folders.size() ? folders[size_t(f.second)] : std::string(), f.first));
    } else {
        folders.push_back(compDir);
        for (std::string d = r.CString(); r.Ok() && !d.empty(); d = r.CString())
            folders.push_back(Joined(compDir, d));
        table.Files.emplace_back();
        for (std::string f = r.CString(); r.Ok() && !f.empty(); f = r.CString()) {
            const uint64_t dir = r.Uleb();
            r.Uleb(); // time
            r.Uleb(); // size
            table.Files.push_back(Joined(dir < folders.size() ? folders[size_t(dir)] : std::string(), f));
        }
    }
    if (!r.Ok())
        return Fail(table);

    // The program. Rows go into one array, about one for every two bytes of
    // program; each sequence's place is noted, the places sorted at the end.
    r.Seek(programStart);
    std::vector<TDwarfLineRow>& rows = table.Rows;
    rows.reserve(size_t(std::min<uint64_t>((unitEnd - programStart) / 2 + 16, 1u << 24)));
    size_t sequenceStart = 0;
    uint64_t address = 0;
    uint32_t file = 1;
    // Unsigned: a damaged program may step the line any distance (it wraps, as the row keeps 32 bits anyway).
    uint64_t line = 1;
    auto emit = [&](bool end) { rows.push_back({address, uint32_t(line), uint16_t(std::min<uint32_t>(file, 0xFFFF)), end}); };
    auto reset = [&] {
        address = 0;
        file = 1;
        line = 1;
    };
    while (!r.AtEnd() && r.Ok()) {
        const uint8_t op = r.Fixed<uint8_t>();
        if (op >= opcodeBase) {
            const uint8_t adjusted = uint8_t(op - opcodeBase);
            address += uint64_t(minInstruction) * (adjusted / lineRange);
            line += lineBase + adjusted % lineRange;
            emit(false);
            continue;
        }
        switch (op) {
        case kExtended: {
            const uint64_t len = r.Uleb();
            const uint64_t next = r.At() + len;
            if (len == 0 || !r.Ok() || len > unitEnd - r.At())
                return Fail(table);
            const uint8_t sub = r.Fixed<uint8_t>();
            if (sub == kEndSequence) {
                emit(true);
                // A sequence the linker left at address 0 belongs to discarded code.
                if (rows[sequenceStart].Address != 0 && rows.size() <= UINT32_MAX)
                    table.Sequences.push_back({rows[sequenceStart].Address, uint32_t(sequenceStart), uint32_t(rows.size())});
                else
                    rows.resize(sequenceStart);
                sequenceStart = rows.size();
                reset();
            } else if (sub == kSetAddress) {
                address = r.Sized(len - 1 == 8 || len - 1 == 4 ? unsigned(len - 1) : addressSize);
            }
            r.Seek(next);
            break;
        }
        case kCopy:
            emit(false);
            break;
        case kAdvancePc:
            address += uint64_t(minInstruction) * r.Uleb();
            break;
        case kAdvanceLine:
            line += r.Sleb();
            break;
        case kSetFile:
            file = uint32_t(r.Uleb());
            break;
        case kConstAddPc:
            address += uint64_t(minInstruction) * ((255 - opcodeBase) / lineRange);
            break;
        case kFixedAdvancePc:
            address += r.Fixed<uint16_t>();
            break;
        default:
            // Column, statement and block flags, ISA: arguments this table does not keep.
            for (uint8_t i = 0; i < argumentCounts[op]; ++i)
                r.Uleb();
            break;
        }
    }
    if (!r.Ok())
        return Fail(table);
    rows.resize(sequenceStart); // rows of a sequence that never ended cover nothing
    std::stable_sort(table.Sequences.begin(), table.Sequences.end(),
                     [](const TDwarfLineTable::Sequence& a, const TDwarfLineTable::Sequence& b) { return a.Start < b.Start; });
    return true;
}

} // namespace cv
