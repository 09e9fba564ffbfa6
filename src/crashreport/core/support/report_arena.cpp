#include "crashreport/core/support/report_arena.h"

#include <dlfcn.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

// Under the sanitizers the runtime owns malloc: the process's allocation is
// left to it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CV_ARENA_ROUTES 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define CV_ARENA_ROUTES 0
#endif
#endif
#ifndef CV_ARENA_ROUTES
#define CV_ARENA_ROUTES 1
#endif

// The C library's allocator under its own names.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* block);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace cv {

namespace {

// A block's header, the two words before it: a cookie made from its
// address, and its size (a multiple of 16) with the flags below. glibc's
// chunk header has its size word in the same place, with bits 0-2 as its
// flags and bit 3 always clear.
constexpr uint64_t kMarker = 8;
constexpr uint64_t kLarge = 1; // a mapping of its own
constexpr uint64_t kFree = 2;  // on a free list
constexpr uint64_t kFlags = 15;
constexpr std::size_t kHeader = 16;
// A large block's header also holds its mapping's start and length.
constexpr std::size_t kLargeHeader = 32;
constexpr uint64_t kCookieKey = 0x9E3779B97F4A7C15ULL;

// The sizes blocks are made in: 16 to 256 in steps of 16, then four steps
// to each doubling, up to 256 KiB; larger blocks are mappings of their own.
constexpr std::size_t kLargestSmall = 256 * 1024;
constexpr std::size_t kClassCount = 16 + 4 * 10;
constexpr std::array<std::size_t, kClassCount> kClassSizes = [] {
    std::array<std::size_t, kClassCount> sizes{};
    std::size_t n = 0;
    for (std::size_t size = 16; size <= 256; size += 16)
        sizes[n++] = size;
    for (std::size_t base = 256; base < kLargestSmall; base *= 2)
        for (std::size_t step = 1; step <= 4; ++step)
            sizes[n++] = base + base / 4 * step;
    return sizes;
}();
static_assert(kClassSizes.back() == kLargestSmall);

std::size_t ClassOf(std::size_t size)
{
    if (size <= 256)
        return size == 0 ? 0 : (size + 15) / 16 - 1;
    return std::size_t(std::lower_bound(kClassSizes.begin() + 16, kClassSizes.end(), size) - kClassSizes.begin());
}

// A list of free blocks that takes no lock: the head is the first block's
// address in the low 48 bits (user addresses fit in 47) and a count of
// changes above it, so that a head that left and came back meanwhile is
// not taken for the same one. A block's first word links to the next.
constexpr int kTagShift = 48;
constexpr uint64_t kAddressMask = (uint64_t(1) << kTagShift) - 1;

struct TFreeList {
    std::atomic<uint64_t> head{0};
};
TFreeList gFreeLists[kClassCount];

uint64_t NextTag(uint64_t head) { return ((head >> kTagShift) + 1) << kTagShift; }

void Push(TFreeList& list, void* block)
{
    auto* link = static_cast<uint64_t*>(block);
    uint64_t head = list.head.load(std::memory_order_relaxed);
    do
        __atomic_store_n(link, head & kAddressMask, __ATOMIC_RELAXED);
    while (!list.head.compare_exchange_weak(head, NextTag(head) | reinterpret_cast<uintptr_t>(block), std::memory_order_release,
                                            std::memory_order_relaxed));
}

void* Pop(TFreeList& list)
{
    uint64_t head = list.head.load(std::memory_order_acquire);
    for (;;) {
        auto* block = reinterpret_cast<uint64_t*>(head & kAddressMask);
        if (!block)
            return nullptr;
        // The arena's memory stays mapped: a block taken by another thread
        // meanwhile reads as anything, and the changed tag refuses it.
        const uint64_t next = __atomic_load_n(block, __ATOMIC_RELAXED);
        if (list.head.compare_exchange_weak(head, NextTag(head) | (next & kAddressMask), std::memory_order_acquire,
                                            std::memory_order_acquire))
            return block;
    }
}

// The memory small blocks are cut from: mappings of kChunkBytes, each
// handed out from its start; a used-up one is left to its blocks and a new
// one takes its place. Never unmapped.
constexpr std::size_t kChunkBytes = std::size_t(4) << 20;
constexpr std::size_t kChunkHead = 64;

struct TChunk {
    std::atomic<std::size_t> used{0};
    std::size_t size = 0;
};
std::atomic<TChunk*> gChunk{nullptr};

void* MapMemory(std::size_t length)
{
    void* memory = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

TChunk* MapChunk()
{
    void* memory = MapMemory(kChunkBytes);
    if (!memory)
        return nullptr;
    auto* chunk = new (memory) TChunk;
    chunk->size = kChunkBytes - kChunkHead;
    return chunk;
}

char* Cut(std::size_t length)
{
    for (;;) {
        TChunk* chunk = gChunk.load(std::memory_order_acquire);
        if (chunk) {
            const std::size_t at = chunk->used.fetch_add(length, std::memory_order_relaxed);
            if (at + length <= chunk->size)
                return reinterpret_cast<char*>(chunk) + kChunkHead + at;
        }
        TChunk* fresh = MapChunk();
        if (!fresh)
            return nullptr;
        if (!gChunk.compare_exchange_strong(chunk, fresh, std::memory_order_acq_rel))
            ::munmap(fresh, kChunkBytes);
    }
}

uint64_t* HeaderOf(const void* block) { return const_cast<uint64_t*>(static_cast<const uint64_t*>(block)) - 2; }
uint64_t CookieOf(const void* block) { return reinterpret_cast<uintptr_t>(block) ^ kCookieKey; }

void* Marked(char* block, std::size_t size, uint64_t flags)
{
    uint64_t* header = HeaderOf(block);
    header[0] = CookieOf(block);
    __atomic_store_n(&header[1], uint64_t(size) | kMarker | flags, __ATOMIC_RELEASE);
    return block;
}

void* AllocateSmall(std::size_t size)
{
    const std::size_t kind = ClassOf(size);
    const std::size_t classSize = kClassSizes[kind];
    auto* block = static_cast<char*>(Pop(gFreeLists[kind]));
    if (!block) {
        char* cut = Cut(kHeader + classSize);
        if (!cut)
            return nullptr;
        block = cut + kHeader;
    }
    return Marked(block, classSize, 0);
}

void* AllocateLarge(std::size_t size, std::size_t alignment)
{
    const auto page = std::size_t(::getpagesize());
    const std::size_t extra = kLargeHeader + (alignment > kHeader ? alignment : 0) + page;
    if (size > SIZE_MAX - extra)
        return nullptr;
    const std::size_t length = (size + extra) / page * page;
    auto* base = static_cast<char*>(MapMemory(length));
    if (!base)
        return nullptr;
    const uintptr_t first = reinterpret_cast<uintptr_t>(base) + kLargeHeader;
    char* block = base + ((first + alignment - 1) / alignment * alignment - reinterpret_cast<uintptr_t>(base));
    uint64_t* header = HeaderOf(block);
    header[-2] = reinterpret_cast<uintptr_t>(base);
    header[-1] = length;
    return Marked(block, std::size_t(base + length - block) & ~std::size_t(kFlags), kLarge);
}

// The C library's blocks freed or grown while a scope is open, linked
// through their first word; given back when the last scope closes.
std::atomic<uintptr_t> gHeld{0};
std::atomic<std::size_t> gHeldCount{0};
std::atomic<int> gScopes{0};

void Hold(void* block)
{
    auto* link = static_cast<uintptr_t*>(block);
    uintptr_t head = gHeld.load(std::memory_order_relaxed);
    do
        *link = head;
    while (!gHeld.compare_exchange_weak(head, reinterpret_cast<uintptr_t>(block), std::memory_order_release, std::memory_order_relaxed));
    gHeldCount.fetch_add(1, std::memory_order_relaxed);
}

void GiveBackHeld()
{
    uintptr_t block = gHeld.exchange(0, std::memory_order_acquire);
    while (block) {
        const uintptr_t next = *reinterpret_cast<uintptr_t*>(block);
        __libc_free(reinterpret_cast<void*>(block));
        gHeldCount.fetch_sub(1, std::memory_order_relaxed);
        block = next;
    }
}

bool Routing() { return gScopes.load(std::memory_order_relaxed) > 0; }

// The C library's own answer for its block, looked up once; where it
// cannot be found, read from the block's header as glibc keeps it (the
// chunk's size less its overhead: 8 bytes, 16 for a mapping of its own).
using TUsableSize = std::size_t (*)(void*);
std::atomic<TUsableSize> gLibraryUsableSize{nullptr};
std::atomic<bool> gLibraryUsableSizeSought{false};

std::size_t LibraryUsableSize(void* block)
{
    TUsableSize usable = gLibraryUsableSize.load(std::memory_order_acquire);
    if (!usable && !gLibraryUsableSizeSought.exchange(true)) {
        usable = reinterpret_cast<TUsableSize>(::dlsym(RTLD_NEXT, "malloc_usable_size"));
        gLibraryUsableSize.store(usable, std::memory_order_release);
    }
    if (usable)
        return usable(block);
    const uint64_t word = HeaderOf(block)[1];
    const std::size_t chunk = std::size_t(word & ~uint64_t(7));
    const std::size_t overhead = (word & 2) ? 16 : 8;
    return chunk > overhead ? chunk - overhead : 0;
}

bool PowerOfTwo(std::size_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::size_t RoundUpToPowerOfTwo(std::size_t value)
{
    std::size_t power = 16;
    while (power < value && power != 0)
        power <<= 1;
    return power;
}

// A block of `size` for a routed call: the arena's while a scope is open.
void* Allocate(std::size_t size, std::size_t alignment)
{
    void* block = ArenaAllocate(size, alignment);
    if (!block)
        errno = ENOMEM;
    return block;
}

} // namespace

TReportArenaScope::TReportArenaScope(TArenaLeave leave) : fLeave(leave) { gScopes.fetch_add(1, std::memory_order_acq_rel); }

TReportArenaScope::~TReportArenaScope()
{
    if (gScopes.fetch_sub(1, std::memory_order_acq_rel) == 1 && fLeave == TArenaLeave::GiveBack)
        GiveBackHeld();
}

void ReserveReportArena()
{
    if (!gChunk.load(std::memory_order_acquire))
        if (TChunk* chunk = MapChunk(); chunk) {
            TChunk* none = nullptr;
            if (!gChunk.compare_exchange_strong(none, chunk, std::memory_order_acq_rel))
                ::munmap(chunk, kChunkBytes);
        }
    // Looked up now: a lookup may allocate.
    if (!gLibraryUsableSize.load(std::memory_order_acquire)) {
        void* probe = __libc_malloc(1);
        LibraryUsableSize(probe);
        __libc_free(probe);
    }
}

bool ReportArenaActive() { return Routing(); }
bool ReportArenaRoutesAllocation() { return CV_ARENA_ROUTES != 0; }

void* ArenaAllocate(std::size_t size, std::size_t alignment)
{
    if (!PowerOfTwo(alignment))
        return nullptr;
    if (alignment <= kHeader && size <= kLargestSmall)
        return AllocateSmall(size);
    return AllocateLarge(size, std::max(alignment, kHeader));
}

void ArenaFree(void* block)
{
    if (!block)
        return;
    uint64_t* header = HeaderOf(block);
    const uint64_t word = __atomic_load_n(&header[1], __ATOMIC_ACQUIRE);
    if (word & kLarge) {
        ::munmap(reinterpret_cast<void*>(header[-2]), std::size_t(header[-1]));
        return;
    }
    // A block freed twice goes on its list once.
    if (__atomic_fetch_or(&header[1], kFree, __ATOMIC_ACQ_REL) & kFree)
        return;
    Push(gFreeLists[ClassOf(std::size_t(word & ~kFlags))], block);
}

bool IsArenaBlock(const void* block)
{
    if (!block)
        return false;
    const uint64_t* header = HeaderOf(block);
    return (__atomic_load_n(&header[1], __ATOMIC_ACQUIRE) & kMarker) != 0 && header[0] == CookieOf(block);
}

std::size_t ArenaBlockSize(const void* block) { return std::size_t(__atomic_load_n(&HeaderOf(block)[1], __ATOMIC_ACQUIRE) & ~kFlags); }

std::size_t ArenaHeldBlocks() { return gHeldCount.load(std::memory_order_relaxed); }

} // namespace cv

#if CV_ARENA_ROUTES

// The process's allocation functions (ELF symbol interposition: the C
// library, the C++ runtime and every other library call these).
using namespace cv;

extern "C" {

__attribute__((used, visibility("default"))) void* malloc(std::size_t size) noexcept
{
    return Routing() ? Allocate(size, 16) : __libc_malloc(size);
}

__attribute__((used, visibility("default"))) void free(void* block) noexcept
{
    if (!block)
        return;
    if (IsArenaBlock(block))
        ArenaFree(block);
    else if (Routing())
        Hold(block);
    else
        __libc_free(block);
}

__attribute__((used, visibility("default"))) void* calloc(std::size_t count, std::size_t size) noexcept
{
    if (!Routing())
        return __libc_calloc(count, size);
    std::size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    void* block = Allocate(total, 16);
    if (block)
        std::memset(block, 0, total);
    return block;
}

__attribute__((used, visibility("default"))) void* realloc(void* block, std::size_t size) noexcept
{
    if (!block)
        return malloc(size);
    if (size == 0) {
        free(block);
        return nullptr;
    }
    const bool ours = IsArenaBlock(block);
    if (!ours && !Routing())
        return __libc_realloc(block, size);
    const std::size_t have = ours ? ArenaBlockSize(block) : LibraryUsableSize(block);
    if (ours && size <= have && Routing())
        return block;
    void* grown = Routing() ? Allocate(size, 16) : __libc_malloc(size);
    if (!grown)
        return nullptr;
    std::memcpy(grown, block, std::min(have, size));
    free(block);
    return grown;
}

__attribute__((used, visibility("default"))) void* reallocarray(void* block, std::size_t count, std::size_t size) noexcept
{
    std::size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) {
        errno = ENOMEM;
        return nullptr;
    }
    return realloc(block, total);
}

__attribute__((used, visibility("default"))) void* memalign(std::size_t alignment, std::size_t size) noexcept
{
    return Routing() ? Allocate(size, RoundUpToPowerOfTwo(alignment)) : __libc_memalign(alignment, size);
}

__attribute__((used, visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept
{
    return memalign(alignment, size);
}

__attribute__((used, visibility("default"))) int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept
{
    if (alignment % sizeof(void*) != 0 || !PowerOfTwo(alignment))
        return EINVAL;
    const int saved = errno;
    void* block = memalign(alignment, size);
    if (!block)
        return ENOMEM;
    errno = saved;
    *result = block;
    return 0;
}

__attribute__((used, visibility("default"))) void* valloc(std::size_t size) noexcept
{
    return Routing() ? Allocate(size, std::size_t(::getpagesize())) : __libc_valloc(size);
}

__attribute__((used, visibility("default"))) void* pvalloc(std::size_t size) noexcept
{
    const auto page = std::size_t(::getpagesize());
    return Routing() ? Allocate((size + page - 1) / page * page, page) : __libc_pvalloc(size);
}

__attribute__((used, visibility("default"))) std::size_t malloc_usable_size(void* block) noexcept
{
    if (!block)
        return 0;
    return IsArenaBlock(block) ? ArenaBlockSize(block) : LibraryUsableSize(block);
}

} // extern "C"

#endif
