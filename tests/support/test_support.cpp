#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace cvtest {

TempDir::TempDir()
{
    EXPECT_TRUE(m_dir.isValid());
}

QString TempDir::write(const QString& name, const QByteArray& bytes) const
{
    const QString full = file(name);
    QDir().mkpath(QFileInfo(full).absolutePath());
    QFile f(full);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
    f.write(bytes);
    return full;
}

QByteArray readAll(const QString& fileName)
{
    QFile f(fileName);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QByteArray toBytes(const std::vector<uint8_t>& v)
{
    return QByteArray(reinterpret_cast<const char*>(v.data()), qsizetype(v.size()));
}

QString testDataDir()
{
    const QByteArray env = qgetenv("CV_TEST_DATA");
    return env.isEmpty() ? QStringLiteral(CV_SOURCE_DIR "/tests/data") : QString::fromLocal8Bit(env);
}

int replayKeptFuzzInputs(const QString& name, const std::function<int(const uint8_t*, size_t)>& read)
{
    const QDir dir(testDataDir() + QStringLiteral("/fuzz/") + name);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    EXPECT_FALSE(files.isEmpty()) << "no kept inputs in " << dir.path().toStdString();
    int result = 0;
    for (const QString& f : files) {
        const QByteArray bytes = readAll(dir.filePath(f));
        result += read(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    }
    return result;
}

} // namespace cvtest
