#include "crashreport/core/leaks/leak_catcher.h"
#include "crashreport/core/options/options_stream.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

// Defined (as 1) by the object library that replaces the allocation operators.
extern "C" __attribute__((weak)) const int cv_leak_catcher_operators_linked;

namespace cv {

namespace {

constexpr uint32_t kFreedMagic = 0xF3EEFAB1; // written over the header's magic by a free

enum : uint8_t { kStateLive = 0, kStateFreed = 1, kStateExcluded = 2 };

struct TBlockHeader {
    TBlockHeader* next;
    TBlockHeader* previous;
    uint8_t state;
    uint8_t kind;
    uint8_t linked;
    uint8_t zero1[5];
    uint64_t size;
    uintptr_t stack[kLeakCallStackSlots];
    uint32_t threadId;
    uint32_t baseOffset;
    uint64_t sequence;
    const char* className;
    uint64_t groupCount;
    uint64_t groupSize;
    uint8_t zero2[92];
    uint32_t magic;
};
static_assert(sizeof(TBlockHeader) == kLeakBlockOverHead);
static_assert(offsetof(TBlockHeader, size) == 24 && offsetof(TBlockHeader, stack) == 32);
static_assert(offsetof(TBlockHeader, threadId) == 168 && offsetof(TBlockHeader, groupSize) == 200);
static_assert(offsetof(TBlockHeader, magic) == 300);
static_assert(kLeakBlockOverHead % 16 == 0, "data must keep operator new's 16-byte alignment");

// ---- process-wide state (constant-initialised: the operators use it before main)

std::atomic<bool> g_active{false};
std::atomic<uint8_t> g_options{0};
std::atomic<uint64_t> g_sequence{0};
std::atomic<uint32_t> g_lockOwner{0}; // thread id of the lock's holder, 0 when free
TBlockHeader* g_head = nullptr;
TBlockHeader* g_tail = nullptr;
std::size_t g_liveCount = 0;
bool g_debuggerAttached = false;
bool g_inLibrary = false; // the catcher lives in a module other than the program

// Blocks from a page up that were given back: malloc may return their
// pages to the system at once, so a second free must be known without
// reading the header, which may be gone. Their data addresses are kept in a
// small table (one slot an address, a newer one taking an older one's
// place) until a new block takes the address again.
constexpr std::size_t kGivenBackFrom = 4096;
constexpr std::size_t kGivenBackSlots = 4096;
std::atomic<uintptr_t> g_givenBack[kGivenBackSlots];

std::atomic<uintptr_t>& GivenBackSlot(const void* data)
{
    const auto address = reinterpret_cast<uintptr_t>(data);
    return g_givenBack[(uint64_t(address) * 0x9E3779B97F4A7C15ull) >> 52];
}
static_assert(kGivenBackSlots == std::size_t(1) << 12, "the slot is the hash's top 12 bits");

bool WasGivenBack(const void* data) { return GivenBackSlot(data).load(std::memory_order_acquire) == reinterpret_cast<uintptr_t>(data); }
void RememberGivenBack(const void* data) { GivenBackSlot(data).store(reinterpret_cast<uintptr_t>(data), std::memory_order_release); }
void ForgetGivenBack(const void* data)
{
    // Every new block asks: a plain read first, the exchange only for an address the table holds.
    std::atomic<uintptr_t>& slot = GivenBackSlot(data);
    auto expected = reinterpret_cast<uintptr_t>(data);
    if (slot.load(std::memory_order_relaxed) == expected)
        slot.compare_exchange_strong(expected, 0, std::memory_order_acq_rel);
}

// Allocations the catcher itself makes (its reports, its caches) are never
// linked: the catcher's own work is not a leak.
thread_local bool t_internal = false;
thread_local uintptr_t t_stackTop = 0;

// Never destroyed: operator delete may still report after static destructors ran.
TLeakCallbacks& Callbacks()
{
    union TKeep {
        TLeakCallbacks value;
        TKeep() : value() {}
        ~TKeep() {}
    };
    static TKeep keep;
    return keep.value;
}

uint32_t ThreadId() { return uint32_t(::gettid()); }

// The spin lock: a test-and-set that retries after a yield and then after a
// 10 ms sleep. False when the calling thread already holds it (the shut-down
// thread allocating or freeing inside its own steps).
bool LockList()
{
    const uint32_t me = ThreadId();
    if (g_lockOwner.load(std::memory_order_relaxed) == me)
        return false;
    for (;;) {
        uint32_t expected = 0;
        if (g_lockOwner.compare_exchange_strong(expected, me, std::memory_order_acquire))
            return true;
        sched_yield();
        expected = 0;
        if (g_lockOwner.compare_exchange_strong(expected, me, std::memory_order_acquire))
            return true;
        const timespec tenMs{0, 10 * 1000 * 1000};
        nanosleep(&tenMs, nullptr);
    }
}

void UnlockList() { g_lockOwner.store(0, std::memory_order_release); }

uint8_t* DataOf(TBlockHeader* h) { return reinterpret_cast<uint8_t*>(h) + kLeakBlockOverHead; }
TBlockHeader* HeaderOf(void* data) { return reinterpret_cast<TBlockHeader*>(static_cast<uint8_t*>(data) - kLeakBlockOverHead); }
void* BaseOf(TBlockHeader* h) { return reinterpret_cast<uint8_t*>(h) - h->baseOffset; }

bool FooterIntact(TBlockHeader* h)
{
    uint32_t magic;
    std::memcpy(&magic, DataOf(h) + h->size, sizeof magic);
    return magic == kLeakBlockMagic;
}

uintptr_t StackTop()
{
    if (t_stackTop == 0) {
        pthread_attr_t attr;
        if (pthread_getattr_np(pthread_self(), &attr) == 0) {
            void* base = nullptr;
            std::size_t size = 0;
            if (pthread_attr_getstack(&attr, &base, &size) == 0)
                t_stackTop = reinterpret_cast<uintptr_t>(base) + size;
            pthread_attr_destroy(&attr);
        }
    }
    return t_stackTop;
}

// The raw stack from the allocating call upwards (from the frame of the
// allocation operator, whose return address comes first), less when the
// stack's top is nearer.
void CopyCallerStack(TBlockHeader* h, const void* callerFrame)
{
    const auto from = reinterpret_cast<uintptr_t>(callerFrame);
    const uintptr_t top = StackTop();
    if (top <= from)
        return;
    const std::size_t bytes = std::min<std::size_t>(sizeof h->stack, (top - from) / 8 * 8);
    std::memcpy(h->stack, reinterpret_cast<const void*>(from), bytes);
}

void Link(TBlockHeader* h)
{
    h->next = nullptr;
    h->previous = g_tail;
    if (g_tail)
        g_tail->next = h;
    else
        g_head = h;
    g_tail = h;
    h->linked = 1;
    ++g_liveCount;
}

void Unlink(TBlockHeader* h)
{
    if (h->previous)
        h->previous->next = h->next;
    else
        g_head = h->next;
    if (h->next)
        h->next->previous = h->previous;
    else
        g_tail = h->previous;
    h->next = h->previous = nullptr;
    h->linked = 0;
    --g_liveCount;
}

// Fills a fresh header and footer and, while catching, links the block.
void* Tag(void* base, std::size_t baseOffset, std::size_t size, const void* callerFrame)
{
    auto* h = reinterpret_cast<TBlockHeader*>(static_cast<uint8_t*>(base) + baseOffset);
    std::memset(h, 0, sizeof *h);
    h->size = size;
    h->baseOffset = uint32_t(baseOffset);
    h->magic = kLeakBlockMagic;
    const uint8_t footer[kLeakBlockOverFoot] = {0x10, 0xAB, 0x0F, 0x10, 0, 0, 0, 0}; // the magic, little-endian
    std::memcpy(DataOf(h) + size, footer, sizeof footer);
    ForgetGivenBack(DataOf(h));
    if (g_active.load(std::memory_order_acquire) && !t_internal) {
        h->threadId = ThreadId();
        h->sequence = ++g_sequence;
        CopyCallerStack(h, callerFrame);
        if (LockList()) {
            Link(h);
            UnlockList();
        }
    }
    return DataOf(h);
}

void ReportMessage(const std::string& caption, const std::string& text)
{
    const bool wasInternal = t_internal;
    t_internal = true;
    if (Callbacks().Message)
        Callbacks().Message(caption, text);
    else
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    t_internal = wasInternal;
}

// Marks a block freed; answers whether its memory may go back to the system now.
// A linked block freed by the shut-down thread inside its own steps stays in
// the list, marked freed, until the steps are over.
bool Release(TBlockHeader* h, bool& overrun)
{
    overrun = !FooterIntact(h);
    h->state = kStateFreed;
    if (!h->linked)
        return true;
    if (!LockList())
        return false;
    Unlink(h);
    UnlockList();
    return true;
}

// Double frees and overruns go to the core's callbacks with loCatchLeaksExceptions.
void NotifyFault(bool multiFree, const void* data, std::size_t size)
{
    if (!(g_options.load() & kLeakCatchLeaksExceptions))
        return;
    const bool wasInternal = t_internal;
    t_internal = true;
    if (multiFree && Callbacks().MultiFree)
        Callbacks().MultiFree(data);
    else if (!multiFree && Callbacks().Overrun)
        Callbacks().Overrun(data, size);
    t_internal = wasInternal;
}

} // namespace

std::string CheckLeakBlockSizes(std::size_t overHead, std::size_t overFoot)
{
    if (overHead % 8 != 0)
        return "BlockOverHead size is NOT a multiple of 8.";
    if (overFoot % 8 != 0)
        return "BlockOverFoot size is NOT a multiple of 8.";
    if ((overHead + overFoot) % 8 != 0)
        return "(BlockOverHead + BlockOverHead) size is NOT a multiple of 8.";
    return {};
}

namespace {

bool BlockSaysCatch(const TLeakOptionsBlock* block)
{
    if (!block || (block->Magic != 0x100FAB10 && block->Magic != 0x000FAB10))
        return false;
    const uint32_t version = NormalisedDataVersion(block->Version);
    return version >= 6000 && (block->LeaksOptions & kLeakCatchLeaks);
}

std::string UpperFileName(const std::string& path)
{
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (auto& c : name)
        c = char(std::toupper(uint8_t(c)));
    return name;
}

} // namespace

bool LeakCatchingWanted(const TLeakCatcherStartup& startup)
{
    if (UpperFileName(startup.MainModuleFileName) == "BDS.EXE")
        return false;
    if (!BlockSaysCatch(startup.ModuleBlock))
        return false;
    // Another module that wants catching: the main module's block decides.
    return startup.IsMainModule || BlockSaysCatch(startup.MainModuleBlock);
}

bool LeakOperatorsInForce() { return &cv_leak_catcher_operators_linked != nullptr && cv_leak_catcher_operators_linked == 1; }

TLeakCatcherState StartLeakCatcher(const TLeakCatcherStartup& startup)
{
    const std::string sizes = CheckLeakBlockSizes();
    if (!sizes.empty())
        throw std::logic_error(sizes);
    g_debuggerAttached = startup.DebuggerAttached;
    g_inLibrary = !startup.IsMainModule;
    if (!LeakCatchingWanted(startup))
        return TLeakCatcherState::lcsNotWanted;
    if (!LeakOperatorsInForce()) {
        if (startup.DebuggerAttached)
            ReportMessage("Error", "The \"Memory Leaks Catches\" is disabled in the \"" + startup.ModuleFileName
                                       + "\" module, because compiled with RunTime-Packages.");
        return TLeakCatcherState::lcsSharedRuntime;
    }
    g_options = startup.ModuleBlock->LeaksOptions;
    g_active.store(true, std::memory_order_release);
    return TLeakCatcherState::lcsActive;
}

void SetLeakCallbacks(TLeakCallbacks callbacks)
{
    t_internal = true;
    Callbacks() = std::move(callbacks);
    t_internal = false;
}

bool LeakCatcherActive() { return g_active.load(); }
uint8_t LeakOptions() { return g_options.load(); }

std::size_t LeakLiveBlockCount()
{
    const bool locked = LockList();
    const std::size_t count = g_liveCount;
    if (locked)
        UnlockList();
    return count;
}

void* LeakGetMem(std::size_t size, std::size_t alignment, const void* callerFrame)
{
    if (!callerFrame)
        callerFrame = __builtin_frame_address(0);
    alignment = std::max<std::size_t>(alignment, 16);
    const std::size_t extra = alignment > 16 ? alignment : 0;
    if (size > SIZE_MAX - kLeakBlockOverHead - kLeakBlockOverFoot - extra)
        return nullptr;
    void* base = std::malloc(kLeakBlockOverHead + size + kLeakBlockOverFoot + extra);
    if (!base)
        return nullptr;
    std::size_t offset = 0;
    if (extra) {
        const uintptr_t data = (reinterpret_cast<uintptr_t>(base) + kLeakBlockOverHead + alignment - 1) & ~(alignment - 1);
        offset = data - kLeakBlockOverHead - reinterpret_cast<uintptr_t>(base);
    }
    return Tag(base, offset, size, callerFrame);
}

void LeakFreeMem(void* data)
{
    if (!data)
        return;
    if (WasGivenBack(data)) {
        NotifyFault(true, data, 0);
        return;
    }
    TBlockHeader* h = HeaderOf(data);
    if (h->magic == kFreedMagic || (h->magic == kLeakBlockMagic && h->state == kStateFreed)) {
        // Freed already: reported, and not given back a second time.
        NotifyFault(true, data, 0);
        return;
    }
    if (h->magic != kLeakBlockMagic) {
        std::free(data); // not one of ours
        return;
    }
    bool overrun = false;
    const bool giveBack = Release(h, overrun);
    const std::size_t size = h->size;
    if (giveBack)
        h->magic = kFreedMagic;
    if (overrun)
        NotifyFault(false, data, size);
    if (giveBack) {
        // Known as given back before it is: a new block at the address forgets it.
        if (kLeakBlockOverHead + size + kLeakBlockOverFoot >= kGivenBackFrom)
            RememberGivenBack(data);
        std::free(BaseOf(h));
    }
}

void* LeakReallocMem(void* data, std::size_t size)
{
    if (!data)
        return LeakGetMem(size);
    if (WasGivenBack(data)) {
        NotifyFault(true, data, 0);
        return nullptr;
    }
    TBlockHeader* h = HeaderOf(data);
    if (h->magic != kLeakBlockMagic)
        return std::realloc(data, size);
    if (h->state == kStateFreed || h->baseOffset != 0 || size > SIZE_MAX - kLeakBlockOverHead - kLeakBlockOverFoot) {
        // A freed block, or one placed for a wider alignment: a new block and a copy.
        if (h->state == kStateFreed) {
            NotifyFault(true, data, 0);
            return nullptr;
        }
        void* moved = LeakGetMem(size, 16);
        if (moved) {
            std::memcpy(moved, data, std::min<std::size_t>(size, h->size));
            LeakFreeMem(data);
        }
        return moved;
    }
    bool overrun = false;
    const bool wasLinked = h->linked;
    if (!Release(h, overrun)) {
        // Inside the shut-down steps: the old block stays listed as freed.
        void* moved = LeakGetMem(size, 16);
        if (moved)
            std::memcpy(moved, data, std::min<std::size_t>(size, h->size));
        return moved;
    }
    if (overrun)
        NotifyFault(false, data, h->size);
    // A block that moves is given back at its old address.
    const bool large = kLeakBlockOverHead + h->size + kLeakBlockOverFoot >= kGivenBackFrom;
    if (large)
        RememberGivenBack(data);
    void* base = std::realloc(h, kLeakBlockOverHead + size + kLeakBlockOverFoot);
    if (!base) {
        // The old block is still there: it goes back into the list as it was.
        if (large)
            ForgetGivenBack(data);
        h->state = kStateLive;
        if (wasLinked && LockList()) {
            Link(h);
            UnlockList();
        }
        return nullptr;
    }
    auto* moved = static_cast<TBlockHeader*>(base);
    // Keep the caller's stack and number of the first allocation.
    TBlockHeader saved;
    std::memcpy(&saved, moved, sizeof saved);
    void* result = Tag(base, 0, size, __builtin_frame_address(0));
    if (saved.sequence) {
        std::memcpy(moved->stack, saved.stack, sizeof saved.stack);
        moved->sequence = saved.sequence;
        moved->threadId = saved.threadId;
    }
    moved->kind = saved.kind;
    moved->className = saved.className;
    return result;
}

void LeakMarkObject(void* data, const char* className)
{
    if (!data)
        return;
    TBlockHeader* h = HeaderOf(data);
    if (h->magic != kLeakBlockMagic)
        return;
    h->kind = 1;
    h->className = className;
}

// ---------------------------------------------------------------- shut-down

namespace {

// The readable regions of the address space, read once from the process's
// memory map at the start of the shut-down (the memory pages cache).
class TMemoryPagesCache {
public:
    TMemoryPagesCache()
    {
        std::ifstream maps("/proc/self/maps");
        std::string line;
        while (std::getline(maps, line)) {
            unsigned long long from = 0, to = 0;
            char perms[5] = {};
            if (std::sscanf(line.c_str(), "%llx-%llx %4s", &from, &to, perms) == 3 && perms[0] == 'r')
                m_regions.push_back({uintptr_t(from), uintptr_t(to), perms[2] == 'x'});
        }
    }
    // Whether [address, address + size) lies in readable (executable) memory.
    bool Readable(uintptr_t address, std::size_t size, bool executable) const
    {
        if (address + size < address)
            return false;
        for (const auto& r : m_regions)
            if (address >= r.from && address + size <= r.to)
                return !executable || r.executable;
        return false;
    }

private:
    struct TRegion {
        uintptr_t from, to;
        bool executable;
    };
    std::vector<TRegion> m_regions;
};

// Whether value is the return address of a call: the bytes before it form a
// call instruction of x86-64 (direct, RIP-relative, through a register or
// through memory addressed by a register, with or without a REX prefix).
bool FollowsCall(uintptr_t value, const TMemoryPagesCache& pages)
{
    if (value < 7 || !pages.Readable(value - 7, 7, true))
        return false;
    const auto* p = reinterpret_cast<const uint8_t*>(value);
    auto callModRm = [](uint8_t modrm, int mod) { return (modrm >> 6) == mod && ((modrm >> 3) & 7) == 2; };
    if (p[-5] == 0xE8)
        return true; // call rel32
    if (p[-6] == 0xFF && p[-5] == 0x15)
        return true; // call [rip + disp32]
    if (p[-2] == 0xFF && (callModRm(p[-1], 3) || (callModRm(p[-1], 0) && (p[-1] & 7) != 4 && (p[-1] & 7) != 5)))
        return true; // call reg, call [reg]
    if ((p[-3] & 0xF0) == 0x40 && p[-2] == 0xFF && (callModRm(p[-1], 3) || callModRm(p[-1], 0)))
        return true; // the same with REX
    if (p[-3] == 0xFF && callModRm(p[-2], 1))
        return true; // call [reg + disp8]
    if (p[-4] == 0xFF && callModRm(p[-3], 1) && (p[-3] & 7) == 4)
        return true; // call [sib + disp8]
    if (p[-6] == 0xFF && callModRm(p[-5], 2))
        return true; // call [reg + disp32]
    if ((p[-7] & 0xF0) == 0x40 && p[-6] == 0xFF && callModRm(p[-5], 2))
        return true;
    return false;
}

bool SameStack(const TBlockHeader* a, const TBlockHeader* b)
{
    return std::memcmp(a->stack, b->stack, sizeof a->stack) == 0;
}

bool SameClass(const TBlockHeader* a, const TBlockHeader* b)
{
    if (a->kind != b->kind)
        return false;
    return a->kind == 0 || (a->className && b->className && std::strcmp(a->className, b->className) == 0);
}

// One run of the end-of-program steps, with the list locked.
class TLeakShutDown {
public:
    TLeakTotals Run();

private:
    template <typename Step>
    bool RunStep(const char* name, Step step);
    bool ListIsSound();
    void PurgeInvalidLeaks();
    void RemoveExtraLeaks();
    void PurgeCallStacks();
    void CountAllLeaks();
    void RemoveLeaksSons();
    void HandleAnyLeak();
    void FreeAllLeaks();
    void FreeDeferred();
    void Exclude(const char* className, int count);

