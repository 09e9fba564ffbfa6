// fuzz-deps: cv_crashcore
// fuzz-corpus: tests/data/fuzz/disasm
// The crash report's disassembler on arbitrary bytes: the first byte picks
// 32-bit code or long mode and whether the events are set, the rest is
// decoded from start to end (see crashreport/core/disasm/disassembler_walk.h).
// Run: disassembler_fuzz -max_total_time=60 <new-inputs folder> tests/data/fuzz/disasm
// and keep any input that finds a fault under tests/data/fuzz/disasm.
#include "crashreport/core/disasm/disassembler_walk.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto mode = (data[0] & 1) ? cv::TDisAsmMode::x86_64 : cv::TDisAsmMode::x86_32;
    const std::string problem = cvtest::WalkAllBytes(std::span<const uint8_t>(data + 1, size - 1), mode, (data[0] & 2) != 0);
    if (!problem.empty()) {
        std::fprintf(stderr, "disassembler_fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
