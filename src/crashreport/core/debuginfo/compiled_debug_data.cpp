#include "crashreport/core/debuginfo/compiled_debug_data.h"

#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/debuginfo/elf_debug_data.h"
#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/disasm/instruction_length.h"
#include "crashreport/core/options/options_stream.h"
#include "crashreport/core/support/crashbox_codecs.h"
#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/internal_error_hooks.h"
#include "crashreport/core/support/jump_thunks.h"
#include "crashreport/core/support/crashbox_zip.h"
#include "crashreport/core/support/exception_object.h"
#include "crashreport/core/support/module_handles.h"
#include "suite/cv_endian.h"

#include <QObject>

#include <dlfcn.h>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace cv {

namespace {

// Head of the container.
constexpr size_t kHeadSize = 20;
constexpr size_t kSymbolSize = 9;
constexpr uint8_t kFlagDebugInformation = 1;
constexpr uint8_t kFlagNamesEnciphered = 2;
constexpr uint8_t kCompressionZlib = 1;
// Code starts this far into a module; the relative addresses count from there.
constexpr uintptr_t kCodeStart = 0x1000;
// Names of data versions before 500 have each byte XOR-ed with this.
constexpr uint8_t kOldNameMask = 0x3C;

std::vector<uint8_t> Compressed(std::span<const uint8_t> bytes)
{
    uLongf size = compressBound(uLong(bytes.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, bytes.data(), uLong(bytes.size()), 9) != Z_OK)
        return {};
    out.resize(size);
    return out;
}

// A stored block: its length, then its zlib stream.
bool ReadBlock(std::span<const uint8_t> bytes, size_t& at, std::vector<uint8_t>& out)
{
    if (bytes.size() - at < 4)
        return false;
    const uint32_t length = endian::loadLE<uint32_t>(bytes.data() + at);
    at += 4;
    if (length > bytes.size() - at)
        return false;
    out.clear();
    if (length > 0) {
        try {
            out = DecompressBuf(bytes.subspan(at, length));
        } catch (const EZLibError&) {
            return false;
        }
    }
    at += length;
    return true;
}

void PutBlock(std::vector<uint8_t>& out, std::span<const uint8_t> block)
{
    const std::vector<uint8_t> packed = block.empty() ? std::vector<uint8_t>() : Compressed(block);
    uint8_t length[4];
    endian::storeLE(length, uint32_t(packed.size()));
    out.insert(out.end(), length, length + 4);
    out.insert(out.end(), packed.begin(), packed.end());
}

template <typename T>
void Put(std::vector<uint8_t>& out, T value)
{
    uint8_t bytes[sizeof(T)];
    endian::storeLE(bytes, value);
    out.insert(out.end(), bytes, bytes + sizeof(T));
}

} // namespace

// --- the container ---

std::array<uint8_t, 16> ELDataPasswordCheck(const std::string& password)
{
    const TMD5Digest once = MD5String(password);
    return MD5Buffer(once);
}

std::vector<uint8_t> WriteELData(const TELDataContents& c)
{
    std::vector<uint8_t> out;
    Put<uint32_t>(out, kELDataMark);
    Put<uint16_t>(out, c.Version);
    Put<int64_t>(out, c.CompilationTime);
    Put<uint8_t>(out, uint8_t((c.HasDebugInformation ? kFlagDebugInformation : 0) | (c.NamesEnciphered ? kFlagNamesEnciphered : 0)));
    Put<uint8_t>(out, kCompressionZlib);
    Put<uint32_t>(out, uint32_t(c.Symbols.size() * kSymbolSize));
    for (const TELDataSymbol& s : c.Symbols) {
        Put<uint8_t>(out, s.ID);
        Put<uint32_t>(out, s.RelativeAddress);
        Put<uint32_t>(out, s.Value);
    }
    out.insert(out.end(), c.PasswordCheck.begin(), c.PasswordCheck.end());
    PutBlock(out, c.Options);
    PutBlock(out, c.HasDebugInformation ? std::span<const uint8_t>(c.DebugInformation) : std::span<const uint8_t>());
    return out;
}

