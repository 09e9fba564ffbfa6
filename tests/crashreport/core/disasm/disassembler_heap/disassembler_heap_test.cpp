#include "crashreport/core/disasm/disassembler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Allocations counted while the test asks: the crash report decodes when
// the heap may be what broke, so decoding must take nothing from it.
namespace {
thread_local bool countAllocations = false;
std::atomic<int> allocations{0};
} // namespace

void* operator new(std::size_t size)
{
    if (countAllocations)
        ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return operator new(size);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

TEST(TDisAsm, TakesNoMemoryFromTheHeap)
{
    const std::vector<std::vector<uint8_t>> code = {
        {0x66, 0x66, 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00}, // prefix names
        {0x48, 0x66, 0x89, 0xC0},                                                 // a lone REX
        {0x62, 0xF1, 0x7C, 0xC9, 0x58, 0x40, 0x01},                               // the extended table
        {0x0F, 0x04},                                                             // data
        {0xF6, 0x04, 0x25, 0x00, 0x10, 0x00, 0x00, 0x80},                         // groups
        {0xC4, 0xE3, 0x71},                                                       // cut off
    };
    cv::TDisAsm d(cv::TDisAsmMode::x86_64);
    std::string text;
    text.reserve(256);
    d.GetInstruction(code[2], 0, text); // the extended table is made at its first use
    allocations = 0;
    countAllocations = true;
    for (const auto& bytes : code)
        d.GetInstruction(bytes, 0x1000, text);
    countAllocations = false;
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