    std::unique_ptr<TMemoryPagesCache> m_pages;
    TLeakTotals m_totals;
    bool m_locked = false;
};

template <typename Step>
bool TLeakShutDown::RunStep(const char* name, Step step)
{
    try {
        step();
        return true;
    } catch (...) {
        ReportMessage("Error", std::string("Error in ELeaks \"") + name);
        return false;
    }
}

bool TLeakShutDown::ListIsSound()
{
    const TBlockHeader* previous = nullptr;
    for (const TBlockHeader* h = g_head; h; h = h->next) {
        if (h->magic != kLeakBlockMagic || h->previous != previous || !h->linked)
            return false;
        previous = h;
    }
    return previous == g_tail;
}

// The runtime's own long-lived objects (when programs mark them as such).
void TLeakShutDown::Exclude(const char* className, int count)
{
    for (TBlockHeader* h = g_head; h && count != 0; h = h->next)
        if (h->state == kStateLive && h->kind == 1 && h->className && std::strcmp(h->className, className) == 0) {
            h->state = kStateExcluded;
            --count;
        }
}

void TLeakShutDown::PurgeInvalidLeaks()
{
    if (!(g_options.load() & kLeakHideRuntimeLeaks))
        return;
    bool haveIdSection = false;
    for (TBlockHeader* h = g_head; h; h = h->next)
        haveIdSection |= h->state == kStateLive && h->kind == 1 && h->className && std::strcmp(h->className, "TIdCriticalSection") == 0;
    Exclude(haveIdSection ? "TIdCriticalSection" : "TCriticalSection", 1);
    Exclude("TIdThreadSafeInteger", 1);
    Exclude("TIntConst", -1);
    bool haveForm = false;
    for (TBlockHeader* h = g_head; h; h = h->next)
        haveForm |= h->state == kStateLive && h->kind == 1 && h->className && std::strcmp(h->className, "TForm") == 0;
    if (haveForm) {
        // The data blocks a live form keeps: one of 60 bytes, two of 32 and one of 64.
        const std::pair<uint64_t, int> blocks[] = {{60, 1}, {32, 2}, {64, 1}};
        for (auto [size, count] : blocks)
            for (TBlockHeader* h = g_head; h && count > 0; h = h->next)
                if (h->state == kStateLive && h->kind == 0 && h->size == size) {
                    h->state = kStateExcluded;
                    --count;
                }
    }
    if (g_inLibrary)
        Exclude("TThemeServices", 1);
}

// Blocks freed inside the steps are no leaks.
void TLeakShutDown::RemoveExtraLeaks()
{
    for (TBlockHeader* h = g_head; h; h = h->next)
        if (h->state == kStateFreed)
            h->state = kStateExcluded;
}

// Only the return addresses stay, nearest first.
void TLeakShutDown::PurgeCallStacks()
{
    for (TBlockHeader* h = g_head; h; h = h->next) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < kLeakCallStackSlots; ++i)
            if (FollowsCall(h->stack[i], *m_pages))
                h->stack[kept++] = h->stack[i];
        std::fill(h->stack + kept, h->stack + kLeakCallStackSlots, 0);
    }
}

