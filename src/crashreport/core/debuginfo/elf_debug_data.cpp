#include "crashreport/core/debuginfo/elf_debug_data.h"

#include "crashreport/core/debuginfo/dwarf_line_table.h"
#include "crashreport/core/debuginfo/dwarf_reader.h"
#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/files_and_folders.h"

#include <cxxabi.h>
#include <dwarf.h>
#include <lzma.h>
#include <elfutils/libdw.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <span>
#include <unordered_map>
#include <vector>

namespace cv {

std::string_view WithoutPieceSuffix(std::string_view name)
{
    // "foo.cold", "_Z3bari.constprop.0.isra.0", "baz.part.3.cold": the
    // compiler's suffixes start with one of these words after a ".". No
    // mangled or C name holds a "." of its own.
    for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1)) {
        const std::string_view rest = name.substr(dot + 1);
        const std::string_view word = rest.substr(0, rest.find('.'));
        if (word == "cold" || word == "part" || word == "constprop" || word == "isra")
            return name.substr(0, dot);
    }
    return name;
}

std::string DemangledName(const char* name)
{
    if (!name)
        return {};
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status), &std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(name);
}

namespace {

// The calls inlined into the code of parent (a function or an inlined call)
// that hold va, outermost first, appended to path: at each level the inlined
// call whose code holds va (a call's code lies inside the code of the call it
// was inlined into, so no other is looked at), through the blocks on the way
// (a block may list no addresses of its own, and is then looked into). Only
// the path is read, not the whole function.
void InlinedPath(Dwarf_Die* parent, uint64_t va, std::vector<Dwarf_Die>& path)
{
    Dwarf_Die child;
    if (dwarf_child(parent, &child) != 0)
        return;
    do {
        switch (dwarf_tag(&child)) {
        case DW_TAG_inlined_subroutine:
            if (dwarf_haspc(&child, va) == 1) {
                path.push_back(child);
                InlinedPath(&child, va, path);
                return;
            }
            break;
        case DW_TAG_lexical_block:
        case DW_TAG_try_block:
        case DW_TAG_catch_block: {
            // A block with addresses of its own holds the code of the
            // calls inside it: one that does not hold va is passed over.
            if ((dwarf_hasattr(&child, DW_AT_low_pc) || dwarf_hasattr(&child, DW_AT_ranges)) && dwarf_haspc(&child, va) != 1)
                break;
            const std::size_t before = path.size();
            InlinedPath(&child, va, path);
            if (path.size() > before)
                return;
            break;
        }
        default: break;
        }
    } while (dwarf_siblingof(&child, &child) == 0);
}

// The children of an entry that have children of their own, each with the
// stretch of offsets its subtree takes (entries lie in the order of a walk
// of the tree): where an entry lies is found without walking its siblings.
struct TSubtrees {
    struct Subtree {
        Dwarf_Off Start = 0, End = 0; // [Start, End)
        Dwarf_Die Die{};
    };
    std::vector<Subtree> Children;

    TSubtrees() = default;
    explicit TSubtrees(Dwarf_Die* parent)
    {
        Dwarf_Die child;
        if (dwarf_child(parent, &child) != 0)
            return;
        for (;;) {
            Dwarf_Die next;
            const bool last = dwarf_siblingof(&child, &next) != 0;
            Add(child, last ? nullptr : &next);
            if (last)
                break;
            child = next;
        }
    }
    // One more child, in the order of the walk; next: its next sibling (none for the last).
    void Add(Dwarf_Die& child, Dwarf_Die* next)
    {
        if (dwarf_haschildren(&child))
            Children.push_back({dwarf_dieoffset(&child), next ? dwarf_dieoffset(next) : ~Dwarf_Off(0), child});
    }
    // The child whose subtree holds the entry at target (not the child itself).
    const Dwarf_Die* Holding(Dwarf_Off target) const
    {
        const auto after = std::upper_bound(Children.begin(), Children.end(), target,
                                            [](Dwarf_Off t, const Subtree& s) { return t < s.Start; });
        if (after == Children.begin())
            return nullptr;
        const Subtree& s = *(after - 1);
        return target > s.Start && target < s.End ? &s.Die : nullptr;
    }
};

} // namespace

// The tables of one ELF file, read through libelf and libdw.
class TELElfScanner final : public TELAddressScanner {
public:
    // giveUp: a load ahead of any need stops (and the scanner holds nothing) once it is set.
    TELElfScanner(const std::string& fileName, const std::atomic<bool>* giveUp);
    ~TELElfScanner() override;
    TELElfScanner(const TELElfScanner&) = delete;
    TELElfScanner& operator=(const TELElfScanner&) = delete;

    bool Valid() const { return !GivenUp() && (!m_symbols.empty() || !m_unitRanges.empty()); }

