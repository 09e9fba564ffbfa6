#pragma once
// The loaded modules of the process as the report knows them: the module
// records (TCrashboxModuleInfo) with their kind, version, exported
// functions, options and debug data; the lookups by handle and by address
// that the call-stack builder and the report use; refreshing the list from
// the loader; and the module's crash-report data (its ELDATA section).
//
// The modules list itself is the handler's (one per process, made at
// start-up); every routine here takes it. A module's handle is the address
// its ELF header is mapped at (module_handles.h).
//
// Kinds: the program is mtMainModule; a library built on the tool's
// framework (its dynamic symbols name Qt's "qt_version_tag": Qt's own
// libraries and their plug-ins) is mtBorlandPackage, the runtime package of
// this platform; every other library is mtOSLibrary; a module whose headers
// cannot be read is mtUnknown.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/core/options/crashbox_records.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/core/support/module_handles.h"

namespace cv {

// A memory stream over memory it does not own (a loaded module's image):
// reads only what the memory map says is readable.
class THModuleStream {
public:
    explicit THModuleStream(uintptr_t start) : m_start(start) {}
    int64_t Position() const { return m_position; }
    void Seek(int64_t position) { m_position = position; }
    // Reads count bytes at the current position when all of them are
    // readable (and moves on); true only when exactly count bytes were read.
    bool SecureRead(void* buffer, std::size_t count);

private:
    uintptr_t m_start;
    int64_t m_position = 0;
};

// --- Lookups ---

// The module's record, or none for handle 0. A module the list does not
// hold yet is added; one recorded cheaply during a refresh is built in full
// now (in place: entries that point at it stay valid).
PCrashboxModuleInfo ModuleInfoByHandle(TCrashboxModulesList& list, uintptr_t handle);
// The record of the module that holds the address (looked for among the
// list's modules first, so that a lookup while other threads are paused
// needs the loader only for a module it has not met).
PCrashboxModuleInfo ModuleInfoByAddr(TCrashboxModulesList& list, uintptr_t address);
// Brings the list up to date: drops modules no longer loaded, adds new ones
// cheaply, sorts by handle. With `versions`, the new modules' descriptions
// and versions come from it (file_version.h).
void RefreshModulesList(TCrashboxModulesList& list, TFileVersionCache* versions = nullptr);
// Drops the modules whose file was changed on disk since they were listed
// (its time differs by more than a second): what was read of them is stale.
// A module without a recorded time, or whose file is gone, stays.
void DeleteChangedModules(TCrashboxModulesList& list);

bool IsModuleDLL(uintptr_t handle);
TCrashboxModuleType GetModuleType(uintptr_t handle);
// The handle of the program's own module.
uintptr_t MainModuleHandle();

// --- Module records ---

// Asked for the password of a module's enciphered debug data (the
// PasswordRequest event): answers false when none is given.
using TModulePasswordRequest = std::function<bool(const std::string& moduleName, std::string& password)>;
// Set by the handler at start-up (none at first; an empty one takes it away).
void SetModulePasswordRequest(TModulePasswordRequest request);

// Makes the module's record and adds it to the list. With loadFunctions
// (a full build) the record also gets its kind, the exported functions of
// a library, its ELDATA (options, compilation date, debug data) and, when
// that holds no debug data, its other debug-data source; without, it is
// recorded cheaply. The handler passes false while the freeze watchdog is
// being started.
PCrashboxModuleInfo AddModuleInfo(TCrashboxModulesList& list, uintptr_t handle, const std::string& fileName, bool loadFunctions);
// Builds in full, ahead of any report, the record of a loaded module the
// list does not hold yet, and adds it. The record is made apart from the
// list and joins it whole, so a report never reads one half built, and the
// list's lock is held only to look and to add. Nothing is added (false)
// when the list holds the module already (a report met it meanwhile), when
// `stop` was set, or when the module's debug data needs a password (asking
// is the report's). With `versions`, the description and version come from it.
bool PrepareModuleInfo(TCrashboxModulesList& list, const TLoadedModule& loaded, const std::atomic<bool>& stop,
                       TFileVersionCache* versions = nullptr);
// The same for a loaded module, from its file name (cheaply while the list
// is refreshed); none for a module that is not loaded.
PCrashboxModuleInfo AddModuleByHandle(TCrashboxModulesList& list, uintptr_t handle);
// The functions the loaded module exports (its ELF dynamic symbols), sorted by address.
bool LoadModuleFunctions(uintptr_t handle, TCrashboxFunctionsList& functions);
// The module's file has an ELDATA section that starts with the data's mark.
bool HasModuleData(uintptr_t handle);
// The module carries the crash-report core's data (on this platform the
// ELDATA section is the only place it can be).
bool ModuleCarriesCore(uintptr_t handle);
// It carries the core, and its data is of this core's version or later.
bool MainModuleCarriesCore(uintptr_t handle);

} // namespace cv
