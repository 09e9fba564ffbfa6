#include "crashreport/core/debug_info_source.h"

#include "crashreport/core/elf_debug_data.h"
#include "crashreport/core/jcl_debug_data.h"
#include "crashreport/core/map_file.h"
#include "crashreport/core/td32_debug_data.h"

#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

namespace cv {

TELDebugInfoSource::TELDebugInfoSource(uintptr_t module, const std::string& moduleFileName)
    : FModule(module), FModuleFileName(moduleFileName.empty() ? LoadedModuleFileName(module) : moduleFileName)
{
}

bool TELDebugInfoSource::LocationFromScanner(const TELAddressScanner& scanner, uintptr_t addr, TELLocationInfo& info)
{
    const uint64_t va = AddrToOffset(addr);
    info.UnitName = scanner.ModuleNameFromAddr(va);
    if (info.UnitName.empty())
        return false;
    info.Address = addr;
    uint64_t procOffset = 0;
    uint64_t lineOffset = 0;
    info.ProcedureName = scanner.ProcNameFromAddr(va, procOffset);
    info.LineNumber = scanner.LineNumberFromAddr(va, lineOffset);
    info.SourceName = scanner.SourceNameFromAddr(va);
    info.DebugInfo = this;
    // Lines below the line of the procedure's first byte.
    info.ProcOffsetLine = int32_t(uint32_t(info.LineNumber) - uint32_t(scanner.LineNumberFromAddr(va - procOffset, lineOffset)));
    return true;
}

namespace {

template <typename T>
bool TrySource(uintptr_t module, const std::string& fileName, std::unique_ptr<TELDebugInfoSource>& source)
{
    auto candidate = TELDebugInfoSource::Create<T>(module, fileName);
    if (!candidate->ValidData())
        return false;
    source = std::move(candidate);
    return true;
}

} // namespace

bool FindDebugInfoSource(uintptr_t module, std::unique_ptr<TELDebugInfoSource>& source, const std::string& moduleFileName)
{
    if (source)
        return false;
    return TrySource<TELDebugInfoMap>(module, moduleFileName, source)
        || TrySource<TELDebugInfoTD32>(module, moduleFileName, source)
        || TrySource<TELDebugInfoJedy>(module, moduleFileName, source)
        || TrySource<TELDebugInfoElf>(module, moduleFileName, source);
}

bool LoadFileBytes(const std::string& fileName, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    if (fileName.empty())
        return false;
    std::FILE* f = std::fopen(fileName.c_str(), "rbe");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = size >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(size_t(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    if (!ok)
        bytes.clear();
    return ok;
}

bool FileExists(const std::string& fileName)
{
    struct stat st {};
    return !fileName.empty() && ::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string ExtractFileName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ChangeFileExt(const std::string& fileName, const std::string& ext)
{
    const auto slash = fileName.rfind('/');
    const auto dot = fileName.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return fileName + ext;
    return fileName.substr(0, dot) + ext;
}

namespace {

struct ModuleQuery {
    uintptr_t handle = 0;          // in: the module looked for (by handle)
    uintptr_t address = 0;         // in: or the module holding this address
    bool byAddress = false;
    bool found = false;
    uintptr_t foundHandle = 0;
    std::string name;
};

// The address the object's ELF header is mapped at: its first loadable
// segment's page.
uintptr_t ObjectBase(const dl_phdr_info* info)
{
    const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && ph.p_vaddr < lowest)
            lowest = ph.p_vaddr;
    }
    if (lowest == UINTPTR_MAX)
        return 0;
    return info->dlpi_addr + (lowest & ~(page - 1));
}

int VisitObject(dl_phdr_info* info, size_t, void* data)
{
    auto* q = static_cast<ModuleQuery*>(data);
    const uintptr_t base = ObjectBase(info);
    if (base == 0)
        return 0;
    bool match = false;
    if (q->byAddress) {
        for (int i = 0; i < info->dlpi_phnum && !match; ++i) {
            const ElfW(Phdr)& ph = info->dlpi_phdr[i];
            const uintptr_t start = info->dlpi_addr + ph.p_vaddr;
            match = ph.p_type == PT_LOAD && q->address >= start && q->address - start < ph.p_memsz;
        }
    } else {
        match = base == q->handle;
    }
    if (!match)
        return 0;
    q->found = true;
    q->foundHandle = base;
    q->name = info->dlpi_name ? info->dlpi_name : "";
    return 1;
}

} // namespace

std::string LoadedModuleFileName(uintptr_t module)
{
    if (module == 0)
        return {};
    ModuleQuery q;
    q.handle = module;
    dl_iterate_phdr(VisitObject, &q);
    if (!q.found)
        return {};
    if (q.name.empty()) {
        // The program itself.
        char path[PATH_MAX];
        const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
        return n > 0 ? std::string(path, size_t(n)) : std::string();
    }
    return q.name;
}

uintptr_t LoadedModuleHandleOf(const void* address)
{
    ModuleQuery q;
    q.address = reinterpret_cast<uintptr_t>(address);
    q.byAddress = true;
    dl_iterate_phdr(VisitObject, &q);
    return q.found ? q.foundHandle : 0;
}

} // namespace cv
