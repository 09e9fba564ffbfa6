// fuzz-deps: cv_model
// fuzz-corpus: tests/data/fuzz/model
// The envelope reader of saved results (signature, base block, the settings,
// colour and notes blocks and two lists behind it) on arbitrary bytes.
// Run: document_envelope_fuzz -max_total_time=60 tests/data/fuzz/model
// and keep any input that finds a fault under tests/data/fuzz/model.
#include "model/model_testutil.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ReadDocumentFromBytes(data, size);
    return 0;
}