bool ReadELData(std::span<const uint8_t> bytes, TELDataContents& c)
{
    c = {};
    if (bytes.size() < kHeadSize)
        return false;
    const uint32_t mark = endian::loadLE<uint32_t>(bytes.data());
    if (mark != kELDataMark && mark != kELDataOldMark)
        return false;
    c.Version = uint16_t(NormalisedDataVersion(endian::loadLE<uint16_t>(bytes.data() + 4)));
    c.CompilationTime = endian::loadLE<int64_t>(bytes.data() + 6);
    const uint8_t flags = bytes[14];
    if (bytes[15] != kCompressionZlib)
        return false;
    const uint32_t tableLength = endian::loadLE<uint32_t>(bytes.data() + 16);
    if (tableLength % kSymbolSize != 0 || tableLength > bytes.size() - kHeadSize)
        return false;
    for (size_t at = kHeadSize; at < kHeadSize + tableLength; at += kSymbolSize)
        c.Symbols.push_back({bytes[at], endian::loadLE<uint32_t>(bytes.data() + at + 1), endian::loadLE<uint32_t>(bytes.data() + at + 5)});
    size_t at = kHeadSize + tableLength;
    if (bytes.size() - at < c.PasswordCheck.size())
        return false;
    std::copy_n(bytes.begin() + ptrdiff_t(at), c.PasswordCheck.size(), c.PasswordCheck.begin());
    at += c.PasswordCheck.size();
    c.HasDebugInformation = flags & kFlagDebugInformation;
    c.NamesEnciphered = flags & kFlagNamesEnciphered;
    return ReadBlock(bytes, at, c.Options) && ReadBlock(bytes, at, c.DebugInformation);
}

bool LoadCompiledInData(const std::string& moduleFileName, TCrashboxModuleInfo& module)
{
    std::vector<uint8_t> section;
    TELDataContents c;
    if (!ReadElfSection(moduleFileName, kELDataSection, section) || !ReadELData(section, c))
        return false;
    TCrashboxExtraInformation& extra = module.ExtraInformation;
    extra.CrashboxVersion = c.Version;
    extra.CompilationDate = QDateTime::fromSecsSinceEpoch(c.CompilationTime).toLocalTime();
    auto options = std::make_unique<TCrashboxModuleOptions>(module.Name);
    TMemoryStream optionsStream(std::move(c.Options));
    if (optionsStream.Size() > 0 && options->LoadFromStreamOfVersion(optionsStream, c.Version))
        extra.Options = std::move(options);
    extra.DebugInformation = c.HasDebugInformation ? std::make_unique<TMemoryStream>(std::move(c.DebugInformation)) : nullptr;
    if (c.NamesEnciphered)
        module.IsValidEncryptPassword = ELDataPasswordCheck(module.EncryptPassword) == c.PasswordCheck;
    return true;
}

bool ReadExportedFunctions(const std::string& moduleFileName, uintptr_t moduleHandle, TCrashboxFunctionsList& functions)
{
    const auto load = ElfLoadAddress(moduleFileName);
    if (!load)
        return false;
    std::vector<std::unique_ptr<TCrashboxFunctionInfo>> found;
    ForEachDynamicSymbol(moduleFileName, [&](const TElfDynamicSymbol& sym) {
        if ((sym.Type == STT_FUNC || sym.Type == STT_GNU_IFUNC) && sym.Defined) {
            auto f = std::make_unique<TCrashboxFunctionInfo>();
            f->Name = std::string(sym.Name);
            f->Addr = moduleHandle + uintptr_t(sym.Value - *load);
            f->Size = sym.Size;
            found.push_back(std::move(f));
        }
        return true;
    });
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a->Addr < b->Addr; });
    functions.Clear();
    for (auto& f : found)
        functions.Add(std::move(f));
    return !found.empty();
}

// --- the debug-data stream ---

namespace {

struct UnitHeader {
    std::string name;
    uint32_t firstLine = 0;
    uint32_t start = 0;
    uint32_t size = 0;
    uint32_t dataLength = 0;
    int64_t dataStart = 0;

