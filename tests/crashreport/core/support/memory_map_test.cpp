#include "crashreport/core/support/memory_map.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(CrashboxMemory, ReadabilityFollowsTheMemoryMap)
{
    const long page = sysconf(_SC_PAGESIZE);
    // Two read-write pages, then one that is reserved only.
    auto* base = static_cast<uint8_t*>(mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base + 2 * page, page, PROT_NONE), 0);
    // Split the first two into regions of their own: the range spans both.
    ASSERT_EQ(mprotect(base + page, page, PROT_READ), 0);
    EXPECT_TRUE(cv::IsReadableMemory(base + page - 8, 16));
    EXPECT_TRUE(cv::IsReadableMemory(base, 2 * page));
    EXPECT_FALSE(cv::IsReadableMemory(base + page, page + 1));
    EXPECT_FALSE(cv::IsReadableMemory(base + 2 * page, 1));
    // A change after the map was read is seen at the next miss.
    ASSERT_EQ(mprotect(base + 2 * page, page, PROT_READ), 0);
    EXPECT_TRUE(cv::IsReadableMemory(base, 3 * page));
    // Memory given back is readable no more once the map is read again.
    munmap(base, 3 * page);
    cv::ForgetMemoryMap();
    EXPECT_FALSE(cv::IsReadableMemory(base, 1));
    EXPECT_FALSE(cv::IsReadableMemory(nullptr, 4));
    EXPECT_FALSE(cv::IsReadableMemory(reinterpret_cast<void*>(UINTPTR_MAX - 2), 8));
    int local = 0;
    EXPECT_TRUE(cv::IsReadableMemory(&local, sizeof local));
}

} // namespace
