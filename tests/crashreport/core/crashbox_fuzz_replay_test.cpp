// Replays the inputs kept from fuzzing the options stream and the texts
// file (and the seeds they start from): each is read or refused, never a
// crash, and what reads survives a round trip.
#include "crashbox_fuzz.h"

#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

template <typename Reader>
int ReplayFolder(const QString& name, Reader read)
{
    const QDir dir(cvtest::testDataDir() + QStringLiteral("/fuzz/") + name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    int result = 0;
    for (const QString& f : files) {
        const QByteArray bytes = cvtest::readAll(dir.filePath(f));
        result += read(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    return result;
}

TEST(CrashboxFuzzReplay, KeptOptionsStreamsAreReadOrRefused)
{
    const int read = ReplayFolder(QStringLiteral("crashbox-options"), [](const uint8_t* data, size_t size) {
        return cvtest::ReadOptionsFromBytes(data, size) ? 1 : 0;
    });
    EXPECT_GE(read, 1) << "the seed of the defaults reads";
}

TEST(CrashboxFuzzReplay, KeptTextsFilesAreRead)
{
    const int changed = ReplayFolder(QStringLiteral("crashbox-texts"), cvtest::ReadTextsFromBytes);
    EXPECT_GE(changed, 3) << "the seed changes three texts";
}

} // namespace