    std::string ModuleNameFromAddr(uint64_t va) const override;
    std::string ProcNameFromAddr(uint64_t va, uint64_t& offset) const override;
    int32_t LineNumberFromAddr(uint64_t va, uint64_t& offset) const override;
    std::string SourceNameFromAddr(uint64_t va) const override;
    std::vector<TELInlinedCall> InlinedCallsAt(uint64_t va, bool named) const override;

private:
    struct Symbol {
        uint64_t addr;
        uint64_t size;
        const char* name;
        size_t section;
        // A piece the compiler split off or cloned from a function
        // (".cold", ".part.N", ".constprop.N", ".isra.N"): named after it.
        bool Piece() const { return WithoutPieceSuffix(name).size() != std::strlen(name); }
    };
    struct CodeSection {
        uint64_t start;
        uint64_t end;
        size_t index;
    };
    // One address range of a function defined in a unit.
    struct Function {
        uint64_t start;
        uint64_t end;
        uint64_t entry;
        Dwarf_Off die;
        Dwarf_Off origin; // the function it is an instance of (its abstract origin), else die
        bool cLanguage;   // its unit's names are the linkage names
    };
    struct UnitRange {
        uint64_t start;
        uint64_t end;
        size_t unit;
    };
    struct Unit {
        Dwarf_Die die;
        bool loaded = false;
        bool cLanguage = false; // known once loaded
        TDwarfLineTable lines;
        bool ownLines = false; // lines read by our reader: its files in the order of the unit's file table
        std::vector<Function> functions;
        bool walkedDeeper = false;
    };
    // What is known of a function's names.
    struct Names {
        std::string linkage; // demangled; empty when the function has no linkage name
        std::string plain;   // its name in the source
        std::vector<std::pair<uint64_t, uint64_t>> inlined; // the ranges of code inlined into it
        uint64_t firstLow = 0;      // the start of its first address range
        bool settled = false;       // a name without linkage name, once settled
        std::string settledName;
    };

    bool GivenUp() const { return m_giveUp && m_giveUp->load(); }
    void ReadSymbols();
    void ReadSymbolTable(Elf* elf, Elf_Scn* table);
    void ReadMiniDebugInfo();
    void ReadSections();
    void ReadUnits();
    // Each unit's address ranges from the address-range table, by the
    // offset of the unit's header; false unless the table is there, is
    // well formed and has a set for each unit of `units`.
    bool ReadUnitRangesTable(const std::unordered_map<Dwarf_Off, size_t>& units,
                             std::vector<std::vector<std::pair<uint64_t, uint64_t>>>& ranges) const;
    Unit* UnitOf(uint64_t va) const;
    void LoadUnit(Unit& unit) const;
    // How far a walk for functions goes: the unit's top level; below it
    // (the functions found at the top level are not taken again); inside a
    // namespace or a function.
    enum class Walk { TopLevel, Deeper, InNamespace, InFunction };
    void AddFunctions(Unit& unit, Dwarf_Die* parent, Walk walk) const;
    // The line-table row that holds the address, with its unit.
    struct Place {
        const TDwarfLineRow* row = nullptr;
        const Unit* unit = nullptr;
        const char* File() const
        {
            const std::string* file = row ? unit->lines.FileOf(*row) : nullptr;
            return file ? file->c_str() : nullptr;
        }
    };
    Place RowOf(uint64_t va) const;
    void ReadLines(Unit& unit) const;
    const Function* FunctionOf(uint64_t va) const;
    // Where the function's line offsets count from: its entry, or for a
    // piece split off or cloned from a function, that function's entry.
    uint64_t PlaceOf(const Function& f, uint64_t va) const;
    const Symbol* SymbolOf(uint64_t va) const;
    Names& NamesOf(const Function& f) const;
    std::string FunctionName(const Function& f, uint64_t va) const;
    const std::string& SymbolName(const Symbol& s) const;
    // An inlined call's function name (kept by its declaration's entry).
    const std::string& InlinedName(Dwarf_Die* die, bool cLanguage) const;
    // A declaration's name qualified by the namespaces and classes around it.
    std::string QualifiedName(Dwarf_Die* declaration) const;

    const std::atomic<bool>* m_giveUp;
    int m_fd = -1;
    Elf* m_elf = nullptr;
    // The symbol table of the file's LZMA-compressed mini debug information
    // (".gnu_debugdata"): its bytes and the ELF image read from them.
    std::vector<char> m_miniDebugBytes;
    Elf* m_miniDebugElf = nullptr;
    Dwarf* m_dwarf = nullptr;
    std::string m_fileName;
    std::vector<Symbol> m_symbols;
    std::vector<CodeSection> m_codeSections;
    std::vector<UnitRange> m_unitRanges;
    TDwarfLineSections m_lineSections;
    std::span<const uint8_t> m_arangesSection; // .debug_aranges, when stored as it is
    bool m_ownLineReader = false; // the line sections are there, uncompressed
    mutable std::vector<Unit> m_units;
    mutable std::unordered_map<Dwarf_Off, Names> m_names;
    mutable std::unordered_map<const Symbol*, std::string> m_symbolNames;
    mutable std::unordered_map<Dwarf_Off, std::string> m_inlinedNames;
    // An inlined call's place, and its function's name once asked for, by its entry.
    struct InlinedCall {
        bool named = false;
        TELInlinedCall call;
    };
    mutable std::unordered_map<Dwarf_Off, InlinedCall> m_inlinedCalls;
    // The last path of inlined calls walked, in its function: a lookup asks
    // for the lines at the entries of the calls on its path next, and their
    // walks start where the path still holds the address.
    mutable Dwarf_Off m_lastPathFunction = 0;
    mutable std::vector<Dwarf_Die> m_lastPath;
    mutable std::unordered_map<Dwarf_Off, TSubtrees> m_subtrees;         // by the parent's entry
};

