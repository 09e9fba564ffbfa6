// fuzz-deps: cv_crashsend
// fuzz-corpus: tests/data/fuzz/http-header
// A server's answer header as the report sender reads it (status line,
// header lines, continuations), and the redirect target and connection URL
// forms read from the same bytes: no crash, no hang, invariants kept.
// Run: http_header_fuzz -max_total_time=60 tests/data/fuzz/http-header
// and keep any input that finds a fault under tests/data/fuzz/http-header.
#include "crashreport/send/send_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ReadHeaderFromBytes(data, size);
    return 0;
}
