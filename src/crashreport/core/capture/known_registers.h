#pragma once
// Which registers a context knows. A context that was rebuilt rather than
// taken at a fault (a throw seen only from its address and stack pointer)
// knows some registers only: marked, the others show as unknown in the
// report's CPU block and are not trusted by the stack walk. The marks travel
// in the context's flags word, which only the kernel's contexts use
// otherwise (bits 0-2).

#include <cstdint>

#include <ucontext.h>

namespace cv {

// gregsMask: bit i for gregs[i].
void MarkKnownRegisters(ucontext_t& context, uint32_t gregsMask);
// True for every register of a context that carries no marks.
bool RegisterKnown(const ucontext_t& context, int gregIndex);

} // namespace cv