namespace {

// Ranges that a linker left for discarded code start at 0 (or at a tombstone
// near the top of the address space): they cover no code of the file.
bool IsDiscardedRange(uint64_t start, uint64_t end)
{
    return start == 0 || start >= end || start >= UINT64_MAX - 1;
}

// The function a subprogram entry is an instance of: its abstract origin, or itself.
Dwarf_Off OriginOf(Dwarf_Die* die)
{
    Dwarf_Attribute attr;
    Dwarf_Die origin;
    if (dwarf_attr(die, DW_AT_abstract_origin, &attr) && dwarf_formref_die(&attr, &origin))
        return dwarf_dieoffset(&origin);
    return dwarf_dieoffset(die);
}

template <typename T>
const T* GreatestStartNotAbove(const std::vector<T>& entries, uint64_t va, uint64_t T::*key)
{
    auto it = std::upper_bound(entries.begin(), entries.end(), va, [key](uint64_t v, const T& e) { return v < e.*key; });
    return it == entries.begin() ? nullptr : &*(it - 1);
}

} // namespace

TELElfScanner::TELElfScanner(const std::string& fileName, const std::atomic<bool>* giveUp) : m_giveUp(giveUp), m_fileName(fileName)
{
    elf_version(EV_CURRENT);
    m_fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        return;
    m_elf = elf_begin(m_fd, ELF_C_READ_MMAP, nullptr);
    if (!m_elf || elf_kind(m_elf) != ELF_K_ELF)
        return;
    // The file is mapped whole (or read, where it cannot be): its descriptor
    // is not needed any more. Sources are kept for every loaded module, and
    // a descriptor each would take a good part of a small table for good.
    size_t imageSize = 0;
    if (elf_rawfile(m_elf, &imageSize) && elf_cntl(m_elf, ELF_C_FDDONE) == 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    ReadSymbols();
    m_dwarf = dwarf_begin_elf(m_elf, DWARF_C_READ, nullptr);
    if (!m_dwarf)
        return;
    ReadSections();
    ReadUnits();
}

void TELElfScanner::ReadSections()
{
    // The sections the line programs and the units' address ranges are
    // read from, when they are stored as they are.
    size_t names = 0;
    if (elf_getshdrstrndx(m_elf, &names) != 0)
        return;
    bool line = false, compressed = false;
    for (Elf_Scn* scn = elf_nextscn(m_elf, nullptr); scn; scn = elf_nextscn(m_elf, scn)) {
        GElf_Shdr sh;
        const char* name = gelf_getshdr(scn, &sh) ? elf_strptr(m_elf, names, sh.sh_name) : nullptr;
        if (!name)
            continue;
        std::span<const uint8_t>* target = nullptr;
        const std::string_view n(name);
        if (n == ".debug_line")
            target = &m_lineSections.Line;
        else if (n == ".debug_line_str")
            target = &m_lineSections.LineStr;
        else if (n == ".debug_str")
            target = &m_lineSections.Str;
        else if (n == ".debug_aranges")
            target = &m_arangesSection;
        else if (n == ".zdebug_line" || n == ".zdebug_str")
            compressed = true;
        if (!target)
            continue;
        Elf_Data* data = (sh.sh_flags & SHF_COMPRESSED) ? nullptr : elf_rawdata(scn, nullptr);
        if (!data) {
            compressed |= target != &m_arangesSection;
            continue;
        }
        *target = {static_cast<const uint8_t*>(data->d_buf), data->d_size};
        line |= target == &m_lineSections.Line;
    }
    m_ownLineReader = line && !compressed;
}

TELElfScanner::~TELElfScanner()
{
    if (m_dwarf)
        dwarf_end(m_dwarf);
    if (m_miniDebugElf)
        elf_end(m_miniDebugElf);
    if (m_elf)
        elf_end(m_elf);
    if (m_fd >= 0)
        ::close(m_fd);
}

void TELElfScanner::ReadSymbols()
{
    // The full table when the file has one, else the dynamic one and the
    // table of its mini debug information.
    Elf_Scn* table = nullptr;
    for (Elf_Scn* scn = elf_nextscn(m_elf, nullptr); scn; scn = elf_nextscn(m_elf, scn)) {
        GElf_Shdr sh;
        if (!gelf_getshdr(scn, &sh))
            continue;
        if ((sh.sh_flags & SHF_EXECINSTR) && (sh.sh_flags & SHF_ALLOC) && sh.sh_type != SHT_NOBITS)
            m_codeSections.push_back({sh.sh_addr, sh.sh_addr + sh.sh_size, elf_ndxscn(scn)});
        if (sh.sh_type == SHT_SYMTAB)
            table = scn;
        else if (sh.sh_type == SHT_DYNSYM && !table)
            table = scn;
    }
    GElf_Shdr sh;
    const bool full = table && gelf_getshdr(table, &sh) && sh.sh_type == SHT_SYMTAB;
    ReadSymbolTable(m_elf, table);
    if (!full)
        ReadMiniDebugInfo();
    // One symbol per address: the largest, and of equal ones the first in
    // the table (binutils' choice, which the names then agree with).
    std::stable_sort(m_symbols.begin(), m_symbols.end(), [](const Symbol& a, const Symbol& b) {
        return a.addr != b.addr ? a.addr < b.addr : a.size > b.size;
    });
    m_symbols.erase(std::unique(m_symbols.begin(), m_symbols.end(), [](const Symbol& a, const Symbol& b) { return a.addr == b.addr; }),
                    m_symbols.end());
}

// The function symbols of one table; their sections are the main file's
// (a mini debug information file keeps the section numbers of its file).
void TELElfScanner::ReadSymbolTable(Elf* elf, Elf_Scn* table)
{
    GElf_Shdr sh;
    Elf_Data* data = table ? elf_getdata(table, nullptr) : nullptr;
    if (!data || !gelf_getshdr(table, &sh) || sh.sh_entsize == 0)
        return;
    auto inCode = [this](size_t section) {
        return std::any_of(m_codeSections.begin(), m_codeSections.end(), [section](const CodeSection& c) { return c.index == section; });
    };
    const size_t count = std::min<size_t>(sh.sh_size / sh.sh_entsize, data->d_size / sh.sh_entsize);
    for (size_t i = 0; i < count; ++i) {
        GElf_Sym sym;
        if (!gelf_getsym(data, int(i), &sym) || (i % 4096 == 0 && GivenUp()))
            break;
        const int type = GELF_ST_TYPE(sym.st_info);
        if (sym.st_shndx == SHN_UNDEF || sym.st_shndx >= SHN_LORESERVE || sym.st_value == 0)
            continue;
        if (type != STT_FUNC && type != STT_GNU_IFUNC && !(type == STT_NOTYPE && inCode(sym.st_shndx)))
            continue;
        const char* name = elf_strptr(elf, sh.sh_link, sym.st_name);
        if (!name || !*name)
            continue;
        m_symbols.push_back({sym.st_value, sym.st_size, name, sym.st_shndx});
    }
}

namespace {

// Mini debug information is a small ELF file; more than this is no such file.
constexpr size_t kMaxMiniDebugInfo = size_t(64) << 20;

// The xz stream's contents, at most `limit` bytes; false for a damaged
// stream or one that holds more.
bool Unxz(std::span<const uint8_t> packed, size_t limit, std::vector<char>& out)
{
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, limit, 0) != LZMA_OK)
        return false;
    out.assign(std::min(limit, std::max<size_t>(packed.size() * 4, 4096)), '\0');
    stream.next_in = packed.data();
    stream.avail_in = packed.size();
    size_t produced = 0;
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK) {
        if (produced == out.size()) {
            if (out.size() >= limit)
                break;
            out.resize(std::min(limit, out.size() * 2));
        }
        stream.next_out = reinterpret_cast<uint8_t*>(out.data() + produced);
        stream.avail_out = out.size() - produced;
        result = lzma_code(&stream, LZMA_FINISH);
        produced = out.size() - stream.avail_out;
    }
    lzma_end(&stream);
    out.resize(produced);
    return result == LZMA_STREAM_END;
}

} // namespace

