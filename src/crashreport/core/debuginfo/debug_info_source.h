#pragma once
// Debug-information sources outside a module's compiled-in crash data: each
// turns a code address of a loaded module into unit, procedure, line and
// source file. FindDebugInfoSource picks the first source that has data for
// a module: a ".map" file beside it, TD32 data, JCL data, and on this
// platform the module's own ELF symbol and DWARF line tables.
//
// A module is named by its handle: the address its ELF header is mapped at
// (what dladdr gives as dli_fbase). Sources only read; nothing is ever
// written back.

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace cv {

class TELDebugInfoSource;

// The answer of every source.
struct TELLocationInfo {
    uintptr_t Address = 0;          // the address asked for
    std::string UnitName;           // unit (for ELF data: the source file's name) holding the address
    std::string ProcedureName;
    int32_t ProcOffsetLine = 0;     // source lines the address lies below its procedure's first line
    int32_t LineNumber = 0;         // 0 when not found
    std::string SourceName;         // empty when not found
    TELDebugInfoSource* DebugInfo = nullptr; // the source that answered
    // Code the compiler inlined is named as the function it is the code of
    // (above), at its own line; the functions it was inlined into follow
    // here, innermost first, each at the line of its call (as a debugger
    // shows them: one frame each, all at this address).
    std::vector<TELLocationInfo> InlinedInto;
};

// A call the compiler inlined (TELAddressScanner::InlinedCallsAt).
struct TELInlinedCall {
    std::string ProcedureName; // the function whose code was inlined
    uint64_t Entry = 0;        // where its inlined code starts (its first line is that address's)
    int32_t CallLine = 0;      // the call's place in the function it was inlined into
    std::string CallSourceName;
};

// The four lookups a source's tables answer, on a module-relative offset
// (the "VA" of the formats; see TELDebugInfoSource::AddrToOffset).
class TELAddressScanner {
public:
    virtual ~TELAddressScanner() = default;
    // Empty when the offset lies in no unit: then nothing else is asked.
    virtual std::string ModuleNameFromAddr(uint64_t va) const = 0;
    // The procedure holding va, and va's distance from its start.
    virtual std::string ProcNameFromAddr(uint64_t va, uint64_t& offset) const = 0;
    // The source line of va (0 when none), and va's distance from that line's first byte.
    virtual int32_t LineNumberFromAddr(uint64_t va, uint64_t& offset) const = 0;
    virtual std::string SourceNameFromAddr(uint64_t va) const = 0;
    // The inlined calls whose code holds va, innermost first (named: with
    // the names of their functions); none for tables that do not know them.
    virtual std::vector<TELInlinedCall> InlinedCallsAt(uint64_t va, bool named) const
    {
        (void)va;
        (void)named;
        return {};
    }
};

class TELDebugInfoSource {
public:
    virtual ~TELDebugInfoSource() = default;
    TELDebugInfoSource(const TELDebugInfoSource&) = delete;
    TELDebugInfoSource& operator=(const TELDebugInfoSource&) = delete;

    // Makes a source of kind T for the module and loads its data. The file
    // the data is looked for beside (or in) is the module's own file unless
    // moduleFileName names another (a module that is not loaded, for one).
    // A load made ahead of any need gives up (and finds no data) once
    // `giveUp` is set.
    template <typename T>
    static std::unique_ptr<T> Create(uintptr_t module, const std::string& moduleFileName = {},
                                     const std::atomic<bool>* giveUp = nullptr)
    {
        auto source = std::make_unique<T>(module, moduleFileName);
        source->FGiveUp = giveUp;
        source->LoadSourceData();
        return source;
    }

    // --- virtual operations, in their order ---
    // Finds and loads the source's data; whether any was found.
    virtual bool LoadSourceData() = 0;
    // The offset of the address from the module's first code section, taken
    // to lie 0x1000 bytes into the module.
    virtual uint64_t AddrToOffset(uintptr_t addr) const { return uint64_t(addr) - FModule - 0x1000; }
    virtual bool ValidData() const = 0;
    virtual bool GetLocationInfo(uintptr_t addr, TELLocationInfo& info) = 0;
    // Whether the procedure names it answers are dotted paths ("Class.Method",
    // "Unit.Class.Method") that the lookup splits into class and procedure.
    // C++ names are not: their dots belong to the name ("f(int, ...)").
    virtual bool DottedNames() const { return true; }

    uintptr_t Module() const { return FModule; }
    const std::string& ModuleFileName() const { return FModuleFileName; }

protected:
    TELDebugInfoSource(uintptr_t module, const std::string& moduleFileName);

    // The one way every source answers, with its own tables.
    bool LocationFromScanner(const TELAddressScanner& scanner, uintptr_t addr, TELLocationInfo& info);

    // Whether a load made ahead of any need is no longer wanted.
    bool GivenUp() const { return FGiveUp && FGiveUp->load(); }

    uintptr_t FModule;
    std::string FModuleFileName;
    const std::atomic<bool>* FGiveUp = nullptr;
};

// The chooser: when `source` is empty, the first source with valid data for
// the module goes there (".map", TD32, JCL, ELF/DWARF) and the answer is
// true. A source already there is kept, and the answer is false.
bool FindDebugInfoSource(uintptr_t module, std::unique_ptr<TELDebugInfoSource>& source,
                         const std::string& moduleFileName = {}, const std::atomic<bool>* giveUp = nullptr);

// The largest debug-data file beside a module that is read.
constexpr uint64_t kMaxDebugFileSize = uint64_t(256) << 20;
// The whole file beside a module (a ".map", ".tds" or ".jdbg"); false (and
// nothing read) when it is absent, is no regular file (a FIFO, a device, a
// folder), is larger than kMaxDebugFileSize or cannot be read.
bool LoadFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes);
bool LoadFileText(const std::string& fileName, std::string& text);

} // namespace cv