    bool Covers(uint64_t rel) const { return rel >= start && rel - start < size; }
};

struct Procedure {
    std::string className, name;
    int64_t firstLine = 0;
    uint64_t start = 0;
    bool hasStart = false;
};

class DebugStreamReader {
public:
    DebugStreamReader(TMemoryStream& stream, const TCrashboxModuleInfo& module)
        : m_stream(stream), m_module(module), m_version(module.ExtraInformation.CrashboxVersion)
    {
    }

    uint16_t Version() const { return m_version; }
    int64_t Position() const { return m_stream.Position(); }

    // A name: a length byte and its bytes (longer ones continue with a further name).
    bool Name(std::string& name, int depth = 0)
    {
        uint8_t length;
        if (!m_stream.ReadU8(length))
            return false;
        const bool continued = m_version >= 502 && length >= 128;
        std::string raw(length % (continued ? 128 : 256), '\0');
        if (!m_stream.ReadExact(raw.data(), int64_t(raw.size())))
            return false;
        name = Plain(std::move(raw));
        if (continued && depth < 8) {
            std::string rest;
            if (!Name(rest, depth + 1))
                return false;
            name += "." + rest;
        }
        return true;
    }

    bool UnitName(std::string& name)
    {
        if (!Name(name))
            return false;
        if (!m_module.IsValidEncryptPassword)
            name.insert(std::min<size_t>(1, name.size()), "p");
        else if (name.find('.') == std::string::npos)
            name += ".pas";
        return true;
    }

    bool Header(UnitHeader& h)
    {
        if (!UnitName(h.name) || !m_stream.ReadU32(h.firstLine) || !m_stream.ReadU32(h.start) || !m_stream.ReadU32(h.size)
            || !m_stream.ReadU32(h.dataLength))
            return false;
        h.dataStart = m_stream.Position();
        return h.dataLength <= m_stream.Size() - h.dataStart;
    }

    // One record: the line and address steps and whether a procedure starts.
    bool Record(int64_t& lineDelta, uint64_t& addressDelta, bool& newProcedure)
    {
        uint8_t b;
        if (!m_stream.ReadU8(b))
            return false;
        uint32_t line = 0;
        if (!(b & 1)) {
            newProcedure = false;
            line = (b >> 6) + 1;
            addressDelta = ((b >> 1) & 31) + 1;
        } else if (!(b & 2)) {
            newProcedure = true;
            line = (b >> 5) + 1;
            addressDelta = ((b >> 2) & 7) + 1;
        } else {
            newProcedure = b & 4;
            if (!(b & 8)) {
                uint8_t high;
                if (!m_stream.ReadU8(high))
                    return false;
                const uint16_t w = uint16_t(b | (high << 8));
                line = (w >> 11) + 1;
                addressDelta = ((w >> 4) & 127) + 1;
            } else {
                uint8_t rest[3];
                if (!m_stream.ReadExact(rest, 3))
                    return false;
                const uint32_t d = uint32_t(b) | uint32_t(rest[0]) << 8 | uint32_t(rest[1]) << 16 | uint32_t(rest[2]) << 24;
                const uint32_t e = d >> 4;
                if (e == 0x0FFEFFFE && m_version >= 423) {
                    uint16_t first, second;
                    if (!m_stream.ReadU16(first) || !m_stream.ReadU16(second))
                        return false;
                    line = uint32_t(first) + 1;
                    addressDelta = uint64_t(second) + 1;
                } else {
                    line = (e & 0xFFFF) + 1;
                    const uint32_t field = e >> 16;
                    addressDelta = field == 0xFFF ? 0 : field + 1;
                }
            }
        }
        // Line steps are signed 16-bit values: the long forms step backwards too.
        lineDelta = int16_t(uint16_t(line));
        return true;
    }

private:
    // A name's bytes as text: unmasked (old data), deciphered, or shown as Base64 without the password.
    std::string Plain(std::string raw)
    {
        if (m_version < 500) {
            for (char& c : raw)
                c = char(uint8_t(c) ^ kOldNameMask);
            return raw;
        }
        if (raw.empty())
            return raw;
        if (!m_module.IsValidEncryptPassword)
            return "?" + Base64EncodeStr(raw);
        if (!m_cipher || m_password != m_module.EncryptPassword) {
            m_password = m_module.EncryptPassword;
            m_cipher = std::make_unique<TTEACipher>(m_password);
        }
        std::span<uint8_t> bytes(reinterpret_cast<uint8_t*>(raw.data()), raw.size());
        m_cipher->TEADecryptBuffer(bytes, bytes);
        return raw;
    }