void TELElfScanner::ReadMiniDebugInfo()
{
    size_t names = 0;
    if (elf_getshdrstrndx(m_elf, &names) != 0)
        return;
    for (Elf_Scn* scn = elf_nextscn(m_elf, nullptr); scn; scn = elf_nextscn(m_elf, scn)) {
        GElf_Shdr sh;
        const char* name = gelf_getshdr(scn, &sh) ? elf_strptr(m_elf, names, sh.sh_name) : nullptr;
        if (!name || std::string_view(name) != ".gnu_debugdata" || sh.sh_type == SHT_NOBITS)
            continue;
        Elf_Data* data = elf_rawdata(scn, nullptr);
        if (!data || !data->d_buf)
            return;
        if (!Unxz({static_cast<const uint8_t*>(data->d_buf), data->d_size}, kMaxMiniDebugInfo, m_miniDebugBytes))
            return;
        m_miniDebugElf = elf_memory(m_miniDebugBytes.data(), m_miniDebugBytes.size());
        if (!m_miniDebugElf || elf_kind(m_miniDebugElf) != ELF_K_ELF)
            return;
        for (Elf_Scn* t = elf_nextscn(m_miniDebugElf, nullptr); t; t = elf_nextscn(m_miniDebugElf, t)) {
            GElf_Shdr th;
            if (gelf_getshdr(t, &th) && th.sh_type == SHT_SYMTAB)
                ReadSymbolTable(m_miniDebugElf, t);
        }
        return;
    }
}

void TELElfScanner::ReadUnits()
{
    // The units' headers first (reading no entry); then their ranges, from
    // the address-range table when it covers every unit: one read of a small
    // section, where asking each unit's entry for its ranges decodes the
    // unit's abbreviations (a few milliseconds for a large program, in a
    // report that meets the program first). Without such a table, from the
    // units' entries.
    std::vector<Dwarf_Die> dies;
    std::unordered_map<Dwarf_Off, size_t> byHeader;
    Dwarf_CU* cu = nullptr;
    Dwarf_CU* next = nullptr;
    Dwarf_Half version;
    uint8_t unitType;
    Dwarf_Die cudie;
    for (; dwarf_get_units(m_dwarf, cu, &next, &version, &unitType, &cudie, nullptr) == 0 && !GivenUp(); cu = next) {
        if (unitType != DW_UT_compile && unitType != DW_UT_partial)
            continue;
        byHeader.emplace(dwarf_dieoffset(&cudie) - dwarf_cuoffset(&cudie), dies.size());
        dies.push_back(cudie);
    }
    std::vector<std::vector<std::pair<uint64_t, uint64_t>>> ranges(dies.size());
    if (!ReadUnitRangesTable(byHeader, ranges)) {
        for (size_t i = 0; i < dies.size() && !GivenUp(); ++i) {
            ranges[i].clear();
            Dwarf_Addr base, start, end;
            ptrdiff_t off = 0;
            while ((off = dwarf_ranges(&dies[i], off, &base, &start, &end)) > 0)
                ranges[i].emplace_back(start, end);
        }
    }
    for (size_t i = 0; i < dies.size(); ++i) {
        const size_t index = m_units.size();
        bool any = false;
        for (const auto& [start, end] : ranges[i]) {
            if (IsDiscardedRange(start, end))
                continue;
            m_unitRanges.push_back({start, end, index});
            any = true;
        }
        if (any) {
            m_units.emplace_back();
            m_units.back().die = dies[i];
        }
    }
    std::sort(m_unitRanges.begin(), m_unitRanges.end(), [](const UnitRange& a, const UnitRange& b) { return a.start < b.start; });
}

