// fuzz-deps: cv_textread
// fuzz-corpus: tests/data/fuzz/textread
// The text decoder and the buffer processor on arbitrary bytes, under every
// mark-up mode, chunk size and kind of file (see textread_fuzzing.h).
// Run: textread_fuzz -max_total_time=60 <new-inputs folder> tests/data/fuzz/textread
// and keep any input that finds a fault under tests/data/fuzz/textread.
#include "textread/textread_fuzzing.h"

#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    const std::string problem = textread_fuzz::RunOne(data, size, dir.path());
    if (!problem.empty()) {
        std::fprintf(stderr, "textread_fuzz: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
