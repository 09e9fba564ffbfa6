// Replays the inputs kept from fuzzing the name-server answer parser (and
// the seeds it starts from): each is read or refused, never a crash.
#include "send_fuzz.h"

#include "support/test_support.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

TEST(SendFuzzReplay, KeptDNSAnswersAreReadOrRefused)
{
    const QDir dir(cvtest::testDataDir() + QStringLiteral("/fuzz/dns-answers"));
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    int found = 0;
    for (const QString& f : files) {
        const QByteArray bytes = cvtest::readAll(dir.filePath(f));
        found += cvtest::ParseDNSAnswerBytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size())) ? 1 : 0;
    }
    EXPECT_GE(found, 3) << "the seeds from dnsmasq, with a compressed name and with two records give exchanges";
}

} // namespace