    TMemoryStream& m_stream;
    const TCrashboxModuleInfo& m_module;
    uint16_t m_version;
    std::unique_ptr<TTEACipher> m_cipher;
    std::string m_password;
};

std::string Truncated(std::string s)
{
    if (s.size() > 255)
        s.resize(255);
    return s;
}

std::vector<std::string>& UnitFileNames()
{
    static std::vector<std::string> names;
    return names;
}

std::mutex& UnitFileNamesLock()
{
    static std::mutex m;
    return m;
}

bool IsLibraryUnit(const std::string& unit)
{
    std::lock_guard lock(UnitFileNamesLock());
    const auto& names = UnitFileNames();
    return std::binary_search(names.begin(), names.end(), unit);
}

// The first line of a procedure for its line offsets: one less when its
// code does not open a frame of its own (the entry then lies on the line
// before the body's first).
int64_t ProcedureFirstLine(const Procedure& p, uintptr_t codeStart)
{
    if (p.name == "Finalization")
        return p.firstLine - 1;
    if (p.name == "Initialization")
        return p.firstLine;
    const auto* code = reinterpret_cast<const void*>(codeStart + p.start);
    return IsStackFramePrologueAt(code) || IsPushEbxAt(code) ? p.firstLine : p.firstLine - 1;
}

void SplitProcedureName(const std::string& raw, const std::string& previousClass, Procedure& p)
{
    const auto dot = raw.find('.');
    if (dot == 0) {
        p.className = previousClass;
        p.name = raw.substr(1);
    } else if (dot == std::string::npos) {
        p.className.clear();
        p.name = raw;
    } else {
        p.className = raw.substr(0, dot);
        p.name = raw.substr(dot + 1);
    }
    if (!p.name.empty() && p.name[0] == '@')
        p.name[0] = '_';
}

} // namespace

namespace {

// The first procedure announced from the reader's place on (for the
// ranges before a unit's first procedure, which are credited to it).
Procedure FirstProcedureAfter(DebugStreamReader& reader, int64_t dataEnd, int64_t line, uint64_t address)
{
    Procedure p;
    while (reader.Position() < dataEnd) {
        int64_t lineDelta = 0;
        uint64_t addressDelta = 0;
        bool newProcedure = false;
        if (!reader.Record(lineDelta, addressDelta, newProcedure))
            break;
        line += lineDelta;
        address += addressDelta;
        if (newProcedure) {
            std::string raw;
            if (reader.Name(raw)) {
                SplitProcedureName(raw, {}, p);
                p.firstLine = line;
                p.start = address;
                p.hasStart = true;
            }
            break;
        }
    }
    return p;
}

} // namespace

