// Replays the kept fuzz inputs of the debug-data readers
// (tests/data/fuzz/debugdata): the seeds made from valid data of each
// format and every input that once found a fault.
#include "crashreport/core/debuginfo/debug_data_fuzzing.h"

#include "support/test_support.h"

#include <QDirIterator>

#include <gtest/gtest.h>

TEST(DebugDataFuzzReplay, KeptInputsReadWithoutFault)
{
    const QString folder = cvtest::testDataDir() + QStringLiteral("/fuzz/debugdata");
    QDirIterator it(folder, QDir::Files);
    int count = 0;
    while (it.hasNext()) {
        const QByteArray bytes = cvtest::readAll(it.next());
        debugdata_fuzz::RunOne(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()));
        ++count;
    }
    EXPECT_GE(count, 4) << "the kept inputs are missing from " << folder.toStdString();
}
