#include "crashreport/core/support/jump_thunks.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(CrashboxMemory, JumpThunksAreFollowedToTheirTarget)
{
    int target = 0;
    // jmp [rip+2]; two bytes of padding; the 8-byte cell.
    alignas(8) uint8_t thunk[16] = {0xFF, 0x25, 0x02, 0x00, 0x00, 0x00, 0x90, 0x90};
    const auto address = reinterpret_cast<uintptr_t>(&target);
    std::memcpy(thunk + 8, &address, 8);
    EXPECT_EQ(cv::GetRealProcAddress(thunk), &target);
    // With endbr64 and the bnd prefix, as the linker's own stubs are.
    alignas(8) uint8_t stub[24] = {0xF3, 0x0F, 0x1E, 0xFA, 0xF2, 0xFF, 0x25, 0x01, 0x00, 0x00, 0x00, 0x90};
    std::memcpy(stub + 12, &address, 8);
    EXPECT_EQ(cv::GetRealProcAddress(stub), &target);
    // Any other code is its own target.
    const void* routine = reinterpret_cast<const void*>(&cv::GetRealProcAddress);
    EXPECT_EQ(cv::GetRealProcAddress(routine), routine);
    thunk[1] = 0x15; // a call, not a jump
    EXPECT_EQ(cv::GetRealProcAddress(thunk), thunk);
}

} // namespace
