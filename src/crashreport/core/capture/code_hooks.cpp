#include "crashreport/core/capture/code_hooks.h"

#include "crashreport/core/support/files_and_folders.h"
#include "crashreport/core/support/jump_thunks.h"

#include "crashreport/core/disasm/instruction_length.h"
#include "crashreport/core/support/module_handles.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace cv {

namespace {

constexpr uintptr_t kPage = 4096;
constexpr size_t kJumpSize = 5;
constexpr size_t kRelaySize = 14; // jmp [rip+0] and the 8-byte address

// --- the process's memory map ---

struct MapRange {
    uintptr_t start;
    uintptr_t end;
    int prot;
};

std::vector<MapRange> ReadMemoryMap()
{
    std::vector<MapRange> ranges;
    std::FILE* f = std::fopen("/proc/self/maps", "re");
    if (!f)
        return ranges;
    char line[512];
    while (std::fgets(line, sizeof line, f)) {
        unsigned long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line, "%lx-%lx %4s", &start, &end, perms) != 3)
            continue;
        int prot = 0;
        if (perms[0] == 'r')
            prot |= PROT_READ;
        if (perms[1] == 'w')
            prot |= PROT_WRITE;
        if (perms[2] == 'x')
            prot |= PROT_EXEC;
        ranges.push_back({uintptr_t(start), uintptr_t(end), prot});
    }
    std::fclose(f);
    return ranges;
}

// The pieces of [begin, end) with their protections in the map; empty when
// some byte is not mapped.
std::vector<MapRange> PiecesIn(const std::vector<MapRange>& map, uintptr_t begin, uintptr_t end)
{
    std::vector<MapRange> pieces;
    uintptr_t at = begin;
    for (const MapRange& r : map) {
        if (r.end <= at || r.start > at)
            continue;
        const uintptr_t stop = std::min(r.end, end);
        pieces.push_back({at, stop, r.prot});
        at = stop;
        if (at >= end)
            return pieces;
    }
    return {};
}

// The map of the thread's write batch (TCodeWriteBatch), while one lives.
thread_local std::optional<std::vector<MapRange>> tBatchMap;

// The pieces of [begin, end) with their protections; empty when some byte is not mapped.
std::vector<MapRange> MappedPieces(uintptr_t begin, uintptr_t end)
{
    if (tBatchMap) {
        std::vector<MapRange> pieces = PiecesIn(*tBatchMap, begin, end);
        if (!pieces.empty())
            return pieces;
        // Mapped since the batch began, perhaps.
        *tBatchMap = ReadMemoryMap();
        return PiecesIn(*tBatchMap, begin, end);
    }
    return PiecesIn(ReadMemoryMap(), begin, end);
}

std::mutex& WriteMutex()
{
    static std::mutex m;
    return m;
}

// A page for a trampoline within reach of 32-bit displacements from near:
// the free gap of the address space closest to it.
uint8_t* AllocateNear(uintptr_t near)
{
    constexpr uintptr_t kReach = (uintptr_t(1) << 31) - (uintptr_t(1) << 24);
    constexpr uintptr_t kLowest = 0x10000;
    auto ranges = ReadMemoryMap();
    std::vector<uintptr_t> candidates;
    uintptr_t previousEnd = kLowest;
    for (const MapRange& r : ranges) {
        if (r.start >= previousEnd + kPage) {
            // The gap [previousEnd, r.start): its page closest to near.
            const uintptr_t low = previousEnd, high = r.start - kPage;
            candidates.push_back(std::clamp(near & ~(kPage - 1), low, high));
        }
        previousEnd = std::max(previousEnd, r.end);
    }
    candidates.push_back(std::max(previousEnd, near & ~(kPage - 1)));
    std::sort(candidates.begin(), candidates.end(), [near](uintptr_t a, uintptr_t b) {
        const uintptr_t da = a > near ? a - near : near - a, db = b > near ? b - near : near - b;
        return da < db;
    });
    for (uintptr_t c : candidates) {
        if ((c > near ? c - near : near - c) > kReach)
            break;
        void* p = ::mmap(reinterpret_cast<void*>(c), kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p == MAP_FAILED)
            continue;
        if (p == reinterpret_cast<void*>(c))
            return static_cast<uint8_t*>(p);
        ::munmap(p, kPage); // an old kernel that took the address as a hint only
    }
    return nullptr;
}

