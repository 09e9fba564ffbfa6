// fuzz-deps: cv_crashcore
// fuzz-corpus: tests/data/fuzz/crashbox-texts
// The crash-report texts file on arbitrary bytes: every escape, quote,
// count and marker block read without a crash, and what was read written
// and read again the same.
// Run: texts_file_fuzz -max_total_time=60 tests/data/fuzz/crashbox-texts
// and keep any input that finds a fault under tests/data/fuzz/crashbox-texts.
#include "crashreport/core/crashbox_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ReadTextsFromBytes(data, size);
    return 0;
}