bool TELElfScanner::ReadUnitRangesTable(const std::unordered_map<Dwarf_Off, size_t>& units,
                                        std::vector<std::vector<std::pair<uint64_t, uint64_t>>>& ranges) const
{
    const std::span<const uint8_t> table = m_arangesSection;
    if (table.empty())
        return false;
    std::vector<bool> met(ranges.size());
    size_t metCount = 0;
    TDwarfReader r(table, 0, table.size());
    while (!r.AtEnd()) {
        // A set: its length, version 2, the unit's header offset, the
        // address and segment sizes, then (address, length) pairs aligned
        // to twice the address size from the set's start, up to a (0, 0).
        const uint64_t setStart = r.At();
        uint64_t length = r.Fixed<uint32_t>();
        const bool dwarf64 = length == 0xffffffff;
        if (dwarf64)
            length = r.Fixed<uint64_t>();
        const unsigned offsetSize = dwarf64 ? 8 : 4;
        if (!r.Ok() || length > table.size() - r.At() || length < 2 + offsetSize + 2)
            return false;
        const uint64_t end = r.At() + length;
        TDwarfReader set(table, r.At(), end);
        const uint64_t version = set.Fixed<uint16_t>(), header = set.Sized(offsetSize);
        const uint64_t addressSize = set.Fixed<uint8_t>(), segmentSize = set.Fixed<uint8_t>();
        if (version != 2 || addressSize != 8 || segmentSize != 0)
            return false;
        const auto unit = units.find(Dwarf_Off(header));
        if (unit == units.end() || met[unit->second])
            return false;
        met[unit->second] = true;
        ++metCount;
        set.Seek(setStart + ((set.At() - setStart + 15) & ~uint64_t(15)));
        while (set.At() + 16 <= end) {
            const uint64_t start = set.Fixed<uint64_t>(), size = set.Fixed<uint64_t>();
            if (start == 0 && size == 0)
                break;
            if (size > UINT64_MAX - start)
                return false;
            ranges[unit->second].emplace_back(start, start + size);
        }
        r.Seek(end);
    }
    return metCount == ranges.size();
}

TELElfScanner::Unit* TELElfScanner::UnitOf(uint64_t va) const
{
    const UnitRange* r = GreatestStartNotAbove(m_unitRanges, va, &UnitRange::start);
    if (!r || va >= r->end)
        return nullptr;
    Unit& unit = m_units[r->unit];
    if (!unit.loaded)
        LoadUnit(unit);
    return &unit;
}

void TELElfScanner::LoadUnit(Unit& unit) const
{
    unit.loaded = true;
    const int lang = dwarf_srclang(&unit.die);
    unit.cLanguage = lang == DW_LANG_C89 || lang == DW_LANG_C || lang == DW_LANG_C99 || lang == DW_LANG_C11 || lang == 0x2c /* DW_LANG_C17 */;
    ReadLines(unit);
    AddFunctions(unit, &unit.die, Walk::TopLevel);
    std::sort(unit.functions.begin(), unit.functions.end(), [](const Function& a, const Function& b) { return a.start < b.start; });
}

// The functions defined among the descendants of parent. Compilers put
// most definitions at the unit's top level (GCC all but the members of
// lambdas' and local classes' types, which lie inside their function);
// others in namespaces. The first walk takes the top level; the second, made
// when an address inside a symbol's code finds no function, namespaces and
// the insides of functions (types outside functions hold declarations only).
void TELElfScanner::AddFunctions(Unit& unit, Dwarf_Die* parent, Walk walk) const
{
    Dwarf_Die child;
    if (dwarf_child(parent, &child) != 0)
        return;
    // The walk of the unit's top level also notes where its entries' subtrees
    // lie, which naming an inlined function asks for (a second walk of a
    // large unit's thousands of entries otherwise).
    TSubtrees* topLevel = nullptr;
    if (walk == Walk::TopLevel)
        if (auto [it, fresh] = m_subtrees.try_emplace(dwarf_dieoffset(parent)); fresh)
            topLevel = &it->second;
    for (bool more = true; more;) {
        Dwarf_Die next;
        more = dwarf_siblingof(&child, &next) == 0;
        if (topLevel)
            topLevel->Add(child, more ? &next : nullptr);
        switch (dwarf_tag(&child)) {
        case DW_TAG_subprogram: {
            if (walk != Walk::Deeper) {
                Dwarf_Addr base, start, end, entry = 0;
                ptrdiff_t off = 0;
                bool hasEntry = false;
                while ((off = dwarf_ranges(&child, off, &base, &start, &end)) > 0) {
                    if (IsDiscardedRange(start, end))
                        continue;
                    if (!hasEntry)
                        hasEntry = dwarf_entrypc(&child, &entry) == 0 || (entry = start, true);
                    unit.functions.push_back({start, end, entry, dwarf_dieoffset(&child), OriginOf(&child), unit.cLanguage});
                }
            }
            if (walk != Walk::TopLevel && dwarf_haschildren(&child))
                AddFunctions(unit, &child, Walk::InFunction);
            break;
        }
        case DW_TAG_namespace:
            if (walk == Walk::Deeper || walk == Walk::InNamespace)
                AddFunctions(unit, &child, Walk::InNamespace);
            break;
        case DW_TAG_lexical_block:
        case DW_TAG_structure_type:
        case DW_TAG_class_type:
        case DW_TAG_union_type:
            if (walk == Walk::InFunction)
                AddFunctions(unit, &child, Walk::InFunction);
            break;
        default:
            break;
        }
        child = next;
    }
}

