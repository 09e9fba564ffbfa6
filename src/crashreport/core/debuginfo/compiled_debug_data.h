#pragma once
// The crash-report data compiled into a module ("ELDATA": its options, the
// compilation date, a table of symbols and, optionally, its debug data),
// and FillDebugInfoForAddress, the one routine that turns a code address
// into a call-stack entry: from the module's compiled-in debug data, else
// from its external debug-information source, else from the functions it
// exports (on ELF: its dynamic symbol table). Also the code-pattern tests
// the stack walker uses. docs/eldata.md lays the container out.

#include "crashreport/core/options/crashbox_records.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace cv {

struct TExceptionObject;

// --- the container ---

// The ELF section of a module's file that holds it.
inline constexpr const char* kELDataSection = "ELDATA";
// The marks of its head.
inline constexpr uint32_t kELDataMark = 0x100FAB10;
inline constexpr uint32_t kELDataOldMark = 0x000FAB10;
// The data version this core writes (the core's version, 6.1.03).
inline constexpr uint16_t kCrashboxDataVersion = 6103;

struct TELDataSymbol {
    uint8_t ID = 0;
    uint32_t RelativeAddress = 0; // from the module's code start (module + 0x1000)
    uint32_t Value = 0;
};

// Everything the container holds.
struct TELDataContents {
    uint16_t Version = kCrashboxDataVersion;
    int64_t CompilationTime = 0; // seconds since 1970-01-01 UTC
    std::vector<TELDataSymbol> Symbols;
    std::vector<uint8_t> Options;          // the options stream, of the options version Version
    bool HasDebugInformation = false;
    std::vector<uint8_t> DebugInformation; // the debug-data stream
    // When set, names in the debug data are enciphered with a password
    // whose digest (MD5 of MD5 of the password) is PasswordCheck.
    bool NamesEnciphered = false;
    std::array<uint8_t, 16> PasswordCheck{};
};

// The container's bytes (options and debug data zlib-compressed).
std::vector<uint8_t> WriteELData(const TELDataContents& contents);
// False for damaged or foreign bytes; never reads outside them.
bool ReadELData(std::span<const uint8_t> bytes, TELDataContents& contents);
// The digest a password is checked against.
std::array<uint8_t, 16> ELDataPasswordCheck(const std::string& password);

// Fills the module's ExtraInformation (version, compilation date, options,
// debug-data stream) from the ELDATA section of its file; false (and
// nothing changed) when the file has none or it is damaged. A password,
// when the debug data is enciphered, is taken as valid only when it fits.
bool LoadCompiledInData(const std::string& moduleFileName, TCrashboxModuleInfo& module);

// The functions a module's file exports (its dynamic symbol table): name,
// address in the loaded module and size, sorted by address.
bool ReadExportedFunctions(const std::string& moduleFileName, uintptr_t moduleHandle, TCrashboxFunctionsList& functions);

// --- address lookup ---

// The module record that holds an address (the modules list's lookup).
using TModuleInfoLookup = std::function<PCrashboxModuleInfo(uintptr_t addr)>;

// The entry for Addr: zeroed, then from the compiled-in debug data, the
// external source or the exported functions; ddSourceCode when ErrorLine.
// Where the code at Addr was inlined, the entry names the inlined function
// at its own line, and inlinedInto (when given) gets an entry for each
// function it was inlined into, innermost first, at the line of the call.
void FillDebugInfoForAddress(uintptr_t Addr, uint32_t ThreadID, TCrashboxDebugInfo& info, bool RunningThread, bool ErrorLine,
                             const TModuleInfoLookup& moduleOf, std::vector<TCrashboxDebugInfo>* inlinedInto = nullptr);
// From info.ModuleInfo's compiled-in debug data.
bool LookUpCompiledInData(uintptr_t Addr, TCrashboxDebugInfo& info);
// From info.ModuleInfo's external source (chosen first, when the module has
// none yet and no compiled-in debug data); inlinedInto as above.
bool LookUpOtherDebugData(uintptr_t Addr, TCrashboxDebugInfo& info, std::vector<TCrashboxDebugInfo>* inlinedInto = nullptr);
// Unit, class and procedure from an exported name.
bool ParsePublicName(const std::string& name, TCrashboxDebugInfo& info);

// The address of the symbol ID in the program's compiled-in table, or 0.
uintptr_t FindSymbolByID(uint8_t ID);
// The same in a module's ELDATA bytes, for the module loaded at moduleHandle.
uintptr_t FindSymbolInELData(std::span<const uint8_t> bytes, uintptr_t moduleHandle, uint8_t ID);

// The library's own units (file names, sorted), never shown by name in an
// entry unless an internal error is being handled.
void SetCrashboxUnitFileNames(std::vector<std::string> names);

// --- code patterns ---

// A stack frame's start: "push ebp; mov ebp, esp" (55 8B EC), or in x86-64
// code "push rbp; mov rbp, rsp" (55 48 89 E5, or 55 48 8B EC), either
// perhaps after "endbr64".
bool IsStackFramePrologueAt(const void* address);
// "push ebx" / "push rbx" (53), perhaps after "endbr64".
bool IsPushEbxAt(const void* address);
// Whether the base object class (Qt's QObject) lives in a module other than the program.
bool IsBuiltWithRuntimePackages();
// The run-time's three exception-handler entry points, recorded at start-up
// (by default: __cxa_begin_catch, _Unwind_Resume, __cxa_rethrow).
void RecordExceptionHandlerEntryPoints(const void* first, const void* second, const void* third);
void RecordDefaultExceptionHandlerEntryPoints();
// 1, 2 or 3 when the call or jump at address (E8/E9 with a 32-bit
// displacement, or FF 15/FF 25 through a RIP-relative cell) reaches the
// first, second or third entry point, following import stubs; else 0.
int GetExceptionHandlerCallKind(const void* address);

// One entry of a table of exception-class handlers: an empty class matches every exception.
struct THandlerTableEntry {
    std::string ClassName;
    uintptr_t Handler = 0;
};
// True when the exception's class is or descends from an entry's class;
// handler receives the first matching entry's address.
bool HandlerTableMatches(const TExceptionObject& exception, std::span<const THandlerTableEntry> table, uintptr_t& handler);

} // namespace cv