bool LookUpCompiledInData(uintptr_t Addr, TCrashboxDebugInfo& info)
{
    const TCrashboxModuleInfo* module = info.ModuleInfo;
    if (!module || !module->ExtraInformation.DebugInformation)
        return false;
    TMemoryStream& stream = *module->ExtraInformation.DebugInformation;
    DebugStreamReader reader(stream, *module);
    const uintptr_t codeStart = module->Handle + kCodeStart;
    if (Addr < codeStart)
        return false;
    const uint64_t rel = Addr - codeStart;

    stream.SetPosition(0);
    if (reader.Version() >= 405 && reader.Version() < 500) {
        uint32_t skip;
        if (!stream.ReadU32(skip) || !stream.Skip(skip))
            return false;
    }
    uint32_t unitCount;
    if (!stream.ReadU32(unitCount))
        return false;
    for (uint32_t u = 0; u < unitCount; ++u) {
        UnitHeader unit;
        if (!reader.Header(unit))
            return false;
        const int64_t next = unit.dataStart + unit.dataLength;
        if (!unit.Covers(rel)) {
            stream.SetPosition(next);
            continue;
        }
        // A later unit that starts inside this one and covers the address too is the one.
        int64_t after = next;
        for (uint32_t k = u + 1; k < unitCount; ++k) {
            stream.SetPosition(after);
            UnitHeader later;
            if (!reader.Header(later) || uint64_t(later.start) >= uint64_t(unit.start) + unit.size)
                break;
            if (later.Covers(rel))
                unit = later;
            after = later.dataStart + later.dataLength;
        }
        stream.SetPosition(unit.dataStart);

        // The records: each closes the range from the address reached to its new address - 1.
        const int64_t dataEnd = unit.dataStart + unit.dataLength;
        int64_t line = unit.firstLine;
        uint64_t address = unit.start;
        Procedure current;
        bool haveCurrent = false;
        bool found = false;
        int64_t foundLine = 0;
        Procedure foundProcedure;
        while (stream.Position() < dataEnd) {
            int64_t lineDelta = 0;
            uint64_t addressDelta = 0;
            bool newProcedure = false;
            if (!reader.Record(lineDelta, addressDelta, newProcedure))
                break;
            Procedure announced;
            if (newProcedure) {
                std::string raw;
                if (!reader.Name(raw))
                    break;
                SplitProcedureName(raw, current.className, announced);
                announced.firstLine = line + lineDelta;
                announced.start = address + addressDelta;
                announced.hasStart = true;
                if (!haveCurrent) {
                    // The first procedure of a unit also has the range before its start.
                    current = announced;
                    haveCurrent = true;
                }
            }
            if (addressDelta > 0 && rel >= address && rel - address < addressDelta) {
                found = true;
                foundLine = line;
                foundProcedure = haveCurrent ? current : FirstProcedureAfter(reader, dataEnd, line + lineDelta, address + addressDelta);
                break;
            }
            if (address > rel)
                break;
            line += lineDelta;
            address += addressDelta;
            if (newProcedure)
                current = announced;
        }
        // The last range runs to the unit's last address.
        if (!found && stream.Position() >= dataEnd && rel >= address && rel - unit.start < unit.size) {
            found = true;
            foundLine = line;
            foundProcedure = current;
        }
        if (!found) {
            stream.SetPosition(next);
            continue;
        }
        info.DebugDetail = TCrashboxDebugDetail::ddSourceCode;
        info.Addr = Addr;
        if (IsLibraryUnit(unit.name) && !InternalErrorRunning()) {
            info.DebugDetail = TCrashboxDebugDetail::ddModule;
            info.UnitName.clear();
            info.ClassName.clear();
            info.ProcedureName.clear();
            info.Line = 0;
            info.ProcOffsetLine = 0;
            return true;
        }
        info.UnitName = Truncated(unit.name);
        info.ClassName = Truncated(foundProcedure.className);
        info.ProcedureName = Truncated(foundProcedure.name);
        info.Line = uint32_t(foundLine);
        const int64_t offset = foundProcedure.hasStart ? foundLine - ProcedureFirstLine(foundProcedure, codeStart) : 0;
        info.ProcOffsetLine = offset > 0 ? uint32_t(offset) : 0;
        return true;
    }
    return false;
}

// --- the external source and the exported functions ---