// The unit's line table: read by our own reader where it can, else by libdw's.
void TELElfScanner::ReadLines(Unit& unit) const
{
    Dwarf_Attribute attr;
    Dwarf_Word offset = 0;
    if (m_ownLineReader && dwarf_attr(&unit.die, DW_AT_stmt_list, &attr) && dwarf_formudata(&attr, &offset) == 0) {
        const char* compDir = dwarf_attr(&unit.die, DW_AT_comp_dir, &attr) ? dwarf_formstring(&attr) : nullptr;
        if (DecodeDwarfLineTable(m_lineSections, offset, compDir ? compDir : "", unit.lines)) {
            unit.ownLines = true;
            return;
        }
    }
    Dwarf_Lines* lines = nullptr;
    size_t count = 0;
    if (dwarf_getsrclines(&unit.die, &lines, &count) != 0)
        return;
    // libdw's rows are sorted by address as a whole: one sequence for the lookups.
    std::unordered_map<const char*, uint16_t> files;
    unit.lines.Rows.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        Dwarf_Line* l = dwarf_onesrcline(lines, i);
        Dwarf_Addr addr = 0;
        int lineNo = 0;
        bool end = false;
        if (!l || dwarf_lineaddr(l, &addr) != 0)
            continue;
        dwarf_lineno(l, &lineNo);
        dwarf_lineendsequence(l, &end);
        const char* file = dwarf_linesrc(l, nullptr, nullptr);
        auto [it, fresh] = files.try_emplace(file, uint16_t(std::min<size_t>(unit.lines.Files.size(), 0xFFFF)));
        if (fresh && unit.lines.Files.size() < 0xFFFF)
            unit.lines.Files.emplace_back(file ? file : "");
        unit.lines.Rows.push_back({addr, uint32_t(lineNo), it->second, end});
    }
    if (!unit.lines.Rows.empty())
        unit.lines.Sequences.push_back({unit.lines.Rows.front().Address, 0, uint32_t(unit.lines.Rows.size())});
}

TELElfScanner::Place TELElfScanner::RowOf(uint64_t va) const
{
    const Unit* unit = UnitOf(va);
    if (!unit)
        return {};
    const TDwarfLineRow* row = unit->lines.RowAt(va);
    return row ? Place{row, unit} : Place{};
}

const TELElfScanner::Function* TELElfScanner::FunctionOf(uint64_t va) const
{
    Unit* unit = UnitOf(va);
    if (!unit)
        return nullptr;
    // Nested definitions lie apart from their enclosing function's code: no range holds another.
    auto find = [&]() -> const Function* {
        const Function* f = GreatestStartNotAbove(unit->functions, va, &Function::start);
        return f && va < f->end ? f : nullptr;
    };
    const Function* f = find();
    if (!f && !unit->walkedDeeper) {
        const Symbol* s = SymbolOf(va);
        if (s && va - s->addr < s->size) {
            unit->walkedDeeper = true;
            AddFunctions(*unit, &unit->die, Walk::Deeper);
            std::sort(unit->functions.begin(), unit->functions.end(), [](const Function& a, const Function& b) { return a.start < b.start; });
            f = find();
        }
    }
    return f;
}

const TELElfScanner::Symbol* TELElfScanner::SymbolOf(uint64_t va) const
{
    // The function symbol whose code holds the address: the nearest below it
    // in its section, unless the address lies past that symbol's end. Code
    // there is a function the tables do not name (a library lists only what
    // it exports), not the one before it. A symbol without size reaches to
    // the next.
    const auto section = std::find_if(m_codeSections.begin(), m_codeSections.end(),
                                      [va](const CodeSection& c) { return va >= c.start && va < c.end; });
    if (section == m_codeSections.end())
        return nullptr;
    const Symbol* s = GreatestStartNotAbove(m_symbols, va, &Symbol::addr);
    if (!s || s->section != section->index)
        return nullptr;
    return s->size == 0 || va - s->addr < s->size ? s : nullptr;
}

uint64_t TELElfScanner::PlaceOf(const Function& f, uint64_t va) const
{
    const Symbol* own = SymbolOf(f.start);
    if (!own || !own->Piece())
        return f.entry;
    // The function it was split off or cloned from: an instance of the same
    // function in the unit that is no piece itself.
    const Unit* unit = UnitOf(va);
    if (unit)
        for (const Function& other : unit->functions)
            if (other.origin == f.origin && &other != &f) {
                const Symbol* s = SymbolOf(other.start);
                if (s && !s->Piece())
                    return other.entry;
            }
    return f.entry;
}

