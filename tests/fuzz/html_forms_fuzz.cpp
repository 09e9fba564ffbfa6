// fuzz-deps: cv_crashsend
// fuzz-corpus: tests/data/fuzz/html-forms
// A bug tracker's page as the form scanner reads it: inputs, text areas,
// select lists and their options, tokens after markers, on arbitrary bytes.
// Run: html_forms_fuzz -max_total_time=60 tests/data/fuzz/html-forms
// and keep any input that finds a fault under tests/data/fuzz/html-forms.
#include "crashreport/send/send_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ScanFormsFromBytes(data, size);
    return 0;
}