namespace {

std::string WithoutExtension(const std::string& name)
{
    return name.substr(0, name.size() - ExtractFileExt(name).size());
}

bool SameText(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

void DeleteSource(TELDebugInfoSource* source)
{
    std::default_delete<TELDebugInfoSource>()(source);
}

} // namespace

namespace {

// An entry's names, line and detail from a source's answer.
void TakeLocation(const TELLocationInfo& location, bool dotted, TCrashboxDebugInfo& info)
{
    info.Addr = location.Address;
    info.UnitName = Truncated(ExtractFileName(location.SourceName.empty() ? location.UnitName : location.SourceName));
    // Up to two "." split class and procedure off a dotted name.
    const std::string& name = location.ProcedureName;
    const auto first = dotted ? name.find('.') : std::string::npos;
    const auto second = first == std::string::npos ? std::string::npos : name.find('.', first + 1);
    std::string className, procedure;
    if (first == std::string::npos) {
        procedure = name;
    } else if (second == std::string::npos) {
        procedure = name.substr(first + 1);
        className = name.substr(0, first);
        if (SameText(className, WithoutExtension(info.UnitName)))
            className.clear();
    } else {
        className = name.substr(first + 1, second - first - 1);
        procedure = name.substr(second + 1);
    }
    if (!procedure.empty() && procedure[0] == '@')
        procedure[0] = '_';
    info.ClassName = Truncated(className);
    info.ProcedureName = Truncated(procedure);
    info.Line = uint32_t(location.LineNumber);
    info.ProcOffsetLine = uint32_t(location.ProcOffsetLine);
    if (info.Line != 0)
        info.DebugDetail = TCrashboxDebugDetail::ddSourceCode;
    else if (!info.UnitName.empty())
        info.DebugDetail = TCrashboxDebugDetail::ddUnitAndProcedure;
    else if (!info.ProcedureName.empty())
        info.DebugDetail = TCrashboxDebugDetail::ddProcedure;
    else
        info.DebugDetail = TCrashboxDebugDetail::ddModule;
}

} // namespace

bool LookUpOtherDebugData(uintptr_t Addr, TCrashboxDebugInfo& info, std::vector<TCrashboxDebugInfo>* inlinedInto)
{
    TCrashboxModuleInfo* module = info.ModuleInfo;
    if (!module)
        return false;
    // A module without debug data of its own gets its source on first need
    // (also when its compiled-in data holds only options).
    if (!module->OtherDebugData && !module->ExtraInformation.DebugInformation) {
        std::unique_ptr<TELDebugInfoSource> source;
        if (FindDebugInfoSource(module->Handle, source, module->Name))
            module->OtherDebugData = TDebugInfoSourceOwner(source.release(), &DeleteSource);
    }
    TELLocationInfo location;
    if (!module->OtherDebugData || !module->OtherDebugData->GetLocationInfo(Addr, location) || location.ProcedureName.empty())
        return false;
    const bool dotted = module->OtherDebugData->DottedNames();
    TakeLocation(location, dotted, info);
    if (inlinedInto)
        for (const TELLocationInfo& caller : location.InlinedInto) {
            TCrashboxDebugInfo& entry = inlinedInto->emplace_back();
            entry.ModuleInfo = info.ModuleInfo;
            entry.ThreadID = info.ThreadID;
            entry.RunningThread = info.RunningThread;
            TakeLocation(caller, dotted, entry);
        }
    return true;
}

bool ParsePublicName(const std::string& exported, TCrashboxDebugInfo& info)
{
    if (exported.empty())
        return false;
    std::string name = exported;
    if (name[0] != '@') {
        if (name.find('.') == std::string::npos) {
            if (name[0] == '?')
                return false;
            info.DebugDetail = TCrashboxDebugDetail::ddProcedure;
            info.UnitName.clear();
            info.ClassName.clear();
            info.ProcedureName = Truncated(name);
            return true;
        }
        const auto at = name.find('@');
        if (at != std::string::npos)
            name.erase(at);
    } else {
        // A mangled name: "@Unit@Class@Proc$qqrv" and the like.
        const auto dollar = name.find('$');
        if (name.size() == 1 || name[1] == '$' || dollar == std::string::npos)
            return false;
        name.erase(dollar);
        if (!name.empty() && name.back() == '@')
            name.pop_back();
        name.erase(0, 1);
        const auto doubleAt = name.find("@@");
        if (doubleAt != std::string::npos)
            name[doubleAt + 1] = '_';
        for (size_t i = 0; i < name.size(); ++i)
            if (name[i] == '@') {
                name[i] = '.';
                ++i; // the character after a replaced "@" is not examined
            }
    }
    std::vector<std::string> parts;
    size_t from = 0;
    for (;;) {
        const auto dot = name.find('.', from);
        parts.push_back(name.substr(from, dot == std::string::npos ? std::string::npos : dot - from));
        if (dot == std::string::npos)
            break;
        from = dot + 1;
    }
    if (parts.size() != 2 && parts.size() != 3)
        return false;
    info.UnitName = Truncated(parts[0] + ".pas");
    info.ClassName = parts.size() == 3 ? Truncated(parts[1]) : std::string();
    std::string procedure = parts.back();
    if (!procedure.empty() && procedure[0] == '@')
        procedure[0] = '_';
    info.ProcedureName = Truncated(procedure);
    info.DebugDetail = TCrashboxDebugDetail::ddUnitAndProcedure;
    return true;
}

namespace {

// The code's size from its first bytes up to its return, read where the memory is readable.
uint64_t CodeSize(uintptr_t addr)
{
    std::vector<uint8_t> code(64 * 1024);
    code.resize(ReadCodeBytes(reinterpret_cast<const void*>(addr), code.data(), code.size()));
    return ProcedureSize(code, true);
}

// The index of the function that holds Addr (halving), or -1.
int FindFunctionIndex(TCrashboxFunctionsList& list, uintptr_t Addr)
{
    int low = 0, high = list.Count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        TCrashboxFunctionInfo* f = list.GetItem(middle);
        if (f->Size == 0)
            f->Size = CodeSize(f->Addr);
        if (f->Addr <= Addr && Addr - f->Addr <= f->Size)
            return middle;
        if (f->Addr > Addr)
            high = middle - 1;
        else
            low = middle + 1;
    }
    return -1;
}

} // namespace

