// fuzz-deps: cv_crashcore
// fuzz-corpus: tests/data/fuzz/crashbox-options
// The crash-report options stream of any version on arbitrary bytes (the
// first two bytes are the version): read or refused, never a crash or a
// request for memory the bytes cannot justify; what reads writes back and
// reads again the same.
// Run: options_stream_fuzz -max_total_time=60 tests/data/fuzz/crashbox-options
// and keep any input that finds a fault under tests/data/fuzz/crashbox-options.
#include "crashreport/core/crashbox_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ReadOptionsFromBytes(data, size);
    return 0;
}
