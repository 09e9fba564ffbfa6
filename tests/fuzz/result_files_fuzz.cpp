// fuzz-deps: cv_keywords cv_concordance cv_wordlist
// fuzz-corpus: tests/data/fuzz/results
// The readers of saved results on arbitrary bytes: the first byte picks a
// word list (".lst"), key words (".kws") or a concordance (".cnc"), the
// rest is the file. A reader must refuse what it cannot read, never crash
// or read out of bounds.
// Run: result_files_fuzz -max_total_time=60 tests/data/fuzz/results
// and keep any input that finds a fault under tests/data/fuzz/results.
#include "keywords/result_files_testutil.h"
#include "suite/cv_globals.h"
#include "suite/cvbuf.h"

namespace {

// Private default settings; failures are recorded, not shown.
bool Started()
{
    cv::TSettingsBuffer::Instance().UsePrivate();
    cv::Global_run_without_error_messages = true;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = Started();
    (void)started;
    cvtest::ReadResultFileFromBytes(data, size);
    return 0;
}