void FillDebugInfoForAddress(uintptr_t Addr, uint32_t ThreadID, TCrashboxDebugInfo& info, bool RunningThread, bool ErrorLine,
                             const TModuleInfoLookup& moduleOf, std::vector<TCrashboxDebugInfo>* inlinedInto)
{
    info = TCrashboxDebugInfo{};
    info.ModuleInfo = moduleOf ? moduleOf(Addr) : nullptr;
    info.RunningThread = RunningThread;
    info.ErrorLine = ErrorLine;
    info.ThreadID = ThreadID;
    info.IsALeak = false;
    if (!LookUpCompiledInData(Addr, info) && !LookUpOtherDebugData(Addr, info, inlinedInto)) {
        info.DebugDetail = TCrashboxDebugDetail::ddNone;
        info.Addr = Addr;
        info.Line = 0;
        if (TCrashboxModuleInfo* module = info.ModuleInfo) {
            info.DebugDetail = TCrashboxDebugDetail::ddModule;
            if (TCrashboxFunctionsList* functions = module->FunctionsList.get()) {
                functions->Lock();
                if (functions->Count() > 0) {
                    const int index = FindFunctionIndex(*functions, Addr);
                    if (index >= 0)
                        ParsePublicName(functions->GetItem(index)->Name, info);
                }
                functions->Unlock();
            }
        }
    }
    if (ErrorLine)
        info.DebugDetail = TCrashboxDebugDetail::ddSourceCode;
}

// --- the program's symbols ---

uintptr_t FindSymbolInELData(std::span<const uint8_t> bytes, uintptr_t moduleHandle, uint8_t ID)
{
    if (bytes.size() < kHeadSize)
        return 0;
    const uint32_t mark = endian::loadLE<uint32_t>(bytes.data());
    if (mark != kELDataMark && mark != kELDataOldMark)
        return 0;
    const uint32_t tableLength = endian::loadLE<uint32_t>(bytes.data() + 16);
    const size_t end = kHeadSize + std::min<size_t>(tableLength, bytes.size() - kHeadSize);
    for (size_t at = kHeadSize; at + kSymbolSize <= end; at += kSymbolSize)
        if (bytes[at] == ID)
            return moduleHandle + endian::loadLE<uint32_t>(bytes.data() + at + 1) + kCodeStart;
    return 0;
}

uintptr_t FindSymbolByID(uint8_t ID)
{
    // The program's section, read once (the core is linked into the program).
    static std::once_flag once;
    static std::vector<uint8_t> data;
    std::call_once(once, [] { ReadElfSection(ModuleFileNameOfHandle(CrashboxLibraryModuleHandle()), kELDataSection, data); });
    return FindSymbolInELData(data, CrashboxLibraryModuleHandle(), ID);
}

