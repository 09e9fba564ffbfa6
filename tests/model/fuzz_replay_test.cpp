// Replays the inputs kept from fuzzing the envelope reader (and the seeds it
// starts from): each must be read or refused, never crash.
#include "model_testutil.h"

#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

TEST(DocumentFuzzReplay, KeptInputsAreReadOrRefused)
{
    const QDir dir(cvtest::testDataDir() + QStringLiteral("/fuzz/model"));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    int read = 0;
    for (const QString& f : files) {
        const QByteArray bytes = cvtest::readAll(dir.filePath(f));
        read += cvtest::ReadDocumentFromBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()))
                    ? 1
                    : 0;
    }
    EXPECT_GE(read, 1) << "the seed that is a whole document reads";
}
