// Replays the inputs kept from fuzzing the answer header reader and the form
// scanner (and the seeds they start from): each is read without a crash.
#include "send_fuzz.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(SendFuzzReplay, KeptHeadersAreRead)
{
    EXPECT_GE(cvtest::replayKeptFuzzInputs(QStringLiteral("http-header"), cvtest::ReadHeaderFromBytes), 5);
}

TEST(SendFuzzReplay, KeptFormPagesAreScanned)
{
    EXPECT_GE(cvtest::replayKeptFuzzInputs(QStringLiteral("html-forms"), cvtest::ScanFormsFromBytes), 4);
}

} // namespace