// Totals of every leak; blocks of one class and call stack become one group.
void TLeakShutDown::CountAllLeaks()
{
    for (TBlockHeader* h = g_head; h; h = h->next)
        if (h->state == kStateLive) {
            ++m_totals.Count;
            m_totals.Size += h->size;
            h->groupCount = 1;
            h->groupSize = h->size;
        }
    for (TBlockHeader* h = g_head; h; h = h->next) {
        if (h->state != kStateLive)
            continue;
        for (TBlockHeader* other = h->next; other; other = other->next)
            if (other->state == kStateLive && SameClass(h, other) && SameStack(h, other)) {
                other->state = kStateExcluded;
                ++h->groupCount;
                h->groupSize += other->size;
            }
    }
}

// A leak whose address another leak holds is part of that one (loGroupsSonLeaks).
void TLeakShutDown::RemoveLeaksSons()
{
    if (!(g_options.load() & kLeakGroupsSonLeaks))
        return;
    std::vector<std::pair<uintptr_t, TBlockHeader*>> leaks;
    for (TBlockHeader* h = g_head; h; h = h->next)
        if (h->state != kStateFreed)
            leaks.push_back({reinterpret_cast<uintptr_t>(DataOf(h)), h});
    std::sort(leaks.begin(), leaks.end());
    for (TBlockHeader* h = g_head; h; h = h->next) {
        if (h->state != kStateLive)
            continue;
        const uint8_t* data = DataOf(h);
        for (std::size_t at = 0; at + sizeof(uintptr_t) <= h->size; at += sizeof(uintptr_t)) {
            uintptr_t value;
            std::memcpy(&value, data + at, sizeof value);
            const auto it = std::lower_bound(leaks.begin(), leaks.end(), std::make_pair(value, static_cast<TBlockHeader*>(nullptr)));
            if (it != leaks.end() && it->first == value && it->second != h && it->second->state == kStateLive)
                it->second->state = kStateExcluded;
        }
    }
}