namespace {

// The ranges of the code inlined directly into die (inside its lexical blocks too).
void CollectInlined(Dwarf_Die* die, std::vector<std::pair<uint64_t, uint64_t>>& ranges)
{
    Dwarf_Die child;
    if (dwarf_child(die, &child) != 0)
        return;
    do {
        switch (dwarf_tag(&child)) {
        case DW_TAG_inlined_subroutine: {
            Dwarf_Addr base, start, end;
            ptrdiff_t off = 0;
            while ((off = dwarf_ranges(&child, off, &base, &start, &end)) > 0)
                ranges.emplace_back(start, end);
            break;
        }
        case DW_TAG_lexical_block:
        case DW_TAG_try_block:
        case DW_TAG_catch_block:
            CollectInlined(&child, ranges);
            break;
        default:
            break;
        }
    } while (dwarf_siblingof(&child, &child) == 0);
}

const char* StringAttribute(Dwarf_Die* die, unsigned name)
{
    Dwarf_Attribute attr;
    return dwarf_attr_integrate(die, name, &attr) ? dwarf_formstring(&attr) : nullptr;
}

// The entry that declares the function an inlined call is an instance of:
// its abstract origin, and the declaration that one completes.
Dwarf_Die DeclarationOf(Dwarf_Die* die)
{
    Dwarf_Die origin = *die, next;
    Dwarf_Attribute attr;
    for (int hops = 0; hops < 4; ++hops) {
        if (dwarf_attr(&origin, DW_AT_abstract_origin, &attr) && dwarf_formref_die(&attr, &next))
            origin = next;
        else if (dwarf_attr(&origin, DW_AT_specification, &attr) && dwarf_formref_die(&attr, &next))
            origin = next;
        else
            break;
    }
    return origin;
}

// Where an inlined call stands and where its code starts. The call's file
// is named from `files`, the unit's file table in its own order, when the
// unit's lines were read by our reader; else libdw's reading of the unit's
// files, which decodes the unit's whole line program again (most of a
// report's first look-up in a large unit).
TELInlinedCall PlaceOfInlinedCall(Dwarf_Die* die, const std::vector<std::string>* files)
{
    TELInlinedCall call;
    Dwarf_Addr entry = 0, base, start, end;
    if (dwarf_entrypc(die, &entry) == 0)
        call.Entry = entry;
    else if (dwarf_ranges(die, 0, &base, &start, &end) > 0)
        call.Entry = start;
    Dwarf_Attribute attr;
    Dwarf_Word value = 0;
    if (dwarf_attr(die, DW_AT_call_line, &attr) && dwarf_formudata(&attr, &value) == 0)
        call.CallLine = int32_t(value);
    if (!dwarf_attr(die, DW_AT_call_file, &attr) || dwarf_formudata(&attr, &value) != 0)
        return call;
    if (files) {
        if (value < files->size())
            call.CallSourceName = (*files)[size_t(value)];
        return call;
    }
    Dwarf_Die cu;
    Dwarf_Files* table = nullptr;
    size_t count = 0;
    if (dwarf_diecu(die, &cu, nullptr, nullptr) && dwarf_getsrcfiles(&cu, &table, &count) == 0 && value < count)
        if (const char* file = dwarf_filesrc(table, value, nullptr, nullptr))
            call.CallSourceName = file;
    return call;
}

} // namespace

std::vector<TELInlinedCall> TELElfScanner::InlinedCallsAt(uint64_t va, bool named) const
{
    std::vector<TELInlinedCall> calls;
    const Function* f = FunctionOf(va);
    Dwarf_Die die;
    if (!f)
        return calls;
    const Unit* unit = UnitOf(va); // the unit of the function and of every call inlined into it
    const std::vector<std::string>* files = unit && unit->ownLines ? &unit->lines.Files : nullptr;
    std::vector<Dwarf_Die>& path = m_lastPath;
    if (m_lastPathFunction != f->die) {
        m_lastPathFunction = 0;
        path.clear();
    }
    // The calls of the last path that hold va hold it here too.
    std::size_t kept = 0;
    while (kept < path.size() && dwarf_haspc(&path[kept], va) == 1)
        ++kept;
    path.resize(kept);
    if (!path.empty())
        InlinedPath(&path.back(), va, path);
    else if (dwarf_offdie(m_dwarf, f->die, &die))
        InlinedPath(&die, va, path);
    else
        return calls;
    m_lastPathFunction = f->die;
    // From the innermost call out to the function.
    for (auto at = path.rbegin(); at != path.rend(); ++at) {
        auto [it, fresh] = m_inlinedCalls.try_emplace(dwarf_dieoffset(&*at));
        InlinedCall& known = it->second;
        if (fresh)
            known.call = PlaceOfInlinedCall(&*at, files);
        if (named && !known.named) {
            known.call.ProcedureName = InlinedName(&*at, f->cLanguage);
            known.named = true;
        }
        calls.push_back(known.call);
    }
    return calls;
}

// The way the functions of the unit are named: by the linkage name where it
// has one, else by its name in the source, qualified as a debugger does.
const std::string& TELElfScanner::InlinedName(Dwarf_Die* die, bool cLanguage) const
{
    Dwarf_Die declaration = DeclarationOf(die);
    auto [it, fresh] = m_inlinedNames.try_emplace(dwarf_dieoffset(&declaration));
    if (!fresh)
        return it->second;
    const char* linkage = StringAttribute(die, DW_AT_linkage_name);
    if (!linkage)
        linkage = StringAttribute(die, DW_AT_MIPS_linkage_name);
    const char* plain = StringAttribute(die, DW_AT_name);
    it->second = cLanguage ? std::string(plain ? plain : "") : linkage ? DemangledName(linkage) : QualifiedName(&declaration);
    return it->second;
}