void SetCrashboxUnitFileNames(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    std::lock_guard lock(UnitFileNamesLock());
    UnitFileNames() = std::move(names);
}

// --- code patterns ---

namespace {

// The first bytes of the code at address, after an "endbr64"; as many as can be read.
struct CodeStartBytes {
    uint8_t bytes[12] = {};
    size_t count = 0;
    size_t at = 0;
    explicit CodeStartBytes(const void* address)
    {
        count = ReadCodeBytes(address, bytes, sizeof bytes);
        if (count >= 4 && bytes[0] == 0xF3 && bytes[1] == 0x0F && bytes[2] == 0x1E && bytes[3] == 0xFA)
            at = 4;
    }
    bool Starts(std::initializer_list<uint8_t> wanted) const
    {
        return count - at >= wanted.size() && std::equal(wanted.begin(), wanted.end(), bytes + at);
    }
};

struct EntryPoints {
    std::mutex lock;
    const void* points[3] = {nullptr, nullptr, nullptr};
};

EntryPoints& HandlerEntryPoints()
{
    static EntryPoints e;
    return e;
}

} // namespace

bool IsStackFramePrologueAt(const void* address)
{
    const CodeStartBytes code(address);
    return code.Starts({0x55, 0x8B, 0xEC}) || code.Starts({0x55, 0x48, 0x89, 0xE5}) || code.Starts({0x55, 0x48, 0x8B, 0xEC});
}

bool IsPushEbxAt(const void* address)
{
    return CodeStartBytes(address).Starts({0x53});
}

bool IsBuiltWithRuntimePackages()
{
    const uintptr_t base = ModuleHandleOfAddress(&QObject::staticMetaObject);
    return base != 0 && base != CrashboxLibraryModuleHandle();
}

void RecordExceptionHandlerEntryPoints(const void* first, const void* second, const void* third)
{
    EntryPoints& e = HandlerEntryPoints();
    std::lock_guard lock(e.lock);
    e.points[0] = first;
    e.points[1] = second;
    e.points[2] = third;
}

void RecordDefaultExceptionHandlerEntryPoints()
{
    RecordExceptionHandlerEntryPoints(::dlsym(RTLD_DEFAULT, "__cxa_begin_catch"), ::dlsym(RTLD_DEFAULT, "_Unwind_Resume"),
                                      ::dlsym(RTLD_DEFAULT, "__cxa_rethrow"));
}

int GetExceptionHandlerCallKind(const void* address)
{
    const auto* p = static_cast<const uint8_t*>(address);
    uint8_t code[6];
    if (ReadCodeBytes(address, code, sizeof code) < sizeof code)
        return 0;
    const void* target = nullptr;
    int32_t disp;
    if (code[0] == 0xE8 || code[0] == 0xE9) {
        std::memcpy(&disp, code + 1, 4);
        target = p + 5 + disp;
    } else if (code[0] == 0xFF && (code[1] == 0x15 || code[1] == 0x25)) {
        std::memcpy(&disp, code + 2, 4);
        uint8_t cell[sizeof(void*)];
        if (ReadCodeBytes(p + 6 + disp, cell, sizeof cell) < sizeof cell)
            return 0;
        std::memcpy(&target, cell, sizeof target);
    } else {
        return 0;
    }
    target = GetRealProcAddress(target);
    EntryPoints& e = HandlerEntryPoints();
    std::lock_guard lock(e.lock);
    for (int i = 0; i < 3; ++i)
        if (target && target == e.points[i])
            return i + 1;
    return 0;
}

bool HandlerTableMatches(const TExceptionObject& exception, std::span<const THandlerTableEntry> table, uintptr_t& handler)
{
    for (const THandlerTableEntry& entry : table) {
        if (entry.ClassName.empty() || InheritsFromName(exception, entry.ClassName)) {
            handler = entry.Handler;
            return true;
        }
    }
    return false;
}

} // namespace cv