void TLeakShutDown::HandleAnyLeak()
{
    bool opened = false;
    for (TBlockHeader* h = g_head; h; h = h->next) {
        if (h->state == kStateExcluded || h->state == kStateFreed || h->stack[0] == 0)
            continue;
        if (!opened && Callbacks().OpenReport)
            Callbacks().OpenReport();
        opened = true;
        std::size_t depth = 0;
        while (depth < kLeakCallStackSlots && h->stack[depth])
            ++depth;
        TLeakReport report;
        report.Type = h->kind == 1 && h->state == kStateLive && h->className ? std::string_view(h->className) : std::string_view("Data");
        report.Size = h->groupSize;
        report.Count = uint32_t(h->groupCount);
        report.Header = h;
        report.CallStack = std::span<const uintptr_t>(h->stack, depth);
        if (Callbacks().Leak)
            Callbacks().Leak(report);
    }
    if (opened && Callbacks().CloseReport)
        Callbacks().CloseReport();
}

void TLeakShutDown::FreeAllLeaks()
{
    if (!(g_options.load() & kLeakFreeAllLeaks))
        return;
    while (g_head) {
        TBlockHeader* h = g_head;
        Unlink(h);
        h->state = kStateFreed;
        h->magic = kFreedMagic;
        std::free(BaseOf(h));
    }
}

