// fuzz-deps: cv_crashsend
// fuzz-corpus: tests/data/fuzz/dns-answers
// A name server's answer to our MX query on arbitrary bytes: compression
// pointers anywhere (loops included), lengths past the end, answers cut
// short; read or refused without a crash, every name within the message.
// Run: dns_answer_fuzz -max_total_time=60 tests/data/fuzz/dns-answers
// and keep any input that finds a fault under tests/data/fuzz/dns-answers.
#include "crashreport/send/send_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    cvtest::ParseDNSAnswerBytes(data, size);
    return 0;
}
