#include "crashreport/core/capture/modules_list.h"

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/debuginfo/debug_info_source.h"
#include "crashreport/core/debuginfo/elf_image.h"
#include "crashreport/core/support/memory_map.h"
#include "crashreport/core/support/file_version.h"
#include "crashreport/core/support/module_handles.h"

#include <QDateTime>

#include <elf.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <map>
#include <optional>

namespace cv {

// --- the module stream ---

bool THModuleStream::SecureRead(void* buffer, std::size_t count)
{
    const uintptr_t at = m_start + uintptr_t(m_position);
    if (m_position < 0 || !IsReadableMemory(reinterpret_cast<const void*>(at), count))
        return false;
    std::memcpy(buffer, reinterpret_cast<const void*>(at), count);
    m_position += int64_t(count);
    return true;
}

namespace {

// --- kinds ---

// The ELF header and program headers of a loaded module, read from its image.
struct TImageHeaders {
    ElfW(Ehdr) header{};
    std::vector<ElfW(Phdr)> programHeaders;

    bool Read(uintptr_t handle)
    {
        THModuleStream stream(handle);
        if (!stream.SecureRead(&header, sizeof header) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
            || header.e_phentsize != sizeof(ElfW(Phdr)))
            return false;
        programHeaders.resize(header.e_phnum);
        stream.Seek(int64_t(header.e_phoff));
        return header.e_phnum == 0 || stream.SecureRead(programHeaders.data(), programHeaders.size() * sizeof(ElfW(Phdr)));
    }
};

// A position-independent program says so in its dynamic section's flags.
bool IsPositionIndependentProgram(uintptr_t handle, const TImageHeaders& image)
{
    const long page = ::sysconf(_SC_PAGESIZE);
    uintptr_t lowest = UINTPTR_MAX;
    const ElfW(Phdr)* dynamic = nullptr;
    for (const ElfW(Phdr)& ph : image.programHeaders) {
        if (ph.p_type == PT_LOAD)
            lowest = std::min<uintptr_t>(lowest, ph.p_vaddr);
        else if (ph.p_type == PT_DYNAMIC)
            dynamic = &ph;
    }
    if (!dynamic || lowest == UINTPTR_MAX)
        return false;
    const uintptr_t bias = handle - (lowest & ~uintptr_t(page - 1));
    THModuleStream stream(bias + dynamic->p_vaddr);
    for (std::size_t i = 0; i < dynamic->p_memsz / sizeof(ElfW(Dyn)); ++i) {
        ElfW(Dyn) entry;
        if (!stream.SecureRead(&entry, sizeof entry) || entry.d_tag == DT_NULL)
            break;
        if (entry.d_tag == DT_FLAGS_1)
            return (entry.d_un.d_val & DF_1_PIE) != 0;
    }
    return false;
}

// A shared library, not a program (position-independent programs are ET_DYN too).
bool IsLibraryImage(uintptr_t handle, const TImageHeaders& image)
{
    return image.header.e_type == ET_DYN && handle != MainModuleHandle() && !IsPositionIndependentProgram(handle, image);
}

bool IsFrameworkLibrary(const std::string& fileName)
{
    bool found = false;
    ForEachDynamicSymbol(fileName, [&](const TElfDynamicSymbol& symbol) {
        found = symbol.Name == "qt_version_tag";
        return !found;
    });
    return found;
}

TCrashboxModuleType ModuleTypeOf(uintptr_t handle, const std::string& fileName)
{
    TImageHeaders image;
    if (!image.Read(handle))
        return TCrashboxModuleType::mtUnknown;
    if (!IsLibraryImage(handle, image))
        return TCrashboxModuleType::mtMainModule;
    return IsFrameworkLibrary(fileName) ? TCrashboxModuleType::mtBorlandPackage : TCrashboxModuleType::mtOSLibrary;
}

// --- module records ---

std::mutex& PasswordRequestLock()
{
    static std::mutex lock;
    return lock;
}

TModulePasswordRequest& PasswordRequestSlot()
{
    static TModulePasswordRequest request;
    return request;
}

// When the file was last changed (milliseconds since 1970), if it is there.
std::optional<int64_t> FileChangeTime(const std::string& fileName)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return std::nullopt;
    return int64_t(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

QDateTime FileTime(const std::string& fileName)
{
    const std::optional<int64_t> changed = FileChangeTime(fileName);
    return changed ? QDateTime::fromMSecsSinceEpoch(*changed) : QDateTime();
}

uint64_t ImageSize(uintptr_t handle)
{
    for (const TLoadedModule& module : EnumerateLoadedModules())
        if (module.Handle == handle)
            return module.Size;
    return 0;
}

void DeleteSource(TELDebugInfoSource* source) { std::default_delete<TELDebugInfoSource>()(source); }

// Fills a record: cheaply (handle, name, time, version, size, options) or in
// full. The size is looked up when not given. A full build made ahead of any
// report (`ahead`: set when the build is no longer wanted) asks for no
// password, which is the report's to ask; it answers false when it gave up
// or when the module's data waits for a password.
bool BuildModuleRecord(TCrashboxModuleInfo& module, uintptr_t handle, const std::string& fileName, bool full, uint64_t size = 0,
                       const std::atomic<bool>* ahead = nullptr, TFileVersionCache* versions = nullptr)
{
    const auto wanted = [ahead] { return !ahead || !ahead->load(); };
    module.Handle = handle;
    module.Name = fileName;
    module.IsValidEncryptPassword = true;
    module.EncryptPassword.clear();
    module.LastModified = FileTime(fileName);
    if (versions)
        versions->Get(fileName, module.Description, module.Version);
    else
        GetFileVersionStrings(fileName, module.Description, module.Version);
    module.Size = size != 0 ? size : ImageSize(handle);
    module.FunctionsList = std::make_unique<TCrashboxFunctionsList>();
    module.ModuleType = TCrashboxModuleType::mtUnknown;
    module.OtherDebugData.reset();
    module.ExtraInformation = {};
    module.ExtraInformation.Options = std::make_unique<TCrashboxModuleOptions>(fileName);
    if (!full)
        return true;
    module.ModuleType = ModuleTypeOf(handle, fileName);
    if (module.ModuleType != TCrashboxModuleType::mtMainModule)
        LoadModuleFunctions(handle, *module.FunctionsList);
    if (!wanted())
        return false;
    // The module's own data of the core; it replaces the default options.
    auto options = std::move(module.ExtraInformation.Options);
    if (LoadCompiledInData(fileName, module)) {
        if (!module.IsValidEncryptPassword) {
            if (ahead)
                return false;
            TModulePasswordRequest request;
            {
                std::lock_guard guard(PasswordRequestLock());
                request = PasswordRequestSlot();
            }
            std::string password;
            if (request && request(fileName, password)) {
                module.EncryptPassword = password;
                LoadCompiledInData(fileName, module); // checks the password against the data
            }
        }
    } else {
        module.ExtraInformation.CrashboxVersion = kCrashboxDataVersion;
        module.ExtraInformation.CompilationDate = QDateTime();
        module.ExtraInformation.DebugInformation.reset();
    }
    if (!module.ExtraInformation.Options)
        module.ExtraInformation.Options = std::move(options);
    if (!module.ExtraInformation.DebugInformation && wanted()) {
        std::unique_ptr<TELDebugInfoSource> source;
        if (FindDebugInfoSource(handle, source, fileName, ahead))
            module.OtherDebugData = TDebugInfoSourceOwner(source.release(), &DeleteSource);
    }
    return wanted();
}

// A loaded module's cheap record, its size as the loader gave it.
std::unique_ptr<TCrashboxModuleInfo> CheapRecord(const TLoadedModule& loaded, TFileVersionCache* versions)
{
    auto module = std::make_unique<TCrashboxModuleInfo>();
    BuildModuleRecord(*module, loaded.Handle, loaded.FileName, false, loaded.Size, nullptr, versions);
    return module;
}

int FindHandle(TCrashboxModulesList& list, uintptr_t handle)
{
    for (int i = 0; i < list.Count(); ++i)
        if (list.GetItem(i)->Handle == handle)
            return i;
    return -1;
}

// The module's ELDATA head, read from its file.
bool ReadModuleData(uintptr_t handle, std::vector<uint8_t>& bytes)
{
    const std::string fileName = ModuleFileNameOfHandle(handle);
    return !fileName.empty() && ReadElfSection(fileName, kELDataSection, bytes);
}

} // namespace

// --- lookups ---

uintptr_t MainModuleHandle()
{
    static const uintptr_t handle = [] {
        const std::vector<TLoadedModule> modules = EnumerateLoadedModules();
        return modules.empty() ? uintptr_t(0) : modules.front().Handle;
    }();
    return handle;
}

bool IsModuleDLL(uintptr_t handle)
{
    // The core lives in the program itself, never in a library.
    TImageHeaders image;
    return image.Read(handle) && IsLibraryImage(handle, image);
}

TCrashboxModuleType GetModuleType(uintptr_t handle) { return ModuleTypeOf(handle, ModuleFileNameOfHandle(handle)); }

PCrashboxModuleInfo ModuleInfoByHandle(TCrashboxModulesList& list, uintptr_t handle)
{
    if (handle == 0)
        return nullptr;
    list.Lock();
    PCrashboxModuleInfo module = nullptr;
    const int index = FindHandle(list, handle);
    if (index < 0) {
        module = AddModuleByHandle(list, handle);
    } else {
        module = list.GetItem(index);
        if (module->ModuleType == TCrashboxModuleType::mtUnknown && !list.Refreshing) {
            const std::string fileName = ModuleFileNameOfHandle(handle);
            if (!fileName.empty())
                BuildModuleRecord(*module, handle, fileName, true);
        }
    }
    list.Unlock();
    return module;
}

PCrashboxModuleInfo ModuleInfoByAddr(TCrashboxModulesList& list, uintptr_t address)
{
    uintptr_t handle = 0;
    list.Lock();
    for (int i = 0; i < list.Count() && handle == 0; ++i) {
        const TCrashboxModuleInfo* module = list.GetItem(i);
        if (address >= module->Handle && address - module->Handle < module->Size)
            handle = module->Handle;
    }
    list.Unlock();
    if (handle == 0)
        handle = ModuleHandleOfAddress(reinterpret_cast<const void*>(address));
    return ModuleInfoByHandle(list, handle);
}

void DeleteChangedModules(TCrashboxModulesList& list)
{
    list.Lock();
    for (int i = list.Count() - 1; i >= 0; --i) {
        const TCrashboxModuleInfo* module = list.GetItem(i);
        if (!module->LastModified.isValid())
            continue;
        // Compared as numbers: a report meets every module here, and a time
        // of day for each would ask for the time zone as often.
        const std::optional<int64_t> changed = FileChangeTime(module->Name);
        if (changed && std::llabs((*changed - module->LastModified.toMSecsSinceEpoch()) / 1000) > 1)
            list.Delete(i);
    }
    list.Unlock();
}

void RefreshModulesList(TCrashboxModulesList& list, TFileVersionCache* versions)
{
    const std::vector<TLoadedModule> loaded = EnumerateLoadedModules();
    std::map<uintptr_t, std::string> names;
    for (const TLoadedModule& module : loaded)
        names.emplace(module.Handle, module.FileName);
    list.Lock();
    // Gone, or another module loaded where it was.
    for (int i = list.Count() - 1; i >= 0; --i) {
        const auto known = names.find(list.GetItem(i)->Handle);
        if (known == names.end() || known->second != list.GetItem(i)->Name)
            list.Delete(i);
    }
    list.Refreshing = true;
    for (const TLoadedModule& module : loaded)
        if (FindHandle(list, module.Handle) < 0)
            list.Add(CheapRecord(module, versions));
    list.Sort([](const TCrashboxModuleInfo& a, const TCrashboxModuleInfo& b) { return a.Handle < b.Handle; });
    list.Refreshing = false;
    list.Unlock();
}

// --- module records ---

void SetModulePasswordRequest(TModulePasswordRequest request)
{
    std::lock_guard guard(PasswordRequestLock());
    PasswordRequestSlot() = std::move(request);
}

PCrashboxModuleInfo AddModuleInfo(TCrashboxModulesList& list, uintptr_t handle, const std::string& fileName, bool loadFunctions)
{
    auto module = std::make_unique<TCrashboxModuleInfo>();
    BuildModuleRecord(*module, handle, fileName, loadFunctions);
    return list.Add(std::move(module));
}

bool PrepareModuleInfo(TCrashboxModulesList& list, const TLoadedModule& loaded, const std::atomic<bool>& stop, TFileVersionCache* versions)
{
    list.Lock();
    const bool known = FindHandle(list, loaded.Handle) >= 0;
    list.Unlock();
    if (known)
        return false;
    // Built apart from the list, which it joins whole.
    auto module = std::make_unique<TCrashboxModuleInfo>();
    if (!BuildModuleRecord(*module, loaded.Handle, loaded.FileName, true, loaded.Size, &stop, versions))
        return false;
    list.Lock();
    const bool added = FindHandle(list, loaded.Handle) < 0;
    if (added)
        list.Add(std::move(module));
    list.Unlock();
    return added;
}

PCrashboxModuleInfo AddModuleByHandle(TCrashboxModulesList& list, uintptr_t handle)
{
    const std::string fileName = ModuleFileNameOfHandle(handle);
    if (fileName.empty())
        return nullptr;
    list.Lock();
    PCrashboxModuleInfo module = AddModuleInfo(list, handle, fileName, !list.Refreshing);
    list.Unlock();
    return module;
}

bool LoadModuleFunctions(uintptr_t handle, TCrashboxFunctionsList& functions)
{
    TImageHeaders image;
    if (handle == 0 || !image.Read(handle))
        return false;
    const std::string fileName = ModuleFileNameOfHandle(handle);
    return !fileName.empty() && ReadExportedFunctions(fileName, handle, functions);
}

bool HasModuleData(uintptr_t handle)
{
    std::vector<uint8_t> bytes;
    if (!ReadModuleData(handle, bytes) || bytes.size() < 4)
        return false;
    const uint32_t mark = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[2]) << 16 | uint32_t(bytes[3]) << 24;
    return mark == kELDataMark || mark == kELDataOldMark;
}

bool ModuleCarriesCore(uintptr_t handle) { return HasModuleData(handle); }

bool MainModuleCarriesCore(uintptr_t handle)
{
    std::vector<uint8_t> bytes;
    TELDataContents contents;
    return ReadModuleData(handle, bytes) && ReadELData(bytes, contents) && contents.Version >= kCrashboxDataVersion;
}

} // namespace cv