bool FitsInt32(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// --- the loaded modules, as the import hooks see them ---

struct ModuleView {
    uintptr_t base = 0;
    uintptr_t bias = 0;
    uintptr_t end = 0; // end of its highest loadable segment
    std::string name;
    const ElfW(Dyn)* dynamic = nullptr;
};

int CollectModule(dl_phdr_info* info, size_t, void* data)
{
    auto* list = static_cast<std::vector<ModuleView>*>(data);
    ModuleView m;
    m.bias = info->dlpi_addr;
    m.name = info->dlpi_name ? info->dlpi_name : "";
    uintptr_t lowest = UINTPTR_MAX;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD) {
            lowest = std::min<uintptr_t>(lowest, ph.p_vaddr);
            m.end = std::max<uintptr_t>(m.end, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
        } else if (ph.p_type == PT_DYNAMIC) {
            m.dynamic = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr + ph.p_vaddr);
        }
    }
    if (lowest == UINTPTR_MAX)
        return 0;
    m.base = info->dlpi_addr + (lowest & ~(kPage - 1));
    list->push_back(std::move(m));
    return 0;
}

std::vector<ModuleView> LoadedModules()
{
    std::vector<ModuleView> list;
    dl_iterate_phdr(CollectModule, &list);
    return list;
}

bool FindLoadedModule(uintptr_t handle, ModuleView& view)
{
    for (ModuleView& m : LoadedModules())
        if (m.base == handle) {
            view = std::move(m);
            return true;
        }
    return false;
}

// Points the module's GOT slots that hold oldProc (or, with symbolName,
// that name a symbol not bound yet) at replacement; the number changed.
size_t PatchModuleImports(const ModuleView& m, void* oldProc, void* replacement, const std::string& symbolName)
{
    if (!m.dynamic)
        return 0;
    // The loader has made the table addresses absolute, except where it left a read-only dynamic section alone.
    auto absolute = [&m](uintptr_t p) { return p < m.bias ? p + m.bias : p; };
    const ElfW(Sym)* symtab = nullptr;
    const char* strtab = nullptr;
    uintptr_t jmprel = 0, rela = 0;
    size_t pltrelsz = 0, relasz = 0;
    bool pltIsRela = true;
    for (const ElfW(Dyn)* d = m.dynamic; d->d_tag != DT_NULL; ++d) {
        switch (d->d_tag) {
        case DT_SYMTAB: symtab = reinterpret_cast<const ElfW(Sym)*>(absolute(d->d_un.d_ptr)); break;
        case DT_STRTAB: strtab = reinterpret_cast<const char*>(absolute(d->d_un.d_ptr)); break;
        case DT_JMPREL: jmprel = absolute(d->d_un.d_ptr); break;
        case DT_PLTRELSZ: pltrelsz = d->d_un.d_val; break;
        case DT_PLTREL: pltIsRela = d->d_un.d_val == DT_RELA; break;
        case DT_RELA: rela = absolute(d->d_un.d_ptr); break;
        case DT_RELASZ: relasz = d->d_un.d_val; break;
        default: break;
        }
    }
    size_t changed = 0;
    auto walk = [&](uintptr_t table, size_t bytes) {
        const auto* r = reinterpret_cast<const ElfW(Rela)*>(table);
        for (size_t i = 0; i < bytes / sizeof(ElfW(Rela)); ++i) {
            const auto type = ELF64_R_TYPE(r[i].r_info);
            if (type != R_X86_64_JUMP_SLOT && type != R_X86_64_GLOB_DAT)
                continue;
            const uintptr_t slotAddress = m.bias + r[i].r_offset;
            if (slotAddress < m.base || slotAddress + sizeof(void*) > m.end)
                continue;
            auto* slot = reinterpret_cast<void**>(slotAddress);
            void* value = *slot;
            bool match = value == oldProc;
            if (!match && !symbolName.empty() && type == R_X86_64_JUMP_SLOT && symtab && strtab) {
                // Not bound yet: the slot still leads to the module's own lazy-binding stub.
                const auto v = reinterpret_cast<uintptr_t>(value);
                match = v >= m.base && v < m.end && symbolName == strtab + symtab[ELF64_R_SYM(r[i].r_info)].st_name;
            }
            if (match && value != replacement && WriteCode(slot, &replacement, sizeof replacement))
                ++changed;
        }
    };
    if (jmprel && pltIsRela)
        walk(jmprel, pltrelsz);
    if (rela)
        walk(rela, relasz);
    return changed;
}

