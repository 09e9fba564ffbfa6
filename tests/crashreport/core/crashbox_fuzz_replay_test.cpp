// Replays the inputs kept from fuzzing the options stream and the texts
// file (and the seeds they start from): each is read or refused, never a
// crash, and what reads survives a round trip.
#include "crashbox_fuzz.h"

#include "support/test_support.h"

#include <gtest/gtest.h>

namespace {

TEST(CrashboxFuzzReplay, KeptOptionsStreamsAreReadOrRefused)
{
    const int read = cvtest::replayKeptFuzzInputs(QStringLiteral("crashbox-options"), [](const uint8_t* data, size_t size) {
        return cvtest::ReadOptionsFromBytes(data, size) ? 1 : 0;
    });
    EXPECT_GE(read, 1) << "the seed of the defaults reads";
}

TEST(CrashboxFuzzReplay, KeptTextsFilesAreRead)
{
    const int changed = cvtest::replayKeptFuzzInputs(QStringLiteral("crashbox-texts"), cvtest::ReadTextsFromBytes);
    EXPECT_GE(changed, 3) << "the seed changes three texts";
}

TEST(CrashboxFuzzReplay, KeptReportLogsAreReadWithoutACrash)
{
    const int entries = cvtest::replayKeptFuzzInputs(QStringLiteral("report-log"), cvtest::ReadReportLogFromBytes);
    EXPECT_GE(entries, 4) << "the seeds hold at least four whole entries";
}

} // namespace
