// fuzz-deps: cv_crashcore
// fuzz-corpus: tests/data/fuzz/report-log
// The report log (".elf") on arbitrary bytes: cut into entries, stored and
// loaded again the same, items read and changed, the XML form written,
// never a crash.
// Run: report_log_fuzz -max_total_time=60 tests/data/fuzz/report-log
// and keep any input that finds a fault under tests/data/fuzz/report-log.
#include "crashreport/core/crashbox_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ReadReportLogFromBytes(data, size);
    return 0;
}
