#include "crashreport/core/support/report_arena.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The C library's allocator under its own names, beside the arena's.
extern "C" {
void* __libc_malloc(std::size_t size);
void __libc_free(void* block);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

using namespace cv;

namespace {

bool AlignedTo(const void* block, std::size_t alignment) { return reinterpret_cast<uintptr_t>(block) % alignment == 0; }

// Fills a block with a pattern of its own; whether it still holds it.
void Fill(void* block, std::size_t size, unsigned char seed) { std::memset(block, seed, size); }
bool Holds(const void* block, std::size_t size, unsigned char seed)
{
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i)
        if (bytes[i] != seed)
            return false;
    return true;
}

// Pointers the compiler may not see through (so that it keeps the calls).
void* volatile gKeep = nullptr;

#define SKIP_UNLESS_ROUTED()                                                                                                         \
    if (!ReportArenaRoutesAllocation())                                                                                              \
    GTEST_SKIP() << "the sanitizer's runtime owns malloc here"

} // namespace

TEST(ReportArena, BlocksOfEverySizeAreAlignedKeepTheirBytesAndAreMadeAgainFromWhatWasFreed)
{
    ReserveReportArena();
    const std::size_t sizes[] = {0, 1, 15, 16, 17, 100, 256, 257, 1000, 4096, 70000, 262144, 262145, 1 << 20};
    std::vector<void*> blocks;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        void* block = ArenaAllocate(sizes[i]);
        ASSERT_NE(block, nullptr) << sizes[i];
        EXPECT_TRUE(IsArenaBlock(block));
        EXPECT_TRUE(AlignedTo(block, 16)) << sizes[i];
        EXPECT_GE(ArenaBlockSize(block), sizes[i]);
        Fill(block, sizes[i], static_cast<unsigned char>(i + 1));
        blocks.push_back(block);
    }
    for (std::size_t i = 0; i < std::size(sizes); ++i)
        EXPECT_TRUE(Holds(blocks[i], sizes[i], static_cast<unsigned char>(i + 1))) << "no block overlaps another: " << sizes[i];
    // A freed block of a size is the next one made of that size.
    void* const freed = blocks[5];
    ArenaFree(freed);
    EXPECT_EQ(ArenaAllocate(sizes[5]), freed);
    for (void* block : blocks)
        ArenaFree(block);

    for (const std::size_t alignment : {32u, 4096u, 65536u}) {
        void* block = ArenaAllocate(100, alignment);
        ASSERT_NE(block, nullptr);
        EXPECT_TRUE(AlignedTo(block, alignment)) << alignment;
        EXPECT_TRUE(IsArenaBlock(block));
        ArenaFree(block);
    }
    EXPECT_EQ(ArenaAllocate(100, 24), nullptr) << "an alignment that is no power of two";
}

TEST(ReportArena, ABlockFreedTwiceIsMadeAgainOnlyOnce)
{
    void* block = ArenaAllocate(48);
    ArenaFree(block);
    ArenaFree(block);
    void* first = ArenaAllocate(48);
    void* second = ArenaAllocate(48);
    EXPECT_NE(first, second);
    ArenaFree(first);
    ArenaFree(second);
}

TEST(ReportArena, NoBlockOfTheCLibraryIsTakenForOneOfTheArenas)
{
    std::vector<void*> blocks;
    for (std::size_t size : {1u, 24u, 100u, 1000u, 5000u, 200000u, 4u << 20})
        blocks.push_back(__libc_malloc(size));
    blocks.push_back(__libc_memalign(4096, 300));
    blocks.push_back(__libc_calloc(10, 1000));
    for (void* block : blocks) {
        EXPECT_FALSE(IsArenaBlock(block));
        __libc_free(block);
    }
    // A block whose neighbour below fills its last bytes (which the C
    // library lends to the next block's header) with set bits.
    auto* below = static_cast<unsigned char*>(__libc_malloc(24));
    void* above = __libc_malloc(24);
    std::memset(below, 0xFF, malloc_usable_size(below));
    EXPECT_FALSE(IsArenaBlock(above));
    __libc_free(below);
    __libc_free(above);
    EXPECT_FALSE(IsArenaBlock(nullptr));
}