void* ResolveProc(const std::string& libraryName, const std::string& procName)
{
    if (libraryName.empty())
        return ::dlsym(RTLD_DEFAULT, procName.c_str());
    void* handle = ::dlopen(libraryName.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    void* p = ::dlsym(handle, procName.c_str());
    ::dlclose(handle);
    return p;
}

std::string Quoted(const char* format, const std::string& name)
{
    const int n = std::snprintf(nullptr, 0, format, name.c_str());
    std::string text(size_t(std::max(n, 0)), '\0');
    std::snprintf(text.data(), text.size() + 1, format, name.c_str());
    return text;
}

// --- the lists ---

struct ProcedureHook {
    uint8_t* target;
    uint8_t* trampoline;
    size_t trampolineSize;
    std::vector<uint8_t> saved;
};

struct ImportHook {
    uintptr_t module;
    std::string libraryName;
    void* oldProc;
    void* replacement;
};

// An import hook that every module loaded later gets too.
struct StandingImportHook {
    std::string libraryName;
    std::string procName;
    void* original;
    void* replacement;
};

struct MethodHook {
    void** table;
    void* previous;
    int index;
};

// The hooked methods with their lock; destroying the list undoes every hook left.
class THookedMethodsList {
public:
    ~THookedMethodsList()
    {
        std::lock_guard lock(FLock);
        for (const MethodHook& h : FItems)
            PatchSlot(h.table, h.index, h.previous);
    }
    std::mutex FLock;
    std::vector<MethodHook> FItems;
};

struct HookLists {
    std::recursive_mutex importLock; // later loads reach the import list from any thread
    std::vector<ImportHook> imports;
    std::vector<StandingImportHook> standing;
    std::set<std::pair<uintptr_t, std::string>> knownModules;
    void* realDlopen = nullptr;
    std::unique_ptr<THookedMethodsList> methods = std::make_unique<THookedMethodsList>();
    std::vector<ProcedureHook> procedures;
};

std::unique_ptr<HookLists>& Lists()
{
    static std::unique_ptr<HookLists> lists;
    return lists;
}

HookLists& RequireLists(const std::string& name)
{
    if (!Lists())
        throw EHookingError(Quoted("Cannot hook the procedure \"%s\".", name));
    return *Lists();
}

// Every standing hook into the modules not seen before.
void HookNewModules()
{
    HookLists* lists = Lists().get();
    if (!lists)
        return;
    std::lock_guard lock(lists->importLock);
    TCodeWriteBatch batch;
    for (const ModuleView& m : LoadedModules()) {
        if (!lists->knownModules.insert({m.base, m.name}).second)
            continue;
        for (const StandingImportHook& h : lists->standing)
            HookImport(m.base, h.libraryName, h.original, h.replacement, h.procName + "." + h.libraryName, true, false, h.procName);
    }
}

using DlopenProc = void* (*)(const char*, int);

// Stands in the modules' dlopen slots: the real one, then the new modules get the standing hooks.
void* WatchedDlopen(const char* file, int mode)
{
    HookLists* lists = Lists().get();
    auto real = lists && lists->realDlopen ? reinterpret_cast<DlopenProc>(lists->realDlopen) : nullptr;
    if (!real)
        real = reinterpret_cast<DlopenProc>(::dlsym(RTLD_NEXT, "dlopen"));
    void* handle = real(file, mode);
    if (handle)
        HookNewModules();
    return handle;
}

} // namespace

// --- writing code ---

bool WriteCode(void* destination, const void* source, size_t size)
{
    if (!destination || size == 0)
        return size == 0;
    std::lock_guard lock(WriteMutex());
    const auto at = reinterpret_cast<uintptr_t>(destination);
    const uintptr_t begin = at & ~(kPage - 1);
    const uintptr_t end = (at + size + kPage - 1) & ~(kPage - 1);
    const std::vector<MapRange> pieces = MappedPieces(begin, end);
    if (pieces.empty())
        return false;
    size_t opened = 0;
    for (; opened < pieces.size(); ++opened) {
        const MapRange& p = pieces[opened];
        if (!(p.prot & PROT_WRITE) && ::mprotect(reinterpret_cast<void*>(p.start), p.end - p.start, p.prot | PROT_READ | PROT_WRITE) != 0)
            break;
    }
    const bool ok = opened == pieces.size();
    if (ok)
        std::memcpy(destination, source, size);
    for (size_t i = 0; i < opened; ++i) {
        const MapRange& p = pieces[i];
        if (!(p.prot & PROT_WRITE))
            ::mprotect(reinterpret_cast<void*>(p.start), p.end - p.start, p.prot);
    }
    if (ok)
        __builtin___clear_cache(static_cast<char*>(destination), static_cast<char*>(destination) + size);
    return ok;
}

