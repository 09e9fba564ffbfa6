#include "crashreport/core/support/module_handles.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

namespace cv {

namespace {

struct ModuleInfo {
    uintptr_t base = 0;
    uintptr_t end = 0;
    std::string path;
};

// The program's file, read once: every walk of the modules meets it first.
const std::string& ProgramPath()
{
    static const std::string path = [] {
        char buffer[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
        return n > 0 ? std::string(buffer, std::size_t(n)) : std::string();
    }();
    return path;
}

std::string Canonical(const std::string& path)
{
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) ? std::string(buffer) : path;
}

std::string FileNamePart(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Walks the loaded modules until `visit` answers true.
template <typename Visit>
void ForEachModule(Visit visit)
{
    struct Context {
        Visit* visit;
        bool done = false;
    } context{&visit};
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void* data) -> int {
            auto* c = static_cast<Context*>(data);
            ModuleInfo module;
            uintptr_t low = UINTPTR_MAX;
            uintptr_t high = 0;
            for (int i = 0; i < info->dlpi_phnum; ++i) {
                const ElfW(Phdr)& ph = info->dlpi_phdr[i];
                if (ph.p_type != PT_LOAD)
                    continue;
                low = std::min<uintptr_t>(low, info->dlpi_addr + ph.p_vaddr);
                high = std::max<uintptr_t>(high, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
            }
            if (low == UINTPTR_MAX)
                return 0;
            const long page = sysconf(_SC_PAGESIZE);
            module.base = low & ~uintptr_t(page - 1);
            module.end = high;
            // The program itself comes first and without a name.
            module.path = info->dlpi_name && info->dlpi_name[0] ? std::string(info->dlpi_name) : ProgramPath();
            c->done = (*c->visit)(module);
            return c->done ? 1 : 0;
        },
        &context);
}

} // namespace

std::vector<TLoadedModule> EnumerateLoadedModules()
{
    std::vector<TLoadedModule> modules;
    ForEachModule([&](const ModuleInfo& module) {
        if (module.path.find('/') != std::string::npos)
            modules.push_back({module.base, module.end - module.base, module.path});
        return false;
    });
    return modules;
}

uint64_t LoadedModulesGeneration()
{
    uint64_t generation = 0;
    // Every entry carries the counts; the first is enough.
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t size, void* data) -> int {
            if (size >= offsetof(dl_phdr_info, dlpi_subs) + sizeof info->dlpi_subs)
                *static_cast<uint64_t*>(data) = uint64_t(info->dlpi_adds) + uint64_t(info->dlpi_subs);
            return 1;
        },
        &generation);
    return generation;
}

uintptr_t ModuleHandleOfName(const std::string& name)
{
    if (name.empty())
        return 0;
    const bool wholePath = name.find('/') != std::string::npos;
    uintptr_t handle = 0;
    auto find = [&](auto same) {
        ForEachModule([&](const ModuleInfo& module) {
            if (same(module))
                handle = module.base;
            return handle != 0;
        });
    };
    if (!wholePath) {
        find([&](const ModuleInfo& module) { return FileNamePart(module.path) == name; });
        return handle;
    }
    // The path as given first; resolving links costs a call per module.
    find([&](const ModuleInfo& module) { return module.path == name; });
    if (handle == 0) {
        const std::string wanted = Canonical(name);
        find([&](const ModuleInfo& module) { return Canonical(module.path) == wanted; });
    }
    return handle;
}

uintptr_t ModuleHandleOfAddress(const void* address)
{
    const auto at = reinterpret_cast<uintptr_t>(address);
    uintptr_t handle = 0;
    ForEachModule([&](const ModuleInfo& module) {
        const bool inside = at >= module.base && at < module.end;
        if (inside)
            handle = module.base;
        return inside;
    });
    return handle;
}

std::string ModuleFileNameOfHandle(uintptr_t handle)
{
    std::string path;
    if (handle == 0)
        return path;
    ForEachModule([&](const ModuleInfo& module) {
        if (module.base != handle)
            return false;
        path = module.path;
        return true;
    });
    return path;
}

uintptr_t CrashboxLibraryModuleHandle()
{
    static const uintptr_t handle = ModuleHandleOfAddress(reinterpret_cast<const void*>(&CrashboxLibraryModuleHandle));
    return handle;
}

} // namespace cv
