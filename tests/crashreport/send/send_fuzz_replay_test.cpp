// Replays the inputs kept from fuzzing the sending code's parsers (the
// name-server answer, the answer header, the form scanner) and the seeds
// they start from: each is read or refused, never a crash.
#include "send_fuzz.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(SendFuzzReplay, KeptDNSAnswersAreReadOrRefused)
{
    const int found = cvtest::replayKeptFuzzInputs(QStringLiteral("dns-answers"), [](const uint8_t* data, size_t size) {
        return cvtest::ParseDNSAnswerBytes(data, size) ? 1 : 0;
    });
    EXPECT_GE(found, 3) << "the seeds from dnsmasq, with a compressed name and with two records give exchanges";
}

TEST(SendFuzzReplay, KeptHeadersAreRead)
{
    EXPECT_GE(cvtest::replayKeptFuzzInputs(QStringLiteral("http-header"), cvtest::ReadHeaderFromBytes), 5);
}

TEST(SendFuzzReplay, KeptFormPagesAreScanned)
{
    EXPECT_GE(cvtest::replayKeptFuzzInputs(QStringLiteral("html-forms"), cvtest::ScanFormsFromBytes), 4);
}

} // namespace