TCodeWriteBatch::TCodeWriteBatch() : FOutermost(!tBatchMap)
{
    if (FOutermost)
        tBatchMap = ReadMemoryMap();
}

TCodeWriteBatch::~TCodeWriteBatch()
{
    if (FOutermost)
        tBatchMap.reset();
}

bool WriteJump(void* from, const void* to)
{
    const int64_t disp = int64_t(reinterpret_cast<uintptr_t>(to)) - int64_t(reinterpret_cast<uintptr_t>(from) + kJumpSize);
    if (!FitsInt32(disp))
        return false;
    uint8_t jump[kJumpSize] = {0xE9};
    const int32_t d = int32_t(disp);
    std::memcpy(jump + 1, &d, 4);
    return WriteCode(from, jump, kJumpSize);
}

void PatchSlot(void** table, int index, void* value)
{
    if (!table || ModuleHandleOfAddress(&table[index]) == 0)
        return;
    WriteCode(&table[index], &value, sizeof value);
}

// --- start-up and shut-down ---

void InitHooks()
{
    if (!Lists())
        Lists() = std::make_unique<HookLists>();
}

bool HooksStarted()
{
    return Lists() != nullptr;
}

void DoneHooks()
{
    HookLists* lists = Lists().get();
    if (!lists)
        return;
    {
        std::lock_guard lock(lists->importLock);
        TCodeWriteBatch batch;
        lists->standing.clear();
        // A module unloaded since has no slots left to restore.
        std::set<uintptr_t> loaded;
        for (const ModuleView& m : LoadedModules())
            loaded.insert(m.base);
        for (const ImportHook& h : lists->imports)
            if (loaded.count(h.module))
                HookImport(h.module, h.libraryName, h.replacement, h.oldProc, {}, true, true);
        lists->imports.clear();
    }
    lists->methods.reset();
    while (!lists->procedures.empty())
        UnhookProcedure(lists->procedures.back().target);
    Lists().reset();
}

// --- procedure hooks ---