std::string TELElfScanner::QualifiedName(Dwarf_Die* declaration) const
{
    const char* plain = dwarf_diename(declaration);
    std::string name = plain ? plain : "";
    Dwarf_Die at;
    if (!dwarf_diecu(declaration, &at, nullptr, nullptr))
        return name;
    // The entries that hold the declaration, from its unit down.
    const Dwarf_Off target = dwarf_dieoffset(declaration);
    std::vector<Dwarf_Die> path;
    for (int depth = 0; depth < 64; ++depth) {
        auto [it, fresh] = m_subtrees.try_emplace(dwarf_dieoffset(&at), &at);
        const Dwarf_Die* holding = it->second.Holding(target);
        if (!holding)
            break;
        at = *holding;
        path.push_back(at);
    }
    for (auto scope = path.rbegin(); scope != path.rend(); ++scope) {
        const int tag = dwarf_tag(&*scope);
        if (tag != DW_TAG_namespace && tag != DW_TAG_class_type && tag != DW_TAG_structure_type && tag != DW_TAG_union_type)
            continue;
        // A type without a name (a lambda's) adds nothing, as in a debugger.
        if (const char* scopeName = dwarf_diename(&*scope))
            name = std::string(scopeName) + "::" + name;
        else if (tag == DW_TAG_namespace)
            name = "(anonymous namespace)::" + name;
    }
    return name;
}

TELElfScanner::Names& TELElfScanner::NamesOf(const Function& f) const
{
    auto [it, fresh] = m_names.try_emplace(f.die);
    Dwarf_Die die;
    if (!fresh || !dwarf_offdie(m_dwarf, f.die, &die))
        return it->second;
    Names& n = it->second;
    const char* plain = StringAttribute(&die, DW_AT_name);
    n.plain = plain ? plain : "";
    const char* linkage = StringAttribute(&die, DW_AT_linkage_name);
    if (!linkage)
        linkage = StringAttribute(&die, DW_AT_MIPS_linkage_name);
    if (linkage)
        n.linkage = DemangledName(linkage);
    else if (f.cLanguage)
        n.linkage = n.plain;
    if (n.linkage.empty())
        CollectInlined(&die, n.inlined);
    Dwarf_Addr base, start, end;
    n.firstLow = dwarf_ranges(&die, 0, &base, &start, &end) > 0 ? start : f.start;
    return n;
}

// A function is named the way binutils' tools name it. One with a linkage
// name (in its own entry, or in the declaration or abstract instance it
// points at) by that name. One without (functions of anonymous namespaces,
// lambdas, some template instances) by the symbol at the address, which also
// tells clones and cold parts apart; but where code was inlined into it, by
// its name in the source. The first address met outside inlined code then
// settles its name: the symbol's when the symbol starts where the function
// does, else the name in the source.
std::string TELElfScanner::FunctionName(const Function& f, uint64_t va) const
{
    Names& n = NamesOf(f);
    if (!n.linkage.empty())
        return n.linkage;
    if (n.settled)
        return n.settledName;
    if (std::any_of(n.inlined.begin(), n.inlined.end(), [va](const auto& r) { return va >= r.first && va < r.second; }))
        return n.plain;
    const Symbol* s = SymbolOf(va);
    const std::string name = s ? SymbolName(*s) : n.plain;
    n.settled = true;
    n.settledName = s && s->addr == n.firstLow ? name : n.plain;
    return name;
}

const std::string& TELElfScanner::SymbolName(const Symbol& s) const
{
    auto [it, fresh] = m_symbolNames.try_emplace(&s);
    if (fresh)
        it->second = DemangledName(std::string(WithoutPieceSuffix(s.name)).c_str());
    return it->second;
}

std::string TELElfScanner::ModuleNameFromAddr(uint64_t va) const
{
    if (const char* file = RowOf(va).File())
        return ExtractFileName(file);
    if (FunctionOf(va) || SymbolOf(va))
        return ExtractFileName(m_fileName);
    return {};
}

std::string TELElfScanner::ProcNameFromAddr(uint64_t va, uint64_t& offset) const
{
    offset = 0;
    if (const Function* f = FunctionOf(va)) {
        std::string name = FunctionName(*f, va);
        if (!name.empty()) {
            // Below its place for the code of a function that lies before
            // its entry (a cold part): the offset wraps and still leads back.
            offset = va - PlaceOf(*f, va);
            return name;
        }
    }
    if (const Symbol* s = SymbolOf(va)) {
        offset = va - s->addr;
        return SymbolName(*s);
    }
    return {};
}

int32_t TELElfScanner::LineNumberFromAddr(uint64_t va, uint64_t& offset) const
{
    offset = 0;
    const Place p = RowOf(va);
    if (!p.row)
        return 0;
    offset = va - p.row->Address;
    return int32_t(p.row->Line);
}

std::string TELElfScanner::SourceNameFromAddr(uint64_t va) const
{
    const char* file = RowOf(va).File();
    return file ? std::string(file) : std::string();
}

// --- the source ---

TELDebugInfoElf::TELDebugInfoElf(uintptr_t module, const std::string& moduleFileName)
    : TELDebugInfoSource(module, moduleFileName)
{
}

TELDebugInfoElf::~TELDebugInfoElf() = default;

bool TELDebugInfoElf::LoadSourceData()
{
    if (FModuleFileName.empty())
        return false;
    const auto load = ElfLoadAddress(FModuleFileName);
    if (!load)
        return false;
    FLoadAddress = *load;
    auto scanner = std::make_unique<TELElfScanner>(FModuleFileName, FGiveUp);
    if (!scanner->Valid())
        return false;
    FScanner = std::move(scanner);
    return true;
}

bool TELDebugInfoElf::ValidData() const
{
    return FScanner != nullptr;
}

bool TELDebugInfoElf::GetLocationInfo(uintptr_t addr, TELLocationInfo& info)
{
    return FScanner && LocationFromScanner(*FScanner, addr, info);
}

} // namespace cv