TEST(ReportArena, InAScopeEveryAllocationIsTheArenasAndTheLibrarysFreedBlocksWaitUntilItsEnd)
{
    SKIP_UNLESS_ROUTED();
    void* before = std::malloc(200);
    void* grown = std::malloc(300);
    Fill(grown, 300, 0x5A);
    ASSERT_FALSE(IsArenaBlock(before));
    const std::size_t heldBefore = ArenaHeldBlocks();
    void* made = nullptr;
    {
        const TReportArenaScope scope;
        EXPECT_TRUE(ReportArenaActive());
        made = std::malloc(50);
        EXPECT_TRUE(IsArenaBlock(made));
        auto text = std::make_unique<std::string>(1000, 'x'); // operator new too
        EXPECT_TRUE(IsArenaBlock(text.get()));
        std::free(before);
        EXPECT_EQ(ArenaHeldBlocks(), heldBefore + 1) << "not handed to the C library while the scope is open";
        // Grown into the arena, with its bytes; the old block waits too.
        grown = std::realloc(grown, 5000);
        EXPECT_TRUE(IsArenaBlock(grown));
        EXPECT_TRUE(Holds(grown, 300, 0x5A));
        EXPECT_EQ(ArenaHeldBlocks(), heldBefore + 2);
        EXPECT_EQ(malloc_usable_size(grown), ArenaBlockSize(grown));
    }
    EXPECT_FALSE(ReportArenaActive());
    EXPECT_EQ(ArenaHeldBlocks(), 0u) << "given back as the scope closed";
    // Arena blocks live on: freed, or grown back into the C library's, later.
    grown = std::realloc(grown, 100000);
    EXPECT_FALSE(IsArenaBlock(grown));
    EXPECT_TRUE(Holds(grown, 300, 0x5A));
    std::free(grown);
    std::free(made);
    gKeep = std::malloc(10);
    EXPECT_FALSE(IsArenaBlock(gKeep));
    std::free(gKeep);
}

TEST(ReportArena, TheScopeOfAFatalSignalsReportKeepsTheLibrarysBlocksForTheNextGiveBack)
{
    SKIP_UNLESS_ROUTED();
    gKeep = std::malloc(64);
    {
        const TReportArenaScope outer(TArenaLeave::KeepHeld);
        {
            const TReportArenaScope inner; // a pause inside the report
            std::free(gKeep);
        }
        EXPECT_TRUE(ReportArenaActive()) << "nested: the report's scope is still open";
        EXPECT_EQ(ArenaHeldBlocks(), 1u);
    }
    EXPECT_EQ(ArenaHeldBlocks(), 1u) << "the faulting thread may hold the lock until the process ends";
    { const TReportArenaScope later; }
    EXPECT_EQ(ArenaHeldBlocks(), 0u);
}

TEST(ReportArena, TheCAllocationFunctionsKeepTheirContractsInAScope)
{
    SKIP_UNLESS_ROUTED();
    const TReportArenaScope scope;
    void* dirty = std::malloc(64);
    std::memset(dirty, 0xFF, 64);
    std::free(dirty);
    auto* zeroed = static_cast<unsigned char*>(std::calloc(8, 8));
    ASSERT_NE(zeroed, nullptr);
    EXPECT_TRUE(Holds(zeroed, 64, 0)) << "a block made again from a freed one is cleared";
    std::free(zeroed);
    volatile std::size_t huge = SIZE_MAX / 2;
    EXPECT_EQ(std::calloc(huge, 4), nullptr) << "a product that overflows";

    void* aligned = nullptr;
    EXPECT_EQ(posix_memalign(&aligned, 256, 1000), 0);
    EXPECT_TRUE(AlignedTo(aligned, 256));
    EXPECT_TRUE(IsArenaBlock(aligned));
    std::free(aligned);
    EXPECT_EQ(posix_memalign(&aligned, 24, 100), EINVAL);
    void* page = std::aligned_alloc(4096, 4096);
    EXPECT_TRUE(AlignedTo(page, 4096));
    std::free(page);

    void* shrunk = std::malloc(1000);
    void* const same = std::realloc(shrunk, 10);
    EXPECT_EQ(same, shrunk) << "a smaller size stays in its block";
    EXPECT_EQ(std::realloc(same, 0), nullptr) << "realloc to nothing frees, as the C library's does";
}

TEST(ReportArena, ThreadsAllocatingAndFreeingAtOnceNeverShareABlock)
{
    constexpr int kThreads = 8, kRounds = 20000;
    std::atomic<int> overlaps{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &overlaps] {
            std::vector<std::pair<void*, std::size_t>> kept;
            for (int i = 0; i < kRounds; ++i) {
                const std::size_t size = std::size_t(16 + (i * 37 + t * 11) % 600);
                void* block = ArenaAllocate(size);
                Fill(block, size, static_cast<unsigned char>(t));
                kept.emplace_back(block, size);
                if (kept.size() > 16 || i % 3 == 0) {
                    const auto [old, oldSize] = kept.front();
                    if (!Holds(old, oldSize, static_cast<unsigned char>(t)))
                        ++overlaps;
                    ArenaFree(old);
                    kept.erase(kept.begin());
                }
            }
            for (const auto& [block, size] : kept)
                ArenaFree(block);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(overlaps.load(), 0);
}