void* HookProcedure(void* target, void* replacement, const std::string& name)
{
    if (!target)
        throw EProcNull(Quoted("Cannot hook a null procedure (\"%s\").", name));
    HookLists& lists = RequireLists(name);
    target = const_cast<void*>(GetRealProcAddress(target));
    replacement = const_cast<void*>(GetRealProcAddress(replacement));
    auto* origin = static_cast<uint8_t*>(target);
    for (const ProcedureHook& h : lists.procedures)
        if (h.target == origin)
            return h.trampoline;

    // The whole instructions that the 5-byte jump covers.
    const EHookingError cannot(Quoted("Cannot hook the procedure \"%s\".", name));
    std::vector<TInstructionInfo> moved;
    size_t n = 0;
    size_t spare = 0;
    while (n < kJumpSize) {
        TInstructionInfo info;
        uint8_t code[15];
        if (!DecodeInstruction({code, ReadCodeBytes(origin + n, code, sizeof code)}, true, info))
            throw cannot;
        moved.push_back(info);
        n += info.Length;
        if (info.RelSize == 1) {
            const int8_t rel = int8_t(origin[n - info.Length + info.RelOffset]);
            const auto destination = reinterpret_cast<uintptr_t>(origin + n) + intptr_t(rel);
            if (destination < reinterpret_cast<uintptr_t>(origin) || destination > reinterpret_cast<uintptr_t>(origin) + n)
                ++spare;
        }
        // The routine ends before the jump fits.
        if (info.EndsFlow && n < kJumpSize)
            throw cannot;
    }

    const size_t size = n + kJumpSize + spare * kJumpSize + kRelaySize;
    uint8_t* tramp = AllocateNear(reinterpret_cast<uintptr_t>(origin));
    if (!tramp)
        throw cannot;
    // Copy and relocate, instruction by instruction.
    std::memcpy(tramp, origin, n);
    uint8_t* spareAt = tramp + n + kJumpSize;
    bool ok = true;
    size_t at = 0;
    auto putJump = [](uint8_t* from, uintptr_t to) {
        const int64_t d = int64_t(to) - int64_t(reinterpret_cast<uintptr_t>(from) + kJumpSize);
        if (!FitsInt32(d))
            return false;
        from[0] = 0xE9;
        const int32_t d32 = int32_t(d);
        std::memcpy(from + 1, &d32, 4);
        return true;
    };
    for (const TInstructionInfo& info : moved) {
        const uintptr_t oldNext = reinterpret_cast<uintptr_t>(origin + at + info.Length);
        const uintptr_t newNext = reinterpret_cast<uintptr_t>(tramp + at + info.Length);
        const uintptr_t originStart = reinterpret_cast<uintptr_t>(origin);
        if (info.RelSize == 1) {
            const uintptr_t destination = oldNext + intptr_t(int8_t(origin[at + info.RelOffset]));
            if (destination < originStart || destination > originStart + n) {
                // The short jump reaches a long jump in the spare area.
                ok = ok && putJump(spareAt, destination);
                tramp[at + info.RelOffset] = uint8_t(int8_t(spareAt - (tramp + at + info.Length)));
                spareAt += kJumpSize;
            }
        } else if (info.RelSize == 4) {
            int32_t rel;
            std::memcpy(&rel, origin + at + info.RelOffset, 4);
            const uintptr_t destination = oldNext + intptr_t(rel);
            if (destination < originStart || destination > originStart + n) {
                const int64_t moved32 = int64_t(destination) - int64_t(newNext);
                ok = ok && FitsInt32(moved32);
                const int32_t r = int32_t(moved32);
                std::memcpy(tramp + at + info.RelOffset, &r, 4);
            }
        }
        if (info.RipDispOffset) {
            int32_t disp;
            std::memcpy(&disp, origin + at + info.RipDispOffset, 4);
            const int64_t moved32 = int64_t(oldNext + intptr_t(disp)) - int64_t(newNext);
            ok = ok && FitsInt32(moved32);
            const int32_t d = int32_t(moved32);
            std::memcpy(tramp + at + info.RipDispOffset, &d, 4);
        }
        at += info.Length;
    }
    ok = ok && putJump(tramp + n, reinterpret_cast<uintptr_t>(origin + n));
    // The replacement may lie beyond a 32-bit jump's reach from the routine: a relay jumps there.
    uint8_t* relay = spareAt;
    relay[0] = 0xFF;
    relay[1] = 0x25;
    std::memset(relay + 2, 0, 4);
    std::memcpy(relay + 6, &replacement, sizeof replacement);
    if (!ok || ::mprotect(tramp, kPage, PROT_READ | PROT_EXEC) != 0) {
        ::munmap(tramp, kPage);
        throw cannot;
    }
    lists.procedures.push_back({origin, tramp, size, std::vector<uint8_t>(origin, origin + n)});
    if (!WriteJump(origin, relay)) {
        lists.procedures.pop_back();
        ::munmap(tramp, kPage);
        throw cannot;
    }
    return tramp;
}

bool UnhookProcedure(void* address)
{
    HookLists* lists = Lists().get();
    if (!lists || !address)
        return false;
    auto it = std::find_if(lists->procedures.begin(), lists->procedures.end(),
                           [address](const ProcedureHook& h) { return h.target == address || h.trampoline == address; });
    if (it == lists->procedures.end())
        return false;
    WriteCode(it->target, it->saved.data(), it->saved.size());
    ::munmap(it->trampoline, kPage);
    lists->procedures.erase(it);
    return true;
}

// --- import hooks ---

void* HookImport(uintptr_t module, const std::string& libraryName, void* oldProc, void* replacement, const std::string& name,
                 bool allowNotFound, bool noRecord, const std::string& symbolName)
{
    if (!oldProc)
        throw EProcNull(Quoted("Cannot hook a null procedure (\"%s\").", name));
    HookLists* lists = noRecord ? Lists().get() : &RequireLists(name);
    ModuleView view;
    size_t changed = 0;
    if (FindLoadedModule(module, view))
        changed = PatchModuleImports(view, oldProc, replacement, symbolName);
    if (changed == 0) {
        if (!allowNotFound)
            throw EHookingError(Quoted("Cannot hook the procedure \"%s\".", name));
        return nullptr;
    }
    if (!noRecord && lists) {
        std::lock_guard lock(lists->importLock);
        for (size_t i = 0; i < changed; ++i)
            lists->imports.push_back({module, libraryName, oldProc, replacement});
    }
    return oldProc;
}

