#include "crashreport/core/capture/known_registers.h"

namespace cv {

namespace {

constexpr unsigned long kPartialContextFlag = 1ul << 63;
constexpr int kKnownMaskShift = 32;

} // namespace

void MarkKnownRegisters(ucontext_t& context, uint32_t gregsMask)
{
    static_assert(kKnownMaskShift + NGREG < 63, "the marks fit between the kernel's flags and the marker");
    const unsigned long mask = (unsigned long)(gregsMask & ((1u << NGREG) - 1)) << kKnownMaskShift;
    context.uc_flags = (context.uc_flags & ((1ul << kKnownMaskShift) - 1)) | kPartialContextFlag | mask;
}

bool RegisterKnown(const ucontext_t& context, int gregIndex)
{
    if (!(context.uc_flags & kPartialContextFlag))
        return true;
    return gregIndex >= 0 && gregIndex < NGREG && (context.uc_flags >> (kKnownMaskShift + gregIndex)) & 1;
}

} // namespace cv
