#include "crashreport/core/capture/frame_unwind.h"

#include "crashreport/core/support/memory_map.h"

#include <gtest/gtest.h>

#include <execinfo.h>
#include <ucontext.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

using namespace cv;

// The thread's own stack, read where it lies.
class TLiveStack final : public TStackReader {
public:
    bool Read(uint64_t address, uint64_t& value) const override
    {
        if (!IsReadableMemory(reinterpret_cast<const void*>(address), sizeof value))
            return false;
        std::memcpy(&value, reinterpret_cast<const void*>(address), sizeof value);
        return true;
    }
};

struct TWalk {
    std::vector<uintptr_t> returns;           // the return addresses the steps reached
    std::vector<uintptr_t> runtimes;          // the C++ runtime unwinder's, from the same place
    std::vector<uint32_t> knownAfterEachStep; // the registers known after each step
};

// Walks the stack from a context of its own frame, and asks the runtime's
// unwinder from the same frame.
__attribute__((noinline)) void WalkHere(TWalk& walk)
{
    std::array<void*, 64> frames{};
    const int count = ::backtrace(frames.data(), int(frames.size()));
    ucontext_t context{};
    ASSERT_EQ(::getcontext(&context), 0);
    for (int i = 1; i < count; ++i)
        walk.runtimes.push_back(reinterpret_cast<uintptr_t>(frames[std::size_t(i)]));
    ForgetCallFrameRules();
    TUnwindFrame frame = FrameOfContext(context);
    const TLiveStack stack;
    while (walk.returns.size() < walk.runtimes.size() && UnwindFrame(frame, stack) == TUnwindStep::Stepped) {
        walk.returns.push_back(uintptr_t(frame.Registers.Value[kDwarfReturnAddress]));
        walk.knownAfterEachStep.push_back(frame.Registers.Known);
    }
}

__attribute__((noinline)) void Recurse(int depth, TWalk& walk)
{
    if (depth == 0)
        WalkHere(walk);
    else
        Recurse(depth - 1, walk);
    asm volatile("" ::: "memory"); // no tail call
}

// Stepped frame after frame from a context of the thread's own, the walk
// returns to the places the runtime's unwinder finds, through a recursion
// (the same rules met again and again) and out of it; at each step the
// callee-saved registers are known and the scratch ones without a rule are
// not (their values in the caller are lost).
TEST(FrameUnwind, WalksTheOwnStackAsTheRuntimesUnwinderDoes)
{
    TWalk walk;
    Recurse(20, walk);
    ASSERT_GE(walk.runtimes.size(), 22u);
    ASSERT_EQ(walk.returns.size(), walk.runtimes.size());
    EXPECT_EQ(walk.returns, walk.runtimes);
    constexpr uint32_t kScratch = (1u << 0) | (1u << 1) | (1u << 2) | (1u << 4) | (1u << 5) | (1u << 8) | (1u << 9) | (1u << 10) | (1u << 11);
    constexpr uint32_t kCalleeSaved = (1u << 3) | (1u << 6) | (1u << 12) | (1u << 13) | (1u << 14) | (1u << 15);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(walk.knownAfterEachStep[i] & kScratch, 0u) << "step " << i;
        EXPECT_EQ(walk.knownAfterEachStep[i] & kCalleeSaved, kCalleeSaved) << "step " << i;
    }
}

} // namespace