bool HookImportInModules(const std::string& libraryName, const std::string& procName, void* replacement, void*& original,
                         const std::vector<std::string>& moduleNames, bool allowNotFound)
{
    original = ResolveProc(libraryName, procName);
    bool any = false;
    const auto modules = LoadedModules();
    TCodeWriteBatch batch;
    for (const std::string& wanted : moduleNames) {
        for (const ModuleView& m : modules) {
            const std::string file = ModuleFileNameOfHandle(m.base);
            if (file != wanted && ExtractFileName(file) != wanted)
                continue;
            any |= HookImport(m.base, libraryName, original, replacement, procName + "." + libraryName, allowNotFound, false, procName) != nullptr;
            break;
        }
    }
    return any;
}

bool HookImportInAllModules(const std::string& libraryName, const std::string& procName, void* replacement, void*& original)
{
    const std::string name = procName + "." + libraryName;
    original = ResolveProc(libraryName, procName);
    if (!original)
        throw EProcNull(Quoted("Cannot hook a null procedure (\"%s\").", name));
    HookLists& lists = RequireLists(name);
    std::lock_guard lock(lists.importLock);
    if (!lists.realDlopen) {
        // From now on the modules' dlopen is watched, so that later modules are hooked too.
        lists.realDlopen = ResolveProc({}, "dlopen");
        if (lists.realDlopen)
            lists.standing.push_back({{}, "dlopen", lists.realDlopen, reinterpret_cast<void*>(&WatchedDlopen)});
    }
    lists.standing.push_back({libraryName, procName, original, replacement});
    bool any = false;
    TCodeWriteBatch batch;
    for (const ModuleView& m : LoadedModules()) {
        // A module not met before gets the earlier standing hooks as well.
        if (lists.knownModules.insert({m.base, m.name}).second)
            for (size_t i = 0; i + 1 < lists.standing.size(); ++i) {
                const StandingImportHook& h = lists.standing[i];
                HookImport(m.base, h.libraryName, h.original, h.replacement, h.procName + "." + h.libraryName, true, false, h.procName);
            }
        any |= HookImport(m.base, libraryName, original, replacement, name, true, false, procName) != nullptr;
    }
    return any;
}

// --- method hooks ---

uintptr_t HookMethod(void** table, int index, void* replacement)
{
    HookLists* lists = Lists().get();
    if (!lists || !lists->methods || !table)
        return 0;
    THookedMethodsList& methods = *lists->methods;
    std::lock_guard lock(methods.FLock);
    if (table[index] == replacement) {
        for (const MethodHook& h : methods.FItems)
            if (h.table == table && h.index == index)
                return reinterpret_cast<uintptr_t>(h.previous);
        return 0;
    }
    void* previous = table[index];
    PatchSlot(table, index, replacement);
    if (table[index] != replacement)
        return 0; // not a slot of a loaded module
    methods.FItems.push_back({table, previous, index});
    return reinterpret_cast<uintptr_t>(previous);
}

bool UnhookMethod(void** table, int index)
{
    HookLists* lists = Lists().get();
    if (!lists || !lists->methods)
        return false;
    THookedMethodsList& methods = *lists->methods;
    std::lock_guard lock(methods.FLock);
    auto it = std::find_if(methods.FItems.begin(), methods.FItems.end(),
                           [&](const MethodHook& h) { return h.table == table && h.index == index; });
    if (it == methods.FItems.end())
        return false;
    PatchSlot(it->table, it->index, it->previous);
    methods.FItems.erase(it);
    return true;
}

size_t ProcedureHookCount()
{
    return Lists() ? Lists()->procedures.size() : 0;
}

size_t ImportHookCount()
{
    if (!Lists())
        return 0;
    std::lock_guard lock(Lists()->importLock);
    return Lists()->imports.size();
}

size_t MethodHookCount()
{
    if (!Lists() || !Lists()->methods)
        return 0;
    std::lock_guard lock(Lists()->methods->FLock);
    return Lists()->methods->FItems.size();
}

} // namespace cv