void TLeakShutDown::FreeDeferred()
{
    for (TBlockHeader* h = g_head; h;) {
        TBlockHeader* next = h->next;
        if (h->state == kStateFreed) {
            Unlink(h);
            h->magic = kFreedMagic;
            std::free(BaseOf(h));
        }
        h = next;
    }
}

TLeakTotals TLeakShutDown::Run()
{
    bool sound = true;
    RunStep("Initialize the Memory Pages Cache", [&] { m_pages = std::make_unique<TMemoryPagesCache>(); });
    RunStep("Lock AllocatedList_Lock", [&] {
        m_locked = LockList();
        sound = ListIsSound();
    });
    if (!sound) {
        if (g_debuggerAttached)
            ReportMessage("Error", "The application contains some memory leaks but it's impossible to show them because another "
                                   "Memory Manager has already freed them.\r\nUse a memory manager that keeps the blocks "
                                   "of this one until the end of the program.");
    } else if (m_pages) {
        RunStep("PurgeInvalidLeaks", [&] { PurgeInvalidLeaks(); }) && RunStep("RemoveExtraLeaks", [&] { RemoveExtraLeaks(); })
            && RunStep("PurgeCallStacks", [&] { PurgeCallStacks(); }) && RunStep("CountAllLeaks", [&] { CountAllLeaks(); })
            && RunStep("RemoveLeaksSons", [&] { RemoveLeaksSons(); }) && RunStep("HandleAnyLeak", [&] { HandleAnyLeak(); })
            && RunStep("FreeAllLeaks", [&] { FreeAllLeaks(); });
        FreeDeferred();
    }
    // Catching ends here: later blocks are no longer listed.
    g_active.store(false, std::memory_order_release);
    RunStep("Unlock AllocatedList_Lock", [&] {
        if (m_locked)
            UnlockList();
    });
    RunStep("Free The Memory Pages Cache", [&] { m_pages.reset(); });
    return m_totals;
}

} // namespace

TLeakTotals ShutDownLeakCatcher()
{
    if (!g_active.load())
        return {};
    t_internal = true;
    TLeakTotals totals = TLeakShutDown().Run();
    t_internal = false;
    return totals;
}

} // namespace cv
