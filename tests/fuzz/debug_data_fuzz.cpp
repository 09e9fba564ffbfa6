// fuzz-deps: cv_crashcore
// fuzz-corpus: tests/data/fuzz/debugdata
// The readers of external debug data (".map" text, TD32, JCL, DWARF line
// programs) on arbitrary bytes; the first byte picks the reader (see
// crashreport/core/debuginfo/debug_data_fuzzing.h).
// Run: debug_data_fuzz -max_total_time=60 <new-inputs folder> tests/data/fuzz/debugdata
// and keep any input that finds a fault under tests/data/fuzz/debugdata.
#include "crashreport/core/debuginfo/debug_data_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    debugdata_fuzz::RunOne(data, size);
    return 0;
}
