// Replays the kept fuzz inputs (tests/data/fuzz/textread): the tricky texts
// written by hand and every input that once found a fault.
#include "textread/textread_fuzzing.h"

#include "support/test_support.h"

#include <QDirIterator>

#include <gtest/gtest.h>

TEST(TextreadFuzzReplay, KeptInputsReadWithoutFault)
{
    const QString folder = cvtest::testDataDir() + QStringLiteral("/fuzz/textread");
    QDirIterator it(folder, QDir::Files);
    cvtest::TempDir work;
    int count = 0;
    while (it.hasNext()) {
        const QString name = it.next();
        const QByteArray bytes = cvtest::readAll(name);
        const std::string problem =
            textread_fuzz::RunOne(reinterpret_cast<const uint8_t*>(bytes.constData()), std::size_t(bytes.size()), work.path());
        EXPECT_EQ(problem, "") << name.toStdString();
        ++count;
    }
    EXPECT_GE(count, 20) << "the kept inputs are missing from " << folder.toStdString();
}
